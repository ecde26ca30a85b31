#pragma once
/// Hosts and databases: what reaches a MySQL server and which database on it, the known-hosts
/// list, and their stored form in the hosts file.

#include "persist/VSClass.h"

#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace norvane::db {
class Connection;
class SqlSource;
} // namespace norvane::db

namespace norvane::catalogue {

class TNVDataBases;
class TNVDataBase;

/// A server the user logs on to: host name, port, user name, password and whether the logon
/// dialog fills the stored password in again.
class TNVHost : public persist::TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    TNVHost();
    ~TNVHost() override;

    std::string FHost;
    /// 0: the client library's default port.
    std::int32_t FPort = 0;
    std::string FUID;
    std::string FPWD;
    bool FStorePWD = false;
    /// How the session uses TLS, in the order of `db::TlsMode` (0, Preferred, is the default).
    std::uint8_t FTLSMode = 0;
    /// The CA certificate file for the verifying TLS modes.
    std::string FTLSCAFile;
    /// Databases of the host; created empty, copied by Assign, never stored.
    std::unique_ptr<TNVDataBases> DataBases;

    /// Where a stored password is kept (never stored itself): in the file, or in the desktop
    /// keyring, where it is on its way to or confirmed; the file leaves it out of the last two.
    enum class TPasswordPlace : std::uint8_t
    {
        File,
        KeyringPending,
        Keyring
    };
    TPasswordPlace PasswordPlace = TPasswordPlace::File;
    /// A stored password the file leaves out: the logon dialog reads it from the keyring.
    bool PasswordInKeyring() const { return FStorePWD && FPWD.empty(); }

    /// From another host: every field and a deep copy of `DataBases`.
    void Assign(const persist::TPersistent* source) override;
    /// FHost, FPort, FUID, FPWD, FStorePWD, then FTLSMode and FTLSCAFile only when they differ
    /// from the default, so a host without TLS settings is stored as before. The password is
    /// written only when it is not empty, the user chose to store it and it is not kept in the
    /// keyring (`PasswordPlace`); a stored password is always read.
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
    /// Refuses entries that are not hosts and drops entries without one (a damaged file), so
    /// `Items` of a loaded list never meets another class or a null.
    void AfterRead(persist::TObjReader& reader) override;
};

/// One column of a table as "DESCRIBE" lists it.
class TNVFieldDef : public persist::TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    std::string FName;
    std::int32_t FPrecision = 0;
    std::int32_t FFieldNo = 0;
    std::int32_t FSize = 0;
    bool FInternalCalcField = false;
    std::uint8_t FDataType = 0;
    /// The column type exactly as the server gives it ("int(10) unsigned").
    std::string DataTypeName;
    std::uint8_t FAttributes = 0;

    /// From another column definition: every field.
    void Assign(const persist::TPersistent* source) override;
    void EnumProperties(persist::TPropOp op, persist::TObject* context,
                        const persist::TPropProc& proc) override;
};

/// One index of a table; the catalogue fills only the primary key's column list.
class TNVIndexDef : public persist::TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    std::string FName;
    std::string FSource;
    /// The key's column names joined by ";", in the table's column order.
    std::string FFieldExpression;
    std::string FDescFields;
    std::string FCaseInsFields;
    std::uint8_t FOptions = 0;
    std::int32_t FGroupingLevel = 0;

    /// From another index definition: every field.
    void Assign(const persist::TPersistent* source) override;
    void EnumProperties(persist::TPropOp op, persist::TObject* context,
                        const persist::TPropProc& proc) override;
};

/// Owning list of column definitions, each under its `FName`.
class TNVFieldDefs : public persist::TStoredStrList
{
    NORVANE_DECLARE_CLASS
public:
    TNVFieldDef* Items(int index) const;
    /// From another column list: a copy of each column under its `FName` (see copyTypedList).
    void Assign(const persist::TPersistent* source) override;
};

/// Owning list of index definitions, each under its `FName`.
class TNVIndexDefs : public persist::TStoredStrList
{
    NORVANE_DECLARE_CLASS
public:
    TNVIndexDef* Items(int index) const;
    /// From another index list: a copy of each index under its `FName` (see copyTypedList).
    void Assign(const persist::TPersistent* source) override;
};

/// A table or view of the connected database with its columns and primary key. Entries are
/// neither copied nor stored.
class TCustomNVTable : public persist::TBaseObject
{
    NORVANE_DECLARE_CLASS
public:
    TCustomNVTable();
    ~TCustomNVTable() override;

    /// The name exactly as "SHOW TABLES" listed it (UTF-8).
    std::string Name;
    std::unique_ptr<TNVFieldDefs> FieldDefs;
    std::unique_ptr<TNVIndexDefs> IndexDefs;
    /// The database the entry belongs to; not owned. Its `Query` reads the columns.
    TNVDataBase* DataBase = nullptr;

    /// Reads the columns and the primary key with "DESCRIBE", the name quoted as an identifier
    /// so that every listed name works. True when at least one column was read. Server errors
    /// pass to the caller; the lists keep their entries when the statement fails.
    bool LoadFieldDefs();
};

/// A table of the catalogue.
class TNVTable : public TCustomNVTable
{
    NORVANE_DECLARE_CLASS
};

/// A view of the catalogue.
class TNVView : public TCustomNVTable
{
    NORVANE_DECLARE_CLASS
};

/// Owning list of tables, each under its `Name`.
class TNVTables : public persist::TStoredStrList
{
    NORVANE_DECLARE_CLASS
public:
    TNVTable* Items(int index) const;
};

/// Owning list of views, each under its `Name`.
class TNVViews : public persist::TStoredStrList
{
    NORVANE_DECLARE_CLASS
public:
    TNVView* Items(int index) const;
};

/// The statement source through which database objects run their catalogue statements: the
/// data module's `MainSQLQuery`, which the data module installs here when it is created (and
/// removes, passing null, when it goes). A `TNVDataBase` takes it as its `Query` when made.
void SetCatalogueQuery(db::SqlSource* query);
db::SqlSource* CatalogueQuery();

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

    /// Tables of the database, filled by `LoadTables`.
    std::unique_ptr<TNVTables> Tables = std::make_unique<TNVTables>();
    /// Views of the database; nothing fills it ("SHOW TABLES" lists views as tables).
    std::unique_ptr<TNVViews> Views = std::make_unique<TNVViews>();
    /// The catalogue query (`MainSQLQuery`), not owned; its connection is the shared one.
    db::SqlSource* Query = CatalogueQuery();

    /// Closes the shared connection and opens it again as `Host`'s user on this database.
    /// Returns the connected state; refusals raise the server's or client library's error.
    bool Connect();
    /// Closes the shared connection; true when it is closed. Raises nothing.
    bool Disconnect();
    /// Replaces `Tables` by the names "SHOW TABLES" lists, in the server's order. Entries
    /// replaced here stay alive (a window may still show one) until the database goes.
    void LoadTables();

private:
    db::Connection& sharedConnection() const;
    std::vector<std::unique_ptr<TCustomNVTable>> m_retiredTables;
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

/// Lists the databases of `host`'s server into `names` through the shared connection, opened
/// without a default database and left open. On failure `names` keeps its entries and the
/// result is the server's or client library's message; empty on success.
QString ListDataBaseNames(TNVHost* host, QStringList& names);
/// `ListDataBaseNames` without the message.
void GetDataBaseNames(TNVHost* host, QStringList& names);

} // namespace norvane::catalogue
