#pragma once
// The progress display that a long job (preparing a report, printing or saving its pages) drives,
// seen from the engine, which must not depend on any window toolkit. The window that implements it
// lives in the preview layer and registers a factory here at start-up; with no factory registered a
// job runs without any progress display.
//
// Contract of a progress display:
//   SetMax       the current bar's maximum, its position back to 0;
//   StepIt       advance the current bar, let the platform serve pending window messages (which is
//                how the cancel button reaches the job) and stop the job with a silent abort (EAbort)
//                when the application is terminating;
//   NextBar      the next bar becomes current (one bar per chained report);
//   SetStepName  the text above the bars;
//   the cancel action given at creation is called on every press of the cancel button.
// The job that creates a display owns it and destroys it when it ends, whatever happens.
//
// "The application is terminating" is the process-wide flag below: whoever asks the application to
// quit sets it (RequestApplicationTerminate), and a job that sees it stops without an error message.
#include <QCoreApplication>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class TRLProgress {
public:
    virtual ~TRLProgress() = default;
    virtual void SetMax(int Max) = 0;
    virtual void StepIt() = 0;
    virtual void NextBar() = 0;
    virtual void SetStepName(const QString& Text) = 0;
    // Shows the display without waiting for it (it is non-modal).
    virtual void ShowProgress() = 0;
};

using TRLProgressCancelProc = std::function<void()>;
// Builds a display with a title and BarCount bars (at least one) whose cancel button calls OnCancel.
using TRLProgressFactory =
    std::function<std::unique_ptr<TRLProgress>(const QString& Title, int BarCount, TRLProgressCancelProc OnCancel)>;

namespace RLProgressDetail {
inline TRLProgressFactory& Factory()
{
    static TRLProgressFactory factory;
    return factory;
}
inline std::atomic<bool> TerminateRequested { false };
} // namespace RLProgressDetail

// Registers the factory of the progress window; an empty one unregisters it.
inline void SetProgressFactory(TRLProgressFactory factory)
{
    RLProgressDetail::Factory() = std::move(factory);
}
inline bool HasProgressFactory()
{
    return bool(RLProgressDetail::Factory());
}
// A new display, or null when no factory is registered.
inline std::unique_ptr<TRLProgress> CreateProgress(const QString& Title, int BarCount, TRLProgressCancelProc OnCancel)
{
    const TRLProgressFactory& factory = RLProgressDetail::Factory();
    if (!factory)
        return nullptr;
    return factory(Title, BarCount < 1 ? 1 : BarCount, std::move(OnCancel));
}

// Whether the application was asked to terminate.
inline bool ApplicationTerminating()
{
    return RLProgressDetail::TerminateRequested.load();
}
// Marks the application as terminating and asks its event loop to end.
inline void RequestApplicationTerminate()
{
    RLProgressDetail::TerminateRequested.store(true);
    QCoreApplication::quit();
}
// Clears the flag; for a program (or a test) that carries on after a terminate request.
inline void ResetApplicationTerminate()
{
    RLProgressDetail::TerminateRequested.store(false);
}
