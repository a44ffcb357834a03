#pragma once

#include "spreadsheet/Workbook.h"

#include <array>

namespace generation {

// The balance-sheet template, described cell by cell: the first sheet holds
// the captions, the formatted amount cells and the total formulas; a very
// hidden second sheet holds four settings. Its cached results are computed.
spreadsheet::Workbook balanceSheetTemplate();

// Where the generation run writes the amount boxes, in box order: rows of
// column D for the assets side, of column H for the liabilities side. All
// are input cells of the template but H26, whose retained-earnings formula
// the tenth liability amount replaces.
inline constexpr int kAssetAmountColumn = 4;     // D
inline constexpr int kLiabilityAmountColumn = 8; // H
inline constexpr std::array<int, 14> kAssetAmountRows{11, 12, 13, 14, 15, 16, 19, 20, 21, 22, 23, 24, 25, 26};
inline constexpr std::array<int, 10> kLiabilityAmountRows{11, 12, 13, 14, 15, 16, 19, 20, 25, 26};

} // namespace generation
