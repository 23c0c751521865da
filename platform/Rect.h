#pragma once
// The platform's rectangle: Right and Bottom are exclusive, so the width is Right - Left. QRect's
// right() and bottom() are inclusive; every conversion goes through ToQRect/FromQRect so the two are
// never mixed by accident.
#include <QPoint>
#include <QRect>

struct TRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr TRect() = default;
    constexpr TRect(int ALeft, int ATop, int ARight, int ABottom)
        : Left(ALeft)
        , Top(ATop)
        , Right(ARight)
        , Bottom(ABottom)
    { }

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr QPoint TopLeft() const { return QPoint(Left, Top); }
    constexpr QPoint BottomRight() const { return QPoint(Right, Bottom); }
    constexpr bool Contains(QPoint p) const
    {
        return p.x() >= Left && p.x() < Right && p.y() >= Top && p.y() < Bottom;
    }

    QRect ToQRect() const { return QRect(QPoint(Left, Top), QSize(Right - Left, Bottom - Top)); }
    static TRect FromQRect(const QRect& r)
    {
        return TRect(r.x(), r.y(), r.x() + r.width(), r.y() + r.height());
    }
    // From a position and a size, as the platform's Bounds(x, y, w, h).
    static constexpr TRect Bounds(int x, int y, int w, int h) { return TRect(x, y, x + w, y + h); }

    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

using TPoint = QPoint;
