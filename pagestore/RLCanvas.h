#pragma once
// A drawing canvas in the platform's manner over a QPainter, the same on a QImage, a widget and a
// printer: a current pen, brush and font (platform TPen, TBrush, TFont), a pen position, shapes, text
// output plain and clipped, stretched pictures, pixel reads and device clipping.
//
// Coordinates are device pixels. Shapes follow the platform's pixel rules and are never antialiased:
// a rectangle (L, T, R, B) covers columns L to R - 1 and rows T to B - 1; a thin line leaves its end
// point undrawn; a wide line (width above 1) ends flat at both of its points, so it covers the same
// pixels whichever way it is drawn. Text is antialiased (its placement is exact, the glyph edges are
// smoothed for reading on screen) and its glyphs are placed at the measured advances, so what
// TextWidth reports is exactly where the drawn text ends.
//
// Resolution: the canvas font counts PixelsPerInch of the device (96 on images and screens, the
// printer's resolution on a printer), so a font Size in points comes out at the right pixel height
// on any device, and TextWidth/TextHeight measure in device pixels.
//
// Ownership: a canvas made on a device begins its own painter there and ends it when destroyed; a
// canvas made on a caller's painter (a widget's paint event) leaves that painter to the caller and
// restores its state. Converted fonts are kept only for the canvas's lifetime. Besides the device's
// state the canvas carries the clip state of a page being drawn (CurrentClip, SavedClips), so that
// painting never touches the page itself. One thread uses a canvas.
#include "platform/Graphics.h"
#include "platform/Rect.h"

#include <QList>
#include <QPainter>
#include <QString>

#include <memory>

class QPaintDevice;

class TRLCanvas
{
public:
    // Begins a painter of its own on Device. PixelsPerInch 0 takes the device's: the resolution of a
    // printer or a paged document writer, 96 on images, pixmaps, pictures and widgets.
    explicit TRLCanvas(QPaintDevice* Device, int PixelsPerInch = 0);
    // Paints through Painter, which must be active and stays the caller's.
    explicit TRLCanvas(QPainter& Painter, int PixelsPerInch = 0);
    ~TRLCanvas();
    TRLCanvas(const TRLCanvas&) = delete;
    TRLCanvas& operator=(const TRLCanvas&) = delete;

    QPainter& Painter() { return *FPainter; }
    int PixelsPerInch() const { return FPixelsPerInch; }

    TPen& Pen() { return *FPen; }
    TBrush& Brush() { return *FBrush; }
    TFont& Font() { return *FFont; }

    TPoint PenPos() const { return FPenPos; }
    void MoveTo(int X, int Y) { FPenPos = TPoint(X, Y); }
    // A line from the pen position to (X, Y) with the pen, which then rests at (X, Y).
    void LineTo(int X, int Y);
    // Outline with the pen, inside filled with the brush.
    void Rectangle(int Left, int Top, int Right, int Bottom);
    void Rectangle(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
    void Ellipse(int Left, int Top, int Right, int Bottom);
    void Polygon(const QList<TPoint>& Points);
    // Lines through the points with the pen; nothing is filled.
    void Polyline(const QList<TPoint>& Points);
    // Fills with the brush, no outline.
    void FillRect(const TRect& Rect);

    // Text with its cell's top-left corner at (X, Y), in the font's colour; a brush that is not clear
    // fills the text's cell first.
    void TextOut(int X, int Y, const QString& Text);
    // As TextOut, but nothing shows outside Rect; a brush that is not clear fills Rect first.
    void TextRect(const TRect& Rect, int X, int Y, const QString& Text);
    int TextWidth(const QString& Text);
    int TextHeight(const QString& Text);

    void StretchDraw(const TRect& Rect, const TGraphic& Graphic);
    // The colour of one pixel; clNone where it cannot be read (outside the picture, or a device that
    // is not a picture in memory).
    TColor Pixels(int X, int Y) const;

    // Clipping. Removing it goes back to whatever the painter's owner had set (nothing, on a canvas
    // with its own painter); intersecting narrows the current clip.
    void RemoveClip();
    void IntersectClip(const TRect& Rect);
    bool HasClip() const;

    // The clip state of a page being painted: the current clip rectangle and the rectangles saved by
    // the page's clip objects.
    TRect CurrentClip;
    QList<TRect> SavedClips;

private:
    struct TFontEntry;
    void Init(int PixelsPerInch);
    TFontEntry& CurrentFontEntry();
    void ApplyPen();
    void ApplyPenAndBrush();
    void ApplyShapeMode();
    void ApplyPlainMode();
    bool PenVisible() const;
    void FillWith(const QRect& Rect, const QColor& Color);
    void WideSegment(QPoint From, QPoint To, const QColor& Color, int Width);
    void DrawTextAt(int X, int Y, const QString& Text);

    std::unique_ptr<QPainter> FOwnPainter;
    QPainter* FPainter = nullptr;
    QPaintDevice* FDevice = nullptr;
    int FPixelsPerInch = 96;
    bool FBaseClipping = false;
    QRegion FBaseClip;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
    std::unique_ptr<TFont> FFont;
    TPoint FPenPos;
    // Converted fonts, by face, height, style and pitch; only for this canvas's life.
    std::vector<std::unique_ptr<TFontEntry>> FFonts;
    TFontEntry* FCurrentFont = nullptr;
};
