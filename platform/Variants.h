#pragma once
// Variants keep the platform's distinction between "empty" (never assigned) and "null" (a value known
// to be missing, as a database NULL). Empty is an invalid QVariant; null is a QVariant holding
// std::nullptr_t. Arrays are QVariantList.
#include <QVariant>
#include <cstddef>

inline QVariant VarEmpty() { return QVariant(); }
inline QVariant VarNull() { return QVariant::fromValue(nullptr); }
inline bool VarIsEmpty(const QVariant& v) { return !v.isValid(); }
inline bool VarIsNull(const QVariant& v) { return v.isValid() && v.metaType() == QMetaType::fromType<std::nullptr_t>(); }
inline bool VarIsEmptyOrNull(const QVariant& v) { return VarIsEmpty(v) || VarIsNull(v); }
inline bool VarIsArray(const QVariant& v) { return v.metaType() == QMetaType::fromType<QVariantList>(); }
