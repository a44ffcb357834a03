#include "spreadsheet/SheetPrinting.h"

#include "spreadsheet/EngineErrors.h"
#include "spreadsheet/SheetPainter.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <vector>

namespace spreadsheet {
namespace {

// Page positions are worked out in twips: a font's size in twips is a whole
// pixel size, which Qt draws exactly.
constexpr qreal kTwipsPerPoint = 20;
constexpr qreal kTwipsPerInch = 1440;
constexpr qreal kTwipsPerPixel = 15; // of the painter's 96 dpi

// The scales a spreadsheet lets a page setup store, in percent.
constexpr int kSmallestScale = 10;
constexpr int kLargestScale = 400;

struct Paper {
    qreal width, height;
    QPageSize::Unit unit;
};

// By paper code, from 1: the papers of the file format's page setup.
constexpr Paper kPapers[] = {
    {8.5, 11, QPageSize::Inch},        // 1 Letter
    {8.5, 11, QPageSize::Inch},        // 2 Letter small
    {11, 17, QPageSize::Inch},         // 3 Tabloid
    {17, 11, QPageSize::Inch},         // 4 Ledger
    {8.5, 14, QPageSize::Inch},        // 5 Legal
    {5.5, 8.5, QPageSize::Inch},       // 6 Statement
    {7.25, 10.5, QPageSize::Inch},     // 7 Executive
    {297, 420, QPageSize::Millimeter}, // 8 A3
    {210, 297, QPageSize::Millimeter}, // 9 A4
    {210, 297, QPageSize::Millimeter}, // 10 A4 small
    {148, 210, QPageSize::Millimeter}, // 11 A5
    {257, 364, QPageSize::Millimeter}, // 12 B4 (JIS)
    {182, 257, QPageSize::Millimeter}, // 13 B5 (JIS)
    {8.5, 13, QPageSize::Inch},        // 14 Folio
    {215, 275, QPageSize::Millimeter}, // 15 Quarto
    {10, 14, QPageSize::Inch},         // 16 10 x 14
    {11, 17, QPageSize::Inch},         // 17 11 x 17
    {8.5, 11, QPageSize::Inch},        // 18 Note
    {3.875, 8.875, QPageSize::Inch},   // 19 Envelope #9
    {4.125, 9.5, QPageSize::Inch},     // 20 Envelope #10
    {4.5, 10.375, QPageSize::Inch},    // 21 Envelope #11
    {4.75, 11, QPageSize::Inch},       // 22 Envelope #12
    {5, 11.5, QPageSize::Inch},        // 23 Envelope #14
    {17, 22, QPageSize::Inch},         // 24 C
    {22, 34, QPageSize::Inch},         // 25 D
    {34, 44, QPageSize::Inch},         // 26 E
    {110, 220, QPageSize::Millimeter}, // 27 Envelope DL
    {162, 229, QPageSize::Millimeter}, // 28 Envelope C5
    {324, 458, QPageSize::Millimeter}, // 29 Envelope C3
    {229, 324, QPageSize::Millimeter}, // 30 Envelope C4
    {114, 162, QPageSize::Millimeter}, // 31 Envelope C6
    {114, 229, QPageSize::Millimeter}, // 32 Envelope C65
    {250, 353, QPageSize::Millimeter}, // 33 Envelope B4
    {176, 250, QPageSize::Millimeter}, // 34 Envelope B5
    {176, 125, QPageSize::Millimeter}, // 35 Envelope B6
    {110, 230, QPageSize::Millimeter}, // 36 Envelope Italy
    {3.875, 7.5, QPageSize::Inch},     // 37 Envelope Monarch
    {3.625, 6.5, QPageSize::Inch},     // 38 Envelope 6 3/4
    {14.875, 11, QPageSize::Inch},     // 39 US standard fanfold
    {8.5, 12, QPageSize::Inch},        // 40 German standard fanfold
    {8.5, 13, QPageSize::Inch},        // 41 German legal fanfold
};

// A margin as the file gives it, in twips: none when it is negative or not
// a number, and at most the room the paper has left.
qreal marginTwips(double inches, qreal room)
{
    return inches > 0 ? std::min<qreal>(inches * kTwipsPerInch, std::max<qreal>(0, room)) : 0;
}

// The default font at `scale` times its size, in twips as pixels.
QFont headingFont(const Workbook& workbook, qreal scale)
{
    const Font base = workbook.fonts.isEmpty() ? Font() : workbook.fonts.front();
    QFont font = cellFont(base);
    font.setPixelSize(std::max(1, int(std::lround(std::max(1, base.heightTwips) * scale))));
    return font;
}

// Row numbers and column letters around the printed cells, as a spreadsheet
// prints them: in the default font, each in a box of thin lines.
class Headings {
public:
    Headings(const Workbook& workbook, const Worksheet& sheet, RangeAddress range)
    {
        for (int c = range.first.column; c <= range.last.column; ++c) {
            if (const int pixels = columnWidthPixels(workbook, sheet, c); pixels > 0)
                columns.push_back({c, pixels});
        }
        for (int r = range.first.row; r <= range.last.row; ++r) {
            if (const int pixels = rowHeightPixels(sheet, r); pixels > 0)
                rows.push_back({r, pixels});
        }
        // As wide as the last row's number with a cell's padding, and as
        // high as a standard row.
        const QFontMetricsF metrics(headingFont(workbook, 1));
        const QString widest(QString::number(range.last.row + 1).size(), QLatin1Char('0'));
        width = int(std::ceil(metrics.horizontalAdvance(widest) / kTwipsPerPixel)) + 8;
        height = std::max(1, (sheet.defaultRowHeightTwips + 7) / 15);
    }

    // In the painter's twips; `origin` is the headings' top left corner and
    // `scale` the page's pixels to twips.
    void draw(QPainter& painter, const Workbook& workbook, QPointF origin, qreal scale) const
    {
        const QFont font = headingFont(workbook, scale / kTwipsPerPixel);
        painter.save();
        painter.setFont(font);
        painter.setPen(QPen(Qt::black, 0.5 * kTwipsPerPoint));
        painter.setBrush(Qt::NoBrush);
        auto box = [&](qreal x, qreal y, qreal w, qreal h, const QString& text) {
            const QRectF rect(origin.x() + x * scale, origin.y() + y * scale, w * scale, h * scale);
            painter.drawRect(rect);
            // A short row's number stays in its box.
            painter.save();
            painter.setClipRect(rect, Qt::IntersectClip);
            painter.drawText(rect, Qt::AlignCenter, text);
            painter.restore();
        };
        qreal x = width;
        for (const auto& [column, pixels] : columns) {
            const QString name = cellName({0, column});
            box(x, 0, pixels, height, name.left(name.size() - 1));
            x += pixels;
        }
        qreal y = height;
        for (const auto& [row, pixels] : rows) {
            box(0, y, width, pixels, QString::number(row + 1));
            y += pixels;
        }
        painter.restore();
    }

    int width = 0, height = 0; // pixels
private:
    std::vector<std::pair<int, int>> columns, rows; // shown ones, with their pixels
};

} // namespace

QPageSize paperSize(int paperCode)
{
    const Paper paper = paperCode >= 1 && paperCode <= int(std::size(kPapers)) ? kPapers[paperCode - 1] : kPapers[0];
    return QPageSize(QSizeF(paper.width, paper.height), paper.unit);
}

QPageLayout pageLayout(const PageSetup& page)
{
    const bool valid = page.settingsValid;
    auto points = [](double inches) { return std::max(0.0, inches) * 72; };
    const QMarginsF margins(points(page.leftMargin), points(page.topMargin), points(page.rightMargin),
                            points(page.bottomMargin));
    return QPageLayout(paperSize(valid ? page.paperSize : 1),
                       !valid || page.portrait ? QPageLayout::Portrait : QPageLayout::Landscape, margins,
                       QPageLayout::Point);
}

void printSheet(const Workbook& workbook, int sheetIndex, QPagedPaintDevice& device)
{
    if (sheetIndex < 0 || sheetIndex >= workbook.sheets.size())
        refuse(QStringLiteral("The workbook has no sheet %1 to print; it has %2.")
                   .arg(sheetIndex + 1)
                   .arg(workbook.sheets.size()));
    if (!qGuiApp)
        refuse(QStringLiteral("A sheet is printed with the fonts of a QGuiApplication; this process has none."));
    const Worksheet& sheet = workbook.sheets[sheetIndex];
    const PageSetup& setup = sheet.page;

    // The margins are the drawing's business: the device gets the paper and
    // its orientation, and whatever margins it insists on are allowed for.
    QPageLayout wanted = pageLayout(setup);
    wanted.setMinimumMargins({});
    wanted.setMargins({});
    wanted.setMode(QPageLayout::FullPageMode);
    device.setPageLayout(wanted);
    const QPageLayout actual = device.pageLayout();
    const QRectF paper = actual.fullRect(QPageLayout::Point);
    const QRectF paintable = actual.paintRect(QPageLayout::Point);
    // In twips from the paper's top left corner: the room within the margins.
    const qreal paperWidth = paper.width() * kTwipsPerPoint, paperHeight = paper.height() * kTwipsPerPoint;
    const qreal left = marginTwips(setup.leftMargin, paperWidth);
    const qreal top = marginTwips(setup.topMargin, paperHeight);
    const QRectF area(left, top, paperWidth - left - marginTwips(setup.rightMargin, paperWidth - left),
                      paperHeight - top - marginTwips(setup.bottomMargin, paperHeight - top));

    const RangeAddress used = sheet.usedRange();
    const QSize cells = rangeSize(workbook, sheetIndex, used);
    std::optional<Headings> headings;
    if (setup.printHeaders)
        headings.emplace(workbook, sheet, used);
    const QPoint inset = headings ? QPoint(headings->width, headings->height) : QPoint();
    const qreal widthTwips = (cells.width() + inset.x()) * kTwipsPerPixel;
    const qreal heightTwips = (cells.height() + inset.y()) * kTwipsPerPixel;

    qreal scale = std::clamp(setup.settingsValid ? setup.scale : 100, kSmallestScale, kLargestScale) / 100.0;
    // One page is laid out, so a range fitted to pages is fitted to it.
    if (setup.fitToPage && setup.fitWidth > 0 && widthTwips > 0)
        scale = std::min(scale, area.width() / widthTwips);
    if (setup.fitToPage && setup.fitHeight > 0 && heightTwips > 0)
        scale = std::min(scale, area.height() / heightTwips);
    // Centred in the room left; a drawing too large starts at the margins.
    const qreal spareX = std::max<qreal>(0, area.width() - widthTwips * scale);
    const qreal spareY = std::max<qreal>(0, area.height() - heightTwips * scale);
    const QPointF origin(area.left() + (setup.centreHorizontally ? spareX / 2 : 0),
                         area.top() + (setup.centreVertically ? spareY / 2 : 0));

    // Refused before a page is begun: a printer would put out a blank sheet.
    checkPictureSize(workbook, sheetIndex, used);
    QPainter painter;
    if (!painter.begin(&device))
        refuse(QStringLiteral("The sheet \"%1\" could not be printed: the printer or file did not start a page.")
                   .arg(sheet.name));
    // Twips from the paper's corner, wherever the device puts its origin.
    painter.scale(device.logicalDpiX() / kTwipsPerInch, device.logicalDpiY() / kTwipsPerInch);
    painter.translate(-paintable.left() * kTwipsPerPoint, -paintable.top() * kTwipsPerPoint);
    painter.setClipRect(area);
    const qreal pixel = scale * kTwipsPerPixel;
    if (scale > 0) { // margins that leave no room leave the page blank
        if (headings)
            headings->draw(painter, workbook, origin, pixel);
        painter.translate(origin + QPointF(inset) * pixel);
        painter.scale(pixel, pixel);
        drawRange(painter, workbook, sheetIndex, used, setup.printGridlines ? Gridlines::Drawn : Gridlines::Hidden);
    }
    painter.end();
}

QByteArray writeSheetPdf(const Workbook& workbook, int sheetIndex)
{
    if (sheetIndex < 0 || sheetIndex >= workbook.sheets.size())
        refuse(QStringLiteral("The workbook has no sheet %1 to write as PDF; it has %2.")
                   .arg(sheetIndex + 1)
                   .arg(workbook.sheets.size()));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(workbook.sheets[sheetIndex].name);
        writer.setCreator(QStringLiteral("Corvantis"));
        printSheet(workbook, sheetIndex, writer);
    }
    return bytes;
}

} // namespace spreadsheet
