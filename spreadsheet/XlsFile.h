#pragma once

#include "spreadsheet/Workbook.h"

#include <QByteArray>

// Whole .xls files: the compound document with the workbook stream and the
// document properties.
namespace spreadsheet {

// Throws FileFormatError saying which part of the file is wrong and how.
Workbook readXlsFile(const QByteArray& fileBytes);
// Throws std::runtime_error when the workbook cannot be stored.
QByteArray writeXlsFile(const Workbook& workbook);

} // namespace spreadsheet
