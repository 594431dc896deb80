#include "XvfbDesktop.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace tarvino::test {

XvfbDesktop::~XvfbDesktop()
{
    if (m_c)
        xcb_disconnect(m_c);
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
    if (m_server)
        ::pclose(m_server);
    m_oldDisplay ? ::setenv("DISPLAY", m_oldDisplay->c_str(), 1) : ::unsetenv("DISPLAY");
}

bool XvfbDesktop::open(std::string& why)
{
    if (const char* old = std::getenv("DISPLAY"))
        m_oldDisplay = old;
    // Xvfb picks a free display itself and tells its number, after the process id it takes over.
    m_server =
        ::popen("echo $$; exec Xvfb -displayfd 1 -nolisten tcp -screen 0 640x480x24 2>/dev/null", "re");
    char pid[32] = {};
    char number[32] = {};
    if (!m_server || !std::fgets(pid, sizeof pid, m_server) || !std::fgets(number, sizeof number, m_server)) {
        why = "Xvfb could not be started";
        return false;
    }
    m_pid = std::atoi(pid);
    const std::string display = ":" + std::to_string(std::atoi(number));
    ::setenv("DISPLAY", display.c_str(), 1);
    m_c = xcb_connect(display.c_str(), nullptr);
    m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    why = "cannot connect to Xvfb at " + display;
    return !xcb_connection_has_error(m_c);
}

xcb_atom_t XvfbDesktop::atom(const char* name)
{
    auto* reply = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

xcb_window_t XvfbDesktop::open(const std::string& windowClass, const std::string& caption, bool minimised)
{
    const xcb_window_t window = xcb_generate_id(m_c);
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, m_screen->root, 10, 10, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual, 0, nullptr);
    const auto set = [&](xcb_atom_t name, xcb_atom_t type, int bits, std::size_t size, const void* data) {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, name, type, bits, size, data);
    };
    const std::string wmClass = std::string("tarvino\0", 8) + windowClass + '\0';
    set(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, wmClass.size(), wmClass.data());
    if (minimised) {
        const std::uint32_t hints[9] = {2, 0, 3}, state[2] = {3, XCB_NONE};
        set(XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, caption.size(), caption.data());
        set(XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
        set(atom("WM_STATE"), atom("WM_STATE"), 32, 2, state);
    } else {
        set(atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, caption.size(), caption.data());
        xcb_map_window(m_c, window);
    }
    unmapped(window); // a round trip: the server has seen all of it
    return window;
}

void XvfbDesktop::close(xcb_window_t window)
{
    xcb_destroy_window(m_c, window);
    unmapped(window);
}

bool XvfbDesktop::unmapped(xcb_window_t window)
{
    auto* attributes = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr);
    const bool result = attributes && attributes->map_state == XCB_MAP_STATE_UNMAPPED;
    std::free(attributes);
    return result;
}

long XvfbDesktop::pixels(std::uint32_t rgb)
{
    auto* image =
        xcb_get_image_reply(m_c,
                            xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_screen->root, 0, 0,
                                          m_screen->width_in_pixels, m_screen->height_in_pixels, ~0u),
                            nullptr);
    // A pixel of a 24-bit screen takes 32 bits.
    const auto* pixel = image ? reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image)) : nullptr;
    long count = 0;
    for (int i = 0; pixel && i < xcb_get_image_data_length(image) / 4; ++i)
        count += (pixel[i] & 0xFFFFFF) == rgb;
    std::free(image);
    return count;
}

} // namespace tarvino::test
