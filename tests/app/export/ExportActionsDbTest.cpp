// The export actions of the main window against the private server: the save dialog they share,
// what they write from the grid of the visible page, and how they leave the dataset, the grid
// and the file system when a run ends, fails or is cancelled.

#include "app/ActionManager.h"
#include "app/MainFrm.h"
#include "app/NVDataPub.h"
#include "app/SqlEditor.h"
#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"
#include "export/zkexport.h"
#include "widgets/DBGrid.h"
#include "widgets/Prompts.h"

#include "AppTestSupport.h"
#include "RecordingPrompts.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using norvane::app::TMainForm;
using norvane::exporter::TzkGridExportType;
using norvane::widgets::DBGrid;
using norvane::widgets::FilePromptOptions;

namespace {

QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

/// The CR LF separated lines of a delimited file (the last line's CR LF is not a line).
QList<QByteArray> linesOf(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

} // namespace

class ExportActionsDbTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void everyRowIsWrittenAndThePositionComesBack();
    void theRowBeingEditedIsPostedBeforeAnyRowIsWritten_data();
    void theRowBeingEditedIsPostedBeforeAnyRowIsWritten();
    void cancellingTheDialogWritesAndChangesNothing();
    void aFileThatCannotBeCreatedIsReportedAndNothingIsTouched_data();
    void aFileThatCannotBeCreatedIsReportedAndNothingIsTouched();
    void eachActionSetsItsFormatAndTheDialogRemembersTheLastName();
    void theConsoleGridExportsItsWholeResult();
    void theColumnsPageExportsTheGridOfThePageShownBefore();
    void aDateTimeInADaylightSavingGapIsWrittenAsStored();
    void aFetchThatFailsMidRunStopsTheRunAndRestoresTheView();

private:
    QAction* action(const char* name) const { return findAction(*m_form, name); }
    template <typename T> T* child(const char* name) const
    {
        auto* c = m_form->findChild<T*>(QLatin1String(name));
        if (!c)
            qFatal("no component %s", name);
        return c;
    }
    norvane::db::Connection& connection() const { return *m_dataModule->SQLConnection; }
    norvane::db::ClientDataSet* cdsData() const
    {
        return child<norvane::db::ClientDataSet>("cdsData");
    }
    DBGrid* dgdData() const { return child<DBGrid>("dgdData"); }

    /// A fresh table `name` (id, name) with rows 1..rows named "row <id>", open on the Data page.
    norvane::db::ClientDataSet* openTable(const QString& name, int rows);
    /// Runs an export action as a menu would: rules first, nothing when disabled.
    void run(const char* actionName, const QString& fileName)
    {
        m_prompts->fileName = fileName;
        m_form->actionManager().execute(action(actionName));
    }
    /// The value the server holds, read through a session of the test's own.
    QString serverValue(const QString& sql);
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<norvane::app::TMainDataModule> m_dataModule;
    std::unique_ptr<RecordingPrompts> m_prompts;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void ExportActionsDbTest::initTestCase()
{
    // Fails, never skips, when the fixture did not start the server.
    QVERIFY2(!env("NORVANE_TEST_USER").isEmpty(), "the private test server is not running");
    m_dataModule = std::make_unique<norvane::app::TMainDataModule>();
    connection().setParams({env("NORVANE_TEST_USER"), env("NORVANE_TEST_PASSWORD"),
                            env("NORVANE_TEST_HOST"), env("NORVANE_TEST_DATABASE")});
    connection().open();
}

void ExportActionsDbTest::cleanupTestCase()
{
    m_dataModule.reset();
}

void ExportActionsDbTest::init()
{
    m_prompts = std::make_unique<RecordingPrompts>();
    m_form = std::make_unique<TMainForm>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void ExportActionsDbTest::cleanup()
{
    QVERIFY2(m_prompts->questions.isEmpty(), "an export asked a question");
    m_form.reset();
    m_prompts.reset();
    m_dir.reset();
}

norvane::db::ClientDataSet* ExportActionsDbTest::openTable(const QString& name, int rows)
{
    connection().execute(QStringLiteral("DROP TABLE IF EXISTS `%1`").arg(name));
    connection().execute(
        QStringLiteral("CREATE TABLE `%1` (id INT PRIMARY KEY, name VARCHAR(20))").arg(name));
    if (rows > 0)
        connection().execute(QStringLiteral("INSERT INTO `%1` SELECT seq, CONCAT('row ', seq) "
                                            "FROM seq_1_to_%2")
                                 .arg(name)
                                 .arg(rows));
    auto* source = child<norvane::db::SqlSource>("sqryData");
    norvane::db::ClientDataSet* data = cdsData();
    data->close();
    source->close();
    source->setTableName(name);
    source->open();
    data->open();
    return data;
}

QString ExportActionsDbTest::serverValue(const QString& sql)
{
    norvane::db::SqlSource source(&connection());
    source.setSql(sql);
    norvane::db::Provider provider(&source);
    norvane::db::ClientDataSet data;
    data.setProvider(&provider);
    data.open();
    return data.eof() ? QStringLiteral("<no row>") : data.field(0).displayText();
}

// Catches: only the first packet exported; the cursor left on the last row; the grid scrolled
// to the end or left disabled; an existing longer file not emptied first; a progress indicator
// that never shows or stays behind.
void ExportActionsDbTest::everyRowIsWrittenAndThePositionComesBack()
{
    norvane::db::ClientDataSet* data = openTable(QStringLiteral("xact_rows250"), 250);
    DBGrid* grid = dgdData();
    data->setRecNo(150);
    grid->showRowAt(149, 3);
    QCOMPARE(grid->screenRow(), 3);
    QVERIFY(!data->allFetched());

    const QString file = path(QStringLiteral("rows.txt"));
    {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    QStringList seen;
    QTimer sampler;
    sampler.setInterval(0);
    connect(&sampler, &QTimer::timeout, this, [&] {
        // The indicator shows before the first row is written (while the rest of the table is
        // asked for), its text still empty: only counts are checked.
        if (auto* text =
                m_form->statusBar()->findChild<QLabel*>(QStringLiteral("ExportProgressText"));
            text && !text->text().isEmpty())
            seen << text->text();
    });
    sampler.start();
    run("acTxt", file);
    sampler.stop();

    QCOMPARE(m_prompts->errors, QStringList());
    const QList<QByteArray> lines = linesOf(readAll(file));
    QCOMPARE(lines.size(), 251);
    QCOMPARE(lines[0], QByteArray(R"("id","name")"));
    for (int id = 1; id <= 250; ++id)
        QCOMPARE(lines[id], QStringLiteral(R"("%1","row %1")").arg(id).toUtf8());

    QVERIFY(data->allFetched());
    QCOMPARE(data->recNo(), 150);
    QCOMPARE(grid->currentIndex().row(), 149);
    QCOMPARE(grid->screenRow(), 3);
    QVERIFY(grid->isEnabled());
    QVERIFY(grid->updatesEnabled());
    QVERIFY(!data->controlsDisabled());

    QVERIFY2(!seen.isEmpty(), "no progress indicator while the rows were written");
    const QRegularExpression progress(QStringLiteral("^Rows written: (\\d+)( of 250)?$"));
    for (const QString& text : seen) {
        const auto m = progress.match(text);
        QVERIFY2(m.hasMatch(), qPrintable(text));
        QVERIFY(m.captured(1).toInt() >= 1 && m.captured(1).toInt() <= 250);
    }
    QVERIFY(!m_form->statusBar()->findChild<QWidget*>(QStringLiteral("ExportProgress")));
}

void ExportActionsDbTest::theRowBeingEditedIsPostedBeforeAnyRowIsWritten_data()
{
    QTest::addColumn<bool>("cellEditorOpen");
    // Text still in the cell editor, not yet in the dataset's edit buffer.
    QTest::newRow("typed into the cell") << true;
    // The dataset in edit state with the changed value in its buffer.
    QTest::newRow("edited record") << false;
}

// Catches: the edit lost or exported as the old value; the row left in edit state; the change
// posted in the cache but never written to the server.
void ExportActionsDbTest::theRowBeingEditedIsPostedBeforeAnyRowIsWritten()
{
    QFETCH(bool, cellEditorOpen);
    const QString table = QStringLiteral("xact_edit_%1").arg(cellEditorOpen ? "cell" : "record");
    norvane::db::ClientDataSet* data = openTable(table, 5);
    DBGrid* grid = dgdData();
    const QModelIndex cell = grid->model()->index(2, 1);
    grid->setCurrentIndex(cell);
    QCOMPARE(data->recNo(), 3);
    if (cellEditorOpen) {
        grid->edit(cell);
        QTRY_VERIFY(grid->isEditingCell());
        auto* editor = grid->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(QStringLiteral("edited"));
    } else {
        data->edit();
        data->field(1).setAsString(QStringLiteral("edited"));
    }

    const QString file = path(QStringLiteral("edit.csv"));
    run("acCsv", file);

    QCOMPARE(m_prompts->errors, QStringList());
    const QList<QByteArray> lines = linesOf(readAll(file));
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[3], QByteArray("\"3\"\t\"edited\""));
    QCOMPARE(lines[4], QByteArray("\"4\"\t\"row 4\""));
    QCOMPARE(data->state(), norvane::db::DataSetState::Browse);
    QCOMPARE(data->changeCount(), 0);
    QCOMPARE(data->recNo(), 3);
    QCOMPARE(serverValue(QStringLiteral("SELECT name FROM `%1` WHERE id = 3").arg(table)),
             QStringLiteral("edited"));
}

// Catches: a file created before the dialog's answer; options or cursor changed by a run that
// never happened.
void ExportActionsDbTest::cancellingTheDialogWritesAndChangesNothing()
{
    norvane::db::ClientDataSet* data = openTable(QStringLiteral("xact_cancel"), 150);
    const QString first = path(QStringLiteral("first.csv"));
    run("acCsv", first);
    QVERIFY(QFile::exists(first));
    data->setRecNo(42);
    const auto& options = *dgdData()->ExportOptions();

    for (const char* name : {"acSlk", "acHtml", "acTxt"}) {
        run(name, QString());
        QCOMPARE(options.FileName(), first);
        QCOMPARE(options.ExportType(), TzkGridExportType::zkgetTxt);
        QCOMPARE(options.Delimiter(), QStringLiteral("\t"));
    }
    QCOMPARE(m_prompts->asked.size(), std::size_t{4});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("first.csv")});
    QCOMPARE(data->recNo(), 42);
    QCOMPARE(data->state(), norvane::db::DataSetState::Browse);
    QCOMPARE(m_prompts->errors, QStringList());
    QVERIFY(!m_form->statusBar()->findChild<QWidget*>(QStringLiteral("ExportProgress")));
}

void ExportActionsDbTest::aFileThatCannotBeCreatedIsReportedAndNothingIsTouched_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("holdLock");
    QTest::newRow("missing folder") << QStringLiteral("missing/out.csv")
                                    << QStringLiteral("No such file or directory") << false;
    QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("Is a directory")
                              << false;
    // Another export (or program) holds the file: its content must survive.
    QTest::newRow("file in use") << QStringLiteral("busy.csv")
                                 << QStringLiteral("Resource temporarily unavailable") << true;
}

// Catches: a failure reported as success or without the path; the file emptied or created; the
// cursor moved or further packets fetched before the file existed.
void ExportActionsDbTest::aFileThatCannotBeCreatedIsReportedAndNothingIsTouched()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QFETCH(bool, holdLock);
    norvane::db::ClientDataSet* data = openTable(QStringLiteral("xact_unwritable"), 150);
    data->setRecNo(7);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    const QString file = path(target);
    int lockFd = -1;
    if (holdLock) {
        QFile existing(file);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("kept");
        existing.close();
        lockFd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(lockFd >= 0);
        QCOMPARE(::flock(lockFd, LOCK_EX), 0);
    }

    run("acCsv", file);
    if (lockFd >= 0)
        ::close(lockFd);

    QCOMPARE(m_prompts->errors,
             QStringList{QStringLiteral("Cannot create file \"%1\". %2").arg(file, reason)});
    QCOMPARE(data->recNo(), 7);
    QCOMPARE(data->recordCount(), 100);
    QVERIFY(dgdData()->isEnabled());
    QVERIFY(!data->controlsDisabled());
    QVERIFY(!QFile::exists(path(QStringLiteral("missing"))));
    if (holdLock)
        QCOMPARE(readAll(file), QByteArray("kept"));
    QVERIFY(!m_form->statusBar()->findChild<QWidget*>(QStringLiteral("ExportProgress")));
}

// Catches: the wrong extension, filter or delimiter per action; an overwrite question; the
// dialog forgetting the last name; a SYLK run upset by the TAB delimiter a CSV run left behind.
void ExportActionsDbTest::eachActionSetsItsFormatAndTheDialogRemembersTheLastName()
{
    openTable(QStringLiteral("xact_formats"), 3);
    const auto& options = *dgdData()->ExportOptions();
    struct Case
    {
        const char* action;
        const char* file;
        const char* suffix;
        TzkGridExportType type;
        const char* delimiter; ///< expected afterwards
        QByteArray start;
    };
    const Case cases[] = {
        {"acCsv", "a.csv", "csv", TzkGridExportType::zkgetTxt, "\t", "\"id\"\t\"name\"\r\n"},
        {"acSlk", "b.slk", "slk", TzkGridExportType::zkgetSYLK, "\t", "ID;"},
        {"acTxt", "c.txt", "txt", TzkGridExportType::zkgetTxt, ",", "\"id\",\"name\"\r\n"},
        {"acHtml", "d.html", "html", TzkGridExportType::zkgetHTML, ",", "<"},
    };
    QString previous;
    for (const Case& c : cases) {
        const QString file = path(QLatin1String(c.file));
        run(c.action, file);
        QCOMPARE(m_prompts->errors, QStringList());
        const FilePromptOptions& asked = m_prompts->asked.back();
        QCOMPARE(asked.defaultSuffix, QLatin1String(c.suffix));
        QCOMPARE(asked.nameFilters,
                 QStringList{QStringLiteral("*.%1 (*.%1)").arg(QLatin1String(c.suffix))});
        QCOMPARE(asked.initialPath, previous);
        QVERIFY(!asked.confirmOverwrite);
        QCOMPARE(options.ExportType(), c.type);
        QCOMPARE(options.Delimiter(), QLatin1String(c.delimiter));
        QCOMPARE(options.FileName(), file);
        const QByteArray bytes = readAll(file);
        QVERIFY2(bytes.startsWith(c.start), c.action);
        QVERIFY2(bytes.contains("row 3"), c.action);
        previous = file;
    }
    // The SYLK file has a cell record per value and its end record, TAB or not.
    const QByteArray sylk = readAll(path(QStringLiteral("b.slk")));
    QVERIFY(sylk.contains("C;K\"row 2\"\r\n"));
    QVERIFY(sylk.endsWith("\r\nE"));
    QVERIFY(!sylk.contains('\t'));
}

// Catches: the console's result cut at its first packet, or the Data page's rows exported instead.
void ExportActionsDbTest::theConsoleGridExportsItsWholeResult()
{
    openTable(QStringLiteral("xact_console_data"), 2);
    auto* pages = child<QTabWidget>("pctMain");
    pages->setCurrentIndex(2);
    child<norvane::app::SqlEditor>("moSQL")->setPlainText(
        QStringLiteral("SELECT seq AS n, seq * 2 AS twice FROM seq_1_to_230"));
    m_form->actionManager().execute(action("acExecute"));
    QCOMPARE(m_prompts->errors, QStringList());
    auto* cdsSQL = child<norvane::db::ClientDataSet>("cdsSQL");
    QVERIFY(cdsSQL->active());
    QVERIFY(!cdsSQL->allFetched());

    const QString file = path(QStringLiteral("console.txt"));
    run("acTxt", file);
    QCOMPARE(m_prompts->errors, QStringList());
    const QList<QByteArray> lines = linesOf(readAll(file));
    QCOMPARE(lines.size(), 231);
    QCOMPARE(lines[0], QByteArray(R"("n","twice")"));
    QCOMPARE(lines[230], QByteArray(R"("230","460")"));
    QCOMPARE(cdsSQL->recNo(), 1);
    QCOMPARE(dgdData()->ExportOptions()->FileName(), QString());
    QCOMPARE(child<DBGrid>("dgdSQL")->ExportOptions()->FileName(), file);
}

// Catches: the Columns page switching the export to the Data page's grid (or to none).
void ExportActionsDbTest::theColumnsPageExportsTheGridOfThePageShownBefore()
{
    openTable(QStringLiteral("xact_columns_page"), 4);
    auto* pages = child<QTabWidget>("pctMain");
    pages->setCurrentIndex(2);
    child<norvane::app::SqlEditor>("moSQL")->setPlainText(
        QStringLiteral("SELECT 'console' AS origin"));
    m_form->actionManager().execute(action("acExecute"));
    QCOMPARE(m_prompts->errors, QStringList());

    pages->setCurrentIndex(1);
    const QString fromConsole = path(QStringLiteral("console.txt"));
    run("acTxt", fromConsole);
    QCOMPARE(linesOf(readAll(fromConsole)), (QList<QByteArray>{R"("origin")", R"("console")"}));

    pages->setCurrentIndex(0);
    pages->setCurrentIndex(1);
    const QString fromData = path(QStringLiteral("data.txt"));
    run("acTxt", fromData);
    const QList<QByteArray> lines = linesOf(readAll(fromData));
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[4], QByteArray(R"("4","row 4")"));
    QCOMPARE(m_prompts->errors, QStringList());
}

// Catches: DATETIME values read through the local clock, where a time that the local zone
// skips (a spring-forward hour) turns invalid and is written in raw server form, unlike its
// neighbours.
void ExportActionsDbTest::aDateTimeInADaylightSavingGapIsWrittenAsStored()
{
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    ::tzset();
    const auto restore = qScopeGuard([&] {
        if (oldZone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", oldZone);
        ::tzset();
    });
    const QString table = QStringLiteral("xact_dst_gap");
    connection().execute(QStringLiteral("DROP TABLE IF EXISTS `%1`").arg(table));
    connection().execute(
        QStringLiteral("CREATE TABLE `%1` (id INT PRIMARY KEY, at DATETIME)").arg(table));
    connection().execute(QStringLiteral("INSERT INTO `%1` VALUES (1, '2024-03-31 01:30:00'), "
                                        "(2, '2024-03-31 02:30:00')")
                             .arg(table));
    auto* source = child<norvane::db::SqlSource>("sqryData");
    cdsData()->close();
    source->close();
    source->setTableName(table);
    source->open();
    cdsData()->open();

    const QString file = path(QStringLiteral("gap.csv"));
    run("acCsv", file);
    QCOMPARE(m_prompts->errors, QStringList());
    const QList<QByteArray> lines = linesOf(readAll(file));
    QCOMPARE(lines.size(), 3);
    QByteArray before = lines[1].mid(lines[1].indexOf('\t') + 1);
    const QByteArray inGap = lines[2].mid(lines[2].indexOf('\t') + 1);
    QVERIFY2(before.contains("1:30"), before.constData());
    QCOMPARE(inGap, before.replace("1:30", "2:30"));
}

// Catches: a failed fetch reported as success, a half-written record, the grid left disabled
// or on another row, the filter lost, the progress indicator left behind.
void ExportActionsDbTest::aFetchThatFailsMidRunStopsTheRunAndRestoresTheView()
{
    norvane::db::ClientDataSet* data = openTable(QStringLiteral("xact_lost"), 1200);
    // Above id 200 every row costs the server 5 ms: the rest is still being read when the
    // session is killed.
    const QString filter = QStringLiteral("id <= 200 OR SLEEP(0.005) = 0");
    auto* source = child<norvane::db::SqlSource>("sqryData");
    data->close();
    source->close();
    source->setFilter(filter);
    source->open();
    data->open();
    data->setRecNo(20);
    const QString id = serverValue(QStringLiteral("SELECT CONNECTION_ID()"));
    norvane::db::Connection killer;
    killer.setParams(connection().params());
    killer.open();
    bool killed = false;
    QTimer watch;
    watch.setInterval(0);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!killed && connection().isFetching()) {
            killed = true;
            killer.execute(QStringLiteral("KILL %1").arg(id));
        }
    });
    watch.start();

    const QString file = path(QStringLiteral("lost.txt"));
    run("acTxt", file);
    watch.stop();

    QVERIFY(killed);
    QVERIFY2(m_prompts->errors.size() == 1, qPrintable(m_prompts->errors.join(u'|')));
    QVERIFY2(m_prompts->errors[0].startsWith(
                 QStringLiteral("The export is incomplete: the rows were not all read. ")),
             qPrintable(m_prompts->errors[0]));
    QVERIFY2(m_prompts->errors[0].contains(QStringLiteral("the connection was closed")),
             qPrintable(m_prompts->errors[0]));
    const QList<QByteArray> lines = linesOf(readAll(file));
    // The header, the packet held before the session died, and what arrived of the rest.
    QVERIFY2(lines.size() >= 101 && lines.size() < 1201, qPrintable(QString::number(lines.size())));
    for (int i = 1; i < lines.size(); ++i)
        QCOMPARE(lines[i], QStringLiteral(R"("%1","row %1")").arg(i).toUtf8());
    QCOMPARE(source->filter(), filter);
    QCOMPARE(data->recNo(), 20);
    QCOMPARE(dgdData()->currentIndex().row(), 19);
    QVERIFY(dgdData()->isEnabled());
    QVERIFY(!data->controlsDisabled());
    QVERIFY(!m_form->statusBar()->findChild<QWidget*>(QStringLiteral("ExportProgress")));
}

QTEST_MAIN(ExportActionsDbTest)
#include "ExportActionsDbTest.moc"
