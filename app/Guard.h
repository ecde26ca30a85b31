#pragma once
/// The error guard that every action and event handler of the application runs through.

#include "widgets/Prompts.h"

#include <QString>

#include <functional>

class QWidget;

namespace norvane::app {

/// Runs `handler`. An exception it raises ends it and is shown in the error message box
/// (through the prompt seam) with the error's text; the caller then simply goes on.
/// Returns true when the handler finished without an error. Never throws.
bool runGuarded(QWidget* parent, const std::function<void()>& handler) noexcept;

/// The text the error message box shows for the exception currently being handled.
using widgets::currentExceptionText;

} // namespace norvane::app
