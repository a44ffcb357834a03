#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "services/PictureBox.h"
#include "services/ProgramFolder.h"
#include "services/SettingsStore.h"
#include "services/SharedRoutines.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::UnorderedElementsAre;
using testing_support::programDir;
using testing_support::readFileBytes;
using testing_support::recordedDialogs;
using testing_support::testRoot;
using testing_support::writeFileBytes;

namespace {

QString tempPath(const QString& name)
{
    return testRoot() + QStringLiteral("/temp/") + name;
}

// Splits the dump into its lines, each still ending in CR LF.
QStringList dumpLines(const QByteArray& bytes)
{
    QStringList lines;
    const QString text = QString::fromUtf8(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf(QStringLiteral("\r\n"), start);
        if (end < 0) {
            lines << text.mid(start);
            break;
        }
        lines << text.mid(start, end + 2 - start);
        start = end + 2;
    }
    return lines;
}

const QColor kMarker(0xC0, 0x10, 0x80);
const QColor kButtonFace(0x21, 0x43, 0x65);

void paintMarker(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, kMarker);
    widget->setPalette(palette);
}

// A window with one control of every kind the colour routines look at, each
// painted in a marker colour so a change shows.
struct StyledWindow {
    QWidget window;
    QLabel* caption = new QLabel(QStringLiteral("Cash"), &window);
    QLabel* heading = new QLabel(QStringLiteral("ASSETS"), &window);
    QGroupBox* frame = new QGroupBox(QStringLiteral("Options"), &window);
    QCheckBox* check = new QCheckBox(frame);
    QRadioButton* option = new QRadioButton(frame);
    QLabel* labelInFrame = new QLabel(frame);
    QLabel* headingInFrame = new QLabel(frame);
    services::PictureBox* picture = new services::PictureBox(&window);
    services::PictureBox* pictureInFrame = new services::PictureBox(frame);
    QLineEdit* edit = new QLineEdit(&window);
    QPushButton* button = new QPushButton(&window);

    StyledWindow()
    {
        QPalette appPalette = QApplication::palette();
        appPalette.setColor(QPalette::Button, kButtonFace);
        QApplication::setPalette(appPalette);

        heading->setObjectName(QStringLiteral("lblYear"));
        headingInFrame->setObjectName(QStringLiteral("lblYear"));
        caption->setObjectName(QStringLiteral("lblCaption"));
        for (QWidget* widget : allWidgets())
            paintMarker(widget);
    }

    QList<QWidget*> allWidgets()
    {
        return {&window,      caption,        heading, frame,          check, option,
                labelInFrame, headingInFrame, picture, pictureInFrame, edit,  button};
    }

    static QColor colourOf(const QWidget* widget) { return widget->palette().color(QPalette::Window); }
};

void expectButtonFace(const QWidget* widget, const char* what)
{
    EXPECT_EQ(StyledWindow::colourOf(widget), kButtonFace) << what;
    EXPECT_TRUE(widget->autoFillBackground()) << what << " must paint its background to show the colour";
}

void expectUntouched(const QWidget* widget, const char* what)
{
    EXPECT_EQ(StyledWindow::colourOf(widget), kMarker) << what;
}

void makeSkinFolder()
{
    ASSERT_TRUE(QDir().mkpath(programDir() + QStringLiteral("/x")));
}

QString regPath()
{
    return programDir() + QStringLiteral("/reg.txt");
}

// Folders named "reg.txt" beside the program and in the user's state
// folder, where the dump goes when not beside the program. Returns the
// second.
QString blockBothDumpPlaces()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(testRoot() + QStringLiteral("/state")));
    const QString stateDump = services::userStateFolder() + QStringLiteral("/reg.txt");
    EXPECT_TRUE(QDir().mkpath(regPath()));
    EXPECT_TRUE(QDir().mkpath(stateDump));
    return stateDump;
}

} // namespace

// ---- FileExists ----

TEST(FileExists, ExistingFileAndFolderAreFound)
{
    const QString path = tempPath(QStringLiteral("present.bin"));
    writeFileBytes(path, "x");
    EXPECT_TRUE(services::FileExists(path));
    EXPECT_TRUE(services::FileExists(testRoot() + QStringLiteral("/temp")));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(FileExists, EmptyFileIsFound)
{
    const QString path = tempPath(QStringLiteral("empty.bin"));
    writeFileBytes(path, QByteArray());
    EXPECT_TRUE(services::FileExists(path));
}

TEST(FileExists, MissingEmptyAndUnreachablePathsAreFalseWithoutMessage)
{
    EXPECT_FALSE(services::FileExists(tempPath(QStringLiteral("absent.bin"))));
    EXPECT_FALSE(services::FileExists(QString()));
    EXPECT_FALSE(services::FileExists(testRoot() + QStringLiteral("/no-such-folder/file.txt")));
    EXPECT_FALSE(services::FileExists(QStringLiteral("\x01:*?<>|")));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(FileExists, PathThroughAFileIsFalse)
{
    const QString file = tempPath(QStringLiteral("plain.txt"));
    writeFileBytes(file, "x");
    EXPECT_FALSE(services::FileExists(file + QStringLiteral("/inside.txt")));
}

// ---- DeleteFileQuietly ----

TEST(DeleteFileQuietly, MissingFileDoesNothingAndShowsNothing)
{
    const QString path = tempPath(QStringLiteral("absent.bin"));
    services::DeleteFileQuietly(path);
    services::DeleteFileQuietly(QString());
    services::DeleteFileQuietly(testRoot() + QStringLiteral("/no-such-folder/x"));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(DeleteFileQuietly, ExistingFileIsDeleted)
{
    const QString path = tempPath(QStringLiteral("template.xlt"));
    writeFileBytes(path, "data");
    const QString neighbour = tempPath(QStringLiteral("temp.bmp"));
    writeFileBytes(neighbour, "keep");
    services::DeleteFileQuietly(path);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QFile::exists(neighbour));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(DeleteFileQuietly, NonEmptyFolderIsLeftWithoutComplaint)
{
    const QString folder = tempPath(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    writeFileBytes(folder + QStringLiteral("/inner.txt"), "x");
    services::DeleteFileQuietly(folder);
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/inner.txt")));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(DeleteFileQuietly, PendingEventsRunBeforeTheFileGoes)
{
    const QString path = tempPath(QStringLiteral("held.bin"));
    writeFileBytes(path, "data");
    bool ran = false;
    bool fileWasThere = false;
    QTimer::singleShot(0, qApp, [&] {
        ran = true;
        fileWasThere = QFile::exists(path);
    });
    services::DeleteFileQuietly(path);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(fileWasThere) << "windows must get their turn while the file still exists";
    EXPECT_FALSE(QFile::exists(path));
}

// ---- WriteBytesToFile ----

TEST(WriteBytesToFile, WritesExactlyTheBytesToANewFile)
{
    QByteArray bytes(22528, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131 + 7) & 0xFF); // every byte value, CR, LF and NUL included
    const QString path = tempPath(QStringLiteral("template.xlt"));
    services::WriteBytesToFile(bytes, path);
    const QByteArray written = readFileBytes(path);
    EXPECT_EQ(written.size(), 22528);
    EXPECT_TRUE(written == bytes);
}

TEST(WriteBytesToFile, ALongerFileIsReplacedWholeAndALinkThereIsNotFollowed)
{
    const QString path = tempPath(QStringLiteral("template.xlt"));
    writeFileBytes(path, QByteArray(100, 'x'));
    services::WriteBytesToFile(QByteArrayLiteral("abc"), path);
    EXPECT_EQ(readFileBytes(path), QByteArrayLiteral("abc"));

    const QString victim = tempPath(QStringLiteral("victim"));
    writeFileBytes(victim, "keep");
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(victim, path));
    services::WriteBytesToFile(QByteArrayLiteral("abc"), path);
    EXPECT_EQ(readFileBytes(victim), QByteArrayLiteral("keep"));
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readFileBytes(path), QByteArrayLiteral("abc"));
}

TEST(WriteBytesToFile, EmptyArrayCreatesAnEmptyFile)
{
    const QString path = tempPath(QStringLiteral("empty.xlt"));
    services::WriteBytesToFile(QByteArray(), path);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
}

TEST(WriteBytesToFile, MissingFolderThrowsFailureNamingThePath)
{
    const QString path = testRoot() + QStringLiteral("/no-such-folder/template.xlt");
    try {
        services::WriteBytesToFile(QByteArrayLiteral("abc"), path);
        FAIL() << "no failure";
    } catch (const services::Failure& failure) {
        EXPECT_TRUE(failure.description().contains(path)) << failure.description().toStdString();
    }
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty()) << "it has no trap: the caller reports";
}

TEST(WriteBytesToFile, FailureIsReportedByTheCallingStep)
{
    const QString path = testRoot() + QStringLiteral("/no-such-folder/template.xlt");
    {
        services::ErrorTrap trap(services::locationText(QStringLiteral("Form1"), QStringLiteral("PushButton22_Click")));
        trap.step(104, [&] { services::WriteBytesToFile(QByteArrayLiteral("abc"), path); });
    }
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const QString text = recordedDialogs().messages.front().text;
    EXPECT_TRUE(text.contains(path));
    EXPECT_TRUE(text.contains(QStringLiteral("\r\nin Corvantis2021/08/31.Form1.PushButton22_Click at line 104\r\r")));
}

// ---- Application title ----

TEST(AppTitle, TwoWordNameKeepsTheFirst)
{
    EXPECT_EQ(services::TitleFromProductName(QStringLiteral("One Two")), QStringLiteral("One"));
}

TEST(AppTitle, ShortNameStillLosesItsLastWord)
{
    EXPECT_EQ(services::TitleFromProductName(QStringLiteral("Corvantis Balance Sheet")),
              QStringLiteral("Corvantis Balance"));
}

TEST(AppTitle, LongNameLosesWordsUntilFortyOrFewer)
{
    const QString name = QStringLiteral("Balance Sheet Template Maker For Small Firms Today");
    ASSERT_EQ(name.size(), 50);
    const QString title = services::TitleFromProductName(name);
    EXPECT_EQ(title, QStringLiteral("Balance Sheet Template Maker For Small"));
    EXPECT_LE(title.size(), 40);
}

TEST(AppTitle, FortyCharactersAfterTheFirstDropAreKept)
{
    const QString forty = QStringLiteral("Aaaaaaaaaa Bbbbbbbbbb Cccccccccc Ddddddd");
    ASSERT_EQ(forty.size(), 40);
    EXPECT_EQ(services::TitleFromProductName(forty + QStringLiteral(" Tail")), forty);
    EXPECT_EQ(services::TitleFromProductName(forty + QStringLiteral("d Tail")),
              QStringLiteral("Aaaaaaaaaa Bbbbbbbbbb Cccccccccc"));
}

TEST(AppTitle, NameWithoutBlankIsKeptWhole)
{
    EXPECT_EQ(services::TitleFromProductName(QStringLiteral("Corvantis")), QStringLiteral("Corvantis"));
    const QString longWord(45, u'W');
    EXPECT_EQ(services::TitleFromProductName(longWord), longWord);
}

TEST(AppTitle, SetAppTitleGivesCorvantis)
{
    services::SetAppTitle();
    EXPECT_EQ(services::AppTitle(), QStringLiteral("Corvantis"));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

// ---- Skin and colours ----

TEST(ApplySkin, WithoutSkinFileNothingChanges)
{
    StyledWindow styled;
    services::ApplySkin(&styled.window, QStringLiteral("lblYear"));
    for (QWidget* widget : styled.allWidgets()) {
        EXPECT_EQ(StyledWindow::colourOf(widget), kMarker) << widget->metaObject()->className();
        EXPECT_FALSE(widget->autoFillBackground()) << widget->metaObject()->className();
    }
}

TEST(ApplySkin, FolderInPlaceOfTheSkinFileDoesNotCount)
{
    ASSERT_TRUE(QDir().mkpath(programDir() + QStringLiteral("/x/o.cjs")));
    StyledWindow styled;
    services::ApplySkin(&styled.window, QStringLiteral("lblYear"));
    for (QWidget* widget : styled.allWidgets())
        EXPECT_EQ(StyledWindow::colourOf(widget), kMarker) << widget->metaObject()->className();
}

TEST(ApplySkin, SkinFileOfAnotherNameDoesNotCount)
{
    makeSkinFolder();
    writeFileBytes(programDir() + QStringLiteral("/x/.o.cjs"), "skin");
    writeFileBytes(programDir() + QStringLiteral("/x/o.cjs.bak"), "skin");
    writeFileBytes(programDir() + QStringLiteral("/o.cjs"), "skin");
    StyledWindow styled;
    services::ApplySkin(&styled.window, QStringLiteral("lblYear"));
    expectUntouched(&styled.window, "window");
}

TEST(ApplySkin, WithSkinFileRecoloursWindowFramesLabelsOptionsAndPictures)
{
    makeSkinFolder();
    writeFileBytes(programDir() + QStringLiteral("/x/o.cjs"), "skin");
    StyledWindow styled;
    services::ApplySkin(&styled.window, QStringLiteral("lblYear"));
    expectButtonFace(&styled.window, "window");
    expectButtonFace(styled.caption, "label");
    expectButtonFace(styled.frame, "frame");
    expectButtonFace(styled.check, "check box in a frame");
    expectButtonFace(styled.option, "option button in a frame");
    expectButtonFace(styled.labelInFrame, "label in a frame");
    expectButtonFace(styled.picture, "picture box");
    expectButtonFace(styled.pictureInFrame, "picture box in a frame");
    expectUntouched(styled.heading, "lblYear");
    expectUntouched(styled.headingInFrame, "lblYear in a frame");
    expectUntouched(styled.edit, "text box");
    expectUntouched(styled.button, "push button");
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(ApplyBackColor, RecoloursAllButPictureBoxesAndIgnoresNames)
{
    StyledWindow styled;
    services::ApplyBackColor(&styled.window);
    expectButtonFace(&styled.window, "window");
    expectButtonFace(styled.caption, "label");
    expectButtonFace(styled.heading, "label named lblYear");
    expectButtonFace(styled.headingInFrame, "label named lblYear in a frame");
    expectButtonFace(styled.frame, "frame");
    expectButtonFace(styled.check, "check box");
    expectButtonFace(styled.option, "option button");
    expectButtonFace(styled.labelInFrame, "label in a frame");
    expectUntouched(styled.picture, "picture box");
    expectUntouched(styled.pictureInFrame, "picture box in a frame");
    expectUntouched(styled.edit, "text box");
    expectUntouched(styled.button, "push button");
}

TEST(ApplyBackColor, SkinFileMakesNoDifference)
{
    makeSkinFolder();
    writeFileBytes(programDir() + QStringLiteral("/x/o.cjs"), "skin");
    StyledWindow styled;
    services::ApplyBackColor(&styled.window);
    expectUntouched(styled.picture, "picture box");
}

// ---- RegistryCapture ----

TEST(RegistryCapture, ThreeKeysGiveThreeLinesWithoutSurroundingBlanks)
{
    services::settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash and equivalents"));
    services::settingsStore().write(QStringLiteral("txtAmountAssets0"), QStringLiteral("  $43,000  "));
    services::settingsStore().write(QStringLiteral("dtpFrom"), QStringLiteral(" 8/31/2021"));
    EXPECT_TRUE(services::RegistryCapture().isEmpty());
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());

    const QByteArray bytes = readFileBytes(regPath());
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_THAT(dumpLines(bytes),
                UnorderedElementsAre(QStringLiteral("txtAssets0: Cash and equivalents\r\n"),
                                     QStringLiteral("txtAmountAssets0: $43,000\r\n"),
                                     QStringLiteral("dtpFrom: 8/31/2021\r\n")));
}

TEST(RegistryCapture, EmptyValueGivesKeyAndSeparatorOnly)
{
    services::settingsStore().write(QStringLiteral("txtAssets5"), QString());
    services::settingsStore().write(QStringLiteral("txtAssets6"), QStringLiteral("   "));
    services::RegistryCapture();
    EXPECT_THAT(dumpLines(readFileBytes(regPath())),
                UnorderedElementsAre(QStringLiteral("txtAssets5: \r\n"), QStringLiteral("txtAssets6: \r\n")));
}

TEST(RegistryCapture, ExistingLongerDumpIsReplacedNotAppended)
{
    QByteArray old;
    for (int i = 0; i < 50; ++i)
        old += "OLD LINE " + QByteArray::number(i) + "\r\n";
    writeFileBytes(regPath(), old);
    services::settingsStore().write(QStringLiteral("txtAssets1"), QStringLiteral("Receivables"));
    services::RegistryCapture();
    EXPECT_EQ(readFileBytes(regPath()), QByteArrayLiteral("txtAssets1: Receivables\r\n"));
}

TEST(RegistryCapture, RunTwiceGivesTheSameDump)
{
    services::settingsStore().write(QStringLiteral("txtAssets1"), QStringLiteral("Receivables"));
    services::settingsStore().write(QStringLiteral("txtAssets2"), QStringLiteral("Inventory"));
    services::RegistryCapture();
    const QByteArray first = readFileBytes(regPath());
    services::RegistryCapture();
    EXPECT_EQ(readFileBytes(regPath()), first);
    EXPECT_EQ(dumpLines(first).size(), 2);
}

TEST(RegistryCapture, NoKeysLeavesAnEmptyFileAndNoMessage)
{
    writeFileBytes(regPath(), "stale\r\n");
    EXPECT_TRUE(services::RegistryCapture().isEmpty());
    EXPECT_TRUE(QFileInfo(regPath()).isFile());
    EXPECT_EQ(QFileInfo(regPath()).size(), 0);
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(RegistryCapture, DumpThatCannotBeCreatedIsReportedOnceAtStep102)
{
    services::settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash"));
    services::settingsStore().write(QStringLiteral("txtAssets1"), QStringLiteral("Receivables"));
    services::settingsStore().write(QStringLiteral("txtAssets2"), QStringLiteral("Inventory"));
    const QString stateDump = blockBothDumpPlaces();

    EXPECT_TRUE(services::RegistryCapture().isEmpty());
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const auto& shown = recordedDialogs().messages.front();
    EXPECT_EQ(shown.title, QStringLiteral("Application Error"));
    EXPECT_EQ(shown.icon, services::MessageIcon::Warning);
    EXPECT_TRUE(shown.text.contains(regPath())) << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains(stateDump)) << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains(
        QStringLiteral("\r\nin Corvantis2021/08/31.Main.RegistryCapture at line 102\r\rPlease email screenshot")))
        << shown.text.toStdString();
    EXPECT_TRUE(QFileInfo(regPath()).isDir());
    EXPECT_TRUE(QFileInfo(stateDump).isDir());
}

TEST(RegistryCapture, CalledFromAStepReportsNothingToTheCaller)
{
    blockBothDumpPlaces();
    bool nextRan = false;
    {
        services::ErrorTrap trap(services::locationText(QStringLiteral("Form1"), QStringLiteral("Form_Load")));
        EXPECT_TRUE(trap.step(126, [] { services::RegistryCapture(); }));
        trap.step(128, [&] { nextRan = true; });
    }
    EXPECT_TRUE(nextRan);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_FALSE(recordedDialogs().messages.front().text.contains(QStringLiteral("Form_Load")));
}

// ---- Decimal separator ----

TEST(LocalDecimal, FullStopUnderUnitedStatesEnglish)
{
    EXPECT_EQ(services::LocalDecimalSeparator(), QStringLiteral("."));
    EXPECT_EQ(services::ToLocalDecimal(QStringLiteral("16.0")), QStringLiteral("16.0"));
    EXPECT_EQ(services::ToLocalDecimal(QStringLiteral("1,234.5")), QStringLiteral("1.234.5"));
    EXPECT_EQ(services::ToLocalDecimal(QString()), QString());
}
