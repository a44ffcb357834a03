#include "spreadsheet/NumberFormatParts.h"

#include "spreadsheet/Workbook.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

// Format codes, read into sections of tokens.
namespace spreadsheet {
namespace number_format {
namespace {

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
        {"black", 0x000000},   {"blue", 0x0000FF}, {"cyan", 0x00FFFF},  {"green", 0x00FF00},
        {"magenta", 0xFF00FF}, {"red", 0xFF0000},  {"white", 0xFFFFFF}, {"yellow", 0xFFFF00},
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
        if (t.kind == TokenKind::Point && !out.empty() && isTimeLike(out.back(), u's') && i + 1 < s.tokens.size()
            && s.tokens[i + 1].kind == TokenKind::Digit && s.tokens[i + 1].ch == u'0') {
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
        case TokenKind::Text: return false;
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
            push(c == u'\\'      ? TokenKind::Literal
                     : c == u'_' ? TokenKind::Padding
                                 : TokenKind::Fill,
                 QString(code[i + 1]), code[i + 1]);
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

} // namespace

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

} // namespace number_format

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

} // namespace spreadsheet
