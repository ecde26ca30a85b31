// The Execute SQL page of the real window: results, status texts, what the history records,
// stepping through it, .sql files, and the silent reconnection after log off.

#include "PagesTestSupport.h"

#include "catalogue/NVQueryLib.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using pages::TestDatabase;
using pages::Window;

class ConsoleTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_console"));
        m_db->exec("CREATE TABLE items (id INT PRIMARY KEY, name VARCHAR(10))");
        m_db->exec("INSERT INTO items VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    }
    void cleanupTestCase() { m_db.reset(); }

    void selectFillsTheReadOnlyGridAndRecordsOnce();
    void updateReportsAffectedRowsAndIsRecorded();
    void refusedStatementKeepsTheFlagForTheNextRun();
    void statementBeforeTheFirstLogonFails();
    void historyKeepsTheLast100AndStepsBothWays();
    void filesRoundTripAndReplaceWithoutAsking();
    void unreadableFileLeavesTheMemoAlone();
    void statementAfterLogOffReconnects();

private:
    /// Replaces the memo's text as the user typing it does.
    /// The status text of a statement that went through, which ends with its time.
    static bool complete(const QString& panel, const char* what)
    {
        return QRegularExpression(
                   QStringLiteral("^Execute complete: %1, \\d+ ms$").arg(QLatin1String(what)))
            .match(panel)
            .hasMatch();
    }
    static int historyCount() { return norvane::catalogue::QueryHistory->Count(); }

    std::unique_ptr<TestDatabase> m_db;
};

void ConsoleTest::selectFillsTheReadOnlyGridAndRecordsOnce()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(!w.enabled("acExecute"));
    QVERIFY(!w.enabled("acSaveToFile"));
    w.typeSql("SELECT id, name FROM items ORDER BY id");
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY2(complete(w.panel1(), "3 rows"), qPrintable(w.panel1()));
    QCOMPARE(w.sqlGrid()->model()->rowCount(), 3);
    QCOMPARE(Window::cell(w.sqlGrid(), 2, 1), QStringLiteral("c"));
    QCOMPARE(historyCount(), 1);
    QVERIFY(!(w.sqlGrid()->model()->flags(w.sqlGrid()->model()->index(0, 1)) & Qt::ItemIsEditable));

    // Unchanged text run again adds nothing.
    QVERIFY(w.run("acExecute"));
    QCOMPARE(historyCount(), 1);
    QCOMPARE(norvane::catalogue::QueryHistory->Queries(0)->Lines(),
             QStringList{"SELECT id, name FROM items ORDER BY id"});
    QVERIFY(!w.enabled("acPreviousSQL"));
    QVERIFY(!w.enabled("acNextSQL"));
}

void ConsoleTest::updateReportsAffectedRowsAndIsRecorded()
{
    Window w(m_db->name);
    w.logOn();
    w.typeSql("SELECT * FROM items");
    QVERIFY(w.run("acExecute"));
    w.typeSql("UPDATE items SET name = UPPER(name)");
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY2(complete(w.panel1(), "3 rows affected"), qPrintable(w.panel1()));
    QCOMPARE(w.sqlGrid()->model()->rowCount(), 0);
    QCOMPARE(historyCount(), 2);
    QCOMPARE(m_db->value("SELECT GROUP_CONCAT(name ORDER BY id) FROM items"),
             QStringLiteral("A,B,C"));

    w.typeSql("UPDATE items SET name = LOWER(name) WHERE id = 2");
    QVERIFY(w.run("acExecute"));
    QVERIFY2(complete(w.panel1(), "1 row affected"), qPrintable(w.panel1()));
    w.typeSql("SET @x = 1");
    QVERIFY(w.run("acExecute"));
    QVERIFY2(complete(w.panel1(), "0 rows affected"), qPrintable(w.panel1()));
    QCOMPARE(historyCount(), 4);
    m_db->exec("UPDATE items SET name = LOWER(name)");
}

void ConsoleTest::refusedStatementKeepsTheFlagForTheNextRun()
{
    Window w(m_db->name);
    w.logOn();
    w.typeSql("SELECT * FROM items");
    QVERIFY(w.run("acExecute"));
    w.typeSql("SELECT * FROM no_such_table");
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.panel1(), QStringLiteral("Execute error"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY2(w.prompts.errors.first().contains(QLatin1String("no_such_table")),
             qPrintable(w.prompts.errors.first()));
    QCOMPARE(w.sqlGrid()->model()->rowCount(), 0);
    QVERIFY(!w.cdsSQL()->active());
    QCOMPARE(historyCount(), 1);

    m_db->exec("CREATE TABLE no_such_table (z INT)");
    QVERIFY(w.run("acExecute"));
    QVERIFY2(complete(w.panel1(), "0 rows"), qPrintable(w.panel1()));
    QCOMPARE(historyCount(), 2);
    m_db->exec("DROP TABLE no_such_table");
}

void ConsoleTest::statementBeforeTheFirstLogonFails()
{
    Window w(m_db->name);
    w.typeSql("SELECT 1");
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.panel1(), QStringLiteral("Execute error"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(historyCount(), 0);
    QVERIFY(!w.connection()->isConnected());
}

void ConsoleTest::historyKeepsTheLast100AndStepsBothWays()
{
    Window w(m_db->name);
    w.logOn();
    for (int i = 1; i <= 101; ++i) {
        w.typeSql(QStringLiteral("SELECT %1").arg(i));
        QVERIFY(w.run("acExecute"));
    }
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(historyCount(), 100);
    QCOMPARE(norvane::catalogue::QueryHistory->Queries(0)->Lines(), QStringList{"SELECT 2"});
    int steps = 0;
    while (w.run("acPreviousSQL"))
        ++steps;
    QCOMPARE(steps, 99);
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT 2"));
    QVERIFY(w.run("acNextSQL"));
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT 3"));
    // Recalled text runs without being recorded a second time.
    QVERIFY(w.run("acExecute"));
    QCOMPARE(historyCount(), 100);
    QCOMPARE(norvane::catalogue::QueryHistory->Queries(99)->Lines(), QStringList{"SELECT 101"});
}

void ConsoleTest::filesRoundTripAndReplaceWithoutAsking()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Window w(m_db->name);
    w.typeSql("SELECT 'h\u00e9'\nFROM dual;");
    QFile old(dir.filePath("query.sql"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old contents that are longer than the new ones\n");
    old.close();

    w.prompts.fileName = dir.filePath("query");
    QVERIFY(w.run("acSaveToFile"));
    QCOMPARE(w.prompts.fileOptions.defaultSuffix, QStringLiteral("sql"));
    QCOMPARE(w.prompts.fileOptions.nameFilters, (QStringList{"*.sql", "*.*"}));
    QVERIFY(!w.prompts.fileOptions.confirmOverwrite);
    QCOMPARE(w.prompts.errors, QStringList());
    QFile saved(dir.filePath("query.sql"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("SELECT 'h\xc3\xa9'\nFROM dual;\n"));

    w.typeSql("something else");
    w.prompts.fileName = dir.filePath("query.sql");
    QVERIFY(w.run("acLoadFromFile"));
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT 'h\u00e9'\nFROM dual;"));

    // Cancelled dialogs change nothing.
    w.prompts.fileName.clear();
    QVERIFY(w.run("acLoadFromFile"));
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT 'h\u00e9'\nFROM dual;"));
    QVERIFY(w.run("acSaveToFile"));
    QCOMPARE(w.prompts.errors, QStringList());

    // A file with Windows line breaks in an 8-bit code page keeps its characters.
    QFile legacy(dir.filePath("legacy.sql"));
    QVERIFY(legacy.open(QIODevice::WriteOnly));
    legacy.write("SELECT 'caf\xe9'\r\nFROM dual\r\n");
    legacy.close();
    w.prompts.fileName = legacy.fileName();
    QVERIFY(w.run("acLoadFromFile"));
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT 'caf\u00e9'\nFROM dual"));
}

void ConsoleTest::unreadableFileLeavesTheMemoAlone()
{
    QTemporaryDir dir;
    Window w(m_db->name);
    w.typeSql("SELECT 42");
    w.prompts.fileName = dir.filePath("missing.sql");
    QVERIFY(w.run("acLoadFromFile"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY(w.prompts.errors.first().contains(QLatin1String("missing.sql")));
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT 42"));

    w.prompts.fileName = dir.filePath("no/such/folder/out.sql");
    QVERIFY(w.run("acSaveToFile"));
    QCOMPARE(w.prompts.errors.size(), 2);
    QVERIFY(w.prompts.errors.last().contains(QLatin1String("out.sql")));
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT 42"));
}

void ConsoleTest::statementAfterLogOffReconnects()
{
    Window w(m_db->name);
    w.logOn();
    w.typeSql("SELECT name FROM items ORDER BY id");
    QVERIFY(w.run("acExecute"));
    QVERIFY(w.run("acLogout"));
    QVERIFY(!w.connection()->isConnected());
    QCOMPARE(w.sqlGrid()->model()->rowCount(), 3);
    QVERIFY(w.enabled("acLogin"));

    w.typeSql("SELECT COUNT(*) FROM items");
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY2(complete(w.panel1(), "1 row"), qPrintable(w.panel1()));
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("3"));
    QVERIFY(w.connection()->isConnected());
    QVERIFY(!w.enabled("acLogin"));
    QVERIFY(w.enabled("acLogout"));
    QCOMPARE(w.tree()->topLevelItemCount(), 0);
}

QTEST_MAIN(ConsoleTest)
#include "ConsoleTest.moc"
