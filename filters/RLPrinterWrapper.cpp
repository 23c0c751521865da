#include "filters/RLPrinterWrapper.h"

#include "engine/RLConsts.h"
#include "engine/RLSite.h"
#include "filters/RLPrinters.h"
#include "pagestore/RLCanvas.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <cmath>

namespace {

class TSystemPrinterBackend : public TRLPrinterBackend
{
public:
    QStringList PrinterNames() override { return QPrinterInfo::availablePrinterNames(); }
    QString DefaultPrinterName() override { return QPrinterInfo::defaultPrinterName(); }
    std::unique_ptr<QPrinter> CreatePrinter(const QString& Name) override
    {
        const QPrinterInfo info = QPrinterInfo::printerInfo(Name);
        if (info.isNull())
            return nullptr;
        auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
        if (!printer->isValid())
            return nullptr;
        return printer;
    }
};

int TenthsOfMillimetre(double Millimetres)
{
    return RoundToPixel(static_cast<long double>(Millimetres) * 10);
}

// The block a printer starts with: its own paper and orientation, as a driver reports them.
TRLDeviceSettings SettingsOf(const QPrinter& Printer)
{
    const QPageLayout layout = Printer.pageLayout();
    TRLDeviceSettings settings;
    settings.Fields = dfOrientation | dfPaperSize;
    settings.Orientation
        = layout.orientation() == QPageLayout::Landscape ? LandscapeOrientationCode : PortraitOrientationCode;
    settings.PaperSize = layout.pageSize().windowsId();
    if (settings.PaperSize == CustomPaperCode) {
        const QSizeF size = layout.pageSize().size(QPageSize::Millimeter);
        settings.PaperWidth = TenthsOfMillimetre(size.width());
        settings.PaperLength = TenthsOfMillimetre(size.height());
        settings.Fields |= dfPaperWidth | dfPaperLength;
    }
    return settings;
}

QPageSize CustomPageSize(double Width, double Height)
{
    return QPageSize(QSizeF(Width, Height), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

TRLPrinterWrapper* WrapperInstance = nullptr;

void FreePrinterWrapper()
{
    delete WrapperInstance;
    WrapperInstance = nullptr;
}

} // namespace

TRLPrinterMetricsRecord LetterFallbackMetrics()
{
    return TRLPrinterMetricsRecord { 300, 300, 2550, 3300, 75, 75, 75, 75, 2400, 3150 };
}

std::unique_ptr<TRLPrinterBackend> CreateSystemPrinterBackend()
{
    return std::make_unique<TSystemPrinterBackend>();
}

TRLPrinterWrapper::TRLPrinterWrapper()
    : FBackend(CreateSystemPrinterBackend())
{ }

TRLPrinterWrapper::~TRLPrinterWrapper()
{
    FCanvas.reset(); // ends a job left open before its printer goes
}

void TRLPrinterWrapper::SetBackend(std::unique_ptr<TRLPrinterBackend> Backend)
{
    FCanvas.reset();
    FPrinter.reset();
    FBackend = Backend ? std::move(Backend) : CreateSystemPrinterBackend();
    FPrinters.clear();
    FListBuilt = false;
    FPrinterIndex = -1;
}

// --- list and selection ------------------------------------------------------------------------

void TRLPrinterWrapper::BuildList()
{
    if (FListBuilt)
        return;
    FPrinters = FBackend->PrinterNames();
    FListBuilt = true;
}

const QStringList& TRLPrinterWrapper::PrinterList()
{
    BuildList();
    return FPrinters;
}

QString TRLPrinterWrapper::PrinterName(int Index)
{
    const QStringList& list = PrinterList();
    if (Index < 0 || Index >= list.size())
        return {};
    return list.at(Index).section(QLatin1Char('|'), 0, 0);
}

QString TRLPrinterWrapper::PrinterPort(int Index)
{
    const QStringList& list = PrinterList();
    if (Index < 0 || Index >= list.size())
        return {};
    const QString& entry = list.at(Index);
    const qsizetype bar = entry.indexOf(QLatin1Char('|'));
    return bar < 0 ? QString() : entry.mid(bar + 1);
}

bool TRLPrinterWrapper::HasPrinter()
{
    BuildList();
    if (FPrinterIndex == -1 && !FPrinters.isEmpty())
        SelectPrinter(0);
    return FPrinterIndex != -1;
}

int TRLPrinterWrapper::PrinterIndex()
{
    HasPrinter();
    return FPrinterIndex;
}

QString TRLPrinterWrapper::CurrentPrinterName()
{
    if (!HasPrinter() || FPrinterIndex >= FPrinters.size())
        return {};
    return PrinterName(FPrinterIndex);
}

void TRLPrinterWrapper::SelectPrinter(int Index)
{
    BuildList();
    if (Index < 0 || Index >= FPrinters.size())
        return;
    LoadPrinter(Index);
}

void TRLPrinterWrapper::LoadPrinter(int Index)
{
    // A job cannot outlive the printer object it paints on.
    FCanvas.reset();
    FPrinter.reset();
    FPrinterIndex = Index;
    FPrinter = FBackend->CreatePrinter(PrinterName(Index));
    FSettings = FPrinter ? SettingsOf(*FPrinter) : TRLDeviceSettings();
}

void TRLPrinterWrapper::RefreshPrinters()
{
    const int remembered = FPrinterIndex;
    FCanvas.reset();
    FPrinter.reset();
    FPrinters.clear();
    FListBuilt = false;
    FPrinterIndex = -1;
    try {
        BuildList();
        const QString defaultName = FBackend->DefaultPrinterName();
        for (int i = 0; i < FPrinters.size(); ++i)
            if (!defaultName.isEmpty() && PrinterName(i) == defaultName) {
                SelectPrinter(i);
                break;
            }
        SelectPrinter(qMin(remembered, int(FPrinters.size()) - 1));
    } catch (...) {
        // A printer that cannot be reselected leaves the selection as far as it got.
    }
}

// --- settings ------------------------------------------------------------------------------------

void TRLPrinterWrapper::ApplySettings(double Width, double Height)
{
    QPrinter& printer = *FPrinter;
    if (FSettings.Fields & dfPaperSize) {
        if (FSettings.PaperSize == CustomPaperCode) {
            if ((FSettings.Fields & dfPaperWidth) && (FSettings.Fields & dfPaperLength)
                && FSettings.PaperWidth > 0 && FSettings.PaperLength > 0)
                printer.setPageSize(
                    CustomPageSize(FSettings.PaperWidth / 10.0, FSettings.PaperLength / 10.0));
        } else if (FSettings.PaperSize > 0) {
            const QPageSize::PageSizeId id = QPageSize::id(FSettings.PaperSize);
            if (id != QPageSize::Custom)
                printer.setPageSize(QPageSize(id));
            else if (Width > 0 && Height > 0)
                printer.setPageSize(CustomPageSize(Width, Height)); // a code Qt does not know by number
        }
        // A negative code is the printer's own paper: left as it is.
    }
    if (FSettings.Fields & dfOrientation)
        printer.setPageOrientation(FSettings.Orientation == PortraitOrientationCode ? QPageLayout::Portrait
                                                                                    : QPageLayout::Landscape);
}

void TRLPrinterWrapper::SetPaper(double Width, double Height, bool Landscape, bool Reserved)
{
    Q_UNUSED(Reserved);
    const TRLPrinterPaper paper = PaperInfoFor(Width, Height, Landscape);
    if (HasPrinter()) {
        if (!FPrinter)
            LoadPrinter(FPrinterIndex); // reloads the printer's default settings
        if (!FPrinter)
            throw EAbort();
        const bool orientationMarked = (FSettings.Fields & dfOrientation) != 0;
        FSettings.PaperSize = paper.PaperCode;
        FSettings.Fields |= dfPaperSize;
        if (paper.PaperCode == CustomPaperCode) {
            if (paper.Width != 0) {
                FSettings.PaperWidth = TenthsOfMillimetre(paper.Width);
                FSettings.Fields |= dfPaperWidth;
            }
            if (paper.Height != 0) {
                FSettings.PaperLength = TenthsOfMillimetre(paper.Height);
                FSettings.Fields |= dfPaperLength;
            }
        }
        if (orientationMarked)
            FSettings.Orientation = paper.OrientationCode;
        ApplySettings(paper.Width, paper.Height);
    }
    if (FPrinter)
        FPrinter->setPageOrientation(paper.OrientationCode == PortraitOrientationCode
                ? QPageLayout::Portrait
                : QPageLayout::Landscape);
    // The platform also told every top-level window that the printer's settings changed; no window
    // here keeps a copy of them, so there is nobody to tell.
    FLastPaperWidth = Width;
    FLastPaperHeight = Height;
}

void TRLPrinterWrapper::ReadPrinterMetrics(TRLPrinterMetricsRecord& Metrics)
{
    try {
        if (!HasPrinter())
            throw Exception(RLMessage(RLMsgPrinterNotFound));
        if (!FPrinter)
            LoadPrinter(FPrinterIndex);
        if (!FPrinter || !FPrinter->isValid() || FPrinter->logicalDpiX() <= 0 || FPrinter->logicalDpiY() <= 0)
            throw Exception(RLMessage(RLMsgPrinterDriverError));
        const QRectF paper = FPrinter->paperRect(QPrinter::DevicePixel);
        const QRectF page = FPrinter->pageRect(QPrinter::DevicePixel);
        TRLPrinterMetricsRecord m;
        m.PPIX = FPrinter->logicalDpiX();
        m.PPIY = FPrinter->logicalDpiY();
        m.PhysicalWidth = qRound(paper.width());
        m.PhysicalHeight = qRound(paper.height());
        if (FPrinter->fullPage()) {
            m.MarginLeft = 0;
            m.MarginTop = 0;
        } else {
            m.MarginLeft = qRound(page.left() - paper.left());
            m.MarginTop = qRound(page.top() - paper.top());
        }
        m.ClientWidth = FPrinter->width();
        m.ClientHeight = FPrinter->height();
        m.MarginRight = m.PhysicalWidth - m.MarginLeft - m.ClientWidth;
        m.MarginBottom = m.PhysicalHeight - m.MarginTop - m.ClientHeight;
        Metrics = m;
    } catch (const Exception&) {
        Metrics = LetterFallbackMetrics();
    }
}

// --- jobs ----------------------------------------------------------------------------------------

void TRLPrinterWrapper::BeginDoc()
{
    if (FCanvas)
        return; // already printing: the job goes on
    if (!HasPrinter())
        throw Exception(RLMessage(RLMsgPrinterNotFound));
    if (!FPrinter)
        LoadPrinter(FPrinterIndex);
    if (!FPrinter)
        throw Exception(RLMessage(RLMsgPrinterDriverError));
    auto canvas = std::make_unique<TRLCanvas>(FPrinter.get(), FPrinter->logicalDpiY());
    if (!canvas->Painter().isActive())
        throw Exception(RLMessage(RLMsgPrinterDriverError));
    FCanvas = std::move(canvas);
}

void TRLPrinterWrapper::EndDoc()
{
    const int index = FPrinterIndex;
    FCanvas.reset();
    SelectPrinter(index);
}

void TRLPrinterWrapper::NewPage()
{
    if (!FCanvas || !FPrinter)
        throw Exception(RLMessage(RLMsgPrinterDriverError));
    if (!FPrinter->newPage())
        throw Exception(RLMessage(RLMsgPrinterDriverError));
}

TRLCanvas& TRLPrinterWrapper::PrinterCanvas()
{
    if (!FCanvas)
        throw Exception(RLMessage(RLMsgPrinterDriverError));
    return *FCanvas;
}

// --- copies and dialog ---------------------------------------------------------------------------

int TRLPrinterWrapper::PrinterCopies()
{
    if (!HasPrinter() || !FPrinter)
        return 1;
    return qMax(1, FPrinter->copyCount());
}

void TRLPrinterWrapper::SetPrinterCopies(int Count)
{
    if (Count < 1)
        return;
    if (HasPrinter() && FPrinter)
        FPrinter->setCopyCount(Count);
}

void TRLPrinterWrapper::ShowPrinterProperties()
{
    RefreshPrinters();
    if (FPropertiesProc && HasPrinter() && FPrinter)
        FPropertiesProc(*FPrinter);
}

// --- process-wide --------------------------------------------------------------------------------

TRLPrinterWrapper& PrinterWrapper()
{
    if (!WrapperInstance) {
        WrapperInstance = new TRLPrinterWrapper;
        // Printer objects must go while the application object that their plug-ins hang on lives.
        if (QCoreApplication::instance())
            qAddPostRoutine(FreePrinterWrapper);
    }
    return *WrapperInstance;
}

bool ReadReportPrinterMetrics(TRLPrinterMetrics& Metrics)
{
    TRLPrinterMetricsRecord m;
    PrinterWrapper().ReadPrinterMetrics(m);
    Metrics.DpiX = m.PPIX;
    Metrics.DpiY = m.PPIY;
    Metrics.PhysicalWidth = m.PhysicalWidth;
    Metrics.PhysicalHeight = m.PhysicalHeight;
    Metrics.MarginLeft = m.MarginLeft;
    Metrics.MarginTop = m.MarginTop;
    Metrics.MarginRight = m.MarginRight;
    Metrics.MarginBottom = m.MarginBottom;
    return true;
}
