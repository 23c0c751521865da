// The workbook model and the BIFF8 workbook stream written from it: the style table, the globals and
// the worksheets, each in its own part.
#include "filters/RLXLSFilter.h"
#include "filters/RLXLSRecords.h"
#include "filters/RLXLSWriter.h"

#include "engine/RLUtils.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <array>

namespace {

// The format's default palette (indexes 8 to 63), as 0xRRGGBB.
constexpr std::array<uint32_t, 56> DefaultPalette = {
    0x000000,
    0xFFFFFF,
    0xFF0000,
    0x00FF00,
    0x0000FF,
    0xFFFF00,
    0xFF00FF,
    0x00FFFF,
    0x800000,
    0x008000,
    0x000080,
    0x808000,
    0x800080,
    0x008080,
    0xC0C0C0,
    0x808080,
    0x9999FF,
    0x993366,
    0xFFFFCC,
    0xCCFFFF,
    0x660066,
    0xFF8080,
    0x0066CC,
    0xCCCCFF,
    0x000080,
    0xFF00FF,
    0xFFFF00,
    0x00FFFF,
    0x800080,
    0x800000,
    0x008080,
    0x0000FF,
    0x00CCFF,
    0xCCFFFF,
    0xCCFFCC,
    0xFFFF99,
    0x99CCFF,
    0xFF99CC,
    0xCC99FF,
    0xFFCC99,
    0x3366FF,
    0x33CCCC,
    0x99CC00,
    0xFFCC00,
    0xFF9900,
    0xFF6600,
    0x666699,
    0x969696,
    0x003366,
    0x339966,
    0x003300,
    0x333300,
    0x993300,
    0x993366,
    0x333399,
    0x333333,
};

// White, black, silver, gray, red, maroon, yellow, olive, lime, green, aqua, teal, blue, navy,
// fuchsia, purple: never given away to another colour.
constexpr std::array<uint32_t, 16> BasicColors = {
    0xFFFFFF,
    0x000000,
    0xC0C0C0,
    0x808080,
    0xFF0000,
    0x800000,
    0xFFFF00,
    0x808000,
    0x00FF00,
    0x008000,
    0x00FFFF,
    0x008080,
    0x0000FF,
    0x000080,
    0xFF00FF,
    0x800080,
};

uint32_t ToRrggbb(TColor Color)
{
    const TColor rgb = ColorToRGB(Color);
    return (uint32_t(GetRValue(rgb)) << 16) | (uint32_t(GetGValue(rgb)) << 8) | uint32_t(GetBValue(rgb));
}

// Colour indexes of one file. Colours the default palette lacks take the place of entries that are
// neither basic nor used by this file, so every colour used keeps its index.
class TRLXLSPalette
{
public:
    TRLXLSPalette() { std::copy(DefaultPalette.begin(), DefaultPalette.end(), FColors.begin()); }

    int ColorIndex(TColor Color)
    {
        const uint32_t rgb = ToRrggbb(Color);
        if (!FUsed.contains(rgb))
            FUsed.append(rgb);
        for (int i = 0; i < int(FColors.size()); ++i)
            if (FColors[i] == rgb)
                return i + 8;
        for (int i = 0; i < int(FColors.size()); ++i) {
            const uint32_t entry = FColors[i];
            if (std::find(BasicColors.begin(), BasicColors.end(), entry) != BasicColors.end())
                continue;
            if (FUsed.contains(entry))
                continue;
            FColors[i] = rgb;
            FChanged = true;
            return i + 8;
        }
        return 9;
    }
    bool Changed() const { return FChanged; }
    const std::array<uint32_t, 56>& Colors() const { return FColors; }

private:
    std::array<uint32_t, 56> FColors {};
    QList<uint32_t> FUsed;
    bool FChanged = false;
};

struct TFixedFormat
{
    int Index;
    const char16_t* Text;
};

constexpr TFixedFormat FixedFormats[] = {
    { 5, u"#,##0\"\u00F0.\";\\-#,##0\"\u00F0.\"" },
    { 6, u"#,##0\"\u00F0.\";[Red]\\-#,##0\"\u00F0.\"" },
    { 7, u"#,##0.00\"\u00F0.\";\\-#,##0.00\"\u00F0.\"" },
    { 8, u"#,##0.00\"\u00F0.\";[Red]\\-#,##0.00\"\u00F0.\"" },
    { 42, u"_-* #,##0\"\u00F0.\"_-;\\-* #,##0\"\u00F0.\"_-;_-* \"-\"\"\u00F0.\"_-;_-@_-" },
    { 41, u"_-* #,##0_\u00F0_._-;\\-* #,##0_\u00F0_._-;_-* \"-\"_\u00F0_._-;_-@_-" },
    { 44, u"_-* #,##0.00\"\u00F0.\"_-;\\-* #,##0.00\"\u00F0.\"_-;_-* \"-\"??\"\u00F0.\"_-;_-@_-" },
    { 43, u"_-* #,##0.00_\u00F0_._-;\\-* #,##0.00_\u00F0_._-;_-* \"-\"??_\u00F0_._-;_-@_-" },
};

const char* const StyleXF = "e0 00 14 00 00 00 00 00 f5 ff 20 00 00 00 00 00 00 00 00 00 00 00 c0 20";
const char* const StyleXF1 = "e0 00 14 00 01 00 00 00 f5 ff 20 00 00 f4 00 00 00 00 00 00 00 00 c0 20";
const char* const StyleXF2 = "e0 00 14 00 02 00 00 00 f5 ff 20 00 00 f4 00 00 00 00 00 00 00 00 c0 20";
const char* const StyleXF0 = "e0 00 14 00 00 00 00 00 f5 ff 20 00 00 f4 00 00 00 00 00 00 00 00 c0 20";
const char* const DefaultCellXF = "00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 c0 20";
const char* const StyleRecords[] = {
    "93 02 04 00 10 80 04 FF",
    "93 02 04 00 11 80 07 FF",
    "93 02 04 00 00 80 00 FF",
    "93 02 04 00 12 80 05 FF",
    "93 02 04 00 13 80 03 FF",
    "93 02 04 00 14 80 06 FF",
};

// BIFF limits on texts the format counts in bytes or words.
constexpr int MaxFontNameLength = 255;
constexpr int MaxHeaderLength = 255;
constexpr int MaxColumnWidth = 65280;
constexpr int MaxRowHeight = 409;

QByteArray WordRecord(uint16_t Value)
{
    return TByteWriter().Word(Value).Data();
}

// Character count (2 bytes), string flags 1, UTF-16.
TByteWriter& UnicodeString(TByteWriter& Data, const QString& Text)
{
    return Data.Word(uint16_t(Text.size())).Byte(1).Utf16(Text);
}

QByteArray FontRecordData(const TRLXLSFont& Font, int ColorIndex)
{
    const int size = Font.Size == 0 ? 10 : qBound(1, qAbs(Font.Size), MaxRowHeight);
    int family = 0;
    switch (Font.Pitch) {
    case TFontPitch::fpDefault:
        family = 0;
        break;
    case TFontPitch::fpFixed:
        family = 1;
        break;
    case TFontPitch::fpVariable:
        family = 2;
        break;
    }
    const QString name = Font.Name.left(MaxFontNameLength);
    TByteWriter data;
    data.Word(uint16_t(size * 20));
    data.Word(uint16_t(((Font.Style & fsItalic) ? 2 : 0) | ((Font.Style & fsStrikeOut) ? 8 : 0)));
    data.Word(uint16_t(ColorIndex));
    data.Word((Font.Style & fsBold) ? FontWeightBold : FontWeightRegular);
    data.Word(0);
    data.Byte((Font.Style & fsUnderline) ? 1 : 0);
    data.Byte(uint8_t(family)).Byte(uint8_t(Font.Charset)).Byte(0);
    data.Byte(uint8_t(name.size())).Byte(1).Utf16(name);
    return data.Data();
}

void AppendBlanks(TByteWriter& Cells, int Row, int FirstCol, int LastCol, int XF)
{
    if (LastCol < FirstCol)
        return;
    if (LastCol == FirstCol) {
        TByteWriter blank;
        blank.Word(uint16_t(Row)).Word(uint16_t(FirstCol)).Word(uint16_t(XF));
        Cells.Bytes(BiffRecord(rtBlank, blank.Data()));
        return;
    }
    TByteWriter blanks;
    blanks.Word(uint16_t(Row)).Word(uint16_t(FirstCol));
    for (int col = FirstCol; col <= LastCol; ++col)
        blanks.Word(uint16_t(XF));
    blanks.Word(uint16_t(LastCol));
    Cells.Bytes(BiffRecord(rtMulBlank, blanks.Data()));
}

QString HeaderText(const QString& Left, const QString& Center, const QString& Right)
{
    QString text;
    if (!Left.isEmpty())
        text += QStringLiteral("&L") + Left;
    if (!Center.isEmpty())
        text += QStringLiteral("&C") + Center;
    if (!Right.isEmpty())
        text += QStringLiteral("&R") + Right;
    return text.left(MaxHeaderLength);
}

} // namespace

// --- the style table -----------------------------------------------------------------------------

// Fonts, number formats, cell formats and the palette of one workbook, each record made when a range
// first needs it, so that every sheet can be written as soon as its page is done.
class TRLXLSStyleTable
{
public:
    TRLXLSStyleTable()
    {
        // The four default fonts come first; range fonts start at index 5.
        const QByteArray defaultFont = FontRecordData(TRLXLSFont(), FPalette.ColorIndex(clBlack));
        for (int i = 0; i < 4; ++i)
            FFontRecords.append(defaultFont);
        FXFRecords.append(HexBytes(DefaultCellXF));
        FXFIndex.insert(FXFRecords.first(), FirstCellXF);
    }

    // The font's FONT record index, its record made on first use.
    int FontIndex(int PoolIndex, const TRLXLSFont& Font)
    {
        if (FFontOfPool.size() <= std::size_t(PoolIndex))
            FFontOfPool.resize(std::size_t(PoolIndex) + 1, -1);
        int& font = FFontOfPool[std::size_t(PoolIndex)];
        if (font < 0) {
            FFontRecords.append(FontRecordData(Font, FPalette.ColorIndex(Font.Color)));
            font = int(FFontRecords.size()); // position + 1: the format has no font 4
        }
        return font;
    }

    // 0 for no format; distinct format texts get 50, 51, ...
    int FormatIndex(const QString& Format)
    {
        if (Format.isEmpty())
            return 0;
        const auto found = FFormatIndex.constFind(Format);
        if (found != FFormatIndex.constEnd())
            return found.value();
        const int index = FirstCustomFormat + int(FFormats.size());
        FFormats.append(Format);
        FFormatIndex.insert(Format, index);
        return index;
    }

    // The cell format of a style, one record per distinct byte string.
    int XFIndex(const TRLXLSCellStyle& Style, int Font, bool Merged)
    {
        auto borderColor = [&](TRLXLSBorderKind kind) -> uint32_t {
            const TRLXLSBorder& border = Style.Borders.Items[kind];
            return border.LineStyle ? uint32_t(FPalette.ColorIndex(border.Color)) : 0;
        };
        const TRLXLSBorder& diagonal1 = Style.Borders.Items[bkDiagonal1];
        const TRLXLSBorder& diagonal2 = Style.Borders.Items[bkDiagonal2];
        const TRLXLSBorderKind diagonal = diagonal2.LineStyle ? bkDiagonal2 : bkDiagonal1;
        TByteWriter data;
        data.Word(uint16_t(Font));
        data.Word(uint16_t(FormatIndex(Style.NumberFormat)));
        data.Word(1);
        data.Byte(uint8_t((Style.HorizontalAlignment & 7) | (Style.WrapText ? 8 : 0)
            | ((Style.VerticalAlignment & 7) << 4)));
        data.Byte(Style.Rotation);
        data.Word(uint16_t(XFUsedAttributes | (Merged ? XFMergeCell : 0)));
        data.Word(uint16_t((Style.Borders.Items[bkLeft].LineStyle & 15)
            | ((Style.Borders.Items[bkRight].LineStyle & 15) << 4)
            | ((Style.Borders.Items[bkTop].LineStyle & 15) << 8)
            | ((Style.Borders.Items[bkBottom].LineStyle & 15) << 12)));
        data.Word(uint16_t(borderColor(bkLeft) | (borderColor(bkRight) << 7)
            | (diagonal1.LineStyle ? 0x4000 : 0) | (diagonal2.LineStyle ? 0x8000 : 0)));
        data.DWord(borderColor(bkTop) | (borderColor(bkBottom) << 7) | (borderColor(diagonal) << 14)
            | (uint32_t(Style.Borders.Items[diagonal].LineStyle & 15) << 21)
            | (uint32_t(Style.FillPattern & 63) << 26));
        const uint32_t patternColor = uint32_t(FPalette.ColorIndex(Style.PatternColor));
        const uint32_t patternBackColor = uint32_t(FPalette.ColorIndex(Style.PatternBackColor));
        data.Word(uint16_t((patternColor & 127) | ((patternBackColor & 127) << 7)));
        const auto known = FXFIndex.constFind(data.Data());
        if (known != FXFIndex.constEnd())
            return known.value();
        // The format reads at most 4050 cell and style formats.
        if (FXFRecords.size() + FirstCellXF >= 4050)
            throw Exception(QStringLiteral("Too many cell formats for a workbook (%1).")
                                .arg(FXFRecords.size() + FirstCellXF + 1));
        const int index = FirstCellXF + int(FXFRecords.size());
        FXFRecords.append(data.Data());
        FXFIndex.insert(data.Data(), index);
        return index;
    }

    void WriteFonts(TRLBiffWriter& Writer) const
    {
        for (const QByteArray& font : FFontRecords)
            Writer.WriteRecord(rtFont, font);
    }

    void WriteFormats(TRLBiffWriter& Writer) const
    {
        auto writeFormat = [&](int index, const QString& text) {
            TByteWriter data;
            data.Word(uint16_t(index));
            UnicodeString(data, text);
            Writer.WriteRecord(rtFormat, data);
        };
        for (const TFixedFormat& format : FixedFormats)
            writeFormat(format.Index, QString::fromUtf16(format.Text));
        for (int i = 0; i < FFormats.size(); ++i)
            writeFormat(FirstCustomFormat + i, FFormats.at(i));
    }

    // The fifteen style formats as they stand, then the cell formats.
    void WriteCellFormats(TRLBiffWriter& Writer) const
    {
        Writer.WriteRaw(HexBytes(StyleXF));
        for (int i = 0; i < 2; ++i)
            Writer.WriteRaw(HexBytes(StyleXF1));
        for (int i = 0; i < 2; ++i)
            Writer.WriteRaw(HexBytes(StyleXF2));
        for (int i = 0; i < 10; ++i)
            Writer.WriteRaw(HexBytes(StyleXF0));
        for (const QByteArray& xf : FXFRecords)
            Writer.WriteRecord(rtXF, xf);
    }

    // Only a palette that gave entries away to other colours is written.
    void WritePalette(TRLBiffWriter& Writer) const
    {
        if (!FPalette.Changed())
            return;
        TByteWriter data;
        data.Word(56);
        for (uint32_t rgb : FPalette.Colors())
            data.Byte(uint8_t(rgb >> 16)).Byte(uint8_t(rgb >> 8)).Byte(uint8_t(rgb)).Byte(0);
        Writer.WriteRecord(rtPalette, data);
    }

    void WriteStyles(TRLBiffWriter& Writer) const
    {
        for (const char* style : StyleRecords)
            Writer.WriteRaw(HexBytes(style));
    }

private:
    static constexpr int FirstCellXF = 15;
    static constexpr int FirstCustomFormat = 50;

    TRLXLSPalette FPalette;
    QList<QByteArray> FFontRecords;
    std::vector<int> FFontOfPool;
    QStringList FFormats;
    QHash<QString, int> FFormatIndex;
    QList<QByteArray> FXFRecords;
    QHash<QByteArray, int> FXFIndex;
};

// --- fonts and styles ----------------------------------------------------------------------------

void TRLXLSFont::FromFont(const TFont& Font)
{
    Name = Font.Name();
    Size = Font.Size();
    Height = Font.Height();
    Color = Font.Color();
    Style = Font.Style();
    Pitch = Font.Pitch();
    Charset = Font.Charset();
}

size_t qHash(const TRLXLSFont& Font, size_t Seed)
{
    return qHashMulti(
        Seed, Font.Name, Font.Size, Font.Height, Font.Color, Font.Style, int(Font.Pitch), Font.Charset);
}

size_t qHash(const TRLXLSCellStyle& Style, size_t Seed)
{
    size_t hash = qHashMulti(Seed, Style.Font, Style.HorizontalAlignment, Style.VerticalAlignment,
        Style.WrapText, Style.Rotation, Style.FillPattern, Style.PatternColor, Style.PatternBackColor,
        Style.NumberFormat);
    for (const TRLXLSBorder& border : Style.Borders.Items)
        hash = qHashMulti(hash, border.LineStyle, border.Weight, border.Color);
    return hash;
}

// --- worksheet -----------------------------------------------------------------------------------

namespace {

quint64 BoundsKey(int FirstCol, int FirstRow, int LastCol, int LastRow)
{
    return (quint64(uint16_t(FirstRow)) << 48) | (quint64(uint16_t(LastRow)) << 32)
        | (quint64(uint16_t(FirstCol)) << 16) | quint64(uint16_t(LastCol));
}

} // namespace

void TRLXLSWorksheet::SetTitle(const QString& Value)
{
    FTitle = Value.left(31).trimmed();
}

void TRLXLSWorksheet::Widen(int FirstCol, int FirstRow, int LastCol, int LastRow)
{
    if (FirstCol >= 0) {
        FFirstCol = FFirstCol < 0 ? FirstCol : qMin(FFirstCol, FirstCol);
        FLastCol = qMax(FLastCol, LastCol);
    }
    if (FirstRow >= 0) {
        FFirstRow = FFirstRow < 0 ? FirstRow : qMin(FFirstRow, FirstRow);
        FLastRow = qMax(FLastRow, LastRow);
    }
}

void TRLXLSWorksheet::AddCol(int Index, int Width)
{
    FCols.push_back({ Index, Width });
    Widen(Index, -1, Index, -1);
}

void TRLXLSWorksheet::AddRow(int Index, int Height)
{
    FRows.push_back({ Index, Height });
    Widen(-1, Index, -1, Index);
}

TRLXLSRange& TRLXLSWorksheet::RangeAt(int FirstCol, int FirstRow, int LastCol, int LastRow)
{
    const auto found = FByBounds.constFind(BoundsKey(FirstCol, FirstRow, LastCol, LastRow));
    if (found != FByBounds.constEnd())
        return FRanges[std::size_t(found.value())];

    if (FByRow.size() <= std::size_t(LastRow))
        FByRow.resize(std::size_t(LastRow) + 1);
    int firstCol = FirstCol;
    int lastCol = LastCol;
    for (int row = FirstRow; row <= LastRow; ++row) {
        for (int index : FByRow[std::size_t(row)]) {
            if (FDeleted[std::size_t(index)])
                continue;
            TRLXLSRange& other = FRanges[std::size_t(index)];
            // Checked against the new range as cut so far: cutting it may end an overlap. Cutting
            // only ever narrows it, so ranges settled before stay clear of it.
            if (other.FirstCol > lastCol || other.LastCol < firstCol)
                continue;
            if (other.FirstCol > firstCol) {
                lastCol = other.FirstCol - 1; // the new one ends before the earlier one
            } else if (other.FirstCol == firstCol && other.LastCol < lastCol) {
                firstCol = other.LastCol + 1; // the new one goes on right of the earlier one
            } else {
                FByBounds.remove(BoundsKey(other.FirstCol, other.FirstRow, other.LastCol, other.LastRow));
                if (other.FirstCol < firstCol) {
                    other.LastCol = firstCol - 1; // the earlier one ends before the new one
                    FByBounds.insert(
                        BoundsKey(other.FirstCol, other.FirstRow, other.LastCol, other.LastRow), index);
                } else {
                    FDeleted[std::size_t(index)] = true; // nothing of it is left
                }
            }
        }
    }
    const int index = int(FRanges.size());
    TRLXLSRange range;
    range.FirstCol = firstCol;
    range.FirstRow = FirstRow;
    range.LastCol = lastCol;
    range.LastRow = LastRow;
    FRanges.push_back(std::move(range));
    FDeleted.push_back(false);
    FByBounds.insert(BoundsKey(firstCol, FirstRow, lastCol, LastRow), index);
    for (int row = FirstRow; row <= LastRow; ++row)
        FByRow[std::size_t(row)].push_back(index);
    Widen(firstCol, FirstRow, lastCol, LastRow);
    return FRanges.back();
}

void TRLXLSWorksheet::Finish()
{
    std::vector<TRLXLSRange> kept;
    kept.reserve(FRanges.size());
    for (std::size_t i = 0; i < FRanges.size(); ++i)
        if (!FDeleted[i])
            kept.push_back(std::move(FRanges[i]));
    FRanges = std::move(kept);
    FRanges.shrink_to_fit();
    FDeleted.clear();
    FDeleted.shrink_to_fit();
    FByBounds = QHash<quint64, int>();
    FByRow = std::vector<std::vector<int>>();
}

// --- workbook ------------------------------------------------------------------------------------

TRLXLSWorkbook::TRLXLSWorkbook()
    : FPageSetup(std::make_unique<TRLXLSPageSetup>())
    , FStrings(std::make_unique<TRLXLSStringTable>())
{
    Clear();
}

TRLXLSWorkbook::~TRLXLSWorkbook()
{
    CloseSheetStream();
}

void TRLXLSWorkbook::Clear()
{
    CloseSheetStream();
    FSheets.clear();
    FTitles.clear();
    FFonts.clear();
    FFontIndex.clear();
    FStyles.clear();
    FStyleIndex.clear();
    FStyleTable = std::make_unique<TRLXLSStyleTable>();
    FXFOfStyle.clear();
    FStrings->Clear();
    // Pool entry 0 of both is what a new range starts with: Arial 10 black, general alignment.
    TRLXLSCellStyle initial;
    initial.Font = InternFont(TRLXLSFont());
    InternStyle(initial);
}

bool TRLXLSWorkbook::HasWorksheetTitled(const QString& Title) const
{
    return FTitles.contains(Title.toCaseFolded());
}

int TRLXLSWorkbook::InternFont(const TRLXLSFont& Font)
{
    const auto found = FFontIndex.constFind(Font);
    if (found != FFontIndex.constEnd())
        return found.value();
    FFonts.append(Font);
    FFontIndex.insert(Font, int(FFonts.size()) - 1);
    return int(FFonts.size()) - 1;
}

int TRLXLSWorkbook::InternStyle(const TRLXLSCellStyle& Style)
{
    const auto found = FStyleIndex.constFind(Style);
    if (found != FStyleIndex.constEnd())
        return found.value();
    FStyles.append(Style);
    FStyleIndex.insert(Style, int(FStyles.size()) - 1);
    return int(FStyles.size()) - 1;
}

int TRLXLSWorkbook::XFOfRange(const TRLXLSRange& Range)
{
    const std::size_t slot = std::size_t(Range.Style) * 2 + (Range.IsMerged() ? 1 : 0);
    if (FXFOfStyle.size() <= slot)
        FXFOfStyle.resize(slot + 1, -1);
    if (FXFOfStyle[slot] < 0) {
        const TRLXLSCellStyle& style = FStyles.at(Range.Style);
        const int font = FStyleTable->FontIndex(style.Font, FFonts.at(style.Font));
        FXFOfStyle[slot] = FStyleTable->XFIndex(style, font, Range.IsMerged());
    }
    return FXFOfStyle[slot];
}

void TRLXLSWorkbook::OpenSheetStream()
{
    if (FSheetWriter)
        return;
    if (!FSheets.empty())
        throw Exception(XLSWriteErrorMessage(QString(), QStringLiteral("the sheet stream was closed")));
    FSheetFile = std::make_unique<QFile>();
    FSheetFileName = CreateTempFile(*FSheetFile);
    FSheetWriter = std::make_unique<TRLBiffWriter>(*FSheetFile);
}

void TRLXLSWorkbook::CloseSheetStream()
{
    FSheetWriter.reset();
    if (!FSheetFile)
        return;
    FSheetFile->close();
    FSheetFile.reset();
    QFile::remove(FSheetFileName);
    UnregisterTempFile(FSheetFileName);
    FSheetFileName.clear();
}

void TRLXLSWorkbook::AddWorksheet(const TRLXLSWorksheet& Sheet)
{
    OpenSheetStream();
    TSheetEntry entry;
    entry.Title = Sheet.Title();
    WriteWorksheet(*FSheetWriter, Sheet, entry);
    FTitles.insert(entry.Title.toCaseFolded());
    FSheets.push_back(std::move(entry));
}

void TRLXLSWorkbook::WriteStream(QIODevice& Device)
{
    if (!FSheets.empty() && !FSheetWriter)
        throw Exception(XLSWriteErrorMessage(QString(), QStringLiteral("the sheet stream was closed")));
    TRLBiffWriter writer(Device);
    std::vector<qint64> boundSheets;
    WriteGlobals(writer, boundSheets);
    WriteSheets(writer, boundSheets);
    // Readers take a stream shorter than the container's mini-stream cut-off from the mini stream,
    // which this file has not: the stream is padded to the cut-off instead.
    if (writer.Position() < CompoundMinimumStreamSize)
        writer.WriteRaw(QByteArray(CompoundMinimumStreamSize - writer.Position(), '\0'));
    writer.Flush();
}

// --- workbook globals ----------------------------------------------------------------------------

void TRLXLSWorkbook::WriteGlobals(TRLBiffWriter& w, std::vector<qint64>& BoundSheets) const
{
    // Identification and the user interface.
    w.WriteRecord(rtBOF,
        TByteWriter().Word(BiffVersion8).Word(BofWorkbookGlobals).Word(3515).Word(1996).DWord(0).DWord(1536));
    w.WriteRecord(rtInterfaceHdr, WordRecord(1252));
    w.WriteRecord(rtMMS, WordRecord(0));
    w.WriteRecord(rtInterfaceEnd, QByteArray());
    {
        // The user name as the format defines it (count, flags, characters), padded with blanks.
        TByteWriter access;
        UnicodeString(access, Author());
        QByteArray data = access.Data();
        data.append(112 - data.size(), ' ');
        w.WriteRecord(rtWriteAccess, data);
    }
    w.WriteRecord(rtCodePage, WordRecord(1252));
    w.WriteRecord(rtDSF, WordRecord(0));
    w.WriteRecord(rtExcel9File, QByteArray());
    {
        TByteWriter tabs;
        for (std::size_t i = 0; i < FSheets.size(); ++i)
            tabs.Word(uint16_t(i));
        w.WriteRecord(rtTabId, tabs);
    }
    w.WriteRecord(rtFnGroupCount, WordRecord(14));

    // Protection, window and calculation settings.
    for (uint16_t type : { rtWindowProtect, rtProtect, rtPassword, rtProt4Rev, rtProt4RevPass })
        w.WriteRecord(type, WordRecord(0));
    // Opened on the first sheet, with one sheet selected.
    w.WriteRecord(rtWindow1,
        TByteWriter().Word(360).Word(30).Word(7454).Word(6240).Word(56).Word(0).Word(0).Word(1).Word(600));
    w.WriteRecord(rtBackup, WordRecord(0));
    w.WriteRecord(rtHideObj, WordRecord(0));
    w.WriteRecord(rtDate1904, WordRecord(0));
    w.WriteRecord(rtPrecision, WordRecord(1));
    w.WriteRecord(rtRefreshAll, WordRecord(0));
    w.WriteRecord(rtBookBool, WordRecord(0));

    // The style table.
    FStyleTable->WriteFonts(w);
    FStyleTable->WriteFormats(w);
    FStyleTable->WriteCellFormats(w);
    FStyleTable->WritePalette(w);
    FStyleTable->WriteStyles(w);
    w.WriteRecord(rtUsesElfs, WordRecord(0));

    // The sheets, their positions filled in once the globals are complete.
    for (const TSheetEntry& sheet : FSheets) {
        BoundSheets.push_back(w.Position());
        TByteWriter data;
        data.DWord(0).Byte(0).Byte(0).Byte(uint8_t(sheet.Title.size())).Byte(1).Utf16(sheet.Title);
        w.WriteRecord(rtBoundSheet, data);
    }
    w.WriteRecord(rtCountry, TByteWriter().Word(7).Word(7));

    // The shared strings, each once, in order of first use.
    if (FStrings->UniqueCount() > 0) {
        TRLSSTWriter sst(w, FStrings->TotalCount(), FStrings->UniqueCount());
        for (uint32_t i = 0; i < FStrings->UniqueCount(); ++i)
            sst.Add(FStrings->At(i));
        sst.Finish();
    }
    w.WriteRecord(rtEOF, QByteArray());
}

// --- worksheets ----------------------------------------------------------------------------------

namespace {

// Everything of a worksheet before its cells: calculation settings and printing options.
void WriteSheetSettings(TRLBiffWriter& w, const TRLXLSPageSetup& Setup)
{
    w.WriteRecord(rtCalcMode, WordRecord(1));
    w.WriteRecord(rtCalcCount, WordRecord(100));
    w.WriteRecord(rtRefMode, WordRecord(1));
    w.WriteRecord(rtIteration, WordRecord(0));
    w.WriteRecord(rtDelta, HexBytes("fc a9 f1 d2 4d 62 50 3f"));
    w.WriteRecord(rtSaveRecalc, WordRecord(1));
    w.WriteRecord(rtPrintHeaders, WordRecord(Setup.PrintHeaders() ? 1 : 0));
    w.WriteRecord(rtPrintGridLines, WordRecord(Setup.PrintGridLines() ? 1 : 0));
    w.WriteRecord(rtGridSet, WordRecord(1));
    w.WriteRecord(rtGuts, TByteWriter().Zeros(8));
    w.WriteRecord(rtDefaultRowHeight, TByteWriter().Word(0).Word(255));
    w.WriteRecord(rtWsBool, WordRecord(1217));
}

void WritePageSetup(TRLBiffWriter& w, const TRLXLSPageSetup& Setup)
{
    const QString header = HeaderText(Setup.LeftHeader(), Setup.CenterHeader(), Setup.RightHeader());
    if (!header.isEmpty()) {
        TByteWriter data;
        w.WriteRecord(rtHeader, UnicodeString(data, header));
    }
    const QString footer = HeaderText(Setup.LeftFooter(), Setup.CenterFooter(), Setup.RightFooter());
    if (!footer.isEmpty()) {
        TByteWriter data;
        w.WriteRecord(rtFooter, UnicodeString(data, footer));
    }
    w.WriteRecord(rtHCenter, WordRecord(Setup.CenterHorizontally() ? 1 : 0));
    w.WriteRecord(rtVCenter, WordRecord(Setup.CenterVertically() ? 1 : 0));
    w.WriteRecord(rtLeftMargin, TByteWriter().Double(Setup.LeftMargin() / 2.54));
    w.WriteRecord(rtRightMargin, TByteWriter().Double(Setup.RightMargin() / 2.54));
    w.WriteRecord(rtTopMargin, TByteWriter().Double(Setup.TopMargin() / 2.54));
    w.WriteRecord(rtBottomMargin, TByteWriter().Double(Setup.BottomMargin() / 2.54));
    int flags = 0;
    if (Setup.PageOrder() == 1)
        flags |= 1;
    if (Setup.Orientation() == 0)
        flags |= 2;
    if (Setup.BlackAndWhite())
        flags |= 8;
    if (Setup.Draft())
        flags |= 16;
    if (Setup.PrintNotes())
        flags |= 32;
    if (Setup.FirstPageNumber() != 1)
        flags |= 128;
    TByteWriter data;
    data.Word(uint16_t(Setup.PaperSize()))
        .Word(uint16_t(Setup.Zoom()))
        .Word(uint16_t(Setup.FirstPageNumber()));
    data.Word(Setup.FitToPagesWide() ? 1 : 0).Word(Setup.FitToPagesTall() ? 1 : 0).Word(uint16_t(flags));
    data.Word(0).Word(0).Double(Setup.HeaderMargin() / 2.54).Double(Setup.FooterMargin() / 2.54);
    data.Word(uint16_t(Setup.Copies()));
    w.WriteRecord(rtSetup, data);
}

void WriteColumns(TRLBiffWriter& w, const TRLXLSWorksheet& Sheet)
{
    w.WriteRecord(rtDefColWidth, WordRecord(8));
    for (const TRLXLSCol& col : Sheet.Cols()) {
        TByteWriter data;
        data.Word(uint16_t(col.Index))
            .Word(uint16_t(col.Index))
            .Word(uint16_t(qBound(0, col.Width, MaxColumnWidth)));
        data.Word(0).Word(0).Byte(0);
        w.WriteRecord(rtColInfo, data);
    }
}

// Only the first sheet is selected and shown, so every reader opens the workbook on it.
void WriteWindow(TRLBiffWriter& w, bool First)
{
    uint16_t options = Window2ShowGridLines | Window2ShowHeadings | Window2ShowZeros | Window2DefaultGridColor
        | Window2OutlineSymbols;
    if (First)
        options |= Window2Selected | Window2Displayed;
    w.WriteRecord(rtWindow2, TByteWriter().Word(options).Word(0).Word(0).Word(64).Zeros(10));
    w.WriteRecord(rtSelection, TByteWriter().Byte(3).Zeros(6).Word(1).Zeros(6));
}

// A MERGEDCELLS record holds at most 1027 ranges; more go into further records, never into CONTINUE
// records, which readers of this record do not follow.
void WriteMergedCells(TRLBiffWriter& w, const std::vector<TRLXLSRange>& Ranges)
{
    std::vector<const TRLXLSRange*> merged;
    for (const TRLXLSRange& range : Ranges)
        if (range.IsMerged())
            merged.push_back(&range);
    constexpr std::size_t MergedPerRecord = (BiffMaxRecordData - 2) / 8;
    for (std::size_t from = 0; from < merged.size(); from += MergedPerRecord) {
        const std::size_t count = qMin(MergedPerRecord, merged.size() - from);
        TByteWriter data;
        data.Word(uint16_t(count));
        for (std::size_t i = from; i < from + count; ++i)
            data.Word(uint16_t(merged[i]->FirstRow))
                .Word(uint16_t(merged[i]->LastRow))
                .Word(uint16_t(merged[i]->FirstCol))
                .Word(uint16_t(merged[i]->LastCol));
        w.WriteRecord(rtMergedCells, data);
    }
}

} // namespace

void TRLXLSWorkbook::WriteWorksheet(TRLBiffWriter& w, const TRLXLSWorksheet& Sheet, TSheetEntry& Entry)
{
    const auto& ranges = Sheet.Ranges();
    // Cell formats and strings first: they go into the globals, written at the end.
    std::vector<int> xfOfRange(ranges.size());
    std::vector<uint32_t> stringOfRange(ranges.size(), 0);
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        xfOfRange[r] = XFOfRange(ranges[r]);
        if (ranges[r].Kind == vkText)
            stringOfRange[r] = FStrings->Add(ranges[r].Value);
    }

    Entry.Position = w.Position();
    w.WriteRecord(rtBOF, TByteWriter().Word(BiffVersion8).Word(BofWorksheet).Word(3515).Word(1996).Zeros(8));

    const bool empty = Sheet.IsEmpty();
    const int firstRow = empty ? 0 : Sheet.FirstRow();
    const int rowEnd = empty ? 0 : Sheet.LastRow() + 1;
    const int blocks = (rowEnd - firstRow + 31) / 32;
    {
        // The DBCELL positions are filled in when the workbook stream is put together.
        TByteWriter index;
        index.DWord(0).DWord(uint32_t(firstRow)).DWord(uint32_t(rowEnd)).DWord(0).Zeros(4 * blocks);
        Entry.IndexEntries = w.Position() + 4 + 16;
        w.WriteRecord(rtIndex, index);
    }
    WriteSheetSettings(w, *FPageSetup);
    WritePageSetup(w, *FPageSetup);
    WriteColumns(w, Sheet);
    {
        TByteWriter data;
        if (empty)
            data.Zeros(14);
        else
            data.DWord(uint32_t(firstRow))
                .DWord(uint32_t(rowEnd))
                .Word(uint16_t(Sheet.FirstCol()))
                .Word(uint16_t(Sheet.LastCol() + 1))
                .Word(0);
        w.WriteRecord(rtDimensions, data);
    }

    // Rows in blocks of 32, each block's cells gathered before they are written.
    std::vector<int> heightOfRow(static_cast<std::size_t>(rowEnd), -1);
    for (const TRLXLSRow& row : Sheet.Rows())
        if (row.Index >= 0 && row.Index < rowEnd)
            heightOfRow[std::size_t(row.Index)] = row.Height;
    std::vector<std::vector<int>> rangesOfRow(static_cast<std::size_t>(rowEnd));
    for (std::size_t r = 0; r < ranges.size(); ++r)
        for (int row = ranges[r].FirstRow; row <= ranges[r].LastRow && row < rowEnd; ++row)
            rangesOfRow[std::size_t(row)].push_back(int(r));
    for (auto& list : rangesOfRow)
        std::sort(list.begin(), list.end(),
            [&](int a, int b) { return ranges[std::size_t(a)].FirstCol < ranges[std::size_t(b)].FirstCol; });

    for (int block = 0; block < blocks; ++block) {
        const int blockFirst = firstRow + block * 32;
        const int blockEnd = qMin(rowEnd, blockFirst + 32);
        const qint64 blockStart = w.Position();
        for (int row = blockFirst; row < blockEnd; ++row) {
            const auto& list = rangesOfRow[std::size_t(row)];
            const int height = heightOfRow[std::size_t(row)];
            TByteWriter data;
            data.Word(uint16_t(row));
            data.Word(list.empty() ? 0 : uint16_t(ranges[std::size_t(list.front())].FirstCol));
            data.Word(list.empty() ? 0 : uint16_t(ranges[std::size_t(list.back())].LastCol + 1));
            data.Word(height >= 0 ? uint16_t(qBound(0, height, MaxRowHeight) * 20) : 255);
            data.Word(0).Word(0).Word(height >= 0 ? 64 : 0).Word(0);
            w.WriteRecord(rtRow, data);
        }
        TByteWriter cells;
        std::vector<int> cellStart;
        for (int row = blockFirst; row < blockEnd; ++row) {
            cellStart.push_back(int(cells.Size()));
            for (int r : rangesOfRow[std::size_t(row)]) {
                const TRLXLSRange& range = ranges[std::size_t(r)];
                const int xf = xfOfRange[std::size_t(r)];
                int blankFrom = range.FirstCol;
                if (row == range.FirstRow) {
                    TByteWriter value;
                    value.Word(uint16_t(row)).Word(uint16_t(range.FirstCol)).Word(uint16_t(xf));
                    if (range.Kind == vkNumber) {
                        value.Double(range.Number);
                        cells.Bytes(BiffRecord(rtNumber, value.Data()));
                    } else {
                        value.DWord(stringOfRange[std::size_t(r)]);
                        cells.Bytes(BiffRecord(rtLabelSST, value.Data()));
                    }
                    ++blankFrom;
                }
                AppendBlanks(cells, row, blankFrom, range.LastCol, xf);
            }
        }
        const qint64 cellsPosition = w.Position();
        w.WriteRaw(cells.Data());
        const qint64 dbcellPosition = w.Position();
        TByteWriter dbcell;
        dbcell.DWord(uint32_t(dbcellPosition - blockStart));
        for (std::size_t i = 0; i < cellStart.size(); ++i) {
            const qint64 offset = i == 0 ? cellsPosition + cellStart[0] - (blockStart + 20)
                                         : qint64(cellStart[i] - cellStart[i - 1]);
            dbcell.Word(uint16_t(offset));
        }
        w.WriteRecord(rtDBCell, dbcell);
        Entry.DBCells.push_back(uint32_t(dbcellPosition));
    }

    WriteWindow(w, FSheets.empty());
    WriteMergedCells(w, ranges);
    w.WriteRecord(rtEOF, QByteArray());
}

// The sheet stream after the globals, with every position it holds moved by the globals' size.
void TRLXLSWorkbook::WriteSheets(TRLBiffWriter& w, const std::vector<qint64>& BoundSheets)
{
    if (FSheets.empty())
        return;
    const qint64 base = w.Position();
    if (base + FSheetWriter->Position() > qint64(0xFFFFFFFFu))
        throw Exception(XLSWriteErrorMessage(QString(), QStringLiteral("workbook too large")));
    for (std::size_t s = 0; s < FSheets.size(); ++s)
        w.Patch(BoundSheets[s] + 4, TByteWriter().DWord(uint32_t(base + FSheets[s].Position)).Data());

    FSheetWriter->Flush();
    QFile& file = *FSheetFile;
    if (!file.seek(0))
        throw Exception(XLSWriteErrorMessage(file.fileName(), file.errorString()));
    qint64 left = FSheetWriter->Position();
    while (left > 0) {
        const QByteArray chunk = file.read(qMin<qint64>(left, 1 << 16));
        if (chunk.isEmpty())
            throw Exception(XLSWriteErrorMessage(file.fileName(), file.errorString()));
        left -= chunk.size();
        w.WriteRaw(chunk);
    }
    // The sheet writer appends at its own count; the file position goes back there.
    if (!file.seek(FSheetWriter->Position()))
        throw Exception(XLSWriteErrorMessage(file.fileName(), file.errorString()));

    for (const TSheetEntry& sheet : FSheets) {
        if (sheet.DBCells.empty())
            continue;
        TByteWriter entries;
        for (uint32_t position : sheet.DBCells)
            entries.DWord(uint32_t(base + position));
        w.Patch(base + sheet.IndexEntries, entries.Data());
    }
}
