#pragma once
// Wires printing and saving into the program: the preview window's print, save and printer set-up
// buttons, the report's print operation (through the engine's print hooks), the printer set-up
// dialog of the printer wrapper and the message box for failures of background filter runs.
//
// Call RLInstallPrintAndSave() after the application object exists: it sets the preview's buttons and
// the printer set-up dialog, and puts the print operation and the failure message box into Services,
// for the caller to install (engine/RLServices.h). The pieces are also offered on their own, so that
// the preview window and the report share one behaviour.
#include <QString>

class QPrinter;
class QWidget;
class TRLCustomFilter;
class TRLCustomReport;
class TRLGraphicStorage;

struct TRLServices;
void RLInstallPrintAndSave(TRLServices& Services);

// The preview's print button: resets the print parameters for Storage, shows the print dialog with
// Parent as its parent and prints what is confirmed. A cancel prints nothing and says nothing.
void RLPrintStorageWithDialog(QWidget* Parent, TRLGraphicStorage* Storage);

// The preview's save button: resets the save parameters for Storage, proposes FileName (or, when
// empty, the chosen filter's file name), shows the save dialog and saves what is confirmed. False
// when the user cancelled.
bool RLSaveStorageWithDialog(QWidget* Parent, TRLGraphicStorage* Storage, const QString& FileName);

// Runs Filter (the default printer filter when null) over pages FirstPage..LastPage. The printer
// filter with no printer installed fails at once with "printer not found", also for a background run,
// which would otherwise report it only after its thread started.
void RLRunPrintFilter(
    TRLGraphicStorage* Storage, TRLCustomFilter* Filter, int FirstPage, int LastPage, bool Background);

// The printer's own settings: a page set-up dialog over the selected printer. Fails with "printer not
// found" when there is none.
void RLShowPrinterSetup();
