#pragma once
// "The application is terminating": a process-wide flag. Whoever asks the application to quit sets it
// (RequestApplicationTerminate), and a job that sees it stops without an error message; a file that
// would replace a good one refuses to once it is set.
#include <QCoreApplication>
#include <atomic>

namespace ApplicationDetail {
inline std::atomic<bool> TerminateRequested { false };
}

// Whether the application was asked to terminate.
inline bool ApplicationTerminating()
{
    return ApplicationDetail::TerminateRequested.load();
}
// Marks the application as terminating and asks its event loop to end.
inline void RequestApplicationTerminate()
{
    ApplicationDetail::TerminateRequested.store(true);
    QCoreApplication::quit();
}
// Clears the flag; for a program (or a test) that carries on after a terminate request.
inline void ResetApplicationTerminate()
{
    ApplicationDetail::TerminateRequested.store(false);
}
