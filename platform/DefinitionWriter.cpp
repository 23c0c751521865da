#include "platform/Definitions.h"

#include "platform/Controls.h"
#include "platform/Cp1252.h"

#include <QMetaEnum>
#include <charconv>
#include <cmath>

QByteArray DefinitionFloatText(double value)
{
    if (!std::isfinite(value))
        throw Exception(QStringLiteral("A floating-point value that is not finite cannot be stored"));
    char buffer[400];
    if (std::fabs(value) < 1e15) {
        const auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
        QByteArray text(buffer, fixed.ptr - buffer);
        const qsizetype point = text.indexOf('.');
        const qsizetype decimals = point < 0 ? 0 : text.size() - point - 1;
        if (decimals <= 18) {
            if (point < 0)
                text.append('.');
            text.append(QByteArray(18 - decimals, '0'));
            return text;
        }
    }
    const auto scientific
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    QByteArray text(buffer, scientific.ptr - buffer);
    // "1.5e+20" -> "1.5E20", "1e-05" -> "1E-5"
    const qsizetype e = text.indexOf('e');
    QByteArray mantissa = text.left(e);
    QByteArray exponent = text.mid(e + 1);
    QByteArray sign;
    if (exponent.startsWith('+') || exponent.startsWith('-')) {
        if (exponent.startsWith('-'))
            sign = "-";
        exponent.remove(0, 1);
    }
    while (exponent.size() > 1 && exponent.startsWith('0'))
        exponent.remove(0, 1);
    return mantissa + 'E' + sign + exponent;
}

namespace {

constexpr int MaxSubObjectDepth = 8;
constexpr int StringChunk = 64;

bool IsObjectPointer(const QMetaProperty& property)
{
    return property.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

bool PropertyStored(const QObject* object, const QMetaProperty& property)
{
    if (const auto* component = qobject_cast<const TComponent*>(object))
        return component->IsPropertyStored(property);
    if (const auto* persistent = qobject_cast<const TPersistent*>(object))
        return persistent->IsPropertyStored(property);
    return property.isStored();
}

QVariant OwnDefault(const QObject* object, const QMetaProperty& property)
{
    if (const auto* component = qobject_cast<const TComponent*>(object))
        return component->DefaultValue(property);
    if (const auto* persistent = qobject_cast<const TPersistent*>(object))
        return persistent->DefaultValue(property);
    return {};
}

QList<QPair<QString, QVariant>> CustomOf(const QObject* object)
{
    if (const auto* component = qobject_cast<const TComponent*>(object))
        return component->CustomPropertiesToWrite();
    if (const auto* persistent = qobject_cast<const TPersistent*>(object))
        return persistent->CustomPropertiesToWrite();
    return {};
}

// A text as quoted runs of printable ASCII and #nnn codes: Windows-1252 code values where the code
// page has the character, Unicode code points beyond it.
QByteArray StringLiteral(const QString& text)
{
    if (text.isEmpty())
        return "''";
    QByteArray out;
    bool quoted = false;
    const QList<uint> points = text.toUcs4();
    for (const uint point : points) {
        if (point >= 32 && point < 127) {
            if (!quoted) {
                out.append('\'');
                quoted = true;
            }
            out.append(char(point));
            if (point == '\'')
                out.append('\'');
            continue;
        }
        if (quoted) {
            out.append('\'');
            quoted = false;
        }
        uint code = point;
        if (point >= 128 && point <= 0xFFFF) {
            const unsigned char byte = static_cast<unsigned char>(CharToCp1252(char16_t(point)));
            if (byte >= 128 && Cp1252ToChar(byte) == char16_t(point))
                code = byte;
        }
        out.append('#');
        out.append(QByteArray::number(code));
    }
    if (quoted)
        out.append('\'');
    return out;
}

class TWriter
{
public:
    TWriter(const TClassRegistry& registry, const TComponent* root)
        : FRegistry(registry)
        , FRoot(root)
    { }

    QByteArray Run()
    {
        WriteComponent(FRoot, 0);
        return FOut;
    }

private:
    const TClassRegistry& FRegistry;
    const TComponent* FRoot;
    QByteArray FOut;

    void Line(int indent, const QByteArray& text)
    {
        FOut.append(QByteArray(indent * 2, ' '));
        FOut.append(text);
        FOut.append("\r\n");
    }

    // The component a child is written inside: its visual parent when the root owns that too.
    const TComponent* NestingParent(const TComponent* component) const
    {
        if (const auto* control = qobject_cast<const TControl*>(component)) {
            const TControl* parent = control->Parent();
            if (parent && parent != FRoot && parent->Owner() == FRoot)
                return parent;
        }
        return FRoot;
    }

    void WriteComponent(const TComponent* component, int indent)
    {
        const QByteArray className = component->metaObject()->className();
        if (component->Name().isEmpty())
            Line(indent, "object " + className);
        else
            Line(indent, "object " + component->Name().toLatin1() + ": " + className);
        WriteProperties(component, nullptr, QByteArray(), indent + 1, 0);
        for (const QString& event : FRegistry.EventNames(component->metaObject())) {
            const TEventAdaptor* adaptor = FRegistry.FindEvent(component->metaObject(), event);
            const QString handler = component->EventHandlerName(event);
            if (adaptor && adaptor->IsAssigned && adaptor->IsAssigned(component) && !handler.isEmpty())
                Line(indent + 1, event.toLatin1() + " = " + handler.toLatin1());
        }
        WriteCustom(component, QByteArray(), indent + 1);
        for (const TComponent* child : FRoot->ComponentList())
            if (child != component && child != FRoot && NestingParent(child) == component)
                WriteComponent(child, indent + 1);
        Line(indent, "end");
    }

    void WriteCustom(const QObject* object, const QByteArray& prefix, int indent)
    {
        for (const auto& [name, value] : CustomOf(object))
            WriteValue(object, prefix + name.toLatin1(), value, QMetaProperty(), indent);
    }

    // The control whose font (colour) a control starts with when the definition is read back: the
    // reader places a control in its parent before it reads the control's properties, and a control
    // placed in a parent takes the parent's font (colour) while its ParentFont (ParentColor) is on, as
    // it is on a default-built control of its class. Null when the control starts with its own.
    const TControl* InheritedFrom(const QObject* object, const char* parentFlag) const
    {
        const auto* control = qobject_cast<const TControl*>(object);
        if (!control || control == FRoot)
            return nullptr;
        const TControl* parent = control->Parent();
        if (!parent || (parent != FRoot && parent->Owner() != FRoot))
            return nullptr;
        const QMetaObject* meta = control->metaObject();
        const int flag = meta->indexOfProperty(parentFlag);
        if (flag < 0 || !OwnDefault(control, meta->property(flag)).toBool())
            return nullptr;
        return parent;
    }

    // The published properties of object; defaults is the same object on a default-built owner (for
    // owned persistent objects), or null.
    void WriteProperties(
        const QObject* object, const QObject* defaults, const QByteArray& prefix, int indent, int depth)
    {
        const QMetaObject* meta = object->metaObject();
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (!property.isReadable() || qstrcmp(property.name(), "objectName") == 0)
                continue;
            const QByteArray path = prefix + property.name();
            if (IsObjectPointer(property)) {
                WriteObjectProperty(object, defaults, property, path, indent, depth);
                continue;
            }
            if (!property.isWritable())
                continue;
            bool stored = Stored(object, defaults, property);
            // A colour of the control's own that equals its class's default still differs from the
            // parent's colour that reading would leave without it; one equal to the parent's needs no
            // line.
            if (!defaults && qstrcmp(property.name(), "Color") == 0) {
                const auto* control = qobject_cast<const TControl*>(object);
                if (const TControl* parent = InheritedFrom(object, "ParentColor");
                    parent && !control->ParentColor())
                    stored = control->Color() != parent->Color();
            }
            if (!stored)
                continue;
            WriteValue(object, path, property.read(object), property, indent);
        }
    }

    // Whether a plain property is written. An owned persistent object's own rule compares with a
    // default-built object of its class; what matters for reading back is the value a freshly built
    // owner gives it, so that value decides where the object's rule only compared with its default.
    bool Stored(const QObject* object, const QObject* defaults, const QMetaProperty& property) const
    {
        bool stored = PropertyStored(object, property);
        if (!defaults || !property.isStored())
            return stored;
        const QVariant value = property.read(object);
        const QVariant ownerDefault = property.read(defaults);
        const QVariant classDefault = OwnDefault(object, property);
        if (stored && value == ownerDefault)
            return false;
        if (!stored && value != ownerDefault && classDefault.isValid() && value == classDefault)
            return true;
        return stored;
    }

    void WriteObjectProperty(const QObject* object, const QObject* defaults, const QMetaProperty& property,
        const QByteArray& path, int indent, int depth)
    {
        QObject* value = property.read(object).value<QObject*>();
        if (auto* collection = qobject_cast<TCollection*>(value)) {
            const auto* defaultCollection
                = defaults ? qobject_cast<TCollection*>(property.read(defaults).value<QObject*>()) : nullptr;
            if (!defaults) {
                const QVariant own = OwnDefault(object, property);
                defaultCollection = qobject_cast<TCollection*>(own.value<QObject*>());
            }
            const int defaultCount = defaultCollection ? defaultCollection->Count() : 0;
            if (collection->Count() == 0 && defaultCount == 0)
                return;
            WriteCollection(collection, path, indent, depth);
            return;
        }
        if (!value || qobject_cast<TComponent*>(value)) {
            if (!value || !property.isWritable() || !property.isStored() || !PropertyStored(object, property))
                return;
            Line(indent, path + " = " + ReferenceName(static_cast<const TComponent*>(value), path));
            return;
        }
        if (!qobject_cast<TPersistent*>(value) || depth >= MaxSubObjectDepth)
            return;
        if (!PropertyStored(object, property))
            return;
        const QObject* subDefaults = nullptr;
        if (defaults)
            subDefaults = property.read(defaults).value<QObject*>();
        else if (qobject_cast<const TComponent*>(object))
            subDefaults = OwnDefault(object, property).value<QObject*>();
        // A font of the control's own is read over the parent's font, not over a default-built one.
        if (!defaults && qstrcmp(property.name(), "Font") == 0)
            if (const TControl* parent = InheritedFrom(object, "ParentFont"))
                subDefaults = parent->Font();
        if (subDefaults == value || (subDefaults && subDefaults->metaObject() != value->metaObject()))
            subDefaults = nullptr;
        WriteProperties(value, subDefaults, path + '.', indent, depth + 1);
        WriteCustom(value, path + '.', indent);
    }

    void WriteCollection(const TCollection* collection, const QByteArray& path, int indent, int depth)
    {
        if (collection->Count() == 0) {
            Line(indent, path + " = <>");
            return;
        }
        Line(indent, path + " = <");
        for (int i = 0; i < collection->Count(); ++i) {
            const TCollectionItem* item = collection->Items(i);
            Line(indent + 1, "item");
            WriteProperties(item, nullptr, QByteArray(), indent + 2, depth + 1);
            WriteCustom(item, QByteArray(), indent + 2);
            if (i == collection->Count() - 1)
                Line(indent + 1, "end>");
            else
                Line(indent + 1, "end");
        }
    }

    QByteArray ReferenceName(const TComponent* target, const QByteArray& path) const
    {
        if (target->Name().isEmpty())
            throw Exception(
                QStringLiteral("Property %1 refers to a component without a name").arg(QLatin1String(path)));
        if (target == FRoot || target->Owner() == FRoot || !target->Owner())
            return target->Name().toLatin1();
        return target->Owner()->Name().toLatin1() + '.' + target->Name().toLatin1();
    }

    void WriteString(const QByteArray& path, const QString& text, int indent)
    {
        if (text.size() <= StringChunk) {
            Line(indent, path + " = " + StringLiteral(text));
            return;
        }
        // Long texts go on continuation lines joined by "+".
        Line(indent, path + " = ");
        qsizetype start = 0;
        while (start < text.size()) {
            qsizetype length = qMin<qsizetype>(StringChunk, text.size() - start);
            if (start + length < text.size() && text.at(start + length - 1).isHighSurrogate())
                --length;
            const QByteArray literal = StringLiteral(text.mid(start, length));
            start += length;
            Line(indent + 1, start < text.size() ? literal + " +" : literal);
        }
    }

    void WriteValue(const QObject* object, const QByteArray& path, const QVariant& value,
        const QMetaProperty& property, int indent)
    {
        const auto unsupported = [&]() {
            throw Exception(QStringLiteral("Property %1 of %2 has a type that definitions cannot hold (%3)")
                                .arg(QLatin1String(path), QLatin1String(object->metaObject()->className()),
                                    QLatin1String(value.typeName())));
        };
        if (property.isValid() && property.isEnumType()) {
            const QMetaEnum enumerator = property.enumerator();
            const int number = value.metaType().sizeOf() == sizeof(int)
                ? *static_cast<const int*>(value.constData())
                : value.toInt();
            if (enumerator.isFlag()) {
                QByteArrayList names;
                for (int i = 0; i < enumerator.keyCount(); ++i) {
                    const int bit = enumerator.value(i);
                    if (bit != 0 && (number & bit) == bit && qPopulationCount(quint32(bit)) == 1)
                        names.append(enumerator.key(i));
                }
                Line(indent, path + " = [" + names.join(", ") + "]");
            } else if (const char* key = enumerator.valueToKey(number)) {
                Line(indent, path + " = " + key);
            } else {
                Line(indent, path + " = " + QByteArray::number(number));
            }
            return;
        }
        switch (value.metaType().id()) {
        case QMetaType::Bool:
            Line(indent, path + " = " + (value.toBool() ? "True" : "False"));
            return;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong: {
            const QByteArray name = path.mid(path.lastIndexOf('.') + 1);
            const TIntegerIdents* idents = property.isValid()
                ? FRegistry.FindIntegerIdents(object->metaObject(), QString::fromLatin1(name))
                : nullptr;
            if (idents && idents->ToIdent) {
                const QString ident = idents->ToIdent(value.toLongLong());
                if (!ident.isEmpty()) {
                    Line(indent, path + " = " + ident.toLatin1());
                    return;
                }
            }
            if (value.metaType().id() == QMetaType::ULongLong)
                Line(indent, path + " = " + QByteArray::number(value.toULongLong()));
            else
                Line(indent, path + " = " + QByteArray::number(value.toLongLong()));
            return;
        }
        case QMetaType::Double:
        case QMetaType::Float:
            Line(indent, path + " = " + DefinitionFloatText(value.toDouble()));
            return;
        case QMetaType::QString:
            WriteString(path, value.toString(), indent);
            return;
        case QMetaType::QStringList: {
            const QStringList lines = value.toStringList();
            const QByteArray name = property.isValid() ? path + ".Strings" : path;
            if (lines.isEmpty()) {
                Line(indent, name + " = ()");
                return;
            }
            Line(indent, name + " = (");
            for (qsizetype i = 0; i < lines.size(); ++i)
                Line(indent + 1, StringLiteral(lines.at(i)) + (i == lines.size() - 1 ? ")" : ""));
            return;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            if (bytes.isEmpty()) {
                Line(indent, path + " = {}");
                return;
            }
            Line(indent, path + " = {");
            for (qsizetype at = 0; at < bytes.size(); at += 32) {
                const QByteArray hex = bytes.mid(at, 32).toHex().toUpper();
                Line(indent + 1, at + 32 >= bytes.size() ? hex + "}" : hex);
            }
            return;
        }
        case QMetaType::QVariant:
            WriteValue(object, path, value.value<QVariant>(), QMetaProperty(), indent);
            return;
        default:
            unsupported();
        }
    }
};

} // namespace

QByteArray TDefinitionWriter::Write(const TComponent* root) const
{
    if (!root)
        return {};
    TWriter writer(FRegistry, root);
    return writer.Run();
}
