#pragma once
// The engine's containers: sites (controls that hold controls and own a drawing surface), band sets,
// bands, pagers, groups, skippers and the report.
//
// This header holds what the controls inside a container read: the published geometry of a site, a
// band's type and copy index, a pager's detail count and completing state, a skipper's record state,
// and the report's state, page number, date-time, title, print quality, text filter and expression
// parser. The generation code (band placement, pagers, the record loop, preparation) maintains these
// fields through the setters below and adds its own members to these classes.
//
// Generation (RLBands.cpp, RLPager.cpp, RLGroups.cpp, RLSkipper.cpp, RLReportPrepare.cpp): a site
// opens (its surface opened and cleared), prints its controls in three passes, and closes by drawing
// its surface into its parent's; a band closes by placing itself at its pager's current row, moving to
// a new page or splitting where it must; a pager prints band lists by type and turns pages; a group
// repeats its bands while its break key stays; a skipper walks records; the report prepares the
// pages into its page store.
//
// Ownership: a site owns its Margins, InsideMargins, Background and Degrade (QObject children) and its
// surface; a pager owns its sorted band lists (references to bands); a report owns its PageSetup, its
// PreviewOptions, its page store (unless the store is linked elsewhere and outlives it, see
// TRLGraphicStorage), the page being assembled, and the progress display it created.
#include "engine/RLControl.h"
#include "engine/RLGeometry.h"
#include "engine/RLProgress.h"
#include "engine/RLServices.h"
#include "engine/RLTypes.h"
#include "pagestore/RLMetaFile.h"
#include "parser/RLParser.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QPair>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

class TDataSource;
class TDataSet;

class TRLCustomSite : public TRLCustomControl
{
    Q_OBJECT
    Q_PROPERTY(TRLBackground* Background READ Background WRITE SetBackground)
    Q_PROPERTY(TRLDegradeEffect* Degrade READ Degrade WRITE SetDegrade)
    Q_PROPERTY(TRLMargins* Margins READ Margins WRITE SetMargins)
    Q_PROPERTY(TRLMargins* InsideMargins READ InsideMargins WRITE SetInsideMargins)
    Q_PROPERTY(bool AutoExpand READ AutoExpand WRITE SetAutoExpand)
public:
    Q_INVOKABLE explicit TRLCustomSite(TComponent* AOwner = nullptr);
    ~TRLCustomSite() override;

    TRLBackground* Background() const { return FBackground; }
    void SetBackground(TRLBackground* value);
    TRLDegradeEffect* Degrade() const { return FDegrade; }
    void SetDegrade(TRLDegradeEffect* value);
    TRLMargins* Margins() const { return FMargins; }
    void SetMargins(TRLMargins* value);
    TRLMargins* InsideMargins() const { return FInsideMargins; }
    void SetInsideMargins(TRLMargins* value);
    // The site grows with a child marked beSiteExpander.
    bool AutoExpand() const { return FAutoExpand; }
    void SetAutoExpand(bool value) { FAutoExpand = value; }
    // Whether the site may change its own width / height to follow its children.
    bool CanGrowWidth() const { return FAutoSizeSetsWidth; }
    bool CanGrowHeight() const { return FAutoSizeSetsHeight; }

    // The site's own surface, which its controls record into.
    TRLGraphicSurface* Surface() const { return FSurface.get(); }

    // The first two passes of printing a site's controls, children taken in component-index order.
    // Preparation: every static control that decides to print adjusts its bounds.
    void PrepareStaticControls();
    // Recording (after the site settled its size): every static control that decided to print is
    // recorded with its printing flag set, then its AfterPrint runs.
    void PrintStaticControls();
    // The site's children in component-index order (children of other owners after them, in child
    // order).
    QList<TControl*> ChildrenInCreationOrder() const;
    // The same, worked out afresh.
    QList<TControl*> SortChildrenInCreationOrder() const;

    // --- generation ------------------------------------------------------------------------
    // The area inside the margins, the drawn border sides and the inside margins, in the site's own
    // coordinates; never inverted.
    QRect ClientRect() const override;
    // The four outer margins in report pixels (left, top, right, bottom).
    virtual TRect MarginPixels() const;
    // Where the site prints, in the coordinates of the surface it is drawn into.
    const TRect& PrintPosition() const { return FPrintPosition; }
    bool IsSiteOpen() const { return FSiteOpen; }
    // Site print: open, print content, close. Declines while it is already printing.
    void PrintSite();
    void OpenSite();
    void CloseSite();
    // Visible and not already printing, then BeforePrint.
    bool AskToPrint() override;
    // Site sizing when AutoSize is on; the current size otherwise.
    void MeasureSize(int& width, int& height) override;
    void PrintControl() override;
    // Tells every engine control inside that a computable detail band was printed.
    void ComputeDetail(TRLCustomControl* Caller) override;
    // Reset of accumulated values at the start of a run; no control of this system accumulates any,
    // so this is the hook for one that would.
    virtual void ResetComputations() { }
    // Background, degrade, fill and borders of the site laid out over Rect (the site's whole bounds
    // there) on Target.
    void DrawFrame(TRLGraphicSurface* Target, const TRect& Rect);
    // The surface this site is drawn into: its parent site's.
    virtual TRLGraphicSurface* TargetSurface() const;
    // Design bounds of the site and of every engine control inside it.
    void SaveBoundsTree();
    void RestoreBoundsTree();
    // Forgets a print left open by a failed run, drawing nothing, here and in every site inside.
    void AbandonPrint();

protected:
    bool FAutoExpand = false;
    TRect FPrintPosition;

    void AlignControls(TControl* AControl, QRect& Rect) override;
    // The steps of open and close, in their order.
    virtual void PrepareToOpen() { }
    virtual void ComputePrintPosition();
    virtual void OpenContent();
    virtual void AfterOpen() { }
    virtual void PrintContent() { }
    virtual void CloseContent() { }
    virtual void AddBottomFrame() { }
    virtual void DrawIntoParent();
    virtual void AfterClose() { }
    // The third pass of a band: child sites that decide to print are sized and printed.
    void PrintChildSites();

private:
    bool FSiteOpen = false;
    bool FSitePrinting = false;
    // The bounds saved by SaveBoundsTree, of the site and of the controls inside it.
    QRect FSavedBounds;
    QList<QPair<QPointer<TRLCustomControl>, QRect>> FSavedTree;
    TRLBackground* FBackground = nullptr;
    TRLDegradeEffect* FDegrade = nullptr;
    TRLMargins* FMargins = nullptr;
    TRLMargins* FInsideMargins = nullptr;
    std::unique_ptr<TRLGraphicSurface> FSurface;

    // Every control below the site, depth first in child order, as last collected. A pager walks
    // its whole tree for each detail band it prints; the list stands while no control list of the
    // program changed (TControl::TreeGeneration) and the site kept its class.
    struct TDescendant
    {
        const TControl* Node = nullptr;
        const QMetaObject* Class = nullptr;
        TRLCustomControl* Control = nullptr; // null for a platform control
        bool IsSite = false;
    };
    mutable std::vector<TDescendant> FDescendants;
    mutable bool FDescendantsKnown = false;
    mutable QList<TControl*> FCreationOrder;
    mutable bool FCreationOrderKnown = false;
    mutable quint64 FCreationOrderGeneration = 0;
    mutable quint64 FDescendantsGeneration = 0;
    mutable const QMetaObject* FDescendantsClass = nullptr;
    const std::vector<TDescendant>& Descendants() const;
};

class TRLCustomBandSet : public TRLCustomSite
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLCustomBandSet(TComponent* AOwner = nullptr);
};

class TRLCustomBand : public TRLCustomBandSet
{
    Q_OBJECT
    Q_PROPERTY(RLTypes::TRLBandType BandType READ BandType WRITE SetBandType)
public:
    Q_INVOKABLE explicit TRLCustomBand(TComponent* AOwner = nullptr);

    TRLBandType BandType() const { return FBandType; }
    void SetBandType(TRLBandType value);
    // The copy being printed, 0 to CarbonCopies - 1.
    int CopyIndex() const { return FCopyIndex; }
    void SetCopyIndex(int value) { FCopyIndex = value; }

    bool Computable() const { return FComputable; }
    void SetComputable(bool value) { FComputable = value; }
    TRLPageBreaking PageBreaking() const { return FPageBreaking; }
    void SetPageBreaking(TRLPageBreaking value) { FPageBreaking = value; }
    TRLCompletionType Completion() const { return FCompletion; }
    void SetCompletion(TRLCompletionType value) { FCompletion = value; }
    bool AlignToBottom() const { return FAlignToBottom; }
    void SetAlignToBottom(bool value) { FAlignToBottom = value; }
    // Values below 1 are stored as 1; a band of a block passes its value to the whole block.
    int CarbonCopies() const { return FCarbonCopies; }
    void SetCarbonCopies(int value);
    // Negative values are stored as 0; joining a block takes the block's CarbonCopies.
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);
    bool IntegralHeight() const { return FIntegralHeight; }
    void SetIntegralHeight(bool value) { FIntegralHeight = value; }
    TRLBandOptions Options() const { return FOptions; }
    void SetOptions(TRLBandOptions value) { FOptions = value; }

    TRLBeforePrintEvent& BeforePrint = FBeforePrint;

    // --- generation ------------------------------------------------------------------------
    // The height the band had when it was last placed (0 before its first placement).
    int LastPlacedHeight() const { return FLastPlacedHeight; }
    // A detail that counts as data: computable, and neither a filler nor a blank band.
    bool IsCountedDetail() const;
    // Whether Height fits between the pager's current row and its ordinary bottom; Available is the
    // room there.
    bool HeightFits(int Height, int& Available) const;
    // Before the band is asked to print: a band that will not fit, and may not be split, moves to a
    // new page first (column footers and footers never do).
    void CheckFit();
    // Asks the pager for a page change with this band as its caller (Force: always granted), then
    // recomputes the print position. Returns whether the page changed.
    bool NewPageForBand(bool Force);
    // Band print: counts, site print (placing the band), data-printed flags.
    void PrintControl() override;

protected:
    void ComputePrintPosition() override;
    void OpenContent() override;
    void DrawIntoParent() override;
    void AfterClose() override;

private:
    bool IsFillerOrBlank() const;
    TRLBandType FBandType = btDetail;
    int FCopyIndex = 0;
    bool FComputable = true;
    TRLPageBreaking FPageBreaking = pbNone;
    TRLCompletionType FCompletion = ctNone;
    bool FAlignToBottom = false;
    int FCarbonCopies = 1;
    int FGroupIndex = 0;
    bool FIntegralHeight = true;
    TRLBandOptions FOptions;
    int FLastPlacedHeight = 0;
};

// The published band.
class TRLBand : public TRLCustomBand
{
    Q_OBJECT
    Q_PROPERTY(bool Computable READ Computable WRITE SetComputable)
    Q_PROPERTY(RLTypes::TRLPageBreaking PageBreaking READ PageBreaking WRITE SetPageBreaking)
    Q_PROPERTY(RLTypes::TRLCompletionType Completion READ Completion WRITE SetCompletion)
    Q_PROPERTY(bool AlignToBottom READ AlignToBottom WRITE SetAlignToBottom)
    Q_PROPERTY(int CarbonCopies READ CarbonCopies WRITE SetCarbonCopies)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE SetGroupIndex)
    Q_PROPERTY(bool IntegralHeight READ IntegralHeight WRITE SetIntegralHeight)
    Q_PROPERTY(RLTypes::TRLBandOptions Options READ Options WRITE SetOptions)
public:
    Q_INVOKABLE explicit TRLBand(TComponent* AOwner = nullptr);
};

class TRLCustomPager : public TRLCustomBandSet
{
    Q_OBJECT
    Q_PROPERTY(int MaxBands READ MaxBands WRITE SetMaxBands)
    Q_PROPERTY(int MinBands READ MinBands WRITE SetMinBands)
    Q_PROPERTY(bool ForceMinBands READ ForceMinBands WRITE SetForceMinBands)
    Q_PROPERTY(RLTypes::TRLFooterMeasuring FooterMeasuring READ FooterMeasuring WRITE SetFooterMeasuring)
    Q_PROPERTY(RLTypes::TRLPageBreaking PageBreaking READ PageBreaking WRITE SetPageBreaking)
public:
    Q_INVOKABLE explicit TRLCustomPager(TComponent* AOwner = nullptr);

    int MaxBands() const { return FMaxBands; }
    void SetMaxBands(int value) { FMaxBands = value; }
    int MinBands() const { return FMinBands; }
    void SetMinBands(int value) { FMinBands = value; }
    bool ForceMinBands() const { return FForceMinBands; }
    void SetForceMinBands(bool value) { FForceMinBands = value; }
    TRLFooterMeasuring FooterMeasuring() const { return FFooterMeasuring; }
    void SetFooterMeasuring(TRLFooterMeasuring value) { FFooterMeasuring = value; }
    // A nested pager (group, skipper) asks for a page before or after its run.
    TRLPageBreaking PageBreaking() const { return FPageBreaking; }
    void SetPageBreaking(TRLPageBreaking value) { FPageBreaking = value; }

    // --- generation ------------------------------------------------------------------------
    // The enclosing pager, or null for the outermost.
    TRLCustomPager* EnclosingPager() const { return ParentPager(); }
    // Where the next band goes, in the pager's own coordinates.
    int CurrentRow() const { return FCurrentRow; }
    void SetCurrentRow(int value) { FCurrentRow = value; }
    // Advances the row after a band or a nested pager was placed.
    void AdvanceRow(int Height);
    int DetailsOnPage() const { return FDetailsOnPage; }
    void IncDetailsOnPage() { ++FDetailsOnPage; }
    bool DataPrintedOnPage() const { return FDataPrintedOnPage; }
    // Sets the flag here and on every enclosing pager.
    void MarkDataPrinted();
    TRLCustomBand* NewPageCaller() const { return FNewPageCaller; }
    // Whether a new page would give a band more room: something was placed since the page began,
    // here or in an enclosing pager.
    bool PageHasContent() const;
    // Counts pages begun, so loops can tell that a page changed under them.
    int PageSerial() const { return FPageSerial; }

    // Rebuilds the band lists of this pager and of every pager inside it.
    void BuildSortedBands();
    // All printed flags off, detail count 0, page counters reset.
    void ResetPager();
    // One record: footer measuring, nested groups and skippers, then the detail bands.
    void RecordStep();
    // Prints the list of one band type; false when it stopped at the new-page caller.
    bool PrintBandList(TRLBandType Type);
    // One band inside this pager: design bounds saved and restored, fit pre-check, decide, size,
    // print, AfterPrint.
    void PrintBand(TRLCustomBand* Band);
    // End of the pager's data: completion, column footers, summary, footers, last page end.
    virtual void ClosePager();
    // Filler bands on the last page.
    void Complete();
    // A page change asked by Caller: granted when Force, or when data is on the page and MinBands
    // allows. Returns whether the page changed.
    bool RequestNewPage(TRLCustomBand* Caller, bool Force);
    // Usable height, in the pager's own coordinates.
    int OrdinaryBottom() const;
    int AlignedSummaryBottom() const;
    int AlignedColumnFooterBottom() const;
    // Re-measures the footer bands of this pager and of every enclosing pager.
    void MeasureFooters();
    void ComputeDetail(TRLCustomControl* Caller) override;

    // Data detail bands printed since the run began.
    int DetailCount() const { return FDetailCount; }
    void SetDetailCount(int value) { FDetailCount = value; }
    // True while the last page is completed with filler bands.
    bool IsCompleting() const { return FCompleting; }
    void SetCompleting(bool value) { FCompleting = value; }

    TRLSortedBands& SortedBands() { return FSortedBands; }
    const TRLSortedBands& SortedBands() const { return FSortedBands; }

protected:
    void PrepareToOpen() override;
    void OpenContent() override;
    void CloseContent() override;
    void AddBottomFrame() override;
    void ComputePrintPosition() override;
    void DrawIntoParent() override;
    void AfterClose() override;
    // The report's page events; nothing for other pagers.
    virtual void PageStarting() { }
    virtual void PageEnding() { }
    // Heights of the visible bands of a type on this pager and every enclosing one (all of them, or
    // only those aligned to the bottom).
    int ReservedHeight(TRLBandType Type, bool AlignedOnly) const;
    // The run of a nested pager (group or skipper) as an element of its enclosing pager: the
    // page-break request before it, and after it.
    void RequestBreakBefore();
    void RequestBreakAfter();

private:
    int FDetailCount = 0;
    bool FCompleting = false;
    TRLSortedBands FSortedBands;
    int FMaxBands = 0;
    int FMinBands = 0;
    bool FForceMinBands = false;
    TRLFooterMeasuring FFooterMeasuring = fmNone;
    TRLPageBreaking FPageBreaking = pbNone;
    int FCurrentRow = 0;
    int FDetailsOnPage = 0;
    bool FDataPrintedOnPage = false;
    bool FPlacedOnPage = false;
    bool FInPageBegin = false;
    int FPageSerial = 0;
    TRLCustomBand* FNewPageCaller = nullptr;
};

using TRLOnGetBreakEvent = std::function<void(TRLCustomControl* Sender, bool& BreakIt)>;

// A pager nested in another that repeats its bands while its break key stays the same. The key is
// the text of DataFormula when set, else the field texts of DataFields (names separated by ";");
// with OnGetBreak assigned the handler decides instead of the key comparison. A disabled group takes
// its decisions from the nearest enclosing group.
class TRLCustomGroup : public TRLCustomPager
{
    Q_OBJECT
    Q_PROPERTY(QString DataFields READ DataFields WRITE SetDataFields)
    Q_PROPERTY(QString DataFormula READ DataFormula WRITE SetDataFormula)
public:
    Q_INVOKABLE explicit TRLCustomGroup(TComponent* AOwner = nullptr);

    QString DataFields() const { return FDataFields; }
    void SetDataFields(const QString& value) { FDataFields = value; }
    QString DataFormula() const { return FDataFormula; }
    void SetDataFormula(const QString& value) { FDataFormula = value; }
    TRLOnGetBreakEvent OnGetBreak;

    // The current break key; throws when a field name is not in the data set.
    QString BreakKey();
    // The group's run: rounds of records while the key stays the same.
    void PrintControl() override;

protected:
    // Whether the records reached a break; a disabled group asks the enclosing group, and a break
    // found there ends that group's round too.
    bool CheckBreak();

private:
    QString FDataFields;
    QString FDataFormula;
    QString FLastKey;
    bool FBreakFlag = false;
};

class TRLGroup : public TRLCustomGroup
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLGroup(TComponent* AOwner = nullptr);
    TRLBeforePrintEvent& BeforePrint = FBeforePrint;
};

using TRLOnNeedDataEvent = std::function<void(TRLCustomControl* Sender, bool& MoreData)>;
using TRLOnDataCountEvent = std::function<void(TRLCustomControl* Sender, int& DataCount)>;
using TRLOnDataRecordEvent = std::function<void(
    TRLCustomControl* Sender, int RecNo, int CopyNo, bool& Eof, TRLRecordAction& RecordAction)>;

class TRLCustomSkipper : public TRLCustomPager
{
    Q_OBJECT
    Q_PROPERTY(TDataSource* DataSource READ DataSource WRITE SetDataSource)
    Q_PROPERTY(RLTypes::TRLRecordRange RecordRange READ RecordRange WRITE SetRecordRange)
    Q_PROPERTY(int RangeCount READ RangeCount WRITE SetRangeCount)
    Q_PROPERTY(bool PrintEmpty READ PrintEmpty WRITE SetPrintEmpty)
public:
    Q_INVOKABLE explicit TRLCustomSkipper(TComponent* AOwner = nullptr);

    TDataSource* DataSource() const;
    void SetDataSource(TDataSource* value);
    // The data source's data set, or null.
    TDataSet* DataSet() const;
    TRLRecordRange RecordRange() const { return FRecordRange; }
    void SetRecordRange(TRLRecordRange value) { FRecordRange = value; }
    int RangeCount() const { return FRangeCount; }
    void SetRangeCount(int value) { FRangeCount = value; }
    bool PrintEmpty() const { return FPrintEmpty; }
    void SetPrintEmpty(bool value) { FPrintEmpty = value; }
    bool IsPropertyStored(const QMetaProperty& property) const override;

    TRLOnNeedDataEvent OnNeedData;
    TRLOnDataCountEvent OnDataCount;
    TRLOnDataRecordEvent OnDataRecord;

    // --- generation ------------------------------------------------------------------------
    bool Eof() const { return FEof; }
    bool RecordMoved() const { return FRecordMoved; }
    void SetRecordMoved(bool value) { FRecordMoved = value; }
    // Records for the progress bar: OnDataCount, else the active data set's count, else 0.
    virtual int DataCount();
    virtual void FetchFirst();
    virtual void FetchNext();
    // The run of a nested skipper as an element of its enclosing pager.
    void PrintControl() override;
    // The record loop shared by the report and nested skippers: fetch first, record steps until the
    // end of the data or a cancel, PrintEmpty handling, close.
    void RunRecords();

    // The decision of the per-record event for the current record.
    TRLRecordAction RecordAction() const { return FRecordAction; }
    void SetRecordAction(TRLRecordAction value) { FRecordAction = value; }
    // Records used so far (from 1) and repetitions of the current one (from 1).
    int RecNo() const { return FRecNo; }
    void SetRecNo(int value) { FRecNo = value; }
    int CopyNo() const { return FCopyNo; }
    void SetCopyNo(int value) { FCopyNo = value; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    // Asks the record source for a record: the data set (moving as told) or OnNeedData.
    bool MoreFromSource(bool moveFirst, bool moveNext);
    // Sets the end of data from More and asks OnDataRecord; true when the record is to be skipped.
    bool DecideRecord(bool more);
    TRLRecordAction FRecordAction = raUseIt;
    int FRecNo = 0;
    int FCopyNo = 0;
    TDataSource* FDataSource = nullptr;
    TRLRecordRange FRecordRange = rrAllRecords;
    int FRangeCount = 0;
    bool FPrintEmpty = false;
    bool FEof = true;
    bool FRecordMoved = false;

protected:
    // Sets PrintEmpty's default during construction (a report prints an empty page by default).
    struct TPrintEmptyDefault
    {
        explicit TPrintEmptyDefault(TRLCustomSkipper* skipper) { skipper->FPrintEmpty = true; }
    };
};

// Preview window settings a report hands to the preview. The window-state, position, form-style and
// border-icon values are numbers the preview layer knows (maximised 2, as designed 0, normal 0,
// system menu 1).
class TRLPreviewOptions : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(RLTypes::TRLPreviewOptionsDefaults Defaults READ Defaults WRITE SetDefaults)
    Q_PROPERTY(int WindowState READ WindowState WRITE SetWindowState)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(int FormStyle READ FormStyle WRITE SetFormStyle)
    Q_PROPERTY(bool ShowModal READ ShowModal WRITE SetShowModal)
    Q_PROPERTY(int BorderIcons READ BorderIcons WRITE SetBorderIcons)
    Q_PROPERTY(QString HelpFile READ HelpFile WRITE SetHelpFile)
    Q_PROPERTY(int HelpContext READ HelpContext WRITE SetHelpContext)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    Q_INVOKABLE explicit TRLPreviewOptions(QObject* parent = nullptr);
    TRLPreviewOptionsDefaults Defaults() const { return FDefaults; }
    void SetDefaults(TRLPreviewOptionsDefaults value) { FDefaults = value; }
    int WindowState() const { return FWindowState; }
    void SetWindowState(int value) { FWindowState = value; }
    int Position() const { return FPosition; }
    void SetPosition(int value) { FPosition = value; }
    int FormStyle() const { return FFormStyle; }
    void SetFormStyle(int value) { FFormStyle = value; }
    bool ShowModal() const { return FShowModal; }
    void SetShowModal(bool value) { FShowModal = value; }
    int BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(int value) { FBorderIcons = value; }
    QString HelpFile() const { return FHelpFile; }
    void SetHelpFile(const QString& value) { FHelpFile = value; }
    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int value) { FHelpContext = value; }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; }
    void Assign(const TPersistent* Source) override;
    // Caption is stored only when it differs from the engine's "preview" message.
    bool IsPropertyStored(const QMetaProperty& property) const override;

private:
    TRLPreviewOptionsDefaults FDefaults = pdUseDefaults;
    int FWindowState = 2;
    int FPosition = 0;
    int FFormStyle = 0;
    bool FShowModal = false;
    int FBorderIcons = 1;
    QString FHelpFile;
    int FHelpContext = 0;
    QString FCaption;
};

// The report: a skipper with the page setup, the run's state and the services its controls use. It
// is white, opaque to nothing (its Color is its paper), 10 mm margins on every side, and its size is
// the laid-out paper in report pixels (with fpDefault, whatever Width and Height it has).
class TRLCustomReport : public TRLCustomSkipper
{
    Q_OBJECT
    Q_PROPERTY(TRLPageSetup* PageSetup READ PageSetup WRITE SetPageSetup)
    Q_PROPERTY(RLTypes::TRLPrintQuality PrintQuality READ PrintQuality WRITE SetPrintQuality)
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_PROPERTY(int FirstPageNumber READ FirstPageNumber WRITE SetFirstPageNumber)
    Q_PROPERTY(TRLExpressionParser* ExpressionParser READ ExpressionParser WRITE SetExpressionParser)
    Q_PROPERTY(bool ShowProgress READ ShowProgress WRITE SetShowProgress)
    Q_PROPERTY(bool ForcePrepare READ ForcePrepare WRITE SetForcePrepare)
    Q_PROPERTY(bool PrintDialog READ PrintDialog WRITE SetPrintDialog)
    Q_PROPERTY(bool AdjustableMargins READ AdjustableMargins WRITE SetAdjustableMargins)
    Q_PROPERTY(TRLCustomReport* NextReport READ NextReport WRITE SetNextReport)
    Q_PROPERTY(TRLPreviewOptions* PreviewOptions READ PreviewOptions WRITE SetPreviewOptions)
    Q_PROPERTY(TComponent* DefaultFilter READ DefaultFilter WRITE SetDefaultFilter)
public:
    Q_INVOKABLE explicit TRLCustomReport(TComponent* AOwner = nullptr);
    ~TRLCustomReport() override;

    bool ShowProgress() const { return FShowProgress; }
    void SetShowProgress(bool value) { FShowProgress = value; }
    bool ForcePrepare() const { return FForcePrepare; }
    void SetForcePrepare(bool value) { FForcePrepare = value; }
    bool PrintDialog() const { return FPrintDialog; }
    void SetPrintDialog(bool value) { FPrintDialog = value; }
    bool AdjustableMargins() const { return FAdjustableMargins; }
    void SetAdjustableMargins(bool value);
    // Pairs with PriorReport; a report cannot follow itself, and a chain may not loop.
    TRLCustomReport* NextReport() const { return FNextReport; }
    void SetNextReport(TRLCustomReport* value);
    TRLPreviewOptions* PreviewOptions() const { return FPreviewOptions; }
    void SetPreviewOptions(TRLPreviewOptions* value);
    // The print filter preselected for printing (a TRLCustomPrintFilter of the filters layer; any
    // other component is not offered). Forgotten when it is destroyed.
    TComponent* DefaultFilter() const { return FDefaultFilter; }
    void SetDefaultFilter(TComponent* value) { FDefaultFilter = value; }
    // Help topic of the print dialog.
    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int value) { FHelpContext = value; }

    TRLBeforePrintEvent& BeforePrint = FBeforePrint;
    TRLNotifyEvent OnPageStarting;
    TRLNotifyEvent OnPageEnding;

    // --- generation ------------------------------------------------------------------------
    // All prepared pages; the preview and the filters link to it while they read it.
    TRLGraphicStorage* Storage() const { return FStorage; }
    // Drops the page being assembled and every page, back to idle.
    void Clear();
    // Prepares every page; false when cancelled, refused by BeforePrint or failed (the error is
    // shown through the preparation error handler and kept in LastError).
    bool Prepare();
    // Prepares when needed and shows the pages through the registered preview; false when nothing
    // was shown.
    bool Preview();
    // Sets the printer's paper, lets the user choose (unless PrintDialog is off), prepares when the
    // report is idle and sends the pages through the chosen filter. A cancelled dialog sets the
    // cancelled flag and throws the silent abort; without a printing layer it fails with "printer not
    // found". A failed preparation was reported already and ends the operation quietly.
    void Print();
    QString LastError() const { return FLastError; }
    // The report values a finished preparation writes into Store (first and last page number,
    // title, orientation, paper and page size), for a store of PageCount pages. A pipelined export
    // gives its writer these values before the pages are known, and checks them at the end.
    void WriteStorageValues(TRLGraphicStorage& Store, int PageCount) const;
    bool Cancelled() const { return FCancelled; }
    // Sets the cancelled flag; the record loop stops before the next record.
    void Cancel() { FCancelled = true; }
    // Set after a band that breaks the page after itself; the next detail or summary consumes it.
    bool PageBreakRequested() const { return FPageBreakRequested; }
    void SetPageBreakRequested(bool value) { FPageBreakRequested = value; }
    // The progress display of the run (the master's, for a chained report), or null.
    TRLProgress* Progress() const;
    // The printer's unprintable margins in report pixels (left, top, right, bottom), orientation
    // applied, from the metrics read at creation and at each preparation.
    TRect PrinterMargins() const;
    void ReadPrinterMetrics();
    TRect MarginPixels() const override;
    void FetchNext() override;

    TRLPageSetup* PageSetup() const { return FPageSetup; }
    void SetPageSetup(TRLPageSetup* value);
    TRLPrintQuality PrintQuality() const { return FPrintQuality; }
    void SetPrintQuality(TRLPrintQuality value) { FPrintQuality = value; }
    QString Title() const { return FTitle; }
    void SetTitle(const QString& value) { FTitle = value; }
    int FirstPageNumber() const { return FFirstPageNumber; }
    void SetFirstPageNumber(int value) { FFirstPageNumber = value; }
    // Evaluates DataFormula texts; released by a removal notice.
    TRLExpressionParser* ExpressionParser() const { return FExpressionParser; }
    void SetExpressionParser(TRLExpressionParser* value);

    TRLReportState State() const { return FState; }
    void SetState(TRLReportState value) { FState = value; }
    // Pages already stored in this run; the page being prepared has this index.
    int PageIndex() const { return FPageIndex; }
    void SetPageIndex(int value) { FPageIndex = value; }
    int PageNumber() const { return FFirstPageNumber + FPageIndex; }
    // The moment preparation began.
    QDateTime ReportDateTime() const { return FReportDateTime; }
    void SetReportDateTime(const QDateTime& value) { FReportDateTime = value; }
    // The report whose NextReport this one is, for chained reports.
    TRLCustomReport* PriorReport() const { return FPriorReport; }
    void SetPriorReport(TRLCustomReport* value) { FPriorReport = value; }
    // The control whose formula the expression parser is evaluating.
    TRLCustomControl* FormulaControl() const { return FFormulaControl; }
    void SetFormulaControl(TRLCustomControl* value) { FFormulaControl = value; }

    // Applied to every text a control prints; Sender is the report.
    TRLBeforeTextEvent OnFilterText;

    // The page size in report pixels taken from the page setup (fpDefault keeps the current size).
    void UpdatePageSize();
    void GeometryChanged(TPersistent* Sender, bool Resize) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    void ComputePrintPosition() override;
    void DrawIntoParent() override;
    void AfterClose() override;
    void PageStarting() override;
    void PageEnding() override;

private:
    bool PrepareRun(bool& ownsProgress);
    void FinishStorage();
    // Points the expression parser's hooks at this report for the run; returns the hooks it had.
    TRLParserHooks InstallParserHooks();
    TRLPageSetup* FPageSetup = nullptr;
    // Initialised here, in declaration order, because the report's constructor is shared with the
    // controls' unit: the store is created with the report and linked to it.
    TPrintEmptyDefault FPrintEmptyDefault { this };
    // Before the store, whose creation reads the printer's metrics into it.
    TRLPrinterMetrics FPrinterMetrics;
    TRLPreviewOptions* FPreviewOptions = new TRLPreviewOptions(this);
    TRLGraphicStorage* FStorage = NewStorage();
    TRLGraphicStorage* NewStorage();
    std::unique_ptr<TRLGraphicSurface> FPageSurface;
    std::unique_ptr<TRLProgress> FProgress;
    QPointer<TRLCustomReport> FNextReport;
    QString FLastError;
    bool FShowProgress = true;
    bool FForcePrepare = true;
    bool FPrintDialog = true;
    bool FAdjustableMargins = false;
    bool FCancelled = false;
    bool FPageBreakRequested = false;
    QString FStepName;
    // When the event loop last had a turn during a run without progress display.
    QElapsedTimer FEventsTimer;
    TRLPrintQuality FPrintQuality = pqFullFeature;
    QString FTitle;
    int FFirstPageNumber = 1;
    TRLExpressionParser* FExpressionParser = nullptr;
    TRLReportState FState = rsIdle;
    int FPageIndex = 0;
    QDateTime FReportDateTime;
    QPointer<TRLCustomReport> FPriorReport;
    QPointer<TRLCustomControl> FFormulaControl;
    QPointer<TComponent> FDefaultFilter;
    int FHelpContext = 0;
};

// The published report.
class TRLReport : public TRLCustomReport
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLReport(TComponent* AOwner = nullptr);
};
