#include "SessionWorker.h"

#include "DbError.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace norvane::db {

namespace {
// Most round trips (a page of a keyed table, a write-back) end well within this; waiting for
// them without processing events costs nothing and lets no timer or queued call in between.
constexpr auto kQuietWait = std::chrono::milliseconds(2);
void checkFree(bool running)
{
    if (running)
        throw DbError(QStringLiteral("The session is busy: a statement is running. Stop it or "
                                     "wait until it ends."));
}

} // namespace

// Shared by the waiting thread and the worker under the mutex. An abandoned worker keeps its
// own reference and ends after its call; the loop is reached only while it exists.
struct SessionWorker::State
{
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable ended;
    std::function<void()> work;
    /// The work in hand was posted: nobody waits for its end or its error.
    bool posted = false;
    /// The worker is inside a call.
    bool working = false;
    bool quit = false;
    bool done = false;
    bool abandoned = false;
    std::exception_ptr error;
    QEventLoop* loop = nullptr;
};

SessionWorker::SessionWorker() = default;

SessionWorker::~SessionWorker()
{
    if (!m_state)
        return;
    const std::lock_guard lock(m_state->mutex);
    m_state->quit = true;
    m_state->abandoned = true;
    m_state->wake.notify_one();
    if (m_state->loop)
        m_state->loop->quit();
}

void SessionWorker::post(std::function<void()> work)
{
    checkFree(m_running);
    const std::shared_ptr<State> s = state();
    std::unique_lock lock(s->mutex);
    s->ended.wait(lock, [&s] { return !s->working && !s->work; });
    s->posted = true;
    s->work = std::move(work);
    s->wake.notify_one();
}

std::shared_ptr<SessionWorker::State> SessionWorker::state()
{
    if (!m_state) {
        m_state = std::make_shared<State>();
        std::thread([s = m_state] { serve(s); }).detach();
    }
    return m_state;
}

bool SessionWorker::run(std::function<void()> work, const std::function<void()>& longWait)
{
    checkFree(m_running);
    const std::shared_ptr<State> s = state();
    m_running = true;
    std::unique_lock lock(s->mutex);
    // A posted reader has told its owner that it ended; it may still be on its way out.
    s->ended.wait(lock, [&s] { return !s->working && !s->work; });
    s->done = false;
    s->error = nullptr;
    s->work = std::move(work);
    s->wake.notify_one();
    const QCoreApplication* app = QCoreApplication::instance();
    const bool canLoop = app && app->thread() == QThread::currentThread();
    if (!s->ended.wait_for(lock, kQuietWait, [&s] { return s->done; })) {
        if (!canLoop) {
            s->ended.wait(lock, [&s] { return s->done; });
        } else {
            QEventLoop loop;
            s->loop = &loop;
            lock.unlock();
            if (longWait)
                longWait();
            // Only the end of the work or `abandon()` ends the wait; an application quitting
            // all its loops meanwhile must not leave the handle to two threads.
            for (;;) {
                loop.exec();
                lock.lock();
                if (s->done || s->abandoned)
                    break;
                lock.unlock();
            }
            s->loop = nullptr;
        }
    }
    m_running = false;
    if (s->abandoned) {
        // The worker finishes the abandoned call alone and ends; the next call gets a new one.
        s->quit = true;
        s->wake.notify_one();
        m_state.reset();
    }
    if (!s->done)
        return false;
    const std::exception_ptr error = s->error;
    s->error = nullptr;
    lock.unlock();
    if (error)
        std::rethrow_exception(error);
    return true;
}

void SessionWorker::abandon()
{
    if (!m_state || !m_running)
        return;
    const std::lock_guard lock(m_state->mutex);
    m_state->abandoned = true;
    if (m_state->loop)
        m_state->loop->quit();
}

void SessionWorker::serve(const std::shared_ptr<State>& s)
{
    std::unique_lock lock(s->mutex);
    for (;;) {
        s->wake.wait(lock, [&s] { return s->work || s->quit; });
        if (!s->work)
            return;
        std::function<void()> work = std::move(s->work);
        s->work = nullptr;
        const bool posted = std::exchange(s->posted, false);
        s->working = true;
        lock.unlock();
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        // What the work captured goes before the caller hears that it ended.
        work = nullptr;
        lock.lock();
        s->working = false;
        if (posted) {
            s->ended.notify_all();
            if (s->abandoned)
                return;
            continue;
        }
        s->error = error;
        s->done = true;
        s->ended.notify_all();
        // By name, so that the queued call is built and read inside Qt alone (see ResultStream).
        if (s->loop)
            QMetaObject::invokeMethod(s->loop, "quit", Qt::QueuedConnection);
        if (s->abandoned)
            return;
    }
}

} // namespace norvane::db
