// Where "reg.txt" goes: beside the program when it can be made there (the
// build folder), else in the user's state folder (an installed copy, whose
// folder the user may not write); one report only when neither takes it.
#include "services/ProgramFolder.h"
#include "services/SettingsStore.h"
#include "services/SharedRoutines.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::programDir;
using testing_support::readFileBytes;
using testing_support::recordedDialogs;
using testing_support::testRoot;
using testing_support::writeFileBytes;

namespace {

// How a folder refuses the dump, or not.
enum class Folder {
    Writable,
    ReadOnly,   // a read-only mount, as an installed program folder is to a user
    NotAFolder, // a file stands at its name
    Missing,
};

// $XDG_STATE_HOME: an absolute folder, unset, or relative (to be ignored).
enum class StateHome { Set, Unset, Relative };

enum class Expected { BesideProgram, InStateFolder, Nowhere };

struct Case {
    const char* name;
    Folder program;
    Folder state; // the base: $XDG_STATE_HOME, or ~/.local/state
    StateHome stateHome;
    Expected where;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

const QByteArray kDump = "txtAssets0: Cash\r\n";

class DumpPlace : public ::testing::TestWithParam<Case> {
protected:
    void TearDown() override
    {
        for (const QString& folder : mounted_)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        services::setProgramFolderForTesting(programDir());
        qunsetenv("XDG_STATE_HOME");
        // The next case, in this process or not, starts from nothing.
        for (const QString& made : {testRoot() + QStringLiteral("/state"), testRoot() + QStringLiteral("/installed"),
                                    QDir::homePath() + QStringLiteral("/.local")})
            QDir(made).removeRecursively();
        QFile::remove(testRoot() + QStringLiteral("/installed"));
        QFile::remove(testRoot() + QStringLiteral("/state"));
        QFile::remove(programDir() + QStringLiteral("/reg.txt"));
    }

    // A read-only bind mount in this process's own mount namespace: it
    // stops root too, and goes away with the process.
    void makeReadOnly(const QString& folder)
    {
        if (::getuid() != 0)
            GTEST_SKIP() << "a read-only mount needs root";
        ASSERT_TRUE(QDir().mkpath(folder));
        static const bool privateNamespace =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        ASSERT_TRUE(privateNamespace) << std::strerror(errno);
        const QByteArray name = QFile::encodeName(folder);
        ASSERT_EQ(::mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr), 0) << std::strerror(errno);
        mounted_ << folder;
        ASSERT_EQ(::mount(nullptr, name.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr), 0)
            << std::strerror(errno);
    }

    // Gives the folder its kind; returns the folder the program will use.
    QString prepare(const QString& folder, Folder kind)
    {
        switch (kind) {
        case Folder::Writable: break;
        case Folder::ReadOnly: makeReadOnly(folder); break;
        case Folder::NotAFolder: writeFileBytes(folder, "a file\n"); break;
        case Folder::Missing: QDir(folder).removeRecursively(); break;
        }
        return folder;
    }

    QStringList mounted_;
};

TEST_P(DumpPlace, GoesWhereItCanAndIsReportedOnlyWhenNowhere)
{
    const Case& c = GetParam();
    const QString home = QDir::homePath();
    ASSERT_TRUE(home.startsWith(testRoot()));
    QString stateBase = home + QStringLiteral("/.local/state");
    if (c.stateHome == StateHome::Set) {
        stateBase = testRoot() + QStringLiteral("/state");
        qputenv("XDG_STATE_HOME", QFile::encodeName(stateBase));
    } else if (c.stateHome == StateHome::Relative) {
        qputenv("XDG_STATE_HOME", "relative/state");
    } else {
        qunsetenv("XDG_STATE_HOME");
    }
    const QString stateFolder = stateBase + QStringLiteral("/Quillmere/Corvantis");
    ASSERT_EQ(services::userStateFolder(), stateFolder);

    const QString program =
        c.program == Folder::Writable ? programDir() : testRoot() + QStringLiteral("/installed/corvantis");
    services::setProgramFolderForTesting(prepare(program, c.program));
    prepare(stateBase, c.state);
    if (IsSkipped() || HasFatalFailure())
        return;
    services::settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash"));

    EXPECT_TRUE(services::RegistryCapture().isEmpty());

    const QString besideProgram = program + QStringLiteral("/reg.txt");
    const QString inStateFolder = stateFolder + QStringLiteral("/reg.txt");
    EXPECT_EQ(QFileInfo::exists(besideProgram), c.where == Expected::BesideProgram);
    EXPECT_EQ(QFileInfo::exists(inStateFolder), c.where == Expected::InStateFolder);
    if (c.where == Expected::BesideProgram) {
        EXPECT_EQ(readFileBytes(besideProgram), kDump);
        EXPECT_FALSE(QFileInfo::exists(stateBase)) << "nothing is made in the state folder";
    }
    if (c.where == Expected::InStateFolder) {
        EXPECT_EQ(readFileBytes(inStateFolder), kDump);
        // What it made is the user's alone.
        const QFile::Permissions ownerGroupOther(0x7077);
        for (QString folder = stateFolder; folder.startsWith(stateBase); folder = QFileInfo(folder).path())
            EXPECT_EQ(QFileInfo(folder).permissions() & ownerGroupOther,
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
                << folder.toStdString();
    }

    if (c.where != Expected::Nowhere) {
        EXPECT_TRUE(recordedDialogs().messages.isEmpty()) << recordedDialogs().messages.value(0).text.toStdString();
        // The same dump again is not written at all; a changed one is.
        const QString dumped = c.where == Expected::BesideProgram ? besideProgram : inStateFolder;
        // A replaced file is a new one.
        const auto inode = [&] {
            struct stat file {};
            ::stat(QFile::encodeName(dumped).constData(), &file);
            return file.st_ino;
        };
        const auto before = inode();
        services::RegistryCapture();
        EXPECT_EQ(inode(), before);
        services::settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Bank"));
        services::RegistryCapture();
        EXPECT_NE(inode(), before);
        EXPECT_EQ(readFileBytes(dumped), QByteArray("txtAssets0: Bank\r\n"));
        EXPECT_TRUE(recordedDialogs().messages.isEmpty()) << recordedDialogs().messages.value(0).text.toStdString();
        return;
    }
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const QString text = recordedDialogs().messages.front().text;
    EXPECT_TRUE(text.contains(QStringLiteral("\r\nin Corvantis2021/08/31.Main.RegistryCapture at line 102\r\r")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(besideProgram)) << text.toStdString();
    EXPECT_TRUE(text.contains(stateBase)) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Folders, DumpPlace,
    ::testing::Values(
        Case{"BuildFolderKeepsItBesideTheProgram", Folder::Writable, Folder::Writable, StateHome::Set,
             Expected::BesideProgram},
        Case{"ReadOnlyProgramFolder", Folder::ReadOnly, Folder::Writable, StateHome::Set, Expected::InStateFolder},
        Case{"ReadOnlyProgramFolderDefaultStateHome", Folder::ReadOnly, Folder::Missing, StateHome::Unset,
             Expected::InStateFolder},
        Case{"RelativeStateHomeIsIgnored", Folder::ReadOnly, Folder::Missing, StateHome::Relative,
             Expected::InStateFolder},
        Case{"MissingProgramFolder", Folder::Missing, Folder::Writable, StateHome::Set, Expected::InStateFolder},
        Case{"FileForAProgramFolder", Folder::NotAFolder, Folder::Writable, StateHome::Set, Expected::InStateFolder},
        Case{"ReadOnlyBoth", Folder::ReadOnly, Folder::ReadOnly, StateHome::Set, Expected::Nowhere},
        Case{"ReadOnlyProgramFolderFileForAStateFolder", Folder::ReadOnly, Folder::NotAFolder, StateHome::Unset,
             Expected::Nowhere},
        Case{"FilesForBoth", Folder::NotAFolder, Folder::NotAFolder, StateHome::Set, Expected::Nowhere}),
    [](const ::testing::TestParamInfo<Case>& instance) { return std::string(instance.param.name); });

} // namespace
