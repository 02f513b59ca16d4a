#pragma once
// The toolbar and menu icons, painted at run time in one consistent style so
// the application needs no icon theme on the machine.

#include <QIcon>
#include <string_view>

namespace quillon::ui {

// The icon of a name used by the main window's actions; an empty icon for
// an unknown name.
QIcon CommandIcon(std::string_view name);
// The application icon (also installed as quillon.svg).
QIcon ApplicationIcon();

}  // namespace quillon::ui
