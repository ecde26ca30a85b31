// Editing through the Data page of the real window: every post and delete reaches the server at
// once, refused changes stay marked with the user's values until their row is posted again or
// reverted, unsaved rows are never dropped without a question, and awkward table names, float
// and BLOB columns survive write-back.

#include "PagesTestSupport.h"

#include <QApplication>

using pages::TestDatabase;
using pages::Window;

class EditTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_edit"));
    }
    void cleanupTestCase() { m_db.reset(); }

    void changedCellReachesTheServerWhenTheRowIsLeft();
    void insertAndDeleteReachTheServer();
    void choosingAnotherTablePostsTheRowBeingEdited();
    void shortcutsPostAndDeleteAfterTheQuestion();
    void navigatorDeleteAsksFirst();
    void deletingAnUnpostedRowSendsNothing();
    void refusedRowStaysMarkedAndIsNotSentWithAnotherRowsPost();
    void switchLogOffAndCloseAskAboutUnsavedRows();
    void logOffLeavesTheGridReadOnly();
    void twinRowsWithoutKeyAreRefused();
    void constraintViolationShowsTheServerText();
    void awkwardTableNamesWriteBack_data();
    void awkwardTableNamesWriteBack();
    void floatRowUpdatesWithoutKey();
    void blobIsShownByPlaceholderAndLeftAlone();

private:
    /// A fresh table with `ddl` (its name after "CREATE TABLE") and the rows of `insert`.
    void table(const QString& ddl, const QString& insert = {})
    {
        m_db->exec(QStringLiteral("DROP TABLE IF EXISTS ") + ddl.section(u' ', 2, 2));
        m_db->exec(ddl);
        if (!insert.isEmpty())
            m_db->exec(insert);
    }
    std::unique_ptr<TestDatabase> m_db;
};

void EditTest::changedCellReachesTheServerWhenTheRowIsLeft()
{
    table("CREATE TABLE e_change (id INT PRIMARY KEY, name VARCHAR(20))",
          "INSERT INTO e_change VALUES (1, 'one'), (2, 'two')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_change"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "uno"));
    QCOMPARE(m_db->value("SELECT name FROM e_change WHERE id = 1"), QStringLiteral("one"));
    Window::moveTo(w.dataGrid(), 1);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT name FROM e_change WHERE id = 1"), QStringLiteral("uno"));
    QCOMPARE(w.cdsData()->changeCount(), 0);
}

void EditTest::insertAndDeleteReachTheServer()
{
    table("CREATE TABLE e_insdel (id INT PRIMARY KEY, name VARCHAR(20))",
          "INSERT INTO e_insdel VALUES (1, 'one')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_insdel"));
    w.child<norvane::widgets::DBNavigator>("DBNavigator1")
        ->click(norvane::widgets::DBNavigator::Button::Insert);
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Insert);
    const int row = w.cdsData()->currentRow();
    QVERIFY(Window::edit(w.dataGrid(), row, 0, "5"));
    QVERIFY(Window::edit(w.dataGrid(), row, 1, "five"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT name FROM e_insdel WHERE id = 5"), QStringLiteral("five"));

    int oldRow = 0;
    while (Window::cell(w.dataGrid(), oldRow, 0) != QLatin1String("1"))
        QVERIFY(++oldRow < w.dataGrid()->model()->rowCount());
    Window::moveTo(w.dataGrid(), oldRow);
    w.prompts.answer = QMessageBox::Ok;
    QVERIFY(w.run("acDel"));
    QCOMPARE(w.prompts.questions, QStringList{"Delete record?"});
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_insdel WHERE id = 1"), QStringLiteral("0"));
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_insdel"), QStringLiteral("1"));
}

void EditTest::choosingAnotherTablePostsTheRowBeingEdited()
{
    table("CREATE TABLE e_switch (id INT PRIMARY KEY, name VARCHAR(20))",
          "INSERT INTO e_switch VALUES (1, 'one')");
    table("CREATE TABLE e_switch_dup (id INT PRIMARY KEY)",
          "INSERT INTO e_switch_dup VALUES (1), (2)");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_switch"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "kept"));
    QVERIFY(w.choose("e_switch_dup"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT name FROM e_switch WHERE id = 1"), QStringLiteral("kept"));

    // A refused row stops the switch: the table and the user's value stay.
    QVERIFY(Window::edit(w.dataGrid(), 1, 0, "1"));
    QVERIFY(w.choose("e_switch"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(w.sqryData()->tableName(), QStringLiteral("e_switch_dup"));
    QCOMPARE(Window::cell(w.dataGrid(), 1, 0), QStringLiteral("1"));
}

void EditTest::shortcutsPostAndDeleteAfterTheQuestion()
{
    table("CREATE TABLE e_keys (id INT PRIMARY KEY, name VARCHAR(20))",
          "INSERT INTO e_keys VALUES (1, 'one'), (2, 'two')");
    Window w(m_db->name);
    w.form->show();
    QApplication::setActiveWindow(w.form.get());
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    w.logOn();
    QVERIFY(w.choose("e_keys"));
    QCOMPARE(w.action("acPost")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(w.action("acDel")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));

    // Typed into the cell editor and posted with Ctrl+S while the editor is still open.
    w.dataGrid()->setFocus();
    Window::moveTo(w.dataGrid(), 0, 1);
    w.dataGrid()->edit(w.dataGrid()->currentIndex());
    QTRY_VERIFY(w.dataGrid()->isEditingCell());
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "eins");
    w.updateActions();
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE(m_db->value("SELECT name FROM e_keys WHERE id = 1"), QStringLiteral("eins"));

    // Inside a cell editor Ctrl+Del deletes the next word, never the row.
    w.dataGrid()->setFocus();
    Window::moveTo(w.dataGrid(), 1, 1);
    w.dataGrid()->edit(w.dataGrid()->currentIndex());
    QTRY_VERIFY(w.dataGrid()->isEditingCell());
    editor = QApplication::focusWidget();
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "zwei drei");
    QTest::keyClick(editor, Qt::Key_Home);
    w.updateActions();
    QTest::keyClick(editor, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(qobject_cast<QLineEdit*>(editor)->text(), QStringLiteral("drei"));
    QCOMPARE(w.prompts.questions, QStringList());
    QTest::keyClick(editor, Qt::Key_Escape);
    QTest::keyClick(w.dataGrid(), Qt::Key_Escape);
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_keys"), QStringLiteral("2"));

    // On the grid Ctrl+Del deletes the row, after the navigator's question.
    w.dataGrid()->setFocus();
    Window::moveTo(w.dataGrid(), 1, 0);
    w.updateActions();
    w.prompts.answer = QMessageBox::Cancel;
    QTest::keyClick(w.dataGrid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(w.prompts.questions, QStringList{"Delete record?"});
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_keys"), QStringLiteral("2"));
    w.prompts.answer = QMessageBox::Ok;
    QTest::keyClick(w.dataGrid(), Qt::Key_Delete, Qt::ControlModifier);
    QTRY_COMPARE(m_db->value("SELECT COUNT(*) FROM e_keys"), QStringLiteral("1"));
    QCOMPARE(w.prompts.questions.size(), 2);
    QCOMPARE(w.prompts.errors, QStringList());
}

void EditTest::navigatorDeleteAsksFirst()
{
    table("CREATE TABLE e_nav (id INT PRIMARY KEY)", "INSERT INTO e_nav VALUES (1), (2)");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_nav"));
    auto* nav = w.child<norvane::widgets::DBNavigator>("DBNavigator1");
    w.prompts.answer = QMessageBox::Cancel;
    nav->click(norvane::widgets::DBNavigator::Button::Delete);
    QCOMPARE(w.prompts.questions, QStringList{"Delete record?"});
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_nav"), QStringLiteral("2"));
    w.prompts.answer = QMessageBox::Ok;
    nav->click(norvane::widgets::DBNavigator::Button::Delete);
    QCOMPARE(w.prompts.questions.size(), 2);
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_nav"), QStringLiteral("1"));
    QCOMPARE(w.prompts.errors, QStringList());
}

void EditTest::deletingAnUnpostedRowSendsNothing()
{
    table("CREATE TABLE e_unposted (id INT PRIMARY KEY, name VARCHAR(5) NOT NULL)",
          "INSERT INTO e_unposted VALUES (1, 'a')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_unposted"));
    w.cdsData()->insert();
    QVERIFY(Window::edit(w.dataGrid(), w.cdsData()->currentRow(), 0, "9"));
    w.prompts.answer = QMessageBox::Ok;
    QVERIFY(w.run("acDel"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Browse);
    QCOMPARE(w.cdsData()->changeCount(), 0);
    QCOMPARE(w.cdsData()->recordCount(), 1);
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_unposted"), QStringLiteral("1"));
}

void EditTest::refusedRowStaysMarkedAndIsNotSentWithAnotherRowsPost()
{
    table("CREATE TABLE e_other (id INT PRIMARY KEY, name VARCHAR(20))",
          "INSERT INTO e_other VALUES (1, 'one'), (2, 'two')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_other"));
    m_db->exec("UPDATE e_other SET name = 'theirs' WHERE id = 1");
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "mine"));
    QVERIFY(w.run("acPost"));
    const QString refused = QStringLiteral("Record not found or changed by another user");
    QCOMPARE(w.prompts.errors, QStringList{refused});
    QCOMPARE(w.cdsData()->changeCount(), 1);
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("mine"));
    QCOMPARE(m_db->value("SELECT name FROM e_other WHERE id = 1"), QStringLiteral("theirs"));

    // The other session puts its value back; another row's post sends only that row.
    m_db->exec("UPDATE e_other SET name = 'one' WHERE id = 1");
    QVERIFY(Window::edit(w.dataGrid(), 1, 1, "zwei"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(m_db->value("SELECT name FROM e_other WHERE id = 2"), QStringLiteral("zwei"));
    QCOMPARE(m_db->value("SELECT name FROM e_other WHERE id = 1"), QStringLiteral("one"));
    QAbstractItemModel* model = w.dataGrid()->model();
    QVERIFY(model->headerData(0, Qt::Vertical).toString().contains(u'!'));
    QCOMPARE(model->headerData(0, Qt::Vertical, Qt::ToolTipRole).toString(), refused);
    QCOMPARE(model->index(0, 1).data(Qt::ToolTipRole).toString(), refused);
    QVERIFY(!model->headerData(1, Qt::Vertical).toString().contains(u'!'));

    // Reverted, the row shows the server's values and its mark goes.
    Window::moveTo(w.dataGrid(), 0);
    QVERIFY(w.run("acRevertRow"));
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("one"));
    QCOMPARE(w.cdsData()->changeCount(), 0);
    QVERIFY(!model->headerData(0, Qt::Vertical).toString().contains(u'!'));
    QCOMPARE(w.prompts.errors.size(), 1);
}

void EditTest::switchLogOffAndCloseAskAboutUnsavedRows()
{
    table("CREATE TABLE e_ask (id INT PRIMARY KEY, name VARCHAR(20))",
          "INSERT INTO e_ask VALUES (1, 'one'), (2, 'two')");
    table("CREATE TABLE e_ask2 (id INT PRIMARY KEY)");
    Window w(m_db->name);
    w.form->show();
    w.logOn();
    QVERIFY(w.choose("e_ask"));
    m_db->exec("UPDATE e_ask SET name = 'theirs' WHERE id = 1");
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "mine"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors.size(), 1);

    // "Stay" keeps the table, its node and the refused row, wherever the question came from.
    w.prompts.answer = QMessageBox::Cancel;
    QVERIFY(w.choose("e_ask2"));
    QCOMPARE(w.prompts.questions.size(), 1);
    QCOMPARE(w.tree()->currentItem()->text(0), QStringLiteral("e_ask"));
    QCOMPARE(w.sqryData()->tableName(), QStringLiteral("e_ask"));
    QVERIFY(w.run("acLogout"));
    QCOMPARE(w.prompts.questions.size(), 2);
    QVERIFY(w.connection()->isConnected());
    QVERIFY(!w.form->close());
    QCOMPARE(w.prompts.questions.size(), 3);
    QVERIFY(w.form->isVisible());
    QCOMPARE(w.cdsData()->changeCount(), 1);
    QCOMPARE(Window::cell(w.dataGrid(), 0, 1), QStringLiteral("mine"));

    // "Save" posts it again: once the server matches the original, it goes through.
    m_db->exec("UPDATE e_ask SET name = 'one' WHERE id = 1");
    w.prompts.answer = QMessageBox::Save;
    QVERIFY(w.choose("e_ask2"));
    QCOMPARE(w.sqryData()->tableName(), QStringLiteral("e_ask2"));
    QCOMPARE(m_db->value("SELECT name FROM e_ask WHERE id = 1"), QStringLiteral("mine"));

    // "Discard" throws the refused change away and lets the window close.
    QVERIFY(w.choose("e_ask"));
    m_db->exec("UPDATE e_ask SET name = 'theirs' WHERE id = 2");
    QVERIFY(Window::edit(w.dataGrid(), 1, 1, "lost"));
    QVERIFY(w.run("acPost"));
    w.prompts.answer = QMessageBox::Discard;
    QVERIFY(w.form->close());
    QCOMPARE(m_db->value("SELECT name FROM e_ask WHERE id = 2"), QStringLiteral("theirs"));
}

void EditTest::logOffLeavesTheGridReadOnly()
{
    table("CREATE TABLE e_off (id INT AUTO_INCREMENT PRIMARY KEY, name VARCHAR(20) DEFAULT 'd')",
          "INSERT INTO e_off VALUES (1, 'one'), (2, 'two')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_off"));
    QVERIFY(w.run("acLogout"));
    QCOMPARE(Window::cell(w.dataGrid(), 1, 1), QStringLiteral("two"));
    QVERIFY(
        !(w.dataGrid()->model()->flags(w.dataGrid()->model()->index(0, 1)) & Qt::ItemIsEditable));
    QVERIFY(!Window::edit(w.dataGrid(), 0, 1, "changed"));
    QVERIFY(!w.enabled("acDel"));
    auto* nav = w.child<norvane::widgets::DBNavigator>("DBNavigator1");
    nav->click(norvane::widgets::DBNavigator::Button::Insert);
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Browse);
    QTest::keyClick(w.dataGrid(), Qt::Key_Insert);
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Browse);
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_off"), QStringLiteral("2"));
    QCOMPARE(m_db->value("SELECT GROUP_CONCAT(name ORDER BY id) FROM e_off"),
             QStringLiteral("one,two"));
}

void EditTest::twinRowsWithoutKeyAreRefused()
{
    table("CREATE TABLE e_twins (a INT, b VARCHAR(5))",
          "INSERT INTO e_twins VALUES (1, 'x'), (1, 'x')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_twins"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "y"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors, QStringList{"Update affected more than 1 record."});
    QCOMPARE(w.cdsData()->changeCount(), 1);
    QCOMPARE(m_db->value("SELECT COUNT(*) FROM e_twins WHERE b = 'x'"), QStringLiteral("2"));
}

void EditTest::constraintViolationShowsTheServerText()
{
    table("CREATE TABLE e_dup (id INT PRIMARY KEY, name VARCHAR(5))",
          "INSERT INTO e_dup VALUES (1, 'a'), (2, 'b')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_dup"));
    QVERIFY(Window::edit(w.dataGrid(), 1, 0, "1"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QVERIFY2(w.prompts.errors.first().contains(QLatin1String("Duplicate entry '1'")),
             qPrintable(w.prompts.errors.first()));
    QCOMPARE(Window::cell(w.dataGrid(), 1, 0), QStringLiteral("1"));
    QCOMPARE(w.cdsData()->changeCount(), 1);
    // Put right by the user, the change goes through with the next post.
    QVERIFY(Window::edit(w.dataGrid(), 1, 0, "3"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(m_db->value("SELECT name FROM e_dup WHERE id = 3"), QStringLiteral("b"));
}

void EditTest::awkwardTableNamesWriteBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("space") << QStringLiteral("e with space");
    QTest::newRow("reserved word") << QStringLiteral("select");
    QTest::newRow("non-ASCII") << QStringLiteral("e_gr\u00fc\u00dfe_\u65e5\u672c");
    QTest::newRow("backtick") << QStringLiteral("e`tick");
}

void EditTest::awkwardTableNamesWriteBack()
{
    QFETCH(QString, name);
    const QString quoted = norvane::db::Connection::quoteIdentifier(name);
    m_db->exec(QStringLiteral("DROP TABLE IF EXISTS ") + quoted);
    m_db->exec(QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(10))").arg(quoted));
    m_db->exec(QStringLiteral("INSERT INTO %1 VALUES (1, 'old'), (2, 'gone')").arg(quoted));
    Window w(m_db->name);
    w.logOn();
    QVERIFY2(w.choose(name), qPrintable(w.nodeTexts().join(u',')));
    QCOMPARE(w.columnCell(0, 1), QStringLiteral("id"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "new"));
    QVERIFY(w.run("acPost"));
    Window::moveTo(w.dataGrid(), 1);
    w.prompts.answer = QMessageBox::Ok;
    QVERIFY(w.run("acDel"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value(QStringLiteral("SELECT GROUP_CONCAT(v) FROM ") + quoted),
             QStringLiteral("new"));
    m_db->exec(QStringLiteral("DROP TABLE ") + quoted);
}

void EditTest::floatRowUpdatesWithoutKey()
{
    table("CREATE TABLE e_float (f FLOAT, name VARCHAR(5))",
          "INSERT INTO e_float VALUES (1.1, 'a')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_float"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 1, "b"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT name FROM e_float"), QStringLiteral("b"));
}

void EditTest::blobIsShownByPlaceholderAndLeftAlone()
{
    table("CREATE TABLE e_blob (id INT PRIMARY KEY, data BLOB, name VARCHAR(5))",
          "INSERT INTO e_blob VALUES (1, X'00FF10805C27', 'a')");
    Window w(m_db->name);
    w.logOn();
    QVERIFY(w.choose("e_blob"));
    const QString shown = Window::cell(w.dataGrid(), 0, 1);
    QCOMPARE(shown, QStringLiteral("(BLOB) 6 bytes"));
    QVERIFY(Window::edit(w.dataGrid(), 0, 2, "b"));
    QVERIFY(w.run("acPost"));
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT name FROM e_blob"), QStringLiteral("b"));
    QCOMPARE(m_db->value("SELECT HEX(data) FROM e_blob"), QStringLiteral("00FF10805C27"));
}

QTEST_MAIN(EditTest)
#include "EditTest.moc"
