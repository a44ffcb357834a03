#pragma once

#include <QByteArray>
#include <QImage>

namespace generation {

// `picture` as a 24-bit Windows bitmap file (BITMAPINFOHEADER, rows bottom
// up), the format every bitmap reader takes. Alpha is dropped.
QByteArray windowsBitmap(const QImage& picture);

} // namespace generation
