// The report: preparation of all pages into the page store, page numbering, chaining, printer
// margins, preview options, the preview entry point and the expression parser's hooks.
#include "engine/RLSite.h"

#include "engine/RLConsts.h"
#include "engine/RLLabels.h"
#include "engine/RLUnits.h"
#include "platform/DataSet.h"
#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QPair>

namespace {

// Longest report chain followed; a chain that loops is cut there instead of spinning.
constexpr int MaxChain = 4096;

void CollectControls(TControl* root, QList<QPair<QPointer<TRLCustomControl>, QRect>>& out)
{
    for (TControl* child : root->ControlList()) {
        if (auto* control = qobject_cast<TRLCustomControl*>(child))
            out.append({ QPointer<TRLCustomControl>(control), control->BoundsRect() });
        CollectControls(child, out);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// TRLPreviewOptions

TRLPreviewOptions::TRLPreviewOptions(QObject* parent)
    : TPersistent(parent)
    , FCaption(RLMessage(RLMsgPreview))
{ }

void TRLPreviewOptions::Assign(const TPersistent* Source)
{
    const auto* source = qobject_cast<const TRLPreviewOptions*>(Source);
    if (!source) {
        TPersistent::Assign(Source);
        return;
    }
    FDefaults = source->FDefaults;
    FWindowState = source->FWindowState;
    FPosition = source->FPosition;
    FFormStyle = source->FFormStyle;
    FShowModal = source->FShowModal;
    FBorderIcons = source->FBorderIcons;
    FHelpFile = source->FHelpFile;
    FHelpContext = source->FHelpContext;
    FCaption = source->FCaption;
}

bool TRLPreviewOptions::IsPropertyStored(const QMetaProperty& property) const
{
    if (QByteArrayView(property.name()) == "Caption")
        return FCaption != RLMessage(RLMsgPreview);
    return TPersistent::IsPropertyStored(property);
}

// ---------------------------------------------------------------------------------------------------
// TRLCustomReport

TRLReport::TRLReport(TComponent* AOwner)
    : TRLCustomReport(AOwner)
{ }

TRLGraphicStorage* TRLCustomReport::NewStorage()
{
    // Ownerless and linked: the store outlives the report while a preview or a filter still holds a
    // link, and frees itself when the last link goes.
    auto* storage = new TRLGraphicStorage(nullptr);
    storage->Link(this);
    ReadPrinterMetrics();
    return storage;
}

void TRLCustomReport::SetPreviewOptions(TRLPreviewOptions* value)
{
    if (value && value != FPreviewOptions)
        FPreviewOptions->Assign(value);
}

void TRLCustomReport::SetAdjustableMargins(bool value)
{
    if (value == FAdjustableMargins)
        return;
    FAdjustableMargins = value;
    AdjustBounds();
    Realign();
    Invalidate();
}

void TRLCustomReport::SetNextReport(TRLCustomReport* value)
{
    if (value == FNextReport || value == this)
        return;
    // A chain that came back to this report would prepare for ever.
    int steps = 0;
    for (TRLCustomReport* r = value; r && steps < MaxChain; r = r->FNextReport, ++steps)
        if (r == this)
            return;
    if (FNextReport && FNextReport->PriorReport() == this)
        FNextReport->SetPriorReport(nullptr);
    if (value) {
        if (TRLCustomReport* oldPrior = value->PriorReport(); oldPrior && oldPrior != this)
            oldPrior->FNextReport = nullptr;
        value->SetPriorReport(this);
    }
    FNextReport = value;
}

TRLProgress* TRLCustomReport::Progress() const
{
    const TRLCustomReport* master = MasterReport();
    return master ? master->FProgress.get() : FProgress.get();
}

void TRLCustomReport::ReadPrinterMetrics()
{
    TRLPrinterMetrics metrics;
    if (const TRLPrinterMetricsProc provider = Services().PrinterMetrics; !provider || !provider(metrics))
        metrics = TRLPrinterMetrics();
    FPrinterMetrics = metrics;
}

TRect TRLCustomReport::PrinterMargins() const
{
    const TRLPrinterMetrics& m = FPrinterMetrics;
    if (m.DpiX <= 0 || m.DpiY <= 0)
        return TRect();
    const int left = RoundHalfEven((long double)m.MarginLeft * 96 / m.DpiX);
    const int top = RoundHalfEven((long double)m.MarginTop * 96 / m.DpiY);
    const int right = RoundHalfEven((long double)m.MarginRight * 96 / m.DpiX);
    const int bottom = RoundHalfEven((long double)m.MarginBottom * 96 / m.DpiY);
    if (PageSetup() && PageSetup()->Orientation() == poLandscape)
        return TRect(top, right, bottom, left);
    return TRect(left, top, right, bottom);
}

TRect TRLCustomReport::MarginPixels() const
{
    TRect margins = TRLCustomSkipper::MarginPixels();
    if (!FAdjustableMargins)
        return margins;
    const TRect printer = PrinterMargins();
    margins.Left = qMax(margins.Left, printer.Left);
    margins.Top = qMax(margins.Top, printer.Top);
    margins.Right = qMax(margins.Right, printer.Right);
    margins.Bottom = qMax(margins.Bottom, printer.Bottom);
    return margins;
}

void TRLCustomReport::Clear()
{
    FPageSurface.reset();
    FStorage->Clear();
    SetState(rsIdle);
    FCancelled = false;
    SetPageIndex(0);
}

bool TRLCustomReport::Preview()
{
    if (FForcePrepare)
        Clear();
    if (const auto select = Services().Print.SelectDefaultFilter; DefaultFilter() && select)
        select(DefaultFilter());
    if (State() == rsIdle && !Prepare())
        return false;
    const TRLPreviewProc proc = Services().Preview;
    return proc ? proc(this) : false;
}

bool TRLCustomReport::Prepare()
{
    // Whatever the tree's caches learnt while controls were still being built is forgotten here.
    TouchTree();
    // The definition is put back as it was, whatever the run did to the bounds. Children before
    // their parents, so that a site's own design size is the last word.
    QList<QPair<QPointer<TRLCustomControl>, QRect>> design;
    design.append({ QPointer<TRLCustomControl>(this), BoundsRect() });
    CollectControls(this, design);

    bool ownsProgress = false;
    bool result = false;
    auto fail = [&](const QString& message) {
        SetState(rsIdle);
        FLastError = Name() + QStringLiteral(": ") + RLMessage(RLMsgErrorWhilePreparing) + QLatin1Char('\r')
            + message;
        if (const TRLErrorProc proc = Services().PreparationError)
            proc(FLastError);
        else
            qWarning("%s", qUtf8Printable(FLastError));
    };
    FLastError.clear();
    // The parser answers for this report only while it runs; a chained report (or nobody) gets it
    // back afterwards.
    QPointer<TRLExpressionParser> parser(ExpressionParser());
    const TRLParserHooks previousHooks = InstallParserHooks();
    try {
        result = PrepareRun(ownsProgress);
    } catch (const EAbort&) {
        // The user or the application ended the run: nothing to report.
        SetState(rsIdle);
    } catch (const Exception& e) {
        fail(e.Message());
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()));
    } catch (...) {
        fail(QString());
    }
    if (!result && State() == rsIdle) {
        FPageSurface.reset();
        AbandonPrint();
    }
    if (ownsProgress)
        FProgress.reset();
    if (parser)
        parser->SetHooks(previousHooks);
    for (qsizetype i = design.size() - 1; i >= 0; --i)
        if (TRLCustomControl* control = design.at(i).first) {
            const QRect& r = design.at(i).second;
            if (control->BoundsRect() != r)
                control->SetBounds(r.x(), r.y(), r.width(), r.height());
        }
    return result;
}

bool TRLCustomReport::PrepareRun(bool& ownsProgress)
{
    Clear();
    SetState(rsWriting);
    SetReportDateTime(QDateTime::currentDateTime());
    FStepName.clear();
    FEventsTimer.invalidate(); // the first record gives the event loop its turn

    TRLCustomReport* master = MasterReport();
    if (!master)
        master = this;
    if (master->ShowProgress()) {
        if (master == this) {
            int bars = 1;
            for (TRLCustomReport* r = FNextReport; r && bars < MaxChain; r = r->FNextReport)
                ++bars;
            QPointer<TRLCustomReport> self(this);
            FProgress = CreateProgress(RLMessage(RLMsgPreparingReport), bars, [self] {
                if (self)
                    self->FCancelled = true;
            });
            if (FProgress) {
                ownsProgress = true;
                FProgress->ShowProgress();
            }
        } else if (TRLProgress* progress = master->FProgress.get()) {
            progress->NextBar();
        }
    }
    bool printIt = true;
    if (FBeforePrint)
        FBeforePrint(this, printIt);
    if (!printIt)
        return false;

    BuildSortedBands();
    ReadPrinterMetrics();
    ResetPager();
    FPrintPosition = TRect::Bounds(0, 0, Width(), Height());
    if (TRLProgress* progress = Progress())
        progress->SetMax(DataCount());
    RunRecords();

    SetState(rsClosing);
    if (PrintEmpty() && DetailCount() == 0) {
        OpenSite();
        for (TControl* child : ControlList()) {
            auto* skipper = qobject_cast<TRLCustomSkipper*>(child);
            if (skipper && skipper->PrintEmpty() && skipper->AskToPrint()) {
                skipper->AdjustBounds();
                skipper->PrintControl();
                if (skipper->AfterPrint)
                    skipper->AfterPrint(skipper);
            }
        }
    }
    ClosePager();
    SetState(rsReady);

    if (master->Cancelled()) {
        // Idle means no pages: what the cancelled run stored is dropped, so nothing half made can
        // be previewed or printed.
        master->Storage()->Clear();
        master->SetPageIndex(0);
        SetState(rsIdle);
        return false;
    }
    if (AfterPrint)
        AfterPrint(this);
    bool chained = true;
    if (FNextReport)
        chained = FNextReport->Prepare();
    FinishStorage();
    return chained;
}

void TRLCustomReport::FinishStorage()
{
    TRLCustomReport* master = MasterReport();
    if (!master)
        master = this;
    TRLGraphicStorage* store = master->Storage();
    WriteStorageValues(*store, store->PageCount());
}

void TRLCustomReport::WriteStorageValues(TRLGraphicStorage& Store, int PageCount) const
{
    const TRLCustomReport* master = MasterReport();
    if (!master)
        master = this;
    Store.SetFirstPageNumber(master->FirstPageNumber());
    Store.SetLastPageNumber(PageCount + master->FirstPageNumber() - 1);
    Store.SetTitle(Title());
    Store.SetOrientation(PageSetup()->Orientation() == poLandscape ? 2 : 1);
    Store.SetPaperWidth(PageSetup()->PaperWidth());
    Store.SetPaperHeight(PageSetup()->PaperHeight());
    Store.SetWidth(Width());
    Store.SetHeight(Height());
}

void TRLCustomReport::FetchNext()
{
    const TRLCustomReport* master = MasterReport();
    if (!master)
        master = this;
    if (TRLProgress* progress = Progress()) {
        progress->StepIt();
        // Only a changed text is shown: repainting the label on every record would dominate the run.
        const QString step = RLMessage(RLMsgPage) + QLatin1Char(' ')
            + QString::number(master->FirstPageNumber() + master->PageIndex());
        if (step != FStepName) {
            FStepName = step;
            progress->SetStepName(step);
        }
    } else {
        // A turn of the event loop for every record costs more than a simple record itself; one
        // every few milliseconds keeps windows and a cancel as responsive as anyone can tell.
        if (!FEventsTimer.isValid() || FEventsTimer.elapsed() >= 15) {
            QCoreApplication::processEvents();
            FEventsTimer.start();
        }
        if (ApplicationTerminating())
            Abort();
    }
    TRLCustomSkipper::FetchNext();
}

// --- pages ------------------------------------------------------------------------------------

void TRLCustomReport::ComputePrintPosition()
{
    FPrintPosition = TRect::Bounds(0, 0, Width(), Height());
}

void TRLCustomReport::PageStarting()
{
    if (OnPageStarting)
        OnPageStarting(this);
}

void TRLCustomReport::PageEnding()
{
    if (OnPageEnding)
        OnPageEnding(this);
}

void TRLCustomReport::DrawIntoParent()
{
    if (!FPageSurface) {
        FPageSurface = std::make_unique<TRLGraphicSurface>();
        FPageSurface->SetWidth(Width());
        FPageSurface->SetHeight(Height());
        FPageSurface->SetOrientation(PageSetup()->Orientation() == poLandscape ? 2 : 1);
        FPageSurface->SetPaperWidth(PageSetup()->PaperWidth());
        FPageSurface->SetPaperHeight(PageSetup()->PaperHeight());
        FPageSurface->Open();
    }
    if (Enabled())
        DrawFrame(FPageSurface.get(), FPrintPosition);
    FPageSurface->MoveSurface(FPrintPosition.Left, FPrintPosition.Top, Surface());
}

void TRLCustomReport::AfterClose()
{
    std::unique_ptr<TRLGraphicSurface> page = std::move(FPageSurface);
    if (!page)
        return;
    TRLCustomReport* master = MasterReport();
    if (!master)
        master = this;
    master->Storage()->Add(page.get());
    page.release(); // the store owns it now
    master->SetPageIndex(master->PageIndex() + 1);
}

// --- expression parser --------------------------------------------------------------------------

TRLParserHooks TRLCustomReport::InstallParserHooks()
{
    TRLExpressionParser* parser = ExpressionParser();
    if (!parser)
        return TRLParserHooks();
    const TRLParserHooks previous = parser->Hooks();
    QPointer<TRLCustomReport> self(this);
    TRLParserHooks hooks;
    // A name is a field of the data set nearest to the control whose formula is evaluated.
    hooks.FindIdentifier = [self](const QString& name, QVariant& result) {
        if (!self)
            return false;
        TControl* start = self->FormulaControl();
        if (!start)
            start = self;
        for (TControl* c = start; c; c = c->Parent()) {
            TDataSet* dataSet = nullptr;
            if (auto* text = qobject_cast<TRLCustomDBText*>(c))
                dataSet = text->DataSet();
            else if (auto* skipper = qobject_cast<TRLCustomSkipper*>(c))
                dataSet = skipper->DataSet();
            if (!dataSet)
                continue;
            if (TField* field = dataSet->FindField(name)) {
                result = dataSet->Active() ? field->Value() : QVariant();
                return true;
            }
        }
        return false;
    };
    hooks.TokenHook = [](QString&, TRLParserTokenKind&) {};
    hooks.FindChild = [](QObject* parent, const QString& name) -> QObject* {
        auto* owner = qobject_cast<TComponent*>(parent);
        if (!owner)
            return nullptr;
        for (TComponent* component : owner->ComponentList()) {
            if (component->Name().compare(name, Qt::CaseInsensitive) == 0)
                return component;
            auto* control = qobject_cast<TRLCustomControl*>(component);
            if (control && !control->FriendlyName().isEmpty()
                && control->FriendlyName().compare(name, Qt::CaseInsensitive) == 0)
                return component;
        }
        return nullptr;
    };
    hooks.SetProperty = [](QObject*, const QString&, const QVariant&) { return false; };
    hooks.GetProperty = [](QObject* object, const QString& property, QVariant& result) {
        if (auto* dataSet = qobject_cast<TDataSet*>(object)) {
            TField* field = dataSet->FindField(property);
            if (!field)
                return false;
            result = field->Value();
            return true;
        }
        if (auto* control = qobject_cast<TRLCustomControl*>(object)) {
            result = control->AsVariant();
            return true;
        }
        if (auto* font = qobject_cast<TFont*>(object)) {
            result = font->Name() + QLatin1Char(' ') + QString::number(font->Size());
            return true;
        }
        return false;
    };
    parser->SetHooks(hooks);
    return previous;
}
