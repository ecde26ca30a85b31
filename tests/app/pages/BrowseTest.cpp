// The tree and the Data page of the real window against the private server: log on, choosing
// tables by keys, packets of 100 rows, the edge rules of the record actions, log off with the
// rows kept, and the Columns page for each kind of key.

#include "PagesTestSupport.h"

#include <QSignalSpy>

using pages::TestDatabase;
using pages::Window;

class BrowseTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_browse"));
        m_db->exec("CREATE TABLE alpha (id INT PRIMARY KEY, name VARCHAR(20))");
        m_db->exec("INSERT INTO alpha VALUES (1, 'one'), (2, 'two'), (3, 'three')");
        m_db->exec("CREATE TABLE beta (code CHAR(3), qty INT)");
        m_db->exec("INSERT INTO beta VALUES ('abc', 7)");
        m_db->exec("CREATE TABLE gamma (n INT PRIMARY KEY)");
        m_db->exec("INSERT INTO gamma WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 "
                   "FROM s WHERE n < 250) SELECT n FROM s");
    }
    void cleanupTestCase() { m_db.reset(); }

    void logOnFillsTheTreeWithoutChoosingANode();
    void choosingNodesByKeysOpensEachTable();
    void rowsArriveInPacketsOf100AsTheUserMoves();
    void recordActionsFollowTheEdgeFlags();
    void logOffKeepsTheRowsAndMovingPastThemStaysQuiet();
    void logOffDuringAnEditPostsItFirstAndNeverReconnects();
    void logOnAgainRebuildsTheTreeAndKeepsTheOldRows();

    void columnsPageShowsEachColumn_data();
    void columnsPageShowsEachColumn();
    void columnsPageShrinksFromTenColumnsToThree();
    void failedColumnReadKeepsOldRowAndPreviousTable();

private:
    std::unique_ptr<TestDatabase> m_db;
};

void BrowseTest::logOnFillsTheTreeWithoutChoosingANode()
{
    Window w(m_db->name);
    w.logOn();
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(w.nodeTexts(), (QStringList{"alpha", "beta", "gamma"}));
    QCOMPARE(w.tree()->currentItem(), nullptr);
    QVERIFY(!w.cdsData()->active());
    QVERIFY(w.enabled("acLogout"));
    QVERIFY(!w.enabled("acLogin"));
    // Nothing open yet: every record action is off.
    for (const char* name :
         {"acDel", "acPost", "acCancel", "acFirst", "acPrevious", "acLast", "acNext"})
        QVERIFY2(!w.enabled(name), name);
}

void BrowseTest::choosingNodesByKeysOpensEachTable()
{
    Window w(m_db->name);
    w.form->show();
    w.logOn();
    w.tree()->setFocus();
    const QStringList expectFirstColumn{"id", "code", "n"};
    const QStringList expectFirstCell{"1", "abc", "1"};
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(w.tree(), i == 0 ? Qt::Key_Home : Qt::Key_Down);
        QCOMPARE(w.tree()->currentItem()->text(0), w.nodeTexts().at(i));
        QCOMPARE(w.prompts.errors, QStringList());
        QVERIFY(w.cdsData()->active());
        QCOMPARE(w.sqryData()->tableName(), w.nodeTexts().at(i));
        QCOMPARE(w.columnCell(0, 1), expectFirstColumn.at(i));
        QCOMPARE(Window::cell(w.dataGrid(), 0, 0), expectFirstCell.at(i));
    }
    // Choosing the node that is already current does not reopen the table.
    w.cdsData()->next();
    const int row = w.cdsData()->currentRow();
    w.tree()->setCurrentItem(w.tree()->currentItem());
    QCOMPARE(w.cdsData()->currentRow(), row);
}

void BrowseTest::rowsArriveInPacketsOf100AsTheUserMoves()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(QStringLiteral("gamma")));
    QCOMPARE(w.cdsData()->recordCount(), 100);
    QCOMPARE(w.dataGrid()->model()->rowCount(), 100);
    // Rows come a packet at a time: never more than the next hundred ahead of the user.
    for (int i = 0; i < 100; ++i) {
        QVERIFY(w.run("acNext"));
        const int held = w.cdsData()->recordCount();
        QVERIFY2(held == 100 || held == 200, qPrintable(QString::number(held)));
    }
    QCOMPARE(w.cdsData()->recordCount(), 200);
    QCOMPARE(Window::cell(w.dataGrid(), w.cdsData()->currentRow(), 0), QStringLiteral("101"));
    // Scrolling the grid to its end fetches the rest.
    w.dataGrid()->scrollToBottom();
    QTRY_COMPARE(w.dataGrid()->model()->rowCount(), 250);
    QCOMPARE(w.prompts.errors, QStringList());
}

void BrowseTest::recordActionsFollowTheEdgeFlags()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(QStringLiteral("alpha")));
    QVERIFY(w.run("acLast"));
    QCOMPARE(w.cdsData()->recNo(), 3);
    QVERIFY(!w.enabled("acDel"));
    QVERIFY(!w.enabled("acNext"));
    QVERIFY(!w.enabled("acLast"));
    QVERIFY(w.enabled("acFirst"));
    QVERIFY(w.run("acFirst"));
    QVERIFY(!w.enabled("acFirst"));
    QVERIFY(!w.enabled("acPrevious"));
    QVERIFY(w.enabled("acDel"));
    QVERIFY(w.run("acNext"));
    QVERIFY(w.run("acNext"));
    QCOMPARE(w.cdsData()->recNo(), 3);
    // Next onto the last row from the row before leaves the end flag clear.
    QVERIFY(w.enabled("acDel"));
    QVERIFY(w.enabled("acPrevious"));
    QVERIFY(!w.enabled("acPost"));
    QVERIFY(Window::edit(w.dataGrid(), 2, 1, QStringLiteral("drei")));
    QVERIFY(w.enabled("acPost"));
    QVERIFY(w.enabled("acCancel"));
    QVERIFY(w.run("acCancel"));
    QCOMPARE(Window::cell(w.dataGrid(), 2, 1), QStringLiteral("three"));
    QCOMPARE(m_db->value("SELECT name FROM alpha WHERE id = 3"), QStringLiteral("three"));
}

void BrowseTest::logOffKeepsTheRowsAndMovingPastThemStaysQuiet()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(QStringLiteral("gamma")));
    QVERIFY(w.run("acLogout"));
    QCOMPARE(w.tree()->topLevelItemCount(), 0);
    QVERIFY(!w.connection()->isConnected());
    QCOMPARE(w.dataGrid()->model()->rowCount(), 100);
    QCOMPARE(Window::cell(w.dataGrid(), 99, 0), QStringLiteral("100"));

    // Past the rows held there is simply nothing more: no error, no reconnection.
    w.dataGrid()->scrollToBottom();
    QCoreApplication::processEvents();
    QVERIFY(w.run("acLast"));
    QCOMPARE(w.cdsData()->recordCount(), 100);
    QCOMPARE(w.cdsData()->recNo(), 100);
    w.cdsData()->next();
    QVERIFY(w.cdsData()->eof());
    QVERIFY(!w.connection()->isConnected());
    QVERIFY(w.enabled("acLogin"));
    QCOMPARE(w.prompts.errors, QStringList());
}

void BrowseTest::logOffDuringAnEditPostsItFirstAndNeverReconnects()
{
    // The edit would otherwise sit in a grid that can no longer write: it goes to the server
    // while the session is still open, and nothing reconnects afterwards.
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(QStringLiteral("alpha")));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, QStringLiteral("edited")));
    QVERIFY(w.run("acLogout"));
    QCOMPARE(w.prompts.errors, QStringList());
    QVERIFY(!w.connection()->isConnected());
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Browse);
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("edited"));
    QCOMPARE(m_db->value("SELECT name FROM alpha WHERE id = 1"), QStringLiteral("edited"));
    QVERIFY(!w.connection()->isConnected());
    m_db->exec("UPDATE alpha SET name = 'one' WHERE id = 1");
}

void BrowseTest::logOnAgainRebuildsTheTreeAndKeepsTheOldRows()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(QStringLiteral("alpha")));
    QVERIFY(w.run("acLogout"));
    w.logOn();
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(w.nodeTexts(), (QStringList{"alpha", "beta", "gamma"}));
    QCOMPARE(w.tree()->currentItem(), nullptr);
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("one"));
    QVERIFY(w.choose(QStringLiteral("beta")));
    QCOMPARE(Window::cell(w.dataGrid(), 0, 0), QStringLiteral("abc"));
    QCOMPARE(w.prompts.errors, QStringList());
}

void BrowseTest::columnsPageShowsEachColumn_data()
{
    QTest::addColumn<QString>("ddl");
    QTest::addColumn<QStringList>("rows"); // name|key|type per column

    QTest::newRow("one column") << "CREATE TABLE c_one (only_col INT)"
                                << QStringList{"only_col|No|int(11)"};
    QTest::newRow("composite key")
        << "CREATE TABLE c_comp (a INT, b VARCHAR(5), c DATE, PRIMARY KEY (b, a))"
        << QStringList{"a|Yes|int(11)", "b|Yes|varchar(5)", "c|No|date"};
    QTest::newRow("no key") << "CREATE TABLE c_none (x INT UNSIGNED NOT NULL, y TEXT)"
                            << QStringList{"x|No|int(10) unsigned", "y|No|text"};
    QTest::newRow("unique and multiple keys read No")
        << "CREATE TABLE c_uniq (id INT PRIMARY KEY, u INT UNIQUE, m INT, KEY (m))"
        << QStringList{"id|Yes|int(11)", "u|No|int(11)", "m|No|int(11)"};
    QTest::newRow("letter case of key names")
        << "CREATE TABLE c_case (Row_ID BIGINT, LABEL VARCHAR(3), PRIMARY KEY (ROW_id))"
        << QStringList{"Row_ID|Yes|bigint(20)", "LABEL|No|varchar(3)"};
    QTest::newRow("quotes and marks in key names")
        << "CREATE TABLE c_marks (`it's` INT, `#1` INT, `^x` INT, n INT, PRIMARY KEY (`it's`, "
           "`#1`, `^x`))"
        << QStringList{"it's|Yes|int(11)", "#1|Yes|int(11)", "^x|Yes|int(11)", "n|No|int(11)"};
}

void BrowseTest::columnsPageShowsEachColumn()
{
    QFETCH(QString, ddl);
    QFETCH(QStringList, rows);
    const QString table = ddl.section(u' ', 2, 2);
    m_db->exec(QStringLiteral("DROP TABLE IF EXISTS ") + table);
    m_db->exec(ddl);

    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(table));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(w.columnRows(), int(rows.size()) + 1);
    QCOMPARE(w.columnCell(0, 0), QStringLiteral("Field Name"));
    QCOMPARE(w.columnCell(1, 0), QStringLiteral("Key"));
    QCOMPARE(w.columnCell(2, 0), QStringLiteral("Data type"));
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList parts = rows.at(i).split(u'|');
        for (int c = 0; c < 3; ++c)
            QCOMPARE(w.columnCell(c, i + 1), parts.at(c));
    }
    // The grid is read-only.
    QCOMPARE(w.columns()->editTriggers(), QAbstractItemView::NoEditTriggers);
    m_db->exec(QStringLiteral("DROP TABLE ") + table);
}

void BrowseTest::columnsPageShrinksFromTenColumnsToThree()
{
    m_db->exec("CREATE TABLE c_ten (c0 INT, c1 INT, c2 INT, c3 INT, c4 INT, c5 INT, c6 INT, "
               "c7 INT, c8 INT, c9 INT)");
    m_db->exec("CREATE TABLE c_three (t0 INT PRIMARY KEY, t1 INT, t2 INT)");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(QStringLiteral("c_ten")));
    QCOMPARE(w.columnRows(), 11);
    QCOMPARE(w.columnCell(0, 10), QStringLiteral("c9"));
    QVERIFY(w.choose(QStringLiteral("c_three")));
    QCOMPARE(w.columnRows(), 4);
    QCOMPARE(w.columnCell(0, 3), QStringLiteral("t2"));
    QCOMPARE(w.columnCell(1, 1), QStringLiteral("Yes"));
    QCOMPARE(w.prompts.errors, QStringList());
    m_db->exec("DROP TABLE c_ten, c_three");
}

void BrowseTest::failedColumnReadKeepsOldRowAndPreviousTable()
{
    m_db->exec("CREATE TABLE c_doomed (d0 INT, d1 INT, d2 INT)");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose(QStringLiteral("beta")));
    QCOMPARE(w.columnRows(), 3);
    m_db->exec("DROP TABLE c_doomed");
    QVERIFY(w.choose(QStringLiteral("c_doomed")));
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY2(w.prompts.errors.first().contains(QLatin1String("c_doomed")),
             qPrintable(w.prompts.errors.first()));
    // Header and the old row 1 only; the Data page still shows the previous table.
    QCOMPARE(w.columnRows(), 2);
    QCOMPARE(w.columnCell(0, 0), QStringLiteral("Field Name"));
    QCOMPARE(w.columnCell(0, 1), QStringLiteral("code"));
    QVERIFY(w.cdsData()->active());
    QCOMPARE(w.sqryData()->tableName(), QStringLiteral("beta"));
    QCOMPARE(Window::cell(w.dataGrid(), 0, 0), QStringLiteral("abc"));
}

QTEST_MAIN(BrowseTest)
#include "BrowseTest.moc"
