#pragma once
// The geometry of drawing controls, free of any control: the built-in shapes, the reading of point
// data, the box a shape is fitted into, fitting, rotation and centring. The design painting and the
// page recording of a drawing both call ComputeDrawPolygon, so the screen and the page always agree.
//
// Contracts:
// - Every real value becomes a pixel through RoundHalfEven (nearest, ties to even); integer halving
//   truncates toward zero.
// - Point data is untrusted text (it comes from definitions). Reading never fails: it stops at the
//   first character that is not a number or a separator, and a number too large for a coordinate ends
//   the reading as well, so corrupt data gives fewer points, never a wrong huge one.
// - Arithmetic on coordinates is done in extended precision, so shapes at the extremes of the int
//   range clamp instead of overflowing.
#include "engine/RLUtils.h"
#include "platform/Rect.h"

#include <QFlags>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace RLDrawTypes {
Q_NAMESPACE
enum TRLDrawKind { dkRectangle, dkLine, dkTriangle, dkElipse, dkArrow, dkCustom };
Q_ENUM_NS(TRLDrawKind)
enum TRLDrawOption { doKeepAspectRatio = 1, doKeepSize = 2, doKeepVisible = 4 };
Q_DECLARE_FLAGS(TRLDrawOptions, TRLDrawOption)
Q_FLAG_NS(TRLDrawOptions)
} // namespace RLDrawTypes
Q_DECLARE_OPERATORS_FOR_FLAGS(RLDrawTypes::TRLDrawOptions)
using namespace RLDrawTypes;

using TRLDrawPoints = QList<TPoint>;

// The points of a built-in shape, in the shape's own units. dkCustom has none (its points are data).
TRLDrawPoints DrawKindPoints(TRLDrawKind Kind);
// The same points as point data: one line per point, "x y".
QStringList DrawKindData(TRLDrawKind Kind);

// Reads point data: unsigned decimal numbers separated by blanks, tabs, line feeds, carriage returns
// or character 26; consecutive numbers pair into (x, y) and an unpaired last number is dropped.
// Any other character (a sign, a letter, a decimal point) ends the reading.
TRLDrawPoints ParseDrawData(const QString& Text);
// The lines of a string list read as one text, one line after another.
TRLDrawPoints ParseDrawData(const QStringList& Lines);

// The smallest rectangle holding every point, as (min x, min y, max x, max y); empty for no points.
TRect PointsBounds(const TRLDrawPoints& Points);

// The client rectangle made ready for a pen: right and bottom pulled in by one pixel (the outline
// is drawn inside the last pixel), and for pens wider than one pixel the half-widths taken off.
TRect PenInsetRect(const TRect& ClientRect, int PenWidth);

// The box the shape is fitted into: R, with a fixed width and height when DrawWidth / DrawHeight
// are not 0, then the square of the smaller side at its top-left corner for doKeepVisible.
TRect DrawTargetBox(const TRect& R, int DrawWidth, int DrawHeight, TRLDrawOptions Options);

// Scales and moves Points so that their bounds start at the box's top-left corner. With KeepAspect
// both axes use the smaller factor (a shape without extent in both axes stays as it is); without it
// each axis is stretched on its own, an axis without extent keeping its scale.
void FitPoints(TRLDrawPoints& Points, const TRect& Box, bool KeepAspect);
// RotatePoints (engine/RLUtils.h) turns the shape by Angle.
// Moves Points so that their bounds are centred in R (halves truncated).
void CenterPoints(TRLDrawPoints& Points, const TRect& R);

struct TRLDrawShape
{
    TRLDrawKind Kind = dkRectangle;
    // Only read for dkCustom.
    QStringList Data;
    TRLDrawOptions Options;
    double Angle = 0;
    bool Center = true;
    int DrawWidth = 0;
    int DrawHeight = 0;
};

// The closed polygon a drawing shows in ClientRect (the border-inset client area) with a pen of
// PenWidth pixels.
TRLDrawPoints ComputeDrawPolygon(const TRLDrawShape& Shape, const TRect& ClientRect, int PenWidth);

// How a value of the old "Kind" property of drawings is expressed in today's properties. Options
// replace the drawing's options; Data, when set, becomes its point data after the kind is set;
// AngleIncrement is added to its angle.
struct TRLLegacyDrawKind
{
    TRLDrawKind Kind = dkRectangle;
    TRLDrawOptions Options;
    std::optional<QStringList> Data;
    double AngleIncrement = 0;
};
// The translation of an old "Kind" value (case-insensitive); nullopt for a value that has none.
std::optional<TRLLegacyDrawKind> TranslateLegacyDrawKind(const QString& Value);
