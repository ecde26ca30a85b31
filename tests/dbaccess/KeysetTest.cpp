// Filters and orders of a table source against the real server: every page sequence must be
// exactly what one ORDER BY statement returns, whatever the page boundaries, the NULLs, the
// filter's text or a composite key.

#include "DbTestSupport.h"

#include "dbaccess/KeysetQuery.h"

namespace norvane::db::test {
namespace {

/// A row as "c1/c2/..." over the named columns ("NULL" for null).
QString rowText(const std::vector<QString>& values)
{
    QStringList parts(values.begin(), values.end());
    return parts.join(u'/');
}

/// What a statement returns, one row text per row.
QStringList statementRows(Connection& c, const QString& sql)
{
    SqlSource q(&c);
    q.setSql(sql);
    q.open();
    QStringList rows;
    for (; !q.eof(); q.next()) {
        std::vector<QString> values;
        for (int i = 0; i < q.fieldCount(); ++i)
            values.push_back(q.field(i).isNull() ? QStringLiteral("NULL") : q.field(i).asString());
        rows << rowText(values);
    }
    return rows;
}

/// The named columns of every row a table source gives, read three ways: with the cursor (pages
/// of 100 rows), through the dataset's packets (pages growing from 100), and by the dataset's
/// Last (the first page, then the rest in one statement read in the background). Pages that
/// repeat stop at twice the table's rows instead of looping.
struct PagedRead
{
    QStringList cursor;
    QStringList packets;
    QStringList last;
    bool keyset = false;
};

PagedRead readTable(Connection& c, const QString& table, const QString& filter, const QString& sort,
                    bool descending, const QStringList& columns)
{
    PagedRead out;
    const auto texts = [&columns](auto field) {
        std::vector<QString> values;
        for (const QString& name : columns)
            values.push_back(field(name));
        return rowText(values);
    };
    SqlSource cursor(&c);
    cursor.setTableName(table);
    cursor.setFilter(filter);
    cursor.setSortColumn(sort, descending);
    cursor.open();
    out.keyset = cursor.isKeysetPaged();
    constexpr int kCap = 2000;
    for (; !cursor.eof() && out.cursor.size() < kCap; cursor.next())
        out.cursor << texts([&cursor](const QString& name) {
            Field& f = cursor.fieldByName(name);
            return f.isNull() ? QStringLiteral("NULL") : f.asString();
        });
    TableChain chain(c, table);
    chain.source.setFilter(filter);
    chain.source.setSortColumn(sort, descending);
    chain.open();
    while (chain.data.recordCount() < kCap && chain.data.fetchMore() > 0) {
    }
    for (chain.data.first(); !chain.data.eof(); chain.data.next())
        out.packets << texts([&chain](const QString& name) {
            Field& f = chain.data.fieldByName(name);
            return f.isNull() ? QStringLiteral("NULL") : f.asString();
        });
    TableChain walk(c, table);
    walk.source.setFilter(filter);
    walk.source.setSortColumn(sort, descending);
    walk.open();
    walk.data.last();
    EXPECT_FALSE(c.isFetching());
    EXPECT_TRUE(walk.data.allFetched());
    for (walk.data.first(); !walk.data.eof(); walk.data.next())
        out.last << texts([&walk](const QString& name) {
            Field& f = walk.data.fieldByName(name);
            return f.isNull() ? QStringLiteral("NULL") : f.asString();
        });
    return out;
}

class Keyset : public ::testing::Test
{
protected:
    void SetUp() override
    {
        c = openConnection();
        single = uniqueName("ks_single");
        composite = uniqueName("ks_pair");
        other = uniqueName("ks_other");
        // 1000 rows: v and d indexed, u indexed descending, w not; 400 NULLs in v and w, 13
        // values in many ties, so NULL runs and ties cross the page boundaries both ways.
        exec(*c, QStringLiteral(
                     "CREATE TABLE %1 (id INT PRIMARY KEY, v INT NULL, w INT NULL, "
                     "u INT NULL, d DOUBLE, note VARCHAR(20), KEY (v), KEY (u DESC), KEY (d))")
                     .arg(single));
        exec(*c, QStringLiteral(
                     "INSERT INTO %1 SELECT seq, IF(seq %% 5 < 2, NULL, seq * 7 %% 13), "
                     "IF(seq %% 5 < 2, NULL, seq * 11 %% 17), IF(seq %% 3 = 0, NULL, seq %% 10), "
                     "seq %% 9 / 4, "
                     "CONCAT('n', seq %% 37) FROM seq_1_to_1000")
                     .arg(single)
                     .replace(QStringLiteral("%%"), QStringLiteral("%")));
        // A key of two columns whose first one repeats across page boundaries.
        exec(*c, QStringLiteral("CREATE TABLE %1 (a INT, b VARCHAR(10), x INT NULL, "
                                "PRIMARY KEY (a, b), KEY (x))")
                     .arg(composite));
        exec(*c, QStringLiteral("INSERT INTO %1 SELECT seq DIV 7, CONCAT('k', seq %% 7), "
                                "IF(seq %% 3 = 0, NULL, seq %% 4) FROM seq_1_to_700")
                     .arg(composite)
                     .replace(QStringLiteral("%%"), QStringLiteral("%")));
        exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY)").arg(other));
        exec(*c, QStringLiteral("INSERT INTO %1 VALUES (3), (250), (999)").arg(other));
    }
    void TearDown() override
    {
        for (const QString& t : {single, composite, other})
            c->execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(t));
    }

    /// Asserts that the source's pages give exactly the rows of `SELECT ... ORDER BY`.
    void expectExact(const QString& table, const QString& filter, const QString& sort,
                     bool descending, const QStringList& key, bool keyset,
                     bool keyDescending = false)
    {
        SCOPED_TRACE(QStringLiteral("%1 WHERE %2 ORDER BY %3 %4")
                         .arg(table, filter, sort, descending ? "DESC" : "ASC")
                         .toStdString());
        QStringList columns = key;
        if (!sort.isEmpty() && !key.contains(sort))
            columns.prepend(sort);
        QStringList order;
        if (!sort.isEmpty())
            order << sort + (descending ? " DESC" : "");
        for (const QString& k : key)
            if (k != sort)
                order << k + (keyDescending ? " DESC" : "");
        const QStringList expected =
            statementRows(*c, QStringLiteral("SELECT %1 FROM %2 %3 ORDER BY %4")
                                  .arg(columns.join(", "), table,
                                       filter.isEmpty() ? QString() : "WHERE (" + filter + ")",
                                       order.join(", ")));
        const PagedRead read = readTable(*c, table, filter, sort, descending, columns);
        EXPECT_EQ(read.keyset, keyset);
        EXPECT_EQ(read.cursor, expected);
        EXPECT_EQ(read.packets, expected);
        EXPECT_EQ(read.last, expected);
    }

    std::unique_ptr<Connection> c;
    QString single, composite, other;
};

TEST_F(Keyset, FiltersReadEveryMatchingRowOnceInKeyOrder)
{
    for (const char* filter : {"", "v = 3", "w = 5", "note LIKE '%1%' OR v IS NULL",
                               "id BETWEEN 150 AND 870 AND (w > 4 OR d < 1)", "v > 100"})
        expectExact(single, QString::fromUtf8(filter), {}, false, {"id"}, true);
    for (const char* filter : {"a % 2 = 1", "b = 'k3' OR x IS NULL", "x = 2 AND a > 20"})
        expectExact(composite, QString::fromUtf8(filter), {}, false, {"a", "b"}, true);
}

TEST_F(Keyset, OrdersReadEveryRowOnceInTheServersOrder)
{
    const QStringList id{"id"};
    const QStringList ab{"a", "b"};
    for (const bool desc : {false, true}) {
        // An index leads with the column: keyset pages over (column, key), NULLs included, the
        // key the way the index reads (mixed directions over a descending index).
        expectExact(single, {}, "v", desc, id, true, desc);
        expectExact(single, "id % 3 <> 0", "v", desc, id, true, desc);
        expectExact(single, {}, "u", desc, id, true, !desc);
        expectExact(single, "u IS NULL OR u > 4", "u", desc, id, true, !desc);
        expectExact(composite, {}, "x", desc, ab, true, desc);
        expectExact(composite, {}, "a", desc, ab, true, desc);
        // No index leads with it, or its values do not compare exactly (d, whose index still
        // sets the key's direction): one ordered statement.
        expectExact(single, {}, "w", desc, id, false);
        expectExact(single, "w IS NOT NULL", "w", desc, id, false);
        expectExact(single, {}, "d", desc, id, false, desc);
        expectExact(composite, {}, "b", desc, ab, false);
    }
}

TEST_F(Keyset, HostileFiltersAreRefusedOrReadExactly)
{
    struct Case
    {
        const char* text;
        bool refused;
    };
    const Case cases[] = {
        {"id < 5) OR (1", true},
        {"id < 5) OR 1=1 OR (id", true},
        {"id = 1) UNION SELECT * FROM %o WHERE (1", true},
        {"id < 5; DELETE FROM %o", true},
        {"id < 5 -- ", true},
        {"id < 5 --\tx", true},
        {"id < 5 # x", true},
        {"id < 5 /* x */", true},
        {"id < 5 /*!) OR (1*/", true},
        {"note = 'n1", true},
        {"note = \"n1", true},
        {"`note = 'n1'", true},
        {"note = 'a\\' OR id > 0 OR note = '", true},
        {"(id < 5", true},
        {"id < 5 \x01", true},
        {"note = ')' OR id < 5", false},
        {"note = '(' OR note = ';' OR note = '-- ' OR note = '#' OR id > 990", false},
        {"note = 'it''s' OR id - -1 < 4 OR id --1 > 998", false},
        {"note = '\\\\' OR (id BETWEEN 10 AND 20)", false},
        {"`note` = 'n3' AND ((id < 100) OR (id > 900))", false},
        {"id IN (SELECT id FROM %o)", false},
        {"1 = 1 OR 1 = 1", false},
    };
    for (const Case& cs : cases) {
        const QString text = QString::fromUtf8(cs.text).replace(QStringLiteral("%o"), other);
        SCOPED_TRACE(text.toStdString());
        SqlSource source(c.get());
        source.setTableName(single);
        bool refusedByCheck = false;
        try {
            source.checkFilter(text);
        } catch (const DbError& e) {
            refusedByCheck = true;
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("The filter"))) << e.what();
        }
        EXPECT_EQ(refusedByCheck, cs.refused);
        if (cs.refused) {
            // Opening with it fails the same way, before any row is read.
            source.setFilter(text);
            EXPECT_THROW(source.open(), DbError);
            EXPECT_FALSE(source.isActive());
        } else {
            expectExact(single, text, {}, false, {"id"}, true);
            expectExact(single, text, "v", true, {"id"}, true, true);
        }
    }
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT COUNT(*) FROM %1").arg(other)), "3");
}

TEST_F(Keyset, ServerRefusesABadConditionWithItsMessageBeforeReadingRows)
{
    SqlSource source(c.get());
    source.setTableName(single);
    source.open();
    ASSERT_FALSE(source.eof());
    try {
        source.checkFilter(QStringLiteral("nosuch = 1"));
        ADD_FAILURE() << "an unknown column was accepted";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("nosuch"))) << e.what();
    }
    // The open source reads on where it was.
    EXPECT_TRUE(source.isActive());
    EXPECT_EQ(source.field(0).asString(), "1");
    source.next();
    EXPECT_EQ(source.field(0).asString(), "2");
}

TEST_F(Keyset, TableReportsTheServersRowEstimate)
{
    exec(*c, QStringLiteral("ANALYZE TABLE %1").arg(single));
    SqlSource source(c.get());
    source.setTableName(single);
    source.open();
    ASSERT_TRUE(source.rowEstimate().has_value());
    EXPECT_GT(*source.rowEstimate(), 500U);
    EXPECT_LT(*source.rowEstimate(), 2000U);
    SqlSource statement(c.get());
    statement.setSql(QStringLiteral("SELECT 1"));
    statement.open();
    EXPECT_FALSE(statement.rowEstimate().has_value());
}

TEST(KeysetReadAhead, StoppedOrFailedReadLeavesTheRestToLaterWalks)
{
    auto c = openConnection();
    const QString table = uniqueName("ks_rest");
    // Wide rows: the server sends each few dozen as they are found, not thousands at once.
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, pad VARCHAR(200))").arg(table));
    exec(*c, QStringLiteral("INSERT INTO %1 SELECT seq * 2, REPEAT('p', 200) FROM seq_1_to_3000")
                 .arg(table));
    const QString count = scalar(*c, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "session killed" : "stopped");
        auto killer = openConnection();
        const QString sessionId = scalar(*c, QStringLiteral("SELECT CONNECTION_ID()"));
        TableChain chain(*c, table);
        // Rows past the 2000th meet the filter slowly, so the read is ended part way.
        chain.source.setFilter(QStringLiteral("id <= 4000 OR SLEEP(0.001) = 0"));
        chain.open();
        bool ended = false;
        QObject::connect(&chain.data, &ClientDataSet::rowsInserted, &chain.data, [&] {
            if (ended || chain.data.recordCount() <= 2020)
                return;
            ended = true;
            if (killed)
                killer->execute(QStringLiteral("KILL CONNECTION %1").arg(sessionId));
            else
                c->stop();
        });
        chain.data.last();
        ASSERT_TRUE(ended);
        EXPECT_FALSE(chain.data.allFetched());
        EXPECT_LT(chain.data.recordCount(), 3000);
        EXPECT_TRUE(chain.source.incomplete());
        EXPECT_EQ(chain.source.readError().has_value(), killed);

        // The next walk reads the rest: Next row by row, or (as an export does) in one
        // background read again.
        std::vector<int> ids;
        if (killed) {
            chain.data.readAhead();
            EXPECT_TRUE(c->isFetching());
            chain.data.last();
            for (int r = 0; r < chain.data.recordCount(); ++r)
                ids.push_back(chain.data.rawValue(r, 0)->toInt());
        } else {
            for (chain.data.first(); !chain.data.eof(); chain.data.next())
                ids.push_back(
                    static_cast<int>(chain.data.fieldByName(QStringLiteral("id")).asInteger()));
        }
        EXPECT_TRUE(chain.data.allFetched());
        EXPECT_EQ(QString::number(chain.data.recordCount()), count);
        ASSERT_EQ(ids.size(), 3000U);
        for (int r = 0; r < 3000; ++r)
            ASSERT_EQ(ids[static_cast<std::size_t>(r)], (r + 1) * 2) << "row " << r;
    }
    c->execute(QStringLiteral("DROP TABLE %1").arg(table));
}

} // namespace
} // namespace norvane::db::test
