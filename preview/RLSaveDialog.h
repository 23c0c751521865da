#pragma once
// The save parameters and the save dialog.
//
// TRLSaveParams: one process-wide instance (SaveParams()), made on first use without owner and freed
// when the application object goes; it watches its Filter and forgets it when the filter is
// destroyed. No filter means the page store's own file format.
//
// TRLSaveDialog: built in code, created for one use and freed by the caller. Execute fills the
// controls, runs modally and, on OK only, writes them back: the file name's extension picks the save
// filter (an extension no filter has means the page store format under that name), and a name
// without one gets the chosen format's extension. On cancel the parameters stay as they were.
// The PDF writer's embedding and compression are offered while the PDF writer is the one that
// would write; like the background choice they are remembered from one save to the next.
#include "preview/RLPrintDialog.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The page store file's extension and its entry in the file dialog.
inline constexpr const char* PageStoreExtension = ".pgx";

class TRLSaveParams : public TRLDialogParams
{
    Q_OBJECT
    Q_PROPERTY(RLPrintDialogs::TRLSaveDialogOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(int MaxPage READ MaxPage WRITE SetMaxPage)
    Q_PROPERTY(int MinPage READ MinPage WRITE SetMinPage)
    Q_PROPERTY(int FromPage READ FromPage WRITE SetFromPage)
    Q_PROPERTY(int ToPage READ ToPage WRITE SetToPage)
    Q_PROPERTY(RLPrintDialogs::TRLSaveRange SaveRange READ SaveRange WRITE SetSaveRange)
    Q_PROPERTY(bool SaveInBackground READ SaveInBackground WRITE SetSaveInBackground)
    Q_PROPERTY(bool EmbedFonts READ EmbedFonts WRITE SetEmbedFonts)
    Q_PROPERTY(bool Compress READ Compress WRITE SetCompress)
    Q_PROPERTY(TRLCustomSaveFilter* Filter READ Filter WRITE SetFilter)
    Q_PROPERTY(int HelpContext READ HelpContext WRITE SetHelpContext)
public:
    Q_INVOKABLE explicit TRLSaveParams(TComponent* AOwner = nullptr);

    TRLSaveDialogOptions Options() const { return FOptions; }
    void SetOptions(TRLSaveDialogOptions Value) { FOptions = Value; }
    TRLSaveRange SaveRange() const { return FSaveRange; }
    void SetSaveRange(TRLSaveRange Value) { FSaveRange = Value; }
    bool SaveInBackground() const { return FSaveInBackground; }
    void SetSaveInBackground(bool Value) { FSaveInBackground = Value; }
    bool EmbedFonts() const { return FEmbedFonts; }
    void SetEmbedFonts(bool Value) { FEmbedFonts = Value; }
    bool Compress() const { return FCompress; }
    void SetCompress(bool Value) { FCompress = Value; }
    TRLCustomSaveFilter* Filter() const { return static_cast<TRLCustomSaveFilter*>(WatchedFilter()); }
    void SetFilter(TRLCustomSaveFilter* Value) { WatchFilter(Value); }

    // No file name, page range 1..9999 over all pages, help context 0. Options, background and the
    // filter are kept.
    void Reset();

private:
    TRLSaveDialogOptions FOptions;
    TRLSaveRange FSaveRange = rsrAllPages;
    bool FSaveInBackground = false;
    bool FEmbedFonts = false;
    bool FCompress = false;
};

TRLSaveParams& SaveParams();

class TRLSaveDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TRLSaveDialog(QWidget* Parent = nullptr);

    QLabel* LabelFileName = nullptr;
    QLabel* LabelUseFilter = nullptr;
    QPushButton* SpeedButtonLookup = nullptr;
    QGroupBox* GroupBoxPages = nullptr;
    QLabel* LabelFromPage = nullptr;
    QLabel* LabelToPage = nullptr;
    QRadioButton* RadioButtonPagesAll = nullptr;
    QRadioButton* RadioButtonPagesInterval = nullptr;
    QRadioButton* RadioButtonPagesSelect = nullptr;
    QLineEdit* EditFromPage = nullptr;
    QLineEdit* EditToPage = nullptr;
    QCheckBox* CheckBoxSaveInBackground = nullptr;
    // Shown only while the PDF writer would write.
    QCheckBox* CheckBoxEmbedFonts = nullptr;
    QCheckBox* CheckBoxCompress = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QLineEdit* EditFileName = nullptr;
    QComboBox* ComboBoxFormat = nullptr;

    // The look-up button's file dialog: answers the chosen path, or empty when cancelled. TypeFilter
    // is in the "caption (*.ext)|*.ext" form. Replaceable so that tests need no nested dialog.
    using TAskFileName = std::function<QString(TRLSaveDialog* Sender, const QString& TypeFilter,
        const QString& DefaultExt, const QString& FileName)>;
    TAskFileName AskFileName;

    // Fills, runs modally, writes back on OK. True on OK.
    bool Execute();
    void LoadEditors();
    void SaveEditors();
    // The save filter of a format entry (null for "Default" and out of range).
    TRLCustomSaveFilter* FilterAt(int Index) const;
    // The type filter and default extension the look-up offers for the selected format.
    QString LookupTypeFilter() const;
    QString LookupDefaultExt() const;
    void SpeedButtonLookupClick();
    // OK: an empty file name keeps the dialog open.
    void ButtonSaveClick();
    // The save filter that OK would pick: the file name's extension first, then the format list.
    TRLCustomSaveFilter* ChosenFilter() const;
    // Shows the PDF writer's options while it is the chosen filter.
    void UpdatePdfOptions();

private:
    std::vector<QPointer<TRLCustomSaveFilter>> FFilters;
};
