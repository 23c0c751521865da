// The spreadsheet filter: pages to worksheets, and the file written at the end of a run.
#include "filters/RLXLSFilter.h"
#include "filters/RLXLSWriter.h"

#include "engine/RLConsts.h"
#include "engine/RLUtils.h"
#include "pagestore/RLMetaDraw.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Format.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <charconv>
#include <climits>
#include <map>

namespace {

// Below these sizes a column or row is folded into its neighbour: 10 pixels, across in column units.
constexpr int ColumnThreshold = 381;
constexpr int RowThreshold = 10;
// The grid of a BIFF8 worksheet.
constexpr int MaxColumns = 256;
constexpr int MaxRows = 65536;
// The longest text a cell holds.
constexpr int MaxCellText = 32767;

struct TEdge
{
    int Position;
    int Size;
};

// Step 3 and 4 of the grid: sizes become distances to the next edge, then edges closer than the
// threshold are folded into the one before, keeping the span it covered. One edge always stays, so a
// page whose texts are all narrow still has a cell to put them in.
std::vector<TEdge> BuildEdges(const std::map<int, int>& Inserted, int Threshold)
{
    std::vector<TEdge> edges;
    edges.reserve(Inserted.size());
    for (const auto& [position, size] : Inserted)
        edges.push_back({ position, size });
    for (std::size_t i = 0; i + 1 < edges.size(); ++i)
        edges[i].Size = edges[i + 1].Position - edges[i].Position;
    for (std::size_t i = edges.size(); i-- > 0;) {
        if (edges.size() == 1)
            break;
        if (edges[i].Size >= Threshold)
            continue;
        const bool inner = i > 0 && i + 1 < edges.size();
        if (inner)
            edges[i - 1].Size = edges[i + 1].Position - edges[i - 1].Position;
        edges.erase(edges.begin() + std::ptrdiff_t(i));
    }
    return edges;
}

// Corrupt or hostile pages may carry coordinates near the limits of int; positions are kept within a
// range whose differences still fit, so no edge, size or span computation overflows.
constexpr int EdgeLimit = 1 << 29;
int BoundedEdge(int Position)
{
    return std::clamp(Position, -EdgeLimit, EdgeLimit);
}

void InsertEdge(std::map<int, int>& Edges, int Position, int Size)
{
    const auto [it, inserted] = Edges.try_emplace(Position, Size);
    if (!inserted && Size > it->second)
        it->second = Size;
}

// The first edge at or after Position, searching from From.
int EdgeAtOrAfter(const std::vector<TEdge>& Edges, int From, int Position)
{
    const auto it = std::lower_bound(Edges.begin() + From, Edges.end(), Position,
        [](const TEdge& edge, int value) { return edge.Position < value; });
    return int(it - Edges.begin());
}

// First and last grid line a text covers. A text narrower than the threshold would end before it
// starts; it then takes its first cell alone.
void SpanOf(const std::vector<TEdge>& Edges, int Start, int End, int Threshold, int& First, int& Last)
{
    const int count = int(Edges.size());
    First = qMin(EdgeAtOrAfter(Edges, 0, Start), count - 1);
    Last = EdgeAtOrAfter(Edges, First, End - Threshold) - 1;
    if (Last < First)
        Last = First;
}

QString SheetTooLargeMessage(int PageNumber, const QString& What)
{
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        return QStringLiteral("A página %1 não cabe em uma planilha: %2.").arg(PageNumber).arg(What);
    case lgFrench:
        return QStringLiteral("La page %1 ne tient pas dans une feuille de calcul : %2.")
            .arg(PageNumber)
            .arg(What);
    case lgSpanish:
        return QStringLiteral("La página %1 no cabe en una hoja de cálculo: %2.").arg(PageNumber).arg(What);
    case lgEnglish:
        break;
    }
    return QStringLiteral("Page %1 does not fit in a worksheet: %2.").arg(PageNumber).arg(What);
}

QString NoFileNameMessage()
{
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        return QStringLiteral("Nenhum nome de arquivo foi informado para a planilha.");
    case lgFrench:
        return QStringLiteral("Aucun nom de fichier n'a été donné pour la feuille de calcul.");
    case lgSpanish:
        return QStringLiteral("No se indicó ningún nombre de archivo para la hoja de cálculo.");
    case lgEnglish:
        break;
    }
    return QStringLiteral("No file name was given for the spreadsheet.");
}

// [sign] (digits [. digits] | . digits) [e [sign] digits], nothing else.
bool IsDecimalNumber(const QByteArray& Text)
{
    qsizetype i = 0;
    const qsizetype n = Text.size();
    auto digits = [&] {
        const qsizetype start = i;
        while (i < n && Text[i] >= '0' && Text[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < n && (Text[i] == '+' || Text[i] == '-'))
        ++i;
    qsizetype mantissa = digits();
    if (i < n && Text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < n && (Text[i] == 'e' || Text[i] == 'E')) {
        ++i;
        if (i < n && (Text[i] == '+' || Text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == n;
}

} // namespace

int PixelsToColumnUnits(int Pixels)
{
    // p / 96 x 1440 x 2.54 is exactly p x 381 / 10; integers keep the ties exact.
    const qint64 scaled = qint64(Pixels) * 381;
    qint64 quotient = scaled / 10;
    qint64 remainder = scaled % 10;
    if (remainder < 0) {
        remainder += 10;
        --quotient;
    }
    if (remainder > 5 || (remainder == 5 && (quotient & 1)))
        ++quotient;
    return int(qBound<qint64>(qint64(INT_MIN), quotient, qint64(INT_MAX)));
}

bool FindCellValue(const QString& Text, QChar DecimalSeparator, double& Value)
{
    const QChar thousands = DecimalSeparator == u'.' ? u',' : u'.';
    QString candidate = Text;
    candidate.replace(u'\n', u' ');
    candidate = candidate.trimmed();
    candidate.remove(thousands);
    candidate.replace(DecimalSeparator, u'.');
    if (candidate.isEmpty())
        return false;
    for (QChar c : candidate)
        if (c.unicode() > 127)
            return false;
    QByteArray bytes = candidate.toLatin1();
    if (!IsDecimalNumber(bytes))
        return false;
    const char* begin = bytes.constData();
    if (*begin == '+')
        ++begin;
    double value = 0;
    const auto [end, error] = std::from_chars(begin, bytes.constData() + bytes.size(), value);
    if (error != std::errc() || end != bytes.constData() + bytes.size())
        return false;
    Value = value;
    return true;
}

// --- filter --------------------------------------------------------------------------------------

TRLXLSFilter::TRLXLSFilter(TComponent* AOwner)
    : TRLCustomSaveFilter(AOwner)
    , FWorkbook(std::make_unique<TRLXLSWorkbook>())
    , FScratchFont(std::make_unique<TFont>())
{
    SetDisplayName(RLMessage(RLMsgSpreadsheet));
    SetDefaultExt(QStringLiteral(".xls"));
}

TRLXLSFilter::~TRLXLSFilter() = default;

void TRLXLSFilter::SetPageSetup(TRLXLSPageSetup* Value)
{
    if (Value && Value != FWorkbook->PageSetup())
        FWorkbook->PageSetup()->Assign(Value);
}

bool TRLXLSFilter::IsPropertyStored(const QMetaProperty& property) const
{
    if (qstrcmp(property.name(), "DisplayName") == 0)
        return DisplayName() != RLMessage(RLMsgSpreadsheet);
    return TRLCustomSaveFilter::IsPropertyStored(property);
}

void TRLXLSFilter::BeginDocument()
{
    FWorkbook->Clear();
}

void TRLXLSFilter::NewPage() { }

void TRLXLSFilter::SetRangeValue(TRLXLSRange& Range, const QString& Text) const
{
    QString value = Text.isEmpty() ? QStringLiteral(" ") : Text;
    value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A cell holds at most 32767 characters; the string table counts them in 16 bits.
    if (value.size() > MaxCellText)
        value.truncate(MaxCellText);
    Range.Kind = vkText;
    Range.Number = 0;
    Range.Value = value;
    if (!(FOptions & foFindValueCells))
        return;
    const TFormatSettings& settings = DefaultFormatSettings();
    double number = 0;
    if (!FindCellValue(value, settings.DecimalSeparator, number))
        return;
    // The value as the platform's general text shows it (15 significant digits), read back.
    const QString text = FloatToStr(number, settings);
    double shown = number;
    if (TryStrToFloat(text, shown, settings))
        number = shown;
    Range.Kind = vkNumber;
    Range.Number = number;
    Range.Value = text;
}

void TRLXLSFilter::DrawPage(TRLGraphicSurface* Surface)
{
    TRLXLSWorksheet sheet(FWorkbook.get());
    BuildWorksheet(Surface, sheet);
    FWorkbook->AddWorksheet(sheet);
}

void TRLXLSFilter::BuildWorksheet(TRLGraphicSurface* Surface, TRLXLSWorksheet& Sheet)
{
    TRLXLSWorksheet* sheet = &Sheet;
    int number = FWorkbook->WorksheetCount() + 1;
    const int pageNumber = number;
    const QString base = RLMessage(RLMsgPage) + QLatin1Char(' ');
    while (FWorkbook->HasWorksheetTitled((base + QString::number(number)).left(31).trimmed()))
        ++number;
    sheet->SetTitle(base + QString::number(number));

    struct TText
    {
        const TRLTextObject* Object;
        QString Display;
    };
    std::vector<TText> texts;
    std::map<int, int> colEdges;
    std::map<int, int> rowEdges;
    for (int i = 0; i < Surface->ObjectCount(); ++i) {
        const TRLGraphicObject* object = Surface->Objects(i);
        if (object->Kind() != okText)
            continue;
        const auto* text = static_cast<const TRLTextObject*>(object);
        QString display = text->DisplayText();
        if (display.isEmpty())
            continue;
        const TRect& r = text->BoundsRect;
        const int left = BoundedEdge(PixelsToColumnUnits(r.Left));
        InsertEdge(colEdges, left, BoundedEdge(PixelsToColumnUnits(r.Right)) - left);
        InsertEdge(rowEdges, BoundedEdge(r.Top), BoundedEdge(r.Bottom) - BoundedEdge(r.Top));
        texts.push_back({ text, std::move(display) });
    }
    const std::vector<TEdge> cols = BuildEdges(colEdges, ColumnThreshold);
    const std::vector<TEdge> rows = BuildEdges(rowEdges, RowThreshold);
    if (int(cols.size()) > MaxColumns)
        throw Exception(
            SheetTooLargeMessage(pageNumber, QStringLiteral("%1 > %2").arg(cols.size()).arg(MaxColumns)));
    if (int(rows.size()) > MaxRows)
        throw Exception(
            SheetTooLargeMessage(pageNumber, QStringLiteral("%1 > %2").arg(rows.size()).arg(MaxRows)));
    for (std::size_t i = 0; i < cols.size(); ++i)
        sheet->AddCol(int(i), cols[i].Size);
    for (std::size_t i = 0; i < rows.size(); ++i)
        sheet->AddRow(int(i), rows[i].Size);

    for (const TText& text : texts) {
        const TRect& r = text.Object->BoundsRect;
        int firstCol = 0, lastCol = 0, firstRow = 0, lastRow = 0;
        SpanOf(cols, BoundedEdge(PixelsToColumnUnits(r.Left)), BoundedEdge(PixelsToColumnUnits(r.Right)),
            ColumnThreshold, firstCol, lastCol);
        SpanOf(rows, BoundedEdge(r.Top), BoundedEdge(r.Bottom), RowThreshold, firstRow, lastRow);
        TRLXLSRange& range = sheet->RangeAt(firstCol, firstRow, lastCol, lastRow);
        SetRangeValue(range, text.Display);

        TRLXLSCellStyle style = FWorkbook->Styles(range.Style);
        FontToCanvas(text.Object->Font, *FScratchFont, 1);
        TRLXLSFont font;
        font.FromFont(*FScratchFont);
        style.Font = FWorkbook->InternFont(font);
        switch (text.Object->Alignment) {
        case MetaTextAlignmentLeft:
            style.HorizontalAlignment = 1;
            break;
        case MetaTextAlignmentRight:
            style.HorizontalAlignment = 3;
            break;
        case MetaTextAlignmentCenter:
            style.HorizontalAlignment = 2;
            break;
        case MetaTextAlignmentJustify:
            style.HorizontalAlignment = 5;
            break;
        }
        switch (int(text.Object->Layout)) {
        case 1:
            style.VerticalAlignment = 0;
            break;
        case 2:
            style.VerticalAlignment = 2;
            break;
        case 3:
            style.VerticalAlignment = 1;
            break;
        case 4:
            style.VerticalAlignment = 3;
            break;
        default:
            break;
        }
        range.Style = FWorkbook->InternStyle(style);
    }
    sheet->Finish();
}

void TRLXLSFilter::EndDocument()
{
    // The sheet stream goes with the run, written or not; the titles stay until the next run.
    const auto discard = qScopeGuard([&] { FWorkbook->CloseSheetStream(); });
    // An aborted run keeps whatever file was there.
    if (RunAborted())
        return;
    WriteFile();
}

void TRLXLSFilter::WriteFile()
{
    const QString fileName = FileName();
    if (fileName.isEmpty())
        throw Exception(NoFileNameMessage());
    // A workbook needs a worksheet; a run without pages gets one empty sheet rather than a file that
    // spreadsheet programs refuse.
    if (FWorkbook->WorksheetCount() == 0) {
        TRLXLSWorksheet sheet(FWorkbook.get());
        sheet.SetTitle(RLMessage(RLMsgPage) + QStringLiteral(" 1"));
        FWorkbook->AddWorksheet(sheet);
    }

    TRLTempFile stream;
    const QString streamName = CreateTempFile(stream);
    const auto removeStream = qScopeGuard([&] {
        stream.close();
        QFile::remove(streamName);
        UnregisterTempFile(streamName);
    });
    try {
        FWorkbook->WriteStream(stream);
    } catch (const Exception& error) {
        // A failure of the temporary stream is told as that, with its folder and cause.
        throw Exception(XLSWriteErrorMessage(
            fileName, stream.LastErrorNumber() ? stream.WriteFailureText() : error.Message()));
    }
    const qint64 size = stream.size();
    if (!stream.flush() || !stream.seek(0))
        throw Exception(XLSWriteErrorMessage(fileName, stream.WriteFailureText()));

    // Written beside the target and renamed over it only when complete.
    TRLSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly))
        throw Exception(XLSWriteErrorMessage(fileName, out.errorString()));
    try {
        WriteCompoundDocument(out, stream, size);
    } catch (...) {
        // The message already names the file that failed.
        out.cancelWriting();
        throw;
    }
    if (!out.commit())
        throw Exception(XLSWriteErrorMessage(fileName, out.errorString()));
}
