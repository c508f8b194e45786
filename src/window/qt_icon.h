// The application's icon, drawn by the program itself at the sizes desktops ask for.
#pragma once

#include <QIcon>

namespace velmora {

QIcon AppIcon();

}  // namespace velmora
