#include "platform/Format.h"

#include "platform/Exceptions.h"

#include <QStringList>
#include <QVarLengthArray>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// The digits of a TDecimal, held inline: a heap buffer per formatted number was a measurable part of
// printing a report. There are never more than 15 significant digits plus one from a carry.
class TDigits
{
public:
    qsizetype size() const { return FCount; }
    bool isEmpty() const { return FCount == 0; }
    char at(qsizetype i) const { return FData[i]; }
    char& operator[](qsizetype i) { return FData[i]; }
    void assign(const char* data, qsizetype count)
    {
        Q_ASSERT(count >= 0 && count < Capacity);
        std::memcpy(FData, data, std::size_t(count));
        FCount = count;
    }
    void truncate(qsizetype n) { FCount = qBound<qsizetype>(0, n, FCount); }
    void prepend(char c)
    {
        Q_ASSERT(FCount + 1 < Capacity);
        std::memmove(FData + 1, FData, std::size_t(FCount));
        FData[0] = c;
        ++FCount;
    }
    QLatin1StringView View() const { return QLatin1StringView(FData, FCount); }

private:
    static constexpr qsizetype Capacity = 32;
    char FData[Capacity];
    qsizetype FCount = 0;
};

// A non-negative value as decimal digits: value = 0.Digits x 10^Exponent. Digits has no leading and
// no trailing zeros; empty Digits is zero. Working on digits keeps the rounding exact and the output
// free of the C library's locale.
struct TDecimal
{
    TDigits Digits;
    int Exponent = 0;
    bool IsZero() const { return Digits.isEmpty(); }
};

void TrimTrailingZeros(TDecimal& d)
{
    qsizetype n = d.Digits.size();
    while (n > 0 && d.Digits.at(n - 1) == '0')
        --n;
    d.Digits.truncate(n);
    if (d.Digits.isEmpty())
        d.Exponent = 0;
}

// |value| taken to 15 significant digits by the C++ library's correctly rounded conversion.
TDecimal ToDecimal15Exact(double value)
{
    TDecimal d;
    char buffer[64];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const char* end = result.ptr;
    const char* e = buffer;
    while (e < end && *e != 'e')
        ++e;
    // Gathered first and stored at once: every number of every record passes through here.
    char digits[sizeof buffer];
    qsizetype count = 0;
    for (const char* p = buffer; p < e; ++p)
        if (*p >= '0' && *p <= '9')
            digits[count++] = *p;
    d.Digits.assign(digits, count);
    int exponent = 0;
    if (e < end)
        std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);
    d.Exponent = exponent + 1;
    TrimTrailingZeros(d);
    return d;
}

// Powers of ten that a double holds exactly.
constexpr double ExactPowersOfTen[] = { 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12,
    1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22 };

// |value| taken to 15 significant digits. value must be finite.
//
// Every number of every record passes through here, and the library's conversion at a fixed
// precision is slow. For the values reports show (1e-5 up to 1e15) the 15 digits are the value
// times an exact power of ten, rounded to an integer. That product is rounded once by the machine,
// by at most 1/16 (it stays below 2^50); the answer can differ from the exact rounding only when
// the product lies that close to a half, and then the exact conversion decides.
TDecimal ToDecimal15(double value)
{
    value = std::fabs(value);
    if (value == 0.0)
        return TDecimal();
    if (!(value >= 1e-5 && value < 1e15))
        return ToDecimal15Exact(value);
    // E = floor(log10(value)), first guessed by comparisons, then settled by the product's size.
    int exponent = 0;
    if (value >= 1.0) {
        while (exponent < 14 && value >= ExactPowersOfTen[exponent + 1])
            ++exponent;
    } else {
        exponent = -1;
        while (exponent > -5 && value * ExactPowersOfTen[-exponent] < 1.0)
            --exponent;
    }
    double scaled = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        scaled = value * ExactPowersOfTen[14 - exponent];
        if (scaled >= 1e15 && exponent < 14)
            ++exponent;
        else if (scaled < 1e14 && exponent > -5)
            --exponent;
        else
            break;
    }
    if (!(scaled >= 1e14 && scaled < 1e15))
        return ToDecimal15Exact(value);
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole; // exact: scaled < 2^50
    if (std::fabs(fraction - 0.5) <= 0.0626)
        return ToDecimal15Exact(value);
    uint64_t digits = uint64_t(whole) + (fraction > 0.5 ? 1 : 0);
    int decimalExponent = exponent + 1;
    if (digits >= 1000000000000000ULL) { // rounded up to the next power of ten
        digits /= 10;
        ++decimalExponent;
    }
    // The trailing zeros go first, in at most four steps (8 + 4 + 2 + 1 covers the 14 there can be):
    // prices and quantities have a handful of digits, and each digit written costs a division.
    int count = 15;
    for (const auto& [power, zeros] :
        { std::pair<uint64_t, int> { 100000000, 8 }, { 10000, 4 }, { 100, 2 }, { 10, 1 } })
        if (digits % power == 0) {
            digits /= power;
            count -= zeros;
        }
    char text[16];
    for (int i = count - 1; i >= 0; --i) {
        text[i] = char('0' + digits % 10);
        digits /= 10;
    }
    TDecimal d;
    d.Digits.assign(text, count);
    d.Exponent = decimalExponent;
    return d;
}

// Keeps the first `kept` digits (which may be zero or negative), rounding the rest half away from zero.
void RoundToDigitCount(TDecimal& d, qsizetype kept)
{
    if (d.IsZero() || kept >= d.Digits.size())
        return;
    if (kept < 0) {
        d = TDecimal();
        return;
    }
    const bool roundUp = d.Digits.at(kept) >= '5';
    d.Digits.truncate(kept);
    if (roundUp) {
        qsizetype i = kept - 1;
        while (i >= 0 && d.Digits.at(i) == '9') {
            d.Digits[i] = '0';
            --i;
        }
        if (i >= 0) {
            d.Digits[i] = char(d.Digits.at(i) + 1);
        } else {
            d.Digits.prepend('1');
            ++d.Exponent;
        }
    }
    TrimTrailingZeros(d);
}

void RoundToDecimals(TDecimal& d, int decimals)
{
    if (d.IsZero())
        return;
    RoundToDigitCount(d, qsizetype(d.Exponent) + decimals);
}

QString NonFiniteText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// ---- pattern formatting ----------------------------------------------------------------------------

QStringList SplitSections(const QString& format)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (const QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u';') {
            sections.append(current);
            current.clear();
            if (sections.size() == 3)
                return sections; // text after a third separator is ignored
            continue;
        }
        current.append(c);
    }
    sections.append(current);
    return sections;
}

// What one section asks for, found by a first walk over it.
struct TSectionLayout
{
    int IntegerPlaceholders = 0;
    int ForcedIntegerDigits = 0; // placeholders from the first '0' before the point to the point
    int FractionPlaceholders = 0;
    int ForcedFractionDigits = 0; // up to the last '0' after the point
    bool HasPoint = false;
    bool Thousands = false;
    bool Scientific = false;
    int ExponentDigits = 0;
    bool HasDigits() const { return IntegerPlaceholders + FractionPlaceholders > 0; }
};

bool IsExponentAt(const QString& s, qsizetype i)
{
    return (s.at(i) == u'E' || s.at(i) == u'e') && i + 1 < s.size()
        && (s.at(i + 1) == u'+' || s.at(i + 1) == u'-');
}

TSectionLayout AnalyseSection(const QString& s)
{
    TSectionLayout layout;
    int firstForced = -1;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\'' || c == u'"') {
            const qsizetype close = s.indexOf(c, i + 1);
            i = close < 0 ? s.size() : close;
        } else if (c == u'0' || c == u'#') {
            if (layout.HasPoint) {
                ++layout.FractionPlaceholders;
                if (c == u'0')
                    layout.ForcedFractionDigits = layout.FractionPlaceholders;
            } else {
                if (c == u'0' && firstForced < 0)
                    firstForced = layout.IntegerPlaceholders;
                ++layout.IntegerPlaceholders;
            }
        } else if (c == u'.') {
            layout.HasPoint = true;
        } else if (c == u',') {
            if (!layout.HasPoint)
                layout.Thousands = true;
        } else if (IsExponentAt(s, i)) {
            layout.Scientific = true;
            i += 2;
            while (i < s.size() && s.at(i) == u'0') {
                ++layout.ExponentDigits;
                ++i;
            }
            layout.ExponentDigits = qMin(layout.ExponentDigits, 4);
            break; // what follows the exponent is literal text
        }
    }
    if (firstForced >= 0)
        layout.ForcedIntegerDigits = layout.IntegerPlaceholders - firstForced;
    if (layout.Scientific)
        layout.Thousands = false;
    return layout;
}

// A run of digit characters; short runs, the usual case, stay off the heap.
using TDigitRun = QVarLengthArray<char, 48>;

void AppendZeros(TDigitRun& run, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        run.append('0');
}

void AppendDigits(TDigitRun& run, const TDigits& digits, qsizetype from, qsizetype to)
{
    for (qsizetype i = qMax<qsizetype>(0, from); i < qMin(to, digits.size()); ++i)
        run.append(digits.at(i));
}

// The digits to place, decided before the second walk.
struct TPlacedNumber
{
    TDigitRun Integer; // already padded to the forced digits
    TDigitRun Fraction; // already trimmed between the forced and the available digits
    bool ExponentNegative = false;
    int Exponent = 0;
};

TPlacedNumber PlacePositional(const TDecimal& d, const TSectionLayout& layout)
{
    TPlacedNumber placed;
    if (!d.IsZero()) {
        if (d.Exponent > 0) {
            AppendDigits(placed.Integer, d.Digits, 0, d.Exponent);
            AppendZeros(placed.Integer, d.Exponent - placed.Integer.size());
            AppendDigits(placed.Fraction, d.Digits, d.Exponent, d.Digits.size());
        } else {
            AppendZeros(placed.Fraction, -d.Exponent);
            AppendDigits(placed.Fraction, d.Digits, 0, d.Digits.size());
        }
    }
    if (placed.Integer.size() < layout.ForcedIntegerDigits)
        placed.Integer.insert(
            placed.Integer.begin(), layout.ForcedIntegerDigits - placed.Integer.size(), '0');
    AppendZeros(placed.Fraction, layout.ForcedFractionDigits - placed.Fraction.size());
    return placed;
}

TPlacedNumber PlaceScientific(const TDecimal& d, const TSectionLayout& layout)
{
    TPlacedNumber placed;
    const int mantissaIntegers = qMax(layout.IntegerPlaceholders, 1);
    if (d.IsZero()) {
        AppendZeros(placed.Integer, qMax(layout.ForcedIntegerDigits, 1));
        AppendZeros(placed.Fraction, layout.ForcedFractionDigits);
        return placed;
    }
    AppendDigits(placed.Integer, d.Digits, 0, mantissaIntegers);
    AppendZeros(placed.Integer, mantissaIntegers - placed.Integer.size());
    AppendDigits(placed.Fraction, d.Digits, mantissaIntegers, d.Digits.size());
    AppendZeros(placed.Fraction, layout.ForcedFractionDigits - placed.Fraction.size());
    const int exponent = d.Exponent - mantissaIntegers;
    placed.ExponentNegative = exponent < 0;
    placed.Exponent = std::abs(exponent);
    return placed;
}

// Rounds |value| as the section shows it.
TDecimal RoundForSection(double value, const TSectionLayout& layout)
{
    TDecimal d = ToDecimal15(value);
    if (layout.Scientific)
        RoundToDigitCount(d, qMax(layout.IntegerPlaceholders, 1) + layout.FractionPlaceholders);
    else
        RoundToDecimals(d, layout.FractionPlaceholders);
    return d;
}

// Second walk: literal text stays where it is, digits fill the placeholders from the point outwards,
// integer digits beyond the placeholders go in front of the first one.
QString EmitSection(const QString& s, const TSectionLayout& layout, const TPlacedNumber& placed,
    const TFormatSettings& settings)
{
    // Gathered on the stack and made a string once: every number of every record passes through
    // here, and appending to a QString checks its capacity and sharing for every character.
    struct TOutput
    {
        QVarLengthArray<QChar, 96> Chars;
        void append(QChar c) { Chars.append(c); }
        void append(char16_t c) { Chars.append(QChar(c)); }
        void append(QStringView v) { Chars.append(v.data(), v.size()); }
        void append(const QString& v) { Chars.append(v.constData(), v.size()); }
    } out;
    const TDigitRun& integer = placed.Integer;
    const qsizetype n = integer.size();
    const qsizetype p = layout.IntegerPlaceholders;

    auto emitIntegerDigit = [&](qsizetype index) {
        out.append(QChar::fromLatin1(integer.at(index)));
        const qsizetype fromRight = n - 1 - index;
        if (layout.Thousands && fromRight > 0 && fromRight % 3 == 0)
            out.append(settings.ThousandSeparator);
    };

    // Copies the quoted text that starts at `open` and returns the index of its closing quote (an
    // unclosed quote runs to the end).
    auto appendQuoted = [&](qsizetype open) {
        const qsizetype close = s.indexOf(s.at(open), open + 1);
        const qsizetype end = close < 0 ? s.size() : close;
        out.append(QStringView(s).mid(open + 1, end - open - 1));
        return end;
    };

    qsizetype integerIndex = 0;
    qsizetype fractionIndex = 0;
    bool pointDone = false;
    bool integersOut = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\'' || c == u'"') {
            i = appendQuoted(i);
        } else if ((c == u'0' || c == u'#') && !pointDone) {
            if (integerIndex == 0) {
                for (qsizetype k = 0; k < n - p; ++k)
                    emitIntegerDigit(k);
                integersOut = true;
            }
            const qsizetype fromRight = p - 1 - integerIndex;
            if (fromRight < n)
                emitIntegerDigit(n - 1 - fromRight);
            ++integerIndex;
        } else if (c == u'0' || c == u'#') {
            if (fractionIndex < placed.Fraction.size())
                out.append(QChar::fromLatin1(placed.Fraction.at(fractionIndex)));
            ++fractionIndex;
        } else if (c == u'.') {
            if (pointDone)
                continue;
            pointDone = true;
            if (!integersOut) {
                for (qsizetype k = 0; k < n; ++k)
                    emitIntegerDigit(k);
                integersOut = true;
            }
            if (!placed.Fraction.isEmpty())
                out.append(settings.DecimalSeparator);
        } else if (c == u',') {
            continue;
        } else if (layout.Scientific && IsExponentAt(s, i)) {
            out.append(c);
            const bool plusForm = s.at(i + 1) == u'+';
            if (placed.ExponentNegative)
                out.append(u'-');
            else if (plusForm)
                out.append(u'+');
            QString digits = QString::number(placed.Exponent);
            if (digits.size() < layout.ExponentDigits)
                digits.prepend(QString(layout.ExponentDigits - digits.size(), u'0'));
            out.append(digits);
            i += 1;
            while (i + 1 < s.size() && s.at(i + 1) == u'0')
                ++i;
            // The rest is literal text, placeholders included.
            for (++i; i < s.size(); ++i) {
                const QChar t = s.at(i);
                if (t == u'\'' || t == u'"')
                    i = appendQuoted(i);
                else
                    out.append(t);
            }
            break;
        } else {
            out.append(c);
        }
    }
    return QString(out.Chars.constData(), out.Chars.size());
}

QString FormatWithSection(const QString& section, const TDecimal& rounded, const TSectionLayout& layout,
    const TFormatSettings& settings)
{
    if (!layout.HasDigits())
        return EmitSection(section, layout, TPlacedNumber(), settings);
    const TPlacedNumber placed
        = layout.Scientific ? PlaceScientific(rounded, layout) : PlacePositional(rounded, layout);
    return EmitSection(section, layout, placed, settings);
}

// A format's sections and their layouts. Reports format every number of every record with the
// same few patterns, so the analysis is kept per format text (see AnalysedFormat).
struct TAnalysedFormat
{
    QString Format;
    QStringList Sections;
    TSectionLayout Layouts[3];
};

// The analysis of format, from a small per-thread cache keyed by the whole format text. An entry
// depends on nothing but that text (the separators are applied later), so it never goes stale; when
// the cache is full the oldest entry is replaced.
const TAnalysedFormat& AnalysedFormat(const QString& format)
{
    constexpr int Slots = 8;
    thread_local TAnalysedFormat cache[Slots];
    thread_local int used = 0;
    thread_local int next = 0;
    for (int i = 0; i < used; ++i)
        if (cache[i].Format == format)
            return cache[i];
    TAnalysedFormat& entry = cache[next];
    next = (next + 1) % Slots;
    used = qMax(used, next == 0 ? Slots : next);
    entry.Format = format;
    entry.Sections = SplitSections(format);
    for (int i = 0; i < 3; ++i)
        entry.Layouts[i]
            = i < entry.Sections.size() ? AnalyseSection(entry.Sections.at(i)) : TSectionLayout();
    return entry;
}

// A time pattern without the time-zone fields, which the platform's time texts never had.
QString WithoutTimeZone(const QString& pattern)
{
    QString out;
    QChar quote;
    for (const QChar c : pattern) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'') {
            quote = c;
        } else if (c == u't') {
            continue;
        }
        out.append(c);
    }
    out.remove(QStringLiteral("()"));
    return out.trimmed();
}

// Four-digit years: a two-digit year in a short date is ambiguous in a report about stock.
QString WithFullYear(const QString& pattern)
{
    if (pattern.contains(QStringLiteral("yyyy")) || !pattern.contains(QStringLiteral("yy")))
        return pattern;
    QString out = pattern;
    out.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return out;
}

// In QLocale's language "hh" is the 24-hour clock unless an AM/PM field is present, so the
// platform's spelling "hh:mm:ss" can be kept for 24-hour locales.
QString WithPlatformHours(const QString& pattern)
{
    if (pattern.contains(u'a', Qt::CaseInsensitive))
        return pattern;
    QString out = pattern;
    out.replace(u'H', u'h');
    return out;
}

} // namespace

TFormatSettings FormatSettingsFor(const QLocale& requested)
{
    const QLocale locale
        = requested.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : requested;
    TFormatSettings settings;
    const QString point = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    settings.DecimalSeparator = point.isEmpty() ? QChar(u'.') : point.at(0);
    settings.ThousandSeparator = group.isEmpty() ? QChar(u',') : group.at(0);
    settings.ShortDateFormat = WithFullYear(locale.dateFormat(QLocale::ShortFormat));
    settings.LongDateFormat = locale.dateFormat(QLocale::LongFormat);
    settings.TimeFormat = WithPlatformHours(WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    settings.ShortTimeFormat = WithPlatformHours(WithoutTimeZone(locale.timeFormat(QLocale::ShortFormat)));
    settings.CurrencyString = locale.currencySymbol();
    settings.Locale = locale;
    return settings;
}

const TFormatSettings& DefaultFormatSettings()
{
    static const TFormatSettings settings = FormatSettingsFor(QLocale::system());
    return settings;
}

QString FloatToStr(double value, const TFormatSettings& settings)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const TDecimal d = ToDecimal15(value);
    if (d.IsZero())
        return QStringLiteral("0");
    QString out;
    out.reserve(24 + qMax(0, d.Exponent));
    if (value < 0)
        out.append(u'-');
    const int scientificExponent = d.Exponent - 1;
    // Fixed while the integer digits fit the 15 of precision and the value is at least 0.00001.
    if (scientificExponent >= 15 || scientificExponent < -5) {
        out.append(QChar::fromLatin1(d.Digits.at(0)));
        if (d.Digits.size() > 1) {
            out.append(settings.DecimalSeparator);
            out.append(d.Digits.View().mid(1));
        }
        out.append(u'E');
        out.append(QString::number(scientificExponent));
        return out;
    }
    if (d.Exponent <= 0) {
        out.append(u'0');
        out.append(settings.DecimalSeparator);
        out.append(QString(-d.Exponent, u'0'));
        out.append(d.Digits.View());
        return out;
    }
    const qsizetype shown = qMin<qsizetype>(d.Digits.size(), d.Exponent);
    out.append(d.Digits.View().left(shown));
    for (qsizetype i = shown; i < d.Exponent; ++i)
        out.append(u'0');
    if (d.Digits.size() > d.Exponent) {
        out.append(settings.DecimalSeparator);
        out.append(d.Digits.View().mid(d.Exponent));
    }
    return out;
}

QString FormatFloat(const QString& format, double value, const TFormatSettings& settings)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    if (format.isEmpty())
        return FloatToStr(value, settings);

    const TAnalysedFormat& analysed = AnalysedFormat(format);
    const QStringList& sections = analysed.Sections;
    const bool hasNegative = sections.size() > 1 && !sections.at(1).isEmpty();
    const bool hasZero = sections.size() > 2 && !sections.at(2).isEmpty();

    const bool negative = value < 0;
    const int chosen = negative && hasNegative ? 1 : 0;
    const TSectionLayout& layout = analysed.Layouts[chosen];
    const TDecimal rounded = RoundForSection(value, layout);

    if (rounded.IsZero()) {
        // Zero as shown: the zero section, else the positive one, and never a minus sign.
        const int zero = hasZero ? 2 : 0;
        return FormatWithSection(sections.at(zero), TDecimal(), analysed.Layouts[zero], settings);
    }
    QString text = FormatWithSection(sections.at(chosen), rounded, layout, settings);
    if (negative && !hasNegative)
        text.prepend(u'-');
    return text;
}

bool TryStrToFloat(const QString& text, double& value, const TFormatSettings& settings)
{
    const QString s = text.trimmed();
    // On the stack for the usual lengths: three numbers of every record pass through here.
    QVarLengthArray<char, 64> ascii;
    ascii.reserve(s.size());
    qsizetype i = 0;
    const qsizetype n = s.size();
    bool negative = false;
    if (i < n && (s.at(i) == u'+' || s.at(i) == u'-')) {
        negative = s.at(i) == u'-';
        ascii.push_back(negative ? '-' : '+');
        ++i;
    }
    // Decimal magnitude of the mantissa, to tell an underflow from an overflow.
    long long magnitude = 0;
    bool seenNonZero = false;
    int mantissaDigits = 0;
    while (i < n && s.at(i).unicode() >= '0' && s.at(i).unicode() <= '9') {
        const char digit = char(s.at(i).unicode());
        if (digit != '0')
            seenNonZero = true;
        if (seenNonZero)
            ++magnitude;
        ascii.push_back(digit);
        ++mantissaDigits;
        ++i;
    }
    if (i < n && s.at(i) == settings.DecimalSeparator) {
        ascii.push_back('.');
        ++i;
        while (i < n && s.at(i).unicode() >= '0' && s.at(i).unicode() <= '9') {
            const char digit = char(s.at(i).unicode());
            if (!seenNonZero) {
                if (digit != '0')
                    seenNonZero = true;
                else
                    --magnitude;
            }
            ascii.push_back(digit);
            ++mantissaDigits;
            ++i;
        }
    }
    if (mantissaDigits == 0)
        return false;
    long long exponent = 0;
    if (i < n && (s.at(i) == u'e' || s.at(i) == u'E')) {
        ascii.push_back('e');
        ++i;
        bool exponentNegative = false;
        if (i < n && (s.at(i) == u'+' || s.at(i) == u'-')) {
            exponentNegative = s.at(i) == u'-';
            ascii.push_back(exponentNegative ? '-' : '+');
            ++i;
        }
        int exponentDigits = 0;
        while (i < n && s.at(i).unicode() >= '0' && s.at(i).unicode() <= '9') {
            const char digit = char(s.at(i).unicode());
            if (exponent < 1000000000LL)
                exponent = exponent * 10 + (digit - '0');
            ascii.push_back(digit);
            ++exponentDigits;
            ++i;
        }
        if (exponentDigits == 0)
            return false;
        if (exponentNegative)
            exponent = -exponent;
    }
    if (i != n)
        return false;

    const char* begin = ascii.constData();
    const char* end = begin + ascii.size();
    if (*begin == '+')
        ++begin; // from_chars takes no plus sign
    double result = 0.0;
    const auto parsed = std::from_chars(begin, end, result, std::chars_format::general);
    if (parsed.ec == std::errc::result_out_of_range) {
        if (!seenNonZero || magnitude + exponent < 0) {
            value = negative ? -0.0 : 0.0;
            return true;
        }
        return false;
    }
    if (parsed.ec != std::errc() || parsed.ptr != end || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

double StrToFloatDef(const QString& text, double defaultValue, const TFormatSettings& settings)
{
    double value = 0.0;
    return TryStrToFloat(text, value, settings) ? value : defaultValue;
}

double StrToFloat(const QString& text, const TFormatSettings& settings)
{
    double value = 0.0;
    if (!TryStrToFloat(text, value, settings))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

QString DateToStr(const QDate& date, const TFormatSettings& settings)
{
    return date.isValid() ? settings.Locale.toString(date, settings.ShortDateFormat) : QString();
}

QString LongDateToStr(const QDate& date, const TFormatSettings& settings)
{
    return date.isValid() ? settings.Locale.toString(date, settings.LongDateFormat) : QString();
}

QString TimeToStr(const QTime& time, const TFormatSettings& settings)
{
    return time.isValid() ? settings.Locale.toString(time, settings.TimeFormat) : QString();
}

QString DateTimeToStr(const QDateTime& dateTime, const TFormatSettings& settings)
{
    if (!dateTime.isValid())
        return QString();
    QString text = DateToStr(dateTime.date(), settings);
    if (dateTime.time() != QTime(0, 0)) {
        text += QLatin1Char(' ');
        text += TimeToStr(dateTime.time(), settings);
    }
    return text;
}

QString FormatDateTime(const QString& format, const QDateTime& dateTime, const TFormatSettings& settings)
{
    return dateTime.isValid() ? settings.Locale.toString(dateTime, format) : QString();
}

int LocalePrimaryLanguage(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::C:
    case QLocale::AnyLanguage:
    case QLocale::English:
        return 0x09;
    case QLocale::Arabic:
        return 0x01;
    case QLocale::Bulgarian:
        return 0x02;
    case QLocale::Catalan:
        return 0x03;
    case QLocale::Chinese:
        return 0x04;
    case QLocale::Czech:
        return 0x05;
    case QLocale::Danish:
        return 0x06;
    case QLocale::German:
        return 0x07;
    case QLocale::Greek:
        return 0x08;
    case QLocale::Spanish:
        return 0x0A;
    case QLocale::Finnish:
        return 0x0B;
    case QLocale::French:
        return 0x0C;
    case QLocale::Hebrew:
        return 0x0D;
    case QLocale::Hungarian:
        return 0x0E;
    case QLocale::Icelandic:
        return 0x0F;
    case QLocale::Italian:
        return 0x10;
    case QLocale::Japanese:
        return 0x11;
    case QLocale::Korean:
        return 0x12;
    case QLocale::Dutch:
        return 0x13;
    case QLocale::NorwegianBokmal:
    case QLocale::NorwegianNynorsk:
        return 0x14;
    case QLocale::Polish:
        return 0x15;
    case QLocale::Portuguese:
        return 0x16;
    case QLocale::Romansh:
        return 0x17;
    case QLocale::Romanian:
        return 0x18;
    case QLocale::Russian:
        return 0x19;
    case QLocale::Croatian:
    case QLocale::Serbian:
    case QLocale::Bosnian:
        return 0x1A;
    case QLocale::Slovak:
        return 0x1B;
    case QLocale::Albanian:
        return 0x1C;
    case QLocale::Swedish:
        return 0x1D;
    case QLocale::Thai:
        return 0x1E;
    case QLocale::Turkish:
        return 0x1F;
    case QLocale::Urdu:
        return 0x20;
    case QLocale::Indonesian:
        return 0x21;
    case QLocale::Ukrainian:
        return 0x22;
    case QLocale::Belarusian:
        return 0x23;
    case QLocale::Slovenian:
        return 0x24;
    case QLocale::Estonian:
        return 0x25;
    case QLocale::Latvian:
        return 0x26;
    case QLocale::Lithuanian:
        return 0x27;
    case QLocale::Tajik:
        return 0x28;
    case QLocale::Persian:
        return 0x29;
    case QLocale::Vietnamese:
        return 0x2A;
    case QLocale::Armenian:
        return 0x2B;
    case QLocale::Azerbaijani:
        return 0x2C;
    case QLocale::Basque:
        return 0x2D;
    case QLocale::Macedonian:
        return 0x2F;
    case QLocale::Afrikaans:
        return 0x36;
    case QLocale::Georgian:
        return 0x37;
    case QLocale::Faroese:
        return 0x38;
    case QLocale::Hindi:
        return 0x39;
    case QLocale::Maltese:
        return 0x3A;
    case QLocale::Irish:
        return 0x3C;
    case QLocale::Malay:
        return 0x3E;
    case QLocale::Kazakh:
        return 0x3F;
    case QLocale::Kyrgyz:
        return 0x40;
    case QLocale::Swahili:
        return 0x41;
    case QLocale::Uzbek:
        return 0x43;
    case QLocale::Tatar:
        return 0x44;
    case QLocale::Bengali:
        return 0x45;
    case QLocale::Punjabi:
        return 0x46;
    case QLocale::Gujarati:
        return 0x47;
    case QLocale::Tamil:
        return 0x49;
    case QLocale::Telugu:
        return 0x4A;
    case QLocale::Kannada:
        return 0x4B;
    case QLocale::Malayalam:
        return 0x4C;
    case QLocale::Marathi:
        return 0x4E;
    case QLocale::Mongolian:
        return 0x50;
    case QLocale::Welsh:
        return 0x52;
    case QLocale::Khmer:
        return 0x53;
    case QLocale::Lao:
        return 0x54;
    case QLocale::Galician:
        return 0x56;
    case QLocale::Sinhala:
        return 0x5B;
    case QLocale::Nepali:
        return 0x61;
    case QLocale::Filipino:
        return 0x64;
    default:
        return 0x00;
    }
}

QString FloatToText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    // A value exactly halfway between two four-decimal numbers is an odd multiple of 1/32; the
    // conversion below would take it to the even neighbour, so nudge it one step away from zero.
    const double thirtySeconds = value * 32.0;
    if (std::isfinite(thirtySeconds) && thirtySeconds == std::trunc(thirtySeconds)
        && std::fmod(thirtySeconds, 2.0) != 0.0)
        value = std::nextafter(value, value > 0 ? HUGE_VAL : -HUGE_VAL);
    char buffer[400]; // the largest double has 309 digits before the point
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    QByteArray text(buffer, result.ptr - buffer);
    if (text.startsWith('-') && text.count('0') == text.size() - 2)
        text.remove(0, 1);
    return QString::fromLatin1(text);
}

double TextToFloat(const QString& text, double defaultValue)
{
    // Blanks and control characters around the number are tolerated, as a hand-edited file has them.
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= u' ')
        ++first;
    while (last > first && text.at(last - 1).unicode() <= u' ')
        --last;
    const QStringView trimmed = QStringView(text).mid(first, last - first);
    if (trimmed.isEmpty())
        return defaultValue;
    QByteArray bytes;
    bytes.reserve(trimmed.size());
    for (const QChar ch : trimmed) {
        const char16_t code = ch.unicode();
        const bool allowed = (code >= u'0' && code <= u'9') || code == u'.' || code == u'-' || code == u'+'
            || code == u'e' || code == u'E';
        if (!allowed) // keeps out "inf", "nan" and everything beyond ASCII
            return defaultValue;
        bytes.append(char(code));
    }
    double value = 0;
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    const auto result = std::from_chars(begin, end, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return defaultValue;
    return value;
}
