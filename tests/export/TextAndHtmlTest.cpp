// Delimited text and HTML: values that can break a line, a quote, a tag or a colour.
#include "ExportTestSupport.h"

#include <gtest/gtest.h>

using namespace norvane::exporter;
using namespace norvane::exporter::test;

namespace {

FakeGrid textGrid(std::initializer_list<QString> values)
{
    FakeGrid g;
    g.columns = {FakeGrid::col(QStringLiteral("v"), FieldType::ftString, 10, Alignment::Left, 50)};
    for (const auto& v : values)
        g.rows.push_back({v.isNull() ? FakeCell::nul() : FakeCell::str(v)});
    return g;
}

/// The row lines of an HTML export (between the header and the closing text).
std::string htmlBody(const std::string& file)
{
    const auto start = file.find("<TBODY>\r\n");
    const auto end = file.find("</TBODY>");
    if (start == std::string::npos || end == std::string::npos)
        return "<no body>";
    return file.substr(start + 9, end - start - 9);
}

std::string htmlCell(const std::string& value, const std::string& bg = "")
{
    return "<TD NOWRAP ALIGN=\"left\"" + bg + " WIDTH=\"50\" SCOPE=\"row\">" + value + "</TD>\r\n";
}

const std::string kRow =
    "<TR VALIGN=\"TOP\" STYLE=\"font-family: Courier New;font-size: 8 pt;color:#000000;\">\r\n";

} // namespace

TEST(DelimitedText, ValuesKeepSpacesBreaksAndDelimitersInsideQuotes)
{
    ExportFixture fx;
    FakeGrid g = textGrid({QStringLiteral(" lead and trail "), QStringLiteral("two\r\nlines"),
                           QStringLiteral("lone\rcr"), QStringLiteral("a\tb,c"), QString(""),
                           QStringLiteral("\"\"")});
    g.columns[0].title = QStringLiteral("first~second");
    EXPECT_EQ(fx.run(g, TzkGridExportType::zkgetTxt, QStringLiteral("\t")),
              crlfLines({"\"first second\"", "\" lead and trail \"", "\"two\r\nlines\"",
                         "\"lone\rcr\"", "\"a\tb,c\"", "", "\"\"\"\"\"\""}));
}

TEST(DelimitedText, MemoAndBlobColumnsWriteTheirValuesAndNullsStayEmpty)
{
    ExportFixture fx;
    FakeGrid g;
    g.columns = {FakeGrid::col(QStringLiteral("m"), FieldType::ftMemo, 10, Alignment::Left),
                 FakeGrid::col(QStringLiteral("b"), FieldType::ftBlob, 10, Alignment::Left),
                 FakeGrid::col(QStringLiteral("s"), FieldType::ftString, 10, Alignment::Left)};
    g.rows = {{FakeCell::str(QStringLiteral("text")), FakeCell::str(QStringLiteral("0x78")),
               FakeCell::str(QStringLiteral("s"))},
              {FakeCell::nul(), FakeCell::nul(), FakeCell::nul()}};
    EXPECT_EQ(fx.run(g, TzkGridExportType::zkgetTxt),
              crlfLines({"\"m\",\"b\",\"s\"", "\"text\",\"0x78\",\"s\"", ",,"}));
}

TEST(DelimitedText, WithoutHeaderOrQuotingOptions)
{
    ExportFixture fx;
    FakeGrid g = FakeGrid::idNote();
    const auto plain = fx.run(g, TzkGridExportType::zkgetTxt, QStringLiteral(";"),
                              [](TzkExportOptions& o) { o.setOptions(TzkExportSaveOptions{}); });
    EXPECT_EQ(plain, crlfLines({"1;a,b", "2;say \"hi\"", "3;"}));
}

TEST(ExportOptions, DefaultsAndQuoteValue)
{
    TzkExportOptions o;
    EXPECT_EQ(o.ExportType(), TzkGridExportType::zkgetTxt);
    EXPECT_EQ(o.Delimiter(), QStringLiteral(","));
    EXPECT_EQ(o.Options().bits(), 0x0419); // bits 0, 3, 4 and 10
    EXPECT_EQ(o.HTMLBorderWidth(), 1);
    EXPECT_EQ(o.OutputWidthinTwips(), 0);
    EXPECT_TRUE(o.FileName().isEmpty());
    EXPECT_TRUE(o.TitleName().isEmpty());
    EXPECT_EQ(o.QuoteValue(QStringLiteral("say \"hi\"")), QStringLiteral("\"say \"hi\"\""));
    EXPECT_EQ(o.QuoteValue(QString()), QString());
    auto opts = o.Options();
    opts.remove(TzkExportSaveOption::esoDblQuoteFields);
    o.setOptions(opts);
    EXPECT_EQ(o.QuoteValue(QStringLiteral("x")), QStringLiteral("x"));
}

TEST(Html, MarkupInDataTitlesAndFileNameIsEscaped)
{
    ExportFixture fx;
    FakeGrid g = textGrid(
        {QStringLiteral("<script>alert('x')</script> & more"), QStringLiteral("a < b > c")});
    g.columns[0].title = QStringLiteral("<b>&~x");
    const QString name = fx.path(QStringLiteral("r&d <1>.html"));
    const std::string file =
        fx.run(g, TzkGridExportType::zkgetHTML, QStringLiteral(","), [&](TzkExportOptions& o) {
            o.setFileName(name);
            o.setTitleName(QStringLiteral("Q&A <today>"));
        });
    QString escapedName = name;
    escapedName.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
    EXPECT_NE(file.find("<TITLE>" + escapedName.toStdString() + "</TITLE>"), std::string::npos);
    EXPECT_NE(file.find("scope=\"colgroup\">Q&amp;A &lt;today&gt;</TH>"), std::string::npos);
    EXPECT_NE(file.find("RowSpan=\"2\">&lt;b&gt;&amp;<BR>x</TD>"), std::string::npos);
    EXPECT_EQ(htmlBody(file),
              kRow + htmlCell("&lt;script&gt;alert('x')&lt;/script&gt; &amp; more") + "</TR>\r\n" +
                  kRow + htmlCell("a &lt; b &gt; c", " BGCOLOR=#FFFFFF") + "</TR>\r\n");
    EXPECT_EQ(file.find("<script>"), std::string::npos);
}

TEST(Html, BlanksTrailingSpacesAndLineBreaks)
{
    ExportFixture fx;
    FakeGrid g = textGrid({QStringLiteral("   "), QStringLiteral("  lead  \t"),
                           QStringLiteral("one\r\ntwo\r\n"), QStringLiteral("lone\rcr\nlf")});
    const std::string body = htmlBody(fx.run(g, TzkGridExportType::zkgetHTML));
    const std::string even = " BGCOLOR=#FFFFFF";
    EXPECT_EQ(body, kRow + htmlCell("&nbsp;") + "</TR>\r\n" + kRow + htmlCell("  lead", even) +
                        "</TR>\r\n" + kRow + htmlCell("one<BR>two") + "</TR>\r\n" + kRow +
                        htmlCell("lone\rcr\nlf", even) + "</TR>\r\n");
}

TEST(Html, ColoursStylesAndWidthScaling)
{
    ExportFixture fx;
    FakeGrid g = FakeGrid::idNote();
    g.look.color = QColor(0x12, 0xAB, 0xEF);
    g.look.alternatingRowColor = QColor(0x12, 0xAB, 0xEF);
    g.look.fontColor = QColor(0xC0, 0x0F, 0x0A);
    QFont f = g.look.font;
    f.setItalic(true);
    f.setBold(true);
    f.setStrikeOut(true);
    g.look.font = f;
    g.look.rightToLeft = true;
    // (64 + 5 + 144 + 5) pixels at 96 dpi are 3270 twips; half of that halves every width.
    const std::string file =
        fx.run(g, TzkGridExportType::zkgetHTML, QStringLiteral(","), [](TzkExportOptions& o) {
            o.setOutputWidthinTwips(1635);
            o.setHTMLBorderWidth(3);
        });
    EXPECT_NE(file.find("BORDER=\"3\" CELLPADDING=\"1\" CELLSPACING=\"0\" dir=\"RTL\" "
                        "BGCOLOR=#12ABEF>\r\n"),
              std::string::npos);
    EXPECT_NE(file.find("color:#C00F0A;\">\r\n<TD NOWRAP ALIGN=\"right\" WIDTH=\"32\" "
                        "SCOPE=\"row\"><STRIKE><B><I>1</I></B></STRIKE></TD>\r\n"),
              std::string::npos)
        << file;
    // The alternating colour equals the grid colour, so even rows carry no attribute either.
    EXPECT_EQ(file.find("<TD NOWRAP ALIGN=\"left\" BGCOLOR"), std::string::npos);
    EXPECT_NE(file.find("WIDTH=\"72\" SCOPE=\"row\"><STRIKE><B><I>&nbsp;</I></B></STRIKE>"),
              std::string::npos);
}

TEST(Html, NonWhiteWindowStillMarksEvenRowsWhite)
{
    ExportFixture fx;
    FakeGrid g = FakeGrid::idNote();
    g.look.color = QColor(0xEE, 0xEE, 0xDD);
    const std::string file = fx.run(g, TzkGridExportType::zkgetHTML);
    EXPECT_NE(file.find("dir=\"LTR\" BGCOLOR=#EEEEDD>"), std::string::npos);
    EXPECT_NE(file.find("<TD NOWRAP ALIGN=\"right\" WIDTH=\"64\" SCOPE=\"row\">1</TD>"),
              std::string::npos);
    EXPECT_NE(file.find("<TD NOWRAP ALIGN=\"right\" BGCOLOR=#FFFFFF WIDTH=\"64\" SCOPE=\"row\">2"),
              std::string::npos);
}
