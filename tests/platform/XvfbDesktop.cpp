#include "XvfbDesktop.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarvino::test {

XvfbDesktop::~XvfbDesktop()
{
    if (m_c)
        xcb_disconnect(m_c);
    if (m_server > 0) {
        ::kill(m_server, SIGTERM);
        int status = 0;
        for (int i = 0; i < 500 && ::waitpid(m_server, &status, WNOHANG) == 0; ++i)
            ::usleep(10000);
        if (::waitpid(m_server, &status, WNOHANG) == 0) {
            ::kill(m_server, SIGKILL);
            ::waitpid(m_server, &status, 0);
        }
    }
    if (m_hadDisplay)
        ::setenv("DISPLAY", m_oldDisplay.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
}

bool XvfbDesktop::open(std::string& why)
{
    if (const char* old = std::getenv("DISPLAY")) {
        m_hadDisplay = true;
        m_oldDisplay = old;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        return false;
    }
    // Xvfb picks a free display itself and tells its number through -displayfd.
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    const char* argv[] = {"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24", nullptr};
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (error != 0) {
        ::close(fds[0]);
        why = std::string("Xvfb cannot be started: ") + std::strerror(error);
        return false;
    }
    m_server = pid;
    std::string number;
    pollfd wait {fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && ::poll(&wait, 1, 20000) > 0) {
        char buffer[16];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        why = "Xvfb did not report a display";
        return false;
    }
    const std::string display = ":" + number.substr(0, number.find('\n'));
    ::setenv("DISPLAY", display.c_str(), 1);
    m_c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(m_c)) {
        why = "cannot connect to Xvfb at " + display;
        return false;
    }
    m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    return true;
}

xcb_atom_t XvfbDesktop::atom(const char* name)
{
    auto* reply = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

void XvfbDesktop::sync()
{
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

xcb_window_t XvfbDesktop::open(const std::string& windowClass, const std::string& caption, bool minimised,
                               const std::string& instance)
{
    const xcb_window_t window = xcb_generate_id(m_c);
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, m_screen->root, 10, 10, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual, 0, nullptr);
    const std::string wmClass = instance + '\0' + windowClass + '\0';
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, wmClass.size(),
                        wmClass.data());
    if (minimised) {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, caption.size(),
                            caption.data());
        const std::uint32_t hints[9] = {2, 0, 3, 0, 0, 0, 0, 0, 0};
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
        const xcb_atom_t wmState = atom("WM_STATE");
        const std::uint32_t state[2] = {3, XCB_NONE};
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, wmState, wmState, 32, 2, state);
    } else {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8,
                            caption.size(), caption.data());
        xcb_map_window(m_c, window);
    }
    sync();
    return window;
}

void XvfbDesktop::close(xcb_window_t window)
{
    xcb_destroy_window(m_c, window);
    sync();
}

bool XvfbDesktop::unmapped(xcb_window_t window)
{
    auto* attributes = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr);
    const bool result = attributes && attributes->map_state == XCB_MAP_STATE_UNMAPPED;
    std::free(attributes);
    return result;
}

} // namespace tarvino::test
