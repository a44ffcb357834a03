// Writes the workbook model as a BIFF8 workbook stream: the globals, then one
// substream per sheet, in the order the file format asks for.
#include "spreadsheet/BiffRecords.h"
#include "spreadsheet/EngineErrors.h"
#include "spreadsheet/XlsStream.h"

#include <QHash>

namespace spreadsheet {
namespace {

using namespace biff;

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

void writeKept(RecordWriter& out, const QList<KeptRecord>& records)
{
    for (const KeptRecord& kept : records)
        out.writeParts(kept.type, QList<QByteArray>{kept.body} + kept.continues);
}

// Returns where each BOUNDSHEET's stream position must be filled in.
QList<qsizetype> writeGlobals(RecordWriter& out, const Workbook& workbook, const SharedStrings& strings)
{
    writeBof(out, kGlobalsSubstream);
    if (workbook.isTemplate)
        out.write(record::Template, QByteArray());
    writeInterface(out);
    writeWriteAccess(out, workbook.writeAccessUser);
    writeCodePage(out);
    writeFlag(out, record::Dsf, false);
    writeTabIds(out, workbook.sheets.size());
    writeFunctionGroupCount(out);
    // No protection, and no passwords.
    for (const std::uint16_t type :
         {record::WindowProtect, record::Protect, record::Password, record::Prot4Rev, record::Prot4RevPass})
        writeWord(out, type, 0);
    writeWindow1(out, Window1{workbook.window, workbook.activeSheet()});
    writeFlag(out, record::Backup, false);
    writeFlag(out, record::HideObj, false);
    writeFlag(out, record::DateMode, workbook.calculation.date1904);
    writeFlag(out, record::Precision, workbook.calculation.fullPrecision);
    writeFlag(out, record::RefreshAll, false);
    writeFlag(out, record::BookBool, false);

    for (const Font& font : workbook.fonts)
        writeFont(out, font);
    for (const NumberFormat& format : workbook.numberFormats)
        writeNumberFormat(out, format);
    for (const CellFormat& format : workbook.formats)
        writeCellFormat(out, format);
    for (const CellStyle& style : workbook.styles)
        writeStyle(out, style);
    if (workbook.palette)
        writePalette(out, *workbook.palette);
    writeKept(out, workbook.keptGlobals);
    writeFlag(out, record::UsesElfs, false);

    QList<qsizetype> positions;
    for (const Worksheet& sheet : workbook.sheets)
        positions.append(writeBoundSheet(out, SheetPlace{0, sheet.state, sheet.name}));
    writeCountry(out);
    if (!workbook.names.isEmpty() || !workbook.sheetReferences.isEmpty()) {
        writeOwnSupBook(out, workbook.sheets.size());
        writeExternSheet(out, workbook.sheetReferences);
        for (const DefinedName& name : workbook.names)
            writeName(out, name);
    }
    writeSharedStrings(out, strings.unique, strings.uses);
    out.write(record::Eof, QByteArray());
    return positions;
}

void writeCalculationSettings(RecordWriter& out, const CalculationSettings& calculation)
{
    writeFlag(out, record::CalcMode, calculation.automatic);
    writeWord(out, record::CalcCount, std::uint16_t(calculation.iterationCount));
    writeReferenceMode(out);
    writeFlag(out, record::Iteration, calculation.iterate);
    writeDouble(out, record::Delta, calculation.maxChange);
    writeFlag(out, record::SaveRecalc, calculation.recalculateBeforeSave);
}

void writePageSetup(RecordWriter& out, const PageSetup& page)
{
    writeHeaderOrFooter(out, record::Header, page.header);
    writeHeaderOrFooter(out, record::Footer, page.footer);
    writeFlag(out, record::HCenter, page.centreHorizontally);
    writeFlag(out, record::VCenter, page.centreVertically);
    writeDouble(out, record::LeftMargin, page.leftMargin);
    writeDouble(out, record::RightMargin, page.rightMargin);
    writeDouble(out, record::TopMargin, page.topMargin);
    writeDouble(out, record::BottomMargin, page.bottomMargin);
    if (!page.printerSettings.isEmpty())
        out.write(record::Pls, page.printerSettings);
    writeSetup(out, page);
}

void writeCell(RecordWriter& out, int row, int column, const Cell& cell, const SharedStrings& strings)
{
    const CellPlace at{std::uint16_t(row), std::uint16_t(column), std::uint16_t(cell.formatIndex)};
    const auto* text = std::get_if<QString>(&cell.value);
    if (text && text->size() > kMaxCellText)
        refuse(QStringLiteral("Cell %1 holds %2 characters; a cell holds at most %3.")
                   .arg(cellName({row, column}))
                   .arg(text->size())
                   .arg(kMaxCellText));
    if (!cell.formula.isEmpty()) {
        if (cell.formula.size() > kMaxFormulaTokens)
            refuse(QStringLiteral("The formula of cell %1 is too long to store.").arg(cellName({row, column})));
        const bool textFollows = text && !text->isEmpty();
        writeFormula(out, FormulaRecord{CellRecord{at, cell.value}, cell.formula, textFollows});
        if (textFollows)
            writeStringResult(out, *text);
        return;
    }
    if (const auto* number = std::get_if<double>(&cell.value)) {
        if (const auto rk = rkOf(*number))
            writeRk(out, at, *rk);
        else
            writeNumber(out, at, *number);
    } else if (text) {
        writeLabelSst(out, at, std::uint32_t(strings.indexOf.value(*text)));
    } else if (std::holds_alternative<bool>(cell.value) || std::holds_alternative<ErrorValue>(cell.value)) {
        writeBoolErr(out, at, cell.value);
    } else {
        writeBlank(out, at);
    }
}

constexpr int kRowsPerBlock = 32;

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
        const int blockEnd = (rowIt->first / kRowsPerBlock + 1) * kRowsPerBlock;
        for (auto it = rowIt; it != rowSpans.end() && it->first < blockEnd; ++it) {
            const auto info = sheet.rows.find(it->first);
            RowInfo defaults;
            defaults.heightTwips = sheet.defaultRowHeightTwips;
            writeRow(out,
                     RowRecord{std::uint16_t(it->first), std::uint16_t(it->second.first),
                               std::uint16_t(it->second.second), info == sheet.rows.end() ? defaults : info->second});
        }
        for (; cellIt != sheet.cells.end() && cellIt->first.first < blockEnd; ++cellIt)
            writeCell(out, cellIt->first.first, cellIt->first.second, cellIt->second, strings);
        while (rowIt != rowSpans.end() && rowIt->first < blockEnd)
            ++rowIt;
    }
}

void writeSheetWindow(RecordWriter& out, const SheetWindow& window)
{
    writeWindow2(out, window);
    if (window.zoomPercent != 100)
        writeScl(out, window.zoomPercent);
    writeSelection(out, window);
}

void writeSheet(RecordWriter& out, const Workbook& workbook, const Worksheet& sheet, const SharedStrings& strings)
{
    writeBof(out, kWorksheetSubstream);
    writeCalculationSettings(out, workbook.calculation);
    writeFlag(out, record::PrintHeaders, sheet.page.printHeaders);
    writeFlag(out, record::PrintGridlines, sheet.page.printGridlines);
    writeFlag(out, record::GridSet, true);
    writeGuts(out);
    writeDefaultRowHeight(out, sheet);
    writeWsBool(out, sheet.page.fitToPage);
    writePageSetup(out, sheet.page);
    writeKept(out, sheet.keptBeforeCells);
    writeWord(out, record::DefColWidth, std::uint16_t(sheet.defaultColumnWidth));
    for (const ColumnInfo& column : sheet.columns)
        writeColumnInfo(out, column);
    writeDimensions(out, sheet);
    writeCellTable(out, sheet, strings);
    writeSheetWindow(out, sheet.window);
    writeKept(out, sheet.keptAfterWindow);
    writeIgnoredErrors(out, sheet.ignoredErrors);
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
            if (position.first < 0 || position.first >= kMaxRows || position.second < 0
                || position.second >= kMaxColumns)
                refuse(QStringLiteral("A cell at row %1, column %2 lies outside the sheet.")
                           .arg(position.first + 1)
                           .arg(position.second + 1));
            if (cell.formatIndex < 0 || cell.formatIndex >= workbook.formats.size())
                refuse(QStringLiteral("Cell %1 uses format %2, which does not exist.")
                           .arg(cellName({position.first, position.second}))
                           .arg(cell.formatIndex));
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
