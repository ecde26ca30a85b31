#include "Connection.h"

#include "ConnectHandle.h"
#include "ResultStream.h"
#include "SessionWorker.h"

#include <errmsg.h>
#include <mysql.h>

namespace norvane::db {

void ResultDeleter::operator()(st_mysql_res* res) const
{
    if (res)
        mysql_free_result(res);
}

Connection::Connection(QObject* parent) : QObject(parent)
{
    initLibrary();
}

Connection::~Connection()
{
    if (ResultStream* stream = m_stream) {
        stream->abort();
        stream->forgetConnection();
    }
    if (m_mysql)
        mysql_close(m_mysql);
}

void Connection::setParams(const ConnectionParams& params)
{
    m_params = params;
    m_hasParams = true;
}

void Connection::open()
{
    settle();
    close();
    connectTo(m_params.database);
}

void Connection::close()
{
    if (m_busy)
        checkIdle();
    if (m_stream)
        m_stream->stopAndWait();
    if (m_mysql)
        closeHandle(false);
    m_lost = false;
}

void Connection::ensureOpen()
{
    settle();
    if (m_mysql)
        return;
    if (!m_hasParams)
        throw DbError(QStringLiteral("Not connected: no logon settings were given"));
    // After a dropped session, come back on the database the session was using.
    const QString database =
        m_lost && !m_currentDatabase.isEmpty() ? m_currentDatabase : m_params.database;
    connectTo(database);
}

QString Connection::serverVersion() const
{
    return m_mysql ? QString::fromUtf8(mysql_get_server_info(m_mysql)) : QString();
}

QString Connection::tlsVersion() const
{
    const char* version = nullptr;
    if (!m_mysql || mariadb_get_infov(m_mysql, MARIADB_CONNECTION_TLS_VERSION, &version) != 0 ||
        !version)
        return QString();
    return QString::fromUtf8(version);
}

int Connection::serverPort() const
{
    if (!m_mysql)
        return 0;
    const char* socket = nullptr;
    mariadb_get_infov(m_mysql, MARIADB_CONNECTION_UNIX_SOCKET, &socket);
    unsigned int port = 0;
    if ((socket && *socket) || mariadb_get_infov(m_mysql, MARIADB_CONNECTION_PORT, &port) != 0)
        return 0;
    return static_cast<int>(port);
}

void Connection::closeHandle(bool lost)
{
    mysql_close(m_mysql);
    m_mysql = nullptr;
    m_lost = lost;
    // What the user set lives and dies with the session; the next one starts at logon settings.
    m_ownSettings.clear();
    m_userSettings.clear();
    m_settingsUnknown = false;
    emit connectedChanged(false);
}

void Connection::noteSchema()
{
    if (!m_mysql)
        return;
    const char* schema = nullptr;
    if (mariadb_get_infov(m_mysql, MARIADB_CONNECTION_SCHEMA, &schema) == 0)
        m_currentDatabase = schema ? QString::fromUtf8(schema) : QString();
}

void Connection::raiseError()
{
    const unsigned code = m_mysql ? mysql_errno(m_mysql) : CR_SERVER_GONE_ERROR;
    QString message =
        m_mysql ? QString::fromUtf8(mysql_error(m_mysql)) : QStringLiteral("Not connected");
    if (m_mysql && isConnectionLoss(code)) {
        if (code == CR_SSL_CONNECTION_ERROR)
            message = QStringLiteral("Lost connection to server (%1)").arg(message);
        closeHandle(true);
        message += QStringLiteral(" (the connection was closed; it is opened again on the "
                                  "next operation)");
        throw DbError(message, code, true);
    }
    throw DbError(message, code);
}

ExecResult Connection::execute(const QString& sql)
{
    return execute(sql.toUtf8());
}

ExecResult Connection::execute(const QByteArray& sqlUtf8)
{
    ensureOpen();
    useOwnSettings();
    ExecResult result;
    const bool ok = roundTrip([&result, &sqlUtf8](st_mysql* m) {
        if (mysql_real_query(m, sqlUtf8.constData(), static_cast<unsigned long>(sqlUtf8.size())))
            return false;
        if (mysql_field_count(m) > 0) {
            result.hasResultSet = true;
            ResultPtr res(mysql_use_result(m));
            if (!res)
                return false;
            while (mysql_fetch_row(res.get())) {
            }
            if (mysql_errno(m))
                return false;
            result.affectedRows = mysql_num_rows(res.get());
        } else {
            result.affectedRows = mysql_affected_rows(m);
        }
        return drainFurther(m) == 0;
    });
    if (!ok)
        raiseError();
    noteSchema();
    return result;
}

ResultPtr Connection::query(const QByteArray& sqlUtf8)
{
    ensureOpen();
    useOwnSettings();
    ResultPtr res;
    if (!storeRoundTrip(sqlUtf8, res))
        raiseError();
    noteSchema();
    return res;
}

bool Connection::storeRoundTrip(const QByteArray& sqlUtf8, ResultPtr& res)
{
    return roundTrip([&res, &sqlUtf8](st_mysql* m) {
        if (mysql_real_query(m, sqlUtf8.constData(), static_cast<unsigned long>(sqlUtf8.size())))
            return false;
        if (mysql_field_count(m) > 0) {
            res.reset(mysql_store_result(m));
            if (!res)
                return false;
        }
        return drainFurther(m) == 0;
    });
}

unsigned Connection::sendQuery(const QByteArray& sqlUtf8)
{
    ensureOpen();
    useOwnSettings();
    runInternal(sqlUtf8);
    noteSchema();
    return mysql_field_count(m_mysql);
}

unsigned Connection::sendUserQuery(const QByteArray& sqlUtf8)
{
    ensureOpen();
    useUserSettings();
    runInternal(sqlUtf8);
    noteSchema();
    return mysql_field_count(m_mysql);
}

void Connection::runInternal(const QByteArray& sql)
{
    const bool ok = roundTrip([&sql](st_mysql* m) {
        return mysql_real_query(m, sql.constData(), static_cast<unsigned long>(sql.size())) == 0;
    });
    if (!ok)
        raiseError();
}

ResultPtr Connection::useResult()
{
    // Sets the result up; its rows are read by whoever takes it (a background reader).
    settle();
    if (!m_mysql)
        raiseError();
    ResultPtr res(mysql_use_result(m_mysql));
    if (!res)
        raiseError();
    return res;
}

void Connection::drainResults()
{
    settle();
    if (!m_mysql || !mysql_more_results(m_mysql))
        return;
    if (!roundTrip([](st_mysql* m) { return drainFurther(m) == 0; }))
        raiseError();
}

QByteArray Connection::escape(const QByteArray& utf8) const
{
    // Only the session knows its character set and whether NO_BACKSLASH_ESCAPES is on.
    checkIdle();
    if (!m_mysql)
        throw DbError(QStringLiteral("Not connected: text cannot be escaped without a session"));
    QByteArray out(utf8.size() * 2 + 1, Qt::Uninitialized);
    const unsigned long n = mysql_real_escape_string(m_mysql, out.data(), utf8.constData(),
                                                     static_cast<unsigned long>(utf8.size()));
    out.truncate(static_cast<qsizetype>(n));
    return out;
}

QByteArray Connection::quoteString(const QByteArray& utf8) const
{
    return '\'' + escape(utf8) + '\'';
}

QByteArray Connection::hexLiteral(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QByteArrayLiteral("''");
    return "X'" + bytes.toHex() + '\'';
}

QString Connection::quoteIdentifier(const QString& name)
{
    QString inner = name;
    inner.replace(QLatin1Char('`'), QStringLiteral("``"));
    return QLatin1Char('`') + inner + QLatin1Char('`');
}

bool Connection::inTransaction() const
{
    // The worker owns the handle meanwhile; the statement it runs has not reported yet.
    if (m_busy || m_stream)
        return m_busyInTransaction;
    if (!m_mysql)
        return false;
    unsigned int status = 0;
    if (mariadb_get_infov(m_mysql, MARIADB_CONNECTION_SERVER_STATUS, &status) != 0)
        return false;
    return (status & SERVER_STATUS_IN_TRANS) != 0;
}

std::uint64_t Connection::lastInsertId() const
{
    return m_mysql && !m_busy && !m_stream ? mysql_insert_id(m_mysql) : 0;
}

std::uint64_t Connection::affectedRows() const
{
    return m_mysql && !m_busy && !m_stream ? mysql_affected_rows(m_mysql) : 0;
}

} // namespace norvane::db
