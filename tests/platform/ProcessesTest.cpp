#include "TestFolder.h"
#include "platform/TextRules.h"

#ifndef _WIN32
#include "platform/posix/PosixProcesses.h"
#endif

#include <gtest/gtest.h>

namespace tarvino::test {
namespace {

using namespace std::chrono_literals;

class ProcessesTest : public ::testing::Test {
protected:
    std::unique_ptr<platform::Platform> native = platform::createNativePlatform();
    platform::FileSystem& files = native->files();
    platform::Processes& processes = native->processes();
    TestFolder dir{files};

    std::string quoted(const std::string& path) { return '"' + path + '"'; }

    /// The child program, copied into a folder whose name has blanks and diacritics.
    std::string child()
    {
        const std::string original =
            native->system().programFolder() + platform::pathSeparator() + TARVINO_CHILD_NAME;
        files.createFolder(dir.at("Program Files č ž"));
        const std::string copy = dir.at("Program Files č ž", TARVINO_CHILD_NAME);
        EXPECT_TRUE(files.copyFile(original, copy)) << original;
        return copy;
    }
};

TEST_F(ProcessesTest, StartedProgramIsWaitedForAndGivesItsExitCode)
{
    const std::string program = child();

    const platform::Started quick = processes.startHidden(quoted(program) + " 7");
    ASSERT_TRUE(quick.outcome) << quick.outcome.description;
    ASSERT_GT(quick.processId, 0);
    ASSERT_TRUE(processes.waitFor(quick.processId, 60s));
    EXPECT_EQ(processes.exitCode(quick.processId), 7);
    EXPECT_TRUE(processes.waitFor(quick.processId, 0ms));

    // A wait slice ends while the program still runs; the next one sees it end.
    const platform::Started slow = processes.startHidden(quoted(program) + " 3 2000");
    ASSERT_TRUE(slow.outcome) << slow.outcome.description;
    EXPECT_FALSE(processes.waitFor(slow.processId, 0ms));
    EXPECT_FALSE(processes.exitCode(slow.processId));
    ASSERT_TRUE(processes.waitFor(slow.processId, 60s));
    EXPECT_EQ(processes.exitCode(slow.processId), 3);
}

// One update run per installation: the lock keeps out a second holder in this
// process and in another, and a holder that dies leaves nothing in the way.
TEST_F(ProcessesTest, LockKeepsEveryOtherHolderOutUntilItsHolderEndsOrDies)
{
    const std::string path = dir.at("LiveUpdate.lock");
    {
        const platform::LockAttempt first = files.lockFile(path);
        ASSERT_TRUE(first.lock) << first.outcome.description;
        const platform::LockAttempt second = files.lockFile(path);
        EXPECT_TRUE(!second.lock && second.busy);
    }

    const platform::Started other = processes.startHidden(quoted(child()) + " lock " + quoted(path));
    ASSERT_TRUE(other.outcome) << other.outcome.description;
    const auto deadline = native->clock().monotonic() + 60s;
    while (!files.fileExists(path + ".held") && !processes.waitFor(other.processId, 10ms) &&
           native->clock().monotonic() < deadline) {
    }
    ASSERT_TRUE(files.fileExists(path + ".held"));
    const platform::LockAttempt refused = files.lockFile(path);
    EXPECT_TRUE(!refused.lock && refused.busy);

    files.deleteFile(path + ".held", true);
    ASSERT_TRUE(processes.waitFor(other.processId, 60s));
    EXPECT_EQ(processes.exitCode(other.processId), 0);
    EXPECT_TRUE(files.fileExists(path));
    EXPECT_TRUE(files.lockFile(path).lock);
}

TEST_F(ProcessesTest, MissingProgramIsAFailedStart)
{
    for (const std::string& command : {std::string("tarvino-nepostojeci-program.exe 1"),
                                       quoted(dir.at("Nema", "7za.exe")) + " e", std::string("   ")}) {
        SCOPED_TRACE(command);
        const platform::Started started = processes.startHidden(command);
        EXPECT_FALSE(started.outcome);
        EXPECT_EQ(started.processId, 0);
    }
}

#ifdef _WIN32
// The registration tool is found on the search path (elsewhere a stand-in on PATH takes its place).
TEST_F(ProcessesTest, RegistrationToolIsStartedFromTheSearchPath)
{
    const platform::Started started =
        processes.startHidden("RegSvr32.exe " + quoted(dir.at("Moje komponente", "Grid č.ocx")) + " /s");
    ASSERT_TRUE(started.outcome) << started.outcome.description;
    EXPECT_TRUE(processes.waitFor(started.processId, 120s));
}
#else
// Windows programs split their own command line; here it is split for them,
// and must come out the same.
TEST(CommandLineTest, SplitsLikeWindowsPrograms)
{
    using platform::splitCommandLine;
    using V = std::vector<std::string>;
    EXPECT_EQ(splitCommandLine("\"/opt/Tarvino 23/7za\" e \"/a b/Račun.7z\" -aoa -o\"/a b/Update/\""),
              (V{"/opt/Tarvino 23/7za", "e", "/a b/Račun.7z", "-aoa", "-o/a b/Update/"}));
    EXPECT_EQ(splitCommandLine("  RegSvr32.exe   \"x y.dll\"\t/u /s  "),
              (V{"RegSvr32.exe", "x y.dll", "/u", "/s"}));
    EXPECT_EQ(splitCommandLine("p \"\" a"), (V{"p", "", "a"}));
    // Backslashes count only before a quote; the program name knows no escapes.
    EXPECT_EQ(splitCommandLine("\"C:\\dir\\\" a\\\\b \\\"q\\\" \"c\\\\\" \"say \"\"hi\"\"\""),
              (V{"C:\\dir\\", "a\\\\b", "\"q\"", "c\\", "say \"hi\""}));

    // Quoted for a Windows program, arguments come back as they were: none becomes a switch.
    for (const V& arguments : {V{"/opt/7za", "e", "-o/a b/Update", "--", "/a b/Novi.7z\" -o. -x!B.exe"},
                               V{"C:\\Program Files\\7za.exe", "", "a\\\\\"b", "trailing\\", "\t"}})
        EXPECT_EQ(splitCommandLine(platform::commandLineOf(arguments)), arguments);
}
#endif

} // namespace
} // namespace tarvino::test
