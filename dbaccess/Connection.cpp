#include "Connection.h"

#include "ResultStream.h"
#include "SessionWorker.h"
#include "SqlLiterals.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <iterator>
#include <mutex>
#include <utility>

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
    // An established TLS session whose server went away fails in the TLS layer ("unexpected
    // eof while reading"); refused handshakes never come this way, they fail the connect.
    case CR_SSL_CONNECTION_ERROR:
        return true;
    default:
        return false;
    }
}

// Session variables that change what the application's statements mean or return: how text
// travels (a SET NAMES latin1 would store UTF-8 bytes as Latin-1 text and return rows in
// Latin-1), how literals and CHAR values read (NO_BACKSLASH_ESCAPES, ANSI_QUOTES,
// PAD_CHAR_TO_FULL_LENGTH, strictness), which instant a TIMESTAMP shows, and how many rows a
// SELECT without LIMIT returns. The console's user may set any of them for their own work.
constexpr const char* kSessionSettings[] = {
    "character_set_client",
    "character_set_connection",
    "character_set_results",
    "collation_connection",
    "sql_mode",
    "time_zone",
    "sql_select_limit",
};
constexpr int kSelectLimitSetting = 6;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

// Plugins that never put the password on the wire, so a server or anyone in the middle of an
// unverified connection cannot learn it. Left out: mysql_clear_password and dialog (the
// password as typed), and sha256_password/caching_sha2_password, which send it in clear over
// TLS and encrypt it otherwise with a public key the server supplies unverified.
constexpr const char* kSafeAuthPlugins = "mysql_native_password,client_ed25519";

QString tlsModeName(TlsMode mode)
{
    switch (mode) {
    case TlsMode::Preferred:
        return QStringLiteral("Preferred");
    case TlsMode::Required:
        return QStringLiteral("Required");
    case TlsMode::VerifyCa:
        return QStringLiteral("Verify CA");
    case TlsMode::VerifyIdentity:
        return QStringLiteral("Verify identity");
    case TlsMode::Off:
        return QStringLiteral("Off");
    }
    return QString();
}

bool verifiesCertificate(TlsMode mode)
{
    return mode == TlsMode::VerifyCa || mode == TlsMode::VerifyIdentity;
}

/// The client library's message with the cause spelt out for the refusals it words tersely.
QString explainConnectError(unsigned code, const QString& message, const ConnectionParams& p)
{
    const QString host = p.host.isEmpty() ? QStringLiteral("localhost") : p.host;
    if (code == CR_PLUGIN_NOT_ALLOWED) {
        const qsizetype open = message.indexOf(QLatin1Char('\''));
        const qsizetype close = message.indexOf(QLatin1Char('\''), open + 1);
        const QString plugin =
            open >= 0 && close > open ? message.mid(open + 1, close - open - 1) : message;
        return QStringLiteral("The server %1 asked for the authentication plugin \"%2\", which "
                              "would reveal the password on this connection; the logon was "
                              "refused. Use TLS with \"Verify CA\" or \"Verify identity\", "
                              "or the local socket.")
            .arg(host, plugin);
    }
    if (code != CR_SSL_CONNECTION_ERROR)
        return message;
    if (message.contains(QLatin1String("does not support")))
        return QStringLiteral("The server %1 does not offer TLS, which this host requires "
                              "(TLS mode %2); nothing was sent.")
            .arg(host, tlsModeName(p.tls));
    if (message.contains(QLatin1String("Validation of SSL server certificate failed")))
        return QStringLiteral("The server's certificate does not name the host %1 (TLS mode "
                              "Verify identity): %2")
            .arg(host, message);
    if (message.contains(QLatin1String("certificate")) || message.contains(QLatin1String("issuer")))
        return QStringLiteral("The server's certificate is not trusted by the CA file %1 (TLS "
                              "mode %2): %3")
            .arg(p.tlsCaFile, tlsModeName(p.tls), message);
    return QStringLiteral("The TLS handshake with the server %1 failed: %2").arg(host, message);
}

void applyTlsOptions(MYSQL* m, const ConnectionParams& params)
{
    const my_bool yes = 1;
    switch (params.tls) {
    case TlsMode::Off:
        return;
    case TlsMode::Preferred:
        // With every argument null this only asks for TLS when the server offers it.
        mysql_ssl_set(m, nullptr, nullptr, nullptr, nullptr, nullptr);
        return;
    case TlsMode::VerifyIdentity:
        mysql_optionsv(m, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &yes);
        [[fallthrough]];
    case TlsMode::VerifyCa: {
        const QByteArray ca = QFile::encodeName(params.tlsCaFile);
        mysql_optionsv(m, MYSQL_OPT_SSL_CA, ca.constData());
        [[fallthrough]];
    }
    case TlsMode::Required:
        mysql_optionsv(m, MYSQL_OPT_SSL_ENFORCE, &yes);
        return;
    }
}

// Opens a handle with the session's settings; throws `DbError` and leaves nothing open on
// failure. Touches nothing but its arguments, so a worker thread may run it.
MYSQL* connectHandle(const ConnectionParams& params, const QString& database, unsigned timeout)
{
    const TlsMode tls = params.tls;
    if (verifiesCertificate(tls)) {
        const QFileInfo ca(params.tlsCaFile);
        if (params.tlsCaFile.isEmpty())
            throw DbError(QStringLiteral("TLS mode %1 needs a CA file").arg(tlsModeName(tls)));
        if (!ca.isFile() || !ca.isReadable())
            throw DbError(QStringLiteral("The CA file %1 cannot be read").arg(params.tlsCaFile));
    }
    MYSQL* m = mysql_init(nullptr);
    if (!m)
        throw DbError(QStringLiteral("Out of memory while creating the connection"));
    mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_optionsv(m, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    const unsigned long maxPacket = 1024UL * 1024UL * 1024UL;
    mysql_optionsv(m, MYSQL_OPT_MAX_ALLOWED_PACKET, &maxPacket);
    const unsigned int noLocalInfile = 0;
    mysql_optionsv(m, MYSQL_OPT_LOCAL_INFILE, &noLocalInfile);
    applyTlsOptions(m, params);
    const bool socket = usesLocalSocket(params.host);
    if (!socket && !verifiesCertificate(tls))
        mysql_optionsv(m, MARIADB_OPT_RESTRICTED_AUTH, kSafeAuthPlugins);

    // A path is the socket itself; "localhost" and an empty host use the default socket.
    const bool path = params.host.startsWith(QLatin1Char('/'));
    const QByteArray host = path ? QByteArray() : params.host.toUtf8();
    const QByteArray unixSocket = path ? QFile::encodeName(params.host) : QByteArray();
    const QByteArray user = params.user.toUtf8();
    const QByteArray password = params.password.toUtf8();
    const QByteArray db = database.toUtf8();
    const unsigned port =
        params.port > 0 && params.port <= 65535 ? static_cast<unsigned>(params.port) : 0U;
    QElapsedTimer elapsed;
    elapsed.start();
    if (!mysql_real_connect(m, host.isEmpty() ? nullptr : host.constData(), user.constData(),
                            password.constData(), db.isEmpty() ? nullptr : db.constData(), port,
                            path ? unixSocket.constData() : nullptr,
                            CLIENT_FOUND_ROWS | CLIENT_MULTI_RESULTS)) {
        const unsigned code = mysql_errno(m);
        QString message = explainConnectError(code, QString::fromUtf8(mysql_error(m)), params);
        mysql_close(m);
        // A host that takes the connection but never greets (or never answers at all) ends
        // in the connect timeout; the client library words it as a lost connection.
        const bool silent =
            code == CR_SERVER_LOST || code == CR_CONN_HOST_ERROR || code == CR_CONNECTION_ERROR;
        if (silent && elapsed.elapsed() + 500 >= qint64(timeout) * 1000)
            message = QStringLiteral("The server %1 did not answer within %2 s: %3")
                          .arg(params.host.isEmpty() ? QStringLiteral("localhost") : params.host)
                          .arg(timeout)
                          .arg(message);
        throw DbError(message, code);
    }
    // Connector/C 3.3 enforces TLS before the logon only together with the certificate check;
    // a required but unverified session that came up in clear is dropped before any statement
    // (the logon itself used a plugin that never sends the password).
    const char* tlsVersion = nullptr;
    mariadb_get_infov(m, MARIADB_CONNECTION_TLS_VERSION, &tlsVersion);
    if (tls != TlsMode::Preferred && tls != TlsMode::Off && !tlsVersion) {
        mysql_close(m);
        throw DbError(explainConnectError(CR_SSL_CONNECTION_ERROR,
                                          QStringLiteral("the server does not support TLS"),
                                          params),
                      CR_SSL_CONNECTION_ERROR);
    }
    return m;
}

} // namespace

bool usesLocalSocket(const QString& host)
{
    return host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host.startsWith(QLatin1Char('/'));
}

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

void Connection::setBackgroundWork(bool on)
{
    settle();
    m_worker = on ? std::make_unique<SessionWorker>() : nullptr;
}

void Connection::checkIdle() const
{
    if (m_busy || m_stream)
        throw DbError(QStringLiteral("The session is busy: a statement is running. Stop it or "
                                     "wait until it ends."));
}

void Connection::setBusy(bool busy)
{
    m_busy = busy;
    emit busyChanged(busy);
}

void Connection::stop()
{
    // The Stop button stays clickable while the stop itself waits for the server.
    if (m_stopping.active())
        return;
    const ReentryGuard::Scope stopping(m_stopping);
    if (m_stream) {
        m_stream->requestStop();
        return;
    }
    if (!m_busy)
        return;
    if (m_connecting) {
        m_worker->abandon();
        return;
    }
    killQuery(m_runningThreadId, true);
}

void Connection::killQuery(unsigned long threadId, bool processEvents)
{
    // The user may kill the statements of their own sessions; KILL QUERY ends the statement
    // and keeps the session with its database, character set and transaction.
    const ConnectionParams params = m_params;
    const auto kill = [params, threadId] {
        MYSQL* k = connectHandle(params, QString(), 5);
        const QByteArray sql = "KILL QUERY " + QByteArray::number(qulonglong(threadId));
        const bool failed =
            mysql_real_query(k, sql.constData(), static_cast<unsigned long>(sql.size()));
        const QString message = QString::fromUtf8(mysql_error(k));
        const unsigned code = mysql_errno(k);
        mysql_close(k);
        if (failed)
            throw DbError(QStringLiteral("The statement could not be stopped: %1").arg(message),
                          code);
    };
    if (processEvents && m_worker) {
        SessionWorker killer;
        killer.run(kill);
    } else {
        kill();
    }
}

void Connection::settle()
{
    finishFetch();
    checkIdle();
}

void Connection::finishFetch()
{
    if (!m_stream)
        return;
    if (m_busy)
        checkIdle();
    m_stream->waitForEnd();
}

void Connection::streamStarted(ResultStream* stream)
{
    m_busyInTransaction = inTransaction();
    m_stream = stream;
}

void Connection::streamEnded(ResultStream* stream)
{
    if (m_stream != stream)
        return;
    m_stream = nullptr;
    noteSchema();
    if (stream->reported())
        emit fetchEnded(stream->rowsRead(), !stream->incomplete(),
                        stream->error() && !stream->stopped() ? stream->error()->message()
                                                              : QString());
}

DbError Connection::streamError(unsigned code, const QString& message)
{
    if (m_mysql && isConnectionLoss(code)) {
        closeHandle(true);
        return DbError(message + QStringLiteral(" (the connection was closed; it is opened again "
                                                "on the next operation)"),
                       code, true);
    }
    return DbError(message, code);
}

void Connection::runUserStatement(const QByteArray& sql)
{
    if (!m_worker) {
        runInternal(sql);
        return;
    }
    MYSQL* m = m_mysql;
    m_runningThreadId = mysql_thread_id(m);
    m_busyInTransaction = inTransaction();
    auto failed = std::make_shared<bool>(false);
    setBusy(true);
    try {
        m_worker->run([m, sql, failed] {
            *failed = mysql_real_query(m, sql.constData(), static_cast<unsigned long>(sql.size()));
        });
    } catch (...) {
        setBusy(false);
        throw;
    }
    setBusy(false);
    if (*failed)
        raiseError();
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

void Connection::connectTo(const QString& database)
{
    checkIdle();
    MYSQL* m = nullptr;
    if (!m_worker) {
        m = connectHandle(m_params, database, m_connectTimeout);
    } else {
        // The attempt owns its handle until this thread takes it; an abandoned attempt closes
        // it alone whenever the client library gives up.
        struct Job
        {
            std::mutex mutex;
            MYSQL* handle = nullptr;
            bool abandoned = false;
        };
        auto job = std::make_shared<Job>();
        const ConnectionParams params = m_params;
        const unsigned timeout = m_connectTimeout;
        m_connecting = true;
        setBusy(true);
        bool finished = false;
        try {
            finished = m_worker->run([job, params, database, timeout] {
                MYSQL* h = connectHandle(params, database, timeout);
                const std::lock_guard lock(job->mutex);
                if (job->abandoned)
                    mysql_close(h);
                else
                    job->handle = h;
            });
        } catch (...) {
            m_connecting = false;
            setBusy(false);
            throw;
        }
        m_connecting = false;
        setBusy(false);
        const std::lock_guard lock(job->mutex);
        if (!finished) {
            job->abandoned = true;
            throw DbError(QStringLiteral("The connection attempt was stopped."));
        }
        m = job->handle;
    }
    m_mysql = m;
    m_lost = false;
    ++m_sessionNumber;
    m_currentDatabase = database;
    noteSchema();
    emit connectedChanged(true);
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

// The application's statements and the user's share one session. Rather than guessing what a
// console statement changed (session tracking would miss a user who turns the tracking off),
// the first application statement after it reads the settings in one round trip; when they
// differ from the logon settings, it sets those and remembers the user's, and the user's next
// statement gets them back. So the console keeps exactly what its user chose, grid work never
// sees it, and a session the console leaves alone costs nothing extra.

void Connection::runInternal(const QByteArray& sql)
{
    if (mysql_real_query(m_mysql, sql.constData(), static_cast<unsigned long>(sql.size())))
        raiseError();
}

QByteArrayList Connection::readSettings()
{
    QByteArrayList columns;
    for (const char* name : kSessionSettings)
        columns.append(QByteArray("@@SESSION.") + name);
    // An explicit LIMIT: the user's select limit may be 0.
    runInternal("SELECT " + columns.join(", ") + " LIMIT 1");
    ResultPtr res(mysql_store_result(m_mysql));
    if (!res)
        raiseError();
    MYSQL_ROW row = mysql_fetch_row(res.get());
    if (!row || mysql_num_fields(res.get()) != std::size(kSessionSettings))
        throw DbError(QStringLiteral("The session's settings could not be read"));
    const unsigned long* lengths = mysql_fetch_lengths(res.get());
    QByteArrayList values;
    for (int i = 0; i < int(std::size(kSessionSettings)); ++i) {
        const QByteArray value(row[i], row[i] ? static_cast<qsizetype>(lengths[i]) : 0);
        if (!row[i])
            values.append(QByteArrayLiteral("NULL"));
        else if (i == kSelectLimitSetting)
            values.append(isPlainNumber(value) ? value : QByteArrayLiteral("DEFAULT"));
        else
            values.append(textLiteral(value));
    }
    drainResults();
    return values;
}

void Connection::applySettings(const QByteArrayList& values)
{
    QByteArrayList assignments;
    for (int i = 0; i < values.size(); ++i)
        assignments.append(QByteArray(kSessionSettings[i]) + " = " + values[i]);
    runInternal("SET SESSION " + assignments.join(", "));
    drainResults();
}

void Connection::useOwnSettings()
{
    if (!m_settingsUnknown)
        return;
    const QByteArrayList now = readSettings();
    if (now != m_ownSettings) {
        applySettings(m_ownSettings);
        m_userSettings = now;
    }
    m_settingsUnknown = false;
}

void Connection::useUserSettings()
{
    if (m_ownSettings.isEmpty())
        m_ownSettings = readSettings();
    if (!m_userSettings.isEmpty()) {
        applySettings(m_userSettings);
        m_userSettings.clear();
    }
    m_settingsUnknown = true;
}

ExecResult Connection::execute(const QByteArray& sqlUtf8)
{
    ensureOpen();
    useOwnSettings();
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
    useOwnSettings();
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
    useOwnSettings();
    runInternal(sqlUtf8);
    noteSchema();
    return mysql_field_count(m_mysql);
}

unsigned Connection::sendUserQuery(const QByteArray& sqlUtf8)
{
    ensureOpen();
    useUserSettings();
    runUserStatement(sqlUtf8);
    noteSchema();
    return mysql_field_count(m_mysql);
}

ResultPtr Connection::useResult()
{
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
