// The enable rules against a real server: Log on / Log off follow the connection, the record
// actions follow the Data page's dataset, the export actions the dataset of the current grid.

#include "AppTestSupport.h"
#include "RecordingPrompts.h"

#include "app/MainFrm.h"
#include "app/NVDataPub.h"
#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"

#include <QAction>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using norvane::app::TMainForm;

namespace {
QString env(const char* name)
{
    return qEnvironmentVariable(name);
}
} // namespace

class ActionRulesDbTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Fails, never skips, when the fixture did not start the server.
        QVERIFY2(!env("NORVANE_TEST_USER").isEmpty(), "the private test server is not running");
        m_dataModule = std::make_unique<norvane::app::TMainDataModule>();
        m_prompts = std::make_unique<RecordingPrompts>();
        m_form = std::make_unique<TMainForm>();
    }
    void cleanupTestCase()
    {
        m_form.reset();
        m_prompts.reset();
        m_dataModule.reset();
    }

    void logOnAndLogOffFollowTheConnectionAlone();
    void recordActionsFollowTheDataPageDataset();
    void exportActionsFollowTheDatasetOfTheCurrentGrid();

private:
    QAction* action(const char* name) const { return findAction(*m_form, name); }
    norvane::db::Connection& connection() const { return *m_dataModule->SQLConnection; }
    void connect()
    {
        connection().setParams({env("NORVANE_TEST_USER"), env("NORVANE_TEST_PASSWORD"),
                                env("NORVANE_TEST_HOST"), env("NORVANE_TEST_DATABASE")});
        connection().open();
    }
    /// A fresh table of `rows` rows, opened on the Data page's dataset.
    norvane::db::ClientDataSet* openTable(const QString& table, int rows)
    {
        connect();
        connection().execute(QStringLiteral("DROP TABLE IF EXISTS `%1`").arg(table));
        connection().execute(
            QStringLiteral("CREATE TABLE `%1` (id INT PRIMARY KEY, name VARCHAR(20))").arg(table));
        for (int i = 1; i <= rows; ++i)
            connection().execute(
                QStringLiteral("INSERT INTO `%1` VALUES (%2, 'row %2')").arg(table).arg(i));
        auto* source = m_form->findChild<norvane::db::SqlSource*>(QStringLiteral("sqryData"));
        auto* data = m_form->findChild<norvane::db::ClientDataSet*>(QStringLiteral("cdsData"));
        if (!source || !data)
            qFatal("the Data page's chain is missing");
        data->close();
        source->close();
        source->setTableName(table);
        source->open();
        data->open();
        return data;
    }
    /// The test changes the dataset directly, without the event that a user's command would
    /// bring; one posted event makes the loop go through an idle moment again.
    void expectEnabled(std::initializer_list<const char*> on,
                       std::initializer_list<const char*> off)
    {
        QCoreApplication::postEvent(m_form.get(), new QEvent(QEvent::User));
        for (const char* name : on)
            QTRY_VERIFY2(action(name)->isEnabled(), name);
        for (const char* name : off)
            QTRY_VERIFY2(!action(name)->isEnabled(), name);
    }

    std::unique_ptr<norvane::app::TMainDataModule> m_dataModule;
    std::unique_ptr<RecordingPrompts> m_prompts;
    std::unique_ptr<TMainForm> m_form;
};

void ActionRulesDbTest::logOnAndLogOffFollowTheConnectionAlone()
{
    QTRY_VERIFY(action("acLogin")->isEnabled());
    QVERIFY(!action("acLogout")->isEnabled());
    connect();
    QTRY_VERIFY(!action("acLogin")->isEnabled());
    QVERIFY(action("acLogout")->isEnabled());
    connection().close();
    QTRY_VERIFY(action("acLogin")->isEnabled());
    QVERIFY(!action("acLogout")->isEnabled());
    QVERIFY(m_prompts->errors.isEmpty());
}

void ActionRulesDbTest::recordActionsFollowTheDataPageDataset()
{
    norvane::db::ClientDataSet* data = openTable(QStringLiteral("shell_rules_rows"), 3);
    // Just opened: on the first row, the beginning flag set.
    expectEnabled({"acDel", "acNext", "acLast"},
                  {"acFirst", "acPrevious", "acPost", "acCancel", "miEditPrevious"});
    data->next();
    expectEnabled({"acFirst", "acPrevious", "miEditPrevious", "acDel", "acNext", "acLast"},
                  {"acPost", "acCancel"});
    data->last();
    expectEnabled({"acFirst", "acPrevious"}, {"acDel", "acNext", "acLast"});
    data->prior();
    data->next();
    expectEnabled({"acDel", "acNext", "acLast"}, {});
    data->edit();
    expectEnabled({"acPost", "acCancel"}, {});
    data->cancel();
    expectEnabled({}, {"acPost", "acCancel"});
    data->close();
    expectEnabled({}, {"acDel", "acFirst", "acPrevious", "acLast", "acNext", "acPost", "acCancel"});
    QVERIFY(m_prompts->errors.isEmpty());
}

void ActionRulesDbTest::exportActionsFollowTheDatasetOfTheCurrentGrid()
{
    const auto exports = {"acSlk", "acCsv", "acTxt", "acHtml"};
    auto* pages = m_form->findChild<QTabWidget*>(QStringLiteral("pctMain"));
    pages->setCurrentIndex(0);
    expectEnabled({}, exports);
    norvane::db::ClientDataSet* data = openTable(QStringLiteral("shell_rules_export"), 2);
    expectEnabled(exports, {});
    pages->setCurrentIndex(2); // the console's dataset is closed
    expectEnabled({}, exports);
    pages->setCurrentIndex(1); // Columns keeps the console's grid
    expectEnabled({}, exports);
    pages->setCurrentIndex(0);
    expectEnabled(exports, {});
    data->close();
    expectEnabled({}, exports);
    QVERIFY(m_prompts->errors.isEmpty());
}

QTEST_MAIN(ActionRulesDbTest)
#include "ActionRulesDbTest.moc"
