// The private server is reached through Connector/C's default port and socket, which the
// harness steers with MYSQL_TCP_PORT and MYSQL_UNIX_PORT: the product never passes a port.
#include <gtest/gtest.h>
#include <mysql.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

using MysqlPtr = std::unique_ptr<MYSQL, decltype(&mysql_close)>;

MysqlPtr connectWithoutPort(const std::string& host)
{
    MysqlPtr m(mysql_init(nullptr), &mysql_close);
    const bool ok =
        mysql_real_connect(m.get(), host.c_str(), env("NORVANE_TEST_USER").c_str(),
                           env("NORVANE_TEST_PASSWORD").c_str(), nullptr, 0, nullptr, 0) != nullptr;
    EXPECT_TRUE(ok) << host << ": " << mysql_error(m.get());
    return m;
}

TEST(TestServer, TcpAndSocketDefaultsComeFromTheEnvironment)
{
    ASSERT_FALSE(env("MYSQL_TCP_PORT").empty());
    ASSERT_NE(env("MYSQL_TCP_PORT"), "3306") << "the private server must not use the system port";

    auto tcp = connectWithoutPort("127.0.0.1");
    ASSERT_EQ(mysql_query(tcp.get(), "SELECT @@port"), 0) << mysql_error(tcp.get());
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> res(mysql_store_result(tcp.get()),
                                                                 &mysql_free_result);
    ASSERT_TRUE(res);
    MYSQL_ROW row = mysql_fetch_row(res.get());
    ASSERT_TRUE(row && row[0]);
    EXPECT_EQ(std::string(row[0]), env("MYSQL_TCP_PORT"));

    auto sock = connectWithoutPort("localhost");
    EXPECT_STREQ(mysql_get_host_info(sock.get()), "Localhost via UNIX socket");
}

TEST(TestServer, AccountsForTheTestsExist)
{
    MysqlPtr limited(mysql_init(nullptr), &mysql_close);
    ASSERT_TRUE(mysql_real_connect(limited.get(), "127.0.0.1",
                                   env("NORVANE_TEST_LIMITED_USER").c_str(),
                                   env("NORVANE_TEST_LIMITED_PASSWORD").c_str(),
                                   env("NORVANE_TEST_DATABASE").c_str(), 0, nullptr, 0))
        << mysql_error(limited.get());
    EXPECT_NE(mysql_select_db(limited.get(), "mysql"), 0) << "limited account may open mysql";

    MysqlPtr nopwd(mysql_init(nullptr), &mysql_close);
    EXPECT_TRUE(mysql_real_connect(nopwd.get(), "127.0.0.1", env("NORVANE_TEST_NOPWD_USER").c_str(),
                                   "", nullptr, 0, nullptr, 0))
        << mysql_error(nopwd.get());
}

} // namespace
