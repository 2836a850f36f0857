// The release feed over a loopback HTTP server: what a feed says, how each
// kind of failure ends, and a user's check from the controller to its status.
#include "platform/system/appcast_feed.h"

#include <gtest/gtest.h>
#include <cstdlib>

#include "platform/runtime/qt_runtime.h"
#include "support/loopback_http_server.h"
#include "system/updater_controller.h"
#include "qt_test_app.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackHttpServer;

QByteArray appcast(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:hg=\"https://hushglass.invalid/xml-namespaces/update\">\n"
           "<channel><title>Hushglass</title>\n" +
           items + "</channel></rss>\n";
}

QByteArray release(const QByteArray& version, const QByteArray& shown)
{
    return "<item><title>Hushglass " + shown + "</title>"
           "<hg:version>" + version + "</hg:version><hg:shortVersionString>" + shown + "</hg:shortVersionString>"
           "<description><![CDATA[<h2>What's new</h2><p>Faster blur.</p>]]></description>"
           "<link>https://example.org/hushglass/" + shown + "</link>"
           "<enclosure url=\"https://example.org/hushglass_" + shown + "_amd64.deb\" length=\"1\" "
           "type=\"application/vnd.debian.binary-package\"/></item>\n";
}

class AppcastFeedTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::ensureQtApplication(); }

    FeedResult fetch(const QUrl& url, QtAppcastFeed::Limits limits = {})
    {
        QtAppcastFeed feed(url, "0.1.0", limits);
        std::optional<FeedResult> result;
        feed.fetch([&](FeedResult r) { result = std::move(r); });
        EXPECT_TRUE(testing::spinUntil([&] { return result.has_value(); }));
        return result.value_or(FeedError{FeedError::Kind::network, "no answer"});
    }

    static std::optional<FeedError::Kind> errorKind(const FeedResult& result)
    {
        if (const auto* error = std::get_if<FeedError>(&result))
            return error->kind;
        return std::nullopt;
    }

    LoopbackHttpServer server;
};

TEST_F(AppcastFeedTest, ReadsTheReleasesOfAFeedWhateverItsNamespace)
{
    const QByteArray other = "<item xmlns:x=\"urn:other\"><x:shortVersionString>2.0 beta</x:shortVersionString>"
                             "<enclosure url=\"http://example.org/plain.deb\" x:version=\"2.0b1\"/>"
                             "<link>javascript:alert(1)</link></item>";
    const FeedResult result = parseAppcast(appcast(release("1.2.0", "1.2") + other));
    const auto* items = std::get_if<std::vector<AppcastItem>>(&result);
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[0].version, "1.2.0");
    EXPECT_EQ((*items)[0].displayVersion, "1.2");
    EXPECT_EQ((*items)[0].releaseNotesHtml, "<h2>What's new</h2><p>Faster blur.</p>");
    EXPECT_EQ((*items)[0].downloadPage, "https://example.org/hushglass/1.2");
    EXPECT_EQ((*items)[1].version, "2.0b1");
    EXPECT_EQ((*items)[1].displayVersion, "2.0 beta");
    EXPECT_EQ((*items)[1].downloadPage, "");  // neither address is https

    EXPECT_TRUE(std::holds_alternative<std::vector<AppcastItem>>(parseAppcast(appcast(""))));
}

TEST_F(AppcastFeedTest, DocumentsThatAreNoFeedAreMalformed)
{
    for (const QByteArray& document : {QByteArray(""), QByteArray("<html><body>Moved</body></html>"),
                                       appcast(release("1.2", "1.2")).left(200), QByteArray("\x89PNG\r\n"),
                                       appcast("<item><title>no version</title></item>")}) {
        const FeedResult result = parseAppcast(document);
        ASSERT_TRUE(std::holds_alternative<FeedError>(result)) << document.toStdString();
        EXPECT_EQ(std::get<FeedError>(result).kind, FeedError::Kind::malformed);
        EXPECT_FALSE(std::get<FeedError>(result).detail.empty());
    }
}

TEST_F(AppcastFeedTest, OnlyHttpsAndLoopbackHttpAddressesAreFetched)
{
    for (const char* allowed : {"https://example.org/appcast.xml", "http://127.0.0.1:8080/a", "http://[::1]/a",
                                "http://localhost/a"})
        EXPECT_TRUE(isAllowedFeedAddress(QUrl(allowed))) << allowed;
    for (const char* refused : {"http://example.org/appcast.xml", "ftp://127.0.0.1/a", "file:///etc/passwd",
                                "https://", "http://127.0.0.1.example.org/a", ""})
        EXPECT_FALSE(isAllowedFeedAddress(QUrl(refused))) << refused;

    EXPECT_EQ(errorKind(fetch(QUrl("http://example.org/appcast.xml"))), FeedError::Kind::insecureAddress);
    EXPECT_EQ(errorKind(fetch(QUrl())), FeedError::Kind::notConfigured);
}

TEST_F(AppcastFeedTest, EveryKindOfFailureEndsAsAnError)
{
    const QByteArray big = appcast(QByteArray(1024 * 1024, ' '));
    server.route("/malformed", {200, {}, "<rss><channel><item>"});
    server.route("/gone", {404, {}, "not found"});
    server.route("/broken", {500, {}, "oops"});
    server.route("/slow", {.silent = true});
    server.route("/to-plain-http", {302, {{"Location", "http://example.org/appcast.xml"}}, {}});
    server.route("/oversized", {200, {}, big});
    server.route("/oversized-unannounced", {.body = big, .withContentLength = false});

    struct Case {
        const char* path;
        FeedError::Kind kind;
    };
    for (const Case& c : {Case{"/malformed", FeedError::Kind::malformed}, Case{"/gone", FeedError::Kind::httpError},
                          Case{"/broken", FeedError::Kind::httpError}, Case{"/slow", FeedError::Kind::timeout},
                          Case{"/to-plain-http", FeedError::Kind::insecureAddress},
                          Case{"/oversized", FeedError::Kind::tooLarge},
                          Case{"/oversized-unannounced", FeedError::Kind::tooLarge}}) {
        const FeedResult result = fetch(server.url(c.path), {.timeout = 300ms});
        EXPECT_EQ(errorKind(result), c.kind) << c.path;
    }
    const FeedResult gone = fetch(server.url("/gone"));
    EXPECT_EQ(std::get<FeedError>(gone).httpStatus, 404);
    EXPECT_EQ(std::get<FeedError>(fetch(server.url("/broken"))).httpStatus, 500);
}

TEST_F(AppcastFeedTest, AnHttpsRequestToAServerThatSpeaksNoTlsFailsReadably)
{
    QTcpServer plain;  // answers the TLS greeting with plain text
    ASSERT_TRUE(plain.listen(QHostAddress::LocalHost));
    QObject::connect(&plain, &QTcpServer::newConnection, &plain, [&plain] {
        QTcpSocket* socket = plain.nextPendingConnection();
        socket->write("HTTP/1.0 400 Bad Request\r\n\r\nthis is no TLS\r\n");
        socket->disconnectFromHost();
    });
    const FeedResult result = fetch(QUrl(QStringLiteral("https://127.0.0.1:%1/appcast.xml").arg(plain.serverPort())),
                                    {.timeout = 2000ms});
    ASSERT_TRUE(std::holds_alternative<FeedError>(result));
    const FeedError& error = std::get<FeedError>(result);
    EXPECT_TRUE(error.kind == FeedError::Kind::tls || error.kind == FeedError::Kind::network) << error.detail;
    EXPECT_FALSE(error.detail.empty());
}

TEST_F(AppcastFeedTest, FollowsLoopbackRedirectsAndSendsOnlyAPlainUserAgent)
{
    server.route("/moved", {301, {{"Location", "/appcast.xml"}}, {}});
    server.route("/appcast.xml", {200, {{"Set-Cookie", "id=42"}}, appcast(release("1.2", "1.2"))});
    EXPECT_FALSE(errorKind(fetch(server.url("/moved"))));
    EXPECT_FALSE(errorKind(fetch(server.url("/appcast.xml"))));

    ASSERT_EQ(server.requests().size(), 3);
    for (const QByteArray& request : server.requests()) {
        EXPECT_TRUE(request.contains("\r\nUser-Agent: Hushglass/0.1.0\r\n")) << request.toStdString();
        EXPECT_FALSE(request.toLower().contains("cookie")) << request.toStdString();
        // Qt would otherwise name the user's languages.
        EXPECT_TRUE(request.contains("\r\nAccept-Language: *\r\n")) << request.toStdString();
    }
}

TEST_F(AppcastFeedTest, TheEnvironmentOverridesTheBuiltInAddress)
{
    ::setenv("HUSHGLASS_APPCAST_URL", "https://mirror.example.org/appcast.xml", 1);
    EXPECT_EQ(QtAppcastFeed::configuredAddress(), QUrl("https://mirror.example.org/appcast.xml"));
    ::unsetenv("HUSHGLASS_APPCAST_URL");
    EXPECT_EQ(QtAppcastFeed::configuredAddress(), QUrl(HUSHGLASS_APPCAST_URL_FOR_TESTS));
}

// The offer window is someone else's test; here it only records.
class NoWindow final : public UpdateOfferPresenter {
public:
    void present(const UpdateOffer& offer, std::function<void(UpdateChoice)>) override { offered.push_back(offer); }
    void replace(const UpdateOffer& offer) override { offered.push_back(offer); }
    std::vector<UpdateOffer> offered;
};

class NoOpener final : public UrlOpener {
public:
    void open(const std::string&) override {}
};

class EnglishOnly final : public PreferredLanguages {
public:
    std::vector<std::string> preferredLanguages() const override { return {"en"}; }
};

TEST_F(AppcastFeedTest, AUserCheckAgainstTheServerEndsInTheStatusTheFeedCallsFor)
{
    server.route("/newer", {200, {}, appcast(release("0.9", "0.9") + release("1.2.0", "1.2"))});
    server.route("/same", {200, {}, appcast(release("0.1", "0.1"))});
    server.route("/older", {200, {}, appcast(release("0.0.9", "0.0.9"))});
    server.route("/gone", {404, {}, {}});

    using Status = UpdaterController::Status;
    struct Case {
        const char* path;
        Status want;
    };
    for (const Case& c : {Case{"/newer", Status::updateAvailable("1.2")}, Case{"/same", Status::upToDate()},
                          Case{"/older", Status::upToDate()},
                          Case{"/gone", Status::error("The update server answered with error 404.")}}) {
        QtMainQueue queue;
        SystemClock clock;
        InMemoryDefaults defaults;
        NotificationCenter notifications;
        EnglishOnly languages;
        I18n i18n(defaults, notifications, languages);
        QtAppcastFeed feed(server.url(c.path), "0.1.0", {});
        NoWindow window;
        NoOpener opener;
        AppcastUpdater driver({queue, clock, defaults, notifications, i18n, feed, window, opener}, "0.1.0");
        UpdaterController updater(driver, queue);

        updater.checkForUpdates();
        EXPECT_EQ(updater.status(), Status::checking());
        EXPECT_TRUE(testing::spinUntil([&] { return updater.status().kind() != Status::Kind::checking; }));
        EXPECT_EQ(updater.status(), c.want) << c.path << ": " << updater.status().text();
        EXPECT_EQ(window.offered.size(), c.want.kind() == Status::Kind::updateAvailable ? 1u : 0u);
    }
}

} // namespace
} // namespace hg
