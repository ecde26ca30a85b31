// The real window after its console changed the session: a USE of another database and a
// SET NAMES. The tree, the Columns page and the grid stay on the logon database and its text.

#include "PagesTestSupport.h"

using pages::TestDatabase;
using pages::Window;

class SessionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_session"));
        m_other = std::make_unique<TestDatabase>(QStringLiteral("pages_session_other"));
        m_db->exec("CREATE TABLE same (id INT PRIMARY KEY, here VARCHAR(20))");
        m_db->exec("INSERT INTO same VALUES (1, 'home')");
        m_other->exec("CREATE TABLE same (id INT PRIMARY KEY, there VARCHAR(20), extra INT)");
        m_other->exec("INSERT INTO same VALUES (1, 'away', 0)");
        m_db->exec("CREATE TABLE texts (id INT PRIMARY KEY, s VARCHAR(40)) CHARACTER SET utf8mb4");
        m_db->exec("INSERT INTO texts VALUES (1, 'plain')");
    }
    void cleanupTestCase()
    {
        m_db.reset();
        m_other.reset();
    }

    void treeOpensTheLogonDatabasesTableAfterUse();
    void gridTextStaysExactAfterSetNamesInTheConsole();

private:
    static void console(Window& w, const QString& sql)
    {
        w.memo()->setPlainText(sql);
        QVERIFY(w.run("acExecute"));
    }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<TestDatabase> m_other;
};

void SessionTest::treeOpensTheLogonDatabasesTableAfterUse()
{
    Window w(m_db->name);
    w.logOn();
    console(w, QStringLiteral("USE %1").arg(m_other->name));
    QCOMPARE(w.connection()->currentDatabase(), m_other->name);

    QVERIFY(w.choose("same"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(w.columnRows(), 3);
    QCOMPARE(w.columnCell(0, 2), QStringLiteral("here"));
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("home"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "edited"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT here FROM same WHERE id = 1"), QStringLiteral("edited"));
    QCOMPARE(m_other->value("SELECT there FROM same WHERE id = 1"), QStringLiteral("away"));
    QCOMPARE(w.connection()->currentDatabase(), m_other->name);
}

void SessionTest::gridTextStaysExactAfterSetNamesInTheConsole()
{
    Window w(m_db->name);
    w.logOn();
    console(w, QStringLiteral("SET NAMES latin1"));
    QVERIFY(w.choose("texts"));
    const QString typed = QStringLiteral("naïve €");
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, typed));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT s FROM texts WHERE id = 1"), typed);
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), typed);

    // A second change finds the row by the text it now holds.
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, QStringLiteral("Grüße")));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT s FROM texts WHERE id = 1"), QStringLiteral("Grüße"));

    console(w, QStringLiteral("SELECT @@character_set_client"));
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("latin1"));
}

QTEST_MAIN(SessionTest)
#include "SessionTest.moc"
