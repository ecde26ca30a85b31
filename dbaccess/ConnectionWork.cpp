#include "Connection.h"

#include "ConnectHandle.h"
#include "ResultStream.h"
#include "SessionWorker.h"

#include <mysql.h>

#include <mutex>

namespace norvane::db {

void Connection::setBackgroundWork(bool on)
{
    settle();
    m_worker = on ? std::make_unique<SessionWorker>() : nullptr;
}

void Connection::checkIdle() const
{
    if (m_busy || m_stream)
        throw DbError(QStringLiteral("The session is busy: a statement is running. Stop it or "
                                     "wait until it ends."));
}

void Connection::setBusy(bool busy)
{
    m_busy = busy;
    emit busyChanged(busy);
}

void Connection::stop()
{
    // The Stop button stays clickable while the stop itself waits for the server.
    if (m_stopping.active())
        return;
    const ReentryGuard::Scope stopping(m_stopping);
    if (m_stream) {
        m_stream->requestStop();
        return;
    }
    if (!m_busy)
        return;
    if (m_connecting) {
        m_worker->abandon();
        return;
    }
    killQuery(m_runningThreadId, true);
}

void Connection::killQuery(unsigned long threadId, bool processEvents)
{
    // The user may kill the statements of their own sessions; KILL QUERY ends the statement
    // and keeps the session with its database, character set and transaction.
    const ConnectionParams params = m_params;
    const auto kill = [params, threadId] {
        MYSQL* k = connectHandle(params, QString(), 5);
        const QByteArray sql = "KILL QUERY " + QByteArray::number(qulonglong(threadId));
        const bool failed =
            mysql_real_query(k, sql.constData(), static_cast<unsigned long>(sql.size()));
        const QString message = QString::fromUtf8(mysql_error(k));
        const unsigned code = mysql_errno(k);
        mysql_close(k);
        if (failed)
            throw DbError(QStringLiteral("The statement could not be stopped: %1").arg(message),
                          code);
    };
    if (processEvents && m_worker) {
        SessionWorker killer;
        killer.run(kill);
    } else {
        kill();
    }
}

void Connection::settle()
{
    finishFetch();
    checkIdle();
}

void Connection::finishFetch()
{
    if (!m_stream)
        return;
    if (m_busy)
        checkIdle();
    m_stream->waitForEnd();
}

void Connection::streamStarted(ResultStream* stream)
{
    m_busyInTransaction = inTransaction();
    m_stream = stream;
}

void Connection::streamEnded(ResultStream* stream)
{
    if (m_stream != stream)
        return;
    m_stream = nullptr;
    noteSchema();
    if (stream->reported())
        emit fetchEnded(stream->rowsRead(), !stream->incomplete(),
                        stream->error() && !stream->stopped() ? stream->error()->message()
                                                              : QString());
}

DbError Connection::streamError(unsigned code, const QString& message)
{
    if (m_mysql && isConnectionLoss(code)) {
        closeHandle(true);
        return DbError(message + QStringLiteral(" (the connection was closed; it is opened again "
                                                "on the next operation)"),
                       code, true);
    }
    return DbError(message, code);
}

bool Connection::roundTrip(const std::function<bool(st_mysql*)>& work)
{
    checkIdle();
    st_mysql* m = m_mysql;
    if (!m_worker)
        return work(m);
    // Read before the worker owns the handle: Stop needs the id, and the transaction state
    // cannot be asked while the statement runs.
    m_runningThreadId = mysql_thread_id(m);
    m_busyInTransaction = inTransaction();
    bool ok = false;
    runOnWorker([&ok, &work, m] { ok = work(m); });
    return ok;
}

bool Connection::runOnWorker(std::function<void()> work)
{
    // The session counts as busy only once the wait outlasts the quick hand-over.
    bool busy = false;
    const auto settleBusy = [this, &busy] {
        m_connecting = false;
        if (busy)
            setBusy(false);
    };
    bool finished = false;
    try {
        finished = m_worker->run(std::move(work), [this, &busy] {
            busy = true;
            setBusy(true);
        });
    } catch (...) {
        settleBusy();
        throw;
    }
    settleBusy();
    return finished;
}

void Connection::connectTo(const QString& database)
{
    checkIdle();
    MYSQL* m = nullptr;
    if (!m_worker) {
        m = connectHandle(m_params, database, m_connectTimeout);
    } else {
        // The attempt owns its handle until this thread takes it; an abandoned attempt closes
        // it alone whenever the client library gives up.
        struct Job
        {
            std::mutex mutex;
            MYSQL* handle = nullptr;
            bool abandoned = false;
        };
        auto job = std::make_shared<Job>();
        const ConnectionParams params = m_params;
        const unsigned timeout = m_connectTimeout;
        m_connecting = true;
        const bool finished = runOnWorker([job, params, database, timeout] {
            MYSQL* h = connectHandle(params, database, timeout);
            const std::lock_guard lock(job->mutex);
            if (job->abandoned)
                mysql_close(h);
            else
                job->handle = h;
        });
        const std::lock_guard lock(job->mutex);
        if (!finished) {
            job->abandoned = true;
            throw DbError(QStringLiteral("The connection attempt was stopped."));
        }
        m = job->handle;
    }
    m_mysql = m;
    m_lost = false;
    ++m_sessionNumber;
    m_currentDatabase = database;
    noteSchema();
    emit connectedChanged(true);
}

} // namespace norvane::db
