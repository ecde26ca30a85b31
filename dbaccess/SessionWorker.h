#pragma once
/// The session's own thread: it runs the blocking calls of the session one at a time while the
/// calling (GUI) thread keeps processing its events, so the window paints, timers fire and the
/// Stop button answers.

#include <functional>
#include <memory>

namespace norvane::db {

class SessionWorker
{
public:
    SessionWorker();
    ~SessionWorker();
    SessionWorker(const SessionWorker&) = delete;
    SessionWorker& operator=(const SessionWorker&) = delete;

    /// Hands `work` to the worker thread and waits for it. A call that ends within a moment
    /// (most round trips) is waited for without processing events; past that `longWait` runs
    /// and events are processed until the work ends. Returns true when it ended (an exception
    /// it threw is thrown here), false when `abandon()` gave up waiting: the work then finishes
    /// alone on a thread of its own, so it must own everything it touches.
    bool run(std::function<void()> work, const std::function<void()>& longWait = {});
    /// Starts `work` on the worker thread and returns at once: a reader that owns the session
    /// until its result ends. The work shares everything it touches with its owner and tells
    /// it itself when it is over; a later `run` waits (without events) until it has returned.
    /// An exception it throws is dropped.
    void post(std::function<void()> work);
    /// Stops waiting for the running call at once (a connection attempt that hangs).
    void abandon();
    bool isRunning() const { return m_running; }

private:
    struct State;
    std::shared_ptr<State> state();
    static void serve(const std::shared_ptr<State>& s);
    std::shared_ptr<State> m_state;
    bool m_running = false;
};

} // namespace norvane::db
