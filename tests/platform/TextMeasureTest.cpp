#include "platform/TextMeasure.h"

#include <gtest/gtest.h>

#include <QRawFont>

#include <thread>
#include <vector>

namespace {

std::unique_ptr<TFont> MakeFont(const QString& name, int height, TFontStyles style = 0)
{
    auto font = std::make_unique<TFont>();
    font->SetName(name);
    font->SetHeight(height);
    font->SetStyle(style);
    return font;
}

const QString Title = QStringLiteral("Inventário por Preço de Custo");

TEST(TextMeasureTest, EmptyTextHasNoWidthButTheFontsCellHeight)
{
    auto font = MakeFont("Arial", -11);
    EXPECT_EQ(TextWidth(*font, QString()), 0);
    EXPECT_GT(TextHeight(*font, QString()), 0);
    EXPECT_EQ(TextHeight(*font, QString()), TextHeight(*font, QStringLiteral("Ágy")));
}

// Widths are sums of per-character advances: no pair kerning ("AV", "To"), no ligatures ("fi").
TEST(TextMeasureTest, WidthIsTheSumOfCharacterWidths)
{
    const QStringList samples = { "ii", "AV", "To", "fi", "ffl", "Wa.", "12,50", "Preço", "a\tb", "x y" };
    for (const QString& face :
        { QStringLiteral("Arial"), QStringLiteral("Times New Roman"), QStringLiteral("MS Sans Serif") }) {
        for (int height : { -11, -13, -16 }) {
            auto font = MakeFont(face, height);
            for (const QString& text : samples) {
                int sum = 0;
                for (char32_t c : text.toUcs4())
                    sum += CharWidth(*font, c);
                EXPECT_EQ(TextWidth(*font, text), sum)
                    << qPrintable(face) << " " << height << " " << qPrintable(text);
            }
            EXPECT_EQ(TextWidth(*font, "ii"), 2 * TextWidth(*font, "i"));
        }
    }
}

TEST(TextMeasureTest, BoldIsWiderAndDoubleHeightAboutDoubleWidth)
{
    auto regular = MakeFont("Arial", -11);
    auto bold = MakeFont("Arial", -11, fsBold);
    EXPECT_GT(TextWidth(*bold, Title), TextWidth(*regular, Title));

    auto small = MakeFont("Arial", -8);
    auto large = MakeFont("Arial", -16);
    const int w8 = TextWidth(*small, Title);
    const int w16 = TextWidth(*large, Title);
    // Each character's rounding may differ by up to one pixel at each size.
    EXPECT_LE(std::abs(w16 - 2 * w8), 2 * int(Title.size()));
    EXPECT_GT(TextHeight(*large, Title), TextHeight(*small, Title));

    // Underline and strike-out change no measure.
    auto lined = MakeFont("Arial", -11, fsUnderline | fsStrikeOut);
    EXPECT_EQ(TextSize(*lined, Title), TextSize(*regular, Title));
}

TEST(TextMeasureTest, PlatformFacesMeasureAsTheirStandIns)
{
    const struct
    {
        const char* Face;
        const char* StandIn;
    } cases[] = {
        { "Arial", "Liberation Sans" },
        { "Times New Roman", "Liberation Serif" },
        { "Courier New", "Liberation Mono" },
        { "MS Sans Serif", "DejaVu Sans" },
        { "Tahoma", "DejaVu Sans" },
    };
    for (const auto& c : cases) {
        auto platform = MakeFont(c.Face, -13);
        auto standIn = MakeFont(c.StandIn, -13);
        EXPECT_EQ(TextWidth(*platform, Title), TextWidth(*standIn, Title)) << c.Face;
        // Faces with line heights of their own keep them (see below); the others are their stand-ins.
        if (QString::fromLatin1(c.Face) != QStringLiteral("Tahoma")) {
            EXPECT_EQ(TextSize(*platform, Title), TextSize(*standIn, Title)) << c.Face;
        }
    }
    // A monospaced face gives every character the same advance.
    auto mono = MakeFont("Courier New", -13);
    EXPECT_EQ(TextWidth(*mono, "iiii"), TextWidth(*mono, "WWWW"));
}

// Measured once on Debian's Liberation Sans; a change here means the measuring rule changed.
TEST(TextMeasureTest, PinnedValuesForLiberationSans)
{
    const struct
    {
        int Height;
        TFontStyles Style;
        int Width;
        int CellHeight;
    } cases[] = {
        { -11, 0, 146, 12 },
        { -16, 0, 211, 17 },
        { -16, fsBold, 228, 17 },
    };
    for (const auto& c : cases) {
        auto font = MakeFont("Liberation Sans", c.Height, c.Style);
        EXPECT_EQ(TextWidth(*font, Title), c.Width) << c.Height << " " << c.Style;
        EXPECT_EQ(TextHeight(*font, Title), c.CellHeight) << c.Height;
    }
    auto font = MakeFont("Arial", -11);
    EXPECT_EQ(TextWidth(*font, " "), 3);
}

TEST(TextMeasureTest, MetricsAddUpAndCellHeightSelectsTheEm)
{
    auto font = MakeFont("Arial", -16);
    const TTextMetrics metrics = TextMetrics(*font);
    EXPECT_EQ(metrics.EmHeight, 16);
    EXPECT_EQ(metrics.Ascent + metrics.Descent, metrics.Height);
    EXPECT_EQ(metrics.Height, TextHeight(*font, "x"));
    EXPECT_GT(metrics.Ascent, metrics.Descent);

    // Asking by cell height (a positive Height) scales the em so that ascent plus descent make the
    // cell: Liberation Sans has 1854 + 434 units of cell per 2048 of em, so a 17-pixel cell is an em
    // of 17 x 2048 / 2288 = 15.2, rounded to 15; a 23-pixel cell is an em of 20.6, rounded to 21.
    const struct
    {
        int Cell;
        int Em;
    } cells[] = { { 17, 15 }, { 23, 21 }, { 2288, 2048 }, { 1, 1 } };
    for (const auto& c : cells) {
        auto byCell = MakeFont("Arial", c.Cell);
        EXPECT_EQ(byCell->PixelEmHeight(), c.Em) << c.Cell;
        EXPECT_LE(std::abs(TextHeight(*byCell, "x") - c.Cell), 1) << c.Cell;
    }
}

TEST(TextMeasureTest, CharactersOutsideTheFirstPlaneCountOnce)
{
    auto font = MakeFont("DejaVu Sans", -13);
    const QString grin = QString::fromUcs4(U"\U0001F600", 1);
    EXPECT_EQ(grin.size(), 2);
    EXPECT_EQ(TextWidth(*font, "a" + grin), TextWidth(*font, "a") + CharWidth(*font, U'\U0001F600'));
    // Characters past Latin-1 take the same path as the first 256.
    EXPECT_EQ(TextWidth(*font, "€€"), 2 * CharWidth(*font, U'€'));
    EXPECT_GT(CharWidth(*font, U'€'), 0);
}

TEST(TextMeasureTest, BackgroundThreadsMeasureTheSameAsTheMainThread)
{
    const QString text = QStringLiteral("Ωμέγα Ελληνικά ƒ ŠŽ ‰ ™ ") + Title;
    auto font = MakeFont("Times New Roman", -15, fsItalic);
    std::vector<int> results(4, -1);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = TextWidth(font->Name(), 15, fsItalic, text); });
    const int here = TextWidth(*font, text);
    for (std::thread& t : threads)
        t.join();
    for (int result : results)
        EXPECT_EQ(result, here);
}

} // namespace

// Verdana and Tahoma are drawn with DejaVu Sans but keep their own ascent and descent: with the
// stand-in's shorter ascent every line was a pixel shorter than designed, and the accents of
// capitals rose into the cell's top row, which a report places above its band (Top = -1) and the
// band's clip cut off ("PO" for "PÓ" on screen and paper).
TEST(TextMeasureTest, NamedFacesKeepTheirLineHeightsAndAccentedCapitalsStayBelowTheTopRow)
{
    const struct
    {
        const char* Face;
        int Height;
        int Ascent;
        int CellHeight;
    } cases[] = {
        { "Verdana", -9, 9, 11 },
        { "Verdana", -11, 11, 13 },
        { "Tahoma", -9, 9, 11 },
    };
    for (const auto& c : cases) {
        auto font = MakeFont(c.Face, c.Height, fsBold);
        const TTextMetrics metrics = TextMetrics(*font);
        EXPECT_EQ(metrics.Ascent, c.Ascent) << c.Face << " " << c.Height;
        EXPECT_EQ(metrics.Height, c.CellHeight) << c.Face << " " << c.Height;
        // Widths are still the stand-in's.
        EXPECT_EQ(TextWidth(*font, Title), TextWidth(*MakeFont("DejaVu Sans", c.Height, fsBold), Title));
    }

    // The accented capitals of the code page, as the stand-in draws them at 9 pixels, stay inside
    // the text's cell (with the stand-in's own ascent they rose a pixel above it).
    QFont face(QStringLiteral("DejaVu Sans"));
    face.setBold(true);
    face.setPixelSize(9);
    const QRawFont raw = QRawFont::fromFont(face);
    ASSERT_TRUE(raw.isValid());
    const int ascent = TextMetrics(*MakeFont("Verdana", -9, fsBold)).Ascent;
    for (const QString& capital :
        { QStringLiteral("Ó"), QStringLiteral("Â"), QStringLiteral("Ã"), QStringLiteral("É") }) {
        const QList<quint32> glyphs = raw.glyphIndexesForString(capital);
        ASSERT_EQ(glyphs.size(), 1);
        const double top = ascent + raw.boundingRect(glyphs.first()).top(); // from the cell's top
        EXPECT_GE(top, 0.0) << capital.toStdString();
    }
}
