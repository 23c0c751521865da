#pragma once
// The data writers: a run's rows as a data workbook (".xlsx", written by Debian's libxlsxwriter in its
// constant-memory mode) or as delimited text (".csv"), beside the page picture the other writers make.
//
// A data writer does not read the drawings of the pages: it writes the TRLDataTable it is given, which
// the application fills while the report is prepared, with the values the report prints. The pages of
// the run still choose the rows: a row recorded on a page outside the run's range is left out.
//
// Ownership: the table belongs to the application and must outlive every run of a filter that uses
// it; a filter only points at it. The table keeps its rows in an owner-only temporary file, so a
// million rows take no more memory than one.
//
// A file replaces an existing one only when it is complete (written beside it, then renamed), and
// gets the permissions a new file or the old one had.
#include "filters/RLFilters.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QFile;
class QDataStream;
class QIODevice;

enum TRLDataKind { dkText, dkNumber };

struct TRLDataColumn
{
    QString Title;
    TRLDataKind Kind = dkText;
    // The spreadsheet's number format ("#,##0.00") and the decimals of the delimited text; -1
    // decimals write the number in its general form.
    QString NumberFormat;
    int Decimals = -1;
    double Width = 12; // in characters
};

// One cell: the text of a text column, the number of a number column; Empty for no value.
struct TRLDataCell
{
    QString Text;
    double Number = 0;
    bool Empty = false;
};

struct TRLDataSummaryLine
{
    QString Label;
    double Value = 0;
};

class TRLDataTable
{
public:
    TRLDataTable();
    ~TRLDataTable();
    TRLDataTable(const TRLDataTable&) = delete;
    TRLDataTable& operator=(const TRLDataTable&) = delete;

    QList<TRLDataColumn> Columns;
    QString SheetName;
    QString SummarySheetName;
    // The document's title, and what heads the summary and goes into the document properties.
    QString Title;
    QString Company;
    QString Date;
    QList<TRLDataSummaryLine> Summary;

    // Forgets the rows and the summary; columns, names and texts stay.
    void Clear();
    // One row, a cell per column, printed on the page with index PageIndex (0 for the first).
    void AppendRow(int PageIndex, const std::vector<TRLDataCell>& Cells);
    qint64 RowCount() const { return FRowCount; }
    // Every row in order. Throws Exception when the row file cannot be read back.
    void ReadRows(const std::function<void(int PageIndex, const std::vector<TRLDataCell>& Cells)>& Row);

private:
    void Open();
    std::unique_ptr<QFile> FFile;
    std::unique_ptr<QDataStream> FStream;
    QString FFileName;
    qint64 FRowCount = 0;
    bool FReadSinceAppend = false;
};

// What both data writers share: the table, the pages of the run, the file put in place at the end.
class TRLDataFilter : public TRLCustomSaveFilter
{
    Q_OBJECT
public:
    explicit TRLDataFilter(TComponent* AOwner = nullptr);

    TRLDataTable* Table() const { return FTable; }
    void SetTable(TRLDataTable* Value) { FTable = Value; }
    bool HasSource() const override { return FTable != nullptr; }

protected:
    void BeginDocument() override;
    void EndDocument() override;
    void NewPage() override;
    void DrawPage(TRLGraphicSurface* Surface) override;
    // Writes the whole file to Out, which is put in the target's place when this returns.
    virtual void WriteData(QIODevice& Out) = 0;
    // Whether the page with this index belongs to the run.
    bool PageInRun(int PageIndex) const;

private:
    TRLDataTable* FTable = nullptr;
    std::vector<bool> FPages;
};

class TRLXLSXFilter : public TRLDataFilter
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLXLSXFilter(TComponent* AOwner = nullptr);
    bool IsPropertyStored(const QMetaProperty& property) const override;

protected:
    void WriteData(QIODevice& Out) override;

private:
    void WriteWorkbook(const QString& FileName);
};

class TRLCSVFilter : public TRLDataFilter
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLCSVFilter(TComponent* AOwner = nullptr);
    bool IsPropertyStored(const QMetaProperty& property) const override;

protected:
    void WriteData(QIODevice& Out) override;
};

// The most rows a data workbook's sheet holds besides its header.
inline constexpr qint64 XLSXMaxDataRows = 1048575;

// A number as the delimited text writes it: decimal comma, no thousands separators, Decimals places
// (rounded as the report rounds), or the general form for -1.
QString CSVNumberText(double Value, int Decimals);
// A field of the delimited text, quoted when it holds the separator, a quote or a line break.
QString CSVField(const QString& Text);
