// Holds its private root until its input ends or says "exit", for the test
// of the root's clean-up. Prints each folder or file it wants gone.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace {

void announce(const char* what, const char* path)
{
    std::printf("%s %s\n", what, path ? path : "");
    std::fflush(stdout);
}

void endAsTold()
{
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::string_view(line) == "exit\n")
            std::_Exit(3);
    }
}

} // namespace

TEST(RootHolder, EndsAsTold)
{
    announce("root", std::getenv("CORVANTIS_TEST_ROOT"));
    endAsTold();
}

// The child runs the whole test again, so it announces its own root too.
TEST(RootHolderDeathTest, ChildEndsAsTold)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    announce("root", std::getenv("CORVANTIS_TEST_ROOT"));
    EXPECT_EXIT(
        {
            char stream[PATH_MAX] = {};
            if (::readlink("/proc/self/fd/2", stream, sizeof stream - 1) > 0)
                announce("stream", stream);
            endAsTold();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
