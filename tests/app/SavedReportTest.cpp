// Saved reports (the page store files the preview saves): opened in the preview window with
// `inventario FILE.pgx`, and written again with `--export OUT --from FILE.pgx`, neither touching the
// database. What --from writes must be what the export that prepared the pages wrote.
#include "app/CommandLine.h"
#include "app/untRelatorioInventario.h"

#include "InventoryTestSupport.h"
#include "filters/RLFilters.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLXLSFilter.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"
#include "platform/DataSet.h"
#include "preview/RLPreview.h"
#include "preview/RLPreviewForm.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace {

QStringList Args(std::initializer_list<const char*> items)
{
    QStringList list;
    for (const char* item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

QByteArray ReadAll(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A PDF without its creation date, the one thing two exports of the same pages may differ in.
QByteArray WithoutCreationDate(QByteArray pdf)
{
    static const QRegularExpression date(QStringLiteral("/CreationDate\\(D:[0-9]{14}\\)"));
    QString text = QString::fromLatin1(pdf);
    text.replace(date, QStringLiteral("/CreationDate(D:00000000000000)"));
    return text.toLatin1();
}

struct TRun
{
    int ExitCode = -1;
    QStringList Messages;
};

TRun Export(const QStringList& arguments)
{
    TRun run;
    const TInventoryCommandLine options = ParseInventoryCommandLine(arguments);
    run.ExitCode = RunInventoryExport(options, [&](const QString& line) { run.Messages.append(line); });
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    CloseAliasConnections();
    return run;
}

QString Program()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
}

// Where test artefacts go: a folder of the build, kept after the run.
QString ArtefactPath(const QString& name)
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../artefacts");
    QDir().mkpath(folder);
    return QDir(folder).absoluteFilePath(name);
}

// The one preview window open now, or null.
TRLPreviewForm* OpenPreview()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TRLPreviewForm*>(widget); form && form->isVisible())
            return form;
    return nullptr;
}

// Runs the saved-report window on FileName; While gets the window once it is up, and the window is
// closed afterwards. Returns the exit code; Shown tells whether a window came up at all.
int RunPreview(const QString& fileName, QStringList& errors, bool& shown,
    const std::function<void(TRLPreviewForm*)>& While = {})
{
    shown = false;
    TInventoryCommandLine options = ParseInventoryCommandLine({ fileName });
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        TRLPreviewForm* form = OpenPreview();
        if (!form || !form->isVisible())
            return;
        poll->stop();
        shown = true;
        if (While)
            While(form);
        form->close();
    });
    poll->start();
    const int code = RunSavedReportPreview(options, [&](const QString& text) { errors.append(text); });
    delete poll;
    return code;
}

// A shop with enough products for several pages, the pages exported once as they come from the
// database.
class SavedReportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FFolder.isValid());
        FDatabase = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), SimpleProducts(260));
        for (const char* extension : { "pgx", "pdf", "xls" }) {
            const TRun run = Export({ "--export", Path(QStringLiteral("original.") + extension), "--database",
                FDatabase, "--date", "31/12/2024" });
            ASSERT_EQ(run.ExitCode, ecWritten) << run.Messages.join(u'\n').toStdString();
        }
    }
    QString Path(const QString& name) const { return FFolder.filePath(name); }
    QString Saved() const { return Path(QStringLiteral("original.pgx")); }

    QTemporaryDir FFolder;
    QString FDatabase;
};

} // namespace

TEST(SavedReportCommandLine, FilesToOpenAndToWriteFrom)
{
    TInventoryCommandLine line = ParseInventoryCommandLine(Args({ "relatorio.pgx" }));
    EXPECT_EQ(line.Mode, TInventoryCommandLine::cmOpen);
    EXPECT_EQ(line.ReportFile, QStringLiteral("relatorio.pgx"));
    // Any name: the desktop passes whatever file the user opened.
    line = ParseInventoryCommandLine(Args({ "/tmp/Relatório de março" }));
    EXPECT_EQ(line.Mode, TInventoryCommandLine::cmOpen);
    EXPECT_EQ(line.ReportFile, QStringLiteral("/tmp/Relatório de março"));

    line = ParseInventoryCommandLine(Args({ "--export", "out.pdf", "--from", "in.pgx" }));
    EXPECT_EQ(line.Mode, TInventoryCommandLine::cmExport);
    EXPECT_EQ(line.ExportFile, QStringLiteral("out.pdf"));
    EXPECT_EQ(line.FromFile, QStringLiteral("in.pgx"));
    line = ParseInventoryCommandLine(Args({ "--from=in.pgx", "--export=out.xls" }));
    EXPECT_EQ(line.FromFile, QStringLiteral("in.pgx"));
    EXPECT_EQ(line.ExportFile, QStringLiteral("out.xls"));
    // The usual export knows nothing of a saved report.
    EXPECT_TRUE(ParseInventoryCommandLine(Args({ "--export", "o.pdf" })).FromFile.isEmpty());

    const char* refused[][6] = {
        { "a.pgx", "b.pgx" }, // one report at a time
        { "--export", "o.pdf", "a.pgx" }, // a saved report is written with --from
        { "a.pgx", "--export", "o.pdf" },
        { "a.pgx", "--database", "loja.db" }, // a saved report needs no database
        { "a.pgx", "--help" },
        { "--from", "a.pgx" }, // --from only with --export
        { "--export", "o.pdf", "--from", "a.pgx", "--date", "x" }, // the pages carry their date
        { "--export", "o.pdf", "--from", "a.pgx", "--database", "loja.db" },
        { "--aliases", "a.ini", "--export", "o.pdf", "--from", "a.pgx" },
        { "--export", "o.pdf", "--from" },
        { "--export", "o.pdf", "--from", "" },
        { "--export", "o.pdf", "--from", "a.pgx", "--from", "b.pgx" },
        { "--export", "o.xlsx", "--from", "a.pgx" }, // the data writers need the run's rows
        { "--export", "o.CSV", "--from", "a.pgx" },
        { "" }, // an empty argument names no file
        { "-x.pgx" },
    };
    for (const auto& arguments : refused) {
        QStringList list;
        for (const char* item : arguments)
            if (item)
                list.append(QString::fromUtf8(item));
        EXPECT_THROW(ParseInventoryCommandLine(list), ECommandLineError) << list.join(u' ').toStdString();
    }
    EXPECT_TRUE(InventoryUsageText().contains(QStringLiteral("--from")));
    EXPECT_TRUE(InventoryUsageText().contains(QStringLiteral("ARQUIVO.pgx")));
}

TEST(SavedReportWriters, AreTheDefinitionsOwnAndNeedNoDatabase)
{
    // No database anywhere: reading the writers must not open the parameter table.
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QStringLiteral("/nonexistent/loja.db"));
    std::unique_ptr<TComponent> writers;
    ASSERT_NO_THROW(writers = ReadInventoryWriters());
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());

    auto* pdf = qobject_cast<TRLPDFFilter*>(writers->FindComponent(QStringLiteral("RLPDFFilter1")));
    auto* xls = qobject_cast<TRLXLSFilter*>(writers->FindComponent(QStringLiteral("RLXLSFilter1")));
    ASSERT_NE(pdf, nullptr);
    ASSERT_NE(xls, nullptr);
    EXPECT_EQ(pdf->DisplayName(), QStringLiteral("Documento PDF"));
    EXPECT_EQ(xls->DisplayName(), QStringLiteral("Planilha Excel"));
    EXPECT_EQ(pdf->DocumentInfo()->Creator(), QStringLiteral("Quillborough v3.23"));
    // Only writers: no report, no data set.
    EXPECT_EQ(writers->findChildren<TDataSet*>().size(), 0);
    // The page writers and the data writers, exactly as the definition holds them.
    EXPECT_EQ(writers->ComponentCount(), 4);
    EXPECT_EQ(writers->findChildren<TRLCustomFilter*>().size(), 4);
    EXPECT_NE(writers->FindComponent(QStringLiteral("RLXLSXFilter1")), nullptr);
    EXPECT_NE(writers->FindComponent(QStringLiteral("RLCSVFilter1")), nullptr);
    EXPECT_EQ(InventorySaveFilterFor(QStringLiteral("x.PDF"), writers.get()), pdf);
    EXPECT_EQ(InventorySaveFilterFor(QStringLiteral("x.xls"), writers.get()), xls);
    // They are live filters while they exist, as the save dialog needs, and gone with their root.
    EXPECT_TRUE(FilterList().contains(pdf));
    writers.reset();
    EXPECT_FALSE(FilterList().contains(pdf));
}

TEST_F(SavedReportTest, WritingASavedReportAgainGivesTheOriginalExportsBytes)
{
    // The pages span several pages, with the last page number in their texts.
    {
        TComponent holder(nullptr);
        auto* storage = new TRLGraphicStorage(&holder);
        storage->LoadFromFile(Saved());
        ASSERT_GE(storage->PageCount(), 3);
        EXPECT_EQ(storage->FirstPageNumber(), 2);
        EXPECT_EQ(storage->LastPageNumber(), 2 + storage->PageCount() - 1);
    }
    // No database is configured for the second writing.
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QStringLiteral("/nonexistent/loja.db"));
    for (const char* extension : { "pgx", "pdf", "xls", "PDF" }) {
        const QString out = Path(QStringLiteral("again.") + extension);
        const TRun run
            = Export({ "--export", out.toUtf8().constData(), "--from", Saved().toUtf8().constData() });
        ASSERT_EQ(run.ExitCode, ecWritten) << extension << ": " << run.Messages.join(u'\n').toStdString();
        EXPECT_TRUE(run.Messages.isEmpty());
        const QString lower = QString::fromLatin1(extension).toLower();
        QByteArray original = ReadAll(Path(QStringLiteral("original.") + lower));
        QByteArray again = ReadAll(out);
        ASSERT_FALSE(again.isEmpty()) << extension;
        if (lower == QLatin1String("pdf")) {
            EXPECT_TRUE(again.startsWith("%PDF-"));
            original = WithoutCreationDate(original);
            again = WithoutCreationDate(again);
        }
        EXPECT_EQ(again.size(), original.size()) << extension;
        EXPECT_TRUE(again == original) << extension << " differs from what the original export wrote";
    }
    // A saved report written from a saved report is the same file again.
    const TRun twice = Export({ "--export", Path("twice.pgx").toUtf8().constData(), "--from",
        Path("again.pgx").toUtf8().constData() });
    EXPECT_EQ(twice.ExitCode, ecWritten);
    EXPECT_EQ(ReadAll(Path("twice.pgx")), ReadAll(Saved()));
}

TEST_F(SavedReportTest, DamagedOrMissingSavedReportsGiveTheReadersMessageAndWriteNothing)
{
    const QByteArray good = ReadAll(Saved());
    ASSERT_GT(good.size(), 1000);
    QByteArray wrongSignature = good;
    wrongSignature[3] = 'x';
    QByteArray hugeCount = good;
    hugeCount[18] = char(0xff);
    hugeCount[19] = char(0xff);
    hugeCount[20] = char(0xff);
    hugeCount[21] = char(0x7f);
    QByteArray damagedPage = good;
    for (qsizetype i = good.size() / 2; i < good.size() / 2 + 64; ++i)
        damagedPage[i] = char(0xee);
    const struct
    {
        const char* Name;
        QByteArray Bytes;
    } damaged[] = {
        { "empty", QByteArray() },
        { "signature only", good.left(18) },
        { "cut in the values", good.left(60) },
        { "cut in the pages", good.left(good.size() / 2) },
        { "one byte short", good.left(good.size() - 1) },
        { "wrong signature", wrongSignature },
        { "impossible count", hugeCount },
        { "damaged page", damagedPage },
        { "not a saved report", QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n") },
    };
    const QByteArray kept = "an older file that must stay";
    for (const auto& c : damaged) {
        const QString input = Path(QStringLiteral("damaged.pgx"));
        ASSERT_TRUE(WriteAll(input, c.Bytes));
        for (const char* extension : { "pdf", "xls", "pgx" }) {
            const QString out = Path(QStringLiteral("out.") + extension);
            ASSERT_TRUE(WriteAll(out, kept));
            const TRun run
                = Export({ "--export", out.toUtf8().constData(), "--from", input.toUtf8().constData() });
            if (QByteArrayView(c.Name) == "damaged page" && run.ExitCode == ecWritten) {
                // Bytes inside a text may be any bytes; what was read must then still be whole.
                continue;
            }
            EXPECT_EQ(run.ExitCode, ecOutput) << c.Name << " to " << extension;
            const QString text = run.Messages.join(u'\n');
            EXPECT_TRUE(text.contains(input)) << c.Name << ": " << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("File is corrupted!")))
                << c.Name << ": " << text.toStdString();
            EXPECT_EQ(ReadAll(out), kept) << c.Name << " to " << extension;
        }
    }

    const TRun missing = Export({ "--export", Path("out.pdf").toUtf8().constData(), "--from",
        Path("nowhere.pgx").toUtf8().constData() });
    EXPECT_EQ(missing.ExitCode, ecOutput);
    EXPECT_TRUE(missing.Messages.join(u'\n').contains(QStringLiteral("nowhere.pgx")));

    // A store without pages: nothing to write, as an export without data.
    {
        TRLGraphicStorage* empty = new TRLGraphicStorage(nullptr);
        empty->SaveToFile(Path("empty.pgx"));
        delete empty;
    }
    ASSERT_EQ(ReadAll(Path("empty.pgx")).size(), 26);
    const TRun noPages = Export({ "--export", Path("none.pdf").toUtf8().constData(), "--from",
        Path("empty.pgx").toUtf8().constData() });
    EXPECT_EQ(noPages.ExitCode, ecNoData);
    EXPECT_FALSE(QFileInfo::exists(Path("none.pdf")));
}

TEST_F(SavedReportTest, OpeningASavedReportShowsItsPagesWithTheWritersOffered)
{
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QStringLiteral("/nonexistent/loja.db"));
    QStringList errors;
    bool shown = false;
    int pages = 0;
    QString pageCount;
    bool pdfOffered = false, xlsOffered = false;
    const int code = RunPreview(Saved(), errors, shown, [&](TRLPreviewForm* form) {
        pages = form->Current()->PageCount();
        pageCount = form->PanelPageCount->text();
        pdfOffered = SaveFilterForFile(QStringLiteral("x.pdf")) != nullptr;
        xlsOffered = SaveFilterForFile(QStringLiteral("x.xls")) != nullptr;
        // A save sent to the background, and the window closed at once: the writer must finish.
        if (TRLCustomSaveFilter* pdf = SaveFilterForFile(QStringLiteral("x.pdf"))) {
            pdf->SetFileName(Path("background.pdf"));
            pdf->ProcessPages(form->Current()->Storage(), 1, -1, true);
        }
    });
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    EXPECT_EQ(code, ecWritten);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    EXPECT_GE(pages, 3);
    EXPECT_EQ(pageCount, QString::number(pages));
    EXPECT_TRUE(pdfOffered);
    EXPECT_TRUE(xlsOffered);
    EXPECT_EQ(OpenPreview(), nullptr) << "the window is gone when the run returns";
    EXPECT_EQ(WithoutCreationDate(ReadAll(Path("background.pdf"))),
        WithoutCreationDate(ReadAll(Path("original.pdf"))))
        << "the background save was finished before its writer went";
}

TEST_F(SavedReportTest, OpeningADamagedSavedReportShowsTheReadersMessageAndNoWindow)
{
    const QString input = Path("damaged.pgx");
    ASSERT_TRUE(WriteAll(input, ReadAll(Saved()).left(500)));
    QStringList errors;
    bool shown = true;
    EXPECT_EQ(RunPreview(input, errors, shown), ecOutput);
    EXPECT_FALSE(shown);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(input));
    EXPECT_TRUE(errors[0].contains(QStringLiteral("File is corrupted!"))) << errors[0].toStdString();

    errors.clear();
    EXPECT_EQ(RunPreview(Path("nowhere.pgx"), errors, shown), ecOutput);
    EXPECT_FALSE(shown);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("nowhere.pgx")));
}

TEST_F(SavedReportTest, ScreenshotsOfATypedZoomAndAFindHitAtThePageFoot)
{
    QImage zoomShot, findShot;
    QString zoomText;
    double zoom = 0;
    bool hitShown = false;
    QStringList errors;
    bool shown = false;
    RunPreview(Saved(), errors, shown, [&](TRLPreviewForm* form) {
        form->showNormal();
        form->resize(1000, 700);
        QTest::qWait(50);
        QLineEdit* edit = form->ComboBoxZoom->lineEdit();
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        // One key at a time, with the event loop between, as a person types.
        for (char c : QByteArray("150%")) {
            QTest::keyClick(edit, c);
            QTest::qWait(20);
        }
        zoomText = form->ComboBoxZoom->currentText();
        zoom = form->Current()->ZoomPercent();
        zoomShot = form->grab().toImage();

        // The page subtotal is the last line of the first page.
        ASSERT_TRUE(form->FindText(QStringLiteral("SUB - TOTAL"), 0));
        QTest::qWait(50);
        TRLPreview* preview = form->Current();
        TRLPreviewBox* box = preview->PageBoxes(preview->FoundPage() - preview->FirstVisible());
        TRLGraphicSurface* page = box->Page();
        ASSERT_NE(page, nullptr);
        const TRect bounds = page->Objects(preview->FoundObject())->BoundsRect;
        EXPECT_GT(bounds.Top, page->Height() * 3 / 4) << "the hit lies in the page's foot";
        const QRect hit = box->ReportToBox(bounds).translated(box->pos());
        hitShown = preview->viewport()->rect().contains(hit.topLeft())
            && preview->viewport()->rect().contains(QPoint(hit.left(), hit.bottom()));
        findShot = form->grab().toImage();
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(zoomText, QStringLiteral("150%"));
    EXPECT_EQ(zoom, 150);
    EXPECT_TRUE(hitShown);
    ASSERT_FALSE(zoomShot.isNull());
    ASSERT_FALSE(findShot.isNull());
    const QString zoomPath = ArtefactPath(QStringLiteral("preview-zoom-typed.png"));
    const QString findPath = ArtefactPath(QStringLiteral("preview-find-page-foot.png"));
    ASSERT_TRUE(zoomShot.save(zoomPath));
    ASSERT_TRUE(findShot.save(findPath));
    std::printf("screenshots: %s, %s\n", qPrintable(zoomPath), qPrintable(findPath));
}

// The program itself, as the desktop and a shell start it.
TEST_F(SavedReportTest, TheProgramWritesSavedReportsInEveryFormatAndOpensThemInItsWindow)
{
    if (!QFileInfo(Program()).isExecutable())
        GTEST_SKIP() << "program not built beside the tests";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // a headless export picks its own
    // No alias file and no default database: the program must not need one.
    environment.insert(QStringLiteral("QB_ALIASES"), Path("no-aliases.ini"));
    environment.insert(QStringLiteral("HOME"), Path("home"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), Path("home/data"));
    auto run = [&](const QStringList& arguments, QByteArray* errors = nullptr) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(Program(), arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        if (errors)
            *errors = process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    };
    QByteArray errors;
    for (const char* extension : { "pdf", "xls", "pgx" }) {
        const QString out = Path(QStringLiteral("program.") + extension);
        ASSERT_EQ(run({ "--export", out, "--from", Saved() }, &errors), ecWritten) << errors.constData();
        QByteArray original = ReadAll(Path(QStringLiteral("original.") + extension));
        QByteArray written = ReadAll(out);
        if (QByteArrayView(extension) == "pdf") {
            original = WithoutCreationDate(original);
            written = WithoutCreationDate(written);
        }
        EXPECT_TRUE(written == original) << extension;
    }
    const QString damaged = Path("damaged.pgx");
    ASSERT_TRUE(WriteAll(damaged, ReadAll(Saved()).left(300)));
    EXPECT_EQ(run({ "--export", Path("x.pdf"), "--from", damaged }, &errors), ecOutput);
    EXPECT_TRUE(errors.contains("File is corrupted!")) << errors.constData();
    EXPECT_FALSE(QFileInfo::exists(Path("x.pdf")));
    EXPECT_EQ(run({ "--export", Path("x.pdf"), "--from", Saved(), "--date", "1" }), ecUsage);

    // The window: under the offscreen platform it comes up and stays until closed, without crashing
    // or ending early (what it shows is checked in-process above).
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess window;
    window.setProcessEnvironment(environment);
    window.start(Program(), { Saved() });
    ASSERT_TRUE(window.waitForStarted(10000));
    EXPECT_FALSE(window.waitForFinished(3000)) << window.readAllStandardError().constData();
    window.kill();
    window.waitForFinished(10000);
}
