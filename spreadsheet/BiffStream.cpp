#include "spreadsheet/BiffStream.h"

#include <QtEndian>
#include <cstring>

namespace spreadsheet::biff {

void RecordReader::seek(qsizetype position)
{
    if (position < 0 || position > stream_.size())
        throw FileFormatError(QStringLiteral("Workbook stream: a sheet starts at offset %1, past its end (%2 bytes)")
                                  .arg(position)
                                  .arg(stream_.size())
                                  .toStdString());
    position_ = position;
}

Record RecordReader::next()
{
    auto readOne = [this](Record& into) {
        if (stream_.size() - position_ < 4)
            throw FileFormatError(QStringLiteral("Workbook stream: a record header at offset %1 is cut short")
                                      .arg(position_)
                                      .toStdString());
        const auto* header = reinterpret_cast<const uchar*>(stream_.constData() + position_);
        into.type = qFromLittleEndian<quint16>(header);
        const quint16 length = qFromLittleEndian<quint16>(header + 2);
        if (stream_.size() - position_ - 4 < length)
            throw FileFormatError(QStringLiteral("Workbook stream: record 0x%1 at offset %2 says %3 bytes, but "
                                                 "only %4 are left")
                                      .arg(into.type, 4, 16, QLatin1Char('0'))
                                      .arg(position_)
                                      .arg(length)
                                      .arg(stream_.size() - position_ - 4)
                                      .toStdString());
        into.offset = position_;
        into.body = stream_.mid(position_ + 4, length);
        position_ += 4 + length;
    };
    Record record;
    readOne(record);
    while (stream_.size() - position_ >= 4
           && qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(stream_.constData() + position_))
               == record::Continue) {
        Record part;
        readOne(part);
        record.continues.append(part.body);
    }
    return record;
}

FieldReader::FieldReader(const Record& record, const char* context) : context_(context)
{
    parts_.append(record.body);
    parts_.append(record.continues);
}

FieldReader::FieldReader(const QByteArray& bytes, const char* context) : context_(context)
{
    parts_.append(bytes);
}

void FieldReader::fail(const QString& what) const
{
    throw FileFormatError(
        QStringLiteral("Workbook stream, %1 record: %2").arg(QLatin1String(context_), what).toStdString());
}

bool FieldReader::nextPart()
{
    if (part_ + 1 >= parts_.size())
        return false;
    ++part_;
    position_ = 0;
    return true;
}

void FieldReader::need(qsizetype count)
{
    // A field may start in the next CONTINUE part, never straddle two.
    if (position_ == parts_[part_].size() && count > 0)
        nextPart();
    if (parts_[part_].size() - position_ < count)
        fail(QStringLiteral("it ends before a field of %1 bytes").arg(count));
}

std::uint8_t FieldReader::u8()
{
    need(1);
    return std::uint8_t(parts_[part_][position_++]);
}

std::uint16_t FieldReader::u16()
{
    need(2);
    const auto value = qFromLittleEndian<quint16>(parts_[part_].constData() + position_);
    position_ += 2;
    return value;
}

std::uint32_t FieldReader::u32()
{
    need(4);
    const auto value = qFromLittleEndian<quint32>(parts_[part_].constData() + position_);
    position_ += 4;
    return value;
}

double FieldReader::f64()
{
    need(8);
    const auto bits = qFromLittleEndian<quint64>(parts_[part_].constData() + position_);
    position_ += 8;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QByteArray FieldReader::bytes(qsizetype count)
{
    if (count < 0)
        fail(QStringLiteral("a negative length"));
    need(count);
    QByteArray result = parts_[part_].mid(position_, count);
    position_ += count;
    return result;
}

void FieldReader::skip(qsizetype count)
{
    // Skipped data (rich-text runs, phonetic text) may run on across parts.
    while (count > 0) {
        if (position_ == parts_[part_].size() && !nextPart())
            fail(QStringLiteral("it ends inside data that should be skipped"));
        const qsizetype step = std::min(count, parts_[part_].size() - position_);
        position_ += step;
        count -= step;
    }
}

qsizetype FieldReader::remaining() const
{
    qsizetype left = parts_[part_].size() - position_;
    for (int i = part_ + 1; i < parts_.size(); ++i)
        left += parts_[i].size();
    return left;
}

QString FieldReader::longString()
{
    return stringOfLength(u16());
}

QString FieldReader::shortString()
{
    return stringOfLength(u8());
}

QString FieldReader::stringOfLength(qsizetype characters)
{
    const std::uint8_t options = u8();
    const bool rich = options & 0x08;
    const bool phonetic = options & 0x04;
    const quint16 runs = rich ? u16() : 0;
    const quint32 phoneticBytes = phonetic ? u32() : 0;
    bool wide = options & 0x01;
    QString text;
    text.reserve(characters);
    while (text.size() < characters) {
        if (position_ == parts_[part_].size()) {
            if (!nextPart())
                fail(QStringLiteral("a string of %1 characters ends after %2").arg(characters).arg(text.size()));
            wide = u8() & 0x01; // each CONTINUE part repeats the width
        }
        const QByteArray& part = parts_[part_];
        const qsizetype available = (part.size() - position_) / (wide ? 2 : 1);
        if (available == 0)
            fail(QStringLiteral("a string character is split between two records"));
        const qsizetype take = std::min<qsizetype>(available, characters - text.size());
        const char* data = part.constData() + position_;
        for (qsizetype i = 0; i < take; ++i) {
            text += wide ? QChar(qFromLittleEndian<quint16>(data + 2 * i)) : QChar(uchar(data[i]));
        }
        position_ += take * (wide ? 2 : 1);
    }
    skip(qsizetype(runs) * 4);
    skip(phoneticBytes);
    return text;
}

bool fitsEightBits(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

void appendContinuedCharacters(QList<QByteArray>& parts, const QString& text, bool wide)
{
    qsizetype written = 0;
    while (written < text.size()) {
        const qsizetype room = (RecordWriter::kMaxBody - parts.last().size()) / (wide ? 2 : 1);
        if (room == 0) {
            parts.append(FieldWriter().u8(wide ? 1 : 0).data());
            continue;
        }
        const qsizetype take = std::min(room, text.size() - written);
        FieldWriter chars;
        for (qsizetype c = written; c < written + take; ++c) {
            if (wide)
                chars.u16(text[c].unicode());
            else
                chars.u8(std::uint8_t(text[c].unicode()));
        }
        parts.last().append(chars.data());
        written += take;
    }
}

FieldWriter& FieldWriter::u8(std::uint8_t value)
{
    data_.append(char(value));
    return *this;
}

FieldWriter& FieldWriter::u16(std::uint16_t value)
{
    char buffer[2];
    qToLittleEndian<quint16>(value, buffer);
    data_.append(buffer, 2);
    return *this;
}

FieldWriter& FieldWriter::u32(std::uint32_t value)
{
    char buffer[4];
    qToLittleEndian<quint32>(value, buffer);
    data_.append(buffer, 4);
    return *this;
}

FieldWriter& FieldWriter::f64(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    char buffer[8];
    qToLittleEndian<quint64>(bits, buffer);
    data_.append(buffer, 8);
    return *this;
}

FieldWriter& FieldWriter::bytes(const QByteArray& value)
{
    data_.append(value);
    return *this;
}

FieldWriter& FieldWriter::zeros(qsizetype count)
{
    data_.append(QByteArray(count, '\0'));
    return *this;
}

FieldWriter& FieldWriter::stringBody(const QString& text)
{
    if (fitsEightBits(text)) {
        u8(0x00);
        for (QChar c : text)
            u8(std::uint8_t(c.unicode()));
    } else {
        u8(0x01);
        for (QChar c : text)
            u16(c.unicode());
    }
    return *this;
}

FieldWriter& FieldWriter::longString(const QString& text)
{
    u16(std::uint16_t(text.size()));
    return stringBody(text);
}

FieldWriter& FieldWriter::shortString(const QString& text)
{
    u8(std::uint8_t(text.size()));
    return stringBody(text);
}

void RecordWriter::write(std::uint16_t type, const QByteArray& body)
{
    QList<QByteArray> parts;
    parts.append(body.left(kMaxBody));
    for (qsizetype at = kMaxBody; at < body.size(); at += kMaxBody)
        parts.append(body.mid(at, kMaxBody));
    writeParts(type, parts);
}

void RecordWriter::writeParts(std::uint16_t type, const QList<QByteArray>& parts)
{
    for (int i = 0; i < parts.size(); ++i) {
        FieldWriter header;
        header.u16(i == 0 ? type : record::Continue).u16(std::uint16_t(parts[i].size()));
        stream_.append(header.data());
        stream_.append(parts[i]);
    }
}

void RecordWriter::patchU32(qsizetype at, std::uint32_t value)
{
    qToLittleEndian<quint32>(value, stream_.data() + at);
}

} // namespace spreadsheet::biff
