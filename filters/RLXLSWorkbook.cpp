// The workbook model and the BIFF8 workbook stream written from it.
#include "filters/RLXLSFilter.h"
#include "filters/RLXLSWriter.h"

#include "platform/Exceptions.h"

#include <QIODevice>

#include <algorithm>
#include <array>

namespace {

// The format's default palette (indexes 8 to 63), as 0xRRGGBB.
constexpr std::array<uint32_t, 56> DefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

// White, black, silver, gray, red, maroon, yellow, olive, lime, green, aqua, teal, blue, navy,
// fuchsia, purple: never given away to another colour.
constexpr std::array<uint32_t, 16> BasicColors = {
    0xFFFFFF, 0x000000, 0xC0C0C0, 0x808080, 0xFF0000, 0x800000, 0xFFFF00, 0x808000,
    0x00FF00, 0x008000, 0x00FFFF, 0x008080, 0x0000FF, 0x000080, 0xFF00FF, 0x800080,
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
    "93 02 04 00 10 80 04 FF", "93 02 04 00 11 80 07 FF", "93 02 04 00 00 80 00 FF",
    "93 02 04 00 12 80 05 FF", "93 02 04 00 13 80 03 FF", "93 02 04 00 14 80 06 FF",
};

// BIFF limits on texts the format counts in bytes or words.
constexpr int MaxFontNameLength = 255;
constexpr int MaxHeaderLength = 255;
constexpr int MaxColumnWidth = 65280;
constexpr int MaxRowHeight = 409;

QByteArray WordRecord(uint16_t Value)
{
    return TRLByteBuilder().Word(Value).Data();
}

// Character count (2 bytes), string flags 1, UTF-16.
TRLByteBuilder& UnicodeString(TRLByteBuilder& Data, const QString& Text)
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
    TRLByteBuilder data;
    data.Word(uint16_t(size * 20));
    data.Word(uint16_t(((Font.Style & fsItalic) ? 2 : 0) | ((Font.Style & fsStrikeOut) ? 8 : 0)));
    data.Word(uint16_t(ColorIndex));
    data.Word((Font.Style & fsBold) ? 1000 : 100);
    data.Word(0);
    data.Byte((Font.Style & fsUnderline) ? 1 : 0);
    data.Byte(uint8_t(family)).Byte(uint8_t(Font.Charset)).Byte(0);
    data.Byte(uint8_t(name.size())).Byte(1).Utf16(name);
    return data.Data();
}

struct TSheetContext
{
    const std::vector<int>* XFOfRange = nullptr; // per range of the sheet
    const std::vector<int>* StringOfRange = nullptr; // SST index per range, -1 for numbers
};

void AppendBlanks(TRLByteBuilder& Cells, int Row, int FirstCol, int LastCol, int XF)
{
    if (LastCol < FirstCol)
        return;
    if (LastCol == FirstCol) {
        TRLByteBuilder blank;
        blank.Word(uint16_t(Row)).Word(uint16_t(FirstCol)).Word(uint16_t(XF));
        Cells.Bytes(BiffRecord(513, blank.Data()));
        return;
    }
    TRLByteBuilder blanks;
    blanks.Word(uint16_t(Row)).Word(uint16_t(FirstCol));
    for (int col = FirstCol; col <= LastCol; ++col)
        blanks.Word(uint16_t(XF));
    blanks.Word(uint16_t(LastCol));
    Cells.Bytes(BiffRecord(190, blanks.Data()));
}

} // namespace

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
    return qHashMulti(Seed, Font.Name, Font.Size, Font.Height, Font.Color, Font.Style, int(Font.Pitch), Font.Charset);
}

size_t qHash(const TRLXLSCellStyle& Style, size_t Seed)
{
    size_t hash = qHashMulti(Seed, Style.Font, Style.HorizontalAlignment, Style.VerticalAlignment, Style.WrapText,
        Style.Rotation, Style.FillPattern, Style.PatternColor, Style.PatternBackColor, Style.NumberFormat);
    for (const TRLXLSBorder& border : Style.Borders.Items)
        hash = qHashMulti(hash, border.LineStyle, border.Weight, border.Color);
    return hash;
}

// --- worksheet -----------------------------------------------------------------------------------

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
    const quint64 key = (quint64(uint16_t(FirstRow)) << 48) | (quint64(uint16_t(LastRow)) << 32)
        | (quint64(uint16_t(FirstCol)) << 16) | quint64(uint16_t(LastCol));
    const auto found = FByBounds.constFind(key);
    if (found != FByBounds.constEnd())
        return FRanges[std::size_t(found.value())];

    if (FByRow.size() <= std::size_t(LastRow))
        FByRow.resize(std::size_t(LastRow) + 1);
    for (int row = FirstRow; row <= LastRow; ++row) {
        for (int index : FByRow[std::size_t(row)]) {
            if (FDeleted[std::size_t(index)])
                continue;
            TRLXLSRange& other = FRanges[std::size_t(index)];
            if (other.FirstCol <= LastCol && other.LastCol >= FirstCol) {
                FDeleted[std::size_t(index)] = true;
                FByBounds.remove((quint64(uint16_t(other.FirstRow)) << 48) | (quint64(uint16_t(other.LastRow)) << 32)
                    | (quint64(uint16_t(other.FirstCol)) << 16) | quint64(uint16_t(other.LastCol)));
            }
        }
    }
    const int index = int(FRanges.size());
    TRLXLSRange range;
    range.FirstCol = FirstCol;
    range.FirstRow = FirstRow;
    range.LastCol = LastCol;
    range.LastRow = LastRow;
    FRanges.push_back(std::move(range));
    FDeleted.push_back(false);
    FByBounds.insert(key, index);
    for (int row = FirstRow; row <= LastRow; ++row)
        FByRow[std::size_t(row)].push_back(index);
    Widen(FirstCol, FirstRow, LastCol, LastRow);
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
{
    Clear();
}

TRLXLSWorkbook::~TRLXLSWorkbook() = default;

TRLXLSWorksheet* TRLXLSWorkbook::NewWorksheet()
{
    FWorksheets.push_back(std::make_unique<TRLXLSWorksheet>(this));
    return FWorksheets.back().get();
}

void TRLXLSWorkbook::Clear()
{
    FWorksheets.clear();
    FFonts.clear();
    FFontIndex.clear();
    FStyles.clear();
    FStyleIndex.clear();
    // Pool entry 0 of both is what a new range starts with: Arial 10 black, general alignment.
    TRLXLSCellStyle initial;
    initial.Font = InternFont(TRLXLSFont());
    InternStyle(initial);
}

TRLXLSWorksheet* TRLXLSWorkbook::FindWorksheet(const QString& Title) const
{
    for (const auto& sheet : FWorksheets)
        if (sheet->Title().compare(Title, Qt::CaseInsensitive) == 0)
            return sheet.get();
    return nullptr;
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

void TRLXLSWorkbook::WriteStream(QIODevice& Device) const
{
    TRLXLSPalette palette;
    const TRLXLSPageSetup& setup = *FPageSetup;

    // Fonts in order of first use; the four defaults come first.
    QList<QByteArray> fontRecords;
    const QByteArray defaultFont = FontRecordData(TRLXLSFont(), palette.ColorIndex(clBlack));
    for (int i = 0; i < 4; ++i)
        fontRecords.append(defaultFont);
    std::vector<int> fontOfPool(std::size_t(FFonts.size()), -1);
    QStringList formats;
    QHash<QString, int> formatIndex;
    uint32_t textCount = 0;
    for (const auto& sheet : FWorksheets) {
        for (const TRLXLSRange& range : sheet->Ranges()) {
            const TRLXLSCellStyle& style = FStyles.at(range.Style);
            int& font = fontOfPool[std::size_t(style.Font)];
            if (font < 0) {
                const TRLXLSFont& value = FFonts.at(style.Font);
                fontRecords.append(FontRecordData(value, palette.ColorIndex(value.Color)));
                font = int(fontRecords.size()); // position + 1
            }
            if (!style.NumberFormat.isEmpty() && !formatIndex.contains(style.NumberFormat)) {
                formatIndex.insert(style.NumberFormat, 50 + int(formats.size()));
                formats.append(style.NumberFormat);
            }
            if (range.Kind == vkText)
                ++textCount;
        }
    }

    // Cell formats: one per distinct record, in range order.
    QList<QByteArray> xfRecords { HexBytes(DefaultCellXF) };
    QHash<QByteArray, int> xfIndex;
    xfIndex.insert(xfRecords.first(), 15);
    std::vector<int> xfOfStyle(std::size_t(FStyles.size()) * 2, -1);
    std::vector<std::vector<int>> xfOfRange(FWorksheets.size());
    for (std::size_t s = 0; s < FWorksheets.size(); ++s) {
        const auto& ranges = FWorksheets[s]->Ranges();
        xfOfRange[s].resize(ranges.size());
        for (std::size_t r = 0; r < ranges.size(); ++r) {
            const TRLXLSRange& range = ranges[r];
            const bool merged = range.IsMerged();
            int& xf = xfOfStyle[std::size_t(range.Style) * 2 + (merged ? 1 : 0)];
            if (xf < 0) {
                const TRLXLSCellStyle& style = FStyles.at(range.Style);
                auto borderColor = [&](TRLXLSBorderKind kind) -> uint32_t {
                    const TRLXLSBorder& border = style.Borders.Items[kind];
                    return border.LineStyle ? uint32_t(palette.ColorIndex(border.Color)) : 0;
                };
                const TRLXLSBorder& diagonal1 = style.Borders.Items[bkDiagonal1];
                const TRLXLSBorder& diagonal2 = style.Borders.Items[bkDiagonal2];
                const TRLXLSBorderKind diagonal = diagonal2.LineStyle ? bkDiagonal2 : bkDiagonal1;
                TRLByteBuilder data;
                data.Word(uint16_t(fontOfPool[std::size_t(style.Font)]));
                data.Word(uint16_t(style.NumberFormat.isEmpty() ? 0 : formatIndex.value(style.NumberFormat)));
                data.Word(1);
                data.Byte(uint8_t((style.HorizontalAlignment & 7) | (style.WrapText ? 8 : 0)
                    | ((style.VerticalAlignment & 7) << 4)));
                data.Byte(style.Rotation);
                data.Word(uint16_t(0x7C00 | (merged ? 0x20 : 0)));
                data.Word(uint16_t((style.Borders.Items[bkLeft].LineStyle & 15)
                    | ((style.Borders.Items[bkRight].LineStyle & 15) << 4)
                    | ((style.Borders.Items[bkTop].LineStyle & 15) << 8)
                    | ((style.Borders.Items[bkBottom].LineStyle & 15) << 12)));
                data.Word(uint16_t(borderColor(bkLeft) | (borderColor(bkRight) << 7)
                    | (diagonal1.LineStyle ? 0x4000 : 0) | (diagonal2.LineStyle ? 0x8000 : 0)));
                data.DWord(borderColor(bkTop) | (borderColor(bkBottom) << 7) | (borderColor(diagonal) << 14)
                    | (uint32_t(style.Borders.Items[diagonal].LineStyle & 15) << 21)
                    | (uint32_t(style.FillPattern & 63) << 26));
                const uint32_t patternColor = uint32_t(palette.ColorIndex(style.PatternColor));
                const uint32_t patternBackColor = uint32_t(palette.ColorIndex(style.PatternBackColor));
                data.Word(uint16_t((patternColor & 127) | ((patternBackColor & 127) << 7)));
                const auto known = xfIndex.constFind(data.Data());
                if (known != xfIndex.constEnd()) {
                    xf = known.value();
                } else {
                    xf = 15 + int(xfRecords.size());
                    xfRecords.append(data.Data());
                    xfIndex.insert(data.Data(), xf);
                }
            }
            xfOfRange[s][r] = xf;
        }
    }
    // XF indexes are 12-bit in cell records' parents and 16-bit here; the format reads at most 4050.
    if (xfRecords.size() + 15 > 4050)
        throw Exception(QStringLiteral("Too many cell formats for a workbook (%1).").arg(xfRecords.size() + 15));

    TRLBiffWriter w(Device);
    w.WriteRecord(2057, TRLByteBuilder().Word(1536).Word(5).Word(3515).Word(1996).DWord(0).DWord(1536));
    w.WriteRecord(225, WordRecord(1252));
    w.WriteRecord(193, WordRecord(0));
    w.WriteRecord(226, QByteArray());
    {
        // The user name as the format defines it (count, flags, characters), padded with blanks.
        TRLByteBuilder access;
        UnicodeString(access, Author());
        QByteArray data = access.Data();
        data.append(112 - data.size(), ' ');
        w.WriteRecord(92, data);
    }
    w.WriteRecord(66, WordRecord(1252));
    w.WriteRecord(353, WordRecord(0));
    w.WriteRecord(448, QByteArray());
    {
        TRLByteBuilder tabs;
        for (std::size_t i = 0; i < FWorksheets.size(); ++i)
            tabs.Word(uint16_t(i));
        w.WriteRecord(317, tabs);
    }
    w.WriteRecord(156, WordRecord(14));
    for (uint16_t type : { 25, 18, 19, 431, 444 })
        w.WriteRecord(type, WordRecord(0));
    w.WriteRecord(61, TRLByteBuilder().Word(360).Word(30).Word(7454).Word(6240).Word(56).Word(0).Word(0).Word(1).Word(600));
    w.WriteRecord(64, WordRecord(0));
    w.WriteRecord(141, WordRecord(0));
    w.WriteRecord(34, WordRecord(0));
    w.WriteRecord(14, WordRecord(1));
    w.WriteRecord(439, WordRecord(0));
    w.WriteRecord(218, WordRecord(0));
    for (const QByteArray& font : fontRecords)
        w.WriteRecord(49, font);
    auto writeFormat = [&](int index, const QString& text) {
        TRLByteBuilder data;
        data.Word(uint16_t(index));
        UnicodeString(data, text);
        w.WriteRecord(1054, data);
    };
    for (const TFixedFormat& format : FixedFormats)
        writeFormat(format.Index, QString::fromUtf16(format.Text));
    for (int i = 0; i < formats.size(); ++i)
        writeFormat(50 + i, formats.at(i));
    w.WriteRaw(HexBytes(StyleXF));
    for (int i = 0; i < 2; ++i)
        w.WriteRaw(HexBytes(StyleXF1));
    for (int i = 0; i < 2; ++i)
        w.WriteRaw(HexBytes(StyleXF2));
    for (int i = 0; i < 10; ++i)
        w.WriteRaw(HexBytes(StyleXF0));
    for (const QByteArray& xf : xfRecords)
        w.WriteRecord(224, xf);
    if (palette.Changed()) {
        TRLByteBuilder data;
        data.Word(56);
        for (uint32_t rgb : palette.Colors())
            data.Byte(uint8_t(rgb >> 16)).Byte(uint8_t(rgb >> 8)).Byte(uint8_t(rgb)).Byte(0);
        w.WriteRecord(146, data);
    }
    for (const char* style : StyleRecords)
        w.WriteRaw(HexBytes(style));
    w.WriteRecord(352, WordRecord(0));
    std::vector<qint64> boundSheetPositions;
    for (const auto& sheet : FWorksheets) {
        boundSheetPositions.push_back(w.Position());
        TRLByteBuilder data;
        data.DWord(0).Byte(0).Byte(0).Byte(uint8_t(sheet->Title().size())).Byte(1).Utf16(sheet->Title());
        w.WriteRecord(133, data);
    }
    w.WriteRecord(140, TRLByteBuilder().Word(7).Word(7));

    // Shared strings, in range order: a range's string index is its place here.
    std::vector<std::vector<int>> stringOfRange(FWorksheets.size());
    if (textCount > 0) {
        TRLSSTWriter sst(w, textCount);
        int next = 0;
        for (std::size_t s = 0; s < FWorksheets.size(); ++s) {
            const auto& ranges = FWorksheets[s]->Ranges();
            stringOfRange[s].assign(ranges.size(), -1);
            for (std::size_t r = 0; r < ranges.size(); ++r) {
                if (ranges[r].Kind != vkText)
                    continue;
                sst.Add(ranges[r].Value);
                stringOfRange[s][r] = next++;
            }
        }
        sst.Finish();
    }
    w.WriteRecord(10, QByteArray());

    for (std::size_t s = 0; s < FWorksheets.size(); ++s) {
        const TRLXLSWorksheet& sheet = *FWorksheets[s];
        const auto& ranges = sheet.Ranges();
        w.Patch(boundSheetPositions[s] + 4, TRLByteBuilder().DWord(uint32_t(w.Position())).Data());
        w.WriteRecord(2057, TRLByteBuilder().Word(1536).Word(16).Word(3515).Word(1996).Zeros(8));

        const bool empty = sheet.IsEmpty();
        const int firstRow = empty ? 0 : sheet.FirstRow();
        const int rowEnd = empty ? 0 : sheet.LastRow() + 1;
        const int blocks = (rowEnd - firstRow + 31) / 32;
        const qint64 indexPosition = w.Position();
        {
            TRLByteBuilder index;
            index.DWord(0).DWord(uint32_t(firstRow)).DWord(uint32_t(rowEnd)).DWord(0).Zeros(4 * blocks);
            w.WriteRecord(523, index);
        }
        w.WriteRecord(13, WordRecord(1));
        w.WriteRecord(12, WordRecord(100));
        w.WriteRecord(15, WordRecord(1));
        w.WriteRecord(17, WordRecord(0));
        w.WriteRaw(HexBytes("10 00 08 00 fc a9 f1 d2 4d 62 50 3f"));
        w.WriteRecord(95, WordRecord(1));
        w.WriteRecord(42, WordRecord(setup.PrintHeaders() ? 1 : 0));
        w.WriteRecord(43, WordRecord(setup.PrintGridLines() ? 1 : 0));
        w.WriteRecord(130, WordRecord(1));
        w.WriteRecord(128, TRLByteBuilder().Zeros(8));
        w.WriteRecord(549, TRLByteBuilder().Word(0).Word(255));
        w.WriteRecord(129, WordRecord(1217));
        auto headerText = [](const QString& left, const QString& center, const QString& right) {
            QString text;
            if (!left.isEmpty())
                text += QStringLiteral("&L") + left;
            if (!center.isEmpty())
                text += QStringLiteral("&C") + center;
            if (!right.isEmpty())
                text += QStringLiteral("&R") + right;
            return text.left(MaxHeaderLength);
        };
        const QString header = headerText(setup.LeftHeader(), setup.CenterHeader(), setup.RightHeader());
        if (!header.isEmpty()) {
            TRLByteBuilder data;
            w.WriteRecord(20, UnicodeString(data, header));
        }
        const QString footer = headerText(setup.LeftFooter(), setup.CenterFooter(), setup.RightFooter());
        if (!footer.isEmpty()) {
            TRLByteBuilder data;
            w.WriteRecord(21, UnicodeString(data, footer));
        }
        w.WriteRecord(131, WordRecord(setup.CenterHorizontally() ? 1 : 0));
        w.WriteRecord(132, WordRecord(setup.CenterVertically() ? 1 : 0));
        w.WriteRecord(38, TRLByteBuilder().Double(setup.LeftMargin() / 2.54));
        w.WriteRecord(39, TRLByteBuilder().Double(setup.RightMargin() / 2.54));
        w.WriteRecord(40, TRLByteBuilder().Double(setup.TopMargin() / 2.54));
        w.WriteRecord(41, TRLByteBuilder().Double(setup.BottomMargin() / 2.54));
        {
            int flags = 0;
            if (setup.PageOrder() == 1)
                flags |= 1;
            if (setup.Orientation() == 0)
                flags |= 2;
            if (setup.BlackAndWhite())
                flags |= 8;
            if (setup.Draft())
                flags |= 16;
            if (setup.PrintNotes())
                flags |= 32;
            if (setup.FirstPageNumber() != 1)
                flags |= 128;
            TRLByteBuilder data;
            data.Word(uint16_t(setup.PaperSize())).Word(uint16_t(setup.Zoom())).Word(uint16_t(setup.FirstPageNumber()));
            data.Word(setup.FitToPagesWide() ? 1 : 0).Word(setup.FitToPagesTall() ? 1 : 0).Word(uint16_t(flags));
            data.Word(0).Word(0).Double(setup.HeaderMargin() / 2.54).Double(setup.FooterMargin() / 2.54);
            data.Word(uint16_t(setup.Copies()));
            w.WriteRecord(161, data);
        }
        w.WriteRecord(85, WordRecord(8));
        for (const TRLXLSCol& col : sheet.Cols()) {
            TRLByteBuilder data;
            data.Word(uint16_t(col.Index)).Word(uint16_t(col.Index)).Word(uint16_t(qBound(0, col.Width, MaxColumnWidth)));
            data.Word(0).Word(0).Byte(0);
            w.WriteRecord(125, data);
        }
        {
            TRLByteBuilder data;
            if (empty)
                data.Zeros(14);
            else
                data.DWord(uint32_t(firstRow)).DWord(uint32_t(rowEnd)).Word(uint16_t(sheet.FirstCol()))
                    .Word(uint16_t(sheet.LastCol() + 1)).Word(0);
            w.WriteRecord(512, data);
        }

        // Rows in blocks of 32, each block's cells gathered before they are written.
        std::vector<int> heightOfRow(static_cast<std::size_t>(rowEnd), -1);
        for (const TRLXLSRow& row : sheet.Rows())
            if (row.Index >= 0 && row.Index < rowEnd)
                heightOfRow[std::size_t(row.Index)] = row.Height;
        std::vector<std::vector<int>> rangesOfRow(static_cast<std::size_t>(rowEnd));
        for (std::size_t r = 0; r < ranges.size(); ++r)
            for (int row = ranges[r].FirstRow; row <= ranges[r].LastRow && row < rowEnd; ++row)
                rangesOfRow[std::size_t(row)].push_back(int(r));
        for (auto& list : rangesOfRow)
            std::sort(list.begin(), list.end(), [&](int a, int b) { return ranges[std::size_t(a)].FirstCol < ranges[std::size_t(b)].FirstCol; });

        TRLByteBuilder indexEntries;
        for (int block = 0; block < blocks; ++block) {
            const int blockFirst = firstRow + block * 32;
            const int blockEnd = qMin(rowEnd, blockFirst + 32);
            const qint64 blockStart = w.Position();
            for (int row = blockFirst; row < blockEnd; ++row) {
                const auto& list = rangesOfRow[std::size_t(row)];
                const int height = heightOfRow[std::size_t(row)];
                TRLByteBuilder data;
                data.Word(uint16_t(row));
                data.Word(list.empty() ? 0 : uint16_t(ranges[std::size_t(list.front())].FirstCol));
                data.Word(list.empty() ? 0 : uint16_t(ranges[std::size_t(list.back())].LastCol + 1));
                data.Word(height >= 0 ? uint16_t(qBound(0, height, MaxRowHeight) * 20) : 255);
                data.Word(0).Word(0).Word(height >= 0 ? 64 : 0).Word(0);
                w.WriteRecord(520, data);
            }
            TRLByteBuilder cells;
            std::vector<int> cellStart;
            for (int row = blockFirst; row < blockEnd; ++row) {
                cellStart.push_back(cells.Size());
                for (int r : rangesOfRow[std::size_t(row)]) {
                    const TRLXLSRange& range = ranges[std::size_t(r)];
                    const int xf = xfOfRange[s][std::size_t(r)];
                    int blankFrom = range.FirstCol;
                    if (row == range.FirstRow) {
                        TRLByteBuilder value;
                        value.Word(uint16_t(row)).Word(uint16_t(range.FirstCol)).Word(uint16_t(xf));
                        if (range.Kind == vkNumber) {
                            value.Double(range.Number);
                            cells.Bytes(BiffRecord(515, value.Data()));
                        } else {
                            value.DWord(uint32_t(stringOfRange[s][std::size_t(r)]));
                            cells.Bytes(BiffRecord(253, value.Data()));
                        }
                        ++blankFrom;
                    }
                    AppendBlanks(cells, row, blankFrom, range.LastCol, xf);
                }
            }
            const qint64 cellsPosition = w.Position();
            w.WriteRaw(cells.Data());
            const qint64 dbcellPosition = w.Position();
            TRLByteBuilder dbcell;
            dbcell.DWord(uint32_t(dbcellPosition - blockStart));
            for (std::size_t i = 0; i < cellStart.size(); ++i) {
                const qint64 offset = i == 0 ? cellsPosition + cellStart[0] - (blockStart + 20)
                                             : qint64(cellStart[i] - cellStart[i - 1]);
                dbcell.Word(uint16_t(offset));
            }
            w.WriteRecord(215, dbcell);
            indexEntries.DWord(uint32_t(dbcellPosition));
        }
        if (blocks > 0)
            w.Patch(indexPosition + 4 + 16, indexEntries.Data());

        w.WriteRecord(574, TRLByteBuilder().Word(uint16_t(1206 + (s == 0 ? 512 : 0))).Word(0).Word(0).Word(64).Zeros(10));
        w.WriteRecord(29, TRLByteBuilder().Byte(3).Zeros(6).Word(1).Zeros(6));
        // A MERGEDCELLS record holds at most 1027 ranges; more go into further records, never into
        // CONTINUE records, which readers of this record do not follow.
        std::vector<const TRLXLSRange*> merged;
        for (const TRLXLSRange& range : ranges)
            if (range.IsMerged())
                merged.push_back(&range);
        constexpr std::size_t MergedPerRecord = (BiffMaxRecordData - 2) / 8;
        for (std::size_t from = 0; from < merged.size(); from += MergedPerRecord) {
            const std::size_t count = qMin(MergedPerRecord, merged.size() - from);
            TRLByteBuilder data;
            data.Word(uint16_t(count));
            for (std::size_t i = from; i < from + count; ++i)
                data.Word(uint16_t(merged[i]->FirstRow)).Word(uint16_t(merged[i]->LastRow))
                    .Word(uint16_t(merged[i]->FirstCol)).Word(uint16_t(merged[i]->LastCol));
            w.WriteRecord(229, data);
        }
        w.WriteRecord(10, QByteArray());
    }

    // Readers take a stream shorter than the container's mini-stream cut-off from the mini stream,
    // which this file has not: the stream is padded to the cut-off instead.
    if (w.Position() < CompoundMinimumStreamSize)
        w.WriteRaw(QByteArray(CompoundMinimumStreamSize - w.Position(), '\0'));
    w.Flush();
}
