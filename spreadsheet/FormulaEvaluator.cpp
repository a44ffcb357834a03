// Evaluates the formula tree by the rules spreadsheet programs share:
//  - operators want single values: a reference to one cell gives its value,
//    a larger range gives #VALUE! (no implicit intersection);
//  - in arithmetic an empty cell is 0, TRUE/FALSE are 1/0, and text is read
//    as a plain number ("12", " -1.5e3 ") or else is #VALUE!;
//  - comparisons order numbers < texts < Booleans, compare texts without
//    regard to case, and take an empty cell as 0, "" or FALSE to suit the
//    other side;
//  - SUM, AND and OR walk referenced cells skipping texts and blanks, but
//    convert values given to them directly;
//  - the first error met, left to right, is the result.
// Numbers equal to within 2^-48 of their size compare equal, and a sum or
// difference that cancels to within that is exactly 0, as LibreOffice does,
// so that 0.1+0.2=0.3 holds as it does in Excel.
#include "spreadsheet/FormulaTree.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <variant>

namespace spreadsheet::formula::detail {

namespace {

// Excel's longest cell text.
constexpr int kMaxResultText = 32767;

// What an evaluated node gives: a value, or a reference its user may read
// as a range or as one value.
struct Operand {
    Value value;
    std::optional<RangeAddress> range;

    static Operand of(Value value) { return Operand{std::move(value), std::nullopt}; }
};

template <typename T>
using Checked = std::variant<T, ErrorValue>;

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Text that reads as a number in plain C notation, blanks around it allowed.
std::optional<double> readNumber(const QString& text)
{
    int begin = 0;
    int end = int(text.size());
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    int i = begin;
    if (i < end && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const int mantissaAt = i;
    while (i < end && isDigit(text[i]))
        ++i;
    int digits = i - mantissaAt;
    if (i < end && text[i] == u'.') {
        ++i;
        const int fractionAt = i;
        while (i < end && isDigit(text[i]))
            ++i;
        digits += i - fractionAt;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < end && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        const int exponentAt = i;
        while (i < end && isDigit(text[i]))
            ++i;
        if (i == exponentAt)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;
    const bool plusSign = text[begin] == u'+';
    const std::string ascii = text.mid(begin + (plusSign ? 1 : 0), end - begin - (plusSign ? 1 : 0)).toStdString();
    double value = 0;
    const auto [ptr, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || ptr != ascii.data() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A number as the General format writes it into text: up to 15 significant
// digits, scientific below 1E-4 and from 1E+15 on.
QString generalText(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return QString::fromLatin1(buffer, int(result.ptr - buffer)).toUpper();
}

bool nearlyEqual(double a, double b)
{
    if (a == b)
        return true;
    const double tolerance = std::ldexp(std::min(std::fabs(a), std::fabs(b)), -48);
    return std::fabs(a - b) < tolerance;
}

double cancellingSum(double a, double b)
{
    if ((a < 0) != (b < 0) && nearlyEqual(a, -b))
        return 0;
    return a + b;
}

Value checkedNumber(double value)
{
    if (!std::isfinite(value))
        return ErrorValue::Num;
    return value + 0.0; // no negative zero
}

Checked<double> toNumber(const Value& value)
{
    if (std::holds_alternative<Empty>(value))
        return 0.0;
    if (const double* number = std::get_if<double>(&value))
        return *number;
    if (const bool* boolean = std::get_if<bool>(&value))
        return *boolean ? 1.0 : 0.0;
    if (const QString* text = std::get_if<QString>(&value)) {
        if (const std::optional<double> number = readNumber(*text))
            return *number;
        return ErrorValue::Value;
    }
    return std::get<ErrorValue>(value);
}

std::optional<bool> booleanWord(const QString& text)
{
    if (text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

// A value read as a truth value: IF's condition, NOT's argument.
Checked<bool> toCondition(const Value& value)
{
    if (std::holds_alternative<Empty>(value))
        return false;
    if (const double* number = std::get_if<double>(&value))
        return *number != 0;
    if (const bool* boolean = std::get_if<bool>(&value))
        return *boolean;
    if (const QString* text = std::get_if<QString>(&value)) {
        if (const std::optional<bool> word = booleanWord(*text))
            return *word;
        return ErrorValue::Value;
    }
    return std::get<ErrorValue>(value);
}

Checked<QString> toText(const Value& value)
{
    if (std::holds_alternative<Empty>(value))
        return QString();
    if (const double* number = std::get_if<double>(&value))
        return generalText(*number);
    if (const bool* boolean = std::get_if<bool>(&value))
        return *boolean ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (const QString* text = std::get_if<QString>(&value))
        return *text;
    return std::get<ErrorValue>(value);
}

const ErrorValue* errorOf(const Value& value)
{
    return std::get_if<ErrorValue>(&value);
}

// An empty cell compared with something else stands for that kind's zero.
Value blankLike(const Value& other)
{
    if (std::holds_alternative<QString>(other))
        return QString();
    if (std::holds_alternative<bool>(other))
        return false;
    return 0.0;
}

int typeRank(const Value& value)
{
    if (std::holds_alternative<QString>(value))
        return 1;
    if (std::holds_alternative<bool>(value))
        return 2;
    return 0;
}

int sign(int number)
{
    return (number > 0) - (number < 0);
}

// -1, 0 or 1; neither side is an error.
int compareValues(Value a, Value b)
{
    if (std::holds_alternative<Empty>(a) && std::holds_alternative<Empty>(b))
        return 0;
    if (std::holds_alternative<Empty>(a))
        a = blankLike(b);
    if (std::holds_alternative<Empty>(b))
        b = blankLike(a);
    if (typeRank(a) != typeRank(b))
        return typeRank(a) < typeRank(b) ? -1 : 1;
    if (const double* x = std::get_if<double>(&a)) {
        const double y = std::get<double>(b);
        return nearlyEqual(*x, y) ? 0 : (*x < y ? -1 : 1);
    }
    if (const QString* x = std::get_if<QString>(&a))
        return sign(x->compare(std::get<QString>(b), Qt::CaseInsensitive));
    return int(std::get<bool>(a)) - int(std::get<bool>(b));
}

Value comparison(Operator op, const Value& a, const Value& b)
{
    if (const ErrorValue* error = errorOf(a))
        return *error;
    if (const ErrorValue* error = errorOf(b))
        return *error;
    const int order = compareValues(a, b);
    switch (op) {
    case Operator::Less: return order < 0;
    case Operator::LessEqual: return order <= 0;
    case Operator::Equal: return order == 0;
    case Operator::GreaterEqual: return order >= 0;
    case Operator::Greater: return order > 0;
    default: return order != 0;
    }
}

Value arithmetic(Operator op, const Value& a, const Value& b)
{
    const Checked<double> x = toNumber(a);
    if (const ErrorValue* error = std::get_if<ErrorValue>(&x))
        return *error;
    const Checked<double> y = toNumber(b);
    if (const ErrorValue* error = std::get_if<ErrorValue>(&y))
        return *error;
    const double left = std::get<double>(x);
    const double right = std::get<double>(y);
    switch (op) {
    case Operator::Add: return checkedNumber(cancellingSum(left, right));
    case Operator::Subtract: return checkedNumber(cancellingSum(left, -right));
    case Operator::Multiply: return checkedNumber(left * right);
    default:
        if (right == 0)
            return ErrorValue::Div0;
        return checkedNumber(left / right);
    }
}

Value concatenation(const Value& a, const Value& b)
{
    const Checked<QString> x = toText(a);
    if (const ErrorValue* error = std::get_if<ErrorValue>(&x))
        return *error;
    const Checked<QString> y = toText(b);
    if (const ErrorValue* error = std::get_if<ErrorValue>(&y))
        return *error;
    if (std::get<QString>(x).size() + std::get<QString>(y).size() > kMaxResultText)
        return ErrorValue::Value;
    return std::get<QString>(x) + std::get<QString>(y);
}

Value binary(Operator op, const Value& a, const Value& b)
{
    switch (op) {
    case Operator::Add:
    case Operator::Subtract:
    case Operator::Multiply:
    case Operator::Divide: return arithmetic(op, a, b);
    case Operator::Concatenate: return concatenation(a, b);
    default: return comparison(op, a, b);
    }
}

void refuseOtherSheets(const Node& node)
{
    if (node.kind == NodeKind::Reference && node.reference.externSheet) {
        throw FormulaError("cannot evaluate the formula: it refers to another sheet (sheet reference index "
                           + std::to_string(*node.reference.externSheet) + ")");
    }
    for (const Node& child : node.children)
        refuseOtherSheets(child);
}

class Evaluator {
public:
    explicit Evaluator(const CellSource& cells) : cells_(cells) {}

    Value run(const Node& root)
    {
        Value result = valueOf(evaluate(root));
        if (std::holds_alternative<Empty>(result))
            return 0.0; // a formula showing a blank cell shows 0
        return result;
    }

private:
    Value valueOf(const Operand& operand) const
    {
        if (!operand.range)
            return operand.value;
        if (operand.range->first == operand.range->last)
            return cells_.valueAt(operand.range->first);
        return ErrorValue::Value;
    }

    Operand evaluate(const Node& node) const
    {
        switch (node.kind) {
        case NodeKind::Number: return Operand::of(node.number);
        case NodeKind::Text: return Operand::of(node.text);
        case NodeKind::Boolean: return Operand::of(node.boolean);
        case NodeKind::Error: return Operand::of(node.error);
        case NodeKind::Missing: return Operand::of(0.0);
        case NodeKind::Reference:
            if (node.reference.deleted)
                return Operand::of(ErrorValue::Ref);
            return Operand{Empty{}, rangeOf(node.reference)};
        case NodeKind::Unary: return Operand::of(unary(node));
        case NodeKind::Binary:
            return Operand::of(
                binary(node.op, valueOf(evaluate(node.children[0])), valueOf(evaluate(node.children[1]))));
        case NodeKind::Parenthesis: return evaluate(node.children[0]);
        case NodeKind::Function: return function(node);
        }
        return Operand::of(ErrorValue::Value);
    }

    Value unary(const Node& node) const
    {
        const Value value = valueOf(evaluate(node.children[0]));
        if (node.op == Operator::Plus)
            return value; // unary plus leaves even text alone
        const Checked<double> number = toNumber(value);
        if (const ErrorValue* error = std::get_if<ErrorValue>(&number))
            return *error;
        return checkedNumber(-std::get<double>(number));
    }

    Operand function(const Node& node) const
    {
        switch (node.function->id) {
        case FunctionId::If: return ifFunction(node);
        case FunctionId::Sum: return Operand::of(sum(node));
        case FunctionId::And: return Operand::of(logical(node, true));
        case FunctionId::Or: return Operand::of(logical(node, false));
        case FunctionId::Not: return Operand::of(notFunction(node));
        case FunctionId::IsError: return Operand::of(isError(node));
        case FunctionId::IsBlank: return Operand::of(isBlank(node));
        }
        return Operand::of(ErrorValue::Value);
    }

    Operand ifFunction(const Node& node) const
    {
        const Checked<bool> condition = toCondition(valueOf(evaluate(node.children[0])));
        if (const ErrorValue* error = std::get_if<ErrorValue>(&condition))
            return Operand::of(*error);
        if (std::get<bool>(condition))
            return evaluate(node.children[1]);
        if (node.children.size() > 2)
            return evaluate(node.children[2]);
        return Operand::of(false);
    }

    // Calls `visit` for each referenced cell, row by row; stops early when it
    // returns false.
    template <typename Visit>
    bool forEachCell(const RangeAddress& range, Visit visit) const
    {
        for (int row = range.first.row; row <= range.last.row; ++row) {
            for (int column = range.first.column; column <= range.last.column; ++column) {
                if (!visit(cells_.valueAt(CellAddress{row, column})))
                    return false;
            }
        }
        return true;
    }

    Value sum(const Node& node) const
    {
        double total = 0;
        std::optional<ErrorValue> failure;
        for (const Node& argument : node.children) {
            const Operand operand = evaluate(argument);
            if (operand.range) {
                forEachCell(*operand.range, [&](const Value& cell) {
                    if (const double* number = std::get_if<double>(&cell))
                        total += *number;
                    else if (const ErrorValue* error = errorOf(cell))
                        failure = *error;
                    return !failure;
                });
            } else {
                const Checked<double> number = toNumber(operand.value);
                if (const ErrorValue* error = std::get_if<ErrorValue>(&number))
                    failure = *error;
                else
                    total += std::get<double>(number);
            }
            if (failure)
                return *failure;
        }
        return checkedNumber(total);
    }

    // AND (all) or OR (any) of the usable values; none usable is #VALUE!.
    Value logical(const Node& node, bool all) const
    {
        bool result = all;
        bool anyUsable = false;
        std::optional<ErrorValue> failure;
        const auto use = [&](bool truth) {
            anyUsable = true;
            result = all ? (result && truth) : (result || truth);
        };
        for (const Node& argument : node.children) {
            const Operand operand = evaluate(argument);
            if (operand.range) {
                forEachCell(*operand.range, [&](const Value& cell) {
                    if (const double* number = std::get_if<double>(&cell))
                        use(*number != 0);
                    else if (const bool* boolean = std::get_if<bool>(&cell))
                        use(*boolean);
                    else if (const ErrorValue* error = errorOf(cell))
                        failure = *error;
                    return !failure;
                });
            } else {
                const Checked<bool> truth = toCondition(operand.value);
                if (const ErrorValue* error = std::get_if<ErrorValue>(&truth))
                    failure = *error;
                else
                    use(std::get<bool>(truth));
            }
            if (failure)
                return *failure;
        }
        if (!anyUsable)
            return ErrorValue::Value;
        return result;
    }

    Value notFunction(const Node& node) const
    {
        const Checked<bool> truth = toCondition(valueOf(evaluate(node.children[0])));
        if (const ErrorValue* error = std::get_if<ErrorValue>(&truth))
            return *error;
        return !std::get<bool>(truth);
    }

    Value isError(const Node& node) const { return errorOf(valueOf(evaluate(node.children[0]))) != nullptr; }

    // Only a reference to a cell holding nothing is blank; "" is text.
    Value isBlank(const Node& node) const
    {
        const Operand operand = evaluate(node.children[0]);
        if (!operand.range || operand.range->first != operand.range->last)
            return false;
        return std::holds_alternative<Empty>(cells_.valueAt(operand.range->first));
    }

    const CellSource& cells_;
};

} // namespace

Value evaluateTree(const Node& root, const CellSource& cells)
{
    refuseOtherSheets(root);
    return Evaluator(cells).run(root);
}

} // namespace spreadsheet::formula::detail
