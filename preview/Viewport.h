#pragma once

#include <QtGlobal>
#include <optional>

namespace preview {

// Everything here is in twips; a screen pixel is 15 of them.
inline constexpr int kTwipsPerPixel = 15;

// A zoomed picture larger than this is refused.
inline constexpr int kLargestZoomedWidth = 12699;
inline constexpr int kLargestZoomedHeight = 11699;

inline constexpr float kSmallestZoom = 0.25f;
inline constexpr float kLargestZoom = 3.75f;
inline constexpr float kZoomIncrement = 0.25f;

// Nearest whole number, halves to the even neighbour. Throws Failure
// ("Overflow") outside 32 bits.
int roundHalfEven(double value);
// Largest whole number not above the value. Throws Failure outside 32 bits.
int roundDown(double value);
// A rounded value that must fit a scroll bar's 16-bit property.
qint16 toSixteenBits(double value);

// How one scroll bar is set up for an image box in the viewport.
struct ScrollSetup {
    bool enabled = false;
    qint16 maximum = 0; // meaningful only when enabled
    qint16 step = 0;    // twips of picture per scroll position
};
ScrollSetup scrollSetupFor(int imageOuter, int viewportOuter);

// Zoom factor asked for by one press: direction 0 in, anything else out.
float zoomCandidate(float zoom, qint32 direction);
bool zoomAllowed(float candidate);

// The image box's left (or top) for a scroll position. Computed in 32 bits:
// step 10 times a position above 3276 does not fit 16.
int imageOffset(qint16 step, int position);

// Where a dragged image box may go on one axis.
float clampDrag(float proposed, int viewportInner, int imageOuter);

// How far the image box has been dragged, in whole percents of the part that
// cannot be seen. Throws Failure("Division by zero") when the box is exactly
// as large as the viewport.
int releasePercent(float offset, int imageOuter, int viewportOuter);

// The scroll position for a percent, or nothing when the percent is negative
// or beyond the bar's maximum.
std::optional<int> positionForPercent(qint16 percent, int maximum);

// The zoom state of the preview.
struct Viewport {
    bool mFirstActivate = true;
    float mZoom = 0;
    qint32 mOrigWidth = 0;
    qint32 mOrigHeight = 0;
    qint32 mZoomWidth = 0;
    qint32 mZoomHeight = 0;
    qint16 mHScrollStep = 0;
    qint16 mVScrollStep = 0;
    float mDownX = 0;
    float mDownY = 0;

    // The zoomed size is rounded down.
    void setZoomWidthFromZoom() { mZoomWidth = roundDown(double(mOrigWidth) * double(mZoom)); }
    void setZoomHeightFromZoom() { mZoomHeight = roundDown(double(mOrigHeight) * double(mZoom)); }
    // The unscaled size from the hidden copy's inner size.
    static qint32 unscaledFromInner(int copyInner) { return roundHalfEven(double(copyInner) - 2); }
    bool zoomedSizeFits() const { return mZoomWidth <= kLargestZoomedWidth && mZoomHeight <= kLargestZoomedHeight; }
};

} // namespace preview
