// The report's print operation as the engine sees it: the order of paper, choice, preparation and
// run; what the printing layer is told; a cancelled choice; a failed preparation; no printing layer.
#include "RLGenerationFixture.h"
#include "engine/RLReport.h"

#include "engine/RLConsts.h"
#include "engine/RLServices.h"
#include "platform/Exceptions.h"

#include <QPointer>

#include <gtest/gtest.h>

namespace {

// Hooks that log their calls and answer as told.
struct TPrintLog
{
    QStringList Calls;
    TRLPrintRequest Request;
    bool Confirm = true;
    int PagesAtRun = -1;
    TRLReportState StateAtChoice = rsIdle;
};

void InstallLoggingHooks(TRLServicesScope& services, TPrintLog& log)
{
    TRLPrintHooks hooks;
    hooks.SetPaper = [&log](TRLCustomReport*) { log.Calls << QStringLiteral("paper"); };
    hooks.Choose = [&log](TRLCustomReport* report, const TRLPrintRequest& request) {
        log.Calls << QStringLiteral("choose");
        log.Request = request;
        log.StateAtChoice = report->State();
        return log.Confirm;
    };
    hooks.Run = [&log](TRLCustomReport* report) {
        log.Calls << QStringLiteral("run");
        log.PagesAtRun = report->Storage()->PageCount();
    };
    services.Installed().Print = std::move(hooks);
}

// A report of three pages: a 100-pixel detail band per record on a 300-pixel page.
void ThreePages(TGenerationFixture& f)
{
    f.Band(btDetail, 100, QStringLiteral("D"));
    f.Records(9);
}

} // namespace

TEST(RLReportPrint, IdleReportIsPreparedAfterTheChoiceAndThenRun)
{
    TRLServicesScope guard(TRLServices {});
    TPrintLog log;
    InstallLoggingHooks(guard, log);
    TGenerationFixture f;
    ThreePages(f);

    f.Report->Print();

    EXPECT_EQ(log.Calls, QStringList({ "paper", "choose", "run" }));
    // The dialog comes before the pages exist, so the range is left open.
    EXPECT_EQ(log.StateAtChoice, rsIdle);
    EXPECT_EQ(log.Request.MaxPage, 0);
    EXPECT_EQ(log.PagesAtRun, 3);
    EXPECT_EQ(f.Report->State(), rsReady);
}

TEST(RLReportPrint, RequestCarriesTheReportsSettings)
{
    TRLServicesScope guard(TRLServices {});
    TPrintLog log;
    InstallLoggingHooks(guard, log);
    TGenerationFixture f;
    ThreePages(f);
    auto* filter = new TComponent(&f.Form);

    struct TCase
    {
        bool Dialog;
        int HelpContext;
        TRLPageOrientation Orientation;
        bool Prepared;
        TComponent* Filter;
        int ExpectedMaxPage;
    };
    // Landscape turns the 200 x 300 page: two details a page, five pages.
    const TCase cases[] = {
        { true, 0, poPortrait, false, nullptr, 0 },
        { false, 0, poPortrait, false, nullptr, 0 },
        { true, 42, poLandscape, true, filter, 5 },
        { false, 7, poPortrait, true, filter, 3 },
    };
    for (const TCase& c : cases) {
        f.Report->Clear();
        f.Report->SetPrintDialog(c.Dialog);
        f.Report->SetHelpContext(c.HelpContext);
        f.Report->PageSetup()->SetOrientation(c.Orientation);
        f.Report->SetDefaultFilter(c.Filter);
        if (c.Prepared) {
            ASSERT_TRUE(f.Report->Prepare());
        }
        f.Report->Print();
        EXPECT_EQ(log.Request.Ask, c.Dialog) << c.HelpContext;
        EXPECT_EQ(log.Request.HelpContext, c.HelpContext);
        EXPECT_EQ(log.Request.Orientation, int(c.Orientation));
        EXPECT_EQ(log.Request.DefaultFilter, c.Filter);
        EXPECT_EQ(log.Request.MaxPage, c.ExpectedMaxPage) << c.HelpContext;
    }
}

TEST(RLReportPrint, PreparedPagesArePrintedAsTheyAreWhateverForcePrepare)
{
    TRLServicesScope guard(TRLServices {});
    TPrintLog log;
    InstallLoggingHooks(guard, log);
    TGenerationFixture f;
    ThreePages(f);
    f.Report->SetForcePrepare(true);
    ASSERT_TRUE(f.Report->Prepare());
    // A page added behind the report's back shows whether the run prepared again.
    f.Report->Storage()->Add(new TRLGraphicSurface());

    f.Report->Print();

    EXPECT_EQ(log.PagesAtRun, 4);
}

TEST(RLReportPrint, CancelledChoiceIsASilentAbortWithTheCancelledFlagAndNothingPrepared)
{
    TRLServicesScope guard(TRLServices {});
    TPrintLog log;
    log.Confirm = false;
    InstallLoggingHooks(guard, log);
    TGenerationFixture f;
    ThreePages(f);

    EXPECT_THROW(f.Report->Print(), EAbort);

    EXPECT_EQ(log.Calls, QStringList({ "paper", "choose" }));
    EXPECT_TRUE(f.Report->Cancelled());
    EXPECT_EQ(f.Report->State(), rsIdle);
    EXPECT_EQ(f.Report->Storage()->PageCount(), 0);

    // The flag does not stick: the next confirmed print prepares and runs.
    log.Confirm = true;
    log.Calls.clear();
    f.Report->Print();
    EXPECT_EQ(log.Calls, QStringList({ "paper", "choose", "run" }));
    EXPECT_FALSE(f.Report->Cancelled());
    EXPECT_EQ(log.PagesAtRun, 3);
}

TEST(RLReportPrint, FailedPreparationRunsNothing)
{
    TRLServicesScope guard(TRLServices {});
    TPrintLog log;
    InstallLoggingHooks(guard, log);
    QStringList shown;
    guard.Installed().PreparationError = [&](const QString& text) { shown << text; };
    TGenerationFixture f;
    ThreePages(f);
    f.Report->BeforePrint = [](TRLCustomControl*, bool&) { throw Exception(QStringLiteral("sem dados")); };

    EXPECT_NO_THROW(f.Report->Print());

    EXPECT_EQ(log.Calls, QStringList({ "paper", "choose" }));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.first().endsWith(QStringLiteral("sem dados")));
}

TEST(RLReportPrint, WithoutAPrintingLayerTheUserIsToldThatThereIsNoPrinter)
{
    TRLServicesScope guard(TRLServices {});
    TGenerationFixture f;
    ThreePages(f);
    try {
        f.Report->Print();
        FAIL() << "printing without a printing layer succeeded";
    } catch (const EAbort&) {
        FAIL() << "printing without a printing layer was silent";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), RLMessage(RLMsgPrinterNotFound));
        EXPECT_EQ(e.Message(), QStringLiteral("Nenhuma impressora encontrada"));
    }
    EXPECT_EQ(f.Report->Storage()->PageCount(), 0);
}

TEST(RLReportPrint, DefaultFilterIsForgottenWhenDestroyed)
{
    TRLReport report;
    QPointer<TComponent> filter = new TComponent();
    report.SetDefaultFilter(filter);
    EXPECT_EQ(report.DefaultFilter(), filter.data());
    delete filter;
    EXPECT_EQ(report.DefaultFilter(), nullptr);
}

TEST(RLReportPrint, DefaultFilterIsAPublishedReferenceThatDefinitionsCanSet)
{
    TRLReport report;
    const int index = report.metaObject()->indexOfProperty("DefaultFilter");
    ASSERT_GE(index, 0);
    const QMetaProperty property = report.metaObject()->property(index);
    EXPECT_EQ(property.read(&report).value<TComponent*>(), nullptr);
    TComponent filter;
    EXPECT_TRUE(property.write(&report, QVariant::fromValue<TComponent*>(&filter)));
    EXPECT_EQ(report.DefaultFilter(), &filter);
    EXPECT_EQ(property.read(&report).value<TComponent*>(), &filter);
    report.SetDefaultFilter(nullptr);
}

TEST(RLReportPrint, PreviewPreselectsTheDefaultFilterBeforePreparing)
{
    TRLServicesScope guard(TRLServices {});
    QStringList calls;
    TComponent* selected = nullptr;
    TRLPrintHooks hooks;
    hooks.SelectDefaultFilter = [&](TComponent* filter) {
        calls << QStringLiteral("select");
        selected = filter;
    };
    guard.Installed().Print = std::move(hooks);
    guard.Installed().Preview = [&](TRLCustomReport* report) {
        calls << QStringLiteral("preview %1").arg(report->Storage()->PageCount());
        return true;
    };
    TGenerationFixture f;
    ThreePages(f);
    TComponent filter;
    f.Report->SetDefaultFilter(&filter);

    EXPECT_TRUE(f.Report->Preview());
    EXPECT_EQ(calls, QStringList({ "select", "preview 3" }));
    EXPECT_EQ(selected, &filter);

    // Without a default filter nothing is preselected.
    calls.clear();
    f.Report->SetDefaultFilter(nullptr);
    EXPECT_TRUE(f.Report->Preview());
    EXPECT_EQ(calls, QStringList({ "preview 3" }));
}
