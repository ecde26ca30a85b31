// Row storage and locale-dependent text: packed rows keep every value byte for byte, and
// display and input follow the user's locale.
#include "DbTestSupport.h"

#include <QLocale>

using namespace norvane::db;
using namespace norvane::db::test;

TEST(PackedRow, KeepsNullsEmptyValuesAndLengthsAcrossEncodingBoundaries)
{
    std::vector<RawValue> values{std::nullopt,           QByteArray(),
                                 QByteArray(126, 'a'),   QByteArray(127, 'b'),
                                 QByteArray(16383, 'c'), QByteArray(16384, 'd'),
                                 QByteArray("\0x\0", 3), std::nullopt};
    RowArena arena;
    std::vector<const char*> ptrs;
    std::vector<unsigned long> lengths;
    for (const auto& v : values) {
        ptrs.push_back(v ? v->constData() : nullptr);
        lengths.push_back(v ? static_cast<unsigned long>(v->size()) : 0);
    }
    const PackedRow owned = PackedRow::fromValues(values);
    const PackedRow inArena =
        PackedRow::fromArrays(ptrs.data(), lengths.data(), static_cast<int>(values.size()), &arena);
    for (const PackedRow* row : {&owned, &inArena}) {
        EXPECT_EQ(row->values(static_cast<int>(values.size())), values);
        for (int i = 0; i < static_cast<int>(values.size()); ++i)
            EXPECT_EQ(row->value(i), values[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(row->value(99), std::nullopt);
    }
    // A copy of an arena row is independent of the arena.
    PackedRow copy = inArena;
    PackedRow moved = std::move(copy);
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_EQ(moved.values(static_cast<int>(values.size())), values);
    EXPECT_EQ(owned.byteSize(), 33039U) << "data, 13 length bytes and a 3-byte total";
    EXPECT_EQ(owned.byteSize(), inArena.byteSize());
}

TEST(Locale, NumbersAndDatesDisplayAndParseInTheUsersLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    struct Restore
    {
        QLocale locale;
        ~Restore() { QLocale::setDefault(locale); }
    } restore{saved};

    auto c = openConnection();
    const QString t = uniqueName("loc");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, f DOUBLE, m DECIMAL(8,3), "
                            "d DATE, n INT)")
                 .arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 1.5, 1234.125, '2024-03-01', 1000)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    EXPECT_EQ(d.fieldByName(QStringLiteral("f")).displayText(), QStringLiteral("1,5"));
    EXPECT_EQ(d.fieldByName(QStringLiteral("m")).displayText(), QStringLiteral("1234,125"));
    EXPECT_EQ(d.fieldByName(QStringLiteral("d")).displayText(), QStringLiteral("01.03.2024"))
        << "a two-digit year would come back in the wrong century";
    EXPECT_EQ(d.fieldByName(QStringLiteral("n")).displayText(), QStringLiteral("1000"));

    d.edit();
    d.fieldByName(QStringLiteral("f")).setAsString(QStringLiteral("2,25"));
    d.fieldByName(QStringLiteral("m")).setAsString(QStringLiteral("-0,5"));
    d.fieldByName(QStringLiteral("d")).setAsString(QStringLiteral("02.03.24"));
    d.post();
    ASSERT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT CONCAT_WS('|', f, m, d) FROM %1").arg(t)),
              QStringLiteral("2.25|-0.500|2024-03-02"));
}

TEST(Reopen, ADatasetOpenedAgainOnAnActiveSourceStartsAtTheFirstRow)
{
    auto c = openConnection();
    const QString t = uniqueName("reopen");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 SELECT seq FROM seq_1_to_150").arg(t));
    TableChain chain(*c, t);
    chain.open();
    chain.data.last();
    chain.data.close();
    chain.data.open();
    EXPECT_EQ(chain.data.recordCount(), 100);
    EXPECT_EQ(chain.data.fieldByName(QStringLiteral("id")).asInteger(), 1);
}

TEST(Console, FreeSqlFillsAReadOnlyDatasetInPackets)
{
    auto c = openConnection();
    SqlSource sqrySQL(c.get());
    sqrySQL.setObjectName(QStringLiteral("sqrySQL"));
    Provider dspSQL(&sqrySQL);
    ClientDataSet cdsSQL;
    cdsSQL.setReadOnly(true);
    cdsSQL.setProvider(&dspSQL);
    sqrySQL.clearSql();
    sqrySQL.addSql(QStringLiteral("SELECT seq AS n, REPEAT('x', seq MOD 3) AS s"));
    sqrySQL.addSql(QStringLiteral("FROM seq_1_to_230"));
    cdsSQL.open();
    EXPECT_EQ(cdsSQL.recordCount(), 100);
    EXPECT_EQ(cdsSQL.field(0).displayLabel(), QStringLiteral("n"));
    cdsSQL.last();
    EXPECT_EQ(cdsSQL.recordCount(), 230);
    EXPECT_EQ(cdsSQL.fieldByName(QStringLiteral("S")).asString(), QStringLiteral("xx"));

    // The console runs the next text after closing both.
    cdsSQL.close();
    sqrySQL.close();
    sqrySQL.clearSql();
    sqrySQL.addSql(QStringLiteral("DO 1"));
    try {
        cdsSQL.open();
        FAIL();
    } catch (const DbError& e) {
        EXPECT_STREQ(e.what(), "sqrySQL: Cursor not returned from Query");
    }
    EXPECT_FALSE(cdsSQL.active());
}
