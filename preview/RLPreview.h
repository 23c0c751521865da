#pragma once
// The scrolling control that shows the pages of one page store on screen.
//
// TRLPreview owns exactly three page boxes (TRLPreviewBox) and a pop-up menu they share; it shows
// either the first box alone or all three side by side. The boxes never hold pages: a box's page is
// looked up in the store at every use (the store keeps only five pages in memory and a page pointer is
// good only until other pages are read), and one paint of a box reads its page exactly once.
//
// The preview holds a link on its store from SetStorage until the store is replaced or the preview is
// destroyed. When the store's owner destroys the store first, the preview forgets it.
//
// Report coordinates are pixels at 96 per inch; a box maps them to its own pixels by the zoom.
#include "platform/Rect.h"

#include <QAbstractScrollArea>
#include <QSize>
#include <QWidget>

#include <functional>
#include <memory>

class QMenu;
class QAction;
class QPainter;
class TComponent;
class TRLGraphicObject;
class TRLGraphicStorage;
class TRLGraphicSurface;
class TRLPreview;

// Measures shared by the boxes and the layout.
constexpr int PreviewBoxMargin = 7; // added to a page's zoomed size on each axis
constexpr int PreviewShadowWidth = 5;
constexpr int PreviewHandleSize = 7;
constexpr double PreviewMinimumZoom = 10.0;

// Draws a page scaled into Rect of a painter; the default goes through the page store's canvas
// drawing. Process-wide so that a benchmark or a test can count or replace page drawing.
using TRLPagePainter = std::function<void(QPainter& Painter, TRLGraphicSurface* Page, const TRect& Rect)>;
TRLPagePainter& RLPreviewPagePainter();

class TRLPreviewBox : public QWidget
{
    Q_OBJECT
public:
    explicit TRLPreviewBox(TRLPreview* APreview);

    TRLPreview* Preview() const { return FPreview; }
    // Position of this box in the preview's PageBoxes.
    int BoxIndex() const;
    // Index into the store of the page this box shows (it may be beyond the last page).
    int PageIndex() const;
    // The page shown, read from the store now; nullptr beyond the last page or when unreadable.
    TRLGraphicSurface* Page() const;

    // The object under the last click in select mode. Kept as page and object indexes, because the
    // page itself may leave the store's cache (and be freed) at any later page read.
    bool HasPicked() const { return FPickedPage >= 0; }
    int PickedPage() const { return FPickedPage; }
    int PickedIndex() const { return FPickedIndex; }
    // The picked object on Page when Page is the picked page; nullptr otherwise.
    TRLGraphicObject* PickedObject(TRLGraphicSurface* Page) const;
    void ClearPicked();
    // Picks the object of least area under the box point, as a click in select mode does. Returns
    // whether the pick changed.
    bool PickAt(QPoint BoxPoint);

    // Report pixels to box pixels and back, by the preview's zoom.
    int ToBox(int ReportValue) const;
    int ToReport(int BoxValue) const;
    QRect ReportToBox(const TRect& Rect) const;

    // Handle rectangles (box pixels) for the picked object's group on Page, and their colour: black
    // for a single object, silver for a group of several. Empty when nothing is picked there.
    QList<QRect> HandleRects(TRLGraphicSurface* Page, QColor* Color = nullptr) const;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    TRLPreview* FPreview;
    int FPickedPage = -1;
    int FPickedIndex = -1;
};

class TRLPreview : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit TRLPreview(QWidget* Parent = nullptr);
    ~TRLPreview() override;

    TRLGraphicStorage* Storage() const { return FStorage; }
    // Unlinks the previous store, links the new one, lays out and goes to the first page.
    void SetStorage(TRLGraphicStorage* AStorage);

    double ZoomPercent() const { return FZoomPercent; }
    int ShownBoxes() const { return FShownBoxes; }
    int FirstVisible() const { return FFirstVisible; }
    TRLPreviewBox* PageBoxes(int Index) const { return FPageBoxes[Index]; }
    QSize LastExtent() const { return FLastExtent; }
    bool SelectMode() const { return FSelectMode; }
    bool IsCurrent() const { return FIsCurrent; }
    int FoundPage() const { return FFoundPage; }
    int FoundObject() const { return FFoundObject; }
    bool HasFound() const { return FHasFound; }
    QMenu* CopyMenu() const { return FCopyMenu; }
    QAction* CopyAction() const { return FCopyAction; }

    // Fired at the end of every layout.
    std::function<void(TRLPreview* Sender)> OnChangeView;
    // Raised when the preview gains the focus and on a click on it or on one of its boxes.
    std::function<void(TRLPreview* Sender)> OnEnter;

    // FirstPageNumber + FirstVisible; 0 without a store.
    int PageNumber() const;
    int PageCount() const;

    void GoToPageIndex(int Index);
    void GoToPageNumber(int Number);
    void FirstPage();
    void LastPage();
    void NextPage();
    void PriorPage();

    // Zoom values below the minimum are ignored; an unchanged value does not lay out again.
    void SetZoom(double Percent);
    void ZoomFullPage();
    void ZoomPageWidth();
    void ZoomMultiplePages();
    bool IsMultiple() const { return FShownBoxes > 1; }
    void ToggleView(int Number);

    // The fit values for the current size and store (100 without a store).
    double PageWidthZoom() const;
    double EntirePageZoom() const;
    double MultiplePagesZoom() const;

    void ScrollTop();
    void ScrollBottom();
    void ScrollHome();
    void ScrollEnd();
    void ScrollPageUp();
    void ScrollPageDown();
    void ScrollPageLeft();
    void ScrollPageRight();
    void ScrollLineUp();
    void ScrollLineDown();
    void ScrollLineLeft();
    void ScrollLineRight();

    // Searches the raw texts of the text objects from the first visible page on, continuing after
    // the previous hit and never wrapping. Whole words need a character that is no letter or digit
    // (or the text's end) on both sides of the hit. A hit outside the visible part of its page is
    // scrolled into view.
    bool FindText(const QString& Text, bool Backward, bool MatchCase, bool WholeWords = false);

    void SetSelectMode(bool On);
    void SetCurrent(bool On);

    // Puts a bitmap of the page of Box on the clipboard; false when the box has no page.
    bool CopyPageToClipboard(TRLPreviewBox* Box);
    // The box the copy menu was last opened on.
    TRLPreviewBox* MenuBox() const { return FMenuBox; }
    void SetMenuBox(TRLPreviewBox* Box) { FMenuBox = Box; }

    // Lays the boxes out again now.
    void Layout();

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void scrollContentsBy(int DX, int DY) override;
    void focusInEvent(QFocusEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    bool viewportEvent(QEvent* Event) override;

private:
    friend class TRLPreviewBox;
    class TLink;
    void StorageDestroyed();
    void RaiseEnter();
    void RepaintVisibleBoxes();
    void ScrollFoundIntoView();
    void SetScrollValue(Qt::Orientation Orientation, int Value);

    TRLGraphicStorage* FStorage = nullptr;
    std::unique_ptr<TLink> FLink;
    double FZoomPercent = 100.0;
    int FShownBoxes = 1;
    int FFirstVisible = -1;
    TRLPreviewBox* FPageBoxes[3] = {};
    QSize FLastExtent;
    bool FSelectMode = false;
    bool FIsCurrent = false;
    int FFoundPage = -1;
    int FFoundObject = 0;
    bool FHasFound = false;
    QMenu* FCopyMenu = nullptr;
    QAction* FCopyAction = nullptr;
    TRLPreviewBox* FMenuBox = nullptr;
    bool FInLayout = false;
};
