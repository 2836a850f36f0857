// A scripted window server: the window list front to back, and the
// application identifier of each process. Every call is recorded.
//
//     FakeWindowServer server;
//     server.set({snapshot});                 // from the scanner's own records
//     server.list = std::nullopt;             // or field by field: no list at all
//     server.setBundle(100, "com.example.editor");
//
// The calls may come from a pool thread; script the fields while no scan runs.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/windows/window_snapshot.h"
#include "engine/windows/window_server.h"

namespace hg::testing {

class FakeWindowServer final : public WindowServer {
public:
    std::optional<std::vector<WindowInfoEntry>> windowList(WindowListOption options) override
    {
        std::lock_guard lock(m_mutex);
        listRequests.push_back(options);
        return list;
    }
    std::optional<std::string> bundleIdentifier(std::int32_t pid) override
    {
        std::lock_guard lock(m_mutex);
        lookups.push_back(pid);
        const auto it = applications.find(pid);
        if (it == applications.end())
            return std::nullopt;
        return it->second;
    }

    // The list made of snapshots, front to back.
    void set(const std::vector<WindowSnapshot>& windows)
    {
        std::vector<WindowInfoEntry> entries;
        for (const WindowSnapshot& w : windows)
            entries.push_back({w.windowID, w.pid, w.layer, w.rect, w.isOnScreen});
        std::lock_guard lock(m_mutex);
        list = std::move(entries);
    }
    void setBundle(std::int32_t pid, std::string id)
    {
        std::lock_guard lock(m_mutex);
        applications[pid] = std::move(id);
    }

    std::optional<std::vector<WindowInfoEntry>> list = std::vector<WindowInfoEntry>{};
    std::map<std::int32_t, std::string> applications;  // process → application identifier
    std::vector<WindowListOption> listRequests;
    std::vector<std::int32_t> lookups;

private:
    std::mutex m_mutex;
};

} // namespace hg::testing
