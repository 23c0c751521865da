// Bands placed by a report: moving whole or splitting, MinHeight, disabled bands, carbon copies and
// blocks, alignment inside a band, optimistic page breaks, design bounds after a run.
#include "RLGenerationFixture.h"
#include "engine/RLReport.h"

#include "platform/DataSet.h"
#include "platform/MemDataSet.h"

#include <gtest/gtest.h>

TEST(RLBands, IntegralHeightMovesTheBandWhole)
{
    TGenerationFixture f(200, 100);
    f.Records(4);
    f.Band(btDetail, 30, QStringLiteral("D"));
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 2);
    EXPECT_EQ(f.Texts(0), QStringList({ "D1", "D2", "D3" }));
    EXPECT_EQ(f.Texts(1), QStringList({ "D4" }));
    EXPECT_EQ(f.TopOf(1, "D4"), 0);
}

TEST(RLBands, WithoutIntegralHeightTheBandIsSplitAtARowThatCutsNoText)
{
    TGenerationFixture f(200, 100);
    f.Records(3);
    TRLBand* detail = f.Band(btDetail, 40, QStringLiteral("A"));
    detail->SetIntegralHeight(false);
    auto* lower = new TRLLabel(&f.Form);
    lower->SetParent(detail);
    lower->SetBounds(0, 22, 10, 10);
    lower->SetCaption(QStringLiteral("B"));
    lower->BeforePrint = [&](TRLCustomControl*, QString& text, bool&) {
        text = QStringLiteral("B") + f.Data->FieldByName(QStringLiteral("N"))->AsString();
    };
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 2);
    // The third band starts at 80 with 20 pixels left: its first text fits there, the second goes on.
    EXPECT_EQ(f.Texts(0), QStringList({ "A1", "B1", "A2", "B2", "A3" }));
    EXPECT_EQ(f.Texts(1), QStringList({ "B3" }));
    EXPECT_EQ(f.TopOf(0, "A3"), 80);
    const int b3 = f.TopOf(1, "B3");
    EXPECT_GE(b3, 0);
    EXPECT_LT(b3, 22); // the rest continues at the top, moved up by the part already printed
}

TEST(RLBands, MinHeightAboveTheRoomLeftMovesASplittableBand)
{
    TGenerationFixture f(200, 100);
    f.Records(3);
    TRLBand* detail = f.Band(btDetail, 40, QStringLiteral("A"));
    detail->SetIntegralHeight(false);
    detail->Constraints()->SetMinHeight(30);
    ASSERT_TRUE(f.Report->Prepare());
    ASSERT_EQ(f.PageCount(), 2);
    EXPECT_EQ(f.Texts(0), QStringList({ "A1", "A2" }));
    EXPECT_EQ(f.TopOf(1, "A3"), 0);
}

TEST(RLBands, DisabledBandLeavesABlankAndStillAsks)
{
    TGenerationFixture f(200, 1000);
    f.Records(2);
    TRLBand* detail = f.Band(btDetail, 25, QStringLiteral("D"));
    detail->SetEnabled(false);
    int asked = 0;
    detail->BeforePrint = [&](TRLCustomControl*, bool&) { ++asked; };
    f.Band(btSummary, 10, QStringLiteral("SU"));
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(asked, 2);
    ASSERT_EQ(f.PageCount(), 1);
    EXPECT_EQ(f.Texts(0), QStringList({ "SU" }));
    EXPECT_EQ(f.TopOf(0, "SU"), 50);
}

TEST(RLBands, CarbonCopiesPrintTheBandWithCopyIndexes)
{
    TGenerationFixture f(200, 1000);
    f.Records(2);
    TRLBand* detail = f.Band(btDetail, 10, QStringLiteral("D"));
    detail->SetCarbonCopies(3);
    auto* info = new TRLSystemInfo(&f.Form);
    info->SetParent(detail);
    info->SetBounds(100, 0, 10, 10);
    info->SetInfo(itCarbonCopy);
    QList<int> indexes;
    detail->AfterPrint = [&](TRLCustomControl*) { indexes.append(detail->CopyIndex()); };
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(indexes, QList<int>({ 0, 1, 2, 0, 1, 2 }));
    EXPECT_EQ(f.Texts(0), QStringList({ "D1", "1", "D1", "2", "D1", "3", "D2", "1", "D2", "2", "D2", "3" }));
    EXPECT_EQ(f.Report->DetailCount(), 6);
}

TEST(RLBands, BlockOfGroupIndexPrintsAsABAB)
{
    TGenerationFixture f(200, 1000);
    f.Records(1);
    TRLBand* a = f.Band(btDetail, 10, QStringLiteral("A"));
    TRLBand* b = f.Band(btDetail, 10, QStringLiteral("B"));
    a->SetGroupIndex(1);
    b->SetGroupIndex(1);
    a->SetCarbonCopies(2);
    EXPECT_EQ(b->CarbonCopies(), 2); // the block shares its count
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.Texts(0), QStringList({ "A1", "B1", "A1", "B1" }));
}

TEST(RLBands, CarbonCopiesAndGroupIndexSetters)
{
    TGenerationFixture f;
    TRLBand* a = f.Band(btDetail, 10, QString());
    TRLBand* b = f.Band(btDetail, 10, QString());
    TRLBand* c = f.Band(btDetail, 10, QString());
    a->SetCarbonCopies(0);
    EXPECT_EQ(a->CarbonCopies(), 1);
    a->SetGroupIndex(-4);
    EXPECT_EQ(a->GroupIndex(), 0);
    a->SetGroupIndex(2);
    a->SetCarbonCopies(4);
    EXPECT_EQ(b->CarbonCopies(), 1); // not in the block yet
    b->SetGroupIndex(2); // joining takes the block's count
    EXPECT_EQ(b->CarbonCopies(), 4);
    b->SetCarbonCopies(5);
    EXPECT_EQ(a->CarbonCopies(), 5);
    EXPECT_EQ(c->CarbonCopies(), 1);
}

TEST(RLBands, TwoClientControlsInAWidth101BandGet50And51)
{
    TGenerationFixture f(101, 100);
    f.Records(1);
    TRLBand* band = f.Band(btDetail, 20, QString());
    EXPECT_EQ(band->Width(), 101);
    QList<TRLLabel*> labels;
    for (const char* caption : { "L", "R" }) {
        auto* label = new TRLLabel(&f.Form);
        label->SetParent(band);
        label->SetAutoSize(false);
        label->SetCaption(QString::fromLatin1(caption));
        label->SetAlign(faClient);
        labels.append(label);
    }
    EXPECT_EQ(labels[0]->BoundsRect(), QRect(0, 0, 50, 20));
    EXPECT_EQ(labels[1]->BoundsRect(), QRect(50, 0, 51, 20));
    ASSERT_TRUE(f.Report->Prepare());
    TRLGraphicSurface* page = f.Report->Storage()->Pages(0);
    ASSERT_NE(page, nullptr);
    QList<int> widths;
    for (int i = 0; i < page->ObjectCount(); ++i)
        if (page->Objects(i)->Kind() == okText)
            widths.append(page->Objects(i)->BoundsRect.Width());
    EXPECT_EQ(widths, QList<int>({ 50, 51 }));
}

TEST(RLBands, OptimisticPageBreakAsksOnThePageWhereTheBandFirstTried)
{
    for (const bool optimistic : { false, true }) {
        TGenerationFixture f(200, 100);
        f.Records(4);
        TRLBand* detail = f.Band(btDetail, 30, QStringLiteral("D"));
        if (optimistic)
            detail->SetOptions(boOptimisticPageBreak);
        QList<int> pages;
        detail->BeforePrint = [&](TRLCustomControl*, bool&) { pages.append(f.Report->PageIndex()); };
        ASSERT_TRUE(f.Report->Prepare());
        ASSERT_EQ(f.PageCount(), 2);
        EXPECT_EQ(pages, optimistic ? QList<int>({ 0, 0, 0, 0 }) : QList<int>({ 0, 0, 0, 1 })) << optimistic;
        EXPECT_EQ(f.TopOf(1, "D4"), 0);
    }
}

TEST(RLBands, DesignBoundsAreRestoredAfterPreparation)
{
    TGenerationFixture f(200, 1000);
    f.Records(3);
    TRLBand* detail = f.Band(btDetail, 12, QStringLiteral("D"));
    detail->SetAutoSize(true);
    auto* label = qobject_cast<TRLLabel*>(detail->Controls(0));
    ASSERT_NE(label, nullptr);
    label->BeforePrint = [&](TRLCustomControl*, QString& text, bool&) {
        text = QStringLiteral("a much longer text than the design one\r\nover two lines");
    };
    const QRect bandBefore = detail->BoundsRect();
    const QRect labelBefore = label->BoundsRect();
    const QRect reportBefore = f.Report->BoundsRect();
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(detail->BoundsRect(), bandBefore);
    EXPECT_EQ(label->BoundsRect(), labelBefore);
    EXPECT_EQ(f.Report->BoundsRect(), reportBefore);
    EXPECT_EQ(label->Caption(), QStringLiteral("D"));
}

TEST(RLBands, GrowingBandTakesItsGrownHeightOnThePage)
{
    TGenerationFixture f(200, 1000);
    f.Records(2);
    TRLBand* detail = f.Band(btDetail, 5, QStringLiteral("D"));
    detail->SetAutoSize(true);
    const int designHeight = detail->Height(); // sized to the one-line label already
    auto* label = qobject_cast<TRLLabel*>(detail->Controls(0));
    ASSERT_NE(label, nullptr);
    label->SetAutoSize(false);
    label->BeforePrint = [&](TRLCustomControl* sender, QString& text, bool&) {
        text = QStringLiteral("D") + f.Data->FieldByName(QStringLiteral("N"))->AsString();
        sender->SetHeight(40);
    };
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.TopOf(0, "D2"), 40); // the band grew to its taller label
    EXPECT_EQ(detail->Height(), designHeight);
}

TEST(RLBands, FrameIsFilledOnlyWhenOpaqueOrShaded)
{
    struct Case
    {
        const char* name;
        bool opaque;
        TRLDegradeDirection degrade;
        int fills;
    };
    const Case cases[] = {
        { "transparent", false, ddNone, 0 },
        { "opaque", true, ddNone, 1 },
        { "vertical degrade in bands of 5", false, ddVertical, 4 },
    };
    for (const Case& c : cases) {
        TGenerationFixture f(200, 1000);
        f.Records(1);
        TRLBand* detail = f.Band(btDetail, 20, QStringLiteral("D"));
        if (c.opaque)
            detail->SetColor(0x00C0C0C0);
        detail->Degrade()->SetDirection(c.degrade);
        detail->Degrade()->SetOppositeColor(0x00FF0000);
        detail->Degrade()->SetGranularity(5);
        ASSERT_TRUE(f.Report->Prepare());
        TRLGraphicSurface* page = f.Report->Storage()->Pages(0);
        ASSERT_NE(page, nullptr);
        int fills = 0;
        for (int i = 0; i < page->ObjectCount(); ++i)
            if (page->Objects(i)->Kind() == okFillRect) {
                ++fills;
                EXPECT_EQ(page->Objects(i)->BoundsRect.Left, 0) << c.name;
            }
        EXPECT_EQ(fills, c.fills) << c.name;
    }
}
