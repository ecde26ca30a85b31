#pragma once
/// Hosts and databases: what reaches a MySQL server and which database on it, the known-hosts
/// list, and their stored form in the hosts file.

#include "persist/VSClass.h"

#include <cstdint>
#include <memory>
#include <string>

namespace norvane::catalogue {

class TNVDataBases;

/// A server the user logs on to: host name, port, user name, password and whether the logon
/// dialog fills the stored password in again.
class TNVHost : public persist::TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    TNVHost();
    ~TNVHost() override;

    std::string FHost;
    /// Carried and stored, but never passed to the connection.
    std::int32_t FPort = 0;
    std::string FUID;
    std::string FPWD;
    bool FStorePWD = false;
    /// Databases of the host; created empty, copied by Assign, never stored.
    std::unique_ptr<TNVDataBases> DataBases;

    /// From another host: every field and a deep copy of `DataBases`.
    void Assign(const persist::TPersistent* source) override;
    /// FHost, FPort, FUID, FPWD, FStorePWD. The password is written only when it is not empty
    /// and the user chose to store it; a stored password is always read.
    void EnumProperties(persist::TPropOp op, persist::TObject* context,
                        const persist::TPropProc& proc) override;
};

/// Owning list of hosts, each under the `FHost` it had when it was added.
class TNVHosts : public persist::TStoredStrList
{
    NORVANE_DECLARE_CLASS
public:
    /// The host at `index`; null for an entry without object (a damaged file can hold one).
    TNVHost* Items(int index) const;
    void SetItems(int index, TNVHost* host) { SetItem(index, host); }

    /// From another host list: clear, then a copy of each host under its `FHost`.
    void Assign(const persist::TPersistent* source) override;
    /// Refuses entries that are not hosts, so `Items` never sees another class.
    void AfterRead(persist::TObjReader& reader) override;
};

/// One database on a host. The connection side (connect, disconnect, tables) builds on this.
class TNVDataBase : public persist::TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    TNVDataBase();
    ~TNVDataBase() override;

    std::string FDataBase;
    /// The host whose settings a connection uses; not owned.
    TNVHost* Host = nullptr;

    /// From another database: `FDataBase` only; `Host` stays.
    void Assign(const persist::TPersistent* source) override;
    void EnumProperties(persist::TPropOp op, persist::TObject* context,
                        const persist::TPropProc& proc) override;
};

/// Owning list of databases, each under its `FDataBase`.
class TNVDataBases : public persist::TStoredStrList
{
    NORVANE_DECLARE_CLASS
public:
    /// The database at `index`; null for an entry without object.
    TNVDataBase* Items(int index) const;
    void SetItems(int index, TNVDataBase* db) { SetItem(index, db); }

    /// From another database list: clear, then a copy of each database under its `FDataBase`.
    void Assign(const persist::TPersistent* source) override;
    void AfterRead(persist::TObjReader& reader) override;
};

/// The hosts the user has logged on to, newest first; created at start-up and kept until exit.
extern std::unique_ptr<TNVHosts> KnownHosts;

} // namespace norvane::catalogue
