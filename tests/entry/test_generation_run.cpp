// "Start Creating Template" from end to end, offscreen: the workbook it
// leaves in TEMP, the preview it shows, and the files it must not touch.
#include "entry/Form1.h"
#include "preview/Form2.h"
#include "preview/ImageBox.h"
#include "services/Dialogs.h"
#include "services/MousePointer.h"
#include "spreadsheet/Value.h"
#include "spreadsheet/XlsFile.h"
#include "tests/entry/EntryTestSupport.h"
#include "resources/TemplateWorkbook.h"
#include "tests/support/Csv.h"
#include "tests/support/SampleBalanceSheet.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <unistd.h>

using entry::Form1;
using entry_tests::amountBoxes;
using entry_tests::click;
using entry_tests::messages;
using testing_support::readFileBytes;
using testing_support::tempPath;
using testing_support::writeFileBytes;

namespace {

QString tempFolder()
{
    return qEnvironmentVariable("TEMP");
}

QStringList workbooksInTemp()
{
    return QDir(tempFolder()).entryList({QStringLiteral("vetrik*")}, QDir::Files | QDir::System | QDir::Hidden);
}

double dateSerial(const QDate& date)
{
    return double(QDate(1899, 12, 30).daysTo(date));
}

const spreadsheet::Cell* cellOf(const spreadsheet::Workbook& book, const char* a1)
{
    return book.sheets.at(0).cell(spreadsheet::cellAddress(QString::fromLatin1(a1)));
}

std::optional<double> numberIn(const spreadsheet::Workbook& book, const char* a1)
{
    const spreadsheet::Cell* cell = cellOf(book, a1);
    if (!cell || !std::holds_alternative<double>(cell->value))
        return std::nullopt;
    return std::get<double>(cell->value);
}

bool isBlank(const spreadsheet::Workbook& book, const char* a1)
{
    const spreadsheet::Cell* cell = cellOf(book, a1);
    return !cell || (std::holds_alternative<spreadsheet::Empty>(cell->value) && cell->formula.isEmpty());
}

// The cells the amount boxes go to, in amountBoxes() order.
const char* const kAmountCells[24] = {
    "D11", "D12", "D13", "D14", "D15", "D16", "D19", "D20", "D21", "D22", "D23", "D24",
    "D25", "D26", "H11", "H12", "H13", "H14", "H15", "H16", "H19", "H20", "H25", "H26",
};

// The snapshot the preview holds: in its image box, or, once its first
// activation has repainted the box, in the hidden unscaled copy.
QPixmap previewPicture(preview::Form2& form2)
{
    const QPixmap& shown = form2.Picture1->picture();
    return shown.isNull() ? form2.Zoom_Ori->picture() : shown;
}

class GenerationRunTest : public ::testing::Test {
protected:
    void run()
    {
        click(window.PushButton22);
        entry_tests::settle();
    }

    // The one workbook the run left, read back; fails the test otherwise.
    spreadsheet::Workbook onlyWorkbook(QString* path = nullptr)
    {
        const QStringList names = workbooksInTemp();
        EXPECT_EQ(names.size(), 1) << names.join(u' ').toStdString();
        if (names.isEmpty())
            return {};
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^vetrik[1-9]{8}\\.xls$")).match(names[0]).hasMatch())
            << names[0].toStdString();
        const QString full = tempFolder() + u'/' + names[0];
        if (path)
            *path = full;
        return spreadsheet::readXlsFile(readFileBytes(full));
    }

    // Each test starts with an empty temporary folder and no stored
    // entries, also when several run in one process.
    struct FreshStart {
        FreshStart()
        {
            qputenv("TEMP", (testing_support::testRoot() + QStringLiteral("/temp")).toLocal8Bit());
            testing_support::emptyFolder(tempFolder());
            QFile::remove(testing_support::settingsFilePath());
        }
    } freshStart;
    Form1 window;
};

TEST_F(GenerationRunTest, SampleAmountsEndInTheWorkbookAndThePreview)
{
    window.show();
    click(window.PushButton2);
    const QDate date(2026, 12, 8);
    window.dtpFrom->setDate(date);
    run();

    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_TRUE(window.form2()->isVisible());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.updatesEnabled());
    EXPECT_EQ(window.mousePointer().value(), 0);
    const QPixmap picture = previewPicture(*window.form2());
    EXPECT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 200);
    EXPECT_FALSE(QFile::exists(tempPath(QStringLiteral("template.xlt"))));
    EXPECT_FALSE(QFile::exists(tempPath(QStringLiteral("temp.bmp"))));

    QString path;
    const spreadsheet::Workbook book = onlyWorkbook(&path);
    EXPECT_EQ(window.form2()->mExcelFile, path);
    EXPECT_EQ(numberIn(book, "C3"), dateSerial(date));
    for (const auto& [a1, amount] : sample::sampleAmounts())
        EXPECT_EQ(numberIn(book, a1), amount) << a1;

    // Our cached totals, and Gnumeric recalculating them on its own.
    const std::map<std::string, double> totals = {{"D17", 728000}, {"D27", 1066000}, {"D30", 1794000},
                                                  {"H17", 199000}, {"H27", 358000},  {"H30", 557000}};
    for (const auto& [a1, total] : totals)
        EXPECT_EQ(numberIn(book, a1.c_str()), total) << a1;

    QString problem;
    const std::optional<testing_support::CsvGrid> recalculated =
        testing_support::gnumericRecalculatedBalanceSheet(path, &problem);
    ASSERT_TRUE(recalculated) << problem.toStdString();
    for (const auto& [a1, total] : totals)
        EXPECT_EQ(testing_support::csvField(*recalculated, a1.c_str()), QString::number(total, 'g', 15)) << a1;
}

TEST_F(GenerationRunTest, EmptyAmountsLeaveOnlyTheDate)
{
    for (QLineEdit* box : amountBoxes(window))
        box->clear();
    const QDate date(2021, 8, 31);
    window.dtpFrom->setDate(date);
    run();

    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
    const spreadsheet::Workbook book = onlyWorkbook();
    EXPECT_EQ(numberIn(book, "C3"), dateSerial(date));
    for (const char* a1 : kAmountCells)
        EXPECT_TRUE(isBlank(book, a1)) << a1;
}

TEST_F(GenerationRunTest, AStaleTemplateIsUsedAsItIsAndDeleted)
{
    // A template whose D11 already holds a figure: the run must open this
    // one, not write the carried one over it.
    spreadsheet::Workbook stale = spreadsheet::readXlsFile(resources::templateWorkbook());
    stale.sheets[0].cellAt(spreadsheet::cellAddress(QStringLiteral("B5"))).value = QStringLiteral("stale marker");
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(tempPath(QStringLiteral("template.xlt")), spreadsheet::writeXlsFile(stale)));
    run();

    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
    const spreadsheet::Workbook book = onlyWorkbook();
    const spreadsheet::Cell* marker = cellOf(book, "B5");
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->value, spreadsheet::Value(QStringLiteral("stale marker")));
    EXPECT_FALSE(QFile::exists(tempPath(QStringLiteral("template.xlt"))));
}

class PlantedLinkTest : public GenerationRunTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PlantedLinkTest, TheLinksTargetIsNeverWritten)
{
    const QString victim = testing_support::testRoot() + QStringLiteral("/victim.txt");
    const QByteArray original("do not touch\n");
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(victim, original));
    ASSERT_TRUE(QFile::link(victim, tempPath(QString::fromLatin1(GetParam()))));
    run();

    EXPECT_EQ(readFileBytes(victim), original);
    // The run reported what went wrong instead of writing through the link.
    EXPECT_FALSE(messages().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(tempPath(QString::fromLatin1(GetParam()))));
}

INSTANTIATE_TEST_SUITE_P(Names, PlantedLinkTest, ::testing::Values("temp.bmp", "template.xlt"));

TEST_F(GenerationRunTest, TakenWorkbookNamesAreDrawnAgainAndLinksThereAreNotFollowed)
{
    // Eight draws per name: all ones, all twos, all threes, then all fives.
    std::vector<double> draws;
    for (double r : {0.0, 0.15, 0.3, 0.45})
        draws.insert(draws.end(), 8, r);
    std::size_t next = 0;
    window.setWorkbookNameDraw([&] { return draws.at(next++); });

    const QString victim = testing_support::testRoot() + QStringLiteral("/victim.txt");
    const QByteArray original("do not touch\n");
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(victim, original));
    const QString linked = tempPath(QStringLiteral("vetrik11111111.xls"));
    ASSERT_TRUE(QFile::link(victim, linked));
    const QString nowhere = testing_support::testRoot() + QStringLiteral("/made-through-a-link.xls");
    const QString dangling = tempPath(QStringLiteral("vetrik22222222.xls"));
    ASSERT_TRUE(QFile::link(nowhere, dangling));
    const QString taken = tempPath(QStringLiteral("vetrik33333333.xls"));
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(taken, QByteArray("someone else's")));

    window.show();
    click(window.PushButton2);
    run();

    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
    EXPECT_EQ(next, draws.size());
    EXPECT_EQ(readFileBytes(victim), original);
    EXPECT_EQ(QFileInfo(linked).symLinkTarget(), victim);
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_EQ(readFileBytes(taken), QByteArray("someone else's"));
    const QString ours = tempPath(QStringLiteral("vetrik55555555.xls"));
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_EQ(window.form2()->mExcelFile, ours);
    const spreadsheet::Workbook book = spreadsheet::readXlsFile(readFileBytes(ours));
    for (const auto& [a1, amount] : sample::sampleAmounts())
        EXPECT_EQ(numberIn(book, a1), amount) << a1;
}

TEST_F(GenerationRunTest, ATemplateThatCannotBeOpenedLeavesNoEmptyWorkbook)
{
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(tempPath(QStringLiteral("template.xlt")), QByteArray("not a workbook")));
    run();
    EXPECT_FALSE(messages().isEmpty());
    // The claimed name is given up when nothing was saved under it, so the
    // preview has no workbook to copy over a file of the user's.
    EXPECT_TRUE(workbooksInTemp().isEmpty()) << workbooksInTemp().join(u' ').toStdString();
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_TRUE(window.form2()->isVisible());
}

TEST_F(GenerationRunTest, WithoutATemporaryFolderNothingIsWrittenElsewhere)
{
    // No TEMP, and the private fallback folder is not private: refused.
    qunsetenv("TEMP");
    const QString systemTemp = testing_support::testRoot() + QStringLiteral("/system-temp");
    ASSERT_TRUE(QDir().mkpath(systemTemp));
    qputenv("TMPDIR", systemTemp.toLocal8Bit());
    const QString fallback = systemTemp + QStringLiteral("/corvantis-") + QString::number(::getuid());
    ASSERT_TRUE(QDir().mkpath(fallback));
    ASSERT_TRUE(QFile::setPermissions(fallback, QFileDevice::Permissions(0x7755)));
    const QStringList rootBefore = QDir(QStringLiteral("/")).entryList({QStringLiteral("vetrik*")}, QDir::Files);

    run();
    qunsetenv("TMPDIR");

    ASSERT_FALSE(messages().isEmpty());
    EXPECT_TRUE(messages().first().text.contains(QStringLiteral("is not a private folder")))
        << messages().first().text.toStdString();
    EXPECT_TRUE(std::any_of(messages().begin(), messages().end(), [](const auto& shown) {
        return shown.text.startsWith(QStringLiteral("There is no temporary folder to save the workbook in."));
    }));
    EXPECT_EQ(QDir(QStringLiteral("/")).entryList({QStringLiteral("vetrik*")}, QDir::Files), rootBefore);
    EXPECT_EQ(QDir(fallback).entryList(QDir::Files), QStringList());
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_TRUE(window.form2()->mExcelFile.isEmpty());
}

TEST_F(GenerationRunTest, ADoubleClickRunsOnce)
{
    window.show();
    // The second click of a double-click, still waiting while the first runs.
    const QPoint centre = window.PushButton22->rect().center();
    const QPoint global = window.PushButton22->mapToGlobal(centre);
    QCoreApplication::postEvent(window.PushButton22, new QMouseEvent(QEvent::MouseButtonPress, centre, global,
                                                                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(window.PushButton22, new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                                     Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    run();

    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
    ASSERT_EQ(workbooksInTemp().size(), 1);
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_EQ(window.form2()->mExcelFile, tempFolder() + u'/' + workbooksInTemp().first());
    click(window.form2()->PushButton8); // "< Back" deletes the one workbook
    entry_tests::settle();
    EXPECT_TRUE(workbooksInTemp().isEmpty());
}

TEST_F(GenerationRunTest, ADanglingTemplateLinkIsNotFollowed)
{
    const QString missing = testing_support::testRoot() + QStringLiteral("/template-through-link");
    ASSERT_TRUE(QFile::link(missing, tempPath(QStringLiteral("template.xlt"))));
    run();
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_FALSE(messages().isEmpty());
    // The run still ends by showing the preview.
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_TRUE(window.form2()->isVisible());
}

TEST_F(GenerationRunTest, AFailingStepIsReportedAndTheRunGoesOn)
{
    // A TEMP folder that does not exist: the template cannot be written.
    qputenv("TEMP", (testing_support::testRoot() + QStringLiteral("/no-such-folder")).toLocal8Bit());
    window.show();
    run();

    ASSERT_FALSE(messages().isEmpty());
    EXPECT_TRUE(messages().first().text.endsWith(entry_tests::reportTail(QStringLiteral("Form1.PushButton22_Click"), 112)))
        << messages().first().text.toStdString();
    QList<int> lines;
    for (const auto& message : messages()) {
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("Form1\\.PushButton22_Click at line (\\d+)\r")).match(message.text);
        if (match.hasMatch())
            lines << match.captured(1).toInt();
    }
    // Every later step that needs the workbook fails in turn, in order.
    EXPECT_TRUE(lines.contains(114));
    EXPECT_TRUE(lines.contains(172));
    EXPECT_TRUE(lines.contains(198));
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end()));
    // ...and the run still ends with the preview shown.
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_TRUE(window.form2()->isVisible());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.updatesEnabled());
    EXPECT_EQ(window.mousePointer().value(), 0);
}

// Notes the entry window's pointer and drawing whenever a report is shown.
class WatchingDialogs final : public services::DialogHost {
public:
    explicit WatchingDialogs(Form1& window) : window_(window) {}
    void message(QWidget*, const QString&, const QString& text, services::MessageIcon) override
    {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("Form1\\.PushButton22_Click at line (\\d+)\r")).match(text);
        if (match.hasMatch())
            seen[match.captured(1).toInt()] = {window_.mousePointer().value(), window_.updatesEnabled()};
    }
    services::Answer askYesNo(QWidget*, const QString&, const QString&) override { return services::Answer::Yes; }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }

    std::map<int, std::pair<int, bool>> seen; // line -> pointer, drawing on

private:
    Form1& window_;
};

TEST_F(GenerationRunTest, HourglassAndFrozenDrawingWhileTheStepsRun)
{
    qputenv("TEMP", (testing_support::testRoot() + QStringLiteral("/no-such-folder")).toLocal8Bit());
    window.show();
    WatchingDialogs watching(window);
    services::setDialogHost(&watching);
    run();
    services::setDialogHost(&testing_support::recordedDialogs());

    // Hourglass from 106 to 154 and from 184 to 196; drawing frozen throughout.
    const std::map<int, int> pointerAt = {{112, 11}, {114, 11}, {122, 11}, {172, 0}, {182, 0}, {186, 11}, {198, 0}};
    for (const auto& [line, pointer] : pointerAt) {
        ASSERT_TRUE(watching.seen.count(line)) << "no report at line " << line;
        EXPECT_EQ(watching.seen[line].first, pointer) << "line " << line;
        EXPECT_FALSE(watching.seen[line].second) << "drawing not frozen at line " << line;
    }
    EXPECT_EQ(window.mousePointer().value(), 0);
    EXPECT_TRUE(window.updatesEnabled());
}

TEST_F(GenerationRunTest, BackThenASecondRunReusesThePreview)
{
    window.show();
    click(window.PushButton2);
    run();
    preview::Form2* first = window.form2();
    ASSERT_NE(first, nullptr);
    const QImage firstPicture = previewPicture(*first).toImage();
    ASSERT_FALSE(firstPicture.isNull());

    click(first->PushButton8); // "< Back"
    entry_tests::settle();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(workbooksInTemp().isEmpty());

    for (QLineEdit* box : amountBoxes(window))
        box->clear();
    run();
    EXPECT_EQ(window.form2(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(window.isVisible());
    // The hidden copy that zooming paints from holds the new picture, and
    // the view starts again at 100 %.
    const QImage secondPicture = previewPicture(*first).toImage();
    EXPECT_FALSE(secondPicture.isNull());
    EXPECT_NE(secondPicture, firstPicture);
    EXPECT_EQ(first->Zoom_Ori->picture().toImage(), secondPicture);
    EXPECT_FLOAT_EQ(first->viewport().mZoom, 1.0f);
    EXPECT_TRUE(first->Picture1->isStretched());
    EXPECT_EQ(workbooksInTemp().size(), 1);
    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
}

} // namespace
