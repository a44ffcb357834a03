// Every test process gets private HOME, XDG and TEMP folders and a fixed
// locale before Qt starts, so no test touches a real user's settings.
#include "services/Dialogs.h"
#include "services/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string makePrivateRoot()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/corvantis-test-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    return pattern;
}

void setPrivateEnvironment(const std::string& root)
{
    for (const char* sub : {"/home", "/config", "/data", "/cache", "/runtime", "/temp", "/program"})
        QDir().mkpath(QString::fromStdString(root + sub));
    QFile::setPermissions(QString::fromStdString(root + "/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("CORVANTIS_TEST_ROOT", root.c_str(), 1);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    setenv("TEMP", (root + "/temp").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The locale under test: en_US unless the test names another.
    const char* wanted = std::getenv("CORVANTIS_TEST_LANG");
    setenv("LANG", wanted && *wanted ? wanted : "en_US.UTF-8", 1);
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LC_MONETARY", "LC_TIME", "LC_CTYPE", "LANGUAGE"})
        unsetenv(name);
}

void removeTree(const std::string& root)
{
    if (!std::getenv("CORVANTIS_KEEP_TEST_ROOT"))
        QDir(QString::fromStdString(root)).removeRecursively();
}

// Every test starts with no recorded boxes and the recording host, also
// when several tests run in one process.
class FreshDialogs final : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        testing_support::recordedDialogs() = {};
        services::setDialogHost(&testing_support::recordedDialogs());
    }
};

} // namespace

int main(int argc, char** argv)
{
    const std::string root = makePrivateRoot();
    setPrivateEnvironment(root);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshDialogs);
    int status = 0;
    {
        QApplication application(argc, argv);
        services::setProgramFolderForTesting(testing_support::programDir());
        services::setDialogHost(&testing_support::recordedDialogs());
        status = RUN_ALL_TESTS();
    }
    removeTree(root);
    return status;
}
