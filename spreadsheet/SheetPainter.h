#pragma once

#include "spreadsheet/Workbook.h"

#include <QFont>
#include <QImage>
#include <QString>

// Draws cells as a spreadsheet shows them on screen at 100 % and 96 dots per
// inch: column widths and row heights as stored, fills, borders in their
// colours, fonts, alignment, text running over empty neighbours, numbers
// through their formats ("####" when they do not fit), and the gridlines only
// when the sheet shows them.
namespace spreadsheet {

// Pixel sizes at 96 dpi. A stored column width (1/256 of the default font's
// widest digit, 7 px for Arial 10) already holds the cell padding.
int columnWidthPixels(const Workbook& workbook, const Worksheet& sheet, int column);
int rowHeightPixels(const Worksheet& sheet, int row);

// The picture of `range` of sheet `sheetIndex`; a null image when the
// workbook has no such sheet, or the process no QGuiApplication for fonts.
QImage paintRange(const Workbook& workbook, int sheetIndex, RangeAddress range);

// What the cell at `at` shows in a column `widthPixels` wide: its value through
// its number format, or "#" repeated across the column when a number does not
// fit. Padding blanks and fill repeats are left out; empty without a
// QGuiApplication.
QString shownText(const Workbook& workbook, const Worksheet& sheet, CellAddress at, int widthPixels);

// The font cell text is drawn with: the family as the workbook names it (the
// system's font substitution stands in for missing ones, Liberation Sans for
// Arial), its size in points, drawn at 96 dpi (13 1/3 pixels for 10 points).
QFont cellFont(const Font& font);

} // namespace spreadsheet
