#include "platform/pacing/x11_tick_source.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <xcb/present.h>
#include <xcb/randr.h>

#include "base/log.h"

namespace hg {

namespace {

constexpr double kFallbackRefreshHz = 60.0;
// Without a notification for this long (ms) the Present thread asks again, in
// case the pending request was lost (a monitor switched, for instance). Longer
// than the 1 Hz pace the server keeps while the monitors are blanked.
constexpr int kPresentSilenceMillis = 2500;

template <typename T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter<T>>;

double modeRate(const xcb_randr_mode_info_t& mode)
{
    double lines = mode.vtotal;
    if (mode.mode_flags & XCB_RANDR_MODE_FLAG_DOUBLE_SCAN)
        lines *= 2;
    if (mode.mode_flags & XCB_RANDR_MODE_FLAG_INTERLACE)
        lines /= 2;
    if (mode.dot_clock == 0 || mode.htotal == 0 || lines == 0)
        return 0;
    return mode.dot_clock / (mode.htotal * lines);
}

// The mode shown by `crtc`; 0 when it is off or unknown.
xcb_randr_mode_t crtcMode(xcb_connection_t* c, xcb_randr_crtc_t crtc, xcb_timestamp_t configTime)
{
    Reply<xcb_randr_get_crtc_info_reply_t> info(
        xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, crtc, configTime), nullptr));
    return info ? info->mode : 0;
}

// The CRTC of the primary output, or 0.
xcb_randr_crtc_t primaryCrtc(xcb_connection_t* c, xcb_window_t root, xcb_timestamp_t configTime)
{
    Reply<xcb_randr_get_output_primary_reply_t> primary(
        xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), nullptr));
    if (!primary || primary->output == XCB_NONE)
        return 0;
    Reply<xcb_randr_get_output_info_reply_t> output(
        xcb_randr_get_output_info_reply(c, xcb_randr_get_output_info(c, primary->output, configTime), nullptr));
    return output ? output->crtc : 0;
}

} // namespace

std::optional<double> primaryRefreshRate(xcb_connection_t* c, xcb_window_t root)
{
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (!randr || !randr->present)
        return std::nullopt;
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 3), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 3))
        return std::nullopt;
    Reply<xcb_randr_get_screen_resources_current_reply_t> resources(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, root), nullptr));
    if (!resources)
        return std::nullopt;

    const xcb_timestamp_t configTime = resources->config_timestamp;
    xcb_randr_mode_t mode = 0;
    if (xcb_randr_crtc_t crtc = primaryCrtc(c, root, configTime))
        mode = crtcMode(c, crtc, configTime);
    const xcb_randr_crtc_t* crtcs = xcb_randr_get_screen_resources_current_crtcs(resources.get());
    const int crtcCount = xcb_randr_get_screen_resources_current_crtcs_length(resources.get());
    for (int i = 0; mode == 0 && i < crtcCount; ++i)
        mode = crtcMode(c, crtcs[i], configTime);
    if (mode == 0)
        return std::nullopt;

    const xcb_randr_mode_info_t* modes = xcb_randr_get_screen_resources_current_modes(resources.get());
    const int modeCount = xcb_randr_get_screen_resources_current_modes_length(resources.get());
    for (int i = 0; i < modeCount; ++i) {
        if (modes[i].id != mode)
            continue;
        const double rate = modeRate(modes[i]);
        if (rate > 0)
            return rate;
    }
    return std::nullopt;
}

// ---- Present ----------------------------------------------------------------

PresentClock::PresentClock(xcb_connection_t* connection, xcb_window_t root) : m_connection(connection), m_root(root) {}

std::shared_ptr<PresentClock> PresentClock::start(xcb_connection_t* connection, xcb_window_t root)
{
    std::shared_ptr<PresentClock> clock(new PresentClock(connection, root));
    if (!clock->subscribe())
        return nullptr;
    try {
        clock->m_thread = std::thread([raw = clock.get()] { raw->run(); });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return clock;
}

bool PresentClock::subscribe()
{
    xcb_connection_t* c = m_connection;
    const xcb_query_extension_reply_t* present = xcb_get_extension_data(c, &xcb_present_id);
    if (!present || !present->present)
        return false;
    Reply<xcb_present_query_version_reply_t> version(
        xcb_present_query_version_reply(c, xcb_present_query_version(c, 1, 0), nullptr));
    if (!version)
        return false;
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        return false;
    m_eventId = xcb_generate_id(c);
    m_events = xcb_register_for_special_xge(c, &xcb_present_id, m_eventId, nullptr);
    xcb_void_cookie_t cookie =
        xcb_present_select_input_checked(c, m_eventId, m_root, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
    Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    return m_events && !error;
}

PresentClock::~PresentClock()
{
    m_quit = true;
    if (m_thread.joinable()) {
        wakeThread();
        m_thread.join();
    }
    if (m_events)
        xcb_unregister_for_special_event(m_connection, m_events);
    xcb_disconnect(m_connection);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

void PresentClock::wakeThread()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void PresentClock::resume(std::function<void()> onTick)
{
    {
        std::lock_guard lock(m_mutex);
        m_onTick = std::move(onTick);
        m_restart = true;
    }
    wakeThread();
}

void PresentClock::pause()
{
    std::lock_guard lock(m_mutex);  // waits for a tick under way
    m_onTick = nullptr;
    m_restart = false;
}

bool PresentClock::isTicking() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<bool>(m_onTick);
}

bool PresentClock::isUsable() const
{
    return !m_quit && !xcb_connection_has_error(m_connection);
}

void PresentClock::requestNotify(std::uint64_t target)
{
    xcb_present_notify_msc(m_connection, m_root, ++m_serial, target, 0, 0);
    xcb_flush(m_connection);
}

void PresentClock::handle(const xcb_generic_event_t* event)
{
    const auto* complete = reinterpret_cast<const xcb_present_complete_notify_event_t*>(event);
    if (complete->event_type != XCB_PRESENT_COMPLETE_NOTIFY || complete->kind != XCB_PRESENT_COMPLETE_KIND_NOTIFY_MSC)
        return;
    std::lock_guard lock(m_mutex);
    // A notification asked for before the last pause ends its chain: one
    // chain at a time, and none while paused.
    if (!m_onTick || static_cast<std::int32_t>(complete->serial - m_firstLive) < 0)
        return;
    m_onTick();
    requestNotify(complete->msc + 1);  // the next refresh
}

void PresentClock::run()
{
    xcb_connection_t* c = m_connection;
    while (!m_quit) {
        bool ticking = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_restart) {
                m_restart = false;
                m_firstLive = m_serial + 1;
                requestNotify(0);  // at once, with the current MSC
            }
            ticking = static_cast<bool>(m_onTick);
        }
        while (xcb_generic_event_t* event = xcb_poll_for_special_event(c, m_events)) {
            handle(event);
            std::free(event);
        }
        // Errors of lost requests; nothing else is selected. Taken without
        // reading the socket, so that no notification arrives unseen before
        // the wait below.
        while (xcb_generic_event_t* other = xcb_poll_for_queued_event(c))
            std::free(other);
        if (xcb_connection_has_error(c) || m_quit)
            return;  // the watchdog of the frame scheduler replaces a silent source

        // Paused, the thread sleeps until it is resumed or ends.
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = poll(fds, 2, ticking ? kPresentSilenceMillis : -1);
        if (ready == 0) {
            std::lock_guard lock(m_mutex);
            if (m_onTick)
                requestNotify(0);
        }
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t taken = read(m_wakeFd, &count, sizeof count);
        }
    }
}

PresentTickSource::PresentTickSource(std::shared_ptr<PresentClock> clock, std::function<void()> onTick)
    : m_clock(std::move(clock))
{
    m_clock->resume(std::move(onTick));
}

PresentTickSource::~PresentTickSource()
{
    m_clock->pause();
}

// ---- Steady clock -----------------------------------------------------------

SteadyClockTickSource::SteadyClockTickSource(double hz, std::function<void()> onTick)
    : m_onTick(std::move(onTick))
{
    const double rate = std::isfinite(hz) ? std::clamp(hz, 1.0, 1000.0) : kFallbackRefreshHz;
    m_period = std::chrono::nanoseconds(static_cast<std::int64_t>(1e9 / rate));
    m_thread = std::thread([this] { run(); });
}

SteadyClockTickSource::~SteadyClockTickSource()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SteadyClockTickSource::run()
{
    using std::chrono::steady_clock;
    auto next = steady_clock::now() + m_period;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_wake.wait_until(lock, next, [this] { return m_quit; }))
            return;
        lock.unlock();
        m_onTick();
        lock.lock();
        next += m_period;
        const auto now = steady_clock::now();
        if (next <= now)
            next = now + m_period;  // fell behind: no burst of catch-up ticks
    }
}

// ---- Factory ----------------------------------------------------------------

X11TickSourceFactory::X11TickSourceFactory(std::string displayName) : m_displayName(std::move(displayName)) {}

std::unique_ptr<TickSource> X11TickSourceFactory::start(std::function<void()> onTick)
{
    // The Present clock of the last source, idle since it ended.
    if (m_present && m_present->isUsable() && !m_present->isTicking()) {
        note(Kind::present, m_presentHz);
        return std::make_unique<PresentTickSource>(m_present, std::move(onTick));
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(m_displayName.empty() ? nullptr : m_displayName.c_str(), &screenNumber);
    ++m_connectionsOpened;
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return startSteadyClock(kFallbackRefreshHz, std::move(onTick));
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.rem > 0 ? screens.data->root : XCB_NONE;
    const double hz = root != XCB_NONE ? primaryRefreshRate(c, root).value_or(kFallbackRefreshHz) : kFallbackRefreshHz;

    if (root != XCB_NONE) {
        // The clock owns the connection from here on, also when it fails.
        if (auto present = PresentClock::start(c, root)) {
            note(Kind::present, hz);
            if (!m_present || !m_present->isUsable() || !m_present->isTicking()) {
                m_present = present;  // kept for the next source
                m_presentHz = hz;
            }
            return std::make_unique<PresentTickSource>(std::move(present), std::move(onTick));
        }
    } else {
        xcb_disconnect(c);
    }
    return startSteadyClock(hz, std::move(onTick));
}

std::unique_ptr<TickSource> X11TickSourceFactory::startSteadyClock(double hz, std::function<void()> onTick)
{
    try {
        auto source = std::make_unique<SteadyClockTickSource>(hz, std::move(onTick));
        note(Kind::steadyClock, hz);
        return source;
    } catch (const std::system_error&) {
        m_lastKind = Kind::none;
        return nullptr;
    }
}

void X11TickSourceFactory::note(Kind kind, double hz)
{
    m_lastKind = kind;
    if (kind == m_loggedKind)
        return;
    m_loggedKind = kind;
    if (kind == Kind::present)
        logLine("Hushglass: frame ticks follow the X Present extension");
    else
        logFormat("Hushglass: no X Present extension; frame ticks from a steady clock at %.2f Hz", hz);
}

} // namespace hg
