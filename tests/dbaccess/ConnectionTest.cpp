// The session and the statement source: logon, errors, catalogue statements, statements
// without a result set, text encoding and reconnecting after a log off.
#include "DbTestSupport.h"

#include <QSignalSpy>

using namespace norvane::db;
using namespace norvane::db::test;

TEST(Connection, OpensWithTheGivenSettingsAndReportsItsState)
{
    Connection c;
    QSignalSpy spy(&c, &Connection::connectedChanged);
    EXPECT_FALSE(c.isConnected());
    c.setParams(testParams());
    c.open();
    EXPECT_TRUE(c.isConnected());
    EXPECT_EQ(c.currentDatabase(), env("NORVANE_TEST_DATABASE"));
    c.close();
    EXPECT_FALSE(c.isConnected());
    ASSERT_EQ(spy.count(), 2);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(spy.at(1).at(0).toBool());
}

TEST(Connection, RefusedLogonCarriesTheServerMessageAndStaysClosed)
{
    Connection c;
    ConnectionParams p = testParams();
    p.password = QStringLiteral("wrong-password");
    c.setParams(p);
    try {
        c.open();
        FAIL() << "logon with a wrong password succeeded";
    } catch (const DbError& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QLatin1String("Access denied")), -1)
            << e.what();
        EXPECT_EQ(e.code(), 1045U);
    }
    EXPECT_FALSE(c.isConnected());
}

TEST(Connection, EnsureOpenReconnectsWithTheLastSettingsButNeedsSettings)
{
    Connection fresh;
    EXPECT_THROW(fresh.ensureOpen(), DbError);

    auto c = openConnection();
    c->close();
    SqlSource q(c.get());
    q.setSql(QStringLiteral("SELECT DATABASE()"));
    q.open();
    EXPECT_TRUE(c->isConnected());
    EXPECT_EQ(q.field(0).asString(), env("NORVANE_TEST_DATABASE"));
}

TEST(Connection, ExecuteTellsWhetherThereWasAResultAndCountsMatchedRows)
{
    auto c = openConnection();
    const QString t = uniqueName("exec");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v INT)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 5), (2, 5), (3, 6)").arg(t));
    const ExecResult upd = c->execute(QStringLiteral("UPDATE %1 SET v = 5 WHERE v = 5").arg(t));
    EXPECT_FALSE(upd.hasResultSet);
    EXPECT_EQ(upd.affectedRows, 2U) << "found rows, not changed rows, must be counted";
    const ExecResult sel = c->execute(QStringLiteral("SELECT * FROM %1").arg(t));
    EXPECT_TRUE(sel.hasResultSet);
    // The session is free again after a result that was dropped.
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t)), QStringLiteral("3"));
    exec(*c, QStringLiteral("DROP TABLE %1").arg(t));
}

TEST(StatementSource, StatementWithoutResultSetRunsAndThenFailsToOpen)
{
    auto c = openConnection();
    const QString t = uniqueName("nocursor");
    exec(*c, QStringLiteral("CREATE TABLE %1 (v INT)").arg(t));
    SqlSource q(c.get());
    q.setObjectName(QStringLiteral("sqrySQL"));
    q.setSql(QStringList{QStringLiteral("INSERT INTO %1"), QStringLiteral("VALUES (7)")});
    q.setSql(QStringList{QStringLiteral("INSERT INTO %1").arg(t), QStringLiteral("VALUES (7)")});
    try {
        q.open();
        FAIL() << "opening an INSERT succeeded";
    } catch (const DbError& e) {
        EXPECT_STREQ(e.what(), "sqrySQL: Cursor not returned from Query");
    }
    EXPECT_FALSE(q.isActive());
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT v FROM %1").arg(t)), QStringLiteral("7"));
    exec(*c, QStringLiteral("DROP TABLE %1").arg(t));
}

TEST(StatementSource, RefusedStatementCarriesTheServerMessage)
{
    auto c = openConnection();
    SqlSource q(c.get());
    q.setSql(QStringLiteral("SELEC 1"));
    try {
        q.open();
        FAIL();
    } catch (const DbError& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QLatin1String("SQL syntax")), -1) << e.what();
    }
    // The session still works.
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT 1 + 1")), QStringLiteral("2"));
}

TEST(StatementSource, CatalogueStatementsReadForwardWithCaseInsensitiveNames)
{
    auto c = openConnection();
    const QString t = uniqueName("cat");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, name VARCHAR(20))").arg(t));

    SqlSource q(c.get());
    q.setSql(QStringLiteral("SHOW DATABASES"));
    q.open();
    QStringList names;
    for (; !q.eof(); q.next())
        names << q.field(0).asString();
    EXPECT_TRUE(names.contains(env("NORVANE_TEST_DATABASE")));
    EXPECT_TRUE(names.contains(QStringLiteral("mysql")));

    q.close();
    q.setSql(QStringLiteral("SHOW TABLES"));
    q.open();
    QStringList tables;
    for (; !q.eof(); q.next())
        tables << q.field(0).asString();
    EXPECT_TRUE(tables.contains(t));

    q.close();
    q.setSql(QStringLiteral("DESCRIBE %1").arg(Connection::quoteIdentifier(t)));
    q.open();
    QStringList rows;
    for (; !q.eof(); q.next())
        rows << q.fieldByName(QStringLiteral("FIELD")).asString() + QLatin1Char(' ') +
                    q.fieldByName(QStringLiteral("type")).asString() + QLatin1Char(' ') +
                    q.fieldByName(QStringLiteral("Key")).asString();
    EXPECT_EQ(rows,
              (QStringList{QStringLiteral("id int(11) PRI"), QStringLiteral("name varchar(20) ")}));
    EXPECT_THROW(q.fieldByName(QStringLiteral("nosuch")), DbError);
    exec(*c, QStringLiteral("DROP TABLE %1").arg(t));
}

TEST(TableSource, QuotesAwkwardTableNames)
{
    auto c = openConnection();
    const QString t = uniqueName("odd") + QStringLiteral(" na`me; DROP");
    exec(*c, QStringLiteral("CREATE TABLE %1 (v INT)").arg(Connection::quoteIdentifier(t)));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1), (2)").arg(Connection::quoteIdentifier(t)));
    TableChain chain(*c, t);
    chain.open();
    EXPECT_EQ(chain.data.recordCount(), 2);
    exec(*c, QStringLiteral("DROP TABLE %1").arg(Connection::quoteIdentifier(t)));
}

TEST(TableSource, UnknownTableFailsWithTheServerMessage)
{
    auto c = openConnection();
    TableChain chain(*c, QStringLiteral("no_such_table_here"));
    try {
        chain.open();
        FAIL();
    } catch (const DbError& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QLatin1String("doesn't exist")), -1)
            << e.what();
    }
    EXPECT_FALSE(chain.data.active());
}

TEST(Connection, TextTravelsAsUtf8mb4BothWays)
{
    auto c = openConnection();
    const QString t = uniqueName("utf");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, s VARCHAR(20)) "
                            "CHARACTER SET utf8mb4")
                 .arg(t));
    const QString text = QStringLiteral("Grüße 😀 日本");
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, '%2')").arg(t, text));
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT s FROM %1").arg(t)), text);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT CHAR_LENGTH(s) FROM %1").arg(t)),
              QString::number(text.toUcs4().size()));
    exec(*c, QStringLiteral("DROP TABLE %1").arg(t));
}

TEST(Connection, UseStatementIsFollowedAndEscapingIsTheSessions)
{
    auto c = openConnection();
    c->execute(QStringLiteral("USE %1").arg(env("NORVANE_TEST_EMPTY_DATABASE")));
    EXPECT_EQ(c->currentDatabase(), env("NORVANE_TEST_EMPTY_DATABASE"));
    EXPECT_EQ(c->quoteString("it's \\ \"q\""), QByteArray("'it\\'s \\\\ \\\"q\\\"'"));
    EXPECT_EQ(Connection::hexLiteral(QByteArray("\x00\xff", 2)), QByteArray("X'00ff'"));
    EXPECT_EQ(Connection::quoteIdentifier(QStringLiteral("a`b")), QStringLiteral("`a``b`"));
}

TEST(Connection, RoundTripsOnTheSessionWorkerKeepResultsRefusalsAndTheSession)
{
    // With background work every round trip runs on the session's worker thread (here without
    // an event loop): pages, write-back, the settings round trip, refusals and a killed
    // session must come back exactly as they do on the calling thread.
    auto c = openConnection();
    c->setBackgroundWork(true);
    const QString t = uniqueName("worker");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(20))").arg(t));
    exec(*c,
         QStringLiteral("INSERT INTO %1 SELECT seq, CONCAT('v', seq) FROM seq_1_to_3000").arg(t));
    {
        TableChain chain(*c, t);
        chain.open();
        int rows = 0;
        for (; !chain.data.eof(); chain.data.next())
            ++rows;
        EXPECT_EQ(rows, 3000);
        chain.data.first();
        chain.data.edit();
        chain.data.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("edited"));
        chain.data.post();
        EXPECT_EQ(chain.data.applyUpdates(0), 0);
    }
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT v FROM %1 WHERE id = 1").arg(t)),
              QStringLiteral("edited"));

    // The user's statement changes the session; the application's next one still reads its own
    // settings, and the user's come back for the user's next statement.
    c->sendUserQuery("SET SESSION sql_select_limit = 2");
    c->drainResults();
    EXPECT_EQ(c->execute(QStringLiteral("SELECT id FROM %1").arg(t)).affectedRows, 3000U);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT @@SESSION.sql_select_limit")), QStringLiteral("2"));

    try {
        c->execute(QStringLiteral("SELECT * FROM %1_missing").arg(t));
        ADD_FAILURE() << "a refused statement passed";
    } catch (const DbError& e) {
        EXPECT_EQ(e.code(), 1146U) << e.what();
        EXPECT_FALSE(e.connectionLost());
    }
    EXPECT_TRUE(c->isConnected());

    const QString id = scalar(*c, QStringLiteral("SELECT CONNECTION_ID()"));
    auto other = openConnection();
    exec(*other, QStringLiteral("KILL %1").arg(id));
    try {
        c->execute(QByteArrayLiteral("SELECT 1"));
        ADD_FAILURE() << "a killed session answered";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.connectionLost()) << e.what();
    }
    EXPECT_FALSE(c->isConnected());
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t)), QStringLiteral("3000"));
    exec(*c, QStringLiteral("DROP TABLE %1").arg(t));
}
