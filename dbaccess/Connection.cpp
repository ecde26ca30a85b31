#include "Connection.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <mutex>

namespace norvane::db {

namespace {

// Client errors that mean the session is gone, and the server's own goodbyes.
bool isConnectionLoss(unsigned code)
{
    switch (code) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case CR_COMMANDS_OUT_OF_SYNC:
    case ER_SERVER_SHUTDOWN:
    case ER_CONNECTION_KILLED:
    case 4031: // ER_CLIENT_INTERACTION_TIMEOUT
        return true;
    default:
        return false;
    }
}

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

} // namespace

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
    close();
    connectTo(m_params.database);
}

void Connection::close()
{
    if (m_mysql)
        closeHandle(false);
    m_lost = false;
}

void Connection::ensureOpen()
{
    if (m_mysql)
        return;
    if (!m_hasParams)
        throw DbError(QStringLiteral("Not connected: no logon settings were given"));
    // After a dropped session, come back on the database the session was using.
    const QString database =
        m_lost && !m_currentDatabase.isEmpty() ? m_currentDatabase : m_params.database;
    connectTo(database);
}

void Connection::connectTo(const QString& database)
{
    MYSQL* m = mysql_init(nullptr);
    if (!m)
        throw DbError(QStringLiteral("Out of memory while creating the connection"));
    mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const unsigned connectTimeout = 15;
    mysql_optionsv(m, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    const unsigned long maxPacket = 1024UL * 1024UL * 1024UL;
    mysql_optionsv(m, MYSQL_OPT_MAX_ALLOWED_PACKET, &maxPacket);
    const unsigned int noLocalInfile = 0;
    mysql_optionsv(m, MYSQL_OPT_LOCAL_INFILE, &noLocalInfile);

    const QByteArray host = m_params.host.toUtf8();
    const QByteArray user = m_params.user.toUtf8();
    const QByteArray password = m_params.password.toUtf8();
    const QByteArray db = database.toUtf8();
    // No port and no socket: the client library's defaults apply.
    if (!mysql_real_connect(m, host.isEmpty() ? nullptr : host.constData(), user.constData(),
                            password.constData(), db.isEmpty() ? nullptr : db.constData(), 0,
                            nullptr, CLIENT_FOUND_ROWS | CLIENT_MULTI_RESULTS)) {
        const QString message = QString::fromUtf8(mysql_error(m));
        const unsigned code = mysql_errno(m);
        mysql_close(m);
        throw DbError(message, code);
    }
    m_mysql = m;
    m_lost = false;
    m_currentDatabase = database;
    noteSchema();
    emit connectedChanged(true);
}

void Connection::closeHandle(bool lost)
{
    mysql_close(m_mysql);
    m_mysql = nullptr;
    m_lost = lost;
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
    if (mysql_real_query(m_mysql, sqlUtf8.constData(), static_cast<unsigned long>(sqlUtf8.size())))
        raiseError();
    ExecResult result;
    if (mysql_field_count(m_mysql) > 0) {
        result.hasResultSet = true;
        ResultPtr res(mysql_use_result(m_mysql));
        if (!res)
            raiseError();
        while (mysql_fetch_row(res.get())) {
        }
        if (mysql_errno(m_mysql))
            raiseError();
        result.affectedRows = mysql_num_rows(res.get());
    } else {
        result.affectedRows = mysql_affected_rows(m_mysql);
    }
    drainResults();
    noteSchema();
    return result;
}

ResultPtr Connection::query(const QByteArray& sqlUtf8)
{
    ensureOpen();
    if (mysql_real_query(m_mysql, sqlUtf8.constData(), static_cast<unsigned long>(sqlUtf8.size())))
        raiseError();
    ResultPtr res;
    if (mysql_field_count(m_mysql) > 0) {
        res.reset(mysql_store_result(m_mysql));
        if (!res)
            raiseError();
    }
    drainResults();
    noteSchema();
    return res;
}

unsigned Connection::sendQuery(const QByteArray& sqlUtf8)
{
    ensureOpen();
    if (mysql_real_query(m_mysql, sqlUtf8.constData(), static_cast<unsigned long>(sqlUtf8.size())))
        raiseError();
    noteSchema();
    return mysql_field_count(m_mysql);
}

ResultPtr Connection::useResult()
{
    if (!m_mysql)
        raiseError();
    ResultPtr res(mysql_use_result(m_mysql));
    if (!res)
        raiseError();
    return res;
}

void Connection::drainResults()
{
    if (!m_mysql)
        return;
    while (mysql_more_results(m_mysql)) {
        if (mysql_next_result(m_mysql) > 0)
            raiseError();
        ResultPtr extra(mysql_use_result(m_mysql));
        if (extra) {
            while (mysql_fetch_row(extra.get())) {
            }
        }
    }
}

QByteArray Connection::escape(const QByteArray& utf8) const
{
    QByteArray out(utf8.size() * 2 + 1, Qt::Uninitialized);
    unsigned long n = 0;
    if (m_mysql) {
        n = mysql_real_escape_string(m_mysql, out.data(), utf8.constData(),
                                     static_cast<unsigned long>(utf8.size()));
    } else {
        n = mysql_escape_string(out.data(), utf8.constData(),
                                static_cast<unsigned long>(utf8.size()));
    }
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
    if (!m_mysql)
        return false;
    unsigned int status = 0;
    if (mariadb_get_infov(m_mysql, MARIADB_CONNECTION_SERVER_STATUS, &status) != 0)
        return false;
    return (status & SERVER_STATUS_IN_TRANS) != 0;
}

std::uint64_t Connection::lastInsertId() const
{
    return m_mysql ? mysql_insert_id(m_mysql) : 0;
}

std::uint64_t Connection::affectedRows() const
{
    return m_mysql ? mysql_affected_rows(m_mysql) : 0;
}

} // namespace norvane::db
