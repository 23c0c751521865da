// Background runs beside the preview: the inventory report of a demo shop, over a thousand pages, is
// saved and printed on filter threads while the preview pages through the same page store on the
// main thread, and each output must equal the one the same run gives in the foreground.
//
// Built normally this checks the outputs. Built with the thread checker (scripts/sanitize.sh --thread, or
// any build configured with -fsanitize=thread) the same run also proves that the two threads never
// touch the same memory unguarded: the checker reports any such access and fails the program.
#include "app/untRelatorioInventario.h"

#include "engine/RLProgress.h"
#include "engine/RLReport.h"
#include "engine/RLServices.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLPrinterWrapper.h"
#include "filters/RLSpoolFilter.h"
#include "filters/RLXLSFilter.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"
#include "platform/DemoDatabase.h"
#include "preview/RLPreview.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

const QString Alias = QStringLiteral("VENDRIX");
// About 90 report lines fit on a page, and nine in ten demo products are on the report.
constexpr int DemoProducts = 103000;
constexpr int MinimumPages = 1000;

QByteArray FileBytes(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text of a PDF by poppler's reader, page by page, or empty without it.
QByteArray PdfText(const QString& fileName)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), fileName, QStringLiteral("-") });
    if (!process.waitForStarted(10000) || !process.waitForFinished(300000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// A progress display on the main thread that counts the steps a run hands it.
class TCountingProgress : public TRLProgress
{
public:
    explicit TCountingProgress(std::atomic<int>& Steps)
        : FSteps(Steps)
    { }
    void SetMax(int) override { }
    void StepIt() override { ++FSteps; }
    void NextBar() override { }
    void SetStepName(const QString&) override { }
    void ShowProgress() override { }

private:
    std::atomic<int>& FSteps;
};

// Printers that write each job to a PDF file of their own.
class TPdfPrinters : public TRLPrinterBackend
{
public:
    explicit TPdfPrinters(QString Folder)
        : FFolder(std::move(Folder))
    { }
    QStringList Files;
    QStringList PrinterNames() override { return { QStringLiteral("Balcao") }; }
    QString DefaultPrinterName() override { return QStringLiteral("Balcao"); }
    std::unique_ptr<QPrinter> CreatePrinter(const QString&) override
    {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setResolution(96);
        printer->setPageSize(QPageSize(QPageSize::A4));
        Files << FFolder + QStringLiteral("/job%1.pdf").arg(Files.size() + 1);
        printer->setOutputFileName(Files.last());
        return printer;
    }

private:
    QString FFolder;
};

class BackgroundRunRace : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Folder = new QTemporaryDir;
        ASSERT_TRUE(Folder->isValid());
        const QString database = Folder->filePath(QStringLiteral("loja.db"));
        CreateDemoDatabase(database, DemoProducts);
        SetAliasDatabaseFile(Alias, database);
        Report = new TInventoryReport;
        Report->BeginRun(QStringLiteral("31/12/2024"));
        ASSERT_TRUE(Report->ReopenQueryHasRecords());
        ASSERT_TRUE(Report->RLReport1->Prepare());
        ASSERT_GE(Report->RLReport1->Storage()->PageCount(), MinimumPages);
    }
    static void TearDownTestSuite()
    {
        delete Report;
        Report = nullptr;
        CloseAliasConnection(Alias);
        delete Folder;
        Folder = nullptr;
    }

    void SetUp() override
    {
        Services.emplace([this](TRLServices& services) {
            services.Progress
                = [this](const QString&, int, TRLProgressCancelProc) -> std::unique_ptr<TRLProgress> {
                return std::make_unique<TCountingProgress>(Steps);
            };
        });
        Preview = std::make_unique<TRLPreview>();
        Preview->resize(900, 700);
        Preview->show();
        Preview->SetStorage(Store());
        QApplication::processEvents();
    }
    void TearDown() override
    {
        Preview.reset();
        Services.reset();
    }
    std::optional<TRLServicesScope> Services;

    static TRLGraphicStorage* Store() { return Report->RLReport1->Storage(); }
    static QString Path(const QString& name) { return Folder->filePath(name); }

    // Runs Filter over every page in the background while the preview pages through the store,
    // painting what it shows, until the run lets go of the store. The run hands each page's
    // progress step to this thread and waits for it, so the loop serves events all the time and
    // paints a page in between, as the main thread of the program does. Returns the pages painted
    // meanwhile.
    int RunInBackgroundWhilePaging(TRLCustomFilter* Filter, int FirstPage = 1, int LastPage = -1)
    {
        Steps = 0;
        int painted = 0;
        int page = 0;
        Filter->ProcessPages(Store(), FirstPage, LastPage, true);
        QElapsedTimer clock;
        clock.start();
        QElapsedTimer sincePaint;
        sincePaint.start();
        while (Store()->IsLinked(Filter) && clock.elapsed() < 600000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            // Not at every step: the run would wait for every paint and crawl.
            if (sincePaint.elapsed() < 40)
                continue;
            // Forward through the report and back again, as a user scrolling would, now and then
            // in the three-page view or with a search, which read the store's pages too.
            page = (page + 37) % Store()->PageCount();
            Preview->GoToPageIndex(page);
            if (page % 5 == 0)
                Preview->ZoomMultiplePages();
            else if (page % 5 == 1)
                Preview->ZoomFullPage();
            for (int box = 0; box < Preview->ShownBoxes(); ++box)
                Preview->PageBoxes(box)->grab();
            if (page % 7 == 0)
                Preview->FindText(QStringLiteral("Página"), false, true);
            ++painted;
            sincePaint.start();
        }
        EXPECT_FALSE(Store()->IsLinked(Filter)) << "the background run did not end";
        return painted;
    }

    static QTemporaryDir* Folder;
    static TInventoryReport* Report;
    std::atomic<int> Steps { 0 };
    std::unique_ptr<TRLPreview> Preview;
};

QTemporaryDir* BackgroundRunRace::Folder = nullptr;
TInventoryReport* BackgroundRunRace::Report = nullptr;

TEST_F(BackgroundRunRace, PdfSavedInTheBackgroundWhileThePreviewPagesEqualsTheForegroundSave)
{
    TRLPDFFilter* pdf = Report->RLPDFFilter1;
    ASSERT_NE(pdf, nullptr);
    // The document's dates are the only thing two saves may differ in.
    pdf->SetCreationDate(QDateTime(QDate(2024, 12, 31), QTime(18, 30), QTimeZone::utc()));

    pdf->SetFileName(Path(QStringLiteral("frente.pdf")));
    pdf->ProcessPages(Store(), 1, -1, false);
    ASSERT_FALSE(pdf->RunAborted());
    const int foregroundSteps = Steps;

    pdf->SetFileName(Path(QStringLiteral("fundo.pdf")));
    const int painted = RunInBackgroundWhilePaging(pdf);
    EXPECT_GT(painted, 0);
    EXPECT_EQ(Steps, foregroundSteps);
    EXPECT_EQ(foregroundSteps, Store()->PageCount());

    const QByteArray foreground = FileBytes(Path(QStringLiteral("frente.pdf")));
    const QByteArray background = FileBytes(Path(QStringLiteral("fundo.pdf")));
    ASSERT_GT(foreground.size(), 100000);
    // Compared by digest: a difference in a megabyte of PDF would print for pages.
    EXPECT_EQ(QCryptographicHash::hash(background, QCryptographicHash::Sha256).toHex(),
        QCryptographicHash::hash(foreground, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(background.size(), foreground.size());
}

TEST_F(BackgroundRunRace, SpreadsheetSavedInTheBackgroundWhileThePreviewPagesEqualsTheForegroundSave)
{
    TRLXLSFilter* xls = Report->RLXLSFilter1;
    ASSERT_NE(xls, nullptr);
    xls->SetFileName(Path(QStringLiteral("frente.xls")));
    xls->ProcessPages(Store(), 1, -1, false);
    ASSERT_FALSE(xls->RunAborted());

    xls->SetFileName(Path(QStringLiteral("fundo.xls")));
    EXPECT_GT(RunInBackgroundWhilePaging(xls), 0);

    const QByteArray foreground = FileBytes(Path(QStringLiteral("frente.xls")));
    const QByteArray background = FileBytes(Path(QStringLiteral("fundo.xls")));
    ASSERT_GT(foreground.size(), 100000);
    EXPECT_EQ(QCryptographicHash::hash(background, QCryptographicHash::Sha256).toHex(),
        QCryptographicHash::hash(foreground, QCryptographicHash::Sha256).toHex());
}

TEST_F(BackgroundRunRace, PrintedInTheBackgroundWhileThePreviewPagesEqualsTheForegroundPrint)
{
    auto backend = std::make_unique<TPdfPrinters>(Folder->path());
    TPdfPrinters* printers = backend.get();
    PrinterWrapper().SetBackend(std::move(backend));
    struct TRestore
    {
        ~TRestore() { PrinterWrapper().SetBackend(nullptr); }
    } restore;

    // Each printer object writes its own file when painted on; the end of a job makes the next one.
    auto writtenJobs = [printers] {
        QStringList written;
        for (const QString& file : std::as_const(printers->Files))
            if (QFile::exists(file))
                written << file;
        return written;
    };
    // A printer page costs far more than a saved one: a stretch of the report is enough here.
    constexpr int First = 400;
    constexpr int Last = 550;
    TRLSpoolFilter spool;
    spool.ProcessPages(Store(), First, Last, false);
    ASSERT_FALSE(spool.RunAborted());
    const QStringList foregroundFiles = writtenJobs();
    ASSERT_EQ(foregroundFiles.size(), 1);
    EXPECT_GT(RunInBackgroundWhilePaging(&spool, First, Last), 0);
    QStringList backgroundFiles = writtenJobs();
    for (const QString& file : foregroundFiles)
        backgroundFiles.removeAll(file);
    ASSERT_EQ(backgroundFiles.size(), 1);
    const QByteArray foreground = PdfText(foregroundFiles.first());
    const QByteArray background = PdfText(backgroundFiles.first());
    if (foreground.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is needed to read the printed jobs";
    EXPECT_EQ(foreground.count('\f'), Last - First + 1);
    EXPECT_TRUE(foreground == background) << "the background print differs from the foreground print";
}

} // namespace
