#include "platform/ClassRegistry.h"

#include "platform/Controls.h"
#include "platform/DataSet.h"
#include "platform/Graphics.h"
#include "platform/MemDataSet.h"

namespace {

bool EndsWithColor(const QString& property)
{
    return property.endsWith(QLatin1String("Color"));
}

} // namespace

TClassRegistry::TClassRegistry()
{
    FColorIdents.ToIdent = [](qint64 value) {
        TColor color = TColor(value);
        const QString text = ColorToString(color);
        return text;
    };
    FColorIdents.FromIdent = [](const QString& ident) -> std::optional<qint64> {
        TColor color = 0;
        if (IdentToColor(ident, color))
            return color;
        return std::nullopt;
    };
}

void TClassRegistry::RegisterClass(const QMetaObject* meta, TFactory factory)
{
    if (!meta)
        return;
    if (!factory) {
        factory = [meta](TComponent* owner) -> TComponent* {
            QObject* object = meta->newInstance(Q_ARG(TComponent*, owner));
            auto* component = qobject_cast<TComponent*>(object);
            if (!component)
                delete object;
            return component;
        };
    }
    FClasses.insert(
        QString::fromLatin1(meta->className()).toLower(), TClassEntry { meta, std::move(factory) });
}

const QMetaObject* TClassRegistry::FindClass(const QString& className) const
{
    auto it = FClasses.constFind(className.toLower());
    return it == FClasses.constEnd() ? nullptr : it->Meta;
}

TComponent* TClassRegistry::CreateComponent(const QString& className, TComponent* owner) const
{
    auto it = FClasses.constFind(className.toLower());
    if (it == FClasses.constEnd())
        return nullptr;
    return it->Factory(owner);
}

void TClassRegistry::RegisterEvent(const QMetaObject* meta, const QString& name, TEventAdaptor adaptor)
{
    auto& events = FExtras[meta].Events;
    for (auto& entry : events)
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0) {
            entry.second = std::move(adaptor);
            return;
        }
    events.append({ name, std::move(adaptor) });
}

const TEventAdaptor* TClassRegistry::FindEvent(const QMetaObject* meta, const QString& name) const
{
    for (; meta; meta = meta->superClass()) {
        auto it = FExtras.constFind(meta);
        if (it == FExtras.constEnd())
            continue;
        for (const auto& entry : it->Events)
            if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
                return &entry.second;
    }
    return nullptr;
}

QStringList TClassRegistry::EventNames(const QMetaObject* meta) const
{
    QList<const QMetaObject*> chain;
    for (; meta; meta = meta->superClass())
        chain.prepend(meta);
    QStringList names;
    for (const QMetaObject* cls : chain) {
        auto it = FExtras.constFind(cls);
        if (it == FExtras.constEnd())
            continue;
        for (const auto& entry : it->Events)
            if (!names.contains(entry.first, Qt::CaseInsensitive))
                names.append(entry.first);
    }
    return names;
}

void TClassRegistry::RegisterIgnoredProperties(const QMetaObject* meta, const QStringList& paths)
{
    auto& ignored = FExtras[meta].Ignored;
    for (const QString& path : paths)
        if (!ignored.contains(path.toLower()))
            ignored.append(path.toLower());
}

bool TClassRegistry::IsIgnoredProperty(const QMetaObject* meta, const QString& path) const
{
    const QString key = path.toLower();
    for (; meta; meta = meta->superClass()) {
        auto it = FExtras.constFind(meta);
        if (it != FExtras.constEnd() && it->Ignored.contains(key))
            return true;
    }
    return false;
}

void TClassRegistry::RegisterIntegerIdents(
    const QMetaObject* meta, const QString& property, TIntegerIdents idents)
{
    FExtras[meta].Idents.insert(property.toLower(), std::move(idents));
}

const TIntegerIdents* TClassRegistry::FindIntegerIdents(
    const QMetaObject* meta, const QString& property) const
{
    const QString key = property.toLower();
    for (const QMetaObject* cls = meta; cls; cls = cls->superClass()) {
        auto it = FExtras.constFind(cls);
        if (it == FExtras.constEnd())
            continue;
        auto found = it->Idents.constFind(key);
        if (found != it->Idents.constEnd())
            return &found.value();
    }
    return EndsWithColor(property) ? &FColorIdents : nullptr;
}

TClassRegistry& ClassRegistry()
{
    static TClassRegistry* registry = [] {
        auto* r = new TClassRegistry();
        RegisterPlatformClasses(*r);
        return r;
    }();
    return *registry;
}

TIntegerIdents CharsetIdents()
{
    struct TCharsetName
    {
        const char* Name;
        int Value;
    };
    static const TCharsetName names[] = {
        { "ANSI_CHARSET", 0 },
        { "DEFAULT_CHARSET", 1 },
        { "SYMBOL_CHARSET", 2 },
        { "MAC_CHARSET", 77 },
        { "SHIFTJIS_CHARSET", 128 },
        { "HANGEUL_CHARSET", 129 },
        { "JOHAB_CHARSET", 130 },
        { "GB2312_CHARSET", 134 },
        { "CHINESEBIG5_CHARSET", 136 },
        { "GREEK_CHARSET", 161 },
        { "TURKISH_CHARSET", 162 },
        { "VIETNAMESE_CHARSET", 163 },
        { "HEBREW_CHARSET", 177 },
        { "ARABIC_CHARSET", 178 },
        { "BALTIC_CHARSET", 186 },
        { "RUSSIAN_CHARSET", 204 },
        { "THAI_CHARSET", 222 },
        { "EASTEUROPE_CHARSET", 238 },
        { "OEM_CHARSET", 255 },
    };
    TIntegerIdents idents;
    idents.ToIdent = [](qint64 value) {
        for (const auto& entry : names)
            if (entry.Value == value)
                return QString::fromLatin1(entry.Name);
        return QString();
    };
    idents.FromIdent = [](const QString& ident) -> std::optional<qint64> {
        for (const auto& entry : names)
            if (ident.compare(QLatin1String(entry.Name), Qt::CaseInsensitive) == 0)
                return entry.Value;
        return std::nullopt;
    };
    return idents;
}

void RegisterPlatformClasses(TClassRegistry& registry)
{
    registry.RegisterClass<TComponent>();
    registry.RegisterClass<TControl>();
    registry.RegisterClass<TDataSource>();
    registry.RegisterClass<TMemDataSet>();
    registry.RegisterIntegerIdents(&TFont::staticMetaObject, QStringLiteral("Charset"), CharsetIdents());
    // The platform's tools keep the designer position of non-visual components as Left and Top.
    registry.RegisterIgnoredProperties(
        &TComponent::staticMetaObject, { QStringLiteral("Left"), QStringLiteral("Top") });
}
