#include "platform/posix/XcbWindowManager.h"

#include "platform/TextRules.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace tarvino::platform {
namespace {

constexpr std::uint32_t kIconicState = 3; // ICCCM WM_STATE

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter<T>>;

// One connection per call: the display may come and go between two checks,
// and a handle is the server's window id, valid from any connection.
class Connection {
public:
    Connection()
    {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            return;
        int screenNumber = 0;
        m_c = xcb_connect(display, &screenNumber);
        if (xcb_connection_has_error(m_c))
            return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; it.rem && i < screenNumber; ++i)
            xcb_screen_next(&it);
        if (!it.rem)
            return;
        m_screen = it.data;
        m_screenNumber = screenNumber;

        xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(m_c, &m_ewmh);
        const auto wmState = xcb_intern_atom(m_c, 0, 8, "WM_STATE");
        const auto wmChangeState = xcb_intern_atom(m_c, 0, 15, "WM_CHANGE_STATE");
        m_ewmhReady = cookies && xcb_ewmh_init_atoms_replies(&m_ewmh, cookies, nullptr);
        m_wmState = atomOf(wmState);
        m_wmChangeState = atomOf(wmChangeState);
        m_ok = m_ewmhReady && m_wmState != XCB_ATOM_NONE && m_wmChangeState != XCB_ATOM_NONE;
    }

    ~Connection()
    {
        if (m_ewmhReady)
            xcb_ewmh_connection_wipe(&m_ewmh);
        if (m_c) {
            xcb_flush(m_c);
            xcb_disconnect(m_c);
        }
    }

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return m_ok && !xcb_connection_has_error(m_c); }
    xcb_connection_t* c() const { return m_c; }
    xcb_window_t root() const { return m_screen->root; }
    int screenNumber() const { return m_screenNumber; }
    xcb_ewmh_connection_t* ewmh() { return &m_ewmh; }
    xcb_atom_t wmState() const { return m_wmState; }
    xcb_atom_t wmChangeState() const { return m_wmChangeState; }

    /// Waits until the server has handled every request sent so far.
    void sync()
    {
        Reply<xcb_get_input_focus_reply_t> r(
            xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    }

private:
    xcb_atom_t atomOf(xcb_intern_atom_cookie_t cookie)
    {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(m_c, cookie, nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    xcb_connection_t* m_c = nullptr;
    xcb_screen_t* m_screen = nullptr;
    int m_screenNumber = 0;
    xcb_ewmh_connection_t m_ewmh{};
    bool m_ewmhReady = false;
    bool m_ok = false;
    xcb_atom_t m_wmState = XCB_ATOM_NONE;
    xcb_atom_t m_wmChangeState = XCB_ATOM_NONE;
};

std::vector<xcb_window_t> childrenOf(xcb_connection_t* c, xcb_query_tree_cookie_t cookie)
{
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, cookie, nullptr));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    // The server lists them bottom to top; the topmost window comes first, as on Windows.
    return std::vector<xcb_window_t>(
        std::make_reverse_iterator(children + xcb_query_tree_children_length(tree.get())),
        std::make_reverse_iterator(children));
}

// Top-level windows: the root's children and, because a reparenting window
// manager puts each program's window inside a frame of its own, their children
// and the manager's client list.
std::vector<xcb_window_t> topLevelWindows(Connection& x)
{
    xcb_connection_t* c = x.c();
    const auto clientsCookie = xcb_ewmh_get_client_list(x.ewmh(), x.screenNumber());
    const std::vector<xcb_window_t> frames = childrenOf(c, xcb_query_tree(c, x.root()));

    std::vector<xcb_query_tree_cookie_t> cookies;
    cookies.reserve(frames.size());
    for (xcb_window_t frame : frames)
        cookies.push_back(xcb_query_tree(c, frame));

    std::vector<xcb_window_t> windows;
    std::set<xcb_window_t> seen;
    auto add = [&](xcb_window_t w) {
        if (seen.insert(w).second)
            windows.push_back(w);
    };
    for (std::size_t i = 0; i < frames.size(); ++i) {
        add(frames[i]);
        for (xcb_window_t child : childrenOf(c, cookies[i]))
            add(child);
    }
    xcb_ewmh_get_windows_reply_t clients{};
    if (xcb_ewmh_get_client_list_reply(x.ewmh(), clientsCookie, &clients, nullptr)) {
        for (std::uint32_t i = 0; i < clients.windows_len; ++i)
            add(clients.windows[i]);
        xcb_ewmh_get_windows_reply_wipe(&clients);
    }
    return windows;
}

std::string latin1ToUtf8(const char* text, std::size_t size)
{
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

struct Property {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::string bytes;
};

std::optional<Property> propertyOf(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(c, cookie, nullptr));
    if (!r || r->type == XCB_ATOM_NONE || r->format != 8)
        return std::nullopt;
    const auto* data = static_cast<const char*>(xcb_get_property_value(r.get()));
    return Property{r->type,
                    std::string(data, static_cast<std::size_t>(xcb_get_property_value_length(r.get())))};
}

bool classMatches(const std::optional<Property>& wmClass, const std::string& wanted)
{
    if (!wmClass)
        return false;
    // WM_CLASS holds the instance and the class name, each ended by a NUL.
    const std::string& bytes = wmClass->bytes;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        if (equalsIgnoringCase(std::string_view(bytes).substr(start, end - start), wanted))
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

WindowHandle XcbWindowManager::findWindow(const std::optional<std::string>& windowClass,
                                          const std::optional<std::string>& caption)
{
    if (!windowClass && !caption)
        return 0;
    Connection x;
    if (!x.ok())
        return 0;
    xcb_connection_t* c = x.c();
    const std::vector<xcb_window_t> windows = topLevelWindows(x);
    constexpr std::uint32_t kLongs = 4096;

    struct Cookies {
        xcb_get_property_cookie_t wmClass, netName, name;
    };
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows) {
        Cookies k{};
        if (windowClass)
            k.wmClass = xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, kLongs);
        if (caption) {
            k.netName = xcb_get_property(c, 0, w, x.ewmh()->_NET_WM_NAME, x.ewmh()->UTF8_STRING, 0, kLongs);
            k.name = xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, kLongs);
        }
        cookies.push_back(k);
    }

    // Every reply is collected, also after a match, so none is left behind on the connection.
    WindowHandle found = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        bool matches = true;
        if (windowClass)
            matches = classMatches(propertyOf(c, cookies[i].wmClass), *windowClass);
        if (caption) {
            auto title = propertyOf(c, cookies[i].netName);
            const auto plain = propertyOf(c, cookies[i].name);
            if (!title && plain) {
                title = plain;
                if (plain->type == XCB_ATOM_STRING)
                    title->bytes = latin1ToUtf8(plain->bytes.data(), plain->bytes.size());
            }
            matches = matches && title && equalsIgnoringCase(title->bytes, *caption);
        }
        if (matches && !found)
            found = windows[i];
    }
    return found;
}

void XcbWindowManager::sendMessage(WindowHandle, unsigned)
{
    // X has no window messages a program answers synchronously; the suite's
    // programs expect none here, and the message's answer is never used.
}

bool XcbWindowManager::isIconic(WindowHandle window)
{
    Connection x;
    if (!x.ok() || window == 0)
        return false;
    xcb_connection_t* c = x.c();
    const auto w = static_cast<xcb_window_t>(window);
    const auto stateCookie = xcb_get_property(c, 0, w, x.wmState(), x.wmState(), 0, 2);
    const auto netStateCookie = xcb_ewmh_get_wm_state(x.ewmh(), w);

    bool iconic = false;
    Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(c, stateCookie, nullptr));
    if (state && state->format == 32 && xcb_get_property_value_length(state.get()) >= 4)
        iconic = *static_cast<const std::uint32_t*>(xcb_get_property_value(state.get())) == kIconicState;

    xcb_ewmh_get_atoms_reply_t netState{};
    if (xcb_ewmh_get_wm_state_reply(x.ewmh(), netStateCookie, &netState, nullptr)) {
        for (std::uint32_t i = 0; i < netState.atoms_len; ++i)
            iconic = iconic || netState.atoms[i] == x.ewmh()->_NET_WM_STATE_HIDDEN;
        xcb_ewmh_get_atoms_reply_wipe(&netState);
    }
    return iconic;
}

void XcbWindowManager::showWindow(WindowHandle window, int command)
{
    Connection x;
    if (!x.ok() || window == 0)
        return;
    const auto w = static_cast<xcb_window_t>(window);
    switch (command) {
    case 0: // hide: not ours to withdraw another program's window
        return;
    case 2:    // show minimised
    case 6:    // minimise
    case 7:    // show minimised, not active
    case 11: { // force minimise
        // Iconifying is the window manager's business (ICCCM 4.1.4); mapping
        // would restore the window instead.
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = x.wmChangeState();
        event.data.data32[0] = kIconicState;
        xcb_send_event(x.c(), 0, x.root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        break;
    }
    default:
        xcb_map_window(x.c(), w);
        break;
    }
    x.sync();
}

void XcbWindowManager::setForegroundWindow(WindowHandle window)
{
    Connection x;
    if (!x.ok() || window == 0)
        return;
    xcb_ewmh_request_change_active_window(x.ewmh(), x.screenNumber(), static_cast<xcb_window_t>(window),
                                          XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME, XCB_NONE);
    x.sync();
}

} // namespace tarvino::platform
