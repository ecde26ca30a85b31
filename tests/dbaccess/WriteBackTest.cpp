// Writing changes back: generated statements with nulls, conflicts with other users, rows that
// are not unique, refused changes that stay pending, reading rows back, and one unit of work.
#include "DbTestSupport.h"

#include <stdexcept>

using namespace norvane::db;
using namespace norvane::db::test;

namespace {

const QString kNotFound = QStringLiteral("Record not found or changed by another user");
const QString kTooMany = QStringLiteral("Update affected more than 1 record.");

/// Collects the messages that reach the reconcile-error handler.
struct Reconciles
{
    explicit Reconciles(ClientDataSet& d)
    {
        d.onReconcileError = [this](ClientDataSet&, const ReconcileInfo& info) {
            messages << info.message;
        };
    }
    QStringList messages;
};

QString rows(Connection& c, const QString& table, const QString& cols = QStringLiteral("*"))
{
    SqlSource q(&c);
    q.setSql(QStringLiteral("SELECT %1 FROM %2 ORDER BY 1").arg(cols, table));
    q.open();
    QStringList out;
    for (; !q.eof(); q.next()) {
        QStringList cells;
        for (int i = 0; i < q.fieldCount(); ++i)
            cells << (q.field(i).isNull() ? QStringLiteral("NULL") : q.field(i).asString());
        out << cells.join(QLatin1Char(','));
    }
    return out.join(QLatin1Char(';'));
}

} // namespace

TEST(WriteBack, InsertUpdateAndDeleteWithNulls)
{
    auto c = openConnection();
    const QString t = uniqueName("wb");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, a INT NULL, "
                            "s VARCHAR(10) NULL DEFAULT 'dflt')")
                 .arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, NULL, 'one'), (2, 5, NULL)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    Reconciles rec(d);

    // An update of a row whose column was null finds it with IS NULL.
    d.edit();
    d.fieldByName(QStringLiteral("s")).setNull();
    d.fieldByName(QStringLiteral("a")).setAsInteger(10);
    d.post();
    EXPECT_EQ(d.changeCount(), 1);
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(d.changeCount(), 0);

    // An insert: columns set to null are written as NULL, untouched ones take their default.
    d.insert();
    d.fieldByName(QStringLiteral("id")).setAsInteger(3);
    d.fieldByName(QStringLiteral("a")).setNull();
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(d.fieldByName(QStringLiteral("s")).asString(), QStringLiteral("dflt"))
        << "the default is read back";

    // A delete of a row with a null.
    d.last();
    ASSERT_EQ(d.fieldByName(QStringLiteral("id")).asInteger(), 2);
    d.edit();
    d.fieldByName(QStringLiteral("a")).setNull();
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 0);
    d.deleteRecord();
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_TRUE(rec.messages.isEmpty()) << rec.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rows(*c, t), QStringLiteral("1,10,NULL;3,NULL,dflt"));
}

TEST(WriteBack, GeneratedStatementsEscapeTextAndUseNullAndIsNull)
{
    auto c = openConnection();
    const QString t = uniqueName("stmt");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, s VARCHAR(40), b VARBINARY(8), "
                            "f FLOAT)")
                 .arg(t));
    TableChain chain(*c, t);
    chain.open();
    Change ins;
    ins.kind = ChangeKind::Insert;
    ins.current = PackedRow::fromValues({QByteArray("1"), QByteArray("a'); DROP TABLE x; -- \\"),
                                         QByteArray("\x00\x27", 2), std::nullopt});
    ins.assigned = {true, true, true, true};
    EXPECT_EQ(chain.provider.statementFor(ins),
              QByteArray("INSERT INTO `") + env("NORVANE_TEST_DATABASE").toUtf8() + "`.`" +
                  t.toUtf8() +
                  "` (`id`, `s`, `b`, `f`) VALUES "
                  "(1, _utf8mb4 X'6127293b2044524f50205441424c4520783b202d2d205c', X'0027', NULL)");
    Change del;
    del.kind = ChangeKind::Delete;
    del.original =
        PackedRow::fromValues({QByteArray("1"), std::nullopt, QByteArray(), QByteArray("1.1")});
    EXPECT_EQ(chain.provider.statementFor(del),
              QByteArray("DELETE FROM `") + env("NORVANE_TEST_DATABASE").toUtf8() + "`.`" +
                  t.toUtf8() +
                  "` WHERE `id` = 1 AND `s` IS NULL AND `b` = '' AND "
                  "CAST(`f` AS CHAR) = _utf8mb4 X'312e31'");

    ClientDataSet& d = chain.data;
    d.insert();
    d.fieldByName(QStringLiteral("id")).setAsInteger(1);
    d.fieldByName(QStringLiteral("s")).setAsString(QStringLiteral("a'); DROP TABLE x; -- \\"));
    d.post();
    ASSERT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("SELECT s FROM %1").arg(t)),
              QStringLiteral("a'); DROP TABLE x; -- \\"));
}

TEST(WriteBack, ConcurrentChangeIsDetectedAndTheUsersValuesStayPending)
{
    auto c = openConnection();
    auto other = openConnection();
    const QString t = uniqueName("conc");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(10), n INT)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 'a', 1), (2, 'b', 2)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    Reconciles rec(d);

    exec(*other, QStringLiteral("UPDATE %1 SET n = 10 WHERE id = 1").arg(t));
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("mine"));
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 1);
    EXPECT_EQ(rec.messages, QStringList{kNotFound});
    EXPECT_EQ(d.changeCount(), 1);
    EXPECT_EQ(d.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("mine"));
    EXPECT_TRUE(d.rowHasPendingChange(0));
    EXPECT_EQ(rows(*other, t), QStringLiteral("1,a,10;2,b,2"));

    // A case-only change by the other user is a change too.
    exec(*other, QStringLiteral("UPDATE %1 SET v = 'B' WHERE id = 2").arg(t));
    d.cancelUpdates();
    d.next();
    d.deleteRecord();
    rec.messages.clear();
    EXPECT_EQ(d.applyUpdates(0), 1);
    EXPECT_EQ(rec.messages, QStringList{kNotFound});
    EXPECT_EQ(rows(*other, t), QStringLiteral("1,a,10;2,B,2"));
}

TEST(WriteBack, FloatRowsUpdateAndDeleteWhileRealChangesAreStillDetected)
{
    auto c = openConnection();
    auto other = openConnection();
    const QString t = uniqueName("flt");
    exec(*c, QStringLiteral("CREATE TABLE %1 (f FLOAT, d DOUBLE, n INT) ENGINE=InnoDB").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1.1, 0.1, 1), (1.2345678, 1e-7, 2), "
                            "(3.3, 2.2, 3)")
                 .arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    Reconciles rec(d);
    d.edit();
    d.fieldByName(QStringLiteral("n")).setAsInteger(11);
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 0);
    d.next();
    d.deleteRecord();
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_TRUE(rec.messages.isEmpty()) << rec.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rows(*other, t, QStringLiteral("n")), QStringLiteral("3;11"));

    exec(*other, QStringLiteral("UPDATE %1 SET f = 3.4 WHERE n = 3").arg(t));
    ASSERT_EQ(d.fieldByName(QStringLiteral("n")).asInteger(), 3);
    d.edit();
    d.fieldByName(QStringLiteral("n")).setAsInteger(33);
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 1);
    EXPECT_EQ(rec.messages, QStringList{kNotFound});
}

TEST(WriteBack, SavingValuesTheRowAlreadyHoldsIsNoConflict)
{
    auto c = openConnection();
    const QString t = uniqueName("same");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, m DECIMAL(5,2))").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 1.10)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    Reconciles rec(d);
    d.edit();
    d.fieldByName(QStringLiteral("m")).setAsString(QStringLiteral("1.1"));
    d.post();
    ASSERT_EQ(d.changeCount(), 1) << "a different text of the same value is a change";
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_TRUE(rec.messages.isEmpty()) << rec.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(d.fieldByName(QStringLiteral("m")).asString(), QStringLiteral("1.10"));
}

TEST(WriteBack, IdenticalRowsInATableWithoutKeyAreLeftAsTheyWere)
{
    for (const char* engine : {"InnoDB", "MyISAM"}) {
        SCOPED_TRACE(engine);
        auto c = openConnection();
        const QString t = uniqueName("twin");
        exec(*c, QStringLiteral("CREATE TABLE %1 (v INT, s VARCHAR(5)) ENGINE=%2")
                     .arg(t, QLatin1String(engine)));
        exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 'x'), (1, 'x'), (2, 'y')").arg(t));
        TableChain chain(*c, t);
        chain.open();
        ClientDataSet& d = chain.data;
        Reconciles rec(d);
        d.edit();
        d.fieldByName(QStringLiteral("s")).setAsString(QStringLiteral("z"));
        d.post();
        EXPECT_EQ(d.applyUpdates(0), 1);
        EXPECT_EQ(rec.messages, QStringList{kTooMany});
        EXPECT_EQ(rows(*c, t), QStringLiteral("1,x;1,x;2,y"));

        d.cancelUpdates();
        d.first();
        d.deleteRecord();
        rec.messages.clear();
        EXPECT_EQ(d.applyUpdates(0), 1);
        EXPECT_EQ(rec.messages, QStringList{kTooMany});
        EXPECT_EQ(rows(*c, t), QStringLiteral("1,x;1,x;2,y"));

        // The unique row still updates.
        d.cancelUpdates();
        d.last();
        d.edit();
        d.fieldByName(QStringLiteral("s")).setAsString(QStringLiteral("w"));
        d.post();
        EXPECT_EQ(d.applyUpdates(0), 0);
        EXPECT_EQ(rows(*c, t), QStringLiteral("1,x;1,x;2,w"));
    }
}

TEST(WriteBack, RefusedChangeStaysPendingUntilItsOwnRowIsPostedAgain)
{
    auto c = openConnection();
    const QString t = uniqueName("refuse");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v INT NOT NULL)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 1), (2, 2)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    // As the application does: the handler raises the message, which abandons the apply.
    d.onReconcileError = [](ClientDataSet&, const ReconcileInfo& info) {
        throw norvane::Error(info.message.toStdString());
    };
    d.afterPost = [](ClientDataSet& ds) {
        if (ds.changeCount() > 0)
            ds.applyUpdates(0);
    };
    d.edit();
    d.fieldByName(QStringLiteral("v")).setNull();
    try {
        d.post();
        FAIL() << "the refused change was not reported";
    } catch (const norvane::Error& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QLatin1String("cannot be null")), -1)
            << e.what();
    }
    EXPECT_EQ(d.state(), DataSetState::Browse);
    EXPECT_EQ(d.changeCount(), 1);
    EXPECT_TRUE(d.fieldByName(QStringLiteral("v")).isNull()) << "the user's value is kept";

    // Another row's post leaves the refused change alone; posting its own row sends it again.
    exec(*c, QStringLiteral("ALTER TABLE %1 MODIFY v INT NULL").arg(t));
    d.next();
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsInteger(20);
    d.post();
    EXPECT_EQ(d.changeCount(), 1);
    EXPECT_EQ(rows(*c, t), QStringLiteral("1,1;2,20"));
    d.first();
    d.post();
    EXPECT_EQ(d.changeCount(), 0);
    EXPECT_EQ(rows(*c, t), QStringLiteral("1,NULL;2,20"));
}

TEST(WriteBack, PendingChangesApplyAsOneUnitRolledBackOnTheFirstError)
{
    auto c = openConnection();
    const QString t = uniqueName("unit");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v INT NOT NULL)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 1), (2, 2), (3, 3)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    Reconciles rec(d);
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsInteger(10);
    d.post();
    d.next();
    d.deleteRecord();
    d.edit();
    d.fieldByName(QStringLiteral("v")).setNull();
    d.post();
    ASSERT_EQ(d.changeCount(), 3);
    EXPECT_EQ(d.applyUpdates(0), 1);
    EXPECT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(d.changeCount(), 3);
    EXPECT_EQ(rows(*c, t), QStringLiteral("1,1;2,2;3,3")) << "nothing of the unit stays";
    EXPECT_FALSE(c->inTransaction());

    // Without a limit the good changes are kept; the refused one stays pending, not sent again.
    EXPECT_EQ(d.applyUpdates(-1), 0);
    EXPECT_EQ(d.changeCount(), 1);
    EXPECT_EQ(rows(*c, t), QStringLiteral("1,10;3,3"));
}

TEST(WriteBack, InsideTheUsersTransactionNothingIsCommittedBehindTheirBack)
{
    auto c = openConnection();
    auto other = openConnection();
    const QString t = uniqueName("sp");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v INT NOT NULL)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1, 1), (2, 2)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    Reconciles rec(d);
    exec(*c, QStringLiteral("START TRANSACTION"));
    exec(*c, QStringLiteral("UPDATE %1 SET v = 5 WHERE id = 2").arg(t));
    d.edit();
    d.fieldByName(QStringLiteral("v")).setAsInteger(100);
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 0);
    EXPECT_TRUE(c->inTransaction());
    EXPECT_EQ(rows(*other, t), QStringLiteral("1,1;2,2"));

    // A failed apply rolls back to its savepoint only: the user's own update survives.
    d.next();
    d.edit();
    d.fieldByName(QStringLiteral("v")).setNull();
    d.post();
    EXPECT_EQ(d.applyUpdates(0), 1);
    EXPECT_TRUE(c->inTransaction());
    exec(*c, QStringLiteral("COMMIT"));
    EXPECT_EQ(rows(*other, t), QStringLiteral("1,100;2,5"));
}

TEST(WriteBack, RowsAreReadBackSoDefaultsIdsAndTriggersShowAndASecondEditWorks)
{
    auto c = openConnection();
    const QString t = uniqueName("rb");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT AUTO_INCREMENT PRIMARY KEY, "
                            "name VARCHAR(20), d VARCHAR(10) DEFAULT 'dflt', "
                            "ts TIMESTAMP(6) NOT NULL DEFAULT CURRENT_TIMESTAMP(6) "
                            "ON UPDATE CURRENT_TIMESTAMP(6))")
                 .arg(t));
    exec(*c, QStringLiteral("CREATE TRIGGER %1_up BEFORE UPDATE ON %1 FOR EACH ROW "
                            "SET NEW.name = UPPER(NEW.name)")
                 .arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    Reconciles rec(d);
    d.insert();
    d.fieldByName(QStringLiteral("name")).setAsString(QStringLiteral("first"));
    d.post();
    ASSERT_EQ(d.applyUpdates(0), 0);
    EXPECT_EQ(d.fieldByName(QStringLiteral("id")).asInteger(), 1);
    EXPECT_EQ(d.fieldByName(QStringLiteral("d")).asString(), QStringLiteral("dflt"));
    const QString stamp = d.fieldByName(QStringLiteral("ts")).asString();
    EXPECT_FALSE(stamp.isEmpty());

    for (const char* name : {"second", "third"}) {
        d.edit();
        d.fieldByName(QStringLiteral("name")).setAsString(QString::fromLatin1(name));
        d.post();
        EXPECT_EQ(d.applyUpdates(0), 0) << name;
        EXPECT_EQ(d.fieldByName(QStringLiteral("name")).asString(),
                  QString::fromLatin1(name).toUpper());
    }
    EXPECT_TRUE(rec.messages.isEmpty()) << rec.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(d.fieldByName(QStringLiteral("ts")).asString(),
              scalar(*c, QStringLiteral("SELECT ts FROM %1").arg(t)));
}

TEST(WriteBack, DeletingAnUnpostedNewRowOnlyDiscardsIt)
{
    auto c = openConnection();
    const QString t = uniqueName("discard");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY)").arg(t));
    exec(*c, QStringLiteral("INSERT INTO %1 VALUES (1)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    ClientDataSet& d = chain.data;
    int deletes = 0;
    d.afterDelete = [&deletes](ClientDataSet&) { ++deletes; };
    d.insert();
    EXPECT_EQ(d.recordCount(), 2);
    d.fieldByName(QStringLiteral("id")).setAsInteger(2);
    d.deleteRecord();
    EXPECT_EQ(deletes, 0);
    EXPECT_EQ(d.changeCount(), 0);
    EXPECT_EQ(d.recordCount(), 1);
    EXPECT_EQ(d.state(), DataSetState::Browse);

    // A posted but not yet applied insert that is deleted sends nothing either.
    d.insert();
    d.fieldByName(QStringLiteral("id")).setAsInteger(3);
    d.post();
    d.deleteRecord();
    EXPECT_EQ(deletes, 1);
    EXPECT_EQ(d.changeCount(), 0);
    EXPECT_EQ(rows(*c, t), QStringLiteral("1"));
}

TEST(WriteBack, ReadOnlyDatasetRefusesChanges)
{
    auto c = openConnection();
    SqlSource q(c.get());
    q.setSql(QStringLiteral("SELECT 1 AS one"));
    Provider p(&q);
    ClientDataSet d;
    d.setReadOnly(true);
    d.setProvider(&p);
    d.open();
    EXPECT_THROW(d.edit(), DbError);
    EXPECT_THROW(d.insert(), DbError);
    EXPECT_THROW(d.deleteRecord(), DbError);
    EXPECT_EQ(d.state(), DataSetState::Browse);
}

TEST(WriteBack, AnErrorRaisedInAfterPostReachesTheCallerOfPost)
{
    auto c = openConnection();
    const QString t = uniqueName("ap");
    exec(*c, QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY)").arg(t));
    TableChain chain(*c, t);
    chain.open();
    chain.data.afterPost = [](ClientDataSet&) { throw std::runtime_error("handler"); };
    chain.data.insert();
    chain.data.fieldByName(QStringLiteral("id")).setAsInteger(1);
    EXPECT_THROW(chain.data.post(), std::runtime_error);
    EXPECT_EQ(chain.data.state(), DataSetState::Browse);
    EXPECT_EQ(chain.data.changeCount(), 1);
}
