// Every column type: its field type, display text, and an edit round trip through the
// write-back (insert from text, update of another column, delete found by all values).
#include "DbTestSupport.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

using namespace norvane::db;
using namespace norvane::db::test;

namespace {

struct TypeCase
{
    const char* sqlType;
    const char* input; // what the user types
    FieldType fieldType;
    const char* display; // display text in the C locale of the tests
    const char* stored;  // CAST(c AS CHAR) on the server, or HEX(c) for byte columns
    bool hex = false;
};

const TypeCase kCases[] = {
    {"TINYINT", "-128", FieldType::ftSmallint, "-128", "-128"},
    {"TINYINT UNSIGNED", "255", FieldType::ftSmallint, "255", "255"},
    {"SMALLINT", "-32768", FieldType::ftSmallint, "-32768", "-32768"},
    {"SMALLINT UNSIGNED", "65535", FieldType::ftWord, "65535", "65535"},
    {"MEDIUMINT", "-8388608", FieldType::ftInteger, "-8388608", "-8388608"},
    {"INT", "-2147483648", FieldType::ftInteger, "-2147483648", "-2147483648"},
    {"INT UNSIGNED", "4294967295", FieldType::ftLargeint, "4294967295", "4294967295"},
    {"BIGINT", "-9223372036854775808", FieldType::ftLargeint, "-9223372036854775808",
     "-9223372036854775808"},
    {"BIGINT UNSIGNED", "18446744073709551615", FieldType::ftLargeint, "18446744073709551615",
     "18446744073709551615"},
    {"DECIMAL(30,10)", "12345678901234567890.0123456789", FieldType::ftFMTBcd,
     "12345678901234567890.0123456789", "12345678901234567890.0123456789"},
    {"DECIMAL(5,2)", "-0.05", FieldType::ftFMTBcd, "-0.05", "-0.05"},
    {"FLOAT", "1.1", FieldType::ftFloat, "1.1", "1.1"},
    {"FLOAT", "1.2345678", FieldType::ftFloat, "1.23457", "1.23457"},
    {"DOUBLE", "0.1", FieldType::ftFloat, "0.1", "0.1"},
    {"DOUBLE", "3.0000000000000004", FieldType::ftFloat, "3.0000000000000004",
     "3.0000000000000004"},
    {"BIT(1)", "True", FieldType::ftBoolean, "True", "1", true},
    {"BIT(12)", "4095", FieldType::ftLargeint, "4095", "FFF", true},
    {"DATE", "2024-02-29", FieldType::ftDate, "29 Feb 2024", "2024-02-29"},
    {"DATE", "0000-00-00", FieldType::ftDate, "0000-00-00", "0000-00-00"},
    {"TIME", "-838:59:59", FieldType::ftTime, "-838:59:59", "-838:59:59"},
    {"TIME(1)", "123:04:05.5", FieldType::ftTime, "123:04:05.5", "123:04:05.5"},
    {"TIME", "12:30:00", FieldType::ftTime, "12:30:00", "12:30:00"},
    {"DATETIME(6)", "2024-01-02 03:04:05.123456", FieldType::ftDateTime,
     "2 Jan 2024 03:04:05.123456", "2024-01-02 03:04:05.123456"},
    {"DATETIME(1)", "2024-02-00 10:00:00.5", FieldType::ftDateTime, "2024-02-00 10:00:00.5",
     "2024-02-00 10:00:00.5"},
    {"DATE", "2024-02-00", FieldType::ftDate, "2024-02-00", "2024-02-00"},
    {"DATETIME", "2024-01-02 03:04:05", FieldType::ftDateTime, "2 Jan 2024 03:04:05",
     "2024-01-02 03:04:05"},
    {"DATETIME", "0000-00-00 00:00:00", FieldType::ftDateTime, "0000-00-00 00:00:00",
     "0000-00-00 00:00:00"},
    {"TIMESTAMP(3) NULL", "2024-06-30 23:59:58.120", FieldType::ftTimeStamp,
     "30 Jun 2024 23:59:58.120", "2024-06-30 23:59:58.120"},
    {"YEAR", "2024", FieldType::ftSmallint, "2024", "2024"},
    {"CHAR(5)", "ab", FieldType::ftString, "ab", "ab"},
    {"VARCHAR(50)", "Grüße 😀 'quote' \\ back", FieldType::ftString, "Grüße 😀 'quote' \\ back",
     "Grüße 😀 'quote' \\ back"},
    {"VARCHAR(10) CHARACTER SET latin1", "Grüße", FieldType::ftString, "Grüße", "Grüße"},
    {"TEXT", "long 😀 text\r\nline two", FieldType::ftMemo, "long 😀 text\r\nline two",
     "long 😀 text\r\nline two"},
    {"BINARY(4)", "ab\\'", FieldType::ftBytes, "(BYTES) 4 bytes", "61625C27", true},
    {"VARBINARY(10)", "x'y", FieldType::ftVarBytes, "(VARBYTES) 3 bytes", "782779", true},
    {"BLOB", "bytes\"", FieldType::ftBlob, "(BLOB) 6 bytes", "627974657322", true},
    {"ENUM('a','b c')", "b c", FieldType::ftString, "b c", "b c"},
    {"SET('x','y','z')", "x,z", FieldType::ftString, "x,z", "x,z"},
    {"JSON", "{\"k\": [1, 2]}", FieldType::ftMemo, "{\"k\": [1, 2]}", "{\"k\": [1, 2]}"},
};

QString storedValue(Connection& c, const QString& table, int id, bool hex)
{
    return scalar(
        c, QStringLiteral("SELECT %1 FROM %2 WHERE id = %3")
               .arg(hex ? QStringLiteral("HEX(c)") : QStringLiteral("CAST(c AS CHAR)"), table)
               .arg(id));
}

} // namespace

class ColumnType : public ::testing::TestWithParam<TypeCase>
{
};

TEST_P(ColumnType, MapsDisplaysAndSurvivesAnEditRoundTrip)
{
    const TypeCase& tc = GetParam();
    auto c = openConnection();
    auto other = openConnection();
    const QString t = uniqueName("type");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT AUTO_INCREMENT PRIMARY KEY, c %2, "
                            "other INT) ENGINE=InnoDB")
                 .arg(t, QLatin1String(tc.sqlType)));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    d.onReconcileError = [](ClientDataSet&, const ReconcileInfo& info) {
        ADD_FAILURE() << "refused: " << info.message.toStdString();
    };
    Field& f = d.fieldByName(QStringLiteral("c"));
    EXPECT_EQ(f.dataType(), tc.fieldType);

    // Insert from the text a user types.
    d.insert();
    f.setAsString(QString::fromUtf8(tc.input));
    d.post();
    ASSERT_EQ(d.applyUpdates(0), 0);
    const int id = static_cast<int>(d.fieldByName(QStringLiteral("id")).asInteger());
    ASSERT_GT(id, 0) << "the generated id is read back";
    EXPECT_EQ(storedValue(*other, t, id, tc.hex), QString::fromUtf8(tc.stored));
    EXPECT_EQ(f.displayText(), QString::fromUtf8(tc.display));
    if (!tc.hex) {
        EXPECT_EQ(f.asString(), QString::fromUtf8(tc.stored));
    }

    // Reopen: the fetched value displays the same and editing another column keeps it.
    d.close();
    chain.source.close();
    chain.open();
    EXPECT_EQ(d.fieldByName(QStringLiteral("c")).displayText(), QString::fromUtf8(tc.display));
    d.edit();
    d.fieldByName(QStringLiteral("other")).setAsInteger(7);
    d.post();
    ASSERT_EQ(d.applyUpdates(0), 0) << "the row must be found by all its fetched values";
    EXPECT_EQ(storedValue(*other, t, id, tc.hex), QString::fromUtf8(tc.stored));
    EXPECT_EQ(scalar(*other, QStringLiteral("SELECT other FROM %1").arg(t)), QStringLiteral("7"));

    // Writing the displayed text back stores the same value.
    d.edit();
    Field& again = d.fieldByName(QStringLiteral("c"));
    if (!again.isBlob() && tc.fieldType != FieldType::ftBytes &&
        tc.fieldType != FieldType::ftVarBytes)
        again.setAsString(again.displayText());
    d.fieldByName(QStringLiteral("other")).setAsInteger(8);
    d.post();
    ASSERT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(storedValue(*other, t, id, tc.hex), QString::fromUtf8(tc.stored));

    // A delete finds the row by every value too.
    d.deleteRecord();
    ASSERT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(scalar(*other, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t)),
              QStringLiteral("0"));
    exec(*c, QStringLiteral("DROP TABLE %1").arg(t));
}

INSTANTIATE_TEST_SUITE_P(AllTypes, ColumnType, ::testing::ValuesIn(kCases));

TEST(ColumnTypes, NullsDisplayAndWriteBackPerType)
{
    auto c = openConnection();
    const QString t = uniqueName("nulls");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, i INT, s VARCHAR(5), "
                            "m TEXT, b BLOB, d DATE, f FLOAT)")
                 .arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, NULL, NULL, NULL, NULL, NULL, NULL), "
                            "(2, 0, '', '', '', '2000-01-01', 0)")
                 .arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    // Large values are data: a NULL reads like every other NULL.
    const QStringList nullTexts{QString(), QString(), QString(), QString(), QString(), QString()};
    const QStringList emptyTexts{QStringLiteral("0"),
                                 QString(),
                                 QString(),
                                 QStringLiteral("(BLOB) 0 bytes"),
                                 QStringLiteral("1 Jan 2000"),
                                 QStringLiteral("0")};
    for (int col = 1; col <= 6; ++col) {
        EXPECT_TRUE(d.field(col).isNull()) << col;
        EXPECT_EQ(d.field(col).displayText(), nullTexts[col - 1]) << col;
        EXPECT_EQ(d.displayText(1, col), emptyTexts[col - 1]) << col;
        EXPECT_FALSE(d.isNull(1, col)) << col;
    }
    EXPECT_EQ(d.field(1).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(d.field(2).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(d.field(2).displayLabel(), QStringLiteral("s"));
    EXPECT_EQ(d.field(2).size(), 5);

    // An empty text on a number or date field means null; on a string it stays empty.
    d.next();
    d.edit();
    d.field(1).setAsString(QString());
    d.field(5).setAsString(QString());
    d.post();
    ASSERT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT CONCAT_WS(',', ISNULL(i), ISNULL(s), ISNULL(d)) "
                                        "FROM %1 WHERE id = 2")
                             .arg(t)),
              QStringLiteral("1,0,1"));
    EXPECT_THROW(d.field(1).setAsString(QStringLiteral("abc")), DbError) << "not in edit mode";
    d.edit();
    EXPECT_THROW(d.field(1).setAsString(QStringLiteral("12abc")), FieldConversionError);
    EXPECT_THROW(d.field(5).setAsString(QStringLiteral("31/31/2020")), FieldConversionError);
    d.cancel();
}

TEST(ColumnTypes, TypedValuesOfFields)
{
    auto c = openConnection();
    SqlSource q(c.get());
    q.setSql(QStringLiteral("SELECT CAST(42 AS SIGNED) AS i, 2.5e0 AS f, "
                            "CAST('2024-01-02 03:04:05' AS DATETIME) AS dt, "
                            "CAST('-01:30:00' AS TIME) AS tm, b'1' AS bt, "
                            "CAST(18446744073709551615 AS UNSIGNED) AS big"));
    q.open();
    EXPECT_EQ(q.fieldByName(QStringLiteral("i")).asInteger(), 42);
    EXPECT_DOUBLE_EQ(q.fieldByName(QStringLiteral("f")).asFloat(), 2.5);
    EXPECT_EQ(q.fieldByName(QStringLiteral("dt")).asDateTime(),
              QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)));
    EXPECT_EQ(q.fieldByName(QStringLiteral("tm")).asDateTime(),
              QDateTime(QDate(1899, 12, 29), QTime(22, 30)));
    EXPECT_EQ(q.fieldByName(QStringLiteral("big")).asUnsigned(), 18446744073709551615ULL);
    EXPECT_THROW(q.fieldByName(QStringLiteral("big")).asInteger(), FieldConversionError);
    EXPECT_EQ(q.fieldByName(QStringLiteral("big")).asString(),
              QStringLiteral("18446744073709551615"));
}

TEST(ColumnTypes, SixteenMegabyteBlobIsReadWholeAndNeverRewrittenByOtherEdits)
{
    auto c = openConnection();
    const QString t = uniqueName("blob");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, b LONGBLOB, n INT)").arg(t));
    QByteArray big(16 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(7);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(gen.bounded(256));

    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    d.insert();
    d.fieldByName(QStringLiteral("id")).setAsInteger(1);
    d.fieldByName(QStringLiteral("b")).setAsBytes(big);
    d.post();
    ASSERT_EQ(d.applyUpdates(0), 0);
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(big, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT SHA2(b, 256) FROM %1").arg(t)), sha);

    d.close();
    chain.source.close();
    chain.open();
    EXPECT_EQ(d.fieldByName(QStringLiteral("b")).asBytes(), big);
    d.edit();
    d.fieldByName(QStringLiteral("n")).setAsInteger(5);
    d.post();
    Change change;
    change.kind = ChangeKind::Modify;
    change.original = PackedRow::fromValues({QByteArray("1"), big, std::nullopt});
    change.current = PackedRow::fromValues({QByteArray("1"), big, QByteArray("5")});
    const QByteArray stmt = chain.provider.statementFor(change);
    EXPECT_LT(stmt.size(), 1000) << "the blob is neither set again nor copied into the WHERE";
    EXPECT_EQ(stmt.indexOf("SET `b`"), -1);
    ASSERT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT CONCAT(SHA2(b, 256), n) FROM %1").arg(t)),
              sha + QStringLiteral("5"));

    // A concurrent change of one byte of the blob is detected.
    exec(*c, QStringLiteral("UPDATE %1 SET b = CONCAT('x', SUBSTRING(b, 2))").arg(t));
    d.edit();
    d.fieldByName(QStringLiteral("n")).setAsInteger(6);
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 1);
    EXPECT_EQ(d.changeCount(), 1);
    exec(*c, QStringLiteral("DROP TABLE %1").arg(t));
}
