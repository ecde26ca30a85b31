// The connection side of the database object: logging on and off, the server's database
// list and the table list, all on the shared connection through the catalogue query.
#include "catalogue/NVMySQLObject.h"

#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"

namespace norvane::catalogue {

namespace {

db::SqlSource* g_catalogueQuery = nullptr;

/// Closes `query`, gives it the one line `statement` and opens it under the logon settings of
/// the session (the console may have changed the character set of results).
void runCatalogueStatement(db::SqlSource& query, const QString& statement)
{
    query.close();
    query.setUserStatements(false);
    query.clearSql();
    query.addSql(statement);
    query.open();
}

db::SqlSource& requireQuery(db::SqlSource* query)
{
    if (!query)
        throw Error("No catalogue query: the data module does not exist");
    return *query;
}

} // namespace

void SetCatalogueQuery(db::SqlSource* query)
{
    g_catalogueQuery = query;
}

db::SqlSource* CatalogueQuery()
{
    return g_catalogueQuery;
}

db::Connection& TNVDataBase::sharedConnection() const
{
    db::Connection* connection = requireQuery(Query).connection();
    if (!connection)
        throw Error("The catalogue query has no connection");
    return *connection;
}

bool TNVDataBase::Connect()
{
    if (!Host)
        throw Error("The database " + FDataBase + " has no host to connect to");
    db::Connection& connection = sharedConnection();
    // The catalogue query reads from the session about to be replaced.
    Query->close();
    connection.close();
    db::ConnectionParams params;
    params.user = QString::fromStdString(Host->FUID);
    params.password = QString::fromStdString(Host->FPWD);
    params.host = QString::fromStdString(Host->FHost);
    params.database = QString::fromStdString(FDataBase);
    params.port = Host->FPort;
    params.tls = Host->FTLSMode <= static_cast<std::uint8_t>(db::TlsMode::Off)
                     ? static_cast<db::TlsMode>(Host->FTLSMode)
                     : db::TlsMode::Required;
    params.tlsCaFile = QString::fromStdString(Host->FTLSCAFile);
    connection.setParams(params);
    connection.open();
    return connection.isConnected();
}

bool TNVDataBase::Disconnect()
{
    if (!Query || !Query->connection())
        return true;
    Query->close();
    Query->connection()->close();
    return !Query->connection()->isConnected();
}

void TNVDataBase::LoadTables()
{
    db::SqlSource& query = requireQuery(Query);
    // Named, not the session's current database: the console's USE may have changed that.
    const QString database = QString::fromStdString(FDataBase);
    runCatalogueStatement(
        query,
        database.isEmpty()
            ? QStringLiteral("SHOW TABLES")
            : QStringLiteral("SHOW TABLES FROM %1").arg(db::Connection::quoteIdentifier(database)));
    // Removed entries stay alive: the window may still hold the table it shows.
    for (int i = Tables->Count() - 1; i >= 0; --i) {
        m_retiredTables.emplace_back(dynamic_cast<TCustomNVTable*>(Tables->GetItem(i)));
        Tables->Delete(i);
    }
    while (!query.eof()) {
        auto table = std::make_unique<TNVTable>();
        table->Name = query.field(0).asString().toStdString();
        table->DataBase = this;
        const std::string key = table->Name;
        Tables->AddObject(key, std::move(table));
        query.next();
    }
    query.close();
}

QString ListDataBaseNames(TNVHost* host, QStringList& names)
{
    try {
        // No default database: every user may log on without one and run SHOW DATABASES,
        // which lists what that user may use (a database such as "mysql" would refuse most).
        TNVDataBase temporary;
        temporary.Host = host;
        temporary.Connect();
        db::SqlSource& query = requireQuery(temporary.Query);
        runCatalogueStatement(query, QStringLiteral("SHOW DATABASES"));
        QStringList listed;
        while (!query.eof()) {
            listed.append(query.field(0).asString());
            query.next();
        }
        query.close();
        names = listed;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("The databases could not be listed");
    }
    return QString();
}

void GetDataBaseNames(TNVHost* host, QStringList& names)
{
    ListDataBaseNames(host, names);
}

} // namespace norvane::catalogue
