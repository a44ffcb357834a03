#pragma once

#include "spreadsheet/Workbook.h"

namespace spreadsheet {

// Recalculates every formula of the workbook, each after the cells it reads,
// and stores the results as the formulas' cached values. Formulas in a
// circle yield 0, as spreadsheets without iteration show them; a formula the
// engine cannot evaluate (a function it does not know) keeps its stored result.
void recalculate(Workbook& workbook);
void recalculate(Worksheet& sheet);

} // namespace spreadsheet
