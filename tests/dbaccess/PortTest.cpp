// A server on a port of its own, reached through the port alone: the client library reads
// MYSQL_TCP_PORT once, when it starts, so this runs in a process of its own with it unset.
#include "DbTestSupport.h"

#include <cstdlib>

using namespace norvane::db;
using namespace norvane::db::test;

namespace {
QString errorOf(Connection& c)
{
    try {
        c.open();
    } catch (const DbError& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}
} // namespace

TEST(ConnectionPort, NonDefaultPortIsReachedThroughThePortAlone)
{
    const QByteArray port = qgetenv("MYSQL_TCP_PORT");
    ASSERT_NE(port.toInt(), 3306);
    ::unsetenv("MYSQL_TCP_PORT");
    Connection unreachable;
    unreachable.setParams(testParams());
    // Without the port the library's default (3306) is tried, where this server is not.
    EXPECT_FALSE(errorOf(unreachable).isEmpty());
    Connection c;
    ConnectionParams p = testParams();
    p.port = port.toInt();
    c.setParams(p);
    const QString error = errorOf(c);
    ASSERT_EQ(error, QString());
    EXPECT_EQ(c.serverPort(), port.toInt());
    EXPECT_TRUE(c.serverVersion().contains(QLatin1String("MariaDB")))
        << c.serverVersion().toStdString();
}
