#include "platform/Definitions.h"

#include "platform/Controls.h"
#include "platform/Cp1252.h"

#include <QMetaEnum>
#include <QSet>
#include <QStringList>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

EDefinitionError::EDefinitionError(int line, int column, const QString& message)
    : EReadError(QStringLiteral("Line %1, column %2: %3").arg(line).arg(column).arg(message))
    , FLine(line)
    , FColumn(column)
    , FReason(message)
{ }

// ---------------------------------------------------------------------------------------------------

TCollection::TCollection(const QMetaObject* itemClass, QObject* parent)
    : TPersistent(parent)
    , FItemClass(itemClass ? itemClass : &TCollectionItem::staticMetaObject)
{ }

TCollection::~TCollection()
{
    Clear();
}

TCollectionItem* TCollection::Add()
{
    QObject* object = FItemClass->newInstance(Q_ARG(QObject*, this));
    auto* item = qobject_cast<TCollectionItem*>(object);
    if (!item) {
        delete object;
        throw Exception(
            QStringLiteral("Cannot create an item of class %1").arg(QLatin1String(FItemClass->className())));
    }
    FItems.append(item);
    return item;
}

void TCollection::Clear()
{
    const QList<TCollectionItem*> items = std::exchange(FItems, {});
    for (TCollectionItem* item : items)
        delete item;
}

void TCollection::Assign(const TPersistent* Source)
{
    const auto* other = qobject_cast<const TCollection*>(Source);
    if (!other) {
        TPersistent::Assign(Source);
        return;
    }
    if (other == this)
        return;
    Clear();
    for (TCollectionItem* item : other->FItems)
        Add()->Assign(item);
}

// ---------------------------------------------------------------------------------------------------

namespace {

// The parsed text, before any object is made.
struct TProperty;

struct TValue
{
    enum TKind { vInteger, vFloat, vString, vIdent, vSet, vList, vBinary, vCollection };
    TKind Kind = vInteger;
    int Line = 0;
    int Column = 0;
    bool Hex = false; // an integer written as $hex
    qint64 Integer = 0;
    double Float = 0;
    QString Text; // string or identifier (dotted for references)
    QStringList Names; // set elements
    std::vector<TValue> Items; // list elements
    QByteArray Bytes; // binary
    std::vector<std::vector<TProperty>> Collection; // items, each a list of properties
};

struct TProperty
{
    QString Path;
    int Line = 0;
    int Column = 0;
    TValue Value;
};

struct TObject
{
    enum THeader { hObject, hInherited, hInline };
    THeader Header = hObject;
    QString Name;
    QString ClassName;
    int Line = 0;
    int Column = 0;
    std::vector<TProperty> Properties;
    std::vector<TObject> Children;
};

[[noreturn]] void Fail(int line, int column, const QString& message)
{
    throw EDefinitionError(line, column, message);
}

// ---------------------------------------------------------------------------------------------------

class TParser
{
public:
    TParser(const QByteArray& text, int maxDepth)
        : FText(text)
        , FMaxDepth(maxDepth)
    {
        if (FText.startsWith("\xEF\xBB\xBF")) {
            FUtf8 = true;
            FPos = 3;
            FColumn = 1;
        }
    }

    TObject ParseRoot()
    {
        SkipBlanks();
        TObject root = ParseObject(0);
        SkipBlanks();
        if (!AtEnd())
            Fail(FLine, FColumn, QStringLiteral("text after the end of the definition"));
        return root;
    }

private:
    const QByteArray& FText;
    int FMaxDepth;
    qsizetype FPos = 0;
    int FLine = 1;
    int FColumn = 1;
    bool FUtf8 = false;

    bool AtEnd() const { return FPos >= FText.size(); }
    char Peek(qsizetype ahead = 0) const
    {
        const qsizetype at = FPos + ahead;
        return at < FText.size() ? FText.at(at) : '\0';
    }
    void Advance()
    {
        if (AtEnd())
            return;
        if (FText.at(FPos) == '\n') {
            ++FLine;
            FColumn = 1;
        } else {
            ++FColumn;
        }
        ++FPos;
    }
    void SkipBlanks()
    {
        while (!AtEnd()) {
            const char c = Peek();
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v')
                Advance();
            else
                break;
        }
    }
    static bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    [[noreturn]] void Unexpected(const QString& expected)
    {
        if (AtEnd())
            Fail(FLine, FColumn, QStringLiteral("%1 expected but the text ended").arg(expected));
        const unsigned char c = static_cast<unsigned char>(Peek());
        const QString found = (c >= 32 && c < 127)
            ? QStringLiteral("'%1'").arg(QChar(c))
            : QStringLiteral("byte $%1")
                  .arg(QString::number(c, 16).toUpper().rightJustified(2, QLatin1Char('0')));
        Fail(FLine, FColumn, QStringLiteral("%1 expected but %2 found").arg(expected, found));
    }

    QString PeekIdent() const
    {
        if (!IsIdentStart(Peek()))
            return {};
        qsizetype end = FPos;
        while (end < FText.size() && IsIdentChar(FText.at(end)))
            ++end;
        return QString::fromLatin1(FText.constData() + FPos, end - FPos);
    }
    QString ReadIdent(const QString& what)
    {
        if (!IsIdentStart(Peek()))
            Unexpected(what);
        QString ident;
        while (IsIdentChar(Peek())) {
            ident.append(QLatin1Char(Peek()));
            Advance();
        }
        return ident;
    }
    // Identifiers joined by dots without blanks: Font.Name, Form1.DataSource1.
    QString ReadDottedIdent(const QString& what)
    {
        QString ident = ReadIdent(what);
        while (Peek() == '.' && IsIdentStart(Peek(1))) {
            Advance();
            ident += QLatin1Char('.') + ReadIdent(what);
        }
        return ident;
    }
    void Expect(char c, const QString& what)
    {
        SkipBlanks();
        if (Peek() != c)
            Unexpected(what);
        Advance();
    }
    void CheckDepth(int depth)
    {
        if (depth > FMaxDepth)
            Fail(FLine, FColumn, QStringLiteral("nesting deeper than %1 levels").arg(FMaxDepth));
    }

    TObject ParseObject(int depth)
    {
        CheckDepth(depth);
        TObject object;
        object.Line = FLine;
        object.Column = FColumn;
        const QString keyword = ReadIdent(QStringLiteral("'object'"));
        if (keyword.compare(QLatin1String("object"), Qt::CaseInsensitive) == 0)
            object.Header = TObject::hObject;
        else if (keyword.compare(QLatin1String("inherited"), Qt::CaseInsensitive) == 0)
            object.Header = TObject::hInherited;
        else if (keyword.compare(QLatin1String("inline"), Qt::CaseInsensitive) == 0)
            object.Header = TObject::hInline;
        else
            Fail(object.Line, object.Column, QStringLiteral("'object' expected but '%1' found").arg(keyword));
        SkipBlanks();
        QString first = ReadIdent(QStringLiteral("a component name"));
        SkipBlanks();
        if (Peek() == ':') {
            Advance();
            SkipBlanks();
            object.Name = first;
            object.ClassName = ReadIdent(QStringLiteral("a class name"));
        } else {
            object.ClassName = first;
        }
        SkipBlanks();
        if (Peek() == '[') { // position among the ancestor's children; the order of the text decides here
            Advance();
            SkipBlanks();
            ParseNumber(false);
            Expect(']', QStringLiteral("']'"));
        }
        for (;;) {
            SkipBlanks();
            const int line = FLine;
            const int column = FColumn;
            const QString word = PeekIdent();
            if (word.isEmpty())
                Unexpected(QStringLiteral("a property, an object or 'end'"));
            if (word.compare(QLatin1String("end"), Qt::CaseInsensitive) == 0 && !IsIdentChar(Peek(3))
                && Peek(3) != '.') {
                ReadIdent(QString());
                return object;
            }
            if ((word.compare(QLatin1String("object"), Qt::CaseInsensitive) == 0
                    || word.compare(QLatin1String("inherited"), Qt::CaseInsensitive) == 0
                    || word.compare(QLatin1String("inline"), Qt::CaseInsensitive) == 0)
                && Peek(word.size()) != '.') {
                object.Children.push_back(ParseObject(depth + 1));
                continue;
            }
            object.Properties.push_back(ParseProperty(line, column, depth));
        }
    }

    TProperty ParseProperty(int line, int column, int depth)
    {
        TProperty property;
        property.Line = line;
        property.Column = column;
        property.Path = ReadDottedIdent(QStringLiteral("a property name"));
        Expect('=', QStringLiteral("'='"));
        SkipBlanks();
        property.Value = ParseValue(depth + 1);
        return property;
    }

    TValue ParseValue(int depth)
    {
        CheckDepth(depth);
        SkipBlanks();
        TValue value;
        value.Line = FLine;
        value.Column = FColumn;
        const char c = Peek();
        if (c == '\'' || c == '#') {
            value.Kind = TValue::vString;
            value.Text = ParseStringExpression();
        } else if (IsDigit(c) || c == '$'
            || ((c == '-' || c == '+') && (IsDigit(Peek(1)) || Peek(1) == '$'))) {
            TValue number = ParseNumber(true);
            number.Line = value.Line;
            number.Column = value.Column;
            return number;
        } else if (IsIdentStart(c)) {
            value.Kind = TValue::vIdent;
            value.Text = ReadDottedIdent(QStringLiteral("a value"));
        } else if (c == '[') {
            value.Kind = TValue::vSet;
            Advance();
            SkipBlanks();
            if (Peek() != ']') {
                for (;;) {
                    SkipBlanks();
                    if (IsIdentStart(Peek()))
                        value.Names.append(ReadIdent(QStringLiteral("a set element")));
                    else if (IsDigit(Peek()))
                        value.Names.append(QString::number(ParseNumber(false).Integer));
                    else
                        Unexpected(QStringLiteral("a set element"));
                    SkipBlanks();
                    if (Peek() == ',') {
                        Advance();
                        continue;
                    }
                    break;
                }
            }
            Expect(']', QStringLiteral("']'"));
        } else if (c == '(') {
            value.Kind = TValue::vList;
            Advance();
            for (;;) {
                SkipBlanks();
                if (Peek() == ')') {
                    Advance();
                    break;
                }
                if (AtEnd())
                    Unexpected(QStringLiteral("')'"));
                value.Items.push_back(ParseValue(depth + 1));
            }
        } else if (c == '{') {
            value.Kind = TValue::vBinary;
            Advance();
            value.Bytes = ParseHexBytes();
        } else if (c == '<') {
            value.Kind = TValue::vCollection;
            Advance();
            for (;;) {
                SkipBlanks();
                if (Peek() == '>') {
                    Advance();
                    break;
                }
                const QString word = PeekIdent();
                if (word.compare(QLatin1String("item"), Qt::CaseInsensitive) != 0)
                    Unexpected(QStringLiteral("'item' or '>'"));
                ReadIdent(QString());
                SkipBlanks();
                if (Peek() == '[') {
                    Advance();
                    SkipBlanks();
                    ParseNumber(false);
                    Expect(']', QStringLiteral("']'"));
                }
                std::vector<TProperty> properties;
                for (;;) {
                    SkipBlanks();
                    const int line = FLine;
                    const int column = FColumn;
                    const QString next = PeekIdent();
                    if (next.isEmpty())
                        Unexpected(QStringLiteral("a property or 'end'"));
                    if (next.compare(QLatin1String("end"), Qt::CaseInsensitive) == 0 && Peek(3) != '.') {
                        ReadIdent(QString());
                        break;
                    }
                    properties.push_back(ParseProperty(line, column, depth + 1));
                }
                value.Collection.push_back(std::move(properties));
            }
        } else {
            Unexpected(QStringLiteral("a value"));
        }
        return value;
    }

    // Integers (decimal or $hex) and floats (with a point or an exponent, maybe a type suffix).
    TValue ParseNumber(bool allowFloat)
    {
        TValue value;
        value.Kind = TValue::vInteger;
        value.Line = FLine;
        value.Column = FColumn;
        bool negative = false;
        if (Peek() == '-' || Peek() == '+') {
            negative = Peek() == '-';
            Advance();
        }
        if (Peek() == '$') {
            Advance();
            quint64 number = 0;
            int digits = 0;
            while (std::isxdigit(static_cast<unsigned char>(Peek()))) {
                if (++digits > 16)
                    Fail(value.Line, value.Column, QStringLiteral("hexadecimal number too large"));
                const char h = Peek();
                number = number * 16 + quint64(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                Advance();
            }
            if (digits == 0)
                Unexpected(QStringLiteral("a hexadecimal digit"));
            value.Hex = true;
            value.Integer = negative ? -qint64(number) : qint64(number);
            return value;
        }
        const qsizetype start = FPos;
        while (IsDigit(Peek()))
            Advance();
        if (FPos == start)
            Unexpected(QStringLiteral("a number"));
        bool isFloat = false;
        if (Peek() == '.' && IsDigit(Peek(1))) {
            isFloat = true;
            Advance();
            while (IsDigit(Peek()))
                Advance();
        }
        if ((Peek() == 'e' || Peek() == 'E')
            && (IsDigit(Peek(1)) || ((Peek(1) == '-' || Peek(1) == '+') && IsDigit(Peek(2))))) {
            isFloat = true;
            Advance();
            if (Peek() == '-' || Peek() == '+')
                Advance();
            while (IsDigit(Peek()))
                Advance();
        }
        const qsizetype end = FPos;
        if (isFloat
            && (Peek() == 's' || Peek() == 'S' || Peek() == 'c' || Peek() == 'C' || Peek() == 'd'
                || Peek() == 'D')
            && !IsIdentChar(Peek(1)))
            Advance(); // single, currency and date markers; the property's type decides
        if (IsIdentChar(Peek()))
            Unexpected(QStringLiteral("the end of the number"));
        const char* first = FText.constData() + start;
        const char* last = FText.constData() + end;
        if (isFloat) {
            if (!allowFloat)
                Fail(value.Line, value.Column, QStringLiteral("integer expected"));
            double number = 0;
            const auto result = std::from_chars(first, last, number);
            if (result.ec != std::errc() || result.ptr != last || !std::isfinite(number))
                Fail(value.Line, value.Column, QStringLiteral("invalid floating-point number"));
            value.Kind = TValue::vFloat;
            value.Float = negative ? -number : number;
            return value;
        }
        quint64 number = 0;
        const auto result = std::from_chars(first, last, number);
        const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                       : quint64(std::numeric_limits<qint64>::max());
        if (result.ec != std::errc() || result.ptr != last || number > limit)
            Fail(value.Line, value.Column, QStringLiteral("integer out of range"));
        value.Integer = negative ? qint64(0 - number) : qint64(number);
        return value;
    }

    // One string: quoted runs and #nnn codes without blanks between them, then "+" and another.
    QString ParseStringExpression()
    {
        QString text = ParseString();
        for (;;) {
            const qsizetype pos = FPos;
            const int line = FLine;
            const int column = FColumn;
            SkipBlanks();
            if (Peek() != '+') {
                FPos = pos;
                FLine = line;
                FColumn = column;
                return text;
            }
            Advance();
            SkipBlanks();
            if (Peek() != '\'' && Peek() != '#')
                Unexpected(QStringLiteral("a string after '+'"));
            text += ParseString();
        }
    }

    QString ParseString()
    {
        QString text;
        for (;;) {
            if (Peek() == '\'') {
                Advance();
                QByteArray run;
                for (;;) {
                    if (AtEnd() || Peek() == '\n' || Peek() == '\r')
                        Fail(FLine, FColumn, QStringLiteral("unterminated string"));
                    if (Peek() == '\'') {
                        if (Peek(1) == '\'') {
                            run.append('\'');
                            Advance();
                            Advance();
                            continue;
                        }
                        Advance();
                        break;
                    }
                    run.append(Peek());
                    Advance();
                }
                text += FUtf8 ? QString::fromUtf8(run) : Cp1252ToString(run);
            } else if (Peek() == '#') {
                const int line = FLine;
                const int column = FColumn;
                Advance();
                TValue code = ParseNumber(false);
                if (code.Integer < 0 || code.Integer > 0x10FFFF
                    || (code.Integer >= 0xD800 && code.Integer <= 0xDFFF))
                    Fail(line, column, QStringLiteral("invalid character code"));
                if (code.Integer < 256)
                    text += QChar(Cp1252ToChar(static_cast<unsigned char>(code.Integer)));
                else {
                    const char32_t point = char32_t(code.Integer);
                    text += QString::fromUcs4(&point, 1);
                }
            } else {
                return text;
            }
        }
    }

    QByteArray ParseHexBytes()
    {
        QByteArray bytes;
        int high = -1;
        for (;;) {
            SkipBlanks();
            if (AtEnd())
                Unexpected(QStringLiteral("'}'"));
            const char c = Peek();
            if (c == '}') {
                if (high >= 0)
                    Fail(FLine, FColumn, QStringLiteral("odd number of hexadecimal digits"));
                Advance();
                return bytes;
            }
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                Unexpected(QStringLiteral("a hexadecimal digit"));
            const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
            if (high < 0) {
                high = digit;
            } else {
                bytes.append(char(high * 16 + digit));
                high = -1;
            }
            Advance();
        }
    }
};

// ---------------------------------------------------------------------------------------------------

QString ClassNameOf(const QObject* object)
{
    return QString::fromLatin1(object->metaObject()->className());
}

bool IsObjectPointer(const QMetaProperty& property)
{
    return property.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

QMetaProperty FindProperty(const QObject* object, const QString& name)
{
    const QMetaObject* meta = object->metaObject();
    for (int i = meta->propertyCount() - 1; i >= 0; --i) {
        const QMetaProperty property = meta->property(i);
        if (name.compare(QLatin1String(property.name()), Qt::CaseInsensitive) == 0)
            return property;
    }
    return {};
}

// A value as the custom-property hooks receive it.
QVariant NaturalValue(const TValue& value)
{
    switch (value.Kind) {
    case TValue::vInteger:
        if (value.Integer >= std::numeric_limits<int>::min()
            && value.Integer <= std::numeric_limits<int>::max())
            return int(value.Integer);
        return value.Integer;
    case TValue::vFloat:
        return value.Float;
    case TValue::vString:
    case TValue::vIdent:
        return value.Text;
    case TValue::vSet:
        return value.Names;
    case TValue::vList: {
        QVariantList list;
        for (const TValue& item : value.Items)
            list.append(NaturalValue(item));
        return list;
    }
    case TValue::vBinary:
        return value.Bytes;
    case TValue::vCollection:
        return {};
    }
    return {};
}

bool IsTrue(const QString& ident)
{
    return ident.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
}
bool IsFalse(const QString& ident)
{
    return ident.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0;
}

class TBuilder
{
public:
    TBuilder(const TDefinitionReader& reader, const TClassRegistry& registry)
        : FReader(reader)
        , FRegistry(registry)
    { }

    void Build(const TObject& rootNode, TComponent* root, bool rootCreated)
    {
        FRoot = root;
        try {
            Fill(rootNode, root);
            ResolveReferences();
        } catch (...) {
            Rollback(rootCreated);
            throw;
        }
        for (TComponent* component : std::as_const(FLoading))
            component->SetLoading(false);
        // A component that cannot finish loading (a table that does not open) fails the whole read,
        // which then leaves nothing half-made behind.
        for (const auto& [component, node] : FLoadedNodes) {
            try {
                component->Loaded();
            } catch (const Exception& error) {
                const bool silent = dynamic_cast<const EAbort*>(&error) != nullptr;
                const EDefinitionError failure(node->Line, node->Column,
                    QStringLiteral("%1: %2").arg(component->Name(), error.Message()));
                Rollback(rootCreated);
                if (silent)
                    throw;
                throw failure;
            }
        }
    }

private:
    struct TReference
    {
        QObject* Target;
        QMetaProperty Property;
        QString Name;
        int Line;
        int Column;
        QString OwnerClass;
    };

    const TDefinitionReader& FReader;
    const TClassRegistry& FRegistry;
    TComponent* FRoot = nullptr;
    QList<TComponent*> FCreated;
    QList<TComponent*> FLoading;
    QSet<TComponent*> FLoadingSet;
    QSet<TComponent*> FCreatedSet;
    std::vector<std::pair<TComponent*, const TObject*>> FLoadedNodes;
    std::vector<TReference> FReferences;

    void Rollback(bool rootCreated)
    {
        for (TComponent* component : std::as_const(FLoading))
            if (!FCreatedSet.contains(component))
                component->SetLoading(false);
        if (rootCreated) {
            delete FRoot;
            FRoot = nullptr;
            return;
        }
        while (!FCreated.isEmpty())
            delete FCreated.takeLast();
    }

    void StartLoading(TComponent* component, const TObject& node)
    {
        component->SetLoading(true);
        if (!FLoadingSet.contains(component)) {
            FLoadingSet.insert(component);
            FLoading.append(component);
            FLoadedNodes.emplace_back(component, &node);
        }
    }

    void Fill(const TObject& node, TComponent* component)
    {
        StartLoading(component, node);
        for (const TProperty& property : node.Properties)
            SetProperty(component, property);
        for (const TObject& child : node.Children)
            ReadChild(child, component);
    }

    void ReadChild(const TObject& node, TComponent* container)
    {
        TComponent* existing = node.Name.isEmpty() ? nullptr : FRoot->FindComponent(node.Name);
        TComponent* component = nullptr;
        if (node.Header == TObject::hInherited) {
            if (!existing)
                Fail(node.Line, node.Column,
                    QStringLiteral("inherited component '%1' not found").arg(node.Name));
            if (!ClassMatches(existing, node.ClassName))
                Fail(node.Line, node.Column,
                    QStringLiteral("component '%1' is a %2, not a %3")
                        .arg(node.Name, ClassNameOf(existing), node.ClassName));
            component = existing;
        } else if (existing && node.Header == TObject::hInline && ClassMatches(existing, node.ClassName)) {
            component = existing;
        } else {
            if (existing)
                Fail(node.Line, node.Column,
                    QStringLiteral("a component named '%1' already exists").arg(node.Name));
            if (!FRegistry.FindClass(node.ClassName))
                Fail(node.Line, node.Column, QStringLiteral("unknown class '%1'").arg(node.ClassName));
            try {
                component = FRegistry.CreateComponent(node.ClassName, FRoot);
            } catch (const EAbort&) {
                throw;
            } catch (const Exception& error) {
                Fail(node.Line, node.Column,
                    QStringLiteral("cannot create %1: %2").arg(node.ClassName, error.Message()));
            }
            if (!component)
                Fail(node.Line, node.Column, QStringLiteral("cannot create %1").arg(node.ClassName));
            FCreated.append(component);
            FCreatedSet.insert(component);
            if (component->Owner() != FRoot)
                FRoot->InsertComponent(component);
            component->SetLoading(true);
            try {
                if (!node.Name.isEmpty())
                    component->SetName(node.Name);
            } catch (const EAbort&) {
                throw;
            } catch (const Exception& error) {
                Fail(node.Line, node.Column, error.Message());
            }
        }
        auto* control = qobject_cast<TControl*>(component);
        auto* parent = qobject_cast<TControl*>(container);
        if (control && parent && control->Parent() != parent) {
            try {
                control->SetParent(parent);
            } catch (const EAbort&) {
                throw;
            } catch (const Exception& error) {
                Fail(node.Line, node.Column, error.Message());
            }
        }
        Fill(node, component);
    }

    static bool ClassMatches(const QObject* object, const QString& className)
    {
        for (const QMetaObject* meta = object->metaObject(); meta; meta = meta->superClass())
            if (className.compare(QLatin1String(meta->className()), Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }

    [[noreturn]] void UnknownProperty(const TProperty& property, const QObject* component)
    {
        Fail(property.Line, property.Column,
            QStringLiteral("unknown property '%1' of %2").arg(property.Path, ClassNameOf(component)));
    }

    // Walks the dotted path through owned persistent objects and sets the last step.
    void SetProperty(TComponent* component, const TProperty& property)
    {
        const QStringList steps = property.Path.split(QLatin1Char('.'));
        QObject* target = component;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const QString& step = steps.at(i);
            const bool last = i == steps.size() - 1;
            const QString rest = QStringList(steps.mid(i)).join(QLatin1Char('.'));
            if (OfferCustom(target, rest, property))
                return;
            const QMetaProperty meta = FindProperty(target, step);
            if (last) {
                if (meta.isValid()) {
                    WriteProperty(target, meta, property, component);
                    return;
                }
                if (i == 0 && BindEvent(component, step, property))
                    return;
                break;
            }
            if (!meta.isValid())
                break;
            // A string list stored the platform's way: SQL.Strings = ( ... ).
            if (meta.metaType() == QMetaType::fromType<QStringList>() && i == steps.size() - 2
                && steps.last().compare(QLatin1String("Strings"), Qt::CaseInsensitive) == 0) {
                WriteProperty(target, meta, property, component);
                return;
            }
            if (!IsObjectPointer(meta))
                break;
            QObject* next = meta.read(target).value<QObject*>();
            if (!next || qobject_cast<TComponent*>(next))
                break; // the path leads through references only into owned persistent objects
            target = next;
        }
        if (FRegistry.IsIgnoredProperty(component->metaObject(), property.Path))
            return;
        UnknownProperty(property, component);
    }

    bool OfferCustom(QObject* target, const QString& name, const TProperty& property)
    {
        if (property.Value.Kind == TValue::vCollection)
            return false;
        const QVariant value = NaturalValue(property.Value);
        try {
            if (auto* component = qobject_cast<TComponent*>(target))
                return component->ReadCustomProperty(name, value);
            if (auto* persistent = qobject_cast<TPersistent*>(target))
                return persistent->ReadCustomProperty(name, value);
        } catch (const EAbort&) {
            throw;
        } catch (const Exception& error) {
            Fail(property.Value.Line, property.Value.Column,
                QStringLiteral("invalid value for property '%1' of %2: %3")
                    .arg(property.Path, ClassNameOf(target), error.Message()));
        }
        return false;
    }

    bool BindEvent(TComponent* component, const QString& name, const TProperty& property)
    {
        const TEventAdaptor* adaptor = FRegistry.FindEvent(component->metaObject(), name);
        if (!adaptor)
            return false;
        const TValue& value = property.Value;
        if (value.Kind != TValue::vIdent || value.Text.contains(QLatin1Char('.')))
            Fail(value.Line, value.Column,
                QStringLiteral("event '%1' of %2 needs a handler name").arg(name, ClassNameOf(component)));
        const std::any* handler = FReader.Handlers ? FReader.Handlers->Find(value.Text) : nullptr;
        if (!handler)
            Fail(value.Line, value.Column,
                QStringLiteral("unknown event handler '%1' for event '%2' of %3")
                    .arg(value.Text, name, component->Name()));
        if (std::type_index(handler->type()) != adaptor->Signature)
            Fail(value.Line, value.Column,
                QStringLiteral("event handler '%1' does not fit event '%2' of %3")
                    .arg(value.Text, name, ClassNameOf(component)));
        adaptor->Bind(component, *handler);
        component->SetEventHandlerName(name, value.Text);
        return true;
    }

    [[noreturn]] void BadValue(const TProperty& property, const QObject* target, const QString& detail = {})
    {
        QString message
            = QStringLiteral("invalid value for property '%1' of %2").arg(property.Path, ClassNameOf(target));
        if (!detail.isEmpty())
            message += QStringLiteral(": ") + detail;
        Fail(property.Value.Line, property.Value.Column, message);
    }

    void WriteProperty(
        QObject* target, const QMetaProperty& meta, const TProperty& property, TComponent* component)
    {
        const TValue& value = property.Value;
        if (IsObjectPointer(meta)) {
            QObject* current = meta.read(target).value<QObject*>();
            if (auto* collection = qobject_cast<TCollection*>(current);
                collection && value.Kind == TValue::vCollection) {
                ReadCollection(collection, property, component);
                return;
            }
            if (value.Kind == TValue::vIdent && meta.isWritable()) {
                if (value.Text.compare(QLatin1String("nil"), Qt::CaseInsensitive) == 0) {
                    Store(target, meta, QVariant(meta.metaType(), nullptr), property);
                    return;
                }
                FReferences.push_back(
                    { target, meta, value.Text, value.Line, value.Column, ClassNameOf(target) });
                return;
            }
            BadValue(property, target);
        }
        if (!meta.isWritable())
            BadValue(property, target, QStringLiteral("the property is read-only"));
        Store(target, meta, Convert(target, meta, property), property);
    }

    void Store(
        QObject* target, const QMetaProperty& meta, const QVariant& converted, const TProperty& property)
    {
        try {
            if (!meta.write(target, converted))
                BadValue(property, target);
        } catch (const EAbort&) {
            throw;
        } catch (const EDefinitionError&) {
            throw;
        } catch (const Exception& error) {
            BadValue(property, target, error.Message());
        }
    }

    QVariant EnumValue(QObject* target, const QMetaProperty& meta, const TProperty& property)
    {
        const TValue& value = property.Value;
        const QMetaEnum enumerator = meta.enumerator();
        int number = 0;
        if (enumerator.isFlag()) {
            if (value.Kind == TValue::vSet) {
                for (const QString& name : value.Names) {
                    bool ok = false;
                    const int bit = KeyToValue(enumerator, name, &ok);
                    if (!ok)
                        BadValue(property, target, QStringLiteral("unknown element '%1'").arg(name));
                    number |= bit;
                }
            } else if (value.Kind == TValue::vInteger && value.Integer >= 0
                && value.Integer <= std::numeric_limits<int>::max()) {
                number = int(value.Integer);
            } else {
                BadValue(property, target);
            }
        } else if (value.Kind == TValue::vIdent) {
            bool ok = false;
            number = KeyToValue(enumerator, value.Text, &ok);
            if (!ok)
                BadValue(property, target, QStringLiteral("unknown value '%1'").arg(value.Text));
        } else if (value.Kind == TValue::vInteger && value.Integer >= std::numeric_limits<int>::min()
            && value.Integer <= std::numeric_limits<int>::max()
            && enumerator.valueToKey(int(value.Integer))) {
            number = int(value.Integer);
        } else {
            BadValue(property, target);
        }
        if (meta.metaType().sizeOf() != sizeof(int))
            BadValue(property, target, QStringLiteral("unsupported enumeration storage"));
        return QVariant(meta.metaType(), &number);
    }

    static int KeyToValue(const QMetaEnum& enumerator, const QString& name, bool* ok)
    {
        for (int i = 0; i < enumerator.keyCount(); ++i)
            if (name.compare(QLatin1String(enumerator.key(i)), Qt::CaseInsensitive) == 0) {
                *ok = true;
                return enumerator.value(i);
            }
        *ok = false;
        return 0;
    }

    QVariant Convert(QObject* target, const QMetaProperty& meta, const TProperty& property)
    {
        const TValue& value = property.Value;
        if (meta.isEnumType())
            return EnumValue(target, meta, property);
        const int type = meta.metaType().id();
        switch (type) {
        case QMetaType::Bool:
            if (value.Kind == TValue::vIdent && IsTrue(value.Text))
                return true;
            if (value.Kind == TValue::vIdent && IsFalse(value.Text))
                return false;
            BadValue(property, target);
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::ULong: {
            qint64 number = 0;
            if (value.Kind == TValue::vInteger) {
                number = value.Integer;
            } else if (value.Kind == TValue::vIdent) {
                const TIntegerIdents* idents
                    = FRegistry.FindIntegerIdents(target->metaObject(), QLatin1String(meta.name()));
                const std::optional<qint64> found = idents ? idents->FromIdent(value.Text) : std::nullopt;
                if (!found)
                    BadValue(property, target, QStringLiteral("unknown identifier '%1'").arg(value.Text));
                number = *found;
            } else {
                BadValue(property, target);
            }
            return IntegerVariant(meta.metaType(), number, value.Hex, property, target);
        }
        case QMetaType::Double:
        case QMetaType::Float:
            if (value.Kind == TValue::vFloat)
                return type == QMetaType::Float ? QVariant(float(value.Float)) : QVariant(value.Float);
            if (value.Kind == TValue::vInteger)
                return type == QMetaType::Float ? QVariant(float(value.Integer))
                                                : QVariant(double(value.Integer));
            BadValue(property, target);
        case QMetaType::QString:
            if (value.Kind == TValue::vString)
                return value.Text;
            BadValue(property, target);
        case QMetaType::QStringList:
            if (value.Kind == TValue::vList) {
                QStringList lines;
                for (const TValue& item : value.Items) {
                    if (item.Kind != TValue::vString)
                        Fail(item.Line, item.Column,
                            QStringLiteral("invalid value for property '%1' of %2: a string expected")
                                .arg(property.Path, ClassNameOf(target)));
                    lines.append(item.Text);
                }
                return lines;
            }
            BadValue(property, target);
        case QMetaType::QByteArray:
            if (value.Kind == TValue::vBinary)
                return value.Bytes;
            BadValue(property, target);
        case QMetaType::QVariant:
            if (value.Kind == TValue::vCollection)
                BadValue(property, target);
            return NaturalValue(value);
        default:
            BadValue(property, target,
                QStringLiteral("a property of type %1 cannot be read").arg(QLatin1String(meta.typeName())));
        }
    }

    QVariant IntegerVariant(
        QMetaType type, qint64 number, bool hex, const TProperty& property, QObject* target)
    {
        switch (type.id()) {
        case QMetaType::Int:
        case QMetaType::Long:
            if (hex && number >= 0 && number <= qint64(std::numeric_limits<quint32>::max()))
                number = qint64(qint32(quint32(number))); // $80000005 is a system colour, a negative int
            if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
                BadValue(property, target, QStringLiteral("out of range"));
            return QVariant::fromValue(int(number));
        case QMetaType::Short:
            if (number < std::numeric_limits<short>::min() || number > std::numeric_limits<short>::max())
                BadValue(property, target, QStringLiteral("out of range"));
            return QVariant::fromValue(short(number));
        case QMetaType::UShort:
            if (number < 0 || number > std::numeric_limits<ushort>::max())
                BadValue(property, target, QStringLiteral("out of range"));
            return QVariant::fromValue(ushort(number));
        case QMetaType::UInt:
        case QMetaType::ULong:
            if (number < 0 || number > qint64(std::numeric_limits<uint>::max()))
                BadValue(property, target, QStringLiteral("out of range"));
            return QVariant::fromValue(uint(number));
        case QMetaType::ULongLong:
            if (number < 0)
                BadValue(property, target, QStringLiteral("out of range"));
            return QVariant::fromValue(qulonglong(number));
        default:
            return QVariant::fromValue(qlonglong(number));
        }
    }

    void ReadCollection(TCollection* collection, const TProperty& property, TComponent* component)
    {
        try {
            collection->Clear();
            for (const std::vector<TProperty>& itemProperties : property.Value.Collection) {
                TCollectionItem* item = collection->Add();
                for (const TProperty& itemProperty : itemProperties)
                    SetItemProperty(item, itemProperty, component);
            }
        } catch (const EDefinitionError&) {
            throw;
        } catch (const EAbort&) {
            throw;
        } catch (const Exception& error) {
            BadValue(property, component, error.Message());
        }
    }

    void SetItemProperty(TCollectionItem* item, const TProperty& property, TComponent* component)
    {
        const QStringList steps = property.Path.split(QLatin1Char('.'));
        QObject* target = item;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const QString rest = QStringList(steps.mid(i)).join(QLatin1Char('.'));
            if (OfferCustom(target, rest, property))
                return;
            const QMetaProperty meta = FindProperty(target, steps.at(i));
            if (!meta.isValid())
                break;
            if (i == steps.size() - 1
                || (meta.metaType() == QMetaType::fromType<QStringList>() && i == steps.size() - 2
                    && steps.last().compare(QLatin1String("Strings"), Qt::CaseInsensitive) == 0)) {
                WriteProperty(target, meta, property, component);
                return;
            }
            if (!IsObjectPointer(meta))
                break;
            QObject* next = meta.read(target).value<QObject*>();
            if (!next || qobject_cast<TComponent*>(next))
                break;
            target = next;
        }
        Fail(property.Line, property.Column,
            QStringLiteral("unknown property '%1' of %2").arg(property.Path, ClassNameOf(item)));
    }

    TComponent* FindReferenced(const QString& name) const
    {
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        if (dot < 0) {
            if (name.compare(FRoot->Name(), Qt::CaseInsensitive) == 0)
                return FRoot;
            return FRoot->FindComponent(name);
        }
        const QString first = name.left(dot);
        const QString rest = name.mid(dot + 1);
        if (first.compare(FRoot->Name(), Qt::CaseInsensitive) == 0 && !rest.contains(QLatin1Char('.')))
            return FRoot->FindComponent(rest);
        return FReader.FindExternalComponent ? FReader.FindExternalComponent(name) : nullptr;
    }

    void ResolveReferences()
    {
        for (const TReference& reference : FReferences) {
            TComponent* found = FindReferenced(reference.Name);
            if (!found)
                Fail(reference.Line, reference.Column,
                    QStringLiteral("unresolved reference '%1' in property '%2' of %3")
                        .arg(reference.Name, QLatin1String(reference.Property.name()), reference.OwnerClass));
            const QMetaObject* wanted = reference.Property.metaType().metaObject();
            if (wanted && !found->metaObject()->inherits(wanted))
                Fail(reference.Line, reference.Column,
                    QStringLiteral("'%1' is a %2, which property '%3' of %4 cannot hold")
                        .arg(reference.Name, ClassNameOf(found), QLatin1String(reference.Property.name()),
                            reference.OwnerClass));
            QObject* object = found;
            TProperty position;
            position.Path = QLatin1String(reference.Property.name());
            position.Line = reference.Line;
            position.Column = reference.Column;
            position.Value.Line = reference.Line;
            position.Value.Column = reference.Column;
            Store(reference.Target, reference.Property, QVariant(reference.Property.metaType(), &object),
                position);
        }
    }
};

TObject Parse(const QByteArray& text, int maxDepth)
{
    TParser parser(text, maxDepth);
    return parser.ParseRoot();
}

} // namespace

void TDefinitionReader::ReadInto(const QByteArray& text, TComponent* root)
{
    if (!root)
        throw EReadError(QStringLiteral("No component to read the definition into"));
    const TObject node = Parse(text, MaxDepth);
    bool matches = false;
    for (const QMetaObject* meta = root->metaObject(); meta && !matches; meta = meta->superClass())
        matches = node.ClassName.compare(QLatin1String(meta->className()), Qt::CaseInsensitive) == 0;
    if (!matches)
        Fail(node.Line, node.Column,
            QStringLiteral("the definition is of class %1, not of %2")
                .arg(node.ClassName, ClassNameOf(root)));
    if (root->Name().isEmpty() && !node.Name.isEmpty())
        root->SetName(node.Name);
    TBuilder builder(*this, FRegistry);
    builder.Build(node, root, false);
}

TComponent* TDefinitionReader::Read(const QByteArray& text, TComponent* owner)
{
    const TObject node = Parse(text, MaxDepth);
    if (!FRegistry.FindClass(node.ClassName))
        Fail(node.Line, node.Column, QStringLiteral("unknown class '%1'").arg(node.ClassName));
    TComponent* root = FRegistry.CreateComponent(node.ClassName, owner);
    if (!root)
        Fail(node.Line, node.Column, QStringLiteral("cannot create %1").arg(node.ClassName));
    try {
        root->SetLoading(true);
        if (!node.Name.isEmpty())
            root->SetName(node.Name);
    } catch (const Exception& error) {
        delete root;
        Fail(node.Line, node.Column, error.Message());
    }
    TBuilder builder(*this, FRegistry);
    builder.Build(node, root, true);
    return root;
}
