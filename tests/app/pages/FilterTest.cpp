// The Data page's filter box, header sorting and status line in the real window against the
// private server: rows compared with what one ORDER BY statement returns, refusals that keep
// the rows, the header's three-click cycle, the order kept per table until log off.

#include "PagesTestSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QLocale>
#include <QRegularExpression>

using pages::TestDatabase;
using pages::Window;

class FilterTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_filter"));
        // 1200 rows: city indexed with 7 values, v indexed and nullable, w neither.
        m_db->exec("CREATE TABLE people (id INT PRIMARY KEY, city VARCHAR(10), v INT NULL, "
                   "w INT, KEY (city), KEY (v))");
        m_db->exec("INSERT INTO people SELECT seq, CONCAT('c', seq % 7), "
                   "IF(seq % 4 = 0, NULL, seq % 11), seq * 13 % 101 FROM seq_1_to_1200");
        m_db->exec("ANALYZE TABLE people");
        m_db->exec("CREATE TABLE other (id INT PRIMARY KEY, name VARCHAR(10))");
        m_db->exec("INSERT INTO other VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    }
    void cleanupTestCase() { m_db.reset(); }

    void enterAppliesAFilterOnEveryPageAndEditsStayVisible();
    void refusedFiltersShowTheirMessageAndKeepTheRows_data();
    void refusedFiltersShowTheirMessageAndKeepTheRows();
    void headerClicksCycleAscendingDescendingAndKeyOrder();
    void orderIsKeptPerTableUntilLogOff();
    void statusCountsHeldRowsAndTheServersEstimate();

private:
    /// Every row the Data page can show (all packets fetched), as "id/v" texts.
    static QStringList heldRows(Window& w)
    {
        w.cdsData()->fetchAll();
        QStringList rows;
        norvane::db::ClientDataSet* ds = w.cdsData();
        for (int r = 0; r < ds->recordCount(); ++r)
            rows << ds->displayText(r, 0) + u'/' + ds->displayText(r, 2);
        return rows;
    }
    /// The same texts read by the test's own statement.
    QStringList expectedRows(const QString& whereAndOrder) const
    {
        norvane::db::SqlSource q(m_db->admin.get());
        q.setSql("SELECT id, IFNULL(v, '') FROM people " + whereAndOrder);
        q.open();
        QStringList rows;
        for (; !q.eof(); q.next())
            rows << q.field(0).asString() + u'/' + q.field(1).asString();
        return rows;
    }
    static void typeFilter(Window& w, const QString& text)
    {
        QLineEdit* box = w.child<QLineEdit>("edFilter");
        w.updateActions();
        QVERIFY(box->isEnabled());
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }
    static void clickHeader(Window& w, int column)
    {
        QHeaderView* header = w.dataGrid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    static QString status(Window& w)
    {
        w.updateActions();
        return w.child<QLabel>("lbDataStatus")->text();
    }

    std::unique_ptr<TestDatabase> m_db;
};

void FilterTest::enterAppliesAFilterOnEveryPageAndEditsStayVisible()
{
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("people"));
    typeFilter(w, "city = 'c3' OR (v IS NULL AND w < 20)");
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(w.cdsData()->recordCount(), 100);
    QCOMPARE(heldRows(w), expectedRows("WHERE city = 'c3' OR (v IS NULL AND w < 20) ORDER BY id"));

    // A row edited out of the filter is saved and stays on the page until it is read again.
    typeFilter(w, "city = 'c3'");
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "moved"));
    Window::moveTo(w.dataGrid(), 1);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT city FROM people WHERE id = 3"), QStringLiteral("moved"));
    QCOMPARE(Window::cell(w.dataGrid(), 0, 0), QStringLiteral("3"));
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("moved"));
    typeFilter(w, "city = 'c3'");
    QCOMPARE(Window::cell(w.dataGrid(), 0, 0), QStringLiteral("10"));
    m_db->exec("UPDATE people SET city = 'c3' WHERE id = 3");

    // Esc empties the box and reads every row again.
    w.form->show();
    QApplication::setActiveWindow(w.form.get());
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    w.child<QLineEdit>("edFilter")->setFocus();
    QTest::keyClick(w.child<QLineEdit>("edFilter"), Qt::Key_Escape);
    QCOMPARE(w.child<QLineEdit>("edFilter")->text(), QString());
    QCOMPARE(w.sqryData()->filter(), QString());
    QCOMPARE(w.cdsData()->fieldByName("id").asString(), QStringLiteral("1"));
}

void FilterTest::refusedFiltersShowTheirMessageAndKeepTheRows_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("message");
    QTest::newRow("server refuses") << "nosuch = 1"
                                    << "nosuch";
    QTest::newRow("syntax") << "id = = 1"
                            << "SQL syntax";
    QTest::newRow("closes early") << "id < 3) OR (1"
                                  << "without its";
    QTest::newRow("second statement") << "id < 3; DELETE FROM other"
                                      << ";";
    QTest::newRow("comment") << "id < 3 -- "
                             << "comment";
    QTest::newRow("open quote") << "city = 'c1"
                                << "quote";
}

void FilterTest::refusedFiltersShowTheirMessageAndKeepTheRows()
{
    QFETCH(QString, filter);
    QFETCH(QString, message);
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("people"));
    typeFilter(w, "city = 'c2'");
    w.cdsData()->fetchMore();
    QVERIFY(w.run("acNext"));
    const QStringList before = heldRows(w);
    const int current = w.cdsData()->currentRow();

    typeFilter(w, filter);
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY2(w.prompts.errors.first().contains(message), qPrintable(w.prompts.errors.first()));
    // Nothing was read again: the same rows, the same place, still writable, old filter.
    QCOMPARE(w.cdsData()->currentRow(), current);
    QCOMPARE(heldRows(w), before);
    QVERIFY(w.cdsData()->canModify());
    QCOMPARE(w.sqryData()->filter(), QStringLiteral("city = 'c2'"));
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM other"), QStringLiteral("3"));
}

void FilterTest::headerClicksCycleAscendingDescendingAndKeyOrder()
{
    Window w(m_db->name);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    w.logOn();
    QVERIFY(w.choose("people"));
    QHeaderView* header = w.dataGrid()->horizontalHeader();
    typeFilter(w, "id % 3 <> 0");
    const QString where = "WHERE id % 3 <> 0 ";
    // v has an index: keyset pages; w has none: one ordered statement.
    for (const int column : {2, 3}) {
        const QString name = column == 2 ? "v" : "w";
        clickHeader(w, column);
        QCOMPARE(w.prompts.errors, QStringList());
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), column);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(w.sqryData()->isKeysetPaged(), column == 2);
        QCOMPARE(heldRows(w), expectedRows(where + "ORDER BY " + name + ", id"));

        clickHeader(w, column);
        QCOMPARE(header->sortIndicatorSection(), column);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        // Over v's index the key runs descending too, so the index serves the order.
        QCOMPARE(heldRows(w), expectedRows(where + "ORDER BY " + name + " DESC, id" +
                                           (column == 2 ? " DESC" : "")));

        clickHeader(w, column);
        QVERIFY(!header->isSortIndicatorShown());
        QCOMPARE(w.sqryData()->sortColumn(), QString());
        QCOMPARE(heldRows(w), expectedRows(where + "ORDER BY id"));
    }
    QCOMPARE(w.sqryData()->filter(), QStringLiteral("id % 3 <> 0"));
    QCOMPARE(w.prompts.errors, QStringList());
}

void FilterTest::orderIsKeptPerTableUntilLogOff()
{
    Window w(m_db->name);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    w.logOn();
    QVERIFY(w.choose("people"));
    typeFilter(w, "city = 'c5'");
    clickHeader(w, 2);
    clickHeader(w, 2);
    QVERIFY(w.choose("other"));
    QCOMPARE(w.child<QLineEdit>("edFilter")->text(), QString());
    QVERIFY(!w.dataGrid()->horizontalHeader()->isSortIndicatorShown());
    QCOMPARE(w.cdsData()->recordCount(), 3);

    QVERIFY(w.choose("people"));
    QCOMPARE(w.child<QLineEdit>("edFilter")->text(), QStringLiteral("city = 'c5'"));
    QCOMPARE(w.dataGrid()->horizontalHeader()->sortIndicatorSection(), 2);
    QCOMPARE(w.dataGrid()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(heldRows(w), expectedRows("WHERE city = 'c5' ORDER BY v DESC, id DESC"));

    QVERIFY(w.run("acLogout"));
    w.logOn();
    QVERIFY(w.choose("people"));
    QCOMPARE(w.child<QLineEdit>("edFilter")->text(), QString());
    QCOMPARE(w.sqryData()->filter(), QString());
    QCOMPARE(w.sqryData()->sortColumn(), QString());
    QVERIFY(!w.dataGrid()->horizontalHeader()->isSortIndicatorShown());
    QCOMPARE(w.prompts.errors, QStringList());
}

void FilterTest::statusCountsHeldRowsAndTheServersEstimate()
{
    const QLocale saved;
    Window w(m_db->name);
    w.logOn();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(w.choose("people"));
    // The estimate is the server's: after ANALYZE near the 1200 rows, grouped as the locale does.
    QVERIFY2(
        QRegularExpression("^100 rows held of about 1,[12]\\d\\d$").match(status(w)).hasMatch(),
        qPrintable(status(w)));
    w.cdsData()->fetchMore();
    QVERIFY2(status(w).startsWith("200 rows held of about 1,"), qPrintable(status(w)));
    w.cdsData()->fetchAll();
    QCOMPARE(status(w), QStringLiteral("All 1,200 rows held"));

    typeFilter(w, "city = 'c1'");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    w.updateActions();
    QVERIFY2(QRegularExpression("^100 matching rows held of about 1\\.[12]\\d\\d in the table$")
                 .match(status(w))
                 .hasMatch(),
             qPrintable(status(w)));
    w.cdsData()->fetchAll();
    QCOMPARE(status(w), QStringLiteral("All %1 matching rows held")
                            .arg(m_db->value("SELECT COUNT(*) FROM people WHERE city = 'c1'")));
    QLocale::setDefault(saved);
}

QTEST_MAIN(FilterTest)
#include "FilterTest.moc"
