// Moving through a cached dataset: the beginning and end flags, packets fetched as the cursor
// moves, the session staying free while a table is half fetched, and a closed connection.
#include "DbTestSupport.h"

#include <QSignalSpy>

#include <string>
#include <vector>

using namespace norvane::db;
using namespace norvane::db::test;

namespace {

QString makeTable(Connection& c, int rows, const char* keyDef = "id INT PRIMARY KEY")
{
    const QString t = uniqueName("nav");
    exec(c, QStringLiteral("CREATE TABLE %1 (%2, v VARCHAR(10))").arg(t, QLatin1String(keyDef)));
    if (rows > 0)
        exec(c, QStringLiteral("INSERT INTO %1 SELECT seq, CONCAT('r', seq) FROM seq_1_to_%2")
                    .arg(t)
                    .arg(rows));
    return t;
}

struct Step
{
    const char* action;
    bool bof;
    bool eof;
    int recNo;
};

// Runs the moves and compares the flags and position after each one.
void expectFlags(ClientDataSet& d, const std::vector<Step>& steps)
{
    for (const Step& s : steps) {
        const std::string a = s.action;
        if (a == "first")
            d.first();
        else if (a == "prior")
            d.prior();
        else if (a == "next")
            d.next();
        else if (a == "last")
            d.last();
        EXPECT_EQ(d.bof(), s.bof) << "bof after " << a;
        EXPECT_EQ(d.eof(), s.eof) << "eof after " << a;
        EXPECT_EQ(d.recNo(), s.recNo) << "recNo after " << a;
    }
}

} // namespace

TEST(Navigation, FlagsOfAClosedDataset)
{
    ClientDataSet d;
    EXPECT_TRUE(d.bof());
    EXPECT_TRUE(d.eof());
    EXPECT_EQ(d.state(), DataSetState::Inactive);
    EXPECT_THROW(d.next(), DbError);
}

TEST(Navigation, FlagSequenceOnAnEmptyTable)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 0));
    chain.open();
    EXPECT_TRUE(chain.data.bof());
    EXPECT_TRUE(chain.data.eof());
    expectFlags(chain.data, {{"first", true, true, 0},
                             {"next", true, true, 0},
                             {"last", true, true, 0},
                             {"prior", true, true, 0}});
}

TEST(Navigation, FlagSequenceOnAOneRowTable)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 1));
    chain.open();
    EXPECT_TRUE(chain.data.bof());
    EXPECT_FALSE(chain.data.eof());
    expectFlags(chain.data, {{"next", false, true, 1},
                             {"next", false, true, 1},
                             {"prior", true, false, 1},
                             {"last", false, true, 1},
                             {"first", true, false, 1},
                             {"prior", true, false, 1}});
}

TEST(Navigation, FlagSequenceOnA250RowTable)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 250));
    chain.open();
    expectFlags(chain.data, {{"next", false, false, 2},
                             {"prior", false, false, 1},
                             {"prior", true, false, 1},
                             {"last", false, true, 250},
                             {"next", false, true, 250},
                             {"prior", false, false, 249},
                             {"next", false, false, 250},
                             {"next", false, true, 250},
                             {"first", true, false, 1}});
    EXPECT_EQ(chain.data.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("r1"));
}

TEST(Navigation, PacketsOf100AreFetchedAsTheCursorMovesPastTheRowsHeld)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 250));
    chain.open();
    ClientDataSet& d = chain.data;
    QSignalSpy inserted(&d, &ClientDataSet::rowsInserted);
    EXPECT_EQ(d.recordCount(), 100);
    EXPECT_EQ(d.moveBy(99), 99);
    EXPECT_EQ(d.recNo(), 100);
    EXPECT_EQ(d.recordCount(), 100) << "no fetch before moving past the rows held";
    d.next();
    EXPECT_EQ(d.recordCount(), 200);
    EXPECT_EQ(d.fieldByName(QStringLiteral("id")).asInteger(), 101);
    d.moveBy(99);
    EXPECT_EQ(d.recordCount(), 200);
    d.next();
    EXPECT_EQ(d.recordCount(), 250);
    EXPECT_TRUE(d.allFetched());
    EXPECT_EQ(inserted.count(), 2);
    d.last();
    EXPECT_EQ(d.fieldByName(QStringLiteral("id")).asInteger(), 250);
}

TEST(Navigation, TablesWithoutUsableKeyAreReadWholeButStillHandedOverInPackets)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 250, "id INT"));
    chain.open();
    EXPECT_FALSE(chain.source.isKeysetPaged());
    EXPECT_EQ(chain.data.recordCount(), 100);
    chain.data.last();
    EXPECT_EQ(chain.data.recordCount(), 250);

    TableChain unique(*c, makeTable(*c, 250, "id INT NOT NULL UNIQUE"));
    unique.open();
    EXPECT_TRUE(unique.source.isKeysetPaged());
    EXPECT_EQ(unique.source.keyColumns(), QStringList{QStringLiteral("id")});
}

TEST(Navigation, MultiColumnKeyPagesVisitEveryRowOnceInKeyOrder)
{
    auto c = openConnection();
    const QString t = uniqueName("nav2");
    exec(*c,
         QStringLiteral("CREATE TABLE %1 (a INT, b VARCHAR(5), v INT, PRIMARY KEY (a, b))").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 SELECT seq DIV 7, CONCAT('k', seq MOD 7), seq "
                            "FROM seq_1_to_333")
                 .arg(t));
    TableChain chain(*c, t);
    chain.open();
    ASSERT_TRUE(chain.source.isKeysetPaged());
    chain.data.last();
    ASSERT_EQ(chain.data.recordCount(), 333);
    QSet<int> seen;
    int prevA = -1;
    QString prevB;
    for (int r = 0; r < chain.data.recordCount(); ++r) {
        const int a = QString::fromLatin1(*chain.data.rawValue(r, 0)).toInt();
        const QString b = QString::fromLatin1(*chain.data.rawValue(r, 1));
        EXPECT_TRUE(a > prevA || (a == prevA && b > prevB)) << "row " << r;
        prevA = a;
        prevB = b;
        seen.insert(QString::fromLatin1(*chain.data.rawValue(r, 2)).toInt());
    }
    EXPECT_EQ(seen.size(), 333);
}

TEST(Navigation, SessionStaysFreeWhileATableIsHalfFetched)
{
    auto c = openConnection();
    const QString t = makeTable(*c, 250);
    TableChain chain(*c, t);
    chain.open();
    ASSERT_EQ(chain.data.recordCount(), 100);

    // Catalogue statements on the same session.
    SqlSource catalogue(c.get());
    catalogue.setSql(QStringLiteral("SHOW TABLES"));
    catalogue.open();
    bool found = false;
    for (; !catalogue.eof(); catalogue.next())
        found = found || catalogue.field(0).asString() == t;
    EXPECT_TRUE(found);
    catalogue.close();
    catalogue.setSql(QStringLiteral("DESCRIBE %1").arg(t));
    catalogue.open();
    EXPECT_EQ(catalogue.fieldByName(QStringLiteral("Field")).asString(), QStringLiteral("id"));

    // A console statement with its own result.
    SqlSource console(c.get());
    console.setObjectName(QStringLiteral("sqrySQL"));
    Provider consoleProvider(&console);
    ClientDataSet consoleData;
    consoleData.setReadOnly(true);
    consoleData.setProvider(&consoleProvider);
    console.setSql(QStringLiteral("SELECT COUNT(*) FROM %1").arg(t));
    consoleData.open();
    EXPECT_EQ(consoleData.field(0).asInteger(), 250);

    // A write-back.
    chain.data.edit();
    chain.data.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("edited"));
    chain.data.post();
    EXPECT_EQ(chain.data.applyUpdates(0), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT v FROM %1 WHERE id = 1").arg(t)),
              QStringLiteral("edited"));

    // And the table goes on where it stopped.
    chain.data.last();
    EXPECT_EQ(chain.data.recordCount(), 250);
    EXPECT_EQ(chain.data.fieldByName(QStringLiteral("id")).asInteger(), 250);
}

TEST(Navigation, AfterLogOffMovingPastTheRowsHeldFindsNoMoreRows)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 250));
    chain.open();
    chain.source.close();
    c->close();
    chain.data.moveBy(150);
    EXPECT_EQ(chain.data.recordCount(), 100);
    EXPECT_EQ(chain.data.recNo(), 100);
    EXPECT_TRUE(chain.data.eof());
    chain.data.last();
    EXPECT_EQ(chain.data.recNo(), 100);
    EXPECT_FALSE(c->isConnected()) << "moving must not reopen the closed connection";
}

TEST(Navigation, ConnectionClosedWithoutClosingTheSourceAlsoEndsTheRows)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 250));
    chain.open();
    c->close();
    chain.data.last();
    EXPECT_EQ(chain.data.recordCount(), 100);
    EXPECT_FALSE(c->isConnected());
}

TEST(Navigation, BookmarksSurviveFetchingAndDeletes)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 250));
    chain.open();
    ClientDataSet& d = chain.data;
    d.moveBy(41);
    const Bookmark mark = d.bookmark();
    d.last();
    d.gotoBookmark(mark);
    EXPECT_EQ(d.recNo(), 42);
    EXPECT_FALSE(d.bof());
    EXPECT_FALSE(d.eof());
    d.deleteRecord();
    EXPECT_FALSE(d.bookmarkValid(mark));
    EXPECT_THROW(d.gotoBookmark(mark), DbError);
}

TEST(Navigation, DisabledControlsHearNothingUntilEnabled)
{
    auto c = openConnection();
    TableChain chain(*c, makeTable(*c, 250));
    chain.open();
    QSignalSpy moved(&chain.data, &ClientDataSet::currentRowChanged);
    QSignalSpy reset(&chain.data, &ClientDataSet::layoutReset);
    chain.data.disableControls();
    chain.data.last();
    chain.data.first();
    EXPECT_EQ(moved.count(), 0);
    chain.data.enableControls();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(moved.count(), 1);
}

TEST(Navigation, BackgroundReadGivesFirstRowsWaitsForStatementsAndStopKeepsRows)
{
    // Wide rows reach the client at once; after row 200 the server sends one every 5 ms.
    const QString slowTail = QStringLiteral("SELECT seq, REPEAT('x', 300) AS pad, "
                                            "IF(seq > 200, SLEEP(0.005), 0) FROM seq_1_to_%1");
    auto c = openConnection();
    TableChain chain(*c, QString());
    chain.source.setSql(slowTail.arg(400));
    chain.open();
    EXPECT_TRUE(c->isFetching());
    EXPECT_GE(chain.data.recordCount(), 100);
    EXPECT_LT(chain.data.recordCount(), 400);
    // Another statement waits for the read's end instead of breaking the session.
    EXPECT_EQ(c->execute(QByteArrayLiteral("DO 1")).hasResultSet, false);
    EXPECT_FALSE(c->isFetching());
    chain.data.last();
    ASSERT_EQ(chain.data.recordCount(), 400);
    for (int r = 0; r < 400; r += 57)
        EXPECT_EQ(*chain.data.rawValue(r, 0), QByteArray::number(r + 1)) << "row " << r;
    EXPECT_FALSE(chain.source.incomplete());

    chain.data.close();
    chain.source.setSql(slowTail.arg(100000));
    chain.open();
    ASSERT_TRUE(c->isFetching());
    chain.source.stopFetch();
    EXPECT_FALSE(c->isFetching());
    EXPECT_TRUE(chain.source.incomplete());
    chain.data.last();
    const int kept = chain.data.recordCount();
    EXPECT_GE(kept, 100);
    EXPECT_LT(kept, 100000);
    EXPECT_EQ(*chain.data.rawValue(kept - 1, 0), QByteArray::number(kept));
    SqlSource probe(c.get());
    probe.setSql(QStringLiteral("SELECT DATABASE()"));
    probe.open();
    EXPECT_EQ(probe.field(0).asString(), env("NORVANE_TEST_DATABASE"));
}
