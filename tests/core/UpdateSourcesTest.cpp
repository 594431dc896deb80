#include "core/UpdateSources.h"

#include <gtest/gtest.h>

using namespace tarvino;

TEST(UpdateSources, BaseAddressForEveryChannelOptionAndEngine)
{
    const Engine component = Engine::Component;
    const Engine transferControl = Engine::TransferControl;
    const struct {
        bool trial;
        int regular;
        int trialOption;
        Engine engine;
        const char* server; // followed by the release folder
    } cases[] = {
        // clang-format off
        {.trial = false, .regular = 2, .trialOption = 0, .engine = component, .server = "https://prvi.test"},
        {.trial = false, .regular = 2, .trialOption = 0, .engine = transferControl, .server = "http://prvi.test"},
        {.trial = false, .regular = 0, .trialOption = 2, .engine = component, .server = "https://drugi.test"},
        // A network folder fetches the manifest from the secondary server.
        {.trial = false, .regular = 1, .trialOption = 2, .engine = transferControl, .server = "http://drugi.test"},
        {.trial = true, .regular = 0, .trialOption = 2, .engine = component, .server = "https://prvi.test"},
        {.trial = true, .regular = 2, .trialOption = 0, .engine = component, .server = "https://drugi.test"},
        {.trial = true, .regular = 2, .trialOption = 1, .engine = transferControl, .server = "http://drugi.test"},
        // clang-format on
    };
    for (const auto& c : cases) {
        AppState state;
        state.trialRun = c.trial;
        state.sources.regularOption = c.regular;
        state.sources.trialOption = c.trialOption;
        state.sources.primaryServer = QStringLiteral("prvi.test");
        state.sources.secondaryServer = QStringLiteral("drugi.test");
        const QString folder = QStringLiteral("/download/Verzija23/") + (c.trial ? "Probna/" : "");
        EXPECT_EQ(chosenBaseAddress(state, c.engine), QLatin1String(c.server) + folder) << &c - cases;
    }
}
