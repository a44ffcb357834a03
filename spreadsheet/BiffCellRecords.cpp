// The cell records of a worksheet. Every one starts with the cell's row,
// column and format index (2 each); the layouts below go on from offset 6.
#include "spreadsheet/BiffRecords.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

namespace spreadsheet::biff {
namespace {

CellPlace readPlace(FieldReader& in)
{
    CellPlace at;
    at.row = in.u16();
    at.column = in.u16();
    at.format = in.u16();
    return at;
}

FieldWriter placeFields(CellPlace at)
{
    FieldWriter f;
    f.u16(at.row).u16(at.column).u16(at.format);
    return f;
}

// Checked once a record's fields are read, as cells are placed.
CellRecord placed(const FieldReader& in, CellPlace at, Value value = {})
{
    if (at.column >= kMaxColumns)
        in.fail(QStringLiteral("column %1 lies outside the sheet").arg(at.column + 1));
    return CellRecord{at, std::move(value)};
}

// MULRK and MULBLANK: 0 row, 2 first column, then a cell each, then the last
// column (2). The cells must fill what is left whole.
void checkWholeCells(FieldReader& in, qsizetype cellSize)
{
    if (in.remaining() < 2 || (in.remaining() - 2) % cellSize != 0)
        in.fail(QStringLiteral("its length does not fit whole cells"));
}

constexpr std::uint32_t kRkHundredths = 0x01;
constexpr std::uint32_t kRkInteger = 0x02;
constexpr std::uint32_t kRkValueBits = 0xFFFFFFFC;
constexpr int kRkShift = 2;
constexpr int kRkIntegerLimit = 1 << 29;

double rkValue(std::uint32_t rk)
{
    double value;
    if (rk & kRkInteger) {
        value = double(std::int32_t(rk) >> kRkShift);
    } else {
        const std::uint64_t bits = std::uint64_t(rk & kRkValueBits) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & kRkHundredths) ? value / 100 : value;
}

} // namespace

// NUMBER: 6 the number (8).
CellRecord readNumber(const Record& record)
{
    FieldReader in(record, "NUMBER");
    const CellPlace at = readPlace(in);
    const double value = finite(in, in.f64());
    return placed(in, at, value);
}

void writeNumber(RecordWriter& out, CellPlace at, double value)
{
    out.write(record::Number, placeFields(at).f64(value));
}

// RK: 6 the number (4): bit 0 set for hundredths, bit 1 set for a signed
// integer in bits 2-31, else bits 2-31 are the top bits of a double.
std::optional<std::uint32_t> rkOf(double value)
{
    if (value != std::floor(value) || value < -kRkIntegerLimit || value >= kRkIntegerLimit)
        return std::nullopt;
    return (std::uint32_t(std::int32_t(value)) << kRkShift) | kRkInteger;
}

CellRecord readRk(const Record& record)
{
    FieldReader in(record, "RK");
    const CellPlace at = readPlace(in);
    const double value = finite(in, rkValue(in.u32()));
    return placed(in, at, value);
}

// MULRK: a format index (2) and an RK number (4) a cell.
QList<CellRecord> readMulRk(const Record& record)
{
    FieldReader in(record, "MULRK");
    CellPlace at;
    at.row = in.u16();
    at.column = in.u16();
    checkWholeCells(in, 2 + 4); // format index, RK number
    QList<CellRecord> cells;
    while (in.remaining() > 2) {
        at.format = in.u16();
        const double value = finite(in, rkValue(in.u32()));
        cells.append(placed(in, at, value));
        ++at.column;
    }
    return cells;
}

void writeRk(RecordWriter& out, CellPlace at, std::uint32_t rk)
{
    out.write(record::Rk, placeFields(at).u32(rk));
}

// LABELSST: 6 index into the SST (4).
CellRecord readLabelSst(const Record& record, const QList<QString>& strings)
{
    FieldReader in(record, "LABELSST");
    const CellPlace at = readPlace(in);
    const std::uint32_t index = in.u32();
    if (index >= std::uint32_t(strings.size()))
        in.fail(QStringLiteral("string %1 does not exist (the table holds %2)").arg(index).arg(strings.size()));
    return placed(in, at, strings[index]);
}

void writeLabelSst(RecordWriter& out, CellPlace at, std::uint32_t stringIndex)
{
    out.write(record::LabelSst, placeFields(at).u32(stringIndex));
}

// LABEL (older writers; never written): 6 the text (long string).
CellRecord readLabel(const Record& record)
{
    FieldReader in(record, "LABEL");
    const CellPlace at = readPlace(in);
    QString text = in.longString();
    return placed(in, at, std::move(text));
}

// BLANK: nothing after the place.
CellRecord readBlank(const Record& record)
{
    FieldReader in(record, "BLANK");
    return placed(in, readPlace(in));
}

// MULBLANK: a format index (2) a cell.
QList<CellRecord> readMulBlank(const Record& record)
{
    FieldReader in(record, "MULBLANK");
    CellPlace at;
    at.row = in.u16();
    at.column = in.u16();
    checkWholeCells(in, 2);
    QList<CellRecord> cells;
    while (in.remaining() > 2) {
        at.format = in.u16();
        cells.append(placed(in, at));
        ++at.column;
    }
    return cells;
}

void writeBlank(RecordWriter& out, CellPlace at)
{
    out.write(record::Blank, placeFields(at));
}

// BOOLERR: 6 the value (1: 0 or 1, or an error code), 7 1 for an error (1).
CellRecord readBoolErr(const Record& record)
{
    FieldReader in(record, "BOOLERR");
    const CellPlace at = readPlace(in);
    const std::uint8_t value = in.u8();
    const bool isError = in.u8();
    return placed(in, at, isError ? Value(ErrorValue(value)) : Value(value != 0));
}

void writeBoolErr(RecordWriter& out, CellPlace at, const Value& value)
{
    if (const auto* error = std::get_if<ErrorValue>(&value))
        out.write(record::BoolErr, placeFields(at).u8(std::uint8_t(*error)).u8(1));
    else
        out.write(record::BoolErr, placeFields(at).u8(std::get<bool>(value) ? 1 : 0).u8(0));
}

namespace {
// A result that is not a number: the kind at byte 0, a value at byte 2, and
// 0xFFFF in bytes 6-7, where a number's exponent could not be all ones.
enum ResultKind : std::uint8_t { TextResult = 0, BoolResult = 1, ErrorResult = 2, EmptyTextResult = 3 };
constexpr qsizetype kResultSize = 8;
constexpr qsizetype kResultValueAt = 2;
constexpr qsizetype kResultMarkerAt = 6;
constexpr std::uint16_t kNotANumber = 0xFFFF;

QByteArray resultBytes(ResultKind kind, std::uint8_t value = 0)
{
    return FieldWriter().u8(kind).u8(0).u8(value).zeros(3).u16(kNotANumber).data();
}

QByteArray formulaResult(const FormulaRecord& formula)
{
    const Value& value = formula.cell.value;
    if (const auto* number = std::get_if<double>(&value))
        return FieldWriter().f64(*number).data();
    if (formula.textFollows)
        return resultBytes(TextResult);
    if (const auto* flag = std::get_if<bool>(&value))
        return resultBytes(BoolResult, *flag ? 1 : 0);
    if (const auto* error = std::get_if<ErrorValue>(&value))
        return resultBytes(ErrorResult, std::uint8_t(*error));
    return resultBytes(EmptyTextResult); // an empty text, or not yet calculated
}
} // namespace

// FORMULA: 6 the result (8: a number, or see ResultKind), 14 options (2),
// 16 unused (4), 20 token size (2), 22 the tokens.
FormulaRecord readFormula(const Record& record)
{
    FieldReader in(record, "FORMULA");
    const CellPlace at = readPlace(in);
    const QByteArray result = in.bytes(kResultSize);
    in.skip(2 + 4); // options, unused
    const std::uint16_t size = in.u16();
    FormulaRecord formula;
    formula.cell = placed(in, at);
    formula.tokens = in.bytes(size);
    const auto* r = reinterpret_cast<const uchar*>(result.constData());
    if (qFromLittleEndian<quint16>(r + kResultMarkerAt) != kNotANumber) {
        double number;
        std::memcpy(&number, r, sizeof number);
        formula.cell.value = finite(in, number);
        return formula;
    }
    switch (r[0]) {
    case TextResult:
        formula.cell.value = QString();
        formula.textFollows = true;
        break;
    case BoolResult: formula.cell.value = r[kResultValueAt] != 0; break;
    case ErrorResult: formula.cell.value = ErrorValue(r[kResultValueAt]); break;
    case EmptyTextResult: formula.cell.value = QString(); break;
    default: in.fail(QStringLiteral("result kind %1 is unknown").arg(r[0]));
    }
    return formula;
}

void writeFormula(RecordWriter& out, const FormulaRecord& formula)
{
    out.write(record::Formula,
              placeFields(formula.cell.at)
                  .bytes(formulaResult(formula))
                  .u16(0)
                  .u32(0)
                  .u16(std::uint16_t(formula.tokens.size()))
                  .bytes(formula.tokens));
}

// STRING: 0 the text (long string), going on in CONTINUE records when long.
QString readStringResult(const Record& formula, RecordReader& reader)
{
    FieldReader in(formula, "FORMULA");
    if (reader.atEnd())
        in.fail(QStringLiteral("a text result has no STRING record after it"));
    const Record text = reader.next();
    if (text.type != record::String)
        in.fail(QStringLiteral("a text result is followed by record 0x%1, not STRING")
                    .arg(text.type, 4, 16, QLatin1Char('0')));
    return FieldReader(text, "STRING").longString();
}

void writeStringResult(RecordWriter& out, const QString& text)
{
    const bool wide = !fitsEightBits(text);
    QList<QByteArray> parts{FieldWriter().u16(std::uint16_t(text.size())).u8(wide ? 1 : 0).data()};
    appendContinuedCharacters(parts, text, wide);
    out.writeParts(record::String, parts);
}

} // namespace spreadsheet::biff
