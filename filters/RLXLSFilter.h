#pragma once
// The spreadsheet writer: every page of a page store becomes one worksheet of a binary workbook
// (BIFF8 records in the "Workbook" stream of a compound document, the ".xls" file).
//
// Only the text objects of a page are exported. Their rectangles are cut into a grid of columns and
// rows; each text becomes one cell, or one merged block of cells, with its font and alignment, and is
// optionally recognised as a number in the locale's notation (foFindValueCells).
//
// Ownership: the filter owns its workbook; the workbook owns its page setup, its style and string
// tables and the temporary stream its worksheets are written to; a worksheet owns its ranges,
// columns and rows while its page is turned into it. DrawPage builds a worksheet and hands it to the
// workbook, which writes it out at once, so memory stays flat however many pages a run has.
// BeginDocument empties the workbook, EndDocument writes the file and lets the sheet stream go.
//
// The file replaces an existing one only when it is complete: the workbook stream is built in an
// owner-only temporary file, the compound document is written beside the target and renamed over it
// at the end of a run that was not aborted. A failed or aborted run leaves the old file untouched.
#include "filters/RLFilters.h"
#include "platform/Graphics.h"

#include <QFlags>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QIODevice;
class TRLTextObject;

namespace RLXLSTypes {
Q_NAMESPACE
enum TRLXLSFilterOption { foFindValueCells = 1 };
Q_DECLARE_FLAGS(TRLXLSFilterOptions, TRLXLSFilterOption)
Q_FLAG_NS(TRLXLSFilterOptions)
} // namespace RLXLSTypes
Q_DECLARE_OPERATORS_FOR_FLAGS(RLXLSTypes::TRLXLSFilterOptions)
using namespace RLXLSTypes;

// Printing options of every worksheet. Margins are in centimetres.
class TRLXLSPageSetup : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(int Copies READ Copies WRITE SetCopies)
    Q_PROPERTY(int Zoom READ Zoom WRITE SetZoom)
    Q_PROPERTY(bool CenterHorizontally READ CenterHorizontally WRITE SetCenterHorizontally)
    Q_PROPERTY(bool CenterVertically READ CenterVertically WRITE SetCenterVertically)
    Q_PROPERTY(bool BlackAndWhite READ BlackAndWhite WRITE SetBlackAndWhite)
    Q_PROPERTY(bool Draft READ Draft WRITE SetDraft)
    Q_PROPERTY(bool PrintNotes READ PrintNotes WRITE SetPrintNotes)
    Q_PROPERTY(bool PrintGridLines READ PrintGridLines WRITE SetPrintGridLines)
    Q_PROPERTY(double LeftMargin READ LeftMargin WRITE SetLeftMargin)
    Q_PROPERTY(double TopMargin READ TopMargin WRITE SetTopMargin)
    Q_PROPERTY(double RightMargin READ RightMargin WRITE SetRightMargin)
    Q_PROPERTY(double BottomMargin READ BottomMargin WRITE SetBottomMargin)
    Q_PROPERTY(int FirstPageNumber READ FirstPageNumber WRITE SetFirstPageNumber)
    Q_PROPERTY(bool FitToPagesTall READ FitToPagesTall WRITE SetFitToPagesTall)
    Q_PROPERTY(bool FitToPagesWide READ FitToPagesWide WRITE SetFitToPagesWide)
    Q_PROPERTY(QString LeftHeader READ LeftHeader WRITE SetLeftHeader)
    Q_PROPERTY(QString CenterHeader READ CenterHeader WRITE SetCenterHeader)
    Q_PROPERTY(QString RightHeader READ RightHeader WRITE SetRightHeader)
    Q_PROPERTY(QString LeftFooter READ LeftFooter WRITE SetLeftFooter)
    Q_PROPERTY(QString CenterFooter READ CenterFooter WRITE SetCenterFooter)
    Q_PROPERTY(QString RightFooter READ RightFooter WRITE SetRightFooter)
    Q_PROPERTY(double HeaderMargin READ HeaderMargin WRITE SetHeaderMargin)
    Q_PROPERTY(double FooterMargin READ FooterMargin WRITE SetFooterMargin)
public:
    Q_INVOKABLE explicit TRLXLSPageSetup(QObject* parent = nullptr)
        : TPersistent(parent)
    { }

    int Copies() const { return FCopies; }
    void SetCopies(int v) { FCopies = v; }
    int Zoom() const { return FZoom; }
    void SetZoom(int v) { FZoom = v; }
    bool CenterHorizontally() const { return FCenterHorizontally; }
    void SetCenterHorizontally(bool v) { FCenterHorizontally = v; }
    bool CenterVertically() const { return FCenterVertically; }
    void SetCenterVertically(bool v) { FCenterVertically = v; }
    bool BlackAndWhite() const { return FBlackAndWhite; }
    void SetBlackAndWhite(bool v) { FBlackAndWhite = v; }
    bool Draft() const { return FDraft; }
    void SetDraft(bool v) { FDraft = v; }
    bool PrintNotes() const { return FPrintNotes; }
    void SetPrintNotes(bool v) { FPrintNotes = v; }
    bool PrintGridLines() const { return FPrintGridLines; }
    void SetPrintGridLines(bool v) { FPrintGridLines = v; }
    double LeftMargin() const { return FLeftMargin; }
    void SetLeftMargin(double v) { FLeftMargin = v; }
    double TopMargin() const { return FTopMargin; }
    void SetTopMargin(double v) { FTopMargin = v; }
    double RightMargin() const { return FRightMargin; }
    void SetRightMargin(double v) { FRightMargin = v; }
    double BottomMargin() const { return FBottomMargin; }
    void SetBottomMargin(double v) { FBottomMargin = v; }
    int FirstPageNumber() const { return FFirstPageNumber; }
    void SetFirstPageNumber(int v) { FFirstPageNumber = v; }
    bool FitToPagesTall() const { return FFitToPagesTall; }
    void SetFitToPagesTall(bool v) { FFitToPagesTall = v; }
    bool FitToPagesWide() const { return FFitToPagesWide; }
    void SetFitToPagesWide(bool v) { FFitToPagesWide = v; }
    QString LeftHeader() const { return FLeftHeader; }
    void SetLeftHeader(const QString& v) { FLeftHeader = v; }
    QString CenterHeader() const { return FCenterHeader; }
    void SetCenterHeader(const QString& v) { FCenterHeader = v; }
    QString RightHeader() const { return FRightHeader; }
    void SetRightHeader(const QString& v) { FRightHeader = v; }
    QString LeftFooter() const { return FLeftFooter; }
    void SetLeftFooter(const QString& v) { FLeftFooter = v; }
    QString CenterFooter() const { return FCenterFooter; }
    void SetCenterFooter(const QString& v) { FCenterFooter = v; }
    QString RightFooter() const { return FRightFooter; }
    void SetRightFooter(const QString& v) { FRightFooter = v; }
    double HeaderMargin() const { return FHeaderMargin; }
    void SetHeaderMargin(double v) { FHeaderMargin = v; }
    double FooterMargin() const { return FFooterMargin; }
    void SetFooterMargin(double v) { FFooterMargin = v; }

    // Not published.
    int PaperSize() const { return FPaperSize; }
    int Orientation() const { return FOrientation; } // 0 portrait
    int PageOrder() const { return FPageOrder; }
    bool PrintHeaders() const { return FPrintHeaders; }

private:
    int FCopies = 1;
    int FZoom = 100;
    bool FCenterHorizontally = false;
    bool FCenterVertically = false;
    bool FBlackAndWhite = false;
    bool FDraft = false;
    bool FPrintNotes = false;
    bool FPrintGridLines = false;
    double FLeftMargin = 2.0;
    double FTopMargin = 2.5;
    double FRightMargin = 2.0;
    double FBottomMargin = 2.5;
    int FFirstPageNumber = 1;
    bool FFitToPagesTall = true;
    bool FFitToPagesWide = true;
    QString FLeftHeader, FCenterHeader, FRightHeader;
    QString FLeftFooter, FCenterFooter, FRightFooter;
    double FHeaderMargin = 0;
    double FFooterMargin = 0;
    int FPaperSize = 9;
    int FOrientation = 0;
    int FPageOrder = 0;
    bool FPrintHeaders = false;
};

// A cell font as a value: hundreds of thousands of cells share a handful of fonts, so ranges keep an
// index into the workbook's font pool instead of a font object each.
struct TRLXLSFont
{
    QString Name = QStringLiteral("Arial");
    int Size = 10; // points
    int Height = -13;
    TColor Color = clBlack;
    TFontStyles Style = 0;
    TFontPitch Pitch = TFontPitch::fpDefault;
    int Charset = 1;

    void FromFont(const TFont& Font);
    friend bool operator==(const TRLXLSFont&, const TRLXLSFont&) = default;
};
size_t qHash(const TRLXLSFont& Font, size_t Seed = 0);

struct TRLXLSBorder
{
    uint8_t LineStyle = 0; // 0 none
    uint8_t Weight = 0;
    TColor Color = clBlack;
    friend bool operator==(const TRLXLSBorder&, const TRLXLSBorder&) = default;
};

// Diagonal down, diagonal up, bottom, left, right, top.
enum TRLXLSBorderKind { bkDiagonal1, bkDiagonal2, bkBottom, bkLeft, bkRight, bkTop };
struct TRLXLSBorders
{
    TRLXLSBorder Items[6];
    friend bool operator==(const TRLXLSBorders&, const TRLXLSBorders&) = default;
};

// Everything of a range that goes into its cell format, interned per workbook.
struct TRLXLSCellStyle
{
    int Font = 0; // index into the workbook's font pool
    TRLXLSBorders Borders;
    uint8_t HorizontalAlignment = 0; // BIFF code: 0 general, 1 left, 2 centre, 3 right, 5 justify
    uint8_t VerticalAlignment = 2; // 0 top, 1 centre, 2 bottom, 3 justify
    bool WrapText = false;
    uint8_t Rotation = 0;
    uint8_t FillPattern = 0;
    TColor PatternColor = clBlack;
    TColor PatternBackColor = clBlack;
    QString NumberFormat;
    friend bool operator==(const TRLXLSCellStyle&, const TRLXLSCellStyle&) = default;
};
size_t qHash(const TRLXLSCellStyle& Style, size_t Seed = 0);

struct TRLXLSCol
{
    int Index = 0;
    int Width = 2048; // column units
};

struct TRLXLSRow
{
    int Index = 0;
    int Height = 255; // points
};

enum TRLXLSValueKind : uint8_t { vkNumber = 0, vkText = 1 };

// One cell or one merged block.
struct TRLXLSRange
{
    int FirstCol = 0;
    int FirstRow = 0;
    int LastCol = 0;
    int LastRow = 0;
    int Style = 0; // index into the workbook's style pool
    TRLXLSValueKind Kind = vkText;
    double Number = 0; // the value of a number
    QString Value; // the value text

    bool IsMerged() const { return LastCol > FirstCol || LastRow > FirstRow; }
};

class TRLXLSWorkbook;

// One page as a worksheet while it is built: its grid and its ranges. The workbook writes it out at
// once and keeps only its title and where it went.
class TRLXLSWorksheet
{
public:
    explicit TRLXLSWorksheet(TRLXLSWorkbook* Workbook)
        : FWorkbook(Workbook)
    { }

    TRLXLSWorkbook* Workbook() const { return FWorkbook; }
    QString Title() const { return FTitle; }
    // At most 31 characters, trimmed.
    void SetTitle(const QString& Value);

    const std::vector<TRLXLSRange>& Ranges() const { return FRanges; }
    const std::vector<TRLXLSCol>& Cols() const { return FCols; }
    const std::vector<TRLXLSRow>& Rows() const { return FRows; }
    // Bounds; all -1 while the worksheet is empty.
    int FirstCol() const { return FFirstCol; }
    int FirstRow() const { return FFirstRow; }
    int LastCol() const { return FLastCol; }
    int LastRow() const { return FLastRow; }
    bool IsEmpty() const { return FFirstRow < 0 || FFirstCol < 0; }

    void AddCol(int Index, int Width);
    void AddRow(int Index, int Height);
    // The range with exactly these bounds, or a new one (default style). A text the page printed
    // never vanishes under a later one; where the new bounds overlap an earlier range:
    // - the earlier one starts further left: it is cut back to the columns before the new one;
    // - the new one starts further left: it is cut back to the columns before the earlier one;
    // - both start in the same column: the new one goes on right of the earlier one when it reaches
    //   beyond it; otherwise nothing of the earlier one is left and it is dropped.
    // Bounds must be valid (first <= last, inside the BIFF grid).
    TRLXLSRange& RangeAt(int FirstCol, int FirstRow, int LastCol, int LastRow);
    // Drops deleted ranges and the look-up tables RangeAt needs; called once a page is complete.
    void Finish();

private:
    void Widen(int FirstCol, int FirstRow, int LastCol, int LastRow);

    TRLXLSWorkbook* FWorkbook;
    QString FTitle;
    std::vector<TRLXLSRange> FRanges;
    std::vector<bool> FDeleted;
    std::vector<TRLXLSCol> FCols;
    std::vector<TRLXLSRow> FRows;
    // While the page is built: ranges by exact bounds, and the ranges covering each row.
    QHash<quint64, int> FByBounds;
    std::vector<std::vector<int>> FByRow;
    int FFirstCol = -1;
    int FFirstRow = -1;
    int FLastCol = -1;
    int FLastRow = -1;
};

class TRLBiffWriter;
class TRLXLSStyleTable;
class TRLXLSStringTable;
class QFile;

// The workbook of one run. Each worksheet is written to a temporary sheet stream as soon as it is
// added; what stays in memory is what the globals need: the fonts, formats and cell formats, the
// shared strings, and the title and stream position of every sheet. WriteStream then writes the
// globals and copies the sheets after them.
class TRLXLSWorkbook
{
public:
    TRLXLSWorkbook();
    ~TRLXLSWorkbook();

    QString Author() const { return QStringLiteral("Quillborough"); }
    TRLXLSPageSetup* PageSetup() const { return FPageSetup.get(); }

    int WorksheetCount() const { return int(FSheets.size()); }
    QString WorksheetTitle(int Index) const { return FSheets.at(std::size_t(Index)).Title; }
    // Whether a worksheet has this title, compared without regard to case.
    bool HasWorksheetTitled(const QString& Title) const;
    // Writes the worksheet's records to the sheet stream; the worksheet itself is not kept.
    void AddWorksheet(const TRLXLSWorksheet& Sheet);
    // Forgets the worksheets, the pools, the styles and strings, and the sheet stream.
    void Clear();
    // Deletes the sheet stream, keeping the titles; WriteStream then refuses until the next Clear.
    void CloseSheetStream();

    int InternFont(const TRLXLSFont& Font);
    int InternStyle(const TRLXLSCellStyle& Style);
    const TRLXLSFont& Fonts(int Index) const { return FFonts.at(Index); }
    const TRLXLSCellStyle& Styles(int Index) const { return FStyles.at(Index); }
    int FontPoolSize() const { return int(FFonts.size()); }
    int StylePoolSize() const { return int(FStyles.size()); }

    // Writes the whole workbook stream (globals, then every worksheet) to Stream.
    void WriteStream(QIODevice& Stream);

private:
    struct TSheetEntry
    {
        QString Title;
        qint64 Position = 0; // of its BOF in the sheet stream
        qint64 IndexEntries = 0; // of its INDEX record's first DBCELL position
        std::vector<uint32_t> DBCells; // positions in the sheet stream
    };
    int XFOfRange(const TRLXLSRange& Range);
    void WriteGlobals(TRLBiffWriter& Writer, std::vector<qint64>& BoundSheets) const;
    void WriteWorksheet(TRLBiffWriter& Writer, const TRLXLSWorksheet& Sheet, TSheetEntry& Entry);
    void WriteSheets(TRLBiffWriter& Writer, const std::vector<qint64>& BoundSheets);
    void OpenSheetStream();

    std::unique_ptr<TRLXLSPageSetup> FPageSetup;
    QList<TRLXLSFont> FFonts;
    QHash<TRLXLSFont, int> FFontIndex;
    QList<TRLXLSCellStyle> FStyles;
    QHash<TRLXLSCellStyle, int> FStyleIndex;
    std::unique_ptr<TRLXLSStyleTable> FStyleTable;
    std::vector<int> FXFOfStyle; // per pool style and merge flag, -1 until first used
    std::unique_ptr<TRLXLSStringTable> FStrings;
    std::vector<TSheetEntry> FSheets;
    QSet<QString> FTitles; // case-folded
    std::unique_ptr<QFile> FSheetFile;
    QString FSheetFileName;
    std::unique_ptr<TRLBiffWriter> FSheetWriter;
};

class TRLXLSFilter : public TRLCustomSaveFilter
{
    Q_OBJECT
    Q_PROPERTY(RLXLSTypes::TRLXLSFilterOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(TRLXLSPageSetup* PageSetup READ PageSetup WRITE SetPageSetup)
public:
    Q_INVOKABLE explicit TRLXLSFilter(TComponent* AOwner = nullptr);
    ~TRLXLSFilter() override;

    TRLXLSFilterOptions Options() const { return FOptions; }
    void SetOptions(TRLXLSFilterOptions Value) { FOptions = Value; }
    TRLXLSPageSetup* PageSetup() const { return FWorkbook->PageSetup(); }
    // Copies Value.
    void SetPageSetup(TRLXLSPageSetup* Value);

    TRLXLSWorkbook* Workbook() const { return FWorkbook.get(); }

    bool IsPropertyStored(const QMetaProperty& property) const override;

    // The worksheet a page becomes: titled, its grid, and a range per text with value and style.
    void BuildWorksheet(TRLGraphicSurface* Surface, TRLXLSWorksheet& Sheet);

protected:
    void BeginDocument() override;
    void EndDocument() override;
    void NewPage() override;
    void DrawPage(TRLGraphicSurface* Surface) override;

private:
    void SetRangeValue(TRLXLSRange& Range, const QString& Text) const;
    void WriteFile();

    TRLXLSFilterOptions FOptions;
    std::unique_ptr<TRLXLSWorkbook> FWorkbook;
    std::unique_ptr<TFont> FScratchFont;
};

// --- helpers shared with the tests ---------------------------------------------------------------

// A pixel distance across the page in column units (1/1440 inch x 2.54): round(p x 38.1), ties to even.
int PixelsToColumnUnits(int Pixels);

// The number a cell text stands for when value cells are looked for: the text with line breaks made
// spaces, trimmed, without the locale's thousands separators and with its decimal separator made a
// point, read completely as a decimal number. False for anything else (a date, a currency sign).
bool FindCellValue(const QString& Text, QChar DecimalSeparator, double& Value);
