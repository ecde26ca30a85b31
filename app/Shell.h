#pragma once
/// The platform shell: opening the product home page, behind a seam tests can observe.

#include <QUrl>

#include <functional>

namespace norvane::app {

/// The product home page, shown in the About window and opened from the Help menu.
inline constexpr const char* kHomePage = "https://norvane.example.org/";

/// Opens a web address; the result is not looked at.
using UrlOpener = std::function<void(const QUrl&)>;

/// Installs `opener` (tests); an empty one restores the desktop's browser. Returns the previous.
UrlOpener setUrlOpener(UrlOpener opener);
/// Asks the shell to open the home page; nothing happens when it cannot.
void openHomePage();

} // namespace norvane::app
