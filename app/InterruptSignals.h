#pragma once
// How the program meets SIGINT, SIGTERM and SIGHUP: the first one marks the application as
// terminating, so a report being prepared stops at its next record and an output being written at its
// next page, the unfinished output is thrown away and the old file stays; the program then says it was
// interrupted and ends with 128 + the signal's number (130 for SIGINT, 143 for SIGTERM). The handler
// steps aside after the first signal, so a second one ends the program at once: temporary files have
// no name in any folder, so even that leaves nothing behind.
//
// SIGXFSZ is ignored: a write beyond the file-size limit then fails with EFBIG, and the run reports
// "Arquivo muito grande" instead of dying without a word.
#include <QString>

class QObject;

// Installs the handlers; safe to call more than once.
void InstallInterruptHandlers();
// The signal that interrupted the run, 0 when none did.
int CaughtInterruptSignal();
// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
QString InterruptSignalName(int Signal);
// 128 + Signal.
int InterruptExitCode(int Signal);
// For a program with an event loop: asks the application to quit when a signal arrives, from the
// main thread (the handler itself may only set flags).
void WatchInterruptsFromEventLoop(QObject* Parent);
// For tests: forgets a caught signal.
void ResetCaughtInterruptSignal();
