// Geometry objects: frames, margins, page setup, backgrounds, gradients, sorted bands and the
// coordinate helpers, checked through what they record on a page surface.
#include "engine/RLReport.h"
#include "pagestore/RLMetaFile.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

// Counts what the geometry objects tell their owner.
class TCountingControl : public TRLCustomControl
{
public:
    using TRLCustomControl::TRLCustomControl;
    void GeometryChanged(TPersistent* Sender, bool Resize) override
    {
        ++(Resize ? resizes : repaints);
        TRLCustomControl::GeometryChanged(Sender, Resize);
    }
    int resizes = 0;
    int repaints = 0;
};

struct Tree
{
    TComponent owner;
    TRLCustomReport* report = new TRLCustomReport(&owner);
    TRLCustomBand* band = new TRLCustomBand(&owner);
    TCountingControl* control = new TCountingControl(&owner);
    Tree()
    {
        band->SetParent(report);
        band->SetBounds(38, 38, 718, 40);
        control->SetParent(band);
        control->SetBounds(0, 0, 100, 20);
        control->resizes = control->repaints = 0;
    }
};

std::vector<TRect> RecordedRects(const TRLGraphicSurface& surface)
{
    std::vector<TRect> rects;
    for (int i = 0; i < surface.ObjectCount(); ++i)
        rects.push_back(surface.Objects(i)->BoundsRect);
    return rects;
}

TGraphic Picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    return TGraphic(image, gkBitmap);
}

} // namespace

// --- borders -----------------------------------------------------------------------------------

TEST(RLBorders, NewFrameHasNoSidesAndDrawsNothing)
{
    Tree tree;
    TRLBorders* borders = tree.control->Borders();
    EXPECT_EQ(borders->Sides(), sdNone);
    EXPECT_EQ(borders->Width(), 1);
    TRLGraphicSurface surface;
    borders->DrawBorders(&surface, TRect(0, 0, 100, 20));
    EXPECT_EQ(surface.ObjectCount(), 0);
}

TEST(RLBorders, SideFlagsDeriveSides)
{
    Tree tree;
    TRLBorders* borders = tree.control->Borders();
    borders->SetDrawTop(true);
    EXPECT_EQ(borders->Sides(), sdCustom);
    borders->SetSides(sdAll);
    EXPECT_TRUE(borders->DrawLeft() && borders->DrawTop() && borders->DrawRight() && borders->DrawBottom());
    EXPECT_EQ(borders->Sides(), sdAll);
    borders->SetDrawLeft(false);
    EXPECT_EQ(borders->Sides(), sdCustom);
    EXPECT_FALSE(borders->DrawLeft());
    EXPECT_TRUE(borders->DrawTop() && borders->DrawRight() && borders->DrawBottom());
    // Clearing every side never turns sdCustom back into sdNone by itself.
    borders->SetDrawTop(false);
    borders->SetDrawRight(false);
    borders->SetDrawBottom(false);
    EXPECT_EQ(borders->Sides(), sdCustom);
}

TEST(RLBorders, FixedAndDrawFollowEachOther)
{
    Tree tree;
    TRLBorders* borders = tree.control->Borders();
    borders->SetFixedBottom(true);
    EXPECT_TRUE(borders->DrawBottom());
    EXPECT_EQ(borders->Sides(), sdCustom);
    borders->SetDrawBottom(false);
    EXPECT_FALSE(borders->FixedBottom());
    borders->SetSides(sdAll);
    borders->SetFixedLeft(true);
    borders->SetSides(sdNone);
    EXPECT_FALSE(borders->FixedLeft());
    EXPECT_FALSE(borders->DrawLeft());
}

TEST(RLBorders, NotifiesOwnerOnlyOnRealChanges)
{
    Tree tree;
    TCountingControl* control = tree.control;
    TRLBorders* borders = control->Borders();
    borders->SetSides(sdCustom); // records the choice only
    EXPECT_EQ(control->resizes + control->repaints, 0);
    borders->SetWidth(1); // unchanged
    borders->SetWidth(-4); // refused
    EXPECT_EQ(borders->Width(), 1);
    EXPECT_EQ(control->resizes, 0);
    borders->SetWidth(2);
    EXPECT_EQ(control->resizes, 1);
    borders->SetColor(clRed);
    borders->SetStyle(bsCross);
    EXPECT_EQ(control->repaints, 2);
    EXPECT_EQ(control->resizes, 1);
    borders->SetDrawLeft(true);
    EXPECT_EQ(control->resizes, 2);
    const int before = control->resizes + control->repaints;
    borders->SetFixedLeft(true); // on its own a fixed flag tells nobody
    EXPECT_EQ(control->resizes + control->repaints, before);
}

TEST(RLBorders, FourRectanglesOfWidthThree)
{
    Tree tree;
    TRLBorders* borders = tree.control->Borders();
    borders->SetSides(sdAll);
    borders->SetWidth(3);
    borders->SetColor(clBlue);
    TRLGraphicSurface surface;
    borders->DrawBorders(&surface, TRect(0, 0, 100, 20));
    const std::vector<TRect> expected { TRect(0, 0, 3, 20), TRect(0, 0, 100, 3), TRect(97, 0, 100, 20),
        TRect(0, 17, 100, 20) };
    EXPECT_EQ(RecordedRects(surface), expected);
    for (int i = 0; i < surface.ObjectCount(); ++i) {
        const auto* rect = dynamic_cast<const TRLRectangleObject*>(surface.Objects(i));
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->Pen.Color, ToMetaColor(clBlue));
        EXPECT_EQ(rect->Pen.Width, 1);
        EXPECT_EQ(rect->Pen.Style, MetaPenStyleSolid);
        EXPECT_EQ(rect->Brush.Color, ToMetaColor(clBlue));
        EXPECT_EQ(rect->Brush.Style, MetaBrushStyleSolid);
    }
}

TEST(RLBorders, PrintQualityDecidesWhichSidesDraw)
{
    struct Case
    {
        const char* name;
        bool insideReport;
        TRLPrintQuality quality;
        std::vector<TRect> expected;
    };
    const TRect rect(0, 0, 50, 10);
    const std::vector<Case> cases {
        { "full feature draws every side", true, pqFullFeature,
            { TRect(0, 0, 1, 10), TRect(0, 0, 50, 1), TRect(49, 0, 50, 10), TRect(0, 9, 50, 10) } },
        { "fixed only draws the fixed sides", true, pqFixedOnly,
            { TRect(0, 0, 50, 1), TRect(0, 9, 50, 10) } },
        { "outside a report only fixed sides", false, pqFullFeature,
            { TRect(0, 0, 50, 1), TRect(0, 9, 50, 10) } },
    };
    for (const Case& c : cases) {
        Tree tree;
        tree.report->SetPrintQuality(c.quality);
        if (!c.insideReport)
            tree.band->SetParent(nullptr);
        TRLBorders* borders = tree.control->Borders();
        borders->SetSides(sdAll);
        borders->SetFixedTop(true);
        borders->SetFixedBottom(true);
        TRLGraphicSurface surface;
        borders->DrawBorders(&surface, rect);
        EXPECT_EQ(RecordedRects(surface), c.expected) << c.name;
    }
}

TEST(RLBorders, DrawFlagsStoredOnlyForCustomSides)
{
    Tree tree;
    TRLBorders* borders = tree.control->Borders();
    const QMetaObject* meta = borders->metaObject();
    const QMetaProperty drawTop = meta->property(meta->indexOfProperty("DrawTop"));
    const QMetaProperty width = meta->property(meta->indexOfProperty("Width"));
    borders->SetSides(sdAll);
    EXPECT_FALSE(borders->IsPropertyStored(drawTop));
    borders->SetDrawLeft(false);
    EXPECT_TRUE(borders->IsPropertyStored(drawTop));
    EXPECT_FALSE(borders->IsPropertyStored(width));
    borders->SetWidth(2);
    EXPECT_TRUE(borders->IsPropertyStored(width));
}

// --- margins -----------------------------------------------------------------------------------

TEST(RLMargins, ReportDefaultsToTenMillimetres)
{
    Tree tree;
    TRLMargins* margins = tree.report->Margins();
    EXPECT_DOUBLE_EQ(margins->LeftMargin(), 10.0);
    EXPECT_EQ(margins->LeftPixels(), 38);
    EXPECT_EQ(margins->TopPixels(), 38);
    EXPECT_EQ(margins->RightPixels(), 38);
    EXPECT_EQ(margins->BottomPixels(), 38);
    EXPECT_TRUE(margins->CustomProperties().isEmpty());
    EXPECT_DOUBLE_EQ(tree.band->Margins()->LeftMargin(), 0.0);
    EXPECT_TRUE(tree.band->Margins()->CustomProperties().isEmpty());
    EXPECT_TRUE(tree.band->InsideMargins()->CustomProperties().isEmpty());
}

TEST(RLMargins, OnlyMarginsThatDifferAreStored)
{
    Tree tree;
    TRLMargins* margins = tree.report->Margins();
    margins->SetTopMargin(15.5);
    margins->SetBottomMargin(0);
    const QVariantMap stored = margins->CustomProperties();
    EXPECT_EQ(stored.size(), 2);
    EXPECT_DOUBLE_EQ(stored.value("TopMargin").toDouble(), 15.5);
    EXPECT_DOUBLE_EQ(stored.value("BottomMargin").toDouble(), 0.0);

    TRLCustomReport other;
    for (auto it = stored.begin(); it != stored.end(); ++it)
        EXPECT_TRUE(other.Margins()->ReadCustomProperty(it.key(), it.value()));
    EXPECT_DOUBLE_EQ(other.Margins()->TopMargin(), 15.5);
    EXPECT_DOUBLE_EQ(other.Margins()->BottomMargin(), 0.0);
    EXPECT_DOUBLE_EQ(other.Margins()->LeftMargin(), 10.0);
    EXPECT_FALSE(other.Margins()->ReadCustomProperty("Margin", 3.0));
    EXPECT_FALSE(other.Margins()->ReadCustomProperty("LeftMargin", QString("abc")));
    EXPECT_FALSE(other.Margins()->ReadCustomProperty("LeftMargin", std::numeric_limits<double>::infinity()));
    EXPECT_DOUBLE_EQ(other.Margins()->LeftMargin(), 10.0);
}

TEST(RLMargins, AssignCopiesMarginsNotDefaults)
{
    TRLMargins source;
    source.SetDefaults(1, 2, 3, 4);
    source.SetLeftMargin(7);
    TRLMargins target;
    target.Assign(&source);
    EXPECT_DOUBLE_EQ(target.LeftMargin(), 7);
    EXPECT_DOUBLE_EQ(target.BottomMargin(), 4);
    EXPECT_DOUBLE_EQ(target.DefaultLeftMargin(), 0);
    EXPECT_EQ(target.CustomProperties().size(), 4);
}

TEST(RLMargins, ChangeResizesOwnerOnce)
{
    TComponent owner;
    auto* site = new TRLCustomSite(&owner);
    auto* counter = new TCountingControl(&owner);
    TRLMargins margins(counter);
    margins.SetLeftMargin(5);
    margins.SetLeftMargin(5);
    EXPECT_EQ(counter->resizes, 1);
    Q_UNUSED(site);
}

// --- page setup --------------------------------------------------------------------------------

TEST(RLPageSetup, ReportSizeFollowsPaper)
{
    struct Case
    {
        TRLPaperSize paper;
        TRLPageOrientation orientation;
        int width;
        int height;
    };
    const Case cases[] {
        { fpA4, poPortrait, 794, 1123 },
        { fpA4, poLandscape, 1123, 794 },
        { fpLetter, poPortrait, 816, 1056 },
    };
    for (const Case& c : cases) {
        TRLCustomReport report;
        report.PageSetup()->SetPaperSize(c.paper);
        report.PageSetup()->SetOrientation(c.orientation);
        EXPECT_EQ(report.Width(), c.width) << c.paper;
        EXPECT_EQ(report.Height(), c.height) << c.paper;
        // The page size is forced: a resize does not stick.
        report.SetBounds(0, 0, 10, 10);
        EXPECT_EQ(report.Width(), c.width);
    }
}

TEST(RLPageSetup, CustomPaperKeepsSizeAndOnlyThenTakesWidth)
{
    TRLCustomReport report;
    TRLPageSetup* setup = report.PageSetup();
    setup->SetPaperWidth(100); // refused: not a custom paper
    EXPECT_DOUBLE_EQ(setup->PaperWidth(), 210);
    setup->SetPaperSize(fpCustom);
    EXPECT_DOUBLE_EQ(setup->PaperWidth(), 210);
    EXPECT_DOUBLE_EQ(setup->PaperHeight(), 297);
    setup->SetPaperWidth(0);
    setup->SetPaperHeight(-5);
    EXPECT_DOUBLE_EQ(setup->PaperWidth(), 210);
    EXPECT_DOUBLE_EQ(setup->PaperHeight(), 297);
    setup->SetPaperWidth(100);
    EXPECT_DOUBLE_EQ(setup->PaperWidth(), 100);
    EXPECT_EQ(report.Width(), 378);
    const QMetaObject* meta = setup->metaObject();
    const QMetaProperty width = meta->property(meta->indexOfProperty("PaperWidth"));
    EXPECT_TRUE(setup->IsPropertyStored(width));
    setup->SetPaperSize(fpA5);
    EXPECT_FALSE(setup->IsPropertyStored(width));
    EXPECT_DOUBLE_EQ(setup->PaperWidth(), 148);
}

TEST(RLPageSetup, DefaultPaperKeepsReportSize)
{
    TRLCustomReport report;
    report.PageSetup()->SetPaperSize(PaperSizeDefault);
    EXPECT_EQ(report.Width(), 794);
    report.SetBounds(0, 0, 500, 600);
    EXPECT_EQ(report.Width(), 500);
    EXPECT_EQ(report.Height(), 600);
}

TEST(RLPageSetup, AssignTakesSizeOnlyForCustomPaper)
{
    TRLPageSetup source;
    source.SetPaperSize(fpCustom);
    source.SetPaperWidth(123);
    source.SetOrientation(poLandscape);
    source.SetForceEmulation(true);
    TRLPageSetup target;
    target.Assign(&source);
    EXPECT_EQ(target.PaperSize(), fpCustom);
    EXPECT_DOUBLE_EQ(target.PaperWidth(), 123);
    EXPECT_EQ(target.Orientation(), poLandscape);
    EXPECT_TRUE(target.ForceEmulation());
    EXPECT_DOUBLE_EQ(target.LayoutWidth(), 297);
    EXPECT_DOUBLE_EQ(target.LayoutHeight(), 123);
}

// --- background --------------------------------------------------------------------------------

TEST(RLBackground, EmptyPictureDrawsNothing)
{
    TRLBackground background;
    TRLGraphicSurface surface;
    background.DrawBackground(&surface, TRect(0, 0, 100, 50));
    EXPECT_EQ(surface.ObjectCount(), 0);
}

TEST(RLBackground, CentredPictureKeepsItsSize)
{
    TRLBackground background;
    background.SetAutoSize(false);
    background.SetArrange(baCenter);
    background.SetPicture(Picture(20, 10));
    EXPECT_EQ(background.Width(), 40);
    TRLGraphicSurface surface;
    background.DrawBackground(&surface, TRect(0, 0, 100, 50));
    ASSERT_EQ(surface.ObjectCount(), 1);
    EXPECT_EQ(surface.Objects(0)->Kind(), okImage);
    EXPECT_EQ(surface.Objects(0)->BoundsRect, TRect(30, 5, 50, 15));
    background.SetStretch(true);
    TRLGraphicSurface stretched;
    background.DrawBackground(&stretched, TRect(0, 0, 100, 50));
    EXPECT_EQ(stretched.Objects(0)->BoundsRect, TRect(30, 5, 70, 45));
}

TEST(RLBackground, AlignedDestinations)
{
    struct Case
    {
        TRLControlAlign align;
        TRect stretched;
    };
    // Rectangle (10, 20, 110, 70), background 40 x 30: cx = 40, cy = 30.
    const Case cases[] {
        { faNone, TRect(10, 20, 50, 50) },
        { faLeft, TRect(10, 20, 50, 70) },
        { faTop, TRect(10, 20, 110, 50) },
        { faRightMost, TRect(70, 20, 110, 70) },
        { faBottom, TRect(10, 40, 110, 70) },
        { faClient, TRect(10, 20, 110, 70) },
        { faRightTop, TRect(70, 20, 110, 50) },
        { faLeftBottom, TRect(10, 40, 50, 70) },
        { faRightBottom, TRect(70, 40, 110, 70) },
        { faCenter, TRect(40, 30, 80, 60) },
        { faClientLeft, TRect(10, 30, 50, 60) },
        { faTopOnly, TRect(40, 20, 80, 50) },
        { faCenterRight, TRect(70, 30, 110, 60) },
        { faBottomOnly, TRect(40, 40, 80, 70) },
        { faHeight, TRect(40, 20, 80, 70) },
        { faWidth, TRect(10, 30, 110, 60) },
    };
    for (const Case& c : cases) {
        TRLBackground background;
        background.SetAutoSize(false);
        background.SetPicture(Picture(8, 6));
        background.SetWidth(40);
        background.SetHeight(30);
        background.SetAlign(c.align);
        background.SetStretch(true);
        TRLGraphicSurface surface;
        background.DrawBackground(&surface, TRect(10, 20, 110, 70));
        ASSERT_EQ(surface.ObjectCount(), 1);
        EXPECT_EQ(surface.Objects(0)->BoundsRect, c.stretched) << c.align;
        background.SetStretch(false);
        TRLGraphicSurface own;
        background.DrawBackground(&own, TRect(10, 20, 110, 70));
        const TRect expected = TRect::Bounds(c.stretched.Left, c.stretched.Top, 8, 6);
        EXPECT_EQ(own.Objects(0)->BoundsRect, expected) << c.align;
    }
}

TEST(RLBackground, AutoSizeFitsPicture)
{
    TRLBackground background;
    background.SetPicture(Picture(12, 7));
    EXPECT_EQ(background.Width(), 12);
    EXPECT_EQ(background.Height(), 7);
    background.SetAutoSize(false);
    background.SetWidth(50);
    background.SetAutoSize(true);
    EXPECT_EQ(background.Width(), 12);
}

TEST(RLBackground, TilingIsOneImageOfTheRectangle)
{
    for (TRLImageArrange arrange : { baSidebySide, baDistributed }) {
        TRLBackground background;
        background.SetArrange(arrange);
        background.SetPicture(Picture(10, 10));
        TRLGraphicSurface surface;
        background.DrawBackground(&surface, TRect(5, 5, 65, 45));
        ASSERT_EQ(surface.ObjectCount(), 1);
        const auto* image = dynamic_cast<const TRLImageObject*>(surface.Objects(0));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->BoundsRect, TRect(5, 5, 65, 45));
        EXPECT_TRUE(image->Data.startsWith("BMP"));
    }
}

TEST(RLBackground, DistributedRowsShiftByHalfATile)
{
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (int y = 0; y < 10; ++y)
        image.setPixel(0, y, qRgb(255, 0, 0)); // a red first column marks where a tile starts
    TRLBackground background;
    background.SetArrange(baDistributed);
    background.SetPicture(TGraphic(image, gkBitmap));
    TRLGraphicSurface surface;
    background.DrawBackground(&surface, TRect(0, 0, 40, 20));
    const auto* object = dynamic_cast<const TRLImageObject*>(surface.Objects(0));
    ASSERT_NE(object, nullptr);
    const std::unique_ptr<TGraphic> tiled = TGraphic::LoadFromBytes(object->Data.mid(3));
    const QImage result = tiled->Image();
    EXPECT_EQ(qRed(result.pixel(10, 2)), 255); // first row: tiles at 0, 10, 20...
    EXPECT_EQ(qRed(result.pixel(15, 2)), 0);
    EXPECT_EQ(qRed(result.pixel(15, 12)), 255); // second row shifted left by 5: tiles at -5, 5, 15...
    EXPECT_EQ(qRed(result.pixel(10, 12)), 0);
}

TEST(RLBackground, HugeTiledRectangleIsRefused)
{
    TRLBackground background;
    background.SetArrange(baSidebySide);
    background.SetPicture(Picture(4, 4));
    TRLGraphicSurface surface;
    background.DrawBackground(&surface, TRect(0, 0, 100000, 100000));
    EXPECT_EQ(surface.ObjectCount(), 0);
}

// --- degrade -----------------------------------------------------------------------------------

TEST(RLDegradeEffect, ThreeBandsOverTenPixels)
{
    Tree tree;
    tree.band->SetColor(clBlack);
    TRLDegradeEffect* degrade = tree.band->Degrade();
    degrade->SetOppositeColor(clWhite);
    degrade->SetDirection(ddHorizontal);
    degrade->SetGranularity(4);
    TRLGraphicSurface surface;
    degrade->DrawDegrade(&surface, TRect(0, 0, 10, 5));
    ASSERT_EQ(surface.ObjectCount(), 3);
    const TRect rects[] { TRect(0, 0, 4, 5), TRect(4, 0, 8, 5), TRect(8, 0, 10, 5) };
    const int levels[] { 0, 85, 170 };
    for (int i = 0; i < 3; ++i) {
        const auto* fill = dynamic_cast<const TRLFillRectObject*>(surface.Objects(i));
        ASSERT_NE(fill, nullptr);
        EXPECT_EQ(fill->BoundsRect, rects[i]);
        EXPECT_EQ(
            fill->Brush.Color, (TRLMetaColor { uint8_t(levels[i]), uint8_t(levels[i]), uint8_t(levels[i]) }));
    }
}

TEST(RLDegradeEffect, VerticalUsesHeightAndRoundsEachChannel)
{
    TRLDegradeEffect degrade;
    degrade.SetDirection(ddVertical);
    degrade.SetGranularity(3);
    degrade.SetOppositeColor(RGBToColor(200, 100, 1));
    TRLGraphicSurface surface;
    degrade.DrawDegrade(&surface, TRect(2, 10, 30, 18), RGBToColor(0, 50, 255));
    ASSERT_EQ(surface.ObjectCount(), 3);
    EXPECT_EQ(surface.Objects(2)->BoundsRect, TRect(2, 16, 30, 18));
    const auto* second = dynamic_cast<const TRLFillRectObject*>(surface.Objects(1));
    // x = 1/3: 0 + 67 - 0, 50 + 33 - 17, 255 + 0 - 85.
    EXPECT_EQ(second->Brush.Color, (TRLMetaColor { 67, 66, 170 }));
}

TEST(RLDegradeEffect, NothingForEmptyRectangleAndGranularityBelowOneIgnored)
{
    TRLDegradeEffect degrade;
    degrade.SetDirection(ddHorizontal);
    degrade.SetGranularity(0);
    EXPECT_EQ(degrade.Granularity(), 1);
    TRLGraphicSurface surface;
    degrade.DrawDegrade(&surface, TRect(10, 0, 10, 10), clBlack);
    EXPECT_EQ(surface.ObjectCount(), 0);
}

// --- sorted bands ------------------------------------------------------------------------------

TEST(RLSortedBands, ListsByTypeOrderedByTopKeepingInsertionOrder)
{
    TComponent owner;
    auto makeBand = [&owner](TRLBandType type, int top) {
        auto* band = new TRLCustomBand(&owner);
        band->SetBandType(type);
        band->SetBounds(0, top, 100, 10);
        return band;
    };
    TRLCustomBand* a = makeBand(btDetail, 50);
    TRLCustomBand* b = makeBand(btDetail, 20);
    TRLCustomBand* c = makeBand(btDetail, 50);
    TRLCustomBand* h = makeBand(btHeader, 0);
    TRLSortedBands sorted;
    for (TControl* band : { static_cast<TControl*>(a), static_cast<TControl*>(b), static_cast<TControl*>(c),
             static_cast<TControl*>(h) })
        sorted.Add(band);
    sorted.Add(new TRLCustomControl(&owner)); // not a band
    EXPECT_EQ(sorted.Bands(btDetail), (QList<TRLCustomBand*> { b, a, c }));
    EXPECT_EQ(sorted.Bands(btHeader), (QList<TRLCustomBand*> { h }));
    EXPECT_TRUE(sorted.Bands(btFooter).isEmpty());

    sorted.SetPrinted(btTitle, true);
    sorted.SetPrinted(btHeader, true);
    sorted.ResetPrintedExceptTitle();
    EXPECT_TRUE(sorted.Printed(btTitle));
    EXPECT_FALSE(sorted.Printed(btHeader));
    sorted.ResetPrinted();
    EXPECT_FALSE(sorted.Printed(btTitle));
    sorted.Clear();
    EXPECT_TRUE(sorted.Bands(btDetail).isEmpty());
}

// --- coordinate helpers ------------------------------------------------------------------------

TEST(RLCoordinates, AbsolutePositionsAndParentSpace)
{
    Tree tree;
    tree.control->SetBounds(5, 7, 10, 10);
    EXPECT_EQ(AbsoluteLeft(tree.control), 38 + 5);
    EXPECT_EQ(AbsoluteTop(tree.control), 38 + 7);
    EXPECT_EQ(ToParentX(tree.control, 100), 100 - 38);
    EXPECT_EQ(ToParentY(tree.control, 100), 100 - 38);
    EXPECT_EQ(ToParentPoint(tree.control, TPoint(50, 60)), TPoint(12, 22));
    EXPECT_EQ(ParentReport(tree.control), tree.report);
    EXPECT_EQ(ParentReport(tree.report), tree.report);
    EXPECT_TRUE(IsStaticControl(tree.control));
    EXPECT_FALSE(IsStaticControl(tree.band));
}

TEST(RLCoordinates, PlatformAlignmentsAndAnchorsMap)
{
    struct Case
    {
        TAlign platform;
        TRLControlAlign engine;
    };
    const Case cases[] { { alNone, faNone }, { alTop, faTop }, { alBottom, faBottom }, { alLeft, faLeft },
        { alRight, faRight }, { alClient, faClient }, { alCustom, faNone } };
    for (const Case& c : cases) {
        TControl control;
        control.TControl::SetAlign(c.platform);
        EXPECT_EQ(ChildAlign(&control), c.engine) << c.platform;
    }
    TControl control;
    control.TControl::SetAnchors(TAnchors(akRight | akBottom));
    EXPECT_EQ(ChildAnchors(&control), TRLControlAnchors(fkRight | fkBottom));
    TRLCustomControl engine;
    engine.SetAlign(faCenterTop);
    EXPECT_EQ(ChildAlign(&engine), faCenterTop);
}

TEST(RLTypes, EnumerationsReadByName)
{
    const QMetaEnum align = QMetaEnum::fromType<TRLControlAlign>();
    EXPECT_EQ(align.keyCount(), 27);
    EXPECT_EQ(align.keyToValue("faBottomOnly"), faBottomOnly);
    EXPECT_EQ(QMetaEnum::fromType<TRLBandType>().keyToValue("btDetail"), 3);
    EXPECT_STREQ(QMetaEnum::fromType<TRLControlAnchors>().valueToKeys(fkLeft | fkBottom).constData(),
        "fkLeft|fkBottom");
    TRLCustomControl control;
    EXPECT_TRUE(control.setProperty("Align", QVariant::fromValue(faClientTop)));
    EXPECT_EQ(control.Align(), faClientTop);
}
