#include "engine/RLControl.h"

#include "engine/RLConsts.h"
#include "engine/RLSite.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"
#include "platform/TextMeasure.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QScopedValueRollback>

namespace {

// How far a held control sits from its holder's edge by its own alignment and layout.
QPoint HoldAlignmentOffset(
    TRLTextAlignment alignment, TRLTextLayout layout, const TControl* holder, int width, int height)
{
    int cx = 0;
    if (alignment == taRightJustify)
        cx = holder->Width() - width;
    else if (alignment == taCenter)
        cx = (holder->Width() - width) / 2;
    int cy = 0;
    if (layout == tlBottom)
        cy = holder->Height() - height;
    else if (layout == tlCenter)
        cy = (holder->Height() - height) / 2;
    return QPoint(cx, cy);
}

// The platform's identifiers: a letter or underscore, then letters, digits and underscores (ASCII).
bool IsValidIdent(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
        const bool digit = c >= u'0' && c <= u'9';
        if (!(letter || (i > 0 && digit)))
            return false;
    }
    return true;
}

// Longest chain of prior reports followed; a chain that loops is cut there instead of spinning.
constexpr int MaxReportChain = 4096;

} // namespace

// ---------------------------------------------------------------------------------------------------
// TRLTextMeter

std::shared_ptr<const TRLTextMeter> TRLTextMeter::For(const TFont& font)
{
    static QMutex mutex;
    static auto* meters = new QHash<QString, std::shared_ptr<const TRLTextMeter>>();
    const QString face = font.Name();
    const int em = font.PixelEmHeight();
    const int style = font.Style() & (fsBold | fsItalic);
    const QString key
        = face.toLower() + QLatin1Char('|') + QString::number(em) + QLatin1Char('|') + QString::number(style);
    QMutexLocker lock(&mutex);
    auto it = meters->constFind(key);
    if (it != meters->constEnd())
        return it.value();
    std::shared_ptr<TRLTextMeter> meter(new TRLTextMeter);
    meter->FFace = face;
    meter->FEmPixels = em;
    meter->FStyle = style;
    for (int c = 0; c < 256; ++c)
        meter->FLatin[std::size_t(c)] = ::TextWidth(face, em, style, QString(QChar(char16_t(c))));
    meter->FHeight = ::TextMetrics(face, em, style).Height;
    meters->insert(key, meter);
    return meter;
}

int TRLTextMeter::Width(QStringView text) const
{
    qint64 width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 256) // beyond the cached range: measure the whole text the long way
            return ::TextWidth(FFace, FEmPixels, FStyle, text.toString());
        width += FLatin[u];
    }
    return int(qMin<qint64>(width, std::numeric_limits<int>::max()));
}

// ---------------------------------------------------------------------------------------------------
// TRLCustomControl

TRLCustomControl::TRLCustomControl(TComponent* AOwner)
    : TControl(AOwner)
{
    FBorders = new TRLBorders(this);
    FRealBounds = new TRLRealBounds(this);
}

TRLCustomControl::~TRLCustomControl()
{
    TouchTree(); // casts to the derived classes no longer answer for this control
    // Nobody may keep following, or being followed by, a control that is gone.
    for (TRLCustomControl* held : std::as_const(FHeldControls))
        for (THold& hold : held->FHolders)
            if (hold.Control == this)
                hold.Control = nullptr;
    FHeldControls.clear();
    for (THold& hold : FHolders)
        if (hold.Control) {
            hold.Control->FHeldControls.removeAll(this);
            hold.Control = nullptr;
        }
}

// --- published state -------------------------------------------------------------------------

void TRLCustomControl::SetAlign(TRLControlAlign value)
{
    if (value == FAlign)
        return;
    const TRLControlAlign old = FAlign;
    if (value != faNone)
        FAnchors = TRLControlAnchors();
    // Moving between an alignment that fixes one dimension and one that fixes the other: measure the
    // free size first, so the control does not keep a size its old alignment forced on it.
    if ((IsHeightFreeAlign(old) && IsWidthFreeAlign(value))
        || (IsWidthFreeAlign(old) && IsHeightFreeAlign(value))) {
        FAlign = faNone;
        AdjustBounds();
    }
    FAlign = value;
    if (Parent())
        Parent()->Realign();
}

void TRLCustomControl::SetAlignment(TRLTextAlignment value)
{
    if (value == FAlignment)
        return;
    FAlignment = value;
    Invalidate();
}

void TRLCustomControl::SetAnchors(TRLControlAnchors value)
{
    if (value == FAnchors)
        return;
    FAnchors = value;
    if (value != TRLControlAnchors() && FAlign != faNone)
        SetAlign(faNone);
}

void TRLCustomControl::SetAutoSize(bool value)
{
    if (value == FAutoSize)
        return;
    FAutoSize = value;
    if (value)
        AdjustBounds();
    Invalidate();
}

void TRLCustomControl::SetBorders(TRLBorders* value)
{
    if (value && value != FBorders)
        FBorders->Assign(value);
    Invalidate();
}

void TRLCustomControl::SetRealBounds(TRLRealBounds* value)
{
    if (value && value != FRealBounds)
        FRealBounds->Assign(value);
}

void TRLCustomControl::SetFriendlyName(const QString& value)
{
    QString name = value;
    if (name == Name())
        name.clear();
    if (name == FFriendlyName)
        return;
    if (!name.isEmpty()) {
        if (!IsValidIdent(name)) {
            if (!Loading())
                throw Exception(
                    RLMessage(RLMsgInvalidName) + QStringLiteral(" \"") + name + QLatin1Char('"'));
            name.clear();
        } else if (TComponent* owner = Owner()) {
            for (TComponent* sibling : owner->ComponentList()) {
                auto* control = ClassCast<TRLCustomControl*>(sibling);
                if (control && control != this
                    && control->FFriendlyName.compare(name, Qt::CaseInsensitive) == 0)
                    throw Exception(
                        RLMessage(RLMsgNameAlreadyInUse) + QStringLiteral(" \"") + name + QLatin1Char('"'));
            }
        }
    }
    if (name == FFriendlyName)
        return;
    FFriendlyName = name;
    AdjustBounds();
    Invalidate();
}

void TRLCustomControl::SetName(const QString& name)
{
    if (name == Name())
        return;
    TControl::SetName(name);
    AdjustBounds();
    Invalidate();
}

void TRLCustomControl::SetLayout(TRLTextLayout value)
{
    if (value == FLayout)
        return;
    FLayout = value;
    Invalidate();
}

void TRLCustomControl::SetTransparent(bool value)
{
    if (value == FTransparent)
        return;
    FTransparent = value;
    if (value) {
        if (ClassCast<TRLCustomReport*>(this))
            SetColor(clWhite);
        else
            SetParentColor(true);
    }
    Invalidate();
}

void TRLCustomControl::ColorChanged()
{
    // Only a colour of the control's own turns the fill on; following the parent's colour does not.
    if (!Loading() && FTransparent && !ParentColor() && Color() != clWhite)
        FTransparent = false;
}

void TRLCustomControl::FontChanged()
{
    FTextMeter.reset();
    AdjustBounds();
    Invalidate();
}

const TRLTextMeter& TRLCustomControl::TextMeter() const
{
    if (!FTextMeter)
        FTextMeter = TRLTextMeter::For(*Font());
    return *FTextMeter;
}

bool TRLCustomControl::IsPropertyStored(const QMetaProperty& property) const
{
    const QByteArrayView name(property.name());
    if (name == "Holder")
        return Holder() != nullptr;
    if (name == "SecondHolder")
        return SecondHolder() != nullptr;
    return TControl::IsPropertyStored(property);
}

void TRLCustomControl::EndLoad()
{
    if (FLoadLevel > 0 && --FLoadLevel == 0)
        Loaded();
}

void TRLCustomControl::Loaded()
{
    TControl::Loaded();
    if (Loading())
        return;
    if (ControlCount() > 0)
        Realign();
    AdjustBounds();
}

// --- holders ---------------------------------------------------------------------------------

void TRLCustomControl::SetHolderAt(int index, TRLCustomControl* value)
{
    THold& hold = FHolders[std::size_t(index)];
    // A control cannot follow itself: its every move would have to precede itself.
    if (value == this || value == hold.Control)
        return;
    if (TRLCustomControl* old = hold.Control) {
        hold.Control = nullptr;
        if (FHolders[std::size_t(1 - index)].Control != old)
            old->FHeldControls.removeAll(this);
    }
    hold.Control = value;
    RegisterHolder(index);
}

void TRLCustomControl::SetHoldStyleAt(int index, TRLHoldStyle value)
{
    THold& hold = FHolders[std::size_t(index)];
    if (value == hold.Style)
        return;
    hold.Style = value;
    RegisterHolder(index);
}

void TRLCustomControl::RegisterHolder(int index)
{
    THold& hold = FHolders[std::size_t(index)];
    if (!hold.Control)
        return;
    if (!hold.Control->FHeldControls.contains(this))
        hold.Control->FHeldControls.append(this);
    hold.Offset = QPoint(
        AbsoluteLeft(this) - AbsoluteLeft(hold.Control), AbsoluteTop(this) - AbsoluteTop(hold.Control));
    // A definition stores the place that the holder gave the control, alignment offset included; read
    // back, the offset is taken net of it, or reading would move the control by it once more.
    if (Loading())
        hold.Offset -= HoldAlignmentOffset(FAlignment, FLayout, hold.Control, Width(), Height());
    AdjustBounds();
}

void TRLCustomControl::ApplyHolders(int& left, int& top, int& width, int& height) const
{
    for (const THold& hold : FHolders) {
        const TRLCustomControl* holder = hold.Control;
        if (!holder)
            continue;
        const QPoint alignmentOffset = HoldAlignmentOffset(FAlignment, FLayout, holder, width, height);
        const int cx = alignmentOffset.x();
        const int cy = alignmentOffset.y();
        const bool copyWidth = WidthIsFree();
        const bool copyHeight = HeightIsFree();
        switch (hold.Style) {
        case hsAsColumn:
            // The offset of the width the control ends up with: taken before the width is copied,
            // it would move the control on every other bounds change.
            if (copyWidth)
                width = holder->Width();
            left = ToParentX(this,
                AbsoluteLeft(holder) + HoldAlignmentOffset(FAlignment, FLayout, holder, width, height).x());
            break;
        case hsHorizontally:
            left = ToParentX(this, AbsoluteLeft(holder) + hold.Offset.x() + cx);
            break;
        case hsVertically:
            top = ToParentY(this, AbsoluteTop(holder) + hold.Offset.y() + cy);
            break;
        case hsRelatively:
            left = ToParentX(this, AbsoluteLeft(holder) + hold.Offset.x() + cx);
            top = ToParentY(this, AbsoluteTop(holder) + hold.Offset.y() + cy);
            break;
        case hsCopyWidth:
            if (copyWidth)
                width = holder->Width();
            break;
        case hsCopyHeight:
            if (copyHeight)
                height = holder->Height();
            break;
        case hsCopySize:
            if (copyWidth)
                width = holder->Width();
            if (copyHeight)
                height = holder->Height();
            break;
        }
    }
}

void TRLCustomControl::UpdateHeldControls()
{
    if (FUpdatingHeld || FHeldControls.isEmpty())
        return;
    const QScopedValueRollback updating(FUpdatingHeld, true);
    const QList<TRLCustomControl*> held = FHeldControls;
    for (TRLCustomControl* control : held)
        control->AdjustBounds();
}

// --- bounds ----------------------------------------------------------------------------------

void TRLCustomControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    if (FFixedSize) {
        AWidth = FFixedWidth;
        AHeight = FFixedHeight;
    }
    ApplyHolders(ALeft, ATop, AWidth, AHeight);
    AWidth = qMax(0, AWidth);
    AHeight = qMax(0, AHeight);
    ConstrainSize(AWidth, AHeight);
    const TRect requested = TRect::Bounds(ALeft, ATop, AWidth, AHeight);
    if (requested == FSavedBounds && requested == TRect::FromQRect(BoundsRect())) {
        if (ControlCount() > 0)
            Realign();
        UpdateHeldControls();
        return;
    }
    const int oldWidth = Width();
    const int oldHeight = Height();
    TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    FSavedBounds = requested;
    ExpandParentSite(oldWidth, oldHeight);
    if (!Loading())
        RealignParent();
    if (ControlCount() > 0)
        Realign();
    UpdateHeldControls();
}

void TRLCustomControl::RealignParent()
{
    // Only aligned or anchored controls take part in their parent's alignment; a free control's
    // move changes nobody else's place.
    TControl* parent = Parent();
    if (parent && (FAlign != faNone || FAnchors != TRLControlAnchors()) && Visible())
        parent->Realign();
}

void TRLCustomControl::ExpandParentSite(int oldWidth, int oldHeight)
{
    if (Loading() || FRestoringBounds || FExpandingSite)
        return;
    const QScopedValueRollback expanding(FExpandingSite, true);
    const bool expander = FBehavior.testFlag(beSiteExpander);
    if (IsWidthFreeAlign(FAlign)) {
        TRLCustomSite* site = nullptr;
        for (TControl* p = Parent(); p; p = p->Parent()) {
            auto* candidate = ClassCast<TRLCustomSite*>(p);
            if (candidate && IsWidthFreeAlign(candidate->Align())) {
                site = candidate;
                break;
            }
        }
        if (site && site->CanGrowWidth()) {
            if (site->AutoSize())
                site->AdjustBounds();
            else if (site->AutoExpand() && expander && Width() != oldWidth)
                site->SetWidth(site->Width() + Width() - oldWidth);
        }
    }
    if (IsHeightFreeAlign(FAlign)) {
        TRLCustomSite* site = nullptr;
        for (TControl* p = Parent(); p; p = p->Parent()) {
            auto* candidate = ClassCast<TRLCustomSite*>(p);
            if (candidate && IsHeightFreeAlign(candidate->Align())) {
                site = candidate;
                break;
            }
        }
        if (site && site->CanGrowHeight()) {
            if (site->AutoSize())
                site->AdjustBounds();
            else if (site->AutoExpand() && expander && Height() != oldHeight)
                site->SetHeight(site->Height() + Height() - oldHeight);
        }
    }
}

void TRLCustomControl::SetFixedSize(bool fixed, int width, int height)
{
    FFixedSize = fixed;
    FFixedWidth = qMax(0, width);
    FFixedHeight = qMax(0, height);
    if (fixed)
        SetBounds(Left(), Top(), FFixedWidth, FFixedHeight);
}

void TRLCustomControl::SaveDesignBounds()
{
    FDesignBounds = TRect::FromQRect(BoundsRect());
}

void TRLCustomControl::RestoreDesignBounds()
{
    const QScopedValueRollback restoring(FRestoringBounds, true);
    SetBounds(FDesignBounds.Left, FDesignBounds.Top, FDesignBounds.Width(), FDesignBounds.Height());
}

void TRLCustomControl::GeometryChanged(TPersistent* Sender, bool Resize)
{
    Q_UNUSED(Sender);
    if (Resize && !Loading())
        AdjustBounds();
    Invalidate();
}

TRect TRLCustomControl::PrintBounds() const
{
    int left = Left();
    int top = Top();
    for (TControl* p = Parent(); p && !ClassCast<TRLCustomSite*>(p); p = p->Parent()) {
        left += p->Left();
        top += p->Top();
    }
    return TRect::Bounds(left, top, Width(), Height());
}

TRect TRLCustomControl::PrintClientRect() const
{
    TRect rect = PrintBounds();
    rect.Left += FBorders->DrawnWidth(TRLBorders::sLeft);
    rect.Top += FBorders->DrawnWidth(TRLBorders::sTop);
    rect.Right -= FBorders->DrawnWidth(TRLBorders::sRight);
    rect.Bottom -= FBorders->DrawnWidth(TRLBorders::sBottom);
    return rect;
}

TRect TRLCustomControl::DesignClientRect() const
{
    TRect rect(0, 0, Width(), Height());
    const int inset = FBorders->Width() + 1;
    if (FBorders->IsSideDrawn(TRLBorders::sLeft))
        rect.Left += inset;
    if (FBorders->IsSideDrawn(TRLBorders::sTop))
        rect.Top += inset;
    if (FBorders->IsSideDrawn(TRLBorders::sRight))
        rect.Right -= inset;
    if (FBorders->IsSideDrawn(TRLBorders::sBottom))
        rect.Bottom -= inset;
    return rect;
}

void TRLCustomControl::SetClientBounds(const TRect& rect)
{
    TRect bounds = rect;
    bounds.Left -= FBorders->DrawnWidth(TRLBorders::sLeft);
    bounds.Top -= FBorders->DrawnWidth(TRLBorders::sTop);
    bounds.Right += FBorders->DrawnWidth(TRLBorders::sRight);
    bounds.Bottom += FBorders->DrawnWidth(TRLBorders::sBottom);
    SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
}

// --- print protocol --------------------------------------------------------------------------

QString TRLCustomControl::GetCaption() const
{
    return IsPreparing() ? FCaption : FStoredCaption;
}

void TRLCustomControl::SetCaption(const QString& text)
{
    FCaption = text;
    if (!IsPreparing())
        FStoredCaption = text;
    AdjustBounds();
    Invalidate();
}

QString TRLCustomControl::ControlText()
{
    return GetCaption();
}

QString TRLCustomControl::BuildText()
{
    // One check of the parent chain for both questions: this runs for every control of every band.
    const TParentLinks& links = ParentLinks();
    const TRLCustomPager* pager = links.Pager;
    const TRLCustomSkipper* skipper = links.Skipper;
    if (pager && pager->IsCompleting())
        return QString();
    if (skipper && skipper->RecordAction() == raBlankAndRetain)
        return QString();
    return ControlText();
}

bool TRLCustomControl::AskToPrint()
{
    bool printIt = Visible();
    if (printIt && FBeforePrint)
        FBeforePrint(this, printIt);
    QString text;
    if (printIt) {
        text = BuildText();
        if (FBeforeText)
            FBeforeText(this, text, printIt);
    }
    if (printIt) {
        TRLCustomReport* report = ParentReport();
        if (report && report->OnFilterText)
            report->OnFilterText(report, text, printIt);
    }
    if (printIt)
        SetCaption(text);
    FPrintIt = printIt;
    return printIt;
}

void TRLCustomControl::MeasureSize(int& width, int& height)
{
    width = Width();
    height = Height();
}

void TRLCustomControl::AdjustBounds()
{
    if (FMeasuring || Loading())
        return;
    const QScopedValueRollback measuring(FMeasuring, true);
    int w = Width();
    int h = Height();
    MeasureSize(w, h);
    const int L = Left();
    const int T = Top();
    const int W = Width();
    const int H = Height();
    int left = L;
    int right = L + w;
    switch (FAlignment) {
    case taRightJustify:
        right = L + W;
        left = right - w;
        break;
    case taCenter:
        w += w % 2;
        left = L + (W - w) / 2;
        right = left + w;
        break;
    case taLeftJustify:
    case taJustify:
        break;
    }
    int top = T;
    int bottom = T + h;
    switch (FLayout) {
    case tlBottom:
        bottom = T + H;
        top = bottom - h;
        break;
    case tlCenter:
        h += h % 2;
        top = T + (H - h) / 2;
        bottom = top + h;
        break;
    case tlTop:
    case tlJustify:
        break;
    }
    SetBounds(left, top, right - left, bottom - top);
}

void TRLCustomControl::PrintBase(TRLGraphicSurface* surface)
{
    NewGroupId();
    const TRect bounds = PrintBounds();
    if (!FTransparent) {
        TBrush& brush = surface->CurrentBrush();
        brush.SetColor(Color());
        brush.SetStyle(bsSolid);
        surface->FillRect(bounds);
    }
    FBorders->DrawBorders(surface, bounds);
}

void TRLCustomControl::PrintControl()
{
    PrintBase(RequireParentSurface());
}

void TRLCustomControl::MeasureHeight()
{
    if (!Visible() || Loading() || FMeasuringHeight)
        return;
    const auto* site = ClassCast<const TRLCustomSite*>(this);
    const bool sizesItself = FAutoSize || (site && site->AutoExpand()) || OnMeasureHeight;
    if (!sizesItself)
        return;
    const QScopedValueRollback measuring(FMeasuringHeight, true);
    SetCaption(BuildText());
    if (OnMeasureHeight)
        OnMeasureHeight(this);
    AdjustBounds();
}

// --- enclosing components --------------------------------------------------------------------

const TRLCustomControl::TParentLinks& TRLCustomControl::FindParentLinks() const
{
    TParentLinks& links = FParentLinks;
    const quint64 generation = TControl::TreeGeneration();
    const QMetaObject* cls = metaObject();
    links = TParentLinks();
    // The skipper and the report may be this control itself; the others are strictly above it.
    // Every container is a site, so only sites are asked what else they are.
    auto* self = const_cast<TRLCustomControl*>(this);
    links.Skipper = ClassCast<TRLCustomSkipper*>(self);
    links.Report = ClassCast<TRLCustomReport*>(self);
    for (TControl* c = self->Parent(); c; c = c->Parent()) {
        auto* site = ClassCast<TRLCustomSite*>(c);
        if (!site)
            continue;
        if (!links.Site)
            links.Site = site;
        if (!links.Band)
            links.Band = ClassCast<TRLCustomBand*>(site);
        if (!links.Pager) {
            if (auto* pager = ClassCast<TRLCustomPager*>(site)) {
                links.Pager = pager;
                // A group counts only when no other pager comes between.
                links.Group = ClassCast<TRLCustomGroup*>(pager);
            }
        }
        if (!links.Skipper)
            links.Skipper = ClassCast<TRLCustomSkipper*>(site);
        if (!links.Report)
            links.Report = ClassCast<TRLCustomReport*>(site);
    }
    links.Known = true;
    links.Generation = generation;
    links.Class = cls;
    return links;
}

TRLCustomSite* TRLCustomControl::ParentSite() const
{
    return ParentLinks().Site;
}

TRLCustomBand* TRLCustomControl::ParentBand() const
{
    return ParentLinks().Band;
}

TRLCustomGroup* TRLCustomControl::ParentGroup() const
{
    return ParentLinks().Group;
}

TRLCustomPager* TRLCustomControl::ParentPager() const
{
    return ParentLinks().Pager;
}

TRLCustomSkipper* TRLCustomControl::ParentSkipper() const
{
    return ParentLinks().Skipper;
}

TRLCustomReport* TRLCustomControl::ParentReport() const
{
    return ParentLinks().Report;
}

TRLCustomReport* TRLCustomControl::MasterReport() const
{
    TRLCustomReport* report = ParentReport();
    for (int i = 0; report && report->PriorReport() && i < MaxReportChain; ++i)
        report = report->PriorReport();
    return report;
}

TRLGraphicSurface* TRLCustomControl::ParentSurface() const
{
    const TRLCustomSite* site = ParentSite();
    return site ? site->Surface() : nullptr;
}

void TRLCustomControl::RaiseNotFound(const char* qualifier) const
{
    throw Exception(RLMessage(RLMsgNotFound) + QStringLiteral(": ") + Name() + QLatin1String(qualifier));
}

TRLCustomPager* TRLCustomControl::RequireParentPager() const
{
    TRLCustomPager* pager = ParentPager();
    if (!pager)
        RaiseNotFound(".ParentPager");
    return pager;
}

TRLCustomSkipper* TRLCustomControl::RequireParentSkipper() const
{
    TRLCustomSkipper* skipper = ParentSkipper();
    if (!skipper)
        RaiseNotFound(".ParentSkipper");
    return skipper;
}

TRLCustomReport* TRLCustomControl::RequireParentReport() const
{
    TRLCustomReport* report = ParentReport();
    if (!report)
        RaiseNotFound(".ParentReport");
    return report;
}

TRLGraphicSurface* TRLCustomControl::RequireParentSurface() const
{
    TRLGraphicSurface* surface = ParentSurface();
    if (!surface)
        RaiseNotFound(".ParentSurface");
    return surface;
}

bool TRLCustomControl::IsPreparing() const
{
    const TRLCustomReport* report = ParentReport();
    return report && (report->State() == rsWriting || report->State() == rsClosing);
}
