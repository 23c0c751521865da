// The control base: lookups and their strict forms, names, colour and transparency, holders, the
// bounds setter, site growth and the print decision.
#include "engine/RLConsts.h"
#include "engine/RLReport.h"
#include "pagestore/RLMetaFile.h"

#include <gtest/gtest.h>

namespace {

struct Tree
{
    TComponent owner;
    TRLCustomReport* report = new TRLCustomReport(&owner);
    TRLCustomBand* band = new TRLCustomBand(&owner);
    Tree()
    {
        report->SetName("RLReport1");
        band->SetName("RLBand1");
        band->SetParent(report);
        band->SetBounds(38, 38, 718, 40);
    }
    TRLCustomControl* Control(const QString& name, TControl* parent, QRect bounds = QRect(10, 5, 50, 20))
    {
        auto* control = new TRLCustomControl(&owner);
        control->SetName(name);
        control->SetParent(parent);
        control->SetBoundsRect(bounds);
        return control;
    }
};

QString NotFound(const QString& rest)
{
    return RLMessage(RLMsgNotFound) + QStringLiteral(": ") + rest;
}

} // namespace

TEST(RLControlLookups, StrictFormsNameTheMissingPart)
{
    TComponent owner;
    auto* label = new TRLLabel(&owner);
    label->SetName("RLLabel1");
    struct Case
    {
        std::function<void()> call;
        QString message;
    };
    const Case cases[] {
        { [label] { label->RequireParentPager(); }, NotFound("RLLabel1.ParentPager") },
        { [label] { label->RequireParentSkipper(); }, NotFound("RLLabel1.ParentSkipper") },
        { [label] { label->RequireParentReport(); }, NotFound("RLLabel1.ParentReport") },
        { [label] { label->RequireParentSurface(); }, NotFound("RLLabel1.ParentSurface") },
        { [label] { label->PrintControl(); }, NotFound("RLLabel1.ParentSurface") },
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << "no exception for " << c.message.toStdString();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
    if (RLActiveLanguage() == lgPortuguese) {
        EXPECT_EQ(NotFound("RLLabel1.ParentPager"), QStringLiteral("Não encontrado: RLLabel1.ParentPager"));
    }
}

TEST(RLControlLookups, NearestContainers)
{
    TComponent owner;
    auto* master = new TRLCustomReport(&owner);
    auto* report = new TRLCustomReport(&owner);
    report->SetPriorReport(master);
    auto* group = new TRLCustomGroup(&owner);
    group->SetParent(report);
    auto* band = new TRLCustomBand(&owner);
    band->SetParent(group);
    auto* control = new TRLCustomControl(&owner);
    control->SetParent(band);

    EXPECT_EQ(control->ParentSite(), band);
    EXPECT_EQ(control->ParentBand(), band);
    EXPECT_EQ(control->ParentGroup(), group);
    EXPECT_EQ(control->ParentPager(), group);
    EXPECT_EQ(control->ParentSkipper(), report);
    EXPECT_EQ(control->ParentReport(), report);
    EXPECT_EQ(control->MasterReport(), master);
    EXPECT_EQ(control->ParentSurface(), band->Surface());
    EXPECT_EQ(report->ParentSkipper(), report); // itself included
    EXPECT_EQ(report->ParentReport(), report);

    // A pager between the control and the group hides the group.
    auto* pager = new TRLCustomPager(&owner);
    pager->SetParent(group);
    band->SetParent(pager);
    EXPECT_EQ(control->ParentGroup(), nullptr);
    EXPECT_EQ(control->ParentPager(), pager);

    // A loop of prior reports ends instead of spinning.
    master->SetPriorReport(report);
    EXPECT_NE(control->MasterReport(), nullptr);
}

TEST(RLControlLookups, PreparingFollowsReportState)
{
    const std::pair<TRLReportState, bool> cases[] { { rsIdle, false }, { rsWriting, true },
        { rsClosing, true }, { rsReady, false } };
    Tree tree;
    TRLCustomControl* control = tree.Control("RLControl1", tree.band);
    for (const auto& [state, preparing] : cases) {
        tree.report->SetState(state);
        EXPECT_EQ(control->IsPreparing(), preparing) << state;
    }
    control->SetParent(nullptr);
    EXPECT_FALSE(control->IsPreparing());
}

TEST(RLControlNames, FriendlyNameRules)
{
    Tree tree;
    TRLCustomControl* a = tree.Control("RLLabel1", tree.band);
    TRLCustomControl* b = tree.Control("RLLabel2", tree.band);
    a->SetFriendlyName("Total");
    EXPECT_EQ(a->FriendlyName(), "Total");
    try {
        b->SetFriendlyName("TOTAL");
        ADD_FAILURE() << "duplicate accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), RLMessage(RLMsgNameAlreadyInUse) + " \"TOTAL\"");
    }
    EXPECT_TRUE(b->FriendlyName().isEmpty());
    for (const char* bad : { "1abc", "a b", "x-y", "é" }) {
        try {
            b->SetFriendlyName(bad);
            ADD_FAILURE() << "invalid accepted: " << bad;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), RLMessage(RLMsgInvalidName) + " \"" + QString::fromUtf8(bad) + "\"");
        }
    }
    b->BeginLoad();
    b->SetFriendlyName("9lives"); // dropped silently while loading
    b->EndLoad();
    EXPECT_TRUE(b->FriendlyName().isEmpty());
    a->SetFriendlyName("RLLabel1"); // the component name clears it
    EXPECT_TRUE(a->FriendlyName().isEmpty());
    b->SetFriendlyName("Total"); // free again
    EXPECT_EQ(b->FriendlyName(), "Total");
}

TEST(RLControlColors, TransparentAndColorInterplay)
{
    Tree tree;
    tree.band->SetColor(clSilver);
    TRLCustomControl* control = tree.Control("RLControl1", tree.band);
    EXPECT_TRUE(control->Transparent());
    EXPECT_EQ(control->Color(), clSilver); // follows the band
    tree.band->SetColor(clYellow); // following the parent keeps it transparent
    EXPECT_TRUE(control->Transparent());
    control->SetColor(clWhite);
    EXPECT_TRUE(control->Transparent());
    control->SetColor(clRed);
    EXPECT_FALSE(control->Transparent());
    control->SetTransparent(true);
    EXPECT_TRUE(control->ParentColor());
    EXPECT_EQ(control->Color(), clYellow);
    control->BeginLoad();
    control->SetColor(clBlue); // reading a definition does not touch Transparent
    control->EndLoad();
    EXPECT_TRUE(control->Transparent());

    tree.report->SetTransparent(false);
    tree.report->SetColor(clAqua);
    tree.report->SetTransparent(true);
    EXPECT_EQ(tree.report->Color(), clWhite);
}

TEST(RLControlAlignment, AlignAndAnchorsExcludeEachOther)
{
    Tree tree;
    TRLCustomControl* control = tree.Control("RLControl1", tree.band);
    control->SetAnchors(TRLControlAnchors(fkLeft | fkTop));
    control->SetAlign(faTop);
    EXPECT_EQ(control->Anchors(), TRLControlAnchors());
    control->SetAnchors(TRLControlAnchors(fkRight));
    EXPECT_EQ(control->Align(), faNone);
    EXPECT_EQ(control->Anchors(), TRLControlAnchors(fkRight));
}

TEST(RLControlBounds, ConstraintsFixedSizeAndDesignBounds)
{
    Tree tree;
    TRLCustomControl* control = tree.Control("RLControl1", tree.band);
    control->Constraints()->SetMinWidth(30);
    control->Constraints()->SetMaxHeight(15);
    control->SetBounds(1, 2, 10, 40);
    EXPECT_EQ(control->BoundsRect(), QRect(1, 2, 30, 15));
    control->SaveDesignBounds();
    control->SetBounds(5, 6, 70, 8);
    EXPECT_EQ(control->BoundsRect(), QRect(5, 6, 70, 8));
    control->RestoreDesignBounds();
    EXPECT_EQ(control->BoundsRect(), QRect(1, 2, 30, 15));
    control->SetFixedSize(true, 44, 11);
    control->SetBounds(0, 0, 100, 100);
    EXPECT_EQ(control->BoundsRect(), QRect(0, 0, 44, 11));
}

TEST(RLControlBounds, PrintBoundsAndClientRectInSiteCoordinates)
{
    Tree tree;
    TControl panel; // a non-site parent between the control and its band
    panel.SetParent(tree.band);
    panel.SetBounds(100, 3, 200, 30);
    TRLCustomControl* control = tree.Control("RLControl1", &panel, QRect(10, 5, 50, 20));
    EXPECT_EQ(control->PrintBounds(), TRect(110, 8, 160, 28));
    control->Borders()->SetDrawLeft(true);
    control->Borders()->SetDrawBottom(true);
    control->Borders()->SetWidth(2);
    EXPECT_EQ(control->PrintClientRect(), TRect(112, 8, 160, 26));
    EXPECT_EQ(control->DesignClientRect(), TRect(3, 0, 50, 17));
    control->SetClientBounds(TRect(20, 20, 40, 30));
    EXPECT_EQ(control->BoundsRect(), QRect(18, 20, 22, 12));
    control->SetParent(nullptr);
}

TEST(RLControlHolders, AsColumnTakesHolderLeftAndWidth)
{
    Tree tree;
    TRLCustomControl* holder = tree.Control("Holder", tree.band, QRect(100, 0, 80, 16));
    TRLCustomControl* held = tree.Control("Held", tree.band, QRect(5, 20, 30, 16));
    held->SetHolder(holder); // hsAsColumn is the default
    EXPECT_EQ(held->BoundsRect(), QRect(100, 20, 80, 16));
    EXPECT_EQ(holder->HeldControls(), (QList<TRLCustomControl*> { held }));
    holder->SetBounds(150, 0, 60, 16);
    EXPECT_EQ(held->BoundsRect(), QRect(150, 20, 60, 16));
    held->SetBounds(0, 24, 10, 16); // whenever its bounds are set
    EXPECT_EQ(held->BoundsRect(), QRect(150, 24, 60, 16));
    held->SetSecondHolder(holder);
    EXPECT_EQ(holder->HeldControls().size(), 1);
    delete holder;
    EXPECT_EQ(held->Holder(), nullptr);
    EXPECT_EQ(held->SecondHolder(), nullptr);
    held->SetBounds(0, 24, 10, 16);
    EXPECT_EQ(held->BoundsRect(), QRect(0, 24, 10, 16));
}

TEST(RLControlHolders, StylesFollowPositionOrSize)
{
    struct Case
    {
        TRLHoldStyle style;
        TRLTextAlignment alignment;
        QRect expected; // after the holder moved to (60, 10) and became 90 x 30
    };
    // Held starts at (20, 40) 30 x 16, holder at (10, 5) 50 x 20: offset (10, 35).
    const Case cases[] {
        { hsHorizontally, taLeftJustify, QRect(70, 40, 30, 16) },
        { hsHorizontally, taRightJustify, QRect(130, 40, 30, 16) },
        { hsVertically, taLeftJustify, QRect(20, 45, 30, 16) },
        { hsRelatively, taCenter, QRect(100, 45, 30, 16) },
        { hsCopyWidth, taLeftJustify, QRect(20, 40, 90, 16) },
        { hsCopyHeight, taLeftJustify, QRect(20, 40, 30, 30) },
        { hsCopySize, taLeftJustify, QRect(20, 40, 90, 30) },
    };
    for (const Case& c : cases) {
        Tree tree;
        TRLCustomControl* holder = tree.Control("Holder", tree.band, QRect(10, 5, 50, 20));
        TRLCustomControl* held = tree.Control("Held", tree.band, QRect(20, 40, 30, 16));
        held->SetAlignment(c.alignment);
        held->SetHoldStyle(c.style);
        held->SetHolder(holder);
        holder->SetBounds(60, 10, 90, 30);
        EXPECT_EQ(held->BoundsRect(), c.expected) << c.style << " " << c.alignment;
    }
}

TEST(RLControlHolders, HeldControlLeavesHolderWhenDestroyed)
{
    Tree tree;
    TRLCustomControl* holder = tree.Control("Holder", tree.band);
    TRLCustomControl* held = tree.Control("Held", tree.band);
    held->SetHolder(holder);
    held->SetHolder(held); // a control cannot follow itself
    EXPECT_EQ(held->Holder(), holder);
    delete held;
    EXPECT_TRUE(holder->HeldControls().isEmpty());
    holder->SetBounds(0, 0, 5, 5); // no dangling follower to adjust
}

TEST(RLControlBounds, SiteExpanderGrowsAndShrinksItsBand)
{
    struct Case
    {
        bool expander;
        bool autoExpand;
        int newHeight;
        int bandHeight;
    };
    const Case cases[] {
        { true, true, 30, 50 },
        { true, true, 12, 32 },
        { false, true, 30, 40 },
        { true, false, 30, 40 },
    };
    for (const Case& c : cases) {
        Tree tree;
        tree.band->SetAutoExpand(c.autoExpand);
        TRLCustomControl* control = tree.Control("RLControl1", tree.band, QRect(0, 0, 50, 20));
        if (c.expander)
            control->SetBehavior(beSiteExpander);
        control->SetBounds(0, 0, 50, c.newHeight);
        EXPECT_EQ(tree.band->Height(), c.bandHeight) << c.expander << c.autoExpand << c.newHeight;
        EXPECT_EQ(tree.band->Width(), 718); // bands never grow sideways
    }
}

TEST(RLControlPrinting, InvisibleControlRunsNoHandlerAndRecordsNothing)
{
    Tree tree;
    tree.report->SetState(rsWriting);
    auto* label = new TRLLabel(&tree.owner);
    label->SetParent(tree.band);
    label->SetVisible(false);
    int calls = 0;
    label->BeforePrint = [&calls](TRLCustomControl*, QString&, bool&) { ++calls; };
    label->AfterPrint = [&calls](TRLCustomControl*) { ++calls; };
    tree.report->OnFilterText = [&calls](TRLCustomControl*, QString&, bool&) { ++calls; };
    tree.band->PrepareStaticControls();
    tree.band->PrintStaticControls();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(tree.band->Surface()->ObjectCount(), 0);
}

TEST(RLControlPrinting, RefusedControlSkipsAfterPrint)
{
    Tree tree;
    tree.report->SetState(rsWriting);
    auto* label = new TRLLabel(&tree.owner);
    label->SetParent(tree.band);
    bool after = false;
    label->BeforePrint = [](TRLCustomControl*, QString&, bool& printIt) { printIt = false; };
    label->AfterPrint = [&after](TRLCustomControl*) { after = true; };
    EXPECT_FALSE(label->AskToPrint());
    tree.band->PrintStaticControls();
    EXPECT_FALSE(after);
    EXPECT_EQ(tree.band->Surface()->ObjectCount(), 0);
}

TEST(RLControlPrinting, DecisionOrderAndReportFilter)
{
    Tree tree;
    auto* label = new TRLLabel(&tree.owner);
    label->SetParent(tree.band);
    label->SetCaption("abc");
    tree.report->SetState(rsWriting);
    QStringList log;
    label->BeforePrint = [&log](TRLCustomControl* sender, QString& text, bool&) {
        log << "text:" + text + ":" + sender->Name();
        text = "changed";
    };
    tree.report->OnFilterText = [&log, &tree](TRLCustomControl* sender, QString& text, bool&) {
        log << "filter:" + text + ":" + (sender == tree.report ? "report" : "other");
        text += "!";
    };
    label->SetName("RLLabel1");
    EXPECT_TRUE(label->AskToPrint());
    EXPECT_EQ(log, (QStringList { "text:abc:RLLabel1", "filter:changed:report" }));
    EXPECT_EQ(label->GetCaption(), "changed!");
    EXPECT_EQ(label->AsVariant().toString(), "changed!");
    tree.report->SetState(rsIdle);
    EXPECT_EQ(label->GetCaption(), "abc"); // the design value survived the run
}

TEST(RLControlPrinting, BlankTextsWhileCompletingOrBlankRecord)
{
    Tree tree;
    tree.report->SetState(rsWriting);
    auto* label = new TRLLabel(&tree.owner);
    label->SetParent(tree.band);
    label->SetCaption("x");
    QString seen = "unset";
    label->BeforePrint = [&seen](TRLCustomControl*, QString& text, bool&) { seen = text; };
    tree.report->SetCompleting(true);
    EXPECT_TRUE(label->AskToPrint());
    EXPECT_EQ(seen, "");
    tree.report->SetCompleting(false);
    tree.report->SetRecordAction(raBlankAndRetain);
    seen = "unset";
    label->AskToPrint();
    EXPECT_EQ(seen, "");
    tree.report->SetRecordAction(raUseIt);
    label->SetCaption("x");
    label->AskToPrint();
    EXPECT_EQ(seen, "x");
}

TEST(RLControlPrinting, BaseRecordingSharesOneFreshGroup)
{
    Tree tree;
    TRLCustomControl* control = tree.Control("RLControl1", tree.band, QRect(10, 5, 50, 20));
    control->SetColor(clRed);
    control->Borders()->SetSides(sdAll);
    const int before = NewGroupId();
    control->PrintControl();
    TRLGraphicSurface* surface = tree.band->Surface();
    ASSERT_EQ(surface->ObjectCount(), 5);
    EXPECT_EQ(surface->Objects(0)->Kind(), okFillRect);
    EXPECT_EQ(surface->Objects(0)->BoundsRect, TRect(10, 5, 60, 25));
    EXPECT_EQ(dynamic_cast<TRLFillRectObject*>(surface->Objects(0))->Brush.Color, ToMetaColor(clRed));
    for (int i = 0; i < surface->ObjectCount(); ++i)
        EXPECT_EQ(surface->Objects(i)->GroupId, before + 1);
    control->SetTransparent(true);
    surface->Clear();
    control->PrintControl();
    EXPECT_EQ(surface->ObjectCount(), 4);
    EXPECT_EQ(surface->Objects(0)->Kind(), okRectangle);
}

TEST(RLControlPrinting, MeasureHeightRunsHandlerAndReMeasures)
{
    Tree tree;
    tree.report->SetState(rsWriting);
    auto* label = new TRLLabel(&tree.owner);
    label->SetParent(tree.band);
    label->SetCaption("a rather long caption");
    int measured = 0;
    label->OnMeasureHeight = [&measured](TRLCustomControl*) { ++measured; };
    tree.report->SetCompleting(true); // texts are empty now, so the label shrinks
    const int before = label->Width();
    label->MeasureHeight();
    EXPECT_EQ(measured, 1);
    EXPECT_LT(label->Width(), before);
    label->SetVisible(false);
    label->MeasureHeight();
    EXPECT_EQ(measured, 1);
}
