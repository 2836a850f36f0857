// The appcast updater: the program's own update driver. It reads the release
// feed (an RSS "appcast" listing versions, release notes and download pages),
// compares the newest version with the running one, offers a newer one in a
// window, and checks by itself once a day while automatic checks are on.
//
// Schedule: at start and then every hour the updater asks whether a day has
// passed since the last check that reached the feed (or whether there has been
// none, or the clock moved back past it); if so it starts a background check.
// The switch, the last check date and a skipped version persist in the
// defaults. Only one fetch runs at a time: a user's check asked for while a
// background fetch runs takes that fetch over, so its outcome is reported as
// the user's.
//
// The offer window: "HushglassUpdaterWillShowModal" is posted before it shows
// and "HushglassUpdaterDidDismissModal" when it closes, so the effect steps
// aside meanwhile. "Download & Install" opens the release's download page,
// "Skip This Version" keeps background checks from offering that version again
// (a user's check still offers it), "Remind Me Later" only closes the window.
//
// Created once by the application; main thread only. Feed and window answer on
// the main thread; their answers after the updater is gone are dropped.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/clock.h"
#include "base/defaults.h"
#include "base/main_queue.h"
#include "base/notification_center.h"
#include "base/weak_ptr.h"
#include "system/update_driver.h"
#include "ui/i18n/i18n.h"

namespace hg {

// One release listed by the feed.
struct AppcastItem {
    std::string version;         // compared with the running version
    std::string displayVersion;  // shown to people; the version when the feed gives none
    std::string releaseNotesHtml;
    std::string downloadPage;    // an https address, or empty when the feed gave none usable
};

// Why a fetch failed. `detail` is the platform's wording (network errors) or
// what was wrong with the feed; `httpStatus` is set for `httpError`.
struct FeedError {
    enum class Kind { notConfigured, insecureAddress, network, tls, timeout, httpError, tooLarge, malformed };
    Kind kind;
    std::string detail;
    int httpStatus = 0;
};

using FeedResult = std::variant<std::vector<AppcastItem>, FeedError>;

// Fetches and reads the release feed.
class UpdateFeed {
public:
    virtual ~UpdateFeed() = default;
    // False when the build names no feed: nothing is ever fetched.
    [[nodiscard]] virtual bool isConfigured() const = 0;
    // Starts one fetch; `done` is called once, later, on the main thread.
    virtual void fetch(std::function<void(FeedResult)> done) = 0;
};

// What the offer window shows.
struct UpdateOffer {
    AppcastItem item;
    std::string currentVersion;
};

enum class UpdateChoice { downloadAndInstall, skipThisVersion, remindMeLater };

// The offer window. `onClose` is called once, when the user has chosen
// (closing the window counts as "Remind Me Later").
class UpdateOfferPresenter {
public:
    virtual ~UpdateOfferPresenter() = default;
    virtual void present(const UpdateOffer& offer, std::function<void(UpdateChoice)> onClose) = 0;
    // Replaces what the open window shows and brings it to the front.
    virtual void replace(const UpdateOffer& offer) = 0;
};

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const std::string& url) = 0;
};

inline constexpr std::string_view kUpdaterWillShowModalNotification = "HushglassUpdaterWillShowModal";
inline constexpr std::string_view kUpdaterDidDismissModalNotification = "HushglassUpdaterDidDismissModal";

namespace defaults_keys {
inline constexpr std::string_view updatesAutomaticChecks = "updates.automaticChecks";
inline constexpr std::string_view updatesLastCheckDate = "updates.lastCheckDate";
inline constexpr std::string_view updatesSkippedVersion = "updates.skippedVersion";
} // namespace defaults_keys

struct AppcastUpdaterPorts {
    MainQueue& queue;
    Clock& clock;
    DefaultsDomain& defaults;
    NotificationCenter& notifications;
    const I18n& i18n;
    UpdateFeed& feed;
    UpdateOfferPresenter& presenter;
    UrlOpener& opener;
};

class AppcastUpdater final : public UpdateDriver {
public:
    // A day between automatic checks, asked about every hour.
    static constexpr double kCheckIntervalSeconds = 24 * 60 * 60;
    static constexpr std::chrono::hours kScheduleTick{1};

    AppcastUpdater(AppcastUpdaterPorts ports, std::string currentVersion);

    void setDelegate(UpdateDriverDelegate* delegate) override { m_delegate = delegate; }
    // Fails when the build names no feed; user checks then report that.
    std::optional<std::string> start() override;
    void checkForUpdates() override;
    [[nodiscard]] bool automaticallyChecksForUpdates() const override;
    // Writes the switch; turning it on checks at once when a check is due.
    void setAutomaticallyChecksForUpdates(bool enabled) override;
    [[nodiscard]] std::optional<double> lastUpdateCheckDate() const override;

    [[nodiscard]] bool isFetching() const { return m_fetching.has_value(); }
    [[nodiscard]] bool isOffering() const { return m_offered.has_value(); }

    // The readable description of a failed fetch, in the interface language.
    [[nodiscard]] std::string describe(const FeedError& error) const;

private:
    void checkIfDue();
    [[nodiscard]] bool isCheckDue() const;
    void beginCheck(UpdateCheckKind kind);
    void finishCheck(FeedResult result);
    // The newest item newer than the running version; nullopt when none is.
    [[nodiscard]] std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items) const;
    void offer(const AppcastItem& item);
    void handleChoice(UpdateChoice choice);

    AppcastUpdaterPorts m_ports;
    std::string m_currentVersion;
    UpdateDriverDelegate* m_delegate = nullptr;
    std::optional<UpdateCheckKind> m_fetching;  // the kind of the running fetch
    std::optional<AppcastItem> m_offered;  // what the open offer window shows
    bool m_started = false;
    ScopedTaskHandle m_scheduleTimer;
    WeakPtrFactory<AppcastUpdater> m_weak{this};
};

} // namespace hg
