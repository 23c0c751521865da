#pragma once
// A pipelined export: the report prepares page n+1 on the calling thread while a save filter writes
// page n on a thread of its own, so both cores work through a long report.
//
// Ownership and contracts:
// - The writing thread never touches the report's page store while pages are added. The store
//   hands every page record it writes (TRLGraphicStorage::SetPageStoredProc) to a queue of a few
//   pages; the thread reads its own copy of each page from those bytes and writes it. Preparation
//   waits while the queue is full, so memory stays flat however long the report is.
// - The file is byte for byte the one the sequential export writes (Prepare, then ProcessPages):
//   - the writer begins its document with the report values that the finished preparation will
//     write into the store (TRLCustomReport::WriteStorageValues), and they are checked at the end;
//   - a page that holds a "{...}" placeholder, such as "{LastPageNumber}", whose value is known
//     only when the last page is done, makes the writer wait for the end of the preparation (no
//     writer here has a forward reference that keeps the bytes: a PDF content stream and a
//     spreadsheet cell hold the text itself); from there on it reads the pages from the finished
//     store, which nobody else uses by then, as the sequential export does;
//   - when the end shows that what was streamed cannot be trusted (a page written was stored again,
//     the store was emptied, the report values differ), the writer throws its output away before
//     committing it and Run writes the file again the sequential way.
// - Run returns false when the preparation did not complete (refused, cancelled, failed: the report
//   has shown its error); nothing is written then. A failure of the writer is thrown once the
//   preparation has ended, as the sequential export would throw it after preparing. A run stopped
//   short leaves the filter's RunAborted() set, as ProcessPages does.
// - Run is called on the main thread, and the filter is used by nothing else meanwhile.
#include <QString>

#include <memory>

class TRLCustomReport;
class TRLCustomSaveFilter;

class TRLPipelinedExport
{
public:
    TRLPipelinedExport(TRLCustomReport* Report, TRLCustomSaveFilter* Filter);
    ~TRLPipelinedExport();
    TRLPipelinedExport(const TRLPipelinedExport&) = delete;
    TRLPipelinedExport& operator=(const TRLPipelinedExport&) = delete;

    // Prepares the report and writes the filter's file (its FileName) at the same time.
    bool Run();

    // After Run: whether the file came from the pipeline, or else why it was written again the
    // sequential way ("" when it was not).
    bool Pipelined() const { return FPipelined; }
    QString FallbackReason() const { return FFallbackReason; }
    // After Run: whether the writer had to wait for the end of the preparation.
    bool WaitedForEnd() const { return FWaitedForEnd; }

    // Pages the queue between the two threads holds at most.
    static constexpr int QueueCapacity = 8;

private:
    struct TFeed;
    TRLCustomReport* FReport;
    TRLCustomSaveFilter* FFilter;
    bool FPipelined = false;
    bool FWaitedForEnd = false;
    QString FFallbackReason;
};

// Whether an export through Filter may pipeline: only for a writer whose file comes from the pages
// and the report values alone (the PDF and .xls writers; the data writers read a table that the
// application fills while preparing, which the writing thread must not read meanwhile), only when
// the save shows no progress of its own (no progress display is registered, or the filter's
// ShowProgress is off: on a terminal the export keeps its page-by-page save line and cancel), and
// unless QB_EXPORT_SEQUENTIAL is set to anything but "0" (for comparing the two ways and measuring).
bool RLPipelinedExportSuits(const TRLCustomSaveFilter* Filter);
