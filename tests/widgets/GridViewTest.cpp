// The grid view: packets fetched as it scrolls, the current record followed both ways, posting
// on leaving a row, Esc, the null look and "Set to NULL", and what the grid offers the export.
#include "WidgetTestSupport.h"

#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"
#include "widgets/DataGridModel.h"
#include "widgets/GridDelegate.h"
#include "widgets/GridExportSource.h"

#include "export/zkexport.h"

#include <QAction>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QToolButton>

using namespace norvane;
using namespace norvane::widgets;
using namespace norvane::widgets::test;

class GridViewTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<db::Connection> m_db;

    QString numberedTable(int rows)
    {
        const QString t = uniqueName("view");
        m_db->execute(QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(10), "
                                     "n VARCHAR(10))")
                          .arg(t));
        m_db->execute(QStringLiteral("INSERT INTO %1 SELECT seq, CONCAT('r', seq), "
                                     "IF(seq = 1, NULL, IF(seq = 2, '', 'x')) FROM seq_1_to_%2")
                          .arg(t)
                          .arg(rows));
        return t;
    }

    static void showGrid(DBGrid& grid, int w = 400, int h = 300)
    {
        grid.resize(w, h);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
    }

private slots:
    void initTestCase() { m_db = openConnection(); }

    void gridLooksAsTheWindowNeeds()
    {
        DBGrid grid;
        QCOMPARE(grid.font().family(), QStringLiteral("Courier New"));
        QCOMPARE(grid.font().pointSize(), 8);
        QCOMPARE(grid.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(grid.horizontalHeader()->defaultAlignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignLeft);
        exporter::TzkExportOptions* o = grid.ExportOptions();
        QVERIFY(o);
        QCOMPARE(o->Owner(), static_cast<exporter::ExportSource*>(grid.exportSource()));
        QCOMPARE(o->ExportType(), exporter::TzkGridExportType::zkgetTxt);
        QCOMPARE(o->Delimiter(), QStringLiteral(","));
        QVERIFY(o->Options() == exporter::TzkExportOptions::DefaultOptions);
        QAction* setNull = grid.findChild<QAction*>(QStringLiteral("acSetNull"));
        QVERIFY(setNull);
        QCOMPARE(setNull->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    }

    void fetchesPacketsAsTheViewScrolls()
    {
        Chain c(*m_db, numberedTable(250));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        QCOMPARE(grid.model()->rowCount(), 100);
        QCOMPARE(c.data.recordCount(), 100);
        QVERIFY(grid.model()->canFetchMore({}));
        grid.scrollToBottom();
        QTRY_COMPARE(grid.model()->rowCount(), 200);
        QCOMPARE(c.data.currentRow(), 0);
        grid.scrollToBottom();
        QTRY_COMPARE(grid.model()->rowCount(), 250);
        QVERIFY(!grid.model()->canFetchMore({}));
        QCOMPARE(grid.model()->data(grid.model()->index(249, 1)).toString(),
                 QStringLiteral("r250"));
        QVERIFY(c.errors.isEmpty());
    }

    void failedFetchIsReportedOnceAndKeepsTheRows()
    {
        const QString t = numberedTable(250);
        Chain c(*m_db, t);
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        m_db->execute(QStringLiteral("DROP TABLE %1").arg(t));
        grid.scrollToBottom();
        QTRY_COMPARE(c.errors.size(), 1);
        QVERIFY2(c.errors.first().contains(QLatin1String("doesn't exist")),
                 qPrintable(c.errors.first()));
        QCOMPARE(grid.model()->rowCount(), 100);
        QVERIFY(!grid.model()->canFetchMore({}));
        grid.scrollToTop();
        grid.scrollToBottom();
        grid.resize(420, 320);
        QCoreApplication::processEvents();
        QCOMPARE(c.errors.size(), 1);
        QCOMPARE(grid.model()->data(grid.model()->index(99, 1)).toString(), QStringLiteral("r100"));
    }

    void currentRecordIsFollowedBothWays()
    {
        Chain c(*m_db, numberedTable(250));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        QCOMPARE(grid.currentIndex().row(), 0);

        c.data.setRecNo(42);
        QCOMPARE(grid.currentIndex().row(), 41);
        grid.setCurrentIndex(grid.model()->index(7, 1));
        QCOMPARE(c.data.currentRow(), 7);
        QCOMPARE(c.data.field(0).asString(), QStringLiteral("8"));
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(c.data.currentRow(), 8);
        QCOMPARE(grid.currentIndex().column(), 1);

        c.data.last();
        QCOMPARE(grid.model()->rowCount(), 250);
        QCOMPARE(grid.currentIndex().row(), 249);
        QVERIFY(grid.visualRect(grid.currentIndex()).intersects(grid.viewport()->rect()));
        c.data.first();
        QCOMPARE(grid.currentIndex().row(), 0);
    }

    void leavingAnEditedRowPostsItToTheServer()
    {
        Chain c(*m_db, numberedTable(5));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        DataGridModel& m = *grid.gridModel();
        grid.setCurrentIndex(m.index(2, 1));
        QVERIFY(m.setData(m.index(2, 1), QStringLiteral("edited")));
        QCOMPARE(c.data.state(), db::DataSetState::Edit);
        QCOMPARE(
            scalar(*m_db, QStringLiteral("SELECT v FROM %1 WHERE id=3").arg(c.source.tableName())),
            QStringLiteral("r3"));
        QTest::keyClick(&grid, Qt::Key_Up);
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        QCOMPARE(c.data.currentRow(), 1);
        QCOMPARE(c.data.changeCount(), 0);
        QCOMPARE(
            scalar(*m_db, QStringLiteral("SELECT v FROM %1 WHERE id=3").arg(c.source.tableName())),
            QStringLiteral("edited"));
        QVERIFY(c.errors.isEmpty());
    }

    void typingIntoACellEditsThroughTheDelegate()
    {
        Chain c(*m_db, numberedTable(3));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        grid.setFocus();
        grid.setCurrentIndex(grid.model()->index(0, 1));
        QTest::keyClick(&grid, Qt::Key_F2);
        QTRY_VERIFY(grid.isEditingCell());
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor && editor != &grid);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, QStringLiteral("typed"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(c.data.state(), db::DataSetState::Edit);
        grid.commitPendingEdit();
        c.data.post();
        QCOMPARE(
            scalar(*m_db, QStringLiteral("SELECT v FROM %1 WHERE id=1").arg(c.source.tableName())),
            QStringLiteral("typed"));
    }

    void navigatorTakesTheTextStillInTheCellEditor()
    {
        Chain c(*m_db, numberedTable(3));
        c.open();
        QWidget window;
        auto* nav = new DBNavigator(&window);
        auto* grid = new DBGrid(&window);
        grid->move(0, 30);
        grid->resize(400, 300);
        nav->setDataSource(&c.ds);
        grid->setDataSource(&c.ds);
        window.resize(400, 340);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto typeInto = [&](int row, const QString& text) {
            grid->setFocus();
            grid->setCurrentIndex(grid->model()->index(row, 1));
            QTest::keyClick(grid, Qt::Key_F2);
            QTRY_VERIFY(grid->isEditingCell());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(QApplication::focusWidget(), text);
        };
        typeInto(1, QStringLiteral("kept"));
        QCOMPARE(c.data.state(), db::DataSetState::Edit);
        QTRY_VERIFY(nav->button(DBNavigator::Button::Post)->isEnabled());
        QTest::mouseClick(nav->button(DBNavigator::Button::Post), Qt::LeftButton);
        QVERIFY(!grid->isEditingCell());
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        QCOMPARE(
            scalar(*m_db, QStringLiteral("SELECT v FROM %1 WHERE id=2").arg(c.source.tableName())),
            QStringLiteral("kept"));

        typeInto(2, QStringLiteral("dropped"));
        QTRY_VERIFY(nav->button(DBNavigator::Button::Cancel)->isEnabled());
        QTest::mouseClick(nav->button(DBNavigator::Button::Cancel), Qt::LeftButton);
        QVERIFY(!grid->isEditingCell());
        nav->click(DBNavigator::Button::First);
        QCOMPARE(c.data.currentRow(), 0);
        QCOMPARE(grid->currentIndex().row(), 0);
        QCOMPARE(c.data.changeCount(), 0);
        QCOMPARE(grid->model()->data(grid->model()->index(2, 1)).toString(), QStringLiteral("r3"));
    }

    void escapeCancelsTheRowsEdit()
    {
        Chain c(*m_db, numberedTable(3));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        DataGridModel& m = *grid.gridModel();
        QVERIFY(m.setData(m.index(0, 1), QStringLiteral("gone")));
        QTest::keyClick(&grid, Qt::Key_Escape);
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        QCOMPARE(m.data(m.index(0, 1)).toString(), QStringLiteral("r1"));
        QCOMPARE(c.data.changeCount(), 0);
    }

    void nullCellIsDrawnUnlikeAnEmptyString()
    {
        Chain c(*m_db, numberedTable(3));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        grid.setCurrentIndex(grid.model()->index(2, 0));
        const QModelIndex nullCell = grid.model()->index(0, 2);
        const QModelIndex emptyCell = grid.model()->index(1, 2);
        // Neither text holds the placeholder: only the painting differs.
        QCOMPARE(nullCell.data().toString(), QString());
        QCOMPARE(emptyCell.data().toString(), QString());
        QCOMPARE(nullCell.data(Qt::EditRole).toString(), QString());
        const QImage shot = grid.viewport()->grab().toImage();
        const QImage a = shot.copy(grid.visualRect(nullCell));
        const QImage b = shot.copy(grid.visualRect(emptyCell));
        QCOMPARE(a.size(), b.size());
        QVERIFY(a != b);
        // An empty cell is plain background; the null cell has ink in it.
        QCOMPARE(b.pixelColor(b.width() / 2, b.height() / 2), b.pixelColor(1, 1));
    }

    void setToNullByShortcutWritesNull()
    {
        Chain c(*m_db, numberedTable(3));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        grid.setFocus();
        DataGridModel& m = *grid.gridModel();
        grid.setCurrentIndex(m.index(2, 1));
        QTest::keyClick(&grid, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(c.data.state(), db::DataSetState::Edit);
        QVERIFY(m.data(m.index(2, 1), DataGridModel::NullRole).toBool());
        QTest::keyClick(&grid, Qt::Key_Up);
        QCOMPARE(
            scalar(*m_db, QStringLiteral("SELECT v FROM %1 WHERE id=3").arg(c.source.tableName())),
            QStringLiteral("NULL"));
        // The context menu entry is the same action; on a read-only grid it is disabled.
        Chain ro(*m_db, QStringLiteral("SELECT * FROM %1").arg(c.source.tableName()), true);
        ro.open();
        DBGrid roGrid;
        roGrid.setDataSource(&ro.ds);
        roGrid.setCurrentIndex(roGrid.model()->index(0, 1));
        QVERIFY(!roGrid.setNullAction()->isEnabled());
        QVERIFY(grid.setNullAction()->isEnabled());
    }

    void insertKeyAddsARowThatEscapeDiscards()
    {
        Chain c(*m_db, numberedTable(3));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        showGrid(grid);
        grid.setCurrentIndex(grid.model()->index(1, 0));
        QTest::keyClick(&grid, Qt::Key_Insert);
        QCOMPARE(c.data.state(), db::DataSetState::Insert);
        QCOMPARE(grid.model()->rowCount(), 4);
        QCOMPARE(grid.currentIndex().row(), 1);
        QCOMPARE(grid.model()->headerData(1, Qt::Vertical).toString(), QStringLiteral("*"));
        QTest::keyClick(&grid, Qt::Key_Escape);
        QCOMPARE(grid.model()->rowCount(), 3);
        QCOMPARE(grid.model()->data(grid.model()->index(1, 1)).toString(), QStringLiteral("r2"));
        QCOMPARE(grid.currentIndex().row(), c.data.currentRow());

        // Leaving an empty new row drops it; the row clicked is still the one reached.
        QTest::keyClick(&grid, Qt::Key_Insert);
        QCOMPARE(grid.model()->rowCount(), 4);
        grid.setCurrentIndex(grid.model()->index(3, 1));
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        QCOMPARE(c.data.recordCount(), 3);
        QCOMPARE(c.data.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("r3"));
        QTRY_COMPARE(grid.currentIndex().row(), 2);
    }
};

QObject* makeGridViewTest()
{
    return new GridViewTest;
}

#include "GridViewTest.moc"
