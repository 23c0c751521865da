// The printer wrapper over a stand-in printer list whose printers write PDF files: list and
// selection, paper in the platform's codes and units, metrics with and without a printer, jobs,
// copies, the set-up dialog hook and the report's metrics provider.
#include "filters/RLPrinterWrapper.h"

#include "engine/RLConsts.h"
#include "engine/RLSite.h"
#include "filters/RLPrinters.h"
#include "pagestore/RLCanvas.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Printers that print into PDF files, one new file per printer object (so one per job, since every
// job ends by selecting its printer again).
class TPdfPrinters : public TRLPrinterBackend
{
public:
    explicit TPdfPrinters(QString Folder)
        : FFolder(std::move(Folder))
    { }
    QStringList Names;
    QString Default;
    QStringList Unopenable;
    QMarginsF MarginsMm { 6.35, 6.35, 6.35, 6.35 };
    QStringList Files;
    QStringList CreatedFor;

    QStringList PrinterNames() override { return Names; }
    QString DefaultPrinterName() override { return Default; }
    std::unique_ptr<QPrinter> CreatePrinter(const QString& Name) override
    {
        CreatedFor << Name;
        if (Unopenable.contains(Name))
            return nullptr;
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setResolution(300);
        printer->setPageSize(QPageSize(QPageSize::Letter));
        printer->setPageOrientation(QPageLayout::Portrait);
        printer->setPageMargins(MarginsMm, QPageLayout::Millimeter);
        Files << FFolder + QStringLiteral("/job%1.pdf").arg(Files.size() + 1);
        printer->setOutputFileName(Files.last());
        return printer;
    }

private:
    QString FFolder;
};

QString PdfInfo(const QString& File)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), { File });
    if (!process.waitForFinished(30000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

class PrinterWrapperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        auto backend = std::make_unique<TPdfPrinters>(Folder.path());
        Printers = backend.get();
        Printers->Names = { QStringLiteral("Balcao|usb://balcao"), QStringLiteral("Escritorio") };
        PrinterWrapper().SetBackend(std::move(backend));
    }
    void TearDown() override
    {
        PrinterWrapper().SetPrinterPropertiesProc({});
        PrinterWrapper().SetBackend(nullptr);
    }
    QTemporaryDir Folder;
    TPdfPrinters* Printers = nullptr;
};

TEST_F(PrinterWrapperTest, SplitsEntriesIntoNameAndPort)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    ASSERT_EQ(w.PrinterList().size(), 2);
    EXPECT_EQ(w.PrinterName(0), QStringLiteral("Balcao"));
    EXPECT_EQ(w.PrinterPort(0), QStringLiteral("usb://balcao"));
    EXPECT_EQ(w.PrinterName(1), QStringLiteral("Escritorio"));
    EXPECT_EQ(w.PrinterPort(1), QString());
    EXPECT_EQ(w.PrinterName(2), QString());
    EXPECT_EQ(w.PrinterPort(-1), QString());
}

TEST_F(PrinterWrapperTest, SelectsTheFirstPrinterWhenAskedAndIgnoresIndicesOutsideTheList)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    EXPECT_TRUE(w.HasPrinter());
    EXPECT_EQ(w.PrinterIndex(), 0);
    EXPECT_EQ(w.CurrentPrinterName(), QStringLiteral("Balcao"));
    EXPECT_EQ(Printers->CreatedFor, QStringList({ "Balcao" })); // opened by its name, without the port
    w.SelectPrinter(1);
    EXPECT_EQ(w.CurrentPrinterName(), QStringLiteral("Escritorio"));
    for (int index : { -1, 2, 99 }) {
        w.SelectPrinter(index);
        EXPECT_EQ(w.PrinterIndex(), 1) << index;
    }
}

TEST_F(PrinterWrapperTest, KeepsItsListUntilRefreshed)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    w.SelectPrinter(1);
    Printers->Names = { QStringLiteral("Novo") };
    EXPECT_EQ(w.PrinterList().size(), 2);
    Printers->Default = QStringLiteral("Novo");
    w.RefreshPrinters();
    ASSERT_EQ(w.PrinterList(), QStringList({ "Novo" }));
    // The old index 1 is beyond the new list: the last printer is taken.
    EXPECT_EQ(w.PrinterIndex(), 0);
}

TEST_F(PrinterWrapperTest, RefreshSelectsTheDefaultAndThenThePreviousIndex)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    Printers->Names = { "A", "B", "C" };
    Printers->Default = QStringLiteral("C");
    w.RefreshPrinters(); // nothing was selected: the default stays
    EXPECT_EQ(w.PrinterIndex(), 2);
    w.SelectPrinter(1);
    w.RefreshPrinters();
    EXPECT_EQ(w.PrinterIndex(), 1);
}

TEST_F(PrinterWrapperTest, SetPaperWritesThePlatformCodesAndSetsUpThePrinter)
{
    struct TCase
    {
        double Width;
        double Height;
        bool Landscape;
        int PaperCode;
        int PaperWidth; // tenths of a millimetre, user-defined papers only
        int PaperLength;
        int Orientation;
        QSizeF PageMm; // the QPrinter's page in portrait, millimetres
    };
    const TCase cases[] = {
        { 100, 150, false, 256, 1000, 1500, 1, QSizeF(100, 150) },
        { 210, 297, false, 9, 0, 0, 1, QSizeF(210, 297) },
        { 210.005, 297.004, true, 9, 0, 0, 2, QSizeF(210, 297) },
        { 215.9, 279.4, true, 1, 0, 0, 2, QSizeF(215.9, 279.4) },
        { 841, 1189, false, 256, 8410, 11890, 1, QSizeF(841, 1189) }, // A0 has no printer code
        { 100.04, 150.06, true, 256, 1000, 1501, 2, QSizeF(100.0, 150.1) },
    };
    TRLPrinterWrapper& w = PrinterWrapper();
    for (const TCase& c : cases) {
        w.SelectPrinter(0); // back to the printer's own settings
        w.SetPaper(c.Width, c.Height, c.Landscape, false);
        const TRLDeviceSettings* settings = w.DeviceSettings();
        ASSERT_NE(settings, nullptr);
        const QString label = QStringLiteral("%1 x %2").arg(c.Width).arg(c.Height);
        EXPECT_EQ(settings->PaperSize, c.PaperCode) << qPrintable(label);
        EXPECT_TRUE(settings->Fields & dfPaperSize) << qPrintable(label);
        if (c.PaperCode == CustomPaperCode) {
            EXPECT_EQ(settings->PaperWidth, c.PaperWidth) << qPrintable(label);
            EXPECT_EQ(settings->PaperLength, c.PaperLength) << qPrintable(label);
            EXPECT_EQ(
                settings->Fields & (dfPaperWidth | dfPaperLength), uint32_t(dfPaperWidth | dfPaperLength));
        }
        EXPECT_EQ(settings->Orientation, c.Orientation) << qPrintable(label);
        const QPageLayout layout = w.Printer()->pageLayout();
        const QSizeF page = layout.pageSize().size(QPageSize::Millimeter);
        EXPECT_NEAR(page.width(), c.PageMm.width(), 0.05) << qPrintable(label);
        EXPECT_NEAR(page.height(), c.PageMm.height(), 0.05) << qPrintable(label);
        EXPECT_EQ(layout.orientation(), c.Landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        EXPECT_EQ(w.LastPaperWidth(), c.Width);
        EXPECT_EQ(w.LastPaperHeight(), c.Height);
    }
}

TEST_F(PrinterWrapperTest, SetPaperOnAPrinterThatCannotBeOpenedIsASilentAbort)
{
    Printers->Unopenable = { QStringLiteral("Balcao") };
    EXPECT_THROW(PrinterWrapper().SetPaper(210, 297, false, false), EAbort);
    // It was tried twice: selected, then selected again.
    EXPECT_EQ(Printers->CreatedFor, QStringList({ "Balcao", "Balcao" }));
}

TEST_F(PrinterWrapperTest, ReadsMetricsInTheCurrentOrientation)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    TRLPrinterMetricsRecord m;
    w.ReadPrinterMetrics(m);
    // Letter at 300 dpi with a quarter inch all round: the same as the fallback, but measured.
    EXPECT_EQ(m, LetterFallbackMetrics());

    Printers->MarginsMm = QMarginsF(10, 5, 2, 0);
    w.SelectPrinter(1);
    w.SetPaper(215.9, 279.4, true, false);
    w.ReadPrinterMetrics(m);
    EXPECT_EQ(m.PPIX, 300);
    EXPECT_EQ(m.PPIY, 300);
    EXPECT_EQ(m.PhysicalWidth, 3300);
    EXPECT_EQ(m.PhysicalHeight, 2550);
    // Page layouts keep margins in whole points: 10 mm is 28 pt, 117 dots; 5 mm is 14 pt, 58 dots.
    EXPECT_EQ(m.MarginLeft, 117);
    EXPECT_EQ(m.MarginTop, 58);
    EXPECT_EQ(m.MarginLeft + m.ClientWidth + m.MarginRight, m.PhysicalWidth);
    EXPECT_EQ(m.MarginTop + m.ClientHeight + m.MarginBottom, m.PhysicalHeight);
    EXPECT_NEAR(m.MarginRight, 24, 1); // 2 mm
    EXPECT_NEAR(m.MarginBottom, 0, 1);
}

TEST_F(PrinterWrapperTest, FallsBackToLetterWhenThePrinterCannotBeOpened)
{
    Printers->Unopenable = { QStringLiteral("Balcao") };
    TRLPrinterMetricsRecord m;
    PrinterWrapper().ReadPrinterMetrics(m);
    EXPECT_EQ(m, LetterFallbackMetrics());
}

TEST_F(PrinterWrapperTest, PrintsAJobAndComesBackToTheDefaultSettings)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    w.SetPaper(100, 150, true, false);
    w.SetPrinterCopies(3);
    EXPECT_EQ(w.PrinterCopies(), 3);
    w.BeginDoc();
    ASSERT_TRUE(w.Printing());
    EXPECT_EQ(w.PrinterCanvas().PixelsPerInch(), 300);
    w.PrinterCanvas().Brush().SetColor(clBlack);
    w.PrinterCanvas().FillRect(TRect(0, 0, 100, 100));
    w.NewPage();
    w.PrinterCanvas().FillRect(TRect(0, 0, 100, 100));
    const QString file = Printers->Files.last();
    w.EndDoc();
    EXPECT_FALSE(w.Printing());
    EXPECT_THROW(w.PrinterCanvas(), Exception);

    // Reselected: the paper, orientation and copies of the job are gone.
    ASSERT_NE(w.DeviceSettings(), nullptr);
    EXPECT_EQ(w.DeviceSettings()->PaperSize, 1);
    EXPECT_EQ(w.DeviceSettings()->Orientation, 1);
    EXPECT_EQ(w.PrinterCopies(), 1);
    EXPECT_EQ(w.PrinterIndex(), 0);

    ASSERT_TRUE(QFile::exists(file));
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        GTEST_SKIP() << "pdfinfo is not installed";
    const QString info = PdfInfo(file);
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\b")))) << qPrintable(info);
    // 150 x 100 mm lying down: 425.2 x 283.5 points.
    EXPECT_TRUE(
        info.contains(QRegularExpression(QStringLiteral("Page size:\\s+425(\\.\\d+)? x 283(\\.\\d+)?"))))
        << qPrintable(info);
}

TEST_F(PrinterWrapperTest, IgnoresCopyCountsBelowOne)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    w.SetPrinterCopies(2);
    for (int count : { 0, -3 }) {
        w.SetPrinterCopies(count);
        EXPECT_EQ(w.PrinterCopies(), 2) << count;
    }
}

TEST_F(PrinterWrapperTest, PropertiesDialogHookGetsTheSelectedPrinterAfterARefresh)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    w.ShowPrinterProperties(); // no dialog installed: nothing happens
    QPrinter* shown = nullptr;
    w.SetPrinterPropertiesProc([&](QPrinter& Printer) { shown = &Printer; });
    Printers->Names = { QStringLiteral("Outra"), QStringLiteral("Balcao|usb://balcao") };
    w.ShowPrinterProperties();
    ASSERT_EQ(w.PrinterList().size(), 2);
    EXPECT_EQ(w.PrinterList().first(), QStringLiteral("Outra")); // read anew
    EXPECT_EQ(shown, w.Printer());
}

TEST(PrinterWrapperWithoutPrinters, FallsBackSilentlyAndRefusesJobs)
{
    TRLPrinterWrapper& w = PrinterWrapper();
    class TNone : public TRLPrinterBackend
    {
    public:
        QStringList PrinterNames() override { return {}; }
        QString DefaultPrinterName() override { return {}; }
        std::unique_ptr<QPrinter> CreatePrinter(const QString&) override { return nullptr; }
    };
    w.SetBackend(std::make_unique<TNone>());
    EXPECT_FALSE(w.HasPrinter());
    EXPECT_EQ(w.PrinterIndex(), -1);
    EXPECT_EQ(w.CurrentPrinterName(), QString());
    EXPECT_EQ(w.DeviceSettings(), nullptr);
    EXPECT_EQ(w.PrinterCopies(), 1);

    TRLPrinterMetricsRecord m;
    w.ReadPrinterMetrics(m);
    EXPECT_EQ(m, (TRLPrinterMetricsRecord { 300, 300, 2550, 3300, 75, 75, 75, 75, 2400, 3150 }));

    EXPECT_NO_THROW(w.SetPaper(210, 297, false, false));
    EXPECT_EQ(w.LastPaperWidth(), 210);
    try {
        w.BeginDoc();
        FAIL() << "a job began without a printer";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), RLMessage(RLMsgPrinterNotFound));
    }
    EXPECT_NO_THROW(w.EndDoc());

    // The report's view of it: the same Letter sheet, never "no printer".
    TRLPrinterMetrics report;
    report.MarginLeft = -1;
    EXPECT_TRUE(ReadReportPrinterMetrics(report));
    EXPECT_EQ(report.DpiX, 300);
    EXPECT_EQ(report.PhysicalHeight, 3300);
    EXPECT_EQ(report.MarginLeft, 75);
    EXPECT_EQ(report.MarginBottom, 75);
    w.SetBackend(nullptr);
}

TEST_F(PrinterWrapperTest, ReportMetricsComeFromTheSelectedPrinter)
{
    Printers->MarginsMm = QMarginsF(10, 5, 2, 1);
    PrinterWrapper().SelectPrinter(1);
    TRLPrinterMetrics report;
    ASSERT_TRUE(ReadReportPrinterMetrics(report));
    EXPECT_EQ(report.DpiY, 300);
    EXPECT_EQ(report.PhysicalWidth, 2550);
    EXPECT_EQ(report.MarginLeft, 117); // 28 pt
    EXPECT_EQ(report.MarginTop, 58); // 14 pt
}

} // namespace
