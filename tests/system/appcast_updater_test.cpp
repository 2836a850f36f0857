// The appcast updater over a scripted feed and offer window, on the manual
// clock: the daily schedule, the choice of the newest version, skipped
// versions, the offer window's notifications and choices, readable errors.
#include "system/appcast_updater.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/manual_queue.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::ManualQueue;

class ScriptedFeed final : public UpdateFeed {
public:
    bool isConfigured() const override { return configured; }
    void fetch(std::function<void(FeedResult)> done) override { pending.push_back(std::move(done)); }

    void answer(FeedResult result)
    {
        ASSERT_FALSE(pending.empty());
        auto done = std::move(pending.front());
        pending.pop_front();
        done(std::move(result));
    }

    bool configured = true;
    std::deque<std::function<void(FeedResult)>> pending;
};

class ScriptedWindow final : public UpdateOfferPresenter {
public:
    void present(const UpdateOffer& offer, std::function<void(UpdateChoice)> onClose) override
    {
        shown.push_back(offer);
        m_onClose = std::move(onClose);
    }
    void replace(const UpdateOffer& offer) override { shown.push_back(offer); }
    void choose(UpdateChoice choice) { std::exchange(m_onClose, nullptr)(choice); }

    std::vector<UpdateOffer> shown;

private:
    std::function<void(UpdateChoice)> m_onClose;
};

class RecordingOpener final : public UrlOpener {
public:
    void open(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

class RecordingDelegate final : public UpdateDriverDelegate {
public:
    void didFindValidUpdate(const std::string& v) override { events.push_back("found " + v); }
    void didNotFindUpdate() override { events.push_back("not found"); }
    void didFinishUpdateCycle(UpdateCheckKind kind, const std::optional<std::string>& error) override
    {
        events.push_back(std::string(kind == UpdateCheckKind::userInitiated ? "user" : "background") + " done" +
                         (error ? ": " + *error : ""));
    }
    std::vector<std::string> events;
};

class NoPreferredLanguages final : public PreferredLanguages {
public:
    std::vector<std::string> preferredLanguages() const override { return {"en-GB"}; }
};

AppcastItem release(std::string version)
{
    return {version, version, "<p>Notes</p>", "https://example.org/hushglass/" + version};
}

std::vector<AppcastItem> feedOf(std::initializer_list<const char*> versions)
{
    std::vector<AppcastItem> items;
    for (const char* v : versions)
        items.push_back(release(v));
    return items;
}

class AppcastUpdaterTest : public ::testing::Test {
protected:
    AppcastUpdaterTest()
    {
        notifications.addObserver(std::string(kUpdaterWillShowModalNotification), [this] { posted.push_back("will show"); });
        notifications.addObserver(std::string(kUpdaterDidDismissModalNotification), [this] { posted.push_back("did dismiss"); });
        updater.setDelegate(&delegate);
    }

    void turnOnAutomaticChecks() { defaults.setBool(defaults_keys::updatesAutomaticChecks, true); }

    ManualQueue queue;
    InMemoryDefaults defaults;
    NotificationCenter notifications;
    NoPreferredLanguages languages;
    I18n i18n{defaults, notifications, languages};
    ScriptedFeed feed;
    ScriptedWindow window;
    RecordingOpener opener;
    RecordingDelegate delegate;
    std::vector<std::string> posted;
    AppcastUpdater updater{{queue, queue, defaults, notifications, i18n, feed, window, opener}, "1.0"};
};

TEST_F(AppcastUpdaterTest, AutomaticChecksAreOffUntilTurnedOnAndThenRunAtStartAndDaily)
{
    ASSERT_EQ(updater.start(), std::nullopt);
    queue.fastForwardBy(48h);
    EXPECT_TRUE(feed.pending.empty());
    EXPECT_FALSE(updater.automaticallyChecksForUpdates());

    updater.setAutomaticallyChecksForUpdates(true);  // never checked: checks at once
    ASSERT_EQ(feed.pending.size(), 1u);
    feed.answer(feedOf({"0.9", "1.0"}));
    EXPECT_EQ(updater.lastUpdateCheckDate(), queue.secondsSinceReferenceDate());
    EXPECT_EQ(delegate.events, (std::vector<std::string>{"not found", "background done"}));

    queue.fastForwardBy(23h);
    EXPECT_TRUE(feed.pending.empty());
    queue.fastForwardBy(1h);
    EXPECT_EQ(feed.pending.size(), 1u);
}

TEST_F(AppcastUpdaterTest, TheScheduleCountsFromTheStoredLastCheckAndRetriesHourlyAfterAFailure)
{
    turnOnAutomaticChecks();
    defaults.setDouble(defaults_keys::updatesLastCheckDate, queue.secondsSinceReferenceDate() - 20 * 3600);
    updater.start();
    queue.runUntilIdle();
    EXPECT_TRUE(feed.pending.empty());  // checked 20 hours ago, in an earlier run
    queue.fastForwardBy(4h);
    ASSERT_EQ(feed.pending.size(), 1u);

    feed.answer(FeedError{FeedError::Kind::network, "Host unreachable"});
    EXPECT_TRUE(window.shown.empty());
    queue.fastForwardBy(1h);  // a failed check leaves the date alone: try again in an hour
    EXPECT_EQ(feed.pending.size(), 1u);
}

TEST_F(AppcastUpdaterTest, ALastCheckInTheFutureMeansTheClockWentBackAndACheckIsDue)
{
    turnOnAutomaticChecks();
    defaults.setDouble(defaults_keys::updatesLastCheckDate, queue.secondsSinceReferenceDate() + 3600);
    updater.start();
    queue.runUntilIdle();
    EXPECT_EQ(feed.pending.size(), 1u);
}

TEST_F(AppcastUpdaterTest, AnUnconfiguredFeedNeverFetchesAndAUserCheckSaysWhy)
{
    feed.configured = false;
    turnOnAutomaticChecks();
    EXPECT_EQ(updater.start(), "No update feed is configured for this build.");
    queue.fastForwardBy(48h);
    updater.checkForUpdates();
    EXPECT_TRUE(feed.pending.empty());
    EXPECT_EQ(delegate.events, (std::vector<std::string>{"user done: No update feed is configured for this build."}));
}

TEST_F(AppcastUpdaterTest, TheNewestNewerVersionIsOfferedWhateverTheFeedOrder)
{
    updater.checkForUpdates();
    feed.answer(feedOf({"1.2", "1.10", "0.5", "1.9", "2.0b1", ""}));
    EXPECT_EQ(delegate.events, (std::vector<std::string>{"found 2.0b1", "user done"}));
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_EQ(window.shown[0].item.version, "2.0b1");
    EXPECT_EQ(window.shown[0].currentVersion, "1.0");
}

TEST_F(AppcastUpdaterTest, SameOlderOrEmptyFeedsFindNothing)
{
    for (const auto& items : {feedOf({"1.0", "1.0.0"}), feedOf({"0.9", "1.0b3"}), feedOf({})}) {
        delegate.events.clear();
        updater.checkForUpdates();
        feed.answer(items);
        EXPECT_EQ(delegate.events, (std::vector<std::string>{"not found", "user done"}));
    }
    EXPECT_TRUE(window.shown.empty());
}

TEST_F(AppcastUpdaterTest, TheOfferWindowPostsAroundItselfAndActsOnTheChoice)
{
    updater.checkForUpdates();
    feed.answer(feedOf({"1.1"}));
    EXPECT_EQ(posted, (std::vector<std::string>{"will show"}));
    EXPECT_TRUE(updater.isOffering());

    window.choose(UpdateChoice::downloadAndInstall);
    EXPECT_EQ(posted, (std::vector<std::string>{"will show", "did dismiss"}));
    EXPECT_EQ(opener.opened, (std::vector<std::string>{"https://example.org/hushglass/1.1"}));

    updater.checkForUpdates();
    feed.answer(feedOf({"1.1"}));
    window.choose(UpdateChoice::remindMeLater);
    EXPECT_EQ(opener.opened.size(), 1u);
    EXPECT_FALSE(defaults.hasObject(defaults_keys::updatesSkippedVersion));
    EXPECT_EQ(posted.size(), 4u);
}

TEST_F(AppcastUpdaterTest, ASecondFindWhileTheWindowIsOpenReplacesItsContentWithoutPostingAgain)
{
    updater.checkForUpdates();
    feed.answer(feedOf({"1.1"}));
    updater.checkForUpdates();
    feed.answer(feedOf({"1.1", "1.2"}));
    ASSERT_EQ(window.shown.size(), 2u);
    EXPECT_EQ(window.shown[1].item.version, "1.2");
    window.choose(UpdateChoice::downloadAndInstall);
    EXPECT_EQ(posted, (std::vector<std::string>{"will show", "did dismiss"}));
    EXPECT_EQ(opener.opened, (std::vector<std::string>{"https://example.org/hushglass/1.2"}));
}

TEST_F(AppcastUpdaterTest, ASkippedVersionIsNotOfferedByBackgroundChecksButAUserCheckStillOffersIt)
{
    updater.checkForUpdates();
    feed.answer(feedOf({"1.1"}));
    window.choose(UpdateChoice::skipThisVersion);
    EXPECT_EQ(defaults.stringValue(defaults_keys::updatesSkippedVersion), "1.1");

    turnOnAutomaticChecks();
    updater.start();
    queue.fastForwardBy(25h);
    delegate.events.clear();
    feed.answer(feedOf({"1.1"}));
    EXPECT_EQ(delegate.events, (std::vector<std::string>{"not found", "background done"}));
    EXPECT_EQ(window.shown.size(), 1u);

    queue.fastForwardBy(24h);
    delegate.events.clear();
    feed.answer(feedOf({"1.1", "1.2"}));  // a newer one than the skipped is offered
    EXPECT_EQ(delegate.events, (std::vector<std::string>{"found 1.2", "background done"}));
    window.choose(UpdateChoice::remindMeLater);

    updater.checkForUpdates();
    feed.answer(feedOf({"1.1"}));
    EXPECT_EQ(window.shown.back().item.version, "1.1");
}

TEST_F(AppcastUpdaterTest, AUserCheckDuringABackgroundFetchTakesItOver)
{
    turnOnAutomaticChecks();
    updater.start();
    queue.runUntilIdle();
    updater.checkForUpdates();
    ASSERT_EQ(feed.pending.size(), 1u);  // no second fetch
    feed.answer(FeedError{FeedError::Kind::timeout, {}});
    EXPECT_EQ(delegate.events, (std::vector<std::string>{"user done: The update server did not answer in time."}));
}

TEST_F(AppcastUpdaterTest, FeedErrorsReadAsSentencesInTheInterfaceLanguage)
{
    using Kind = FeedError::Kind;
    EXPECT_EQ(updater.describe({Kind::httpError, "Not Found", 404}), "The update server answered with error 404.");
    EXPECT_EQ(updater.describe({Kind::malformed, "line 3: unexpected end of file"}),
              "The update feed could not be read: line 3: unexpected end of file");
    EXPECT_EQ(updater.describe({Kind::tooLarge, {}}), "The update feed is too large; it was not read.");
    i18n.setLanguage(AppLanguage::zhHans);
    EXPECT_EQ(updater.describe({Kind::tls, "certificate expired"}), "与更新服务器的安全连接失败：certificate expired");
}

TEST_F(AppcastUpdaterTest, AnswersAfterTheUpdaterIsGoneAreDropped)
{
    auto other = std::make_unique<AppcastUpdater>(
        AppcastUpdaterPorts{queue, queue, defaults, notifications, i18n, feed, window, opener}, "1.0");
    other->setDelegate(&delegate);
    other->checkForUpdates();
    other.reset();
    feed.answer(feedOf({"2.0"}));
    EXPECT_TRUE(delegate.events.empty());
    EXPECT_TRUE(window.shown.empty());
}

} // namespace
} // namespace hg
