#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
extern char** environ;
#endif

namespace tarvino::test {
namespace {

using platform::WindowHandle;
using std::nullopt;

#ifdef _WIN32

std::wstring wide(const std::string& utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), length);
    out.resize(static_cast<std::size_t>(length - 1));
    return out;
}

/// Windows made here with user32 itself, as the suite's programs make theirs.
class Desktop {
public:
    bool open(std::string& why)
    {
        // Wine draws its windows on an X display; without one it cannot make any.
        const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
        if (wine && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
            why = "Wine has no X display (DISPLAY is not set)";
            return false;
        }
        return true;
    }

    class Window {
    public:
        Window(const std::string& windowClass, const std::string& caption, bool minimised)
        {
            const std::wstring cls = wide(windowClass);
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = cls.c_str();
            RegisterClassW(&wc);
            m_window = CreateWindowExW(0, cls.c_str(), wide(caption).c_str(), WS_OVERLAPPEDWINDOW, 10, 10,
                                       300, 200, nullptr, nullptr, wc.hInstance, nullptr);
            EXPECT_NE(m_window, nullptr) << "CreateWindowExW failed: " << GetLastError();
            ShowWindow(m_window, minimised ? SW_MINIMIZE : SW_SHOWNOACTIVATE);
        }
        ~Window() { DestroyWindow(m_window); }
        WindowHandle handle() const { return reinterpret_cast<WindowHandle>(m_window); }
        bool shownMinimised() const { return IsIconic(m_window) != FALSE; }

    private:
        HWND m_window = nullptr;
    };

    std::unique_ptr<Window> make(const std::string& instance, const std::string& windowClass,
                                 const std::string& caption, bool minimised)
    {
        (void)instance;
        return std::make_unique<Window>(windowClass, caption, minimised);
    }
};

#else

/// An Xvfb of the test's own, and windows made on it with raw xcb.
class Desktop {
public:
    ~Desktop()
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

    bool open(std::string& why)
    {
        if (const char* old = std::getenv("DISPLAY")) {
            m_hadDisplay = true;
            m_oldDisplay = old;
        }
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            why = std::strerror(errno);
            return false;
        }
        // Xvfb picks a free display itself and tells its number through -displayfd.
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
        const char* argv[] = {"Xvfb",    "-displayfd", "3",          "-nolisten", "tcp",
                              "-screen", "0",          "640x480x24", nullptr};
        const int error =
            ::posix_spawnp(&m_server, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        if (error != 0) {
            ::close(pipeFds[0]);
            m_server = 0;
            why = std::string("Xvfb cannot be started: ") + std::strerror(error);
            return false;
        }
        std::string number;
        pollfd wait{pipeFds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && ::poll(&wait, 1, 20000) > 0) {
            char buffer[16];
            const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            number.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(pipeFds[0]);
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

    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    void sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

    class Window {
    public:
        Window(Desktop& desktop, const std::string& instance, const std::string& windowClass,
               const std::string& caption, bool minimised)
            : m_desktop(desktop)
        {
            xcb_connection_t* c = desktop.m_c;
            m_window = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, desktop.m_screen->root, 10, 10, 300, 200, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, desktop.m_screen->root_visual, 0, nullptr);
            const std::string wmClass = instance + '\0' + windowClass + '\0';
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                                wmClass.size(), wmClass.data());
            // Old-style programs name their window only in WM_NAME; the fallback must find them too.
            if (minimised) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                                    caption.size(), caption.data());
            } else {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, desktop.atom("_NET_WM_NAME"),
                                    desktop.atom("UTF8_STRING"), 8, caption.size(), caption.data());
            }
            if (minimised) {
                // Asks to start iconic, and records the state as the window manager
                // would: this display has none.
                const std::uint32_t hints[9] = {2, 0, 3, 0, 0, 0, 0, 0, 0};
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
                                    32, 9, hints);
                const xcb_atom_t wmState = desktop.atom("WM_STATE");
                const std::uint32_t state[2] = {3, XCB_NONE};
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, wmState, wmState, 32, 2, state);
            } else {
                xcb_map_window(c, m_window);
            }
            desktop.sync();
        }
        ~Window()
        {
            xcb_destroy_window(m_desktop.m_c, m_window);
            m_desktop.sync();
        }
        WindowHandle handle() const { return m_window; }
        /// Minimised windows are unmapped; a restored one would be mapped again.
        bool shownMinimised() const
        {
            auto* attributes = xcb_get_window_attributes_reply(
                m_desktop.m_c, xcb_get_window_attributes(m_desktop.m_c, m_window), nullptr);
            const bool unmapped = attributes && attributes->map_state == XCB_MAP_STATE_UNMAPPED;
            std::free(attributes);
            return unmapped;
        }

    private:
        Desktop& m_desktop;
        xcb_window_t m_window;
    };

    std::unique_ptr<Window> make(const std::string& instance, const std::string& windowClass,
                                 const std::string& caption, bool minimised)
    {
        return std::make_unique<Window>(*this, instance, windowClass, caption, minimised);
    }

private:
    pid_t m_server = 0;
    xcb_connection_t* m_c = nullptr;
    xcb_screen_t* m_screen = nullptr;
    bool m_hadDisplay = false;
    std::string m_oldDisplay;
};

#endif

class WindowManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        desktop = std::make_unique<Desktop>();
        if (!desktop->open(whyNot))
            desktop.reset();
    }
    static void TearDownTestSuite() { desktop.reset(); }

    void SetUp() override
    {
        if (!desktop)
            GTEST_SKIP() << "No display for window tests: " << whyNot;
    }

    static std::unique_ptr<Desktop> desktop;
    static std::string whyNot;

    std::unique_ptr<platform::Platform> native = platform::createNativePlatform();
    platform::WindowManager& windows = native->windows();
};

std::unique_ptr<Desktop> WindowManagerTest::desktop;
std::string WindowManagerTest::whyNot;

TEST_F(WindowManagerTest, SuiteWindowIsFoundByItsWholeCaptionOnly)
{
    const auto document =
        desktop->make("knjigovodstvo", "TarvinoMain", "Tarvino Knjigovodstvo 23 - firma.dat", false);
    const auto payroll = desktop->make("place", "TarvinoMain", "Tarvino Plaće 23", false);

    EXPECT_EQ(windows.findWindow(nullopt, "Tarvino Knjigovodstvo 23"), 0u);
    EXPECT_EQ(windows.findWindow(nullopt, "Tarvino Knjigovodstvo 23 - firma.dat"), document->handle());
    EXPECT_EQ(windows.findWindow(nullopt, "TARVINO PLAĆE 23"), payroll->handle());
    EXPECT_EQ(windows.findWindow(nullopt, "Tarvino Plaće"), 0u);
    EXPECT_EQ(windows.findWindow(nullopt, "Tarvino Maloprodaja 23"), 0u);

    // Its answer is never used; it must only come back.
    windows.sendMessage(payroll->handle(), 1042);
    EXPECT_FALSE(windows.isIconic(payroll->handle()));
}

TEST_F(WindowManagerTest, WindowIsFoundByClassWhateverItsCaption)
{
    const auto sheet = desktop->make("excel", "XLMain", "Knjiga1 - Excel", false);

    EXPECT_EQ(windows.findWindow(std::string("xlmain"), nullopt), sheet->handle());
    EXPECT_EQ(windows.findWindow(std::string("XLMain"), std::string("Knjiga1 - Excel")), sheet->handle());
    EXPECT_EQ(windows.findWindow(std::string("XLMain"), std::string("Knjiga2 - Excel")), 0u);
    EXPECT_EQ(windows.findWindow(std::string("OpusApp"), nullopt), 0u);
}

TEST_F(WindowManagerTest, MinimisedWindowStaysMinimisedWhenShownWithCommandTwo)
{
    const auto shop = desktop->make("maloprodaja", "TarvinoMain", "Tarvino Maloprodaja 23", true);

    const WindowHandle found = windows.findWindow(nullopt, "tarvino maloprodaja 23");
    ASSERT_EQ(found, shop->handle());
    EXPECT_TRUE(windows.isIconic(found));
    windows.showWindow(found, 2);
    EXPECT_TRUE(windows.isIconic(found));
    EXPECT_TRUE(shop->shownMinimised());
}

#ifndef _WIN32
TEST(WindowManagerWithoutDisplayTest, FindsNoWindow)
{
    const char* old = std::getenv("DISPLAY");
    const std::string saved = old ? old : "";
    auto native = platform::createNativePlatform();

    ::unsetenv("DISPLAY");
    EXPECT_EQ(native->windows().findWindow(nullopt, "Tarvino Knjigovodstvo 23"), 0u);
    EXPECT_FALSE(native->windows().isIconic(1));
    ::setenv("DISPLAY", "/nonexistent/tarvino:0", 1);
    EXPECT_EQ(native->windows().findWindow(std::string("XLMain"), nullopt), 0u);
    native->windows().showWindow(1, 2);

    if (old)
        ::setenv("DISPLAY", saved.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
}
#endif

} // namespace
} // namespace tarvino::test
