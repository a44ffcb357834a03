#pragma once

#include "spreadsheet/BiffStream.h"
#include "spreadsheet/Workbook.h"

#include <QColor>
#include <optional>

// The records of the workbook stream, one pair of functions each: what the
// reader makes of a record, and the record the writer makes of the same
// model fields. Each pair's field layout stands above it in the sources:
// BiffGlobalRecords.cpp, BiffSheetRecords.cpp and BiffCellRecords.cpp.
// Readers throw FileFormatError naming the record, as FieldReader does.
namespace spreadsheet::biff {

// Spreadsheets store no infinities and no NaN; one in a file is damage.
double finite(const FieldReader& in, double value);

// ---------------------------------------------------------------- any substream

inline constexpr std::uint16_t kBiff8 = 0x0600;
inline constexpr std::uint16_t kGlobalsSubstream = 0x0005;
inline constexpr std::uint16_t kWorksheetSubstream = 0x0010;

struct Bof {
    std::uint16_t version = 0;
    std::uint16_t substream = 0;
    friend bool operator==(const Bof&, const Bof&) = default;
};
Bof readBof(const Record& record);
void writeBof(RecordWriter& out, std::uint16_t substream);

// Records of one 16-bit field: a flag (0 or 1), or a count.
bool readFlag(const Record& record, const char* context);
void writeFlag(RecordWriter& out, std::uint16_t type, bool value);
std::uint16_t readWord(const Record& record, const char* context);
void writeWord(RecordWriter& out, std::uint16_t type, std::uint16_t value);
// Records of one finite 64-bit number (DELTA, the margins).
double readDouble(const Record& record, const char* context);
void writeDouble(RecordWriter& out, std::uint16_t type, double value);

// ---------------------------------------------------------------- globals

// Written afresh on every save; the reader passes over them.
void writeInterface(RecordWriter& out); // INTERFACEHDR, MMS, INTERFACEEND
void writeCodePage(RecordWriter& out);
void writeTabIds(RecordWriter& out, qsizetype sheets);
void writeFunctionGroupCount(RecordWriter& out);
void writeCountry(RecordWriter& out);
void writeOwnSupBook(RecordWriter& out, qsizetype sheets);

QString readWriteAccess(const Record& record);
void writeWriteAccess(RecordWriter& out, const QString& user);

struct Window1 {
    WorkbookWindow window;
    int activeTab = 0;
    friend bool operator==(const Window1&, const Window1&) = default;
};
Window1 readWindow1(const Record& record);
void writeWindow1(RecordWriter& out, const Window1& window);

Font readFont(const Record& record);
void writeFont(RecordWriter& out, const Font& font);

NumberFormat readNumberFormat(const Record& record);
void writeNumberFormat(RecordWriter& out, const NumberFormat& format);

CellFormat readCellFormat(const Record& record);
void writeCellFormat(RecordWriter& out, const CellFormat& format);

CellStyle readStyle(const Record& record);
void writeStyle(RecordWriter& out, const CellStyle& style);

QList<QColor> readPalette(const Record& record);
void writePalette(RecordWriter& out, const QList<QColor>& colours);

struct SheetPlace {
    std::uint32_t offset = 0; // of the sheet's BOF in the stream
    SheetState state = SheetState::Visible;
    QString name;
};
SheetPlace readBoundSheet(const Record& record);
// Returns where the offset stands in the stream, to be filled in once known.
qsizetype writeBoundSheet(RecordWriter& out, const SheetPlace& place);

QList<SheetReference> readExternSheet(const Record& record);
void writeExternSheet(RecordWriter& out, const QList<SheetReference>& references);

DefinedName readName(const Record& record);
void writeName(RecordWriter& out, const DefinedName& name);

// SST, with the EXTSST after it when written. `uses` counts the cells that
// use a string; the reader does not keep it.
QList<QString> readSharedStrings(const Record& record);
void writeSharedStrings(RecordWriter& out, const QList<QString>& strings, std::uint32_t uses);

// ---------------------------------------------------------------- sheets

// Written afresh on every save; the reader passes over them.
void writeReferenceMode(RecordWriter& out);
void writeGuts(RecordWriter& out);
void writeDimensions(RecordWriter& out, const Worksheet& sheet);

// DEFAULTROWHEIGHT: the sheet's default row flags and height.
void readDefaultRowHeight(const Record& record, Worksheet& sheet);
void writeDefaultRowHeight(RecordWriter& out, const Worksheet& sheet);

// WSBOOL: whether the sheet prints fitted to pages.
bool readWsBool(const Record& record);
void writeWsBool(RecordWriter& out, bool fitToPage);

QString readHeaderOrFooter(const Record& record, const char* context);
void writeHeaderOrFooter(RecordWriter& out, std::uint16_t type, const QString& text);

// SETUP: the page fields it holds; the others come from their own records.
void readSetup(const Record& record, PageSetup& page);
void writeSetup(RecordWriter& out, const PageSetup& page);

ColumnInfo readColumnInfo(const Record& record);
void writeColumnInfo(RecordWriter& out, const ColumnInfo& column);

// ROW: the span of the row's cells is written from the cells, not kept.
struct RowRecord {
    std::uint16_t row = 0;
    std::uint16_t firstColumn = 0;
    std::uint16_t endColumn = 0; // one past the last
    RowInfo info;
};
RowRecord readRow(const Record& record);
void writeRow(RecordWriter& out, const RowRecord& row);

// WINDOW2: the sheet window's flags and top-left cell. The shown tab comes
// from WINDOW1 and the zoom from SCL; the writer stores both here too.
void readWindow2(const Record& record, SheetWindow& window);
void writeWindow2(RecordWriter& out, const SheetWindow& window);

// SCL: the zoom in percent, 10 to 400.
int readScl(const Record& record);
void writeScl(RecordWriter& out, int zoomPercent);

// SELECTION: the active cell and the selected ranges.
void readSelection(const Record& record, SheetWindow& window);
void writeSelection(RecordWriter& out, const SheetWindow& window);

// FEATHEADR, FEAT: sheet features. Those that exempt ranges from the
// background error check are modelled: the reader appends a FEAT's ranges
// and returns true for them; it returns false for any other kind of feature,
// which the sheet keeps as it came. The writer writes a FEATHEADR, then a FEAT
// for each entry, and nothing when there are none.
bool readIgnoredErrors(const Record& record, QList<IgnoredErrors>& into);
void writeIgnoredErrors(RecordWriter& out, const QList<IgnoredErrors>& ignored);

// ---------------------------------------------------------------- cells

// Where a cell record puts its value: the first six bytes of every one.
struct CellPlace {
    std::uint16_t row = 0;
    std::uint16_t column = 0;
    std::uint16_t format = 0;
};

struct CellRecord {
    CellPlace at;
    Value value;
};

CellRecord readNumber(const Record& record);
void writeNumber(RecordWriter& out, CellPlace at, double value);

// The RK form of a number: whole numbers of 30 bits are the ones written so.
std::optional<std::uint32_t> rkOf(double value);
CellRecord readRk(const Record& record);
QList<CellRecord> readMulRk(const Record& record);
void writeRk(RecordWriter& out, CellPlace at, std::uint32_t rk);

CellRecord readLabelSst(const Record& record, const QList<QString>& strings);
void writeLabelSst(RecordWriter& out, CellPlace at, std::uint32_t stringIndex);

CellRecord readLabel(const Record& record);

CellRecord readBlank(const Record& record);
QList<CellRecord> readMulBlank(const Record& record);
void writeBlank(RecordWriter& out, CellPlace at);

// A boolean or an error value.
CellRecord readBoolErr(const Record& record);
void writeBoolErr(RecordWriter& out, CellPlace at, const Value& value);

// FORMULA: a text result stands in the STRING record that follows, unless empty.
struct FormulaRecord {
    CellRecord cell;
    QByteArray tokens;
    bool textFollows = false;
};
// The most token bytes a FORMULA record holds: it cannot go on in CONTINUE records.
inline constexpr qsizetype kMaxFormulaTokens = RecordWriter::kMaxBody - 22;
FormulaRecord readFormula(const Record& record);
void writeFormula(RecordWriter& out, const FormulaRecord& formula);

// STRING: reads the record after `formula` from the reader.
QString readStringResult(const Record& formula, RecordReader& reader);
void writeStringResult(RecordWriter& out, const QString& text);

} // namespace spreadsheet::biff
