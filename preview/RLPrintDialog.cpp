#include "preview/RLPrintDialog.h"

#include "engine/RLConsts.h"
#include "filters/RLPrinterWrapper.h"
#include "filters/RLSpoolFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <charconv>
#include <cmath>

namespace {

TRLPrintParams* PrintParamsInstance = nullptr;

void FreePrintParams()
{
    delete PrintParamsInstance;
    PrintParamsInstance = nullptr;
}

QString Caption(int Slot)
{
    return RLMessage(Slot);
}

template <typename T> T* Place(T* Widget, int Left, int Top, int Width, int Height)
{
    Widget->setGeometry(Left, Top, Width, Height);
    return Widget;
}

// Labels given only a width keep the platform's one-line height.
constexpr int LabelHeight = 13;

} // namespace

double RLWidenToCaptions(QDialog* Dialog)
{
    // How much wider than designed each caption needs to be.
    double factor = 1.0;
    const QList<QWidget*> widgets = Dialog->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const bool captioned = qobject_cast<QLabel*>(widget) || qobject_cast<QCheckBox*>(widget)
            || qobject_cast<QRadioButton*>(widget);
        if (!captioned || widget->width() <= 0)
            continue;
        const auto* label = qobject_cast<QLabel*>(widget);
        if (label && label->text().isEmpty())
            continue;
        factor = qMax(factor, double(widget->sizeHint().width()) / double(widget->width()));
    }
    // A modest limit: a caption in a language far longer than designed may still be cut, but the
    // dialog never grows beyond the screen's reach.
    factor = qMin(factor, 2.0);
    if (factor <= 1.0)
        return 1.0;
    auto across = [factor](int value) { return int(std::lround(value * factor)); };
    for (QWidget* widget : widgets) {
        const QRect r = widget->geometry();
        // Only the dialog's own controls: a combo box's or line edit's inner parts follow their owner.
        QWidget* parent = widget->parentWidget();
        if (parent != Dialog && !qobject_cast<QGroupBox*>(parent))
            continue;
        widget->setGeometry(across(r.left()), r.top(), across(r.width()), r.height());
    }
    Dialog->setFixedSize(across(Dialog->width()), Dialog->height());
    return factor;
}

// Group captions keep the platform's look: a space on either side of the text.
QString RLGroupCaption(int Slot)
{
    return QLatin1Char(' ') + RLMessage(Slot) + QLatin1Char(' ');
}

QString RLLabelCaption(int Slot)
{
    return RLMessage(Slot) + QLatin1Char(':');
}

QPair<int, int> RLChosenPageRange(
    int Range, const QString& FromText, const QString& ToText, int MinPage, int MaxPage)
{
    switch (Range) {
    case rprSelection: {
        const int page = RLDialogNumber(FromText);
        return { page, page };
    }
    case rprPageNums:
        return { RLDialogNumber(FromText), RLDialogNumber(ToText) };
    default:
        return { MinPage, MaxPage };
    }
}

int RLDialogNumber(const QString& Text)
{
    const QByteArray bytes = Text.trimmed().toLatin1();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    if (first != last && *first == '+')
        ++first;
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last)
        return 0;
    return value;
}

QString RLDialogNumberText(int Value)
{
    return Value == 0 ? QString() : QString::number(Value);
}

void RLPaintEditEnabled(QWidget* Edit, bool Enabled)
{
    Edit->setEnabled(Enabled);
    QPalette palette = Edit->palette();
    const QColor colour = Enabled ? QPalette().color(QPalette::Base) : QPalette().color(QPalette::Button);
    palette.setColor(QPalette::Active, QPalette::Base, colour);
    palette.setColor(QPalette::Inactive, QPalette::Base, colour);
    palette.setColor(QPalette::Disabled, QPalette::Base, colour);
    Edit->setPalette(palette);
}

// --- parameters --------------------------------------------------------------------------------

TRLDialogParams::TRLDialogParams(TComponent* AOwner)
    : TComponent(AOwner)
{ }

TRLDialogParams::~TRLDialogParams()
{
    WatchFilter(nullptr);
}

void TRLDialogParams::SetMaxPage(int Value)
{
    if (FToPage == FMaxPage)
        FToPage = Value;
    FMaxPage = Value;
}

void TRLDialogParams::WatchFilter(TRLCustomFilter* Value)
{
    if (Value == FFilter)
        return;
    if (FFilter)
        FFilter->RemoveFreeNotification(this);
    FFilter = Value;
    if (FFilter)
        FFilter->FreeNotification(this);
}

void TRLDialogParams::Notification(TComponent* Component, TOperation Operation)
{
    TComponent::Notification(Component, Operation);
    if (Operation == opRemove && Component == FFilter)
        FFilter = nullptr;
}

void TRLDialogParams::ResetShared()
{
    FMinPage = 1;
    FMaxPage = 9999;
    FFromPage = 1;
    FToPage = 9999;
    FFileName.clear();
    FHelpContext = 0;
}

TRLPrintParams::TRLPrintParams(TComponent* AOwner)
    : TRLDialogParams(AOwner)
{ }

void TRLPrintParams::Reset()
{
    ResetShared();
    FPrintRange = rprAllPages;
    FCopies = PrinterWrapper().PrinterCopies();
}

void TRLPrintParams::Complete()
{
    if (FPrintRange == rprAllPages) {
        SetFromPage(MinPage());
        SetToPage(MaxPage());
    } else if (FPrintRange == rprSelection) {
        SetToPage(FromPage());
    }
    ApplyCopies();
}

void TRLPrintParams::ApplyCopies()
{
    PrinterWrapper().SetPrinterCopies(FCopies);
}

TRLPrintParams& PrintParams()
{
    if (!PrintParamsInstance) {
        PrintParamsInstance = new TRLPrintParams(nullptr);
        // Parameters keep a filter watched; they go before the filters' own clean-up runs.
        if (QCoreApplication::instance())
            qAddPostRoutine(FreePrintParams);
    }
    return *PrintParamsInstance;
}

// --- dialog ------------------------------------------------------------------------------------

TRLPrintDialog::TRLPrintDialog(QWidget* Parent)
    : QDialog(Parent)
{
    setWindowTitle(Caption(RLMsgPrint));
    setFixedSize(430, 267);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    GroupBoxPrinter = Place(new QGroupBox(RLGroupCaption(RLMsgPrinter), this), 8, 4, 413, 113);
    LabelPrinterName = Place(new QLabel(RLLabelCaption(RLMsgName), GroupBoxPrinter), 12, 24, 31, LabelHeight);
    ComboBoxPrinterNames = Place(new QComboBox(GroupBoxPrinter), 68, 20, 329, 21);
    LabelFilterName
        = Place(new QLabel(RLLabelCaption(RLMsgUseFilter), GroupBoxPrinter), 12, 48, 47, LabelHeight);
    ComboBoxFilters = Place(new QComboBox(GroupBoxPrinter), 68, 44, 177, 21);
    LabelOptions = Place(new QLabel(GroupBoxPrinter), 264, 48, 40, LabelHeight);
    LabelOptions->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelOptions->hide();
    ComboBoxOptions = Place(new QComboBox(GroupBoxPrinter), 308, 44, 89, 21);
    ComboBoxOptions->hide();
    CheckBoxPrintToFile = Place(new QCheckBox(Caption(RLMsgPrintToFile), GroupBoxPrinter), 12, 68, 325, 17);
    CheckBoxPrintInBackground
        = Place(new QCheckBox(Caption(RLMsgPrintInBackground), GroupBoxPrinter), 12, 88, 325, 17);

    GroupBoxPages = Place(new QGroupBox(RLGroupCaption(RLMsgPageRange), this), 8, 120, 217, 101);
    LabelFromPage = Place(new QLabel(RLLabelCaption(RLMsgRangeFrom), GroupBoxPages), 72, 49, 15, LabelHeight);
    LabelToPage = Place(new QLabel(RLLabelCaption(RLMsgRangeTo), GroupBoxPages), 140, 49, 18, LabelHeight);
    RadioButtonPagesAll = Place(new QRadioButton(Caption(RLMsgAll), GroupBoxPages), 12, 24, 113, 17);
    RadioButtonPagesAll->setChecked(true);
    RadioButtonPagesInterval = Place(new QRadioButton(Caption(RLMsgPages), GroupBoxPages), 12, 48, 61, 17);
    RadioButtonPagesSelect = Place(new QRadioButton(Caption(RLMsgSelection), GroupBoxPages), 12, 72, 73, 17);
    EditFromPage = Place(new QLineEdit(QStringLiteral("1"), GroupBoxPages), 92, 44, 41, 21);
    EditFromPage->setFocusPolicy(Qt::ClickFocus);
    EditToPage = Place(new QLineEdit(GroupBoxPages), 164, 44, 41, 21);
    EditToPage->setFocusPolicy(Qt::ClickFocus);

    GroupBoxCopies = Place(new QGroupBox(RLGroupCaption(RLMsgCopies), this), 236, 120, 185, 101);
    LabelCopies
        = Place(new QLabel(RLLabelCaption(RLMsgNumberOfCopies), GroupBoxCopies), 12, 24, 89, LabelHeight);
    EditCopies = Place(new QLineEdit(GroupBoxCopies), 108, 20, 49, 21);

    ButtonOk = Place(new QPushButton(Caption(RLMsgOk), this), 260, 232, 75, 25);
    ButtonOk->setDefault(true);
    ButtonCancel = Place(new QPushButton(Caption(RLMsgCancel), this), 344, 232, 75, 25);
    LabelNoPrinter = Place(new QLabel(RLMessage(RLMsgPrinterNotFound), this), 8, 232, 244, 25);
    LabelNoPrinter->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    LabelNoPrinter->hide();

    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    // Only what the user types picks the interval; filling the edits from the parameters must not
    // turn "All" into "Pages".
    connect(
        EditFromPage, &QLineEdit::textEdited, this, [this] { RadioButtonPagesInterval->setChecked(true); });
    connect(EditToPage, &QLineEdit::textEdited, this, [this] { RadioButtonPagesInterval->setChecked(true); });
    connect(ComboBoxFilters, &QComboBox::currentIndexChanged, this, [this] { ComboBoxFiltersChange(); });

    RLWidenToCaptions(this);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TRLCustomPrintFilter* TRLPrintDialog::FilterAt(int Index) const
{
    if (Index < 0 || Index >= int(FFilters.size()))
        return nullptr;
    return FFilters[size_t(Index)].data();
}

void TRLPrintDialog::UpdatePrinterAvailability()
{
    TRLCustomPrintFilter* filter = FilterAt(ComboBoxFilters->currentIndex());
    const bool needsPrinter = !filter || qobject_cast<TRLSpoolFilter*>(filter);
    const bool blocked = needsPrinter && ComboBoxPrinterNames->count() == 0;
    ButtonOk->setEnabled(!blocked);
    LabelNoPrinter->setVisible(blocked);
}

void TRLPrintDialog::ComboBoxFiltersChange()
{
    UpdatePrinterAvailability();
    TRLCustomPrintFilter* filter = FilterAt(ComboBoxFilters->currentIndex());
    const QStringList options = filter ? filter->GetOptions() : QStringList();
    if (!filter || options.isEmpty()) {
        LabelOptions->hide();
        ComboBoxOptions->hide();
        return;
    }
    filter->SetOrientation(PrintParams().Orientation() == poLandscape ? 2 : 1);
    LabelOptions->setText(filter->GetOptionsLabel() + QLatin1Char(':'));
    ComboBoxOptions->clear();
    ComboBoxOptions->addItems(filter->GetOptions());
    ComboBoxOptions->setCurrentIndex(filter->GetOptionIndex());
    LabelOptions->show();
    ComboBoxOptions->show();
}

void TRLPrintDialog::LoadEditors()
{
    TRLPrintParams& params = PrintParams();
    TRLPrinterWrapper& printers = PrinterWrapper();

    printers.RefreshPrinters();
    const QString current = printers.CurrentPrinterName();
    ComboBoxPrinterNames->clear();
    int selected = 0;
    for (int i = 0; i < printers.PrinterList().size(); ++i) {
        const QString name = printers.PrinterName(i);
        const QString port = printers.PrinterPort(i);
        if (name == current)
            selected = i;
        QString text = name;
        if (!port.isEmpty() && port != name)
            text = name + QLatin1Char(' ') + RLMessage(RLMsgAt) + QLatin1Char(' ') + port;
        ComboBoxPrinterNames->addItem(text);
    }
    if (ComboBoxPrinterNames->count() > 0)
        ComboBoxPrinterNames->setCurrentIndex(selected);
    RLPaintEditEnabled(ComboBoxPrinterNames, ComboBoxPrinterNames->count() > 0);

    // Filling the list fires the change step for every entry; it runs once below.
    {
        const QSignalBlocker blocker(ComboBoxFilters);
        ComboBoxFilters->clear();
        FFilters.clear();
        ComboBoxFilters->addItem(RLMessage(RLMsgDefault));
        FFilters.emplace_back(nullptr);
        int filterIndex = 0;
        for (TRLCustomFilter* candidate : FilterList()) {
            auto* filter = qobject_cast<TRLCustomPrintFilter*>(candidate);
            if (!filter)
                continue;
            const QString name = filter->GetDisplayName();
            if (name.isEmpty())
                continue;
            if (filter == params.Filter())
                filterIndex = ComboBoxFilters->count();
            ComboBoxFilters->addItem(name);
            FFilters.emplace_back(filter);
        }
        ComboBoxFilters->setCurrentIndex(filterIndex);
        RLPaintEditEnabled(ComboBoxFilters, ComboBoxFilters->count() > 1);
    }
    ComboBoxFiltersChange();

    switch (params.PrintRange()) {
    case rprAllPages:
        RadioButtonPagesAll->setChecked(true);
        break;
    case rprSelection:
        RadioButtonPagesSelect->setChecked(true);
        break;
    case rprPageNums:
        RadioButtonPagesInterval->setChecked(true);
        break;
    }
    EditFromPage->setText(RLDialogNumberText(params.FromPage()));
    EditToPage->setText(RLDialogNumberText(params.ToPage()));
    EditCopies->setText(RLDialogNumberText(params.Copies()));

    const TRLPrintDialogOptions options = params.Options();
    RLPaintEditEnabled(EditCopies, !options.testFlag(rpoDisableCopies));
    CheckBoxPrintToFile->setVisible(options.testFlag(rpoPrintToFile));
    CheckBoxPrintToFile->setEnabled(!options.testFlag(rpoDisablePrintToFile));
    CheckBoxPrintToFile->setChecked(params.PrintToFile());
    CheckBoxPrintInBackground->setEnabled(!options.testFlag(rpoDisablePrintInBackground));
    CheckBoxPrintInBackground->setChecked(params.PrintInBackground());
    const bool pageNums = options.testFlag(rpoPageNums);
    RadioButtonPagesInterval->setEnabled(pageNums);
    RLPaintEditEnabled(EditFromPage, pageNums);
    RLPaintEditEnabled(EditToPage, pageNums);
    RadioButtonPagesSelect->setEnabled(options.testFlag(rpoSelection));
    setWindowFlag(Qt::WindowContextHelpButtonHint, options.testFlag(rpoHelp));
}

void TRLPrintDialog::SaveEditors()
{
    TRLPrintParams& params = PrintParams();
    if (RadioButtonPagesSelect->isChecked())
        params.SetPrintRange(rprSelection);
    else if (RadioButtonPagesInterval->isChecked())
        params.SetPrintRange(rprPageNums);
    else
        params.SetPrintRange(rprAllPages);
    const QPair<int, int> range = RLChosenPageRange(
        params.PrintRange(), EditFromPage->text(), EditToPage->text(), params.MinPage(), params.MaxPage());
    params.SetFromPage(range.first);
    params.SetToPage(range.second);
    params.SetCopies(RLDialogNumber(EditCopies->text()));
    params.SetPrintToFile(CheckBoxPrintToFile->isChecked());
    params.SetPrintInBackground(CheckBoxPrintInBackground->isChecked());
    if (ComboBoxPrinterNames->currentIndex() >= 0)
        PrinterWrapper().SelectPrinter(ComboBoxPrinterNames->currentIndex());
    TRLCustomPrintFilter* filter = FilterAt(ComboBoxFilters->currentIndex());
    params.SetFilter(filter);
    if (filter)
        filter->SetOptionIndex(ComboBoxOptions->currentIndex());
    params.ApplyCopies();
}

bool TRLPrintDialog::Execute()
{
    LoadEditors();
    ComboBoxPrinterNames->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    SaveEditors();
    return true;
}
