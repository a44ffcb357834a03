// Runs with LANG=de_DE.UTF-8: the comma is the decimal separator.
#include "services/NumericText.h"
#include "services/SharedRoutines.h"
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
        services::readNumericText(services::ToLocalDecimal(QStringLiteral("16.0")), services::userLocale());
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(*version, 16.0);
}

TEST(GermanLocale, NumbersAreReadTheGermanWay)
{
    const QLocale locale = services::userLocale();
    EXPECT_EQ(services::readNumericText(QStringLiteral("1.234,5"), locale), 1234.5);
    EXPECT_EQ(services::readNumericText(QStringLiteral("1,5"), locale), 1.5);
    EXPECT_EQ(services::readNumericText(QStringLiteral("1.234"), locale), 1234.0);
    EXPECT_EQ(services::readNumericText(QStringLiteral("-43.000 \u20AC"), locale), -43000.0);
    EXPECT_FALSE(services::readNumericText(QStringLiteral("$43,000"), locale).has_value());
}

TEST(GermanLocale, AmountsAreWrittenTheGermanWay)
{
    EXPECT_EQ(services::formatAmount(1234.56, services::userLocale()), QStringLiteral("1.235\u00A0\u20AC"));
    EXPECT_EQ(services::formatAmount(-43000, services::userLocale()), QStringLiteral("-43.000\u00A0\u20AC"));
}
