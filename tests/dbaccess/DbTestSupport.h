#pragma once
// Helpers for tests against the private server: a connected session from the environment the
// fixture exports, unique table names, and a second session that plays "another user".

#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/Provider.h"
#include "dbaccess/SqlSource.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <cstdlib>
#include <memory>

namespace norvane::db::test {

inline QString env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? QString::fromUtf8(v) : QString();
}

inline ConnectionParams testParams()
{
    return {env("NORVANE_TEST_USER"), env("NORVANE_TEST_PASSWORD"), env("NORVANE_TEST_HOST"),
            env("NORVANE_TEST_DATABASE")};
}

inline std::unique_ptr<Connection> openConnection()
{
    auto c = std::make_unique<Connection>();
    c->setParams(testParams());
    c->open();
    return c;
}

/// A table name no other test uses: prefix, process id and a counter.
inline QString uniqueName(const char* prefix)
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1_%2_%3")
        .arg(QLatin1String(prefix))
        .arg(QCoreApplication::applicationPid())
        .arg(++counter);
}

/// Runs statements on a session and fails the test on a refusal.
inline void exec(Connection& c, const QString& sql)
{
    try {
        c.execute(sql);
    } catch (const DbError& e) {
        FAIL() << sql.toStdString() << ": " << e.what();
    }
}

/// The first column of the first row of a query, as text ("NULL" for null).
inline QString scalar(Connection& c, const QString& sql)
{
    SqlSource q(&c);
    q.setSql(sql);
    q.open();
    if (q.eof())
        return QStringLiteral("<no row>");
    return q.field(0).isNull() ? QStringLiteral("NULL") : q.field(0).asString();
}

/// The source -> provider -> dataset chain over one table, as the table browser builds it.
struct TableChain
{
    explicit TableChain(Connection& c, const QString& table) : source(&c), provider(&source), data()
    {
        source.setObjectName(QStringLiteral("sqryData"));
        data.setObjectName(QStringLiteral("cdsData"));
        source.setTableName(table);
        data.setProvider(&provider);
    }
    void open()
    {
        source.open();
        data.open();
    }
    /// Collects the message of every refused change into `into`.
    void recordRefusals(QStringList& into)
    {
        data.onReconcileError = [&into](ClientDataSet&, const ReconcileInfo& info) {
            into << info.message;
        };
    }
    SqlSource source;
    Provider provider;
    ClientDataSet data;
};

} // namespace norvane::db::test
