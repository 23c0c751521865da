#include "engine/RLUnits.h"

#include <cfenv>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

struct RoundCase
{
    long double Value;
    int Expected;
};

TEST(RoundHalfEven, RoundsToNearestAndTiesToEven)
{
    const RoundCase cases[] = {
        { 0.0L, 0 },
        { -0.0L, 0 },
        { 0.4999L, 0 },
        { 0.5L, 0 },
        { 0.5001L, 1 },
        { 1.5L, 2 },
        { 2.5L, 2 },
        { 3.5L, 4 },
        { 2.4999999L, 2 },
        { 2.5000001L, 3 },
        { -0.5L, 0 },
        { -0.5001L, -1 },
        { -1.5L, -2 },
        { -2.5L, -2 },
        { -2.6L, -3 },
        { 1122.56L, 1123 },
        { 2147483646.5L, 2147483646 },
        { -2147483647.5L, INT_MIN },
    };
    for (const RoundCase& c : cases)
        EXPECT_EQ(RoundHalfEven(c.Value), c.Expected) << static_cast<double>(c.Value);
}

TEST(RoundHalfEven, ClampsValuesOutsideTheIntRangeAndNotANumber)
{
    EXPECT_EQ(RoundHalfEven(1e300L), INT_MAX);
    EXPECT_EQ(RoundHalfEven(2147483647.4L), INT_MAX);
    EXPECT_EQ(RoundHalfEven(2147483648.0L), INT_MAX);
    EXPECT_EQ(RoundHalfEven(-1e300L), INT_MIN);
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<long double>::infinity()), INT_MAX);
    EXPECT_EQ(RoundHalfEven(-std::numeric_limits<long double>::infinity()), INT_MIN);
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<long double>::quiet_NaN()), 0);
}

TEST(RoundHalfEven, DoesNotDependOnTheFloatingPointRoundingMode)
{
    // Read through volatiles so that the compiler cannot round them at compile time.
    volatile long double twoAndAHalf = 2.5L, minusThreeAndAHalf = -3.5L, threeQuarters = 0.75L;
    const int savedMode = std::fegetround();
    for (int mode : { FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO }) {
        std::fesetround(mode);
        const int half = RoundHalfEven(twoAndAHalf);
        const int negativeHalf = RoundHalfEven(minusThreeAndAHalf);
        const int nearlyOne = RoundHalfEven(threeQuarters);
        std::fesetround(savedMode);
        EXPECT_EQ(half, 2) << mode;
        EXPECT_EQ(negativeHalf, -4) << mode;
        EXPECT_EQ(nearlyOne, 1) << mode;
    }
}

struct MillimetreCase
{
    double Millimetres;
    int Pixels;
};

TEST(MillimetresToPixels, ConvertsAtNinetySixPixelsPerInch)
{
    const MillimetreCase cases[] = {
        { 0, 0 },
        { 1, 4 }, // 3.78
        { 10, 38 }, // a report's default margin
        { 25.4, 96 },
        { 210, 794 }, // A4
        { 297, 1123 },
        { 215.9, 816 }, // Letter
        { 279.4, 1056 },
        { 841, 3179 }, // 3178.58
        { 1189, 4494 },
        { -10, -38 },
    };
    for (const MillimetreCase& c : cases)
        EXPECT_EQ(MillimetresToPixels(c.Millimetres), c.Pixels) << c.Millimetres;
}

// These millimetre values land exactly on half a pixel when divided by 25.4 in extended precision.
// Rounding halves up, or dividing by the double nearest to 25.4 (which lies just below it and pushes
// the quotient over the half), gives the odd neighbour instead.
TEST(MillimetresToPixels, ExactHalfPixelsRoundToTheEvenPixel)
{
    const MillimetreCase cases[] = {
        { 1.984375, 8 }, // 7.5
        { 5.953125, 22 }, // 22.5
        { 9.921875, 38 }, // 37.5
        { 13.890625, 52 }, // 52.5
        { 17.859375, 68 }, // 67.5
        { 21.828125, 82 }, // 82.5
    };
    for (const MillimetreCase& c : cases)
        EXPECT_EQ(MillimetresToPixels(c.Millimetres), c.Pixels) << c.Millimetres;
}

TEST(MillimetresToPixels, HugeOrInvalidMeasuresStayInsideTheIntRange)
{
    EXPECT_EQ(MillimetresToPixels(1e12), INT_MAX);
    EXPECT_EQ(MillimetresToPixels(-1e12), INT_MIN);
    EXPECT_EQ(MillimetresToPixels(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(PixelsToMillimetres, InvertsMillimetresToPixels)
{
    EXPECT_DOUBLE_EQ(PixelsToMillimetres(96), 25.4);
    EXPECT_DOUBLE_EQ(PixelsToMillimetres(0), 0.0);
    EXPECT_DOUBLE_EQ(PixelsToMillimetres(-48), -12.7);
    EXPECT_NEAR(PixelsToMillimetres(38), 10.0541666666667, 1e-12);
    for (int pixels = -3000; pixels <= 12000; ++pixels)
        ASSERT_EQ(MillimetresToPixels(PixelsToMillimetres(pixels)), pixels);
}

struct DeviceCase
{
    int DevicePixels;
    int PixelsPerInch;
    int ReportPixels;
};

TEST(DevicePixelsToReport, ScalesByTheDeviceResolution)
{
    const DeviceCase cases[] = {
        { 300, 300, 96 },
        { 2550, 300, 816 }, // a Letter sheet's width at 300 dpi
        { 3300, 300, 1056 },
        { 75, 300, 24 },
        { 1, 300, 0 }, // 0.32
        { 2, 300, 1 }, // 0.64
        { -300, 300, -96 },
        { 600, 600, 96 },
        { 4960, 600, 794 }, // 793.6
        { 7016, 600, 1123 }, // 1122.56
        { 100, 600, 16 },
        { 1, 192, 0 }, // ties at 192 dpi: 0.5, 1.5, 2.5
        { 3, 192, 2 },
        { 5, 192, 2 },
        { 7, 192, 4 },
        { 96, 96, 96 },
        { INT_MAX, 1, INT_MAX },
    };
    for (const DeviceCase& c : cases)
        EXPECT_EQ(DevicePixelsToReport(c.DevicePixels, c.PixelsPerInch), c.ReportPixels)
            << c.DevicePixels << " at " << c.PixelsPerInch;
}

TEST(DevicePixelsToReport, DeviceWithoutResolutionPassesLengthsThrough)
{
    EXPECT_EQ(DevicePixelsToReport(1234, 0), 1234);
    EXPECT_EQ(DevicePixelsToReport(1234, -300), 1234);
    EXPECT_EQ(DevicePixelsToReport(-5, 0), -5);
}

} // namespace
