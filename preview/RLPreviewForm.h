#pragma once
// The preview window: one page store shown in one preview control, or two stacked when the screen
// is split, under a toolbar of print, save, printer set-up, page navigation, zoom, split view,
// selection mode and close.
//
// The window frees itself when closed (with its previews, which release their store links, and its
// find dialog) and stores its window state as the process-wide default.
//
// Printing, the save dialog and printer set-up belong to the printing and saving units, which fill
// RLPreviewActions(); until they do, saving writes a page store file and the print and set-up buttons
// stay disabled. The report reaches the window through RLShowPreviewEntry, whose parameters use only
// types the engine knows.
#include "preview/RLPreview.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QSplitter;
class QTimer;
class QToolButton;
class TRLGraphicStorage;
class TfrmRLFindDialog;
class TRLPreviewForm;

// Window settings as the report passes them. Kept out of the global namespace: the engine's report
// options may name the same values.
namespace RLPreviewWindow {
enum TWindowState : int { wsNormal, wsMinimized, wsMaximized };
enum TPosition : int {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
enum TFormStyle : int { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TBorderIcon : int { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
} // namespace RLPreviewWindow

// The process-wide preview settings, used when the report asks for the defaults. Closing a preview
// window stores its window state here.
struct TRLPreviewDefaults
{
    int WindowState = RLPreviewWindow::wsMaximized;
    int FormStyle = RLPreviewWindow::fsNormal;
    int Position = RLPreviewWindow::poDesigned;
    int BorderIcons
        = RLPreviewWindow::biSystemMenu | RLPreviewWindow::biMinimize | RLPreviewWindow::biMaximize;
    QString HelpFile;
    int HelpContext = 0;
    QString Caption;
    // The zoom a new window opens with: a percentage, or -1 page width, -2 entire page, -3 multiple
    // pages.
    double ZoomValue = 100;
};
TRLPreviewDefaults& RLPreviewDefaults();

// What the printing and saving units plug in. Each may be left empty.
struct TRLPreviewActions
{
    // Resets the print parameters for Storage, shows the print dialog and prints what is confirmed.
    std::function<void(TRLPreviewForm* Form, TRLGraphicStorage* Storage)> Print;
    // Shows the save dialog proposing FileName and saves what is confirmed (with a filter, or as a
    // page store file). Returns false when the user cancelled.
    std::function<bool(TRLPreviewForm* Form, TRLGraphicStorage* Storage, const QString& FileName)> Save;
    // The printer's own settings dialog.
    std::function<void(TRLPreviewForm* Form)> PrinterSetup;
    // Without a Save action: asks where to write the page store file (empty when cancelled). The
    // default is the platform's file dialog.
    std::function<QString(TRLPreviewForm* Form, const QString& ProposedFileName)> AskSaveFileName;
    // Asks for a page store file to open (empty when cancelled). The default is the file dialog.
    std::function<QString(TRLPreviewForm* Form)> AskOpenFileName;
    // Shows a failure of printing, saving or opening; a message box by default.
    std::function<void(TRLPreviewForm* Form, const QString& Message)> ShowError;
};
TRLPreviewActions& RLPreviewActions();

// The accelerators of the toolbar captions: "&" before the first character whose upper-case form is
// a digit or a letter A to Z not used by an earlier caption. Captions without a letter or digit stay
// as they are and use nothing.
QStringList RLAssignAccelerators(const QStringList& Captions);

// The report title as a file name: trimmed, without control characters, DEL and " * / : < > ? \ |.
QString RLCleanFileName(const QString& Title);

class TRLPreviewForm : public QDialog
{
    Q_OBJECT
public:
    explicit TRLPreviewForm(QWidget* Parent = nullptr);
    ~TRLPreviewForm() override;

    // Toolbar and panels, named as the window's designer named them.
    QFrame* PanelTools = nullptr;
    QFrame* PanelContainer = nullptr;
    QSplitter* Splitter = nullptr;
    QToolButton* SpeedButtonPrint = nullptr;
    QToolButton* SpeedButtonSave = nullptr;
    QToolButton* SpeedButtonSend = nullptr;
    QToolButton* SpeedButtonSetup = nullptr;
    QToolButton* SpeedButtonFirst = nullptr;
    QToolButton* SpeedButtonPrior = nullptr;
    QFrame* PanelPages = nullptr;
    QLabel* LabelPage = nullptr;
    QLineEdit* EditPageNo = nullptr;
    QLabel* LabelOf = nullptr;
    QLabel* PanelPageCount = nullptr;
    QToolButton* SpeedButtonNext = nullptr;
    QToolButton* SpeedButtonLast = nullptr;
    QToolButton* SpeedButtonZoomDown = nullptr;
    QToolButton* SpeedButtonZoomUp = nullptr;
    QFrame* PanelZoom = nullptr;
    QComboBox* ComboBoxZoom = nullptr;
    QToolButton* SpeedButtonViews = nullptr;
    QToolButton* SpeedButtonEdit = nullptr;
    QToolButton* SpeedButtonClose = nullptr;
    QToolButton* SpeedButtonAbout = nullptr;
    QTimer* TimerRepeat = nullptr;

    int PreviewCount() const { return int(FPreviews.size()); }
    TRLPreview* Previews(int Index) const { return FPreviews.at(Index); }
    int CurrentIndex() const { return FCurrentIndex; }
    // The preview the toolbar and keys act on.
    TRLPreview* Current() const;
    // The preview that last received the focus, or nullptr.
    TRLPreview* CurrentPreview() const { return FCurrentPreview; }
    TfrmRLFindDialog* FindWindow() const { return FFindWindow; }
    QString HelpFile() const { return FHelpFile; }
    int HelpContext() const { return FHelpContext; }

    // Gives the store to the active preview (the second preview, if any, follows).
    void SetStorage(TRLGraphicStorage* Storage);
    // Reads a page store file into a new store and shows it. Failures raise (EReadError).
    void OpenFile(const QString& FileName);

    // Applies a zoom value as the defaults store it (percentage or -1, -2, -3).
    void ApplyZoomValue(double Value);

    void SetPreviewCurrent(TRLPreview* Preview);
    void AddPreview();
    void RemovePreview();
    void ArrangePreviews();

    // Refreshes the page box and the zoom text from the current preview (skipped while typing).
    void UpdatePageNumber();
    void UpdateZoomText();

    // Handlers. The click handlers raise their failures; the buttons show them.
    void SpeedButtonPrintClick();
    void SpeedButtonSaveClick();
    void SpeedButtonSendClick() { }
    void SpeedButtonSetupClick();
    void SpeedButtonFirstClick();
    void SpeedButtonLastClick();
    void SpeedButtonPriorMouseDown(QToolButton* Button);
    void SpeedButtonPriorMouseUp(QToolButton* Button);
    void SpeedButtonZoomDownClick();
    void SpeedButtonZoomUpClick();
    void SpeedButtonViewsClick();
    void SpeedButtonEditClick();
    void SpeedButtonCloseClick();
    void SpeedButtonOpenClick();
    void EditPageNoChange();
    void ComboBoxZoomChange();
    void TimerRepeatTimer();
    void rpvDefaultChangeView(TRLPreview* Sender);
    // Returns whether the key was handled (and so consumed).
    bool FormKeyDown(int Key, Qt::KeyboardModifiers Modifiers);
    void ShowFindDialog();
    // The window's find routine, the find dialog's handler.
    bool FindText(const QString& Text, int Options);

    // The proposed file name for saving: the cleaned title as a full path in the current folder.
    QString ProposedFileName() const;

    // Applies everything ShowPreview sets, without showing the window.
    void ApplySettings(int FormStyle, const QString& Caption, int HelpContext, const QString& HelpFile,
        int BorderIcons, int WindowState, int Position);

    int TimerTag() const { return FTimerTag; }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    QToolButton* NewButton(int Left, int Width, const QString& Caption, const QString& Hint);
    void NewBevel(int Left);
    void RunGuarded(const std::function<void()>& Action);
    void RestoreFocus(QWidget* Remembered, bool AfterSave);
    // Writes the zoom text unconditionally (UpdateZoomText decides when).
    void ShowZoomText();

    QList<TRLPreview*> FPreviews;
    int FCurrentIndex = 0;
    TRLPreview* FCurrentPreview = nullptr;
    TfrmRLFindDialog* FFindWindow = nullptr;
    bool FZoomTyping = false;
    bool FPageTyping = false;
    int FTimerTag = 0;
    int FPriorTag = 0;
    int FNextTag = 0;
    QString FHelpFile;
    int FHelpContext = 0;
};

// Creates a preview window for Storage and shows it as the report's Preview asks. Modal windows run
// until closed; the window frees itself when closed. Returns the window while it may still be open
// (non-modal), nullptr after a modal run.
TRLPreviewForm* ShowPreview(TRLGraphicStorage* Storage, bool Modal, int FormStyle, const QString& Caption,
    int HelpContext, const QString& HelpFile, int BorderIcons, int WindowState, int Position);

// The same with only types the engine knows, for the engine's preview hook.
void RLShowPreviewEntry(TRLGraphicStorage* Storage, bool Modal, int FormStyle, const QString& Caption,
    int HelpContext, const QString& HelpFile, int BorderIcons, int WindowState, int Position);
using TRLShowPreviewProc
    = void (*)(TRLGraphicStorage* Storage, bool Modal, int FormStyle, const QString& Caption, int HelpContext,
        const QString& HelpFile, int BorderIcons, int WindowState, int Position);

// The report's defaults path: ShowPreview with the process-wide preview defaults, modal.
void RLShowPreviewWithDefaults(TRLGraphicStorage* Storage);
