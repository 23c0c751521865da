#include "engine/RLDrawGeometry.h"

#include "engine/RLUnits.h"

#include <QByteArray>
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace {

// The ellipse is a 36-gon on a 2000-unit circle: fine enough to look round at any report size.
constexpr int EllipseSteps = 36;
constexpr long double EllipseRadius = 1000;

bool IsDataSeparator(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == QChar(26);
}

// Sizes and pen widths come from definitions; a hostile one must clamp, not overflow.
int SaturatedAdd(int a, long long b)
{
    return static_cast<int>(std::clamp<long long>(a + b, INT_MIN, INT_MAX));
}

} // namespace

TRLDrawPoints DrawKindPoints(TRLDrawKind Kind)
{
    switch (Kind) {
    case dkRectangle:
        return { TPoint(0, 0), TPoint(1, 0), TPoint(1, 1), TPoint(0, 1) };
    case dkLine:
        return { TPoint(0, 0), TPoint(1, 0) };
    case dkTriangle:
        return { TPoint(0, 87), TPoint(50, 0), TPoint(100, 87) };
    case dkElipse: {
        TRLDrawPoints points;
        points.reserve(EllipseSteps);
        for (int k = 0; k < EllipseSteps; ++k) {
            // The angle is a double on purpose: the table of points must not depend on how precise
            // the platform's long double happens to be.
            const double a = 2 * std::numbers::pi * k / EllipseSteps;
            points.append(
                TPoint(RoundHalfEven(EllipseRadius * std::cos(static_cast<long double>(a)) + EllipseRadius),
                    RoundHalfEven(EllipseRadius * std::sin(static_cast<long double>(a)) + EllipseRadius)));
        }
        return points;
    }
    case dkArrow:
        return { TPoint(0, 2), TPoint(5, 2), TPoint(5, 0), TPoint(8, 3), TPoint(5, 6), TPoint(5, 4),
            TPoint(0, 4) };
    case dkCustom:
        break;
    }
    return {};
}

QStringList DrawKindData(TRLDrawKind Kind)
{
    QStringList lines;
    for (const TPoint& p : DrawKindPoints(Kind))
        lines.append(QString::number(p.x()) + u' ' + QString::number(p.y()));
    return lines;
}

TRLDrawPoints ParseDrawData(const QString& Text)
{
    TRLDrawPoints points;
    bool havePendingX = false;
    int pendingX = 0;
    const qsizetype length = Text.size();
    qsizetype i = 0;
    while (i < length) {
        const QChar c = Text.at(i);
        if (IsDataSeparator(c)) {
            ++i;
            continue;
        }
        if (c < u'0' || c > u'9')
            break;
        long long number = 0;
        bool tooLarge = false;
        while (i < length && Text.at(i) >= u'0' && Text.at(i) <= u'9') {
            number = number * 10 + (Text.at(i).unicode() - u'0');
            if (number > INT_MAX) {
                tooLarge = true;
                break;
            }
            ++i;
        }
        if (tooLarge)
            break;
        if (havePendingX) {
            points.append(TPoint(pendingX, static_cast<int>(number)));
            havePendingX = false;
        } else {
            pendingX = static_cast<int>(number);
            havePendingX = true;
        }
    }
    return points;
}

TRLDrawPoints ParseDrawData(const QStringList& Lines)
{
    return ParseDrawData(Lines.join(u'\n'));
}

TRect PointsBounds(const TRLDrawPoints& Points)
{
    if (Points.isEmpty())
        return TRect();
    TRect bounds(Points.first().x(), Points.first().y(), Points.first().x(), Points.first().y());
    for (const TPoint& p : Points) {
        bounds.Left = std::min(bounds.Left, p.x());
        bounds.Top = std::min(bounds.Top, p.y());
        bounds.Right = std::max(bounds.Right, p.x());
        bounds.Bottom = std::max(bounds.Bottom, p.y());
    }
    return bounds;
}

TRect PenInsetRect(const TRect& ClientRect, int PenWidth)
{
    TRect r = ClientRect;
    r.Right = SaturatedAdd(r.Right, -1);
    r.Bottom = SaturatedAdd(r.Bottom, -1);
    if (PenWidth > 1) {
        r.Left = SaturatedAdd(r.Left, PenWidth / 2);
        r.Top = SaturatedAdd(r.Top, PenWidth / 2);
        r.Right = SaturatedAdd(r.Right, -((PenWidth - 1) / 2));
        r.Bottom = SaturatedAdd(r.Bottom, -((PenWidth - 1) / 2));
    }
    return r;
}

TRect DrawTargetBox(const TRect& R, int DrawWidth, int DrawHeight, TRLDrawOptions Options)
{
    TRect box = R;
    if (DrawWidth != 0)
        box.Right = SaturatedAdd(box.Left, DrawWidth);
    if (DrawHeight != 0)
        box.Bottom = SaturatedAdd(box.Top, DrawHeight);
    if (Options.testFlag(doKeepVisible)) {
        const long long side = std::min(
            static_cast<long long>(box.Right) - box.Left, static_cast<long long>(box.Bottom) - box.Top);
        box.Right = SaturatedAdd(box.Left, side);
        box.Bottom = SaturatedAdd(box.Top, side);
    }
    return box;
}

namespace {

// Widths of point bounds and boxes in extended precision: corrupt coordinates at the ends of the int
// range would overflow an int subtraction.
long double Extent(int low, int high)
{
    return static_cast<long double>(high) - static_cast<long double>(low);
}

int ScaledCoordinate(int value, int origin, double scale, int target)
{
    // The factor is held as a double and the product taken in extended precision before rounding:
    // a product a hair above a half (1000 x 0.0245 as a double) rounds up, never down to even.
    return RoundHalfEven(
        static_cast<long double>(RoundHalfEven(Extent(origin, value) * static_cast<long double>(scale)))
        + static_cast<long double>(target));
}

} // namespace

void FitPoints(TRLDrawPoints& Points, const TRect& Box, bool KeepAspect)
{
    if (Points.isEmpty())
        return;
    const TRect bounds = PointsBounds(Points);
    const long double boundsWidth = Extent(bounds.Left, bounds.Right);
    const long double boundsHeight = Extent(bounds.Top, bounds.Bottom);
    const long double boxWidth = Extent(Box.Left, Box.Right);
    const long double boxHeight = Extent(Box.Top, Box.Bottom);
    double sx;
    double sy;
    if (KeepAspect) {
        sx = boundsWidth != 0 ? static_cast<double>(boxWidth / boundsWidth) : 0;
        sy = boundsHeight != 0 ? static_cast<double>(boxHeight / boundsHeight) : 0;
        if (sx == 0)
            sx = sy;
        if (sy == 0)
            sy = sx;
        if (sx == 0 || sy == 0)
            return;
        sx = sy = std::min(sx, sy);
    } else {
        sx = boundsWidth != 0 && boxWidth != 0 ? static_cast<double>(boxWidth / boundsWidth) : 1;
        sy = boundsHeight != 0 && boxHeight != 0 ? static_cast<double>(boxHeight / boundsHeight) : 1;
    }
    for (TPoint& p : Points)
        p = TPoint(ScaledCoordinate(p.x(), bounds.Left, sx, Box.Left),
            ScaledCoordinate(p.y(), bounds.Top, sy, Box.Top));
}

void CenterPoints(TRLDrawPoints& Points, const TRect& R)
{
    if (Points.isEmpty())
        return;
    const TRect bounds = PointsBounds(Points);
    // std::trunc keeps the halving toward zero for odd negative differences.
    const long double dx = std::trunc((Extent(R.Left, R.Right) - Extent(bounds.Left, bounds.Right)) / 2)
        + R.Left - bounds.Left;
    const long double dy
        = std::trunc((Extent(R.Top, R.Bottom) - Extent(bounds.Top, bounds.Bottom)) / 2) + R.Top - bounds.Top;
    for (TPoint& p : Points)
        p = TPoint(RoundHalfEven(p.x() + dx), RoundHalfEven(p.y() + dy));
}

TRLDrawPoints ComputeDrawPolygon(const TRLDrawShape& Shape, const TRect& ClientRect, int PenWidth)
{
    const TRect r = PenInsetRect(ClientRect, PenWidth);
    const TRect box = DrawTargetBox(r, Shape.DrawWidth, Shape.DrawHeight, Shape.Options);
    TRLDrawPoints points = Shape.Kind == dkCustom ? ParseDrawData(Shape.Data) : DrawKindPoints(Shape.Kind);
    const bool keepAspect = Shape.Options.testFlag(doKeepAspectRatio);
    FitPoints(points, box, keepAspect);
    RotatePoints(points, Shape.Angle);
    if (!Shape.Options.testFlag(doKeepSize))
        FitPoints(points, box, keepAspect);
    if (Shape.Center)
        CenterPoints(points, r);
    return points;
}

std::optional<TRLLegacyDrawKind> TranslateLegacyDrawKind(const QString& Value)
{
    struct Row
    {
        const char* Name;
        TRLDrawKind Kind;
        TRLDrawOptions Options;
        const char* Data;
        double AngleIncrement;
    };
    static const Row table[] = {
        { "dkRectangle", dkRectangle, doKeepSize, nullptr, 0 },
        { "dkLine", dkCustom, doKeepSize, "0 0 1 1", 0 },
        { "dkTriangle", dkTriangle, doKeepSize, nullptr, 0 },
        { "dkElipse", dkElipse, doKeepSize, nullptr, 0 },
        { "dkArrow", dkArrow, doKeepSize, nullptr, 0 },
        { "dkCircle", dkElipse, doKeepAspectRatio, nullptr, 0 },
        { "dkHorzLine", dkLine, doKeepSize, nullptr, 0 },
        { "dkVertLine", dkLine, TRLDrawOptions(doKeepSize) | doKeepVisible, nullptr, 90 },
        { "dkReverseLine", dkCustom, doKeepSize, "1 0 0 1", 0 },
    };
    for (const Row& row : table) {
        if (Value.compare(QLatin1StringView(row.Name), Qt::CaseInsensitive) != 0)
            continue;
        TRLLegacyDrawKind result;
        result.Kind = row.Kind;
        result.Options = row.Options;
        if (row.Data)
            result.Data = QStringList { QString::fromLatin1(row.Data) };
        result.AngleIncrement = row.AngleIncrement;
        return result;
    }
    return std::nullopt;
}
