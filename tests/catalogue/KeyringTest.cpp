// Stored passwords against a real desktop keyring (gnome-keyring-daemon on a private session
// bus, see tests/support/with-keyring.sh), read back independently with secret-tool, and the
// file fallback when no keyring answers. Each suite runs in the keyring mode its name gives.
#include "catalogue/NVMySQLObject.h"
#include "catalogue/PasswordStore.h"
#include "persist/DataLib.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace norvane;
using namespace norvane::catalogue;

namespace {

/// The keyring's entry for `key` as secret-tool reads it; empty when there is none.
QString secretToolLookup(const QString& key)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("server"), PasswordStore::service(),
                QStringLiteral("user"), key});
    if (!tool.waitForFinished(10000))
        return QStringLiteral("<secret-tool hung>");
    return QString::fromUtf8(tool.readAllStandardOutput());
}

void secretToolStore(const QString& key, const QString& password)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("store"), QStringLiteral("--label=test"), QStringLiteral("server"),
                PasswordStore::service(), QStringLiteral("user"), key, QStringLiteral("type"),
                QStringLiteral("plaintext")});
    tool.write(password.toUtf8());
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished(10000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
}

TNVHost* host(const std::string& name, int port, const std::string& uid, const std::string& pwd,
              bool store)
{
    auto* h = new TNVHost;
    h->FHost = name;
    h->FPort = port;
    h->FUID = uid;
    h->FPWD = pwd;
    h->FStorePWD = store;
    return h;
}

std::string fileText(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Every test starts from the same known hosts and a store of its own.
class Keyring : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        KnownHosts = std::make_unique<TNVHosts>();
        m_store.setTimeout(2000);
    }
    void TearDown() override { KnownHosts.reset(); }

    QString hostsFile() const { return m_dir.filePath(QStringLiteral("hosts.lst")); }
    void save()
    {
        ++m_saves;
        persist::SaveObject(hostsFile().toStdString(), KnownHosts.get());
    }
    /// What the application does at each save: move passwords, then write the file.
    void saveLikeTheApplication()
    {
        HostPasswords::moveToKeyring(m_store, [this] { save(); });
        save();
    }
    bool settle()
    {
        return QTest::qWaitFor([this] { return m_store.pending() == 0; }, 10000);
    }
    void probe()
    {
        m_store.probe();
        ASSERT_TRUE(settle());
    }

    QTemporaryDir m_dir;
    PasswordStore m_store;
    int m_saves = 0;
};

class KeyringAvailable : public Keyring
{
};
class KeyringMissing : public Keyring
{
};
class KeyringStalled : public Keyring
{
};

} // namespace

TEST_F(KeyringAvailable, StoreReadAndRemoveAreSeenBySecretTool)
{
    probe();
    ASSERT_EQ(m_store.state(), KeyringState::Available) << m_store.reason().toStdString();
    EXPECT_EQ(m_store.placeText(), QStringLiteral("kept in the desktop keyring"));
    // Odd names must not collide: '@' and ':' in the parts are encoded.
    std::unique_ptr<TNVHost> odd(host("Db.Example", 3307, "a@b:c", "", true));
    const QString key = PasswordStore::keyFor(*odd);
    EXPECT_EQ(key, QStringLiteral("a%40b%3Ac@db.example:3307"));
    const QString password = QStringLiteral("p\u00e4ss w\u00f6rd'; DROP");

    bool written = false;
    m_store.write(key, password, [&](bool ok, const QString&, const QString&) { written = ok; });
    ASSERT_TRUE(settle());
    ASSERT_TRUE(written);
    EXPECT_EQ(secretToolLookup(key), password);

    QString read;
    m_store.read(key, [&](bool ok, const QString& value, const QString&) {
        if (ok)
            read = value;
    });
    ASSERT_TRUE(settle());
    EXPECT_EQ(read, password);

    bool removed = false;
    m_store.remove(key, [&](bool ok, const QString&, const QString&) { removed = ok; });
    ASSERT_TRUE(settle());
    EXPECT_TRUE(removed);
    EXPECT_EQ(secretToolLookup(key), QString());
}

TEST_F(KeyringAvailable, SavedPasswordGoesToTheKeyringAndNeverToTheFile)
{
    probe();
    KnownHosts->AddObject("db1", host("db1", 0, "alice", "alpha-secret", true));
    KnownHosts->AddObject("db2", host("db2", 0, "bob", "beta-secret", false));
    saveLikeTheApplication();
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_saves, 1) << "a keyring that answered needs no second save";
    const std::string text = fileText(hostsFile());
    EXPECT_EQ(text.find("alpha-secret"), std::string::npos);
    EXPECT_EQ(text.find("beta-secret"), std::string::npos);
    EXPECT_EQ(secretToolLookup(QStringLiteral("alice@db1:0")), QStringLiteral("alpha-secret"));
    EXPECT_EQ(secretToolLookup(QStringLiteral("bob@db2:0")), QString());

    // Read back: the flag without the password, which the keyring gives.
    auto loaded = persist::LoadObject(hostsFile().toStdString());
    auto* hosts = dynamic_cast<TNVHosts*>(loaded.get());
    ASSERT_NE(hosts, nullptr);
    TNVHost* back = hosts->Items(0);
    ASSERT_TRUE(back && back->FStorePWD);
    EXPECT_TRUE(back->PasswordInKeyring());
    QString read;
    m_store.read(PasswordStore::keyFor(*back),
                 [&](bool, const QString& v, const QString&) { read = v; });
    ASSERT_TRUE(settle());
    EXPECT_EQ(read, QStringLiteral("alpha-secret"));
}

TEST_F(KeyringAvailable, PasswordOfAnOlderFileMovesToTheKeyringAtTheNextSave)
{
    // An older file holds FPWD; the store has not been asked yet, so the first save keeps the
    // password in the file and takes it out once the keyring confirmed it.
    KnownHosts->AddObject("old", host("old", 3306, "carol", "gamma-secret", true));
    save();
    ASSERT_NE(fileText(hostsFile()).find("gamma-secret"), std::string::npos);
    auto loaded = persist::LoadObject(hostsFile().toStdString());
    KnownHosts.reset(dynamic_cast<TNVHosts*>(loaded.release()));
    ASSERT_TRUE(KnownHosts);
    ASSERT_EQ(KnownHosts->Items(0)->FPWD, "gamma-secret");

    saveLikeTheApplication();
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_saves, 3);
    EXPECT_EQ(fileText(hostsFile()).find("gamma-secret"), std::string::npos);
    EXPECT_EQ(secretToolLookup(QStringLiteral("carol@old:3306")), QStringLiteral("gamma-secret"));
    EXPECT_EQ(KnownHosts->Items(0)->PasswordPlace, TNVHost::TPasswordPlace::Keyring);
}

TEST_F(KeyringAvailable, UntickChangedPortAndRemovalDeleteTheEntries)
{
    probe();
    secretToolStore(QStringLiteral("u1@a:0"), QStringLiteral("one"));
    secretToolStore(QStringLiteral("u2@b:0"), QStringLiteral("two"));
    secretToolStore(QStringLiteral("u3@c:0"), QStringLiteral("three"));
    KnownHosts->AddObject("a", host("a", 0, "u1", "one", true));
    KnownHosts->AddObject("b", host("b", 0, "u2", "two", true));
    std::unique_ptr<TNVHost> c(host("c", 0, "u3", "", true));

    TNVHost* a = KnownHosts->Items(0);
    const QString oldA = PasswordStore::keyFor(*a);
    a->FStorePWD = false;
    HostPasswords::noteChanged(m_store, *a, oldA, true);
    TNVHost* b = KnownHosts->Items(1);
    const QString oldB = PasswordStore::keyFor(*b);
    b->FPort = 3307;
    HostPasswords::noteChanged(m_store, *b, oldB, true);
    HostPasswords::noteRemoved(m_store, *c);
    saveLikeTheApplication();
    ASSERT_TRUE(settle());

    EXPECT_EQ(secretToolLookup(QStringLiteral("u1@a:0")), QString()) << "unticked";
    EXPECT_EQ(secretToolLookup(QStringLiteral("u2@b:0")), QString()) << "port changed";
    EXPECT_EQ(secretToolLookup(QStringLiteral("u2@b:3307")), QStringLiteral("two"));
    EXPECT_EQ(secretToolLookup(QStringLiteral("u3@c:0")), QString()) << "removed";
    const std::string text = fileText(hostsFile());
    EXPECT_EQ(text.find("one"), std::string::npos) << "an unticked password stays off the disk";
    EXPECT_EQ(text.find("two"), std::string::npos);
}

TEST_F(KeyringMissing, PasswordStaysInTheFileAndTheHintSaysSo)
{
    probe();
    ASSERT_EQ(m_store.state(), KeyringState::Unavailable);
    EXPECT_FALSE(m_store.reason().isEmpty());
    EXPECT_EQ(m_store.placeText(), QStringLiteral("kept in hosts.lst: no keyring"));
    KnownHosts->AddObject("db", host("db", 0, "dave", "delta-secret", true));
    saveLikeTheApplication();
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_saves, 1);
    EXPECT_NE(fileText(hostsFile()).find("delta-secret"), std::string::npos);
    EXPECT_EQ(KnownHosts->Items(0)->PasswordPlace, TNVHost::TPasswordPlace::File);
    EXPECT_EQ(QFile(hostsFile()).permissions() & (QFile::ReadGroup | QFile::ReadOther),
              QFile::Permissions());
}

TEST_F(KeyringStalled, AnswersByTheTimeOutWhileTheEventLoopRuns)
{
    m_store.setTimeout(1000);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    bool answered = false;
    QString message;
    m_store.read(QStringLiteral("x@y:0"), [&](bool ok, const QString&, const QString& error) {
        answered = !ok;
        message = error;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 10000));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_GE(ticks, 10) << "the event loop must keep running while the keyring is asked";
    EXPECT_TRUE(message.contains(QStringLiteral("did not answer"))) << message.toStdString();
    EXPECT_EQ(m_store.state(), KeyringState::Unavailable);

    // A save meanwhile keeps the password in the file.
    KnownHosts->AddObject("db", host("db", 0, "erin", "epsilon-secret", true));
    saveLikeTheApplication();
    EXPECT_NE(fileText(hostsFile()).find("epsilon-secret"), std::string::npos);
    ASSERT_TRUE(settle());
    EXPECT_NE(fileText(hostsFile()).find("epsilon-secret"), std::string::npos);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
