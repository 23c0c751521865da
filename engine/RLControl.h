#pragma once
// TRLCustomControl: the base of everything a report definition holds (controls, bands, pagers, the
// report) and the print protocol through which a site prepares and records its controls:
//
//   AskToPrint   decides whether the control prints (Visible, the before-print handlers, the report's
//                text filter) and sets its current caption, which re-measures it;
//   AdjustBounds re-measures (MeasureSize) and re-places it by Alignment and Layout;
//   PrintControl records it as page objects on its site's surface;
//   AfterPrint   the event, called by the site after PrintControl.
//
// Every move or resize goes through SetBounds, which applies the fixed size, the holders, the size
// constraints, and then lets the enclosing site grow with the control and the held controls follow.
//
// Ownership: a control owns its Borders and RealBounds (QObject children). Holders, held controls and
// the lookups are references; a destroyed holder is cleared from the controls it held, and a destroyed
// held control leaves its holders' lists.
//
// Events are called with the sender first; an unassigned one is skipped. A control keeps two decision
// slots, a plain one (Sender, PrintIt) and a text one (Sender, Text, PrintIt); each class publishes one
// of them as its BeforePrint.
#include "engine/RLGeometry.h"
#include "engine/RLTypes.h"
#include "platform/Controls.h"
#include "platform/Rect.h"

#include <QString>
#include <QVariant>
#include <array>
#include <functional>
#include <memory>

class TRLCustomControl;
class TRLCustomSite;
class TRLCustomBand;
class TRLCustomGroup;
class TRLCustomPager;
class TRLCustomSkipper;
class TRLCustomReport;
class TRLGraphicSurface;

using TRLBeforePrintEvent = std::function<void(TRLCustomControl* Sender, bool& PrintIt)>;
using TRLBeforeTextEvent = std::function<void(TRLCustomControl* Sender, QString& Text, bool& PrintIt)>;
using TRLAfterPrintEvent = std::function<void(TRLCustomControl* Sender)>;
using TRLNotifyEvent = std::function<void(TRLCustomControl* Sender)>;

// Per-font character advances in whole pixels, as the platform measures (the rounded advances of the
// characters, summed), kept so that measuring a text does not look the font up again. Shared by every
// control with the same face, em height and style.
class TRLTextMeter
{
public:
    // The meter of a font, built on first use and kept for the life of the process.
    static std::shared_ptr<const TRLTextMeter> For(const TFont& font);

    int Width(QStringView text) const;
    int Height() const { return FHeight; }
    int BlankWidth() const { return FLatin[' ']; }

private:
    TRLTextMeter() = default;
    std::array<int, 256> FLatin {};
    int FHeight = 0;
    QString FFace;
    int FEmPixels = 0;
    int FStyle = 0;
};

class TRLCustomControl : public TControl
{
    Q_OBJECT
    Q_PROPERTY(RLTypes::TRLControlAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(RLTypes::TRLTextAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(RLTypes::TRLControlAnchors Anchors READ Anchors WRITE SetAnchors)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(RLTypes::TRLControlBehavior Behavior READ Behavior WRITE SetBehavior)
    Q_PROPERTY(TRLBorders* Borders READ Borders WRITE SetBorders)
    Q_PROPERTY(QString FriendlyName READ FriendlyName WRITE SetFriendlyName)
    Q_PROPERTY(TRLCustomControl* Holder READ Holder WRITE SetHolder)
    Q_PROPERTY(RLTypes::TRLHoldStyle HoldStyle READ HoldStyle WRITE SetHoldStyle)
    Q_PROPERTY(TRLCustomControl* SecondHolder READ SecondHolder WRITE SetSecondHolder)
    Q_PROPERTY(RLTypes::TRLHoldStyle SecondHoldStyle READ SecondHoldStyle WRITE SetSecondHoldStyle)
    Q_PROPERTY(RLTypes::TRLTextLayout Layout READ Layout WRITE SetLayout)
    Q_PROPERTY(TRLRealBounds* RealBounds READ RealBounds WRITE SetRealBounds)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
public:
    Q_INVOKABLE explicit TRLCustomControl(TComponent* AOwner = nullptr);
    ~TRLCustomControl() override;

    // --- published state ---------------------------------------------------------------------
    TRLControlAlign Align() const { return FAlign; }
    void SetAlign(TRLControlAlign value);
    TRLTextAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TRLTextAlignment value);
    TRLControlAnchors Anchors() const { return FAnchors; }
    void SetAnchors(TRLControlAnchors value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    TRLControlBehavior Behavior() const { return FBehavior; }
    void SetBehavior(TRLControlBehavior value) { FBehavior = value; }
    TRLBorders* Borders() const { return FBorders; }
    // Copies the given frame into the control's own.
    void SetBorders(TRLBorders* value);
    QString FriendlyName() const { return FFriendlyName; }
    // Throws Exception "Nome inválido \"x\"" for a name that is no identifier (cleared silently while
    // loading) and "Nome já utilizado \"x\"" for one that another control of the owner has.
    void SetFriendlyName(const QString& value);
    TRLCustomControl* Holder() const { return FHolders[0].Control; }
    void SetHolder(TRLCustomControl* value) { SetHolderAt(0, value); }
    TRLHoldStyle HoldStyle() const { return FHolders[0].Style; }
    void SetHoldStyle(TRLHoldStyle value) { SetHoldStyleAt(0, value); }
    TRLCustomControl* SecondHolder() const { return FHolders[1].Control; }
    void SetSecondHolder(TRLCustomControl* value) { SetHolderAt(1, value); }
    TRLHoldStyle SecondHoldStyle() const { return FHolders[1].Style; }
    void SetSecondHoldStyle(TRLHoldStyle value) { SetHoldStyleAt(1, value); }
    TRLTextLayout Layout() const { return FLayout; }
    void SetLayout(TRLTextLayout value);
    TRLRealBounds* RealBounds() const { return FRealBounds; }
    void SetRealBounds(TRLRealBounds* value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);

    TRLAfterPrintEvent AfterPrint;
    TRLNotifyEvent OnMeasureHeight;

    // The controls that follow this one (references).
    const QList<TRLCustomControl*>& HeldControls() const { return FHeldControls; }

    // --- print protocol ----------------------------------------------------------------------
    // The control's own text; the base and labels give the caption.
    virtual QString ControlText();
    // Empty while the pager fills the page with filler bands or the skipper prints a blank band;
    // otherwise ControlText.
    QString BuildText();
    virtual bool AskToPrint();
    // The size the control wants; the base keeps its current size.
    virtual void MeasureSize(int& width, int& height);
    void AdjustBounds();
    // Records the control on its site's surface. The base records the group, the fill unless
    // Transparent, and the frame.
    virtual void PrintControl();
    // Re-measures ahead of printing, when the control sizes itself.
    void MeasureHeight();
    // The result of the last AskToPrint.
    bool PrintIt() const { return FPrintIt; }
    bool IsPrinting() const { return FPrinting; }
    // The site sets this around PrintControl.
    void SetPrinting(bool value) { FPrinting = value; }

    // Told by a band that a computable detail band was printed; nothing accumulates here.
    virtual void ComputeDetail(TRLCustomControl* Caller) { Q_UNUSED(Caller); }

    // The current caption (what prints) and the stored one (the design value).
    virtual QString GetCaption() const;
    virtual void SetCaption(const QString& text);
    QVariant AsVariant() const { return FCaption; }

    // --- geometry ----------------------------------------------------------------------------
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    // The bounds in the coordinates of the nearest enclosing site.
    TRect PrintBounds() const;
    // PrintBounds inside the drawn sides of the frame.
    TRect PrintClientRect() const;
    // (0, 0, Width, Height) inside the drawn sides, each taking Borders.Width + 1.
    TRect DesignClientRect() const;
    // Bounds whose frame-inset area is rect.
    void SetClientBounds(const TRect& rect);
    // The report forces its page size through this.
    bool HasFixedSize() const { return FFixedSize; }
    void SetFixedSize(bool fixed, int width = 0, int height = 0);
    // Design bounds, saved before a printing and restored after it.
    void SaveDesignBounds();
    void RestoreDesignBounds();
    // Told by the owned geometry objects; Resize when the client area may have changed.
    virtual void GeometryChanged(TPersistent* Sender, bool Resize);

    // --- enclosing components ----------------------------------------------------------------
    TRLCustomSite* ParentSite() const;
    TRLCustomBand* ParentBand() const;
    // The nearest group, unless a pager that is not a group comes first.
    TRLCustomGroup* ParentGroup() const;
    TRLCustomPager* ParentPager() const;
    // The nearest skipper / report, this control included.
    TRLCustomSkipper* ParentSkipper() const;
    TRLCustomReport* ParentReport() const;
    // The first report of the chain that ParentReport belongs to.
    TRLCustomReport* MasterReport() const;
    // The surface of the nearest enclosing site.
    TRLGraphicSurface* ParentSurface() const;
    // The strict forms throw Exception "Não encontrado: <Name>.ParentPager" (and so on) when missing.
    TRLCustomPager* RequireParentPager() const;
    TRLCustomSkipper* RequireParentSkipper() const;
    TRLCustomReport* RequireParentReport() const;
    TRLGraphicSurface* RequireParentSurface() const;
    // The report exists and is writing or closing its pages.
    bool IsPreparing() const;

    // --- loading -----------------------------------------------------------------------------
    // Loading brackets for code that fills a control outside a definition; Loaded runs at the end.
    // A definition being read (TComponent::IsLoading) counts as loading too.
    void BeginLoad() { ++FLoadLevel; }
    void EndLoad();
    bool Loading() const { return FLoadLevel > 0 || IsLoading(); }

    void SetName(const QString& name) override;

    // Holders are stored when set; the rest as the platform decides.
    bool IsPropertyStored(const QMetaProperty& property) const override;

protected:
    // Measuring and realignment wait while loading, so that the order of the stored properties does
    // not matter (a Width before AutoSize = False, a Font after a Caption); this does them once.
    void Loaded() override;
    void FontChanged() override;
    void ColorChanged() override;

    // The meter of the current font (rebuilt after a font change).
    const TRLTextMeter& TextMeter() const;
    // Set directly (without measuring) by constructors that start out auto-sized.
    bool FAutoSize = false;
    // Whether auto size sets the width (labels) or the height (sites).
    bool FAutoSizeSetsWidth = false;
    bool FAutoSizeSetsHeight = false;
    bool WidthIsFree() const { return IsWidthFreeAlign(FAlign) && !(FAutoSize && FAutoSizeSetsWidth); }
    bool HeightIsFree() const { return IsHeightFreeAlign(FAlign) && !(FAutoSize && FAutoSizeSetsHeight); }

    // The two decision slots; classes publish one of them as BeforePrint.
    TRLBeforePrintEvent FBeforePrint;
    TRLBeforeTextEvent FBeforeText;

    // The stored caption (design value) and the current one.
    QString FStoredCaption;
    QString FCaption;

    // Sites decide printing without the text steps and record the decision here.
    void SetPrintIt(bool value) { FPrintIt = value; }
    // Records the group id, the fill and the frame: the first step of every PrintControl.
    void PrintBase(TRLGraphicSurface* surface);
    [[noreturn]] void RaiseNotFound(const char* qualifier) const;

private:
    struct THold
    {
        TRLCustomControl* Control = nullptr;
        TRLHoldStyle Style = hsAsColumn;
        QPoint Offset; // this control's absolute position minus the holder's
    };
    void SetHolderAt(int index, TRLCustomControl* value);
    void SetHoldStyleAt(int index, TRLHoldStyle value);
    void RegisterHolder(int index);
    void ApplyHolders(int& left, int& top, int& width, int& height) const;
    void ExpandParentSite(int oldWidth, int oldHeight);
    void UpdateHeldControls();
    void RealignParent();

    TRLControlAlign FAlign = faNone;
    TRLTextAlignment FAlignment = taLeftJustify;
    TRLControlAnchors FAnchors;
    TRLControlBehavior FBehavior;
    TRLBorders* FBorders = nullptr;
    TRLRealBounds* FRealBounds = nullptr;
    QString FFriendlyName;
    std::array<THold, 2> FHolders;
    QList<TRLCustomControl*> FHeldControls;
    TRLTextLayout FLayout = tlTop;
    bool FTransparent = true;
    bool FPrintIt = false;

    TRect FSavedBounds;
    TRect FDesignBounds;
    bool FFixedSize = false;
    int FFixedWidth = 0;
    int FFixedHeight = 0;
    int FLoadLevel = 0;

    bool FMeasuring = false;
    bool FUpdatingHeld = false;
    bool FExpandingSite = false;
    bool FRestoringBounds = false;
    bool FMeasuringHeight = false;
    bool FPrinting = false;

    mutable std::shared_ptr<const TRLTextMeter> FTextMeter;

    // The enclosing containers, asked for many times per control and record while a report is
    // prepared. One walk up the parent chain fills them; they stand while no control list of the
    // program changed (TControl::TreeGeneration) and this control kept its class. The class is
    // compared because it changes under construction and destruction, and a cast's answer with it;
    // the engine's control classes touch the tree when they are complete and when they start to go,
    // for the same reason on the containers' side.
    struct TParentLinks
    {
        bool Known = false;
        quint64 Generation = 0;
        const QMetaObject* Class = nullptr;
        TRLCustomSite* Site = nullptr;
        TRLCustomBand* Band = nullptr;
        TRLCustomGroup* Group = nullptr;
        TRLCustomPager* Pager = nullptr;
        TRLCustomSkipper* Skipper = nullptr;
        TRLCustomReport* Report = nullptr;
    };
    mutable TParentLinks FParentLinks;
    const TParentLinks& ParentLinks() const
    {
        if (FParentLinks.Known && FParentLinks.Generation == TControl::TreeGeneration()
            && FParentLinks.Class == metaObject())
            return FParentLinks;
        return FindParentLinks();
    }
    const TParentLinks& FindParentLinks() const;
};
