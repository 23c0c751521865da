// The preview window as a person uses it, one key and one event loop turn at a time: the zoom box
// keeps what is typed, a find hit anywhere on a page is brought into view, and the find dialog shows
// its captions whole in the fonts the machine has.
#include "preview/RLPreviewForm.h"

#include "pagestore/RLMetaFile.h"
#include "preview/RLFindDialog.h"
#include "preview/RLPreview.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// A store of Count A4 pages, each with a heading, forty lines and a note at the very foot of the page
// and one at its right edge, where a search has to scroll to.
TRLGraphicStorage* MakeStore(int Count)
{
    auto* store = new TRLGraphicStorage;
    store->SetOrientation(1);
    store->SetPaperWidth(210);
    store->SetPaperHeight(297);
    store->SetFirstPageNumber(1);
    store->SetLastPageNumber(Count);
    for (int n = 0; n < Count; ++n) {
        auto* page = new TRLGraphicSurface;
        page->SetWidth(794);
        page->SetHeight(1123);
        page->CurrentFont().SetName(QStringLiteral("Arial"));
        page->CurrentFont().SetSize(9);
        NewGroupId();
        page->WriteText(TRect(40, 40, 754, 60), 44, 40, QStringLiteral("Inventário por Preço de Custo"),
            MetaTextAlignmentLeft, MetaTextLayoutTop, 4);
        for (int line = 0; line < 40; ++line) {
            NewGroupId();
            const int top = 100 + line * 22;
            page->WriteText(TRect(40, top, 500, top + 18), 44, top,
                QStringLiteral("PRODUTO %1").arg(n * 40 + line + 1, 4, 10, QLatin1Char('0')),
                MetaTextAlignmentLeft, MetaTextLayoutTop, 4);
        }
        NewGroupId();
        page->WriteText(TRect(40, 1090, 300, 1108), 44, 1090,
            QStringLiteral("RODAPÉ DA PÁGINA %1").arg(n + 1), MetaTextAlignmentLeft, MetaTextLayoutTop, 4);
        NewGroupId();
        page->WriteText(TRect(640, 520, 780, 538), 640, 520, QStringLiteral("MARGEM %1").arg(n + 1),
            MetaTextAlignmentLeft, MetaTextLayoutTop, 4);
        store->Add(page);
    }
    return store;
}

class PreviewTypingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Form = new TRLPreviewForm;
        Form->resize(900, 600);
        Form->show();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.data()));
        Form->SetStorage(MakeStore(3));
        Settle();
    }
    void TearDown() override { delete Form.data(); }
    // Lets every queued event run, as the event loop does between two keys of a person.
    static void Settle()
    {
        for (int i = 0; i < 5; ++i) {
            QApplication::processEvents();
            QTest::qWait(5);
        }
    }
    // The found object's rectangle in the viewport of the current preview.
    QRect FoundInViewport()
    {
        TRLPreview* preview = Form->Current();
        const int boxIndex = preview->FoundPage() - preview->FirstVisible();
        if (boxIndex < 0 || boxIndex >= preview->ShownBoxes())
            return {};
        TRLPreviewBox* box = preview->PageBoxes(boxIndex);
        TRLGraphicSurface* page = box->Page();
        if (!page)
            return {};
        return box->ReportToBox(page->Objects(preview->FoundObject())->BoundsRect).translated(box->pos());
    }
    QPointer<TRLPreviewForm> Form;
};

// Whether a person sees the hit: all of it when it fits the view, otherwise its beginning.
bool Shown(const QRect& Hit, const QRect& View)
{
    if (Hit.isEmpty())
        return false;
    if (Hit.width() <= View.width() && Hit.height() <= View.height())
        return View.contains(Hit);
    return View.contains(Hit.topLeft());
}

} // namespace

TEST_F(PreviewTypingTest, TypedZoomIsNeverRewrittenUnderTheCursor)
{
    QLineEdit* edit = Form->ComboBoxZoom->lineEdit();
    edit->setFocus();
    Settle();
    for (const QString& typed : { QStringLiteral("150%"), QStringLiteral("87,5%"), QStringLiteral("25") }) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        Settle();
        QString expected;
        for (QChar c : typed) {
            QTest::keyClick(edit, c.toLatin1());
            Settle();
            expected += c;
            ASSERT_EQ(Form->ComboBoxZoom->currentText(), expected) << "typing " << qPrintable(typed);
            ASSERT_EQ(edit->cursorPosition(), expected.size()) << "typing " << qPrintable(typed);
        }
    }
    EXPECT_EQ(Form->Current()->ZoomPercent(), 25);

    // Leaving the box (Enter) shows the zoom as the window writes it; buttons rewrite it at once.
    QTest::keyClick(edit, Qt::Key_Return);
    Settle();
    EXPECT_EQ(Form->ComboBoxZoom->currentText(), QStringLiteral("25%"));
    Form->SpeedButtonZoomUp->click();
    Settle();
    EXPECT_EQ(Form->ComboBoxZoom->currentText(), QStringLiteral("35%"));
}

TEST_F(PreviewTypingTest, ZoomTextFollowsAZoomTheUserDidNotType)
{
    // A text that no longer says the zoom is replaced, typing or not: a fitted zoom after a resize.
    QLineEdit* edit = Form->ComboBoxZoom->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("150"));
    Settle();
    Form->Current()->ZoomPageWidth();
    Settle();
    EXPECT_EQ(Form->ComboBoxZoom->currentText(),
        QStringLiteral("%1%").arg(QLocale().toString(Form->Current()->ZoomPercent(), 'g', 15)));
}

TEST_F(PreviewTypingTest, FindHitsBelowAndBesideTheVisiblePartAreScrolledIntoView)
{
    Form->Current()->SetZoom(200);
    Settle();
    TRLPreview* preview = Form->Current();
    const QRect viewport = preview->viewport()->rect();
    ASSERT_LT(viewport.height(), 1123 * 2) << "the page must not fit";

    // At the foot of the first page.
    ASSERT_TRUE(Form->FindText(QStringLiteral("rodapé da página 1"), 0));
    Settle();
    EXPECT_EQ(preview->FoundPage(), 0);
    QRect hit = FoundInViewport();
    EXPECT_TRUE(Shown(hit, viewport))
        << "hit at " << hit.y() << ", viewport " << viewport.height() << " high";

    // Back up at the top of the next page, then far right of it.
    ASSERT_TRUE(Form->FindText(QStringLiteral("PRODUTO 0041"), 0));
    Settle();
    EXPECT_EQ(preview->FoundPage(), 1);
    hit = FoundInViewport();
    EXPECT_TRUE(Shown(hit, viewport)) << "hit at " << hit.y();
    Form->resize(500, 600);
    Settle();
    ASSERT_TRUE(Form->FindText(QStringLiteral("MARGEM 2"), 0));
    Settle();
    hit = FoundInViewport();
    EXPECT_TRUE(Shown(hit, preview->viewport()->rect())) << "hit at x " << hit.x();

    // Backwards, from the foot of page 3 to the foot of page 2.
    ASSERT_TRUE(Form->FindText(QStringLiteral("RODAPÉ DA PÁGINA 3"), 0));
    ASSERT_TRUE(Form->FindText(QStringLiteral("RODAPÉ"), FindOptionBackward));
    Settle();
    EXPECT_EQ(preview->FoundPage(), 1);
    hit = FoundInViewport();
    EXPECT_TRUE(Shown(hit, preview->viewport()->rect())) << "hit at " << hit.y();
}

TEST_F(PreviewTypingTest, FindHitAlreadyInViewDoesNotScroll)
{
    Form->Current()->SetZoom(200);
    Settle();
    TRLPreview* preview = Form->Current();
    preview->verticalScrollBar()->setValue(100);
    Settle();
    ASSERT_TRUE(Form->FindText(QStringLiteral("PRODUTO 0005"), 0));
    Settle();
    EXPECT_EQ(preview->verticalScrollBar()->value(), 100);
}

TEST(FindDialogLayout, EveryCaptionFitsItsControlAndNoControlOverlapsAnother)
{
    TfrmRLFindDialog dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QList<QWidget*> controls = { static_cast<QWidget*>(dialog.LabelTextToFind), dialog.EditTextToFind,
        dialog.BitBtnFindNext, dialog.BitBtnCancel, dialog.CheckBoxWholeWords, dialog.CheckBoxMatchCase,
        dialog.RadioGroupDirection };
    for (QCheckBox* box : { dialog.CheckBoxWholeWords, dialog.CheckBoxMatchCase })
        EXPECT_GE(box->width(), box->sizeHint().width()) << qPrintable(box->text()) << " is cut";
    for (QPushButton* button : { dialog.BitBtnFindNext, dialog.BitBtnCancel })
        EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text().remove(u'&')))
            << qPrintable(button->text());
    for (int i = 0; i < controls.size(); ++i) {
        EXPECT_TRUE(dialog.rect().contains(controls[i]->geometry())) << i;
        for (int j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry())) << i << " and " << j;
    }
    // The designed places stay where the fonts allow it.
    EXPECT_EQ(dialog.CheckBoxMatchCase->pos(), QPoint(8, 64));
    EXPECT_GE(dialog.width(), 367);
}
