// Writes a hosts.lst that offers one host in the logon dialog, for the demo server that
// scripts/run starts. The file is made by the persistence library, like the application's own.
//   norvane-demo-hosts FILE HOST USER PASSWORD
#include "catalogue/NVMySQLObject.h"
#include "persist/DataLib.h"

#include <exception>
#include <iostream>
#include <memory>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "usage: norvane-demo-hosts FILE HOST USER PASSWORD\n";
        return 2;
    }
    using namespace norvane;
    try {
        catalogue::TNVHosts hosts;
        auto host = std::make_unique<catalogue::TNVHost>();
        host->FHost = argv[2];
        host->FUID = argv[3];
        host->FPWD = argv[4];
        host->FStorePWD = true;
        const std::string key = host->FHost;
        hosts.AddObject(key, host.get());
        host.release();
        persist::SaveObject(argv[1], &hosts);
    } catch (const std::exception& e) {
        std::cerr << "norvane-demo-hosts: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
