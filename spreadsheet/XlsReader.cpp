// Reads a BIFF8 workbook stream into the model. Every field is checked: a
// file is outside input, and a wrong one must end in a clear error.
#include "spreadsheet/BiffRecords.h"
#include "spreadsheet/EngineErrors.h"
#include "spreadsheet/XlsStream.h"

#include <algorithm>

namespace spreadsheet {
namespace {

using namespace biff;

constexpr int kMostSheets = 1024;

[[noreturn]] void failStream(const QString& what)
{
    fail(QStringLiteral("Workbook stream: %1").arg(what));
}

void expectBof(const Record& record, std::uint16_t substream, const QString& what)
{
    if (record.type != record::Bof)
        failStream(QStringLiteral("%1 does not start with a BOF record (found 0x%2 at offset %3)")
                       .arg(what)
                       .arg(record.type, 4, 16, QLatin1Char('0'))
                       .arg(record.offset));
    const Bof bof = readBof(record);
    if (bof.version != kBiff8)
        failStream(QStringLiteral("%1 is version 0x%2, not BIFF8 (0x0600)")
                       .arg(what)
                       .arg(bof.version, 4, 16, QLatin1Char('0')));
    if (bof.substream != substream)
        failStream(QStringLiteral("%1 is substream type 0x%2, expected 0x%3")
                       .arg(what)
                       .arg(bof.substream, 4, 16, QLatin1Char('0'))
                       .arg(substream, 4, 16, QLatin1Char('0')));
}

KeptRecord kept(const Record& record)
{
    return KeptRecord{record.type, record.body, record.continues};
}

struct Globals {
    Workbook workbook;
    QList<SheetPlace> places;
    QList<QString> strings;
    int activeTab = 0;
};

// The sheets as the BOUNDSHEET records list them, with the active one marked.
void addSheets(Globals& globals)
{
    Workbook& book = globals.workbook;
    book.sheets.reserve(globals.places.size());
    for (const SheetPlace& place : globals.places) {
        Worksheet sheet;
        sheet.name = place.name;
        sheet.state = place.state;
        book.sheets.append(sheet);
    }
    // A tab past the last sheet means the first, as the writer puts it.
    if (!book.sheets.isEmpty())
        book.sheets[globals.activeTab < book.sheets.size() ? globals.activeTab : 0].window.active = true;
}

Globals readGlobals(RecordReader& reader)
{
    Globals globals;
    Workbook& book = globals.workbook;
    expectBof(reader.next(), kGlobalsSubstream, QStringLiteral("the workbook globals"));
    for (;;) {
        if (reader.atEnd())
            failStream(QStringLiteral("the workbook globals have no EOF record"));
        const Record record = reader.next();
        switch (record.type) {
        case record::Eof: addSheets(globals); return globals;
        case record::Template: book.isTemplate = true; break;
        case record::WriteAccess: book.writeAccessUser = readWriteAccess(record); break;
        case record::Window1: {
            const Window1 window = readWindow1(record);
            book.window = window.window;
            globals.activeTab = window.activeTab;
            break;
        }
        case record::DateMode: book.calculation.date1904 = readFlag(record, "DATEMODE"); break;
        case record::Precision: book.calculation.fullPrecision = readFlag(record, "PRECISION"); break;
        case record::Font: book.fonts.append(readFont(record)); break;
        case record::Format: book.numberFormats.append(readNumberFormat(record)); break;
        case record::Xf: book.formats.append(readCellFormat(record)); break;
        case record::Style: book.styles.append(readStyle(record)); break;
        case record::Palette: book.palette = readPalette(record); break;
        case record::BoundSheet:
            if (globals.places.size() >= kMostSheets)
                failStream(QStringLiteral("more than %1 sheets").arg(kMostSheets));
            globals.places.append(readBoundSheet(record));
            break;
        case record::ExternSheet: book.sheetReferences.append(readExternSheet(record)); break;
        case record::Name: book.names.append(readName(record)); break;
        case record::Sst: globals.strings = readSharedStrings(record); break;
        // Written afresh from the model, or of no meaning to it.
        case record::InterfaceHdr:
        case record::Mms:
        case record::InterfaceEnd:
        case record::CodePage:
        case record::Dsf:
        case record::TabId:
        case record::FnGroupCount:
        case record::WindowProtect:
        case record::Protect:
        case record::Password:
        case record::Prot4Rev:
        case record::Prot4RevPass:
        case record::Backup:
        case record::HideObj:
        case record::RefreshAll:
        case record::BookBool:
        case record::UsesElfs:
        case record::Country:
        case record::SupBook:
        case record::ExtSst:
        case record::Index:
        case record::DbCell: break;
        case record::Bof:
            failStream(QStringLiteral("a BOF record at offset %1 inside the workbook globals").arg(record.offset));
        default: book.keptGlobals.append(kept(record)); break;
        }
    }
}

class SheetReader {
public:
    SheetReader(Worksheet& sheet, Workbook& book, const QList<QString>& strings)
        : sheet_(sheet), book_(book), strings_(strings)
    {
    }

    void read(RecordReader& reader);

private:
    Cell& put(const CellRecord& record);
    void put(const QList<CellRecord>& records);
    void putFormula(const Record& record, RecordReader& reader);
    void keep(const Record& record);
    void dropPlainRows();

    Worksheet& sheet_;
    Workbook& book_;
    const QList<QString>& strings_;
    bool pastCells_ = false;
};

Cell& SheetReader::put(const CellRecord& record)
{
    Cell& cell = sheet_.cellAt({record.at.row, record.at.column});
    cell = Cell{record.value, QByteArray(), record.at.format};
    return cell;
}

void SheetReader::put(const QList<CellRecord>& records)
{
    for (const CellRecord& record : records)
        put(record);
}

void SheetReader::putFormula(const Record& record, RecordReader& reader)
{
    FormulaRecord formula = readFormula(record);
    if (formula.textFollows)
        formula.cell.value = readStringResult(record, reader);
    put(formula.cell).formula = formula.tokens;
}

void SheetReader::keep(const Record& record)
{
    (pastCells_ ? sheet_.keptAfterWindow : sheet_.keptBeforeCells).append(kept(record));
}

// A row record that only spans cells says nothing the model keeps. Judged
// once the whole sheet is read: the default height may come after the rows.
void SheetReader::dropPlainRows()
{
    std::erase_if(sheet_.rows, [&](const auto& entry) {
        const RowInfo& info = entry.second;
        return !info.customHeight && !info.hidden && !info.formatIndex
            && info.heightTwips == sheet_.defaultRowHeightTwips;
    });
}

void SheetReader::read(RecordReader& reader)
{
    expectBof(reader.next(), kWorksheetSubstream, QStringLiteral("sheet \"%1\"").arg(sheet_.name));
    CalculationSettings& calculation = book_.calculation;
    PageSetup& page = sheet_.page;
    for (;;) {
        if (reader.atEnd())
            failStream(QStringLiteral("sheet \"%1\" has no EOF record").arg(sheet_.name));
        const Record record = reader.next();
        switch (record.type) {
        case record::Eof: dropPlainRows(); return;
        case record::CalcMode: calculation.automatic = readFlag(record, "CALCMODE"); break;
        case record::CalcCount: calculation.iterationCount = readWord(record, "CALCCOUNT"); break;
        case record::Iteration: calculation.iterate = readFlag(record, "ITERATION"); break;
        case record::Delta: calculation.maxChange = readDouble(record, "DELTA"); break;
        case record::SaveRecalc: calculation.recalculateBeforeSave = readFlag(record, "SAVERECALC"); break;
        case record::PrintHeaders: page.printHeaders = readFlag(record, "PRINTHEADERS"); break;
        case record::PrintGridlines: page.printGridlines = readFlag(record, "PRINTGRIDLINES"); break;
        case record::DefaultRowHeight: readDefaultRowHeight(record, sheet_); break;
        case record::WsBool: page.fitToPage = readWsBool(record); break;
        case record::Header: page.header = readHeaderOrFooter(record, "HEADER"); break;
        case record::Footer: page.footer = readHeaderOrFooter(record, "FOOTER"); break;
        case record::HCenter: page.centreHorizontally = readFlag(record, "HCENTER"); break;
        case record::VCenter: page.centreVertically = readFlag(record, "VCENTER"); break;
        case record::LeftMargin: page.leftMargin = readDouble(record, "LEFTMARGIN"); break;
        case record::RightMargin: page.rightMargin = readDouble(record, "RIGHTMARGIN"); break;
        case record::TopMargin: page.topMargin = readDouble(record, "TOPMARGIN"); break;
        case record::BottomMargin: page.bottomMargin = readDouble(record, "BOTTOMMARGIN"); break;
        case record::Pls: page.printerSettings = record.body; break;
        case record::Setup: readSetup(record, page); break;
        case record::DefColWidth: sheet_.defaultColumnWidth = readWord(record, "DEFCOLWIDTH"); break;
        case record::ColInfo: sheet_.columns.append(readColumnInfo(record)); break;
        case record::Row: {
            const RowRecord row = readRow(record);
            sheet_.rows[row.row] = row.info;
            break;
        }
        case record::Formula: putFormula(record, reader); break;
        case record::Number: put(readNumber(record)); break;
        case record::Rk: put(readRk(record)); break;
        case record::MulRk: put(readMulRk(record)); break;
        case record::LabelSst: put(readLabelSst(record, strings_)); break;
        case record::Label: put(readLabel(record)); break;
        case record::Blank: put(readBlank(record)); break;
        case record::MulBlank: put(readMulBlank(record)); break;
        case record::BoolErr: put(readBoolErr(record)); break;
        case record::Window2:
            readWindow2(record, sheet_.window);
            pastCells_ = true;
            break;
        case record::Scl: sheet_.window.zoomPercent = readScl(record); break;
        case record::Selection: readSelection(record, sheet_.window); break;
        case record::FeatHdr:
        case record::Feat:
            if (!readIgnoredErrors(record, sheet_.ignoredErrors))
                keep(record);
            break;
        case record::String:
            failStream(QStringLiteral("a STRING record at offset %1 follows no formula").arg(record.offset));
        case record::Bof:
            failStream(
                QStringLiteral("a BOF record at offset %1 inside sheet \"%2\"").arg(record.offset).arg(sheet_.name));
        // Written afresh from the model.
        case record::RefMode:
        case record::GridSet:
        case record::Guts:
        case record::Dimensions:
        case record::Index:
        case record::DbCell: break;
        default: keep(record); break;
        }
    }
}
void checkReferences(const Workbook& book)
{
    for (const CellFormat& format : book.formats) {
        if (format.fontIndex >= book.fonts.size())
            failStream(QStringLiteral("a cell format uses font %1, but the workbook has %2")
                           .arg(format.fontIndex)
                           .arg(book.fonts.size()));
        if (!format.isStyle && format.parentStyle >= book.formats.size())
            failStream(QStringLiteral("a cell format's style %1 does not exist").arg(format.parentStyle));
    }
    for (const CellStyle& style : book.styles) {
        if (style.formatIndex >= book.formats.size())
            failStream(QStringLiteral("a cell style uses format %1, which does not exist").arg(style.formatIndex));
    }
    for (const Worksheet& sheet : book.sheets) {
        for (const auto& [position, cell] : sheet.cells) {
            if (cell.formatIndex >= book.formats.size())
                failStream(QStringLiteral("a cell of sheet \"%1\" uses format %2, which does not exist")
                               .arg(sheet.name)
                               .arg(cell.formatIndex));
        }
        for (const ColumnInfo& column : sheet.columns) {
            if (column.formatIndex >= book.formats.size())
                failStream(QStringLiteral("a column of sheet \"%1\" uses format %2, which does not exist")
                               .arg(sheet.name)
                               .arg(column.formatIndex));
        }
        for (const auto& [row, info] : sheet.rows) {
            if (info.formatIndex && *info.formatIndex >= book.formats.size())
                failStream(QStringLiteral("row %1 of sheet \"%2\" uses format %3, which does not exist")
                               .arg(row + 1)
                               .arg(sheet.name)
                               .arg(*info.formatIndex));
        }
    }
}

} // namespace

Workbook readWorkbookStream(const QByteArray& stream)
{
    RecordReader reader(stream);
    Globals globals = readGlobals(reader);
    Workbook& book = globals.workbook;
    for (int i = 0; i < book.sheets.size(); ++i) {
        reader.seek(globals.places[i].offset);
        SheetReader(book.sheets[i], book, globals.strings).read(reader);
    }
    checkReferences(book);
    return book;
}

} // namespace spreadsheet
