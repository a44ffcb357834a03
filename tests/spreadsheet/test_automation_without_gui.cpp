// Without a GUI application object there is no clipboard and no drawing of
// sheets: the engine refuses to start, which is what the program's start-up
// check reports. A process of its own, since the shared test main makes one.
#include "spreadsheet/Automation.h"

#include <QCoreApplication>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

TEST(AutomationWithoutGui, TheApplicationCannotStart)
{
    try {
        spreadsheet::automation::Application application;
        FAIL() << "started";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), testing::HasSubstr("no GUI application object"));
    }
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
