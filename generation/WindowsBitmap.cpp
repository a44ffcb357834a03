#include "generation/WindowsBitmap.h"

#include "services/Failure.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace generation {
namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

void put16(char*& at, quint16 value)
{
    qToLittleEndian(value, at);
    at += 2;
}

void put32(char*& at, quint32 value)
{
    qToLittleEndian(value, at);
    at += 4;
}

} // namespace

// Written by hand: Qt's own BMP writer grows its buffer and converts pixel by
// pixel through generic paths, and cost more than drawing the sheet did.
QByteArray windowsBitmap(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const std::int64_t rowSize = (std::int64_t(image.width()) * 3 + 3) / 4 * 4;
    const std::int64_t pixelBytes = rowSize * image.height();
    const std::int64_t fileSize = kFileHeaderSize + kInfoHeaderSize + pixelBytes;
    if (image.isNull() || fileSize > std::numeric_limits<std::int32_t>::max())
        throw services::Failure(QStringLiteral("A picture of %1 by %2 pixels cannot be a Windows bitmap.")
                                    .arg(picture.width())
                                    .arg(picture.height()));

    QByteArray bytes(qsizetype(fileSize), Qt::Uninitialized);
    char* at = bytes.data();
    *at++ = 'B';
    *at++ = 'M';
    put32(at, quint32(fileSize));
    put32(at, 0); // reserved
    put32(at, kFileHeaderSize + kInfoHeaderSize);
    put32(at, kInfoHeaderSize);
    put32(at, quint32(image.width()));
    put32(at, quint32(image.height())); // positive: the bottom row comes first
    put16(at, 1);                       // planes
    put16(at, 24);                      // bits per pixel
    put32(at, 0);                       // BI_RGB, uncompressed
    put32(at, quint32(pixelBytes));
    put32(at, quint32(std::max(0, image.dotsPerMeterX())));
    put32(at, quint32(std::max(0, image.dotsPerMeterY())));
    put32(at, 0); // colours used
    put32(at, 0); // important colours

    const int width = image.width();
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* pixel = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        char* out = at;
        int x = 0;
        // Four pixels (0xAARRGGBB) make three little-endian words of blue,
        // green, red bytes.
        for (; x + 4 <= width; x += 4, out += 12) {
            const quint32 p0 = pixel[x], p1 = pixel[x + 1], p2 = pixel[x + 2], p3 = pixel[x + 3];
            qToLittleEndian<quint32>((p0 & 0xFFFFFF) | (p1 << 24), out);
            qToLittleEndian<quint32>(((p1 >> 8) & 0xFFFF) | (p2 << 16), out + 4);
            qToLittleEndian<quint32>(((p2 >> 16) & 0xFF) | (p3 << 8), out + 8);
        }
        for (; x < width; ++x, out += 3) {
            out[0] = char(qBlue(pixel[x]));
            out[1] = char(qGreen(pixel[x]));
            out[2] = char(qRed(pixel[x]));
        }
        // Rows end on a four-byte boundary; the padding is zero.
        std::fill(out, at + rowSize, '\0');
        at += rowSize;
    }
    return bytes;
}

} // namespace generation
