// The report's print operation. Printers, filters and the print dialog live above the engine, so the
// printing layer lends them through TRLPrintHooks; this unit only keeps their order and the report's
// side of it (cancelled flag, preparation when idle).
#include "engine/RLSite.h"

#include "engine/RLConsts.h"
#include "platform/Exceptions.h"

void TRLCustomReport::Print()
{
    // Copied: a hook may install other hooks (a test, a program switching printers) while it runs.
    const TRLPrintHooks hooks = Services().Print;
    if (!hooks.Choose || !hooks.Run)
        throw Exception(RLMessage(RLMsgPrinterNotFound));
    if (hooks.SetPaper)
        hooks.SetPaper(this);

    TRLPrintRequest request;
    request.Ask = FPrintDialog;
    request.HelpContext = FHelpContext;
    // Pages not prepared yet are not counted: the range stays open and the run clips it.
    request.MaxPage = State() == rsReady ? Storage()->PageCount() : 0;
    request.Orientation = int(FPageSetup->Orientation());
    request.DefaultFilter = FDefaultFilter.data();
    if (!hooks.Choose(this, request)) {
        FCancelled = true;
        throw EAbort();
    }

    if (State() == rsIdle && !Prepare())
        return;
    hooks.Run(this);
}
