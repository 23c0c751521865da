#pragma once
// Number and date texts as the desktop platform wrote and read them, with the separators and date
// patterns of a locale. Everything takes its settings as an argument that defaults to the settings of
// the process's locale (QLocale::system(), from LANG / LC_*), so tests can inject any locale.
//
// Number rules that the rest of the system relies on:
// - A value is first taken to 15 significant digits, then rounded to the digits a format shows, with
//   halves away from zero (0.125 with "0.00" is "0,13" in Brazil; 3 x 1.005 is "3,02").
// - A result that rounds to zero never carries a minus sign ("0,00", not "-0,00").
// - NaN and infinities print as "NAN", "INF" and "-INF" whatever the format.
// - Reading accepts the locale's decimal separator only; thousands separators make a text invalid.
//
// Date and time patterns in TFormatSettings use QLocale's pattern language ("dd/MM/yyyy", "hh:mm:ss").
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

struct TFormatSettings
{
    QChar DecimalSeparator { u'.' };
    QChar ThousandSeparator { u',' };
    QString ShortDateFormat { QStringLiteral("MM/dd/yyyy") };
    QString LongDateFormat { QStringLiteral("dddd, MMMM d, yyyy") };
    // The long time pattern (with seconds), as date-and-time texts use it.
    QString TimeFormat { QStringLiteral("hh:mm:ss") };
    QString ShortTimeFormat { QStringLiteral("hh:mm") };
    QString CurrencyString { QStringLiteral("$") };
    // Supplies day and month names and the AM/PM texts of the patterns.
    QLocale Locale { QLocale::c() };
};

// The settings of a locale. The "C"/POSIX locale stands for US English, as the platform had no other
// notion of it.
TFormatSettings FormatSettingsFor(const QLocale& locale);
// The settings of QLocale::system(), computed on first use and kept for the life of the process.
const TFormatSettings& DefaultFormatSettings();

// Formats value with a pattern of "0" (forced digit), "#" (optional digit), "." (decimal separator),
// "," (thousands grouping, anywhere before the decimal point), "E+"/"E-"/"e+"/"e-" followed by up to
// four "0" (scientific), quoted literal text and up to three sections "positive;negative;zero". An
// empty format gives the general format (FloatToStr).
QString FormatFloat(
    const QString& format, double value, const TFormatSettings& settings = DefaultFormatSettings());

// The general format at 15 significant digits: the shortest text, no trailing zeros, positional for
// decimal exponents from -5 to 14, else "1,5E20" / "1E-6" (0.00001 is still "0,00001").
QString FloatToStr(double value, const TFormatSettings& settings = DefaultFormatSettings());

// Reads "[blanks][sign]digits[separator digits][e[sign]digits][blanks]" in the locale's notation. A
// value too large for a double is invalid; one too small reads as zero.
bool TryStrToFloat(
    const QString& text, double& value, const TFormatSettings& settings = DefaultFormatSettings());
double StrToFloatDef(
    const QString& text, double defaultValue, const TFormatSettings& settings = DefaultFormatSettings());
// As TryStrToFloat, throwing EConvertError ("'abc' is not a valid floating point value") on failure.
double StrToFloat(const QString& text, const TFormatSettings& settings = DefaultFormatSettings());

// Invalid dates and times give an empty text.
QString DateToStr(const QDate& date, const TFormatSettings& settings = DefaultFormatSettings());
QString LongDateToStr(const QDate& date, const TFormatSettings& settings = DefaultFormatSettings());
QString TimeToStr(const QTime& time, const TFormatSettings& settings = DefaultFormatSettings());
// Short date, a blank and the time; the time is left out when it is exactly midnight.
QString DateTimeToStr(const QDateTime& dateTime, const TFormatSettings& settings = DefaultFormatSettings());
// A date-and-time pattern of QLocale's language, with the names of the settings' locale.
QString FormatDateTime(const QString& format, const QDateTime& dateTime,
    const TFormatSettings& settings = DefaultFormatSettings());

// The platform's primary language identifier (the low 10 bits of a language id) of the locale's
// language: 0x16 Portuguese, 0x0C French, 0x0A Spanish, 0x09 English, ... The "C"/POSIX locale counts
// as English. A language the platform had no identifier for gives 0 (neutral).
int LocalePrimaryLanguage(const QLocale& locale = QLocale::system());

// Fixed notation with exactly four decimals and "." as the point, whatever the locale: 210 gives
// "210.0000", -0.5 gives "-0.5000". Halves round away from zero; a value that rounds to zero has no
// sign. Infinities and NaN give "INF", "-INF" and "NAN", which TextToFloat refuses.
QString FloatToText(double value);
// The number in that notation (an exponent is accepted, surrounding blanks are ignored); any text
// that is not entirely a finite number of that form gives defaultValue.
double TextToFloat(const QString& text, double defaultValue);
