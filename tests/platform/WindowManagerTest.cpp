#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include "XvfbDesktop.h"

#include <cstdlib>
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

/// Windows made on an Xvfb of the test's own.
class Desktop {
public:
    bool open(std::string& why) { return m_x.open(why); }

    class Window {
    public:
        Window(XvfbDesktop& x, xcb_window_t window) : m_x(x), m_window(window) {}
        ~Window() { m_x.close(m_window); }
        WindowHandle handle() const { return m_window; }
        /// Minimised windows are unmapped; a restored one would be mapped again.
        bool shownMinimised() const { return m_x.unmapped(m_window); }

    private:
        XvfbDesktop& m_x;
        xcb_window_t m_window;
    };

    std::unique_ptr<Window> make(const std::string& instance, const std::string& windowClass,
                                 const std::string& caption, bool minimised)
    {
        return std::make_unique<Window>(m_x, m_x.open(windowClass, caption, minimised, instance));
    }

private:
    XvfbDesktop m_x;
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
