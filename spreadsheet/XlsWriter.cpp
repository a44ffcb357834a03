// Writes the workbook model as a BIFF8 workbook stream: the globals, then one
// substream per sheet, in the order the file format asks for.
#include "spreadsheet/BiffStream.h"
#include "spreadsheet/XlsStream.h"

#include <QHash>
#include <cmath>
#include <numeric>

namespace spreadsheet {
namespace {

using namespace biff;

constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kGlobalsSubstream = 0x0005;
constexpr std::uint16_t kWorksheetSubstream = 0x0010;

[[noreturn]] void refuse(const QString& what)
{
    throw FileFormatError(what.toStdString());
}

// Font indexes skip 4 in the file, a quirk of the format kept for old readers.
std::uint16_t fileFontIndex(int modelIndex)
{
    return std::uint16_t(modelIndex < 4 ? modelIndex : modelIndex + 1);
}

void writeBof(RecordWriter& out, std::uint16_t substream)
{
    out.write(record::Bof, FieldWriter().u16(kBiff8).u16(substream).u16(0x0DBB).u16(0x07CC).u32(0x000080C9).u32(0x00000206));
}

void writeFlag(RecordWriter& out, std::uint16_t type, bool value)
{
    out.write(type, FieldWriter().u16(value ? 1 : 0));
}

// Shared strings in the order cells first use them.
struct SharedStrings {
    QList<QString> unique;
    QHash<QString, int> indexOf;
    std::uint32_t uses = 0;

    int add(const QString& text)
    {
        ++uses;
        const auto found = indexOf.constFind(text);
        if (found != indexOf.constEnd())
            return *found;
        indexOf.insert(text, int(unique.size()));
        unique.append(text);
        return int(unique.size() - 1);
    }
};

SharedStrings collectStrings(const Workbook& workbook)
{
    SharedStrings strings;
    for (const Worksheet& sheet : workbook.sheets) {
        for (const auto& [position, cell] : sheet.cells) {
            if (cell.formula.isEmpty() && std::holds_alternative<QString>(cell.value))
                strings.add(std::get<QString>(cell.value));
        }
    }
    return strings;
}

// Appends the characters to the last part. When it is full they go on in a
// new part that starts by repeating the width byte, as a continued string
// must; a character is never split between parts.
void appendContinuedCharacters(QList<QByteArray>& parts, const QString& text, bool wide)
{
    qsizetype written = 0;
    while (written < text.size()) {
        const qsizetype room = (RecordWriter::kMaxBody - parts.last().size()) / (wide ? 2 : 1);
        if (room == 0) {
            parts.append(FieldWriter().u8(wide ? 1 : 0).data());
            continue;
        }
        const qsizetype take = std::min(room, text.size() - written);
        FieldWriter chars;
        for (qsizetype c = written; c < written + take; ++c) {
            if (wide)
                chars.u16(text[c].unicode());
            else
                chars.u8(std::uint8_t(text[c].unicode()));
        }
        parts.last().append(chars.data());
        written += take;
    }
}

// A formula's text result, going on in CONTINUE records when long.
void writeStringResult(RecordWriter& out, const QString& text)
{
    const bool wide = !fitsEightBits(text);
    QList<QByteArray> parts{FieldWriter().u16(std::uint16_t(text.size())).u8(wide ? 1 : 0).data()};
    appendContinuedCharacters(parts, text, wide);
    out.writeParts(record::String, parts);
}

// SST: strings may go on in CONTINUE records, but a string's header never
// splits, and a part that goes on with characters repeats the width byte.
// EXTSST then points at every eighth (or so) string for fast lookup.
void writeSharedStrings(RecordWriter& out, const SharedStrings& strings)
{
    const qsizetype bucketSize = std::max<qsizetype>(8, strings.unique.size() / 128 + 1);
    QList<QByteArray> parts{FieldWriter().u32(strings.uses).u32(std::uint32_t(strings.unique.size())).data()};
    QList<std::pair<int, qsizetype>> bucketStarts; // part, offset in part
    for (qsizetype i = 0; i < strings.unique.size(); ++i) {
        const QString& text = strings.unique[i];
        const bool wide = !fitsEightBits(text);
        if (parts.last().size() + 3 + (wide ? 2 : 1) > RecordWriter::kMaxBody)
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
        at += 4 + part.size();
    }
    FieldWriter extSst;
    extSst.u16(std::uint16_t(bucketSize));
    for (const auto& [part, offset] : bucketStarts)
        extSst.u32(std::uint32_t(partStart[part] + 4 + offset)).u16(std::uint16_t(4 + offset)).u16(0);
    out.write(record::ExtSst, extSst);
}

void writeFont(RecordWriter& out, const Font& font)
{
    FieldWriter f;
    f.u16(std::uint16_t(font.heightTwips))
        // Bit 0 repeats the weight's boldness for readers that look only there.
        .u16(std::uint16_t((font.bold ? 0x01 : 0) | (font.italic ? 0x02 : 0) | (font.strikeout ? 0x08 : 0)))
        .u16(font.colourIndex)
        .u16(font.bold ? 700 : 400)
        .u16(0)
        .u8(font.underline)
        .u8(font.family)
        .u8(font.charset)
        .u8(0)
        .shortString(font.name);
    out.write(record::Font, f);
}

void writeCellFormat(RecordWriter& out, const CellFormat& format)
{
    const std::uint16_t protection = std::uint16_t((format.locked ? 0x0001 : 0) | (format.hidden ? 0x0002 : 0)
                                                   | (format.isStyle ? 0x0004 : 0)
                                                   | ((format.isStyle ? 0x0FFF : format.parentStyle) << 4));
    const std::uint8_t alignment = std::uint8_t(std::uint8_t(format.horizontal) | (format.wrap ? 0x08 : 0)
                                                | (std::uint8_t(format.vertical) << 4));
    const std::uint32_t borders1 = std::uint32_t(format.left.style) | (std::uint32_t(format.right.style) << 4)
        | (std::uint32_t(format.top.style) << 8) | (std::uint32_t(format.bottom.style) << 12)
        | (std::uint32_t(format.left.colourIndex & 0x7F) << 16) | (std::uint32_t(format.right.colourIndex & 0x7F) << 23);
    const std::uint32_t borders2 = std::uint32_t(format.top.colourIndex & 0x7F)
        | (std::uint32_t(format.bottom.colourIndex & 0x7F) << 7) | (std::uint32_t(format.fillPattern & 0x3F) << 26);
    const std::uint16_t fill = std::uint16_t((format.fillForeground & 0x7F) | ((format.fillBackground & 0x7F) << 7));
    FieldWriter f;
    f.u16(fileFontIndex(format.fontIndex))
        .u16(std::uint16_t(format.numberFormat))
        .u16(protection)
        .u8(alignment)
        .u8(0)
        .u8(std::uint8_t(format.indent & 0x0F))
        .u8(std::uint8_t(format.attributesSet << 2))
        .u32(borders1)
        .u32(borders2)
        .u16(fill);
    out.write(record::Xf, f);
}

void writeStyle(RecordWriter& out, const CellStyle& style)
{
    FieldWriter f;
    if (style.builtIn)
        f.u16(std::uint16_t(style.formatIndex | 0x8000)).u8(style.builtInId).u8(style.level);
    else
        f.u16(std::uint16_t(style.formatIndex)).longString(style.name);
    out.write(record::Style, f);
}

void writeKept(RecordWriter& out, const QList<KeptRecord>& records)
{
    for (const KeptRecord& kept : records)
        out.writeParts(kept.type, QList<QByteArray>{kept.body} + kept.continues);
}

void writeName(RecordWriter& out, const DefinedName& name)
{
    FieldWriter f;
    f.u16(std::uint16_t((name.hidden ? 0x0001 : 0) | (name.builtIn ? 0x0020 : 0)))
        .u8(0)
        .u8(std::uint8_t(name.name.size()))
        .u16(std::uint16_t(name.formula.size()))
        .u16(0)
        .u16(std::uint16_t(name.sheetScope))
        .u8(0).u8(0).u8(0).u8(0)
        .stringBody(name.name)
        .bytes(name.formula);
    out.write(record::Name, f);
}

// Returns where each BOUNDSHEET's stream position must be filled in.
QList<qsizetype> writeGlobals(RecordWriter& out, const Workbook& workbook, const SharedStrings& strings)
{
    writeBof(out, kGlobalsSubstream);
    if (workbook.isTemplate)
        out.write(record::Template, QByteArray());
    out.write(record::InterfaceHdr, FieldWriter().u16(1200));
    out.write(record::Mms, FieldWriter().u8(0).u8(0));
    out.write(record::InterfaceEnd, QByteArray());
    FieldWriter access;
    access.longString(workbook.writeAccessUser.left(54));
    access.bytes(QByteArray(112 - access.size(), ' '));
    out.write(record::WriteAccess, access);
    out.write(record::CodePage, FieldWriter().u16(1200));
    out.write(record::Dsf, FieldWriter().u16(0));
    FieldWriter tabIds;
    for (int i = 0; i < workbook.sheets.size(); ++i)
        tabIds.u16(std::uint16_t(i + 1));
    out.write(record::TabId, tabIds);
    out.write(record::FnGroupCount, FieldWriter().u16(14));
    writeFlag(out, record::WindowProtect, false);
    writeFlag(out, record::Protect, false);
    writeFlag(out, record::Password, false);
    writeFlag(out, record::Prot4Rev, false);
    writeFlag(out, record::Prot4RevPass, false);

    const WorkbookWindow& w = workbook.window;
    const std::uint16_t windowFlags = std::uint16_t((w.hidden ? 0x01 : 0) | (w.showHorizontalScroll ? 0x08 : 0)
                                                    | (w.showVerticalScroll ? 0x10 : 0) | (w.showTabs ? 0x20 : 0));
    out.write(record::Window1, FieldWriter()
                                   .u16(std::uint16_t(w.left)).u16(std::uint16_t(w.top))
                                   .u16(std::uint16_t(w.width)).u16(std::uint16_t(w.height))
                                   .u16(windowFlags)
                                   .u16(std::uint16_t(workbook.activeSheet()))
                                   .u16(std::uint16_t(w.firstVisibleTab))
                                   .u16(1)
                                   .u16(std::uint16_t(w.tabRatio)));
    writeFlag(out, record::Backup, false);
    writeFlag(out, record::HideObj, false);
    writeFlag(out, record::DateMode, workbook.calculation.date1904);
    writeFlag(out, record::Precision, workbook.calculation.fullPrecision);
    writeFlag(out, record::RefreshAll, false);
    writeFlag(out, record::BookBool, false);

    for (const Font& font : workbook.fonts)
        writeFont(out, font);
    for (const NumberFormat& format : workbook.numberFormats)
        out.write(record::Format, FieldWriter().u16(std::uint16_t(format.id)).longString(format.code));
    for (const CellFormat& format : workbook.formats)
        writeCellFormat(out, format);
    for (const CellStyle& style : workbook.styles)
        writeStyle(out, style);
    if (workbook.palette) {
        FieldWriter palette;
        palette.u16(std::uint16_t(workbook.palette->size()));
        for (const QColor& colour : *workbook.palette)
            palette.u8(std::uint8_t(colour.red())).u8(std::uint8_t(colour.green())).u8(std::uint8_t(colour.blue())).u8(0);
        out.write(record::Palette, palette);
    }
    writeKept(out, workbook.keptGlobals);
    writeFlag(out, record::UsesElfs, false);

    QList<qsizetype> positions;
    for (const Worksheet& sheet : workbook.sheets) {
        positions.append(out.position() + 4);
        out.write(record::BoundSheet,
                  FieldWriter().u32(0).u8(std::uint8_t(sheet.state)).u8(0).shortString(sheet.name));
    }
    out.write(record::Country, FieldWriter().u16(1).u16(1));
    if (!workbook.names.isEmpty() || !workbook.sheetReferences.isEmpty()) {
        out.write(record::SupBook, FieldWriter().u16(std::uint16_t(workbook.sheets.size())).u16(0x0401));
        FieldWriter externSheet;
        externSheet.u16(std::uint16_t(workbook.sheetReferences.size()));
        for (const SheetReference& reference : workbook.sheetReferences)
            externSheet.u16(0).u16(std::uint16_t(reference.firstSheet)).u16(std::uint16_t(reference.lastSheet));
        out.write(record::ExternSheet, externSheet);
        for (const DefinedName& name : workbook.names)
            writeName(out, name);
    }
    writeSharedStrings(out, strings);
    out.write(record::Eof, QByteArray());
    return positions;
}

void writeCalculationSettings(RecordWriter& out, const CalculationSettings& calculation)
{
    out.write(record::CalcMode, FieldWriter().u16(calculation.automatic ? 1 : 0));
    out.write(record::CalcCount, FieldWriter().u16(std::uint16_t(calculation.iterationCount)));
    out.write(record::RefMode, FieldWriter().u16(1));
    writeFlag(out, record::Iteration, calculation.iterate);
    out.write(record::Delta, FieldWriter().f64(calculation.maxChange));
    writeFlag(out, record::SaveRecalc, calculation.recalculateBeforeSave);
}

void writeHeaderOrFooter(RecordWriter& out, std::uint16_t type, const QString& text)
{
    out.write(type, text.isEmpty() ? QByteArray() : FieldWriter().longString(text).data());
}

void writePageSetup(RecordWriter& out, const PageSetup& page)
{
    writeHeaderOrFooter(out, record::Header, page.header);
    writeHeaderOrFooter(out, record::Footer, page.footer);
    writeFlag(out, record::HCenter, page.centreHorizontally);
    writeFlag(out, record::VCenter, page.centreVertically);
    out.write(record::LeftMargin, FieldWriter().f64(page.leftMargin));
    out.write(record::RightMargin, FieldWriter().f64(page.rightMargin));
    out.write(record::TopMargin, FieldWriter().f64(page.topMargin));
    out.write(record::BottomMargin, FieldWriter().f64(page.bottomMargin));
    if (!page.printerSettings.isEmpty())
        out.write(record::Pls, page.printerSettings);
    const std::uint16_t flags = std::uint16_t((page.portrait ? 0x0002 : 0) | (page.settingsValid ? 0 : 0x0004));
    out.write(record::Setup, FieldWriter()
                                 .u16(std::uint16_t(page.paperSize)).u16(std::uint16_t(page.scale))
                                 .u16(std::uint16_t(page.firstPageNumber))
                                 .u16(std::uint16_t(page.fitWidth)).u16(std::uint16_t(page.fitHeight))
                                 .u16(flags)
                                 .u16(std::uint16_t(page.horizontalDpi)).u16(std::uint16_t(page.verticalDpi))
                                 .f64(page.headerMargin).f64(page.footerMargin)
                                 .u16(std::uint16_t(page.copies)));
}

std::optional<std::uint32_t> asRk(double value)
{
    if (value != std::floor(value) || value < -(1 << 29) || value >= (1 << 29))
        return std::nullopt;
    return (std::uint32_t(std::int32_t(value)) << 2) | 0x2;
}

QByteArray formulaResult(const Value& value, bool& needsStringRecord)
{
    needsStringRecord = false;
    FieldWriter f;
    if (const auto* number = std::get_if<double>(&value))
        return f.f64(*number).data();
    if (const auto* text = std::get_if<QString>(&value)) {
        needsStringRecord = !text->isEmpty();
        return f.u8(needsStringRecord ? 0 : 3).zeros(5).u16(0xFFFF).data();
    }
    if (const auto* flag = std::get_if<bool>(&value))
        return f.u8(1).u8(0).u8(*flag ? 1 : 0).zeros(3).u16(0xFFFF).data();
    if (const auto* error = std::get_if<ErrorValue>(&value))
        return f.u8(2).u8(0).u8(std::uint8_t(*error)).zeros(3).u16(0xFFFF).data();
    return f.u8(3).zeros(5).u16(0xFFFF).data(); // not yet calculated: empty text
}

void writeCell(RecordWriter& out, int row, int column, const Cell& cell, const SharedStrings& strings)
{
    const auto r = std::uint16_t(row);
    const auto c = std::uint16_t(column);
    const auto xf = std::uint16_t(cell.formatIndex);
    if (const auto* text = std::get_if<QString>(&cell.value); text && text->size() > kMaxCellText)
        refuse(QStringLiteral("Cell %1 holds %2 characters; a cell holds at most %3.")
                   .arg(cellName({row, column})).arg(text->size()).arg(kMaxCellText));
    if (!cell.formula.isEmpty()) {
        // A FORMULA record cannot go on in CONTINUE records: its tokens must
        // fit in one body after the 22 bytes before them.
        if (cell.formula.size() > RecordWriter::kMaxBody - 22)
            refuse(QStringLiteral("The formula of cell %1 is too long to store.").arg(cellName({row, column})));
        bool needsString = false;
        const QByteArray result = formulaResult(cell.value, needsString);
        out.write(record::Formula, FieldWriter().u16(r).u16(c).u16(xf).bytes(result).u16(0).u32(0)
                                        .u16(std::uint16_t(cell.formula.size())).bytes(cell.formula));
        if (needsString)
            writeStringResult(out, std::get<QString>(cell.value));
        return;
    }
    if (const auto* number = std::get_if<double>(&cell.value)) {
        if (const auto rk = asRk(*number))
            out.write(record::Rk, FieldWriter().u16(r).u16(c).u16(xf).u32(*rk));
        else
            out.write(record::Number, FieldWriter().u16(r).u16(c).u16(xf).f64(*number));
    } else if (const auto* text = std::get_if<QString>(&cell.value)) {
        out.write(record::LabelSst, FieldWriter().u16(r).u16(c).u16(xf).u32(std::uint32_t(strings.indexOf.value(*text))));
    } else if (const auto* flag = std::get_if<bool>(&cell.value)) {
        out.write(record::BoolErr, FieldWriter().u16(r).u16(c).u16(xf).u8(*flag ? 1 : 0).u8(0));
    } else if (const auto* error = std::get_if<ErrorValue>(&cell.value)) {
        out.write(record::BoolErr, FieldWriter().u16(r).u16(c).u16(xf).u8(std::uint8_t(*error)).u8(1));
    } else {
        out.write(record::Blank, FieldWriter().u16(r).u16(c).u16(xf));
    }
}

void writeRow(RecordWriter& out, int row, const RowInfo& info, int firstColumn, int endColumn)
{
    std::uint32_t options = 0x0100 | (info.hidden ? 0x20 : 0) | (info.customHeight ? 0x40 : 0);
    if (info.formatIndex)
        options |= 0x80 | (std::uint32_t(*info.formatIndex & 0x0FFF) << 16);
    out.write(record::Row, FieldWriter().u16(std::uint16_t(row)).u16(std::uint16_t(firstColumn))
                               .u16(std::uint16_t(endColumn)).u16(std::uint16_t(info.heightTwips & 0x7FFF))
                               .u16(0).u16(0).u32(options));
}

// Rows go in blocks of 32: the block's ROW records, then its cells.
void writeCellTable(RecordWriter& out, const Worksheet& sheet, const SharedStrings& strings)
{
    std::map<int, std::pair<int, int>> rowSpans; // row -> first column, end column
    for (const auto& [position, cell] : sheet.cells) {
        auto [it, inserted] = rowSpans.try_emplace(position.first, position.second, position.second + 1);
        if (!inserted) {
            it->second.first = std::min(it->second.first, position.second);
            it->second.second = std::max(it->second.second, position.second + 1);
        }
    }
    for (const auto& [row, info] : sheet.rows)
        rowSpans.try_emplace(row, 0, 0);

    auto rowIt = rowSpans.begin();
    auto cellIt = sheet.cells.begin();
    while (rowIt != rowSpans.end()) {
        const int blockEnd = (rowIt->first / 32 + 1) * 32;
        for (auto it = rowIt; it != rowSpans.end() && it->first < blockEnd; ++it) {
            const auto info = sheet.rows.find(it->first);
            RowInfo defaults;
            defaults.heightTwips = sheet.defaultRowHeightTwips;
            writeRow(out, it->first, info == sheet.rows.end() ? defaults : info->second, it->second.first, it->second.second);
        }
        for (; cellIt != sheet.cells.end() && cellIt->first.first < blockEnd; ++cellIt)
            writeCell(out, cellIt->first.first, cellIt->first.second, cellIt->second, strings);
        while (rowIt != rowSpans.end() && rowIt->first < blockEnd)
            ++rowIt;
    }
}

void writeSheetWindow(RecordWriter& out, const SheetWindow& window)
{
    const std::uint16_t flags = std::uint16_t((window.showFormulas ? 0x0001 : 0) | (window.showGridlines ? 0x0002 : 0)
                                              | (window.showHeaders ? 0x0004 : 0) | (window.showZeros ? 0x0010 : 0)
                                              | 0x0020 | 0x0080 | (window.selected ? 0x0200 : 0)
                                              | (window.active ? 0x0400 : 0));
    out.write(record::Window2, FieldWriter()
                                   .u16(flags)
                                   .u16(std::uint16_t(window.topLeft.row)).u16(std::uint16_t(window.topLeft.column))
                                   .u32(kAutomaticColour)
                                   .u16(0)
                                   .u16(std::uint16_t(window.zoomPercent == 100 ? 0 : window.zoomPercent))
                                   .u32(0));
    if (window.zoomPercent != 100) {
        const int divisor = std::gcd(window.zoomPercent, 100);
        out.write(record::Scl, FieldWriter().u16(std::uint16_t(window.zoomPercent / divisor)).u16(std::uint16_t(100 / divisor)));
    }
    const QList<RangeAddress> ranges = window.selection.isEmpty()
        ? QList<RangeAddress>{{window.activeCell, window.activeCell}}
        : window.selection;
    FieldWriter selection;
    selection.u8(3).u16(std::uint16_t(window.activeCell.row)).u16(std::uint16_t(window.activeCell.column))
        .u16(0).u16(std::uint16_t(ranges.size()));
    for (const RangeAddress& range : ranges)
        selection.u16(std::uint16_t(range.first.row)).u16(std::uint16_t(range.last.row))
            .u8(std::uint8_t(range.first.column)).u8(std::uint8_t(range.last.column));
    out.write(record::Selection, selection);
}

void writeSheet(RecordWriter& out, const Workbook& workbook, const Worksheet& sheet, const SharedStrings& strings)
{
    writeBof(out, kWorksheetSubstream);
    writeCalculationSettings(out, workbook.calculation);
    writeFlag(out, record::PrintHeaders, sheet.page.printHeaders);
    writeFlag(out, record::PrintGridlines, sheet.page.printGridlines);
    writeFlag(out, record::GridSet, true);
    out.write(record::Guts, FieldWriter().u16(0).u16(0).u16(0).u16(0));
    out.write(record::DefaultRowHeight, FieldWriter().u16(sheet.defaultRowFlags).u16(std::uint16_t(sheet.defaultRowHeightTwips)));
    out.write(record::WsBool, FieldWriter().u16(std::uint16_t(0x04C1 | (sheet.page.fitToPage ? 0x0100 : 0))));
    writePageSetup(out, sheet.page);
    writeKept(out, sheet.keptBeforeCells);
    out.write(record::DefColWidth, FieldWriter().u16(std::uint16_t(sheet.defaultColumnWidth)));
    for (const ColumnInfo& column : sheet.columns)
        out.write(record::ColInfo, FieldWriter().u16(std::uint16_t(column.first)).u16(std::uint16_t(column.last))
                                       .u16(std::uint16_t(column.width)).u16(std::uint16_t(column.formatIndex))
                                       .u16(column.hidden ? 1 : 0).u16(0));
    FieldWriter dimensions;
    if (sheet.cells.empty()) {
        dimensions.u32(0).u32(0).u16(0).u16(0).u16(0);
    } else {
        const RangeAddress used = sheet.usedRange();
        dimensions.u32(std::uint32_t(used.first.row)).u32(std::uint32_t(used.last.row + 1))
            .u16(std::uint16_t(used.first.column)).u16(std::uint16_t(used.last.column + 1)).u16(0);
    }
    out.write(record::Dimensions, dimensions);
    writeCellTable(out, sheet, strings);
    writeSheetWindow(out, sheet.window);
    writeKept(out, sheet.keptAfterWindow);
    out.write(record::Eof, QByteArray());
}

void checkLimits(const Workbook& workbook)
{
    if (workbook.sheets.isEmpty())
        refuse(QStringLiteral("A workbook needs at least one sheet."));
    for (const Worksheet& sheet : workbook.sheets) {
        if (sheet.name.isEmpty() || sheet.name.size() > 31)
            refuse(QStringLiteral("The sheet name \"%1\" must have 1 to 31 characters.").arg(sheet.name));
        for (const auto& [position, cell] : sheet.cells) {
            if (position.first < 0 || position.first >= kMaxRows || position.second < 0 || position.second >= kMaxColumns)
                refuse(QStringLiteral("A cell at row %1, column %2 lies outside the sheet.")
                           .arg(position.first + 1).arg(position.second + 1));
            if (cell.formatIndex < 0 || cell.formatIndex >= workbook.formats.size())
                refuse(QStringLiteral("Cell %1 uses format %2, which does not exist.")
                           .arg(cellName({position.first, position.second})).arg(cell.formatIndex));
        }
    }
    for (const DefinedName& name : workbook.names) {
        if (name.name.isEmpty() || name.name.size() > 255)
            refuse(QStringLiteral("A defined name must have 1 to 255 characters."));
    }
}

} // namespace

QByteArray writeWorkbookStream(const Workbook& workbook)
{
    checkLimits(workbook);
    const SharedStrings strings = collectStrings(workbook);
    RecordWriter out;
    const QList<qsizetype> sheetPositions = writeGlobals(out, workbook, strings);
    for (int i = 0; i < workbook.sheets.size(); ++i) {
        out.patchU32(sheetPositions[i], std::uint32_t(out.position()));
        writeSheet(out, workbook, workbook.sheets[i], strings);
    }
    return out.stream();
}

} // namespace spreadsheet
