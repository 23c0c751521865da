#pragma once
// Variants keep the platform's distinction between "empty" (never assigned) and "null" (a value known
// to be missing, as a database NULL). Empty is an invalid QVariant; null is a QVariant holding
// std::nullptr_t. Arrays are QVariantList.
//
// The operations below give QVariant the platform's variant semantics, which report formulas rely on:
// - Booleans are bool, integers int or qint64, floating point double, strings QString (QChar and
//   QByteArray read as strings), dates (QDate, QDateTime) count as days since 1899-12-30.
// - Empty acts as 0 (or "" beside a string); null propagates through arithmetic and logic.
// - Two strings add as concatenation; a string meeting a number is read as a number in the locale's
//   decimal separator (QLocale()), failing with EConvertError.
// - Integer results that leave the 64-bit range become floating point; integer results are int when
//   they fit, qint64 otherwise. Boolean true is -1 as a number.
// - Arrays and other values with no number or text take part in no operation: EVariantError.
// No operation crashes on any QVariant; failures are exceptions derived from Exception.
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <QString>
#include <QVariant>
#include <cstddef>

inline QVariant VarEmpty()
{
    return QVariant();
}
inline QVariant VarNull()
{
    return QVariant::fromValue(nullptr);
}
inline bool VarIsEmpty(const QVariant& v)
{
    return !v.isValid();
}
inline bool VarIsNull(const QVariant& v)
{
    return v.isValid() && v.metaType() == QMetaType::fromType<std::nullptr_t>();
}
inline bool VarIsEmptyOrNull(const QVariant& v)
{
    return VarIsEmpty(v) || VarIsNull(v);
}
inline bool VarIsArray(const QVariant& v)
{
    return v.metaType() == QMetaType::fromType<QVariantList>();
}

// An operation that variants of these types do not support (arithmetic on arrays, division by zero).
class EVariantError : public Exception
{
public:
    using Exception::Exception;
};

enum TVarKind { vkEmpty, vkNull, vkBoolean, vkInteger, vkDouble, vkString, vkDate, vkArray, vkOther };
TVarKind VarKind(const QVariant& v);
// Integers of every width (the char types included) and floating point: the values arithmetic takes
// as numbers without reading text. Booleans, QChar and texts of digits are not numbers here. The
// answer goes by the type alone: a typed null from a database driver counts as its type.
bool VarIsNumeric(const QVariant& v);
// The platform's name of the variant's type, as used in conversion messages ("String", "Double").
QString VarTypeAsText(const QVariant& v);

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

// Conversions. Empty gives "", 0, false; null gives "" for text and EConvertError for numbers and
// Booleans. Floating point text has 15 significant digits and the locale's decimal separator.
QString VarToStr(const QVariant& v);
double VarToFloat(const QVariant& v);
bool VarToBool(const QVariant& v);
// Floating point rounds to nearest with ties to even; values outside 64 bits give EConvertError.
qint64 VarToInt64(const QVariant& v);

QVariant VarAdd(const QVariant& a, const QVariant& b);
QVariant VarSub(const QVariant& a, const QVariant& b);
QVariant VarMul(const QVariant& a, const QVariant& b);
// Always floating point; a zero divisor gives EVariantError rather than an infinity.
QVariant VarDiv(const QVariant& a, const QVariant& b);
QVariant VarNeg(const QVariant& v);
// Logical for Booleans (and "True"/"False" texts), bitwise for everything numeric.
QVariant VarNot(const QVariant& v);
QVariant VarAnd(const QVariant& a, const QVariant& b);
QVariant VarOr(const QVariant& a, const QVariant& b);

// Null equals null and is "not equal" to every other value; strings compare by code unit; a string
// against a number compares as numbers; false is less than true.
TVariantRelationship VarCompare(const QVariant& a, const QVariant& b);
inline bool VarEq(const QVariant& a, const QVariant& b)
{
    return VarCompare(a, b) == vrEqual;
}
inline bool VarNe(const QVariant& a, const QVariant& b)
{
    return VarCompare(a, b) != vrEqual;
}
inline bool VarLt(const QVariant& a, const QVariant& b)
{
    return VarCompare(a, b) == vrLessThan;
}
inline bool VarGt(const QVariant& a, const QVariant& b)
{
    return VarCompare(a, b) == vrGreaterThan;
}
inline bool VarLe(const QVariant& a, const QVariant& b)
{
    const TVariantRelationship r = VarCompare(a, b);
    return r == vrLessThan || r == vrEqual;
}
inline bool VarGe(const QVariant& a, const QVariant& b)
{
    const TVariantRelationship r = VarCompare(a, b);
    return r == vrGreaterThan || r == vrEqual;
}
