// SQL text built from data against a session the console changed: character set, sql_mode,
// select limit and current database set by the user's own statements never reach the grid's
// statements, and the console keeps what its user chose.
#include "DbTestSupport.h"

using namespace norvane::db;
using namespace norvane::db::test;

namespace {

/// Runs a statement the way the console does: through a statement source, result or not.
QString console(Connection& c, const QString& sql)
{
    SqlSource q(&c);
    q.setSql(sql);
    try {
        q.open();
    } catch (const DbError& e) {
        if (QString::fromUtf8(e.what()).contains(QLatin1String("Cursor not returned")))
            return {};
        throw;
    }
    return q.eof() || q.field(0).isNull() ? QString() : q.field(0).asString();
}

/// A database of the test's own beside the test database, dropped at the end.
struct OtherDatabase
{
    explicit OtherDatabase(Connection& c) : c(c), name(uniqueName("sqltext_other"))
    {
        exec(c, QStringLiteral("CREATE DATABASE %1 CHARACTER SET utf8mb4").arg(name));
    }
    ~OtherDatabase()
    {
        try {
            c.execute(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
        } catch (...) {
        }
    }
    Connection& c;
    QString name;
};

} // namespace

TEST(SqlText, GridTextIsExactWhateverTheConsoleDidToTheSession)
{
    auto c = openConnection();
    auto admin = openConnection();
    const QString t = uniqueName("settings");
    // No key: the table is read whole, so a select limit would cut it.
    exec(*admin, QStringLiteral("CREATE TABLE %1 (id INT, s VARCHAR(40), c CHAR(8)) "
                                "CHARACTER SET utf8mb4")
                     .arg(t));
    exec(*admin,
         QStringLiteral("INSERT INTO %1 VALUES (1, 'a\\\\b''c', 'x'), (2, 'two', 'y')").arg(t));

    console(*c, QStringLiteral("SET NAMES latin1"));
    console(*c, QStringLiteral("SET sql_mode = CONCAT(@@sql_mode, "
                               "',NO_BACKSLASH_ESCAPES,ANSI_QUOTES,PAD_CHAR_TO_FULL_LENGTH')"));
    console(*c, QStringLiteral("SET sql_select_limit = 1"));

    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    QStringList reconciles;
    chain.recordRefusals(reconciles);
    ASSERT_EQ(d.recordCount(), 2) << "the console's select limit cut the table";
    EXPECT_EQ(d.fieldByName(QStringLiteral("s")).asString(), QStringLiteral("a\\b'c"));
    EXPECT_EQ(d.fieldByName(QStringLiteral("c")).asString(), QStringLiteral("x"));

    const QString typed = QStringLiteral("naïve € 'q' \\ \"d\"");
    d.edit();
    d.fieldByName(QStringLiteral("s")).setAsString(typed);
    d.post();
    d.insert();
    d.fieldByName(QStringLiteral("id")).setAsInteger(3);
    d.fieldByName(QStringLiteral("s")).setAsString(QStringLiteral("Grüße 😀"));
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_TRUE(reconciles.isEmpty()) << reconciles.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(d.fieldByName(QStringLiteral("s")).asString(), QStringLiteral("Grüße 😀"))
        << "the read-back shows what the server holds";

    EXPECT_EQ(scalar(*admin, QStringLiteral("SELECT s FROM %1 WHERE id = 1").arg(t)), typed);
    EXPECT_EQ(scalar(*admin, QStringLiteral("SELECT s FROM %1 WHERE id = 3").arg(t)),
              QStringLiteral("Grüße 😀"));

    // The console keeps the settings its user chose.
    EXPECT_EQ(console(*c, QStringLiteral("SELECT CONCAT_WS(',', @@character_set_client, "
                                         "@@character_set_results, @@sql_select_limit, "
                                         "FIND_IN_SET('NO_BACKSLASH_ESCAPES', @@sql_mode) > 0)")),
              QStringLiteral("latin1,latin1,1,1"));
    exec(*admin, QStringLiteral("DROP TABLE %1").arg(t));
}

TEST(SqlText, TableOpensInTheDatabaseItWasListedInAfterUse)
{
    auto c = openConnection();
    OtherDatabase other(*c);
    const QString home = env("NORVANE_TEST_DATABASE");
    const QString t = uniqueName("same");
    exec(*c, QStringLiteral("CREATE TABLE %1.%2 (id INT PRIMARY KEY, v VARCHAR(10))").arg(home, t));
    exec(*c, QStringLiteral("INSERT INTO %1.%2 VALUES (1, 'home')").arg(home, t));
    exec(*c, QStringLiteral("CREATE TABLE %1.%2 (id INT PRIMARY KEY, v VARCHAR(10))")
                 .arg(other.name, t));
    exec(*c, QStringLiteral("INSERT INTO %1.%2 VALUES (1, 'away')").arg(other.name, t));

    console(*c, QStringLiteral("USE %1").arg(other.name));
    TableChain chain(*c, t);
    chain.source.setTableName(t, home);
    chain.open();
    ClientDataSet& d = chain.data;
    ASSERT_EQ(d.recordCount(), 1);
    EXPECT_EQ(d.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("home"));
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("edited"));
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT v FROM %1.%2").arg(home, t)),
              QStringLiteral("edited"));
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT v FROM %1.%2").arg(other.name, t)),
              QStringLiteral("away"));
    EXPECT_EQ(c->currentDatabase(), other.name) << "the console's USE stays";
    exec(*c, QStringLiteral("DROP TABLE %1.%2").arg(home, t));
}

TEST(SqlText, ExactNumbersInExponentFormAreStoredExactly)
{
    auto c = openConnection();
    const QString t = uniqueName("expo");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id DECIMAL(30,1) PRIMARY KEY, "
                            "d DECIMAL(40,10) NULL)")
                 .arg(t));
    struct Case
    {
        const char* typed;
        const char* stored;
    };
    // Each typed value goes into the key and into d; the key also finds the row to read back.
    const Case cases[] = {
        {"1234567890123456789.5e1", "12345678901234567895.0"},
        {"1234567890123456789.4E+1", "12345678901234567894.0"},
        {"-98765432109876543.21e2", "-9876543210987654321.0"},
        {"12345678901234567890e-1", "1234567890123456789.0"},
        {"5e-1", "0.5"},
    };
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    QStringList reconciles;
    chain.recordRefusals(reconciles);
    for (const Case& k : cases) {
        d.append();
        d.fieldByName(QStringLiteral("id")).setAsString(QString::fromLatin1(k.typed));
        d.fieldByName(QStringLiteral("d")).setAsString(QString::fromLatin1(k.typed));
        d.post();
        EXPECT_EQ(d.applyUpdates(0), 0) << k.typed;
        EXPECT_EQ(d.fieldByName(QStringLiteral("id")).asString(), QString::fromLatin1(k.stored))
            << k.typed << ": the read-back found another row";
    }
    EXPECT_TRUE(reconciles.isEmpty()) << reconciles.join(QLatin1Char('|')).toStdString();
    for (const Case& k : cases) {
        const QString stored = QString::fromLatin1(k.stored);
        EXPECT_EQ(scalar(*c, QStringLiteral("SELECT CAST(d AS DECIMAL(30,1)) FROM %1 WHERE id = %2")
                                 .arg(t, stored)),
                  stored)
            << k.typed;
    }
    exec(*c, QStringLiteral("DROP TABLE %1").arg(t));
}

TEST(SqlText, EscapingNeedsALiveSession)
{
    auto c = openConnection();
    c->close();
    EXPECT_THROW(c->quoteString("it's"), DbError)
        << "without a session an escape knows neither character set nor sql_mode";
    c->open();
    console(*c, QStringLiteral("SET sql_mode = 'NO_BACKSLASH_ESCAPES'"));
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT ") + QString::fromUtf8(c->quoteString("a\\'b"))),
              QStringLiteral("a\\'b"));
}
