#include "preview/RLPreviewForm.h"

#include "engine/RLConsts.h"
#include "engine/RLUtils.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "preview/RLFindDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>
#include <type_traits>

namespace {

constexpr int RepeatInterval = 100;
constexpr int RepeatDelay = 500;
constexpr int ToolbarHeight = 23;
constexpr int DesignedWidth = 815;
constexpr int DesignedHeight = 375;
constexpr int DesignedLeft = 520;
constexpr int DesignedTop = 220;
const char* const EngineName = "Quillborough";
const char* const EngineVersion = "0.6";

// --- toolbar pictures, drawn here rather than shipped -------------------------------------------

enum TGlyph { gSetup, gFirst, gPrior, gNext, gLast, gZoomDown, gZoomUp, gViews, gEdit, gLogo };

void DrawArrow(QPainter& P, bool Left, int X)
{
    QPainterPath path;
    if (Left) {
        path.moveTo(X + 5, 3);
        path.lineTo(X, 8);
        path.lineTo(X + 5, 13);
    } else {
        path.moveTo(X, 3);
        path.lineTo(X + 5, 8);
        path.lineTo(X, 13);
    }
    path.closeSubpath();
    P.fillPath(path, QColor(0, 0, 128));
}

void DrawMagnifier(QPainter& P, bool Plus)
{
    P.setPen(QPen(QColor(0, 0, 0), 1.5));
    P.setBrush(QColor(255, 255, 224));
    P.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    P.setPen(QPen(QColor(96, 64, 0), 3, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(10, 10), QPointF(14, 14));
    P.setPen(QPen(QColor(0, 0, 0), 1.5));
    P.drawLine(QPointF(4, 6), QPointF(8, 6));
    if (Plus)
        P.drawLine(QPointF(6, 4), QPointF(6, 8));
}

QIcon Glyph(TGlyph Kind)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, Kind == gZoomDown || Kind == gZoomUp || Kind == gLogo);
    switch (Kind) {
    case gSetup:
        p.setPen(QColor(0, 0, 0));
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(1, 6, 13, 6);
        p.setBrush(Qt::white);
        p.drawRect(4, 1, 7, 5);
        p.drawRect(4, 12, 7, 3);
        p.fillRect(11, 8, 2, 2, QColor(0, 160, 0));
        break;
    case gFirst:
        p.fillRect(3, 3, 2, 11, QColor(0, 0, 128));
        DrawArrow(p, true, 6);
        DrawArrow(p, true, 10);
        break;
    case gPrior:
        DrawArrow(p, true, 5);
        break;
    case gNext:
        DrawArrow(p, false, 6);
        break;
    case gLast:
        DrawArrow(p, false, 2);
        DrawArrow(p, false, 6);
        p.fillRect(12, 3, 2, 11, QColor(0, 0, 128));
        break;
    case gZoomDown:
    case gZoomUp:
        DrawMagnifier(p, Kind == gZoomUp);
        break;
    case gViews:
        p.setPen(QColor(0, 0, 0));
        p.setBrush(Qt::white);
        p.drawRect(2, 1, 11, 6);
        p.drawRect(2, 9, 11, 6);
        break;
    case gEdit: {
        QPainterPath path;
        path.moveTo(4, 1);
        path.lineTo(4, 13);
        path.lineTo(7, 10);
        path.lineTo(10, 15);
        path.lineTo(12, 14);
        path.lineTo(9, 9);
        path.lineTo(13, 9);
        path.closeSubpath();
        p.setPen(QColor(0, 0, 0));
        p.setBrush(Qt::white);
        p.drawPath(path);
        break;
    }
    case gLogo:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 96, 160));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(4.5, 4.5, 7, 7));
        p.drawLine(QPointF(9.5, 9.5), QPointF(12.5, 12.5));
        break;
    }
    return QIcon(pixmap);
}

// A typed zoom as the zoom box reads it: without "%", with a decimal comma or point; 0 when it is no
// number.
double ReadTypedZoom(QString Text)
{
    Text.remove(u'%');
    Text.replace(u',', u'.');
    return TextToFloat(Text, 0);
}

bool IsAcceleratorCharacter(QChar C)
{
    const QChar upper = C.toUpper();
    return (upper >= u'A' && upper <= u'Z') || (upper >= u'0' && upper <= u'9');
}

} // namespace

// ---------------------------------------------------------------------------------------------------

TRLPreviewDefaults& RLPreviewDefaults()
{
    static TRLPreviewDefaults defaults;
    return defaults;
}

TRLPreviewActions& RLPreviewActions()
{
    static TRLPreviewActions actions = [] {
        TRLPreviewActions a;
        a.AskSaveFileName = [](TRLPreviewForm* Form, const QString& Proposed) {
            return QFileDialog::getSaveFileName(Form, RLMessage(RLMsgSaveToFile), Proposed,
                QStringLiteral("%1 (*.pgx);;%2 (*)").arg(RLMessage(RLMsgPreview), RLMessage(RLMsgAllFiles)));
        };
        a.AskOpenFileName = [](TRLPreviewForm* Form) {
            return QFileDialog::getOpenFileName(Form, RLMessage(RLMsgLoadReport), QString(),
                QStringLiteral("%1 (*.pgx);;%2 (*)").arg(RLMessage(RLMsgPreview), RLMessage(RLMsgAllFiles)));
        };
        a.ShowError = [](TRLPreviewForm* Form, const QString& Message) {
            QMessageBox::critical(Form, QApplication::applicationName(), Message);
        };
        return a;
    }();
    return actions;
}

QStringList RLAssignAccelerators(const QStringList& Captions)
{
    QStringList result = Captions;
    QString used;
    for (QString& caption : result) {
        bool hasLetterOrDigit = false;
        for (QChar c : std::as_const(caption))
            hasLetterOrDigit = hasLetterOrDigit || c.isLetterOrNumber();
        if (!hasLetterOrDigit)
            continue;
        for (qsizetype i = 0; i < caption.size(); ++i) {
            const QChar c = caption.at(i);
            if (!IsAcceleratorCharacter(c) || used.contains(c.toUpper()))
                continue;
            used.append(c.toUpper());
            caption.insert(i, u'&');
            break;
        }
    }
    return result;
}

QString RLCleanFileName(const QString& Title)
{
    static const QString forbidden = QStringLiteral("\"*/:<>?\\|");
    QString result;
    const QString trimmed = Title.trimmed();
    result.reserve(trimmed.size());
    for (QChar c : trimmed) {
        if (c.unicode() < 32 || c.unicode() == 127 || forbidden.contains(c))
            continue;
        result.append(c);
    }
    return result;
}

// ---------------------------------------------------------------------------------------------------

TRLPreviewForm::TRLPreviewForm(QWidget* Parent)
    : QDialog(Parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
        | Qt::WindowCloseButtonHint);
    setWindowTitle(RLMessage(RLMsgPreview));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setGeometry(DesignedLeft, DesignedTop, DesignedWidth, DesignedHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PanelTools = new QFrame(this);
    PanelTools->setFixedHeight(ToolbarHeight);
    PanelTools->setFrameShape(QFrame::NoFrame);
    layout->addWidget(PanelTools);

    PanelContainer = new QFrame(this);
    PanelContainer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    layout->addWidget(PanelContainer, 1);
    auto* containerLayout = new QVBoxLayout(PanelContainer);
    containerLayout->setContentsMargins(1, 1, 1, 1);
    Splitter = new QSplitter(Qt::Vertical, PanelContainer);
    Splitter->setChildrenCollapsible(false);
    Splitter->setHandleWidth(3);
    containerLayout->addWidget(Splitter);

    SpeedButtonPrint = NewButton(1, 50, RLMessage(RLMsgPrint), RLMessage(RLMsgPrint));
    SpeedButtonSave = NewButton(51, 50, RLMessage(RLMsgSave), RLMessage(RLMsgSaveToFile));
    SpeedButtonSend = NewButton(101, 50, RLMessage(RLMsgSend), RLMessage(RLMsgSendTo));
    NewBevel(156);
    SpeedButtonSetup = NewButton(162, 22, QString(), RLMessage(RLMsgConfigurePrinter));
    SpeedButtonSetup->setIcon(Glyph(gSetup));
    NewBevel(189);
    SpeedButtonFirst = NewButton(195, 22, QString(), RLMessage(RLMsgFirstPage));
    SpeedButtonFirst->setIcon(Glyph(gFirst));
    SpeedButtonPrior = NewButton(217, 22, QString(), RLMessage(RLMsgPriorPage));
    SpeedButtonPrior->setIcon(Glyph(gPrior));

    PanelPages = new QFrame(PanelTools);
    PanelPages->setGeometry(242, 1, 134, 21);
    LabelPage = new QLabel(RLMessage(RLMsgPage), PanelPages);
    LabelPage->move(0, 4);
    EditPageNo = new QLineEdit(PanelPages);
    EditPageNo->setGeometry(40, 0, 37, 21);
    LabelOf = new QLabel(RLMessage(RLMsgOf), PanelPages);
    LabelOf->move(80, 4);
    PanelPageCount = new QLabel(QStringLiteral("0"), PanelPages);
    PanelPageCount->setGeometry(96, 0, 37, 21);
    PanelPageCount->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PanelPageCount->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    SpeedButtonNext = NewButton(378, 22, QString(), RLMessage(RLMsgNextPage));
    SpeedButtonNext->setIcon(Glyph(gNext));
    SpeedButtonLast = NewButton(400, 22, QString(), RLMessage(RLMsgLastPage));
    SpeedButtonLast->setIcon(Glyph(gLast));
    NewBevel(427);
    SpeedButtonZoomDown = NewButton(433, 22, QString(), RLMessage(RLMsgDecreaseZoom));
    SpeedButtonZoomDown->setIcon(Glyph(gZoomDown));
    SpeedButtonZoomUp = NewButton(455, 22, QString(), RLMessage(RLMsgIncreaseZoom));
    SpeedButtonZoomUp->setIcon(Glyph(gZoomUp));

    PanelZoom = new QFrame(PanelTools);
    PanelZoom->setGeometry(478, 1, 145, 21);
    ComboBoxZoom = new QComboBox(PanelZoom);
    ComboBoxZoom->setGeometry(0, 0, 145, 21);
    ComboBoxZoom->setEditable(true);
    ComboBoxZoom->setInsertPolicy(QComboBox::NoInsert);
    // Typed values are read as they are typed; completing "1" to "100%" would change them underfoot.
    ComboBoxZoom->setCompleter(nullptr);
    ComboBoxZoom->setMaxVisibleItems(11);
    ComboBoxZoom->addItems(
        { QStringLiteral("500%"), QStringLiteral("200%"), QStringLiteral("150%"), QStringLiteral("100%"),
            QStringLiteral("75%"), QStringLiteral("50%"), QStringLiteral("25%"), QStringLiteral("10%"),
            RLMessage(RLMsgEntireWidth), RLMessage(RLMsgEntirePage), RLMessage(RLMsgMultiplePages) });
    ComboBoxZoom->setCurrentIndex(-1);

    NewBevel(626);
    SpeedButtonViews = NewButton(632, 22, QString(), RLMessage(RLMsgDivideTheScreen));
    SpeedButtonViews->setIcon(Glyph(gViews));
    NewBevel(658);
    SpeedButtonEdit = NewButton(663, 22, QString(), RLMessage(RLMsgEdit));
    SpeedButtonEdit->setIcon(Glyph(gEdit));
    SpeedButtonEdit->setCheckable(true);
    NewBevel(689);
    SpeedButtonClose = NewButton(695, 49, RLMessage(RLMsgClose), RLMessage(RLMsgClose));
    SpeedButtonAbout = new QToolButton(PanelTools);
    SpeedButtonAbout->setAutoRaise(true);
    SpeedButtonAbout->setFocusPolicy(Qt::NoFocus);
    SpeedButtonAbout->setIcon(Glyph(gLogo));
    SpeedButtonAbout->setToolTip(
        QStringLiteral("%1 %2").arg(QLatin1String(EngineName), QLatin1String(EngineVersion)));

    // Captions with their accelerators, in creation order.
    QList<QToolButton*> captioned = { SpeedButtonPrint, SpeedButtonSave, SpeedButtonSend, SpeedButtonClose };
    QStringList captions;
    for (QToolButton* button : captioned)
        captions.append(button->text());
    captions = RLAssignAccelerators(captions);
    for (int i = 0; i < captioned.size(); ++i)
        captioned[i]->setText(captions[i]);

    // Printing is considered available once the printing unit has plugged itself in.
    SpeedButtonPrint->setEnabled(bool(RLPreviewActions().Print));
    SpeedButtonSetup->setEnabled(bool(RLPreviewActions().PrinterSetup));
    SpeedButtonSend->setEnabled(false);

    TimerRepeat = new QTimer(this);
    TimerRepeat->setInterval(RepeatInterval);
    TimerRepeat->start();

    connect(SpeedButtonPrint, &QToolButton::clicked, this,
        [this] { RunGuarded([this] { SpeedButtonPrintClick(); }); });
    connect(SpeedButtonSave, &QToolButton::clicked, this,
        [this] { RunGuarded([this] { SpeedButtonSaveClick(); }); });
    connect(SpeedButtonSetup, &QToolButton::clicked, this,
        [this] { RunGuarded([this] { SpeedButtonSetupClick(); }); });
    connect(SpeedButtonFirst, &QToolButton::clicked, this, [this] { SpeedButtonFirstClick(); });
    connect(SpeedButtonLast, &QToolButton::clicked, this, [this] { SpeedButtonLastClick(); });
    for (QToolButton* button : { SpeedButtonPrior, SpeedButtonNext }) {
        connect(button, &QToolButton::pressed, this, [this, button] { SpeedButtonPriorMouseDown(button); });
        connect(button, &QToolButton::released, this, [this, button] { SpeedButtonPriorMouseUp(button); });
    }
    connect(SpeedButtonZoomDown, &QToolButton::clicked, this, [this] { SpeedButtonZoomDownClick(); });
    connect(SpeedButtonZoomUp, &QToolButton::clicked, this, [this] { SpeedButtonZoomUpClick(); });
    connect(SpeedButtonViews, &QToolButton::clicked, this, [this] { SpeedButtonViewsClick(); });
    connect(SpeedButtonEdit, &QToolButton::clicked, this, [this] { SpeedButtonEditClick(); });
    connect(SpeedButtonClose, &QToolButton::clicked, this, [this] { SpeedButtonCloseClick(); });
    connect(EditPageNo, &QLineEdit::textEdited, this, [this] { EditPageNoChange(); });
    connect(ComboBoxZoom, &QComboBox::editTextChanged, this, [this] { ComboBoxZoomChange(); });
    connect(ComboBoxZoom, &QComboBox::activated, this, [this] { ComboBoxZoomChange(); });
    // Leaving the box, or Enter, shows the zoom as the window writes it.
    connect(ComboBoxZoom->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (!FZoomTyping)
            ShowZoomText();
    });
    connect(TimerRepeat, &QTimer::timeout, this, [this] { TimerRepeatTimer(); });

    // The window sees keys before its controls.
    qApp->installEventFilter(this);

    AddPreview();
    ArrangePreviews();
}

TRLPreviewForm::~TRLPreviewForm()
{
    qApp->removeEventFilter(this);
    // The previews go with the window; none may call back into it while it is half gone.
    for (TRLPreview* preview : std::as_const(FPreviews)) {
        preview->OnChangeView = nullptr;
        preview->OnEnter = nullptr;
    }
    // Nor may the controls: the dialog hides itself as it goes, and the focus leaving the zoom box
    // would call a handler of a window that is no longer there.
    const QList<QObject*> controls = findChildren<QObject*>();
    for (QObject* control : controls)
        disconnect(control, nullptr, this, nullptr);
}

QToolButton* TRLPreviewForm::NewButton(int Left, int Width, const QString& Caption, const QString& Hint)
{
    auto* button = new QToolButton(PanelTools);
    button->setGeometry(Left, 1, Width, 22);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setText(Caption);
    button->setToolTip(Hint);
    button->setToolButtonStyle(Caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextOnly);
    return button;
}

void TRLPreviewForm::NewBevel(int Left)
{
    auto* bevel = new QFrame(PanelTools);
    bevel->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    bevel->setGeometry(Left, 1, 2, 21);
}

void TRLPreviewForm::resizeEvent(QResizeEvent* Event)
{
    QDialog::resizeEvent(Event);
    if (SpeedButtonAbout)
        SpeedButtonAbout->setGeometry(PanelTools->width() - 23, 1, 22, 22);
    ArrangePreviews();
}

TRLPreview* TRLPreviewForm::Current() const
{
    if (FPreviews.isEmpty())
        return nullptr;
    return FPreviews.at(std::clamp(FCurrentIndex, 0, int(FPreviews.size()) - 1));
}

// --- previews --------------------------------------------------------------------------------------

void TRLPreviewForm::AddPreview()
{
    auto* preview = new TRLPreview(Splitter);
    preview->resize(0, preview->height());
    preview->OnChangeView = [this](TRLPreview* Sender) { rpvDefaultChangeView(Sender); };
    preview->OnEnter = [this](TRLPreview* Sender) { SetPreviewCurrent(Sender); };
    Splitter->addWidget(preview);
    FPreviews.append(preview);
    if (FPreviews.size() > 1) {
        preview->SetStorage(FPreviews.first()->Storage());
    } else {
        SetPreviewCurrent(preview);
    }
}

void TRLPreviewForm::RemovePreview()
{
    if (FPreviews.size() != 2)
        return;
    TRLPreview* last = FPreviews.takeLast();
    if (FCurrentPreview == last)
        FCurrentPreview = nullptr;
    last->OnChangeView = nullptr;
    last->OnEnter = nullptr;
    delete last;
    if (FCurrentIndex >= FPreviews.size()) {
        FCurrentIndex = int(FPreviews.size()) - 1;
        SetPreviewCurrent(FPreviews.last());
    }
}

void TRLPreviewForm::ArrangePreviews()
{
    if (FPreviews.isEmpty())
        return;
    const int each = Splitter->height() / int(FPreviews.size());
    QList<int> sizes;
    for (int i = 0; i < FPreviews.size(); ++i)
        sizes.append(each);
    Splitter->setSizes(sizes);
}

void TRLPreviewForm::SetPreviewCurrent(TRLPreview* Preview)
{
    const int index = int(FPreviews.indexOf(Preview));
    if (index < 0)
        return;
    if (FCurrentPreview && FCurrentPreview != Preview)
        FCurrentPreview->SetCurrent(false);
    for (TRLPreview* other : std::as_const(FPreviews))
        if (other != Preview && other->IsCurrent())
            other->SetCurrent(false);
    Preview->SetCurrent(true);
    FCurrentPreview = Preview;
    FCurrentIndex = index;
    if (SpeedButtonEdit)
        SpeedButtonEdit->setChecked(Preview->SelectMode());
    rpvDefaultChangeView(Preview);
}

void TRLPreviewForm::SetStorage(TRLGraphicStorage* Storage)
{
    // The first preview first: it is the one a new second preview copies.
    for (TRLPreview* preview : std::as_const(FPreviews))
        preview->SetStorage(Storage);
}

void TRLPreviewForm::OpenFile(const QString& FileName)
{
    // An ownerless store lives as long as a preview holds it.
    auto storage = std::make_unique<TRLGraphicStorage>();
    storage->LoadFromFile(FileName);
    TRLGraphicStorage* shown = storage.release();
    // Keep the store alive while the previews swap: the first link is taken before any is dropped.
    SetStorage(shown);
    if (FPreviews.isEmpty())
        delete shown;
}

void TRLPreviewForm::ApplyZoomValue(double Value)
{
    TRLPreview* preview = Current();
    if (!preview)
        return;
    if (Value == -1)
        preview->ZoomPageWidth();
    else if (Value == -2)
        preview->ZoomFullPage();
    else if (Value == -3)
        preview->ZoomMultiplePages();
    else if (Value > 0)
        preview->SetZoom(Value);
}

// --- refreshes -------------------------------------------------------------------------------------

void TRLPreviewForm::rpvDefaultChangeView(TRLPreview*)
{
    TRLPreview* preview = Current();
    PanelPageCount->setText(QString::number(preview ? preview->PageCount() : 0));
    UpdatePageNumber();
    UpdateZoomText();
}

void TRLPreviewForm::UpdatePageNumber()
{
    if (FPageTyping)
        return;
    TRLPreview* preview = Current();
    const QSignalBlocker blocker(EditPageNo);
    EditPageNo->setText(QString::number(preview ? preview->FirstVisible() + 1 : 0));
}

void TRLPreviewForm::UpdateZoomText()
{
    if (FZoomTyping)
        return;
    // A refresh that comes after the keystroke that set the zoom (a scroll bar that appears lays the
    // pages out again) must not rewrite what is being typed: "150" would become "150%" with the
    // cursor after the "%", and the "%" typed next would give "150%%". While the box has the focus
    // and its text says the zoom shown, it stays as typed.
    TRLPreview* preview = Current();
    const double zoom = preview ? preview->ZoomPercent() : 100;
    QLineEdit* edit = ComboBoxZoom->lineEdit();
    if (edit && edit->hasFocus() && ReadTypedZoom(edit->text()) == zoom)
        return;
    ShowZoomText();
}

void TRLPreviewForm::ShowZoomText()
{
    TRLPreview* preview = Current();
    const QSignalBlocker blocker(ComboBoxZoom);
    ComboBoxZoom->setCurrentIndex(-1);
    ComboBoxZoom->setEditText(FloatToStr(preview ? preview->ZoomPercent() : 100) + u'%');
}

// --- typed values ----------------------------------------------------------------------------------

void TRLPreviewForm::EditPageNoChange()
{
    const QScopedValueRollback typing(FPageTyping, true);
    bool ok = false;
    const int number = EditPageNo->text().trimmed().toInt(&ok);
    if (ok && Current())
        Current()->GoToPageIndex(number - 1);
}

void TRLPreviewForm::ComboBoxZoomChange()
{
    TRLPreview* preview = Current();
    if (!preview)
        return;
    const QScopedValueRollback typing(FZoomTyping, true);
    const QString text = ComboBoxZoom->currentText();
    const int item = int(ComboBoxZoom->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    if (item < 0) {
        const double value = ReadTypedZoom(text);
        if (value >= PreviewMinimumZoom) {
            preview->SetZoom(value);
            return;
        }
    }
    static const double itemZooms[] = { 500, 200, 150, 100, 75, 50, 25, 10 };
    if (item >= 0 && item <= 7)
        preview->SetZoom(itemZooms[item]);
    else if (item == 8)
        preview->ZoomPageWidth();
    else if (item == 9)
        preview->ZoomFullPage();
    else if (item == 10)
        preview->ZoomMultiplePages();
}

void TRLPreviewForm::SpeedButtonZoomUpClick()
{
    if (TRLPreview* preview = Current())
        preview->SetZoom(preview->ZoomPercent() + 10);
    UpdateZoomText();
}

void TRLPreviewForm::SpeedButtonZoomDownClick()
{
    if (TRLPreview* preview = Current())
        preview->SetZoom(std::max(preview->ZoomPercent() - 10, PreviewMinimumZoom));
    UpdateZoomText();
}

// --- page buttons ----------------------------------------------------------------------------------

void TRLPreviewForm::SpeedButtonFirstClick()
{
    if (Current())
        Current()->FirstPage();
}

void TRLPreviewForm::SpeedButtonLastClick()
{
    if (Current())
        Current()->LastPage();
}

void TRLPreviewForm::SpeedButtonPriorMouseDown(QToolButton* Button)
{
    FTimerTag = 0;
    if (Button == SpeedButtonPrior) {
        FPriorTag = 1;
        if (Current())
            Current()->PriorPage();
    } else if (Button == SpeedButtonNext) {
        FNextTag = 1;
        if (Current())
            Current()->NextPage();
    }
}

void TRLPreviewForm::SpeedButtonPriorMouseUp(QToolButton* Button)
{
    if (Button == SpeedButtonPrior)
        FPriorTag = 0;
    else if (Button == SpeedButtonNext)
        FNextTag = 0;
}

void TRLPreviewForm::TimerRepeatTimer()
{
    if (FTimerTag > RepeatDelay) {
        if (FPriorTag == 1 && FNextTag == 0) {
            if (Current())
                Current()->PriorPage();
        } else if (FNextTag == 1 && FPriorTag == 0) {
            if (Current())
                Current()->NextPage();
        }
        return;
    }
    FTimerTag += RepeatInterval;
}

// --- other buttons ---------------------------------------------------------------------------------

void TRLPreviewForm::SpeedButtonViewsClick()
{
    if (FPreviews.size() == 1)
        AddPreview();
    else
        RemovePreview();
    ArrangePreviews();
}

void TRLPreviewForm::SpeedButtonEditClick()
{
    if (TRLPreview* preview = Current()) {
        preview->SetSelectMode(!preview->SelectMode());
        SpeedButtonEdit->setChecked(preview->SelectMode());
    }
}

void TRLPreviewForm::SpeedButtonCloseClick()
{
    close();
}

void TRLPreviewForm::RunGuarded(const std::function<void()>& Action)
{
    // Failures end here, where the event loop would otherwise meet an exception.
    try {
        Action();
    } catch (const EAbort&) {
    } catch (const Exception& e) {
        if (RLPreviewActions().ShowError)
            RLPreviewActions().ShowError(this, e.Message());
    } catch (const std::exception& e) {
        if (RLPreviewActions().ShowError)
            RLPreviewActions().ShowError(this, QString::fromLocal8Bit(e.what()));
    }
}

void TRLPreviewForm::RestoreFocus(QWidget* Remembered, bool AfterSave)
{
    if (AfterSave) {
        if (Remembered)
            Remembered->setFocus();
        return;
    }
    if (Remembered && (qobject_cast<QLineEdit*>(Remembered) || qobject_cast<QComboBox*>(Remembered)))
        Remembered->setFocus();
    else
        EditPageNo->setFocus();
}

void TRLPreviewForm::SpeedButtonPrintClick()
{
    QPointer<QWidget> remembered = QApplication::focusWidget();
    TRLPreview* preview = Current();
    try {
        if (preview && preview->Storage() && RLPreviewActions().Print)
            RLPreviewActions().Print(this, preview->Storage());
    } catch (...) {
        if (remembered)
            remembered->setFocus();
        throw;
    }
    if (remembered)
        remembered->setFocus();
}

QString TRLPreviewForm::ProposedFileName() const
{
    TRLPreview* preview = Current();
    if (!preview || !preview->Storage())
        return QString();
    const QString name = RLCleanFileName(preview->Storage()->Title());
    if (name.isEmpty())
        return QString();
    return QDir::current().absoluteFilePath(name);
}

void TRLPreviewForm::SpeedButtonSaveClick()
{
    QPointer<QWidget> remembered = QApplication::focusWidget();
    TRLPreview* preview = Current();
    TRLGraphicStorage* storage = preview ? preview->Storage() : nullptr;
    if (!storage)
        return;
    bool saved = false;
    try {
        const QString proposed = ProposedFileName();
        if (RLPreviewActions().Save) {
            saved = RLPreviewActions().Save(this, storage, proposed);
        } else if (RLPreviewActions().AskSaveFileName) {
            QString proposedFile = proposed;
            if (!proposedFile.isEmpty() && QFileInfo(proposedFile).suffix().isEmpty())
                proposedFile += QStringLiteral(".pgx");
            QString fileName = RLPreviewActions().AskSaveFileName(this, proposedFile);
            if (!fileName.isEmpty()) {
                if (QFileInfo(fileName).suffix().isEmpty())
                    fileName += QStringLiteral(".pgx");
                storage->SaveToFile(fileName);
                saved = true;
            }
        }
    } catch (...) {
        RestoreFocus(remembered, true);
        throw;
    }
    RestoreFocus(remembered, saved);
}

void TRLPreviewForm::SpeedButtonSetupClick()
{
    if (RLPreviewActions().PrinterSetup)
        RLPreviewActions().PrinterSetup(this);
}

void TRLPreviewForm::SpeedButtonOpenClick()
{
    if (!RLPreviewActions().AskOpenFileName)
        return;
    const QString fileName = RLPreviewActions().AskOpenFileName(this);
    if (!fileName.isEmpty())
        OpenFile(fileName);
}

// --- keys and search -------------------------------------------------------------------------------

bool TRLPreviewForm::FormKeyDown(int Key, Qt::KeyboardModifiers Modifiers)
{
    const bool ctrl = Modifiers.testFlag(Qt::ControlModifier);
    TRLPreview* p = Current();
    if (Key == Qt::Key_Escape) {
        SpeedButtonClose->click();
        return true;
    }
    if (!p)
        return false;
    switch (Key) {
    case Qt::Key_PageUp:
        ctrl ? p->ScrollTop() : p->PriorPage();
        return true;
    case Qt::Key_PageDown:
        ctrl ? p->ScrollBottom() : p->NextPage();
        return true;
    case Qt::Key_End:
        ctrl ? p->LastPage() : p->ScrollEnd();
        return true;
    case Qt::Key_Home:
        ctrl ? p->FirstPage() : p->ScrollHome();
        return true;
    case Qt::Key_Left:
        ctrl ? p->ScrollPageLeft() : p->ScrollLineLeft();
        return true;
    case Qt::Key_Up:
        ctrl ? p->ScrollPageUp() : p->ScrollLineUp();
        return true;
    case Qt::Key_Right:
        ctrl ? p->ScrollPageRight() : p->ScrollLineRight();
        return true;
    case Qt::Key_Down:
        ctrl ? p->ScrollPageDown() : p->ScrollLineDown();
        return true;
    case Qt::Key_F:
    case Qt::Key_F3:
        if (!ctrl)
            return false;
        ShowFindDialog();
        return true;
    case Qt::Key_O:
        if (!ctrl)
            return false;
        RunGuarded([this] { SpeedButtonOpenClick(); });
        return true;
    default:
        return false;
    }
}

bool TRLPreviewForm::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::KeyPress && Watched->isWidgetType()
        && static_cast<QWidget*>(Watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(Event);
        if (FormKeyDown(key->key(), key->modifiers()))
            return true;
    }
    return QDialog::eventFilter(Watched, Event);
}

void TRLPreviewForm::ShowFindDialog()
{
    if (!FFindWindow) {
        FFindWindow = new TfrmRLFindDialog(this);
        FFindWindow->OnFind
            = [this](TfrmRLFindDialog*, const QString& Text, int Options) { return FindText(Text, Options); };
    }
    FFindWindow->show();
    FFindWindow->raise();
    FFindWindow->activateWindow();
    FFindWindow->EditTextToFind->setFocus();
}

bool TRLPreviewForm::FindText(const QString& Text, int Options)
{
    TRLPreview* preview = Current();
    if (!preview)
        return false;
    return preview->FindText(
        Text, Options & FindOptionBackward, Options & FindOptionMatchCase, Options & FindOptionWholeWords);
}

// --- showing and closing ---------------------------------------------------------------------------

void TRLPreviewForm::ApplySettings(int FormStyle, const QString& Caption, int HelpContext,
    const QString& HelpFile, int BorderIcons, int WindowState, int Position)
{
    using namespace RLPreviewWindow;
    switch (Position) {
    case poDesigned:
        setGeometry(DesignedLeft, DesignedTop, DesignedWidth, DesignedHeight);
        break;
    case poScreenCenter:
    case poDesktopCenter:
    case poMainFormCenter:
    case poOwnerFormCenter:
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
        break;
    default:
        break; // the window system places it
    }

    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint;
    if (BorderIcons & biSystemMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (BorderIcons & biMinimize)
        flags |= Qt::WindowMinimizeButtonHint;
    if (BorderIcons & biMaximize)
        flags |= Qt::WindowMaximizeButtonHint;
    if (BorderIcons & biHelp)
        flags |= Qt::WindowContextHelpButtonHint;
    if (FormStyle == fsStayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);

    switch (WindowState) {
    case wsMaximized:
        setWindowState(Qt::WindowMaximized);
        break;
    case wsMinimized:
        setWindowState(Qt::WindowMinimized);
        break;
    default:
        setWindowState(Qt::WindowNoState);
        break;
    }
    FHelpFile = HelpFile;
    FHelpContext = HelpContext;
    if (!Caption.isEmpty())
        setWindowTitle(Caption);
}

void TRLPreviewForm::closeEvent(QCloseEvent* Event)
{
    using namespace RLPreviewWindow;
    const Qt::WindowStates state = windowState();
    RLPreviewDefaults().WindowState = state.testFlag(Qt::WindowMaximized) ? wsMaximized
        : state.testFlag(Qt::WindowMinimized)                             ? wsMinimized
                                                                          : wsNormal;
    if (FFindWindow)
        FFindWindow->hide();
    QDialog::closeEvent(Event);
}

TRLPreviewForm* ShowPreview(TRLGraphicStorage* Storage, bool Modal, int FormStyle, const QString& Caption,
    int HelpContext, const QString& HelpFile, int BorderIcons, int WindowState, int Position)
{
    auto* form = new TRLPreviewForm();
    form->SetStorage(Storage);
    form->ApplyZoomValue(RLPreviewDefaults().ZoomValue);
    form->UpdateZoomText();
    form->ApplySettings(FormStyle, Caption, HelpContext, HelpFile, BorderIcons, WindowState, Position);
    if (Modal) {
        form->exec(); // frees the window when it closes
        return nullptr;
    }
    if (form->isVisible())
        form->raise();
    else
        form->show();
    return form;
}

static_assert(std::is_same_v<decltype(&RLShowPreviewEntry), TRLShowPreviewProc>,
    "the engine's hook type must match the entry");

void RLShowPreviewEntry(TRLGraphicStorage* Storage, bool Modal, int FormStyle, const QString& Caption,
    int HelpContext, const QString& HelpFile, int BorderIcons, int WindowState, int Position)
{
    ShowPreview(
        Storage, Modal, FormStyle, Caption, HelpContext, HelpFile, BorderIcons, WindowState, Position);
}

void RLShowPreviewWithDefaults(TRLGraphicStorage* Storage)
{
    const TRLPreviewDefaults& d = RLPreviewDefaults();
    ShowPreview(Storage, true, d.FormStyle, d.Caption, d.HelpContext, d.HelpFile, d.BorderIcons,
        d.WindowState, d.Position);
}
