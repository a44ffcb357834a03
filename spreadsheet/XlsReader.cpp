// Reads a BIFF8 workbook stream into the model. Every field is checked: a
// file is outside input, and a wrong one must end in a clear error.
#include "spreadsheet/BiffStream.h"
#include "spreadsheet/XlsStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace spreadsheet {
namespace {

using namespace biff;

constexpr int kMostSheets = 1024;

[[noreturn]] void reject(const QString& what)
{
    throw FileFormatError(QStringLiteral("Workbook stream: %1").arg(what).toStdString());
}

int modelFontIndex(int fileIndex, const char* context, const Record& record)
{
    if (fileIndex == 4)
        FieldReader(record, context).fail(QStringLiteral("it uses font 4, which the format never stores"));
    return fileIndex < 4 ? fileIndex : fileIndex - 1;
}

Font readFont(const Record& record)
{
    FieldReader in(record, "FONT");
    Font font;
    font.heightTwips = in.u16();
    const std::uint16_t options = in.u16();
    font.italic = options & 0x02;
    font.strikeout = options & 0x08;
    font.colourIndex = in.u16();
    font.bold = in.u16() >= 700;
    in.skip(2);
    font.underline = in.u8();
    font.family = in.u8();
    font.charset = in.u8();
    in.skip(1);
    font.name = in.shortString();
    return font;
}

CellFormat readCellFormat(const Record& record)
{
    FieldReader in(record, "XF");
    CellFormat format;
    format.fontIndex = modelFontIndex(in.u16(), "XF", record);
    format.numberFormat = in.u16();
    const std::uint16_t protection = in.u16();
    format.locked = protection & 0x0001;
    format.hidden = protection & 0x0002;
    format.isStyle = protection & 0x0004;
    format.parentStyle = format.isStyle ? 0 : protection >> 4;
    const std::uint8_t alignment = in.u8();
    const auto horizontal = alignment & 0x07;
    format.horizontal = HorizontalAlignment(horizontal == 7 ? 0 : horizontal);
    format.wrap = alignment & 0x08;
    format.vertical = VerticalAlignment(std::min((alignment >> 4) & 0x07, 3));
    in.skip(1);
    format.indent = in.u8() & 0x0F;
    format.attributesSet = in.u8() >> 2;
    const std::uint32_t borders1 = in.u32();
    const std::uint32_t borders2 = in.u32();
    const std::uint16_t fill = in.u16();
    auto line = [](std::uint32_t style, std::uint32_t colour) {
        return BorderLine{LineStyle(std::min<std::uint32_t>(style & 0x0F, 13)), std::uint8_t(colour & 0x7F)};
    };
    format.left = line(borders1, borders1 >> 16);
    format.right = line(borders1 >> 4, borders1 >> 23);
    format.top = line(borders1 >> 8, borders2);
    format.bottom = line(borders1 >> 12, borders2 >> 7);
    format.fillPattern = std::uint8_t((borders2 >> 26) & 0x3F);
    format.fillForeground = std::uint8_t(fill & 0x7F);
    format.fillBackground = std::uint8_t((fill >> 7) & 0x7F);
    return format;
}

CellStyle readStyle(const Record& record)
{
    FieldReader in(record, "STYLE");
    CellStyle style;
    const std::uint16_t reference = in.u16();
    style.formatIndex = reference & 0x0FFF;
    style.builtIn = reference & 0x8000;
    if (style.builtIn) {
        style.builtInId = in.u8();
        style.level = in.u8();
    } else {
        style.name = in.longString();
    }
    return style;
}

QList<QColor> readPalette(const Record& record)
{
    FieldReader in(record, "PALETTE");
    const std::uint16_t count = in.u16();
    if (count > 56)
        in.fail(QStringLiteral("it lists %1 colours; a palette has at most 56").arg(count));
    QList<QColor> colours;
    for (int i = 0; i < count; ++i) {
        const int red = in.u8(), green = in.u8(), blue = in.u8();
        in.skip(1);
        colours.append(QColor(red, green, blue));
    }
    return colours;
}

DefinedName readName(const Record& record)
{
    FieldReader in(record, "NAME");
    DefinedName name;
    const std::uint16_t options = in.u16();
    name.hidden = options & 0x0001;
    name.builtIn = options & 0x0020;
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

QList<QString> readSharedStrings(const Record& record)
{
    FieldReader in(record, "SST");
    in.skip(4);
    const std::uint32_t unique = in.u32();
    QList<QString> strings;
    // Never trust the count for an allocation: each string takes 3 bytes at least.
    strings.reserve(std::min<qsizetype>(unique, in.remaining() / 3));
    for (std::uint32_t i = 0; i < unique; ++i) {
        if (in.atEnd())
            in.fail(QStringLiteral("it promises %1 strings but holds %2").arg(unique).arg(strings.size()));
        strings.append(in.longString());
    }
    return strings;
}

struct SheetPlace {
    std::uint32_t offset;
    SheetState state;
    QString name;
};

SheetPlace readBoundSheet(const Record& record)
{
    FieldReader in(record, "BOUNDSHEET");
    SheetPlace place;
    place.offset = in.u32();
    const std::uint8_t state = in.u8() & 0x03;
    if (state > 2)
        in.fail(QStringLiteral("sheet state %1 is unknown").arg(state));
    place.state = SheetState(state);
    in.skip(1);
    place.name = in.shortString();
    return place;
}

void expectBof(const Record& record, std::uint16_t substream, const QString& what)
{
    if (record.type != record::Bof)
        reject(QStringLiteral("%1 does not start with a BOF record (found 0x%2 at offset %3)")
                   .arg(what).arg(record.type, 4, 16, QLatin1Char('0')).arg(record.offset));
    FieldReader in(record, "BOF");
    const std::uint16_t version = in.u16();
    const std::uint16_t type = in.u16();
    if (version != 0x0600)
        reject(QStringLiteral("%1 is version 0x%2, not BIFF8 (0x0600)").arg(what).arg(version, 4, 16, QLatin1Char('0')));
    if (type != substream)
        reject(QStringLiteral("%1 is substream type 0x%2, expected 0x%3")
                   .arg(what).arg(type, 4, 16, QLatin1Char('0')).arg(substream, 4, 16, QLatin1Char('0')));
}

KeptRecord kept(const Record& record)
{
    return KeptRecord{record.type, record.body, record.continues};
}

bool flagOf(const Record& record, const char* context)
{
    return FieldReader(record, context).u16() != 0;
}

// Spreadsheets store no infinities and no NaN; one in a file is damage.
double finite(const FieldReader& in, double value)
{
    if (!std::isfinite(value))
        in.fail(QStringLiteral("it holds a number that is not finite"));
    return value;
}

double numberOf(const Record& record, const char* context)
{
    FieldReader in(record, context);
    return finite(in, in.f64());
}

struct Globals {
    Workbook workbook;
    QList<SheetPlace> places;
    QList<QString> strings;
};

Globals readGlobals(RecordReader& reader)
{
    Globals globals;
    Workbook& book = globals.workbook;
    expectBof(reader.next(), 0x0005, QStringLiteral("the workbook globals"));
    int activeTab = 0;
    for (;;) {
        if (reader.atEnd())
            reject(QStringLiteral("the workbook globals have no EOF record"));
        const Record record = reader.next();
        switch (record.type) {
        case record::Eof:
            book.sheets.reserve(globals.places.size());
            for (const SheetPlace& place : globals.places) {
                Worksheet sheet;
                sheet.name = place.name;
                sheet.state = place.state;
                book.sheets.append(sheet);
            }
            // A tab past the last sheet means the first, as the writer puts it.
            if (!book.sheets.isEmpty())
                book.sheets[activeTab < book.sheets.size() ? activeTab : 0].window.active = true;
            return globals;
        case record::Template: book.isTemplate = true; break;
        case record::WriteAccess: {
            FieldReader in(record, "WRITEACCESS");
            book.writeAccessUser = in.remaining() >= 3 ? in.longString().trimmed() : QString();
            break;
        }
        case record::Window1: {
            FieldReader in(record, "WINDOW1");
            WorkbookWindow& w = book.window;
            w.left = in.u16(); w.top = in.u16(); w.width = in.u16(); w.height = in.u16();
            const std::uint16_t flags = in.u16();
            w.hidden = flags & 0x01;
            w.showHorizontalScroll = flags & 0x08;
            w.showVerticalScroll = flags & 0x10;
            w.showTabs = flags & 0x20;
            activeTab = in.u16();
            w.firstVisibleTab = in.u16();
            in.skip(2);
            w.tabRatio = in.u16();
            break;
        }
        case record::DateMode: book.calculation.date1904 = flagOf(record, "DATEMODE"); break;
        case record::Precision: book.calculation.fullPrecision = flagOf(record, "PRECISION"); break;
        case record::Font: book.fonts.append(readFont(record)); break;
        case record::Format: {
            FieldReader in(record, "FORMAT");
            NumberFormat format;
            format.id = in.u16();
            format.code = in.longString();
            book.numberFormats.append(format);
            break;
        }
        case record::Xf: book.formats.append(readCellFormat(record)); break;
        case record::Style: book.styles.append(readStyle(record)); break;
        case record::Palette: book.palette = readPalette(record); break;
        case record::BoundSheet:
            if (globals.places.size() >= kMostSheets)
                reject(QStringLiteral("more than %1 sheets").arg(kMostSheets));
            globals.places.append(readBoundSheet(record));
            break;
        case record::ExternSheet: {
            FieldReader in(record, "EXTERNSHEET");
            const std::uint16_t count = in.u16();
            for (int i = 0; i < count; ++i) {
                in.skip(2);
                SheetReference reference;
                reference.firstSheet = in.u16();
                reference.lastSheet = in.u16();
                book.sheetReferences.append(reference);
            }
            break;
        }
        case record::Name: book.names.append(readName(record)); break;
        case record::Sst: globals.strings = readSharedStrings(record); break;
        // Written afresh from the model, or of no meaning to it.
        case record::InterfaceHdr: case record::Mms: case record::InterfaceEnd: case record::CodePage:
        case record::Dsf: case record::TabId: case record::FnGroupCount: case record::WindowProtect:
        case record::Protect: case record::Password: case record::Prot4Rev: case record::Prot4RevPass:
        case record::Backup: case record::HideObj: case record::RefreshAll: case record::BookBool:
        case record::UsesElfs: case record::Country: case record::SupBook: case record::ExtSst:
        case record::Index: case record::DbCell:
            break;
        case record::Bof:
            reject(QStringLiteral("a BOF record at offset %1 inside the workbook globals").arg(record.offset));
        default: book.keptGlobals.append(kept(record)); break;
        }
    }
}

double rkValue(std::uint32_t rk)
{
    double value;
    if (rk & 0x02) {
        value = double(std::int32_t(rk) >> 2);
    } else {
        const std::uint64_t bits = std::uint64_t(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

class SheetReader {
public:
    SheetReader(Worksheet& sheet, Workbook& book, const QList<QString>& strings)
        : sheet_(sheet), book_(book), strings_(strings) {}

    void read(RecordReader& reader);

private:
    Cell& cellFor(FieldReader& in, std::uint16_t row, std::uint16_t column, std::uint16_t format);
    void readCellRecord(const Record& record);
    void readFormula(const Record& record, RecordReader& reader);
    void dropPlainRows();

    Worksheet& sheet_;
    Workbook& book_;
    const QList<QString>& strings_;
    bool pastCells_ = false;
};

Cell& SheetReader::cellFor(FieldReader& in, std::uint16_t row, std::uint16_t column, std::uint16_t format)
{
    if (column >= kMaxColumns)
        in.fail(QStringLiteral("column %1 lies outside the sheet").arg(column + 1));
    Cell& cell = sheet_.cellAt({row, column});
    cell = Cell{};
    cell.formatIndex = format;
    return cell;
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

void SheetReader::readCellRecord(const Record& record)
{
    switch (record.type) {
    case record::Number: {
        FieldReader in(record, "NUMBER");
        const std::uint16_t row = in.u16(), column = in.u16(), format = in.u16();
        cellFor(in, row, column, format).value = finite(in, in.f64());
        break;
    }
    case record::Rk: {
        FieldReader in(record, "RK");
        const std::uint16_t row = in.u16(), column = in.u16(), format = in.u16();
        cellFor(in, row, column, format).value = finite(in, rkValue(in.u32()));
        break;
    }
    case record::MulRk: {
        FieldReader in(record, "MULRK");
        const std::uint16_t row = in.u16();
        std::uint16_t column = in.u16();
        if (in.remaining() < 2 || (in.remaining() - 2) % 6 != 0)
            in.fail(QStringLiteral("its length does not fit whole cells"));
        while (in.remaining() > 2) {
            const std::uint16_t format = in.u16();
            cellFor(in, row, column++, format).value = finite(in, rkValue(in.u32()));
        }
        break;
    }
    case record::LabelSst: {
        FieldReader in(record, "LABELSST");
        const std::uint16_t row = in.u16(), column = in.u16(), format = in.u16();
        const std::uint32_t index = in.u32();
        if (index >= std::uint32_t(strings_.size()))
            in.fail(QStringLiteral("string %1 does not exist (the table holds %2)").arg(index).arg(strings_.size()));
        cellFor(in, row, column, format).value = strings_[index];
        break;
    }
    case record::Label: {
        FieldReader in(record, "LABEL");
        const std::uint16_t row = in.u16(), column = in.u16(), format = in.u16();
        cellFor(in, row, column, format).value = in.longString();
        break;
    }
    case record::Blank: {
        FieldReader in(record, "BLANK");
        const std::uint16_t row = in.u16(), column = in.u16(), format = in.u16();
        cellFor(in, row, column, format);
        break;
    }
    case record::MulBlank: {
        FieldReader in(record, "MULBLANK");
        const std::uint16_t row = in.u16();
        std::uint16_t column = in.u16();
        if (in.remaining() < 2 || in.remaining() % 2 != 0)
            in.fail(QStringLiteral("its length does not fit whole cells"));
        while (in.remaining() > 2)
            cellFor(in, row, column++, in.u16());
        break;
    }
    case record::BoolErr: {
        FieldReader in(record, "BOOLERR");
        const std::uint16_t row = in.u16(), column = in.u16(), format = in.u16();
        const std::uint8_t value = in.u8();
        const bool isError = in.u8();
        Cell& cell = cellFor(in, row, column, format);
        if (isError)
            cell.value = ErrorValue(value);
        else
            cell.value = value != 0;
        break;
    }
    default: break;
    }
}

void SheetReader::readFormula(const Record& record, RecordReader& reader)
{
    FieldReader in(record, "FORMULA");
    const std::uint16_t row = in.u16(), column = in.u16(), format = in.u16();
    const QByteArray result = in.bytes(8);
    in.skip(2 + 4);
    const std::uint16_t size = in.u16();
    Cell& cell = cellFor(in, row, column, format);
    cell.formula = in.bytes(size);
    const auto* r = reinterpret_cast<const uchar*>(result.constData());
    if (r[6] != 0xFF || r[7] != 0xFF) {
        double number;
        std::memcpy(&number, r, sizeof number);
        cell.value = finite(in, number);
        return;
    }
    switch (r[0]) {
    case 0: {
        // The text follows in a STRING record.
        if (reader.atEnd())
            in.fail(QStringLiteral("a text result has no STRING record after it"));
        const Record text = reader.next();
        if (text.type != record::String)
            in.fail(QStringLiteral("a text result is followed by record 0x%1, not STRING")
                        .arg(text.type, 4, 16, QLatin1Char('0')));
        FieldReader textIn(text, "STRING");
        cell.value = textIn.longString();
        break;
    }
    case 1: cell.value = r[2] != 0; break;
    case 2: cell.value = ErrorValue(r[2]); break;
    case 3: cell.value = QString(); break;
    default: in.fail(QStringLiteral("result kind %1 is unknown").arg(r[0]));
    }
}

void SheetReader::read(RecordReader& reader)
{
    expectBof(reader.next(), 0x0010, QStringLiteral("sheet \"%1\"").arg(sheet_.name));
    for (;;) {
        if (reader.atEnd())
            reject(QStringLiteral("sheet \"%1\" has no EOF record").arg(sheet_.name));
        const Record record = reader.next();
        switch (record.type) {
        case record::Eof: dropPlainRows(); return;
        case record::CalcMode: book_.calculation.automatic = FieldReader(record, "CALCMODE").u16() != 0; break;
        case record::CalcCount: book_.calculation.iterationCount = FieldReader(record, "CALCCOUNT").u16(); break;
        case record::Iteration: book_.calculation.iterate = flagOf(record, "ITERATION"); break;
        case record::Delta: book_.calculation.maxChange = numberOf(record, "DELTA"); break;
        case record::SaveRecalc: book_.calculation.recalculateBeforeSave = flagOf(record, "SAVERECALC"); break;
        case record::PrintHeaders: sheet_.page.printHeaders = flagOf(record, "PRINTHEADERS"); break;
        case record::PrintGridlines: sheet_.page.printGridlines = flagOf(record, "PRINTGRIDLINES"); break;
        case record::DefaultRowHeight: {
            FieldReader in(record, "DEFAULTROWHEIGHT");
            sheet_.defaultRowFlags = in.u16();
            sheet_.defaultRowHeightTwips = in.u16() & 0x7FFF; // as row heights: 15 bits
            break;
        }
        case record::WsBool: sheet_.page.fitToPage = FieldReader(record, "WSBOOL").u16() & 0x0100; break;
        case record::Header: {
            FieldReader in(record, "HEADER");
            sheet_.page.header = in.atEnd() ? QString() : in.longString();
            break;
        }
        case record::Footer: {
            FieldReader in(record, "FOOTER");
            sheet_.page.footer = in.atEnd() ? QString() : in.longString();
            break;
        }
        case record::HCenter: sheet_.page.centreHorizontally = flagOf(record, "HCENTER"); break;
        case record::VCenter: sheet_.page.centreVertically = flagOf(record, "VCENTER"); break;
        case record::LeftMargin: sheet_.page.leftMargin = numberOf(record, "LEFTMARGIN"); break;
        case record::RightMargin: sheet_.page.rightMargin = numberOf(record, "RIGHTMARGIN"); break;
        case record::TopMargin: sheet_.page.topMargin = numberOf(record, "TOPMARGIN"); break;
        case record::BottomMargin: sheet_.page.bottomMargin = numberOf(record, "BOTTOMMARGIN"); break;
        case record::Pls: sheet_.page.printerSettings = record.body; break;
        case record::Setup: {
            FieldReader in(record, "SETUP");
            PageSetup& page = sheet_.page;
            page.paperSize = in.u16(); page.scale = in.u16(); page.firstPageNumber = in.u16();
            page.fitWidth = in.u16(); page.fitHeight = in.u16();
            const std::uint16_t flags = in.u16();
            page.portrait = flags & 0x0002;
            page.settingsValid = !(flags & 0x0004);
            page.horizontalDpi = in.u16(); page.verticalDpi = in.u16();
            page.headerMargin = finite(in, in.f64());
            page.footerMargin = finite(in, in.f64());
            page.copies = in.u16();
            break;
        }
        case record::DefColWidth: sheet_.defaultColumnWidth = FieldReader(record, "DEFCOLWIDTH").u16(); break;
        case record::ColInfo: {
            FieldReader in(record, "COLINFO");
            ColumnInfo column;
            column.first = in.u16(); column.last = in.u16();
            column.width = in.u16(); column.formatIndex = in.u16();
            column.hidden = in.u16() & 0x0001;
            // Excel and LibreOffice end a range that runs to the sheet's edge
            // at 256, one past the last column.
            if (column.last == kMaxColumns && column.first < kMaxColumns)
                column.last = kMaxColumns - 1;
            if (column.first > column.last || column.last >= kMaxColumns)
                in.fail(QStringLiteral("columns %1 to %2 are not a range of the sheet").arg(column.first).arg(column.last));
            sheet_.columns.append(column);
            break;
        }
        case record::Row: {
            FieldReader in(record, "ROW");
            const std::uint16_t row = in.u16();
            in.skip(4);
            RowInfo info;
            info.heightTwips = in.u16() & 0x7FFF;
            in.skip(4);
            const std::uint32_t options = in.u32();
            info.hidden = options & 0x20;
            info.customHeight = options & 0x40;
            if (options & 0x80)
                info.formatIndex = int((options >> 16) & 0x0FFF);
            sheet_.rows[row] = info;
            break;
        }
        case record::Formula: readFormula(record, reader); break;
        case record::Number: case record::Rk: case record::MulRk: case record::LabelSst: case record::Label:
        case record::Blank: case record::MulBlank: case record::BoolErr:
            readCellRecord(record);
            break;
        case record::Window2: {
            FieldReader in(record, "WINDOW2");
            SheetWindow& w = sheet_.window;
            const std::uint16_t flags = in.u16();
            w.showFormulas = flags & 0x0001;
            w.showGridlines = flags & 0x0002;
            w.showHeaders = flags & 0x0004;
            w.showZeros = flags & 0x0010;
            w.selected = flags & 0x0200;
            w.topLeft.row = in.u16();
            w.topLeft.column = std::min<int>(in.u16(), kMaxColumns - 1);
            pastCells_ = true;
            break;
        }
        case record::Scl: {
            FieldReader in(record, "SCL");
            const int numerator = in.u16(), denominator = in.u16();
            if (denominator == 0)
                in.fail(QStringLiteral("the zoom has a denominator of 0"));
            // Spreadsheet programs zoom from 10 to 400 %; a value outside
            // that is read as the nearest one rather than refused.
            sheet_.window.zoomPercent = std::clamp(int(std::lround(100.0 * numerator / denominator)), 10, 400);
            break;
        }
        case record::Selection: {
            FieldReader in(record, "SELECTION");
            in.skip(1);
            sheet_.window.activeCell.row = in.u16();
            sheet_.window.activeCell.column = std::min<int>(in.u16(), kMaxColumns - 1);
            in.skip(2);
            const std::uint16_t count = in.u16();
            QList<RangeAddress> ranges;
            for (int i = 0; i < count; ++i) {
                RangeAddress range;
                range.first.row = in.u16(); range.last.row = in.u16();
                range.first.column = in.u8(); range.last.column = in.u8();
                ranges.append(range);
            }
            const CellAddress active = sheet_.window.activeCell;
            if (!(ranges.size() == 1 && ranges[0].first == active && ranges[0].last == active))
                sheet_.window.selection = ranges;
            break;
        }
        case record::String:
            reject(QStringLiteral("a STRING record at offset %1 follows no formula").arg(record.offset));
        case record::Bof:
            reject(QStringLiteral("a BOF record at offset %1 inside sheet \"%2\"").arg(record.offset).arg(sheet_.name));
        // Written afresh from the model.
        case record::RefMode: case record::GridSet: case record::Guts: case record::Dimensions:
        case record::Index: case record::DbCell:
            break;
        default:
            (pastCells_ ? sheet_.keptAfterWindow : sheet_.keptBeforeCells).append(kept(record));
            break;
        }
    }
}

void checkReferences(const Workbook& book)
{
    for (const CellFormat& format : book.formats) {
        if (format.fontIndex >= book.fonts.size())
            reject(QStringLiteral("a cell format uses font %1, but the workbook has %2").arg(format.fontIndex).arg(book.fonts.size()));
        if (!format.isStyle && format.parentStyle >= book.formats.size())
            reject(QStringLiteral("a cell format's style %1 does not exist").arg(format.parentStyle));
    }
    for (const CellStyle& style : book.styles) {
        if (style.formatIndex >= book.formats.size())
            reject(QStringLiteral("a cell style uses format %1, which does not exist").arg(style.formatIndex));
    }
    for (const Worksheet& sheet : book.sheets) {
        for (const auto& [position, cell] : sheet.cells) {
            if (cell.formatIndex >= book.formats.size())
                reject(QStringLiteral("a cell of sheet \"%1\" uses format %2, which does not exist")
                           .arg(sheet.name).arg(cell.formatIndex));
        }
        for (const ColumnInfo& column : sheet.columns) {
            if (column.formatIndex >= book.formats.size())
                reject(QStringLiteral("a column of sheet \"%1\" uses format %2, which does not exist")
                           .arg(sheet.name).arg(column.formatIndex));
        }
        for (const auto& [row, info] : sheet.rows) {
            if (info.formatIndex && *info.formatIndex >= book.formats.size())
                reject(QStringLiteral("row %1 of sheet \"%2\" uses format %3, which does not exist")
                           .arg(row + 1).arg(sheet.name).arg(*info.formatIndex));
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
