// Hostile page records through the PDF writer: whatever the page reader accepts, the writer must turn
// into a file or fail with an Exception; never a crash, a hang or a giant allocation. The first byte
// is not read (the writer resets its options for every document); it keeps the input form of the
// spreadsheet fuzzer, so the two share a corpus shape.
#include "WriterFuzzSupport.h"

#include "filters/RLPDFFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    EnsureFuzzApplication("PDFWriterFuzz");
    if (size < 1)
        return 0;
    static const QString file = FuzzOutputFolder() + QStringLiteral("/out.pdf");
    TComponent owner;
    TRLGraphicStorage* store = HostilePages(&owner, data + 1, size - 1);
    TRLPDFFilter filter;
    filter.SetFileName(file);
    filter.SetShowProgress(false);
    try {
        filter.ProcessPages(store, 1, -1, false);
    } catch (const Exception&) {
        // A page the writer cannot put out is reported, never more.
    }
    return 0;
}
