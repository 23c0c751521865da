#include "pagestore/RLCanvas.h"

#include "platform/TextMeasure.h"

#include <QGlyphRun>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QRawFont>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace {

// Beyond this a pen is wider than any device; clamping keeps hostile widths from costing anything.
constexpr int MaxPenWidth = 1 << 15;

QPainter::CompositionMode CompositionFor(TPenMode Mode)
{
    switch (Mode) {
    case pmNot:
        return QPainter::RasterOp_NotDestination;
    case pmNotCopy:
        return QPainter::RasterOp_NotSource;
    case pmMergePenNot:
        return QPainter::RasterOp_SourceOrNotDestination;
    case pmMaskPenNot:
        return QPainter::RasterOp_SourceAndNotDestination;
    case pmMergeNotPen:
        return QPainter::RasterOp_NotSourceOrDestination;
    case pmMaskNotPen:
        return QPainter::RasterOp_NotSourceAndDestination;
    case pmMerge:
        return QPainter::RasterOp_SourceOrDestination;
    case pmNotMerge:
        return QPainter::RasterOp_NotSourceAndNotDestination;
    case pmMask:
        return QPainter::RasterOp_SourceAndDestination;
    case pmNotMask:
        return QPainter::RasterOp_NotSourceOrNotDestination;
    case pmXor:
        return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor:
        return QPainter::RasterOp_NotSourceXorDestination;
    default:
        return QPainter::CompositionMode_SourceOver; // copy; black and white come as colours
    }
}

// Code points of a text as the measure counts them: pairs joined, a lone surrogate as U+FFFD.
template <typename F> void ForEachCodePoint(const QString& Text, F&& Visit)
{
    const qsizetype n = Text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = Text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(Text.at(i + 1).unicode())) {
            Visit(QChar::surrogateToUcs4(c, Text.at(i + 1).unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            Visit(char32_t(0xFFFD));
        } else {
            Visit(char32_t(c));
        }
    }
}

int ClampToInt(qint64 Value)
{
    return int(std::clamp<qint64>(Value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Corners in either order, as the platform accepted them; false for a shape with no area.
bool Normalize(int& Left, int& Top, int& Right, int& Bottom)
{
    if (Right < Left)
        std::swap(Left, Right);
    if (Bottom < Top)
        std::swap(Top, Bottom);
    return Right != Left && Bottom != Top;
}

} // namespace

// One converted font: the Qt font, its raw font for placing glyphs, and the measures of the first
// 256 characters, so that measuring and drawing a text do not go back to the shared tables per
// character.
struct TRLCanvas::TFontEntry
{
    QString Name;
    int Height = 0;
    TFontStyles Style = 0;
    TFontPitch Pitch = TFontPitch::fpDefault;

    QFont QtFont;
    QRawFont Raw;
    int Ascent = 0;
    int CellHeight = 0;
    std::array<int, 256> Widths {};
    std::array<quint32, 256> Glyphs {};
};

TRLCanvas::TRLCanvas(QPaintDevice* Device, int PixelsPerInch)
    : FOwnPainter(std::make_unique<QPainter>(Device))
    , FPainter(FOwnPainter.get())
    , FDevice(Device)
{
    Init(PixelsPerInch);
}

TRLCanvas::TRLCanvas(QPainter& Painter, int PixelsPerInch)
    : FPainter(&Painter)
    , FDevice(Painter.device())
{
    FPainter->save();
    Init(PixelsPerInch);
}

TRLCanvas::~TRLCanvas()
{
    if (FOwnPainter) {
        if (FOwnPainter->isActive())
            FOwnPainter->end();
    } else {
        FPainter->restore();
    }
}

void TRLCanvas::Init(int PixelsPerInch)
{
    if (PixelsPerInch <= 0) {
        // Pixel coordinates on images and screens are report-like pixels at 96 per inch; only the
        // pixels of a printer or of a paged document writer (which names no device type) are its own
        // dots.
        const int type = FDevice ? FDevice->devType() : QInternal::Image;
        PixelsPerInch
            = (type == QInternal::Printer || type == QInternal::UnknownDevice) ? FDevice->logicalDpiY() : 96;
        if (PixelsPerInch <= 0)
            PixelsPerInch = 96;
    }
    FPixelsPerInch = PixelsPerInch;
    FPen = std::make_unique<TPen>();
    FBrush = std::make_unique<TBrush>();
    FFont = std::make_unique<TFont>();
    FFont->SetPixelsPerInch(FPixelsPerInch);
    QObject::connect(FFont.get(), &TGraphicsObject::Changed, [this] { FCurrentFont = nullptr; });
    FBaseClipping = FPainter->hasClipping();
    if (FBaseClipping)
        FBaseClip = FPainter->clipRegion();
    FPainter->setRenderHint(QPainter::Antialiasing, false);
    FPainter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    FPainter->setRenderHint(QPainter::TextAntialiasing, true);
}

TRLCanvas::TFontEntry& TRLCanvas::CurrentFontEntry()
{
    if (FCurrentFont)
        return *FCurrentFont;
    const TFont& font = *FFont;
    for (const auto& entry : FFonts) {
        if (entry->Height == font.Height() && entry->Style == font.Style() && entry->Pitch == font.Pitch()
            && entry->Name == font.Name()) {
            FCurrentFont = entry.get();
            return *FCurrentFont;
        }
    }
    auto entry = std::make_unique<TFontEntry>();
    entry->Name = font.Name();
    entry->Height = font.Height();
    entry->Style = font.Style();
    entry->Pitch = font.Pitch();
    entry->QtFont = font.ToQFont();
    entry->Raw = QRawFont::fromFont(entry->QtFont);
    const TTextMetrics metrics = TextMetrics(font);
    entry->Ascent = metrics.Ascent;
    entry->CellHeight = metrics.Height;
    for (int c = 0; c < 256; ++c)
        entry->Widths[size_t(c)] = CharWidth(font, char32_t(c));
    if (entry->Raw.isValid()) {
        QString all;
        all.reserve(256);
        for (int c = 0; c < 256; ++c)
            all.append(QChar(char16_t(c)));
        const QList<quint32> glyphs = entry->Raw.glyphIndexesForString(all);
        if (glyphs.size() == 256)
            std::copy(glyphs.begin(), glyphs.end(), entry->Glyphs.begin());
    }
    FFonts.push_back(std::move(entry));
    FCurrentFont = FFonts.back().get();
    return *FCurrentFont;
}

bool TRLCanvas::PenVisible() const
{
    return FPen->Style() != psClear && FPen->Mode() != pmNop;
}

void TRLCanvas::ApplyShapeMode()
{
    QPainter::CompositionMode mode = CompositionFor(FPen->Mode());
    if (mode != QPainter::CompositionMode_SourceOver
        && !(FPainter->paintEngine() && FPainter->paintEngine()->hasFeature(QPaintEngine::RasterOpModes)))
        mode = QPainter::CompositionMode_SourceOver;
    if (FPainter->compositionMode() != mode)
        FPainter->setCompositionMode(mode);
}

void TRLCanvas::ApplyPlainMode()
{
    if (FPainter->compositionMode() != QPainter::CompositionMode_SourceOver)
        FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TRLCanvas::ApplyPen()
{
    QPen pen = FPen->ToQPen();
    if (pen.width() > MaxPenWidth)
        pen.setWidth(MaxPenWidth);
    FPainter->setPen(pen);
}

void TRLCanvas::ApplyPenAndBrush()
{
    FPainter->setBrush(FBrush->ToQBrush());
    if (PenVisible())
        ApplyPen();
    else
        FPainter->setPen(Qt::NoPen);
}

void TRLCanvas::FillWith(const QRect& Rect, const QColor& Color)
{
    FPainter->fillRect(Rect, Color);
}

// A solid line of Width pixels whose ends are cut square at From and To. Rows and columns are exact
// rectangles (for an odd width the line's middle pixel row is the given one), so the same pixels are
// covered whichever end the line starts from.
void TRLCanvas::WideSegment(QPoint From, QPoint To, const QColor& Color, int Width)
{
    Width = std::min(Width, MaxPenWidth);
    if (From.y() == To.y()) {
        const int left = std::min(From.x(), To.x());
        const int right = std::max(From.x(), To.x());
        if (right > left)
            FillWith(QRect(left, From.y() - Width / 2, right - left, Width), Color);
        return;
    }
    if (From.x() == To.x()) {
        const int top = std::min(From.y(), To.y());
        const int bottom = std::max(From.y(), To.y());
        FillWith(QRect(From.x() - Width / 2, top, Width, bottom - top), Color);
        return;
    }
    QPen pen(Color, Width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    FPainter->setPen(pen);
    const QPointF centre(0.5, 0.5);
    FPainter->drawLine(QPointF(From) + centre, QPointF(To) + centre);
}

void TRLCanvas::LineTo(int X, int Y)
{
    const QPoint from = FPenPos;
    const QPoint to(X, Y);
    FPenPos = to;
    if (!PenVisible() || from == to)
        return;
    ApplyShapeMode();
    if (FPen->Width() > 1) {
        // Wide pens draw solid, as the platform's did; patterns are DashedLineTo's business.
        WideSegment(from, to, FPen->ToQPen().color(), FPen->Width());
        return;
    }
    // The end point itself stays undrawn, so lines joined end to start never draw a pixel twice.
    const qint64 dx = qint64(to.x()) - from.x();
    const qint64 dy = qint64(to.y()) - from.y();
    QPoint last;
    if (std::llabs(dx) >= std::llabs(dy)) {
        const qint64 steps = std::llabs(dx) - 1;
        const qint64 x = from.x() + (dx > 0 ? steps : -steps);
        const double y = from.y() + double(dy) * double(steps) / double(std::llabs(dx));
        last = QPoint(ClampToInt(x), ClampToInt(qint64(std::nearbyint(y))));
    } else {
        const qint64 steps = std::llabs(dy) - 1;
        const qint64 y = from.y() + (dy > 0 ? steps : -steps);
        const double x = from.x() + double(dx) * double(steps) / double(std::llabs(dy));
        last = QPoint(ClampToInt(qint64(std::nearbyint(x))), ClampToInt(y));
    }
    ApplyPen();
    if (last == from)
        FPainter->drawPoint(from);
    else
        FPainter->drawLine(from, last);
}

void TRLCanvas::Rectangle(int Left, int Top, int Right, int Bottom)
{
    if (!Normalize(Left, Top, Right, Bottom))
        return;
    ApplyShapeMode();
    const QRect area(Left, Top, Right - Left, Bottom - Top);
    if (FBrush->Style() != bsClear)
        FPainter->fillRect(area, FBrush->ToQBrush());
    if (!PenVisible())
        return;
    const int width = std::min(FPen->Width(), MaxPenWidth);
    if (area.width() == 1 || area.height() == 1) {
        // Collapsed to its outline: the pen covers all of it.
        FillWith(area, FPen->ToQPen().color());
        return;
    }
    ApplyPen();
    FPainter->setBrush(Qt::NoBrush);
    if (width <= 1) {
        FPainter->drawRect(QRect(Left, Top, area.width() - 1, area.height() - 1));
        return;
    }
    // A wide outline is centred on the edge pixels; inside-frame keeps all of it inside.
    QRectF path(Left + 0.5, Top + 0.5, area.width() - 1, area.height() - 1);
    if (FPen->Style() == psInsideFrame) {
        const double inset = width / 2.0 - 0.5;
        path.adjust(inset, inset, -inset, -inset);
    }
    FPainter->drawRect(path);
}

void TRLCanvas::Ellipse(int Left, int Top, int Right, int Bottom)
{
    if (!Normalize(Left, Top, Right, Bottom))
        return;
    ApplyShapeMode();
    ApplyPenAndBrush();
    if (!PenVisible() || FPen->Width() <= 1)
        FPainter->drawEllipse(QRect(Left, Top, Right - Left - 1, Bottom - Top - 1));
    else
        FPainter->drawEllipse(QRectF(Left + 0.5, Top + 0.5, Right - Left - 1, Bottom - Top - 1));
}

void TRLCanvas::Polygon(const QList<TPoint>& Points)
{
    if (Points.isEmpty())
        return;
    ApplyShapeMode();
    ApplyPenAndBrush();
    if (!PenVisible() || FPen->Width() <= 1) {
        FPainter->drawPolygon(QPolygon(Points), Qt::OddEvenFill);
    } else {
        QPolygonF polygon;
        polygon.reserve(Points.size());
        for (const TPoint& point : Points)
            polygon.append(QPointF(point) + QPointF(0.5, 0.5));
        FPainter->drawPolygon(polygon, Qt::OddEvenFill);
    }
}

void TRLCanvas::Polyline(const QList<TPoint>& Points)
{
    if (Points.size() < 2 || !PenVisible())
        return;
    if (FPen->Width() <= 1) {
        const TPoint saved = FPenPos;
        FPenPos = Points.first();
        for (qsizetype i = 1; i < Points.size(); ++i)
            LineTo(Points.at(i).x(), Points.at(i).y());
        FPenPos = saved;
        return;
    }
    ApplyShapeMode();
    ApplyPen();
    FPainter->setBrush(Qt::NoBrush);
    QPolygonF line;
    line.reserve(Points.size());
    for (const TPoint& point : Points)
        line.append(QPointF(point) + QPointF(0.5, 0.5));
    FPainter->drawPolyline(line);
}

void TRLCanvas::FillRect(const TRect& Rect)
{
    if (Rect.IsEmpty() || FBrush->Style() == bsClear)
        return;
    ApplyPlainMode();
    FPainter->fillRect(Rect.ToQRect(), FBrush->ToQBrush());
}

int TRLCanvas::TextWidth(const QString& Text)
{
    const TFontEntry& entry = CurrentFontEntry();
    qint64 width = 0;
    ForEachCodePoint(
        Text, [&](char32_t c) { width += c < 256 ? entry.Widths[size_t(c)] : CharWidth(*FFont, c); });
    return ClampToInt(width);
}

int TRLCanvas::TextHeight(const QString&)
{
    return CurrentFontEntry().CellHeight;
}

void TRLCanvas::DrawTextAt(int X, int Y, const QString& Text)
{
    TFontEntry& entry = CurrentFontEntry();
    const QColor color = ToQColor(FFont->Color());
    FPainter->setPen(QPen(color));
    const double baseline = double(Y) + entry.Ascent;
    bool placed = entry.Raw.isValid();
    QList<quint32> glyphs;
    QList<QPointF> positions;
    if (placed) {
        glyphs.reserve(Text.size());
        positions.reserve(Text.size());
        qint64 x = X;
        ForEachCodePoint(Text, [&](char32_t c) {
            if (!placed)
                return;
            quint32 glyph = 0;
            int advance = 0;
            if (c < 256) {
                glyph = entry.Glyphs[size_t(c)];
                advance = entry.Widths[size_t(c)];
            } else {
                const QList<quint32> found = entry.Raw.glyphIndexesForString(QString::fromUcs4(&c, 1));
                glyph = found.isEmpty() ? 0 : found.first();
                advance = CharWidth(*FFont, c);
            }
            if (glyph == 0 && c >= 32) {
                // The face lacks the character; the system's fallback fonts may have it.
                placed = false;
                return;
            }
            if (c >= 32 && glyph != 0) {
                glyphs.append(glyph);
                positions.append(QPointF(double(x), baseline));
            }
            x += advance;
        });
    }
    if (!placed) {
        FPainter->setFont(entry.QtFont);
        FPainter->drawText(QPointF(X, baseline), Text);
        return;
    }
    if (glyphs.isEmpty() && !(entry.Style & (fsUnderline | fsStrikeOut)))
        return;
    QGlyphRun run;
    run.setRawFont(entry.Raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    run.setUnderline(entry.Style & fsUnderline);
    run.setStrikeOut(entry.Style & fsStrikeOut);
    FPainter->drawGlyphRun(QPointF(0, 0), run);
}

void TRLCanvas::TextOut(int X, int Y, const QString& Text)
{
    ApplyPlainMode();
    if (FBrush->Style() != bsClear)
        FillWith(QRect(X, Y, TextWidth(Text), TextHeight(Text)), ToQColor(FBrush->Color()));
    DrawTextAt(X, Y, Text);
}

void TRLCanvas::TextRect(const TRect& Rect, int X, int Y, const QString& Text)
{
    ApplyPlainMode();
    if (FBrush->Style() != bsClear && !Rect.IsEmpty())
        FillWith(Rect.ToQRect(), ToQColor(FBrush->Color()));
    if (Rect.IsEmpty())
        return;
    const TFontEntry& entry = CurrentFontEntry();
    const qint64 right = qint64(X) + TextWidth(Text);
    const qint64 bottom = qint64(Y) + entry.CellHeight;
    // Upright text whose cell lies inside the rectangle cannot reach outside it: no clip needed.
    if (!(entry.Style & fsItalic) && X >= Rect.Left && Y >= Rect.Top && right <= Rect.Right
        && bottom <= Rect.Bottom) {
        DrawTextAt(X, Y, Text);
        return;
    }
    const bool hadClip = FPainter->hasClipping();
    const QRegion oldClip = hadClip ? FPainter->clipRegion() : QRegion();
    IntersectClip(Rect);
    DrawTextAt(X, Y, Text);
    if (hadClip)
        FPainter->setClipRegion(oldClip);
    else
        FPainter->setClipping(false);
}

void TRLCanvas::StretchDraw(const TRect& Rect, const TGraphic& Graphic)
{
    ApplyPlainMode();
    Graphic.StretchDraw(*FPainter, Rect.ToQRect());
}

TColor TRLCanvas::Pixels(int X, int Y) const
{
    if (!FDevice || FDevice->devType() != QInternal::Image)
        return clNone;
    const auto* image = static_cast<const QImage*>(FDevice);
    if (!image->valid(X, Y))
        return clNone;
    const QRgb rgb = image->pixel(X, Y);
    return RGBToColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

void TRLCanvas::RemoveClip()
{
    if (FBaseClipping)
        FPainter->setClipRegion(FBaseClip);
    else
        FPainter->setClipping(false);
}

void TRLCanvas::IntersectClip(const TRect& Rect)
{
    const QRect rect = Rect.IsEmpty() ? QRect() : Rect.ToQRect();
    if (FPainter->hasClipping())
        FPainter->setClipRect(rect, Qt::IntersectClip);
    else
        FPainter->setClipRect(rect, Qt::ReplaceClip);
}

bool TRLCanvas::HasClip() const
{
    return FPainter->hasClipping();
}
