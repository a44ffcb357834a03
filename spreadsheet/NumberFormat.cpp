#include "spreadsheet/NumberFormat.h"

#include "spreadsheet/Workbook.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace spreadsheet {
namespace {

// ---------------------------------------------------------------------------
// Decimal digits. A spreadsheet shows a double through its 15 significant
// decimal digits and rounds those halves away from zero, so every rounding
// here works on that decimal text, never on the binary value.

// value = 0.d1 d2 d3 ... x 10^point
struct Decimal {
    std::string digits; // no leading or trailing zeros; empty for zero
    int point = 0;
};

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

Decimal roundSignificant(const Decimal& d, int significant)
{
    return roundAt(d, significant - d.point);
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

// ---------------------------------------------------------------------------
// Calendar.

constexpr long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(y + (month <= 2));
}

constexpr long long kDay1899_12_30 = daysFromCivil(1899, 12, 30);
constexpr long long kDay1904_01_01 = daysFromCivil(1904, 1, 1);

// The first serial past 9999-12-31, which no date format can show.
constexpr double kSerialLimit1900 = 2958466;
constexpr double kSerialLimit1904 = 2958466 - 1462;

struct CivilDate {
    int year = 1900, month = 1, day = 0, weekday = 0; // weekday 0 = Sunday
};

CivilDate dateOfSerial(long long serial, bool date1904)
{
    CivilDate date;
    if (date1904) {
        civilFromDays(kDay1904_01_01 + serial, date.year, date.month, date.day);
        date.weekday = int((serial + 5) % 7); // 1904-01-01 was a Friday
        return date;
    }
    // The 1900 system counts a 29 February 1900 that never was (serial 60),
    // and shows serial 0 as 0 January 1900; its weekdays follow that count.
    date.weekday = int((serial + 6) % 7);
    if (serial == 0) {
        date.year = 1900, date.month = 1, date.day = 0;
    } else if (serial == 60) {
        date.year = 1900, date.month = 2, date.day = 29;
    } else {
        civilFromDays(kDay1899_12_30 + serial + (serial < 60 ? 1 : 0), date.year, date.month, date.day);
    }
    return date;
}

const std::array<const char*, 12> kMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
const std::array<const char*, 7> kDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};

// ---------------------------------------------------------------------------
// Format codes.

enum class TokenKind : std::uint8_t {
    Literal,
    Digit,    // 0 # ?
    Point,
    Comma,
    Percent,
    Exponent, // E+ E- e+ e-
    Slash,
    General,
    Text,     // @
    Padding,  // _x
    Fill,     // *x
    Date,     // y m d h s (ch: y M d h s, or n for minutes)
    AmPm,
    Elapsed,  // [h] [m] [s]
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
    int textSection = -1;  // index, or -1 when there is none
    int numberSections = 0; // the leading sections for numbers
};

bool isDateLetter(QChar c)
{
    const char16_t l = c.toLower().unicode();
    return l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's';
}

bool startsWithNoCase(const QString& text, qsizetype at, QLatin1StringView word)
{
    return QStringView(text).mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

std::optional<QColor> namedColour(const QString& name)
{
    struct Named {
        const char* name;
        QRgb rgb;
    };
    static const Named colours[] = {
        {"black", 0x000000}, {"blue", 0x0000FF},    {"cyan", 0x00FFFF},  {"green", 0x00FF00},
        {"magenta", 0xFF00FF}, {"red", 0xFF0000}, {"white", 0xFFFFFF}, {"yellow", 0xFFFF00},
    };
    for (const Named& c : colours) {
        if (name.compare(QLatin1StringView(c.name), Qt::CaseInsensitive) == 0)
            return QColor::fromRgb(c.rgb);
    }
    if (startsWithNoCase(name, 0, QLatin1StringView("color"))) {
        bool ok = false;
        const int n = name.mid(5).toInt(&ok);
        if (ok && n >= 1 && n <= 56 && n <= defaultPalette().size())
            return defaultPalette()[n - 1];
    }
    return std::nullopt;
}

// The text between [ and ]; false when it means nothing a spreadsheet knows.
bool readBracket(const QString& content, Section& section)
{
    if (content.isEmpty())
        return false;
    if (content[0] == u'$') {
        // [$€-407]: a currency symbol before the '-', then a locale to ignore.
        const QString rest = content.mid(1);
        const qsizetype dash = rest.indexOf(u'-');
        const QString symbol = dash < 0 ? rest : rest.left(dash);
        if (!symbol.isEmpty())
            section.tokens.push_back({TokenKind::Literal, symbol, {}, 0});
        return true;
    }
    if (const auto colour = namedColour(content)) {
        if (!section.colour)
            section.colour = colour;
        return true;
    }
    const char16_t first = content[0].unicode();
    if (first == '<' || first == '>' || first == '=') {
        Condition c;
        qsizetype at = 1;
        const QChar second = content.size() > 1 ? content[1] : QChar();
        if (first == '<' && second == u'=') {
            c.op = Condition::Op::LessEqual, at = 2;
        } else if (first == '<' && second == u'>') {
            c.op = Condition::Op::NotEqual, at = 2;
        } else if (first == '>' && second == u'=') {
            c.op = Condition::Op::GreaterEqual, at = 2;
        } else {
            c.op = first == '<' ? Condition::Op::Less : first == '>' ? Condition::Op::Greater : Condition::Op::Equal;
        }
        bool ok = false;
        c.value = content.mid(at).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(c.value))
            return false;
        if (!section.condition)
            section.condition = c;
        return true;
    }
    const QChar letter = content[0].toLower();
    if (letter == u'h' || letter == u'm' || letter == u's') {
        for (QChar c : content) {
            if (c.toLower() != letter)
                return false;
        }
        section.tokens.push_back({TokenKind::Elapsed, {}, letter, int(content.size())});
        return true;
    }
    // Native-digit switches of East Asian settings; they change nothing here.
    return startsWithNoCase(content, 0, QLatin1StringView("dbnum"))
        || startsWithNoCase(content, 0, QLatin1StringView("natnum"));
}

bool isTimeLike(const Token& t, char16_t letter)
{
    return (t.kind == TokenKind::Date && t.ch.unicode() == letter)
        || (t.kind == TokenKind::Elapsed && t.ch.unicode() == letter);
}

// Settles what a date section's tokens mean; false when the section mixes
// dates with number placeholders.
bool settleDateSection(Section& s)
{
    std::vector<Token> out;
    for (std::size_t i = 0; i < s.tokens.size(); ++i) {
        Token t = s.tokens[i];
        if (t.kind == TokenKind::Point && !out.empty() && isTimeLike(out.back(), u's')
            && i + 1 < s.tokens.size() && s.tokens[i + 1].kind == TokenKind::Digit
            && s.tokens[i + 1].ch == u'0') {
            int n = 0;
            while (i + 1 < s.tokens.size() && s.tokens[i + 1].kind == TokenKind::Digit && s.tokens[i + 1].ch == u'0') {
                ++n;
                ++i;
            }
            out.push_back({TokenKind::SecondFraction, {}, {}, n});
            continue;
        }
        switch (t.kind) {
        case TokenKind::Digit:
        case TokenKind::General:
        case TokenKind::Text:
            return false;
        case TokenKind::Point: t = {TokenKind::Literal, QStringLiteral("."), {}, 0}; break;
        case TokenKind::Comma: t = {TokenKind::Literal, QStringLiteral(","), {}, 0}; break;
        case TokenKind::Percent: t = {TokenKind::Literal, QStringLiteral("%"), {}, 0}; break;
        case TokenKind::Slash: t = {TokenKind::Literal, QStringLiteral("/"), {}, 0}; break;
        case TokenKind::Exponent: t = {TokenKind::Literal, t.text, {}, 0}; break;
        default: break;
        }
        out.push_back(t);
    }
    // "m" and "mm" are minutes right after hours or right before seconds.
    auto previousTime = [&](std::size_t i) -> const Token* {
        for (std::size_t j = i; j-- > 0;) {
            if (out[j].kind == TokenKind::Date || out[j].kind == TokenKind::Elapsed)
                return &out[j];
        }
        return nullptr;
    };
    auto nextTime = [&](std::size_t i) -> const Token* {
        for (std::size_t j = i + 1; j < out.size(); ++j) {
            if (out[j].kind == TokenKind::Date || out[j].kind == TokenKind::Elapsed)
                return &out[j];
        }
        return nullptr;
    };
    std::vector<std::size_t> minutes;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i].kind != TokenKind::Date || out[i].ch != u'M' || out[i].count > 2)
            continue;
        const Token* before = previousTime(i);
        const Token* after = nextTime(i);
        if ((before && isTimeLike(*before, u'h')) || (after && isTimeLike(*after, u's')))
            minutes.push_back(i);
    }
    for (std::size_t i : minutes)
        out[i].ch = u'n';
    s.tokens = std::move(out);
    return true;
}

std::optional<Format> parseFormat(const QString& code)
{
    Format format;
    if (code.isEmpty())
        return std::nullopt;
    Section current;
    auto push = [&](TokenKind kind, const QString& text = {}, QChar ch = {}, int count = 0) {
        current.tokens.push_back({kind, text, ch, count});
    };
    const qsizetype n = code.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = code[i];
        switch (c.unicode()) {
        case '"': {
            const qsizetype end = code.indexOf(u'"', i + 1);
            if (end < 0)
                return std::nullopt;
            push(TokenKind::Literal, code.mid(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        case '\\':
        case '_':
        case '*':
            if (i + 1 >= n)
                return std::nullopt;
            push(c == u'\\' ? TokenKind::Literal : c == u'_' ? TokenKind::Padding : TokenKind::Fill, QString(code[i + 1]),
                 code[i + 1]);
            i += 2;
            continue;
        case '[': {
            const qsizetype end = code.indexOf(u']', i + 1);
            if (end < 0 || !readBracket(code.mid(i + 1, end - i - 1), current))
                return std::nullopt;
            i = end + 1;
            continue;
        }
        case ';':
            format.sections.push_back(std::move(current));
            current = Section();
            if (format.sections.size() >= 4)
                return std::nullopt;
            ++i;
            continue;
        case '0':
        case '#':
        case '?': push(TokenKind::Digit, QString(c), c); break;
        case '.': push(TokenKind::Point); break;
        case ',': push(TokenKind::Comma); break;
        case '%': push(TokenKind::Percent); break;
        case '/': push(TokenKind::Slash); break;
        case '@': push(TokenKind::Text); break;
        case 'E':
        case 'e':
            if (i + 1 < n && (code[i + 1] == u'+' || code[i + 1] == u'-')) {
                push(TokenKind::Exponent, code.mid(i, 2), code[i + 1]);
                i += 2;
                continue;
            }
            push(TokenKind::Literal, QString(c));
            break;
        default:
            if (startsWithNoCase(code, i, QLatin1StringView("general"))) {
                push(TokenKind::General);
                i += 7;
                continue;
            }
            if (startsWithNoCase(code, i, QLatin1StringView("am/pm"))) {
                push(TokenKind::AmPm, code.mid(i, 5));
                i += 5;
                continue;
            }
            if (startsWithNoCase(code, i, QLatin1StringView("a/p"))) {
                push(TokenKind::AmPm, code.mid(i, 3));
                i += 3;
                continue;
            }
            if (isDateLetter(c)) {
                const QChar letter = c.toLower();
                qsizetype run = 1;
                while (i + run < n && code[i + run].toLower() == letter)
                    ++run;
                push(TokenKind::Date, {}, letter == u'm' ? QChar(u'M') : letter, int(run));
                i += run;
                continue;
            }
            push(TokenKind::Literal, QString(c));
            break;
        }
        ++i;
    }
    format.sections.push_back(std::move(current));

    for (Section& s : format.sections) {
        for (const Token& t : s.tokens) {
            s.date |= t.kind == TokenKind::Date || t.kind == TokenKind::AmPm || t.kind == TokenKind::Elapsed;
            s.digits |= t.kind == TokenKind::Digit;
            s.text |= t.kind == TokenKind::Text;
            s.general |= t.kind == TokenKind::General;
        }
        if (s.date && !settleDateSection(s))
            return std::nullopt;
        if (s.general && s.digits)
            return std::nullopt;
        if (s.text && (s.digits || s.date || s.general))
            return std::nullopt;
    }

    const int count = int(format.sections.size());
    if (count == 4 || format.sections.back().text)
        format.textSection = count - 1;
    format.numberSections = std::min(3, format.textSection >= 0 ? count - 1 : count);
    return format;
}

// Parsed codes, kept since a sheet shows many cells through few codes.
std::shared_ptr<const std::optional<Format>> parsedFormat(const QString& code)
{
    thread_local QHash<QString, std::shared_ptr<const std::optional<Format>>> cache;
    if (const auto found = cache.constFind(code); found != cache.constEnd())
        return *found;
    if (cache.size() > 512)
        cache.clear();
    auto parsed = std::make_shared<const std::optional<Format>>(parseFormat(code));
    cache.insert(code, parsed);
    return parsed;
}

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

enum class Role : std::uint8_t { None, Whole, Decimals, Power, FractionWhole, Numerator, Denominator, FixedDenominator };
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
        const Role previous = before > 0 && t[before - 1].kind == TokenKind::Digit ? layout.roles[before - 1] : Role::None;
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
            if (whole == 0 && numerator == 0)
                wholeDigits = "0";
            if (numerator > 0)
                numeratorDigits = std::to_string(numerator);
        } else {
            long long scaled = 0;
            if (__builtin_mul_overflow(whole, denominator, &scaled) || __builtin_add_overflow(scaled, numerator, &numerator))
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
                b.add(last ? QString::fromStdString(denominatorDigits.substr(index)) : QString(QChar(denominatorDigits[index])));
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
        const bool engineering = places > 1 && std::find(wholeKinds.begin(), wholeKinds.end(), u'#') != wholeKinds.end();
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
        case TokenKind::SecondFraction: b.add(u'.'); b.add(QString(t.count, u'0')); break;
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

QString builtInFormatCode(int id)
{
    switch (id) {
    case 0: return QStringLiteral("General");
    case 1: return QStringLiteral("0");
    case 2: return QStringLiteral("0.00");
    case 3: return QStringLiteral("#,##0");
    case 4: return QStringLiteral("#,##0.00");
    case 5: return QStringLiteral(R"("$"#,##0_);\("$"#,##0\))");
    case 6: return QStringLiteral(R"("$"#,##0_);[Red]\("$"#,##0\))");
    case 7: return QStringLiteral(R"("$"#,##0.00_);\("$"#,##0.00\))");
    case 8: return QStringLiteral(R"("$"#,##0.00_);[Red]\("$"#,##0.00\))");
    case 9: return QStringLiteral("0%");
    case 10: return QStringLiteral("0.00%");
    case 11: return QStringLiteral("0.00E+00");
    case 12: return QStringLiteral("# ?/?");
    case 13: return QStringLiteral("# ?\?/?\?");
    case 14: return QStringLiteral("m/d/yyyy");
    case 15: return QStringLiteral("d-mmm-yy");
    case 16: return QStringLiteral("d-mmm");
    case 17: return QStringLiteral("mmm-yy");
    case 18: return QStringLiteral("h:mm AM/PM");
    case 19: return QStringLiteral("h:mm:ss AM/PM");
    case 20: return QStringLiteral("h:mm");
    case 21: return QStringLiteral("h:mm:ss");
    case 22: return QStringLiteral("m/d/yyyy h:mm");
    case 37: return QStringLiteral("#,##0_);(#,##0)");
    case 38: return QStringLiteral("#,##0_);[Red](#,##0)");
    case 39: return QStringLiteral("#,##0.00_);(#,##0.00)");
    case 40: return QStringLiteral("#,##0.00_);[Red](#,##0.00)");
    case 41: return QStringLiteral(R"(_(* #,##0_);_(* \(#,##0\);_(* "-"_);_(@_))");
    case 42: return QStringLiteral(R"(_("$"* #,##0_);_("$"* \(#,##0\);_("$"* "-"_);_(@_))");
    case 43: return QStringLiteral(R"(_(* #,##0.00_);_(* \(#,##0.00\);_(* "-"??_);_(@_))");
    case 44: return QStringLiteral(R"(_("$"* #,##0.00_);_("$"* \(#,##0.00\);_("$"* "-"??_);_(@_))");
    case 45: return QStringLiteral("mm:ss");
    case 46: return QStringLiteral("[h]:mm:ss");
    case 47: return QStringLiteral("mm:ss.0");
    case 48: return QStringLiteral("##0.0E+0");
    case 49: return QStringLiteral("@");
    default: return {};
    }
}

double dateSerial(int year, int month, int day, bool date1904)
{
    // Months past December or before January move the year, as DATE does.
    long long y = year;
    long long m = static_cast<long long>(month) - 1;
    y += m >= 0 ? m / 12 : -((-m + 11) / 12);
    m = ((m % 12) + 12) % 12 + 1;
    const long long first = daysFromCivil(y, unsigned(m), 1);
    if (date1904)
        return double(first - kDay1904_01_01 + day - 1);
    long long firstSerial = first - kDay1899_12_30;
    if (y == 1900) {
        // 1900 counts as a leap year here, with a 29 February (serial 60).
        static const int before[12] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
        firstSerial = before[m - 1] + 1;
    } else if (y < 1900) {
        --firstSerial;
    }
    return double(firstSerial + day - 1);
}

} // namespace spreadsheet
