// The engine's reading of typed numbers; the bulk of its cases are those of
// the program's amounts (tests/entry/test_amount_text.cpp).
#include "spreadsheet/TypedNumber.h"

#include <gtest/gtest.h>

using spreadsheet::readTypedNumber;

namespace {

const QLocale kUs(QStringLiteral("en_US"));
const QLocale kGerman(QStringLiteral("de_DE"));

std::optional<double> percent(const char16_t* text, const QLocale& locale = kUs)
{
    return readTypedNumber(QString::fromUtf16(text), locale, {.percent = true});
}

} // namespace

TEST(TypedNumber, PercentIsAHundredthWhenAskedFor)
{
    EXPECT_EQ(percent(u"12%"), 0.12);
    EXPECT_EQ(percent(u"12.3%"), 0.123) << "read as the nearest number to 0.123, not 12.3 / 100";
    EXPECT_EQ(percent(u"-5%"), -0.05);
    EXPECT_EQ(percent(u"(50%)"), -0.5);
    EXPECT_EQ(percent(u" 7 % "), 0.07);
    EXPECT_EQ(percent(u"1e2%"), 1.0);
    EXPECT_EQ(percent(u"1.5E+3%"), 15.0);
    EXPECT_EQ(percent(u"25e-1%"), 0.025);
    EXPECT_EQ(percent(u"1,000%"), 10.0);
    EXPECT_EQ(percent(u"12,5 %", kGerman), 0.125);
}

TEST(TypedNumber, PercentIsNoNumberOtherwise)
{
    EXPECT_FALSE(readTypedNumber(QStringLiteral("12%"), kUs).has_value());
    EXPECT_FALSE(percent(u"%").has_value());
    EXPECT_FALSE(percent(u"12%%").has_value());
    EXPECT_FALSE(percent(u"$12%").has_value()) << "a currency amount is no percentage";
    EXPECT_FALSE(percent(u"%12").has_value());
    EXPECT_FALSE(percent(u"1e99999999999999999999%").has_value());
}

TEST(TypedNumber, WithoutPercentTheAmountsReadAsBefore)
{
    EXPECT_EQ(percent(u"$43,000"), 43000.0);
    EXPECT_EQ(percent(u"($1,234)"), -1234.0);
    EXPECT_EQ(readTypedNumber(QStringLiteral("-43.000 \u20AC"), kGerman), -43000.0);
    EXPECT_FALSE(percent(u"").has_value());
}
