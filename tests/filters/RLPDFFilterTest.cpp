// The PDF writer on whole page stores: exact bytes of small documents, the operators of each page
// object, fonts and pictures, safe replacement of the target file, and whole files read back by
// independent tools (qpdf, pdftotext, pdfinfo, pdftoppm).
#include "filters/RLPDFFilter.h"
#include "filters/RLPDFWriter.h"

#include "engine/RLConsts.h"
#include "engine/RLUtils.h"
#include "pagestore/RLMetaDraw.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"
#include "platform/TextMeasure.h"
#include "support/PDFTextPlacement.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

const QDateTime FixedDate(QDate(2024, 1, 31), QTime(23, 59, 58));

// A page store that the test owns (an ownerless store would free itself when the filter lets go).
struct TStore
{
    TComponent Owner;
    TRLGraphicStorage* Store = new TRLGraphicStorage(&Owner);

    // Paper in millimetres; 25.4 mm is 96 pixels.
    explicit TStore(double WidthMM = 25.4, double HeightMM = 25.4)
    {
        Store->SetOrientation(1);
        Store->SetPaperWidth(WidthMM);
        Store->SetPaperHeight(HeightMM);
    }
    TRLGraphicSurface* NewPage()
    {
        auto* page = new TRLGraphicSurface;
        page->SetWidth(Store->OrientedWidth());
        page->SetHeight(Store->OrientedHeight());
        return page;
    }
    void Add(TRLGraphicSurface* Page) { Store->Add(Page); }
};

TRLTextObject* AddText(TRLGraphicSurface* Page, const QString& Face, int Size, const TRect& Bounds,
    const QString& Text, TRLMetaTextAlignment Alignment = MetaTextAlignmentLeft, TRLMetaFontStyles Style = 0,
    uint16_t Flags = TextFlagAutoSize)
{
    auto* text = new TRLTextObject(Page);
    text->Font.SetName(Face);
    text->Font.Size = Size;
    text->Font.PixelsPerInch = 96;
    text->Font.Style = Style;
    text->BoundsRect = Bounds;
    text->Origin = TPoint(Bounds.Left, Bounds.Top);
    text->Text = Text;
    text->Alignment = Alignment;
    text->TextFlags = Flags;
    return text;
}

QByteArray BitmapData(const QImage& Image)
{
    const TGraphic graphic(Image, gkBitmap);
    TRLGraphicSurface scratch;
    return scratch.Draw(0, 0, &graphic)->Data;
}

struct TPDFFilterFixture : ::testing::Test
{
    QTemporaryDir Dir;
    QString FileName;
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        FileName = Dir.filePath(QStringLiteral("relatorio.pdf"));
    }

    QByteArray Run(TRLPDFFilter& Filter, TRLGraphicStorage* Store)
    {
        Filter.SetShowProgress(false);
        Filter.SetFileName(FileName);
        Filter.SetCreationDate(FixedDate);
        Filter.ProcessPages(Store, 1, -1, false);
        QFile file(FileName);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    QByteArray Run(TRLGraphicStorage* Store)
    {
        TRLPDFFilter filter;
        return Run(filter, Store);
    }
};

// The content stream of the page-th page (from 1) of a document this writer made.
QByteArray ContentStream(const QByteArray& Pdf, int Page)
{
    qsizetype from = 0;
    for (int i = 0; i < Page; ++i) {
        from = Pdf.indexOf("/Length", Pdf.indexOf("/Type/Page\r\n", from));
        if (from < 0)
            return {};
        from = Pdf.indexOf("stream\r\n", from) + 8;
    }
    return Pdf.mid(from, Pdf.indexOf("endstream\r\n", from) - from);
}

// --- exact bytes ---------------------------------------------------------------------------------

TEST_F(TPDFFilterFixture, OnePageWithOneTextIsExactlyThisFile)
{
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    AddText(page, QStringLiteral("Helvetica"), 12, TRect(10, 20, 60, 40), QStringLiteral("Olá"));
    store.Add(page);
    TRLPDFFilter filter;
    filter.DocumentInfo()->SetTitle(QStringLiteral("Relatório (final) \\ 1"));
    const QByteArray expected
        = QByteArray("%PDF-1.2\r\n"
                     "1 0 obj <<\r\n"
                     "/CreationDate(D:20240131235958)\r\n"
                     "/Title(Relat\xf3rio \\(final\\) \\\\ 1)\r\n"
                     "/Creator(Quillborough v0.6)\r\n"
                     ">> endobj\r\n"
                     "2 0 obj <<\r\n"
                     "/Type/Catalog\r\n"
                     "/Pages 3 0 R\r\n"
                     ">> endobj\r\n"
                     "5 0 obj <<\r\n"
                     "/Type/Page\r\n"
                     "/Parent 3 0 R\r\n"
                     "/Resources 4 0 R\r\n"
                     "/MediaBox [ 0 0 72 72 ]\r\n"
                     "/Contents 6 0 R\r\n"
                     ">> endobj\r\n"
                     "6 0 obj <<\r\n"
                     "/Length 7 0 R\r\n"
                     ">>\r\n"
                     "stream\r\n"
                     "q\r\n"
                     "0 0 0 rg\r\n"
                     "BT\r\n"
                     "/F1 12 Tf\r\n"
                     "7.5 44.484 Td\r\n"
                     "(Ol\xe1) Tj\r\n"
                     "ET\r\n"
                     "Q\r\n"
                     "endstream\r\n"
                     "endobj\r\n"
                     "7 0 obj\r\n"
                     "60\r\n"
                     "endobj\r\n"
                     "8 0 obj <<\r\n"
                     "/Type/Font/Subtype/Type1/Name/F1/BaseFont/Helvetica/Encoding/WinAnsiEncoding\r\n"
                     ">> endobj\r\n"
                     "4 0 obj <<\r\n"
                     "/ProcSet [ /PDF/Text/ImageB ]\r\n"
                     "/Font <<\r\n"
                     "/F1 8 0 R\r\n"
                     ">>\r\n"
                     "/XObject <<\r\n"
                     ">>\r\n"
                     ">> endobj\r\n"
                     "3 0 obj <<\r\n"
                     "/Type/Pages\r\n"
                     "/Count 1\r\n"
                     "/MediaBox [ 0 0 72 72 ]\r\n"
                     "/Kids [ 5 0 R ]\r\n"
                     ">> endobj\r\n"
                     "xref\r\n"
                     "0 9\r\n"
                     "0000000000 65535 f\r\n"
                     "0000000010 00000 n\r\n"
                     "0000000129 00000 n\r\n"
                     "0000000627 00000 n\r\n"
                     "0000000531 00000 n\r\n"
                     "0000000181 00000 n\r\n"
                     "0000000291 00000 n\r\n"
                     "0000000409 00000 n\r\n"
                     "0000000430 00000 n\r\n"
                     "trailer\r\n"
                     "<<\r\n"
                     "/Size 9\r\n"
                     "/Root 2 0 R\r\n"
                     "/Info 1 0 R\r\n"
                     ">>\r\n"
                     "startxref\r\n"
                     "715\r\n"
                     "%%EOF\r\n");
    const QByteArray pdf = Run(filter, store.Store);
    EXPECT_EQ(pdf, expected) << pdf.constData();
}

TEST_F(TPDFFilterFixture, AnEmptyStoreStillMakesAWholeDocument)
{
    TStore store;
    const QByteArray pdf = Run(store.Store);
    EXPECT_TRUE(pdf.contains("/Count 0\r\n/MediaBox [ 0 0 72 72 ]\r\n/Kids [ ]\r\n"));
    EXPECT_TRUE(pdf.contains("/Font <<\r\n>>\r\n/XObject <<\r\n>>\r\n"));
    EXPECT_TRUE(pdf.contains("xref\r\n0 5\r\n"));
    EXPECT_TRUE(pdf.endsWith("%%EOF\r\n"));
}

TEST_F(TPDFFilterFixture, EveryObjectKindWritesItsOperators)
{
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    TRLMetaPen pen;
    pen.Color = { 255, 0, 0 };
    pen.Width = 2;
    pen.Style = MetaPenStyleDash;
    TRLMetaBrush brush;
    brush.Color = { 0, 0, 255 };

    auto* pixel = new TRLPixelObject(page);
    pixel->BoundsRect = TRect(4, 4, 5, 5);
    pixel->Color = { 0, 255, 0 };
    auto* line = new TRLLineObject(page);
    line->FromPoint = TPoint(0, 0);
    line->ToPoint = TPoint(96, 48);
    line->Pen = pen;
    auto* rectangle = new TRLRectangleObject(page);
    rectangle->BoundsRect = TRect(8, 16, 24, 32);
    rectangle->Pen = pen;
    rectangle->Brush = brush;
    auto* fill = new TRLFillRectObject(page);
    fill->BoundsRect = TRect(0, 0, 96, 96);
    fill->Brush = brush;
    auto* polygon = new TRLPolygonObject(page);
    polygon->Pen = pen;
    polygon->Brush = brush;
    polygon->Points = { TPoint(0, 0), TPoint(96, 0), TPoint(48, 96) };
    auto* polyline = new TRLPolylineObject(page);
    polyline->Pen = pen;
    polyline->Points = { TPoint(0, 96), TPoint(96, 96) };
    auto* setClip = new TRLSetClipRectObject(page);
    setClip->BoundsRect = TRect(0, 0, 48, 48);
    new TRLResetClipRectObject(page);
    store.Add(page);

    const QByteArray content = ContentStream(Run(store.Store), 1);
    const QByteArray lineSetup = "1.5 w\r\n0 J\r\n[3] 0 d\r\n1 0 0 RG\r\n";
    const QByteArray expected = "0 w\r\n0 J\r\n0 1 0 rg\r\n3 68.25 0.75 0.75 re\r\nf\r\n" // pixel
        + lineSetup + "0 72 m\r\n72 36 l\r\nS\r\n" // line
        + lineSetup + "0 0 1 rg\r\n6 48 12 12 re\r\nf\r\n" // rectangle
        + "0 w\r\n0 0 1 rg\r\n0 0 72 72 re\r\nf\r\n" // fill rectangle
        + lineSetup + "0 0 1 rg\r\n0 72 m \r\n72 72 l \r\n36 0 l \r\nb\r\n" // polygon
        + lineSetup + "0 0 m \r\n72 0 l \r\nS\r\n" // polyline
        + "q\r\n0 36 36 36 re\r\nW n\r\n" // set clip
        + "Q\r\n"; // reset clip
    EXPECT_EQ(content, expected) << content.constData();
}

TEST_F(TPDFFilterFixture, EllipseIsOneLineOfThirtySixPoints)
{
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    auto* ellipse = new TRLEllipseObject(page);
    ellipse->BoundsRect = TRect(10, 20, 70, 50);
    ellipse->Pen.Width = 1;
    ellipse->Brush.Color = { 255, 255, 255 };
    store.Add(page);
    const QByteArray content = ContentStream(Run(store.Store), 1);
    const QByteArray expected
        = "0.75 w\r\n0 J\r\n[] 0 d\r\n0 0 0 RG\r\n1 1 1 rg\r\n"
          "52.5 45.75 m 52.1582 43.7965 l 51.1431 41.9023 l 49.4856 40.125 l 47.236 38.5186 l "
          "44.4627 37.132 l 41.25 36.0072 l 37.6955 35.1785 l 33.9071 34.6709 l 30 34.5 l "
          "26.0929 34.6709 l 22.3045 35.1785 l 18.75 36.0072 l 15.5373 37.132 l 12.764 38.5186 l "
          "10.5144 40.125 l 8.8569 41.9023 l 7.8418 43.7965 l 7.5 45.75 l 7.8418 47.7035 l "
          "8.8569 49.5977 l 10.5144 51.375 l 12.764 52.9814 l 15.5373 54.368 l 18.75 55.4928 l "
          "22.3045 56.3215 l 26.0929 56.8291 l 30 57 l 33.9071 56.8291 l 37.6955 56.3215 l "
          "41.25 55.4928 l 44.4627 54.368 l 47.236 52.9814 l 49.4856 51.375 l 51.1431 49.5977 l "
          "52.1582 47.7035 l b\r\n";
    EXPECT_EQ(content, expected) << content.constData();
}

TEST_F(TPDFFilterFixture, PenStylesChooseTheDashPattern)
{
    struct TCase
    {
        TRLMetaPenStyle Style;
        const char* Expected;
    } cases[] = {
        { MetaPenStyleSolid, "0.75 w\r\n0 J\r\n[] 0 d\r\n" },
        { MetaPenStyleDash, "0.75 w\r\n0 J\r\n[3] 0 d\r\n" },
        { MetaPenStyleDot, "0.75 w\r\n0 J\r\n[1] 0 d\r\n" },
        { MetaPenStyleDashDot, "0.75 w\r\n0 J\r\n[2 1] 0 d\r\n" },
        { MetaPenStyleDashDotDot, "0.75 w\r\n0 J\r\n[3 5] 6 d\r\n" },
        { MetaPenStyleClear, "0 w\r\n0 J\r\n" }, // a clear pen draws with width 0 and no dash line
        { MetaPenStyleInsideFrame, "0.75 w\r\n0 J\r\n[] 0 d\r\n" },
    };
    for (const TCase& c : cases) {
        TStore store;
        TRLGraphicSurface* page = store.NewPage();
        auto* line = new TRLLineObject(page);
        line->Pen.Width = 1;
        line->Pen.Style = c.Style;
        store.Add(page);
        const QByteArray content = ContentStream(Run(store.Store), 1);
        EXPECT_EQ(content, QByteArray(c.Expected) + "0 0 0 RG\r\n0 72 m\r\n0 72 l\r\nS\r\n") << int(c.Style);
    }
}

TEST_F(TPDFFilterFixture, TextIsPlacedByAlignmentAndClippedUnlessAutoSized)
{
    const QString text = QStringLiteral("Total geral");
    // A right-aligned bold text is placed by the bold widths the document declares, at 10 points:
    // measured plain on whole pixels it ran past its right edge and the clip cut its end off.
    TRLFontMetrics bold;
    GetFontMetrics(QStringLiteral("Arial"), fsBold, bold);
    int thousandths = 0;
    for (const QChar c : text)
        thousandths += bold.Widths[c.unicode()];
    const double width = thousandths * 10 / 1000.0 * 96 / 72;
    ASSERT_GT(width, TextWidth(QStringLiteral("Arial"), MulDiv(10, 96, 72), 0, text));
    // The base line stands the declared descent above the rectangle's bottom (789.75 points up).
    ASSERT_LT(bold.Descent, 0);
    const QByteArray baseline = PDFNumber(789.75 - bold.Descent * 10 / 1000.0);
    struct TCase
    {
        TRLMetaTextAlignment Alignment;
        double X;
    } cases[] = {
        { MetaTextAlignmentLeft, 100 },
        { MetaTextAlignmentJustify, 100 },
        { MetaTextAlignmentRight, 300 - width },
        { MetaTextAlignmentCenter, (100 + 300 - width) / 2 },
    };
    for (const TCase& c : cases) {
        TStore store(210, 297);
        TRLGraphicSurface* page = store.NewPage();
        TRLTextObject* object = AddText(page, QStringLiteral("Arial"), 10, TRect(100, 50, 300, 70), text,
            c.Alignment, MetaFontStyleBold, TextFlagKeepWhole);
        object->Font.Color = { 0, 0, 255 };
        store.Add(page);
        const QByteArray content = ContentStream(Run(store.Store), 1);
        const QByteArray expected = "q\r\n0 0 1 rg\r\n75 789.75 150 15 re\r\nW n\r\nBT\r\n/F1 10 Tf\r\n"
            + PDFNumber(PixelsToPoints(c.X)) + " " + baseline + " Td\r\n(Total geral) Tj\r\nET\r\nQ\r\n";
        EXPECT_EQ(content, expected) << int(c.Alignment);
    }
}

// The base line stood on the bottom edge of the clip, which cut off every descender and cedilla in
// every viewer ("JARDIM" read "IARDIM", "MUÇARELA" "MUCARELA").
TEST_F(TPDFFilterFixture, DescendersAndCedillasStayInsideTheTextsClip)
{
    struct TFace
    {
        const char* Name;
        TRLMetaFontStyles Style;
    } faces[] = {
        { "Arial", 0 },
        { "Arial", MetaFontStyleBold },
        { "Verdana", MetaFontStyleBold | MetaFontStyleItalic },
        { "Times New Roman", 0 },
        { "Courier New", 0 },
        { "Helvetica", 0 },
        { "Times-Roman", 0 },
        { "Courier", 0 },
    };
    TStore store(210, 297);
    TRLGraphicSurface* page = store.NewPage();
    int top = 10;
    int count = 0;
    for (const TFace& face : faces) {
        for (const int size : { 7, 8, 10, 14 }) {
            // A cell as tall as the font's own, as the report's labels record them.
            const TTextMetrics metrics = TextMetrics(QString::fromLatin1(face.Name), MulDiv(size, 96, 72),
                TFontStyles(face.Style) & (fsBold | fsItalic));
            AddText(page, QString::fromLatin1(face.Name), size, TRect(20, top, 400, top + metrics.Height),
                QStringLiteral("JARDIM MUÇARELA Qg"), MetaTextAlignmentLeft, face.Style, TextFlagKeepWhole);
            top += metrics.Height + 4;
            ++count;
        }
    }
    store.Add(page);
    const QByteArray pdf = Run(store.Store);
    const QList<PDFTextPlacement::TPlacedText> texts = PDFTextPlacement::PlacedTexts(pdf);
    ASSERT_EQ(texts.size(), count);
    for (const PDFTextPlacement::TPlacedText& text : texts) {
        ASSERT_TRUE(text.Clip.has_value()) << text.Font.constData();
        ASSERT_LT(text.Descent, 0) << text.Font.constData() << " declares no descent";
        const double lowest = text.Y + text.Descent * text.Size / 1000.0;
        // Inside, to the four decimals the file carries.
        EXPECT_GE(lowest, text.Clip->Bottom - 0.0001) << text.Font.constData() << " " << text.Size;
        EXPECT_LT(text.Y, text.Clip->Top()) << text.Font.constData() << " " << text.Size;
        // And the text sits on the cell's floor, not higher up than its descent.
        EXPECT_NEAR(lowest, text.Clip->Bottom, 0.0001) << text.Font.constData() << " " << text.Size;
    }
}

TEST_F(TPDFFilterFixture, TextGoesOutInWindows1252WithEscapes)
{
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    AddText(page, QStringLiteral("Courier"), 8, TRect(0, 0, 90, 10), QStringLiteral("a(b)\\c\tPreço – €Ω"));
    store.Add(page);
    const QByteArray content = ContentStream(Run(store.Store), 1);
    // The en dash and the euro sign are in the code page; the omega is not.
    EXPECT_TRUE(content.contains(QByteArray("(a\\(b\\)\\\\c\\011Pre\xe7o \x96 \x80?) Tj\r\n")))
        << content.constData();
}

TEST_F(TPDFFilterFixture, PlaceholdersAreReplacedBeforeWriting)
{
    TStore store;
    store.Store->SetLastPageNumber(7);
    TRLGraphicSurface* page = store.NewPage();
    AddText(page, QStringLiteral("Helvetica"), 8, TRect(0, 0, 90, 10), QStringLiteral("de {LastPageNumber}"));
    store.Add(page);
    const QByteArray content = ContentStream(Run(store.Store), 1);
    EXPECT_TRUE(content.contains("(de 7) Tj")) << content.constData();
}

// --- fonts ---------------------------------------------------------------------------------------

TEST_F(TPDFFilterFixture, TrueTypeFacesGetWidthsAndADescriptorPerStyle)
{
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    AddText(page, QStringLiteral("Arial"), 10, TRect(0, 0, 90, 10), QStringLiteral("regular"));
    AddText(page, QStringLiteral("Arial"), 10, TRect(0, 10, 90, 20), QStringLiteral("bold"),
        MetaTextAlignmentLeft, MetaFontStyleBold);
    AddText(page, QStringLiteral("Arial"), 12, TRect(0, 20, 90, 30), QStringLiteral("same font, other size"));
    store.Add(page);
    const QByteArray pdf = Run(store.Store);

    TRLFontMetrics regular;
    GetFontMetrics(QStringLiteral("Arial"), 0, regular);
    const QRegularExpression font(QStringLiteral(
        "(\\d+) 0 obj <<\r\n/Type/Font/Subtype/TrueType/Name/F(\\d)/BaseFont/([^\\r]*)\r\n/FirstChar "
        "(\\d+)\r\n"
        "/LastChar (\\d+)\r\n/Widths \\[\r\n((?:[0-9 ]+\r\n)+)\\]\r\n/FontDescriptor (\\d+) 0 R\r\n"
        "/Encoding/WinAnsiEncoding\r\n>> endobj\r\n"));
    const QString text = QString::fromLatin1(pdf);
    QRegularExpressionMatchIterator it = font.globalMatch(text);
    QStringList names;
    QStringList descriptors;
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        names << m.captured(2) + QLatin1Char('=') + m.captured(3);
        descriptors << m.captured(7);
        const int first = m.captured(4).toInt();
        const int last = m.captured(5).toInt();
        const QStringList lines = m.captured(6).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        int count = 0;
        for (int i = 0; i < lines.size(); ++i) {
            const QStringList widths = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (i + 1 < lines.size())
                EXPECT_EQ(widths.size(), 18) << "line " << i;
            else
                EXPECT_LE(widths.size(), 18);
            if (m.captured(2) == QLatin1String("1") && i == 0) {
                ASSERT_FALSE(widths.isEmpty());
                EXPECT_EQ(widths[0].toInt(), regular.Widths[std::size_t(first)]);
            }
            count += int(widths.size());
        }
        EXPECT_EQ(count, last - first + 1);
    }
    EXPECT_EQ(names, QStringList({ QStringLiteral("1=Arial"), QStringLiteral("2=Arial,Bold") }));
    ASSERT_EQ(descriptors.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QByteArray head = descriptors[i].toLatin1() + " 0 obj <<\r\n/Type/FontDescriptor\r\n/FontName/"
            + (i == 0 ? "Arial" : "Arial,Bold") + "\r\n/Flags ";
        EXPECT_TRUE(pdf.contains(head)) << head.constData();
    }
    EXPECT_TRUE(pdf.contains("/Ascent " + QByteArray::number(regular.Ascent) + "\r\n/Descent "
        + QByteArray::number(regular.Descent) + "\r\n"));
    const QByteArray content = ContentStream(pdf, 1);
    EXPECT_TRUE(content.contains("/F1 10 Tf"));
    EXPECT_TRUE(content.contains("/F2 10 Tf"));
    EXPECT_TRUE(content.contains("/F1 12 Tf"));
}

TEST_F(TPDFFilterFixture, StandardFaceNamesUseTheType1FontWithoutStyle)
{
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    AddText(page, QStringLiteral("Times-Roman"), 10, TRect(0, 0, 90, 10), QStringLiteral("x"),
        MetaTextAlignmentLeft, MetaFontStyleBold);
    AddText(page, QStringLiteral("courier-bold"), 10, TRect(0, 10, 90, 20), QStringLiteral("y"));
    store.Add(page);
    const QByteArray pdf = Run(store.Store);
    EXPECT_TRUE(
        pdf.contains("/Type/Font/Subtype/Type1/Name/F1/BaseFont/Times-Roman/Encoding/WinAnsiEncoding\r\n"));
    EXPECT_TRUE(
        pdf.contains("/Type/Font/Subtype/Type1/Name/F2/BaseFont/Courier-Bold/Encoding/WinAnsiEncoding\r\n"));
    EXPECT_FALSE(pdf.contains("/Widths"));
    EXPECT_FALSE(pdf.contains("/FontDescriptor"));
}

TEST_F(TPDFFilterFixture, FaceNamesWithDelimitersStayOneName)
{
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    AddText(page, QStringLiteral("Odd/Face (x)"), 10, TRect(0, 0, 90, 10), QStringLiteral("x"));
    store.Add(page);
    const QByteArray pdf = Run(store.Store);
    EXPECT_TRUE(pdf.contains("/BaseFont/Odd#2FFace#28x#29\r\n")) << pdf.constData();
    EXPECT_TRUE(pdf.contains("/FontName/Odd#2FFace#28x#29\r\n"));
}

// --- pictures ------------------------------------------------------------------------------------

TEST_F(TPDFFilterFixture, TwoPixelBitmapIsThisImageObject)
{
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 255, 0));
    const TGraphic bitmap(image, gkBitmap);
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    page->StretchDraw(TRect(10, 10, 30, 20), &bitmap);
    store.Add(page);
    const QByteArray pdf = Run(store.Store);
    const QByteArray object
        = "6 0 obj <<\r\n/Type/XObject\r\n/Subtype/Image\r\n/Width 2\r\n/Height 1\r\n"
          "/ColorSpace/DeviceRGB\r\n/BitsPerComponent 8\r\n/Length 5 0 R\r\n"
          "/Filter [/ASCIIHexDecode]\r\n>>\r\nstream\r\nFF000000FF00>\r\nendstream\r\nendobj\r\n"
          "5 0 obj\r\n15\r\nendobj\r\n7 0 obj <<\r\n/Type/Page\r\n";
    EXPECT_TRUE(pdf.contains(object)) << pdf.constData();
    EXPECT_EQ(ContentStream(pdf, 1),
        QByteArray("q\r\n1 0 0 1 7.5 57 cm\r\n15 0 0 7.5 0 0 cm\r\n/Image1 Do\r\nQ\r\n"));
    EXPECT_TRUE(pdf.contains("/XObject <<\r\n/Image1 6 0 R\r\n>>\r\n"));
}

TEST_F(TPDFFilterFixture, HexLinesHoldFourteenPixels)
{
    struct TCase
    {
        int Width;
        QList<int> LineLengths; // of the stream's lines, ">" included
    } cases[] = {
        { 13, { 79 } },
        { 14, { 84, 1 } },
        { 30, { 84, 84, 13 } },
    };
    for (const TCase& c : cases) {
        QImage image(c.Width, 1, QImage::Format_RGB32);
        image.fill(qRgb(0x12, 0xAB, 0xEF));
        const TGraphic bitmap(image, gkBitmap);
        TStore store;
        TRLGraphicSurface* page = store.NewPage();
        page->Draw(0, 0, &bitmap);
        store.Add(page);
        const QByteArray pdf = Run(store.Store);
        const qsizetype start = pdf.indexOf("stream\r\n") + 8;
        const QByteArray stream = pdf.mid(start, pdf.indexOf("endstream", start) - start);
        QList<int> lengths;
        for (const QByteArray& line : stream.split('\n'))
            if (!line.isEmpty())
                lengths << int(line.size()) - 1; // without the CR
        EXPECT_EQ(lengths, c.LineLengths) << c.Width;
        EXPECT_TRUE(stream.startsWith("12ABEF12ABEF"));
        EXPECT_TRUE(stream.endsWith(">\r\n"));
    }
}

TEST_F(TPDFFilterFixture, TheSamePictureOnThreePagesIsWrittenOnce)
{
    QImage image(3, 3, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const TGraphic bitmap(image, gkBitmap);
    TStore store;
    for (int i = 0; i < 3; ++i) {
        TRLGraphicSurface* page = store.NewPage();
        page->Draw(i, i, &bitmap);
        store.Add(page);
    }
    const QByteArray pdf = Run(store.Store);
    EXPECT_EQ(pdf.count("/Subtype/Image"), 1);
    for (int page = 1; page <= 3; ++page)
        EXPECT_TRUE(ContentStream(pdf, page).contains("/Image1 Do")) << page;
}

TEST_F(TPDFFilterFixture, ImagesWithEqualChecksumsAreNotMixedUp)
{
    // Two different pictures whose data share their 16-bit checksum: found by changing one pixel.
    QImage image(2, 1, QImage::Format_RGB32);
    image.fill(Qt::black);
    const QByteArray first = BitmapData(image);
    const quint16 target = Crc16(first);
    QByteArray second;
    for (int value = 1; value < (1 << 24) && second.isEmpty(); ++value) {
        image.setPixel(1, 0, qRgb(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF));
        const QByteArray candidate = BitmapData(image);
        if (Crc16(candidate) == target && candidate != first)
            second = candidate;
    }
    ASSERT_FALSE(second.isEmpty());
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    auto* a = new TRLImageObject(page);
    a->Data = first;
    a->BoundsRect = TRect(0, 0, 10, 10);
    auto* b = new TRLImageObject(page);
    b->Data = second;
    b->BoundsRect = TRect(10, 0, 20, 10);
    store.Add(page);
    const QByteArray pdf = Run(store.Store);
    EXPECT_EQ(pdf.count("/Subtype/Image"), 2);
    const QByteArray content = ContentStream(pdf, 1);
    EXPECT_TRUE(content.contains("/Image1 Do"));
    EXPECT_TRUE(content.contains("/Image2 Do"));
}

TEST_F(TPDFFilterFixture, PicturesWithoutDataOrAreaAreLeftOut)
{
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    const TGraphic bitmap(image, gkBitmap);
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    page->Draw(0, 0, nullptr); // "NIL"
    auto* garbage = new TRLImageObject(page);
    garbage->Data = "BMPnot a bitmap";
    garbage->BoundsRect = TRect(0, 0, 10, 10);
    page->StretchDraw(TRect(5, 5, 5, 20), &bitmap); // no width
    store.Add(page);
    const QByteArray pdf = Run(store.Store);
    // The good picture is still written once; nothing is drawn.
    EXPECT_EQ(pdf.count("/Subtype/Image"), 1);
    EXPECT_EQ(ContentStream(pdf, 1), QByteArray());
}

TEST_F(TPDFFilterFixture, IconsArePaintedOnWhite)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const TGraphic icon(image, gkIcon);
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    page->Draw(0, 0, &icon);
    store.Add(page);
    const QByteArray pdf = Run(store.Store);
    EXPECT_TRUE(pdf.contains("stream\r\nFFFFFF>\r\nendstream")) << pdf.constData();
}

// --- damaged pages -------------------------------------------------------------------------------

TEST_F(TPDFFilterFixture, UnbalancedClipsAreBalanced)
{
    TStore store;
    TRLGraphicSurface* page = store.NewPage();
    new TRLResetClipRectObject(page); // without a set: dropped
    auto* clip = new TRLSetClipRectObject(page);
    clip->BoundsRect = TRect(0, 0, 10, 10); // never reset: closed at the page's end
    auto* empty = new TRLPolygonObject(page); // no points: no painting operator without a path
    Q_UNUSED(empty);
    new TRLPolylineObject(page);
    store.Add(page);
    EXPECT_EQ(ContentStream(Run(store.Store), 1), QByteArray("q\r\n0 64.5 7.5 7.5 re\r\nW n\r\nQ\r\n"));
}

TEST_F(TPDFFilterFixture, UnknownPaperSizeFallsBackToThePageSize)
{
    TStore store(-1, -1);
    auto* page = new TRLGraphicSurface;
    page->SetWidth(96);
    page->SetHeight(192);
    auto* fill = new TRLFillRectObject(page);
    fill->BoundsRect = TRect(0, 0, 96, 96);
    store.Add(page);
    const QByteArray pdf = Run(store.Store);
    EXPECT_TRUE(pdf.contains("/MediaBox [ 0 0 72 144 ]\r\n/Contents")) << pdf.constData();
    EXPECT_TRUE(pdf.contains("/Count 1\r\n/MediaBox [ 0 0 72 144 ]"));
    EXPECT_TRUE(ContentStream(pdf, 1).contains("0 72 72 72 re"));
}

// --- numbering -----------------------------------------------------------------------------------

TEST_F(TPDFFilterFixture, ObjectsAreNumberedInWritingOrderOfTheirPages)
{
    QImage image(1, 1, QImage::Format_RGB32);
    image.fill(Qt::green);
    const TGraphic bitmap(image, gkBitmap);
    TStore store;
    for (int i = 0; i < 2; ++i) {
        TRLGraphicSurface* page = store.NewPage();
        page->Draw(0, 0, &bitmap);
        AddText(page, QStringLiteral("Arial"), 10, TRect(0, 10, 90, 20), QStringLiteral("x"),
            MetaTextAlignmentLeft, i == 0 ? 0 : MetaFontStyleBold);
        store.Add(page);
    }
    const QByteArray pdf = Run(store.Store);
    // 5 length and 6 image, 7 page, 8 contents, 9 length, 10 font; 11-13 the second page, 14 its
    // font; then the descriptors 15 and 16, resources and page tree.
    QList<int> order;
    QRegularExpressionMatchIterator it
        = QRegularExpression(QStringLiteral("\r\n(\\d+) 0 obj")).globalMatch(QString::fromLatin1(pdf));
    while (it.hasNext())
        order << it.next().captured(1).toInt();
    EXPECT_EQ(order, QList<int>({ 1, 2, 6, 5, 7, 8, 9, 11, 12, 13, 10, 15, 14, 16, 4, 3 }));
    // Every cross-reference entry is 20 bytes and points at its object.
    const qsizetype xref = pdf.lastIndexOf("xref\r\n0 17\r\n");
    ASSERT_GT(xref, 0);
    const qsizetype entries = xref + 12;
    for (int n = 1; n <= 16; ++n) {
        const QByteArray entry = pdf.mid(entries + 20 * n, 20);
        ASSERT_TRUE(entry.endsWith(" 00000 n\r\n")) << n;
        EXPECT_TRUE(pdf.mid(entry.left(10).toLongLong()).startsWith(QByteArray::number(n) + " 0 obj")) << n;
    }
    EXPECT_TRUE(pdf.endsWith("startxref\r\n" + QByteArray::number(xref) + "\r\n%%EOF\r\n"));
}

// --- properties ----------------------------------------------------------------------------------

TEST(PDFFilterProperties, DefaultsAndDocumentInfo)
{
    TRLPDFFilter filter;
    EXPECT_EQ(filter.DisplayName(), RLMessage(RLMsgPDFDocument));
    EXPECT_EQ(filter.DefaultExt(), QStringLiteral(".pdf"));
    EXPECT_EQ(filter.ViewerOptions(), TRLPDFFilterViewerOptions(voRegular));
    EXPECT_EQ(filter.PageMode(), pmRegular);
    EXPECT_EQ(filter.FontEncoding(), feWinAnsiEncoding);
    EXPECT_EQ(filter.DocumentInfo()->Creator(), QStringLiteral("Quillborough v0.6"));
    EXPECT_TRUE(filter.DocumentInfo()->Title().isEmpty());
    EXPECT_EQ(SaveFilterForFile(QStringLiteral("/tmp/x.PDF")), &filter);

    TRLPDFFilterDocumentInfo info;
    info.SetTitle(QStringLiteral("T"));
    info.SetSubject(QStringLiteral("S"));
    info.SetAuthor(QStringLiteral("A"));
    info.SetKeyWords(QStringLiteral("K"));
    info.SetProducer(QStringLiteral("P"));
    filter.SetDocumentInfo(&info);
    EXPECT_NE(filter.DocumentInfo(), &info); // copied, not shared
    EXPECT_EQ(filter.DocumentInfo()->Title(), QStringLiteral("T"));
    EXPECT_EQ(filter.DocumentInfo()->KeyWords(), QStringLiteral("K"));
    EXPECT_TRUE(filter.DocumentInfo()->Creator().isEmpty());
    filter.SetDocumentInfo(nullptr);
    EXPECT_TRUE(filter.DocumentInfo()->Title().isEmpty());
    EXPECT_TRUE(filter.DocumentInfo()->Producer().isEmpty());

    // A definition does not freeze the translated display name.
    const QMetaObject* meta = filter.metaObject();
    const QMetaProperty displayName = meta->property(meta->indexOfProperty("DisplayName"));
    EXPECT_FALSE(filter.IsPropertyStored(displayName));
    filter.SetDisplayName(QStringLiteral("PDF"));
    EXPECT_TRUE(filter.IsPropertyStored(displayName));

    // Embedding and compression are asked for; a definition that does not ask stays as it was.
    EXPECT_FALSE(filter.EmbedFonts());
    EXPECT_FALSE(filter.Compress());
    for (const char* name : { "EmbedFonts", "Compress" }) {
        const QMetaProperty property = meta->property(meta->indexOfProperty(name));
        ASSERT_TRUE(property.isValid()) << name;
        EXPECT_FALSE(filter.IsPropertyStored(property)) << name;
        ASSERT_TRUE(property.write(&filter, true));
        EXPECT_TRUE(filter.IsPropertyStored(property)) << name;
    }
    EXPECT_TRUE(filter.EmbedFonts());
    EXPECT_TRUE(filter.Compress());
}

// A document made with the new options names its producer and says where its creation time was
// taken; the plain one keeps its bytes (see OnePageWithOneTextIsExactlyThisFile).
TEST_F(TPDFFilterFixture, CreationDateCarriesItsTimeZoneWithTheOptions)
{
    struct TCase
    {
        int OffsetSeconds;
        bool EmbedFonts, Compress;
        QString Producer;
        const char* Expected;
    } cases[] = {
        { -3 * 3600, true, false, {}, "/CreationDate(D:20240131235958-03'00')\r\n" },
        { 5 * 3600 + 30 * 60, false, true, {}, "/CreationDate(D:20240131235958+05'30')\r\n" },
        { 0, true, true, {}, "/CreationDate(D:20240131235958+00'00')\r\n" },
        { -(9 * 3600 + 30 * 60), false, true, QStringLiteral("Loja (matriz)"),
            "/CreationDate(D:20240131235958-09'30')\r\n" },
    };
    for (const TCase& c : cases) {
        TStore store;
        TRLGraphicSurface* page = store.NewPage();
        AddText(page, QStringLiteral("Arial"), 8, TRect(0, 0, 90, 10), QStringLiteral("Ação"));
        store.Add(page);
        TRLPDFFilter filter;
        filter.SetEmbedFonts(c.EmbedFonts);
        filter.SetCompress(c.Compress);
        filter.DocumentInfo()->SetProducer(c.Producer);
        filter.SetShowProgress(false);
        filter.SetFileName(FileName);
        filter.SetCreationDate(
            QDateTime(FixedDate.date(), FixedDate.time(), Qt::OffsetFromUTC, c.OffsetSeconds));
        filter.ProcessPages(store.Store, 1, -1, false);
        QFile file(FileName);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray pdf = file.readAll();
        const QByteArray producer
            = c.Producer.isEmpty() ? QByteArray(PDFWriterProducer) : "Loja \\(matriz\\)";
        EXPECT_TRUE(pdf.contains(QByteArray("1 0 obj <<\r\n") + c.Expected
            + "/Creator(Quillborough v0.6)\r\n/Producer(" + producer + ")\r\n>> endobj\r\n"))
            << pdf.left(200).constData();
    }
    // pdfinfo reads the offset: the same instant, whatever zone the reader is in.
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        GTEST_SKIP() << "pdfinfo is not installed";
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), { QStringLiteral("-isodates"), FileName });
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString info = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(
        info.contains(QRegularExpression(QStringLiteral("CreationDate:\\s+2024-01-31T23:59:58-09:30"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Producer:\\s+Loja \\(matriz\\)"))))
        << info.toStdString();
}

TEST_F(TPDFFilterFixture, ViewerSettingsAreResetWhenADocumentBegins)
{
    TStore store;
    TRLPDFFilter filter;
    filter.SetPageMode(pmFullScreen);
    filter.SetFullPageMode(pmThumbs);
    filter.SetPageLayout(plTwoColumnLeft);
    filter.SetViewerOptions(voHideToolBar);
    filter.SetForceASCII(true);
    filter.SetFontEncoding(feMacRomanEncoding);
    const QByteArray pdf = Run(filter, store.Store);
    EXPECT_EQ(filter.PageMode(), pmRegular);
    EXPECT_EQ(filter.FullPageMode(), pmRegular);
    EXPECT_EQ(filter.PageLayout(), plRegular);
    EXPECT_EQ(filter.ViewerOptions(), TRLPDFFilterViewerOptions(voRegular));
    EXPECT_FALSE(filter.ForceASCII());
    EXPECT_EQ(filter.FontEncoding(), feWinAnsiEncoding);
    EXPECT_TRUE(pdf.contains("2 0 obj <<\r\n/Type/Catalog\r\n/Pages 3 0 R\r\n>> endobj\r\n"));
}

TEST_F(TPDFFilterFixture, DocumentInfoTextsAreEscapedInOrder)
{
    TStore store;
    TRLPDFFilter filter;
    filter.DocumentInfo()->SetTitle(QStringLiteral("Inventário (Custo)"));
    filter.DocumentInfo()->SetSubject(QStringLiteral("s"));
    filter.DocumentInfo()->SetAuthor(QStringLiteral("a\\b"));
    filter.DocumentInfo()->SetKeyWords(QStringLiteral("k\nl"));
    filter.DocumentInfo()->SetProducer(QStringLiteral("p"));
    const QByteArray pdf = Run(filter, store.Store);
    EXPECT_TRUE(
        pdf.contains("1 0 obj <<\r\n/CreationDate(D:20240131235958)\r\n/Title(Invent\xe1rio \\(Custo\\))\r\n"
                     "/Subject(s)\r\n/Author(a\\\\b)\r\n/Keywords(k\\012l)\r\n"
                     "/Creator(Quillborough v0.6)\r\n/Producer(p)\r\n>> endobj\r\n"))
        << pdf.constData();
}

// --- the target file -----------------------------------------------------------------------------

// Fails (or cancels) on a chosen page, to stop a run half-way.
class TStoppingPDFFilter : public TRLPDFFilter
{
public:
    int StopAtPage = 0;
    bool CancelInstead = false;

protected:
    void DrawPage(TRLGraphicSurface* Surface) override
    {
        TRLPDFFilter::DrawPage(Surface);
        if (++FDrawn != StopAtPage)
            return;
        if (CancelInstead)
            Cancel();
        else
            throw Exception(QStringLiteral("página ruim"));
    }

private:
    int FDrawn = 0;
};

void FillStore(TStore& Store, int Pages)
{
    for (int i = 0; i < Pages; ++i) {
        TRLGraphicSurface* page = Store.NewPage();
        AddText(page, QStringLiteral("Helvetica"), 8, TRect(0, 0, 90, 10), QStringLiteral("p%1").arg(i + 1));
        Store.Add(page);
    }
}

TEST_F(TPDFFilterFixture, AFailedOrCancelledRunLeavesTheOldFileUntouched)
{
    for (const bool cancel : { false, true }) {
        {
            QFile old(FileName);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
            old.write("the good old file");
        }
        TStore store;
        FillStore(store, 3);
        TStoppingPDFFilter filter;
        filter.StopAtPage = 2;
        filter.CancelInstead = cancel;
        filter.SetShowProgress(false);
        filter.SetFileName(FileName);
        if (cancel)
            EXPECT_NO_THROW(filter.ProcessPages(store.Store, 1, -1, false));
        else
            EXPECT_THROW(filter.ProcessPages(store.Store, 1, -1, false), Exception);
        QFile file(FileName);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("the good old file")) << cancel;
        // No half-written document is left beside it.
        EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList({ QStringLiteral("relatorio.pdf") }));
    }
}

TEST_F(TPDFFilterFixture, ACompleteRunReplacesTheOldFile)
{
    {
        QFile old(FileName);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    TStore store;
    FillStore(store, 2);
    const QByteArray pdf = Run(store.Store);
    EXPECT_TRUE(pdf.startsWith("%PDF-1.2\r\n"));
    EXPECT_TRUE(pdf.endsWith("%%EOF\r\n"));
    EXPECT_FALSE(pdf.contains("xxxx"));
    // The same filter writes the next document from a clean state.
    TRLPDFFilter filter;
    const QByteArray first = Run(filter, store.Store);
    const QByteArray second = Run(filter, store.Store);
    EXPECT_EQ(first, second);
}

TEST_F(TPDFFilterFixture, AFileThatCannotBeCreatedIsReportedByName)
{
    TStore store;
    FillStore(store, 1);
    TRLPDFFilter filter;
    filter.SetShowProgress(false);
    const QString name = Dir.filePath(QStringLiteral("no/such/folder/x.pdf"));
    filter.SetFileName(name);
    try {
        filter.ProcessPages(store.Store, 1, -1, false);
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("Não foi possível criar o arquivo \"") + name))
            << error.what();
    }
    EXPECT_FALSE(QFile::exists(name));

    filter.SetFileName(QString());
    EXPECT_THROW(filter.ProcessPages(store.Store, 1, -1, false), Exception);
}

// --- independent readers -------------------------------------------------------------------------

// Runs a tool and returns its standard output; skips the test when the tool is not installed.
#define RUN_TOOL(Output, Program, ...)                                                                       \
    QByteArray Output;                                                                                       \
    {                                                                                                        \
        if (QStandardPaths::findExecutable(QStringLiteral(Program)).isEmpty())                               \
            GTEST_SKIP() << Program " is not installed";                                                     \
        QProcess process;                                                                                    \
        process.start(QStringLiteral(Program), QStringList(__VA_ARGS__));                                    \
        ASSERT_TRUE(process.waitForFinished(60000)) << Program;                                              \
        Output = process.readAllStandardOutput();                                                            \
        ASSERT_EQ(process.exitCode(), 0)                                                                     \
            << Program << ": " << process.readAllStandardError().constData() << Output.constData();          \
    }

struct TReportFixture : TPDFFilterFixture
{
    // Two A4 pages as a report prints them: texts in Arial and Times, a rule, a filled band, a
    // picture and a clip.
    QByteArray Write(bool EmbedFonts = false, bool Compress = false)
    {
        TStore store(210, 297);
        for (int p = 0; p < 2; ++p) {
            TRLGraphicSurface* page = store.NewPage();
            page->CurrentBrush().SetColor(clRed);
            page->FillRect(TRect(100, 200, 300, 260));
            AddText(page, QStringLiteral("Arial"), 14, TRect(40, 40, 700, 70),
                QStringLiteral("Inventário por Preço de Custo"), MetaTextAlignmentLeft, MetaFontStyleBold);
            AddText(page, QStringLiteral("Times New Roman"), 10, TRect(40, 300, 400, 320),
                QStringLiteral("Ação nº %1 (página)").arg(p + 1), MetaTextAlignmentLeft, 0,
                TextFlagKeepWhole);
            AddText(page, QStringLiteral("Courier New"), 10, TRect(400, 300, 750, 320),
                QStringLiteral("1.234,56"), MetaTextAlignmentRight);
            auto* line = new TRLLineObject(page);
            line->FromPoint = TPoint(40, 330);
            line->ToPoint = TPoint(750, 330);
            line->Pen.Width = 1;
            auto* ellipse = new TRLEllipseObject(page);
            ellipse->BoundsRect = TRect(500, 500, 600, 560);
            ellipse->Pen.Width = 2;
            ellipse->Brush.Color = { 0, 200, 0 };
            QImage image(8, 8, QImage::Format_RGB32);
            image.fill(Qt::blue);
            const TGraphic bitmap(image, gkBitmap);
            page->SetClipRect(TRect(600, 600, 700, 700));
            page->StretchDraw(TRect(600, 600, 680, 680), &bitmap);
            page->ResetClipRect();
            store.Add(page);
        }
        TRLPDFFilter filter;
        filter.DocumentInfo()->SetTitle(QStringLiteral("Inventário (teste)"));
        filter.SetEmbedFonts(EmbedFonts);
        filter.SetCompress(Compress);
        return Run(filter, store.Store);
    }
};

// The options' combinations, named for the messages.
struct TOptions
{
    bool EmbedFonts;
    bool Compress;
    const char* Name;
};
constexpr TOptions AllOptions[] = {
    { false, false, "plain" },
    { true, false, "embedded fonts" },
    { false, true, "compressed" },
    { true, true, "embedded fonts, compressed" },
};

// A FlateDecode stream's bytes as they were before compression.
QByteArray Inflate(const QByteArray& Deflated, qsizetype ExpectedSize)
{
    // qUncompress reads zlib data behind a big-endian length.
    QByteArray framed(4, '\0');
    framed[0] = char(ExpectedSize >> 24);
    framed[1] = char(ExpectedSize >> 16);
    framed[2] = char(ExpectedSize >> 8);
    framed[3] = char(ExpectedSize);
    return qUncompress(framed + Deflated);
}

TEST_F(TReportFixture, QpdfFindsNoFault)
{
    for (const TOptions& options : AllOptions) {
        Write(options.EmbedFonts, options.Compress);
        RUN_TOOL(output, "qpdf", { QStringLiteral("--check"), FileName });
        EXPECT_TRUE(output.contains("No syntax or stream encoding errors found")) << options.Name << "\n"
                                                                                  << output.constData();
    }
}

TEST_F(TReportFixture, PdftotextReadsTheTextsInOrder)
{
    for (const TOptions& options : AllOptions) {
        Write(options.EmbedFonts, options.Compress);
        RUN_TOOL(output, "pdftotext",
            { QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), FileName,
                QStringLiteral("-") });
        const QString text = QString::fromUtf8(output);
        const qsizetype title = text.indexOf(QStringLiteral("Inventário por Preço de Custo"));
        const qsizetype first = text.indexOf(QStringLiteral("Ação nº 1 (página)"));
        const qsizetype second = text.indexOf(QStringLiteral("Ação nº 2 (página)"));
        EXPECT_GE(title, 0) << options.Name << "\n" << output.constData();
        EXPECT_GT(first, title) << options.Name;
        EXPECT_GT(second, first) << options.Name;
        EXPECT_TRUE(text.contains(QStringLiteral("1.234,56"))) << options.Name;
    }
}

TEST_F(TReportFixture, CompressedPagesHoldThePlainPagesOperators)
{
    const QByteArray plain = Write(false, false);
    const QByteArray compressed = Write(false, true);
    EXPECT_LT(compressed.size(), plain.size());
    for (int page = 1; page <= 2; ++page) {
        const QByteArray expected = ContentStream(plain, page);
        ASSERT_FALSE(expected.isEmpty());
        // The page's stream, its length from the length object the dictionary points to.
        const QRegularExpression dictionary(QStringLiteral(
            "(\\d+) 0 obj <<\r\n/Length (\\d+) 0 R\r\n/Filter/FlateDecode\r\n>>\r\nstream\r\n"));
        QRegularExpressionMatchIterator it = dictionary.globalMatch(QString::fromLatin1(compressed));
        QRegularExpressionMatch match;
        for (int i = 0; i < page && it.hasNext(); ++i)
            match = it.next();
        ASSERT_TRUE(match.hasMatch()) << "page " << page;
        const QRegularExpressionMatch length = QRegularExpression(
            QStringLiteral("\n") + match.captured(2) + QStringLiteral(" 0 obj\r\n(\\d+)\r\n"))
                                                   .match(QString::fromLatin1(compressed));
        ASSERT_TRUE(length.hasMatch());
        const QByteArray data = compressed.mid(match.capturedEnd(), length.captured(1).toLongLong());
        EXPECT_TRUE(compressed.mid(match.capturedEnd() + data.size(), 11) == "\r\nendstream")
            << "the length does not end where the data ends";
        EXPECT_EQ(Inflate(data, expected.size()), expected) << "page " << page;
    }
    // Fonts without embedding are the same names as before.
    EXPECT_TRUE(compressed.contains("/BaseFont/Arial,Bold\r\n"));
}

TEST_F(TReportFixture, EmbeddedFontsAreSubsetsWithTheirCharacters)
{
    for (const bool compress : { false, true }) {
        const QByteArray pdf = Write(true, compress);
        RUN_TOOL(output, "pdffonts", { FileName });
        // name, type, encoding, emb, sub, uni, object, generation.
        const QStringList lines = QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts).mid(2);
        ASSERT_EQ(lines.size(), 3) << output.constData();
        for (const QString& line : lines) {
            const QStringList words = line.simplified().split(u' ');
            ASSERT_GE(words.size(), 8) << line.toStdString();
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+")).match(words[0]).hasMatch())
                << line.toStdString();
            EXPECT_EQ(words[1], QStringLiteral("TrueType")) << line.toStdString();
            const qsizetype n = words.size();
            EXPECT_EQ(words.mid(n - 5, 3), QStringList({ "yes", "yes", "yes" })) << line.toStdString();
        }
        // The subset of the bold title holds its own characters and not the whole face.
        const QRegularExpression program(QStringLiteral("/Length (\\d+)\r\n/Length1 (\\d+)\r\n"));
        QRegularExpressionMatchIterator it = program.globalMatch(QString::fromLatin1(pdf));
        int programs = 0;
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            ++programs;
            EXPECT_LT(m.captured(2).toInt(), 60000) << "not a subset";
            if (compress)
                EXPECT_LT(m.captured(1).toInt(), m.captured(2).toInt());
            else
                EXPECT_EQ(m.captured(1), m.captured(2));
        }
        EXPECT_EQ(programs, 3);
    }
}

// Renders page 1 of FileName with the PostScript interpreter at Resolution, or a null image.
QImage RenderWithGhostscript(const QString& FileName, const QString& Png, int Resolution)
{
    QProcess process;
    process.start(QStringLiteral("gs"),
        { QStringLiteral("-q"), QStringLiteral("-dSAFER"), QStringLiteral("-dBATCH"),
            QStringLiteral("-dNOPAUSE"), QStringLiteral("-sDEVICE=pnggray"),
            QStringLiteral("-r%1").arg(Resolution), QStringLiteral("-dFirstPage=1"),
            QStringLiteral("-dLastPage=1"), QStringLiteral("-sOutputFile=") + Png, FileName });
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QImage(Png);
}

// The ink (darkness summed) inside a rectangle of report pixels on an image rendered at Resolution.
double Ink(const QImage& Image, const TRect& Rect, int Resolution)
{
    const double scale = Resolution / 96.0;
    double ink = 0;
    for (int y = int(Rect.Top * scale); y < int(Rect.Bottom * scale) && y < Image.height(); ++y)
        for (int x = int(Rect.Left * scale); x < int(Rect.Right * scale) && x < Image.width(); ++x)
            ink += 255 - qGray(Image.pixel(x, y));
    return ink;
}

// The interpreter has no bold face for a bold TrueType font it is only told the name of (the
// report's "Verdana,Bold"), and draws it regular; with the subset embedded the bold text is bold.
TEST_F(TReportFixture, ThePostScriptInterpreterDrawsEmbeddedBoldAsBold)
{
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
        GTEST_SKIP() << "gs (ghostscript) is not installed; run scripts/install-deps.sh";
    const QString text = QStringLiteral("MUÇARELA JARDIM LARANJA");
    const TRect regularCell(20, 20, 420, 45);
    const TRect boldCell(20, 60, 420, 85);
    auto render = [&](bool EmbedFonts) {
        TStore store(210, 297);
        TRLGraphicSurface* page = store.NewPage();
        AddText(page, QStringLiteral("Verdana"), 14, regularCell, text, MetaTextAlignmentLeft, 0,
            TextFlagKeepWhole);
        AddText(page, QStringLiteral("Verdana"), 14, boldCell, text, MetaTextAlignmentLeft, MetaFontStyleBold,
            TextFlagKeepWhole);
        store.Add(page);
        TRLPDFFilter filter;
        filter.SetEmbedFonts(EmbedFonts);
        Run(filter, store.Store);
        const QImage image = RenderWithGhostscript(FileName, Dir.filePath(QStringLiteral("gs.png")), 150);
        EXPECT_FALSE(image.isNull()) << "gs failed";
        return Ink(image, boldCell, 150) / qMax(1.0, Ink(image, regularCell, 150));
    };
    const double embedded = render(true);
    // The report's face: the bold one lays far more ink than the regular one on the same text.
    EXPECT_GT(embedded, 1.2) << "bold drawn as regular";
    const double named = render(false);
    EXPECT_GT(embedded, named + 0.1) << "embedding made no difference: " << named;
}

TEST_F(TReportFixture, PdfinfoSeesThePagesAndTheirSize)
{
    Write(true, true);
    RUN_TOOL(output, "pdfinfo", { FileName });
    const QString info = QString::fromUtf8(output);
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\n")))) << output.constData();
    // A4 is 794 x 1123 report pixels.
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595.5 x 842.25 pts"))))
        << output.constData();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Title:\\s+Inventário \\(teste\\)\n"))))
        << output.constData();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Creator:\\s+Quillborough v0.6\n"))));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("PDF version:\\s+1.2\n"))))
        << output.constData();
}

TEST_F(TReportFixture, PdftoppmDrawsTheFilledBandWhereItWasRecorded)
{
    Write();
    const QString prefix = Dir.filePath(QStringLiteral("page"));
    // At 96 pixels per inch the rendered pixels are the report's pixels.
    RUN_TOOL(output, "pdftoppm",
        { QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"), QStringLiteral("1"),
            QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-png"), FileName, prefix });
    const QStringList pngs = QDir(Dir.path()).entryList({ QStringLiteral("page*.png") });
    ASSERT_EQ(pngs.size(), 1);
    const QImage image(Dir.filePath(pngs.first()));
    ASSERT_FALSE(image.isNull());
    EXPECT_NEAR(image.width(), 794, 1);
    EXPECT_NEAR(image.height(), 1123, 1);
    auto isRed = [&](int x, int y) { return image.pixel(x, y) == qRgb(255, 0, 0); };
    auto isWhite = [&](int x, int y) { return image.pixel(x, y) == qRgb(255, 255, 255); };
    EXPECT_TRUE(isRed(101, 201));
    EXPECT_TRUE(isRed(200, 230));
    EXPECT_TRUE(isRed(298, 258));
    EXPECT_TRUE(isWhite(97, 230));
    EXPECT_TRUE(isWhite(302, 230));
    EXPECT_TRUE(isWhite(200, 197));
    EXPECT_TRUE(isWhite(200, 263));
    // The picture lands in its rectangle too.
    EXPECT_EQ(image.pixel(640, 640), qRgb(0, 0, 255));
    EXPECT_TRUE(isWhite(640, 690));
}

} // namespace
