// Formula text in A1 notation to the formula tree, by recursive descent with
// Excel's operator precedence: unary - and + bind tightest, then * and /,
// then + and -, then &, then the comparisons; all binary operators associate
// to the left.
#include "spreadsheet/FormulaTree.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>

namespace spreadsheet::formula::detail {

namespace {

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'$' || c == u'\\';
}

// "$D$11" and the like; nullopt when the word is no A1 reference at all, and
// FormulaError when it is one outside the sheet.
std::optional<ReferenceCorner> readCellName(const QString& word)
{
    int i = 0;
    ReferenceCorner corner;
    if (i < word.size() && word[i] == u'$') {
        corner.columnRelative = false;
        ++i;
    }
    const int lettersAt = i;
    int column = 0;
    while (i < word.size() && isAsciiLetter(word[i])) {
        column = column * 26 + (word[i].toUpper().unicode() - u'A' + 1);
        ++i;
        if (i - lettersAt > 3)
            return std::nullopt;
    }
    if (i == lettersAt)
        return std::nullopt;
    if (i < word.size() && word[i] == u'$') {
        corner.rowRelative = false;
        ++i;
    }
    const int digitsAt = i;
    long long row = 0;
    while (i < word.size() && isDigit(word[i])) {
        row = std::min<long long>(row * 10 + (word[i].unicode() - u'0'), 10'000'000);
        ++i;
    }
    if (i == digitsAt || i != word.size())
        return std::nullopt;
    if (column > kMaxColumns || row < 1 || row > kMaxRows) {
        throw FormulaError("cell reference " + word.toStdString()
                           + " is outside the sheet (columns A to IV, rows 1 to 65536)");
    }
    corner.column = column - 1;
    corner.row = int(row - 1);
    return corner;
}

class Parser {
public:
    explicit Parser(const QString& text) : text_(text) {}

    Node parseAll()
    {
        skipSpace();
        if (peek() == u'=')
            ++pos_;
        skipSpace();
        if (atEnd())
            fail(QStringLiteral("the formula is empty"));
        Node root = comparison();
        skipSpace();
        if (!atEnd())
            fail(QStringLiteral("unexpected '%1'").arg(peek()));
        return root;
    }

private:
    [[noreturn]] void fail(const QString& what) const { failAt(what, pos_); }

    [[noreturn]] void failAt(const QString& what, int at) const
    {
        throw FormulaError(QStringLiteral("%1 at position %2").arg(what).arg(at + 1).toStdString());
    }

    bool atEnd() const { return pos_ >= text_.size(); }
    QChar peek(int ahead = 0) const
    {
        const int at = pos_ + ahead;
        return at < text_.size() ? text_[at] : QChar();
    }
    void skipSpace()
    {
        while (!atEnd() && isSpace(peek()))
            ++pos_;
    }

    // Guards the recursion of nested parentheses, unary signs and calls.
    struct Nesting {
        explicit Nesting(Parser& parser) : parser_(parser)
        {
            if (++parser_.nesting_ > kMaxDepth)
                parser_.fail(QStringLiteral("the formula is nested too deeply"));
        }
        ~Nesting() { --parser_.nesting_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
        Parser& parser_;
    };

    std::optional<Operator> comparisonOperator()
    {
        const QChar c = peek();
        const QChar next = peek(1);
        if (c == u'=') {
            ++pos_;
            return Operator::Equal;
        }
        if (c == u'<' && next == u'>') {
            pos_ += 2;
            return Operator::NotEqual;
        }
        if (c == u'<' && next == u'=') {
            pos_ += 2;
            return Operator::LessEqual;
        }
        if (c == u'>' && next == u'=') {
            pos_ += 2;
            return Operator::GreaterEqual;
        }
        if (c == u'<') {
            ++pos_;
            return Operator::Less;
        }
        if (c == u'>') {
            ++pos_;
            return Operator::Greater;
        }
        return std::nullopt;
    }

    std::optional<Operator> singleCharOperator(QChar first, Operator firstOp, QChar second, Operator secondOp)
    {
        const QChar c = peek();
        if (c != first && c != second)
            return std::nullopt;
        ++pos_;
        return c == first ? firstOp : secondOp;
    }

    Node comparison()
    {
        Node left = concatenation();
        for (;;) {
            skipSpace();
            const std::optional<Operator> op = comparisonOperator();
            if (!op)
                return left;
            left = binaryNode(*op, std::move(left), concatenation());
        }
    }

    Node concatenation()
    {
        Node left = additive();
        for (;;) {
            skipSpace();
            if (peek() != u'&')
                return left;
            ++pos_;
            left = binaryNode(Operator::Concatenate, std::move(left), additive());
        }
    }

    Node additive()
    {
        Node left = multiplicative();
        for (;;) {
            skipSpace();
            const std::optional<Operator> op = singleCharOperator(u'+', Operator::Add, u'-', Operator::Subtract);
            if (!op)
                return left;
            left = binaryNode(*op, std::move(left), multiplicative());
        }
    }

    Node multiplicative()
    {
        Node left = unary();
        for (;;) {
            skipSpace();
            const std::optional<Operator> op = singleCharOperator(u'*', Operator::Multiply, u'/', Operator::Divide);
            if (!op)
                return left;
            left = binaryNode(*op, std::move(left), unary());
        }
    }

    Node unary()
    {
        skipSpace();
        const std::optional<Operator> op = singleCharOperator(u'-', Operator::Negate, u'+', Operator::Plus);
        if (!op)
            return operand();
        Nesting nesting(*this);
        return unaryNode(*op, unary());
    }

    Node operand()
    {
        Node node = primary();
        rejectUnsupportedPostfix();
        return node;
    }

    void rejectUnsupportedPostfix()
    {
        skipSpace();
        const QChar c = peek();
        if (c == u'^')
            fail(QStringLiteral("the ^ operator is not supported"));
        if (c == u'%')
            fail(QStringLiteral("the % operator is not supported"));
        if (c == u':')
            fail(QStringLiteral("a range needs a cell reference on each side of ':'"));
        if (c == u'!')
            fail(QStringLiteral("references to other sheets are not supported"));
    }

    Node primary()
    {
        skipSpace();
        const QChar c = peek();
        if (atEnd())
            fail(QStringLiteral("a value is missing"));
        if (c == u'(')
            return parenthesized();
        if (c == u'"')
            return text();
        if (isDigit(c) || (c == u'.' && isDigit(peek(1))))
            return number();
        if (c == u'#')
            return errorLiteral();
        if (c == u'\'')
            fail(QStringLiteral("references to other sheets are not supported"));
        if (c == u'{')
            fail(QStringLiteral("array constants are not supported"));
        if (isWordChar(c))
            return word();
        fail(QStringLiteral("unexpected '%1'").arg(c));
    }

    Node parenthesized()
    {
        Nesting nesting(*this);
        const int openAt = pos_;
        ++pos_;
        Node inner = comparison();
        skipSpace();
        if (peek() != u')')
            failAt(QStringLiteral("the parenthesis opened here is not closed"), openAt);
        ++pos_;
        return parenthesisNode(std::move(inner));
    }

    Node text()
    {
        const int openAt = pos_;
        ++pos_;
        QString value;
        for (;;) {
            if (atEnd())
                failAt(QStringLiteral("the text opened here has no closing quote"), openAt);
            const QChar c = peek();
            ++pos_;
            if (c == u'"') {
                if (peek() != u'"')
                    break;
                ++pos_;
            }
            value.append(c);
        }
        if (value.size() > kMaxTextLength)
            failAt(QStringLiteral("a text in a formula may have at most %1 characters").arg(kMaxTextLength), openAt);
        return textNode(value);
    }

    Node number()
    {
        const int startAt = pos_;
        while (isDigit(peek()))
            ++pos_;
        if (peek() == u'.') {
            ++pos_;
            while (isDigit(peek()))
                ++pos_;
        }
        if (peek() == u'e' || peek() == u'E') {
            ++pos_;
            if (peek() == u'+' || peek() == u'-')
                ++pos_;
            if (!isDigit(peek()))
                failAt(QStringLiteral("malformed number"), startAt);
            while (isDigit(peek()))
                ++pos_;
        }
        if (isWordChar(peek()) || peek() == u'(')
            failAt(QStringLiteral("malformed number"), startAt);
        const std::string digits = text_.mid(startAt, pos_ - startAt).toStdString();
        double value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error != std::errc() || end != digits.data() + digits.size())
            failAt(QStringLiteral("number out of range"), startAt);
        return numberNode(value);
    }

    Node errorLiteral()
    {
        static constexpr ErrorValue kErrors[] = {ErrorValue::Null, ErrorValue::Div0, ErrorValue::Value, ErrorValue::Ref,
                                                 ErrorValue::Name, ErrorValue::Num,  ErrorValue::NA};
        for (const ErrorValue error : kErrors) {
            const QString name = errorText(error);
            if (QStringView(text_).mid(pos_, name.size()).compare(name, Qt::CaseInsensitive) == 0) {
                pos_ += int(name.size());
                return errorNode(error);
            }
        }
        // "#XTI2!A1" is how other sheets' references print.
        int end = pos_ + 1;
        while (end < text_.size() && isWordChar(text_[end]))
            ++end;
        if (peek(end - pos_) == u'!' && (isWordChar(peek(end - pos_ + 1)) || peek(end - pos_ + 1) == u'#'))
            fail(QStringLiteral("references to other sheets are not supported"));
        fail(QStringLiteral("unknown error value"));
    }

    Node word()
    {
        const int startAt = pos_;
        while (isWordChar(peek()))
            ++pos_;
        const QString name = text_.mid(startAt, pos_ - startAt);
        if (peek() == u'(' && !name.contains(u'$'))
            return functionCall(name, startAt);
        if (peek() == u'!')
            failAt(QStringLiteral("references to other sheets are not supported"), startAt);
        if (const std::optional<ReferenceCorner> corner = cellName(name, startAt))
            return reference(*corner);
        if (name.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
            return booleanNode(true);
        if (name.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
            return booleanNode(false);
        failAt(QStringLiteral("unknown name %1").arg(name), startAt);
    }

    std::optional<ReferenceCorner> cellName(const QString& name, int at) const
    {
        try {
            return readCellName(name);
        } catch (const FormulaError& error) {
            failAt(QString::fromStdString(error.what()), at);
        }
    }

    Node reference(const ReferenceCorner& first)
    {
        Reference reference;
        reference.first = first;
        reference.last = first;
        if (peek() == u':') {
            ++pos_;
            const int secondAt = pos_;
            while (isWordChar(peek()))
                ++pos_;
            const std::optional<ReferenceCorner> last = cellName(text_.mid(secondAt, pos_ - secondAt), secondAt);
            if (!last)
                failAt(QStringLiteral("a range needs a cell reference on each side of ':'"), secondAt);
            reference.last = *last;
            reference.area = true;
        }
        return referenceNode(reference);
    }

    Node functionCall(const QString& name, int nameAt)
    {
        const FunctionInfo* function = functionByName(name);
        if (!function)
            failAt(QStringLiteral("unknown function %1").arg(name), nameAt);
        Nesting nesting(*this);
        ++pos_; // the '('
        std::vector<Node> arguments;
        skipSpace();
        if (peek() == u')') {
            ++pos_;
        } else {
            for (;;) {
                skipSpace();
                if (peek() == u',' || peek() == u')')
                    arguments.push_back(missingNode());
                else
                    arguments.push_back(comparison());
                skipSpace();
                if (atEnd())
                    failAt(QStringLiteral("%1( is not closed").arg(QLatin1String(function->name)), nameAt);
                const QChar c = peek();
                ++pos_;
                if (c == u')')
                    break;
                if (c != u',')
                    failAt(QStringLiteral("expected ',' or ')' in %1(...)").arg(QLatin1String(function->name)),
                           pos_ - 1);
                if (int(arguments.size()) == function->maxArguments) {
                    failAt(QStringLiteral("%1 takes at most %2 argument(s)")
                               .arg(QLatin1String(function->name))
                               .arg(function->maxArguments),
                           nameAt);
                }
            }
        }
        if (int(arguments.size()) < function->minArguments) {
            failAt(QStringLiteral("%1 needs at least %2 argument(s), not %3")
                       .arg(QLatin1String(function->name))
                       .arg(function->minArguments)
                       .arg(arguments.size()),
                   nameAt);
        }
        return functionNode(*function, std::move(arguments));
    }

    QString text_;
    int pos_ = 0;
    int nesting_ = 0;
};

} // namespace

Node parseFormulaText(const QString& text)
{
    return Parser(text).parseAll();
}

} // namespace spreadsheet::formula::detail
