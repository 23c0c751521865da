// The data writers: the table of rows, the delimited text's number and field forms, and whole files
// read back by independent readers (python3-openpyxl for .xlsx, Python's csv module for .csv).
#include "filters/RLDataFilter.h"

#include "engine/RLUtils.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Python()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

bool HasModule(const char* Module)
{
    QProcess process;
    process.start(Python(), { QStringLiteral("-c"), QStringLiteral("import %1").arg(QLatin1String(Module)) });
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

QJsonValue RunScript(const QString& Script, const QString& File)
{
    QProcess process;
    process.start(Python(), { QStringLiteral("-c"), Script, File });
    EXPECT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    const QJsonDocument document = QJsonDocument::fromJson(process.readAllStandardOutput());
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

// A small shop's table: two text columns, two number columns (one of them sometimes empty).
void FillTable(TRLDataTable& Table, int Pages, int RowsPerPage)
{
    Table.SheetName = QStringLiteral("Inventário");
    Table.SummarySheetName = QStringLiteral("Resumo");
    Table.Title = QStringLiteral("Inventário por Preço de Custo");
    Table.Company = QStringLiteral("Comercial Ω Ltda");
    Table.Date = QStringLiteral("31/12/2024");
    Table.Columns = {
        { QStringLiteral("Código"), dkText, QString(), -1, 10 },
        { QStringLiteral("Produto"), dkText, QString(), -1, 30 },
        { QStringLiteral("Estoque"), dkNumber, QStringLiteral("#,##0.000"), 3, 12 },
        { QStringLiteral("ICMS %"), dkNumber, QStringLiteral("#,##0.00"), 2, 8 },
    };
    for (int page = 0; page < Pages; ++page)
        for (int i = 0; i < RowsPerPage; ++i) {
            const int n = page * RowsPerPage + i;
            Table.AppendRow(page,
                { { QStringLiteral("C-%1").arg(n) },
                    { n == 1 ? QStringLiteral("Sabão; \"barra\"\nazul")
                             : QStringLiteral("Produto %1").arg(n) },
                    { QString(), 1234.5 + n, false }, { QString(), 0, n % 2 == 1 } });
        }
    Table.Summary
        = { { QStringLiteral("TOTAL - GERAL"), 1234567.891 }, { QStringLiteral("ISENTOS"), 0.125 } };
}

// Runs a data writer over Pages pages of a store, FirstPage to LastPage (1-based).
void RunFilter(TRLDataFilter& Filter, const QString& File, int Pages, int FirstPage = 1, int LastPage = -1)
{
    TComponent owner;
    auto* storage = new TRLGraphicStorage(&owner);
    for (int i = 0; i < Pages; ++i) {
        auto* page = new TRLGraphicSurface;
        page->WriteText(
            TRect(0, 0, 10, 10), 0, 0, QStringLiteral("p"), MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
        storage->Add(page);
    }
    Filter.SetFileName(File);
    Filter.SetShowProgress(false);
    Filter.ProcessPages(storage, FirstPage, LastPage, false);
}

const char* const XlsxDump = R"(
import sys, json, zipfile, openpyxl
b = openpyxl.load_workbook(sys.argv[1])
out = {"sheets": b.sheetnames, "title": b.properties.title, "subject": b.properties.subject}
app = zipfile.ZipFile(sys.argv[1]).read("docProps/app.xml").decode("utf-8")
out["company"] = app.split("<Company>")[1].split("</Company>")[0] if "<Company>" in app else None
s = b.worksheets[0]
out["freeze"] = s.freeze_panes
out["filter"] = s.auto_filter.ref
out["rows"] = [[c.value for c in row] for row in s.iter_rows()]
out["formats"] = [c.number_format for c in s[2]]
out["bold"] = [c.font.b for c in s[1]]
out["summary"] = [[c.value for c in row] for row in b.worksheets[1].iter_rows()]
print(json.dumps(out))
)";

const char* const CsvDump = R"(
import sys, json, csv, io
raw = open(sys.argv[1], "rb").read()
text = raw.decode("utf-8-sig")
rows = list(csv.reader(io.StringIO(text, newline=""), delimiter=";"))
print(json.dumps({"bom": raw[:3] == b"\xef\xbb\xbf", "crlf": b"\r\n" in raw, "rows": rows}))
)";

class DataFile : public ::testing::Test
{
protected:
    QTemporaryDir Folder;
    QString Path(const QString& Name) const { return Folder.filePath(Name); }
};

} // namespace

TEST(DataTable, RowsComeBackInOrderWithTheirPagesAndLeaveNoFileBehind)
{
    // The rows' file has no name in the temporary folder at any time, so nothing there can outlive
    // the table, whatever ends the program.
    const QDir temp(QDir::tempPath());
    const QStringList before = temp.entryList(QDir::Files | QDir::Hidden);
    {
        TRLDataTable table;
        FillTable(table, 3, 2);
        EXPECT_EQ(temp.entryList(QDir::Files | QDir::Hidden), before);
        EXPECT_EQ(table.RowCount(), 6);
        std::vector<int> pages;
        QStringList codes;
        table.ReadRows([&](int page, const std::vector<TRLDataCell>& cells) {
            pages.push_back(page);
            codes.append(cells[0].Text);
            EXPECT_EQ(cells.size(), 4u);
        });
        EXPECT_EQ(pages, (std::vector<int> { 0, 0, 1, 1, 2, 2 }));
        EXPECT_EQ(codes, (QStringList { "C-0", "C-1", "C-2", "C-3", "C-4", "C-5" }));
        // Appending after reading goes on at the end.
        table.AppendRow(3, { { QStringLiteral("C-6") } });
        int count = 0;
        table.ReadRows([&](int, const std::vector<TRLDataCell>& cells) {
            EXPECT_EQ(cells[0].Text, QStringLiteral("C-%1").arg(count));
            ++count;
        });
        EXPECT_EQ(count, 7);
        EXPECT_EQ(temp.entryList(QDir::Files | QDir::Hidden), before);
        table.Clear();
        EXPECT_EQ(table.RowCount(), 0);
        // A cleared table starts again from nothing.
        table.AppendRow(0, { { QStringLiteral("D-0") } });
        int again = 0;
        table.ReadRows([&](int, const std::vector<TRLDataCell>& cells) {
            EXPECT_EQ(cells[0].Text, QStringLiteral("D-0"));
            ++again;
        });
        EXPECT_EQ(again, 1);
        table.Clear();
        EXPECT_TRUE(table.Summary.isEmpty());
        EXPECT_EQ(table.Columns.size(), 4);
    }
    EXPECT_EQ(temp.entryList(QDir::Files | QDir::Hidden), before);
}

TEST(DataText, NumbersHaveADecimalCommaAndNoThousandsSeparators)
{
    const struct
    {
        double Value;
        int Decimals;
        const char* Text;
    } cases[] = {
        { 1234567.891, 2, "1234567,89" },
        { 0.125, 2, "0,13" }, // halves away from zero, as the report rounds
        { 3 * 1.005, 2, "3,02" },
        { -2.5, 0, "-3" },
        { 12.5, 3, "12,500" },
        { 7.5, -1, "7,5" },
        { 17, -1, "17" },
        { 0, 2, "0,00" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSVNumberText(c.Value, c.Decimals), QString::fromLatin1(c.Text)) << c.Value;
    EXPECT_EQ(CSVField(QStringLiteral("simples")), QStringLiteral("simples"));
    EXPECT_EQ(CSVField(QStringLiteral("a;b")), QStringLiteral("\"a;b\""));
    EXPECT_EQ(CSVField(QStringLiteral("diz \"oi\"")), QStringLiteral("\"diz \"\"oi\"\"\""));
    EXPECT_EQ(CSVField(QStringLiteral("duas\nlinhas")), QStringLiteral("\"duas\nlinhas\""));
}

TEST(DataFilters, NamesExtensionsAndRegistration)
{
    TRLXLSXFilter xlsx;
    TRLCSVFilter csv;
    EXPECT_EQ(xlsx.DisplayName(), QStringLiteral("Planilha de dados (xlsx)"));
    EXPECT_EQ(xlsx.DefaultExt(), QStringLiteral(".xlsx"));
    EXPECT_EQ(csv.DisplayName(), QStringLiteral("Texto separado (csv)"));
    EXPECT_EQ(csv.DefaultExt(), QStringLiteral(".csv"));
    EXPECT_EQ(SaveFilterForFile(QStringLiteral("a.XLSX")), &xlsx);
    EXPECT_EQ(SaveFilterForFile(QStringLiteral("a.csv")), &csv);
}

TEST_F(DataFile, WorkbookHasTypedRowsAFrozenFilteredHeaderAndTheSummary)
{
    if (!HasModule("openpyxl"))
        GTEST_SKIP() << "python3-openpyxl is not installed; the data workbook is not read back";
    TRLDataTable table;
    FillTable(table, 2, 3);
    TRLXLSXFilter filter;
    filter.SetTable(&table);
    RunFilter(filter, Path(QStringLiteral("dados.xlsx")), 2);
    const QJsonObject book
        = RunScript(QString::fromLatin1(XlsxDump), Path(QStringLiteral("dados.xlsx"))).toObject();
    EXPECT_EQ(book[QStringLiteral("sheets")].toArray(), QJsonArray({ "Inventário", "Resumo" }));
    EXPECT_EQ(book[QStringLiteral("title")].toString(), QStringLiteral("Inventário por Preço de Custo"));
    EXPECT_EQ(book[QStringLiteral("subject")].toString(), QStringLiteral("31/12/2024"));
    EXPECT_EQ(book[QStringLiteral("company")].toString(), QStringLiteral("Comercial Ω Ltda"));
    EXPECT_EQ(book[QStringLiteral("freeze")].toString(), QStringLiteral("A2"));
    EXPECT_EQ(book[QStringLiteral("filter")].toString(), QStringLiteral("A1:D7"));
    EXPECT_EQ(book[QStringLiteral("bold")].toArray(), QJsonArray({ true, true, true, true }));
    EXPECT_EQ(book[QStringLiteral("formats")].toArray(),
        QJsonArray({ "General", "General", "#,##0.000", "#,##0.00" }));
    const QJsonArray rows = book[QStringLiteral("rows")].toArray();
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows[0].toArray(), QJsonArray({ "Código", "Produto", "Estoque", "ICMS %" }));
    EXPECT_EQ(rows[1].toArray(), QJsonArray({ "C-0", "Produto 0", 1234.5, 0 }));
    // Text stays text, an empty number is an empty cell.
    EXPECT_EQ(rows[2].toArray(), QJsonArray({ "C-1", "Sabão; \"barra\"\nazul", 1235.5, QJsonValue::Null }));
    EXPECT_EQ(rows[6].toArray()[0].toString(), QStringLiteral("C-5"));
    const QJsonArray summary = book[QStringLiteral("summary")].toArray();
    ASSERT_EQ(summary.size(), 5);
    EXPECT_EQ(summary[0].toArray()[0].toString(), QStringLiteral("Comercial Ω Ltda"));
    EXPECT_EQ(summary[1].toArray()[0].toString(), QStringLiteral("31/12/2024"));
    EXPECT_EQ(summary[3].toArray(), QJsonArray({ "TOTAL - GERAL", 1234567.891 }));
    EXPECT_EQ(summary[4].toArray(), QJsonArray({ "ISENTOS", 0.125 }));
}

TEST_F(DataFile, DelimitedTextHasABomSemicolonsAndDecimalCommas)
{
    TRLDataTable table;
    FillTable(table, 1, 3);
    TRLCSVFilter filter;
    filter.SetTable(&table);
    const QString file = Path(QStringLiteral("dados.csv"));
    RunFilter(filter, file, 1);
    QFile raw(file);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_EQ(raw.readAll(),
        QByteArray("\xEF\xBB\xBF"
                   "C\xC3\xB3"
                   "digo;Produto;Estoque;ICMS %\r\n"
                   "C-0;Produto 0;1234,500;0,00\r\n"
                   "C-1;\"Sab\xC3\xA3o; \"\"barra\"\"\nazul\";1235,500;\r\n"
                   "C-2;Produto 2;1236,500;0,00\r\n"));
    if (!HasModule("csv"))
        GTEST_SKIP() << "no Python";
    const QJsonObject dump = RunScript(QString::fromLatin1(CsvDump), file).toObject();
    EXPECT_TRUE(dump[QStringLiteral("bom")].toBool());
    const QJsonArray rows = dump[QStringLiteral("rows")].toArray();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[2].toArray(), QJsonArray({ "C-1", "Sabão; \"barra\"\nazul", "1235,500", "" }));
}

TEST_F(DataFile, OnlyRowsOfThePagesInTheRunAreWritten)
{
    TRLDataTable table;
    FillTable(table, 3, 2);
    TRLCSVFilter filter;
    filter.SetTable(&table);
    const QString file = Path(QStringLiteral("parte.csv"));
    RunFilter(filter, file, 3, 2, 2);
    QFile raw(file);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = raw.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4); // header, two rows, the empty rest after the last line end
    EXPECT_TRUE(lines[1].startsWith("C-2;")) << lines[1].constData();
    EXPECT_TRUE(lines[2].startsWith("C-3;")) << lines[2].constData();
}

TEST_F(DataFile, FailuresKeepTheOldFileAndLeaveNothingBeside)
{
    TRLDataTable table;
    FillTable(table, 1, 2);
    for (const char* name : { "kept.xlsx", "kept.csv" }) {
        const QString file = Path(QString::fromLatin1(name));
        {
            QFile old(file);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        std::unique_ptr<TRLDataFilter> filter;
        if (QByteArray(name).endsWith("xlsx"))
            filter = std::make_unique<TRLXLSXFilter>();
        else
            filter = std::make_unique<TRLCSVFilter>();
        // No table: a clear error, the old file stays.
        EXPECT_THROW(RunFilter(*filter, file, 1), Exception) << name;
        QFile check(file);
        ASSERT_TRUE(check.open(QIODevice::ReadOnly));
        EXPECT_EQ(check.readAll(), QByteArray("old")) << name;
        // Into a folder that does not exist: an error naming the file.
        filter->SetTable(&table);
        const QString missing = Path(QStringLiteral("nada/") + QString::fromLatin1(name));
        try {
            RunFilter(*filter, missing, 1);
            ADD_FAILURE() << name << ": no error";
        } catch (const Exception& error) {
            EXPECT_TRUE(error.Message().contains(missing)) << error.Message().toStdString();
        }
        // A complete run replaces the old file.
        RunFilter(*filter, file, 1);
        check.close();
        ASSERT_TRUE(check.open(QIODevice::ReadOnly));
        EXPECT_NE(check.readAll(), QByteArray("old")) << name;
    }
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList { "kept.csv", "kept.xlsx" }));
    // New files get the permissions any new file gets here, not a temporary file's owner-only ones.
    const QString fresh = Path(QStringLiteral("novo.xlsx"));
    TRLXLSXFilter filter;
    filter.SetTable(&table);
    RunFilter(filter, fresh, 1);
    QFile reference(Path(QStringLiteral("reference")));
    ASSERT_TRUE(reference.open(QIODevice::WriteOnly));
    reference.close();
    EXPECT_EQ(QFile::permissions(fresh), QFile::permissions(reference.fileName()));
}
