// The snapshot's bitmap encoder against Qt's own BMP reader and writer.
#include "generation/WindowsBitmap.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

// Every width's row padding (0 to 3 bytes), one row and many.
QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 37 + y) & 0xFF, (y * 91 + x * 3) & 0xFF, (x ^ y) & 0xFF));
    return image;
}

QByteArray qtBitmap(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "bmp").write(image);
    return bytes;
}

TEST(WindowsBitmap, DecodesToThePictureAndMatchesQtsWriterByteForByte)
{
    for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(3, 2), QSize(4, 1), QSize(5, 7), QSize(753, 697)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QImage image = pattern(size.width(), size.height());
        const QByteArray bytes = generation::windowsBitmap(image);
        EXPECT_EQ(bytes.size(), 54 + (size.width() * 3 + 3) / 4 * 4 * size.height());
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 2), quint32(bytes.size()));
        EXPECT_EQ(QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32), image);
        EXPECT_EQ(bytes, qtBitmap(image));
    }
}

TEST(WindowsBitmap, AlphaIsDroppedAndANullPictureRefused)
{
    QImage translucent(2, 2, QImage::Format_ARGB32);
    translucent.fill(qRgba(10, 20, 30, 40));
    EXPECT_EQ(QImage::fromData(generation::windowsBitmap(translucent), "BMP").pixel(1, 1), qRgb(10, 20, 30));
    EXPECT_THROW(generation::windowsBitmap(QImage()), std::exception);
}

} // namespace
