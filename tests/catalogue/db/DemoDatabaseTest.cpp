// The demo database of scripts/run, loaded into the private server: the demo account can list
// and open it, and every table it holds describes and reads whole through the catalogue.
#include "catalogue/NVMySQLObject.h"

#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

using namespace norvane::catalogue;
namespace db = norvane::db;

namespace {

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

class DemoDatabase : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const std::string dir = env("NORVANE_TEST_SERVER_DIR");
        ASSERT_FALSE(dir.empty()) << "the private test server is not set up";
        // The checkout's path comes through the environment: compiled in, it would make every
        // clone's test objects differ for the compiler cache.
        const std::string source = env("NORVANE_SOURCE_DIR");
        ASSERT_FALSE(source.empty()) << "NORVANE_SOURCE_DIR is not set";
        const std::string command = "mariadb --no-defaults --default-character-set=utf8mb4 "
                                    "--socket='" +
                                    dir + "/sock' -uroot < '" + source + "/scripts/demo-data.sql'";
        s_loaded = std::system(command.c_str()) == 0;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_loaded) << "scripts/demo-data.sql did not load";
        SetCatalogueQuery(&m_query);
        // The account and password that scripts/run tells the user to pick.
        m_host.FHost = env("NORVANE_TEST_HOST");
        m_host.FUID = "demo";
        m_host.FPWD = "demo";
        m_database = std::make_unique<TNVDataBase>();
        m_database->Host = &m_host;
        m_database->FDataBase = "norvane_demo";
    }

    void TearDown() override
    {
        m_database.reset();
        SetCatalogueQuery(nullptr);
    }

    long long count(const std::string& table)
    {
        db::SqlSource q(&m_connection);
        q.setSql(QStringLiteral("SELECT COUNT(*) FROM %1")
                     .arg(db::Connection::quoteIdentifier(QString::fromStdString(table))));
        q.open();
        return q.field(0).asInteger();
    }

    static inline bool s_loaded = false;
    db::Connection m_connection;
    db::SqlSource m_query{&m_connection};
    TNVHost m_host;
    std::unique_ptr<TNVDataBase> m_database;
};

TEST_F(DemoDatabase, DemoAccountSeesItInTheDatabaseList)
{
    QStringList names;
    GetDataBaseNames(&m_host, names);
    EXPECT_TRUE(names.contains(QStringLiteral("norvane_demo"))) << names.join(u',').toStdString();
}

TEST_F(DemoDatabase, EveryTableDescribesAndReadsWhole)
{
    ASSERT_TRUE(m_database->Connect());
    m_database->LoadTables();
    // Expected primary keys; the sizes are lower bounds worth browsing.
    const std::map<std::string, std::string> keys{
        {"all_types", "id"},     {"audit_log", ""},
        {"customer_totals", ""}, {"customers", "id"},
        {"order", "id"},         {"order_items", "order_id;line_no"},
        {"products", "id"},      {"stock level", "product_id;warehouse"},
    };
    ASSERT_EQ(m_database->Tables->Count(), static_cast<int>(keys.size()));
    long long rows = 0;
    for (int i = 0; i < m_database->Tables->Count(); ++i) {
        TNVTable* t = m_database->Tables->Items(i);
        SCOPED_TRACE(t->Name);
        ASSERT_TRUE(keys.count(t->Name));
        ASSERT_TRUE(t->LoadFieldDefs());
        EXPECT_EQ(t->IndexDefs->Items(0)->FFieldExpression, keys.at(t->Name));

        db::SqlSource table(&m_connection);
        table.setTableName(QString::fromStdString(t->Name));
        table.open();
        EXPECT_EQ(table.fieldCount(), t->FieldDefs->Count());
        std::size_t read = 0;
        while (!table.atEnd())
            read += table.takeRows(100).size();
        table.close();
        EXPECT_EQ(static_cast<long long>(read), count(t->Name));
        rows += static_cast<long long>(read);
    }
    EXPECT_GE(rows, 5000);
}

TEST_F(DemoDatabase, EveryCommonColumnTypeIsPresent)
{
    ASSERT_TRUE(m_database->Connect());
    m_database->LoadTables();
    TCustomNVTable* t = m_database->Tables->Items(m_database->Tables->IndexOf("all_types"));
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(t->LoadFieldDefs());
    std::string types;
    for (int i = 0; i < t->FieldDefs->Count(); ++i)
        types += t->FieldDefs->Items(i)->DataTypeName + " ";
    for (const char* type : {"tinyint(4)",    "tinyint(3) unsigned",
                             "smallint(",     "mediumint(",
                             "int(11)",       "int(10) unsigned",
                             "bigint(20)",    "bigint(20) unsigned",
                             "decimal(20,6)", "float",
                             "double",        "bit(8)",
                             "tinyint(1)",    "date",
                             "time",          "datetime(3)",
                             "timestamp",     "year(4)",
                             "char(10)",      "varchar(100)",
                             "text",          "blob",
                             "enum(",         "set(",
                             "longtext"})
        EXPECT_NE(types.find(type), std::string::npos) << type << " missing in: " << types;
}

} // namespace
