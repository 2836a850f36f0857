// A scripted workspace: the frontmost application, counted at every query.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/windows/workspace.h"

namespace hg::testing {

class FakeWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() override
    {
        ++frontmostQueries;
        return frontmost;
    }
    std::vector<RunningApplication> runningApplications() override { return running; }
    std::optional<std::uint64_t> activationCount() override { return activations; }

    std::optional<RunningApplication> frontmost;
    std::vector<RunningApplication> running;
    int frontmostQueries = 0;  // one per focus choice
    std::optional<std::uint64_t> activations;  // set: a workspace told of activations
};

} // namespace hg::testing
