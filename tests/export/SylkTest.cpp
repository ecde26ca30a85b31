// SYLK cell values, number formats, serials, titles and fonts.
#include "ExportTestSupport.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QProcess>

#include <clocale>
#include <cstdlib>

using namespace norvane::exporter;
using namespace norvane::exporter::test;

namespace {

/// The data records (format and value) of one exported column, in order, without the header.
std::vector<std::string> dataRecords(const std::string& file)
{
    const auto start = file.find("\r\n\r\n");
    std::vector<std::string> out;
    if (start == std::string::npos)
        return out;
    size_t pos = start + 4;
    while (true) {
        const auto end = file.find("\r\n", pos);
        if (end == std::string::npos)
            break;
        out.push_back(file.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

/// One column of the given type holding the given cells.
FakeGrid oneColumn(FieldType type, const std::vector<FakeCell>& cells,
                   Alignment align = Alignment::Right)
{
    FakeGrid g;
    g.columns = {FakeGrid::col(QStringLiteral("v"), type, 10, align)};
    for (const auto& c : cells)
        g.rows.push_back({c});
    return g;
}

std::string valueOf(FieldType type, const FakeCell& cell)
{
    ExportFixture fx;
    FakeGrid g = oneColumn(type, {cell});
    const auto rec = dataRecords(fx.run(g, TzkGridExportType::zkgetSYLK));
    return rec.size() == 2 ? rec[1] : "<" + std::to_string(rec.size()) + " records>";
}

} // namespace

TEST(SylkGeneralNumber, ShortestRoundTripPointAndExponentForm)
{
    const std::pair<double, const char*> cases[] = {
        {0.0, "0"},
        {1.5, "1.5"},
        {-2.0, "-2"},
        {100.0, "100"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1.0 / 3.0, "0.3333333333333333"},
        {0.0001, "0.0001"},
        {0.00009, "9E-5"},
        {1.5e-7, "1.5E-7"},
        {1e20, "1E20"},
        {-1.25e-10, "-1.25E-10"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.234567890123456E15"},
        {2.5e300, "2.5E300"},
        {1.7976931348623157e308, "1.7976931348623157E308"},
        {-4.9e-324, "-5E-324"},
        {123.456, "123.456"},
        {0.000123, "0.000123"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(generalNumber(value).toStdString(), text) << value;
}

namespace {

/// Puts the C and Qt locales back to "C" however the test ends.
struct LocaleRestorer
{
    ~LocaleRestorer()
    {
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
        unsetenv("LOCPATH");
    }
};

} // namespace

TEST(SylkGeneralNumber, PointUnderDecimalCommaLocale)
{
    // A real decimal-comma C locale, built for this test, plus Qt's default locale.
    QTemporaryDir dir;
    const QString def = dir.filePath(QStringLiteral("de_DE.UTF-8"));
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                     QStringLiteral("UTF-8"), def});
    ASSERT_TRUE(localedef.waitForFinished(60000));
    ASSERT_EQ(localedef.exitCode(), 0) << localedef.readAllStandardError().toStdString();
    const LocaleRestorer restore;
    setenv("LOCPATH", dir.path().toLocal8Bit().constData(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale must really use a decimal comma";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    FakeCell half;
    half.number = 1.5;
    EXPECT_EQ(valueOf(FieldType::ftFloat, half), "C;K1.5");
    FakeCell tiny;
    tiny.number = 1.5e-7;
    EXPECT_EQ(valueOf(FieldType::ftCurrency, tiny), "C;K1.5E-7");
    FakeCell stamp;
    stamp.dateTime = QDateTime(QDate(2000, 1, 1), QTime(6, 0));
    EXPECT_EQ(valueOf(FieldType::ftDateTime, stamp), "C;K36526.25");
}

TEST(SylkValues, NullOfEveryTypeIsAnEmptyQuotedText)
{
    for (int t = 0; t <= static_cast<int>(FieldType::ftFMTBcd); ++t) {
        const auto type = static_cast<FieldType>(t);
        EXPECT_EQ(valueOf(type, FakeCell::nul()), "C;K\"\"") << "type " << t;
    }
}

TEST(SylkValues, TypedValuesAndTheirFormatRecords)
{
    FakeCell date;
    date.date = QDate(2024, 3, 1);
    FakeCell before;
    before.date = QDate(1899, 12, 29);
    FakeCell time;
    time.msecs = 6LL * 3600 * 1000;
    FakeCell longTime;
    longTime.msecs = -(838LL * 3600 + 59LL * 60 + 59) * 1000;
    FakeCell stamp;
    stamp.dateTime = QDateTime(QDate(2000, 1, 1), QTime(18, 0));
    FakeCell yes;
    yes.boolean = true;
    yes.text = QStringLiteral("True");
    FakeCell no;
    no.text = QStringLiteral("False");
    FakeCell money;
    money.number = -1234.5;
    FakeCell exact = FakeCell::str(QStringLiteral("12345678901234567890.123456789"));
    FakeCell integer = FakeCell::str(QStringLiteral("18446744073709551615"));
    FakeCell zeroDate; // a date the server may hold but no calendar has

    struct Case
    {
        FieldType type;
        FakeCell cell;
        const char* value;
    } cases[] = {
        {FieldType::ftDate, date, "C;K45352"},
        {FieldType::ftDate, before, "C;K-1"},
        {FieldType::ftDate, zeroDate, "C;K\"\""},
        {FieldType::ftTime, time, "C;K0.25"},
        {FieldType::ftTime, longTime, "C;K-34.958321759259256"},
        {FieldType::ftDateTime, stamp, "C;K36526.75"},
        {FieldType::ftTimeStamp, stamp, "C;K36526.75"},
        {FieldType::ftBoolean, yes, "C;K\"TRUE\""},
        {FieldType::ftBoolean, no, "C;K\"FALSE\""},
        {FieldType::ftCurrency, money, "C;K-1234.5"},
        {FieldType::ftBCD, exact, "C;K\"12345678901234567890.123456789\""},
        {FieldType::ftFMTBcd, exact, "C;K\"12345678901234567890.123456789\""},
        // Integers a double cannot hold exactly would be rounded by every spreadsheet.
        {FieldType::ftLargeint, integer, "C;K\"18446744073709551615\""},
        {FieldType::ftLargeint, FakeCell::str(QStringLiteral("9007199254740993")),
         "C;K\"9007199254740993\""},
        {FieldType::ftLargeint, FakeCell::str(QStringLiteral("-9007199254740992")),
         "C;K-9007199254740992"},
        {FieldType::ftInteger, FakeCell::str(QStringLiteral("a;b")), "C;K\"a;;b\""},
        {FieldType::ftAutoInc, FakeCell::str(QStringLiteral("7")), "C;K\"7\""},
        {FieldType::ftMemo, FakeCell::str(QStringLiteral("long text")), "C;K\"long text\""},
        {FieldType::ftBlob, FakeCell::str(QStringLiteral("0x6279")), "C;K\"0x6279\""},
        // Dates the server holds but no calendar has stay readable.
        {FieldType::ftDate, FakeCell::str(QStringLiteral("2024-02-00")), "C;K\"2024-02-00\""},
        {FieldType::ftDateTime, FakeCell::str(QStringLiteral("0000-00-00 00:00:00")),
         "C;K\"0000-00-00 00:00:00\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(valueOf(c.type, c.cell), c.value) << static_cast<int>(c.type);
}

TEST(SylkValues, PictureIndexesFollowFirstUseAndOnlyTypedColumnsCarryThem)
{
    ExportFixture fx;
    FakeGrid g;
    g.columns = {FakeGrid::col(QStringLiteral("d"), FieldType::ftDate, 10, Alignment::Right),
                 FakeGrid::col(QStringLiteral("m"), FieldType::ftCurrency, 10, Alignment::Right),
                 FakeGrid::col(QStringLiteral("f"), FieldType::ftFloat, 10, Alignment::Right),
                 FakeGrid::col(QStringLiteral("t"), FieldType::ftTime, 10, Alignment::Right),
                 FakeGrid::col(QStringLiteral("s"), FieldType::ftDateTime, 10, Alignment::Right),
                 FakeGrid::col(QStringLiteral("d2"), FieldType::ftDate, 10, Alignment::Right),
                 FakeGrid::col(QStringLiteral("b"), FieldType::ftBCD, 10, Alignment::Right)};
    FakeCell c;
    c.date = QDate(1899, 12, 31);
    c.dateTime = QDateTime(QDate(1899, 12, 31), QTime(12, 0));
    c.number = 2;
    c.msecs = 43200000;
    c.text = QStringLiteral("1,50");
    g.rows = {{c, c, c, c, c, c, c}};
    const std::string file = fx.run(g, TzkGridExportType::zkgetSYLK);
    EXPECT_NE(
        file.find(crlfLines({"ID;PZRB 3000;N;E", "P;PGeneral", "P;Pm/d/yyyy",
                             R"(P;P"$"#,##0.00_);;[Red]\("$"#,##0.00\))", R"(P;Ph:mm\ AM/PM)",
                             R"(P;Pm/d/yyyy\ h:mm\ AM/PM)", "P;FCourier New;M160", "B;Y2;X7"})),
        std::string::npos)
        << file;
    const auto rec = dataRecords(file);
    const std::vector<std::string> expected = {
        "F;P1;SLTRBM0;FG0R;Y2;X1", "C;K1",       "F;P2;SLTRBM0;FG0R;Y2;X2", "C;K2",
        "F;P0;SLTRBM0;FG0R;Y2;X3", "C;K2",       "F;P3;SLTRBM0;FG0R;Y2;X4", "C;K0.5",
        "F;P4;SLTRBM0;FG0R;Y2;X5", "C;K1.5",     "F;P1;SLTRBM0;FG0R;Y2;X6", "C;K1",
        "F;SLTRBM0;FG0R;Y2;X7",    "C;K\"1,50\""};
    EXPECT_EQ(rec, expected);
}

TEST(SylkText, SemicolonsDoubledLineBreaksJoinedAndCutAt255)
{
    const QString x254(254, u'x');
    const QString x300(300, u'y');
    struct Case
    {
        QString cell;
        std::string value;
    } cases[] = {
        {QStringLiteral("a;b;;c"), "C;K\"a;;b;;;;c\""},
        {QStringLiteral("one\r\ntwo"), "C;K\"one two\""},
        // A lone CR or LF would end the record, and a line reading E the file.
        {QStringLiteral("lone\rcr\nlf"), "C;K\"lone cr lf\""},
        {QStringLiteral("x\nE\n\r\ny"), "C;K\"x E  y\""},
        {x300, "C;K\"" + std::string(255, 'y') + "\""},
        // The cut counts the doubled text and may split a doubled ";".
        {x254 + QStringLiteral(";z"), "C;K\"" + std::string(254, 'x') + ";\""},
        {QStringLiteral("   "), "C;K\"   \""},
        {QString(), "C;K\"\""},
    };
    for (const auto& c : cases) {
        const auto got = valueOf(FieldType::ftString, FakeCell::str(c.cell));
        EXPECT_EQ(got, c.value) << c.cell.left(20).toStdString();
    }
    // A character outside the basic plane is never cut in half.
    const QString emoji = QString(254, u'e') + QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(valueOf(FieldType::ftString, FakeCell::str(emoji)),
              "C;K\"" + std::string(254, 'e') + "\"");
}

TEST(SylkTitles, TildeKeepsFirstPieceLineBreaksJoinAndEmptyTitleWritesNoValue)
{
    ExportFixture fx;
    FakeGrid g;
    g.columns = {FakeGrid::col(QStringLiteral("a"), FieldType::ftString, 5, Alignment::Left),
                 FakeGrid::col(QStringLiteral("b"), FieldType::ftString, 5, Alignment::Left),
                 FakeGrid::col(QStringLiteral("c"), FieldType::ftString, 5, Alignment::Left),
                 FakeGrid::col(QStringLiteral("d"), FieldType::ftString, 5, Alignment::Left)};
    g.columns[0].title = QStringLiteral("Top~Bottom");
    g.columns[1].title = QString();
    g.columns[2].title = QStringLiteral("x;y~z");
    g.columns[3].title = QStringLiteral("line\rbreak\nE\r\nend");
    const std::string file = fx.run(g, TzkGridExportType::zkgetSYLK);
    EXPECT_NE(file.find(crlfLines({"F;W1 1 5", "F;W2 2 5", "F;W3 3 5", "F;W4 4 5",
                                   "F;SLRTBM0;FG0L;Y1;X1", "C;K\"Top\"", "F;SLRTBM0;FG0L;Y1;X2",
                                   "F;SLRTBM0;FG0L;Y1;X3", "C;K\"x;;y\"", "F;SLRTBM0;FG0L;Y1;X4",
                                   "C;K\"line break E end\"", ""}) +
                        "E"),
              std::string::npos)
        << file;
}

TEST(SylkTitles, InvisibleFieldsAreNoColumns)
{
    ExportFixture fx;
    FakeGrid g = FakeGrid::idNote();
    g.columns.insert(g.columns.begin(), FakeGrid::col(QStringLiteral("hidden"), FieldType::ftDate,
                                                      10, Alignment::Left));
    g.columns[0].visible = false;
    for (auto& r : g.rows)
        r.insert(r.begin(), FakeCell::nul());
    const std::string file = fx.run(g, TzkGridExportType::zkgetSYLK);
    EXPECT_NE(file.find("B;Y4;X2\r\n"), std::string::npos);
    EXPECT_EQ(file.find("m/d/yyyy"), std::string::npos);
    EXPECT_EQ(file.find("hidden"), std::string::npos);
    EXPECT_NE(file.find("F;SLTRBM0;FG0L;Y3;X2\r\nC;K\"say \"hi\"\"\r\n"), std::string::npos);
}

TEST(SylkFonts, DistinctFontsListedWithStylesAndIndexes)
{
    ExportFixture fx;
    FakeGrid g = FakeGrid::idNote();
    QFont title(QStringLiteral("Liberation Sans"));
    title.setPixelSize(16);
    title.setBold(true);
    title.setUnderline(true);
    g.look.titleFont = title;
    QFont body(QStringLiteral("COURIER NEW"));
    body.setPointSize(8);
    g.look.font = body;
    const std::string file = fx.run(g, TzkGridExportType::zkgetSYLK);
    EXPECT_NE(file.find(crlfLines(
                  {"P;PGeneral", "P;FLiberation Sans;M240;SBU", "P;FCOURIER NEW;M160", "B;Y4;X2"})),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("F;SLRTBM0;FG0L;Y1;X2\r\n"), std::string::npos);
    EXPECT_NE(file.find("F;SLTRBM1;FG0R;Y2;X1\r\n"), std::string::npos);
}

TEST(FontPointSize, FromPixelHeightAndDotsPerInch)
{
    QFont pixels;
    pixels.setPixelSize(11);
    EXPECT_EQ(exportPointSize(pixels, 96), 8);
    EXPECT_EQ(exportPointSize(pixels, 120), 7);
    QFont points;
    points.setPointSize(8);
    EXPECT_EQ(exportPointSize(points, 96), 8);
    points.setPointSize(10);
    EXPECT_EQ(exportPointSize(points, 144), 10);
}
