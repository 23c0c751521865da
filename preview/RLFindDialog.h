#pragma once
// The find dialog of the preview window. It is created by its owner on first use, shown without
// being modal, hidden (not freed) when it closes, and keeps its text and options for the next search.
// It closes as soon as it loses the focus, except while it shows its own "not found" message.
//
// The search itself is the owner's: OnFind receives the text and the option bits below and answers
// whether something was found.
#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QGroupBox;
class QRadioButton;

// Option bits passed to the find handler.
constexpr int FindOptionWholeWords = 1;
constexpr int FindOptionMatchCase = 2;
constexpr int FindOptionBackward = 4;

class TfrmRLFindDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmRLFindDialog(QWidget* Parent = nullptr);

    QLabel* LabelTextToFind = nullptr;
    QLineEdit* EditTextToFind = nullptr;
    QPushButton* BitBtnFindNext = nullptr;
    QPushButton* BitBtnCancel = nullptr;
    QCheckBox* CheckBoxWholeWords = nullptr;
    QCheckBox* CheckBoxMatchCase = nullptr;
    QGroupBox* RadioGroupDirection = nullptr;
    QRadioButton* RadioButtonUp = nullptr;
    QRadioButton* RadioButtonDown = nullptr;

    using TFindHandler = std::function<bool(TfrmRLFindDialog* Sender, const QString& Text, int Options)>;
    TFindHandler OnFind;
    // Shows the "not found" text; a message box by default (replaceable so that tests need no
    // nested event loop).
    std::function<void(TfrmRLFindDialog* Sender, const QString& Text)> ShowMessage;

    // The option bits the controls stand for now.
    int Options() const;
    QString TextToFind() const;

    // Runs one search: hourglass cursor around the handler, "not found" when it finds nothing.
    // Returns what the handler answered (false without a handler).
    bool BitBtnFindNextClick();
    void BitBtnCancelClick();
    void FormDeactivate();

protected:
    bool event(QEvent* Event) override;

private:
    bool FShowingMessage = false;
};
