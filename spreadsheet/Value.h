#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>
#include <variant>

namespace spreadsheet {

// A cell position, zero-based: A1 is {0, 0}.
struct CellAddress {
    int row = 0;
    int column = 0;
    friend bool operator==(const CellAddress&, const CellAddress&) = default;
};

// A rectangle of cells, both corners included.
struct RangeAddress {
    CellAddress first;
    CellAddress last;
    friend bool operator==(const RangeAddress&, const RangeAddress&) = default;
};

// The sheet limits of the file format the engine writes.
inline constexpr int kMaxRows = 65536;
inline constexpr int kMaxColumns = 256;

// "D11" or "$D$11" (letters in either case) -> {10, 3}; throws
// std::invalid_argument naming the text when it is no cell of a sheet.
CellAddress cellAddress(const QString& a1);

// {10, 3} -> "D11".
QString cellName(CellAddress cell);

// Error values, with the codes the file format stores for them.
enum class ErrorValue : std::uint8_t {
    Null = 0x00,
    Div0 = 0x07,
    Value = 0x0F,
    Ref = 0x17,
    Name = 0x1D,
    Num = 0x24,
    NA = 0x2A,
};

// "#DIV/0!" and so on.
QString errorText(ErrorValue error);

struct Empty {
    friend bool operator==(const Empty&, const Empty&) = default;
};

// What a cell holds or a formula yields.
using Value = std::variant<Empty, double, QString, bool, ErrorValue>;

// A formula that cannot be compiled, decompiled or evaluated as stored.
class FormulaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that is not a workbook the engine can read; the text says which
// stream or record and what is wrong with it.
class FileFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace spreadsheet
