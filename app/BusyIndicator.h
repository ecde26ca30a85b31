#pragma once
/// The status bar's "Running: N s" panel with its Stop button, shown while the session works in
/// the background. Meanwhile it keeps mouse and keys away from everything but Stop (Esc stops
/// too), so no click or key can start a second statement on the busy session; only keys that
/// edit the console's text (no Ctrl, Alt, Meta or function key) reach the console. While a result
/// is read in the background it counts the rows ("Fetched 350,000 rows") and offers Stop, the
/// window free for other work.

#include <QElapsedTimer>
#include <QObject>
#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

namespace norvane::db {
class Connection;
}

namespace norvane::app {

class BusyIndicator : public QWidget
{
    Q_OBJECT

public:
    BusyIndicator(db::Connection* connection, QWidget* parent = nullptr);
    ~BusyIndicator() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void busyChanged(bool busy);
    void fetchProgress(quint64 rows);
    void fetchEnded();
    void showElapsed();
    void refresh();
    void stop();

    db::Connection* m_connection;
    QLabel* m_label;
    QPushButton* m_stop;
    QTimer* m_tick;
    QElapsedTimer m_elapsed;
    bool m_filtering = false;
    bool m_busy = false;
    bool m_fetching = false;
    quint64 m_fetched = 0;
};

} // namespace norvane::app
