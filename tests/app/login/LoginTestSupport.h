#pragma once
// The logon dialog driven headless: scripted prompts and the dialog's controls by name.

#include "app/LoginDlg.h"
#include "catalogue/NVMySQLObject.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <functional>
#include <memory>

namespace norvane::test {

using catalogue::TNVHost;

inline QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

/// Answers the dialog with a script and records every error message box.
class ScriptedPrompts : public widgets::Prompts
{
public:
    std::function<void(QDialog&)> script;
    QStringList errors;
    int dialogsRun = 0;

    void showError(QWidget*, const QString& message) override { errors << message; }
    QMessageBox::StandardButton ask(QWidget*, const QString&, const QString&,
                                    QMessageBox::StandardButtons,
                                    QMessageBox::StandardButton) override
    {
        return QMessageBox::Cancel;
    }
    QString fileAnswer;
    QString openFileName(QWidget*, const widgets::FilePromptOptions&) override
    {
        return fileAnswer;
    }
    QString saveFileName(QWidget*, const widgets::FilePromptOptions&) override { return {}; }
    int execDialog(QDialog& dialog) override
    {
        ++dialogsRun;
        dialog.show();
        if (script)
            script(dialog);
        // A dialog the script did not close counts as cancelled, as its close box would.
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
};

/// The dialog's controls, found by their names.
struct Controls
{
    explicit Controls(QDialog& d)
        : dialog(d), host(d.findChild<QComboBox*>(QStringLiteral("cbxHost"))),
          port(d.findChild<QSpinBox*>(QStringLiteral("spedPort"))),
          user(d.findChild<QLineEdit*>(QStringLiteral("edUserName"))),
          password(d.findChild<QLineEdit*>(QStringLiteral("edPassword"))),
          database(d.findChild<QComboBox*>(QStringLiteral("cbxDatabase"))),
          store(d.findChild<QCheckBox*>(QStringLiteral("cbxStore"))),
          ok(d.findChild<QPushButton*>(QStringLiteral("BitBtn1"))),
          cancel(d.findChild<QPushButton*>(QStringLiteral("BitBtn2"))),
          tls(d.findChild<QComboBox*>(QStringLiteral("cbxTLSMode"))),
          acOk(d.findChild<QAction*>(QStringLiteral("acOk")))
    {
    }
    bool complete() const
    {
        return host && port && user && password && database && store && ok && cancel && tls && acOk;
    }
    /// Types into the host text as a user would, key by key.
    void typeHost(const QString& text)
    {
        host->lineEdit()->selectAll();
        QTest::keyClick(host->lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(host->lineEdit(), text);
    }
    void fill(const QString& h, const QString& u, const QString& p, const QString& db)
    {
        host->setEditText(h);
        user->setText(u);
        password->setText(p);
        database->setEditText(db);
    }

    QDialog& dialog;
    QComboBox* host;
    QSpinBox* port;
    QLineEdit* user;
    QLineEdit* password;
    QComboBox* database;
    QCheckBox* store;
    QPushButton* ok;
    QPushButton* cancel;
    QComboBox* tls;
    QAction* acOk;
};

inline TNVHost* knownHost(const QString& host, const QString& user, const QString& password,
                          bool store, int port = 0)
{
    auto* h = new TNVHost;
    h->FHost = host.toStdString();
    h->FUID = user.toStdString();
    h->FPWD = password.toStdString();
    h->FStorePWD = store;
    h->FPort = port;
    return h;
}

/// What the logon dialog tests share: the session and query the dialog lists databases with,
/// the scripted prompts, and the host and database objects it fills.
class LoginFixture
{
protected:
    std::unique_ptr<db::Connection> m_connection;
    std::unique_ptr<db::SqlSource> m_query;
    ScriptedPrompts m_prompts;
    widgets::Prompts* m_previous = nullptr;
    std::unique_ptr<TNVHost> m_host;
    std::unique_ptr<catalogue::TNVDataBase> m_database;

    /// Fresh objects for each test: session, catalogue query, known hosts, host, database.
    void createObjects()
    {
        m_connection = std::make_unique<db::Connection>();
        m_query = std::make_unique<db::SqlSource>(m_connection.get());
        catalogue::SetCatalogueQuery(m_query.get());
        catalogue::KnownHosts = std::make_unique<catalogue::TNVHosts>();
        m_host = std::make_unique<TNVHost>();
        m_database = std::make_unique<catalogue::TNVDataBase>();
        m_prompts.errors.clear();
        m_prompts.dialogsRun = 0;
        m_prompts.fileAnswer.clear();
    }

    void destroyObjects()
    {
        m_database.reset();
        m_host.reset();
        catalogue::SetCatalogueQuery(nullptr);
        m_query.reset();
        m_connection.reset();
        catalogue::KnownHosts.reset();
    }

    /// Runs the dialog over the test's host and database objects with `script`.
    bool run(const std::function<void(Controls&)>& script)
    {
        m_prompts.script = [&script](QDialog& d) {
            Controls c(d);
            QVERIFY(c.complete());
            script(c);
        };
        return app::ShowLoginForm(m_host.get(), m_database.get());
    }
};

} // namespace norvane::test
