#include "spreadsheet/TypedNumber.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace spreadsheet {
namespace {

bool isCLocale(const QLocale& locale)
{
    return locale.language() == QLocale::C;
}

bool isDirectionMark(QChar c)
{
    return c == QChar(0x200E) || c == QChar(0x200F) || c == QChar(0x061C);
}

// Locales write group separators and currency gaps as no-break spaces and
// put invisible direction marks around signs and symbols; a user types plain
// blanks and no marks. Treat the spaces as one blank and drop the marks.
QString withPlainBlanks(const QString& text)
{
    QString plain;
    plain.reserve(text.size());
    for (QChar c : text) {
        if (isDirectionMark(c))
            continue;
        if (c == QChar(0x00A0) || c == QChar(0x202F) || c == QChar(0x2009))
            c = u' ';
        plain += c;
    }
    return plain;
}

// Some locales write their own digits (Arabic-Indic, for one); read them, and
// the ASCII ones a user may type instead, alike.
QString withAsciiDigits(QString text, const QLocale& locale)
{
    const QString zero = locale.zeroDigit();
    if (zero.size() != 1 || zero.front() == u'0')
        return text;
    const char16_t first = zero.front().unicode();
    for (QChar& c : text) {
        if (c.unicode() >= first && c.unicode() <= first + 9)
            c = QChar(char16_t(u'0' + (c.unicode() - first)));
    }
    return text;
}

struct Conventions {
    QString decimal;
    QString group;
    QStringList currencies;
    QStringList minusSigns;
    QStringList plusSigns;
};

Conventions conventionsOf(const QLocale& locale)
{
    Conventions c;
    if (isCLocale(locale)) {
        c.decimal = QStringLiteral(".");
        c.group = QStringLiteral(",");
        c.currencies = {QStringLiteral("$")};
    } else {
        c.decimal = withPlainBlanks(locale.decimalPoint());
        c.group = withPlainBlanks(locale.groupSeparator());
        for (const QString& symbol : {locale.currencySymbol(QLocale::CurrencySymbol),
                                      locale.currencySymbol(QLocale::CurrencyIsoCode)}) {
            const QString plain = withPlainBlanks(symbol).trimmed();
            if (!plain.isEmpty() && !c.currencies.contains(plain))
                c.currencies << plain;
        }
    }
    c.minusSigns = {QStringLiteral("-"), QString(QChar(0x2212))};
    const QString minus = withPlainBlanks(locale.negativeSign());
    if (!isCLocale(locale) && !c.minusSigns.contains(minus))
        c.minusSigns << minus;
    c.plusSigns = {QStringLiteral("+")};
    const QString plus = withPlainBlanks(locale.positiveSign());
    if (!isCLocale(locale) && !c.plusSigns.contains(plus))
        c.plusSigns << plus;
    return c;
}

// Removes `affix` from the front (or back) of `text` when it is there.
bool strip(QString& text, const QStringList& affixes, bool atFront)
{
    for (const QString& affix : affixes) {
        if (affix.isEmpty())
            continue;
        if (atFront ? text.startsWith(affix) : text.endsWith(affix)) {
            text = atFront ? text.mid(affix.size()) : text.left(text.size() - affix.size());
            text = text.trimmed();
            return true;
        }
    }
    return false;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Turns the bare number (digits, separators, exponent) into C notation.
std::optional<std::string> toCNotation(const QString& body, const Conventions& c)
{
    std::string out;
    qsizetype i = 0;
    const qsizetype n = body.size();
    bool anyDigit = false;
    while (i < n) {
        if (isAsciiDigit(body[i])) {
            out += char(body[i].unicode());
            anyDigit = true;
            ++i;
        } else if (anyDigit && !c.group.isEmpty() && body.mid(i, c.group.size()) == c.group
                   && i + c.group.size() < n && isAsciiDigit(body[i + c.group.size()])) {
            i += c.group.size(); // a group separator stands between digits only
        } else {
            break;
        }
    }
    if (i < n && body.mid(i, c.decimal.size()) == c.decimal) {
        out += '.';
        i += c.decimal.size();
        while (i < n && isAsciiDigit(body[i])) {
            out += char(body[i].unicode());
            anyDigit = true;
            ++i;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (i < n && (body[i] == u'e' || body[i] == u'E')) {
        out += 'e';
        ++i;
        if (i < n && (body[i] == u'+' || body[i] == u'-'))
            out += char(body[i++].unicode());
        const qsizetype exponentStart = i;
        while (i < n && isAsciiDigit(body[i]))
            out += char(body[i++].unicode());
        if (i == exponentStart)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    return out;
}

// The same number divided by 100, still in C notation, so that "12.3%" reads
// as the nearest double to 0.123 and not as 12.3 / 100.
std::string hundredthOf(const std::string& cNotation)
{
    const std::size_t e = cNotation.find('e');
    if (e == std::string::npos)
        return cNotation + "e-2";
    const char* first = cNotation.data() + e + 1;
    const char* last = cNotation.data() + cNotation.size();
    if (first < last && *first == '+')
        ++first;
    long long exponent = 0;
    const auto [end, error] = std::from_chars(first, last, exponent);
    // An exponent this large makes the number 0 or too large either way.
    if (error != std::errc() || end != last || exponent < std::numeric_limits<long long>::min() + 2)
        return cNotation;
    return cNotation.substr(0, e + 1) + std::to_string(exponent - 2);
}

} // namespace

std::optional<double> readTypedNumber(const QString& text, const QLocale& locale, TypedNumberOptions options)
{
    const Conventions c = conventionsOf(locale);
    QString rest = withAsciiDigits(withPlainBlanks(text), locale).trimmed();

    bool negative = false;
    bool parenthesised = false;
    if (rest.startsWith(u'(') && rest.endsWith(u')') && rest.size() >= 2) {
        parenthesised = true;
        rest = rest.mid(1, rest.size() - 2).trimmed();
    }

    bool haveSign = false;
    bool haveCurrency = false;
    // Sign and currency symbol may stand in either order before the number...
    for (int pass = 0; pass < 2; ++pass) {
        if (!haveSign && !parenthesised && strip(rest, c.minusSigns, true)) {
            haveSign = negative = true;
        } else if (!haveSign && !parenthesised && strip(rest, c.plusSigns, true)) {
            haveSign = true;
        } else if (!haveCurrency && strip(rest, c.currencies, true)) {
            haveCurrency = true;
        }
    }
    // ...or after it.
    for (int pass = 0; pass < 2; ++pass) {
        if (!haveSign && !parenthesised && strip(rest, c.minusSigns, false)) {
            haveSign = negative = true;
        } else if (!haveSign && !parenthesised && strip(rest, c.plusSigns, false)) {
            haveSign = true;
        } else if (!haveCurrency && strip(rest, c.currencies, false)) {
            haveCurrency = true;
        }
    }

    bool hundredth = false;
    if (options.percent && !haveCurrency) {
        const QString localPercent = withPlainBlanks(locale.percent()).trimmed();
        hundredth = strip(rest, {QStringLiteral("%"), localPercent}, false);
    }

    std::optional<std::string> cNotation = toCNotation(rest, c);
    if (!cNotation)
        return std::nullopt;
    if (hundredth)
        cNotation = hundredthOf(*cNotation);
    double value = 0;
    const char* first = cNotation->data();
    const char* last = first + cNotation->size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;
    return (negative || parenthesised) ? -value : value;
}

} // namespace spreadsheet
