// A server that dies under an open dataset: clear errors, no crash or hang, changes kept
// pending, and the next operation reconnects with the last settings, character set and
// database. Runs in its own program because it kills the shared test server.
#include "DbTestSupport.h"

#include <cstdlib>
#include <string>

using namespace norvane::db;
using namespace norvane::db::test;

namespace {

int serverCtl(const char* command)
{
    const std::string cmd = "bash '" + env("NORVANE_TEST_SERVER_CTL").toStdString() + "' " +
                            command + " '" + env("NORVANE_TEST_SERVER_DIR").toStdString() +
                            "' >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

/// Brings the server back when the test ends, also when it fails half way.
struct RestartGuard
{
    ~RestartGuard() { serverCtl("restart"); }
};

} // namespace

TEST(ServerRestart, OpenDatasetSurvivesAKilledServerAndReconnects)
{
    ASSERT_FALSE(env("NORVANE_TEST_SERVER_CTL").isEmpty());
    auto c = openConnection();
    const QString t = uniqueName("restart");
    exec(
        *c,
        QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(20)) ENGINE=InnoDB").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 SELECT seq, 'r' FROM seq_1_to_250").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    QStringList reconciles;
    chain.recordRefusals(reconciles);
    ASSERT_EQ(d.recordCount(), 100);
    // The console switched databases before the server went away.
    exec(*c, QStringLiteral("USE %1").arg(env("NORVANE_TEST_EMPTY_DATABASE")));

    RestartGuard guard;
    ASSERT_EQ(serverCtl("kill"), 0);

    // Moving past the rows held fails with a clear error and leaves the rows as they are.
    try {
        d.moveBy(150);
        FAIL() << "fetching from a dead server succeeded";
    } catch (const DbError& e) {
        EXPECT_FALSE(QString::fromUtf8(e.what()).isEmpty());
    }
    EXPECT_FALSE(c->isConnected());
    EXPECT_EQ(d.recordCount(), 100);
    EXPECT_FALSE(d.allFetched());

    // An edit made meanwhile cannot be written and stays pending with the user's value.
    d.first();
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("kept"));
    d.post();
    EXPECT_THROW(d.applyUpdates(0), DbError);
    EXPECT_EQ(d.changeCount(), 1);
    EXPECT_EQ(d.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("kept"));

    ASSERT_EQ(serverCtl("restart"), 0);

    // It is not sent behind the user's back; posted again, it reconnects and is written.
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(d.changeCount(), 1);
    d.repostRefused();
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_TRUE(reconciles.isEmpty()) << reconciles.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(d.changeCount(), 0);
    EXPECT_TRUE(c->isConnected());
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT CONCAT(@@character_set_client, ',', "
                                        "@@character_set_results, ',', DATABASE())")),
              QStringLiteral("utf8mb4,utf8mb4,") + env("NORVANE_TEST_EMPTY_DATABASE"));
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT v FROM %1.%2 WHERE id = 1")
                             .arg(env("NORVANE_TEST_DATABASE"), t)),
              QStringLiteral("kept"));

    // And the table goes on fetching where it stopped.
    d.last();
    EXPECT_EQ(d.recordCount(), 250);
    EXPECT_EQ(d.fieldByName(QStringLiteral("id")).asInteger(), 250);
    exec(*c, QStringLiteral("DROP TABLE %1.%2").arg(env("NORVANE_TEST_DATABASE"), t));
}

TEST(ServerRestart, StatementsAfterAKillFailClearlyAndTheSessionComesBack)
{
    auto c = openConnection();
    {
        RestartGuard guard;
        ASSERT_EQ(serverCtl("kill"), 0);
        try {
            c->execute(QStringLiteral("SELECT 1"));
            FAIL();
        } catch (const DbError& e) {
            EXPECT_TRUE(e.connectionLost()) << e.what();
        }
        EXPECT_FALSE(c->isConnected());
        // While the server is down, opening fails with the client library's message.
        SqlSource q(c.get());
        q.setSql(QStringLiteral("SELECT 1"));
        EXPECT_THROW(q.open(), DbError);
        EXPECT_FALSE(q.isActive());
    }
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT 40 + 2")), QStringLiteral("42"));
}
