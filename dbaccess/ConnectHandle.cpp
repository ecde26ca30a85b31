#include "ConnectHandle.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace norvane::db {

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

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

namespace {

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

} // namespace

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

bool usesLocalSocket(const QString& host)
{
    return host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host.startsWith(QLatin1Char('/'));
}

unsigned drainFurther(st_mysql* m)
{
    while (mysql_more_results(m)) {
        if (mysql_next_result(m) > 0)
            return mysql_errno(m);
        ResultPtr extra(mysql_use_result(m));
        if (!extra)
            continue;
        while (mysql_fetch_row(extra.get())) {
        }
        if (mysql_errno(m))
            return mysql_errno(m);
    }
    return 0;
}

} // namespace norvane::db
