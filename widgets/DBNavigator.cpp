#include "DBNavigator.h"

#include "UnsavedChanges.h"

#include "Prompts.h"

#include "dbaccess/DbError.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace norvane::widgets {

namespace {

using Button = DBNavigator::Button;

struct ButtonInfo
{
    const char* name;
    const char* hint;
};

constexpr std::array<ButtonInfo, DBNavigator::ButtonCount> kButtons{{
    {"nbFirst", "First record"},
    {"nbPrior", "Prior record"},
    {"nbNext", "Next record"},
    {"nbLast", "Last record"},
    {"nbInsert", "Insert record"},
    {"nbDelete", "Delete record"},
    {"nbEdit", "Edit record"},
    {"nbPost", "Post edit"},
    {"nbCancel", "Cancel edit"},
    {"nbRefresh", "Refresh data"},
}};

constexpr int kIcon = 12;

QPolygonF triangle(bool left, qreal x, qreal w)
{
    const qreal top = 2;
    const qreal bottom = kIcon - 2;
    const qreal mid = kIcon / 2.0;
    if (left)
        return QPolygonF({QPointF(x + w, top), QPointF(x + w, bottom), QPointF(x, mid)});
    return QPolygonF({QPointF(x, top), QPointF(x, bottom), QPointF(x + w, mid)});
}

/// Small flat pictures drawn once: arrows with bars, plus, minus, a pencil triangle, a tick,
/// a cross and a circular arrow.
QIcon drawIcon(Button which, const QColor& ink)
{
    QPixmap pm(kIcon, kIcon);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(ink);
    QPen pen(ink, 1.6);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    switch (which) {
    case Button::First:
        p.drawLine(QPointF(2.5, 2), QPointF(2.5, kIcon - 2));
        p.drawPolygon(triangle(true, 4, 6));
        break;
    case Button::Prior:
        p.drawPolygon(triangle(true, 3, 6));
        break;
    case Button::Next:
        p.drawPolygon(triangle(false, 3, 6));
        break;
    case Button::Last:
        p.drawPolygon(triangle(false, 2, 6));
        p.drawLine(QPointF(kIcon - 2.5, 2), QPointF(kIcon - 2.5, kIcon - 2));
        break;
    case Button::Insert:
        p.drawLine(QPointF(6, 2), QPointF(6, 10));
        p.drawLine(QPointF(2, 6), QPointF(10, 6));
        break;
    case Button::Delete:
        p.drawLine(QPointF(2, 6), QPointF(10, 6));
        break;
    case Button::Edit:
        p.drawPolygon(QPolygonF({QPointF(2, 10), QPointF(6, 2), QPointF(10, 10)}));
        break;
    case Button::Post:
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(2, 6.5), QPointF(5, 9.5), QPointF(10, 2.5)}));
        break;
    case Button::Cancel:
        p.drawLine(QPointF(2.5, 2.5), QPointF(9.5, 9.5));
        p.drawLine(QPointF(9.5, 2.5), QPointF(2.5, 9.5));
        break;
    case Button::Refresh: {
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2, 2, 8, 8), 90 * 16, 270 * 16);
        p.setBrush(ink);
        p.drawPolygon(QPolygonF({QPointF(6, 0.5), QPointF(9, 2), QPointF(6, 3.5)}));
        break;
    }
    }
    return QIcon(pm);
}

bool editing(const db::ClientDataSet& ds)
{
    return ds.state() == db::DataSetState::Edit || ds.state() == db::DataSetState::Insert;
}

/// Closes and reopens the dataset with its source, keeping the record number when it can.
void refresh(QWidget* parent, db::ClientDataSet& ds)
{
    ds.checkBrowseMode();
    // Changes waiting for their apply block the reread; changes the server refused would
    // otherwise block it for good, so the user decides their fate.
    if (ds.changeCount() > ds.refusedCount())
        throw db::DbError(QStringLiteral("Must apply updates before refreshing data"));
    if (!settleUnsavedChanges(parent, ds))
        return;
    const int recNo = ds.recNo();
    ds.close();
    if (db::Provider* p = ds.provider())
        if (db::SqlSource* s = p->source())
            s->close();
    ds.open();
    if (recNo > 1)
        ds.setRecNo(recNo);
}

} // namespace

DBNavigator::DBNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QColor ink = palette().color(QPalette::Active, QPalette::ButtonText);
    for (int i = 0; i < ButtonCount; ++i) {
        auto which = static_cast<Button>(i);
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(kButtons[static_cast<std::size_t>(i)].name));
        b->setToolTip(tr(kButtons[static_cast<std::size_t>(i)].hint));
        b->setIcon(drawIcon(which, ink));
        b->setIconSize(QSize(kIcon, kIcon));
        b->setAutoRaise(false);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setMinimumSize(1, 1);
        connect(b, &QToolButton::clicked, this, [this, which] { run(which); });
        layout->addWidget(b);
        m_buttons[static_cast<std::size_t>(i)] = b;
    }
    resize(240, 23);
    // Some moves change the dataset's edge flags without a notification: look again whenever
    // the event loop is about to wait.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &DBNavigator::updateButtons);
    updateButtons();
}

QSize DBNavigator::sizeHint() const
{
    return {240, 23};
}

QToolButton* DBNavigator::button(Button which) const
{
    return m_buttons[static_cast<std::size_t>(which)];
}

void DBNavigator::setDataSource(DataSource* source)
{
    if (m_source == source)
        return;
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        for (auto sig : {&DataSource::dataSetChanged, &DataSource::layoutReset})
            connect(source, sig, this, &DBNavigator::scheduleUpdate);
        connect(source, &DataSource::stateChanged, this, &DBNavigator::scheduleUpdate);
        connect(source, &DataSource::currentRowChanged, this, &DBNavigator::scheduleUpdate);
        connect(source, &DataSource::rowsInserted, this, &DBNavigator::scheduleUpdate);
        connect(source, &DataSource::rowsRemoved, this, &DBNavigator::scheduleUpdate);
    }
    updateButtons();
}

void DBNavigator::scheduleUpdate()
{
    // The dataset sets its edge flags after it announces the move.
    if (m_updatePending)
        return;
    m_updatePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_updatePending = false;
            updateButtons();
        },
        Qt::QueuedConnection);
}

void DBNavigator::updateButtons()
{
    const db::ClientDataSet* ds = m_source ? m_source->dataSet() : nullptr;
    const bool active = ds && ds->active() && !ds->controlsDisabled() && isEnabled();
    const bool canModify = active && ds->canModify();
    const bool edits = active && editing(*ds);
    const bool empty = !active || ds->recordCount() == 0;
    auto set = [this](Button b, bool on) {
        QToolButton* w = button(b);
        if (w->isEnabled() != on)
            w->setEnabled(on);
    };
    set(Button::First, active && !ds->bof());
    set(Button::Prior, active && !ds->bof());
    set(Button::Next, active && !ds->eof());
    set(Button::Last, active && !ds->eof());
    set(Button::Insert, canModify);
    set(Button::Delete, canModify && !empty);
    set(Button::Edit, canModify && !edits);
    set(Button::Post, canModify && edits);
    set(Button::Cancel, canModify && edits);
    set(Button::Refresh, active);
}

void DBNavigator::click(Button which)
{
    updateButtons();
    if (button(which)->isEnabled())
        run(which);
}

void DBNavigator::run(Button which)
{
    db::ClientDataSet* ds = m_source ? m_source->dataSet() : nullptr;
    if (!ds || !ds->active() || ds->controlsDisabled())
        return;
    if (which == Button::Delete &&
        prompts().ask(this, QApplication::applicationDisplayName(), tr("Delete record?"),
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) != QMessageBox::Ok)
        return;
    // Text still in a grid's cell editor belongs to the record before the command runs.
    m_source->updateRecord(which != Button::Cancel);
    if (!ds->active())
        return;
    m_source->guard(
        [this, ds, which] {
            switch (which) {
            case Button::First:
                ds->first();
                break;
            case Button::Prior:
                ds->prior();
                break;
            case Button::Next:
                ds->next();
                break;
            case Button::Last:
                ds->last();
                break;
            case Button::Insert:
                ds->insert();
                break;
            case Button::Delete:
                ds->deleteRecord();
                break;
            case Button::Edit:
                ds->edit();
                break;
            case Button::Post:
                ds->post();
                break;
            case Button::Cancel:
                ds->cancel();
                break;
            case Button::Refresh:
                refresh(this, *ds);
                break;
            }
        },
        this);
    updateButtons();
}

} // namespace norvane::widgets
