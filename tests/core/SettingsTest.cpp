#include "TestInstallation.h"
#include "core/Settings.h"

#include <QSettings>

#include <gtest/gtest.h>
#include <tuple>

using namespace tarvino;
using namespace tarvino::test;

namespace {

// Reads the INI file the way another tool would, to see what really landed on disk.
QString stored(const TestInstallation& inst, const QString& section, const QString& name)
{
    QSettings ini(inst.settings->location(), QSettings::IniFormat);
    return ini.value(section + QLatin1Char('/') + name, QStringLiteral("<absent>")).toString();
}

// Regular and trial source, hour step, engine, colour, and the clicks the loading raised.
using Loaded = std::tuple<int, int, int, bool, std::uint32_t, int>;

Loaded load(TestInstallation& inst, AppState& state)
{
    Context ctx {state, inst.window, inst.platform, *inst.settings};
    int clicks = 0;
    UčitajPostavke(ctx, [&] { ++clicks; });
    const SourceSettings& s = state.sources;
    return {s.regularOption, s.trialOption, s.hourStep, s.useChilkat, UčitajBoju(*inst.settings), clicks};
}

} // namespace

TEST(Settings, StoredValuesOrTheirDefaults)
{
    const Loaded defaults {PrimaryServer, PrimaryServer, 0, true, kDefaultColour, 0};
    const struct {
        const char* label;
        QStringList values; // "section/key=text"
        Loaded expected;
    } cases[] = {
        {"empty store", {}, defaults},
        {"invalid values",
         {"Settings/UpdateLok23N=7", "Settings/UpdateLok23NProbna=dva", "Settings/BojaVelmora23=abc",
          "Setting/VrijemeAutoDownloadaNovihVerz=99", "Settings/KoristiChilkatZaDownload=maybe"},
         defaults},
        {"engine as a word",
         {"Settings/KoristiChilkatZaDownload=FALSE"},
         {PrimaryServer, PrimaryServer, 0, false, kDefaultColour, 0}},
        {"values as the old program wrote them",
         {"Settings/KoristiChilkatZaDownload=0", "Settings/UpdateLok23N=0", "Settings/BojaVelmora23=255",
          "Setting/VrijemeAutoDownloadaNovihVerz=3"},
         {SecondaryServer, PrimaryServer, 3, false, 255u, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TestInstallation inst;
        for (const QString& value : c.values)
            inst.settings->write(value.section('/', 0, 0), value.section('/', 1).section('=', 0, 0),
                                 value.section('=', 1));
        EXPECT_EQ(load(inst, inst.state), c.expected);
        EXPECT_EQ(inst.state.sources.folders, SourceSettings().folders);
        // Loading the hour step writes it back into section "Setting".
        EXPECT_EQ(stored(inst, "Setting", "VrijemeAutoDownloadaNovihVerz"),
                  QString::number(std::get<2>(c.expected)));
    }
}

// The distribution folder is saved under a key of the regular source's own and read back from it.
TEST(Settings, SavedOnlyAfterStartUpAndBackOnTheNextStart)
{
    TestInstallation inst;
    SourceSettings& s = inst.state.sources;
    const QString dist0 = QStringLiteral("/mreza/za-sekundarni/");
    s.regularOption = SecondaryServer;
    s.folders[DistributionFolderBox] = dist0;
    inst.state.startingUp = true;
    SnimiPostavke(inst.ctx);
    EXPECT_EQ(stored(inst, "Settings", "UpdateLok23N"), "<absent>");

    inst.state.startingUp = false;
    SnimiPostavke(inst.ctx);
    s.regularOption = NetworkFolder;
    s.trialOption = SecondaryServer;
    s.folders = {"/srv/izdanje/", "/mreza/za-primarni/", "/srv/probna/"};
    SnimiPostavke(inst.ctx);
    SnimiSateAutomatskogPreuzimanja(inst.ctx, 5);
    EXPECT_EQ(stored(inst, "Settings", "UpdateLokDirMr23"), dist0);
    EXPECT_EQ(stored(inst, "Settings", "UpdateLokDirMr.tarvino.Ba.23"), s.folders[DistributionFolderBox]);
    AppState fresh;
    EXPECT_EQ(load(inst, fresh), Loaded(NetworkFolder, SecondaryServer, 5, true, kDefaultColour, 1));
    EXPECT_EQ(fresh.sources.folders, s.folders);

    for (auto [option, expected] : {std::pair {0, dist0}, std::pair {2, s.folders[DistributionFolderBox]}}) {
        inst.settings->write("Settings", "UpdateLok23N", QString::number(option));
        AppState again;
        load(inst, again);
        EXPECT_EQ(again.sources.folders[DistributionFolderBox], expected) << "option " << option;
    }

    // An hour box left empty saves the default instead of stopping.
    SnimiSateAutomatskogPreuzimanja(inst.ctx, -1);
    EXPECT_EQ(stored(inst, "Setting", "VrijemeAutoDownloadaNovihVerz"), "0");
}
