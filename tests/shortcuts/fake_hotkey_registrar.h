// A hot-key registry in memory: records what is registered, can refuse
// combinations "held by another program", and presses registered shortcuts.
#pragma once

#include <map>
#include <set>
#include <utility>

#include "ui/shortcuts/hotkey_manager.h"

namespace hg::testing {

class FakeHotkeyRegistrar final : public HotkeyRegistrar {
public:
    struct Registration {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        HotkeyID id;
    };

    bool installHandler(std::function<void(HotkeyID)> h) override
    {
        ++installs;
        if (failInstall)
            return false;
        handler = std::move(h);
        return true;
    }
    std::optional<HotkeyRef> registerHotkey(std::uint32_t keyCode, std::uint32_t modifiers, HotkeyID id) override
    {
        if (heldElsewhere.contains({keyCode, modifiers}))
            return std::nullopt;
        for (const auto& [ref, r] : live)
            if (r.keyCode == keyCode && r.modifiers == modifiers)
                return std::nullopt;  // this process already holds it
        live[++m_nextRef] = {keyCode, modifiers, id};
        return m_nextRef;
    }
    void unregisterHotkey(HotkeyRef ref) override { live.erase(ref); }

    // The handler hears the id the combination was registered under; nothing
    // happens for a combination nobody registered.
    void press(std::uint32_t keyCode, std::uint32_t modifiers)
    {
        for (const auto& [ref, r] : live)
            if (r.keyCode == keyCode && r.modifiers == modifiers && handler)
                return handler(r.id);
    }

    std::map<HotkeyRef, Registration> live;
    std::set<std::pair<std::uint32_t, std::uint32_t>> heldElsewhere;
    std::function<void(HotkeyID)> handler;
    bool failInstall = false;
    int installs = 0;

private:
    HotkeyRef m_nextRef = 0;
};

} // namespace hg::testing
