// The formula tree to token bytes the way Excel writes a cell formula.
//
// Token classes follow Excel's conversion for cell formulas: the formula
// itself and the operands of operators want values; each function argument
// wants the class the function table gives it. A reference gets the class
// its place wants; a function returning a value is always value class, and
// IF, which returns a reference, keeps reference class only where a
// reference is wanted. Parentheses pass the wanted class through. Array
// class does not arise with these functions.
#include "spreadsheet/Formula.h"
#include "spreadsheet/FormulaTree.h"

#include <cmath>
#include <cstring>

namespace spreadsheet::formula::detail {

namespace {

using ptg::TokenClass;

std::uint8_t operatorToken(Operator op)
{
    switch (op) {
    case Operator::Add: return ptg::Add;
    case Operator::Subtract: return ptg::Sub;
    case Operator::Multiply: return ptg::Mul;
    case Operator::Divide: return ptg::Div;
    case Operator::Concatenate: return ptg::Concat;
    case Operator::Less: return ptg::LT;
    case Operator::LessEqual: return ptg::LE;
    case Operator::Equal: return ptg::EQ;
    case Operator::GreaterEqual: return ptg::GE;
    case Operator::Greater: return ptg::GT;
    case Operator::NotEqual: return ptg::NE;
    case Operator::Negate: return ptg::Uminus;
    case Operator::Plus: return ptg::Uplus;
    }
    return ptg::Add;
}

TokenClass functionClass(const FunctionInfo& function, TokenClass wanted)
{
    return wanted == TokenClass::Reference && function.returnClass == TokenClass::Reference ? TokenClass::Reference
                                                                                            : TokenClass::Value;
}

std::uint16_t columnField(const ReferenceCorner& corner)
{
    std::uint16_t field = std::uint16_t(corner.column);
    if (corner.rowRelative)
        field |= 0x8000;
    if (corner.columnRelative)
        field |= 0x4000;
    return field;
}

class Encoder {
public:
    QByteArray run(const Node& root)
    {
        encode(root, TokenClass::Value);
        return out_;
    }

private:
    void byte(std::uint8_t value) { out_.append(char(value)); }

    void word(std::uint16_t value)
    {
        byte(std::uint8_t(value & 0xFF));
        byte(std::uint8_t(value >> 8));
    }

    void encode(const Node& node, TokenClass wanted)
    {
        switch (node.kind) {
        case NodeKind::Number: return number(node.number);
        case NodeKind::Text: return text(node.text);
        case NodeKind::Boolean:
            byte(ptg::Bool);
            byte(node.boolean ? 1 : 0);
            return;
        case NodeKind::Error:
            byte(ptg::Err);
            byte(std::uint8_t(node.error));
            return;
        case NodeKind::Missing: return byte(ptg::MissArg);
        case NodeKind::Reference: return reference(node.reference, wanted);
        case NodeKind::Unary: encode(node.children[0], TokenClass::Value); return byte(operatorToken(node.op));
        case NodeKind::Binary:
            encode(node.children[0], TokenClass::Value);
            encode(node.children[1], TokenClass::Value);
            return byte(operatorToken(node.op));
        case NodeKind::Parenthesis: encode(node.children[0], wanted); return byte(ptg::Paren);
        case NodeKind::Function: return function(node, wanted);
        }
    }

    void number(double value)
    {
        if (value >= 0 && value <= 65535 && std::floor(value) == value && !std::signbit(value)) {
            byte(ptg::Int);
            word(std::uint16_t(value));
            return;
        }
        byte(ptg::Num);
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 8; ++i)
            byte(std::uint8_t(bits >> (8 * i)));
    }

    // A short unicode string: 8-bit length, then an option byte saying
    // whether the characters follow as 8-bit (all below U+0100) or UTF-16.
    void text(const QString& value)
    {
        bool wide = false;
        for (const QChar c : value)
            wide = wide || c.unicode() > 0xFF;
        byte(ptg::Str);
        byte(std::uint8_t(value.size()));
        byte(wide ? 1 : 0);
        for (const QChar c : value) {
            if (wide)
                word(c.unicode());
            else
                byte(std::uint8_t(c.unicode()));
        }
    }

    void reference(const Reference& reference, TokenClass wanted)
    {
        if (reference.deleted || reference.externSheet)
            throw FormulaError("only references to cells of the formula's own sheet can be compiled");
        if (!reference.area) {
            byte(ptg::withClass(ptg::Ref, wanted));
            word(std::uint16_t(reference.first.row));
            word(columnField(reference.first));
            return;
        }
        byte(ptg::withClass(ptg::Area, wanted));
        word(std::uint16_t(reference.first.row));
        word(std::uint16_t(reference.last.row));
        word(columnField(reference.first));
        word(columnField(reference.last));
    }

    void function(const Node& node, TokenClass wanted)
    {
        const FunctionInfo& info = *node.function;
        if (info.id == FunctionId::If)
            return ifFunction(node, functionClass(info, wanted));
        const int count = int(node.children.size());
        for (int i = 0; i < count; ++i)
            encode(node.children[i], info.argumentClass(i));
        if (info.id == FunctionId::Sum && count == 1)
            attr(ptg::AttrSum, 0); // Excel's short form of SUM with one argument
        else
            functionToken(info, count, functionClass(info, wanted));
    }

    void functionToken(const FunctionInfo& info, int count, TokenClass tokenClass)
    {
        if (info.fixedCount()) {
            byte(ptg::withClass(ptg::Func, tokenClass));
        } else {
            byte(ptg::withClass(ptg::FuncVar, tokenClass));
            byte(std::uint8_t(count));
        }
        word(std::uint16_t(info.id));
    }

    // Excel's shape: condition, tAttrIf, true branch, tAttrSkip, false branch,
    // tAttrSkip, tFuncVar(IF). tAttrIf jumps from its end to the false branch
    // (to the tFuncVar when there is none); each tAttrSkip jumps from its end
    // to just behind the tFuncVar, stored as that distance minus one.
    void ifFunction(const Node& node, TokenClass tokenClass)
    {
        const FunctionInfo& info = *node.function;
        const int count = int(node.children.size());
        encode(node.children[0], info.argumentClass(0));
        const int ifAt = attr(ptg::AttrIf, 0);
        encode(node.children[1], info.argumentClass(1));
        const int firstSkipAt = attr(ptg::AttrSkip, 0);
        const int falseAt = int(out_.size());
        int secondSkipAt = -1;
        if (count == 3) {
            encode(node.children[2], info.argumentClass(2));
            secondSkipAt = attr(ptg::AttrSkip, 0);
        }
        functionToken(info, count, tokenClass);
        const int end = int(out_.size());
        patch(ifAt, falseAt - (ifAt + ptg::AttrSize));
        patch(firstSkipAt, end - (firstSkipAt + ptg::AttrSize) - 1);
        if (secondSkipAt >= 0)
            patch(secondSkipAt, end - (secondSkipAt + ptg::AttrSize) - 1);
    }

    int attr(std::uint8_t kind, std::uint16_t data)
    {
        const int at = int(out_.size());
        byte(ptg::Attr);
        byte(kind);
        word(data);
        return at;
    }

    void patch(int attrAt, int offset)
    {
        if (offset > 0xFFFF)
            throw FormulaError("the formula is too long: an IF branch spans more than 65535 bytes");
        out_[attrAt + 2] = char(offset & 0xFF);
        out_[attrAt + 3] = char(offset >> 8);
    }

    QByteArray out_;
};

} // namespace

QByteArray encodeTokens(const Node& root)
{
    return Encoder().run(root);
}

} // namespace spreadsheet::formula::detail

namespace spreadsheet::formula {
namespace {

void appendWord(QByteArray& out, std::uint16_t value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

std::uint16_t checkedWord(int value, int limit, const char* what)
{
    if (value < 0 || value > limit)
        throw FormulaError(std::string("a defined name's ") + what + " is out of range");
    return std::uint16_t(value);
}

// ptgArea3d / ptgAreaErr3d, reference class: index (2), first row (2), last
// row (2), first column (2), last column (2); no relative bits set.
QByteArray area3d(std::uint8_t token, int sheetListIndex, RangeAddress range)
{
    QByteArray out;
    out.append(char(token));
    appendWord(out, checkedWord(sheetListIndex, 0xFFFF, "sheet index"));
    appendWord(out, checkedWord(range.first.row, kMaxRows - 1, "first row"));
    appendWord(out, checkedWord(range.last.row, kMaxRows - 1, "last row"));
    appendWord(out, checkedWord(range.first.column, kMaxColumns - 1, "first column"));
    appendWord(out, checkedWord(range.last.column, kMaxColumns - 1, "last column"));
    return out;
}

} // namespace

QByteArray sheetAreaName(int sheetListIndex, RangeAddress range)
{
    return area3d(ptg::Area3d, sheetListIndex, range);
}

QByteArray deletedSheetAreaName(int sheetListIndex)
{
    return area3d(ptg::AreaErr3d, sheetListIndex, {});
}

} // namespace spreadsheet::formula
