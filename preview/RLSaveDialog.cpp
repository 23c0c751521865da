#include "preview/RLSaveDialog.h"

#include "engine/RLConsts.h"
#include "filters/RLPDFFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace {

TRLSaveParams* SaveParamsInstance = nullptr;

void FreeSaveParams()
{
    delete SaveParamsInstance;
    SaveParamsInstance = nullptr;
}

template <typename T> T* Place(T* Widget, int Left, int Top, int Width, int Height)
{
    Widget->setGeometry(Left, Top, Width, Height);
    return Widget;
}

constexpr int LabelHeight = 13;

bool HasExtension(const QString& FileName)
{
    return !QFileInfo(FileName).suffix().isEmpty();
}

// The platform's file dialog with a "caption (*.ext)|*.ext" type filter.
QString AskWithFileDialog(
    TRLSaveDialog* Sender, const QString& TypeFilter, const QString& DefaultExt, const QString& FileName)
{
    QFileDialog dialog(Sender, RLMessage(RLMsgSaveToFile));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(TypeFilter.section(QLatin1Char('|'), 0, 0));
    QString suffix = DefaultExt;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!FileName.isEmpty())
        dialog.selectFile(FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString EmbedFontsCaption()
{
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        return QStringLiteral("Embutir as fontes");
    case lgFrench:
        return QStringLiteral("Incorporer les polices");
    case lgSpanish:
        return QStringLiteral("Incrustar las fuentes");
    case lgEnglish:
        break;
    }
    return QStringLiteral("Embed fonts");
}

QString CompressCaption()
{
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        return QStringLiteral("Compactar");
    case lgFrench:
        return QStringLiteral("Compresser");
    case lgSpanish:
        return QStringLiteral("Comprimir");
    case lgEnglish:
        break;
    }
    return QStringLiteral("Compress");
}

} // namespace

// --- parameters --------------------------------------------------------------------------------

TRLSaveParams::TRLSaveParams(TComponent* AOwner)
    : TRLDialogParams(AOwner)
{ }

void TRLSaveParams::Reset()
{
    ResetShared();
    FSaveRange = rsrAllPages;
}

TRLSaveParams& SaveParams()
{
    if (!SaveParamsInstance) {
        SaveParamsInstance = new TRLSaveParams(nullptr);
        if (QCoreApplication::instance())
            qAddPostRoutine(FreeSaveParams);
    }
    return *SaveParamsInstance;
}

// --- dialog ------------------------------------------------------------------------------------

TRLSaveDialog::TRLSaveDialog(QWidget* Parent)
    : QDialog(Parent)
    , AskFileName(AskWithFileDialog)
{
    setWindowTitle(RLMessage(RLMsgSave));
    setFixedSize(391, 244);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // Made first so that the keyboard starts at the file name.
    EditFileName = Place(new QLineEdit(this), 108, 12, 249, 21);
    ComboBoxFormat = Place(new QComboBox(this), 108, 40, 177, 21);
    LabelFileName = Place(new QLabel(RLLabelCaption(RLMsgFileName), this), 12, 16, 84, LabelHeight);
    LabelUseFilter = Place(new QLabel(RLLabelCaption(RLMsgUseFilter), this), 12, 44, 86, LabelHeight);
    SpeedButtonLookup = Place(new QPushButton(QStringLiteral("..."), this), 356, 12, 21, 21);
    SpeedButtonLookup->setAutoDefault(false);

    GroupBoxPages = Place(new QGroupBox(RLGroupCaption(RLMsgPageRange), this), 12, 68, 365, 101);
    LabelFromPage = Place(new QLabel(RLLabelCaption(RLMsgRangeFrom), GroupBoxPages), 68, 45, 15, LabelHeight);
    LabelToPage = Place(new QLabel(RLLabelCaption(RLMsgRangeTo), GroupBoxPages), 136, 45, 18, LabelHeight);
    RadioButtonPagesAll = Place(new QRadioButton(RLMessage(RLMsgAll), GroupBoxPages), 8, 20, 113, 17);
    RadioButtonPagesAll->setChecked(true);
    RadioButtonPagesInterval = Place(new QRadioButton(RLMessage(RLMsgPages), GroupBoxPages), 8, 44, 61, 17);
    RadioButtonPagesSelect = Place(new QRadioButton(RLMessage(RLMsgSelection), GroupBoxPages), 8, 68, 73, 17);
    EditFromPage = Place(new QLineEdit(QStringLiteral("1"), GroupBoxPages), 88, 44, 41, 21);
    EditFromPage->setFocusPolicy(Qt::ClickFocus);
    EditToPage = Place(new QLineEdit(GroupBoxPages), 160, 44, 41, 21);
    EditToPage->setFocusPolicy(Qt::ClickFocus);

    CheckBoxSaveInBackground = Place(new QCheckBox(RLMessage(RLMsgSaveInBackground), this), 12, 172, 365, 17);
    // Beside the buttons, which leave the lower left corner free.
    CheckBoxEmbedFonts = Place(new QCheckBox(EmbedFontsCaption(), this), 12, 192, 200, 17);
    CheckBoxCompress = Place(new QCheckBox(CompressCaption(), this), 12, 212, 200, 17);

    ButtonSave = Place(new QPushButton(RLMessage(RLMsgSave), this), 220, 204, 75, 25);
    ButtonSave->setDefault(true);
    ButtonCancel = Place(new QPushButton(RLMessage(RLMsgCancel), this), 304, 204, 75, 25);

    connect(SpeedButtonLookup, &QPushButton::clicked, this, [this] { SpeedButtonLookupClick(); });
    connect(ButtonSave, &QPushButton::clicked, this, [this] { ButtonSaveClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(
        EditFromPage, &QLineEdit::textEdited, this, [this] { RadioButtonPagesInterval->setChecked(true); });
    connect(EditToPage, &QLineEdit::textEdited, this, [this] { RadioButtonPagesInterval->setChecked(true); });
    connect(ComboBoxFormat, &QComboBox::currentIndexChanged, this, [this] { UpdatePdfOptions(); });
    connect(EditFileName, &QLineEdit::textChanged, this, [this] { UpdatePdfOptions(); });

    RLWidenToCaptions(this);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TRLCustomSaveFilter* TRLSaveDialog::FilterAt(int Index) const
{
    if (Index < 0 || Index >= int(FFilters.size()))
        return nullptr;
    return FFilters[size_t(Index)].data();
}

QString TRLSaveDialog::LookupDefaultExt() const
{
    if (TRLCustomSaveFilter* filter = FilterAt(ComboBoxFormat->currentIndex()))
        return filter->DefaultExt();
    return QString::fromLatin1(PageStoreExtension);
}

QString TRLSaveDialog::LookupTypeFilter() const
{
    const QString ext = LookupDefaultExt();
    const QString caption = FilterAt(ComboBoxFormat->currentIndex())
        ? FilterAt(ComboBoxFormat->currentIndex())->GetDisplayName()
        : QStringLiteral("Quillborough");
    return caption + QStringLiteral(" (*") + ext + QStringLiteral(")|*") + ext;
}

void TRLSaveDialog::SpeedButtonLookupClick()
{
    if (!AskFileName)
        return;
    const QString chosen = AskFileName(this, LookupTypeFilter(), LookupDefaultExt(), EditFileName->text());
    if (!chosen.isEmpty())
        EditFileName->setText(chosen);
}

TRLCustomSaveFilter* TRLSaveDialog::ChosenFilter() const
{
    if (HasExtension(EditFileName->text()))
        return SaveFilterForFile(EditFileName->text());
    return FilterAt(ComboBoxFormat->currentIndex());
}

void TRLSaveDialog::UpdatePdfOptions()
{
    const bool pdf = qobject_cast<TRLPDFFilter*>(ChosenFilter()) != nullptr;
    CheckBoxEmbedFonts->setVisible(pdf);
    CheckBoxCompress->setVisible(pdf);
}

void TRLSaveDialog::ButtonSaveClick()
{
    // Without a name the file would land as a bare extension in the working folder.
    if (EditFileName->text().trimmed().isEmpty()) {
        EditFileName->setFocus();
        return;
    }
    accept();
}

void TRLSaveDialog::LoadEditors()
{
    TRLSaveParams& params = SaveParams();
    ComboBoxFormat->clear();
    FFilters.clear();
    ComboBoxFormat->addItem(RLMessage(RLMsgDefault));
    FFilters.emplace_back(nullptr);
    int formatIndex = 0;
    for (TRLCustomFilter* candidate : FilterList()) {
        auto* filter = qobject_cast<TRLCustomSaveFilter*>(candidate);
        if (!filter || !filter->HasSource())
            continue;
        if (filter == params.Filter())
            formatIndex = ComboBoxFormat->count();
        ComboBoxFormat->addItem(filter->GetDisplayName());
        FFilters.emplace_back(filter);
    }
    ComboBoxFormat->setCurrentIndex(formatIndex);

    switch (params.SaveRange()) {
    case rsrAllPages:
        RadioButtonPagesAll->setChecked(true);
        break;
    case rsrSelection:
        RadioButtonPagesSelect->setChecked(true);
        break;
    case rsrPageNums:
        RadioButtonPagesInterval->setChecked(true);
        break;
    }
    EditFileName->setText(params.FileName());
    EditFromPage->setText(RLDialogNumberText(params.FromPage()));
    EditToPage->setText(RLDialogNumberText(params.ToPage()));
    CheckBoxSaveInBackground->setChecked(params.SaveInBackground());
    CheckBoxSaveInBackground->setEnabled(!params.Options().testFlag(rsoDisableSaveInBackground));
    CheckBoxEmbedFonts->setChecked(params.EmbedFonts());
    CheckBoxCompress->setChecked(params.Compress());
    UpdatePdfOptions();
    RadioButtonPagesInterval->setEnabled(true);
    RLPaintEditEnabled(EditFromPage, true);
    RLPaintEditEnabled(EditToPage, true);
    RadioButtonPagesSelect->setEnabled(false);
}

void TRLSaveDialog::SaveEditors()
{
    TRLSaveParams& params = SaveParams();
    params.SetFileName(EditFileName->text());
    if (RadioButtonPagesSelect->isChecked())
        params.SetSaveRange(rsrSelection);
    else if (RadioButtonPagesInterval->isChecked())
        params.SetSaveRange(rsrPageNums);
    else
        params.SetSaveRange(rsrAllPages);
    const QPair<int, int> range = RLChosenPageRange(
        params.SaveRange(), EditFromPage->text(), EditToPage->text(), params.MinPage(), params.MaxPage());
    params.SetFromPage(range.first);
    params.SetToPage(range.second);
    params.SetSaveInBackground(CheckBoxSaveInBackground->isChecked());
    params.SetEmbedFonts(CheckBoxEmbedFonts->isChecked());
    params.SetCompress(CheckBoxCompress->isChecked());
    params.SetFilter(FilterAt(ComboBoxFormat->currentIndex()));
    if (HasExtension(params.FileName()))
        params.SetFilter(SaveFilterForFile(params.FileName()));
    else if (params.Filter())
        params.SetFileName(params.FileName() + params.Filter()->DefaultExt());
    else
        params.SetFileName(params.FileName() + QString::fromLatin1(PageStoreExtension));
}

bool TRLSaveDialog::Execute()
{
    LoadEditors();
    EditFileName->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    SaveEditors();
    return true;
}
