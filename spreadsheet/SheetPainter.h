#pragma once

#include "spreadsheet/Workbook.h"

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <stdexcept>

class QPainter;

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

// The largest picture drawn. Widths, heights and the used range come from the
// workbook file, so a few bytes can ask for a picture of any size. A side
// stays within a signed 16-bit coordinate, the most X11 drawing and many
// image readers take. 40 million pixels (160 MB at 4 bytes a pixel) hold 300
// standard rows (17 px) by 120 standard columns (64 px), or 1900 rows at the
// width of the program's own balance sheet, which is 753 x 697.
inline constexpr int kMaxPictureSide = 32767;
inline constexpr std::int64_t kMaxPicturePixels = 40'000'000;

// A cell shows at most its first 1024 characters, as Excel does; so does
// every repeat the engine lays out in a cell (fill characters, "#").
inline constexpr int kMaxShownCharacters = 1024;

// Thrown for a picture beyond the limits above; the text names the cells,
// the size they would have and the limits.
class PictureTooLarge : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The picture of `range` of sheet `sheetIndex`; a null image when the
// workbook has no such sheet, the process no QGuiApplication for fonts, or
// the memory for the picture cannot be had. Throws PictureTooLarge, before
// anything is allocated for the picture, when it would exceed the limits.
QImage paintRange(const Workbook& workbook, int sheetIndex, RangeAddress range);

// The size of the picture of `range`, in pixels at 96 dpi; empty when the
// workbook has no such sheet. Sizes far beyond the limits stop at 2^30.
QSize rangeSize(const Workbook& workbook, int sheetIndex, RangeAddress range);

// Throws PictureTooLarge when the picture of `range` would exceed the
// limits; does nothing when the workbook has no such sheet.
void checkPictureSize(const Workbook& workbook, int sheetIndex, RangeAddress range);

enum class Gridlines { AsTheSheetShows, Drawn, Hidden };

// Draws the picture of `range` onto any painter (an image, a PDF, a
// printer): from the painter's origin, one unit a pixel at 96 dpi, as
// shapes and text, never through an image. The cells' background is left
// as it is; the painter's state is kept. Draws nothing when the workbook has
// no such sheet or the process no QGuiApplication; throws PictureTooLarge
// as paintRange does.
void drawRange(QPainter& painter, const Workbook& workbook, int sheetIndex, RangeAddress range,
               Gridlines gridlines = Gridlines::AsTheSheetShows);

// What the cell at `at` shows in a column `widthPixels` wide: its value through
// its number format (kMaxShownCharacters at most), or "#" repeated across the
// column when a number does not fit. Padding blanks and fill repeats are left
// out; empty without a QGuiApplication.
QString shownText(const Workbook& workbook, const Worksheet& sheet, CellAddress at, int widthPixels);

// The font cell text is drawn with: the family as the workbook names it (the
// system's font substitution stands in for missing ones, Liberation Sans for
// Arial), its size in points, drawn at 96 dpi (13 1/3 pixels for 10 points).
QFont cellFont(const Font& font);

} // namespace spreadsheet
