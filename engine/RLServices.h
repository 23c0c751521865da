#pragma once
// The services the engine and the filters reach upward for. The layers above install them: the window
// program (the progress window, the preview, the print dialog, message boxes), the command line (a line
// on a terminal, errors kept for its exit message) or a test (fakes that record what they are asked).
//
// One record holds them all. A TRLServicesScope installs a record for as long as it lives and puts the
// one before it back when it ends, so a caller never clears a service that someone else installed, and
// a test that fails half way cannot leave its fakes behind for the next one. Scopes nest and must end
// in the reverse order of their start, as automatic variables do.
//
// Installed and read on the main thread: the background filter thread hands what it needs of them
// (its progress and its failure) to the main thread.
#include "engine/RLProgress.h"

#include <QString>
#include <functional>

class TComponent;

// A printer's page in device dots: resolution, physical size and the unprintable margins.
struct TRLPrinterMetrics
{
    int DpiX = 300;
    int DpiY = 300;
    int PhysicalWidth = 2550; // Letter at 300 dpi
    int PhysicalHeight = 3300;
    int MarginLeft = 0;
    int MarginTop = 0;
    int MarginRight = 0;
    int MarginBottom = 0;
};
// Fills the metrics of the current printer; false when there is none (the Letter fallback is used).
using TRLPrinterMetricsProc = std::function<bool(TRLPrinterMetrics& Metrics)>;

class TRLCustomReport;
// Shows the prepared pages of a report; returns whether a window was shown.
using TRLPreviewProc = std::function<bool(TRLCustomReport* Report)>;
// Shows a preparation error; the default writes it with qWarning.
using TRLErrorProc = std::function<void(const QString& Text)>;

// What the report's Print asks of the printing layer, which sits above the engine and shows the
// print dialog.
struct TRLPrintRequest
{
    // Show the print dialog; when false the print parameters are completed without asking.
    bool Ask = true;
    // Help topic for the dialog; not 0 switches the dialog's help button on.
    int HelpContext = 0;
    // The page count when the pages are prepared already; 0 when they are still to be made.
    int MaxPage = 0;
    // The page setup's orientation (TRLPageOrientation: 0 portrait, 1 landscape).
    int Orientation = 0;
    // The report's DefaultFilter, preselected in the print parameters; may be null.
    TComponent* DefaultFilter = nullptr;
};
// Installed by the printing layer. Without Choose and Run a report cannot print and says that no
// printer was found.
struct TRLPrintHooks
{
    // Sets the printer's paper (orientation, paper size, width and height) from the page setup.
    std::function<void(TRLCustomReport* Report)> SetPaper;
    // Fills the print parameters and shows the dialog (or completes them); false when cancelled.
    std::function<bool(TRLCustomReport* Report, const TRLPrintRequest& Request)> Choose;
    // Sends the prepared pages through the chosen filter over the chosen range.
    std::function<void(TRLCustomReport* Report)> Run;
    // Makes Filter the selected filter of the print parameters (the report's DefaultFilter, which
    // Preview preselects too).
    std::function<void(TComponent* Filter)> SelectDefaultFilter;
};

// A background run has nobody to throw to. Whoever can show a message (the preview window) installs
// this; the report reaches it on the main thread with the filter's display name and the failure's
// message. Without one the failure is written to the log. A silent abort is never reported.
using TRLFilterErrorProc = std::function<void(const QString& FilterName, const QString& Message)>;

// Every service is optional: an empty one means the engine's own default (no progress display, the
// 300 dpi Letter printer, no preview window, a preparation error written with qWarning, no printer,
// a background failure written to the log).
struct TRLServices
{
    TRLProgressFactory Progress;
    TRLPrinterMetricsProc PrinterMetrics;
    TRLPreviewProc Preview;
    TRLErrorProc PreparationError;
    TRLPrintHooks Print;
    TRLFilterErrorProc FilterError;
};

// The services installed now.
const TRLServices& Services();

class TRLServicesScope
{
public:
    // Installs Installed in place of the current services.
    explicit TRLServicesScope(TRLServices Installed);
    // Installs the current services as Change leaves a copy of them: one service replaced, the rest kept.
    explicit TRLServicesScope(const std::function<void(TRLServices& Services)>& Change);
    ~TRLServicesScope();
    // The record this scope installed, for changing a service later on while this scope is the
    // innermost one (a test that installs its fakes step by step).
    TRLServices& Installed();
    TRLServicesScope(const TRLServicesScope&) = delete;
    TRLServicesScope& operator=(const TRLServicesScope&) = delete;

private:
    TRLServices FPrevious;
};
