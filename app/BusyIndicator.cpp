#include "BusyIndicator.h"

#include "Guard.h"
#include "SqlEditor.h"

#include "dbaccess/Connection.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>

namespace norvane::app {

namespace {
// Shown only for work that takes noticeably long, so quick statements never flicker.
constexpr int kShowAfterMs = 300;

// Keys that only edit the console's text may reach it while the session works: they change
// nothing on the session. Anything with Ctrl, Alt or Meta, and the function keys, may be a
// short-cut (Execute among them) and stays blocked.
bool editsConsoleText(QObject* watched, const QKeyEvent& key)
{
    if (!qobject_cast<SqlEditor*>(watched) &&
        !(watched->parent() && qobject_cast<SqlEditor*>(watched->parent())))
        return false;
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        break;
    }
    if (key.key() >= Qt::Key_F1 && key.key() <= Qt::Key_F35)
        return false;
    const QString text = key.text();
    return !text.isEmpty() && text.at(0).isPrint();
}
} // namespace

BusyIndicator::BusyIndicator(db::Connection* connection, QWidget* parent)
    : QWidget(parent), m_connection(connection), m_label(new QLabel), m_stop(new QPushButton),
      m_tick(new QTimer(this))
{
    setObjectName(QStringLiteral("pnlRunning"));
    m_label->setObjectName(QStringLiteral("lblRunning"));
    m_stop->setObjectName(QStringLiteral("btnStop"));
    m_stop->setText(tr("Stop"));
    m_stop->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    layout->addWidget(m_stop);
    hide();
    m_tick->setInterval(kShowAfterMs);
    connect(m_tick, &QTimer::timeout, this, &BusyIndicator::showElapsed);
    connect(m_stop, &QPushButton::clicked, this, &BusyIndicator::stop);
    connect(connection, &db::Connection::busyChanged, this, &BusyIndicator::busyChanged);
    connect(connection, &db::Connection::fetchProgress, this, &BusyIndicator::fetchProgress);
    connect(connection, &db::Connection::fetchEnded, this, &BusyIndicator::fetchEnded);
}

BusyIndicator::~BusyIndicator()
{
    if (m_filtering)
        qApp->removeEventFilter(this);
}

void BusyIndicator::busyChanged(bool busy)
{
    m_busy = busy;
    if (busy) {
        m_elapsed.start();
        m_tick->start();
        if (!m_filtering)
            qApp->installEventFilter(this);
        m_filtering = true;
    } else {
        m_tick->stop();
        if (m_filtering)
            qApp->removeEventFilter(this);
        m_filtering = false;
    }
    refresh();
}

void BusyIndicator::fetchProgress(quint64 rows)
{
    m_fetching = true;
    m_fetched = rows;
    refresh();
}

void BusyIndicator::fetchEnded()
{
    m_fetching = false;
    refresh();
}

void BusyIndicator::showElapsed()
{
    refresh();
}

void BusyIndicator::refresh()
{
    const QString rows = QLocale(QLocale::English).toString(m_fetched);
    const qint64 seconds = m_elapsed.isValid() ? m_elapsed.elapsed() / 1000 : 0;
    // The busy panel appears only for work that takes noticeably long; a background read shows
    // at once, since it goes on while the window is free.
    const bool busyShown = m_busy && m_elapsed.isValid() && m_elapsed.elapsed() >= kShowAfterMs;
    if (m_busy && m_fetching)
        m_label->setText(tr("Finishing the fetch first: %1 rows, %2 s").arg(rows).arg(seconds));
    else if (m_busy)
        m_label->setText(tr("Running: %1 s").arg(seconds));
    else if (m_fetching)
        m_label->setText(tr("Fetched %1 rows").arg(rows));
    setVisible(busyShown || (m_fetching && !m_busy));
}

void BusyIndicator::stop()
{
    runGuarded(window(), [this] { m_connection->stop(); });
}

bool BusyIndicator::eventFilter(QObject* watched, QEvent* event)
{
    // Input reaches the window first and its widget next; it is judged at the widget.
    if (watched->isWindowType())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            stop();
            return true;
        }
        return !editsConsoleText(watched, *static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        return !editsConsoleText(watched, *static_cast<QKeyEvent*>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return watched != m_stop;
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace norvane::app
