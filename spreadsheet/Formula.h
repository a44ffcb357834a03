#pragma once

#include "spreadsheet/Value.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Cell formulas in the file format's parsed form (the token bytes stored in a
// FORMULA record), for the functions and operators a simple workbook uses.
namespace spreadsheet::formula {

// The cells a formula reads, as its evaluation sees them.
class CellSource {
public:
    virtual ~CellSource() = default;
    // The value of a cell of the formula's own sheet; Empty when blank.
    virtual Value valueAt(CellAddress cell) const = 0;
};

// Compiles formula text in A1 notation ("=IF(SUM(D11:D16),SUM(D11:D16),\"\")",
// the leading "=" optional) for a formula standing in cell `at`. Throws
// FormulaError naming what is wrong and where.
QByteArray compile(const QString& text, CellAddress at);

// The formula text of stored token bytes, with a leading "=". Throws
// FormulaError on bytes it cannot read (unknown token, cut short, ...).
// A reference to another sheet shows only its index into the workbook's
// sheet reference list, which the bytes carry instead of a name: "#XTI2!A1".
QString decompile(const QByteArray& tokens, CellAddress at);

// Evaluates stored token bytes by the spreadsheet's ordinary rules. Throws
// FormulaError only on bytes it cannot read, or that refer to another sheet;
// errors of the calculation itself (#VALUE!, #DIV/0!, ...) are results.
Value evaluate(const QByteArray& tokens, CellAddress at, const CellSource& cells);

// A defined name's token bytes for a range of a sheet, named by its index
// into the workbook's sheet reference list: one absolute 3-D area, so the
// name means the same cells wherever it is used. Throws FormulaError when
// an index or the range is out of the file format's bounds.
QByteArray sheetAreaName(int sheetListIndex, RangeAddress range);
// The same for a range of a sheet that was deleted: it reads as #REF!.
QByteArray deletedSheetAreaName(int sheetListIndex);

// Every cell and range of the formula's own sheet it refers to, each once,
// for ordering a recalculation.
QList<RangeAddress> references(const QByteArray& tokens, CellAddress at);

} // namespace spreadsheet::formula
