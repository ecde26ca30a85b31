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
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <utility>

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
    void readOnlyExecutableFolderUsesThePerUserFolder_data();
    void readOnlyExecutableFolderUsesThePerUserFolder();
    void failedSaveAfterLogonIsReportedOnce();

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

void HostsFileTest::readOnlyExecutableFolderUsesThePerUserFolder_data()
{
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("oldFile");
    QTest::addColumn<bool>("ownFile");
    QTest::addColumn<QString>("load");
    QTest::addColumn<QString>("save");
    QTest::newRow("writable folder") << true << true << true << "exe"
                                     << "exe";
    QTest::newRow("installed, first run") << false << false << false << "config"
                                          << "config";
    QTest::newRow("installed, old file") << false << true << false << "exe"
                                         << "config";
    QTest::newRow("installed, own file") << false << true << true << "config"
                                         << "config";
}

void HostsFileTest::readOnlyExecutableFolderUsesThePerUserFolder()
{
    QFETCH(bool, writable);
    QFETCH(bool, oldFile);
    QFETCH(bool, ownFile);
    QFETCH(QString, load);
    QFETCH(QString, save);
    QTemporaryDir dir;
    const QString exeDir = dir.filePath(QStringLiteral("exe"));
    const QString configDir = dir.filePath(QStringLiteral("config"));
    QVERIFY(QDir().mkpath(exeDir) && QDir().mkpath(configDir));
    for (const auto& [present, folder] : {std::pair{oldFile, exeDir}, {ownFile, configDir}}) {
        QFile file(QDir(folder).filePath(QStringLiteral("hosts.lst")));
        QVERIFY(!present || file.open(QIODevice::WriteOnly));
    }
    const auto files = norvane::app::hostsFilesFor(exeDir, writable, configDir);
    QCOMPARE(files.load, dir.filePath(load + QStringLiteral("/hosts.lst")));
    QCOMPARE(files.save, dir.filePath(save + QStringLiteral("/hosts.lst")));

    // The folder check tries to write, which even root cannot below a plain file.
    QVERIFY(norvane::app::isWritableDirectory(exeDir));
    const QString plainFile = dir.filePath(QStringLiteral("exe/hosts.lst"));
    QFile(plainFile).open(QIODevice::WriteOnly);
    QVERIFY(!norvane::app::isWritableDirectory(plainFile + QStringLiteral("/bin")));
}

void HostsFileTest::failedSaveAfterLogonIsReportedOnce()
{
    QVERIFY(QDir().mkpath(norvane::app::knownHostsPath()));
    TMainForm form;
    form.saveKnownHostsAfterLogon();
    const QString message = form.statusBar()->currentMessage();
    QVERIFY2(message.contains(QStringLiteral("could not be saved")), qPrintable(message));
    form.statusBar()->clearMessage();
    form.saveKnownHostsAfterLogon();
    QCOMPARE(form.statusBar()->currentMessage(), QString());

    // A save that works again re-arms the report.
    removeHostsPath();
    form.saveKnownHostsAfterLogon();
    QVERIFY(QFileInfo(norvane::app::knownHostsPath()).isFile());
    QVERIFY(m_prompts->errors.isEmpty());
}

QTEST_MAIN(HostsFileTest)
#include "HostsFileTest.moc"
