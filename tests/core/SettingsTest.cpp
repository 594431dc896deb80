#include "TestInstallation.h"
#include "core/Settings.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

// Reads the INI file the way another tool would, to see what really landed on disk.
QString stored(const TestInstallation& inst, const QString& section, const QString& name)
{
    QSettings ini(inst.settings->location(), QSettings::IniFormat);
    return ini.value(section + QLatin1Char('/') + name, QStringLiteral("<absent>")).toString();
}

void store(TestInstallation& inst, const QString& section, const QString& name, const QString& value)
{
    inst.settings->write(section, name, value);
}

} // namespace

TEST(Settings, FirstRunWithEmptyStoreTakesEveryDefault)
{
    TestInstallation inst;
    bool regularSelected = false;

    UčitajPostavke(inst.ctx, [&] { regularSelected = true; });

    const SourceSettings& s = inst.state.sources;
    EXPECT_EQ(s.regularOption, PrimaryServer);
    EXPECT_EQ(s.trialOption, PrimaryServer);
    for (const QString& folder : s.folders)
        EXPECT_TRUE(folder.isEmpty());
    EXPECT_EQ(s.hourStep, 0);
    EXPECT_TRUE(s.useChilkat);
    EXPECT_EQ(UčitajBoju(*inst.settings), 14277323u);
    EXPECT_FALSE(regularSelected) << "the design selection raises no click";
    // Loading the hour step writes it back into section "Setting".
    EXPECT_EQ(stored(inst, QStringLiteral("Setting"), QStringLiteral("VrijemeAutoDownloadaNovihVerz")), QStringLiteral("0"));
}

TEST(Settings, SavedValuesComeBackOnTheNextStart)
{
    TestInstallation inst;
    SourceSettings& s = inst.state.sources;
    s.regularOption = NetworkFolder;
    s.trialOption = SecondaryServer;
    s.folders = {QStringLiteral("/srv/izdanje/"), QStringLiteral("/srv/distribucija/"), QStringLiteral("/srv/probna/")};
    SnimiPostavke(inst.ctx);
    SnimiSateAutomatskogPreuzimanja(inst.ctx, 5);

    EXPECT_EQ(stored(inst, QStringLiteral("Setting"), QStringLiteral("VrijemeAutoDownloadaNovihVerz")), QStringLiteral("5"));
    EXPECT_EQ(stored(inst, QStringLiteral("Settings"), QStringLiteral("VrijemeAutoDownloadaNovihVerz")), QStringLiteral("<absent>"));
    EXPECT_EQ(stored(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")), QStringLiteral("1"));
    EXPECT_EQ(stored(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLok23NProbna")), QStringLiteral("0"));

    AppState fresh;
    Context ctx {fresh, inst.window, inst.platform, *inst.settings};
    int clicks = 0;
    UčitajPostavke(ctx, [&] { ++clicks; });
    EXPECT_EQ(fresh.sources.regularOption, NetworkFolder);
    EXPECT_EQ(fresh.sources.trialOption, SecondaryServer);
    EXPECT_EQ(fresh.sources.folders, s.folders);
    EXPECT_EQ(fresh.sources.hourStep, 5);
    EXPECT_EQ(clicks, 1) << "a remembered source other than the design one counts as a click";
}

TEST(Settings, NothingIsSavedDuringStartUp)
{
    TestInstallation inst;
    inst.state.startingUp = true;
    inst.state.sources.regularOption = SecondaryServer;
    SnimiPostavke(inst.ctx);
    EXPECT_EQ(stored(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")), QStringLiteral("<absent>"));
}

TEST(Settings, DistributionFolderKeyFollowsTheRegularSource)
{
    TestInstallation inst;
    SourceSettings& s = inst.state.sources;
    const QString dist0 = QStringLiteral("/mreza/za-sekundarni/");
    const QString dist2 = QStringLiteral("/mreza/za-primarni/");

    s.regularOption = SecondaryServer;
    s.folders[DistributionFolderBox] = dist0;
    SnimiPostavke(inst.ctx);
    EXPECT_EQ(stored(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLokDirMr23")), dist0);
    EXPECT_EQ(stored(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLokDirMr.tarvino.Ba.23")), QStringLiteral("<absent>"));

    s.regularOption = PrimaryServer;
    s.folders[DistributionFolderBox] = dist2;
    SnimiPostavke(inst.ctx);
    EXPECT_EQ(stored(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLokDirMr23")), dist0);
    EXPECT_EQ(stored(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLokDirMr.tarvino.Ba.23")), dist2);

    // Each source finds the folder it was saved with.
    for (auto [option, expected] : {std::pair {0, dist0}, std::pair {1, dist2}, std::pair {2, dist2}}) {
        store(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"), QString::number(option));
        AppState fresh;
        Context ctx {fresh, inst.window, inst.platform, *inst.settings};
        UčitajPostavke(ctx);
        EXPECT_EQ(fresh.sources.folders[DistributionFolderBox], expected) << "option " << option;
    }
}

TEST(Settings, InvalidStoredValuesFallBackToTheirDefaults)
{
    TestInstallation inst;
    store(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"), QStringLiteral("7"));
    store(inst, QStringLiteral("Settings"), QStringLiteral("UpdateLok23NProbna"), QStringLiteral("dva"));
    store(inst, QStringLiteral("Settings"), QStringLiteral("BojaVelmora23"), QStringLiteral("abc"));
    store(inst, QStringLiteral("Setting"), QStringLiteral("VrijemeAutoDownloadaNovihVerz"), QStringLiteral("99"));
    store(inst, QStringLiteral("Settings"), QStringLiteral("KoristiChilkatZaDownload"), QStringLiteral("maybe"));

    UčitajPostavke(inst.ctx);

    EXPECT_EQ(inst.state.sources.regularOption, PrimaryServer);
    EXPECT_EQ(inst.state.sources.trialOption, PrimaryServer);
    EXPECT_EQ(UčitajBoju(*inst.settings), kDefaultColour);
    EXPECT_EQ(inst.state.sources.hourStep, 0);
    EXPECT_TRUE(inst.state.sources.useChilkat);
    EXPECT_EQ(stored(inst, QStringLiteral("Setting"), QStringLiteral("VrijemeAutoDownloadaNovihVerz")), QStringLiteral("0"));

    // An hour box left empty saves the default instead of stopping.
    SnimiSateAutomatskogPreuzimanja(inst.ctx, -1);
    EXPECT_EQ(inst.state.sources.hourStep, 0);
}

TEST(Settings, BooleanWordsAndNumbersSelectTheEngine)
{
    for (auto [text, expected] : {std::pair {"FALSE", false}, std::pair {"True", true}, std::pair {"0", false},
                                  std::pair {"-1", true}}) {
        TestInstallation inst;
        store(inst, QStringLiteral("Settings"), QStringLiteral("KoristiChilkatZaDownload"), QString::fromLatin1(text));
        UčitajPostavke(inst.ctx);
        EXPECT_EQ(inst.state.sources.useChilkat, expected) << text;
    }
}
