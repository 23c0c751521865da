#pragma once
// What the writer fuzzers share: an application object for fonts and images, a private folder for
// the files they write, and the road from bytes to a page store holding hostile pages. The bytes are
// read as page records (a length and a body, one after another, as in the swap file); each record the
// page reader accepts becomes a page, whatever values it carries (coordinates far off the page,
// negative sizes, unknown fonts, pictures that are no pictures, texts in every code). The writer then
// gets those pages exactly as it would from a prepared report.
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

inline void EnsureFuzzApplication(const char* Name)
{
    static int argc = 1;
    static char* argv[] = { const_cast<char*>(Name), nullptr };
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(argc, argv);
}

// Removed with its files when the process ends normally.
inline QString FuzzOutputFolder()
{
    static QTemporaryDir folder;
    return folder.path();
}

// The pages the bytes hold, at most MaxPages, in a store owned by Owner. The first byte is left to
// the caller (writer options); reading stops at the first record that is not a page.
inline TRLGraphicStorage* HostilePages(TComponent* Owner, const uint8_t* Data, size_t Size, int MaxPages = 4)
{
    auto* store = new TRLGraphicStorage(Owner);
    TRLStreamReader reader(reinterpret_cast<const char*>(Data), qsizetype(Size));
    for (int page = 0; page < MaxPages && !reader.AtEnd(); ++page) {
        auto surface = std::make_unique<TRLGraphicSurface>();
        try {
            const int32_t length = reader.ReadInt32();
            TRLStreamReader body = reader.SubReader(length);
            surface->LoadFromStream(body);
        } catch (const EReadError&) {
            break;
        }
        store->Add(surface.release());
    }
    return store;
}
