#pragma once
// The one way the engine reaches a printer: the printer list and the selected printer, its device
// settings (paper and orientation), its resolution and printable area, and print jobs drawn on its
// canvas. One process-wide instance (PrinterWrapper()) lives from first use to shut-down.
//
// Printers come from a backend. The default one asks Qt Print Support (CUPS) for the installed
// printers; a program or a test may install another one, for instance one whose printers write PDF
// files. Selecting a printer builds a fresh QPrinter with the printer's default settings, so every
// print job starts from them: EndDoc selects the printer again.
//
// Device settings: the platform kept a settings block per printer (paper code, paper size in tenths
// of a millimetre, orientation code and a mask of the fields that are set). The wrapper keeps the
// same small record for the selected printer and applies it to the QPrinter whenever it changes, so
// what a report asks of the printer can be seen in the platform's own codes and units.
//
// Threads: a background filter run uses the wrapper from its own thread while the main thread waits
// on the run's progress steps; nothing here is locked, and nobody may change printers meanwhile.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QPrinter;
class TRLCanvas;
struct TRLPrinterMetrics;

// A printer page in device pixels: resolution, physical sheet, unprintable borders, printable area.
struct TRLPrinterMetricsRecord
{
    int PPIX = 0;
    int PPIY = 0;
    int PhysicalWidth = 0;
    int PhysicalHeight = 0;
    int MarginLeft = 0;
    int MarginTop = 0;
    int MarginRight = 0;
    int MarginBottom = 0;
    int ClientWidth = 0;
    int ClientHeight = 0;
    friend bool operator==(const TRLPrinterMetricsRecord&, const TRLPrinterMetricsRecord&) = default;
};

// What a report is laid out for when there is no printer to ask: a 300 dpi Letter sheet with a
// quarter of an inch that cannot be printed on every side.
TRLPrinterMetricsRecord LetterFallbackMetrics();

// Fields of the device-settings block, with the platform's mask bits.
enum TRLDeviceField : uint32_t {
    dfOrientation = 0x1,
    dfPaperSize = 0x2,
    dfPaperLength = 0x4,
    dfPaperWidth = 0x8
};

struct TRLDeviceSettings
{
    uint32_t Fields = 0; // TRLDeviceField bits of the fields that hold a value
    int Orientation = 1; // 1 portrait, 2 landscape
    int PaperSize = 0; // printer paper code; 256 is a user-defined paper
    int PaperLength = 0; // tenths of a millimetre, for a user-defined paper
    int PaperWidth = 0;
    friend bool operator==(const TRLDeviceSettings&, const TRLDeviceSettings&) = default;
};

// Where the wrapper finds printers.
class TRLPrinterBackend
{
public:
    virtual ~TRLPrinterBackend() = default;
    // The installed printers, one entry each; an entry may carry a port after a "|".
    virtual QStringList PrinterNames() = 0;
    // The name of the system's default printer, empty when there is none.
    virtual QString DefaultPrinterName() = 0;
    // A printer object for the named printer with its default settings, or null when the printer
    // cannot be opened.
    virtual std::unique_ptr<QPrinter> CreatePrinter(const QString& Name) = 0;
};

// The backend over Qt Print Support.
std::unique_ptr<TRLPrinterBackend> CreateSystemPrinterBackend();

class TRLPrinterWrapper
{
public:
    TRLPrinterWrapper();
    ~TRLPrinterWrapper();
    TRLPrinterWrapper(const TRLPrinterWrapper&) = delete;
    TRLPrinterWrapper& operator=(const TRLPrinterWrapper&) = delete;

    // Replaces the backend; the printer list is read anew and no printer is selected. A job in
    // progress is ended first.
    void SetBackend(std::unique_ptr<TRLPrinterBackend> Backend);

    // Print jobs. BeginDoc starts painting on the selected printer (the canvas's fonts then count the
    // printer's vertical resolution); it fails with "Printer not found" without a printer. EndDoc
    // ends the job and selects the printer again, which brings back its default settings.
    void BeginDoc();
    void EndDoc();
    void NewPage();
    bool Printing() const { return bool(FCanvas); }
    // The canvas of the job in progress; outside a job there is none and asking for it fails.
    TRLCanvas& PrinterCanvas();

    // Sets the paper for the next job: a table paper by its code, any other size as a user-defined
    // paper. Reserved has no effect. With a printer whose settings cannot be had, a silent abort.
    void SetPaper(double Width, double Height, bool Landscape, bool Reserved = false);
    double LastPaperWidth() const { return FLastPaperWidth; }
    double LastPaperHeight() const { return FLastPaperHeight; }

    // The selected printer's page; without a usable printer, silently LetterFallbackMetrics().
    void ReadPrinterMetrics(TRLPrinterMetricsRecord& Metrics);

    const QStringList& PrinterList();
    QString PrinterName(int Index);
    QString PrinterPort(int Index);
    // Selects printer 0 when none is selected and there is one; whether a printer is selected.
    bool HasPrinter();
    int PrinterIndex();
    QString CurrentPrinterName();
    // Indices outside the list are ignored.
    void SelectPrinter(int Index);
    // Reads the printer list anew, selects the system default and then the previous index (or the
    // last printer when the list got shorter). Failures while reselecting are ignored.
    void RefreshPrinters();

    int PrinterCopies();
    // Counts below 1 are not a number of copies and are ignored.
    void SetPrinterCopies(int Count);

    // The printer set-up dialog. The filters layer shows no windows, so the preview layer installs the
    // dialog here; without one this only refreshes the printer list.
    using TPrinterPropertiesProc = std::function<void(QPrinter& Printer)>;
    void SetPrinterPropertiesProc(TPrinterPropertiesProc Proc) { FPropertiesProc = std::move(Proc); }
    void ShowPrinterProperties();

    // The selected printer and its settings block, or null.
    QPrinter* Printer() const { return FPrinter.get(); }
    const TRLDeviceSettings* DeviceSettings() const { return FPrinter ? &FSettings : nullptr; }

private:
    void BuildList();
    void LoadPrinter(int Index);
    void ApplySettings(double Width, double Height);

    std::unique_ptr<TRLPrinterBackend> FBackend;
    QStringList FPrinters;
    bool FListBuilt = false;
    int FPrinterIndex = -1;
    std::unique_ptr<QPrinter> FPrinter;
    TRLDeviceSettings FSettings;
    std::unique_ptr<TRLCanvas> FCanvas;
    double FLastPaperWidth = 0;
    double FLastPaperHeight = 0;
    TPrinterPropertiesProc FPropertiesProc;
};

// The process-wide wrapper, made on first use and freed when the application object goes.
TRLPrinterWrapper& PrinterWrapper();

// The wrapper's metrics in the report's form; always true, since the Letter fallback stands in for a
// missing printer. Install it as the services' PrinterMetrics (engine/RLServices.h).
bool ReadReportPrinterMetrics(TRLPrinterMetrics& Metrics);
