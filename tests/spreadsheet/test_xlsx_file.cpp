// The engine's workbooks written as .xlsx through libxlsxwriter. Programs
// written elsewhere judge them against the .xls of the same workbook:
// Gnumeric and LibreOffice must compute the same sheet from both, and
// openpyxl must read from the .xlsx the dress xlrd reads from the .xls.
#include "resources/TemplateWorkbook.h"
#include "spreadsheet/Formula.h"
#include "spreadsheet/Recalculation.h"
#include "spreadsheet/XlsFile.h"
#include "spreadsheet/XlsxFile.h"
#include "tests/support/Csv.h"
#include "tests/support/OutsidePrograms.h"
#include "tests/support/SampleBalanceSheet.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace spreadsheet;
using testing::HasSubstr;

static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
static void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[' << list.join(QStringLiteral(" | ")).toStdString() << ']';
}
static void PrintTo(const QJsonValue& value, std::ostream* out)
{
    *out << QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

using sample::Amounts;
using sample::withStaleResults;
using Grid = testing_support::CsvGrid;

Workbook filledCopy(const Amounts& amounts)
{
    return sample::filledWorkbook(readXlsFile(resources::templateWorkbook()), amounts);
}

// ---------------------------------------------------------------- the dressed workbook

constexpr int kRed = 10, kBlue = 12, kYellow = 13, kGreen = 17, kCustom = 63;

// The filled sample with the dress and values the sample itself lacks, and
// a third sheet, hidden, whose name needs quoting.
Workbook dressedWorkbook()
{
    Workbook book = filledCopy(sample::sampleAmounts());
    (*book.palette)[kCustom - 8] = QColor(0x12, 0x34, 0x56);

    Font odd;
    odd.name = QStringLiteral("Times New Roman");
    odd.heightTwips = 280;
    odd.italic = true;
    odd.strikeout = true;
    odd.underline = 2; // double
    odd.colourIndex = kRed;
    book.fonts.append(odd);
    book.numberFormats.append({165, QStringLiteral("0.000%")});
    CellFormat dressed = book.formats[15];
    dressed.fontIndex = int(book.fonts.size() - 1);
    dressed.numberFormat = 165;
    dressed.fillPattern = 15; // light grid
    dressed.fillForeground = kBlue;
    dressed.fillBackground = kYellow;
    dressed.left = {LineStyle::Dashed, kRed};
    dressed.right = {LineStyle::Double, kGreen};
    dressed.top = {LineStyle::Hair, 8};
    dressed.bottom = {LineStyle::Medium, kCustom};
    dressed.horizontal = HorizontalAlignment::Right;
    dressed.vertical = VerticalAlignment::Top;
    dressed.wrap = true;
    dressed.locked = false;
    dressed.hidden = true;
    book.formats.append(dressed);
    const int dressedIndex = int(book.formats.size() - 1);

    Worksheet& sheet = book.sheets[0];
    auto put = [&](const char* a1, Value value, int format = 15) {
        sheet.cellAt(cellAddress(QLatin1String(a1))) = Cell{std::move(value), {}, format};
    };
    auto formula = [&](const char* a1, const char* text) {
        const CellAddress at = cellAddress(QLatin1String(a1));
        sheet.cellAt(at) = Cell{Empty{}, formula::compile(QLatin1String(text), at), 15};
    };
    put("K2", 0.1234, dressedIndex);
    put("K3", true);
    put("K4", ErrorValue::NA);
    put("K5", Empty{}, dressedIndex);
    formula("K6", "=ISBLANK(K5)");
    formula("K7", "=IF(D17,\"shown\",\"none\")");
    formula("K8", "=D17/0");
    // Column L hidden; row 34 hidden.
    sheet.columns.back().last = 10;
    sheet.columns.append(ColumnInfo{11, 11, 3000, 15, true});
    sheet.columns.append(ColumnInfo{12, kMaxColumns - 1, 2340, 15, false});
    sheet.rows[33] = RowInfo{255, false, true, std::nullopt};

    Worksheet notes;
    notes.name = QStringLiteral("Bob's Notes");
    notes.state = SheetState::Hidden;
    notes.cellAt(cellAddress(QStringLiteral("A1"))) = Cell{QStringLiteral("a note"), {}, 15};
    notes.window.zoomPercent = 150;
    notes.window.showZeros = false;
    notes.window.activeCell = cellAddress(QStringLiteral("F8"));
    notes.window.selection = {{cellAddress(QStringLiteral("D4")), cellAddress(QStringLiteral("F8"))}};
    PageSetup& page = notes.page;
    page.paperSize = 9; // A4
    page.portrait = false;
    page.scale = 80;
    page.leftMargin = 0.4;
    page.rightMargin = 0.5;
    page.topMargin = 0.6;
    page.bottomMargin = 0.7;
    page.headerMargin = 0.2;
    page.footerMargin = 0.25;
    page.centreVertically = true;
    page.printGridlines = true;
    page.printHeaders = true;
    page.firstPageNumber = 3;
    page.header = QStringLiteral("&LLeft&CCentre&RRight");
    page.footer = QStringLiteral("Page &P of &N");
    book.sheets.append(notes);
    book.sheetReferences.append(SheetReference{2, 2});
    const int notesList = int(book.sheetReferences.size() - 1);
    book.names.append(
        DefinedName{QStringLiteral("Local"), 3, false, false, formula::sheetAreaName(notesList, {{0, 0}, {1, 2}})});
    recalculate(book);
    return book;
}

// ---------------------------------------------------------------- files and programs

// The shared runners of outside programs, by this file's names.
using testing_support::ProgramRun;
constexpr auto writeWorkbook = &testing_support::writeInteropFile;
constexpr auto run = &testing_support::runProgram;

// ssconvert's recalculated CSV of the balance sheet.
std::optional<Grid> gnumericCsv(const QString& path)
{
    return testing_support::gnumericCsv(path, true);
}
using testing_support::libreOfficeCsv;

// The totals the engine stored, as a CSV of raw values shows them.
void expectStoredTotals(const Grid& grid, const Worksheet& truth, const char* program)
{
    int formulas = 0;
    for (const auto& [position, cell] : truth.cells) {
        if (cell.formula.isEmpty())
            continue;
        ++formulas;
        const QString field = testing_support::csvField(grid, position.first, position.second);
        const QString where = cellName({position.first, position.second});
        if (const auto* number = std::get_if<double>(&cell.value))
            EXPECT_EQ(field.toDouble(), *number) << program << ", " << where.toStdString();
        else
            EXPECT_EQ(field, std::get<QString>(cell.value)) << program << ", " << where.toStdString();
    }
    EXPECT_GT(formulas, 0);
}

// ---------------------------------------------------------------- recalculation

struct Case {
    const char* name;
    Amounts amounts;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

std::vector<Case> cases()
{
    return {
        {"Sample", sample::sampleAmounts()},
        {"Empty", {}},
        {"NegativeDeduction", {{"D21", 550000}, {"D22", -43000}, {"D23", 110000}, {"D24", 8000}, {"H25", 248000}}},
    };
}

class RecalculationInterop : public testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        book = filledCopy(GetParam().amounts);
        const QString name = QLatin1String(GetParam().name);
        xlsPath = writeWorkbook(name + QStringLiteral(".xls"), writeXlsFile(book));
        // Results no program would compute: what shows was computed from
        // the .xlsx's formulas.
        xlsxPath = writeWorkbook(name + QStringLiteral(".xlsx"), writeXlsxFile(withStaleResults(book)));
    }
    Workbook book;
    QString xlsPath, xlsxPath;
};

TEST_P(RecalculationInterop, GnumericComputesFromTheXlsxWhatItComputesFromTheXls)
{
    const std::optional<Grid> fromXls = gnumericCsv(xlsPath);
    const std::optional<Grid> fromXlsx = gnumericCsv(xlsxPath);
    ASSERT_TRUE(fromXls && fromXlsx);
    EXPECT_EQ(*fromXlsx, *fromXls);
    expectStoredTotals(*fromXlsx, book.sheets[0], "Gnumeric");
}

TEST_P(RecalculationInterop, LibreOfficeComputesFromTheXlsxWhatItComputesFromTheXls)
{
    const std::optional<Grid> fromXls = libreOfficeCsv(xlsPath);
    const std::optional<Grid> fromXlsx = libreOfficeCsv(xlsxPath);
    ASSERT_TRUE(fromXls && fromXlsx);
    EXPECT_EQ(*fromXlsx, *fromXls);
    expectStoredTotals(*fromXlsx, book.sheets[0], "LibreOffice");
}

std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Amounts, RecalculationInterop, testing::ValuesIn(cases()), caseName);

// ---------------------------------------------------------------- the dress, as xlrd and openpyxl read it

class DressInterop : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        book = new Workbook(dressedWorkbook());
        const QString xls = writeWorkbook(QStringLiteral("dressed.xls"), writeXlsFile(*book));
        const QString xlsx = writeWorkbook(QStringLiteral("dressed.xlsx"), writeXlsxFile(*book));
        const ProgramRun result = run(QStringLiteral("/usr/bin/python3"), // the one with xlrd and openpyxl
                                      {QStringLiteral(CORVANTIS_CHECK_XLSX_SCRIPT), xls, xlsx}, 60);
        EXPECT_TRUE(result.problem.isEmpty()) << result.problem.toStdString();
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        QJsonParseError error;
        const QJsonObject both = QJsonDocument::fromJson(result.out, &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << result.out.left(300).toStdString();
        xlrd = new QJsonObject(both[QStringLiteral("xls")].toObject());
        openpyxl = new QJsonObject(both[QStringLiteral("xlsx")].toObject());
    }
    static void TearDownTestSuite()
    {
        delete book;
        delete xlrd;
        delete openpyxl;
        book = nullptr;
        xlrd = openpyxl = nullptr;
    }
    static QJsonValue fromXls(const char* key) { return (*xlrd)[QLatin1String(key)]; }
    static QJsonValue fromXlsx(const char* key) { return (*openpyxl)[QLatin1String(key)]; }

    static Workbook* book;
    static QJsonObject* xlrd;
    static QJsonObject* openpyxl;
};
Workbook* DressInterop::book = nullptr;
QJsonObject* DressInterop::xlrd = nullptr;
QJsonObject* DressInterop::openpyxl = nullptr;

TEST_F(DressInterop, SheetsKeepTheirNamesAndStates)
{
    const QJsonArray xls = fromXls("sheets").toArray();
    const QJsonArray xlsx = fromXlsx("sheets").toArray();
    ASSERT_EQ(xls.size(), 3);
    ASSERT_EQ(xlsx.size(), xls.size());
    EXPECT_EQ(xls[1][QStringLiteral("state")], QStringLiteral("veryHidden"));
    EXPECT_EQ(xls[2][QStringLiteral("state")], QStringLiteral("hidden"));
    for (qsizetype i = 0; i < xls.size(); ++i) {
        EXPECT_EQ(xlsx[i][QStringLiteral("name")], xls[i][QStringLiteral("name")]);
        // libxlsxwriter 1.1.4 writes a very hidden sheet as hidden.
        const QJsonValue state = xls[i][QStringLiteral("state")] == QStringLiteral("veryHidden")
            ? QJsonValue(QStringLiteral("hidden"))
            : xls[i][QStringLiteral("state")];
        EXPECT_EQ(xlsx[i][QStringLiteral("state")], state) << i;
    }
}

TEST_F(DressInterop, EveryCellKeepsItsFontFillBordersNumberFormatAlignmentAndProtection)
{
    const QJsonObject xls = fromXls("cells").toObject();
    const QJsonObject xlsx = fromXlsx("cells").toObject();
    // The blank cells with formats are there too.
    EXPECT_EQ(xlsx.keys(), xls.keys());
    EXPECT_TRUE(xls.contains(QStringLiteral("Balance Sheet!K5")));
    for (const QString& cell : xls.keys()) {
        for (const char* aspect : {"font", "fill", "borders", "format", "align", "locked", "hidden"}) {
            EXPECT_EQ(xlsx[cell][QLatin1String(aspect)], xls[cell][QLatin1String(aspect)])
                << cell.toStdString() << ", " << aspect;
        }
    }
    // The dress the sample lacks came across as meant, not only alike.
    const QJsonObject dressed = xlsx[QStringLiteral("Balance Sheet!K2")].toObject();
    EXPECT_EQ(dressed[QStringLiteral("font")],
              QJsonObject({{"name", "Times New Roman"},
                           {"size", 14},
                           {"bold", false},
                           {"italic", true},
                           {"underline", "double"},
                           {"strike", true},
                           {"colour", "FF0000"}}));
    EXPECT_EQ(dressed[QStringLiteral("fill")],
              QJsonObject({{"pattern", "lightGrid"}, {"fg", "0000FF"}, {"bg", "FFFF00"}}));
    EXPECT_EQ(dressed[QStringLiteral("borders")][QStringLiteral("bottom")],
              QJsonObject({{"style", "medium"}, {"colour", "123456"}}));
    EXPECT_EQ(dressed[QStringLiteral("format")], QStringLiteral("0.000%"));
    EXPECT_EQ(dressed[QStringLiteral("locked")], false);
    EXPECT_EQ(xlsx[QStringLiteral("Balance Sheet!D17")][QStringLiteral("fill")][QStringLiteral("fg")],
              QStringLiteral("FFFFC0")); // the workbook's own palette
}

TEST_F(DressInterop, ValuesAndFormulasAreThoseStored)
{
    const QJsonObject xls = fromXls("cells").toObject();
    const QJsonObject xlsx = fromXlsx("cells").toObject();
    for (const QString& cell : xls.keys()) {
        const QJsonArray value = xls[cell][QStringLiteral("value")].toArray();
        QJsonArray expected = value;
        // libxlsxwriter stores a formula's boolean or error result, and an
        // error value, as text.
        if (value[0] == QStringLiteral("bool") && xlsx[cell][QStringLiteral("formula")].isString())
            expected = {QStringLiteral("text"), value[1].toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE")};
        if (value[0] == QStringLiteral("error"))
            expected = {QStringLiteral("text"), value[1]};
        EXPECT_EQ(xlsx[cell][QStringLiteral("value")], expected) << cell.toStdString();
    }
    EXPECT_EQ(xls[QStringLiteral("Balance Sheet!K4")][QStringLiteral("value")],
              QJsonArray({QStringLiteral("error"), QStringLiteral("#N/A")}));
    EXPECT_EQ(xlsx[QStringLiteral("Balance Sheet!K4")][QStringLiteral("formula")], QStringLiteral("=#N/A"));
    for (const auto& [position, cell] : book->sheets[0].cells) {
        if (cell.formula.isEmpty())
            continue;
        const CellAddress at{position.first, position.second};
        EXPECT_EQ(xlsx[QStringLiteral("Balance Sheet!") + cellName(at)][QStringLiteral("formula")],
                  formula::decompile(cell.formula, at))
            << cellName(at).toStdString();
    }
}

TEST_F(DressInterop, ColumnWidthsAndHiddenColumns)
{
    const QJsonObject xls = fromXls("columns").toObject();
    const QJsonObject xlsx = fromXlsx("columns").toObject();
    for (const QString& sheet : xls.keys())
        EXPECT_EQ(xlsx[sheet], xls[sheet]) << sheet.toStdString();
    EXPECT_EQ(xlsx[QStringLiteral("Balance Sheet")][QStringLiteral("2")],
              QJsonObject({{"pixels", 213}, {"hidden", false}}));
    EXPECT_EQ(xlsx[QStringLiteral("Balance Sheet")][QStringLiteral("11")][QStringLiteral("hidden")], true);
}

TEST_F(DressInterop, CustomRowHeightsAndHiddenRows)
{
    const QJsonObject xls = fromXls("rows").toObject();
    const QJsonObject xlsx = fromXlsx("rows").toObject();
    for (const QString& sheet : xls.keys())
        EXPECT_EQ(xlsx[sheet], xls[sheet]) << sheet.toStdString();
    EXPECT_EQ(xlsx[QStringLiteral("Balance Sheet")][QStringLiteral("16")],
              QJsonObject({{"height", 21}, {"hidden", false}}));
    EXPECT_EQ(xlsx[QStringLiteral("Balance Sheet")][QStringLiteral("33")][QStringLiteral("hidden")], true);
}

TEST_F(DressInterop, DefinedNamesWithTheirScopes)
{
    auto sorted = [](const QJsonArray& names) {
        QStringList lines;
        for (const QJsonValue& name : names)
            lines << QString::fromUtf8(QJsonDocument(name.toArray()).toJson(QJsonDocument::Compact));
        lines.sort();
        return lines;
    };
    QStringList xls = sorted(fromXls("names").toArray());
    ASSERT_EQ(xls.size(), 12);
    // xlrd cannot evaluate a name of a deleted sheet's cells; the .xlsx
    // keeps the name, as #REF!.
    const QString deleted = QStringLiteral(R"(["IntroPrintArea",-1,"?",false])");
    ASSERT_TRUE(xls.contains(deleted));
    xls.replace(xls.indexOf(deleted), QStringLiteral(R"(["IntroPrintArea",-1,"#REF!",false])"));
    EXPECT_EQ(sorted(fromXlsx("names").toArray()), xls);
    EXPECT_THAT(xls, testing::Contains(QStringLiteral(R"(["Local",2,"'Bob''s Notes'!$A$1:$C$2",false])")));
    EXPECT_THAT(xls, testing::Contains(QStringLiteral(R"(["DATA_06",-1,"'Balance Sheet'!$C$3",false])")));
}

TEST_F(DressInterop, WindowsAndPageSetupsAreTheModels)
{
    EXPECT_EQ(fromXlsx("active_sheet"), book->activeSheet());
    const QJsonArray windows = fromXlsx("windows").toArray();
    ASSERT_EQ(windows.size(), book->sheets.size());
    for (qsizetype i = 0; i < book->sheets.size(); ++i) {
        SCOPED_TRACE(book->sheets[i].name.toStdString());
        const SheetWindow& window = book->sheets[i].window;
        const QJsonObject shown = windows[i].toObject();
        EXPECT_EQ(shown[QStringLiteral("zoom")].toInt(100), window.zoomPercent);
        EXPECT_EQ(shown[QStringLiteral("gridlines")], window.showGridlines);
        EXPECT_EQ(shown[QStringLiteral("active_cell")].toString(QStringLiteral("A1")), cellName(window.activeCell));
        EXPECT_EQ(shown[QStringLiteral("tab_selected")], i == book->activeSheet());
        EXPECT_EQ(shown[QStringLiteral("zeros")], window.showZeros);

        const PageSetup& page = book->sheets[i].page;
        const QJsonObject printed = shown[QStringLiteral("page")].toObject();
        EXPECT_EQ(printed[QStringLiteral("paper")], page.paperSize);
        EXPECT_EQ(printed[QStringLiteral("orientation")],
                  page.portrait ? QStringLiteral("portrait") : QStringLiteral("landscape"));
        EXPECT_EQ(printed[QStringLiteral("fit")], page.fitToPage);
        if (page.fitToPage) {
            EXPECT_EQ(printed[QStringLiteral("fit_width")], page.fitWidth);
            EXPECT_EQ(printed[QStringLiteral("fit_height")], page.fitHeight);
        }
        EXPECT_EQ(printed[QStringLiteral("scale")].toInt(100), page.scale);
        EXPECT_EQ(printed[QStringLiteral("margins")],
                  QJsonArray({page.leftMargin, page.rightMargin, page.topMargin, page.bottomMargin, page.headerMargin,
                              page.footerMargin}));
        EXPECT_EQ(printed[QStringLiteral("centred")], QJsonArray({page.centreHorizontally, page.centreVertically}));
        EXPECT_EQ(printed[QStringLiteral("print_gridlines")], page.printGridlines);
        EXPECT_EQ(printed[QStringLiteral("print_headings")], page.printHeaders);
        EXPECT_EQ(printed[QStringLiteral("first_page")], page.firstPageNumber);
        EXPECT_EQ(printed[QStringLiteral("oddHeader")].toString(), page.header);
        EXPECT_EQ(printed[QStringLiteral("oddFooter")].toString(), page.footer);
    }
    // A selected range keeps its active cell at the corner the model has it.
    EXPECT_EQ(windows[2][QStringLiteral("selection")], QStringLiteral("D4:F8"));
}

// ---------------------------------------------------------------- without outside programs

TEST(XlsxFile, IsAZipPackageOfTheWorkbooksParts)
{
    const QByteArray bytes = writeXlsxFile(filledCopy(sample::sampleAmounts()));
    EXPECT_TRUE(bytes.startsWith("PK\x03\x04"));
    // The parts' names stand uncompressed in the zip's directory.
    for (const char* part : {"[Content_Types].xml", "xl/workbook.xml", "xl/styles.xml", "xl/sharedStrings.xml",
                             "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"})
        EXPECT_TRUE(bytes.contains(part)) << part;
    EXPECT_FALSE(bytes.contains("xl/worksheets/sheet3.xml"));
}

struct Refusal {
    const char* name;
    std::function<void(Workbook&)> spoil;
    const char* says;
};

TEST(XlsxFile, RefusesWhatItCannotWriteSayingWhat)
{
    const Refusal refusals[] = {
        {"no sheet", [](Workbook& book) { book.sheets.clear(); }, "it has no sheet"},
        {"dates from 1904", [](Workbook& book) { book.calculation.date1904 = true; }, "1904"},
        {"a bracket in a sheet name", [](Workbook& book) { book.sheets[1].name = QStringLiteral("Vari[ables]"); },
         "the sheet name \"Vari[ables]\""},
        {"two sheets of one name", [](Workbook& book) { book.sheets[1].name = book.sheets[0].name; },
         "the sheet name \"Balance Sheet\""},
        {"an overlong text",
         [](Workbook& book) {
             book.sheets[0].cellAt({5, 1}).value = QString(40000, u'x');
         },
         "cell B6 of sheet \"Balance Sheet\""},
        {"an overlong header", [](Workbook& book) { book.sheets[1].page.header = QString(300, u'h'); },
         "the page header of sheet \"Variables\""},
        {"an overlong number format", [](Workbook& book) { book.numberFormats.back().code = QString(200, u'0'); },
         "the number format \"000"},
        {"a format that is not there",
         [](Workbook& book) {
             book.sheets[0].cellAt({5, 1}).formatIndex = 999;
         },
         "cell format 999"},
        {"formula bytes that cannot be read",
         [](Workbook& book) {
             book.sheets[0].cellAt({16, 3}).formula = QByteArray("\xFF\xFF", 2);
         },
         "the formula of cell D17 of sheet \"Balance Sheet\""},
        {"a zoom beyond 400%", [](Workbook& book) { book.sheets[0].window.zoomPercent = 500; }, "zoomed to 500%"},
    };
    const Workbook good = filledCopy(sample::sampleAmounts());
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        Workbook book = good;
        refusal.spoil(book);
        try {
            writeXlsxFile(book);
            ADD_FAILURE() << "written";
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(), HasSubstr("The workbook cannot be written as .xlsx: "));
            EXPECT_THAT(error.what(), HasSubstr(refusal.says));
        }
    }
}

TEST(XlsxFile, LeavesNothingInTheTemporaryFolder)
{
    const QDir temporary(QDir::tempPath());
    const QStringList before =
        temporary.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    Workbook book = filledCopy(sample::sampleAmounts());
    EXPECT_FALSE(writeXlsxFile(book).isEmpty());
    book.sheets[1].name = book.sheets[0].name;
    EXPECT_THROW(writeXlsxFile(book), std::runtime_error);
    EXPECT_EQ(temporary.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), before);
}

} // namespace
