#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <utility>

namespace testing_support {

// A CSV as written by Gnumeric or LibreOffice: zero-based (row, column) to
// field; fields left empty and unquoted are absent.
using CsvGrid = std::map<std::pair<int, int>, QString>;

CsvGrid parseCsv(const QByteArray& bytes);
// The field, or an empty text where there is none.
QString csvField(const CsvGrid& grid, int row, int column);

} // namespace testing_support
