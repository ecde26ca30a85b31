#pragma once
/// The background reader of one unbuffered result.

#include "Connection.h"
#include "PackedRow.h"

#include <QElapsedTimer>
#include <QObject>

#include <chrono>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace norvane::db {

/// Reads the result of the statement just sent, on a thread of its own, at the speed the server
/// sends it: from `start` until the end of the result (and of any further results) the reader
/// owns the session's handle. Rows are packed straight into the arena and handed to the owning
/// thread, which takes them with `take`; `rowsArrived` tells it that more are waiting (at most
/// one notice is queued at a time) and `ended` that the read is over. The reader never pauses,
/// so the server's net_write_timeout never ends a result that is being read.
class ResultStream : public QObject
{
    Q_OBJECT

public:
    ResultStream(Connection* connection, ResultPtr result, int columns, RowArena::Ptr arena,
                 QObject* parent = nullptr);
    /// A read still running is killed and waited for without processing events.
    ~ResultStream() override;
    ResultStream(const ResultStream&) = delete;
    ResultStream& operator=(const ResultStream&) = delete;

    /// Starts the reader; the first `firstBatch` rows reach this thread without delay.
    void start(std::size_t firstBatch = 0);
    /// Processes events, the session busy meanwhile, until `rows` rows wait or the read ended.
    void waitForRows(std::size_t rows);
    /// As `waitForRows`, until rows beyond those read so far came (or the read ended), even when
    /// a listener of `rowsArrived` took them meanwhile.
    void waitForMore();
    /// As `waitForRows`, until the read ended.
    void waitForEnd();
    /// Ends the read: further rows are dropped and the statement is killed (KILL QUERY over a
    /// second connection); rows read before stay. Returns without waiting for the end.
    void requestStop();
    /// `requestStop`, then `waitForEnd`.
    void stopAndWait();
    /// From now on the connection tells its listeners how far the read came and how it ended
    /// (a read that ended inside the open is not worth a word in the status bar).
    void setReported(bool reported);
    bool reported() const { return m_reported; }
    /// Up to `maxRows` of the rows waiting, in order; never waits.
    std::vector<PackedRow> take(std::size_t maxRows);
    std::size_t waiting();
    /// True while the reader runs (the session is not free).
    bool running() const { return !m_ended; }
    /// True once the read ended and every row was taken.
    bool atEnd();
    /// True when the read ended before the end of the result (stopped or failed).
    bool incomplete() const { return m_incomplete; }
    /// Rows read so far (as handed over to this thread).
    std::uint64_t rowsRead() const { return m_rowsRead; }
    /// True when the user's stop ended the read.
    bool stopped() const { return m_stopped; }
    /// The error that ended the read (the server's "interrupted" after a stop too).
    const std::optional<DbError>& error() const { return m_error; }

    /// Blocks until the reader has ended; for teardown only (no events are processed).
    void abort();
    void forgetConnection() { m_connection = nullptr; }

signals:
    void rowsArrived();
    void ended();

private:
    struct Shared;
    Q_INVOKABLE void onNotice();
    static void readRows(Shared& s, const std::function<void()>& notice);
    /// Waits without events until the reader has let go of the session and of this stream.
    void joinReader();
    void collect();
    void finish();
    /// Waits until `ready`, woken by the reader once `rows` rows wait (or it ended).
    void waitUntil(const std::function<bool()>& ready, std::size_t rows);
    /// Sleeps until `rows` rows wait, the read ended or `until`; true unless the time ran out.
    bool waitQuietly(std::size_t rows, std::chrono::steady_clock::time_point until);

    Connection* m_connection;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    std::deque<PackedRow> m_ready;
    unsigned long m_threadId = 0;
    std::uint64_t m_rowsRead = 0;
    bool m_started = false;
    bool m_ended = false;
    bool m_incomplete = false;
    bool m_stopped = false;
    bool m_reported = false;
    bool m_endSignalled = false;
    QElapsedTimer m_progress;
    std::optional<DbError> m_error;
};

} // namespace norvane::db
