#include "preview/RLPreview.h"

#include "engine/RLConsts.h"
#include "pagestore/RLCanvas.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Component.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Zooms above this would make boxes wider than a widget may be; they are ignored like those below
// the minimum.
constexpr double MaximumZoom = 2000.0;
// A page bitmap for the clipboard is refused beyond this many pixels (a damaged or hostile page size
// must not make us allocate gigabytes).
constexpr qint64 MaximumClipboardPixels = qint64(8000) * 8000;
// Widgets are limited to this size; a box never asks for more.
constexpr qint64 MaximumBoxExtent = QWIDGETSIZE_MAX / 4;

int ClampExtent(qint64 Value)
{
    return int(std::clamp<qint64>(Value, 0, MaximumBoxExtent));
}

QColor FromRGB(int R, int G, int B)
{
    return QColor(R, G, B);
}

} // namespace

// ---------------------------------------------------------------------------------------------------

static void DrawPageOnPainter(QPainter& Painter, TRLGraphicSurface* Page, const TRect& Rect)
{
    TRLCanvas canvas(Painter);
    Page->PaintTo(canvas, Rect);
}

TRLPagePainter& RLPreviewPagePainter()
{
    static TRLPagePainter painter = &DrawPageOnPainter;
    return painter;
}

// ---------------------------------------------------------------------------------------------------
// The link the preview holds on its store. It is a component of its own (the preview is a widget, not
// a component) and hears when the store's owner destroys the store.

class TRLPreview::TLink : public TComponent
{
public:
    explicit TLink(TRLPreview* APreview)
        : FPreview(APreview)
    { }

protected:
    void Notification(TComponent* Component, TOperation Operation) override
    {
        TComponent::Notification(Component, Operation);
        if (Operation == opRemove && FPreview->FStorage
            && Component == static_cast<TComponent*>(FPreview->FStorage))
            FPreview->StorageDestroyed();
    }

private:
    TRLPreview* FPreview;
};

// ---------------------------------------------------------------------------------------------------

TRLPreviewBox::TRLPreviewBox(TRLPreview* APreview)
    : QWidget(APreview->viewport())
    , FPreview(APreview)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 1, 1);
}

int TRLPreviewBox::BoxIndex() const
{
    for (int i = 0; i < 3; ++i)
        if (FPreview->FPageBoxes[i] == this)
            return i;
    return 0;
}

int TRLPreviewBox::PageIndex() const
{
    return FPreview->FFirstVisible + BoxIndex();
}

TRLGraphicSurface* TRLPreviewBox::Page() const
{
    TRLGraphicStorage* storage = FPreview->FStorage;
    if (!storage || FPreview->FFirstVisible < 0)
        return nullptr;
    return storage->Pages(PageIndex());
}

TRLGraphicObject* TRLPreviewBox::PickedObject(TRLGraphicSurface* Page) const
{
    if (!Page || FPickedPage < 0 || Page->SlotIndex() != FPickedPage)
        return nullptr;
    if (FPickedIndex < 0 || FPickedIndex >= Page->ObjectCount())
        return nullptr;
    return Page->Objects(FPickedIndex);
}

void TRLPreviewBox::ClearPicked()
{
    FPickedPage = -1;
    FPickedIndex = -1;
}

int TRLPreviewBox::ToBox(int ReportValue) const
{
    return RoundToPixel(static_cast<long double>(ReportValue) * FPreview->FZoomPercent / 100.0L);
}

int TRLPreviewBox::ToReport(int BoxValue) const
{
    return RoundToPixel(static_cast<long double>(BoxValue) / (FPreview->FZoomPercent / 100.0L));
}

QRect TRLPreviewBox::ReportToBox(const TRect& Rect) const
{
    return TRect(ToBox(Rect.Left), ToBox(Rect.Top), ToBox(Rect.Right), ToBox(Rect.Bottom)).ToQRect();
}

bool TRLPreviewBox::PickAt(QPoint BoxPoint)
{
    TRLGraphicSurface* page = Page();
    if (!page)
        return false;
    const int x = ToReport(BoxPoint.x());
    const int y = ToReport(BoxPoint.y());
    int best = -1;
    qint64 bestArea = 0;
    for (int i = 0; i < page->ObjectCount(); ++i) {
        const TRect& r = page->Objects(i)->BoundsRect;
        if (x < r.Left || x > r.Right || y < r.Top || y > r.Bottom)
            continue;
        const qint64 area = qint64(r.Right - r.Left) * qint64(r.Bottom - r.Top);
        if (best < 0 || area < bestArea) {
            best = i;
            bestArea = area;
        }
    }
    if (best < 0 || (FPickedPage == page->SlotIndex() && FPickedIndex == best))
        return false;
    FPickedPage = page->SlotIndex();
    FPickedIndex = best;
    update();
    return true;
}

QList<QRect> TRLPreviewBox::HandleRects(TRLGraphicSurface* Page, QColor* Color) const
{
    QList<QRect> handles;
    const TRLGraphicObject* picked = PickedObject(Page);
    if (!picked || picked->GroupId == 0)
        return handles;
    QList<const TRLGraphicObject*> group;
    for (int i = 0; i < Page->ObjectCount(); ++i) {
        const TRLGraphicObject* object = Page->Objects(i);
        if (object->GroupId != 0 && object->GroupId == picked->GroupId)
            group.append(object);
    }
    if (Color)
        *Color = group.size() == 1 ? FromRGB(0, 0, 0) : FromRGB(192, 192, 192);
    const int half = PreviewHandleSize / 2;
    for (const TRLGraphicObject* object : group) {
        const int l = ToBox(object->BoundsRect.Left);
        const int t = ToBox(object->BoundsRect.Top);
        const int r = ToBox(object->BoundsRect.Right);
        const int b = ToBox(object->BoundsRect.Bottom);
        const int cx = int((qint64(l) + r) / 2);
        const int cy = int((qint64(t) + b) / 2);
        const QPoint points[8]
            = { { l, t }, { cx, t }, { r, t }, { r, cy }, { r, b }, { cx, b }, { l, b }, { l, cy } };
        for (const QPoint& p : points)
            handles.append(QRect(p.x() - half, p.y() - half, PreviewHandleSize, PreviewHandleSize));
    }
    return handles;
}

void TRLPreviewBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // One read of the page per paint: the pointer stays good because nothing below reads another.
    TRLGraphicSurface* page = Page();
    const int w = width();
    const int h = height();
    const TRect pageRect(0, 0, w - PreviewBoxMargin, h - PreviewBoxMargin);
    const QColor grey = FromRGB(128, 128, 128);

    // The box is opaque: what the page and its shadow leave free shows the preview's background.
    painter.fillRect(rect(), palette().color(QPalette::Window));

    painter.setPen(QPen(FPreview->FIsCurrent ? FromRGB(0, 0, 0) : FromRGB(192, 192, 192), 1));
    painter.setBrush(page ? QColor(Qt::white) : grey);
    if (pageRect.Width() > 0 && pageRect.Height() > 0)
        painter.drawRect(QRect(pageRect.Left, pageRect.Top, pageRect.Width() - 1, pageRect.Height() - 1));

    const TRect inner(pageRect.Left + 1, pageRect.Top + 1, pageRect.Right - 1, pageRect.Bottom - 1);
    if (page) {
        painter.save();
        try {
            RLPreviewPagePainter()(painter, page, inner);
        } catch (...) {
            // A page that fails to draw shows what was drawn so far; a paint must never throw.
        }
        painter.restore();
    } else if (!inner.IsEmpty()) {
        painter.setPen(QPen(FromRGB(0, 0, 0), 1));
        painter.drawLine(inner.Left, inner.Top, inner.Right - 1, inner.Bottom - 1);
        painter.drawLine(inner.Right - 1, inner.Top, inner.Left, inner.Bottom - 1);
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(grey);
    painter.drawRect(
        TRect(pageRect.Right, PreviewShadowWidth, pageRect.Right + PreviewShadowWidth, h - 2).ToQRect());
    painter.drawRect(TRect(pageRect.Left + PreviewShadowWidth, pageRect.Bottom, pageRect.Right,
        pageRect.Bottom + PreviewShadowWidth)
                         .ToQRect());

    if (page) {
        QColor handleColor;
        const QList<QRect> handles = HandleRects(page, &handleColor);
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(handleColor);
        for (const QRect& handle : handles)
            painter.drawRect(handle.adjusted(0, 0, -1, -1));

        if (FPreview->FHasFound && PageIndex() == FPreview->FFoundPage && FPreview->FFoundObject >= 0
            && FPreview->FFoundObject < page->ObjectCount()) {
            const QRect bounds = ReportToBox(page->Objects(FPreview->FFoundObject)->BoundsRect);
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(bounds.adjusted(-3, -3, 2, 2));
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }
}

void TRLPreviewBox::mousePressEvent(QMouseEvent* Event)
{
    FPreview->setFocus(Qt::MouseFocusReason);
    FPreview->RaiseEnter();
    if (Event->button() == Qt::LeftButton && FPreview->FSelectMode)
        PickAt(Event->position().toPoint());
    Event->accept();
}

void TRLPreviewBox::mouseReleaseEvent(QMouseEvent* Event)
{
    Event->accept();
}

void TRLPreviewBox::mouseDoubleClickEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton)
        return;
    FPreview->ToggleView(FPreview->PageNumber() + BoxIndex());
}

void TRLPreviewBox::contextMenuEvent(QContextMenuEvent* Event)
{
    FPreview->FMenuBox = this;
    FPreview->FCopyMenu->popup(Event->globalPos());
}

// ---------------------------------------------------------------------------------------------------

TRLPreview::TRLPreview(QWidget* Parent)
    : QAbstractScrollArea(Parent)
    , FLink(std::make_unique<TLink>(this))
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    horizontalScrollBar()->setSingleStep(10);
    verticalScrollBar()->setSingleStep(10);

    FCopyMenu = new QMenu(this);
    FCopyAction = FCopyMenu->addAction(RLMessage(RLMsgCopy));
    FCopyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    FCopyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(FCopyAction);
    connect(FCopyAction, &QAction::triggered, this,
        [this] { CopyPageToClipboard(FMenuBox ? FMenuBox : FPageBoxes[0]); });

    for (int i = 0; i < 3; ++i) {
        FPageBoxes[i] = new TRLPreviewBox(this);
        FPageBoxes[i]->setVisible(i == 0);
    }
}

TRLPreview::~TRLPreview()
{
    // Releasing the link may free a store that nobody else holds.
    TRLGraphicStorage* storage = FStorage;
    FStorage = nullptr;
    if (storage)
        storage->Unlink(FLink.get());
}

void TRLPreview::SetStorage(TRLGraphicStorage* AStorage)
{
    if (AStorage != FStorage) {
        TRLGraphicStorage* old = FStorage;
        FStorage = nullptr;
        if (AStorage)
            AStorage->Link(FLink.get());
        if (old)
            old->Unlink(FLink.get());
        FStorage = AStorage;
    }
    // A hit or a pick on another store's pages means nothing here.
    FFirstVisible = -1;
    FFoundPage = -1;
    FFoundObject = 0;
    FHasFound = false;
    for (TRLPreviewBox* box : FPageBoxes)
        box->ClearPicked();
    Layout();
    FirstPage();
    RepaintVisibleBoxes();
}

void TRLPreview::StorageDestroyed()
{
    FStorage = nullptr;
    FFirstVisible = -1;
    FHasFound = false;
    FFoundPage = -1;
    for (TRLPreviewBox* box : FPageBoxes)
        box->ClearPicked();
    RepaintVisibleBoxes();
    if (OnChangeView)
        OnChangeView(this);
}

int TRLPreview::PageNumber() const
{
    return FStorage ? FStorage->FirstPageNumber() + FFirstVisible : 0;
}

int TRLPreview::PageCount() const
{
    return FStorage ? FStorage->PageCount() : 0;
}

void TRLPreview::GoToPageIndex(int Index)
{
    if (!FStorage || Index < 0 || Index >= FStorage->PageCount() || Index == FFirstVisible)
        return;
    FFirstVisible = Index;
    SetScrollValue(Qt::Horizontal, 0);
    SetScrollValue(Qt::Vertical, 0);
    Layout();
}

void TRLPreview::GoToPageNumber(int Number)
{
    if (FStorage)
        GoToPageIndex(Number - FStorage->FirstPageNumber());
}

void TRLPreview::FirstPage()
{
    if (FStorage)
        GoToPageNumber(FStorage->FirstPageNumber());
}

void TRLPreview::LastPage()
{
    if (FStorage)
        GoToPageNumber(std::max(FStorage->FirstPageNumber(), FStorage->LastPageNumber() - FShownBoxes + 1));
}

void TRLPreview::NextPage()
{
    if (FStorage)
        GoToPageNumber(std::min(FStorage->LastPageNumber(), PageNumber() + FShownBoxes));
}

void TRLPreview::PriorPage()
{
    if (FStorage)
        GoToPageNumber(std::max(FStorage->FirstPageNumber(), PageNumber() - FShownBoxes));
}

void TRLPreview::SetZoom(double Percent)
{
    if (!(Percent >= PreviewMinimumZoom) || Percent > MaximumZoom || Percent == FZoomPercent)
        return;
    FZoomPercent = Percent;
    Layout();
}

double TRLPreview::PageWidthZoom() const
{
    if (!FStorage || FStorage->OrientedWidth() <= 0)
        return 100;
    return RoundToPixel((static_cast<long double>(width()) * 100 - 700) / FStorage->OrientedWidth());
}

double TRLPreview::EntirePageZoom() const
{
    if (!FStorage || FStorage->OrientedWidth() <= 0 || FStorage->OrientedHeight() <= 0)
        return 100;
    return std::min(PageWidthZoom(),
        double(RoundToPixel((static_cast<long double>(height()) * 100 - 700) / FStorage->OrientedHeight())));
}

double TRLPreview::MultiplePagesZoom() const
{
    if (!FStorage || FStorage->OrientedWidth() <= 0 || FStorage->OrientedHeight() <= 0)
        return 100;
    const long double across
        = static_cast<long double>(width() - 7) / FShownBoxes * 100 / FStorage->OrientedWidth();
    const long double down = (static_cast<long double>(height()) * 100 - 700) / FStorage->OrientedHeight();
    return std::min(RoundToPixel(across), RoundToPixel(down));
}

namespace {
void ShowBoxes(TRLPreviewBox* const* Boxes, int Count)
{
    for (int i = 0; i < 3; ++i)
        Boxes[i]->setVisible(i < Count);
}
} // namespace

void TRLPreview::ZoomFullPage()
{
    FShownBoxes = 1;
    ShowBoxes(FPageBoxes, FShownBoxes);
    const double before = FZoomPercent;
    SetZoom(EntirePageZoom());
    if (FZoomPercent == before)
        Layout(); // the box count changed even when the zoom did not
}

void TRLPreview::ZoomPageWidth()
{
    FShownBoxes = 1;
    ShowBoxes(FPageBoxes, FShownBoxes);
    const double before = FZoomPercent;
    SetZoom(PageWidthZoom());
    if (FZoomPercent == before)
        Layout();
}

void TRLPreview::ZoomMultiplePages()
{
    FShownBoxes = 3;
    ShowBoxes(FPageBoxes, FShownBoxes);
    const double before = FZoomPercent;
    SetZoom(MultiplePagesZoom());
    if (FZoomPercent == before)
        Layout();
}

void TRLPreview::ToggleView(int Number)
{
    if (Number != PageNumber())
        GoToPageNumber(Number);
    if (IsMultiple())
        ZoomPageWidth();
    else
        ZoomMultiplePages();
}

// --- scrolling -------------------------------------------------------------------------------------

void TRLPreview::SetScrollValue(Qt::Orientation Orientation, int Value)
{
    QScrollBar* bar = Orientation == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
    bar->setValue(std::clamp(Value, bar->minimum(), bar->maximum()));
}

void TRLPreview::ScrollTop()
{
    SetScrollValue(Qt::Vertical, 0);
}
void TRLPreview::ScrollBottom()
{
    SetScrollValue(Qt::Vertical, verticalScrollBar()->maximum());
}
void TRLPreview::ScrollHome()
{
    SetScrollValue(Qt::Horizontal, 0);
}
void TRLPreview::ScrollEnd()
{
    SetScrollValue(Qt::Horizontal, horizontalScrollBar()->maximum());
}
void TRLPreview::ScrollPageUp()
{
    SetScrollValue(Qt::Vertical, verticalScrollBar()->value() - height());
}
void TRLPreview::ScrollPageDown()
{
    SetScrollValue(Qt::Vertical, verticalScrollBar()->value() + height());
}
void TRLPreview::ScrollPageLeft()
{
    SetScrollValue(Qt::Horizontal, horizontalScrollBar()->value() - width());
}
void TRLPreview::ScrollPageRight()
{
    SetScrollValue(Qt::Horizontal, horizontalScrollBar()->value() + width());
}
void TRLPreview::ScrollLineUp()
{
    SetScrollValue(Qt::Vertical, verticalScrollBar()->value() - 10);
}
void TRLPreview::ScrollLineDown()
{
    SetScrollValue(Qt::Vertical, verticalScrollBar()->value() + 10);
}
void TRLPreview::ScrollLineLeft()
{
    SetScrollValue(Qt::Horizontal, horizontalScrollBar()->value() - 10);
}
void TRLPreview::ScrollLineRight()
{
    SetScrollValue(Qt::Horizontal, horizontalScrollBar()->value() + 10);
}

void TRLPreview::scrollContentsBy(int DX, int DY)
{
    // During a layout the boxes are placed from the final positions; outside one they move as a row.
    if (FInLayout)
        return;
    for (int i = 0; i < FShownBoxes; ++i)
        FPageBoxes[i]->move(FPageBoxes[i]->pos() + QPoint(DX, DY));
}

// --- layout ----------------------------------------------------------------------------------------

void TRLPreview::Layout()
{
    if (!FStorage || FInLayout)
        return;
    FInLayout = true;
    const long double zoom = FZoomPercent / 100.0L;
    const int defaultWidth
        = ClampExtent(qint64(RoundToPixel(FStorage->OrientedWidth() * zoom)) + PreviewBoxMargin);
    const int defaultHeight
        = ClampExtent(qint64(RoundToPixel(FStorage->OrientedHeight() * zoom)) + PreviewBoxMargin);

    QSize sizes[3];
    qint64 sum = 0;
    int greatest = 0;
    for (int i = 0; i < FShownBoxes; ++i) {
        int w = defaultWidth;
        int h = defaultHeight;
        // Only the size is needed here; the page pointer is not kept.
        if (TRLGraphicSurface* page = FFirstVisible >= 0 ? FStorage->Pages(FFirstVisible + i) : nullptr) {
            w = ClampExtent(qint64(RoundToPixel(page->Width() * zoom)) + PreviewBoxMargin);
            h = ClampExtent(qint64(RoundToPixel(page->Height() * zoom)) + PreviewBoxMargin);
        }
        sizes[i] = QSize(w, h);
        sum += w;
        greatest = std::max(greatest, h);
    }
    const int total = ClampExtent(sum);

    // Setting the ranges may show or hide a scroll bar, which changes the viewport: settle first.
    for (int pass = 0; pass < 3; ++pass) {
        const QSize before = viewport()->size();
        horizontalScrollBar()->setRange(0, std::max(0, total - before.width()));
        horizontalScrollBar()->setPageStep(std::max(1, before.width()));
        verticalScrollBar()->setRange(0, std::max(0, greatest - before.height()));
        verticalScrollBar()->setPageStep(std::max(1, before.height()));
        if (viewport()->size() == before)
            break;
    }
    const int clientWidth = viewport()->width();
    const int clientHeight = viewport()->height();

    int x;
    if (total < clientWidth) {
        horizontalScrollBar()->setValue(0);
        x = (clientWidth - total) / 2;
    } else {
        x = -horizontalScrollBar()->value();
    }
    int y0;
    if (greatest < clientHeight) {
        verticalScrollBar()->setValue(0);
        y0 = (clientHeight - greatest) / 2;
    } else {
        y0 = -verticalScrollBar()->value();
    }
    for (int i = 0; i < FShownBoxes; ++i) {
        const int top = y0 + (greatest - sizes[i].height()) / 2;
        FPageBoxes[i]->setGeometry(x, top, sizes[i].width(), sizes[i].height());
        FPageBoxes[i]->update();
        x += sizes[i].width();
    }
    FLastExtent = size();
    FInLayout = false;
    if (OnChangeView)
        OnChangeView(this);
}

void TRLPreview::resizeEvent(QResizeEvent* Event)
{
    QAbstractScrollArea::resizeEvent(Event);
    if (!FInLayout && size() != FLastExtent)
        Layout();
}

bool TRLPreview::viewportEvent(QEvent* Event)
{
    // The viewport's own resize (a scroll bar came or went) re-centres the boxes too.
    if (Event->type() == QEvent::Resize && !FInLayout && FStorage) {
        const bool handled = QAbstractScrollArea::viewportEvent(Event);
        Layout();
        return handled;
    }
    return QAbstractScrollArea::viewportEvent(Event);
}

// --- focus and selection ---------------------------------------------------------------------------

void TRLPreview::RaiseEnter()
{
    if (OnEnter)
        OnEnter(this);
}

void TRLPreview::focusInEvent(QFocusEvent* Event)
{
    QAbstractScrollArea::focusInEvent(Event);
    RaiseEnter();
}

void TRLPreview::mousePressEvent(QMouseEvent* Event)
{
    setFocus(Qt::MouseFocusReason);
    RaiseEnter();
    Event->accept();
}

void TRLPreview::RepaintVisibleBoxes()
{
    for (int i = 0; i < FShownBoxes; ++i)
        FPageBoxes[i]->update();
}

void TRLPreview::SetSelectMode(bool On)
{
    if (On == FSelectMode)
        return;
    FSelectMode = On;
    if (!On) {
        for (int i = 0; i < FShownBoxes; ++i)
            FPageBoxes[i]->ClearPicked();
        RepaintVisibleBoxes();
    }
}

void TRLPreview::SetCurrent(bool On)
{
    FIsCurrent = On;
    RepaintVisibleBoxes();
}

// --- search ----------------------------------------------------------------------------------------

namespace {

bool IsWordCharacter(QChar C)
{
    return C.isLetterOrNumber() || C == u'_';
}

bool ContainsPattern(const QString& Text, const QString& Pattern, bool WholeWords)
{
    if (!WholeWords)
        return Text.contains(Pattern);
    for (qsizetype at = Text.indexOf(Pattern); at >= 0; at = Text.indexOf(Pattern, at + 1)) {
        const qsizetype end = at + Pattern.size();
        const bool startsWord = at == 0 || !IsWordCharacter(Text.at(at - 1));
        const bool endsWord = end >= Text.size() || !IsWordCharacter(Text.at(end));
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

} // namespace

bool TRLPreview::FindText(const QString& Text, bool Backward, bool MatchCase, bool WholeWords)
{
    // An empty pattern occurs in every text; finding it would only jump to the next text object.
    if (!FStorage || Text.isEmpty())
        return false;
    const QLocale locale;
    const QString pattern = MatchCase ? Text : locale.toUpper(Text);
    const int step = Backward ? -1 : 1;
    const int count = FStorage->PageCount();
    for (int index = FFirstVisible; index >= 0 && index < count; index += step) {
        TRLGraphicSurface* page = FStorage->Pages(index);
        if (!page)
            continue; // an unreadable page holds nothing to find
        int start;
        if (index == FFoundPage) {
            start = FFoundObject + step;
        } else {
            FFoundPage = -1;
            start = Backward ? page->ObjectCount() - 1 : 0;
        }
        for (int i = start; i >= 0 && i < page->ObjectCount(); i += step) {
            const TRLGraphicObject* object = page->Objects(i);
            if (object->Kind() != okText)
                continue;
            const QString& raw = static_cast<const TRLTextObject*>(object)->Text;
            if (!ContainsPattern(MatchCase ? raw : locale.toUpper(raw), pattern, WholeWords))
                continue;
            FFoundPage = index;
            FFoundObject = i;
            FHasFound = true;
            for (int b = 0; b < FShownBoxes; ++b)
                FPageBoxes[b]->ClearPicked();
            RepaintVisibleBoxes();
            GoToPageIndex(index);
            ScrollFoundIntoView();
            return true;
        }
    }
    return false;
}

void TRLPreview::ScrollFoundIntoView()
{
    const int boxIndex = FFoundPage - FFirstVisible;
    if (!FHasFound || boxIndex < 0 || boxIndex >= FShownBoxes)
        return;
    TRLPreviewBox* box = FPageBoxes[boxIndex];
    TRLGraphicSurface* page = box->Page();
    if (!page || FFoundObject < 0 || FFoundObject >= page->ObjectCount())
        return;
    // The hit with the frame the box draws around it, in the viewport's coordinates.
    const QRect hit = box->ReportToBox(page->Objects(FFoundObject)->BoundsRect)
                          .adjusted(-4, -4, 4, 4)
                          .translated(box->pos());
    const QRect view = viewport()->rect();
    // Forward only as far as the hit's end, and never past its start: a hit wider or taller than the
    // view shows from its beginning.
    const auto shift = [](int Low, int High, int ViewLow, int ViewHigh) {
        if (High > ViewHigh)
            return std::min(High - ViewHigh, Low - ViewLow);
        if (Low < ViewLow)
            return Low - ViewLow;
        return 0;
    };
    const int down = shift(hit.top(), hit.bottom() + 1, view.top(), view.bottom() + 1);
    const int across = shift(hit.left(), hit.right() + 1, view.left(), view.right() + 1);
    if (down != 0)
        SetScrollValue(Qt::Vertical, verticalScrollBar()->value() + down);
    if (across != 0)
        SetScrollValue(Qt::Horizontal, horizontalScrollBar()->value() + across);
}

// --- clipboard -------------------------------------------------------------------------------------

bool TRLPreview::CopyPageToClipboard(TRLPreviewBox* Box)
{
    if (!Box)
        return false;
    TRLGraphicSurface* page = Box->Page();
    if (!page || page->Width() <= 0 || page->Height() <= 0
        || qint64(page->Width()) * page->Height() > MaximumClipboardPixels)
        return false;
    QImage image(page->Width(), page->Height(), QImage::Format_ARGB32);
    if (image.isNull())
        return false;
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        RLPreviewPagePainter()(painter, page, TRect(0, 0, page->Width(), page->Height()));
    }
    QGuiApplication::clipboard()->setImage(image);
    return true;
}
