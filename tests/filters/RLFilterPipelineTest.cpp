// The pipelined export against the sequential one (Prepare, then ProcessPages) on reports built in
// code: the same bytes in PDF and spreadsheet, the wait for placeholders that only the end can fill,
// the fall-back when what was streamed goes out of date, and the failures of either side.
#include "filters/RLFilterPipeline.h"

#include "engine/RLGenerationFixture.h"
#include "engine/RLServices.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLXLSFilter.h"
#include "pagestore/RLMetaFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

QByteArray FileBytes(const QString& FileName)
{
    QFile file(FileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A report of many short pages: a header, a column footer, a summary and one detail per record.
struct TPipelineFixture : ::testing::Test
{
    TPipelineFixture()
    {
        Generation.Band(btHeader, 20, QStringLiteral("Cabeçalho"));
        Generation.Band(btColumnFooter, 20, QStringLiteral("Subtotal"));
        Generation.Band(btSummary, 40, QStringLiteral("Resumo"));
        Generation.Band(btDetail, 20, QStringLiteral("Linha "));
        Generation.Records(300);
        Pdf = new TRLPDFFilter(&Generation.Form);
        Pdf->SetShowProgress(false);
        Pdf->SetCreationDate(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58)));
        Xls = new TRLXLSFilter(&Generation.Form);
        Xls->SetShowProgress(false);
    }

    QString Path(const QString& Name) const { return Folder.filePath(Name); }

    // The file the sequential export writes.
    QByteArray Sequential(TRLCustomSaveFilter* Filter, const QString& Name)
    {
        Filter->SetFileName(Path(Name));
        EXPECT_TRUE(Generation.Report->Prepare());
        Filter->ProcessPages(Generation.Report->Storage(), 1, -1, false);
        EXPECT_FALSE(Filter->RunAborted());
        return FileBytes(Path(Name));
    }

    // The file the pipelined export writes, with what the run says of itself.
    QByteArray Pipelined(
        TRLCustomSaveFilter* Filter, const QString& Name, TRLPipelinedExport** Keep = nullptr)
    {
        Filter->SetFileName(Path(Name));
        Run = std::make_unique<TRLPipelinedExport>(Generation.Report, Filter);
        EXPECT_TRUE(Run->Run());
        EXPECT_FALSE(Filter->RunAborted());
        if (Keep)
            *Keep = Run.get();
        return FileBytes(Path(Name));
    }

    void ExpectSameBytes(const QByteArray& Sequential, const QByteArray& Pipelined)
    {
        ASSERT_FALSE(Sequential.isEmpty());
        EXPECT_EQ(Sequential.size(), Pipelined.size());
        EXPECT_TRUE(Sequential == Pipelined) << "the pipelined file differs from the sequential one";
    }

    QTemporaryDir Folder;
    TGenerationFixture Generation;
    TRLPDFFilter* Pdf = nullptr;
    TRLXLSFilter* Xls = nullptr;
    std::unique_ptr<TRLPipelinedExport> Run;
};

TEST_F(TPipelineFixture, WritesTheSequentialBytesInPdfAndSpreadsheet)
{
    ASSERT_TRUE(Folder.isValid());
    for (TRLCustomSaveFilter* filter :
        { static_cast<TRLCustomSaveFilter*>(Pdf), static_cast<TRLCustomSaveFilter*>(Xls) }) {
        SCOPED_TRACE(filter->DefaultExt().toStdString());
        const QByteArray sequential = Sequential(filter, QStringLiteral("a") + filter->DefaultExt());
        const int pages = Generation.PageCount();
        EXPECT_GT(pages, 2 * TRLPipelinedExport::QueueCapacity); // the queue fills and drains
        const QByteArray pipelined = Pipelined(filter, QStringLiteral("b") + filter->DefaultExt());
        ExpectSameBytes(sequential, pipelined);
        EXPECT_TRUE(Run->Pipelined()) << Run->FallbackReason().toStdString();
        EXPECT_FALSE(Run->WaitedForEnd());
        EXPECT_EQ(Generation.PageCount(), pages);
        EXPECT_EQ(filter->LastPage(), pages);
    }
}

TEST_F(TPipelineFixture, PlaceholdersWaitForTheEndWhereverTheyStand)
{
    ASSERT_TRUE(Folder.isValid());
    // On the summary (the last page only) the writer streams every page before it; in the header
    // it waits from the first page on. Either way the number is the real last page number.
    for (TRLBandType type : { btSummary, btHeader }) {
        SCOPED_TRACE(int(type));
        TGenerationFixture& g = Generation;
        TRLBand* band = g.Band(type, 20, QStringLiteral("de {LastPageNumber}"));
        for (TRLCustomSaveFilter* filter :
            { static_cast<TRLCustomSaveFilter*>(Pdf), static_cast<TRLCustomSaveFilter*>(Xls) }) {
            const QByteArray sequential = Sequential(filter, QStringLiteral("a") + filter->DefaultExt());
            const QByteArray total = QByteArray::number(g.PageCount());
            const QByteArray pipelined = Pipelined(filter, QStringLiteral("b") + filter->DefaultExt());
            ExpectSameBytes(sequential, pipelined);
            EXPECT_TRUE(Run->Pipelined()) << Run->FallbackReason().toStdString();
            EXPECT_TRUE(Run->WaitedForEnd());
            EXPECT_FALSE(pipelined.contains("{LastPageNumber}"));
            if (filter == Pdf) {
                EXPECT_TRUE(pipelined.contains("(de " + total + ") Tj"));
            }
        }
        delete band;
    }
}

TEST_F(TPipelineFixture, APageStoredAgainMakesTheSequentialWriteTheOneThatCounts)
{
    ASSERT_TRUE(Folder.isValid());
    // Something changes the first page after it was handed over; the store writes it again when it
    // leaves the cache. The streamed copy is out of date, so the file is written from the store.
    Generation.Report->OnPageStarting = [this](TRLCustomControl*) {
        TRLGraphicStorage* store = Generation.Report->Storage();
        if (store->PageCount() == 3) {
            TRLGraphicSurface* first = store->Pages(0);
            first->SetFont(TFont());
            first->WriteText(TRect(0, 0, 50, 10), 0, 0, QStringLiteral("revisada"), MetaTextAlignmentLeft,
                MetaTextLayoutTop, 0);
        }
    };
    const QByteArray sequential = Sequential(Pdf, QStringLiteral("a.pdf"));
    ASSERT_TRUE(sequential.contains("(revisada) Tj"));
    const QByteArray pipelined = Pipelined(Pdf, QStringLiteral("b.pdf"));
    ExpectSameBytes(sequential, pipelined);
    EXPECT_FALSE(Run->Pipelined());
    EXPECT_TRUE(Run->FallbackReason().contains(QStringLiteral("page 1")))
        << Run->FallbackReason().toStdString();
}

TEST_F(TPipelineFixture, ReportValuesChangedDuringThePreparationMakeTheSequentialWriteCount)
{
    ASSERT_TRUE(Folder.isValid());
    // The document's page size comes from the report values; a page setup changed by an event
    // after the writer began would give it the wrong one.
    int pageEnds = 0;
    Generation.Report->OnPageEnding = [&](TRLCustomControl*) {
        if (++pageEnds == 2)
            Generation.Report->SetTitle(QStringLiteral("Outro título"));
    };
    const QByteArray sequential = Sequential(Pdf, QStringLiteral("a.pdf"));
    Generation.Report->SetTitle(QString());
    pageEnds = 0;
    const QByteArray pipelined = Pipelined(Pdf, QStringLiteral("b.pdf"));
    ExpectSameBytes(sequential, pipelined);
    EXPECT_FALSE(Run->Pipelined());
    EXPECT_FALSE(Run->FallbackReason().isEmpty());
}

TEST_F(TPipelineFixture, AFailedPreparationWritesNothingAndKeepsTheOldFile)
{
    TRLServicesScope services(TRLServices {});
    ASSERT_TRUE(Folder.isValid());
    const QString output = Path(QStringLiteral("keep.pdf"));
    {
        QFile old(output);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content");
    }
    // Past the queue's capacity, so the writer has pages in hand when the preparation fails.
    int pageEnds = 0;
    Generation.Report->OnPageEnding = [&](TRLCustomControl*) {
        if (++pageEnds == TRLPipelinedExport::QueueCapacity + 3)
            throw Exception(QStringLiteral("falha no meio"));
    };
    QString shown;
    services.Installed().PreparationError = [&](const QString& text) { shown = text; };
    Pdf->SetFileName(output);
    TRLPipelinedExport run(Generation.Report, Pdf);
    EXPECT_FALSE(run.Run());
    services.Installed().PreparationError = {};
    EXPECT_TRUE(shown.contains(QStringLiteral("falha no meio"))) << shown.toStdString();
    EXPECT_TRUE(Pdf->RunAborted());
    EXPECT_EQ(FileBytes(output), QByteArray("old content"));
    // Nothing of the writer's is left beside the file either.
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("keep.pdf") });
}

TEST_F(TPipelineFixture, AWriterFailureIsThrownOnceThePreparationHasEnded)
{
    ASSERT_TRUE(Folder.isValid());
    Pdf->SetFileName(Path(QStringLiteral("no/such/folder/x.pdf")));
    TRLPipelinedExport run(Generation.Report, Pdf);
    EXPECT_THROW(run.Run(), Exception);
    // The preparation ran to its end all the same, as it does before a sequential write fails.
    EXPECT_EQ(Generation.Report->State(), rsReady);
    EXPECT_GT(Generation.PageCount(), TRLPipelinedExport::QueueCapacity);
    EXPECT_TRUE(Pdf->RunAborted());
    EXPECT_EQ(Pdf->Pages(), nullptr);
}

TEST_F(TPipelineFixture, ARefusedRunAndAnEmptyReportGiveWhatTheSequentialExportGives)
{
    ASSERT_TRUE(Folder.isValid());
    // Refused by BeforePrint: no pages, no file.
    Generation.Report->BeforePrint = [](TRLCustomControl*, bool& PrintIt) { PrintIt = false; };
    Pdf->SetFileName(Path(QStringLiteral("refused.pdf")));
    {
        TRLPipelinedExport run(Generation.Report, Pdf);
        EXPECT_FALSE(run.Run());
    }
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("refused.pdf"))));
    Generation.Report->BeforePrint = nullptr;

    // No records: the report still prints its one empty page.
    Generation.Data->SetActive(false);
    Generation.Data->ClearRecords();
    Generation.Data->SetActive(true);
    const QByteArray sequential = Sequential(Pdf, QStringLiteral("a.pdf"));
    EXPECT_EQ(Generation.PageCount(), 1);
    const QByteArray pipelined = Pipelined(Pdf, QStringLiteral("b.pdf"));
    ExpectSameBytes(sequential, pipelined);
}

} // namespace
