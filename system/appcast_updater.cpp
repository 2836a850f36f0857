#include "system/appcast_updater.h"

#include "system/version_compare.h"

namespace hg {

AppcastUpdater::AppcastUpdater(AppcastUpdaterPorts ports, std::string currentVersion)
    : m_ports(ports), m_currentVersion(std::move(currentVersion))
{
}

std::optional<std::string> AppcastUpdater::start()
{
    if (!m_ports.feed.isConfigured())
        return describe({FeedError::Kind::notConfigured, {}});
    if (m_started)
        return std::nullopt;
    m_started = true;
    m_scheduleTimer = m_ports.queue.repeating(kScheduleTick, [weak = m_weak.get()] {
        if (auto* self = weak.get())
            self->checkIfDue();
    });
    m_ports.queue.post([weak = m_weak.get()] {
        if (auto* self = weak.get())
            self->checkIfDue();
    });
    return std::nullopt;
}

void AppcastUpdater::checkForUpdates()
{
    beginCheck(UpdateCheckKind::userInitiated);
}

bool AppcastUpdater::automaticallyChecksForUpdates() const
{
    // Off until the user turns it on: nothing reaches the network unasked.
    return m_ports.defaults.boolValue(defaults_keys::updatesAutomaticChecks).value_or(false);
}

void AppcastUpdater::setAutomaticallyChecksForUpdates(bool enabled)
{
    m_ports.defaults.setBool(defaults_keys::updatesAutomaticChecks, enabled);
    if (enabled && m_started)
        checkIfDue();
}

std::optional<double> AppcastUpdater::lastUpdateCheckDate() const
{
    return m_ports.defaults.doubleValue(defaults_keys::updatesLastCheckDate);
}

bool AppcastUpdater::isCheckDue() const
{
    if (!automaticallyChecksForUpdates())
        return false;
    const std::optional<double> last = lastUpdateCheckDate();
    const double now = m_ports.clock.secondsSinceReferenceDate();
    // A last check "in the future" means the clock was set back: check rather
    // than wait until the clock catches up.
    return !last || now - *last >= kCheckIntervalSeconds || now < *last;
}

void AppcastUpdater::checkIfDue()
{
    if (!m_fetching && isCheckDue())
        beginCheck(UpdateCheckKind::background);
}

void AppcastUpdater::beginCheck(UpdateCheckKind kind)
{
    if (m_fetching) {
        if (kind == UpdateCheckKind::userInitiated)
            m_fetching = kind;
        return;
    }
    if (!m_ports.feed.isConfigured()) {
        if (m_delegate)
            m_delegate->didFinishUpdateCycle(kind, describe({FeedError::Kind::notConfigured, {}}));
        return;
    }
    m_fetching = kind;
    m_ports.feed.fetch([weak = m_weak.get()](FeedResult result) {
        if (auto* self = weak.get())
            self->finishCheck(std::move(result));
    });
}

void AppcastUpdater::finishCheck(FeedResult result)
{
    if (!m_fetching)
        return;  // a fetch that answers twice
    const UpdateCheckKind kind = *m_fetching;
    m_fetching.reset();
    if (const auto* error = std::get_if<FeedError>(&result)) {
        if (m_delegate)
            m_delegate->didFinishUpdateCycle(kind, describe(*error));
        return;
    }
    m_ports.defaults.setDouble(defaults_keys::updatesLastCheckDate, m_ports.clock.secondsSinceReferenceDate());

    std::optional<AppcastItem> update = newestUpdate(std::get<std::vector<AppcastItem>>(result));
    const std::optional<std::string> skipped = m_ports.defaults.stringValue(defaults_keys::updatesSkippedVersion);
    if (update && kind != UpdateCheckKind::userInitiated && skipped && compareVersions(update->version, *skipped) == 0)
        update.reset();

    if (m_delegate) {
        if (update)
            m_delegate->didFindValidUpdate(update->displayVersion);
        else
            m_delegate->didNotFindUpdate();
        m_delegate->didFinishUpdateCycle(kind, std::nullopt);
    }
    if (update)
        offer(*update);
}

std::optional<AppcastItem> AppcastUpdater::newestUpdate(const std::vector<AppcastItem>& items) const
{
    const AppcastItem* newest = nullptr;
    for (const AppcastItem& item : items) {
        if (item.version.empty() || !isNewerVersion(item.version, m_currentVersion))
            continue;
        if (!newest || isNewerVersion(item.version, newest->version))
            newest = &item;
    }
    return newest ? std::optional(*newest) : std::nullopt;
}

void AppcastUpdater::offer(const AppcastItem& item)
{
    const UpdateOffer offer{item, m_currentVersion};
    if (m_offered) {
        m_offered = item;
        m_ports.presenter.replace(offer);
        return;
    }
    m_offered = item;
    m_ports.notifications.post(kUpdaterWillShowModalNotification);
    m_ports.presenter.present(offer, [weak = m_weak.get()](UpdateChoice choice) {
        if (auto* self = weak.get())
            self->handleChoice(choice);
    });
}

void AppcastUpdater::handleChoice(UpdateChoice choice)
{
    if (!m_offered)
        return;
    const AppcastItem item = *std::exchange(m_offered, std::nullopt);
    m_ports.notifications.post(kUpdaterDidDismissModalNotification);
    switch (choice) {
    case UpdateChoice::downloadAndInstall:
        if (!item.downloadPage.empty())
            m_ports.opener.open(item.downloadPage);
        return;
    case UpdateChoice::skipThisVersion:
        m_ports.defaults.setString(defaults_keys::updatesSkippedVersion, item.version);
        return;
    case UpdateChoice::remindMeLater:
        return;
    }
}

std::string AppcastUpdater::describe(const FeedError& error) const
{
    const I18n& i18n = m_ports.i18n;
    switch (error.kind) {
    case FeedError::Kind::notConfigured: return i18n.translate("此版本未配置更新源。");
    case FeedError::Kind::insecureAddress: return i18n.translate("更新源地址不安全（只接受 HTTPS）：%@", {error.detail});
    case FeedError::Kind::network: return i18n.translate("无法连接更新服务器：%@", {error.detail});
    case FeedError::Kind::tls: return i18n.translate("与更新服务器的安全连接失败：%@", {error.detail});
    case FeedError::Kind::timeout: return i18n.translate("更新服务器没有及时响应。");
    case FeedError::Kind::httpError:
        return i18n.translate("更新服务器返回了错误 %d。", {std::to_string(error.httpStatus)});
    case FeedError::Kind::tooLarge: return i18n.translate("更新源过大，已拒绝读取。");
    case FeedError::Kind::malformed: return i18n.translate("更新源无法识别：%@", {error.detail});
    }
    return error.detail;
}

} // namespace hg
