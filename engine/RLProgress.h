#pragma once
// The progress display that a long job (preparing a report, printing or saving its pages) drives,
// seen from the engine, which must not depend on any window toolkit. The window that implements it
// lives in the preview layer, and the program installs its factory among the services
// (engine/RLServices.h); with none installed a job runs without any progress display.
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
// StepIt's "the application is terminating" is platform/Application.h's flag.
#include "platform/Application.h"

#include <QString>
#include <functional>
#include <memory>

class TRLProgress
{
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
using TRLProgressFactory = std::function<std::unique_ptr<TRLProgress>(
    const QString& Title, int BarCount, TRLProgressCancelProc OnCancel)>;

// Whether a progress display is installed (engine/RLServices.h installs one).
bool HasProgressFactory();
// A new display, or null when none is installed.
std::unique_ptr<TRLProgress> CreateProgress(
    const QString& Title, int BarCount, TRLProgressCancelProc OnCancel);
