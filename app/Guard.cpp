#include "Guard.h"

#include "widgets/Prompts.h"

#include <QDebug>

namespace norvane::app {

bool runGuarded(QWidget* parent, const std::function<void()>& handler) noexcept
{
    if (!handler)
        return true;
    QString message;
    try {
        handler();
        return true;
    } catch (...) {
        message = currentExceptionText();
    }
    // The message box runs its own event loop; a prompt that fails must not let the
    // exception escape into Qt either.
    try {
        widgets::prompts().showError(parent, message);
    } catch (...) {
        qWarning().noquote() << "Norvane:" << message;
    }
    return false;
}

} // namespace norvane::app
