#include "filters/RLFilterPipeline.h"

#include "engine/RLProgress.h"
#include "engine/RLReport.h"
#include "filters/RLFilters.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLXLSFilter.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// Whether any text of the page holds a brace: its display text may then take a report value, and
// those are final only when the preparation has ended.
bool HoldsPlaceholder(const TRLGraphicSurface& Page)
{
    for (int i = 0; i < Page.ObjectCount(); ++i) {
        const TRLGraphicObject* object = Page.Objects(i);
        if (object->Kind() == okText && static_cast<const TRLTextObject*>(object)->Text.contains(u'{'))
            return true;
    }
    return false;
}

// The report values without the last page number, which only the end knows.
QStringList WithoutLastPageNumber(QStringList Values)
{
    Values.removeIf([](const QString& line) {
        return line.startsWith(QLatin1String("LastPageNumber="), Qt::CaseInsensitive);
    });
    return Values;
}

} // namespace

bool RLPipelinedExportSuits(const TRLCustomSaveFilter* Filter)
{
    const QByteArray value = qgetenv("QB_EXPORT_SEQUENTIAL");
    if (!value.isEmpty() && value != "0")
        return false;
    // A save that shows its progress, page by page with its cancel, keeps doing so: that display
    // belongs to the main thread, which is busy preparing while a pipeline writes.
    if (Filter && Filter->ShowProgress() && HasProgressFactory())
        return false;
    return qobject_cast<const TRLPDFFilter*>(Filter) || qobject_cast<const TRLXLSFilter*>(Filter);
}

// What the two threads share. Everything below the mutex is guarded by it.
struct TRLPipelinedExport::TFeed
{
    TRLGraphicStorage* Store = nullptr; // the report's
    TRLGraphicStorage* Mirror = nullptr; // the writer's stand-in for it while pages are added

    std::mutex Mutex;
    std::condition_variable Changed;
    // Records of pages Taken, Taken + 1, ...: the body and the texts its 8-bit text could not hold.
    std::deque<std::pair<QByteArray, TRLFullTexts>> Queue;
    int Stored = 0; // pages the store has written so far
    int Taken = 0; // pages the writer has taken
    bool Detached = false; // the writer waits for the end and then reads the store
    bool WriterDone = false;
    bool Ended = false;
    bool Complete = false; // at the end: the preparation succeeded and the stream can be trusted
    QString Stale; // why what was streamed cannot be trusted, or empty

    // The writer's copy of the page it is writing.
    std::unique_ptr<TRLGraphicSurface> Current;

    // On the preparing thread, for every page record the store writes.
    void PageStored(int Index, const QByteArray& Body, const TRLFullTexts& FullTexts)
    {
        std::unique_lock lock(Mutex);
        if (Index != Stored) {
            // A page stored again, or a store emptied and filled anew. Pages the writer has not
            // taken yet are read from the finished store when it has detached; anything else
            // means that bytes already handed over are out of date.
            if (!(Detached && Index >= Taken && Index < Stored) && Stale.isEmpty()) {
                Stale = QStringLiteral("page %1 was stored again").arg(Index + 1);
                Changed.notify_all();
            }
            return;
        }
        ++Stored;
        if (Detached || WriterDone || !Stale.isEmpty())
            return;
        Changed.wait(lock, [this] { return int(Queue.size()) < QueueCapacity || Detached || WriterDone; });
        if (Detached || WriterDone)
            return;
        Queue.emplace_back(Body, FullTexts);
        Changed.notify_all();
    }

    // On the writing thread: page Index, or null with End at the end.
    TRLGraphicSurface* Page(int Index, bool& End)
    {
        Current.reset();
        std::unique_lock lock(Mutex);
        if (!Detached) {
            Changed.wait(lock, [this] { return !Queue.empty() || Ended || !Stale.isEmpty(); });
            if (!Stale.isEmpty())
                throw EAbort();
            if (!Queue.empty()) {
                const std::pair<QByteArray, TRLFullTexts> record = std::move(Queue.front());
                Queue.pop_front();
                ++Taken;
                Changed.notify_all();
                lock.unlock();
                auto page = std::make_unique<TRLGraphicSurface>();
                page->LoadFromBytes(record.first, record.second);
                page->SetStorage(Mirror);
                if (!HoldsPlaceholder(*page)) {
                    Current = std::move(page);
                    return Current.get();
                }
                page.reset();
                lock.lock();
                // From this page on the writer takes the pages from the finished store; the
                // preparation need not wait for it any more.
                --Taken;
                Detached = true;
                Queue.clear();
                Changed.notify_all();
            }
        }
        Changed.wait(lock, [this] { return Ended; });
        if (!Complete)
            throw EAbort(); // nothing of this run may reach the file
        if (!Detached) {
            End = true; // every page came through the queue
            return nullptr;
        }
        lock.unlock();
        // The preparing thread waits for this one now: the store is ours alone.
        if (Index >= Store->PageCount()) {
            End = true;
            return nullptr;
        }
        return Store->Pages(Index);
    }

    void Finish(bool Complete_)
    {
        std::lock_guard lock(Mutex);
        Ended = true;
        Complete = Complete_;
        Changed.notify_all();
    }

    void WriterFinished()
    {
        std::lock_guard lock(Mutex);
        WriterDone = true;
        Changed.notify_all();
    }
};

TRLPipelinedExport::TRLPipelinedExport(TRLCustomReport* Report, TRLCustomSaveFilter* Filter)
    : FReport(Report)
    , FFilter(Filter)
{ }

TRLPipelinedExport::~TRLPipelinedExport() = default;

bool TRLPipelinedExport::Run()
{
    FPipelined = false;
    FWaitedForEnd = false;
    FFallbackReason.clear();
    TRLGraphicStorage* store = FReport->Storage();

    // The writer's stand-in for the store: the values the end will bring, the last page number
    // aside. Owned here, so that letting go of it never frees it.
    TComponent mirrorOwner;
    auto* mirror = new TRLGraphicStorage(&mirrorOwner);
    FReport->WriteStorageValues(*mirror, 0);
    const QStringList expectedValues = WithoutLastPageNumber(mirror->MacroValues);

    TFeed feed;
    feed.Store = store;
    feed.Mirror = mirror;

    FFilter->FCanceled.store(false);
    FFilter->FRunAborted = false;
    FFilter->FFirstPage = 1;
    FFilter->FLastPage = 0;
    FFilter->SetPages(mirror);

    std::exception_ptr writerFailure;
    std::thread writer([this, &feed, &writerFailure] {
        try {
            FFilter->Run(nullptr, [&feed](int Index, bool& End) { return feed.Page(Index, End); });
        } catch (...) {
            writerFailure = std::current_exception();
        }
        feed.Current.reset();
        feed.WriterFinished();
    });

    store->SetPageStoredProc([&feed](int Index, const QByteArray& Body, const TRLFullTexts& FullTexts) {
        feed.PageStored(Index, Body, FullTexts);
    });
    bool prepared = false;
    try {
        prepared = FReport->Prepare();
    } catch (...) {
        // Prepare reports its own failures; this is only for what escapes it (out of memory).
        store->SetPageStoredProc({});
        feed.Finish(false);
        writer.join();
        FFilter->SetPages(nullptr);
        throw;
    }
    store->SetPageStoredProc({});

    QString stale;
    {
        std::lock_guard lock(feed.Mutex);
        stale = feed.Stale;
    }
    if (stale.isEmpty() && prepared && WithoutLastPageNumber(store->MacroValues) != expectedValues)
        stale = QStringLiteral("the report values changed during the preparation");
    feed.Finish(prepared && stale.isEmpty());
    writer.join();
    FWaitedForEnd = feed.Detached;
    FFilter->SetPages(nullptr);

    if (!prepared)
        return false; // the writer has thrown its output away
    if (!stale.isEmpty()) {
        FFallbackReason = stale;
        FFilter->ProcessPages(store, 1, -1, false);
        return true;
    }
    if (writerFailure)
        std::rethrow_exception(writerFailure);
    FPipelined = true;
    return true;
}
