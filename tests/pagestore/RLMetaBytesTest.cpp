// Exact bytes of hand-built pages and store files: other programs read these.
#include "pagestore/RLMetaFile.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

// Bytes from hexadecimal pairs separated by blanks, so the expected records read like a dump.
QByteArray Hex(const char* pairs)
{
    return QByteArray::fromHex(QByteArray(pairs).replace(' ', ""));
}

const QByteArray SurfaceSignature = QByteArray("RLGraphicSurface3") + Hex("1A");

TEST(PageRecordBytes, TextInANamedFont)
{
    TRLGraphicSurface page;
    page.SetWidth(794);
    page.SetHeight(1123);
    page.MacroValues << QStringLiteral("Orientation=1");
    auto* text = new TRLTextObject(&page);
    text->BoundsRect = TRect(10, 20, 110, 40);
    text->GroupId = 7;
    text->Alignment = MetaTextAlignmentRight;
    text->Layout = MetaTextLayoutCenter;
    text->Origin = TPoint(12, 35);
    text->TextFlags = TextFlagKeepWhole;
    text->Text = QStringLiteral("Preço");
    text->Brush.Color = { 255, 255, 255 };
    text->Brush.Style = MetaBrushStyleClear;
    text->Font.PixelsPerInch = 96;
    text->Font.Charset = 1;
    text->Font.Color = { 0, 0, 128 };
    text->Font.Height = -13;
    text->Font.SetName(QStringLiteral("Arial"));
    text->Font.Pitch = MetaFontPitchVariable;
    text->Font.Size = 10;
    text->Font.Style = MetaFontStyleBold;

    const QByteArray expected = SurfaceSignature + Hex("1A 03 00 00  63 04 00 00") // width 794, height 1123
        + Hex("01 00 00 00  0D 00 00 00") + "Orientation=1" + Hex("01 00 00 00  05 00 00 00") + "Arial"
        + Hex("01 00 00 00  04  47 00 00 00") // one object: text, 71 bytes of body
        + Hex("0A 00 00 00  14 00 00 00  6E 00 00 00  28 00 00 00  07 00 00 00  00 00 00 00")
        + Hex("02 03  0C 00 00 00  23 00 00 00  04 00") // alignment, layout, origin, flags
        + Hex("05 00 00 00  50 72 65 E7 6F") // "Preço" in Windows-1252
        + Hex("FF FF FF 02") // brush
        + Hex("60 00 00 00  01  00 00 80  F3 FF FF FF  00 00 00 00  02  0A 00 00 00  01"); // font
    EXPECT_EQ(page.SaveToBytes().toHex(' '), expected.toHex(' '));
}

TEST(PageRecordBytes, Polygon)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(50);
    page.CurrentPen().SetColor(clRed);
    page.CurrentPen().SetWidth(2);
    page.CurrentBrush().SetColor(clLime);
    page.CurrentBrush().SetStyle(bsCross);
    TRLPolygonObject* polygon = page.Polygon({ TPoint(0, 0), TPoint(10, 5), TPoint(3, 20) });
    polygon->GroupId = 3;

    const QByteArray expected = SurfaceSignature + Hex("64 00 00 00  32 00 00 00") // width 100, height 50
        + Hex("00 00 00 00") // no page values
        + Hex("00 00 00 00") // no font names
        + Hex("01 00 00 00  07  41 00 00 00") // one polygon, 65 bytes
        + Hex("00 00 00 00  00 00 00 00  0A 00 00 00  14 00 00 00  03 00 00 00  00 00 00 00")
        + Hex("FF 00 00  05  01  02 00 00 00") // pen: red, copy, solid, width 2
        + Hex("00 FF 00  07") // brush: lime, cross
        + Hex("03 00 00 00  00 00 00 00 00 00 00 00  0A 00 00 00 05 00 00 00  03 00 00 00 14 00 00 00");
    EXPECT_EQ(page.SaveToBytes().toHex(' '), expected.toHex(' '));
}

TEST(PageRecordBytes, ImageAndClips)
{
    TRLGraphicSurface page;
    page.SetWidth(20);
    page.SetHeight(10);
    auto* image = new TRLImageObject(&page);
    image->BoundsRect = TRect(1, 2, 3, 4);
    image->GroupId = 9;
    image->Reserved = 0x01020304;
    image->Data = QByteArray("BMP") + Hex("42 4D 01 02");
    image->IntegralWidth = true;
    auto* clip = new TRLSetClipRectObject(&page);
    clip->BoundsRect = TRect(0, 0, 20, 10);
    clip->GroupId = 9;
    clip->Tag = 55; // never stored

    const QByteArray expected = SurfaceSignature + Hex("14 00 00 00  0A 00 00 00  00 00 00 00  00 00 00 00")
        + Hex("02 00 00 00") + Hex("09  24 00 00 00") // image, 36 bytes
        + Hex("01 00 00 00  02 00 00 00  03 00 00 00  04 00 00 00  09 00 00 00  04 03 02 01")
        + Hex("07 00 00 00") + "BMP" + Hex("42 4D 01 02") + Hex("01")
        + Hex("0A  18 00 00 00") // set clip, base only
        + Hex("00 00 00 00  00 00 00 00  14 00 00 00  0A 00 00 00  09 00 00 00  00 00 00 00");
    EXPECT_EQ(page.SaveToBytes().toHex(' '), expected.toHex(' '));
}

TEST(PageRecordBytes, EveryKindHasItsTypeCode)
{
    TRLGraphicSurface page;
    for (int code = okPixel; code <= okResetClipRect; ++code)
        ASSERT_NE(TRLGraphicObject::Create(code, &page), nullptr) << code;
    EXPECT_EQ(TRLGraphicObject::Create(0, &page), nullptr);
    EXPECT_EQ(TRLGraphicObject::Create(12, &page), nullptr);
    ASSERT_EQ(page.ObjectCount(), 11);
    const QByteArray bytes = page.SaveToBytes();
    TRLStreamReader reader(bytes);
    reader.Skip(18 + 8 + 4 + 4);
    ASSERT_EQ(reader.ReadInt32(), 11);
    // Body sizes follow from the layouts: base 24, pen 9, brush 4, font 22.
    const int expectedSizes[] = { 27, 24 + 16 + 9 + 4, 24 + 13, 24 + 2 + 8 + 2 + 4 + 4 + 22, 28, 37,
        24 + 13 + 4, 24 + 9 + 4, 24 + 4 + 1, 24, 24 };
    for (int code = okPixel; code <= okResetClipRect; ++code) {
        EXPECT_EQ(reader.ReadByte(), code);
        const int size = reader.ReadInt32();
        EXPECT_EQ(size, expectedSizes[code - 1]) << code;
        reader.Skip(size);
    }
    EXPECT_TRUE(reader.AtEnd());
}

TEST(StoreFileBytes, EmptyStoreIs26Bytes)
{
    TRLGraphicStorage store;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    store.SaveToStream(buffer);
    EXPECT_EQ(bytes, QByteArray("RLGraphicStorage3") + Hex("1A 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(bytes.size(), 26);
    EXPECT_TRUE(store.SwapFileName().isEmpty()); // nothing stored, no swap file
}

TEST(StoreFileBytes, OnePageStoreTablePointsAtTheRecord)
{
    TRLGraphicStorage store;
    store.SetFirstPageNumber(1);
    store.SetOrientation(2);
    auto* page = new TRLGraphicSurface;
    page->SetWidth(30);
    page->SetHeight(40);
    page->FillRect(TRect(1, 1, 5, 5))->GroupId = 2;
    const QByteArray body = page->SaveToBytes();
    store.Add(page);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    store.SaveToStream(buffer);
    const int valueBytes = (4 + 17) + (4 + 13); // "FirstPageNumber=1", "Orientation=2"
    const int tableEntry = 18 + 4 + valueBytes + 4 + 4;
    const QByteArray expected = QByteArray("RLGraphicStorage3") + Hex("1A  02 00 00 00") + Hex("11 00 00 00")
        + "FirstPageNumber=1" + Hex("0D 00 00 00") + "Orientation=2" + Hex("01 00 00 00")
        + Hex("44 00 00 00") // one page, its record at 68
        + Hex("47 00 00 00") + body; // 71 bytes of body
    ASSERT_EQ(tableEntry, 68);
    ASSERT_EQ(body.size(), 71);
    EXPECT_EQ(bytes.toHex(' '), expected.toHex(' '));
    EXPECT_EQ(buffer.pos(), bytes.size());
}

TEST(StoreFileBytes, TablePositionsComeFromTheOutputStream)
{
    TRLGraphicStorage store;
    store.Add(new TRLGraphicSurface);
    QByteArray bytes("prefix");
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    buffer.seek(6);
    store.SaveToStream(buffer);
    TRLStreamReader reader(bytes);
    reader.Skip(6 + 18);
    EXPECT_EQ(reader.ReadInt32(), 0);
    EXPECT_EQ(reader.ReadInt32(), 1);
    EXPECT_EQ(reader.ReadInt32(), 6 + 18 + 4 + 4 + 4);
}

} // namespace
