#pragma once

#include "spreadsheet/Workbook.h"

namespace generation {

// The balance-sheet template, described cell by cell: the first sheet holds
// the captions, the formatted amount cells and the total formulas; a very
// hidden second sheet holds four settings. Its cached results are computed.
spreadsheet::Workbook balanceSheetTemplate();

} // namespace generation
