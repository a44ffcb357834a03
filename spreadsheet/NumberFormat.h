#pragma once

#include "spreadsheet/Value.h"

#include <QColor>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>

// Shows values through spreadsheet number formats ("#,##0_);[Red](#,##0)",
// "[$-409]d\-mmm\-yy;@", General, ...), as a spreadsheet displays them in a
// US English setting.
namespace spreadsheet {

// What the shown value is; under General alignment numbers (and dates) go
// right, text left, booleans and errors to the centre.
enum class DisplayKind : std::uint8_t { Empty, Number, Text, Boolean, Error };

struct DisplayText {
    QString text; // what shows, without the padding and fill below
    // "_x": at this index of `text`, a blank as wide as the character x.
    QList<std::pair<qsizetype, QChar>> padding;
    // "*x": x repeated at this index of `text` to fill the cell's width.
    std::optional<std::pair<qsizetype, QChar>> fill;
    std::optional<QColor> colour; // from a colour section such as [Red]
    bool isNumber = false;        // numbers (dates too) align right under General
    DisplayKind kind = DisplayKind::Empty;
};

// The value shown through the format code. A code that cannot be read shows
// the value as General.
DisplayText formatValue(const Value& value, const QString& formatCode, bool date1904 = false);

// The code of a built-in format id (0 to 49) as US English shows it, or an
// empty text for ids with no built-in code.
QString builtInFormatCode(int id);

// The 1900 (or 1904) date system's serial number of a date.
double dateSerial(int year, int month, int day, bool date1904 = false);

} // namespace spreadsheet
