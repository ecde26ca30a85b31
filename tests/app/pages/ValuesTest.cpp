// Whole values through the real window: long text edited in place is saved whole, the value
// editor round trips large binary, JSON and multi-line text and refuses invalid JSON, and copy
// puts the selected cells on the clipboard as tab-separated text.

#include "PagesTestSupport.h"

#include "widgets/LargeValueView.h"
#include "widgets/ValueEditor.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>

using pages::TestDatabase;
using pages::Window;

class ValuesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!pages::env("NORVANE_TEST_USER").isEmpty(),
                 "the private test server is not running");
        m_db = std::make_unique<TestDatabase>(QStringLiteral("pages_values"));
        QVERIFY(m_files.isValid());
    }
    void cleanupTestCase() { m_db.reset(); }

    void longTextEditedInPlaceIsSavedWhole_data();
    void longTextEditedInPlaceIsSavedWhole();
    void multiLineTextOpensInTheValueEditor();
    void largeBinaryRoundTripsThroughFiles();
    void jsonIsIndentedAndSavedOnlyWhenChanged();
    void invalidJsonIsRefused();
    void copyPutsTabSeparatedCellsOnTheClipboard();

private:
    void table(const QString& ddl, const QString& insert = {})
    {
        m_db->exec(QStringLiteral("DROP TABLE IF EXISTS ") + ddl.section(u' ', 2, 2));
        m_db->exec(ddl);
        if (!insert.isEmpty())
            m_db->exec(insert);
    }
    /// Shows the window, makes it active (short-cuts need it) and logs on.
    static void showAndLogOn(Window& w)
    {
        w.form->show();
        QApplication::setActiveWindow(w.form.get());
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        w.logOn();
        w.prompts.dialogs.clear();
    }
    static void click(QDialog& dialog, const char* button)
    {
        auto* b = dialog.findChild<QPushButton*>(QLatin1String(button));
        QVERIFY2(b, button);
        QVERIFY2(b->isEnabled(), button);
        b->click();
    }
    static QPlainTextEdit* textEditor(QDialog& dialog)
    {
        return dialog.findChild<QPlainTextEdit*>(QStringLiteral("moValue"));
    }
    static void doubleClick(norvane::widgets::DBGrid* grid, int row, int column)
    {
        // A widget's double-click comes after the press and release of the first click.
        const QRect cell = grid->visualRect(grid->model()->index(row, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }
    QString md5(const QByteArray& bytes)
    {
        return QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    }

    std::unique_ptr<TestDatabase> m_db;
    QTemporaryDir m_files;
};

void ValuesTest::longTextEditedInPlaceIsSavedWhole_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("repeats");
    // A line edit cuts at 32,767 characters unless told otherwise.
    QTest::newRow("TEXT of 40,000")
        << QStringLiteral("TEXT") << QStringLiteral("0123456789") << 4000;
    QTest::newRow("VARCHAR of 45,000") << QStringLiteral("VARCHAR(50000) CHARACTER SET latin1")
                                       << QStringLiteral("abcd\u00e9") << 9000;
}

void ValuesTest::longTextEditedInPlaceIsSavedWhole()
{
    QFETCH(QString, type);
    QFETCH(QString, unit);
    QFETCH(int, repeats);
    table(QStringLiteral("CREATE TABLE v_long (id INT PRIMARY KEY, t %1)").arg(type),
          QStringLiteral("INSERT INTO v_long VALUES (1, REPEAT('%1', %2)), (2, 'short')")
              .arg(unit)
              .arg(repeats));
    const QString original = unit.repeated(repeats);
    Window w(m_db->name);
    showAndLogOn(w);
    QVERIFY(w.choose("v_long"));
    auto* grid = w.dataGrid();
    grid->setFocus();
    Window::moveTo(grid, 0, 1);
    grid->edit(grid->currentIndex());
    QTRY_VERIFY(grid->isEditingCell());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->text().size(), original.size());
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClick(editor, Qt::Key_X);
    QTest::keyClick(editor, Qt::Key_Return);
    Window::moveTo(grid, 1, 1);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT CHAR_LENGTH(t) FROM v_long WHERE id = 1"),
             QString::number(original.size() + 1));
    QCOMPARE(m_db->value("SELECT t FROM v_long WHERE id = 1"), original + u'x');
}

void ValuesTest::multiLineTextOpensInTheValueEditor()
{
    // A line break cannot live in a one-line editor: the cell opens in the value editor,
    // whose text is saved exactly as typed, through the dataset's edit and post.
    table(
        "CREATE TABLE v_lines (id INT PRIMARY KEY, v VARCHAR(200), m MEDIUMTEXT)",
        "INSERT INTO v_lines VALUES (1, 'first\\nsecond', 'one\\n\\ttab \u00fc \u20ac\\n\\nlast')");
    Window w(m_db->name);
    showAndLogOn(w);
    QVERIFY(w.choose("v_lines"));
    auto* grid = w.dataGrid();
    grid->setFocus();
    Window::moveTo(grid, 0, 1);
    QVERIFY(!(grid->model()->flags(grid->currentIndex()) & Qt::ItemIsEditable));

    w.prompts.onDialog = [](QDialog& dialog) {
        QPlainTextEdit* text = textEditor(dialog);
        if (!text || text->toPlainText() != QLatin1String("first\nsecond"))
            return int(QDialog::Rejected);
        text->moveCursor(QTextCursor::End);
        text->insertPlainText(QStringLiteral("\nthird"));
        click(dialog, "btnOk");
        return dialog.result();
    };
    doubleClick(grid, 0, 1);
    QCOMPARE(w.prompts.dialogs.size(), 1);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT v = 'first\\nsecond\\nthird' FROM v_lines"), QStringLiteral("1"));

    // Shift+Enter on a text object: untouched, nothing is written; changed, saved whole.
    const QString stored = m_db->value("SELECT m FROM v_lines");
    Window::moveTo(grid, 0, 2);
    w.prompts.onDialog = [](QDialog& dialog) {
        click(dialog, "btnOk");
        return dialog.result();
    };
    QTest::keyClick(grid, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(w.prompts.dialogs.size(), 2);
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Browse);
    w.prompts.onDialog = [stored](QDialog& dialog) {
        QPlainTextEdit* text = textEditor(dialog);
        if (!text || text->toPlainText() != stored)
            return int(QDialog::Rejected);
        text->moveCursor(QTextCursor::Start);
        text->insertPlainText(QStringLiteral("zero\n"));
        click(dialog, "btnOk");
        return dialog.result();
    };
    QTest::keyClick(grid, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(w.prompts.dialogs.size(), 3);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT HEX(m) FROM v_lines"),
             QString::fromLatin1(("zero\n" + stored).toUtf8().toHex().toUpper()));
}

void ValuesTest::largeBinaryRoundTripsThroughFiles()
{
    table("CREATE TABLE v_blob (id INT PRIMARY KEY, data LONGBLOB)",
          "INSERT INTO v_blob VALUES (1, NULL)");
    QByteArray bytes(16 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20261209);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    const QString in = m_files.filePath(QStringLiteral("in.bin"));
    const QString out = m_files.filePath(QStringLiteral("out.bin"));
    {
        QFile f(in);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    Window w(m_db->name);
    showAndLogOn(w);
    QVERIFY(w.choose("v_blob"));
    auto* grid = w.dataGrid();
    w.prompts.fileName = in;
    w.prompts.onDialog = [](QDialog& dialog) {
        click(dialog, "btnLoadValue");
        click(dialog, "btnOk");
        return dialog.result();
    };
    doubleClick(grid, 0, 1);
    QCOMPARE(w.prompts.dialogs.size(), 1);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT LENGTH(data) FROM v_blob"), QString::number(bytes.size()));
    QCOMPARE(m_db->value("SELECT MD5(data) FROM v_blob"), md5(bytes));

    // Read again from the server: shown at once, saved to a file byte for byte.
    w.child<norvane::widgets::DBNavigator>("DBNavigator1")
        ->click(norvane::widgets::DBNavigator::Button::Refresh);
    QCOMPARE(w.prompts.errors, QStringList());
    const QString firstLine =
        QStringLiteral("00000000  ") + QString::fromLatin1(bytes.left(1).toHex().toUpper());
    w.prompts.fileName = out;
    qint64 openMs = -1;
    QElapsedTimer timer;
    w.prompts.onDialog = [&](QDialog& dialog) {
        dialog.show();
        QApplication::processEvents();
        openMs = timer.elapsed();
        auto* view = dialog.findChild<norvane::widgets::LargeValueView*>(QStringLiteral("vwValue"));
        if (!view || !view->lineText(0).startsWith(firstLine) || view->lineCount() != 1048576)
            return int(QDialog::Rejected);
        click(dialog, "btnSaveValue");
        click(dialog, "btnOk");
        return dialog.result();
    };
    Window::moveTo(grid, 0, 1);
    grid->setFocus();
    timer.start();
    QTest::keyClick(grid, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(w.prompts.dialogs.size(), 2);
    qInfo("16 MB value editor shown in %lld ms", static_cast<long long>(openMs));
    QVERIFY2(openMs >= 0 && openMs < 1000, qPrintable(QString::number(openMs)));
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll() == bytes);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(w.cdsData()->changeCount(), 0);
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Browse);
}

void ValuesTest::jsonIsIndentedAndSavedOnlyWhenChanged()
{
    // Big numbers, escapes and member order must survive: only white space is changed for
    // reading, and the stored text is not rewritten unless the user changed it.
    const QString stored = QStringLiteral(
        R"({"b":12345678901234567890123,"a":[1,2.50,{}],"s":"x\"y\u00e9","a":null})");
    table("CREATE TABLE v_json (id INT PRIMARY KEY, doc JSON)",
          QStringLiteral("INSERT INTO v_json VALUES (1, '%1')")
              .arg(QString(stored).replace(QStringLiteral("\\"), QStringLiteral("\\\\"))));
    QCOMPARE(m_db->value("SELECT doc FROM v_json"), stored);
    Window w(m_db->name);
    showAndLogOn(w);
    QVERIFY(w.choose("v_json"));
    QString shown;
    w.prompts.onDialog = [&shown](QDialog& dialog) {
        if (QPlainTextEdit* text = textEditor(dialog))
            shown = text->toPlainText();
        click(dialog, "btnOk");
        return dialog.result();
    };
    doubleClick(w.dataGrid(), 0, 1);
    QCOMPARE(shown, QStringLiteral("{\n"
                                   "    \"b\": 12345678901234567890123,\n"
                                   "    \"a\": [\n"
                                   "        1,\n"
                                   "        2.50,\n"
                                   "        {}\n"
                                   "    ],\n"
                                   "    \"s\": \"x\\\"y\\u00e9\",\n"
                                   "    \"a\": null\n"
                                   "}"));
    QCOMPARE(m_db->value("SELECT doc FROM v_json"), stored);
    QCOMPARE(w.cdsData()->state(), norvane::db::DataSetState::Browse);

    w.prompts.onDialog = [](QDialog& dialog) {
        QPlainTextEdit* text = textEditor(dialog);
        if (!text)
            return int(QDialog::Rejected);
        text->setPlainText(
            text->toPlainText().replace(QStringLiteral("null"), QStringLiteral("[true, false]")));
        click(dialog, "btnOk");
        return dialog.result();
    };
    doubleClick(w.dataGrid(), 0, 1);
    QCOMPARE(w.prompts.errors, QStringList());
    QCOMPARE(m_db->value("SELECT JSON_EXTRACT(doc, '$.b') FROM v_json"),
             QStringLiteral("12345678901234567890123"));
    QCOMPARE(m_db->value("SELECT doc LIKE '%\"a\": [true, false]\n}' FROM v_json"),
             QStringLiteral("1"));
}

void ValuesTest::invalidJsonIsRefused()
{
    table("CREATE TABLE v_badjson (id INT PRIMARY KEY, doc JSON)",
          "INSERT INTO v_badjson VALUES (1, '{\"a\": 1}')");
    Window w(m_db->name);
    showAndLogOn(w);
    QVERIFY(w.choose("v_badjson"));
    int firstTry = -1;
    w.prompts.onDialog = [&](QDialog& dialog) {
        QPlainTextEdit* text = textEditor(dialog);
        if (!text)
            return int(QDialog::Rejected);
        text->setPlainText(QStringLiteral("{\n    \"a\": 1,\n}"));
        click(dialog, "btnOk");
        firstTry = dialog.result();
        text->setPlainText(QStringLiteral("{\"a\": 2}"));
        click(dialog, "btnOk");
        return dialog.result();
    };
    doubleClick(w.dataGrid(), 0, 1);
    QCOMPARE(firstTry, int(QDialog::Rejected));
    QCOMPARE(w.prompts.errors,
             QStringList{"Not valid JSON: a member name in double quotes expected at line 3, "
                         "column 1."});
    QCOMPARE(m_db->value("SELECT doc FROM v_badjson"), QStringLiteral("{\"a\": 2}"));
}

void ValuesTest::copyPutsTabSeparatedCellsOnTheClipboard()
{
    table("CREATE TABLE v_copy (id INT PRIMARY KEY, name VARCHAR(40), note VARCHAR(40), n INT)",
          "INSERT INTO v_copy VALUES (1, 'plain', 'tab\\there', NULL), "
          "(2, '\"quoted\" start', 'two\\nlines', 7), (3, 'say \"hi\"', '', -3)");
    const QString rows = QStringLiteral("1\tplain\t\"tab\there\"\t\n"
                                        "2\t\"\"\"quoted\"\" start\"\t\"two\nlines\"\t7\n"
                                        "3\tsay \"hi\"\t\t-3");
    Window w(m_db->name);
    showAndLogOn(w);
    QVERIFY(w.choose("v_copy"));
    QTRY_COMPARE(w.dataGrid()->model()->rowCount(), 3);

    for (norvane::widgets::DBGrid* grid : {w.dataGrid(), w.sqlGrid()}) {
        if (grid == w.sqlGrid()) {
            w.child<QTabWidget>("pctMain")->setCurrentWidget(w.child<QWidget>("tshSQL"));
            w.memo()->setPlainText(QStringLiteral("SELECT * FROM v_copy ORDER BY id"));
            w.memo()->setTextModified(true);
            QVERIFY(w.run("acExecute"));
            QTRY_COMPARE(grid->model()->rowCount(), 3);
        }
        grid->setFocus();
        grid->selectAll();
        QApplication::clipboard()->clear();
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), rows);
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("id\tname\tnote\tn\n") + rows);

        // A block of two cells in a column: the rows in order, nothing else.
        grid->selectionModel()->select(grid->model()->index(2, 3),
                                       QItemSelectionModel::ClearAndSelect);
        grid->selectionModel()->select(grid->model()->index(0, 3), QItemSelectionModel::Select);
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("\n-3"));
    }
    QCOMPARE(w.prompts.errors, QStringList());

    // The console's rows are read-only: its value editor only shows them.
    bool readOnly = false;
    w.prompts.onDialog = [&readOnly](QDialog& dialog) {
        QPlainTextEdit* text = textEditor(dialog);
        readOnly = text && text->isReadOnly() &&
                   text->toPlainText() == QLatin1String("two\nlines") &&
                   !dialog.findChild<QPushButton*>(QStringLiteral("btnOk")) &&
                   !dialog.findChild<QPushButton*>(QStringLiteral("btnSetNull"))->isEnabled();
        return int(QDialog::Rejected);
    };
    doubleClick(w.sqlGrid(), 1, 2);
    QCOMPARE(w.prompts.dialogs.size(), 1);
    QVERIFY(readOnly);
}

QTEST_MAIN(ValuesTest)
#include "ValuesTest.moc"
