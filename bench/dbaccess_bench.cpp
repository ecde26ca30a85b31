// Measures the table browser's data chain on one table: time until the first packet is in the
// cache, time to walk every row with next() (as an export does), and the memory the cache
// takes. Prints one line of "key=value" pairs for scripts/bench.
//
//   dbaccess_bench TABLE        the table as the Data page opens it
//   dbaccess_bench TABLE sql    "SELECT * FROM TABLE" as the console runs it
//   dbaccess_bench TABLE --first FILTER [COLUMN [desc]]
//       only the time until the first packet of the filtered (empty: all) and ordered table
// (settings from NORVANE_BENCH_USER/_PASSWORD/_HOST/_DATABASE). A result read in the background
// (the statement, a table without a key) reports the time from the open until the background
// read has every row in the cache (fetch_s) instead of the walk.
#include "dbaccess/ClientDataSet.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace norvane::db;

namespace {

long statusKb(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ':';
    while (std::getline(f, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return 0;
}

QString env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? QString::fromUtf8(v) : QString();
}

/// The first packet of a filtered and ordered open, as the Data page opens a table.
int firstPacketRun(Connection& connection, const QString& table, const QString& filter,
                   const QString& sortColumn, bool descending)
{
    SqlSource source(&connection);
    source.setTableName(table);
    source.setFilter(filter);
    source.setSortColumn(sortColumn, descending);
    Provider provider(&source);
    ClientDataSet data;
    data.setProvider(&provider);
    QElapsedTimer timer;
    timer.start();
    source.checkFilter(filter);
    source.open();
    data.open();
    const double firstMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("first_packet_ms=%.3f first_rows=%d keyset=%d\n", firstMs, data.recordCount(),
                source.isKeysetPaged() ? 1 : 0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dbaccess_bench TABLE [--first FILTER [COLUMN [desc]]]\n");
        return 2;
    }
    if (argc >= 4 && std::string(argv[2]) == "--first") {
        try {
            Connection connection;
            connection.setParams({env("NORVANE_BENCH_USER"), env("NORVANE_BENCH_PASSWORD"),
                                  env("NORVANE_BENCH_HOST"), env("NORVANE_BENCH_DATABASE")});
            connection.setBackgroundWork(true);
            connection.open();
            return firstPacketRun(connection, QString::fromUtf8(argv[1]),
                                  QString::fromUtf8(argv[3]),
                                  argc >= 5 ? QString::fromUtf8(argv[4]) : QString(),
                                  argc >= 6 && std::string(argv[5]) == "desc");
        } catch (const norvane::Error& e) {
            std::fprintf(stderr, "dbaccess_bench: %s\n", e.what());
            return 1;
        }
    }
    try {
        const bool statement = argc > 2 && std::string(argv[2]) == "sql";
        Connection connection;
        // As in the window: the user's statements run on a worker, waits process events.
        connection.setBackgroundWork(true);
        connection.setParams({env("NORVANE_BENCH_USER"), env("NORVANE_BENCH_PASSWORD"),
                              env("NORVANE_BENCH_HOST"), env("NORVANE_BENCH_DATABASE")});
        connection.open();
        const long rssBefore = statusKb("RssAnon");

        SqlSource source(&connection);
        if (statement)
            source.setSql(QStringLiteral("SELECT * FROM ") +
                          Connection::quoteIdentifier(QString::fromUtf8(argv[1])));
        else
            source.setTableName(QString::fromUtf8(argv[1]));
        Provider provider(&source);
        ClientDataSet data;
        data.setProvider(&provider);

        QElapsedTimer timer;
        timer.start();
        source.open();
        data.open();
        const double firstMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        const int firstRows = data.recordCount();

        if (source.isFetching() || !source.isKeysetPaged()) {
            data.fetchAll();
            const double fetchS = static_cast<double>(timer.nsecsElapsed()) / 1e9;
            const long rssAfter = statusKb("RssAnon");
            const long rows = data.recordCount();
            std::printf("first_packet_ms=%.3f first_rows=%d fetch_s=%.3f rows=%ld "
                        "rows_per_s=%.0f mem_mb=%.2f peak_mb=%.1f keyset=0\n",
                        firstMs, firstRows, fetchS, rows, fetchS > 0 ? rows / fetchS : 0.0,
                        (rssAfter - rssBefore) / 1024.0, statusKb("VmHWM") / 1024.0);
            return 0;
        }

        timer.restart();
        long rows = data.recordCount() > 0 ? 1 : 0;
        for (data.first(); !data.eof(); data.next())
            ++rows;
        rows = data.recordCount();
        const double walkS = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        const long rssAfter = statusKb("RssAnon");

        std::printf("first_packet_ms=%.3f first_rows=%d walk_s=%.3f rows=%ld rows_per_s=%.0f "
                    "mem_mb=%.2f peak_mb=%.1f keyset=%d\n",
                    firstMs, firstRows, walkS, rows, walkS > 0 ? rows / walkS : 0.0,
                    (rssAfter - rssBefore) / 1024.0, statusKb("VmHWM") / 1024.0,
                    source.isKeysetPaged() ? 1 : 0);
    } catch (const norvane::Error& e) {
        std::fprintf(stderr, "dbaccess_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
