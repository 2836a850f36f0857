// hg-x11client: a small X11 client for integration tests. It opens, changes and
// closes top-level windows on command, one command per line on standard input,
// and answers each with one line on standard output ("ok ..." or "error ...").
//
// Commands (NAME is the test's own label for a window; geometry in pixels):
//
//   open NAME WxH+X+Y [option...]    create and map a window; waits until it is
//                                    mapped (not for `hidden`), then answers
//                                    "ok NAME 0xID" with the client window's id.
//       class=INSTANCE,CLASS         WM_CLASS (default hgclient,HgClient)
//       type=T[,T...]                _NET_WM_WINDOW_TYPE, most specific first; T is
//                                    normal dialog dock utility toolbar menu splash
//                                    desktop tooltip notification dropdown_menu popup_menu
//       state=S[,S...]               initial _NET_WM_STATE: above below modal
//                                    fullscreen; `hidden` starts it minimised (iconic)
//       pid=yes|no                   set _NET_WM_PID to this process (default yes)
//       transient=NAME               WM_TRANSIENT_FOR the window labelled NAME
//       appid=ID                     _GTK_APPLICATION_ID
//       kdefile=ID                   _KDE_NET_WM_DESKTOP_FILE
//       strut=top|bottom:PIXELS[:START:END]  _NET_WM_STRUT_PARTIAL along that edge,
//                                    from x START to END (default the full width)
//       override                     override-redirect (not managed)
//       color=RRGGBB                 background colour (default a colour per window)
//   raise NAME                       restack above its siblings (ConfigureWindow)
//   activate NAME                    ask the window manager to activate it (_NET_ACTIVE_WINDOW)
//   minimize NAME                    ask the window manager to iconify it (WM_CHANGE_STATE)
//   move NAME X Y                    move (ConfigureWindow)
//   resize NAME W H                  resize (ConfigureWindow)
//   close NAME                       destroy the window
//   sync                             a round trip to the server; answers "ok"
//   quit                             exit (also at the end of input)
//
// Windows keep USPosition/USSize hints so that the window manager leaves them
// where they were asked to be, and their label as their title. The program
// paints nothing but its background.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

namespace {

struct Client {
    xcb_connection_t* c = nullptr;
    xcb_screen_t* screen = nullptr;
    std::map<std::string, xcb_window_t> windows;
    std::map<std::string, xcb_atom_t> atoms;
    int colorIndex = 0;

    xcb_atom_t atom(const std::string& name)
    {
        auto it = atoms.find(name);
        if (it != atoms.end())
            return it->second;
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        free(r);
        return atoms[name] = a;
    }

    void sync() { free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }
};

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

void setAtoms(Client& cl, xcb_window_t w, const std::string& property, const std::vector<xcb_atom_t>& values)
{
    xcb_change_property(cl.c, XCB_PROP_MODE_REPLACE, w, cl.atom(property), XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(values.size()), values.data());
}

void setText(Client& cl, xcb_window_t w, const std::string& property, const std::string& value)
{
    xcb_change_property(cl.c, XCB_PROP_MODE_REPLACE, w, cl.atom(property), cl.atom("UTF8_STRING"), 8,
                        static_cast<std::uint32_t>(value.size()), value.data());
}

// Waits (up to 5 s) for the window's MapNotify. The map request is repeated
// every half second: openbox, just started, sometimes drops the first one.
bool waitForMap(Client& cl, xcb_window_t w)
{
    const auto start = std::chrono::steady_clock::now();
    auto nextRequest = start + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < start + std::chrono::seconds(5)) {
        if (std::chrono::steady_clock::now() >= nextRequest) {
            xcb_map_window(cl.c, w);
            xcb_flush(cl.c);
            nextRequest += std::chrono::milliseconds(500);
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(cl.c)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY
                && reinterpret_cast<xcb_map_notify_event_t*>(event)->window == w;
            free(event);
            if (mapped)
                return true;
        }
        pollfd fd{xcb_get_file_descriptor(cl.c), POLLIN, 0};
        poll(&fd, 1, 50);
    }
    return false;
}

struct OpenOptions {
    std::string instance = "hgclient", className = "HgClient";
    std::vector<std::string> types, states;
    bool setPid = true, overrideRedirect = false;
    std::string transientFor, appId, kdeFile, strut;
    int color = -1;
};

bool parseOption(const std::string& option, OpenOptions& o)
{
    const auto eq = option.find('=');
    const std::string key = option.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : option.substr(eq + 1);
    if (key == "class") {
        const auto parts = split(value, ',');
        if (parts.size() != 2)
            return false;
        o.instance = parts[0];
        o.className = parts[1];
    } else if (key == "type") {
        o.types = split(value, ',');
    } else if (key == "state") {
        o.states = split(value, ',');
    } else if (key == "pid") {
        o.setPid = value != "no";
    } else if (key == "transient") {
        o.transientFor = value;
    } else if (key == "appid") {
        o.appId = value;
    } else if (key == "kdefile") {
        o.kdeFile = value;
    } else if (key == "strut") {
        o.strut = value;
    } else if (key == "override") {
        o.overrideRedirect = true;
    } else if (key == "color") {
        o.color = std::stoi(value, nullptr, 16);
    } else {
        return false;
    }
    return true;
}

std::string upper(std::string s)
{
    for (char& ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

void setProperties(Client& cl, xcb_window_t w, const std::string& name, const OpenOptions& o, int x, int y,
                   int width, int height)
{
    xcb_change_property(cl.c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(name.size()), name.data());
    setText(cl, w, "_NET_WM_NAME", name);
    const std::string wmClass = o.instance + '\0' + o.className + '\0';
    xcb_change_property(cl.c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(wmClass.size()), wmClass.data());
    xcb_size_hints_t hints{};
    xcb_icccm_size_hints_set_position(&hints, 1, x, y);
    xcb_icccm_size_hints_set_size(&hints, 1, width, height);
    xcb_icccm_set_wm_normal_hints(cl.c, w, &hints);
    std::vector<xcb_atom_t> types;
    for (const std::string& t : o.types)
        types.push_back(cl.atom("_NET_WM_WINDOW_TYPE_" + upper(t)));
    if (!types.empty())
        setAtoms(cl, w, "_NET_WM_WINDOW_TYPE", types);
    std::vector<xcb_atom_t> states;
    for (const std::string& s : o.states) {
        if (s != "hidden")
            states.push_back(cl.atom("_NET_WM_STATE_" + upper(s)));
    }
    if (!states.empty())
        setAtoms(cl, w, "_NET_WM_STATE", states);
    if (o.setPid) {
        const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
        xcb_change_property(cl.c, XCB_PROP_MODE_REPLACE, w, cl.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    }
    if (!o.appId.empty())
        setText(cl, w, "_GTK_APPLICATION_ID", o.appId);
    if (!o.kdeFile.empty())
        setText(cl, w, "_KDE_NET_WM_DESKTOP_FILE", o.kdeFile);
    if (auto it = cl.windows.find(o.transientFor); !o.transientFor.empty() && it != cl.windows.end())
        xcb_icccm_set_wm_transient_for(cl.c, w, it->second);
    for (const std::string& s : o.states) {
        if (s == "hidden") {
            xcb_icccm_wm_hints_t wmHints{};
            xcb_icccm_wm_hints_set_iconic(&wmHints);
            xcb_icccm_set_wm_hints(cl.c, w, &wmHints);
        }
    }
}

void setStrut(Client& cl, xcb_window_t w, const std::string& strut)
{
    const auto parts = split(strut, ':');
    if (parts.size() != 2 && parts.size() != 4)
        return;
    const std::uint32_t size = static_cast<std::uint32_t>(std::stoi(parts[1]));
    const std::uint32_t left = parts.size() == 4 ? static_cast<std::uint32_t>(std::stoi(parts[2])) : 0;
    const std::uint32_t right =
        parts.size() == 4 ? static_cast<std::uint32_t>(std::stoi(parts[3])) : cl.screen->width_in_pixels - 1u;
    // left, right, top, bottom, left_start_y, left_end_y, right_start_y, right_end_y,
    // top_start_x, top_end_x, bottom_start_x, bottom_end_x
    std::uint32_t values[12] = {};
    if (parts[0] == "top") {
        values[2] = size;
        values[8] = left;
        values[9] = right;
    } else {
        values[3] = size;
        values[10] = left;
        values[11] = right;
    }
    xcb_change_property(cl.c, XCB_PROP_MODE_REPLACE, w, cl.atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32,
                        12, values);
}

std::string openWindow(Client& cl, std::istringstream& args)
{
    std::string name, geometry;
    args >> name >> geometry;
    int width = 0, height = 0, x = 0, y = 0;
    if (name.empty() || std::sscanf(geometry.c_str(), "%dx%d+%d+%d", &width, &height, &x, &y) != 4)
        return "error usage: open NAME WxH+X+Y [options]";
    OpenOptions o;
    for (std::string option; args >> option;) {
        if (!parseOption(option, o))
            return "error unknown option " + option;
    }
    static const int palette[] = {0x3465a4, 0xcc0000, 0x73d216, 0xedd400, 0x75507b, 0xf57900, 0x06989a};
    const std::uint32_t color = o.color >= 0 ? static_cast<std::uint32_t>(o.color) : palette[cl.colorIndex++ % 7];
    const xcb_window_t w = xcb_generate_id(cl.c);
    const std::uint32_t values[] = {color, o.overrideRedirect ? 1u : 0u, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(cl.c, XCB_COPY_FROM_PARENT, w, cl.screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, cl.screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    setProperties(cl, w, name, o, x, y, width, height);
    if (!o.strut.empty())
        setStrut(cl, w, o.strut);
    cl.windows[name] = w;
    xcb_map_window(cl.c, w);
    xcb_flush(cl.c);
    const bool hidden = std::find(o.states.begin(), o.states.end(), "hidden") != o.states.end();
    if (hidden)
        cl.sync();
    else if (!waitForMap(cl, w))
        return "error " + name + " was not mapped";
    char id[16];
    std::snprintf(id, sizeof id, "0x%x", w);
    return "ok " + name + " " + id;
}

void sendToRoot(Client& cl, xcb_window_t w, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1 = 0)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = w;
    event.type = type;
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    xcb_send_event(cl.c, 0, cl.screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

std::string changeWindow(Client& cl, const std::string& command, std::istringstream& args)
{
    std::string name;
    args >> name;
    auto it = cl.windows.find(name);
    if (it == cl.windows.end())
        return "error no window " + name;
    const xcb_window_t w = it->second;
    if (command == "raise") {
        const std::uint32_t mode = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(cl.c, w, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    } else if (command == "activate") {
        sendToRoot(cl, w, cl.atom("_NET_ACTIVE_WINDOW"), 2 /* from a pager: always obeyed */, XCB_CURRENT_TIME);
    } else if (command == "minimize") {
        sendToRoot(cl, w, cl.atom("WM_CHANGE_STATE"), XCB_ICCCM_WM_STATE_ICONIC);
    } else if (command == "move" || command == "resize") {
        std::int32_t a = 0, b = 0;
        if (!(args >> a >> b))
            return "error usage: " + command + " NAME A B";
        const std::uint32_t values[] = {static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)};
        xcb_configure_window(cl.c, w,
                             command == "move" ? XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y
                                               : XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                             values);
    } else if (command == "close") {
        xcb_destroy_window(cl.c, w);
        cl.windows.erase(it);
    } else {
        return "error unknown command " + command;
    }
    cl.sync();
    return "ok " + name;
}

} // namespace

int main()
{
    Client cl;
    int screenNumber = 0;
    cl.c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(cl.c)) {
        std::cout << "error cannot connect" << std::endl;
        return 1;
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(cl.c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    cl.screen = it.data;
    std::cout << "ready " << getpid() << std::endl;

    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream args(line);
        std::string command;
        args >> command;
        std::string answer;
        if (command.empty())
            continue;
        if (command == "quit")
            break;
        if (command == "open")
            answer = openWindow(cl, args);
        else if (command == "sync")
            cl.sync(), answer = "ok";
        else
            answer = changeWindow(cl, command, args);
        while (xcb_generic_event_t* event = xcb_poll_for_event(cl.c))
            free(event);
        std::cout << answer << std::endl;
    }
    xcb_disconnect(cl.c);
    return 0;
}
