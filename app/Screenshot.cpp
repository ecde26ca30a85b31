#include "Screenshot.h"

#include "ActionManager.h"
#include "MainFrm.h"

#include "widgets/Prompts.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

namespace norvane::app {

namespace {
bool save(QWidget& widget, const QString& file)
{
    const bool ok = widget.grab().save(file, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}

/// Shows modal windows without blocking, grabs them and closes them again.
class GrabbingPrompts : public widgets::DialogPrompts
{
public:
    explicit GrabbingPrompts(QString file) : m_file(std::move(file)) {}
    int execDialog(QDialog& dialog) override
    {
        dialog.show();
        QApplication::processEvents();
        save(dialog, m_file);
        dialog.hide();
        return QDialog::Rejected;
    }

private:
    QString m_file;
};
} // namespace

ScreenshotRequest ScreenshotRequest::fromArguments(const QStringList& arguments)
{
    ScreenshotRequest request;
    for (const QString& arg : arguments) {
        if (arg.startsWith(QLatin1String("--screenshot=")))
            request.m_mainFile = arg.section(u'=', 1);
        else if (arg.startsWith(QLatin1String("--screenshot-about=")))
            request.m_aboutFile = arg.section(u'=', 1);
    }
    return request;
}

void ScreenshotRequest::run(TMainForm& form) const
{
    form.setWindowState(Qt::WindowNoState);
    form.resize(960, 600);
    form.show();
    const QString mainFile = m_mainFile;
    const QString aboutFile = m_aboutFile;
    // The clock panel fills on the first tick, one second after start.
    QTimer::singleShot(1300, &form, [&form, mainFile, aboutFile] {
        if (!mainFile.isEmpty())
            save(form, mainFile);
        if (!aboutFile.isEmpty()) {
            static GrabbingPrompts prompts(aboutFile);
            widgets::setPrompts(&prompts);
            if (auto* about = form.findChild<QAction*>(QStringLiteral("acAbout")))
                form.actionManager().execute(about);
            widgets::setPrompts(nullptr);
        }
        QApplication::quit();
    });
}

} // namespace norvane::app
