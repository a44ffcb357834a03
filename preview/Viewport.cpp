#include "preview/Viewport.h"

#include "services/Failure.h"

#include <cmath>
#include <limits>

namespace preview {
namespace {

using services::Failure;

int checkedInt(double whole)
{
    if (!std::isfinite(whole) || whole < double(std::numeric_limits<qint32>::min())
        || whole > double(std::numeric_limits<qint32>::max()))
        throw Failure(QStringLiteral("Overflow"));
    return int(whole);
}

} // namespace

int roundHalfEven(double value)
{
    // The default rounding mode of the floating-point unit sends halves to even.
    return checkedInt(std::nearbyint(value));
}

int roundDown(double value)
{
    return checkedInt(std::floor(value));
}

qint16 toSixteenBits(double value)
{
    const int whole = roundHalfEven(value);
    if (whole < std::numeric_limits<qint16>::min() || whole > std::numeric_limits<qint16>::max())
        throw Failure(QStringLiteral("Overflow"));
    return qint16(whole);
}

ScrollSetup scrollSetupFor(int imageOuter, int viewportOuter)
{
    if (imageOuter <= viewportOuter)
        return {};
    const int difference = imageOuter - viewportOuter;
    if (float(difference) <= 100)
        return {true, toSixteenBits(difference), 1};
    return {true, toSixteenBits(difference / 10.0), 10};
}

float zoomCandidate(float zoom, qint32 direction)
{
    return direction == 0 ? zoom + kZoomIncrement : zoom - kZoomIncrement;
}

bool zoomAllowed(float candidate)
{
    return candidate >= kSmallestZoom && candidate <= kLargestZoom;
}

int imageOffset(qint16 step, int position)
{
    return -(int(step) * position);
}

float clampDrag(float proposed, int viewportInner, int imageOuter)
{
    if (proposed > 0)
        return 0;
    const float farthest = float(viewportInner - imageOuter);
    return farthest > proposed ? farthest : proposed;
}

int releasePercent(float offset, int imageOuter, int viewportOuter)
{
    const int hidden = imageOuter - viewportOuter;
    if (hidden == 0)
        throw Failure(QStringLiteral("Division by zero"));
    return roundHalfEven(std::fabs(double(offset)) / hidden * 100);
}

std::optional<int> positionForPercent(qint16 percent, int maximum)
{
    if (percent < 0)
        return std::nullopt;
    const double value = percent / 100.0 * maximum;
    if (value > maximum)
        return std::nullopt;
    return roundHalfEven(value);
}

} // namespace preview
