// A user's update check against a feed served on the loopback interface: the
// time from "Check for Updates" to the status change the interface shows, for a
// feed that offers a newer version and for one that does not. Prints the median
// and the 90th percentile over many checks.
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/runtime/qt_runtime.h"
#include "platform/system/appcast_feed.h"
#include "support/loopback_http_server.h"
#include "system/updater_controller.h"

namespace {

using namespace hg;

class NoWindow final : public UpdateOfferPresenter {
public:
    void present(const UpdateOffer&, std::function<void(UpdateChoice)> onClose) override { onClose(UpdateChoice::remindMeLater); }
    void replace(const UpdateOffer&) override {}
};

class NoOpener final : public UrlOpener {
public:
    void open(const std::string&) override {}
};

class English final : public PreferredLanguages {
public:
    std::vector<std::string> preferredLanguages() const override { return {"en"}; }
};

// A feed of `releases` items, the newest first, like a project's appcast after some releases.
QByteArray feedOf(int releases, int newestMinor)
{
    QByteArray items;
    for (int i = 0; i < releases; ++i) {
        const QByteArray v = i == 0 ? "0." + QByteArray::number(newestMinor) + ".0"
                                    : "0.0." + QByteArray::number(releases - i);
        items += "<item><title>Hushglass " + v + "</title><hg:version>" + v + "</hg:version>"
                 "<description><![CDATA[<h2>What's new</h2><ul><li>One</li><li>Two</li><li>Three</li></ul>]]>"
                 "</description><link>https://example.org/hushglass/" + v + "</link></item>\n";
    }
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:hg=\"urn:hushglass\"><channel>" + items +
           "</channel></rss>";
}

struct Figures {
    double median, p90;
    std::string outcome;  // the last check's status
};

Figures measure(testing::LoopbackHttpServer& server, const QString& path, int runs)
{
    QtMainQueue queue;
    SystemClock clock;
    InMemoryDefaults defaults;
    NotificationCenter notifications;
    English languages;
    I18n i18n(defaults, notifications, languages);
    QtAppcastFeed feed(server.url(path), "0.1.0", {});
    NoWindow window;
    NoOpener opener;
    AppcastUpdater driver({queue, clock, defaults, notifications, i18n, feed, window, opener}, "0.1.0");
    UpdaterController updater(driver, queue);

    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QEventLoop loop;
        ScopedConnection done = updater.statusChanged().connect([&](const UpdaterController::Status& s) {
            if (s.kind() != UpdaterController::Status::Kind::checking)
                loop.quit();
        });
        const auto start = std::chrono::steady_clock::now();
        updater.checkForUpdates();
        loop.exec();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    const auto kind = updater.status().kind();
    const std::string outcome = kind == UpdaterController::Status::Kind::updateAvailable
        ? "update available (" + updater.status().text() + ")"
        : kind == UpdaterController::Status::Kind::upToDate ? "up to date" : "error: " + updater.status().text();
    return {ms[ms.size() / 2], ms[ms.size() * 9 / 10], outcome};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    hg::testing::LoopbackHttpServer server;
    const QByteArray newer = feedOf(20, 2);
    server.route("/newer", {200, {}, newer});
    server.route("/same", {200, {}, feedOf(20, 1)});
    constexpr int runs = 200;
    std::printf("update check over loopback HTTP, %d checks each, feed of 20 releases (%lld bytes)\n", runs,
                static_cast<long long>(newer.size()));
    for (const char* path : {"/newer", "/same"}) {
        const Figures f = measure(server, path, runs);
        std::printf("  %-7s Check now -> status change: median %.2f ms, p90 %.2f ms (%s)\n", path + 1, f.median, f.p90,
                    f.outcome.c_str());
    }
    return 0;
}
