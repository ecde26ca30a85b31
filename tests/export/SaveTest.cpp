// The export run: file creation, failures halfway, the cursor hooks and progress.
#include "ExportTestSupport.h"

#include "persist/Error.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace norvane::exporter;
using namespace norvane::exporter::test;

namespace {

FakeGrid manyRows(int n)
{
    FakeGrid g = FakeGrid::idNote();
    g.rows.clear();
    for (int i = 1; i <= n; ++i)
        g.rows.push_back({FakeCell::str(QString::number(i)),
                          FakeCell::str(QStringLiteral("note %1 with some text").arg(i))});
    return g;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(ExportSave, UnwritablePathRaisesCreationErrorAndTouchesNothing)
{
    ExportFixture fx;
    const QString missingDir = fx.path(QStringLiteral("no/such/dir/out.csv"));
    const QString readOnly = fx.path(QStringLiteral("locked.csv"));
    writeFile(readOnly, "keep me");
    ASSERT_EQ(::chmod(readOnly.toLocal8Bit().constData(), 0444), 0);
    const bool root = ::geteuid() == 0;

    struct Case
    {
        QString path;
        std::string reason;
    };
    std::vector<Case> cases = {{missingDir, "No such file or directory"},
                               {fx.dir().path(), "Is a directory"}};
    if (!root)
        cases.push_back({readOnly, "Permission denied"});
    for (const auto& c : cases) {
        FakeGrid grid = FakeGrid::idNote();
        TzkExportOptions options(&grid);
        options.setFileName(c.path);
        try {
            options.Save();
            ADD_FAILURE() << "no error for " << c.path.toStdString();
        } catch (const norvane::FileCreateError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot create file \"" + QFileInfo(c.path).absoluteFilePath().toStdString() +
                          "\". " + c.reason);
        }
        EXPECT_EQ(grid.begins, 0) << "the grid is not touched when the file cannot be created";
        EXPECT_EQ(grid.position(), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(fx.path(QStringLiteral("no"))));
    EXPECT_EQ(readAll(readOnly), "keep me");
}

TEST(ExportSave, FileHeldByAnotherExportIsNotEmptied)
{
    ExportFixture fx;
    writeFile(fx.path(), "in use");
    const int fd = ::open(fx.path().toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    FakeGrid grid = FakeGrid::idNote();
    TzkExportOptions options(&grid);
    options.setFileName(fx.path());
    EXPECT_THROW(options.Save(), norvane::FileCreateError);
    ::close(fd);
    EXPECT_EQ(readAll(fx.path()), "in use");
    options.Save();
    EXPECT_EQ(readAll(fx.path()).substr(0, 13), "\"id\",\"note\"\r\n");
}

TEST(ExportSave, RelativeNameIsReportedWithItsFullPath)
{
    FakeGrid grid = FakeGrid::idNote();
    TzkExportOptions options(&grid);
    options.setFileName(QStringLiteral("missing-folder-for-export/x.txt"));
    try {
        options.Save();
        FAIL() << "no error";
    } catch (const norvane::FileCreateError& e) {
        const std::string full =
            QDir::current()
                .absoluteFilePath(QStringLiteral("missing-folder-for-export/x.txt"))
                .toStdString();
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + full + "\". No such file or directory");
    }
}

TEST(ExportSave, ExistingFileIsReplacedWhole)
{
    ExportFixture fx;
    writeFile(fx.path(), QByteArray(100000, 'z'));
    FakeGrid grid = FakeGrid::idNote();
    grid.rows.clear();
    EXPECT_EQ(fx.run(grid, TzkGridExportType::zkgetTxt), crlfLines({"\"id\",\"note\""}));
}

TEST(ExportSave, FailedFetchKeepsWrittenRowsRestoresCursorAndPassesTheError)
{
    // Far more text than one buffer holds, so part of it reached the file before the failure.
    const int failAt = 3000;
    for (auto type : {TzkGridExportType::zkgetTxt, TzkGridExportType::zkgetHTML,
                      TzkGridExportType::zkgetSYLK}) {
        ExportFixture fx;
        FakeGrid grid = manyRows(5000);
        grid.failAtRow = failAt;
        TzkExportOptions options(&grid);
        options.setExportType(type);
        options.setFileName(fx.path());
        EXPECT_THROW(options.Save(), std::runtime_error);
        EXPECT_EQ(grid.begins, 1);
        EXPECT_EQ(grid.ends, 1);
        const std::string file = readAll(fx.path());
        if (type == TzkGridExportType::zkgetSYLK) {
            EXPECT_EQ(file, "") << "SYLK writes only at the end";
            continue;
        }
        const std::string last = "note " + std::to_string(failAt) + " with some text";
        const std::string beyond = "note " + std::to_string(failAt + 1) + " with";
        EXPECT_NE(file.find(last), std::string::npos) << "every record before the failure";
        EXPECT_EQ(file.find(beyond), std::string::npos);
        EXPECT_EQ(file.find("</HTML>"), std::string::npos);
    }
}

TEST(ExportSave, ProgressAndResponsivenessAfterEveryRecord)
{
    ExportFixture fx;
    FakeGrid grid = manyRows(250);
    std::vector<std::int64_t> written;
    std::optional<std::int64_t> total;
    int pumps = 0;
    ExportHooks hooks;
    hooks.progress = [&](std::int64_t n, std::optional<std::int64_t> t) {
        written.push_back(n);
        total = t;
    };
    hooks.keepResponsive = [&] { ++pumps; };
    TzkExportOptions options(&grid);
    options.setExportType(TzkGridExportType::zkgetSYLK);
    options.setFileName(fx.path());
    options.Save(hooks);
    ASSERT_EQ(written.size(), 250u);
    EXPECT_EQ(written.front(), 1);
    EXPECT_EQ(written.back(), 250);
    EXPECT_EQ(total, 250);
    EXPECT_EQ(pumps, 250);
    EXPECT_EQ(grid.begins, 1);
    EXPECT_EQ(grid.ends, 1);
    const std::string file = readAll(fx.path());
    EXPECT_NE(file.find("B;Y251;X2\r\n"), std::string::npos);
    EXPECT_NE(file.find("F;SLTRBM0;FG0L;Y251;X2\r\nC;K\"note 250 with some text\"\r\nE"),
              std::string::npos);
}

TEST(ExportSave, XmlTypeIsRefusedBeforeAnyFileIsCreated)
{
    ExportFixture fx;
    FakeGrid grid = FakeGrid::idNote();
    TzkExportOptions options(&grid);
    options.setExportType(TzkGridExportType::zkgetXML);
    options.setFileName(fx.path());
    EXPECT_THROW(options.Save(), norvane::Error);
    EXPECT_FALSE(QFileInfo::exists(fx.path()));
    EXPECT_EQ(grid.begins, 0);
}
