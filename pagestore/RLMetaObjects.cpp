// Page objects: their fields, bytes, copies and geometry.
#include "pagestore/RLMetaFile.h"

#include "platform/Exceptions.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <atomic>

namespace {

// Atomic: pages are read back on other threads while a report records new ones.
std::atomic<int> GroupCounter { 0 };

void WriteRect(TRLStreamWriter& Stream, const TRect& Rect)
{
    Stream.Int32(Rect.Left);
    Stream.Int32(Rect.Top);
    Stream.Int32(Rect.Right);
    Stream.Int32(Rect.Bottom);
}

void WritePoint(TRLStreamWriter& Stream, const TPoint& Point)
{
    Stream.Int32(Point.x());
    Stream.Int32(Point.y());
}

TPoint ReadPoint(TRLStreamReader& Stream)
{
    const int x = Stream.ReadInt32();
    const int y = Stream.ReadInt32();
    return TPoint(x, y);
}

void WritePoints(TRLStreamWriter& Stream, const TRLPointArray& Points)
{
    Stream.Int32(int32_t(Points.size()));
    for (const TPoint& p : Points)
        WritePoint(Stream, p);
}

TRLPointArray ReadPoints(TRLStreamReader& Stream)
{
    const int32_t count = Stream.ReadCount(8);
    TRLPointArray points;
    points.reserve(count);
    for (int32_t i = 0; i < count; ++i)
        points.append(ReadPoint(Stream));
    return points;
}

int Scale(int Value, double Factor)
{
    // Bands are copied into their page unscaled, so this is the case of nearly every object; an
    // integer times exactly 1 is itself, and the long double rounding is not cheap.
    if (Factor == 1.0)
        return Value;
    return RoundToPixel(static_cast<long double>(Value) * Factor);
}

TPoint ScalePoint(const TPoint& Point, double XFactor, double YFactor)
{
    return TPoint(Scale(Point.x(), XFactor), Scale(Point.y(), YFactor));
}

void ScalePoints(TRLPointArray& Points, double XFactor, double YFactor)
{
    for (TPoint& p : Points)
        p = ScalePoint(p, XFactor, YFactor);
}

void OffsetPoints(TRLPointArray& Points, int DX, int DY)
{
    for (TPoint& p : Points)
        p += TPoint(DX, DY);
}

} // namespace

int NewGroupId()
{
    return GroupCounter.fetch_add(1, std::memory_order_relaxed) + 1;
}

// --- base ---------------------------------------------------------------------------------------

TRLGraphicObject::TRLGraphicObject(TRLGraphicSurface* ASurface)
    : GroupId(GroupCounter.load(std::memory_order_relaxed))
    , FSurface(ASurface)
{
    if (FSurface)
        FSurface->FObjects.push_back(this);
}

TRLGraphicObject::~TRLGraphicObject()
{
    if (FSurface) {
        auto& list = FSurface->FObjects;
        // The newest objects are the likeliest to go first.
        auto it = std::find(list.rbegin(), list.rend(), this);
        if (it != list.rend())
            list.erase(std::next(it).base());
    }
}

void TRLGraphicObject::SaveToStream(TRLStreamWriter& Stream) const
{
    WriteRect(Stream, BoundsRect);
    Stream.Int32(GroupId);
    Stream.Int32(Reserved);
}

void TRLGraphicObject::LoadFromStream(TRLStreamReader& Stream)
{
    BoundsRect.Left = Stream.ReadInt32();
    BoundsRect.Top = Stream.ReadInt32();
    BoundsRect.Right = Stream.ReadInt32();
    BoundsRect.Bottom = Stream.ReadInt32();
    GroupId = Stream.ReadInt32();
    Reserved = Stream.ReadInt32();
}

void TRLGraphicObject::Assign(const TRLGraphicObject* Source)
{
    if (!Source)
        return;
    BoundsRect = Source->BoundsRect;
    GroupId = Source->GroupId;
    Reserved = Source->Reserved;
}

void TRLGraphicObject::Offset(int DX, int DY)
{
    BoundsRect.Left += DX;
    BoundsRect.Right += DX;
    BoundsRect.Top += DY;
    BoundsRect.Bottom += DY;
}

void TRLGraphicObject::ScaleBy(double XFactor, double YFactor)
{
    BoundsRect.Left = Scale(BoundsRect.Left, XFactor);
    BoundsRect.Right = Scale(BoundsRect.Right, XFactor);
    BoundsRect.Top = Scale(BoundsRect.Top, YFactor);
    BoundsRect.Bottom = Scale(BoundsRect.Bottom, YFactor);
}

TRLGraphicObject* TRLGraphicObject::Clone(TRLGraphicSurface* Target) const
{
    TRLGraphicObject* copy = Create(Kind(), Target);
    copy->Assign(this);
    return copy;
}

TRLGraphicObject* TRLGraphicObject::Create(int TypeCode, TRLGraphicSurface* Surface)
{
    switch (TypeCode) {
    case okPixel:
        return new TRLPixelObject(Surface);
    case okLine:
        return new TRLLineObject(Surface);
    case okRectangle:
        return new TRLRectangleObject(Surface);
    case okText:
        return new TRLTextObject(Surface);
    case okFillRect:
        return new TRLFillRectObject(Surface);
    case okEllipse:
        return new TRLEllipseObject(Surface);
    case okPolygon:
        return new TRLPolygonObject(Surface);
    case okPolyline:
        return new TRLPolylineObject(Surface);
    case okImage:
        return new TRLImageObject(Surface);
    case okSetClipRect:
        return new TRLSetClipRectObject(Surface);
    case okResetClipRect:
        return new TRLResetClipRectObject(Surface);
    default:
        return nullptr;
    }
}

// --- pixel --------------------------------------------------------------------------------------

void TRLPixelObject::SaveToStream(TRLStreamWriter& Stream) const
{
    TRLGraphicObject::SaveToStream(Stream);
    Stream.Byte(Color.Red);
    Stream.Byte(Color.Green);
    Stream.Byte(Color.Blue);
}

void TRLPixelObject::LoadFromStream(TRLStreamReader& Stream)
{
    TRLGraphicObject::LoadFromStream(Stream);
    Color.Red = Stream.ReadByte();
    Color.Green = Stream.ReadByte();
    Color.Blue = Stream.ReadByte();
}

void TRLPixelObject::Assign(const TRLGraphicObject* Source)
{
    TRLGraphicObject::Assign(Source);
    if (auto* source = dynamic_cast<const TRLPixelObject*>(Source))
        Color = source->Color;
}

// --- line ---------------------------------------------------------------------------------------

void TRLLineObject::SaveToStream(TRLStreamWriter& Stream) const
{
    TRLGraphicObject::SaveToStream(Stream);
    WritePoint(Stream, FromPoint);
    WritePoint(Stream, ToPoint);
    Pen.SaveToStream(Stream);
    Brush.SaveToStream(Stream);
}

void TRLLineObject::LoadFromStream(TRLStreamReader& Stream)
{
    TRLGraphicObject::LoadFromStream(Stream);
    FromPoint = ReadPoint(Stream);
    ToPoint = ReadPoint(Stream);
    Pen.LoadFromStream(Stream);
    Brush.LoadFromStream(Stream);
}

void TRLLineObject::Assign(const TRLGraphicObject* Source)
{
    TRLGraphicObject::Assign(Source);
    if (auto* source = dynamic_cast<const TRLLineObject*>(Source)) {
        FromPoint = source->FromPoint;
        ToPoint = source->ToPoint;
        Pen = source->Pen;
        Brush = source->Brush;
    }
}

void TRLLineObject::Offset(int DX, int DY)
{
    TRLGraphicObject::Offset(DX, DY);
    FromPoint += TPoint(DX, DY);
    ToPoint += TPoint(DX, DY);
}

void TRLLineObject::ScaleBy(double XFactor, double YFactor)
{
    TRLGraphicObject::ScaleBy(XFactor, YFactor);
    FromPoint = ScalePoint(FromPoint, XFactor, YFactor);
    ToPoint = ScalePoint(ToPoint, XFactor, YFactor);
    Pen.ScaleBy(XFactor);
}

// --- rectangle and ellipse ----------------------------------------------------------------------

void TRLPenBrushObject::SaveToStream(TRLStreamWriter& Stream) const
{
    TRLGraphicObject::SaveToStream(Stream);
    Pen.SaveToStream(Stream);
    Brush.SaveToStream(Stream);
}

void TRLPenBrushObject::LoadFromStream(TRLStreamReader& Stream)
{
    TRLGraphicObject::LoadFromStream(Stream);
    Pen.LoadFromStream(Stream);
    Brush.LoadFromStream(Stream);
}

void TRLPenBrushObject::Assign(const TRLGraphicObject* Source)
{
    TRLGraphicObject::Assign(Source);
    // A rectangle never takes an ellipse's shape fields, nor the reverse: same kind only.
    if (Source && Source->Kind() == Kind()) {
        auto* source = static_cast<const TRLPenBrushObject*>(Source);
        Pen = source->Pen;
        Brush = source->Brush;
    }
}

void TRLPenBrushObject::ScaleBy(double XFactor, double YFactor)
{
    TRLGraphicObject::ScaleBy(XFactor, YFactor);
    Pen.ScaleBy(XFactor);
}

// --- text ---------------------------------------------------------------------------------------

void TRLTextObject::SaveToStream(TRLStreamWriter& Stream) const
{
    TRLGraphicObject::SaveToStream(Stream);
    Stream.Byte(Alignment);
    Stream.Byte(Layout);
    WritePoint(Stream, Origin);
    Stream.Word(TextFlags);
    Stream.String(Text);
    Brush.SaveToStream(Stream);
    Font.SaveToStream(Stream);
}

void TRLTextObject::LoadFromStream(TRLStreamReader& Stream)
{
    TRLGraphicObject::LoadFromStream(Stream);
    Alignment = TRLMetaTextAlignment(Stream.ReadByte());
    Layout = TRLMetaTextLayout(Stream.ReadByte());
    Origin = ReadPoint(Stream);
    TextFlags = Stream.ReadWord();
    Text = Stream.ReadString();
    Brush.LoadFromStream(Stream);
    Font.LoadFromStream(Stream);
}

void TRLTextObject::Assign(const TRLGraphicObject* Source)
{
    TRLGraphicObject::Assign(Source);
    if (auto* source = dynamic_cast<const TRLTextObject*>(Source)) {
        Brush = source->Brush;
        Font.Assign(source->Font);
        Text = source->Text;
        Origin = source->Origin;
        Alignment = source->Alignment;
        Layout = source->Layout;
        TextFlags = source->TextFlags;
    }
}

void TRLTextObject::Offset(int DX, int DY)
{
    TRLGraphicObject::Offset(DX, DY);
    Origin += TPoint(DX, DY);
}

void TRLTextObject::ScaleBy(double XFactor, double YFactor)
{
    TRLGraphicObject::ScaleBy(XFactor, YFactor);
    Origin = ScalePoint(Origin, XFactor, YFactor);
    Font.Size = Scale(Font.Size, YFactor);
}

QString TRLTextObject::DisplayText() const
{
    if (!Text.contains(u'{'))
        return Text;
    const TRLGraphicSurface* surface = Surface();
    const QStringList* reportValues = surface ? surface->ReportValues() : nullptr;
    QString result;
    result.reserve(Text.size());
    qsizetype pos = 0;
    while (pos < Text.size()) {
        const qsizetype open = Text.indexOf(u'{', pos);
        if (open < 0)
            break;
        const qsizetype close = Text.indexOf(u'}', open + 1);
        if (close < 0)
            break;
        result.append(QStringView(Text).mid(pos, open - pos));
        const QString name = Text.mid(open + 1, close - open - 1);
        bool found = false;
        QString value;
        if (surface)
            value = MacroValue(surface->MacroValues, name, &found);
        if (!found && reportValues)
            value = MacroValue(*reportValues, name, &found);
        if (found)
            result.append(value); // values are never expanded again
        else
            result.append(QStringView(Text).mid(open, close - open + 1));
        pos = close + 1;
    }
    result.append(QStringView(Text).mid(pos));
    return result;
}

// --- fill rectangle -----------------------------------------------------------------------------

void TRLFillRectObject::SaveToStream(TRLStreamWriter& Stream) const
{
    TRLGraphicObject::SaveToStream(Stream);
    Brush.SaveToStream(Stream);
}

void TRLFillRectObject::LoadFromStream(TRLStreamReader& Stream)
{
    TRLGraphicObject::LoadFromStream(Stream);
    Brush.LoadFromStream(Stream);
}

void TRLFillRectObject::Assign(const TRLGraphicObject* Source)
{
    TRLGraphicObject::Assign(Source);
    if (auto* source = dynamic_cast<const TRLFillRectObject*>(Source))
        Brush = source->Brush;
}

// --- polygon and polyline -----------------------------------------------------------------------

void TRLPolygonObject::SaveToStream(TRLStreamWriter& Stream) const
{
    TRLGraphicObject::SaveToStream(Stream);
    Pen.SaveToStream(Stream);
    Brush.SaveToStream(Stream);
    WritePoints(Stream, Points);
}

void TRLPolygonObject::LoadFromStream(TRLStreamReader& Stream)
{
    TRLGraphicObject::LoadFromStream(Stream);
    Pen.LoadFromStream(Stream);
    Brush.LoadFromStream(Stream);
    Points = ReadPoints(Stream);
}

void TRLPolygonObject::Assign(const TRLGraphicObject* Source)
{
    TRLGraphicObject::Assign(Source);
    if (auto* source = dynamic_cast<const TRLPolygonObject*>(Source)) {
        Pen = source->Pen;
        Brush = source->Brush;
        Points = source->Points;
    }
}

void TRLPolygonObject::Offset(int DX, int DY)
{
    TRLGraphicObject::Offset(DX, DY);
    OffsetPoints(Points, DX, DY);
}

void TRLPolygonObject::ScaleBy(double XFactor, double YFactor)
{
    TRLGraphicObject::ScaleBy(XFactor, YFactor);
    ScalePoints(Points, XFactor, YFactor);
    Pen.ScaleBy(XFactor);
}

void TRLPolylineObject::SaveToStream(TRLStreamWriter& Stream) const
{
    TRLGraphicObject::SaveToStream(Stream);
    Pen.SaveToStream(Stream);
    WritePoints(Stream, Points);
}

void TRLPolylineObject::LoadFromStream(TRLStreamReader& Stream)
{
    TRLGraphicObject::LoadFromStream(Stream);
    Pen.LoadFromStream(Stream);
    Points = ReadPoints(Stream);
}

void TRLPolylineObject::Assign(const TRLGraphicObject* Source)
{
    TRLGraphicObject::Assign(Source);
    if (auto* source = dynamic_cast<const TRLPolylineObject*>(Source)) {
        Pen = source->Pen;
        Points = source->Points;
    }
}

void TRLPolylineObject::Offset(int DX, int DY)
{
    TRLGraphicObject::Offset(DX, DY);
    OffsetPoints(Points, DX, DY);
}

void TRLPolylineObject::ScaleBy(double XFactor, double YFactor)
{
    TRLGraphicObject::ScaleBy(XFactor, YFactor);
    ScalePoints(Points, XFactor, YFactor);
    Pen.ScaleBy(XFactor);
}

// --- image --------------------------------------------------------------------------------------

void TRLImageObject::SaveToStream(TRLStreamWriter& Stream) const
{
    TRLGraphicObject::SaveToStream(Stream);
    Stream.Int32(int32_t(Data.size()));
    Stream.Bytes(Data);
    Stream.Byte(IntegralWidth ? 1 : 0);
}

void TRLImageObject::LoadFromStream(TRLStreamReader& Stream)
{
    TRLGraphicObject::LoadFromStream(Stream);
    Data = Stream.ReadBytes(Stream.ReadInt32());
    IntegralWidth = Stream.ReadByte() != 0;
}

void TRLImageObject::Assign(const TRLGraphicObject* Source)
{
    TRLGraphicObject::Assign(Source);
    if (auto* source = dynamic_cast<const TRLImageObject*>(Source)) {
        Data = source->Data;
        IntegralWidth = source->IntegralWidth;
    }
}

QByteArray GraphicToImageData(const TGraphic* Graphic)
{
    if (!Graphic || Graphic->Empty())
        return QByteArrayLiteral("NIL");
    if (Graphic->IsBitmap())
        return QByteArrayLiteral("BMP") + Graphic->SaveToBytes();
    if (Graphic->IsIcon())
        return QByteArrayLiteral("ICO") + Graphic->SaveToBytes();
    // Any other picture is drawn at the origin into a bitmap of its own size.
    QImage bitmap(Graphic->Width(), Graphic->Height(), QImage::Format_RGB32);
    if (bitmap.isNull())
        return QByteArrayLiteral("NIL");
    bitmap.fill(Qt::white);
    {
        QPainter painter(&bitmap);
        painter.drawImage(0, 0, Graphic->Image());
    }
    const QByteArray bytes = EncodeBitmapFile(bitmap);
    if (bytes.isEmpty())
        return QByteArrayLiteral("NIL");
    return QByteArrayLiteral("BMP") + bytes;
}
