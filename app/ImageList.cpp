#include "ImageList.h"

#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QSvgRenderer>

// Resources of a static library are registered by hand, once, outside any namespace.
static void initNorvaneIcons()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace norvane::app {

namespace {
constexpr std::array<const char*, ImageList::Count> kFiles = {
    "login", "logout", "execute", "next", "previous", "exit", "open", "save", "table"};

// Rendered once per scale rather than left to the icon engine, so the images stay crisp at
// 1x and 2x whether or not Qt's SVG plugins are installed.
QPixmap render(QSvgRenderer& svg, int logicalSize, int scale)
{
    QPixmap pixmap(logicalSize * scale, logicalSize * scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

QIcon loadIcon(const QString& path, std::initializer_list<int> sizes)
{
    initNorvaneIcons();
    QSvgRenderer svg(path);
    QIcon icon;
    if (!svg.isValid())
        return icon;
    for (int size : sizes) {
        icon.addPixmap(render(svg, size, 1));
        icon.addPixmap(render(svg, size, 2));
    }
    return icon;
}
} // namespace

ImageList::ImageList()
{
    for (int i = 0; i < Count; ++i)
        m_icons[static_cast<std::size_t>(i)] =
            loadIcon(QStringLiteral(":/norvane/icons/%1.svg")
                         .arg(QLatin1String(kFiles[static_cast<std::size_t>(i)])),
                     {16});
}

QIcon ImageList::icon(int index) const
{
    if (index < 0 || index >= Count)
        return {};
    return m_icons[static_cast<std::size_t>(index)];
}

QIcon ImageList::appIcon()
{
    return loadIcon(QStringLiteral(":/norvane/icons/norvane.svg"), {16, 32, 48, 64});
}

} // namespace norvane::app
