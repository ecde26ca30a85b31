#include "catalogue/NVMySQLObject.h"
#include "persist/DataLib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace norvane;
using namespace norvane::persist;
using namespace norvane::catalogue;

namespace {

std::vector<std::uint8_t> bytesOf(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

std::vector<std::uint8_t> written(TBaseObject* object)
{
    TMemoryStream stream;
    WriteObjectToStream(stream, object);
    return stream.Bytes();
}

std::unique_ptr<TBaseObject> readBack(const std::vector<std::uint8_t>& bytes)
{
    TMemoryStream stream(bytes);
    return ReadObjectFromStream(stream);
}

const std::vector<std::uint8_t> kOneHostFile = bytesOf(
    {0x54, 0x50, 0x46, 0x30, 0x08, 0x54, 0x4E, 0x56, 0x48, 0x6F, 0x73, 0x74, 0x73, 0x00, 0x00,
     0x0E, 0x54, 0x4C, 0x69, 0x73, 0x74, 0x43, 0x6F, 0x6E, 0x74, 0x61, 0x69, 0x6E, 0x65, 0x72,
     0x04, 0x4C, 0x69, 0x73, 0x74, 0x08, 0x4C, 0x69, 0x73, 0x74, 0x54, 0x79, 0x70, 0x65, 0x02,
     0x01, 0x09, 0x4C, 0x69, 0x73, 0x74, 0x43, 0x6F, 0x75, 0x6E, 0x74, 0x02, 0x01, 0x07, 0x53,
     0x74, 0x72, 0x69, 0x6E, 0x67, 0x73, 0x01, 0x02, 0x01, 0x06, 0x06, 0x64, 0x62, 0x68, 0x6F,
     0x73, 0x74, 0x00, 0x00, 0x07, 0x54, 0x4E, 0x56, 0x48, 0x6F, 0x73, 0x74, 0x08, 0x4F, 0x62,
     0x6A, 0x65, 0x63, 0x74, 0x5F, 0x30, 0x05, 0x46, 0x48, 0x6F, 0x73, 0x74, 0x06, 0x06, 0x64,
     0x62, 0x68, 0x6F, 0x73, 0x74, 0x05, 0x46, 0x50, 0x6F, 0x72, 0x74, 0x03, 0xEA, 0x0C, 0x04,
     0x46, 0x55, 0x49, 0x44, 0x06, 0x06, 0x72, 0x65, 0x61, 0x64, 0x65, 0x72, 0x09, 0x46, 0x53,
     0x74, 0x6F, 0x72, 0x65, 0x50, 0x57, 0x44, 0x08, 0x00, 0x00, 0x00, 0x00});

const std::vector<std::uint8_t> kEmptyHostsFile = bytesOf(
    {0x54, 0x50, 0x46, 0x30, 0x08, 0x54, 0x4E, 0x56, 0x48, 0x6F, 0x73, 0x74, 0x73, 0x00, 0x00,
     0x0E, 0x54, 0x4C, 0x69, 0x73, 0x74, 0x43, 0x6F, 0x6E, 0x74, 0x61, 0x69, 0x6E, 0x65, 0x72,
     0x04, 0x4C, 0x69, 0x73, 0x74, 0x08, 0x4C, 0x69, 0x73, 0x74, 0x54, 0x79, 0x70, 0x65, 0x02,
     0x01, 0x09, 0x4C, 0x69, 0x73, 0x74, 0x43, 0x6F, 0x75, 0x6E, 0x74, 0x02, 0x00, 0x07, 0x53,
     0x74, 0x72, 0x69, 0x6E, 0x67, 0x73, 0x01, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00});

TNVHost* newHost(const std::string& host, int port, const std::string& uid, const std::string& pwd,
                 bool store)
{
    auto* h = new TNVHost;
    h->FHost = host;
    h->FPort = port;
    h->FUID = uid;
    h->FPWD = pwd;
    h->FStorePWD = store;
    return h;
}

} // namespace

TEST(HostsFile, OneHostIsWrittenAsThe147ByteExample)
{
    ASSERT_EQ(kOneHostFile.size(), 147u);
    TNVHosts hosts;
    hosts.AddObject("dbhost", newHost("dbhost", 3306, "reader", "", false));
    EXPECT_EQ(written(&hosts), kOneHostFile);
}

TEST(HostsFile, EmptyListIsWrittenAsThe73ByteExample)
{
    ASSERT_EQ(kEmptyHostsFile.size(), 73u);
    TNVHosts hosts;
    EXPECT_EQ(written(&hosts), kEmptyHostsFile);
}

TEST(HostsFile, The147ByteExampleReadsBackAsOneHost)
{
    auto object = readBack(kOneHostFile);
    auto* hosts = dynamic_cast<TNVHosts*>(object.get());
    ASSERT_NE(hosts, nullptr);
    ASSERT_EQ(hosts->Count(), 1);
    EXPECT_EQ(hosts->Keys(0), "dbhost");
    TNVHost* host = hosts->Items(0);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->FHost, "dbhost");
    EXPECT_EQ(host->FPort, 3306);
    EXPECT_EQ(host->FUID, "reader");
    EXPECT_EQ(host->FPWD, "");
    EXPECT_FALSE(host->FStorePWD);
    ASSERT_NE(host->DataBases, nullptr);
    EXPECT_EQ(host->DataBases->Count(), 0);
    EXPECT_EQ(written(hosts), kOneHostFile);
}

TEST(HostsFile, The73ByteExampleReadsBackAsAnEmptyList)
{
    auto object = readBack(kEmptyHostsFile);
    auto* hosts = dynamic_cast<TNVHosts*>(object.get());
    ASSERT_NE(hosts, nullptr);
    EXPECT_EQ(hosts->Count(), 0);
}

TEST(HostPassword, IsWrittenOnlyWhenKeptAndNotEmpty)
{
    using Place = TNVHost::TPasswordPlace;
    struct Case
    {
        std::string pwd;
        bool store;
        Place place;
        bool written;
    };
    // A password on its way to the keyring or in it stays out of the file.
    const Case cases[] = {
        {"secret", true, Place::File, true},
        {"secret", false, Place::File, false},
        {"", true, Place::File, false},
        {"", false, Place::File, false},
        {"secret", true, Place::KeyringPending, false},
        {"secret", true, Place::Keyring, false},
    };
    const std::string marker = "\x04"
                               "FPWD";
    for (const auto& c : cases) {
        TNVHost host;
        host.FHost = "h";
        host.FPWD = c.pwd;
        host.FStorePWD = c.store;
        host.PasswordPlace = c.place;
        const auto bytes = written(&host);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(text.find(marker) != std::string::npos, c.written)
            << "pwd '" << c.pwd << "' store " << c.store << " place " << static_cast<int>(c.place);
        EXPECT_EQ(text.find("secret") != std::string::npos, c.written);
        auto back = readBack(bytes);
        auto* h = dynamic_cast<TNVHost*>(back.get());
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->FPWD, c.written ? c.pwd : "");
        EXPECT_EQ(h->FStorePWD, c.store);
    }
}

TEST(HostPassword, AFileHoldingAPasswordWithTheFlagOffStillReadsIt)
{
    // Files written before the flag was honoured carry FPWD with FStorePWD false.
    std::vector<std::uint8_t> bytes =
        bytesOf({0x54, 0x50, 0x46, 0x30, 0x07, 'T', 'N',  'V',  'H',  'o',  's',  't',
                 0x00, 0x04, 'F',  'P',  'W',  'D', 0x06, 0x02, 'p',  'w',  0x09, 'F',
                 'S',  't',  'o',  'r',  'e',  'P', 'W',  'D',  0x08, 0x00, 0x00});
    auto back = readBack(bytes);
    auto* host = dynamic_cast<TNVHost*>(back.get());
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->FPWD, "pw");
    EXPECT_FALSE(host->FStorePWD);
}

TEST(Host, NewHostHasPortZeroAndWritesNoPort)
{
    TNVHost host;
    EXPECT_EQ(host.FPort, 0);
    const auto bytes = written(&host);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("FPort"), std::string::npos);
    EXPECT_EQ(text.find("FHost"), std::string::npos);
    EXPECT_NE(text.find("FStorePWD"), std::string::npos); // Booleans are always written
}

TEST(Host, AssignCopiesEveryFieldAndTheDatabasesDeeply)
{
    TNVHost source;
    source.FHost = "src";
    source.FPort = 3307;
    source.FUID = "u";
    source.FPWD = "p";
    source.FStorePWD = true;
    auto* db = new TNVDataBase;
    db->FDataBase = "shop";
    source.DataBases->AddObject("shop", db);

    TNVHost target;
    target.Assign(&source);
    EXPECT_EQ(target.FHost, "src");
    EXPECT_EQ(target.FPort, 3307);
    EXPECT_EQ(target.FUID, "u");
    EXPECT_EQ(target.FPWD, "p");
    EXPECT_TRUE(target.FStorePWD);
    ASSERT_EQ(target.DataBases->Count(), 1);
    EXPECT_NE(target.DataBases->Items(0), db);
    EXPECT_EQ(target.DataBases->Items(0)->FDataBase, "shop");

    TNVDataBase other;
    EXPECT_THROW(target.Assign(&other), ConversionError);
    EXPECT_EQ(target.FHost, "src");
}

TEST(DataBase, AssignCopiesTheNameAndKeepsTheHost)
{
    TNVHost mine;
    TNVHost theirs;
    TNVDataBase source;
    source.FDataBase = "shop";
    source.Host = &theirs;
    TNVDataBase target;
    target.Host = &mine;
    target.Assign(&source);
    EXPECT_EQ(target.FDataBase, "shop");
    EXPECT_EQ(target.Host, &mine);
}

TEST(DataBase, StoresOnlyItsName)
{
    TNVDataBase db;
    db.FDataBase = "inventory";
    const auto bytes = written(&db);
    const std::vector<std::uint8_t> expected =
        bytesOf({0x54, 0x50, 0x46, 0x30, 0x0B, 'T', 'N', 'V', 'D', 'a', 't',  'a', 'B', 'a',
                 's',  'e',  0x00, 0x09, 'F',  'D', 'a', 't', 'a', 'B', 'a',  's', 'e', 0x06,
                 0x09, 'i',  'n',  'v',  'e',  'n', 't', 'o', 'r', 'y', 0x00, 0x00});
    EXPECT_EQ(bytes, expected);
}

TEST(HostList, AssignCopiesEachHostUnderItsName)
{
    TNVHosts source;
    source.AddObject("old key", newHost("alpha", 1, "a", "", false));
    source.AddObject("beta", newHost("beta", 2, "b", "", false));
    TNVHosts target;
    target.Assign(&source);
    ASSERT_EQ(target.Count(), 2);
    EXPECT_EQ(target.Keys(0), "alpha"); // the new element's FHost, not the old key
    EXPECT_NE(target.Items(0), source.Items(0));
    EXPECT_EQ(target.Items(1)->FUID, "b");
    target.Assign(&target); // the same object: nothing happens
    EXPECT_EQ(target.Count(), 2);
}

TEST(HostList, AssignOverHostsDestroysTheReplacedOnes)
{
    // The list owns its hosts: replaced ones must be destroyed (scripts/sanitize reports a leak).
    TNVHosts source;
    source.AddObject("beta", newHost("beta", 2, "b", "", false));
    TNVHosts target;
    target.AddObject("alpha", newHost("alpha", 1, "a", "", false));
    target.AddObject("gamma", newHost("gamma", 3, "c", "", false));
    target.Assign(&source);
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.Items(0)->FHost, "beta");
}

TEST(HostList, LooksHostsUpWithoutCaseInAnyScript)
{
    TNVHosts hosts;
    hosts.AddObject("dbhost", newHost("dbhost", 0, "", "", false));
    hosts.AddObject("Сервер-БД", newHost("Сервер-БД", 0, "", "", false));
    hosts.AddObject("Hôte.Local", newHost("Hôte.Local", 0, "", "", false));
    EXPECT_EQ(hosts.IndexOf("DBHOST"), 0);
    EXPECT_EQ(hosts.IndexOf("сервер-бд"), 1);
    EXPECT_EQ(hosts.IndexOf("HÔTE.LOCAL"), 2);
    EXPECT_EQ(hosts.IndexOf("hote.local"), -1);
}

TEST(HostList, NonAsciiHostsRoundTripThroughTheFile)
{
    TNVHosts hosts;
    hosts.AddObject("Сервер", newHost("Сервер", 3306, "пользователь", "пароль", true));
    const auto bytes = written(&hosts);
    auto back = readBack(bytes);
    auto* list = dynamic_cast<TNVHosts*>(back.get());
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Keys(0), "Сервер");
    EXPECT_EQ(list->Items(0)->FUID, "пользователь");
    EXPECT_EQ(list->Items(0)->FPWD, "пароль");
    EXPECT_EQ(written(list), bytes);
}

TEST(HostList, ARegisteredClassOfTheWrongKindInTheListIsRefused)
{
    // The 147-byte file with its TNVHost entry replaced by a TNVDataBase.
    std::vector<std::uint8_t> bytes(kOneHostFile.begin(), kOneHostFile.begin() + 79);
    const std::vector<std::uint8_t> db =
        bytesOf({0x0B, 'T', 'N', 'V', 'D', 'a', 't', 'a', 'B',  'a',  's',  'e', 0x08,
                 'O',  'b', 'j', 'e', 'c', 't', '_', '0', 0x00, 0x00, 0x00, 0x00});
    bytes.insert(bytes.end(), db.begin(), db.end());
    try {
        readBack(bytes);
        FAIL() << "no error";
    } catch (const ReadError& e) {
        EXPECT_STREQ(e.what(), "Invalid property value");
    }
}

TEST(Registration, HostClassesAreFoundByNameInAnyCase)
{
    EXPECT_EQ(&FindClass("tnvhost"), &TNVHost::StaticClass());
    EXPECT_EQ(&FindClass("TNVHOSTS"), &TNVHosts::StaticClass());
    EXPECT_EQ(&FindClass("TNVDataBase"), &TNVDataBase::StaticClass());
    EXPECT_EQ(&FindClass("tnvdatabases"), &TNVDataBases::StaticClass());
    EXPECT_NE(FindClass("TNVHost").Create(), nullptr);
}

TEST(HostsFile, SavedAndLoadedThroughTheObjectFile)
{
    const std::string path = "/tmp/norvane-hosts-" + std::to_string(::getpid()) + ".lst";
    TNVHosts hosts;
    hosts.AddObject("dbhost", newHost("dbhost", 3306, "reader", "", false));
    SaveObject(path, &hosts);
    auto loaded = LoadObject(path);
    std::remove(path.c_str());
    auto* back = dynamic_cast<TNVHosts*>(loaded.get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(written(back), kOneHostFile);
}

TEST(HostList, EntriesWithoutAHostAreDroppedWhenRead)
{
    // Only damage leaves a key without its host; typed access must never meet a null host.
    TNVHosts hosts;
    hosts.AddObject("ghost", nullptr);
    hosts.AddObject("dbhost", newHost("dbhost", 3306, "reader", "", false));
    hosts.AddObject("ghost2", nullptr);
    auto back = readBack(written(&hosts));
    auto* list = dynamic_cast<TNVHosts*>(back.get());
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Keys(0), "dbhost");
    ASSERT_NE(list->Items(0), nullptr);
    EXPECT_EQ(list->Items(0)->FUID, "reader");
}

TEST(HostTls, SettingsAreStoredOnlyWhenNotTheDefaultAndReadBack)
{
    // Default TLS settings leave the file byte for byte as it was (the 147-byte example).
    TNVHosts plain;
    TNVHost* host = newHost("dbhost", 3306, "reader", "", false);
    plain.AddObject("dbhost", host);
    EXPECT_EQ(written(&plain), kOneHostFile);

    host->FTLSMode = 3;
    host->FTLSCAFile = "/etc/ssl/ca é.pem";
    const auto bytes = written(&plain);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("tmVerifyIdentity"), std::string::npos);
    auto object = readBack(bytes);
    auto* hosts = dynamic_cast<TNVHosts*>(object.get());
    ASSERT_NE(hosts, nullptr);
    ASSERT_EQ(hosts->Count(), 1);
    EXPECT_EQ(hosts->Items(0)->FTLSMode, 3);
    EXPECT_EQ(hosts->Items(0)->FTLSCAFile, "/etc/ssl/ca é.pem");

    TNVHost copy;
    copy.Assign(hosts->Items(0));
    EXPECT_EQ(copy.FTLSMode, 3);
    EXPECT_EQ(copy.FTLSCAFile, "/etc/ssl/ca é.pem");
}
