#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <utility>

namespace testing_support {

// A CSV as written by Gnumeric or LibreOffice: zero-based (row, column) to
// field; fields left empty and unquoted are absent.
using CsvGrid = std::map<std::pair<int, int>, QString>;

CsvGrid parseCsv(const QByteArray& bytes);
// The field, or an empty text where there is none.
QString csvField(const CsvGrid& grid, int row, int column);
// The same by cell name ("D17"), for a grid whose (0, 0) is A1.
QString csvField(const CsvGrid& grid, const char* a1);

// The grid moved so that the first field equal to `text` lands at (row,
// column); nothing when no field is.
std::optional<CsvGrid> anchoredAt(const CsvGrid& csv, const QString& text, int row, int column);

// Options of Gnumeric's configurable CSV exporter (the plain one takes none):
// the raw values of one sheet, without their number formats.
QString gnumericCsvOptions(const QString& sheet);

// What `ssconvert --recalc` computes for the sheet "Balance Sheet" of the
// workbook, placed with its title at B2, since Gnumeric's CSV starts at the
// first cell with content. Nothing, with `problem` said, when it cannot.
std::optional<CsvGrid> gnumericRecalculatedBalanceSheet(const QString& xlsPath, QString* problem);

} // namespace testing_support
