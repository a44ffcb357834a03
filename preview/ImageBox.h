#pragma once

#include "services/PictureBox.h"

#include <QPixmap>
#include <QRectF>

namespace preview {

// A picture box whose place and size are kept in twips, as the viewport's
// arithmetic needs them; the widget follows at 15 twips to a pixel.
// It shows either its picture at the picture's own size or a stretched
// copy of another box's picture, drawn from the source on every paint.
class ImageBox : public services::PictureBox {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);

    // A box without a frame: the inner size is the outer size.
    float left() const { return left_; }
    float top() const { return top_; }
    int outerWidth() const { return width_; }
    int outerHeight() const { return height_; }
    int innerWidth() const { return width_; }
    int innerHeight() const { return height_; }

    void moveTo(float left, float top);
    void setLeft(float left) { moveTo(left, top_); }
    void setTop(float top) { moveTo(left_, top); }
    void setOuterWidth(int width);
    void setOuterHeight(int height);

    // With auto-size on, the box takes the size of each picture it is given.
    void setAutoSize(bool on);
    bool autoSize() const { return autoSize_; }

    void setPicture(const QPixmap& picture);
    const QPixmap& picture() const { return picture_; }
    // Leaves the box blank: no picture, nothing drawn.
    void removePicture();
    // Draws `source` (in twips) of `from`'s picture into `target` (in twips).
    void paintStretched(const ImageBox& from, const QRectF& target, const QRectF& source);

    // What is drawn now; for tests and the screenshot.
    bool isStretched() const { return stretched_; }
    QRectF stretchTarget() const { return target_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyGeometry();

    float left_ = 0;
    float top_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool autoSize_ = false;
    QPixmap picture_;
    bool stretched_ = false;
    QPixmap stretchSource_; // shares the other box's picture, no copy
    QRectF target_;
    QRectF source_;
};

} // namespace preview
