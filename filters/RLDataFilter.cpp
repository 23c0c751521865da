// The data writers and the table of rows they write.
#include "filters/RLDataFilter.h"

#include "engine/RLConsts.h"
#include "engine/RLUtils.h"
#include "filters/RLXLSWriter.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <locale.h>

namespace {

QString Localized(
    const char16_t* English, const char16_t* Portuguese, const char16_t* Spanish, const char16_t* French)
{
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        return QString::fromUtf16(Portuguese);
    case lgSpanish:
        return QString::fromUtf16(Spanish);
    case lgFrench:
        return QString::fromUtf16(French);
    case lgEnglish:
        break;
    }
    return QString::fromUtf16(English);
}

QString XLSXDisplayName()
{
    return Localized(u"Data spreadsheet (xlsx)", u"Planilha de dados (xlsx)", u"Hoja de datos (xlsx)",
        u"Classeur de données (xlsx)");
}

QString CSVDisplayName()
{
    return Localized(
        u"Delimited text (csv)", u"Texto separado (csv)", u"Texto separado (csv)", u"Texte délimité (csv)");
}

QString NoTableMessage()
{
    return Localized(u"The report gave the data writer no table.",
        u"O relatório não deu dados ao gravador de dados.", u"El informe no dio datos al grabador de datos.",
        u"Le rapport n'a donné aucune donnée au rédacteur de données.");
}

QString TooManyRowsMessage(qint64 Rows)
{
    return Localized(u"%1 rows do not fit in one sheet (at most %2).",
        u"%1 linhas não cabem em uma planilha (no máximo %2).",
        u"%1 filas no caben en una hoja (como máximo %2).",
        u"%1 lignes ne tiennent pas dans une feuille (au plus %2).")
        .arg(Rows)
        .arg(XLSXMaxDataRows);
}

QString RowFileMessage()
{
    return Localized(u"The data rows could not be read back",
        u"As linhas de dados não puderam ser lidas de volta", u"Las filas de datos no pudieron leerse",
        u"Les lignes de données n'ont pas pu être relues");
}

} // namespace

// --- the table -----------------------------------------------------------------------------------

TRLDataTable::TRLDataTable() = default;

TRLDataTable::~TRLDataTable()
{
    Clear();
}

void TRLDataTable::Clear()
{
    FStream.reset();
    if (FFile) {
        FFile->close();
        FFile.reset();
        QFile::remove(FFileName);
        UnregisterTempFile(FFileName);
        FFileName.clear();
    }
    FRowCount = 0;
    FReadSinceAppend = false;
    Summary.clear();
}

void TRLDataTable::Open()
{
    if (FFile)
        return;
    auto file = std::make_unique<QFile>();
    FFileName = CreateTempFile(*file);
    FFile = std::move(file);
    FStream = std::make_unique<QDataStream>(FFile.get());
    FStream->setVersion(QDataStream::Qt_6_0);
}

void TRLDataTable::AppendRow(int PageIndex, const std::vector<TRLDataCell>& Cells)
{
    Open();
    // Reading moved the file position; appending goes on at the end.
    if (FReadSinceAppend) {
        if (!FFile->seek(FFile->size()))
            throw Exception(XLSWriteErrorMessage(FFileName, FFile->errorString()));
        FReadSinceAppend = false;
    }
    QDataStream& out = *FStream;
    out << qint32(PageIndex) << quint32(Cells.size());
    for (const TRLDataCell& cell : Cells)
        out << cell.Empty << cell.Text << cell.Number;
    if (out.status() != QDataStream::Ok)
        throw Exception(XLSWriteErrorMessage(FFileName, FFile->errorString()));
    ++FRowCount;
}

void TRLDataTable::ReadRows(
    const std::function<void(int PageIndex, const std::vector<TRLDataCell>& Cells)>& Row)
{
    if (!FFile || FRowCount == 0)
        return;
    FReadSinceAppend = true;
    if (!FFile->flush() || !FFile->seek(0))
        throw Exception(RowFileMessage() + QStringLiteral(": ") + FFile->errorString());
    // Appending seeks to the end again, so reading may stop anywhere.
    QDataStream in(FFile.get());
    in.setVersion(QDataStream::Qt_6_0);
    std::vector<TRLDataCell> cells;
    for (qint64 r = 0; r < FRowCount; ++r) {
        qint32 page = 0;
        quint32 count = 0;
        in >> page >> count;
        if (in.status() != QDataStream::Ok || count > 4096)
            throw Exception(RowFileMessage());
        cells.resize(count);
        for (TRLDataCell& cell : cells)
            in >> cell.Empty >> cell.Text >> cell.Number;
        if (in.status() != QDataStream::Ok)
            throw Exception(RowFileMessage());
        Row(page, cells);
    }
}

// --- the data writers ----------------------------------------------------------------------------

TRLDataFilter::TRLDataFilter(TComponent* AOwner)
    : TRLCustomSaveFilter(AOwner)
{ }

void TRLDataFilter::BeginDocument()
{
    FPages.clear();
}

void TRLDataFilter::NewPage() { }

void TRLDataFilter::DrawPage(TRLGraphicSurface* Surface)
{
    const int index = Surface ? Surface->SlotIndex() : -1;
    if (index < 0)
        return;
    if (FPages.size() <= std::size_t(index))
        FPages.resize(std::size_t(index) + 1, false);
    FPages[std::size_t(index)] = true;
}

bool TRLDataFilter::PageInRun(int PageIndex) const
{
    return PageIndex >= 0 && std::size_t(PageIndex) < FPages.size() && FPages[std::size_t(PageIndex)];
}

void TRLDataFilter::EndDocument()
{
    // A run stopped short keeps whatever file was there.
    if (RunAborted())
        return;
    const QString target = FileName();
    if (target.isEmpty())
        throw Exception(XLSWriteErrorMessage(target, QStringLiteral("no file name")));
    if (!FTable)
        throw Exception(NoTableMessage());

    // Written beside the target and put in its place only when complete.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw Exception(XLSWriteErrorMessage(target, out.errorString()));
    try {
        WriteData(out);
    } catch (...) {
        out.cancelWriting();
        throw;
    }
    if (!out.commit())
        throw Exception(XLSWriteErrorMessage(target, out.errorString()));
}

// --- xlsx ----------------------------------------------------------------------------------------

namespace {

QString XLSXErrorText(lxw_error Error)
{
    return QString::fromUtf8(lxw_strerror(Error));
}

// The library prints numbers with the C library, which follows the locale the application object
// set from the environment ("1234,5" under pt_BR). The file format needs a point, so this thread
// works in the "C" numeric locale while the workbook is written.
class TCNumericLocale
{
public:
    TCNumericLocale()
        : FLocale(newlocale(LC_NUMERIC_MASK, "C", duplocale(LC_GLOBAL_LOCALE)))
    {
        if (FLocale)
            FPrevious = uselocale(FLocale);
    }
    ~TCNumericLocale()
    {
        if (FLocale) {
            uselocale(FPrevious);
            freelocale(FLocale);
        }
    }
    TCNumericLocale(const TCNumericLocale&) = delete;
    TCNumericLocale& operator=(const TCNumericLocale&) = delete;

private:
    locale_t FLocale;
    locale_t FPrevious = nullptr;
};

} // namespace

TRLXLSXFilter::TRLXLSXFilter(TComponent* AOwner)
    : TRLDataFilter(AOwner)
{
    SetDisplayName(XLSXDisplayName());
    SetDefaultExt(QStringLiteral(".xlsx"));
}

bool TRLXLSXFilter::IsPropertyStored(const QMetaProperty& property) const
{
    if (qstrcmp(property.name(), "DisplayName") == 0)
        return DisplayName() != XLSXDisplayName();
    return TRLDataFilter::IsPropertyStored(property);
}

void TRLXLSXFilter::WriteData(QIODevice& Out)
{
    TRLDataTable& table = *Table();
    if (table.RowCount() > XLSXMaxDataRows)
        throw Exception(XLSWriteErrorMessage(FileName(), TooManyRowsMessage(table.RowCount())));
    // The library writes to a file of its own naming; an owner-only temporary one, copied afterwards.
    QTemporaryFile scratch(QDir::tempPath() + QStringLiteral("/qb-xlsx-XXXXXX"));
    if (!scratch.open())
        throw Exception(XLSWriteErrorMessage(FileName(), scratch.errorString()));
    scratch.close();
    WriteWorkbook(scratch.fileName());
    if (!scratch.open())
        throw Exception(XLSWriteErrorMessage(FileName(), scratch.errorString()));
    while (!scratch.atEnd()) {
        const QByteArray chunk = scratch.read(1 << 20);
        if (chunk.isEmpty() || Out.write(chunk) != chunk.size())
            throw Exception(XLSWriteErrorMessage(
                FileName(), chunk.isEmpty() ? scratch.errorString() : Out.errorString()));
    }
}

void TRLXLSXFilter::WriteWorkbook(const QString& FileName)
{
    TRLDataTable& table = *Table();

    const TCNumericLocale numbers;
    // Rows go to the library's temporary files one at a time instead of being held for the end.
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    const QByteArray path = QFile::encodeName(FileName);
    lxw_workbook* workbook = workbook_new_opt(path.constData(), &options);
    if (!workbook)
        throw Exception(XLSWriteErrorMessage(this->FileName(), QStringLiteral("libxlsxwriter")));
    bool closed = false;
    const auto release = qScopeGuard([&] {
        if (!closed)
            workbook_close(workbook);
    });
    auto check = [&](lxw_error error) {
        if (error != LXW_NO_ERROR)
            throw Exception(XLSWriteErrorMessage(this->FileName(), XLSXErrorText(error)));
    };

    // Document properties: the title, the company and the date.
    const QByteArray title = table.Title.toUtf8();
    const QByteArray company = table.Company.toUtf8();
    const QByteArray date = table.Date.toUtf8();
    QByteArray author("Quillborough");
    lxw_doc_properties properties {};
    properties.title = const_cast<char*>(title.constData());
    properties.company = const_cast<char*>(company.constData());
    properties.subject = const_cast<char*>(date.constData());
    properties.author = author.data();
    check(workbook_set_properties(workbook, &properties));

    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    std::vector<lxw_format*> formats;
    for (const TRLDataColumn& column : table.Columns) {
        lxw_format* format = nullptr;
        if (column.Kind == dkNumber && !column.NumberFormat.isEmpty()) {
            format = workbook_add_format(workbook);
            format_set_num_format(format, column.NumberFormat.toUtf8().constData());
        }
        formats.push_back(format);
    }

    const QByteArray sheetName = table.SheetName.toUtf8();
    lxw_worksheet* sheet
        = workbook_add_worksheet(workbook, sheetName.isEmpty() ? nullptr : sheetName.constData());
    if (!sheet)
        throw Exception(XLSWriteErrorMessage(this->FileName(), QStringLiteral("worksheet")));
    const auto columns = lxw_col_t(table.Columns.size());
    for (lxw_col_t c = 0; c < columns; ++c) {
        check(worksheet_set_column(sheet, c, c, table.Columns.at(c).Width, nullptr));
        check(worksheet_write_string(sheet, 0, c, table.Columns.at(c).Title.toUtf8().constData(), bold));
    }
    lxw_row_t row = 0;
    table.ReadRows([&](int page, const std::vector<TRLDataCell>& cells) {
        if (!PageInRun(page))
            return;
        ++row;
        for (lxw_col_t c = 0; c < columns && c < cells.size(); ++c) {
            const TRLDataCell& cell = cells[c];
            if (cell.Empty)
                continue;
            if (table.Columns.at(c).Kind == dkNumber)
                check(worksheet_write_number(sheet, row, c, cell.Number, formats[c]));
            else if (!cell.Text.isEmpty())
                check(worksheet_write_string(sheet, row, c, cell.Text.toUtf8().constData(), nullptr));
        }
    });
    // The header stays in sight and filters every column.
    worksheet_freeze_panes(sheet, 1, 0);
    if (columns > 0)
        check(worksheet_autofilter(sheet, 0, 0, row, columns - 1));

    const QByteArray summaryName = table.SummarySheetName.toUtf8();
    lxw_worksheet* summary
        = workbook_add_worksheet(workbook, summaryName.isEmpty() ? nullptr : summaryName.constData());
    if (!summary)
        throw Exception(XLSWriteErrorMessage(this->FileName(), QStringLiteral("worksheet")));
    lxw_format* money = workbook_add_format(workbook);
    format_set_num_format(money, "#,##0.00");
    lxw_format* boldMoney = workbook_add_format(workbook);
    format_set_num_format(boldMoney, "#,##0.00");
    format_set_bold(boldMoney);
    check(worksheet_set_column(summary, 0, 0, 28, nullptr));
    check(worksheet_set_column(summary, 1, 1, 18, nullptr));
    check(worksheet_write_string(summary, 0, 0, company.constData(), bold));
    check(worksheet_write_string(summary, 1, 0, date.constData(), nullptr));
    lxw_row_t line = 3;
    for (const TRLDataSummaryLine& entry : std::as_const(table.Summary)) {
        check(worksheet_write_string(summary, line, 0, entry.Label.toUtf8().constData(), bold));
        check(worksheet_write_number(summary, line, 1, entry.Value, boldMoney));
        ++line;
    }

    closed = true;
    check(workbook_close(workbook));
}

// --- csv -----------------------------------------------------------------------------------------

QString CSVNumberText(double Value, int Decimals)
{
    TFormatSettings settings;
    settings.DecimalSeparator = u',';
    settings.ThousandSeparator = u'.';
    if (Decimals < 0)
        return FloatToStr(Value, settings);
    QString pattern = QStringLiteral("0");
    if (Decimals > 0)
        pattern += QLatin1Char('.') + QString(Decimals, u'0');
    return FormatFloat(pattern, Value, settings);
}

QString CSVField(const QString& Text)
{
    if (!Text.contains(u';') && !Text.contains(u'"') && !Text.contains(u'\n') && !Text.contains(u'\r'))
        return Text;
    return QLatin1Char('"') + QString(Text).replace(QStringLiteral("\""), QStringLiteral("\"\""))
        + QLatin1Char('"');
}

TRLCSVFilter::TRLCSVFilter(TComponent* AOwner)
    : TRLDataFilter(AOwner)
{
    SetDisplayName(CSVDisplayName());
    SetDefaultExt(QStringLiteral(".csv"));
}

bool TRLCSVFilter::IsPropertyStored(const QMetaProperty& property) const
{
    if (qstrcmp(property.name(), "DisplayName") == 0)
        return DisplayName() != CSVDisplayName();
    return TRLDataFilter::IsPropertyStored(property);
}

void TRLCSVFilter::WriteData(QIODevice& file)
{
    TRLDataTable& table = *Table();
    QByteArray buffer;
    auto flush = [&](bool always) {
        if (!always && buffer.size() < (1 << 16))
            return;
        if (file.write(buffer) != buffer.size())
            throw Exception(XLSWriteErrorMessage(this->FileName(), file.errorString()));
        buffer.clear();
    };
    // The byte order mark tells spreadsheet programs the text is UTF-8; lines end in CR LF.
    buffer += "\xEF\xBB\xBF";
    QStringList fields;
    for (const TRLDataColumn& column : std::as_const(table.Columns))
        fields.append(CSVField(column.Title));
    buffer += fields.join(u';').toUtf8() + "\r\n";
    table.ReadRows([&](int page, const std::vector<TRLDataCell>& cells) {
        if (!PageInRun(page))
            return;
        fields.clear();
        for (qsizetype c = 0; c < table.Columns.size(); ++c) {
            const TRLDataCell cell
                = std::size_t(c) < cells.size() ? cells[std::size_t(c)] : TRLDataCell { {}, 0, true };
            if (cell.Empty)
                fields.append(QString());
            else if (table.Columns.at(c).Kind == dkNumber)
                fields.append(CSVNumberText(cell.Number, table.Columns.at(c).Decimals));
            else
                fields.append(CSVField(cell.Text));
        }
        buffer += fields.join(u';').toUtf8() + "\r\n";
        flush(false);
    });
    flush(true);
}
