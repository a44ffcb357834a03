#include "tests/support/SampleBalanceSheet.h"

#include "generation/BalanceSheetTemplate.h"
#include "spreadsheet/Recalculation.h"

namespace sample {

const Amounts& sampleAmounts()
{
    static const Amounts amounts = {
        {"D11", 100000}, {"D12", 300000}, {"D13", 40000},  {"D14", 150000}, {"D15", 50000},  {"D16", 88000},
        {"D19", 200000}, {"D20", 120000}, {"D21", 550000}, {"D22", 43000},  {"D23", 110000}, {"D24", 8000},
        {"D25", 30000},  {"D26", 5000},   {"H11", 58000},  {"H12", 10000},  {"H13", 5000},   {"H14", 10000},
        {"H15", 72000},  {"H16", 44000},  {"H19", 0},      {"H20", 0},      {"H25", 248000}, {"H26", 110000},
    };
    return amounts;
}

Amounts sampleAmountsDated(double dateSerial)
{
    Amounts amounts = sampleAmounts();
    amounts.emplace_back("C3", dateSerial);
    return amounts;
}

spreadsheet::Workbook filledWorkbook(spreadsheet::Workbook book, const Amounts& amounts)
{
    spreadsheet::Worksheet& sheet = book.sheets[0];
    for (const auto& [a1, amount] : amounts) {
        spreadsheet::Cell& cell = sheet.cellAt(spreadsheet::cellAddress(a1));
        cell = spreadsheet::Cell{amount, {}, cell.formatIndex};
    }
    spreadsheet::recalculate(book);
    book.isTemplate = false;
    return book;
}

spreadsheet::Workbook filledTemplate()
{
    return filledWorkbook(generation::balanceSheetTemplate(), sampleAmountsDated(kPictureDateSerial));
}

spreadsheet::Workbook withStaleResults(spreadsheet::Workbook book)
{
    for (auto& [where, cell] : book.sheets[0].cells)
        if (!cell.formula.isEmpty())
            cell.value = 999.0;
    return book;
}

} // namespace sample
