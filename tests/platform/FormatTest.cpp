#include "platform/Format.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>

namespace {

const TFormatSettings& Brazil()
{
    static const TFormatSettings settings = FormatSettingsFor(QLocale(QLocale::Portuguese, QLocale::Brazil));
    return settings;
}

const TFormatSettings& UnitedStates()
{
    static const TFormatSettings settings
        = FormatSettingsFor(QLocale(QLocale::English, QLocale::UnitedStates));
    return settings;
}

constexpr double Infinity = std::numeric_limits<double>::infinity();

struct TFormatCase
{
    const char* Format;
    double Value;
    const char* Expected;
};

class FormatFloatBrazil : public ::testing::TestWithParam<TFormatCase>
{
};

TEST_P(FormatFloatBrazil, GivesTheExpectedText)
{
    const TFormatCase& c = GetParam();
    EXPECT_EQ(FormatFloat(QString::fromUtf8(c.Format), c.Value, Brazil()), QString::fromUtf8(c.Expected))
        << "format \"" << c.Format << "\", value " << c.Value;
}

INSTANTIATE_TEST_SUITE_P(ReportPatterns, FormatFloatBrazil,
    ::testing::Values(TFormatCase { "#,###,##0.00", 1234567.891, "1.234.567,89" },
        TFormatCase { "#,###,##0.00", 0.0, "0,00" }, TFormatCase { "#,###,##0.00", -1234.5, "-1.234,50" },
        TFormatCase { "#,###,##0.000", 12.5, "12,500" }, TFormatCase { "#,###,##0.00", 999.995, "1.000,00" },
        TFormatCase { "#,###,##0.00", 0.5, "0,50" },
        TFormatCase { "#,###,##0.00", 1e20, "100.000.000.000.000.000.000,00" },
        TFormatCase { "#,###,##0.00", 123456789012345678.0, "123.456.789.012.346.000,00" },
        TFormatCase { "#,##0", 1234567.0, "1.234.567" }, TFormatCase { "#,##0", 123.0, "123" },
        TFormatCase { "0,000", 1234.0, "1.234" }));

// The value is taken to 15 significant digits first, then halves go away from zero.
INSTANTIATE_TEST_SUITE_P(Rounding, FormatFloatBrazil,
    ::testing::Values(TFormatCase { "0.00", 0.125, "0,13" }, TFormatCase { "0.00", 3 * 1.005, "3,02" },
        TFormatCase { "0.00", 2.675, "2,68" }, TFormatCase { "0.00", 1.005, "1,01" },
        TFormatCase { "0.00", -0.005, "-0,01" }, TFormatCase { "0.00", 0.004999, "0,00" },
        TFormatCase { "0", 2.5, "3" }, TFormatCase { "0", -2.5, "-3" }, TFormatCase { "0", 0.5, "1" },
        TFormatCase { "0", 9.5, "10" }, TFormatCase { "0.0", 0.1 + 0.2, "0,3" },
        TFormatCase { "0.00", 1e-300, "0,00" },
        TFormatCase { "0.00000000000000000000", 0.1, "0,10000000000000000000" }));

// A value that shows as zero shows no minus sign.
INSTANTIATE_TEST_SUITE_P(NegativeZero, FormatFloatBrazil,
    ::testing::Values(TFormatCase { "0.00", -0.001, "0,00" }, TFormatCase { "#,###,##0.00", -0.004, "0,00" },
        TFormatCase { "0", -0.4, "0" }, TFormatCase { "0.00", -0.0, "0,00" }));

INSTANTIATE_TEST_SUITE_P(Placeholders, FormatFloatBrazil,
    ::testing::Values(TFormatCase { "0.##", 5.0, "5" }, TFormatCase { "0.##", 5.1, "5,1" },
        TFormatCase { "0.##", 5.126, "5,13" }, TFormatCase { "0.0#", 5.0, "5,0" },
        TFormatCase { "000", 7.0, "007" }, TFormatCase { "#", 0.0, "" }, TFormatCase { "#.##", 0.5, ",5" },
        TFormatCase { ".00", 12.5, "12,50" }, TFormatCase { "0-00", 12345.0, "123-45" },
        TFormatCase { "0", 1234.0, "1234" }));

INSTANTIATE_TEST_SUITE_P(LiteralsAndSections, FormatFloatBrazil,
    ::testing::Values(TFormatCase { "'R$ '#,##0.00", 1234.5, "R$ 1.234,50" },
        TFormatCase { "'R$ '#,##0.00", -1234.5, "-R$ 1.234,50" }, TFormatCase { "\"#0.;\"0", 3.0, "#0.;3" },
        TFormatCase { "0 'kg'", 3.0, "3 kg" }, TFormatCase { "0.00;(0.00)", -5.0, "(5,00)" },
        TFormatCase { "0.00;(0.00)", 5.0, "5,00" }, TFormatCase { "0.00;(0.00);'zero'", 0.0, "zero" },
        TFormatCase { "0.00;(0.00);'zero'", -0.001, "zero" }, TFormatCase { "0.00;;'zero'", -1.0, "-1,00" },
        TFormatCase { "0.00;;'zero'", 0.0, "zero" }, TFormatCase { "0.00;(0.00);", 0.0, "0,00" },
        TFormatCase { "0;'n'0;'z'0;'ignored'", -4.0, "n4" },
        TFormatCase { "0;'n'0;'z'0;'ignored'", 0.0, "z0" }, TFormatCase { "'abc'", 5.0, "abc" }));

INSTANTIATE_TEST_SUITE_P(Scientific, FormatFloatBrazil,
    ::testing::Values(TFormatCase { "0.00E+00", 1234.0, "1,23E+03" },
        TFormatCase { "0.00E+00", 0.000123, "1,23E-04" }, TFormatCase { "0.00E-00", 1234.0, "1,23E03" },
        TFormatCase { "0.00E-00", 0.000123, "1,23E-04" }, TFormatCase { "0.0e-0", 0.05, "5,0e-2" },
        TFormatCase { "0.00E+00", 0.0, "0,00E+00" }, TFormatCase { "0.00E+00", 9.999, "1,00E+01" },
        TFormatCase { "00.0E+0", 1234.0, "12,3E+2" }, TFormatCase { "0.##E+000", 1500.0, "1,5E+003" },
        TFormatCase { "0.00E+00", -1234.0, "-1,23E+03" }, TFormatCase { "0.0E+0 'x'", 1e100, "1,0E+100 x" }));

// Without a format the general format applies; values without digits get fixed texts.
INSTANTIATE_TEST_SUITE_P(GeneralAndNonFinite, FormatFloatBrazil,
    ::testing::Values(TFormatCase { "", 12.5, "12,5" }, TFormatCase { "", 1.5e20, "1,5E20" },
        TFormatCase { "#,##0.00", std::nan(""), "NAN" }, TFormatCase { "#,##0.00", Infinity, "INF" },
        TFormatCase { "#,##0.00", -Infinity, "-INF" }, TFormatCase { "0.00E+00", Infinity, "INF" }));

TEST(FormatFloatTest, UsesTheSeparatorsOfTheInjectedLocale)
{
    EXPECT_EQ(FormatFloat("#,###,##0.00", 1234567.891, UnitedStates()), "1,234,567.89");
    TFormatSettings custom = Brazil();
    custom.ThousandSeparator = u' ';
    custom.DecimalSeparator = u'\'';
    EXPECT_EQ(FormatFloat("#,##0.00", 1234.5, custom), "1 234'50");
}

TEST(FormatFloatTest, HugeValuesStayBoundedAndExact)
{
    const QString text = FormatFloat("0.00", std::numeric_limits<double>::max(), Brazil());
    EXPECT_EQ(text.size(), 309 + 3);
    EXPECT_TRUE(text.startsWith("179769313486232")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("000,00"));
}

struct TGeneralCase
{
    double Value;
    const char* Expected;
};

class FloatToStrBrazil : public ::testing::TestWithParam<TGeneralCase>
{
};

TEST_P(FloatToStrBrazil, GivesFifteenSignificantDigits)
{
    const TGeneralCase& c = GetParam();
    EXPECT_EQ(FloatToStr(c.Value, Brazil()), QString::fromUtf8(c.Expected)) << c.Value;
}

INSTANTIATE_TEST_SUITE_P(Cases, FloatToStrBrazil,
    ::testing::Values(TGeneralCase { 0.0, "0" }, TGeneralCase { -0.0, "0" }, TGeneralCase { 12.5, "12,5" },
        TGeneralCase { 0.1, "0,1" }, TGeneralCase { 0.1 + 0.2, "0,3" }, TGeneralCase { 100.0, "100" },
        TGeneralCase { -2.5, "-2,5" }, TGeneralCase { 1.0 / 3.0, "0,333333333333333" },
        TGeneralCase { 2.0 / 3.0, "0,666666666666667" }, TGeneralCase { 1.5e20, "1,5E20" },
        TGeneralCase { 1e15, "1E15" }, TGeneralCase { 123456789012345.0, "123456789012345" },
        TGeneralCase { 999999999999999.9, "1E15" }, TGeneralCase { 0.0001, "0,0001" },
        TGeneralCase { 0.00012, "0,00012" }, TGeneralCase { 1e-5, "0,00001" },
        TGeneralCase { 1.5e-5, "0,000015" }, TGeneralCase { 9.5e-6, "9,5E-6" },
        TGeneralCase { -1.25e-7, "-1,25E-7" }, TGeneralCase { 1e308, "1E308" },
        TGeneralCase { 5e-324, "4,94065645841247E-324" }, TGeneralCase { std::nan(""), "NAN" },
        TGeneralCase { -Infinity, "-INF" }));

TEST(FloatToStrTest, UsesTheInjectedDecimalSeparator)
{
    EXPECT_EQ(FloatToStr(12.5, UnitedStates()), "12.5");
    EXPECT_EQ(FloatToStr(1.5e20, UnitedStates()), "1.5E20");
}

// The shortcut for everyday magnitudes must give the very digits of the library's correctly rounded
// conversion, including products such as 12.3 x 4.5 that sit next to a rounding half.
TEST(FloatToStrTest, FifteenDigitsAgreeWithTheCorrectlyRoundedConversion)
{
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-7, 16);
    std::uniform_int_distribution<int> cents(0, 99999999);
    auto reference = [](double value) {
        char buffer[64];
        const auto end
            = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14).ptr;
        double exact = 0;
        std::from_chars(buffer, end, exact);
        return exact;
    };
    auto shown = [](double value) {
        QString text = FloatToStr(value, UnitedStates());
        const QByteArray bytes = text.toLatin1();
        double read = 0;
        std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), read);
        return read;
    };
    int mismatches = 0;
    for (int i = 0; i < 300000 && mismatches < 5; ++i) {
        double value = 0;
        switch (i % 3) {
        case 0:
            value = mantissa(random) * std::pow(10.0, exponent(random));
            break;
        case 1:
            value = double(cents(random)) / 100.0 * (double(cents(random) % 1000) / 10.0);
            break;
        default:
            value = double(cents(random)) / 1000.0 * 3.0;
            break;
        }
        if (i % 2)
            value = -value;
        // Only the significant digits are shown: no zero at the end of a fraction, no lone point.
        const QString text = FloatToStr(value, UnitedStates());
        const bool trailingZero = text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('E'))
            && (text.endsWith(QLatin1Char('0')) || text.endsWith(QLatin1Char('.')));
        if (shown(value) != reference(value) || trailingZero) {
            ADD_FAILURE() << "value " << value << " shown as "
                          << FloatToStr(value, UnitedStates()).toStdString();
            ++mismatches;
        }
    }
    // Values on either side of each power of ten, where the magnitude is guessed.
    for (int e = -6; e <= 16; ++e) {
        const double power = std::pow(10.0, e);
        for (double value : { std::nextafter(power, 0.0), power, std::nextafter(power, 1e300) })
            EXPECT_EQ(shown(value), reference(value)) << value;
    }
    EXPECT_EQ(FloatToStr(999999999999999.4, UnitedStates()), "999999999999999");
    EXPECT_EQ(FloatToStr(99999.99999999999, UnitedStates()), "100000");
}

struct TReadCase
{
    const char* Text;
    bool Valid;
    double Expected;
};

class StrToFloatBrazil : public ::testing::TestWithParam<TReadCase>
{
};

TEST_P(StrToFloatBrazil, ReadsOnlyTheLocaleNotation)
{
    const TReadCase& c = GetParam();
    const QString text = QString::fromUtf8(c.Text);
    double value = -777.0;
    EXPECT_EQ(TryStrToFloat(text, value, Brazil()), c.Valid) << c.Text;
    const double expected = c.Valid ? c.Expected : -1.0;
    EXPECT_EQ(StrToFloatDef(text, -1.0, Brazil()), expected) << c.Text;
}

INSTANTIATE_TEST_SUITE_P(Valid, StrToFloatBrazil,
    ::testing::Values(TReadCase { "12,5", true, 12.5 }, TReadCase { "  12,5  ", true, 12.5 },
        TReadCase { "\t7\n", true, 7.0 }, TReadCase { "-3", true, -3.0 }, TReadCase { "+3", true, 3.0 },
        TReadCase { ",5", true, 0.5 }, TReadCase { "5,", true, 5.0 }, TReadCase { "1,5E3", true, 1500.0 },
        TReadCase { "1e-2", true, 0.01 }, TReadCase { "-2,5e+1", true, -25.0 },
        TReadCase { "1e-400", true, 0.0 }, TReadCase { "0e999999999999999999999", true, 0.0 },
        TReadCase { "1234567,891", true, 1234567.891 }));

INSTANTIATE_TEST_SUITE_P(Invalid, StrToFloatBrazil,
    ::testing::Values(TReadCase { "", false, 0 }, TReadCase { "   ", false, 0 },
        TReadCase { "abc", false, 0 }, TReadCase { "12,5x", false, 0 }, TReadCase { "1.234,5", false, 0 },
        TReadCase { "1.234", false, 0 }, TReadCase { "12.5", false, 0 }, TReadCase { "1 000", false, 0 },
        TReadCase { ",", false, 0 }, TReadCase { "-", false, 0 }, TReadCase { "--1", false, 0 },
        TReadCase { "1,2,3", false, 0 }, TReadCase { "1e", false, 0 }, TReadCase { "1e+", false, 0 },
        TReadCase { "e5", false, 0 }, TReadCase { "1e400", false, 0 }, TReadCase { "inf", false, 0 },
        TReadCase { "nan", false, 0 }, TReadCase { "0x10", false, 0 }, TReadCase { "١٢", false, 0 }));

TEST(StrToFloatTest, EnglishLocaleTakesThePointAndRejectsTheComma)
{
    EXPECT_EQ(StrToFloatDef("12.5", 0, UnitedStates()), 12.5);
    EXPECT_EQ(StrToFloatDef("1,234", -1, UnitedStates()), -1);
}

TEST(StrToFloatTest, StrictFormNamesTheBadText)
{
    try {
        StrToFloat("abc", Brazil());
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'abc' is not a valid floating point value");
    }
    EXPECT_EQ(StrToFloat("2,5", Brazil()), 2.5);
}

TEST(StrToFloatTest, GeneralTextReadsBackAsTheSameFifteenDigits)
{
    for (const double value :
        { 12.5, 0.1 + 0.2, 1.0 / 3.0, -1.25e-7, 1.5e20, 123456789012345.0, 5e-324, 1e308 }) {
        const QString text = FloatToStr(value, Brazil());
        double back = 0;
        ASSERT_TRUE(TryStrToFloat(text, back, Brazil())) << text.toStdString();
        EXPECT_EQ(FloatToStr(back, Brazil()), text);
    }
}

TEST(FormatSettingsTest, BrazilianSettings)
{
    const TFormatSettings& s = Brazil();
    EXPECT_EQ(s.DecimalSeparator, u',');
    EXPECT_EQ(s.ThousandSeparator, u'.');
    EXPECT_EQ(s.ShortDateFormat, "dd/MM/yyyy");
    EXPECT_EQ(s.TimeFormat, "hh:mm:ss");
}

TEST(FormatSettingsTest, CLocaleStandsForUnitedStatesEnglish)
{
    const TFormatSettings c = FormatSettingsFor(QLocale::c());
    EXPECT_EQ(c.DecimalSeparator, u'.');
    EXPECT_EQ(c.ThousandSeparator, u',');
    EXPECT_EQ(DateToStr(QDate(2026, 12, 8), c), "12/8/2026");
}

TEST(FormatSettingsTest, DefaultSettingsFollowTheSystemLocale)
{
    if (QLocale::system().name() != QLatin1String("pt_BR"))
        GTEST_SKIP() << "needs LC_ALL=pt_BR.UTF-8, as the test suite sets";
    EXPECT_EQ(DefaultFormatSettings().DecimalSeparator, u',');
    EXPECT_EQ(FormatFloat("#,###,##0.00", 1234567.891), "1.234.567,89");
    EXPECT_EQ(FloatToStr(12.5), "12,5");
}

TEST(DateTimeTextTest, BrazilianDatesAndTimes)
{
    const QDate date(2026, 12, 8);
    EXPECT_EQ(DateToStr(date, Brazil()), "08/12/2026");
    EXPECT_EQ(LongDateToStr(date, Brazil()), QString::fromUtf8("terça-feira, 8 de dezembro de 2026"));
    EXPECT_EQ(TimeToStr(QTime(14, 5, 9), Brazil()), "14:05:09");
    EXPECT_EQ(TimeToStr(QTime(9, 5, 0), Brazil()), "09:05:00");
    EXPECT_EQ(DateTimeToStr(QDateTime(date, QTime(14, 5, 9)), Brazil()), "08/12/2026 14:05:09");
    EXPECT_EQ(FormatDateTime("MMMM yyyy", QDateTime(date, QTime(0, 0)), Brazil()), "dezembro 2026");
}

TEST(DateTimeTextTest, DateTimeLeavesOutAnExactMidnightOnly)
{
    const QDate date(2026, 12, 8);
    EXPECT_EQ(DateTimeToStr(QDateTime(date, QTime(0, 0)), Brazil()), "08/12/2026");
    EXPECT_EQ(DateTimeToStr(QDateTime(date, QTime(0, 0, 0, 1)), Brazil()), "08/12/2026 00:00:00");
    EXPECT_EQ(DateTimeToStr(QDateTime(date, QTime(0, 0, 1)), Brazil()), "08/12/2026 00:00:01");
}

TEST(DateTimeTextTest, InvalidValuesGiveEmptyTexts)
{
    EXPECT_EQ(DateToStr(QDate(), Brazil()), "");
    EXPECT_EQ(LongDateToStr(QDate(), Brazil()), "");
    EXPECT_EQ(TimeToStr(QTime(), Brazil()), "");
    EXPECT_EQ(DateTimeToStr(QDateTime(), Brazil()), "");
}

TEST(DateTimeTextTest, OtherLocalesUseTheirOwnPatternsWithFourDigitYears)
{
    const QDate date(2026, 12, 8);
    EXPECT_EQ(DateToStr(date, UnitedStates()), "12/8/2026");
    EXPECT_EQ(TimeToStr(QTime(14, 5, 9), UnitedStates()), "2:05:09 PM");
    EXPECT_EQ(DateToStr(date, FormatSettingsFor(QLocale(QLocale::German, QLocale::Germany))), "08.12.2026");
    EXPECT_EQ(
        TimeToStr(QTime(14, 5, 9), FormatSettingsFor(QLocale(QLocale::Spanish, QLocale::Spain))), "14:05:09");
}

struct TLanguageCase
{
    QLocale Locale;
    int Expected;
};

TEST(LocalePrimaryLanguageTest, MapsLanguagesToPlatformIdentifiers)
{
    const TLanguageCase cases[] = {
        { QLocale(QLocale::Portuguese, QLocale::Brazil), 0x16 },
        { QLocale(QLocale::Portuguese, QLocale::Portugal), 0x16 },
        { QLocale(QLocale::French, QLocale::France), 0x0C },
        { QLocale(QLocale::Spanish, QLocale::Spain), 0x0A },
        { QLocale(QLocale::German, QLocale::Germany), 0x07 },
        { QLocale(QLocale::Italian, QLocale::Italy), 0x10 },
        { QLocale(QLocale::Dutch, QLocale::Netherlands), 0x13 },
        { QLocale(QLocale::English, QLocale::UnitedStates), 0x09 },
        { QLocale(QLocale::English, QLocale::UnitedKingdom), 0x09 },
        { QLocale::c(), 0x09 },
        { QLocale(QStringLiteral("POSIX")), 0x09 },
        { QLocale(QLocale::Japanese, QLocale::Japan), 0x11 },
        { QLocale(QLocale::Serbian), 0x1A },
        { QLocale(QLocale::Esperanto), 0x00 },
    };
    for (const TLanguageCase& c : cases)
        EXPECT_EQ(LocalePrimaryLanguage(c.Locale), c.Expected) << c.Locale.name().toStdString();
}

// --- locale-free float texts for files ----------------------------------------------------------

TEST(FloatTextTest, FloatToTextWritesFourDecimalsWithAPointWhateverTheLocale)
{
    const std::pair<double, const char*> cases[] = {
        { 210.0, "210.0000" },
        { -0.5, "-0.5000" },
        { 0.0, "0.0000" },
        { 0.75, "0.7500" }, // "0,7500" if the Brazilian locale leaked in
        { 1234567.0, "1234567.0000" }, // no thousands separator
        { 1.23456, "1.2346" },
        { 1.23454, "1.2345" },
        { 0.99995, "1.0000" },
        { 2.00005, "2.0000" }, // stored just below the half
        { 0.00005, "0.0001" }, // stored just above the half
        { 0.03125, "0.0313" }, // exactly halfway: away from zero
        { 0.09375, "0.0938" },
        { -0.03125, "-0.0313" },
        { 2.5 / 10000.0 * 0.1, "0.0000" },
        { -0.00001, "0.0000" }, // no "-0.0000"
        { -0.0, "0.0000" },
        { 1e20, "100000000000000000000.0000" },
        { -123456789.12345678, "-123456789.1235" },
        { std::numeric_limits<double>::quiet_NaN(), "NAN" },
        { std::numeric_limits<double>::infinity(), "INF" },
        { -std::numeric_limits<double>::infinity(), "-INF" },
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(FloatToText(value), QString::fromLatin1(expected)) << value;
    EXPECT_EQ(FloatToText(std::numeric_limits<double>::max()).size(), 309 + 5);
}

TEST(FloatTextTest, TextToFloatReadsTheNotationAndRefusesEverythingElse)
{
    constexpr double Default = -7.25;
    const std::pair<const char*, double> cases[] = {
        { "210.0000", 210.0 },
        { "-0.5000", -0.5 },
        { "0", 0.0 },
        { "1e3", 1000.0 },
        { "1.5E-2", 0.015 },
        { "2.5e+1", 25.0 },
        { ".5", 0.5 },
        { " 12.5 ", 12.5 },
        { "0,5", Default }, // the Brazilian decimal comma is not the notation
        { "1.234,5", Default },
        { "12abc", Default },
        { "abc", Default },
        { "", Default },
        { "   ", Default },
        { "-", Default },
        { "1e", Default },
        { "--1", Default },
        { "+1", Default },
        { "1 2", Default },
        { "0x10", Default },
        { "inf", Default },
        { "-INF", Default },
        { "nan", Default },
        { "NAN", Default },
        { "1e999", Default },
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(TextToFloat(QString::fromLatin1(text), Default), expected) << '"' << text << '"';
    EXPECT_EQ(TextToFloat(QString::fromUtf16(u"١٢"), Default), Default); // digits of another script
    EXPECT_EQ(TextToFloat(QString::fromUtf16(u"1\u00A0"), Default), Default);
}

TEST(FloatTextTest, FloatTextRoundTripKeepsFourDecimals)
{
    for (const double value :
        { 0.0, 1.0, -1.0, 3.14159265, -2.71828, 1e-5, 123456.78905, 297.0 / 25.4 * 96.0 }) {
        const double back = TextToFloat(FloatToText(value), std::nan(""));
        EXPECT_NEAR(back, value, 0.00005 + 1e-12) << value;
        EXPECT_EQ(FloatToText(back), FloatToText(value)) << value;
    }
}

} // namespace
