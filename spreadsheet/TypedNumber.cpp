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

bool isSpaceVariant(char16_t c)
{
    return c == 0x00A0 || c == 0x202F || c == 0x2009;
}

// Locales write group separators and currency gaps as no-break spaces and
// put invisible direction marks around signs and symbols; a user types plain
// blanks and no marks. Treat the spaces as one blank and drop the marks.
QString withPlainBlanks(const QString& text)
{
    // A stored text can be megabytes long and rarely holds any of them:
    // Qt's own searches find that out fastest, and the text stays uncopied.
    bool any = false;
    for (const char16_t special : {u'\u00A0', u'\u202F', u'\u2009', u'\u200E', u'\u200F', u'\u061C'})
        any = any || text.contains(QChar(special));
    if (!any)
        return text;
    QString plain(text.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(plain.data());
    const char16_t* const end = QStringView(text).utf16() + text.size();
    qsizetype kept = 0;
    for (const char16_t* p = QStringView(text).utf16(); p != end; ++p) {
        if (isDirectionMark(QChar(*p)))
            continue;
        out[kept++] = isSpaceVariant(*p) ? u' ' : *p;
    }
    plain.truncate(kept);
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
    char16_t* const begin = reinterpret_cast<char16_t*>(text.data());
    for (char16_t* c = begin; c != begin + text.size(); ++c) {
        if (*c >= first && *c <= first + 9)
            *c = char16_t(u'0' + (*c - first));
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
        for (const QString& symbol :
             {locale.currencySymbol(QLocale::CurrencySymbol), locale.currencySymbol(QLocale::CurrencyIsoCode)}) {
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

bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// True when `affix` (not empty) stands at p, before end.
bool standsAt(const char16_t* p, const char16_t* end, const QString& affix)
{
    return !affix.isEmpty() && QStringView(p, end).startsWith(affix);
}

// Turns the bare number (digits, separators, exponent) into C notation.
// Every character is looked at once and copied at most once: a stored value
// can be megabytes long.
std::optional<std::string> toCNotation(const QString& body, const Conventions& c)
{
    // Each character written stands for one or more read.
    std::string notation(body.size(), '\0');
    char* out = notation.data();
    const char16_t* p = QStringView(body).utf16();
    const char16_t* const end = p + body.size();
    const qsizetype groupSize = c.group.size();
    bool anyDigit = false;
    while (p != end) {
        if (isAsciiDigit(*p)) {
            *out++ = char(*p++);
            anyDigit = true;
        } else if (anyDigit && standsAt(p, end, c.group) && end - p > groupSize && isAsciiDigit(p[groupSize])) {
            p += groupSize; // a group separator stands between digits only
        } else {
            break;
        }
    }
    if (standsAt(p, end, c.decimal)) {
        *out++ = '.';
        p += c.decimal.size();
        while (p != end && isAsciiDigit(*p)) {
            *out++ = char(*p++);
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (p != end && (*p == u'e' || *p == u'E')) {
        *out++ = 'e';
        ++p;
        if (p != end && (*p == u'+' || *p == u'-'))
            *out++ = char(*p++);
        const char16_t* const exponentStart = p;
        while (p != end && isAsciiDigit(*p))
            *out++ = char(*p++);
        if (p == exponentStart)
            return std::nullopt;
    }
    if (p != end)
        return std::nullopt;
    notation.resize(out - notation.data());
    return notation;
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
