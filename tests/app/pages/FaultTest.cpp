// The server killed and restarted under the real window: an open table, a pending edit and a
// console statement, before it runs and while it runs. Each case ends with the server running
// again.

#include "PagesTestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

using pages::TestDatabase;
using pages::Window;

namespace {
bool serverCtl(const char* verb)
{
    return QProcess::execute(QStringLiteral("bash"),
                             {pages::env("NORVANE_TEST_SERVER_CTL"), QLatin1String(verb),
                              pages::env("NORVANE_TEST_SERVER_DIR")}) == 0;
}
} // namespace

class FaultTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_SERVER_CTL").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_fault"));
        m_db->exec("CREATE TABLE f_rows (n INT PRIMARY KEY, name VARCHAR(10))");
        m_db->exec("INSERT INTO f_rows WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 "
                   "FROM s WHERE n < 250) SELECT n, CONCAT('r', n) FROM s");
    }
    void cleanup()
    {
        // Whatever a case did, the next one and the other programs find the server up.
        QVERIFY(serverCtl("restart"));
    }
    void cleanupTestCase() { m_db.reset(); }

    void pendingEditSurvivesAKilledServer();
    void openTableFetchAfterRestart();
    void consoleStatementOnAKilledServer();
    void serverKilledDuringALongStatement();

private:
    std::unique_ptr<TestDatabase> m_db;
};

void FaultTest::pendingEditSurvivesAKilledServer()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("f_rows"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "edited"));
    QVERIFY(serverCtl("kill"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY2(!w.prompts.errors.first().isEmpty(), "the error box had no text");
    QCOMPARE(w.cdsData()->changeCount(), 1);
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("edited"));

    // After the restart another row's post sends only that row; the row whose post failed is
    // sent when the user posts it again.
    QVERIFY(serverCtl("restart"));
    QVERIFY(Window::edit(w.dataGrid(), 1, 1, "second"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(w.cdsData()->changeCount(), 1);
    Window::moveTo(w.dataGrid(), 0);
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(w.cdsData()->changeCount(), 0);
    m_db->admin->ensureOpen();
    auto admin = pages::adminConnection(m_db->name);
    QCOMPARE(pages::scalar(*admin, "SELECT name FROM f_rows WHERE n = 1"),
             QStringLiteral("edited"));
    QCOMPARE(pages::scalar(*admin, "SELECT name FROM f_rows WHERE n = 2"),
             QStringLiteral("second"));
    admin->execute(QStringLiteral("UPDATE f_rows SET name = CONCAT('r', n) WHERE n <= 2"));
}

void FaultTest::openTableFetchAfterRestart()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("f_rows"));
    QCOMPARE(w.cdsData()->recordCount(), 100);
    QVERIFY(serverCtl("kill"));
    // Moving past the rows held needs the server: the error is shown, the rows stay.
    QVERIFY(w.run("acLast"));
    QVERIFY(w.prompts.errors.size() >= 1);
    QVERIFY(w.cdsData()->active());
    QVERIFY(w.cdsData()->recordCount() >= 100);

    QVERIFY(serverCtl("restart"));
    const int errors = int(w.prompts.errors.size());
    QVERIFY(w.run("acLast"));
    QCOMPARE(w.prompts.errors.size(), errors);
    QCOMPARE(w.cdsData()->recordCount(), 250);
    QCOMPARE(Window::cell(w.dataGrid(), 249, 1), QStringLiteral("r250"));
}

void FaultTest::consoleStatementOnAKilledServer()
{
    Window w(m_db->name);
    w.logOn();
    w.memo()->setPlainText(QStringLiteral("SELECT COUNT(*) FROM f_rows"));
    w.memo()->setTextModified(true);
    QVERIFY(serverCtl("kill"));
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.panel1(), QStringLiteral("Execute error"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY(!w.connection()->isConnected());
    QVERIFY(w.enabled("acLogin"));

    QVERIFY(serverCtl("restart"));
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY2(w.panel1().startsWith(QLatin1String("Execute complete: 1 row, ")),
             qPrintable(w.panel1()));
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("250"));
}

// Catches: a hang or a crash when the server dies under a running statement, no error or
// several, a window that stops painting, a session that is not opened again afterwards.
void FaultTest::serverKilledDuringALongStatement()
{
    Window w(m_db->name);
    w.logOn();
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(20);
    auto* panel = w.child<QWidget>("pnlRunning");
    QElapsedTimer sinceKill;
    int ticksAtKill = 0;
    QTimer poller;
    connect(&poller, &QTimer::timeout, this, [&] {
        if (panel->isHidden() || sinceKill.isValid())
            return;
        ticksAtKill = ticks;
        sinceKill.start();
        QVERIFY(serverCtl("kill"));
    });
    poller.start(20);
    w.typeSql("SELECT SLEEP(30)");
    QVERIFY(w.run("acExecute"));
    poller.stop();
    QVERIFY2(sinceKill.isValid(), "the statement never showed as running");
    QVERIFY2(sinceKill.elapsed() < 5000, qPrintable(QString::number(sinceKill.elapsed())));
    QVERIFY2(ticksAtKill >= 5, qPrintable(QString::number(ticksAtKill)));
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY2(w.prompts.errors[0].contains(QLatin1String("the connection was closed")),
             qPrintable(w.prompts.errors[0]));
    QCOMPARE(w.panel1(), QStringLiteral("Execute error"));
    QVERIFY(!w.connection()->isConnected());
    QVERIFY(!w.connection()->isBusy() && panel->isHidden());
    // The window lives on: its timers fire and the console takes new text.
    const int ticksAfter = ticks;
    QTRY_VERIFY(ticks > ticksAfter);
    ticker.stop();
    w.typeSql("SELECT DATABASE()");
    QCOMPARE(w.memo()->text(), QStringLiteral("SELECT DATABASE()"));

    // With the server back, the next statement opens the session again, in the same database.
    QVERIFY(serverCtl("restart"));
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), m_db->name);
    QVERIFY(w.connection()->isConnected());
    QCOMPARE(w.runSql("SELECT COUNT(*) FROM f_rows"), QStringLiteral("250"));
}

QTEST_MAIN(FaultTest)
#include "FaultTest.moc"
