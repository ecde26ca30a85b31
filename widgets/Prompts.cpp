#include "Prompts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>

#include <exception>

namespace norvane::widgets {

QString currentExceptionText() noexcept
{
    try {
        throw;
    } catch (const std::exception& e) {
        QString text = QString::fromUtf8(e.what());
        return text.isEmpty() ? QStringLiteral("Unknown error") : text;
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

namespace {
DialogPrompts g_dialogPrompts;
Prompts* g_current = &g_dialogPrompts;

QString runFileDialog(QWidget* parent, const FilePromptOptions& o, QFileDialog::AcceptMode mode)
{
    QFileDialog dlg(parent, o.title);
    dlg.setAcceptMode(mode);
    dlg.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
    dlg.setDefaultSuffix(o.defaultSuffix);
    if (!o.nameFilters.isEmpty())
        dlg.setNameFilters(o.nameFilters);
    if (!o.initialPath.isEmpty())
        dlg.selectFile(o.initialPath);
    if (!o.confirmOverwrite)
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}
} // namespace

Prompts& prompts()
{
    return *g_current;
}

Prompts* setPrompts(Prompts* p)
{
    Prompts* old = g_current;
    g_current = p ? p : &g_dialogPrompts;
    return old;
}

void DialogPrompts::showError(QWidget* parent, const QString& message)
{
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), message);
}

QMessageBox::StandardButton DialogPrompts::ask(QWidget* parent, const QString& title,
                                               const QString& text,
                                               QMessageBox::StandardButtons buttons,
                                               QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

QString DialogPrompts::openFileName(QWidget* parent, const FilePromptOptions& options)
{
    return runFileDialog(parent, options, QFileDialog::AcceptOpen);
}

QString DialogPrompts::saveFileName(QWidget* parent, const FilePromptOptions& options)
{
    return runFileDialog(parent, options, QFileDialog::AcceptSave);
}

int DialogPrompts::execDialog(QDialog& dialog)
{
    return dialog.exec();
}

} // namespace norvane::widgets
