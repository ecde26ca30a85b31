#pragma once
// Shared by the widget tests: a session from the fixture's environment, unique tables, the
// table chain of the Data page wired to apply every post and delete at once, and prompts that
// answer from a script.

#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/Provider.h"
#include "dbaccess/SqlSource.h"
#include "widgets/DataSource.h"
#include "widgets/Prompts.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTest>

#include <cstdlib>
#include <deque>
#include <memory>

namespace norvane::widgets::test {

inline QString env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? QString::fromUtf8(v) : QString();
}

/// A connected session; throws (failing the test) when the server is not there.
inline std::unique_ptr<db::Connection> openConnection()
{
    auto c = std::make_unique<db::Connection>();
    c->setParams({env("NORVANE_TEST_USER"), env("NORVANE_TEST_PASSWORD"), env("NORVANE_TEST_HOST"),
                  env("NORVANE_TEST_DATABASE")});
    c->open();
    return c;
}

inline QString uniqueName(const char* prefix)
{
    static int counter = 0;
    return QStringLiteral("w%1_%2_%3")
        .arg(QLatin1String(prefix))
        .arg(QCoreApplication::applicationPid())
        .arg(++counter);
}

/// The first column of the first row, "NULL" for null, "<no row>" without a row.
inline QString scalar(db::Connection& c, const QString& sql)
{
    db::SqlSource q(&c);
    q.setSql(sql);
    q.open();
    if (q.eof())
        return QStringLiteral("<no row>");
    return q.field(0).isNull() ? QStringLiteral("NULL") : q.field(0).asString();
}

/// sqry -> dsp -> cds -> ds over one table or statement, posting and deleting straight to the
/// server as the table browser does; errors shown go to `errors` instead of a message box.
struct Chain
{
    explicit Chain(db::Connection& c, const QString& table, bool readOnly = false)
        : source(&c), provider(&source)
    {
        source.setObjectName(QStringLiteral("sqryData"));
        data.setObjectName(QStringLiteral("cdsData"));
        if (table.startsWith(QLatin1String("SELECT")))
            source.setSql(table);
        else
            source.setTableName(table);
        data.setProvider(&provider);
        data.setReadOnly(readOnly);
        auto apply = [](db::ClientDataSet& d) {
            if (d.changeCount() > 0)
                d.applyUpdates(0);
        };
        data.afterPost = apply;
        data.afterDelete = apply;
        data.onReconcileError = [](db::ClientDataSet&, const db::ReconcileInfo& info) {
            throw db::DbError(info.message);
        };
        ds.setObjectName(QStringLiteral("dsData"));
        ds.setDataSet(&data);
        ds.setErrorSink([this](const QString& m) { errors << m; });
    }
    void open()
    {
        source.open();
        data.open();
    }

    db::SqlSource source;
    db::Provider provider;
    db::ClientDataSet data;
    DataSource ds;
    QStringList errors;
};

/// Answers questions from a queue and records them; any other dialog fails the test.
class ScriptedPrompts : public Prompts
{
public:
    ScriptedPrompts() : m_previous(setPrompts(this)) {}
    ~ScriptedPrompts() override { setPrompts(m_previous); }
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    std::deque<QMessageBox::StandardButton> answers;
    QStringList questions;
    QStringList shownErrors;

    void showError(QWidget*, const QString& message) override { shownErrors << message; }
    QMessageBox::StandardButton ask(QWidget*, const QString&, const QString& text,
                                    QMessageBox::StandardButtons,
                                    QMessageBox::StandardButton) override
    {
        questions << text;
        if (answers.empty())
            return QMessageBox::Cancel;
        const auto a = answers.front();
        answers.pop_front();
        return a;
    }
    QString openFileName(QWidget*, const FilePromptOptions&) override { return {}; }
    QString saveFileName(QWidget*, const FilePromptOptions&) override { return {}; }
    int execDialog(QDialog&) override { return 0; }

private:
    Prompts* m_previous;
};

} // namespace norvane::widgets::test
