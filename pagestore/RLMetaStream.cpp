// Byte streams of page records, recorded pens, brushes and fonts, and the value lists of pages and
// stores.
#include "pagestore/RLMetaFile.h"

#include "platform/Cp1252.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <limits>

// --- streams ------------------------------------------------------------------------------------

void RaiseFileCorrupted()
{
    throw EReadError(QStringLiteral("File is corrupted!"));
}

void TRLStreamWriter::String(const QString& Text)
{
    // Encoded straight into the buffer after room for its length, which is known only afterwards.
    const qsizetype position = Size();
    char* length = Grow(4 + Text.size());
    const qsizetype bytes = StringToCp1252(QStringView(Text), length + 4);
    Unwrite(Text.size() - bytes);
    qToLittleEndian(int32_t(bytes), length);
    // A '?' that the text did not have, or fewer bytes than characters (a pair beyond the basic
    // plane), means the code page lost something.
    const char* out = length + 4;
    bool lost = bytes != Text.size();
    if (!lost && std::memchr(out, '?', std::size_t(bytes))) {
        for (qsizetype i = 0; i < bytes && !lost; ++i)
            lost = out[i] == '?' && Text.at(i) != u'?';
    }
    if (lost)
        FFullTexts.insert(position, Text);
}

void TRLStreamWriter::Strings(const QStringList& Lines)
{
    Int32(int32_t(Lines.size()));
    for (const QString& line : Lines)
        String(line);
}

const char* TRLStreamReader::Take(qsizetype Size)
{
    if (Size < 0 || Size > FSize - FPos)
        RaiseFileCorrupted();
    const char* p = FData + FPos;
    FPos += Size;
    return p;
}

uint8_t TRLStreamReader::ReadByte()
{
    return static_cast<uint8_t>(*Take(1));
}

uint16_t TRLStreamReader::ReadWord()
{
    return qFromLittleEndian<uint16_t>(Take(2));
}

int32_t TRLStreamReader::ReadInt32()
{
    return qFromLittleEndian<int32_t>(Take(4));
}

QByteArray TRLStreamReader::ReadBytes(qsizetype Size)
{
    const char* p = Take(Size);
    return QByteArray(p, Size);
}

QString TRLStreamReader::ReadString()
{
    const qsizetype position = FBase + FPos;
    const int32_t length = ReadInt32();
    const char* p = Take(length); // a negative length is corruption too
    if (FFullTexts) {
        const auto found = FFullTexts->constFind(position);
        if (found != FFullTexts->constEnd())
            return found.value();
    }
    return Cp1252ToString(p, length);
}

QStringList TRLStreamReader::ReadStrings()
{
    const int32_t count = ReadCount(4);
    QStringList lines;
    lines.reserve(count);
    for (int32_t i = 0; i < count; ++i)
        lines.append(ReadString());
    return lines;
}

int32_t TRLStreamReader::ReadCount(qsizetype MinItemSize)
{
    const int32_t count = ReadInt32();
    if (count < 0 || (MinItemSize > 0 && qsizetype(count) > Remaining() / MinItemSize))
        RaiseFileCorrupted();
    return count;
}

void TRLStreamReader::Skip(qsizetype Size)
{
    Take(Size);
}

TRLStreamReader TRLStreamReader::SubReader(qsizetype Size)
{
    const qsizetype base = FBase + FPos;
    const char* p = Take(Size);
    TRLStreamReader reader(p, Size);
    reader.FBase = base;
    reader.FFullTexts = FFullTexts;
    return reader;
}

// --- colours and enumerations -------------------------------------------------------------------

TRLMetaColor ToMetaColor(TColor Color)
{
    const quint32 rgb = quint32(ColorToRGB(Color));
    return TRLMetaColor { uint8_t(rgb & 0xFF), uint8_t((rgb >> 8) & 0xFF), uint8_t((rgb >> 16) & 0xFF) };
}

TColor FromMetaColor(TRLMetaColor Color)
{
    return TColor(quint32(Color.Red) | (quint32(Color.Green) << 8) | (quint32(Color.Blue) << 16));
}

namespace {

// The platform value plus one when it is one of the Count listed values, Default otherwise.
template <typename Meta, typename Platform> Meta ToMeta(Platform value, int count, Meta fallback)
{
    const int v = int(value);
    return v >= 0 && v < count ? Meta(v + 1) : fallback;
}

template <typename Platform, typename Meta> Platform FromMeta(Meta value, int count, Platform fallback)
{
    const int v = int(value);
    return v >= 1 && v <= count ? Platform(v - 1) : fallback;
}

constexpr int PenModeCount = 16;
constexpr int PenStyleCount = 7;
constexpr int BrushStyleCount = 8;
constexpr int FontPitchCount = 3;

} // namespace

TRLMetaPenMode ToMetaPenMode(TPenMode Mode)
{
    return ToMeta(Mode, PenModeCount, MetaPenModeCopy);
}
TPenMode FromMetaPenMode(TRLMetaPenMode Mode)
{
    return FromMeta(Mode, PenModeCount, pmCopy);
}
TRLMetaPenStyle ToMetaPenStyle(TPenStyle Style)
{
    return ToMeta(Style, PenStyleCount, MetaPenStyleSolid);
}
TPenStyle FromMetaPenStyle(TRLMetaPenStyle Style)
{
    return FromMeta(Style, PenStyleCount, psSolid);
}
TRLMetaBrushStyle ToMetaBrushStyle(TBrushStyle Style)
{
    return ToMeta(Style, BrushStyleCount, MetaBrushStyleSolid);
}
TBrushStyle FromMetaBrushStyle(TRLMetaBrushStyle Style)
{
    return FromMeta(Style, BrushStyleCount, bsSolid);
}
TRLMetaFontPitch ToMetaFontPitch(TFontPitch Pitch)
{
    return ToMeta(Pitch, FontPitchCount, MetaFontPitchDefault);
}
TFontPitch FromMetaFontPitch(TRLMetaFontPitch Pitch)
{
    return FromMeta(Pitch, FontPitchCount, TFontPitch::fpDefault);
}
TRLMetaFontStyles ToMetaFontStyles(TFontStyles Styles)
{
    return TRLMetaFontStyles(int(Styles) & 15);
}
TFontStyles FromMetaFontStyles(TRLMetaFontStyles Styles)
{
    return TFontStyles(Styles & 15);
}

int RoundToPixel(long double Value)
{
    if (std::isnan(Value))
        return 0;
    if (Value >= static_cast<long double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (Value <= static_cast<long double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    // Every band placed on its page comes here with a whole number; the library's rounding of a
    // long double saves and restores the floating-point environment, which costs more than the rest.
    const int whole = int(Value);
    if (static_cast<long double>(whole) == Value)
        return whole;
    // Inside the int range, its rounding is too.
    return int(std::nearbyint(Value)); // the default mode: nearest, ties to even
}

// --- pens, brushes, fonts -----------------------------------------------------------------------

namespace {

void WriteColor(TRLStreamWriter& Stream, TRLMetaColor Color)
{
    Stream.Byte(Color.Red);
    Stream.Byte(Color.Green);
    Stream.Byte(Color.Blue);
}

TRLMetaColor ReadColor(TRLStreamReader& Stream)
{
    TRLMetaColor color;
    color.Red = Stream.ReadByte();
    color.Green = Stream.ReadByte();
    color.Blue = Stream.ReadByte();
    return color;
}

} // namespace

void TRLMetaPen::FromPen(const TPen& Pen)
{
    Color = ToMetaColor(Pen.Color());
    Mode = ToMetaPenMode(Pen.Mode());
    Style = ToMetaPenStyle(Pen.Style());
    Width = Pen.Width();
}

void TRLMetaPen::ToPen(TPen& Pen) const
{
    Pen.BeginUpdate();
    Pen.SetColor(FromMetaColor(Color));
    Pen.SetMode(FromMetaPenMode(Mode));
    Pen.SetStyle(FromMetaPenStyle(Style));
    Pen.SetWidth(Width);
    Pen.EndUpdate();
}

void TRLMetaPen::ScaleBy(double Factor)
{
    if (Width != 0)
        Width = std::max(RoundToPixel(static_cast<long double>(Width) * Factor), 1);
}

void TRLMetaPen::SaveToStream(TRLStreamWriter& Stream) const
{
    WriteColor(Stream, Color);
    Stream.Byte(Mode);
    Stream.Byte(Style);
    Stream.Int32(Width);
}

void TRLMetaPen::LoadFromStream(TRLStreamReader& Stream)
{
    Color = ReadColor(Stream);
    Mode = TRLMetaPenMode(Stream.ReadByte());
    Style = TRLMetaPenStyle(Stream.ReadByte());
    Width = Stream.ReadInt32();
}

void TRLMetaBrush::FromBrush(const TBrush& Brush)
{
    Color = ToMetaColor(Brush.Color());
    Style = ToMetaBrushStyle(Brush.Style());
}

void TRLMetaBrush::ToBrush(TBrush& Brush) const
{
    Brush.BeginUpdate();
    Brush.SetColor(FromMetaColor(Color));
    Brush.SetStyle(FromMetaBrushStyle(Style));
    Brush.EndUpdate();
}

void TRLMetaBrush::SaveToStream(TRLStreamWriter& Stream) const
{
    WriteColor(Stream, Color);
    Stream.Byte(Style);
}

void TRLMetaBrush::LoadFromStream(TRLStreamReader& Stream)
{
    Color = ReadColor(Stream);
    Style = TRLMetaBrushStyle(Stream.ReadByte());
}

QString TRLMetaFont::Name() const
{
    const TRLGraphicSurface* surface = FOwner ? FOwner->Surface() : nullptr;
    if (!surface || NameIndex < 0 || NameIndex >= surface->FontNames.size())
        return QString();
    return surface->FontNames.at(NameIndex);
}

void TRLMetaFont::SetName(const QString& Name)
{
    TRLGraphicSurface* surface = FOwner ? FOwner->Surface() : nullptr;
    if (surface)
        NameIndex = surface->FontNameIndex(Name);
}

void TRLMetaFont::Assign(const TRLMetaFont& Source)
{
    PixelsPerInch = Source.PixelsPerInch;
    Charset = Source.Charset;
    Color = Source.Color;
    Height = Source.Height;
    Pitch = Source.Pitch;
    Size = Source.Size;
    Style = Source.Style;
    SetName(Source.Name());
}

void TRLMetaFont::FromFont(const TFont& Font)
{
    PixelsPerInch = Font.PixelsPerInch();
    Charset = uint8_t(Font.Charset());
    Color = ToMetaColor(Font.Color());
    Height = Font.Height();
    Pitch = ToMetaFontPitch(Font.Pitch());
    Size = Font.Size();
    Style = ToMetaFontStyles(Font.Style());
    SetName(Font.Name());
}

void TRLMetaFont::ToFont(TFont& Font) const
{
    Font.BeginUpdate();
    Font.SetName(Name());
    Font.SetCharset(Charset);
    Font.SetColor(FromMetaColor(Color));
    if (PixelsPerInch > 0)
        Font.SetPixelsPerInch(PixelsPerInch);
    Font.SetSize(Size);
    Font.SetPitch(FromMetaFontPitch(Pitch));
    Font.SetStyle(FromMetaFontStyles(Style));
    Font.EndUpdate();
}

void TRLMetaFont::SaveToStream(TRLStreamWriter& Stream) const
{
    Stream.Int32(PixelsPerInch);
    Stream.Byte(Charset);
    WriteColor(Stream, Color);
    Stream.Int32(Height);
    Stream.Int32(NameIndex);
    Stream.Byte(Pitch);
    Stream.Int32(Size);
    Stream.Byte(Style);
}

void TRLMetaFont::LoadFromStream(TRLStreamReader& Stream)
{
    PixelsPerInch = Stream.ReadInt32();
    Charset = Stream.ReadByte();
    Color = ReadColor(Stream);
    Height = Stream.ReadInt32();
    NameIndex = Stream.ReadInt32();
    Pitch = TRLMetaFontPitch(Stream.ReadByte());
    Size = Stream.ReadInt32();
    Style = Stream.ReadByte();
}

// --- value lists --------------------------------------------------------------------------------

namespace {

qsizetype IndexOfName(const QStringList& Values, const QString& Name)
{
    for (qsizetype i = 0; i < Values.size(); ++i) {
        const QString& line = Values.at(i);
        const qsizetype eq = line.indexOf(u'=');
        const QStringView name = eq < 0 ? QStringView(line) : QStringView(line).left(eq);
        if (name.compare(Name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace

QString MacroValue(const QStringList& Values, const QString& Name, bool* Found)
{
    const qsizetype i = IndexOfName(Values, Name);
    if (Found)
        *Found = i >= 0;
    if (i < 0)
        return QString();
    const QString& line = Values.at(i);
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QString() : line.mid(eq + 1);
}

void SetMacroValue(QStringList& Values, const QString& Name, const QString& Value)
{
    const qsizetype i = IndexOfName(Values, Name);
    if (Value.isEmpty()) {
        if (i >= 0)
            Values.removeAt(i);
        return;
    }
    const QString line = Name + u'=' + Value;
    if (i >= 0)
        Values[i] = line;
    else
        Values.append(line);
}

QString MillimetresToText(double Value)
{
    if (Value < 0)
        return QStringLiteral("-1");
    return FloatToText(Value);
}

double TextToMillimetres(const QString& Text)
{
    const double value = TextToFloat(Text, 0.0);
    return value < 0 ? -1.0 : value;
}

int PaperMillimetresToPixels(double Value)
{
    if (Value < 0)
        return -1;
    return RoundToPixel(static_cast<long double>(Value) * 96.0L / 25.4L);
}
