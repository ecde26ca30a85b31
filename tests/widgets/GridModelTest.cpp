// The grid model over a real cached dataset: columns, cells, edits that reach the server only
// when the user made them, read-only refusal, and errors handed to the sink.
#include "WidgetTestSupport.h"

#include "widgets/DBGrid.h"
#include "widgets/DataGridModel.h"

#include <QSignalSpy>

using namespace norvane;
using namespace norvane::widgets;
using namespace norvane::widgets::test;

class GridModelTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<db::Connection> m_db;

    QString sampleTable()
    {
        const QString t = uniqueName("cells");
        m_db->execute(
            QStringLiteral(
                "CREATE TABLE %1 (id INT PRIMARY KEY, name VARCHAR(20) UNIQUE, secret INT, "
                "price DECIMAL(8,2), born DATE, note VARCHAR(10))")
                .arg(t));
        m_db->execute(QStringLiteral("INSERT INTO %1 VALUES (7, 'abc', 1, 12.50, '2024-03-05', "
                                     "NULL), (8, 'def', 2, -3.00, NULL, '')")
                          .arg(t));
        return t;
    }

private slots:
    void initTestCase() { m_db = openConnection(); }

    void columnsFollowVisibleFieldsInOrder()
    {
        Chain c(*m_db, sampleTable());
        c.open();
        DataGridModel model(&c.ds);
        QCOMPARE(model.columnCount(), 6);
        QStringList titles;
        for (int i = 0; i < model.columnCount(); ++i)
            titles << model.headerData(i, Qt::Horizontal).toString();
        QCOMPARE(titles, QStringList({"id", "name", "secret", "price", "born", "note"}));

        c.data.fieldByName(QStringLiteral("secret")).setVisible(false);
        c.data.fieldByName(QStringLiteral("price")).setDisplayLabel(QStringLiteral("Price"));
        model.reload();
        QCOMPARE(model.columnCount(), 5);
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Price"));
        QCOMPARE(model.fieldIndex(2), 3);
        QCOMPARE(model.columnOfField(2), -1);
        QCOMPARE(model.data(model.index(0, 2), DataGridModel::FieldIndexRole).toInt(), 3);
    }

    void cellsShowDisplayTextAndAlignment_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNull");
        QTest::addColumn<int>("horizontal");
        QTest::newRow("integer") << 0 << 0 << "7" << false << int(Qt::AlignRight);
        QTest::newRow("string") << 0 << 1 << "abc" << false << int(Qt::AlignLeft);
        QTest::newRow("decimal") << 0 << 3 << "12.50" << false << int(Qt::AlignRight);
        QTest::newRow("negative decimal") << 1 << 3 << "-3.00" << false << int(Qt::AlignRight);
        QTest::newRow("null date") << 1 << 4 << "" << true << int(Qt::AlignLeft);
        QTest::newRow("null string") << 0 << 5 << "" << true << int(Qt::AlignLeft);
        QTest::newRow("empty string") << 1 << 5 << "" << false << int(Qt::AlignLeft);
    }

    void cellsShowDisplayTextAndAlignment()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(bool, isNull);
        QFETCH(int, horizontal);
        Chain c(*m_db, sampleTable());
        c.open();
        DataGridModel model(&c.ds);
        const QModelIndex i = model.index(row, column);
        QCOMPARE(model.data(i).toString(), text);
        QCOMPARE(model.data(i).toString(), c.data.displayText(row, column));
        QCOMPARE(model.data(i, DataGridModel::NullRole).toBool(), isNull);
        const auto align = model.data(i, Qt::TextAlignmentRole).value<Qt::Alignment>();
        QCOMPARE(int(align & Qt::AlignHorizontal_Mask), horizontal);
        QVERIFY(model.flags(i) & Qt::ItemIsEditable);
    }

    void readOnlyDatasetRefusesEveryEdit()
    {
        const QString t = sampleTable();
        Chain c(*m_db, QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(t), true);
        c.open();
        DataGridModel model(&c.ds);
        QCOMPARE(model.rowCount(), 2);
        const QModelIndex name = model.index(0, 1);
        QVERIFY(!(model.flags(name) & Qt::ItemIsEditable));
        QVERIFY(!model.canModify(name));
        QVERIFY(!model.setData(name, QStringLiteral("zzz")));
        QVERIFY(!model.setNull(name));
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        QCOMPARE(model.data(name).toString(), QStringLiteral("abc"));
        QVERIFY(c.errors.isEmpty());
    }

    void unchangedTextStartsNoEdit()
    {
        Chain c(*m_db, sampleTable());
        c.open();
        DataGridModel model(&c.ds);
        // What an editor commits when the user only opened and left it.
        for (int col = 0; col < model.columnCount(); ++col) {
            const QModelIndex i = model.index(0, col);
            QVERIFY(!model.setData(i, model.data(i, Qt::EditRole)));
        }
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        QCOMPARE(c.data.changeCount(), 0);
    }

    void editEntersEditStateAndShowsTheNewText()
    {
        Chain c(*m_db, sampleTable());
        c.open();
        DataGridModel model(&c.ds);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const QModelIndex price = model.index(1, 3);
        QVERIFY(model.setData(price, QStringLiteral("99.25")));
        QCOMPARE(c.data.currentRow(), 1);
        QCOMPARE(c.data.state(), db::DataSetState::Edit);
        QCOMPARE(model.data(price).toString(), QStringLiteral("99.25"));
        QVERIFY(!changed.isEmpty());
        QCOMPARE(model.headerData(1, Qt::Vertical).toString(), QStringLiteral("I"));
        c.data.post();
        QCOMPARE(
            scalar(*m_db,
                   QStringLiteral("SELECT price FROM %1 WHERE id=8").arg(c.source.tableName())),
            QStringLiteral("99.25"));
    }

    void badTextGoesToTheSinkAndChangesNothing()
    {
        Chain c(*m_db, sampleTable());
        c.open();
        DataGridModel model(&c.ds);
        QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("abc")));
        QCOMPARE(c.errors.size(), 1);
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("7"));
        QCOMPARE(c.data.changeCount(), 0);
    }

    void refusedPostKeepsTheUserValueAndReportsTheServerText()
    {
        Chain c(*m_db, sampleTable());
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        DataGridModel& model = *grid.gridModel();
        // "def" is taken by row 2: the server refuses the unique key when the row is left.
        QVERIFY(model.setData(model.index(0, 1), QStringLiteral("def")));
        grid.setCurrentIndex(model.index(1, 1));
        QCOMPARE(c.errors.size(), 1);
        QCOMPARE(c.data.currentRow(), 0);
        QTRY_COMPARE(grid.currentIndex().row(), 0);
        QVERIFY2(c.errors.first().contains(QLatin1String("Duplicate")),
                 qPrintable(c.errors.first()));
        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("def"));
        QCOMPARE(c.data.changeCount(), 1);
        QCOMPARE(scalar(*m_db,
                        QStringLiteral("SELECT name FROM %1 WHERE id=7").arg(c.source.tableName())),
                 QStringLiteral("abc"));
    }

    void textCellDrawsOnlyItsFirstLineYetEditsAndCopiesWhole()
    {
        const QString t = uniqueName("long");
        m_db->execute(QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, body LONGTEXT) "
                                     "CHARSET utf8mb4")
                          .arg(t));
        m_db->execute(QStringLiteral("INSERT INTO %1 VALUES (1, CONCAT('first line', '\\r\\n', "
                                     "REPEAT('x', 3000000))), (2, REPEAT(CONVERT(X'C3A9' USING "
                                     "utf8mb4), 5000)), (3, 'short'), (4, NULL)")
                          .arg(t));
        Chain c(*m_db, t);
        c.open();
        DataGridModel model(&c.ds);
        const QModelIndex multiLine = model.index(0, 1);
        const QString whole = QStringLiteral("first line\r\n") + QString(3000000, u'x');
        QCOMPARE(model.data(multiLine).toString(), QStringLiteral("first line") + QChar(0x2026));
        QCOMPARE(model.data(multiLine, DataGridModel::FullTextRole).toString(), whole);
        QCOMPARE(model.data(multiLine, Qt::EditRole).toString(), whole);
        // Only as many characters as a column can show are decoded, whole characters only.
        QCOMPARE(model.data(model.index(1, 1)).toString(),
                 QString(DataGridModel::kMaxDrawnChars, QChar(0xE9)) + QChar(0x2026));
        QCOMPARE(model.data(model.index(2, 1)).toString(), QStringLiteral("short"));
        QCOMPARE(model.data(model.index(3, 1)).toString(), QString());
        QVERIFY(model.data(model.index(3, 1), DataGridModel::NullRole).toBool());
    }

    void blobCellShowsPlaceholderAndSurvivesAnotherColumnsEdit()
    {
        const QString t = uniqueName("blob");
        m_db->execute(QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, name VARCHAR(10), "
                                     "data LONGBLOB, body TEXT)")
                          .arg(t));
        m_db->execute(QStringLiteral("INSERT INTO %1 VALUES (1, 'a', "
                                     "REPEAT(UNHEX('00FF7F80275C0D0A'), 40000), 'x\\ny'), "
                                     "(2, 'b', NULL, 'plain')")
                          .arg(t));
        const QString before =
            scalar(*m_db, QStringLiteral("SELECT MD5(data) FROM %1 WHERE id=1").arg(t));
        Chain c(*m_db, t);
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        DataGridModel& model = *grid.gridModel();
        QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("(BLOB) 320000 bytes"));
        QCOMPARE(model.data(model.index(1, 2)).toString(), QString());
        QVERIFY(!(model.flags(model.index(0, 2)) & Qt::ItemIsEditable));
        QVERIFY(!model.setData(model.index(0, 2), QStringLiteral("(BLOB)")));
        // A text with line breaks cannot round-trip through a one-line editor.
        QVERIFY(!(model.flags(model.index(0, 3)) & Qt::ItemIsEditable));
        QVERIFY(model.flags(model.index(1, 3)) & Qt::ItemIsEditable);

        QVERIFY(model.setData(model.index(0, 1), QStringLiteral("renamed")));
        grid.setCurrentIndex(model.index(1, 1));
        QCOMPARE(c.data.changeCount(), 0);
        QVERIFY2(c.errors.isEmpty(), qPrintable(c.errors.join('\n')));
        QCOMPARE(scalar(*m_db, QStringLiteral("SELECT name FROM %1 WHERE id=1").arg(t)),
                 QStringLiteral("renamed"));
        QCOMPARE(scalar(*m_db, QStringLiteral("SELECT MD5(data) FROM %1 WHERE id=1").arg(t)),
                 before);
        QCOMPARE(scalar(*m_db, QStringLiteral("SELECT LENGTH(data) FROM %1 WHERE id=1").arg(t)),
                 QStringLiteral("320000"));
        QCOMPARE(scalar(*m_db, QStringLiteral("SELECT HEX(body) FROM %1 WHERE id=1").arg(t)),
                 QStringLiteral("780A79"));
    }
};

QObject* makeGridModelTest()
{
    return new GridModelTest;
}

#include "GridModelTest.moc"
