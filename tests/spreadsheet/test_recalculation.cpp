#include "spreadsheet/Formula.h"
#include "spreadsheet/Recalculation.h"

#include <gtest/gtest.h>

using namespace spreadsheet;

namespace {

void put(Worksheet& sheet, CellAddress at, const char* formulaText)
{
    sheet.cellAt(at) = Cell{QString(), formula::compile(QLatin1String(formulaText), at), 15};
}

Value valueAt(const Worksheet& sheet, CellAddress at)
{
    return sheet.cell(at)->value;
}

} // namespace

TEST(Recalculation, FormulasRunAfterTheFormulasTheyRead)
{
    // A1 reads A2 reads A3: stored top to bottom, they must run bottom up.
    Worksheet sheet;
    put(sheet, {0, 0}, "=A2*2");
    put(sheet, {1, 0}, "=A3+1");
    put(sheet, {2, 0}, "=SUM(B1:B3)");
    sheet.cellAt({0, 1}).value = 1.0;
    sheet.cellAt({1, 1}).value = 2.0;
    sheet.cellAt({2, 1}).value = QStringLiteral("text is skipped");
    recalculate(sheet);
    EXPECT_EQ(valueAt(sheet, {2, 0}), Value(3.0));
    EXPECT_EQ(valueAt(sheet, {1, 0}), Value(4.0));
    EXPECT_EQ(valueAt(sheet, {0, 0}), Value(8.0));
}

TEST(Recalculation, RangesThatHoldFormulasWaitForThem)
{
    Worksheet sheet;
    put(sheet, {5, 0}, "=SUM(A1:A5)");
    put(sheet, {2, 0}, "=10*3");
    sheet.cellAt({0, 0}).value = 5.0;
    recalculate(sheet);
    EXPECT_EQ(valueAt(sheet, {5, 0}), Value(35.0));
}

TEST(Recalculation, CirclesYieldZeroAndTheRestStillRuns)
{
    Worksheet sheet;
    put(sheet, {0, 0}, "=B1+1");
    put(sheet, {0, 1}, "=A1+1");
    put(sheet, {0, 2}, "=C1");  // reads itself
    put(sheet, {3, 0}, "=2+2"); // apart from the circles
    recalculate(sheet);
    EXPECT_EQ(valueAt(sheet, {0, 0}), Value(0.0));
    EXPECT_EQ(valueAt(sheet, {0, 1}), Value(0.0));
    EXPECT_EQ(valueAt(sheet, {0, 2}), Value(0.0));
    EXPECT_EQ(valueAt(sheet, {3, 0}), Value(4.0));
}

TEST(Recalculation, FormulaTheEngineCannotReadKeepsItsStoredResult)
{
    Worksheet sheet;
    // A token the engine does not know (an array constant, 0x20).
    sheet.cellAt({0, 0}) = Cell{42.0, QByteArray::fromHex("20000000000000000000"), 15};
    put(sheet, {1, 0}, "=1+1");
    recalculate(sheet);
    EXPECT_EQ(valueAt(sheet, {0, 0}), Value(42.0));
    EXPECT_EQ(valueAt(sheet, {1, 0}), Value(2.0));
}

TEST(Recalculation, ErrorsTravelToTheFormulasThatReadThem)
{
    Worksheet sheet;
    put(sheet, {0, 0}, "=1/0");
    put(sheet, {0, 1}, "=A1+1");
    put(sheet, {0, 2}, "=ISERROR(B1)");
    recalculate(sheet);
    EXPECT_EQ(valueAt(sheet, {0, 1}), Value(ErrorValue::Div0));
    EXPECT_EQ(valueAt(sheet, {0, 2}), Value(true));
}
