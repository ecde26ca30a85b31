#include "SessionWorker.h"

#include "DbError.h"

#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <mutex>
#include <thread>

namespace norvane::db {

// Shared by the waiting thread and the worker: the worker may outlive the wait (abandon), so
// it holds its own reference, and it reaches the event loop only under the mutex while the
// loop still exists.
struct SessionWorker::State
{
    std::mutex mutex;
    QEventLoop* loop = nullptr;
    bool done = false;
    bool abandoned = false;
    std::exception_ptr error;
};

SessionWorker::SessionWorker() = default;

SessionWorker::~SessionWorker()
{
    abandon();
}

bool SessionWorker::run(std::function<void()> work)
{
    if (m_state)
        throw DbError(QStringLiteral("The session is busy: a statement is running. Stop it or "
                                     "wait until it ends."));
    auto state = std::make_shared<State>();
    QEventLoop loop;
    state->loop = &loop;
    m_state = state;
    std::thread([state, work = std::move(work)] {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard lock(state->mutex);
        state->error = error;
        state->done = true;
        if (state->loop)
            QMetaObject::invokeMethod(state->loop, &QEventLoop::quit, Qt::QueuedConnection);
    }).detach();
    bool done = false;
    std::exception_ptr error;
    // Only the end of the work or `abandon()` ends the wait; an application quitting all its
    // loops meanwhile must not leave the handle to two threads.
    for (;;) {
        loop.exec();
        const std::lock_guard lock(state->mutex);
        if (!state->done && !state->abandoned)
            continue;
        state->loop = nullptr;
        done = state->done;
        error = state->error;
        break;
    }
    m_state.reset();
    if (!done)
        return false;
    if (error)
        std::rethrow_exception(error);
    return true;
}

void SessionWorker::abandon()
{
    if (!m_state)
        return;
    const std::lock_guard lock(m_state->mutex);
    m_state->abandoned = true;
    if (m_state->loop)
        m_state->loop->quit();
}

} // namespace norvane::db
