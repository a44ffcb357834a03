// The records of the workbook globals, and those any substream holds.
#include "spreadsheet/BiffRecords.h"

#include <algorithm>
#include <cmath>

namespace spreadsheet::biff {

double finite(const FieldReader& in, double value)
{
    if (!std::isfinite(value))
        in.fail(QStringLiteral("it holds a number that is not finite"));
    return value;
}

namespace {
constexpr qsizetype kSmallestString = 3; // a long string's count and option byte

// What the writer says made the file: Excel 97's build and year, and the
// file history and lowest version Excel itself writes.
constexpr std::uint16_t kBuild = 0x0DBB;
constexpr std::uint16_t kBuildYear = 0x07CC;
constexpr std::uint32_t kFileHistory = 0x000080C9;
constexpr std::uint32_t kLowestVersion = 0x00000206;
} // namespace

// BOF: 0 version (2), 2 substream type (2), 4 build (2), 6 build year (2),
// 8 file history flags (4), 12 lowest version that reads it (4).
Bof readBof(const Record& record)
{
    FieldReader in(record, "BOF");
    Bof bof;
    bof.version = in.u16();
    bof.substream = in.u16();
    return bof;
}

void writeBof(RecordWriter& out, std::uint16_t substream)
{
    out.write(
        record::Bof,
        FieldWriter().u16(kBiff8).u16(substream).u16(kBuild).u16(kBuildYear).u32(kFileHistory).u32(kLowestVersion));
}

// DATEMODE, PRECISION, CALCMODE, ...: 0 the value (2).
bool readFlag(const Record& record, const char* context)
{
    return FieldReader(record, context).u16() != 0;
}

void writeFlag(RecordWriter& out, std::uint16_t type, bool value)
{
    out.write(type, FieldWriter().u16(value ? 1 : 0));
}

// CALCCOUNT, DEFCOLWIDTH, ...: 0 the value (2).
std::uint16_t readWord(const Record& record, const char* context)
{
    return FieldReader(record, context).u16();
}

void writeWord(RecordWriter& out, std::uint16_t type, std::uint16_t value)
{
    out.write(type, FieldWriter().u16(value));
}

// DELTA, LEFTMARGIN, ...: 0 the number (8).
double readDouble(const Record& record, const char* context)
{
    FieldReader in(record, context);
    return finite(in, in.f64());
}

void writeDouble(RecordWriter& out, std::uint16_t type, double value)
{
    out.write(type, FieldWriter().f64(value));
}

namespace {
constexpr std::uint16_t kCodePageUtf16 = 1200;
constexpr std::uint16_t kBuiltInFunctionGroups = 14;
constexpr std::uint16_t kCountryUnitedStates = 1;
constexpr std::uint16_t kOwnWorkbook = 0x0401; // SUPBOOK: the workbook itself, not a file
} // namespace

// INTERFACEHDR: 0 code page (2). MMS: 0 menu items added, deleted (1 each).
// INTERFACEEND: empty.
void writeInterface(RecordWriter& out)
{
    out.write(record::InterfaceHdr, FieldWriter().u16(kCodePageUtf16));
    out.write(record::Mms, FieldWriter().u8(0).u8(0));
    out.write(record::InterfaceEnd, QByteArray());
}

// CODEPAGE: 0 code page (2).
void writeCodePage(RecordWriter& out)
{
    out.write(record::CodePage, FieldWriter().u16(kCodePageUtf16));
}

// TABID: a 2-byte id a sheet, 1 up.
void writeTabIds(RecordWriter& out, qsizetype sheets)
{
    FieldWriter ids;
    for (qsizetype i = 0; i < sheets; ++i)
        ids.u16(std::uint16_t(i + 1));
    out.write(record::TabId, ids);
}

// FNGROUPCOUNT: 0 function groups (2).
void writeFunctionGroupCount(RecordWriter& out)
{
    writeWord(out, record::FnGroupCount, kBuiltInFunctionGroups);
}

// COUNTRY: 0 the program's country (2), 2 the system's (2).
void writeCountry(RecordWriter& out)
{
    out.write(record::Country, FieldWriter().u16(kCountryUnitedStates).u16(kCountryUnitedStates));
}

// SUPBOOK of the workbook's own sheets: 0 sheet count (2), 2 0x0401 (2).
void writeOwnSupBook(RecordWriter& out, qsizetype sheets)
{
    out.write(record::SupBook, FieldWriter().u16(std::uint16_t(sheets)).u16(kOwnWorkbook));
}

namespace {
constexpr qsizetype kWriteAccessSize = 112;
constexpr qsizetype kWriteAccessLongestName = 54; // 16-bit characters that fit in the 112 bytes
} // namespace

// WRITEACCESS: 0 the user's name (long string), then spaces to 112 bytes.
QString readWriteAccess(const Record& record)
{
    FieldReader in(record, "WRITEACCESS");
    return in.remaining() >= kSmallestString ? in.longString().trimmed() : QString();
}

void writeWriteAccess(RecordWriter& out, const QString& user)
{
    FieldWriter access;
    access.longString(user.left(kWriteAccessLongestName));
    access.bytes(QByteArray(kWriteAccessSize - access.size(), ' '));
    out.write(record::WriteAccess, access);
}

namespace {
constexpr std::uint16_t kWindowHidden = 0x01;
constexpr std::uint16_t kHorizontalScroll = 0x08;
constexpr std::uint16_t kVerticalScroll = 0x10;
constexpr std::uint16_t kShowTabs = 0x20;
constexpr std::uint16_t kOneSelectedTab = 1;
} // namespace

// WINDOW1: 0 left, 2 top, 4 width, 6 height (2 each, twips), 8 flags (2),
// 10 active tab (2), 12 first tab shown (2), 14 selected tabs (2),
// 16 tab bar width (2, per mille).
Window1 readWindow1(const Record& record)
{
    FieldReader in(record, "WINDOW1");
    Window1 result;
    WorkbookWindow& w = result.window;
    w.left = in.u16();
    w.top = in.u16();
    w.width = in.u16();
    w.height = in.u16();
    const std::uint16_t flags = in.u16();
    w.hidden = flags & kWindowHidden;
    w.showHorizontalScroll = flags & kHorizontalScroll;
    w.showVerticalScroll = flags & kVerticalScroll;
    w.showTabs = flags & kShowTabs;
    result.activeTab = in.u16();
    w.firstVisibleTab = in.u16();
    in.skip(2);
    w.tabRatio = in.u16();
    return result;
}

void writeWindow1(RecordWriter& out, const Window1& window)
{
    const WorkbookWindow& w = window.window;
    const std::uint16_t flags =
        std::uint16_t((w.hidden ? kWindowHidden : 0) | (w.showHorizontalScroll ? kHorizontalScroll : 0)
                      | (w.showVerticalScroll ? kVerticalScroll : 0) | (w.showTabs ? kShowTabs : 0));
    out.write(record::Window1,
              FieldWriter()
                  .u16(std::uint16_t(w.left))
                  .u16(std::uint16_t(w.top))
                  .u16(std::uint16_t(w.width))
                  .u16(std::uint16_t(w.height))
                  .u16(flags)
                  .u16(std::uint16_t(window.activeTab))
                  .u16(std::uint16_t(w.firstVisibleTab))
                  .u16(kOneSelectedTab)
                  .u16(std::uint16_t(w.tabRatio)));
}

namespace {
constexpr std::uint16_t kFontBold = 0x01; // repeats the weight for readers that look only here
constexpr std::uint16_t kFontItalic = 0x02;
constexpr std::uint16_t kFontStrikeout = 0x08;
constexpr std::uint16_t kWeightNormal = 400;
constexpr std::uint16_t kWeightBold = 700;
} // namespace

// FONT: 0 height (2, twips), 2 options (2), 4 colour index (2), 6 weight (2),
// 8 escapement (2, not kept), 10 underline (1), 11 family (1), 12 charset (1),
// 13 unused (1), 14 name (short string).
Font readFont(const Record& record)
{
    FieldReader in(record, "FONT");
    Font font;
    font.heightTwips = in.u16();
    const std::uint16_t options = in.u16();
    font.italic = options & kFontItalic;
    font.strikeout = options & kFontStrikeout;
    font.colourIndex = in.u16();
    font.bold = in.u16() >= kWeightBold;
    in.skip(2);
    font.underline = in.u8();
    font.family = in.u8();
    font.charset = in.u8();
    in.skip(1);
    font.name = in.shortString();
    return font;
}

void writeFont(RecordWriter& out, const Font& font)
{
    FieldWriter f;
    f.u16(std::uint16_t(font.heightTwips))
        .u16(std::uint16_t((font.bold ? kFontBold : 0) | (font.italic ? kFontItalic : 0)
                           | (font.strikeout ? kFontStrikeout : 0)))
        .u16(font.colourIndex)
        .u16(font.bold ? kWeightBold : kWeightNormal)
        .u16(0)
        .u8(font.underline)
        .u8(font.family)
        .u8(font.charset)
        .u8(0)
        .shortString(font.name);
    out.write(record::Font, f);
}

// FORMAT: 0 format id (2), 2 format code (long string).
NumberFormat readNumberFormat(const Record& record)
{
    FieldReader in(record, "FORMAT");
    NumberFormat format;
    format.id = in.u16();
    format.code = in.longString();
    return format;
}

void writeNumberFormat(RecordWriter& out, const NumberFormat& format)
{
    out.write(record::Format, FieldWriter().u16(std::uint16_t(format.id)).longString(format.code));
}

namespace {
// Font indexes skip 4 in the file, a quirk of the format kept for old readers.
constexpr int kMissingFont = 4;

int modelFontIndex(int fileIndex, const char* context, const Record& record)
{
    if (fileIndex == kMissingFont)
        FieldReader(record, context).fail(QStringLiteral("it uses font 4, which the format never stores"));
    return fileIndex < kMissingFont ? fileIndex : fileIndex - 1;
}

std::uint16_t fileFontIndex(int modelIndex)
{
    return std::uint16_t(modelIndex < kMissingFont ? modelIndex : modelIndex + 1);
}

constexpr std::uint16_t kLocked = 0x0001;
constexpr std::uint16_t kFormulaHidden = 0x0002;
constexpr std::uint16_t kStyleFormat = 0x0004;
constexpr int kParentShift = 4;
constexpr std::uint16_t kNoParent = 0x0FFF; // a style format's parent field
constexpr std::uint8_t kHorizontalMask = 0x07;
constexpr std::uint8_t kDistributed = 7; // read as general: the model has no such alignment
constexpr std::uint8_t kWrap = 0x08;
constexpr int kVerticalShift = 4;
constexpr std::uint8_t kVerticalMask = 0x07;
constexpr std::uint8_t kIndentMask = 0x0F;
constexpr int kAttributesShift = 2;
constexpr std::uint32_t kLineStyleMask = 0x0F;
constexpr std::uint32_t kLastLineStyle = 13;
constexpr std::uint32_t kColourMask = 0x7F;
constexpr std::uint32_t kPatternMask = 0x3F;
constexpr int kPatternShift = 26;
constexpr int kRightStyleShift = 4, kTopStyleShift = 8, kBottomStyleShift = 12; // the first border field
constexpr int kLeftColourShift = 16, kRightColourShift = 23;
constexpr int kBottomColourShift = 7; // the second border field
constexpr int kBackgroundShift = 7;   // the fill colours
} // namespace

// XF: 0 font index (2), 2 number format id (2), 4 protection and parent (2:
// bit 0 locked, 1 formula hidden, 2 style format, 4-15 parent style format),
// 6 alignment (1: bits 0-2 horizontal, 3 wrap, 4-6 vertical), 7 rotation (1,
// not kept), 8 indent in bits 0-3 (1; shrink, merge, direction not kept),
// 9 attribute groups set in bits 2-7 (1), 10 line styles (4: left, right,
// top, bottom 4 bits each; left colour bits 16-22, right 23-29; diagonals
// not kept), 14 top colour bits 0-6, bottom 7-13, fill pattern 26-31 (4),
// 18 fill colours (2: foreground bits 0-6, background 7-13).
CellFormat readCellFormat(const Record& record)
{
    FieldReader in(record, "XF");
    CellFormat format;
    format.fontIndex = modelFontIndex(in.u16(), "XF", record);
    format.numberFormat = in.u16();
    const std::uint16_t protection = in.u16();
    format.locked = protection & kLocked;
    format.hidden = protection & kFormulaHidden;
    format.isStyle = protection & kStyleFormat;
    format.parentStyle = format.isStyle ? 0 : protection >> kParentShift;
    const std::uint8_t alignment = in.u8();
    const auto horizontal = alignment & kHorizontalMask;
    format.horizontal = HorizontalAlignment(horizontal == kDistributed ? 0 : horizontal);
    format.wrap = alignment & kWrap;
    format.vertical = VerticalAlignment(std::min((alignment >> kVerticalShift) & kVerticalMask, 3));
    in.skip(1);
    format.indent = in.u8() & kIndentMask;
    format.attributesSet = in.u8() >> kAttributesShift;
    const std::uint32_t borders1 = in.u32();
    const std::uint32_t borders2 = in.u32();
    const std::uint16_t fill = in.u16();
    auto line = [](std::uint32_t style, std::uint32_t colour) {
        return BorderLine{LineStyle(std::min(style & kLineStyleMask, kLastLineStyle)),
                          std::uint8_t(colour & kColourMask)};
    };
    format.left = line(borders1, borders1 >> kLeftColourShift);
    format.right = line(borders1 >> kRightStyleShift, borders1 >> kRightColourShift);
    format.top = line(borders1 >> kTopStyleShift, borders2);
    format.bottom = line(borders1 >> kBottomStyleShift, borders2 >> kBottomColourShift);
    format.fillPattern = std::uint8_t((borders2 >> kPatternShift) & kPatternMask);
    format.fillForeground = std::uint8_t(fill & kColourMask);
    format.fillBackground = std::uint8_t((fill >> kBackgroundShift) & kColourMask);
    return format;
}

void writeCellFormat(RecordWriter& out, const CellFormat& format)
{
    const std::uint16_t protection = std::uint16_t(
        (format.locked ? kLocked : 0) | (format.hidden ? kFormulaHidden : 0) | (format.isStyle ? kStyleFormat : 0)
        | ((format.isStyle ? kNoParent : format.parentStyle) << kParentShift));
    const std::uint8_t alignment = std::uint8_t(std::uint8_t(format.horizontal) | (format.wrap ? kWrap : 0)
                                                | (std::uint8_t(format.vertical) << kVerticalShift));
    const std::uint32_t borders1 = std::uint32_t(format.left.style)
        | (std::uint32_t(format.right.style) << kRightStyleShift) | (std::uint32_t(format.top.style) << kTopStyleShift)
        | (std::uint32_t(format.bottom.style) << kBottomStyleShift)
        | ((format.left.colourIndex & kColourMask) << kLeftColourShift)
        | ((format.right.colourIndex & kColourMask) << kRightColourShift);
    const std::uint32_t borders2 = (format.top.colourIndex & kColourMask)
        | ((format.bottom.colourIndex & kColourMask) << kBottomColourShift)
        | ((format.fillPattern & kPatternMask) << kPatternShift);
    const std::uint16_t fill = std::uint16_t((format.fillForeground & kColourMask)
                                             | ((format.fillBackground & kColourMask) << kBackgroundShift));
    FieldWriter f;
    f.u16(fileFontIndex(format.fontIndex))
        .u16(std::uint16_t(format.numberFormat))
        .u16(protection)
        .u8(alignment)
        .u8(0)
        .u8(std::uint8_t(format.indent & kIndentMask))
        .u8(std::uint8_t(format.attributesSet << kAttributesShift))
        .u32(borders1)
        .u32(borders2)
        .u16(fill);
    out.write(record::Xf, f);
}

namespace {
constexpr std::uint16_t kStyleFormatMask = 0x0FFF;
constexpr std::uint16_t kBuiltInStyle = 0x8000;
} // namespace

// STYLE: 0 format index in bits 0-11, built-in in bit 15 (2); built-in:
// 2 style id (1), 3 outline level (1); else 2 the name (long string).
CellStyle readStyle(const Record& record)
{
    FieldReader in(record, "STYLE");
    CellStyle style;
    const std::uint16_t reference = in.u16();
    style.formatIndex = reference & kStyleFormatMask;
    style.builtIn = reference & kBuiltInStyle;
    if (style.builtIn) {
        style.builtInId = in.u8();
        style.level = in.u8();
    } else {
        style.name = in.longString();
    }
    return style;
}

void writeStyle(RecordWriter& out, const CellStyle& style)
{
    FieldWriter f;
    if (style.builtIn)
        f.u16(std::uint16_t(style.formatIndex | kBuiltInStyle)).u8(style.builtInId).u8(style.level);
    else
        f.u16(std::uint16_t(style.formatIndex)).longString(style.name);
    out.write(record::Style, f);
}

namespace {
constexpr int kPaletteSize = 56;
} // namespace

// PALETTE: 0 colour count (2), then red, green, blue, unused (1 each) a colour.
QList<QColor> readPalette(const Record& record)
{
    FieldReader in(record, "PALETTE");
    const std::uint16_t count = in.u16();
    if (count > kPaletteSize)
        in.fail(QStringLiteral("it lists %1 colours; a palette has at most 56").arg(count));
    QList<QColor> colours;
    for (int i = 0; i < count; ++i) {
        const int red = in.u8(), green = in.u8(), blue = in.u8();
        in.skip(1);
        colours.append(QColor(red, green, blue));
    }
    return colours;
}

void writePalette(RecordWriter& out, const QList<QColor>& colours)
{
    FieldWriter palette;
    palette.u16(std::uint16_t(colours.size()));
    for (const QColor& colour : colours)
        palette.u8(std::uint8_t(colour.red())).u8(std::uint8_t(colour.green())).u8(std::uint8_t(colour.blue())).u8(0);
    out.write(record::Palette, palette);
}

namespace {
constexpr std::uint8_t kSheetStateMask = 0x03;
constexpr std::uint8_t kWorksheet = 0;
} // namespace

// BOUNDSHEET: 0 stream offset of the sheet's BOF (4), 4 visibility in bits
// 0-1 (1), 5 sheet type (1), 6 the name (short string).
SheetPlace readBoundSheet(const Record& record)
{
    FieldReader in(record, "BOUNDSHEET");
    SheetPlace place;
    place.offset = in.u32();
    const std::uint8_t state = in.u8() & kSheetStateMask;
    if (state > std::uint8_t(SheetState::VeryHidden))
        in.fail(QStringLiteral("sheet state %1 is unknown").arg(state));
    place.state = SheetState(state);
    in.skip(1);
    place.name = in.shortString();
    return place;
}

qsizetype writeBoundSheet(RecordWriter& out, const SheetPlace& place)
{
    const qsizetype offsetAt = out.position() + RecordWriter::kHeaderSize;
    out.write(record::BoundSheet,
              FieldWriter().u32(place.offset).u8(std::uint8_t(place.state)).u8(kWorksheet).shortString(place.name));
    return offsetAt;
}

// EXTERNSHEET: 0 count (2), then a reference each: SUPBOOK index, first
// sheet, last sheet (2 each; the SUPBOOK is always the workbook's own).
QList<SheetReference> readExternSheet(const Record& record)
{
    FieldReader in(record, "EXTERNSHEET");
    const std::uint16_t count = in.u16();
    QList<SheetReference> references;
    for (int i = 0; i < count; ++i) {
        in.skip(2);
        SheetReference reference;
        reference.firstSheet = in.u16();
        reference.lastSheet = in.u16();
        references.append(reference);
    }
    return references;
}

void writeExternSheet(RecordWriter& out, const QList<SheetReference>& references)
{
    FieldWriter externSheet;
    externSheet.u16(std::uint16_t(references.size()));
    for (const SheetReference& reference : references)
        externSheet.u16(0).u16(std::uint16_t(reference.firstSheet)).u16(std::uint16_t(reference.lastSheet));
    out.write(record::ExternSheet, externSheet);
}

namespace {
constexpr std::uint16_t kNameHidden = 0x0001;
constexpr std::uint16_t kNameBuiltIn = 0x0020;
} // namespace

// NAME: 0 options (2), 2 keyboard shortcut (1), 3 name length (1), 4 token
// size (2), 6 unused (2), 8 sheet scope (2, sheet index + 1; 0 the workbook),
// 10 lengths of menu, description, help and status texts (1 each, none
// written), 14 the name (option byte and characters), then the tokens.
DefinedName readName(const Record& record)
{
    FieldReader in(record, "NAME");
    DefinedName name;
    const std::uint16_t options = in.u16();
    name.hidden = options & kNameHidden;
    name.builtIn = options & kNameBuiltIn;
    in.skip(1);
    const std::uint8_t length = in.u8();
    const std::uint16_t formulaSize = in.u16();
    in.skip(2);
    name.sheetScope = in.u16();
    in.skip(4);
    name.name = in.stringOfLength(length);
    name.formula = in.bytes(formulaSize);
    return name;
}

void writeName(RecordWriter& out, const DefinedName& name)
{
    FieldWriter f;
    f.u16(std::uint16_t((name.hidden ? kNameHidden : 0) | (name.builtIn ? kNameBuiltIn : 0)))
        .u8(0)
        .u8(std::uint8_t(name.name.size()))
        .u16(std::uint16_t(name.formula.size()))
        .u16(0)
        .u16(std::uint16_t(name.sheetScope))
        .u8(0)
        .u8(0)
        .u8(0)
        .u8(0)
        .stringBody(name.name)
        .bytes(name.formula);
    out.write(record::Name, f);
}

namespace {
constexpr qsizetype kMinStringsPerBucket = 8;
constexpr qsizetype kMostBuckets = 128;
} // namespace

// SST: 0 uses by cells (4), 4 unique strings (4), then the strings (long
// strings). They go on in CONTINUE records, where a string's header never
// splits and a part that goes on with characters repeats the option byte.
QList<QString> readSharedStrings(const Record& record)
{
    FieldReader in(record, "SST");
    in.skip(4);
    const std::uint32_t unique = in.u32();
    QList<QString> strings;
    // Never trust the count for an allocation: each string takes 3 bytes at least.
    strings.reserve(std::min<qsizetype>(unique, in.remaining() / kSmallestString));
    for (std::uint32_t i = 0; i < unique; ++i) {
        if (in.atEnd())
            in.fail(QStringLiteral("it promises %1 strings but holds %2").arg(unique).arg(strings.size()));
        strings.append(in.longString());
    }
    return strings;
}

// EXTSST then points at every eighth (or so) string for fast lookup:
// 0 strings a bucket (2), then a bucket each: stream offset of its first
// string (4), its offset in its record (2), unused (2).
void writeSharedStrings(RecordWriter& out, const QList<QString>& strings, std::uint32_t uses)
{
    const qsizetype bucketSize = std::max(kMinStringsPerBucket, strings.size() / kMostBuckets + 1);
    QList<QByteArray> parts{FieldWriter().u32(uses).u32(std::uint32_t(strings.size())).data()};
    QList<std::pair<int, qsizetype>> bucketStarts; // part, offset in part
    for (qsizetype i = 0; i < strings.size(); ++i) {
        const QString& text = strings[i];
        const bool wide = !fitsEightBits(text);
        if (parts.last().size() + kSmallestString + (wide ? 2 : 1) > RecordWriter::kMaxBody)
            parts.append(QByteArray());
        if (i % bucketSize == 0)
            bucketStarts.append({int(parts.size() - 1), parts.last().size()});
        parts.last().append(FieldWriter().u16(std::uint16_t(text.size())).u8(wide ? 1 : 0).data());
        appendContinuedCharacters(parts, text, wide);
    }
    const qsizetype sstStart = out.position();
    out.writeParts(record::Sst, parts);

    QList<qsizetype> partStart; // stream offset of each part's header
    qsizetype at = sstStart;
    for (const QByteArray& part : parts) {
        partStart.append(at);
        at += RecordWriter::kHeaderSize + part.size();
    }
    FieldWriter extSst;
    extSst.u16(std::uint16_t(bucketSize));
    for (const auto& [part, offset] : bucketStarts)
        extSst.u32(std::uint32_t(partStart[part] + RecordWriter::kHeaderSize + offset))
            .u16(std::uint16_t(RecordWriter::kHeaderSize + offset))
            .u16(0);
    out.write(record::ExtSst, extSst);
}

} // namespace spreadsheet::biff
