// The automation objects driven as the generation run drives them, on the
// template the program carries; the saved workbook is read back by our own
// reader and recalculated by Gnumeric.
#include "resources/TemplateWorkbook.h"
#include "spreadsheet/Automation.h"
#include "spreadsheet/CellInput.h"
#include "spreadsheet/NumberFormat.h"
#include "spreadsheet/Recalculation.h"
#include "spreadsheet/SheetPainter.h"
#include "spreadsheet/XlsFile.h"
#include "tests/spreadsheet/MemoryCeiling.h"
#include "tests/support/SampleBalanceSheet.h"
#include "tests/support/TestSupport.h"

#include "tests/support/Csv.h"
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QSize>
#include <gmock/gmock.h>

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <optional>
#include <vector>

namespace automation = spreadsheet::automation;
using spreadsheet::CellAddress;
using spreadsheet::cellAddress;
using spreadsheet::Empty;
using spreadsheet::Value;
using testing::AllOf;
using testing::HasSubstr;
using testing_support::readFileBytes;
using testing_support::tempPath;
using testing_support::writeFileBytes;
using testing_support::writeTemplate;

static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

spreadsheet::Workbook readBack(const QString& path)
{
    return spreadsheet::readXlsFile(readFileBytes(path));
}

const spreadsheet::Cell* cellOf(const spreadsheet::Workbook& book, const char* a1, int sheet = 0)
{
    return book.sheets[sheet].cell(cellAddress(a1));
}

Value valueOf(const spreadsheet::Workbook& book, const char* a1, int sheet = 0)
{
    const spreadsheet::Cell* cell = cellOf(book, a1, sheet);
    return cell ? cell->value : Value(Empty{});
}

// Saves the workbook under a new name in TEMP and reads the file back.
spreadsheet::Workbook saved(automation::Workbook& book, const QString& name = QStringLiteral("saved.xls"))
{
    const QString path = tempPath(name);
    book.SaveAs(path, automation::xlExcel8);
    return readBack(path);
}

// A sample amount as the entry window types it: "$100,000".
QString typed(double amount)
{
    return u'$' + QLocale(QLocale::English, QLocale::UnitedStates).toString(amount, 'f', 0);
}

// The totals of the sample balance sheet, worked out by hand.
const std::map<std::string, double> kSampleTotals = {
    {"D17", 728000},  // current assets
    {"D27", 1066000}, // net fixed assets
    {"D30", 1794000}, // total assets
    {"H17", 199000},  // current liabilities
    {"H27", 358000},  // shareholders' equity
    {"H30", 557000},  // total liabilities and equity
};

const QDate kBalanceDate(2021, 8, 31);
constexpr double kBalanceDateSerial = 44439; // 31 August 2021 in the 1900 date system

// The generation run's sequence, from opening the template to quitting.
QString fillAndSaveLikeTheRun(const QString& fileName = QStringLiteral("vetrik12345678.xls"))
{
    const QString templatePath = writeTemplate();
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(templatePath, true);
    application.Worksheets(1).Cells(3, 3).setValue(kBalanceDate);
    for (const auto& [a1, amount] : sample::sampleAmounts()) {
        const CellAddress where = cellAddress(a1);
        application.Worksheets(1).Cells(where.row + 1, where.column + 1).setValue(typed(amount));
    }
    application.Range(QStringLiteral("D11")).Select();
    const QString path = tempPath(fileName);
    book.SaveAs(path, automation::xlExcel8);
    application.setDisplayAlerts(false);
    book.Close();
    application.Quit();
    return path;
}

QString dateShown(const spreadsheet::Workbook& book, const char* a1)
{
    const spreadsheet::Cell* cell = cellOf(book, a1);
    const int number = book.formats[cell->formatIndex].numberFormat;
    QString code = spreadsheet::builtInFormatCode(number);
    for (const spreadsheet::NumberFormat& format : book.numberFormats) {
        if (format.id == number)
            code = format.code;
    }
    return spreadsheet::formatValue(cell->value, code, book.calculation.date1904).text;
}

template <class Action>
std::string failureOf(Action&& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no exception)";
}

using Grid = testing_support::CsvGrid;
using testing_support::csvField;

} // namespace

// ================================================================ the run's sequence

TEST(AutomationRun, SavedWorkbookHoldsTheAmountsAsNumbersInTheirCells)
{
    const spreadsheet::Workbook book = readBack(fillAndSaveLikeTheRun());
    for (const auto& [a1, amount] : sample::sampleAmounts()) {
        const spreadsheet::Cell* cell = cellOf(book, a1);
        ASSERT_NE(cell, nullptr) << a1;
        EXPECT_EQ(cell->value, Value(amount)) << a1;
        EXPECT_TRUE(cell->formula.isEmpty()) << a1 << " still holds a formula";
    }
}

TEST(AutomationRun, DateBecomesASerialShownAsDayMonthYear)
{
    const spreadsheet::Workbook book = readBack(fillAndSaveLikeTheRun());
    EXPECT_EQ(valueOf(book, "C3"), Value(kBalanceDateSerial));
    EXPECT_EQ(dateShown(book, "C3"), QStringLiteral("31-Aug-21"));
}

TEST(AutomationRun, SavedFileIsAnOrdinaryWorkbookWithD11Selected)
{
    const spreadsheet::Workbook book = readBack(fillAndSaveLikeTheRun());
    EXPECT_FALSE(book.isTemplate);
    EXPECT_EQ(book.activeSheet(), 0);
    EXPECT_EQ(book.sheets[0].name, QStringLiteral("Balance Sheet"));
    EXPECT_EQ(book.sheets[0].window.activeCell, cellAddress("D11"));
    const QList<spreadsheet::RangeAddress> justD11 = {{cellAddress("D11"), cellAddress("D11")}};
    EXPECT_TRUE(book.sheets[0].window.selection.isEmpty() || book.sheets[0].window.selection == justD11);
}

TEST(AutomationRun, CachedTotalsAreFresh)
{
    const spreadsheet::Workbook book = readBack(fillAndSaveLikeTheRun());
    for (const auto& [cell, total] : kSampleTotals)
        EXPECT_EQ(valueOf(book, cell.c_str()), Value(total)) << cell;
    // The template's other totals: no long-term liabilities, so blank.
    EXPECT_EQ(valueOf(book, "H21"), Value(QString()));
}

TEST(AutomationRunInterop, GnumericComputesTheTotalsWeStored)
{
    const QString path = fillAndSaveLikeTheRun();
    const spreadsheet::Workbook book = readBack(path);
    QString problem;
    const std::optional<Grid> grid = testing_support::gnumericRecalculatedBalanceSheet(path, &problem);
    ASSERT_TRUE(grid) << problem.toStdString();
    for (const auto& [cell, total] : kSampleTotals) {
        bool ok = false;
        const double computed = csvField(*grid, cell.c_str()).toDouble(&ok);
        ASSERT_TRUE(ok) << cell << " shows \"" << csvField(*grid, cell.c_str()).toStdString() << '"';
        EXPECT_EQ(computed, total) << cell;
        EXPECT_EQ(Value(computed), valueOf(book, cell.c_str())) << cell;
    }
    for (const auto& [a1, amount] : sample::sampleAmounts())
        EXPECT_EQ(csvField(*grid, a1).toDouble(), amount) << a1;
    EXPECT_EQ(csvField(*grid, "C3").toDouble(), kBalanceDateSerial);
}

TEST(AutomationRun, TemplateOpenedReadOnlyIsLeftAsItWas)
{
    fillAndSaveLikeTheRun();
    EXPECT_EQ(readFileBytes(tempPath(QStringLiteral("template.xlt"))), resources::templateWorkbook());
}

TEST(AutomationRun, SavingLeavesNoOtherFileBehind)
{
    fillAndSaveLikeTheRun();
    EXPECT_EQ(QDir(qEnvironmentVariable("TEMP")).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
              (QStringList{QStringLiteral("template.xlt"), QStringLiteral("vetrik12345678.xls")}));
}

TEST(AutomationRun, SummaryPropertiesAreThoseOfASave)
{
    qputenv("USER", "tester");
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const spreadsheet::Workbook book = readBack(fillAndSaveLikeTheRun());
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    EXPECT_EQ(book.properties.lastSavedBy, QStringLiteral("tester"));
    EXPECT_EQ(book.writeAccessUser, QStringLiteral("tester"));
    ASSERT_TRUE(book.properties.lastSaved.isValid());
    EXPECT_GE(book.properties.lastSaved.toSecsSinceEpoch(), before);
    EXPECT_LE(book.properties.lastSaved.toSecsSinceEpoch(), after);
    EXPECT_EQ(book.properties.applicationName, QStringLiteral("Microsoft Excel"));
    // What a save does not touch stays.
    EXPECT_EQ(book.properties.worksheetTitles, QStringList{QStringLiteral("Balance Sheet")});
}

TEST(AutomationRun, WithoutALoginNameNobodyIsNamed)
{
    qunsetenv("USER");
    qunsetenv("LOGNAME");
    const spreadsheet::Workbook book = readBack(fillAndSaveLikeTheRun());
    EXPECT_EQ(book.properties.lastSavedBy, QString());
}

TEST(AutomationRun, LogNameStandsInForAMissingUser)
{
    qunsetenv("USER");
    qputenv("LOGNAME", "logger");
    const spreadsheet::Workbook book = readBack(fillAndSaveLikeTheRun());
    EXPECT_EQ(book.properties.lastSavedBy, QStringLiteral("logger"));
}

TEST(AutomationRun, BothFormatCodesWriteTheSameWorkbook)
{
    const QString templatePath = writeTemplate();
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(templatePath, true);
    application.Worksheets(1).Cells(11, 4).setValue(QStringLiteral("$1,000"));
    book.SaveAs(tempPath(QStringLiteral("a.xls")), automation::xlExcel8);
    book.SaveAs(tempPath(QStringLiteral("b.xls")), automation::xlWorkbookNormal);
    spreadsheet::Workbook a = readBack(tempPath(QStringLiteral("a.xls")));
    spreadsheet::Workbook b = readBack(tempPath(QStringLiteral("b.xls")));
    a.properties.lastSaved = b.properties.lastSaved = {};
    EXPECT_TRUE(a == b);
    EXPECT_EQ(valueOf(b, "D11"), Value(1000.0));
}

// ================================================================ putting values

class PutValue : public testing::Test {
protected:
    void SetUp() override { book_.emplace(application_.Workbooks().Open(writeTemplate(), true)); }
    automation::Range cell(const char* a1) { return application_.Range(QLatin1String(a1)); }
    spreadsheet::Workbook save() { return saved(*book_); }

    automation::Application application_;
    std::optional<automation::Workbook> book_;
};

TEST_F(PutValue, TextsThatReadAsNumbersBecomeNumbers)
{
    const std::vector<std::pair<const char*, double>> typed = {
        {"$43,000", 43000}, {"($1,234)", -1234}, {"-5", -5},     {"12.5%", 0.125}, {"(50%)", -0.5},
        {"1.5E+3", 1500},   {"  7 ", 7},         {"500-", -500}, {"0", 0}};
    int row = 40;
    for (const auto& [text, number] : typed)
        application_.Worksheets(1).Cells(row++, 2).setValue(QString::fromLatin1(text));
    const spreadsheet::Workbook book = save();
    row = 40;
    for (const auto& [text, number] : typed)
        EXPECT_EQ(book.sheets[0].cell({row++ - 1, 1})->value, Value(number)) << text;
}

TEST_F(PutValue, OtherTextStaysText)
{
    for (const char* text : {"abc", "12abc", " ", "$", "1,,000", "=1+1", "43,000 EUR"}) {
        cell("B40").setValue(QString::fromLatin1(text));
        EXPECT_EQ(valueOf(save(), "B40"), Value(QString::fromLatin1(text))) << text;
    }
}

TEST_F(PutValue, EmptyTextLeavesTheCellEmptyWithItsFormat)
{
    const int format = cellOf(spreadsheet::readXlsFile(resources::templateWorkbook()), "D11")->formatIndex;
    cell("D11").setValue(QStringLiteral("$5"));
    cell("D11").setValue(QString());
    const spreadsheet::Workbook book = save();
    ASSERT_NE(cellOf(book, "D11"), nullptr);
    EXPECT_EQ(valueOf(book, "D11"), Value(Empty{}));
    EXPECT_EQ(cellOf(book, "D11")->formatIndex, format);
    EXPECT_EQ(valueOf(book, "D17"), Value(QString())) << "the block total is blank again";
}

TEST_F(PutValue, EmptyTextIntoNothingCreatesNoCell)
{
    cell("K50").setValue(QString());
    const spreadsheet::Workbook book = save();
    EXPECT_EQ(cellOf(book, "K50"), nullptr);
    EXPECT_EQ(book.sheets[0].usedRange(), (spreadsheet::RangeAddress{cellAddress("A1"), cellAddress("I31")}));
}

TEST_F(PutValue, FormulaCellReceivingAValueBecomesThatValue)
{
    cell("H26").setValue(QStringLiteral("$110,000"));
    cell("D17").setValue(QString());
    const spreadsheet::Workbook book = save();
    EXPECT_EQ(valueOf(book, "H26"), Value(110000.0));
    EXPECT_TRUE(cellOf(book, "H26")->formula.isEmpty());
    EXPECT_EQ(valueOf(book, "D17"), Value(Empty{}));
    EXPECT_TRUE(cellOf(book, "D17")->formula.isEmpty());
}

TEST_F(PutValue, EveryPutRecalculatesAndKeepsTheFormat)
{
    const spreadsheet::Workbook before = spreadsheet::readXlsFile(resources::templateWorkbook());
    cell("D11").setValue(QStringLiteral("$5"));
    cell("D12").setValue(7);
    spreadsheet::Workbook book = saved(*book_, QStringLiteral("first.xls"));
    EXPECT_EQ(valueOf(book, "D17"), Value(12.0));
    cell("D12").setValue(QStringLiteral("$10"));
    book = saved(*book_, QStringLiteral("second.xls"));
    EXPECT_EQ(valueOf(book, "D17"), Value(15.0));
    for (const char* a1 : {"D11", "D12", "D17"})
        EXPECT_EQ(cellOf(book, a1)->formatIndex, cellOf(before, a1)->formatIndex) << a1;
}

TEST_F(PutValue, DatesBecomeSerialsOfThe1900System)
{
    cell("B40").setValue(QDate(2021, 8, 31));
    cell("B41").setValue(QDate(1900, 3, 1));
    cell("B42").setValue(QDate(1900, 1, 1));
    cell("B43").setValue(QDateTime(QDate(2021, 8, 31), QTime(18, 0)));
    const spreadsheet::Workbook book = save();
    EXPECT_EQ(valueOf(book, "B40"), Value(44439.0));
    EXPECT_EQ(valueOf(book, "B41"), Value(61.0)); // after the 1900 leap-year day spreadsheets count
    EXPECT_EQ(valueOf(book, "B42"), Value(1.0));
    EXPECT_EQ(valueOf(book, "B43"), Value(44439.75));
}

TEST_F(PutValue, NumbersAndTruthValuesStayWhatTheyAre)
{
    cell("B40").setValue(2.5);
    cell("B41").setValue(true);
    cell("B42").setValue(QVariant());
    const spreadsheet::Workbook book = save();
    EXPECT_EQ(valueOf(book, "B40"), Value(2.5));
    EXPECT_EQ(valueOf(book, "B41"), Value(true));
    EXPECT_EQ(cellOf(book, "B42"), nullptr);
}

TEST_F(PutValue, AValueIntoARangeFillsEveryCell)
{
    cell("D11:D12").setValue(QStringLiteral("$3"));
    const spreadsheet::Workbook book = save();
    EXPECT_EQ(valueOf(book, "D11"), Value(3.0));
    EXPECT_EQ(valueOf(book, "D12"), Value(3.0));
    EXPECT_EQ(valueOf(book, "D17"), Value(6.0));
}

TEST_F(PutValue, WhatNoCellCanHoldIsRefusedWithTheReason)
{
    EXPECT_THAT(failureOf([&] { cell("B40").setValue(QSize(1, 2)); }), HasSubstr("QSize"));
    EXPECT_THAT(failureOf([&] { cell("B40").setValue(QDate(1899, 12, 31)); }), HasSubstr("1899-12-31"));
    EXPECT_THAT(failureOf([&] { cell("B40").setValue(std::numeric_limits<double>::infinity()); }), HasSubstr("finite"));
    EXPECT_THAT(failureOf([&] { cell("B40").setValue(QString(40000, u'x')); }), HasSubstr("32767"));
    EXPECT_EQ(cellOf(save(), "B40"), nullptr) << "a refused value changes nothing";
}

// ================================================================ the objects

TEST(AutomationObjects, VersionAndDisplayAlerts)
{
    automation::Application application;
    EXPECT_EQ(application.Version(), QStringLiteral("16.0"));
    EXPECT_TRUE(application.DisplayAlerts());
    application.setDisplayAlerts(false);
    EXPECT_FALSE(application.DisplayAlerts());
    automation::Application copy = application;
    EXPECT_FALSE(copy.DisplayAlerts()) << "a copy is the same application";
}

TEST(AutomationObjects, TemplateUsedRangeIsA1ToI31)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    const automation::Range used = book.ActiveSheet().UsedRange();
    EXPECT_EQ(used.Row(), 1);
    EXPECT_EQ(used.Column(), 1);
    EXPECT_EQ(used.Rows().count(), 31);
    EXPECT_EQ(used.Columns().count(), 9);
    EXPECT_EQ(used.count(), 31 * 9);
    EXPECT_EQ(used.Rows(used.Rows().count()).Row(), 31);
    EXPECT_EQ(used.Columns(used.Columns().count()).Column(), 9);
    EXPECT_EQ(used.Rows(31).count(), 9) << "a row of the range has its cells";
    EXPECT_THAT(failureOf([&] { used.Rows(32); }), HasSubstr("no row 32"));
    EXPECT_THAT(failureOf([&] { used.Columns(0); }), HasSubstr("no column 0"));
}

TEST(AutomationObjects, OpenedWorkbookBecomesActiveAndIsCounted)
{
    automation::Application application;
    automation::Workbooks workbooks = application.Workbooks();
    EXPECT_EQ(workbooks.count(), 0);
    workbooks.Open(writeTemplate(), true);
    const QString other = fillAndSaveLikeTheRun(QStringLiteral("other.xls"));
    workbooks.Open(other);
    EXPECT_EQ(workbooks.count(), 2);
    // Worksheets(1) and Range are the last opened workbook's now.
    application.Range(QStringLiteral("D11")).setValue(QStringLiteral("$1"));
    automation::Workbook last = workbooks(workbooks.count());
    spreadsheet::Workbook book = saved(last, QStringLiteral("last.xls"));
    EXPECT_EQ(valueOf(book, "D11"), Value(1.0));
    EXPECT_EQ(valueOf(book, "C3"), Value(kBalanceDateSerial)) << "the filled workbook, not the template";
    // Opening an open file again gives the workbook already open.
    workbooks.Open(tempPath(QStringLiteral("last.xls")));
    EXPECT_EQ(workbooks.count(), 2);
    EXPECT_THAT(failureOf([&] { workbooks.Item(3); }), HasSubstr("numbered 1 to 2"));
    EXPECT_THAT(failureOf([&] { workbooks(0); }), HasSubstr("no workbook 0"));
}

TEST(AutomationObjects, ClosingTheActiveWorkbookActivatesTheOneBefore)
{
    automation::Application application;
    automation::Workbook first = application.Workbooks().Open(writeTemplate(), true);
    automation::Workbook second = application.Workbooks().Open(fillAndSaveLikeTheRun(QStringLiteral("second.xls")));
    second.Close();
    EXPECT_EQ(application.Workbooks().count(), 1);
    application.Worksheets(1).Cells(11, 4).setValue(QStringLiteral("$2"));
    EXPECT_EQ(valueOf(saved(first), "D11"), Value(2.0));
}

TEST(AutomationObjects, ReferencesOutsideTheSheetAreRefused)
{
    automation::Application application;
    application.Workbooks().Open(writeTemplate(), true);
    EXPECT_THAT(failureOf([&] { application.Range(QStringLiteral("IW1")); }), HasSubstr("\"IW1\""));
    EXPECT_THAT(failureOf([&] { application.Range(QStringLiteral("A0")); }), HasSubstr("\"A0\""));
    EXPECT_THAT(failureOf([&] { application.Range(QStringLiteral("D11 junk")); }), HasSubstr("D11 junk"));
    EXPECT_THAT(failureOf([&] { application.Worksheets(1).Cells(0, 1); }), HasSubstr("row 0"));
    EXPECT_THAT(failureOf([&] { application.Worksheets(1).Cells(1, 257); }), HasSubstr("column 257"));
    EXPECT_THAT(failureOf([&] { application.Worksheets(3); }), HasSubstr("no worksheet 3"));
    EXPECT_EQ(application.Range(QStringLiteral("$b$2:a1")).count(), 4);
    EXPECT_EQ(application.Range(QStringLiteral("IV65536")).Column(), 256);
}

TEST(AutomationObjects, OnlyTheActiveSheetTakesASelection)
{
    automation::Application application;
    application.Workbooks().Open(writeTemplate(), true);
    EXPECT_THAT(failureOf([&] { application.Worksheets(2).Cells(1, 1).Select(); }),
                HasSubstr("sheet \"Variables\" of \"template.xlt\" is not active"));
}

TEST(AutomationObjects, SelectionOfSeveralCellsIsSaved)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    application.Range(QStringLiteral("D11:H16")).Select();
    const spreadsheet::Workbook back = saved(book);
    EXPECT_EQ(back.sheets[0].window.activeCell, cellAddress("D11"));
    EXPECT_EQ(back.sheets[0].window.selection,
              (QList<spreadsheet::RangeAddress>{{cellAddress("D11"), cellAddress("H16")}}));
}

TEST(AutomationObjects, CopyPicturePutsTheDrawnRangeOnTheClipboard)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    QGuiApplication::clipboard()->clear();
    book.ActiveSheet().UsedRange().CopyPicture();
    const QImage onClipboard = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(onClipboard.isNull());
    spreadsheet::Workbook model = spreadsheet::readXlsFile(resources::templateWorkbook());
    spreadsheet::recalculate(model);
    const QImage drawn = spreadsheet::paintRange(model, 0, {cellAddress("A1"), cellAddress("I31")});
    EXPECT_EQ(onClipboard.size(), drawn.size());
    EXPECT_TRUE(onClipboard.convertToFormat(QImage::Format_RGB32) == drawn.convertToFormat(QImage::Format_RGB32));
    // Nothing but the clipboard keeps the picture once it is copied.
    EXPECT_FALSE(onClipboard.isDetached());
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(onClipboard.isDetached());
}

TEST(AutomationObjects, APictureAfterTypingShowsTheNewTotals)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    automation::Worksheet sheet = application.Worksheets(1);
    sheet.Cells(11, 4).setValue(QStringLiteral("$43,000"));
    sheet.Cells(12, 4).setValue(QStringLiteral("$1,000"));
    sheet.UsedRange().CopyPicture();
    const QImage onClipboard = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);

    spreadsheet::Workbook model = spreadsheet::readXlsFile(resources::templateWorkbook());
    spreadsheet::putValue(model.sheets[0], {cellAddress("D11"), cellAddress("D11")}, spreadsheet::Value(43000.0));
    spreadsheet::putValue(model.sheets[0], {cellAddress("D12"), cellAddress("D12")}, spreadsheet::Value(1000.0));
    spreadsheet::recalculate(model);
    ASSERT_EQ(model.sheets[0].cell(cellAddress("D17"))->value, spreadsheet::Value(44000.0));
    const QImage fresh = spreadsheet::paintRange(model, 0, {cellAddress("A1"), cellAddress("I31")});
    EXPECT_TRUE(onClipboard == fresh.convertToFormat(QImage::Format_RGB32));
}

// ================================================================ failures

TEST(AutomationFailures, OpeningAMissingFileSaysSo)
{
    automation::Application application;
    const QString missing = tempPath(QStringLiteral("nowhere.xls"));
    EXPECT_THAT(failureOf([&] { application.Workbooks().Open(missing); }),
                AllOf(HasSubstr(missing.toStdString()), HasSubstr("no such file")));
    EXPECT_EQ(application.Workbooks().count(), 0);
}

TEST(AutomationFailures, OpeningAFileThatIsNoWorkbookSaysSo)
{
    automation::Application application;
    const QString path = tempPath(QStringLiteral("notes.xls"));
    writeFileBytes(path, "these are notes, not a workbook\n");
    try {
        application.Workbooks().Open(path);
        FAIL() << "opened";
    } catch (const spreadsheet::FileFormatError& error) {
        EXPECT_THAT(error.what(), AllOf(HasSubstr(path.toStdString()), HasSubstr("cannot be opened as a workbook")));
    }
    EXPECT_THAT(failureOf([&] { application.Workbooks().Open(qEnvironmentVariable("TEMP")); }),
                HasSubstr("it is a folder"));
    EXPECT_EQ(application.Workbooks().count(), 0);
}

TEST(AutomationFailures, OnlyTheTwoXlsFormatCodesAreWritten)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    const QString path = tempPath(QStringLiteral("book.xlsx"));
    EXPECT_THAT(failureOf([&] { book.SaveAs(path, 51); }),
                AllOf(HasSubstr("file format 51"), HasSubstr("56 or -4143")));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(AutomationFailures, SavingIntoAMissingFolderLeavesNoFile)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    const QString folder = tempPath(QStringLiteral("missing"));
    EXPECT_THAT(failureOf([&] { book.SaveAs(folder + QStringLiteral("/book.xls"), 56); }),
                HasSubstr("cannot be saved as \"" + folder.toStdString() + "/book.xls\""));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(QDir(qEnvironmentVariable("TEMP")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("template.xlt")});
    // The workbook is still open and can be saved elsewhere.
    EXPECT_EQ(valueOf(saved(book), "B2"), Value(QStringLiteral("Balance Sheet")));
}

TEST(AutomationFailures, SavingReplacesAnExistingFileWhole)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    const QString path = tempPath(QStringLiteral("old.xls"));
    writeFileBytes(path, QByteArray(200000, 'x')); // longer than the workbook
    book.SaveAs(path, 56);
    EXPECT_EQ(readFileBytes(path).left(4), QByteArray("\xD0\xCF\x11\xE0"));
    EXPECT_EQ(readBack(path).sheets[0].name, QStringLiteral("Balance Sheet"));
}

TEST(AutomationFailures, AReadOnlyWorkbookIsNotSavedOverItself)
{
    automation::Application application;
    const QString path = writeTemplate();
    automation::Workbook book = application.Workbooks().Open(path, true);
    EXPECT_THAT(failureOf([&] { book.SaveAs(path, 56); }), HasSubstr("read-only"));
    EXPECT_EQ(readFileBytes(path), resources::templateWorkbook());
}

TEST(AutomationFailures, APictureTooLargeIsRefusedAndLeavesNoEarlierOneOnTheClipboard)
{
    // The template with one more cell, in the sheet's last row and column.
    spreadsheet::Workbook model = spreadsheet::readXlsFile(resources::templateWorkbook());
    model.sheets[0].cellAt(cellAddress("IV65536")) = spreadsheet::Cell{1.0, {}, 15};
    const QByteArray bytes = spreadsheet::writeXlsFile(model);
    EXPECT_LT(bytes.size(), 32 * 1024);
    const QString path = tempPath(QStringLiteral("whole-sheet.xls"));
    writeFileBytes(path, bytes);

    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(path, true);
    application.Range(QStringLiteral("A1:I31")).CopyPicture();
    const QImage earlier = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(earlier.isNull());
    const MemoryCeiling ceiling(std::int64_t(1) << 30);
    EXPECT_EQ(failureOf([&] { book.ActiveSheet().UsedRange().CopyPicture(); }),
              "The picture of the cells A1:IV65536 of sheet \"Balance Sheet\" would be 16561 \u00D7 1114282 "
              "pixels; the largest picture the engine draws is 32767 pixels a side and 40 million pixels in all.");
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull()) << "no picture to be taken for this range";
    EXPECT_TRUE(earlier.isDetached()) << "the earlier picture was let go";
}

TEST(AutomationFailures, MembersOfAClosedWorkbookSayItIsClosed)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    const automation::Worksheet sheet = book.ActiveSheet();
    const automation::Range cell = sheet.Cells(11, 4);
    book.Close();
    const std::string closed = "The workbook \"template.xlt\" is closed.";
    EXPECT_EQ(failureOf([&] { book.ActiveSheet(); }), closed);
    EXPECT_EQ(failureOf([&] { book.SaveAs(tempPath(QStringLiteral("x.xls")), 56); }), closed);
    EXPECT_EQ(failureOf([&] { book.Close(); }), closed);
    EXPECT_EQ(failureOf([&] { sheet.UsedRange(); }), closed);
    EXPECT_EQ(failureOf([&] { cell.setValue(1); }), closed);
    EXPECT_EQ(failureOf([&] { cell.CopyPicture(); }), closed);
    EXPECT_EQ(application.Workbooks().count(), 0);
    EXPECT_THAT(failureOf([&] { application.Worksheets(1); }), HasSubstr("No workbook is open"));
    EXPECT_THAT(failureOf([&] { application.Range(QStringLiteral("D11")); }), HasSubstr("No workbook is open"));
}

TEST(AutomationFailures, MembersOfAQuitApplicationSayItHasQuit)
{
    automation::Application application;
    automation::Workbook book = application.Workbooks().Open(writeTemplate(), true);
    const automation::Workbooks workbooks = application.Workbooks();
    application.Quit();
    for (const std::string& failure :
         {failureOf([&] { application.Workbooks(); }), failureOf([&] { application.Version(); }),
          failureOf([&] { application.Worksheets(1); }), failureOf([&] { application.setDisplayAlerts(false); }),
          failureOf([&] { application.Quit(); }), failureOf([&] { workbooks.count(); }),
          failureOf([&] { book.ActiveSheet(); }), failureOf([&] { book.Close(); })})
        EXPECT_THAT(failure, HasSubstr("The spreadsheet application has quit"));
    EXPECT_FALSE(QFile::exists(tempPath(QStringLiteral("x.xls"))));
}
