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
    TestWindow(const std::string& windowClass, const std::string& caption, bool minimised = false)
    {
        const std::wstring cls = wide(windowClass);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = cls.c_str();
        RegisterClassW(&wc);
        m_window = CreateWindowExW(0, cls.c_str(), wide(caption).c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 300,
                                   200, nullptr, nullptr, wc.hInstance, nullptr);
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

void closeDesktop() { desktop.reset(); }

/// A top-level window on an Xvfb of the test's own.
class TestWindow {
public:
    TestWindow(const std::string& windowClass, const std::string& caption, bool minimised = false)
        : m_window(desktop->open(windowClass, caption, minimised))
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

// č and ć are outside the Western ANSI code page.
TEST_F(WindowManagerTest, WindowIsFoundByItsWholeCaptionOrByItsClass)
{
    const TestWindow document("TarvinoMain", "Tarvino Knjigovodstvo 23 - firma.dat");
    const TestWindow payroll("TarvinoMain", "Tarvino Obračun plaća i žiro 23");
    const TestWindow sheet("XLMain", "Knjiga1 - Excel");
    const TestWindow shop("TarvinoMain", "Tarvino Maloprodaja 23", true);
    const struct {
        std::optional<std::string> windowClass;
        std::optional<std::string> caption;
        WindowHandle expected;
    } cases[] = {
        {nullopt, "Tarvino Knjigovodstvo 23", 0},
        {nullopt, "Tarvino Knjigovodstvo 23 - firma.dat", document.handle()},
        {nullopt, "TARVINO OBRAČUN PLAĆA I ŽIRO 23", payroll.handle()},
        {nullopt, "Tarvino Obračun plaća", 0},
        {nullopt, "tarvino maloprodaja 23", shop.handle()},
        {"xlmain", nullopt, sheet.handle()},
        {"XLMain", "Knjiga1 - Excel", sheet.handle()},
        {"XLMain", "Knjiga2 - Excel", 0},
        {"OpusApp", nullopt, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(windows.findWindow(c.windowClass, c.caption), c.expected)
            << c.windowClass.value_or("-") << " " << c.caption.value_or("-");

    // A minimised window stays minimised when shown with command 2.
    EXPECT_FALSE(windows.isIconic(payroll.handle()));
    EXPECT_TRUE(windows.isIconic(shop.handle()));
    windows.showWindow(shop.handle(), 2);
    EXPECT_TRUE(windows.isIconic(shop.handle()));
    EXPECT_TRUE(shop.shownMinimised());
}

#ifdef _WIN32
// A program that stops answering must not stop the update with it.
TEST_F(WindowManagerTest, MessageToAHungWindowComesBack)
{
    std::promise<WindowHandle> made;
    std::promise<void> release;
    std::thread owner([&] {
        const TestWindow hung("TarvinoMain", "Tarvino Blagajna 23");
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

} // namespace
} // namespace tarvino::test
