// Drawing recorded pages on a canvas: page and object painting with scales and rounding, the thick
// dashed lines, text placement and justifying, images, clipping and the font-metric record.
#include "pagestore/RLMetaDraw.h"
#include "pagestore/RLCanvas.h"
#include "pagestore/RLMetaFile.h"

#include "platform/Exceptions.h"
#include "platform/TextMeasure.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPdfWriter>
#include <QPicture>

#include <gtest/gtest.h>

namespace {

constexpr QRgb White = 0xFFFFFFFF;

QImage BlankImage(int Width, int Height)
{
    QImage image(Width, Height, QImage::Format_RGB32);
    image.fill(White);
    return image;
}

bool Inked(const QImage& Image, int X, int Y)
{
    return Image.pixel(X, Y) != White;
}

TColor ColorAt(const QImage& Image, int X, int Y)
{
    const QRgb rgb = Image.pixel(X, Y);
    return RGBToColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

// Bounds of every pixel that is not white, as left, top, right, bottom inclusive; empty when none.
struct TInk
{
    int Left = INT_MAX, Top = INT_MAX, Right = INT_MIN, Bottom = INT_MIN;
    bool Empty() const { return Left > Right; }
};

TInk InkBounds(const QImage& Image, const QRect& Area)
{
    TInk ink;
    for (int y = Area.top(); y <= Area.bottom(); ++y)
        for (int x = Area.left(); x <= Area.right(); ++x)
            if (Inked(Image, x, y)) {
                ink.Left = std::min(ink.Left, x);
                ink.Right = std::max(ink.Right, x);
                ink.Top = std::min(ink.Top, y);
                ink.Bottom = std::max(ink.Bottom, y);
            }
    return ink;
}

void Paint(QImage& Image, const TRLGraphicSurface& Page, const TRect& Rect)
{
    TRLCanvas canvas(&Image);
    Page.PaintTo(canvas, Rect);
}

TRLMetaPen MetaPen(TRLMetaColor Color, TRLMetaPenStyle Style, int Width)
{
    TRLMetaPen pen;
    pen.Color = Color;
    pen.Style = Style;
    pen.Width = Width;
    return pen;
}

TRLMetaBrush MetaBrush(TRLMetaColor Color, TRLMetaBrushStyle Style)
{
    TRLMetaBrush brush;
    brush.Color = Color;
    brush.Style = Style;
    return brush;
}

constexpr TRLMetaColor MetaBlack { 0, 0, 0 };
constexpr TRLMetaColor MetaRed { 255, 0, 0 };
constexpr TRLMetaColor MetaBlue { 0, 0, 255 };

TRLRectangleObject* AddRectangle(TRLGraphicSurface& Page, const TRect& Bounds, TRLMetaBrushStyle BrushStyle)
{
    auto* rectangle = new TRLRectangleObject(&Page);
    rectangle->BoundsRect = Bounds;
    rectangle->Pen = MetaPen(MetaBlack, MetaPenStyleSolid, 1);
    rectangle->Brush = MetaBrush(MetaRed, BrushStyle);
    return rectangle;
}

TRLFillRectObject* AddFill(TRLGraphicSurface& Page, const TRect& Bounds, TRLMetaColor Color = MetaBlue)
{
    auto* fill = new TRLFillRectObject(&Page);
    fill->BoundsRect = Bounds;
    fill->Brush = MetaBrush(Color, MetaBrushStyleSolid);
    return fill;
}

TRLLineObject* AddLine(TRLGraphicSurface& Page, TPoint From, TPoint To, TRLMetaPen Pen, TRLMetaBrush Brush)
{
    auto* line = new TRLLineObject(&Page);
    line->FromPoint = From;
    line->ToPoint = To;
    line->BoundsRect = TRect(std::min(From.x(), To.x()), std::min(From.y(), To.y()),
        std::max(From.x(), To.x()), std::max(From.y(), To.y()));
    line->Pen = Pen;
    line->Brush = Brush;
    return line;
}

// Runs of inked and blank pixels along one row, from X0 up to (not including) X1.
std::vector<int> RunLengths(const QImage& Image, int Row, int X0, int X1)
{
    std::vector<int> runs;
    bool inked = Inked(Image, X0, Row);
    int length = 0;
    for (int x = X0; x < X1; ++x) {
        if (Inked(Image, x, Row) == inked) {
            ++length;
        } else {
            runs.push_back(length);
            inked = !inked;
            length = 1;
        }
    }
    runs.push_back(length);
    return runs;
}

// --- page painting and object geometry -----------------------------------------------------------

TEST(PagePaint, ZeroWidthPageDrawsAtScaleOneFromTheRectangleOrigin)
{
    TRLGraphicSurface page; // Width and Height 0
    AddRectangle(page, TRect(0, 0, 6, 6), MetaBrushStyleSolid);
    AddFill(page, TRect(95, 0, 130, 3)); // reaches past the paint rectangle
    QImage image = BlankImage(160, 100);
    Paint(image, page, TRect(10, 10, 110, 60));

    // Outline at columns and rows 10 and 15, the brush inside.
    EXPECT_EQ(ColorAt(image, 10, 10), clBlack);
    EXPECT_EQ(ColorAt(image, 15, 15), clBlack);
    EXPECT_EQ(ColorAt(image, 12, 12), clRed);
    EXPECT_FALSE(Inked(image, 16, 12));
    EXPECT_FALSE(Inked(image, 9, 10));
    // Scale 1 from (10, 10), clipped at the paint rectangle's right edge.
    EXPECT_EQ(ColorAt(image, 105, 10), clBlue);
    EXPECT_EQ(ColorAt(image, 109, 12), clBlue);
    EXPECT_FALSE(Inked(image, 110, 10));
}

TEST(PagePaint, PageFillsTheRectangleAtItsScale)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(50);
    AddFill(page, TRect(0, 0, 100, 50));
    QImage image = BlankImage(300, 200);
    Paint(image, page, TRect(20, 30, 220, 130)); // factors 2 and 2
    const TInk ink = InkBounds(image, image.rect());
    EXPECT_EQ(ink.Left, 20);
    EXPECT_EQ(ink.Top, 30);
    EXPECT_EQ(ink.Right, 219);
    EXPECT_EQ(ink.Bottom, 129);
}

TEST(PagePaint, CoordinatesRoundHalvesToEven)
{
    const struct
    {
        TRect Bounds;
        int Width, PaintWidth; // page width and paint rectangle width give the factor
        int Left, Right; // expected device columns, Right exclusive
    } cases[] = {
        { TRect(1, 0, 5, 4), 200, 100, 0, 2 }, // 0.5 -> 0, 2.5 -> 2
        { TRect(3, 0, 7, 4), 200, 100, 2, 4 }, // 1.5 -> 2, 3.5 -> 4
        { TRect(5, 0, 11, 4), 200, 100, 2, 6 }, // 2.5 -> 2, 5.5 -> 6
        { TRect(1, 0, 3, 4), 40, 60, 2, 4 }, // 1.5 -> 2, 4.5 -> 4
        { TRect(3, 0, 5, 4), 40, 60, 4, 8 }, // 4.5 -> 4, 7.5 -> 8
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bounds.Left);
        TRLGraphicSurface page;
        page.SetWidth(c.Width);
        page.SetHeight(c.Width);
        AddFill(page, c.Bounds);
        QImage image = BlankImage(140, 60);
        Paint(image, page, TRect(10, 0, 10 + c.PaintWidth, c.PaintWidth));
        const TInk ink = InkBounds(image, QRect(0, 0, 140, 1));
        ASSERT_FALSE(ink.Empty());
        EXPECT_EQ(ink.Left, 10 + c.Left);
        EXPECT_EQ(ink.Right, 10 + c.Right - 1);
    }
}

TEST(PagePaint, CollapsedRectangleCoversOnePixel)
{
    for (double scale : { 1.0, 2.0, 0.5 }) {
        SCOPED_TRACE(scale);
        TRLGraphicSurface page;
        page.SetWidth(100);
        page.SetHeight(100);
        AddRectangle(page, TRect(20, 20, 20, 40), MetaBrushStyleSolid); // no width at all
        AddRectangle(page, TRect(60, 70, 80, 70), MetaBrushStyleClear); // no height at all
        const int side = int(100 * scale);
        QImage image = BlankImage(side + 10, side + 10);
        Paint(image, page, TRect(0, 0, side, side));
        const int x = int(20 * scale);
        const TInk column = InkBounds(image, QRect(0, 0, side / 2, side));
        EXPECT_EQ(column.Left, x);
        EXPECT_EQ(column.Right, x);
        EXPECT_EQ(column.Top, x);
        EXPECT_EQ(column.Bottom, int(40 * scale) - 1);
        const TInk row = InkBounds(image, QRect(side / 2, 0, side / 2 + 5, side + 5));
        EXPECT_EQ(row.Top, int(70 * scale));
        EXPECT_EQ(row.Bottom, int(70 * scale));
        EXPECT_EQ(row.Left, int(60 * scale));
        EXPECT_EQ(row.Right, int(80 * scale) - 1);
    }
}

TEST(PagePaint, PixelAndShapeKindsDrawWhereRecorded)
{
    TRLGraphicSurface page;
    auto* pixel = new TRLPixelObject(&page);
    pixel->BoundsRect = TRect(5, 5, 5, 5);
    pixel->Color = MetaRed;
    auto* ellipse = new TRLEllipseObject(&page);
    ellipse->BoundsRect = TRect(20, 20, 41, 41);
    ellipse->Pen = MetaPen(MetaBlack, MetaPenStyleSolid, 1);
    ellipse->Brush = MetaBrush(MetaBlue, MetaBrushStyleSolid);
    auto* polygon = new TRLPolygonObject(&page);
    polygon->Points = { TPoint(60, 20), TPoint(80, 20), TPoint(60, 40) };
    polygon->Pen = MetaPen(MetaBlack, MetaPenStyleSolid, 1);
    polygon->Brush = MetaBrush(MetaRed, MetaBrushStyleSolid);
    auto* polyline = new TRLPolylineObject(&page);
    polyline->Points = { TPoint(90, 20), TPoint(110, 20), TPoint(110, 40) };
    polyline->Pen = MetaPen(MetaBlue, MetaPenStyleSolid, 0);
    QImage image = BlankImage(130, 60);
    Paint(image, page, TRect(0, 0, 0, 0)); // a zero rectangle: scale 1, no clipping

    EXPECT_EQ(ColorAt(image, 5, 5), clRed);
    EXPECT_FALSE(Inked(image, 6, 5));
    EXPECT_EQ(ColorAt(image, 30, 30), clBlue); // ellipse inside
    EXPECT_FALSE(Inked(image, 21, 21)); // outside the curve, inside the box
    EXPECT_EQ(ColorAt(image, 63, 23), clRed); // polygon inside
    EXPECT_FALSE(Inked(image, 78, 38));
    EXPECT_EQ(ColorAt(image, 100, 20), clBlue); // polyline, nothing filled
    EXPECT_EQ(ColorAt(image, 110, 30), clBlue);
    EXPECT_FALSE(Inked(image, 100, 30));
    EXPECT_FALSE(Inked(image, 110, 40)); // the last point stays undrawn
}

// --- pens and dashed lines -------------------------------------------------------------------------

TEST(Pens, CanvasPenScalesOnlyWidePens)
{
    const struct
    {
        int Width;
        double Factor;
        int Expected;
    } cases[] = { { 0, 4, 0 }, { 1, 4, 1 }, { 1, 0.1, 1 }, { 3, 0.2, 1 }, { 3, 2, 6 }, { 5, 1.5, 7 },
        { 2, 0.99, 1 }, { 4, 0.75, 3 } };
    for (const auto& c : cases) {
        TPen pen;
        pen.SetWidth(c.Width);
        ScaleCanvasPen(pen, c.Factor);
        EXPECT_EQ(pen.Width(), c.Expected) << c.Width << " x " << c.Factor;
    }
}

TEST(Pens, DrawnLineThicknessFollowsTheScaledPen)
{
    const struct
    {
        int Width;
        double Factor;
        int Thickness;
    } cases[] = { { 1, 4, 1 }, { 3, 0.2, 1 }, { 3, 2, 6 }, { 3, 1, 3 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Width * 10 + c.Factor);
        TRLGraphicSurface page;
        page.SetWidth(100);
        page.SetHeight(100);
        AddLine(page, TPoint(5, 20), TPoint(40, 20), MetaPen(MetaBlack, MetaPenStyleSolid, c.Width),
            MetaBrush(MetaRed, MetaBrushStyleClear));
        const int side = int(100 * c.Factor);
        QImage image = BlankImage(side + 10, side + 10);
        Paint(image, page, TRect(0, 0, side, side));
        const int column = int(20 * c.Factor);
        int thickness = 0;
        for (int y = 0; y < image.height(); ++y)
            thickness += Inked(image, column, y) ? 1 : 0;
        EXPECT_EQ(thickness, c.Thickness);
    }
}

TEST(DashedLines, WidthThreeDashShowsDashesOf36AndGapsOf12)
{
    TRLGraphicSurface page;
    AddLine(page, TPoint(10, 20), TPoint(210, 20), MetaPen(MetaBlack, MetaPenStyleDash, 3),
        MetaBrush(MetaRed, MetaBrushStyleClear));
    QImage image = BlankImage(230, 40);
    Paint(image, page, TRect(0, 0, 0, 0));
    const std::vector<int> expected { 10, 36, 12, 36, 12, 36, 12, 36, 12, 8, 20 };
    EXPECT_EQ(RunLengths(image, 20, 0, 230), expected);
    // Three rows thick, centred on the line's row.
    EXPECT_EQ(RunLengths(image, 19, 0, 230), expected);
    EXPECT_EQ(RunLengths(image, 21, 0, 230), expected);
    EXPECT_EQ(InkBounds(image, image.rect()).Top, 19);
    EXPECT_EQ(InkBounds(image, image.rect()).Bottom, 21);
    EXPECT_EQ(ColorAt(image, 11, 20), clBlack);
}

TEST(DashedLines, GapsShowTheBrushColourWhenTheBrushIsNotClear)
{
    TRLGraphicSurface page;
    AddLine(page, TPoint(10, 20), TPoint(210, 20), MetaPen(MetaBlack, MetaPenStyleDash, 3),
        MetaBrush(MetaRed, MetaBrushStyleSolid));
    QImage image = BlankImage(230, 40);
    Paint(image, page, TRect(0, 0, 0, 0));
    EXPECT_EQ(ColorAt(image, 10, 20), clBlack);
    EXPECT_EQ(ColorAt(image, 45, 20), clBlack);
    EXPECT_EQ(ColorAt(image, 46, 20), clRed);
    EXPECT_EQ(ColorAt(image, 57, 21), clRed);
    EXPECT_EQ(ColorAt(image, 58, 19), clBlack);
    EXPECT_EQ(ColorAt(image, 209, 20), clBlack);
    EXPECT_FALSE(Inked(image, 210, 20));
}

TEST(DashedLines, RightToLeftCoversTheSamePixels)
{
    const TRLMetaPenStyle styles[] = { MetaPenStyleDash, MetaPenStyleDot, MetaPenStyleDashDot,
        MetaPenStyleDashDotDot, MetaPenStyleSolid };
    for (TRLMetaPenStyle style : styles) {
        SCOPED_TRACE(int(style));
        QImage images[2] = { BlankImage(240, 40), BlankImage(240, 40) };
        for (int direction = 0; direction < 2; ++direction) {
            TRLGraphicSurface page;
            const TPoint a(17, 20), b(219, 20);
            AddLine(page, direction ? b : a, direction ? a : b, MetaPen(MetaBlack, style, 3),
                MetaBrush(MetaRed, MetaBrushStyleSolid));
            Paint(images[direction], page, TRect(0, 0, 0, 0));
        }
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 240; ++x) {
                const bool inside = x >= 17 && x < 219 && y >= 19 && y <= 21;
                ASSERT_EQ(Inked(images[0], x, y), inside) << x << "," << y;
                ASSERT_EQ(Inked(images[1], x, y), inside) << x << "," << y;
            }
    }
}

TEST(DashedLines, PatternsAndPenAreRestored)
{
    const struct
    {
        TPenStyle Style;
        std::vector<int> Runs; // along 2-pixel-wide lines: unit 8
    } cases[] = {
        { psDot, { 8, 8, 8, 8, 8, 8, 8, 8, 8, 8 } },
        { psDashDot, { 16, 8, 8, 8, 16, 8, 8, 8 } },
        { psDashDotDot, { 24, 8, 8, 8, 8, 8, 16 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Style));
        QImage image = BlankImage(80, 10);
        {
            TRLCanvas canvas(&image);
            canvas.Pen().SetStyle(c.Style);
            canvas.Pen().SetWidth(2);
            canvas.Pen().SetColor(clBlue);
            canvas.Brush().SetStyle(bsClear);
            canvas.MoveTo(0, 5);
            DashedLineTo(canvas, 80, 5);
            EXPECT_EQ(canvas.Pen().Style(), c.Style);
            EXPECT_EQ(canvas.Pen().Width(), 2);
            EXPECT_EQ(canvas.Pen().Color(), clBlue);
            EXPECT_EQ(canvas.PenPos(), TPoint(80, 5));
        }
        EXPECT_EQ(RunLengths(image, 5, 0, 80), c.Runs);
    }
}

TEST(DashedLines, HugeDashedLineFinishesQuickly)
{
    QImage image = BlankImage(100, 10);
    QElapsedTimer timer;
    timer.start();
    {
        TRLCanvas canvas(&image);
        canvas.Pen().SetStyle(psDash);
        canvas.Pen().SetWidth(2);
        canvas.Brush().SetStyle(bsClear);
        canvas.MoveTo(-2000000000, 5);
        DashedLineTo(canvas, 2000000000, 5);
    }
    EXPECT_LT(timer.elapsed(), 2000);
    // Still dashed where it shows: the pattern from the far-away start, not one solid bar.
    const std::vector<int> runs = RunLengths(image, 5, 0, 100);
    EXPECT_GT(runs.size(), 4u);
}

// --- text ----------------------------------------------------------------------------------------------

TEST(Justify, GapsWidenFromTheLastTowardTheFirstAndAgain)
{
    QString text = QStringLiteral("A B C");
    int position = int(text.size());
    const char* expected[] = { "A B  C", "A  B  C", "A  B   C", "A   B   C", "A   B    C" };
    for (const char* step : expected) {
        ASSERT_TRUE(WidenTextGap(text, position));
        EXPECT_EQ(text, QString::fromLatin1(step));
    }
}

TEST(Justify, TextsWithoutAGapStayUnchanged)
{
    const struct
    {
        const char* Text;
        bool Widened;
        const char* After;
    } cases[] = {
        { "ABC", false, "ABC" },
        { "  ABC", false, "  ABC" },
        { "ABC  ", false, "ABC  " },
        { "", false, "" },
        { "A B ", true, "A  B " },
        { "A\tB", true, "A \tB" },
        { " A B", true, " A  B" },
    };
    for (const auto& c : cases) {
        QString text = QString::fromLatin1(c.Text);
        int position = int(text.size());
        EXPECT_EQ(WidenTextGap(text, position), c.Widened) << c.Text;
        EXPECT_EQ(text, QString::fromLatin1(c.After)) << c.Text;
    }
}

// The canvas font as a text object at scale 1 gets it: Liberation Sans (for "Arial") at 12 points.
void SetReferenceFont(TFont& Font)
{
    Font.SetName(QStringLiteral("Arial"));
    Font.SetSize(12);
    Font.SetStyle(0);
}

TRLTextObject* AddText(TRLGraphicSurface& Page, const TRect& Rect, const QString& Text,
    TRLMetaTextAlignment Alignment, TRLMetaTextLayout Layout, uint16_t Flags)
{
    TFont font;
    SetReferenceFont(font);
    font.SetColor(clBlack);
    Page.SetFont(font);
    TBrush clear;
    clear.SetStyle(bsClear);
    Page.SetBrush(clear);
    return Page.WriteText(Rect, Rect.Left, Rect.Top, Text, Alignment, Layout, Flags);
}

TEST(TextPlacement, EachAlignmentAndLayoutStartsWhereTheRulesPutIt)
{
    TFont font;
    SetReferenceFont(font);
    const QString text = QStringLiteral("HH");
    const int space = TextWidth(font, QStringLiteral(" "));
    const int spaced = TextWidth(font, text + QLatin1Char(' '));
    const int plain = TextWidth(font, text);
    const int height = TextHeight(font, text);
    const int ascent = TextMetrics(font).Ascent;
    const TRect rect(50, 40, 250, 100);
    ASSERT_EQ(font.PixelEmHeight(), 16);

    const struct
    {
        TRLMetaTextAlignment Alignment;
        TRLMetaTextLayout Layout;
        int X, Y;
    } cases[] = {
        { MetaTextAlignmentLeft, MetaTextLayoutTop, space / 2 + 50, 40 },
        { MetaTextAlignmentRight, MetaTextLayoutTop, space / 2 + 250 - spaced, 40 },
        { MetaTextAlignmentCenter, MetaTextLayoutTop, space / 2 + (300 - spaced) / 2, 40 },
        { MetaTextAlignmentLeft, MetaTextLayoutBottom, space / 2 + 50, 100 - height },
        { MetaTextAlignmentRight, MetaTextLayoutCenter, space / 2 + 250 - spaced, (140 - height) / 2 },
        { MetaTextAlignmentCenter, MetaTextLayoutCenter, space / 2 + (300 - spaced) / 2, (140 - height) / 2 },
        { TRLMetaTextAlignment(9), TRLMetaTextLayout(9), space / 2 + 50, 40 }, // unknown codes: as left, top
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Alignment) * 10 + int(c.Layout));
        TRLGraphicSurface page;
        AddText(page, rect, text, c.Alignment, c.Layout, TextFlagKeepWhole);
        QImage image = BlankImage(300, 160);
        Paint(image, page, TRect(0, 0, 0, 0));
        const TInk ink = InkBounds(image, image.rect());
        ASSERT_FALSE(ink.Empty());
        // 'H' stands a little inside its advance on both sides, from the base line up to cap height.
        EXPECT_GE(ink.Left, c.X);
        EXPECT_LE(ink.Left, c.X + 3);
        EXPECT_LE(ink.Right, c.X + plain - 1);
        EXPECT_GE(ink.Right, c.X + plain - 5);
        EXPECT_EQ(ink.Bottom, c.Y + ascent - 1);
        EXPECT_GE(ink.Top, c.Y + ascent - 12);
        EXPECT_LE(ink.Top, c.Y + ascent - 10);
    }
}

TEST(TextPlacement, TextScalesWithTheVerticalFactor)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    AddText(page, TRect(10, 10, 90, 40), QStringLiteral("HHHH"), MetaTextAlignmentLeft, MetaTextLayoutTop,
        TextFlagAutoSize | TextFlagKeepWhole);
    QImage small = BlankImage(120, 120);
    QImage large = BlankImage(240, 240);
    Paint(small, page, TRect(0, 0, 100, 100));
    Paint(large, page, TRect(0, 0, 200, 200));
    const TInk a = InkBounds(small, small.rect());
    const TInk b = InkBounds(large, large.rect());
    const int widthA = a.Right - a.Left + 1;
    const int widthB = b.Right - b.Left + 1;
    EXPECT_NEAR(double(widthB) / widthA, 2.0, 0.15);
    EXPECT_NEAR(double(b.Bottom - b.Top + 1) / (a.Bottom - a.Top + 1), 2.0, 0.2);
}

TEST(TextPlacement, JustifiedTextReachesTheRightEdgeWithoutPassingIt)
{
    TFont font;
    SetReferenceFont(font);
    const int space = TextWidth(font, QStringLiteral(" "));
    const TRect rect(20, 10, 280, 40);
    for (TRLMetaTextAlignment alignment : { MetaTextAlignmentLeft, MetaTextAlignmentJustify }) {
        TRLGraphicSurface page;
        AddText(page, rect, QStringLiteral("HH HH HH"), alignment, MetaTextLayoutTop, TextFlagKeepWhole);
        QImage image = BlankImage(300, 60);
        Paint(image, page, TRect(0, 0, 0, 0));
        const TInk ink = InkBounds(image, image.rect());
        if (alignment == MetaTextAlignmentJustify) {
            EXPECT_LE(ink.Right, rect.Right - 1);
            EXPECT_GT(ink.Right, rect.Right - space - 5);
            // The gaps widened evenly: the middle word sits near the middle.
            const TInk middle = InkBounds(image, QRect(100, 0, 100, 60));
            EXPECT_GT(middle.Left, 120);
            EXPECT_LT(middle.Right, 180);
        } else {
            EXPECT_LT(ink.Right, rect.Left + 100);
        }
    }
}

TEST(TextPlacement, JustifyingAHugeRectangleStopsInTime)
{
    QImage image = BlankImage(100, 40);
    QElapsedTimer timer;
    timer.start();
    {
        TRLCanvas canvas(&image);
        SetReferenceFont(canvas.Font());
        canvas.Brush().SetStyle(bsClear);
        DrawText(canvas, TRect(0, 0, 2000000000, 30), 0, 0, QStringLiteral("a b"), MetaTextAlignmentJustify,
            MetaTextLayoutTop, TextFlagAutoSize);
    }
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST(TextPlacement, FlagFourClipsAndFiveDoesNot)
{
    const TRect rect(10, 10, 40, 40);
    for (uint16_t flags : { uint16_t(4), uint16_t(5) }) {
        SCOPED_TRACE(flags);
        TRLGraphicSurface page;
        AddText(page, rect, QStringLiteral("WWWWWWWW"), MetaTextAlignmentLeft, MetaTextLayoutTop, flags);
        QImage image = BlankImage(200, 60);
        Paint(image, page, TRect(0, 0, 0, 0));
        const TInk ink = InkBounds(image, image.rect());
        ASSERT_FALSE(ink.Empty());
        if (flags == 4)
            EXPECT_EQ(ink.Right, 39);
        else
            EXPECT_GT(ink.Right, 100);
    }
}

TEST(TextPlacement, OpaqueBrushFillsTheClippedRectangle)
{
    TRLGraphicSurface page;
    TFont font;
    SetReferenceFont(font);
    page.SetFont(font);
    TBrush brush;
    brush.SetColor(clRed);
    page.SetBrush(brush);
    page.WriteText(TRect(10, 10, 60, 30), 10, 10, QStringLiteral("x"), MetaTextAlignmentLeft,
        MetaTextLayoutTop, TextFlagKeepWhole);
    QImage image = BlankImage(80, 40);
    Paint(image, page, TRect(0, 0, 0, 0));
    EXPECT_EQ(ColorAt(image, 59, 29), clRed);
    EXPECT_EQ(ColorAt(image, 10, 10), clRed);
    EXPECT_FALSE(Inked(image, 60, 29));
}

TEST(TextPlacement, MacrosAreExpandedWhenDrawn)
{
    TRLGraphicSurface page;
    SetMacroValue(page.MacroValues, QStringLiteral("Word"), QStringLiteral("HHHHHHHH"));
    AddText(page, TRect(0, 0, 300, 30), QStringLiteral("{Word}"), MetaTextAlignmentLeft, MetaTextLayoutTop,
        TextFlagAutoSize);
    QImage image = BlankImage(300, 30);
    Paint(image, page, TRect(0, 0, 0, 0));
    const TInk ink = InkBounds(image, image.rect());
    // Eight H of 12 pixels: the braces and the name would give another width and shape.
    EXPECT_GE(ink.Right - ink.Left + 1, 8 * 12 - 4);
    EXPECT_LE(ink.Right - ink.Left + 1, 8 * 12);
}

TEST(Fonts, FontToCanvasScalesThroughBothResolutions)
{
    const struct
    {
        int Size;
        int RecordedPpi;
        double Scale;
        int TargetPpi;
        int Expected;
    } cases[] = {
        { 8, 96, 1, 96, 8 }, { 8, 96, 1.5, 96, 12 }, { 10, 96, 6.25, 600, 10 }, { 10, 96, 3.125, 300, 10 },
        { 9, 72, 1, 96, 7 }, // 6.75
        { 12, 0, 1, 96, 12 }, // an unrecorded resolution counts as 96
        { 5, 96, 0.5, 96, 2 }, // 2.5 to even
        { 7, 96, 0.5, 96, 4 }, // 3.5 to even
    };
    for (const auto& c : cases) {
        TRLGraphicSurface page;
        auto* text = new TRLTextObject(&page);
        text->Font.SetName(QStringLiteral("Times New Roman"));
        text->Font.Size = c.Size;
        text->Font.PixelsPerInch = c.RecordedPpi;
        text->Font.Style = MetaFontStyleBold | MetaFontStyleUnderline;
        text->Font.Color = MetaRed;
        text->Font.Pitch = MetaFontPitchFixed;
        TFont font;
        font.SetPixelsPerInch(c.TargetPpi);
        FontToCanvas(text->Font, font, c.Scale);
        EXPECT_EQ(font.Size(), c.Expected) << c.Size << " " << c.Scale;
        EXPECT_EQ(font.Name(), QStringLiteral("Times New Roman"));
        EXPECT_EQ(font.Style(), fsBold | fsUnderline);
        EXPECT_EQ(font.Color(), clRed);
        EXPECT_EQ(font.Pitch(), TFontPitch::fpFixed);
    }
}

TEST(Fonts, PagedDocumentWriterCountsItsOwnResolution)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(300);
    TRLCanvas canvas(&writer);
    EXPECT_EQ(canvas.PixelsPerInch(), 300);
    EXPECT_EQ(canvas.Font().PixelsPerInch(), 300);
    QImage image = BlankImage(4, 4);
    TRLCanvas screen(&image);
    EXPECT_EQ(screen.PixelsPerInch(), 96);
}

TEST(Fonts, PrinterResolutionCanvasMeasuresInItsOwnPixels)
{
    QImage screen = BlankImage(10, 10);
    QImage printer = BlankImage(10, 10);
    TRLGraphicSurface page;
    auto* text = new TRLTextObject(&page);
    text->Font.SetName(QStringLiteral("Arial"));
    text->Font.Size = 10;
    text->Font.PixelsPerInch = 96;
    TRLCanvas screenCanvas(&screen);
    TRLCanvas printerCanvas(&printer, 600);
    EXPECT_EQ(screenCanvas.PixelsPerInch(), 96);
    EXPECT_EQ(printerCanvas.PixelsPerInch(), 600);
    FontToCanvas(text->Font, screenCanvas.Font(), 1.0);
    FontToCanvas(text->Font, printerCanvas.Font(), 600.0 / 96.0);
    const QString sample = QStringLiteral("Inventário por Preço de Custo");
    const double ratio = double(printerCanvas.TextWidth(sample)) / screenCanvas.TextWidth(sample);
    EXPECT_NEAR(ratio, 6.25, 0.35);
    EXPECT_EQ(printerCanvas.Font().Height(), -83); // 10 points at 600 per inch
    // The canvas measures exactly as the platform's text measure does.
    EXPECT_EQ(printerCanvas.TextWidth(sample), TextWidth(printerCanvas.Font(), sample));
    EXPECT_EQ(printerCanvas.TextHeight(sample), TextHeight(printerCanvas.Font(), sample));
}

// --- images -----------------------------------------------------------------------------------------

QByteArray RedBitmapData(int Width, int Height)
{
    QImage bitmap(Width, Height, QImage::Format_RGB32);
    bitmap.fill(qRgb(255, 0, 0));
    return QByteArray("BMP") + TGraphic(bitmap, gkBitmap).SaveToBytes();
}

TEST(Images, NothingDecodesToNothingAndDrawsNothing)
{
    const QByteArray bitmap = RedBitmapData(4, 4);
    const QByteArray cases[] = {
        QByteArray(), QByteArray("NIL"), QByteArray("BM"), QByteArray("PNG") + bitmap.mid(3),
        QByteArray("BMP") + QByteArray("not a bitmap"), QByteArray("BMP"),
        bitmap.left(bitmap.size() - 20), // cut short
        QByteArray("ICO") + bitmap.mid(3), // a bitmap behind an icon tag
    };
    for (const QByteArray& data : cases) {
        SCOPED_TRACE(data.left(12).toHex().toStdString());
        EXPECT_EQ(DecodeImageData(data), nullptr);
        QImage image = BlankImage(20, 20);
        {
            TRLCanvas canvas(&image);
            DrawImageData(canvas, TRect(0, 0, 20, 20), data, false);
        }
        EXPECT_TRUE(InkBounds(image, image.rect()).Empty());
    }
    ASSERT_NE(DecodeImageData(bitmap), nullptr);
    EXPECT_EQ(DecodeImageData(bitmap)->Width(), 4);
}

TEST(Images, IntegralWidthCutsToWholeCopiesPlusOne)
{
    const struct
    {
        bool Integral;
        int RectWidth;
        int DrawnWidth;
    } cases[] = { { true, 95, 91 }, { false, 95, 95 }, { true, 100, 101 }, { true, 9, 1 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.RectWidth * 2 + c.Integral);
        TRLGraphicSurface page;
        auto* picture = new TRLImageObject(&page);
        picture->BoundsRect = TRect(5, 5, 5 + c.RectWidth, 9);
        picture->Data = RedBitmapData(10, 4);
        picture->IntegralWidth = c.Integral;
        QImage image = BlankImage(130, 20);
        Paint(image, page, TRect(0, 0, 0, 0));
        const TInk ink = InkBounds(image, image.rect());
        ASSERT_FALSE(ink.Empty());
        EXPECT_EQ(ink.Left, 5);
        EXPECT_EQ(ink.Right - ink.Left + 1, c.DrawnWidth);
        EXPECT_EQ(ink.Top, 5);
        EXPECT_EQ(ink.Bottom, 8);
        EXPECT_EQ(ColorAt(image, 5, 5), clRed);
    }
}

TEST(Images, IconDataDraws)
{
    QImage icon(8, 8, QImage::Format_ARGB32);
    icon.fill(qRgba(0, 0, 255, 255));
    const QByteArray data = QByteArray("ICO") + TGraphic(icon, gkIcon).SaveToBytes();
    QImage image = BlankImage(20, 20);
    {
        TRLCanvas canvas(&image);
        DrawImageData(canvas, TRect(2, 2, 18, 18), data, false);
    }
    EXPECT_EQ(ColorAt(image, 10, 10), clBlue);
    EXPECT_FALSE(Inked(image, 1, 10));
}

// --- clipping ---------------------------------------------------------------------------------------

TEST(Clipping, ClipObjectsNarrowAndRestoreAndZeroHeightRemovesClipping)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    page.SetClipRect(TRect(10, 0, 30, 100));
    AddFill(page, TRect(0, 0, 100, 5)); // rows 0-4: only columns 10..29
    page.ResetClipRect();
    AddFill(page, TRect(0, 10, 150, 15)); // rows 10-14: the page clip again, up to 99
    page.SetClipRect(TRect(20, 50, 40, 50)); // zero height: no clipping at all
    AddFill(page, TRect(0, 20, 150, 25));
    page.ResetClipRect();
    QImage image = BlankImage(160, 110);
    Paint(image, page, TRect(0, 0, 100, 100));

    EXPECT_EQ(InkBounds(image, QRect(0, 0, 160, 5)).Left, 10);
    EXPECT_EQ(InkBounds(image, QRect(0, 0, 160, 5)).Right, 29);
    EXPECT_EQ(InkBounds(image, QRect(0, 10, 160, 5)).Left, 0);
    EXPECT_EQ(InkBounds(image, QRect(0, 10, 160, 5)).Right, 99);
    EXPECT_EQ(InkBounds(image, QRect(0, 20, 160, 5)).Right, 149);
}

TEST(Clipping, ClipCanvasDirectly)
{
    QImage image = BlankImage(60, 60);
    TRLCanvas canvas(&image);
    canvas.Brush().SetColor(clRed);
    ClipCanvas(canvas, TRect(10, 10, 20, 20));
    EXPECT_TRUE(canvas.HasClip());
    canvas.FillRect(TRect(0, 0, 60, 30));
    // A new clip replaces the old one rather than narrowing it.
    ClipCanvas(canvas, TRect(40, 40, 50, 50));
    canvas.FillRect(TRect(0, 35, 60, 60));
    ClipCanvas(canvas, TRect(5, 5, 5, 50)); // zero width
    EXPECT_FALSE(canvas.HasClip());
    canvas.MoveTo(0, 32);
    canvas.LineTo(50, 32);
    UnclipCanvas(canvas);
    EXPECT_FALSE(canvas.HasClip());
    const TInk first = InkBounds(image, QRect(0, 0, 60, 30));
    EXPECT_EQ(first.Left, 10);
    EXPECT_EQ(first.Right, 19);
    EXPECT_EQ(first.Bottom, 19);
    const TInk second = InkBounds(image, QRect(0, 35, 60, 25));
    EXPECT_EQ(second.Left, 40);
    EXPECT_EQ(second.Bottom, 49);
    EXPECT_EQ(RunLengths(image, 32, 0, 60), (std::vector<int> { 50, 10 })); // the end point stays undrawn
}

class TFailingObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okPixel; }
    void PaintTo(TRLCanvas&, double, double, int, int) const override
    {
        throw Exception(QStringLiteral("drawing failed"));
    }
};

TEST(Clipping, FailureWhileDrawingStillUnclipsAndEmptiesTheClipStack)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    page.SetClipRect(TRect(10, 10, 50, 50));
    page.SetClipRect(TRect(20, 20, 30, 30));
    new TFailingObject(&page);
    const TRect recordedClip = page.CurrentClip;
    const int recordedDepth = page.SavedClipCount();

    QImage image = BlankImage(100, 100);
    TRLCanvas canvas(&image);
    EXPECT_THROW(page.PaintTo(canvas, TRect(0, 0, 100, 100)), Exception);
    EXPECT_FALSE(canvas.HasClip());
    EXPECT_TRUE(canvas.SavedClips.isEmpty());
    EXPECT_EQ(canvas.CurrentClip, TRect(0, 0, 100, 100));
    // Painting keeps its clip state in the canvas; the page can go on recording as before.
    EXPECT_EQ(page.CurrentClip, recordedClip);
    EXPECT_EQ(page.SavedClipCount(), recordedDepth);
}

TEST(Clipping, UnmatchedResetKeepsThePageClip)
{
    TRLGraphicSurface page;
    page.SetWidth(50);
    page.SetHeight(50);
    auto* reset = new TRLResetClipRectObject(&page);
    reset->BoundsRect = TRect(0, 0, 500, 500);
    AddFill(page, TRect(0, 0, 200, 5));
    QImage image = BlankImage(100, 60);
    Paint(image, page, TRect(0, 0, 50, 50));
    EXPECT_EQ(InkBounds(image, image.rect()).Right, 49);
}

TEST(Canvas, PixelsReadOnlyFromPictures)
{
    QImage image = BlankImage(10, 10);
    image.setPixel(3, 4, qRgb(0x12, 0x34, 0x56));
    TRLCanvas canvas(&image);
    EXPECT_EQ(CanvasPixel(canvas, 3, 4), RGBToColor(0x12, 0x34, 0x56));
    EXPECT_EQ(CanvasPixel(canvas, 0, 0), clWhite);
    EXPECT_EQ(CanvasPixel(canvas, 10, 0), clNone);
    EXPECT_EQ(CanvasPixel(canvas, -1, 0), clNone);
    QPicture picture;
    TRLCanvas recording(&picture);
    EXPECT_EQ(CanvasPixel(recording, 0, 0), clNone);
}

TEST(Canvas, CallersPainterIsLeftAsItWas)
{
    QImage image = BlankImage(40, 40);
    QPainter painter(&image);
    painter.setClipRect(QRect(0, 0, 20, 20));
    painter.setPen(QPen(Qt::green));
    {
        TRLCanvas canvas(painter);
        canvas.Brush().SetColor(clRed);
        ClipCanvas(canvas, TRect(10, 10, 30, 30));
        canvas.FillRect(TRect(0, 0, 40, 40));
        UnclipCanvas(canvas); // back to the owner's clip, not beyond it
        canvas.FillRect(TRect(0, 0, 40, 2));
    }
    EXPECT_TRUE(painter.isActive());
    EXPECT_EQ(painter.pen().color(), QColor(Qt::green));
    EXPECT_TRUE(painter.hasClipping());
    painter.end();
    const TInk ink = InkBounds(image, image.rect());
    EXPECT_EQ(ink.Left, 0);
    EXPECT_EQ(ink.Right, 19);
    EXPECT_EQ(ink.Bottom, 19);
    EXPECT_FALSE(Inked(image, 5, 5));
}

// --- font metrics ---------------------------------------------------------------------------------------

TEST(FontMetrics, LiberationSansGivesThousandthsOfTheEm)
{
    TRLFontMetrics metrics;
    metrics.Widths.fill(-7);
    GetFontMetrics(QStringLiteral("Arial"), 0, metrics);
    EXPECT_EQ(metrics.FaceName, QStringLiteral("Arial"));
    EXPECT_EQ(metrics.FontName, QStringLiteral("Arial"));
    EXPECT_EQ(metrics.FirstChar, 32); // the face says 33, but the space must have its width
    EXPECT_EQ(metrics.LastChar, 255);
    EXPECT_NEAR(metrics.Widths['A'], 667, 2);
    EXPECT_NEAR(metrics.Widths[' '], 278, 2);
    EXPECT_NEAR(metrics.Widths[0x80], 556, 2); // the euro sign at its Windows-1252 code
    EXPECT_NEAR(metrics.Widths[0xE7], 500, 2); // c cedilla
    if (metrics.FirstChar > 0) {
        EXPECT_EQ(metrics.Widths[0], -7); // outside the range: as the caller left it
    }
    EXPECT_NEAR(metrics.Ascent, 905, 2);
    EXPECT_NEAR(metrics.Descent, -212, 2);
    EXPECT_NEAR(metrics.InternalLeading, 117, 2);
    EXPECT_NEAR(metrics.CapHeight, 688, 15);
    EXPECT_NEAR(metrics.XHeight, 519, 15);
    EXPECT_EQ(metrics.ItalicAngle, 0);
    EXPECT_EQ(metrics.Flags, 32);
    EXPECT_LT(metrics.FontBox.Left, 0);
    EXPECT_LT(metrics.FontBox.Bottom, 0);
    EXPECT_GT(metrics.FontBox.Top, 900);
    EXPECT_GT(metrics.FontBox.Right, 1000);
    EXPECT_GT(metrics.MaxWidth, metrics.AvgWidth);
    EXPECT_NEAR(metrics.AvgWidth, 590, 5); // the face's own average over all its glyphs
    EXPECT_FALSE(metrics.PitchFlag);
    EXPECT_EQ(metrics.Unused, (std::array<int32_t, 3> {}));
}

TEST(FontMetrics, StyleNamesAndStyledFaces)
{
    const struct
    {
        TFontStyles Style;
        const char* Name;
    } cases[] = { { 0, "" }, { fsBold, "Bold" }, { fsItalic, "Italic" }, { fsBold | fsItalic, "BoldItalic" },
        { fsUnderline | fsStrikeOut, "UnderlineStrikeOut" },
        { fsBold | fsItalic | fsUnderline | fsStrikeOut, "BoldItalicUnderlineStrikeOut" } };
    for (const auto& c : cases) {
        TRLFontMetrics metrics;
        GetFontMetrics(QStringLiteral("Arial"), c.Style, metrics);
        EXPECT_EQ(metrics.StyleName, QString::fromLatin1(c.Name));
        if (c.Style & fsItalic) {
            EXPECT_NEAR(metrics.ItalicAngle, -12, 1);
        }
        // The bold face itself, not the regular one: its 'l' is 278 thousandths against 222.
        EXPECT_NEAR(metrics.Widths['l'], (c.Style & fsBold) ? 278 : 222, 2);
    }
    TRLFontMetrics mono;
    GetFontMetrics(QStringLiteral("Courier New"), 0, mono);
    for (int c = 'A'; c <= 'Z'; ++c)
        EXPECT_EQ(mono.Widths[size_t(c)], 600);
}

TEST(FontMetrics, UnknownFaceFallsBackToARealFace)
{
    TRLFontMetrics metrics;
    GetFontMetrics(QStringLiteral("No Such Face At All"), 0, metrics);
    EXPECT_EQ(metrics.FaceName, QStringLiteral("No Such Face At All"));
    EXPECT_GT(metrics.Widths['A'], 300);
    EXPECT_LT(metrics.Widths['A'], 1000);
    EXPECT_GT(metrics.Ascent, 500);
}

} // namespace
