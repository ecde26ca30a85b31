#pragma once
/// Runs one blocking call of the session on a thread of its own while the calling (GUI) thread
/// keeps processing its events: the window paints, timers fire, the Stop button answers.

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

    /// Runs `work` on a new thread and processes events until it ends. Returns true when it
    /// ended (an exception it threw is thrown here), false when `abandon()` gave up waiting:
    /// the thread then finishes alone, so `work` must own everything it touches.
    bool run(std::function<void()> work);
    /// Stops waiting for the running call at once (a connection attempt that hangs).
    void abandon();
    bool isRunning() const { return static_cast<bool>(m_state); }

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace norvane::db
