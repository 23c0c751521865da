// Sites and bands during generation: opening and closing a site, printing its controls, a band's
// print decision, its fit test, and its placement on the pager's page (moving to a new page or
// splitting across pages where it must).
#include "engine/RLSite.h"

#include "engine/RLSiteAlign.h"
#include "platform/Exceptions.h"

#include <QScopedValueRollback>
#include <QVarLengthArray>

namespace {

template <typename TList> void CollectDescendants(const TControl* root, TList& list)
{
    for (TControl* child : root->ControlList()) {
        auto* control = ClassCast<TRLCustomControl*>(child);
        list.push_back(
            { child, child->metaObject(), control, control && ClassCast<TRLCustomSite*>(control) });
        CollectDescendants(child, list);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// TRLCustomSite

TRect TRLCustomSite::MarginPixels() const
{
    return TRect(
        Margins()->LeftPixels(), Margins()->TopPixels(), Margins()->RightPixels(), Margins()->BottomPixels());
}

QRect TRLCustomSite::ClientRect() const
{
    const TRect margins = MarginPixels();
    TRect rect(0, 0, Width(), Height());
    rect.Left += margins.Left + Borders()->DrawnWidth(TRLBorders::sLeft) + InsideMargins()->LeftPixels();
    rect.Top += margins.Top + Borders()->DrawnWidth(TRLBorders::sTop) + InsideMargins()->TopPixels();
    rect.Right -= margins.Right + Borders()->DrawnWidth(TRLBorders::sRight) + InsideMargins()->RightPixels();
    rect.Bottom
        -= margins.Bottom + Borders()->DrawnWidth(TRLBorders::sBottom) + InsideMargins()->BottomPixels();
    if (rect.Right < rect.Left)
        rect.Right = rect.Left;
    if (rect.Bottom < rect.Top)
        rect.Bottom = rect.Top;
    return rect.ToQRect();
}

void TRLCustomSite::AlignControls(TControl* AControl, QRect& Rect)
{
    Q_UNUSED(AControl);
    Q_UNUSED(Rect);
    // Every band realigns after each of its texts changes, and a detail band's controls are
    // usually all placed freely: then there is nothing to lay out, and nothing to allocate for it.
    QVarLengthArray<TControl*, 16> children;
    QVarLengthArray<TRLControlAlign, 16> aligns;
    bool anyAligned = false;
    for (TControl* child : ControlList()) {
        if (!child->Visible())
            continue;
        const TRLControlAlign align = ChildAlign(child);
        children.append(child);
        aligns.append(align);
        anyAligned = anyAligned || align != faNone;
    }
    if (!anyAligned)
        return;
    std::vector<TRLAlignItem> items;
    items.reserve(std::size_t(children.size()));
    for (qsizetype i = 0; i < children.size(); ++i)
        items.push_back({ aligns.at(i), TRect::FromQRect(children.at(i)->BoundsRect()) });
    AlignSiteChildren(TRect::FromQRect(ClientRect()), items);
    for (qsizetype i = 0; i < children.size(); ++i) {
        TControl* child = children.at(i);
        const TRLAlignItem& item = items[std::size_t(i)];
        if (item.Align == faNone)
            continue;
        if (item.Bounds != TRect::FromQRect(child->BoundsRect()))
            child->SetBounds(item.Bounds.Left, item.Bounds.Top, item.Bounds.Width(), item.Bounds.Height());
        else if (ClassCast<TRLCustomSite*>(child))
            child->Realign();
    }
}

void TRLCustomSite::MeasureSize(int& width, int& height)
{
    width = Width();
    height = Height();
    if (!AutoSize())
        return;
    std::vector<TRLAlignItem> items;
    for (TControl* child : ControlList())
        if (child->Visible())
            items.push_back({ ChildAlign(child), TRect::FromQRect(child->BoundsRect()) });
    const QSize size = MeasureSiteSize(QSize(width, height), TRect::FromQRect(ClientRect()), Align(), items);
    width = size.width();
    height = size.height();
}

bool TRLCustomSite::AskToPrint()
{
    bool printIt = Visible() && !FSitePrinting;
    if (printIt && FBeforePrint)
        FBeforePrint(this, printIt);
    SetPrintIt(printIt);
    return printIt;
}

void TRLCustomSite::PrintControl()
{
    PrintSite();
}

void TRLCustomSite::PrintSite()
{
    if (FSitePrinting)
        return;
    const QScopedValueRollback printing(FSitePrinting, true);
    OpenSite();
    PrintContent();
    CloseSite();
}

void TRLCustomSite::OpenSite()
{
    if (FSiteOpen)
        return;
    if (TRLCustomSite* parent = ParentSite(); parent && !parent->IsSiteOpen())
        parent->OpenSite();
    PrepareToOpen();
    ComputePrintPosition();
    TRLGraphicSurface* surface = Surface();
    surface->Open();
    surface->Clear();
    surface->SetWidth(Width());
    surface->SetHeight(Height());
    surface->MarginRect = TRect::FromQRect(ClientRect());
    FSiteOpen = true;
    if (Enabled())
        OpenContent();
    AfterOpen();
}

void TRLCustomSite::CloseSite()
{
    if (!FSiteOpen)
        return;
    if (Enabled())
        CloseContent();
    AddBottomFrame();
    // The site counts as closed from here on, so that a failure while it is drawn into its parent
    // cannot leave it open for the next run.
    FSiteOpen = false;
    DrawIntoParent();
    Surface()->Close();
    AfterClose();
}

void TRLCustomSite::ComputePrintPosition()
{
    FPrintPosition = PrintBounds();
}

void TRLCustomSite::OpenContent()
{
    PrepareStaticControls();
    PrintStaticControls();
}

void TRLCustomSite::PrintChildSites()
{
    const QList<TControl*> children = ChildrenInCreationOrder();
    for (TControl* child : children) {
        auto* site = ClassCast<TRLCustomSite*>(child);
        // Bands and pagers inside a band are printed by their own pager, not as content.
        if (!site || ClassCast<TRLCustomBand*>(site) || ClassCast<TRLCustomPager*>(site))
            continue;
        if (site->AskToPrint()) {
            site->AdjustBounds();
            site->PrintControl();
            if (site->AfterPrint)
                site->AfterPrint(site);
        }
    }
}

TRLGraphicSurface* TRLCustomSite::TargetSurface() const
{
    return RequireParentSurface();
}

void TRLCustomSite::DrawFrame(TRLGraphicSurface* Target, const TRect& Rect)
{
    if (Degrade()->Direction() != ddNone && Degrade()->OppositeColor() != Color()) {
        Degrade()->DrawDegrade(Target, Rect, Color());
    } else if (!Transparent()) {
        TBrush& brush = Target->CurrentBrush();
        brush.SetColor(Color());
        brush.SetStyle(bsSolid);
        Target->FillRect(Rect);
    }
    Background()->DrawBackground(Target, Rect);
    const TRect margins = MarginPixels();
    Borders()->DrawBorders(Target,
        TRect(Rect.Left + margins.Left, Rect.Top + margins.Top, Rect.Right - margins.Right,
            Rect.Bottom - margins.Bottom));
}

void TRLCustomSite::DrawIntoParent()
{
    TRLGraphicSurface* target = TargetSurface();
    if (Enabled())
        DrawFrame(target, FPrintPosition);
    // The site's drawing is cleared when it opens again and read by nobody before that.
    target->MoveSurface(FPrintPosition.Left, FPrintPosition.Top, Surface());
}

const std::vector<TRLCustomSite::TDescendant>& TRLCustomSite::Descendants() const
{
    const quint64 generation = TControl::TreeGeneration();
    const QMetaObject* cls = metaObject();
    if (!FDescendantsKnown || FDescendantsGeneration != generation || FDescendantsClass != cls) {
        FDescendants.clear();
        CollectDescendants(this, FDescendants);
        FDescendantsKnown = true;
        FDescendantsGeneration = generation;
        FDescendantsClass = cls;
    }
    return FDescendants;
}

void TRLCustomSite::ComputeDetail(TRLCustomControl* Caller)
{
    // Taken out of the list first: a control's computation may change the tree, and with it the list.
    QVarLengthArray<TRLCustomControl*, 64> controls;
    for (const TDescendant& descendant : Descendants())
        if (descendant.Control && !descendant.IsSite && descendant.Control != Caller)
            controls.append(descendant.Control);
    for (TRLCustomControl* control : std::as_const(controls))
        control->ComputeDetail(Caller);
}

void TRLCustomSite::SaveBoundsTree()
{
    SaveDesignBounds();
    FSavedTree.clear();
    QVarLengthArray<TRLCustomControl*, 64> controls;
    for (const TDescendant& descendant : Descendants())
        if (descendant.Control)
            controls.append(descendant.Control);
    FSavedTree.reserve(controls.size());
    for (TRLCustomControl* control : std::as_const(controls)) {
        control->SaveDesignBounds();
        FSavedTree.append({ control, control->BoundsRect() });
    }
    FSavedBounds = BoundsRect();
}

void TRLCustomSite::RestoreBoundsTree()
{
    // The site first, so that its children are put back inside its design size; controls that did
    // not move are left alone (most of a band's controls, most of the time).
    if (BoundsRect() != FSavedBounds)
        RestoreDesignBounds();
    for (const auto& [control, bounds] : std::as_const(FSavedTree))
        if (control && control->BoundsRect() != bounds)
            control->RestoreDesignBounds();
}

void TRLCustomSite::AbandonPrint()
{
    FSiteOpen = false;
    FSitePrinting = false;
    Surface()->Close();
    for (TControl* child : ControlList())
        if (auto* site = ClassCast<TRLCustomSite*>(child))
            site->AbandonPrint();
}

// ---------------------------------------------------------------------------------------------------
// TRLCustomBand

TRLBand::TRLBand(TComponent* AOwner)
    : TRLCustomBand(AOwner)
{
    SetBounds(0, 0, 185, 16);
    SetAlign(faTop);
}

void TRLCustomBand::SetCarbonCopies(int value)
{
    value = qMax(1, value);
    if (value == FCarbonCopies)
        return;
    FCarbonCopies = value;
    // A block prints as a whole, so its bands share one count.
    if (FGroupIndex > 0 && Parent())
        for (TControl* sibling : Parent()->ControlList()) {
            auto* band = ClassCast<TRLCustomBand*>(sibling);
            if (band && band != this && band->FGroupIndex == FGroupIndex)
                band->FCarbonCopies = value;
        }
}

void TRLCustomBand::SetGroupIndex(int value)
{
    value = qMax(0, value);
    if (value == FGroupIndex)
        return;
    FGroupIndex = value;
    if (value > 0 && Parent())
        for (TControl* sibling : Parent()->ControlList()) {
            auto* band = ClassCast<TRLCustomBand*>(sibling);
            if (band && band != this && band->FGroupIndex == value) {
                FCarbonCopies = band->FCarbonCopies;
                break;
            }
        }
}

bool TRLCustomBand::IsFillerOrBlank() const
{
    const TRLCustomPager* pager = ParentPager();
    if (pager && pager->IsCompleting())
        return true;
    const TRLCustomSkipper* skipper = ParentSkipper();
    return skipper && skipper->RecordAction() == raBlankAndRetain;
}

bool TRLCustomBand::IsCountedDetail() const
{
    return FBandType == btDetail && FComputable && !IsFillerOrBlank();
}

bool TRLCustomBand::HeightFits(int Height, int& Available) const
{
    const TRLCustomPager* pager = RequireParentPager();
    Available = pager->OrdinaryBottom() - pager->CurrentRow();
    return Height <= Available;
}

void TRLCustomBand::CheckFit()
{
    if (FBandType == btColumnFooter || FBandType == btFooter)
        return;
    int available = 0;
    if (HeightFits(FLastPlacedHeight, available) || !RequireParentPager()->PageHasContent())
        return;
    if (FIntegralHeight || available < Constraints()->MinHeight())
        NewPageForBand(true);
}

bool TRLCustomBand::NewPageForBand(bool Force)
{
    const bool changed = RequireParentPager()->RequestNewPage(this, Force);
    ComputePrintPosition();
    return changed;
}

void TRLCustomBand::ComputePrintPosition()
{
    const TRLCustomPager* pager = RequireParentPager();
    FPrintPosition = TRect::Bounds(PrintBounds().Left, pager->CurrentRow(), Width(), Height());
}

void TRLCustomBand::OpenContent()
{
    TRLCustomBandSet::OpenContent();
    PrintChildSites();
}

void TRLCustomBand::PrintControl()
{
    TRLCustomPager* pager = RequireParentPager();
    const bool counted = IsCountedDetail();
    if (counted)
        ComputeDetail(this);
    PrintSite();
    if (counted)
        pager->ComputeDetail(this);
    if (counted || FBandType == btSummary)
        pager->MarkDataPrinted();
}

void TRLCustomBand::DrawIntoParent()
{
    TRLCustomPager* pager = RequireParentPager();
    TRLCustomReport* report = RequireParentReport();

    // 1. Page breaks asked for by the band's role, granted only as the pager allows.
    const bool dataBand = (FBandType == btDetail || FBandType == btSummary) && !IsFillerOrBlank();
    bool request = false;
    if (dataBand && report->PageBreakRequested()) {
        report->SetPageBreakRequested(false);
        request = true;
    } else if (FPageBreaking == pbBeforePrint && report->DataPrintedOnPage()) {
        request = true;
    } else if (FBandType == btDetail && pager->MaxBands() > 0
        && pager->DetailsOnPage() + 1 > pager->MaxBands() && !pager->IsCompleting()) {
        request = true;
    }
    if (request)
        NewPageForBand(false);

    // 2. Bands that sit at the bottom of the usable area.
    const int height = Height();
    if (FAlignToBottom || FBandType == btFooter) {
        const bool columnFooter = FBandType == btColumnFooter;
        // The band's own slot: the aligned bottom, below the aligned bands of its type listed before
        // it, so that several aligned bands stack instead of each asking for a new page.
        auto slotTop = [&] {
            int top = columnFooter ? pager->AlignedColumnFooterBottom() : pager->AlignedSummaryBottom();
            for (TRLCustomBand* band : pager->SortedBands().Bands(FBandType)) {
                if (band == this)
                    break;
                if (band->Visible() && band->AlignToBottom())
                    top += band->Height();
            }
            return top;
        };
        switch (FBandType) {
        case btColumnFooter:
        case btSummary: {
            int top = slotTop();
            if (pager->CurrentRow() > top && NewPageForBand(false))
                top = slotTop();
            if (pager->CurrentRow() < top)
                pager->SetCurrentRow(top);
            break;
        }
        case btFooter:
            if (!ClassCast<TRLCustomGroup*>(pager) && pager->CurrentRow() < pager->OrdinaryBottom())
                pager->SetCurrentRow(pager->OrdinaryBottom());
            break;
        default:
            break;
        }
    }

    // 3. and 4. Placement, slice by slice.
    ComputePrintPosition();
    const bool neverSplit = FBandType == btColumnFooter || FBandType == btFooter;
    const int minHeight = Constraints()->MinHeight();
    TRLGraphicSurface* target = pager->Surface();
    int offset = 0;
    int lastSlice = 0;
    bool skipFitTest = false;
    while (offset < height) {
        int slice = height - offset;
        int available = 0;
        if (!neverSplit && !skipFitTest && !HeightFits(slice, available)) {
            bool moveWhole = FIntegralHeight || minHeight > available;
            if (!moveWhole) {
                int cut = 0;
                if (Surface()->FindCutRow(offset + available, cut) && cut >= minHeight && cut > offset)
                    slice = cut - offset;
                else
                    moveWhole = true;
            }
            // On a page that holds nothing but its headers a new page would offer no more room:
            // the band overruns here instead of leaving empty pages behind.
            if (moveWhole && pager->PageHasContent()) {
                NewPageForBand(true);
                skipFitTest = true;
            }
            target = pager->Surface();
        }
        const TRect source(0, offset, Width(), offset + slice);
        const TRect dest = TRect::Bounds(FPrintPosition.Left, FPrintPosition.Top, Width(), slice);
        if (Enabled()) {
            target->SetClipRect(dest);
            try {
                DrawFrame(
                    target, TRect::Bounds(FPrintPosition.Left, FPrintPosition.Top - offset, Width(), height));
            } catch (...) {
                target->ResetClipRect();
                throw;
            }
            target->ResetClipRect();
        }
        // A band that goes whole in one slice hands its drawing over; a split band is drawn slice by
        // slice from the same drawing.
        if (offset == 0 && slice == height)
            target->MoveSurfaceRect(dest, Surface(), source);
        else
            target->DrawSurfaceRect(dest, Surface(), source);
        offset += slice;
        lastSlice = slice;
        if (offset < height) {
            pager->AdvanceRow(slice);
            NewPageForBand(true);
            skipFitTest = false;
        }
    }
    // 5.
    pager->AdvanceRow(lastSlice);
    FLastPlacedHeight = height;
}

void TRLCustomBand::AfterClose()
{
    TRLCustomPager* pager = RequireParentPager();
    if (FBandType == btDetail && FComputable)
        pager->IncDetailsOnPage();
    if (FPageBreaking == pbAfterPrint)
        RequireParentReport()->SetPageBreakRequested(true);
}
