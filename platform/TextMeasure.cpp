#include "platform/TextMeasure.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRawFont>
#include <QtEndian>
#include <array>
#include <memory>

namespace {

// Faces that reports name and that this platform draws with another face keep their own line
// heights: ascent and descent per em as the named faces declare them. The stand-in for Verdana and
// Tahoma (DejaVu Sans) has a shorter ascent, so every line of text came out a pixel shorter than
// designed, and the accents of capitals (PÓ, ÓLEO, FEIJÃO) rose into the top row of the text's cell,
// which designs treat as leading: a text placed one pixel above its band, as reports do, lost them to
// the band's clip on screen and on paper.
struct TNamedFaceHeights
{
    const char* Face;
    int Ascent; // per 2048 units of the em
    int Descent;
};
constexpr TNamedFaceHeights NamedFaceHeights[] = {
    { "Verdana", 2059, 430 },
    { "Tahoma", 2049, 423 },
};

const TNamedFaceHeights* HeightsOfNamedFace(const QString& face)
{
    const QString trimmed = face.trimmed();
    for (const TNamedFaceHeights& entry : NamedFaceHeights)
        if (trimmed.compare(QLatin1String(entry.Face), Qt::CaseInsensitive) == 0)
            return &entry;
    return nullptr;
}

// Design metrics of one face and style, in font units. The first 256 characters are read when the
// table is built and never change afterwards, so they are read without a lock; others are looked up
// on first use under the table's lock.
class TFaceTable
{
public:
    TFaceTable(const QString& family, TFontStyles style, const TNamedFaceHeights* heights)
    {
        QFont font(family);
        font.setBold(style & fsBold);
        font.setItalic(style & fsItalic);
        font.setKerning(false);
        font.setPixelSize(100);
        FRaw = QRawFont::fromFont(font);
        if (!FRaw.isValid()) {
            // No usable face at all: an average advance keeps measuring sane rather than zero.
            FUnitsPerEm = 1000;
            FWinAscent = 905;
            FWinDescent = 212;
            FLatin.fill(500);
            return;
        }
        FUnitsPerEm = qMax(16, qRound(FRaw.unitsPerEm()));
        // At one pixel per font unit the design advances come out in font units.
        FRaw.setPixelSize(FUnitsPerEm);
        const QByteArray os2 = FRaw.fontTable("OS/2");
        if (os2.size() >= 78) {
            FWinAscent = qFromBigEndian<quint16>(os2.constData() + 74);
            FWinDescent = qFromBigEndian<quint16>(os2.constData() + 76);
        }
        if (FWinAscent + FWinDescent <= 0) {
            FWinAscent = qRound(FRaw.ascent());
            FWinDescent = qRound(FRaw.descent());
        }
        if (FWinAscent + FWinDescent <= 0) {
            FWinAscent = FUnitsPerEm;
            FWinDescent = 0;
        }
        if (heights) {
            FWinAscent = int((qint64(heights->Ascent) * FUnitsPerEm + 1024) / 2048);
            FWinDescent = int((qint64(heights->Descent) * FUnitsPerEm + 1024) / 2048);
        }
        for (int c = 0; c < 256; ++c)
            FLatin[size_t(c)] = LookUp(char32_t(c));
    }

    int UnitsPerEm() const { return FUnitsPerEm; }
    int WinAscent() const { return FWinAscent; }
    int WinDescent() const { return FWinDescent; }

    int Advance(char32_t c)
    {
        if (c < 256)
            return FLatin[size_t(c)];
        QMutexLocker lock(&FMutex);
        auto it = FOthers.constFind(c);
        if (it != FOthers.constEnd())
            return it.value();
        const int units = LookUp(c);
        FOthers.insert(c, units);
        return units;
    }

    // A design measure scaled to an em of emPixels and rounded to whole pixels, halves up.
    int Scale(qint64 units, int emPixels) const
    {
        return int((units * emPixels * 2 + FUnitsPerEm) / (qint64(FUnitsPerEm) * 2));
    }

private:
    int LookUp(char32_t c) const
    {
        if (!FRaw.isValid())
            return FUnitsPerEm / 2;
        const QString text = QString::fromUcs4(&c, 1);
        const QList<quint32> glyphs = FRaw.glyphIndexesForString(text);
        if (glyphs.isEmpty())
            return 0;
        const QList<QPointF> advances
            = FRaw.advancesForGlyphIndexes(glyphs, QRawFont::SeparateAdvances | QRawFont::UseDesignMetrics);
        qreal total = 0;
        for (const QPointF& advance : advances)
            total += advance.x();
        return qMax(0, qRound(total));
    }

    QRawFont FRaw;
    int FUnitsPerEm = 1000;
    int FWinAscent = 0;
    int FWinDescent = 0;
    std::array<int, 256> FLatin {};
    QMutex FMutex;
    QHash<char32_t, int> FOthers;
};

TFaceTable& FaceTable(const QString& face, TFontStyles style)
{
    static QMutex mutex;
    static auto* tables = new QHash<QString, std::shared_ptr<TFaceTable>>();
    const QString family = SubstituteFaceName(face);
    const int shape = style & (fsBold | fsItalic);
    // A face with heights of its own has a table of its own, even where it shares the stand-in.
    const TNamedFaceHeights* heights = HeightsOfNamedFace(face);
    const QString key = (heights ? QString::fromLatin1(heights->Face) : family).toLower() + QLatin1Char('|')
        + QString::number(shape);
    QMutexLocker lock(&mutex);
    auto it = tables->constFind(key);
    if (it != tables->constEnd())
        return *it.value();
    auto table = std::make_shared<TFaceTable>(family, shape, heights);
    tables->insert(key, table);
    return *table;
}

} // namespace

int TextWidth(const QString& face, int emPixels, TFontStyles style, const QString& text)
{
    if (text.isEmpty() || emPixels <= 0)
        return 0;
    TFaceTable& table = FaceTable(face, style);
    qint64 width = 0;
    for (char32_t c : text.toUcs4())
        width += table.Scale(table.Advance(c), emPixels);
    return int(qMin<qint64>(width, std::numeric_limits<int>::max()));
}

TTextMetrics TextMetrics(const QString& face, int emPixels, TFontStyles style)
{
    TTextMetrics metrics;
    if (emPixels <= 0)
        return metrics;
    TFaceTable& table = FaceTable(face, style);
    metrics.EmHeight = emPixels;
    metrics.Ascent = table.Scale(table.WinAscent(), emPixels);
    metrics.Descent = table.Scale(table.WinDescent(), emPixels);
    metrics.Height = metrics.Ascent + metrics.Descent;
    return metrics;
}

int CellHeightToEmHeight(const QString& face, TFontStyles style, int cellHeight)
{
    if (cellHeight <= 0)
        return 0;
    TFaceTable& table = FaceTable(face, style);
    const qint64 cell = qint64(table.WinAscent()) + table.WinDescent();
    return int((qint64(cellHeight) * table.UnitsPerEm() * 2 + cell) / (cell * 2));
}

int TextWidth(const TFont& font, const QString& text)
{
    return TextWidth(font.Name(), font.PixelEmHeight(), font.Style(), text);
}

int TextHeight(const TFont& font, const QString&)
{
    return TextMetrics(font.Name(), font.PixelEmHeight(), font.Style()).Height;
}

QSize TextSize(const TFont& font, const QString& text)
{
    return QSize(TextWidth(font, text), TextHeight(font, text));
}

int CharWidth(const TFont& font, char32_t character)
{
    return TextWidth(font, QString::fromUcs4(&character, 1));
}

TTextMetrics TextMetrics(const TFont& font)
{
    return TextMetrics(font.Name(), font.PixelEmHeight(), font.Style());
}
