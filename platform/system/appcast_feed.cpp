#include "platform/system/appcast_feed.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QTimer>
#include <QXmlStreamReader>
#include <algorithm>
#include <memory>

#ifndef HUSHGLASS_APPCAST_URL
#define HUSHGLASS_APPCAST_URL ""
#endif

namespace hg {
namespace {

bool isHttps(const QUrl& url)
{
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

std::string text(const QString& s)
{
    return s.trimmed().toStdString();
}

struct RawItem {
    QString version, shortVersion, enclosureVersion, enclosureShortVersion, notes, link, enclosureUrl;
};

RawItem readItem(QXmlStreamReader& xml)
{
    RawItem item;
    while (xml.readNextStartElement()) {
        const QStringView name = xml.name();
        if (name == u"version") {
            item.version = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (name == u"shortVersionString") {
            item.shortVersion = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (name == u"description") {
            item.notes = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (name == u"link") {
            item.link = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (name == u"enclosure") {
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                if (attribute.name() == u"url")
                    item.enclosureUrl = attribute.value().toString();
                else if (attribute.name() == u"version")
                    item.enclosureVersion = attribute.value().toString();
                else if (attribute.name() == u"shortVersionString")
                    item.enclosureShortVersion = attribute.value().toString();
            }
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    return item;
}

AppcastItem toItem(const RawItem& raw)
{
    AppcastItem item;
    for (const QString* candidate : {&raw.version, &raw.enclosureVersion, &raw.shortVersion})
        if (item.version.empty())
            item.version = text(*candidate);
    for (const QString* candidate : {&raw.shortVersion, &raw.enclosureShortVersion})
        if (item.displayVersion.empty())
            item.displayVersion = text(*candidate);
    if (item.displayVersion.empty())
        item.displayVersion = item.version;
    item.releaseNotesHtml = raw.notes.trimmed().toStdString();
    for (const QString* candidate : {&raw.link, &raw.enclosureUrl}) {
        const QUrl url(candidate->trimmed(), QUrl::StrictMode);
        if (item.downloadPage.empty() && isHttps(url))
            item.downloadPage = url.toString(QUrl::FullyEncoded).toStdString();
    }
    return item;
}

FeedError malformed(const QString& detail)
{
    return {FeedError::Kind::malformed, detail.toStdString()};
}

} // namespace

FeedResult parseAppcast(const QByteArray& document)
{
    QXmlStreamReader xml(document);
    if (!xml.readNextStartElement())
        return malformed(xml.hasError() ? QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString())
                                        : QStringLiteral("the document is empty"));
    if (xml.name() != u"rss")
        return malformed(QStringLiteral("not an RSS feed (it starts with <%1>)").arg(xml.name()));

    std::vector<AppcastItem> items;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"item")
            items.push_back(toItem(readItem(xml)));
    }
    if (xml.hasError())
        return malformed(QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
    const bool anyVersion = std::any_of(items.begin(), items.end(), [](const AppcastItem& i) { return !i.version.empty(); });
    if (!items.empty() && !anyVersion)
        return malformed(QStringLiteral("no release in it names a version"));
    return items;
}

bool isAllowedFeedAddress(const QUrl& url)
{
    if (isHttps(url))
        return true;
    if (!url.isValid() || url.scheme() != QLatin1String("http"))
        return false;
    const QString host = url.host();
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
}

QtAppcastFeed::QtAppcastFeed(QUrl address, QString version, Limits limits, QObject* parent)
    : QObject(parent),
      m_address(std::move(address)),
      m_userAgent(QStringLiteral("Hushglass/%1").arg(version).toUtf8()),
      m_limits(limits)
{
    m_network.setCookieJar(nullptr);
}

QtAppcastFeed::~QtAppcastFeed()
{
    // Running replies are children of the manager: abort them quietly.
    for (QNetworkReply* reply : m_network.findChildren<QNetworkReply*>()) {
        reply->disconnect();
        reply->abort();
    }
}

QUrl QtAppcastFeed::configuredAddress()
{
    const QString fromEnvironment = qEnvironmentVariable("HUSHGLASS_APPCAST_URL").trimmed();
    return QUrl(fromEnvironment.isEmpty() ? QStringLiteral(HUSHGLASS_APPCAST_URL) : fromEnvironment);
}

bool QtAppcastFeed::isConfigured() const
{
    return !m_address.isEmpty();
}

void QtAppcastFeed::fetch(std::function<void(FeedResult)> done)
{
    if (!isAllowedFeedAddress(m_address)) {
        FeedError error{FeedError::Kind::insecureAddress, m_address.toString().toStdString()};
        if (!isConfigured())
            error = {FeedError::Kind::notConfigured, {}};
        QTimer::singleShot(0, this, [done = std::move(done), error] { done(error); });
        return;
    }

    QNetworkRequest request(m_address);
    request.setHeader(QNetworkRequest::UserAgentHeader, m_userAgent);
    // The same for everyone: Qt would fill in the user's languages.
    request.setRawHeader("Accept-Language", "*");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    QNetworkReply* reply = m_network.get(request);

    // Why the fetch was cut short, when it was.
    auto stopped = std::make_shared<std::optional<FeedError>>();
    auto body = std::make_shared<QByteArray>();
    const qint64 maxBytes = m_limits.maxBytes;
    auto stop = [reply, stopped](FeedError reason) {
        if (!*stopped)
            *stopped = std::move(reason);
        reply->abort();
    };

    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, [stop] { stop({FeedError::Kind::timeout, {}}); });
    deadline->start(m_limits.timeout);

    connect(reply, &QNetworkReply::redirected, reply, [reply, stop](const QUrl& target) {
        const QUrl resolved = reply->url().resolved(target);
        if (isAllowedFeedAddress(resolved))
            Q_EMIT reply->redirectAllowed();
        else
            stop({FeedError::Kind::insecureAddress, resolved.toString().toStdString()});
    });
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, stop, maxBytes] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes)
            stop({FeedError::Kind::tooLarge, {}});
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, stop, body, maxBytes] {
        body->append(reply->readAll());
        if (body->size() > maxBytes)
            stop({FeedError::Kind::tooLarge, {}});
    });
    connect(reply, &QNetworkReply::finished, this, [reply, stopped, body, maxBytes, done = std::move(done)] {
        reply->deleteLater();
        if (*stopped)
            return done(**stopped);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 300 || (reply->error() != QNetworkReply::NoError && status >= 200)) {
            return done(FeedError{FeedError::Kind::httpError, reply->errorString().toStdString(), status});
        }
        if (reply->error() == QNetworkReply::SslHandshakeFailedError)
            return done(FeedError{FeedError::Kind::tls, reply->errorString().toStdString()});
        if (reply->error() == QNetworkReply::TimeoutError)
            return done(FeedError{FeedError::Kind::timeout, {}});
        if (reply->error() != QNetworkReply::NoError)
            return done(FeedError{FeedError::Kind::network, reply->errorString().toStdString()});
        body->append(reply->readAll());
        if (body->size() > maxBytes)
            return done(FeedError{FeedError::Kind::tooLarge, {}});
        done(parseAppcast(*body));
    });
}

} // namespace hg
