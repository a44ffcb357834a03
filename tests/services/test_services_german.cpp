// Runs with LANG=de_DE.UTF-8: the comma is the decimal separator.
#include "services/SharedRoutines.h"
#include "services/UserLocale.h"
#include "spreadsheet/TypedNumber.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

TEST(GermanLocale, UserLocaleIsGerman)
{
    EXPECT_EQ(services::userLocale().name(), QStringLiteral("de_DE"));
}

TEST(GermanLocale, DecimalSeparatorIsComma)
{
    EXPECT_EQ(services::LocalDecimalSeparator(), QStringLiteral(","));
}

TEST(GermanLocale, VersionTextGetsTheLocalSeparator)
{
    EXPECT_EQ(services::ToLocalDecimal(QStringLiteral("16.0")), QStringLiteral("16,0"));
    EXPECT_EQ(services::ToLocalDecimal(QStringLiteral("16,0")), QStringLiteral("16,0"));
    EXPECT_EQ(services::ToLocalDecimal(QStringLiteral("1,234.5")), QStringLiteral("1,234,5"));
    EXPECT_EQ(services::ToLocalDecimal(QStringLiteral("16")), QStringLiteral("16"));
}

TEST(GermanLocale, ConvertedVersionReadsAsANumber)
{
    const std::optional<double> version =
        spreadsheet::readTypedNumber(services::ToLocalDecimal(QStringLiteral("16.0")), services::userLocale());
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(*version, 16.0);
}
