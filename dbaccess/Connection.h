#pragma once
/// The one database session of the application, over MariaDB Connector/C.

#include "DbError.h"
#include "persist/ReentryGuard.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

struct st_mysql;
struct st_mysql_res;

namespace norvane::db {

class ResultStream;
class SessionWorker;

/// How a session uses TLS.
enum class TlsMode
{
    Preferred,      ///< encrypted when the server offers it, certificate not checked
    Required,       ///< encrypted or no session; certificate not checked
    VerifyCa,       ///< encrypted, certificate signed by the CA file
    VerifyIdentity, ///< as VerifyCa, and the certificate names the host
    Off             ///< never encrypted
};

/// Logon settings. Port 0 and an empty host leave the client library's defaults (and with
/// them MYSQL_TCP_PORT and the local socket); a host that is an absolute path is a socket.
struct ConnectionParams
{
    QString user;
    QString password;
    QString host;
    QString database;
    int port = 0;
    TlsMode tls = TlsMode::Preferred;
    /// The CA certificate file for VerifyCa and VerifyIdentity.
    QString tlsCaFile{};
};

/// True when `host` reaches the server through the local socket ("localhost", empty, a path).
bool usesLocalSocket(const QString& host);

/// What a statement run through `Connection::execute` did.
struct ExecResult
{
    bool hasResultSet = false;      ///< the statement returned rows (they were read and dropped)
    std::uint64_t affectedRows = 0; ///< rows changed, or matched for UPDATE (found-rows mode)
};

/// Owns a MYSQL_RES and frees it.
struct ResultDeleter
{
    void operator()(st_mysql_res* res) const;
};
using ResultPtr = std::unique_ptr<st_mysql_res, ResultDeleter>;

/// The session (`SQLConnection`): utf8mb4 both ways, UPDATE counts matched rows. A dropped
/// session (server gone, killed, restarted) raises a `DbError` with `connectionLost()` set and
/// marks the connection closed; `ensureOpen()` then reconnects with the last settings and
/// restores the character set and the current database.
///
/// Two kinds of statements share the session. The application's own (`execute`, `query`,
/// `sendQuery`: pages, write-back, read-back, catalogue) always run under the settings the
/// session had at logon; statements the user wrote (`sendUserQuery`: the console) run under
/// whatever the user's own statements set (SET NAMES, sql_mode, time_zone, ...).
class Connection : public QObject
{
    Q_OBJECT

public:
    explicit Connection(QObject* parent = nullptr);
    ~Connection() override;

    void setParams(const ConnectionParams& params);
    const ConnectionParams& params() const { return m_params; }

    /// Closes, then connects with the current settings. Throws `DbError` with the server's or
    /// client library's message; the connection then stays closed.
    void open();
    void close();
    bool isConnected() const { return m_mysql != nullptr; }
    /// Opens with the last settings when closed; throws when no settings were ever given.
    void ensureOpen();

    /// Runs one statement; a result set is read and dropped. Throws `DbError` when refused.
    ExecResult execute(const QString& sql);
    ExecResult execute(const QByteArray& sqlUtf8);

    /// Runs a statement that returns rows and stores the whole result (small catalogue
    /// statements, pages, read-backs). Returns null when the statement had no result set.
    ResultPtr query(const QByteArray& sqlUtf8);

    /// Sends a statement and leaves its result unread, for callers that read it with
    /// `useResult()` and drain it before the next statement. Returns the column count.
    unsigned sendQuery(const QByteArray& sqlUtf8);
    /// The unbuffered result of the statement just sent by `sendQuery`.
    ResultPtr useResult();
    /// Sends a statement the user wrote, as `sendQuery` does, under the settings the user's
    /// earlier statements chose (put back first when the application's work replaced them).
    /// Afterwards the session's settings count as unknown until the application's next statement
    /// looks at them.
    unsigned sendUserQuery(const QByteArray& sqlUtf8);
    /// Reads and drops any further results (procedures) so that the session is free again.
    void drainResults();

    /// Escapes text for use inside a single-quoted literal, with the session's character set and
    /// sql_mode. Throws `DbError` without a session: an escape that knows neither can be wrong.
    /// Generated statements use `textLiteral` (SqlLiterals.h), which needs no escaping.
    QByteArray escape(const QByteArray& utf8) const;
    /// A complete single-quoted literal of the text, escaped by the session.
    QByteArray quoteString(const QByteArray& utf8) const;
    /// A hexadecimal literal (X'...'); byte values never go through text escaping.
    static QByteArray hexLiteral(const QByteArray& bytes);
    /// An identifier in backticks, inner backticks doubled.
    static QString quoteIdentifier(const QString& name);

    /// The database the session is using now (follows USE statements).
    QString currentDatabase() const { return m_currentDatabase; }
    /// True while the session holds an open transaction (the user's START TRANSACTION).
    bool inTransaction() const;
    std::uint64_t lastInsertId() const;
    std::uint64_t affectedRows() const;
    /// The server's version text ("10.11.6-MariaDB"); empty while closed.
    QString serverVersion() const;
    /// The TLS protocol of the session ("TLSv1.3"); empty while closed or not encrypted.
    QString tlsVersion() const;
    /// The TCP port the session uses; 0 for a local socket or while closed.
    int serverPort() const;

    /// Connects and every round trip of the session (the user's statements and the
    /// application's own: pages, write-back, catalogue, settings) run on the session's worker
    /// thread. This thread waits a moment for it without processing events, so quick round
    /// trips cost next to nothing and let nothing in between; past that it processes events
    /// with the session busy (needs a running Qt application for that); off by default, when
    /// every call blocks its caller.
    void setBackgroundWork(bool on);
    /// Seconds a connection attempt may wait for the server (10 unless changed).
    void setConnectTimeout(unsigned seconds) { m_connectTimeout = seconds; }
    /// True while a background round trip runs: the handle then belongs to the worker, and
    /// every other use of the session throws a `DbError` saying so.
    bool isBusy() const { return m_busy; }
    /// Ends what runs in the background: a statement by `KILL QUERY` sent over a second,
    /// short-lived connection with the same settings (the statement then fails with the
    /// server's message); a background read the same way (the rows read so far stay); a
    /// connection attempt by giving up on it at once.
    void stop();
    /// True while a result is read in the background (`ResultStream`): the handle belongs to
    /// the reader, and every statement first waits for the read to end.
    bool isFetching() const { return m_stream != nullptr; }
    /// Waits, processing events with the session busy, until the background read has ended
    /// (read to its end or stopped).
    void finishFetch();

    /// Counts successful connects; a change tells holders of server state that it is gone.
    std::uint64_t sessionNumber() const { return m_sessionNumber; }
    /// True when the last close came from a dropped session rather than from `close()`.
    bool wasLost() const { return m_lost; }

    /// The raw handle for code of this layer; null while closed.
    st_mysql* handle() const { return m_mysql; }
    /// Turns the handle's current error into a `DbError`; a dropped session also closes the
    /// connection. Never returns.
    [[noreturn]] void raiseError();

signals:
    /// Emitted whenever the connected state changes; receivers must not throw.
    void connectedChanged(bool connected);
    /// Emitted when a background round trip starts and ends.
    void busyChanged(bool busy);
    /// How many rows a background read has read so far (every 100 ms or so).
    void fetchProgress(quint64 rows);
    /// A background read ended: all rows read, or stopped or failed (`error` says why; empty
    /// when the user stopped it).
    void fetchEnded(quint64 rows, bool complete, const QString& error);

private:
    friend class ResultStream;
    void connectTo(const QString& database);
    void checkIdle() const;
    /// Makes sure the handle is this thread's: waits for a background read, throws when busy.
    void settle();
    void streamStarted(ResultStream* stream);
    void streamEnded(ResultStream* stream);
    /// The error that ended a background read; a dropped session also closes the connection.
    DbError streamError(unsigned code, const QString& message);
    /// Sends KILL QUERY for the thread over a second connection, on a worker while this thread
    /// processes events when `processEvents` is set and background work is on.
    void killQuery(unsigned long threadId, bool processEvents);
    void setBusy(bool busy);
    /// Runs one round trip (`work` gets the handle and touches nothing else) on the session's
    /// worker when background work is on, else on this thread; returns what `work` returned.
    /// The session counts as busy only once the wait is noticeably long.
    bool roundTrip(const std::function<bool(st_mysql*)>& work);
    /// Runs `work` on the worker, the session busy while the wait lasts (a connect's flag is
    /// cleared afterwards); false when `stop()` abandoned it.
    bool runOnWorker(std::function<void()> work);
    /// Sends a statement and stores its whole result (null without a result set) and drains
    /// further results; false when refused (the handle holds the error).
    bool storeRoundTrip(const QByteArray& sqlUtf8, ResultPtr& res);
    void closeHandle(bool lost);
    void noteSchema();
    void runInternal(const QByteArray& sql);
    QByteArrayList readSettings();
    void applySettings(const QByteArrayList& values);
    void useOwnSettings();
    void useUserSettings();

    ConnectionParams m_params;
    bool m_hasParams = false;
    st_mysql* m_mysql = nullptr;
    QString m_currentDatabase;
    std::uint64_t m_sessionNumber = 0;
    bool m_lost = false;
    /// The logon settings as literals, read before the user's first statement of the session.
    QByteArrayList m_ownSettings;
    /// The settings the user's statements left, to put back before the next one; empty while
    /// the session holds them (or the application's, when both are the same).
    QByteArrayList m_userSettings;
    /// A user's statement ran since the application last made sure of its settings.
    bool m_settingsUnknown = false;
    std::unique_ptr<SessionWorker> m_worker;
    unsigned m_connectTimeout = 10;
    bool m_busy = false;
    bool m_connecting = false;
    bool m_busyInTransaction = false;
    unsigned long m_runningThreadId = 0;
    ResultStream* m_stream = nullptr;
    ReentryGuard m_stopping;
};

} // namespace norvane::db
