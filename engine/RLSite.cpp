#include "engine/RLSite.h"

#include "parser/RLParser.h"

#include <QVarLengthArray>

#include <algorithm>
#include <limits>

// ---------------------------------------------------------------------------------------------------
// TRLCustomSite

TRLCustomSite::TRLCustomSite(TComponent* AOwner)
    : TRLCustomControl(AOwner)
    , FSurface(std::make_unique<TRLGraphicSurface>())
{
    FBackground = new TRLBackground(this);
    FDegrade = new TRLDegradeEffect(this);
    FMargins = new TRLMargins(this);
    FInsideMargins = new TRLMargins(this);
}

TRLCustomSite::~TRLCustomSite()
{
    TouchTree(); // casts to a site no longer answer for this control
}

void TRLCustomSite::SetBackground(TRLBackground* value)
{
    if (value && value != FBackground)
        FBackground->Assign(value);
}

void TRLCustomSite::SetDegrade(TRLDegradeEffect* value)
{
    if (value && value != FDegrade)
        FDegrade->Assign(value);
}

void TRLCustomSite::SetMargins(TRLMargins* value)
{
    if (value && value != FMargins)
        FMargins->Assign(value);
}

void TRLCustomSite::SetInsideMargins(TRLMargins* value)
{
    if (value && value != FInsideMargins)
        FInsideMargins->Assign(value);
}

QList<TControl*> TRLCustomSite::ChildrenInCreationOrder() const
{
    // Asked twice per band and record; the order stands while no list of components or controls
    // changed.
    const quint64 generation = TreeGeneration();
    if (!FCreationOrderKnown || FCreationOrderGeneration != generation) {
        FCreationOrder = SortChildrenInCreationOrder();
        FCreationOrderKnown = true;
        FCreationOrderGeneration = generation;
    }
    return FCreationOrder;
}

QList<TControl*> TRLCustomSite::SortChildrenInCreationOrder() const
{
    QList<TControl*> children = ControlList();
    // Children of one owner go by their index there; children owned elsewhere keep their place
    // among themselves, after the owned ones. This runs twice per band per record, and a component
    // index is a search of the owner's list, so each index is looked up once, not per comparison;
    // the usual case, children already in order, is then left as it is.
    struct TKeyed
    {
        int Index;
        TControl* Control;
    };
    QVarLengthArray<TKeyed, 32> keyed;
    keyed.reserve(children.size());
    bool ordered = true;
    // A component is in its owner's list once, so when a sibling of the same owner was found at
    // position p, a search from p + 1 that succeeds gives the true index; children in order are
    // then found in one pass over the owner's list instead of one full search each.
    const TComponent* lastOwner = nullptr;
    int lastIndex = -1;
    for (TControl* child : std::as_const(children)) {
        const TComponent* owner = child->Owner();
        int index = -1;
        if (owner && owner == lastOwner && lastIndex >= 0)
            index = int(owner->ComponentList().indexOf(child, lastIndex + 1));
        if (index < 0)
            index = child->ComponentIndex();
        lastOwner = owner;
        lastIndex = index;
        const TKeyed key { index < 0 ? std::numeric_limits<int>::max() : index, child };
        if (!keyed.isEmpty() && key.Index < keyed.back().Index)
            ordered = false;
        keyed.append(key);
    }
    if (ordered)
        return children;
    std::stable_sort(
        keyed.begin(), keyed.end(), [](const TKeyed& a, const TKeyed& b) { return a.Index < b.Index; });
    for (qsizetype i = 0; i < keyed.size(); ++i)
        children[i] = keyed[i].Control;
    return children;
}

void TRLCustomSite::PrepareStaticControls()
{
    const QList<TControl*> children = ChildrenInCreationOrder();
    for (TControl* child : children) {
        if (!IsStaticControl(child))
            continue;
        // Asking sets the control's caption, and setting a caption measures and places the control:
        // placing it a second time would find it where it is (six times per product line).
        static_cast<TRLCustomControl*>(child)->AskToPrint();
    }
}

void TRLCustomSite::PrintStaticControls()
{
    const QList<TControl*> children = ChildrenInCreationOrder();
    for (TControl* child : children) {
        if (!IsStaticControl(child))
            continue; // plain platform controls have no painting of their own to record
        auto* control = static_cast<TRLCustomControl*>(child);
        if (!control->PrintIt())
            continue;
        control->SetPrinting(true);
        try {
            control->PrintControl();
        } catch (...) {
            control->SetPrinting(false);
            throw;
        }
        control->SetPrinting(false);
        if (control->AfterPrint)
            control->AfterPrint(control);
    }
}

// ---------------------------------------------------------------------------------------------------

TRLCustomBandSet::TRLCustomBandSet(TComponent* AOwner)
    : TRLCustomSite(AOwner)
{ }

TRLCustomBand::TRLCustomBand(TComponent* AOwner)
    : TRLCustomBandSet(AOwner)
{
    // Bands grow downwards with their content.
    FAutoSizeSetsHeight = true;
    FAutoExpand = true;
}

void TRLCustomBand::SetBandType(TRLBandType value)
{
    if (value == FBandType)
        return;
    FBandType = value;
    if (Parent())
        Parent()->Realign();
    Invalidate();
}

TRLCustomPager::TRLCustomPager(TComponent* AOwner)
    : TRLCustomBandSet(AOwner)
{
    FAutoSizeSetsHeight = true;
}

TRLCustomGroup::TRLCustomGroup(TComponent* AOwner)
    : TRLCustomPager(AOwner)
{ }

TRLCustomSkipper::TRLCustomSkipper(TComponent* AOwner)
    : TRLCustomPager(AOwner)
{ }

// ---------------------------------------------------------------------------------------------------
// TRLCustomReport

TRLCustomReport::TRLCustomReport(TComponent* AOwner)
    : TRLCustomSkipper(AOwner)
{
    FPageSetup = new TRLPageSetup(this);
    Margins()->SetDefaults(10, 10, 10, 10);
    TFont* font = Font();
    font->BeginUpdate();
    font->SetName(QStringLiteral("Arial"));
    font->SetSize(10);
    font->SetColor(clBlack);
    font->SetStyle(0);
    font->EndUpdate();
    SetColor(clWhite);
    SetParentFont(false);
    SetParentColor(false);
    UpdatePageSize();
}

TRLCustomReport::~TRLCustomReport() = default;

void TRLCustomReport::SetPageSetup(TRLPageSetup* value)
{
    if (value && value != FPageSetup)
        FPageSetup->Assign(value);
}

void TRLCustomReport::SetExpressionParser(TRLExpressionParser* value)
{
    if (value == FExpressionParser)
        return;
    if (FExpressionParser)
        RemoveFreeNotification(FExpressionParser);
    FExpressionParser = value;
    if (value)
        FreeNotification(value);
}

void TRLCustomReport::Notification(TComponent* component, TOperation operation)
{
    TRLCustomSkipper::Notification(component, operation);
    if (operation == opRemove && component == FExpressionParser)
        FExpressionParser = nullptr;
}

void TRLCustomReport::UpdatePageSize()
{
    if (FPageSetup->PaperSize() != PaperSizeDefault)
        SetFixedSize(true, FPageSetup->LayoutPixelWidth(), FPageSetup->LayoutPixelHeight());
    else
        SetFixedSize(false);
}

void TRLCustomReport::GeometryChanged(TPersistent* Sender, bool Resize)
{
    if (Sender == FPageSetup)
        UpdatePageSize();
    TRLCustomSkipper::GeometryChanged(Sender, Resize);
}
