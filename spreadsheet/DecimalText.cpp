#include "spreadsheet/NumberFormatParts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

// Decimal digits. A spreadsheet shows a double through its 15 significant
// decimal digits and rounds those halves away from zero, so every rounding
// here works on that decimal text, never on the binary value.
namespace spreadsheet::number_format {
namespace {

void normalise(Decimal& d)
{
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    std::size_t lead = 0;
    while (lead < d.digits.size() && d.digits[lead] == '0')
        ++lead;
    d.digits.erase(0, lead);
    d.point -= int(lead);
    if (d.digits.empty())
        d.point = 0;
}

Decimal roundSignificant(const Decimal& d, int significant)
{
    return roundAt(d, significant - d.point);
}

} // namespace

Decimal toDecimal(double x)
{
    Decimal d;
    x = std::fabs(x);
    if (x == 0 || !std::isfinite(x))
        return d;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific, 14);
    const std::string text(buffer, result.ptr);
    const std::size_t e = text.find('e');
    if (e == std::string::npos)
        return d;
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            d.digits.push_back(text[i]);
    }
    std::size_t start = e + 1;
    if (start < text.size() && text[start] == '+')
        ++start;
    int exponent = 0;
    std::from_chars(text.data() + start, text.data() + text.size(), exponent);
    d.point = exponent + 1;
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Rounded, halves away from zero, to `decimals` digits after the point.
Decimal roundAt(Decimal d, int decimals)
{
    if (d.digits.empty())
        return d;
    const long long keep = static_cast<long long>(d.point) + decimals;
    if (keep >= static_cast<long long>(d.digits.size()))
        return d;
    if (keep < 0)
        return {};
    const bool up = d.digits[std::size_t(keep)] >= '5';
    d.digits.resize(std::size_t(keep));
    if (up) {
        long long i = keep - 1;
        while (i >= 0 && d.digits[std::size_t(i)] == '9') {
            d.digits[std::size_t(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.point;
        } else {
            ++d.digits[std::size_t(i)];
        }
    }
    normalise(d);
    return d;
}

std::string integerDigits(const Decimal& d)
{
    if (d.digits.empty() || d.point <= 0)
        return {};
    const std::size_t length = std::size_t(d.point);
    std::string out = d.digits.substr(0, std::min(length, d.digits.size()));
    out.resize(length, '0');
    return out;
}

std::string fractionDigits(const Decimal& d, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        const long long index = static_cast<long long>(d.point) + i;
        out.push_back(index >= 0 && index < static_cast<long long>(d.digits.size()) ? d.digits[std::size_t(index)]
                                                                                    : '0');
    }
    return out;
}

// General: at most 11 characters besides the sign, the decimal point counted;
// larger or too-precise-to-fit values in scientific notation.
QString generalNumber(double value)
{
    const Decimal d = toDecimal(value);
    if (d.digits.empty())
        return QStringLiteral("0");
    const int exponent = d.point - 1;

    auto fixedText = [](const Decimal& r) {
        std::string whole = integerDigits(r);
        if (whole.empty())
            whole = "0";
        std::string fraction;
        if (r.point < int(r.digits.size()))
            fraction = fractionDigits(r, int(r.digits.size()) - r.point);
        return QString::fromStdString(fraction.empty() ? whole : whole + "." + fraction);
    };

    if (exponent >= 0 && exponent <= 10) {
        const Decimal r = roundAt(d, std::max(0, 9 - exponent));
        if (r.point <= 11)
            return fixedText(r);
    } else if (exponent < 0) {
        // Fixed notation keeps 10 + exponent significant digits; scientific
        // up to 6. Fixed wins when it loses nothing scientific would show.
        const Decimal scientific = roundSignificant(d, 6);
        if (int(scientific.digits.size()) <= 10 + exponent)
            return fixedText(roundAt(d, 9));
    }

    auto exponentDigits = [](int e) { return std::max(2, int(std::to_string(std::abs(e)).size())); };
    int decimals = std::min(5, 7 - exponentDigits(exponent));
    Decimal r = roundSignificant(d, decimals + 1);
    if (exponentDigits(r.point - 1) != exponentDigits(exponent)) {
        decimals = std::min(5, 7 - exponentDigits(r.point - 1));
        r = roundSignificant(d, decimals + 1);
    }
    const int shown = r.point - 1;
    std::string text(1, r.digits.empty() ? '0' : r.digits[0]);
    if (r.digits.size() > 1)
        text += "." + r.digits.substr(1);
    std::string power = std::to_string(std::abs(shown));
    if (power.size() < 2)
        power.insert(0, 2 - power.size(), '0');
    text += shown < 0 ? "E-" : "E+";
    text += power;
    return QString::fromStdString(text);
}

} // namespace spreadsheet::number_format
