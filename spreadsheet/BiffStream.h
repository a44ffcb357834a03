#pragma once

#include "spreadsheet/Value.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

// The record layer of the workbook stream: little-endian fields, records
// with their CONTINUE parts, and the file format's unicode strings.
namespace spreadsheet::biff {

// One record as stored: its type and body, with the bodies of the CONTINUE
// records that followed it kept apart (strings restart at their boundaries).
struct Record {
    std::uint16_t type = 0;
    QByteArray body;
    QList<QByteArray> continues;
    qsizetype offset = 0; // where its header starts in the stream
};

// Reads records one after another. Throws FileFormatError naming the offset
// when a header or body runs past the end of the stream.
class RecordReader {
public:
    explicit RecordReader(QByteArray stream) : stream_(std::move(stream)) {}
    bool atEnd() const { return position_ >= stream_.size(); }
    qsizetype position() const { return position_; }
    void seek(qsizetype position);
    Record next();

private:
    QByteArray stream_;
    qsizetype position_ = 0;
};

// Bounds-checked reading of one record's fields. `context` names the record
// in the errors it throws.
class FieldReader {
public:
    FieldReader(const Record& record, const char* context);
    FieldReader(const QByteArray& bytes, const char* context);

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    double f64();
    QByteArray bytes(qsizetype count);
    void skip(qsizetype count);
    qsizetype remaining() const;
    bool atEnd() const { return remaining() == 0; }

    // A string with a 16-bit (long) or 8-bit (short) character count, then
    // the option byte; rich-text runs and phonetic data are skipped. A string
    // may go on in the next CONTINUE part, which starts with a fresh option byte.
    QString longString();
    QString shortString();
    // The characters of a string whose count was read elsewhere (NAME).
    QString stringOfLength(qsizetype characters);

    [[noreturn]] void fail(const QString& what) const;

private:
    void need(qsizetype count);
    bool nextPart();

    QList<QByteArray> parts_;
    int part_ = 0;
    qsizetype position_ = 0;
    const char* context_;
};

// Builds one record body.
class FieldWriter {
public:
    FieldWriter& u8(std::uint8_t value);
    FieldWriter& u16(std::uint16_t value);
    FieldWriter& u32(std::uint32_t value);
    FieldWriter& f64(double value);
    FieldWriter& bytes(const QByteArray& value);
    FieldWriter& zeros(qsizetype count);
    // Count, option byte, characters: 8-bit when every character fits.
    FieldWriter& longString(const QString& text);
    FieldWriter& shortString(const QString& text);
    // Option byte and characters only (NAME, whose count stands elsewhere).
    FieldWriter& stringBody(const QString& text);
    const QByteArray& data() const { return data_; }
    qsizetype size() const { return data_.size(); }

private:
    QByteArray data_;
};

// True when every character of the text fits in one byte.
bool fitsEightBits(const QString& text);

// Appends the characters to the last part. When it is full they go on in a
// new part that starts by repeating the width byte, as a continued string
// must; a character is never split between parts.
void appendContinuedCharacters(QList<QByteArray>& parts, const QString& text, bool wide);

// Appends records to a stream; bodies longer than a record may hold go on in
// CONTINUE records.
class RecordWriter {
public:
    static constexpr qsizetype kMaxBody = 8224;
    static constexpr qsizetype kHeaderSize = 4; // type and body length

    void write(std::uint16_t type, const QByteArray& body);
    void write(std::uint16_t type, const FieldWriter& fields) { write(type, fields.data()); }
    // Writes a record whose body was cut into parts by its own rules (SST).
    void writeParts(std::uint16_t type, const QList<QByteArray>& parts);
    qsizetype position() const { return stream_.size(); }
    // Overwrites four bytes already written (a sheet's stream position).
    void patchU32(qsizetype at, std::uint32_t value);
    const QByteArray& stream() const { return stream_; }

private:
    QByteArray stream_;
};

namespace record {
inline constexpr std::uint16_t Formula = 0x0006;
inline constexpr std::uint16_t Eof = 0x000A;
inline constexpr std::uint16_t CalcCount = 0x000C;
inline constexpr std::uint16_t CalcMode = 0x000D;
inline constexpr std::uint16_t Precision = 0x000E;
inline constexpr std::uint16_t RefMode = 0x000F;
inline constexpr std::uint16_t Delta = 0x0010;
inline constexpr std::uint16_t Iteration = 0x0011;
inline constexpr std::uint16_t Protect = 0x0012;
inline constexpr std::uint16_t Password = 0x0013;
inline constexpr std::uint16_t Header = 0x0014;
inline constexpr std::uint16_t Footer = 0x0015;
inline constexpr std::uint16_t ExternSheet = 0x0017;
inline constexpr std::uint16_t Name = 0x0018;
inline constexpr std::uint16_t WindowProtect = 0x0019;
inline constexpr std::uint16_t Selection = 0x001D;
inline constexpr std::uint16_t DateMode = 0x0022;
inline constexpr std::uint16_t LeftMargin = 0x0026;
inline constexpr std::uint16_t RightMargin = 0x0027;
inline constexpr std::uint16_t TopMargin = 0x0028;
inline constexpr std::uint16_t BottomMargin = 0x0029;
inline constexpr std::uint16_t PrintHeaders = 0x002A;
inline constexpr std::uint16_t PrintGridlines = 0x002B;
inline constexpr std::uint16_t Font = 0x0031;
inline constexpr std::uint16_t Continue = 0x003C;
inline constexpr std::uint16_t Window1 = 0x003D;
inline constexpr std::uint16_t Backup = 0x0040;
inline constexpr std::uint16_t CodePage = 0x0042;
inline constexpr std::uint16_t Pls = 0x004D;
inline constexpr std::uint16_t DefColWidth = 0x0055;
inline constexpr std::uint16_t WriteAccess = 0x005C;
inline constexpr std::uint16_t SaveRecalc = 0x005F;
inline constexpr std::uint16_t Template = 0x0060;
inline constexpr std::uint16_t ColInfo = 0x007D;
inline constexpr std::uint16_t Guts = 0x0080;
inline constexpr std::uint16_t WsBool = 0x0081;
inline constexpr std::uint16_t GridSet = 0x0082;
inline constexpr std::uint16_t HCenter = 0x0083;
inline constexpr std::uint16_t VCenter = 0x0084;
inline constexpr std::uint16_t BoundSheet = 0x0085;
inline constexpr std::uint16_t Country = 0x008C;
inline constexpr std::uint16_t HideObj = 0x008D;
inline constexpr std::uint16_t Palette = 0x0092;
inline constexpr std::uint16_t FnGroupCount = 0x009C;
inline constexpr std::uint16_t Scl = 0x00A0;
inline constexpr std::uint16_t Setup = 0x00A1;
inline constexpr std::uint16_t MulRk = 0x00BD;
inline constexpr std::uint16_t MulBlank = 0x00BE;
inline constexpr std::uint16_t Mms = 0x00C1;
inline constexpr std::uint16_t BookBool = 0x00DA;
inline constexpr std::uint16_t Xf = 0x00E0;
inline constexpr std::uint16_t InterfaceHdr = 0x00E1;
inline constexpr std::uint16_t InterfaceEnd = 0x00E2;
inline constexpr std::uint16_t Sst = 0x00FC;
inline constexpr std::uint16_t LabelSst = 0x00FD;
inline constexpr std::uint16_t ExtSst = 0x00FF;
inline constexpr std::uint16_t TabId = 0x013D;
inline constexpr std::uint16_t UsesElfs = 0x0160;
inline constexpr std::uint16_t Dsf = 0x0161;
inline constexpr std::uint16_t SupBook = 0x01AE;
inline constexpr std::uint16_t Prot4Rev = 0x01AF;
inline constexpr std::uint16_t RefreshAll = 0x01B7;
inline constexpr std::uint16_t Prot4RevPass = 0x01BC;
inline constexpr std::uint16_t Dimensions = 0x0200;
inline constexpr std::uint16_t Blank = 0x0201;
inline constexpr std::uint16_t Number = 0x0203;
inline constexpr std::uint16_t Label = 0x0204;
inline constexpr std::uint16_t BoolErr = 0x0205;
inline constexpr std::uint16_t String = 0x0207;
inline constexpr std::uint16_t Row = 0x0208;
inline constexpr std::uint16_t Index = 0x020B;
inline constexpr std::uint16_t DefaultRowHeight = 0x0225;
inline constexpr std::uint16_t Window2 = 0x023E;
inline constexpr std::uint16_t Rk = 0x027E;
inline constexpr std::uint16_t Style = 0x0293;
inline constexpr std::uint16_t Format = 0x041E;
inline constexpr std::uint16_t Bof = 0x0809;
inline constexpr std::uint16_t FeatHdr = 0x0867;
inline constexpr std::uint16_t Feat = 0x0868;
inline constexpr std::uint16_t DbCell = 0x00D7;
} // namespace record

} // namespace spreadsheet::biff
