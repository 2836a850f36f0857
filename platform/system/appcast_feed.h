// The release feed over the network: fetches the appcast with
// QNetworkAccessManager and reads it into the updater's items.
//
// The address is fixed at build time (the HUSHGLASS_APPCAST_URL build option);
// the environment variable of the same name overrides it, for tests and for
// users who mirror the feed. Only https:// addresses are fetched, plain http://
// only from a loopback address; a redirect to anything else is refused. A
// fetch ends after `timeout` (10 s) and a feed larger than `maxBytes` (1 MB)
// is refused unread. The request carries a plain user agent with the version
// and nothing else that identifies the user: no cookies, no cache, no
// languages (Qt would send the user's).
//
// Created once by the application; main thread only. Each fetch answers once,
// on the main thread; fetches still running when the feed is destroyed are
// aborted and never answer.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <chrono>

#include "system/appcast_updater.h"

namespace hg {

// Reads an appcast: an RSS document whose <item>s carry the version
// (<…:version>, else the enclosure's version attribute, else
// <…:shortVersionString>), the version shown to people, release notes
// (<description>) and a download page (<link>, else the enclosure's url; https
// only). Elements and attributes are matched by local name, whatever their
// namespace. Answers `malformed` for a document that is not such a feed.
[[nodiscard]] FeedResult parseAppcast(const QByteArray& document);

// True for an address the feed may be fetched from (or redirected to).
[[nodiscard]] bool isAllowedFeedAddress(const QUrl& url);

class QtAppcastFeed final : public QObject, public UpdateFeed {
    Q_OBJECT
public:
    struct Limits {
        std::chrono::milliseconds timeout{10'000};
        qint64 maxBytes = 1024 * 1024;
    };

    QtAppcastFeed(QUrl address, QString version, Limits limits, QObject* parent = nullptr);
    ~QtAppcastFeed() override;

    // The environment's HUSHGLASS_APPCAST_URL when set, else the build's.
    [[nodiscard]] static QUrl configuredAddress();

    bool isConfigured() const override;
    void fetch(std::function<void(FeedResult)> done) override;

private:
    QNetworkAccessManager m_network;
    QUrl m_address;
    QByteArray m_userAgent;
    Limits m_limits;
};

} // namespace hg
