#include "BusyIndicator.h"

#include "Guard.h"

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
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            stop();
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return watched != m_stop;
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace norvane::app
