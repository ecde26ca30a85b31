#pragma once
/// The status bar's "Running: N s" panel with its Stop button, shown while the session works in
/// the background. Meanwhile it keeps mouse and keys away from everything but Stop (Esc stops
/// too), so no click or key can start a second statement on the busy session.

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
    void showElapsed();
    void stop();

    db::Connection* m_connection;
    QLabel* m_label;
    QPushButton* m_stop;
    QTimer* m_tick;
    QElapsedTimer m_elapsed;
    bool m_filtering = false;
};

} // namespace norvane::app
