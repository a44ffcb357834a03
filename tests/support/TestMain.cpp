// Every test process gets private HOME, XDG and TEMP folders and a fixed
// locale before Qt starts, so no test touches a real user's settings. The
// folders go away when the process ends, however it ends.
#include "services/Dialogs.h"
#include "services/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// gtest keeps a death test's stderr in a file of this name, always in /tmp,
// while the child runs.
constexpr std::string_view kCapturedStreamPrefix = "/tmp/gtest_captured_stream.";
// In a root: the capture files of its death tests, one a line.
constexpr const char* kCapturedStreamList = "/captured-streams";

bool isCapturedStream(std::string_view path)
{
    if (!path.starts_with(kCapturedStreamPrefix))
        return false;
    const std::string_view suffix = path.substr(kCapturedStreamPrefix.size());
    return suffix.size() == 6
        && std::all_of(suffix.begin(), suffix.end(), [](unsigned char c) { return std::isalnum(c); });
}

bool keepRoot()
{
    return std::getenv("CORVANTIS_KEEP_TEST_ROOT") != nullptr;
}

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

int removeEntry(const char* path, const struct stat*, int type, struct FTW*)
{
    if (type == FTW_DP)
        ::rmdir(path);
    else
        ::unlink(path);
    return 0;
}

// Removes the root and the capture files its death tests left in /tmp.
// Links are removed, never followed. True when the root was there.
bool removeRoot(const std::string& root)
{
    if (FILE* list = std::fopen((root + kCapturedStreamList).c_str(), "re")) {
        char line[PATH_MAX];
        while (std::fgets(line, sizeof line, list)) {
            line[std::strcspn(line, "\n")] = '\0';
            struct stat info {};
            if (isCapturedStream(line) && ::lstat(line, &info) == 0 && S_ISREG(info.st_mode))
                ::unlink(line);
        }
        std::fclose(list);
    }
    struct stat info {};
    if (::lstat(root.c_str(), &info) != 0)
        return false;
    ::nftw(root.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    return true;
}

// A test process that is killed, crashes or ends with _Exit never gets back
// to main, so a process of its own removes the root once the test process
// has ended: it waits on a pipe only the test process can write to. It is
// started before any thread exists, sits in a session of its own so a kill
// of the test's process group spares it, and is no child of the test
// process, so a kill of the test's process tree spares it too.
void startGuardian(const std::string& root)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        std::exit(2);
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (middle == 0) {
        ::setsid();
        if (::fork() != 0)
            ::_exit(0);
        // Holds nothing of the test's: ctest waits for its output pipes to close.
        const int ended = ::fcntl(ends[0], F_DUPFD_CLOEXEC, 3);
        if (ended > 3)
            ::close_range(3, ended - 1, 0);
        ::close_range(ended + 1, ~0U, 0);
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; ++fd)
            ::dup2(null, fd);
        if (null > 2)
            ::close(null);
        if (::chdir("/") != 0)
            ::_exit(1);
        for (const int number : {SIGINT, SIGHUP, SIGTERM, SIGPIPE})
            ::signal(number, SIG_IGN);
        char byte;
        for (;;) {
            const ssize_t got = ::read(ended, &byte, 1);
            if (got == 0 || (got < 0 && errno != EINTR))
                break;
        }
        // A child that dies with the test process may make a folder again
        // in its last moment.
        if (removeRoot(root)) {
            const timespec pause{1, 0};
            ::nanosleep(&pause, nullptr);
            removeRoot(root);
        }
        ::_exit(0);
    }
    ::close(ends[0]);
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    // ends[1] stays open for the rest of the process; its end is the signal.
}

// A threadsafe death test runs this main again in a child whose stderr is
// gtest's capture file; the parent's root lists it for the parent's guardian.
void listCapturedStream(int argc, char** argv)
{
    bool deathTestChild = false;
    for (int i = 1; i < argc; ++i)
        deathTestChild |= std::string_view(argv[i]).starts_with("--gtest_internal_run_death_test=");
    const char* parentRoot = std::getenv("CORVANTIS_TEST_ROOT");
    if (!deathTestChild || !parentRoot || !*parentRoot)
        return;
    char target[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/fd/2", target, sizeof target - 1);
    if (length <= 0)
        return;
    target[length] = '\0';
    if (!isCapturedStream(target))
        return;
    if (FILE* list = std::fopen((std::string(parentRoot) + kCapturedStreamList).c_str(), "ae")) {
        std::fprintf(list, "%s\n", target);
        std::fclose(list);
    }
}

void setPrivateEnvironment(const std::string& root)
{
    for (const char* sub : {"/home", "/config", "/data", "/cache", "/runtime", "/temp", "/tmp", "/program"})
        QDir().mkpath(QString::fromStdString(root + sub));
    QFile::setPermissions(QString::fromStdString(root + "/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("CORVANTIS_TEST_ROOT", root.c_str(), 1);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    setenv("TEMP", (root + "/temp").c_str(), 1);
    // The system temporary folder too: Qt's temporary files, the programs
    // tests start and the children of death tests all leave files there.
    setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The locale under test: en_US unless the test names another.
    const char* wanted = std::getenv("CORVANTIS_TEST_LANG");
    setenv("LANG", wanted && *wanted ? wanted : "en_US.UTF-8", 1);
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LC_MONETARY", "LC_TIME", "LC_CTYPE", "LANGUAGE"})
        unsetenv(name);
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

struct ProcessHooks {
    void (*beforeApplication)() = nullptr;
    void (*afterApplication)() = nullptr;
};

ProcessHooks& processHooks()
{
    static ProcessHooks hooks;
    return hooks;
}

} // namespace

void testing_support::setProcessHooks(void (*beforeApplication)(), void (*afterApplication)())
{
    processHooks() = {beforeApplication, afterApplication};
}

int main(int argc, char** argv)
{
    if (!keepRoot())
        listCapturedStream(argc, argv);
    const std::string root = makePrivateRoot();
    if (!keepRoot())
        startGuardian(root);
    setPrivateEnvironment(root);
    // Death tests re-execute the binary unless told otherwise: a forked child
    // of a process with threads may hang on a lock, and a re-executed child
    // gets a root of its own and lists gtest's capture file.
    if (!std::getenv("GTEST_DEATH_TEST_STYLE"))
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshDialogs);
    // Listing the tests needs no display server.
    const bool hooked = !GTEST_FLAG_GET(list_tests);
    if (hooked && processHooks().beforeApplication)
        processHooks().beforeApplication();
    int status = 0;
    {
        QApplication application(argc, argv);
        services::setProgramFolderForTesting(testing_support::programDir());
        services::setDialogHost(&testing_support::recordedDialogs());
        status = RUN_ALL_TESTS();
    }
    if (hooked && processHooks().afterApplication)
        processHooks().afterApplication();
    if (!keepRoot())
        removeRoot(root);
    return status;
}
