#pragma once

#include <QString>
#include <cstdint>

// The token identifiers ("ptg") of parsed formulas as the Excel 97-2003 file
// format stores them, and the functions the engine knows.
namespace spreadsheet::formula::ptg {

// Operators and constants: one byte each, no token class.
inline constexpr std::uint8_t Exp = 0x01;
inline constexpr std::uint8_t Tbl = 0x02;
inline constexpr std::uint8_t Add = 0x03;
inline constexpr std::uint8_t Sub = 0x04;
inline constexpr std::uint8_t Mul = 0x05;
inline constexpr std::uint8_t Div = 0x06;
inline constexpr std::uint8_t Power = 0x07;
inline constexpr std::uint8_t Concat = 0x08;
inline constexpr std::uint8_t LT = 0x09;
inline constexpr std::uint8_t LE = 0x0A;
inline constexpr std::uint8_t EQ = 0x0B;
inline constexpr std::uint8_t GE = 0x0C;
inline constexpr std::uint8_t GT = 0x0D;
inline constexpr std::uint8_t NE = 0x0E;
inline constexpr std::uint8_t Isect = 0x0F;
inline constexpr std::uint8_t Union = 0x10;
inline constexpr std::uint8_t Range = 0x11;
inline constexpr std::uint8_t Uplus = 0x12;
inline constexpr std::uint8_t Uminus = 0x13;
inline constexpr std::uint8_t Percent = 0x14;
inline constexpr std::uint8_t Paren = 0x15;
inline constexpr std::uint8_t MissArg = 0x16;
inline constexpr std::uint8_t Str = 0x17;
inline constexpr std::uint8_t Attr = 0x19;
inline constexpr std::uint8_t Err = 0x1C;
inline constexpr std::uint8_t Bool = 0x1D;
inline constexpr std::uint8_t Int = 0x1E;
inline constexpr std::uint8_t Num = 0x1F;

// Classified tokens, given in their reference-class form (0x20..0x3F); the
// value form adds 0x20, the array form 0x40.
inline constexpr std::uint8_t ArrayConstant = 0x20; // ptgArray
inline constexpr std::uint8_t Func = 0x21;
inline constexpr std::uint8_t FuncVar = 0x22;
inline constexpr std::uint8_t Name = 0x23;
inline constexpr std::uint8_t Ref = 0x24;
inline constexpr std::uint8_t Area = 0x25;
inline constexpr std::uint8_t MemArea = 0x26;
inline constexpr std::uint8_t MemErr = 0x27;
inline constexpr std::uint8_t MemNoMem = 0x28;
inline constexpr std::uint8_t MemFunc = 0x29;
inline constexpr std::uint8_t RefErr = 0x2A;
inline constexpr std::uint8_t AreaErr = 0x2B;
inline constexpr std::uint8_t RefN = 0x2C;
inline constexpr std::uint8_t AreaN = 0x2D;
inline constexpr std::uint8_t NameX = 0x39;
inline constexpr std::uint8_t Ref3d = 0x3A;
inline constexpr std::uint8_t Area3d = 0x3B;
inline constexpr std::uint8_t RefErr3d = 0x3C;
inline constexpr std::uint8_t AreaErr3d = 0x3D;

// The class bits of a classified token.
enum class TokenClass : std::uint8_t {
    Reference = 0x20,
    Value = 0x40,
    Array = 0x60,
};
inline constexpr std::uint8_t ClassMask = 0x60;

inline constexpr std::uint8_t withClass(std::uint8_t referenceForm, TokenClass tokenClass)
{
    return std::uint8_t((referenceForm & 0x1F) | std::uint8_t(tokenClass));
}

// The kinds of the ptgAttr token (its second byte).
inline constexpr std::uint8_t AttrSemi = 0x01; // volatile formula
inline constexpr std::uint8_t AttrIf = 0x02;   // jump to IF's false branch
inline constexpr std::uint8_t AttrChoose = 0x04;
inline constexpr std::uint8_t AttrSkip = 0x08; // jump behind IF (offset minus 1)
inline constexpr std::uint8_t AttrSum = 0x10;  // SUM with one argument
inline constexpr std::uint8_t AttrAssign = 0x20;
inline constexpr std::uint8_t AttrSpace = 0x40;
inline constexpr std::uint8_t AttrSpaceSemi = 0x41;
inline constexpr int AttrSize = 4;
inline constexpr int FuncVarSize = 4;

// The highest type of a tAttrSpace (spaces before the closing parenthesis
// and so on); 6 is the last one Excel defines.
inline constexpr std::uint8_t LastSpaceType = 6;

} // namespace spreadsheet::formula::ptg

namespace spreadsheet::formula {

// Built-in function numbers as the file format stores them.
enum class FunctionId : std::uint16_t {
    If = 1,
    IsError = 3,
    Sum = 4,
    And = 36,
    Or = 37,
    Not = 38,
    IsBlank = 129,
};

// How a function takes its arguments. Fixed-count functions are written as
// ptgFunc, the others as ptgFuncVar with the argument count.
struct FunctionInfo {
    FunctionId id;
    const char* name;
    int minArguments;
    int maxArguments;
    ptg::TokenClass returnClass;
    // The class each argument expects; the last one repeats.
    ptg::TokenClass firstArgumentClass;
    ptg::TokenClass laterArgumentClass;

    bool fixedCount() const { return minArguments == maxArguments; }
    ptg::TokenClass argumentClass(int index) const { return index == 0 ? firstArgumentClass : laterArgumentClass; }
};

// Excel 97-2003 allows at most 30 arguments to any function.
inline constexpr int kMaxArguments = 30;

// nullptr for a function the engine does not know.
const FunctionInfo* functionById(std::uint16_t id);
const FunctionInfo* functionByName(const QString& name);

} // namespace spreadsheet::formula
