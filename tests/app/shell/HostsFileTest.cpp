// The known-hosts file beside the executable: loaded when the main window is created, written
// when it closes, silent about every failure.

#include "RecordingPrompts.h"

#include "app/MainFrm.h"
#include "catalogue/NVMySQLObject.h"
#include "persist/DataLib.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <memory>

using norvane::app::TMainForm;
using norvane::catalogue::KnownHosts;
using norvane::catalogue::TNVHost;
using norvane::catalogue::TNVHosts;

namespace {

TNVHost* makeHost(const char* name, const char* user, const char* password, bool store)
{
    auto* host = new TNVHost;
    host->FHost = name;
    host->FUID = user;
    host->FPWD = password;
    host->FStorePWD = store;
    host->FPort = 3307;
    return host;
}

QByteArray validFileBytes()
{
    const QString path = QDir::temp().filePath(QStringLiteral("norvane-valid-hosts.lst"));
    TNVHosts hosts;
    hosts.AddObject("alpha.example", makeHost("alpha.example", "ann", "secret", true));
    norvane::persist::SaveObject(path.toStdString(), &hosts);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read back %s", qPrintable(path));
    const QByteArray bytes = file.readAll();
    file.close();
    QFile::remove(path);
    return bytes;
}

std::unique_ptr<TNVHosts> readHostsFile()
{
    auto loaded = norvane::persist::LoadObject(norvane::app::knownHostsPath().toStdString());
    auto* hosts = dynamic_cast<TNVHosts*>(loaded.get());
    if (!hosts)
        return nullptr;
    loaded.release();
    return std::unique_ptr<TNVHosts>(hosts);
}

} // namespace

class HostsFileTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_prompts = std::make_unique<RecordingPrompts>();
        removeHostsPath();
        KnownHosts.reset();
    }
    void cleanup()
    {
        removeHostsPath();
        m_prompts.reset();
    }

    void startWithoutFileStartsEmptyAndCloseWritesTheFile();
    void hostsSurviveARealCloseAndStart();
    void damagedFileStartsEmptyAndIsReplacedAtClose_data();
    void damagedFileStartsEmptyAndIsReplacedAtClose();
    void unwritableFileIsIgnoredAtClose();

private:
    static void removeHostsPath()
    {
        const QString path = norvane::app::knownHostsPath();
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
    /// Closes the window the way the user does, through Exit.
    static void exitThroughTheMenu(TMainForm& form)
    {
        form.show();
        form.findChild<QAction*>(QStringLiteral("acExit"))->trigger();
    }

    std::unique_ptr<RecordingPrompts> m_prompts;
};

void HostsFileTest::startWithoutFileStartsEmptyAndCloseWritesTheFile()
{
    {
        TMainForm form;
        QVERIFY(KnownHosts);
        QCOMPARE(KnownHosts->Count(), 0);
        exitThroughTheMenu(form);
    }
    QVERIFY(QFileInfo::exists(norvane::app::knownHostsPath()));
    auto stored = readHostsFile();
    QVERIFY(stored);
    QCOMPARE(stored->Count(), 0);
    QVERIFY(m_prompts->errors.isEmpty());
}

void HostsFileTest::hostsSurviveARealCloseAndStart()
{
    {
        TMainForm form;
        KnownHosts->InsertObject(0, "alpha.example", makeHost("alpha.example", "ann", "pw1", true));
        KnownHosts->InsertObject(0, "Beta.Example", makeHost("Beta.Example", "bob", "pw2", true));
        exitThroughTheMenu(form);
    }
    KnownHosts.reset();
    {
        TMainForm form;
        QVERIFY(KnownHosts);
        QCOMPARE(KnownHosts->Count(), 2);
        QCOMPARE(KnownHosts->Keys(0), std::string("Beta.Example"));
        const TNVHost* first = KnownHosts->Items(0);
        QVERIFY(first);
        QCOMPARE(first->FHost, std::string("Beta.Example"));
        QCOMPARE(first->FUID, std::string("bob"));
        QCOMPARE(first->FPWD, std::string("pw2"));
        QCOMPARE(first->FPort, 3307);
        QVERIFY(first->FStorePWD);
        QCOMPARE(KnownHosts->Items(1)->FHost, std::string("alpha.example"));
        QCOMPARE(KnownHosts->IndexOf("BETA.example"), 0);
    }
    QVERIFY(m_prompts->errors.isEmpty());
}

void HostsFileTest::damagedFileStartsEmptyAndIsReplacedAtClose_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray valid = validFileBytes();
    QVERIFY(valid.size() > 8);
    QTest::newRow("not an object file") << QByteArray("hosts: alpha, beta\n");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("cut in half") << valid.left(valid.size() / 2);
    QTest::newRow("last byte missing") << valid.left(valid.size() - 1);
    QByteArray flipped = valid;
    flipped[flipped.size() / 3] = char(0xFF);
    QTest::newRow("one byte damaged") << flipped;

    // A sound object file whose root is a database, not a host list.
    const QString path = QDir::temp().filePath(QStringLiteral("norvane-db-root.lst"));
    norvane::catalogue::TNVDataBase db;
    db.FDataBase = "shop";
    norvane::persist::SaveObject(path.toStdString(), &db);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTest::newRow("another class") << file.readAll();
    file.close();
    QFile::remove(path);
}

void HostsFileTest::damagedFileStartsEmptyAndIsReplacedAtClose()
{
    QFETCH(QByteArray, content);
    QFile file(norvane::app::knownHostsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    {
        TMainForm form;
        QVERIFY(KnownHosts);
        // A damaged byte may still leave a readable list; it must then be a usable one.
        for (int i = 0; i < KnownHosts->Count(); ++i)
            QVERIFY(KnownHosts->Items(i));
        if (content.size() < validFileBytes().size())
            QCOMPARE(KnownHosts->Count(), 0);
        KnownHosts->Clear();
        KnownHosts->AddObject("gamma.example", makeHost("gamma.example", "cy", "", false));
        exitThroughTheMenu(form);
    }
    QVERIFY(m_prompts->errors.isEmpty());
    auto stored = readHostsFile();
    QVERIFY(stored);
    QCOMPARE(stored->Count(), 1);
    QCOMPARE(stored->Items(0)->FHost, std::string("gamma.example"));
}

void HostsFileTest::unwritableFileIsIgnoredAtClose()
{
    // A directory in the file's place can be neither read as the list nor replaced by it,
    // whoever runs the test.
    QVERIFY(QDir().mkpath(norvane::app::knownHostsPath()));
    bool closed = false;
    {
        TMainForm form;
        QVERIFY(KnownHosts);
        QCOMPARE(KnownHosts->Count(), 0);
        KnownHosts->AddObject("delta.example", makeHost("delta.example", "di", "x", true));
        exitThroughTheMenu(form);
        closed = !form.isVisible();
    }
    QVERIFY(closed);
    QVERIFY(m_prompts->errors.isEmpty());
    QVERIFY(QFileInfo(norvane::app::knownHostsPath()).isDir());
}

QTEST_MAIN(HostsFileTest)
#include "HostsFileTest.moc"
