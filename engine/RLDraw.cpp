#include "engine/RLDraw.h"

#include "pagestore/RLMetaFile.h"

TRLCustomDraw::TRLCustomDraw(TComponent* AOwner)
    : TRLCustomControl(AOwner)
    , FBrush(new TBrush(this))
    , FPen(new TPen(this))
{
    FBrush->OnChange = [this](TBrush*) { Invalidate(); };
    FPen->OnChange = [this](TPen*) { Invalidate(); };
    SetBounds(Left(), Top(), 48, 48);
}

TRLCustomDraw::~TRLCustomDraw()
{
    // The pen and brush go with the QObject children; their handlers must not call back into a
    // control that is already half destroyed.
    FBrush->OnChange = nullptr;
    FPen->OnChange = nullptr;
}

void TRLCustomDraw::Changed(bool Remeasure)
{
    if (Remeasure)
        AdjustBounds();
    Invalidate();
}

void TRLCustomDraw::SetAngle(double value)
{
    if (value == FAngle)
        return;
    FAngle = value;
    Changed(false);
}

void TRLCustomDraw::SetBrush(TBrush* value)
{
    if (value && value != FBrush)
        FBrush->Assign(value);
}

void TRLCustomDraw::SetCenter(bool value)
{
    if (value == FCenter)
        return;
    FCenter = value;
    Changed(false);
}

void TRLCustomDraw::SetDrawKind(TRLDrawKind value)
{
    if (value == FDrawKind)
        return;
    FDrawKind = value;
    // Written directly, not through SetDrawData, which would turn the drawing into dkCustom.
    if (value != dkCustom)
        FDrawData = DrawKindData(value);
    Changed(false);
}

void TRLCustomDraw::SetDrawData(const QStringList& value)
{
    if (value == FDrawData)
        return;
    FDrawData = value;
    FDrawKind = dkCustom;
    Changed(false);
}

void TRLCustomDraw::SetDrawHeight(int value)
{
    if (value == FDrawHeight)
        return;
    FDrawHeight = value;
    Changed(true);
}

void TRLCustomDraw::SetDrawWidth(int value)
{
    if (value == FDrawWidth)
        return;
    FDrawWidth = value;
    Changed(true);
}

void TRLCustomDraw::SetOptions(TRLDrawOptions value)
{
    if (value == FOptions)
        return;
    FOptions = value;
    Changed(true);
}

void TRLCustomDraw::SetPen(TPen* value)
{
    if (value && value != FPen)
        FPen->Assign(value);
}

TRLDrawShape TRLCustomDraw::Shape() const
{
    TRLDrawShape shape;
    shape.Kind = FDrawKind;
    if (FDrawKind == dkCustom)
        shape.Data = FDrawData;
    shape.Options = FOptions;
    shape.Angle = FAngle;
    shape.Center = FCenter;
    shape.DrawWidth = FDrawWidth;
    shape.DrawHeight = FDrawHeight;
    return shape;
}

TRLDrawPoints TRLCustomDraw::DesignPolygon() const
{
    return ComputeDrawPolygon(Shape(), DesignClientRect(), FPen->Width());
}

TRLDrawPoints TRLCustomDraw::PrintPolygon() const
{
    return ComputeDrawPolygon(Shape(), PrintClientRect(), FPen->Width());
}

void TRLCustomDraw::PrintControl()
{
    TRLGraphicSurface* surface = RequireParentSurface();
    PrintBase(surface);
    const TRLDrawPoints points = PrintPolygon();
    surface->SetBrush(*FBrush);
    surface->SetPen(*FPen);
    surface->Polygon(points);
}

bool TRLCustomDraw::ReadLegacyProperty(const QString& Name, const QString& Value)
{
    if (Name.compare(QLatin1StringView("Kind"), Qt::CaseInsensitive) != 0)
        return false;
    const std::optional<TRLLegacyDrawKind> legacy = TranslateLegacyDrawKind(Value);
    if (!legacy)
        return true;
    SetDrawKind(legacy->Kind);
    SetOptions(legacy->Options);
    if (legacy->Data)
        SetDrawData(*legacy->Data);
    SetAngle(FAngle + legacy->AngleIncrement);
    return true;
}

bool TRLCustomDraw::ReadCustomProperty(const QString& name, const QVariant& value)
{
    // An old kind is an identifier; anything else under that name is no kind the old table knows.
    if (name.compare(QLatin1StringView("Kind"), Qt::CaseInsensitive) == 0)
        return ReadLegacyProperty(name, value.typeId() == QMetaType::QString ? value.toString() : QString());
    return TRLCustomControl::ReadCustomProperty(name, value);
}

bool TRLCustomDraw::IsPropertyStored(const QMetaProperty& property) const
{
    const QLatin1StringView name(property.name());
    if (name == QLatin1StringView("DrawData"))
        return FDrawKind == dkCustom;
    if (name == QLatin1StringView("DrawWidth") || name == QLatin1StringView("DrawHeight"))
        return FDrawWidth != 0 || FDrawHeight != 0;
    return TRLCustomControl::IsPropertyStored(property);
}

TRLDraw::TRLDraw(TComponent* AOwner)
    : TRLCustomDraw(AOwner)
{ }
