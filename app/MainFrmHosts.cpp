#include "MainFrm.h"

#include "catalogue/NVMySQLObject.h"
#include "persist/DataLib.h"
#include "persist/Error.h"
#include "persist/VSPub.h"

#include <QFileInfo>
#include <QString>

namespace norvane::app {

namespace {
std::string hostsPath()
{
    return persist::ExeDir() + "hosts.lst";
}

bool isFile(const std::string& path)
{
    const QFileInfo info(QString::fromStdString(path));
    return info.exists() && !info.isDir();
}
} // namespace

QString knownHostsPath()
{
    return QString::fromStdString(hostsPath());
}

void TMainForm::loadKnownHosts()
{
    using catalogue::KnownHosts;
    using catalogue::TNVHosts;
    try {
        const std::string path = hostsPath();
        if (isFile(path)) {
            std::unique_ptr<persist::TBaseObject> loaded = persist::LoadObject(path);
            // A readable object file whose root is not a host list (or is empty) is as
            // useless as a damaged one; taking it as the list would break every later use.
            auto* hosts = dynamic_cast<TNVHosts*>(loaded.get());
            if (!hosts)
                throw norvane::Error("hosts.lst holds no host list");
            loaded.release();
            KnownHosts.reset(hosts);
        } else if (!KnownHosts) {
            KnownHosts = std::make_unique<TNVHosts>();
        }
    } catch (...) {
        KnownHosts = std::make_unique<TNVHosts>();
    }
}

void TMainForm::saveKnownHosts()
{
    try {
        persist::SaveObject(hostsPath(), catalogue::KnownHosts.get());
    } catch (...) {
        // Losing the list of known hosts is not worth a message at exit.
    }
}

} // namespace norvane::app
