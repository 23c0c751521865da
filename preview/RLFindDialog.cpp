#include "preview/RLFindDialog.h"

#include "engine/RLConsts.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

namespace {

// Restores the normal cursor on every way out of a search, failures included.
class TWaitCursor
{
public:
    TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace

TfrmRLFindDialog::TfrmRLFindDialog(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(RLMessage(RLMsgFind));
    setFixedSize(367, 94);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    LabelTextToFind = new QLabel(RLMessage(RLMsgFindText) + u':', this);
    LabelTextToFind->move(8, 16);
    EditTextToFind = new QLineEdit(this);
    EditTextToFind->setGeometry(48, 12, 229, 21);
    LabelTextToFind->setBuddy(EditTextToFind);
    LabelTextToFind->adjustSize();

    BitBtnFindNext = new QPushButton(RLMessage(RLMsgFindNext), this);
    BitBtnFindNext->setGeometry(284, 12, 75, 21);
    BitBtnFindNext->setDefault(true);
    BitBtnFindNext->setAutoDefault(true);
    BitBtnCancel = new QPushButton(RLMessage(RLMsgCancel), this);
    BitBtnCancel->setGeometry(284, 36, 75, 21);
    BitBtnCancel->setAutoDefault(false);

    CheckBoxWholeWords = new QCheckBox(RLMessage(RLMsgWholeWordsOnly), this);
    CheckBoxWholeWords->setGeometry(8, 44, 133, 17);
    CheckBoxMatchCase = new QCheckBox(RLMessage(RLMsgMatchCase), this);
    CheckBoxMatchCase->setGeometry(8, 64, 193, 17);

    RadioGroupDirection = new QGroupBox(u' ' + RLMessage(RLMsgDirection) + u' ', this);
    RadioGroupDirection->setGeometry(204, 36, 73, 49);
    RadioButtonUp = new QRadioButton(RLMessage(RLMsgDirectionUp), RadioGroupDirection);
    RadioButtonUp->setGeometry(6, 14, 64, 16);
    RadioButtonDown = new QRadioButton(RLMessage(RLMsgDirectionDown), RadioGroupDirection);
    RadioButtonDown->setGeometry(6, 30, 64, 16);
    RadioButtonDown->setChecked(true);

    // The designed places assume the platform's narrow dialog font; the fonts standing in for it are
    // wider. Where a check box's caption needs more room than it was given, the direction box and
    // the buttons move over and the dialog widens (the text box with them), so no caption is cut.
    int checkBoxesRight = 0;
    for (QCheckBox* box : { CheckBoxWholeWords, CheckBoxMatchCase }) {
        box->resize(std::max(box->width(), box->sizeHint().width()), box->height());
        checkBoxesRight = std::max(checkBoxesRight, box->x() + box->width());
    }
    const int extra = std::max(0, checkBoxesRight + 3 - RadioGroupDirection->x());
    if (extra > 0) {
        EditTextToFind->resize(EditTextToFind->width() + extra, EditTextToFind->height());
        for (QWidget* moved : { static_cast<QWidget*>(RadioGroupDirection),
                 static_cast<QWidget*>(BitBtnFindNext), static_cast<QWidget*>(BitBtnCancel) })
            moved->move(moved->x() + extra, moved->y());
        setFixedSize(width() + extra, height());
    }

    connect(BitBtnFindNext, &QPushButton::clicked, this, [this] { BitBtnFindNextClick(); });
    connect(BitBtnCancel, &QPushButton::clicked, this, [this] { BitBtnCancelClick(); });

    ShowMessage = [](TfrmRLFindDialog* Sender, const QString& Text) {
        QMessageBox::information(Sender, Sender->windowTitle(), Text);
    };

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

int TfrmRLFindDialog::Options() const
{
    int options = 0;
    if (CheckBoxWholeWords->isChecked())
        options |= FindOptionWholeWords;
    if (CheckBoxMatchCase->isChecked())
        options |= FindOptionMatchCase;
    if (RadioButtonUp->isChecked())
        options |= FindOptionBackward;
    return options;
}

QString TfrmRLFindDialog::TextToFind() const
{
    return EditTextToFind->text();
}

bool TfrmRLFindDialog::BitBtnFindNextClick()
{
    bool found = false;
    if (OnFind) {
        TWaitCursor wait;
        found = OnFind(this, TextToFind(), Options());
    }
    if (!found && ShowMessage) {
        // Our own message takes the focus; that must not close the dialog under it.
        FShowingMessage = true;
        try {
            ShowMessage(this, RLMessage(RLMsgNotFound));
        } catch (...) {
            FShowingMessage = false;
            throw;
        }
        FShowingMessage = false;
    }
    return found;
}

void TfrmRLFindDialog::BitBtnCancelClick()
{
    close();
}

void TfrmRLFindDialog::FormDeactivate()
{
    if (!FShowingMessage)
        close();
}

bool TfrmRLFindDialog::event(QEvent* Event)
{
    if (Event->type() == QEvent::WindowDeactivate && isVisible())
        FormDeactivate();
    return QDialog::event(Event);
}
