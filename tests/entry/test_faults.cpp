// Every file the program writes, through the windows, under a full disk and
// a failing drive: the file that was there stays byte for byte, the failure
// is reported, and "Done." never follows one.
#include "entry/Form1.h"
#include "preview/Form2.h"
#include "preview/ImageBox.h"
#include "services/SettingsStore.h"
#include "services/SharedRoutines.h"
#include "spreadsheet/Automation.h"
#include "tests/entry/EntryTestSupport.h"
#include "tests/support/FaultInjection.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using entry::Form1;
using entry_tests::messages;
using entry_tests::reportTail;
using fault_injection::Call;
using testing_support::readFileBytes;
using testing_support::recordedDialogs;
using testing_support::tempPath;
using testing_support::writeFileBytes;

namespace {

struct Fault {
    const char* name;
    Call call;
    int error;
};

std::ostream& operator<<(std::ostream& out, const Fault& fault)
{
    return out << fault.name;
}

QString reasonOf(const Fault& fault)
{
    return QString::fromLocal8Bit(std::strerror(fault.error));
}

// Leftovers of a write that failed: hidden files beside the target.
QStringList hiddenFilesIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System);
}

QStringList shownTexts()
{
    QStringList texts;
    for (const auto& shown : messages())
        texts << shown.text;
    return texts;
}

QStringList workbooksInTemp()
{
    return QDir(qEnvironmentVariable("TEMP")).entryList({QStringLiteral("vetrik*")}, QDir::Files);
}

// Saves the generated workbook over a file of the user's through the
// preview's "Save Results To Excel File", answering the overwrite with Yes.
void saveResultsOver(preview::Form2& preview, const QString& target)
{
    recordedDialogs().answers.push_back(services::Answer::Yes);
    recordedDialogs().fileNames.push_back(target);
    preview.PushButton6->click();
}

const QByteArray kUsersWorkbook("the user's own workbook, which must survive");

class WriterUnderFault : public ::testing::TestWithParam<Fault> {
protected:
    void inject(const char* pathPart)
    {
        fault_injection::inject(GetParam().call, GetParam().error, QLatin1String(pathPart));
    }
    // Scratch files (template, picture, the run's workbook in TEMP) are not
    // synced: a sync fault misses them.
    bool missesScratchFiles() const { return GetParam().call == Call::Sync; }

    fault_injection::Scope faults;
};

TEST_P(WriterUnderFault, TypingKeepsTheOldSettingsFileAndReportsOnce)
{
    Form1 window;
    window.show();
    QTest::keyClicks(window.txtAssets[0], QStringLiteral(" in bank"));
    const QByteArray before = readFileBytes(testing_support::settingsFilePath());
    ASSERT_TRUE(before.contains("in bank"));

    inject("Corvantis.ini");
    QTest::keyClicks(window.txtAssets[1], QStringLiteral("xy"));
    EXPECT_GT(fault_injection::failures(), 0);
    EXPECT_EQ(readFileBytes(testing_support::settingsFilePath()), before);
    ASSERT_EQ(messages().size(), 1) << shownTexts().join(u'\n').toStdString();
    EXPECT_TRUE(messages()[0].text.contains(reasonOf(GetParam()))) << messages()[0].text.toStdString();
    EXPECT_TRUE(messages()[0].text.contains(testing_support::settingsFilePath()));
    EXPECT_TRUE(hiddenFilesIn(testing_support::configHome() + QStringLiteral("/Quillmere")).isEmpty());

    // Once the disk works again the next keystroke stores everything typed.
    fault_injection::clear();
    QTest::keyClicks(window.txtAssets[1], QStringLiteral("z"));
    EXPECT_EQ(testing_support::storedValue(QStringLiteral("txtAssets1")), window.txtAssets[1]->text());
    EXPECT_TRUE(window.txtAssets[1]->text().endsWith(QStringLiteral("xyz")));
}

TEST_P(WriterUnderFault, SaveResultsKeepsTheUsersFileAndSaysNoDone)
{
    preview::Form2 preview;
    preview.mExcelFile = tempPath(QStringLiteral("vetrik12345678.xls"));
    writeFileBytes(preview.mExcelFile, "generated workbook bytes");
    const QString target = testing_support::testRoot() + QStringLiteral("/balance.xls");
    writeFileBytes(target, kUsersWorkbook);

    inject("balance.xls");
    saveResultsOver(preview, target);
    EXPECT_EQ(readFileBytes(target), kUsersWorkbook);
    ASSERT_EQ(messages().size(), 1) << shownTexts().join(u'\n').toStdString();
    EXPECT_TRUE(messages()[0].text.contains(reasonOf(GetParam())));
    EXPECT_TRUE(messages()[0].text.endsWith(reportTail(QStringLiteral("Form2.PushButton6_Click"), 124)));
    EXPECT_TRUE(hiddenFilesIn(testing_support::testRoot()).isEmpty());
}

TEST_P(WriterUnderFault, AWorkbookTheRunCouldNotSaveIsNeverOffered)
{
    Form1 window;
    window.show();
    entry_tests::click(window.PushButton2);
    inject("vetrik");
    entry_tests::click(window.PushButton22);
    entry_tests::settle();
    fault_injection::clear();
    if (missesScratchFiles()) {
        EXPECT_TRUE(messages().isEmpty()) << shownTexts().join(u'\n').toStdString();
        EXPECT_EQ(workbooksInTemp().size(), 1);
        return;
    }

    ASSERT_FALSE(messages().isEmpty());
    EXPECT_TRUE(messages()[0].text.contains(reasonOf(GetParam()))) << messages()[0].text.toStdString();
    EXPECT_TRUE(messages()[0].text.endsWith(reportTail(QStringLiteral("Form1.PushButton22_Click"), 172)));
    EXPECT_TRUE(workbooksInTemp().isEmpty());
    EXPECT_TRUE(hiddenFilesIn(qEnvironmentVariable("TEMP")).isEmpty());

    // Saving what was not made refuses, and the user's file stays.
    const QString target = testing_support::testRoot() + QStringLiteral("/balance.xls");
    writeFileBytes(target, kUsersWorkbook);
    messages().clear();
    ASSERT_NE(window.form2(), nullptr);
    saveResultsOver(*window.form2(), target);
    EXPECT_EQ(readFileBytes(target), kUsersWorkbook);
    EXPECT_FALSE(shownTexts().contains(QStringLiteral("Done.")));
}

TEST_P(WriterUnderFault, ATemplateOrPictureThatCannotBeWrittenIsNeverUsed)
{
    for (const char* name : {"template.xlt", "temp.bmp"}) {
        SCOPED_TRACE(name);
        messages().clear();
        Form1 window;
        window.show();
        inject(name);
        entry_tests::click(window.PushButton22);
        entry_tests::settle();
        fault_injection::clear();
        if (missesScratchFiles()) {
            EXPECT_TRUE(messages().isEmpty());
            continue;
        }
        ASSERT_FALSE(messages().isEmpty());
        EXPECT_TRUE(messages()[0].text.contains(reasonOf(GetParam()))) << messages()[0].text.toStdString();
        if (QLatin1String(name) == QLatin1String("template.xlt")) {
            EXPECT_EQ(messages().size(), 1);
            EXPECT_TRUE(workbooksInTemp().isEmpty());
        } else {
            ASSERT_NE(window.form2(), nullptr);
            EXPECT_TRUE(window.form2()->Picture1->picture().isNull());
        }
        EXPECT_TRUE(hiddenFilesIn(qEnvironmentVariable("TEMP")).isEmpty());
        if (window.form2())
            window.form2()->PushButton8->click(); // "< Back" deletes the workbook
    }
}

TEST_P(WriterUnderFault, TheDumpKeepsItsOldFile)
{
    const QString dump = testing_support::programDir() + QStringLiteral("/reg.txt");
    writeFileBytes(dump, "txtAssets0: Cash\r\n");
    services::settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Bank"));
    inject("reg.txt");
    services::RegistryCapture();
    EXPECT_EQ(readFileBytes(dump), QByteArray("txtAssets0: Cash\r\n"));
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].text.contains(reasonOf(GetParam())));
    EXPECT_TRUE(hiddenFilesIn(testing_support::programDir()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriterUnderFault,
    ::testing::Values(Fault{"FullDiskOnWrite", Call::Write, ENOSPC}, Fault{"FullDiskOnSync", Call::Sync, ENOSPC},
                      Fault{"IoErrorOnWrite", Call::Write, EIO}, Fault{"IoErrorOnSync", Call::Sync, EIO},
                      Fault{"IoErrorOnClose", Call::Close, EIO}),
    [](const ::testing::TestParamInfo<Fault>& instance) { return std::string(instance.param.name); });

// Start-up stores the standard form of every entry with one sync on a first
// start. The next start dumps those entries to reg.txt; from then on a start
// with nothing changed writes nothing, anywhere.
TEST(StartUpWrites, AFirstStartSyncsOnceAndALaterStartWritesNothing)
{
    fault_injection::Scope counting;
    fault_injection::inject(Call::Sync, 0, QStringLiteral("Corvantis.ini"));
    {
        Form1 first;
    }
    EXPECT_EQ(fault_injection::failures(), 1);
    EXPECT_EQ(testing_support::storedValue(QStringLiteral("txtAmountL9")), QStringLiteral("$0"));
    services::reopenSettingsStoreForTesting();
    fault_injection::inject(Call::Sync, 0, QStringLiteral("reg.txt"));
    {
        Form1 second;
    }
    EXPECT_EQ(fault_injection::failures(), 1);

    // Reading the settings parses a copy in an unnamed scratch file of TEMP;
    // that is no write of a file, so the folders the program keeps are watched.
    for (const QString& folder : {testing_support::configHome(), testing_support::programDir()}) {
        for (const auto& [name, call] :
             {std::pair{"write", Call::Write}, {"sync", Call::Sync}, {"rename", Call::Rename}}) {
            services::reopenSettingsStoreForTesting();
            fault_injection::inject(call, 0, folder);
            {
                Form1 later;
            }
            EXPECT_EQ(fault_injection::failures(), 0) << name << " in " << folder.toStdString();
        }
    }
    EXPECT_TRUE(messages().isEmpty()) << shownTexts().join(u'\n').toStdString();
}

// A change is in the settings file before the keystroke that made it is
// handled: the program killed right after the typing has lost nothing. A
// kill spares the page cache, so the sync itself is counted by the tests above.
struct TypedChange {
    const char* name;
    const char* box; // also its key in the store
    const char* typed;
    QString (*stored)(const QDate& today);
};

std::ostream& operator<<(std::ostream& out, const TypedChange& change)
{
    return out << change.name;
}

// What a first start stores: the date and every amount in standard form.
// Captions left as they are need no entry.
QMap<QString, QString> firstStartValues(const QDate& today)
{
    QMap<QString, QString> values{{QStringLiteral("dtpFrom"), Form1::dateText(today)}};
    for (const QString& key : entry_tests::amountKeys())
        values.insert(key, QStringLiteral("$0"));
    return values;
}

class KilledAfterTyping : public ::testing::TestWithParam<TypedChange> {};

TEST_P(KilledAfterTyping, KeepsWhatWasTyped)
{
    const TypedChange& change = GetParam();
    testing_support::emptyFolder(testing_support::configHome());
    testing_support::emptyFolder(testing_support::programDir());
    const QDate today = QDate::currentDate();

    QProcess child;
    child.setProgram(QStringLiteral(TYPING_CHILD));
    child.setArguments({testing_support::programDir(), QLatin1String(change.box), QLatin1String(change.typed)});
    child.setWorkingDirectory(testing_support::testRoot());
    child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    const QByteArray said =
        testing_support::outputUntilKilled(child, [](const QByteArray& out) { return out.contains("typed\n"); });
    ASSERT_TRUE(said.contains("typed\n")) << "the child stopped before typing: " << said.constData();
    ASSERT_FALSE(HasFailure());
    if (QDate::currentDate() != today)
        GTEST_SKIP() << "the day changed while the child ran";

    QMap<QString, QString> expected = firstStartValues(today);
    expected.insert(QLatin1String(change.box), change.stored(today));
    for (auto entry = expected.cbegin(); entry != expected.cend(); ++entry)
        EXPECT_EQ(testing_support::storedValue(entry.key()), entry.value()) << entry.key().toStdString();
    QSettings file(testing_support::settingsFilePath(), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Corvantis"));
    EXPECT_EQ(file.childKeys().size(), expected.size());
    EXPECT_TRUE(hiddenFilesIn(testing_support::configHome() + QStringLiteral("/Quillmere")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    StartUpWrites, KilledAfterTyping,
    ::testing::Values(TypedChange{"AssetAmount", "txtAmountAssets0", "1234.50",
                                  [](const QDate&) { return QStringLiteral("1234.50"); }},
                      TypedChange{"LiabilityCaption", "txtLiabilities3", "Bank loan; secured, 5%",
                                  [](const QDate&) { return QStringLiteral("Bank loan; secured, 5%"); }},
                      // A leap year, so that any day of today's month is a day then too.
                      TypedChange{
                          "Year", "dtpFrom", "2000",
                          [](const QDate& today) { return Form1::dateText(QDate(2000, today.month(), today.day())); }}),
    [](const ::testing::TestParamInfo<TypedChange>& instance) { return std::string(instance.param.name); });

// ---- a real full disk: a small file system of this test process's own

// Mounts a small tmpfs over `folder`, visible to this process only, and
// fills it. False (with the reason) when this process may not mount.
::testing::AssertionResult fillFolderAsAFullDisk(const QString& folder)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return ::testing::AssertionFailure() << "no private mount namespace: " << std::strerror(errno);
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
        return ::testing::AssertionFailure() << "cannot mount: " << std::strerror(errno);
    return ::testing::AssertionSuccess();
}

void fillUp(const QString& folder)
{
    QFile filler(folder + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
}

TEST(RealFullDisk, SettingsAndSaveResultsKeepTheirFiles)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root; the injected faults above cover the rest";
    const QString disk = testing_support::testRoot() + QStringLiteral("/disk");
    ASSERT_TRUE(QDir().mkpath(disk));
    ASSERT_TRUE(fillFolderAsAFullDisk(disk));
    // The settings live on the small disk through a link to a file there.
    const QString settings = testing_support::settingsFilePath();
    QDir().mkpath(QFileInfo(settings).absolutePath());
    writeFileBytes(disk + QStringLiteral("/Corvantis.ini"), "[Corvantis]\ntxtAssets0=Cash\n");
    ASSERT_TRUE(QFile::link(disk + QStringLiteral("/Corvantis.ini"), settings));
    const QString target = disk + QStringLiteral("/balance.xls");
    writeFileBytes(target, kUsersWorkbook);

    Form1 window;
    window.show();
    preview::Form2 preview;
    preview.mExcelFile = tempPath(QStringLiteral("vetrik12345678.xls"));
    writeFileBytes(preview.mExcelFile, QByteArray(20000, 'w'));
    ASSERT_NO_FATAL_FAILURE(fillUp(disk));
    const QByteArray settingsBefore = readFileBytes(disk + QStringLiteral("/Corvantis.ini"));
    ASSERT_TRUE(settingsBefore.contains("txtAssets0=Cash\n"));

    QTest::keyClicks(window.txtAssets[0], QStringLiteral(" in bank"));
    saveResultsOver(preview, target);

    EXPECT_EQ(readFileBytes(disk + QStringLiteral("/Corvantis.ini")), settingsBefore);
    EXPECT_TRUE(QFileInfo(settings).isSymLink());
    EXPECT_EQ(readFileBytes(target), kUsersWorkbook);
    ASSERT_EQ(messages().size(), 2) << shownTexts().join(u'\n').toStdString();
    for (const auto& shown : messages())
        EXPECT_TRUE(shown.text.contains(QStringLiteral("No space left on device"))) << shown.text.toStdString();
    EXPECT_FALSE(shownTexts().contains(QStringLiteral("Done.")));
    EXPECT_EQ(hiddenFilesIn(disk), QStringList());
}

// A settings folder the program may not write: one report at start, naming
// the file and the reason, and the window works on with what it read.
TEST(RealReadOnlyFolder, SettingsGiveOneReportAtStart)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "a read-only mount needs root";
    const QString folder = testing_support::configHome() + QStringLiteral("/Quillmere");
    ASSERT_TRUE(QDir().mkpath(folder));
    writeFileBytes(testing_support::settingsFilePath(), "[Corvantis]\ntxtAssets0=Cash in bank\n");
    const QByteArray folderName = QFile::encodeName(folder);
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0) << std::strerror(errno);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(::mount(folderName.constData(), folderName.constData(), nullptr, MS_BIND, nullptr), 0);
    ASSERT_EQ(::mount(nullptr, folderName.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr), 0);

    Form1 window;
    window.show();
    QTest::keyClicks(window.txtAssets[1], QStringLiteral("x"));

    ASSERT_EQ(messages().size(), 1) << shownTexts().join(u'\n').toStdString();
    EXPECT_TRUE(messages()[0].text.contains(testing_support::settingsFilePath())) << messages()[0].text.toStdString();
    EXPECT_TRUE(messages()[0].text.contains(QStringLiteral("Read-only file system")));
    EXPECT_EQ(window.txtAssets[0]->text(), QStringLiteral("Cash in bank"));
    EXPECT_EQ(readFileBytes(testing_support::settingsFilePath()), QByteArray("[Corvantis]\ntxtAssets0=Cash in bank\n"));
}

// The engine waits for the disk on every save unless told the file is scratch.
TEST(EngineSaves, SyncUnlessScratch)
{
    for (const bool scratch : {false, true}) {
        SCOPED_TRACE(scratch ? "scratch" : "default");
        spreadsheet::automation::Application application;
        spreadsheet::automation::Workbook book = application.Workbooks().Open(testing_support::writeTemplate(), true);
        EXPECT_FALSE(application.ScratchSaves());
        application.setScratchSaves(scratch);
        fault_injection::Scope counting;
        fault_injection::inject(Call::Sync, 0, QStringLiteral("saved.xls"));
        book.SaveAs(tempPath(QStringLiteral("saved.xls")), spreadsheet::automation::xlExcel8);
        EXPECT_EQ(fault_injection::failures(), scratch ? 0 : 1);
        EXPECT_TRUE(readFileBytes(tempPath(QStringLiteral("saved.xls"))).startsWith("\xD0\xCF\x11\xE0"));
        application.Quit();
    }
}

} // namespace
