// Arbitrary bytes as a page store file, and as a single page record (length and body): reading must
// end in a result or in EReadError, never in a crash, a hang or a giant allocation.
#include "pagestore/RLMetaFile.h"

#include "platform/Exceptions.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

namespace {

// Touches everything a preview or a filter would read from a page.
void Walk(TRLGraphicSurface* page)
{
    if (!page)
        return;
    int y = 0;
    page->FindCutRow(page->Height(), y);
    for (int i = 0; i < page->ObjectCount(); ++i) {
        TRLGraphicObject* object = page->Objects(i);
        if (object->Kind() == okText) {
            auto* text = static_cast<TRLTextObject*>(object);
            (void)text->DisplayText();
            (void)text->Font.Name();
        }
    }
    (void)page->SaveToBytes();
}

void ReadStoreFile(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    TRLGraphicStorage store;
    try {
        store.LoadFromStream(buffer);
    } catch (const EReadError&) {
        return;
    }
    for (int i = 0; i < store.PageCount(); ++i)
        Walk(store.Pages(i));
    QByteArray again;
    QBuffer out(&again);
    out.open(QIODevice::WriteOnly);
    store.SaveToStream(out);
}

void ReadPageRecord(const QByteArray& bytes)
{
    TRLGraphicSurface page;
    try {
        TRLStreamReader reader(bytes);
        const int32_t length = reader.ReadInt32();
        TRLStreamReader body = reader.SubReader(length);
        page.LoadFromStream(body);
    } catch (const EReadError&) {
        return;
    }
    Walk(&page);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    ReadStoreFile(bytes);
    ReadPageRecord(bytes);
    return 0;
}
