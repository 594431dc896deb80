#include "core/UpdateSources.h"

#include <gtest/gtest.h>

using namespace tarvino;

TEST(UpdateSources, BaseAddressForEveryChannelOptionAndEngine)
{
    const struct {
        const char* name;
        bool trial;
        int regularOption;
        int trialOption;
        Engine engine;
        const char* server; // followed by the release folder
    } cases[] = {
        {"regular primary", false, 2, 0, Engine::Component, "https://prvi.test"},
        {"regular primary, transfer control", false, 2, 0, Engine::TransferControl, "http://prvi.test"},
        {"regular secondary", false, 0, 2, Engine::Component, "https://drugi.test"},
        {"regular network folder: the secondary", false, 1, 2, Engine::TransferControl, "http://drugi.test"},
        {"trial primary", true, 0, 2, Engine::Component, "https://prvi.test"},
        {"trial secondary, any regular option", true, 2, 0, Engine::Component, "https://drugi.test"},
        {"trial network folder: the secondary", true, 2, 1, Engine::TransferControl, "http://drugi.test"},
    };
    for (const auto& c : cases) {
        AppState state;
        state.trialRun = c.trial;
        state.sources.regularOption = c.regularOption;
        state.sources.trialOption = c.trialOption;
        state.sources.primaryServer = QStringLiteral("prvi.test");
        state.sources.secondaryServer = QStringLiteral("drugi.test");
        const QString folder = QStringLiteral("/download/Verzija23/") + (c.trial ? "Probna/" : "");
        EXPECT_EQ(chosenBaseAddress(state, c.engine), QLatin1String(c.server) + folder) << c.name;
    }
}

TEST(UpdateSources, OptionCaptionsNameTheHttpsAddressWithoutItsSlash)
{
    SourceSettings s;
    s.primaryServer = QStringLiteral("prvi.test:8443");
    s.secondaryServer = QStringLiteral("drugi.test");
    const auto regular = [&](int index) { return sourceOptionCaption(s, Channel::Regular, index); };
    EXPECT_EQ(regular(0), QStringLiteral("Internet (https://drugi.test/download/Verzija23)"));
    EXPECT_EQ(regular(1), QStringLiteral("Sa mrežne lokacije"));
    EXPECT_EQ(regular(2), QStringLiteral("Internet (https://prvi.test:8443/download/Verzija23) - preferirani "
                                         "(najbrži) način sa interneta"));
    EXPECT_EQ(sourceOptionCaption(s, Channel::Trial, 0),
              QStringLiteral("Internet (https://drugi.test/download/Verzija23/Probna)"));
}
