#pragma once
// TRLCustomDraw / TRLDraw: a vector shape (rectangle, line, triangle, ellipse, arrow, or a polygon
// given as point data) fitted into the control's client area, optionally rotated, and recorded as one
// closed polygon with the control's pen and brush.
//
// Ownership: the drawing owns its Pen and Brush (assigning copies into them) and its point data.
//
// Contracts:
// - Setting DrawKind to a built-in kind rewrites DrawData with that kind's points; setting DrawData to
//   a different text turns the drawing into dkCustom. Only dkCustom draws from DrawData; a new drawing
//   is a dkRectangle with empty data.
// - DrawData is stored in a definition only for dkCustom; DrawWidth and DrawHeight are stored together
//   when either is not 0.
// - Definitions of older versions carry a "Kind" property instead of DrawKind and Options; the
//   definition reader hands it to ReadLegacyProperty, which translates it (and never writes it back).
// - The screen (DesignPolygon) and the page (PrintControl) use the same geometry.
#include "engine/RLControl.h"
#include "engine/RLDrawGeometry.h"
#include "platform/Graphics.h"

#include <QStringList>

class TRLCustomDraw : public TRLCustomControl
{
    Q_OBJECT
    Q_PROPERTY(double Angle READ Angle WRITE SetAngle)
    Q_PROPERTY(TBrush* Brush READ Brush WRITE SetBrush)
    Q_PROPERTY(bool Center READ Center WRITE SetCenter)
    Q_PROPERTY(RLDrawTypes::TRLDrawKind DrawKind READ DrawKind WRITE SetDrawKind)
    Q_PROPERTY(QStringList DrawData READ DrawData WRITE SetDrawData)
    Q_PROPERTY(int DrawHeight READ DrawHeight WRITE SetDrawHeight)
    Q_PROPERTY(int DrawWidth READ DrawWidth WRITE SetDrawWidth)
    Q_PROPERTY(RLDrawTypes::TRLDrawOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(TPen* Pen READ Pen WRITE SetPen)
public:
    Q_INVOKABLE explicit TRLCustomDraw(TComponent* AOwner = nullptr);
    ~TRLCustomDraw() override;

    double Angle() const { return FAngle; }
    void SetAngle(double value);
    TBrush* Brush() const { return FBrush; }
    // Copies value into the drawing's own brush.
    void SetBrush(TBrush* value);
    bool Center() const { return FCenter; }
    void SetCenter(bool value);
    TRLDrawKind DrawKind() const { return FDrawKind; }
    void SetDrawKind(TRLDrawKind value);
    QStringList DrawData() const { return FDrawData; }
    void SetDrawData(const QStringList& value);
    int DrawHeight() const { return FDrawHeight; }
    void SetDrawHeight(int value);
    int DrawWidth() const { return FDrawWidth; }
    void SetDrawWidth(int value);
    TRLDrawOptions Options() const { return FOptions; }
    void SetOptions(TRLDrawOptions value);
    TPen* Pen() const { return FPen; }
    // Copies value into the drawing's own pen.
    void SetPen(TPen* value);

    // The shape as the geometry sees it.
    TRLDrawShape Shape() const;
    // The polygon the control shows on the screen, in its own coordinates (inside DesignClientRect).
    TRLDrawPoints DesignPolygon() const;
    // The polygon recorded on the page, in the site's coordinates (inside PrintClientRect).
    TRLDrawPoints PrintPolygon() const;

    // Base recording, then the shape as one polygon with the pen and brush.
    void PrintControl() override;

    // Properties that definitions of older versions hold and this version no longer writes. Answers
    // whether the property was understood: "Kind" (case-insensitive) is; a value that the old table
    // does not know changes nothing but still counts as read.
    Q_INVOKABLE bool ReadLegacyProperty(const QString& Name, const QString& Value);
    // The definition reader's hook: hands "Kind" to ReadLegacyProperty.
    bool ReadCustomProperty(const QString& name, const QVariant& value) override;

protected:
    bool IsPropertyStored(const QMetaProperty& property) const override;

private:
    void Changed(bool Remeasure);

    double FAngle = 0;
    TBrush* FBrush = nullptr;
    bool FCenter = true;
    TRLDrawKind FDrawKind = dkRectangle;
    QStringList FDrawData;
    int FDrawHeight = 0;
    int FDrawWidth = 0;
    TRLDrawOptions FOptions;
    TPen* FPen = nullptr;
};

class TRLDraw : public TRLCustomDraw
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLDraw(TComponent* AOwner = nullptr);

    // (Sender, var PrintIt): false leaves the drawing out.
    TRLBeforePrintEvent& BeforePrint = FBeforePrint;
};
