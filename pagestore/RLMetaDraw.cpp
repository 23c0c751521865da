#include "pagestore/RLMetaDraw.h"

#include "platform/Cp1252.h"
#include "platform/Exceptions.h"

#include <QPainter>
#include <QRawFont>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace {

int ClampToInt(qint64 Value)
{
    return int(std::clamp<qint64>(Value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Offset + round(Value x Factor), kept inside the int range whatever a damaged page holds.
int MapCoordinate(int Offset, int Value, double Factor)
{
    return ClampToInt(qint64(Offset) + RoundToPixel(static_cast<long double>(Value) * Factor));
}

struct TMapper
{
    double XFactor;
    double YFactor;
    int X;
    int Y;
    int MapX(int Value) const { return MapCoordinate(X, Value, XFactor); }
    int MapY(int Value) const { return MapCoordinate(Y, Value, YFactor); }
    TPoint Map(const TPoint& Point) const { return TPoint(MapX(Point.x()), MapY(Point.y())); }
    TRect Map(const TRect& Rect) const
    {
        return TRect(MapX(Rect.Left), MapY(Rect.Top), MapX(Rect.Right), MapY(Rect.Bottom));
    }
    // Never narrower or lower than one pixel, so collapsed shapes still show.
    TRect MapAtLeastOnePixel(const TRect& Rect) const
    {
        TRect r = Map(Rect);
        if (r.Right <= r.Left)
            r.Right = ClampToInt(qint64(r.Left) + 1);
        if (r.Bottom <= r.Top)
            r.Bottom = ClampToInt(qint64(r.Top) + 1);
        return r;
    }
    QList<TPoint> Map(const TRLPointArray& Points) const
    {
        QList<TPoint> mapped;
        mapped.reserve(Points.size());
        for (const TPoint& point : Points)
            mapped.append(Map(point));
        return mapped;
    }
};

void CanvasPenFrom(TRLCanvas& Canvas, const TRLMetaPen& Pen, double XFactor)
{
    PenToCanvas(Pen, Canvas.Pen());
    ScaleCanvasPen(Canvas.Pen(), XFactor);
}

// Dash patterns of wide pens, in units of four pen widths, drawn and skipped in turn.
struct TDashPattern
{
    int Count;
    int Lengths[6];
};
constexpr TDashPattern DashPattern { 2, { 3, 1 } };
constexpr TDashPattern DotPattern { 2, { 1, 1 } };
constexpr TDashPattern DashDotPattern { 4, { 2, 1, 1, 1 } };
constexpr TDashPattern DashDotDotPattern { 6, { 3, 1, 1, 1, 1, 1 } };

const TDashPattern* PatternOf(TPenStyle Style)
{
    switch (Style) {
    case psDash:
        return &DashPattern;
    case psDot:
        return &DotPattern;
    case psDashDot:
        return &DashDotPattern;
    case psDashDotDot:
        return &DashDotDotPattern;
    default:
        return nullptr;
    }
}

// Restores what DashedLineTo changes on the pen, also when drawing fails.
class TPenRestorer
{
public:
    explicit TPenRestorer(TPen& Pen)
        : FPen(Pen)
        , FStyle(Pen.Style())
        , FWidth(Pen.Width())
        , FColor(Pen.Color())
    { }
    ~TPenRestorer()
    {
        FPen.BeginUpdate();
        FPen.SetColor(FColor);
        FPen.SetStyle(FStyle);
        FPen.SetWidth(FWidth);
        FPen.EndUpdate();
    }
    TPenRestorer(const TPenRestorer&) = delete;
    TPenRestorer& operator=(const TPenRestorer&) = delete;
    TColor Color() const { return FColor; }

private:
    TPen& FPen;
    TPenStyle FStyle;
    int FWidth;
    TColor FColor;
};

// The part [Low, High] of the distances 0..Length along a segment that can reach the device, so that
// a huge segment from a damaged page walks only the dashes that can show.
void VisibleSpan(TRLCanvas& Canvas, QPointF Start, QPointF Direction, double Length, double Margin,
    double& Low, double& High)
{
    Low = 0;
    High = Length;
    const QPaintDevice* device = Canvas.Painter().device();
    if (!device)
        return;
    bool invertible = false;
    const QTransform inverse = Canvas.Painter().worldTransform().inverted(&invertible);
    if (!invertible)
        return;
    const QRectF area = inverse.mapRect(QRectF(0, 0, device->width(), device->height()))
                            .adjusted(-Margin, -Margin, Margin, Margin);
    const double starts[2] = { Start.x(), Start.y() };
    const double steps[2] = { Direction.x(), Direction.y() };
    const double lows[2] = { area.left(), area.top() };
    const double highs[2] = { area.right(), area.bottom() };
    for (int axis = 0; axis < 2; ++axis) {
        if (std::abs(steps[axis]) < 1e-12) {
            if (starts[axis] < lows[axis] || starts[axis] > highs[axis]) {
                Low = 1;
                High = 0;
                return;
            }
            continue;
        }
        double t1 = (lows[axis] - starts[axis]) / steps[axis];
        double t2 = (highs[axis] - starts[axis]) / steps[axis];
        if (t1 > t2)
            std::swap(t1, t2);
        Low = std::max(Low, t1);
        High = std::min(High, t2);
    }
}

// Beyond this many added spaces a justified line is no longer text; it also bounds the work for a
// damaged page that asks for an enormous rectangle.
constexpr int MaxJustifySpaces = 4096;

bool IsGapCharacter(QChar C)
{
    return C == u'\t' || C == u'\n' || C == u'\r' || C == u' ';
}

// Font sizes beyond this many points are not text but damage, and would only cost memory to draw.
constexpr long double MaxFontPoints = 3000;

} // namespace

// ---------------------------------------------------------------------------------------------------
// Conversions.

void PenToCanvas(const TRLMetaPen& MetaPen, TPen& Pen)
{
    MetaPen.ToPen(Pen);
}

void BrushToCanvas(const TRLMetaBrush& MetaBrush, TBrush& Brush)
{
    MetaBrush.ToBrush(Brush);
}

void FontToCanvas(const TRLMetaFont& MetaFont, TFont& Font, double Scale)
{
    const long double recorded = MetaFont.PixelsPerInch == 0 ? 96 : MetaFont.PixelsPerInch;
    const long double target = Font.PixelsPerInch() == 0 ? 96 : Font.PixelsPerInch();
    long double size = static_cast<long double>(MetaFont.Size) * Scale * recorded / target;
    size = std::clamp(size, -MaxFontPoints, MaxFontPoints);
    Font.BeginUpdate();
    Font.SetCharset(MetaFont.Charset);
    Font.SetColor(FromMetaColor(MetaFont.Color));
    Font.SetName(MetaFont.Name());
    Font.SetPitch(FromMetaFontPitch(MetaFont.Pitch));
    Font.SetSize(RoundToPixel(size));
    Font.SetStyle(FromMetaFontStyles(MetaFont.Style));
    Font.EndUpdate();
}

void ScaleCanvasPen(TPen& Pen, double Factor)
{
    if (Pen.Width() < 2)
        return;
    const long double scaled = std::trunc(static_cast<long double>(Pen.Width()) * Factor);
    const int width = scaled >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
        : scaled < 1                                            ? 1
                                                                : int(scaled);
    Pen.SetWidth(width);
}

// ---------------------------------------------------------------------------------------------------
// Lines.

void DashedLineTo(TRLCanvas& Canvas, int X, int Y)
{
    TPen& pen = Canvas.Pen();
    const TDashPattern* pattern = PatternOf(pen.Style());
    if (!pattern || pen.Width() <= 1) {
        Canvas.LineTo(X, Y);
        return;
    }
    const TPoint start = Canvas.PenPos();
    const double dx = double(X) - start.x();
    const double dy = double(Y) - start.y();
    const double exact = std::sqrt(dx * dx + dy * dy);
    const long double length = RoundToPixel(exact);
    const double cosine = exact > 0 ? dx / exact : 1.0;
    const double sine = exact > 0 ? dy / exact : 0.0;
    const long double unit = 4.0L * pen.Width();

    TPenRestorer restorer(pen);
    pen.SetStyle(psSolid);
    if (Canvas.Brush().Style() != bsClear) {
        pen.SetColor(Canvas.Brush().Color());
        Canvas.LineTo(X, Y);
        pen.SetColor(restorer.Color());
        Canvas.MoveTo(start.x(), start.y());
    }

    long double period = 0;
    for (int i = 0; i < pattern->Count; ++i)
        period += pattern->Lengths[i] * unit;
    double low = 0;
    double high = 0;
    VisibleSpan(Canvas, QPointF(start), QPointF(cosine, sine), double(length), double(unit) * 2 + pen.Width(),
        low, high);
    if (low <= high) {
        // Whole periods before the visible part draw nothing; distances stay whole numbers, so the
        // dashes land where an unskipped walk puts them.
        long double distance = std::max<long double>(0, std::floor(low / period) - 1) * period;
        const auto pointAt = [&](long double d) {
            return TPoint(ClampToInt(qint64(start.x()) + RoundToPixel(d * cosine)),
                ClampToInt(qint64(start.y()) + RoundToPixel(d * sine)));
        };
        const TPoint first = pointAt(distance);
        Canvas.MoveTo(first.x(), first.y());
        int index = 0;
        while (true) {
            distance = std::min(distance + pattern->Lengths[index] * unit, length);
            const TPoint point = pointAt(distance);
            if (index % 2 == 0)
                Canvas.LineTo(point.x(), point.y());
            else
                Canvas.MoveTo(point.x(), point.y());
            index = (index + 1) % pattern->Count;
            if (distance >= length || distance > high + period)
                break;
        }
    }
    Canvas.MoveTo(X, Y);
}

// ---------------------------------------------------------------------------------------------------
// Text.

bool WidenTextGap(QString& Text, int& Position)
{
    const int length = int(Text.size());
    for (int attempt = 0; attempt < 2; ++attempt) {
        int i = std::clamp(Position, 0, length);
        while (i > 0 && IsGapCharacter(Text.at(i - 1)))
            --i;
        while (i > 0 && !IsGapCharacter(Text.at(i - 1)))
            --i;
        if (i > 0) {
            while (i > 0 && IsGapCharacter(Text.at(i - 1)))
                --i;
            if (i > 0) {
                Text.insert(i, QLatin1Char(' '));
                Position = i;
                return true;
            }
        }
        Position = int(Text.size());
    }
    return false;
}

void DrawText(TRLCanvas& Canvas, const TRect& Rect, int X, int Y, const QString& Text,
    TRLMetaTextAlignment Alignment, TRLMetaTextLayout Layout, uint16_t TextFlags)
{
    const QString spaced = Text + QLatin1Char(' ');
    const int space = Canvas.TextWidth(QStringLiteral(" "));
    const int width = Canvas.TextWidth(spaced);
    const int height = Canvas.TextHeight(spaced);
    const int half = space / 2;

    qint64 left;
    switch (Alignment) {
    case MetaTextAlignmentRight:
        left = qint64(half) + Rect.Right - width;
        break;
    case MetaTextAlignmentCenter:
        left = qint64(half) + (qint64(Rect.Left) + Rect.Right - width) / 2;
        break;
    default:
        left = qint64(half) + X;
        break;
    }
    qint64 top;
    switch (Layout) {
    case MetaTextLayoutBottom:
        top = qint64(Rect.Bottom) - height;
        break;
    case MetaTextLayoutCenter:
        top = (qint64(Rect.Top) + Rect.Bottom - height) / 2;
        break;
    default:
        top = Y;
        break;
    }
    const int startX = ClampToInt(left);
    const int startY = ClampToInt(top);

    QString text = Text;
    if (Alignment == MetaTextAlignmentJustify && space > 0) {
        const qint64 available = qint64(Rect.Right) - startX;
        int position = int(text.size());
        qint64 current = width;
        for (int added = 0; added < MaxJustifySpaces && current <= available; ++added) {
            if (!WidenTextGap(text, position))
                break;
            current = Canvas.TextWidth(text + QLatin1Char(' '));
        }
    }

    if (TextFlags & TextFlagAutoSize)
        Canvas.TextOut(startX, startY, text);
    else
        Canvas.TextRect(Rect, startX, startY, text);
}

// ---------------------------------------------------------------------------------------------------
// Images.

std::unique_ptr<TGraphic> DecodeImageData(const QByteArray& Data)
{
    if (Data.size() < 3)
        return nullptr;
    const QByteArray tag = Data.left(3);
    const QByteArray file = Data.mid(3);
    // The tag promises the kind; bytes of another kind behind it are as unreadable as garbage.
    if (tag == "BMP") {
        if (!file.startsWith("BM"))
            return nullptr;
    } else if (tag == "ICO") {
        if (!file.startsWith(QByteArray("\0\0\1\0", 4)))
            return nullptr;
    } else {
        return nullptr;
    }
    try {
        std::unique_ptr<TGraphic> graphic = TGraphic::LoadFromBytes(file);
        if (!graphic || graphic->Empty())
            return nullptr;
        return graphic;
    } catch (const Exception&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void DrawImageData(TRLCanvas& Canvas, const TRect& Rect, const QByteArray& Data, bool IntegralWidth)
{
    const std::unique_ptr<TGraphic> graphic = DecodeImageData(Data);
    if (!graphic)
        return;
    TRect target = Rect;
    if (IntegralWidth && graphic->Width() > 0) {
        const qint64 span = qint64(target.Right) - target.Left;
        target.Right = ClampToInt(qint64(target.Left) + (span / graphic->Width()) * graphic->Width() + 1);
    }
    Canvas.StretchDraw(target, *graphic);
}

// ---------------------------------------------------------------------------------------------------
// Clipping and pixels.

void ClipCanvas(TRLCanvas& Canvas, const TRect& Rect)
{
    Canvas.RemoveClip();
    if (Rect.Width() == 0 || Rect.Height() == 0)
        return;
    Canvas.IntersectClip(Rect);
}

void UnclipCanvas(TRLCanvas& Canvas)
{
    Canvas.RemoveClip();
}

TColor CanvasPixel(const TRLCanvas& Canvas, int X, int Y)
{
    return Canvas.Pixels(X, Y);
}

// ---------------------------------------------------------------------------------------------------
// Object and page painting.

void TRLPixelObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    Canvas.Brush().SetColor(FromMetaColor(Color));
    Canvas.Brush().SetStyle(bsSolid);
    Canvas.FillRect(map.MapAtLeastOnePixel(BoundsRect));
}

void TRLLineObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    CanvasPenFrom(Canvas, Pen, XFactor);
    BrushToCanvas(Brush, Canvas.Brush());
    const TPoint from = map.Map(FromPoint);
    const TPoint to = map.Map(ToPoint);
    Canvas.MoveTo(from.x(), from.y());
    DashedLineTo(Canvas, to.x(), to.y());
}

void TRLRectangleObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    CanvasPenFrom(Canvas, Pen, XFactor);
    BrushToCanvas(Brush, Canvas.Brush());
    Canvas.Rectangle(map.MapAtLeastOnePixel(BoundsRect));
}

void TRLEllipseObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    CanvasPenFrom(Canvas, Pen, XFactor);
    BrushToCanvas(Brush, Canvas.Brush());
    const TRect r = map.Map(BoundsRect);
    Canvas.Ellipse(r.Left, r.Top, r.Right, r.Bottom);
}

void TRLTextObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    BrushToCanvas(Brush, Canvas.Brush());
    FontToCanvas(Font, Canvas.Font(), YFactor);
    const TPoint origin = map.Map(Origin);
    ::DrawText(
        Canvas, map.Map(BoundsRect), origin.x(), origin.y(), DisplayText(), Alignment, Layout, TextFlags);
}

void TRLFillRectObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    BrushToCanvas(Brush, Canvas.Brush());
    Canvas.FillRect(map.Map(BoundsRect));
}

void TRLPolygonObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    const QList<TPoint> points = map.Map(Points);
    CanvasPenFrom(Canvas, Pen, XFactor);
    BrushToCanvas(Brush, Canvas.Brush());
    Canvas.Polygon(points);
}

void TRLPolylineObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    const QList<TPoint> points = map.Map(Points);
    CanvasPenFrom(Canvas, Pen, XFactor);
    Canvas.Brush().SetStyle(bsClear);
    Canvas.Polyline(points);
}

void TRLImageObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    DrawImageData(Canvas, map.Map(BoundsRect), Data, IntegralWidth);
}

void TRLSetClipRectObject::PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const
{
    const TMapper map { XFactor, YFactor, X, Y };
    Canvas.SavedClips.append(Canvas.CurrentClip);
    Canvas.CurrentClip = map.Map(BoundsRect);
    ClipCanvas(Canvas, Canvas.CurrentClip);
}

void TRLResetClipRectObject::PaintTo(TRLCanvas& Canvas, double, double, int, int) const
{
    // A reset without its set (a damaged page) keeps the clip it has rather than escaping the page.
    if (!Canvas.SavedClips.isEmpty())
        Canvas.CurrentClip = Canvas.SavedClips.takeLast();
    ClipCanvas(Canvas, Canvas.CurrentClip);
}

void TRLGraphicSurface::PaintTo(TRLCanvas& Canvas, const TRect& Rect) const
{
    const double xFactor = FWidth == 0 ? 1.0 : double(qint64(Rect.Right) - Rect.Left) / FWidth;
    const double yFactor = FHeight == 0 ? 1.0 : double(qint64(Rect.Bottom) - Rect.Top) / FHeight;
    Canvas.SavedClips.clear();
    Canvas.CurrentClip = Rect;
    ClipCanvas(Canvas, Rect);

    struct TUnwind
    {
        TRLCanvas& Canvas;
        ~TUnwind()
        {
            UnclipCanvas(Canvas);
            while (!Canvas.SavedClips.isEmpty())
                Canvas.CurrentClip = Canvas.SavedClips.takeLast();
        }
    } unwind { Canvas };

    for (const TRLGraphicObject* object : FObjects)
        object->PaintTo(Canvas, xFactor, yFactor, Rect.Left, Rect.Top);
}

// ---------------------------------------------------------------------------------------------------
// Font metrics.

namespace {

int16_t ReadInt16(const QByteArray& Table, int Offset)
{
    return qFromBigEndian<qint16>(Table.constData() + Offset);
}

uint16_t ReadUInt16(const QByteArray& Table, int Offset)
{
    return qFromBigEndian<quint16>(Table.constData() + Offset);
}

int32_t ReadInt32(const QByteArray& Table, int Offset)
{
    return qFromBigEndian<qint32>(Table.constData() + Offset);
}

// The platform's pitch-and-family byte of an outline face: bit 0 set for variable pitch, bit 2 for an
// outline font, the family in the high nibble as the face's classification suggests it.
int PitchAndFamily(const QByteArray& Os2, const QByteArray& Post)
{
    const bool fixedPitch = ReadInt32(Post, 12) != 0;
    int family = 0; // don't care
    const uint8_t familyType = uint8_t(Os2.at(32));
    const uint8_t serifStyle = uint8_t(Os2.at(33));
    const uint8_t proportion = uint8_t(Os2.at(35));
    if (familyType == 2) {
        if (proportion == 9)
            family = 0x30; // modern
        else if (serifStyle >= 11 && serifStyle <= 13)
            family = 0x20; // swiss
        else if (serifStyle >= 2)
            family = 0x10; // roman
    } else if (familyType == 3) {
        family = 0x40; // script
    } else if (familyType == 4 || familyType == 5) {
        family = 0x50; // decorative
    }
    return (fixedPitch ? 0 : 1) | 4 | family;
}

} // namespace

void GetFontMetrics(const QString& FaceName, TFontStyles Style, TRLFontMetrics& Record)
{
    // An em of 1000 pixels: 750 points at 96 pixels per inch.
    constexpr int EmPixels = 1000;
    QFont font(SubstituteFaceName(FaceName));
    font.setPixelSize(EmPixels);
    font.setBold(Style & fsBold);
    font.setItalic(Style & fsItalic);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray head = raw.isValid() ? raw.fontTable("head") : QByteArray();
    if (head.isEmpty())
        throw Exception(QStringLiteral("Invalid font for GetOutlineTextMetrics"));
    const QByteArray hhea = raw.fontTable("hhea");
    const QByteArray os2 = raw.fontTable("OS/2");
    const QByteArray post = raw.fontTable("post");
    if (head.size() < 54 || hhea.size() < 36 || os2.size() < 78 || post.size() < 32)
        throw Exception(QStringLiteral("GetOutlineTextMetrics failed"));
    const int unitsPerEm = ReadUInt16(head, 18);
    if (unitsPerEm < 16 || unitsPerEm > 16384)
        throw Exception(QStringLiteral("GetOutlineTextMetrics failed"));
    const auto scale = [unitsPerEm](long Units) {
        return RoundToPixel(static_cast<long double>(Units) * EmPixels / unitsPerEm);
    };

    Record.PitchFlag = PitchAndFamily(os2, post) == 4;
    Record.FaceName = FaceName;

    int first = ReadUInt16(os2, 64);
    int last = ReadUInt16(os2, 66);
    if (first >= 0xF000 && first <= 0xF0FF) {
        // Symbol faces keep their characters in the private area, shown to 8-bit text at F0xx.
        first -= 0xF000;
        last = last >= 0xF000 ? last - 0xF000 : last;
    } else {
        // Some faces declare their first character as '!' although they have a space; a width
        // table without the space would let a reader run words together.
        first = std::min(first, 32);
    }
    first = std::clamp(first, 0, 255);
    last = std::clamp(last, 0, 255);
    if (first > last)
        first = last;
    Record.FirstChar = first;
    Record.LastChar = last;
    QString codes;
    codes.reserve(last - first + 1);
    for (int code = first; code <= last; ++code)
        codes.append(QChar(Cp1252ToChar(uchar(code))));
    QList<quint32> glyphs = raw.glyphIndexesForString(codes);
    if (glyphs.size() != codes.size())
        throw Exception(QStringLiteral("GetOutlineTextMetrics failed"));
    const QList<QPointF> advances
        = raw.advancesForGlyphIndexes(glyphs, QRawFont::SeparateAdvances | QRawFont::UseDesignMetrics);
    for (int code = first; code <= last; ++code)
        Record.Widths[size_t(code)] = RoundToPixel(advances.at(code - first).x());

    Record.FontName = FaceName;
    QString styleName;
    if (Style & fsBold)
        styleName += QStringLiteral("Bold");
    if (Style & fsItalic)
        styleName += QStringLiteral("Italic");
    if (Style & fsUnderline)
        styleName += QStringLiteral("Underline");
    if (Style & fsStrikeOut)
        styleName += QStringLiteral("StrikeOut");
    Record.StyleName = styleName;
    Record.Flags = 32;
    Record.FontBox = TRect(scale(ReadInt16(head, 36)), scale(ReadInt16(head, 42)), scale(ReadInt16(head, 40)),
        scale(ReadInt16(head, 38)));
    Record.Unused = {};
    Record.ItalicAngle = RoundToPixel(static_cast<long double>(ReadInt32(post, 4)) / 65536.0L);

    const int os2Version = ReadUInt16(os2, 0);
    const auto glyphHeight = [&raw](QChar c) {
        const QList<quint32> found = raw.glyphIndexesForString(QString(c));
        if (found.isEmpty() || found.first() == 0)
            return 0;
        return RoundToPixel(-raw.boundingRect(found.first()).top());
    };
    if (os2Version >= 2 && os2.size() >= 90) {
        Record.XHeight = scale(ReadInt16(os2, 86));
        Record.CapHeight = scale(ReadInt16(os2, 88));
    } else {
        Record.XHeight = glyphHeight(u'x');
        Record.CapHeight = glyphHeight(u'H');
    }
    const int winAscent = ReadUInt16(os2, 74);
    const int winDescent = ReadUInt16(os2, 76);
    Record.Ascent = scale(winAscent);
    Record.Descent = -scale(winDescent);
    Record.InternalLeading = scale(long(winAscent) + winDescent - unitsPerEm);
    Record.MaxWidth = scale(ReadUInt16(hhea, 10));
    Record.AvgWidth = scale(ReadInt16(os2, 2));
}
