// The three formats byte for byte on the id/note dataset, and on an empty dataset.
#include "ExportTestSupport.h"

#include <gtest/gtest.h>

using namespace norvane::exporter;
using namespace norvane::exporter::test;

namespace {

const std::string kStyle = "STYLE=\"font-family: Courier New;font-size: 8 pt;color:#000000;\"";

std::string sylkHeader(const std::string& rows)
{
    return crlfLines({"ID;PZRB 3000;N;E", "P;PGeneral", "P;FCourier New;M160", "B;Y" + rows + ";X2",
                      "F;G;M255", "F;W1 1 10", "F;W2 2 20", "F;SLRTBM0;FG0L;Y1;X1", "C;K\"id\"",
                      "F;SLRTBM0;FG0L;Y1;X2", "C;K\"note\"", ""});
}

std::string htmlHeader(const std::string& title)
{
    return crlfLines({
        "<HTML>",
        "<HEAD>",
        R"(<META http-equiv="Content-Type" content="text/html; charset=utf-8">)",
        "<TITLE>" + title + "</TITLE>",
        "</HEAD>",
        "<BODY>",
        R"(<TABLE ALIGN=Center BORDER="1" CELLPADDING="1" CELLSPACING="0" dir="LTR" BGCOLOR=#FFFFFF>)",
        "<THEAD>",
        "<TR " + kStyle + " BGCOLOR=#F0F0F0>",
        R"(<TH colspan="2" scope="colgroup"></TH>)",
        "</TR>",
        "<TR " + kStyle + " ALIGN=left>",
        R"(<TD ALIGN="left" SCOPE="col" bgcolor=#F0F0F0 RowSpan="2">id</TD>)",
        R"(<TD ALIGN="left" SCOPE="col" bgcolor=#F0F0F0 RowSpan="2">note</TD>)",
        "</TR>",
        "<TR></TR>",
        "</THEAD>",
        "<TBODY>",
    });
}

const std::string kHtmlClose = crlfLines({"</TBODY>", "</BODY>", "</TABLE>", "</HTML>"});

} // namespace

TEST(WorkedExample, TabDelimitedDoublesInnerQuotesOnly)
{
    ExportFixture fx;
    FakeGrid grid = FakeGrid::idNote();
    EXPECT_EQ(
        fx.run(grid, TzkGridExportType::zkgetTxt, QStringLiteral("\t")),
        crlfLines({"\"id\"\t\"note\"", "\"1\"\t\"a,b\"", "\"2\"\t\"say \"\"hi\"\"\"", "\"3\"\t"}));
}

TEST(WorkedExample, CommaDelimitedDoublesInnerQuotesOnly)
{
    ExportFixture fx;
    FakeGrid grid = FakeGrid::idNote();
    EXPECT_EQ(
        fx.run(grid, TzkGridExportType::zkgetTxt),
        crlfLines({"\"id\",\"note\"", "\"1\",\"a,b\"", "\"2\",\"say \"\"hi\"\"\"", "\"3\","}));
}

TEST(WorkedExample, SylkKeepsQuotesAndFillsRowCount)
{
    ExportFixture fx;
    FakeGrid grid = FakeGrid::idNote();
    const std::string expected =
        sylkHeader("4") +
        crlfLines({"F;SLTRBM0;FG0R;Y2;X1", "C;K1", "F;SLTRBM0;FG0L;Y2;X2", "C;K\"a,b\"",
                   "F;SLTRBM0;FG0R;Y3;X1", "C;K2", "F;SLTRBM0;FG0L;Y3;X2", "C;K\"say \"hi\"\"",
                   "F;SLTRBM0;FG0R;Y4;X1", "C;K3", "F;SLTRBM0;FG0L;Y4;X2", "C;K\"\""}) +
        "E";
    EXPECT_EQ(fx.run(grid, TzkGridExportType::zkgetSYLK), expected);
}

TEST(WorkedExample, HtmlWithSystemColoursAt96Dpi)
{
    ExportFixture fx;
    // The page title is the chosen name; a file of that literal name is created in the folder.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(fx.dir().path()));
    FakeGrid grid = FakeGrid::idNote();
    const std::string got =
        fx.run(grid, TzkGridExportType::zkgetHTML, QStringLiteral(","),
               [](TzkExportOptions& o) { o.setFileName(QStringLiteral("C:\\data\\grid.html")); });
    QDir::setCurrent(previous);
    const std::string row = "<TR VALIGN=\"TOP\" " + kStyle + ">";
    const std::string expected =
        htmlHeader("C:\\data\\grid.html") +
        crlfLines(
            {row, R"(<TD NOWRAP ALIGN="right" WIDTH="64" SCOPE="row">1</TD>)",
             R"(<TD NOWRAP ALIGN="left" WIDTH="144" SCOPE="row">a,b</TD>)", "</TR>", row,
             R"(<TD NOWRAP ALIGN="right" BGCOLOR=#FFFFFF WIDTH="64" SCOPE="row">2</TD>)",
             R"(<TD NOWRAP ALIGN="left" BGCOLOR=#FFFFFF WIDTH="144" SCOPE="row">say "hi"</TD>)",
             "</TR>", row, R"(<TD NOWRAP ALIGN="right" WIDTH="64" SCOPE="row">3</TD>)",
             R"(<TD NOWRAP ALIGN="left" WIDTH="144" SCOPE="row">&nbsp;</TD>)", "</TR>"}) +
        kHtmlClose;
    EXPECT_EQ(got, expected);
}

TEST(EmptyDataset, EachFormatWritesHeaderOnly)
{
    ExportFixture fx;
    FakeGrid grid = FakeGrid::idNote();
    grid.rows.clear();
    EXPECT_EQ(fx.run(grid, TzkGridExportType::zkgetTxt, QStringLiteral("\t")),
              crlfLines({"\"id\"\t\"note\""}));
    EXPECT_EQ(fx.run(grid, TzkGridExportType::zkgetSYLK), sylkHeader("1") + "E");
    const std::string html = fx.run(grid, TzkGridExportType::zkgetHTML);
    EXPECT_EQ(html, htmlHeader(fx.path().toStdString()) + kHtmlClose);
}

TEST(EmptyDataset, InactiveGridLeavesAnEmptyFileInEachFormat)
{
    ExportFixture fx;
    for (auto type : {TzkGridExportType::zkgetTxt, TzkGridExportType::zkgetSYLK,
                      TzkGridExportType::zkgetHTML}) {
        FakeGrid grid = FakeGrid::idNote();
        grid.active = false;
        EXPECT_EQ(fx.run(grid, type), "") << static_cast<int>(type);
    }
}
