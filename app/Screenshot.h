#pragma once
/// Screenshots for the documentation: hidden command-line options read only by main().

#include <QString>
#include <QStringList>

namespace norvane::app {

class TMainForm;

/// `--screenshot=FILE` grabs the main window once its clock shows, `--screenshot-about=FILE`
/// the About window; the application then quits. Options not given are not taken.
class ScreenshotRequest
{
public:
    static ScreenshotRequest fromArguments(const QStringList& arguments);
    bool isActive() const { return !m_mainFile.isEmpty() || !m_aboutFile.isEmpty(); }
    /// Shows `form` at a fixed size and schedules the grabs and the quit.
    void run(TMainForm& form) const;

private:
    QString m_mainFile;
    QString m_aboutFile;
};

} // namespace norvane::app
