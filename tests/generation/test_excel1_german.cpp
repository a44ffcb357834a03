// Runs with LANG=de_DE.UTF-8: the comma is the decimal separator, and the
// full stop groups thousands, so "11.0" read as it stands would be 110.
#include "generation/Excel1.h"
#include "services/UserLocale.h"
#include "spreadsheet/TypedNumber.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

TEST(SaveFormatGerman, TheLocaleIsGerman)
{
    ASSERT_EQ(services::userLocale().name(), QStringLiteral("de_DE"));
    EXPECT_EQ(spreadsheet::readTypedNumber(QStringLiteral("11.0"), services::userLocale()), 110.0);
}

TEST(SaveFormatGerman, VersionsAboveElevenSaveAsExcel8)
{
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("11.0")), -4143);
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("12.0")), 56);
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("16.0")), 56);
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("11,0")), -4143);
}

TEST(SaveFormatGerman, VersionIsRoundedHalvesToEven)
{
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("11.5")), 56);    // 12
    EXPECT_EQ(generation::saveFormatForVersionText(QStringLiteral("10.5")), -4143); // 10
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("12.5")), 12);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("13.5")), 14);
    EXPECT_EQ(generation::versionAsWholeNumber(QStringLiteral("16.0")), 16);
}

TEST(SaveFormatGerman, TheEngineSavesAsExcel8)
{
    EXPECT_EQ(generation::saveFormatForVersion(), 56);
}
