#pragma once
/// Every modal question the application asks goes through `Prompts`, so tests can answer them.

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace norvane::widgets {

/// What a file prompt needs: the dialog's title, default extension, filters and start name.
struct FilePromptOptions
{
    QString title;
    QString defaultSuffix;   ///< added when the user types a name without extension
    QStringList nameFilters; ///< "SQL files (*.sql)", ...
    QString initialPath;
    bool confirmOverwrite = true;
};

/// The one seam for modal interaction: message boxes, file dialogs and modal windows.
class Prompts
{
public:
    virtual ~Prompts() = default;

    /// An error message box with the error's text.
    virtual void showError(QWidget* parent, const QString& message) = 0;
    /// A question; returns the button pressed.
    virtual QMessageBox::StandardButton ask(QWidget* parent, const QString& title,
                                            const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton) = 0;
    /// The open file dialog; an empty string when cancelled.
    virtual QString openFileName(QWidget* parent, const FilePromptOptions& options) = 0;
    /// The save file dialog; an empty string when cancelled.
    virtual QString saveFileName(QWidget* parent, const FilePromptOptions& options) = 0;
    /// Runs a modal window (logon dialog, About) and returns its result code.
    virtual int execDialog(QDialog& dialog) = 0;
};

/// The text the error message box shows for the exception being handled: the error's message
/// (UTF-8), or "Unknown error" for an exception without one. Only valid inside a catch block;
/// both error guards (the application's and the data source's) decode through it.
QString currentExceptionText() noexcept;

/// The process's prompt implementation; real dialogs unless a test installed its own.
Prompts& prompts();
/// Installs `p` (tests); passing nullptr restores the real dialogs. Returns the previous one.
Prompts* setPrompts(Prompts* p);

/// Shows real Qt dialogs.
class DialogPrompts : public Prompts
{
public:
    void showError(QWidget* parent, const QString& message) override;
    QMessageBox::StandardButton ask(QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) override;
    QString openFileName(QWidget* parent, const FilePromptOptions& options) override;
    QString saveFileName(QWidget* parent, const FilePromptOptions& options) override;
    int execDialog(QDialog& dialog) override;
};

} // namespace norvane::widgets
