// Pagers over whole reports: band order on the page, MaxBands and completion, requested page breaks,
// summaries that move, groups, column footers, footer reservation. Every check reads the pages the
// report stored.
#include "RLGenerationFixture.h"
#include "engine/RLReport.h"

#include "engine/RLServices.h"
#include "platform/DataSet.h"
#include "platform/MemDataSet.h"

#include <gtest/gtest.h>

TEST(RLPager, TitleOnFirstPageHeaderOnEveryPageInOrder)
{
    TGenerationFixture f(200, 100);
    f.Records(6);
    f.Band(btColumnHeader, 10, QStringLiteral("CH"));
    f.Band(btTitle, 10, QStringLiteral("TI"));
    f.Band(btHeader, 10, QStringLiteral("HD"));
    f.Band(btDetail, 20, QStringLiteral("D"));
    ASSERT_TRUE(f.Report->Prepare()) << qPrintable(f.Report->LastError());
    // Page 1: 30 of headers, 70 left: three details. Page 2: 20 of headers, 80 left: three details.
    ASSERT_EQ(f.PageCount(), 2);
    EXPECT_EQ(f.Texts(0), QStringList({ "HD", "TI", "CH", "D1", "D2", "D3" }));
    EXPECT_EQ(f.Texts(1), QStringList({ "HD", "CH", "D4", "D5", "D6" }));
    EXPECT_EQ(f.TopOf(0, "HD"), 0);
    EXPECT_EQ(f.TopOf(0, "TI"), 10);
    EXPECT_EQ(f.TopOf(0, "CH"), 20);
    EXPECT_EQ(f.TopOf(0, "D1"), 30);
    EXPECT_EQ(f.TopOf(0, "D3"), 70);
    EXPECT_EQ(f.TopOf(1, "D4"), 20);
}

TEST(RLPager, MaxBandsSplitsTwelveRecordsFiveFiveTwo)
{
    TGenerationFixture f(200, 1000);
    f.Records(12);
    f.Report->SetMaxBands(5);
    f.Band(btDetail, 10, QStringLiteral("D"));
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 3);
    EXPECT_EQ(f.CountOf(0, "D"), 5);
    EXPECT_EQ(f.CountOf(1, "D"), 5);
    EXPECT_EQ(f.CountOf(2, "D"), 2);
    EXPECT_EQ(f.Texts(2), QStringList({ "D11", "D12" }));
}

TEST(RLPager, MaxBandsCompletionFillsTheLastPageWithBlankBands)
{
    TGenerationFixture f(200, 1000);
    f.Records(12);
    f.Report->SetMaxBands(5);
    TRLBand* detail = f.Band(btDetail, 10, QStringLiteral("D"));
    detail->SetCompletion(ctMaxBands);
    int blanks = 0;
    detail->AfterPrint = [&](TRLCustomControl*) {
        if (f.Report->IsCompleting())
            ++blanks;
    };
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 3);
    EXPECT_EQ(blanks, 3);
    // The fillers print empty texts, one band height apart, after the two data bands.
    const auto texts = f.TextTops(2);
    ASSERT_EQ(texts.size(), 5);
    EXPECT_EQ(texts[2].first, QString());
    EXPECT_EQ(texts[4].first, QString());
    EXPECT_EQ(texts[4].second, 40);
    EXPECT_EQ(f.Report->DetailCount(), 12); // fillers are not data
}

TEST(RLPager, FullPageCompletionStopsWhenAFillerDeclines)
{
    TGenerationFixture f(200, 100);
    f.Records(1);
    TRLBand* detail = f.Band(btDetail, 10, QStringLiteral("D"));
    detail->SetCompletion(ctFullPage);
    int asked = 0;
    detail->BeforePrint = [&](TRLCustomControl*, bool& printIt) {
        if (f.Report->IsCompleting()) {
            ++asked;
            printIt = asked < 3; // the third filler declines
        }
    };
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(f.PageCount(), 1);
    EXPECT_EQ(f.Texts(0).size(), 3);
}

TEST(RLPager, FullPageCompletionFillsToTheBottom)
{
    TGenerationFixture f(200, 100);
    f.Records(2);
    TRLBand* detail = f.Band(btDetail, 10, QStringLiteral("D"));
    detail->SetCompletion(ctFullPage);
    f.Band(btFooter, 20, QStringLiteral("FT"));
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 1);
    // 80 usable above the footer: 2 data + 5 fillers (the loop needs height + row < 80).
    EXPECT_EQ(f.Texts(0).size(), 2 + 5 + 1);
    EXPECT_EQ(f.TopOf(0, "FT"), 80);
}

TEST(RLPager, BeforePrintBreakOnAPageWithoutDetailsMakesNoEmptyPage)
{
    TGenerationFixture f(200, 1000);
    f.Records(3);
    f.Band(btHeader, 10, QStringLiteral("HD"));
    TRLBand* detail = f.Band(btDetail, 10, QStringLiteral("D"));
    detail->SetPageBreaking(pbBeforePrint);
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 3);
    EXPECT_EQ(f.Texts(0), QStringList({ "HD", "D1" }));
    EXPECT_EQ(f.Texts(2), QStringList({ "HD", "D3" }));
}

TEST(RLPager, AfterPrintBreakIsConsumedByTheNextDataBandNotByAColumnFooter)
{
    TGenerationFixture f(200, 1000);
    f.Records(2);
    TRLBand* detail = f.Band(btDetail, 10, QStringLiteral("D"));
    detail->SetPageBreaking(pbAfterPrint);
    f.Band(btColumnFooter, 10, QStringLiteral("CF"));
    f.Band(btSummary, 10, QStringLiteral("SU"));
    ASSERT_TRUE(f.Report->Prepare());
    // D1 | D2 (the column footer closes page 1) | then CF (not a data band) stays, SU takes the break.
    ASSERT_EQ(f.PageCount(), 3);
    EXPECT_EQ(f.Texts(0), QStringList({ "D1", "CF" }));
    EXPECT_EQ(f.Texts(1), QStringList({ "D2", "CF" }));
    EXPECT_EQ(f.Texts(2), QStringList({ "SU", "CF" }));
}

TEST(RLPager, TallSummaryMovesToANewPageWithHeadersAndColumnFootersAgain)
{
    TGenerationFixture f(200, 100);
    f.Records(3);
    f.Band(btHeader, 10, QStringLiteral("HD"));
    f.Band(btColumnHeader, 10, QStringLiteral("CH"));
    f.Band(btDetail, 20, QStringLiteral("D"));
    f.Band(btColumnFooter, 10, QStringLiteral("CF"));
    f.Band(btSummary, 30, QStringLiteral("SU"));
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 2);
    // 20 + 60 of details, 10 of column footer: 90; the 30 summary does not fit.
    EXPECT_EQ(f.Texts(0), QStringList({ "HD", "CH", "D1", "D2", "D3", "CF" }));
    EXPECT_EQ(f.Texts(1), QStringList({ "HD", "CH", "SU", "CF" }));
    EXPECT_EQ(f.TopOf(1, "SU"), 20);
    EXPECT_EQ(f.TopOf(1, "CF"), 50);
}

TEST(RLPager, GroupOverKeysAABPrintsTwoRounds)
{
    TGenerationFixture f(200, 1000);
    f.Records(3, { "A", "A", "B" });
    auto* group = new TRLGroup(&f.Form);
    group->SetParent(f.Report);
    group->SetAlign(faTop);
    group->SetHeight(100);
    group->SetDataFields(QStringLiteral("K"));
    f.Band(btHeader, 10, QStringLiteral("GH"), group);
    f.Band(btDetail, 10, QStringLiteral("D"), group);
    f.Band(btSummary, 10, QStringLiteral("GS"), group);
    int rounds = 0;
    group->AfterPrint = [&](TRLCustomControl*) { ++rounds; };
    ASSERT_TRUE(f.Report->Prepare()) << qPrintable(f.Report->LastError());
    EXPECT_EQ(rounds, 2);
    ASSERT_EQ(f.PageCount(), 1);
    EXPECT_EQ(f.Texts(0), QStringList({ "GH", "D1", "D2", "GS", "GH", "D3", "GS" }));
    EXPECT_EQ(f.TopOf(0, "D3"), 50);
    EXPECT_EQ(f.Report->DetailCount(), 3);
}

TEST(RLPager, GroupWithUnknownFieldFailsThePreparation)
{
    TRLServicesScope services(TRLServices {});
    TGenerationFixture f(200, 1000);
    f.Records(2);
    auto* group = new TRLGroup(&f.Form);
    group->SetName(QStringLiteral("Grp"));
    group->SetParent(f.Report);
    group->SetDataFields(QStringLiteral("K;Missing"));
    f.Band(btDetail, 10, QStringLiteral("D"), group);
    QString shown;
    services.Installed().PreparationError = [&](const QString& text) { shown = text; };
    EXPECT_FALSE(f.Report->Prepare());
    services.Installed().PreparationError = {};
    EXPECT_EQ(f.Report->State(), rsIdle);
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".DataField \"Missing\""))) << qPrintable(shown);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Report: Erro durante a preparação do relatório\r")))
        << qPrintable(shown);
    EXPECT_EQ(shown, f.Report->LastError());
}

TEST(RLPager, ColumnFooterUnderTheLastDetailOrAtTheBottom)
{
    for (const bool aligned : { false, true }) {
        TGenerationFixture f(200, 200);
        f.Records(2);
        f.Band(btDetail, 10, QStringLiteral("D"));
        TRLBand* footer = f.Band(btColumnFooter, 15, QStringLiteral("CF"));
        footer->SetAlignToBottom(aligned);
        f.Band(btFooter, 25, QStringLiteral("FT"));
        ASSERT_TRUE(f.Report->Prepare());
        ASSERT_EQ(f.PageCount(), 1);
        EXPECT_EQ(f.TopOf(0, "CF"), aligned ? 200 - 25 - 15 : 20) << aligned;
        EXPECT_EQ(f.TopOf(0, "FT"), 175) << aligned;
    }
}

TEST(RLPager, FootersAreReservedOnEveryPage)
{
    TGenerationFixture f(200, 100);
    f.Records(7);
    f.Band(btDetail, 20, QStringLiteral("D"));
    f.Band(btFooter, 30, QStringLiteral("FT"));
    ASSERT_TRUE(f.Report->Prepare());
    // 70 usable: three details a page.
    ASSERT_EQ(f.PageCount(), 3);
    for (int page = 0; page < 3; ++page)
        EXPECT_EQ(f.TopOf(page, "FT"), 70) << page;
    EXPECT_EQ(f.CountOf(0, "D"), 3);
    EXPECT_EQ(f.CountOf(2, "D"), 1);
}

TEST(RLPager, ForceMinBandsRefusesBreaksUntilMinBands)
{
    TGenerationFixture f(200, 1000);
    f.Records(4);
    f.Report->SetMinBands(3);
    f.Report->SetForceMinBands(true);
    TRLBand* detail = f.Band(btDetail, 10, QStringLiteral("D"));
    detail->SetPageBreaking(pbBeforePrint);
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 2);
    EXPECT_EQ(f.Texts(0), QStringList({ "D1", "D2", "D3" }));
    EXPECT_EQ(f.Texts(1), QStringList({ "D4" }));
}

namespace {
TRLGroup* AddGroup(TGenerationFixture& f, TRLCustomPager* parent, const QString& fields)
{
    auto* group = new TRLGroup(&f.Form);
    group->SetParent(parent);
    group->SetAlign(faTop);
    group->SetHeight(100);
    group->SetDataFields(fields);
    return group;
}
} // namespace

TEST(RLPager, DisabledGroupTakesItsBreaksFromTheEnclosingGroup)
{
    TGenerationFixture f(200, 1000);
    f.Records(3, { "A", "A", "B" });
    TRLGroup* outer = AddGroup(f, f.Report, QStringLiteral("K"));
    TRLGroup* inner = AddGroup(f, outer, QStringLiteral("N")); // its own key would break every record
    inner->SetEnabled(false);
    f.Band(btHeader, 10, QStringLiteral("IH"), inner); // a disabled group prints no frame bands
    f.Band(btDetail, 10, QStringLiteral("D"), inner);
    f.Band(btSummary, 10, QStringLiteral("OS"), outer);
    ASSERT_TRUE(f.Report->Prepare()) << qPrintable(f.Report->LastError());
    EXPECT_EQ(f.Texts(0), QStringList({ "D1", "D2", "OS", "D3", "OS" }));
}

TEST(RLPager, GroupBreakingBeforeStartsEachRoundButTheFirstOnANewPage)
{
    TGenerationFixture f(200, 1000);
    f.Records(5, { "A", "A", "B", "C", "C" });
    TRLGroup* group = AddGroup(f, f.Report, QStringLiteral("K"));
    group->SetPageBreaking(pbBeforePrint);
    f.Band(btHeader, 10, QStringLiteral("HD"));
    f.Band(btDetail, 10, QStringLiteral("D"), group);
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 3);
    EXPECT_EQ(f.Texts(0), QStringList({ "HD", "D1", "D2" }));
    EXPECT_EQ(f.Texts(1), QStringList({ "HD", "D3" }));
    EXPECT_EQ(f.Texts(2), QStringList({ "HD", "D4", "D5" }));
    EXPECT_EQ(f.TopOf(2, "D4"), 10);
}

TEST(RLPager, GroupKeyFromAnExpressionOrFromAnEvent)
{
    {
        TGenerationFixture f(200, 1000);
        f.Records(4, { "A", "B", "B", "A" });
        auto* parser = new TRLExpressionParser(&f.Form);
        f.Report->SetExpressionParser(parser);
        TRLGroup* group = AddGroup(f, f.Report, QString());
        group->SetDataFormula(QStringLiteral("K"));
        f.Band(btDetail, 10, QStringLiteral("D"), group);
        f.Band(btSummary, 10, QStringLiteral("S"), group);
        ASSERT_TRUE(f.Report->Prepare()) << qPrintable(f.Report->LastError());
        EXPECT_EQ(f.Texts(0), QStringList({ "D1", "S", "D2", "D3", "S", "D4", "S" }));
    }
    {
        TGenerationFixture f(200, 1000);
        f.Records(5);
        TRLGroup* group = AddGroup(f, f.Report, QString());
        int asked = 0;
        group->OnGetBreak = [&](TRLCustomControl*, bool& breakIt) { breakIt = ++asked % 2 == 0; };
        f.Band(btDetail, 10, QStringLiteral("D"), group);
        f.Band(btSummary, 10, QStringLiteral("S"), group);
        ASSERT_TRUE(f.Report->Prepare());
        EXPECT_EQ(f.Texts(0), QStringList({ "D1", "D2", "S", "D3", "D4", "S", "D5", "S" }));
    }
}

TEST(RLPager, NestedSkipperWalksItsOwnRecordsAfterEachLine)
{
    TGenerationFixture f(200, 1000);
    f.Records(2);
    auto* nested = new TRLCustomSkipper(&f.Form);
    nested->SetParent(f.Report);
    nested->SetAlign(faTop);
    nested->SetHeight(50);
    int served = 0;
    nested->OnNeedData = [&](TRLCustomControl*, bool& more) { more = served++ % 3 != 2; };
    f.Band(btDetail, 10, QStringLiteral("D"));
    TRLBand* sub = f.Band(btDetail, 10, QString(), nested);
    auto* info = new TRLSystemInfo(&f.Form);
    info->SetParent(sub);
    info->SetBounds(0, 0, 10, 10);
    info->SetInfo(itRecNo);
    ASSERT_TRUE(f.Report->Prepare()) << qPrintable(f.Report->LastError());
    EXPECT_EQ(f.Texts(0), QStringList({ "D1", "1", "2", "D2", "1", "2" }));
    EXPECT_EQ(f.TopOf(0, "D2"), 30);
}

TEST(RLPager, FooterMeasuringReservesTheMeasuredHeight)
{
    for (const TRLFooterMeasuring measuring : { fmNone, fmBeforeDetail, fmAfterHeader }) {
        TGenerationFixture f(200, 100);
        f.Records(9);
        f.Report->SetFooterMeasuring(measuring);
        f.Band(btDetail, 10, QStringLiteral("D"));
        TRLBand* footer = f.Band(btFooter, 10, QStringLiteral("FT"));
        footer->OnMeasureHeight = [](TRLCustomControl* sender) { sender->SetHeight(40); };
        ASSERT_TRUE(f.Report->Prepare());
        if (measuring == fmNone) {
            EXPECT_EQ(f.PageCount(), 1);
            EXPECT_EQ(f.TopOf(0, "FT"), 90);
        } else {
            ASSERT_EQ(f.PageCount(), 2) << int(measuring);
            EXPECT_EQ(f.CountOf(0, "D"), 6) << int(measuring);
            EXPECT_EQ(f.TopOf(0, "FT"), 60) << int(measuring);
        }
        EXPECT_EQ(footer->Height(), 10); // the design is untouched
    }
}

TEST(RLPager, BandTallerThanAPageMakesNoEmptyPages)
{
    TGenerationFixture f(200, 100);
    f.Records(3);
    f.Band(btHeader, 10, QStringLiteral("HD"));
    f.Band(btDetail, 150, QStringLiteral("D"));
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 3);
    for (int page = 0; page < 3; ++page)
        EXPECT_EQ(f.Texts(page), QStringList({ "HD", QStringLiteral("D%1").arg(page + 1) })) << page;
}

TEST(RLPager, AlignedColumnFootersStackAboveTheFootersWithoutAnExtraPage)
{
    TGenerationFixture f(200, 200);
    f.Records(2);
    f.Band(btDetail, 10, QStringLiteral("D"));
    f.Band(btColumnFooter, 10, QStringLiteral("CF1"))->SetAlignToBottom(true);
    f.Band(btColumnFooter, 15, QStringLiteral("CF2"))->SetAlignToBottom(true);
    f.Band(btFooter, 20, QStringLiteral("FT"));
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 1);
    EXPECT_EQ(f.TopOf(0, "CF1"), 155);
    EXPECT_EQ(f.TopOf(0, "CF2"), 165);
    EXPECT_EQ(f.TopOf(0, "FT"), 180);
}
