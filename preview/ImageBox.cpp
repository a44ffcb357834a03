#include "preview/ImageBox.h"

#include "preview/Viewport.h"

#include <QPainter>
#include <cmath>

namespace preview {
namespace {

int toPixels(double twips)
{
    return int(std::lround(twips / kTwipsPerPixel));
}

QRectF toPixels(const QRectF& twips)
{
    return QRectF(twips.x() / kTwipsPerPixel, twips.y() / kTwipsPerPixel, twips.width() / kTwipsPerPixel,
                  twips.height() / kTwipsPerPixel);
}

} // namespace

ImageBox::ImageBox(QWidget* parent) : services::PictureBox(parent)
{
    setFrameShape(QFrame::NoFrame);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
}

void ImageBox::moveTo(float left, float top)
{
    left_ = left;
    top_ = top;
    applyGeometry();
}

void ImageBox::setOuterWidth(int width)
{
    width_ = width;
    applyGeometry();
}

void ImageBox::setOuterHeight(int height)
{
    height_ = height;
    applyGeometry();
}

void ImageBox::setAutoSize(bool on)
{
    autoSize_ = on;
    if (autoSize_ && !picture_.isNull()) {
        width_ = picture_.width() * kTwipsPerPixel;
        height_ = picture_.height() * kTwipsPerPixel;
        applyGeometry();
    }
}

void ImageBox::setPicture(const QPixmap& picture)
{
    picture_ = picture;
    stretched_ = false;
    stretchSource_ = QPixmap();
    setAutoSize(autoSize_);
    update();
}

void ImageBox::removePicture()
{
    picture_ = QPixmap();
    stretched_ = false;
    stretchSource_ = QPixmap();
    update();
}

void ImageBox::paintStretched(const ImageBox& from, const QRectF& target, const QRectF& source)
{
    stretched_ = true;
    stretchSource_ = from.picture();
    target_ = target;
    source_ = source;
    update();
}

void ImageBox::paintEvent(QPaintEvent* event)
{
    services::PictureBox::paintEvent(event);
    QPainter painter(this);
    if (stretched_) {
        if (!stretchSource_.isNull()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawPixmap(toPixels(target_), stretchSource_, toPixels(source_));
        }
    } else if (!picture_.isNull()) {
        painter.drawPixmap(0, 0, picture_);
    }
}

void ImageBox::applyGeometry()
{
    setGeometry(toPixels(left_), toPixels(top_), toPixels(width_), toPixels(height_));
}

} // namespace preview
