#pragma once
// The component model. A component is a QObject whose objectName is its name and whose QObject parent
// is its owner. The owner keeps its components in creation order (the component index) and destroys
// them with itself. Components that asked to be told (FreeNotification) hear of a destruction through
// Notification(opRemove) before the component goes, so they can drop their pointers to it.
#include <QHash>
#include <QList>
#include <QMetaProperty>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <atomic>
#include <type_traits>

class TComponent;

// The entries of a custom-property map as an ordered list (the map's key order).
inline QList<QPair<QString, QVariant>> CustomPropertyList(const QVariantMap& map)
{
    QList<QPair<QString, QVariant>> list;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        list.append({ it.key(), it.value() });
    return list;
}

enum TOperation { opInsert, opRemove };

// qobject_cast for the paths a report takes for every control of every record. A cast's answer
// depends on the object's class alone, and preparation asks about the same few classes millions of
// times, so each target class remembers the answers for the last few classes it was asked about.
// Classes here are never made at run time, so a class's meta-object stands for it for good.
namespace ClassCastDetail {
template <typename TTarget> bool Inherits(const QMetaObject* Class)
{
    struct TEntry
    {
        const QMetaObject* Class = nullptr;
        bool Answer = false;
    };
    thread_local TEntry entries[4];
    thread_local unsigned next = 0;
    for (const TEntry& entry : entries)
        if (entry.Class == Class)
            return entry.Answer;
    const bool answer = Class->inherits(&TTarget::staticMetaObject);
    entries[next++ & 3u] = { Class, answer };
    return answer;
}
} // namespace ClassCastDetail

template <typename TPointer, typename TSource> TPointer ClassCast(TSource* Object)
{
    using TTarget = std::remove_cv_t<std::remove_pointer_t<TPointer>>;
    if (!Object || !ClassCastDetail::Inherits<TTarget>(Object->metaObject()))
        return nullptr;
    return static_cast<TPointer>(Object);
}

// Base of the persistent objects that a component owns and publishes (fonts, borders, margins):
// they are read and written through their Q_PROPERTYs and copied with Assign.
class TPersistent : public QObject
{
    Q_OBJECT
public:
    explicit TPersistent(QObject* parent = nullptr)
        : QObject(parent)
    { }
    // Copies the published state of Source. The default copies every readable and writable
    // Q_PROPERTY of the same class, and persistent sub-objects recursively.
    virtual void Assign(const TPersistent* Source);
    // The property's value on a freshly built object of this class (invalid when none can be built).
    virtual QVariant DefaultValue(const QMetaProperty& property) const;
    // Whether a definition stores the property: by default, when it differs from its default.
    virtual bool IsPropertyStored(const QMetaProperty& property) const;

    // Definition hooks for stored values that are not plain published properties (a site's margins
    // stored only where they differ from their defaults, a drawing's legacy "Kind"). The definition
    // reader offers each name = value to ReadCustomProperty first and uses the published property only
    // when the answer is false. The writer stores CustomPropertiesToWrite after the published
    // properties, in the list's order; by default that is CustomProperties in the order of its keys.
    virtual bool ReadCustomProperty(const QString& name, const QVariant& value)
    {
        Q_UNUSED(name);
        Q_UNUSED(value);
        return false;
    }
    virtual QVariantMap CustomProperties() const { return {}; }
    virtual QList<QPair<QString, QVariant>> CustomPropertiesToWrite() const
    {
        return CustomPropertyList(CustomProperties());
    }
};

class TComponent : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE SetName STORED false)
public:
    explicit TComponent(TComponent* AOwner = nullptr);
    ~TComponent() override;

    QString Name() const { return objectName(); }
    virtual void SetName(const QString& name);

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return int(FComponents.size()); }
    TComponent* Components(int index) const { return FComponents.at(index); }
    const QList<TComponent*>& ComponentList() const { return FComponents; }
    // Position in the owner's list, which is creation order; -1 without an owner.
    int ComponentIndex() const;
    void SetComponentIndex(int index);
    // Case-insensitive search among the owned components; nullptr when absent.
    TComponent* FindComponent(const QString& name) const;

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    // A number that changes whenever any component is made or destroyed, any owner's or parent's
    // list changes, or a component changes its place in its owner's list. Caches of the tree's
    // shape (a control's enclosing containers, a site's descendants, children in creation order)
    // compare it instead of walking the tree for every question. Whoever changes what such a cache
    // records in another way (a class that is complete only after construction) calls TouchTree.
    // Atomic because a background filter run may make components of its own; the trees a cache
    // describes live on the main thread.
    static quint64 TreeGeneration() { return FTreeGeneration.load(std::memory_order_relaxed); }
    static void TouchTree() { FTreeGeneration.fetch_add(1, std::memory_order_relaxed); }

    // Asks to be told (Notification with opRemove) when component is destroyed.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    // The class name as the system names it ("TRLBand").
    QString ClassName() const { return QString::fromLatin1(metaObject()->className()); }

    virtual QVariant DefaultValue(const QMetaProperty& property) const;
    virtual bool IsPropertyStored(const QMetaProperty& property) const;
    // Called once on each instance built only to read property defaults from (DefaultValue): a
    // component that enters itself in some process-wide list takes itself out again here, since it
    // is no part of the program.
    virtual void BecameDefaultInstance() { }

    // Definition hooks for stored values that are not plain published properties (a site's margins
    // stored only where they differ from their defaults, a drawing's legacy "Kind"). The definition
    // reader offers each name = value to ReadCustomProperty first and uses the published property only
    // when the answer is false. The writer stores CustomPropertiesToWrite after the published
    // properties, in the list's order; by default that is CustomProperties in the order of its keys.
    virtual bool ReadCustomProperty(const QString& name, const QVariant& value)
    {
        Q_UNUSED(name);
        Q_UNUSED(value);
        return false;
    }
    virtual QVariantMap CustomProperties() const { return {}; }
    virtual QList<QPair<QString, QVariant>> CustomPropertiesToWrite() const
    {
        return CustomPropertyList(CustomProperties());
    }

    // Loading state. The definition reader sets it on every component it creates or fills before it
    // sets the first property, and clears it on all of them once the whole tree is read and its
    // references are resolved; right after clearing it calls Loaded on each, in reading order. Setters
    // that must behave differently while a definition is read ask IsLoading.
    bool IsLoading() const { return FLoading; }
    void SetLoading(bool value) { FLoading = value; }
    virtual void Loaded() { }

    // The name of the handler bound to an event by a definition (the reader records it, the writer
    // stores it back); empty when none. Event names are compared without regard to case.
    QString EventHandlerName(const QString& event) const { return FEventHandlerNames.value(event.toLower()); }
    // An empty handler name forgets the event's binding.
    void SetEventHandlerName(const QString& event, const QString& handler)
    {
        if (handler.isEmpty())
            FEventHandlerNames.remove(event.toLower());
        else
            FEventHandlerNames.insert(event.toLower(), handler);
    }

protected:
    virtual void Notification(TComponent* component, TOperation operation);

private:
    static inline std::atomic<quint64> FTreeGeneration { 0 };
    TComponent* FOwner = nullptr;
    QList<TComponent*> FComponents;
    QList<TComponent*> FFreeNotifies;
    bool FDestroying = false;
    bool FLoading = false;
    QHash<QString, QString> FEventHandlerNames;
};

// Shared by TComponent and TPersistent: the value a property has on a default-built object of the
// same class. Classes that want this give themselves a Q_INVOKABLE constructor taking the owner (or
// parent) pointer, which may be null.
QVariant DefaultPropertyValue(const QObject* object, const QMetaProperty& property);
