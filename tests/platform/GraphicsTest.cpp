#include "platform/Graphics.h"
#include "platform/Exceptions.h"

#include <QBuffer>
#include <QImageWriter>
#include <QMetaEnum>
#include <QtEndian>
#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(GraphicsTest, SystemColoursResolveToTheFixedClassicPalette)
{
    const struct
    {
        TColor In;
        TColor Out;
    } cases[] = {
        { clBtnFace, 0xF0F0F0 },
        { clWindow, 0xFFFFFF },
        { clWindowText, 0x000000 },
        { clBtnText, 0x000000 },
        { clBtnShadow, 0xA0A0A0 },
        { clHighlight, RGBToColor(51, 153, 255) },
        { clHighlightText, 0xFFFFFF },
        { clInfoBk, RGBToColor(255, 255, 225) },
        { clScrollBar, RGBToColor(200, 200, 200) },
        { clMenuBar, 0xF0F0F0 },
        { TColor(0x800000FFu), clBlack }, // an index past the palette
        { clRed, 0x0000FF },
        { 0x123456, 0x123456 },
        { clNone, clNone },
        { clDefault, clDefault },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ColorToRGB(c.In), c.Out) << std::hex << c.In;
}

TEST(GraphicsTest, ColoursConvertToAndFromQt)
{
    EXPECT_EQ(ToQColor(clRed), QColor(255, 0, 0));
    EXPECT_EQ(ToQColor(clBlue), QColor(0, 0, 255));
    EXPECT_EQ(ToQColor(clBtnFace), QColor(240, 240, 240));
    EXPECT_EQ(ToQColor(0x030201), QColor(1, 2, 3));
    EXPECT_EQ(ToQColor(clNone).alpha(), 0);
    EXPECT_EQ(FromQColor(QColor(1, 2, 3)), 0x030201);
    EXPECT_EQ(FromQColor(QColor(1, 2, 3, 0)), 0x030201); // alpha dropped
    EXPECT_EQ(GetRValue(0x030201), 1);
    EXPECT_EQ(GetGValue(0x030201), 2);
    EXPECT_EQ(GetBValue(0x030201), 3);
}

TEST(GraphicsTest, ColourTextsOfDefinitionFilesRoundTrip)
{
    const struct
    {
        TColor Value;
        const char* Text;
    } cases[] = {
        { clWhite, "clWhite" },
        { clBlack, "clBlack" },
        { clSilver, "clSilver" },
        { clBtnFace, "clBtnFace" },
        { clWindowText, "clWindowText" },
        { clInfoBk, "clInfoBk" },
        { clNone, "clNone" },
        { clDefault, "clDefault" },
        { clMoneyGreen, "clMoneyGreen" },
        { 0x00123456, "$00123456" },
        { 0x00ABCDEF, "$00ABCDEF" },
        { TColor(0x80000019u), "$80000019" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ColorToString(c.Value), QString::fromLatin1(c.Text));
        EXPECT_EQ(StringToColor(QString::fromLatin1(c.Text)), c.Value) << c.Text;
    }
    TColor color = 0;
    EXPECT_TRUE(IdentToColor("CLWHITE", color));
    EXPECT_EQ(color, clWhite);
    EXPECT_TRUE(IdentToColor("clLtGray", color)); // read, but written as clSilver
    EXPECT_EQ(ColorToString(color), "clSilver");
    EXPECT_FALSE(IdentToColor("clNoSuchColour", color));
    EXPECT_EQ(StringToColor("16777215"), clWhite);
    EXPECT_EQ(StringToColor("$FF"), clRed);
    EXPECT_EQ(StringToColor("-2147483633"), clBtnFace);
    for (const char* bad : { "banana", "$", "$123456789", "", "12x", "$GG" })
        EXPECT_THROW(StringToColor(QString::fromLatin1(bad)), EConvertError) << bad;
}

TEST(GraphicsTest, MulDivRoundsHalvesAwayFromZero)
{
    const struct
    {
        int A, B, C, Result;
    } cases[] = {
        { 8, 96, 72, 11 }, // 10.67
        { 11, 72, 96, 8 }, // 8.25
        { 10, 96, 72, 13 }, // 13.33
        { 9, 96, 72, 12 }, // 12
        { -11, 72, 96, -8 }, // -8.25
        { 3, 1, 2, 2 }, // 1.5
        { -3, 1, 2, -2 }, // -1.5
        { 3, 1, -2, -2 },
        { 5, 2, 4, 3 }, // 2.5
        { 1, 1, 0, -1 }, // division by zero
        { INT_MAX, 2, 1, -1 }, // overflow
        { INT_MAX, INT_MAX, INT_MAX, INT_MAX },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.A, c.B, c.C), c.Result) << c.A << "*" << c.B << "/" << c.C;
}

TEST(GraphicsTest, EnumerationsKeepThePlatformOrderAndNames)
{
    EXPECT_EQ(int(pmCopy), 4);
    EXPECT_EQ(int(pmNotXor), 15);
    EXPECT_EQ(int(psClear), 5);
    EXPECT_EQ(int(bsDiagCross), 7);
    EXPECT_EQ(int(TFontPitch::fpFixed), 2);
    EXPECT_STREQ(QMetaEnum::fromType<TPenStyle>().valueToKey(psDashDot), "psDashDot");
    EXPECT_EQ(QMetaEnum::fromType<TBrushStyle>().keyToValue("bsFDiagonal"), int(bsFDiagonal));
    EXPECT_EQ(QMetaEnum::fromType<TPenMode>().keyToValue("pmXor"), int(pmXor));
    EXPECT_TRUE(QMetaEnum::fromType<TFontStyleSet>().isFlag());

    const struct
    {
        TFontStyles Styles;
        const char* Text;
    } sets[] = {
        { 0, "[]" },
        { fsBold, "[fsBold]" },
        { fsBold | fsItalic, "[fsBold, fsItalic]" },
        { fsUnderline | fsStrikeOut | fsItalic, "[fsItalic, fsUnderline, fsStrikeOut]" },
    };
    for (const auto& s : sets) {
        EXPECT_EQ(FontStylesToString(s.Styles), QString::fromLatin1(s.Text));
        TFontStyles back = -1;
        EXPECT_TRUE(StringToFontStyles(QString::fromLatin1(s.Text), back));
        EXPECT_EQ(back, s.Styles);
    }
    TFontStyles styles = 0;
    EXPECT_TRUE(StringToFontStyles(" [ fsitalic ,fsStrikeOut ] ", styles));
    EXPECT_EQ(styles, fsItalic | fsStrikeOut);
    styles = 99;
    EXPECT_FALSE(StringToFontStyles("[fsBold, fsFancy]", styles));
    EXPECT_FALSE(StringToFontStyles("fsBold", styles));
    EXPECT_FALSE(StringToFontStyles("[fsBold,]", styles));
    EXPECT_EQ(styles, 99); // untouched on failure
}

TEST(GraphicsTest, FacesAreSubstitutedIgnoringCase)
{
    const struct
    {
        const char* Face;
        const char* StandIn;
    } cases[] = {
        { "Arial", "Liberation Sans" },
        { "helvetica", "Liberation Sans" },
        { "Times New Roman", "Liberation Serif" },
        { "TIMES", "Liberation Serif" },
        { "Courier New", "Liberation Mono" },
        { "Courier", "Liberation Mono" },
        { "MS Sans Serif", "DejaVu Sans" },
        { "Microsoft Sans Serif", "DejaVu Sans" },
        { "Verdana", "DejaVu Sans" },
        { "tahoma", "DejaVu Sans" },
        { "Some Other Face", "Some Other Face" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubstituteFaceName(QString::fromLatin1(c.Face)), QString::fromLatin1(c.StandIn));
}

TEST(GraphicsTest, NewFontHasThePlatformDefaults)
{
    TFont font;
    EXPECT_EQ(font.Name(), "MS Sans Serif");
    EXPECT_EQ(font.Size(), 8);
    EXPECT_EQ(font.Height(), -11);
    EXPECT_EQ(font.Color(), clWindowText);
    EXPECT_EQ(font.Style(), 0);
    EXPECT_EQ(font.Pitch(), TFontPitch::fpDefault);
    EXPECT_EQ(font.Charset(), 1);
    EXPECT_EQ(font.PixelsPerInch(), 96);
    // A default font stores nothing; Size and PixelsPerInch are never stored, Height carries the size.
    const QMetaObject* meta = font.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        EXPECT_FALSE(font.IsPropertyStored(meta->property(i))) << meta->property(i).name();
    font.SetSize(10);
    font.SetStyle(fsBold);
    font.SetPitch(TFontPitch::fpFixed);
    font.SetColor(clRed);
    for (const char* name : { "Height", "Style", "Pitch", "Color" })
        EXPECT_TRUE(font.IsPropertyStored(meta->property(meta->indexOfProperty(name)))) << name;
    EXPECT_FALSE(font.IsPropertyStored(meta->property(meta->indexOfProperty("Size"))));
}

TEST(GraphicsTest, FontSizeAndHeightFollowEachOther)
{
    const struct
    {
        int PixelsPerInch;
        int Size;
        int Height;
    } sizeToHeight[] = { { 96, 8, -11 }, { 96, 9, -12 }, { 96, 10, -13 }, { 96, 12, -16 }, { 96, 14, -19 },
        { 120, 10, -17 }, { 72, 10, -10 } };
    for (const auto& c : sizeToHeight) {
        TFont font;
        font.SetPixelsPerInch(c.PixelsPerInch);
        font.SetSize(c.Size);
        EXPECT_EQ(font.Height(), c.Height) << c.Size << "pt at " << c.PixelsPerInch;
    }
    const struct
    {
        int Height;
        int Size;
    } heightToSize[]
        = { { -16, 12 }, { -15, 11 }, { -14, 11 }, { -13, 10 }, { -11, 8 }, { -10, 8 }, { 13, -10 } };
    for (const auto& c : heightToSize) {
        TFont font;
        font.SetHeight(c.Height);
        EXPECT_EQ(font.Size(), c.Size) << c.Height;
    }
    TFont font;
    font.SetPixelsPerInch(0); // refused: it would divide by zero
    EXPECT_EQ(font.PixelsPerInch(), 96);
}

// Every setter announces a real change once, through the signal and the callback; the same value
// announces nothing.
TEST(GraphicsTest, FontAnnouncesEachRealChangeOnce)
{
    const struct
    {
        const char* What;
        std::function<void(TFont&)> Change;
        std::function<void(TFont&)> Same;
    } cases[] = {
        { "Name", [](TFont& f) { f.SetName("Arial"); }, [](TFont& f) { f.SetName("MS Sans Serif"); } },
        { "Size", [](TFont& f) { f.SetSize(10); }, [](TFont& f) { f.SetSize(8); } },
        { "Height", [](TFont& f) { f.SetHeight(-20); }, [](TFont& f) { f.SetHeight(-11); } },
        { "Color", [](TFont& f) { f.SetColor(clRed); }, [](TFont& f) { f.SetColor(clWindowText); } },
        { "Style", [](TFont& f) { f.SetStyle(fsBold); }, [](TFont& f) { f.SetStyle(0); } },
        { "Style bits", [](TFont& f) { f.SetStyleSet(TFontStyleSet(fsItalic)); },
            [](TFont& f) { f.SetStyle(16); } },
        { "Pitch", [](TFont& f) { f.SetPitch(TFontPitch::fpFixed); },
            [](TFont& f) { f.SetPitch(TFontPitch::fpDefault); } },
        { "Charset", [](TFont& f) { f.SetCharset(0); }, [](TFont& f) { f.SetCharset(1); } },
        { "Empty name", [](TFont& f) { f.SetName("Tahoma"); }, [](TFont& f) { f.SetName(QString()); } },
    };
    for (const auto& c : cases) {
        TFont font;
        int emitted = 0;
        int callbacks = 0;
        QObject::connect(&font, &TFont::Changed, [&] { ++emitted; });
        font.OnChange = [&](TFont* sender) {
            EXPECT_EQ(sender, &font);
            ++callbacks;
        };
        c.Same(font);
        EXPECT_EQ(emitted, 0) << c.What;
        EXPECT_EQ(callbacks, 0) << c.What;
        c.Change(font);
        EXPECT_EQ(emitted, 1) << c.What;
        EXPECT_EQ(callbacks, 1) << c.What;
        c.Change(font);
        EXPECT_EQ(callbacks, 1) << c.What << " repeated";
    }
}

TEST(GraphicsTest, FontAssignCopiesEverythingWithOneAnnouncement)
{
    TFont source;
    source.SetName("Arial");
    source.SetSize(10);
    source.SetColor(clRed);
    source.SetStyle(fsBold | fsUnderline);
    source.SetPitch(TFontPitch::fpVariable);
    source.SetCharset(0);

    TFont target;
    int callbacks = 0;
    target.OnChange = [&](TFont*) { ++callbacks; };
    target.Assign(&source);
    EXPECT_EQ(callbacks, 1);
    EXPECT_TRUE(target.IsEqual(source));
    target.Assign(&source); // nothing differs
    EXPECT_EQ(callbacks, 1);

    // From a font counted at another resolution the point size is kept, not the pixel height.
    TFont printerFont;
    printerFont.SetPixelsPerInch(600);
    printerFont.SetSize(12);
    EXPECT_EQ(printerFont.Height(), -100);
    target.Assign(&printerFont);
    EXPECT_EQ(target.Size(), 12);
    EXPECT_EQ(target.Height(), -16);
    EXPECT_EQ(target.PixelsPerInch(), 96);
}

TEST(GraphicsTest, FontStyleIsPublishedAsASet)
{
    TFont font;
    const QMetaProperty style = font.metaObject()->property(font.metaObject()->indexOfProperty("Style"));
    EXPECT_TRUE(style.isFlagType());
    EXPECT_TRUE(style.write(&font, QStringLiteral("fsBold|fsItalic")));
    EXPECT_EQ(font.Style(), fsBold | fsItalic);
    EXPECT_EQ(style.read(&font).toInt(), fsBold | fsItalic);
    const QMetaProperty pitch = font.metaObject()->property(font.metaObject()->indexOfProperty("Pitch"));
    EXPECT_TRUE(pitch.write(&font, QStringLiteral("fpFixed")));
    EXPECT_EQ(font.Pitch(), TFontPitch::fpFixed);
}

TEST(GraphicsTest, FontDrawsWithTheStandInFace)
{
    TFont font;
    font.SetName("Courier New");
    font.SetHeight(-16);
    font.SetStyle(fsBold | fsStrikeOut);
    const QFont qfont = font.ToQFont();
    EXPECT_EQ(qfont.family(), "Liberation Mono");
    EXPECT_EQ(qfont.pixelSize(), 16);
    EXPECT_TRUE(qfont.bold());
    EXPECT_FALSE(qfont.italic());
    EXPECT_TRUE(qfont.strikeOut());
    EXPECT_FALSE(qfont.kerning());
    TFont plain;
    EXPECT_EQ(plain.ToQFont().family(), "DejaVu Sans");
    EXPECT_EQ(plain.ToQFont().pixelSize(), 11);
}

TEST(GraphicsTest, PenAndBrushDefaultsChangesAndQtForms)
{
    TPen pen;
    EXPECT_EQ(pen.Color(), clBlack);
    EXPECT_EQ(pen.Mode(), pmCopy);
    EXPECT_EQ(pen.Style(), psSolid);
    EXPECT_EQ(pen.Width(), 1);
    int penChanges = 0;
    pen.OnChange = [&](TPen* sender) {
        EXPECT_EQ(sender, &pen);
        ++penChanges;
    };
    pen.SetWidth(1);
    pen.SetMode(pmCopy);
    EXPECT_EQ(penChanges, 0);
    pen.SetWidth(3);
    pen.SetStyle(psDash);
    pen.SetColor(clBlue);
    pen.SetWidth(-5); // counts as 0
    EXPECT_EQ(pen.Width(), 0);
    EXPECT_EQ(penChanges, 4);
    TPen copy;
    int copyChanges = 0;
    copy.OnChange = [&](TPen*) { ++copyChanges; };
    copy.Assign(&pen);
    EXPECT_EQ(copyChanges, 1);
    EXPECT_EQ(copy.Color(), clBlue);
    EXPECT_EQ(copy.Style(), psDash);

    EXPECT_EQ(copy.ToQPen().style(), Qt::DashLine);
    EXPECT_EQ(copy.ToQPen().color(), QColor(0, 0, 255));
    copy.SetStyle(psClear);
    EXPECT_EQ(copy.ToQPen().style(), Qt::NoPen);

    TBrush brush;
    EXPECT_EQ(brush.Color(), clWhite);
    EXPECT_EQ(brush.Style(), bsSolid);
    int brushChanges = 0;
    brush.OnChange = [&](TBrush*) { ++brushChanges; };
    brush.SetColor(clWhite);
    brush.SetStyle(bsFDiagonal);
    EXPECT_EQ(brushChanges, 1);
    EXPECT_EQ(brush.ToQBrush().style(), Qt::FDiagPattern);
    brush.SetStyle(bsClear);
    EXPECT_EQ(brush.ToQBrush().style(), Qt::NoBrush);
}

QImage TestPattern(int w, int h, bool alpha)
{
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(x * 30 % 256, y * 50 % 256, (x + y) * 20 % 256, 255));
    if (alpha) {
        image.setPixel(0, 0, qRgba(0, 0, 0, 0));
        image.setPixel(1, 0, qRgba(255, 255, 255, 128));
    }
    return image;
}

TEST(GraphicsTest, BitmapRoundTripsThroughABitmapFile)
{
    const QImage image = TestPattern(7, 5, false);
    TGraphic graphic(image, gkBitmap);
    const QByteArray bytes = graphic.SaveToBytes();
    ASSERT_TRUE(bytes.startsWith("BM"));
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 2), quint32(bytes.size())); // file size field
    auto back = TGraphic::LoadFromBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->IsBitmap());
    EXPECT_EQ(back->Width(), 7);
    EXPECT_EQ(back->Height(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(back->Image().pixel(x, y) & 0xFFFFFF, image.pixel(x, y) & 0xFFFFFF) << x << "," << y;
    EXPECT_EQ(back->SaveToBytes(), bytes);
}

TEST(GraphicsTest, BitmapOfAnImageWithAlphaShowsWhiteWhereTransparent)
{
    TGraphic graphic(TestPattern(4, 3, true), gkBitmap);
    auto back = TGraphic::LoadFromBytes(graphic.SaveToBytes());
    EXPECT_EQ(back->Image().pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(GraphicsTest, IconRoundTripsThroughAnIconFileKeepingAlpha)
{
    const QImage image = TestPattern(5, 3, true);
    TGraphic graphic(image, gkIcon);
    const QByteArray bytes = graphic.SaveToBytes();
    ASSERT_TRUE(bytes.startsWith(QByteArray("\0\0\1\0\1\0", 6)));
    // Directory (6 + 16), picture header 40, 32-bit pixels, a mask of one 4-byte row per line.
    EXPECT_EQ(bytes.size(), 22 + 40 + 5 * 3 * 4 + 4 * 3);
    EXPECT_EQ(uchar(bytes[6]), 5);
    EXPECT_EQ(uchar(bytes[7]), 3);
    auto back = TGraphic::LoadFromBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->IsIcon());
    EXPECT_EQ(back->Width(), 5);
    EXPECT_EQ(back->Height(), 3);
    const QImage read = back->Image().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                EXPECT_EQ(qAlpha(read.pixel(x, y)), 0);
            else
                EXPECT_EQ(read.pixel(x, y), image.pixel(x, y)) << x << "," << y;
        }
}

TEST(GraphicsTest, OversizedIconIsScaledToTheLargestIconSize)
{
    TGraphic graphic(TestPattern(512, 300, false), gkIcon);
    auto back = TGraphic::LoadFromBytes(graphic.SaveToBytes());
    EXPECT_EQ(back->Width(), 256);
    EXPECT_EQ(back->Height(), 150);
}

TEST(GraphicsTest, OtherPicturesKeepTheirOwnBytes)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(TestPattern(6, 4, false));
    auto graphic = TGraphic::LoadFromBytes(png);
    EXPECT_EQ(graphic->Kind(), gkOther);
    EXPECT_FALSE(graphic->IsBitmap());
    EXPECT_FALSE(graphic->IsIcon());
    EXPECT_EQ(graphic->Width(), 6);
    EXPECT_EQ(graphic->SaveToBytes(), png);

    // Built from an image, an other picture saves as PNG that reads back the same.
    TGraphic built(TestPattern(3, 2, false), gkOther);
    auto reread = TGraphic::LoadFromBytes(built.SaveToBytes());
    EXPECT_EQ(reread->Image().pixel(2, 1), TestPattern(3, 2, false).pixel(2, 1));

    TGraphic empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_TRUE(empty.SaveToBytes().isEmpty());
}

QByteArray WithLE32(QByteArray bytes, int at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
    return bytes;
}

TEST(GraphicsTest, BadPictureBytesRaiseReadErrors)
{
    const QByteArray bmp = TGraphic(TestPattern(8, 8, false), gkBitmap).SaveToBytes();
    const QByteArray ico = TGraphic(TestPattern(8, 8, true), gkIcon).SaveToBytes();
    const struct
    {
        const char* What;
        QByteArray Bytes;
        const char* Message;
    } cases[] = {
        { "empty", QByteArray(), "Picture data is not valid or of an unknown format" },
        { "noise", QByteArray(200, '\x5a'), "Picture data is not valid or of an unknown format" },
        { "BM and noise", QByteArray("BM") + QByteArray(100, '\xff'), "Bitmap image is not valid" },
        { "BM alone", QByteArray("BM"), "Bitmap image is not valid" },
        { "truncated bitmap", bmp.left(bmp.size() / 2), "Bitmap image is not valid" },
        { "bitmap 100000 wide", WithLE32(bmp, 18, 100000), "Bitmap image is not valid" },
        { "bitmap pixels past the end", WithLE32(bmp, 10, 0x7fffffff), "Bitmap image is not valid" },
        { "icon without entries", QByteArray("\0\0\1\0\0\0", 6), "Icon image is not valid" },
        { "icon directory cut", ico.left(12), "Icon image is not valid" },
        { "icon entry past the end", WithLE32(ico, 18, 0x10000), "Icon image is not valid" },
        { "icon entry longer than file", WithLE32(ico, 14, 0x7fffffff), "Icon image is not valid" },
        { "icon picture huge", WithLE32(ico, 22 + 4, 60000), "Icon image is not valid" },
        { "icon pixels cut", ico.left(22 + 40 + 10), "Icon image is not valid" },
    };
    for (const auto& c : cases) {
        try {
            TGraphic::LoadFromBytes(c.Bytes);
            ADD_FAILURE() << c.What << " was accepted";
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(c.Message)) << c.What;
        }
    }
}

} // namespace
