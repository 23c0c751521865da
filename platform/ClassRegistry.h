#pragma once
// What the definition reader and writer know about classes beyond their meta-objects:
// - the classes a definition may name, each with a factory that creates one with its owner;
// - the events a class publishes (std::function members are not Q_PROPERTYs), each with an adaptor
//   that binds a handler to an instance and tells whether one is bound;
// - per class, the stored properties that are known and deliberately ignored (design-time values the
//   platform's tools write, such as Left/Top of non-visual components), so that an unknown property
//   stays an error while such files still load;
// - integer properties written as identifiers (a font's Charset as DEFAULT_CHARSET).
// Colour properties need no registration: an int property whose name ends in "Color" is a colour and
// is written and read through ColorToString/StringToColor (platform/Graphics.h), as "clWhite" or
// "$00BBGGRR". A colour property named otherwise is registered with RegisterIntegerIdents.
//
// Lookups follow the class chain: what a base class registered holds for its descendants. Class and
// property names are compared without regard to case. The registry holds no objects, only functions
// and meta-objects; it is not guarded by locks and is filled before definitions are read.
#include "platform/Component.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <any>
#include <functional>
#include <optional>
#include <typeindex>

class TComponent;

// Binds handlers to one event of one class.
struct TEventAdaptor
{
    // Identifies the std::function type the event takes; a handler of another type is refused.
    std::type_index Signature = std::type_index(typeid(void));
    // Assigns the handler (held as that std::function type in the any) to the instance.
    std::function<void(QObject* instance, const std::any& handler)> Bind;
    // Whether the instance has a handler assigned.
    std::function<bool(const QObject* instance)> IsAssigned;
};

// Converts an integer property between its value and an identifier: ToIdent gives an empty text when
// the value has no name; FromIdent gives nothing when the identifier is not one of its names.
struct TIntegerIdents
{
    std::function<QString(qint64 value)> ToIdent;
    std::function<std::optional<qint64>(const QString& ident)> FromIdent;
};

class TClassRegistry
{
public:
    using TFactory = std::function<TComponent*(TComponent* owner)>;

    TClassRegistry();

    // Registers a class under its meta-object's class name. Without a factory the class must have a
    // Q_INVOKABLE constructor taking its owner (TComponent*), and must derive from TComponent.
    void RegisterClass(const QMetaObject* meta, TFactory factory = {});
    template <class T> void RegisterClass()
    {
        RegisterClass(&T::staticMetaObject, [](TComponent* owner) -> TComponent* { return new T(owner); });
    }
    const QMetaObject* FindClass(const QString& className) const;
    // A new component of the named class owned by owner; nullptr for an unknown class.
    TComponent* CreateComponent(const QString& className, TComponent* owner) const;

    // Registers the event Name of class T held in a std::function member (which may be protected
    // when T registers itself). Handlers bound to it must be of the member's type exactly.
    template <class T, class F> void RegisterEvent(const QString& name, F T::*member)
    {
        TEventAdaptor adaptor;
        adaptor.Signature = std::type_index(typeid(F));
        adaptor.Bind = [member](QObject* instance, const std::any& handler) {
            static_cast<T*>(instance)->*member = std::any_cast<const F&>(handler);
        };
        adaptor.IsAssigned
            = [member](const QObject* instance) { return bool(static_cast<const T*>(instance)->*member); };
        RegisterEvent(&T::staticMetaObject, name, std::move(adaptor));
    }
    void RegisterEvent(const QMetaObject* meta, const QString& name, TEventAdaptor adaptor);
    // The adaptor for the event of the object's class or of a base class; nullptr when none.
    const TEventAdaptor* FindEvent(const QMetaObject* meta, const QString& name) const;
    // The events of the class and its bases, bases first, each name once.
    QStringList EventNames(const QMetaObject* meta) const;

    // Property paths ("PixelsPerInch", "Left", "Font.Quality") stored by the platform's tools that
    // definitions of the class may hold and that reading skips.
    void RegisterIgnoredProperties(const QMetaObject* meta, const QStringList& paths);
    bool IsIgnoredProperty(const QMetaObject* meta, const QString& path) const;

    // The integer property named property of class meta (or of its descendants) is written as an
    // identifier where it has one, and read from one.
    void RegisterIntegerIdents(const QMetaObject* meta, const QString& property, TIntegerIdents idents);
    // The identifier conversion of an integer property, colours included; nullptr when plain.
    const TIntegerIdents* FindIntegerIdents(const QMetaObject* meta, const QString& property) const;

private:
    struct TClassEntry
    {
        const QMetaObject* Meta = nullptr;
        TFactory Factory;
    };
    struct TClassExtras
    {
        QList<QPair<QString, TEventAdaptor>> Events; // registration order
        QStringList Ignored; // lower-cased
        QHash<QString, TIntegerIdents> Idents; // key: lower-cased property name
    };
    QHash<QString, TClassEntry> FClasses; // key: lower-cased class name
    QHash<const QMetaObject*, TClassExtras> FExtras;
    TIntegerIdents FColorIdents;
};

// The process-wide registry that definitions use unless they are given another one.
TClassRegistry& ClassRegistry();

// Registers the platform's own components (TComponent, TControl, TDataSource, TMemDataSet), the font
// charset identifiers and the design-time Left/Top that the platform stores for non-visual
// components. Called once for ClassRegistry() when it is first used; other registries may call it.
void RegisterPlatformClasses(TClassRegistry& registry);

// The charset names of fonts ("DEFAULT_CHARSET" is 1).
TIntegerIdents CharsetIdents();
