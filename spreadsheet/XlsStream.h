#pragma once

#include "spreadsheet/Workbook.h"

#include <QByteArray>

// The workbook stream of a BIFF8 file: the model written as records, and
// records read back into the model.
namespace spreadsheet {

// Throws std::runtime_error (never FileFormatError) when the model cannot be
// stored, for instance a text longer than a cell may hold.
QByteArray writeWorkbookStream(const Workbook& workbook);

// Treats the stream as hostile: anything malformed ends in FileFormatError
// naming the record and what is wrong with it.
Workbook readWorkbookStream(const QByteArray& stream);

// The longest text a cell holds.
inline constexpr int kMaxCellText = 32767;

} // namespace spreadsheet
