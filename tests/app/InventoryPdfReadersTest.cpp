// The inventory report's PDF as readers see it: every text inside its clip, the pages drawn by
// poppler where the preview draws them, and the files made with embedded fonts and compression read
// by pdffonts, pdftotext and qpdf. Every check that needs a reader skips, saying so, without it.
#include "app/CommandLine.h"

#include "InventoryTestSupport.h"
#include "pagestore/RLCanvas.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"
#include "support/PDFTextPlacement.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct TToolRun
{
    bool Started = false;
    int ExitCode = -1;
    QByteArray Output;
    QByteArray Errors;
};

TToolRun RunTool(const QString& Program, const QStringList& Arguments)
{
    TToolRun run;
    QProcess process;
    process.start(Program, Arguments);
    if (!process.waitForStarted(10000))
        return run;
    run.Started = true;
    process.waitForFinished(300000);
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Output = process.readAllStandardOutput();
    run.Errors = process.readAllStandardError();
    return run;
}

bool HasTool(const QString& Program)
{
    return !QStandardPaths::findExecutable(Program).isEmpty();
}

QByteArray FileBytes(const QString& FileName)
{
    QFile file(FileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int Export(const QStringList& Arguments, QString* Messages = nullptr)
{
    const TInventoryCommandLine options = ParseInventoryCommandLine(Arguments);
    QStringList lines;
    const int code = RunInventoryExport(options, [&](const QString& line) { lines.append(line); });
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    CloseAliasConnections();
    if (Messages)
        *Messages = lines.join(u'\n');
    return code;
}

// Product names whose letters reach below the base line, with cedillas and accents: the ones that
// lost their lower part in every viewer ("JARDIM" read "IARDIM").
QList<TProductRow> DescenderShop()
{
    const char* names[] = {
        "MUÇARELA FATIADA",
        "LARANJA PERA JARDIM",
        "PÃO DE QUEIJO",
        "AÇÚCAR REFINADO",
        "FEIJÃO PRETO TIPO 1",
        "MAÇÃ GALA",
        "PAÇOCA JUNINA",
        "QUEIJO PRATO",
        "Jiló e pimentão",
        "Guaraná Antarctica Light",
    };
    QList<TProductRow> rows;
    int i = 0;
    for (const char* name : names) {
        ++i;
        rows.append({ QStringLiteral("J-%1").arg(i, 4, 10, QLatin1Char('0')), QString::fromUtf8(name),
            i % 2 ? QStringLiteral("UN") : QStringLiteral("PC"), double(i), i + 0.25,
            QStringLiteral("Tributado"), 17.0 });
    }
    for (int p = 1; p <= 150; ++p)
        rows.append({ QStringLiteral("Q-%1").arg(p, 4, 10, QLatin1Char('0')),
            QStringLiteral("Queijo Jardim %1").arg(p, 4, 10, QLatin1Char('0')), QStringLiteral("KG"), 1.0,
            p + 0.5, QStringLiteral("Isento"), 0.0 });
    return rows;
}

class InventoryPdfReadersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FFolder.isValid());
        FDatabase = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), DescenderShop());
    }
    QString Path(const QString& Name) const { return FFolder.filePath(Name); }
    // The report exported to Name with the extra options given; fails the test when it is not written.
    QString Write(const QString& Name, const QStringList& Options = {})
    {
        const QString file = Path(Name);
        QString messages;
        const int code = Export(
            QStringList { "--export", file, "--database", FDatabase, "--date", "31/12/2024" } + Options,
            &messages);
        EXPECT_EQ(code, ecWritten) << messages.toStdString();
        return file;
    }

    QTemporaryDir FFolder;
    QString FDatabase;
};

// ---------------------------------------------------------------------------------------------------

TEST_F(InventoryPdfReadersTest, EveryClippedTextStandsInsideItsClip)
{
    for (const QStringList& options : { QStringList {}, QStringList { "--embed-fonts" } }) {
        const QByteArray pdf = FileBytes(Write(QStringLiteral("clip.pdf"), options));
        const QList<PDFTextPlacement::TPlacedText> texts = PDFTextPlacement::PlacedTexts(pdf);
        int clipped = 0;
        for (const PDFTextPlacement::TPlacedText& text : texts) {
            if (!text.Clip)
                continue;
            ++clipped;
            SCOPED_TRACE(text.Text.toStdString() + " page " + std::to_string(text.Page));
            ASSERT_LT(text.Descent, 0) << "font " << text.Font.constData() << " declares no descent";
            const double lowest = text.Y + text.Descent * text.Size / 1000.0;
            EXPECT_GE(lowest, text.Clip->Bottom - 0.0001);
            EXPECT_LE(lowest, text.Clip->Top());
            EXPECT_GT(text.Y, text.Clip->Bottom);
        }
        EXPECT_GT(clipped, 100) << "the report's texts are no longer clipped; the check saw nothing";
    }
}

// Ink rows (from the top of Rect) of an image, as a mask: a row has ink when any pixel of it inside
// Rect is darker than mid-grey.
QList<bool> InkRows(const QImage& Image, const QRect& Rect)
{
    QList<bool> rows;
    for (int y = Rect.top(); y <= Rect.bottom(); ++y) {
        bool ink = false;
        for (int x = Rect.left(); x <= Rect.right() && !ink; ++x)
            ink = y >= 0 && y < Image.height() && x >= 0 && x < Image.width()
                && qGray(Image.pixel(x, y)) < 128;
        rows.append(ink);
    }
    return rows;
}

int FirstInk(const QList<bool>& Rows)
{
    return int(Rows.indexOf(true));
}

int LastInk(const QList<bool>& Rows)
{
    return int(Rows.lastIndexOf(true));
}

TEST_F(InventoryPdfReadersTest, PopplerDrawsEveryTextWhereThePreviewDrawsIt)
{
    if (!HasTool(QStringLiteral("pdftoppm")))
        GTEST_SKIP() << "pdftoppm is not installed (poppler-utils); the rendering is not compared";
    const QString pages = Write(QStringLiteral("inventario.pgx"));
    const QString pdf = Write(QStringLiteral("inventario.pdf"));

    constexpr int Resolution = 150;
    const TToolRun render = RunTool(QStringLiteral("pdftoppm"),
        { QStringLiteral("-r"), QString::number(Resolution), QStringLiteral("-f"), QStringLiteral("1"),
            QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"), QStringLiteral("-png"),
            pdf, Path(QStringLiteral("pdf")) });
    ASSERT_EQ(render.ExitCode, 0) << render.Errors.constData();
    const QImage drawn(Path(QStringLiteral("pdf.png")));
    ASSERT_FALSE(drawn.isNull());

    std::unique_ptr<TRLGraphicStorage> storage(new TRLGraphicStorage(nullptr));
    storage->LoadFromFile(pages);
    ASSERT_GT(storage->PageCount(), 0);
    TRLGraphicSurface* page = storage->Pages(0);
    // The preview's own drawing at the same resolution, on paper white.
    QImage preview(drawn.size(), QImage::Format_RGB32);
    preview.fill(Qt::white);
    {
        TRLCanvas canvas(&preview);
        page->PaintTo(canvas, TRect(0, 0, preview.width(), preview.height()));
    }

    // Kept beside the tests for a person to look at.
    const QString artefacts = QCoreApplication::applicationDirPath() + QStringLiteral("/artefacts");
    QDir().mkpath(artefacts);
    drawn.save(artefacts + QStringLiteral("/inventario-pagina1-pdftoppm-150dpi.png"));
    preview.save(artefacts + QStringLiteral("/inventario-pagina1-preview-150dpi.png"));

    const double xScale = double(preview.width()) / page->Width();
    const double yScale = double(preview.height()) / page->Height();
    int compared = 0;
    int withDescenders = 0;
    // The band clips in force: a cell reaching past its band shows the neighbour's ink there.
    QList<TRect> clips;
    for (int i = 0; i < page->ObjectCount(); ++i) {
        const TRLGraphicObject* object = page->Objects(i);
        if (object->Kind() == okSetClipRect) {
            clips.append(object->BoundsRect);
            continue;
        }
        if (object->Kind() == okResetClipRect) {
            if (!clips.isEmpty())
                clips.removeLast();
            continue;
        }
        if (object->Kind() != okText)
            continue;
        const auto* text = static_cast<const TRLTextObject*>(object);
        if (text->TextFlags & TextFlagAutoSize || text->DisplayText().trimmed().isEmpty())
            continue;
        TRect r = text->BoundsRect;
        for (const TRect& clip : std::as_const(clips)) {
            r.Left = qMax(r.Left, clip.Left);
            r.Top = qMax(r.Top, clip.Top);
            r.Right = qMin(r.Right, clip.Right);
            r.Bottom = qMin(r.Bottom, clip.Bottom);
        }
        if (r.Right <= r.Left || r.Bottom <= r.Top)
            continue;
        // The cell's pixels at this resolution, the edge rows and columns left out (rounding).
        const QRect cell(QPoint(int(std::ceil(r.Left * xScale)), int(std::ceil(r.Top * yScale))),
            QPoint(int(r.Right * xScale) - 1, int(r.Bottom * yScale) - 1));
        const QList<bool> want = InkRows(preview, cell);
        const QList<bool> got = InkRows(drawn, cell);
        if (FirstInk(want) < 0)
            continue;
        ++compared;
        SCOPED_TRACE(text->DisplayText().toStdString());
        ASSERT_GE(FirstInk(got), 0) << "no ink in the PDF's cell";
        // The same band of rows, to a pixel of rounding either way.
        EXPECT_NEAR(FirstInk(got), FirstInk(want), 2) << "top of the text";
        EXPECT_NEAR(LastInk(got), LastInk(want), 2) << "bottom of the text";
        // No row the preview inks is blank in the PDF, its neighbours allowed for.
        for (int row = 0; row < want.size(); ++row) {
            if (!want[row])
                continue;
            const bool near = got.value(row) || got.value(row - 1) || got.value(row + 1);
            EXPECT_TRUE(near) << "row " << row << " of " << want.size() << " blank in the PDF";
        }
        const QString shown = text->DisplayText();
        if (shown.contains(u'J') || shown.contains(u'Ç') || shown.contains(u'Q') || shown.contains(u'g'))
            ++withDescenders;
    }
    EXPECT_GT(compared, 50);
    EXPECT_GT(withDescenders, 10) << "the page holds too few texts that reach below the base line";
}

TEST_F(InventoryPdfReadersTest, EmbeddedAndCompressedFilesPassEveryReader)
{
    for (const char* tool : { "pdffonts", "pdftotext", "qpdf" })
        if (!HasTool(QString::fromLatin1(tool)))
            GTEST_SKIP() << tool << " is not installed (poppler-utils, qpdf); PDF read-back skipped";
    const QString plainFile = Write(QStringLiteral("plain.pdf"));
    const TToolRun plainText
        = RunTool(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), plainFile, QStringLiteral("-") });
    ASSERT_EQ(plainText.ExitCode, 0);
    const QStringList productNames
        = { QStringLiteral("MUÇARELA FATIADA"), QStringLiteral("LARANJA PERA JARDIM"),
              QStringLiteral("PÃO DE QUEIJO"), QStringLiteral("AÇÚCAR REFINADO"),
              QStringLiteral("Jiló e pimentão"), QStringLiteral("Queijo Jardim 0150") };

    const QList<QStringList> combinations
        = { { "--embed-fonts" }, { "--compress" }, { "--embed-fonts", "--compress" } };
    for (const QStringList& options : combinations) {
        SCOPED_TRACE(options.join(u' ').toStdString());
        const QString file = Write(QStringLiteral("opcoes.pdf"), options);
        const bool embedded = options.contains(QStringLiteral("--embed-fonts"));

        const TToolRun check = RunTool(QStringLiteral("qpdf"), { QStringLiteral("--check"), file });
        EXPECT_EQ(check.ExitCode, 0) << check.Output.constData() << check.Errors.constData();

        const TToolRun fonts = RunTool(QStringLiteral("pdffonts"), { file });
        ASSERT_EQ(fonts.ExitCode, 0) << fonts.Errors.constData();
        const QStringList lines = QString::fromUtf8(fonts.Output).split(u'\n', Qt::SkipEmptyParts).mid(2);
        EXPECT_GE(lines.size(), 2) << fonts.Output.constData();
        for (const QString& line : lines) {
            const QStringList words = line.simplified().split(u' ');
            ASSERT_GE(words.size(), 7) << line.toStdString();
            const QStringList flags = words.mid(words.size() - 5, 2); // emb, sub
            EXPECT_EQ(flags, embedded ? QStringList({ "yes", "yes" }) : QStringList({ "no", "no" }))
                << line.toStdString();
        }

        // The text reads as the plain file's, accents and all.
        const TToolRun text
            = RunTool(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), file, QStringLiteral("-") });
        ASSERT_EQ(text.ExitCode, 0) << text.Errors.constData();
        EXPECT_EQ(QString::fromUtf8(text.Output), QString::fromUtf8(plainText.Output));
        for (const QString& name : productNames)
            EXPECT_TRUE(QString::fromUtf8(text.Output).contains(name)) << name.toStdString();
    }
}

TEST_F(InventoryPdfReadersTest, CompressionShrinksTheFileToAFraction)
{
    const QString database
        = CreateInventoryDatabase(FFolder.path(), QStringLiteral("grande.db"), SimpleProducts(3000));
    QString messages;
    const QString plain = Path(QStringLiteral("grande.pdf"));
    const QString compressed = Path(QStringLiteral("grande-z.pdf"));
    ASSERT_EQ(
        Export({ "--export", plain, "--database", database, "--date", "31/12/2024" }, &messages), ecWritten)
        << messages.toStdString();
    ASSERT_EQ(Export({ "--export", compressed, "--database", database, "--date", "31/12/2024", "--compress" },
                  &messages),
        ecWritten)
        << messages.toStdString();
    const qint64 plainSize = QFileInfo(plain).size();
    const qint64 compressedSize = QFileInfo(compressed).size();
    EXPECT_GT(plainSize, 500000);
    EXPECT_LT(compressedSize * 5, plainSize) << plainSize << " -> " << compressedSize;
    if (HasTool(QStringLiteral("qpdf"))) {
        const TToolRun check = RunTool(QStringLiteral("qpdf"), { QStringLiteral("--check"), compressed });
        EXPECT_EQ(check.ExitCode, 0) << check.Output.constData();
    }
}

TEST_F(InventoryPdfReadersTest, ProgramRefusesPdfOptionsForOtherFormats)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "program not built beside the tests";
    struct TCase
    {
        QStringList Arguments;
        int ExitCode;
    } cases[] = {
        { { "--export", Path(QStringLiteral("a.xls")), "--embed-fonts", "--database", FDatabase }, ecUsage },
        { { "--export", Path(QStringLiteral("a.pgx")), "--compress", "--database", FDatabase }, ecUsage },
        { { "--export", Path(QStringLiteral("a.pdf")), "--compress", "--database", FDatabase }, ecWritten },
        { { "--export", Path(QStringLiteral("b.pdf")), "--embed-fonts", "--database", FDatabase },
            ecWritten },
    };
    for (const TCase& c : cases) {
        QProcess process;
        process.start(program, c.Arguments);
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), c.ExitCode)
            << c.Arguments.join(u' ').toStdString() << process.readAllStandardError().constData();
        EXPECT_EQ(QFileInfo::exists(c.Arguments[1]), c.ExitCode == ecWritten) << c.Arguments[1].toStdString();
    }
}

} // namespace
