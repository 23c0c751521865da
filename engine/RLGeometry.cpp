#include "engine/RLGeometry.h"

#include "engine/RLControl.h"
#include "engine/RLSite.h"
#include "pagestore/RLMetaFile.h"

#include <QPainter>
#include <cmath>

namespace {

TRLCustomControl* OwnerControl(QObject* parent)
{
    return ClassCast<TRLCustomControl*>(parent);
}

void Notify(TRLCustomControl* owner, TPersistent* sender, bool resize)
{
    if (owner)
        owner->GeometryChanged(sender, resize);
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// TRLBorders

TRLBorders::TRLBorders(QObject* parent)
    : TPersistent(parent)
    , FParentControl(OwnerControl(parent))
{ }

void TRLBorders::SetParentControl(TRLCustomControl* value)
{
    if (value == FParentControl)
        return;
    FParentControl = value;
    Changed(true);
}

void TRLBorders::SetSides(TRLBorderSides value)
{
    if (value == FSides)
        return;
    FSides = value;
    if (value == sdNone) {
        FDrawLeft = FDrawTop = FDrawRight = FDrawBottom = false;
        FFixedLeft = FFixedTop = FFixedRight = FFixedBottom = false;
    } else if (value == sdAll) {
        FDrawLeft = FDrawTop = FDrawRight = FDrawBottom = true;
    } else {
        return; // sdCustom only records the choice
    }
    Changed(true);
}

void TRLBorders::SetDraw(bool& draw, bool& fixed, bool value)
{
    if (value == draw)
        return;
    draw = value;
    if (!value)
        fixed = false;
    DeriveSides();
    Changed(true);
}

void TRLBorders::SetFixed(bool& fixed, bool draw, bool value, void (TRLBorders::*setDraw)(bool))
{
    if (value == fixed)
        return;
    fixed = value;
    if (value && !draw)
        (this->*setDraw)(true);
}

void TRLBorders::DeriveSides()
{
    const bool all = FDrawLeft && FDrawTop && FDrawRight && FDrawBottom;
    if (all && FSides == sdAll)
        return;
    const bool any = FDrawLeft || FDrawTop || FDrawRight || FDrawBottom;
    if (any || FSides != sdNone)
        FSides = sdCustom;
}

void TRLBorders::SetWidth(int value)
{
    if (value < 0 || value == FWidth)
        return;
    FWidth = value;
    Changed(true);
}

void TRLBorders::SetColor(TColor value)
{
    if (value == FColor)
        return;
    FColor = value;
    Changed(false);
}

void TRLBorders::SetStyle(TBrushStyle value)
{
    if (value == FStyle)
        return;
    FStyle = value;
    Changed(false);
}

void TRLBorders::Changed(bool resize)
{
    Notify(FParentControl, this, resize);
}

bool TRLBorders::IsSideDrawn(TSide side) const
{
    bool draw = false;
    bool fixed = false;
    switch (side) {
    case sLeft:
        draw = FDrawLeft;
        fixed = FFixedLeft;
        break;
    case sTop:
        draw = FDrawTop;
        fixed = FFixedTop;
        break;
    case sRight:
        draw = FDrawRight;
        fixed = FFixedRight;
        break;
    case sBottom:
        draw = FDrawBottom;
        fixed = FFixedBottom;
        break;
    }
    if (!draw)
        return false;
    if (fixed)
        return true;
    const TRLCustomReport* report = ::ParentReport(FParentControl);
    return report && report->PrintQuality() == pqFullFeature;
}

void TRLBorders::DrawBorders(TRLGraphicSurface* target, const TRect& rect) const
{
    // Most controls have no frame: leave the surface's pen and brush alone for them.
    if (!target || FWidth <= 0 || !(FDrawLeft || FDrawTop || FDrawRight || FDrawBottom))
        return;
    TPen& pen = target->CurrentPen();
    pen.SetColor(FColor);
    pen.SetStyle(psSolid);
    pen.SetMode(pmCopy);
    pen.SetWidth(1);
    TBrush& brush = target->CurrentBrush();
    brush.SetColor(FColor);
    brush.SetStyle(bsSolid);
    if (IsSideDrawn(sLeft))
        target->Rectangle(rect.Left, rect.Top, rect.Left + FWidth, rect.Bottom);
    if (IsSideDrawn(sTop))
        target->Rectangle(rect.Left, rect.Top, rect.Right, rect.Top + FWidth);
    if (IsSideDrawn(sRight))
        target->Rectangle(rect.Right - FWidth, rect.Top, rect.Right, rect.Bottom);
    if (IsSideDrawn(sBottom))
        target->Rectangle(rect.Left, rect.Bottom - FWidth, rect.Right, rect.Bottom);
}

void TRLBorders::Assign(const TPersistent* Source)
{
    const auto* other = qobject_cast<const TRLBorders*>(Source);
    if (!other) {
        TPersistent::Assign(Source);
        return;
    }
    if (other == this)
        return;
    FSides = other->FSides;
    FDrawLeft = other->FDrawLeft;
    FDrawTop = other->FDrawTop;
    FDrawRight = other->FDrawRight;
    FDrawBottom = other->FDrawBottom;
    FFixedLeft = other->FFixedLeft;
    FFixedTop = other->FFixedTop;
    FFixedRight = other->FFixedRight;
    FFixedBottom = other->FFixedBottom;
    FWidth = other->FWidth;
    FColor = other->FColor;
    FStyle = other->FStyle;
    Changed(true);
}

bool TRLBorders::IsPropertyStored(const QMetaProperty& property) const
{
    const QByteArrayView name(property.name());
    if (name == "DrawLeft" || name == "DrawTop" || name == "DrawRight" || name == "DrawBottom")
        return FSides == sdCustom;
    return TPersistent::IsPropertyStored(property);
}

// ---------------------------------------------------------------------------------------------------
// TRLMargins

TRLMargins::TRLMargins(QObject* parent)
    : TPersistent(parent)
    , FParentControl(OwnerControl(parent))
{ }

void TRLMargins::SetMargin(double& margin, double value)
{
    if (value == margin)
        return;
    margin = value;
    UpdatePixels();
    Notify(FParentControl, this, true);
}

void TRLMargins::UpdatePixels()
{
    FPixels[0] = MillimetresToPixels(FLeft);
    FPixels[1] = MillimetresToPixels(FTop);
    FPixels[2] = MillimetresToPixels(FRight);
    FPixels[3] = MillimetresToPixels(FBottom);
}

void TRLMargins::SetDefaults(double left, double top, double right, double bottom)
{
    FDefaultLeft = left;
    FDefaultTop = top;
    FDefaultRight = right;
    FDefaultBottom = bottom;
    const bool changed = FLeft != left || FTop != top || FRight != right || FBottom != bottom;
    FLeft = left;
    FTop = top;
    FRight = right;
    FBottom = bottom;
    UpdatePixels();
    if (changed)
        Notify(FParentControl, this, true);
}

void TRLMargins::Assign(const TPersistent* Source)
{
    const auto* other = qobject_cast<const TRLMargins*>(Source);
    if (!other) {
        TPersistent::Assign(Source);
        return;
    }
    SetLeftMargin(other->FLeft);
    SetTopMargin(other->FTop);
    SetRightMargin(other->FRight);
    SetBottomMargin(other->FBottom);
}

QVariantMap TRLMargins::CustomProperties() const
{
    QVariantMap result;
    if (FLeft != FDefaultLeft)
        result.insert(QStringLiteral("LeftMargin"), FLeft);
    if (FTop != FDefaultTop)
        result.insert(QStringLiteral("TopMargin"), FTop);
    if (FRight != FDefaultRight)
        result.insert(QStringLiteral("RightMargin"), FRight);
    if (FBottom != FDefaultBottom)
        result.insert(QStringLiteral("BottomMargin"), FBottom);
    return result;
}

bool TRLMargins::ReadCustomProperty(const QString& name, const QVariant& value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return false;
    if (name.compare(QLatin1String("LeftMargin"), Qt::CaseInsensitive) == 0)
        SetLeftMargin(number);
    else if (name.compare(QLatin1String("TopMargin"), Qt::CaseInsensitive) == 0)
        SetTopMargin(number);
    else if (name.compare(QLatin1String("RightMargin"), Qt::CaseInsensitive) == 0)
        SetRightMargin(number);
    else if (name.compare(QLatin1String("BottomMargin"), Qt::CaseInsensitive) == 0)
        SetBottomMargin(number);
    else
        return false;
    return true;
}

// ---------------------------------------------------------------------------------------------------
// TRLPageSetup

TRLPageSetup::TRLPageSetup(QObject* parent)
    : TPersistent(parent)
    , FParentControl(OwnerControl(parent))
{
    const TRLPaperInfo& info = PaperInfoFor(FPaperSize);
    FPaperWidth = info.Width;
    FPaperHeight = info.Height;
}

void TRLPageSetup::SetPaperSize(TRLPaperSize value)
{
    if (value == FPaperSize)
        return;
    FPaperSize = value;
    if (value != fpCustom) {
        const TRLPaperInfo& info = PaperInfoFor(value);
        FPaperWidth = info.Width;
        FPaperHeight = info.Height;
    }
    Changed();
}

void TRLPageSetup::SetOrientation(TRLPageOrientation value)
{
    if (value == FOrientation)
        return;
    FOrientation = value;
    Changed();
}

void TRLPageSetup::SetPaperWidth(double value)
{
    if (FPaperSize != fpCustom || !(value > 0) || value == FPaperWidth)
        return;
    FPaperWidth = value;
    Changed();
}

void TRLPageSetup::SetPaperHeight(double value)
{
    if (FPaperSize != fpCustom || !(value > 0) || value == FPaperHeight)
        return;
    FPaperHeight = value;
    Changed();
}

void TRLPageSetup::SetForceEmulation(bool value)
{
    if (value == FForceEmulation)
        return;
    FForceEmulation = value;
    Changed();
}

void TRLPageSetup::Changed()
{
    Notify(FParentControl, this, true);
}

void TRLPageSetup::Assign(const TPersistent* Source)
{
    const auto* other = qobject_cast<const TRLPageSetup*>(Source);
    if (!other) {
        TPersistent::Assign(Source);
        return;
    }
    SetPaperSize(other->FPaperSize);
    SetOrientation(other->FOrientation);
    SetPaperWidth(other->FPaperWidth);
    SetPaperHeight(other->FPaperHeight);
    FForceEmulation = other->FForceEmulation;
}

bool TRLPageSetup::IsPropertyStored(const QMetaProperty& property) const
{
    const QByteArrayView name(property.name());
    if (name == "PaperWidth" || name == "PaperHeight")
        return FPaperSize == fpCustom;
    return TPersistent::IsPropertyStored(property);
}

// ---------------------------------------------------------------------------------------------------
// TRLBackground

TRLBackground::TRLBackground(QObject* parent)
    : TPersistent(parent)
    , FParentControl(OwnerControl(parent))
{ }

void TRLBackground::Changed()
{
    Notify(FParentControl, this, false);
}

void TRLBackground::SetAlign(TRLControlAlign value)
{
    if (value == FAlign)
        return;
    FAlign = value;
    Changed();
}

void TRLBackground::SetArrange(TRLImageArrange value)
{
    if (value == FArrange)
        return;
    FArrange = value;
    Changed();
}

void TRLBackground::SetAutoSize(bool value)
{
    if (value == FAutoSize)
        return;
    FAutoSize = value;
    if (value)
        FitToPicture();
    Changed();
}

void TRLBackground::SetHeight(int value)
{
    if (value == FHeight)
        return;
    FHeight = value;
    Changed();
}

void TRLBackground::SetWidth(int value)
{
    if (value == FWidth)
        return;
    FWidth = value;
    Changed();
}

void TRLBackground::SetStretch(bool value)
{
    if (value == FStretch)
        return;
    FStretch = value;
    Changed();
}

void TRLBackground::SetPicture(const TGraphic& value)
{
    FPicture = value;
    if (FAutoSize)
        FitToPicture();
    Changed();
}

void TRLBackground::SetPictureData(const QByteArray& value)
{
    if (value.isEmpty()) {
        SetPicture(TGraphic());
        return;
    }
    const std::unique_ptr<TGraphic> graphic = TGraphic::LoadFromBytes(value);
    SetPicture(*graphic);
}

void TRLBackground::FitToPicture()
{
    if (FPicture.Empty())
        return;
    FWidth = FPicture.Width();
    FHeight = FPicture.Height();
}

void TRLBackground::DrawBackground(TRLGraphicSurface* target, const TRect& rect) const
{
    if (!target || FPicture.Empty() || FPicture.Width() <= 0 || FPicture.Height() <= 0)
        return;
    const int L = rect.Left;
    const int T = rect.Top;
    const int R = rect.Right;
    const int B = rect.Bottom;
    const int W = FWidth;
    const int H = FHeight;
    const int cx = (L + R - W) / 2;
    const int cy = (T + B - H) / 2;
    const int PW = FPicture.Width();
    const int PH = FPicture.Height();

    switch (FArrange) {
    case baAligned: {
        TRect dest;
        switch (FAlign) {
        case faNone:
        case faLeftTop:
            dest = TRect(L, T, L + W, T + H);
            break;
        case faLeft:
        case faLeftMost:
            dest = TRect(L, T, L + W, B);
            break;
        case faTop:
            dest = TRect(L, T, R, T + H);
            break;
        case faRight:
        case faRightMost:
            dest = TRect(R - W, T, R, B);
            break;
        case faBottom:
            dest = TRect(L, B - H, R, B);
            break;
        case faClient:
            dest = TRect(L, T, R, B);
            break;
        case faRightTop:
            dest = TRect(R - W, T, R, T + H);
            break;
        case faLeftBottom:
            dest = TRect(L, B - H, L + W, B);
            break;
        case faRightBottom:
            dest = TRect(R - W, B - H, R, B);
            break;
        case faCenter:
            dest = TRect(cx, cy, cx + W, cy + H);
            break;
        case faCenterLeft:
        case faClientLeft:
        case faLeftOnly:
            dest = TRect(L, cy, L + W, cy + H);
            break;
        case faCenterTop:
        case faClientTop:
        case faTopOnly:
            dest = TRect(cx, T, cx + W, T + H);
            break;
        case faCenterRight:
        case faClientRight:
        case faRightOnly:
            dest = TRect(R - W, cy, R, cy + H);
            break;
        case faCenterBottom:
        case faClientBottom:
        case faBottomOnly:
            dest = TRect(cx, B - H, cx + W, B);
            break;
        case faHeight:
            dest = TRect(cx, T, cx + W, B);
            break;
        case faWidth:
            dest = TRect(L, cy, R, cy + H);
            break;
        }
        if (!FStretch) {
            dest.Right = dest.Left + PW;
            dest.Bottom = dest.Top + PH;
        }
        target->StretchDraw(dest, &FPicture);
        break;
    }
    case baCenter: {
        const TRect dest = FStretch ? TRect(cx, cy, cx + W, cy + H) : TRect(cx, cy, cx + PW, cy + PH);
        target->StretchDraw(dest, &FPicture);
        break;
    }
    case baSidebySide:
    case baDistributed: {
        const int bitmapWidth = R - L;
        const int bitmapHeight = B - T;
        // A tile of no size would never advance the loops below.
        if (bitmapWidth <= 0 || bitmapHeight <= 0 || W <= 0 || H <= 0)
            return;
        if (qint64(bitmapWidth) * bitmapHeight > MaxTiledPixels)
            return;
        QImage bitmap(bitmapWidth, bitmapHeight, QImage::Format_RGB32);
        bitmap.fill(Qt::white);
        {
            QPainter painter(&bitmap);
            int k = 0;
            for (int y = 0; y <= bitmapHeight; y += H) {
                for (int x = -(k * W) / 2; x <= bitmapWidth; x += W) {
                    const QRect tile = FStretch ? QRect(x, y, W, H) : QRect(x, y, PW, PH);
                    FPicture.StretchDraw(painter, tile);
                }
                if (FArrange == baDistributed)
                    k = 1 - k;
            }
        }
        const TGraphic tiled(bitmap, gkBitmap);
        target->StretchDraw(rect, &tiled);
        break;
    }
    }
}

// ---------------------------------------------------------------------------------------------------
// TRLDegradeEffect

TRLDegradeEffect::TRLDegradeEffect(QObject* parent)
    : TPersistent(parent)
    , FParentControl(OwnerControl(parent))
{ }

void TRLDegradeEffect::Changed()
{
    Notify(FParentControl, this, false);
}

void TRLDegradeEffect::SetOppositeColor(TColor value)
{
    if (value == FOppositeColor)
        return;
    FOppositeColor = value;
    Changed();
}

void TRLDegradeEffect::SetDirection(TRLDegradeDirection value)
{
    if (value == FDirection)
        return;
    FDirection = value;
    Changed();
}

void TRLDegradeEffect::SetGranularity(int value)
{
    if (value < 1 || value == FGranularity)
        return;
    FGranularity = value;
    Changed();
}

void TRLDegradeEffect::DrawDegrade(TRLGraphicSurface* target, const TRect& rect) const
{
    DrawDegrade(target, rect, FParentControl ? FParentControl->Color() : clBlack);
}

void TRLDegradeEffect::DrawDegrade(TRLGraphicSurface* target, const TRect& rect, TColor firstColor) const
{
    if (!target)
        return;
    const TColor a = ColorToRGB(firstColor);
    const TColor b = ColorToRGB(FOppositeColor);
    const int g = qMax(1, FGranularity);
    const int size = FDirection == ddVertical ? rect.Height() : rect.Width();
    const int n = int((qint64(size) + g - 1) / g);
    if (n <= 0)
        return;
    const int ac[3] = { GetRValue(a), GetGValue(a), GetBValue(a) };
    const int bc[3] = { GetRValue(b), GetGValue(b), GetBValue(b) };
    TBrush& brush = target->CurrentBrush();
    brush.SetStyle(bsSolid);
    for (int i = 0; i < n; ++i) {
        const long double x = static_cast<long double>(i) / n;
        int c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = ac[k] + RoundHalfEven(bc[k] * x) - RoundHalfEven(ac[k] * x);
        brush.SetColor(RGBToColor(c[0], c[1], c[2]));
        const qint64 from = qint64(i) * g;
        const qint64 to = qint64(i + 1) * g;
        if (FDirection == ddVertical)
            target->FillRect(TRect(
                rect.Left, int(rect.Top + from), rect.Right, int(qMin<qint64>(rect.Top + to, rect.Bottom))));
        else
            target->FillRect(TRect(
                int(rect.Left + from), rect.Top, int(qMin<qint64>(rect.Left + to, rect.Right)), rect.Bottom));
    }
}

// ---------------------------------------------------------------------------------------------------
// TRLSortedBands

void TRLSortedBands::Clear()
{
    for (QList<TRLCustomBand*>& list : FBands)
        list.clear();
}

void TRLSortedBands::Add(TControl* control)
{
    auto* band = qobject_cast<TRLCustomBand*>(control);
    if (!band)
        return;
    QList<TRLCustomBand*>& list = FBands[Index(band->BandType())];
    qsizetype at = list.size();
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list.at(i)->Top() > band->Top()) {
            at = i;
            break;
        }
    list.insert(at, band);
}

void TRLSortedBands::ResetPrinted()
{
    FPrinted.fill(false);
}

void TRLSortedBands::ResetPrintedExceptTitle()
{
    const bool title = FPrinted[btTitle];
    FPrinted.fill(false);
    FPrinted[btTitle] = title;
}

// ---------------------------------------------------------------------------------------------------
// Coordinate helpers

TRLControlAlign ChildAlign(const TControl* control)
{
    if (const auto* rl = ClassCast<const TRLCustomControl*>(control))
        return rl->Align();
    if (!control)
        return faNone;
    switch (control->TControl::Align()) {
    case alTop:
        return faTop;
    case alBottom:
        return faBottom;
    case alLeft:
        return faLeft;
    case alRight:
        return faRight;
    case alClient:
        return faClient;
    case alNone:
    case alCustom:
        break;
    }
    return faNone;
}

TRLControlAnchors ChildAnchors(const TControl* control)
{
    if (const auto* rl = ClassCast<const TRLCustomControl*>(control))
        return rl->Anchors();
    TRLControlAnchors result;
    if (!control)
        return result;
    const TAnchors anchors = control->TControl::Anchors();
    if (anchors.testFlag(akLeft))
        result |= fkLeft;
    if (anchors.testFlag(akTop))
        result |= fkTop;
    if (anchors.testFlag(akRight))
        result |= fkRight;
    if (anchors.testFlag(akBottom))
        result |= fkBottom;
    return result;
}

bool IsStaticControl(const TControl* control)
{
    return ClassCast<const TRLCustomControl*>(control) && !ClassCast<const TRLCustomSite*>(control);
}

int AbsoluteLeft(const TControl* control)
{
    int result = 0;
    for (; control; control = control->Parent())
        result += control->Left();
    return result;
}

int AbsoluteTop(const TControl* control)
{
    int result = 0;
    for (; control; control = control->Parent())
        result += control->Top();
    return result;
}

int ToParentX(const TControl* control, int x)
{
    return control ? x + control->Left() - AbsoluteLeft(control) : x;
}

int ToParentY(const TControl* control, int y)
{
    return control ? y + control->Top() - AbsoluteTop(control) : y;
}

TPoint ToParentPoint(const TControl* control, TPoint point)
{
    return TPoint(ToParentX(control, point.x()), ToParentY(control, point.y()));
}

TRLCustomReport* ParentReport(const TControl* control)
{
    for (TControl* c = const_cast<TControl*>(control); c; c = c->Parent())
        if (auto* report = ClassCast<TRLCustomReport*>(c))
            return report;
    return nullptr;
}
