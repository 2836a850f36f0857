#include "engine/windows/window_scanner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "support/fakes/fake_window_server.h"
#include "support/manual_queue.h"

namespace hg {
namespace {

using testing::FakeWindowServer;
using testing::ManualPool;
using testing::ManualQueue;

WindowInfoEntry entry(std::int64_t number, std::int64_t pid, Rect bounds = {0, 0, 400, 300})
{
    return {number, pid, 0, bounds, true};
}

struct ScannerTest : ::testing::Test {
    ManualQueue clock;
    ManualPool pool;
    FakeWindowServer server;
};

TEST_F(ScannerTest, ScannerDropsARequestWhileScanning)
{
    WindowScanner scanner(server, clock, pool);
    server.list = std::vector{entry(7, 100)};

    scanner.refreshIfDue(0);
    scanner.refreshIfDue(0);
    EXPECT_TRUE(scanner.scanning());
    EXPECT_EQ(pool.pendingCount(), 1u);

    clock.fastForwardBy(std::chrono::milliseconds(5));
    EXPECT_EQ(pool.runAll(), 1u);
    EXPECT_FALSE(scanner.scanning());
    EXPECT_EQ(scanner.lastCompletionNanos(), clock.uptimeNanos());
    ASSERT_EQ(scanner.current().size(), 1u);
    EXPECT_EQ(scanner.current()[0].windowID, 7u);

    scanner.refreshIfDue(0);  // idle again: an interval of 0 always scans
    EXPECT_EQ(pool.pendingCount(), 1u);
}

TEST_F(ScannerTest, IntervalCountsFromTheLastCompletion)
{
    WindowScanner scanner(server, clock, pool);
    scanner.store({});  // the manual clock starts at 1 000 000 000 ns
    ASSERT_EQ(scanner.lastCompletionNanos(), 1'000'000'000u);

    clock.fastForwardBy(std::chrono::nanoseconds(20'000'000));
    scanner.refreshIfDue(33'000'000);
    EXPECT_EQ(pool.pendingCount(), 0u);
    EXPECT_FALSE(scanner.scanning());

    clock.fastForwardBy(std::chrono::nanoseconds(13'000'000));
    scanner.refreshIfDue(33'000'000);
    EXPECT_EQ(pool.pendingCount(), 1u);
    EXPECT_TRUE(scanner.scanning());
}

TEST_F(ScannerTest, ScanAsksForOnScreenWindowsWithoutDesktopElements)
{
    (void)WindowScanner::scan(server);
    ASSERT_EQ(server.listRequests.size(), 1u);
    EXPECT_EQ(static_cast<std::uint32_t>(server.listRequests[0]), 17u);
}

TEST_F(ScannerTest, ScanSkipsMalformedEntriesAndKeepsTheOrder)
{
    WindowInfoEntry noBounds = entry(2, 100);
    noBounds.bounds.reset();
    WindowInfoEntry noOnScreenFlag = entry(3, 100);
    noOnScreenFlag.isOnScreen.reset();
    WindowInfoEntry offScreen = entry(4, 100);
    offScreen.isOnScreen = false;
    WindowInfoEntry noLayer = entry(5, 100);
    noLayer.layer.reset();
    const double nan = std::nan("");
    server.list = std::vector{
        entry(1, 100),
        noBounds,
        noOnScreenFlag,
        offScreen,
        noLayer,
        entry(0x1'0000'0000LL, 100),  // window number beyond 32 bits
        entry(6, 0x8000'0000LL),      // process beyond the signed 32-bit range
        entry(7, 100, {nan, 0, 10, 10}),
        entry(8, -1),
    };

    const std::vector<WindowSnapshot> windows = WindowScanner::scan(server);

    std::vector<std::uint32_t> ids;
    for (const WindowSnapshot& w : windows)
        ids.push_back(w.windowID);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 3, 4, 8}));
    EXPECT_TRUE(windows[1].isOnScreen);
    EXPECT_FALSE(windows[2].isOnScreen);
    EXPECT_EQ(windows[3].pid, -1);
}

TEST_F(ScannerTest, ScanAsksEachProcessOncePerScan)
{
    server.applications = {{100, "org.example.Editor"}};
    server.list = std::vector{entry(1, 100), entry(2, 200), entry(3, 100), entry(4, 100), entry(5, 200)};

    const std::vector<WindowSnapshot> windows = WindowScanner::scan(server);
    EXPECT_EQ(server.lookups, (std::vector<std::int32_t>{100, 200}));
    ASSERT_EQ(windows.size(), 5u);
    EXPECT_EQ(windows[3].bundleID, "org.example.Editor");
    EXPECT_EQ(windows[4].bundleID, std::nullopt);  // the process has gone: listed without identifier

    (void)WindowScanner::scan(server);
    EXPECT_EQ(server.lookups.size(), 4u);  // the cache lives for one scan only
}

TEST_F(ScannerTest, RefusedListGivesAnEmptyList)
{
    WindowScanner scanner(server, clock, pool);
    WindowSnapshot old;
    old.windowID = 9;
    scanner.store({old});
    server.list.reset();
    clock.fastForwardBy(std::chrono::seconds(1));
    scanner.refreshIfDue(0);
    pool.runAll();
    EXPECT_TRUE(scanner.current().empty());
}

TEST_F(ScannerTest, ScanThatOutlivesTheScannerDropsItsResult)
{
    auto scanner = std::make_unique<WindowScanner>(server, clock, pool);
    scanner->refreshIfDue(0);
    scanner.reset();
    EXPECT_EQ(pool.runAll(), 1u);
    EXPECT_TRUE(server.listRequests.empty());  // it never touched the server
}

TEST(WindowSnapshotTest, AbsentBundleIDsAreEqualAndDifferFromPresentOnes)
{
    WindowSnapshot a;
    a.windowID = 1;
    a.rect = {0, 0, 1, 1};
    WindowSnapshot b = a;
    EXPECT_EQ(a, b);
    b.bundleID = "";
    EXPECT_NE(a, b);
}

} // namespace
} // namespace hg
