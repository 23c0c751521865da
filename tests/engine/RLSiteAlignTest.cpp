// Placement of aligned children and self-sizing of sites, on plain rectangles.
#include "engine/RLSiteAlign.h"

#include <gtest/gtest.h>

namespace {

TRLAlignItem Item(TRLControlAlign align, int left, int top, int width, int height)
{
    return TRLAlignItem { align, TRect::Bounds(left, top, width, height) };
}

::testing::AssertionResult HasBounds(const TRLAlignItem& item, int left, int top, int width, int height)
{
    const TRect want = TRect::Bounds(left, top, width, height);
    if (item.Bounds == want)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
        << "got (" << item.Bounds.Left << "," << item.Bounds.Top << "," << item.Bounds.Width() << "x"
        << item.Bounds.Height() << ") want (" << left << "," << top << "," << width << "x" << height << ")";
}

const TRect Client = TRect::Bounds(10, 5, 200, 100); // right 210, bottom 105

} // namespace

TEST(RLSiteAlign, ShareEquallyGivesTheRestToTheLast)
{
    struct Case
    {
        int total, count, index, offset, size;
    };
    const Case cases[] = {
        { 101, 2, 0, 0, 50 },
        { 101, 2, 1, 50, 51 },
        { 100, 3, 0, 0, 33 },
        { 100, 3, 2, 66, 34 },
        { 7, 1, 0, 0, 7 },
        { 5, 0, 0, 0, 0 },
    };
    for (const Case& c : cases) {
        const TRLSlot slot = ShareEqually(c.total, c.count, c.index);
        EXPECT_EQ(slot.Offset, c.offset) << c.total << "/" << c.count << "#" << c.index;
        EXPECT_EQ(slot.Size, c.size) << c.total << "/" << c.count << "#" << c.index;
    }
}

TEST(RLSiteAlign, TwoClientControlsInAWidth101BandGet50And51)
{
    std::vector<TRLAlignItem> items { Item(faClient, 0, 0, 10, 10), Item(faClient, 0, 0, 10, 10) };
    AlignSiteChildren(TRect(0, 0, 101, 16), items);
    EXPECT_TRUE(HasBounds(items[0], 0, 0, 50, 16));
    EXPECT_TRUE(HasBounds(items[1], 50, 0, 51, 16));
}

// One child of each kind alone in the client area: where it lands.
TEST(RLSiteAlign, EachAlignmentAloneInTheClientArea)
{
    struct Case
    {
        const char* name;
        TRLControlAlign align;
        int left, top, width, height;
    };
    // Every child starts at (30, 40) with 20 x 10.
    const Case cases[] = {
        { "none", faNone, 30, 40, 20, 10 },
        { "top", faTop, 10, 5, 200, 10 },
        { "bottom", faBottom, 10, 95, 200, 10 },
        { "left", faLeft, 10, 5, 20, 100 },
        { "right", faRight, 190, 5, 20, 100 },
        { "client", faClient, 10, 5, 200, 100 },
        { "leftmost", faLeftMost, 10, 5, 20, 100 },
        { "rightmost", faRightMost, 190, 5, 20, 100 },
        { "lefttop", faLeftTop, 10, 5, 20, 10 },
        { "righttop", faRightTop, 190, 5, 20, 10 },
        { "leftbottom", faLeftBottom, 10, 95, 20, 10 },
        { "rightbottom", faRightBottom, 190, 95, 20, 10 },
        { "center", faCenter, 100, 50, 20, 10 },
        { "centerleft", faCenterLeft, 10, 50, 20, 10 },
        { "centertop", faCenterTop, 100, 5, 20, 10 },
        { "centerright", faCenterRight, 190, 50, 20, 10 },
        { "centerbottom", faCenterBottom, 100, 95, 20, 10 },
        { "clientleft", faClientLeft, 10, 5, 20, 100 },
        { "clienttop", faClientTop, 10, 5, 200, 10 },
        { "clientright", faClientRight, 190, 5, 20, 100 },
        { "clientbottom", faClientBottom, 10, 95, 200, 10 },
        { "height", faHeight, 30, 5, 20, 100 },
        { "width", faWidth, 10, 40, 200, 10 },
        { "leftonly", faLeftOnly, 10, 40, 20, 10 },
        { "rightonly", faRightOnly, 190, 40, 20, 10 },
        { "toponly", faTopOnly, 30, 5, 20, 10 },
        { "bottomonly", faBottomOnly, 30, 95, 20, 10 },
    };
    static_assert(std::size(cases) == ControlAlignCount);
    for (const Case& c : cases) {
        std::vector<TRLAlignItem> items { Item(c.align, 30, 40, 20, 10) };
        AlignSiteChildren(Client, items);
        EXPECT_TRUE(HasBounds(items[0], c.left, c.top, c.width, c.height)) << c.name;
    }
}

TEST(RLSiteAlign, EdgeStripsNarrowTheAreaInRowOrder)
{
    // Listed out of row order on purpose: rows, not child order, decide who takes the edge first.
    std::vector<TRLAlignItem> items {
        Item(faClient, 0, 0, 1, 1),
        Item(faLeft, 0, 0, 15, 1),
        Item(faTop, 0, 0, 1, 12),
        Item(faLeftMost, 0, 0, 7, 1),
        Item(faBottom, 0, 0, 1, 8),
        Item(faTop, 0, 0, 1, 3),
        Item(faRight, 0, 0, 9, 1),
    };
    AlignSiteChildren(Client, items);
    EXPECT_TRUE(HasBounds(items[3], 10, 5, 7, 100)); // left-most: full height
    EXPECT_TRUE(HasBounds(items[2], 17, 5, 193, 12)); // first top
    EXPECT_TRUE(HasBounds(items[5], 17, 17, 193, 3)); // second top under it
    EXPECT_TRUE(HasBounds(items[4], 17, 97, 193, 8)); // bottom
    EXPECT_TRUE(HasBounds(items[1], 17, 20, 15, 77)); // left: remaining height
    EXPECT_TRUE(HasBounds(items[6], 201, 20, 9, 77)); // right
    EXPECT_TRUE(HasBounds(items[0], 32, 20, 169, 77)); // client: what is left
}

TEST(RLSiteAlign, CornersAndClientEdgesShareTheStretchBetweenThem)
{
    std::vector<TRLAlignItem> items {
        Item(faLeftTop, 0, 0, 30, 10),
        Item(faLeftTop, 0, 0, 20, 12),
        Item(faRightTop, 0, 0, 40, 10),
        Item(faClientTop, 0, 0, 5, 9),
        Item(faClientTop, 0, 0, 5, 9),
        Item(faRightBottom, 0, 0, 50, 6),
        Item(faClientBottom, 0, 0, 5, 4),
    };
    AlignSiteChildren(Client, items);
    EXPECT_TRUE(HasBounds(items[0], 10, 5, 30, 10));
    EXPECT_TRUE(HasBounds(items[1], 40, 5, 20, 12));
    EXPECT_TRUE(HasBounds(items[2], 170, 5, 40, 10));
    // Between x = 60 and x = 170: 110 shared by two.
    EXPECT_TRUE(HasBounds(items[3], 60, 5, 55, 9));
    EXPECT_TRUE(HasBounds(items[4], 115, 5, 55, 9));
    EXPECT_TRUE(HasBounds(items[5], 160, 99, 50, 6));
    EXPECT_TRUE(HasBounds(items[6], 10, 101, 150, 4));
}

TEST(RLSiteAlign, ClientSidesAndCentredEdgesUseEqualSlots)
{
    std::vector<TRLAlignItem> items {
        Item(faClientLeft, 0, 0, 8, 1),
        Item(faClientLeft, 0, 0, 6, 1),
        Item(faClientLeft, 0, 0, 4, 1),
        Item(faCenterTop, 0, 0, 20, 7),
        Item(faCenterTop, 0, 0, 30, 7),
    };
    AlignSiteChildren(Client, items);
    EXPECT_TRUE(HasBounds(items[0], 10, 5, 8, 33));
    EXPECT_TRUE(HasBounds(items[1], 10, 38, 6, 33));
    EXPECT_TRUE(HasBounds(items[2], 10, 71, 4, 34));
    // Two slots of 100 across; each item centred in its slot.
    EXPECT_TRUE(HasBounds(items[3], 50, 5, 20, 7));
    EXPECT_TRUE(HasBounds(items[4], 145, 5, 30, 7));
}

TEST(RLSiteAlign, OutOfRangeAlignmentIsLeftAlone)
{
    std::vector<TRLAlignItem> items { Item(TRLControlAlign(99), 1, 2, 3, 4),
        Item(TRLControlAlign(-3), 5, 6, 7, 8) };
    AlignSiteChildren(Client, items);
    EXPECT_TRUE(HasBounds(items[0], 1, 2, 3, 4));
    EXPECT_TRUE(HasBounds(items[1], 5, 6, 7, 8));
}

TEST(RLSiteAlign, EmptyListAndEmptyClientAreHarmless)
{
    std::vector<TRLAlignItem> none;
    AlignSiteChildren(Client, none);
    std::vector<TRLAlignItem> items { Item(faClient, 0, 0, 9, 9), Item(faTop, 0, 0, 9, 9) };
    AlignSiteChildren(TRect(0, 0, 0, 0), items);
    EXPECT_EQ(items[0].Bounds.Width(), 0);
    EXPECT_EQ(items[1].Bounds.Width(), 0);
}

TEST(RLSiteAlign, WidthAndHeightSumSets)
{
    int widthCount = 0;
    int heightCount = 0;
    for (int a = 0; a < ControlAlignCount; ++a) {
        widthCount += AlignAddsToWidth(TRLControlAlign(a));
        heightCount += AlignAddsToHeight(TRLControlAlign(a));
    }
    EXPECT_EQ(widthCount, 20);
    EXPECT_EQ(heightCount, 18);
    EXPECT_FALSE(AlignAddsToWidth(faNone));
    EXPECT_FALSE(AlignAddsToWidth(faClient));
    EXPECT_FALSE(AlignAddsToWidth(faTop));
    EXPECT_TRUE(AlignAddsToWidth(faHeight));
    EXPECT_FALSE(AlignAddsToHeight(faHeight));
    EXPECT_TRUE(AlignAddsToHeight(faWidth));
}

TEST(RLSiteAlign, SiteSizing)
{
    // A site of 220 x 120 with a client area of 200 x 100 at (10, 5): a 20 x 20 frame.
    const QSize current(220, 120);
    struct Case
    {
        const char* name;
        TRLControlAlign siteAlign;
        std::vector<TRLAlignItem> children;
        int width, height;
    };
    const Case cases[] = {
        // A band aligned to the top keeps its width and takes the height of its lowest child.
        { "band keeps width, lowest child", faTop,
            { Item(faNone, 10, 5, 50, 30), Item(faNone, 70, 20, 10, 42) }, 220, 20 + 57 },
        { "free site follows right edge", faNone,
            { Item(faNone, 10, 5, 50, 30), Item(faNone, 70, 20, 300, 2) }, 20 + 360, 20 + 30 },
        { "no children keeps the size", faNone, {}, 220, 120 },
        { "stacked tops add heights", faNone, { Item(faTop, 0, 0, 5, 11), Item(faTop, 0, 0, 5, 13) }, 220,
            20 + 24 },
        { "left strips add widths", faNone, { Item(faLeft, 0, 0, 15, 3), Item(faRight, 0, 0, 16, 3) },
            20 + 31, 120 },
        { "larger of sum and edge", faNone, { Item(faTop, 0, 0, 5, 10), Item(faNone, 10, 5, 5, 40) }, 20 + 5,
            20 + 40 },
        { "client site keeps both", faClient, { Item(faNone, 10, 5, 500, 500) }, 220, 120 },
        { "left site keeps height", faLeft, { Item(faNone, 10, 5, 30, 500) }, 20 + 30, 120 },
        { "client children count nowhere", faNone, { Item(faClient, 0, 0, 50, 50) }, 220, 120 },
        { "shrinks too", faNone, { Item(faNone, 10, 5, 40, 10) }, 20 + 40, 20 + 10 },
    };
    for (const Case& c : cases) {
        const QSize size = MeasureSiteSize(current, Client, c.siteAlign, c.children);
        EXPECT_EQ(size.width(), c.width) << c.name;
        EXPECT_EQ(size.height(), c.height) << c.name;
    }
}

TEST(RLSiteAlign, SiteSizingDoesNotOverflow)
{
    std::vector<TRLAlignItem> children { Item(faTop, 0, 0, 5, 2000000000), Item(faTop, 0, 0, 5, 2000000000) };
    const QSize size = MeasureSiteSize(QSize(220, 120), Client, faNone, children);
    EXPECT_EQ(size.height(), std::numeric_limits<int>::max());
    EXPECT_GE(size.width(), 0);
}
