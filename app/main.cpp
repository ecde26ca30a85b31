#include "MainFrm.h"
#include "NVDataPub.h"
#include "Screenshot.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Norvane"));
    QApplication::setApplicationVersion(QStringLiteral(NORVANE_VERSION));

    // The window's sources bind to the data module's connection as the window is built.
    norvane::app::TMainDataModule dataModule;
    norvane::app::TMainForm form;
    const auto shots = norvane::app::ScreenshotRequest::fromArguments(QApplication::arguments());
    if (shots.isActive()) {
        shots.run(form);
        return QApplication::exec();
    }
    form.show();
    return QApplication::exec();
}
