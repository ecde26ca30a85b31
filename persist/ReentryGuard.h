#pragma once
/// The one guard against code running again inside itself.

namespace norvane {

/// Marks a section that must not start again while it runs: a signal that comes back into its
/// own handler, or an event loop (a message box) opened inside the section that lets the same
/// trigger fire again. Either a scope (`Scope`) or a begin/end pair spread over two calls.
class ReentryGuard
{
public:
    /// True while the section runs.
    bool active() const noexcept { return m_active; }
    /// For sections that begin in one call and end in another.
    void begin() noexcept { m_active = true; }
    void end() noexcept { m_active = false; }

    /// Marks the section for the scope's lifetime and restores the previous state on leaving,
    /// also by an exception, so a nested scope does not end the outer one.
    class [[nodiscard]] Scope
    {
    public:
        explicit Scope(ReentryGuard& guard) noexcept : m_guard(guard), m_was(guard.m_active)
        {
            guard.m_active = true;
        }
        ~Scope() { m_guard.m_active = m_was; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        ReentryGuard& m_guard;
        bool m_was;
    };

private:
    bool m_active = false;
};

} // namespace norvane
