#pragma once
// Filters turn the pages of a page store into some output: the printer, a PDF document, a
// spreadsheet. A filter is a component; every live filter is in one process-wide list in creation
// order, which the print and save dialogs read to offer the filters to the user.
//
// The run protocol (ProcessPages) is the same for every filter: BeginDocument once, then for every
// page NewPage (before all but the first) and DrawPage, and EndDocument once at the end, also when a
// page fails or the user cancels. While it runs the filter holds a link on the page store, so a
// store handed to a background run stays alive until the run ends.
//
// A run reads its pages through a page reader of its own (made when the run starts, on the caller's
// thread), never through the store's cache: so a background run and the preview, which pages
// through the same store on the main thread, never share a cached page or the swap file position,
// and a foreground run gives the very same pages as a background one.
//
// Output that must not be passed off as complete: when EndDocument is called after a failure, a
// cancel or a page that could not be read back, RunAborted() is true, and a save filter then throws
// its output away instead of putting it under the user's file name.
#include "platform/Component.h"

#include <QList>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

class TRLGraphicStorage;
class TRLGraphicSurface;
class TRLPageReader;
class TRLProgress;
class TFilterThread;

class TRLCustomFilter : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(QString DisplayName READ DisplayName WRITE SetDisplayName)
    Q_PROPERTY(bool ShowProgress READ ShowProgress WRITE SetShowProgress)
public:
    explicit TRLCustomFilter(TComponent* AOwner = nullptr);
    ~TRLCustomFilter() override;

    QString DisplayName() const { return FDisplayName; }
    void SetDisplayName(const QString& Value) { FDisplayName = Value; }
    bool ShowProgress() const { return FShowProgress; }
    void SetShowProgress(bool Value) { FShowProgress = Value; }

    // DisplayName, or the component name when DisplayName is empty.
    virtual QString GetDisplayName() const;

    // Runs the filter over pages FirstPage..LastPage (1-based; LastPage -1 means the last page) of
    // Pages, on the caller's thread or, when Background, on a new filter thread (and then returns at
    // once). A foreground failure propagates to the caller after EndDocument has run.
    void ProcessPages(TRLGraphicStorage* Pages, int FirstPage, int LastPage, bool Background);

    // The page store of the run in progress, or null.
    TRLGraphicStorage* Pages() const { return FPages; }
    int FirstPage() const { return FFirstPage; }
    int LastPage() const { return FLastPage; }
    bool Canceled() const { return FCanceled.load(); }
    // Asks the run to stop after the page being drawn (the progress window's cancel button).
    void Cancel() { FCanceled.store(true); }
    // True while EndDocument is called for a run that did not reach its last page whole.
    bool RunAborted() const { return FRunAborted; }

    bool IsPropertyStored(const QMetaProperty& property) const override;
    // An instance made only to read defaults from is no filter of the program: the dialogs and
    // the save-filter look-up must never offer it.
    void BecameDefaultInstance() override;

protected:
    virtual void BeginDocument() = 0;
    virtual void EndDocument() = 0;
    virtual void NewPage() = 0;
    virtual void DrawPage(TRLGraphicSurface* Surface) = 0;

    void Notification(TComponent* Component, TOperation Operation) override;

private:
    friend class TFilterThread;
    friend class TRLPipelinedExport;
    // Where a pipelined run takes its pages from: page Index, or null with End set after the last
    // one (null without End is a page that cannot be read). The page stays good until the next call.
    using TPageSource = std::function<TRLGraphicSurface*(int Index, bool& End)>;
    void SetPages(TRLGraphicStorage* Value);
    // The run itself; Thread is the filter thread, or null on the caller's thread. With a Source
    // the pages come from it until it has no more (their number unknown beforehand), no progress
    // is shown and the pages stay set: the pipeline that runs it lets go of them on the main thread.
    void Run(TFilterThread* Thread, const TPageSource& Source = {});
    // Does Step on the main thread and waits for it; exceptions come back to the caller.
    void OnMainThread(TFilterThread* Thread, const std::function<void()>& Step);

    QString FDisplayName;
    TRLGraphicStorage* FPages = nullptr;
    std::unique_ptr<TRLPageReader> FReader;
    std::unique_ptr<TRLProgress> FProgress;
    bool FShowProgress = true;
    std::atomic<bool> FCanceled { false };
    bool FRunAborted = false;
    int FFirstPage = 1;
    int FLastPage = 0;
};

// A filter the print dialog offers, with options of its own.
class TRLCustomPrintFilter : public TRLCustomFilter
{
    Q_OBJECT
public:
    explicit TRLCustomPrintFilter(TComponent* AOwner = nullptr)
        : TRLCustomFilter(AOwner)
    { }

    // Caption of the options choice; empty by default.
    virtual QString GetOptionsLabel() const { return {}; }
    // The option texts, or an empty list, which hides the options choice.
    virtual QStringList GetOptions() const { return {}; }
    virtual int GetOptionIndex() const { return -1; }
    virtual void SetOptionIndex(int Index) { Q_UNUSED(Index); }
    // The orientation of the pages about to be printed (1 portrait, 2 landscape), told before the
    // options are listed.
    virtual void SetOrientation(int Orientation) { Q_UNUSED(Orientation); }
};

// A filter the save dialog offers, writing a file.
class TRLCustomSaveFilter : public TRLCustomFilter
{
    Q_OBJECT
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
public:
    explicit TRLCustomSaveFilter(TComponent* AOwner = nullptr)
        : TRLCustomFilter(AOwner)
    { }

    QString FileName() const { return FFileName; }
    void SetFileName(const QString& Value) { FFileName = Value; }
    // With its leading dot (".pdf"); a value given without the dot gets one.
    QString DefaultExt() const { return FDefaultExt; }
    void SetDefaultExt(const QString& Value);
    // Whether the writer has what it writes from. The save dialog lists only those that have: a
    // saved report's window has the pages but not the rows the data writers need.
    virtual bool HasSource() const { return true; }

private:
    QString FFileName;
    QString FDefaultExt;
};

// Runs one filter's run on a thread of its own and frees itself when the run ends: made suspended,
// then Start()ed; after that only the thread touches it. A platform thread that nobody joins, as a
// background print is: its start and its end are ordered by the C library's own thread operations
// and by the steps it hands to the main thread, which a thread checker can follow (Qt's thread
// class ends through locks of its own that it cannot).
class TFilterThread
{
public:
    explicit TFilterThread(TRLCustomFilter* Filter);
    TFilterThread(const TFilterThread&) = delete;
    TFilterThread& operator=(const TFilterThread&) = delete;
    void Start();

private:
    ~TFilterThread() = default;
    void Body();
    TRLCustomFilter* FFilter;
};

// Every live filter in creation order.
const QList<TRLCustomFilter*>& FilterList();

// The first save filter whose default extension equals FileName's extension (case-insensitive,
// leading dots added where missing), or null. With an Owner, only the filters it owns count (a
// report's own writers, not another window's).
TRLCustomSaveFilter* SaveFilterForFile(const QString& FileName, const TComponent* Owner = nullptr);

// The default printer filter: one spool filter without owner, name or display name, made on first
// use and freed at shut-down. (Defined with the spool filter.)
TRLCustomPrintFilter* DefaultPrintFilter();

// Runs Filter over the pages, or the default printer filter when Filter is null. (Defined with the
// spool filter.)
void PrintPages(
    TRLGraphicStorage* Pages, TRLCustomFilter* Filter, int FirstPage, int LastPage, bool Background);

// A background run's failure reaches the services' FilterError (engine/RLServices.h).
