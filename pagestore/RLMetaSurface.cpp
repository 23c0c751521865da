// One page: recording operations, page values and the page body's bytes.
#include "pagestore/RLMetaFile.h"

#include "platform/Exceptions.h"
#include "platform/TextMeasure.h"

#include <algorithm>
#include <cstring>

namespace {

const char SurfaceSignature[] = "RLGraphicSurface3\x1A"; // 18 bytes
constexpr qsizetype SurfaceSignatureSize = 18;
// A body is the type code, the body size and at least nothing: five bytes per object at the least.
constexpr qsizetype MinObjectRecordSize = 5;

} // namespace

TRLGraphicSurface::TRLGraphicSurface()
    : FCurrentBrush(std::make_unique<TBrush>())
    , FCurrentFont(std::make_unique<TFont>())
    , FCurrentPen(std::make_unique<TPen>())
{
    FCurrentBrush->SetColor(clWhite);
    FCurrentPen->SetColor(clBlack);
    FCurrentFont->SetColor(clBlack);
}

TRLGraphicSurface::~TRLGraphicSurface()
{
    if (FStorage)
        FStorage->RemoveFromCache(this);
    DetachObjects();
}

void TRLGraphicSurface::DetachObjects()
{
    // Take the list first so that no destructor searches it.
    std::vector<TRLGraphicObject*> objects;
    objects.swap(FObjects);
    for (TRLGraphicObject* object : objects) {
        object->FSurface = nullptr;
        delete object;
    }
}

void TRLGraphicSurface::SetStorage(TRLGraphicStorage* AStorage)
{
    if (AStorage == FStorage)
        return;
    if (FStorage)
        FStorage->RemoveFromCache(this);
    FStorage = AStorage;
    FSlotIndex = -1;
}

const QStringList* TRLGraphicSurface::ReportValues() const
{
    if (FReaderValues)
        return FReaderValues;
    return FStorage ? &FStorage->MacroValues : nullptr;
}

void TRLGraphicSurface::SetWidth(int Value)
{
    if (Value != FWidth) {
        FWidth = Value;
        Dirty = true;
    }
}

void TRLGraphicSurface::SetHeight(int Value)
{
    if (Value != FHeight) {
        FHeight = Value;
        Dirty = true;
    }
}

void TRLGraphicSurface::Open()
{
    if (FIsOpen)
        return;
    FIsOpen = true;
    WritePos = MarginRect.TopLeft();
    CurrentClip = TRect(0, 0, FWidth, FHeight);
    FSavedClips.clear();
}

void TRLGraphicSurface::Clear()
{
    DetachObjects();
    FontNames.clear();
    MacroValues.clear();
    WritePos = TPoint(0, 0);
    Dirty = true;
}

void TRLGraphicSurface::BeginRecord()
{
    Open();
    Dirty = true;
}

TRLFillRectObject* TRLGraphicSurface::FillRect(const TRect& Rect)
{
    BeginRecord();
    auto* object = new TRLFillRectObject(this);
    object->BoundsRect = Rect;
    object->Brush.FromBrush(*FCurrentBrush);
    return object;
}

TRLRectangleObject* TRLGraphicSurface::Rectangle(int Left, int Top, int Right, int Bottom)
{
    BeginRecord();
    auto* object = new TRLRectangleObject(this);
    object->BoundsRect = TRect(Left, Top, Right, Bottom);
    object->Pen.FromPen(*FCurrentPen);
    object->Brush.FromBrush(*FCurrentBrush);
    return object;
}

TRLPolygonObject* TRLGraphicSurface::Polygon(const TRLPointArray& Points)
{
    BeginRecord();
    auto* object = new TRLPolygonObject(this);
    object->Points = Points;
    if (!Points.isEmpty()) {
        TRect bounds(Points.first().x(), Points.first().y(), Points.first().x(), Points.first().y());
        for (const TPoint& p : Points) {
            bounds.Left = std::min(bounds.Left, p.x());
            bounds.Top = std::min(bounds.Top, p.y());
            bounds.Right = std::max(bounds.Right, p.x());
            bounds.Bottom = std::max(bounds.Bottom, p.y());
        }
        object->BoundsRect = bounds;
    }
    object->Pen.FromPen(*FCurrentPen);
    object->Brush.FromBrush(*FCurrentBrush);
    return object;
}

TRLTextObject* TRLGraphicSurface::WriteText(const TRect& Rect, int X, int Y, const QString& Text,
    TRLMetaTextAlignment Alignment, TRLMetaTextLayout Layout, uint16_t TextFlags)
{
    BeginRecord();
    auto* object = new TRLTextObject(this);
    object->BoundsRect = Rect;
    object->Origin = TPoint(X, Y);
    object->Text = Text;
    object->Alignment = Alignment;
    object->Layout = Layout;
    object->TextFlags = TextFlags;
    object->Brush.FromBrush(*FCurrentBrush);
    object->Font.FromFont(*FCurrentFont);
    return object;
}

TRLImageObject* TRLGraphicSurface::Draw(int X, int Y, const TGraphic* Graphic, bool IntegralWidth)
{
    const int width = Graphic ? Graphic->Width() : 0;
    const int height = Graphic ? Graphic->Height() : 0;
    return StretchDraw(TRect(X, Y, X + width, Y + height), Graphic, IntegralWidth);
}

TRLImageObject* TRLGraphicSurface::StretchDraw(const TRect& Rect, const TGraphic* Graphic, bool IntegralWidth)
{
    BeginRecord();
    auto* object = new TRLImageObject(this);
    object->BoundsRect = Rect;
    object->Data = GraphicToImageData(Graphic);
    object->IntegralWidth = IntegralWidth;
    return object;
}

void TRLGraphicSurface::SetClipRect(const TRect& Rect)
{
    BeginRecord();
    auto* object = new TRLSetClipRectObject(this);
    object->BoundsRect = Rect;
    FSavedClips.append(CurrentClip);
    CurrentClip = Rect;
}

void TRLGraphicSurface::ResetClipRect()
{
    // An unmatched reset would leave the drawing code popping a clip nobody pushed.
    if (FSavedClips.isEmpty())
        return;
    BeginRecord();
    auto* object = new TRLResetClipRectObject(this);
    object->BoundsRect = CurrentClip;
    CurrentClip = FSavedClips.takeLast();
}

void TRLGraphicSurface::DrawSurface(int X, int Y, const TRLGraphicSurface* Source)
{
    if (!Source)
        return;
    BeginRecord();
    // Counted first, so that copying a page into itself ends.
    const std::size_t count = Source->FObjects.size();
    for (std::size_t i = 0; i < count; ++i)
        Source->FObjects[i]->Clone(this)->Offset(X, Y);
}

void TRLGraphicSurface::DrawSurfaceRect(
    const TRect& DestRect, const TRLGraphicSurface* Source, const TRect& SourceRect)
{
    if (!Source || SourceRect.Width() <= 0 || SourceRect.Height() <= 0)
        return;
    const double xFactor = double(DestRect.Width()) / double(SourceRect.Width());
    const double yFactor = double(DestRect.Height()) / double(SourceRect.Height());
    const int dx = DestRect.Left - RoundToPixel(static_cast<long double>(SourceRect.Left) * xFactor);
    const int dy = DestRect.Top - RoundToPixel(static_cast<long double>(SourceRect.Top) * yFactor);
    const std::size_t count = Source->FObjects.size();
    SetClipRect(DestRect);
    try {
        for (std::size_t i = 0; i < count; ++i) {
            const TRLGraphicObject* object = Source->FObjects[i];
            const TRect& r = object->BoundsRect;
            const bool meets = std::max(r.Left, SourceRect.Left) < std::min(r.Right, SourceRect.Right)
                && std::max(r.Top, SourceRect.Top) < std::min(r.Bottom, SourceRect.Bottom);
            if (!meets)
                continue;
            TRLGraphicObject* copy = object->Clone(this);
            copy->ScaleBy(xFactor, yFactor);
            copy->Offset(dx, dy);
        }
    } catch (...) {
        ResetClipRect();
        throw;
    }
    ResetClipRect();
}

void TRLGraphicSurface::Adopt(TRLGraphicObject* Object)
{
    if (Object->Kind() == okText) {
        auto* text = static_cast<TRLTextObject*>(Object);
        const QString name = text->Font.Name(); // read through the page it comes from
        Object->FSurface = this;
        text->Font.NameIndex = FontNameIndex(name);
    } else {
        Object->FSurface = this;
    }
    FObjects.push_back(Object);
}

void TRLGraphicSurface::MoveSurface(int X, int Y, TRLGraphicSurface* Source)
{
    if (!Source)
        return;
    if (Source == this) {
        DrawSurface(X, Y, Source);
        return;
    }
    BeginRecord();
    std::vector<TRLGraphicObject*> objects;
    objects.swap(Source->FObjects);
    Source->Dirty = true;
    FObjects.reserve(FObjects.size() + objects.size());
    for (TRLGraphicObject* object : objects) {
        Adopt(object);
        object->Offset(X, Y);
    }
}

void TRLGraphicSurface::MoveSurfaceRect(
    const TRect& DestRect, TRLGraphicSurface* Source, const TRect& SourceRect)
{
    if (!Source)
        return;
    if (Source == this) {
        DrawSurfaceRect(DestRect, Source, SourceRect);
        return;
    }
    if (SourceRect.Width() <= 0 || SourceRect.Height() <= 0)
        return;
    const double xFactor = double(DestRect.Width()) / double(SourceRect.Width());
    const double yFactor = double(DestRect.Height()) / double(SourceRect.Height());
    const int dx = DestRect.Left - RoundToPixel(static_cast<long double>(SourceRect.Left) * xFactor);
    const int dy = DestRect.Top - RoundToPixel(static_cast<long double>(SourceRect.Top) * yFactor);
    const bool unscaled = xFactor == 1.0 && yFactor == 1.0;
    SetClipRect(DestRect);
    std::vector<TRLGraphicObject*> objects;
    objects.swap(Source->FObjects);
    Source->Dirty = true;
    std::size_t next = 0;
    try {
        FObjects.reserve(FObjects.size() + objects.size() + 1);
        for (; next < objects.size(); ++next) {
            TRLGraphicObject* object = objects[next];
            const TRect& r = object->BoundsRect;
            const bool meets = std::max(r.Left, SourceRect.Left) < std::min(r.Right, SourceRect.Right)
                && std::max(r.Top, SourceRect.Top) < std::min(r.Bottom, SourceRect.Bottom);
            if (!meets) {
                object->FSurface = nullptr;
                delete object;
                continue;
            }
            Adopt(object);
            if (!unscaled)
                object->ScaleBy(xFactor, yFactor);
            object->Offset(dx, dy);
        }
    } catch (...) {
        // What was not moved yet is freed, as the source's next Clear would have done.
        for (std::size_t i = next; i < objects.size(); ++i) {
            if (objects[i]->FSurface == Source) {
                objects[i]->FSurface = nullptr;
                delete objects[i];
            }
        }
        ResetClipRect();
        throw;
    }
    ResetClipRect();
}

void TRLGraphicSurface::SetFont(const TFont& Font)
{
    FCurrentFont->Assign(&Font);
}

void TRLGraphicSurface::SetPen(const TPen& Pen)
{
    FCurrentPen->Assign(&Pen);
}

void TRLGraphicSurface::SetBrush(const TBrush& Brush)
{
    FCurrentBrush->Assign(&Brush);
}

int TRLGraphicSurface::TextWidth(const QString& Text) const
{
    return ::TextWidth(*FCurrentFont, Text);
}

int TRLGraphicSurface::TextHeight(const QString& Text) const
{
    return ::TextHeight(*FCurrentFont, Text);
}

bool TRLGraphicSurface::FindCutRow(int NearY, int& Y) const
{
    Y = NearY;
    // Y only ever moves up to a text's top, so the passes end.
    bool changed = true;
    while (changed && Y > 0) {
        changed = false;
        for (const TRLGraphicObject* object : FObjects) {
            if (object->Kind() != okText)
                continue;
            const auto* text = static_cast<const TRLTextObject*>(object);
            if ((text->TextFlags & TextFlagKeepWhole) && text->BoundsRect.Top < Y
                && Y < text->BoundsRect.Bottom) {
                Y = text->BoundsRect.Top;
                changed = true;
            }
        }
    }
    return Y > 0;
}

int TRLGraphicSurface::FontNameIndex(const QString& Name)
{
    // Called for every text object recorded or copied. Case folding maps each UTF-16 unit to one
    // unit, so names of another length never match and an exact match needs no folding.
    for (qsizetype i = 0; i < FontNames.size(); ++i) {
        const QString& known = FontNames.at(i);
        if (known.size() == Name.size() && (known == Name || known.compare(Name, Qt::CaseInsensitive) == 0))
            return int(i);
    }
    FontNames.append(Name);
    return int(FontNames.size() - 1);
}

int TRLGraphicSurface::Orientation() const
{
    bool ok = false;
    const int value = MacroValue(MacroValues, QStringLiteral("Orientation")).toInt(&ok);
    return ok ? value : 1;
}

void TRLGraphicSurface::SetOrientation(int Value)
{
    SetMacroValue(MacroValues, QStringLiteral("Orientation"), QString::number(Value));
    Dirty = true;
}

double TRLGraphicSurface::PaperWidth() const
{
    return TextToMillimetres(MacroValue(MacroValues, QStringLiteral("PaperWidth")));
}

void TRLGraphicSurface::SetPaperWidth(double Value)
{
    SetMacroValue(MacroValues, QStringLiteral("PaperWidth"), MillimetresToText(Value));
    Dirty = true;
}

double TRLGraphicSurface::PaperHeight() const
{
    return TextToMillimetres(MacroValue(MacroValues, QStringLiteral("PaperHeight")));
}

void TRLGraphicSurface::SetPaperHeight(double Value)
{
    SetMacroValue(MacroValues, QStringLiteral("PaperHeight"), MillimetresToText(Value));
    Dirty = true;
}

// --- bytes --------------------------------------------------------------------------------------

void TRLGraphicSurface::SaveToStream(TRLStreamWriter& Stream) const
{
    Stream.Bytes(SurfaceSignature, SurfaceSignatureSize);
    Stream.Int32(FWidth);
    Stream.Int32(FHeight);
    Stream.Strings(MacroValues);
    Stream.Strings(FontNames);
    Stream.Int32(int32_t(FObjects.size()));
    for (const TRLGraphicObject* object : FObjects) {
        Stream.Byte(uint8_t(object->Kind()));
        const qsizetype sizePos = Stream.Size();
        Stream.Int32(0);
        object->SaveToStream(Stream);
        Stream.PatchInt32(sizePos, int32_t(Stream.Size() - sizePos - 4));
    }
}

void TRLGraphicSurface::LoadFromStream(TRLStreamReader& Stream)
{
    try {
        LoadBody(Stream);
    } catch (...) {
        // A damaged body leaves an empty page, never half of one.
        Clear();
        throw;
    }
    Dirty = false;
}

void TRLGraphicSurface::LoadBody(TRLStreamReader& Stream)
{
    Clear();
    // The signature runs to its end-of-text byte; at most 20 bytes are looked at.
    char signature[20];
    int length = 0;
    while (length < 20) {
        const char c = char(Stream.ReadByte());
        signature[length++] = c;
        if (c == '\x1A')
            break;
    }
    if (length != SurfaceSignatureSize || std::memcmp(signature, SurfaceSignature, SurfaceSignatureSize) != 0)
        RaiseFileCorrupted();
    FWidth = Stream.ReadInt32();
    FHeight = Stream.ReadInt32();
    MacroValues.append(Stream.ReadStrings());
    FontNames.append(Stream.ReadStrings());
    const int32_t count = Stream.ReadCount(MinObjectRecordSize);
    FObjects.reserve(std::size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t code = Stream.ReadByte();
        const int32_t size = Stream.ReadInt32();
        // Each body is read within its own size, so a damaged one cannot run into the next; bytes a
        // newer writer added after the fields we know are skipped.
        TRLStreamReader body = Stream.SubReader(size);
        if (TRLGraphicObject* object = TRLGraphicObject::Create(code, this))
            object->LoadFromStream(body);
    }
}

QByteArray TRLGraphicSurface::SaveToBytes() const
{
    TRLStreamWriter stream;
    SaveToStream(stream);
    return stream.TakeData();
}

void TRLGraphicSurface::LoadFromBytes(const QByteArray& Bytes)
{
    TRLStreamReader stream(Bytes);
    LoadFromStream(stream);
}

QByteArray TRLGraphicSurface::SaveToBytes(TRLFullTexts& FullTexts) const
{
    TRLStreamWriter stream;
    SaveToStream(stream);
    FullTexts = stream.FullTexts();
    return stream.TakeData();
}

void TRLGraphicSurface::LoadFromBytes(const QByteArray& Bytes, const TRLFullTexts& FullTexts)
{
    TRLStreamReader stream(Bytes, &FullTexts);
    LoadFromStream(stream);
}
