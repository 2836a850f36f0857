// A scripted capture service, in one of two ways:
//
// - On its own, every request waits until the test answers it
//   (`answerContent`, `answerShot`), unless `autoContent` or `autoImage`
//   answer at once. `screens` says which displays exist.
// - Over a fake desktop (screens and window server), it answers from that
//   desktop at once: the content lists its displays and windows, and every
//   screenshot is a small solid picture of `shade` (or what `image` makes for
//   the display), unless `holdShots` keeps screenshots waiting.
//
//     FakeCaptureService service;                    // the capturer's own tests
//     service.autoContent = content;
//     FakeCaptureService desktop(screens, server);   // the controller's tests
//     desktop.holdShots = true;  ...  desktop.answerShot();
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "engine/capture/capture_service.h"
#include "support/fakes/fake_screens.h"
#include "support/fakes/fake_window_server.h"

namespace hg::testing {

// An opaque image of the given size in one colour.
inline CapturedImage solidImage(int width, int height, std::uint8_t r = 0, std::uint8_t g = 0, std::uint8_t b = 0)
{
    std::vector<std::uint8_t> bytes(4 * static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        bytes[i] = r;
        bytes[i + 1] = g;
        bytes[i + 2] = b;
        bytes[i + 3] = 255;
    }
    return CapturedImage::make(width, height, std::move(bytes));
}

class FakeCaptureService final : public CaptureService {
public:
    struct Shot {
        ContentFilter filter;
        CaptureConfiguration configuration;
        ImageReply reply;  // empty in `shotLog`
    };

    FakeCaptureService() = default;
    FakeCaptureService(const FakeScreens& screens, FakeWindowServer& server) : m_screens(&screens), m_server(&server)
    {
    }

    bool hasScreen(DisplayID display) const override
    {
        if (m_screens)
            return available && m_screens->displayBounds(display).has_value();
        return screens.contains(display);
    }
    void shareableContent(ContentReply done) override
    {
        ++contentRequestCount;
        if (m_screens)
            done(desktopContent());
        else if (autoContent)
            done(*autoContent);
        else
            contentRequests.push_back(std::move(done));
    }
    void screenshot(const ContentFilter& filter, const CaptureConfiguration& configuration, ImageReply done) override
    {
        shotLog.push_back({filter, configuration, {}});
        if (!holdShots && autoImage)
            done((*autoImage)(configuration));
        else if (!holdShots && m_screens)
            done(failShots ? std::nullopt : std::optional(desktopPicture(filter.display.displayID)));
        else
            shots.push_back({filter, configuration, std::move(done)});
    }

    // Answers the oldest waiting content request.
    void answerContent(std::optional<ShareableContent> content)
    {
        auto reply = std::move(contentRequests.front());
        contentRequests.pop_front();
        reply(std::move(content));
    }
    // Answers the oldest waiting screenshot with `image`…
    void answerShot(std::optional<CapturedImage> image)
    {
        Shot shot = std::move(shots.front());
        shots.pop_front();
        shot.reply(std::move(image));
    }
    // …or with the desktop's picture of its display.
    void answerShot() { answerShot(desktopPicture(shots.front().filter.display.displayID)); }

    // On its own.
    std::set<DisplayID> screens{1};
    std::optional<ShareableContent> autoContent;
    std::optional<std::function<std::optional<CapturedImage>(const CaptureConfiguration&)>> autoImage;
    std::deque<ContentReply> contentRequests;  // waiting

    // Over a desktop.
    bool available = true;     // false: no screen is connected (every capture fails at once)
    bool failShots = false;    // screenshots answer nothing
    bool holdShots = false;    // screenshots wait for answerShot
    std::uint8_t shade = 128;  // every pixel's bytes: the screen "changes" when this does
    // When set, makes every picture instead of the solid one of `shade`.
    std::function<CapturedImage(DisplayID)> image;

    std::deque<Shot> shots;    // waiting
    std::deque<Shot> shotLog;  // every screenshot asked for
    int contentRequestCount = 0;

private:
    ShareableContent desktopContent() const
    {
        ShareableContent content;
        for (const Screen& screen : m_screens->screens())
            content.displays.push_back({*screen.displayNumber, *m_screens->displayBounds(*screen.displayNumber),
                                        screen.backingScaleFactor});
        const auto entries = m_server->windowList(WindowListOption::all);
        for (const WindowInfoEntry& e : entries.value_or(std::vector<WindowInfoEntry>{}))
            content.windows.push_back({static_cast<WindowID>(*e.windowNumber), static_cast<std::int32_t>(*e.ownerPID),
                                       "", *e.bounds, static_cast<int>(*e.layer), false});
        return content;
    }
    // A 16 × 10 opaque grey image unless `image` is set: small, so blurs cost nothing.
    CapturedImage desktopPicture(DisplayID display) const
    {
        if (image)
            return image(display);
        return CapturedImage::make(16, 10, std::vector<std::uint8_t>(16 * 10 * 4, shade));
    }

    const FakeScreens* m_screens = nullptr;
    FakeWindowServer* m_server = nullptr;
};

} // namespace hg::testing
