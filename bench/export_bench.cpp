// Measures an export of one table as the main window runs it: table source, provider and
// cached dataset (100 rows a packet), a data grid on it, and the grid's export options writing
// TAB-separated text, SYLK or HTML with every packet fetched as the run walks the rows. The
// clock runs from opening the table to the closed file. Prints one line of "key=value" pairs
// for scripts/bench.
//
//   export_bench TABLE FILE [txt|slk|html]   (default txt; settings from
//   NORVANE_BENCH_USER/_PASSWORD/_HOST/_DATABASE)
#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"
#include "export/zkexport.h"
#include "widgets/DBGrid.h"
#include "widgets/DataSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

using namespace norvane;

namespace {

QString env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? QString::fromUtf8(v) : QString();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: export_bench TABLE FILE [txt|slk|html]\n");
        return 2;
    }
    try {
        db::Connection connection;
        connection.setParams({env("NORVANE_BENCH_USER"), env("NORVANE_BENCH_PASSWORD"),
                              env("NORVANE_BENCH_HOST"), env("NORVANE_BENCH_DATABASE")});
        // As in the window: round trips and reads run on the session's worker.
        connection.setBackgroundWork(true);
        connection.open();

        db::SqlSource source(&connection);
        source.setTableName(QString::fromUtf8(argv[1]));
        db::Provider provider(&source);
        db::ClientDataSet data;
        data.setProvider(&provider);
        data.setPacketRecords(100);
        widgets::DataSource ds(&data);
        widgets::DBGrid grid;
        grid.setDataSource(&ds);
        grid.resize(800, 600);
        grid.show();

        exporter::TzkExportOptions& options = *grid.ExportOptions();
        const QString format = argc > 3 ? QString::fromLatin1(argv[3]) : QStringLiteral("txt");
        if (format == QLatin1String("slk"))
            options.setExportType(exporter::TzkGridExportType::zkgetSYLK);
        else if (format == QLatin1String("html"))
            options.setExportType(exporter::TzkGridExportType::zkgetHTML);
        else
            options.setExportType(exporter::TzkGridExportType::zkgetTxt);
        options.setDelimiter(QStringLiteral("\t"));
        options.setFileName(QString::fromLocal8Bit(argv[2]));

        // The window's hooks: progress after every record, pending events processed after the
        // first record and then every 10 ms.
        std::int64_t written = 0;
        exporter::ExportHooks hooks;
        hooks.progress = [&written](std::int64_t n, std::optional<std::int64_t>) { written = n; };
        hooks.keepResponsive = exporter::pumpEvery(
            10, [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

        QElapsedTimer timer;
        timer.start();
        source.open();
        data.open();
        const double openMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        options.Save(hooks);
        const double totalS = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        const auto bytes = QFileInfo(options.FileName()).size();

        std::printf("open_ms=%.3f export_s=%.3f rows=%lld bytes=%lld rows_per_s=%.0f "
                    "mb_per_s=%.2f\n",
                    openMs, totalS, static_cast<long long>(written), static_cast<long long>(bytes),
                    totalS > 0 ? static_cast<double>(written) / totalS : 0.0,
                    totalS > 0 ? static_cast<double>(bytes) / totalS / 1048576.0 : 0.0);
    } catch (const norvane::Error& e) {
        std::fprintf(stderr, "export_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
