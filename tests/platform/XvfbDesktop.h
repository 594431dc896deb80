#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <xcb/xcb.h>

namespace tarvino::test {

/// An Xvfb of the test's own, with top-level windows made on it as the suite's programs make theirs.
/// DISPLAY points at it while it lives.
class XvfbDesktop {
public:
    XvfbDesktop() = default;
    ~XvfbDesktop();
    XvfbDesktop(const XvfbDesktop&) = delete;
    XvfbDesktop& operator=(const XvfbDesktop&) = delete;

    /// Starts the server; false with `why` when there is none to start.
    bool open(std::string& why);
    /// A window with this class and caption; a minimised one starts iconic, as the window manager would
    /// record it, and is named only in the old WM_NAME, as older programs name theirs.
    xcb_window_t open(const std::string& windowClass, const std::string& caption, bool minimised = false);
    void close(xcb_window_t window);
    /// Whether the window is still not shown (minimised windows are unmapped).
    bool unmapped(xcb_window_t window);
    /// How many pixels of the screen have the colour 0xRRGGBB.
    long pixels(std::uint32_t rgb);

private:
    xcb_atom_t atom(const char* name);

    FILE* m_server = nullptr;
    int m_pid = 0;
    xcb_connection_t* m_c = nullptr;
    xcb_screen_t* m_screen = nullptr;
    std::optional<std::string> m_oldDisplay;
};

} // namespace tarvino::test
