#include "app/CommandLine.h"
#include "app/untRelatorioInventario.h"

#include "InventoryTestSupport.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <map>

namespace {

// Brazilian money text computed apart from the program's own formatter.
QString Money(double value)
{
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    return brazil.toString(value, 'f', 2);
}

struct TPageFacts
{
    QString PageNumber;
    QStringList Codes; // detail lines in order
    QString SubTotal; // empty when the column footer drew nothing
    std::map<QString, QString> Summary; // row label -> value text
};

// The texts of a page in drawing order, read back through the page store file.
QList<TPageFacts> ReadPages(const QString& fileName)
{
    TRLGraphicStorage* storage = new TRLGraphicStorage(nullptr);
    storage->LoadFromFile(fileName);
    QList<TPageFacts> pages;
    static const QStringList summaryLabels = { "TRIBUTAÇÃO 7%", "TRIBUTAÇÃO 12%", "TRIBUTAÇÃO 17%",
        "TRIBUTAÇÃO 25%", "TOTAL TRIBUTADOS", "ISENTOS", "SUBST. TRIBUTÁRIA", "TOTAL - GERAL" };
    for (int p = 0; p < storage->PageCount(); ++p) {
        TRLGraphicSurface* page = storage->Pages(p);
        QStringList texts;
        for (int i = 0; i < page->ObjectCount(); ++i)
            if (auto* text = dynamic_cast<TRLTextObject*>(page->Objects(i)))
                texts.append(text->DisplayText());
        TPageFacts facts;
        for (int i = 0; i + 1 < texts.size(); ++i) {
            if (texts[i] == QStringLiteral("Página:"))
                facts.PageNumber = texts[i + 1];
            else if (texts[i] == QLatin1String("SUB - TOTAL"))
                facts.SubTotal = texts[i + 1];
            else if (summaryLabels.contains(texts[i]))
                facts.Summary[texts[i]] = texts[i + 1];
            else if (texts[i].startsWith(QLatin1String("P-")) && i + 4 < texts.size())
                facts.Codes.append(texts[i]);
        }
        pages.append(facts);
    }
    delete storage;
    return pages;
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

// Every class and rate rule once, the excluded rows, a big value and three-decimal balances; then
// plain taxed lines to fill pages.
QList<TProductRow> CoveringProducts(int fillers, std::map<QString, double>& values)
{
    struct TSpecial
    {
        double Balance, Cost;
        QVariant TaxClass, Rate;
        bool HasTaxRow = true;
        bool Reported = true;
    };
    const TSpecial specials[] = {
        { 1, 1234567.89, "Tributado", 7.0 },
        { 2.5, 4.00, "Tributado", 12.0 },
        { 2.125, 8.00, "Tributado", 17.0 },
        { 3, 2.50, "Tributado", 25.0 },
        { 1.5, 6.00, "Tributado", 0.0 },
        { 4, 1.25, "Tributado", 18.0 },
        { 1, 3.00, "Tributado", 7.5 },
        { 2, 2.00, "Tributado", QVariant() },
        { 1.25, 8.00, "Subst. Tributária", 17.0 },
        { 5, 1.00, "Isento", 0.0 },
        { 1, 9.00, "", 0.0 },
        { 1, 11.00, QVariant(), QVariant() },
        { 1, 13.00, "Subst. Tributaria", 17.0 },
        { 1, 17.00, "Outro", 12.0 },
        { 0, 5.00, "Tributado", 7.0, true, false },
        { -2, 5.00, "Tributado", 7.0, true, false },
        { 3, 0.00, "Tributado", 7.0, true, false },
        { 3, 5.00, QVariant(), QVariant(), false, false },
    };
    QList<TProductRow> rows;
    int n = 0;
    auto add = [&](double balance, double cost, const QVariant& taxClass, const QVariant& rate, bool hasTax,
                   bool reported) {
        ++n;
        const QString code = QStringLiteral("P-%1").arg(n, 5, 10, QLatin1Char('0'));
        // Names interleave the special rows among the fillers.
        rows.append({ code, QStringLiteral("Item %1").arg((n * 7919) % 100003, 6, 10, QLatin1Char('0')),
            QStringLiteral("UN"), balance, cost, taxClass, rate, hasTax });
        if (reported)
            values[code] = balance * cost;
    };
    for (const TSpecial& s : specials)
        add(s.Balance, s.Cost, s.TaxClass, s.Rate, s.HasTaxRow, s.Reported);
    for (int i = 0; i < fillers; ++i)
        add(double(i % 5) + 1.5, double(2 * (i % 37) + 2) / 100.0 * 10, "Tributado",
            double((i % 4 == 0) ? 7 : 17), true, true);
    return rows;
}

struct TExpectedSummary
{
    double Rate7 = 0, Rate12 = 0, Rate17 = 0, Rate25 = 0, Exempt = 0, Substitution = 0, Running = 0;
};

TExpectedSummary Expected(const QList<TProductRow>& rows, const std::map<QString, double>& values)
{
    TExpectedSummary e;
    for (const TProductRow& row : rows) {
        auto it = values.find(row.Code);
        if (it == values.end())
            continue;
        const double v = it->second;
        e.Running += v;
        const QString taxClass = row.TaxClass.toString();
        const double rate = row.Rate.isNull() ? 0 : row.Rate.toDouble();
        if (taxClass == QStringLiteral("Tributado")) {
            if (rate == 7)
                e.Rate7 += v;
            else if (rate == 12)
                e.Rate12 += v;
            else if (rate == 17 || rate == 0)
                e.Rate17 += v;
            else if (rate == 25)
                e.Rate25 += v;
        } else if (taxClass == QStringLiteral("Subst. Tributária")) {
            e.Substitution += v;
        } else {
            e.Exempt += v;
        }
    }
    return e;
}

class InventoryExportTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(FFolder.isValid()); }
    QString Path(const char* name) const { return FFolder.filePath(QString::fromUtf8(name)); }
    QTemporaryDir FFolder;
};

TEST_F(InventoryExportTest, PagesCarryNumbersSubtotalsAndTheSummary)
{
    bool summaryMoved = false;
    bool summaryShared = false;
    // Enough lines for several pages; the range makes the summary both share the last page and,
    // for some count, no longer fit there.
    for (int fillers = 240; fillers <= 262 && !(summaryMoved && summaryShared); fillers += 2) {
        std::map<QString, double> values;
        const QList<TProductRow> rows = CoveringProducts(fillers, values);
        const QString database = CreateInventoryDatabase(FFolder.path(), "loja.db", rows);
        const QString output = Path("inventario.pgx");
        QFile::remove(output);
        const TExportRun run = Export({ "--export", output, "--database", database, "--date", "31/12/2024" });
        ASSERT_EQ(run.ExitCode, ecWritten) << run.Messages.join('\n').toStdString();

        const QList<TPageFacts> pages = ReadPages(output);
        ASSERT_GE(pages.size(), 3) << fillers;
        double running = 0;
        int lines = 0;
        for (int p = 0; p < pages.size(); ++p) {
            const TPageFacts& page = pages[p];
            EXPECT_EQ(page.PageNumber, QString::number(p + 2)) << "page " << p << " of " << fillers;
            for (const QString& code : page.Codes)
                running += values.at(code);
            lines += int(page.Codes.size());
            if (!page.Codes.isEmpty())
                EXPECT_EQ(page.SubTotal, Money(running)) << "page " << p << " of " << fillers;
            else
                EXPECT_TRUE(page.SubTotal.isEmpty()) << "a disabled column footer drew on page " << p;
        }
        EXPECT_EQ(lines, int(values.size())) << fillers;

        const TPageFacts& last = pages.last();
        ASSERT_EQ(last.Summary.size(), 8u) << fillers;
        for (int p = 0; p + 1 < pages.size(); ++p)
            EXPECT_TRUE(pages[p].Summary.empty()) << "summary before the last page";
        if (last.Codes.isEmpty())
            summaryMoved = true;
        else
            summaryShared = true;

        const TExpectedSummary e = Expected(rows, values);
        EXPECT_EQ(last.Summary.at("TRIBUTAÇÃO 7%"), Money(e.Rate7)) << fillers;
        EXPECT_EQ(last.Summary.at("TRIBUTAÇÃO 12%"), Money(e.Rate12)) << fillers;
        EXPECT_EQ(last.Summary.at("TRIBUTAÇÃO 17%"), Money(e.Rate17)) << fillers;
        EXPECT_EQ(last.Summary.at("TRIBUTAÇÃO 25%"), Money(e.Rate25)) << fillers;
        EXPECT_EQ(last.Summary.at("TOTAL TRIBUTADOS"), Money(e.Rate7 + e.Rate12 + e.Rate17 + e.Rate25))
            << fillers;
        EXPECT_EQ(last.Summary.at("ISENTOS"), Money(e.Exempt)) << fillers;
        EXPECT_EQ(last.Summary.at("SUBST. TRIBUTÁRIA"), Money(e.Substitution)) << fillers;
        EXPECT_EQ(last.Summary.at("TOTAL - GERAL"), Money(e.Running)) << fillers;
        EXPECT_EQ(Money(running), Money(e.Running));
    }
    EXPECT_TRUE(summaryShared) << "no count left the summary on the last data page";
    EXPECT_TRUE(summaryMoved) << "no count moved the summary to a page of its own";
}

TEST_F(InventoryExportTest, DetailLineShowsBigValuesAndThreeDecimalBalances)
{
    const QList<TProductRow> rows = {
        { "P-1", "Grande", "UN", 1.0, 1234567.89, "Tributado", 7.0 },
        { "P-2", "Miudo", "KG", 2.125, 8.0, "Isento", 0.0 },
    };
    const QString database = CreateInventoryDatabase(FFolder.path(), "loja.db", rows);
    const QString output = Path("linhas.pgx");
    const TExportRun run = Export({ "--export", output, "--database", database, "--date", "abc" });
    ASSERT_EQ(run.ExitCode, ecWritten) << run.Messages.join('\n').toStdString();

    TRLGraphicStorage* storage = new TRLGraphicStorage(nullptr);
    storage->LoadFromFile(output);
    ASSERT_EQ(storage->PageCount(), 1);
    QStringList texts;
    TRLGraphicSurface* page = storage->Pages(0);
    for (int i = 0; i < page->ObjectCount(); ++i)
        if (auto* text = dynamic_cast<TRLTextObject*>(page->Objects(i)))
            texts.append(text->DisplayText());
    delete storage;
    const qsizetype first = texts.indexOf(QStringLiteral("P-1"));
    ASSERT_GE(first, 0);
    EXPECT_EQ(texts.mid(first, 6),
        (QStringList { "P-1", "1.234.567,89", "1,000", "Grande", "1.234.567,89", "UN" }));
    const qsizetype second = texts.indexOf(QStringLiteral("P-2"));
    ASSERT_GE(second, 0);
    EXPECT_EQ(texts.mid(second, 6), (QStringList { "P-2", "8,00", "2,125", "Miudo", "17,00", "KG" }));
    EXPECT_TRUE(texts.contains(QStringLiteral("abc"))); // the date as typed
    EXPECT_TRUE(texts.contains(QStringLiteral("Comercial Quillborough Ltda")));
}

TEST_F(InventoryExportTest, FailuresGiveTheirExitCodesAndLeaveFilesAlone)
{
    QList<TProductRow> none = SimpleProducts(2);
    for (TProductRow& row : none)
        row.Cost = 0.0;
    const QString empty = CreateInventoryDatabase(FFolder.path(), "vazio.db", none);
    const QString full = CreateInventoryDatabase(FFolder.path(), "cheio.db", SimpleProducts(3));

    // A good file that failed exports must not touch.
    const QString kept = Path("kept.pgx");
    {
        QFile file(kept);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("previous content");
    }
    struct TCase
    {
        const char* Name;
        QStringList Arguments;
        int ExitCode;
        const char* Message;
    } cases[] = {
        { "no data", { "--export", kept, "--database", empty }, ecNoData, "Não Retornou Dados!" },
        { "missing database", { "--export", kept, "--database", Path("nada.db") }, ecDatabase, "nada.db" },
        { "missing alias file", { "--export", kept, "--aliases", Path("nada.ini") }, ecDatabase, "nada.ini" },
        { "folder missing", { "--export", Path("no/such/dir/a.pgx"), "--database", full }, ecOutput, "" },
    };
    for (const TCase& c : cases) {
        const TExportRun run = Export(c.Arguments);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Name << ": " << run.Messages.join('\n').toStdString();
        EXPECT_FALSE(run.Messages.isEmpty()) << c.Name;
        EXPECT_TRUE(run.Messages.join('\n').contains(QString::fromUtf8(c.Message)))
            << c.Name << ": " << run.Messages.join('\n').toStdString();
    }
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("previous content"));

    // The same file written for real replaces the old one.
    const TExportRun run = Export({ "--export", kept, "--database", full });
    EXPECT_EQ(run.ExitCode, ecWritten);
    EXPECT_EQ(ReadPages(kept).size(), 1);
}

TEST_F(InventoryExportTest, ProgramExitCodes)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "program not built beside the tests";
    auto run = [&](const QStringList& arguments, QByteArray* errorText = nullptr) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program must pick its own
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        if (errorText)
            *errorText = process.readAllStandardError();
        return process.exitCode();
    };
    QByteArray errors;
    EXPECT_EQ(run({ "--help" }), ecWritten);
    EXPECT_EQ(run({ "--version" }), ecWritten);
    EXPECT_EQ(run({ "--export" }, &errors), ecUsage);
    EXPECT_TRUE(errors.contains("--export")) << errors.constData();
    const QString demo = Path("demo.db");
    EXPECT_EQ(run({ "--create-demo-database", demo, "--products", "40" }), ecWritten);
    EXPECT_EQ(run({ "--create-demo-database", demo }), ecOutput); // never overwrites
    const QString output = Path("demo.pgx");
    EXPECT_EQ(run({ "--export", output, "--database", demo }, &errors), ecWritten) << errors.constData();
    EXPECT_GE(ReadPages(output).size(), 1);
}

} // namespace
