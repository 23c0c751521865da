// Page objects and pages: recording, copies, geometry, macros and the page body's round trip.
#include "pagestore/RLMetaFile.h"

#include "platform/Exceptions.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

// --- meta conversions ---------------------------------------------------------------------------

TEST(MetaConversions, EnumerationsArePlatformPlusOneWithDefaults)
{
    for (int v = pmBlack; v <= pmNotXor; ++v) {
        EXPECT_EQ(int(ToMetaPenMode(TPenMode(v))), v + 1);
        EXPECT_EQ(FromMetaPenMode(TRLMetaPenMode(v + 1)), TPenMode(v));
    }
    for (int v = psSolid; v <= psInsideFrame; ++v)
        EXPECT_EQ(FromMetaPenStyle(ToMetaPenStyle(TPenStyle(v))), TPenStyle(v));
    for (int v = bsSolid; v <= bsDiagCross; ++v)
        EXPECT_EQ(int(ToMetaBrushStyle(TBrushStyle(v))), v + 1);
    EXPECT_EQ(int(ToMetaFontPitch(TFontPitch::fpFixed)), 3);

    // Values outside the lists fall back to the defaults, both ways.
    EXPECT_EQ(ToMetaPenMode(TPenMode(40)), MetaPenModeCopy);
    EXPECT_EQ(FromMetaPenMode(TRLMetaPenMode(0)), pmCopy);
    EXPECT_EQ(FromMetaPenMode(TRLMetaPenMode(17)), pmCopy);
    EXPECT_EQ(ToMetaPenStyle(TPenStyle(-1)), MetaPenStyleSolid);
    EXPECT_EQ(FromMetaPenStyle(TRLMetaPenStyle(8)), psSolid);
    EXPECT_EQ(FromMetaBrushStyle(TRLMetaBrushStyle(0)), bsSolid);
    EXPECT_EQ(FromMetaFontPitch(TRLMetaFontPitch(4)), TFontPitch::fpDefault);
    EXPECT_EQ(ToMetaFontStyles(0xFF), 15);
    EXPECT_EQ(FromMetaFontStyles(0x15), fsBold | fsUnderline);
}

TEST(MetaConversions, ColoursResolveSystemColours)
{
    const TRLMetaColor red = ToMetaColor(clRed);
    EXPECT_EQ(red, (TRLMetaColor { 255, 0, 0 }));
    const TRLMetaColor face = ToMetaColor(clBtnFace);
    const TColor rgb = ColorToRGB(clBtnFace);
    EXPECT_EQ(
        face, (TRLMetaColor { uint8_t(GetRValue(rgb)), uint8_t(GetGValue(rgb)), uint8_t(GetBValue(rgb)) }));
    EXPECT_EQ(FromMetaColor(TRLMetaColor { 0x12, 0x34, 0x56 }), TColor(0x563412));
}

TEST(MetaConversions, PenScaleNeverLosesAVisibleLine)
{
    const struct
    {
        int Width;
        double Factor;
        int Expected;
    } cases[] = { { 0, 0.5, 0 }, { 0, 10, 0 }, { 1, 0.5, 1 }, { 1, 0.1, 1 }, { 3, 0.5, 2 }, { 5, 0.5, 2 },
        { 4, 2.5, 10 } };
    for (const auto& c : cases) {
        TRLMetaPen pen;
        pen.Width = c.Width;
        pen.ScaleBy(c.Factor);
        EXPECT_EQ(pen.Width, c.Expected) << c.Width << " x " << c.Factor;
    }
}

TEST(MetaConversions, RoundingIsToEven)
{
    EXPECT_EQ(RoundToPixel(2.5L), 2);
    EXPECT_EQ(RoundToPixel(3.5L), 4);
    EXPECT_EQ(RoundToPixel(-2.5L), -2);
    EXPECT_EQ(RoundToPixel(1e30L), std::numeric_limits<int>::max());
    // Whole numbers take a shorter way; the edges of int and values just off a whole number must
    // come out as the rounding gives them.
    constexpr int Max = std::numeric_limits<int>::max();
    constexpr int Min = std::numeric_limits<int>::min();
    EXPECT_EQ(RoundToPixel(0.0L), 0);
    EXPECT_EQ(RoundToPixel(-0.0L), 0);
    EXPECT_EQ(RoundToPixel(-7.0L), -7);
    EXPECT_EQ(RoundToPixel(1234.0L), 1234);
    EXPECT_EQ(RoundToPixel(1234.4999L), 1234);
    EXPECT_EQ(RoundToPixel(-1234.5001L), -1235);
    EXPECT_EQ(RoundToPixel(static_cast<long double>(Max)), Max);
    EXPECT_EQ(RoundToPixel(static_cast<long double>(Max) - 0.4L), Max);
    EXPECT_EQ(RoundToPixel(static_cast<long double>(Max) - 1.0L), Max - 1);
    EXPECT_EQ(RoundToPixel(static_cast<long double>(Min)), Min);
    EXPECT_EQ(RoundToPixel(static_cast<long double>(Min) + 0.4L), Min);
    EXPECT_EQ(RoundToPixel(-1e30L), Min);
    EXPECT_EQ(RoundToPixel(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(RoundToPixel(std::numeric_limits<long double>::infinity()), Max);
}

// --- recording ----------------------------------------------------------------------------------

TEST(Recording, CopiesTheCurrentState)
{
    TRLGraphicSurface page;
    page.SetWidth(800);
    page.SetHeight(600);
    page.MarginRect = TRect(10, 20, 790, 580);
    EXPECT_EQ(page.CurrentBrush().Color(), clWhite);
    EXPECT_EQ(page.CurrentPen().Color(), clBlack);
    EXPECT_EQ(page.CurrentFont().Color(), clBlack);

    const int group = NewGroupId();
    TRLRectangleObject* rect = page.Rectangle(1, 2, 3, 4);
    EXPECT_TRUE(page.IsOpen());
    EXPECT_TRUE(page.Dirty);
    EXPECT_EQ(page.WritePos, TPoint(10, 20));
    EXPECT_EQ(page.CurrentClip, TRect(0, 0, 800, 600));
    EXPECT_EQ(rect->GroupId, group);
    EXPECT_EQ(rect->BoundsRect, TRect(1, 2, 3, 4));
    EXPECT_EQ(rect->Brush.Color, (TRLMetaColor { 255, 255, 255 }));
    EXPECT_EQ(rect->Pen.Width, 1);

    TFont font;
    font.SetName(QStringLiteral("Arial"));
    font.SetSize(12);
    font.SetStyle(fsBold | fsItalic);
    font.SetColor(clNavy);
    page.SetFont(font);
    TRLTextObject* first = page.WriteText(TRect(0, 0, 100, 20), 5, 6, QStringLiteral("{PageNumber}"),
        MetaTextAlignmentCenter, MetaTextLayoutBottom, TextFlagKeepWhole);
    font.SetName(QStringLiteral("ARIAL"));
    page.SetFont(font);
    TRLTextObject* second
        = page.WriteText(TRect(), 0, 0, QString(), MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
    font.SetName(QStringLiteral("Courier New"));
    page.SetFont(font);
    TRLTextObject* third
        = page.WriteText(TRect(), 0, 0, QString(), MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
    EXPECT_EQ(page.FontNames, QStringList({ "Arial", "Courier New" })); // once per page, any case
    EXPECT_EQ(first->Font.NameIndex, 0);
    EXPECT_EQ(second->Font.NameIndex, 0);
    EXPECT_EQ(third->Font.Name(), QStringLiteral("Courier New"));
    EXPECT_EQ(first->Font.Size, 12);
    EXPECT_EQ(first->Font.Style, MetaFontStyleBold | MetaFontStyleItalic);
    EXPECT_EQ(first->Font.Color, (TRLMetaColor { 0, 0, 128 }));
    EXPECT_EQ(first->Font.PixelsPerInch, 96);
    EXPECT_EQ(first->Origin, TPoint(5, 6));
    EXPECT_EQ(first->Text, QStringLiteral("{PageNumber}")); // stored unexpanded
    EXPECT_EQ(first->Layout, MetaTextLayoutBottom);
    EXPECT_EQ(first->TextFlags, TextFlagKeepWhole);
    EXPECT_EQ(page.ObjectCount(), 4);

    // Open again is a no-op; Clear resets objects, names and write position.
    page.WritePos = TPoint(99, 99);
    page.Open();
    EXPECT_EQ(page.WritePos, TPoint(99, 99));
    page.Dirty = false;
    page.Clear();
    EXPECT_EQ(page.ObjectCount(), 0);
    EXPECT_TRUE(page.FontNames.isEmpty());
    EXPECT_EQ(page.WritePos, TPoint(0, 0));
    EXPECT_TRUE(page.Dirty);
}

TEST(Recording, NewTextObjectDefaults)
{
    TRLGraphicSurface page;
    auto* text = new TRLTextObject(&page);
    EXPECT_EQ(text->TextFlags, 5);
    EXPECT_EQ(text->Alignment, MetaTextAlignmentLeft);
    EXPECT_EQ(text->Layout, MetaTextLayoutTop);
    EXPECT_EQ(text->Font.PixelsPerInch, 72);
    EXPECT_EQ(text->Font.Pitch, MetaFontPitchDefault);
    EXPECT_EQ(text->BoundsRect, TRect());
    delete text; // removes itself from its page
    EXPECT_EQ(page.ObjectCount(), 0);
}

TEST(Recording, PolygonBoundsAreTheBoundingBox)
{
    TRLGraphicSurface page;
    TRLPolygonObject* polygon = page.Polygon({ TPoint(5, -3), TPoint(-2, 8), TPoint(7, 1) });
    EXPECT_EQ(polygon->BoundsRect, TRect(-2, -3, 7, 8));
    EXPECT_EQ(polygon->Points.size(), 3);
}

TEST(Recording, ImagesKeepBitmapsIconsAndConvertOthers)
{
    QImage picture(7, 5, QImage::Format_RGB32);
    picture.fill(Qt::red);
    TRLGraphicSurface page;
    const TGraphic bitmap(picture, gkBitmap);
    const TGraphic icon(picture, gkIcon);
    const TGraphic other(picture, gkOther);
    TRLImageObject* b = page.Draw(10, 20, &bitmap, true);
    TRLImageObject* i = page.StretchDraw(TRect(0, 0, 50, 50), &icon);
    TRLImageObject* o = page.Draw(0, 0, &other);
    TRLImageObject* n = page.Draw(0, 0, nullptr);
    EXPECT_EQ(b->BoundsRect, TRect(10, 20, 17, 25));
    EXPECT_TRUE(b->IntegralWidth);
    EXPECT_EQ(b->Data.left(3), "BMP");
    EXPECT_EQ(b->Data.mid(3, 2), "BM");
    EXPECT_EQ(i->Data.left(3), "ICO");
    EXPECT_EQ(i->BoundsRect, TRect(0, 0, 50, 50));
    EXPECT_EQ(n->Data, "NIL");
    // A picture that is neither reads back as a bitmap of the same size.
    ASSERT_EQ(o->Data.left(3), "BMP");
    auto back = TGraphic::LoadFromBytes(o->Data.mid(3));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->IsBitmap());
    EXPECT_EQ(back->Width(), 7);
    EXPECT_EQ(back->Height(), 5);
    EXPECT_EQ(back->Image().pixelColor(3, 3), QColor(Qt::red));
}

TEST(Recording, ClipStackPairsSetsAndResets)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(200);
    page.SetClipRect(TRect(1, 1, 50, 50));
    page.SetClipRect(TRect(2, 2, 10, 10));
    EXPECT_EQ(page.SavedClipCount(), 2);
    page.ResetClipRect();
    EXPECT_EQ(page.CurrentClip, TRect(1, 1, 50, 50));
    page.ResetClipRect();
    EXPECT_EQ(page.CurrentClip, TRect(0, 0, 100, 200));
    ASSERT_EQ(page.ObjectCount(), 4);
    EXPECT_EQ(page.Objects(2)->Kind(), okResetClipRect);
    EXPECT_EQ(page.Objects(2)->BoundsRect, TRect(2, 2, 10, 10));
    EXPECT_EQ(page.Objects(3)->BoundsRect, TRect(1, 1, 50, 50));
}

TEST(Recording, UnmatchedResetClipRectRecordsNothing)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    page.ResetClipRect();
    EXPECT_EQ(page.ObjectCount(), 0);
    EXPECT_EQ(page.CurrentClip, TRect(0, 0, 0, 0)); // not opened by a reset that did nothing
    page.SetClipRect(TRect(1, 1, 2, 2));
    page.ResetClipRect();
    page.ResetClipRect();
    EXPECT_EQ(page.ObjectCount(), 2);
    EXPECT_EQ(page.CurrentClip, TRect(0, 0, 100, 100));
}

TEST(Recording, DrawSurfaceClonesAndMoves)
{
    TRLGraphicSurface band;
    band.Rectangle(0, 0, 10, 10)->GroupId = 4;
    band.WriteText(
        TRect(0, 0, 10, 5), 1, 2, QStringLiteral("x"), MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
    TRLGraphicSurface page;
    page.DrawSurface(100, 200, &band);
    ASSERT_EQ(page.ObjectCount(), 2);
    EXPECT_EQ(page.Objects(0)->BoundsRect, TRect(100, 200, 110, 210));
    EXPECT_EQ(page.Objects(0)->GroupId, 4);
    EXPECT_EQ(static_cast<TRLTextObject*>(page.Objects(1))->Origin, TPoint(101, 202));
    EXPECT_EQ(static_cast<TRLTextObject*>(page.Objects(1))->Font.Name(), band.FontNames.value(0));

    // Copying a page into itself doubles it once and ends.
    band.DrawSurface(0, 50, &band);
    ASSERT_EQ(band.ObjectCount(), 4);
    EXPECT_EQ(band.Objects(2)->BoundsRect, TRect(0, 50, 10, 60));
}

TEST(Recording, DrawSurfaceRectScalesClipsAndSkipsOutsiders)
{
    TRLGraphicSurface source;
    source.Rectangle(100, 100, 200, 200);
    source.Rectangle(400, 400, 500, 500); // outside the source rectangle
    source.CurrentPen().SetWidth(4);
    source.Polygon({ TPoint(120, 100), TPoint(300, 300) });
    TRLGraphicSurface page;
    page.SetWidth(1000);
    page.SetHeight(1000);
    page.DrawSurfaceRect(TRect(10, 10, 60, 60), &source, TRect(100, 100, 300, 300));
    ASSERT_EQ(page.ObjectCount(), 4);
    EXPECT_EQ(page.Objects(0)->Kind(), okSetClipRect);
    EXPECT_EQ(page.Objects(0)->BoundsRect, TRect(10, 10, 60, 60));
    EXPECT_EQ(page.Objects(1)->BoundsRect, TRect(10, 10, 35, 35));
    auto* polygon = static_cast<TRLPolygonObject*>(page.Objects(2));
    EXPECT_EQ(polygon->Points, TRLPointArray({ TPoint(15, 10), TPoint(60, 60) }));
    EXPECT_EQ(polygon->Pen.Width, 1);
    EXPECT_EQ(page.Objects(3)->Kind(), okResetClipRect);
    EXPECT_EQ(page.SavedClipCount(), 0);

    // An empty source rectangle copies nothing instead of dividing by zero.
    TRLGraphicSurface other;
    other.DrawSurfaceRect(TRect(0, 0, 10, 10), &source, TRect(5, 5, 5, 50));
    EXPECT_EQ(other.ObjectCount(), 0);
}

// --- geometry -----------------------------------------------------------------------------------

TEST(Geometry, OffsetMovesEveryCoordinate)
{
    TRLGraphicSurface page;
    auto* line = new TRLLineObject(&page);
    line->BoundsRect = TRect(0, 0, 10, 10);
    line->FromPoint = TPoint(1, 2);
    line->ToPoint = TPoint(3, 4);
    auto* text = new TRLTextObject(&page);
    text->Origin = TPoint(5, 5);
    auto* polyline = new TRLPolylineObject(&page);
    polyline->Points = { TPoint(1, 1), TPoint(2, 2) };
    for (int i = 0; i < page.ObjectCount(); ++i)
        page.Objects(i)->Offset(10, -1);
    EXPECT_EQ(line->BoundsRect, TRect(10, -1, 20, 9));
    EXPECT_EQ(line->FromPoint, TPoint(11, 1));
    EXPECT_EQ(line->ToPoint, TPoint(13, 3));
    EXPECT_EQ(text->Origin, TPoint(15, 4));
    EXPECT_EQ(polyline->Points, TRLPointArray({ TPoint(11, 0), TPoint(12, 1) }));
}

TEST(Geometry, ScaleByRoundsToEvenAndScalesPensAndFonts)
{
    TRLGraphicSurface page;
    auto* rect = new TRLRectangleObject(&page);
    rect->BoundsRect = TRect(1, 3, 5, 7);
    rect->Pen.Width = 1;
    auto* text = new TRLTextObject(&page);
    text->BoundsRect = TRect(0, 0, 10, 10);
    text->Origin = TPoint(3, 5);
    text->Font.Size = 10;
    text->Font.Height = -13;
    auto* line = new TRLLineObject(&page);
    line->FromPoint = TPoint(5, 5);
    line->Pen.Width = 0;
    rect->ScaleBy(0.5, 0.5);
    text->ScaleBy(2, 1.5);
    line->ScaleBy(0.5, 3);
    EXPECT_EQ(rect->BoundsRect, TRect(0, 2, 2, 4)); // 0.5 -> 0, 1.5 -> 2, 2.5 -> 2, 3.5 -> 4
    EXPECT_EQ(rect->Pen.Width, 1);
    EXPECT_EQ(text->BoundsRect, TRect(0, 0, 20, 15));
    EXPECT_EQ(text->Origin, TPoint(6, 8)); // 7.5 -> 8
    EXPECT_EQ(text->Font.Size, 15);
    EXPECT_EQ(text->Font.Height, -13);
    EXPECT_EQ(line->FromPoint, TPoint(2, 15));
    EXPECT_EQ(line->Pen.Width, 0);
}

// --- macros -------------------------------------------------------------------------------------

TEST(Macros, DisplayTextReplacesKnownNames)
{
    TRLGraphicStorage store;
    store.SetLastPageNumber(12);
    store.SetTitle(QStringLiteral("Inventário"));
    auto* page = new TRLGraphicSurface;
    page->MacroValues << QStringLiteral("PageNumber=3") << QStringLiteral("Loop={Loop}");
    store.Add(page);
    page = store.Pages(0);
    ASSERT_NE(page, nullptr);

    const struct
    {
        QString Text;
        QString Expected;
    } cases[] = {
        { "Página {PageNumber} de {LastPageNumber}", "Página 3 de 12" },
        { "{lastpagenumber}", "12" },
        { "{Unknown} e {LastPageNumber}", "{Unknown} e 12" },
        { "a{LastPageNumber", "a{LastPageNumber" },
        { "{LastPageNumber}{", "12{" },
        { "{{LastPageNumber}", "{{LastPageNumber}" },
        { "{Loop}{Title}", "{Loop}Inventário" }, // values are not expanded again
        { "{}", "{}" },
        { "sem chaves", "sem chaves" },
    };
    auto* text = new TRLTextObject(page);
    for (const auto& c : cases) {
        text->Text = c.Text;
        EXPECT_EQ(text->DisplayText(), c.Expected) << c.Text.toStdString();
    }
    // The page's own values come first.
    page->MacroValues << QStringLiteral("LastPageNumber=99");
    text->Text = QStringLiteral("{LastPageNumber}");
    EXPECT_EQ(text->DisplayText(), QStringLiteral("99"));
}

TEST(Macros, ValueListsAndPageValues)
{
    QStringList values;
    SetMacroValue(values, QStringLiteral("Title"), QStringLiteral("A=B"));
    SetMacroValue(values, QStringLiteral("Width"), QStringLiteral("10"));
    SetMacroValue(values, QStringLiteral("TITLE"), QStringLiteral("C"));
    EXPECT_EQ(values, QStringList({ "TITLE=C", "Width=10" })); // replaced in place
    SetMacroValue(values, QStringLiteral("title"), QString());
    EXPECT_EQ(values, QStringList({ "Width=10" }));
    bool found = true;
    EXPECT_EQ(MacroValue(values, QStringLiteral("Title"), &found), QString());
    EXPECT_FALSE(found);

    TRLGraphicStorage store;
    EXPECT_EQ(store.Orientation(), 1);
    EXPECT_EQ(store.FirstPageNumber(), 0);
    store.SetPaperWidth(210);
    store.SetPaperHeight(297);
    EXPECT_EQ(MacroValue(store.MacroValues, QStringLiteral("PaperWidth")), QStringLiteral("210.0000"));
    EXPECT_EQ(store.OrientedWidth(), 794);
    EXPECT_EQ(store.OrientedHeight(), 1123);
    store.SetOrientation(2);
    EXPECT_EQ(store.OrientedWidth(), 1123);
    EXPECT_EQ(store.OrientedPaperHeight(), 210.0);
    store.SetPaperHeight(-5);
    EXPECT_EQ(MacroValue(store.MacroValues, QStringLiteral("PaperHeight")), QStringLiteral("-1"));
    EXPECT_EQ(store.PaperHeight(), -1.0);
    EXPECT_EQ(store.OrientedWidth(), -1);
    SetMacroValue(store.MacroValues, QStringLiteral("PaperWidth"), QStringLiteral("12,5"));
    EXPECT_EQ(store.PaperWidth(), 0.0); // not a number with a point
    SetMacroValue(store.MacroValues, QStringLiteral("PaperWidth"), QStringLiteral("-3.2"));
    EXPECT_EQ(store.PaperWidth(), -1.0);

    TRLGraphicSurface page;
    EXPECT_EQ(page.Orientation(), 1);
    page.SetOrientation(2);
    page.SetPaperWidth(215.9);
    EXPECT_EQ(page.Orientation(), 2);
    EXPECT_EQ(MacroValue(page.MacroValues, QStringLiteral("PaperWidth")), QStringLiteral("215.9000"));
    EXPECT_DOUBLE_EQ(page.PaperWidth(), 215.9);
    EXPECT_EQ(page.PaperHeight(), 0.0);
}

// --- cut rows -----------------------------------------------------------------------------------

TEST(CutRow, KeepWholeTextsMoveTheCutUp)
{
    struct Text
    {
        int Top, Bottom;
        uint16_t Flags;
    };
    const struct
    {
        std::vector<Text> Texts;
        int NearY;
        bool Result;
        int Y;
    } cases[] = {
        { { { 480, 520, 4 }, { 470, 490, 4 } }, 500, true, 470 },
        { { { 470, 490, 4 }, { 480, 520, 4 } }, 500, true, 470 },
        { { { 0, 600, 4 } }, 500, false, 0 },
        { { { 480, 520, 1 } }, 500, true, 500 }, // not keep-whole
        { { { 500, 520, 5 } }, 500, true, 500 }, // the cut touches the top only
        { { { 400, 500, 5 } }, 500, true, 500 }, // ... or the bottom only
        { {}, 0, false, 0 },
        { { { 100, 300, 4 }, { 250, 350, 4 }, { 50, 120, 4 } }, 320, true, 50 },
    };
    for (const auto& c : cases) {
        TRLGraphicSurface page;
        page.Rectangle(0, 0, 1000, 1000); // other kinds never count
        for (const Text& t : c.Texts)
            page.WriteText(TRect(0, t.Top, 10, t.Bottom), 0, 0, QStringLiteral("x"), MetaTextAlignmentLeft,
                MetaTextLayoutTop, t.Flags);
        int y = -123;
        EXPECT_EQ(page.FindCutRow(c.NearY, y), c.Result) << c.NearY;
        EXPECT_EQ(y, c.Y);
    }
}

// --- page bodies --------------------------------------------------------------------------------

// One object of every kind with fields away from their defaults.
void FillEveryKind(TRLGraphicSurface& page)
{
    page.SetWidth(794);
    page.SetHeight(1123);
    page.MacroValues << QStringLiteral("Orientation=2") << QStringLiteral("PaperWidth=210.0000");
    int n = 1;
    auto base = [&n](TRLGraphicObject* o) {
        o->BoundsRect = TRect(n, n + 1, n + 20, n + 30);
        o->GroupId = 100 + n;
        o->Reserved = -n;
        ++n;
    };
    TRLMetaPen pen;
    pen.Color = { 1, 2, 3 };
    pen.Mode = MetaPenModeXor;
    pen.Style = MetaPenStyleDashDot;
    pen.Width = 3;
    TRLMetaBrush brush;
    brush.Color = { 9, 8, 7 };
    brush.Style = MetaBrushStyleBDiagonal;

    auto* pixel = new TRLPixelObject(&page);
    base(pixel);
    pixel->Color = { 200, 100, 50 };
    auto* line = new TRLLineObject(&page);
    base(line);
    line->FromPoint = TPoint(-5, 6);
    line->ToPoint = TPoint(70, -80);
    line->Pen = pen;
    line->Brush = brush;
    auto* rect = new TRLRectangleObject(&page);
    base(rect);
    rect->Pen = pen;
    rect->Brush = brush;
    auto* text = new TRLTextObject(&page);
    base(text);
    text->Brush = brush;
    text->Text = QStringLiteral("Açúcar – 1,5 kg {LastPageNumber}");
    text->Origin = TPoint(33, 44);
    text->Alignment = MetaTextAlignmentJustify;
    text->Layout = MetaTextLayoutBottom;
    text->TextFlags = 4;
    text->Font.SetName(QStringLiteral("Times New Roman"));
    text->Font.Size = 9;
    text->Font.Height = -12;
    text->Font.Style = 5;
    text->Font.Charset = 0;
    text->Font.Pitch = MetaFontPitchFixed;
    text->Font.PixelsPerInch = 96;
    text->Font.Color = { 4, 5, 6 };
    auto* fill = new TRLFillRectObject(&page);
    base(fill);
    fill->Brush = brush;
    auto* ellipse = new TRLEllipseObject(&page);
    base(ellipse);
    ellipse->Pen = pen;
    auto* polygon = new TRLPolygonObject(&page);
    base(polygon);
    polygon->Pen = pen;
    polygon->Brush = brush;
    polygon->Points = { TPoint(1, 2), TPoint(-3, 4), TPoint(5, -6) };
    auto* polyline = new TRLPolylineObject(&page);
    base(polyline);
    polyline->Pen = pen;
    polyline->Points = { TPoint(7, 8) };
    auto* image = new TRLImageObject(&page);
    base(image);
    image->Data = QByteArray("BMP") + QByteArray(300, '\x42');
    image->IntegralWidth = true;
    base(new TRLSetClipRectObject(&page));
    base(new TRLResetClipRectObject(&page));
}

TEST(PageBody, EveryKindSurvivesARoundTrip)
{
    TRLGraphicSurface page;
    FillEveryKind(page);
    const QByteArray bytes = page.SaveToBytes();

    TRLGraphicSurface back;
    back.LoadFromBytes(bytes);
    EXPECT_FALSE(back.Dirty);
    EXPECT_EQ(back.Width(), 794);
    EXPECT_EQ(back.Height(), 1123);
    EXPECT_EQ(back.MacroValues, page.MacroValues);
    EXPECT_EQ(back.FontNames, QStringList({ "Times New Roman" }));
    ASSERT_EQ(back.ObjectCount(), 11);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(back.Objects(i)->Kind(), page.Objects(i)->Kind());
        EXPECT_EQ(back.Objects(i)->BoundsRect, page.Objects(i)->BoundsRect);
        EXPECT_EQ(back.Objects(i)->GroupId, page.Objects(i)->GroupId);
        EXPECT_EQ(back.Objects(i)->Reserved, page.Objects(i)->Reserved);
    }
    EXPECT_EQ(static_cast<TRLPixelObject*>(back.Objects(0))->Color, (TRLMetaColor { 200, 100, 50 }));
    auto* line = static_cast<TRLLineObject*>(back.Objects(1));
    EXPECT_EQ(line->ToPoint, TPoint(70, -80));
    EXPECT_EQ(line->Pen, static_cast<TRLLineObject*>(page.Objects(1))->Pen);
    EXPECT_EQ(line->Brush.Style, MetaBrushStyleBDiagonal);
    auto* text = static_cast<TRLTextObject*>(back.Objects(3));
    EXPECT_EQ(text->Text, QStringLiteral("Açúcar – 1,5 kg {LastPageNumber}"));
    EXPECT_EQ(text->Origin, TPoint(33, 44));
    EXPECT_EQ(text->Alignment, MetaTextAlignmentJustify);
    EXPECT_EQ(text->Layout, MetaTextLayoutBottom);
    EXPECT_EQ(text->TextFlags, 4);
    EXPECT_EQ(text->Font.Name(), QStringLiteral("Times New Roman"));
    EXPECT_EQ(text->Font.Size, 9);
    EXPECT_EQ(text->Font.Height, -12);
    EXPECT_EQ(text->Font.Style, 5);
    EXPECT_EQ(text->Font.Pitch, MetaFontPitchFixed);
    EXPECT_EQ(text->Font.Color, (TRLMetaColor { 4, 5, 6 }));
    EXPECT_EQ(static_cast<TRLPolygonObject*>(back.Objects(6))->Points,
        TRLPointArray({ TPoint(1, 2), TPoint(-3, 4), TPoint(5, -6) }));
    EXPECT_EQ(static_cast<TRLPolylineObject*>(back.Objects(7))->Points, TRLPointArray({ TPoint(7, 8) }));
    auto* image = static_cast<TRLImageObject*>(back.Objects(8));
    EXPECT_EQ(image->Data.size(), 303);
    EXPECT_TRUE(image->IntegralWidth);
    EXPECT_EQ(back.SaveToBytes(), bytes);
}

TEST(PageBody, CloneCopiesEveryKindWithFontNamesOfTheTarget)
{
    TRLGraphicSurface page;
    FillEveryKind(page);
    TRLGraphicSurface target;
    target.FontNames << QStringLiteral("Arial");
    for (int i = 0; i < page.ObjectCount(); ++i)
        page.Objects(i)->Clone(&target);
    ASSERT_EQ(target.ObjectCount(), 11);
    auto* text = static_cast<TRLTextObject*>(target.Objects(3));
    EXPECT_EQ(text->Font.NameIndex, 1);
    EXPECT_EQ(text->Font.Name(), QStringLiteral("Times New Roman"));
    // Same objects, same bytes, apart from the name index and the page header.
    TRLStreamWriter a, b;
    for (int i = 0; i < 11; ++i) {
        if (i == 3)
            continue;
        page.Objects(i)->SaveToStream(a);
        target.Objects(i)->SaveToStream(b);
    }
    EXPECT_EQ(a.Data(), b.Data());
    // Assign across kinds copies only the base fields.
    target.Objects(2)->Assign(page.Objects(5));
    EXPECT_EQ(target.Objects(2)->BoundsRect, page.Objects(5)->BoundsRect);
    EXPECT_EQ(static_cast<TRLRectangleObject*>(target.Objects(2))->Pen.Width, 3);
    EXPECT_EQ(static_cast<TRLRectangleObject*>(target.Objects(2))->Brush.Style, MetaBrushStyleBDiagonal);
}

TEST(PageBody, UnknownKindsAreSkippedBySize)
{
    TRLGraphicSurface page;
    new TRLPixelObject(&page);
    QByteArray bytes = page.SaveToBytes();
    // Insert an object of kind 42 with three bytes of body in front of the pixel.
    const int countAt = 18 + 8 + 4 + 4;
    bytes[countAt] = 2;
    bytes.insert(countAt + 4, QByteArray::fromHex("2a03000000aabbcc"));
    TRLGraphicSurface back;
    back.LoadFromBytes(bytes);
    ASSERT_EQ(back.ObjectCount(), 1);
    EXPECT_EQ(back.Objects(0)->Kind(), okPixel);
}

TEST(PageBody, EveryPrefixIsAnErrorNeverACrash)
{
    TRLGraphicSurface page;
    FillEveryKind(page);
    const QByteArray bytes = page.SaveToBytes();
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        TRLGraphicSurface back;
        EXPECT_THROW(back.LoadFromBytes(bytes.left(n)), EReadError) << n;
        EXPECT_EQ(back.ObjectCount(), 0);
    }
}

TEST(PageBody, FlippedBytesNeverCrash)
{
    TRLGraphicSurface page;
    FillEveryKind(page);
    const QByteArray bytes = page.SaveToBytes();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        for (char value : { char(0xFF), char(0x7F), char(0x80) }) {
            QByteArray damaged = bytes;
            damaged[i] = value;
            TRLGraphicSurface back;
            try {
                back.LoadFromBytes(damaged);
            } catch (const EReadError& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("File is corrupted!"));
            }
            // A name index may now point nowhere: the name reads empty.
            for (int k = 0; k < back.ObjectCount(); ++k)
                if (back.Objects(k)->Kind() == okText)
                    (void)static_cast<TRLTextObject*>(back.Objects(k))->Font.Name();
        }
    }
}

TEST(PageBody, HostileCountsAndLengthsAreRefused)
{
    const QByteArray header
        = QByteArray("RLGraphicSurface3\x1A", 18) + QByteArray::fromHex("0100000002000000");
    const QByteArray cases[] = {
        QByteArray("RLGraphicSurface2\x1A", 18), // wrong signature
        QByteArray("RLGraphicSurface3", 17) + QByteArray(10, 'x'), // no end byte within 20
        header + QByteArray::fromHex("ffffff7f"), // two thousand million strings
        header + QByteArray::fromHex("01000000ffffff7f"), // a giant string
        header + QByteArray::fromHex("01000000feffffff"), // a negative length
        header + QByteArray::fromHex("00000000 00000000 ffffff0f"), // objects beyond the bytes
        header + QByteArray::fromHex("00000000 00000000 01000000 04 ffffffff"), // negative body size
        header + QByteArray::fromHex("00000000 00000000 01000000 07 18000000")
            + QByteArray(24, 0), // short body
        header + QByteArray::fromHex("00000000 00000000 01000000 07 25000000") + QByteArray(37, 0)
            + QByteArray::fromHex("ffffff7f"), // points beyond the body
    };
    for (const QByteArray& bytes : cases) {
        TRLGraphicSurface page;
        try {
            page.LoadFromBytes(bytes);
            ADD_FAILURE() << bytes.toHex().toStdString();
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("File is corrupted!"));
        }
    }
}

} // namespace
