// Work that runs while the window stays alive: a long console statement keeps the window's
// timers running and ends on Stop with the session intact; so does a write-back that waits for a
// row lock, and a session killed under it comes back on the next operation; a connection
// attempt to a host that never answers is given up on Stop and by its own timeout.

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
        m_db->exec("CREATE TABLE locked (id INT PRIMARY KEY, name VARCHAR(10)) ENGINE=InnoDB");
        m_db->exec("INSERT INTO locked SELECT seq, IF(seq = 1, 'one', CONCAT('r', seq)) "
                   "FROM seq_1_to_250");
    }
    void cleanupTestCase() { m_db.reset(); }

    void stoppedStatementKeepsTimersSessionAndPendingEdit();
    void postWaitingForALockIsStoppedOrLosesItsSession_data();
    void postWaitingForALockIsStoppedOrLosesItsSession();
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
        // Text keys reach the console meanwhile; a key with Ctrl (select all) does not.
        QTest::keyClicks(w.memo(), " --");
        QTest::keyClick(w.memo(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w.memo(), " more");
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
    QCOMPARE(w.memo()->text(), QStringLiteral("SELECT SLEEP(5) -- more"));
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

void BusyTest::postWaitingForALockIsStoppedOrLosesItsSession_data()
{
    QTest::addColumn<bool>("killSession");
    QTest::newRow("Stop") << false;
    QTest::newRow("session killed") << true;
}

void BusyTest::postWaitingForALockIsStoppedOrLosesItsSession()
{
    QFETCH(bool, killSession);
    m_db->exec("UPDATE locked SET name = 'one' WHERE id = 1");
    Window w(m_db->name);
    w.logOn();
    const QString sessionId = w.runSql("SELECT CONNECTION_ID()");
    QVERIFY(w.choose("locked"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "mine"));
    // Another session holds the row, so the post waits for the lock.
    auto holder = pages::adminConnection(m_db->name);
    holder->execute(QByteArrayLiteral("START TRANSACTION"));
    holder->execute(QByteArrayLiteral("SELECT * FROM locked WHERE id = 1 FOR UPDATE"));

    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(20);
    auto* panel = w.child<QWidget>("pnlRunning");
    QString shown;
    bool fetchRefused = false;
    QElapsedTimer sinceStop;
    QTimer poller;
    connect(&poller, &QTimer::timeout, this, [&] {
        if (panel->isHidden() || sinceStop.isValid())
            return;
        shown = w.child<QLabel>("lblRunning")->text();
        // The view wants more rows meanwhile; they come once the session is free again.
        w.dataGrid()->scrollToBottom();
        fetchRefused = !w.dataGrid()->model()->canFetchMore({});
        sinceStop.start();
        if (killSession)
            m_db->exec(QStringLiteral("KILL %1").arg(sessionId));
        else
            w.child<QPushButton>("btnStop")->click();
    });
    poller.start(20);
    QSignalSpy relayouts(w.dataGrid()->model(), &QAbstractItemModel::layoutChanged);
    QVERIFY(w.run("acPost"));
    poller.stop();
    ticker.stop();
    QVERIFY2(sinceStop.isValid(), "the busy panel never showed");
    QVERIFY2(sinceStop.elapsed() < 1000, qPrintable(QString::number(sinceStop.elapsed())));
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY2(shown.startsWith(QLatin1String("Running: ")), qPrintable(shown));
    QCOMPARE(w.prompts.errors.size(), 1);
    const QString expected =
        killSession ? QStringLiteral("the connection was closed") : QStringLiteral("interrupted");
    QVERIFY2(w.prompts.errors[0].contains(expected), qPrintable(w.prompts.errors[0]));
    QCOMPARE(w.connection()->isConnected(), !killSession);
    QVERIFY(!w.connection()->isBusy() && panel->isHidden());

    // The edit is still the user's and still pending; once the lock is gone it goes through,
    // on the same session or on a new one.
    QCOMPARE(w.cdsData()->changeCount(), 1);
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("mine"));
    QCOMPARE(m_db->value("SELECT name FROM locked WHERE id = 1"), QStringLiteral("one"));
    // The view was refused rows while the session was busy (no "busy" error), and is told to
    // ask again now.
    QVERIFY(fetchRefused);
    QTRY_VERIFY(relayouts.size() > 0);
    QCOMPARE(w.prompts.errors.size(), 1);
    holder->execute(QByteArrayLiteral("ROLLBACK"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(w.cdsData()->changeCount(), 0);
    QCOMPARE(m_db->value("SELECT name FROM locked WHERE id = 1"), QStringLiteral("mine"));
    QVERIFY(w.connection()->isConnected());
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
