#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

QStringList Args(std::initializer_list<const char*> items)
{
    QStringList list;
    for (const char* item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

TEST(CommandLineTest, AcceptedCommandLines)
{
    using M = TInventoryCommandLine;
    struct TCase
    {
        const char* Name;
        QStringList Arguments;
        M::TMode Mode;
        QString Export, Date;
        bool HasDate;
        QString Database, Aliases, Demo;
        int Products;
    } cases[] = {
        { "nothing is the window", {}, M::cmWindow, {}, {}, false, {}, {}, {}, 1000 },
        { "window with a database", Args({ "--database", "loja.db" }), M::cmWindow, {}, {}, false, "loja.db",
            {}, {}, 1000 },
        { "export", Args({ "--export", "out.pgx" }), M::cmExport, "out.pgx", {}, false, {}, {}, {}, 1000 },
        { "export with everything",
            Args({ "--date", "31/12/2024", "--export", "a.pdf", "--database", "x.db", "--aliases", "a.ini" }),
            M::cmExport, "a.pdf", "31/12/2024", true, "x.db", "a.ini", {}, 1000 },
        { "values after equals", Args({ "--export=out.xls", "--date=abc" }), M::cmExport, "out.xls", "abc",
            true, {}, {}, {}, 1000 },
        { "an empty date is a date", Args({ "--export", "o", "--date", "" }), M::cmExport, "o", "", true, {},
            {}, {}, 1000 },
        { "a value that looks like an option", Args({ "--export", "o", "--date", "--x" }), M::cmExport, "o",
            "--x", true, {}, {}, {}, 1000 },
        { "demo", Args({ "--create-demo-database", "d.db" }), M::cmCreateDemo, {}, {}, false, {}, {}, "d.db",
            1000 },
        { "demo with products", Args({ "--create-demo-database", "d.db", "--products", "0" }),
            M::cmCreateDemo, {}, {}, false, {}, {}, "d.db", 0 },
        { "demo at the maximum", Args({ "--products=20000000", "--create-demo-database", "d.db" }),
            M::cmCreateDemo, {}, {}, false, {}, {}, "d.db", 20000000 },
        { "help", Args({ "--help" }), M::cmHelp, {}, {}, false, {}, {}, {}, 1000 },
        { "version", Args({ "--version" }), M::cmVersion, {}, {}, false, {}, {}, {}, 1000 },
    };
    for (const TCase& c : cases) {
        try {
            const TInventoryCommandLine line = ParseInventoryCommandLine(c.Arguments);
            EXPECT_EQ(line.Mode, c.Mode) << c.Name;
            EXPECT_EQ(line.ExportFile, c.Export) << c.Name;
            EXPECT_EQ(line.Date, c.Date) << c.Name;
            EXPECT_EQ(line.HasDate, c.HasDate) << c.Name;
            EXPECT_EQ(line.DatabaseFile, c.Database) << c.Name;
            EXPECT_EQ(line.AliasFile, c.Aliases) << c.Name;
            EXPECT_EQ(line.DemoFile, c.Demo) << c.Name;
            EXPECT_EQ(line.Products, c.Products) << c.Name;
        } catch (const Exception& error) {
            ADD_FAILURE() << c.Name << ": " << error.what();
        }
    }
}

TEST(CommandLineTest, PdfOptionsGoWithAPdfExportOnly)
{
    struct TCase
    {
        QStringList Arguments;
        bool EmbedFonts, Compress;
    } accepted[] = {
        { Args({ "--export", "a.pdf" }), false, false },
        { Args({ "--export", "a.pdf", "--embed-fonts" }), true, false },
        { Args({ "--compress", "--export", "a.PDF" }), false, true },
        { Args({ "--export=a.pdf", "--embed-fonts", "--compress", "--date", "x" }), true, true },
    };
    for (const TCase& c : accepted) {
        const TInventoryCommandLine line = ParseInventoryCommandLine(c.Arguments);
        EXPECT_EQ(line.EmbedFonts, c.EmbedFonts) << c.Arguments.join(' ').toStdString();
        EXPECT_EQ(line.Compress, c.Compress) << c.Arguments.join(' ').toStdString();
    }
    struct TRefused
    {
        QStringList Arguments;
        const char* MessagePart;
    } refused[] = {
        { Args({ "--export", "a.xls", "--embed-fonts" }), "--embed-fonts só se aplica a arquivos .pdf" },
        { Args({ "--export", "a.pgx", "--compress" }), "--compress só se aplica a arquivos .pdf" },
        { Args({ "--export", "pdf", "--compress" }), "só se aplica a arquivos .pdf" },
        { Args({ "--export", "a.pdf.xls", "--compress" }), "só se aplica a arquivos .pdf" },
        { Args({ "--embed-fonts" }), "não se aplica" },
        { Args({ "--create-demo-database", "d.db", "--compress" }), "não se aplica" },
        { Args({ "--export", "a.pdf", "--compress", "--compress" }), "repetida" },
        { Args({ "--export", "a.pdf", "--compress=yes" }), "não aceita valor" },
    };
    for (const TRefused& c : refused) {
        try {
            ParseInventoryCommandLine(c.Arguments);
            ADD_FAILURE() << c.Arguments.join(' ').toStdString() << ": accepted";
        } catch (const ECommandLineError& error) {
            EXPECT_TRUE(error.Message().contains(QString::fromUtf8(c.MessagePart)))
                << c.Arguments.join(' ').toStdString() << ": " << error.what();
        }
    }
}

TEST(CommandLineTest, RefusedCommandLinesSayWhy)
{
    struct TCase
    {
        const char* Name;
        QStringList Arguments;
        const char* MessagePart;
    } cases[] = {
        { "unknown option", Args({ "--expor", "x" }), "desconhecida" },
        { "stray argument", Args({ "--export", "o", "out.pgx" }), "inesperado" },
        { "a second saved report", Args({ "a.pgx", "b.pgx" }), "inesperado" },
        { "single dash", Args({ "-h" }), "inesperado" },
        { "missing value", Args({ "--export" }), "precisa de um valor" },
        { "empty file name", Args({ "--export=" }), "precisa de um valor" },
        { "value for a flag", Args({ "--help=yes" }), "não aceita valor" },
        { "repeated option", Args({ "--export", "a", "--export", "b" }), "repetida" },
        { "two modes", Args({ "--export", "a", "--create-demo-database", "b" }), "outro modo" },
        { "help with export", Args({ "--export", "a", "--help" }), "outro modo" },
        { "date without export", Args({ "--date", "x" }), "não se aplica" },
        { "products without demo", Args({ "--export", "a", "--products", "3" }), "não se aplica" },
        { "database with demo", Args({ "--create-demo-database", "d", "--database", "x" }), "não se aplica" },
        { "negative products", Args({ "--create-demo-database", "d", "--products", "-1" }), "--products" },
        { "products with a sign", Args({ "--create-demo-database", "d", "--products", "+5" }), "--products" },
        { "products not a number", Args({ "--create-demo-database", "d", "--products", "12a" }),
            "--products" },
        { "products too many", Args({ "--create-demo-database", "d", "--products", "20000001" }),
            "--products" },
        { "products overflowing",
            Args({ "--create-demo-database", "d", "--products", "99999999999999999999" }), "--products" },
    };
    for (const TCase& c : cases) {
        try {
            ParseInventoryCommandLine(c.Arguments);
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const ECommandLineError& error) {
            EXPECT_TRUE(error.Message().contains(QString::fromUtf8(c.MessagePart)))
                << c.Name << ": " << error.what();
        }
    }
}

TEST(CommandLineTest, PrintOptions)
{
    struct TCase
    {
        const char* Name;
        QStringList Arguments;
        QString Printer;
        int Copies, First, Last;
        QString Date, Database;
    } cases[] = {
        { "the default printer, every page", Args({ "--print" }), {}, 0, 1, -1, {}, {} },
        { "everything",
            Args({ "--print", "--printer", "Balcao", "--copies", "3", "--pages", "2-5", "--date", "x",
                "--database", "l.db" }),
            "Balcao", 3, 2, 5, "x", "l.db" },
        { "values after equals", Args({ "--pages=7", "--print", "--printer=PDF da loja", "--copies=999" }),
            "PDF da loja", 999, 7, 7, {}, {} },
        { "a range of one", Args({ "--print", "--pages", "4-4" }), {}, 0, 4, 4, {}, {} },
    };
    for (const TCase& c : cases) {
        try {
            const TInventoryCommandLine line = ParseInventoryCommandLine(c.Arguments);
            EXPECT_EQ(line.Mode, TInventoryCommandLine::cmPrint) << c.Name;
            EXPECT_EQ(line.PrinterName, c.Printer) << c.Name;
            EXPECT_EQ(line.Copies, c.Copies) << c.Name;
            EXPECT_EQ(line.FirstPage, c.First) << c.Name;
            EXPECT_EQ(line.LastPage, c.Last) << c.Name;
            EXPECT_EQ(line.Date, c.Date) << c.Name;
            EXPECT_EQ(line.DatabaseFile, c.Database) << c.Name;
        } catch (const Exception& error) {
            ADD_FAILURE() << c.Name << ": " << error.what();
        }
    }

    struct TRefused
    {
        const char* Name;
        QStringList Arguments;
        const char* MessagePart;
    } refused[] = {
        { "print with export", Args({ "--print", "--export", "a.pdf" }), "outro modo" },
        { "printer without print", Args({ "--export", "a.pdf", "--printer", "x" }), "não se aplica" },
        { "copies without print", Args({ "--copies", "2" }), "não se aplica" },
        { "pages with the demo", Args({ "--create-demo-database", "d", "--pages", "1-2" }), "não se aplica" },
        { "a value for print", Args({ "--print=Balcao" }), "não aceita valor" },
        { "no printer name", Args({ "--print", "--printer=" }), "precisa de um valor" },
        { "no copies", Args({ "--print", "--copies", "0" }), "--copies" },
        { "too many copies", Args({ "--print", "--copies", "1000" }), "--copies" },
        { "copies with a sign", Args({ "--print", "--copies", "+2" }), "--copies" },
        { "pages backwards", Args({ "--print", "--pages", "5-2" }), "depois da última" },
        { "page zero", Args({ "--print", "--pages", "0-3" }), "--pages" },
        { "open range", Args({ "--print", "--pages", "3-" }), "--pages" },
        { "range of words", Args({ "--print", "--pages", "todas" }), "--pages" },
        { "two dashes", Args({ "--print", "--pages", "1-2-3" }), "--pages" },
        { "a page too far", Args({ "--print", "--pages", "1-99999999999" }), "--pages" },
    };
    for (const TRefused& c : refused) {
        try {
            ParseInventoryCommandLine(c.Arguments);
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const ECommandLineError& error) {
            EXPECT_TRUE(error.Message().contains(QString::fromUtf8(c.MessagePart)))
                << c.Name << ": " << error.what();
        }
    }
}

TEST(CommandLineTest, UsageNamesEveryOptionAndExitCode)
{
    const QString usage = InventoryUsageText();
    for (const char* option : { "--export", "--date", "--database", "--aliases", "--create-demo-database",
             "--products", "--help", "--version", "--embed-fonts", "--compress", "--from", "--print",
             "--printer", "--copies", "--pages" })
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
    for (int code = 0; code <= 5; ++code)
        EXPECT_TRUE(usage.contains(QStringLiteral("%1 ").arg(code))) << code;
    EXPECT_TRUE(InventoryVersionText().startsWith(QLatin1String("inventario ")));
}

} // namespace
