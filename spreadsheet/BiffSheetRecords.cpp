// The records of a worksheet other than its cells.
#include "spreadsheet/BiffRecords.h"
#include "spreadsheet/EngineErrors.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace spreadsheet::biff {

namespace {
constexpr std::uint16_t kA1References = 1;
} // namespace

// REFMODE: 0 1 for A1 references, 0 for R1C1 (2).
void writeReferenceMode(RecordWriter& out)
{
    writeWord(out, record::RefMode, kA1References);
}

// GUTS: 0 row and 4 column outline widths, 8 row and 12 column levels (2 each).
void writeGuts(RecordWriter& out)
{
    out.write(record::Guts, FieldWriter().u16(0).u16(0).u16(0).u16(0));
}

// DIMENSIONS: 0 first row (4), 4 last row + 1 (4), 8 first column (2),
// 10 last column + 1 (2), 12 unused (2); all 0 for a sheet without cells.
void writeDimensions(RecordWriter& out, const Worksheet& sheet)
{
    FieldWriter dimensions;
    if (sheet.cells.empty()) {
        dimensions.u32(0).u32(0).u16(0).u16(0).u16(0);
    } else {
        const RangeAddress used = sheet.usedRange();
        dimensions.u32(std::uint32_t(used.first.row))
            .u32(std::uint32_t(used.last.row + 1))
            .u16(std::uint16_t(used.first.column))
            .u16(std::uint16_t(used.last.column + 1))
            .u16(0);
    }
    out.write(record::Dimensions, dimensions);
}

namespace {
constexpr std::uint16_t kHeightMask = 0x7FFF; // row heights take 15 bits
} // namespace

// DEFAULTROWHEIGHT: 0 flags of rows without a ROW record (2), 2 their height (2, twips).
void readDefaultRowHeight(const Record& record, Worksheet& sheet)
{
    FieldReader in(record, "DEFAULTROWHEIGHT");
    sheet.defaultRowFlags = in.u16();
    sheet.defaultRowHeightTwips = in.u16() & kHeightMask;
}

void writeDefaultRowHeight(RecordWriter& out, const Worksheet& sheet)
{
    out.write(record::DefaultRowHeight,
              FieldWriter().u16(sheet.defaultRowFlags).u16(std::uint16_t(sheet.defaultRowHeightTwips)));
}

namespace {
// Automatic page breaks, outline symbols below and right of the groups, and shown.
constexpr std::uint16_t kWsBoolDefaults = 0x04C1;
constexpr std::uint16_t kFitToPage = 0x0100;
} // namespace

// WSBOOL: 0 flags (2).
bool readWsBool(const Record& record)
{
    return FieldReader(record, "WSBOOL").u16() & kFitToPage;
}

void writeWsBool(RecordWriter& out, bool fitToPage)
{
    writeWord(out, record::WsBool, std::uint16_t(kWsBoolDefaults | (fitToPage ? kFitToPage : 0)));
}

// HEADER, FOOTER: empty, or 0 the text (long string).
QString readHeaderOrFooter(const Record& record, const char* context)
{
    FieldReader in(record, context);
    return in.atEnd() ? QString() : in.longString();
}

void writeHeaderOrFooter(RecordWriter& out, std::uint16_t type, const QString& text)
{
    out.write(type, text.isEmpty() ? QByteArray() : FieldWriter().longString(text).data());
}

namespace {
constexpr std::uint16_t kPortrait = 0x0002;
constexpr std::uint16_t kSettingsNotValid = 0x0004;
} // namespace

// SETUP: 0 paper size, 2 scale (%), 4 first page number, 6 pages wide,
// 8 pages tall, 10 flags (bit 1 portrait, 2 paper/scale/orientation not set;
// the others not kept), 12 horizontal and 14 vertical resolution (2 each,
// dpi), 16 header and 24 footer margin (8 each, inches), 32 copies (2).
void readSetup(const Record& record, PageSetup& page)
{
    FieldReader in(record, "SETUP");
    page.paperSize = in.u16();
    page.scale = in.u16();
    page.firstPageNumber = in.u16();
    page.fitWidth = in.u16();
    page.fitHeight = in.u16();
    const std::uint16_t flags = in.u16();
    page.portrait = flags & kPortrait;
    page.settingsValid = !(flags & kSettingsNotValid);
    page.horizontalDpi = in.u16();
    page.verticalDpi = in.u16();
    page.headerMargin = finite(in, in.f64());
    page.footerMargin = finite(in, in.f64());
    page.copies = in.u16();
}

void writeSetup(RecordWriter& out, const PageSetup& page)
{
    const std::uint16_t flags =
        std::uint16_t((page.portrait ? kPortrait : 0) | (page.settingsValid ? 0 : kSettingsNotValid));
    out.write(record::Setup,
              FieldWriter()
                  .u16(std::uint16_t(page.paperSize))
                  .u16(std::uint16_t(page.scale))
                  .u16(std::uint16_t(page.firstPageNumber))
                  .u16(std::uint16_t(page.fitWidth))
                  .u16(std::uint16_t(page.fitHeight))
                  .u16(flags)
                  .u16(std::uint16_t(page.horizontalDpi))
                  .u16(std::uint16_t(page.verticalDpi))
                  .f64(page.headerMargin)
                  .f64(page.footerMargin)
                  .u16(std::uint16_t(page.copies)));
}

namespace {
constexpr std::uint16_t kColumnHidden = 0x0001;
} // namespace

// COLINFO: 0 first and 2 last column, 4 width (1/256 of a character),
// 6 format index, 8 options (bit 0 hidden; outlines not kept), 10 unused
// (2 each).
ColumnInfo readColumnInfo(const Record& record)
{
    FieldReader in(record, "COLINFO");
    ColumnInfo column;
    column.first = in.u16();
    column.last = in.u16();
    column.width = in.u16();
    column.formatIndex = in.u16();
    column.hidden = in.u16() & kColumnHidden;
    // Excel and LibreOffice end a range that runs to the sheet's edge at
    // 256, one past the last column.
    if (column.last == kMaxColumns && column.first < kMaxColumns)
        column.last = kMaxColumns - 1;
    if (column.first > column.last || column.last >= kMaxColumns)
        in.fail(QStringLiteral("columns %1 to %2 are not a range of the sheet").arg(column.first).arg(column.last));
    return column;
}

void writeColumnInfo(RecordWriter& out, const ColumnInfo& column)
{
    out.write(record::ColInfo,
              FieldWriter()
                  .u16(std::uint16_t(column.first))
                  .u16(std::uint16_t(column.last))
                  .u16(std::uint16_t(column.width))
                  .u16(std::uint16_t(column.formatIndex))
                  .u16(column.hidden ? kColumnHidden : 0)
                  .u16(0));
}

namespace {
constexpr std::uint32_t kRowHidden = 0x20;
constexpr std::uint32_t kCustomHeight = 0x40;
constexpr std::uint32_t kRowFormatted = 0x80;
constexpr std::uint32_t kRowAlwaysSet = 0x0100;
constexpr int kRowFormatShift = 16;
constexpr std::uint32_t kRowFormatMask = 0x0FFF;
} // namespace

// ROW: 0 row, 2 first column, 4 last column + 1, 6 height in bits 0-14
// (twips), 8 and 10 unused (2 each), 12 options (4: bit 5 hidden, 6 custom
// height, 7 formatted, 8 always set, 16-27 the format index).
RowRecord readRow(const Record& record)
{
    FieldReader in(record, "ROW");
    RowRecord row;
    row.row = in.u16();
    in.skip(4);
    row.info.heightTwips = in.u16() & kHeightMask;
    in.skip(4);
    const std::uint32_t options = in.u32();
    row.info.hidden = options & kRowHidden;
    row.info.customHeight = options & kCustomHeight;
    if (options & kRowFormatted)
        row.info.formatIndex = int((options >> kRowFormatShift) & kRowFormatMask);
    return row;
}

void writeRow(RecordWriter& out, const RowRecord& row)
{
    const RowInfo& info = row.info;
    std::uint32_t options = kRowAlwaysSet | (info.hidden ? kRowHidden : 0) | (info.customHeight ? kCustomHeight : 0);
    if (info.formatIndex)
        options |= kRowFormatted | ((std::uint32_t(*info.formatIndex) & kRowFormatMask) << kRowFormatShift);
    out.write(record::Row,
              FieldWriter()
                  .u16(row.row)
                  .u16(row.firstColumn)
                  .u16(row.endColumn)
                  .u16(std::uint16_t(info.heightTwips & kHeightMask))
                  .u16(0)
                  .u16(0)
                  .u32(options));
}

namespace {
constexpr std::uint16_t kShowFormulas = 0x0001;
constexpr std::uint16_t kShowGridlines = 0x0002;
constexpr std::uint16_t kShowHeaders = 0x0004;
constexpr std::uint16_t kShowZeros = 0x0010;
constexpr std::uint16_t kAutomaticGridColour = 0x0020;
constexpr std::uint16_t kShowOutlineSymbols = 0x0080;
constexpr std::uint16_t kTabSelected = 0x0200;
constexpr std::uint16_t kTabShown = 0x0400;
constexpr int kNoZoomStored = 0; // WINDOW2's zoom field: 100 %
} // namespace

// WINDOW2: 0 flags (2), 2 top row (2), 4 left column (2), 6 grid colour
// index (4), 10 page break preview zoom (2), 12 normal zoom (2, 0 for 100 %),
// 14 unused (4).
void readWindow2(const Record& record, SheetWindow& window)
{
    FieldReader in(record, "WINDOW2");
    const std::uint16_t flags = in.u16();
    window.showFormulas = flags & kShowFormulas;
    window.showGridlines = flags & kShowGridlines;
    window.showHeaders = flags & kShowHeaders;
    window.showZeros = flags & kShowZeros;
    window.selected = flags & kTabSelected;
    window.topLeft.row = in.u16();
    window.topLeft.column = std::min<int>(in.u16(), kMaxColumns - 1);
}

void writeWindow2(RecordWriter& out, const SheetWindow& window)
{
    const std::uint16_t flags = std::uint16_t(
        (window.showFormulas ? kShowFormulas : 0) | (window.showGridlines ? kShowGridlines : 0)
        | (window.showHeaders ? kShowHeaders : 0) | (window.showZeros ? kShowZeros : 0) | kAutomaticGridColour
        | kShowOutlineSymbols | (window.selected ? kTabSelected : 0) | (window.active ? kTabShown : 0));
    out.write(record::Window2,
              FieldWriter()
                  .u16(flags)
                  .u16(std::uint16_t(window.topLeft.row))
                  .u16(std::uint16_t(window.topLeft.column))
                  .u32(kAutomaticColour)
                  .u16(0)
                  .u16(std::uint16_t(window.zoomPercent == 100 ? kNoZoomStored : window.zoomPercent))
                  .u32(0));
}

namespace {
constexpr int kLeastZoom = 10;
constexpr int kMostZoom = 400;
} // namespace

// SCL: 0 numerator, 2 denominator (2 each) of the zoom as a fraction.
int readScl(const Record& record)
{
    FieldReader in(record, "SCL");
    const int numerator = in.u16(), denominator = in.u16();
    if (denominator == 0)
        in.fail(QStringLiteral("the zoom has a denominator of 0"));
    // Spreadsheet programs zoom from 10 to 400 %; a value outside that is
    // read as the nearest one rather than refused.
    return std::clamp(int(std::lround(100.0 * numerator / denominator)), kLeastZoom, kMostZoom);
}

void writeScl(RecordWriter& out, int zoomPercent)
{
    const int divisor = std::gcd(zoomPercent, 100);
    out.write(record::Scl, FieldWriter().u16(std::uint16_t(zoomPercent / divisor)).u16(std::uint16_t(100 / divisor)));
}

namespace {
constexpr std::uint8_t kTopLeftPane = 3; // the one pane of a window not split
} // namespace

// SELECTION: 0 pane (1), 1 active row, 3 active column, 5 index of the
// active range, 7 range count (2 each), then a range each: first row, last
// row (2 each), first column, last column (1 each).
void readSelection(const Record& record, SheetWindow& window)
{
    FieldReader in(record, "SELECTION");
    in.skip(1);
    window.activeCell.row = in.u16();
    window.activeCell.column = std::min<int>(in.u16(), kMaxColumns - 1);
    in.skip(2);
    const std::uint16_t count = in.u16();
    QList<RangeAddress> ranges;
    for (int i = 0; i < count; ++i) {
        RangeAddress range;
        range.first.row = in.u16();
        range.last.row = in.u16();
        range.first.column = in.u8();
        range.last.column = in.u8();
        ranges.append(range);
    }
    // Just the active cell is what an empty selection means.
    const CellAddress active = window.activeCell;
    if (!(ranges.size() == 1 && ranges[0].first == active && ranges[0].last == active))
        window.selection = ranges;
}

void writeSelection(RecordWriter& out, const SheetWindow& window)
{
    const QList<RangeAddress> ranges =
        window.selection.isEmpty() ? QList<RangeAddress>{{window.activeCell, window.activeCell}} : window.selection;
    FieldWriter selection;
    selection.u8(kTopLeftPane)
        .u16(std::uint16_t(window.activeCell.row))
        .u16(std::uint16_t(window.activeCell.column))
        .u16(0)
        .u16(std::uint16_t(ranges.size()));
    for (const RangeAddress& range : ranges)
        selection.u16(std::uint16_t(range.first.row))
            .u16(std::uint16_t(range.last.row))
            .u8(std::uint8_t(range.first.column))
            .u8(std::uint8_t(range.last.column));
    out.write(record::Selection, selection);
}

namespace {
constexpr qsizetype kFutureHeaderSize = 12;
constexpr std::uint16_t kErrorCheckFeature = 3;
constexpr std::uint8_t kHeaderAlwaysSet = 1;
constexpr qsizetype kFeatureFixedSize = 27;
constexpr std::uint32_t kErrorCheckDataSize = 4;
constexpr std::uint32_t kKnownErrorChecks = 0xFF; // the others are unused
constexpr qsizetype kRangeSize = 8;
// A FEAT cannot go on in CONTINUE records.
constexpr qsizetype kMostFeatureRanges =
    (RecordWriter::kMaxBody - kFeatureFixedSize - kErrorCheckDataSize) / kRangeSize;

void writeFutureHeader(FieldWriter& out, std::uint16_t type)
{
    out.u16(type).u16(0).zeros(8);
}

bool isSheetRange(const RangeAddress& range)
{
    return range.first.row >= 0 && range.first.row <= range.last.row && range.last.row < kMaxRows
        && range.first.column >= 0 && range.first.column <= range.last.column && range.last.column < kMaxColumns;
}
} // namespace

// Both records start with a future record header (12): the record's own type
// (2), flags (2, 0), unused (8).
// FEATHEADR: 12 feature kind (2; 3 the error check), 14 always 1 (1), 15 size
// of the header data after it (4; 0, none, for the error check).
// FEAT: 12 feature kind (2), 14 unused (1), 15 unused (4), 19 range count
// (2), 21 size of the feature data (4; 4 for the error check), 25 unused (2),
// 27 the ranges: first row, last row, first column, last column (2 each);
// then the feature data, for the error check the kinds of error ignored (4:
// bit 0 calculation errors, 1 references to empty cells, 2 numbers stored as
// text, 3 inconsistent ranges, 4 inconsistent formulas, 5 text dates, 6
// unprotected formulas, 7 data validation).
bool readIgnoredErrors(const Record& record, QList<IgnoredErrors>& into)
{
    // A future record goes on in CONTINUEFRT records, not in CONTINUE ones.
    const bool header = record.type == record::FeatHdr;
    FieldReader in(record.body, header ? "FEATHEADR" : "FEAT");
    in.skip(kFutureHeaderSize);
    const std::uint16_t kind = in.u16();
    in.skip(1 + 4);
    if (header)
        return kind == kErrorCheckFeature;
    const std::uint16_t count = in.u16();
    in.skip(4 + 2);
    if (kind != kErrorCheckFeature)
        return false;
    IgnoredErrors feature;
    for (int i = 0; i < count; ++i) {
        RangeAddress range;
        range.first.row = in.u16();
        range.last.row = in.u16();
        range.first.column = in.u16();
        range.last.column = in.u16();
        if (!isSheetRange(range))
            in.fail(QStringLiteral("rows %1 to %2, columns %3 to %4 are not a range of the sheet")
                        .arg(range.first.row)
                        .arg(range.last.row)
                        .arg(range.first.column)
                        .arg(range.last.column));
        feature.ranges.append(range);
    }
    feature.ignored = ErrorChecks::fromInt(in.u32() & kKnownErrorChecks);
    into.append(feature);
    return true;
}

void writeIgnoredErrors(RecordWriter& out, const QList<IgnoredErrors>& ignored)
{
    if (ignored.isEmpty())
        return;
    FieldWriter header;
    writeFutureHeader(header, record::FeatHdr);
    header.u16(kErrorCheckFeature).u8(kHeaderAlwaysSet).u32(0);
    out.write(record::FeatHdr, header);
    for (const IgnoredErrors& feature : ignored) {
        if (feature.ranges.size() > kMostFeatureRanges)
            refuse(QStringLiteral("%1 ranges exempt from the error check alike; a sheet stores at most %2 together.")
                       .arg(feature.ranges.size())
                       .arg(kMostFeatureRanges));
        FieldWriter feat;
        writeFutureHeader(feat, record::Feat);
        feat.u16(kErrorCheckFeature)
            .u8(0)
            .u32(0)
            .u16(std::uint16_t(feature.ranges.size()))
            .u32(kErrorCheckDataSize)
            .u16(0);
        for (const RangeAddress& range : feature.ranges) {
            if (!isSheetRange(range))
                refuse(QStringLiteral("A range exempt from the error check, rows %1 to %2, columns %3 to %4, is not "
                                      "a range of the sheet.")
                           .arg(range.first.row + 1)
                           .arg(range.last.row + 1)
                           .arg(range.first.column + 1)
                           .arg(range.last.column + 1));
            feat.u16(std::uint16_t(range.first.row))
                .u16(std::uint16_t(range.last.row))
                .u16(std::uint16_t(range.first.column))
                .u16(std::uint16_t(range.last.column));
        }
        feat.u32(feature.ignored.toInt());
        out.write(record::Feat, feat);
    }
}

} // namespace spreadsheet::biff
