#pragma once
// Colours, pens, brushes, fonts and pictures as the desktop platform knew them.
//
// Colours keep the platform's 32-bit form 0x00BBGGRR; a value with the top bit set is a system colour
// whose low byte indexes the classic system palette. ColorToRGB resolves system colours to one fixed
// classic palette, never to the desktop theme, so a report prints the same colours on every machine.
//
// TPen, TBrush and TFont are persistent objects owned by whoever creates them (a control, a page
// surface); they announce every real change once, through the Qt signal Changed() and the OnChange
// callback (sender first). A setter given the current value does nothing. Assign copies the whole
// state and announces at most one change.
//
// TGraphic is a picture value (bitmap, icon or any other image Qt reads), loaded from and saved to
// complete standard files. Loading never trusts the bytes: bad input raises EReadError.
#include "platform/Component.h"

#include <QBrush>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QString>
#include <functional>
#include <memory>

class QPainter;

using TColor = qint32;

// Standard colours (0x00BBGGRR).
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colours: the top bit marks them, the low byte is the palette index.
constexpr TColor clSystemColor = TColor(0x80000000u);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;
constexpr TColor clHotLight = clSystemColor | 26;
constexpr TColor clGradientActiveCaption = clSystemColor | 27;
constexpr TColor clGradientInactiveCaption = clSystemColor | 28;
constexpr TColor clMenuHighlight = clSystemColor | 29;
constexpr TColor clMenuBar = clSystemColor | 30;

// A system colour becomes its fixed classic RGB value; any other value is returned unchanged
// (clNone and clDefault included, as the platform did).
TColor ColorToRGB(TColor color);
// The colour to draw with: system colours resolved, clNone transparent, clDefault black.
QColor ToQColor(TColor color);
// An opaque colour from Qt; the alpha channel is dropped.
TColor FromQColor(const QColor& color);
inline constexpr int GetRValue(TColor color)
{
    return color & 0xFF;
}
inline constexpr int GetGValue(TColor color)
{
    return (color >> 8) & 0xFF;
}
inline constexpr int GetBValue(TColor color)
{
    return (color >> 16) & 0xFF;
}
inline constexpr TColor RGBToColor(int r, int g, int b)
{
    return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// Colour texts of definition files: a known name ("clWhite", "clBtnFace") or "$00BBGGRR".
QString ColorToString(TColor color);
bool IdentToColor(const QString& ident, TColor& color);
// Accepts a name, "$" hexadecimal or a decimal integer; anything else raises EConvertError.
TColor StringToColor(const QString& text);

// Integer a * b / c rounded to nearest with halves away from zero, as the platform's MulDiv;
// -1 when c is 0.
int MulDiv(int a, int b, int c);

// The platform's enumerations, in the platform's order (page records store value + 1).
namespace Gfx {
Q_NAMESPACE
enum TPenMode {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor
};
Q_ENUM_NS(TPenMode)
enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
Q_ENUM_NS(TPenStyle)
enum TBrushStyle {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};
Q_ENUM_NS(TBrushStyle)
// Scoped, because the paper sizes have an fpDefault of their own and the engine sees both.
enum class TFontPitch { fpDefault, fpVariable, fpFixed };
Q_ENUM_NS(TFontPitch)
enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
Q_DECLARE_FLAGS(TFontStyleSet, TFontStyle)
Q_FLAG_NS(TFontStyleSet)
} // namespace Gfx
Q_DECLARE_OPERATORS_FOR_FLAGS(Gfx::TFontStyleSet)
using namespace Gfx;

// The platform's set of font styles as plain bits (fsBold | fsItalic).
using TFontStyles = int;
constexpr TFontStyles AllFontStyles = fsBold | fsItalic | fsUnderline | fsStrikeOut;

// Set texts of definition files: "[fsBold, fsItalic]", "[]" for none.
QString FontStylesToString(TFontStyles styles);
// Reads the form above (names case-insensitive, blanks allowed); false on an unknown name.
bool StringToFontStyles(const QString& text, TFontStyles& styles);

// The face that stands in for a platform face on this system: "Arial"/"Helvetica" -> "Liberation
// Sans", "Times New Roman"/"Times" -> "Liberation Serif", "Courier New"/"Courier" -> "Liberation
// Mono", "MS Sans Serif"/"Microsoft Sans Serif"/"Verdana"/"Tahoma" -> "DejaVu Sans" (compared without
// regard to case). Any other face is returned unchanged and left to the font matching of the system.
QString SubstituteFaceName(const QString& face);

// Base of TPen, TBrush and TFont: counts nested updates so that a batch of changes is announced once.
class TGraphicsObject : public TPersistent
{
    Q_OBJECT
public:
    explicit TGraphicsObject(QObject* parent = nullptr)
        : TPersistent(parent)
    { }
    void BeginUpdate() { ++FUpdateCount; }
    // Ends a batch; announces one change when anything changed inside it.
    void EndUpdate();

signals:
    void Changed();

protected:
    // Announces a change now, or at the end of the current batch.
    void DoChange();
    virtual void FireOnChange() = 0;

private:
    int FUpdateCount = 0;
    bool FPendingChange = false;
};

class TPen : public TGraphicsObject
{
    Q_OBJECT
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(Gfx::TPenMode Mode READ Mode WRITE SetMode)
    Q_PROPERTY(Gfx::TPenStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
public:
    Q_INVOKABLE explicit TPen(QObject* parent = nullptr)
        : TGraphicsObject(parent)
    { }
    std::function<void(TPen*)> OnChange;

    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TPenMode Mode() const { return FMode; }
    void SetMode(TPenMode value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle value);
    int Width() const { return FWidth; }
    void SetWidth(int value);

    void Assign(const TPersistent* Source) override;
    // The pen to draw with; width 0 is the cosmetic one-pixel pen, psClear draws nothing.
    QPen ToQPen() const;

protected:
    void FireOnChange() override;

private:
    TColor FColor = clBlack;
    TPenMode FMode = pmCopy;
    TPenStyle FStyle = psSolid;
    int FWidth = 1;
};

class TBrush : public TGraphicsObject
{
    Q_OBJECT
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(Gfx::TBrushStyle Style READ Style WRITE SetStyle)
public:
    Q_INVOKABLE explicit TBrush(QObject* parent = nullptr)
        : TGraphicsObject(parent)
    { }
    std::function<void(TBrush*)> OnChange;

    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle value);

    void Assign(const TPersistent* Source) override;
    QBrush ToQBrush() const;

protected:
    void FireOnChange() override;

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
};

// Height is the master value: negative for the character (em) height in pixels, positive for the cell
// height; Size is derived from it through PixelsPerInch. Only Height is stored in definitions.
class TFont : public TGraphicsObject
{
    Q_OBJECT
    Q_PROPERTY(int Charset READ Charset WRITE SetCharset)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(Gfx::TFontPitch Pitch READ Pitch WRITE SetPitch)
    Q_PROPERTY(int Size READ Size WRITE SetSize STORED false)
    Q_PROPERTY(Gfx::TFontStyleSet Style READ StyleSet WRITE SetStyleSet)
    Q_PROPERTY(int PixelsPerInch READ PixelsPerInch WRITE SetPixelsPerInch STORED false)
public:
    Q_INVOKABLE explicit TFont(QObject* parent = nullptr)
        : TGraphicsObject(parent)
    { }
    std::function<void(TFont*)> OnChange;

    QString Name() const { return FName; }
    void SetName(const QString& value);
    int Size() const;
    void SetSize(int value);
    int Height() const { return FHeight; }
    void SetHeight(int value);
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles value);
    TFontStyleSet StyleSet() const { return TFontStyleSet(FStyle); }
    void SetStyleSet(TFontStyleSet value) { SetStyle(value.toInt()); }
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch value);
    int Charset() const { return FCharset; }
    void SetCharset(int value);
    // Changes how Size and Height relate; the height stays, so nothing visible changes and nothing
    // is announced.
    int PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int value);

    // Copies a font's state with one announcement. The height is copied; when the source counts
    // another PixelsPerInch its point size is kept instead, as the platform did.
    void Assign(const TPersistent* Source) override;
    bool IsEqual(const TFont& other) const;

    // Pixel height of the em square at this font's resolution (never below 1).
    int PixelEmHeight() const;
    // The real font we draw and measure with: the substituted face at PixelEmHeight pixels.
    QFont ToQFont() const;

protected:
    void FireOnChange() override;

private:
    QString FName = QStringLiteral("MS Sans Serif");
    int FHeight = -11;
    TColor FColor = clWindowText;
    TFontStyles FStyle = 0;
    TFontPitch FPitch = TFontPitch::fpDefault;
    int FCharset = 1;
    int FPixelsPerInch = 96;
};

enum TGraphicKind { gkBitmap, gkIcon, gkOther };

// A picture value. Bitmaps save as .bmp files, icons as .ico files, other pictures as the bytes they
// were loaded from (or PNG when built from an image). Copyable; an empty graphic has no image.
class TGraphic
{
public:
    TGraphic() = default;
    TGraphic(const QImage& image, TGraphicKind kind);

    TGraphicKind Kind() const { return FKind; }
    bool IsBitmap() const { return FKind == gkBitmap; }
    bool IsIcon() const { return FKind == gkIcon; }
    bool Empty() const { return FImage.isNull(); }
    int Width() const { return FImage.width(); }
    int Height() const { return FImage.height(); }
    QImage Image() const { return FImage; }

    // A complete file of the graphic's kind; empty for an empty graphic.
    QByteArray SaveToBytes() const;
    // Detects the format by content ("BM" bitmap, 00 00 01 00 icon, else any image Qt reads).
    // Raises EReadError on bytes that hold no valid picture, or one too large to be sane.
    static std::unique_ptr<TGraphic> LoadFromBytes(const QByteArray& bytes);

    // Draws the picture scaled into dest.
    void StretchDraw(QPainter& painter, const QRect& dest) const;

    // Largest side accepted when loading; bigger pictures are refused rather than allocated.
    static constexpr int MaxSide = 16384;

private:
    QImage FImage;
    TGraphicKind FKind = gkBitmap;
    QByteArray FOriginal; // the file bytes of an "other" picture, kept so that saving loses nothing
};

// Encoders used by SaveToBytes, exposed for writers that need a file image of a plain QImage.
QByteArray EncodeBitmapFile(const QImage& image);
// Icons hold at most 256 x 256 pixels; a larger image is scaled down keeping its proportions.
QByteArray EncodeIconFile(const QImage& image);
