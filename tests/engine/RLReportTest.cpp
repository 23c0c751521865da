// The report's preparation: empty reports, page numbers, cancelling, chaining, progress, failures,
// preview entry, page events, printer margins.
#include "engine/RLReport.h"
#include "RLGenerationFixture.h"

#include "engine/RLConsts.h"
#include "engine/RLServices.h"
#include "platform/DataSet.h"
#include "platform/Exceptions.h"
#include "platform/MemDataSet.h"

#include <gtest/gtest.h>

namespace {

TRLSystemInfo* Info(TGenerationFixture& f, TRLBand* band, TRLInfoType type, int left)
{
    auto* info = new TRLSystemInfo(&f.Form);
    info->SetParent(band);
    info->SetBounds(left, 0, 10, 10);
    info->SetInfo(type);
    return info;
}

// A progress display that records what the report asked of it.
struct TFakeProgress : TRLProgress
{
    struct TLog
    {
        QString Title;
        int Bars = 0;
        QList<int> Maxima;
        int Steps = 0;
        int NextBars = 0;
        QStringList StepNames;
        bool Shown = false;
        bool Destroyed = false;
        int CancelAtStep = -1;
        TRLProgressCancelProc Cancel;
    };
    explicit TFakeProgress(TLog& log)
        : Log(log)
    { }
    ~TFakeProgress() override { Log.Destroyed = true; }
    void SetMax(int Max) override { Log.Maxima.append(Max); }
    void StepIt() override
    {
        if (++Log.Steps == Log.CancelAtStep && Log.Cancel)
            Log.Cancel();
    }
    void NextBar() override { ++Log.NextBars; }
    void SetStepName(const QString& Text) override { Log.StepNames.append(Text); }
    void ShowProgress() override { Log.Shown = true; }
    TLog& Log;
};

void InstallFakeProgress(TRLServicesScope& services, TFakeProgress::TLog& log)
{
    services.Installed().Progress = [&log](const QString& title, int bars, TRLProgressCancelProc cancel) {
        log.Title = title;
        log.Bars = bars;
        log.Cancel = std::move(cancel);
        return std::unique_ptr<TRLProgress>(new TFakeProgress(log));
    };
}

} // namespace

TEST(RLReport, DefaultsOfANewReport)
{
    TRLReport report;
    EXPECT_TRUE(report.ShowProgress());
    EXPECT_TRUE(report.ForcePrepare());
    EXPECT_TRUE(report.PrintDialog());
    EXPECT_TRUE(report.PrintEmpty());
    EXPECT_EQ(report.FirstPageNumber(), 1);
    EXPECT_EQ(report.State(), rsIdle);
    EXPECT_EQ(report.PageIndex(), 0);
    ASSERT_NE(report.Storage(), nullptr);
    EXPECT_TRUE(report.Storage()->IsLinked(&report));
    EXPECT_EQ(report.PreviewOptions()->Defaults(), pdUseDefaults);
    EXPECT_EQ(report.PreviewOptions()->Caption(), RLMessage(RLMsgPreview));
    TRLCustomSkipper skipper;
    EXPECT_FALSE(skipper.PrintEmpty());
    TRLBand band;
    EXPECT_EQ(band.BoundsRect(), QRect(0, 0, 185, 16));
    EXPECT_EQ(band.Align(), faTop);
}

TEST(RLReport, EmptyReportWithPrintEmptyGivesOnePageWithEveryFrameBand)
{
    TGenerationFixture f(200, 1000);
    f.Records(0);
    f.Band(btFooter, 10, QStringLiteral("FT"));
    f.Band(btSummary, 10, QStringLiteral("SU"));
    f.Band(btColumnFooter, 10, QStringLiteral("CF"));
    f.Band(btDetail, 10, QStringLiteral("D"));
    f.Band(btColumnHeader, 10, QStringLiteral("CH"));
    f.Band(btTitle, 10, QStringLiteral("TI"));
    f.Band(btHeader, 10, QStringLiteral("HD"));
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 1);
    EXPECT_EQ(f.Texts(0), QStringList({ "HD", "TI", "CH", "CF", "SU", "FT" }));
    EXPECT_EQ(f.Report->State(), rsReady);
}

TEST(RLReport, EmptyReportWithoutPrintEmptyAndNoClosingBandsGivesNoPage)
{
    TGenerationFixture f(200, 1000);
    f.Records(0);
    f.Report->SetPrintEmpty(false);
    f.Band(btHeader, 10, QStringLiteral("HD"));
    f.Band(btDetail, 10, QStringLiteral("D"));
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.PageCount(), 0);
    EXPECT_EQ(f.Report->Storage()->LastPageNumber(), 0);
}

TEST(RLReport, FirstPageNumberTwoNumbersTwoThreeFour)
{
    TGenerationFixture f(200, 100);
    f.Records(7);
    f.Report->SetFirstPageNumber(2);
    f.Report->SetTitle(QStringLiteral("Inventário"));
    TRLBand* header = f.Band(btHeader, 10, QString());
    Info(f, header, itPageNumber, 0);
    Info(f, header, itLastPageNumber, 100);
    f.Band(btDetail, 30, QStringLiteral("D"));
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 3);
    for (int page = 0; page < 3; ++page) {
        const QStringList texts = f.Texts(page);
        ASSERT_GE(texts.size(), 2);
        EXPECT_EQ(texts[0], QString::number(page + 2));
        EXPECT_EQ(texts[1], QStringLiteral("4")); // "{LastPageNumber}" resolved by the store
    }
    TRLGraphicStorage* store = f.Report->Storage();
    EXPECT_EQ(store->FirstPageNumber(), 2);
    EXPECT_EQ(store->LastPageNumber(), 4);
    EXPECT_EQ(store->Title(), QStringLiteral("Inventário"));
    EXPECT_EQ(store->Orientation(), 1);
    EXPECT_NEAR(store->PaperHeight(), Mm(100), 0.0001);
    EXPECT_EQ(f.Report->PageIndex(), 3);
    // Every page carries its own paper values.
    EXPECT_EQ(store->Pages(1)->Orientation(), 1);
    EXPECT_NEAR(store->Pages(1)->PaperWidth(), Mm(200), 0.0001);
}

TEST(RLReport, CancelledRunLeavesNoPagesAndIdle)
{
    TGenerationFixture f(200, 100);
    f.Records(10);
    TRLBand* detail = f.Band(btDetail, 30, QStringLiteral("D"));
    int printed = 0;
    detail->BeforePrint = [&](TRLCustomControl*, bool&) {
        if (++printed == 5)
            f.Report->Cancel();
    };
    int afterPrint = 0;
    f.Report->AfterPrint = [&](TRLCustomControl*) { ++afterPrint; };
    EXPECT_FALSE(f.Report->Prepare());
    EXPECT_EQ(printed, 5); // the loop stops before the next record
    EXPECT_EQ(f.Report->State(), rsIdle);
    EXPECT_EQ(f.PageCount(), 0);
    EXPECT_EQ(afterPrint, 0);
    EXPECT_TRUE(f.Report->LastError().isEmpty());
    // The next run starts afresh.
    detail->BeforePrint = nullptr;
    EXPECT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.PageCount(), 4);
}

TEST(RLReport, ChainedReportsMakeOneDocumentNumberedOn)
{
    TGenerationFixture a(200, 100);
    a.Records(6);
    TRLBand* headerA = a.Band(btHeader, 10, QString());
    Info(a, headerA, itPageNumber, 0);
    a.Band(btDetail, 30, QStringLiteral("A"));
    TGenerationFixture b(200, 100);
    b.Records(9);
    TRLBand* headerB = b.Band(btHeader, 10, QString());
    Info(b, headerB, itPageNumber, 0);
    b.Band(btDetail, 30, QStringLiteral("B"));
    a.Report->SetNextReport(b.Report);
    EXPECT_EQ(b.Report->PriorReport(), a.Report);
    ASSERT_TRUE(a.Report->Prepare());
    ASSERT_EQ(a.PageCount(), 5);
    EXPECT_EQ(b.PageCount(), 0);
    for (int page = 0; page < 5; ++page)
        EXPECT_EQ(a.Texts(page).value(0), QString::number(page + 1)) << page;
    EXPECT_EQ(a.Texts(2).value(1), QStringLiteral("B1"));
    EXPECT_EQ(a.Report->Storage()->LastPageNumber(), 5);
}

TEST(RLReport, NextReportPairsAndRefusesLoops)
{
    TRLReport a, b, c;
    a.SetNextReport(&a);
    EXPECT_EQ(a.NextReport(), nullptr);
    a.SetNextReport(&b);
    b.SetNextReport(&c);
    c.SetNextReport(&a); // would loop
    EXPECT_EQ(c.NextReport(), nullptr);
    c.SetNextReport(&b); // b -> c -> b would loop too
    EXPECT_EQ(c.NextReport(), nullptr);
    TRLReport d;
    d.SetNextReport(&b); // b leaves a for d
    EXPECT_EQ(a.NextReport(), nullptr);
    EXPECT_EQ(b.PriorReport(), &d);
    EXPECT_EQ(b.NextReport(), &c);
    EXPECT_EQ(c.PriorReport(), &b);
}

TEST(RLReport, ProgressDisplayFollowsTheRun)
{
    TRLServicesScope services(TRLServices {});
    TFakeProgress::TLog log;
    InstallFakeProgress(services, log);
    TGenerationFixture a(200, 100);
    a.Records(4);
    a.Report->SetShowProgress(true);
    a.Band(btDetail, 30, QStringLiteral("A"));
    TGenerationFixture b(200, 100);
    b.Records(2);
    b.Band(btDetail, 30, QStringLiteral("B"));
    a.Report->SetNextReport(b.Report);
    ASSERT_TRUE(a.Report->Prepare());
    EXPECT_EQ(log.Title, RLMessage(RLMsgPreparingReport));
    EXPECT_EQ(log.Bars, 2);
    EXPECT_TRUE(log.Shown);
    EXPECT_EQ(log.Maxima, QList<int>({ 4, 2 }));
    EXPECT_EQ(log.Steps, 6);
    EXPECT_EQ(log.NextBars, 1);
    EXPECT_EQ(log.StepNames.first(), RLMessage(RLMsgPage) + QStringLiteral(" 1"));
    EXPECT_TRUE(log.StepNames.contains(RLMessage(RLMsgPage) + QStringLiteral(" 2")));
    EXPECT_TRUE(log.Destroyed);
}

TEST(RLReport, CancelButtonStopsTheRun)
{
    TRLServicesScope services(TRLServices {});
    TFakeProgress::TLog log;
    log.CancelAtStep = 2;
    InstallFakeProgress(services, log);
    TGenerationFixture f(200, 100);
    f.Records(10);
    f.Report->SetShowProgress(true);
    int printed = 0;
    f.Band(btDetail, 10, QStringLiteral("D"))->BeforePrint = [&](TRLCustomControl*, bool&) { ++printed; };
    EXPECT_FALSE(f.Report->Prepare());
    EXPECT_EQ(printed, 2);
    EXPECT_EQ(f.Report->State(), rsIdle);
    EXPECT_TRUE(log.Destroyed);
}

TEST(RLReport, TerminatingApplicationEndsTheRunSilently)
{
    TRLServicesScope services(TRLServices {});
    TGenerationFixture f(200, 100);
    f.Records(5);
    int printed = 0;
    f.Band(btDetail, 10, QStringLiteral("D"))->BeforePrint = [&](TRLCustomControl*, bool&) {
        if (++printed == 2)
            RequestApplicationTerminate();
    };
    int shown = 0;
    services.Installed().PreparationError = [&](const QString&) { ++shown; };
    const bool result = f.Report->Prepare();
    ResetApplicationTerminate();
    services.Installed().PreparationError = {};
    EXPECT_FALSE(result);
    EXPECT_EQ(printed, 2);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(f.Report->State(), rsIdle);
}

TEST(RLReport, BeforePrintRefusalStopsWithoutPages)
{
    TGenerationFixture f(200, 100);
    f.Records(3);
    f.Band(btDetail, 10, QStringLiteral("D"));
    f.Report->BeforePrint = [](TRLCustomControl*, bool& printIt) { printIt = false; };
    EXPECT_FALSE(f.Report->Prepare());
    EXPECT_EQ(f.PageCount(), 0);
    EXPECT_EQ(f.Report->State(), rsWriting);
}

TEST(RLReport, FailureIsReportedOnceAndKeepsEarlierPages)
{
    TRLServicesScope services(TRLServices {});
    TGenerationFixture f(200, 100);
    f.Records(10);
    int printed = 0;
    f.Band(btDetail, 30, QStringLiteral("D"))->BeforePrint = [&](TRLCustomControl*, bool&) {
        if (++printed == 5)
            throw Exception(QStringLiteral("disk full"));
    };
    QStringList shown;
    services.Installed().PreparationError = [&](const QString& text) { shown.append(text); };
    EXPECT_FALSE(f.Report->Prepare());
    services.Installed().PreparationError = {};
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0],
        QStringLiteral("Report: ") + RLMessage(RLMsgErrorWhilePreparing) + QStringLiteral("\rdisk full"));
    EXPECT_EQ(f.Report->State(), rsIdle);
    EXPECT_EQ(f.PageCount(), 1);
    // Nothing stays open: a new run works.
    f.Band(btDetail, 30, QStringLiteral("X"))->SetVisible(false);
    printed = 100;
    EXPECT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.PageCount(), 4);
}

TEST(RLReport, PreviewPreparesAndCallsTheRegisteredWindow)
{
    TRLServicesScope services(TRLServices {});
    TGenerationFixture f(200, 100);
    f.Records(2);
    int prepared = 0;
    f.Report->BeforePrint = [&](TRLCustomControl*, bool&) { ++prepared; };
    f.Band(btDetail, 10, QStringLiteral("D"));
    services.Installed().Preview = {};
    EXPECT_FALSE(f.Report->Preview()); // no window to show: prepared, nothing shown
    EXPECT_EQ(prepared, 1);
    EXPECT_EQ(f.Report->State(), rsReady);
    int shown = 0;
    services.Installed().Preview = [&](TRLCustomReport* report) {
        EXPECT_EQ(report, f.Report);
        EXPECT_EQ(report->Storage()->PageCount(), 1);
        ++shown;
        return true;
    };
    EXPECT_TRUE(f.Report->Preview());
    EXPECT_EQ(prepared, 2); // ForcePrepare: anew
    f.Report->SetForcePrepare(false);
    EXPECT_TRUE(f.Report->Preview());
    EXPECT_EQ(prepared, 2); // the pages of the last run
    EXPECT_EQ(shown, 2);
    f.Report->SetForcePrepare(true);
    f.Report->BeforePrint = [](TRLCustomControl*, bool&) { throw Exception(QStringLiteral("x")); };
    services.Installed().PreparationError = [](const QString&) {};
    EXPECT_FALSE(f.Report->Preview());
    EXPECT_EQ(shown, 2);
    services.Installed().PreparationError = {};
    services.Installed().Preview = {};
}

TEST(RLReport, PageEventsAndAfterPrint)
{
    TGenerationFixture f(200, 100);
    f.Records(7);
    f.Band(btDetail, 30, QStringLiteral("D"));
    QStringList events;
    f.Report->OnPageStarting = [&](TRLCustomControl*) { events.append(QStringLiteral("start")); };
    f.Report->OnPageEnding = [&](TRLCustomControl*) { events.append(QStringLiteral("end")); };
    f.Report->AfterPrint = [&](TRLCustomControl*) { events.append(QStringLiteral("after")); };
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(events, QStringList({ "start", "end", "start", "end", "start", "end", "after" }));
}

TEST(RLReport, PrinterMarginsAndAdjustableMargins)
{
    TRLServicesScope services(TRLServices {});
    struct Case
    {
        TRLPageOrientation orientation;
        TRect expected;
    };
    services.Installed().PrinterMetrics = [](TRLPrinterMetrics& m) {
        m.DpiX = 600;
        m.DpiY = 300;
        m.MarginLeft = 300; // 48 px
        m.MarginTop = 75; // 24 px
        m.MarginRight = 100; // 16 px
        m.MarginBottom = 5; // 1.6 -> 2 px
        return true;
    };
    const Case cases[] = {
        { poPortrait, TRect(48, 24, 16, 2) },
        { poLandscape, TRect(24, 16, 2, 48) },
    };
    for (const Case& c : cases) {
        TRLReport report;
        report.PageSetup()->SetOrientation(c.orientation);
        report.ReadPrinterMetrics();
        EXPECT_EQ(report.PrinterMargins(), c.expected);
        // 10 mm is 38 px: only the sides where the printer needs more are raised.
        EXPECT_EQ(report.MarginPixels(), TRect(38, 38, 38, 38));
        report.SetAdjustableMargins(true);
        const TRect adjusted = report.MarginPixels();
        EXPECT_EQ(adjusted.Left, qMax(38, c.expected.Left));
        EXPECT_EQ(adjusted.Top, qMax(38, c.expected.Top));
        EXPECT_EQ(adjusted.Bottom, qMax(38, c.expected.Bottom));
        EXPECT_EQ(report.ClientRect().left(), adjusted.Left);
    }
    services.Installed().PrinterMetrics = {};
    TRLReport fallback;
    fallback.ReadPrinterMetrics();
    EXPECT_EQ(fallback.PrinterMargins(), TRect());
}

TEST(RLReport, ZeroResolutionGivesNoPrinterMargins)
{
    TRLServicesScope services(TRLServices {});
    services.Installed().PrinterMetrics = [](TRLPrinterMetrics& m) {
        m.DpiX = 0;
        m.MarginLeft = 1000;
        return true;
    };
    TRLReport report;
    report.ReadPrinterMetrics();
    EXPECT_EQ(report.PrinterMargins(), TRect());
    services.Installed().PrinterMetrics = {};
}

TEST(RLReport, ReportMarginsFrameTheBands)
{
    TGenerationFixture f(200, 300);
    f.Report->Margins()->SetDefaults(Mm(10), Mm(20), 0, Mm(30));
    f.Records(20);
    f.Band(btDetail, 50, QStringLiteral("D"));
    ASSERT_TRUE(f.Report->Prepare());
    // 300 - 20 - 30 = 250 usable: five details a page, starting at 20.
    ASSERT_EQ(f.PageCount(), 4);
    EXPECT_EQ(f.TopOf(0, "D1"), 20);
    EXPECT_EQ(f.TopOf(0, "D5"), 220);
    EXPECT_EQ(f.CountOf(0, "D"), 5);
    TRLGraphicSurface* page = f.Report->Storage()->Pages(0);
    ASSERT_NE(page, nullptr);
    for (int i = 0; i < page->ObjectCount(); ++i) {
        if (page->Objects(i)->Kind() == okText) {
            EXPECT_EQ(page->Objects(i)->BoundsRect.Left, 10);
        }
    }
}

TEST(RLReport, PrinterMetricsAreReadWhenTheReportIsCreated)
{
    TRLServicesScope services(TRLServices {});
    services.Installed().PrinterMetrics = [](TRLPrinterMetrics& m) {
        m.DpiX = m.DpiY = 96;
        m.MarginLeft = 7;
        return true;
    };
    TRLReport report;
    services.Installed().PrinterMetrics = {};
    EXPECT_EQ(report.PrinterMargins().Left, 7);
}

TEST(RLReport, ExpressionParserSeesTheRecordWhileTheReportRuns)
{
    TGenerationFixture f(200, 1000);
    f.Records(3);
    auto* parser = new TRLExpressionParser(&f.Form);
    f.Report->SetExpressionParser(parser);
    QList<int> values;
    f.Band(btDetail, 10, QStringLiteral("D"))->BeforePrint = [&](TRLCustomControl*, bool&) {
        values.append(parser->Evaluate(QStringLiteral("N * 10")).toInt());
    };
    ASSERT_TRUE(f.Report->Prepare()) << qPrintable(f.Report->LastError());
    EXPECT_EQ(values, QList<int>({ 10, 20, 30 }));
    EXPECT_FALSE(bool(parser->Hooks().FindIdentifier)); // handed back after the run
}
