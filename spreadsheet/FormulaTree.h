#pragma once

#include "spreadsheet/Formula.h"
#include "spreadsheet/FormulaTokens.h"
#include "spreadsheet/Value.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The formula as a tree, between its text, its token bytes and its value.
// Text and bytes are both read into this tree first, so the printer, the
// evaluator and the reference list each work on one checked form.
namespace spreadsheet::formula::detail {

// One corner of a reference, with its $ marks.
struct ReferenceCorner {
    int row = 0;
    int column = 0;
    bool rowRelative = true;
    bool columnRelative = true;
    friend bool operator==(const ReferenceCorner&, const ReferenceCorner&) = default;
};

struct Reference {
    ReferenceCorner first;
    ReferenceCorner last; // the same as first for a single cell
    bool area = false;
    bool deleted = false; // #REF!: the cells were deleted
    // Set for a reference through the workbook's sheet reference list, whose
    // entries the token bytes alone cannot name.
    std::optional<int> externSheet;
};

enum class Operator {
    Add,
    Subtract,
    Multiply,
    Divide,
    Concatenate,
    Less,
    LessEqual,
    Equal,
    GreaterEqual,
    Greater,
    NotEqual,
    Negate,
    Plus,
};

enum class NodeKind {
    Number,
    Text,
    Boolean,
    Error,
    Missing, // an argument left out: IF(A1,,2)
    Reference,
    Unary,
    Binary,
    Parenthesis,
    Function,
};

struct Node {
    NodeKind kind = NodeKind::Missing;
    double number = 0;
    QString text;
    bool boolean = false;
    ErrorValue error = ErrorValue::Value;
    Reference reference;
    Operator op = Operator::Add;
    const FunctionInfo* function = nullptr;
    std::vector<Node> children;
    int depth = 1;
};

// Deeper trees are refused, so that printing and evaluating, which recurse,
// stay well within the stack. Real formulas are far shallower.
inline constexpr int kMaxDepth = 1000;

Node numberNode(double value);
Node textNode(const QString& text);
Node booleanNode(bool value);
Node errorNode(ErrorValue error);
Node missingNode();
Node referenceNode(const Reference& reference);
// These throw FormulaError when the tree would grow deeper than kMaxDepth.
Node unaryNode(Operator op, Node operand);
Node binaryNode(Operator op, Node left, Node right);
Node parenthesisNode(Node inner);
Node functionNode(const FunctionInfo& function, std::vector<Node> arguments);

// "+", "<>", ...
QString operatorText(Operator op);
// Binding strength for printing: higher binds tighter.
int precedence(const Node& node);

// The cells a reference covers, corners in order.
RangeAddress rangeOf(const Reference& reference);

// "A", "IV" for columns 0 and 255.
QString columnName(int column);
// The largest exactly representable text length of a ptgStr.
inline constexpr int kMaxTextLength = 255;

// Text to tree; throws FormulaError naming what is wrong and where.
Node parseFormulaText(const QString& text);
// Tree to token bytes as Excel writes them for a cell formula.
QByteArray encodeTokens(const Node& root);
// Token bytes to tree; throws FormulaError on anything it cannot read.
Node decodeTokens(const QByteArray& tokens);
// Tree to formula text, with the leading "=".
QString printFormula(const Node& root);
// The value of a cell formula.
Value evaluateTree(const Node& root, const CellSource& cells);

} // namespace spreadsheet::formula::detail
