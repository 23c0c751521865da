// PDF numbers: the quick way for values whose four-decimal rounding is certain must give exactly
// the text of the general conversion (fixed notation, four decimals, trailing zeros and point cut,
// "-0" as "0") for every value, the awkward ones near a half included.
#include "filters/RLPDFWriter.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace {

std::string Reference(double Value)
{
    if (!std::isfinite(Value))
        return "0";
    // The same room as the writer's, so a magnitude too large for it is "0" here too.
    char buffer[PDFNumberBufferSize];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::fixed, 4);
    if (result.ec != std::errc())
        return "0";
    char* end = result.ptr;
    while (end[-1] == '0')
        --end;
    if (end[-1] == '.')
        --end;
    std::string text(buffer, end);
    return text == "-0" ? "0" : text;
}

std::string Formatted(double Value)
{
    char buffer[PDFNumberBufferSize];
    return std::string(buffer, std::size_t(FormatPDFNumber(Value, buffer)));
}

TEST(PDFNumber, MatchesTheGeneralConversionOnCoordinatesAndAwkwardValues)
{
    // Pixels to points over the whole page range and well beyond, in quarter pixels.
    for (int quarter = -40000; quarter <= 400000; ++quarter) {
        const double pixels = quarter / 4.0;
        ASSERT_EQ(Formatted(pixels / 96 * 72), Reference(pixels / 96 * 72)) << pixels;
    }
    // Halves of the last decimal, just on, above and below them, where only the exact value decides.
    for (long long units = -200000; units <= 200000; ++units) {
        const double half = (double(units) + 0.5) / 10000.0;
        for (double value : { half, std::nextafter(half, 1e300), std::nextafter(half, -1e300) })
            ASSERT_EQ(Formatted(value), Reference(value)) << value;
    }
    std::mt19937_64 random(20241231);
    std::uniform_real_distribution<double> wide(-1e12, 1e12);
    std::uniform_real_distribution<double> narrow(-2000, 2000);
    for (int i = 0; i < 300000; ++i) {
        const double a = wide(random);
        const double b = narrow(random);
        ASSERT_EQ(Formatted(a), Reference(a)) << a;
        ASSERT_EQ(Formatted(b), Reference(b)) << b;
    }
    const double infinity = std::numeric_limits<double>::infinity();
    for (double value : { 0.0, -0.0, 0.00004, -0.00004, 0.00005, -0.00005, 0.75, -0.75, 1e15, -1e15, 4.5e11,
             1e300, -1e300, 5e-324, std::nan(""), infinity, -infinity, 0.125, 2.5e-5 })
        EXPECT_EQ(Formatted(value), Reference(value)) << value;
    // Where the quick way's integer rounding ends: ten-thousandths just under and over 2^52.
    for (double units : { 0x1p52 - 1.5, 0x1p52 - 1, 0x1p52 - 0.5, 0x1p52, 0x1p52 + 2, 0x1p51 + 0.5 })
        for (double sign : { 1.0, -1.0 }) {
            const double value = sign * units / 10000.0;
            EXPECT_EQ(Formatted(value), Reference(value)) << value;
        }
    EXPECT_EQ(Formatted(72), "72");
    EXPECT_EQ(Formatted(595.2756), "595.2756");
    EXPECT_EQ(Formatted(-0.00001), "0");
}

} // namespace
