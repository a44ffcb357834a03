#pragma once

// The sample balance sheet that tests and benches fill in, kept in one place
// so that they all check and time the same workbook.
#include "spreadsheet/Workbook.h"

#include <utility>
#include <vector>

namespace sample {

// Values by cell, such as {"D11", 100000}.
using Amounts = std::vector<std::pair<const char*, double>>;

// The entry window's sample amounts, by the cells they go to.
const Amounts& sampleAmounts();

// The sample amounts and a balance date (a serial) in C3.
Amounts sampleAmountsDated(double dateSerial);

// The date the pictures of the filled sheet show: 8 December 2026.
inline constexpr double kPictureDateSerial = 46364;

// The amounts entered as a person types them (each cell keeps its format),
// recalculated, and no longer a template.
spreadsheet::Workbook filledWorkbook(spreadsheet::Workbook book, const Amounts& amounts);

// The generated template with the sample amounts and the picture date.
spreadsheet::Workbook filledTemplate();

// Every formula's stored result on the first sheet replaced by a wrong one
// (999): a program that shows the true totals has computed them.
spreadsheet::Workbook withStaleResults(spreadsheet::Workbook book);

} // namespace sample
