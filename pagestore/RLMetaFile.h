#pragma once
// Prepared pages as device-independent recordings, and the page store that keeps them.
//
// A page (TRLGraphicSurface) owns an ordered list of drawing objects in report pixels; the drawing
// order is the list order. Every object belongs to exactly one page: constructing it appends it to the
// page, destroying it removes it. Pens, brushes and fonts are values inside their object.
//
// The page store (TRLGraphicStorage) owns the pages handed to Add. Every stored page is serialized at
// once into a swap file, and at most five pages stay in memory: a page returned by Pages() belongs to
// the store and is only good until later Pages() calls have brought five other pages in. A store
// created without an owner is shared by reference and frees itself when its last link goes.
//
// Threads: a store and the pages it hands out belong to one thread, the one that fills it. Another
// thread reads pages through a TRLPageReader of its own, which never touches the store's cache or
// its swap file position: it reads the records with its own handle of the swap file, and only the
// table of records is shared, under a lock. So a background run can read every page while the
// preview pages through the same store, and a writer could follow a store that is still being
// filled.
#include "platform/ByteWriter.h"
#include "platform/Component.h"
#include "platform/Graphics.h"
#include "platform/Rect.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QFile;
class QIODevice;
class TRLCanvas;
class TRLGraphicObject;
class TRLGraphicStorage;
class TRLGraphicSurface;
class TRLPageReader;
struct TRLSwapIndex;

// ---------------------------------------------------------------------------------------------------
// Byte streams of page records. Everything is little-endian; text is Windows-1252.

// Texts that Windows-1252 cannot hold, keyed by the position of their length field in a record. The
// swap file keeps them beside the page record, so a page read back from it has its full text, while
// the record itself (and the page store file made from it) keeps the 8-bit text.
using TRLFullTexts = QHash<qsizetype, QString>;

// One page is built here and written in one piece. Its first buffer is larger than a short
// record's: a page writes thousands of fields.
class TRLStreamWriter : public TByteWriter
{
public:
    TRLStreamWriter()
        : TByteWriter(256)
    { }
    // An int32 byte length followed by the Windows-1252 bytes of Text. A text the code page cannot
    // hold is also noted in FullTexts.
    void String(const QString& Text);
    // An int32 count followed by one string per line.
    void Strings(const QStringList& Lines);

    QByteArray TakeData()
    {
        FFullTexts.clear();
        return TByteWriter::TakeData();
    }
    // The texts written so far that lost characters to the code page.
    const TRLFullTexts& FullTexts() const { return FFullTexts; }

private:
    TRLFullTexts FFullTexts;
};

// Reads a bounded piece of memory that it does not own. It never trusts a count or a length beyond
// the bytes that remain: any shortfall raises EReadError "File is corrupted!".
class TRLStreamReader
{
public:
    TRLStreamReader(const char* Data, qsizetype Size)
        : FData(Data)
        , FSize(Size < 0 ? 0 : Size)
    { }
    explicit TRLStreamReader(const QByteArray& Data)
        : TRLStreamReader(Data.constData(), Data.size())
    { }
    // A reader whose strings come from FullTexts where it has one for their position (not owned;
    // it must outlive the reader and the readers taken from it).
    TRLStreamReader(const QByteArray& Data, const TRLFullTexts* FullTexts)
        : TRLStreamReader(Data.constData(), Data.size())
    {
        FFullTexts = FullTexts && !FullTexts->isEmpty() ? FullTexts : nullptr;
    }

    uint8_t ReadByte();
    uint16_t ReadWord();
    int32_t ReadInt32();
    // A length (int32, never negative) and that many bytes, checked against what remains.
    QByteArray ReadBytes(qsizetype Size);
    QString ReadString();
    QStringList ReadStrings();
    // An int32 count of items that each take at least MinItemSize bytes; a count that cannot fit in
    // what remains is corruption, so callers may reserve for it safely.
    int32_t ReadCount(qsizetype MinItemSize);
    void Skip(qsizetype Size);
    // A reader over the next Size bytes, which this reader skips.
    TRLStreamReader SubReader(qsizetype Size);

    qsizetype Position() const { return FPos; }
    qsizetype Remaining() const { return FSize - FPos; }
    bool AtEnd() const { return FPos >= FSize; }

private:
    const char* Take(qsizetype Size);
    const char* FData;
    qsizetype FSize;
    qsizetype FPos = 0;
    // Where FData lies in the record FFullTexts refers to.
    qsizetype FBase = 0;
    const TRLFullTexts* FFullTexts = nullptr;
};

// Raises EReadError with the text "File is corrupted!".
[[noreturn]] void RaiseFileCorrupted();

// ---------------------------------------------------------------------------------------------------
// Recorded colours, pens, brushes and fonts.

struct TRLMetaColor
{
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    friend bool operator==(const TRLMetaColor&, const TRLMetaColor&) = default;
};

// System colours are resolved to their current RGB value first.
TRLMetaColor ToMetaColor(TColor Color);
TColor FromMetaColor(TRLMetaColor Color);

// The platform's enumerations plus one, as stored in one byte. Any byte may arrive from a file, so the
// conversions back to the platform map unknown values to the default.
enum TRLMetaPenMode : uint8_t {
    MetaPenModeBlack = 1,
    MetaPenModeWhite,
    MetaPenModeNop,
    MetaPenModeNot,
    MetaPenModeCopy,
    MetaPenModeNotCopy,
    MetaPenModeMergePenNot,
    MetaPenModeMaskPenNot,
    MetaPenModeMergeNotPen,
    MetaPenModeMaskNotPen,
    MetaPenModeMerge,
    MetaPenModeNotMerge,
    MetaPenModeMask,
    MetaPenModeNotMask,
    MetaPenModeXor,
    MetaPenModeNotXor
};

enum TRLMetaPenStyle : uint8_t {
    MetaPenStyleSolid = 1,
    MetaPenStyleDash,
    MetaPenStyleDot,
    MetaPenStyleDashDot,
    MetaPenStyleDashDotDot,
    MetaPenStyleClear,
    MetaPenStyleInsideFrame
};

enum TRLMetaBrushStyle : uint8_t {
    MetaBrushStyleSolid = 1,
    MetaBrushStyleClear,
    MetaBrushStyleHorizontal,
    MetaBrushStyleVertical,
    MetaBrushStyleFDiagonal,
    MetaBrushStyleBDiagonal,
    MetaBrushStyleCross,
    MetaBrushStyleDiagCross
};

enum TRLMetaFontPitch : uint8_t { MetaFontPitchDefault = 1, MetaFontPitchVariable, MetaFontPitchFixed };

// Bit set, as the platform's font style.
using TRLMetaFontStyles = uint8_t;
enum TRLMetaFontStyle : uint8_t {
    MetaFontStyleBold = 1,
    MetaFontStyleItalic = 2,
    MetaFontStyleUnderline = 4,
    MetaFontStyleStrikeOut = 8
};

// Note the order: layout 2 is bottom and 3 is center, unlike the alignment.
enum TRLMetaTextAlignment : uint8_t {
    MetaTextAlignmentLeft = 1,
    MetaTextAlignmentRight,
    MetaTextAlignmentCenter,
    MetaTextAlignmentJustify
};
enum TRLMetaTextLayout : uint8_t { MetaTextLayoutTop = 1, MetaTextLayoutBottom, MetaTextLayoutCenter };

// Text flags, combinable.
constexpr uint16_t TextFlagAutoSize = 1; // drawn without clipping to its rectangle
constexpr uint16_t TextFlagKeepWhole = 4; // a page cut must not pass through the text

TRLMetaPenMode ToMetaPenMode(TPenMode Mode);
TPenMode FromMetaPenMode(TRLMetaPenMode Mode);
TRLMetaPenStyle ToMetaPenStyle(TPenStyle Style);
TPenStyle FromMetaPenStyle(TRLMetaPenStyle Style);
TRLMetaBrushStyle ToMetaBrushStyle(TBrushStyle Style);
TBrushStyle FromMetaBrushStyle(TRLMetaBrushStyle Style);
TRLMetaFontPitch ToMetaFontPitch(TFontPitch Pitch);
TFontPitch FromMetaFontPitch(TRLMetaFontPitch Pitch);
TRLMetaFontStyles ToMetaFontStyles(TFontStyles Styles);
TFontStyles FromMetaFontStyles(TRLMetaFontStyles Styles);

// Rounding of report values: to nearest, ties to even, on a product taken in extended precision;
// results beyond the int range are clamped rather than left undefined.
int RoundToPixel(long double Value);

class TRLMetaPen
{
public:
    TRLMetaColor Color;
    TRLMetaPenMode Mode = MetaPenModeCopy;
    TRLMetaPenStyle Style = MetaPenStyleSolid;
    int32_t Width = 0;

    void FromPen(const TPen& Pen);
    void ToPen(TPen& Pen) const;
    // A width of 0 stays 0 (the thinnest line); any other never drops below 1.
    void ScaleBy(double Factor);
    void SaveToStream(TRLStreamWriter& Stream) const;
    void LoadFromStream(TRLStreamReader& Stream);
    friend bool operator==(const TRLMetaPen&, const TRLMetaPen&) = default;
};

class TRLMetaBrush
{
public:
    TRLMetaColor Color;
    TRLMetaBrushStyle Style = MetaBrushStyleSolid;

    void FromBrush(const TBrush& Brush);
    void ToBrush(TBrush& Brush) const;
    void SaveToStream(TRLStreamWriter& Stream) const;
    void LoadFromStream(TRLStreamReader& Stream);
    friend bool operator==(const TRLMetaBrush&, const TRLMetaBrush&) = default;
};

// The face name lives in the owning page's FontNames, once per page; the font keeps its index.
class TRLMetaFont
{
public:
    explicit TRLMetaFont(TRLGraphicObject* AOwner)
        : FOwner(AOwner)
    { }
    TRLMetaFont(const TRLMetaFont&) = delete;
    TRLMetaFont& operator=(const TRLMetaFont&) = delete;

    int32_t PixelsPerInch = 72;
    uint8_t Charset = 0;
    TRLMetaColor Color;
    int32_t Height = 0; // kept for the record; drawing goes by Size
    int32_t NameIndex = 0;
    TRLMetaFontPitch Pitch = MetaFontPitchDefault;
    int32_t Size = 0;
    TRLMetaFontStyles Style = 0;

    // Empty when the index is outside the page's FontNames (a damaged record).
    QString Name() const;
    void SetName(const QString& Name);

    // Copies every field; the face name goes through this font's page.
    void Assign(const TRLMetaFont& Source);
    void FromFont(const TFont& Font);
    void ToFont(TFont& Font) const;
    void SaveToStream(TRLStreamWriter& Stream) const;
    void LoadFromStream(TRLStreamReader& Stream);

private:
    TRLGraphicObject* FOwner;
};

// ---------------------------------------------------------------------------------------------------
// Page objects. The type codes are what a page record stores.

enum TRLGraphicObjectKind {
    okPixel = 1,
    okLine,
    okRectangle,
    okText,
    okFillRect,
    okEllipse,
    okPolygon,
    okPolyline,
    okImage,
    okSetClipRect,
    okResetClipRect
};

using TRLPointArray = QList<TPoint>;

// The process-wide group counter: adds one and returns the new value. Every object records the value
// current at its creation, so all objects one control draws share a number.
int NewGroupId();

class TRLGraphicObject
{
public:
    explicit TRLGraphicObject(TRLGraphicSurface* ASurface);
    virtual ~TRLGraphicObject();
    TRLGraphicObject(const TRLGraphicObject&) = delete;
    TRLGraphicObject& operator=(const TRLGraphicObject&) = delete;

    TRLGraphicSurface* Surface() const { return FSurface; }
    virtual TRLGraphicObjectKind Kind() const = 0;

    TRect BoundsRect;
    int32_t GroupId;
    int32_t Reserved = 0;
    int32_t Tag = 0; // never stored: a scratch value for filters

    virtual void SaveToStream(TRLStreamWriter& Stream) const;
    virtual void LoadFromStream(TRLStreamReader& Stream);
    // Draws the object on Canvas: a report coordinate v lands on X + round(v x XFactor) across and
    // Y + round(v x YFactor) down. Painting never changes the object or its page.
    virtual void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const = 0;
    // Copies the base fields, then the kind's own fields when Source is of the same kind.
    virtual void Assign(const TRLGraphicObject* Source);
    virtual void Offset(int DX, int DY);
    virtual void ScaleBy(double XFactor, double YFactor);

    // A new object of the same kind on Target, assigned from this one.
    TRLGraphicObject* Clone(TRLGraphicSurface* Target) const;
    // A new object of the given kind on Surface; nullptr for a code no kind has.
    static TRLGraphicObject* Create(int TypeCode, TRLGraphicSurface* Surface);

private:
    friend class TRLGraphicSurface;
    TRLGraphicSurface* FSurface;
};

class TRLPixelObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okPixel; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
    TRLMetaColor Color;
    void SaveToStream(TRLStreamWriter& Stream) const override;
    void LoadFromStream(TRLStreamReader& Stream) override;
    void Assign(const TRLGraphicObject* Source) override;
};

class TRLLineObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okLine; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
    TPoint FromPoint;
    TPoint ToPoint;
    TRLMetaPen Pen;
    TRLMetaBrush Brush;
    void SaveToStream(TRLStreamWriter& Stream) const override;
    void LoadFromStream(TRLStreamReader& Stream) override;
    void Assign(const TRLGraphicObject* Source) override;
    void Offset(int DX, int DY) override;
    void ScaleBy(double XFactor, double YFactor) override;
};

// Rectangle and ellipse share their fields and bytes.
class TRLPenBrushObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLMetaPen Pen;
    TRLMetaBrush Brush;
    void SaveToStream(TRLStreamWriter& Stream) const override;
    void LoadFromStream(TRLStreamReader& Stream) override;
    void Assign(const TRLGraphicObject* Source) override;
    void ScaleBy(double XFactor, double YFactor) override;
};

class TRLRectangleObject : public TRLPenBrushObject
{
public:
    using TRLPenBrushObject::TRLPenBrushObject;
    TRLGraphicObjectKind Kind() const override { return okRectangle; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
};

class TRLEllipseObject : public TRLPenBrushObject
{
public:
    using TRLPenBrushObject::TRLPenBrushObject;
    TRLGraphicObjectKind Kind() const override { return okEllipse; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
};

class TRLTextObject : public TRLGraphicObject
{
public:
    explicit TRLTextObject(TRLGraphicSurface* ASurface)
        : TRLGraphicObject(ASurface)
        , Font(this)
    { }
    TRLGraphicObjectKind Kind() const override { return okText; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
    TRLMetaBrush Brush;
    TRLMetaFont Font;
    QString Text; // unexpanded: consumers show DisplayText()
    TPoint Origin;
    TRLMetaTextAlignment Alignment = MetaTextAlignmentLeft;
    TRLMetaTextLayout Layout = MetaTextLayoutTop;
    uint16_t TextFlags = TextFlagAutoSize | TextFlagKeepWhole;

    // Text with every "{Name}" known to the page's or the store's MacroValues replaced by its value.
    QString DisplayText() const;

    void SaveToStream(TRLStreamWriter& Stream) const override;
    void LoadFromStream(TRLStreamReader& Stream) override;
    void Assign(const TRLGraphicObject* Source) override;
    void Offset(int DX, int DY) override;
    void ScaleBy(double XFactor, double YFactor) override;
};

class TRLFillRectObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okFillRect; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
    TRLMetaBrush Brush;
    void SaveToStream(TRLStreamWriter& Stream) const override;
    void LoadFromStream(TRLStreamReader& Stream) override;
    void Assign(const TRLGraphicObject* Source) override;
};

class TRLPolygonObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okPolygon; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
    TRLMetaPen Pen;
    TRLMetaBrush Brush;
    TRLPointArray Points;
    void SaveToStream(TRLStreamWriter& Stream) const override;
    void LoadFromStream(TRLStreamReader& Stream) override;
    void Assign(const TRLGraphicObject* Source) override;
    void Offset(int DX, int DY) override;
    void ScaleBy(double XFactor, double YFactor) override;
};

class TRLPolylineObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okPolyline; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
    TRLMetaPen Pen;
    TRLPointArray Points;
    void SaveToStream(TRLStreamWriter& Stream) const override;
    void LoadFromStream(TRLStreamReader& Stream) override;
    void Assign(const TRLGraphicObject* Source) override;
    void Offset(int DX, int DY) override;
    void ScaleBy(double XFactor, double YFactor) override;
};

class TRLImageObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okImage; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
    // "BMP" + a bitmap file, "ICO" + an icon file, or "NIL" for no picture.
    QByteArray Data;
    bool IntegralWidth = false;
    void SaveToStream(TRLStreamWriter& Stream) const override;
    void LoadFromStream(TRLStreamReader& Stream) override;
    void Assign(const TRLGraphicObject* Source) override;
};

// The clip rectangle is BoundsRect.
class TRLSetClipRectObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okSetClipRect; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
};

// BoundsRect holds the clip rectangle that was current when the reset was recorded.
class TRLResetClipRectObject : public TRLGraphicObject
{
public:
    using TRLGraphicObject::TRLGraphicObject;
    TRLGraphicObjectKind Kind() const override { return okResetClipRect; }
    void PaintTo(TRLCanvas& Canvas, double XFactor, double YFactor, int X, int Y) const override;
};

// The tagged image bytes for a graphic: bitmaps and icons as their own files, anything else drawn
// into a bitmap of the same size, and "NIL" for no graphic or an empty one.
QByteArray GraphicToImageData(const TGraphic* Graphic);

// ---------------------------------------------------------------------------------------------------
// Name=value lists (page and report values). Names compare case-insensitively; setting an empty
// value removes the line, and a new name goes to the end.

QString MacroValue(const QStringList& Values, const QString& Name, bool* Found = nullptr);
void SetMacroValue(QStringList& Values, const QString& Name, const QString& Value);

// ---------------------------------------------------------------------------------------------------

class TRLGraphicSurface
{
public:
    TRLGraphicSurface();
    ~TRLGraphicSurface();
    TRLGraphicSurface(const TRLGraphicSurface&) = delete;
    TRLGraphicSurface& operator=(const TRLGraphicSurface&) = delete;

    TRLGraphicStorage* Storage() const { return FStorage; }
    // Leaving a store takes the page out of that store's cache (without freeing it); a page that
    // changes store starts a new slot there.
    void SetStorage(TRLGraphicStorage* AStorage);
    int SlotIndex() const { return FSlotIndex; }

    int ObjectCount() const { return int(FObjects.size()); }
    TRLGraphicObject* Objects(int Index) const { return FObjects.at(std::size_t(Index)); }

    int Width() const { return FWidth; }
    void SetWidth(int Value);
    int Height() const { return FHeight; }
    void SetHeight(int Value);

    TPoint WritePos;
    TRect MarginRect;
    bool Dirty = false;
    bool IsOpen() const { return FIsOpen; }

    TBrush& CurrentBrush() { return *FCurrentBrush; }
    TFont& CurrentFont() { return *FCurrentFont; }
    TPen& CurrentPen() { return *FCurrentPen; }

    QStringList FontNames;
    QStringList MacroValues;
    TRect CurrentClip;
    int SavedClipCount() const { return int(FSavedClips.size()); }

    void Open();
    void Close() { FIsOpen = false; }
    // Frees all objects and empties FontNames and MacroValues.
    void Clear();

    // Recording operations: each opens the page, marks it dirty and appends one object that copies
    // the current state. They return the new object, which the page owns.
    TRLFillRectObject* FillRect(const TRect& Rect);
    TRLRectangleObject* Rectangle(int Left, int Top, int Right, int Bottom);
    TRLRectangleObject* Rectangle(const TRect& Rect)
    {
        return Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
    }
    TRLPolygonObject* Polygon(const TRLPointArray& Points);
    TRLTextObject* WriteText(const TRect& Rect, int X, int Y, const QString& Text,
        TRLMetaTextAlignment Alignment, TRLMetaTextLayout Layout, uint16_t TextFlags);
    TRLImageObject* Draw(int X, int Y, const TGraphic* Graphic, bool IntegralWidth = false);
    TRLImageObject* StretchDraw(const TRect& Rect, const TGraphic* Graphic, bool IntegralWidth = false);
    void SetClipRect(const TRect& Rect);
    // Ends the innermost SetClipRect. Without one open it records nothing and changes nothing.
    void ResetClipRect();
    // Copies of every object of Source, moved by (X, Y). Source may be this page.
    void DrawSurface(int X, int Y, const TRLGraphicSurface* Source);
    // The objects of Source that meet SourceRect, scaled into DestRect and clipped to it. An empty
    // SourceRect copies nothing.
    void DrawSurfaceRect(const TRect& DestRect, const TRLGraphicSurface* Source, const TRect& SourceRect);
    // The same drawings as DrawSurface and DrawSurfaceRect, but Source's objects move here instead of
    // being copied, and Source is left without objects (objects outside SourceRect are freed). For a
    // site's drawing that is drawn once into its parent and then thrown away: every object of every
    // record would otherwise be copied and freed once per level of the report.
    void MoveSurface(int X, int Y, TRLGraphicSurface* Source);
    void MoveSurfaceRect(const TRect& DestRect, TRLGraphicSurface* Source, const TRect& SourceRect);

    void SetFont(const TFont& Font);
    void SetPen(const TPen& Pen);
    void SetBrush(const TBrush& Brush);
    int TextWidth(const QString& Text) const;
    int TextHeight(const QString& Text) const;

    // Whether a row at or above NearY, found in Y, can cut the page without passing through a
    // keep-whole text.
    bool FindCutRow(int NearY, int& Y) const;

    // Draws the page so that Width x Height fills Rect (a zero size counts as scale 1). The clip
    // state of the drawing lives in the canvas, so painting leaves the page's recording state alone;
    // the canvas ends unclipped with an empty clip stack, also when an object fails to draw.
    void PaintTo(TRLCanvas& Canvas, const TRect& Rect) const;

    // The index of Name in FontNames (case-insensitive), appended when absent.
    int FontNameIndex(const QString& Name);

    // The report values that resolve this page's placeholders after its own: its store's, or for a
    // page read by a page reader the reader's copy of them; null for a page on its own.
    const QStringList* ReportValues() const;

    // Page values.
    int Orientation() const;
    void SetOrientation(int Value);
    double PaperWidth() const;
    void SetPaperWidth(double Value);
    double PaperHeight() const;
    void SetPaperHeight(double Value);

    // The page body of a page record.
    void SaveToStream(TRLStreamWriter& Stream) const;
    void LoadFromStream(TRLStreamReader& Stream);
    QByteArray SaveToBytes() const;
    void LoadFromBytes(const QByteArray& Bytes);
    // The same with the texts the record's 8-bit text could not hold (see TRLFullTexts).
    QByteArray SaveToBytes(TRLFullTexts& FullTexts) const;
    void LoadFromBytes(const QByteArray& Bytes, const TRLFullTexts& FullTexts);

private:
    friend class TRLGraphicObject;
    friend class TRLGraphicStorage;
    friend class TRLPageReader;
    void BeginRecord();
    void DetachObjects();
    // Takes Object over from the page it is on, keeping its font name in this page's font list.
    void Adopt(TRLGraphicObject* Object);
    void LoadBody(TRLStreamReader& Stream);

    TRLGraphicStorage* FStorage = nullptr;
    const QStringList* FReaderValues = nullptr;
    int FSlotIndex = -1;
    std::vector<TRLGraphicObject*> FObjects;
    int FWidth = 0;
    int FHeight = 0;
    bool FIsOpen = false;
    std::unique_ptr<TBrush> FCurrentBrush;
    std::unique_ptr<TFont> FCurrentFont;
    std::unique_ptr<TPen> FCurrentPen;
    QList<TRect> FSavedClips;
};

// ---------------------------------------------------------------------------------------------------

// Where a stored page's record is in the swap file.
struct TRLPageSlot
{
    qint64 Offset; // of the record's length field in the swap file
    qint64 Length; // of the page body
    // Of the full texts written right after the body (texts the 8-bit record could not hold); every
    // reader of the record takes them with it.
    qint64 TextsLength = 0;
};

// What a store shares with its page readers: the table of records and the swap file's handle. The
// lock guards every field; the records themselves are never changed once written (a page stored
// again gets a new record), so they are read without it.
struct TRLSwapIndex
{
    std::mutex Lock;
    std::vector<TRLPageSlot> Slots;
    int Handle = -1; // the store's swap file descriptor, -1 while there is none
    // Changes whenever the table is emptied, so a reader never takes a record of one filling for a
    // page of another.
    quint64 Generation = 0;
};

class TRLGraphicStorage : public TComponent
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLGraphicStorage(TComponent* AOwner = nullptr);
    ~TRLGraphicStorage() override;

    // Users of a store hold a link while they use it; an ownerless store frees itself when the last
    // link goes (also when a linked component is destroyed).
    void Link(TComponent* Component);
    void Unlink(TComponent* Component);
    bool IsLinked(TComponent* Component) const { return FLinks.contains(Component); }
    int LinkCount() const { return int(FLinks.size()); }

    // Stores a finished page at the end of the swap file, caches it and takes ownership of it; when
    // it throws, the page is still the caller's.
    void Add(TRLGraphicSurface* Surface);
    // Forgets every page and report value; the swap file stays open, emptied.
    void Clear();
    int PageCount() const { return int(FPages.size()); }
    // The page from the cache or the swap file; nullptr for an index out of range or a page that
    // cannot be read back. The store keeps ownership.
    TRLGraphicSurface* Pages(int Index);
    // Stores again every cached page that changed.
    void Flush();
    int CachedPageCount() const { return int(FCache.size()); }
    bool IsCached(int Index) const;

    // The page store file.
    void SaveToFile(const QString& FileName);
    void SaveToStream(QIODevice& Stream);
    // Replaces the store's pages and values by those of a page store file. Damaged or hostile input
    // raises EReadError "File is corrupted!" and leaves the store empty.
    void LoadFromFile(const QString& FileName);
    void LoadFromStream(QIODevice& Stream);

    // Told of every page record the store writes to its swap file, a new page or a page stored
    // again, on the thread that stores it and before Add returns: the page's index and the record's
    // body, exactly as the page store file will hold it, with the texts its 8-bit text could not
    // hold. A pipelined export hands these to the thread that writes the output, which then never
    // touches the store while pages are added.
    using TPageStoredProc
        = std::function<void(int Index, const QByteArray& Body, const TRLFullTexts& FullTexts)>;
    void SetPageStoredProc(TPageStoredProc Proc) { FPageStored = std::move(Proc); }

    int FileVersion() const { return 3; }
    // The swap file's name; empty until the first page is stored.
    QString SwapFileName() const { return FSwapFileName; }

    QStringList MacroValues;

    int FirstPageNumber() const;
    void SetFirstPageNumber(int Value);
    int LastPageNumber() const;
    void SetLastPageNumber(int Value);
    int Orientation() const; // 1 portrait, 2 landscape
    void SetOrientation(int Value);
    double PaperWidth() const; // millimetres, portrait sense; -1 when negative
    void SetPaperWidth(double Value);
    double PaperHeight() const;
    void SetPaperHeight(double Value);
    QString Title() const;
    void SetTitle(const QString& Value);
    void SetWidth(int Value);
    void SetHeight(int Value);

    double OrientedPaperWidth() const;
    double OrientedPaperHeight() const;
    // In pixels; -1 when the millimetre value is negative.
    int OrientedWidth() const;
    int OrientedHeight() const;

protected:
    void Notification(TComponent* Component, TOperation Operation) override;

private:
    friend class TRLGraphicSurface;
    friend class TRLPageReader;
    using TPageSlot = TRLPageSlot;
    void StorePage(TRLGraphicSurface* Surface);
    TRLGraphicSurface* ReadPage(int Index);
    void AddToCache(TRLGraphicSurface* Surface);
    void RemoveFromCache(TRLGraphicSurface* Surface) { FCache.removeOne(Surface); }
    void OpenSwapFile();
    void CloseSwapFile();
    // A page record followed by the full texts of its strings that the 8-bit record lost: an int32
    // count, then per text its int32 position, int32 UTF-16 length and the UTF-16 code units.
    TPageSlot AppendToSwapFile(const QByteArray& Body, const TRLFullTexts& FullTexts = {});

    QList<TRLGraphicSurface*> FCache;
    // The table of records, shared with the page readers. Only this store's thread changes it, and
    // always under the index's lock; that thread reads it without the lock.
    std::shared_ptr<TRLSwapIndex> FIndex;
    std::vector<TPageSlot>& FPages;
    std::unique_ptr<QFile> FSwapFile;
    QString FSwapFileName;
    qint64 FSwapEnd = 0;
    QList<TComponent*> FLinks;
    bool FDestroying = false;
    TPageStoredProc FPageStored;
};

// A reader of one store's pages for a thread other than the store's (a filter run reads through one
// on any thread). Made on the store's thread: it stores the store's changed cached pages first, and
// keeps a copy of the store's report values, which resolve the placeholders of the pages it reads.
// After that it never touches the store object, so it may outlive it: the pages stored by then stay
// readable through its own handle of the swap file. A store emptied since reads as no pages.
//
// A page returned by Page() belongs to the reader and is good until the next Page() call or the
// reader's end. One reader serves one thread at a time.
class TRLPageReader
{
public:
    explicit TRLPageReader(TRLGraphicStorage* Storage);
    ~TRLPageReader();
    TRLPageReader(const TRLPageReader&) = delete;
    TRLPageReader& operator=(const TRLPageReader&) = delete;

    // The pages stored so far (0 once the store was emptied).
    int PageCount() const;
    // The page at Index, read from the swap file; null for an index out of range, a store emptied
    // since this reader was made, or a record that cannot be read back.
    TRLGraphicSurface* Page(int Index);
    const QStringList& ReportValues() const { return FReportValues; }

private:
    std::shared_ptr<TRLSwapIndex> FIndex;
    quint64 FGeneration = 0;
    int FHandle = -1; // our own duplicate of the swap file's descriptor
    QStringList FReportValues;
    std::unique_ptr<TRLGraphicSurface> FPage;
};

// Millimetre values as the page values write them: four decimals with a point, -1 when negative.
QString MillimetresToText(double Value);
// An unparsable or missing text reads as 0, a negative value as -1.
double TextToMillimetres(const QString& Text);
// round(mm x 96 / 25.4), or -1 for a negative value (an unknown paper size stays unknown).
int PaperMillimetresToPixels(double Value);
