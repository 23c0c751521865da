// The filter run protocol: page order and range clamping, failures and cancel ending the document
// once, the progress display, background runs, the list of live filters, the save filter look-up,
// display names and the link a run holds on its page store.
#include "filters/RLFilters.h"
#include "filters/RLPDFFilter.h"

#include "engine/RLConsts.h"
#include "engine/RLProgress.h"
#include "engine/RLServices.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QMetaProperty>
#include <QPointer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

// Each page carries its number, so the log shows which page was drawn.
QString PageTag(const TRLGraphicSurface* Surface)
{
    return MacroValue(Surface->MacroValues, QStringLiteral("TestPage"));
}

TRLGraphicStorage* MakeStore(int PageCount, TComponent* Owner)
{
    auto* store = new TRLGraphicStorage(Owner);
    for (int i = 1; i <= PageCount; ++i) {
        auto* surface = new TRLGraphicSurface;
        surface->SetWidth(100);
        surface->SetHeight(100);
        SetMacroValue(surface->MacroValues, QStringLiteral("TestPage"), QString::number(i));
        store->Add(surface);
    }
    return store;
}

// Writes down every protocol call; a page can be made to fail or to cancel the run.
template <typename Base> class TRecording : public Base
{
public:
    explicit TRecording(TComponent* AOwner = nullptr)
        : Base(AOwner)
    { }

    QStringList Log;
    int FailOnPage = 0;
    int CancelOnPage = 0;
    std::function<void(int Page)> OnDraw;
    bool AbortedAtEnd = false;
    bool LinkedDuringDraw = false;
    std::atomic<bool> Ended { false };
    std::atomic<bool> DrewOnMainThread { false };

protected:
    void BeginDocument() override { Log << QStringLiteral("Begin"); }
    void EndDocument() override
    {
        Log << QStringLiteral("End");
        AbortedAtEnd = this->RunAborted();
        Ended = true;
    }
    void NewPage() override { Log << QStringLiteral("NewPage"); }
    void DrawPage(TRLGraphicSurface* Surface) override
    {
        const int page = PageTag(Surface).toInt();
        Log << QStringLiteral("Draw(%1)").arg(page);
        LinkedDuringDraw = this->Pages() && this->Pages()->IsLinked(this);
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            DrewOnMainThread = true;
        if (OnDraw)
            OnDraw(page);
        if (page == FailOnPage)
            throw Exception(QStringLiteral("page %1 failed").arg(page));
        if (page == CancelOnPage)
            this->Cancel();
    }
};

using TPrintRecorder = TRecording<TRLCustomPrintFilter>;
using TSaveRecorder = TRecording<TRLCustomSaveFilter>;

// A progress display that remembers what it was asked, and on which thread.
struct TProgressLog
{
    QString Title;
    int Max = -1;
    int Steps = 0;
    int Created = 0;
    int Destroyed = 0;
    bool OffMainThread = false;
    TRLProgressCancelProc Cancel;
    int CancelAtStep = 0;
};

class TFakeProgress : public TRLProgress
{
public:
    explicit TFakeProgress(TProgressLog& Log)
        : FLog(Log)
    { }
    ~TFakeProgress() override
    {
        Check();
        ++FLog.Destroyed;
    }
    void SetMax(int Max) override
    {
        Check();
        FLog.Max = Max;
    }
    void StepIt() override
    {
        Check();
        ++FLog.Steps;
        if (FLog.Steps == FLog.CancelAtStep && FLog.Cancel)
            FLog.Cancel(); // the cancel button pressed while this page was printing
    }
    void NextBar() override { }
    void SetStepName(const QString&) override { }
    void ShowProgress() override { Check(); }

private:
    void Check()
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            FLog.OffMainThread = true;
    }
    TProgressLog& FLog;
};

class FilterRun : public ::testing::Test
{
protected:
    void SetUp() override { Root = std::make_unique<TComponent>(); }
    void InstallProgress()
    {
        Services.Installed().Progress = [this](const QString& Title, int, TRLProgressCancelProc OnCancel) {
            Progress.Title = Title;
            Progress.Cancel = std::move(OnCancel);
            ++Progress.Created;
            return std::make_unique<TFakeProgress>(Progress);
        };
    }

    // Each test starts without a progress display or a failure handler, and leaves none behind.
    TRLServicesScope Services { TRLServices {} };

    std::unique_ptr<TComponent> Root;
    TProgressLog Progress;
};

TEST_F(FilterRun, PrintsTheRangeWithANewPageBetweenPages)
{
    TRLGraphicStorage* store = MakeStore(3, Root.get());
    TPrintRecorder filter;
    filter.ProcessPages(store, 2, 3, false);
    EXPECT_EQ(filter.Log, QStringList({ "Begin", "Draw(2)", "NewPage", "Draw(3)", "End" }));
    EXPECT_FALSE(filter.AbortedAtEnd);
}

TEST_F(FilterRun, ClampsThePageRangeToTheStore)
{
    struct TCase
    {
        int First;
        int Last;
        QStringList Expected;
    };
    const QStringList all { "Begin", "Draw(1)", "NewPage", "Draw(2)", "NewPage", "Draw(3)", "End" };
    const TCase cases[] = {
        { 0, -1, all },
        { -4, -1, all },
        { 1, 99, all },
        { -2, 2, { "Begin", "Draw(1)", "NewPage", "Draw(2)", "End" } },
        { 3, -1, { "Begin", "Draw(3)", "End" } },
        { 3, 2, { "Begin", "End" } },
        { 4, -1, { "Begin", "End" } },
        { 1, -7, { "Begin", "End" } },
    };
    TRLGraphicStorage* store = MakeStore(3, Root.get());
    for (const TCase& c : cases) {
        TPrintRecorder filter;
        filter.ProcessPages(store, c.First, c.Last, false);
        EXPECT_EQ(filter.Log, c.Expected) << c.First << ".." << c.Last;
    }
}

TEST_F(FilterRun, AFailingPageEndsTheDocumentOnceAndPropagates)
{
    InstallProgress();
    TRLGraphicStorage* store = MakeStore(3, Root.get());
    TPrintRecorder filter;
    filter.FailOnPage = 2;
    try {
        filter.ProcessPages(store, 1, -1, false);
        FAIL() << "the failure of page 2 was swallowed";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("page 2 failed"));
    }
    EXPECT_EQ(filter.Log, QStringList({ "Begin", "Draw(1)", "NewPage", "Draw(2)", "End" }));
    EXPECT_TRUE(filter.AbortedAtEnd);
    EXPECT_TRUE(filter.RunAborted());
    EXPECT_EQ(filter.Pages(), nullptr);
    EXPECT_FALSE(store->IsLinked(&filter));
    EXPECT_EQ(Progress.Created, 1);
    EXPECT_EQ(Progress.Destroyed, 1);
}

TEST_F(FilterRun, CancelFinishesThePageAndEndsTheDocumentOnce)
{
    struct TCase
    {
        int CancelOnPage;
        QStringList Expected;
        bool Aborted;
    };
    const TCase cases[] = {
        { 1, { "Begin", "Draw(1)", "End" }, true },
        { 2, { "Begin", "Draw(1)", "NewPage", "Draw(2)", "End" }, true },
        // Cancelled on the last page: nothing is missing.
        { 3, { "Begin", "Draw(1)", "NewPage", "Draw(2)", "NewPage", "Draw(3)", "End" }, false },
    };
    TRLGraphicStorage* store = MakeStore(3, Root.get());
    for (const TCase& c : cases) {
        TPrintRecorder filter;
        filter.CancelOnPage = c.CancelOnPage;
        filter.ProcessPages(store, 1, -1, false);
        EXPECT_EQ(filter.Log, c.Expected) << c.CancelOnPage;
        EXPECT_EQ(filter.AbortedAtEnd, c.Aborted) << c.CancelOnPage;
    }
}

TEST_F(FilterRun, TheNextRunStartsUncancelled)
{
    TRLGraphicStorage* store = MakeStore(2, Root.get());
    TPrintRecorder filter;
    filter.CancelOnPage = 1;
    filter.ProcessPages(store, 1, -1, false);
    ASSERT_TRUE(filter.Canceled());
    filter.Log.clear();
    filter.CancelOnPage = 0;
    filter.ProcessPages(store, 1, -1, false);
    EXPECT_EQ(filter.Log, QStringList({ "Begin", "Draw(1)", "NewPage", "Draw(2)", "End" }));
    EXPECT_FALSE(filter.Canceled());
}

TEST_F(FilterRun, ProgressCountsThePagesAndItsCancelButtonStopsTheRun)
{
    InstallProgress();
    Progress.CancelAtStep = 2;
    TRLGraphicStorage* store = MakeStore(5, Root.get());
    TPrintRecorder filter;
    filter.ProcessPages(store, 2, 5, false);
    EXPECT_EQ(Progress.Title, RLMessage(RLMsgPrintingInProgress));
    EXPECT_EQ(Progress.Max, 4);
    EXPECT_EQ(Progress.Steps, 2);
    EXPECT_EQ(Progress.Destroyed, 1);
    EXPECT_EQ(filter.Log, QStringList({ "Begin", "Draw(2)", "NewPage", "Draw(3)", "End" }));
}

TEST_F(FilterRun, ProgressTitleSaysSavingForASaveFilterAndNothingShowsWithoutShowProgress)
{
    InstallProgress();
    TRLGraphicStorage* store = MakeStore(1, Root.get());
    TSaveRecorder save;
    save.ProcessPages(store, 1, -1, false);
    EXPECT_EQ(Progress.Title, RLMessage(RLMsgSavingReport));
    EXPECT_EQ(Progress.Created, 1);

    TPrintRecorder quiet;
    quiet.SetShowProgress(false);
    quiet.ProcessPages(store, 1, -1, false);
    EXPECT_EQ(Progress.Created, 1);
    EXPECT_EQ(quiet.Log, QStringList({ "Begin", "Draw(1)", "End" }));
}

TEST_F(FilterRun, BackgroundRunDrawsOnItsThreadAndShowsProgressOnTheMainThread)
{
    InstallProgress();
    TRLGraphicStorage* store = MakeStore(3, Root.get());
    TPrintRecorder filter;
    filter.ProcessPages(store, 1, -1, true);
    // The run hands its progress steps to this thread and waits for them, so keep serving events.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Progress.Destroyed == 1 && store->LinkCount() == 0; }, 20000));
    EXPECT_TRUE(filter.Ended.load());
    EXPECT_EQ(
        filter.Log, QStringList({ "Begin", "Draw(1)", "NewPage", "Draw(2)", "NewPage", "Draw(3)", "End" }));
    EXPECT_FALSE(filter.DrewOnMainThread.load());
    EXPECT_FALSE(Progress.OffMainThread);
    EXPECT_EQ(Progress.Steps, 3);
    QTest::qWait(50); // lets the finished thread delete itself
}

TEST_F(FilterRun, BackgroundFailureIsReportedOnTheMainThreadWithTheFilterName)
{
    QString reportedName;
    QString reportedMessage;
    bool onMainThread = false;
    Services.Installed().FilterError = [&](const QString& Name, const QString& Message) {
        reportedName = Name;
        reportedMessage = Message;
        onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    };
    TRLGraphicStorage* store = MakeStore(2, Root.get());
    TPrintRecorder filter;
    filter.SetName(QStringLiteral("Impressora1"));
    filter.FailOnPage = 1;
    filter.ProcessPages(store, 1, -1, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reportedMessage.isEmpty(); }, 20000));
    EXPECT_EQ(reportedName, QStringLiteral("Impressora1"));
    EXPECT_EQ(reportedMessage, QStringLiteral("page 1 failed"));
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(filter.Log, QStringList({ "Begin", "Draw(1)", "End" }));
    QTest::qWait(50);
}

TEST_F(FilterRun, HoldsALinkOnTheStoreOnlyWhileRunning)
{
    TRLGraphicStorage* store = MakeStore(1, Root.get());
    TPrintRecorder filter;
    filter.ProcessPages(store, 1, -1, false);
    EXPECT_TRUE(filter.LinkedDuringDraw);
    EXPECT_FALSE(store->IsLinked(&filter));
    EXPECT_EQ(filter.Pages(), nullptr);
}

TEST_F(FilterRun, AnOwnerlessStoreLivesThroughTheRunAndGoesWithItsLastLink)
{
    QPointer<TRLGraphicStorage> store = MakeStore(2, nullptr);
    TComponent other;
    store->Link(&other);
    TPrintRecorder filter;
    filter.ProcessPages(store, 1, -1, false);
    ASSERT_FALSE(store.isNull()); // someone else still uses it
    EXPECT_EQ(filter.Log.size(), 5);
    store->Unlink(&other);
    EXPECT_TRUE(store.isNull());
}

TEST_F(FilterRun, ForgetsAStoreDestroyedUnderIt)
{
    // Destroyed while its last page is drawn: the run ends normally and lets go of nothing it no
    // longer has.
    {
        auto owner = std::make_unique<TComponent>();
        TRLGraphicStorage* store = MakeStore(1, owner.get());
        TPrintRecorder filter;
        filter.OnDraw = [&](int) { owner.reset(); };
        filter.ProcessPages(store, 1, -1, false);
        EXPECT_EQ(filter.Pages(), nullptr);
        EXPECT_EQ(filter.Log, QStringList({ "Begin", "Draw(1)", "End" }));
    }
    // Destroyed with pages still to come (a background print when the preview closes): the run
    // reads through a page reader of its own, which keeps the swap file open, so it still draws
    // every page whole instead of passing off part of them.
    {
        auto owner = std::make_unique<TComponent>();
        TRLGraphicStorage* store = MakeStore(3, owner.get());
        TPrintRecorder filter;
        filter.OnDraw = [&](int) { owner.reset(); };
        filter.ProcessPages(store, 1, -1, false);
        EXPECT_EQ(filter.Log,
            QStringList({ "Begin", "Draw(1)", "NewPage", "Draw(2)", "NewPage", "Draw(3)", "End" }));
        EXPECT_FALSE(filter.AbortedAtEnd);
        EXPECT_EQ(filter.Pages(), nullptr);
    }
}

TEST_F(FilterRun, NoStoreGivesAnEmptyDocument)
{
    TPrintRecorder filter;
    filter.ProcessPages(nullptr, 1, -1, false);
    EXPECT_EQ(filter.Log, QStringList({ "Begin", "End" }));
}

// --- list, look-up and names ------------------------------------------------------------------------

TEST(FilterList, KeepsLiveFiltersInCreationOrder)
{
    const qsizetype before = FilterList().size();
    auto a = std::make_unique<TPrintRecorder>();
    auto b = std::make_unique<TSaveRecorder>();
    auto c = std::make_unique<TPrintRecorder>();
    ASSERT_EQ(FilterList().size(), before + 3);
    EXPECT_EQ(FilterList().mid(before), QList<TRLCustomFilter*>({ a.get(), b.get(), c.get() }));
    b.reset();
    EXPECT_EQ(FilterList().mid(before), QList<TRLCustomFilter*>({ a.get(), c.get() }));
    auto d = std::make_unique<TSaveRecorder>();
    EXPECT_EQ(FilterList().mid(before), QList<TRLCustomFilter*>({ a.get(), c.get(), d.get() }));
    a.reset();
    c.reset();
    d.reset();
    EXPECT_EQ(FilterList().size(), before);
}

// Writing a definition compares every property with a default-built instance of its class; such an
// instance lives on for the whole process and must never be offered as a filter.
TEST(FilterList, InstancesMadeToReadDefaultsAreNoFilters)
{
    TRLPDFFilter real;
    real.SetName(QStringLiteral("RLPDFFilter1"));
    const QMetaObject* meta = real.metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i)
        (void)real.IsPropertyStored(meta->property(i));
    for (TRLCustomFilter* filter : FilterList())
        EXPECT_FALSE(qobject_cast<TRLPDFFilter*>(filter) && filter != &real)
            << "a default-built filter is listed";
    EXPECT_EQ(SaveFilterForFile(QStringLiteral("estoque.pdf")), &real);
}

TEST(SaveFilterForFile, MatchesTheExtensionWithOrWithoutDotsAndCase)
{
    TPrintRecorder printer; // never a save filter, whatever the file
    TSaveRecorder pdf;
    pdf.SetDefaultExt(QStringLiteral(".pdf"));
    TSaveRecorder xls;
    xls.SetDefaultExt(QStringLiteral("xls"));
    TSaveRecorder laterPdf;
    laterPdf.SetDefaultExt(QStringLiteral(".PDF"));
    EXPECT_EQ(xls.DefaultExt(), QStringLiteral(".xls"));

    struct TCase
    {
        const char* FileName;
        TRLCustomSaveFilter* Expected;
    };
    const TCase cases[] = {
        { "relatorio.pdf", &pdf },
        { "/tmp/RELATORIO.PDF", &pdf },
        { "estoque.XlS", &xls },
        { "copia.de.estoque.xls", &xls },
        { "relatorio", nullptr },
        { "relatorio.txt", nullptr },
        { "relatorio.pdf.bak", nullptr },
        { "", nullptr },
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SaveFilterForFile(QString::fromUtf8(c.FileName)), c.Expected) << c.FileName;
}

TEST(FilterDisplayName, FallsBackToTheComponentName)
{
    struct TCase
    {
        const char* DisplayName;
        const char* Name;
        const char* Shown;
        bool Stored;
    };
    const TCase cases[] = {
        { "", "RLPDFFilter1", "RLPDFFilter1", true },
        { "Documento PDF", "RLPDFFilter1", "Documento PDF", true },
        { "RLPDFFilter1", "RLPDFFilter1", "RLPDFFilter1", false },
        { "", "", "", false },
    };
    for (const TCase& c : cases) {
        TSaveRecorder filter;
        filter.SetName(QString::fromUtf8(c.Name));
        filter.SetDisplayName(QString::fromUtf8(c.DisplayName));
        EXPECT_EQ(filter.GetDisplayName(), QString::fromUtf8(c.Shown)) << c.DisplayName << "/" << c.Name;
        const QMetaObject* meta = filter.metaObject();
        const QMetaProperty property = meta->property(meta->indexOfProperty("DisplayName"));
        EXPECT_EQ(filter.IsPropertyStored(property), c.Stored) << c.DisplayName << "/" << c.Name;
    }
}

TEST(PrintFilterOptions, DefaultToNoOptions)
{
    TPrintRecorder filter;
    EXPECT_TRUE(filter.GetOptionsLabel().isEmpty());
    EXPECT_TRUE(filter.GetOptions().isEmpty());
    EXPECT_EQ(filter.GetOptionIndex(), -1);
    filter.SetOptionIndex(3);
    EXPECT_EQ(filter.GetOptionIndex(), -1);
}

} // namespace
