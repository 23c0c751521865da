// The inventory's data exports (.xlsx and .csv) through the command line, read back by independent
// readers (python3-openpyxl, Python's csv module) and compared line by line with the page texts of
// the same run written as a page store file: a 3,000-product demo shop.
#include "app/CommandLine.h"
#include "app/untRelatorioInventario.h"

#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"
#include "platform/DemoDatabase.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

QString Python()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

bool HasOpenpyxl()
{
    QProcess process;
    process.start(Python(), { QStringLiteral("-c"), QStringLiteral("import openpyxl") });
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

QJsonObject RunScript(const char* Script, const QString& File)
{
    QProcess process;
    process.start(Python(), { QStringLiteral("-c"), QString::fromUtf8(Script), File });
    EXPECT_TRUE(process.waitForFinished(300000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

int Export(const QStringList& Arguments, QStringList& Messages)
{
    const TInventoryCommandLine options = ParseInventoryCommandLine(Arguments);
    const int code = RunInventoryExport(options, [&](const QString& line) { Messages.append(line); });
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    CloseAliasConnections();
    return code;
}

// The texts of a page in reading order, in lines: texts whose tops lie within a few pixels of the
// first of the line (a detail line's texts start one pixel apart), each line from left to right.
QList<QStringList> PageLines(TRLGraphicSurface* Page)
{
    struct TText
    {
        int Top, Left;
        QString Text;
    };
    std::vector<TText> texts;
    for (int i = 0; i < Page->ObjectCount(); ++i)
        if (Page->Objects(i)->Kind() == okText) {
            const auto* text = static_cast<const TRLTextObject*>(Page->Objects(i));
            if (!text->DisplayText().isEmpty())
                texts.push_back({ text->BoundsRect.Top, text->BoundsRect.Left, text->DisplayText() });
        }
    std::stable_sort(
        texts.begin(), texts.end(), [](const TText& a, const TText& b) { return a.Top < b.Top; });
    QList<QStringList> lines;
    std::vector<TText> line;
    auto close = [&] {
        std::stable_sort(
            line.begin(), line.end(), [](const TText& a, const TText& b) { return a.Left < b.Left; });
        QStringList words;
        for (const TText& text : line)
            words.append(text.Text);
        if (!words.isEmpty())
            lines.append(words);
        line.clear();
    };
    for (const TText& text : texts) {
        if (!line.empty() && text.Top - line.front().Top > 3)
            close();
        line.push_back(text);
    }
    close();
    return lines;
}

const char* const XlsxRows = R"(
import sys, json, zipfile, openpyxl
b = openpyxl.load_workbook(sys.argv[1], read_only=True)
def cell(v):
    return {"t": "n" if isinstance(v, (int, float)) else ("s" if isinstance(v, str) else "e"), "v": v}
rows = [[cell(v) for v in row] for row in b["Inventário"].iter_rows(values_only=True)]
summary = [list(row) for row in b["Resumo"].iter_rows(values_only=True)]
app = zipfile.ZipFile(sys.argv[1]).read("docProps/app.xml").decode("utf-8")
company = app.split("<Company>")[1].split("</Company>")[0] if "<Company>" in app else None
print(json.dumps({"sheets": b.sheetnames, "rows": rows, "summary": summary, "company": company,
    "title": b.properties.title, "subject": b.properties.subject}))
)";

const char* const CsvRows = R"(
import sys, json, csv, io
raw = open(sys.argv[1], "rb").read()
rows = list(csv.reader(io.StringIO(raw.decode("utf-8-sig"), newline=""), delimiter=";"))
print(json.dumps({"bom": raw.startswith(b"\xef\xbb\xbf"), "rows": rows}))
)";

} // namespace

TEST(InventoryDataExport, WorkbookAndTextEqualThePageTextsLineByLine)
{
    if (!HasOpenpyxl())
        GTEST_SKIP() << "python3-openpyxl is not installed; the data exports are not read back";
    QTemporaryDir folder;
    const QString database = folder.filePath(QStringLiteral("demo.db"));
    CreateDemoDatabase(database, 3000);
    QStringList messages;
    for (const char* name : { "inventario.pgx", "inventario.xlsx", "inventario.csv" })
        ASSERT_EQ(Export({ "--export", folder.filePath(QString::fromLatin1(name)), "--database", database,
                             "--date", "31/12/2024" },
                      messages),
            ecWritten)
            << name << ": " << messages.join('\n').toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();

    // The report's own texts: product lines (six texts) on every page, the heading's company name,
    // and the summary on the last page.
    TRLGraphicStorage pages;
    pages.LoadFromFile(folder.filePath(QStringLiteral("inventario.pgx")));
    ASSERT_GT(pages.PageCount(), 20);
    QList<QStringList> productLines;
    QStringList summaryLabels = { "TRIBUTAÇÃO 7%", "TRIBUTAÇÃO 12%", "TRIBUTAÇÃO 17%", "TRIBUTAÇÃO 25%",
        "TOTAL TRIBUTADOS", "ISENTOS", "SUBST. TRIBUTÁRIA", "TOTAL - GERAL" };
    QStringList summaryTexts(summaryLabels.size());
    QString company;
    for (int p = 0; p < pages.PageCount(); ++p) {
        const QList<QStringList> lines = PageLines(pages.Pages(p));
        ASSERT_FALSE(lines.isEmpty());
        if (p == 0)
            company = lines.first().first();
        for (const QStringList& line : lines) {
            if (line.size() == 6)
                productLines.append(line);
            if (p == pages.PageCount() - 1 && line.size() == 2 && summaryLabels.contains(line[0]))
                summaryTexts[summaryLabels.indexOf(line[0])] = line[1];
        }
    }
    ASSERT_GT(productLines.size(), 2000);
    EXPECT_EQ(company, QStringLiteral("QUILLBOROUGH COMÉRCIO DE ALIMENTOS LTDA"));

    // The workbook: a header, then one row per printed line with the same texts and numbers.
    const QJsonObject book = RunScript(XlsxRows, folder.filePath(QStringLiteral("inventario.xlsx")));
    EXPECT_EQ(book[QStringLiteral("sheets")].toArray(), QJsonArray({ "Inventário", "Resumo" }));
    EXPECT_EQ(book[QStringLiteral("company")].toString(), company);
    EXPECT_EQ(book[QStringLiteral("title")].toString(), QStringLiteral("Inventário por Preço de Custo"));
    EXPECT_EQ(book[QStringLiteral("subject")].toString(), QStringLiteral("31/12/2024"));
    const QJsonArray rows = book[QStringLiteral("rows")].toArray();
    ASSERT_EQ(rows.size(), productLines.size() + 1);
    QStringList header;
    for (const QJsonValue& cell : rows[0].toArray())
        header.append(cell.toObject()[QStringLiteral("v")].toString());
    EXPECT_EQ(header,
        (QStringList { "Código", "Produto", "Unid.", "Estoque", "Custo", "Total R$", "Tributo", "ICMS %" }));
    int differing = 0;
    for (qsizetype i = 0; i < productLines.size() && differing < 5; ++i) {
        const QJsonArray row = rows[i + 1].toArray();
        auto text = [&](int c) { return row[c].toObject()[QStringLiteral("v")].toString(); };
        auto number = [&](int c) { return row[c].toObject()[QStringLiteral("v")].toDouble(); };
        auto type = [&](int c) { return row[c].toObject()[QStringLiteral("t")].toString(); };
        const QStringList shown { text(0), text(1), text(2), InventoryQuantityText(number(3)),
            InventoryMoneyText(number(4)), InventoryMoneyText(number(5)) };
        const bool typed
            = type(0) == u"s" && type(1) == u"s" && type(3) == u"n" && type(4) == u"n" && type(5) == u"n";
        if (shown != productLines[i] || !typed) {
            ++differing;
            ADD_FAILURE() << "line " << i << ": page " << productLines[i].join(" | ").toStdString()
                          << ", workbook " << shown.join(" | ").toStdString();
        }
    }
    // The summary: company and date on top, then the eight labels with the report's values to the cent.
    const QJsonArray summary = book[QStringLiteral("summary")].toArray();
    ASSERT_EQ(summary.size(), 3 + 8);
    EXPECT_EQ(summary[0].toArray()[0].toString(), company);
    EXPECT_EQ(summary[1].toArray()[0].toString(), QStringLiteral("31/12/2024"));
    for (int i = 0; i < 8; ++i) {
        const QJsonArray line = summary[3 + i].toArray();
        EXPECT_EQ(line[0].toString(), summaryLabels[i]);
        ASSERT_TRUE(line[1].isDouble()) << summaryLabels[i].toStdString();
        EXPECT_EQ(InventoryMoneyText(line[1].toDouble()), summaryTexts[i]) << summaryLabels[i].toStdString();
    }

    // The delimited text: the same rows, numbers with a decimal comma and no thousands separators.
    const QJsonObject text = RunScript(CsvRows, folder.filePath(QStringLiteral("inventario.csv")));
    EXPECT_TRUE(text[QStringLiteral("bom")].toBool());
    const QJsonArray lines = text[QStringLiteral("rows")].toArray();
    ASSERT_EQ(lines.size(), productLines.size() + 1);
    EXPECT_EQ(lines[0].toArray().size(), 8);
    differing = 0;
    for (qsizetype i = 0; i < productLines.size() && differing < 5; ++i) {
        const QJsonArray line = lines[i + 1].toArray();
        QStringList shown;
        for (int c = 0; c < 6; ++c)
            shown.append(line[c].toString());
        QStringList printed = productLines[i];
        for (int c = 3; c < 6; ++c)
            printed[c].remove(u'.');
        const QJsonArray row = rows[i + 1].toArray();
        const bool sameClass = line[6].toString() == row[6].toObject()[QStringLiteral("v")].toString();
        if (shown != printed || !sameClass) {
            ++differing;
            ADD_FAILURE() << "line " << i << ": page " << printed.join(" | ").toStdString() << ", text "
                          << shown.join(" | ").toStdString();
        }
    }
}
