#include "platform/Component.h"

#include <gtest/gtest.h>

namespace {

class TProbe : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
public:
    Q_INVOKABLE explicit TProbe(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
    { }
    int Width() const { return FWidth; }
    void SetWidth(int w) { FWidth = w; }
    QList<TComponent*> Removed;

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        if (operation == opRemove)
            Removed.append(component);
    }

private:
    int FWidth = 65;
};

TEST(ComponentTest, OwnerKeepsCreationOrderAndFindsByNameIgnoringCase)
{
    TComponent owner;
    auto* a = new TComponent(&owner);
    auto* b = new TComponent(&owner);
    a->SetName("RLBand1");
    b->SetName("RLLabel1");
    EXPECT_EQ(a->ComponentIndex(), 0);
    EXPECT_EQ(b->ComponentIndex(), 1);
    EXPECT_EQ(owner.FindComponent("rlband1"), a);
    EXPECT_EQ(owner.FindComponent("missing"), nullptr);
    delete a;
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(b->ComponentIndex(), 0);
}

TEST(ComponentTest, FreeNotificationTellsTheWatcherBeforeTheComponentGoes)
{
    TProbe watcher;
    auto* watched = new TComponent();
    watcher.FreeNotification(watched);
    delete watched;
    ASSERT_EQ(watcher.Removed.size(), 1);
    EXPECT_EQ(watcher.Removed.first(), watched);
}

TEST(ComponentTest, WatcherDestroyedFirstLeavesNoDanglingNotification)
{
    auto* watcher = new TProbe();
    TComponent watched;
    watcher->FreeNotification(&watched);
    delete watcher; // watched must not notify a dead watcher later
    SUCCEED();
}

TEST(ComponentTest, PropertyEqualToItsDefaultIsNotStored)
{
    TProbe probe;
    const QMetaProperty width = probe.metaObject()->property(probe.metaObject()->indexOfProperty("Width"));
    EXPECT_FALSE(probe.IsPropertyStored(width));
    probe.SetWidth(66);
    EXPECT_TRUE(probe.IsPropertyStored(width));
}

} // namespace

#include "ComponentTest.moc"
