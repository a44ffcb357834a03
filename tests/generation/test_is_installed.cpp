#include "entry/Form1.h"
#include "generation/IsInstalled.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

using testing_support::recordedDialogs;

namespace {

const char* const kExpectedMessage =
    "Error 842001. A normal instance of Excel could not be created.\r\n\r\n"
    "1. Please make sure Excel is installed on this computer.\r\n\r\n"
    "2. Please open Excel normally and make sure a blank spreadsheet opens immediately without any "
    "interrupting window (such as an Excel file recovery window).\r\n\r\n"
    "3. Please make sure that when you double-click on a XLS or XLSX file that Excel opens normally "
    "without any interrupting messages.\r\n\r\n"
    "4. All versions of Excel are supported by this software except for the rare Excel Starter and "
    "Student editions.";

std::unique_ptr<spreadsheet::automation::Application> engineThatCannotStart()
{
    throw std::runtime_error("no engine");
}

std::unique_ptr<spreadsheet::automation::Application> engineThatYieldsNothing()
{
    return nullptr;
}

} // namespace

TEST(IsInstalled, MessageTextIsExact)
{
    EXPECT_EQ(generation::excelMissingMessage(), QString::fromLatin1(kExpectedMessage));
}

TEST(IsInstalled, WorkingEnginePassesSilently)
{
    generation::CheckExcelInstalled();
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(IsInstalledDeathTest, FailedCreationShowsTheMessageAndEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            recordedDialogs().echoToStderr = true;
            generation::CheckExcelInstalled(engineThatCannotStart);
            std::fprintf(stderr, "STILL RUNNING\n");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1),
        ::testing::AllOf(::testing::HasSubstr("Error 842001. A normal instance of Excel could not be created."),
                         ::testing::Not(::testing::HasSubstr("STILL RUNNING"))));
}

TEST(IsInstalledDeathTest, CreationThatYieldsNothingCountsAsFailure)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            recordedDialogs().echoToStderr = true;
            generation::CheckExcelInstalled(engineThatYieldsNothing);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1), ::testing::HasSubstr("MESSAGE[|icon 0]"));
}

// The check is the last step of the entry window's start-up: its message is
// the first and only thing the user sees, and the window is never shown.
TEST(IsInstalledDeathTest, EntryWindowNeverAppearsWithoutTheEngine)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            recordedDialogs().echoToStderr = true;
            entry::Form1 window(engineThatCannotStart);
            window.show();
            std::fprintf(stderr, "WINDOW SHOWN\n");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1),
        ::testing::AllOf(::testing::HasSubstr("Error 842001."), ::testing::Not(::testing::HasSubstr("WINDOW SHOWN")),
                         ::testing::Not(::testing::HasSubstr("Application Error"))));
}

// The whole message, character for character, reaches a box with no title of
// its own (so the application title) and no icon.
TEST(IsInstalledDeathTest, MessageIsShownWholeWithoutIconOrTitle)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            recordedDialogs().echoToStderr = true;
            generation::CheckExcelInstalled(engineThatCannotStart);
        },
        ::testing::ExitedWithCode(1),
        ::testing::HasSubstr(std::string("MESSAGE[|icon 0]\n") + kExpectedMessage + "\nEND MESSAGE"));
}
