#include "engine/RLUtils.h"
#include "engine/RLConsts.h"
#include "platform/Component.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/TextMeasure.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// --- strings and numbers ------------------------------------------------------------------------

TEST(RLUtilsTest, TokenPicksTheFieldCountingFromOne)
{
    struct Case
    {
        const char* Text;
        int Index;
        char Separator;
        const char* Expected;
    };
    const Case cases[] = {
        { "HP LaserJet|LPT1", 1, '|', "HP LaserJet" },
        { "HP LaserJet|LPT1", 2, '|', "LPT1" },
        { "HP LaserJet|LPT1", 3, '|', "" },
        { "HP LaserJet|LPT1", 0, '|', "" },
        { "HP LaserJet|LPT1", -1, '|', "" },
        { "a|b|", 2, '|', "b" },
        { "a|b|", 3, '|', "" },
        { "|a", 1, '|', "" },
        { "|a", 2, '|', "a" },
        { "a||b", 2, '|', "" },
        { "a||b", 3, '|', "b" },
        { "single", 1, '|', "single" },
        { "single", 2, '|', "" },
        { "", 1, '|', "" },
        { "x;y;z", 3, ';', "z" },
        { "x;y;z", 2, '|', "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Token(QString::fromLatin1(c.Text), c.Index, QLatin1Char(c.Separator)),
            QString::fromLatin1(c.Expected))
            << c.Text << " #" << c.Index;
}

TEST(RLUtilsTest, NormalizeExtPutsAPointInFrontOnlyWhenMissing)
{
    const std::pair<const char*, const char*> cases[] = {
        { "pdf", ".pdf" },
        { ".pdf", ".pdf" },
        { "", "" },
        { "x", ".x" },
        { "..xls", "..xls" },
        { "tar.gz", ".tar.gz" },
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(NormalizeExt(QString::fromLatin1(input)), QString::fromLatin1(expected)) << input;
}

TEST(RLUtilsTest, ByteAndHexConvertBothWays)
{
    EXPECT_EQ(ByteToHex(0x00), QStringLiteral("00"));
    EXPECT_EQ(ByteToHex(0x0A), QStringLiteral("0A"));
    EXPECT_EQ(ByteToHex(0xAB), QStringLiteral("AB"));
    EXPECT_EQ(ByteToHex(0xFF), QStringLiteral("FF"));
    const std::pair<const char*, int> pairs[] = {
        { "00", 0 },
        { "0f", 15 },
        { "F0", 240 },
        { "ab", 171 },
        { "aB", 171 },
        { "99", 153 },
        { "G0", -1 },
        { "0g", -1 },
        { "A", -1 },
        { "ABC", -1 },
        { "", -1 },
        { " A", -1 },
        { "-1", -1 },
    };
    for (const auto& [text, expected] : pairs)
        EXPECT_EQ(HexToByte(QString::fromLatin1(text)), expected) << text;
    for (int b = 0; b < 256; ++b)
        ASSERT_EQ(HexToByte(ByteToHex(quint8(b))), b);
}

QString StoredBitmapHex(const QByteArray& file, quint32 count)
{
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((count >> shift) & 0xFF));
    bytes.append(file);
    return QString::fromLatin1(bytes.toHex());
}

QByteArray BmpFile()
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    image.setPixel(1, 0, qRgb(255, 0, 0));
    image.setPixel(2, 1, qRgb(0, 128, 0));
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return file;
}

TEST(RLUtilsTest, HexToBitmapLoadsTheStoredBitmapForm)
{
    const QByteArray file = BmpFile();
    for (const bool upper : { false, true }) {
        QString hex = StoredBitmapHex(file, quint32(file.size()));
        if (upper)
            hex = hex.toUpper();
        const QImage image = HexToBitmap(hex);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(3, 2));
        EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
        EXPECT_EQ(image.pixel(1, 0), qRgb(255, 0, 0));
        EXPECT_EQ(image.pixel(2, 1), qRgb(0, 128, 0));
    }
    // Bytes after the counted file are not part of it.
    EXPECT_FALSE(HexToBitmap(StoredBitmapHex(file + QByteArray(5, 'x'), quint32(file.size()))).isNull());
}

TEST(RLUtilsTest, HexToBitmapGivesANullImageForBadText)
{
    const QByteArray file = BmpFile();
    const QString good = StoredBitmapHex(file, quint32(file.size()));
    const std::pair<const char*, QString> cases[] = {
        { "empty", QString() },
        { "shorter than the count", QStringLiteral("0A00") },
        { "odd length", good.left(good.size() - 1) },
        { "not hexadecimal", QString(good).replace(10, 2, QStringLiteral("zz")) },
        { "count beyond the bytes", StoredBitmapHex(file, quint32(file.size() + 1)) },
        { "huge count", StoredBitmapHex(file, 0xFFFFFFFFu) },
        { "zero count", StoredBitmapHex(file, 0) },
        { "truncated file", StoredBitmapHex(file.left(20), 20) },
        { "not a bitmap", StoredBitmapHex(QByteArray(64, '\x7f'), 64) },
    };
    for (const auto& [what, text] : cases)
        EXPECT_TRUE(HexToBitmap(text).isNull()) << what;
}

TEST(RLUtilsTest, Crc16MatchesKnownValues)
{
    struct Case
    {
        const char16_t* Text;
        quint16 Crc;
    };
    // Computed independently by polynomial division of the message bits by 0x11021.
    const Case cases[] = {
        { u"", 0x0000 }, { u"abc", 0x1EE4 }, { u"123456789", 0xBEEF },
        { u"The quick brown fox jumps over the lazy dog", 0x4D5D },
        { u"Pré-visualização", 0xFE02 }, // Windows-1252 bytes, not UTF-8
        { u"Aperçu avant impression €", 0xE92E }, // the euro sign is 0x80 there
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.Text);
        EXPECT_EQ(Crc16(text), c.Crc) << text.toStdString();
    }
    EXPECT_EQ(Crc16(QByteArray("abc")), 0x1EE4);
    EXPECT_EQ(Crc16(QByteArray("\xE9", 1)), Crc16(QString::fromUtf16(u"é")));
    // A character outside the code page counts as "?".
    EXPECT_EQ(Crc16(QString::fromUtf16(u"aΩb")), Crc16(QByteArray("a?b")));
    // Different images must get different keys: a single changed byte changes the CRC.
    EXPECT_NE(Crc16(QByteArray("abd")), Crc16(QByteArray("abc")));
}

// --- unique component names ---------------------------------------------------------------------

class TRLBand : public TComponent
{
    Q_OBJECT
public:
    using TComponent::TComponent;
};

class tRLProbe : public TComponent
{
    Q_OBJECT
public:
    using TComponent::TComponent;
};

class RLWidget : public TComponent
{
    Q_OBJECT
public:
    using TComponent::TComponent;
};

TComponent* Named(TComponent* component, const char* name)
{
    component->SetName(QString::fromLatin1(name));
    return component;
}

TEST(RLUtilsTest, UniqueComponentNameTakesOneMoreThanTheLargestNumber)
{
    TComponent owner;
    Named(new TRLBand(&owner), "RLBand1");
    Named(new TRLBand(&owner), "RLBand3");
    auto* fresh = new TRLBand(&owner);
    EXPECT_EQ(UniqueComponentName(fresh), QStringLiteral("RLBand4"));
}

TEST(RLUtilsTest, UniqueComponentNameComparesIgnoringCaseAndCountsOtherRemaindersAsZero)
{
    TComponent owner;
    Named(new TComponent(&owner), "rlband7"); // any class: only the names count
    Named(new TRLBand(&owner), "RLBandTitle");
    Named(new TRLBand(&owner), "RLBand99999999999"); // too large for a number: counts 0
    Named(new TRLBand(&owner), "RLLabel12");
    Named(new TRLBand(&owner), "XRLBand20");
    auto* fresh = new TRLBand(&owner);
    EXPECT_EQ(UniqueComponentName(fresh), QStringLiteral("RLBand8"));

    TComponent other;
    Named(new TRLBand(&other), "RLBandTitle");
    EXPECT_EQ(UniqueComponentName(new TRLBand(&other)), QStringLiteral("RLBand1"));
}

TEST(RLUtilsTest, UniqueComponentNameDropsOnlyALeadingT)
{
    TComponent owner;
    EXPECT_EQ(UniqueComponentName(new tRLProbe(&owner)), QStringLiteral("RLProbe1"));
    EXPECT_EQ(UniqueComponentName(new RLWidget(&owner)), QStringLiteral("RLWidget1"));
    TRLBand alone; // no owner, no siblings
    EXPECT_EQ(UniqueComponentName(&alone), QStringLiteral("RLBand1"));
    EXPECT_TRUE(UniqueComponentName(nullptr).isEmpty());
}

// --- rectangles ---------------------------------------------------------------------------------

TEST(RLUtilsTest, RectangleHelpers)
{
    const TRect r(10, 20, 110, 70);
    EXPECT_EQ(RectWidth(r), 100);
    EXPECT_EQ(RectHeight(r), 50);
    EXPECT_EQ(RectWidth(TRect(5, 5, 2, 2)), -3);
    EXPECT_EQ(MoveRect(r, 0, 0), TRect(0, 0, 100, 50));
    EXPECT_EQ(MoveRect(r, -5, 7), TRect(-5, 7, 95, 57));
    const QMargins m(1, 2, 3, 4);
    EXPECT_EQ(InsetRect(r, m), TRect(11, 22, 107, 66));
    EXPECT_EQ(OutsetRect(r, m), TRect(9, 18, 113, 74));
    EXPECT_EQ(OutsetRect(InsetRect(r, m), m), r);
    EXPECT_EQ(InsetRect(r, QMargins()), r);
}

TEST(RLUtilsTest, PolygonBoundsHoldsEveryPointWithAPixelToSpare)
{
    EXPECT_EQ(PolygonBounds({ TPoint(3, 4), TPoint(10, -2), TPoint(5, 8) }), TRect(2, -3, 11, 9));
    EXPECT_EQ(PolygonBounds({ TPoint(7, 7) }), TRect(6, 6, 8, 8));
    EXPECT_EQ(
        PolygonBounds({ TPoint(0, 0), TPoint(47, 0), TPoint(47, 47), TPoint(0, 47) }), TRect(-1, -1, 48, 48));
    EXPECT_EQ(PolygonBounds({}), TRect());
}

// --- text extent ------------------------------------------------------------------------------

TEST(RLUtilsTest, TextExtentTurnsTheTextsRectangle)
{
    TFont font;
    font.SetName(QStringLiteral("Arial"));
    font.SetSize(10);
    const QString text = QStringLiteral("Inventário por Preço de Custo");
    const int width = TextWidth(font, text);
    const int height = TextHeight(font, text);
    ASSERT_GT(width, height); // a wide text, so a swap shows

    EXPECT_EQ(TextExtent(text, font, 0), QSize(width, height));
    EXPECT_EQ(TextExtent(text, font), QSize(width, height));
    EXPECT_EQ(TextExtent(text, font, 90), QSize(height, width));
    EXPECT_EQ(TextExtent(text, font, -90), QSize(height, width));
    EXPECT_EQ(TextExtent(text, font, 270), QSize(height, width));
    EXPECT_EQ(TextExtent(text, font, 180), QSize(width, height));
    EXPECT_EQ(TextExtent(text, font, 360), QSize(width, height));

    // At 45 degrees both sides of the box are (w + h) / sqrt(2), give or take the pixel rounding of
    // the corners.
    const double diagonal = (width + height) / std::sqrt(2.0);
    const QSize turned = TextExtent(text, font, 45);
    EXPECT_NEAR(turned.width(), diagonal, 2.0);
    EXPECT_NEAR(turned.height(), diagonal, 2.0);
    // A small angle widens the box a little in both directions.
    const QSize tilted = TextExtent(text, font, 10);
    EXPECT_GT(tilted.width(), width * 0.98);
    EXPECT_GT(tilted.height(), height + width / 10);
}

TEST(RLUtilsTest, TextExtentOfNothingHasNoWidth)
{
    TFont font;
    const QSize size = TextExtent(QString(), font, 0);
    EXPECT_EQ(size.width(), 0);
    EXPECT_EQ(size.height(), TextHeight(font, QString()));
    EXPECT_EQ(TextExtent(QString(), font, 90), QSize(size.height(), 0));
}

} // namespace

#include "RLUtilsTest.moc"
