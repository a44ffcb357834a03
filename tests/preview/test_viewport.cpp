// The preview's twips arithmetic on its own, without a window.
#include "preview/Viewport.h"
#include "services/Failure.h"

#include <gtest/gtest.h>

using namespace preview;

TEST(Rounding, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(roundHalfEven(10.5), 10);
    EXPECT_EQ(roundHalfEven(11.5), 12);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(10.51), 11);
}

TEST(Rounding, DownIsTheLargestWholeNumberNotAbove)
{
    EXPECT_EQ(roundDown(3370.5), 3370);
    EXPECT_EQ(roundDown(12699.99), 12699);
    EXPECT_EQ(roundDown(-0.5), -1);
}

TEST(Rounding, SixteenBitsOverflowIsAFailure)
{
    EXPECT_EQ(toSixteenBits(32767), 32767);
    EXPECT_THROW(toSixteenBits(32768), services::Failure);
    try {
        toSixteenBits(40000.4);
        FAIL() << "no failure";
    } catch (const services::Failure& failure) {
        EXPECT_EQ(failure.description(), QStringLiteral("Overflow"));
    }
}

TEST(ScrollSetup, ABoxNoWiderThanTheViewportDisablesTheBar)
{
    const ScrollSetup same = scrollSetupFor(9330, 9330);
    EXPECT_FALSE(same.enabled);
    EXPECT_EQ(same.step, 0);
    const ScrollSetup narrower = scrollSetupFor(8000, 9330);
    EXPECT_FALSE(narrower.enabled);
    EXPECT_EQ(narrower.step, 0);
}

TEST(ScrollSetup, UpToOneHundredTwipsEachPositionIsOneTwip)
{
    const ScrollSetup one = scrollSetupFor(9331, 9330);
    EXPECT_TRUE(one.enabled);
    EXPECT_EQ(one.maximum, 1);
    EXPECT_EQ(one.step, 1);
    const ScrollSetup hundred = scrollSetupFor(9430, 9330);
    EXPECT_TRUE(hundred.enabled);
    EXPECT_EQ(hundred.maximum, 100);
    EXPECT_EQ(hundred.step, 1);
}

TEST(ScrollSetup, AboveOneHundredTwipsEachPositionIsTenTwipsRoundedHalfToEven)
{
    const ScrollSetup d101 = scrollSetupFor(9431, 9330);
    EXPECT_EQ(d101.maximum, 10);
    EXPECT_EQ(d101.step, 10);
    EXPECT_EQ(scrollSetupFor(9435, 9330).maximum, 10); // 10.5
    EXPECT_EQ(scrollSetupFor(9445, 9330).maximum, 12); // 11.5
    EXPECT_EQ(scrollSetupFor(9445, 9330).step, 10);
    EXPECT_EQ(scrollSetupFor(9446, 9330).maximum, 12); // 11.6
}

TEST(Zoom, StepsAreAQuarterBetweenAQuarterAndThreeAndThreeQuarters)
{
    EXPECT_FLOAT_EQ(zoomCandidate(1.0f, 0), 1.25f);
    EXPECT_FLOAT_EQ(zoomCandidate(1.0f, 1), 0.75f);
    EXPECT_FLOAT_EQ(zoomCandidate(1.0f, -7), 0.75f); // any other direction is out
    EXPECT_TRUE(zoomAllowed(0.25f));
    EXPECT_TRUE(zoomAllowed(3.75f));
    EXPECT_FALSE(zoomAllowed(zoomCandidate(3.75f, 0)));
    EXPECT_FALSE(zoomAllowed(zoomCandidate(0.25f, 1)));
}

TEST(Offset, FarPositionsDoNotOverflowSixteenBits)
{
    EXPECT_EQ(imageOffset(10, 4000), -40000);
    EXPECT_EQ(imageOffset(10, 32767), -327670);
    EXPECT_EQ(imageOffset(1, 0), 0);
    EXPECT_EQ(imageOffset(0, 500), 0);
}

TEST(Drag, StopsAtTheLeftEdgeAndAtTheInnerRightEdge)
{
    EXPECT_FLOAT_EQ(clampDrag(450, 9270, 11998), 0);
    EXPECT_FLOAT_EQ(clampDrag(-4500, 9270, 11998), -2728);
    EXPECT_FLOAT_EQ(clampDrag(-1000, 9270, 11998), -1000);
}

TEST(Drag, ANarrowPictureGoesToOneEdgeOrTheOther)
{
    EXPECT_FLOAT_EQ(clampDrag(15, 9270, 2998), 0);
    EXPECT_FLOAT_EQ(clampDrag(-15, 9270, 2998), 6272);
    EXPECT_FLOAT_EQ(clampDrag(0, 9270, 2998), 6272);
}

TEST(Release, PercentOfTheHiddenPart)
{
    EXPECT_EQ(releasePercent(-1000, 11998, 9330), 37);  // 37.48
    EXPECT_EQ(releasePercent(-2728, 11998, 9330), 102); // beyond the bar's range
    EXPECT_EQ(releasePercent(0, 11998, 9330), 0);
}

TEST(Release, ABoxAsWideAsTheViewportIsADivisionByZero)
{
    try {
        releasePercent(0, 9330, 9330);
        FAIL() << "no failure";
    } catch (const services::Failure& failure) {
        EXPECT_EQ(failure.description(), QStringLiteral("Division by zero"));
    }
}

TEST(Release, PositionForPercent)
{
    EXPECT_EQ(positionForPercent(37, 267), 99); // 98.79
    EXPECT_EQ(positionForPercent(45, 10), 4);   // 4.5
    EXPECT_EQ(positionForPercent(55, 10), 6);   // 5.5
    EXPECT_EQ(positionForPercent(100, 267), 267);
    EXPECT_EQ(positionForPercent(102, 267), std::nullopt); // above the maximum
    EXPECT_EQ(positionForPercent(-1, 267), std::nullopt);
    EXPECT_EQ(positionForPercent(0, 267), 0);
}
