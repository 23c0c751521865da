#pragma once
// Makes the engine's components known to definitions: every report component class a definition may
// name (report, band, group, label, database text, system information, drawing) and the events they
// publish (BeforePrint in each class's own signature, AfterPrint, OnMeasureHeight, the report's page
// and text events, the skippers' record events, a group's OnGetBreak), plus the data-access classes a
// report window holds beside its report (queries and tables; data sources are the platform's own).
//
// Registration only adds classes and events to a registry; it creates no objects. Registering the same
// registry twice is harmless for classes but would list events twice, so RLRegisterReportClasses()
// without an argument fills the process-wide registry exactly once, however often it is called.
#include "platform/ClassRegistry.h"

// Registers every engine class and event (and the query and table classes) with registry.
void RLRegisterReportClasses(TClassRegistry& registry);
// The same for the process-wide ClassRegistry(), done once per process.
void RLRegisterReportClasses();
