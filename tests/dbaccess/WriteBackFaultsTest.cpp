// Where a written row may go astray or an edit be lost: rows identified after insert, the fate of
// changes the server refused, closed tables, error allowances, keyset pages, and tables whose
// engine has no transactions.
#include "DbTestSupport.h"

using namespace norvane::db;
using namespace norvane::db::test;

namespace {

const QString kNotFound = QStringLiteral("Record not found or changed by another user");

QString count(Connection& c, const QString& table, const QString& where = QStringLiteral("1"))
{
    return scalar(c, QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(table, where));
}

/// Applies after every post and delete and raises the first refusal, as the table browser does.
void applyLikeTheBrowser(ClientDataSet& d)
{
    d.afterPost = [](ClientDataSet& ds) {
        if (ds.changeCount() > 0)
            ds.applyUpdates(0);
    };
    d.afterDelete = d.afterPost;
    d.onReconcileError = [](ClientDataSet&, const ReconcileInfo& info) {
        throw DbError(info.message);
    };
}

/// Moves to the row whose column `column` holds `value`.
bool moveToValue(ClientDataSet& d, const QString& column, const QString& value)
{
    d.first();
    for (; !d.eof(); d.next())
        if (d.fieldByName(column).asString() == value)
            return true;
    return false;
}

} // namespace

// A key from a default or a trigger is not typed: the new row must still be the row written,
// not an older row with the same typed values.
TEST(WriteBackIdentity, InsertedRowWithAGeneratedKeyIsReadBackAsItself)
{
    auto c = openConnection();
    for (const char* how : {"default", "trigger"}) {
        SCOPED_TRACE(how);
        const QString t = uniqueName("ident");
        const bool trigger = QByteArray(how) == "trigger";
        exec(*c, QStringLiteral("CREATE TABLE %1 (id VARCHAR(40) PRIMARY KEY DEFAULT %2, "
                                "v VARCHAR(10))")
                     .arg(t, trigger ? QStringLiteral("''") : QStringLiteral("uuid()")));
        if (trigger)
            exec(*c, QStringLiteral("CREATE TRIGGER %1_k BEFORE INSERT ON %1 FOR EACH ROW "
                                    "SET NEW.id = IF(NEW.id = '', CONCAT('t-', uuid()), NEW.id)")
                         .arg(t));
        exec(*c, QStringLiteral("INSERT INTO %1 (id, v) VALUES ('0-old', 'same')").arg(t));
        TableChain chain(*c, t);
        chain.open();
        ClientDataSet& d = chain.data;
        applyLikeTheBrowser(d);
        d.append();
        d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("same"));
        d.post();
        const QString newId =
            scalar(*c, QStringLiteral("SELECT id FROM %1 WHERE id <> '0-old'").arg(t));
        EXPECT_EQ(d.fieldByName(QStringLiteral("id")).asString(), newId);

        d.edit();
        d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("changed"));
        d.post();
        d.deleteRecord();
        EXPECT_EQ(
            scalar(*c, QStringLiteral("SELECT GROUP_CONCAT(CONCAT(id, '=', v)) FROM %1").arg(t)),
            QStringLiteral("0-old=same"))
            << "the older row was edited or deleted instead of the new one";
    }
}

// The browser's flow: another user changes row A, the user's edit of A is refused; the other
// user puts A back so that it matches the grid's stale original again; then the user posts B.
TEST(PendingChanges, RefusedChangeIsSentAgainOnlyWhenItsRowIsPostedAgain)
{
    auto c = openConnection();
    auto other = openConnection();
    const QString t = uniqueName("refused");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(10), n INT)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 'a', 1), (2, 'b', 2)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    applyLikeTheBrowser(d);

    exec(*other, QStringLiteral("UPDATE %1 SET n = 10 WHERE id = 1").arg(t));
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("mine"));
    EXPECT_THROW(d.post(), DbError);
    EXPECT_EQ(d.rowStatus(0), RowStatus::Refused);
    EXPECT_EQ(d.rowMessage(0), kNotFound);
    exec(*other, QStringLiteral("UPDATE %1 SET n = 1 WHERE id = 1").arg(t));

    d.next();
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("b2"));
    EXPECT_NO_THROW(d.post()) << "the refused change of another row blocked this post";
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT GROUP_CONCAT(v ORDER BY id) FROM %1").arg(t)),
              QStringLiteral("a,b2"))
        << "the refused change was applied silently with another row's post";
    EXPECT_EQ(d.rowStatus(1), RowStatus::Saved);
    EXPECT_EQ(d.rowStatus(0), RowStatus::Refused);

    // Posting row A again is the user's decision to send it.
    d.first();
    d.post();
    EXPECT_EQ(d.changeCount(), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT v FROM %1 WHERE id = 1").arg(t)),
              QStringLiteral("mine"));
}

TEST(PendingChanges, RefusedRowsStayVisibleMarkedAndRevertToTheServersValues)
{
    auto c = openConnection();
    auto other = openConnection();
    const QString t = uniqueName("revert");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(10))").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 'a'), (2, 'b'), (3, 'c')").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    applyLikeTheBrowser(d);
    exec(*other, QStringLiteral("UPDATE %1 SET v = CONCAT(v, '!') WHERE id IN (1, 2)").arg(t));

    // A refused delete keeps its row on screen, marked.
    d.setRecNo(2);
    EXPECT_THROW(d.deleteRecord(), DbError);
    EXPECT_EQ(d.recordCount(), 3);
    ASSERT_TRUE(moveToValue(d, QStringLiteral("id"), QStringLiteral("2")));
    EXPECT_EQ(d.rowStatus(d.currentRow()), RowStatus::Refused);
    d.revertRow();
    EXPECT_EQ(d.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("b!"));
    EXPECT_EQ(d.rowStatus(d.currentRow()), RowStatus::Saved);

    // A refused update reverts to what the server holds now.
    d.first();
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("mine"));
    EXPECT_THROW(d.post(), DbError);
    d.revertRow();
    EXPECT_EQ(d.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("a!"));
    EXPECT_EQ(d.changeCount(), 0);
    EXPECT_EQ(count(*c, t), QStringLiteral("3"));
}

// After log off the source is closed: nothing may be written, least of all a row of defaults.
TEST(PendingChanges, ADatasetWhoseSourceIsClosedRefusesToPostAndApply)
{
    auto c = openConnection();
    const QString t = uniqueName("closed");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT AUTO_INCREMENT PRIMARY KEY, "
                            "v VARCHAR(10) DEFAULT 'dflt')")
                 .arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 (v) VALUES ('a')").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    applyLikeTheBrowser(d);
    d.insert();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("typed"));
    chain.source.close();
    EXPECT_FALSE(d.canModify());
    EXPECT_THROW(d.post(), DbError);
    d.cancel();
    EXPECT_THROW(d.insert(), DbError);
    EXPECT_THROW(d.edit(), DbError);
    EXPECT_THROW(d.deleteRecord(), DbError);
    EXPECT_EQ(d.recordCount(), 1) << "the held rows stay visible";

    Change insert;
    insert.kind = ChangeKind::Insert;
    EXPECT_THROW(chain.provider.statementFor(insert), DbError);
    EXPECT_THROW(chain.provider.applyChange(insert), DbError);
    EXPECT_EQ(count(*c, t), QStringLiteral("1"));
}

// With an error allowance the unit commits, but a change that failed leaves nothing behind.
TEST(PendingChanges, ErrorAllowanceRollsBackAChangeThatHitSeveralRows)
{
    auto c = openConnection();
    const QString t = uniqueName("allow");
    exec(*c, QStringLiteral("CREATE TABLE %1 (n INT, v VARCHAR(10)) ENGINE=InnoDB").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 'twin'), (1, 'twin'), (2, 'b')").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    d.onReconcileError = [](ClientDataSet&, const ReconcileInfo&) {};
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("changed"));
    d.post();
    d.last();
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("b2"));
    d.post();
    EXPECT_EQ(d.applyUpdates(-1), 1);
    EXPECT_EQ(count(*c, t, QStringLiteral("v = 'twin'")), QStringLiteral("2"))
        << "the change reported as failed was committed";
    EXPECT_EQ(count(*c, t, QStringLiteral("v = 'b2'")), QStringLiteral("1"));
    EXPECT_EQ(d.changeCount(), 1);
}

// Rows written from the grid before paging reached their key (a new row, a key moved ahead)
// must not come again with a later page.
TEST(PendingChanges, RowsWrittenAheadOfKeysetPagingAreHeldOnce)
{
    auto c = openConnection();
    const QString t = uniqueName("ahead");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v INT)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT "
                            "n + 1 FROM s WHERE n < 300) SELECT n * 2, n FROM s")
                 .arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    ASSERT_TRUE(chain.source.isKeysetPaged());
    applyLikeTheBrowser(d);
    ASSERT_LT(d.recordCount(), 300);
    d.insert();
    d.fieldByName(QStringLiteral("id")).setAsInteger(451);
    d.post();
    ASSERT_TRUE(moveToValue(d, QStringLiteral("id"), QStringLiteral("2")));
    d.edit();
    d.fieldByName(QStringLiteral("id")).setAsInteger(599);
    d.post();
    d.fetchAll();
    EXPECT_EQ(d.recordCount(), 301);
    int newRow = 0;
    int movedRow = 0;
    for (int r = 0; r < d.recordCount(); ++r) {
        const QString id = d.displayText(r, 0);
        newRow += id == QLatin1String("451");
        movedRow += id == QLatin1String("599");
    }
    EXPECT_EQ(newRow, 1);
    EXPECT_EQ(movedRow, 1);
}

// A change that ran on a table without transactions is done, whatever happens to the unit.
TEST(NonTransactional, AChangeThatRanIsNeverRunAgainAfterALaterFailure)
{
    auto c = openConnection();
    for (const char* engine : {"MyISAM", "Aria", "MEMORY"}) {
        SCOPED_TRACE(engine);
        const QString t = uniqueName("nontx");
        exec(*c,
             QStringLiteral("CREATE TABLE %1 (n INT, v INT NOT NULL) ENGINE=%2").arg(t, engine));
        exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 1)").arg(t));
        TableChain chain(*c, t);
        chain.open();
        ClientDataSet& d = chain.data;
        QStringList refusals;
        chain.recordRefusals(refusals);
        d.append();
        d.fieldByName(QStringLiteral("n")).setAsInteger(2);
        d.fieldByName(QStringLiteral("v")).setAsInteger(2);
        d.post();
        d.first();
        d.edit();
        d.fieldByName(QStringLiteral("v")).setNull();
        d.post();
        EXPECT_EQ(d.applyUpdates(0), 1);
        EXPECT_EQ(refusals.size(), 1);
        EXPECT_EQ(d.changeCount(), 1) << "the insert that ran is still pending";
        EXPECT_EQ(d.applyUpdates(0), 0);
        EXPECT_EQ(count(*c, t, QStringLiteral("n = 2")), QStringLiteral("1"))
            << "the insert ran twice";
    }
}

// The session dies between the changes and the COMMIT (killed from another session while the
// reconcile handler runs): the rows are read back by key, and nothing is sent again blindly.
TEST(NonTransactional, ACommitOfUnknownOutcomeIsReadBackNotReapplied)
{
    auto c = openConnection();
    auto killer = openConnection();
    for (const char* engine : {"MyISAM", "InnoDB"}) {
        SCOPED_TRACE(engine);
        const bool transactional = QByteArray(engine) == "InnoDB";
        c->ensureOpen();
        const QString t = uniqueName("lost");
        exec(*c, QStringLiteral("CREATE TABLE %1 (id INT AUTO_INCREMENT PRIMARY KEY, "
                                "v INT NOT NULL) ENGINE=%2")
                     .arg(t, engine));
        exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 1)").arg(t));
        TableChain chain(*c, t);
        chain.open();
        ClientDataSet& d = chain.data;
        const QString session = scalar(*c, QStringLiteral("SELECT CONNECTION_ID()"));
        d.onReconcileError = [&](ClientDataSet&, const ReconcileInfo&) {
            killer->execute(QStringLiteral("KILL CONNECTION %1").arg(session));
        };
        d.append();
        d.fieldByName(QStringLiteral("v")).setAsInteger(5);
        d.post();
        d.first();
        d.edit();
        d.fieldByName(QStringLiteral("v")).setNull();
        d.post();
        try {
            d.applyUpdates(-1);
            ADD_FAILURE() << "the lost COMMIT was not reported";
        } catch (const DbError& e) {
            EXPECT_TRUE(e.message().contains(transactional ? QLatin1String("0 saved, 1 not saved")
                                                           : QLatin1String("1 saved, 0 not saved")))
                << e.what();
        }
        ASSERT_TRUE(moveToValue(d, QStringLiteral("v"), QStringLiteral("5")));
        EXPECT_EQ(d.rowStatus(d.currentRow()),
                  transactional ? RowStatus::Refused : RowStatus::Saved);
        d.onReconcileError = nullptr;
        d.applyUpdates(-1);
        EXPECT_EQ(count(*c, t, QStringLiteral("v = 5")),
                  QString::fromLatin1(transactional ? "0" : "1"))
            << "the change was sent again without the user";
    }
}
