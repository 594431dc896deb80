#include "core/Settings.h"

#include "TestInstallation.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace tarvino;
using namespace tarvino::test;

namespace {

// Regular and trial source, hour step, engine, colour, and the clicks the loading raised.
using Loaded = std::tuple<int, int, int, bool, std::uint32_t, int>;

Loaded load(TestInstallation& inst, AppState& state)
{
    Context ctx{state, inst.window, inst.platform, *inst.settings};
    int clicks = 0;
    UčitajPostavke(ctx, [&] { ++clicks; });
    const SourceSettings& s = state.sources;
    return {s.regularOption, s.trialOption, s.hourStep, s.useChilkat, UčitajBoju(*inst.settings), clicks};
}

} // namespace

TEST(Settings, StoredValuesOrTheirDefaults)
{
    const struct {
        QStringList values; // "section/key=text"
        Loaded expected;
    } cases[] = {
        {.values = {"Settings/UpdateLok23N=7", "Settings/UpdateLok23NProbna=dva",
                    "Settings/BojaVelmora23=abc", "Setting/VrijemeAutoDownloadaNovihVerz=99",
                    "Settings/KoristiChilkatZaDownload=maybe"},
         .expected = {PrimaryServer, PrimaryServer, 0, true, kDefaultColour, 0}},
        // As the old program wrote them.
        {.values = {"Settings/KoristiChilkatZaDownload=0", "Settings/UpdateLok23N=0",
                    "Settings/BojaVelmora23=255", "Setting/VrijemeAutoDownloadaNovihVerz=3"},
         .expected = {SecondaryServer, PrimaryServer, 3, false, 255u, 1}},
    };
    for (const auto& c : cases) {
        TestInstallation inst;
        for (const QString& value : c.values)
            inst.settings->write(value.section('/', 0, 0), value.section('/', 1).section('=', 0, 0),
                                 value.section('=', 1));
        EXPECT_EQ(load(inst, inst.state), c.expected) << c.values.join(' ').toStdString();
    }
}

// The distribution folder is saved under a key of the regular source's own and read back from it.
TEST(Settings, SavedValuesAreReadBackOnTheNextStart)
{
    TestInstallation inst;
    SourceSettings& s = inst.state.sources;
    s.regularOption = NetworkFolder;
    s.trialOption = SecondaryServer;
    s.folders = {"/srv/izdanje/", "/mreza/za-primarni/", "/srv/probna/"};
    SnimiPostavke(inst.ctx);
    SnimiSateAutomatskogPreuzimanja(inst.ctx, 5);
    AppState fresh;
    EXPECT_EQ(load(inst, fresh), Loaded(NetworkFolder, SecondaryServer, 5, true, kDefaultColour, 1));
    EXPECT_EQ(fresh.sources.folders, s.folders);
}
