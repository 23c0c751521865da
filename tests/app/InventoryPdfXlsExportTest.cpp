// The inventory's PDF and spreadsheet exports through the command line, read back by independent
// readers (poppler's pdftotext and pdfinfo, qpdf, python3-xlrd) and compared with the page store export
// of the same database and date. Every check that needs a reader skips, saying so, without it.
#include "app/CommandLine.h"
#include "app/untRelatorioInventario.h"

#include "InventoryTestSupport.h"
#include "engine/RLProgress.h"
#include "engine/RLReport.h"
#include "engine/RLServices.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLXLSFilter.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"
#include "platform/Definitions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

namespace {

// Brazilian money text computed apart from the program's own formatter.
QString Money(double value)
{
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    return brazil.toString(value, 'f', 2);
}

struct TToolRun
{
    bool Started = false;
    int ExitCode = -1;
    QByteArray Output;
    QByteArray Errors;
};

TToolRun RunTool(const QString& program, const QStringList& arguments)
{
    TToolRun run;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return run;
    run.Started = true;
    process.waitForFinished(120000);
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Output = process.readAllStandardOutput();
    run.Errors = process.readAllStandardError();
    return run;
}

bool HasTool(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// The distribution's interpreter carries the distribution's xlrd.
QString Python()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

bool HasXlrd()
{
    const TToolRun run = RunTool(Python(), { QStringLiteral("-c"), QStringLiteral("import xlrd") });
    return run.Started && run.ExitCode == 0;
}

// Every sheet of a workbook as xlrd reads it: its name and its cells, row by row, each cell as text
// (numbers as the reader gives them, texts as they are).
struct TSheet
{
    QString Name;
    QStringList Texts; // non-empty text cells in reading order
    QList<double> Numbers; // number cells in reading order
};

QList<TSheet> ReadWorkbook(const QString& fileName, QString& failure)
{
    static const QString script
        = QStringLiteral("import sys, json, xlrd\n"
                         "b = xlrd.open_workbook(sys.argv[1])\n"
                         "out = []\n"
                         "for s in b.sheets():\n"
                         "    texts, numbers = [], []\n"
                         "    for r in range(s.nrows):\n"
                         "        for c in range(s.ncols):\n"
                         "            cell = s.cell(r, c)\n"
                         "            if cell.ctype == xlrd.XL_CELL_TEXT and cell.value.strip():\n"
                         "                texts.append(cell.value)\n"
                         "            elif cell.ctype == xlrd.XL_CELL_NUMBER:\n"
                         "                numbers.append(cell.value)\n"
                         "    out.append({'name': s.name, 'texts': texts, 'numbers': numbers})\n"
                         "sys.stdout.write(json.dumps(out))\n");
    const TToolRun run = RunTool(Python(), { QStringLiteral("-c"), script, fileName });
    QList<TSheet> sheets;
    if (!run.Started || run.ExitCode != 0) {
        failure = QString::fromUtf8(run.Errors);
        return sheets;
    }
    for (const QJsonValue& value : QJsonDocument::fromJson(run.Output).array()) {
        const QJsonObject object = value.toObject();
        TSheet sheet;
        sheet.Name = object.value(QStringLiteral("name")).toString();
        for (const QJsonValue& text : object.value(QStringLiteral("texts")).toArray())
            sheet.Texts.append(text.toString());
        for (const QJsonValue& number : object.value(QStringLiteral("numbers")).toArray())
            sheet.Numbers.append(number.toDouble());
        sheets.append(sheet);
    }
    return sheets;
}

int PageStoreFilePages(const QString& fileName)
{
    TRLGraphicStorage* storage = new TRLGraphicStorage(nullptr);
    storage->LoadFromFile(fileName);
    const int count = storage->PageCount();
    delete storage;
    return count;
}

QByteArray FileBytes(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << fileName.toStdString();
    file.write(bytes);
}

struct TExportRun
{
    int ExitCode = -1;
    QStringList Messages;
};

TExportRun Export(const QStringList& arguments)
{
    TExportRun run;
    const TInventoryCommandLine options = ParseInventoryCommandLine(arguments);
    run.ExitCode = RunInventoryExport(options, [&](const QString& line) { run.Messages.append(line); });
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    CloseAliasConnections();
    return run;
}

// A shop whose first product (by name) carries a seven-digit value, with one line of every tax class
// and enough plain lines for three pages. Values are exact in binary, so any order of adding them up
// gives the same totals.
struct TShop
{
    QList<TProductRow> Rows;
    double Rate7 = 0, Rate17 = 0, Exempt = 0, Substitution = 0, Running = 0;
};

TShop ThreePageShop()
{
    TShop shop;
    auto add = [&](const QString& code, const QString& name, double balance, double cost,
                   const QString& taxClass, double rate) {
        shop.Rows.append({ code, name, QStringLiteral("UN"), balance, cost, taxClass, rate });
        const double value = balance * cost;
        shop.Running += value;
        if (taxClass == QStringLiteral("Tributado")) {
            if (rate == 7)
                shop.Rate7 += value;
            else
                shop.Rate17 += value;
        } else if (taxClass == QStringLiteral("Subst. Tributária")) {
            shop.Substitution += value;
        } else {
            shop.Exempt += value;
        }
    };
    add(QStringLiteral("A-0001"), QStringLiteral("Abacate Especial"), 1, 1234567.89,
        QStringLiteral("Tributado"), 7);
    add(QStringLiteral("B-0001"), QStringLiteral("Banana Prata"), 4, 2.5, QStringLiteral("Isento"), 0);
    add(QStringLiteral("C-0001"), QStringLiteral("Cerveja Lata"), 12, 3.25,
        QStringLiteral("Subst. Tributária"), 17);
    for (int i = 1; i <= 200; ++i)
        add(QStringLiteral("M-%1").arg(i, 4, 10, QLatin1Char('0')),
            QStringLiteral("Mercadoria %1").arg(i, 4, 10, QLatin1Char('0')), double(i % 7 + 1),
            double(i % 9) + 0.5, QStringLiteral("Tributado"), i % 3 == 0 ? 7 : 17);
    return shop;
}

// A progress display for the save run only (the preparation's is left out), whose step does what the
// test asks: fail, or press cancel.
class TScriptedProgress : public TRLProgress
{
public:
    TScriptedProgress(std::function<void(int Step)> OnStep)
        : FOnStep(std::move(OnStep))
    { }
    void SetMax(int) override { }
    void StepIt() override { FOnStep(++FSteps); }
    void NextBar() override { }
    void SetStepName(const QString&) override { }
    void ShowProgress() override { }

private:
    std::function<void(int)> FOnStep;
    int FSteps = 0;
};

class TSaveProgressScope
{
public:
    explicit TSaveProgressScope(std::function<void(int Step, const TRLProgressCancelProc& Cancel)> OnStep)
        : FServices([OnStep](TRLServices& services) {
            services.Progress = [OnStep](const QString& title, int,
                                    TRLProgressCancelProc cancel) -> std::unique_ptr<TRLProgress> {
                if (title != QStringLiteral("Salvando o relatório..."))
                    return nullptr;
                return std::make_unique<TScriptedProgress>(
                    [OnStep, cancel](int step) { OnStep(step, cancel); });
            };
        })
    { }

private:
    TRLServicesScope FServices;
};

class InventoryPdfXlsExportTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(FFolder.isValid()); }
    QString Path(const QString& name) const { return FFolder.filePath(name); }
    QTemporaryDir FFolder;
};

// ---------------------------------------------------------------------------------------------------

TEST_F(InventoryPdfXlsExportTest, DefinitionCarriesBothWritersAsTheSaveDialogOffersThem)
{
    TAliasScope scope(CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), SimpleProducts(1)));
    TInventoryReport report;

    TRLPDFFilter* pdf = report.RLPDFFilter1;
    ASSERT_NE(pdf, nullptr);
    EXPECT_EQ(pdf->Owner(), report.Root());
    EXPECT_EQ(pdf->GetDisplayName(), QStringLiteral("Documento PDF"));
    EXPECT_EQ(pdf->DocumentInfo()->Creator(), QStringLiteral("Quillborough v3.23"));
    EXPECT_TRUE(pdf->DocumentInfo()->Title().isEmpty());
    EXPECT_EQ(int(pdf->ViewerOptions()), 0);
    EXPECT_EQ(pdf->FontEncoding(), feNoEncoding);
    EXPECT_EQ(pdf->DefaultExt(), QStringLiteral(".pdf"));
    EXPECT_TRUE(pdf->ShowProgress());

    ASSERT_NE(report.RLXLSXFilter1, nullptr);
    ASSERT_NE(report.RLCSVFilter1, nullptr);
    EXPECT_EQ(report.RLXLSXFilter1->GetDisplayName(), QStringLiteral("Planilha de dados (xlsx)"));
    EXPECT_EQ(report.RLCSVFilter1->GetDisplayName(), QStringLiteral("Texto separado (csv)"));
    EXPECT_EQ(report.RLXLSXFilter1->Table(), &report.Data);
    EXPECT_EQ(report.RLCSVFilter1->Table(), &report.Data);

    TRLXLSFilter* xls = report.RLXLSFilter1;
    ASSERT_NE(xls, nullptr);
    EXPECT_EQ(xls->Owner(), report.Root());
    EXPECT_EQ(xls->GetDisplayName(), QStringLiteral("Planilha Excel"));
    EXPECT_EQ(int(xls->Options()), 0);
    EXPECT_EQ(xls->DefaultExt(), QStringLiteral(".xls"));
    EXPECT_TRUE(xls->ShowProgress());

    // The save dialog and the command line find them by extension, whatever its case.
    struct TLookup
    {
        const char* FileName;
        TRLCustomSaveFilter* Expected;
    } lookups[] = {
        { "inventario.pdf", pdf },
        { "INVENTARIO.PDF", pdf },
        { "/tmp/a.b/relatorio.Pdf", pdf },
        { "inventario.xls", xls },
        { "inventario.XLS", xls },
        { "inventario.pgx", nullptr },
        { "inventario", nullptr },
        { "inventario.pdf.pgx", nullptr },
        { "inventario.xlsx", report.RLXLSXFilter1 },
        { "inventario.CSV", report.RLCSVFilter1 },
    };
    for (const TLookup& c : lookups) {
        EXPECT_EQ(SaveFilterForFile(QString::fromUtf8(c.FileName)), c.Expected) << c.FileName;
        EXPECT_EQ(InventorySaveFilterFor(QString::fromUtf8(c.FileName), report.Root()), c.Expected)
            << c.FileName;
    }
    EXPECT_TRUE(FilterList().contains(pdf));
    EXPECT_TRUE(FilterList().contains(xls));

    // Another live writer made earlier comes first in the list; the export still takes the report's.
    TRLPDFFilter stray;
    TInventoryReport later;
    EXPECT_EQ(InventorySaveFilterFor(QStringLiteral("a.pdf"), later.Root()), later.RLPDFFilter1);
    EXPECT_EQ(InventorySaveFilterFor(QStringLiteral("a.xls"), later.Root()), later.RLXLSFilter1);
    EXPECT_EQ(InventorySaveFilterFor(QStringLiteral("a.pdf"), report.Root()), pdf);
    EXPECT_EQ(
        InventorySaveFilterFor(QStringLiteral("a.pdf"), nullptr), SaveFilterForFile(QStringLiteral("a.pdf")));
}

TEST_F(InventoryPdfXlsExportTest, ExportWritesThroughTheReportsOwnWriterWhenABlankOneIsAlive)
{
    // Asking whether a property is stored builds a blank filter of the class that lives on in the
    // filter list ahead of the report's; taking the first writer by extension wrote with its settings.
    TRLPDFFilter blank;
    blank.DocumentInfo()->SetCreator(QStringLiteral("blank writer"));
    const QString database
        = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), SimpleProducts(3));
    const QString pdf = Path(QStringLiteral("a.pdf"));
    const TExportRun run = Export({ "--export", pdf, "--database", database });
    ASSERT_EQ(run.ExitCode, ecWritten) << run.Messages.join('\n').toStdString();
    const QByteArray bytes = FileBytes(pdf);
    EXPECT_TRUE(bytes.contains("/Creator(Quillborough v3.23)")) << bytes.left(400).constData();
    EXPECT_FALSE(bytes.contains("blank writer"));
    EXPECT_TRUE(blank.FileName().isEmpty());
}

TEST_F(InventoryPdfXlsExportTest, DefinitionWithTheWritersRoundTrips)
{
    TAliasScope scope(CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), SimpleProducts(1)));
    TInventoryReport shipped;
    const QByteArray first = TDefinitionWriter().Write(shipped.Root());

    // The writers' settings that differ from a new filter's are what the text keeps.
    for (const char* line :
        { "object RLPDFFilter1: TRLPDFFilter", "DocumentInfo.Creator = 'Quillborough v3.23'",
            "ViewerOptions = []", "FontEncoding = feNoEncoding", "object RLXLSFilter1: TRLXLSFilter" })
        EXPECT_TRUE(first.contains(line)) << line << "\n" << first.right(800).constData();
    EXPECT_FALSE(first.contains("FileName")) << "a run's file name leaked into the definition";

    // Read back into a fresh root, the writers come back with the same settings and write the same text.
    struct TRootDeleter
    {
        void operator()(TComponent* root) const { delete root; }
    };
    std::unique_ptr<TComponent, TRootDeleter> root(new TComponent(nullptr));
    TEventHandlers handlers;
    const auto text = [](TRLCustomControl*, QString&, bool&) {};
    const auto print = [](TRLCustomControl*, bool&) {};
    for (const char* name : { "rldbtxtcustoBeforePrint", "RLDBText1BeforePrint", "RLDBText4BeforePrint" })
        handlers.Add<TRLBeforeTextEvent>(QString::fromLatin1(name), text);
    for (const char* name : { "RLBand4BeforePrint", "RLBand3BeforePrint" })
        handlers.Add<TRLBeforePrintEvent>(QString::fromLatin1(name), print);
    TDefinitionReader reader;
    reader.Handlers = &handlers;
    reader.ReadInto(first, root.get());
    auto* pdf = qobject_cast<TRLPDFFilter*>(root->FindComponent(QStringLiteral("RLPDFFilter1")));
    auto* xls = qobject_cast<TRLXLSFilter*>(root->FindComponent(QStringLiteral("RLXLSFilter1")));
    ASSERT_NE(pdf, nullptr);
    ASSERT_NE(xls, nullptr);
    EXPECT_EQ(pdf->DocumentInfo()->Creator(), QStringLiteral("Quillborough v3.23"));
    EXPECT_EQ(int(pdf->ViewerOptions()), 0);
    EXPECT_EQ(pdf->FontEncoding(), feNoEncoding);
    EXPECT_EQ(pdf->GetDisplayName(), QStringLiteral("Documento PDF"));
    EXPECT_EQ(xls->GetDisplayName(), QStringLiteral("Planilha Excel"));
    EXPECT_EQ(TDefinitionWriter().Write(root.get()), first);
}

TEST_F(InventoryPdfXlsExportTest, PdfHasThePagesNumbersLinesAndTotalsOfThePageStore)
{
    for (const char* tool : { "pdftotext", "pdfinfo", "qpdf" })
        if (!HasTool(QString::fromLatin1(tool)))
            GTEST_SKIP() << tool << " is not installed (poppler-utils, qpdf); PDF read-back skipped";

    const TShop shop = ThreePageShop();
    const QString database = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), shop.Rows);
    const QString pages = Path(QStringLiteral("inventario.pgx"));
    const QString pdf = Path(QStringLiteral("inventario.PDF"));
    TExportRun run = Export({ "--export", pages, "--database", database, "--date", "31/12/2024" });
    ASSERT_EQ(run.ExitCode, ecWritten) << run.Messages.join('\n').toStdString();
    run = Export({ "--export", pdf, "--database", database, "--date", "31/12/2024" });
    ASSERT_EQ(run.ExitCode, ecWritten) << run.Messages.join('\n').toStdString();
    EXPECT_TRUE(run.Messages.isEmpty()) << run.Messages.join('\n').toStdString();
    ASSERT_TRUE(FileBytes(pdf).startsWith("%PDF-1.2")) << "not written by the PDF writer";

    const int pageCount = PageStoreFilePages(pages);
    ASSERT_EQ(pageCount, 3) << "the shop no longer makes three pages";

    const TToolRun check = RunTool(QStringLiteral("qpdf"), { QStringLiteral("--check"), pdf });
    EXPECT_EQ(check.ExitCode, 0) << check.Output.constData() << check.Errors.constData();

    const TToolRun info = RunTool(QStringLiteral("pdfinfo"), { pdf });
    ASSERT_EQ(info.ExitCode, 0) << info.Errors.constData();
    const QString infoText = QString::fromUtf8(info.Output);
    const QRegularExpressionMatch pagesLine
        = QRegularExpression(QStringLiteral("(?m)^Pages:\\s+(\\d+)$")).match(infoText);
    ASSERT_TRUE(pagesLine.hasMatch()) << infoText.toStdString();
    EXPECT_EQ(pagesLine.captured(1).toInt(), pageCount);
    // The definition's creator reaches the document.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("(?m)^Creator:\\s+Quillborough v3\\.23$"))
                    .match(infoText)
                    .hasMatch())
        << infoText.toStdString();

    const TToolRun text
        = RunTool(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") });
    ASSERT_EQ(text.ExitCode, 0) << text.Errors.constData();
    QStringList pageTexts = QString::fromUtf8(text.Output).split(u'\f');
    if (!pageTexts.isEmpty() && pageTexts.last().trimmed().isEmpty())
        pageTexts.removeLast();
    ASSERT_EQ(pageTexts.size(), pageCount);

    const QRegularExpression pageNumber(QStringLiteral("Página:\\s+(\\d+)"));
    const QRegularExpression subTotal(QStringLiteral("SUB - TOTAL\\s+([\\d.]+,\\d\\d)"));
    for (int p = 0; p < pageCount; ++p) {
        const QString& page = pageTexts[p];
        const QRegularExpressionMatch number = pageNumber.match(page);
        ASSERT_TRUE(number.hasMatch()) << "page " << p << ":\n" << page.toStdString();
        EXPECT_EQ(number.captured(1).toInt(), p + 2) << "page " << p;
        EXPECT_TRUE(page.contains(QStringLiteral("Inventário por Preço de Custo"))) << "page " << p;
        EXPECT_TRUE(page.contains(QStringLiteral("31/12/2024"))) << "page " << p;
        EXPECT_TRUE(page.contains(QStringLiteral("Comercial Quillborough Ltda"))) << "page " << p;
        EXPECT_TRUE(subTotal.match(page).hasMatch()) << "page " << p << " has no column footer";
    }

    // The first product line, in name order, with its Brazilian number texts in column order.
    const QStringList lines = pageTexts.first().split(u'\n');
    QString firstLine;
    for (const QString& line : lines)
        if (line.contains(QStringLiteral("A-0001")))
            firstLine = line;
    ASSERT_FALSE(firstLine.isEmpty()) << pageTexts.first().toStdString();
    const QStringList words = firstLine.simplified().split(u' ');
    EXPECT_EQ(words,
        (QStringList { "A-0001", "Abacate", "Especial", "UN", "1,000", "1.234.567,89", "1.234.567,89" }))
        << firstLine.toStdString();
    // Lines keep the query's order: names sorted.
    EXPECT_LT(pageTexts.first().indexOf(QStringLiteral("Banana Prata")),
        pageTexts.first().indexOf(QStringLiteral("Cerveja Lata")));
    EXPECT_LT(pageTexts.first().indexOf(QStringLiteral("Cerveja Lata")),
        pageTexts.first().indexOf(QStringLiteral("Mercadoria 0001")));

    // The summary on the last page, each row with its value.
    const QString& last = pageTexts.last();
    struct TSummaryRow
    {
        const char* Label;
        double Value;
    } rows[] = {
        { "TRIBUTAÇÃO 7%", shop.Rate7 },
        { "TRIBUTAÇÃO 12%", 0 },
        { "TRIBUTAÇÃO 17%", shop.Rate17 },
        { "TRIBUTAÇÃO 25%", 0 },
        { "TOTAL TRIBUTADOS", shop.Rate7 + shop.Rate17 },
        { "ISENTOS", shop.Exempt },
        { "SUBST. TRIBUTÁRIA", shop.Substitution },
        { "TOTAL - GERAL", shop.Running },
    };
    for (const TSummaryRow& row : rows) {
        const QRegularExpression pattern(QRegularExpression::escape(QString::fromUtf8(row.Label))
            + QStringLiteral("\\s+([\\d.]+,\\d\\d)"));
        const QRegularExpressionMatch match = pattern.match(last);
        ASSERT_TRUE(match.hasMatch()) << row.Label << " missing:\n" << last.toStdString();
        EXPECT_EQ(match.captured(1), Money(row.Value)) << row.Label;
    }
    EXPECT_GT(shop.Running, 1234567.89);
    EXPECT_EQ(subTotal.match(last).captured(1), Money(shop.Running))
        << "the last column footer is the grand total";
}

TEST_F(InventoryPdfXlsExportTest, SpreadsheetHasOneSheetPerPageWithTheProductsAndTotals)
{
    if (!HasXlrd())
        GTEST_SKIP() << "python3-xlrd is not installed; spreadsheet read-back skipped";

    const TShop shop = ThreePageShop();
    const QString database = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), shop.Rows);
    const QString pages = Path(QStringLiteral("inventario.pgx"));
    const QString xls = Path(QStringLiteral("inventario.Xls"));
    TExportRun run = Export({ "--export", pages, "--database", database, "--date", "31/12/2024" });
    ASSERT_EQ(run.ExitCode, ecWritten) << run.Messages.join('\n').toStdString();
    run = Export({ "--export", xls, "--database", database, "--date", "31/12/2024" });
    ASSERT_EQ(run.ExitCode, ecWritten) << run.Messages.join('\n').toStdString();
    EXPECT_TRUE(run.Messages.isEmpty()) << run.Messages.join('\n').toStdString();

    QString failure;
    const QList<TSheet> sheets = ReadWorkbook(xls, failure);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    ASSERT_EQ(sheets.size(), PageStoreFilePages(pages));
    ASSERT_EQ(sheets.size(), 3);

    QStringList names;
    for (const TSheet& sheet : sheets)
        names.append(sheet.Name);
    names.removeDuplicates();
    EXPECT_EQ(names.size(), sheets.size()) << "sheet names repeat";

    // A cell holds a value either as the report's text or, read as a number, as that number.
    auto holds = [](const TSheet& sheet, const QString& text, double number) {
        return sheet.Texts.contains(text) || sheet.Numbers.contains(number);
    };
    for (int p = 0; p < sheets.size(); ++p) {
        EXPECT_TRUE(sheets[p].Texts.contains(QStringLiteral("Página:"))) << "sheet " << p;
        EXPECT_TRUE(holds(sheets[p], QString::number(p + 2), p + 2))
            << "sheet " << p << " lacks its page number";
        EXPECT_TRUE(sheets[p].Texts.contains(QStringLiteral("SUB - TOTAL"))) << "sheet " << p;
        // The centred company name under "Página:" and the page number is not lost.
        EXPECT_TRUE(sheets[p].Texts.contains(QStringLiteral("Comercial Quillborough Ltda"))) << "sheet " << p;
        EXPECT_TRUE(sheets[p].Texts.contains(QStringLiteral("31/12/2024"))) << "sheet " << p;
    }
    const TSheet& first = sheets.first();
    EXPECT_TRUE(first.Texts.contains(QStringLiteral("Abacate Especial")));
    EXPECT_TRUE(first.Texts.contains(QStringLiteral("A-0001")));
    EXPECT_TRUE(holds(first, QStringLiteral("1.234.567,89"), 1234567.89));
    EXPECT_TRUE(first.Texts.contains(QStringLiteral("Inventário por Preço de Custo")));
    EXPECT_FALSE(sheets.last().Texts.contains(QStringLiteral("Abacate Especial")));

    const TSheet& last = sheets.last();
    EXPECT_TRUE(last.Texts.contains(QStringLiteral("TOTAL - GERAL")));
    EXPECT_TRUE(last.Texts.contains(QStringLiteral("SUBST. TRIBUTÁRIA")));
    EXPECT_TRUE(holds(last, Money(shop.Running), shop.Running)) << Money(shop.Running).toStdString();
    EXPECT_TRUE(holds(last, Money(shop.Substitution), shop.Substitution));
    EXPECT_TRUE(holds(last, Money(shop.Exempt), shop.Exempt));
}

TEST_F(InventoryPdfXlsExportTest, FailedExportsKeepTheExistingFile)
{
    const QString database
        = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), ThreePageShop().Rows);
    const QByteArray previous("previous content, not to be lost");

    // Failures the writers meet: no folder to write in, a write failing after the first page, and a
    // run stopped short (cancel) whose partial output must not pass for the file.
    enum TFailure { fnMissingFolder, fnFailsOnSecondPage, fnCanceledAfterFirstPage };
    struct TCase
    {
        const char* Name;
        const char* File;
        TFailure Failure;
        const char* MessagePart;
    } cases[] = {
        { "pdf into a missing folder", "nada/inventario.pdf", fnMissingFolder, "inventario.pdf" },
        { "xls into a missing folder", "nada/inventario.xls", fnMissingFolder, "inventario.xls" },
        { "pdf failing mid-document", "kept.pdf", fnFailsOnSecondPage, "disco cheio" },
        { "xls failing mid-document", "kept.xls", fnFailsOnSecondPage, "disco cheio" },
        { "pdf canceled", "kept.pdf", fnCanceledAfterFirstPage, "interrompida" },
        { "xls canceled", "kept.XLS", fnCanceledAfterFirstPage, "interrompida" },
    };
    for (const TCase& c : cases) {
        const QString target = Path(QString::fromUtf8(c.File));
        if (c.Failure != fnMissingFolder)
            WriteFile(target, previous);
        int savedPages = 0;
        TSaveProgressScope progress([&](int step, const TRLProgressCancelProc& cancel) {
            savedPages = step;
            if (c.Failure == fnFailsOnSecondPage && step == 2)
                throw Exception(QStringLiteral("disco cheio"));
            if (c.Failure == fnCanceledAfterFirstPage && step == 1)
                cancel();
        });
        const TExportRun run = Export({ "--export", target, "--database", database });
        EXPECT_EQ(run.ExitCode, ecOutput) << c.Name << ": " << run.Messages.join('\n').toStdString();
        EXPECT_TRUE(run.Messages.join('\n').contains(QString::fromUtf8(c.MessagePart)))
            << c.Name << ": " << run.Messages.join('\n').toStdString();
        if (c.Failure == fnMissingFolder) {
            EXPECT_FALSE(QFileInfo::exists(target)) << c.Name;
        } else {
            EXPECT_GE(savedPages, 1) << c.Name << ": the save run showed no progress";
            EXPECT_EQ(FileBytes(target), previous) << c.Name;
        }
        // Nothing half-written is left beside the target.
        static const QStringList expected = { "kept.XLS", "kept.pdf", "kept.xls", "loja.db" };
        for (const QString& entry : QDir(FFolder.path()).entryList(QDir::Files | QDir::Hidden))
            EXPECT_TRUE(expected.contains(entry)) << c.Name << ": left " << entry.toStdString();
    }

    // The same names written for real replace the old files.
    for (const char* name : { "kept.pdf", "kept.xls" }) {
        const QString target = Path(QString::fromLatin1(name));
        const TExportRun run = Export({ "--export", target, "--database", database });
        EXPECT_EQ(run.ExitCode, ecWritten) << name << ": " << run.Messages.join('\n').toStdString();
        EXPECT_NE(FileBytes(target), previous) << name;
    }
    EXPECT_TRUE(FileBytes(Path(QStringLiteral("kept.pdf"))).startsWith("%PDF-1.2"));
    EXPECT_TRUE(FileBytes(Path(QStringLiteral("kept.xls"))).startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"));
}

TEST_F(InventoryPdfXlsExportTest, ReadOnlyFolderKeepsTheExistingFile)
{
    const QString database
        = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), SimpleProducts(3));
    const QString folder = Path(QStringLiteral("somente-leitura"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray previous("previous content");
    for (const char* name : { "a.pdf", "a.xls" })
        WriteFile(folder + u'/' + QString::fromLatin1(name), previous);
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0555), 0);
    struct TRestore
    {
        QByteArray Folder;
        ~TRestore() { chmod(Folder.constData(), 0755); }
    } restore { QFile::encodeName(folder) };
    {
        // The super-user writes anyway; the folder then proves nothing.
        QFile probe(folder + QStringLiteral("/probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            GTEST_SKIP() << "running with rights over read-only folders";
        }
    }
    for (const char* name : { "a.pdf", "a.xls" }) {
        const QString target = folder + u'/' + QString::fromLatin1(name);
        const TExportRun run = Export({ "--export", target, "--database", database });
        EXPECT_EQ(run.ExitCode, ecOutput) << name;
        EXPECT_TRUE(run.Messages.join('\n').contains(QString::fromLatin1(name)))
            << run.Messages.join('\n').toStdString();
        EXPECT_EQ(FileBytes(target), previous) << name;
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(InventoryPdfXlsExportTest, ProgramWritesBothFormatsAndShowsProgressOnlyOnATerminal)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "program not built beside the tests";
    const QString database
        = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), SimpleProducts(120));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program must pick its own

    for (const char* name : { "saida.pdf", "saida.xls" }) {
        const QString output = Path(QString::fromLatin1(name));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, { "--export", output, "--database", database });
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), ecWritten) << name << process.readAllStandardError().constData();
        // Standard error is a pipe here: no progress line, no message.
        const QByteArray errors = process.readAllStandardError();
        EXPECT_FALSE(errors.contains("Salvando")) << name << ": " << errors.constData();
        EXPECT_FALSE(errors.contains('\r')) << name << ": " << errors.constData();
        EXPECT_GT(QFileInfo(output).size(), 1000) << name;
    }

    // On a terminal the save run shows its line. script(1) gives the program a terminal.
    if (!HasTool(QStringLiteral("script")))
        GTEST_SKIP() << "script(1) is not installed; the terminal's progress line is not checked";
    const QString output = Path(QStringLiteral("terminal.pdf"));
    auto quoted = [](const QString& text) {
        return QLatin1Char('\'') + QString(text).replace(u'\'', QLatin1String("'\\''")) + QLatin1Char('\'');
    };
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("script"),
        { QStringLiteral("-qec"),
            quoted(program) + QStringLiteral(" --export ") + quoted(output) + QStringLiteral(" --database ")
                + quoted(database),
            QStringLiteral("/dev/null") });
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString seen = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), ecWritten) << seen.toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("Salvando o relatório..."))) << seen.toStdString();
    EXPECT_TRUE(FileBytes(output).startsWith("%PDF-1.2"));
}

} // namespace
