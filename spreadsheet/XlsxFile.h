#pragma once

#include "spreadsheet/Workbook.h"

#include <QByteArray>

// Whole .xlsx files (Office Open XML), written through libxlsxwriter.
namespace spreadsheet {

// The workbook as the bytes of an .xlsx file, for the caller to write whole.
// Formulas carry the results the model holds, so recalculate first. What
// libxlsxwriter 1.1.4 cannot say is written as near as it can be: a very
// hidden sheet as hidden, a formula's boolean or error result as its text,
// an error value as a formula of the error. Throws std::runtime_error saying
// what cannot be written and where.
QByteArray writeXlsxFile(const Workbook& workbook);

} // namespace spreadsheet
