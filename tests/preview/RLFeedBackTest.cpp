// The progress window: bars and layout, cancel, stepping, and the engine's factory.
#include "preview/RLFeedBack.h"

#include "engine/RLConsts.h"
#include "engine/RLServices.h"
#include "platform/Exceptions.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {
// Leaves the terminate flag as it found it (clear), whatever a test does.
struct TerminateGuard
{
    ~TerminateGuard() { ResetApplicationTerminate(); }
};
} // namespace

TEST(RLFeedBack, InitialLayout)
{
    TfrmRLFeedBack form(QStringLiteral("Preparando o relatório..."));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Preparando o relatório..."));
    EXPECT_EQ(form.size(), QSize(393, 129));
    EXPECT_EQ(form.BarCount(), 1);
    EXPECT_EQ(form.Bar(0)->geometry(), QRect(14, 28, 355, 17));
    EXPECT_EQ(form.Bar(0)->minimum(), 0);
    EXPECT_EQ(form.Bar(0)->maximum(), 100);
    EXPECT_EQ(form.BitBtnCancel()->geometry(), QRect(151, 65, 85, 25));
    EXPECT_EQ(form.BitBtnCancel()->text(), RLMessage(RLMsgCancel));
    EXPECT_EQ(form.LabelStepName()->pos(), QPoint(14, 12));
    EXPECT_EQ(form.LabelStepName()->text(), RLMessage(RLMsgWait));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(RLFeedBack, ThreeBarsAreTwoBarHeightsTaller)
{
    TfrmRLFeedBack one(QStringLiteral("x"), 1);
    TfrmRLFeedBack three(QStringLiteral("x"), 3);
    EXPECT_EQ(three.BarCount(), 3);
    EXPECT_EQ(three.height() - one.height(), 2 * (17 + 2));
    EXPECT_EQ(three.width(), one.width());
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(three.Bar(i)->y(), three.Bar(i - 1)->y() + 17 + 2) << i;
        EXPECT_EQ(three.Bar(i)->x(), 14);
        EXPECT_EQ(three.Bar(i)->size(), QSize(355, 17));
    }
    EXPECT_EQ(three.Bar(1)->objectName(), QStringLiteral("ProgressBar2"));
    EXPECT_EQ(three.Bar(2)->objectName(), QStringLiteral("ProgressBar3"));
    // The button keeps its distance from the bottom.
    EXPECT_EQ(three.height() - three.BitBtnCancel()->y(), one.height() - one.BitBtnCancel()->y());
}

TEST(RLFeedBack, ZeroOrNegativeBarCountStillHasOneBar)
{
    TfrmRLFeedBack form(QStringLiteral("x"), 0);
    EXPECT_EQ(form.BarCount(), 1);
    TfrmRLFeedBack negative(QStringLiteral("x"), -5);
    EXPECT_EQ(negative.height(), 129);
}

TEST(RLFeedBack, CancelTwiceCallsTheHandlerTwice)
{
    TfrmRLFeedBack form(QStringLiteral("x"));
    int calls = 0;
    form.OnCancel = [&](TfrmRLFeedBack* sender, bool& cancelled) {
        EXPECT_EQ(sender, &form);
        EXPECT_TRUE(cancelled);
        ++calls;
    };
    form.show();
    QTest::mouseClick(form.BitBtnCancel(), Qt::LeftButton);
    QTest::mouseClick(form.BitBtnCancel(), Qt::LeftButton);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(form.Cancelled());
    EXPECT_TRUE(form.isVisible()); // cancel never closes the window
}

TEST(RLFeedBack, OkKindOnlyMarksFinished)
{
    TfrmRLFeedBack form(QStringLiteral("x"));
    int calls = 0;
    form.OnCancel = [&](TfrmRLFeedBack*, bool&) { ++calls; };
    form.SetOkKind(true);
    form.BitBtnCancelClick();
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(form.Cancelled());
    EXPECT_TRUE(form.Finished());
}

TEST(RLFeedBack, StepsMaximumAndNextBar)
{
    TerminateGuard guard;
    TfrmRLFeedBack form(QStringLiteral("x"), 2);
    form.SetMax(3);
    EXPECT_EQ(form.Bar(0)->maximum(), 3);
    EXPECT_EQ(form.Bar(0)->value(), 0);
    for (int i = 0; i < 5; ++i)
        form.StepIt();
    EXPECT_EQ(form.Bar(0)->value(), 3); // never beyond the maximum
    form.NextBar();
    EXPECT_EQ(form.CurrentBar(), 1);
    form.SetMax(10);
    form.StepIt();
    EXPECT_EQ(form.Bar(1)->value(), 1);
    EXPECT_EQ(form.Bar(0)->value(), 3);
    form.NextBar(); // past the last bar it stays on the last
    EXPECT_EQ(form.CurrentBar(), 1);
    form.SetStepName(QStringLiteral("Página 7"));
    EXPECT_EQ(form.LabelStepName()->text(), QStringLiteral("Página 7"));
}

TEST(RLFeedBack, StepItAfterQuitEndsTheJobSilently)
{
    TerminateGuard guard;
    TfrmRLFeedBack form(QStringLiteral("x"));
    form.StepIt();
    RequestApplicationTerminate();
    EXPECT_THROW(form.StepIt(), EAbort);
}

TEST(RLFeedBack, InstalledAsTheEngineFactory)
{
    std::optional<TRLServicesScope> services;
    services.emplace([](TRLServices& installed) { installed.Progress = RLFeedBackFactory(); });
    ASSERT_TRUE(HasProgressFactory());
    int cancels = 0;
    std::unique_ptr<TRLProgress> progress = CreateProgress(QStringLiteral("t"), 3, [&] { ++cancels; });
    auto* form = dynamic_cast<TfrmRLFeedBack*>(progress.get());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->BarCount(), 3);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("t"));
    form->BitBtnCancelClick();
    EXPECT_EQ(cancels, 1);
    services.reset();
    EXPECT_EQ(CreateProgress(QStringLiteral("t"), 1, {}), nullptr);
}
