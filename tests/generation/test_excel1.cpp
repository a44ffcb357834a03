// The routines of Excel1 and Main that drive the engine: the application of
// the generation run, the save format, the clipboard read and the picture of
// the active sheet.
#include "generation/Excel1.h"
#include "generation/ExcelApplication.h"
#include "resources/TemplateWorkbook.h"
#include "services/Failure.h"
#include "spreadsheet/XlsFile.h"
#include "tests/support/TestSupport.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace automation = spreadsheet::automation;
using generation::ExcelApp;
using generation::ExcelBook;
using testing::HasSubstr;
using testing_support::readFileBytes;
using testing_support::recordedDialogs;
using testing_support::tempPath;
using testing_support::writeFileBytes;
using testing_support::writeTemplate;

namespace {

const QString kLocation = QStringLiteral("in Corvantis2021/08/31.Excel1.saveCellsActivesheet ");

// A workbook of one sheet holding exactly these cells (zero-based row, column).
QString writeSheetWith(const QString& name, const QList<spreadsheet::CellAddress>& cells)
{
    spreadsheet::Workbook book = spreadsheet::readXlsFile(resources::templateWorkbook());
    book.sheets = {book.sheets[0]};
    book.sheets[0].cells.clear();
    for (const spreadsheet::CellAddress& at : cells)
        book.sheets[0].cellAt(at) = spreadsheet::Cell{QStringLiteral("x"), {}, 15};
    book.names.clear();
    book.sheetReferences.clear();
    const QString path = tempPath(name);
    writeFileBytes(path, spreadsheet::writeXlsFile(book));
    return path;
}

// The steps the reports name, in order.
QList<int> reportedSteps()
{
    QList<int> steps;
    for (const testing_support::ShownMessage& message : recordedDialogs().messages) {
        const qsizetype at = message.text.indexOf(kLocation + QStringLiteral("at line "));
        steps << (at < 0 ? -1 : message.text.mid(at + kLocation.size() + 8).section(u'\r', 0, 0).toInt());
    }
    return steps;
}

std::string failureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no exception)";
}

} // namespace

// ---------------------------------------------------------------- the run's application

TEST(ExcelApplication, CreateAndReleaseSetAndClearExcelApp)
{
    ASSERT_FALSE(ExcelApp.has_value());
    generation::CreateExcelApplication();
    ASSERT_TRUE(ExcelApp.has_value());
    EXPECT_EQ(ExcelApp->Version(), QStringLiteral("16.0"));
    EXPECT_EQ(ExcelApp->Workbooks().count(), 0);
    generation::ReleaseExcelApplication();
    EXPECT_FALSE(ExcelApp.has_value());
}

TEST(ExcelApplication, OpenExcelFileGivesANewApplicationHoldingTheWorkbook)
{
    generation::CreateExcelApplication();
    automation::Application application = generation::openExcelFile(writeTemplate());
    EXPECT_EQ(application.Workbooks().count(), 1);
    EXPECT_EQ(ExcelApp->Workbooks().count(), 0) << "independent of ExcelApp";
    const automation::Range used = application.Workbooks()(1).ActiveSheet().UsedRange();
    EXPECT_EQ(used.Rows().count(), 31);
}

TEST(ExcelApplication, OpenExcelFileOfAMissingFileThrows)
{
    const QString missing = tempPath(QStringLiteral("vetrik00000000.xls"));
    EXPECT_THAT(failureOf([&] { generation::openExcelFile(missing); }), HasSubstr(missing.toStdString()));
}

// ---------------------------------------------------------------- save format

TEST(SaveFormat, VersionsAboveElevenSaveAsExcel8)
{
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("11.0")), -4143);
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("12.0")), 56);
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("16.0")), 56);
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("9.0")), -4143);
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("16")), 56);
}

TEST(SaveFormat, VersionIsRoundedHalvesToEven)
{
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("11.5")), 56);    // 12
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("12.5")), 56);    // 12
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("10.5")), -4143); // 10
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("11.49")), -4143);
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("11.51")), 56);
}

TEST(SaveFormat, VersionNumberIsRoundedHalvesToEven)
{
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("11.5")), 12);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("12.5")), 12);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("10.5")), 10);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("13.5")), 14);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("16.0")), 16);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("16.49")), 16);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("-0.5")), 0);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("-1.5")), -2);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("32767.4")), 32767);
}

TEST(SaveFormat, VersionThatIsNoNumberThrows)
{
    EXPECT_THAT(failureOf([] { generation::saveFormatForVersionText(QStringLiteral("sixteen")); }),
                HasSubstr("\"sixteen\" is not a number"));
    EXPECT_THAT(failureOf([] { generation::saveFormatForVersionText(QStringLiteral("40000.0")); }),
                HasSubstr("too large"));
    EXPECT_THAT(failureOf([] { generation::versionAsWholeNumber(QStringLiteral("32767.5")); }), HasSubstr("too large"))
        << "rounds to 32768";
}

TEST(SaveFormat, TheEngineSavesAsExcel8WithOrWithoutAnApplication)
{
    EXPECT_EQ(generation::saveFormatForVersion(), 56);
    generation::CreateExcelApplication();
    EXPECT_EQ(generation::saveFormatForVersion(ExcelApp), 56);
    ExcelApp->Quit();
    EXPECT_THAT(failureOf([] { generation::saveFormatForVersion(ExcelApp); }), HasSubstr("has quit"));
}

// ---------------------------------------------------------------- clipboard

TEST(ClipboardPicture, OneReadWhenThePictureIsThere)
{
    int reads = 0;
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QImage got = generation::GetClipboardPicture(0, [&] {
        ++reads;
        return picture;
    });
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(got, picture);
}

TEST(ClipboardPicture, AThousandReadsThenNothing)
{
    int reads = 0;
    const QImage got = generation::GetClipboardPicture(0, [&] {
        ++reads;
        return QImage();
    });
    EXPECT_EQ(reads, 1000);
    EXPECT_TRUE(got.isNull());
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(ClipboardPicture, FailedReadsAreRetriedSilently)
{
    int reads = 0;
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const QImage got = generation::GetClipboardPicture(0, [&] {
        if (++reads < 4)
            throw std::runtime_error("clipboard busy");
        return picture;
    });
    EXPECT_EQ(reads, 4);
    EXPECT_EQ(got, picture);
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(ClipboardPicture, ReadsTheSystemClipboard)
{
    QImage picture(5, 5, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QGuiApplication::clipboard()->setImage(picture);
    EXPECT_EQ(generation::GetClipboardPicture(0).convertToFormat(QImage::Format_RGB32), picture);
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(generation::GetClipboardPicture(0).isNull());
}

// ---------------------------------------------------------------- picture of the active sheet

TEST(SaveCellsActivesheet, TemplatePictureIsAWindowsBitmapOfTheUsedRange)
{
    automation::Application application = generation::openExcelFile(writeTemplate());
    const QString picturePath = tempPath(QStringLiteral("temp.bmp"));
    const generation::SavedPicture savedBytes =
        generation::saveCellsActivesheet(application.Workbooks()(application.Workbooks().count()), picturePath);
    EXPECT_TRUE(recordedDialogs().messages.isEmpty()) << recordedDialogs().messages.value(0).text.toStdString();
    ASSERT_TRUE(QFile::exists(picturePath));
    EXPECT_EQ(savedBytes.bytes, readFileBytes(picturePath)) << "it returns what it wrote";
    EXPECT_EQ(QImageReader(picturePath).format(), QByteArray("bmp")) << "recognised by its content";
    const QImage saved(picturePath);
    ASSERT_FALSE(saved.isNull());
    // The picture stays on the clipboard, and the file holds it.
    const QImage onClipboard = QGuiApplication::clipboard()->image();
    EXPECT_EQ(saved.size(), onClipboard.size());
    EXPECT_TRUE(saved.convertToFormat(QImage::Format_RGB32) == onClipboard.convertToFormat(QImage::Format_RGB32));
}

TEST(SaveCellsActivesheet, OneCellSheetGivesNoPictureAndNoReport)
{
    automation::Application application =
        generation::openExcelFile(writeSheetWith(QStringLiteral("one.xls"), {{0, 0}}));
    const QString picturePath = tempPath(QStringLiteral("temp.bmp"));
    generation::saveCellsActivesheet(application.Workbooks()(1), picturePath);
    EXPECT_FALSE(QFile::exists(picturePath));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(SaveCellsActivesheet, UsedRangeEndingInRowOneOrColumnAGivesNoPicture)
{
    const QString picturePath = tempPath(QStringLiteral("temp.bmp"));
    for (const auto& cells : {QList<spreadsheet::CellAddress>{{0, 0}, {0, 5}},    // A1:F1
                              QList<spreadsheet::CellAddress>{{0, 0}, {7, 0}}}) { // A1:A8
        automation::Application application =
            generation::openExcelFile(writeSheetWith(QStringLiteral("line.xls"), cells));
        generation::saveCellsActivesheet(application.Workbooks()(1), picturePath);
        EXPECT_FALSE(QFile::exists(picturePath));
    }
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(SaveCellsActivesheet, TwoByTwoSheetGivesAPicture)
{
    automation::Application application =
        generation::openExcelFile(writeSheetWith(QStringLiteral("square.xls"), {{0, 0}, {1, 1}}));
    const QString picturePath = tempPath(QStringLiteral("temp.bmp"));
    generation::saveCellsActivesheet(application.Workbooks()(1), picturePath);
    EXPECT_TRUE(QFile::exists(picturePath));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(SaveCellsActivesheet, PicturePathInAMissingFolderIsReportedAtStep112)
{
    automation::Application application = generation::openExcelFile(writeTemplate());
    const QString picturePath = tempPath(QStringLiteral("gone/temp.bmp"));
    generation::saveCellsActivesheet(application.Workbooks()(1), picturePath);
    EXPECT_EQ(reportedSteps(), QList<int>{112});
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_EQ(recordedDialogs().messages[0].title, QStringLiteral("Application Error"));
    EXPECT_TRUE(recordedDialogs().messages[0].text.startsWith(QStringLiteral("The picture cannot be saved as \"")));
    EXPECT_THAT(recordedDialogs().messages[0].text.toStdString(), HasSubstr("No such file or directory"));
    EXPECT_FALSE(QFile::exists(picturePath));
}

TEST(SaveCellsActivesheet, NoWorkbookIsReportedStepByStepAndGivesNoPicture)
{
    const QString picturePath = tempPath(QStringLiteral("temp.bmp"));
    generation::saveCellsActivesheet(std::nullopt, picturePath);
    EXPECT_EQ(reportedSteps(), (QList<int>{100, 102, 104}));
    EXPECT_FALSE(QFile::exists(picturePath));
}

TEST(SaveCellsActivesheet, ClosedWorkbookIsReportedWithItsName)
{
    automation::Application application = generation::openExcelFile(writeTemplate());
    automation::Workbook book = application.Workbooks()(1);
    book.Close();
    generation::saveCellsActivesheet(book, tempPath(QStringLiteral("temp.bmp")));
    EXPECT_EQ(reportedSteps(), (QList<int>{100, 102, 104}));
    ASSERT_FALSE(recordedDialogs().messages.isEmpty());
    EXPECT_TRUE(recordedDialogs().messages[0].text.startsWith(
        QStringLiteral("The workbook \"template.xlt\" is closed.\r\n") + kLocation + QStringLiteral("at line 100")));
}

// ---------------------------------------------------------------- the run, end to end

TEST(ExcelRun, TemplateFilledSavedReopenedAndPictured)
{
    generation::CreateExcelApplication();
    ExcelBook = ExcelApp->Workbooks().Open(writeTemplate(), true);
    ExcelApp->Worksheets(1).Cells(3, 3).setValue(QDate(2021, 8, 31));
    ExcelApp->Worksheets(1).Cells(11, 4).setValue(QStringLiteral("$100,000"));
    ExcelApp->Range(QStringLiteral("D11")).Select();
    const QString workbookPath = tempPath(QStringLiteral("vetrik12345678.xls"));
    ExcelBook->SaveAs(workbookPath, generation::saveFormatForVersion(ExcelApp));
    ExcelApp->setDisplayAlerts(false);
    ExcelBook->Close();
    ExcelApp->Quit();
    generation::ReleaseExcelApplication();

    automation::Application second = generation::openExcelFile(workbookPath);
    automation::Workbook last = second.Workbooks()(second.Workbooks().count());
    const QString picturePath = tempPath(QStringLiteral("temp.bmp"));
    generation::saveCellsActivesheet(last, picturePath);
    second.setDisplayAlerts(false);
    last.Close();
    second.Quit();

    EXPECT_TRUE(recordedDialogs().messages.isEmpty()) << recordedDialogs().messages.value(0).text.toStdString();
    EXPECT_FALSE(QImage(picturePath).isNull());
    const spreadsheet::Workbook saved = spreadsheet::readXlsFile(testing_support::readFileBytes(workbookPath));
    EXPECT_EQ(saved.sheets[0].cell({10, 3})->value, spreadsheet::Value(100000.0));
    EXPECT_EQ(saved.sheets[0].cell({16, 3})->value, spreadsheet::Value(100000.0)) << "D17 recalculated";
}
