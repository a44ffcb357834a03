#include "spreadsheet/NumberFormat.h"

#include "spreadsheet/NumberFormatParts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace spreadsheet {

using namespace number_format;

namespace {

// ---------------------------------------------------------------------------
// Output.

struct Builder {
    DisplayText& out;
    bool nonZeroDigit = false;

    void add(QChar c) { out.text.append(c); }
    void add(const QString& s) { out.text.append(s); }
    void pad(QChar c) { out.padding.append({out.text.size(), c}); }
    void fill(QChar c)
    {
        if (!out.fill)
            out.fill = std::pair<qsizetype, QChar>(out.text.size(), c);
    }
    void digit(QChar c)
    {
        if (c >= u'1' && c <= u'9')
            nonZeroDigit = true;
        add(c);
    }
};

void prependMinus(DisplayText& out)
{
    out.text.prepend(u'-');
    for (auto& [at, ch] : out.padding)
        ++at;
    if (out.fill)
        ++out.fill->first;
}

void showHashes(DisplayText& out)
{
    // A value no date format can show fills its cell with '#'.
    out.text = QStringLiteral("#");
    out.padding.clear();
    out.fill = std::pair<qsizetype, QChar>(0, u'#');
}

// One character of output: a digit, a grouping comma, or a blank as wide.
struct Atom {
    QChar ch;
    bool blank = false;
};
using Atoms = std::vector<Atom>;

// The digits of a whole number through its placeholders, right-aligned;
// digits beyond the placeholders all go to the first one.
std::vector<Atoms> placeWhole(const std::string& digits, const std::vector<QChar>& kinds, bool grouping)
{
    std::vector<Atoms> out(kinds.size());
    if (kinds.empty())
        return out;
    const long long n = static_cast<long long>(kinds.size());
    const long long length = static_cast<long long>(digits.size());
    const long long total = std::max(n, length);
    for (long long r = total - 1; r >= 0; --r) {
        const std::size_t k = std::size_t(r >= n ? 0 : n - 1 - r);
        Atom atom;
        if (r < length) {
            atom.ch = QChar(digits[std::size_t(length - 1 - r)]);
        } else if (kinds[k] == u'0') {
            atom.ch = u'0';
        } else if (kinds[k] == u'?') {
            atom = {u'0', true};
        } else {
            continue;
        }
        out[k].push_back(atom);
        if (grouping && r > 0 && r % 3 == 0)
            out[k].push_back({u',', atom.blank});
    }
    return out;
}

void put(Builder& b, const Atoms& atoms, bool counts)
{
    for (const Atom& a : atoms) {
        if (a.blank)
            b.pad(a.ch);
        else if (counts)
            b.digit(a.ch);
        else
            b.add(a.ch);
    }
}

enum class Role : std::uint8_t {
    None,
    Whole,
    Decimals,
    Power,
    FractionWhole,
    Numerator,
    Denominator,
    FixedDenominator
};
enum class CommaRole : std::uint8_t { Literal, Group, Scale };

struct NumberLayout {
    std::vector<Role> roles;
    std::vector<CommaRole> commas;
    bool grouping = false;
    bool fraction = false;
    int exponentToken = -1;
    int pointToken = -1;
    int scale = 0; // power of ten: % and trailing commas
    long long fixedDenominator = 0;
};

bool isLiteralDigit(const Token& t)
{
    return t.kind == TokenKind::Literal && t.text.size() == 1 && t.text[0] >= u'0' && t.text[0] <= u'9';
}

NumberLayout layoutOf(const Section& s)
{
    const std::vector<Token>& t = s.tokens;
    const std::size_t n = t.size();
    NumberLayout layout;
    layout.roles.assign(n, Role::None);
    layout.commas.assign(n, CommaRole::Literal);

    // A fraction: placeholders, '/', then placeholders or a fixed denominator.
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (t[i].kind != TokenKind::Slash || t[i - 1].kind != TokenKind::Digit)
            continue;
        const bool placeholders = t[i + 1].kind == TokenKind::Digit;
        const bool fixed = isLiteralDigit(t[i + 1]) && t[i + 1].text[0] != u'0';
        if (!placeholders && !fixed)
            continue;
        layout.fraction = true;
        std::size_t start = i;
        while (start > 0 && t[start - 1].kind == TokenKind::Digit) {
            --start;
            layout.roles[start] = Role::Numerator;
        }
        for (std::size_t j = 0; j < start; ++j) {
            if (t[j].kind == TokenKind::Digit)
                layout.roles[j] = Role::FractionWhole;
        }
        std::string fixedDigits;
        for (std::size_t j = i + 1; j < n; ++j) {
            if (placeholders && t[j].kind == TokenKind::Digit) {
                layout.roles[j] = Role::Denominator;
            } else if (fixed && (isLiteralDigit(t[j]) || (t[j].kind == TokenKind::Digit && t[j].ch == u'0'))) {
                layout.roles[j] = Role::FixedDenominator;
                fixedDigits.push_back(char(t[j].kind == TokenKind::Digit ? '0' : t[j].text[0].toLatin1()));
            } else {
                break;
            }
        }
        if (fixed) {
            // Beyond nine digits a denominator means nothing on screen.
            fixedDigits.resize(std::min<std::size_t>(fixedDigits.size(), 9));
            for (char c : fixedDigits)
                layout.fixedDenominator = layout.fixedDenominator * 10 + (c - '0');
        }
        layout.roles[i] = Role::None;
        break;
    }

    if (!layout.fraction) {
        Role part = Role::Whole;
        bool seenDigit = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (t[i].kind == TokenKind::Digit) {
                layout.roles[i] = part;
                seenDigit = true;
            } else if (t[i].kind == TokenKind::Point && part == Role::Whole) {
                layout.pointToken = int(i);
                part = Role::Decimals;
            } else if (t[i].kind == TokenKind::Exponent && part != Role::Power && seenDigit) {
                layout.exponentToken = int(i);
                part = Role::Power;
            }
        }
    }

    for (std::size_t i = 0; i < n; ++i) {
        if (t[i].kind == TokenKind::Percent)
            layout.scale += 2;
        if (t[i].kind != TokenKind::Comma)
            continue;
        std::size_t before = i;
        while (before > 0 && t[before - 1].kind == TokenKind::Comma)
            --before;
        std::size_t after = i + 1;
        while (after < n && t[after].kind == TokenKind::Comma)
            ++after;
        const Role previous =
            before > 0 && t[before - 1].kind == TokenKind::Digit ? layout.roles[before - 1] : Role::None;
        const Role next = after < n && t[after].kind == TokenKind::Digit ? layout.roles[after] : Role::None;
        if (previous != Role::None && previous == next) {
            layout.commas[i] = CommaRole::Group;
            if (previous == Role::Whole || previous == Role::FractionWhole)
                layout.grouping = true;
        } else if (previous == Role::Whole || previous == Role::Decimals) {
            layout.commas[i] = CommaRole::Scale; // each one divides by 1000
            layout.scale -= 3;
        }
    }
    layout.scale = std::clamp(layout.scale, -400, 400);
    return layout;
}

std::vector<QChar> kindsOf(const Section& s, const NumberLayout& layout, Role role)
{
    std::vector<QChar> kinds;
    for (std::size_t i = 0; i < s.tokens.size(); ++i) {
        if (layout.roles[i] == role)
            kinds.push_back(s.tokens[i].ch);
    }
    return kinds;
}

// The closest fraction to f (0 <= f < 1) whose denominator is at most maxDenominator.
std::pair<long long, long long> closestFraction(double f, long long maxDenominator)
{
    if (!(f > 0))
        return {0, 1};
    long long h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    double r = f;
    for (int step = 0; step < 64; ++step) {
        const double whole = std::floor(r);
        if (whole > 1e15)
            break;
        const long long a = static_cast<long long>(whole);
        if (k1 != 0 && a > (maxDenominator - k0) / k1) {
            const long long t = (maxDenominator - k0) / k1;
            const long long hs = t * h1 + h0, ks = t * k1 + k0;
            if (ks > 0 && std::fabs(f - double(hs) / double(ks)) < std::fabs(f - double(h1) / double(k1)))
                return {hs, ks};
            return {h1, k1};
        }
        const long long h2 = a * h1 + h0, k2 = a * k1 + k0;
        h0 = h1, k0 = k1, h1 = h2, k1 = k2;
        const double rest = r - whole;
        if (rest < 1e-12 || std::fabs(f - double(h1) / double(k1)) < 1e-15)
            break;
        r = 1.0 / rest;
    }
    if (k1 == 0)
        return {0, 1};
    return {h1, k1};
}

void putCommon(Builder& b, const Token& t, const NumberLayout& layout, std::size_t i, double magnitude)
{
    switch (t.kind) {
    case TokenKind::Literal: b.add(t.text); break;
    case TokenKind::Padding: b.pad(t.ch); break;
    case TokenKind::Fill: b.fill(t.ch); break;
    case TokenKind::Percent: b.add(u'%'); break;
    case TokenKind::Point: b.add(u'.'); break;
    case TokenKind::Slash: b.add(u'/'); break;
    case TokenKind::Exponent: b.add(t.text); break;
    case TokenKind::Digit: b.add(t.ch); break; // a placeholder with no part to play
    case TokenKind::Comma:
        if (layout.commas[i] == CommaRole::Literal)
            b.add(u',');
        break;
    case TokenKind::General:
    case TokenKind::Text:
        b.nonZeroDigit = b.nonZeroDigit || magnitude != 0;
        b.add(generalNumber(magnitude));
        break;
    default: b.add(t.text); break;
    }
}

void renderFraction(const Section& s, const NumberLayout& layout, double magnitude, Builder& b)
{
    const std::vector<QChar> wholeKinds = kindsOf(s, layout, Role::FractionWhole);
    const std::vector<QChar> numeratorKinds = kindsOf(s, layout, Role::Numerator);
    const std::vector<QChar> denominatorKinds = kindsOf(s, layout, Role::Denominator);
    const bool hasWhole = !wholeKinds.empty();

    double x = magnitude * std::pow(10.0, layout.scale);
    std::string wholeDigits;
    std::string numeratorDigits;
    long long numerator = 0, denominator = 1;
    if (!std::isfinite(x) || x >= 1e15) {
        // Too large for any fraction to matter.
        (hasWhole ? wholeDigits : numeratorDigits) = integerDigits(toDecimal(std::isfinite(x) ? x : 0));
    } else {
        long long whole = static_cast<long long>(std::floor(x));
        const double part = x - double(whole);
        if (layout.fixedDenominator > 0) {
            denominator = layout.fixedDenominator;
            numerator = static_cast<long long>(std::floor(part * double(denominator) + 0.5));
        } else {
            const int places = std::min<int>(int(denominatorKinds.size()), 9);
            long long maxDenominator = 1;
            for (int p = 0; p < places; ++p)
                maxDenominator *= 10;
            std::tie(numerator, denominator) = closestFraction(part, std::max<long long>(1, maxDenominator - 1));
        }
        if (hasWhole) {
            if (numerator >= denominator && denominator > 0) {
                whole += numerator / denominator;
                numerator %= denominator;
            }
            wholeDigits = whole > 0 ? std::to_string(whole) : std::string();
            // assign(): GCC 12 takes `= "0"` here for an overlapping copy (-Wrestrict).
            if (whole == 0 && numerator == 0)
                wholeDigits.assign(1, '0');
            if (numerator > 0)
                numeratorDigits = std::to_string(numerator);
        } else {
            long long scaled = 0;
            if (__builtin_mul_overflow(whole, denominator, &scaled)
                || __builtin_add_overflow(scaled, numerator, &numerator))
                numeratorDigits = integerDigits(roundAt(toDecimal(x * double(denominator)), 0));
            else
                numeratorDigits = std::to_string(numerator);
        }
    }
    const bool blankFraction = hasWhole && numerator == 0;
    const std::string denominatorDigits = std::to_string(denominator);

    const std::vector<Atoms> wholeAtoms = placeWhole(wholeDigits, wholeKinds, layout.grouping);
    const std::vector<Atoms> numeratorAtoms = placeWhole(numeratorDigits, numeratorKinds, false);
    std::size_t w = 0, nu = 0, de = 0;
    bool seenSlash = false;
    for (std::size_t i = 0; i < s.tokens.size(); ++i) {
        const Token& t = s.tokens[i];
        switch (layout.roles[i]) {
        case Role::FractionWhole: put(b, wholeAtoms[w++], true); continue;
        case Role::Numerator:
            if (blankFraction) {
                b.pad(u'0');
            } else {
                put(b, numeratorAtoms[nu], true);
            }
            ++nu;
            continue;
        case Role::Denominator: {
            // Denominator digits align left, blanks after them.
            const std::size_t index = de++;
            const bool last = de == denominatorKinds.size();
            if (blankFraction) {
                b.pad(u'0');
            } else if (index < denominatorDigits.size()) {
                b.add(last ? QString::fromStdString(denominatorDigits.substr(index))
                           : QString(QChar(denominatorDigits[index])));
            } else if (t.ch != u'#') {
                b.pad(u'0');
            }
            continue;
        }
        case Role::FixedDenominator:
            if (blankFraction)
                b.pad(t.kind == TokenKind::Digit ? u'0' : t.text[0]);
            else
                b.add(t.kind == TokenKind::Digit ? QString(u'0') : t.text);
            continue;
        default: break;
        }
        if (t.kind == TokenKind::Slash && !seenSlash && i > 0 && layout.roles[i - 1] == Role::Numerator) {
            seenSlash = true;
            if (blankFraction)
                b.pad(u'/');
            else
                b.add(u'/');
            continue;
        }
        putCommon(b, t, layout, i, magnitude);
    }
}

// True when the section showed a fraction.
bool renderNumber(const Section& s, double magnitude, Builder& b)
{
    const NumberLayout layout = layoutOf(s);
    if (layout.fraction) {
        renderFraction(s, layout, magnitude, b);
        return true;
    }
    const std::vector<QChar> wholeKinds = kindsOf(s, layout, Role::Whole);
    const std::vector<QChar> decimalKinds = kindsOf(s, layout, Role::Decimals);
    const std::vector<QChar> powerKinds = kindsOf(s, layout, Role::Power);
    const int decimals = int(decimalKinds.size());

    Decimal d = toDecimal(magnitude);
    if (!d.digits.empty())
        d.point += layout.scale;

    std::string powerDigits;
    QChar powerSign;
    if (layout.exponentToken >= 0) {
        const int places = int(wholeKinds.size());
        const bool engineering =
            places > 1 && std::find(wholeKinds.begin(), wholeKinds.end(), u'#') != wholeKinds.end();
        int shown = 0;
        Decimal mantissa;
        if (!d.digits.empty()) {
            const int e = d.point - 1;
            if (engineering)
                shown = (e >= 0 ? e / places : -((-e + places - 1) / places)) * places;
            else
                shown = e - (places - 1);
            for (int attempt = 0; attempt < 2; ++attempt) {
                mantissa = d;
                mantissa.point -= shown;
                mantissa = roundAt(mantissa, decimals);
                if (int(integerDigits(mantissa).size()) <= places)
                    break;
                shown += engineering ? places : 1;
            }
        }
        d = mantissa;
        powerDigits = shown == 0 ? std::string() : std::to_string(std::abs(shown));
        const QChar mode = s.tokens[std::size_t(layout.exponentToken)].ch;
        powerSign = shown < 0 ? QChar(u'-') : mode == u'+' ? QChar(u'+') : QChar();
    } else {
        d = roundAt(d, decimals);
    }

    const std::string wholeDigits = integerDigits(d);
    const std::string decimalDigits = fractionDigits(d, decimals);
    const std::vector<Atoms> wholeAtoms = placeWhole(wholeDigits, wholeKinds, layout.grouping);
    const std::vector<Atoms> powerAtoms = placeWhole(powerDigits, powerKinds, false);

    // Trailing zeros under '#' vanish and under '?' turn blank.
    std::vector<Atom> decimalAtoms(std::size_t(decimals), Atom{});
    std::vector<bool> decimalShown(std::size_t(decimals), true);
    bool trailing = true;
    for (int k = decimals - 1; k >= 0; --k) {
        const QChar digit(decimalDigits[std::size_t(k)]);
        const QChar kind = decimalKinds[std::size_t(k)];
        if (trailing && digit == u'0' && kind != u'0') {
            if (kind == u'#')
                decimalShown[std::size_t(k)] = false;
            else
                decimalAtoms[std::size_t(k)] = {u'0', true};
            continue;
        }
        trailing = false;
        decimalAtoms[std::size_t(k)] = {digit, false};
    }

    std::size_t w = 0, dec = 0, pw = 0;
    const bool wholeMissing = wholeKinds.empty();
    for (std::size_t i = 0; i < s.tokens.size(); ++i) {
        const Token& t = s.tokens[i];
        switch (layout.roles[i]) {
        case Role::Whole: put(b, wholeAtoms[w++], true); continue;
        case Role::Decimals: {
            const std::size_t k = dec++;
            if (decimalShown[k])
                put(b, {decimalAtoms[k]}, true);
            continue;
        }
        case Role::Power: put(b, powerAtoms[pw++], false); continue;
        default: break;
        }
        if (int(i) == layout.pointToken) {
            // With no place for whole digits, they still show before the point.
            if (wholeMissing)
                for (char c : wholeDigits)
                    b.digit(QChar(c));
            b.add(u'.');
            continue;
        }
        if (int(i) == layout.exponentToken) {
            b.add(t.text[0]);
            if (!powerSign.isNull())
                b.add(powerSign);
            continue;
        }
        putCommon(b, t, layout, i, magnitude);
    }
    return false;
}

// False when the value is outside the dates the format can show.
bool renderDate(const Section& s, double magnitude, bool date1904, Builder& b)
{
    if (magnitude >= (date1904 ? kSerialLimit1904 : kSerialLimit1900))
        return false;
    int places = 0;
    bool hasAmPm = false;
    for (const Token& t : s.tokens) {
        if (t.kind == TokenKind::SecondFraction)
            places = std::max(places, std::min(t.count, 3));
        hasAmPm |= t.kind == TokenKind::AmPm;
    }
    long long unit = 1;
    for (int p = 0; p < places; ++p)
        unit *= 10;
    // Times round to the shown fraction of a second, then show truncated.
    const long long perDay = 86400LL * unit;
    const long long total = static_cast<long long>(std::floor(magnitude * double(perDay) + 0.5));
    const long long days = total / perDay;
    const long long inDay = total % perDay;
    const long long seconds = inDay / unit;
    const long long fraction = inDay % unit;
    const long long hour = seconds / 3600, minute = seconds / 60 % 60, second = seconds % 60;
    const long long totalSeconds = days * 86400 + seconds;
    const CivilDate date = dateOfSerial(days, date1904);

    auto number = [&](long long value, int width) {
        QString text = QString::number(value);
        if (text.size() < width)
            text.prepend(QString(width - text.size(), u'0'));
        b.add(text);
    };
    for (const Token& t : s.tokens) {
        switch (t.kind) {
        case TokenKind::Date:
            switch (t.ch.unicode()) {
            case 'y':
                if (t.count <= 2)
                    number(date.year % 100, 2);
                else
                    number(date.year, 4);
                break;
            case 'M':
                if (t.count <= 2)
                    number(date.month, t.count);
                else if (t.count == 3)
                    b.add(QString::fromLatin1(kMonthNames[std::size_t(date.month - 1)]).left(3));
                else if (t.count == 5)
                    b.add(QChar(kMonthNames[std::size_t(date.month - 1)][0]));
                else
                    b.add(QString::fromLatin1(kMonthNames[std::size_t(date.month - 1)]));
                break;
            case 'd':
                if (t.count <= 2)
                    number(date.day, t.count);
                else if (t.count == 3)
                    b.add(QString::fromLatin1(kDayNames[std::size_t(date.weekday)]).left(3));
                else
                    b.add(QString::fromLatin1(kDayNames[std::size_t(date.weekday)]));
                break;
            case 'h': {
                long long h = hour;
                if (hasAmPm) {
                    h %= 12;
                    if (h == 0)
                        h = 12;
                }
                number(h, std::min(t.count, 2));
                break;
            }
            case 'n': number(minute, std::min(t.count, 2)); break;
            case 's': number(second, std::min(t.count, 2)); break;
            default: break;
            }
            break;
        case TokenKind::Elapsed:
            if (t.ch == u'h')
                number(totalSeconds / 3600, t.count);
            else if (t.ch == u'm')
                number(totalSeconds / 60, t.count);
            else
                number(totalSeconds, t.count);
            break;
        case TokenKind::SecondFraction: {
            b.add(u'.');
            QString digits = QString::number(fraction);
            if (digits.size() < places)
                digits.prepend(QString(places - digits.size(), u'0'));
            digits = digits.left(std::min(t.count, places));
            if (digits.size() < t.count)
                digits.append(QString(t.count - digits.size(), u'0'));
            b.add(digits);
            break;
        }
        case TokenKind::AmPm: {
            const bool pm = hour >= 12;
            if (t.text.size() == 5)
                b.add(pm ? t.text.mid(3, 2) : t.text.left(2));
            else
                b.add(pm ? t.text[2] : t.text[0]);
            break;
        }
        case TokenKind::Padding: b.pad(t.ch); break;
        case TokenKind::Fill: b.fill(t.ch); break;
        default: b.add(t.text); break;
        }
    }
    return true;
}

void renderText(const Section& s, const QString& value, Builder& b)
{
    for (const Token& t : s.tokens) {
        switch (t.kind) {
        case TokenKind::Text:
        case TokenKind::General: b.add(value); break;
        case TokenKind::Padding: b.pad(t.ch); break;
        case TokenKind::Fill: b.fill(t.ch); break;
        case TokenKind::Literal:
        case TokenKind::Exponent:
        case TokenKind::AmPm: b.add(t.text); break;
        case TokenKind::Digit: b.add(t.ch); break;
        case TokenKind::Point: b.add(u'.'); break;
        case TokenKind::Comma: b.add(u','); break;
        case TokenKind::Percent: b.add(u'%'); break;
        case TokenKind::Slash: b.add(u'/'); break;
        case TokenKind::Date:
        case TokenKind::Elapsed: b.add(QString(t.count, t.ch == u'n' ? QChar(u'm') : t.ch.toLower())); break;
        case TokenKind::SecondFraction:
            b.add(u'.');
            b.add(QString(t.count, u'0'));
            break;
        }
    }
}

// The condition a section stands for when it names none.
std::optional<Condition> effectiveCondition(const Format& f, int index)
{
    const Section& s = f.sections[std::size_t(index)];
    if (s.condition)
        return s.condition;
    if (index == 0 && f.numberSections == 2)
        return Condition{Condition::Op::GreaterEqual, 0};
    if (index == 0 && f.numberSections == 3)
        return Condition{Condition::Op::Greater, 0};
    if (index == 1)
        return Condition{Condition::Op::Less, 0};
    return std::nullopt;
}

int chooseSection(const Format& f, double x)
{
    const auto first = effectiveCondition(f, 0);
    if (f.numberSections == 1 || !first || first->test(x))
        return 0;
    if (f.numberSections == 2)
        return 1;
    const auto second = effectiveCondition(f, 1);
    return !second || second->test(x) ? 1 : 2;
}

// A section that can only ever show negative numbers shows them without
// their minus sign: its own literals say they are negative.
bool onlyNegatives(const Format& f, int index)
{
    const auto first = effectiveCondition(f, 0);
    const auto second = f.numberSections >= 3 ? effectiveCondition(f, 1) : std::nullopt;
    auto inSection = [&](double x) {
        switch (index) {
        case 0: return !first || first->test(x);
        case 1: return first && !first->test(x) && (!second || second->test(x));
        default: return first && !first->test(x) && second && !second->test(x);
        }
    };
    // The region's edges are the thresholds; testing at them, just past
    // them and at zero finds any non-negative value it holds.
    std::vector<double> probes = {0.0};
    for (const auto& c : {first, second}) {
        if (c && c->value >= 0) {
            probes.push_back(c->value);
            probes.push_back(std::nextafter(c->value, HUGE_VAL));
        }
    }
    for (double x : probes) {
        if (inSection(x))
            return false;
    }
    return true;
}

void formatNumber(double x, const std::optional<Format>& format, bool date1904, DisplayText& out)
{
    if (!std::isfinite(x)) {
        out.text = errorText(ErrorValue::Num);
        return;
    }
    if (x == 0)
        x = 0; // no negative zero
    Builder b{out};
    if (!format || format->numberSections == 0) {
        if (x < 0)
            b.add(u'-');
        b.add(generalNumber(x));
        return;
    }
    const int index = chooseSection(*format, x);
    const Section& s = format->sections[std::size_t(index)];
    out.colour = s.colour;
    const bool minus = x < 0 && !onlyNegatives(*format, index);
    if (s.date) {
        if (x < 0 && !date1904) {
            showHashes(out);
            return;
        }
        if (!renderDate(s, std::fabs(x), date1904, b)) {
            showHashes(out);
            return;
        }
        if (minus)
            prependMinus(out);
        return;
    }
    const bool fraction = renderNumber(s, std::fabs(x), b);
    // With a one-section code, a negative that rounds to nothing but zeros
    // shows no minus, unless the section has no digits or shows a fraction.
    const bool zeroKeepsMinus = format->sections.size() > 1 || !(s.digits || s.general || s.text) || fraction;
    if (minus && (b.nonZeroDigit || zeroKeepsMinus))
        prependMinus(out);
}

} // namespace

DisplayText formatValue(const Value& value, const QString& formatCode, bool date1904)
{
    DisplayText out;
    if (std::holds_alternative<Empty>(value))
        return out;
    if (const bool* flag = std::get_if<bool>(&value)) {
        out.kind = DisplayKind::Boolean;
        out.text = *flag ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        return out;
    }
    if (const ErrorValue* error = std::get_if<ErrorValue>(&value)) {
        out.kind = DisplayKind::Error;
        out.text = errorText(*error);
        return out;
    }
    const auto parsed = parsedFormat(formatCode);
    const std::optional<Format>& format = *parsed;
    if (const QString* text = std::get_if<QString>(&value)) {
        out.kind = DisplayKind::Text;
        if (format && format->textSection >= 0) {
            const Section& s = format->sections[std::size_t(format->textSection)];
            out.colour = s.colour;
            Builder b{out};
            renderText(s, *text, b);
        } else {
            out.text = *text;
        }
        return out;
    }
    out.kind = DisplayKind::Number;
    out.isNumber = true;
    formatNumber(std::get<double>(value), format, date1904, out);
    return out;
}

} // namespace spreadsheet
