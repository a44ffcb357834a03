#pragma once

#include "spreadsheet/Workbook.h"

#include <QLocale>
#include <QVariant>

// A value put into cells the way a user typing it would put it.
namespace spreadsheet {

// The cell value a put value becomes: a date (or date and time) its serial in
// the workbook's date system; a text that reads as a number in `locale`
// (percent included) that number; the empty text or a null variant Empty;
// other text itself; numbers and truth values themselves. Throws
// std::runtime_error for what no cell can hold (another type, a date outside
// the date system, a number that is not finite, a text over 32767 characters).
Value typedValue(const QVariant& value, const QLocale& locale, bool date1904 = false);

// Stores `value` in the cells of `area`: a formula there is removed, the
// cell's format kept (a new cell takes its row's or column's format), and an
// Empty value leaves the cells blank. Does not recalculate.
void putValue(Worksheet& sheet, RangeAddress area, const Value& value);

} // namespace spreadsheet
