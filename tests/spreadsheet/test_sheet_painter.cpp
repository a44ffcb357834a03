#include "generation/BalanceSheetTemplate.h"
#include "spreadsheet/Formula.h"
#include "spreadsheet/SheetPainter.h"
#include "spreadsheet/XlsFile.h"
#include "tests/spreadsheet/MemoryCeiling.h"
#include "tests/support/SampleBalanceSheet.h"

#include <QFontInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using namespace spreadsheet;
using sample::filledTemplate;

namespace {

const RangeAddress kTemplateArea{cellAddress("A1"), cellAddress("I31")};

// Left edges of columns from A, top edges of rows from 1, in the picture of
// a range that starts at A1.
std::vector<int> columnEdges(const Workbook& book, const Worksheet& sheet, int count)
{
    std::vector<int> edges{0};
    for (int c = 0; c < count; ++c)
        edges.push_back(edges.back() + columnWidthPixels(book, sheet, c));
    return edges;
}

std::vector<int> rowEdges(const Worksheet& sheet, int count)
{
    std::vector<int> edges{0};
    for (int r = 0; r < count; ++r)
        edges.push_back(edges.back() + rowHeightPixels(sheet, r));
    return edges;
}

QRgb pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

bool isDark(QRgb rgb)
{
    return qRed(rgb) + qGreen(rgb) + qBlue(rgb) < 3 * 128;
}

// Pixels of the rectangle [x0, x1) x [y0, y1) that pass the test.
template <typename Test>
int countPixels(const QImage& image, int x0, int y0, int x1, int y1, Test test)
{
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x)
            count += test(pixel(image, x, y)) ? 1 : 0;
    }
    return count;
}

// A one-sheet workbook with Arial 10, its columns 64 pixels wide.
Workbook smallBook()
{
    Workbook book;
    book.fonts = {Font{}};
    CellFormat cell;
    book.formats = QList<CellFormat>(16, cell);
    Worksheet sheet;
    sheet.name = QStringLiteral("Sheet1");
    sheet.columns.append(ColumnInfo{0, kMaxColumns - 1, 2340, 15, false});
    book.sheets = {sheet};
    return book;
}

int addFormat(Workbook& book, CellFormat format)
{
    book.formats.append(format);
    return int(book.formats.size()) - 1;
}

// The refusal's text, or "drawn" with the picture's size.
std::string pictureOutcome(const Workbook& book, RangeAddress range)
{
    try {
        const QImage image = paintRange(book, 0, range);
        return "drawn " + std::to_string(image.width()) + " x " + std::to_string(image.height());
    } catch (const PictureTooLarge& refused) {
        return refused.what();
    }
}

std::string refusal(const std::string& cells, const std::string& sheet, std::int64_t width, std::int64_t height)
{
    return "The picture of the cells " + cells + " of sheet \"" + sheet + "\" would be " + std::to_string(width)
        + " \u00D7 " + std::to_string(height)
        + " pixels; the largest picture the engine draws is 32767 pixels a side and 40 million pixels in all.";
}

} // namespace

TEST(SheetPainter, ArialIsDrawnWithLiberationSansAtItsPointSize)
{
    const QFont font = cellFont(Font{});
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(font.pointSizeF(), 10.0);
    Font title;
    title.heightTwips = 520;
    title.bold = true;
    EXPECT_EQ(cellFont(title).pointSizeF(), 26.0);
    EXPECT_TRUE(cellFont(title).bold());
}

TEST(SheetPainter, TemplateColumnsHaveTheirStoredPixelWidths)
{
    const Workbook book = generation::balanceSheetTemplate();
    const Worksheet& sheet = book.sheets[0];
    const int expected[] = {12, 20, 213, 90, 62, 20, 213, 90, 33};
    for (int c = 0; c < 9; ++c)
        EXPECT_EQ(columnWidthPixels(book, sheet, c), expected[c]) << "column " << c;
    // J onwards: 2340/256 digits, Excel's 64-pixel standard column.
    EXPECT_EQ(columnWidthPixels(book, sheet, 9), 64);
}

TEST(SheetPainter, ColumnsWithoutTheirOwnWidthUseTheDefault)
{
    Workbook book = smallBook();
    Worksheet& sheet = book.sheets[0];
    sheet.columns.clear();
    sheet.defaultColumnWidth = 8; // 8 digits and padding, rounded up to 64
    EXPECT_EQ(columnWidthPixels(book, sheet, 3), 64);
    sheet.defaultColumnWidth = 12; // 84 + 5, rounded up to 96
    EXPECT_EQ(columnWidthPixels(book, sheet, 3), 96);
    sheet.columns.append(ColumnInfo{3, 3, 2340, 15, true});
    EXPECT_EQ(columnWidthPixels(book, sheet, 3), 0);
}

TEST(SheetPainter, RowHeightsAreTwipsAtFifteenAPixel)
{
    const Workbook book = generation::balanceSheetTemplate();
    const Worksheet& sheet = book.sheets[0];
    // Rows 1 to 31: 6, 41.25, 20.1, 15.95, 12 (x4), 18, 20.1, 15.95 (x6), 21,
    // 36, 15.95 (x8), 15.75 (x4) points, and row 31 the default 12.75.
    const int expected[31] = {8,  55, 27, 21, 16, 16, 16, 16, 24, 27, 21, 21, 21, 21, 21, 21,
                              28, 48, 21, 21, 21, 21, 21, 21, 21, 21, 21, 21, 21, 21, 17};
    for (int r = 0; r < 31; ++r)
        EXPECT_EQ(rowHeightPixels(sheet, r), expected[r]) << "row " << r + 1;
}

TEST(SheetPainter, TemplatePictureIsTheSumOfItsColumnsAndRows)
{
    const Workbook book = generation::balanceSheetTemplate();
    const QImage image = paintRange(book, 0, kTemplateArea);
    EXPECT_EQ(image.width(), 753);
    EXPECT_EQ(image.height(), 697);
    // Corners given the other way round make the same picture.
    EXPECT_EQ(paintRange(book, 0, {cellAddress("I31"), cellAddress("A1")}), image);
    EXPECT_TRUE(paintRange(book, 5, kTemplateArea).isNull());
}

TEST(SheetPainter, GridlinesShowOnlyWhenTheSheetShowsThem)
{
    Workbook book = generation::balanceSheetTemplate();
    const Worksheet& sheet = book.sheets[0];
    const auto x = columnEdges(book, sheet, 9);
    const auto y = rowEdges(sheet, 31);
    // Rows 5 to 8 hold nothing: the boundary between B and C, in row 6.
    const int gridX = x[2] - 1;
    const int midY = (y[5] + y[6]) / 2;
    const QImage hidden = paintRange(book, 0, kTemplateArea);
    EXPECT_EQ(pixel(hidden, gridX, midY), 0xFFFFFFu);
    EXPECT_EQ(pixel(hidden, x[2] + 50, y[6] - 1), 0xFFFFFFu);

    book.sheets[0].window.showGridlines = true;
    const QImage shown = paintRange(book, 0, kTemplateArea);
    EXPECT_EQ(pixel(shown, gridX, midY), 0xC0C0C0u);
    EXPECT_EQ(pixel(shown, x[2] + 50, y[6] - 1), 0xC0C0C0u);
    EXPECT_EQ(pixel(shown, x[2] + 50, midY), 0xFFFFFFu);
    // The banner's fill hides the gridline between B9 and C9.
    EXPECT_EQ(pixel(shown, gridX, y[8] + 2), 0x000080u);
}

TEST(SheetPainter, BannerCellsAreFilledNavy)
{
    const Workbook book = filledTemplate();
    const Worksheet& sheet = book.sheets[0];
    const auto x = columnEdges(book, sheet, 9);
    const auto y = rowEdges(sheet, 31);
    const QImage image = paintRange(book, 0, kTemplateArea);
    // B9 near its top, above the text; C9 at its centre, right of "ASSETS".
    EXPECT_EQ(pixel(image, (x[1] + x[2]) / 2, y[8] + 2), 0x000080u);
    EXPECT_EQ(pixel(image, (x[2] + x[3]) / 2 + 40, (y[8] + y[9]) / 2), 0x000080u);
    EXPECT_EQ(pixel(image, (x[6] + x[7]) / 2 + 40, (y[8] + y[9]) / 2), 0x000080u);
    // The white caption shows on the navy.
    EXPECT_GT(countPixels(image, x[1], y[8], x[3], y[9], [](QRgb c) { return qGreen(c) > 200; }), 20);
    // D9 is not part of the banner.
    EXPECT_EQ(pixel(image, (x[3] + x[4]) / 2, (y[8] + y[9]) / 2), 0xFFFFFFu);
}

TEST(SheetPainter, TotalsAreFilledLightYellow)
{
    const Workbook book = filledTemplate();
    const Worksheet& sheet = book.sheets[0];
    const auto x = columnEdges(book, sheet, 9);
    const auto y = rowEdges(sheet, 31);
    const QImage image = paintRange(book, 0, kTemplateArea);
    for (const char* a1 : {"D17", "H17", "H21", "D27", "H27", "H26", "D30", "H30"}) {
        const CellAddress cell = cellAddress(a1);
        // Left in the cell, clear of the right-aligned amount and the border.
        EXPECT_EQ(pixel(image, x[cell.column] + 6, (y[cell.row] + y[cell.row + 1]) / 2), 0xFFFFC0u) << a1;
    }
    EXPECT_EQ(pixel(image, x[3] + 6, (y[15] + y[16]) / 2), 0xFFFFFFu); // D16, an input
}

TEST(SheetPainter, BordersAreDrawnOnceInTheirColour)
{
    const Workbook book = filledTemplate();
    const Worksheet& sheet = book.sheets[0];
    const auto x = columnEdges(book, sheet, 9);
    const auto y = rowEdges(sheet, 31);
    const QImage image = paintRange(book, 0, kTemplateArea);
    const int probeX = x[3] + 4; // in D, left of any amount
    // D11 over D12: both name a thin navy line; it is one pixel thick.
    EXPECT_EQ(pixel(image, probeX, y[11] - 1), 0x000080u);
    EXPECT_EQ(pixel(image, probeX, y[11] - 2), 0xFFFFFFu);
    EXPECT_EQ(pixel(image, probeX, y[11]), 0xFFFFFFu);
    // The box's left side lies on the boundary between C and D.
    EXPECT_EQ(pixel(image, x[3] - 1, (y[11] + y[12]) / 2), 0x000080u);
    EXPECT_EQ(pixel(image, x[3] - 2, (y[11] + y[12]) / 2), 0xFFFFFFu);
    // The title's line under B2:H2 and not under I2.
    EXPECT_EQ(pixel(image, x[4] + 10, y[2] - 1), 0x000080u);
    EXPECT_EQ(pixel(image, x[8] + 10, y[2] - 1), 0xFFFFFFu);
}

TEST(SheetPainter, TitleIsCentredAcrossItsRun)
{
    const Workbook book = filledTemplate();
    const Worksheet& sheet = book.sheets[0];
    const auto x = columnEdges(book, sheet, 9);
    const auto y = rowEdges(sheet, 31);
    const QImage image = paintRange(book, 0, kTemplateArea);
    int left = image.width(), right = -1;
    for (int py = y[1]; py < y[2] - 2; ++py) {
        for (int px = 0; px < image.width(); ++px) {
            if (isDark(pixel(image, px, py))) {
                left = std::min(left, px);
                right = std::max(right, px);
            }
        }
    }
    ASSERT_GT(right, left);
    EXPECT_GT(left, x[2]);                                       // far from B, where the text is stored
    EXPECT_NEAR((left + right) / 2.0, (x[1] + x[8]) / 2.0, 3.0); // the middle of B:H
}

TEST(SheetPainter, NegativeCurrencyIsRed)
{
    Workbook book = smallBook();
    book.numberFormats = {{6, QStringLiteral("\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)")}};
    CellFormat currency;
    currency.numberFormat = 6;
    const int format = addFormat(book, currency);
    Worksheet& sheet = book.sheets[0];
    sheet.cellAt(cellAddress("A1")) = Cell{-5000.0, {}, format};
    sheet.cellAt(cellAddress("A2")) = Cell{5000.0, {}, format};
    const QImage image = paintRange(book, 0, {cellAddress("A1"), cellAddress("A2")});
    auto red = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 100 && qBlue(c) < 100; };
    EXPECT_GT(countPixels(image, 0, 0, 64, 17, red), 10);
    EXPECT_EQ(countPixels(image, 0, 17, 64, 34, red), 0);
    EXPECT_GT(countPixels(image, 0, 17, 64, 34, isDark), 10);
}

TEST(SheetPainter, NumbersTooWideShowHashesAcrossTheColumn)
{
    Workbook book = smallBook();
    CellFormat plain;
    plain.numberFormat = 3; // #,##0
    const int format = addFormat(book, plain);
    Worksheet& sheet = book.sheets[0];
    sheet.cellAt(cellAddress("A1")) = Cell{123456789.0, {}, format};
    sheet.cellAt(cellAddress("A2")) = Cell{QStringLiteral("A long caption that does not fit"), {}, format};
    EXPECT_EQ(shownText(book, sheet, cellAddress("A1"), 200), QStringLiteral("123,456,789"));
    const QString hashes = shownText(book, sheet, cellAddress("A1"), 64);
    // 63 pixels inside the gridline; a "#" of Arial 10 (13 1/3 pixels) is 7.4 wide.
    EXPECT_EQ(hashes, QStringLiteral("########"));
    // A 64-pixel column promises 8 digits: they show, as in Excel.
    sheet.cellAt(cellAddress("A3")) = Cell{12345678.0, {}, 15};
    EXPECT_EQ(shownText(book, sheet, cellAddress("A3"), 64), QStringLiteral("12345678"));
    // Text is never replaced.
    EXPECT_EQ(shownText(book, sheet, cellAddress("A2"), 30), QStringLiteral("A long caption that does not fit"));

    // And the picture holds the hashes: the same ink as a text of hashes.
    sheet.cellAt(cellAddress("B1")) = Cell{hashes, {}, addFormat(book, [] {
                                               CellFormat right;
                                               right.horizontal = HorizontalAlignment::Right;
                                               return right;
                                           }())};
    const QImage image = paintRange(book, 0, {cellAddress("A1"), cellAddress("B1")});
    EXPECT_EQ(image.copy(0, 0, 64, 17), image.copy(64, 0, 64, 17));
}

// Widths are kept from picture to picture: a text measured in one font is
// never taken at that width in another.
TEST(SheetPainter, AWidthMeasuredInOneFontIsNotTakenForAnother)
{
    Workbook book = smallBook();
    Font larger;
    larger.heightTwips = 400;
    Font bold;
    bold.heightTwips = 300;
    bold.bold = true;
    book.fonts << larger << bold;
    Worksheet& sheet = book.sheets[0];
    const auto cellIn = [&](int font) {
        CellFormat format;
        format.fontIndex = font;
        return Cell{12345678.0, {}, addFormat(book, format)};
    };
    sheet.cellAt(cellAddress("A1")) = cellIn(0);
    sheet.cellAt(cellAddress("A2")) = cellIn(1);
    sheet.cellAt(cellAddress("A3")) = cellIn(2);
    // 8 digits of Arial 10 fit 64 pixels; of 20 or of 15 bold they do not.
    for (int round = 0; round < 2; ++round) {
        for (const char* at : {"A1", "A2", "A3", "A1"}) {
            const QString shown = shownText(book, sheet, cellAddress(at), 64);
            EXPECT_EQ(shown.startsWith(u'#'), at != std::string_view("A1")) << at << " " << shown.toStdString();
        }
    }
}

TEST(SheetPainter, TextRunsIntoEmptyNeighboursOnly)
{
    Workbook book = smallBook();
    Worksheet& sheet = book.sheets[0];
    sheet.window.showGridlines = true;
    const QString caption = QStringLiteral("Caption running well past its column");
    sheet.cellAt(cellAddress("A1")) = Cell{caption, {}, 15};
    sheet.cellAt(cellAddress("A2")) = Cell{caption, {}, 15};
    sheet.cellAt(cellAddress("B2")) = Cell{1.0, {}, 15}; // right-aligned: B2's left part stays blank
    sheet.cellAt(cellAddress("A3")) = Cell{caption, {}, 15};
    sheet.cellAt(cellAddress("B3")) = Cell{QString(), formula::compile(QStringLiteral("=\"\""), cellAddress("B3")), 15};
    const QImage image = paintRange(book, 0, {cellAddress("A1"), cellAddress("C3")});
    auto inkInB = [&](int row) { return countPixels(image, 64, row * 17, 64 + 40, row * 17 + 16, isDark); };
    EXPECT_GT(inkInB(0), 20);
    EXPECT_EQ(inkInB(1), 0);
    EXPECT_EQ(inkInB(2), 0); // a formula yielding "" stops the text too
    // No gridline where the text runs over; one where it is cut.
    EXPECT_EQ(pixel(image, 63, 2), 0xFFFFFFu);
    EXPECT_EQ(pixel(image, 63, 17 + 2), 0xC0C0C0u);
    // The cut text still fills its own cell.
    EXPECT_GT(countPixels(image, 0, 17, 62, 33, isDark), 20);
}

TEST(SheetPainter, RightAndCentredTextRunLeftAndBothWays)
{
    Workbook book = smallBook();
    CellFormat right;
    right.horizontal = HorizontalAlignment::Right;
    CellFormat centre;
    centre.horizontal = HorizontalAlignment::Centre;
    const int rightFormat = addFormat(book, right);
    const int centreFormat = addFormat(book, centre);
    Worksheet& sheet = book.sheets[0];
    const QString caption = QStringLiteral("Caption running past its column");
    sheet.cellAt(cellAddress("C1")) = Cell{caption, {}, rightFormat};
    sheet.cellAt(cellAddress("C2")) = Cell{caption, {}, centreFormat};
    const QImage image = paintRange(book, 0, {cellAddress("A1"), cellAddress("E2")});
    auto ink = [&](int column, int row) {
        return countPixels(image, column * 64, row * 17, column * 64 + 64, row * 17 + 16, isDark);
    };
    EXPECT_GT(ink(1, 0), 20); // B1: the right-aligned text runs left
    EXPECT_EQ(ink(3, 0), 0);  // never right
    EXPECT_GT(ink(1, 1), 10); // centred: both ways
    EXPECT_GT(ink(3, 1), 10);
    EXPECT_NEAR(ink(1, 1), ink(3, 1), ink(1, 1) / 2);
}

TEST(SheetPainter, IndentMovesTextByThreeBlanksALevel)
{
    Workbook book = smallBook();
    auto indented = [&](int levels) {
        CellFormat format;
        format.horizontal = HorizontalAlignment::Left;
        format.indent = levels;
        return addFormat(book, format);
    };
    Worksheet& sheet = book.sheets[0];
    sheet.cellAt(cellAddress("A1")) = Cell{QStringLiteral("Text"), {}, indented(0)};
    sheet.cellAt(cellAddress("A2")) = Cell{QStringLiteral("Text"), {}, indented(1)};
    sheet.cellAt(cellAddress("A3")) = Cell{QStringLiteral("Text"), {}, indented(2)};
    const QImage image = paintRange(book, 0, {cellAddress("A1"), cellAddress("A3")});
    // A blank of Arial 10 is 3.7 pixels: a level is 3 x 4 = 12 pixels.
    EXPECT_EQ(image.copy(0, 0, 36, 17), image.copy(12, 17, 36, 17));
    EXPECT_EQ(image.copy(0, 0, 36, 17), image.copy(24, 34, 36, 17));
    EXPECT_GT(countPixels(image, 0, 0, 40, 17, isDark), 10);
}

TEST(SheetPainter, PatternsShowTheirColoursMixed)
{
    Workbook book = smallBook();
    auto filled = [&](std::uint8_t pattern) {
        CellFormat format;
        format.fillPattern = pattern;
        format.fillForeground = 10; // red
        format.fillBackground = 9;  // white
        return addFormat(book, format);
    };
    Worksheet& sheet = book.sheets[0];
    sheet.cellAt(cellAddress("A1")) = Cell{Empty{}, {}, filled(1)};
    sheet.cellAt(cellAddress("A2")) = Cell{Empty{}, {}, filled(2)}; // 50 % grey
    sheet.cellAt(cellAddress("A3")) = Cell{Empty{}, {}, filled(4)}; // 25 % grey
    const QImage image = paintRange(book, 0, {cellAddress("A1"), cellAddress("A3")});
    EXPECT_EQ(pixel(image, 30, 8), 0xFF0000u);
    EXPECT_EQ(pixel(image, 30, 25), 0xFF8080u);
    EXPECT_EQ(pixel(image, 30, 42), 0xFFBFBFu);
}

TEST(SheetPainter, WrappedTextStaysInItsCellOverSeveralLines)
{
    Workbook book = smallBook();
    CellFormat wrapped;
    wrapped.wrap = true;
    wrapped.vertical = VerticalAlignment::Top;
    Worksheet& sheet = book.sheets[0];
    sheet.cellAt(cellAddress("A1")) = Cell{QStringLiteral("Words that wrap over lines"), {}, addFormat(book, wrapped)};
    sheet.rows[0] = RowInfo{1200, true, false, std::nullopt}; // 60 points, 80 pixels
    const QImage image = paintRange(book, 0, {cellAddress("A1"), cellAddress("B1")});
    EXPECT_EQ(countPixels(image, 64, 0, 128, 80, isDark), 0);
    int lines = 0;
    bool inLine = false;
    for (int y = 0; y < 80; ++y) {
        const bool ink = countPixels(image, 0, y, 64, y + 1, isDark) > 0;
        lines += ink && !inLine ? 1 : 0;
        inLine = ink;
    }
    EXPECT_GE(lines, 3);
}

TEST(SheetPainter, PaintingIsDeterministic)
{
    const Workbook book = filledTemplate();
    const QImage first = paintRange(book, 0, kTemplateArea);
    const QImage second = paintRange(book, 0, kTemplateArea);
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first, second);
    // And the filled sheet differs from the empty one: amounts are drawn.
    EXPECT_NE(first, paintRange(generation::balanceSheetTemplate(), 0, kTemplateArea));
}

// ================================================================ limits

TEST(SheetPainter, PicturesAtTheLimitsAreDrawnAndOnePixelMoreIsRefused)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> columns; // runs of columns: how many, pixels wide
        int height;
        bool drawn;
    };
    const Case cases[] = {
        {"32767 pixels wide", {{255, 128}, {1, 127}}, 1, true},
        {"32768 pixels wide", {{256, 128}}, 1, false},
        {"32767 pixels high", {{1, 64}}, 32767, true},
        {"32768 pixels high", {{1, 64}}, 32768, false},
        {"40 million pixels", {{250, 128}}, 1250, true},
        {"a row of pixels more", {{249, 128}, {1, 129}}, 1250, false},
    };
    for (const Case& c : cases) {
        Workbook book = smallBook();
        Worksheet& sheet = book.sheets[0];
        sheet.columns.clear();
        int column = 0;
        std::int64_t width = 0;
        for (const auto& [count, pixels] : c.columns) {
            // The stored width nearest above `pixels` digits of 7 pixels.
            sheet.columns.append(ColumnInfo{column, column + count - 1, (pixels * 256 + 6) / 7 - 18, 15, false});
            ASSERT_EQ(columnWidthPixels(book, sheet, column), pixels) << c.name;
            column += count;
            width += std::int64_t(count) * pixels;
        }
        sheet.rows[0] = RowInfo{c.height * 15, true, false, std::nullopt};
        ASSERT_EQ(rowHeightPixels(sheet, 0), c.height) << c.name;
        const RangeAddress range{{0, 0}, {0, column - 1}};
        const std::string cells = column == 1 ? "A1" : "A1:" + cellName(range.last).toStdString();
        EXPECT_EQ(pictureOutcome(book, range),
                  c.drawn ? "drawn " + std::to_string(width) + " x " + std::to_string(c.height)
                          : refusal(cells, "Sheet1", width, c.height))
            << c.name;
    }
}

TEST(SheetPainter, HostileWorkbooksAreRefusedBeforeAnythingIsDrawn)
{
    const CellAddress lastCell{kMaxRows - 1, kMaxColumns - 1};
    struct Case {
        const char* name;
        std::function<void(Workbook&)> plant;
        bool drawn;
    };
    const Case cases[] = {
        {"every cell of the sheet used", [&](Workbook& book) { book.sheets[0].cellAt(lastCell); }, false},
        {"the widest columns and tallest rows",
         [](Workbook& book) {
             Worksheet& sheet = book.sheets[0];
             sheet.columns = {ColumnInfo{0, kMaxColumns - 1, 0xFFFF, 15, false}};
             sheet.defaultRowHeightTwips = 0x7FFF;
             sheet.cellAt({599, kMaxColumns - 1});
         },
         false},
        {"a huge default font and column width",
         [](Workbook& book) {
             book.fonts[0].heightTwips = 0xFFFF;
             Worksheet& sheet = book.sheets[0];
             sheet.columns.clear();
             sheet.defaultColumnWidth = 0xFFFF;
             sheet.cellAt(cellAddress("I31"));
         },
         false},
        {"more than 40 million pixels of standard cells",
         [](Workbook& book) {
             book.sheets[0].cellAt({147, kMaxColumns - 1});
         },
         false},
        {"every cell used, all but two rows hidden",
         [&](Workbook& book) {
             Worksheet& sheet = book.sheets[0];
             sheet.cellAt(lastCell);
             sheet.defaultRowFlags = 0x2;
             sheet.rows[0] = sheet.rows[1] = RowInfo{255, true, false, std::nullopt};
         },
         true},
    };
    for (const Case& c : cases) {
        Workbook built = smallBook();
        built.sheets[0].cellAt(cellAddress("A1")) = Cell{QStringLiteral("A few bytes"), {}, 15};
        c.plant(built);
        const QByteArray bytes = writeXlsFile(built);
        EXPECT_LT(bytes.size(), 32 * 1024) << c.name;
        const Workbook book = readXlsFile(bytes);
        const Worksheet& sheet = book.sheets[0];
        const RangeAddress used = sheet.usedRange();
        std::int64_t width = 0, height = 0;
        for (int column = used.first.column; column <= used.last.column; ++column)
            width += columnWidthPixels(book, sheet, column);
        for (int row = used.first.row; row <= used.last.row; ++row)
            height += rowHeightPixels(sheet, row);
        const MemoryCeiling ceiling(std::int64_t(1) << 30);
        EXPECT_EQ(pictureOutcome(book, used),
                  c.drawn ? "drawn " + std::to_string(width) + " x " + std::to_string(height)
                          : refusal("A1:" + cellName(used.last).toStdString(), "Sheet1", width, height))
            << c.name;
    }
}

TEST(SheetPainter, HiddenRowsShowNoBorders)
{
    Workbook book = smallBook();
    CellFormat blueBelow;
    blueBelow.bottom = {LineStyle::Thin, 12};
    CellFormat redBelow;
    redBelow.bottom = {LineStyle::Thick, 10};
    Worksheet& sheet = book.sheets[0];
    sheet.cellAt(cellAddress("A1")) = Cell{Empty{}, {}, addFormat(book, blueBelow)};
    sheet.cellAt(cellAddress("A2")) = Cell{Empty{}, {}, addFormat(book, redBelow)};
    sheet.rows[1] = RowInfo{255, false, true, std::nullopt};
    const QImage image = paintRange(book, 0, {cellAddress("A1"), cellAddress("A3")});
    ASSERT_EQ(image.height(), 34);
    // Rows 1 and 3 meet on row 1's line; hidden row 2's is not drawn.
    EXPECT_EQ(pixel(image, 30, 16), 0x0000FFu);
    EXPECT_EQ(countPixels(image, 0, 0, 64, 34, [](QRgb c) { return qRed(c) > 200 && qBlue(c) < 100; }), 0);
}

TEST(SheetPainter, ACellShowsAtMostItsFirst1024Characters)
{
    Workbook book = smallBook();
    book.numberFormats = {{200, QStringLiteral("0\"") + QString(2000, u'W') + u'"'}};
    CellFormat longLiteral;
    longLiteral.numberFormat = 200;
    const int format = addFormat(book, longLiteral);
    const QString longText = QString(3000, u'x');
    const QString emojiAtTheEdge = QString(1023, u'a') + QStringLiteral("\U0001F600b");
    struct Case {
        const char* name;
        Cell cell;
        int width;
        QString shown;
    };
    const Case cases[] = {
        {"a long text", {longText, {}, 15}, 64, longText.left(1024)},
        {"a character split at the edge", {emojiAtTheEdge, {}, 15}, 64, emojiAtTheEdge.left(1023)},
        {"hashes across a wide column", {1.0, {}, format}, 12000, QString(1024, u'#')},
    };
    Worksheet& sheet = book.sheets[0];
    for (const Case& c : cases) {
        sheet.cellAt(cellAddress("A1")) = c.cell;
        EXPECT_EQ(shownText(book, sheet, cellAddress("A1"), c.width), c.shown) << c.name;
    }
}
