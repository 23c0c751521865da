#include "platform/Controls.h"

#include "platform/Exceptions.h"

#include <QScopedValueRollback>
#include <QVarLengthArray>

#include <algorithm>

namespace {

// The anchors that go with each alignment, so that an aligned control keeps to the edges it is
// aligned to; back on alNone a control is anchored top-left again.
TAnchors AnchorsForAlign(TAlign align)
{
    switch (align) {
    case alTop:
        return TAnchors(akLeft | akTop | akRight);
    case alBottom:
        return TAnchors(akLeft | akRight | akBottom);
    case alLeft:
        return TAnchors(akLeft | akTop | akBottom);
    case alRight:
        return TAnchors(akRight | akTop | akBottom);
    case alClient:
        return TAnchors(akLeft | akTop | akRight | akBottom);
    case alNone:
    case alCustom:
        break;
    }
    return TAnchors(akLeft | akTop);
}

} // namespace

// ---------------------------------------------------------------------------------------------------

void TSizeConstraints::SetMaxHeight(int value)
{
    value = qMax(0, value);
    if (value == FMaxHeight)
        return;
    FMaxHeight = value;
    if (value > 0 && FMinHeight > value)
        FMinHeight = value;
    Change();
}

void TSizeConstraints::SetMaxWidth(int value)
{
    value = qMax(0, value);
    if (value == FMaxWidth)
        return;
    FMaxWidth = value;
    if (value > 0 && FMinWidth > value)
        FMinWidth = value;
    Change();
}

void TSizeConstraints::SetMinHeight(int value)
{
    value = qMax(0, value);
    if (value == FMinHeight)
        return;
    FMinHeight = value;
    if (FMaxHeight > 0 && FMaxHeight < value)
        FMaxHeight = value;
    Change();
}

void TSizeConstraints::SetMinWidth(int value)
{
    value = qMax(0, value);
    if (value == FMinWidth)
        return;
    FMinWidth = value;
    if (FMaxWidth > 0 && FMaxWidth < value)
        FMaxWidth = value;
    Change();
}

void TSizeConstraints::Constrain(int& width, int& height) const
{
    if (FMinWidth > 0 && width < FMinWidth)
        width = FMinWidth;
    else if (FMaxWidth > 0 && width > FMaxWidth)
        width = FMaxWidth;
    if (FMinHeight > 0 && height < FMinHeight)
        height = FMinHeight;
    else if (FMaxHeight > 0 && height > FMaxHeight)
        height = FMaxHeight;
}

void TSizeConstraints::Assign(const TPersistent* Source)
{
    const auto* other = qobject_cast<const TSizeConstraints*>(Source);
    if (!other) {
        TPersistent::Assign(Source);
        return;
    }
    if (other == this)
        return;
    // Copied as a whole, so that the min/max adjustment of the single setters cannot bend the values.
    const bool differs = FMaxHeight != other->FMaxHeight || FMaxWidth != other->FMaxWidth
        || FMinHeight != other->FMinHeight || FMinWidth != other->FMinWidth;
    FMaxHeight = other->FMaxHeight;
    FMaxWidth = other->FMaxWidth;
    FMinHeight = other->FMinHeight;
    FMinWidth = other->FMinWidth;
    if (differs)
        Change();
}

void TSizeConstraints::Change()
{
    if (OnChange)
        OnChange(this);
}

// ---------------------------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner)
    : TComponent(AOwner)
{
    TouchTree();
    FFont = new TFont(this);
    FFont->OnChange = [this](TFont*) { OwnFontChanged(); };
    FConstraints = new TSizeConstraints(this);
    FConstraints->OnChange = [this](TSizeConstraints*) { SetBounds(FLeft, FTop, FWidth, FHeight); };
}

TControl::~TControl()
{
    TouchTree();
    FDestroying = true;
    FFont->OnChange = nullptr;
    FConstraints->OnChange = nullptr;
    // Children stay alive (their owner frees them) but must not keep pointing at us.
    const QList<TControl*> children = FControls;
    FControls.clear();
    for (TControl* child : children)
        child->FParent = nullptr;
    if (FParent)
        FParent->RemoveControl(this);
}

bool TControl::ContainsControl(const TControl* control) const
{
    for (; control; control = control->FParent)
        if (control == this)
            return true;
    return false;
}

void TControl::SetParent(TControl* AParent)
{
    if (AParent == FParent)
        return;
    if (AParent && ContainsControl(AParent))
        throw Exception(QStringLiteral("A control cannot be its own parent or the parent of its parent"));
    if (FParent)
        FParent->RemoveControl(this);
    if (AParent)
        AParent->InsertControl(this);
    ParentChanged();
    ParentFontChanged();
    ParentColorChanged();
}

void TControl::InsertControl(TControl* AControl)
{
    TouchTree();
    FControls.append(AControl);
    AControl->FParent = this;
    ControlInserted(AControl);
    if (AControl->FAlign != alNone && AControl->FVisible)
        Realign();
}

void TControl::RemoveControl(TControl* AControl)
{
    if (!FControls.removeOne(AControl))
        return;
    TouchTree();
    AControl->FParent = nullptr;
    if (FDestroying)
        return;
    ControlRemoved(AControl);
    if (AControl->FAlign != alNone && AControl->FVisible)
        Realign();
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    AWidth = qMax(0, AWidth);
    AHeight = qMax(0, AHeight);
    ConstrainSize(AWidth, AHeight);
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight)
        return;
    const QRect oldClient = ClientRect();
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    BoundsChanged();
    const QRect newClient = ClientRect();
    if (newClient.size() != oldClient.size() && !AlignDisabled())
        AnchorControls(newClient.width() - oldClient.width(), newClient.height() - oldClient.height());
    if (newClient != oldClient)
        Realign();
    RequestAlign();
    Invalidate();
}

void TControl::SetAlign(TAlign value)
{
    if (value == FAlign)
        return;
    const bool wasAligned = FAlign != alNone;
    FAlign = value;
    FAnchors = AnchorsForAlign(value);
    if (FParent && FVisible && (wasAligned || value != alNone))
        FParent->Realign();
}

void TControl::SetAnchors(TAnchors value)
{
    FAnchors = value;
}

void TControl::EnableAlign()
{
    if (FAlignLevel == 0)
        return;
    if (--FAlignLevel == 0 && FAlignPending)
        Realign();
}

void TControl::Realign()
{
    if (FAlignLevel > 0) {
        FAlignPending = true;
        return;
    }
    if (FAligning || FDestroying)
        return;
    FAlignPending = false;
    const QScopedValueRollback aligning(FAligning, true);
    QRect rect = ClientRect();
    AlignControls(nullptr, rect);
}

void TControl::RequestAlign()
{
    if (FParent && FAlign != alNone && FVisible)
        FParent->Realign();
}

void TControl::AlignControls(TControl*, QRect& Rect)
{
    // A report's texts have no children and realign after every change of their size.
    if (FControls.isEmpty())
        return;
    int left = Rect.x();
    int top = Rect.y();
    int right = left + Rect.width();
    int bottom = top + Rect.height();

    static constexpr TAlign order[] = { alTop, alBottom, alLeft, alRight, alClient };
    for (TAlign align : order) {
        // Realigning follows every move of a child, so the groups stay off the heap.
        QVarLengthArray<TControl*, 16> group;
        for (TControl* child : std::as_const(FControls))
            if (child->FAlign == align && child->FVisible)
                group.append(child);
        std::stable_sort(group.begin(), group.end(), [align](const TControl* a, const TControl* b) {
            switch (align) {
            case alTop:
                return a->FTop < b->FTop;
            case alBottom:
                return a->FTop + a->FHeight > b->FTop + b->FHeight;
            case alLeft:
                return a->FLeft < b->FLeft;
            case alRight:
                return a->FLeft + a->FWidth > b->FLeft + b->FWidth;
            default:
                return false;
            }
        });
        for (TControl* child : std::as_const(group)) {
            // Each child gets the strip it asks for, then the free area shrinks by what it really
            // took (constraints or an engine override may have bent the size).
            int width = qMax(0, right - left);
            int height = qMax(0, bottom - top);
            switch (align) {
            case alTop:
                height = child->FHeight;
                child->ConstrainSize(width, height);
                child->SetBounds(left, top, width, height);
                top = child->FTop + child->FHeight;
                break;
            case alBottom:
                height = child->FHeight;
                child->ConstrainSize(width, height);
                child->SetBounds(left, bottom - height, width, height);
                bottom = child->FTop;
                break;
            case alLeft:
                width = child->FWidth;
                child->ConstrainSize(width, height);
                child->SetBounds(left, top, width, height);
                left = child->FLeft + child->FWidth;
                break;
            case alRight:
                width = child->FWidth;
                child->ConstrainSize(width, height);
                child->SetBounds(right - width, top, width, height);
                right = child->FLeft;
                break;
            default:
                child->ConstrainSize(width, height);
                child->SetBounds(left, top, width, height);
                break;
            }
        }
    }
    Rect = QRect(left, top, qMax(0, right - left), qMax(0, bottom - top));
}

void TControl::AnchorControls(int dw, int dh)
{
    const QList<TControl*> children = FControls;
    for (TControl* child : children) {
        if (child->FAlign != alNone)
            continue;
        int left = child->FLeft;
        int top = child->FTop;
        int width = child->FWidth;
        int height = child->FHeight;
        const TAnchors anchors = child->FAnchors;
        if (anchors.testFlag(akRight)) {
            if (anchors.testFlag(akLeft))
                width += dw;
            else
                left += dw;
        } else if (!anchors.testFlag(akLeft)) {
            left += dw / 2;
        }
        if (anchors.testFlag(akBottom)) {
            if (anchors.testFlag(akTop))
                height += dh;
            else
                top += dh;
        } else if (!anchors.testFlag(akTop)) {
            top += dh / 2;
        }
        child->SetBounds(left, top, width, height);
    }
}

void TControl::SetVisible(bool value)
{
    if (value == FVisible)
        return;
    FVisible = value;
    VisibleChanged();
    if (FParent && FAlign != alNone)
        FParent->Realign();
    Invalidate();
}

void TControl::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    EnabledChanged();
    Invalidate();
}

void TControl::SetFont(TFont* value)
{
    if (value && value != FFont)
        FFont->Assign(value);
}

void TControl::SetParentFont(bool value)
{
    if (value == FParentFont)
        return;
    FParentFont = value;
    if (value)
        ParentFontChanged();
}

void TControl::ParentFontChanged()
{
    if (!FParentFont || !FParent)
        return;
    const QScopedValueRollback copying(FCopyingParentFont, true);
    FFont->Assign(FParent->FFont); // announces, and so passes on down, only when something changed
}

void TControl::OwnFontChanged()
{
    if (!FCopyingParentFont)
        FParentFont = false;
    FontChanged();
    const QList<TControl*> children = FControls;
    for (TControl* child : children)
        child->ParentFontChanged();
    Invalidate();
}

void TControl::SetColor(TColor value)
{
    if (value == FColor)
        return;
    FColor = value;
    FParentColor = false;
    ColorChanged();
    const QList<TControl*> children = FControls;
    for (TControl* child : children)
        child->ParentColorChanged();
    Invalidate();
}

void TControl::SetParentColor(bool value)
{
    if (value == FParentColor)
        return;
    FParentColor = value;
    if (value)
        ParentColorChanged();
}

void TControl::ParentColorChanged()
{
    if (!FParentColor || !FParent || FParent->FColor == FColor)
        return;
    FColor = FParent->FColor;
    ColorChanged();
    const QList<TControl*> children = FControls;
    for (TControl* child : children)
        child->ParentColorChanged();
    Invalidate();
}

void TControl::SetConstraints(TSizeConstraints* value)
{
    if (value && value != FConstraints)
        FConstraints->Assign(value);
}

bool TControl::IsPropertyStored(const QMetaProperty& property) const
{
    const QByteArrayView name(property.name());
    if (name == "Left" || name == "Top" || name == "Width" || name == "Height")
        return property.isStored();
    if (name == "Font")
        return !FParentFont && property.isStored();
    if (name == "Color")
        return !FParentColor && TComponent::IsPropertyStored(property);
    return TComponent::IsPropertyStored(property);
}
