#pragma once

#include <QStringList>
#include <optional>

// Whether the balance sheet balances, computed as the generated workbook
// will compute it: the template's own formulas on the amounts as the run
// puts them into its cells.
namespace generation {

struct BalanceTotals {
    // Empty where the sheet leaves the total blank (its blocks are zero).
    std::optional<double> assets;
    std::optional<double> liabilitiesAndEquity;
};

// `assetAmounts` (14) and `liabilityAmounts` (10) as the amount boxes show
// them, in box order. Text a cell would not take as a number counts as the
// cell would count it.
BalanceTotals balanceTotals(const QStringList& assetAmounts, const QStringList& liabilityAmounts);

} // namespace generation
