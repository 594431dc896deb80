#include "TestFolder.h"
#include "platform/RegistryPath.h"
#include "platform/TextRules.h"

#include <cstdlib>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarvino::test {
namespace {

using platform::equalsIgnoringCase;
using platform::matchesWildcard;

// Windows' rules, so that both halves treat the same names alike.
TEST(TextRulesTest, WildcardsAndCaseFollowWindows)
{
    const struct {
        const char* text;
        const char* pattern;
        bool matches;
    } wildcards[] = {
        {"PROGRAM.EXE", "*.exe", true}, {"exe", "*.exe", false}, {".skriveno", "*", true},
        {"a.b.c", "*.c", true}, {"Pomoc1.chm", "Pomoc?.chm", true}, {"Pomoc.chm", "Pomoc?.chm", false},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*b", true},
    };
    for (const auto& w : wildcards)
        EXPECT_EQ(matchesWildcard(w.text, w.pattern), w.matches) << w.text << " " << w.pattern;

    EXPECT_TRUE(equalsIgnoringCase("čćžšđ", "ČĆŽŠĐ"));
    EXPECT_FALSE(equalsIgnoringCase("Tarvino 23", "Tarvino 23 "));
    EXPECT_FALSE(equalsIgnoringCase("c", "č"));
    // A damaged byte stands for itself instead of vanishing.
    EXPECT_FALSE(equalsIgnoringCase("a\xC4", "a"));
}

TEST(RegistryPathTest, SplitsRootKeyAndValueName)
{
    const auto path = platform::parseRegistryPath("HKEY_CURRENT_USER\\Software\\Crystal Reports\\Numerator");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->root + "|" + path->key + "|" + path->name, "HKCU|Software\\Crystal Reports|Numerator");
    EXPECT_EQ(platform::parseRegistryPath("hkcu\\Vrijednost")->key, "");
    EXPECT_FALSE(platform::parseRegistryPath("HKXX\\Software\\A"));
    EXPECT_FALSE(platform::parseRegistryPath("BitMapMagnifNumerator"));
    EXPECT_FALSE(platform::parseRegistryPath("HKCU\\Software\\A\nB=1"));
}

class RegistryTest : public ::testing::Test {
protected:
    std::unique_ptr<platform::Platform> native = platform::createNativePlatform();
    platform::Registry& registry = native->registry();
    TestFolder dir{native->files()};
    const std::string key = "HKCU\\Software\\Tarvino Test\\Crystal Reports Designer Component\\Export\\";

#ifdef _WIN32
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvino Test"); }
#else
    // The store lives under the test's own configuration folder; no other test reads it.
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.at("konfiguracija").c_str(), 1); }
#endif
};

TEST_F(RegistryTest, DwordIsWrittenAndReadBackByFullPath)
{
    EXPECT_FALSE(registry.readDword(key + "BitMapMagnifNumerator"));
    ASSERT_TRUE(registry.writeDword(key + "BitMapMagnifDenominator", 1));
    ASSERT_TRUE(registry.writeDword(key + "BitMapMagnifNumerator", 12));
    EXPECT_EQ(registry.readDword(key + "BitMapMagnifNumerator"), 12u);

    // Written again, the value is replaced, whatever spelling of the path names it.
    ASSERT_TRUE(registry.writeDword("HKEY_CURRENT_USER\\software\\tarvino test\\crystal reports designer "
                                    "component\\export\\BITMAPMAGNIFNUMERATOR",
                                    0xFFFFFFFFu));
    EXPECT_EQ(registry.readDword(key + "BitMapMagnifNumerator"), 0xFFFFFFFFu);
    EXPECT_EQ(registry.readDword(key + "BitMapMagnifDenominator"), 1u);

    ASSERT_TRUE(registry.writeDword(key + "Omjer=1:2", 3));
    EXPECT_EQ(registry.readDword(key + "Omjer=1:2"), 3u);

    EXPECT_FALSE(registry.writeDword("HKXX\\Software\\Tarvino Test\\A", 1));
}

TEST(SystemInfoTest, ComputerNameEnvironmentAndProgramFolder)
{
    auto native = platform::createNativePlatform();
    platform::SystemInfo& system = native->system();

    EXPECT_FALSE(system.computerName().value_or("").empty());
    EXPECT_TRUE(system.environment("PATH"));
    EXPECT_FALSE(system.environment("TARVINO_SURELY_NOT_SET_42"));

    const std::string folder = system.programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), platform::pathSeparator());
    EXPECT_TRUE(native->files().fileExists(folder + platform::pathSeparator() + TARVINO_SELF_NAME));
}

} // namespace
} // namespace tarvino::test
