// Work that runs while the window stays alive: a long console statement keeps the window's
// timers running and ends on Stop with the session intact; a connection attempt to a host that
// never answers is given up on Stop and by its own timeout.

#include "PagesTestSupport.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using pages::TestDatabase;
using pages::Window;

class BusyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_busy"));
        m_db->exec("CREATE TABLE items (id INT PRIMARY KEY, name VARCHAR(10))");
        m_db->exec("INSERT INTO items VALUES (1, 'one'), (2, 'two')");
    }
    void cleanupTestCase() { m_db.reset(); }

    void stoppedStatementKeepsTimersSessionAndPendingEdit();
    void silentHostIsGivenUpOnStopAndByTimeout();

private:
    std::unique_ptr<TestDatabase> m_db;
};

void BusyTest::stoppedStatementKeepsTimersSessionAndPendingEdit()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("items"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "uno"));
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Edit);
    // The user's own transaction, which the stop must leave open.
    w.runSql("START TRANSACTION");
    w.runSql("INSERT INTO items VALUES (3, 'three')");
    QCOMPARE(w.prompts.errors, QStringList());

    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(20);
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start();
    auto* stopButton = w.child<QPushButton>("btnStop");
    auto* panel = w.child<QWidget>("pnlRunning");
    QString shown;
    bool executeEnabled = true;
    QElapsedTimer sinceStop;
    QElapsedTimer total;
    QTimer poller;
    poller.setInterval(20);
    connect(&poller, &QTimer::timeout, this, [&] {
        const QString running = w.child<QLabel>("lblRunning")->text();
        if (running.isEmpty() || panel->isHidden() || sinceStop.isValid())
            return;
        shown = running;
        executeEnabled = w.enabled("acExecute");
        sinceStop.start();
        stopButton->click();
    });
    w.typeSql("SELECT SLEEP(5)");
    total.start();
    poller.start();
    QVERIFY(w.run("acExecute"));
    poller.stop();
    ticker.stop();
    QVERIFY2(sinceStop.isValid(), "the Stop button never showed");
    QVERIFY2(sinceStop.elapsed() < 1000, qPrintable(QString::number(sinceStop.elapsed())));
    QVERIFY(total.elapsed() < 4000);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY2(shown.startsWith(QLatin1String("Running: ")), qPrintable(shown));
    QVERIFY(!executeEnabled);
    QVERIFY(panel->isHidden());
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY2(w.prompts.errors[0].contains(QLatin1String("interrupted")),
             qPrintable(w.prompts.errors[0]));

    // The same session goes on where it was; the grid's edit is still the user's.
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Edit);
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("uno"));
    QCOMPARE(m_db->value("SELECT name FROM items WHERE id = 1"), QStringLiteral("one"));
    QCOMPARE(w.runSql("SELECT 1"), QStringLiteral("1"));
    QCOMPARE(w.runSql("SELECT DATABASE()"), m_db->name);
    QCOMPARE(w.runSql("SELECT COUNT(*) FROM items"), QStringLiteral("3"));
    QVERIFY(w.connection()->inTransaction());
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM items"), QStringLiteral("2"));
    w.runSql("ROLLBACK");
    QCOMPARE(w.prompts.errors.size(), 1);
}

void BusyTest::silentHostIsGivenUpOnStopAndByTimeout()
{
    // A listening socket that takes connections and never says a word.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0);
    QVERIFY(::listen(listener, 8) == 0);
    QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);

    norvane::db::Connection c;
    c.setBackgroundWork(true);
    c.setParams({pages::env("NORVANE_TEST_USER"), pages::env("NORVANE_TEST_PASSWORD"),
                 QStringLiteral("127.0.0.1"), QString(), ntohs(address.sin_port)});
    const auto attempt = [&c](qint64* ms) {
        QElapsedTimer timer;
        timer.start();
        QString message;
        try {
            c.open();
        } catch (const norvane::db::DbError& e) {
            message = e.message();
        }
        *ms = timer.elapsed();
        return message;
    };

    QSignalSpy busy(&c, &norvane::db::Connection::busyChanged);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(20);
    QTimer::singleShot(300, &c, [&c] { c.stop(); });
    qint64 ms = 0;
    QCOMPARE(attempt(&ms), QStringLiteral("The connection attempt was stopped."));
    QVERIFY2(ms < 1500, qPrintable(QString::number(ms)));
    QVERIFY(ticks >= 5);
    QCOMPARE(busy.size(), 2);
    QVERIFY(!c.isConnected() && !c.isBusy());

    c.setConnectTimeout(1);
    const QString message = attempt(&ms);
    QVERIFY2(message.startsWith(QLatin1String("The server 127.0.0.1 did not answer within 1 s")),
             qPrintable(message));
    QVERIFY2(ms >= 900 && ms < 5000, qPrintable(QString::number(ms)));
    ::close(listener);
}

QTEST_MAIN(BusyTest)
#include "BusyTest.moc"
