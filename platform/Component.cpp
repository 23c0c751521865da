#include "platform/Component.h"

#include <QHash>
#include <QMetaObject>

namespace {

// One default-built object per class, built on first need and kept for the life of the process:
// building a report or a font again for every property question would be wasteful.
QObject* DefaultInstance(const QMetaObject* meta)
{
    static auto* cache = new QHash<const QMetaObject*, QObject*>();
    auto it = cache->constFind(meta);
    if (it != cache->constEnd())
        return it.value();
    QObject* instance = nullptr;
    for (int i = 0; i < meta->constructorCount() && !instance; ++i) {
        const QMetaMethod ctor = meta->constructor(i);
        if (ctor.parameterCount() != 1)
            continue;
        const QByteArray type = ctor.parameterTypes().value(0);
        if (type == "TComponent*")
            instance = meta->newInstance(Q_ARG(TComponent*, nullptr));
        else if (type == "QObject*")
            instance = meta->newInstance(Q_ARG(QObject*, nullptr));
    }
    if (auto* component = qobject_cast<TComponent*>(instance))
        component->BecameDefaultInstance();
    cache->insert(meta, instance);
    return instance;
}

bool IsObjectProperty(const QMetaProperty& property)
{
    return property.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

} // namespace

QVariant DefaultPropertyValue(const QObject* object, const QMetaProperty& property)
{
    QObject* instance = DefaultInstance(object->metaObject());
    if (!instance)
        return {};
    return property.read(instance);
}

static bool StoredByDefault(
    const QObject* object, const QMetaProperty& property, const QVariant& defaultValue)
{
    if (!property.isStored() || !property.isReadable())
        return false;
    if (IsObjectProperty(property))
        return true; // the writer decides per sub-property
    if (!defaultValue.isValid())
        return true;
    return property.read(object) != defaultValue;
}

void TPersistent::Assign(const TPersistent* Source)
{
    if (!Source || Source == this)
        return;
    const QMetaObject* meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isReadable())
            continue;
        if (IsObjectProperty(property)) {
            auto* mine = qobject_cast<TPersistent*>(property.read(this).value<QObject*>());
            auto* theirs = qobject_cast<TPersistent*>(property.read(Source).value<QObject*>());
            if (mine && theirs)
                mine->Assign(theirs);
            continue;
        }
        if (property.isWritable())
            property.write(this, property.read(Source));
    }
}

QVariant TPersistent::DefaultValue(const QMetaProperty& property) const
{
    return DefaultPropertyValue(this, property);
}

bool TPersistent::IsPropertyStored(const QMetaProperty& property) const
{
    return StoredByDefault(this, property, DefaultValue(property));
}

TComponent::TComponent(TComponent* AOwner)
    : QObject(AOwner)
{
    TouchTree();
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent()
{
    TouchTree();
    FDestroying = true;
    // Tell everyone who holds a pointer to us first, while we are still whole.
    const QList<TComponent*> notifies = FFreeNotifies;
    FFreeNotifies.clear();
    for (TComponent* other : notifies) {
        other->FFreeNotifies.removeAll(this);
        other->Notification(this, opRemove);
    }
    // Owned components go in reverse creation order, as they were stacked.
    while (!FComponents.isEmpty()) {
        TComponent* last = FComponents.takeLast();
        last->FOwner = nullptr;
        delete last;
    }
    if (FOwner)
        FOwner->RemoveComponent(this);
}

void TComponent::SetName(const QString& name)
{
    if (name == objectName())
        return;
    setObjectName(name);
}

int TComponent::ComponentIndex() const
{
    return FOwner ? int(FOwner->FComponents.indexOf(const_cast<TComponent*>(this))) : -1;
}

void TComponent::SetComponentIndex(int index)
{
    if (!FOwner)
        return;
    TouchTree();
    QList<TComponent*>& list = FOwner->FComponents;
    const int current = int(list.indexOf(this));
    if (current < 0)
        return;
    index = qBound(0, index, int(list.size()) - 1);
    list.move(current, index);
}

TComponent* TComponent::FindComponent(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    for (TComponent* component : FComponents)
        if (component->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return component;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component)
{
    if (!component || FComponents.contains(component))
        return;
    TouchTree();
    if (component->FOwner && component->FOwner != this)
        component->FOwner->RemoveComponent(component);
    component->FOwner = this;
    if (component->parent() != this)
        component->setParent(this);
    FComponents.append(component);
    for (TComponent* sibling : std::as_const(FComponents))
        if (sibling != component)
            sibling->Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    if (!component || !FComponents.removeOne(component))
        return;
    TouchTree();
    component->FOwner = nullptr;
    if (!FDestroying) {
        for (TComponent* sibling : std::as_const(FComponents))
            sibling->Notification(component, opRemove);
        if (component->parent() == this)
            component->setParent(nullptr);
    }
}

void TComponent::FreeNotification(TComponent* component)
{
    if (!component || component == this)
        return;
    if (!FFreeNotifies.contains(component))
        FFreeNotifies.append(component);
    if (!component->FFreeNotifies.contains(this))
        component->FFreeNotifies.append(this);
}

void TComponent::RemoveFreeNotification(TComponent* component)
{
    if (!component)
        return;
    FFreeNotifies.removeAll(component);
    component->FFreeNotifies.removeAll(this);
}

QVariant TComponent::DefaultValue(const QMetaProperty& property) const
{
    return DefaultPropertyValue(this, property);
}

bool TComponent::IsPropertyStored(const QMetaProperty& property) const
{
    return StoredByDefault(this, property, DefaultValue(property));
}

void TComponent::Notification(TComponent*, TOperation) { }
