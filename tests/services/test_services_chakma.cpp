// Runs with LANG=ccp_BD.UTF-8: Chakma digits lie outside the Basic
// Multilingual Plane, so each takes two UTF-16 code units.
#include "services/SharedRoutines.h"
#include "services/UserLocale.h"
#include "spreadsheet/TypedNumber.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

TEST(ChakmaLocale, DigitsTakeTwoCodeUnits)
{
    ASSERT_EQ(services::userLocale().name(), QStringLiteral("ccp_BD"));
    ASSERT_EQ(services::userLocale().zeroDigit().size(), 2);
}

TEST(ChakmaLocale, DecimalSeparatorIsTheCharacterAfterTheZero)
{
    EXPECT_EQ(services::LocalDecimalSeparator(), services::userLocale().decimalPoint());
}

TEST(ChakmaLocale, ConvertedVersionReadsAsANumber)
{
    const std::optional<double> version =
        spreadsheet::readTypedNumber(services::ToLocalDecimal(QStringLiteral("16.0")), services::userLocale());
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(*version, 16.0);
}
