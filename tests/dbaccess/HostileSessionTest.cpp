// A key value that is SQL, on a server whose sql_mode holds NO_BACKSLASH_ESCAPES, with the
// session killed between two keyset pages. Runs in the serial program: it changes the server's
// global sql_mode for its duration.
#include "DbTestSupport.h"

#include <set>

using namespace norvane::db;
using namespace norvane::db::test;

namespace {

/// Puts NO_BACKSLASH_ESCAPES into the global sql_mode and the old value back at the end.
struct GlobalNoBackslashEscapes
{
    explicit GlobalNoBackslashEscapes(Connection& admin) : admin(admin)
    {
        old = scalar(admin, QStringLiteral("SELECT @@GLOBAL.sql_mode"));
        exec(admin, QStringLiteral("SET GLOBAL sql_mode = CONCAT(@@GLOBAL.sql_mode, "
                                   "',NO_BACKSLASH_ESCAPES')"));
    }
    ~GlobalNoBackslashEscapes()
    {
        try {
            admin.ensureOpen();
            admin.execute(QStringLiteral("SET GLOBAL sql_mode = '%1'").arg(old));
        } catch (...) {
        }
    }
    Connection& admin;
    QString old;
};

} // namespace

TEST(HostileSession, KeyValueThatIsSqlNeverRunsWhenTheSessionWasKilledBetweenPages)
{
    auto admin = openConnection();
    GlobalNoBackslashEscapes mode(*admin);
    const QString t = uniqueName("hostile");
    // Backslash-escaped, this key closes its literal and the page condition and appends a row.
    const QString hostile = QStringLiteral("k099') UNION SELECT 0x494E4A4543544544, 2 #");
    exec(*admin, QStringLiteral("CREATE TABLE %1 (k VARCHAR(60) PRIMARY KEY, v INT)").arg(t));
    exec(*admin, QStringLiteral("INSERT INTO %1 SELECT CONCAT('k', LPAD(seq, 3, '0')), seq "
                                "FROM seq_0_to_249 WHERE seq <> 99")
                     .arg(t));
    exec(*admin, QStringLiteral("INSERT INTO %1 VALUES (_utf8mb4 X'%2', 99)")
                     .arg(t, QString::fromLatin1(hostile.toUtf8().toHex())));

    auto c = openConnection();
    const QString session = scalar(*c, QStringLiteral("SELECT CONNECTION_ID()"));
    SqlSource source(c.get());
    source.setTableName(t);
    source.open();
    ASSERT_TRUE(source.isKeysetPaged());
    std::vector<PackedRow> rows = source.takeRows(100);
    ASSERT_EQ(rows.size(), 100U);
    ASSERT_EQ(rows.back().value(0).value_or(QByteArray()), hostile.toUtf8())
        << "the hostile key must end the first page";

    exec(*admin, QStringLiteral("KILL %1").arg(session));
    try {
        source.takeRows(1000);
    } catch (const DbError& e) {
        EXPECT_TRUE(e.connectionLost()) << e.what();
    }
    for (PackedRow& row : source.takeRows(1000))
        rows.push_back(std::move(row));

    std::set<QByteArray> keys;
    for (const PackedRow& row : rows) {
        const QByteArray key = row.value(0).value_or(QByteArray());
        EXPECT_FALSE(key.startsWith("INJECTED")) << "the key value ran as SQL";
        keys.insert(key);
    }
    EXPECT_EQ(rows.size(), 250U);
    EXPECT_EQ(keys.size(), 250U);
    EXPECT_TRUE(source.atEnd());
    exec(*admin, QStringLiteral("DROP TABLE %1").arg(t));
}
