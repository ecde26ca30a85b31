#pragma once
/// The window's nine action and tree images, drawn from SVG at 1x and 2x.

#include <QIcon>

#include <array>

namespace norvane::app {

/// Fixed image list: 0 log on, 1 log off (also view nodes), 2 execute, 3 next SQL,
/// 4 previous SQL, 5 exit, 6 load from file, 7 save to file, 8 table nodes.
class ImageList
{
public:
    static constexpr int Count = 9;

    ImageList();
    /// The image at `index`; a null icon outside 0..8.
    QIcon icon(int index) const;
    /// The application's own icon (window and About).
    static QIcon appIcon();

private:
    std::array<QIcon, Count> m_icons;
};

} // namespace norvane::app
