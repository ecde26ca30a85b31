#include "MainFrm.h"

#include "catalogue/NVMySQLObject.h"
#include "catalogue/PasswordStore.h"
#include "persist/DataLib.h"
#include "persist/Error.h"
#include "persist/VSPub.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QStatusBar>
#include <QString>
#include <QTemporaryFile>

namespace norvane::app {

namespace {

const QString kHostsFileName = QStringLiteral("hosts.lst");

bool isFile(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

HostsFiles currentHostsFiles()
{
    const QString exeDir = QString::fromStdString(persist::ExeDir());
    return hostsFilesFor(exeDir, isWritableDirectory(exeDir),
                         QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

} // namespace

bool isWritableDirectory(const QString& dir)
{
    // Permission bits say nothing for root or a read-only mount: try it.
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".norvane-probe-XXXXXX")));
    return QFileInfo(dir).isDir() && probe.open();
}

HostsFiles hostsFilesFor(const QString& exeDir, bool exeDirWritable, const QString& configDir)
{
    const QString beside = QDir(exeDir).filePath(kHostsFileName);
    if (exeDirWritable || configDir.isEmpty())
        return {beside, beside};
    const QString perUser = QDir(configDir).filePath(kHostsFileName);
    // An installed copy starts from the file that came with it until it has one of its own.
    return {isFile(perUser) || !isFile(beside) ? perUser : beside, perUser};
}

QString knownHostsPath()
{
    return currentHostsFiles().save;
}

void TMainForm::loadKnownHosts()
{
    using catalogue::KnownHosts;
    using catalogue::TNVHosts;
    try {
        const QString path = currentHostsFiles().load;
        if (isFile(path)) {
            std::unique_ptr<persist::TBaseObject> loaded = persist::LoadObject(path.toStdString());
            // A readable object file whose root is not a host list (or is empty) is as
            // useless as a damaged one; taking it as the list would break every later use.
            if (!dynamic_cast<TNVHosts*>(loaded.get()))
                throw norvane::Error("hosts.lst holds no host list");
            KnownHosts.reset(static_cast<TNVHosts*>(loaded.release()));
        } else if (!KnownHosts) {
            KnownHosts = std::make_unique<TNVHosts>();
        }
    } catch (...) {
        KnownHosts = std::make_unique<TNVHosts>();
    }
}

QString TMainForm::writeKnownHosts()
{
    try {
        const QString path = currentHostsFiles().save;
        QDir().mkpath(QFileInfo(path).absolutePath());
        persist::SaveObject(path.toStdString(), catalogue::KnownHosts.get());
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
    return QString();
}

void TMainForm::saveKnownHosts()
{
    // No keyring answer can arrive any more: what it has not confirmed stays in the file.
    catalogue::HostPasswords::keepUnconfirmedInFile();
    // Losing the list of known hosts is not worth a message at exit.
    writeKnownHosts();
}

void TMainForm::saveKnownHostsAfterLogon()
{
    // Stored passwords go to the keyring first; the file is written again when a password
    // changes place (the keyring refused it, or confirmed one the file still held).
    QPointer<TMainForm> self(this);
    catalogue::HostPasswords::moveToKeyring(catalogue::passwordStore(), [self] {
        if (self)
            self->reportHostsSave(self->writeKnownHosts());
    });
    reportHostsSave(writeKnownHosts());
}

void TMainForm::reportHostsSave(const QString& failure)
{
    if (failure.isEmpty()) {
        m_hostsSaveReported = false;
        return;
    }
    // Once, not at every logon, until a save succeeds again.
    if (m_hostsSaveReported)
        return;
    m_hostsSaveReported = true;
    statusBar()->showMessage(QStringLiteral("The known hosts could not be saved to %1: %2")
                                 .arg(knownHostsPath(), failure));
}

} // namespace norvane::app
