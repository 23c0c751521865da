// Component paths ("RLBand1.RLLabel1.Caption") read and written through Qt's meta-object system.
// Steps name owned components or object-valued published properties; the last step may name a
// published property, read and written by its type the way definitions store them.
#include "parser/RLParser.h"

#include <QMetaEnum>
#include <QMetaProperty>
#include <QRegularExpression>
#include <cstring>
#include <limits>

namespace {

bool FindProperty(const QObject* object, const QString& name, QMetaProperty& found)
{
    if (name.isEmpty())
        return false;
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (name.compare(QLatin1String(property.name()), Qt::CaseInsensitive) == 0) {
            found = property;
            return true;
        }
    }
    return false;
}

bool IsObjectType(const QMetaProperty& property)
{
    return property.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

QString ClassNameOf(const QObject* object)
{
    if (!object)
        return QStringLiteral("nil");
    const QString name = QString::fromLatin1(object->metaObject()->className());
    const qsizetype colons = name.lastIndexOf(QLatin1String("::"));
    return colons < 0 ? name : name.mid(colons + 2);
}

// Enumerations and flags come as their own meta types of 1, 2, 4 or 8 bytes.
qint64 OrdinalOf(const QVariant& value)
{
    const qsizetype size = value.metaType().sizeOf();
    const void* data = value.constData();
    switch (size) {
    case 1: {
        qint8 v;
        std::memcpy(&v, data, 1);
        return v;
    }
    case 2: {
        qint16 v;
        std::memcpy(&v, data, 2);
        return v;
    }
    case 4: {
        qint32 v;
        std::memcpy(&v, data, 4);
        return v;
    }
    case 8: {
        qint64 v;
        std::memcpy(&v, data, 8);
        return v;
    }
    default:
        return value.toLongLong();
    }
}

QVariant OrdinalAs(const QMetaType& type, qint64 ordinal)
{
    QVariant result(type);
    void* data = result.data();
    switch (type.sizeOf()) {
    case 1: {
        const qint8 v = qint8(ordinal);
        std::memcpy(data, &v, 1);
        break;
    }
    case 2: {
        const qint16 v = qint16(ordinal);
        std::memcpy(data, &v, 2);
        break;
    }
    case 4: {
        const qint32 v = qint32(ordinal);
        std::memcpy(data, &v, 4);
        break;
    }
    case 8:
        std::memcpy(data, &ordinal, 8);
        break;
    default:
        return QVariant(int(ordinal));
    }
    return result;
}

bool SingleBit(int value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

QString SetText(const QMetaEnum& enumerator, qint64 ordinal)
{
    QStringList names;
    for (int i = 0; i < enumerator.keyCount(); ++i) {
        const int value = enumerator.value(i);
        if (SingleBit(value) && (ordinal & value) == value)
            names.append(QString::fromLatin1(enumerator.key(i)));
    }
    return QLatin1Char('[') + names.join(QLatin1Char(',')) + QLatin1Char(']');
}

[[noreturn]] void ThrowInvalidValue(const QString& text, const char* property)
{
    throw EConvertError(
        QStringLiteral("Invalid property value \"%1\" for \"%2\"").arg(text, QLatin1String(property)));
}

bool KeyValue(const QMetaEnum& enumerator, const QString& key, int& value)
{
    for (int i = 0; i < enumerator.keyCount(); ++i)
        if (key.compare(QLatin1String(enumerator.key(i)), Qt::CaseInsensitive) == 0) {
            value = enumerator.value(i);
            return true;
        }
    return false;
}

bool IsText(const QVariant& value)
{
    return VarKind(value) == vkString;
}

qint64 EnumFromVariant(const QMetaEnum& enumerator, const QVariant& value, const char* property)
{
    int ordinal = 0;
    if (IsText(value)) {
        const QString text = VarToStr(value).trimmed();
        if (KeyValue(enumerator, text, ordinal))
            return ordinal;
        ThrowInvalidValue(text, property);
    }
    const qint64 number = VarToInt64(value);
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()
        || !enumerator.valueToKey(int(number)))
        ThrowInvalidValue(VarToStr(value), property);
    return number;
}

// "[a,b]", "a, b" or "a|b"; names compare without regard to case.
qint64 SetFromVariant(const QMetaEnum& enumerator, const QVariant& value, const char* property)
{
    if (!IsText(value))
        return VarToInt64(value);
    QString text = VarToStr(value).trimmed();
    if (text.startsWith(u'[') && text.endsWith(u']'))
        text = text.mid(1, text.size() - 2);
    qint64 ordinal = 0;
    const QStringList names = text.split(QRegularExpression(QStringLiteral("[,|]")));
    for (const QString& raw : names) {
        const QString name = raw.trimmed();
        if (name.isEmpty())
            continue;
        int bit = 0;
        if (!KeyValue(enumerator, name, bit))
            ThrowInvalidValue(name, property);
        ordinal |= bit;
    }
    return ordinal;
}

qint64 InRange(const QVariant& value, qint64 low, qint64 high, const char* property)
{
    const qint64 number = VarToInt64(value);
    if (number < low || number > high)
        ThrowInvalidValue(VarToStr(value), property);
    return number;
}

} // namespace

QObject* TRLExpressionParser::FindObject(QObject* parent, const QString& part) const
{
    if (!parent || part.isEmpty())
        return nullptr;
    if (FHooks.FindChild)
        if (QObject* child = FHooks.FindChild(parent, part))
            return child;
    if (auto* component = qobject_cast<TComponent*>(parent)) {
        if (component->Name().compare(part, Qt::CaseInsensitive) == 0)
            return component;
        if (TComponent* owned = component->FindComponent(part))
            return owned;
    }
    QMetaProperty property;
    if (FindProperty(parent, part, property) && property.isReadable() && IsObjectType(property))
        return property.read(parent).value<QObject*>();
    return nullptr;
}

QVariant TRLExpressionParser::ReadPath(const QString& name) const
{
    const QStringList parts = name.split(u'.');
    QObject* object = Owner();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (QObject* next = FindObject(object, parts.at(i))) {
            object = next;
            continue;
        }
        if (i + 1 == parts.size())
            return ReadProperty(object, parts.at(i));
        return {}; // a step in the middle names nothing
    }
    return QVariant(QLatin1Char('[') + ClassNameOf(object) + QLatin1Char(']'));
}

QVariant TRLExpressionParser::ReadProperty(QObject* object, const QString& name) const
{
    if (!object)
        return {};
    if (FHooks.GetProperty) {
        QVariant result;
        if (FHooks.GetProperty(object, name, result))
            return result;
    }
    QMetaProperty property;
    if (!FindProperty(object, name, property) || !property.isReadable())
        return {};
    const QVariant value = property.read(object);
    if (property.isEnumType()) {
        const QMetaEnum enumerator = property.enumerator();
        const qint64 ordinal = OrdinalOf(value);
        if (enumerator.isFlag())
            return QVariant(SetText(enumerator, ordinal));
        if (const char* key = enumerator.valueToKey(int(ordinal)))
            return QVariant(QString::fromLatin1(key));
        return QVariant(int(ordinal));
    }
    switch (property.metaType().id()) {
    case QMetaType::Bool:
        return QVariant(value.toBool());
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return QVariant(value.toInt());
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong: {
        const qint64 number = value.toLongLong();
        return number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max()
            ? QVariant(int(number))
            : QVariant(number);
    }
    case QMetaType::QChar:
        return QVariant(int(value.toChar().unicode()));
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return QVariant(value.toDouble());
    case QMetaType::QString:
        return value;
    case QMetaType::QByteArray:
        return QVariant(QString::fromUtf8(value.toByteArray()));
    default:
        break;
    }
    if (IsObjectType(property))
        return QVariant(QLatin1Char('[') + ClassNameOf(value.value<QObject*>()) + QLatin1Char(']'));
    return value; // variants as they are, and any other type untouched
}

bool TRLExpressionParser::WriteProperty(QObject* object, const QString& name, const QVariant& value) const
{
    QMetaProperty property;
    if (!FindProperty(object, name, property) || !property.isWritable() || IsObjectType(property))
        return false;
    const char* propertyName = property.name();
    QVariant converted;
    if (property.isEnumType()) {
        const QMetaEnum enumerator = property.enumerator();
        const qint64 ordinal = enumerator.isFlag() ? SetFromVariant(enumerator, value, propertyName)
                                                   : EnumFromVariant(enumerator, value, propertyName);
        converted = OrdinalAs(property.metaType(), ordinal);
    } else {
        using L = std::numeric_limits<int>;
        switch (property.metaType().id()) {
        case QMetaType::Bool:
            converted = VarToBool(value);
            break;
        case QMetaType::Int:
        case QMetaType::Long:
            converted = int(InRange(value, L::min(), L::max(), propertyName));
            break;
        case QMetaType::UInt:
        case QMetaType::ULong:
            converted = uint(InRange(value, 0, std::numeric_limits<uint>::max(), propertyName));
            break;
        case QMetaType::Short:
            converted = QVariant::fromValue(short(InRange(value, -32768, 32767, propertyName)));
            break;
        case QMetaType::UShort:
            converted = QVariant::fromValue(ushort(InRange(value, 0, 65535, propertyName)));
            break;
        case QMetaType::Char:
        case QMetaType::SChar:
            converted = QVariant::fromValue(qint8(InRange(value, -128, 127, propertyName)));
            break;
        case QMetaType::UChar:
            converted = QVariant::fromValue(quint8(InRange(value, 0, 255, propertyName)));
            break;
        case QMetaType::LongLong:
            converted = QVariant(VarToInt64(value));
            break;
        case QMetaType::ULongLong:
            converted
                = QVariant(quint64(InRange(value, 0, std::numeric_limits<qint64>::max(), propertyName)));
            break;
        case QMetaType::Double:
            converted = VarToFloat(value);
            break;
        case QMetaType::Float:
            converted = float(VarToFloat(value));
            break;
        case QMetaType::QString:
            converted = VarToStr(value);
            break;
        case QMetaType::QByteArray:
            converted = VarToStr(value).toUtf8();
            break;
        case QMetaType::QChar:
            if (IsText(value)) {
                const QString text = VarToStr(value);
                converted = text.isEmpty() ? QChar() : text.at(0);
            } else {
                converted = QChar(char16_t(InRange(value, 0, 65535, propertyName)));
            }
            break;
        case QMetaType::QVariant:
            converted = value;
            break;
        default:
            converted = value;
            if (!converted.convert(property.metaType()))
                ThrowInvalidValue(VarToStr(value), propertyName);
            break;
        }
    }
    // The property's type is known to fit now; a refusal is the object's own.
    if (!property.write(object, converted))
        throw EConvertError(
            QStringLiteral("Could not assign property \"%1\"").arg(QLatin1String(propertyName)));
    return true;
}
