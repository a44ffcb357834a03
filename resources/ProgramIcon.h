#pragma once

#include <QIcon>

namespace resources {
// The program's icon in its four sizes (32, 48, 128 and 256 pixels).
QIcon programIcon();
} // namespace resources
