// Pagers: band lists by type, the record step, page begin and end, close with completion, usable
// height, footer measuring and page breaks.
#include "engine/RLSite.h"

#include "platform/Exceptions.h"

#include <QScopedValueRollback>

void TRLCustomPager::BuildSortedBands()
{
    FSortedBands.Clear();
    for (TControl* child : ControlList()) {
        if (auto* pager = ClassCast<TRLCustomPager*>(child))
            pager->BuildSortedBands();
        else
            FSortedBands.Add(child);
    }
}

void TRLCustomPager::ResetPager()
{
    FSortedBands.ResetPrinted();
    FDetailCount = 0;
    FCurrentRow = ClientRect().top();
    FDetailsOnPage = 0;
    FDataPrintedOnPage = false;
    FPlacedOnPage = false;
    if (TRLCustomReport* report = ParentReport(); report && report == this)
        report->SetPageBreakRequested(false);
    ResetComputations();
}

void TRLCustomPager::AdvanceRow(int Height)
{
    FCurrentRow += Height;
    if (!FInPageBegin)
        FPlacedOnPage = true;
}

void TRLCustomPager::MarkDataPrinted()
{
    for (TRLCustomPager* pager = this; pager; pager = pager->EnclosingPager())
        pager->FDataPrintedOnPage = true;
}

bool TRLCustomPager::PageHasContent() const
{
    for (const TRLCustomPager* pager = this; pager; pager = pager->EnclosingPager())
        if (pager->FPlacedOnPage)
            return true;
    return false;
}

void TRLCustomPager::ComputeDetail(TRLCustomControl* Caller)
{
    TRLCustomBandSet::ComputeDetail(Caller);
    ++FDetailCount;
    // A group's details are its enclosing pager's too.
    if (ClassCast<TRLCustomGroup*>(this))
        if (TRLCustomPager* outer = EnclosingPager())
            outer->ComputeDetail(Caller);
}

// --- band lists -------------------------------------------------------------------------------

void TRLCustomPager::RecordStep()
{
    if (FFooterMeasuring == fmBeforeDetail)
        MeasureFooters();
    // Groups first (they consume records), then the detail bands, then nested skippers, so that a
    // record's own line comes before the records that a nested skipper walks for it.
    auto printNested = [this](bool groups) {
        const QList<TControl*> children = ControlList();
        for (TControl* child : children) {
            auto* pager = ClassCast<TRLCustomPager*>(child);
            if (!pager)
                continue;
            const bool isGroup = ClassCast<TRLCustomGroup*>(pager) != nullptr;
            const bool isSkipper = ClassCast<TRLCustomSkipper*>(pager) != nullptr;
            if ((groups && !isGroup) || (!groups && !isSkipper))
                continue;
            if (pager->AskToPrint()) {
                pager->AdjustBounds();
                pager->PrintControl();
                if (pager->AfterPrint)
                    pager->AfterPrint(pager);
            }
        }
    };
    printNested(true);
    PrintBandList(btDetail);
    printNested(false);
}

bool TRLCustomPager::PrintBandList(TRLBandType Type)
{
    // A copy: a page change inside may not disturb the walk.
    const QList<TRLCustomBand*> list = FSortedBands.Bands(Type);
    if (list.isEmpty())
        return true;
    const qsizetype count = list.size();
    for (qsizetype i = 0; i < count;) {
        TRLCustomBand* first = list.at(i);
        if (first == FNewPageCaller)
            return false;
        qsizetype end = i + 1;
        if (first->GroupIndex() > 0)
            while (end < count && list.at(end)->GroupIndex() == first->GroupIndex())
                ++end;
        const int copies = qMax(1, first->CarbonCopies());
        for (int copy = 0; copy < copies; ++copy)
            for (qsizetype k = i; k < end; ++k) {
                TRLCustomBand* band = list.at(k);
                if (band == FNewPageCaller)
                    return false;
                band->SetCopyIndex(copy);
                PrintBand(band);
            }
        i = end;
    }
    FSortedBands.SetPrinted(Type, true);
    return true;
}

void TRLCustomPager::PrintBand(TRLCustomBand* Band)
{
    Band->SaveBoundsTree();
    try {
        if (Band->Visible()) {
            if (!Band->Options().testFlag(boOptimisticPageBreak))
                Band->CheckFit();
            if (Band->AskToPrint()) {
                Band->AdjustBounds();
                Band->PrintControl();
                if (Band->AfterPrint)
                    Band->AfterPrint(Band);
            }
        }
    } catch (...) {
        Band->RestoreBoundsTree();
        throw;
    }
    Band->RestoreBoundsTree();
}

// --- pages ------------------------------------------------------------------------------------

void TRLCustomPager::PrepareToOpen()
{
    ++FPageSerial;
    FCurrentRow = ClientRect().top();
    FDetailsOnPage = 0;
    FDataPrintedOnPage = false;
    FPlacedOnPage = false;
    FSortedBands.ResetPrintedExceptTitle();
}

void TRLCustomPager::ComputePrintPosition()
{
    // A nested pager's page is the rest of its enclosing pager's page.
    const TRLCustomPager* outer = EnclosingPager();
    if (!outer) {
        FPrintPosition = TRect::Bounds(0, 0, Width(), Height());
        return;
    }
    const int top = outer->CurrentRow();
    FPrintPosition = TRect::Bounds(PrintBounds().Left, top, Width(), qMax(0, outer->OrdinaryBottom() - top));
}

void TRLCustomPager::OpenContent()
{
    const QScopedValueRollback beginning(FInPageBegin, true);
    TRLCustomBandSet::OpenContent();
    for (TRLBandType type : { btHeader, btTitle, btColumnHeader }) {
        if (FSortedBands.Printed(type))
            continue;
        if (!PrintBandList(type))
            break;
    }
    if (FFooterMeasuring == fmAfterHeader)
        MeasureFooters();
    PageStarting();
}

void TRLCustomPager::CloseContent()
{
    PageEnding();
    if (!FSortedBands.Printed(btColumnFooter) && !PrintBandList(btColumnFooter))
        return;
    if (!FSortedBands.Printed(btFooter))
        PrintBandList(btFooter);
}

void TRLCustomPager::AddBottomFrame()
{
    FCurrentRow += Height() - ClientRect().bottom() - 1;
}

void TRLCustomPager::DrawIntoParent()
{
    // The height of a nested pager's page is the row it reached.
    FPrintPosition.Bottom = FPrintPosition.Top + FCurrentRow;
    TRLCustomBandSet::DrawIntoParent();
}

void TRLCustomPager::AfterClose()
{
    if (TRLCustomPager* outer = EnclosingPager())
        outer->AdvanceRow(FPrintPosition.Height());
}

void TRLCustomPager::ClosePager()
{
    Complete();
    if (FSortedBands.Printed(btColumnFooter) || PrintBandList(btColumnFooter))
        if (FSortedBands.Printed(btSummary) || PrintBandList(btSummary))
            if (!FSortedBands.Printed(btFooter))
                PrintBandList(btFooter);
    CloseSite();
}

void TRLCustomPager::Complete()
{
    TRLCustomBand* filler = nullptr;
    for (TRLCustomBand* band : FSortedBands.Bands(btDetail))
        if (band->Completion() != ctNone && band->Computable()) {
            filler = band;
            break;
        }
    if (!filler)
        return;
    const QScopedValueRollback completing(FCompleting, true);
    const TRLCustomReport* master = MasterReport();
    // Each filler must make progress on the same page; one that declines to print, or that turned
    // the page, ends the completion instead of looping.
    auto printFiller = [&]() {
        const int serial = FPageSerial;
        const int row = FCurrentRow;
        const int details = FDetailsOnPage;
        PrintBand(filler);
        return serial == FPageSerial && (FCurrentRow > row || FDetailsOnPage > details)
            && !(master && master->Cancelled());
    };
    switch (filler->Completion()) {
    case ctFullPage: {
        const int height = filler->Height();
        while (height + FCurrentRow < AlignedColumnFooterBottom()) {
            if (FMaxBands > 0 && FDetailsOnPage >= FMaxBands)
                break;
            if (!printFiller())
                break;
        }
        break;
    }
    case ctMaxBands:
        while (FDetailsOnPage < FMaxBands)
            if (!printFiller())
                break;
        break;
    case ctMinBands:
        while (FDetailsOnPage < FMinBands)
            if (!printFiller())
                break;
        break;
    case ctNone:
        break;
    }
}

bool TRLCustomPager::RequestNewPage(TRLCustomBand* Caller, bool Force)
{
    if (!Force) {
        const bool granted
            = FDataPrintedOnPage && (!FForceMinBands || FMinBands <= 0 || FDetailsOnPage >= FMinBands);
        if (!granted)
            return false;
    }
    const QScopedValueRollback caller(FNewPageCaller, Caller);
    if (IsSiteOpen())
        CloseSite();
    if (TRLCustomPager* outer = EnclosingPager())
        outer->RequestNewPage(Caller, true);
    OpenSite();
    return true;
}

// --- usable height ----------------------------------------------------------------------------

int TRLCustomPager::ReservedHeight(TRLBandType Type, bool AlignedOnly) const
{
    int height = 0;
    for (const TRLCustomPager* pager = this; pager; pager = pager->EnclosingPager())
        for (const TRLCustomBand* band : pager->FSortedBands.Bands(Type))
            if (band->Visible() && (!AlignedOnly || band->AlignToBottom()))
                height += band->Height();
    return height;
}

int TRLCustomPager::OrdinaryBottom() const
{
    const TRLCustomReport* report = ParentReport();
    int bottom = report ? report->ClientRect().bottom() + 1 : ClientRect().bottom() + 1;
    // The pager's offset within the report, and the inside margins of the pagers in between.
    for (const TRLCustomPager* pager = this; pager && pager != report; pager = pager->EnclosingPager()) {
        bottom -= pager->PrintPosition().Top;
        bottom -= pager->InsideMargins()->BottomPixels();
    }
    return bottom - ReservedHeight(btFooter, false);
}

int TRLCustomPager::AlignedSummaryBottom() const
{
    return OrdinaryBottom() - ReservedHeight(btSummary, true);
}

int TRLCustomPager::AlignedColumnFooterBottom() const
{
    return AlignedSummaryBottom() - ReservedHeight(btColumnFooter, true);
}

void TRLCustomPager::MeasureFooters()
{
    for (TRLCustomPager* pager = this; pager; pager = pager->EnclosingPager())
        for (TRLCustomBand* band : pager->FSortedBands.Bands(btFooter))
            if (band->Visible())
                band->MeasureHeight();
}

// --- nested pagers as elements of their enclosing pager ----------------------------------------

void TRLCustomPager::RequestBreakBefore()
{
    if (FPageBreaking != pbBeforePrint)
        return;
    TRLCustomReport* report = RequireParentReport();
    TRLCustomPager* outer = EnclosingPager();
    if (outer && report->DataPrintedOnPage()) {
        outer->RequestNewPage(nullptr, false);
        ComputePrintPosition();
    }
}

void TRLCustomPager::RequestBreakAfter()
{
    if (FPageBreaking == pbAfterPrint)
        RequireParentReport()->SetPageBreakRequested(true);
}
