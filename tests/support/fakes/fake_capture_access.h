// Screen-capture permission as the test sets it; requests are counted.
#pragma once

#include "engine/capture/capture_service.h"

namespace hg::testing {

class FakeCaptureAccess final : public CaptureAccess {
public:
    bool preflight() override { return granted; }
    bool request() override
    {
        ++requests;
        return granted;
    }
    bool granted = true;
    int requests = 0;
};

} // namespace hg::testing
