// Splitting console scripts into statements: delimiters inside strings, identifiers and
// comments stay in their statement, DELIMITER lines change the delimiter, and each statement
// knows where it stands so the console can select it and jump to the line an error names.
#include "dbaccess/SqlScript.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <ostream>

using namespace norvane::db;

// Readable failure output for the texts compared below.
void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

struct SplitCase
{
    const char* name;
    const char* script;
    QStringList texts;
    std::vector<int> lines;
    bool backslashEscapes = true;
};

QStringList textsOf(const ScriptSplit& split)
{
    QStringList texts;
    for (const ScriptStatement& s : split.statements)
        texts << s.text;
    return texts;
}

} // namespace

TEST(SqlScript, SplitsAtDelimitersOutsideQuotesAndComments)
{
    const SplitCase cases[] = {
        {"single without delimiter", "SELECT 1", {"SELECT 1"}, {0}},
        {"trailing delimiter and comment", "SELECT 1; -- done\n", {"SELECT 1"}, {0}},
        {"blank statements dropped", ";;SELECT 1;;\n;", {"SELECT 1"}, {0}},
        {"comments alone", "-- a\n# b\n/* c; */", {}, {}},
        {"lines of each statement",
         "CREATE TABLE t (a INT);\n\nINSERT INTO t\nVALUES (1);\n  SELECT * FROM t",
         {"CREATE TABLE t (a INT)", "INSERT INTO t\nVALUES (1)", "SELECT * FROM t"},
         {0, 2, 4}},
        {"delimiters in strings",
         "INSERT INTO t VALUES ('a;b', \"c;d\", 'it''s;', 'x\\';y');SELECT 2",
         {"INSERT INTO t VALUES ('a;b', \"c;d\", 'it''s;', 'x\\';y')", "SELECT 2"},
         {0, 0}},
        {"no backslash escapes",
         "SELECT 'a\\';SELECT 'b'",
         {"SELECT 'a\\'", "SELECT 'b'"},
         {0, 0},
         false},
        {"backtick identifiers",
         "SELECT `a;b``;c` FROM t;SELECT 3",
         {"SELECT `a;b``;c` FROM t", "SELECT 3"},
         {0, 0}},
        {"comments inside statements",
         "SELECT 1 -- x; y\n, 2 # z;\n, 3 /* w; */ FROM dual;\n/* lead; */ SELECT 4",
         {"SELECT 1 -- x; y\n, 2 # z;\n, 3 /* w; */ FROM dual", "SELECT 4"},
         {0, 3}},
        {"double dash without blank is minus",
         "SELECT 5--1;SELECT 6",
         {"SELECT 5--1", "SELECT 6"},
         {0, 0}},
        {"executable comment is a statement",
         "/*!40101 SET NAMES utf8mb4 */;\nSELECT 7",
         {"/*!40101 SET NAMES utf8mb4 */", "SELECT 7"},
         {0, 1}},
        {"delimiter lines",
         "DELIMITER //\nCREATE PROCEDURE p()\nBEGIN\n  SELECT 1;\n  SELECT 2;\nEND//\n"
         "delimiter ;\nCALL p();",
         {"CREATE PROCEDURE p()\nBEGIN\n  SELECT 1;\n  SELECT 2;\nEND", "CALL p()"},
         {1, 7}},
        {"delimiter word inside a statement stays text",
         "SELECT 'DELIMITER //'\n;SELECT 8",
         {"SELECT 'DELIMITER //'", "SELECT 8"},
         {0, 1}},
        {"unterminated string runs to the end", "SELECT 'a;\nb", {"SELECT 'a;\nb"}, {0}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString script = QString::fromUtf8(c.script);
        const ScriptSplit split = splitSqlScript(script, c.backslashEscapes);
        EXPECT_EQ(textsOf(split), c.texts);
        std::vector<int> lines;
        for (const ScriptStatement& s : split.statements) {
            lines.push_back(s.line);
            // The offsets address the statement's own text inside the script.
            EXPECT_EQ(script.mid(s.begin, s.end - s.begin), s.text);
            EXPECT_EQ(script.left(s.begin).count(u'\n'), s.line);
        }
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(split.delimiterChanged, QString::fromUtf8(c.name) == "delimiter lines");
    }
}

TEST(SqlScript, TellsStatementsThatChangeTheTableList)
{
    const std::pair<const char*, bool> cases[] = {
        {"CREATE TABLE t (a INT)", true},
        {"create temporary table if not exists `x y` like t", true},
        {"/* c */ CREATE OR REPLACE ALGORITHM=MERGE DEFINER=`u`@`%` VIEW v AS SELECT 1", true},
        {"DROP TABLE IF EXISTS a, b", true},
        {"drop view v", true},
        {"RENAME TABLE a TO b", true},
        {"ALTER TABLE a RENAME TO b", true},
        {"ALTER TABLE a RENAME COLUMN x TO y", false},
        {"ALTER TABLE a ADD COLUMN c INT", false},
        {"CREATE INDEX i ON t (a)", false},
        {"CREATE PROCEDURE p() BEGIN CREATE TABLE z (a INT); END", false},
        {"DROP DATABASE d", false},
        {"SELECT 'CREATE TABLE'", false},
        {"INSERT INTO t VALUES (1)", false},
    };
    for (const auto& [sql, expected] : cases)
        EXPECT_EQ(changesTableList(QString::fromUtf8(sql)), expected) << sql;
}

TEST(SqlScript, ReadsTheLineAnErrorNames)
{
    EXPECT_EQ(errorLine(QStringLiteral("You have an error in your SQL syntax; check the manual "
                                       "that corresponds to your MariaDB server version for the "
                                       "right syntax to use near 'form t' at line 3")),
              3);
    EXPECT_EQ(errorLine(QStringLiteral("near 'at line 9' at line 12")), 12);
    EXPECT_EQ(errorLine(QStringLiteral("Table 'd.t' doesn't exist")), 0);
    EXPECT_EQ(errorLine(QStringLiteral("Duplicate entry 'at line 5' for key 'PRIMARY'")), 0);
}
