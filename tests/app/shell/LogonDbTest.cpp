// Log on and log off through the main window against the private server, the logon dialog
// answered headless through the prompt seam.

#include "RecordingPrompts.h"

#include "app/AboutX.h"
#include "app/MainFrm.h"
#include "app/NVDataPub.h"
#include "catalogue/NVMySQLObject.h"
#include "dbaccess/Connection.h"
#include "persist/DataLib.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using norvane::app::TMainForm;

namespace {
QString env(const char* name)
{
    return qEnvironmentVariable(name);
}
} // namespace

class LogonDbTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!env("NORVANE_TEST_USER").isEmpty(), "the private test server is not running");
        m_dataModule = std::make_unique<norvane::app::TMainDataModule>();
        // Tables of this test, created through a session of its own.
        auto& c = *m_dataModule->SQLConnection;
        c.setParams({env("NORVANE_TEST_USER"), env("NORVANE_TEST_PASSWORD"),
                     env("NORVANE_TEST_HOST"), env("NORVANE_TEST_DATABASE")});
        c.open();
        for (const char* sql : {"DROP TABLE IF EXISTS shell_logon_alpha, `shell logon beta`",
                                "CREATE TABLE shell_logon_alpha (id INT PRIMARY KEY)",
                                "CREATE TABLE `shell logon beta` (id INT)"})
            c.execute(QString::fromLatin1(sql));
        c.close();
    }
    void init()
    {
        QFile::remove(norvane::app::knownHostsPath());
        m_prompts = std::make_unique<RecordingPrompts>();
        m_form = std::make_unique<TMainForm>();
    }
    void cleanup()
    {
        m_dataModule->SQLConnection->close();
        m_form.reset();
        m_prompts.reset();
    }
    void cleanupTestCase() { m_dataModule.reset(); }

    void logOnFillsTheTreeAndLogOffEmptiesIt();
    void logOnToADatabaseWithoutTablesLeavesTheTreeEmpty();
    void cancelledLogonChangesNothing();

private:
    QAction* action(const char* name) const
    {
        return m_form->findChild<QAction*>(QLatin1String(name));
    }
    QTreeWidget* tree() const
    {
        return m_form->findChild<QTreeWidget*>(QStringLiteral("tvwTables"));
    }
    /// Answers the logon dialog with the test account on `database`.
    void answerLogon(const QString& database)
    {
        m_prompts->onDialog = [database](QDialog& dialog) {
            dialog.findChild<QComboBox*>(QStringLiteral("cbxHost"))
                ->setEditText(env("NORVANE_TEST_HOST"));
            dialog.findChild<QLineEdit*>(QStringLiteral("edUserName"))
                ->setText(env("NORVANE_TEST_USER"));
            dialog.findChild<QLineEdit*>(QStringLiteral("edPassword"))
                ->setText(env("NORVANE_TEST_PASSWORD"));
            dialog.findChild<QComboBox*>(QStringLiteral("cbxDatabase"))->setEditText(database);
            dialog.done(QDialog::Accepted);
            return dialog.result();
        };
    }
    QStringList nodeTexts() const
    {
        QStringList texts;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            texts << tree()->topLevelItem(i)->text(0);
        return texts;
    }

    std::unique_ptr<norvane::app::TMainDataModule> m_dataModule;
    std::unique_ptr<RecordingPrompts> m_prompts;
    std::unique_ptr<TMainForm> m_form;
};

void LogonDbTest::logOnFillsTheTreeAndLogOffEmptiesIt()
{
    answerLogon(env("NORVANE_TEST_DATABASE"));
    action("acLogin")->trigger();
    QCOMPARE(m_prompts->errors, QStringList());
    QCOMPARE(m_prompts->dialogs.size(), 1);
    QVERIFY(m_dataModule->SQLConnection->isConnected());

    const QStringList texts = nodeTexts();
    QVERIFY2(texts.contains(QStringLiteral("shell_logon_alpha")), qPrintable(texts.join(u',')));
    QVERIFY(texts.contains(QStringLiteral("shell logon beta")));
    QCOMPARE(tree()->currentItem(), nullptr);
    const QImage tableImage = m_form->imageList().icon(8).pixmap(16, 16).toImage();
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = tree()->topLevelItem(i);
        QCOMPARE(node->childCount(), 0);
        QCOMPARE(node->icon(0).pixmap(16, 16).toImage(), tableImage);
    }
    QTRY_VERIFY(action("acLogout")->isEnabled());
    QVERIFY(!action("acLogin")->isEnabled());

    // The session is shown in the status bar and the About window.
    const QString session = m_form->sessionPanelText();
    const QString expectedStart = QStringLiteral("%1@%2:%3, %4, ")
                                      .arg(env("NORVANE_TEST_USER"), env("NORVANE_TEST_HOST"),
                                           env("NORVANE_TEST_PORT"), env("NORVANE_TEST_DATABASE"));
    QVERIFY2(session.startsWith(expectedStart), qPrintable(session));
    QVERIFY2(session.contains(QStringLiteral(", TLS 1.3, MariaDB 1")), qPrintable(session));
    m_prompts->onDialog = [](QDialog&) { return int(QDialog::Rejected); };
    action("acAbout")->trigger();
    auto* about = m_form->aboutWindow()->findChild<QLabel*>(QStringLiteral("lbSession"));
    QVERIFY(about);
    QCOMPARE(about->text(), QStringLiteral("Session: ") + session);
    answerLogon(env("NORVANE_TEST_DATABASE"));

    // The host went to the front of the known hosts, and to the file at once.
    QVERIFY(norvane::catalogue::KnownHosts->Count() >= 1);
    auto saved = norvane::persist::LoadObject(norvane::app::knownHostsPath().toStdString());
    auto* savedHosts = dynamic_cast<norvane::catalogue::TNVHosts*>(saved.get());
    QVERIFY(savedHosts && savedHosts->IndexOf(env("NORVANE_TEST_HOST").toStdString()) == 0);
    QCOMPARE(QString::fromStdString(norvane::catalogue::KnownHosts->Keys(0)),
             env("NORVANE_TEST_HOST"));

    action("acLogout")->trigger();
    QCOMPARE(tree()->topLevelItemCount(), 0);
    QVERIFY(!m_dataModule->SQLConnection->isConnected());
    QCOMPARE(m_form->sessionPanelText(), QString());
    QTRY_VERIFY(action("acLogin")->isEnabled());
    QVERIFY(!action("acLogout")->isEnabled());

    // Log on again rebuilds the tree.
    action("acLogin")->trigger();
    QCOMPARE(nodeTexts(), texts);
    QCOMPARE(m_prompts->errors, QStringList());
}

void LogonDbTest::logOnToADatabaseWithoutTablesLeavesTheTreeEmpty()
{
    answerLogon(env("NORVANE_TEST_EMPTY_DATABASE"));
    action("acLogin")->trigger();
    QCOMPARE(m_prompts->errors, QStringList());
    QVERIFY(m_dataModule->SQLConnection->isConnected());
    QCOMPARE(tree()->topLevelItemCount(), 0);
}

void LogonDbTest::cancelledLogonChangesNothing()
{
    m_prompts->onDialog = [](QDialog&) { return int(QDialog::Rejected); };
    action("acLogin")->trigger();
    QCOMPARE(m_prompts->dialogs.size(), 1);
    QCOMPARE(tree()->topLevelItemCount(), 0);
    QVERIFY(!m_dataModule->SQLConnection->isConnected());
    QVERIFY(action("acLogin")->isEnabled());
    QCOMPARE(m_prompts->errors, QStringList());
}

QTEST_MAIN(LogonDbTest)
#include "LogonDbTest.moc"
