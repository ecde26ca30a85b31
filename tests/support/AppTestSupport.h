#pragma once
// Helpers shared by the GUI tests of the application window.

#include "app/ActionManager.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QLatin1String>
#include <QObject>
#include <QTest>

#include <memory>

/// The action named `name` under `owner`. A missing action ends the test program: every later
/// step would dereference it.
inline QAction* findAction(const QObject& owner, const char* name)
{
    auto* a = owner.findChild<QAction*>(QLatin1String(name));
    if (!a)
        qFatal("no action %s", name);
    return a;
}

/// Waits until `manager`'s enable rules have run once more at an idle moment of the event loop
/// (its zero timer), so every event queued before has been worked off. False on time-out.
inline bool waitForIdleEvaluation(norvane::app::ActionManager& manager)
{
    auto runs = std::make_shared<int>(0);
    manager.addUpdateHandler([runs] { ++*runs; });
    // Any event but a paint wakes the idle timer.
    QCoreApplication::postEvent(&manager, new QEvent(QEvent::User));
    return QTest::qWaitFor([&runs] { return *runs > 0; });
}
