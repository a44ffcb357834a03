// The generation run's temporary folder and the files it creates there.
#include "generation/RunFiles.h"
#include "services/Failure.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::readFileBytes;
using testing_support::testRoot;
using testing_support::writeFileBytes;

namespace {

TEST(RunTempFolder, IsTempWhenSet)
{
    EXPECT_EQ(generation::runTempFolder(), qEnvironmentVariable("TEMP"));
}

// A system temporary folder inside the test's own root.
QString useSystemTemp(const char* name)
{
    const QString system = testRoot() + u'/' + QLatin1String(name);
    QDir().mkpath(system);
    qputenv("TMPDIR", system.toLocal8Bit());
    return system;
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

TEST(RunTempFolder, WithoutTempIsTheRuntimeFolderWhenPrivate)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    for (const bool unset : {false, true}) {
        if (unset)
            qunsetenv("TEMP");
        else
            qputenv("TEMP", QByteArray());
        EXPECT_EQ(generation::runTempFolder(), runtime);
    }
}

TEST(RunTempFolder, WithoutTempOrPrivateRuntimeIsAFreshPrivateFolder)
{
    const QString system = useSystemTemp("system-tmp");
    qunsetenv("TEMP");
    // A runtime folder others can enter is not used, and neither is a
    // folder squatted at the old predictable name.
    const QString shared = testRoot() + QStringLiteral("/shared-runtime");
    QDir().mkpath(shared);
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0777), 0);
    qputenv("XDG_RUNTIME_DIR", shared.toLocal8Bit());
    const QString squatted = system + QStringLiteral("/corvantis-%1").arg(::getuid());
    ASSERT_TRUE(QFile::link(QStringLiteral("/"), squatted));

    const QString folder = generation::runTempFolder();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^%1/corvantis-run-[A-Za-z0-9]{6}$").arg(system)).match(folder).hasMatch())
        << folder.toStdString();
    EXPECT_TRUE(S_ISDIR(modeOf(folder)));
    EXPECT_EQ(modeOf(folder) & 0777, 0700u);
    EXPECT_EQ(generation::runTempFolder(), folder) << "one folder for the whole process";
}

TEST(ClaimNewFile, ClaimsOnceAndNeverThroughALink)
{
    const QString path = testRoot() + QStringLiteral("/claimed.xls");
    EXPECT_TRUE(generation::claimNewFile(path));
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_FALSE(generation::claimNewFile(path));

    const QString link = testRoot() + QStringLiteral("/link.xls");
    const QString missing = testRoot() + QStringLiteral("/missing.xls");
    ASSERT_TRUE(QFile::link(missing, link));
    EXPECT_FALSE(generation::claimNewFile(link));
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST(WorkbookName, DigitsOneToNineFromTheDraw)
{
    const std::vector<std::pair<double, int>> digits = {{0.0, 1},    {0.1111, 1},   {0.1112, 2}, {0.5, 5},
                                                        {0.8889, 9}, {0.999999, 9}, {1.0, 9},    {-0.1, 1}};
    for (const auto& [fraction, digit] : digits)
        EXPECT_EQ(generation::nameDigit(fraction), digit) << fraction;
}

TEST(WorkbookName, DrawsAreInTheHalfOpenUnitInterval)
{
    EXPECT_EQ(generation::drawNameFraction([] { return 0.25; }, 3), 0.25);
    std::set<int> digits;
    for (int i = 0; i < 200; ++i) {
        const double fraction = generation::drawNameFraction({}, i % 8);
        ASSERT_GE(fraction, 0.0);
        ASSERT_LT(fraction, 1.0);
        digits.insert(generation::nameDigit(fraction));
    }
    EXPECT_EQ(digits.size(), 9u) << "all nine digits, as a fair draw gives them in 200 tries";
}

// A file last changed an hour ago, as an earlier run's would be.
void writeOldFile(const QString& path)
{
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(path, "workbook"));
    const struct timeval hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(::lutimes(QFile::encodeName(path).constData(), hourAgo), 0);
}

// Another running copy of the program holding its workbook until killed.
pid_t holdInAnotherProcess(const QString& path)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        generation::holdWorkbook(path);
        (void)!::write(ready[1], "x", 1);
        for (;;)
            ::pause();
    }
    char byte;
    (void)!::read(ready[0], &byte, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    return child;
}

void killAndWait(pid_t child)
{
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST(LeftoverWorkbooks, RemovesOnlyThisUsersWorkbooksThatNoRunningCopyHolds)
{
    const QString temp = qEnvironmentVariable("TEMP");
    const auto at = [&](const char* name) { return temp + u'/' + QLatin1String(name); };
    for (const char* name : {"vetrik11111111.xls", "vetrik22222222.xls", "vetrik1234.xls", "notes.xls", "target.xls"})
        ASSERT_NO_FATAL_FAILURE(writeOldFile(at(name)));
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(at("vetrik33333333.xls"), "a run claiming its name just now"));
    ASSERT_TRUE(QFile::link(at("target.xls"), at("vetrik44444444.xls")));
    const bool root = ::getuid() == 0;
    if (root) {
        ASSERT_NO_FATAL_FAILURE(writeOldFile(at("vetrik55555555.xls")));
        ASSERT_EQ(::chown(QFile::encodeName(at("vetrik55555555.xls")).constData(), 65534, 65534), 0);
    }
    const pid_t running = holdInAnotherProcess(at("vetrik22222222.xls"));
    ASSERT_GT(running, 0);

    EXPECT_EQ(generation::removeLeftoverWorkbooks(temp), 1);
    EXPECT_FALSE(QFileInfo::exists(at("vetrik11111111.xls")));
    for (const char* kept : {"vetrik22222222.xls", "vetrik33333333.xls", "vetrik1234.xls", "notes.xls", "target.xls",
                             "vetrik44444444.xls"})
        EXPECT_TRUE(QFileInfo(at(kept)).exists() || QFileInfo(at(kept)).isSymLink()) << kept;
    if (root) {
        EXPECT_TRUE(QFileInfo::exists(at("vetrik55555555.xls")));
    }

    // Once the copy holding it is killed, its workbook is a leftover too.
    killAndWait(running);
    EXPECT_EQ(generation::removeLeftoverWorkbooks(temp), 1);
    EXPECT_FALSE(QFileInfo::exists(at("vetrik22222222.xls")));
}

TEST(LeftoverWorkbooks, RemovesPrivateFoldersOfEndedRunsOnly)
{
    const QString system = useSystemTemp("leftover-tmp");
    const QString ended = system + QStringLiteral("/corvantis-run-Ab12Cd");
    const QString running = system + QStringLiteral("/corvantis-run-Ef34Gh");
    for (const QString& folder : {ended, running}) {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
        ASSERT_NO_FATAL_FAILURE(writeOldFile(folder + QStringLiteral("/vetrik12345678.xls")));
    }
    // A running copy keeps its folder locked for as long as it lives.
    const int lock = ::open(QFile::encodeName(running).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(lock, LOCK_SH), 0);

    EXPECT_GE(generation::removeLeftoverWorkbooks(), 1);
    EXPECT_FALSE(QFileInfo::exists(ended));
    EXPECT_TRUE(QFileInfo::exists(running + QStringLiteral("/vetrik12345678.xls")));
    ::close(lock);
}

} // namespace
