#pragma once
// Makes the output filters known to definitions: the PDF writer, the spreadsheet writer and the
// printer filter, so that a window's definition can hold them beside its report (the save dialog then
// offers them, and the command line picks one by the output file's extension).
//
// Registration only adds classes to a registry; it creates no filter. The filters publish no events,
// so registering a registry twice is harmless; RLRegisterFilterClasses() without an argument still
// fills the process-wide registry only once.
#include "platform/ClassRegistry.h"

// Registers TRLPDFFilter, TRLXLSFilter and TRLSpoolFilter with registry.
void RLRegisterFilterClasses(TClassRegistry& registry);
// The same for the process-wide ClassRegistry(), done once per process.
void RLRegisterFilterClasses();
