#include "engine/RLSiteAlign.h"

#include <array>

namespace {

// The items of each alignment, in child order.
using TAlignLists = std::array<std::vector<TRLAlignItem*>, ControlAlignCount>;

const std::vector<TRLAlignItem*>& ListOf(const TAlignLists& lists, TRLControlAlign align)
{
    return lists[std::size_t(align)];
}

// A corner row: items from the left corner go rightwards, items from the right corner leftwards, all
// with their own size on the given edge. Returns the free stretch left between the two corners.
void PlaceCorners(const std::vector<TRLAlignItem*>& fromLeft, const std::vector<TRLAlignItem*>& fromRight,
    const TRect& area, bool atTop, int& freeLeft, int& freeRight)
{
    freeLeft = area.Left;
    freeRight = area.Right;
    for (TRLAlignItem* item : fromLeft) {
        const int w = item->Bounds.Width();
        const int h = item->Bounds.Height();
        const int top = atTop ? area.Top : area.Bottom - h;
        item->Bounds = TRect::Bounds(freeLeft, top, w, h);
        freeLeft += w;
    }
    for (TRLAlignItem* item : fromRight) {
        const int w = item->Bounds.Width();
        const int h = item->Bounds.Height();
        const int top = atTop ? area.Top : area.Bottom - h;
        freeRight -= w;
        item->Bounds = TRect::Bounds(freeRight, top, w, h);
    }
}

// Items sharing a stretch of an edge equally, with their own extent across it.
void ShareAlongRow(const std::vector<TRLAlignItem*>& items, int from, int to, int edge, bool atTop)
{
    const int count = int(items.size());
    for (int i = 0; i < count; ++i) {
        TRLAlignItem* item = items[std::size_t(i)];
        const TRLSlot slot = ShareEqually(to - from, count, i);
        const int h = item->Bounds.Height();
        const int top = atTop ? edge : edge - h;
        item->Bounds = TRect::Bounds(from + slot.Offset, top, slot.Size, h);
    }
}

void ShareAlongColumn(const std::vector<TRLAlignItem*>& items, int from, int to, int edge, bool atLeft)
{
    const int count = int(items.size());
    for (int i = 0; i < count; ++i) {
        TRLAlignItem* item = items[std::size_t(i)];
        const TRLSlot slot = ShareEqually(to - from, count, i);
        const int w = item->Bounds.Width();
        const int left = atLeft ? edge : edge - w;
        item->Bounds = TRect::Bounds(left, from + slot.Offset, w, slot.Size);
    }
}

// Items centred each in its own equal slot of an edge, keeping their size.
void CentreAlongRow(const std::vector<TRLAlignItem*>& items, const TRect& area, bool atTop)
{
    const int count = int(items.size());
    for (int i = 0; i < count; ++i) {
        TRLAlignItem* item = items[std::size_t(i)];
        const TRLSlot slot = ShareEqually(area.Width(), count, i);
        const int w = item->Bounds.Width();
        const int h = item->Bounds.Height();
        const int left = area.Left + slot.Offset + (slot.Size - w) / 2;
        const int top = atTop ? area.Top : area.Bottom - h;
        item->Bounds = TRect::Bounds(left, top, w, h);
    }
}

void CentreAlongColumn(const std::vector<TRLAlignItem*>& items, const TRect& area, bool atLeft)
{
    const int count = int(items.size());
    for (int i = 0; i < count; ++i) {
        TRLAlignItem* item = items[std::size_t(i)];
        const TRLSlot slot = ShareEqually(area.Height(), count, i);
        const int w = item->Bounds.Width();
        const int h = item->Bounds.Height();
        const int left = atLeft ? area.Left : area.Right - w;
        const int top = area.Top + slot.Offset + (slot.Size - h) / 2;
        item->Bounds = TRect::Bounds(left, top, w, h);
    }
}

} // namespace

TRLSlot ShareEqually(int Total, int Count, int Index)
{
    if (Count <= 0)
        return {};
    const int part = Total / Count;
    const int offset = part * Index;
    const int size = Index == Count - 1 ? Total - offset : part;
    return { offset, size };
}

void AlignSiteChildren(const TRect& Client, std::vector<TRLAlignItem>& Items)
{
    TAlignLists lists;
    for (TRLAlignItem& item : Items)
        if (item.Align > faNone && item.Align < ControlAlignCount)
            lists[std::size_t(item.Align)].push_back(&item);

    TRect area = Client;
    // Rows 1 to 6: strips along the edges, each narrowing what is left for the next.
    for (TRLAlignItem* item : ListOf(lists, faLeftMost)) {
        const int w = item->Bounds.Width();
        item->Bounds = TRect(area.Left, area.Top, area.Left + w, area.Bottom);
        area.Left += w;
    }
    for (TRLAlignItem* item : ListOf(lists, faRightMost)) {
        const int w = item->Bounds.Width();
        item->Bounds = TRect(area.Right - w, area.Top, area.Right, area.Bottom);
        area.Right -= w;
    }
    for (TRLAlignItem* item : ListOf(lists, faTop)) {
        const int h = item->Bounds.Height();
        item->Bounds = TRect(area.Left, area.Top, area.Right, area.Top + h);
        area.Top += h;
    }
    for (TRLAlignItem* item : ListOf(lists, faBottom)) {
        const int h = item->Bounds.Height();
        item->Bounds = TRect(area.Left, area.Bottom - h, area.Right, area.Bottom);
        area.Bottom -= h;
    }
    for (TRLAlignItem* item : ListOf(lists, faLeft)) {
        const int w = item->Bounds.Width();
        item->Bounds = TRect(area.Left, area.Top, area.Left + w, area.Bottom);
        area.Left += w;
    }
    for (TRLAlignItem* item : ListOf(lists, faRight)) {
        const int w = item->Bounds.Width();
        item->Bounds = TRect(area.Right - w, area.Top, area.Right, area.Bottom);
        area.Right -= w;
    }
    // Row 7: the client items share the rest of the width; the rows after them overlay that area,
    // they do not narrow it (a client item fills everything that remains).
    ShareAlongRow(ListOf(lists, faClient), area.Left, area.Right, area.Top, true);
    for (TRLAlignItem* item : ListOf(lists, faClient))
        item->Bounds.Bottom = item->Bounds.Top + area.Height();

    // Rows 8 to 11: corners, and the client edges between them.
    int topFreeLeft = 0;
    int topFreeRight = 0;
    PlaceCorners(ListOf(lists, faLeftTop), ListOf(lists, faRightTop), area, true, topFreeLeft, topFreeRight);
    ShareAlongRow(ListOf(lists, faClientTop), topFreeLeft, topFreeRight, area.Top, true);
    int bottomFreeLeft = 0;
    int bottomFreeRight = 0;
    PlaceCorners(ListOf(lists, faLeftBottom), ListOf(lists, faRightBottom), area, false, bottomFreeLeft,
        bottomFreeRight);
    ShareAlongRow(ListOf(lists, faClientBottom), bottomFreeLeft, bottomFreeRight, area.Bottom, false);

    // Row 12: the side edges, the height shared equally.
    ShareAlongColumn(ListOf(lists, faClientLeft), area.Top, area.Bottom, area.Left, true);
    ShareAlongColumn(ListOf(lists, faClientRight), area.Top, area.Bottom, area.Right, false);

    // Row 13: moved to one edge only.
    for (TRLAlignItem* item : ListOf(lists, faLeftOnly))
        item->Bounds
            = TRect::Bounds(area.Left, item->Bounds.Top, item->Bounds.Width(), item->Bounds.Height());
    for (TRLAlignItem* item : ListOf(lists, faRightOnly))
        item->Bounds = TRect::Bounds(
            area.Right - item->Bounds.Width(), item->Bounds.Top, item->Bounds.Width(), item->Bounds.Height());
    for (TRLAlignItem* item : ListOf(lists, faTopOnly))
        item->Bounds
            = TRect::Bounds(item->Bounds.Left, area.Top, item->Bounds.Width(), item->Bounds.Height());
    for (TRLAlignItem* item : ListOf(lists, faBottomOnly))
        item->Bounds = TRect::Bounds(item->Bounds.Left, area.Bottom - item->Bounds.Height(),
            item->Bounds.Width(), item->Bounds.Height());

    // Row 14: stretched in one direction.
    for (TRLAlignItem* item : ListOf(lists, faHeight))
        item->Bounds = TRect(item->Bounds.Left, area.Top, item->Bounds.Right, area.Bottom);
    for (TRLAlignItem* item : ListOf(lists, faWidth))
        item->Bounds = TRect(area.Left, item->Bounds.Top, area.Right, item->Bounds.Bottom);

    // Rows 15 and 16: centred.
    CentreAlongColumn(ListOf(lists, faCenterLeft), area, true);
    CentreAlongRow(ListOf(lists, faCenterTop), area, true);
    CentreAlongColumn(ListOf(lists, faCenterRight), area, false);
    CentreAlongRow(ListOf(lists, faCenterBottom), area, false);
    for (TRLAlignItem* item : ListOf(lists, faCenter)) {
        const int w = item->Bounds.Width();
        const int h = item->Bounds.Height();
        item->Bounds
            = TRect::Bounds(area.Left + (area.Width() - w) / 2, area.Top + (area.Height() - h) / 2, w, h);
    }
}

bool AlignAddsToWidth(TRLControlAlign Align)
{
    switch (Align) {
    case faLeft:
    case faRight:
    case faLeftMost:
    case faRightMost:
    case faLeftTop:
    case faRightTop:
    case faLeftBottom:
    case faRightBottom:
    case faCenter:
    case faCenterLeft:
    case faCenterTop:
    case faCenterRight:
    case faCenterBottom:
    case faClientLeft:
    case faClientRight:
    case faHeight:
    case faLeftOnly:
    case faRightOnly:
    case faTopOnly:
    case faBottomOnly:
        return true;
    default:
        return false;
    }
}

bool AlignAddsToHeight(TRLControlAlign Align)
{
    switch (Align) {
    case faTop:
    case faBottom:
    case faLeftTop:
    case faRightTop:
    case faLeftBottom:
    case faRightBottom:
    case faCenter:
    case faCenterLeft:
    case faCenterTop:
    case faCenterRight:
    case faCenterBottom:
    case faClientTop:
    case faClientBottom:
    case faWidth:
    case faLeftOnly:
    case faRightOnly:
    case faTopOnly:
    case faBottomOnly:
        return true;
    default:
        return false;
    }
}

QSize MeasureSiteSize(const QSize& Current, const TRect& Client, TRLControlAlign SiteAlign,
    const std::vector<TRLAlignItem>& Children)
{
    // Sums and edges in 64 bits: a hostile definition with huge children must not wrap around.
    qint64 widthSum = 0;
    qint64 heightSum = 0;
    qint64 maxRight = 0;
    qint64 maxBottom = 0;
    for (const TRLAlignItem& child : Children) {
        if (child.Align == faNone) {
            maxRight = qMax<qint64>(maxRight, qint64(child.Bounds.Right) - Client.Left);
            maxBottom = qMax<qint64>(maxBottom, qint64(child.Bounds.Bottom) - Client.Top);
            continue;
        }
        if (AlignAddsToWidth(child.Align))
            widthSum += child.Bounds.Width();
        if (AlignAddsToHeight(child.Align))
            heightSum += child.Bounds.Height();
    }
    qint64 neededWidth = qMax(widthSum, maxRight);
    qint64 neededHeight = qMax(heightSum, maxBottom);
    const bool widthFixed = SiteAlign == faTop || SiteAlign == faBottom || SiteAlign == faClient
        || SiteAlign == faClientTop || SiteAlign == faClientBottom || SiteAlign == faWidth;
    const bool heightFixed = SiteAlign == faLeft || SiteAlign == faRight || SiteAlign == faLeftMost
        || SiteAlign == faRightMost || SiteAlign == faClient || SiteAlign == faClientLeft
        || SiteAlign == faClientRight || SiteAlign == faHeight;
    if (widthFixed || neededWidth == 0)
        neededWidth = Client.Width();
    if (heightFixed || neededHeight == 0)
        neededHeight = Client.Height();
    const qint64 width = qint64(Current.width()) + neededWidth - Client.Width();
    const qint64 height = qint64(Current.height()) + neededHeight - Client.Height();
    constexpr qint64 limit = std::numeric_limits<int>::max();
    return QSize(int(qBound<qint64>(0, width, limit)), int(qBound<qint64>(0, height, limit)));
}
