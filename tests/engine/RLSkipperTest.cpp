// Record walking: record ranges, the per-record event and its actions, records from an event.
#include "RLGenerationFixture.h"
#include "engine/RLReport.h"

#include "platform/DataSet.h"
#include "platform/MemDataSet.h"

#include <QMetaProperty>
#include <gtest/gtest.h>

namespace {
// Collects the record and copy numbers each printed detail saw.
struct TSeen
{
    QList<int> RecNos;
    QList<int> CopyNos;
    void Watch(TRLBand* band, TRLCustomSkipper* skipper)
    {
        band->AfterPrint = [this, skipper](TRLCustomControl*) {
            RecNos.append(skipper->RecNo());
            CopyNos.append(skipper->CopyNo());
        };
    }
};
} // namespace

TEST(RLSkipper, NextNPrintsRangeCountRecordsFromTheCurrentOne)
{
    struct Case
    {
        int rangeCount;
        QStringList texts;
    };
    const Case cases[] = {
        { 3, { "D3", "D4", "D5" } },
        { 0, {} },
        { 20, { "D3", "D4", "D5", "D6", "D7", "D8", "D9", "D10" } },
    };
    for (const Case& c : cases) {
        TGenerationFixture f(200, 1000);
        f.Records(10);
        f.Report->SetPrintEmpty(false);
        f.Report->SetRecordRange(rrNextN);
        f.Report->SetRangeCount(c.rangeCount);
        TSeen seen;
        seen.Watch(f.Band(btDetail, 10, QStringLiteral("D")), f.Report);
        f.Data->Next();
        f.Data->Next();
        ASSERT_TRUE(f.Report->Prepare());
        if (c.texts.isEmpty()) {
            EXPECT_EQ(f.PageCount(), 0) << c.rangeCount;
            continue;
        }
        EXPECT_EQ(f.Texts(0), c.texts) << c.rangeCount;
        EXPECT_EQ(seen.RecNos.first(), 1);
        EXPECT_EQ(seen.RecNos.last(), int(c.texts.size()));
    }
}

TEST(RLSkipper, CurrentOnlyAndUntilEofStartAtTheCurrentRecord)
{
    struct Case
    {
        TRLRecordRange range;
        QStringList texts;
    };
    const Case cases[] = {
        { rrCurrentOnly, { "D4" } },
        { rrUntilEof, { "D4", "D5", "D6" } },
        { rrAllRecords, { "D1", "D2", "D3", "D4", "D5", "D6" } },
    };
    for (const Case& c : cases) {
        TGenerationFixture f(200, 1000);
        f.Records(6);
        f.Report->SetRecordRange(c.range);
        f.Band(btDetail, 10, QStringLiteral("D"));
        for (int i = 0; i < 3; ++i)
            f.Data->Next();
        ASSERT_TRUE(f.Report->Prepare());
        EXPECT_EQ(f.Texts(0), c.texts) << int(c.range);
    }
}

TEST(RLSkipper, RetainedRecordPrintsWithIncreasingCopyNumbers)
{
    TGenerationFixture f(200, 1000);
    f.Records(2);
    TSeen seen;
    seen.Watch(f.Band(btDetail, 10, QStringLiteral("D")), f.Report);
    QList<TRLRecordAction> answers { raUseAndRetain, raUseAndRetain, raUseIt };
    f.Report->OnDataRecord = [&](TRLCustomControl*, int, int, bool& eof, TRLRecordAction& action) {
        if (!eof && !answers.isEmpty())
            action = answers.takeFirst();
    };
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.Texts(0), QStringList({ "D1", "D1", "D1", "D2" }));
    EXPECT_EQ(seen.CopyNos, QList<int>({ 1, 2, 3, 1 }));
    EXPECT_EQ(seen.RecNos, QList<int>({ 1, 1, 1, 2 }));
}

TEST(RLSkipper, SkippedRecordsAreNotNumbered)
{
    TGenerationFixture f(200, 1000);
    f.Records(6);
    TSeen seen;
    seen.Watch(f.Band(btDetail, 10, QStringLiteral("D")), f.Report);
    f.Report->OnDataRecord = [&](TRLCustomControl*, int, int, bool& eof, TRLRecordAction& action) {
        if (!eof && f.Data->FieldByName(QStringLiteral("N"))->AsInteger() % 2 == 1)
            action = raIgnoreIt;
    };
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.Texts(0), QStringList({ "D2", "D4", "D6" }));
    EXPECT_EQ(seen.RecNos, QList<int>({ 1, 2, 3 }));
}

TEST(RLSkipper, BlankAndRetainPrintsAnUncountedBlankFirst)
{
    TGenerationFixture f(200, 1000);
    f.Records(2);
    f.Band(btDetail, 10, QStringLiteral("D"));
    bool blankGiven = false;
    f.Report->OnDataRecord = [&](TRLCustomControl*, int recNo, int, bool& eof, TRLRecordAction& action) {
        if (!eof && recNo == 2 && !blankGiven) {
            blankGiven = true;
            action = raBlankAndRetain;
        }
    };
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.Texts(0), QStringList({ "D1", "", "D2" }));
    EXPECT_EQ(f.Report->DetailCount(), 2);
}

TEST(RLSkipper, NeedDataFeedsRecordsWithoutADataSource)
{
    TGenerationFixture f(200, 1000);
    int served = 0;
    f.Report->OnNeedData = [&](TRLCustomControl*, bool& more) { more = ++served <= 3; };
    TRLBand* detail = f.Band(btDetail, 10, QStringLiteral("D"));
    TSeen seen;
    seen.Watch(detail, f.Report);
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(seen.RecNos, QList<int>({ 1, 2, 3 }));
    EXPECT_EQ(f.Report->DetailCount(), 3);
}

TEST(RLSkipper, DataCountFromEventOrDataSet)
{
    TGenerationFixture f(200, 1000);
    EXPECT_EQ(f.Report->DataCount(), 0);
    f.Records(7);
    EXPECT_EQ(f.Report->DataCount(), 7);
    f.Report->OnDataCount = [](TRLCustomControl*, int& count) { count = 42; };
    EXPECT_EQ(f.Report->DataCount(), 42);
    f.Data->SetActive(false);
    f.Report->OnDataCount = nullptr;
    EXPECT_EQ(f.Report->DataCount(), 0);
}

TEST(RLSkipper, InactiveDataSetGivesNoRecords)
{
    TGenerationFixture f(200, 1000);
    f.Records(3);
    f.Data->SetActive(false);
    f.Report->SetPrintEmpty(false);
    f.Band(btDetail, 10, QStringLiteral("D"));
    ASSERT_TRUE(f.Report->Prepare());
    EXPECT_EQ(f.PageCount(), 0);
}

TEST(RLSkipper, DestroyedDataSourceIsForgotten)
{
    TGenerationFixture f(200, 1000);
    f.Records(3);
    delete f.Source;
    EXPECT_EQ(f.Report->DataSource(), nullptr);
    EXPECT_EQ(f.Report->DataSet(), nullptr);
}

TEST(RLSkipper, RangeCountIsStoredOnlyForNextN)
{
    TGenerationFixture f;
    const QMetaObject* meta = f.Report->metaObject();
    const QMetaProperty rangeCount = meta->property(meta->indexOfProperty("RangeCount"));
    f.Report->SetRangeCount(5);
    EXPECT_FALSE(f.Report->IsPropertyStored(rangeCount));
    f.Report->SetRecordRange(rrNextN);
    EXPECT_TRUE(f.Report->IsPropertyStored(rangeCount));
}
