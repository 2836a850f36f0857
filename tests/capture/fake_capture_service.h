// A scripted capture service: requests wait until the test answers them (or
// are answered at once when an automatic answer is set).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <set>

#include "engine/capture/capture_service.h"

namespace hg::testing {

class FakeCaptureService final : public CaptureService {
public:
    struct Shot {
        ContentFilter filter;
        CaptureConfiguration configuration;
        ImageReply reply;
    };

    bool hasScreen(DisplayID display) const override { return screens.contains(display); }
    void shareableContent(ContentReply done) override
    {
        ++contentRequestCount;
        if (autoContent)
            done(*autoContent);
        else
            contentRequests.push_back(std::move(done));
    }
    void screenshot(const ContentFilter& filter, const CaptureConfiguration& configuration, ImageReply done) override
    {
        shotLog.push_back({filter, configuration, {}});
        if (autoImage)
            done((*autoImage)(configuration));
        else
            shots.push_back({filter, configuration, std::move(done)});
    }

    void answerContent(std::optional<ShareableContent> content)
    {
        auto reply = std::move(contentRequests.front());
        contentRequests.pop_front();
        reply(std::move(content));
    }
    void answerShot(std::optional<CapturedImage> image)
    {
        auto shot = std::move(shots.front());
        shots.pop_front();
        shot.reply(std::move(image));
    }

    std::set<DisplayID> screens{1};
    std::optional<ShareableContent> autoContent;
    std::optional<std::function<std::optional<CapturedImage>(const CaptureConfiguration&)>> autoImage;
    std::deque<ContentReply> contentRequests;
    std::deque<Shot> shots;
    std::deque<Shot> shotLog;  // every screenshot asked for (replies not kept)
    int contentRequestCount = 0;
};

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

} // namespace hg::testing
