// The page store: cache and swap file, links, and the page store file.
#include "pagestore/RLMetaFile.h"

#include "engine/RLUtils.h"
#include "platform/Exceptions.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

namespace {

// A page whose content tells it apart: a keep-whole text "Página n" and a rectangle.
TRLGraphicSurface* NumberedPage(int n)
{
    auto* page = new TRLGraphicSurface;
    page->SetWidth(794);
    page->SetHeight(1123);
    page->SetOrientation(1);
    NewGroupId();
    page->Rectangle(n, n, n + 10, n + 10);
    page->WriteText(TRect(0, 0, 100, 20), 0, 0, QStringLiteral("Página %1").arg(n), MetaTextAlignmentLeft,
        MetaTextLayoutTop, 5);
    return page;
}

QString PageText(TRLGraphicSurface* page)
{
    return static_cast<TRLTextObject*>(page->Objects(1))->Text;
}

QByteArray SaveStore(TRLGraphicStorage& store)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    store.SaveToStream(buffer);
    return bytes;
}

void LoadStore(TRLGraphicStorage& store, const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    store.LoadFromStream(buffer);
}

TEST(PageCache, EmptyStore)
{
    TRLGraphicStorage store;
    EXPECT_EQ(store.PageCount(), 0);
    EXPECT_EQ(store.Pages(0), nullptr);
    EXPECT_EQ(store.Pages(-1), nullptr);
    EXPECT_TRUE(store.SwapFileName().isEmpty());
    EXPECT_EQ(store.FileVersion(), 3);
}

TEST(PageCache, ASixthPageEvictsTheFirstAndReadsBackEqual)
{
    TRLGraphicStorage store;
    QList<QByteArray> bodies;
    QList<int> groups;
    for (int n = 0; n < 6; ++n) {
        TRLGraphicSurface* page = NumberedPage(n);
        bodies << page->SaveToBytes();
        groups << page->Objects(0)->GroupId;
        store.Add(page);
        EXPECT_EQ(page->SlotIndex(), n);
        EXPECT_FALSE(page->Dirty);
    }
    EXPECT_EQ(store.PageCount(), 6);
    EXPECT_EQ(store.CachedPageCount(), 5);
    EXPECT_FALSE(store.IsCached(0));
    for (int n = 1; n < 6; ++n)
        EXPECT_TRUE(store.IsCached(n));

    TRLGraphicSurface* first = store.Pages(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->SlotIndex(), 0);
    EXPECT_EQ(first->Storage(), &store);
    EXPECT_FALSE(first->Dirty);
    EXPECT_EQ(PageText(first), QStringLiteral("Página 0"));
    EXPECT_EQ(first->Objects(0)->GroupId, groups[0]);
    EXPECT_EQ(first->SaveToBytes(), bodies[0]);
    EXPECT_FALSE(store.IsCached(1)); // the oldest entry made room
    EXPECT_EQ(store.Pages(0), first); // a hit
    EXPECT_EQ(store.Pages(6), nullptr);
    for (int n = 0; n < 6; ++n)
        EXPECT_EQ(store.Pages(n)->SaveToBytes(), bodies[n]) << n;
}

TEST(PageCache, ADirtyPageIsWrittenBackWhenItLeaves)
{
    TRLGraphicStorage store;
    for (int n = 0; n < 6; ++n)
        store.Add(NumberedPage(n));
    TRLGraphicSurface* first = store.Pages(0);
    ASSERT_NE(first, nullptr);
    first->FillRect(TRect(1, 2, 3, 4)); // as a filter drawing on a page
    ASSERT_TRUE(first->Dirty);
    for (int n = 1; n < 6; ++n)
        ASSERT_NE(store.Pages(n), nullptr);
    ASSERT_FALSE(store.IsCached(0));
    TRLGraphicSurface* again = store.Pages(0);
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->ObjectCount(), 3);
    EXPECT_EQ(again->Objects(2)->Kind(), okFillRect);
    EXPECT_EQ(again->Objects(2)->BoundsRect, TRect(1, 2, 3, 4));
}

TEST(PageCache, ClearKeepsTheSwapFileAndLinks)
{
    TComponent user; // outlives the store: an ownerless store frees itself when its last link goes
    TRLGraphicStorage store;
    store.Link(&user);
    store.SetTitle(QStringLiteral("x"));
    store.Add(NumberedPage(1));
    const QString swap = store.SwapFileName();
    ASSERT_FALSE(swap.isEmpty());
    EXPECT_GT(QFileInfo(swap).size(), 0);
    store.Clear();
    EXPECT_EQ(store.PageCount(), 0);
    EXPECT_EQ(store.CachedPageCount(), 0);
    EXPECT_TRUE(store.MacroValues.isEmpty());
    EXPECT_EQ(store.SwapFileName(), swap);
    EXPECT_EQ(QFileInfo(swap).size(), 0);
    EXPECT_TRUE(store.IsLinked(&user));
    store.Add(NumberedPage(2));
    EXPECT_EQ(store.SwapFileName(), swap);
    EXPECT_EQ(PageText(store.Pages(0)), QStringLiteral("Página 2"));
}

TEST(PageCache, APageMovedToAnotherStoreTakesANewSlot)
{
    TRLGraphicStorage one;
    TRLGraphicStorage two;
    for (int n = 0; n < 3; ++n)
        one.Add(NumberedPage(n));
    TRLGraphicSurface* page = one.Pages(2);
    two.Add(page);
    EXPECT_EQ(page->SlotIndex(), 0);
    EXPECT_FALSE(one.IsCached(2));
    EXPECT_EQ(one.CachedPageCount(), 2);
    EXPECT_EQ(two.PageCount(), 1);
    EXPECT_EQ(PageText(one.Pages(2)), QStringLiteral("Página 2")); // still in the first swap file
    // A page its owner frees leaves the cache instead of dangling there.
    delete one.Pages(0);
    EXPECT_FALSE(one.IsCached(0));
    EXPECT_NE(one.Pages(0), nullptr);
}

TEST(SwapFile, OwnerOnlyNamelessAndGoneWithTheStore)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString saved = TempDir();
    SetTempDir(folder.path());
    const auto restore = qScopeGuard([&] { SetTempDir(saved); });
    QString swap;
    {
        TRLGraphicStorage store;
        store.Add(NumberedPage(1));
        swap = store.SwapFileName();
        ASSERT_TRUE(QFileInfo::exists(swap));
        struct stat info
        {
        };
        ASSERT_EQ(::stat(QFile::encodeName(swap).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_EQ(info.st_nlink, 0u); // no name in any folder
        EXPECT_GT(info.st_size, 0);
        EXPECT_TRUE(QDir(folder.path())
                        .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
        EXPECT_FALSE(RegisteredTempFiles().contains(swap));
        TRLGraphicStorage other;
        other.Add(NumberedPage(2));
        EXPECT_NE(other.SwapFileName(), swap); // distinct
    }
    EXPECT_FALSE(QFileInfo::exists(swap));
    EXPECT_TRUE(
        QDir(folder.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
}

TEST(SwapFile, AnUnusableTemporaryFolderStopsTheStoreNamingIt)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString saved = TempDir();
    const QString missing = folder.filePath(QStringLiteral("gone"));
    SetTempDir(missing);
    const auto restore = qScopeGuard([&] { SetTempDir(saved); });
    TRLGraphicStorage store;
    // A page the store could not take stays the caller's.
    std::unique_ptr<TRLGraphicSurface> page(NumberedPage(1));
    try {
        store.Add(page.get());
        page.release();
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(),
            QStringLiteral("A pasta temporária \"%1\" não pode ser usada: Pasta não encontrada")
                .arg(missing));
    }
}

TEST(SwapFile, AMissingRecordIsAMissingPage)
{
    TRLGraphicStorage store;
    for (int n = 0; n < 6; ++n)
        store.Add(NumberedPage(n));
    // Damage the evicted first page behind the store's back.
    QFile file(store.SwapFileName());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(4);
    file.write("XXXX");
    file.close();
    EXPECT_EQ(store.Pages(0), nullptr);
    EXPECT_NE(store.Pages(5), nullptr);
}

TEST(SwapFile, TextsOutsideTheCodePageSurviveEvictionButTheStoreFileKeepsEightBits)
{
    // Greek, the rupee sign, CJK and a character beyond the basic plane, beside code-page text; a
    // font name outside the code page too. The euro sign is in the code page and a plain '?' stays.
    const QString wide = QStringLiteral("Ωμέγα ₹ 中文 😀 café € ?");
    TRLGraphicStorage store;
    for (int n = 0; n < 7; ++n) {
        TRLGraphicSurface* page = NumberedPage(n);
        page->CurrentFont().SetName(QStringLiteral("Fonte Ω"));
        page->WriteText(TRect(0, 20, 100, 40), 0, 20, wide + QString::number(n), MetaTextAlignmentLeft,
            MetaTextLayoutTop, 5);
        store.Add(page);
    }
    ASSERT_FALSE(store.IsCached(0));
    for (int n = 0; n < 7; ++n) {
        TRLGraphicSurface* page = store.Pages(n);
        ASSERT_NE(page, nullptr) << n;
        ASSERT_EQ(page->ObjectCount(), 3) << n;
        const auto* text = static_cast<const TRLTextObject*>(page->Objects(2));
        EXPECT_EQ(text->Text, wide + QString::number(n)) << n;
        EXPECT_EQ(text->Font.Name(), QStringLiteral("Fonte Ω")) << n;
        EXPECT_EQ(PageText(page), QStringLiteral("Página %1").arg(n)) << n;
    }

    // The page store file keeps its 8-bit text: what the code page lacks is '?' there.
    const QByteArray file = SaveStore(store);
    EXPECT_TRUE(file.contains("\x3F\x3F\x3F\x3F\x3F \x3F \x3F\x3F \x3F caf\xE9 \x80 ?0"))
        << "8-bit text not found";
    EXPECT_FALSE(file.contains("\xCE\xA9")) << "UTF-8 leaked into the page store file";
    TRLGraphicStorage loaded;
    LoadStore(loaded, file);
    ASSERT_EQ(loaded.PageCount(), 7);
    for (int n = 0; n < 7; ++n)
        EXPECT_EQ(static_cast<const TRLTextObject*>(loaded.Pages(n)->Objects(2))->Text,
            QStringLiteral("????? ? ?? ? café € ?%1").arg(n));
    // Saving what was loaded gives the same bytes.
    EXPECT_EQ(SaveStore(loaded), file);
}

TEST(SwapFile, ADamagedFullTextListIsAMissingPage)
{
    TRLGraphicStorage store;
    TRLGraphicSurface* first = NumberedPage(0);
    first->WriteText(
        TRect(0, 20, 100, 40), 0, 20, QStringLiteral("Ω"), MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
    store.Add(first);
    for (int n = 1; n < 6; ++n)
        store.Add(NumberedPage(n));
    ASSERT_FALSE(store.IsCached(0));
    // The first record's full-text count, right after its body, made absurd.
    QFile file(store.SwapFileName());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    char length[4];
    ASSERT_EQ(file.read(length, 4), 4);
    const qint64 body = qFromLittleEndian<int32_t>(length);
    file.seek(4 + body);
    file.write("\xff\xff\xff\x7f");
    file.close();
    EXPECT_EQ(store.Pages(0), nullptr);
    EXPECT_NE(store.Pages(1), nullptr);
}

// --- page readers ----------------------------------------------------------------------------------

TEST(PageReader, ReadsEveryPageAndLeavesTheStoresCacheAlone)
{
    TRLGraphicStorage store;
    for (int n = 0; n < 8; ++n)
        store.Add(NumberedPage(n));
    TRLGraphicSurface* held = store.Pages(7);
    ASSERT_NE(held, nullptr);
    QList<int> cachedBefore;
    for (int n = 0; n < 8; ++n)
        if (store.IsCached(n))
            cachedBefore << n;

    TRLPageReader reader(&store);
    EXPECT_EQ(reader.PageCount(), 8);
    for (int n = 0; n < 8; ++n) {
        TRLGraphicSurface* page = reader.Page(n);
        ASSERT_NE(page, nullptr) << n;
        EXPECT_EQ(PageText(page), QStringLiteral("Página %1").arg(n));
        EXPECT_EQ(page->Width(), 794);
        EXPECT_EQ(page->Storage(), nullptr); // the reader's, not the store's
        EXPECT_NE(page, held);
    }
    EXPECT_EQ(reader.Page(8), nullptr);
    EXPECT_EQ(reader.Page(-1), nullptr);
    // Eight pages read, yet the store's cache holds what it held and its page is still good.
    QList<int> cachedAfter;
    for (int n = 0; n < 8; ++n)
        if (store.IsCached(n))
            cachedAfter << n;
    EXPECT_EQ(cachedAfter, cachedBefore);
    EXPECT_EQ(store.CachedPageCount(), 5);
    EXPECT_EQ(PageText(held), QStringLiteral("Página 7"));
}

TEST(PageReader, KeepsTextsOutsideTheCodePage)
{
    // A writer on another thread reads through its own reader: the texts the 8-bit record cannot
    // hold must reach it as whole as they reach the store's own reads, every page alike.
    const QString wide = QStringLiteral("Ωμέγα ₹ 中文 😀 café");
    TRLGraphicStorage store;
    for (int n = 0; n < 7; ++n) {
        TRLGraphicSurface* page = NumberedPage(n);
        page->WriteText(TRect(0, 20, 100, 40), 0, 20, wide + QString::number(n), MetaTextAlignmentLeft,
            MetaTextLayoutTop, 5);
        if (n == 3)
            page->WriteText(TRect(0, 40, 100, 60), 0, 40, QStringLiteral("só código"), MetaTextAlignmentLeft,
                MetaTextLayoutTop, 5);
        store.Add(page);
    }
    TRLPageReader reader(&store);
    ASSERT_EQ(reader.PageCount(), 7);
    for (int n = 0; n < 7; ++n) {
        TRLGraphicSurface* page = reader.Page(n);
        ASSERT_NE(page, nullptr) << n;
        EXPECT_EQ(static_cast<const TRLTextObject*>(page->Objects(2))->Text, wide + QString::number(n)) << n;
        if (n == 3) {
            EXPECT_EQ(static_cast<const TRLTextObject*>(page->Objects(3))->Text, QStringLiteral("só código"));
        }
    }
}

TEST(PageReader, PlaceholdersResolveFromTheValuesAtTheReadersStart)
{
    TRLGraphicStorage store;
    auto* page = new TRLGraphicSurface;
    page->WriteText(TRect(0, 0, 100, 20), 0, 0, QStringLiteral("Página {PageNumber} de {LastPageNumber}"),
        MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
    SetMacroValue(page->MacroValues, QStringLiteral("PageNumber"), QStringLiteral("1"));
    store.Add(page);
    store.SetLastPageNumber(8);

    TRLPageReader reader(&store);
    store.SetLastPageNumber(9);
    TRLGraphicSurface* read = reader.Page(0);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->ObjectCount(), 1);
    EXPECT_EQ(static_cast<TRLTextObject*>(read->Objects(0))->DisplayText(), QStringLiteral("Página 1 de 8"));
    TRLPageReader later(&store);
    EXPECT_EQ(static_cast<TRLTextObject*>(later.Page(0)->Objects(0))->DisplayText(),
        QStringLiteral("Página 1 de 9"));
    EXPECT_EQ(static_cast<TRLTextObject*>(store.Pages(0)->Objects(0))->DisplayText(),
        QStringLiteral("Página 1 de 9"));
}

TEST(PageReader, SeesCachedPagesThatChangedBeforeItStarted)
{
    TRLGraphicStorage store;
    for (int n = 0; n < 3; ++n)
        store.Add(NumberedPage(n));
    TRLGraphicSurface* cached = store.Pages(1);
    cached->FillRect(TRect(1, 2, 3, 4));
    ASSERT_TRUE(cached->Dirty);
    TRLPageReader reader(&store);
    EXPECT_FALSE(cached->Dirty);
    TRLGraphicSurface* page = reader.Page(1);
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->ObjectCount(), 3);
    EXPECT_EQ(page->Objects(2)->BoundsRect, TRect(1, 2, 3, 4));
}

TEST(PageReader, AStoreEmptiedSinceReadsAsNoPagesNotAsTheNextFilling)
{
    TRLGraphicStorage store;
    for (int n = 0; n < 3; ++n)
        store.Add(NumberedPage(n));
    TRLPageReader reader(&store);
    ASSERT_NE(reader.Page(2), nullptr);
    store.Clear();
    for (int n = 10; n < 14; ++n)
        store.Add(NumberedPage(n));
    EXPECT_EQ(reader.PageCount(), 0);
    EXPECT_EQ(reader.Page(0), nullptr);
    EXPECT_EQ(reader.Page(2), nullptr);
    TRLPageReader fresh(&store);
    EXPECT_EQ(PageText(fresh.Page(0)), QStringLiteral("Página 10"));
}

TEST(PageReader, OutlivesItsStore)
{
    auto store = std::make_unique<TRLGraphicStorage>();
    for (int n = 0; n < 6; ++n)
        store->Add(NumberedPage(n));
    TRLPageReader reader(store.get());
    const QString swap = store->SwapFileName();
    store.reset();
    EXPECT_FALSE(QFileInfo::exists(swap)); // gone by name, still open to the reader
    EXPECT_EQ(reader.PageCount(), 6);
    for (int n = 0; n < 6; ++n)
        EXPECT_EQ(PageText(reader.Page(n)), QStringLiteral("Página %1").arg(n));
}

TEST(PageReader, ADamagedRecordIsAMissingPage)
{
    TRLGraphicStorage store;
    for (int n = 0; n < 2; ++n)
        store.Add(NumberedPage(n));
    QFile file(store.SwapFileName());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(4);
    file.write("XXXX");
    file.close();
    TRLPageReader reader(&store);
    EXPECT_EQ(reader.Page(0), nullptr);
    EXPECT_NE(reader.Page(1), nullptr);
    TRLPageReader none(nullptr);
    EXPECT_EQ(none.PageCount(), 0);
    EXPECT_EQ(none.Page(0), nullptr);
}

// A reader made before the first page follows a store that another thread is still filling, while
// that thread also reads its own pages through the cache: every page the reader gets is whole and
// is the one asked for.
TEST(PageReader, ReadsOnAnotherThreadWhileTheStoreIsFilledAndPagedThrough)
{
    constexpr int Pages = 300;
    TRLGraphicStorage store;
    TRLPageReader reader(&store);
    std::atomic<bool> filled { false };
    std::atomic<int> wrong { 0 };
    std::atomic<int> read { 0 };
    std::thread follower([&] {
        int next = 0;
        while (next < Pages) {
            const bool last = filled.load();
            const int available = reader.PageCount();
            for (; next < available; ++next) {
                TRLGraphicSurface* page = reader.Page(next);
                if (!page || PageText(page) != QStringLiteral("Página %1").arg(next))
                    ++wrong;
                ++read;
            }
            if (last && next < Pages) {
                ++wrong; // filled, yet pages are missing
                break;
            }
        }
    });
    for (int n = 0; n < Pages; ++n) {
        store.Add(NumberedPage(n));
        if (n % 7 == 0) {
            ASSERT_EQ(PageText(store.Pages(n / 2)), QStringLiteral("Página %1").arg(n / 2));
        }
    }
    filled.store(true);
    follower.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(read.load(), Pages);
}

TEST(Links, AnOwnerlessStoreFreesItselfWithItsLastLink)
{
    QPointer<TRLGraphicStorage> store = new TRLGraphicStorage;
    auto* preview = new TComponent;
    TComponent filter;
    store->Link(preview);
    store->Link(&filter);
    store->Link(&filter);
    EXPECT_EQ(store->LinkCount(), 2);
    store->Unlink(&filter);
    ASSERT_FALSE(store.isNull());
    store->Unlink(&filter); // not linked any more: ignored
    ASSERT_FALSE(store.isNull());
    store->Add(NumberedPage(1));
    const QString swap = store->SwapFileName();
    delete preview; // being destroyed counts as letting go
    EXPECT_TRUE(store.isNull());
    EXPECT_FALSE(QFileInfo::exists(swap));
}

TEST(Links, AnOwnedStoreStays)
{
    TComponent report;
    QPointer<TRLGraphicStorage> store = new TRLGraphicStorage(&report);
    store->Link(&report); // the owner never counts as a link
    EXPECT_EQ(store->LinkCount(), 0);
    TComponent preview;
    store->Link(&preview);
    store->Unlink(&preview);
    EXPECT_FALSE(store.isNull());
}

TEST(Links, UsersHearWhenTheStoreGoes)
{
    struct User : TComponent
    {
        int Removed = 0;
        void Notification(TComponent* c, TOperation op) override
        {
            TComponent::Notification(c, op);
            if (op == opRemove)
                ++Removed;
        }
    } user;
    {
        TRLGraphicStorage store;
        store.Link(&user);
    }
    EXPECT_EQ(user.Removed, 1);
}

// --- the page store file ------------------------------------------------------------------------

void FillStore(TRLGraphicStorage& store, int pages)
{
    store.SetFirstPageNumber(1);
    store.SetLastPageNumber(pages);
    store.SetTitle(QStringLiteral("Inventário por Preço de Custo"));
    store.SetOrientation(1);
    store.SetPaperWidth(210);
    store.SetPaperHeight(297);
    store.SetWidth(794);
    store.SetHeight(1123);
    for (int n = 0; n < pages; ++n) {
        TRLGraphicSurface* page = NumberedPage(n);
        page->CurrentPen().SetWidth(2);
        page->Polygon({ TPoint(0, 0), TPoint(5, 9), TPoint(n, 2) });
        page->SetClipRect(TRect(0, 0, 50, 50));
        page->FillRect(TRect(0, 0, 10, 10));
        page->ResetClipRect();
        auto* image = new TRLImageObject(page);
        image->Data = QByteArrayLiteral("NIL");
        auto* ellipse = new TRLEllipseObject(page);
        ellipse->BoundsRect = TRect(n, 0, n + 3, 3);
        new TRLPixelObject(page);
        auto* line = new TRLLineObject(page);
        line->ToPoint = TPoint(n, n);
        auto* polyline = new TRLPolylineObject(page);
        polyline->Points = { TPoint(n, 1) };
        store.Add(page);
    }
}

TEST(StoreFile, RoundTripThroughAFile)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("inventario.pgx"));
    TRLGraphicStorage store;
    FillStore(store, 8);
    store.SaveToFile(name);
    const QByteArray saved = SaveStore(store);
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), saved);

    TRLGraphicStorage back;
    back.LoadFromFile(name);
    EXPECT_EQ(back.MacroValues, store.MacroValues);
    EXPECT_EQ(back.Title(), QStringLiteral("Inventário por Preço de Custo"));
    EXPECT_EQ(back.OrientedWidth(), 794);
    ASSERT_EQ(back.PageCount(), 8);
    for (int n = 0; n < 8; ++n) {
        ASSERT_NE(back.Pages(n), nullptr);
        EXPECT_EQ(back.Pages(n)->SaveToBytes(), store.Pages(n)->SaveToBytes()) << n;
    }
    EXPECT_EQ(SaveStore(back), saved); // byte for byte
    auto* text = static_cast<TRLTextObject*>(back.Pages(3)->Objects(1));
    text->Text = QStringLiteral("{LastPageNumber}");
    EXPECT_EQ(text->DisplayText(), QStringLiteral("8"));
}

TEST(StoreFile, SavingFlushesEditedPages)
{
    TRLGraphicStorage store;
    FillStore(store, 2);
    store.Pages(0)->FillRect(TRect(7, 7, 8, 8));
    TRLGraphicStorage back;
    LoadStore(back, SaveStore(store));
    TRLGraphicSurface* page = back.Pages(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Objects(page->ObjectCount() - 1)->BoundsRect, TRect(7, 7, 8, 8));
    EXPECT_FALSE(store.Pages(0)->Dirty);
}

TEST(StoreFile, AFailedSaveLeavesTheOldFile)
{
    QTemporaryDir dir;
    TRLGraphicStorage store;
    FillStore(store, 1);
    EXPECT_THROW(store.SaveToFile(dir.filePath(QStringLiteral("no/such/dir/x.pgx"))), Exception);
    const QString name = dir.filePath(QStringLiteral("x.pgx"));
    {
        QFile old(name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    // A store whose swap file went missing cannot copy its pages: the old file stays whole.
    QFile::resize(store.SwapFileName(), 10);
    EXPECT_THROW(store.SaveToFile(name), EReadError);
    QFile old(name);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old");
}

TEST(StoreFile, EveryPrefixIsAnErrorNeverACrash)
{
    TRLGraphicStorage store;
    FillStore(store, 3);
    const QByteArray bytes = SaveStore(store);
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        TRLGraphicStorage back;
        back.SetTitle(QStringLiteral("before"));
        try {
            LoadStore(back, bytes.left(n));
            ADD_FAILURE() << "a prefix of " << n << " bytes loaded";
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("File is corrupted!"));
        }
        EXPECT_EQ(back.PageCount(), 0);
        EXPECT_TRUE(back.MacroValues.isEmpty());
    }
}

TEST(StoreFile, DamagedBytesNeverCrash)
{
    TRLGraphicStorage store;
    FillStore(store, 2);
    const QByteArray bytes = SaveStore(store);
    TRLGraphicStorage back;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        QByteArray damaged = bytes;
        damaged[i] = char(damaged[i] ^ 0x80);
        try {
            LoadStore(back, damaged);
            for (int n = 0; n < back.PageCount(); ++n)
                (void)back.Pages(n);
        } catch (const EReadError&) {
            EXPECT_EQ(back.PageCount(), 0);
        }
    }
}

TEST(StoreFile, HostileTablesAreRefused)
{
    const QByteArray signature("RLGraphicStorage3\x1A", 18);
    TRLGraphicStorage one;
    one.Add(new TRLGraphicSurface);
    const QByteArray valid = SaveStore(one);
    QByteArray overlapping
        = valid.left(26) + QByteArray::fromHex("02000000 22000000 22000000") + valid.mid(30);
    const QByteArray cases[] = {
        QByteArray("RLGraphicStorage2\x1A", 18) + QByteArray(8, 0),
        signature + QByteArray::fromHex("ffffff7f"), signature + QByteArray::fromHex("01000000 ffffff7f"),
        signature + QByteArray::fromHex("00000000 ffffff7f"),
        signature + QByteArray::fromHex("00000000 01000000 00000000"), // a record inside the table
        signature + QByteArray::fromHex("00000000 01000000 1e000000 ffffff7f"), // a giant record
        overlapping, // two pages on one record
        valid + QByteArray(3, 0), // fine: trailing bytes are not pages
    };
    for (int i = 0; i < 8; ++i) {
        TRLGraphicStorage back;
        if (i == 7) {
            LoadStore(back, cases[i]);
            EXPECT_EQ(back.PageCount(), 1);
            continue;
        }
        EXPECT_THROW(LoadStore(back, cases[i]), EReadError) << i;
        EXPECT_EQ(back.PageCount(), 0);
    }
}

// The seed files are written by a separate script, not by this writer: reading them checks the reader
// against the layout itself.
TEST(StoreFile, ReadsAFileWrittenElsewhere)
{
    QString source = qEnvironmentVariable("QB_SOURCE_DIR");
    if (source.isEmpty())
        source = QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../..");
    const QString name = source + QStringLiteral("/fuzz/corpus/PageStore/two_page_store.pgx");
    ASSERT_TRUE(QFileInfo::exists(name)) << name.toStdString();
    TRLGraphicStorage store;
    store.LoadFromFile(name);
    EXPECT_EQ(store.LastPageNumber(), 2);
    EXPECT_EQ(store.Title(), QStringLiteral("Inventário"));
    ASSERT_EQ(store.PageCount(), 2);
    TRLGraphicSurface* page = store.Pages(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->PaperWidth(), 210.0);
    ASSERT_EQ(page->ObjectCount(), 11); // the twelfth has a kind nobody knows
    const TRLGraphicObjectKind kinds[] = { okText, okRectangle, okPolygon, okSetClipRect, okFillRect,
        okResetClipRect, okImage, okPixel, okLine, okEllipse, okPolyline };
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(page->Objects(i)->Kind(), kinds[i]) << i;
    auto* text = static_cast<TRLTextObject*>(page->Objects(0));
    page->MacroValues << QStringLiteral("PageNumber=2");
    EXPECT_EQ(text->DisplayText(), QStringLiteral("Página 2 de 2 – ç"));
    EXPECT_EQ(text->Font.Name(), QStringLiteral("Arial"));
}

} // namespace
