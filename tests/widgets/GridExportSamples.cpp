// Writes a real table holding one column of each type and awkward values in every export
// format through the grid, plus the texts the grid shows, for the reader checks in
// tests/export (check_readers.py, check_sylk_libreoffice.py). Fails when a cell's export text
// differs from the grid's display text (byte data excepted: it is written as hexadecimal).
#include "WidgetTestSupport.h"

#include "export/zkexport.h"
#include "widgets/DBGrid.h"
#include "widgets/DataGridModel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace norvane;
using namespace norvane::widgets;
using namespace norvane::widgets::test;

namespace {

const char* const kColumns =
    "id INT PRIMARY KEY, i BIGINT, big BIGINT UNSIGNED, num DECIMAL(30,10), dbl DOUBLE, "
    "b BIT(1), bits BIT(12), d DATE, tm TIME, dt DATETIME(6), s VARCHAR(100), txt TEXT, "
    "js JSON, bin VARBINARY(20), blb BLOB, e ENUM('a','b c'), y YEAR";

const char* const kRows[] = {
    "(1, -9007199254740992, 18446744073709551615, 12345678901234567890.0123456789, "
    "0.30000000000000004, 1, 4095, '2024-02-29', '23:59:00', '2024-01-02 03:04:00', "
    "'a,b;c \"q\" <x> & y\\tz', 'first line\\r\\nsecond; line', '{\"k\": [1, \"é\"]}', "
    "X'00FF22', '', 'b c', 2024)",
    "(2, 0, 9007199254740993, -0.0000000001, -1.5e-7, 0, 0, '2024-02-00', '00:00:00', "
    "'2024-02-00 10:00:00', 'Grüße 😀 Ελλάδα', '', 'null', X'', X'0D0A', 'a', 1901)",
    "(3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL)",
    "(4, 42, 0, 0, 1e300, 1, 1, '0000-00-00', '12:30:00', '0000-00-00 00:00:00', '', "
    "'tab\\there\\nlone', '[]', X'41', X'41', 'a', 0)",
    "(5, 9007199254740992, 1, 1.5, 2.5, 0, 7, '1900-03-01', '01:02:00', "
    "'2024-06-30 23:59:00.5', '  spaced  ', 'x', '\"s\"', X'FF', NULL, 'b c', 2155)",
};

/// How a spreadsheet holds the column's cells, as check_sylk_libreoffice.py names it.
QString kindOf(const db::Field& f)
{
    switch (f.dataType()) {
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
        return QStringLiteral("integer");
    case FieldType::ftFloat:
        return QStringLiteral("float");
    case FieldType::ftDate:
        return QStringLiteral("date");
    case FieldType::ftTime:
        return QStringLiteral("time");
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp:
        return QStringLiteral("stamp");
    case FieldType::ftBoolean:
        return QStringLiteral("boolean");
    default:
        // 64-bit integers are text beyond 2^53; the checks compare them as the grid shows them.
        return f.dataType() == FieldType::ftLargeint ? QStringLiteral("largeint")
                                                     : QStringLiteral("text");
    }
}

/// What a spreadsheet holds for a typed cell; null for text and for dates no calendar has.
QJsonValue typedValue(const db::Field& f)
{
    if (f.isNull())
        return {};
    switch (f.dataType()) {
    case FieldType::ftFloat:
        return f.asFloat();
    case FieldType::ftBoolean:
        return f.asBoolean();
    case FieldType::ftTime:
        return static_cast<double>(db::timeMillis(*f.rawValue()).value_or(0)) / 86400000.0;
    case FieldType::ftDate:
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp: {
        const QDateTime dt = f.asDateTime();
        if (!dt.date().isValid())
            return {};
        return static_cast<double>(exporter::daySerial(dt.date())) +
               dt.time().msecsSinceStartOfDay() / 86400000.0;
    }
    default:
        return {};
    }
}

void save(DBGrid& grid, exporter::TzkGridExportType type, const QString& delimiter,
          const QString& path)
{
    exporter::TzkExportOptions& options = *grid.ExportOptions();
    options.setExportType(type);
    options.setDelimiter(delimiter);
    options.setFileName(path);
    options.Save();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: grid_export_samples OUTPUT_DIR\n");
        return 2;
    }
    try {
        const QDir dir(QString::fromLocal8Bit(argv[1]));
        if (!dir.mkpath(QStringLiteral(".")))
            throw std::runtime_error("cannot create the output folder");
        auto c = openConnection();
        const QString t = uniqueName("gridexport");
        c->execute(QStringLiteral("CREATE TABLE %1 (%2)").arg(t, QLatin1String(kColumns)));
        QStringList rows;
        for (const char* r : kRows)
            rows << QString::fromUtf8(r);
        c->execute(QStringLiteral("INSERT INTO %1 VALUES %2").arg(t, rows.join(u',')));
        Chain chain(*c, t, true);
        chain.open();
        DBGrid grid;
        grid.setDataSource(&chain.ds);
        save(grid, exporter::TzkGridExportType::zkgetTxt, QStringLiteral("\t"),
             dir.filePath(QStringLiteral("sample.csv")));
        save(grid, exporter::TzkGridExportType::zkgetTxt, QStringLiteral(","),
             dir.filePath(QStringLiteral("sample.txt")));
        save(grid, exporter::TzkGridExportType::zkgetSYLK, QStringLiteral(","),
             dir.filePath(QStringLiteral("sample.slk")));
        save(grid, exporter::TzkGridExportType::zkgetHTML, QStringLiteral(","),
             dir.filePath(QStringLiteral("sample.html")));

        db::ClientDataSet& data = chain.data;
        const DataGridModel& model = *grid.gridModel();
        QJsonArray titles, types, texts, nulls, typed;
        for (int f = 0; f < data.fieldCount(); ++f) {
            titles.append(data.field(f).displayLabel());
            types.append(kindOf(data.field(f)));
        }
        int mismatches = 0;
        data.first();
        for (int row = 0; !data.eof(); ++row, data.next()) {
            QJsonArray cells, nullFlags, values;
            for (int f = 0; f < data.fieldCount(); ++f) {
                const db::Field& field = data.field(f);
                const QString shown =
                    model
                        .data(model.index(row, model.columnOfField(f)), DataGridModel::FullTextRole)
                        .toString();
                const QString exported = field.exportText();
                if (!field.def().isBinary && shown != exported) {
                    std::fprintf(stderr, "row %d %s: grid shows \"%s\", exports write \"%s\"\n",
                                 row + 1, qPrintable(field.fieldName()), qPrintable(shown),
                                 qPrintable(exported));
                    ++mismatches;
                }
                cells.append(exported);
                nullFlags.append(field.isNull());
                values.append(typedValue(field));
            }
            texts.append(cells);
            nulls.append(nullFlags);
            typed.append(values);
        }
        c->execute(QStringLiteral("DROP TABLE %1").arg(t));
        QFile out(dir.filePath(QStringLiteral("expected.json")));
        if (!out.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write expected.json");
        out.write(QJsonDocument(QJsonObject{{QStringLiteral("titles"), titles},
                                            {QStringLiteral("types"), types},
                                            {QStringLiteral("rows"), texts},
                                            {QStringLiteral("nulls"), nulls},
                                            {QStringLiteral("typed"), typed}})
                      .toJson());
        return mismatches == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "grid_export_samples: %s\n", e.what());
        return 1;
    }
}
