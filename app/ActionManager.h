#pragma once
/// Owns the window's actions, keeps their enabled state by update rules and runs them guarded.

#include "persist/ReentryGuard.h"

#include <QAction>
#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

namespace norvane::app {

/// Action list with idle-time enable rules.
///
/// The update rules run whenever the event loop has worked off its pending events, and again
/// right before an action's handler runs; an action that is disabled at that moment does not
/// run. Every handler and every rule runs inside the error guard, so no exception reaches Qt.
class ActionManager : public QObject
{
    Q_OBJECT
public:
    /// `guardParent` parents the error message boxes of the guard.
    explicit ActionManager(QWidget* guardParent, QObject* parent = nullptr);
    ~ActionManager() override;

    /// Creates an action named `objectName`; `handler` runs when it is triggered.
    QAction* add(const QString& objectName, const QString& caption, std::function<void()> handler,
                 const QKeySequence& shortcut = {});
    /// A second face of `target` with its own caption (a menu item that must carry a different
    /// accelerator); it follows the target's enabled state and runs the target.
    QAction* addAlias(QAction* target, const QString& objectName, const QString& caption);
    /// Adds a rule that sets the enabled state of one or more actions.
    void addUpdateHandler(std::function<void()> update);

    /// Evaluates every update rule now.
    void updateActions();
    /// Runs `action` as a menu, button or short-cut would: rules first, nothing if disabled.
    void execute(QAction* action);

    const std::vector<QAction*>& actions() const { return m_actions; }

signals:
    /// Emitted right before an enabled action's handler runs.
    void executing(QAction* action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry
    {
        QPointer<QAction> action;
        std::function<void()> handler;
    };

    QWidget* m_guardParent;
    std::vector<QAction*> m_actions;
    std::vector<Entry> m_entries;
    std::vector<std::function<void()>> m_updates;
    QTimer m_idle;
    ReentryGuard m_updating;
    QString m_lastUpdateError;
};

} // namespace norvane::app
