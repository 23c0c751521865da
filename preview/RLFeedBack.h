#pragma once
// TfrmRLFeedBack: the small stay-on-top window that shows a job's progress (a step text, one bar per
// stage, a cancel button). It implements the engine's progress display (engine/RLProgress.h);
// RLFeedBackFactory builds it for the services the report and the filters use (engine/RLServices.h).
//
// Ownership: the job that creates the window owns and destroys it; pressing cancel never closes it.
// The bars are children of the window.
#include "engine/RLProgress.h"

#include <QDialog>
#include <QList>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

class TfrmRLFeedBack : public QDialog, public TRLProgress
{
    Q_OBJECT
public:
    // A window titled Title with BarCount bars (at least one); each bar after the first sits 2 px
    // under the one above, and the window grows so the cancel button keeps its distance from the
    // bottom.
    explicit TfrmRLFeedBack(const QString& Title, int BarCount = 1, QWidget* parent = nullptr);
    ~TfrmRLFeedBack() override;

    // Called on every press of cancel (not after the button became an OK button), with the window and
    // its cancelled flag, which the handler may clear.
    std::function<void(TfrmRLFeedBack* Sender, bool& CancelledFlag)> OnCancel;

    void SetMax(int Max) override;
    // Advances the current bar, serves pending window messages, and throws EAbort when the
    // application is terminating.
    void StepIt() override;
    void NextBar() override;
    void SetStepName(const QString& Text) override;
    void ShowProgress() override;

    bool Cancelled() const { return FCancelled; }
    bool Finished() const { return FFinished; }
    int BarCount() const { return int(FBars.size()); }
    int CurrentBar() const { return FCurrentBar; }
    QProgressBar* Bar(int Index) const { return FBars.value(Index); }
    QLabel* LabelStepName() const { return FLabelStepName; }
    QPushButton* BitBtnCancel() const { return FBitBtnCancel; }
    // Turns the cancel button into an OK button, whose press only marks the window finished.
    void SetOkKind(bool ok);

public Q_SLOTS:
    void BitBtnCancelClick();

private:
    QLabel* FLabelStepName = nullptr;
    QPushButton* FBitBtnCancel = nullptr;
    QList<QProgressBar*> FBars;
    int FCurrentBar = 0;
    bool FCancelled = false;
    bool FFinished = false;
    bool FOkKind = false;
};

// The engine's progress display as TfrmRLFeedBack windows, for TRLServices::Progress.
TRLProgressFactory RLFeedBackFactory();
