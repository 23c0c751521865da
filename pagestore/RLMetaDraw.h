#pragma once
// Drawing recorded pages on a canvas, and the helpers the printer and file writers share with it.
//
// A report coordinate v lands on the device at Offset + round(v x Factor), rounding to nearest with
// ties to even. Nothing drawn here is cached between paints: images are decoded and fonts converted
// each time (the canvas keeps its converted fonts only while it lives).
//
// The page PaintTo and the objects' PaintTo are declared with the page objects (RLMetaFile.h).
#include "pagestore/RLCanvas.h"
#include "pagestore/RLMetaFile.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

// Recorded pen, brush and font to the canvas's. The font's size becomes
// round(Size x Scale x recorded pixels per inch / the target font's pixels per inch), so the same
// call is right on a 96-dpi image and on a 600-dpi printer canvas.
void PenToCanvas(const TRLMetaPen& MetaPen, TPen& Pen);
void BrushToCanvas(const TRLMetaBrush& MetaBrush, TBrush& Brush);
void FontToCanvas(const TRLMetaFont& MetaFont, TFont& Font, double Scale);
// A width below 2 stays; any other becomes max(truncate(width x Factor), 1).
void ScaleCanvasPen(TPen& Pen, double Factor);

// A line from the canvas pen position to (X, Y). A pen wider than 1 with a dash or dot style is drawn
// as solid pieces of its pattern (one unit = four pen widths), the gaps in the brush colour unless
// the brush is clear. The pen ends at (X, Y) with its style, width and colour unchanged.
void DashedLineTo(TRLCanvas& Canvas, int X, int Y);

// Places and draws one text with the canvas's current font and brush: alignment 2 right, 3 centre and
// anything else from X (half a space in); layout 2 bottom, 3 centre and anything else at Y; alignment
// 4 widens gaps until one more space would overflow Rect. Drawn without clipping when TextFlags holds
// TextFlagAutoSize, else clipped to Rect.
void DrawText(TRLCanvas& Canvas, const TRect& Rect, int X, int Y, const QString& Text,
    TRLMetaTextAlignment Alignment, TRLMetaTextLayout Layout, uint16_t TextFlags);
// One step of justifying: inserts a space into the gap before Position (a position carried between
// steps, starting at the text's length), walking from the last gap toward the first and then again
// from the last. False when the text has no gap between words.
bool WidenTextGap(QString& Text, int& Position);

// Tagged image data ("BMP" + bitmap file, "ICO" + icon file, "NIL"): a new graphic, or nothing for
// "NIL", empty, unknown or unreadable data. Never throws for bad bytes.
std::unique_ptr<TGraphic> DecodeImageData(const QByteArray& Data);
// Draws decoded data stretched into Rect; with IntegralWidth the width is cut to whole multiples of
// the picture's width, plus one. Data that decodes to nothing draws nothing.
void DrawImageData(TRLCanvas& Canvas, const TRect& Rect, const QByteArray& Data, bool IntegralWidth);

// Clips to Rect alone; a rectangle of zero width or height removes clipping instead.
void ClipCanvas(TRLCanvas& Canvas, const TRect& Rect);
void UnclipCanvas(TRLCanvas& Canvas);

// The colour of one canvas pixel, clNone where the canvas cannot be read.
TColor CanvasPixel(const TRLCanvas& Canvas, int X, int Y);

// Outline metrics of a font in thousandths of its em (the font taken at 750 points at 96 pixels per
// inch, an em of 1000 pixels), for the PDF writer's font descriptors.
struct TRLFontMetrics
{
    // True only for a fixed-pitch outline face of no known family: the platform's pitch-and-family
    // byte equal to 4.
    bool PitchFlag = false;
    QString FaceName;
    int32_t FirstChar = 0;
    int32_t LastChar = 0;
    // Advance per Windows-1252 code; only FirstChar to LastChar are written.
    std::array<int32_t, 256> Widths {};
    QString FontName; // the face name again
    // "Bold", "Italic", "Underline", "StrikeOut" for the style bits set, in that order.
    QString StyleName;
    int32_t Flags = 32;
    TRect FontBox; // Left = x minimum, Top = y maximum, Right = x maximum, Bottom = y minimum
    std::array<int32_t, 3> Unused {};
    int32_t ItalicAngle = 0; // degrees, counter-clockwise from upright (negative leans right)
    int32_t CapHeight = 0;
    int32_t XHeight = 0;
    int32_t Ascent = 0;
    int32_t Descent = 0; // below the base line, so negative
    int32_t InternalLeading = 0;
    int32_t MaxWidth = 0;
    int32_t AvgWidth = 0;
};

// Fills Record for the face (substituted as the text measure does; an unknown face is whatever the
// system's font matching gives) and style bits. A face without outline metrics raises
// "Invalid font for GetOutlineTextMetrics"; one whose tables are damaged "GetOutlineTextMetrics
// failed".
void GetFontMetrics(const QString& FaceName, TFontStyles Style, TRLFontMetrics& Record);
