// A scripted workspace: the frontmost application, counted at every query.
#pragma once

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

    std::optional<RunningApplication> frontmost;
    std::vector<RunningApplication> running;
    int frontmostQueries = 0;  // one per focus choice
};

} // namespace hg::testing
