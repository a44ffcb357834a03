#include "spreadsheet/NumberFormat.h"
#include "spreadsheet/Value.h"
#include "spreadsheet/Workbook.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QString>

#include <cmath>
#include <random>
#include <string>

using spreadsheet::builtInFormatCode;
using spreadsheet::dateSerial;
using spreadsheet::defaultPalette;
using spreadsheet::DisplayKind;
using spreadsheet::DisplayText;
using spreadsheet::Empty;
using spreadsheet::ErrorValue;
using spreadsheet::formatValue;
using spreadsheet::Value;

namespace {

DisplayText shown(const Value& value, const char* code, bool date1904 = false)
{
    return formatValue(value, QString::fromUtf8(code), date1904);
}

std::string text(const Value& value, const char* code, bool date1904 = false)
{
    return shown(value, code, date1904).text.toStdString();
}

// "9:)" for a blank as wide as ')' at index 9; several joined by commas.
std::string pads(const DisplayText& d)
{
    std::string out;
    for (const auto& [at, ch] : d.padding) {
        if (!out.empty())
            out += ',';
        out += std::to_string(at) + ":" + QString(ch).toStdString();
    }
    return out;
}

std::string fill(const DisplayText& d)
{
    return d.fill ? std::to_string(d.fill->first) + ":" + QString(d.fill->second).toStdString() : std::string();
}

std::string colour(const DisplayText& d)
{
    return d.colour ? d.colour->name().toStdString() : std::string("none");
}

Value str(const char* value)
{
    return QString::fromUtf8(value);
}

} // namespace

// ---------------------------------------------------------------------------
// The formats of the workbooks the program writes.

TEST(NumberFormat, ThousandsWithRedParenthesesForNegatives)
{
    const char* code = "#,##0_);[Red](#,##0)";
    DisplayText d = shown(1234567.0, code);
    EXPECT_EQ(d.text.toStdString(), "1,234,567");
    EXPECT_EQ(pads(d), "9:)");
    EXPECT_EQ(colour(d), "none");
    EXPECT_TRUE(d.isNumber);
    EXPECT_EQ(d.kind, DisplayKind::Number);

    d = shown(-1234.0, code);
    EXPECT_EQ(d.text.toStdString(), "(1,234)");
    EXPECT_EQ(pads(d), "");
    EXPECT_EQ(colour(d), "#ff0000");

    d = shown(0.0, code);
    EXPECT_EQ(d.text.toStdString(), "0");
    EXPECT_EQ(pads(d), "1:)");

    EXPECT_EQ(text(1234.5, code), "1,235");
    EXPECT_EQ(text(1234.4999, code), "1,234");

    // The section is chosen by the value's sign before rounding.
    d = shown(-0.4, code);
    EXPECT_EQ(d.text.toStdString(), "(0)");
    EXPECT_EQ(colour(d), "#ff0000");
}

TEST(NumberFormat, DollarsWithEscapedParentheses)
{
    const char* code = R"("$"#,##0_);[Red]\("$"#,##0\))";
    DisplayText d = shown(728000.0, code);
    EXPECT_EQ(d.text.toStdString(), "$728,000");
    EXPECT_EQ(pads(d), "8:)");
    EXPECT_EQ(colour(d), "none");

    d = shown(-5000.0, code);
    EXPECT_EQ(d.text.toStdString(), "($5,000)");
    EXPECT_EQ(colour(d), "#ff0000");
}

TEST(NumberFormat, LocaleTaggedDateWithTextSection)
{
    const char* code = R"([$-409]d\-mmm\-yy;@)";
    EXPECT_EQ(text(45268.0, code), "8-Dec-23");
    EXPECT_EQ(text(40199.0, code), "21-Jan-10");
    EXPECT_TRUE(shown(45268.0, code).isNumber);

    const DisplayText d = shown(str("[Date]"), code);
    EXPECT_EQ(d.text.toStdString(), "[Date]");
    EXPECT_FALSE(d.isNumber);
    EXPECT_EQ(d.kind, DisplayKind::Text);
}

// ---------------------------------------------------------------------------
// General.

TEST(NumberFormat, GeneralNumbers)
{
    EXPECT_EQ(text(0.0, "General"), "0");
    EXPECT_EQ(text(0.1, "General"), "0.1");
    EXPECT_EQ(text(1.0 / 3.0, "General"), "0.333333333");
    EXPECT_EQ(text(-1.0 / 3.0, "General"), "-0.333333333");
    EXPECT_EQ(text(2.0 / 3.0, "General"), "0.666666667");
    EXPECT_EQ(text(1e20, "General"), "1E+20");
    EXPECT_EQ(text(-5.0, "General"), "-5");
    EXPECT_EQ(text(12345678901.0, "General"), "12345678901");
    EXPECT_EQ(text(-12345678901.0, "General"), "-12345678901");
    EXPECT_EQ(text(123456789012.0, "General"), "1.23457E+11");
    EXPECT_EQ(text(123456.789, "General"), "123456.789");
    EXPECT_EQ(text(1234567.891234, "General"), "1234567.891");
    EXPECT_EQ(text(99999999999.7, "General"), "1E+11");
    EXPECT_EQ(text(0.1 + 0.2, "General"), "0.3");
    EXPECT_EQ(text(2.675, "General"), "2.675");
    EXPECT_EQ(text(0.0001234, "General"), "0.0001234");
    EXPECT_EQ(text(0.00001, "General"), "0.00001");
    EXPECT_EQ(text(0.000012345678, "General"), "1.23457E-05");
    EXPECT_EQ(text(1e-300, "General"), "1E-300");
    EXPECT_EQ(text(1.5e100, "General"), "1.5E+100");
    EXPECT_EQ(text(1.23456789e100, "General"), "1.2346E+100");
    EXPECT_EQ(text(45268.0, "General"), "45268");
    EXPECT_EQ(text(1.0, "general"), "1");
}

TEST(NumberFormat, GeneralOtherValues)
{
    DisplayText d = shown(true, "General");
    EXPECT_EQ(d.text.toStdString(), "TRUE");
    EXPECT_EQ(d.kind, DisplayKind::Boolean);
    EXPECT_FALSE(d.isNumber);
    EXPECT_EQ(text(false, "0.00"), "FALSE");

    d = shown(ErrorValue::Div0, "#,##0");
    EXPECT_EQ(d.text.toStdString(), "#DIV/0!");
    EXPECT_EQ(d.kind, DisplayKind::Error);
    EXPECT_FALSE(d.isNumber);
    EXPECT_EQ(text(ErrorValue::NA, "General"), "#N/A");

    d = shown(Empty{}, "0.00");
    EXPECT_EQ(d.text.toStdString(), "");
    EXPECT_EQ(d.kind, DisplayKind::Empty);
    EXPECT_FALSE(d.isNumber);

    d = shown(str("hello"), "General");
    EXPECT_EQ(d.text.toStdString(), "hello");
    EXPECT_EQ(d.kind, DisplayKind::Text);
    EXPECT_FALSE(d.isNumber);
}

TEST(NumberFormat, UnreadableCodesShowGeneral)
{
    for (const char* code : {"\"abc", "0\\", "0_", "0*", "[Purple]0", "[Color0]0", "[Color57]0", "[<abc]0", "0;0;0;0;0",
                             "[Red", "General0", "@0", "0 d", "", "[]0"}) {
        const DisplayText d = shown(1234.5, code);
        EXPECT_EQ(d.text.toStdString(), "1234.5") << code;
        EXPECT_EQ(colour(d), "none") << code;
        EXPECT_EQ(pads(d), "") << code;
        EXPECT_EQ(text(-0.5, code), "-0.5") << code;
        EXPECT_EQ(text(str("x"), code), "x") << code;
    }
}

// ---------------------------------------------------------------------------
// Digits.

TEST(NumberFormat, PercentScientificAndScaling)
{
    EXPECT_EQ(text(0.1234, "0.00%"), "12.34%");
    EXPECT_EQ(text(0.5, "0%"), "50%");
    EXPECT_EQ(text(-0.015, "0.0%"), "-1.5%");
    EXPECT_EQ(text(12345.0, "0.00E+00"), "1.23E+04");
    EXPECT_EQ(text(0.000123, "0.00E+00"), "1.23E-04");
    EXPECT_EQ(text(0.0, "0.00E+00"), "0.00E+00");
    EXPECT_EQ(text(-12345.0, "0.00E+00"), "-1.23E+04");
    EXPECT_EQ(text(99999.0, "0.00E+00"), "1.00E+05");
    EXPECT_EQ(text(12345.0, "0.00E-00"), "1.23E04");
    EXPECT_EQ(text(0.000123, "0.00E-00"), "1.23E-04");
    EXPECT_EQ(text(12345.0, "00.00E+00"), "12.35E+03");
    EXPECT_EQ(text(12345.0, "##0.0E+0"), "12.3E+3");
    EXPECT_EQ(text(123456.0, "##0.0E+0"), "123.5E+3");
    EXPECT_EQ(text(1234567.0, "##0.0E+0"), "1.2E+6");
    EXPECT_EQ(text(0.001234, "##0.0E+0"), "1.2E-3");
    EXPECT_EQ(text(0.0001234, "##0.0E+0"), "123.4E-6");
    EXPECT_EQ(text(1234567.0, "#,##0,"), "1,235");
    EXPECT_EQ(text(1234567.0, "0.0,,"), "1.2");
    EXPECT_EQ(text(1234567.0, "#,##0.0,,\"M\""), "1.2M");
    EXPECT_EQ(text(1500.0, "0,\"K\""), "2K");
}

TEST(NumberFormat, RoundingFollowsTheShownDecimals)
{
    // 2.25 is exact in binary; 2.35 and 2.675 are a hair below, but their
    // 15 significant digits end in a 5, which rounds up as shown.
    EXPECT_EQ(text(2.25, "0.0"), "2.3");
    EXPECT_EQ(text(2.35, "0.0"), "2.4");
    EXPECT_EQ(text(2.675, "0.00"), "2.68");
    EXPECT_EQ(text(1.005, "0.00"), "1.01");
    EXPECT_EQ(text(0.125, "0.00"), "0.13");
    EXPECT_EQ(text(0.5, "0"), "1");
    EXPECT_EQ(text(1.5, "0"), "2");
    EXPECT_EQ(text(2.5, "0"), "3");
    EXPECT_EQ(text(-2.5, "0"), "-3");
    EXPECT_EQ(text(9.995, "0.00"), "10.00");
    EXPECT_EQ(text(999.96, "#,##0.0"), "1,000.0");
    EXPECT_EQ(text(0.1 + 0.2, "0.0000000000000000"), "0.3000000000000000");
}

TEST(NumberFormat, DigitPlaceholders)
{
    EXPECT_EQ(text(1234567.891, "#,##0.00"), "1,234,567.89");
    EXPECT_EQ(text(5.0, "0,000"), "0,005");
    EXPECT_EQ(text(0.0, "#,###"), "");
    EXPECT_EQ(text(5.0, "#.##"), "5.");
    EXPECT_EQ(text(0.5, "#.##"), ".5");
    EXPECT_EQ(text(0.5, "0.##"), "0.5");
    EXPECT_EQ(text(12.5, ".00"), "12.50");
    EXPECT_EQ(text(123456789.0, "000-00-0000"), "123-45-6789");
    EXPECT_EQ(text(5551234567.0, "(###) ###-####"), "(555) 123-4567");
    EXPECT_EQ(text(12345.0, "00"), "12345");
    EXPECT_EQ(text(7.0, "000"), "007");
    EXPECT_EQ(text(1e20, "0"), "100000000000000000000");
    EXPECT_EQ(text(1e15, "#,##0"), "1,000,000,000,000,000");
    EXPECT_EQ(text(1e-20, "0.00"), "0.00");
    EXPECT_EQ(text(123.456, "0.0 \"kg\""), "123.5 kg");
}

TEST(NumberFormat, QuestionMarksLeaveDigitWideBlanks)
{
    DisplayText d = shown(1.5, "0.0??");
    EXPECT_EQ(d.text.toStdString(), "1.5");
    EXPECT_EQ(pads(d), "3:0,3:0");

    d = shown(5.0, "???");
    EXPECT_EQ(d.text.toStdString(), "5");
    EXPECT_EQ(pads(d), "0:0,0:0");

    d = shown(1234.0, "?,???");
    EXPECT_EQ(d.text.toStdString(), "1,234");
    EXPECT_EQ(pads(d), "");

    d = shown(12.0, "?,???");
    EXPECT_EQ(d.text.toStdString(), "12");
    EXPECT_EQ(pads(d), "0:0,0:,,0:0");
}

// ---------------------------------------------------------------------------
// Sections, signs, conditions.

TEST(NumberFormat, SignsAndSections)
{
    EXPECT_EQ(text(-5.0, "0"), "-5");
    EXPECT_EQ(text(-5.0, "0;0"), "5");
    EXPECT_EQ(text(-5.0, "0;-0"), "-5");
    EXPECT_EQ(text(-5.0, "0;0;0"), "5");
    EXPECT_EQ(text(-5.0, "0.0;\"minus \"0.0"), "minus 5.0");
    // One section: the minus goes before everything, literals too.
    EXPECT_EQ(text(-5.0, "\"The value is \"0."), "-The value is 5.");
    EXPECT_EQ(text(-5.0, "\"x\""), "-x");
    EXPECT_EQ(text(5.0, "\"x\""), "x");
    // A negative that rounds to zeros shows no minus of its own...
    EXPECT_EQ(text(-0.4, "0"), "0");
    EXPECT_EQ(text(-0.01, "0.0"), "0.0");
    // ...but with more sections than one the minus stays.
    EXPECT_EQ(text(-0.01, "0.0;-0.0"), "-0.0");
    EXPECT_EQ(text(-0.01, "0.0;@"), "-0.0");
    EXPECT_EQ(text(-0.01, "-0.0"), "-0.0");
    EXPECT_EQ(text(-1.0, "0.0;@"), "-1.0");
    EXPECT_EQ(text(-1.0, "-0.0"), "--1.0");
}

TEST(NumberFormat, ZeroAndEmptySections)
{
    EXPECT_EQ(text(0.0, "0.00;(0.00);\"zero\""), "zero");
    EXPECT_EQ(text(-3.0, "0.00;(0.00);\"zero\""), "(3.00)");
    EXPECT_EQ(text(3.0, "0.00;(0.00);\"zero\""), "3.00");
    EXPECT_EQ(text(-5.0, "0;;"), "");
    EXPECT_EQ(text(0.0, "0;;"), "");
    EXPECT_EQ(text(5.0, "0;;"), "5");
    EXPECT_EQ(text(5.0, ";;;"), "");
    EXPECT_EQ(text(str("abc"), ";;;"), "");
    EXPECT_EQ(text(str("abc"), "0;0;0"), "abc");
}

TEST(NumberFormat, Conditions)
{
    const char* scaled = "[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0";
    EXPECT_EQ(text(2500000.0, scaled), "2.5M");
    EXPECT_EQ(text(12345.0, scaled), "12.3K");
    EXPECT_EQ(text(999.0, scaled), "999");
    EXPECT_EQ(text(-5000.0, scaled), "-5000");

    // A section whose condition holds only negatives drops the minus.
    EXPECT_EQ(text(-20.0, "[<-10]#\" Wow\""), "20 Wow");
    EXPECT_EQ(text(-5.0, "[>-10]#\" Wow\""), "-5 Wow");
    EXPECT_EQ(text(-2.0, "[>=-1]0;0"), "2");
    EXPECT_EQ(text(-2.0, "[>=1]0;0"), "-2");

    const char* coloured = "[Red][<=-25]General;[Blue][>=25]General;[Green]General;[Yellow]General";
    DisplayText d = shown(-25.0, coloured);
    EXPECT_EQ(d.text.toStdString(), "25");
    EXPECT_EQ(colour(d), "#ff0000");
    d = shown(30.0, coloured);
    EXPECT_EQ(d.text.toStdString(), "30");
    EXPECT_EQ(colour(d), "#0000ff");
    d = shown(5.0, coloured);
    EXPECT_EQ(d.text.toStdString(), "5");
    EXPECT_EQ(colour(d), "#00ff00");
    d = shown(-5.0, coloured);
    EXPECT_EQ(d.text.toStdString(), "-5");
    d = shown(str("foo"), coloured);
    EXPECT_EQ(d.text.toStdString(), "foo");
    EXPECT_EQ(colour(d), "#ffff00");

    EXPECT_EQ(text(5.0, "[=5]\"five\";0"), "five");
    EXPECT_EQ(text(6.0, "[=5]\"five\";0"), "6");
    EXPECT_EQ(text(6.0, "[<>5]\"not five\";0"), "not five");
    EXPECT_EQ(text(1234567.0, "[<=9999999]###-####;(###) ###-####"), "123-4567");
    EXPECT_EQ(text(5551234567.0, "[<=9999999]###-####;(###) ###-####"), "(555) 123-4567");
}

TEST(NumberFormat, Colours)
{
    struct Named {
        const char* code;
        const char* rgb;
    };
    for (const Named& c : {Named{"[Black]0", "#000000"}, Named{"[Blue]0", "#0000ff"}, Named{"[Cyan]0", "#00ffff"},
                           Named{"[Green]0", "#00ff00"}, Named{"[Magenta]0", "#ff00ff"}, Named{"[Red]0", "#ff0000"},
                           Named{"[White]0", "#ffffff"}, Named{"[Yellow]0", "#ffff00"}, Named{"[BLUE]0", "#0000ff"}}) {
        const DisplayText d = shown(7.0, c.code);
        EXPECT_EQ(d.text.toStdString(), "7") << c.code;
        EXPECT_EQ(colour(d), c.rgb) << c.code;
    }
    for (int n = 1; n <= 56; ++n) {
        const QString code = QStringLiteral("[Color%1]0").arg(n);
        const DisplayText d = formatValue(7.0, code);
        ASSERT_TRUE(d.colour.has_value()) << n;
        EXPECT_EQ(*d.colour, defaultPalette()[n - 1]) << n;
    }
    EXPECT_EQ(colour(shown(7.0, "[Color10]0")), "#008000");
    EXPECT_EQ(colour(shown(str("t"), "0;0;0;[Magenta]@")), "#ff00ff");
    // Text without a text section keeps its own colour.
    EXPECT_EQ(colour(shown(str("t"), "[Red]0")), "none");
}

// ---------------------------------------------------------------------------
// Literals, padding, fill, text.

TEST(NumberFormat, Literals)
{
    EXPECT_EQ(text(1234.5, "[$€-407]#,##0.00"), "€1,234.50");
    EXPECT_EQ(text(5.0, "[$$-409]#,##0"), "$5");
    EXPECT_EQ(text(5.0, "[$USD] 0"), "USD 5");
    EXPECT_EQ(text(5.0, "[$-409]0"), "5");
    EXPECT_EQ(text(5.0, "+0"), "+5");
    EXPECT_EQ(text(5.0, "0 $-+/():!^&'~{}<>="), "5 $-+/():!^&'~{}<>=");
    EXPECT_EQ(text(5.0, "\\A\\B0\\;\\\""), "AB5;\"");
    EXPECT_EQ(text(5.0, "0\" units; \"\"\""), "5 units; ");
    EXPECT_EQ(text(5.0, "0 x"), "5 x");
}

TEST(NumberFormat, AccountingPaddingAndFill)
{
    const QString code = builtInFormatCode(41);
    DisplayText d = formatValue(1234.0, code);
    EXPECT_EQ(d.text.toStdString(), "1,234");
    EXPECT_EQ(pads(d), "0:(,5:)");
    EXPECT_EQ(fill(d), "0: ");

    d = formatValue(-1234.0, code);
    EXPECT_EQ(d.text.toStdString(), "(1,234)");
    EXPECT_EQ(pads(d), "0:(");
    EXPECT_EQ(fill(d), "0: ");

    d = formatValue(0.0, code);
    EXPECT_EQ(d.text.toStdString(), "-");
    EXPECT_EQ(pads(d), "0:(,1:)");

    d = formatValue(QString("abc"), code);
    EXPECT_EQ(d.text.toStdString(), "abc");
    EXPECT_EQ(pads(d), "0:(,3:)");
    EXPECT_FALSE(d.fill.has_value());

    d = formatValue(0.0, builtInFormatCode(44));
    EXPECT_EQ(d.text.toStdString(), "$-");
    EXPECT_EQ(pads(d), "0:(,2:0,2:0,2:)");
    EXPECT_EQ(fill(d), "1: ");

    d = formatValue(1234.5, builtInFormatCode(44));
    EXPECT_EQ(d.text.toStdString(), "$1,234.50");
    EXPECT_EQ(fill(d), "1: ");

    // Only the first fill counts.
    d = shown(5.0, "*-0*=");
    EXPECT_EQ(d.text.toStdString(), "5");
    EXPECT_EQ(fill(d), "0:-");
}

TEST(NumberFormat, TextSection)
{
    EXPECT_EQ(text(str("x"), "0;0;0;\"Text: \"@"), "Text: x");
    EXPECT_EQ(text(str("ab"), "0;0;0;@@"), "abab");
    EXPECT_EQ(text(str("abc"), "@"), "abc");
    EXPECT_EQ(text(str("abc"), "\"[\"@\"]\""), "[abc]");
    EXPECT_EQ(text(str("abc"), "0.00"), "abc");
    EXPECT_EQ(text(str("abc"), "0;0;0;\"fixed\""), "fixed");
    // Numbers never go through the text section.
    EXPECT_EQ(text(5.0, "@"), "5");
    EXPECT_EQ(text(5.5, "\"Text: \"@"), "5.5");
    EXPECT_EQ(text(5.0, "0.0;0;0;\"Text: \"@"), "5.0");
    const DisplayText d = shown(5.0, "@");
    EXPECT_TRUE(d.isNumber);
}

// ---------------------------------------------------------------------------
// Fractions.

TEST(NumberFormat, Fractions)
{
    EXPECT_EQ(text(1.5, "# ?/?"), "1 1/2");
    EXPECT_EQ(text(-1.5, "# ?/?"), "-1 1/2");
    EXPECT_EQ(text(0.75, "# ?/?"), " 3/4");
    EXPECT_EQ(text(3.14159265358979, "# ?\?/??"), "3 14/99");
    EXPECT_EQ(text(3.14159265358979, "# ??\?/???"), "3 16/113");
    EXPECT_EQ(text(0.999, "# ?/?"), "1 ");
    EXPECT_EQ(text(0.3, "# ?/?"), " 2/7");
    EXPECT_EQ(text(1.5, "?/?"), "3/2");
    EXPECT_EQ(text(0.0, "?/?"), "0/1");
    EXPECT_EQ(text(1.25, "# ?/4"), "1 1/4");
    EXPECT_EQ(text(1.5, "# ?/4"), "1 2/4");
    EXPECT_EQ(text(0.37, "# ?\?/100"), " 37/100");
    EXPECT_EQ(text(2.0, "0/10"), "20/10");
    EXPECT_EQ(text(1e20, "?/?"), "100000000000000000000/1");
    EXPECT_EQ(text(1e20, "# ?/?").substr(0, 21), "100000000000000000000");
    EXPECT_EQ(text(10000000000.5, "?/?"), "20000000001/2");
    // Near 1e14 a double's fraction is a multiple of 1/64: here exactly 1/8.
    EXPECT_EQ(text(123456789012345.123, "?/?????????"), "987654312098761/8");

    DisplayText d = shown(5.0, "# ?/?");
    EXPECT_EQ(d.text.toStdString(), "5 ");
    EXPECT_EQ(pads(d), "2:0,2:/,2:0");

    d = shown(0.0, "# ?/?");
    EXPECT_EQ(d.text.toStdString(), "0 ");
    EXPECT_EQ(pads(d), "2:0,2:/,2:0");

    d = shown(1.5, "# ?\?/??");
    EXPECT_EQ(d.text.toStdString(), "1 1/2");
    EXPECT_EQ(pads(d), "2:0,5:0");

    // The minus stays with a fraction even when nothing else shows.
    d = shown(-0.01, "0 #/#");
    EXPECT_EQ(d.text.toStdString(), "-0 ");
    EXPECT_EQ(pads(d), "3:0,3:/,3:0");
}

// ---------------------------------------------------------------------------
// Dates and times.

TEST(NumberFormat, Dates)
{
    EXPECT_EQ(text(45268.0, "m/d/yyyy"), "12/8/2023");
    EXPECT_EQ(text(45268.0, "mm/dd/yy"), "12/08/23");
    EXPECT_EQ(text(45268.0, "dddd, mmmm d, yyyy"), "Friday, December 8, 2023");
    EXPECT_EQ(text(45268.0, "ddd mmm"), "Fri Dec");
    EXPECT_EQ(text(45268.0, "mmmmm"), "D");
    EXPECT_EQ(text(dateSerial(2009, 3, 4), "yy-m-d"), "09-3-4");
    EXPECT_EQ(text(dateSerial(2009, 3, 4), "YYYY-MM-DD"), "2009-03-04");
    EXPECT_EQ(text(45268.0, "[$-F800]dddd, mmmm dd, yyyy"), "Friday, December 08, 2023");
    EXPECT_EQ(text(45268.99, "m/d/yyyy"), "12/8/2023");

    // The 1900 system's first days, its phantom 29 February included.
    EXPECT_EQ(text(0.0, "d-mmm-yy"), "0-Jan-00");
    EXPECT_EQ(text(0.0, "dddd"), "Saturday");
    EXPECT_EQ(text(1.0, "dddd m/d/yyyy"), "Sunday 1/1/1900");
    EXPECT_EQ(text(59.0, "d-mmm-yy"), "28-Feb-00");
    EXPECT_EQ(text(60.0, "d-mmm-yy"), "29-Feb-00");
    EXPECT_EQ(text(61.0, "d-mmm-yy"), "1-Mar-00");
    EXPECT_EQ(text(61.0, "dddd"), "Thursday");
    EXPECT_EQ(text(2958465.0, "m/d/yyyy"), "12/31/9999");

    // 1904 system.
    EXPECT_EQ(text(0.0, "m/d/yyyy", true), "1/1/1904");
    EXPECT_EQ(text(0.0, "dddd", true), "Friday");
    EXPECT_EQ(text(43806.0, "m/d/yyyy", true), "12/8/2023");
}

TEST(NumberFormat, DatesOutsideTheCalendarFillWithHashes)
{
    for (double value : {-1.0, -0.5, 2958466.0, 1e20}) {
        const DisplayText d = shown(value, "m/d/yyyy");
        EXPECT_EQ(d.text.toStdString(), "#") << value;
        EXPECT_EQ(fill(d), "0:#") << value;
        EXPECT_TRUE(d.isNumber);
    }
    EXPECT_EQ(text(2958465.0, "m/d/yyyy", true), "#");
    // The 1904 system shows negative times.
    EXPECT_EQ(text(-0.25, "h:mm", true), "-6:00");
}

TEST(NumberFormat, Times)
{
    const char* code = "mm/dd/yyyy h:mm AM/PM";
    EXPECT_EQ(text(45268.75, code), "12/08/2023 6:00 PM");
    EXPECT_EQ(text(45268.0, code), "12/08/2023 12:00 AM");
    EXPECT_EQ(text(45268.5, code), "12/08/2023 12:00 PM");
    EXPECT_EQ(text(45268.25, code), "12/08/2023 6:00 AM");
    EXPECT_EQ(text(0.75, "h:mm a/p"), "6:00 p");
    EXPECT_EQ(text(0.75, "h:mm am/pm"), "6:00 pm");
    EXPECT_EQ(text(0.0, "hh AM/PM"), "12 AM");
    EXPECT_EQ(text(0.75, "h:mm"), "18:00");
    EXPECT_EQ(text(0.75, "hh:mm:ss"), "18:00:00");

    const double halfPastTen = (10 * 3600 + 30 * 60 + 45) / 86400.0;
    EXPECT_EQ(text(halfPastTen, "h:mm"), "10:30"); // minutes truncate...
    EXPECT_EQ(text(halfPastTen, "h:mm:ss"), "10:30:45");
    EXPECT_EQ(text((10 * 3600 + 30 * 60 + 59.6) / 86400.0, "h:mm"), "10:31"); // ...after seconds round
    EXPECT_EQ(text(0.99999999, "h:mm:ss"), "0:00:00");
    EXPECT_EQ(text(45268.99999999, "m/d/yyyy"), "12/9/2023");

    EXPECT_EQ(text(0.5 + 5 / 1440.0, "h:m"), "12:5");
    EXPECT_EQ(text(45268.5 + 5 / 1440.0, "m/d h:mm"), "12/8 12:05");
    EXPECT_EQ(text(45268.5 + 5 / 1440.0, "m/d"), "12/8");
    EXPECT_EQ(text(75.6 / 86400.0, "mm:ss"), "01:16");
    EXPECT_EQ(text(75.4 / 86400.0, "mm:ss"), "01:15");
    EXPECT_EQ(text(75.26 / 86400.0, "mm:ss.0"), "01:15.3");
    EXPECT_EQ(text(75.26 / 86400.0, "mm:ss.00"), "01:15.26");
    EXPECT_EQ(text(75.26 / 86400.0, "mm:ss.000"), "01:15.260");
    EXPECT_EQ(text(45268.5 + 1 / 86400.0, "yyyy-mm-dd hh:mm:ss"), "2023-12-08 12:00:01");
    EXPECT_EQ(text(1.5, "[h]:mm:ss"), "36:00:00");
    EXPECT_EQ(text(0.5, "[mm]:ss"), "720:00");
    EXPECT_EQ(text(1.0 / 86400 * 125, "[s]"), "125");
    EXPECT_EQ(text(0.5, "[h]"), "12");
}

TEST(NumberFormat, DateSerials)
{
    EXPECT_EQ(dateSerial(1900, 1, 1), 1);
    EXPECT_EQ(dateSerial(1900, 2, 28), 59);
    EXPECT_EQ(dateSerial(1900, 2, 29), 60);
    EXPECT_EQ(dateSerial(1900, 3, 1), 61);
    EXPECT_EQ(dateSerial(1900, 12, 31), 366);
    EXPECT_EQ(dateSerial(1901, 1, 1), 367);
    EXPECT_EQ(dateSerial(1899, 12, 31), 0);
    EXPECT_EQ(dateSerial(2023, 12, 8), 45268);
    EXPECT_EQ(dateSerial(2010, 1, 21), 40199);
    EXPECT_EQ(dateSerial(9999, 12, 31), 2958465);
    EXPECT_EQ(dateSerial(2023, 13, 1), dateSerial(2024, 1, 1));
    EXPECT_EQ(dateSerial(2024, 0, 1), dateSerial(2023, 12, 1));
    EXPECT_EQ(dateSerial(2024, 3, 0), dateSerial(2024, 2, 29));
    EXPECT_EQ(dateSerial(1904, 1, 1, true), 0);
    EXPECT_EQ(dateSerial(2023, 12, 8, true), 45268 - 1462);

    // Every shown date reads back as the serial it came from.
    for (bool date1904 : {false, true}) {
        for (int serial = 1; serial < 2957000; serial += 997) {
            const QString shownDate = formatValue(double(serial), QStringLiteral("yyyy-mm-dd"), date1904).text;
            const QStringList parts = shownDate.split(u'-');
            ASSERT_EQ(parts.size(), 3) << serial;
            EXPECT_EQ(dateSerial(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), date1904), serial)
                << serial << " " << shownDate.toStdString();
        }
    }
    EXPECT_EQ(text(60.0, "yyyy-mm-dd"), "1900-02-29");
}

// ---------------------------------------------------------------------------
// Built-in codes.

TEST(NumberFormat, BuiltInCodes)
{
    EXPECT_EQ(builtInFormatCode(0).toStdString(), "General");
    EXPECT_EQ(builtInFormatCode(3).toStdString(), "#,##0");
    EXPECT_EQ(builtInFormatCode(5).toStdString(), R"("$"#,##0_);\("$"#,##0\))");
    EXPECT_EQ(builtInFormatCode(6).toStdString(), R"("$"#,##0_);[Red]\("$"#,##0\))");
    EXPECT_EQ(builtInFormatCode(14).toStdString(), "m/d/yyyy");
    EXPECT_EQ(builtInFormatCode(22).toStdString(), "m/d/yyyy h:mm");
    EXPECT_EQ(builtInFormatCode(37).toStdString(), "#,##0_);(#,##0)");
    EXPECT_EQ(builtInFormatCode(38).toStdString(), "#,##0_);[Red](#,##0)");
    EXPECT_EQ(builtInFormatCode(44).toStdString(), R"(_("$"* #,##0.00_);_("$"* \(#,##0.00\);_("$"* "-"??_);_(@_))");
    EXPECT_EQ(builtInFormatCode(46).toStdString(), "[h]:mm:ss");
    EXPECT_EQ(builtInFormatCode(49).toStdString(), "@");
    for (int id : {-1, 23, 30, 36, 50, 164})
        EXPECT_TRUE(builtInFormatCode(id).isEmpty()) << id;
    for (int id = 0; id <= 22; ++id)
        EXPECT_FALSE(builtInFormatCode(id).isEmpty()) << id;
    for (int id = 37; id <= 49; ++id)
        EXPECT_FALSE(builtInFormatCode(id).isEmpty()) << id;
}

TEST(NumberFormat, BuiltInCodesShowAsASpreadsheetDoes)
{
    struct Case {
        int id;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0, 1234.5, "1234.5"},
        {1, 1234.5, "1235"},
        {2, 1234.5, "1234.50"},
        {3, 1234.5, "1,235"},
        {4, -1234.5, "-1,234.50"},
        {5, -1234.0, "($1,234)"},
        {6, 1234.0, "$1,234"},
        {7, -1234.5, "($1,234.50)"},
        {8, 1234.5, "$1,234.50"},
        {9, 0.123, "12%"},
        {10, 0.123, "12.30%"},
        {11, 1234.5, "1.23E+03"},
        {12, 1.25, "1 1/4"},
        {13, 1.3, "1 3/10"},
        {14, 45268.75, "12/8/2023"},
        {15, 45268.75, "8-Dec-23"},
        {16, 45268.75, "8-Dec"},
        {17, 45268.75, "Dec-23"},
        {18, 45268.75, "6:00 PM"},
        {19, 45268.75, "6:00:00 PM"},
        {20, 45268.75, "18:00"},
        {21, 45268.75, "18:00:00"},
        {22, 45268.75, "12/8/2023 18:00"},
        {37, -1234.0, "(1,234)"},
        {38, 1234.0, "1,234"},
        {39, -1234.5, "(1,234.50)"},
        {40, 1234.5, "1,234.50"},
        {45, 75.6 / 86400, "01:16"},
        {46, 1.25, "30:00:00"},
        {47, 75.26 / 86400, "01:15.3"},
        {48, 12345.0, "12.3E+3"},
        {49, 1234.5, "1234.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatValue(c.value, builtInFormatCode(c.id)).text.toStdString(), c.text) << c.id;
    EXPECT_EQ(colour(formatValue(-1.0, builtInFormatCode(8))), "#ff0000");
    EXPECT_EQ(colour(formatValue(-1.0, builtInFormatCode(40))), "#ff0000");
}

// ---------------------------------------------------------------------------
// Robustness.

TEST(NumberFormat, AnyCodeShowsWithoutCrashingOrHanging)
{
    const QString alphabet = QStringLiteral("0#?.,%E+-e/;@_*\\\"[]$<>=()abcdhmsyAMP/GeneralRedColor12 :!^&'~{}€");
    const Value values[] = {0.0,     -0.0,      1.0,  -1.0,        0.5,         -1234567.891, 45268.75,        1e300,
                            -1e-300, 2958466.0, 1e15, 0.999999999, str("text"), true,         ErrorValue::Ref, Empty{}};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> lengths(0, 24);
    std::uniform_int_distribution<int> letters(0, int(alphabet.size()) - 1);
    std::uniform_int_distribution<int> picks(0, int(std::size(values)) - 1);
    for (int iteration = 0; iteration < 100000; ++iteration) {
        QString code;
        const int length = lengths(random);
        for (int i = 0; i < length; ++i)
            code.append(alphabet[letters(random)]);
        const Value& value = values[picks(random)];
        const DisplayText d = formatValue(value, code, iteration % 7 == 0);
        for (const auto& [at, ch] : d.padding) {
            ASSERT_TRUE(at >= 0 && at <= d.text.size()) << code.toStdString();
        }
        if (d.fill) {
            ASSERT_TRUE(d.fill->first >= 0 && d.fill->first <= d.text.size()) << code.toStdString();
        }
        ASSERT_EQ(d.isNumber, std::holds_alternative<double>(value)) << code.toStdString();
    }
}

TEST(NumberFormat, LongCodesStayBounded)
{
    const QString percents(5000, u'%');
    EXPECT_FALSE(formatValue(1.0, QStringLiteral("0") + percents).text.isEmpty());
    const QString commas(5000, u',');
    EXPECT_EQ(formatValue(1.0, QStringLiteral("0") + commas).text.toStdString(), "0");
    EXPECT_EQ(formatValue(0.5, QStringLiteral("# ?/") + QString(40, u'?')).text.left(4).toStdString(), " 1/2");
    EXPECT_EQ(formatValue(1.0, QString(3000, u'0')).text.size(), 3000);
}
