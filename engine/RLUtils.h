#pragma once
// Small helpers shared by the whole engine. The process-wide utility state (start-up, the temporary
// directory and files) and the locale-free float texts are platform services; this header brings them
// along for the engine's units.
#include "platform/Format.h"
#include "platform/Rect.h"
#include "platform/TempFiles.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMargins>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QStringView>

class TComponent;
class TFont;

// --- strings and numbers ------------------------------------------------------------------------

// The index-th field (from 1) of text cut at separator; empty when there are fewer fields.
QString Token(const QString& text, int index, QChar separator);
// ".ext" for "ext"; an empty extension or one that already starts with "." is returned unchanged.
QString NormalizeExt(const QString& ext);

// Two upper-case hexadecimal digits.
QString ByteToHex(quint8 byte);
// The byte two hexadecimal digits (either case) stand for, or -1 when pair is not exactly two
// hexadecimal digits.
int HexToByte(QStringView pair);
// A bitmap from hexadecimal text holding the platform's stored-bitmap form: a 32-bit little-endian
// byte count, then that many bytes of a .bmp file. Text that is not whole pairs of hexadecimal digits,
// a count beyond the bytes present, or bytes that are no bitmap give a null image.
QImage HexToBitmap(const QString& text);

// CRC-16 with polynomial 0x1021, most significant bit first, initial value 0, no final augmentation:
// "" gives 0, "abc" gives 0x1EE4. The text form works on its Windows-1252 bytes.
quint16 Crc16(const QByteArray& bytes);
quint16 Crc16(const QString& text);

// A fresh name for component among its owner's components: the class name without a leading "T"
// ("RLBand" for TRLBand) followed by one more than the largest number any owned component's name
// carries after that base (compared ignoring case).
QString UniqueComponentName(const TComponent* component);

// --- rectangles and points (report pixels) ------------------------------------------------------

// Rotates points by angle degrees, counter-clockwise on the page (whose y axis points down), about
// their rounded mean point; every result rounded to a pixel, ties to even. The drawing control turns
// its shapes with it and TextExtent its corners.
void RotatePoints(QList<TPoint>& Points, double Angle);

inline int RectWidth(const TRect& r)
{
    return r.Right - r.Left;
}
inline int RectHeight(const TRect& r)
{
    return r.Bottom - r.Top;
}
// The same size with its top-left corner at (x, y).
inline TRect MoveRect(const TRect& r, int x, int y)
{
    return TRect(x, y, x + RectWidth(r), y + RectHeight(r));
}
// Shrinks (InsetRect) or grows (OutsetRect) each side by the matching thickness of m.
inline TRect InsetRect(const TRect& r, const QMargins& m)
{
    return TRect(r.Left + m.left(), r.Top + m.top(), r.Right - m.right(), r.Bottom - m.bottom());
}
inline TRect OutsetRect(const TRect& r, const QMargins& m)
{
    return TRect(r.Left - m.left(), r.Top - m.top(), r.Right + m.right(), r.Bottom + m.bottom());
}
// The smallest rectangle holding every point, grown by one pixel on each side so that the outline
// drawn through the outermost points lies inside it. No points give an empty rectangle at the origin.
TRect PolygonBounds(const QList<TPoint>& points);

// --- text ---------------------------------------------------------------------------------------

// Width and height of text in font as the platform measures it. For a non-zero angle (degrees,
// counter-clockwise on the page) the size of the bounding box of the text's rectangle turned the way
// the drawing control turns its shapes: at 90 degrees width and height swap.
QSize TextExtent(const QString& text, const TFont& font, double angle = 0.0);
