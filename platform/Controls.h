#pragma once
// The light visual-control base of report controls. It is not a widget and never a window: it keeps
// a visual parent with an ordered list of children, bounds in report pixels, alignment of children,
// visibility, a font and a colour that may follow the parent's, and size constraints.
//
// Ownership: a control's owner (TComponent) destroys it; its visual parent only lists it. Destroying a
// control takes it out of its parent's list and detaches (does not destroy) its children, which their
// owner still frees. No pointer to a destroyed control remains in any parent or child. During the
// removal hooks of a control being destroyed, that control is already reduced to a plain TControl.
//
// ParentFont and ParentColor default to true, as on the platform: while set, the control copies its
// parent's font or colour when it gets a parent and whenever the parent's changes, and passes it on
// down to its own children. Changing the control's own font or colour clears the flag.
#include "platform/Component.h"
#include "platform/Graphics.h"

#include <QFlags>
#include <QList>
#include <QRect>

namespace Ctl {
Q_NAMESPACE
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
Q_ENUM_NS(TAlign)
enum TAnchorKind { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
Q_DECLARE_FLAGS(TAnchors, TAnchorKind)
Q_FLAG_NS(TAnchors)
} // namespace Ctl
Q_DECLARE_OPERATORS_FOR_FLAGS(Ctl::TAnchors)
using namespace Ctl;

// Minimum and maximum width and height; 0 means no limit. A minimum wins over a smaller maximum.
class TSizeConstraints : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(int MaxHeight READ MaxHeight WRITE SetMaxHeight)
    Q_PROPERTY(int MaxWidth READ MaxWidth WRITE SetMaxWidth)
    Q_PROPERTY(int MinHeight READ MinHeight WRITE SetMinHeight)
    Q_PROPERTY(int MinWidth READ MinWidth WRITE SetMinWidth)
public:
    Q_INVOKABLE explicit TSizeConstraints(QObject* parent = nullptr)
        : TPersistent(parent)
    { }
    // Called with the sender after every real change.
    std::function<void(TSizeConstraints*)> OnChange;

    int MaxHeight() const { return FMaxHeight; }
    int MaxWidth() const { return FMaxWidth; }
    int MinHeight() const { return FMinHeight; }
    int MinWidth() const { return FMinWidth; }
    // Negative values count as 0. Setting a minimum above a maximum raises the maximum, setting a
    // maximum below a minimum lowers the minimum, so the pair stays consistent.
    void SetMaxHeight(int value);
    void SetMaxWidth(int value);
    void SetMinHeight(int value);
    void SetMinWidth(int value);

    // A size brought inside the limits: a non-zero minimum raises a smaller value, else a non-zero
    // maximum lowers a larger one; width and height separately.
    void Constrain(int& width, int& height) const;

    void Assign(const TPersistent* Source) override;

private:
    void Change();
    int FMaxHeight = 0;
    int FMaxWidth = 0;
    int FMinHeight = 0;
    int FMinWidth = 0;
};

class TControl : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(int Left READ Left WRITE SetLeft)
    Q_PROPERTY(int Top READ Top WRITE SetTop)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(Ctl::TAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(Ctl::TAnchors Anchors READ Anchors WRITE SetAnchors)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TSizeConstraints* Constraints READ Constraints WRITE SetConstraints)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(TFont* Font READ Font WRITE SetFont)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE SetParentColor)
    Q_PROPERTY(bool ParentFont READ ParentFont WRITE SetParentFont)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
public:
    Q_INVOKABLE explicit TControl(TComponent* AOwner = nullptr);
    ~TControl() override;

    // Visual parentage.
    TControl* Parent() const { return FParent; }
    // Moves the control to another parent (or none). A parent that is the control itself or one of
    // its descendants is refused with an Exception, since it would make a cycle.
    virtual void SetParent(TControl* AParent);
    int ControlCount() const { return int(FControls.size()); }
    TControl* Controls(int index) const { return FControls.at(index); }
    const QList<TControl*>& ControlList() const { return FControls; }
    // Whether control is this one or lies anywhere below it.
    bool ContainsControl(const TControl* control) const;

    // Bounds in the parent's coordinates.
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int value) { SetBounds(value, FTop, FWidth, FHeight); }
    void SetTop(int value) { SetBounds(FLeft, value, FWidth, FHeight); }
    void SetWidth(int value) { SetBounds(FLeft, FTop, value, FHeight); }
    void SetHeight(int value) { SetBounds(FLeft, FTop, FWidth, value); }
    QRect BoundsRect() const { return QRect(FLeft, FTop, FWidth, FHeight); }
    void SetBoundsRect(const QRect& rect) { SetBounds(rect.x(), rect.y(), rect.width(), rect.height()); }
    // Every move and resize comes here. A negative size counts as 0, then the constraints apply.
    // When something changed: BoundsChanged, anchored children follow a resize, aligned children are
    // realigned, and the parent realigns when this control is aligned.
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

    // The area children are aligned in, in this control's own coordinates. The engine's sites
    // narrow it by borders and margins.
    virtual QRect ClientRect() const { return QRect(0, 0, FWidth, FHeight); }
    int ClientWidth() const { return ClientRect().width(); }
    int ClientHeight() const { return ClientRect().height(); }

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value);
    TAnchors Anchors() const { return FAnchors; }
    void SetAnchors(TAnchors value);

    // Realignment. While disabled (nested; loading a definition, building a tree) requests are
    // remembered and carried out once by the last EnableAlign.
    void DisableAlign() { ++FAlignLevel; }
    void EnableAlign();
    bool AlignDisabled() const { return FAlignLevel > 0; }
    // Aligns the children now, unless disabled or already aligning.
    void Realign();

    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);

    // The control's own font object; SetFont copies the given font into it.
    TFont* Font() const { return FFont; }
    void SetFont(TFont* value);
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool value);

    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);

    TSizeConstraints* Constraints() const { return FConstraints; }
    void SetConstraints(TSizeConstraints* value);

    // Asks for a repaint or re-measure; nothing to do on this base (the report engine decides).
    virtual void Invalidate() { }

    // Bounds are always stored; Font only without ParentFont, Color only without ParentColor.
    bool IsPropertyStored(const QMetaProperty& property) const override;

protected:
    // Lays out the aligned children in Rect, which it narrows as it goes: alTop, alBottom, alLeft,
    // alRight, then alClient, each group in the order of its edge (top to bottom, bottom to top, left
    // to right, right to left; equal edges keep child order). Invisible children are skipped.
    // AControl is the child whose change caused the realignment, or null.
    virtual void AlignControls(TControl* AControl, QRect& Rect);
    // Moves the alNone children with anchors after this control's client area changed size by
    // (dw, dh): right or bottom anchored children move, both-side anchored ones stretch, children
    // anchored on neither side of an axis keep their centre.
    virtual void AnchorControls(int dw, int dh);

    // Hooks.
    virtual void ControlInserted(TControl* AControl) { Q_UNUSED(AControl); }
    virtual void ControlRemoved(TControl* AControl) { Q_UNUSED(AControl); }
    virtual void ParentChanged() { }
    virtual void BoundsChanged() { }
    virtual void VisibleChanged() { }
    virtual void EnabledChanged() { }
    virtual void FontChanged() { }
    virtual void ColorChanged() { }
    // Applies the size constraints; the engine's bounds setter calls it too.
    void ConstrainSize(int& width, int& height) const { FConstraints->Constrain(width, height); }
    // Asks the parent to realign, when this control's place among aligned siblings may have changed.
    void RequestAlign();

private:
    void InsertControl(TControl* AControl);
    void RemoveControl(TControl* AControl);
    void ParentFontChanged();
    void ParentColorChanged();
    void OwnFontChanged();

    TControl* FParent = nullptr;
    QList<TControl*> FControls;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    TAlign FAlign = alNone;
    TAnchors FAnchors = TAnchors(akLeft | akTop);
    int FAlignLevel = 0;
    bool FAlignPending = false;
    bool FAligning = false;
    bool FVisible = true;
    bool FEnabled = true;
    TFont* FFont = nullptr;
    bool FParentFont = true;
    bool FCopyingParentFont = false;
    TColor FColor = clWindow;
    bool FParentColor = true;
    TSizeConstraints* FConstraints = nullptr;
    bool FDestroying = false;
};
