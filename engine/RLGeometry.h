#pragma once
// The small persistent objects that carry a report control's geometry and decoration: the frame
// (TRLBorders), a site's margins (TRLMargins), a report's paper (TRLPageSetup), informative real-unit
// bounds (TRLRealBounds), a site's picture (TRLBackground) and colour gradient (TRLDegradeEffect), the
// per-type band lists of a pager (TRLSortedBands), and the coordinate helpers of the layout code.
//
// Ownership: each object is created and destroyed by the control that owns it (its QObject parent)
// and is one of that control's published properties. A setter given the current value does nothing;
// otherwise it stores the value and tells the owner through TRLCustomControl::GeometryChanged, with
// Resize true when the owner's client area may have changed. TRLSortedBands only refers to bands.
//
// Drawing goes onto a page surface, where every call becomes a recorded page object. All coordinates
// are report pixels (engine/RLUnits.h); margins and paper sizes are millimetres.
#include "engine/RLTypes.h"
#include "engine/RLUnits.h"
#include "platform/Component.h"
#include "platform/Controls.h"
#include "platform/Graphics.h"
#include "platform/Rect.h"

#include "engine/RLPaperSizes.h"

// The paper size that keeps the printer's own paper and the report's own size.
constexpr TRLPaperSize PaperSizeDefault = fpDefault;

#include <QByteArray>
#include <QList>
#include <QVariantMap>
#include <array>

class TRLCustomControl;
class TRLCustomSite;
class TRLCustomReport;
class TRLCustomBand;
class TRLGraphicSurface;

// ---------------------------------------------------------------------------------------------------

// The frame drawn around a control. Sides is a shorthand for the four Draw flags that the flags keep
// up to date (it turns into sdCustom by itself, never into sdAll or sdNone). A Fixed side is drawn even
// when the report prints fixed sides only.
class TRLBorders : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(RLTypes::TRLBorderSides Sides READ Sides WRITE SetSides)
    Q_PROPERTY(bool DrawLeft READ DrawLeft WRITE SetDrawLeft)
    Q_PROPERTY(bool DrawTop READ DrawTop WRITE SetDrawTop)
    Q_PROPERTY(bool DrawRight READ DrawRight WRITE SetDrawRight)
    Q_PROPERTY(bool DrawBottom READ DrawBottom WRITE SetDrawBottom)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(Gfx::TBrushStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(bool FixedLeft READ FixedLeft WRITE SetFixedLeft)
    Q_PROPERTY(bool FixedTop READ FixedTop WRITE SetFixedTop)
    Q_PROPERTY(bool FixedRight READ FixedRight WRITE SetFixedRight)
    Q_PROPERTY(bool FixedBottom READ FixedBottom WRITE SetFixedBottom)
public:
    // The owner is the parent when it is an engine control.
    Q_INVOKABLE explicit TRLBorders(QObject* parent = nullptr);

    TRLCustomControl* ParentControl() const { return FParentControl; }
    // Moving the frame to another control resizes that control's client area.
    void SetParentControl(TRLCustomControl* value);

    TRLBorderSides Sides() const { return FSides; }
    void SetSides(TRLBorderSides value);
    bool DrawLeft() const { return FDrawLeft; }
    bool DrawTop() const { return FDrawTop; }
    bool DrawRight() const { return FDrawRight; }
    bool DrawBottom() const { return FDrawBottom; }
    void SetDrawLeft(bool value) { SetDraw(FDrawLeft, FFixedLeft, value); }
    void SetDrawTop(bool value) { SetDraw(FDrawTop, FFixedTop, value); }
    void SetDrawRight(bool value) { SetDraw(FDrawRight, FFixedRight, value); }
    void SetDrawBottom(bool value) { SetDraw(FDrawBottom, FFixedBottom, value); }
    bool FixedLeft() const { return FFixedLeft; }
    bool FixedTop() const { return FFixedTop; }
    bool FixedRight() const { return FFixedRight; }
    bool FixedBottom() const { return FFixedBottom; }
    void SetFixedLeft(bool value) { SetFixed(FFixedLeft, FDrawLeft, value, &TRLBorders::SetDrawLeft); }
    void SetFixedTop(bool value) { SetFixed(FFixedTop, FDrawTop, value, &TRLBorders::SetDrawTop); }
    void SetFixedRight(bool value) { SetFixed(FFixedRight, FDrawRight, value, &TRLBorders::SetDrawRight); }
    void SetFixedBottom(bool value)
    {
        SetFixed(FFixedBottom, FDrawBottom, value, &TRLBorders::SetDrawBottom);
    }
    int Width() const { return FWidth; }
    // A negative width is ignored.
    void SetWidth(int value);
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    // Kept for the definition; the frame is always drawn solid.
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle value);

    enum TSide { sLeft, sTop, sRight, sBottom };
    // Drawn when flagged and either fixed or inside a report that prints every feature; an owner
    // outside any report draws its fixed sides only.
    bool IsSideDrawn(TSide side) const;
    // The thickness each side takes from the owner's client area (Width or 0).
    int DrawnWidth(TSide side) const { return IsSideDrawn(side) ? FWidth : 0; }
    // One filled rectangle per drawn side (left, top, right, bottom) inside rect, in Color.
    void DrawBorders(TRLGraphicSurface* target, const TRect& rect) const;

    void Assign(const TPersistent* Source) override;
    // The Draw flags are stored only for sdCustom; the rest when they differ from their defaults.
    bool IsPropertyStored(const QMetaProperty& property) const override;

private:
    void SetDraw(bool& draw, bool& fixed, bool value);
    void SetFixed(bool& fixed, bool draw, bool value, void (TRLBorders::*setDraw)(bool));
    void DeriveSides();
    void Changed(bool resize);

    TRLCustomControl* FParentControl = nullptr;
    TRLBorderSides FSides = sdNone;
    bool FDrawLeft = false;
    bool FDrawTop = false;
    bool FDrawRight = false;
    bool FDrawBottom = false;
    bool FFixedLeft = false;
    bool FFixedTop = false;
    bool FFixedRight = false;
    bool FFixedBottom = false;
    int FWidth = 1;
    TColor FColor = clBlack;
    TBrushStyle FStyle = bsSolid;
};

// ---------------------------------------------------------------------------------------------------

// Outer or inner margins of a site, in millimetres, each with a default. The margins are not ordinary
// stored properties: a definition holds "LeftMargin", "TopMargin", "RightMargin", "BottomMargin" only
// where they differ from their defaults (CustomProperties / ReadCustomProperty are the hooks for the
// definition writer and reader).
class TRLMargins : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(double LeftMargin READ LeftMargin WRITE SetLeftMargin STORED false)
    Q_PROPERTY(double TopMargin READ TopMargin WRITE SetTopMargin STORED false)
    Q_PROPERTY(double RightMargin READ RightMargin WRITE SetRightMargin STORED false)
    Q_PROPERTY(double BottomMargin READ BottomMargin WRITE SetBottomMargin STORED false)
public:
    Q_INVOKABLE explicit TRLMargins(QObject* parent = nullptr);

    TRLCustomControl* ParentControl() const { return FParentControl; }

    double LeftMargin() const { return FLeft; }
    double TopMargin() const { return FTop; }
    double RightMargin() const { return FRight; }
    double BottomMargin() const { return FBottom; }
    void SetLeftMargin(double value) { SetMargin(FLeft, value); }
    void SetTopMargin(double value) { SetMargin(FTop, value); }
    void SetRightMargin(double value) { SetMargin(FRight, value); }
    void SetBottomMargin(double value) { SetMargin(FBottom, value); }
    double DefaultLeftMargin() const { return FDefaultLeft; }
    double DefaultTopMargin() const { return FDefaultTop; }
    double DefaultRightMargin() const { return FDefaultRight; }
    double DefaultBottomMargin() const { return FDefaultBottom; }

    // Sets both the margins and their defaults.
    void SetDefaults(double left, double top, double right, double bottom);

    // The margins in report pixels, converted when a margin changes: a site's client area is asked
    // for many times per record.
    int LeftPixels() const { return FPixels[0]; }
    int TopPixels() const { return FPixels[1]; }
    int RightPixels() const { return FPixels[2]; }
    int BottomPixels() const { return FPixels[3]; }

    // Copies the four margins (not the defaults) from another TRLMargins.
    void Assign(const TPersistent* Source) override;

    // The custom properties a definition stores: the margins that differ from their defaults, as
    // doubles under their names.
    QVariantMap CustomProperties() const;
    // Takes one custom property back; false for a name that is not a margin or a value that is not a
    // finite number.
    bool ReadCustomProperty(const QString& name, const QVariant& value);

private:
    void SetMargin(double& margin, double value);
    void UpdatePixels();

    TRLCustomControl* FParentControl = nullptr;
    int FPixels[4] = { 0, 0, 0, 0 };
    double FLeft = 0;
    double FTop = 0;
    double FRight = 0;
    double FBottom = 0;
    double FDefaultLeft = 0;
    double FDefaultTop = 0;
    double FDefaultRight = 0;
    double FDefaultBottom = 0;
};

// ---------------------------------------------------------------------------------------------------

// A report's paper. Width and height follow the paper-size table, except for fpCustom, where they
// are the user's and the only time they can be set (and are stored).
class TRLPageSetup : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(RLPrinters::TRLPaperSize PaperSize READ PaperSize WRITE SetPaperSize)
    Q_PROPERTY(RLPrinters::TRLPageOrientation Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(double PaperWidth READ PaperWidth WRITE SetPaperWidth)
    Q_PROPERTY(double PaperHeight READ PaperHeight WRITE SetPaperHeight)
    Q_PROPERTY(bool ForceEmulation READ ForceEmulation WRITE SetForceEmulation)
public:
    Q_INVOKABLE explicit TRLPageSetup(QObject* parent = nullptr);

    TRLCustomControl* ParentControl() const { return FParentControl; }

    TRLPaperSize PaperSize() const { return FPaperSize; }
    void SetPaperSize(TRLPaperSize value);
    TRLPageOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TRLPageOrientation value);
    double PaperWidth() const { return FPaperWidth; }
    double PaperHeight() const { return FPaperHeight; }
    // Accepted only for fpCustom and a value above 0.
    void SetPaperWidth(double value);
    void SetPaperHeight(double value);
    bool ForceEmulation() const { return FForceEmulation; }
    void SetForceEmulation(bool value);

    // The page as laid out (orientation applied), in millimetres and in report pixels.
    double LayoutWidth() const { return FOrientation == poLandscape ? FPaperHeight : FPaperWidth; }
    double LayoutHeight() const { return FOrientation == poLandscape ? FPaperWidth : FPaperHeight; }
    int LayoutPixelWidth() const { return MillimetresToPixels(LayoutWidth()); }
    int LayoutPixelHeight() const { return MillimetresToPixels(LayoutHeight()); }

    void Assign(const TPersistent* Source) override;
    // PaperWidth and PaperHeight are stored only for fpCustom.
    bool IsPropertyStored(const QMetaProperty& property) const override;

private:
    void Changed();

    TRLCustomControl* FParentControl = nullptr;
    TRLPaperSize FPaperSize = fpA4;
    TRLPageOrientation FOrientation = poPortrait;
    double FPaperWidth = 210;
    double FPaperHeight = 297;
    bool FForceEmulation = false;
};

// ---------------------------------------------------------------------------------------------------

// Stored, informative bounds in a real unit. Changing them moves nothing and tells nobody.
class TRLRealBounds : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(RLTypes::TRLRealBoundsUnit UsedUnit READ UsedUnit WRITE SetUsedUnit)
    Q_PROPERTY(double Left READ Left WRITE SetLeft)
    Q_PROPERTY(double Top READ Top WRITE SetTop)
    Q_PROPERTY(double Height READ Height WRITE SetHeight)
    Q_PROPERTY(double Width READ Width WRITE SetWidth)
public:
    Q_INVOKABLE explicit TRLRealBounds(QObject* parent = nullptr)
        : TPersistent(parent)
    { }

    TRLRealBoundsUnit UsedUnit() const { return FUsedUnit; }
    void SetUsedUnit(TRLRealBoundsUnit value) { FUsedUnit = value; }
    double Left() const { return FLeft; }
    void SetLeft(double value) { FLeft = value; }
    double Top() const { return FTop; }
    void SetTop(double value) { FTop = value; }
    double Height() const { return FHeight; }
    void SetHeight(double value) { FHeight = value; }
    double Width() const { return FWidth; }
    void SetWidth(double value) { FWidth = value; }

private:
    TRLRealBoundsUnit FUsedUnit = buNone;
    double FLeft = 0;
    double FTop = 0;
    double FHeight = 0;
    double FWidth = 0;
};

// ---------------------------------------------------------------------------------------------------

// A picture painted behind a site: placed by alignment, centred, or tiled.
class TRLBackground : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(RLTypes::TRLControlAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(RLTypes::TRLImageArrange Arrange READ Arrange WRITE SetArrange)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(QByteArray Picture READ PictureData WRITE SetPictureData)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
public:
    Q_INVOKABLE explicit TRLBackground(QObject* parent = nullptr);

    TRLCustomControl* ParentControl() const { return FParentControl; }

    TRLControlAlign Align() const { return FAlign; }
    void SetAlign(TRLControlAlign value);
    TRLImageArrange Arrange() const { return FArrange; }
    void SetArrange(TRLImageArrange value);
    bool AutoSize() const { return FAutoSize; }
    // Turning it on fits Width and Height to the picture.
    void SetAutoSize(bool value);
    int Height() const { return FHeight; }
    void SetHeight(int value);
    int Width() const { return FWidth; }
    void SetWidth(int value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);

    // The owned picture. Assigning copies it, always notifies and, with AutoSize, fits the size.
    const TGraphic& Picture() const { return FPicture; }
    void SetPicture(const TGraphic& value);
    // The picture as a stored file image; setting it raises EReadError for bytes that hold no picture
    // (an empty array clears the picture).
    QByteArray PictureData() const { return FPicture.SaveToBytes(); }
    void SetPictureData(const QByteArray& value);

    // Width and Height become the picture's size, when there is a non-empty picture.
    void FitToPicture();
    void DrawBackground(TRLGraphicSurface* target, const TRect& rect) const;

    // Tiled backgrounds are rendered into one bitmap of the target rectangle's size; a rectangle with
    // more pixels than this is refused (nothing drawn) instead of allocated.
    static constexpr qint64 MaxTiledPixels = qint64(8192) * 8192;

private:
    void Changed();

    TRLCustomControl* FParentControl = nullptr;
    TRLControlAlign FAlign = faClient;
    TRLImageArrange FArrange = baAligned;
    bool FAutoSize = true;
    int FHeight = 40;
    int FWidth = 40;
    bool FStretch = false;
    TGraphic FPicture;
};

// ---------------------------------------------------------------------------------------------------

// A colour gradient painted behind a site, from the site's Color towards OppositeColor, in bands of
// Granularity pixels.
class TRLDegradeEffect : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(TColor OppositeColor READ OppositeColor WRITE SetOppositeColor)
    Q_PROPERTY(RLTypes::TRLDegradeDirection Direction READ Direction WRITE SetDirection)
    Q_PROPERTY(int Granularity READ Granularity WRITE SetGranularity)
public:
    Q_INVOKABLE explicit TRLDegradeEffect(QObject* parent = nullptr);

    TRLCustomControl* ParentControl() const { return FParentControl; }

    TColor OppositeColor() const { return FOppositeColor; }
    void SetOppositeColor(TColor value);
    TRLDegradeDirection Direction() const { return FDirection; }
    void SetDirection(TRLDegradeDirection value);
    int Granularity() const { return FGranularity; }
    // A granularity below 1 would give no band width to step by; it is ignored.
    void SetGranularity(int value);

    // The gradient over rect; the first colour is the owner's Color (black without an owner).
    void DrawDegrade(TRLGraphicSurface* target, const TRect& rect) const;
    // The same with an explicit first colour.
    void DrawDegrade(TRLGraphicSurface* target, const TRect& rect, TColor firstColor) const;

private:
    void Changed();

    TRLCustomControl* FParentControl = nullptr;
    TColor FOppositeColor = clBlack;
    TRLDegradeDirection FDirection = ddNone;
    int FGranularity = 1;
};

// ---------------------------------------------------------------------------------------------------

// A pager's bands, one list per band type, each ordered by Top (equal tops keep the order in which
// they were added), with one "printed" flag per type. Refers to bands; owns none.
class TRLSortedBands
{
public:
    void Clear();
    // Ignores anything that is not a band.
    void Add(TControl* control);
    const QList<TRLCustomBand*>& Bands(TRLBandType type) const { return FBands[Index(type)]; }
    bool Printed(TRLBandType type) const { return FPrinted[Index(type)]; }
    void SetPrinted(TRLBandType type, bool value) { FPrinted[Index(type)] = value; }
    void ResetPrinted();
    void ResetPrintedExceptTitle();

private:
    // An out-of-range type (a corrupt definition) is filed with the details rather than out of bounds.
    static std::size_t Index(TRLBandType type)
    {
        return type >= 0 && type < BandTypeCount ? std::size_t(type) : std::size_t(btDetail);
    }
    std::array<QList<TRLCustomBand*>, BandTypeCount> FBands;
    std::array<bool, BandTypeCount> FPrinted {};
};

// ---------------------------------------------------------------------------------------------------
// Coordinate helpers of the layout code.

// An engine control's Align; any other control's platform alignment mapped to the nearest value.
TRLControlAlign ChildAlign(const TControl* control);
TRLControlAnchors ChildAnchors(const TControl* control);
// An engine control that is not a site (a label, a text, a drawing...).
bool IsStaticControl(const TControl* control);
// Sum of Left (Top) of the control and every parent.
int AbsoluteLeft(const TControl* control);
int AbsoluteTop(const TControl* control);
// An absolute coordinate in the coordinate space of the control's parent.
int ToParentX(const TControl* control, int x);
int ToParentY(const TControl* control, int y);
TPoint ToParentPoint(const TControl* control, TPoint point);
// The report that contains the control, the control itself included; null outside any report.
TRLCustomReport* ParentReport(const TControl* control);
