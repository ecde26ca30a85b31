// Writes one awkward dataset in every format, plus the texts a reader must get back, for the
// reader checks in check_readers.py and check_sylk_libreoffice.py.
#include "FakeGrid.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <exception>

using namespace norvane::exporter;
using namespace norvane::exporter::test;

namespace {

FakeCell text(const QString& s)
{
    return FakeCell::str(s);
}

FakeCell number(double v, const QString& shown)
{
    FakeCell c = FakeCell::str(shown);
    c.number = v;
    return c;
}

FakeCell day(QDate d)
{
    FakeCell c = FakeCell::str(d.toString(QStringLiteral("dd.MM.yyyy")));
    c.date = d;
    return c;
}

FakeCell clock(int h, int m, int s)
{
    FakeCell c = FakeCell::str(QTime(h, m, s).toString(QStringLiteral("HH:mm:ss")));
    c.msecs = (h * 3600 + m * 60 + s) * 1000LL;
    return c;
}

FakeCell stamp(const QDateTime& dt)
{
    FakeCell c = FakeCell::str(dt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    c.dateTime = dt;
    return c;
}

FakeCell flag(bool b)
{
    FakeCell c = FakeCell::str(b ? QStringLiteral("True") : QStringLiteral("False"));
    c.boolean = b;
    return c;
}

FakeGrid sampleGrid()
{
    FakeGrid g;
    using A = Alignment;
    g.columns = {
        FakeGrid::col(QStringLiteral("id"), FieldType::ftInteger, 10, A::Right),
        FakeGrid::col(QStringLiteral("note"), FieldType::ftString, 40, A::Left, 200),
        FakeGrid::col(QStringLiteral("price"), FieldType::ftFloat, 12, A::Right),
        FakeGrid::col(QStringLiteral("day"), FieldType::ftDate, 10, A::Right),
        FakeGrid::col(QStringLiteral("at"), FieldType::ftTime, 8, A::Right),
        FakeGrid::col(QStringLiteral("stamp"), FieldType::ftDateTime, 19, A::Right),
        FakeGrid::col(QStringLiteral("ok"), FieldType::ftBoolean, 5, A::Left),
        FakeGrid::col(QStringLiteral("exact"), FieldType::ftBCD, 20, A::Right),
        FakeGrid::col(QStringLiteral("body"), FieldType::ftMemo, 10, A::Left),
    };
    g.columns[1].title = QStringLiteral("the~note");
    const QString longText = QStringLiteral("long ") + QString(300, u'L');
    const QString notes[] = {
        QStringLiteral("a,b"),
        QStringLiteral("say \"hi\""),
        QString(),
        QStringLiteral("two\r\nlines"),
        QStringLiteral("lone\nLF\nE\rCR"),
        QStringLiteral("semi;colon;;twice"),
        QStringLiteral("tab\there"),
        QStringLiteral("<b>bold</b> & <i>x</i>"),
        QStringLiteral("  spaced  "),
        QStringLiteral("Grüße, Ελλάδα, Привет"),
        QStringLiteral("\"\""),
        QStringLiteral(""),
        longText,
    };
    int id = 0;
    for (const QString& note : notes) {
        ++id;
        std::vector<FakeCell> row;
        row.push_back(text(QString::number(id)));
        row.push_back(note.isNull() ? FakeCell::nul() : text(note));
        row.push_back(number(id * 1.5, QString::number(id * 1.5)));
        row.push_back(day(QDate(2024, 1, 1).addDays(id * 31LL)));
        row.push_back(clock(id % 24, (id * 7) % 60, 0));
        row.push_back(stamp(QDateTime(QDate(2001, 2, 3).addDays(id), QTime(id % 24, 30, 0))));
        row.push_back(flag(id % 2 == 0));
        row.push_back(text(QStringLiteral("%1.05").arg(id * 1000)));
        row.push_back(text(QStringLiteral("memo text %1").arg(id)));
        if (id == 3) {
            for (size_t c = 2; c < row.size(); ++c)
                row[c] = FakeCell::nul();
        }
        g.rows.push_back(row);
    }
    return g;
}

/// Doubles at the edges of precision and range, and integers on both sides of 2^53.
FakeGrid numberGrid()
{
    FakeGrid g;
    g.columns = {
        FakeGrid::col(QStringLiteral("real"), FieldType::ftFloat, 25, Alignment::Right),
        FakeGrid::col(QStringLiteral("whole"), FieldType::ftLargeint, 20, Alignment::Right)};
    const std::pair<double, const char*> rows[] = {
        {1.7976931348623157e308, "9007199254740992"},
        {0.1 + 0.2, "9007199254740993"},
        {-1.5, "-9223372036854775808"},
        {4.9e-324, "18446744073709551615"},
    };
    for (const auto& [real, whole] : rows)
        g.rows.push_back(
            {number(real, QString::number(real, 'g', 17)), text(QLatin1String(whole))});
    return g;
}

/// How a spreadsheet holds a column's cells.
QString kindOf(FieldType t)
{
    switch (t) {
    case FieldType::ftInteger:
        return QStringLiteral("integer");
    case FieldType::ftFloat:
        return QStringLiteral("float");
    case FieldType::ftDate:
        return QStringLiteral("date");
    case FieldType::ftTime:
        return QStringLiteral("time");
    case FieldType::ftDateTime:
        return QStringLiteral("stamp");
    case FieldType::ftBoolean:
        return QStringLiteral("boolean");
    default:
        return QStringLiteral("text");
    }
}

/// The texts the grid shows, header first: what a delimited reader must read back.
QJsonObject expected(FakeGrid& g)
{
    QJsonArray titles;
    QJsonArray types;
    for (const auto& c : g.columns) {
        titles.append(c.title);
        types.append(kindOf(c.dataType));
    }
    QJsonArray rows;
    QJsonArray nulls;
    for (const auto& r : g.rows) {
        QJsonArray cells;
        QJsonArray nullFlags;
        for (size_t c = 0; c < r.size(); ++c) {
            nullFlags.append(r[c].null);
            cells.append(r[c].null ? QString() : r[c].text);
        }
        rows.append(cells);
        nulls.append(nullFlags);
    }
    QJsonArray serials; // per cell, what a spreadsheet holds for a typed column
    for (const auto& r : g.rows) {
        QJsonArray v;
        for (size_t c = 0; c < r.size(); ++c) {
            const FakeCell& cell = r[c];
            QJsonValue value;
            if (!cell.null) {
                switch (g.columns[c].dataType) {
                case FieldType::ftFloat:
                    value = cell.number;
                    break;
                case FieldType::ftDate:
                    value = static_cast<double>(daySerial(cell.date));
                    break;
                case FieldType::ftTime:
                    value = static_cast<double>(cell.msecs) / 86400000.0;
                    break;
                case FieldType::ftDateTime:
                    value = static_cast<double>(daySerial(cell.dateTime.date())) +
                            cell.dateTime.time().msecsSinceStartOfDay() / 86400000.0;
                    break;
                case FieldType::ftBoolean:
                    value = cell.boolean;
                    break;
                default:
                    break;
                }
            }
            v.append(value);
        }
        serials.append(v);
    }
    return QJsonObject{{QStringLiteral("titles"), titles},
                       {QStringLiteral("types"), types},
                       {QStringLiteral("rows"), rows},
                       {QStringLiteral("nulls"), nulls},
                       {QStringLiteral("typed"), serials}};
}

void save(FakeGrid& g, TzkGridExportType type, const QString& delimiter, const QString& path)
{
    TzkExportOptions options(&g);
    options.setExportType(type);
    options.setDelimiter(delimiter);
    options.setFileName(path);
    options.Save();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: export_samples OUTPUT_DIR\n");
        return 2;
    }
    try {
        const QDir dir(QString::fromLocal8Bit(argv[1]));
        if (!dir.mkpath(QStringLiteral(".")))
            throw std::runtime_error("cannot create the output folder");
        FakeGrid g = sampleGrid();
        save(g, TzkGridExportType::zkgetTxt, QStringLiteral("\t"),
             dir.filePath(QStringLiteral("sample.csv")));
        save(g, TzkGridExportType::zkgetTxt, QStringLiteral(","),
             dir.filePath(QStringLiteral("sample.txt")));
        save(g, TzkGridExportType::zkgetSYLK, QStringLiteral(","),
             dir.filePath(QStringLiteral("sample.slk")));
        save(g, TzkGridExportType::zkgetHTML, QStringLiteral(","),
             dir.filePath(QStringLiteral("sample.html")));
        FakeGrid numbers = numberGrid();
        save(numbers, TzkGridExportType::zkgetSYLK, QStringLiteral(","),
             dir.filePath(QStringLiteral("numbers.slk")));
        FakeGrid worked = FakeGrid::idNote();
        save(worked, TzkGridExportType::zkgetSYLK, QStringLiteral(","),
             dir.filePath(QStringLiteral("worked.slk")));
        QFile out(dir.filePath(QStringLiteral("expected.json")));
        if (!out.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write expected.json");
        out.write(QJsonDocument(expected(g)).toJson());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "export_samples: %s\n", e.what());
        return 1;
    }
}
