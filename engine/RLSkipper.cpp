// Skippers: walking the records of a data source or of the application's events.
#include "engine/RLSite.h"

#include "platform/DataSet.h"

TDataSource* TRLCustomSkipper::DataSource() const
{
    return FDataSource;
}

void TRLCustomSkipper::SetDataSource(TDataSource* value)
{
    if (value == FDataSource)
        return;
    if (FDataSource)
        RemoveFreeNotification(FDataSource);
    FDataSource = value;
    if (value)
        FreeNotification(value);
}

void TRLCustomSkipper::Notification(TComponent* component, TOperation operation)
{
    TRLCustomPager::Notification(component, operation);
    if (operation == opRemove && component == FDataSource)
        FDataSource = nullptr;
}

TDataSet* TRLCustomSkipper::DataSet() const
{
    return FDataSource ? FDataSource->DataSet() : nullptr;
}

bool TRLCustomSkipper::IsPropertyStored(const QMetaProperty& property) const
{
    if (QByteArrayView(property.name()) == "RangeCount")
        return FRecordRange == rrNextN;
    return TRLCustomPager::IsPropertyStored(property);
}

int TRLCustomSkipper::DataCount()
{
    if (OnDataCount) {
        int count = 0;
        OnDataCount(this, count);
        return count;
    }
    TDataSet* dataSet = DataSet();
    return dataSet && dataSet->Active() ? dataSet->RecordCount() : 0;
}

bool TRLCustomSkipper::MoreFromSource(bool moveFirst, bool moveNext)
{
    if (FDataSource) {
        TDataSet* dataSet = DataSet();
        if (!dataSet || !dataSet->Active())
            return false;
        if (moveFirst)
            dataSet->First();
        else if (moveNext)
            dataSet->Next();
        return !dataSet->Eof();
    }
    if (OnNeedData) {
        bool more = false;
        OnNeedData(this, more);
        return more;
    }
    return false;
}

bool TRLCustomSkipper::DecideRecord(bool more)
{
    FEof = !more;
    TRLRecordAction action = raUseIt;
    if (OnDataRecord)
        OnDataRecord(this, RecNo(), CopyNo(), FEof, action);
    SetRecordAction(action);
    // A handler that skips for ever still ends when the run is cancelled.
    const TRLCustomReport* master = MasterReport();
    return !FEof && action == raIgnoreIt && !(master && master->Cancelled());
}

void TRLCustomSkipper::FetchFirst()
{
    SetRecNo(1);
    SetCopyNo(1);
    bool more = MoreFromSource(FRecordRange == rrAllRecords, false);
    while (DecideRecord(more && !(FRecordRange == rrNextN && RecNo() > FRangeCount)))
        more = MoreFromSource(false, true);
    FRecordMoved = false;
}

void TRLCustomSkipper::FetchNext()
{
    TRLRecordAction previous = RecordAction();
    SetCopyNo(previous == raUseAndRetain ? CopyNo() + 1 : 1);
    if (previous == raUseIt)
        SetRecNo(RecNo() + 1);
    bool skipped;
    do {
        // A retained record is printed again without moving; a skipped one moves on.
        const bool retained = previous == raUseAndRetain || previous == raBlankAndRetain;
        const bool more = retained || MoreFromSource(false, true);
        const bool inRange
            = FRecordRange != rrCurrentOnly && !(FRecordRange == rrNextN && RecNo() > FRangeCount);
        skipped = DecideRecord(more && inRange);
        previous = raIgnoreIt;
    } while (skipped);
    FRecordMoved = true;
}

void TRLCustomSkipper::RunRecords()
{
    const TRLCustomReport* master = MasterReport();
    FetchFirst();
    while (!FEof && !(master && master->Cancelled())) {
        FRecordMoved = false;
        RecordStep();
        if (!FRecordMoved)
            FetchNext();
    }
}

void TRLCustomSkipper::PrintControl()
{
    RequestBreakBefore();
    ResetPager();
    ComputePrintPosition();
    RunRecords();
    if (FPrintEmpty && DetailCount() == 0)
        OpenSite();
    ClosePager();
    RequestBreakAfter();
}
