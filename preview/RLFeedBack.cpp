#include "preview/RLFeedBack.h"

#include "engine/RLConsts.h"
#include "platform/Exceptions.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int BarGap = 2;

QFont PixelFont(const QString& family, int pixels)
{
    QFont font(family);
    font.setPixelSize(pixels);
    return font;
}
} // namespace

TfrmRLFeedBack::TfrmRLFeedBack(const QString& Title, int BarCount, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmRLFeedBack"));
    setWindowTitle(QStringLiteral("Progresso"));
    setFont(PixelFont(QStringLiteral("MS Sans Serif"), 11));
    setAutoFillBackground(true);
    setModal(false);
    resize(393, 129);

    FLabelStepName = new QLabel(RLMessage(RLMsgWait), this);
    FLabelStepName->setObjectName(QStringLiteral("LabelStepName"));
    FLabelStepName->setFont(PixelFont(QStringLiteral("MS Sans Serif"), 12));
    FLabelStepName->move(14, 12);
    FLabelStepName->resize(355, 14);

    auto* first = new QProgressBar(this);
    first->setObjectName(QStringLiteral("ProgressBar"));
    first->setGeometry(14, 28, 355, 17);
    first->setRange(0, 100);
    first->setValue(0);
    first->setTextVisible(false);
    FBars.append(first);

    FBitBtnCancel = new QPushButton(RLMessage(RLMsgCancel), this);
    FBitBtnCancel->setObjectName(QStringLiteral("BitBtnCancel"));
    FBitBtnCancel->setGeometry(151, 65, 85, 25);
    connect(FBitBtnCancel, &QPushButton::clicked, this, &TfrmRLFeedBack::BitBtnCancelClick);

    // The button keeps its distance from the bottom however many bars are added.
    const int buttonToBottom = height() - FBitBtnCancel->geometry().top();
    setWindowTitle(Title);
    for (int i = 1; i < qMax(1, BarCount); ++i) {
        const QProgressBar* above = FBars.last();
        auto* bar = new QProgressBar(this);
        bar->setObjectName(QStringLiteral("ProgressBar") + QString::number(i + 1));
        bar->setGeometry(above->x(), above->y() + above->height() + BarGap, above->width(), above->height());
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        FBars.append(bar);
        resize(width(), height() + above->height() + BarGap);
    }
    FBitBtnCancel->move(FBitBtnCancel->x(), height() - buttonToBottom);
    setFixedSize(size());

    // Centred on the main window when there is one, else on the screen.
    const QWidget* main = QApplication::activeWindow();
    const QRect around = main
        ? main->frameGeometry()
        : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                            : QRect());
    if (!around.isEmpty())
        move(around.center() - rect().center());
}

TfrmRLFeedBack::~TfrmRLFeedBack() = default;

void TfrmRLFeedBack::SetMax(int Max)
{
    QProgressBar* bar = FBars.value(FCurrentBar);
    if (!bar)
        return;
    bar->setRange(0, qMax(0, Max));
    bar->setValue(0);
}

void TfrmRLFeedBack::StepIt()
{
    if (QProgressBar* bar = FBars.value(FCurrentBar); bar && bar->value() < bar->maximum())
        bar->setValue(bar->value() + 1);
    QCoreApplication::processEvents();
    if (ApplicationTerminating())
        Abort();
}

void TfrmRLFeedBack::NextBar()
{
    if (FCurrentBar < FBars.size() - 1)
        ++FCurrentBar;
}

void TfrmRLFeedBack::SetStepName(const QString& Text)
{
    FLabelStepName->setText(Text);
    FLabelStepName->repaint();
}

void TfrmRLFeedBack::ShowProgress()
{
    show();
    raise();
}

void TfrmRLFeedBack::SetOkKind(bool ok)
{
    FOkKind = ok;
    FBitBtnCancel->setText(ok ? RLMessage(RLMsgOk) : RLMessage(RLMsgCancel));
}

void TfrmRLFeedBack::BitBtnCancelClick()
{
    if (FOkKind) {
        FFinished = true;
        return;
    }
    FCancelled = true;
    if (OnCancel)
        OnCancel(this, FCancelled);
}

TRLProgressFactory RLFeedBackFactory()
{
    return [](const QString& Title, int BarCount, TRLProgressCancelProc OnCancel) {
        auto window = std::make_unique<TfrmRLFeedBack>(Title, BarCount);
        if (OnCancel)
            window->OnCancel = [OnCancel](TfrmRLFeedBack*, bool&) { OnCancel(); };
        return std::unique_ptr<TRLProgress>(std::move(window));
    };
}
