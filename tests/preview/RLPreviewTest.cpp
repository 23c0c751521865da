// The preview control over a stored report built by hand: fit values, layout, navigation, search,
// picking, marks, clipboard and store links.
#include "preview/RLPreview.h"

#include "pagestore/RLMetaFile.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPointer>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace {

struct TPageSpec
{
    QStringList Texts; // one text object per entry, each in a group of its own
};

// An A4 portrait store (794 x 1123 pixels) whose pages hold the given texts, one below the other.
TRLGraphicStorage* MakeStore(
    const QList<TPageSpec>& Pages, int FirstPageNumber = 1, TComponent* Owner = nullptr)
{
    auto* store = new TRLGraphicStorage(Owner);
    store->SetOrientation(1);
    store->SetPaperWidth(210);
    store->SetPaperHeight(297);
    store->SetFirstPageNumber(FirstPageNumber);
    store->SetLastPageNumber(FirstPageNumber + int(Pages.size()) - 1);
    for (const TPageSpec& spec : Pages) {
        auto* page = new TRLGraphicSurface;
        page->SetWidth(794);
        page->SetHeight(1123);
        int top = 40;
        for (const QString& text : spec.Texts) {
            NewGroupId();
            page->WriteText(
                TRect(40, top, 400, top + 20), 44, top, text, MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
            top += 30;
        }
        store->Add(page);
    }
    return store;
}

TRLGraphicStorage* MakeBlankStore(int Count, int FirstPageNumber = 1)
{
    QList<TPageSpec> pages;
    for (int i = 0; i < Count; ++i)
        pages.append(TPageSpec { { QStringLiteral("Página %1").arg(i + 1) } });
    return MakeStore(pages, FirstPageNumber);
}

class PreviewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Preview = std::make_unique<TRLPreview>();
        Preview->resize(1000, 700);
        Preview->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        Preview.reset();
        RLPreviewPagePainter() = SavedPainter;
    }
    QImage GrabBox(int Index)
    {
        return Preview->PageBoxes(Index)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    std::unique_ptr<TRLPreview> Preview;
    TRLPagePainter SavedPainter = RLPreviewPagePainter();
};

} // namespace

TEST_F(PreviewTest, FitValuesOfAnA4PageInAThousandBySevenHundredControl)
{
    EXPECT_EQ(Preview->PageWidthZoom(), 100) << "no store";
    Preview->SetStorage(MakeBlankStore(2));
    EXPECT_EQ(Preview->width(), 1000);
    EXPECT_EQ(Preview->PageWidthZoom(), 125);
    EXPECT_EQ(Preview->EntirePageZoom(), 62);

    Preview->ZoomPageWidth();
    EXPECT_EQ(Preview->ZoomPercent(), 125);
    EXPECT_EQ(Preview->ShownBoxes(), 1);
    Preview->ZoomFullPage();
    EXPECT_EQ(Preview->ZoomPercent(), 62);
    // Three boxes across: round(993 / 3 x 100 / 794) = 42, below the entire-page 62.
    Preview->ZoomMultiplePages();
    EXPECT_EQ(Preview->ShownBoxes(), 3);
    EXPECT_EQ(Preview->ZoomPercent(), 42);
    EXPECT_TRUE(Preview->PageBoxes(2)->isVisible());
    Preview->ZoomFullPage();
    EXPECT_FALSE(Preview->PageBoxes(1)->isVisible());
}

TEST_F(PreviewTest, BoxesAreCentredWhenTheyFitAndScrollAsARowWhenNot)
{
    Preview->SetStorage(MakeBlankStore(3));
    Preview->SetZoom(50);
    // 794 x 0.5 = 397 and 1123 x 0.5 = 561.5, which rounds to the even 562; each plus the margin 7.
    EXPECT_EQ(Preview->PageBoxes(0)->geometry(), QRect((1000 - 404) / 2, (700 - 569) / 2, 404, 569));

    Preview->SetZoom(100);
    const QRect box = Preview->PageBoxes(0)->geometry();
    EXPECT_EQ(box.size(), QSize(801, 1130));
    EXPECT_EQ(box.top(), 0);
    QScrollBar* bar = Preview->verticalScrollBar();
    EXPECT_EQ(bar->maximum(), 1130 - Preview->viewport()->height());
    Preview->ScrollBottom();
    EXPECT_EQ(Preview->PageBoxes(0)->y(), -bar->maximum());
    Preview->ScrollPageUp();
    EXPECT_EQ(bar->value(), std::max(0, bar->maximum() - Preview->height()));
    Preview->ScrollTop();
    Preview->ScrollLineDown();
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(Preview->PageBoxes(0)->y(), -10);
    // A new page starts at the top again.
    Preview->NextPage();
    EXPECT_EQ(bar->value(), 0);

    Preview->ZoomMultiplePages();
    int x = Preview->PageBoxes(0)->x();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Preview->PageBoxes(i)->x(), x) << i;
        x += Preview->PageBoxes(i)->width();
    }
}

TEST_F(PreviewTest, NavigationByIndexNumberAndInTheMultipleView)
{
    Preview->SetStorage(MakeBlankStore(7, 10));
    EXPECT_EQ(Preview->FirstVisible(), 0);
    EXPECT_EQ(Preview->PageNumber(), 10);

    struct Step
    {
        const char* Name;
        std::function<void()> Action;
        int ExpectedIndex;
    };
    const std::vector<Step> steps = {
        { "go to number 13", [&] { Preview->GoToPageNumber(13); }, 3 },
        { "index out of range", [&] { Preview->GoToPageIndex(7); }, 3 },
        { "negative index", [&] { Preview->GoToPageIndex(-1); }, 3 },
        { "next single", [&] { Preview->NextPage(); }, 4 },
        { "last single", [&] { Preview->LastPage(); }, 6 },
        { "next at the end", [&] { Preview->NextPage(); }, 6 },
        { "first", [&] { Preview->FirstPage(); }, 0 },
        { "prior at the start", [&] { Preview->PriorPage(); }, 0 },
        { "multiple view", [&] { Preview->ZoomMultiplePages(); }, 0 },
        { "next multiple", [&] { Preview->NextPage(); }, 3 },
        { "next multiple again", [&] { Preview->NextPage(); }, 6 },
        { "next multiple stops at last", [&] { Preview->NextPage(); }, 6 },
        { "prior multiple", [&] { Preview->PriorPage(); }, 3 },
        { "last multiple", [&] { Preview->LastPage(); }, 4 },
    };
    for (const Step& step : steps) {
        step.Action();
        EXPECT_EQ(Preview->FirstVisible(), step.ExpectedIndex) << step.Name;
    }
}

TEST_F(PreviewTest, OnePageStoreShowsTwoCrossedBoxesOfTheDefaultSizeInTheMultipleView)
{
    Preview->SetStorage(MakeBlankStore(1));
    Preview->NextPage();
    Preview->LastPage();
    EXPECT_EQ(Preview->FirstVisible(), 0);
    Preview->ZoomMultiplePages();
    const int zoom = int(Preview->ZoomPercent());
    const QSize size(qRound(794.0 * zoom / 100) + 7, qRound(1123.0 * zoom / 100) + 7);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Preview->PageBoxes(i)->size(), size) << i;
    EXPECT_EQ(Preview->PageBoxes(1)->Page(), nullptr);
    // A box without a page is grey with a black cross.
    const QImage image = GrabBox(1);
    EXPECT_EQ(image.pixelColor(size.width() / 3, size.height() / 2), QColor(128, 128, 128));
    const QImage first = GrabBox(0);
    EXPECT_EQ(first.pixelColor(size.width() / 2, size.height() - 15), QColor(Qt::white));
}

TEST_F(PreviewTest, ZoomBelowTheMinimumOrUnchangedDoesNothing)
{
    Preview->SetStorage(MakeBlankStore(2));
    int layouts = 0;
    Preview->OnChangeView = [&](TRLPreview*) { ++layouts; };
    Preview->SetZoom(5);
    EXPECT_EQ(Preview->ZoomPercent(), 100);
    Preview->SetZoom(100);
    EXPECT_EQ(layouts, 0);
    Preview->SetZoom(87.5);
    EXPECT_EQ(Preview->ZoomPercent(), 87.5);
    EXPECT_EQ(layouts, 1);
    EXPECT_EQ(Preview->ShownBoxes(), 1);
    // An absurd value typed by hand is refused rather than making giant boxes.
    Preview->SetZoom(1e9);
    EXPECT_EQ(Preview->ZoomPercent(), 87.5);
}

TEST_F(PreviewTest, FindContinuesAfterTheLastHitAndNeverWraps)
{
    Preview->SetStorage(MakeStore({
        TPageSpec { { "capa", "nada" } },
        TPageSpec { { "xx", "TOTAL DOS PRODUTOS", "yy", "PRODUTO ISENTO" } },
        TPageSpec { { "produto final", "{LastPageNumber}" } },
    }));

    struct Hit
    {
        int Page;
        int Object;
    };
    const std::vector<Hit> forward = { { 1, 1 }, { 1, 3 }, { 2, 0 } };
    for (const Hit& hit : forward) {
        ASSERT_TRUE(Preview->FindText(QStringLiteral("produto"), false, false));
        EXPECT_EQ(Preview->FoundPage(), hit.Page);
        EXPECT_EQ(Preview->FoundObject(), hit.Object);
        EXPECT_TRUE(Preview->HasFound());
        EXPECT_EQ(Preview->FirstVisible(), hit.Page) << "the hit's page comes into the first box";
    }
    EXPECT_FALSE(Preview->FindText(QStringLiteral("produto"), false, false)) << "no wrap";
    EXPECT_EQ(Preview->FirstVisible(), 2);

    // Backward from the last hit.
    ASSERT_TRUE(Preview->FindText(QStringLiteral("produto"), true, false));
    EXPECT_EQ(Preview->FoundPage(), 1);
    EXPECT_EQ(Preview->FoundObject(), 3);
    ASSERT_TRUE(Preview->FindText(QStringLiteral("produto"), true, false));
    EXPECT_EQ(Preview->FoundObject(), 1);
    EXPECT_FALSE(Preview->FindText(QStringLiteral("produto"), true, false));

    // Match case finds only the lower-case text; whole words skip "PRODUTOS".
    Preview->FirstPage();
    ASSERT_TRUE(Preview->FindText(QStringLiteral("produto"), false, true));
    EXPECT_EQ(Preview->FoundPage(), 2);
    Preview->FirstPage();
    ASSERT_TRUE(Preview->FindText(QStringLiteral("Produto"), false, false, true));
    EXPECT_EQ(Preview->FoundPage(), 1);
    EXPECT_EQ(Preview->FoundObject(), 3);

    // The raw text is searched: the macro name is there, its value is not.
    Preview->FirstPage();
    EXPECT_TRUE(Preview->FindText(QStringLiteral("lastpage"), false, false));
    Preview->FirstPage();
    EXPECT_FALSE(Preview->FindText(QStringLiteral("3"), false, false));
    EXPECT_FALSE(Preview->FindText(QString(), false, false)) << "an empty text finds nothing";
}

TEST_F(PreviewTest, FoundTextIsFramedByInvertingThePixelsAroundIt)
{
    RLPreviewPagePainter() = [](QPainter&, TRLGraphicSurface*, const TRect&) {};
    Preview->SetStorage(MakeStore({ TPageSpec { { "alfa", "beta" } } }));
    Preview->SetZoom(50);
    // The second text's bounds are (40, 70, 400, 90), at 50 % (20, 35, 200, 45); the frame is drawn
    // 3 pixels outside, 3 pixels wide.
    const QPoint onFrame(100, 32);
    const QPoint inside(100, 40);
    EXPECT_EQ(GrabBox(0).pixelColor(onFrame), QColor(Qt::white));
    ASSERT_TRUE(Preview->FindText(QStringLiteral("beta"), false, true));
    const QImage marked = GrabBox(0);
    EXPECT_EQ(marked.pixelColor(onFrame), QColor(Qt::black));
    EXPECT_EQ(marked.pixelColor(inside), QColor(Qt::white)) << "no fill";
}

TEST_F(PreviewTest, PickingChoosesTheLeastAreaAndMarksTheWholeGroup)
{
    auto* store = new TRLGraphicStorage;
    store->SetPaperWidth(210);
    store->SetPaperHeight(297);
    auto* page = new TRLGraphicSurface;
    page->SetWidth(794);
    page->SetHeight(1123);
    NewGroupId();
    page->Rectangle(0, 0, 700, 1000); // 0: a band background
    NewGroupId();
    page->Rectangle(100, 100, 300, 200); // 1: group of three
    page->Rectangle(120, 120, 160, 140); // 2
    page->Rectangle(400, 400, 420, 420); // 3
    NewGroupId();
    page->Rectangle(500, 500, 540, 540); // 4: alone
    TRLGraphicObject* ungrouped = page->Rectangle(600, 600, 640, 640); // 5: no group
    ungrouped->GroupId = 0;
    NewGroupId();
    page->Rectangle(600, 600, 640, 640); // 6: same area as 5, later
    store->Add(page);
    Preview->SetStorage(store);
    Preview->SetZoom(50);
    TRLPreviewBox* box = Preview->PageBoxes(0);

    // Clicks pick only in select mode.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(70, 65));
    EXPECT_FALSE(box->HasPicked());
    Preview->SetSelectMode(true);

    struct Case
    {
        QPoint BoxPoint;
        int Picked;
        int Handles;
        QColor Color;
    };
    const std::vector<Case> cases = {
        { QPoint(70, 65), 2, 24, QColor(192, 192, 192) }, // inside 0, 1 and 2: 2 is the least
        { QPoint(80, 70), 2, 24, QColor(192, 192, 192) }, // (160, 140): the corner edge counts
        { QPoint(60, 90), 1, 24, QColor(192, 192, 192) },
        { QPoint(260, 260), 4, 8, QColor(0, 0, 0) },
        { QPoint(310, 310), 5, 0, QColor() }, // first of equal areas, group 0: no handles
        { QPoint(10, 400), 0, 8, QColor(0, 0, 0) },
    };
    for (const Case& c : cases) {
        QTest::mouseClick(box, Qt::LeftButton, {}, c.BoxPoint);
        EXPECT_EQ(box->PickedIndex(), c.Picked) << c.BoxPoint.x() << "," << c.BoxPoint.y();
        QColor color;
        const QList<QRect> handles = box->HandleRects(box->Page(), &color);
        EXPECT_EQ(handles.size(), c.Handles) << c.Picked;
        if (c.Handles) {
            EXPECT_EQ(color, c.Color) << c.Picked;
        }
    }

    // The handles of object 4 (500..540 at 50 %: 250..270) are 7 x 7 squares centred on its corners.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(260, 260));
    const QList<QRect> handles = box->HandleRects(box->Page());
    EXPECT_EQ(handles.first(), QRect(247, 247, 7, 7));
    const QImage image = GrabBox(0);
    EXPECT_EQ(image.pixelColor(250, 250), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(247, 250), QColor(Qt::white)) << "white outline";

    Preview->SetSelectMode(false);
    EXPECT_FALSE(box->HasPicked());
}

TEST_F(PreviewTest, PickSurvivesThePageLeavingTheCache)
{
    TRLGraphicStorage* store = MakeBlankStore(8);
    Preview->SetStorage(store);
    Preview->SetSelectMode(true);
    Preview->SetZoom(50);
    TRLPreviewBox* box = Preview->PageBoxes(0);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(50, 25));
    ASSERT_TRUE(box->HasPicked());
    // Reading every other page frees the cached copy of page 0.
    for (int i = 1; i < 8; ++i)
        store->Pages(i);
    ASSERT_FALSE(store->IsCached(0));
    TRLGraphicSurface* page = box->Page();
    ASSERT_NE(box->PickedObject(page), nullptr);
    EXPECT_EQ(box->HandleRects(page).size(), 8);
    // Another page does not show the pick.
    Preview->NextPage();
    EXPECT_EQ(box->PickedObject(box->Page()), nullptr);
}

TEST_F(PreviewTest, CurrentPreviewDrawsBlackBordersTheOtherSilver)
{
    Preview->SetStorage(MakeBlankStore(1));
    Preview->SetZoom(50);
    EXPECT_EQ(GrabBox(0).pixelColor(0, 100), QColor(192, 192, 192));
    Preview->SetCurrent(true);
    EXPECT_EQ(GrabBox(0).pixelColor(0, 100), QColor(0, 0, 0));
    // The shadow: grey at the right of the page, below its top by 5.
    const QImage image = GrabBox(0);
    const int pageRight = Preview->PageBoxes(0)->width() - 7;
    EXPECT_EQ(image.pixelColor(pageRight + 2, 100), QColor(128, 128, 128));
    EXPECT_NE(image.pixelColor(pageRight + 2, 2), QColor(128, 128, 128));
}

TEST_F(PreviewTest, EachPaintReadsEachShownPageOnce)
{
    std::vector<int> painted;
    RLPreviewPagePainter()
        = [&](QPainter&, TRLGraphicSurface* Page, const TRect&) { painted.push_back(Page->SlotIndex()); };
    Preview->SetStorage(MakeBlankStore(1000));
    Preview->ZoomMultiplePages();
    Preview->GoToPageIndex(500);
    painted.clear();
    Preview->viewport()->grab();
    EXPECT_EQ(painted, (std::vector<int> { 500, 501, 502 }));
    Preview->LastPage();
    painted.clear();
    Preview->viewport()->grab();
    EXPECT_EQ(painted, (std::vector<int> { 997, 998, 999 }));

    // Paging through the whole store from the start: every paint draws the three shown pages once.
    Preview->FirstPage();
    int paints = 0;
    for (int expected = 0; expected < 1000; expected += 3) {
        ASSERT_EQ(Preview->FirstVisible(), std::min(expected, 999));
        painted.clear();
        Preview->viewport()->grab();
        const int first = Preview->FirstVisible();
        std::vector<int> shown;
        for (int i = first; i < std::min(first + 3, 1000); ++i)
            shown.push_back(i);
        ASSERT_EQ(painted, shown) << first;
        ++paints;
        Preview->NextPage();
    }
    EXPECT_EQ(paints, 334);
}

TEST_F(PreviewTest, CopyPutsThePageBitmapOnTheClipboard)
{
    Preview->SetStorage(MakeBlankStore(1));
    Preview->ZoomMultiplePages();
    EXPECT_FALSE(Preview->CopyPageToClipboard(Preview->PageBoxes(1))) << "a box without a page";
    ASSERT_TRUE(Preview->CopyPageToClipboard(Preview->PageBoxes(0)));
    const QImage image = QGuiApplication::clipboard()->image();
    EXPECT_EQ(image.size(), QSize(794, 1123));
    EXPECT_EQ(Preview->CopyAction()->text(), QStringLiteral("Copiar"));
    EXPECT_EQ(Preview->CopyAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
}

TEST_F(PreviewTest, DoubleClickTogglesBetweenPageWidthAndMultiplePages)
{
    Preview->SetStorage(MakeBlankStore(5));
    Preview->ZoomMultiplePages();
    Preview->NextPage(); // index 3
    QTest::mouseDClick(Preview->PageBoxes(1), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(Preview->FirstVisible(), 4);
    EXPECT_EQ(Preview->ShownBoxes(), 1);
    EXPECT_EQ(Preview->ZoomPercent(), Preview->PageWidthZoom());
    Preview->ToggleView(Preview->PageNumber());
    EXPECT_EQ(Preview->ShownBoxes(), 3);
}

TEST_F(PreviewTest, StoreLinksFollowTheStorageAndAnOwnerlessStoreGoesWithItsLastUser)
{
    QPointer<TRLGraphicStorage> first = MakeBlankStore(2);
    QPointer<TRLGraphicStorage> second = MakeBlankStore(2);
    second->Link(second); // a link of its own keeps it alive when the preview lets go
    Preview->SetStorage(second);
    EXPECT_EQ(second->LinkCount(), 2);
    Preview->SetStorage(first);
    EXPECT_EQ(second->LinkCount(), 1);
    EXPECT_EQ(first->LinkCount(), 1);
    Preview.reset();
    EXPECT_TRUE(first.isNull()) << "the preview was its only user";
    ASSERT_FALSE(second.isNull());
    delete second.data();
}

TEST_F(PreviewTest, PreviewForgetsAStoreItsOwnerDestroys)
{
    TComponent owner;
    TRLGraphicStorage* store = MakeStore({ TPageSpec { { "a" } } }, 1, &owner);
    Preview->SetStorage(store);
    int changes = 0;
    Preview->OnChangeView = [&](TRLPreview*) { ++changes; };
    delete store;
    EXPECT_EQ(Preview->Storage(), nullptr);
    EXPECT_EQ(Preview->PageNumber(), 0);
    EXPECT_EQ(changes, 1);
    Preview->PageBoxes(0)->grab(); // paints a crossed box, no dangling page
    Preview->NextPage();
}

TEST_F(PreviewTest, ClicksAndFocusRaiseTheEnterNotification)
{
    Preview->SetStorage(MakeBlankStore(1));
    int enters = 0;
    Preview->OnEnter = [&](TRLPreview*) { ++enters; };
    QTest::mouseClick(Preview->PageBoxes(0), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_GE(enters, 1);
    const int before = enters;
    QTest::mouseClick(Preview->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_GT(enters, before);
}
