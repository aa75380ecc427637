// The program's own icon and the toolbar's icons.
#pragma once

#include <QIcon>
#include <QString>

namespace tessarine::app {

// The window icon of every window: drawn, so it is sharp at any size.
QIcon AppIcon();

// The icon of a toolbar button by its key ("open", "new", "save", "saveas",
// "batch", "help", "about", "exit"): the desktop theme's icon when it has
// one, else the widget style's.
QIcon ToolbarIcon(const QString& key);

}  // namespace tessarine::app
