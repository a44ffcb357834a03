#include "generation/BalanceCheck.h"

#include "generation/BalanceSheetTemplate.h"
#include "spreadsheet/CellInput.h"
#include "spreadsheet/Recalculation.h"

#include <QLocale>
#include <exception>

namespace generation {
namespace {

using spreadsheet::CellAddress;
using spreadsheet::Worksheet;

// A cell by its sheet row and column, counted from 1 as the tables count.
constexpr CellAddress at(int row, int column)
{
    return {row - 1, column - 1};
}

// Where the sheet shows TOTAL ASSETS and TOTAL LIABILITIES & EQUITY.
constexpr CellAddress kTotalAssets = at(30, kAssetAmountColumn);
constexpr CellAddress kTotalLiabilitiesAndEquity = at(30, kLiabilityAmountColumn);

const Worksheet& emptyBalanceSheet()
{
    static const Worksheet sheet = balanceSheetTemplate().sheets.front();
    return sheet;
}

template <std::size_t N>
void putAmounts(Worksheet& sheet, int column, const std::array<int, N>& rows, const QStringList& amounts)
{
    // As the run's cell puts read them: in the system's locale.
    const QLocale locale = QLocale::system();
    for (std::size_t i = 0; i < N && qsizetype(i) < amounts.size(); ++i) {
        const CellAddress cell = at(rows[i], column);
        spreadsheet::Value value;
        try {
            value = spreadsheet::typedValue(amounts[qsizetype(i)], locale);
        } catch (const std::exception&) {
            // A text too long for a cell: the run reports it and leaves the
            // cell as it was; so does the check.
            continue;
        }
        spreadsheet::putValue(sheet, {cell, cell}, value);
    }
}

std::optional<double> shownNumber(const Worksheet& sheet, CellAddress address)
{
    const spreadsheet::Cell* cell = sheet.cell(address);
    const double* number = cell ? std::get_if<double>(&cell->value) : nullptr;
    return number ? std::optional(*number) : std::nullopt;
}

} // namespace

BalanceTotals balanceTotals(const QStringList& assetAmounts, const QStringList& liabilityAmounts)
{
    Worksheet sheet = emptyBalanceSheet();
    putAmounts(sheet, kAssetAmountColumn, kAssetAmountRows, assetAmounts);
    putAmounts(sheet, kLiabilityAmountColumn, kLiabilityAmountRows, liabilityAmounts);
    spreadsheet::recalculate(sheet);
    return {shownNumber(sheet, kTotalAssets), shownNumber(sheet, kTotalLiabilitiesAndEquity)};
}

} // namespace generation
