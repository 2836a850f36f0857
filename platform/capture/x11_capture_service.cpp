#include "platform/capture/x11_capture_service.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>

#include "platform/capture/x11_compositor.h"
#include "platform/capture/x11_damage_tracker.h"
#include "platform/windows/window_layer.h"
#include "platform/windows/x11_window_server.h"
#include "platform/x11/atom_cache.h"
#include "platform/x11/window_list_query.h"
#include "platform/x11/window_model.h"

namespace hg {
namespace {

// A point is a root pixel on X11, so a full-size capture has one pixel per
// point whatever Qt's device pixel ratio (which scales the blur radius only).
constexpr double kPixelsPerPoint = 1;

// `_NET_WM_DESKTOP` of a window shown on every desktop.
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

bool contains(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom)
{
    return atom != XCB_ATOM_NONE && std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

} // namespace

struct X11CaptureService::Shared {
    Shared(xcb_connection_t* c, const xcb_screen_t* screen)
        : atoms(c), query(c, screen->root, atoms), kinds(atoms), compositor(c, screen, X11Compositor::Redirection::whenAsked),
          damage(c, screen->root)
    {
    }

    // A picture as taken last for one area, size and set of left-out windows.
    struct Picture {
        Rect source;
        int width = 0;
        int height = 0;
        std::vector<xcb_window_t> excluded;  // sorted
        CapturedImage image;
        Rect changed = Rect::null();  // root pixels where something that shows in it changed since
        bool changedAnywhere = false;  // what changed is not known
        std::uint64_t lastUse = 0;
    };
    static constexpr std::size_t kKeptPictures = 4;

    // Whether the window model saw the root's children as they were at the
    // last poll; `note` makes the count it saw the new reference.
    bool stackUnchangedSincePoll(bool note)
    {
        const std::shared_ptr<x11::WindowModel> watched = model;
        if (!watched || !watched->followsEvents())
            return false;
        const std::uint64_t count = watched->changeCount();
        const bool unchanged = count == modelChangesAtPoll;
        if (note)
            modelChangesAtPoll = count;
        return unchanged;
    }

    // The picture taken last for the same request when nothing at all was
    // heard to change since, without a round trip; nullopt when the server
    // must be asked (or a capture on the pool holds the pictures).
    std::optional<CapturedImage> captureQuietly(const Rect& source, int width, int height,
                                                std::vector<xcb_window_t> excluded)
    {
        std::unique_lock lock(pictureMutex, std::try_to_lock);
        if (!lock.owns_lock() || !compositor.isRedirected())
            return std::nullopt;
        std::sort(excluded.begin(), excluded.end());
        const auto kept = std::find_if(pictures.begin(), pictures.end(), [&](const Picture& p) {
            return p.source == source && p.width == width && p.height == height && p.excluded == excluded;
        });
        if (kept == pictures.end() || kept->changedAnywhere || !kept->changed.isNull()
            || !damage.pollQuietly(stackUnchangedSincePoll(false)))
            return std::nullopt;
        kept->lastUse = ++uses;
        ++reusedPictures;
        return kept->image;
    }

    // The picture asked for: the one taken last when nothing that shows in it
    // changed since (the very same pixels), that one with the changed part
    // composed again, else a new one.
    std::optional<CapturedImage> capture(const Rect& source, int width, int height,
                                         std::vector<xcb_window_t> excluded)
    {
        std::lock_guard lock(pictureMutex);
        std::sort(excluded.begin(), excluded.end());
        // The window model hears the root's children change; while it heard
        // nothing, only the windows' drawing is asked about.
        const std::optional<std::vector<X11DamageTracker::Change>> changes = damage.poll(stackUnchangedSincePoll(true));
        for (Picture& p : pictures) {
            if (!changes) {
                p.changedAnywhere = true;
                continue;
            }
            for (const X11DamageTracker::Change& c : *changes)
                if (damage.affects(c, p.source, p.excluded))
                    p.changed = p.changed.united(c.area);
        }
        const auto kept = std::find_if(pictures.begin(), pictures.end(), [&](const Picture& p) {
            return p.source == source && p.width == width && p.height == height && p.excluded == excluded;
        });
        const bool redirected = compositor.isRedirected();
        if (kept != pictures.end() && redirected && !kept->changedAnywhere && kept->changed.isNull()) {
            kept->lastUse = ++uses;
            ++reusedPictures;
            return kept->image;
        }
        std::optional<CapturedImage> image =
            kept != pictures.end() && redirected && !kept->changedAnywhere
                ? compositor.update(kept->image, kept->changed, source, width, height, excluded, damage.scene())
                : compositor.capture(source, width, height, excluded, damage.scene());
        if (!image) {
            if (kept != pictures.end())
                pictures.erase(kept);
            return image;
        }
        ++takenPictures;
        if (kept != pictures.end()) {
            kept->image = *image;
            kept->changed = Rect::null();
            kept->changedAnywhere = false;
            kept->lastUse = ++uses;
            return image;
        }
        if (pictures.size() >= kKeptPictures)
            pictures.erase(std::min_element(pictures.begin(), pictures.end(),
                                            [](const Picture& a, const Picture& b) { return a.lastUse < b.lastUse; }));
        pictures.push_back({source, width, height, std::move(excluded), *image, Rect::null(), false, ++uses});
        return image;
    }

    void setActive(bool active)
    {
        std::lock_guard lock(pictureMutex);
        compositor.setRedirected(active);
        pictures.clear();
        damage.reset();
    }

    std::vector<ShareableWindow> onScreenWindows(const x11::WindowList& list) const
    {
        std::vector<ShareableWindow> out;
        for (const x11::TopLevelWindow& w : list.windows) {
            if (!w.viewable || contains(w.states, kinds.stateHidden))
                continue;
            if (w.desktop && list.currentDesktop && *w.desktop != kAllDesktops && *w.desktop != *list.currentDesktop)
                continue;
            ShareableWindow s;
            s.windowID = w.frame;
            if (w.pid && *w.pid <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
                s.ownerPID = static_cast<std::int32_t>(*w.pid);
            s.ownerAppID = X11WindowServer::applicationIdentifier(w).value_or("");
            s.frame = Rect(w.x, w.y, w.width, w.height);
            s.layer = static_cast<int>(std::clamp<std::int64_t>(windowLayer(w, kinds), std::numeric_limits<int>::min(),
                                                                std::numeric_limits<int>::max()));
            s.isDock = contains(w.types, kinds.dock);
            out.push_back(std::move(s));
        }
        return out;
    }

    x11::AtomCache atoms;
    x11::WindowListQuery query;
    std::shared_ptr<x11::WindowModel> model;  // shared with the window server when set
    std::uint64_t modelChangesAtPoll = 0;     // the model's change count at the last poll
    WindowKindAtoms kinds;
    X11Compositor compositor;

    std::mutex pictureMutex;  // guards the tracker and the pictures
    X11DamageTracker damage;
    std::vector<Picture> pictures;
    std::uint64_t uses = 0;
    std::atomic<std::uint64_t> takenPictures = 0;
    std::atomic<std::uint64_t> reusedPictures = 0;
};

class X11CaptureService::EventFilter final : public QAbstractNativeEventFilter {
public:
    explicit EventFilter(X11CaptureService& service) : m_service(service) {}
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType == "xcb_generic_event_t")
            m_service.noteEvent(static_cast<const xcb_generic_event_t*>(message));
        return false;
    }

private:
    X11CaptureService& m_service;
};

X11CaptureService::X11CaptureService(xcb_connection_t* connection, const xcb_screen_t* screen, BackgroundPool& pool,
                                     DisplayProvider displays)
    : m_shared(std::make_shared<Shared>(connection, screen)), m_pool(pool), m_displays(std::move(displays))
{
}

X11CaptureService::~X11CaptureService() = default;

void X11CaptureService::followApplicationEvents()
{
    auto* app = QCoreApplication::instance();
    if (!app || m_eventFilter)
        return;
    m_eventFilter = std::make_unique<EventFilter>(*this);
    app->installNativeEventFilter(m_eventFilter.get());
    followEvents();
}

void X11CaptureService::followEvents()
{
    std::lock_guard lock(m_shared->pictureMutex);
    m_shared->damage.followEvents();
}

void X11CaptureService::noteEvent(const xcb_generic_event_t* event)
{
    m_shared->damage.noteEvent(event);
}

void X11CaptureService::setActive(bool active)
{
    m_shared->setActive(active);
}

void X11CaptureService::setWindowModel(std::shared_ptr<x11::WindowModel> model)
{
    m_shared->model = std::move(model);
}

bool X11CaptureService::isReady() const
{
    return m_shared->compositor.isReady();
}

bool X11CaptureService::hasScreen(DisplayID display) const
{
    const auto displays = m_displays ? m_displays() : std::vector<ShareableDisplay>{};
    return std::any_of(displays.begin(), displays.end(),
                       [display](const ShareableDisplay& d) { return d.displayID == display; });
}

void X11CaptureService::shareableContent(ContentReply done)
{
    ShareableContent content;
    if (m_displays)
        content.displays = m_displays();
    m_pool.run([shared = m_shared, content = std::move(content), done = std::move(done)]() mutable {
        std::optional<x11::WindowList> list = shared->model ? shared->model->list() : shared->query.run();
        if (!list) {
            done(std::nullopt);
            return;
        }
        content.windows = shared->onScreenWindows(*list);
        done(std::move(content));
    });
}

void X11CaptureService::screenshot(const ContentFilter& filter, const CaptureConfiguration& configuration,
                                   ImageReply done)
{
    // The display's frame is its rectangle in root pixels; the service scales
    // it to the configured size on the server.
    const Rect source = filter.display.frame;
    std::vector<xcb_window_t> excluded(filter.excludedWindows.begin(), filter.excludedWindows.end());
    if (std::optional<CapturedImage> still =
            m_shared->captureQuietly(source, configuration.width, configuration.height, excluded)) {
        done(std::move(still));
        return;
    }
    m_pool.run([shared = m_shared, source, configuration, excluded = std::move(excluded),
                done = std::move(done)]() mutable {
        done(shared->capture(source, configuration.width, configuration.height, std::move(excluded)));
    });
}

X11CaptureService::Counts X11CaptureService::counts() const
{
    return {m_shared->takenPictures.load(), m_shared->reusedPictures.load()};
}

X11CaptureService::DisplayProvider X11CaptureService::displaysOf(const ScreenSource& screens)
{
    return [&screens] {
        std::vector<ShareableDisplay> out;
        for (const Screen& s : screens.screens()) {
            if (!s.displayNumber)
                continue;
            const std::optional<Rect> bounds = screens.displayBounds(*s.displayNumber);
            if (!bounds)
                continue;
            out.push_back({*s.displayNumber, *bounds, kPixelsPerPoint});
        }
        return out;
    };
}

} // namespace hg
