// The platform port, written once and run natively and under Wine: the file operations an update relies
// on, processes and the lock, windows, the registry, and Windows' rules for names.
#include "platform/Platform.h"

#include "platform/TextRules.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <thread>

#ifdef _WIN32
#include <future>
#include <windows.h>
#else
#include "XvfbDesktop.h"
#include "platform/posix/PosixProcesses.h"
#endif

namespace tarvino::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using V = std::vector<std::string>;

fs::path native(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

/// The native platform and a fresh folder of the test's own; paths are UTF-8 texts with the native
/// separator, as the logic forms them.
class PlatformTest : public ::testing::Test {
protected:
    PlatformTest()
    {
        std::random_device random;
        fs::path made;
        do
            made = fs::temp_directory_path() / ("tarvino-platform-" + std::to_string(random()));
        while (!fs::create_directory(made));
        const std::u8string text = made.lexically_normal().u8string();
        folder.assign(text.begin(), text.end());
    }
    ~PlatformTest() override { files.removeFolder(folder); }

    /// A path inside the folder: `at("a", "b.txt")`.
    template <typename... Names> std::string at(const Names&... names) const
    {
        std::string path = folder;
        ((path += platform::pathSeparator(), path += names), ...);
        return path;
    }
    void write(const std::string& path, const std::string& bytes, bool readOnly = false)
    {
        files.deleteFile(path, true);
        files.appendToFile(path, bytes);
        if (readOnly)
            fs::permissions(native(path),
                            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::remove);
    }
    std::string read(const std::string& path) const
    {
        std::string bytes;
        files.readFile(path, bytes);
        return bytes;
    }

    std::unique_ptr<platform::Platform> platform = platform::createNativePlatform();
    platform::FileSystem& files = platform->files();
    platform::Processes& processes = platform->processes();
    std::string folder;
};

// The backup relies on both: a move never overwrites, and only an absent file (not an absent folder)
// counts as a new item.
TEST_F(PlatformTest, MoveNeverReplacesAndTellsAbsentFileFromAbsentFolder)
{
    write(at("Knjiženje.exe"), "new");
    write(at("Backup.exe"), "old");
    const platform::Outcome onto = files.moveFile(at("Knjiženje.exe"), at("Backup.exe"));
    EXPECT_FALSE(onto || onto.notFound());
    EXPECT_EQ(read(at("Backup.exe")), "old");
    EXPECT_TRUE(files.moveFile(at("Nema.exe"), at("Drugi.exe")).notFound());
    const platform::Outcome noFolder = files.moveFile(at("Nema", "Program.exe"), at("Drugi.exe"));
    EXPECT_FALSE(noFolder || noFolder.notFound());
    ASSERT_TRUE(files.moveFile(at("Knjiženje.exe"), at("Drugi.exe")));
    EXPECT_EQ(read(at("Drugi.exe")), "new");
}

// Read-only files go too, but one file only when forced; "*.*" takes names without a dot, as on Windows.
TEST_F(PlatformTest, DeletionOfFilesAndFolders)
{
    write(at("Zaključano.dll"), "x", true);
    EXPECT_FALSE(files.deleteFile(at("Zaključano.dll"), false));
    EXPECT_TRUE(files.deleteFile(at("Zaključano.dll"), true));
    EXPECT_TRUE(files.deleteFile(at("Zaključano.dll"), true).notFound());

    const std::string update = at("Update") + platform::pathSeparator();
    ASSERT_TRUE(files.createFolder(at("Update")) && files.createFolder(at("Update", "Pomoć")));
    for (const char* name : {"Program.7z", "RAČUNI.7Z", "Arhiva.7zip", "PROČITAJ"})
        write(update + name, name, true);
    EXPECT_TRUE(files.deleteMatching(update, "*.7z"));
    V left = files.listFiles(update);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (V{"Arhiva.7zip", "PROČITAJ"}));
    EXPECT_FALSE(files.deleteMatching(update, "*.7z"));
    EXPECT_TRUE(files.deleteMatching(update, "*.*"));
    EXPECT_TRUE(files.listFiles(update).empty());
    EXPECT_FALSE(files.deleteMatching(at("Nema") + platform::pathSeparator(), "*.*"));

    write(at("Update", "Pomoć", "Pomoc.chm"), "h", true);
    EXPECT_TRUE(files.removeFolder(update));
    EXPECT_FALSE(files.folderExists(update));
    EXPECT_FALSE(files.removeFolder(update));
}

TEST_F(PlatformTest, CopyReplacesWholeFilesAndAppendCreatesThenAppends)
{
    write(at("Obračun.txt"), "short");
    write(at("Stare verzije.txt"), "a much longer old content");
    ASSERT_TRUE(files.copyFile(at("Obračun.txt"), at("Stare verzije.txt")));
    EXPECT_EQ(read(at("Stare verzije.txt")), "short");
    EXPECT_TRUE(files.copyFile(at("Nema.txt"), at("Kopija.txt")).notFound());
    // A read-only copy replaces its target by renaming and leaves nothing beside it.
    write(at("Novije.txt"), "newer", true);
    ASSERT_TRUE(files.copyInOneStep(at("Novije.txt"), at("Stare verzije.txt")));
    EXPECT_EQ(read(at("Stare verzije.txt")), "newer");
    EXPECT_FALSE(files.fileExists(at("Stare verzije.txt.novi")));

    bool opened = false;
    ASSERT_TRUE(files.appendToFile(at("Ažuriranje.log"), "prvi\r\n", &opened));
    EXPECT_TRUE(opened);
    ASSERT_TRUE(files.appendToFile(at("Ažuriranje.log"), "drugi\r\n", &opened));
    EXPECT_EQ(files.fileSize(at("Ažuriranje.log")), 13u);
    EXPECT_FALSE(files.appendToFile(at("Nema", "Update.log"), "x", &opened) || opened);
    platform::Outcome why;
    EXPECT_FALSE(files.fileSize(at("Nema.txt"), &why));
    EXPECT_TRUE(why.notFound());
}

// A link planted in a working folder: every writing step replaces or removes the link itself and leaves
// what it points at as it was; nothing is copied from it either.
TEST_F(PlatformTest, PlantedLinksAreNeverFollowed)
{
    ASSERT_TRUE(files.createFolder(at("Izvan")) && files.createFolder(at("Update")));
    write(at("Izvan", "Sistem.dll"), "original");
    write(at("Novi.exe"), "new");
    const std::string link = at("Update", "Link");
    // Steps through a link to the file, then through a link to its folder.
    const std::function<void()> steps[] = {
        [&] { files.copyFile(at("Novi.exe"), link); }, [&] { files.copyFile(link, at("Kopija")); },
        [&] { files.appendToFile(link, "journal"); },  [&] { files.deleteFile(link, true); },
        [&] { files.moveFile(link, at("Kopija")); },   [&] { files.removeFolder(link); },
        [&] { files.deleteMatching(link, "*.*"); },
    };
    for (int step = 0; step < 7; ++step) {
        SCOPED_TRACE(step);
        const bool toFolder = step >= 5;
        const fs::path target = native(toFolder ? at("Izvan") : at("Izvan", "Sistem.dll"));
#ifdef _WIN32
        // Wine makes the link but does not show it as a reparse point: nothing to test there.
        const DWORD flag = toFolder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
        CreateSymbolicLinkW(native(link).c_str(), target.c_str(),
                            flag | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
#else
        fs::create_symlink(target, native(link));
#endif
        if (!files.isLink(link))
            GTEST_SKIP() << "No links here";
        EXPECT_FALSE(files.fileExists(link) || files.fileSize(link));
        steps[step]();
        EXPECT_EQ(read(at("Izvan", "Sistem.dll")), "original");
        EXPECT_EQ(files.listFiles(at("Izvan")), V{"Sistem.dll"});
        EXPECT_FALSE(files.fileExists(at("Kopija")));
        files.deleteFile(link, true);
        files.deleteFile(at("Kopija"), true);
        files.removeFolder(link);
    }
}

// This program as a child, copied into a folder whose name has blanks and diacritics.
TEST_F(PlatformTest, ProgramsAreWaitedForAndTheLockKeepsOutEveryOtherHolder)
{
    ASSERT_TRUE(files.createFolder(at("Program Files č ž")));
    const std::string child = at("Program Files č ž", TARVINO_SELF_NAME);
    ASSERT_TRUE(files.copyFile(
        platform->system().programFolder() + platform::pathSeparator() + TARVINO_SELF_NAME, child));
    const platform::Started quick = processes.startHidden('"' + child + "\" --child 7");
    ASSERT_TRUE(quick.outcome) << quick.outcome.description;
    ASSERT_TRUE(processes.waitFor(quick.processId, 60s));
    EXPECT_EQ(processes.exitCode(quick.processId), 7);
    // A wait slice ends while the program still runs; a later one sees it end.
    const platform::Started slow = processes.startHidden('"' + child + "\" --child 3 2000");
    EXPECT_FALSE(processes.waitFor(slow.processId, 0ms) || processes.exitCode(slow.processId));
    ASSERT_TRUE(processes.waitFor(slow.processId, 60s));
    EXPECT_EQ(processes.exitCode(slow.processId), 3);
    for (const char* missing : {"tarvino-nepostojeci-program.exe 1", "   "})
        EXPECT_FALSE(processes.startHidden(missing).outcome) << missing;

    // One update run per installation: a second holder is kept out, in this process and in another,
    // and a holder that dies leaves nothing in the way.
    const std::string lock = at("LiveUpdate.lock");
    {
        const platform::LockAttempt first = files.lockFile(lock);
        ASSERT_TRUE(first.lock) << first.outcome.description;
        EXPECT_TRUE(files.lockFile(lock).busy);
    }
    const platform::Started holder = processes.startHidden('"' + child + "\" --child lock \"" + lock + '"');
    const auto deadline = platform->clock().monotonic() + 60s;
    while (!files.fileExists(lock + ".held") && !processes.waitFor(holder.processId, 10ms) &&
           platform->clock().monotonic() < deadline) {
    }
    const platform::LockAttempt refused = files.lockFile(lock);
    EXPECT_TRUE(!refused.lock && refused.busy);
    files.deleteFile(lock + ".held", true);
    ASSERT_TRUE(processes.waitFor(holder.processId, 60s));
    EXPECT_TRUE(files.lockFile(lock).lock);
#ifdef _WIN32
    // The registration tool is found on the search path (elsewhere a stand-in on PATH takes its place).
    const platform::Started registration =
        processes.startHidden("RegSvr32.exe \"" + at("Grid č.ocx") + "\" /s");
    ASSERT_TRUE(registration.outcome) << registration.outcome.description;
    EXPECT_TRUE(processes.waitFor(registration.processId, 120s));
#endif
}

// Windows programs split their own command line; elsewhere it is split for them, and must come out the
// same: no argument becomes a switch. Names compare without case, as on Windows; a letter with a caron
// stays another letter, and a damaged byte stands for itself instead of vanishing.
TEST(TextRulesTest, CommandLinesSplitAndNamesCompareAsOnWindows)
{
    EXPECT_FALSE(platform::equalsIgnoringCase("c", "č"));
    EXPECT_FALSE(platform::equalsIgnoringCase("a\xC4", "a"));
#ifndef _WIN32
    using platform::splitCommandLine;
    EXPECT_EQ(splitCommandLine("  \"/opt/Tarvino 23/7za\"\te -o\"/a b/Update/\" \"\" "),
              (V{"/opt/Tarvino 23/7za", "e", "-o/a b/Update/", ""}));
    // Backslashes count only before a quote; the program name knows no escapes.
    EXPECT_EQ(splitCommandLine("\"C:\\dir\\\" a\\\\b \\\"q\\\" \"c\\\\\" \"say \"\"hi\"\"\""),
              (V{"C:\\dir\\", "a\\\\b", "\"q\"", "c\\", "say \"hi\""}));
    for (const V& arguments : {V{"/opt/7za", "e", "-o/a b/Update", "--", "/a b/Novi.7z\" -o. -x!B.exe"},
                               V{"C:\\Program Files\\7za.exe", "", "a\\\\\"b", "trailing\\", "\t"}})
        EXPECT_EQ(splitCommandLine(platform::commandLineOf(arguments)), arguments);
#endif
}

TEST_F(PlatformTest, RegistryValuesByFullPathAndTheSystem)
{
#ifdef _WIN32
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvino Test");
#else
    // The store lives under the test's own configuration folder.
    ::setenv("XDG_CONFIG_HOME", at("konfiguracija").c_str(), 1);
#endif
    platform::Registry& registry = platform->registry();
    const std::string key = "HKCU\\Software\\Tarvino Test\\Crystal Reports Designer Component\\Export\\";
    EXPECT_FALSE(registry.readDword(key + "BitMapMagnifNumerator"));
    ASSERT_TRUE(registry.writeDword(key + "BitMapMagnifDenominator", 1));
    ASSERT_TRUE(registry.writeDword(key + "BitMapMagnifNumerator", 12));
    // Written again, the value is replaced, whatever spelling of the path names it.
    ASSERT_TRUE(registry.writeDword("HKEY_CURRENT_USER\\software\\tarvino test\\crystal reports designer "
                                    "component\\export\\BITMAPMAGNIFNUMERATOR",
                                    0xFFFFFFFFu));
    EXPECT_EQ(registry.readDword(key + "BitMapMagnifNumerator"), 0xFFFFFFFFu);
    EXPECT_EQ(registry.readDword(key + "BitMapMagnifDenominator"), 1u);
    for (const char* invalid : {"HKXX\\Software\\A", "BitMapMagnifNumerator", "HKCU\\Software\\A\nB=1"})
        EXPECT_FALSE(registry.writeDword(invalid, 1)) << invalid;

    EXPECT_FALSE(platform->system().computerName().value_or("").empty());
}

#ifdef _WIN32
/// Windows made with user32, as the suite's programs make theirs (Wine draws them on the display that
/// CTest gives it).
struct Desktop {
    bool open(std::string&) { return true; }
    platform::WindowHandle open(const std::string& windowClass, const std::string& caption,
                                bool minimised = false)
    {
        const fs::path name = native(windowClass);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = name.c_str();
        RegisterClassW(&wc);
        const HWND window = CreateWindowExW(0, name.c_str(), native(caption).c_str(), WS_OVERLAPPEDWINDOW, 10,
                                            10, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
        ShowWindow(window, minimised ? SW_MINIMIZE : SW_SHOWNOACTIVATE);
        return reinterpret_cast<platform::WindowHandle>(window);
    }
    bool unmapped(platform::WindowHandle window) { return IsIconic(reinterpret_cast<HWND>(window)); }
};
#else
using Desktop = XvfbDesktop;
#endif

// č and ć are outside the Western ANSI code page.
TEST(WindowManagerTest, WindowIsFoundByItsWholeCaptionOrByItsClass)
{
    static Desktop desktop;
    std::string why;
    if (!desktop.open(why))
        GTEST_SKIP() << "No display for window tests: " << why;
    const auto document = desktop.open("TarvinoMain", "Tarvino Knjigovodstvo 23 - firma.dat");
    const auto payroll = desktop.open("TarvinoMain", "Tarvino Obračun plaća i žiro 23");
    const auto sheet = desktop.open("XLMain", "Knjiga1 - Excel");
    const auto shop = desktop.open("TarvinoMain", "Tarvino Maloprodaja 23", true);
    const struct {
        std::optional<std::string> windowClass;
        std::optional<std::string> caption;
        platform::WindowHandle expected;
    } rows[] = {
        {.caption = "Tarvino Knjigovodstvo 23", .expected = 0},
        {.caption = "Tarvino Knjigovodstvo 23 - firma.dat", .expected = document},
        {.caption = "TARVINO OBRAČUN PLAĆA I ŽIRO 23", .expected = payroll},
        {.caption = "tarvino maloprodaja 23", .expected = shop},
        {.windowClass = "xlmain", .expected = sheet},
        {.windowClass = "XLMain", .caption = "Knjiga2 - Excel", .expected = 0},
        {.windowClass = "OpusApp", .expected = 0},
    };
    const auto native = platform::createNativePlatform();
    platform::WindowManager& windows = native->windows();
    for (const auto& row : rows)
        EXPECT_EQ(windows.findWindow(row.windowClass, row.caption), row.expected)
            << row.windowClass.value_or("-") << " " << row.caption.value_or("-");
    // A minimised window stays minimised when shown with command 2.
    EXPECT_FALSE(windows.isIconic(payroll));
    windows.showWindow(shop, 2);
    EXPECT_TRUE(windows.isIconic(shop) && desktop.unmapped(shop));
#ifdef _WIN32
    // A program that stops answering must not stop the update with it.
    std::promise<platform::WindowHandle> made;
    std::promise<void> release;
    std::thread owner([&] {
        made.set_value(desktop.open("TarvinoMain", "Tarvino Blagajna 23"));
        release.get_future().wait(); // never looks at its messages again
    });
    const auto start = std::chrono::steady_clock::now();
    windows.sendMessage(made.get_future().get(), 1042);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    release.set_value();
    owner.join();
#endif
}

} // namespace
} // namespace tarvino::test

// Also the child program of the process tests: "--child CODE [MS]" exits with CODE after sleeping MS
// milliseconds; "--child lock PATH" locks PATH, says so with "<PATH>.held", and once that file is gone
// ends at once without letting go, as a killed program would.
int main(int argc, char** argv)
{
    using namespace tarvino;
    if (argc > 3 && std::string(argv[1]) == "--child" && std::string(argv[2]) == "lock") {
        const auto native = platform::createNativePlatform();
        platform::FileSystem& files = native->files();
        const std::string held = std::string(argv[3]) + ".held";
        const platform::LockAttempt attempt = files.lockFile(argv[3]);
        if (!attempt.lock || !files.appendToFile(held, ""))
            return 2;
        while (files.fileExists(held))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::_Exit(0);
    }
    if (argc > 2 && std::string(argv[1]) == "--child") {
        std::this_thread::sleep_for(std::chrono::milliseconds(argc > 3 ? std::atoi(argv[3]) : 0));
        return std::atoi(argv[2]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
