// Programs written elsewhere read the workbooks the engine writes: Gnumeric
// (ssconvert) and LibreOffice recalculate them and must show the results the
// engine stored; xlrd and olefile report what the file itself holds.
#include "generation/BalanceSheetTemplate.h"
#include "resources/TemplateWorkbook.h"
#include "spreadsheet/XlsFile.h"
#include "tests/support/SampleBalanceSheet.h"

#include "tests/support/Csv.h"
#include "tests/support/OutsidePrograms.h"
#include "tests/support/TestSupport.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

using namespace spreadsheet;

// Readable failure messages.
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
static void PrintTo(const QJsonArray& array, std::ostream* out)
{
    *out << QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

const char* const kTotals[] = {"D17", "H17", "H21", "D27", "H26", "H27", "D30", "H30"};

// ---------------------------------------------------------------- workbooks

using sample::Amounts;
using sample::withStaleResults;
using Expected = std::map<std::string, std::optional<double>>; // nullopt: blank

// The balance sheet as the program carries it, filled the way a user's copy is.
Workbook filledCopy(const Amounts& amounts)
{
    return sample::filledWorkbook(readXlsFile(resources::templateWorkbook()), amounts);
}

const Amounts kCurrentAssets = {{"D11", 100000}, {"D12", 300000}, {"D13", 40000},
                                {"D14", 150000}, {"D15", 50000},  {"D16", 88000}};

struct Case {
    const char* name;
    bool carriedTemplate; // the program's own bytes, unfilled
    Amounts amounts;
    Expected totals; // worked out by hand, not by the engine
};

const std::optional<double> blank;

std::vector<Case> cases()
{
    const Expected allBlank = {{"D17", blank}, {"H17", blank}, {"H21", blank}, {"D27", blank},
                               {"H26", blank}, {"H27", blank}, {"D30", blank}, {"H30", blank}};
    return {
        {"Template", true, {}, allBlank},
        {"Empty", false, {}, allBlank},
        {"CurrentAssetsOnly",
         false,
         kCurrentAssets,
         {{"D17", 728000},
          {"H17", blank},
          {"H21", blank},
          {"D27", blank},
          {"H26", 728000},
          {"H27", 728000},
          {"D30", 728000},
          {"H30", 728000}}},
        {"Sample",
         false,
         sample::sampleAmounts(),
         {{"D17", 728000},
          {"H17", 199000},
          {"H21", blank},
          {"D27", 1066000},
          {"H26", 110000},
          {"H27", 358000},
          {"D30", 1794000},
          {"H30", 557000}}},
        // Zeros entered, and a block whose entries cancel: both stay blank.
        {"ZeroBlock",
         false,
         {{"D11", 0},
          {"D12", 0},
          {"D13", 0},
          {"D14", 0},
          {"D15", 0},
          {"D16", 0},
          {"D19", 200000},
          {"D20", 120000},
          {"H11", 5000},
          {"H12", -5000},
          {"H19", 0},
          {"H20", 0}},
         {{"D17", blank},
          {"H17", blank},
          {"H21", blank},
          {"D27", 320000},
          {"H26", 320000},
          {"H27", 320000},
          {"D30", 320000},
          {"H30", 320000}}},
        {"NegativeDeduction",
         false,
         {{"D21", 550000}, {"D22", -43000}, {"D23", 110000}, {"D24", 8000}, {"H25", 248000}},
         {{"D17", blank},
          {"H17", blank},
          {"H21", blank},
          {"D27", 625000},
          {"H26", 377000},
          {"H27", 625000},
          {"D30", 625000},
          {"H30", 625000}}},
    };
}

QByteArray bytesOf(const Case& c)
{
    return c.carriedTemplate ? resources::templateWorkbook() : writeXlsFile(filledCopy(c.amounts));
}

Workbook modelOf(const Case& c)
{
    return c.carriedTemplate ? readXlsFile(resources::templateWorkbook()) : filledCopy(c.amounts);
}

// Our own stored results agree with the hand-worked totals.
void expectModelTotals(const Workbook& book, const Expected& totals)
{
    for (const auto& [cell, amount] : totals) {
        const Cell* stored = book.sheets[0].cell(cellAddress(cell.c_str()));
        ASSERT_NE(stored, nullptr) << cell;
        if (amount)
            EXPECT_EQ(stored->value, Value(*amount)) << "engine, " << cell;
        else
            EXPECT_EQ(stored->value, Value(QString())) << "engine, " << cell;
    }
}

// ---------------------------------------------------------------- files and programs

// The shared runners of outside programs, by this file's names.
using testing_support::complaints;
using testing_support::executable;
using testing_support::ProgramRun;
constexpr auto writeWorkbook = &testing_support::writeInteropFile;
constexpr auto run = &testing_support::runProgram;
constexpr auto readAll = &testing_support::readFileBytes;

// ---------------------------------------------------------------- CSV

using Grid = testing_support::CsvGrid;

QString fieldAt(const Grid& grid, int row, int column)
{
    return testing_support::csvField(grid, row, column);
}

// A value as a CSV of raw values shows it.
bool shows(const QString& field, const Value& value, QString* expected)
{
    if (std::holds_alternative<Empty>(value)) {
        *expected = QStringLiteral("(blank)");
        return field.isEmpty();
    }
    if (const auto* text = std::get_if<QString>(&value)) {
        *expected = text->isEmpty() ? QStringLiteral("(blank)") : *text;
        return field == *text;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        *expected = QString::number(*number, 'g', 17);
        bool ok = false;
        const double shown = field.toDouble(&ok);
        return ok && shown == *number;
    }
    if (const auto* truth = std::get_if<bool>(&value)) {
        *expected = *truth ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        return field.compare(*expected, Qt::CaseInsensitive) == 0;
    }
    *expected = errorText(std::get<ErrorValue>(value));
    return field == *expected;
}

// Every cell of the balance sheet, captions and totals alike.
void expectSameSheet(const Worksheet& truth, const Grid& grid, const char* program)
{
    const RangeAddress used = truth.usedRange();
    int differences = 0;
    for (int row = used.first.row; row <= used.last.row; ++row) {
        for (int column = used.first.column; column <= used.last.column; ++column) {
            const Cell* cell = truth.cell({row, column});
            const Value value = cell ? cell->value : Value(Empty{});
            const QString field = fieldAt(grid, row, column);
            QString expected;
            if (!shows(field, value, &expected)) {
                ++differences;
                ADD_FAILURE() << program << " shows " << cellName({row, column}).toStdString() << " as \""
                              << field.toStdString() << "\", the engine stored " << expected.toStdString();
            }
        }
    }
    EXPECT_EQ(differences, 0) << program;
}

void expectTotals(const Grid& grid, const Expected& totals, const char* program)
{
    for (const auto& [cell, amount] : totals) {
        const CellAddress where = cellAddress(cell.c_str());
        const QString field = fieldAt(grid, where.row, where.column);
        if (amount)
            EXPECT_EQ(field, QString::number(*amount, 'f', 0)) << program << ", " << cell;
        else
            EXPECT_TRUE(field.isEmpty()) << program << ", " << cell << " shows " << field.toStdString();
    }
}

// ---------------------------------------------------------------- Gnumeric

constexpr auto gnumericCsv = &testing_support::gnumericCsv;

// ---------------------------------------------------------------- LibreOffice

// LibreOffice's CSV of the balance sheet. Its BIFF import marks every formula
// dirty after loading, so .xls results are always recalculated; the
// stale-result tests prove it for this version.
using testing_support::libreOfficeCsv;

// ---------------------------------------------------------------- xlrd and olefile

// check_xls.py's description of the file, as xlrd and olefile read it.
QJsonObject describedByPython(const QString& xlsPath, const QStringList& cells = {})
{
    const QString python = QStringLiteral("/usr/bin/python3"); // the one with python3-xlrd
    const ProgramRun result = run(python, QStringList{QStringLiteral(CORVANTIS_CHECK_XLS_SCRIPT), xlsPath} + cells, 60);
    EXPECT_TRUE(result.problem.isEmpty()) << result.problem.toStdString();
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(result.out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << result.out.left(300).toStdString();
    return document.object();
}

QJsonValue jsonOf(const Value& value)
{
    if (const auto* number = std::get_if<double>(&value))
        return *number;
    if (const auto* text = std::get_if<QString>(&value))
        return *text;
    if (const auto* truth = std::get_if<bool>(&value))
        return *truth;
    return QJsonValue(QJsonValue::Null); // empty; errors do not occur in this sheet
}

// The stored results, read straight from the file: xlrd does not calculate.
void expectStoredValues(const Worksheet& truth, const QJsonArray& rows)
{
    const RangeAddress used = truth.usedRange();
    for (int row = used.first.row; row <= used.last.row; ++row) {
        const QJsonArray columns = rows.at(row).toArray();
        for (int column = used.first.column; column <= used.last.column; ++column) {
            const Cell* cell = truth.cell({row, column});
            const QJsonValue expected = jsonOf(cell ? cell->value : Value(Empty{}));
            EXPECT_EQ(columns.at(column), expected) << "xlrd, " << cellName({row, column}).toStdString();
        }
    }
}

QJsonArray rgb(int r, int g, int b)
{
    return QJsonArray{r, g, b};
}

const QJsonArray kNavy = rgb(0, 0, 128);

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

class EachWorkbook : public testing::TestWithParam<Case> {};

std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

} // namespace

// ================================================================ the tests

TEST(Interop, TheCheckedTemplateIsTheOneTheProgramCarries)
{
    EXPECT_EQ(resources::templateWorkbook(), writeXlsFile(generation::balanceSheetTemplate()));
}

TEST_P(EachWorkbook, GnumericRecalculatesToTheStoredResults)
{
    const Case& c = GetParam();
    const Workbook truth = modelOf(c);
    expectModelTotals(truth, c.totals);
    const QString path = writeWorkbook(QString::fromLatin1(c.name) + (c.carriedTemplate ? ".xlt" : ".xls"), bytesOf(c));
    const std::optional<Grid> grid = gnumericCsv(path, true);
    ASSERT_TRUE(grid);
    expectTotals(*grid, c.totals, "Gnumeric");
    expectSameSheet(truth.sheets[0], *grid, "Gnumeric");
}

TEST_P(EachWorkbook, LibreOfficeRecalculatesToTheStoredResults)
{
    const Case& c = GetParam();
    const Workbook truth = modelOf(c);
    const QString path = writeWorkbook(QString::fromLatin1(c.name) + (c.carriedTemplate ? ".xlt" : ".xls"), bytesOf(c));
    const std::optional<Grid> grid = libreOfficeCsv(path);
    ASSERT_TRUE(grid);
    expectTotals(*grid, c.totals, "LibreOffice");
    expectSameSheet(truth.sheets[0], *grid, "LibreOffice");
}

TEST_P(EachWorkbook, XlrdReadsTheStoredResults)
{
    const Case& c = GetParam();
    const Workbook truth = modelOf(c);
    const QString path = writeWorkbook(QString::fromLatin1(c.name) + (c.carriedTemplate ? ".xlt" : ".xls"), bytesOf(c));
    const QJsonObject described = describedByPython(path);
    expectStoredValues(truth.sheets[0], described[QStringLiteral("values")].toArray());
}

INSTANTIATE_TEST_SUITE_P(Interop, EachWorkbook, testing::ValuesIn(cases()), caseName);

// A file whose stored results are all 999: xlrd and a plain ssconvert show the
// 999s, so the file carries them; the recalculating programs must not.
class StaleResults : public testing::Test {
protected:
    void SetUp() override
    {
        sample = filledCopy(sample::sampleAmounts());
        empty = filledCopy({});
        samplePath = writeWorkbook(QStringLiteral("stale-sample.xls"), writeXlsFile(withStaleResults(sample)));
        emptyPath = writeWorkbook(QStringLiteral("stale-empty.xls"), writeXlsFile(withStaleResults(empty)));
    }
    Workbook sample, empty;
    QString samplePath, emptyPath;
};

TEST_F(StaleResults, TheFileCarriesTheWrongResults)
{
    for (const auto& [path, book] : {std::pair{samplePath, &sample}, std::pair{emptyPath, &empty}}) {
        const QJsonArray rows = describedByPython(path)[QStringLiteral("values")].toArray();
        for (const char* total : kTotals) {
            const CellAddress where = cellAddress(total);
            if (book->sheets[0].cell(where)->formula.isEmpty())
                continue; // H26 holds an entered amount in the sample
            EXPECT_EQ(rows.at(where.row).toArray().at(where.column), QJsonValue(999.0))
                << "xlrd, " << total << " of " << path.toStdString();
        }
    }
    // Without --recalc Gnumeric shows what the file stores.
    const std::optional<Grid> stored = gnumericCsv(samplePath, false);
    ASSERT_TRUE(stored);
    EXPECT_EQ(fieldAt(*stored, 16, 3), QStringLiteral("999")) << "D17 as stored";
    EXPECT_EQ(fieldAt(*stored, 29, 7), QStringLiteral("999")) << "H30 as stored";
}

TEST_F(StaleResults, GnumericRecalculatesInsteadOfEchoing)
{
    for (const auto& [path, truth] : {std::pair{samplePath, &sample}, std::pair{emptyPath, &empty}}) {
        const std::optional<Grid> grid = gnumericCsv(path, true);
        ASSERT_TRUE(grid);
        expectSameSheet(truth->sheets[0], *grid, "Gnumeric --recalc");
    }
    const std::optional<Grid> grid = gnumericCsv(samplePath, true);
    ASSERT_TRUE(grid);
    EXPECT_EQ(fieldAt(*grid, 16, 3), QStringLiteral("728000")) << "D17";
}

TEST_F(StaleResults, LibreOfficeRecalculatesOnLoad)
{
    for (const auto& [path, truth] : {std::pair{samplePath, &sample}, std::pair{emptyPath, &empty}}) {
        const std::optional<Grid> grid = libreOfficeCsv(path);
        ASSERT_TRUE(grid);
        expectSameSheet(truth->sheets[0], *grid, "LibreOffice");
        if (path == samplePath) {
            EXPECT_EQ(fieldAt(*grid, 16, 3), QStringLiteral("728000")) << "D17";
        }
    }
}

// ---------------------------------------------------------------- the template's dress

class TemplateAsXlrdSeesIt : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const QString path = writeWorkbook(QStringLiteral("template.xlt"), resources::templateWorkbook());
        described = new QJsonObject(describedByPython(path, {"B2", "C3", "B9", "F9", "D11", "D12", "D17", "H26"}));
    }
    static void TearDownTestSuite()
    {
        delete described;
        described = nullptr;
    }
    static QJsonObject cell(const char* a1)
    {
        return (*described)[QStringLiteral("cells")][QLatin1String(a1)].toObject();
    }
    static QJsonObject font(const char* a1) { return cell(a1)[QStringLiteral("font")].toObject(); }
    static QJsonObject* described;
};
QJsonObject* TemplateAsXlrdSeesIt::described = nullptr;

TEST_F(TemplateAsXlrdSeesIt, SheetsAndTheirVisibility)
{
    const QJsonArray sheets = (*described)[QStringLiteral("sheets")].toArray();
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_EQ(sheets[0][QStringLiteral("name")], QStringLiteral("Balance Sheet"));
    EXPECT_EQ(sheets[0][QStringLiteral("visibility")], 0);
    EXPECT_EQ(sheets[1][QStringLiteral("name")], QStringLiteral("Variables"));
    EXPECT_EQ(sheets[1][QStringLiteral("visibility")], 2); // very hidden
}

TEST_F(TemplateAsXlrdSeesIt, Fonts)
{
    EXPECT_EQ(font("B2")[QStringLiteral("name")], QStringLiteral("Arial Black"));
    EXPECT_EQ(font("B2")[QStringLiteral("height")], 520);
    // Boldness is the weight, repeated in the flag bit some readers use.
    EXPECT_EQ(font("B2")[QStringLiteral("weight")], 700);
    EXPECT_EQ(font("B2")[QStringLiteral("bold_flag")], 1);
    EXPECT_EQ(font("B2")[QStringLiteral("colour")], kNavy);
    EXPECT_EQ(font("C3")[QStringLiteral("name")], QStringLiteral("Arial"));
    EXPECT_EQ(font("C3")[QStringLiteral("height")], 240);
    EXPECT_EQ(font("C3")[QStringLiteral("weight")], 700);
    EXPECT_EQ(font("C3")[QStringLiteral("colour")], rgb(128, 0, 128));
    EXPECT_EQ(font("B9")[QStringLiteral("colour")], rgb(255, 255, 255));
    EXPECT_EQ(font("F9")[QStringLiteral("colour")], rgb(255, 255, 255));
    EXPECT_EQ(font("D11")[QStringLiteral("weight")], 400);
    EXPECT_EQ(font("D11")[QStringLiteral("bold_flag")], 0);
}

TEST_F(TemplateAsXlrdSeesIt, NumberFormats)
{
    EXPECT_EQ(cell("D11")[QStringLiteral("format_key")], 6);
    EXPECT_EQ(cell("D11")[QStringLiteral("format")], QStringLiteral("\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)"));
    // 38 is built in: the file names it by number and xlrd knows its text.
    EXPECT_EQ(cell("D12")[QStringLiteral("format_key")], 38);
    EXPECT_EQ(cell("D12")[QStringLiteral("format")], QStringLiteral("#,##0_);[Red](#,##0)"));
    EXPECT_EQ(cell("H26")[QStringLiteral("format_key")], 38);
    EXPECT_EQ(cell("C3")[QStringLiteral("format")], QStringLiteral("[$-409]d\\-mmm\\-yy;@"));
}

TEST_F(TemplateAsXlrdSeesIt, FillsAndBorders)
{
    const QJsonObject banner = cell("B9")[QStringLiteral("fill")].toObject();
    EXPECT_EQ(banner[QStringLiteral("pattern")], 1);
    EXPECT_EQ(banner[QStringLiteral("colour")], kNavy);
    const QJsonObject total = cell("D17")[QStringLiteral("fill")].toObject();
    EXPECT_EQ(total[QStringLiteral("pattern")], 1);
    EXPECT_EQ(total[QStringLiteral("colour")], rgb(255, 255, 192));
    EXPECT_EQ(cell("D12")[QStringLiteral("fill")][QStringLiteral("pattern")], 0);
    const QJsonObject borders = cell("D12")[QStringLiteral("borders")].toObject();
    for (const char* side : {"left", "right", "top", "bottom"}) {
        EXPECT_EQ(borders[QLatin1String(side)][QStringLiteral("style")], 1) << side; // thin
        EXPECT_EQ(borders[QLatin1String(side)][QStringLiteral("colour")], kNavy) << side;
    }
    // The title keeps only its rule underneath.
    const QJsonObject title = cell("B2")[QStringLiteral("borders")].toObject();
    EXPECT_EQ(title[QStringLiteral("bottom")][QStringLiteral("style")], 1);
    EXPECT_EQ(title[QStringLiteral("top")][QStringLiteral("style")], 0);
}

TEST_F(TemplateAsXlrdSeesIt, OnlyTheEntryCellsAreUnlocked)
{
    EXPECT_EQ(cell("C3")[QStringLiteral("locked")], false);
    EXPECT_EQ(cell("D11")[QStringLiteral("locked")], false);
    EXPECT_EQ(cell("D12")[QStringLiteral("locked")], false);
    EXPECT_EQ(cell("D17")[QStringLiteral("locked")], true);
    EXPECT_EQ(cell("B2")[QStringLiteral("locked")], true);
}

TEST_F(TemplateAsXlrdSeesIt, ColumnWidthsAndRowHeights)
{
    const QJsonObject columns = (*described)[QStringLiteral("columns")].toObject();
    EXPECT_EQ(columns[QStringLiteral("0")], 438);
    EXPECT_EQ(columns[QStringLiteral("2")], 7789);
    EXPECT_EQ(columns[QStringLiteral("8")], 1206);
    EXPECT_EQ(columns[QStringLiteral("9")], 2340);
    const QJsonObject rows = (*described)[QStringLiteral("rows")].toObject();
    EXPECT_EQ(rows[QStringLiteral("0")], 120);
    EXPECT_EQ(rows[QStringLiteral("17")], 720);
}

TEST_F(TemplateAsXlrdSeesIt, DefinedNames)
{
    const QJsonArray names = (*described)[QStringLiteral("names")].toArray();
    QStringList listed;
    for (const QJsonValue& name : names)
        listed << name[0].toString();
    EXPECT_EQ(listed,
              (QStringList{"DATA_01", "DATA_02", "DATA_03", "DATA_04", "DATA_05", "DATA_06", "_Example", "_Shading",
                           "_Series", "_Look", "IntroPrintArea"}));
    ASSERT_EQ(names.size(), 11);
    EXPECT_EQ(names[0][1], QStringLiteral("'Balance Sheet'!$D$11:$D$16"));
    EXPECT_EQ(names[1][1], QStringLiteral("'Balance Sheet'!$H$11:$H$16"));
    EXPECT_EQ(names[2][1], QStringLiteral("'Balance Sheet'!$D$19:$D$26"));
    EXPECT_EQ(names[3][1], QStringLiteral("'Balance Sheet'!$H$19:$H$20"));
    EXPECT_EQ(names[4][1], QStringLiteral("'Balance Sheet'!$H$25"));
    EXPECT_EQ(names[5][1], QStringLiteral("'Balance Sheet'!$C$3"));
    EXPECT_EQ(names[9][1], QStringLiteral("Variables!$B$4"));
}

TEST_F(TemplateAsXlrdSeesIt, Window)
{
    const QJsonObject window = (*described)[QStringLiteral("window")].toObject();
    EXPECT_EQ(window[QStringLiteral("zoom")], 75);
    EXPECT_EQ(window[QStringLiteral("gridlines")], false);
    EXPECT_EQ(window[QStringLiteral("selected")], true);
    EXPECT_EQ(window[QStringLiteral("shown")], true);
}

TEST_F(TemplateAsXlrdSeesIt, OlefileFindsThreeStreamsAndTheCreatingApplication)
{
    EXPECT_EQ((*described)[QStringLiteral("streams")].toArray(),
              (QJsonArray{QStringLiteral("\x05"
                                         "DocumentSummaryInformation"),
                          QStringLiteral("\x05"
                                         "SummaryInformation"),
                          QStringLiteral("Workbook")}));
    const QJsonObject metadata = (*described)[QStringLiteral("metadata")].toObject();
    EXPECT_EQ(metadata[QStringLiteral("creating_application")], QStringLiteral("Microsoft Excel"));
}

// xlrd does not read the selection; Gnumeric's own file format shows it.
TEST(Interop, GnumericSeesTheTemplatesWindow)
{
    const QString ssconvert = executable("ssconvert");
    ASSERT_FALSE(ssconvert.isEmpty());
    const QString path = writeWorkbook(QStringLiteral("template.xlt"), resources::templateWorkbook());
    const QString xmlPath = path + QStringLiteral(".gnumeric.xml");
    const ProgramRun result =
        run(ssconvert, {QStringLiteral("-T"), QStringLiteral("Gnumeric_XmlIO:sax:0"), path, xmlPath}, 120);
    ASSERT_TRUE(result.problem.isEmpty()) << result.problem.toStdString();
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(complaints(result.err), QStringList());

    struct Sheet {
        QString name, visibility, hideGrid, zoom, cursor, selections;
    };
    QList<Sheet> sheets;
    QString selectedTab;
    QXmlStreamReader xml(readAll(xmlPath));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        const QXmlStreamAttributes attributes = xml.attributes();
        auto attribute = [&](const char* key) { return attributes.value(QLatin1String(key)).toString(); };
        if (name == u"Sheet") {
            sheets.append(Sheet{});
            sheets.back().visibility = attribute("Visibility");
            sheets.back().hideGrid = attribute("HideGrid");
        } else if (sheets.isEmpty()) {
            continue;
        } else if (name == u"Name" && sheets.back().name.isEmpty()) {
            sheets.back().name = xml.readElementText();
        } else if (name == u"Zoom") {
            sheets.back().zoom = xml.readElementText();
        } else if (name == u"Selections") {
            sheets.back().cursor = attribute("CursorCol") + u',' + attribute("CursorRow");
        } else if (name == u"Selection") {
            sheets.back().selections +=
                QStringLiteral("%1,%2:%3,%4;")
                    .arg(attribute("startCol"), attribute("startRow"), attribute("endCol"), attribute("endRow"));
        } else if (name == u"UIData") {
            selectedTab = attribute("SelectedTab");
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_EQ(sheets[0].name, QStringLiteral("Balance Sheet"));
    EXPECT_EQ(sheets[0].visibility, QStringLiteral("GNM_SHEET_VISIBILITY_VISIBLE"));
    EXPECT_EQ(sheets[0].hideGrid, QStringLiteral("1"));
    EXPECT_EQ(sheets[0].zoom.toDouble(), 0.75);
    EXPECT_EQ(sheets[0].cursor, QStringLiteral("2,2")); // C3
    EXPECT_EQ(sheets[0].selections, QStringLiteral("2,2:2,2;"));
    EXPECT_EQ(sheets[1].name, QStringLiteral("Variables"));
    EXPECT_EQ(sheets[1].visibility, QStringLiteral("GNM_SHEET_VISIBILITY_VERY_HIDDEN"));
    EXPECT_EQ(selectedTab, QStringLiteral("0"));
}
