// The updater controller's status: one user check at a time, outcomes applied
// on the main queue, a cycle's error never overwriting an outcome already
// reported, background errors ignored.
#include "system/updater_controller.h"

#include <gtest/gtest.h>

#include "support/fakes/fake_update_driver.h"
#include "support/manual_queue.h"

namespace hg {
namespace {

using Status = UpdaterController::Status;
using testing::FakeUpdateDriver;
using testing::ManualQueue;

class UpdaterControllerTest : public ::testing::Test {
protected:
    FakeUpdateDriver driver;
    ManualQueue queue;
    UpdaterController updater{driver, queue};

    UpdateDriverDelegate& delegate() { return *driver.delegate(); }
};

TEST(UpdaterStatusTest, EqualityComparesTextsOnlyOfTheTextCases)
{
    EXPECT_EQ(Status::updateAvailable("1.2"), Status::updateAvailable("1.2"));
    EXPECT_NE(Status::updateAvailable("1.2"), Status::updateAvailable("1.3"));
    EXPECT_NE(Status::error("offline"), Status::error("timeout"));
    EXPECT_NE(Status::error("1.2"), Status::updateAvailable("1.2"));
    EXPECT_EQ(Status::idle(), Status::idle());
    EXPECT_NE(Status::idle(), Status::upToDate());
}

TEST_F(UpdaterControllerTest, StartsTheDriverOnceAndIgnoresAStartError)
{
    FakeUpdateDriver failing;
    failing.startError = "no feed";
    UpdaterController other(failing, queue);
    EXPECT_EQ(failing.startCount, 1);
    EXPECT_EQ(other.status(), Status::idle());
    EXPECT_EQ(driver.startCount, 1);
    EXPECT_EQ(updater.status(), Status::idle());
}

TEST_F(UpdaterControllerTest, TwoQuickChecksStartOne)
{
    updater.checkForUpdates();
    updater.checkForUpdates();
    EXPECT_EQ(driver.checkCount, 1);
    EXPECT_EQ(updater.status(), Status::checking());

    delegate().didNotFindUpdate();
    queue.runUntilIdle();
    updater.checkForUpdates();  // a later check starts again
    EXPECT_EQ(driver.checkCount, 2);
}

TEST_F(UpdaterControllerTest, OutcomesAreAppliedOnTheMainQueue)
{
    updater.checkForUpdates();
    delegate().didFindValidUpdate("1.2");
    EXPECT_EQ(updater.status(), Status::checking());
    queue.runUntilIdle();
    EXPECT_EQ(updater.status(), Status::updateAvailable("1.2"));
}

TEST_F(UpdaterControllerTest, ABackgroundCheckThatFindsNothingMovesIdleToUpToDate)
{
    delegate().didNotFindUpdate();
    delegate().didFinishUpdateCycle(UpdateCheckKind::background, std::nullopt);
    queue.runUntilIdle();
    EXPECT_EQ(updater.status(), Status::upToDate());
}

TEST_F(UpdaterControllerTest, AFailedUserCheckShowsTheErrorButAnAlreadyReportedOutcomeStays)
{
    updater.checkForUpdates();
    delegate().didFinishUpdateCycle(UpdateCheckKind::userInitiated, "The update server did not answer in time.");
    queue.runUntilIdle();
    EXPECT_EQ(updater.status(), Status::error("The update server did not answer in time."));

    updater.checkForUpdates();
    delegate().didFindValidUpdate("1.2");
    queue.runUntilIdle();
    delegate().didFinishUpdateCycle(UpdateCheckKind::userInitiated, "offline");
    queue.runUntilIdle();
    EXPECT_EQ(updater.status(), Status::updateAvailable("1.2"));
}

TEST_F(UpdaterControllerTest, ACycleErrorRightBehindItsOutcomeDoesNotOverwriteIt)
{
    // Both callbacks arrive before the main queue runs the first change.
    updater.checkForUpdates();
    delegate().didNotFindUpdate();
    delegate().didFinishUpdateCycle(UpdateCheckKind::userInitiated, "offline");
    queue.runUntilIdle();
    EXPECT_EQ(updater.status(), Status::upToDate());
}

TEST_F(UpdaterControllerTest, BackgroundErrorsAndErrorsOutsideACheckChangeNothing)
{
    delegate().didFinishUpdateCycle(UpdateCheckKind::background, "offline");
    delegate().didFinishUpdateCycle(UpdateCheckKind::userInitiated, "offline");  // nothing was checking
    queue.runUntilIdle();
    EXPECT_EQ(updater.status(), Status::idle());

    updater.checkForUpdates();
    delegate().didFinishUpdateCycle(UpdateCheckKind::background, "offline");
    queue.runUntilIdle();
    EXPECT_EQ(updater.status(), Status::checking());
}

TEST_F(UpdaterControllerTest, WritingTheAutomaticSwitchAnnouncesAndPassesThrough)
{
    int announcements = 0;
    ScopedConnection c = updater.objectWillChange.connect([&] { ++announcements; });
    EXPECT_FALSE(updater.automaticallyChecksForUpdates());
    updater.setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(announcements, 1);
    EXPECT_TRUE(driver.automatic);
    EXPECT_FALSE(updater.lastUpdateCheckDate());
    driver.lastCheckDate = 812'345'678.0;
    EXPECT_EQ(updater.lastUpdateCheckDate(), 812'345'678.0);
}

TEST_F(UpdaterControllerTest, OutcomesArrivingAfterTheControllerIsGoneAreDropped)
{
    auto controller = std::make_unique<UpdaterController>(driver, queue);
    controller->checkForUpdates();
    UpdateDriverDelegate* reported = driver.delegate();
    reported->didNotFindUpdate();
    controller.reset();
    EXPECT_EQ(driver.delegate(), nullptr);
    queue.runUntilIdle();  // the posted change finds nobody
}

} // namespace
} // namespace hg
