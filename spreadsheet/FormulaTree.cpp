#include "spreadsheet/FormulaTree.h"

#include <algorithm>
#include <array>

namespace spreadsheet::formula {

namespace {

using ptg::TokenClass;

// Argument classes as Excel's own function table gives them: IF returns a
// reference (either branch may be one) and passes its branches through;
// SUM, AND and OR take references so that they can walk ranges.
constexpr std::array<FunctionInfo, 7> kFunctions{{
    {FunctionId::If, "IF", 2, 3, TokenClass::Reference, TokenClass::Value, TokenClass::Reference},
    {FunctionId::IsError, "ISERROR", 1, 1, TokenClass::Value, TokenClass::Value, TokenClass::Value},
    {FunctionId::Sum, "SUM", 1, kMaxArguments, TokenClass::Value, TokenClass::Reference, TokenClass::Reference},
    {FunctionId::And, "AND", 1, kMaxArguments, TokenClass::Value, TokenClass::Reference, TokenClass::Reference},
    {FunctionId::Or, "OR", 1, kMaxArguments, TokenClass::Value, TokenClass::Reference, TokenClass::Reference},
    {FunctionId::Not, "NOT", 1, 1, TokenClass::Value, TokenClass::Value, TokenClass::Value},
    {FunctionId::IsBlank, "ISBLANK", 1, 1, TokenClass::Value, TokenClass::Value, TokenClass::Value},
}};

} // namespace

const FunctionInfo* functionById(std::uint16_t id)
{
    for (const FunctionInfo& function : kFunctions) {
        if (std::uint16_t(function.id) == id)
            return &function;
    }
    return nullptr;
}

const FunctionInfo* functionByName(const QString& name)
{
    for (const FunctionInfo& function : kFunctions) {
        if (name.compare(QLatin1String(function.name), Qt::CaseInsensitive) == 0)
            return &function;
    }
    return nullptr;
}

} // namespace spreadsheet::formula

namespace spreadsheet::formula::detail {

namespace {

Node leaf(NodeKind kind)
{
    Node node;
    node.kind = kind;
    return node;
}

Node branch(NodeKind kind, std::vector<Node> children)
{
    Node node;
    node.kind = kind;
    int deepest = 0;
    for (const Node& child : children)
        deepest = std::max(deepest, child.depth);
    node.depth = deepest + 1;
    if (node.depth > kMaxDepth)
        throw FormulaError("formula is nested more than " + std::to_string(kMaxDepth) + " levels deep");
    node.children = std::move(children);
    return node;
}

} // namespace

Node numberNode(double value)
{
    Node node = leaf(NodeKind::Number);
    node.number = value;
    return node;
}

Node textNode(const QString& text)
{
    Node node = leaf(NodeKind::Text);
    node.text = text;
    return node;
}

Node booleanNode(bool value)
{
    Node node = leaf(NodeKind::Boolean);
    node.boolean = value;
    return node;
}

Node errorNode(ErrorValue error)
{
    Node node = leaf(NodeKind::Error);
    node.error = error;
    return node;
}

Node missingNode()
{
    return leaf(NodeKind::Missing);
}

Node referenceNode(const Reference& reference)
{
    Node node = leaf(NodeKind::Reference);
    node.reference = reference;
    return node;
}

Node unaryNode(Operator op, Node operand)
{
    std::vector<Node> children;
    children.push_back(std::move(operand));
    Node node = branch(NodeKind::Unary, std::move(children));
    node.op = op;
    return node;
}

Node binaryNode(Operator op, Node left, Node right)
{
    std::vector<Node> children;
    children.push_back(std::move(left));
    children.push_back(std::move(right));
    Node node = branch(NodeKind::Binary, std::move(children));
    node.op = op;
    return node;
}

Node parenthesisNode(Node inner)
{
    std::vector<Node> children;
    children.push_back(std::move(inner));
    return branch(NodeKind::Parenthesis, std::move(children));
}

Node functionNode(const FunctionInfo& function, std::vector<Node> arguments)
{
    Node node = branch(NodeKind::Function, std::move(arguments));
    node.function = &function;
    return node;
}

QString operatorText(Operator op)
{
    switch (op) {
    case Operator::Add: return QStringLiteral("+");
    case Operator::Subtract: return QStringLiteral("-");
    case Operator::Multiply: return QStringLiteral("*");
    case Operator::Divide: return QStringLiteral("/");
    case Operator::Concatenate: return QStringLiteral("&");
    case Operator::Less: return QStringLiteral("<");
    case Operator::LessEqual: return QStringLiteral("<=");
    case Operator::Equal: return QStringLiteral("=");
    case Operator::GreaterEqual: return QStringLiteral(">=");
    case Operator::Greater: return QStringLiteral(">");
    case Operator::NotEqual: return QStringLiteral("<>");
    case Operator::Negate: return QStringLiteral("-");
    case Operator::Plus: return QStringLiteral("+");
    }
    return QString();
}

int precedence(const Node& node)
{
    if (node.kind == NodeKind::Unary)
        return 50;
    if (node.kind != NodeKind::Binary)
        return 100;
    switch (node.op) {
    case Operator::Multiply:
    case Operator::Divide: return 40;
    case Operator::Add:
    case Operator::Subtract: return 30;
    case Operator::Concatenate: return 20;
    default: return 10; // the comparisons
    }
}

RangeAddress rangeOf(const Reference& reference)
{
    RangeAddress range;
    range.first.row = std::min(reference.first.row, reference.last.row);
    range.last.row = std::max(reference.first.row, reference.last.row);
    range.first.column = std::min(reference.first.column, reference.last.column);
    range.last.column = std::max(reference.first.column, reference.last.column);
    return range;
}

QString columnName(int column)
{
    QString name;
    int rest = column + 1;
    while (rest > 0) {
        const int digit = (rest - 1) % 26;
        name.prepend(QChar(u'A' + digit));
        rest = (rest - 1) / 26;
    }
    return name;
}

} // namespace spreadsheet::formula::detail
