// The console as an SQL editor in the real window: scripts of several statements, the failing
// statement and the line the server names, DELIMITER blocks, running a selection, keyboard
// execution, find, completion without server calls, and the table tree following the console.

#include "PagesTestSupport.h"

#include "catalogue/NVQueryLib.h"

#include <QRegularExpression>

using pages::TestDatabase;
using pages::Window;

class ScriptTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_script"));
        m_db->exec("CREATE TABLE items (id INT PRIMARY KEY, name VARCHAR(10), price INT)");
        m_db->exec("INSERT INTO items VALUES (1, 'a', 5), (2, 'b', 7)");
        m_db->exec("CREATE TABLE s_err (id INT PRIMARY KEY)");
    }
    void cleanupTestCase() { m_db.reset(); }

    void mixedScriptRunsInOrderAndShowsTheLastResult();
    void failureStopsTheScriptAndPointsAtTheStatement_data();
    void failureStopsTheScriptAndPointsAtTheStatement();
    void delimiterBlockDefinesAProcedure();
    void selectionRunsAloneAndIsRecorded();
    void keysRunFindAndRefreshThroughTheWindow();
    void completionOffersNamesWithoutServerCalls();

private:
    static int historyCount() { return norvane::catalogue::QueryHistory->Count(); }
    static QString lastHistoryEntry()
    {
        const auto& history = *norvane::catalogue::QueryHistory;
        return history.Queries(history.Count() - 1)->Lines().join(u'\n');
    }
    static bool complete(const QString& panel, const QString& what)
    {
        return QRegularExpression(QStringLiteral("^Execute complete: %1, \\d+ ms$")
                                      .arg(QRegularExpression::escape(what)))
            .match(panel)
            .hasMatch();
    }
    static QString questions(Window& w)
    {
        return pages::scalar(*w.connection(),
                             QStringLiteral("SELECT VARIABLE_VALUE FROM "
                                            "information_schema.SESSION_STATUS WHERE "
                                            "VARIABLE_NAME = 'QUESTIONS'"));
    }
    static int cursorLine(Window& w)
    {
        int line = -1;
        int index = -1;
        w.memo()->getCursorPosition(&line, &index);
        return line;
    }

    std::unique_ptr<TestDatabase> m_db;
};

// Catches: a script sent as one statement, split inside a string or comment, run out of order,
// or the tree left without a table the console created.
void ScriptTest::mixedScriptRunsInOrderAndShowsTheLastResult()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(QStringLiteral("items")));
    const int before = historyCount();
    const QString script = QStringLiteral(
        "CREATE TABLE s_mixed (id INT PRIMARY KEY, note VARCHAR(40));\n"
        "INSERT INTO s_mixed VALUES (1, 'semi;colon'), (2, \"it's; here\"); -- one; two\n"
        "/* a comment; with a delimiter */ INSERT INTO s_mixed VALUES (3, 'x');\n"
        "SELECT id, note FROM s_mixed ORDER BY id;\n");
    w.memo()->setPlainText(script);
    w.memo()->setTextModified(true);
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY2(complete(w.panel1(), QStringLiteral("4 statements, 3 rows affected")),
             qPrintable(w.panel1()));
    QCOMPARE(w.sqlGrid()->model()->rowCount(), 3);
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 1), QStringLiteral("semi;colon"));
    QCOMPARE(Window::cell(w.sqlGrid(), 1, 1), QStringLiteral("it's; here"));
    QCOMPARE(historyCount(), before + 1);
    QCOMPARE(lastHistoryEntry(), script);

    // The new table is listed and the chosen node stays chosen.
    QVERIFY(w.nodeTexts().contains(QStringLiteral("s_mixed")));
    QCOMPARE(w.tree()->currentItem()->text(0), QStringLiteral("items"));

    // Statements without rows after the last result set leave it on the grid; a script
    // without any result set empties it, as one such statement does.
    w.memo()->setPlainText(QStringLiteral("SELECT 'kept' AS v;\nINSERT INTO s_mixed VALUES (4, "
                                          "'y');\nDELETE FROM s_mixed WHERE id = 4;"));
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY2(complete(w.panel1(), QStringLiteral("3 statements, 2 rows affected")),
             qPrintable(w.panel1()));
    QCOMPARE(w.sqlGrid()->model()->rowCount(), 1);
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("kept"));
    w.memo()->setPlainText(QStringLiteral("SET @a = 1; SET @b = 2"));
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.sqlGrid()->model()->rowCount(), 0);

    // A session the console switched to NO_BACKSLASH_ESCAPES ends strings at the quote.
    w.memo()->setPlainText(QStringLiteral("SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES'"));
    QVERIFY(w.run("acExecute"));
    w.memo()->setPlainText(QStringLiteral("SELECT 'a\\';\nSELECT 'b\\' AS v;"));
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("b\\"));

    // One statement still goes as written, trailing delimiter and all.
    w.memo()->setPlainText(QStringLiteral("DROP TABLE s_mixed;"));
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY2(complete(w.panel1(), QStringLiteral("0 rows affected")), qPrintable(w.panel1()));
    QVERIFY(!w.nodeTexts().contains(QStringLiteral("s_mixed")));
}

void ScriptTest::failureStopsTheScriptAndPointsAtTheStatement_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("rows");

    QTest::newRow("second of three")
        << QStringLiteral("INSERT INTO s_err VALUES (1);\nINSERT INTO s_missing VALUES (2);\n"
                          "INSERT INTO s_err VALUES (3);")
        << QStringLiteral("Execute error in statement 2 of 3")
        << QStringLiteral("INSERT INTO s_missing VALUES (2)") << 1 << QStringLiteral("1");
    QTest::newRow("line named in a script")
        << QStringLiteral("INSERT INTO s_err VALUES (1);\nSELECT id,\n  id\nFORM s_err;\nSELECT 2;")
        << QStringLiteral("Execute error in statement 2 of 3") << QStringLiteral("FORM s_err") << 3
        << QStringLiteral("1");
    QTest::newRow("line named alone")
        << QStringLiteral("SELECT id,\n  id\nFORM s_err") << QStringLiteral("Execute error")
        << QStringLiteral("FORM s_err") << 2 << QStringLiteral("0");
}

// Catches: statements after a failure still run, the first one rolled back or re-run, or the
// user left to find the failing statement and line by hand.
void ScriptTest::failureStopsTheScriptAndPointsAtTheStatement()
{
    QFETCH(QString, script);
    QFETCH(QString, panel);
    QFETCH(QString, selected);
    QFETCH(int, line);
    QFETCH(QString, rows);
    m_db->exec("DELETE FROM s_err");
    Window w(m_db->name);
    w.logOn();
    const int before = historyCount();
    w.memo()->setPlainText(script);
    w.memo()->setTextModified(true);
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.panel1(), panel);
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(w.memo()->selectedText(), selected);
    QCOMPARE(cursorLine(w), line);
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM s_err"), rows);
    // Nothing is recorded and the text stays new for the next run.
    QCOMPARE(historyCount(), before);
    QVERIFY(w.memo()->textModified());
}

// Catches: a procedure body cut at its inner delimiters, or DELIMITER sent to the server.
void ScriptTest::delimiterBlockDefinesAProcedure()
{
    m_db->exec("DELETE FROM s_err");
    Window w(m_db->name);
    w.logOn();
    w.memo()->setPlainText(QStringLiteral("DELIMITER //\n"
                                          "CREATE PROCEDURE s_proc()\n"
                                          "BEGIN\n"
                                          "  INSERT INTO s_err VALUES (10);\n"
                                          "  SELECT 'in proc' AS msg;\n"
                                          "END//\n"
                                          "DELIMITER ;\n"
                                          "CALL s_proc();\n"));
    QVERIFY(w.run("acExecute"));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY2(w.panel1().startsWith(QLatin1String("Execute complete: 2 statements")),
             qPrintable(w.panel1()));
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("in proc"));
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM s_err"), QStringLiteral("1"));
    m_db->exec("DROP PROCEDURE s_proc");
}

// Catches: the whole text run instead of the selection, or the selection not recorded.
void ScriptTest::selectionRunsAloneAndIsRecorded()
{
    Window w(m_db->name);
    w.logOn();
    const QString text = QStringLiteral("SELECT 'first';\nSELECT 'sec' 'ond'");
    w.memo()->setPlainText(text);
    w.memo()->setTextModified(true);
    const qsizetype begin = text.indexOf(QLatin1String("SELECT 'sec"));
    w.memo()->selectRange(begin, text.size());
    const int before = historyCount();
    QVERIFY(w.run("acExecute"));
    QVERIFY2(w.prompts.errors.isEmpty(), qPrintable(w.prompts.errors.join(u'\n')));
    QVERIFY2(complete(w.panel1(), QStringLiteral("1 row")), qPrintable(w.panel1()));
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("second"));
    QCOMPARE(historyCount(), before + 1);
    QCOMPARE(lastHistoryEntry(), QStringLiteral("SELECT 'sec' 'ond'"));
    // The whole text has not run yet: it is still new, and runs as a script of two.
    QVERIFY(w.memo()->textModified());
    w.memo()->setCursorPosition(0, 0);
    QVERIFY(w.run("acExecute"));
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("second"));
    QVERIFY2(w.panel1().startsWith(QLatin1String("Execute complete: 2 statements")),
             qPrintable(w.panel1()));
    QCOMPARE(historyCount(), before + 2);
    QCOMPARE(lastHistoryEntry(), text);
}

// Catches: short-cuts swallowed by the editor, find not moving on, F5 not reaching the tree.
void ScriptTest::keysRunFindAndRefreshThroughTheWindow()
{
    Window w(m_db->name);
    w.logOn();
    w.child<QTabWidget>("pctMain")->setCurrentIndex(2);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    w.memo()->setFocus();
    QTest::keyClicks(w.memo(), "SELECT 41 + 1");
    // The enable rules follow the text when the loop is idle, as between a user's keys.
    QTRY_VERIFY(w.action("acExecute")->isEnabled());
    QTest::keyClick(w.memo(), Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 0), QStringLiteral("42"));
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT 41 + 1"));

    w.memo()->setPlainText(QStringLiteral("SELECT 7 AS seven, 7 + 7 AS twice"));
    w.memo()->setFocus();
    QTest::keyClick(w.memo(), Qt::Key_F9);
    QCOMPARE(Window::cell(w.sqlGrid(), 0, 1), QStringLiteral("14"));

    // Ctrl+F opens the find bar, Return finds, F3 finds the next one.
    w.memo()->setCursorPosition(0, 0);
    QTest::keyClick(w.memo(), Qt::Key_F, Qt::ControlModifier);
    auto* find = w.child<QLineEdit>("edFind");
    QTRY_VERIFY(find->isVisible());
    QTest::keyClicks(find, "7 ");
    QTest::keyClick(find, Qt::Key_Return);
    QCOMPARE(w.memo()->selectedText(), QStringLiteral("7 "));
    qsizetype begin = 0;
    qsizetype end = 0;
    QVERIFY(w.memo()->selectedRange(&begin, &end));
    QCOMPARE(begin, 7);
    w.memo()->setFocus();
    QTest::keyClick(w.memo(), Qt::Key_F3);
    QVERIFY(w.memo()->selectedRange(&begin, &end));
    QCOMPARE(begin, 19);

    // F5 on the tree lists a table created behind the window's back.
    m_db->exec("CREATE TABLE s_behind (a INT)");
    w.tree()->setFocus();
    QTest::keyClick(w.tree(), Qt::Key_F5);
    QVERIFY(w.nodeTexts().contains(QStringLiteral("s_behind")));
    m_db->exec("DROP TABLE s_behind");
}

// Catches: names missing from the list, or a catalogue statement sent at every key.
void ScriptTest::completionOffersNamesWithoutServerCalls()
{
    Window w(m_db->name);
    w.logOn();
    w.child<QTabWidget>("pctMain")->setCurrentIndex(2);
    // The list is a popup of the editor: it opens only on a shown window.
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    w.memo()->setFocus();
    w.memo()->setPlainText(QStringLiteral("SELECT * FROM items WHERE "));
    w.memo()->setCursorPosition(0, 26);
    QTest::keyClicks(w.memo(), "pri");
    QTRY_VERIFY(w.memo()->isListActive());
    QVERIFY2(w.memo()->completionList().contains(QStringLiteral("price")),
             qPrintable(w.memo()->completionList().join(u',')));
    QVERIFY(!w.memo()->completionList().contains(QStringLiteral("id")));

    // The columns are read once; further typing asks the server nothing.
    // Each reading costs a statement of its own: two readings in a row measure it.
    const int first = questions(w).toInt();
    const int second = questions(w).toInt();
    QVERIFY(second > first);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClicks(w.memo(), "ce > 1 AND nam");
        QVERIFY(w.memo()->completionList().contains(QStringLiteral("name")));
        QTest::keyClicks(w.memo(), "e = 'x' OR pri");
    }
    const int after = questions(w).toInt();
    QCOMPARE(after - second, second - first);

    // Ctrl+Space offers tables for two letters, and the choice replaces the word.
    w.memo()->setPlainText(QStringLiteral("SELECT * FROM it"));
    w.memo()->setCursorPosition(0, 16);
    QTest::keyClick(w.memo(), Qt::Key_Space, Qt::ControlModifier);
    QVERIFY(w.memo()->isListActive());
    QVERIFY(w.memo()->completionList().contains(QStringLiteral("items")));
    QVERIFY(w.memo()->completionList().contains(QStringLiteral("ITERATE")));
    w.memo()->showUserList(1, {QStringLiteral("items")});
    QTest::keyClick(w.memo(), Qt::Key_Return);
    QCOMPARE(w.memo()->toPlainText(), QStringLiteral("SELECT * FROM items"));
}

QTEST_MAIN(ScriptTest)
#include "ScriptTest.moc"
