// "Start Creating Template" from end to end, offscreen: the workbook it
// leaves in TEMP, the preview it shows, and the files it must not touch.
#include "entry/AmountText.h"
#include "entry/BalanceCheckView.h"
#include "entry/Form1.h"
#include "generation/Excel1.h"
#include "generation/GenerationRun.h"
#include "preview/Form2.h"
#include "preview/ImageBox.h"
#include "resources/TemplateWorkbook.h"
#include "services/Dialogs.h"
#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "services/MousePointer.h"
#include "services/UserLocale.h"
#include "spreadsheet/Value.h"
#include "spreadsheet/XlsFile.h"
#include "tests/entry/EntryTestSupport.h"
#include "tests/support/Csv.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/SampleBalanceSheet.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
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
        texts << text;
    }
    services::Answer askYesNo(QWidget*, const QString&, const QString&) override { return services::Answer::Yes; }
    QString saveFileName(QWidget*, const QString&, const QString&, QString*) override { return {}; }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }

    std::map<int, std::pair<int, bool>> seen; // line -> pointer, drawing on
    QStringList texts;

private:
    Form1& window_;
};

// Gnumeric reads what the run wrote.
class GenerationRunInterop : public GenerationRunTest {};

TEST_F(GenerationRunInterop, SampleAmountsEndInTheWorkbookAndThePreview)
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

// The entry window's balance check shows what Gnumeric computes from the
// workbook the run makes of the same amounts.
TEST_F(GenerationRunInterop, TheBalanceCheckAgreesWithTheGeneratedWorkbook)
{
    const struct {
        const char* name;
        std::function<void()> enter;
    } cases[] = {
        {"sample", [&] { click(window.PushButton2); }},
        {"all empty", [&] { click(window.PushButton1); }},
        {"negative deductions",
         [&] {
             click(window.PushButton2);
             for (QLineEdit* box : {window.txtAmountAssets[2], window.txtAmountAssets[9], window.txtAmountAssets[11],
                                    window.txtAmountAssets[13], window.txtAmountL[3]})
                 box->setText(QStringLiteral("-$1,234"));
         }},
    };
    window.show();
    for (const auto& tried : cases) {
        SCOPED_TRACE(tried.name);
        testing_support::emptyFolder(tempFolder());
        tried.enter();
        entry_tests::settle();
        const QStringList shown{window.balanceCheck->totalAssets->text(),
                                window.balanceCheck->totalLiabilities->text()};
        run();
        QString path;
        onlyWorkbook(&path);
        QString problem;
        const std::optional<testing_support::CsvGrid> recalculated =
            testing_support::gnumericRecalculatedBalanceSheet(path, &problem);
        ASSERT_TRUE(recalculated) << problem.toStdString();
        QStringList computed;
        for (const char* a1 : {"D30", "H30"}) {
            const QString field = testing_support::csvField(*recalculated, a1);
            computed << (field.isEmpty() ? QString() : entry::formatAmount(field.toDouble(), services::userLocale()));
        }
        EXPECT_EQ(shown, computed);
        click(window.form2()->PushButton8); // "< Back"
        entry_tests::settle();
    }
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

// Whatever sits at "template.xlt" before the run (an earlier run's, one cut
// short by a kill, or one planted by someone else) is never opened: the run
// writes its own afresh.
TEST_F(GenerationRunTest, ATemplateFoundInTempIsNeverOpened)
{
    spreadsheet::Workbook planted = spreadsheet::readXlsFile(resources::templateWorkbook());
    planted.sheets[0].cellAt(spreadsheet::cellAddress(QStringLiteral("B5"))).value = QStringLiteral("planted");
    const QByteArray whole = spreadsheet::writeXlsFile(planted);
    for (const QByteArray& found : {whole, whole.left(whole.size() / 2)}) {
        testing_support::emptyFolder(tempFolder());
        ASSERT_NO_FATAL_FAILURE(writeFileBytes(tempPath(QStringLiteral("template.xlt")), found));
        run();

        EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
        EXPECT_TRUE(isBlank(onlyWorkbook(), "B5"));
        EXPECT_FALSE(QFile::exists(tempPath(QStringLiteral("template.xlt"))));
        click(window.form2()->PushButton8); // "< Back"
        entry_tests::settle();
        messages().clear();
    }
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
    // The link was replaced by the run's own file, which was then deleted.
    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
    EXPECT_FALSE(QFileInfo(tempPath(QString::fromLatin1(GetParam()))).isSymLink());
    EXPECT_FALSE(previewPicture(*window.form2()).isNull());
}

INSTANTIATE_TEST_SUITE_P(Names, PlantedLinkTest, ::testing::Values("temp.bmp", "template.xlt"));

// A failing step of the name draw is reported under its own number, and
// the run goes on with the next step, as every reporting procedure does.
TEST_F(GenerationRunTest, AFailedNameDrawIsReportedUnderItsOwnStep)
{
    int calls = 0;
    window.setWorkbookNameDraw([&] {
        if (++calls == 3)
            throw services::Failure(QStringLiteral("no random number"));
        return 0.5;
    });
    run();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].text.startsWith(QStringLiteral("no random number")));
    EXPECT_TRUE(messages()[0].text.endsWith(entry_tests::reportTail(QStringLiteral("Form1.PushButton22_Click"), 160)))
        << messages()[0].text.toStdString();
    // The third digit kept its starting value.
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_EQ(window.form2()->mExcelFile, tempPath(QStringLiteral("vetrik55155555.xls")));
}

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

// Where the run cannot put its own template in place (another user's file
// in a shared sticky folder refuses the rename, a folder stands in its
// place, TEMP names a folder that does not exist) or cannot read it back,
// it says so once, under that step, and makes no workbook and no preview.
TEST_F(GenerationRunTest, ATemplateThatCannotBeWrittenOrOpenedIsReportedOnceAndMakesNoWorkbook)
{
    const QString temp = qEnvironmentVariable("TEMP");
    const struct {
        const char* name;
        std::function<void()> arrange;
        int step;
    } cases[] = {
        {"rename refused",
         [] { fault_injection::inject(fault_injection::Call::Rename, EPERM, QStringLiteral("template.xlt")); }, 112},
        {"folder in its place", [] { QDir().mkpath(tempPath(QStringLiteral("template.xlt"))); }, 112},
        {"TEMP names no folder", [&] { qputenv("TEMP", (temp + QStringLiteral("/missing")).toLocal8Bit()); }, 112},
        {"read fails",
         [] { fault_injection::inject(fault_injection::Call::Read, EIO, QStringLiteral("template.xlt")); }, 114},
    };
    window.show();
    for (const auto& c : cases) {
        fault_injection::Scope faults;
        c.arrange();
        WatchingDialogs watching(window);
        services::setDialogHost(&watching);
        run();
        services::setDialogHost(&testing_support::recordedDialogs());
        qputenv("TEMP", temp.toLocal8Bit());
        QDir(tempPath(QStringLiteral("template.xlt"))).removeRecursively(); // the folder case's

        ASSERT_EQ(watching.texts.size(), 1) << c.name << '\n' << watching.texts.join(u'\n').toStdString();
        EXPECT_TRUE(
            watching.texts[0].endsWith(entry_tests::reportTail(QStringLiteral("Form1.PushButton22_Click"), c.step)))
            << c.name << '\n'
            << watching.texts[0].toStdString();
        EXPECT_EQ(watching.seen[c.step], std::pair(11, false)) << c.name << ": hourglass and frozen drawing";
        EXPECT_TRUE(workbooksInTemp().isEmpty()) << c.name;
        EXPECT_EQ(window.form2(), nullptr) << c.name;
        EXPECT_TRUE(window.isVisible()) << c.name;
        EXPECT_EQ(window.mousePointer().value(), 0) << c.name;
        EXPECT_TRUE(window.updatesEnabled()) << c.name;
        if (c.step == 114) {
            EXPECT_FALSE(QFile::exists(tempPath(QStringLiteral("template.xlt")))) << "the run's own template is gone";
        }
    }
}

TEST_F(GenerationRunTest, WithoutAPrivateTemporaryFolderNothingIsWrittenAnywhere)
{
    // No TEMP, a runtime folder others can enter, and no private folder can
    // be made: the one report names why.
    qunsetenv("TEMP");
    const QString shared = testing_support::testRoot() + QStringLiteral("/shared-runtime");
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_TRUE(QFile::setPermissions(shared, QFileDevice::Permissions(0x7777)));
    qputenv("XDG_RUNTIME_DIR", shared.toLocal8Bit());
    // A file where the system temporary folder should be.
    const QString notAFolder = testing_support::testRoot() + QStringLiteral("/not-a-folder");
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(notAFolder, "file"));
    qputenv("TMPDIR", notAFolder.toLocal8Bit());
    const QStringList rootBefore = QDir(QStringLiteral("/")).entryList(QDir::Files);

    window.show();
    run();
    qunsetenv("TMPDIR");

    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().text.startsWith(QStringLiteral("A private temporary folder cannot be made")))
        << messages().first().text.toStdString();
    EXPECT_TRUE(
        messages().first().text.endsWith(entry_tests::reportTail(QStringLiteral("Form1.PushButton22_Click"), 108)));
    EXPECT_EQ(QDir(QStringLiteral("/")).entryList(QDir::Files), rootBefore);
    EXPECT_TRUE(QDir(shared).isEmpty());
    EXPECT_EQ(window.form2(), nullptr);
}

TEST_F(GenerationRunTest, ADoubleClickRunsOnce)
{
    window.show();
    // The second click of a double-click, still waiting while the first runs.
    const QPoint centre = window.PushButton22->rect().center();
    const QPoint global = window.PushButton22->mapToGlobal(centre);
    QCoreApplication::postEvent(
        window.PushButton22,
        new QMouseEvent(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        window.PushButton22,
        new QMouseEvent(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    run();

    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
    ASSERT_EQ(workbooksInTemp().size(), 1);
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_EQ(window.form2()->mExcelFile, tempFolder() + u'/' + workbooksInTemp().first());
    click(window.form2()->PushButton8); // "< Back" deletes the one workbook
    entry_tests::settle();
    EXPECT_TRUE(workbooksInTemp().isEmpty());
}

TEST_F(GenerationRunTest, AFailingStepIsReportedAndTheRunGoesOn)
{
    // The disk is full when the workbook is saved.
    fault_injection::Scope faults;
    fault_injection::inject(fault_injection::Call::Write, ENOSPC, QStringLiteral("vetrik"));
    window.show();
    run();

    ASSERT_FALSE(messages().isEmpty());
    EXPECT_TRUE(
        messages().first().text.endsWith(entry_tests::reportTail(QStringLiteral("Form1.PushButton22_Click"), 172)))
        << messages().first().text.toStdString();
    EXPECT_TRUE(messages().first().text.contains(QStringLiteral("No space left on device")));
    QList<int> lines;
    for (const auto& message : messages()) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("Form1\\.PushButton22_Click at line (\\d+)\r")).match(message.text);
        if (match.hasMatch())
            lines << match.captured(1).toInt();
    }
    // Every later step that needs the workbook fails in turn, in order.
    EXPECT_TRUE(lines.contains(182));
    EXPECT_TRUE(lines.contains(198));
    EXPECT_TRUE(workbooksInTemp().isEmpty()) << "nothing half-written is offered";
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end()));
    // ...and the run still ends with the preview shown.
    ASSERT_NE(window.form2(), nullptr);
    EXPECT_TRUE(window.form2()->isVisible());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.updatesEnabled());
    EXPECT_EQ(window.mousePointer().value(), 0);
}

TEST_F(GenerationRunTest, HourglassAndFrozenDrawingWhileTheStepsRun)
{
    fault_injection::Scope faults;
    fault_injection::inject(fault_injection::Call::Write, ENOSPC, QStringLiteral("vetrik"));
    window.show();
    WatchingDialogs watching(window);
    services::setDialogHost(&watching);
    run();
    services::setDialogHost(&testing_support::recordedDialogs());

    // Hourglass from 106 to 154 (see the template test for 112) and from 184
    // to 196; drawing frozen throughout.
    const std::map<int, int> pointerAt = {{172, 0}, {182, 0}, {186, 11}, {198, 0}};
    for (const auto& [line, pointer] : pointerAt) {
        ASSERT_TRUE(watching.seen.count(line)) << "no report at line " << line;
        EXPECT_EQ(watching.seen[line].first, pointer) << "line " << line;
        EXPECT_FALSE(watching.seen[line].second) << "drawing not frozen at line " << line;
    }
    EXPECT_EQ(window.mousePointer().value(), 0);
    EXPECT_TRUE(window.updatesEnabled());
}

// The preview shows the picture this run saved, or none: never an earlier
// run's, and never one that someone else left at "temp.bmp".
TEST_F(GenerationRunTest, ThePreviewShowsOnlyThePictureThisRunSaved)
{
    window.show();
    click(window.PushButton2);
    run();
    ASSERT_FALSE(previewPicture(*window.form2()).isNull());
    ASSERT_FALSE(window.isVisible());
    click(window.form2()->PushButton8); // "< Back"
    entry_tests::settle();
    EXPECT_TRUE(window.isVisible());

    QImage planted(40, 30, QImage::Format_RGB32);
    planted.fill(Qt::red);
    ASSERT_TRUE(planted.save(tempPath(QStringLiteral("temp.bmp")), "BMP"));
    // As in a shared sticky folder: the name is someone else's.
    fault_injection::Scope faults;
    fault_injection::inject(fault_injection::Call::Rename, EPERM, QStringLiteral("temp.bmp"));
    run();

    preview::Form2& form2 = *window.form2();
    EXPECT_TRUE(form2.isVisible());
    EXPECT_TRUE(form2.Picture1->picture().isNull());
    EXPECT_TRUE(form2.Zoom_Ori->picture().isNull());
    ASSERT_EQ(messages().size(), 2);
    EXPECT_TRUE(
        messages()[0].text.endsWith(entry_tests::reportTail(QStringLiteral("Excel1.saveCellsActivesheet"), 112)));
    EXPECT_TRUE(messages()[1].text.endsWith(entry_tests::reportTail(QStringLiteral("Form1.PushButton22_Click"), 198)));
    EXPECT_EQ(workbooksInTemp().size(), 1) << "the workbook itself was made";
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

// Step 198 reads the picture back from "temp.bmp", by what the file holds,
// and only while it is still the file the run saved.
TEST_F(GenerationRunTest, ThePictureIsReadBackFromItsFileWhileItIsTheRunsOwn)
{
    struct Case {
        const char* name;
        std::function<void(const QString&)> meddle;
        QString refusal; // empty: the picture is shown
    };
    const Case cases[] = {
        {"untouched", [](const QString&) {}, {}},
        {"deleted", [](const QString& path) { QFile::remove(path); }, QStringLiteral("File not found: ")},
        {"replaced",
         [](const QString& path) {
             QImage other(40, 30, QImage::Format_RGB32);
             other.fill(Qt::red);
             QFile::remove(path);
             ASSERT_TRUE(other.save(path, "BMP"));
         },
         QStringLiteral("was replaced by another program")},
        {"grown", [](const QString& path) { writeFileBytes(path, readFileBytes(path) + "x"); },
         QStringLiteral("was replaced by another program")},
    };
    for (const Case& tried : cases) {
        SCOPED_TRACE(tried.name);
        services::ErrorTrap trap(QStringLiteral("in test"));
        generation::GenerationRun run(trap, {QDate(2024, 3, 15), QStringList(14), QStringList(10)});
        run.rememberSkipLists();
        ASSERT_TRUE(run.writeTemplate());
        ASSERT_TRUE(run.openTemplate());
        run.fillTemplate();
        run.saveWorkbook();
        run.releaseApplication();
        EXPECT_TRUE(generation::ExcelBook.has_value()) << "the run's workbook object stays until the next run";
        run.reopenWorkbook();
        run.takeSnapshot();
        ASSERT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
        const QImage saved(run.picturePath(), "BMP");
        tried.meddle(run.picturePath());
        try {
            const QImage shown = run.loadPicture();
            EXPECT_TRUE(tried.refusal.isEmpty());
            EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32), saved.convertToFormat(QImage::Format_RGB32));
        } catch (const services::Failure& failure) {
            EXPECT_TRUE(!tried.refusal.isEmpty() && failure.description().contains(tried.refusal))
                << failure.description().toStdString();
        }
        run.deleteSnapshotFile();
        run.deleteTemplateFile();
        QFile::remove(run.workbookPath());
    }
}

// The preview saves and prints the run's workbook through the engine.
TEST_F(GenerationRunTest, ThePreviewSavesPdfAndXlsxAndPrints)
{
    window.show();
    click(window.PushButton2);
    run();
    preview::Form2& preview = *window.form2();
    const QString pdf = tempPath(QStringLiteral("balance.pdf")), xlsx = tempPath(QStringLiteral("balance.xlsx")),
                  printed = tempPath(QStringLiteral("printed.pdf"));
    for (const QString& name : {pdf, xlsx}) {
        testing_support::recordedDialogs().fileNames.push_back(name);
        preview.PushButton6->click();
    }
    testing_support::recordedDialogs().printedTo = printed;
    QTest::keyClick(&preview, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(messages().size(), 2) << messages().value(0).text.toStdString(); // "Done." twice
    EXPECT_TRUE(readFileBytes(pdf).startsWith("%PDF"));
    EXPECT_TRUE(readFileBytes(xlsx).startsWith("PK"));
    EXPECT_TRUE(readFileBytes(printed).startsWith("%PDF"));
}
