#include "preview/RLPrintActions.h"

#include "engine/RLConsts.h"
#include "engine/RLServices.h"
#include "engine/RLSite.h"
#include "filters/RLFilters.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLPrinterWrapper.h"
#include "filters/RLSpoolFilter.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"
#include "preview/RLPreviewForm.h"
#include "preview/RLPrintDialog.h"
#include "preview/RLSaveDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrinter>

#include <limits>

namespace {

void SetReportPaper(TRLCustomReport* Report)
{
    const TRLPageSetup* setup = Report->PageSetup();
    try {
        PrinterWrapper().SetPaper(
            setup->PaperWidth(), setup->PaperHeight(), setup->Orientation() == poLandscape, false);
    } catch (const EAbort&) {
        // The wrapper gives up quietly on a printer whose settings cannot be read; printing would
        // then end without a word, so the user is told.
        throw Exception(RLMessage(RLMsgPrinterDriverError));
    }
}

bool ChooseReportPrint(TRLCustomReport* Report, const TRLPrintRequest& Request)
{
    Q_UNUSED(Report);
    TRLPrintParams& params = PrintParams();
    if (auto* filter = qobject_cast<TRLCustomPrintFilter*>(Request.DefaultFilter))
        params.SetFilter(filter);
    params.Reset();
    // The range is open until the pages are known; the run clips it to the pages there are.
    params.SetMaxPage(std::numeric_limits<int>::max());
    if (Request.MaxPage > 0)
        params.SetMaxPage(Request.MaxPage);
    params.SetOrientation(Request.Orientation == int(poLandscape) ? poLandscape : poPortrait);
    params.SetHelpContext(Request.HelpContext);
    TRLPrintDialogOptions options = params.Options();
    options.setFlag(rpoHelp, Request.HelpContext != 0);
    params.SetOptions(options);
    if (!Request.Ask) {
        params.Complete();
        return true;
    }
    TRLPrintDialog dialog(QApplication::activeWindow());
    return dialog.Execute();
}

void RunReportPrint(TRLCustomReport* Report)
{
    TRLPrintParams& params = PrintParams();
    TRLCustomFilter* filter = params.Filter();
    if (!filter)
        filter = DefaultPrintFilter();
    filter->SetShowProgress(Report->ShowProgress());
    RLRunPrintFilter(
        Report->Storage(), filter, params.FromPage(), params.ToPage(), params.PrintInBackground());
}

void SelectDefaultFilter(TComponent* Filter)
{
    if (auto* filter = qobject_cast<TRLCustomPrintFilter*>(Filter))
        PrintParams().SetFilter(filter);
}

void ShowPageSetup(QPrinter& Printer)
{
    QPageSetupDialog dialog(&Printer, QApplication::activeWindow());
    dialog.exec();
}

void ShowFilterError(const QString& FilterName, const QString& Message)
{
    const QString title = FilterName.isEmpty() ? QApplication::applicationName() : FilterName;
    QMessageBox::critical(QApplication::activeWindow(), title, Message);
}

} // namespace

void RLRunPrintFilter(
    TRLGraphicStorage* Storage, TRLCustomFilter* Filter, int FirstPage, int LastPage, bool Background)
{
    TRLCustomFilter* filter = Filter ? Filter : DefaultPrintFilter();
    if (qobject_cast<TRLSpoolFilter*>(filter) && !PrinterWrapper().HasPrinter())
        throw Exception(RLMessage(RLMsgPrinterNotFound));
    PrintPages(Storage, filter, FirstPage, LastPage, Background);
}

void RLPrintStorageWithDialog(QWidget* Parent, TRLGraphicStorage* Storage)
{
    TRLPrintParams& params = PrintParams();
    params.Reset();
    params.SetMaxPage(Storage->PageCount());
    params.SetOrientation(Storage->Orientation() == 2 ? poLandscape : poPortrait);
    bool confirmed = false;
    {
        TRLPrintDialog dialog(Parent);
        confirmed = dialog.Execute();
    }
    if (!confirmed)
        return;
    RLRunPrintFilter(
        Storage, params.Filter(), params.FromPage(), params.ToPage(), params.PrintInBackground());
}

bool RLSaveStorageWithDialog(QWidget* Parent, TRLGraphicStorage* Storage, const QString& FileName)
{
    TRLSaveParams& params = SaveParams();
    params.Reset();
    params.SetMaxPage(Storage->PageCount());
    QString proposed = FileName;
    if (proposed.isEmpty() && params.Filter())
        proposed = params.Filter()->FileName();
    params.SetFileName(proposed);
    bool confirmed = false;
    {
        TRLSaveDialog dialog(Parent);
        confirmed = dialog.Execute();
    }
    if (!confirmed)
        return false;
    if (TRLCustomSaveFilter* filter = params.Filter()) {
        // The dialog showed the PDF writer's options for it; what the user left there is the choice.
        if (auto* pdf = qobject_cast<TRLPDFFilter*>(filter)) {
            pdf->SetEmbedFonts(params.EmbedFonts());
            pdf->SetCompress(params.Compress());
        }
        filter->SetFileName(params.FileName());
        filter->ProcessPages(Storage, params.FromPage(), params.ToPage(), params.SaveInBackground());
    } else {
        Storage->SaveToFile(params.FileName());
    }
    return true;
}

void RLShowPrinterSetup()
{
    TRLPrinterWrapper& printers = PrinterWrapper();
    printers.RefreshPrinters();
    if (!printers.HasPrinter())
        throw Exception(RLMessage(RLMsgPrinterNotFound));
    printers.ShowPrinterProperties();
}

void RLInstallPrintAndSave(TRLServices& Services)
{
    TRLPreviewActions& actions = RLPreviewActions();
    actions.Print
        = [](TRLPreviewForm* Form, TRLGraphicStorage* Storage) { RLPrintStorageWithDialog(Form, Storage); };
    actions.Save = [](TRLPreviewForm* Form, TRLGraphicStorage* Storage, const QString& FileName) {
        return RLSaveStorageWithDialog(Form, Storage, FileName);
    };
    actions.PrinterSetup = [](TRLPreviewForm*) { RLShowPrinterSetup(); };

    TRLPrintHooks hooks;
    hooks.SetPaper = SetReportPaper;
    hooks.Choose = ChooseReportPrint;
    hooks.Run = RunReportPrint;
    hooks.SelectDefaultFilter = SelectDefaultFilter;
    Services.Print = std::move(hooks);
    Services.FilterError = ShowFilterError;

    PrinterWrapper().SetPrinterPropertiesProc(ShowPageSetup);
}
