// The database object and the table catalogue against the private server: logging on and
// off, the database list, "SHOW TABLES" and "DESCRIBE" for every kind of table name.
#include "catalogue/NVMySQLObject.h"

#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace norvane::catalogue;
namespace db = norvane::db;

namespace {

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

/// The awkward names every listed table must open under.
const std::vector<std::string>& awkwardNames()
{
    static const std::vector<std::string> names{
        "order", "stock level", "select", "we`ird", "Ünïcode 表", "dash-and.dot", "1starts_digit"};
    return names;
}

class CatalogueDb : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_database = "nv_cat_" + std::to_string(QCoreApplication::applicationPid());
        s_emptyDatabase = s_database + "_empty";
        s_admin = std::make_unique<db::Connection>();
        s_admin->setParams({QString::fromStdString(env("NORVANE_TEST_USER")),
                            QString::fromStdString(env("NORVANE_TEST_PASSWORD")),
                            QString::fromStdString(env("NORVANE_TEST_HOST")), QString()});
        s_admin->open();
        const QString dbq = q(s_database);
        exec("DROP DATABASE IF EXISTS " + dbq);
        exec("DROP DATABASE IF EXISTS " + q(s_emptyDatabase));
        exec("CREATE DATABASE " + dbq + " CHARACTER SET utf8mb4");
        exec("CREATE DATABASE " + q(s_emptyDatabase) + " CHARACTER SET utf8mb4");
        for (const std::string& name : awkwardNames())
            exec("CREATE TABLE " + dbq + "." + q(name) +
                 " (id INT PRIMARY KEY, `the value` VARCHAR(20))");
        exec("CREATE TABLE " + dbq +
             ".composite (note TEXT, b INT NOT NULL, "
             "a VARCHAR(5) NOT NULL, PRIMARY KEY (a, b))");
        exec("CREATE TABLE " + dbq + ".keyless (x INT, y DECIMAL(10,2), z INT UNSIGNED)");
        exec("CREATE TABLE " + dbq +
             ".other_keys (id INT AUTO_INCREMENT PRIMARY KEY, "
             "code CHAR(3) UNIQUE, grp INT, KEY (grp), pri_like INT)");
        exec("CREATE VIEW " + dbq + ".composite_view AS SELECT a, b FROM " + dbq + ".composite");
    }

    static void TearDownTestSuite()
    {
        exec("DROP DATABASE IF EXISTS " + q(s_database));
        exec("DROP DATABASE IF EXISTS " + q(s_emptyDatabase));
        s_admin.reset();
    }

    void SetUp() override
    {
        ASSERT_FALSE(env("NORVANE_TEST_USER").empty()) << "the private test server is not set up";
        m_query.setObjectName(QStringLiteral("MainSQLQuery"));
        SetCatalogueQuery(&m_query);
        m_host.FHost = env("NORVANE_TEST_HOST");
        m_host.FUID = env("NORVANE_TEST_USER");
        m_host.FPWD = env("NORVANE_TEST_PASSWORD");
        m_database = std::make_unique<TNVDataBase>();
        m_database->Host = &m_host;
        m_database->FDataBase = s_database;
    }

    void TearDown() override
    {
        m_database.reset();
        SetCatalogueQuery(nullptr);
    }

    static QString q(const std::string& name)
    {
        return db::Connection::quoteIdentifier(QString::fromStdString(name));
    }
    static void exec(const QString& sql) { s_admin->execute(sql); }

    /// The table entry of that name after `LoadTables`.
    TCustomNVTable* table(const std::string& name)
    {
        const int i = m_database->Tables->IndexOf(name);
        return i < 0 ? nullptr : m_database->Tables->Items(i);
    }

    static std::string primaryKeyOf(const TCustomNVTable& t)
    {
        EXPECT_EQ(t.IndexDefs->Count(), 1);
        return t.IndexDefs->Count() == 1 ? t.IndexDefs->Items(0)->FFieldExpression : "<none>";
    }

    static inline std::string s_database;
    static inline std::string s_emptyDatabase;
    static inline std::unique_ptr<db::Connection> s_admin;

    db::Connection m_connection;
    db::SqlSource m_query{&m_connection};
    TNVHost m_host;
    std::unique_ptr<TNVDataBase> m_database;
};

TEST_F(CatalogueDb, NewDatabaseObjectTakesTheCatalogueQuery)
{
    EXPECT_EQ(m_database->Query, &m_query);
    EXPECT_EQ(m_database->Tables->Count(), 0);
    EXPECT_EQ(m_database->Views->Count(), 0);
}

TEST_F(CatalogueDb, ConnectOpensTheSharedConnectionOnTheDatabase)
{
    EXPECT_TRUE(m_database->Connect());
    EXPECT_TRUE(m_connection.isConnected());
    EXPECT_EQ(m_connection.currentDatabase().toStdString(), s_database);

    // A second logon replaces the session.
    m_database->FDataBase = env("NORVANE_TEST_DATABASE");
    EXPECT_TRUE(m_database->Connect());
    EXPECT_EQ(m_connection.currentDatabase().toStdString(), env("NORVANE_TEST_DATABASE"));
}

TEST_F(CatalogueDb, RefusedLogonRaisesTheServersMessageAndLeavesTheConnectionClosed)
{
    ASSERT_TRUE(m_database->Connect());
    m_host.FPWD = "certainly not the password";
    try {
        m_database->Connect();
        FAIL() << "a wrong password must raise";
    } catch (const norvane::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Access denied"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(m_connection.isConnected());

    m_host.FPWD = env("NORVANE_TEST_PASSWORD");
    m_database->FDataBase = s_database + "_missing";
    EXPECT_THROW(m_database->Connect(), norvane::Error);
    EXPECT_FALSE(m_connection.isConnected());
}

TEST_F(CatalogueDb, MissingHostQueryOrDatabaseIsAnErrorNotACrash)
{
    m_database->Host = nullptr;
    EXPECT_THROW(m_database->Connect(), norvane::Error);
    SetCatalogueQuery(nullptr);
    TNVDataBase orphan;
    orphan.Host = &m_host;
    EXPECT_EQ(orphan.Query, nullptr);
    EXPECT_THROW(orphan.Connect(), norvane::Error);
    EXPECT_THROW(orphan.LoadTables(), norvane::Error);
    EXPECT_TRUE(orphan.Disconnect());
    TNVTable loose;
    loose.Name = "order";
    EXPECT_THROW(loose.LoadFieldDefs(), norvane::Error);
}

TEST_F(CatalogueDb, DisconnectClosesAndIsQuietWhenAlreadyClosed)
{
    ASSERT_TRUE(m_database->Connect());
    EXPECT_TRUE(m_database->Disconnect());
    EXPECT_FALSE(m_connection.isConnected());
    EXPECT_TRUE(m_database->Disconnect());
}

TEST_F(CatalogueDb, DatabaseListComesFromAConnectionWithoutDefaultDatabase)
{
    QStringList names{QStringLiteral("previous")};
    EXPECT_EQ(ListDataBaseNames(&m_host, names), QString());
    EXPECT_TRUE(names.contains(QString::fromStdString(s_database)))
        << names.join(u',').toStdString();
    EXPECT_TRUE(names.contains(QStringLiteral("mysql")));
    EXPECT_FALSE(names.contains(QStringLiteral("previous")));
    EXPECT_TRUE(m_connection.isConnected());
    EXPECT_EQ(m_connection.currentDatabase(), QString());
}

TEST_F(CatalogueDb, DatabaseListWorksForAUserWhoMayNotOpenMysql)
{
    TNVHost host;
    host.FHost = env("NORVANE_TEST_HOST");
    host.FUID = env("NORVANE_TEST_LIMITED_USER");
    host.FPWD = env("NORVANE_TEST_LIMITED_PASSWORD");
    QStringList names;
    EXPECT_EQ(ListDataBaseNames(&host, names), QString());
    EXPECT_TRUE(names.contains(QString::fromStdString(env("NORVANE_TEST_DATABASE"))))
        << names.join(u',').toStdString();
    EXPECT_FALSE(names.contains(QStringLiteral("mysql")));
}

TEST_F(CatalogueDb, DatabaseListFailuresKeepTheListAndGiveTheServersMessage)
{
    const QStringList before{QStringLiteral("kept"), QStringLiteral("entries")};
    struct Case
    {
        const char* what;
        std::string user;
        std::string password;
    };
    const std::vector<Case> cases{
        {"wrong password", env("NORVANE_TEST_USER"), "wrong"},
        {"unknown user", "nobody_here", ""},
    };
    for (const Case& c : cases) {
        TNVHost host;
        host.FHost = env("NORVANE_TEST_HOST");
        host.FUID = c.user;
        host.FPWD = c.password;
        QStringList names = before;
        EXPECT_NO_THROW(GetDataBaseNames(&host, names)) << c.what;
        EXPECT_EQ(names, before) << c.what;
        EXPECT_TRUE(ListDataBaseNames(&host, names).contains(QLatin1String("Access denied")))
            << c.what;
        EXPECT_EQ(names, before) << c.what;
        EXPECT_FALSE(m_connection.isConnected()) << c.what;
    }
    QStringList names = before;
    EXPECT_NO_THROW(GetDataBaseNames(nullptr, names));
    EXPECT_EQ(names, before);
}

TEST_F(CatalogueDb, LoadTablesListsEveryTableAndViewAsTableEntries)
{
    ASSERT_TRUE(m_database->Connect());
    m_database->LoadTables();
    std::vector<std::string> expected = awkwardNames();
    for (const char* n : {"composite", "keyless", "other_keys", "composite_view"})
        expected.emplace_back(n);
    ASSERT_EQ(m_database->Tables->Count(), static_cast<int>(expected.size()));
    for (const std::string& name : expected) {
        TCustomNVTable* t = table(name);
        ASSERT_NE(t, nullptr) << name;
        EXPECT_EQ(t->ClassType().name, "TNVTable") << name;
        EXPECT_EQ(t->DataBase, m_database.get());
        EXPECT_EQ(m_database->Tables->Keys(m_database->Tables->IndexOf(name)), t->Name);
    }
    EXPECT_EQ(m_database->Views->Count(), 0);
}

TEST_F(CatalogueDb, LoadTablesTwiceReplacesEntriesAndKeepsOldOnesUsable)
{
    ASSERT_TRUE(m_database->Connect());
    m_database->LoadTables();
    const int count = m_database->Tables->Count();
    TCustomNVTable* shown = table("order");
    ASSERT_NE(shown, nullptr);

    m_database->LoadTables();
    EXPECT_EQ(m_database->Tables->Count(), count);
    EXPECT_NE(table("order"), shown) << "a reload makes new entries";
    // The window may still show the old entry: it must stay a working table.
    EXPECT_EQ(shown->Name, "order");
    EXPECT_TRUE(shown->LoadFieldDefs());
    EXPECT_EQ(m_database->Views->Count(), 0);
}

TEST_F(CatalogueDb, LoadTablesOfDatabaseWithoutTablesIsEmpty)
{
    ASSERT_TRUE(m_database->Connect());
    m_database->LoadTables();
    ASSERT_GT(m_database->Tables->Count(), 0);

    TNVDataBase empty;
    empty.Host = &m_host;
    empty.FDataBase = s_emptyDatabase;
    ASSERT_TRUE(empty.Connect());
    empty.LoadTables();
    EXPECT_EQ(empty.Tables->Count(), 0);
    EXPECT_EQ(empty.Views->Count(), 0);
}

TEST_F(CatalogueDb, LoadTablesFailureKeepsThePreviousEntries)
{
    // A session whose database was dropped under it cannot list tables.
    exec("CREATE DATABASE " + q(s_database + "_gone"));
    TNVDataBase gone;
    gone.Host = &m_host;
    gone.FDataBase = s_database + "_gone";
    ASSERT_TRUE(gone.Connect());
    gone.LoadTables();
    exec("DROP DATABASE " + q(s_database + "_gone"));
    TNVTable* marker = new TNVTable;
    marker->Name = "marker";
    gone.Tables->AddObject("marker", marker);
    EXPECT_THROW(gone.LoadTables(), norvane::Error);
    ASSERT_EQ(gone.Tables->Count(), 1);
    EXPECT_EQ(gone.Tables->Items(0), marker);
}

TEST_F(CatalogueDb, EveryListedNameOpensWithDescribe)
{
    ASSERT_TRUE(m_database->Connect());
    m_database->LoadTables();
    for (int i = 0; i < m_database->Tables->Count(); ++i) {
        TNVTable* t = m_database->Tables->Items(i);
        SCOPED_TRACE(t->Name);
        bool read = false;
        try {
            read = t->LoadFieldDefs();
        } catch (const norvane::Error& e) {
            ADD_FAILURE() << "DESCRIBE failed: " << e.what();
        }
        EXPECT_TRUE(read);
        EXPECT_GT(t->FieldDefs->Count(), 0);
        EXPECT_EQ(t->IndexDefs->Count(), 1);
    }
}

TEST_F(CatalogueDb, ReservedWordAndBlankNamesDescribeTheirColumns)
{
    ASSERT_TRUE(m_database->Connect());
    m_database->LoadTables();
    for (const std::string& name : {std::string("order"), std::string("stock level"),
                                    std::string("we`ird"), std::string("Ünïcode 表")}) {
        SCOPED_TRACE(name);
        TCustomNVTable* t = table(name);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(t->LoadFieldDefs());
        ASSERT_EQ(t->FieldDefs->Count(), 2);
        EXPECT_EQ(t->FieldDefs->Keys(0), "id");
        EXPECT_EQ(t->FieldDefs->Items(0)->FName, "id");
        EXPECT_EQ(t->FieldDefs->Items(0)->DataTypeName, "int(11)");
        EXPECT_EQ(t->FieldDefs->Items(1)->FName, "the value");
        EXPECT_EQ(t->FieldDefs->Items(1)->DataTypeName, "varchar(20)");
        EXPECT_EQ(primaryKeyOf(*t), "id");
    }
}

TEST_F(CatalogueDb, PrimaryKeyColumnsFollowTheColumnOrderAndIgnoreOtherKeys)
{
    ASSERT_TRUE(m_database->Connect());
    m_database->LoadTables();
    struct Case
    {
        std::string table;
        std::string key;
        std::vector<std::string> columns;
        std::vector<std::string> types;
    };
    const std::vector<Case> cases{
        {"composite", "b;a", {"note", "b", "a"}, {"text", "int(11)", "varchar(5)"}},
        {"keyless", "", {"x", "y", "z"}, {"int(11)", "decimal(10,2)", "int(10) unsigned"}},
        {"other_keys",
         "id",
         {"id", "code", "grp", "pri_like"},
         {"int(11)", "char(3)", "int(11)", "int(11)"}},
        {"composite_view", "", {"a", "b"}, {"varchar(5)", "int(11)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        TCustomNVTable* t = table(c.table);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(t->LoadFieldDefs());
        ASSERT_EQ(t->FieldDefs->Count(), static_cast<int>(c.columns.size()));
        for (std::size_t i = 0; i < c.columns.size(); ++i) {
            const TNVFieldDef* f = t->FieldDefs->Items(static_cast<int>(i));
            EXPECT_EQ(f->FName, c.columns[i]);
            EXPECT_EQ(f->DataTypeName, c.types[i]);
            EXPECT_EQ(f->FPrecision, 0);
            EXPECT_EQ(f->FSize, 0);
            EXPECT_EQ(f->FDataType, 0);
        }
        EXPECT_EQ(primaryKeyOf(*t), c.key);
        EXPECT_EQ(t->IndexDefs->Keys(0), "");
    }
}

TEST_F(CatalogueDb, DescribeTwiceReplacesAndAFailedDescribeKeepsTheDefinitions)
{
    ASSERT_TRUE(m_database->Connect());
    exec("CREATE TABLE " + q(s_database) + ".short_lived (k INT PRIMARY KEY, v INT)");
    m_database->LoadTables();
    TCustomNVTable* t = table("short_lived");
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(t->LoadFieldDefs());
    ASSERT_TRUE(t->LoadFieldDefs());
    EXPECT_EQ(t->FieldDefs->Count(), 2);
    EXPECT_EQ(t->IndexDefs->Count(), 1);

    exec("DROP TABLE " + q(s_database) + ".short_lived");
    try {
        t->LoadFieldDefs();
        FAIL() << "describing a dropped table must raise";
    } catch (const norvane::Error& e) {
        EXPECT_NE(std::string(e.what()).find("short_lived"), std::string::npos) << e.what();
    }
    ASSERT_EQ(t->FieldDefs->Count(), 2);
    EXPECT_EQ(t->FieldDefs->Items(1)->FName, "v");
    EXPECT_EQ(primaryKeyOf(*t), "k");
}

} // namespace
