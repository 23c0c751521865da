#include "platform/Variants.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// 1899-12-30 is day zero of the platform's dates.
const QDate DateZero(1899, 12, 30);

[[noreturn]] void ThrowConvert(const QVariant& v, const char* target)
{
    throw EConvertError(QStringLiteral("Could not convert variant of type (%1) into type (%2)")
                            .arg(VarTypeAsText(v), QLatin1String(target)));
}

[[noreturn]] void ThrowInvalidOperation()
{
    throw EVariantError(QStringLiteral("Invalid variant operation"));
}

QVariant IntResult(qint64 value)
{
    if (value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())
        return QVariant(int(value));
    return QVariant(value);
}

// A number on its way through arithmetic: an integer while it can stay one.
struct TNumber
{
    bool IsInteger = true;
    qint64 Integer = 0;
    double Float = 0;
    double AsFloat() const { return IsInteger ? double(Integer) : Float; }
};

bool TryStrToInt64(const QString& text, qint64& value)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last)
        return false;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last;
}

double DateToFloat(const QVariant& v)
{
    if (v.metaType().id() == QMetaType::QDate)
        return double(DateZero.daysTo(v.toDate()));
    const QDateTime when = v.toDateTime();
    const double days = double(DateZero.daysTo(when.date()));
    return days + double(when.time().msecsSinceStartOfDay()) / 86400000.0;
}

TNumber ToNumber(const QVariant& v)
{
    TNumber n;
    switch (VarKind(v)) {
    case vkEmpty:
        return n;
    case vkBoolean:
        n.Integer = v.toBool() ? -1 : 0;
        return n;
    case vkInteger:
        if (v.metaType().id() == QMetaType::ULongLong || v.metaType().id() == QMetaType::ULong) {
            const quint64 u = v.toULongLong();
            if (u > quint64(std::numeric_limits<qint64>::max())) {
                n.IsInteger = false;
                n.Float = double(u);
                return n;
            }
        }
        n.Integer = v.toLongLong();
        return n;
    case vkString: {
        const QString text = VarToStr(v);
        if (TryStrToInt64(text, n.Integer))
            return n;
        n.IsInteger = false;
        if (!TryStrToFloat(text, n.Float))
            ThrowConvert(v, "Double");
        return n;
    }
    case vkDouble:
    case vkDate:
    case vkOther:
        n.IsInteger = false;
        n.Float = VarToFloat(v);
        return n;
    case vkNull:
        ThrowConvert(v, "Double");
    case vkArray:
        break;
    }
    ThrowInvalidOperation();
}

qint64 FloatToInt64(double value, const QVariant& source)
{
    const double rounded = std::nearbyint(value); // the default rounding mode: ties to even
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
        ThrowConvert(source, "Int64");
    return qint64(rounded);
}

bool IsBooleanText(const QVariant& v)
{
    if (VarKind(v) != vkString)
        return false;
    const QString text = VarToStr(v).trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
        || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
}

// Arrays take part in no operation; a null operand makes the result null.
bool EitherNull(const QVariant& a, const QVariant& b)
{
    const TVarKind ka = VarKind(a), kb = VarKind(b);
    if (ka == vkArray || kb == vkArray)
        ThrowInvalidOperation();
    return ka == vkNull || kb == vkNull;
}

enum TArithmetic { arAdd, arSub, arMul };

QVariant Arithmetic(const QVariant& a, const QVariant& b, TArithmetic operation)
{
    if (EitherNull(a, b))
        return VarNull();
    const TVarKind ka = VarKind(a), kb = VarKind(b);
    if (operation == arAdd && (ka == vkString || kb == vkString) && (ka == vkString || ka == vkEmpty)
        && (kb == vkString || kb == vkEmpty))
        return QVariant(VarToStr(a) + VarToStr(b));
    const TNumber x = ToNumber(a), y = ToNumber(b);
    if (x.IsInteger && y.IsInteger) {
        qint64 result = 0;
        bool overflow = false;
        switch (operation) {
        case arAdd:
            overflow = __builtin_add_overflow(x.Integer, y.Integer, &result);
            break;
        case arSub:
            overflow = __builtin_sub_overflow(x.Integer, y.Integer, &result);
            break;
        case arMul:
            overflow = __builtin_mul_overflow(x.Integer, y.Integer, &result);
            break;
        }
        if (!overflow)
            return IntResult(result);
    }
    const double fx = x.AsFloat(), fy = y.AsFloat();
    switch (operation) {
    case arAdd:
        return QVariant(fx + fy);
    case arSub:
        return QVariant(fx - fy);
    case arMul:
        return QVariant(fx * fy);
    }
    return {};
}

qint64 ToBits(const QVariant& v)
{
    const TNumber n = ToNumber(v);
    return n.IsInteger ? n.Integer : FloatToInt64(n.Float, v);
}

template <typename T> TVariantRelationship Relate(T x, T y)
{
    if (x < y)
        return vrLessThan;
    if (y < x)
        return vrGreaterThan;
    if (x == y)
        return vrEqual;
    return vrNotEqual; // NaN
}

} // namespace

TVarKind VarKind(const QVariant& v)
{
    if (!v.isValid())
        return vkEmpty;
    switch (v.metaType().id()) {
    case QMetaType::Nullptr:
        return vkNull;
    case QMetaType::Bool:
        return vkBoolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return vkInteger;
    case QMetaType::Double:
    case QMetaType::Float:
        return vkDouble;
    case QMetaType::QString:
    case QMetaType::QChar:
    case QMetaType::QByteArray:
        return vkString;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return vkDate;
    case QMetaType::QVariantList:
        return vkArray;
    default:
        return vkOther;
    }
}

bool VarIsNumeric(const QVariant& v)
{
    const TVarKind kind = VarKind(v);
    return kind == vkInteger || kind == vkDouble;
}

QString VarTypeAsText(const QVariant& v)
{
    switch (VarKind(v)) {
    case vkEmpty:
        return QStringLiteral("Empty");
    case vkNull:
        return QStringLiteral("Null");
    case vkBoolean:
        return QStringLiteral("Boolean");
    case vkInteger:
        return v.metaType().id() == QMetaType::LongLong || v.metaType().id() == QMetaType::ULongLong
            ? QStringLiteral("Int64")
            : QStringLiteral("Integer");
    case vkDouble:
        return QStringLiteral("Double");
    case vkString:
        return QStringLiteral("String");
    case vkDate:
        return QStringLiteral("Date");
    case vkArray:
        return QStringLiteral("Array Variant");
    case vkOther:
        break;
    }
    return QString::fromLatin1(v.metaType().name());
}

QString VarToStr(const QVariant& v)
{
    switch (VarKind(v)) {
    case vkEmpty:
    case vkNull:
        return QString();
    case vkBoolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case vkInteger: {
        // Qt's own text of a one-byte integer is the character with that code (a TINYINT 65 would
        // read "A"); every integer is shown as its number.
        const int id = v.metaType().id();
        if (id == QMetaType::ULongLong || id == QMetaType::ULong)
            return QString::number(v.toULongLong());
        return QString::number(v.toLongLong());
    }
    case vkDouble:
        return FloatToStr(v.toDouble());
    case vkString:
        if (v.metaType().id() == QMetaType::QByteArray)
            return QString::fromUtf8(v.toByteArray());
        return v.toString();
    case vkDate:
        if (v.metaType().id() == QMetaType::QDate)
            return QLocale().toString(v.toDate(), QLocale::ShortFormat);
        return QLocale().toString(v.toDateTime(), QLocale::ShortFormat);
    case vkArray:
        ThrowConvert(v, "String");
    case vkOther:
        break;
    }
    if (v.canConvert<QString>())
        return v.toString();
    ThrowConvert(v, "String");
}

double VarToFloat(const QVariant& v)
{
    switch (VarKind(v)) {
    case vkEmpty:
        return 0;
    case vkBoolean:
        return v.toBool() ? -1 : 0;
    case vkInteger:
    case vkDouble:
        return v.toDouble();
    case vkString: {
        double value = 0;
        if (!TryStrToFloat(VarToStr(v), value))
            ThrowConvert(v, "Double");
        return value;
    }
    case vkDate:
        return DateToFloat(v);
    case vkNull:
    case vkArray:
        ThrowConvert(v, "Double");
    case vkOther:
        break;
    }
    bool ok = false;
    const double value = v.toDouble(&ok);
    if (!ok)
        ThrowConvert(v, "Double");
    return value;
}

bool VarToBool(const QVariant& v)
{
    switch (VarKind(v)) {
    case vkEmpty:
        return false;
    case vkBoolean:
        return v.toBool();
    case vkString: {
        const QString text = VarToStr(v).trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        double value = 0;
        if (!TryStrToFloat(text, value))
            ThrowConvert(v, "Boolean");
        return value != 0;
    }
    case vkInteger:
    case vkDouble:
    case vkDate:
    case vkOther:
        return VarToFloat(v) != 0;
    case vkNull:
    case vkArray:
        break;
    }
    ThrowConvert(v, "Boolean");
}

qint64 VarToInt64(const QVariant& v)
{
    switch (VarKind(v)) {
    case vkNull:
    case vkArray:
        ThrowConvert(v, "Int64");
    default:
        break;
    }
    return ToBits(v);
}

QVariant VarAdd(const QVariant& a, const QVariant& b)
{
    return Arithmetic(a, b, arAdd);
}
QVariant VarSub(const QVariant& a, const QVariant& b)
{
    return Arithmetic(a, b, arSub);
}
QVariant VarMul(const QVariant& a, const QVariant& b)
{
    return Arithmetic(a, b, arMul);
}

QVariant VarDiv(const QVariant& a, const QVariant& b)
{
    if (EitherNull(a, b))
        return VarNull();
    const double divisor = ToNumber(b).AsFloat();
    const double dividend = ToNumber(a).AsFloat();
    if (divisor == 0)
        throw EVariantError(QStringLiteral("Floating point division by zero"));
    return QVariant(dividend / divisor);
}

QVariant VarNeg(const QVariant& v)
{
    const TVarKind kind = VarKind(v);
    if (kind == vkArray)
        ThrowInvalidOperation();
    if (kind == vkNull)
        return VarNull();
    const TNumber n = ToNumber(v);
    if (n.IsInteger) {
        if (n.Integer != std::numeric_limits<qint64>::min())
            return IntResult(-n.Integer);
        return QVariant(-double(n.Integer));
    }
    return QVariant(-n.Float);
}

QVariant VarNot(const QVariant& v)
{
    const TVarKind kind = VarKind(v);
    if (kind == vkArray)
        ThrowInvalidOperation();
    if (kind == vkNull)
        return VarNull();
    if (kind == vkBoolean || IsBooleanText(v))
        return QVariant(!VarToBool(v));
    return IntResult(~ToBits(v));
}

static QVariant Logic(const QVariant& a, const QVariant& b, bool isAnd)
{
    if (EitherNull(a, b))
        return VarNull();
    const TVarKind ka = VarKind(a), kb = VarKind(b);
    const auto boolish
        = [](const QVariant& v, TVarKind k) { return k == vkBoolean || k == vkEmpty || IsBooleanText(v); };
    if ((ka == vkBoolean || kb == vkBoolean) && boolish(a, ka) && boolish(b, kb)) {
        const bool x = VarToBool(a), y = VarToBool(b);
        return QVariant(isAnd ? (x && y) : (x || y));
    }
    const qint64 x = ToBits(a), y = ToBits(b);
    return IntResult(isAnd ? (x & y) : (x | y));
}

QVariant VarAnd(const QVariant& a, const QVariant& b)
{
    return Logic(a, b, true);
}
QVariant VarOr(const QVariant& a, const QVariant& b)
{
    return Logic(a, b, false);
}

TVariantRelationship VarCompare(const QVariant& a, const QVariant& b)
{
    const TVarKind ka = VarKind(a), kb = VarKind(b);
    if (ka == vkArray || kb == vkArray)
        ThrowInvalidOperation();
    if (ka == vkNull || kb == vkNull)
        return ka == kb ? vrEqual : vrNotEqual;
    if (ka == vkEmpty && kb == vkEmpty)
        return vrEqual;
    const bool textA = ka == vkString || ka == vkEmpty;
    const bool textB = kb == vkString || kb == vkEmpty;
    if (textA && textB) {
        const int order = VarToStr(a).compare(VarToStr(b), Qt::CaseSensitive);
        return order < 0 ? vrLessThan : order > 0 ? vrGreaterThan : vrEqual;
    }
    if ((ka == vkBoolean || kb == vkBoolean) && (ka == vkBoolean || ka == vkEmpty || IsBooleanText(a))
        && (kb == vkBoolean || kb == vkEmpty || IsBooleanText(b)))
        return Relate<int>(VarToBool(a) ? 1 : 0, VarToBool(b) ? 1 : 0);
    const TNumber x = ToNumber(a), y = ToNumber(b);
    if (x.IsInteger && y.IsInteger)
        return Relate(x.Integer, y.Integer);
    return Relate(x.AsFloat(), y.AsFloat());
}
