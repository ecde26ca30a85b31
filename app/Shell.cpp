#include "Shell.h"

#include <QDesktopServices>
#include <QString>

namespace norvane::app {

namespace {
UrlOpener& currentOpener()
{
    static UrlOpener opener;
    return opener;
}
} // namespace

UrlOpener setUrlOpener(UrlOpener opener)
{
    UrlOpener old = std::move(currentOpener());
    currentOpener() = std::move(opener);
    return old;
}

void openHomePage()
{
    const QUrl url(QString::fromLatin1(kHomePage));
    if (const auto& opener = currentOpener())
        opener(url);
    else
        QDesktopServices::openUrl(url);
}

} // namespace norvane::app
