#pragma once

#include <array>

namespace entry {

// One row of a side of the entry window. The amount box index counts the rows
// from the top; on five rows the caption box standing there has another index.
struct LineItemRow {
    int amountIndex;
    int captionIndex;
    const char* defaultCaption;
    const char* sampleAmount;
};

inline constexpr int kAssetCount = 14;
inline constexpr int kLiabilityCount = 10;

inline constexpr std::array<LineItemRow, kAssetCount> kAssetRows{{
    {0, 0, " Cash", "$100,000"},
    {1, 1, " Accounts receivable", "$300,000"},
    {2, 2, " (less doubtful accounts)", "$40,000"},
    {3, 3, " Inventory", "$150,000"},
    {4, 4, " Temporary investment", "$50,000"},
    {5, 5, " Prepaid expenses", "$88,000"},
    {6, 6, " Long-term investments", "$200,000"},
    {7, 7, " Land", "$120,000"},
    {8, 8, " Buildings", "$550,000"},
    {9, 9, " (less accumulated depreciation)", "$43,000"},
    {10, 10, " Plant and equipment", "$110,000"},
    {11, 13, " (less accumulated depreciation)", "$8,000"},
    {12, 12, " Furniture and fixtures", "$30,000"},
    {13, 11, " (less accumulated depreciation)", "$5,000"},
}};

inline constexpr std::array<LineItemRow, kLiabilityCount> kLiabilityRows{{
    {0, 0, " Accounts payable", "$58,000"},
    {1, 1, " Short-term notes", "$10,000"},
    {2, 2, " Current portion of long-term notes", "$5,000"},
    {3, 3, " Interest payable", "$10,000"},
    {4, 4, " Taxes payable", "$72,000"},
    {5, 5, " Accrued payroll", "$44,000"},
    {6, 7, " Mortgage", "$0"},
    {7, 6, " Other long-term liabilities", "$0"},
    {8, 9, " Capital stock", "$248,000"},
    {9, 8, " Retained earnings", "$110,000"},
}};

} // namespace entry
