#pragma once

#include <QByteArray>

namespace resources {
// The balance-sheet template workbook, byte for byte as the program carries
// it. Throws std::runtime_error when a broken build left it out.
QByteArray templateWorkbook();
} // namespace resources
