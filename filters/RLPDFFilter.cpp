#include "filters/RLPDFFilter.h"

#include "engine/RLConsts.h"
#include "engine/RLUtils.h"
#include "filters/RLPDFFontFile.h"
#include "filters/RLPDFWriter.h"
#include "pagestore/RLMetaDraw.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Cp1252.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/TextMeasure.h"

#include <QCryptographicHash>
#include <QImage>
#include <QMetaProperty>
#include <QPainter>

#include <cmath>
#include <numbers>
#include <vector>

// --- document information ------------------------------------------------------------------------

void TRLPDFFilterDocumentInfo::Assign(const TPersistent* Source)
{
    const auto* info = qobject_cast<const TRLPDFFilterDocumentInfo*>(Source);
    if (!Source) {
        Clear();
        return;
    }
    if (!info || info == this) {
        TPersistent::Assign(Source);
        return;
    }
    FTitle = info->FTitle;
    FSubject = info->FSubject;
    FAuthor = info->FAuthor;
    FKeyWords = info->FKeyWords;
    FCreator = info->FCreator;
    FProducer = info->FProducer;
}

void TRLPDFFilterDocumentInfo::Clear()
{
    FTitle.clear();
    FSubject.clear();
    FAuthor.clear();
    FKeyWords.clear();
    FCreator.clear();
    FProducer.clear();
}

TRLPDFFilterDocumentInfo& DefaultPDFDocumentInfo()
{
    static TRLPDFFilterDocumentInfo* info = [] {
        auto* made = new TRLPDFFilterDocumentInfo;
        made->SetCreator(QStringLiteral("Quillborough v0.6"));
        return made;
    }();
    return *info;
}

// --- the document being written ------------------------------------------------------------------

namespace {

constexpr int InfoObject = 1;
constexpr int CatalogObject = 2;

// The fourteen fonts every reader has, in their canonical spelling.
constexpr std::string_view StandardFontNames[] = {
    "Courier",
    "Courier-Bold",
    "Courier-Oblique",
    "Courier-BoldOblique",
    "Helvetica",
    "Helvetica-Bold",
    "Helvetica-Oblique",
    "Helvetica-BoldOblique",
    "Symbol",
    "Times-Roman",
    "Times-Bold",
    "Times-Italic",
    "Times-BoldItalic",
    "ZapfDingbats",
};

// The canonical name when Name (spaces removed) is a standard font name, ignoring case; else empty.
std::string_view StandardFontName(const QString& Name)
{
    for (std::string_view standard : StandardFontNames)
        if (Name.compare(QLatin1String(standard.data(), qsizetype(standard.size())), Qt::CaseInsensitive)
            == 0)
            return standard;
    return {};
}

// How far the standard fonts reach below their base line, in thousandths of the em: the descender
// of their published metrics (the bounding box's bottom for the two symbol fonts, which have none).
int StandardFontDescent(std::string_view Name)
{
    if (Name.starts_with("Courier"))
        return -157;
    if (Name.starts_with("Helvetica"))
        return -207;
    if (Name.starts_with("Times"))
        return -217;
    if (Name == "Symbol")
        return -293;
    return -143; // ZapfDingbats
}

struct TPDFFont
{
    QString FaceName;
    int Style;
    int Object;
    // Below the base line, in thousandths of the em (negative): what the document declares for a
    // TrueType font, the published descender for a standard one.
    int Descent;
    // A TrueType font's metrics, read when the font is first placed and written with it at the end.
    std::shared_ptr<TRLFontMetrics> Metrics;
    // The codes shown in this font, kept when fonts are embedded.
    TRLPDFCodeSet Codes {};
};

// A written picture: its number in the "/Image" names and what identifies its data. The 16-bit
// checksum alone would take two different pictures for one about once in 65536 pairs, and print the
// wrong one; the size and a strong digest make the match certain.
struct TRLImageFile
{
    int ImageNumber;
    quint16 Checksum;
    qsizetype Size;
    QByteArray Digest;
};

void PieceDateDigits(TRLPDFOutput& Output, int Value, int Digits)
{
    char buffer[8];
    for (int i = Digits - 1; i >= 0; --i) {
        buffer[i] = char('0' + Value % 10);
        Value /= 10;
    }
    Output.Piece(buffer, std::size_t(Digits));
}

} // namespace

class TRLPDFDocumentWriter
{
public:
    TRLPDFDocumentWriter(const QString& FileName, int Width, int Height, bool EmbedFonts, bool Compress)
        : File(FileName)
        , Out(&File)
        , DocumentWidth(Width)
        , DocumentHeight(Height)
        , EmbedFonts(EmbedFonts)
        , Compress(Compress)
    {
        Out.SetFileName(FileName);
        // Without the fallback a folder we may not create files in fails here, instead of the old
        // file being overwritten in place.
        File.setDirectWriteFallback(false);
        if (FileName.isEmpty() || !File.open(QIODevice::WriteOnly))
            throw Exception(PDFCreateErrorMessage(FileName, File.errorString()));
    }

    void Begin(const QDateTime& Created, const TRLPDFFilterDocumentInfo& Info,
        TRLPDFFilterViewerOptions ViewerOptions, TRLPDFFilterPageMode PageMode,
        TRLPDFFilterPageMode FullPageMode, TRLPDFFilterPageLayout PageLayout);
    void DrawPage(TRLGraphicSurface* Surface);
    void End(TRLPDFFilterFontEncoding Encoding, bool ForceASCII);
    void Commit();

private:
    void WriteInfoText(std::string_view Key, const QString& Text);
    void WriteImages(TRLGraphicSurface* Surface);
    int ImageNumberFor(const QByteArray& Data);
    void WriteImageObject(const QImage& Image);
    void WriteObject(const TRLGraphicObject* Object);
    void WriteLineSetup(const TRLMetaPen& Pen);
    void WriteText(const TRLTextObject* Text);
    void WritePoints(const TRLPointArray& Points);
    // "r g b rg", the fill colour.
    void WriteFillColor(const TRLMetaColor& Color);
    // The fill colour, then the rectangle filled.
    void WriteFilledRect(const TRLMetaColor& Color, const TRect& Rect);
    int FontNumber(const QString& FaceName, int Style);
    void WriteFont(int Index, TRLPDFFilterFontEncoding Encoding, bool ForceASCII);
    // A stream object of Data with its length given directly (and its uncompressed length as
    // Length1 when that is not negative), compressed when the document is.
    void WriteDataStream(int Object, const QByteArray& Data, qint64 Length1);

    TRLSaveFile File;
    TRLPDFOutput Out;
    int DocumentWidth;
    int DocumentHeight;
    const bool EmbedFonts;
    const bool Compress;
    int PageTree = 0;
    int Resources = 0;
    int Outlines = 0;
    std::vector<TPDFFont> Fonts;
    std::vector<int> Images;
    std::vector<TRLImageFile> ImageCache;
    std::vector<int> PageObjects;
    // Clip states opened on the page being written and not yet closed.
    int OpenClips = 0;
};

void TRLPDFDocumentWriter::Begin(const QDateTime& Created, const TRLPDFFilterDocumentInfo& Info,
    TRLPDFFilterViewerOptions ViewerOptions, TRLPDFFilterPageMode PageMode, TRLPDFFilterPageMode FullPageMode,
    TRLPDFFilterPageLayout PageLayout)
{
    Out.Line("%PDF-1.2");

    const int info = Out.ReserveObject();
    Q_ASSERT(info == InfoObject);
    Out.BeginDictionary(info);
    const QDate date = Created.date();
    const QTime time = Created.time();
    Out.Piece("/CreationDate(D:");
    PieceDateDigits(Out, qBound(0, date.year(), 9999), 4);
    PieceDateDigits(Out, date.month(), 2);
    PieceDateDigits(Out, date.day(), 2);
    PieceDateDigits(Out, time.hour(), 2);
    PieceDateDigits(Out, time.minute(), 2);
    PieceDateDigits(Out, time.second(), 2);
    // The plain document keeps the date it always had; the others say where in the world it was
    // made, so that a viewer shows the maker's local time and not that time taken as UTC.
    const bool namesItself = EmbedFonts || Compress;
    if (namesItself) {
        const int offset = Created.offsetFromUtc() / 60;
        Out.Piece(offset < 0 ? "-" : "+");
        PieceDateDigits(Out, qMin(qAbs(offset) / 60, 99), 2);
        Out.Piece("'");
        PieceDateDigits(Out, qAbs(offset) % 60, 2);
        Out.Piece("'");
    }
    Out.Line(")");
    WriteInfoText("/Title(", Info.Title());
    WriteInfoText("/Subject(", Info.Subject());
    WriteInfoText("/Author(", Info.Author());
    WriteInfoText("/Keywords(", Info.KeyWords());
    WriteInfoText("/Creator(", Info.Creator());
    WriteInfoText("/Producer(",
        Info.Producer().isEmpty() && namesItself ? QString::fromLatin1(PDFWriterProducer) : Info.Producer());
    Out.EndDictionary();

    const int catalog = Out.ReserveObject();
    Q_ASSERT(catalog == CatalogObject);
    WritePDFCatalog(Out, catalog, ViewerOptions, PageMode, FullPageMode, PageLayout, PageTree, Outlines);
    Resources = Out.ReserveObject();
}

void TRLPDFDocumentWriter::WriteInfoText(std::string_view Key, const QString& Text)
{
    if (Text.isEmpty())
        return;
    // Escaped like any text string: a ")" in a title would otherwise end the string early and
    // break the whole file.
    Out.Piece(Key);
    Out.PieceEscaped(StringToCp1252(Text));
    Out.Line(")");
}

void TRLPDFDocumentWriter::DrawPage(TRLGraphicSurface* Surface)
{
    // A page store without a paper size still gets upright pages: the page's own size stands in.
    const int pageWidth = Surface->Width() > 0 ? Surface->Width() : DocumentWidth;
    const int pageHeight = Surface->Height() > 0 ? Surface->Height() : DocumentHeight;
    Out.SetPageHeight(DocumentHeight > 0 ? DocumentHeight : pageHeight);
    if (DocumentWidth <= 0 && pageWidth > 0)
        DocumentWidth = pageWidth;
    if (DocumentHeight <= 0 && pageHeight > 0)
        DocumentHeight = pageHeight;

    WriteImages(Surface);

    const int page = Out.ReserveObject();
    Out.BeginDictionary(page);
    PageObjects.push_back(page);
    Out.Line("/Type/Page");
    Out.Piece("/Parent ");
    Out.PieceRef(PageTree);
    Out.LineEnd();
    Out.Piece("/Resources ");
    Out.PieceRef(Resources);
    Out.LineEnd();
    Out.Piece("/MediaBox [ 0 0 ");
    Out.PieceLength(qMax(pageWidth, 0));
    Out.Piece(" ");
    Out.PieceLength(qMax(pageHeight, 0));
    Out.Line(" ]");
    const int contents = Out.ReserveObject();
    Out.Piece("/Contents ");
    Out.PieceRef(contents);
    Out.LineEnd();
    Out.EndDictionary();

    const int length = Out.ReserveObject();
    Out.BeginDictionary(contents);
    Out.Piece("/Length ");
    Out.PieceRef(length);
    Out.LineEnd();
    if (Compress)
        Out.Line("/Filter/FlateDecode");
    Out.BeginStream(Compress);
    OpenClips = 0;
    for (int i = 0; i < Surface->ObjectCount(); ++i)
        WriteObject(Surface->Objects(i));
    // A clip left open by a damaged page would leak into nothing here, but readers complain about an
    // unbalanced graphics state.
    for (; OpenClips > 0; --OpenClips)
        Out.Line("Q");
    const qint64 streamLength = Out.EndStream();
    Out.BeginPlain(length);
    Out.PieceInt(streamLength);
    Out.LineEnd();
    Out.EndPlain();
}

// --- images --------------------------------------------------------------------------------------

void TRLPDFDocumentWriter::WriteImages(TRLGraphicSurface* Surface)
{
    for (int i = 0; i < Surface->ObjectCount(); ++i) {
        TRLGraphicObject* object = Surface->Objects(i);
        if (object->Kind() == okImage)
            object->Tag = ImageNumberFor(static_cast<TRLImageObject*>(object)->Data);
    }
}

// The picture's number, writing it first when this document has not got it yet; 0 for data that
// holds no picture, which the page then leaves out.
int TRLPDFDocumentWriter::ImageNumberFor(const QByteArray& Data)
{
    const quint16 checksum = Crc16(Data);
    QByteArray digest;
    for (const TRLImageFile& file : ImageCache) {
        if (file.Checksum != checksum || file.Size != Data.size())
            continue;
        if (digest.isEmpty())
            digest = QCryptographicHash::hash(Data, QCryptographicHash::Sha1);
        if (file.Digest == digest)
            return file.ImageNumber;
    }
    const std::unique_ptr<TGraphic> graphic = DecodeImageData(Data);
    if (!graphic || graphic->Empty())
        return 0;
    QImage image;
    if (graphic->IsBitmap()) {
        image = graphic->Image().convertToFormat(QImage::Format_RGB32);
    } else {
        // Icons and other pictures are painted onto paper white, as the page shows them.
        image = QImage(graphic->Width(), graphic->Height(), QImage::Format_RGB32);
        if (image.isNull())
            return 0;
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.drawImage(0, 0, graphic->Image());
    }
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return 0;
    WriteImageObject(image);
    if (digest.isEmpty())
        digest = QCryptographicHash::hash(Data, QCryptographicHash::Sha1);
    const int number = int(Images.size());
    ImageCache.push_back({ number, checksum, Data.size(), digest });
    return number;
}

void TRLPDFDocumentWriter::WriteImageObject(const QImage& Image)
{
    const int length = Out.ReserveObject();
    const int object = Out.ReserveObject();
    Out.BeginDictionary(object);
    Images.push_back(object);
    Out.Line("/Type/XObject");
    Out.Line("/Subtype/Image");
    Out.Piece("/Width ");
    Out.PieceInt(Image.width());
    Out.LineEnd();
    Out.Piece("/Height ");
    Out.PieceInt(Image.height());
    Out.LineEnd();
    Out.Line("/ColorSpace/DeviceRGB");
    Out.Line("/BitsPerComponent 8");
    Out.Piece("/Length ");
    Out.PieceRef(length);
    Out.LineEnd();
    Out.Line("/Filter [/ASCIIHexDecode]");
    Out.BeginStream();
    static const char hex[] = "0123456789ABCDEF";
    int sinceLineEnd = 0;
    for (int y = 0; y < Image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(Image.constScanLine(y));
        for (int x = 0; x < Image.width(); ++x) {
            const QRgb pixel = row[x];
            const int channels[3] = { qRed(pixel), qGreen(pixel), qBlue(pixel) };
            char digits[6];
            for (int c = 0; c < 3; ++c) {
                digits[2 * c] = hex[channels[c] >> 4];
                digits[2 * c + 1] = hex[channels[c] & 15];
            }
            Out.Piece(digits, 6);
            sinceLineEnd += 6;
            if (sinceLineEnd >= 80) {
                Out.LineEnd();
                sinceLineEnd = 0;
            }
        }
    }
    Out.Line(">");
    const qint64 streamLength = Out.EndStream();
    Out.BeginPlain(length);
    Out.PieceInt(streamLength);
    Out.LineEnd();
    Out.EndPlain();
}

// --- page objects --------------------------------------------------------------------------------

void TRLPDFDocumentWriter::WriteLineSetup(const TRLMetaPen& Pen)
{
    Out.PieceLength(Pen.Style == MetaPenStyleClear ? 0 : Pen.Width);
    Out.Line(" w");
    Out.Line("0 J");
    switch (Pen.Style) {
    case MetaPenStyleSolid:
    case MetaPenStyleInsideFrame:
        Out.Line("[] 0 d");
        break;
    case MetaPenStyleDash:
        Out.Line("[3] 0 d");
        break;
    case MetaPenStyleDot:
        Out.Line("[1] 0 d");
        break;
    case MetaPenStyleDashDot:
        Out.Line("[2 1] 0 d");
        break;
    case MetaPenStyleDashDotDot:
        Out.Line("[3 5] 6 d");
        break;
    default:
        break;
    }
    Out.PieceColor(Pen.Color.Red, Pen.Color.Green, Pen.Color.Blue);
    Out.Line(" RG");
}

void TRLPDFDocumentWriter::WriteFillColor(const TRLMetaColor& Color)
{
    Out.PieceColor(Color.Red, Color.Green, Color.Blue);
    Out.Line(" rg");
}

void TRLPDFDocumentWriter::WriteFilledRect(const TRLMetaColor& Color, const TRect& Rect)
{
    WriteFillColor(Color);
    Out.PieceRect(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
    Out.Line(" re");
    Out.Line("f");
}

void TRLPDFDocumentWriter::WritePoints(const TRLPointArray& Points)
{
    for (qsizetype i = 0; i < Points.size(); ++i) {
        Out.PiecePoint(Points[i].x(), Points[i].y());
        Out.Line(i == 0 ? " m " : " l ");
    }
}

void TRLPDFDocumentWriter::WriteObject(const TRLGraphicObject* Object)
{
    const TRect& r = Object->BoundsRect;
    switch (Object->Kind()) {
    case okPixel: {
        const auto* pixel = static_cast<const TRLPixelObject*>(Object);
        Out.Line("0 w");
        Out.Line("0 J");
        WriteFilledRect(pixel->Color, r);
        break;
    }
    case okLine: {
        const auto* line = static_cast<const TRLLineObject*>(Object);
        WriteLineSetup(line->Pen);
        Out.PiecePoint(line->FromPoint.x(), line->FromPoint.y());
        Out.Line(" m");
        Out.PiecePoint(line->ToPoint.x(), line->ToPoint.y());
        Out.Line(" l");
        Out.Line("S");
        break;
    }
    case okRectangle: {
        const auto* rectangle = static_cast<const TRLRectangleObject*>(Object);
        WriteLineSetup(rectangle->Pen);
        WriteFilledRect(rectangle->Brush.Color, r);
        break;
    }
    case okText:
        WriteText(static_cast<const TRLTextObject*>(Object));
        break;
    case okFillRect: {
        const auto* fill = static_cast<const TRLFillRectObject*>(Object);
        Out.Line("0 w");
        WriteFilledRect(fill->Brush.Color, r);
        break;
    }
    case okEllipse: {
        const auto* ellipse = static_cast<const TRLEllipseObject*>(Object);
        WriteLineSetup(ellipse->Pen);
        WriteFillColor(ellipse->Brush.Color);
        const double cx = (double(r.Left) + r.Right) / 2;
        const double cy = (double(r.Top) + r.Bottom) / 2;
        const double rx = (double(r.Right) - r.Left) / 2;
        const double ry = (double(r.Bottom) - r.Top) / 2;
        for (int i = 0; i < 36; ++i) {
            const double angle = i * 2 * std::numbers::pi / 36;
            Out.PiecePoint(cx + std::cos(angle) * rx, cy + std::sin(angle) * ry);
            Out.Piece(i == 0 ? std::string_view(" m ") : std::string_view(" l "));
        }
        Out.Line("b");
        break;
    }
    case okPolygon: {
        const auto* polygon = static_cast<const TRLPolygonObject*>(Object);
        // Painting operators without a path are an error to readers.
        if (polygon->Points.isEmpty())
            break;
        WriteLineSetup(polygon->Pen);
        WriteFillColor(polygon->Brush.Color);
        WritePoints(polygon->Points);
        Out.Line("b");
        break;
    }
    case okPolyline: {
        const auto* polyline = static_cast<const TRLPolylineObject*>(Object);
        if (polyline->Points.isEmpty())
            break;
        WriteLineSetup(polyline->Pen);
        WritePoints(polyline->Points);
        Out.Line("S");
        break;
    }
    case okImage: {
        // No picture, or no area to put it in (a singular matrix stops readers drawing the page).
        if (Object->Tag <= 0 || r.Right == r.Left || r.Bottom == r.Top)
            break;
        Out.Line("q");
        Out.Piece("1 0 0 1 ");
        Out.PiecePoint(r.Left, r.Bottom);
        Out.Line(" cm");
        Out.PieceLength(double(r.Right) - r.Left);
        Out.Piece(" 0 0 ");
        Out.PieceLength(double(r.Bottom) - r.Top);
        Out.Line(" 0 0 cm");
        Out.Piece("/Image");
        Out.PieceInt(Object->Tag);
        Out.Line(" Do");
        Out.Line("Q");
        break;
    }
    case okSetClipRect:
        Out.Line("q");
        Out.PieceRect(r.Left, r.Top, r.Right, r.Bottom);
        Out.Line(" re");
        Out.Line("W n");
        ++OpenClips;
        break;
    case okResetClipRect:
        // A reset without its set (a damaged page) would pop a state the page never pushed.
        if (OpenClips > 0) {
            Out.Line("Q");
            --OpenClips;
        }
        break;
    }
}

void TRLPDFDocumentWriter::WriteText(const TRLTextObject* Text)
{
    const TRect& r = Text->BoundsRect;
    const QString text = Text->DisplayText();
    const QString face = Text->Font.Name();

    Out.Line("q");
    WriteFillColor(Text->Font.Color);
    if (!(Text->TextFlags & TextFlagAutoSize)) {
        Out.PieceRect(r.Left, r.Top, r.Right, r.Bottom);
        Out.Line(" re");
        Out.Line("W n");
    }

    const int font = FontNumber(face, Text->Font.Style & 15);
    const QByteArray bytes = StringToCp1252(text);
    if (EmbedFonts) {
        TRLPDFCodeSet& codes = Fonts[std::size_t(font - 1)].Codes;
        for (const char c : bytes)
            codes.set(static_cast<unsigned char>(c));
    }
    double x = Text->Origin.x();
    if (Text->Alignment == MetaTextAlignmentRight || Text->Alignment == MetaTextAlignmentCenter) {
        // A right-aligned or centred text is placed by the width the viewer will draw it with: the
        // widths this document declares for its TrueType fonts, at the font's size in points. A
        // width measured on whole pixels and without the bold or italic style fell short of the
        // drawn text, which then ran past its right edge, where the clip cut its last characters
        // off ("TOTAL TRIBUTADO" lost its "O").
        const int size = qBound(0, Text->Font.Size, 0x7FFF);
        double width = 0;
        if (const TRLFontMetrics* metrics = Fonts[std::size_t(font - 1)].Metrics.get()) {
            qint64 thousandths = 0;
            for (const char c : bytes) {
                const int code = static_cast<unsigned char>(c);
                if (code >= metrics->FirstChar && code <= metrics->LastChar)
                    thousandths += metrics->Widths[std::size_t(code)];
            }
            width = double(thousandths) * size / 1000.0 * 96.0 / 72.0;
        } else {
            const TFontStyles styles = TFontStyles(Text->Font.Style) & (fsBold | fsItalic);
            width = TextWidth(face, MulDiv(size, 96, 72), styles, text);
        }
        if (Text->Alignment == MetaTextAlignmentRight)
            x = double(r.Right) - width;
        else
            x = (double(r.Left) + r.Right - width) / 2;
    }

    Out.Line("BT");
    Out.Piece("/F");
    Out.PieceInt(font);
    Out.Piece(" ");
    Out.PieceInt(Text->Font.Size);
    Out.Line(" Tf");
    // The base line sits the font's descent above the bottom edge, where the preview's text has it,
    // so that descenders and cedillas stay inside the clip; on the edge itself they were cut off
    // ("JARDIM" read "IARDIM"). The descent is the one this document declares for the font.
    const double descent
        = -double(Fonts[std::size_t(font - 1)].Descent) * qBound(0, Text->Font.Size, 0x7FFF) / 1000.0;
    Out.PieceLength(x);
    Out.Piece(" ");
    Out.PieceNumber(PixelsToPoints(Out.PageHeight() - r.Bottom) + descent);
    Out.Line(" Td");
    Out.Piece("(");
    Out.PieceEscaped(bytes);
    Out.Line(") Tj");
    Out.Line("ET");
    Out.Line("Q");
}

int TRLPDFDocumentWriter::FontNumber(const QString& FaceName, int Style)
{
    for (std::size_t i = 0; i < Fonts.size(); ++i)
        if (Fonts[i].Style == Style && Fonts[i].FaceName == FaceName)
            return int(i) + 1;
    std::shared_ptr<TRLFontMetrics> metrics;
    QString name = FaceName;
    name.remove(QLatin1Char(' '));
    const std::string_view standard = StandardFontName(name);
    int descent = 0;
    if (standard.empty()) {
        metrics = std::make_shared<TRLFontMetrics>();
        GetFontMetrics(FaceName, Style, *metrics);
        descent = qMin(metrics->Descent, 0);
    } else {
        descent = StandardFontDescent(standard);
    }
    Fonts.push_back({ FaceName, Style, Out.ReserveObject(), descent, std::move(metrics), {} });
    return int(Fonts.size());
}

// --- end of the document -------------------------------------------------------------------------

void TRLPDFDocumentWriter::WriteFont(int Index, TRLPDFFilterFontEncoding Encoding, bool ForceASCII)
{
    const TPDFFont& font = Fonts[std::size_t(Index - 1)];
    QString name = font.FaceName;
    name.remove(QLatin1Char(' '));
    const std::string_view standard = StandardFontName(name);

    TRLFontMetrics metrics;
    int descriptor = 0;
    QByteArray baseName;
    QByteArray fontProgram;
    int fontFile = 0;
    int toUnicode = 0;
    if (standard.empty()) {
        if (font.Metrics)
            metrics = *font.Metrics;
        else
            GetFontMetrics(font.FaceName, font.Style, metrics);
        if ((font.Style & fsBold) && (font.Style & fsItalic))
            name += QStringLiteral(",BoldItalic");
        else if (font.Style & fsBold)
            name += QStringLiteral(",Bold");
        else if (font.Style & fsItalic)
            name += QStringLiteral(",Italic");
        if (font.Style & fsUnderline)
            name += QStringLiteral(",Underline");
        if (font.Style & fsStrikeOut)
            name += QStringLiteral(",StrikeOut");
        // Face names come from page records: anything outside a name's characters is escaped.
        baseName = EscapePDFName(StringToCp1252(name));
        descriptor = Out.ReserveObject();
        if (EmbedFonts && font.Codes.any()) {
            // A face without TrueType outlines gives no program and stays a named font.
            fontProgram = SubsetTrueTypeFont(font.FaceName, font.Style, font.Codes);
            if (!fontProgram.isEmpty()) {
                baseName = PDFSubsetTag(font.FaceName, font.Style, font.Codes) + "+" + baseName;
                fontFile = Out.ReserveObject();
                toUnicode = Out.ReserveObject();
            }
        }
    } else {
        baseName = QByteArray(standard.data(), qsizetype(standard.size()));
    }

    Out.BeginDictionary(font.Object);
    Out.Piece("/Type/Font/Subtype");
    if (!standard.empty()) {
        Out.Piece("/Type1/Name/F");
        Out.PieceInt(Index);
        Out.Piece("/BaseFont/");
        Out.PieceBytes(baseName);
        if (ForceASCII)
            Out.Piece("/FirstChar 0/LastChar 255");
    } else {
        const int first = qBound(0, int(metrics.FirstChar), 255);
        const int last = qBound(first, int(metrics.LastChar), 255);
        Out.Piece("/TrueType/Name/F");
        Out.PieceInt(Index);
        Out.Piece("/BaseFont/");
        Out.LineBytes(baseName);
        Out.Piece("/FirstChar ");
        Out.PieceInt(first);
        Out.LineEnd();
        Out.Piece("/LastChar ");
        Out.PieceInt(last);
        Out.LineEnd();
        Out.Line("/Widths [");
        for (int code = first; code <= last; ++code) {
            if (code > first && (code - first) % 18 == 0)
                Out.LineEnd();
            Out.PieceInt(metrics.Widths[std::size_t(code)]);
            Out.Piece(" ");
        }
        Out.LineEnd();
        Out.Line("]");
        Out.Piece("/FontDescriptor ");
        Out.PieceRef(descriptor);
        Out.LineEnd();
        if (toUnicode > 0) {
            Out.Piece("/ToUnicode ");
            Out.PieceRef(toUnicode);
            Out.LineEnd();
        }
    }
    if (Encoding == feMacRomanEncoding)
        Out.Piece("/Encoding/MacRomanEncoding");
    else if (Encoding == feWinAnsiEncoding)
        Out.Piece("/Encoding/WinAnsiEncoding");
    Out.LineEnd();
    Out.EndDictionary();

    if (standard.empty()) {
        auto line = [this](std::string_view Key, qint64 Value) {
            Out.Piece(Key);
            Out.PieceInt(Value);
            Out.LineEnd();
        };
        Out.BeginDictionary(descriptor);
        Out.Line("/Type/FontDescriptor");
        Out.Piece("/FontName/");
        Out.LineBytes(baseName);
        line("/Flags ", metrics.Flags);
        Out.Piece("/FontBBox [ ");
        Out.PieceInt(metrics.FontBox.Left);
        Out.Piece(" ");
        Out.PieceInt(metrics.FontBox.Bottom);
        Out.Piece(" ");
        Out.PieceInt(metrics.FontBox.Right);
        Out.Piece(" ");
        Out.PieceInt(metrics.FontBox.Top);
        Out.Line(" ]");
        Out.Line("/MissingWidth 0");
        Out.Line("/StemV 73");
        Out.Line("/StemH 73");
        line("/ItalicAngle ", metrics.ItalicAngle);
        line("/CapHeight ", metrics.CapHeight);
        line("/XHeight ", metrics.XHeight);
        line("/Ascent ", metrics.Ascent);
        line("/Descent ", metrics.Descent);
        line("/Leading ", metrics.InternalLeading);
        line("/MaxWidth ", metrics.MaxWidth);
        line("/AvgWidth ", metrics.AvgWidth);
        if (fontFile > 0) {
            Out.Piece("/FontFile2 ");
            Out.PieceRef(fontFile);
            Out.LineEnd();
        }
        Out.EndDictionary();
        if (fontFile > 0) {
            WriteDataStream(fontFile, fontProgram, fontProgram.size());
            WriteDataStream(toUnicode, PDFToUnicodeCMap(font.Codes), -1);
        }
    }
}

void TRLPDFDocumentWriter::WriteDataStream(int Object, const QByteArray& Data, qint64 Length1)
{
    const QByteArray bytes = Compress ? DeflatePDFBytes(Data) : Data;
    Out.BeginDictionary(Object);
    Out.Piece("/Length ");
    Out.PieceInt(bytes.size());
    Out.LineEnd();
    if (Length1 >= 0) {
        Out.Piece("/Length1 ");
        Out.PieceInt(Length1);
        Out.LineEnd();
    }
    if (Compress)
        Out.Line("/Filter/FlateDecode");
    Out.BeginStream();
    Out.PieceBytes(bytes);
    Out.EndStream(!bytes.endsWith('\n'));
}

void TRLPDFDocumentWriter::End(TRLPDFFilterFontEncoding Encoding, bool ForceASCII)
{
    for (std::size_t i = 0; i < Fonts.size(); ++i)
        WriteFont(int(i) + 1, Encoding, ForceASCII);

    if (Outlines > 0) {
        // The catalog points at it, so it must exist, even with nothing in it.
        Out.BeginDictionary(Outlines);
        Out.Line("/Type/Outlines");
        Out.Line("/Count 0");
        Out.EndDictionary();
    }

    Out.BeginDictionary(Resources);
    Out.Line("/ProcSet [ /PDF/Text/ImageB ]");
    Out.Line("/Font <<");
    for (std::size_t i = 0; i < Fonts.size(); ++i) {
        Out.Piece("/F");
        Out.PieceInt(qint64(i) + 1);
        Out.Piece(" ");
        Out.PieceRef(Fonts[i].Object);
        Out.LineEnd();
    }
    Out.Line(">>");
    Out.Line("/XObject <<");
    for (std::size_t i = 0; i < Images.size(); ++i) {
        Out.Piece("/Image");
        Out.PieceInt(qint64(i) + 1);
        Out.Piece(" ");
        Out.PieceRef(Images[i]);
        Out.LineEnd();
    }
    Out.Line(">>");
    Out.EndDictionary();

    Out.BeginDictionary(PageTree);
    Out.Line("/Type/Pages");
    Out.Piece("/Count ");
    Out.PieceInt(qint64(PageObjects.size()));
    Out.LineEnd();
    Out.Piece("/MediaBox [ 0 0 ");
    Out.PieceLength(qMax(DocumentWidth, 0));
    Out.Piece(" ");
    Out.PieceLength(qMax(DocumentHeight, 0));
    Out.Line(" ]");
    Out.Piece("/Kids [ ");
    for (int page : PageObjects) {
        Out.PieceRef(page);
        Out.Piece(" ");
    }
    Out.Line("]");
    Out.EndDictionary();

    Out.WriteTrailer(CatalogObject, InfoObject);
}

void TRLPDFDocumentWriter::Commit()
{
    Out.Flush();
    if (!File.commit())
        throw Exception(PDFWriteErrorMessage(File.fileName(), File.errorString()));
}

// --- the filter ----------------------------------------------------------------------------------

TRLPDFFilter::TRLPDFFilter(TComponent* AOwner)
    : TRLCustomSaveFilter(AOwner)
    , FDocumentInfo(new TRLPDFFilterDocumentInfo(this))
{
    SetDisplayName(RLMessage(RLMsgPDFDocument));
    SetDefaultExt(QStringLiteral(".pdf"));
    FDocumentInfo->Assign(&DefaultPDFDocumentInfo());
}

TRLPDFFilter::~TRLPDFFilter() = default;

void TRLPDFFilter::SetDocumentInfo(TRLPDFFilterDocumentInfo* Value)
{
    if (Value == FDocumentInfo)
        return;
    if (Value)
        FDocumentInfo->Assign(Value);
    else
        FDocumentInfo->Clear();
}

bool TRLPDFFilter::IsPropertyStored(const QMetaProperty& property) const
{
    // The display name defaults to the message in the user's language, which a definition must not
    // freeze.
    if (qstrcmp(property.name(), "DisplayName") == 0)
        return DisplayName() != RLMessage(RLMsgPDFDocument);
    return TRLCustomSaveFilter::IsPropertyStored(property);
}

void TRLPDFFilter::BeginDocument()
{
    FDocument.reset();
    TRLGraphicStorage* pages = Pages();
    const int width = pages ? pages->OrientedWidth() : 0;
    const int height = pages ? pages->OrientedHeight() : 0;

    FPageMode = pmRegular;
    FFullPageMode = pmRegular;
    FPageLayout = plRegular;
    FViewerOptions = voRegular;
    FForceASCII = false;
    FFontEncoding = feWinAnsiEncoding;

    auto document = std::make_unique<TRLPDFDocumentWriter>(FileName(), width, height, FEmbedFonts, FCompress);
    const QDateTime created = FCreationDate.isValid() ? FCreationDate : QDateTime::currentDateTime();
    document->Begin(created, *FDocumentInfo, FViewerOptions, FPageMode, FFullPageMode, FPageLayout);
    FDocument = std::move(document);
}

void TRLPDFFilter::DrawPage(TRLGraphicSurface* Surface)
{
    if (!FDocument || !Surface)
        return;
    FDocument->DrawPage(Surface);
}

void TRLPDFFilter::EndDocument()
{
    // Whatever happens, the document ends here; an unfinished one goes with its temporary file and
    // the old file keeps its place.
    std::unique_ptr<TRLPDFDocumentWriter> document = std::move(FDocument);
    if (!document || RunAborted())
        return;
    document->End(FFontEncoding, FForceASCII);
    document->Commit();
}
