#pragma once
// Answers every modal question of the window under test and remembers what was asked.

#include "widgets/Prompts.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>
#include <vector>

class RecordingPrompts : public norvane::widgets::Prompts
{
public:
    RecordingPrompts() { m_previous = norvane::widgets::setPrompts(this); }
    ~RecordingPrompts() override { norvane::widgets::setPrompts(m_previous); }
    RecordingPrompts(const RecordingPrompts&) = delete;
    RecordingPrompts& operator=(const RecordingPrompts&) = delete;

    void showError(QWidget*, const QString& message) override { errors << message; }
    QMessageBox::StandardButton ask(QWidget*, const QString&, const QString& text,
                                    QMessageBox::StandardButtons,
                                    QMessageBox::StandardButton) override
    {
        questions << text;
        return answer;
    }
    QString openFileName(QWidget*, const norvane::widgets::FilePromptOptions& options) override
    {
        return recordFilePrompt(options);
    }
    QString saveFileName(QWidget*, const norvane::widgets::FilePromptOptions& options) override
    {
        return recordFilePrompt(options);
    }
    int execDialog(QDialog& dialog) override
    {
        dialogs << &dialog;
        return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
    }

    QStringList errors;
    QStringList questions;
    QList<QDialog*> dialogs;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    /// The name every file prompt answers with; empty means the user cancels.
    QString fileName;
    /// What the last file prompt was given, and every file prompt in order.
    norvane::widgets::FilePromptOptions fileOptions;
    std::vector<norvane::widgets::FilePromptOptions> asked;
    std::function<int(QDialog&)> onDialog;

private:
    QString recordFilePrompt(const norvane::widgets::FilePromptOptions& options)
    {
        fileOptions = options;
        asked.push_back(options);
        return fileName;
    }

    norvane::widgets::Prompts* m_previous = nullptr;
};
