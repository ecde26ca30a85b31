#include "ActionManager.h"

#include "Guard.h"

#include "widgets/Prompts.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace norvane::app {

ActionManager::ActionManager(QWidget* guardParent, QObject* parent)
    : QObject(parent), m_guardParent(guardParent)
{
    // A zero timer fires once the event queue is empty: that is the loop's idle moment.
    m_idle.setSingleShot(true);
    m_idle.setInterval(0);
    connect(&m_idle, &QTimer::timeout, this, &ActionManager::updateActions);
    QCoreApplication::instance()->installEventFilter(this);
    m_idle.start();
}

ActionManager::~ActionManager()
{
    if (auto* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

QAction* ActionManager::add(const QString& objectName, const QString& caption,
                            std::function<void()> handler, const QKeySequence& shortcut)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(objectName);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    m_actions.push_back(action);
    m_entries.push_back({action, std::move(handler)});
    connect(action, &QAction::triggered, this, [this, action] { this->execute(action); });
    return action;
}

QAction* ActionManager::addAlias(QAction* target, const QString& objectName, const QString& caption)
{
    auto* alias = new QAction(caption, this);
    alias->setObjectName(objectName);
    alias->setIcon(target->icon());
    alias->setShortcut(target->shortcut());
    alias->setShortcutContext(Qt::WidgetShortcut); // the target owns the key
    alias->setEnabled(target->isEnabled());
    connect(target, &QAction::changed, alias,
            [alias, target] { alias->setEnabled(target->isEnabled()); });
    connect(alias, &QAction::triggered, this, [this, target] { execute(target); });
    return alias;
}

void ActionManager::addUpdateHandler(std::function<void()> update)
{
    m_updates.push_back(std::move(update));
}

void ActionManager::updateActions()
{
    if (m_updating.active())
        return;
    const ReentryGuard::Scope updating(m_updating);
    bool failed = false;
    for (const auto& update : m_updates) {
        // A failing rule would fail again at every idle moment; report each distinct
        // failure once instead of stacking message boxes.
        QString failure;
        try {
            update();
        } catch (...) {
            failure = currentExceptionText();
        }
        if (failure.isEmpty())
            continue;
        failed = true;
        if (failure != m_lastUpdateError) {
            m_lastUpdateError = failure;
            try {
                widgets::prompts().showError(m_guardParent, failure);
            } catch (...) {
            }
        }
    }
    if (!failed)
        m_lastUpdateError.clear();
}

void ActionManager::execute(QAction* action)
{
    if (!action)
        return;
    updateActions();
    if (!action->isEnabled())
        return;
    for (const auto& entry : m_entries) {
        if (entry.action == action) {
            emit executing(action);
            runGuarded(m_guardParent, entry.handler);
            break;
        }
    }
    m_idle.start();
}

bool ActionManager::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_idle || m_updating.active())
        return false;
    switch (event->type()) {
    case QEvent::Paint:
    case QEvent::UpdateRequest:
    case QEvent::UpdateLater:
    case QEvent::ActionChanged:
        break;
    default:
        if (!m_idle.isActive())
            m_idle.start();
    }
    return false;
}

} // namespace norvane::app
