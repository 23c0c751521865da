// The preview window driven through its real widgets: toolbar, typed zoom and page values, keys, split
// view, the find dialog, saving and opening page store files, and a screenshot of a whole report.
#include "preview/RLPreviewForm.h"

#include "engine/RLConsts.h"
#include "pagestore/RLMetaFile.h"
#include "preview/RLFindDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// A store of Count A4 pages laid out like an inventory listing: a heading, a column header, product
// lines with their amounts, and a footer with the page number.
TRLGraphicStorage* MakeReport(int Count, int FirstPageNumber = 1, const QString& Title = QString())
{
    auto* store = new TRLGraphicStorage;
    store->SetOrientation(1);
    store->SetPaperWidth(210);
    store->SetPaperHeight(297);
    store->SetFirstPageNumber(FirstPageNumber);
    store->SetLastPageNumber(FirstPageNumber + Count - 1);
    store->SetTitle(Title);
    for (int n = 0; n < Count; ++n) {
        auto* page = new TRLGraphicSurface;
        page->SetWidth(794);
        page->SetHeight(1123);
        page->CurrentFont().SetName(QStringLiteral("Arial"));
        page->CurrentFont().SetSize(14);
        NewGroupId();
        page->CurrentBrush().SetColor(clWhite);
        page->Rectangle(38, 38, 756, 90);
        page->WriteText(TRect(40, 40, 754, 88), 44, 50, QStringLiteral("Inventário por Preço de Custo"),
            MetaTextAlignmentLeft, MetaTextLayoutTop, 4);
        page->CurrentFont().SetSize(9);
        NewGroupId();
        page->CurrentBrush().SetColor(clSilver);
        page->FillRect(TRect(38, 100, 756, 120));
        page->WriteText(TRect(40, 102, 400, 118), 44, 102, QStringLiteral("Produto"), MetaTextAlignmentLeft,
            MetaTextLayoutTop, 4);
        page->WriteText(TRect(600, 102, 754, 118), 600, 102, QStringLiteral("Saldo"), MetaTextAlignmentRight,
            MetaTextLayoutTop, 4);
        page->CurrentBrush().SetColor(clWhite);
        for (int line = 0; line < 40; ++line) {
            NewGroupId();
            const int top = 126 + line * 22;
            page->WriteText(TRect(40, top, 500, top + 18), 44, top,
                QStringLiteral("PRODUTO %1").arg(n * 40 + line + 1, 4, 10, QLatin1Char('0')),
                MetaTextAlignmentLeft, MetaTextLayoutTop, 4);
            page->WriteText(TRect(600, top, 754, top + 18), 600, top,
                QStringLiteral("%1,50").arg(line * 3 + n), MetaTextAlignmentRight, MetaTextLayoutTop, 4);
        }
        NewGroupId();
        page->WriteText(TRect(40, 1040, 754, 1060), 44, 1040,
            QStringLiteral("Página {PageNumber} de {LastPageNumber}"), MetaTextAlignmentLeft,
            MetaTextLayoutTop, 4);
        page->MacroValues.append(QStringLiteral("PageNumber=%1").arg(FirstPageNumber + n));
        store->Add(page);
    }
    return store;
}

class PreviewFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SavedActions = RLPreviewActions();
        SavedDefaults = RLPreviewDefaults();
        Form = new TRLPreviewForm;
        Form->resize(1000, 760);
        Form->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        delete Form.data();
        RLPreviewActions() = SavedActions;
        RLPreviewDefaults() = SavedDefaults;
    }
    void Key(int K, Qt::KeyboardModifiers M = {})
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : Form.data();
        QTest::keyClick(target, Qt::Key(K), M);
    }
    TRLPreview* Current() { return Form->Current(); }

    QPointer<TRLPreviewForm> Form;
    TRLPreviewActions SavedActions;
    TRLPreviewDefaults SavedDefaults;
};

} // namespace

TEST(PreviewFormText, AcceleratorsTakeTheFirstFreeLetterOrDigit)
{
    struct Case
    {
        QStringList Captions;
        QStringList Expected;
    };
    const std::vector<Case> cases = {
        { { "Imprimir", "Salvar", "Enviar", "Fechar" }, { "&Imprimir", "&Salvar", "&Enviar", "&Fechar" } },
        { { "Print", "Save", "Send", "Close" }, { "&Print", "&Save", "S&end", "&Close" } },
        { { "", "...", "Ab", "ab", "a1" }, { "", "...", "&Ab", "a&b", "a&1" } },
        { { "Ça", "ça" }, { "Ç&a", "ça" } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(RLAssignAccelerators(c.Captions), c.Expected) << c.Captions.join(u'|').toStdString();
}

TEST(PreviewFormText, TitlesBecomeFileNames)
{
    const std::vector<std::pair<QString, QString>> cases = {
        { "Inventário: 01/2024", "Inventário 012024" },
        { "  a\"b*c?d<e>f|g\\h  ", "abcdefgh" },
        { QString("x\ty") + QChar(127) + QChar(1) + "z", "xyz" },
        { "Relatório", "Relatório" },
        { ":/", "" },
    };
    for (const auto& [title, expected] : cases)
        EXPECT_EQ(RLCleanFileName(title), expected) << title.toStdString();
}

TEST_F(PreviewFormTest, ToolbarCarriesTheEngineMessagesAndItsPlaces)
{
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("Pré-visualização"));
    struct Item
    {
        QToolButton* Button;
        int Left;
        int Width;
        QString Text;
        QString Hint;
    };
    const std::vector<Item> items = {
        { Form->SpeedButtonPrint, 1, 50, "&Imprimir", "Imprimir" },
        { Form->SpeedButtonSave, 51, 50, "&Salvar", "Salvar em disco" },
        { Form->SpeedButtonSend, 101, 50, "&Enviar", "Enviar para" },
        { Form->SpeedButtonSetup, 162, 22, "", "Configurar impressora" },
        { Form->SpeedButtonFirst, 195, 22, "", "Primeira página" },
        { Form->SpeedButtonPrior, 217, 22, "", "Página anterior" },
        { Form->SpeedButtonNext, 378, 22, "", "Próxima página" },
        { Form->SpeedButtonLast, 400, 22, "", "Última página" },
        { Form->SpeedButtonViews, 632, 22, "", "Dividir a tela" },
        { Form->SpeedButtonEdit, 663, 22, "", "Editar" },
        { Form->SpeedButtonClose, 695, 49, "&Fechar", "Fechar" },
    };
    for (const Item& item : items) {
        EXPECT_EQ(item.Button->geometry(), QRect(item.Left, 1, item.Width, 22)) << item.Hint.toStdString();
        EXPECT_EQ(item.Button->text(), item.Text) << item.Hint.toStdString();
        EXPECT_EQ(item.Button->toolTip(), item.Hint);
    }
    EXPECT_FALSE(Form->SpeedButtonSend->isEnabled());
    EXPECT_TRUE(Form->SpeedButtonEdit->isCheckable());
    EXPECT_EQ(Form->LabelPage->text(), QStringLiteral("Página"));
    EXPECT_EQ(Form->LabelOf->text(), QStringLiteral("de"));
    EXPECT_EQ(Form->PanelPageCount->text(), QStringLiteral("0"));
    QStringList zoomItems;
    for (int i = 0; i < Form->ComboBoxZoom->count(); ++i)
        zoomItems.append(Form->ComboBoxZoom->itemText(i));
    EXPECT_EQ(zoomItems,
        (QStringList { "500%", "200%", "150%", "100%", "75%", "50%", "25%", "10%", "Largura da página",
            "Página inteira", "Várias páginas" }));
    EXPECT_EQ(Form->SpeedButtonAbout->toolTip(), QStringLiteral("Quillborough 0.6"));
}

TEST_F(PreviewFormTest, TypedZoomAcceptsADecimalCommaAndIgnoresSmallValues)
{
    Form->SetStorage(MakeReport(4));
    QLineEdit* edit = Form->ComboBoxZoom->lineEdit();
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("87,5%"));
    EXPECT_EQ(Current()->ZoomPercent(), 87.5);
    EXPECT_EQ(Form->ComboBoxZoom->currentText(), QStringLiteral("87,5%")) << "what the user typed stays";

    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("5"));
    EXPECT_EQ(Current()->ZoomPercent(), 87.5);

    Form->SpeedButtonZoomUp->click();
    EXPECT_EQ(Current()->ZoomPercent(), 97.5);
    EXPECT_EQ(Form->ComboBoxZoom->currentText(), QStringLiteral("97,5%"));
    for (int i = 0; i < 12; ++i)
        Form->SpeedButtonZoomDown->click();
    EXPECT_EQ(Current()->ZoomPercent(), 10);

    Form->ComboBoxZoom->setCurrentIndex(10);
    Form->ComboBoxZoom->activated(10);
    EXPECT_EQ(Current()->ShownBoxes(), 3);
    Form->ComboBoxZoom->setCurrentIndex(1);
    EXPECT_EQ(Current()->ZoomPercent(), 200);
    EXPECT_EQ(Current()->ShownBoxes(), 3) << "a percentage keeps the box count";
    Form->ComboBoxZoom->setCurrentIndex(9);
    EXPECT_EQ(Current()->ShownBoxes(), 1);
    EXPECT_EQ(Current()->ZoomPercent(), Current()->EntirePageZoom());
}

TEST_F(PreviewFormTest, PageBoxCountsStoredPagesWhateverTheFirstPageNumber)
{
    Form->SetStorage(MakeReport(5, 10));
    EXPECT_EQ(Form->PanelPageCount->text(), QStringLiteral("5"));
    EXPECT_EQ(Form->EditPageNo->text(), QStringLiteral("1"));
    QLineEdit* edit = Form->EditPageNo;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(Current()->FirstVisible(), 0) << "an empty box leaves the page";
    QTest::keyClicks(edit, QStringLiteral("3"));
    EXPECT_EQ(Current()->FirstVisible(), 2);
    EXPECT_EQ(Current()->PageNumber(), 12);
    QTest::keyClicks(edit, QStringLiteral("x"));
    EXPECT_EQ(Current()->FirstVisible(), 2);
    // Navigation from elsewhere refreshes the box.
    Form->SpeedButtonLast->click();
    EXPECT_EQ(edit->text(), QStringLiteral("5"));
    Form->SpeedButtonFirst->click();
    EXPECT_EQ(edit->text(), QStringLiteral("1"));
}

TEST_F(PreviewFormTest, KeyboardTable)
{
    Form->SetStorage(MakeReport(6));
    Current()->SetZoom(200);
    Current()->setFocus();
    QScrollBar* horizontal = Current()->horizontalScrollBar();
    QScrollBar* vertical = Current()->verticalScrollBar();
    ASSERT_GT(horizontal->maximum(), 0);

    Key(Qt::Key_PageDown);
    EXPECT_EQ(Current()->FirstVisible(), 1);
    Key(Qt::Key_End);
    EXPECT_EQ(horizontal->value(), horizontal->maximum());
    EXPECT_EQ(Current()->FirstVisible(), 1);
    Key(Qt::Key_Home);
    EXPECT_EQ(horizontal->value(), 0) << "Home scrolls to the left edge";
    EXPECT_EQ(Current()->FirstVisible(), 1);
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Current()->FirstVisible(), 5);
    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(Current()->FirstVisible(), 0) << "Ctrl+Home goes to the first page";
    Key(Qt::Key_Down);
    EXPECT_EQ(vertical->value(), 10);
    Key(Qt::Key_Right);
    EXPECT_EQ(horizontal->value(), 10);
    Key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(vertical->value(), vertical->maximum());
    Key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(vertical->value(), 0);
    Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(vertical->value(), std::min(vertical->maximum(), Current()->height()));

    Key(Qt::Key_F3);
    EXPECT_EQ(Form->FindWindow(), nullptr) << "F3 alone does nothing";
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_NE(Form->FindWindow(), nullptr);
    EXPECT_TRUE(Form->FindWindow()->isVisible());
    Form->FindWindow()->hide();

    Form->activateWindow();
    Current()->setFocus();
    Key(Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Form.isNull()) << "Esc closes and frees the window";
}

TEST_F(PreviewFormTest, PriorAndNextRepeatWhileHeld)
{
    Form->SetStorage(MakeReport(20));
    Form->SpeedButtonPriorMouseDown(Form->SpeedButtonNext);
    EXPECT_EQ(Current()->FirstVisible(), 1) << "one step at once";
    for (int tick = 0; tick < 6; ++tick)
        Form->TimerRepeatTimer();
    EXPECT_EQ(Current()->FirstVisible(), 1) << "nothing before the delay";
    Form->TimerRepeatTimer();
    Form->TimerRepeatTimer();
    EXPECT_EQ(Current()->FirstVisible(), 3);
    // Both held: nothing moves.
    Form->SpeedButtonPriorMouseDown(Form->SpeedButtonPrior);
    EXPECT_EQ(Current()->FirstVisible(), 2);
    for (int tick = 0; tick < 10; ++tick)
        Form->TimerRepeatTimer();
    EXPECT_EQ(Current()->FirstVisible(), 2);
    Form->SpeedButtonPriorMouseUp(Form->SpeedButtonNext);
    Form->TimerRepeatTimer();
    EXPECT_EQ(Current()->FirstVisible(), 1);
    Form->SpeedButtonPriorMouseUp(Form->SpeedButtonPrior);
    Form->TimerRepeatTimer();
    EXPECT_EQ(Current()->FirstVisible(), 1);
    // The real button: pressing steps once.
    QTest::mousePress(Form->SpeedButtonNext, Qt::LeftButton);
    QTest::mouseRelease(Form->SpeedButtonNext, Qt::LeftButton);
    EXPECT_EQ(Current()->FirstVisible(), 2);
}

TEST_F(PreviewFormTest, SplitViewFollowsTheFocusedPreview)
{
    Form->SetStorage(MakeReport(6));
    Form->SpeedButtonViews->click();
    ASSERT_EQ(Form->PreviewCount(), 2);
    TRLPreview* top = Form->Previews(0);
    TRLPreview* bottom = Form->Previews(1);
    EXPECT_EQ(bottom->Storage(), top->Storage());
    QApplication::processEvents();
    EXPECT_LE(std::abs(top->height() - bottom->height()), 4);

    QTest::mouseClick(bottom->viewport(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(Form->CurrentIndex(), 1);
    EXPECT_TRUE(bottom->IsCurrent());
    EXPECT_FALSE(top->IsCurrent());
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(bottom->FirstVisible(), 2);
    EXPECT_EQ(top->FirstVisible(), 0);
    EXPECT_EQ(Form->EditPageNo->text(), QStringLiteral("3"));

    QTest::mouseClick(top->PageBoxes(0), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(Form->CurrentIndex(), 0);
    EXPECT_EQ(Form->EditPageNo->text(), QStringLiteral("1"));
    EXPECT_TRUE(top->IsCurrent());
    EXPECT_FALSE(bottom->IsCurrent());

    // Removing the current second preview makes the first current again.
    QTest::mouseClick(bottom->viewport(), Qt::LeftButton, {}, QPoint(3, 3));
    Form->SpeedButtonViews->click();
    EXPECT_EQ(Form->PreviewCount(), 1);
    EXPECT_EQ(Form->CurrentIndex(), 0);
    EXPECT_TRUE(Form->Previews(0)->IsCurrent());
    EXPECT_EQ(Form->CurrentPreview(), Form->Previews(0));
}

TEST_F(PreviewFormTest, EditButtonTogglesSelectModeOfTheCurrentPreview)
{
    Form->SetStorage(MakeReport(1));
    Form->SpeedButtonEdit->click();
    EXPECT_TRUE(Current()->SelectMode());
    Form->SpeedButtonEdit->click();
    EXPECT_FALSE(Current()->SelectMode());
}

TEST_F(PreviewFormTest, FindDialogSearchesReportsNotFoundAndClosesOnDeactivation)
{
    Form->SetStorage(MakeReport(3));
    QStringList messages;
    Form->ShowFindDialog();
    TfrmRLFindDialog* dialog = Form->FindWindow();
    ASSERT_NE(dialog, nullptr);
    dialog->ShowMessage = [&](TfrmRLFindDialog*, const QString& Text) { messages.append(Text); };

    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Procurar"));
    EXPECT_EQ(dialog->LabelTextToFind->text(), QStringLiteral("Te&xto:"));
    EXPECT_EQ(dialog->BitBtnFindNext->text(), QStringLiteral("&Próxima"));
    EXPECT_TRUE(dialog->BitBtnFindNext->isDefault());
    EXPECT_EQ(dialog->BitBtnCancel->text(), QStringLiteral("Cancelar"));
    EXPECT_EQ(dialog->CheckBoxWholeWords->text(), QStringLiteral("Palavras &inteiras"));
    EXPECT_EQ(dialog->CheckBoxMatchCase->text(), QStringLiteral("Diferenciar &maiúsculas de minúsculas"));
    EXPECT_EQ(dialog->RadioGroupDirection->title(), QStringLiteral(" Direção "));
    EXPECT_TRUE(dialog->RadioButtonDown->isChecked());
    // The designed 367 x 94, wider only where the machine's fonts need room for a caption.
    EXPECT_EQ(dialog->height(), 94);
    EXPECT_GE(dialog->width(), 367);

    // The option bits.
    EXPECT_EQ(dialog->Options(), 0);
    dialog->CheckBoxWholeWords->setChecked(true);
    dialog->CheckBoxMatchCase->setChecked(true);
    dialog->RadioButtonUp->setChecked(true);
    EXPECT_EQ(dialog->Options(), FindOptionWholeWords | FindOptionMatchCase | FindOptionBackward);
    dialog->CheckBoxWholeWords->setChecked(false);
    dialog->CheckBoxMatchCase->setChecked(false);
    dialog->RadioButtonDown->setChecked(true);

    // "produto 0045" is on the second page (40 lines a page).
    QTest::keyClicks(dialog->EditTextToFind, QStringLiteral("produto 0045"));
    QTest::mouseClick(dialog->BitBtnFindNext, Qt::LeftButton);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Current()->FirstVisible(), 1);
    EXPECT_EQ(Form->EditPageNo->text(), QStringLiteral("2"));
    QTest::keyClick(dialog->EditTextToFind, Qt::Key_Return);
    EXPECT_EQ(messages, QStringList { "Não encontrado" });
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open after a miss";

    // Losing the focus to the preview window closes it; it is hidden, not freed, and keeps its text.
    QApplication::setActiveWindow(dialog);
    QApplication::processEvents();
    QApplication::setActiveWindow(Form);
    QApplication::processEvents();
    EXPECT_FALSE(dialog->isVisible());
    Form->ShowFindDialog();
    EXPECT_EQ(Form->FindWindow(), dialog);
    EXPECT_EQ(dialog->TextToFind(), QStringLiteral("produto 0045"));
    QTest::mouseClick(dialog->BitBtnCancel, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(PreviewFormTest, SaveProposesTheCleanedTitleAndWritesAPageStoreFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Form->SetStorage(MakeReport(3, 1, QStringLiteral("Inventário: 01/2024")));
    QString proposed;
    const QString target = dir.filePath(QStringLiteral("inventario"));
    RLPreviewActions().AskSaveFileName = [&](TRLPreviewForm*, const QString& Proposed) {
        proposed = Proposed;
        return target;
    };
    Form->EditPageNo->setFocus();
    Form->SpeedButtonSave->click();
    EXPECT_EQ(proposed, QDir::current().absoluteFilePath(QStringLiteral("Inventário 012024.pgx")));
    ASSERT_TRUE(QFileInfo::exists(target + ".pgx"));

    TRLGraphicStorage loaded;
    loaded.LoadFromFile(target + ".pgx");
    EXPECT_EQ(loaded.PageCount(), 3);

    // Opening the saved file in another window shows it.
    auto* other = new TRLPreviewForm;
    other->OpenFile(target + ".pgx");
    EXPECT_EQ(other->PanelPageCount->text(), QStringLiteral("3"));
    EXPECT_EQ(other->Current()->Storage()->Title(), QStringLiteral("Inventário: 01/2024"));
    delete other;

    // A cancelled save writes nothing and gives the focus to the page box.
    RLPreviewActions().AskSaveFileName = [](TRLPreviewForm*, const QString&) { return QString(); };
    Form->Current()->setFocus();
    Form->SpeedButtonSave->click();
    EXPECT_EQ(QApplication::focusWidget(), Form->EditPageNo);

    // A save action of the saving unit takes over.
    QString actionName;
    RLPreviewActions().Save = [&](TRLPreviewForm*, TRLGraphicStorage* Storage, const QString& FileName) {
        actionName = FileName;
        return Storage != nullptr;
    };
    Form->SpeedButtonSave->click();
    EXPECT_EQ(actionName, QDir::current().absoluteFilePath(QStringLiteral("Inventário 012024")));
}

TEST_F(PreviewFormTest, FailuresOfSavingReachTheErrorDisplay)
{
    Form->SetStorage(MakeReport(1));
    QStringList errors;
    RLPreviewActions().ShowError = [&](TRLPreviewForm*, const QString& Message) { errors.append(Message); };
    RLPreviewActions().AskSaveFileName = [](TRLPreviewForm*, const QString&) {
        return QStringLiteral("/nonexistent-folder/for/sure/x.pgx");
    };
    Form->SpeedButtonSave->click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().contains(QStringLiteral("x.pgx")));

    errors.clear();
    QTemporaryDir dir;
    const QString bad = dir.filePath(QStringLiteral("bad.pgx"));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a page store");
    file.close();
    RLPreviewActions().AskOpenFileName = [&](TRLPreviewForm*) { return bad; };
    Form->Current()->setFocus();
    Key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(Form->PanelPageCount->text(), QStringLiteral("1")) << "the shown report stays";
}

TEST_F(PreviewFormTest, ShowPreviewAppliesSettingsAndClosingStoresTheWindowState)
{
    using namespace RLPreviewWindow;
    QPointer<TRLPreviewForm> shown = ShowPreview(MakeReport(2), false, fsNormal,
        QStringLiteral("Meu relatório"), 7, QStringLiteral("ajuda.hlp"), biSystemMenu, wsNormal, poDesigned);
    ASSERT_FALSE(shown.isNull());
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("Meu relatório"));
    EXPECT_EQ(shown->HelpContext(), 7);
    EXPECT_EQ(shown->HelpFile(), QStringLiteral("ajuda.hlp"));
    EXPECT_EQ(shown->Current()->ZoomPercent(), 100);
    EXPECT_EQ(shown->Current()->ShownBoxes(), 1);
    EXPECT_EQ(shown->ComboBoxZoom->currentText(), QStringLiteral("100%"));
    EXPECT_FALSE(shown->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    RLPreviewDefaults().WindowState = wsMaximized;
    shown->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
    EXPECT_EQ(RLPreviewDefaults().WindowState, wsNormal);

    // An empty caption keeps the window's own.
    shown = ShowPreview(MakeReport(1), false, fsNormal, QString(), 0, QString(), biSystemMenu | biMaximize,
        wsMaximized, poScreenCenter);
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("Pré-visualização"));
    EXPECT_TRUE(shown->windowState().testFlag(Qt::WindowMaximized));
    shown->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(RLPreviewDefaults().WindowState, wsMaximized);
}

TEST(PreviewFormModal, ReportDefaultsRunAModalWindowThatFreesItselfAndTheStore)
{
    const TRLPreviewDefaults saved = RLPreviewDefaults();
    RLPreviewDefaults().WindowState = RLPreviewWindow::wsNormal;
    QPointer<TRLGraphicStorage> store = MakeReport(2);
    QPointer<QWidget> seen;
    QString title;
    bool maximized = true;
    QTimer::singleShot(0, [&] {
        seen = QApplication::activeModalWidget();
        if (seen) {
            title = seen->windowTitle();
            maximized = seen->windowState().testFlag(Qt::WindowMaximized);
            QTest::keyClick(seen->focusWidget() ? seen->focusWidget() : seen.data(), Qt::Key_Escape);
        }
    });
    RLShowPreviewWithDefaults(store);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(title, QStringLiteral("Pré-visualização"));
    EXPECT_FALSE(maximized);
    EXPECT_TRUE(seen.isNull()) << "the window frees itself";
    EXPECT_TRUE(store.isNull()) << "and lets go of the store";
    RLPreviewDefaults() = saved;
}

TEST_F(PreviewFormTest, ClosingReleasesTheStoreLinks)
{
    QPointer<TRLGraphicStorage> store = MakeReport(2);
    Form->SetStorage(store);
    Form->SpeedButtonViews->click();
    EXPECT_EQ(store->LinkCount(), 2);
    Form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Form.isNull());
    EXPECT_TRUE(store.isNull()) << "an ownerless store goes with its last preview";
}

// Not a check of pixels but a picture for a person: the path is printed so it can be looked at.
TEST_F(PreviewFormTest, ScreenshotOfAMultiPageReport)
{
    Form->resize(1200, 800);
    Form->SetStorage(MakeReport(5));
    QApplication::processEvents();
    Form->Current()->ZoomMultiplePages();
    Form->Current()->NextPage();
    Form->SpeedButtonViews->click();
    Form->Previews(1)->ZoomPageWidth();
    QApplication::processEvents();
    const QImage shot = Form->grab().toImage();
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("preview-window.png"));
    ASSERT_TRUE(shot.save(path));
    std::printf("preview window screenshot: %s\n", qPrintable(path));
    // The page area is mostly white paper with dark text on it.
    TRLPreviewBox* box = Form->Previews(1)->PageBoxes(0);
    const QImage page = box->grab().toImage();
    int dark = 0;
    for (int y = 0; y < std::min(page.height(), 300); ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += qGray(page.pixel(x, y)) < 100;
    EXPECT_GT(dark, 200) << "text is drawn on the page";
}
