// Reaching a server safely: TLS modes with certificate checks against the private server
// (which the fixture starts with TLS), and what a hostile server on loopback learns.
#include "DbTestSupport.h"
#include "FakeServer.h"

using namespace norvane::db;
using namespace norvane::db::test;
using norvane::test::FakeServer;

namespace {

QString tlsFile(const char* name)
{
    return env("NORVANE_TEST_TLS_DIR") + QLatin1Char('/') + QLatin1String(name);
}

/// Runs `body`; returns the error text it raised, or "" when it raised nothing.
template <class F> QString errorOf(F body)
{
    try {
        body();
    } catch (const DbError& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

TEST(SecureConnect, TlsModesConnectOrNameTheCause)
{
    struct Case
    {
        TlsMode mode;
        const char* ca;
        const char* host;
        bool encrypted;
        const char* refusal; ///< a part of the message; null when the logon must succeed
    };
    const Case cases[] = {
        {TlsMode::Preferred, nullptr, nullptr, true, nullptr},
        {TlsMode::Required, nullptr, nullptr, true, nullptr},
        {TlsMode::VerifyCa, "ca.pem", nullptr, true, nullptr},
        {TlsMode::VerifyIdentity, "ca.pem", nullptr, true, nullptr},
        {TlsMode::VerifyIdentity, "ca.pem", "localhost", true, nullptr},
        {TlsMode::Off, nullptr, nullptr, false, nullptr},
        {TlsMode::VerifyCa, "other-ca.pem", nullptr, false, "is not trusted by the CA file"},
        {TlsMode::VerifyIdentity, "other-ca.pem", nullptr, false, "is not trusted"},
        {TlsMode::VerifyCa, nullptr, nullptr, false, "needs a CA file"},
        {TlsMode::VerifyCa, "missing.pem", nullptr, false, "cannot be read"},
    };
    for (const Case& k : cases) {
        ConnectionParams p = testParams();
        p.tls = k.mode;
        p.tlsCaFile = k.ca ? tlsFile(k.ca) : QString();
        if (k.host)
            p.host = QLatin1String(k.host);
        Connection c;
        c.setParams(p);
        const QString error = errorOf([&] { c.open(); });
        SCOPED_TRACE(static_cast<int>(k.mode));
        SCOPED_TRACE(p.tlsCaFile.toStdString());
        if (k.refusal) {
            EXPECT_TRUE(error.contains(QLatin1String(k.refusal))) << error.toStdString();
            EXPECT_FALSE(c.isConnected());
            continue;
        }
        ASSERT_EQ(error, QString());
        EXPECT_EQ(c.tlsVersion().startsWith(QLatin1String("TLSv1.")), k.encrypted)
            << c.tlsVersion().toStdString();
    }
}

TEST(SecureConnect, HostileServerLearnsNeitherPasswordNorStatements)
{
    struct Case
    {
        const char* name;
        QStringList serverOptions;
        TlsMode mode;
        const char* ca;
        const char* refusal;
    };
    const QStringList otherName{QStringLiteral("--tls-cert"), tlsFile("other-name-cert.pem"),
                                QStringLiteral("--tls-key"), tlsFile("other-name-key.pem")};
    const Case cases[] = {
        {"clear-text plugin on a plain session",
         {},
         TlsMode::Preferred,
         nullptr,
         "\"mysql_clear_password\""},
        {"clear-text plugin over unverified TLS", otherName, TlsMode::Required, nullptr,
         "\"mysql_clear_password\""},
        {"TLS required, server without TLS",
         {QStringLiteral("--plugin"), QStringLiteral("native")},
         TlsMode::Required,
         nullptr,
         "does not offer TLS"},
        {"TLS required with CA, server without TLS",
         {QStringLiteral("--plugin"), QStringLiteral("native")},
         TlsMode::VerifyCa,
         "ca.pem",
         "does not offer TLS"},
        {"certificate for another name", otherName, TlsMode::VerifyIdentity, "ca.pem",
         "does not name the host 127.0.0.1"},
    };
    const QString password = QStringLiteral("Fake-Server-Must-Not-See-This");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FakeServer server(k.serverOptions);
        ASSERT_GT(server.port(), 0);
        ConnectionParams p{QStringLiteral("someone"), password, QStringLiteral("127.0.0.1"), {}};
        p.port = server.port();
        p.tls = k.mode;
        p.tlsCaFile = k.ca ? tlsFile(k.ca) : QString();
        Connection c;
        c.setParams(p);
        const QString error = errorOf([&] {
            c.open();
            c.execute(QStringLiteral("SELECT 'statement-in-clear'"));
        });
        EXPECT_TRUE(error.contains(QLatin1String(k.refusal))) << error.toStdString();
        const QByteArray received = server.received();
        EXPECT_FALSE(received.contains(password.toUtf8()));
        EXPECT_FALSE(received.contains("statement-in-clear"));
    }
}
