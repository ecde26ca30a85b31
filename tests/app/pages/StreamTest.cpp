// Results read in the background: the console and a table without a key show their first rows
// while the rest is still arriving, a statement that needs the session meanwhile waits for the
// read, Stop keeps what was read, and leaving the result (log off, another table, closing the
// window) ends the read at once.

#include "PagesTestSupport.h"

#include "export/zkexport.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

using pages::TestDatabase;
using pages::Window;

namespace {
// Rows wide enough that the server sends the first ones at once, then one row every 5 ms: the
// read of the rest takes seconds, whatever the machine's speed.
const QString kSlowTail = QStringLiteral(
    "SELECT seq, REPEAT('x', 300) AS pad, IF(seq > 200, SLEEP(0.005), 0) AS s FROM seq_1_to_%1");
} // namespace

class StreamTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_stream"));
        m_db->exec("CREATE TABLE items (id INT PRIMARY KEY, name VARCHAR(10))");
        m_db->exec("INSERT INTO items VALUES (1, 'one'), (2, 'two')");
        // A view has no key: it is read like a table without one.
        m_db->exec(QStringLiteral("CREATE VIEW slow AS ") + kSlowTail.arg(1200));
    }
    void cleanupTestCase() { m_db.reset(); }

    void consoleShowsFirstRowsAndAPostWaitsForTheRest();
    void stopKeepsTheRowsReadAndTheSession();
    void exportOfAStoppedReadFailsRatherThanPassForTheWhole();
    void leavingTheResultEndsTheRead_data();
    void leavingTheResultEndsTheRead();

private:
    static QString label(Window& w) { return w.child<QLabel>("lblRunning")->text(); }

    std::unique_ptr<TestDatabase> m_db;
};

void StreamTest::consoleShowsFirstRowsAndAPostWaitsForTheRest()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("items"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "uno"));

    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(20);
    QElapsedTimer timer;
    timer.start();
    w.runSql(kSlowTail.arg(600));
    const qint64 firstRows = timer.elapsed();
    // The grid has its first rows while the server is still sending the others.
    QVERIFY(w.connection()->isFetching());
    QVERIFY2(firstRows < 1000, qPrintable(QString::number(firstRows)));
    QVERIFY(w.cdsSQL()->recordCount() >= 100);
    QVERIFY(w.cdsSQL()->recordCount() < 600);
    QVERIFY2(w.panel1().endsWith(QLatin1String("; fetching the rest")), qPrintable(w.panel1()));
    QVERIFY(w.enabled("acExecute"));
    QTRY_VERIFY(label(w).startsWith(QLatin1String("Fetched ")));
    QVERIFY(!w.child<QWidget>("pnlRunning")->isHidden());
    const int seen = w.cdsSQL()->recordCount();
    QTRY_VERIFY(w.cdsSQL()->recordCount() > seen);
    QVERIFY(w.connection()->isFetching());

    // The post needs the session: it waits for the read's end, the status bar saying so.
    QString waiting;
    QTimer poller;
    connect(&poller, &QTimer::timeout, this, [&] {
        // The first text shown: once the read ended, the post's own round trips may show
        // "Running" too.
        if (waiting.isEmpty() && w.connection()->isBusy() &&
            !w.child<QWidget>("pnlRunning")->isHidden())
            waiting = label(w);
    });
    poller.start(20);
    const int ticksBefore = ticks;
    w.cdsData()->post();
    poller.stop();
    QVERIFY(!w.connection()->isFetching());
    QVERIFY2(waiting.startsWith(QLatin1String("Finishing the fetch first: ")), qPrintable(waiting));
    QVERIFY2(ticks - ticksBefore >= 10, qPrintable(QString::number(ticks - ticksBefore)));
    QCOMPARE(m_db->value("SELECT name FROM items WHERE id = 1"), QStringLiteral("uno"));
    QCOMPARE(w.cdsData()->changeCount(), 0);
    QCOMPARE(w.cdsSQL()->recordCount(), 600);
    QVERIFY(w.cdsSQL()->allFetched());
    QCOMPARE(Window::cell(w.sqlGrid(), 599, 0), QStringLiteral("600"));
    QCOMPARE(w.panel1(), QStringLiteral("Fetched 600 rows"));
    QCOMPARE(w.prompts.errors, QStringList());
    m_db->exec("UPDATE items SET name = 'one' WHERE id = 1");
}

void StreamTest::stopKeepsTheRowsReadAndTheSession()
{
    Window w(m_db->name);
    w.logOn();
    w.runSql(kSlowTail.arg(1200));
    QVERIFY(w.connection()->isFetching());
    auto* stop = w.child<QPushButton>("btnStop");
    QTRY_VERIFY(!w.child<QWidget>("pnlRunning")->isHidden());
    QElapsedTimer sinceStop;
    sinceStop.start();
    stop->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.connection()->isFetching(), 1000);
    QVERIFY2(sinceStop.elapsed() < 1000, qPrintable(QString::number(sinceStop.elapsed())));
    QTRY_VERIFY(w.cdsSQL()->allFetched());
    const int kept = w.cdsSQL()->recordCount();
    QVERIFY2(kept >= 100 && kept < 1200, qPrintable(QString::number(kept)));
    QCOMPARE(Window::cell(w.sqlGrid(), kept - 1, 0), QString::number(kept));
    QVERIFY2(w.panel1().endsWith(QLatin1String("rows; stopped, the result is incomplete")),
             qPrintable(w.panel1()));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY(w.child<QWidget>("pnlRunning")->isHidden());

    QCOMPARE(w.runSql("SELECT 1"), QStringLiteral("1"));
    QCOMPARE(w.runSql("SELECT DATABASE()"), m_db->name);
    QCOMPARE(w.prompts.errors, QStringList());
}

void StreamTest::exportOfAStoppedReadFailsRatherThanPassForTheWhole()
{
    Window w(m_db->name);
    w.logOn();
    w.runSql(kSlowTail.arg(1200));
    QVERIFY(w.connection()->isFetching());
    QTemporaryDir dir;
    norvane::exporter::TzkExportOptions& o = *w.sqlGrid()->ExportOptions();
    o.setFileName(dir.filePath(QStringLiteral("part.txt")));
    norvane::exporter::ExportHooks hooks;
    // The user stops the read while the export waits for its rows.
    hooks.progress = [&](std::int64_t n, std::optional<std::int64_t>) {
        if (n == 150)
            w.child<QPushButton>("btnStop")->click();
    };
    try {
        o.Save(hooks);
        QFAIL("an export of a result whose read was stopped passed for the whole result");
    } catch (const norvane::Error& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(QLatin1String("incomplete")), e.what());
    }
    QVERIFY(!w.connection()->isFetching());
    QVERIFY(w.cdsSQL()->recordCount() < 1200);
    QCOMPARE(w.runSql("SELECT 1"), QStringLiteral("1"));
}

void StreamTest::leavingTheResultEndsTheRead_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("log off") << QStringLiteral("log off");
    QTest::newRow("other table") << QStringLiteral("other table");
    QTest::newRow("window close") << QStringLiteral("window close");
}

void StreamTest::leavingTheResultEndsTheRead()
{
    QFETCH(QString, how);
    Window w(m_db->name);
    w.logOn();
    w.form->show();
    // The view is read like a table without a key: in the background, from the tree.
    QVERIFY(w.choose("slow"));
    QVERIFY(w.connection()->isFetching());
    QVERIFY(w.cdsData()->recordCount() >= 100);
    QElapsedTimer timer;
    timer.start();
    if (how == QLatin1String("log off")) {
        QVERIFY(w.run("acLogout"));
        QVERIFY(!w.connection()->isConnected());
        // The rows read stay visible.
        QVERIFY(w.cdsData()->recordCount() >= 100);
        QCOMPARE(Window::cell(w.dataGrid(), 0, 0), QStringLiteral("1"));
    } else if (how == QLatin1String("other table")) {
        QVERIFY(w.choose("items"));
        QCOMPARE(w.cdsData()->recordCount(), 2);
        QCOMPARE(Window::cell(w.dataGrid(), 1, 1), QStringLiteral("two"));
        QCOMPARE(pages::scalar(*w.connection(), QStringLiteral("SELECT DATABASE()")), m_db->name);
    } else {
        QVERIFY(w.form->close());
        QVERIFY(!w.form->isVisible());
    }
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!w.connection()->isFetching());
    QVERIFY(!w.connection()->isBusy());
    QCOMPARE(w.prompts.errors, QStringList());
}

QTEST_MAIN(StreamTest)
#include "StreamTest.moc"
