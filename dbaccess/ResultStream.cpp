#include "ResultStream.h"

#include "ConnectHandle.h"
#include "SessionWorker.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

namespace norvane::db {

namespace {
// How often the status bar hears how far a background read has come.
constexpr qint64 kProgressEveryMs = 100;
// The longest the reader gives way for the first rows; far below net_write_timeout.
constexpr int kFirstBatchPauseMs = 50;
// How long the owner waits for rows before it processes events meanwhile (or, without an
// event loop, takes what came).
constexpr auto kQuietWait = std::chrono::milliseconds(2);
// A walk that ran out of rows is woken for this many, not for each: a reader and an owner
// that take turns row by row spend their time switching threads.
constexpr std::size_t kWakeBatch = 512;
} // namespace

// Handed over between the reader and the owning thread under the mutex; the reader alone uses
// the handle, the result and the arena until it sets `done`.
struct ResultStream::Shared
{
    std::mutex mutex;
    std::vector<PackedRow> incoming;
    std::uint64_t read = 0;
    bool done = false;
    bool noticePending = false;
    bool discarded = false;
    unsigned code = 0;
    QString message;
    std::atomic<bool> stop{false};
    std::condition_variable wake;
    /// How many waiting rows wake a thread that waits quietly (none waits: never).
    std::size_t wakeAt = std::numeric_limits<std::size_t>::max();
    /// The reader gives way once, for a moment, after this many rows, until the owner took
    /// them: on a busy machine a reader that keeps its core would delay the first rows' display.
    std::uint64_t firstBatch = 0;
    bool firstTaken = false;

    st_mysql* mysql = nullptr;
    ResultPtr result;
    int columns = 0;
    RowArena::Ptr arena;
};

ResultStream::ResultStream(Connection* connection, ResultPtr result, int columns,
                           RowArena::Ptr arena, QObject* parent)
    : QObject(parent), m_connection(connection), m_shared(std::make_shared<Shared>())
{
    m_shared->mysql = connection->handle();
    m_shared->result = std::move(result);
    m_shared->columns = columns;
    m_shared->arena = std::move(arena);
    m_threadId = mysql_thread_id(m_shared->mysql);
}

ResultStream::~ResultStream()
{
    abort();
}

void ResultStream::start(std::size_t firstBatch)
{
    m_shared->firstBatch = firstBatch;
    m_started = true;
    m_connection->streamStarted(this);
    auto read = [this, s = m_shared] {
        st_mysql* m = s->mysql;
        const auto notice = [this, &s] {
            // Called with the mutex held: one notice in the queue at a time. A thread waiting
            // quietly is woken only once it has enough rows to work on, or at the end.
            if (s->incoming.size() >= s->wakeAt || s->done)
                s->wake.notify_all();
            if (s->noticePending)
                return;
            s->noticePending = true;
            // By name: the queued call is then built and read inside Qt alone, whose own lock
            // orders it (ThreadSanitizer cannot see that lock, so a functor built here and read
            // there would look unordered).
            QMetaObject::invokeMethod(this, "onNotice", Qt::QueuedConnection);
        };
        unsigned code = 0;
        QString message;
        try {
            readRows(*s, notice);
            code = mysql_errno(m);
            message = QString::fromUtf8(mysql_error(m));
        } catch (const std::bad_alloc&) {
            // The rest is read and dropped so that the session stays usable.
            s->stop = true;
            s->discarded = true;
            while (mysql_fetch_row(s->result.get())) {
            }
            code = CR_OUT_OF_MEMORY;
            message = QStringLiteral("Out of memory: the result is too large to hold.");
        }
        s->result.reset();
        if (code == 0) {
            code = drainFurther(m);
            if (code)
                message = QString::fromUtf8(mysql_error(m));
        }
        // The owner may delete this stream as soon as it sees `done`: the last notice goes out
        // under the same lock.
        const std::lock_guard lock(s->mutex);
        s->code = code;
        s->message = message;
        s->done = true;
        notice();
    };
    // The session's own worker reads when there is one: it already has the handle's memory at
    // hand, and no thread has to be started before the first rows.
    if (m_connection->m_worker)
        m_connection->m_worker->post(std::move(read));
    else
        m_thread = std::thread(std::move(read));
}

void ResultStream::readRows(Shared& s, const std::function<void()>& notice)
{
    st_mysql_res* res = s.result.get();
    while (MYSQL_ROW row = mysql_fetch_row(res)) {
        if (s.stop.load(std::memory_order_relaxed)) {
            // Rows the server sent before it saw the KILL are read and dropped.
            s.discarded = true;
            continue;
        }
        PackedRow packed =
            PackedRow::fromArrays(row, mysql_fetch_lengths(res), s.columns, s.arena.get());
        std::unique_lock lock(s.mutex);
        s.incoming.push_back(std::move(packed));
        ++s.read;
        notice();
        if (s.read == s.firstBatch)
            s.wake.wait_for(lock, std::chrono::milliseconds(kFirstBatchPauseMs),
                            [&s] { return s.firstTaken || s.stop.load(); });
    }
}

void ResultStream::joinReader()
{
    if (m_thread.joinable()) {
        m_thread.join();
        return;
    }
    std::unique_lock lock(m_shared->mutex);
    m_shared->wake.wait(lock, [this] { return m_shared->done; });
}

void ResultStream::onNotice()
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->noticePending = false;
    }
    collect();
    if (m_reported && m_connection &&
        (!m_progress.isValid() || m_progress.elapsed() >= kProgressEveryMs || m_ended)) {
        m_progress.start();
        if (!m_ended)
            emit m_connection->fetchProgress(m_rowsRead);
    }
    emit rowsArrived();
    if (m_ended && !m_endSignalled) {
        m_endSignalled = true;
        emit ended();
    }
}

void ResultStream::collect()
{
    if (m_ended || !m_started)
        return;
    std::vector<PackedRow> got;
    bool done = false;
    {
        const std::lock_guard lock(m_shared->mutex);
        got.swap(m_shared->incoming);
        done = m_shared->done;
        m_rowsRead = m_shared->read;
        if (!m_shared->firstTaken && m_rowsRead >= m_shared->firstBatch) {
            m_shared->firstTaken = true;
            m_shared->wake.notify_all();
        }
    }
    for (PackedRow& row : got)
        m_ready.push_back(std::move(row));
    if (done)
        finish();
}

void ResultStream::finish()
{
    joinReader();
    m_ended = true;
    const unsigned code = m_shared->code;
    const bool stopped = m_shared->stop.load();
    m_incomplete = m_shared->discarded || code != 0;
    m_stopped = stopped && (code == 0 || code == ER_QUERY_INTERRUPTED);
    if (code != 0 && m_connection)
        m_error = m_connection->streamError(code, m_shared->message);
    if (m_connection)
        m_connection->streamEnded(this);
}

void ResultStream::setReported(bool reported)
{
    m_reported = reported;
}

std::size_t ResultStream::waiting()
{
    collect();
    return m_ready.size();
}

bool ResultStream::atEnd()
{
    collect();
    return m_ended && m_ready.empty();
}

std::vector<PackedRow> ResultStream::take(std::size_t maxRows)
{
    collect();
    const std::size_t n = std::min(maxRows, m_ready.size());
    std::vector<PackedRow> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(std::move(m_ready.front()));
        m_ready.pop_front();
    }
    return out;
}

bool ResultStream::waitQuietly(std::size_t rows, std::chrono::steady_clock::time_point until)
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->wakeAt = std::max<std::size_t>(rows, 1);
    const bool enough = m_shared->wake.wait_until(lock, until, [this] {
        return m_shared->incoming.size() >= m_shared->wakeAt || m_shared->done;
    });
    m_shared->wakeAt = std::numeric_limits<std::size_t>::max();
    return enough;
}

void ResultStream::waitUntil(const std::function<bool()>& ready, std::size_t rows)
{
    collect();
    if (m_ended || ready())
        return;
    // Without an event loop to run (a program without a Qt application) the thread sleeps
    // until the reader hands over enough rows, a moment passed with some, or the read ended.
    if (!QCoreApplication::instance() ||
        QCoreApplication::instance()->thread() != QThread::currentThread()) {
        while (!m_ended && !ready()) {
            waitQuietly(rows, std::chrono::steady_clock::now() + kQuietWait);
            collect();
        }
        return;
    }
    // Rows that come within a moment (the first rows of most reads) are waited for without
    // processing events, as a quick round trip is.
    waitQuietly(rows, std::chrono::steady_clock::now() + kQuietWait);
    collect();
    if (m_ended || ready())
        return;
    // The session stays busy while this thread waits: the status bar offers Stop, and mouse
    // and keys cannot start anything that would need the session.
    const bool wasBusy = m_connection && m_connection->isBusy();
    if (m_connection && !wasBusy)
        m_connection->setBusy(true);
    QEventLoop loop;
    const auto wake = [this, &loop, &ready] {
        if (m_ended || ready())
            loop.quit();
    };
    connect(this, &ResultStream::rowsArrived, &loop, wake);
    connect(this, &ResultStream::ended, &loop, wake);
    while (!m_ended && !ready())
        loop.exec();
    if (m_connection && !wasBusy)
        m_connection->setBusy(false);
}

void ResultStream::waitForRows(std::size_t rows)
{
    waitUntil([this, rows] { return m_ready.size() >= rows; },
              rows > m_ready.size() ? rows - m_ready.size() : 1);
}

void ResultStream::waitForMore()
{
    const std::uint64_t before = m_rowsRead;
    waitUntil([this, before] { return m_rowsRead > before || !m_ready.empty(); }, kWakeBatch);
}

void ResultStream::waitForEnd()
{
    waitUntil([] { return false; }, std::numeric_limits<std::size_t>::max());
}

void ResultStream::requestStop()
{
    if (m_ended || !m_started)
        return;
    m_shared->stop = true;
    if (m_connection)
        m_connection->killQuery(m_threadId, true);
}

void ResultStream::stopAndWait()
{
    if (m_ended || !m_started)
        return;
    // The wait comes first in the guard: a stop that could not be sent still leaves a reader
    // that drops every further row, so the session comes free in any case.
    // The stop processes events while it waits for the server: whatever they do may end this
    // read, or delete this stream with its owner.
    const QPointer<ResultStream> self(this);
    std::exception_ptr failed;
    try {
        requestStop();
    } catch (...) {
        failed = std::current_exception();
    }
    if (self)
        waitForEnd();
    if (failed)
        std::rethrow_exception(failed);
}

void ResultStream::abort()
{
    if (!m_started || m_ended)
        return;
    m_shared->stop = true;
    if (m_connection) {
        try {
            m_connection->killQuery(m_threadId, false);
        } catch (...) {
            // The reader drops what still comes; waiting for it is all that is left.
        }
    }
    joinReader();
    m_ended = true;
    m_incomplete = true;
    if (m_connection)
        m_connection->streamEnded(this);
}

} // namespace norvane::db
