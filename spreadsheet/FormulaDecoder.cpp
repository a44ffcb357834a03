// Token bytes to the formula tree. The bytes are reverse Polish notation, so
// a stack of subtrees rebuilds the expression. Every read is bounds-checked
// and every count checked against the stack, so no input can make it read
// past the end, crash or loop; anything it cannot read is a FormulaError
// naming the token and its byte offset.
//
// tAttrIf and tAttrSkip only let a reader skip the branch IF does not take;
// the tree does not need them, but their jumps must land on a token.
#include "spreadsheet/FormulaTree.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace spreadsheet::formula::detail {

namespace {

std::string hexByte(std::uint8_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[value >> 4] + digits[value & 0x0F];
}

// Names as the file format documentation gives them, for messages.
std::string tokenName(std::uint8_t id)
{
    if (id >= 0x20 && id < 0x80) {
        static const char* const kClassified[32] = {
            "ptgArray",    "ptgFunc",      "ptgFuncVar", "ptgName",   "ptgRef",     "ptgArea",  "ptgMemArea",
            "ptgMemErr",   "ptgMemNoMem",  "ptgMemFunc", "ptgRefErr", "ptgAreaErr", "ptgRefN",  "ptgAreaN",
            "ptgMemAreaN", "ptgMemNoMemN", nullptr,      nullptr,     nullptr,      nullptr,    nullptr,
            nullptr,       nullptr,        nullptr,      nullptr,     "ptgNameX",   "ptgRef3d", "ptgArea3d",
            "ptgRefErr3d", "ptgAreaErr3d", nullptr,      nullptr};
        const char* name = kClassified[id & 0x1F];
        if (name)
            return name;
    }
    static const char* const kBase[32] = {
        nullptr,     "ptgExp",   "ptgTbl",   "ptgAdd",      "ptgSub",     "ptgMul",   "ptgDiv",     "ptgPower",
        "ptgConcat", "ptgLT",    "ptgLE",    "ptgEQ",       "ptgGE",      "ptgGT",    "ptgNE",      "ptgIsect",
        "ptgUnion",  "ptgRange", "ptgUplus", "ptgUminus",   "ptgPercent", "ptgParen", "ptgMissArg", "ptgStr",
        nullptr,     "ptgAttr",  "ptgSheet", "ptgEndSheet", "ptgErr",     "ptgBool",  "ptgInt",     "ptgNum"};
    if (id < 0x20 && kBase[id])
        return kBase[id];
    return "token " + hexByte(id);
}

class Decoder {
public:
    explicit Decoder(const QByteArray& bytes) : bytes_(bytes) {}

    Node run()
    {
        if (bytes_.isEmpty())
            throw FormulaError("cannot read formula tokens: there are none");
        while (pos_ < bytes_.size())
            token();
        if (stack_.size() != 1) {
            throw FormulaError("cannot read formula tokens: they leave " + std::to_string(stack_.size())
                               + " values instead of one");
        }
        if (stack_.back().kind == NodeKind::Missing)
            throw FormulaError("cannot read formula tokens: the formula is only a missing argument");
        checkJumps();
        return std::move(stack_.back());
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw FormulaError("cannot read formula tokens: " + name_ + " at byte " + std::to_string(tokenAt_) + " "
                           + what);
    }

    void need(int count)
    {
        const qsizetype left = bytes_.size() - pos_;
        if (left < count)
            fail("is cut short (needs " + std::to_string(count) + " more bytes, " + std::to_string(left) + " left)");
    }

    std::uint8_t byte()
    {
        need(1);
        return std::uint8_t(bytes_[pos_++]);
    }

    std::uint16_t word()
    {
        need(2);
        const std::uint16_t value = std::uint16_t(std::uint8_t(bytes_[pos_]) | (std::uint8_t(bytes_[pos_ + 1]) << 8));
        pos_ += 2;
        return value;
    }

    void skip(int count)
    {
        need(count);
        pos_ += count;
    }

    void push(Node node) { stack_.push_back(std::move(node)); }

    Node popOperand()
    {
        if (stack_.empty())
            fail("has no operand on the stack");
        if (stack_.back().kind == NodeKind::Missing)
            fail("takes a missing argument as its operand");
        Node node = std::move(stack_.back());
        stack_.pop_back();
        return node;
    }

    std::vector<Node> popArguments(int count)
    {
        if (int(stack_.size()) < count) {
            fail("wants " + std::to_string(count) + " arguments, the stack holds " + std::to_string(stack_.size()));
        }
        if (count == 1 && stack_.back().kind == NodeKind::Missing)
            fail("has only a missing argument");
        std::vector<Node> arguments(std::make_move_iterator(stack_.end() - count),
                                    std::make_move_iterator(stack_.end()));
        stack_.resize(stack_.size() - count);
        return arguments;
    }

    void token()
    {
        tokenAt_ = int(pos_);
        tokenStarts_.push_back(tokenAt_);
        const std::uint8_t id = std::uint8_t(bytes_[pos_++]);
        name_ = tokenName(id);
        if (id >= 0x80)
            fail("is unknown");
        if (id & ptg::ClassMask)
            classifiedToken(std::uint8_t((id & 0x1F) | 0x20));
        else
            baseToken(id);
    }

    void baseToken(std::uint8_t id)
    {
        switch (id) {
        case ptg::Add: return binary(Operator::Add);
        case ptg::Sub: return binary(Operator::Subtract);
        case ptg::Mul: return binary(Operator::Multiply);
        case ptg::Div: return binary(Operator::Divide);
        case ptg::Concat: return binary(Operator::Concatenate);
        case ptg::LT: return binary(Operator::Less);
        case ptg::LE: return binary(Operator::LessEqual);
        case ptg::EQ: return binary(Operator::Equal);
        case ptg::GE: return binary(Operator::GreaterEqual);
        case ptg::GT: return binary(Operator::Greater);
        case ptg::NE: return binary(Operator::NotEqual);
        case ptg::Uplus: return push(unaryNode(Operator::Plus, popOperand()));
        case ptg::Uminus: return push(unaryNode(Operator::Negate, popOperand()));
        case ptg::Paren: return push(parenthesisNode(popOperand()));
        case ptg::MissArg: return push(missingNode());
        case ptg::Str: return push(textNode(shortString()));
        case ptg::Attr: return attr();
        case ptg::Err: return push(errorNode(errorCode()));
        case ptg::Bool: return push(booleanNode(booleanByte()));
        case ptg::Int: return push(numberNode(word()));
        case ptg::Num: return push(numberNode(finiteNumber()));
        case ptg::Exp:
        case ptg::Tbl: fail("belongs to a shared, array or table formula, which are not supported");
        case ptg::Power:
        case ptg::Isect:
        case ptg::Union:
        case ptg::Range:
        case ptg::Percent: fail("is an operator the engine does not support");
        default: fail("is unknown");
        }
    }

    void classifiedToken(std::uint8_t id)
    {
        switch (id) {
        case ptg::Func: return fixedFunction();
        case ptg::FuncVar: return variableFunction();
        case ptg::Ref: return push(referenceNode(cell(std::nullopt)));
        case ptg::Area: return push(referenceNode(area(std::nullopt)));
        case ptg::RefErr: return push(referenceNode(deleted(false, std::nullopt)));
        case ptg::AreaErr: return push(referenceNode(deleted(true, std::nullopt)));
        case ptg::Ref3d: {
            const int sheet = word();
            return push(referenceNode(cell(sheet)));
        }
        case ptg::Area3d: {
            const int sheet = word();
            return push(referenceNode(area(sheet)));
        }
        case ptg::RefErr3d: {
            const int sheet = word();
            return push(referenceNode(deleted(false, sheet)));
        }
        case ptg::AreaErr3d: {
            const int sheet = word();
            return push(referenceNode(deleted(true, sheet)));
        }
        case ptg::ArrayConstant:
        case ptg::Name:
        case ptg::NameX:
        case ptg::MemArea:
        case ptg::MemErr:
        case ptg::MemNoMem:
        case ptg::MemFunc:
        case ptg::RefN:
        case ptg::AreaN: fail("is not supported");
        default: fail("is unknown");
        }
    }

    void binary(Operator op)
    {
        Node right = popOperand();
        Node left = popOperand();
        push(binaryNode(op, std::move(left), std::move(right)));
    }

    ReferenceCorner corner(std::uint16_t row, std::uint16_t columnField)
    {
        ReferenceCorner corner;
        corner.row = row;
        corner.column = columnField & 0x3FFF;
        corner.rowRelative = (columnField & 0x8000) != 0;
        corner.columnRelative = (columnField & 0x4000) != 0;
        if (corner.column >= kMaxColumns)
            fail("names column " + std::to_string(corner.column + 1) + ", beyond the last column IV");
        return corner;
    }

    Reference cell(std::optional<int> sheet)
    {
        const std::uint16_t row = word();
        const std::uint16_t column = word();
        Reference reference;
        reference.first = corner(row, column);
        reference.last = reference.first;
        reference.externSheet = sheet;
        return reference;
    }

    Reference area(std::optional<int> sheet)
    {
        const std::uint16_t firstRow = word();
        const std::uint16_t lastRow = word();
        const std::uint16_t firstColumn = word();
        const std::uint16_t lastColumn = word();
        Reference reference;
        reference.first = corner(firstRow, firstColumn);
        reference.last = corner(lastRow, lastColumn);
        reference.area = true;
        reference.externSheet = sheet;
        return reference;
    }

    Reference deleted(bool isArea, std::optional<int> sheet)
    {
        skip(isArea ? 8 : 4);
        Reference reference;
        reference.area = isArea;
        reference.deleted = true;
        reference.externSheet = sheet;
        return reference;
    }

    QString shortString()
    {
        const int count = byte();
        const bool wide = (byte() & 0x01) != 0;
        need(wide ? 2 * count : count);
        QString text;
        text.reserve(count);
        for (int i = 0; i < count; ++i) {
            if (wide) {
                text.append(QChar(std::uint16_t(std::uint8_t(bytes_[pos_]) | (std::uint8_t(bytes_[pos_ + 1]) << 8))));
                pos_ += 2;
            } else {
                text.append(QChar(std::uint8_t(bytes_[pos_])));
                pos_ += 1;
            }
        }
        return text;
    }

    ErrorValue errorCode()
    {
        const std::uint8_t code = byte();
        for (const ErrorValue error : {ErrorValue::Null, ErrorValue::Div0, ErrorValue::Value, ErrorValue::Ref,
                                       ErrorValue::Name, ErrorValue::Num, ErrorValue::NA}) {
            if (std::uint8_t(error) == code)
                return error;
        }
        fail("holds the unknown error code " + hexByte(code));
    }

    bool booleanByte()
    {
        const std::uint8_t value = byte();
        if (value > 1)
            fail("holds " + std::to_string(value) + " instead of 0 or 1");
        return value == 1;
    }

    double finiteNumber()
    {
        need(8);
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= std::uint64_t(std::uint8_t(bytes_[pos_ + i])) << (8 * i);
        pos_ += 8;
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            fail("holds no finite number");
        return value;
    }

    const FunctionInfo& function(std::uint16_t id)
    {
        const FunctionInfo* info = functionById(id);
        if (!info)
            fail("calls function number " + std::to_string(id) + ", which the engine does not know");
        name_ += std::string("(") + info->name + ")";
        return *info;
    }

    void fixedFunction()
    {
        const FunctionInfo& info = function(word());
        if (!info.fixedCount())
            fail("gives no argument count, but the function takes a variable number");
        push(functionNode(info, popArguments(info.minArguments)));
    }

    void variableFunction()
    {
        const int count = byte() & 0x7F; // the high bit only asks for a prompt
        const FunctionInfo& info = function(word());
        if (count < info.minArguments || count > info.maxArguments) {
            fail("has " + std::to_string(count) + " arguments, the function takes " + std::to_string(info.minArguments)
                 + " to " + std::to_string(info.maxArguments));
        }
        push(functionNode(info, popArguments(count)));
    }

    void attr()
    {
        const std::uint8_t kind = byte();
        switch (kind) {
        case ptg::AttrSemi:
            name_ = "tAttrSemi";
            skip(2);
            return;
        case ptg::AttrSpace:
        case ptg::AttrSpaceSemi: {
            name_ = "tAttrSpace";
            const std::uint8_t type = byte();
            byte(); // how many
            if (type > ptg::LastSpaceType)
                fail("has the unknown type " + std::to_string(type));
            return;
        }
        case ptg::AttrIf: name_ = "tAttrIf"; return jump(0);
        case ptg::AttrSkip: name_ = "tAttrSkip"; return jump(1);
        case ptg::AttrSum: {
            name_ = "tAttrSum";
            skip(2);
            const FunctionInfo* sum = functionById(std::uint16_t(FunctionId::Sum));
            return push(functionNode(*sum, popArguments(1)));
        }
        case ptg::AttrChoose: name_ = "tAttrChoose"; fail("is not supported");
        case ptg::AttrAssign: name_ = "tAttrAssign"; fail("is not supported");
        default: fail("has the unknown kind " + hexByte(kind));
        }
    }

    void jump(int extra)
    {
        const int offset = word();
        const qsizetype target = pos_ + offset + extra;
        if (target > bytes_.size())
            fail("jumps " + std::to_string(offset) + " bytes, past the end of the formula");
        jumps_.push_back({tokenAt_, int(target), name_});
    }

    void checkJumps() const
    {
        for (const Jump& jump : jumps_) {
            if (jump.target == bytes_.size())
                continue;
            if (!std::binary_search(tokenStarts_.begin(), tokenStarts_.end(), jump.target)) {
                throw FormulaError("cannot read formula tokens: " + jump.name + " at byte " + std::to_string(jump.from)
                                   + " jumps into the middle of a token");
            }
        }
    }

    struct Jump {
        int from;
        int target;
        std::string name;
    };

    const QByteArray& bytes_;
    qsizetype pos_ = 0;
    int tokenAt_ = 0;
    std::string name_;
    std::vector<Node> stack_;
    std::vector<int> tokenStarts_;
    std::vector<Jump> jumps_;
};

} // namespace

Node decodeTokens(const QByteArray& tokens)
{
    return Decoder(tokens).run();
}

} // namespace spreadsheet::formula::detail
