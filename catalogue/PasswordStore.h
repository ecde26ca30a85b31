#pragma once
/// Stored passwords of known hosts in the desktop keyring (the Secret Service, through
/// QtKeychain), with hosts.lst as the fallback when no keyring answers.

#include <QObject>
#include <QString>

#include <functional>
#include <string>

namespace norvane::catalogue {

class TNVHost;
class TNVHosts;

/// Whether the desktop keyring took part the last time it was asked.
enum class KeyringState
{
    Unknown,
    Available,
    Unavailable
};

/// The desktop keyring's passwords of this application. Every call is asynchronous: its answer
/// comes on the calling thread's event loop, within `timeout()` at most; a keyring that does
/// not answer by then counts as unavailable (a late answer only updates `state()`). Nothing
/// here ever waits on the session bus.
class PasswordStore : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(bool ok, const QString& password, const QString& error)>;

    explicit PasswordStore(QObject* parent = nullptr);

    /// The keyring's service name of every entry: "Norvane".
    static QString service();
    /// The entry of `host`: user, host and port ("user@db.example:3307"), each part
    /// percent-encoded so that no two hosts share an entry; the host name in lower case.
    static QString keyFor(const TNVHost& host);

    KeyringState state() const { return m_state; }
    /// Why the keyring is unavailable (the keyring's or the time-out's message).
    QString reason() const { return m_reason; }
    /// Where a stored password goes now, for the logon dialog.
    QString placeText() const;

    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeout() const { return m_timeoutMs; }

    /// Asks the keyring for an entry that does not exist: the answer sets `state()`.
    void probe();
    /// `done(true, password, {})` when found; `done(false, {}, message)` otherwise, with an
    /// empty message for an entry that does not exist in an answering keyring.
    void read(const QString& key, const Done& done);
    void write(const QString& key, const QString& password, const Done& done);
    /// Deletes the entry; an entry that does not exist counts as deleted.
    void remove(const QString& key, const Done& done = {});

    /// Calls that have not answered yet.
    int pending() const { return m_pending; }

signals:
    void stateChanged(norvane::catalogue::KeyringState state);
    /// Every answer or time-out, after its `Done`.
    void answered();

private:
    enum class Kind
    {
        Read,
        Write,
        Remove
    };
    void start(Kind kind, const QString& key, const QString& password, const Done& done);
    void setState(KeyringState state, const QString& reason);

    KeyringState m_state = KeyringState::Unknown;
    QString m_reason;
    int m_timeoutMs = 5000;
    int m_pending = 0;
};

/// The application's one store, owned by the running Qt application.
PasswordStore& passwordStore();

/// Keeps the passwords of `KnownHosts` entries where they belong: in the keyring when it
/// answers, otherwise in hosts.lst (owner-only). `TNVHost::PasswordPlace` tells the file writer
/// which of the two holds an entry's password.
class HostPasswords
{
public:
    /// After a logon changed or added `entry` (`oldKey`: its entry before, or empty; `hadStored`:
    /// whether it stored its password before): drops a keyring entry the host no longer uses
    /// (flag unticked, user or port changed) and marks the password to be written again.
    static void noteChanged(PasswordStore& store, TNVHost& entry, const QString& oldKey,
                            bool hadStored);
    /// A host left the known hosts: its keyring entry goes too.
    static void noteRemoved(PasswordStore& store, const TNVHost& host);
    /// Before a save: every stored password that is in the file only (changed, or from an older
    /// file) goes to the keyring when it answers. The file may leave these out at once; a write
    /// that fails puts the password back in the file and calls `rewrite` to save again.
    /// Works on `KnownHosts`; entries removed meanwhile are left alone.
    static void moveToKeyring(PasswordStore& store, const std::function<void()>& rewrite);
    /// At exit, when no answer can arrive any more: passwords still on their way to the
    /// keyring are written to the file.
    static void keepUnconfirmedInFile();
};

} // namespace norvane::catalogue
