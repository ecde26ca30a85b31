// The export adapter over a real grid: every record of a 250-row table, all packets fetched,
// the current record and its screen row put back, also when the run fails; columns and look.
#include "WidgetTestSupport.h"

#include "widgets/DBGrid.h"
#include "widgets/DataGridModel.h"
#include "widgets/GridExportSource.h"

#include "export/zkexport.h"

#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>

using namespace norvane;
using namespace norvane::widgets;
using namespace norvane::widgets::test;

class ExportSourceTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<db::Connection> m_db;
    QTemporaryDir m_dir;

    QString table(int rows)
    {
        const QString t = uniqueName("exp");
        m_db->execute(QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(10), "
                                     "t TIME(1), d DATE)")
                          .arg(t));
        m_db->execute(QStringLiteral("INSERT INTO %1 SELECT seq, CONCAT('r', seq), "
                                     "'-100:30:15.5', '2024-02-29' FROM seq_1_to_%2")
                          .arg(t)
                          .arg(rows));
        return t;
    }

    static QStringList lines(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList out = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
        if (!out.isEmpty() && out.last().isEmpty())
            out.removeLast();
        return out;
    }

private slots:
    void initTestCase()
    {
        m_db = openConnection();
        QVERIFY(m_dir.isValid());
    }

    void exportVisitsEveryRecordAndRestoresTheView()
    {
        Chain c(*m_db, table(250));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        grid.resize(400, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        c.data.setRecNo(60);
        grid.showRowAt(59, 4);
        const int screenRow = grid.screenRow();
        QCOMPARE(screenRow, 4);
        QCOMPARE(c.data.recordCount(), 100);

        exporter::TzkExportOptions& o = *grid.ExportOptions();
        o.setFileName(m_dir.filePath(QStringLiteral("all.txt")));
        std::int64_t seen = 0;
        bool suspended = true;
        exporter::ExportHooks hooks;
        hooks.progress = [&](std::int64_t n, std::optional<std::int64_t>) {
            seen = n;
            suspended = suspended && c.data.controlsDisabled() && !grid.isEnabled();
        };
        o.Save(hooks);

        QCOMPARE(seen, 250);
        QVERIFY(suspended);
        const QStringList out = lines(o.FileName());
        QCOMPARE(out.size(), 251);
        QCOMPARE(out.first(), QStringLiteral("\"id\",\"v\",\"t\",\"d\""));
        QVERIFY2(out[1].startsWith(QLatin1String("\"1\",\"r1\"")), qPrintable(out[1]));
        QVERIFY2(out[250].startsWith(QLatin1String("\"250\",\"r250\"")), qPrintable(out[250]));
        QVERIFY(c.data.allFetched());
        QCOMPARE(c.data.recordCount(), 250);
        QCOMPARE(c.data.currentRow(), 59);
        QVERIFY(!c.data.controlsDisabled());
        QVERIFY(grid.isEnabled());
        QCOMPARE(grid.model()->rowCount(), 250);
        QCOMPARE(grid.currentIndex().row(), 59);
        QCOMPARE(grid.screenRow(), screenRow);
    }

    // Catches: a read that fails while the rest of the rows streams in passing for the whole
    // table, and a failed run that leaves the record, the order or an unapplied change changed.
    void failedRunStillRestoresTheRecord()
    {
        const QString t = table(1200);
        Chain c(*m_db, t);
        // Below id 1001 every row costs the server 5 ms: the rest is still being read when the
        // session is killed.
        const QString filter = QStringLiteral("id > 1000 OR SLEEP(0.005) = 0");
        c.source.setFilter(filter);
        c.source.setSortColumn(QStringLiteral("id"), true);
        c.data.afterPost = nullptr;
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        grid.resize(400, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        c.data.setRecNo(30);
        c.data.edit();
        c.data.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("kept"));
        c.data.post();
        grid.showRowAt(29, 2);
        exporter::TzkExportOptions& o = *grid.ExportOptions();
        o.setFileName(m_dir.filePath(QStringLiteral("broken.txt")));
        const QString session = scalar(*m_db, QStringLiteral("SELECT CONNECTION_ID()"));
        auto other = openConnection();
        exporter::ExportHooks hooks;
        hooks.progress = [&](std::int64_t n, std::optional<std::int64_t>) {
            if (n == 50) {
                QVERIFY(m_db->isFetching());
                other->execute(QStringLiteral("KILL %1").arg(session));
            }
        };
        try {
            o.Save(hooks);
            QFAIL("an export whose read failed passed for the whole table");
        } catch (const db::DbError& e) {
            QVERIFY2(e.message().startsWith(QLatin1String("The export is incomplete")), e.what());
            QVERIFY(e.connectionLost());
        }
        QCOMPARE(c.data.currentRow(), 29);
        QCOMPARE(c.data.fieldByName(QStringLiteral("id")).asString(), QStringLiteral("1171"));
        QCOMPARE(c.data.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("kept"));
        QCOMPARE(c.data.changeCount(), 1);
        QCOMPARE(c.source.filter(), filter);
        QCOMPARE(c.source.sortColumn(), QStringLiteral("id"));
        QVERIFY(c.source.sortDescending());
        QVERIFY(!c.data.controlsDisabled());
        QVERIFY(grid.isEnabled());
        QCOMPARE(grid.currentIndex().row(), 29);
        QCOMPARE(grid.screenRow(), 2);
        // Every record written is whole and in order; the file ends where the rows did.
        const QStringList out = lines(o.FileName());
        QVERIFY2(out.size() > 100 && out.size() < 1201, qPrintable(QString::number(out.size())));
        for (int i = 1; i < out.size(); ++i)
            QVERIFY2(out[i].startsWith(QStringLiteral("\"%1\",").arg(1201 - i)),
                     qPrintable(out[i]));
        QCOMPARE(out.size() - 1, c.data.recordCount());
    }

    void exportPostsTheRowBeingEditedFirst()
    {
        Chain c(*m_db, table(3));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        DataGridModel& m = *grid.gridModel();
        QVERIFY(m.setData(m.index(1, 1), QStringLiteral("posted")));
        exporter::TzkExportOptions& o = *grid.ExportOptions();
        o.setFileName(m_dir.filePath(QStringLiteral("edit.txt")));
        o.Save();
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        QCOMPARE(c.data.currentRow(), 1);
        QVERIFY(lines(o.FileName()).at(2).startsWith(QLatin1String("\"2\",\"posted\"")));
        QCOMPARE(
            scalar(*m_db, QStringLiteral("SELECT v FROM %1 WHERE id=2").arg(c.source.tableName())),
            QStringLiteral("posted"));
    }

    void columnsAndLookComeFromTheGrid()
    {
        Chain c(*m_db, table(2));
        c.open();
        DBGrid grid;
        grid.setDataSource(&c.ds);
        grid.setColumnWidth(1, 123);
        c.data.field(3).setVisible(false);
        GridExportSource& src = *grid.exportSource();
        QVERIFY(src.isActive());
        QCOMPARE(src.fieldCount(), 4);
        const exporter::ExportColumn id = src.column(0);
        QCOMPARE(id.title, QStringLiteral("id"));
        QCOMPARE(id.dataType, exporter::FieldType::ftInteger);
        QCOMPARE(id.alignment, exporter::Alignment::Right);
        const exporter::ExportColumn v = src.column(1);
        QCOMPARE(v.pixelWidth, 123);
        QCOMPARE(v.alignment, exporter::Alignment::Left);
        QCOMPARE(src.column(2).dataType, exporter::FieldType::ftTime);
        QVERIFY(!src.column(3).visible);
        const exporter::GridAppearance look = src.appearance();
        QCOMPARE(look.font.family(), QStringLiteral("Courier New"));
        QCOMPARE(exporter::exportPointSize(look.font, look.dpi), 8);
        QCOMPARE(look.color, grid.palette().color(QPalette::Base));
        QCOMPARE(look.titleColor, grid.palette().color(QPalette::Button));
        QVERIFY(!look.alternatingRowColor.isValid());

        src.first();
        QCOMPARE(src.asTimeMsecs(2), -((100 * 3600 + 30 * 60 + 15) * 1000 + 500));
        QCOMPARE(src.asDate(3), QDate(2024, 2, 29));
        QCOMPARE(src.recordCount(), std::optional<std::int64_t>(2));
    }

    void timeTextsBecomeSignedMilliseconds_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("msecs");
        QTest::newRow("midday") << QByteArray("12:00:00") << qint64(43200000);
        QTest::newRow("fraction") << QByteArray("00:00:01.25") << qint64(1250);
        QTest::newRow("beyond a day") << QByteArray("838:59:59") << qint64(3020399000);
        QTest::newRow("negative") << QByteArray("-01:00:00") << qint64(-3600000);
        QTest::newRow("malformed") << QByteArray("noon") << qint64(0);
    }

    void timeTextsBecomeSignedMilliseconds()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, msecs);
        QCOMPARE(norvane::db::timeMillis(text).value_or(0), msecs);
    }
};

QObject* makeExportSourceTest()
{
    return new ExportSourceTest;
}

#include "ExportSourceTest.moc"
