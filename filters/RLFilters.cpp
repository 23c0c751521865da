#include "filters/RLFilters.h"

#include "engine/RLConsts.h"
#include "engine/RLProgress.h"
#include "engine/RLServices.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"
#include "platform/ThreadHandOver.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QMetaObject>
#include <QMetaProperty>
#include <QtDebug>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// Filters are made and destroyed on the main thread only (a background run never creates one), so
// the list needs no lock.
QList<TRLCustomFilter*>& LiveFilters()
{
    static QList<TRLCustomFilter*> list;
    return list;
}

// A page the store cannot give back (a damaged swap record) would silently shorten the output; the
// run reports it instead, in the user's language.
QString PageUnreadableMessage(int PageNumber)
{
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        return QStringLiteral("A página %1 não pôde ser lida do armazenamento de páginas.").arg(PageNumber);
    case lgFrench:
        return QStringLiteral("La page %1 n'a pas pu être relue du stockage des pages.").arg(PageNumber);
    case lgSpanish:
        return QStringLiteral("La página %1 no se pudo leer del almacenamiento de páginas.").arg(PageNumber);
    case lgEnglish:
        break;
    }
    return QStringLiteral("Page %1 could not be read back from the page store.").arg(PageNumber);
}

QString DottedExtension(QString Ext)
{
    if (!Ext.isEmpty() && !Ext.startsWith(QLatin1Char('.')))
        Ext.prepend(QLatin1Char('.'));
    return Ext;
}

// A step handed from a filter thread to the main thread as an event of its own. Qt's queued and
// blocking calls would do, but they make and free their call objects inside Qt, on both threads,
// where the thread checker cannot see the locks that order them; this event is made before the hand-
// over mark and only ever touched by the main thread after it. Should the event be dropped unrun
// (the application going away first), Abandon tells whoever waits.
class TMainThreadStep : public QEvent
{
public:
    TMainThreadStep(std::function<void()> Run, std::function<void()> Abandon)
        : QEvent(StepType())
        , FRun(std::move(Run))
        , FAbandon(std::move(Abandon))
    { }
    ~TMainThreadStep() override
    {
        if (!FRan && FAbandon)
            FAbandon();
    }
    static QEvent::Type StepType()
    {
        static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    void Run()
    {
        TakeOver(this);
        FRan = true;
        FRun();
    }

private:
    std::function<void()> FRun;
    std::function<void()> FAbandon;
    bool FRan = false;
};

class TMainThreadReceiver : public QObject
{
public:
    bool event(QEvent* Event) override
    {
        // Before the event's first field is read: a step was made on the filter thread. (For any
        // other event the mark orders nothing.)
        TakeOver(Event);
        if (Event->type() != TMainThreadStep::StepType())
            return QObject::event(Event);
        static_cast<TMainThreadStep*>(Event)->Run();
        return true;
    }
};

TMainThreadReceiver* MainThreadReceiverInstance = nullptr;

// Made on the main thread (ProcessPages calls it before a filter thread starts) and freed with the
// application.
TMainThreadReceiver* MainThreadReceiver()
{
    if (!MainThreadReceiverInstance && QCoreApplication::instance()) {
        MainThreadReceiverInstance = new TMainThreadReceiver;
        qAddPostRoutine([] {
            delete MainThreadReceiverInstance;
            MainThreadReceiverInstance = nullptr;
        });
    }
    return MainThreadReceiverInstance;
}

// Posts Run to the main thread; false when there is no main thread to post to.
bool PostToMainThread(std::function<void()> Run, std::function<void()> Abandon = {})
{
    TMainThreadReceiver* receiver = MainThreadReceiver();
    if (!receiver)
        return false;
    auto* step = new TMainThreadStep(std::move(Run), std::move(Abandon));
    HandOver(step);
    QCoreApplication::postEvent(receiver, step);
    return true;
}

void ReportBackgroundFailure(const QString& FilterName, const QString& Message)
{
    auto report = [FilterName, Message] {
        if (const TRLFilterErrorProc proc = Services().FilterError)
            proc(FilterName, Message);
        else
            qWarning().noquote() << FilterName << ":" << Message;
    };
    if (!PostToMainThread(report))
        report();
}

} // namespace

// --- TRLCustomFilter -----------------------------------------------------------------------------

TRLCustomFilter::TRLCustomFilter(TComponent* AOwner)
    : TComponent(AOwner)
{
    LiveFilters().append(this);
}

TRLCustomFilter::~TRLCustomFilter()
{
    LiveFilters().removeAll(this);
    FProgress.reset();
    SetPages(nullptr);
}

QString TRLCustomFilter::GetDisplayName() const
{
    return FDisplayName.isEmpty() ? Name() : FDisplayName;
}

bool TRLCustomFilter::IsPropertyStored(const QMetaProperty& property) const
{
    // A display name equal to the component name says nothing the name does not say already.
    if (qstrcmp(property.name(), "DisplayName") == 0)
        return FDisplayName != Name();
    return TComponent::IsPropertyStored(property);
}

void TRLCustomFilter::BecameDefaultInstance()
{
    LiveFilters().removeAll(this);
}

void TRLCustomFilter::Notification(TComponent* Component, TOperation Operation)
{
    TComponent::Notification(Component, Operation);
    if (Operation == opRemove && Component == FPages)
        FPages = nullptr; // the store is going: forget it without touching it
}

void TRLCustomFilter::SetPages(TRLGraphicStorage* Value)
{
    if (Value == FPages)
        return;
    if (TRLGraphicStorage* old = FPages) {
        FPages = nullptr;
        RemoveFreeNotification(old);
        old->Unlink(this); // may free an ownerless store
    }
    FPages = Value;
    if (FPages) {
        FPages->Link(this);
        // A store with an owner takes no link, yet it must tell us when it goes.
        FreeNotification(FPages);
    }
}

void TRLCustomFilter::ProcessPages(TRLGraphicStorage* APages, int AFirstPage, int ALastPage, bool Background)
{
    FCanceled.store(false);
    FRunAborted = false;
    const int count = APages ? APages->PageCount() : 0;
    FFirstPage = qMax(1, AFirstPage);
    FLastPage = ALastPage == -1 ? count : qMin(ALastPage, count);
    SetPages(APages);
    // Made here, on the store's thread, which is the one place the store may be asked.
    FReader = std::make_unique<TRLPageReader>(APages);
    if (Background) {
        MainThreadReceiver(); // made here, on the main thread
        auto* thread = new TFilterThread(this);
        thread->Start();
        return;
    }
    Run(nullptr);
}

void TRLCustomFilter::OnMainThread(TFilterThread* Thread, const std::function<void()>& Step)
{
    if (!Thread) {
        Step();
        return;
    }
    // The filter thread waits here until the main thread has taken the step. The hand-over is marked
    // besides the lock: the step runs under Qt's event dispatch, where the thread checker does not
    // always see the main thread take it.
    struct TWait
    {
        std::mutex Lock;
        std::condition_variable Done;
        bool Finished = false;
        std::exception_ptr Failure;
    } wait;
    auto finish = [&wait](std::exception_ptr Failure) {
        std::lock_guard<std::mutex> lock(wait.Lock);
        wait.Failure = std::move(Failure);
        wait.Finished = true;
        HandOver(&wait);
        wait.Done.notify_one();
    };
    const bool posted = PostToMainThread(
        [&Step, finish] {
            std::exception_ptr failure;
            try {
                Step();
            } catch (...) {
                failure = std::current_exception();
            }
            finish(failure);
        },
        [finish] { finish(std::make_exception_ptr(EAbort())); });
    if (!posted)
        throw EAbort();
    std::unique_lock<std::mutex> lock(wait.Lock);
    wait.Done.wait(lock, [&wait] { return wait.Finished; });
    TakeOver(&wait);
    if (wait.Failure)
        std::rethrow_exception(wait.Failure);
}

void TRLCustomFilter::Run(TFilterThread* Thread, const TPageSource& Source)
{
    auto destroyProgress = [this, Thread] {
        if (FProgress)
            OnMainThread(Thread, [this] { FProgress.reset(); });
    };
    // Letting go of the store may free it (an ownerless store handed to a background run), and its
    // notification lists belong to the main thread: so it happens there. The store's owner may have
    // freed it meanwhile, which only the main thread knows, so the step is always taken; the reader
    // goes in the same step, so that the next run, started on the main thread, finds it gone. A
    // pipelined run's pages are let go of by the pipeline, on the main thread, once this run is over.
    auto releasePages = [this, Thread, &Source] {
        if (Source)
            return;
        OnMainThread(Thread, [this] {
            FReader.reset();
            SetPages(nullptr);
        });
    };

    if (FShowProgress && !Source) {
        const bool printing = qobject_cast<TRLCustomPrintFilter*>(this) != nullptr;
        const QString title = RLMessage(printing ? RLMsgPrintingInProgress : RLMsgSavingReport);
        OnMainThread(Thread, [this, title] {
            FProgress = CreateProgress(title, 1, [this] { Cancel(); });
            if (FProgress)
                FProgress->ShowProgress();
        });
    }

    try {
        if (FProgress) {
            const int max = FLastPage - FFirstPage + 1;
            OnMainThread(Thread, [this, max] { FProgress->SetMax(max); });
        }
        BeginDocument();
        try {
            bool pageDrawn = false;
            for (int page = FFirstPage; Source || page <= FLastPage; ++page) {
                // A program told to terminate (quit, or a signal) stops at the next page; the
                // writer throws the unfinished output away.
                if (ApplicationTerminating())
                    throw EAbort();
                TRLGraphicSurface* surface = nullptr;
                if (Source) {
                    // The number of pages is known only when the source runs dry.
                    bool end = false;
                    surface = Source(page - 1, end);
                    if (!surface && end) {
                        FLastPage = page - 1;
                        break;
                    }
                    if (pageDrawn)
                        NewPage();
                } else {
                    if (pageDrawn)
                        NewPage();
                    surface = FReader ? FReader->Page(page - 1) : nullptr;
                }
                pageDrawn = true;
                if (!surface)
                    throw Exception(PageUnreadableMessage(page));
                DrawPage(surface);
                if (FProgress)
                    OnMainThread(Thread, [this] { FProgress->StepIt(); });
                if (FCanceled.load()) {
                    // Stopped short: the output holds only part of the pages.
                    FRunAborted = Source || page < FLastPage;
                    break;
                }
            }
        } catch (...) {
            FRunAborted = true;
            try {
                EndDocument();
            } catch (...) {
                // The first failure is the one worth reporting.
            }
            throw;
        }
        EndDocument();
    } catch (...) {
        FRunAborted = true;
        try {
            destroyProgress();
            releasePages();
        } catch (...) { }
        throw;
    }
    destroyProgress();
    releasePages();
}

// --- save filters ----------------------------------------------------------------------------------

void TRLCustomSaveFilter::SetDefaultExt(const QString& Value)
{
    FDefaultExt = DottedExtension(Value);
}

// --- thread --------------------------------------------------------------------------------------

TFilterThread::TFilterThread(TRLCustomFilter* Filter)
    : FFilter(Filter)
{ }

void TFilterThread::Start()
{
    std::thread([this] {
        Body();
        delete this;
    }).detach();
}

void TFilterThread::Body()
{
    const QString name = FFilter->GetDisplayName();
    try {
        FFilter->Run(this);
    } catch (const EAbort&) {
        // A silent abort (the application is closing) is nobody's news.
    } catch (const Exception& error) {
        ReportBackgroundFailure(name, error.Message());
    } catch (const std::exception& error) {
        ReportBackgroundFailure(name, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ReportBackgroundFailure(name, QStringLiteral("Unknown failure"));
    }
}

// --- lists and look-ups ----------------------------------------------------------------------------

const QList<TRLCustomFilter*>& FilterList()
{
    return LiveFilters();
}

TRLCustomSaveFilter* SaveFilterForFile(const QString& FileName, const TComponent* Owner)
{
    const QString suffix = QFileInfo(FileName).suffix();
    if (suffix.isEmpty())
        return nullptr;
    const QString ext = DottedExtension(suffix);
    for (TRLCustomFilter* filter : LiveFilters()) {
        auto* save = qobject_cast<TRLCustomSaveFilter*>(filter);
        if (save && (!Owner || save->Owner() == Owner)
            && save->DefaultExt().compare(ext, Qt::CaseInsensitive) == 0)
            return save;
    }
    return nullptr;
}
