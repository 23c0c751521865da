// Feeds arbitrary bytes to the definition reader with the platform's classes registered, so that
// the parser, value conversions, references, nesting and the clean-up after a failure are all
// exercised. Every input must end in a component tree or in one of the platform's exceptions; a
// tree that was read is written again, which must succeed.
#include "platform/Definitions.h"

#include <QByteArray>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TClassRegistry* registry = [] {
        auto* r = new TClassRegistry();
        RegisterPlatformClasses(*r);
        return r;
    }();
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    TDefinitionReader reader(*registry);
    try {
        std::unique_ptr<TComponent> root(reader.Read(text));
        TDefinitionWriter(*registry).Write(root.get());
    } catch (const Exception&) {
        // A bad definition is reported, never more.
    }
    return 0;
}
