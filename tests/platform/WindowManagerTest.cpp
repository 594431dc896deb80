#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <future>
#include <thread>
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
    wchar_t out[256] = {};
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out, 255);
    return out;
}

bool openDesktop(std::string& why)
{
    // Wine draws its windows on an X display; without one it cannot make any.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (wine && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
        why = "Wine has no X display (DISPLAY is not set)";
        return false;
    }
    return true;
}

void closeDesktop() {}

/// A top-level window made with user32 itself, as the suite's programs make theirs.
class TestWindow {
public:
    TestWindow(const std::string& /*instance*/, const std::string& windowClass, const std::string& caption,
               bool minimised)
    {
        const std::wstring cls = wide(windowClass);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = cls.c_str();
        RegisterClassW(&wc);
        m_window = CreateWindowExW(0, cls.c_str(), wide(caption).c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 300, 200,
                                   nullptr, nullptr, wc.hInstance, nullptr);
        EXPECT_NE(m_window, nullptr) << "CreateWindowExW failed: " << GetLastError();
        ShowWindow(m_window, minimised ? SW_MINIMIZE : SW_SHOWNOACTIVATE);
    }
    ~TestWindow() { DestroyWindow(m_window); }
    WindowHandle handle() const { return reinterpret_cast<WindowHandle>(m_window); }
    bool shownMinimised() const { return IsIconic(m_window) != FALSE; }

private:
    HWND m_window = nullptr;
};

#else

std::unique_ptr<XvfbDesktop> desktop;

bool openDesktop(std::string& why)
{
    desktop = std::make_unique<XvfbDesktop>();
    return desktop->open(why);
}

void closeDesktop()
{
    desktop.reset();
}

/// A top-level window on an Xvfb of the test's own.
class TestWindow {
public:
    TestWindow(const std::string& instance, const std::string& windowClass, const std::string& caption,
               bool minimised)
        : m_window(desktop->open(windowClass, caption, minimised, instance))
    {
    }
    ~TestWindow() { desktop->close(m_window); }
    WindowHandle handle() const { return m_window; }
    /// Minimised windows are unmapped; a restored one would be mapped again.
    bool shownMinimised() const { return desktop->unmapped(m_window); }

private:
    xcb_window_t m_window;
};

#endif

class WindowManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ready = openDesktop(whyNot); }
    static void TearDownTestSuite() { closeDesktop(); }

    void SetUp() override
    {
        if (!ready)
            GTEST_SKIP() << "No display for window tests: " << whyNot;
    }

    static inline bool ready = false;
    static inline std::string whyNot;

    std::unique_ptr<platform::Platform> native = platform::createNativePlatform();
    platform::WindowManager& windows = native->windows();
};

TEST_F(WindowManagerTest, SuiteWindowIsFoundByItsWholeCaptionOnly)
{
    const TestWindow document("knjigovodstvo", "TarvinoMain", "Tarvino Knjigovodstvo 23 - firma.dat", false);
    const TestWindow payroll("place", "TarvinoMain", "Tarvino Obračun plaća i žiro 23", false);

    EXPECT_EQ(windows.findWindow(nullopt, "Tarvino Knjigovodstvo 23"), 0u);
    EXPECT_EQ(windows.findWindow(nullopt, "Tarvino Knjigovodstvo 23 - firma.dat"), document.handle());
    // č and ć are outside the Western ANSI code page.
    EXPECT_EQ(windows.findWindow(nullopt, "TARVINO OBRAČUN PLAĆA I ŽIRO 23"), payroll.handle());
    EXPECT_EQ(windows.findWindow(nullopt, "Tarvino Obračun plaća"), 0u);
    EXPECT_EQ(windows.findWindow(nullopt, "Tarvino Maloprodaja 23"), 0u);
    EXPECT_FALSE(windows.isIconic(payroll.handle()));
}

#ifdef _WIN32
// A program that stops answering must not stop the update with it.
TEST_F(WindowManagerTest, MessageToAHungWindowComesBack)
{
    std::promise<WindowHandle> made;
    std::promise<void> release;
    std::thread owner([&] {
        const TestWindow hung("", "TarvinoMain", "Tarvino Blagajna 23", false);
        made.set_value(hung.handle());
        release.get_future().wait(); // never looks at its messages again
    });
    const WindowHandle hung = made.get_future().get();
    const auto start = std::chrono::steady_clock::now();
    windows.sendMessage(hung, 1042);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    release.set_value();
    owner.join();
}
#endif

TEST_F(WindowManagerTest, WindowIsFoundByClassWhateverItsCaption)
{
    const TestWindow sheet("excel", "XLMain", "Knjiga1 - Excel", false);

    EXPECT_EQ(windows.findWindow(std::string("xlmain"), nullopt), sheet.handle());
    EXPECT_EQ(windows.findWindow(std::string("XLMain"), std::string("Knjiga1 - Excel")), sheet.handle());
    EXPECT_EQ(windows.findWindow(std::string("XLMain"), std::string("Knjiga2 - Excel")), 0u);
    EXPECT_EQ(windows.findWindow(std::string("OpusApp"), nullopt), 0u);
}

TEST_F(WindowManagerTest, MinimisedWindowStaysMinimisedWhenShownWithCommandTwo)
{
    const TestWindow shop("maloprodaja", "TarvinoMain", "Tarvino Maloprodaja 23", true);

    const WindowHandle found = windows.findWindow(nullopt, "tarvino maloprodaja 23");
    ASSERT_EQ(found, shop.handle());
    EXPECT_TRUE(windows.isIconic(found));
    windows.showWindow(found, 2);
    EXPECT_TRUE(windows.isIconic(found));
    EXPECT_TRUE(shop.shownMinimised());
}

#ifndef _WIN32
// Leaves DISPLAY spoilt: the window tests set their own.
TEST(WindowManagerWithoutDisplayTest, FindsNoWindow)
{
    auto native = platform::createNativePlatform();
    ::unsetenv("DISPLAY");
    EXPECT_EQ(native->windows().findWindow(nullopt, "Tarvino Knjigovodstvo 23"), 0u);
    EXPECT_FALSE(native->windows().isIconic(1));
    ::setenv("DISPLAY", "/nonexistent/tarvino:0", 1);
    EXPECT_EQ(native->windows().findWindow(std::string("XLMain"), nullopt), 0u);
    native->windows().showWindow(1, 2);
}
#endif

} // namespace
} // namespace tarvino::test
