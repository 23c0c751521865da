// Hostile page records through the spreadsheet writer: whatever the page reader accepts, the writer
// must turn into a workbook or fail with an Exception; never a crash, a hang or a giant allocation.
// The first byte turns the recognition of value cells on or off.
#include "WriterFuzzSupport.h"

#include "filters/RLXLSFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    EnsureFuzzApplication("XLSWriterFuzz");
    if (size < 1)
        return 0;
    static const QString file = FuzzOutputFolder() + QStringLiteral("/out.xls");
    TComponent owner;
    TRLGraphicStorage* store = HostilePages(&owner, data + 1, size - 1);
    TRLXLSFilter filter;
    filter.SetFileName(file);
    filter.SetShowProgress(false);
    filter.SetOptions((data[0] & 1) != 0 ? TRLXLSFilterOptions(foFindValueCells) : TRLXLSFilterOptions());
    try {
        filter.ProcessPages(store, 1, -1, false);
    } catch (const Exception&) { }
    return 0;
}
