#pragma once
// Answers every modal question of the window under test and remembers what was asked.

#include "widgets/Prompts.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class RecordingPrompts : public norvane::widgets::Prompts
{
public:
    RecordingPrompts() { m_previous = norvane::widgets::setPrompts(this); }
    ~RecordingPrompts() override { norvane::widgets::setPrompts(m_previous); }

    void showError(QWidget*, const QString& message) override { errors << message; }
    QMessageBox::StandardButton ask(QWidget*, const QString&, const QString& text,
                                    QMessageBox::StandardButtons,
                                    QMessageBox::StandardButton) override
    {
        questions << text;
        return answer;
    }
    QString openFileName(QWidget*, const norvane::widgets::FilePromptOptions&) override
    {
        return fileName;
    }
    QString saveFileName(QWidget*, const norvane::widgets::FilePromptOptions&) override
    {
        return fileName;
    }
    int execDialog(QDialog& dialog) override
    {
        dialogs << &dialog;
        return onDialog ? onDialog(dialog) : QDialog::Rejected;
    }

    QStringList errors;
    QStringList questions;
    QList<QDialog*> dialogs;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    QString fileName;
    std::function<int(QDialog&)> onDialog;

private:
    norvane::widgets::Prompts* m_previous = nullptr;
};
