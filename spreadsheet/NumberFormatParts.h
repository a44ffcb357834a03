#pragma once

#include "spreadsheet/NumberFormat.h"

#include <QColor>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Shared between the parts of number formatting: the decimal text
// (DecimalText.cpp), the calendar (DateSerial.cpp) and the parsed format
// codes (FormatCode.cpp) that the renderer (NumberFormat.cpp) puts together.
namespace spreadsheet::number_format {

// ---------------------------------------------------------------------------
// Decimal digits.

// value = 0.d1 d2 d3 ... x 10^point
struct Decimal {
    std::string digits; // no leading or trailing zeros; empty for zero
    int point = 0;
};

Decimal toDecimal(double x);
Decimal roundAt(Decimal d, int decimals);
std::string integerDigits(const Decimal& d);
std::string fractionDigits(const Decimal& d, int count);
QString generalNumber(double value);

// ---------------------------------------------------------------------------
// Calendar.

// The first serial past 9999-12-31, which no date format can show.
inline constexpr double kSerialLimit1900 = 2958466;
inline constexpr double kSerialLimit1904 = 2958466 - 1462;

struct CivilDate {
    int year = 1900, month = 1, day = 0, weekday = 0; // weekday 0 = Sunday
};

CivilDate dateOfSerial(long long serial, bool date1904);

extern const std::array<const char*, 12> kMonthNames;
extern const std::array<const char*, 7> kDayNames;

// ---------------------------------------------------------------------------
// Format codes.

enum class TokenKind : std::uint8_t {
    Literal,
    Digit, // 0 # ?
    Point,
    Comma,
    Percent,
    Exponent, // E+ E- e+ e-
    Slash,
    General,
    Text,    // @
    Padding, // _x
    Fill,    // *x
    Date,    // y m d h s (ch: y M d h s, or n for minutes)
    AmPm,
    Elapsed,        // [h] [m] [s]
    SecondFraction, // .0 .00 .000 after seconds
};

struct Token {
    TokenKind kind = TokenKind::Literal;
    QString text;
    QChar ch;
    int count = 0;
};

struct Condition {
    enum class Op : std::uint8_t { Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual } op = Op::GreaterEqual;
    double value = 0;
    bool test(double x) const
    {
        switch (op) {
        case Op::Less: return x < value;
        case Op::LessEqual: return x <= value;
        case Op::Greater: return x > value;
        case Op::GreaterEqual: return x >= value;
        case Op::Equal: return x == value;
        case Op::NotEqual: return x != value;
        }
        return false;
    }
};

struct Section {
    std::vector<Token> tokens;
    std::optional<QColor> colour;
    std::optional<Condition> condition;
    bool date = false;
    bool digits = false;
    bool text = false;
    bool general = false;
};

struct Format {
    std::vector<Section> sections;
    int textSection = -1;   // index, or -1 when there is none
    int numberSections = 0; // the leading sections for numbers
};

std::shared_ptr<const std::optional<Format>> parsedFormat(const QString& code);

} // namespace spreadsheet::number_format
