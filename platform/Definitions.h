#pragma once
// Definitions: windows and reports stored as text, in the desktop platform's form-definition format.
//
//   object RLReport1: TRLReport
//     Left = 19
//     Font.Name = 'Arial'
//     Margins.LeftMargin = 5.000000000000000000
//     DataSource = DataSource1
//     object RLBand1: TRLBand
//       BeforePrint = RLBand1BeforePrint
//     end
//   end
//
// The text is read as bytes: outside quotes it is ASCII; bytes of 0x80 and above inside quotes are
// Windows-1252 (UTF-8 when the text starts with a UTF-8 byte-order mark), and #nnn codes of 128 to 255
// are Windows-1252 code values too, #256 and above Unicode code points.
//
// Reading builds the tree: every nested object is owned by the root and, when both are controls,
// becomes a child of the enclosing one. Classes come from a TClassRegistry. Properties are set through
// the meta-object system after the class's ReadCustomProperty hook declined them; events bind to the
// handlers of a TEventHandlers table by name. References to components ("DataSource = DataSource1",
// "Form1.Table1") are resolved after the whole text is read, so they may point forward. Every
// component the reader creates or fills is loading (TComponent::IsLoading) until then; then Loaded
// runs on each. Any fault gives EDefinitionError naming the line and column; the components that the
// failed read created are destroyed again, and no bytes can make the reader crash, loop or allocate
// beyond a small multiple of the text's size (nesting is bounded by MaxDepth).
//
// Writing follows the stored-property rules: a property is written when IsPropertyStored says so, and
// a property of an owned persistent object (Font.Name) also when it differs from its value on a
// default-built owner. Writing what was read gives the same text again.
#include "platform/ClassRegistry.h"
#include "platform/Component.h"
#include "platform/Exceptions.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <any>
#include <functional>

// A definition that cannot be read: the message starts with "Line L, column C: ".
class EDefinitionError : public EReadError
{
public:
    EDefinitionError(int line, int column, const QString& message);
    int Line() const { return FLine; }
    int Column() const { return FColumn; }
    // The message without its position.
    const QString& Reason() const { return FReason; }

private:
    int FLine;
    int FColumn;
    QString FReason;
};

// An item of a collection property, read and written as "item ... end" between < and >. Item classes
// have a Q_INVOKABLE constructor taking their collection as QObject* parent.
class TCollectionItem : public TPersistent
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TCollectionItem(QObject* parent = nullptr)
        : TPersistent(parent)
    { }
};

// A list of items of one class, owned by the collection (QObject children). A collection is an owned
// persistent object of its component, published as a property of type TCollection* or a subclass.
class TCollection : public TPersistent
{
    Q_OBJECT
public:
    explicit TCollection(
        const QMetaObject* itemClass = &TCollectionItem::staticMetaObject, QObject* parent = nullptr);
    Q_INVOKABLE explicit TCollection(QObject* parent)
        : TCollection(&TCollectionItem::staticMetaObject, parent)
    { }
    ~TCollection() override;

    const QMetaObject* ItemClass() const { return FItemClass; }
    int Count() const { return int(FItems.size()); }
    TCollectionItem* Items(int index) const { return FItems.at(index); }
    // A new item of the item class at the end.
    TCollectionItem* Add();
    void Clear();
    // Copies the items of another collection of the same item class.
    void Assign(const TPersistent* Source) override;

private:
    const QMetaObject* FItemClass;
    QList<TCollectionItem*> FItems;
};

// The event handlers a window offers to its definition, by name (compared without regard to case).
class TEventHandlers
{
public:
    // F is the event's std::function type: Add<TNotifyEvent>("Button1Click", [](...){...}).
    template <class F> void Add(const QString& name, F handler)
    {
        FHandlers.insert(name.toLower(), std::any(std::move(handler)));
    }
    const std::any* Find(const QString& name) const
    {
        auto it = FHandlers.constFind(name.toLower());
        return it == FHandlers.constEnd() ? nullptr : &it.value();
    }
    int Count() const { return int(FHandlers.size()); }

private:
    QHash<QString, std::any> FHandlers;
};

class TDefinitionReader
{
public:
    explicit TDefinitionReader(const TClassRegistry& registry = ClassRegistry())
        : FRegistry(registry)
    { }

    // The handlers events are bound to; without them any event in the text is an error.
    const TEventHandlers* Handlers = nullptr;
    // Finds a component outside the tree for a qualified reference ("DataModule1.Table1"); without it
    // such references are errors.
    std::function<TComponent*(const QString& name)> FindExternalComponent;
    // The deepest nesting of objects, lists and collections accepted.
    int MaxDepth = 64;

    // Reads the definition into an existing root (a window whose constructor loads its definition).
    // The text's outer class must be the root's class or one of its bases; the root takes the text's
    // name when it has none.
    void ReadInto(const QByteArray& text, TComponent* root);
    // Creates the outer object from the registry (owned by owner, which may be null) and reads it.
    TComponent* Read(const QByteArray& text, TComponent* owner = nullptr);

private:
    const TClassRegistry& FRegistry;
};

class TDefinitionWriter
{
public:
    explicit TDefinitionWriter(const TClassRegistry& registry = ClassRegistry())
        : FRegistry(registry)
    { }

    // The root and the components it owns, nested by visual parent, in creation order. Lines end in
    // CR LF, as the platform's tools write them. Raises Exception for a stored value that the format
    // cannot hold (a property of a type it does not know, a floating-point value that is not finite).
    QByteArray Write(const TComponent* root) const;

private:
    const TClassRegistry& FRegistry;
};

// Floating-point text of definitions: 18 decimals where that keeps the value exactly
// ("10.000000000000000000"), otherwise the shortest exact scientific form ("1.2345678901234567E-5").
// Never depends on the locale.
QByteArray DefinitionFloatText(double value);
