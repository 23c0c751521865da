#include "platform/Controls.h"
#include "platform/Exceptions.h"

#include <QMetaProperty>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Counts the hooks, and every SetBounds that reaches the override.
class TProbeControl : public TControl
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TProbeControl(TComponent* AOwner = nullptr)
        : TControl(AOwner)
    { }
    int Inserted = 0;
    int Removed = 0;
    int FontChanges = 0;
    int ColorChanges = 0;
    int BoundsCalls = 0;
    int VisibleChanges = 0;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override
    {
        ++BoundsCalls;
        TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    }

protected:
    void ControlInserted(TControl*) override { ++Inserted; }
    void ControlRemoved(TControl*) override { ++Removed; }
    void FontChanged() override { ++FontChanges; }
    void ColorChanged() override { ++ColorChanges; }
    void VisibleChanged() override { ++VisibleChanges; }
};

QMetaProperty Property(const QObject& object, const char* name)
{
    return object.metaObject()->property(object.metaObject()->indexOfProperty(name));
}

TEST(ControlsTest, NewControlHasThePlatformDefaults)
{
    TControl control;
    EXPECT_EQ(control.Parent(), nullptr);
    EXPECT_TRUE(control.Visible());
    EXPECT_TRUE(control.Enabled());
    EXPECT_TRUE(control.ParentFont());
    EXPECT_TRUE(control.ParentColor());
    EXPECT_EQ(control.Color(), clWindow);
    EXPECT_EQ(control.Align(), alNone);
    EXPECT_EQ(control.Anchors(), TAnchors(akLeft | akTop));
    EXPECT_EQ(control.BoundsRect(), QRect(0, 0, 0, 0));
    EXPECT_EQ(control.Constraints()->MaxWidth(), 0);
    EXPECT_EQ(control.Font()->Name(), "MS Sans Serif");
}

TEST(ControlsTest, ChildrenKeepTheirOrderAndMoveBetweenParents)
{
    TProbeControl first, second;
    TControl a, b, c;
    a.SetParent(&first);
    b.SetParent(&first);
    c.SetParent(&first);
    ASSERT_EQ(first.ControlCount(), 3);
    EXPECT_EQ(first.Controls(0), &a);
    EXPECT_EQ(first.Controls(2), &c);
    EXPECT_EQ(first.Inserted, 3);

    b.SetParent(&second);
    EXPECT_EQ(first.ControlCount(), 2);
    EXPECT_EQ(first.Controls(1), &c);
    EXPECT_EQ(first.Removed, 1);
    EXPECT_EQ(second.Inserted, 1);
    EXPECT_EQ(b.Parent(), &second);
    b.SetParent(&second); // same parent: nothing happens
    EXPECT_EQ(second.Inserted, 1);
    b.SetParent(nullptr);
    EXPECT_EQ(second.ControlCount(), 0);
    EXPECT_EQ(second.Removed, 1);
}

TEST(ControlsTest, ParentCyclesAreRefused)
{
    TControl root, child, grandchild;
    child.SetParent(&root);
    grandchild.SetParent(&child);
    EXPECT_THROW(root.SetParent(&root), Exception);
    EXPECT_THROW(root.SetParent(&grandchild), Exception);
    EXPECT_EQ(root.Parent(), nullptr);
    EXPECT_TRUE(root.ContainsControl(&grandchild));
    EXPECT_FALSE(grandchild.ContainsControl(&root));
}

TEST(ControlsTest, DestructionLeavesNoDanglingParentOrChild)
{
    // A child destroyed first leaves its parent's list.
    TProbeControl parent;
    auto* child = new TControl();
    child->SetParent(&parent);
    delete child;
    EXPECT_EQ(parent.ControlCount(), 0);
    EXPECT_EQ(parent.Removed, 1);

    // A parent destroyed first detaches its children, which live on.
    auto* parent2 = new TControl();
    TControl orphan;
    orphan.SetParent(parent2);
    delete parent2;
    EXPECT_EQ(orphan.Parent(), nullptr);
    TControl next;
    orphan.SetParent(&next); // must not touch the dead parent
    EXPECT_EQ(next.ControlCount(), 1);

    // One owner for a whole tree: the owner frees everything, in any order.
    auto* owner = new TComponent();
    auto* band = new TControl(owner);
    auto* label = new TControl(owner);
    auto* inner = new TControl(owner);
    label->SetParent(band);
    inner->SetParent(label);
    delete owner;
    SUCCEED();
}

struct TAlignCase
{
    TAlign Align;
    QSize Size;
    QRect Expected;
};

// A 200 x 100 parent: top strips take the full width at the top, bottom strips at the bottom, then
// left and right columns share the height in between, and the client child takes what is left.
TEST(ControlsTest, AlignedChildrenFillTheirStripsInThePlatformOrder)
{
    const std::vector<TAlignCase> cases = {
        { alClient, { 5, 5 }, { 40, 20, 110, 70 } },
        { alRight, { 50, 5 }, { 150, 20, 50, 70 } },
        { alLeft, { 40, 5 }, { 0, 20, 40, 70 } },
        { alBottom, { 5, 10 }, { 0, 90, 200, 10 } },
        { alTop, { 5, 20 }, { 0, 0, 200, 20 } },
        { alNone, { 30, 30 }, { 7, 8, 30, 30 } },
    };
    TControl parent;
    parent.SetBounds(0, 0, 200, 100);
    std::vector<std::unique_ptr<TControl>> children;
    for (const TAlignCase& c : cases) {
        auto child = std::make_unique<TControl>();
        child->SetBounds(7, 8, c.Size.width(), c.Size.height());
        child->SetAlign(c.Align);
        child->SetParent(&parent);
        children.push_back(std::move(child));
    }
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(children[i]->BoundsRect(), cases[i].Expected) << "align " << cases[i].Align;

    // The parent grows: the strips follow.
    parent.SetBounds(0, 0, 300, 150);
    EXPECT_EQ(children[0]->BoundsRect(), QRect(40, 20, 210, 120));
    EXPECT_EQ(children[1]->BoundsRect(), QRect(250, 20, 50, 120));
    EXPECT_EQ(children[3]->BoundsRect(), QRect(0, 140, 300, 10));

    // A hidden strip gives its room to the others.
    children[4]->SetVisible(false);
    EXPECT_EQ(children[0]->BoundsRect(), QRect(40, 0, 210, 140));
}

TEST(ControlsTest, StripsOfOneSideStackInTheOrderOfTheirEdges)
{
    TControl parent;
    parent.SetBounds(0, 0, 100, 100);
    TControl lower, upper, bottomInner, bottomOuter;
    lower.SetBounds(0, 50, 10, 10);
    upper.SetBounds(0, 5, 10, 20);
    bottomInner.SetBounds(0, 60, 10, 7);
    bottomOuter.SetBounds(0, 90, 10, 9);
    parent.DisableAlign();
    for (TControl* c : { &lower, &upper }) {
        c->SetAlign(alTop);
        c->SetParent(&parent);
    }
    for (TControl* c : { &bottomInner, &bottomOuter }) {
        c->SetAlign(alBottom);
        c->SetParent(&parent);
    }
    // Nothing moves while alignment is disabled.
    EXPECT_EQ(upper.BoundsRect(), QRect(0, 5, 10, 20));
    parent.EnableAlign();
    EXPECT_EQ(upper.BoundsRect(), QRect(0, 0, 100, 20));
    EXPECT_EQ(lower.BoundsRect(), QRect(0, 20, 100, 10));
    EXPECT_EQ(bottomOuter.BoundsRect(), QRect(0, 91, 100, 9));
    EXPECT_EQ(bottomInner.BoundsRect(), QRect(0, 84, 100, 7));
}

TEST(ControlsTest, AlignmentRespectsConstraintsAndNeverGoesNegative)
{
    TControl parent;
    parent.SetBounds(0, 0, 100, 50);
    TControl top, client;
    top.Constraints()->SetMaxWidth(60);
    top.SetBounds(0, 0, 10, 80); // taller than the parent
    top.SetAlign(alTop);
    top.SetParent(&parent);
    client.SetAlign(alClient);
    client.SetParent(&parent);
    EXPECT_EQ(top.BoundsRect(), QRect(0, 0, 60, 80));
    EXPECT_EQ(client.BoundsRect(), QRect(0, 80, 100, 0));
}

TEST(ControlsTest, AnchoredChildrenFollowTheParentsResize)
{
    const struct
    {
        TAnchors Anchors;
        QRect Expected;
    } cases[] = {
        { TAnchors(akLeft | akTop), { 10, 10, 50, 20 } },
        { TAnchors(akLeft | akRight | akTop), { 10, 10, 150, 20 } },
        { TAnchors(akRight | akTop), { 110, 10, 50, 20 } },
        { TAnchors(akTop), { 60, 10, 50, 20 } }, // keeps its centre
        { TAnchors(akLeft | akTop | akBottom), { 10, 10, 50, 70 } },
        { TAnchors(akLeft | akBottom), { 10, 60, 50, 20 } },
    };
    for (const auto& c : cases) {
        TControl parent;
        parent.SetBounds(0, 0, 200, 100);
        TControl child;
        child.SetBounds(10, 10, 50, 20);
        child.SetAnchors(c.Anchors);
        child.SetParent(&parent);
        parent.SetBounds(0, 0, 300, 150);
        EXPECT_EQ(child.BoundsRect(), c.Expected) << c.Anchors.toInt();
    }
}

TEST(ControlsTest, SizesAreClampedToTheConstraints)
{
    const struct
    {
        int MinWidth, MaxWidth, MinHeight, MaxHeight;
        QSize Requested;
        QSize Result;
    } cases[] = {
        { 0, 0, 0, 0, { 20, 30 }, { 20, 30 } }, { 50, 0, 0, 0, { 20, 30 }, { 50, 30 } },
        { 0, 100, 0, 0, { 150, 30 }, { 100, 30 } }, { 0, 0, 40, 60, { 20, 30 }, { 20, 40 } },
        { 0, 0, 40, 60, { 20, 70 }, { 20, 60 } }, { 10, 100, 10, 100, { 50, 50 }, { 50, 50 } },
        { 0, 0, 0, 0, { -5, -1 }, { 0, 0 } }, // no negative sizes
    };
    for (const auto& c : cases) {
        TControl control;
        control.Constraints()->SetMinWidth(c.MinWidth);
        control.Constraints()->SetMaxWidth(c.MaxWidth);
        control.Constraints()->SetMinHeight(c.MinHeight);
        control.Constraints()->SetMaxHeight(c.MaxHeight);
        control.SetBounds(3, 4, c.Requested.width(), c.Requested.height());
        EXPECT_EQ(control.BoundsRect(), QRect(QPoint(3, 4), c.Result))
            << c.Requested.width() << "x" << c.Requested.height();
    }

    // New constraints apply to the current size at once.
    TControl control;
    control.SetBounds(0, 0, 200, 10);
    control.Constraints()->SetMaxWidth(120);
    EXPECT_EQ(control.Width(), 120);
    control.Constraints()->SetMinHeight(25);
    EXPECT_EQ(control.Height(), 25);

    // A minimum above the maximum lifts the maximum; a maximum below the minimum lowers it.
    TSizeConstraints constraints;
    constraints.SetMaxWidth(100);
    constraints.SetMinWidth(120);
    EXPECT_EQ(constraints.MaxWidth(), 120);
    constraints.SetMaxWidth(80);
    EXPECT_EQ(constraints.MinWidth(), 80);
    constraints.SetMinHeight(-3);
    EXPECT_EQ(constraints.MinHeight(), 0);
}

TEST(ControlsTest, BoundsPropertiesGoThroughSetBounds)
{
    TProbeControl control;
    control.SetLeft(1);
    control.SetTop(2);
    control.SetWidth(3);
    control.SetHeight(4);
    EXPECT_TRUE(Property(control, "Width").write(&control, 30));
    EXPECT_EQ(control.BoundsCalls, 5);
    EXPECT_EQ(control.BoundsRect(), QRect(1, 2, 30, 4));
    EXPECT_EQ(control.ClientRect(), QRect(0, 0, 30, 4));
    EXPECT_EQ(control.ClientWidth(), 30);
}

TEST(ControlsTest, ParentFontFlowsDownUntilAControlChangesItsOwn)
{
    TProbeControl root, child, grandchild;
    child.SetParent(&root);
    grandchild.SetParent(&child);
    root.Font()->SetName("Arial");
    root.Font()->SetSize(10);
    EXPECT_EQ(child.Font()->Name(), "Arial");
    EXPECT_EQ(grandchild.Font()->Size(), 10);
    EXPECT_TRUE(child.ParentFont());
    EXPECT_TRUE(grandchild.ParentFont());
    EXPECT_EQ(grandchild.FontChanges, 2);

    // The child's own change breaks its inheritance, and its children follow the child.
    child.Font()->SetStyle(fsBold);
    EXPECT_FALSE(child.ParentFont());
    EXPECT_TRUE(grandchild.ParentFont());
    EXPECT_EQ(grandchild.Font()->Style(), fsBold);
    root.Font()->SetColor(clRed);
    EXPECT_EQ(child.Font()->Color(), clWindowText);
    EXPECT_EQ(grandchild.Font()->Color(), clWindowText);

    // Turning inheritance back on copies the parent's font again, down the tree.
    child.SetParentFont(true);
    EXPECT_EQ(child.Font()->Color(), clRed);
    EXPECT_EQ(child.Font()->Style(), 0);
    EXPECT_EQ(grandchild.Font()->Color(), clRed);

    // Getting a parent copies its font.
    TControl other, newcomer;
    other.Font()->SetName("Courier New");
    newcomer.SetParent(&other);
    EXPECT_EQ(newcomer.Font()->Name(), "Courier New");
    EXPECT_TRUE(newcomer.ParentFont());

    // Assigning a font through the property is an own change too.
    TFont given;
    given.SetName("Times New Roman");
    newcomer.SetFont(&given);
    EXPECT_EQ(newcomer.Font()->Name(), "Times New Roman");
    EXPECT_FALSE(newcomer.ParentFont());
}

TEST(ControlsTest, ParentColorFlowsDownUntilAControlSetsItsOwn)
{
    TProbeControl root, child, grandchild;
    child.SetParent(&root);
    grandchild.SetParent(&child);
    root.SetColor(clYellow);
    EXPECT_FALSE(root.ParentColor());
    EXPECT_EQ(child.Color(), clYellow);
    EXPECT_EQ(grandchild.Color(), clYellow);
    EXPECT_EQ(grandchild.ColorChanges, 1);

    child.SetColor(clYellow); // same value: inheritance stays
    EXPECT_TRUE(child.ParentColor());
    child.SetColor(clAqua);
    EXPECT_FALSE(child.ParentColor());
    EXPECT_EQ(grandchild.Color(), clAqua);
    root.SetColor(clWhite);
    EXPECT_EQ(child.Color(), clAqua);

    child.SetParentColor(true);
    EXPECT_EQ(child.Color(), clWhite);
    EXPECT_EQ(grandchild.Color(), clWhite);
}

TEST(ControlsTest, VisibilityAndEnabledAnnounceRealChanges)
{
    TProbeControl control;
    control.SetVisible(true);
    EXPECT_EQ(control.VisibleChanges, 0);
    control.SetVisible(false);
    EXPECT_EQ(control.VisibleChanges, 1);
    control.SetEnabled(false);
    EXPECT_FALSE(control.Enabled());
}

TEST(ControlsTest, PublishedPropertiesAndWhatIsStored)
{
    TControl parent, control;
    control.SetParent(&parent);
    EXPECT_TRUE(Property(control, "Align").write(&control, QStringLiteral("alClient")));
    EXPECT_EQ(control.Align(), alClient);
    EXPECT_TRUE(Property(control, "Anchors").isFlagType());
    EXPECT_TRUE(Property(control, "Anchors").write(&control, QStringLiteral("akLeft|akBottom")));
    EXPECT_EQ(control.Anchors(), TAnchors(akLeft | akBottom));

    EXPECT_TRUE(control.IsPropertyStored(Property(control, "Left"))); // bounds always
    EXPECT_FALSE(control.IsPropertyStored(Property(control, "Font")));
    EXPECT_FALSE(control.IsPropertyStored(Property(control, "Color")));
    EXPECT_FALSE(control.IsPropertyStored(Property(control, "Visible")));
    EXPECT_TRUE(control.IsPropertyStored(Property(control, "Anchors"))); // changed above
    control.SetAnchors(TAnchors(akLeft | akTop));
    EXPECT_FALSE(control.IsPropertyStored(Property(control, "Anchors")));
    EXPECT_TRUE(control.IsPropertyStored(Property(control, "Align")));
    control.Font()->SetSize(12);
    control.SetColor(clRed);
    control.SetVisible(false);
    EXPECT_TRUE(control.IsPropertyStored(Property(control, "Font")));
    EXPECT_TRUE(control.IsPropertyStored(Property(control, "Color")));
    EXPECT_TRUE(control.IsPropertyStored(Property(control, "ParentFont")));
    EXPECT_TRUE(control.IsPropertyStored(Property(control, "Visible")));
}

} // namespace

#include "ControlsTest.moc"
