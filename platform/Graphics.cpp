#include "platform/Graphics.h"

#include "platform/ByteWriter.h"
#include "platform/Exceptions.h"
#include "platform/TextMeasure.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>
#include <array>
#include <cstdlib>

namespace {

struct TRGB
{
    int R, G, B;
};

// The classic system palette, indexed by the low byte of a system colour. Fixed on purpose: a report
// must not change colour with the desktop theme of the machine that prints it.
constexpr std::array<TRGB, 31> SystemPalette = { {
    { 200, 200, 200 }, // clScrollBar
    { 0, 0, 0 }, // clBackground
    { 153, 180, 209 }, // clActiveCaption
    { 191, 205, 219 }, // clInactiveCaption
    { 240, 240, 240 }, // clMenu
    { 255, 255, 255 }, // clWindow
    { 100, 100, 100 }, // clWindowFrame
    { 0, 0, 0 }, // clMenuText
    { 0, 0, 0 }, // clWindowText
    { 0, 0, 0 }, // clCaptionText
    { 180, 180, 180 }, // clActiveBorder
    { 244, 247, 252 }, // clInactiveBorder
    { 171, 171, 171 }, // clAppWorkSpace
    { 51, 153, 255 }, // clHighlight
    { 255, 255, 255 }, // clHighlightText
    { 240, 240, 240 }, // clBtnFace
    { 160, 160, 160 }, // clBtnShadow
    { 109, 109, 109 }, // clGrayText
    { 0, 0, 0 }, // clBtnText
    { 67, 78, 84 }, // clInactiveCaptionText
    { 255, 255, 255 }, // clBtnHighlight
    { 105, 105, 105 }, // cl3DDkShadow
    { 227, 227, 227 }, // cl3DLight
    { 0, 0, 0 }, // clInfoText
    { 255, 255, 225 }, // clInfoBk
    { 0, 0, 0 }, // index 25 has no colour of its own
    { 0, 102, 204 }, // clHotLight
    { 185, 209, 234 }, // clGradientActiveCaption
    { 215, 228, 242 }, // clGradientInactiveCaption
    { 51, 153, 255 }, // clMenuHighlight
    { 240, 240, 240 }, // clMenuBar
} };

struct TColorName
{
    TColor Value;
    const char* Name;
};

// Names in the order the platform searched them: the first name of a value is the one written.
constexpr TColorName ColorNames[] = {
    { clBlack, "clBlack" },
    { clMaroon, "clMaroon" },
    { clGreen, "clGreen" },
    { clOlive, "clOlive" },
    { clNavy, "clNavy" },
    { clPurple, "clPurple" },
    { clTeal, "clTeal" },
    { clGray, "clGray" },
    { clSilver, "clSilver" },
    { clRed, "clRed" },
    { clLime, "clLime" },
    { clYellow, "clYellow" },
    { clBlue, "clBlue" },
    { clFuchsia, "clFuchsia" },
    { clAqua, "clAqua" },
    { clWhite, "clWhite" },
    { clMoneyGreen, "clMoneyGreen" },
    { clSkyBlue, "clSkyBlue" },
    { clCream, "clCream" },
    { clMedGray, "clMedGray" },
    { clActiveBorder, "clActiveBorder" },
    { clActiveCaption, "clActiveCaption" },
    { clAppWorkSpace, "clAppWorkSpace" },
    { clBackground, "clBackground" },
    { clBtnFace, "clBtnFace" },
    { clBtnHighlight, "clBtnHighlight" },
    { clBtnShadow, "clBtnShadow" },
    { clBtnText, "clBtnText" },
    { clCaptionText, "clCaptionText" },
    { clDefault, "clDefault" },
    { clGradientActiveCaption, "clGradientActiveCaption" },
    { clGradientInactiveCaption, "clGradientInactiveCaption" },
    { clGrayText, "clGrayText" },
    { clHighlight, "clHighlight" },
    { clHighlightText, "clHighlightText" },
    { clHotLight, "clHotLight" },
    { clInactiveBorder, "clInactiveBorder" },
    { clInactiveCaption, "clInactiveCaption" },
    { clInactiveCaptionText, "clInactiveCaptionText" },
    { clInfoBk, "clInfoBk" },
    { clInfoText, "clInfoText" },
    { clMenu, "clMenu" },
    { clMenuBar, "clMenuBar" },
    { clMenuHighlight, "clMenuHighlight" },
    { clMenuText, "clMenuText" },
    { clNone, "clNone" },
    { clScrollBar, "clScrollBar" },
    { cl3DDkShadow, "cl3DDkShadow" },
    { cl3DLight, "cl3DLight" },
    { clWindow, "clWindow" },
    { clWindowFrame, "clWindowFrame" },
    { clWindowText, "clWindowText" },
    // Accepted when read, never written: their values already have a name above.
    { clLtGray, "clLtGray" },
    { clDkGray, "clDkGray" },
};

constexpr const char* FontStyleNames[] = { "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut" };

bool ParseHex(QStringView digits, quint32& value)
{
    if (digits.isEmpty() || digits.size() > 8)
        return false;
    bool ok = false;
    value = digits.toUInt(&ok, 16);
    return ok;
}

quint16 LE16(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}
quint32 LE32(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

// Checks an icon file's directory and the picture headers it points to before any decoder sees it:
// every entry must lie inside the bytes and describe a picture of a sane size whose pixels fit.
bool IconBytesLookSound(const QByteArray& data)
{
    if (data.size() < 6)
        return false;
    const int count = LE16(data, 4);
    if (count == 0 || 6 + qsizetype(count) * 16 > data.size())
        return false;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + qsizetype(i) * 16;
        const quint32 length = LE32(data, entry + 8);
        const quint32 offset = LE32(data, entry + 12);
        if (offset > quint32(data.size()) || length > quint32(data.size()) - offset || length < 8)
            return false;
        if (data.mid(offset, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8))
            continue; // the PNG decoder checks its own sizes
        if (length < 40 || LE32(data, offset) < 40)
            return false;
        const qint32 width = qint32(LE32(data, offset + 4));
        const qint32 height = qint32(LE32(data, offset + 8)) / 2; // picture and mask
        const int bits = LE16(data, offset + 14);
        if (width <= 0 || height <= 0 || width > 256 * 4 || height > 256 * 4)
            return false;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return false;
        const qint64 rowBytes = ((qint64(width) * bits + 31) / 32) * 4;
        const qint64 palette = bits <= 8 ? (qint64(1) << bits) * 4 : 0;
        if (LE32(data, offset) + palette + rowBytes * height > qint64(length))
            return false;
    }
    return true;
}

// Checks a bitmap file's headers before the decoder sees it: the picture must be of a sane size and,
// unless run-length encoded, its pixel rows must lie inside the bytes.
bool BitmapBytesLookSound(const QByteArray& data)
{
    if (data.size() < 26)
        return false;
    const quint32 pixelsAt = LE32(data, 10);
    const quint32 headerSize = LE32(data, 14);
    if (headerSize < 12 || 14 + qint64(headerSize) > data.size())
        return false;
    qint64 width = 0;
    qint64 height = 0;
    int bits = 0;
    quint32 compression = 0;
    if (headerSize == 12) { // the old OS/2 header with 16-bit sizes
        width = LE16(data, 18);
        height = LE16(data, 20);
        bits = LE16(data, 24);
    } else {
        if (data.size() < 14 + 20)
            return false;
        width = qint32(LE32(data, 18));
        height = qint32(LE32(data, 22));
        bits = LE16(data, 28);
        compression = LE32(data, 30);
    }
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0 || width > TGraphic::MaxSide || height > TGraphic::MaxSide)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    if (compression == 1 || compression == 2)
        return pixelsAt < quint32(data.size()); // run lengths: the decoder stops at the end of the bytes
    const qint64 rowBytes = ((width * bits + 31) / 32) * 4;
    return qint64(pixelsAt) + rowBytes * height <= data.size();
}

QImage ReadWith(QImageReader& reader)
{
    reader.setAllocationLimit(256);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > TGraphic::MaxSide || size.height() > TGraphic::MaxSide))
        return {};
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > TGraphic::MaxSide || image.height() > TGraphic::MaxSide))
        return {};
    return image;
}

} // namespace

TColor ColorToRGB(TColor color)
{
    if (color < 0) {
        const int index = color & 0xFF;
        if (index < int(SystemPalette.size())) {
            const TRGB& c = SystemPalette[size_t(index)];
            return RGBToColor(c.R, c.G, c.B);
        }
        return clBlack;
    }
    return color;
}

QColor ToQColor(TColor color)
{
    if (color == clNone)
        return QColor(Qt::transparent);
    if (color == clDefault)
        return QColor(Qt::black);
    const TColor rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return RGBToColor(rgb.red(), rgb.green(), rgb.blue());
}

QString ColorToString(TColor color)
{
    for (const TColorName& entry : ColorNames)
        if (entry.Value == color)
            return QString::fromLatin1(entry.Name);
    return QStringLiteral("$%1").arg(quint32(color), 8, 16, QLatin1Char('0')).toUpper();
}

bool IdentToColor(const QString& ident, TColor& color)
{
    for (const TColorName& entry : ColorNames)
        if (ident.compare(QLatin1String(entry.Name), Qt::CaseInsensitive) == 0) {
            color = entry.Value;
            return true;
        }
    return false;
}

TColor StringToColor(const QString& text)
{
    TColor color = 0;
    if (IdentToColor(text.trimmed(), color))
        return color;
    const QString trimmed = text.trimmed();
    quint32 value = 0;
    if (trimmed.startsWith(QLatin1Char('$')) && ParseHex(QStringView(trimmed).mid(1), value))
        return TColor(value);
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        && ParseHex(QStringView(trimmed).mid(2), value))
        return TColor(value);
    bool ok = false;
    const int number = trimmed.toInt(&ok, 10);
    if (ok)
        return number;
    throw EConvertError(QStringLiteral("'%1' is not a valid color value").arg(text));
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const qint64 product = qint64(a) * qint64(b);
    const qint64 magnitude = (std::llabs(product) * 2 + std::llabs(qint64(c))) / (2 * std::llabs(qint64(c)));
    const qint64 result = ((product < 0) != (c < 0)) ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return int(result);
}

QString FontStylesToString(TFontStyles styles)
{
    QStringList names;
    for (int bit = 0; bit < 4; ++bit)
        if (styles & (1 << bit))
            names << QString::fromLatin1(FontStyleNames[bit]);
    return QLatin1Char('[') + names.join(QLatin1String(", ")) + QLatin1Char(']');
}

bool StringToFontStyles(const QString& text, TFontStyles& styles)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')) || !trimmed.endsWith(QLatin1Char(']')))
        return false;
    const QString inner = trimmed.mid(1, trimmed.size() - 2).trimmed();
    TFontStyles result = 0;
    if (!inner.isEmpty()) {
        for (const QString& part : inner.split(QLatin1Char(','))) {
            const QString name = part.trimmed();
            int bit = 0;
            while (bit < 4 && name.compare(QLatin1String(FontStyleNames[bit]), Qt::CaseInsensitive) != 0)
                ++bit;
            if (bit == 4)
                return false;
            result |= 1 << bit;
        }
    }
    styles = result;
    return true;
}

QString SubstituteFaceName(const QString& face)
{
    static const struct
    {
        const char* From;
        const char* To;
    } table[] = {
        { "Arial", "Liberation Sans" },
        { "Helvetica", "Liberation Sans" },
        { "Times New Roman", "Liberation Serif" },
        { "Times", "Liberation Serif" },
        { "Courier New", "Liberation Mono" },
        { "Courier", "Liberation Mono" },
        { "MS Sans Serif", "DejaVu Sans" },
        { "Microsoft Sans Serif", "DejaVu Sans" },
        { "Verdana", "DejaVu Sans" },
        { "Tahoma", "DejaVu Sans" },
    };
    const QString trimmed = face.trimmed();
    for (const auto& entry : table)
        if (trimmed.compare(QLatin1String(entry.From), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(entry.To);
    return trimmed;
}

// ---------------------------------------------------------------------------------------------------

void TGraphicsObject::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0 && FPendingChange) {
        FPendingChange = false;
        DoChange();
    }
}

void TGraphicsObject::DoChange()
{
    if (FUpdateCount > 0) {
        FPendingChange = true;
        return;
    }
    emit Changed();
    FireOnChange();
}

void TPen::SetColor(TColor value)
{
    if (value == FColor)
        return;
    FColor = value;
    DoChange();
}

void TPen::SetMode(TPenMode value)
{
    if (value == FMode || value < pmBlack || value > pmNotXor)
        return;
    FMode = value;
    DoChange();
}

void TPen::SetStyle(TPenStyle value)
{
    if (value == FStyle || value < psSolid || value > psInsideFrame)
        return;
    FStyle = value;
    DoChange();
}

void TPen::SetWidth(int value)
{
    if (value < 0)
        value = 0;
    if (value == FWidth)
        return;
    FWidth = value;
    DoChange();
}

void TPen::Assign(const TPersistent* Source)
{
    const auto* pen = qobject_cast<const TPen*>(Source);
    if (!pen) {
        TPersistent::Assign(Source);
        return;
    }
    BeginUpdate();
    SetColor(pen->FColor);
    SetMode(pen->FMode);
    SetStyle(pen->FStyle);
    SetWidth(pen->FWidth);
    EndUpdate();
}

QPen TPen::ToQPen() const
{
    if (FStyle == psClear)
        return QPen(Qt::NoPen);
    QPen pen(ToQColor(FColor));
    pen.setWidth(FWidth <= 1 ? 0 : FWidth);
    switch (FStyle) {
    case psDash:
        pen.setStyle(Qt::DashLine);
        break;
    case psDot:
        pen.setStyle(Qt::DotLine);
        break;
    case psDashDot:
        pen.setStyle(Qt::DashDotLine);
        break;
    case psDashDotDot:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    default:
        pen.setStyle(Qt::SolidLine);
        break;
    }
    if (FMode == pmBlack)
        pen.setColor(Qt::black);
    else if (FMode == pmWhite)
        pen.setColor(Qt::white);
    if (FWidth > 1) {
        // Wide pens of the platform have round ends and joins.
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    return pen;
}

void TPen::FireOnChange()
{
    if (OnChange)
        OnChange(this);
}

void TBrush::SetColor(TColor value)
{
    if (value == FColor)
        return;
    FColor = value;
    DoChange();
}

void TBrush::SetStyle(TBrushStyle value)
{
    if (value == FStyle || value < bsSolid || value > bsDiagCross)
        return;
    FStyle = value;
    DoChange();
}

void TBrush::Assign(const TPersistent* Source)
{
    const auto* brush = qobject_cast<const TBrush*>(Source);
    if (!brush) {
        TPersistent::Assign(Source);
        return;
    }
    BeginUpdate();
    SetColor(brush->FColor);
    SetStyle(brush->FStyle);
    EndUpdate();
}

QBrush TBrush::ToQBrush() const
{
    Qt::BrushStyle style = Qt::SolidPattern;
    switch (FStyle) {
    case bsSolid:
        style = Qt::SolidPattern;
        break;
    case bsClear:
        return QBrush(Qt::NoBrush);
    case bsHorizontal:
        style = Qt::HorPattern;
        break;
    case bsVertical:
        style = Qt::VerPattern;
        break;
    case bsFDiagonal:
        style = Qt::FDiagPattern;
        break;
    case bsBDiagonal:
        style = Qt::BDiagPattern;
        break;
    case bsCross:
        style = Qt::CrossPattern;
        break;
    case bsDiagCross:
        style = Qt::DiagCrossPattern;
        break;
    }
    return QBrush(ToQColor(FColor), style);
}

void TBrush::FireOnChange()
{
    if (OnChange)
        OnChange(this);
}

void TFont::SetName(const QString& value)
{
    // An empty face would leave the font without a face at all; the platform ignored it too.
    if (value.isEmpty() || value == FName)
        return;
    FName = value;
    DoChange();
}

int TFont::Size() const
{
    return -MulDiv(FHeight, 72, FPixelsPerInch);
}

void TFont::SetSize(int value)
{
    SetHeight(-MulDiv(value, FPixelsPerInch, 72));
}

void TFont::SetHeight(int value)
{
    if (value == FHeight)
        return;
    FHeight = value;
    DoChange();
}

void TFont::SetColor(TColor value)
{
    if (value == FColor)
        return;
    FColor = value;
    DoChange();
}

void TFont::SetStyle(TFontStyles value)
{
    value &= AllFontStyles;
    if (value == FStyle)
        return;
    FStyle = value;
    DoChange();
}

void TFont::SetPitch(TFontPitch value)
{
    if (value == FPitch || value < TFontPitch::fpDefault || value > TFontPitch::fpFixed)
        return;
    FPitch = value;
    DoChange();
}

void TFont::SetCharset(int value)
{
    value &= 0xFF; // a byte on the platform
    if (value == FCharset)
        return;
    FCharset = value;
    DoChange();
}

void TFont::SetPixelsPerInch(int value)
{
    // Zero or less would divide by zero when the size is derived.
    if (value <= 0)
        return;
    FPixelsPerInch = value;
}

void TFont::Assign(const TPersistent* Source)
{
    const auto* font = qobject_cast<const TFont*>(Source);
    if (!font) {
        TPersistent::Assign(Source);
        return;
    }
    if (font == this)
        return;
    BeginUpdate();
    SetName(font->FName);
    if (font->FPixelsPerInch != FPixelsPerInch)
        SetSize(font->Size());
    else
        SetHeight(font->FHeight);
    SetColor(font->FColor);
    SetStyle(font->FStyle);
    SetPitch(font->FPitch);
    SetCharset(font->FCharset);
    EndUpdate();
}

bool TFont::IsEqual(const TFont& other) const
{
    return FName == other.FName && FHeight == other.FHeight && FColor == other.FColor
        && FStyle == other.FStyle && FPitch == other.FPitch && FCharset == other.FCharset
        && FPixelsPerInch == other.FPixelsPerInch;
}

int TFont::PixelEmHeight() const
{
    if (FHeight < 0)
        return -FHeight;
    if (FHeight == 0)
        return 11; // the platform's default 8 points at 96 pixels per inch
    return qMax(1, CellHeightToEmHeight(FName, FStyle, FHeight));
}

QFont TFont::ToQFont() const
{
    QFont font(SubstituteFaceName(FName));
    font.setPixelSize(PixelEmHeight());
    font.setBold(FStyle & fsBold);
    font.setItalic(FStyle & fsItalic);
    font.setUnderline(FStyle & fsUnderline);
    font.setStrikeOut(FStyle & fsStrikeOut);
    // Measurements sum plain advances; drawing must not pair-kern or it would run off its measure.
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    if (FPitch == TFontPitch::fpFixed)
        font.setFixedPitch(true);
    return font;
}

void TFont::FireOnChange()
{
    if (OnChange)
        OnChange(this);
}

// ---------------------------------------------------------------------------------------------------

TGraphic::TGraphic(const QImage& image, TGraphicKind kind)
    : FImage(image)
    , FKind(kind)
{ }

QByteArray TGraphic::SaveToBytes() const
{
    if (Empty())
        return {};
    switch (FKind) {
    case gkBitmap:
        return EncodeBitmapFile(FImage);
    case gkIcon:
        return EncodeIconFile(FImage);
    case gkOther:
        break;
    }
    if (!FOriginal.isEmpty())
        return FOriginal;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.write(FImage);
    return bytes;
}

std::unique_ptr<TGraphic> TGraphic::LoadFromBytes(const QByteArray& bytes)
{
    if (bytes.startsWith("BM")) {
        if (!BitmapBytesLookSound(bytes))
            throw EReadError(QStringLiteral("Bitmap image is not valid"));
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "bmp");
        const QImage image = ReadWith(reader);
        if (image.isNull())
            throw EReadError(QStringLiteral("Bitmap image is not valid"));
        return std::make_unique<TGraphic>(image, gkBitmap);
    }
    if (bytes.startsWith(QByteArray("\0\0\1\0", 4))) {
        if (!IconBytesLookSound(bytes))
            throw EReadError(QStringLiteral("Icon image is not valid"));
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "ico");
        const QImage image = ReadWith(reader);
        if (image.isNull())
            throw EReadError(QStringLiteral("Icon image is not valid"));
        return std::make_unique<TGraphic>(image, gkIcon);
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QImage image = bytes.isEmpty() ? QImage() : ReadWith(reader);
    if (image.isNull())
        throw EReadError(QStringLiteral("Picture data is not valid or of an unknown format"));
    auto graphic = std::make_unique<TGraphic>(image, gkOther);
    graphic->FOriginal = bytes;
    return graphic;
}

void TGraphic::StretchDraw(QPainter& painter, const QRect& dest) const
{
    if (Empty() || dest.isEmpty())
        return;
    painter.drawImage(dest, FImage);
}

QByteArray EncodeBitmapFile(const QImage& image)
{
    if (image.isNull())
        return {};
    QImage opaque = image;
    if (image.hasAlphaChannel()) {
        // A bitmap has no transparency: see-through pixels show the white of a fresh bitmap.
        opaque = QImage(image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(opaque))
        return {};
    return bytes;
}

QByteArray EncodeIconFile(const QImage& source)
{
    if (source.isNull())
        return {};
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    if (image.width() > 256 || image.height() > 256)
        image = image.scaled(256, 256, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const quint32 maskRow = quint32(((w + 31) / 32) * 4);
    const quint32 dibSize = 40 + quint32(w) * quint32(h) * 4 + maskRow * quint32(h);

    TByteWriter out;
    out.Reserve(22 + qsizetype(dibSize));
    // Directory with one entry.
    out.Word(0).Word(1).Word(1);
    out.Byte(uint8_t(w >= 256 ? 0 : w));
    out.Byte(uint8_t(h >= 256 ? 0 : h));
    out.Byte(0); // colour count: none, 32 bits
    out.Byte(0);
    out.Word(1); // planes
    out.Word(32); // bits per pixel
    out.DWord(dibSize).DWord(22);
    // Picture header: the height counts the picture and its mask.
    out.DWord(40).DWord(quint32(w)).DWord(quint32(h * 2));
    out.Word(1).Word(32);
    out.DWord(0); // no compression
    out.DWord(dibSize - 40);
    out.DWord(0).DWord(0).DWord(0).DWord(0);
    // Pixels bottom-up, blue green red alpha.
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            out.Byte(uint8_t(qBlue(line[x])))
                .Byte(uint8_t(qGreen(line[x])))
                .Byte(uint8_t(qRed(line[x])))
                .Byte(uint8_t(qAlpha(line[x])));
    }
    // The mask marks fully transparent pixels, for readers that ignore the alpha channel.
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray row(int(maskRow), '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8)));
        out.Bytes(row);
    }
    return out.TakeData();
}
