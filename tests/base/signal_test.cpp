// Change announcements and named notifications: delivery order, and what
// happens when observers come and go while a delivery is under way.
#include "base/notification_center.h"
#include "base/signal.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace hg {
namespace {

TEST(SignalTest, SlotsRunInConnectionOrderUntilDisconnected)
{
    Signal<int> signal;
    std::vector<std::string> calls;
    Connection a = signal.connect([&](int v) { calls.push_back("a" + std::to_string(v)); });
    Connection b = signal.connect([&](int v) { calls.push_back("b" + std::to_string(v)); });
    signal.emit(1);
    a.disconnect();
    a.disconnect();  // twice is harmless
    signal.emit(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1", "b2"}));
    EXPECT_EQ(signal.slotCount(), 1u);
}

TEST(SignalTest, DisconnectingDuringEmitStopsLaterSlotsAndConnectingWaitsForTheNext)
{
    Signal<> signal;
    std::vector<std::string> calls;
    Connection second;
    Connection added;
    Connection first = signal.connect([&] {
        calls.push_back("first");
        second.disconnect();
        if (calls.size() == 1)
            added = signal.connect([&] { calls.push_back("added"); });
    });
    second = signal.connect([&] { calls.push_back("second"); });
    signal.emit();
    EXPECT_EQ(calls, std::vector<std::string>{"first"});
    signal.emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "first", "added"}));
}

TEST(SignalTest, SlotMayDisconnectItself)
{
    Signal<> signal;
    int runs = 0;
    Connection self;
    self = signal.connect([&] {
        ++runs;
        self.disconnect();
    });
    signal.emit();
    signal.emit();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(signal.slotCount(), 0u);
}

TEST(SignalTest, ScopedConnectionDisconnectsOnDestructionAndReassignment)
{
    Signal<> signal;
    int a = 0, b = 0;
    {
        ScopedConnection scoped = signal.connect([&] { ++a; });
        signal.emit();
        scoped = signal.connect([&] { ++b; });
        signal.emit();
    }
    signal.emit();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(signal.slotCount(), 0u);
}

TEST(SignalTest, ConnectionOutlivingItsSignalIsHarmless)
{
    ScopedConnection scoped;
    Connection plain;
    {
        Signal<> signal;
        scoped = signal.connect([] {});
        plain = signal.connect([] {});
    }
    plain.disconnect();
}

TEST(SignalTest, SlotMayDestroyTheSignal)
{
    auto signal = std::make_unique<Signal<>>();
    int later = 0;
    Connection destroyer = signal->connect([&] { signal.reset(); });
    Connection next = signal->connect([&] { ++later; });
    signal->emit();
    EXPECT_EQ(signal, nullptr);
    EXPECT_EQ(later, 0);  // nothing is delivered for a signal that is gone
    next.disconnect();
}

struct Model : ObservableObject {
    Published<int> count{*this, 0};
};

TEST(PublishedTest, AnnouncesOnItsOwnerThenTellsSubscribersThenAssigns)
{
    Model model;
    std::vector<std::string> calls;
    ScopedConnection will = model.objectWillChange.connect(
        [&] { calls.push_back("will change, holding " + std::to_string(model.count.get())); });
    ScopedConnection changed = model.count.changed.connect([&](const int& v) {
        calls.push_back("changed to " + std::to_string(v) + ", holding " + std::to_string(model.count.get()));
    });
    model.count.set(5);
    model.count.set(5);  // every assignment announces, equal or not
    EXPECT_EQ(calls, (std::vector<std::string>{"will change, holding 0", "changed to 5, holding 0",
                                               "will change, holding 5", "changed to 5, holding 5"}));
    EXPECT_EQ(model.count, 5);
}

TEST(NotificationCenterTest, DeliversByNameInTheOrderObserversWereAdded)
{
    NotificationCenter center;
    std::string order;
    center.addObserver("A", [&] { order += '1'; });
    center.addObserver("B", [&] { order += 'x'; });
    const NotificationToken token = center.addObserver("A", [&] { order += '2'; });
    EXPECT_TRUE(token.isValid());
    center.post("A");
    EXPECT_EQ(order, "12");
    EXPECT_EQ(center.observerCount("A"), 2u);
    center.post("nothing listens");
}

TEST(NotificationCenterTest, RemovedTokenHearsNothingAndUnknownTokensAreIgnored)
{
    NotificationCenter center;
    int a = 0, b = 0;
    const NotificationToken ta = center.addObserver("N", [&] { ++a; });
    center.addObserver("N", [&] { ++b; });
    center.removeObserver(ta);
    center.removeObserver(ta);
    center.removeObserver(NotificationToken{});
    center.removeObserver(NotificationToken{9999});
    center.post("N");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(center.observerCount("N"), 1u);
}

TEST(NotificationCenterTest, ObserverRemovedDuringDeliveryIsNotCalledAfterwards)
{
    NotificationCenter center;
    std::string order;
    NotificationToken second;
    NotificationToken self;
    self = center.addObserver("N", [&] {
        order += '1';
        center.removeObserver(self);
        center.removeObserver(second);
        center.addObserver("N", [&] { order += '3'; });  // first hears the next post
    });
    second = center.addObserver("N", [&] { order += '2'; });
    center.post("N");
    EXPECT_EQ(order, "1");
    center.post("N");
    EXPECT_EQ(order, "13");
}

} // namespace
} // namespace hg
