#pragma once
// Report units. Every engine position and size is an int pixel at ReportResolution pixels per inch,
// whatever the device; real measures (margins, paper) are millimetres held as doubles and turned into
// pixels here. All rounding of real values to pixels goes through RoundHalfEven so that a value lying
// exactly between two pixels lands on the same side everywhere (the even one).
//
// The conversions are computed in long double (80-bit extended on x86), the precision the layouts were
// first computed in: a few millimetre values fall exactly on a half pixel in that precision but not in
// double, and they must round the same way as they always did.
#include <climits>
#include <cmath>

constexpr int ReportResolution = 96;
constexpr long double MillimetresPerInch = 25.4L;

// Nearest integer, ties to the even neighbour, independent of the floating-point rounding mode.
// Values beyond the int range are clamped to INT_MIN/INT_MAX and NaN gives 0: a corrupt measure must
// never turn into undefined behaviour or a giant allocation further on.
inline int RoundHalfEven(long double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<long double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<long double>(INT_MIN))
        return INT_MIN;
    long double whole = std::floor(value);
    // Exact whenever it matters: only for values in (-0.5, 0) can the subtraction round, and those
    // give 0 either way.
    const long double fraction = value - whole;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0.0L))
        whole += 1.0L;
    return static_cast<int>(whole);
}

inline int MillimetresToPixels(double millimetres)
{
    return RoundHalfEven(static_cast<long double>(millimetres) * ReportResolution / MillimetresPerInch);
}

inline double PixelsToMillimetres(int pixels)
{
    return static_cast<double>(static_cast<long double>(pixels) * MillimetresPerInch / ReportResolution);
}

// Converts a length measured on a device (a printer's pixels) into report pixels. A device that reports
// no resolution (0 or negative pixels per inch) is taken to work at report resolution already, so the
// length passes through unchanged instead of dividing by zero.
inline int DevicePixelsToReport(int devicePixels, int devicePixelsPerInch)
{
    if (devicePixelsPerInch <= 0)
        return devicePixels;
    return RoundHalfEven(static_cast<long double>(devicePixels) * ReportResolution / devicePixelsPerInch);
}
