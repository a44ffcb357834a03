// A test process's private root, and the files gtest keeps for its death
// tests, are gone soon after the process ends, however it ends.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

enum class Ending { Kill, KillProcessGroup, Exit, Return };

struct Case {
    const char* name;
    const char* filter; // which test of the holder runs
    int announcements;  // lines to wait for before ending it
    Ending ending;
    bool keep = false; // CORVANTIS_KEEP_TEST_ROOT set
};

std::ostream& operator<<(std::ostream& out, const Case& c)
{
    return out << c.name;
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The holder in a process group of its own, with our pipes as its input
// and output.
struct Holder {
    pid_t pid = -1;
    int input = -1;
    int output = -1;

    explicit Holder(const Case& c)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, in[0], 0);
        posix_spawn_file_actions_adddup2(&files, out[1], 1);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        const std::string filter = std::string("--gtest_filter=") + c.filter;
        char* argv[] = {const_cast<char*>(ROOT_HOLDER), const_cast<char*>(filter.c_str()), nullptr};
        if (c.keep)
            ::setenv("CORVANTIS_KEEP_TEST_ROOT", "1", 1);
        if (posix_spawn(&pid, ROOT_HOLDER, &files, &attributes, argv, environ) != 0)
            pid = -1;
        ::unsetenv("CORVANTIS_KEEP_TEST_ROOT");
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
        ::close(in[0]);
        ::close(out[1]);
        input = in[1];
        output = out[0];
    }
    ~Holder()
    {
        closeInput();
        if (output >= 0)
            ::close(output);
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    void closeInput()
    {
        if (input >= 0)
            ::close(input);
        input = -1;
    }
    int wait()
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }

    // The paths announced on "root" and "stream" lines, once there are this
    // many of them or the holder stopped.
    std::vector<std::string> announced(int wanted)
    {
        std::vector<std::string> paths;
        std::string buffer;
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (int(paths.size()) < wanted && Clock::now() < deadline) {
            pollfd ready{output, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0)
                continue;
            char chunk[512];
            const ssize_t got = ::read(output, chunk, sizeof chunk);
            if (got <= 0)
                break;
            buffer.append(chunk, size_t(got));
            for (std::size_t end; (end = buffer.find('\n')) != std::string::npos; buffer.erase(0, end + 1)) {
                const std::string line = buffer.substr(0, end);
                for (const std::string prefix : {"root ", "stream "}) {
                    if (line.starts_with(prefix))
                        paths.push_back(line.substr(prefix.size()));
                }
            }
        }
        return paths;
    }
};

// True once none of the paths exists; gives up after five seconds.
bool allGone(const std::vector<std::string>& paths)
{
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
        bool any = false;
        for (const std::string& path : paths)
            any |= exists(path);
        if (!any)
            return true;
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class PrivateRootTest : public ::testing::TestWithParam<Case> {};

TEST_P(PrivateRootTest, IsGoneAfterTheProcessEnds)
{
    const Case& c = GetParam();
    Holder holder(c);
    ASSERT_GT(holder.pid, 0) << "cannot start " << ROOT_HOLDER;
    const std::vector<std::string> paths = holder.announced(c.announcements);
    ASSERT_EQ(int(paths.size()), c.announcements);
    for (const std::string& path : paths) {
        ASSERT_TRUE(exists(path)) << path;
    }
    if (c.announcements > 1) {
        ASSERT_TRUE(paths.back().starts_with("/tmp/gtest_captured_stream.")) << paths.back();
    }

    switch (c.ending) {
    case Ending::Kill: ::kill(holder.pid, SIGKILL); break;
    case Ending::KillProcessGroup: ::kill(-holder.pid, SIGKILL); break;
    case Ending::Exit: ASSERT_EQ(::write(holder.input, "exit\n", 5), 5); break;
    case Ending::Return: break;
    }
    // Whatever still reads the input, a death test's child too, ends now.
    holder.closeInput();
    const int status = holder.wait();
    if (c.ending == Ending::Exit) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    }

    if (c.keep) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(exists(paths.front())) << "CORVANTIS_KEEP_TEST_ROOT is not honoured";
    } else {
        EXPECT_TRUE(allGone(paths)) << "left behind: " << ::testing::PrintToString(paths);
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, PrivateRootTest,
                         ::testing::Values(Case{"Killed", "RootHolder.*", 1, Ending::Kill},
                                           Case{"ProcessGroupKilled", "RootHolder.*", 1, Ending::KillProcessGroup},
                                           Case{"EndedWithExit", "RootHolder.*", 1, Ending::Exit},
                                           Case{"Returned", "RootHolder.*", 1, Ending::Return},
                                           Case{"KilledInADeathTest", "RootHolderDeathTest.*", 3, Ending::Kill},
                                           Case{"KilledButKeptWhenAsked", "RootHolder.*", 1, Ending::Kill, true}),
                         [](const auto& instance) { return std::string(instance.param.name); });

} // namespace
