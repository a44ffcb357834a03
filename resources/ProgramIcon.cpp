#include "resources/ProgramIcon.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <array>

namespace resources {
namespace {

// What a window hands the X11 window manager, which reads every drawing
// again each time the window is mapped. The 256 drawing was three quarters of
// those bytes and a millisecond or two on each show of the preview; launchers
// and switchers take large sizes from the installed icon theme.
constexpr std::array<int, 3> kSizes{32, 48, 128};

// Decodes a size only when it is asked for. QIcon::addFile decodes every
// file at once, a seventh of a start, while a window on Wayland asks for no
// size at all (X11 still takes each once).
class ProgramIconEngine final : public QIconEngine {
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        // Never larger than the largest drawing, as icons go.
        const int side = std::min({size.width(), size.height(), kSizes.back()});
        if (side <= 0)
            return {};
        const QImage& picture = imageFor(side);
        return QPixmap::fromImage(picture.width() == side
                                      ? picture
                                      : picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min({size.width(), size.height(), kSizes.back()});
        return side > 0 ? QSize(side, side) : QSize();
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : kSizes)
            sizes << QSize(side, side);
        return sizes;
    }

    QIconEngine* clone() const override { return new ProgramIconEngine(*this); }
    QString key() const override { return QStringLiteral("corvantis-program-icon"); }

private:
    // The smallest drawing at least `side` pixels wide, else the largest.
    const QImage& imageFor(int side)
    {
        size_t index = 0;
        while (index + 1 < kSizes.size() && kSizes[index] < side)
            ++index;
        QImage& image = decoded_[index];
        if (image.isNull())
            image = QImage(QStringLiteral(":/icons/corvantis-%1.png").arg(kSizes[index]));
        return image;
    }

    std::array<QImage, kSizes.size()> decoded_;
};

} // namespace

QIcon programIcon()
{
    return QIcon(new ProgramIconEngine);
}

} // namespace resources
