#pragma once
// The print parameters and the print dialog.
//
// TRLPrintParams: one process-wide instance (PrintParams()), made on first use without owner and
// freed when the application object goes. The preview window and the report's print operation fill
// it, the dialog edits it, and the printing entry reads it; so the choices of one print are where
// the next one starts. It watches its Filter and forgets it when the filter is destroyed.
//
// TRLPrintDialog: built in code, created for one use and freed by the caller. Execute fills the
// controls from the parameters, runs modally and, on OK only, writes the controls back (and selects
// the printer and its copy count); on cancel the parameters stay as they were.
#include "filters/RLFilters.h"
#include "filters/RLPrinters.h"
#include "platform/Component.h"

#include <QDialog>
#include <QFlags>
#include <QObject>
#include <QPair>
#include <QPointer>

#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace RLPrintDialogs {
Q_NAMESPACE

enum TRLPrintDialogOption : int {
    rpoPrintToFile = 0x01,
    rpoPageNums = 0x02,
    rpoSelection = 0x04,
    rpoWarning = 0x08,
    rpoHelp = 0x10,
    rpoDisablePrintToFile = 0x20,
    rpoDisableCopies = 0x40,
    rpoDisablePrintInBackground = 0x80
};
Q_DECLARE_FLAGS(TRLPrintDialogOptions, TRLPrintDialogOption)
Q_FLAG_NS(TRLPrintDialogOptions)

enum TRLPrintRange : int { rprAllPages, rprSelection, rprPageNums };
Q_ENUM_NS(TRLPrintRange)

enum TRLSaveDialogOption : int { rsoDisableSaveInBackground = 0x01 };
Q_DECLARE_FLAGS(TRLSaveDialogOptions, TRLSaveDialogOption)
Q_FLAG_NS(TRLSaveDialogOptions)

enum TRLSaveRange : int { rsrAllPages, rsrSelection, rsrPageNums };
Q_ENUM_NS(TRLSaveRange)

} // namespace RLPrintDialogs

Q_DECLARE_OPERATORS_FOR_FLAGS(RLPrintDialogs::TRLPrintDialogOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(RLPrintDialogs::TRLSaveDialogOptions)

using namespace RLPrintDialogs;

// The options a new parameter object offers.
inline constexpr int DefaultPrintDialogOptions
    = rpoPrintToFile | rpoPageNums | rpoSelection | rpoWarning | rpoDisablePrintToFile;

// Reads a page number or count the way the dialogs do: trimmed decimal digits with an optional sign;
// anything else (including a number out of range) is 0.
int RLDialogNumber(const QString& Text);
// The text of a page number or count in an edit: empty for 0.
QString RLDialogNumberText(int Value);
// Enables or disables an edit or list and paints it in the window colour when enabled, in the
// button-face colour when not.
void RLPaintEditEnabled(QWidget* Edit, bool Enabled);
// The dialogs keep the places and sizes they were designed with, for a narrower dialog font than this
// platform's. Where a caption would be cut, the whole dialog widens by the same factor across (every
// control's left and width, and the dialog's width), so that each caption fits and the rows stay as
// they were drawn. Returns the factor used (1 when everything fits).
double RLWidenToCaptions(QDialog* Dialog);
// Captions as the dialogs show them: a group's with a space on either side, a label's with ":".
QString RLGroupCaption(int Slot);
QString RLLabelCaption(int Slot);
// The first and last page the dialogs write back for a range choice (the order of TRLPrintRange and
// TRLSaveRange): all pages, the page in the first edit, or the two edits.
QPair<int, int> RLChosenPageRange(
    int Range, const QString& FromText, const QString& ToText, int MinPage, int MaxPage);

// What the print and save parameters share: the page range, the file name, the help topic and a
// filter they watch, forgetting it when it is destroyed.
class TRLDialogParams : public TComponent
{
    Q_OBJECT
public:
    explicit TRLDialogParams(TComponent* AOwner = nullptr);
    ~TRLDialogParams() override;

    int MaxPage() const { return FMaxPage; }
    // ToPage follows when it stood at the old maximum (the user had not narrowed it).
    void SetMaxPage(int Value);
    int MinPage() const { return FMinPage; }
    void SetMinPage(int Value) { FMinPage = Value; }
    int FromPage() const { return FFromPage; }
    void SetFromPage(int Value) { FFromPage = Value; }
    int ToPage() const { return FToPage; }
    void SetToPage(int Value) { FToPage = Value; }
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& Value) { FFileName = Value; }
    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int Value) { FHelpContext = Value; }

protected:
    // Page range 1..9999, no file name, help context 0.
    void ResetShared();
    TRLCustomFilter* WatchedFilter() const { return FFilter; }
    void WatchFilter(TRLCustomFilter* Value);
    void Notification(TComponent* Component, TOperation Operation) override;

private:
    int FMaxPage = 9999;
    int FMinPage = 1;
    int FFromPage = 1;
    int FToPage = 9999;
    QString FFileName;
    int FHelpContext = 0;
    TRLCustomFilter* FFilter = nullptr;
};

class TRLPrintParams : public TRLDialogParams
{
    Q_OBJECT
    Q_PROPERTY(RLPrintDialogs::TRLPrintDialogOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(int MaxPage READ MaxPage WRITE SetMaxPage)
    Q_PROPERTY(int MinPage READ MinPage WRITE SetMinPage)
    Q_PROPERTY(int FromPage READ FromPage WRITE SetFromPage)
    Q_PROPERTY(int ToPage READ ToPage WRITE SetToPage)
    Q_PROPERTY(RLPrintDialogs::TRLPrintRange PrintRange READ PrintRange WRITE SetPrintRange)
    Q_PROPERTY(int Copies READ Copies WRITE SetCopies)
    Q_PROPERTY(bool PrintToFile READ PrintToFile WRITE SetPrintToFile)
    Q_PROPERTY(bool PrintInBackground READ PrintInBackground WRITE SetPrintInBackground)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(RLPrinters::TRLPageOrientation Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(TRLCustomPrintFilter* Filter READ Filter WRITE SetFilter)
    Q_PROPERTY(int HelpContext READ HelpContext WRITE SetHelpContext)
public:
    Q_INVOKABLE explicit TRLPrintParams(TComponent* AOwner = nullptr);

    TRLPrintDialogOptions Options() const { return FOptions; }
    void SetOptions(TRLPrintDialogOptions Value) { FOptions = Value; }
    TRLPrintRange PrintRange() const { return FPrintRange; }
    void SetPrintRange(TRLPrintRange Value) { FPrintRange = Value; }
    int Copies() const { return FCopies; }
    void SetCopies(int Value) { FCopies = Value; }
    bool PrintToFile() const { return FPrintToFile; }
    void SetPrintToFile(bool Value) { FPrintToFile = Value; }
    bool PrintInBackground() const { return FPrintInBackground; }
    void SetPrintInBackground(bool Value) { FPrintInBackground = Value; }
    TRLPageOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TRLPageOrientation Value) { FOrientation = Value; }
    // None means the default printer filter.
    TRLCustomPrintFilter* Filter() const { return static_cast<TRLCustomPrintFilter*>(WatchedFilter()); }
    void SetFilter(TRLCustomPrintFilter* Value) { WatchFilter(Value); }

    // Page range 1..9999 over all pages, no file name, help context 0, the printer's copy count.
    // Options, orientation, background and the filter are kept.
    void Reset();
    // What OK does with the current values, for a print that asks nothing: the range follows
    // PrintRange, and the printer gets the copy count.
    void Complete();
    // Gives the printer the copy count.
    void ApplyCopies();

private:
    TRLPrintDialogOptions FOptions = TRLPrintDialogOptions(DefaultPrintDialogOptions);
    TRLPrintRange FPrintRange = rprAllPages;
    int FCopies = 1;
    bool FPrintToFile = false;
    bool FPrintInBackground = false;
    TRLPageOrientation FOrientation = poPortrait;
};

TRLPrintParams& PrintParams();

class TRLPrintDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TRLPrintDialog(QWidget* Parent = nullptr);

    QGroupBox* GroupBoxPrinter = nullptr;
    QLabel* LabelPrinterName = nullptr;
    QComboBox* ComboBoxPrinterNames = nullptr;
    QLabel* LabelFilterName = nullptr;
    QComboBox* ComboBoxFilters = nullptr;
    QLabel* LabelOptions = nullptr;
    QComboBox* ComboBoxOptions = nullptr;
    QCheckBox* CheckBoxPrintToFile = nullptr;
    QCheckBox* CheckBoxPrintInBackground = nullptr;
    QGroupBox* GroupBoxPages = nullptr;
    QLabel* LabelFromPage = nullptr;
    QLabel* LabelToPage = nullptr;
    QRadioButton* RadioButtonPagesAll = nullptr;
    QRadioButton* RadioButtonPagesInterval = nullptr;
    QRadioButton* RadioButtonPagesSelect = nullptr;
    QLineEdit* EditFromPage = nullptr;
    QLineEdit* EditToPage = nullptr;
    QGroupBox* GroupBoxCopies = nullptr;
    QLabel* LabelCopies = nullptr;
    QLineEdit* EditCopies = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;
    // Why Ok is disabled ("Nenhuma impressora encontrada"), beside the buttons; hidden otherwise.
    QLabel* LabelNoPrinter = nullptr;

    // Fills, runs modally, writes back on OK. True on OK.
    bool Execute();
    // The two halves of Execute.
    void LoadEditors();
    void SaveEditors();
    // The filter of a filter-list entry (null for "Default" and for an entry out of range).
    TRLCustomPrintFilter* FilterAt(int Index) const;
    // Shows or hides the options choice for the selected filter.
    void ComboBoxFiltersChange();
    // Without any printer, the printer filter (the "Default" entry or any spool filter) has nowhere
    // to print: Ok is disabled and the reason shown, from the moment the dialog opens, rather than
    // after Ok. A filter of another kind may still run.
    void UpdatePrinterAvailability();

private:
    std::vector<QPointer<TRLCustomPrintFilter>> FFilters;
};
