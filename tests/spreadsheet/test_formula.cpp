#include "spreadsheet/Formula.h"
#include "spreadsheet/Value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <utility>

using spreadsheet::CellAddress;
using spreadsheet::Empty;
using spreadsheet::ErrorValue;
using spreadsheet::FormulaError;
using spreadsheet::RangeAddress;
using spreadsheet::Value;
using spreadsheet::formula::CellSource;
using spreadsheet::formula::compile;
using spreadsheet::formula::decompile;
using spreadsheet::formula::evaluate;
using spreadsheet::formula::references;
using testing::HasSubstr;

namespace spreadsheet {

void PrintTo(const Value& value, std::ostream* out)
{
    if (std::holds_alternative<Empty>(value))
        *out << "<empty>";
    else if (const double* number = std::get_if<double>(&value))
        *out << "number " << *number;
    else if (const QString* text = std::get_if<QString>(&value))
        *out << "text \"" << text->toStdString() << '"';
    else if (const bool* boolean = std::get_if<bool>(&value))
        *out << (*boolean ? "TRUE" : "FALSE");
    else
        *out << "error " << errorText(std::get<ErrorValue>(value)).toStdString();
}

void PrintTo(const RangeAddress& range, std::ostream* out)
{
    *out << "R" << range.first.row << "C" << range.first.column << ":R" << range.last.row << "C" << range.last.column;
}

} // namespace spreadsheet

namespace {

CellAddress cell(const char* name)
{
    return spreadsheet::cellAddress(QString::fromLatin1(name));
}

RangeAddress range(const char* first, const char* last)
{
    return RangeAddress{cell(first), cell(last)};
}

Value text(const char* value)
{
    return QString::fromUtf8(value);
}

QByteArray bytes(std::initializer_list<unsigned> values)
{
    QByteArray out;
    for (const unsigned value : values)
        out.append(char(value));
    return out;
}

std::string hex(const QByteArray& data)
{
    return data.toHex(' ').toStdString();
}

// Cells kept in a map, as a sheet's cell table would give them.
class MapCells final : public CellSource {
public:
    MapCells& set(const char* name, Value value)
    {
        values_[key(cell(name))] = std::move(value);
        return *this;
    }

    Value valueAt(CellAddress address) const override
    {
        ++reads;
        const auto found = values_.find(key(address));
        return found == values_.end() ? Value(Empty{}) : found->second;
    }

    mutable int reads = 0;

private:
    static std::pair<int, int> key(CellAddress address) { return {address.row, address.column}; }
    std::map<std::pair<int, int>, Value> values_;
};

Value evaluateText(const char* formula, const char* at, const CellSource& cells)
{
    const QByteArray tokens = compile(QString::fromUtf8(formula), cell(at));
    return evaluate(tokens, cell(at), cells);
}

Value evaluateText(const char* formula, const CellSource& cells = MapCells())
{
    return evaluateText(formula, "Z1", cells);
}

std::string roundTrip(const QString& formula, const char* at = "Z1")
{
    return decompile(compile(formula, cell(at)), cell(at)).toStdString();
}

// The message of the FormulaError `action` throws; fails the test when it
// throws nothing or something else.
std::string formulaErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const FormulaError& error) {
        return error.what();
    } catch (const std::exception& error) {
        ADD_FAILURE() << "threw another exception: " << error.what();
        return std::string();
    }
    ADD_FAILURE() << "threw nothing";
    return std::string();
}

std::string compileError(const QString& formula)
{
    return formulaErrorOf([&] { compile(formula, cell("Z1")); });
}

std::string decompileError(const QByteArray& tokens)
{
    return formulaErrorOf([&] { decompile(tokens, cell("Z1")); });
}

// The formulas of the workbook, written exactly as they stand in its cells.
const char* const kSumOrBlank = "=IF(SUM(D11:D16),SUM(D11:D16),\"\")";
const char* const kGuardedSum =
    "=IF(ISERROR(IF(SUM(H25:H26),SUM(H25:H26),\"\")),\"\",(IF(SUM(H25:H26),SUM(H25:H26),\"\")))";
const char* const kGuardedDifference =
    "=IF(ISERROR(IF(OR(SUM(D30),SUM(H17,H21,H25)),D30-SUM(H17,H21,H25),\"\")),\"\",(IF(OR(SUM(D30),SUM(H17,"
    "H21,H25)),D30-SUM(H17,H21,H25),\"\")))";
const char* const kTwoTotals = "=IF(OR(SUM(D17)<>0,SUM(D27)<>0),SUM(D17,D27),\"\")";
const char* const kThreeTotals = "=IF(OR(SUM(H17)<>0,SUM(H21)<>0,SUM(H27)<>0),SUM(H17,H21,H27),\"\")";
const char* const kTwoTotalsByAddition =
    "=IF(ISERROR(IF(OR(SUM(D17)<>0,SUM(D27)<>0),D17+D27,\"\")),\"\",(IF(OR(SUM(D17)<>0,SUM(D27)<>0),D17+D27,\"\")))";
const char* const kThreeTotalsByAddition =
    "=IF(ISERROR(IF(OR(OR(SUM(H17)<>0,H21),H27),H17+H21+H27,\"\")),\"\",(IF(OR(OR(SUM(H17)<>0,H21),H27),H17+H21+"
    "H27,\"\")))";

// --- Token bytes ------------------------------------------------------------

TEST(FormulaTokens, SumOfOneRangeIsAreaOfReferenceClassThenAttrSum)
{
    // tAreaR rows 10..15, columns D..D both relative, then tAttrSum.
    EXPECT_EQ(hex(compile("=SUM(D11:D16)", cell("D17"))),
              hex(bytes({0x25, 0x0A, 0x00, 0x0F, 0x00, 0x03, 0xC0, 0x03, 0xC0, 0x19, 0x10, 0x00, 0x00})));
}

TEST(FormulaTokens, CellPlusIntegerIsValueClassRefIntAdd)
{
    EXPECT_EQ(hex(compile("=A1+1", cell("B1"))), hex(bytes({0x44, 0x00, 0x00, 0x00, 0xC0, 0x1E, 0x01, 0x00, 0x03})));
}

TEST(FormulaTokens, TextLiteralIsCompressedShortString)
{
    EXPECT_EQ(hex(compile("=\"Variables\"", cell("A1"))),
              hex(bytes({0x17, 0x09, 0x00, 'V', 'a', 'r', 'i', 'a', 'b', 'l', 'e', 's'})));
    EXPECT_EQ(hex(compile("=\"\"", cell("A1"))), hex(bytes({0x17, 0x00, 0x00})));
}

TEST(FormulaTokens, LatinOneTextStaysEightBitAndOtherTextIsUtf16)
{
    EXPECT_EQ(hex(compile(QString::fromUtf8("=\"Gr\u00f6\u00dfe\""), cell("A1"))),
              hex(bytes({0x17, 0x05, 0x00, 'G', 'r', 0xF6, 0xDF, 'e'})));
    EXPECT_EQ(hex(compile(QString::fromUtf8("=\"a\u03a9\""), cell("A1"))),
              hex(bytes({0x17, 0x02, 0x01, 'a', 0x00, 0xA9, 0x03})));
}

TEST(FormulaTokens, DoubledQuoteIsOneQuoteInTheText)
{
    EXPECT_EQ(hex(compile("=\"say \"\"hi\"\"\"", cell("A1"))),
              hex(bytes({0x17, 0x08, 0x00, 's', 'a', 'y', ' ', '"', 'h', 'i', '"'})));
}

TEST(FormulaTokens, DollarMarksClearTheRelativeBitsOfTheColumnWord)
{
    // Bit 15: row relative, bit 14: column relative.
    EXPECT_EQ(hex(compile("=$D$11&D$11&$D11&D11", cell("A1"))),
              hex(bytes({0x44, 0x0A, 0x00, 0x03, 0x00, 0x44, 0x0A, 0x00, 0x03, 0x40, 0x08, 0x44,
                         0x0A, 0x00, 0x03, 0x80, 0x08, 0x44, 0x0A, 0x00, 0x03, 0xC0, 0x08})));
}

TEST(FormulaTokens, LastCellOfTheSheetFitsTheFields)
{
    EXPECT_EQ(hex(compile("=SUM($A$1:IV65536)", cell("A1"))),
              hex(bytes({0x25, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xC0, 0x19, 0x10, 0x00, 0x00})));
}

TEST(FormulaTokens, DefinedNamesAreAbsoluteThreeDAreasOfReferenceClass)
{
    using spreadsheet::formula::deletedSheetAreaName;
    using spreadsheet::formula::sheetAreaName;
    const RangeAddress d11d16{cell("D11"), cell("D16")};
    EXPECT_EQ(hex(sheetAreaName(1, d11d16)),
              hex(bytes({0x3B, 0x01, 0x00, 0x0A, 0x00, 0x0F, 0x00, 0x03, 0x00, 0x03, 0x00})));
    EXPECT_EQ(decompile(sheetAreaName(0, d11d16), cell("A1")).toStdString(), "=#XTI0!$D$11:$D$16");
    EXPECT_EQ(decompile(deletedSheetAreaName(2), cell("A1")).toStdString(), "=#XTI2!#REF!");
    const RangeAddress whole{cell("A1"), cell("IV65536")};
    EXPECT_EQ(hex(sheetAreaName(0xFFFF, whole)), hex(bytes({0x3B, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0})));
    EXPECT_THROW(sheetAreaName(-1, d11d16), FormulaError);
    EXPECT_THROW(sheetAreaName(0x10000, d11d16), FormulaError);
    EXPECT_THROW(sheetAreaName(0, {cell("A1"), {65536, 0}}), FormulaError);
    EXPECT_THROW(sheetAreaName(0, {cell("A1"), {0, 256}}), FormulaError);
}

TEST(FormulaTokens, IfWithThreeArgumentsHasAttrIfAndTwoAttrSkips)
{
    const QByteArray expected = bytes({
        0x25, 0x0A, 0x00, 0x0F, 0x00, 0x03, 0xC0, 0x03, 0xC0, // tAreaR D11:D16
        0x19, 0x10, 0x00, 0x00,                               // tAttrSum
        0x19, 0x02, 0x11, 0x00,                               // tAttrIf: 13 + 4 bytes to the false branch
        0x25, 0x0A, 0x00, 0x0F, 0x00, 0x03, 0xC0, 0x03, 0xC0, // tAreaR D11:D16
        0x19, 0x10, 0x00, 0x00,                               // tAttrSum
        0x19, 0x08, 0x0A, 0x00,                               // tAttrSkip: 3 + 4 + 4 - 1
        0x17, 0x00, 0x00,                                     // tStr ""
        0x19, 0x08, 0x03, 0x00,                               // tAttrSkip: 4 - 1
        0x42, 0x03, 0x01, 0x00,                               // tFuncVarV IF, 3 arguments
    });
    EXPECT_EQ(hex(compile(kSumOrBlank, cell("D17"))), hex(expected));
}

TEST(FormulaTokens, IfWithTwoArgumentsJumpsToTheFunctionToken)
{
    EXPECT_EQ(hex(compile("=IF(A1,1)", cell("B1"))),
              hex(bytes({0x44, 0x00, 0x00, 0x00, 0xC0, 0x19, 0x02, 0x07, 0x00, 0x1E,
                         0x01, 0x00, 0x19, 0x08, 0x03, 0x00, 0x42, 0x02, 0x01, 0x00})));
}

TEST(FormulaTokens, TotalsFormulaAsExcelWritesIt)
{
    const QByteArray expected = bytes({
        0x24, 0x10, 0x00, 0x03, 0xC0, 0x19, 0x10, 0x00, 0x00,       // tRefR D17, tAttrSum
        0x1E, 0x00, 0x00, 0x0E,                                     // tInt 0, tNE
        0x24, 0x1A, 0x00, 0x03, 0xC0, 0x19, 0x10, 0x00, 0x00,       // tRefR D27, tAttrSum
        0x1E, 0x00, 0x00, 0x0E,                                     // tInt 0, tNE
        0x42, 0x02, 0x25, 0x00,                                     // tFuncVarV OR, 2 arguments
        0x19, 0x02, 0x12, 0x00,                                     // tAttrIf: 14 + 4
        0x24, 0x10, 0x00, 0x03, 0xC0, 0x24, 0x1A, 0x00, 0x03, 0xC0, // tRefR D17, tRefR D27
        0x42, 0x02, 0x04, 0x00,                                     // tFuncVarV SUM, 2 arguments
        0x19, 0x08, 0x0A, 0x00, 0x17, 0x00, 0x00, 0x19, 0x08, 0x03, 0x00, 0x42, 0x03, 0x01, 0x00,
    });
    EXPECT_EQ(hex(compile(kTwoTotals, cell("D30"))), hex(expected));
}

TEST(FormulaTokens, FixedArgumentFunctionsUseFuncWithTheirNumbers)
{
    EXPECT_EQ(hex(compile("=NOT(ISERROR(A1))", cell("B1"))),
              hex(bytes({0x44, 0x00, 0x00, 0x00, 0xC0, 0x41, 0x03, 0x00, 0x41, 0x26, 0x00})));
    EXPECT_EQ(hex(compile("=ISBLANK(A1)", cell("B1"))), hex(bytes({0x44, 0x00, 0x00, 0x00, 0xC0, 0x41, 0x81, 0x00})));
    EXPECT_EQ(hex(compile("=AND(A1,1)", cell("B1"))),
              hex(bytes({0x24, 0x00, 0x00, 0x00, 0xC0, 0x1E, 0x01, 0x00, 0x42, 0x02, 0x24, 0x00})));
}

TEST(FormulaTokens, SumArgumentsKeepReferenceClassUnlessAnOperatorWantsAValue)
{
    EXPECT_EQ(hex(compile("=SUM(A1,B1:B2)", cell("C1"))),
              hex(bytes({0x24, 0x00, 0x00, 0x00, 0xC0, 0x25, 0x00, 0x00, 0x01, 0x00, 0x01, 0xC0, 0x01, 0xC0, 0x42, 0x02,
                         0x04, 0x00})));
    EXPECT_EQ(hex(compile("=SUM(A1+1)", cell("C1"))),
              hex(bytes({0x44, 0x00, 0x00, 0x00, 0xC0, 0x1E, 0x01, 0x00, 0x03, 0x19, 0x10, 0x00, 0x00})));
}

TEST(FormulaTokens, IfInAReferencePlaceKeepsReferenceClassThroughParentheses)
{
    // The inner IF stands where the outer IF wants a reference, so it is
    // tFuncVarR; its condition still wants a value (tRefV B1).
    const QByteArray expected = bytes({
        0x44,
        0x00,
        0x00,
        0x00,
        0xC0,
        0x19,
        0x02,
        0x07,
        0x00,
        0x1E,
        0x01,
        0x00,
        0x19,
        0x08,
        0x23,
        0x00, // 28 + 4 + 4 -
              // 1
        0x44,
        0x00,
        0x00,
        0x01,
        0xC0,
        0x19,
        0x02,
        0x07,
        0x00,
        0x1E,
        0x02,
        0x00,
        0x19,
        0x08,
        0x0A,
        0x00,
        0x1E,
        0x03,
        0x00,
        0x19,
        0x08,
        0x03,
        0x00,
        0x22,
        0x03,
        0x01,
        0x00,
        0x15, // ..., tFuncVarR IF, tParen
        0x19,
        0x08,
        0x03,
        0x00,
        0x42,
        0x03,
        0x01,
        0x00,
    });
    EXPECT_EQ(hex(compile("=IF(A1,1,(IF(B1,2,3)))", cell("C1"))), hex(expected));
}

TEST(FormulaTokens, NumbersAreIntWhenWholeAndSmallElseNum)
{
    EXPECT_EQ(hex(compile("=65535", cell("A1"))), hex(bytes({0x1E, 0xFF, 0xFF})));
    EXPECT_EQ(hex(compile("=1E3", cell("A1"))), hex(bytes({0x1E, 0xE8, 0x03})));
    EXPECT_EQ(hex(compile("=0", cell("A1"))), hex(bytes({0x1E, 0x00, 0x00})));
    EXPECT_EQ(hex(compile("=70000", cell("A1"))), hex(bytes({0x1F, 0, 0, 0, 0, 0, 0x17, 0xF1, 0x40})));
    EXPECT_EQ(hex(compile("=0.5", cell("A1"))), hex(bytes({0x1F, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F})));
}

TEST(FormulaTokens, ConstantsAndOperators)
{
    EXPECT_EQ(hex(compile("=TRUE", cell("A1"))), hex(bytes({0x1D, 0x01})));
    EXPECT_EQ(hex(compile("=false", cell("A1"))), hex(bytes({0x1D, 0x00})));
    EXPECT_EQ(hex(compile("=#N/A", cell("A1"))), hex(bytes({0x1C, 0x2A})));
    EXPECT_EQ(hex(compile("=#DIV/0!", cell("A1"))), hex(bytes({0x1C, 0x07})));
    EXPECT_EQ(hex(compile("=-A1", cell("B1"))), hex(bytes({0x44, 0x00, 0x00, 0x00, 0xC0, 0x13})));
    EXPECT_EQ(hex(compile("=+1", cell("B1"))), hex(bytes({0x1E, 0x01, 0x00, 0x12})));
    EXPECT_EQ(hex(compile("=(1+2)*3", cell("A1"))),
              hex(bytes({0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x03, 0x15, 0x1E, 0x03, 0x00, 0x05})));
    EXPECT_EQ(hex(compile("=1&2<>3", cell("A1"))),
              hex(bytes({0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x08, 0x1E, 0x03, 0x00, 0x0E})));
    EXPECT_EQ(
        hex(compile("=1<2=(3>=4)", cell("A1"))),
        hex(bytes({0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x09, 0x1E, 0x03, 0x00, 0x1E, 0x04, 0x00, 0x0C, 0x15, 0x0B})));
}

TEST(FormulaTokens, LeftOutArgumentIsMissArg)
{
    EXPECT_EQ(hex(compile("=IF(A1,,2)", cell("B1"))),
              hex(bytes({0x44, 0x00, 0x00, 0x00, 0xC0, 0x19, 0x02, 0x05, 0x00, 0x16, 0x19, 0x08, 0x0A,
                         0x00, 0x1E, 0x02, 0x00, 0x19, 0x08, 0x03, 0x00, 0x42, 0x03, 0x01, 0x00})));
}

// --- Text in, text out -----------------------------------------------------

TEST(FormulaText, WorkbookFormulasDecompileToTheirOwnText)
{
    const std::pair<const char*, const char*> formulas[] = {
        {kSumOrBlank, "D17"},  {kGuardedSum, "H27"},          {kGuardedDifference, "H26"},     {kTwoTotals, "D30"},
        {kThreeTotals, "H30"}, {kTwoTotalsByAddition, "D30"}, {kThreeTotalsByAddition, "H30"},
    };
    for (const auto& [formula, at] : formulas)
        EXPECT_EQ(roundTrip(QString::fromUtf8(formula), at), formula);
}

TEST(FormulaText, OtherFormulasComeBackUnchanged)
{
    for (const char* formula : {"=1-2-3",
                                "=2*3+4",
                                "=2*(3+4)",
                                "=-(1+2)",
                                "=--1",
                                "=+A1",
                                "=A1&\"x\"&B2",
                                "=$A$1+B$2+$C3",
                                "=SUM(A1,B2:C3,4)",
                                "=IF(A1,,2)",
                                "=IF(A1=\"\",TRUE,FALSE)",
                                "=NOT(ISBLANK(A1))",
                                "=#REF!",
                                "=\"a\"\"b\"",
                                "=0.5",
                                "=1.25E+20",
                                "=1E-07",
                                "=AND(A1>=1,A1<=2,A1<>3,A1<4,A1>0)",
                                "=((1))",
                                "=-2*3",
                                "=2*-3",
                                "=SUM(IV65536:A1)"}) {
        EXPECT_EQ(roundTrip(QString::fromUtf8(formula)), formula);
    }
}

TEST(FormulaText, NumbersAreWrittenInTheirShortestForm)
{
    EXPECT_EQ(roundTrip("=.5"), "=0.5");
    EXPECT_EQ(roundTrip("=1."), "=1");
    EXPECT_EQ(roundTrip("=1.50"), "=1.5");
    EXPECT_EQ(roundTrip("=2e3"), "=2000");
    EXPECT_EQ(roundTrip("=0.1"), "=0.1");
    EXPECT_EQ(roundTrip("=123456.789"), "=123456.789");
}

TEST(FormulaText, TheFormulasCellDoesNotChangeItsBytes)
{
    // Cell formulas store where their references point, not offsets.
    EXPECT_EQ(compile(kTwoTotals, cell("D30")), compile(kTwoTotals, cell("A1")));
    EXPECT_EQ(decompile(compile(kTwoTotals, cell("D30")), cell("Z99")).toStdString(), kTwoTotals);
}

TEST(FormulaText, NamesAreReadInAnyCaseAndWrittenInCapitals)
{
    EXPECT_EQ(roundTrip("=if(Sum(d11:d16),iserror($a$1),isBlank(b2))"), "=IF(SUM(D11:D16),ISERROR($A$1),ISBLANK(B2))");
    EXPECT_EQ(compile("=or(true,False)", cell("A1")), compile("=OR(TRUE,FALSE)", cell("A1")));
}

TEST(FormulaText, LeadingEqualsSignAndSpacesAreOptional)
{
    EXPECT_EQ(compile("SUM(A1)", cell("B1")), compile("=SUM(A1)", cell("B1")));
    EXPECT_EQ(compile(" = SUM( A1 , B1 ) +\t1 ", cell("C1")), compile("=SUM(A1,B1)+1", cell("C1")));
    EXPECT_EQ(roundTrip("=IF( A1 , 1 )"), "=IF(A1,1)");
}

TEST(FormulaText, MistakesAreReportedWithTheirPosition)
{
    EXPECT_THAT(compileError("=FOO(1)"), HasSubstr("unknown function FOO at position 2"));
    EXPECT_THAT(compileError("=SUM(1))"), HasSubstr("position 8"));
    EXPECT_THAT(compileError("=A1^2"), HasSubstr("^"));
    EXPECT_THAT(compileError("=50%"), HasSubstr("%"));
    EXPECT_THAT(compileError("=Sheet2!A1"), HasSubstr("other sheets"));
    EXPECT_THAT(compileError("='My Sheet'!A1"), HasSubstr("other sheets"));
    EXPECT_THAT(compileError("=#XTI2!A1"), HasSubstr("other sheets"));
    EXPECT_THAT(compileError("=IF(1)"), HasSubstr("IF needs at least 2"));
    EXPECT_THAT(compileError("=IF(1,2,3,4)"), HasSubstr("IF takes at most 3"));
    EXPECT_THAT(compileError("=NOT(1,2)"), HasSubstr("NOT takes at most 1"));
    EXPECT_THAT(compileError("=SUM()"), HasSubstr("SUM needs at least 1"));
    EXPECT_THAT(compileError("=\"abc"), HasSubstr("closing quote"));
    EXPECT_THAT(compileError("=(1+2"), HasSubstr("not closed"));
    EXPECT_THAT(compileError("=IW1"), HasSubstr("outside the sheet"));
    EXPECT_THAT(compileError("=A65537"), HasSubstr("outside the sheet"));
    EXPECT_THAT(compileError("=A0"), HasSubstr("outside the sheet"));
    EXPECT_THAT(compileError("=Total"), HasSubstr("unknown name Total"));
    EXPECT_THAT(compileError("={1,2}"), HasSubstr("array"));
    EXPECT_THAT(compileError("=#FOO!"), HasSubstr("unknown error value"));
}

TEST(FormulaText, IncompleteOrMalformedFormulasAreRefused)
{
    for (const char* formula : {"",          "=",        "   ",        "=1+",      "=*2",     "=A1 B1", "=1,2",
                                "=A1:B2:C3", "=(A1):B2", "=A1:",       "=1.2.3",   "=1e",     "=12abc", "=SUM(1;2)",
                                "=SUM(1",    "=)",       "=IF(A1,1,2", "=\"a\"\"", "=TRUE()", "=$A$",   "=A$1$"}) {
        EXPECT_THROW(compile(QString::fromUtf8(formula), cell("Z1")), FormulaError) << formula;
    }
}

TEST(FormulaText, FunctionsTakeUpToThirtyArguments)
{
    QStringList arguments;
    for (int i = 1; i <= 30; ++i)
        arguments << QString::number(i);
    const QString thirty = "=SUM(" + arguments.join(',') + ")";
    EXPECT_EQ(roundTrip(thirty), thirty.toStdString());
    EXPECT_EQ(evaluate(compile(thirty, cell("A1")), cell("A1"), MapCells()), Value(465.0));
    EXPECT_THAT(compileError("=SUM(" + arguments.join(',') + ",31)"), HasSubstr("at most 30"));
}

TEST(FormulaText, TextLiteralsUpTo255Characters)
{
    const QString longest = "=\"" + QString(255, 'x') + "\"";
    EXPECT_EQ(roundTrip(longest), longest.toStdString());
    EXPECT_THAT(compileError("=\"" + QString(256, 'x') + "\""), HasSubstr("255"));
}

TEST(FormulaText, NestingHasALimit)
{
    const QString deep = "=" + QString(5000, '(') + "1" + QString(5000, ')');
    EXPECT_THAT(compileError(deep), HasSubstr("nested"));
    EXPECT_THAT(compileError("=" + QString(5000, '-') + "1"), HasSubstr("nested"));

    // A long chain of additions is fine.
    QStringList terms;
    for (int i = 0; i < 500; ++i)
        terms << "1";
    const QString chain = "=" + terms.join('+');
    EXPECT_EQ(roundTrip(chain), chain.toStdString());
    EXPECT_EQ(evaluate(compile(chain, cell("A1")), cell("A1"), MapCells()), Value(500.0));
}

// --- The workbook's formulas, evaluated --------------------------------------

TEST(FormulaEvaluation, SumOrBlankGivesEmptyTextForBlankCells)
{
    EXPECT_EQ(evaluateText(kSumOrBlank, "D17", MapCells()), text(""));
}

TEST(FormulaEvaluation, SumOrBlankAddsTheAmounts)
{
    MapCells cells;
    cells.set("D11", 100000.0).set("D12", 300000.0).set("D13", 40000.0);
    cells.set("D14", 150000.0).set("D15", 50000.0).set("D16", 88000.0);
    EXPECT_EQ(evaluateText(kSumOrBlank, "D17", cells), Value(728000.0));
}

TEST(FormulaEvaluation, SumOrBlankGivesEmptyTextWhenTheSumIsZero)
{
    MapCells cells;
    for (const char* name : {"D11", "D12", "D13", "D14", "D15", "D16"})
        cells.set(name, 0.0);
    EXPECT_EQ(evaluateText(kSumOrBlank, "D17", cells), text(""));
    cells.set("D11", 5.0).set("D12", -5.0);
    EXPECT_EQ(evaluateText(kSumOrBlank, "D17", cells), text(""));
}

TEST(FormulaEvaluation, SumOrBlankSkipsTextAndBooleansInCells)
{
    MapCells cells;
    cells.set("D11", text("abc")).set("D12", 5.0).set("D13", text("7")).set("D14", true).set("D15", text(""));
    EXPECT_EQ(evaluateText(kSumOrBlank, "D17", cells), Value(5.0));
}

TEST(FormulaEvaluation, SumOrBlankPassesAnErrorInACellOn)
{
    MapCells cells;
    cells.set("D11", 1.0).set("D13", ErrorValue::Div0);
    EXPECT_EQ(evaluateText(kSumOrBlank, "D17", cells), Value(ErrorValue::Div0));
}

TEST(FormulaEvaluation, GuardedSum)
{
    MapCells cells;
    EXPECT_EQ(evaluateText(kGuardedSum, "H27", cells), text(""));
    cells.set("H25", 10.0).set("H26", 20.5);
    EXPECT_EQ(evaluateText(kGuardedSum, "H27", cells), Value(30.5));
    cells.set("H26", text(""));
    EXPECT_EQ(evaluateText(kGuardedSum, "H27", cells), Value(10.0));
    // The error that the plain form would show is caught.
    cells.set("H26", ErrorValue::NA);
    EXPECT_EQ(evaluateText(kGuardedSum, "H27", cells), text(""));
}

TEST(FormulaEvaluation, GuardedDifference)
{
    MapCells cells;
    EXPECT_EQ(evaluateText(kGuardedDifference, "H26", cells), text(""));

    cells.set("D30", 728000.0).set("H17", 700000.0).set("H21", 20000.0).set("H25", 8000.0);
    EXPECT_EQ(evaluateText(kGuardedDifference, "H26", cells), Value(0.0));

    cells.set("H25", 3000.0);
    EXPECT_EQ(evaluateText(kGuardedDifference, "H26", cells), Value(5000.0));

    // D30 showing "" makes the subtraction #VALUE!, which the guard hides.
    cells.set("D30", text(""));
    EXPECT_EQ(evaluateText(kGuardedDifference, "H26", cells), text(""));

    MapCells onlyTotal;
    onlyTotal.set("D30", 100.0).set("H17", text("")).set("H21", text(""));
    EXPECT_EQ(evaluateText(kGuardedDifference, "H26", onlyTotal), Value(100.0));
}

TEST(FormulaEvaluation, TwoTotals)
{
    MapCells cells;
    cells.set("D17", 728000.0).set("D27", text(""));
    EXPECT_EQ(evaluateText(kTwoTotals, "D30", cells), Value(728000.0));
    cells.set("D17", text(""));
    EXPECT_EQ(evaluateText(kTwoTotals, "D30", cells), text(""));
    cells.set("D17", 1.5).set("D27", 2.0);
    EXPECT_EQ(evaluateText(kTwoTotals, "D30", cells), Value(3.5));
}

TEST(FormulaEvaluation, ThreeTotals)
{
    MapCells cells;
    cells.set("H17", 1.0).set("H21", text("")).set("H27", 2.0);
    EXPECT_EQ(evaluateText(kThreeTotals, "H30", cells), Value(3.0));
    MapCells blanks;
    blanks.set("H17", text("")).set("H21", text("")).set("H27", text(""));
    EXPECT_EQ(evaluateText(kThreeTotals, "H30", blanks), text(""));
    EXPECT_EQ(evaluateText(kThreeTotals, "H30", MapCells()), text(""));
}

TEST(FormulaEvaluation, TwoTotalsByAdditionHideTheValueErrorOfEmptyText)
{
    MapCells cells;
    cells.set("D17", 728000.0).set("D27", text(""));
    EXPECT_EQ(evaluateText(kTwoTotalsByAddition, "D30", cells), text(""));
    cells.set("D27", 2.0);
    EXPECT_EQ(evaluateText(kTwoTotalsByAddition, "D30", cells), Value(728002.0));
    EXPECT_EQ(evaluateText(kTwoTotalsByAddition, "D30", MapCells()), text(""));
    // Blank cells, unlike "", add as 0.
    MapCells oneBlank;
    oneBlank.set("D17", 4.0);
    EXPECT_EQ(evaluateText(kTwoTotalsByAddition, "D30", oneBlank), Value(4.0));
}

TEST(FormulaEvaluation, ThreeTotalsByAddition)
{
    MapCells cells;
    cells.set("H17", 1.0).set("H21", 2.0).set("H27", 3.0);
    EXPECT_EQ(evaluateText(kThreeTotalsByAddition, "H30", cells), Value(6.0));
    cells.set("H21", text(""));
    EXPECT_EQ(evaluateText(kThreeTotalsByAddition, "H30", cells), text(""));
    EXPECT_EQ(evaluateText(kThreeTotalsByAddition, "H30", MapCells()), text(""));
    // H21 alone decides OR when H17 is 0.
    MapCells second;
    second.set("H17", 0.0).set("H21", 5.0);
    EXPECT_EQ(evaluateText(kThreeTotalsByAddition, "H30", second), Value(5.0));
}

// --- Operators ----------------------------------------------------------------

TEST(FormulaEvaluation, PrecedenceAndAssociativity)
{
    EXPECT_EQ(evaluateText("=1-2-3"), Value(-4.0));
    EXPECT_EQ(evaluateText("=2*3+4"), Value(10.0));
    EXPECT_EQ(evaluateText("=2+3*4"), Value(14.0));
    EXPECT_EQ(evaluateText("=(2+3)*4"), Value(20.0));
    EXPECT_EQ(evaluateText("=12/2/3"), Value(2.0));
    EXPECT_EQ(evaluateText("=-2*3"), Value(-6.0));
    EXPECT_EQ(evaluateText("=2*-3+1"), Value(-5.0));
    EXPECT_EQ(evaluateText("=1+2&3"), text("33"));
    EXPECT_EQ(evaluateText("=1+2=3"), Value(true));
    EXPECT_EQ(evaluateText("=\"a\"&1=\"a1\""), Value(true));
}

TEST(FormulaEvaluation, ArithmeticConvertsBlanksBooleansAndNumericText)
{
    MapCells cells;
    cells.set("B1", true).set("C1", text("3")).set("D1", text(" -1.5e3 ")).set("E1", text("abc"));
    cells.set("F1", text("")).set("G1", text("1,5")).set("H1", ErrorValue::NA);
    EXPECT_EQ(evaluateText("=A1+1", cells), Value(1.0));
    EXPECT_EQ(evaluateText("=B1+1", cells), Value(2.0));
    EXPECT_EQ(evaluateText("=C1*2", cells), Value(6.0));
    EXPECT_EQ(evaluateText("=D1+0", cells), Value(-1500.0));
    EXPECT_EQ(evaluateText("=E1+1", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=F1+1", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=G1+1", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=H1+1", cells), Value(ErrorValue::NA));
    EXPECT_EQ(evaluateText("=\"\"+1"), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=-\"2\""), Value(-2.0));
    EXPECT_EQ(evaluateText("=\"1.\"+\".5\""), Value(1.5));
    EXPECT_EQ(evaluateText("=\"+4\"*1"), Value(4.0));
    EXPECT_EQ(evaluateText("=\"1e999\"+0"), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=\"inf\"+0"), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=\"- 1\"+0"), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=-A1", cells), Value(0.0));
}

TEST(FormulaEvaluation, DivisionByZeroAndOverflow)
{
    EXPECT_EQ(evaluateText("=1/0"), Value(ErrorValue::Div0));
    EXPECT_EQ(evaluateText("=1/A1"), Value(ErrorValue::Div0));
    EXPECT_EQ(evaluateText("=0/0"), Value(ErrorValue::Div0));
    EXPECT_EQ(evaluateText("=1E308*10"), Value(ErrorValue::Num));
    EXPECT_EQ(evaluateText("=\"x\"/0"), Value(ErrorValue::Value));
}

TEST(FormulaEvaluation, TheLeftmostErrorWins)
{
    EXPECT_EQ(evaluateText("=#N/A+#DIV/0!"), Value(ErrorValue::NA));
    EXPECT_EQ(evaluateText("=1+#REF!"), Value(ErrorValue::Ref));
    EXPECT_EQ(evaluateText("=#NULL!&\"a\""), Value(ErrorValue::Null));
    EXPECT_EQ(evaluateText("=#NUM!=#NAME?"), Value(ErrorValue::Num));
    EXPECT_EQ(evaluateText("=#VALUE!"), Value(ErrorValue::Value));
}

TEST(FormulaEvaluation, DecimalNoiseCancels)
{
    EXPECT_EQ(evaluateText("=0.1+0.2=0.3"), Value(true));
    EXPECT_EQ(evaluateText("=0.1+0.2-0.3"), Value(0.0));
    EXPECT_EQ(evaluateText("=1=1.000001"), Value(false));
    EXPECT_EQ(evaluateText("=1<1.000001"), Value(true));
}

TEST(FormulaEvaluation, ConcatenationWritesNumbersAsGeneral)
{
    MapCells cells;
    cells.set("B1", 0.5);
    EXPECT_EQ(evaluateText("=1234&\"\""), text("1234"));
    EXPECT_EQ(evaluateText("=B1&\"\"", cells), text("0.5"));
    EXPECT_EQ(evaluateText("=-0.25&\"\""), text("-0.25"));
    EXPECT_EQ(evaluateText("=TRUE&\"\""), text("TRUE"));
    EXPECT_EQ(evaluateText("=A1&\"x\"", cells), text("x"));
    EXPECT_EQ(evaluateText("=1/3&\"\""), text("0.333333333333333"));
    EXPECT_EQ(evaluateText("=1E20&\"\""), text("1E+20"));
    EXPECT_EQ(evaluateText("=123456789012&\"\""), text("123456789012"));
    EXPECT_EQ(evaluateText("=0.0001&\"\""), text("0.0001"));
    EXPECT_EQ(evaluateText("=\"a\"\"b\"&\"c\""), text("a\"bc"));
}

TEST(FormulaEvaluation, ComparisonsFollowTheSpreadsheetOrder)
{
    MapCells cells;
    cells.set("B1", text("")).set("C1", 0.0).set("D1", false);
    EXPECT_EQ(evaluateText("=\"abc\"=\"ABC\""), Value(true));
    EXPECT_EQ(evaluateText("=\"a\"<\"B\""), Value(true));
    EXPECT_EQ(evaluateText("=\"b\">\"A\""), Value(true));
    EXPECT_EQ(evaluateText("=1<\"0\""), Value(true));       // numbers before texts
    EXPECT_EQ(evaluateText("=\"zzz\"<FALSE"), Value(true)); // texts before Booleans
    EXPECT_EQ(evaluateText("=99999>TRUE"), Value(false));
    EXPECT_EQ(evaluateText("=TRUE>FALSE"), Value(true));
    EXPECT_EQ(evaluateText("=2>=2"), Value(true));
    EXPECT_EQ(evaluateText("=2<=1"), Value(false));
    EXPECT_EQ(evaluateText("=2<>2"), Value(false));
    // A blank cell is 0, "" or FALSE, whichever the other side is.
    EXPECT_EQ(evaluateText("=A1=0", cells), Value(true));
    EXPECT_EQ(evaluateText("=A1=\"\"", cells), Value(true));
    EXPECT_EQ(evaluateText("=A1=FALSE", cells), Value(true));
    EXPECT_EQ(evaluateText("=A1=E1", cells), Value(true));
    EXPECT_EQ(evaluateText("=A1<1", cells), Value(true));
    EXPECT_EQ(evaluateText("=A1<\"a\"", cells), Value(true));
    // An empty text is not 0.
    EXPECT_EQ(evaluateText("=B1=0", cells), Value(false));
    EXPECT_EQ(evaluateText("=B1=C1", cells), Value(false));
    EXPECT_EQ(evaluateText("=C1=D1", cells), Value(false));
}

TEST(FormulaEvaluation, ARangeWhereOneValueIsNeededIsAValueError)
{
    MapCells cells;
    cells.set("D11", 1.0).set("D12", 2.0);
    EXPECT_EQ(evaluateText("=D11:D16+1", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=D11:D16", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=-D11:D12", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=D11:D11+1", cells), Value(2.0));
}

TEST(FormulaEvaluation, AFormulaShowingABlankCellGivesZero)
{
    MapCells cells;
    cells.set("B1", text(""));
    EXPECT_EQ(evaluateText("=A1", cells), Value(0.0));
    EXPECT_EQ(evaluateText("=(A1)", cells), Value(0.0));
    EXPECT_EQ(evaluateText("=B1", cells), text(""));
    EXPECT_EQ(evaluateText("=+\"abc\""), text("abc"));
}

// --- Functions ----------------------------------------------------------------

TEST(FormulaEvaluation, SumConvertsDirectArgumentsButSkipsOddCells)
{
    MapCells cells;
    cells.set("A1", true).set("A2", text("3")).set("A3", 4.0);
    EXPECT_EQ(evaluateText("=SUM(\"3\")"), Value(3.0));
    EXPECT_EQ(evaluateText("=SUM(TRUE,1)"), Value(2.0));
    EXPECT_EQ(evaluateText("=SUM(\"x\")"), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=SUM(\"\")"), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=SUM(A1:A3)", cells), Value(4.0));
    EXPECT_EQ(evaluateText("=SUM(A1)", cells), Value(0.0));
    EXPECT_EQ(evaluateText("=SUM(A2,A3)", cells), Value(4.0));
    EXPECT_EQ(evaluateText("=SUM(A1+0,A2*1)", cells), Value(4.0));
    EXPECT_EQ(evaluateText("=SUM((A1:A3))", cells), Value(4.0));
    EXPECT_EQ(evaluateText("=SUM(IF(TRUE,A1:A3))", cells), Value(4.0));
    EXPECT_EQ(evaluateText("=SUM(1,,2)"), Value(3.0));
    EXPECT_EQ(evaluateText("=SUM(B1:B9)", cells), Value(0.0));
}

TEST(FormulaEvaluation, SumPassesTheFirstErrorOn)
{
    MapCells cells;
    cells.set("A1", 1.0).set("A2", ErrorValue::Ref).set("B1", ErrorValue::NA);
    EXPECT_EQ(evaluateText("=SUM(A1:A3)", cells), Value(ErrorValue::Ref));
    EXPECT_EQ(evaluateText("=SUM(B1,A1:A3)", cells), Value(ErrorValue::NA));
    EXPECT_EQ(evaluateText("=SUM(1,#DIV/0!)", cells), Value(ErrorValue::Div0));
    EXPECT_EQ(evaluateText("=SUM(1/0,B1)", cells), Value(ErrorValue::Div0));
}

TEST(FormulaEvaluation, OrAndAndUseNumbersAndBooleansOfCells)
{
    MapCells cells;
    cells.set("A1", text("TRUE")).set("A2", 0.0).set("A3", 2.0).set("B1", text("x")).set("C1", true);
    cells.set("D1", ErrorValue::NA);
    EXPECT_EQ(evaluateText("=OR(A1:A2)", cells), Value(false)); // text in a cell is skipped, even "TRUE"
    EXPECT_EQ(evaluateText("=OR(A1:A3)", cells), Value(true));
    EXPECT_EQ(evaluateText("=AND(A1:A3)", cells), Value(false));
    EXPECT_EQ(evaluateText("=AND(A3,C1)", cells), Value(true));
    EXPECT_EQ(evaluateText("=AND(A1,A3)", cells), Value(true));
    EXPECT_EQ(evaluateText("=OR(B1)", cells), Value(ErrorValue::Value)); // nothing usable
    EXPECT_EQ(evaluateText("=OR(E1:E5)", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=AND(B1,E1)", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=OR(C1,D1)", cells), Value(ErrorValue::NA)); // errors win over TRUE
    EXPECT_EQ(evaluateText("=OR(\"true\",0)"), Value(true));
    EXPECT_EQ(evaluateText("=AND(\"TRUE\",\"FALSE\")"), Value(false));
    EXPECT_EQ(evaluateText("=OR(\"x\",1)"), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=OR(\"\")"), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=AND(1,-1,0.5)"), Value(true));
    EXPECT_EQ(evaluateText("=OR(0,FALSE)"), Value(false));
}

TEST(FormulaEvaluation, IfConditions)
{
    MapCells cells;
    cells.set("B1", text("true")).set("C1", text("FALSE")).set("D1", text("yes")).set("E1", ErrorValue::Div0);
    cells.set("F1", -0.001).set("G1", text(""));
    EXPECT_EQ(evaluateText("=IF(A1,1,2)", cells), Value(2.0));
    EXPECT_EQ(evaluateText("=IF(B1,1,2)", cells), Value(1.0));
    EXPECT_EQ(evaluateText("=IF(C1,1,2)", cells), Value(2.0));
    EXPECT_EQ(evaluateText("=IF(D1,1,2)", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=IF(E1,1,2)", cells), Value(ErrorValue::Div0));
    EXPECT_EQ(evaluateText("=IF(F1,1,2)", cells), Value(1.0));
    EXPECT_EQ(evaluateText("=IF(G1,1,2)", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=IF(A1:A2,1,2)", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=IF(\"TRUE\",1,2)"), Value(1.0));
}

TEST(FormulaEvaluation, IfBranches)
{
    EXPECT_EQ(evaluateText("=IF(0,1)"), Value(false));
    EXPECT_EQ(evaluateText("=IF(1,A1)"), Value(0.0));
    EXPECT_EQ(evaluateText("=IF(1,,2)"), Value(0.0));
    EXPECT_EQ(evaluateText("=IF(0,1,)"), Value(0.0));
    EXPECT_EQ(evaluateText("=IF(1,\"yes\",1/0)"), text("yes"));
    EXPECT_EQ(evaluateText("=IF(0,1/0,\"no\")"), text("no"));
}

TEST(FormulaEvaluation, IfReadsOnlyTheBranchItTakes)
{
    MapCells cells;
    cells.set("A1", 1.0);
    EXPECT_EQ(evaluateText("=IF(A1,B1,SUM(C1:C100))", cells), Value(0.0));
    EXPECT_EQ(cells.reads, 2);
}

TEST(FormulaEvaluation, NotIsErrorIsBlank)
{
    MapCells cells;
    cells.set("B1", text("")).set("C1", 0.0).set("D1", ErrorValue::NA).set("E1", text("x"));
    EXPECT_EQ(evaluateText("=NOT(A1)", cells), Value(true));
    EXPECT_EQ(evaluateText("=NOT(2)", cells), Value(false));
    EXPECT_EQ(evaluateText("=NOT(\"false\")", cells), Value(true));
    EXPECT_EQ(evaluateText("=NOT(E1)", cells), Value(ErrorValue::Value));
    EXPECT_EQ(evaluateText("=NOT(D1)", cells), Value(ErrorValue::NA));

    EXPECT_EQ(evaluateText("=ISERROR(1/0)", cells), Value(true));
    EXPECT_EQ(evaluateText("=ISERROR(D1)", cells), Value(true));
    EXPECT_EQ(evaluateText("=ISERROR(E1)", cells), Value(false));
    EXPECT_EQ(evaluateText("=ISERROR(A1:A2)", cells), Value(true));
    EXPECT_EQ(evaluateText("=ISERROR(#N/A)", cells), Value(true));

    EXPECT_EQ(evaluateText("=ISBLANK(A1)", cells), Value(true));
    EXPECT_EQ(evaluateText("=ISBLANK((A1))", cells), Value(true));
    EXPECT_EQ(evaluateText("=ISBLANK(B1)", cells), Value(false)); // "" is text, not blank
    EXPECT_EQ(evaluateText("=ISBLANK(C1)", cells), Value(false));
    EXPECT_EQ(evaluateText("=ISBLANK(\"\")", cells), Value(false));
    EXPECT_EQ(evaluateText("=ISBLANK(A1&\"\")", cells), Value(false));
    EXPECT_EQ(evaluateText("=ISBLANK(A1:A2)", cells), Value(false));
}

// --- References ---------------------------------------------------------------

TEST(FormulaReferences, EachReferenceOnceInOrder)
{
    EXPECT_EQ(references(compile(kSumOrBlank, cell("D17")), cell("D17")), QList<RangeAddress>({range("D11", "D16")}));
    EXPECT_EQ(
        references(compile(kGuardedDifference, cell("H26")), cell("H26")),
        QList<RangeAddress>({range("D30", "D30"), range("H17", "H17"), range("H21", "H21"), range("H25", "H25")}));
    EXPECT_EQ(references(compile("=IF(A1,B1,C1:D2)+SUM(D2:C1)", cell("Z1")), cell("Z1")),
              QList<RangeAddress>({range("A1", "A1"), range("B1", "B1"), range("C1", "D2")}));
    EXPECT_TRUE(references(compile("=1+2", cell("Z1")), cell("Z1")).isEmpty());
}

TEST(FormulaReferences, AreaStoredBackwardsIsPutInOrder)
{
    // tAreaR rows 5..2, columns C..A
    const QByteArray tokens = bytes({0x25, 0x04, 0x00, 0x01, 0x00, 0x02, 0xC0, 0x00, 0xC0, 0x19, 0x10, 0x00, 0x00});
    EXPECT_EQ(decompile(tokens, cell("Z1")).toStdString(), "=SUM(C5:A2)");
    EXPECT_EQ(references(tokens, cell("Z1")), QList<RangeAddress>({range("A2", "C5")}));
}

// --- Bytes from other writers ---------------------------------------------------

TEST(FormulaDecompile, ReadsSpacesVolatileMarksAndOtherClasses)
{
    const QByteArray tokens = bytes({
        0x19, 0x01, 0x00, 0x00,       // tAttrSemi
        0x19, 0x40, 0x00, 0x02,       // tAttrSpace: 2 spaces
        0x64, 0x00, 0x00, 0x00, 0xC0, // tRefA A1
        0x19, 0x41, 0x01, 0x01,       // tAttrSpaceSemi: a line break
        0x1E, 0x01, 0x00, 0x03,       // tInt 1, tAdd
    });
    EXPECT_EQ(decompile(tokens, cell("Z1")).toStdString(), "=A1+1");
    MapCells cells;
    cells.set("A1", 41.0);
    EXPECT_EQ(evaluate(tokens, cell("Z1"), cells), Value(42.0));
}

TEST(FormulaDecompile, SumWithOneArgumentAsFuncVar)
{
    const QByteArray tokens = bytes({0x24, 0x00, 0x00, 0x00, 0xC0, 0x42, 0x01, 0x04, 0x00});
    EXPECT_EQ(decompile(tokens, cell("Z1")).toStdString(), "=SUM(A1)");
}

TEST(FormulaDecompile, IfWithoutJumpTokens)
{
    const QByteArray tokens = bytes({0x1D, 0x00, 0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x42, 0x03, 0x01, 0x00});
    EXPECT_EQ(decompile(tokens, cell("Z1")).toStdString(), "=IF(FALSE,1,2)");
    EXPECT_EQ(evaluate(tokens, cell("Z1"), MapCells()), Value(2.0));
}

TEST(FormulaDecompile, AddsParenthesesWhereTheTokenOrderNeedsThem)
{
    // 1 2 3 + *  without tParen
    const QByteArray product = bytes({0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x1E, 0x03, 0x00, 0x03, 0x05});
    EXPECT_EQ(decompile(product, cell("Z1")).toStdString(), "=1*(2+3)");
    EXPECT_EQ(evaluate(product, cell("Z1"), MapCells()), Value(5.0));
    // 1 2 3 - -  and  1 2 - 3 -
    EXPECT_EQ(decompile(bytes({0x1E, 1, 0, 0x1E, 2, 0, 0x1E, 3, 0, 0x04, 0x04}), cell("Z1")).toStdString(), "=1-(2-3)");
    EXPECT_EQ(decompile(bytes({0x1E, 1, 0, 0x1E, 2, 0, 0x04, 0x1E, 3, 0, 0x04}), cell("Z1")).toStdString(), "=1-2-3");
    // 1 2 + -
    EXPECT_EQ(decompile(bytes({0x1E, 1, 0, 0x1E, 2, 0, 0x03, 0x13}), cell("Z1")).toStdString(), "=-(1+2)");
}

TEST(FormulaDecompile, DeletedReferencesAreRefErrors)
{
    const QByteArray refErr = bytes({0x4A, 0x00, 0x00, 0x00, 0x00, 0x1E, 0x01, 0x00, 0x03});
    EXPECT_EQ(decompile(refErr, cell("Z1")).toStdString(), "=#REF!+1");
    EXPECT_EQ(evaluate(refErr, cell("Z1"), MapCells()), Value(ErrorValue::Ref));
    EXPECT_TRUE(references(refErr, cell("Z1")).isEmpty());
    const QByteArray areaErr = bytes({0x2B, 0, 0, 0, 0, 0, 0, 0, 0, 0x19, 0x10, 0x00, 0x00});
    EXPECT_EQ(decompile(areaErr, cell("Z1")).toStdString(), "=SUM(#REF!)");
    EXPECT_EQ(evaluate(areaErr, cell("Z1"), MapCells()), Value(ErrorValue::Ref));
}

TEST(FormulaDecompile, OtherSheetsShowTheirIndexAndCannotBeEvaluated)
{
    const QByteArray ref3d = bytes({0x5A, 0x02, 0x00, 0x00, 0x00, 0x00, 0xC0});
    EXPECT_EQ(decompile(ref3d, cell("Z1")).toStdString(), "=#XTI2!A1");
    EXPECT_THAT(formulaErrorOf([&] { evaluate(ref3d, cell("Z1"), MapCells()); }), HasSubstr("another sheet"));
    EXPECT_TRUE(references(ref3d, cell("Z1")).isEmpty());

    const QByteArray area3d =
        bytes({0x3B, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x19, 0x10, 0x00, 0x00});
    EXPECT_EQ(decompile(area3d, cell("Z1")).toStdString(), "=SUM(#XTI0!$A$1:$B$2)");
    // Even in the branch IF does not take.
    const QByteArray guarded =
        bytes({0x1D, 0x00, 0x3A, 0x01, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x1E, 0x01, 0x00, 0x42, 0x03, 0x01, 0x00});
    EXPECT_EQ(decompile(guarded, cell("Z1")).toStdString(), "=IF(FALSE,#XTI1!A1,1)");
    EXPECT_THROW(evaluate(guarded, cell("Z1"), MapCells()), FormulaError);

    EXPECT_EQ(decompile(bytes({0x3C, 0x03, 0x00, 0, 0, 0, 0}), cell("Z1")).toStdString(), "=#XTI3!#REF!");
    EXPECT_EQ(decompile(bytes({0x3D, 0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}), cell("Z1")).toStdString(), "=#XTI3!#REF!");
}

TEST(FormulaDecompile, NumbersFromNumTokens)
{
    EXPECT_EQ(decompile(bytes({0x1F, 0, 0, 0, 0, 0, 0x17, 0xF1, 0x40}), cell("Z1")).toStdString(), "=70000");
    // -1.5 stored directly, as some writers do.
    EXPECT_EQ(decompile(bytes({0x1F, 0, 0, 0, 0, 0, 0, 0xF8, 0xBF}), cell("Z1")).toStdString(), "=-1.5");
    EXPECT_EQ(decompile(bytes({0x1E, 0x02, 0x00, 0x1F, 0, 0, 0, 0, 0, 0, 0xF8, 0xBF, 0x04}), cell("Z1")).toStdString(),
              "=2--1.5");
}

// --- Malformed bytes --------------------------------------------------------------

TEST(FormulaMalformed, NothingToRead)
{
    EXPECT_THAT(decompileError(QByteArray()), HasSubstr("none"));
}

TEST(FormulaMalformed, TruncatedString)
{
    const std::string message = decompileError(bytes({0x1E, 0x01, 0x00, 0x17, 0x05, 0x00, 'a', 'b'}));
    EXPECT_THAT(message, HasSubstr("ptgStr at byte 3"));
    EXPECT_THAT(message, HasSubstr("cut short"));
    EXPECT_THAT(decompileError(bytes({0x17})), HasSubstr("ptgStr at byte 0"));
    EXPECT_THAT(decompileError(bytes({0x17, 0x02, 0x01, 'a', 0x00, 'b'})), HasSubstr("cut short"));
}

TEST(FormulaMalformed, TruncatedFixedSizeTokens)
{
    for (const QByteArray& tokens :
         {bytes({0x24, 0x00, 0x00}), bytes({0x25, 0, 0, 0, 0, 0, 0, 0}), bytes({0x1E, 0x01}),
          bytes({0x1F, 0, 0, 0, 0, 0, 0, 0}), bytes({0x1D}), bytes({0x1C}), bytes({0x1E, 1, 0, 0x19, 0x10, 0x00}),
          bytes({0x1E, 1, 0, 0x42, 0x01, 0x04}), bytes({0x1E, 1, 0, 0x41, 0x26}), bytes({0x3A, 0, 0, 0, 0, 0}),
          bytes({0x2A, 0, 0, 0}), bytes({0x3D, 0, 0, 0, 0, 0, 0, 0, 0, 0})}) {
        EXPECT_THAT(decompileError(tokens), HasSubstr("cut short")) << hex(tokens);
    }
}

TEST(FormulaMalformed, FunctionWithMoreArgumentsThanTheStackHolds)
{
    const std::string message = decompileError(bytes({0x1E, 0x01, 0x00, 0x42, 0x02, 0x04, 0x00}));
    EXPECT_THAT(message, HasSubstr("ptgFuncVar(SUM) at byte 3"));
    EXPECT_THAT(message, HasSubstr("stack"));
    EXPECT_THAT(decompileError(bytes({0x41, 0x26, 0x00})), HasSubstr("stack"));
    EXPECT_THAT(decompileError(bytes({0x03})), HasSubstr("ptgAdd at byte 0"));
    EXPECT_THAT(decompileError(bytes({0x1E, 1, 0, 0x03})), HasSubstr("no operand"));
    EXPECT_THAT(decompileError(bytes({0x19, 0x10, 0x00, 0x00})), HasSubstr("tAttrSum"));
}

TEST(FormulaMalformed, UnknownTokens)
{
    EXPECT_THAT(decompileError(bytes({0xFF})), HasSubstr("0xFF at byte 0"));
    EXPECT_THAT(decompileError(bytes({0x1E, 1, 0, 0x00})), HasSubstr("byte 3"));
    EXPECT_THAT(decompileError(bytes({0x1E, 1, 0, 0x18})), HasSubstr("unknown"));
    EXPECT_THAT(decompileError(bytes({0x1E, 1, 0, 0x1E, 2, 0, 0x07})), HasSubstr("ptgPower"));
    EXPECT_THAT(decompileError(bytes({0x01, 0, 0, 0, 0})), HasSubstr("shared"));
    EXPECT_THAT(decompileError(bytes({0x23, 1, 0, 0, 0})), HasSubstr("ptgName"));
    EXPECT_THAT(decompileError(bytes({0x2C, 0, 0, 0, 0})), HasSubstr("ptgRefN"));
    EXPECT_THAT(decompileError(bytes({0x1E, 1, 0, 0x41, 0xFF, 0x00})), HasSubstr("function number 255"));
    EXPECT_THAT(decompileError(bytes({0x1E, 1, 0, 0x19, 0x04, 0x01, 0x00, 4, 0, 4, 0})), HasSubstr("tAttrChoose"));
    EXPECT_THAT(decompileError(bytes({0x1E, 1, 0, 0x19, 0x80, 0x00, 0x00})), HasSubstr("unknown kind"));
    EXPECT_THAT(decompileError(bytes({0x19, 0x40, 0x07, 0x01, 0x1E, 1, 0})), HasSubstr("unknown type"));
}

TEST(FormulaMalformed, ArgumentCountsMustFitTheFunction)
{
    // IF with one argument, NOT as a variable-argument call with two, IF as ptgFunc.
    EXPECT_THAT(decompileError(bytes({0x1D, 0x01, 0x42, 0x01, 0x01, 0x00})), HasSubstr("takes 2 to 3"));
    EXPECT_THAT(decompileError(bytes({0x1D, 1, 0x1D, 1, 0x42, 0x02, 0x26, 0x00})), HasSubstr("takes 1 to 1"));
    EXPECT_THAT(decompileError(bytes({0x1D, 1, 0x1D, 1, 0x41, 0x01, 0x00})), HasSubstr("variable number"));
    EXPECT_THAT(decompileError(bytes({0x1D, 1, 0x42, 0x00, 0x04, 0x00})), HasSubstr("takes 1 to 30"));
}

TEST(FormulaMalformed, JumpsMustLandOnATokenInsideTheFormula)
{
    // tAttrIf 255 bytes ahead in a 20-byte formula.
    const QByteArray pastEnd =
        bytes({0x1D, 0x01, 0x19, 0x02, 0xFF, 0x00, 0x1E, 0x01, 0x00, 0x19, 0x08, 0x03, 0x00, 0x42, 0x02, 0x01, 0x00});
    const std::string message = decompileError(pastEnd);
    EXPECT_THAT(message, HasSubstr("tAttrIf at byte 2"));
    EXPECT_THAT(message, HasSubstr("past the end"));
    // tAttrSkip one byte too far: it would land behind the end.
    EXPECT_THAT(decompileError(bytes({0x1D, 0x01, 0x19, 0x02, 0x07, 0x00, 0x1E, 0x01, 0x00, 0x19, 0x08, 0x04, 0x00,
                                      0x42, 0x02, 0x01, 0x00})),
                HasSubstr("past the end"));
    // tAttrIf into the middle of the tInt.
    EXPECT_THAT(decompileError(bytes({0x1D, 0x01, 0x19, 0x02, 0x01, 0x00, 0x1E, 0x01, 0x00, 0x19, 0x08, 0x03, 0x00,
                                      0x42, 0x02, 0x01, 0x00})),
                HasSubstr("middle of a token"));
    // The same formula with correct jumps reads fine.
    EXPECT_EQ(decompile(bytes({0x1D, 0x01, 0x19, 0x02, 0x07, 0x00, 0x1E, 0x01, 0x00, 0x19, 0x08, 0x03, 0x00, 0x42, 0x02,
                               0x01, 0x00}),
                        cell("Z1"))
                  .toStdString(),
              "=IF(TRUE,1)");
}

TEST(FormulaMalformed, BadValuesInsideTokens)
{
    EXPECT_THAT(decompileError(bytes({0x1D, 0x02})), HasSubstr("instead of 0 or 1"));
    EXPECT_THAT(decompileError(bytes({0x1C, 0x99})), HasSubstr("error code 0x99"));
    EXPECT_THAT(decompileError(bytes({0x1F, 0, 0, 0, 0, 0, 0, 0xF8, 0x7F})), HasSubstr("finite"));
    EXPECT_THAT(decompileError(bytes({0x24, 0x00, 0x00, 0x00, 0xC1})), HasSubstr("column 257"));
}

TEST(FormulaMalformed, StackMustEndWithOneValue)
{
    EXPECT_THAT(decompileError(bytes({0x1E, 1, 0, 0x1E, 2, 0})), HasSubstr("2 values"));
    EXPECT_THAT(decompileError(bytes({0x19, 0x40, 0x00, 0x01})), HasSubstr("0 values"));
    EXPECT_THAT(decompileError(bytes({0x16})), HasSubstr("missing argument"));
    EXPECT_THAT(decompileError(bytes({0x16, 0x12})), HasSubstr("missing argument"));
    EXPECT_THAT(decompileError(bytes({0x16, 0x15})), HasSubstr("missing argument"));
    EXPECT_THAT(decompileError(bytes({0x16, 0x19, 0x10, 0x00, 0x00})), HasSubstr("missing argument"));
}

TEST(FormulaMalformed, DeepNestingIsRefusedNotRecursedInto)
{
    QByteArray tokens = bytes({0x1E, 0x01, 0x00});
    tokens.append(QByteArray(20000, char(0x15)));
    EXPECT_THAT(decompileError(tokens), HasSubstr("nested"));
}

// --- Random input ---------------------------------------------------------------

// Uniform noise rarely gets past the first token, so most inputs are
// well-formed token arrays, some of them damaged a little.
QByteArray randomNoise(std::mt19937& random)
{
    std::uniform_int_distribution<int> length(0, 64);
    std::uniform_int_distribution<int> anyByte(0, 255);
    QByteArray tokens;
    const int size = length(random);
    for (int i = 0; i < size; ++i)
        tokens.append(char(anyByte(random)));
    return tokens;
}

// An operand token: a constant or a reference.
QByteArray randomOperand(std::mt19937& random)
{
    const auto pick = [&](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
    const auto classed = [&](unsigned base) { return base + 0x20u * unsigned(pick(3)); };
    const auto small = [&] { return unsigned(pick(4)); };
    static const unsigned kErrorCodes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
    switch (pick(9)) {
    case 0: return bytes({0x1E, small(), 0x00});
    case 1: {
        QByteArray token = bytes({0x1F});
        for (int i = 0; i < 8; ++i)
            token.append(char(i < 6 ? 0 : pick(256)));
        return token;
    }
    case 2: return pick(2) ? bytes({0x17, 0x01, 0x00, unsigned('a' + pick(3))}) : bytes({0x17, 0x01, 0x01, 0xA9, 0x03});
    case 3: return bytes({0x1D, unsigned(pick(2))});
    case 4: return bytes({0x1C, kErrorCodes[pick(7)]});
    case 5: return bytes({classed(0x24), small(), 0x00, small(), 0xC0});
    case 6: return bytes({classed(0x25), small(), 0x00, small(), 0x00, small(), 0x80, small(), 0x40});
    case 7: return pick(2) ? bytes({classed(0x2A), 0, 0, 0, 0}) : bytes({classed(0x3A), small(), 0, small(), 0, 0, 0});
    default: return bytes({0x16});
    }
}

// Mostly well-formed token arrays: operands and operators are chosen so
// that the stack ends with one value, with attribute tokens in between.
QByteArray randomFormula(std::mt19937& random)
{
    const auto pick = [&](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
    static const unsigned kBinary[] = {0x03, 0x04, 0x05, 0x06, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
    static const unsigned kFixed[] = {0x03, 0x26, 0x81};
    static const unsigned kVariable[] = {0x01, 0x04, 0x24, 0x25};
    QByteArray tokens;
    int depth = 0;
    const int steps = 1 + pick(16);
    for (int step = 0; step < steps || depth != 1; ++step) {
        const int action = depth == 0 ? 0 : (step >= steps ? 2 : pick(7));
        if (action == 0 || (action == 1 && depth > 5)) {
            tokens.append(randomOperand(random));
            ++depth;
        } else if (action == 1) {
            tokens.append(char(std::initializer_list<unsigned>{0x12, 0x13, 0x15}.begin()[pick(3)]));
        } else if (action == 2 && depth >= 2) {
            tokens.append(char(kBinary[pick(11)]));
            --depth;
        } else if (action == 3) {
            tokens.append(bytes({0x21u + 0x20u * unsigned(pick(3)), kFixed[pick(3)], 0x00}));
        } else if (action == 4) {
            const int count = 1 + pick(std::min(depth, 3));
            tokens.append(bytes({0x22u + 0x20u * unsigned(pick(3)), unsigned(count), kVariable[pick(4)], 0x00}));
            depth -= count - 1;
        } else if (action == 5) {
            tokens.append(bytes({0x19, 0x10, 0x00, 0x00}));
        } else if (action == 6) {
            static const unsigned kKinds[] = {0x01, 0x02, 0x08, 0x40, 0x41};
            tokens.append(bytes({0x19, kKinds[pick(5)], unsigned(pick(7)), unsigned(pick(2))}));
        } else {
            tokens.append(randomOperand(random));
            ++depth;
        }
    }
    return tokens;
}

QByteArray randomTokens(std::mt19937& random)
{
    if (std::bernoulli_distribution(0.3)(random))
        return randomNoise(random);
    QByteArray tokens = randomFormula(random);
    if (std::bernoulli_distribution(0.3)(random))
        tokens[std::uniform_int_distribution<int>(0, int(tokens.size()) - 1)(random)] =
            char(std::uniform_int_distribution<int>(0, 255)(random));
    if (std::bernoulli_distribution(0.2)(random))
        tokens.truncate(std::uniform_int_distribution<int>(0, int(tokens.size()))(random));
    return tokens;
}

long long cellCount(const QList<RangeAddress>& ranges)
{
    long long count = 0;
    for (const RangeAddress& r : ranges)
        count += (long long)(r.last.row - r.first.row + 1) * (r.last.column - r.first.column + 1);
    return count;
}

TEST(FormulaRandom, RandomBytesOnlyEverThrowFormulaError)
{
    std::mt19937 random(20240611);
    MapCells cells;
    cells.set("A1", 1.0).set("B1", text("x")).set("A2", ErrorValue::NA).set("B2", true);
    int readable = 0;
    for (int i = 0; i < 100000; ++i) {
        const QByteArray tokens = randomTokens(random);
        QString formula;
        try {
            formula = decompile(tokens, cell("Z1"));
            const QList<RangeAddress> ranges = references(tokens, cell("Z1"));
            if (cellCount(ranges) <= 100000)
                evaluate(tokens, cell("Z1"), cells);
            ++readable;
        } catch (const FormulaError&) {
            continue;
        } catch (const std::exception& error) {
            FAIL() << "input " << hex(tokens) << " threw " << error.what();
        }
        // What reads back as text compiles to a formula that prints the same.
        if (!formula.contains(QLatin1String("#XTI"))) {
            try {
                EXPECT_EQ(roundTrip(formula), formula.toStdString()) << hex(tokens);
            } catch (const FormulaError& error) {
                ADD_FAILURE() << "decompiled " << formula.toStdString() << " from " << hex(tokens)
                              << " does not compile: " << error.what();
            }
        }
    }
    // Enough inputs were readable for the loop to have tested something.
    EXPECT_GT(readable, 10000);
}

TEST(FormulaRandom, RandomTextOnlyEverThrowsFormulaError)
{
    static const char* const kPieces[] = {
        "=",   "SUM(", "IF(",   "OR(",  "AND(",  "NOT(", "ISERROR(", "ISBLANK(", "(",  ")",    ",",     "+", "-", "*",
        "/",   "&",    "=",     "<",    ">",     "<>",   "<=",       ">=",       "A1", "$B$2", "C3:D4", "1", "0", "2.5",
        "1E3", "\"",   "\"x\"", "TRUE", "FALSE", "#N/A", " ",        ":",        "!",  "^",    "%",     "Q", ".", "9"};
    std::mt19937 random(77);
    std::uniform_int_distribution<int> count(0, 20);
    std::uniform_int_distribution<int> piece(0, int(std::size(kPieces)) - 1);
    int compiled = 0;
    for (int i = 0; i < 30000; ++i) {
        QString formula;
        const int pieces = count(random);
        for (int j = 0; j < pieces; ++j)
            formula += QLatin1String(kPieces[piece(random)]);
        QByteArray tokens;
        try {
            tokens = compile(formula, cell("Z1"));
        } catch (const FormulaError&) {
            continue;
        } catch (const std::exception& error) {
            FAIL() << formula.toStdString() << " threw " << error.what();
        }
        ++compiled;
        const QString text = decompile(tokens, cell("Z1"));
        EXPECT_EQ(hex(compile(text, cell("Z1"))), hex(tokens)) << formula.toStdString();
        EXPECT_NO_THROW(evaluate(tokens, cell("Z1"), MapCells())) << formula.toStdString();
    }
    EXPECT_GT(compiled, 500);
}

// Random formulas written the canonical way (every compound operand in
// parentheses) come back character for character and evaluate.
class FormulaWriter {
public:
    explicit FormulaWriter(unsigned seed) : random_(seed) {}

    QString formula() { return "=" + expression(0).text; }

private:
    struct Piece {
        QString text;
        bool compound = false; // an operator at its top
    };

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

    Piece expression(int depth)
    {
        switch (depth > 4 ? pick(4) : pick(8)) {
        case 0: return {QString::number(pick(70000))};
        case 1: return {reference()};
        case 2: return {QStringList{"\"\"", "\"x\"", "\"3\"", "TRUE", "FALSE", "#N/A", "#DIV/0!", "0.25"}[pick(8)]};
        case 3: return {reference() + ":" + reference()};
        case 4: {
            static const char* const kOperators[] = {"+", "-", "*", "/", "&", "=", "<>", "<", ">", "<=", ">="};
            const QString left = operand(depth);
            return {left + kOperators[pick(11)] + operand(depth), true};
        }
        case 5: return {"-" + operand(depth), true};
        case 6: {
            static const char* const kNames[] = {"SUM", "OR", "AND"};
            return call(kNames[pick(3)], 1 + pick(4), depth);
        }
        default: {
            static const char* const kNames[] = {"NOT", "ISERROR", "ISBLANK", "IF", "IF"};
            const int which = pick(5);
            return call(kNames[which], which < 3 ? 1 : which - 1, depth);
        }
        }
    }

    Piece call(const char* name, int count, int depth)
    {
        QStringList arguments;
        for (int i = 0; i < count; ++i)
            arguments << expression(depth + 1).text;
        return {QString::fromLatin1(name) + "(" + arguments.join(',') + ")"};
    }

    QString operand(int depth)
    {
        const Piece inner = expression(depth + 1);
        return inner.compound ? "(" + inner.text + ")" : inner.text;
    }

    QString reference()
    {
        QString name;
        if (pick(2))
            name += '$';
        name += QChar('A' + pick(6));
        if (pick(2))
            name += '$';
        name += QString::number(1 + pick(9));
        return name;
    }

    std::mt19937 random_;
};

TEST(FormulaRandom, WrittenFormulasComeBackUnchanged)
{
    FormulaWriter writer(4242);
    MapCells cells;
    cells.set("A1", 3.0).set("B2", text("y")).set("C3", true).set("D4", ErrorValue::Div0).set("E5", text(""));
    for (int i = 0; i < 3000; ++i) {
        const QString formula = writer.formula();
        const QByteArray tokens = compile(formula, cell("Z1"));
        ASSERT_EQ(decompile(tokens, cell("Z1")).toStdString(), formula.toStdString());
        EXPECT_NO_THROW(evaluate(tokens, cell("Z1"), cells)) << formula.toStdString();
    }
}

TEST(CellAddress, ReadsA1NamesWithOrWithoutDollarsInEitherCase)
{
    EXPECT_EQ(cell("D11"), (CellAddress{10, 3}));
    EXPECT_EQ(cell("$D$11"), (CellAddress{10, 3}));
    EXPECT_EQ(cell("d11"), (CellAddress{10, 3}));
    EXPECT_EQ(cell("A1"), (CellAddress{0, 0}));
    EXPECT_EQ(cell("IV65536"), (CellAddress{65535, 255}));
    EXPECT_EQ(cell("AA3"), (CellAddress{2, 26}));
}

TEST(CellAddress, RefusesWhatIsNoCellOfTheSheet)
{
    for (const char* bad : {"", "D", "11", "D0", "IW1", "A65537", "D11:E12", "D 11", "D11x",
                            "\xC4"
                            "1",
                            "AAAA1"})
        EXPECT_THROW(cell(bad), std::invalid_argument) << bad;
    try {
        cell("IW1");
    } catch (const std::invalid_argument& error) {
        EXPECT_THAT(error.what(), testing::HasSubstr("\"IW1\" is not a cell"));
    }
}

TEST(CellAddress, NamesRoundTrip)
{
    EXPECT_EQ(spreadsheet::cellName({10, 3}), QStringLiteral("D11"));
    EXPECT_EQ(spreadsheet::cellName({65535, 255}), QStringLiteral("IV65536"));
    for (const CellAddress where : {CellAddress{0, 0}, CellAddress{2, 26}, CellAddress{99, 51}, CellAddress{7, 255}})
        EXPECT_EQ(spreadsheet::cellAddress(spreadsheet::cellName(where)), where) << where.row << ", " << where.column;
}

} // namespace
