#include "entry/AmountText.h"
#include "services/UserLocale.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

using entry::formatAmount;
using entry::readAmountText;

namespace {

QLocale localeNamed(const char* name)
{
    return QString::fromLatin1(name) == QLatin1String("C") ? QLocale::c() : QLocale(QString::fromLatin1(name));
}

// Test names stay ASCII: other characters are written as \uXXXX.
std::string printable(const char16_t* text)
{
    std::string out;
    for (const QChar c : QString::fromUtf16(text)) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            out += char(c.unicode());
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toStdString();
    }
    return out;
}

struct Reading {
    const char* locale;
    const char16_t* text;
    double expected;
};

std::ostream& operator<<(std::ostream& out, const Reading& reading)
{
    return out << reading.locale << " <" << printable(reading.text) << '>';
}

struct Rejection {
    const char* locale;
    const char16_t* text;
};

std::ostream& operator<<(std::ostream& out, const Rejection& rejection)
{
    return out << rejection.locale << " <" << printable(rejection.text) << '>';
}

struct Formatting {
    const char* locale;
    double value;
    const char16_t* expected;
};

std::ostream& operator<<(std::ostream& out, const Formatting& formatting)
{
    return out << formatting.locale << ' ' << formatting.value;
}

} // namespace

class AcceptedNumber : public ::testing::TestWithParam<Reading> {};

TEST_P(AcceptedNumber, ReadsAsTheNumberMeant)
{
    const Reading& reading = GetParam();
    const std::optional<double> value = readAmountText(QString::fromUtf16(reading.text), localeNamed(reading.locale));
    ASSERT_TRUE(value.has_value());
    EXPECT_DOUBLE_EQ(*value, reading.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AmountText, AcceptedNumber,
    ::testing::Values(Reading{"en_US", u"$43,000", 43000}, Reading{"en_US", u"43000", 43000},
                      Reading{"en_US", u" 1,234.56 ", 1234.56}, Reading{"en_US", u"1,234,567.89", 1234567.89},
                      Reading{"en_US", u"-500", -500}, Reading{"en_US", u"500-", -500},
                      Reading{"en_US", u"($500)", -500}, Reading{"en_US", u"( $500 )", -500},
                      Reading{"en_US", u"-$500", -500}, Reading{"en_US", u"$-500", -500},
                      Reading{"en_US", u"$500-", -500},
                      Reading{"en_US",
                              u"\u2212"
                              u"500",
                              -500},
                      Reading{"en_US", u"1e3", 1000}, Reading{"en_US", u"1.5E+3", 1500},
                      Reading{"en_US", u"25e-1", 2.5}, Reading{"en_US", u"+7", 7}, Reading{"en_US", u"0", 0},
                      Reading{"en_US", u".5", 0.5}, Reading{"en_US", u"1e308", 1e308}, Reading{"en_US", u"\t$12\t", 12},
                      Reading{"en_US", u"USD 12", 12}, Reading{"de_DE", u"1.234,56 \u20AC", 1234.56},
                      Reading{"de_DE", u"-1.234,56 \u20AC", -1234.56}, Reading{"de_DE", u"1.234,56\u20AC", 1234.56},
                      Reading{"de_DE", u"100,5", 100.5}, Reading{"de_DE", u"1,5e3", 1500},
                      Reading{"fr_FR", u"43 000 \u20AC", 43000},
                      Reading{"fr_FR",
                              u"43\u202F"
                              u"000\u00A0\u20AC",
                              43000},
                      Reading{"fr_FR", u"-2,5", -2.5},
                      Reading{"ja_JP",
                              u"\uFFE5"
                              u"1,235",
                              1235},
                      Reading{"ja_JP",
                              u"-\uFFE5"
                              u"500",
                              -500},
                      Reading{"C", u"$1,234", 1234}, Reading{"C", u"($1,234)", -1234}, Reading{"C", u"1234.5", 1234.5},
                      Reading{"ar_EG", u"\u0661\u066C\u0662\u0663\u0664", 1234}, Reading{"ar_EG", u"1234", 1234}));

class RejectedText : public ::testing::TestWithParam<Rejection> {};

TEST_P(RejectedText, IsNoNumber)
{
    const Rejection& rejection = GetParam();
    const std::optional<double> value =
        readAmountText(QString::fromUtf16(rejection.text), localeNamed(rejection.locale));
    EXPECT_FALSE(value.has_value()) << "read as " << value.value_or(0);
}

INSTANTIATE_TEST_SUITE_P(
    AmountText, RejectedText,
    ::testing::Values(Rejection{"en_US", u""}, Rejection{"en_US", u"   "}, Rejection{"en_US", u"abc"},
                      Rejection{"en_US", u"$"}, Rejection{"en_US", u"-"}, Rejection{"en_US", u"()"},
                      Rejection{"en_US", u"1e"}, Rejection{"en_US", u"1e+"}, Rejection{"en_US", u"e5"},
                      Rejection{"en_US", u"1..2"}, Rejection{"en_US", u"1.2.3"}, Rejection{"en_US", u"inf"},
                      Rejection{"en_US", u"nan"}, Rejection{"en_US", u"1e999"}, Rejection{"en_US", u"-1e999"},
                      Rejection{"en_US", u"5 5"}, Rejection{"en_US", u"--5"}, Rejection{"en_US", u"+-5"},
                      Rejection{"en_US", u"-5-"}, Rejection{"en_US", u"(5"}, Rejection{"en_US", u"5)"},
                      Rejection{"en_US", u"(-5)"}, Rejection{"en_US", u"-(5)"}, Rejection{"en_US", u"$$5"},
                      Rejection{"en_US", u",5"}, Rejection{"en_US", u"5,"}, Rejection{"en_US", u"1,,000"},
                      Rejection{"en_US", u"0x10"}, Rejection{"en_US", u"12abc"},
                      Rejection{"en_US",
                                u"\u20AC"
                                u"5"},
                      Rejection{"de_DE", u"$100,000"}, Rejection{"de_DE", u"1,2,3"},
                      Rejection{"C",
                                u"\u20AC"
                                u"5"}));

class FormattedAmount : public ::testing::TestWithParam<Formatting> {};

TEST_P(FormattedAmount, IsTheStandardForm)
{
    const Formatting& formatting = GetParam();
    EXPECT_EQ(formatAmount(formatting.value, localeNamed(formatting.locale)), QString::fromUtf16(formatting.expected));
}

INSTANTIATE_TEST_SUITE_P(
    AmountText, FormattedAmount,
    ::testing::Values(
        Formatting{"en_US", 1234.56, u"$1,235"}, Formatting{"en_US", 43000, u"$43,000"},
        Formatting{"en_US", 2.5, u"$3"}, Formatting{"en_US", -2.5, u"($3)"}, Formatting{"en_US", 0.5, u"$1"},
        Formatting{"en_US", -0.5, u"($1)"}, Formatting{"en_US", 0.4, u"$0"}, Formatting{"en_US", -0.4, u"$0"},
        Formatting{"en_US", -0.0, u"$0"}, Formatting{"en_US", 0.49999999999999994, u"$0"},
        Formatting{"en_US", 999999.5, u"$1,000,000"}, Formatting{"en_US", 1e15, u"$1,000,000,000,000,000"},
        Formatting{"en_US", -123456789012.4, u"($123,456,789,012)"}, Formatting{"de_DE", 1234.56, u"1.235\u00A0\u20AC"},
        Formatting{"de_DE", -1234.56, u"-1.235\u00A0\u20AC"}, Formatting{"de_DE", -0.4, u"0\u00A0\u20AC"},
        Formatting{"C", 1234.4, u"$1,234"}, Formatting{"C", -1234.4, u"($1,234)"}, Formatting{"C", -0.4, u"$0"},
        Formatting{"C", 0, u"$0"}, Formatting{"C", 2.5, u"$3"}, Formatting{"C", 1234567, u"$1,234,567"}));

class AmountRoundTrip : public ::testing::TestWithParam<const char*> {};

// An amount rewritten in the standard form must read back as itself, or the
// next start would lose it.
TEST_P(AmountRoundTrip, FormattedAmountReadsBackAsTheSameNumber)
{
    const QLocale locale = localeNamed(GetParam());
    for (const double value : {0.0, 1.0, -1.0, 7.0, -7.0, 999.0, 1000.0, -1000.0, 43000.0, 1234567.0, -1234567.0,
                               123456789012.0, 1e15, -1e15, 9007199254740992.0}) {
        const QString text = formatAmount(value, locale);
        const std::optional<double> back = readAmountText(text, locale);
        ASSERT_TRUE(back.has_value()) << value << " became \"" << text.toStdString() << '"';
        EXPECT_EQ(*back, value) << "\"" << text.toStdString() << '"';
        // The standard form is stable: formatting what was read changes nothing.
        EXPECT_EQ(formatAmount(*back, locale), text);
    }
}

INSTANTIATE_TEST_SUITE_P(AmountText, AmountRoundTrip,
                         ::testing::Values("en_US", "de_DE", "fr_FR", "ja_JP", "C", "de_CH", "sv_SE", "hi_IN", "he_IL",
                                           "ar_EG"));

TEST(AmountText, FractionsRoundTripToTheirWholeAmount)
{
    for (const char* name : {"en_US", "de_DE", "fr_FR", "ja_JP", "C"}) {
        const QLocale locale = localeNamed(name);
        for (const double value : {2.5, -2.5, 1234.49, -1234.51, 0.4, -0.4}) {
            const std::optional<double> back = readAmountText(formatAmount(value, locale), locale);
            ASSERT_TRUE(back.has_value()) << name << ' ' << value;
            EXPECT_LE(std::fabs(*back - value), 0.5) << name << ' ' << value << " read back as " << *back;
            EXPECT_EQ(*back, std::trunc(*back)) << "standard amounts have no decimals";
        }
    }
}

TEST(AmountText, GroupSeparatorOfOneLocaleIsNotTheDecimalOfAnother)
{
    EXPECT_EQ(readAmountText(QStringLiteral("1.234"), QLocale(QStringLiteral("de_DE"))), 1234.0);
    EXPECT_EQ(readAmountText(QStringLiteral("1.234"), QLocale(QStringLiteral("en_US"))), 1.234);
    EXPECT_EQ(readAmountText(QStringLiteral("1,5"), QLocale(QStringLiteral("de_DE"))), 1.5);
}

TEST(AmountText, UserLocaleFollowsLang)
{
    EXPECT_EQ(services::userLocale().name(), QStringLiteral("en_US"));
    EXPECT_EQ(readAmountText(QStringLiteral("$43,000"), services::userLocale()), 43000.0);
    EXPECT_EQ(formatAmount(43000, services::userLocale()), QStringLiteral("$43,000"));
}

namespace {

// lead, then unit repeated, then tail.
struct LongText {
    const char* name;
    const char16_t* lead;
    const char16_t* unit;
    int repeats;
    const char16_t* tail;
    std::optional<double> expected;
};

void PrintTo(const LongText& c, std::ostream* os)
{
    *os << c.name;
}

constexpr int kTenMegabytes = 10 * 1024 * 1024;

class LongAmountText : public ::testing::TestWithParam<LongText> {};

} // namespace

// A stored value can be megabytes long. Reading it takes no longer than a
// pass or two over it, and a long number reads as its short form does:
// beyond the range of amounts it is no number.
TEST_P(LongAmountText, ReadsAsItsShortFormDoesInBoundedTime)
{
    const LongText& c = GetParam();
    const QString unit = QString::fromUtf16(c.unit);
    const QString text = QString::fromUtf16(c.lead) + unit.repeated(c.repeats) + QString::fromUtf16(c.tail);
    QElapsedTimer clock;
    clock.start();
    const std::optional<double> value = readAmountText(text, QLocale(QStringLiteral("en_US")));
    EXPECT_LT(clock.elapsed(), 10000) << "ms for " << text.size() << " characters";
    EXPECT_EQ(value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AmountText, LongAmountText,
    ::testing::Values(LongText{"OneAnd400Zeros", u"1", u"0", 400, u"", std::nullopt},
                      LongText{"OneAndTenMillionZeros", u"1", u"0", kTenMegabytes, u"", std::nullopt},
                      LongText{"DigitsThenALetter", u"", u"7", kTenMegabytes, u"x", std::nullopt},
                      LongText{"LeadingZeros", u"", u"0", kTenMegabytes, u"43000", 43000.0},
                      LongText{"GroupedDigits", u"$1", u",000", kTenMegabytes / 4, u"", std::nullopt},
                      LongText{"GroupedDigitsInRange", u"$1", u",000", 100, u"", 1e300},
                      LongText{"Letters", u"", u"Lorem ipsum ", kTenMegabytes / 12, u"", std::nullopt}),
    [](const auto& instance) { return std::string(instance.param.name); });
