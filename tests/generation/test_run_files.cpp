// The generation run's temporary folder and the files it creates there.
#include "generation/RunFiles.h"
#include "services/Failure.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sys/stat.h>

using testing_support::readFileBytes;
using testing_support::testRoot;
using testing_support::writeFileBytes;

namespace {

TEST(RunTempFolder, IsTempWhenSet)
{
    EXPECT_EQ(generation::runTempFolder(), qEnvironmentVariable("TEMP"));
}

TEST(RunTempFolder, WithoutTempIsAPrivateFolderOfThisUser)
{
    qputenv("TMPDIR", (testRoot() + QStringLiteral("/system-tmp")).toLocal8Bit());
    QDir().mkpath(testRoot() + QStringLiteral("/system-tmp"));
    for (const bool unset : {false, true}) {
        if (unset)
            qunsetenv("TEMP");
        else
            qputenv("TEMP", QByteArray());
        const QString folder = generation::runTempFolder();
        EXPECT_TRUE(folder.startsWith(testRoot() + QStringLiteral("/system-tmp/"))) << folder.toStdString();
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
}

TEST(RunTempFolder, RefusesAFolderOthersCanEnter)
{
    const QString system = testRoot() + QStringLiteral("/shared-tmp");
    QDir().mkpath(system);
    qputenv("TMPDIR", system.toLocal8Bit());
    qunsetenv("TEMP");
    const QString folder = generation::runTempFolder();
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    EXPECT_THROW(generation::runTempFolder(), services::Failure);
}

TEST(WriteNewFile, CreatesTheFileWithTheBytes)
{
    const QString path = testRoot() + QStringLiteral("/new.bin");
    generation::writeNewFile(QByteArray("abc\0def", 7), path);
    EXPECT_EQ(readFileBytes(path), QByteArray("abc\0def", 7));
}

TEST(WriteNewFile, RefusesAnExistingNameAndALink)
{
    const QString existing = testRoot() + QStringLiteral("/existing.bin");
    ASSERT_NO_FATAL_FAILURE(writeFileBytes(existing, "old"));
    EXPECT_THROW(generation::writeNewFile("new", existing), services::Failure);
    EXPECT_EQ(readFileBytes(existing), QByteArray("old"));

    const QString dangling = testRoot() + QStringLiteral("/dangling");
    const QString missing = testRoot() + QStringLiteral("/missing-target");
    ASSERT_TRUE(QFile::link(missing, dangling));
    EXPECT_THROW(generation::writeNewFile("new", dangling), services::Failure);
    EXPECT_FALSE(QFileInfo::exists(missing));
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

TEST(RandomWorkbookName, DigitsOneToNineFromTheDraw)
{
    const std::vector<double> draws = {0.0, 0.1111, 0.2223, 0.5, 0.7, 0.8, 0.9, 0.999999};
    std::size_t next = 0;
    EXPECT_EQ(generation::randomWorkbookName([&] { return draws.at(next++); }), QStringLiteral("vetrik11357899.xls"));
}

TEST(RandomWorkbookName, HasEightDigitsWithoutZero)
{
    const QRegularExpression form(QStringLiteral("^vetrik[1-9]{8}\\.xls$"));
    for (int i = 0; i < 200; ++i) {
        const QString name = generation::randomWorkbookName();
        ASSERT_TRUE(form.match(name).hasMatch()) << name.toStdString();
    }
}

} // namespace
