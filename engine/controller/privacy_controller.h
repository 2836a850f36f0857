// The orchestrator of the effect: switches it on and off, drives every frame
// and every capture, keeps excluded applications and displays sharp, pauses
// for sleep, lock, the screen saver and an updater's modal window, follows
// system events, and falls back to system materials when screen capture is
// not available.
//
// One instance, created and owned by the application delegate. It owns the
// settings store, the window scanner, the screen capturer, the frame scheduler
// and one `BlurOverlay` per covered display. It is observable: before every
// change that the interface shows (enabled state, fallback mode, settings it
// writes) it emits `objectWillChange`.
//
// Main thread only. Background work (scans, captures, blurs) hands its results
// back through the main queue; a result started before a rebuild, a space
// change or switching off is recognised by the changed `generation` and
// dropped. Every callback, observer and task that points back here holds the
// controller weakly.
//
// What it keeps per covered display is one `DisplayState` in one map.
//
// The behaviour is split over several files: privacy_controller.cpp (state
// and switching), _frame.cpp (the frame tick), _focus.cpp (following the
// focus window), _stacking.cpp (where the overlays go in the window stack),
// _capture.cpp (the capture pass: capture_plan.h plans it, the controller
// carries it out), _exclusions.cpp (excluded windows, full screen, pauses),
// _events.cpp (system events) and _permission.cpp (capture capability and
// relaunch).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/async.h"
#include "base/background_pool.h"
#include "base/clock.h"
#include "base/main_queue.h"
#include "base/notification_center.h"
#include "base/signal.h"
#include "base/weak_ptr.h"
#include "engine/capture/blur_processor.h"
#include "engine/capture/screen_capturer.h"
#include "engine/controller/capture_plan.h"
#include "engine/controller/desktop_ports.h"
#include "engine/controller/display_state.h"
#include "engine/controller/effect_ports.h"
#include "engine/overlay/blur_overlay.h"
#include "engine/pacing/frame_scheduler.h"
#include "engine/windows/focus_tracker.h"
#include "engine/windows/window_scanner.h"
#include "engine/windows/workspace.h"
#include "settings/settings_store.h"

namespace hg {

// Everything the controller reaches the system through; owned by the
// application, alive as long as the controller.
struct PrivacyControllerPorts {
    MainQueue& queue;
    Clock& clock;
    BackgroundPool& pool;
    NotificationCenter& notifications;
    DefaultsDomain& defaults;
    WindowServer& windowServer;
    Workspace& workspace;
    ScreenSource& screens;
    CaptureService& capture;
    CaptureAccess& captureAccess;
    OverlaySurfaceFactory& overlaySurfaces;
    TickSourceFactory& ticks;
    ApplicationWindows& appWindows;
    PointerSource& pointer;
    DisplayPower& displayPower;
    SessionState& session;
    EffectAlerts& alerts;
    Relauncher& relauncher;
};

class PrivacyController : public ObservableObject {
public:
    using DisplayID = std::uint32_t;
    using WindowID = std::uint32_t;

    explicit PrivacyController(PrivacyControllerPorts ports);
    ~PrivacyController() override;

    // Switching. Toggling, as every caller does it: disable() or enable(), then
    // store the new state with `setEffectEnabledSetting`.
    void enable();
    void disable();
    [[nodiscard]] bool isEnabled() const { return m_enabled; }
    // Writes the remembered on/off state ("enabled") after a toggle.
    void setEffectEnabledSetting(bool enabled);
    // Emitted with the new state at the end of enable() and disable().
    Signal<bool> enabledChanged;

    // Throws every overlay away and builds new ones from the screens and settings.
    void rebuildOverlays(bool animated);

    // Live settings: clamped, compared, announced, stored and applied.
    void setBlurRadius(double points);
    void setTintAmount(double amount);
    void setTintColor(Color color);
    void setCursorRevealRadius(double points);
    void addExcludedApp(std::string_view bundleID);
    void removeExcludedApp(std::string_view bundleID);

    // A handle that goes null when the controller is destroyed.
    [[nodiscard]] WeakPtr<PrivacyController> weakPtr() const { return m_weak.get(); }
    [[nodiscard]] SettingsStore& store() { return m_store; }
    [[nodiscard]] const SettingsStore& store() const { return m_store; }
    [[nodiscard]] bool usesVibrancy() const { return m_usesVibrancy; }
    [[nodiscard]] bool isPowerPaused() const { return m_powerPaused; }
    [[nodiscard]] bool isUpdatePaused() const { return m_updatePaused; }
    [[nodiscard]] const std::optional<FocusedWindow>& focus() const { return m_focus; }
    // The overlay of every covered display.
    [[nodiscard]] std::map<DisplayID, BlurOverlay*> overlays() const;
    // Everything kept per covered display.
    [[nodiscard]] const std::map<DisplayID, DisplayState>& displays() const { return m_displays; }
    [[nodiscard]] FrameScheduler& scheduler() { return m_scheduler; }
    [[nodiscard]] std::uint64_t generation() const { return m_generation; }
    [[nodiscard]] const std::vector<SharpWindow>& excludedWindows() const { return m_excludedWindows; }

    // The two paths the scheduler drives (public for tests and benchmarks).
    void frameTick();
    void runCapturePass(CapturePass pass);
    [[nodiscard]] std::uint64_t captureDelayNanos() const;
    void clockCheck();
    // Whether nothing but an outside change (a window, an activation, the
    // screen's content, a setting) can change what the overlays show, so that
    // the frame clock may tick slowly.
    [[nodiscard]] bool frameClockMayIdle() const;
    // Something outside may have changed what is shown: the frame clock runs
    // at the display's rate again, from a tick at once.
    void wakeFrameClock() { m_scheduler.wake(); }

    [[nodiscard]] bool focusIsRevealable() const;
    [[nodiscard]] std::optional<WindowID> ownWindowOnOverlaidScreen() const;
    // Whether a full-screen window of the frontmost application covers the display.
    [[nodiscard]] bool isSwallowed(DisplayID display) const;

    // Pauses (the notifications of the system-events code call these).
    void enterPowerPause();
    void leavePowerPause();
    void enterUpdatePause();
    void leaveUpdatePause();

    // System events, as the observers installed by enable() call them.
    void scheduleDisplayChange();
    void handleDisplayChange();
    void lockCheck();
    void handleSpaceChange();

private:
    // Switching helpers.
    void closeAllOverlays();
    void installSchedulerHooks();
    void registerObservers();
    void removeObservers();
    void applyTintToOverlays();
    void resetSettled() { m_scheduler.resetSettledFrames(); }
    // Every display is captured at the next pass.
    void recaptureAll();
    void startCaptureLoopIfActive();
    [[nodiscard]] double now() const { return m_ports.clock.secondsSinceReferenceDate(); }
    [[nodiscard]] std::vector<Screen> coverableScreens() const;

    // Frame tick.
    void announceCaptureExclusion();
    [[nodiscard]] Reveal revealFor(DisplayID display, const std::vector<WindowSnapshot>& windows) const;
    [[nodiscard]] std::optional<Rect> displayBounds(DisplayID display) const;

    // Following the focus window.
    void refreshFocus();
    void setFocus(const std::optional<FocusedWindow>& choice);
    [[nodiscard]] std::optional<FocusedWindow> locate(const FocusedWindow& window,
                                                      const std::vector<WindowSnapshot>& windows) const;

    // Stacking.
    void applyInsertion();
    // Every overlay at the normal level; true when one was not there yet.
    bool insertAll();
    // Every overlay above the ordinary windows; re-placed there when the stack changed.
    void raiseAll(bool restacked);
    // The inserted overlays directly below `target`, or at the front of the
    // normal level without one; nothing when they were placed so already.
    void orderInserted(std::optional<WindowID> target);
    // A hash of the stacking order of other programs' shown windows.
    [[nodiscard]] std::uint64_t stackingSignature(const std::vector<WindowSnapshot>& windows) const;
    // Not ours, not an excluded application's, and below a raised overlay.
    [[nodiscard]] bool mustStayBlurred(const WindowSnapshot& window) const;
    // A window that must stay blurred stands in front of the focus window on a covered display.
    [[nodiscard]] bool focusObstructed(const std::vector<WindowSnapshot>& windows) const;
    [[nodiscard]] std::vector<SharpWindow> cutOutWindowsOn(DisplayID display,
                                                           const std::vector<WindowSnapshot>& windows) const;

    // Capture pass.
    struct BlurOutcome {
        std::optional<BlurredFrame> frame;
        BlurInput input;         // what it was made from
        bool unchanged = false;  // the input equals the one the picture on screen was made from
        std::weak_ptr<const std::vector<std::uint8_t>> pixels;  // the capture's
    };
    // A 64-bit digest of the image's pixels and layout, four lanes at a time.
    [[nodiscard]] static std::uint64_t digestOf(const CapturedImage& image);
    static Async capturePass(WeakPtr<PrivacyController> weak, CapturePass pass);
    // Plans a pass from the displays as they are now, and notes which of them
    // the focus window reaches.
    [[nodiscard]] CapturePlan planPass(const std::optional<FocusedWindow>& focus, bool revealable);
    // The display has an overlay, is awake and is not left to a full-screen application.
    [[nodiscard]] bool capturable(DisplayID display) const;
    // What the picture on the display's overlay was made from; none without a picture.
    [[nodiscard]] std::optional<ShownBlur> shownBlur(DisplayID display) const;
    [[nodiscard]] double pointsToServerPixels(DisplayID display) const;
    // Hands a new (or an unchanged) picture to the display's overlay.
    void deliver(DisplayID display, const std::optional<FocusedWindow>& focus, BlurOutcome outcome);

    // Exclusions.
    void recomputeExcludedWindows(const std::vector<WindowSnapshot>& windows);
    [[nodiscard]] std::vector<SharpWindow> excludedWindowsOn(DisplayID display) const;

    // Capture capability (fallback, alerts, relaunch).
    void requestCaptureAccess();
    void startPermissionWarnTask();
    void showPermissionAlert();
    void showRestartAlert();
    void relaunch();
    void permissionCheck();
    void captureWatchdog();
    void stuckPictureCheck();
    [[nodiscard]] std::optional<DisplayID> alertHostDisplay() const;

    PrivacyControllerPorts m_ports;
    SettingsStore m_store;
    ScreenCapturer m_capturer;
    WindowScanner m_scanner;
    std::map<DisplayID, DisplayState> m_displays;  // one per covered display
    // Displays said to be stuck since their last picture. Not part of their
    // state: the episode goes on across a rebuild of the overlays, until a
    // new picture.
    std::set<DisplayID> m_stuckDisplaysLogged;
    FrameScheduler m_scheduler;

    std::vector<NotificationToken> m_observers;  // every observer, in registration order
    ScopedTaskHandle m_displayChangeTask;
    std::string m_screenSignature;
    Async m_permissionWarnTask;
    bool m_permissionAlertShown = false;
    std::optional<double> m_backendSwitchedAwaitingFirstFrame;  // seconds
    bool m_hasDeliveredFrameSinceBackendSwitch = false;
    int m_captureAttemptsSinceBackendSwitch = 0;

    bool m_enabled = false;
    bool m_usesVibrancy = false;
    bool m_powerPaused = false;
    double m_powerPausedAt = 0;  // seconds
    bool m_updatePaused = false;
    std::optional<std::int32_t> m_frontmostPID;
    std::optional<std::uint64_t> m_seenActivations;  // the workspace's activation count
    int m_choicesAfterActivation = 0;
    std::set<DisplayID> m_lastSwallowedDisplays;
    std::optional<FocusedWindow> m_focus;
    std::optional<FocusedWindow> m_lastPicturedFocus;
    // Where the inserted overlays were last ordered: below `target`, or at the
    // front of their level without one.
    struct InsertionOrder {
        std::optional<WindowID> target;
    };
    std::optional<InsertionOrder> m_insertionOrder;  // none: to be ordered again
    std::uint64_t m_appliedStacking = 0;  // stackingSignature when the overlays were last placed
    bool m_focusCutOut = false;           // raised above the focus window, which is cut out of the mask
    std::optional<WindowID> m_lastRevealedWindowID;
    std::optional<Point> m_cursorPoint;  // window-server coordinates
    int m_framesWithoutFocus = 0;
    // Seconds since the reference date when the focus window vanished from the
    // window list; none while it is there (or there is none).
    std::optional<double> m_focusRectStaleSince;
    bool m_loggedInsertionBailout = false;
    double m_enabledAt = 0;                        // seconds
    std::uint64_t m_generation = 0;
    std::vector<SharpWindow> m_excludedWindows;  // window-server coordinates
    std::optional<WindowID> m_excludedSkipID;
    std::optional<std::set<std::string>> m_excludedAppsComputedFor;

    WeakPtrFactory<PrivacyController> m_weak{this};
};

} // namespace hg
