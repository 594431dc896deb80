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

} // namespace

TEST(Settings, FirstRunWithEmptyStoreTakesEveryDefault)
{
    TestInstallation inst;
    bool regularSelected = false;

    UčitajPostavke(inst.ctx, [&] { regularSelected = true; });

    const SourceSettings& s = inst.state.sources;
    EXPECT_EQ(s.regularOption, PrimaryServer);
    EXPECT_EQ(s.trialOption, PrimaryServer);
    EXPECT_EQ(s.folders, SourceSettings().folders);
    EXPECT_EQ(s.hourStep, 0);
    EXPECT_TRUE(s.useChilkat);
    EXPECT_EQ(UčitajBoju(*inst.settings), 14277323u);
    EXPECT_FALSE(regularSelected) << "the design selection raises no click";
    // Loading the hour step writes it back into section "Setting".
    EXPECT_EQ(stored(inst, "Setting", "VrijemeAutoDownloadaNovihVerz"), "0");
}

TEST(Settings, SavedOnlyAfterStartUpAndBackOnTheNextStart)
{
    TestInstallation inst;
    SourceSettings& s = inst.state.sources;
    s.regularOption = NetworkFolder;
    s.trialOption = SecondaryServer;
    s.folders = {"/srv/izdanje/", "/srv/distribucija/", "/srv/probna/"};
    inst.state.startingUp = true;
    SnimiPostavke(inst.ctx);
    EXPECT_EQ(stored(inst, "Settings", "UpdateLok23N"), "<absent>");

    inst.state.startingUp = false;
    SnimiPostavke(inst.ctx);
    SnimiSateAutomatskogPreuzimanja(inst.ctx, 5);
    EXPECT_EQ(stored(inst, "Setting", "VrijemeAutoDownloadaNovihVerz"), "5");
    EXPECT_EQ(stored(inst, "Settings", "VrijemeAutoDownloadaNovihVerz"), "<absent>");
    EXPECT_EQ(stored(inst, "Settings", "UpdateLok23N"), "1");
    EXPECT_EQ(stored(inst, "Settings", "UpdateLok23NProbna"), "0");

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

TEST(Settings, DistributionFolderKeyFollowsTheRegularSource)
{
    TestInstallation inst;
    SourceSettings& s = inst.state.sources;
    const QString dist0 = QStringLiteral("/mreza/za-sekundarni/");
    const QString dist2 = QStringLiteral("/mreza/za-primarni/");

    s.regularOption = SecondaryServer;
    s.folders[DistributionFolderBox] = dist0;
    SnimiPostavke(inst.ctx);
    EXPECT_EQ(stored(inst, "Settings", "UpdateLokDirMr23"), dist0);
    EXPECT_EQ(stored(inst, "Settings", "UpdateLokDirMr.tarvino.Ba.23"), "<absent>");

    s.regularOption = PrimaryServer;
    s.folders[DistributionFolderBox] = dist2;
    SnimiPostavke(inst.ctx);
    EXPECT_EQ(stored(inst, "Settings", "UpdateLokDirMr23"), dist0);
    EXPECT_EQ(stored(inst, "Settings", "UpdateLokDirMr.tarvino.Ba.23"), dist2);

    // Each source finds the folder it was saved with.
    for (auto [option, expected] : {std::pair {0, dist0}, std::pair {1, dist2}, std::pair {2, dist2}}) {
        inst.settings->write("Settings", "UpdateLok23N", QString::number(option));
        AppState fresh;
        Context ctx {fresh, inst.window, inst.platform, *inst.settings};
        UčitajPostavke(ctx);
        EXPECT_EQ(fresh.sources.folders[DistributionFolderBox], expected) << "option " << option;
    }
}

TEST(Settings, InvalidStoredValuesFallBackToTheirDefaults)
{
    TestInstallation inst;
    inst.settings->write("Settings", "UpdateLok23N", "7");
    inst.settings->write("Settings", "UpdateLok23NProbna", "dva");
    inst.settings->write("Settings", "BojaVelmora23", "abc");
    inst.settings->write("Setting", "VrijemeAutoDownloadaNovihVerz", "99");
    inst.settings->write("Settings", "KoristiChilkatZaDownload", "maybe");

    UčitajPostavke(inst.ctx);

    EXPECT_EQ(inst.state.sources.regularOption, PrimaryServer);
    EXPECT_EQ(inst.state.sources.trialOption, PrimaryServer);
    EXPECT_EQ(UčitajBoju(*inst.settings), kDefaultColour);
    EXPECT_EQ(inst.state.sources.hourStep, 0);
    EXPECT_TRUE(inst.state.sources.useChilkat);
    EXPECT_EQ(stored(inst, "Setting", "VrijemeAutoDownloadaNovihVerz"), "0");

    // An hour box left empty saves the default instead of stopping.
    SnimiSateAutomatskogPreuzimanja(inst.ctx, -1);
    EXPECT_EQ(inst.state.sources.hourStep, 0);
}

TEST(Settings, BooleanWordsAndNumbersSelectTheEngine)
{
    for (auto [text, expected] : {std::pair {"FALSE", false}, std::pair {"True", true}, std::pair {"0", false},
                                  std::pair {"-1", true}}) {
        TestInstallation inst;
        inst.settings->write("Settings", "KoristiChilkatZaDownload", text);
        UčitajPostavke(inst.ctx);
        EXPECT_EQ(inst.state.sources.useChilkat, expected) << text;
    }
}
