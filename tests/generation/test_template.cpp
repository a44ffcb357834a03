#include "generation/BalanceSheetTemplate.h"
#include "generation/GenerationRun.h"
#include "resources/TemplateWorkbook.h"
#include "spreadsheet/BiffStream.h"
#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/Formula.h"
#include "spreadsheet/XlsFile.h"
#include "tests/support/SampleBalanceSheet.h"

#include <QtEndian>
#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace spreadsheet;

namespace {

const Worksheet& balanceSheet(const Workbook& book)
{
    return book.sheets.at(0);
}

const Cell& cellOf(const Workbook& book, const char* a1)
{
    const Cell* cell = balanceSheet(book).cell(cellAddress(a1));
    if (!cell)
        throw std::runtime_error(std::string("no cell ") + a1);
    return *cell;
}

const CellFormat& formatOf(const Workbook& book, const char* a1)
{
    return book.formats.at(cellOf(book, a1).formatIndex);
}

const Font& fontOf(const Workbook& book, const char* a1)
{
    return book.fonts.at(formatOf(book, a1).fontIndex);
}

QString formulaOf(const Workbook& book, const char* a1)
{
    return formula::decompile(cellOf(book, a1).formula, cellAddress(a1));
}

// Fills amount cells and recalculates, as the generation run will.
Workbook filled(const sample::Amounts& amounts)
{
    return sample::filledWorkbook(generation::balanceSheetTemplate(), amounts);
}

Value valueOf(const Workbook& book, const char* a1)
{
    return cellOf(book, a1).value;
}

const Value kBlank = QString();

} // namespace

TEST(Template, SheetsNamesAndStates)
{
    const Workbook book = generation::balanceSheetTemplate();
    ASSERT_EQ(book.sheets.size(), 2);
    EXPECT_EQ(book.sheets[0].name, QStringLiteral("Balance Sheet"));
    EXPECT_EQ(book.sheets[0].state, SheetState::Visible);
    EXPECT_TRUE(book.sheets[0].window.active);
    EXPECT_EQ(book.sheets[1].name, QStringLiteral("Variables"));
    EXPECT_EQ(book.sheets[1].state, SheetState::VeryHidden);
    EXPECT_TRUE(book.isTemplate);
    EXPECT_EQ(book.properties.applicationName, QStringLiteral("Microsoft Excel"));
    EXPECT_EQ(book.properties.worksheetTitles, QStringList{QStringLiteral("Balance Sheet")});
    EXPECT_TRUE(book.properties.title.isEmpty());
    ASSERT_EQ(book.properties.customTexts.size(), 1);
    EXPECT_EQ(book.properties.customTexts[0].first, QStringLiteral("_TemplateID"));
}

TEST(Template, FormulasAreStoredAsWritten)
{
    const Workbook book = generation::balanceSheetTemplate();
    EXPECT_EQ(formulaOf(book, "D17"), QStringLiteral("=IF(SUM(D11:D16),SUM(D11:D16),\"\")"));
    EXPECT_EQ(formulaOf(book, "H17"), QStringLiteral("=IF(SUM(H11:H16),SUM(H11:H16),\"\")"));
    EXPECT_EQ(formulaOf(book, "H21"), QStringLiteral("=IF(SUM(H19:H20),SUM(H19:H20),\"\")"));
    EXPECT_EQ(formulaOf(book, "D27"), QStringLiteral("=IF(SUM(D19:D26),SUM(D19:D26),\"\")"));
    EXPECT_EQ(
        formulaOf(book, "H27"),
        QStringLiteral("=IF(ISERROR(IF(SUM(H25:H26),SUM(H25:H26),\"\")),\"\",(IF(SUM(H25:H26),SUM(H25:H26),\"\")))"));
    EXPECT_EQ(formulaOf(book, "H26"),
              QStringLiteral("=IF(ISERROR(IF(OR(SUM(D30),SUM(H17,H21,H25)),D30-SUM(H17,H21,H25),\"\")),\"\","
                             "(IF(OR(SUM(D30),SUM(H17,H21,H25)),D30-SUM(H17,H21,H25),\"\")))"));
    EXPECT_EQ(formulaOf(book, "D30"), QStringLiteral("=IF(OR(SUM(D17)<>0,SUM(D27)<>0),SUM(D17,D27),\"\")"));
    EXPECT_EQ(formulaOf(book, "H30"),
              QStringLiteral("=IF(OR(SUM(H17)<>0,SUM(H21)<>0,SUM(H27)<>0),SUM(H17,H21,H27),\"\")"));
    // Results are computed, and with nothing entered every total is blank.
    for (const char* total : {"D17", "H17", "H21", "D27", "H26", "H27", "D30", "H30"})
        EXPECT_EQ(valueOf(book, total), kBlank) << total;
}

TEST(Template, CaptionsAndThePlaceholderDate)
{
    const Workbook book = generation::balanceSheetTemplate();
    EXPECT_EQ(valueOf(book, "B2"), Value(QStringLiteral("Balance Sheet")));
    EXPECT_EQ(valueOf(book, "C3"), Value(QStringLiteral("[Date]")));
    EXPECT_EQ(valueOf(book, "C13"), Value(QStringLiteral("(less doubtful accounts)")));
    EXPECT_EQ(valueOf(book, "F30"), Value(QStringLiteral("TOTAL LIABILITIES & EQUITY")));
    EXPECT_EQ(valueOf(book, "F24"), Value(QStringLiteral("Shareholders' Equity")));
    EXPECT_EQ(balanceSheet(book).usedRange(), (RangeAddress{cellAddress("A1"), cellAddress("I31")}));
}

TEST(Template, CellFormatsFollowTheirRole)
{
    const Workbook book = generation::balanceSheetTemplate();
    // The title: Arial Black 26 bold navy, centred across B2:H2 over a navy rule.
    EXPECT_EQ(fontOf(book, "B2").name, QStringLiteral("Arial Black"));
    EXPECT_EQ(fontOf(book, "B2").heightTwips, 520);
    EXPECT_TRUE(fontOf(book, "B2").bold);
    EXPECT_EQ(book.colour(fontOf(book, "B2").colourIndex), QColor(0x00, 0x00, 0x80));
    for (const char* cell : {"B2", "E2", "H2"}) {
        EXPECT_EQ(formatOf(book, cell).horizontal, HorizontalAlignment::CentreAcrossSelection) << cell;
        EXPECT_EQ(formatOf(book, cell).bottom.style, LineStyle::Thin) << cell;
    }
    // The date: unlocked, purple, the US date format.
    EXPECT_FALSE(formatOf(book, "C3").locked);
    EXPECT_EQ(book.colour(fontOf(book, "C3").colourIndex), QColor(0x80, 0x00, 0x80));
    const int dateFormat = formatOf(book, "C3").numberFormat;
    bool found = false;
    for (const NumberFormat& format : book.numberFormats)
        found |= format.id == dateFormat && format.code == QStringLiteral("[$-409]d\\-mmm\\-yy;@");
    EXPECT_TRUE(found);
    // Banners: white on navy.
    EXPECT_EQ(formatOf(book, "C9").fillPattern, 1);
    EXPECT_EQ(book.colour(formatOf(book, "B9").fillForeground), QColor(0x00, 0x00, 0x80));
    EXPECT_EQ(book.colour(fontOf(book, "F9").colourIndex), QColor(Qt::white));
    // Amount cells: boxed in navy, unlocked; the first of a block in currency.
    for (const char* cell : {"D11", "D19", "H11", "H19", "H25"}) {
        EXPECT_EQ(formatOf(book, cell).numberFormat, 6) << cell;
        EXPECT_FALSE(formatOf(book, cell).locked) << cell;
    }
    for (const char* cell : {"D12", "D16", "D20", "D26", "H12", "H16", "H20"}) {
        EXPECT_EQ(formatOf(book, cell).numberFormat, 38) << cell;
        EXPECT_FALSE(formatOf(book, cell).locked) << cell;
        const CellFormat& f = formatOf(book, cell);
        for (const BorderLine& line : {f.left, f.right, f.top, f.bottom}) {
            EXPECT_EQ(line.style, LineStyle::Thin) << cell;
            EXPECT_EQ(book.colour(line.colourIndex), QColor(0x00, 0x00, 0x80)) << cell;
        }
    }
    // Totals: light yellow, locked; H26 in the plain format.
    for (const char* cell : {"D17", "H17", "H21", "D27", "H26", "H27", "D30", "H30"}) {
        EXPECT_TRUE(formatOf(book, cell).locked) << cell;
        EXPECT_EQ(book.colour(formatOf(book, cell).fillForeground), QColor(0xFF, 0xFF, 0xC0)) << cell;
    }
    EXPECT_EQ(formatOf(book, "H26").numberFormat, 38);
    EXPECT_EQ(formatOf(book, "H27").numberFormat, 6);
    EXPECT_EQ(formatOf(book, "H28").top.style, LineStyle::Thin);
    EXPECT_EQ(formatOf(book, "D29").top.style, LineStyle::None);
    EXPECT_TRUE(fontOf(book, "G30").bold);
}

TEST(Template, SheetLayoutWindowAndPage)
{
    const Workbook book = generation::balanceSheetTemplate();
    const Worksheet& sheet = balanceSheet(book);
    EXPECT_EQ(sheet.rows.at(0).heightTwips, 120);
    EXPECT_TRUE(sheet.rows.at(0).customHeight);
    EXPECT_FALSE(sheet.rows.at(1).customHeight);
    EXPECT_EQ(sheet.rows.at(1).heightTwips, 825);
    EXPECT_EQ(sheet.rows.at(16).heightTwips, 420);
    EXPECT_EQ(sheet.rows.at(17).heightTwips, 720);
    EXPECT_EQ(sheet.rows.at(29).heightTwips, 315);
    EXPECT_EQ(sheet.rows.count(30), 0u); // row 31 keeps the default height
    const int widths[] = {438, 731, 7789, 3291, 2267, 731, 7789, 3291, 1206};
    for (int column = 0; column < 9; ++column)
        EXPECT_EQ(sheet.columns.at(column).width, widths[column]) << column;
    EXPECT_EQ(sheet.columns.at(9).first, 9);
    EXPECT_EQ(sheet.columns.at(9).width, 2340);
    EXPECT_FALSE(sheet.window.showGridlines);
    EXPECT_TRUE(sheet.window.showHeaders);
    EXPECT_TRUE(sheet.window.showZeros);
    EXPECT_EQ(sheet.window.zoomPercent, 75);
    EXPECT_EQ(sheet.window.activeCell, cellAddress("C3"));
    EXPECT_TRUE(sheet.page.fitToPage);
    EXPECT_EQ(sheet.page.scale, 91);
    EXPECT_EQ(sheet.page.paperSize, 1);
    EXPECT_TRUE(sheet.page.portrait);
    EXPECT_DOUBLE_EQ(sheet.page.leftMargin, 0.65);
    EXPECT_DOUBLE_EQ(sheet.page.headerMargin, 0.5);
    EXPECT_TRUE(sheet.page.centreHorizontally);
    EXPECT_FALSE(sheet.page.centreVertically);
    EXPECT_TRUE(sheet.page.header.isEmpty());
}

TEST(Template, VariablesSheetAndNames)
{
    const Workbook book = generation::balanceSheetTemplate();
    const Worksheet& variables = book.sheets[1];
    EXPECT_EQ(variables.cell(cellAddress("A1"))->value, Value(QStringLiteral("_Example")));
    EXPECT_EQ(variables.cell(cellAddress("B2"))->value, Value(false));
    EXPECT_EQ(variables.cell(cellAddress("B4"))->value, Value(1.0));
    EXPECT_EQ(variables.page.header, QStringLiteral("&A"));
    EXPECT_EQ(variables.page.footer, QStringLiteral("Page &P"));
    QStringList names;
    for (const DefinedName& name : book.names)
        names << name.name;
    EXPECT_EQ(names,
              (QStringList{"DATA_01", "DATA_02", "DATA_03", "DATA_04", "DATA_05", "DATA_06", "_Example", "_Shading",
                           "_Series", "_Look", "IntroPrintArea"}));
}

TEST(Template, ProgramCarriesTheBytesOfItsDescription)
{
    const QByteArray carried = resources::templateWorkbook();
    EXPECT_EQ(carried, writeXlsFile(generation::balanceSheetTemplate()));
    // And they read back as the same workbook.
    const Workbook back = readXlsFile(carried);
    EXPECT_EQ(back.sheets, generation::balanceSheetTemplate().sheets);
}

// The totals sum blocks a user may leave empty: the background error check
// must not mark them for referring to empty cells.
TEST(Template, TotalsAreExemptFromTheEmptyCellCheck)
{
    const Workbook book = readXlsFile(resources::templateWorkbook());
    QList<RangeAddress> exempt;
    for (const IgnoredErrors& ignored : balanceSheet(book).ignoredErrors) {
        EXPECT_TRUE(ignored.ignored.testFlag(ErrorCheck::EmptyCellReference));
        exempt += ignored.ranges;
    }
    const auto range = [](const char* first, const char* last) {
        return RangeAddress{cellAddress(first), cellAddress(last)};
    };
    EXPECT_EQ(exempt,
              (QList<RangeAddress>{range("D17", "D17"), range("H17", "H17"), range("H21", "H21"), range("D27", "D27"),
                                   range("H26", "H27")}));
    EXPECT_TRUE(book.sheets[1].ignoredErrors.isEmpty());
}

// The printer settings: two reserved bytes, then a DEVMODE of the Unicode
// layout that agrees with the page setup.
TEST(Template, PrinterSettingsSayLetterPortrait300DpiOneCopy)
{
    const QByteArray settings = balanceSheet(readXlsFile(resources::templateWorkbook())).page.printerSettings;
    const qsizetype devMode = 2, publicSize = 220;
    ASSERT_GE(settings.size(), devMode + publicSize);
    const auto u16 = [&](qsizetype at) { return int(qFromLittleEndian<quint16>(settings.constData() + at)); };
    EXPECT_EQ(u16(0), 0); // reserved
    EXPECT_EQ(u16(devMode + 64), 0x0401);
    EXPECT_EQ(u16(devMode + 68), publicSize);
    EXPECT_EQ(settings.size(), devMode + publicSize + u16(devMode + 70)); // and the driver's data
    const quint32 set = qFromLittleEndian<quint32>(settings.constData() + devMode + 72);
    struct Field {
        quint32 flag;
        qsizetype offset;
        int value;
        const char* name;
    };
    const Field fields[] = {
        {0x0001, 76, 1, "orientation: portrait"}, {0x0002, 78, 1, "paper size: Letter"}, {0x0100, 86, 1, "copies"},
        {0x0400, 90, 300, "horizontal dpi"},      {0x2000, 96, 300, "vertical dpi"},
    };
    for (const Field& field : fields) {
        EXPECT_TRUE(set & field.flag) << field.name;
        EXPECT_EQ(u16(devMode + field.offset), field.value) << field.name;
    }
}

// What strict readers of .xls look for in the globals: the eight built-in
// currency formats written out in the order spreadsheets write them, and a
// reference to a deleted sheet as "not found" (-1), not as a workbook-level
// one (-2).
TEST(Template, GlobalsAsStrictReadersExpectThem)
{
    const QByteArray stream = spreadsheet::readCompoundDocument(resources::templateWorkbook()).workbook;
    spreadsheet::biff::RecordReader records(stream);
    QList<int> formatIndexes;
    QByteArray sheetList;
    for (spreadsheet::biff::Record record = records.next(); record.type != spreadsheet::biff::record::Eof;
         record = records.next()) {
        if (record.type == spreadsheet::biff::record::Format)
            formatIndexes << qFromLittleEndian<quint16>(record.body.constData());
        if (record.type == spreadsheet::biff::record::ExternSheet)
            sheetList = record.body;
    }
    EXPECT_EQ(formatIndexes, (QList<int>{5, 6, 7, 8, 42, 41, 44, 43, 164}));
    // Three entries of (supporting book, first sheet, last sheet).
    EXPECT_EQ(sheetList.toHex().toStdString(),
              "0300"
              "000000000000"
              "000001000100"
              "0000ffffffff");
}

// The run finds the amount cells by its skip lists, the template leaves
// them open to input, and the table says which they are: all three agree.
TEST(Template, AmountCellsAgreeWithTheRunsSkipListsAndTheInputCells)
{
    const auto rowsNotSkipped = [](const char* skips) {
        std::vector<int> rows;
        for (int row = 11; row <= 26; ++row) {
            if (!QString::fromLatin1(skips).contains(QString::number(row)))
                rows.push_back(row);
        }
        return rows;
    };
    EXPECT_EQ(rowsNotSkipped(generation::kAssetSkipList),
              std::vector<int>(generation::kAssetAmountRows.begin(), generation::kAssetAmountRows.end()));
    EXPECT_EQ(rowsNotSkipped(generation::kLiabilitySkipList),
              std::vector<int>(generation::kLiabilityAmountRows.begin(), generation::kLiabilityAmountRows.end()));

    std::set<std::pair<int, int>> tableCells;
    for (const int row : generation::kAssetAmountRows)
        tableCells.insert({row - 1, generation::kAssetAmountColumn - 1});
    for (const int row : generation::kLiabilityAmountRows)
        tableCells.insert({row - 1, generation::kLiabilityAmountColumn - 1});
    const Workbook book = readXlsFile(resources::templateWorkbook());
    std::set<std::pair<int, int>> inputCells;
    for (const auto& [where, cell] : book.sheets[0].cells) {
        if (!book.formats[cell.formatIndex].locked && where != std::pair(2, 2)) // C3 takes the date
            inputCells.insert(where);
    }
    const std::pair<int, int> retainedEarnings{25, 7}; // H26, a formula the last amount replaces
    EXPECT_FALSE(book.sheets[0].cells.at(retainedEarnings).formula.isEmpty());
    inputCells.insert(retainedEarnings);
    EXPECT_EQ(inputCells, tableCells);
}

TEST(TemplateTotals, EverythingEmptyLeavesEveryTotalBlank)
{
    const Workbook book = filled({});
    for (const char* total : {"D17", "H17", "H21", "D27", "H26", "H27", "D30", "H30"})
        EXPECT_EQ(valueOf(book, total), kBlank) << total;
}

TEST(TemplateTotals, OnlyCurrentAssetsShowsTheirSumAndTheGrandTotal)
{
    const Workbook book = filled({{"D11", 100}, {"D12", 300}, {"D13", 40}});
    EXPECT_EQ(valueOf(book, "D17"), Value(440.0));
    EXPECT_EQ(valueOf(book, "D27"), kBlank);
    // The mended grand total shows as soon as one part holds a sum.
    EXPECT_EQ(valueOf(book, "D30"), Value(440.0));
    // Retained earnings: total assets less the liabilities and capital.
    EXPECT_EQ(valueOf(book, "H26"), Value(440.0));
    EXPECT_EQ(valueOf(book, "H27"), Value(440.0));
    EXPECT_EQ(valueOf(book, "H30"), Value(440.0));
}

TEST(TemplateTotals, TheSampleBalanceSheet)
{
    Workbook book = filled(sample::sampleAmounts());
    EXPECT_EQ(valueOf(book, "D17"), Value(728000.0));
    EXPECT_EQ(valueOf(book, "D27"), Value(1066000.0));
    EXPECT_EQ(valueOf(book, "D30"), Value(1794000.0));
    EXPECT_EQ(valueOf(book, "H17"), Value(199000.0));
    EXPECT_EQ(valueOf(book, "H21"), kBlank); // a block of zeros stays blank
    EXPECT_EQ(valueOf(book, "H27"), Value(358000.0));
    EXPECT_EQ(valueOf(book, "H30"), Value(557000.0));
}

TEST(TemplateTotals, DeductionsCountAsEntered)
{
    // A positive deduction raises the total; a negative one lowers it.
    EXPECT_EQ(valueOf(filled({{"D21", 550}, {"D22", 43}}), "D27"), Value(593.0));
    EXPECT_EQ(valueOf(filled({{"D21", 550}, {"D22", -43}}), "D27"), Value(507.0));
    // A block that sums to zero is blank, like an empty one.
    EXPECT_EQ(valueOf(filled({{"D11", 5}, {"D12", -5}}), "D17"), kBlank);
}
