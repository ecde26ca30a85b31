// The record navigator: its buttons' enabled states from the dataset, the "Delete record?"
// question answered through the prompts, insert and post, refresh.
#include "WidgetTestSupport.h"

#include "widgets/DBNavigator.h"

#include <QToolButton>

using namespace norvane;
using namespace norvane::widgets;
using namespace norvane::widgets::test;

using B = DBNavigator::Button;

class NavigatorTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<db::Connection> m_db;

    QString table(int rows)
    {
        const QString t = uniqueName("nav");
        m_db->execute(QStringLiteral("CREATE TABLE %1 (id INT PRIMARY KEY, v VARCHAR(10))").arg(t));
        if (rows > 0)
            m_db->execute(QStringLiteral("INSERT INTO %1 SELECT seq, CONCAT('r', seq) FROM "
                                         "seq_1_to_%2")
                              .arg(t)
                              .arg(rows));
        return t;
    }

    /// The enabled buttons as a string of ten 0/1 in button order.
    static QString enabled(DBNavigator& nav)
    {
        nav.updateButtons();
        QString s;
        for (int i = 0; i < DBNavigator::ButtonCount; ++i)
            s += nav.button(static_cast<B>(i))->isEnabled() ? u'1' : u'0';
        return s;
    }

private slots:
    void initTestCase() { m_db = openConnection(); }

    void tenButtonsWithTipsInTheGivenSize()
    {
        DBNavigator nav;
        QCOMPARE(nav.size(), QSize(240, 23));
        const QStringList names{"nbFirst",  "nbPrior", "nbNext", "nbLast",   "nbInsert",
                                "nbDelete", "nbEdit",  "nbPost", "nbCancel", "nbRefresh"};
        for (int i = 0; i < names.size(); ++i) {
            auto* b = nav.findChild<QToolButton*>(names[i]);
            QVERIFY2(b, qPrintable(names[i]));
            QCOMPARE(b, nav.button(static_cast<B>(i)));
            QVERIFY(!b->toolTip().isEmpty());
            QVERIFY(!b->icon().isNull());
        }
        QCOMPARE(enabled(nav), QStringLiteral("0000000000"));
    }

    void buttonsFollowTheDataset()
    {
        Chain c(*m_db, table(3));
        DBNavigator nav;
        nav.setDataSource(&c.ds);
        //                                        F P N L I D E P C R
        QCOMPARE(enabled(nav), QStringLiteral("0000000000"));
        c.open();
        QCOMPARE(enabled(nav), QStringLiteral("0011111001"));
        nav.click(B::Next);
        QCOMPARE(c.data.recNo(), 2);
        QCOMPARE(enabled(nav), QStringLiteral("1111111001"));
        nav.click(B::Last);
        QCOMPARE(c.data.recNo(), 3);
        QCOMPARE(enabled(nav), QStringLiteral("1100111001"));
        nav.click(B::Edit);
        QCOMPARE(c.data.state(), db::DataSetState::Edit);
        QCOMPARE(enabled(nav), QStringLiteral("1100110111"));
        nav.click(B::Cancel);
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        nav.click(B::First);
        QCOMPARE(c.data.recNo(), 1);
        QCOMPARE(enabled(nav), QStringLiteral("0011111001"));
        QVERIFY(c.errors.isEmpty());
    }

    void emptyAndReadOnlyDatasetsOfferWhatTheyCan()
    {
        Chain empty(*m_db, table(0));
        empty.open();
        DBNavigator nav;
        nav.setDataSource(&empty.ds);
        QCOMPARE(enabled(nav), QStringLiteral("0000101001"));

        Chain ro(*m_db, QStringLiteral("SELECT * FROM %1").arg(table(2)), true);
        ro.open();
        nav.setDataSource(&ro.ds);
        QCOMPARE(enabled(nav), QStringLiteral("0011000001"));
    }

    void deleteAsksAndOnlyOkDeletes()
    {
        ScriptedPrompts prompts;
        Chain c(*m_db, table(3));
        c.open();
        DBNavigator nav;
        nav.setDataSource(&c.ds);
        nav.click(B::Next);
        prompts.answers = {QMessageBox::Cancel};
        nav.click(B::Delete);
        QCOMPARE(prompts.questions, QStringList{QStringLiteral("Delete record?")});
        QCOMPARE(c.data.recordCount(), 3);
        QCOMPARE(scalar(*m_db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(c.source.tableName())),
                 QStringLiteral("3"));

        prompts.answers = {QMessageBox::Ok};
        QTest::mouseClick(nav.button(B::Delete), Qt::LeftButton);
        QCOMPARE(prompts.questions.size(), 2);
        QCOMPARE(c.data.recordCount(), 2);
        QCOMPARE(scalar(*m_db, QStringLiteral("SELECT GROUP_CONCAT(id ORDER BY id) FROM %1")
                                   .arg(c.source.tableName())),
                 QStringLiteral("1,3"));
        QVERIFY(c.errors.isEmpty());
    }

    void insertThenPostWritesTheRow()
    {
        Chain c(*m_db, table(1));
        c.open();
        DBNavigator nav;
        nav.setDataSource(&c.ds);
        nav.click(B::Insert);
        QCOMPARE(c.data.state(), db::DataSetState::Insert);
        QCOMPARE(enabled(nav).mid(7, 2), QStringLiteral("11"));
        c.data.fieldByName(QStringLiteral("id")).setAsInteger(50);
        c.data.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("new"));
        nav.click(B::Post);
        QCOMPARE(c.data.state(), db::DataSetState::Browse);
        QCOMPARE(
            scalar(*m_db, QStringLiteral("SELECT v FROM %1 WHERE id=50").arg(c.source.tableName())),
            QStringLiteral("new"));
    }

    void refusedPostGoesToTheSinkAndStaysPending()
    {
        Chain c(*m_db, table(2));
        c.open();
        DBNavigator nav;
        nav.setDataSource(&c.ds);
        nav.click(B::Insert);
        c.data.fieldByName(QStringLiteral("id")).setAsInteger(1); // taken
        nav.click(B::Post);
        QCOMPARE(c.errors.size(), 1);
        QVERIFY2(c.errors.first().contains(QLatin1String("Duplicate")),
                 qPrintable(c.errors.first()));
        QCOMPARE(c.data.changeCount(), 1);
    }

    void refreshRereadsAndKeepsThePosition()
    {
        Chain c(*m_db, table(150));
        c.open();
        DBNavigator nav;
        nav.setDataSource(&c.ds);
        c.data.setRecNo(120);
        m_db->execute(
            QStringLiteral("UPDATE %1 SET v='changed' WHERE id=120").arg(c.source.tableName()));
        nav.click(B::Refresh);
        QVERIFY(c.errors.isEmpty());
        QCOMPARE(c.data.recNo(), 120);
        QCOMPARE(c.data.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("changed"));
        QCOMPARE(c.data.fieldByName(QStringLiteral("id")).asString(), QStringLiteral("120"));

        // Pending changes are not thrown away by a refresh.
        c.data.onReconcileError = [](db::ClientDataSet&, const db::ReconcileInfo& i) {
            throw db::DbError(i.message);
        };
        c.data.afterPost = nullptr;
        c.data.edit();
        c.data.fieldByName(QStringLiteral("v")).setAsString(QStringLiteral("mine"));
        c.data.post();
        nav.click(B::Refresh);
        QCOMPARE(c.errors.size(), 1);
        QCOMPARE(c.data.changeCount(), 1);
        QCOMPARE(c.data.fieldByName(QStringLiteral("v")).asString(), QStringLiteral("mine"));
    }
};

QObject* makeNavigatorTest()
{
    return new NavigatorTest;
}

#include "NavigatorTest.moc"
