#include "core/UpdateSources.h"

#include <gtest/gtest.h>

using namespace tarvino;

TEST(UpdateSources, BaseAddressForEveryChannelOptionAndEngine)
{
    struct Case {
        const char* name;
        bool trial;
        int regularOption;
        int trialOption;
        Engine engine;
        const char* expected;
    };
    const Case cases[] = {
        {"regular primary component", false, 2, 0, Engine::Component, "https://prvi.test/download/Verzija23/"},
        {"regular primary transfer", false, 2, 0, Engine::TransferControl, "http://prvi.test/download/Verzija23/"},
        {"regular secondary", false, 0, 2, Engine::Component, "https://drugi.test/download/Verzija23/"},
        {"regular network folder uses the secondary", false, 1, 2, Engine::TransferControl,
         "http://drugi.test/download/Verzija23/"},
        {"trial primary", true, 0, 2, Engine::Component, "https://prvi.test/download/Verzija23/Probna/"},
        {"trial secondary whatever the regular group", true, 2, 0, Engine::Component,
         "https://drugi.test/download/Verzija23/Probna/"},
        {"trial network folder uses the secondary", true, 2, 1, Engine::TransferControl,
         "http://drugi.test/download/Verzija23/Probna/"},
    };
    for (const Case& c : cases) {
        AppState state;
        state.trialRun = c.trial;
        state.sources.regularOption = c.regularOption;
        state.sources.trialOption = c.trialOption;
        state.sources.primaryServer = QStringLiteral("prvi.test");
        state.sources.secondaryServer = QStringLiteral("drugi.test");
        EXPECT_EQ(chosenBaseAddress(state, c.engine), QString::fromLatin1(c.expected)) << c.name;
    }
}

TEST(UpdateSources, OptionCaptionsNameTheHttpsAddressWithoutItsSlash)
{
    SourceSettings s;
    s.primaryServer = QStringLiteral("prvi.test:8443");
    s.secondaryServer = QStringLiteral("drugi.test");
    EXPECT_EQ(sourceOptionCaption(s, Channel::Regular, 0), QStringLiteral("Internet (https://drugi.test/download/Verzija23)"));
    EXPECT_EQ(sourceOptionCaption(s, Channel::Regular, 1), QStringLiteral("Sa mrežne lokacije"));
    EXPECT_EQ(sourceOptionCaption(s, Channel::Regular, 2),
              QStringLiteral("Internet (https://prvi.test:8443/download/Verzija23) - preferirani (najbrži) način sa interneta"));
    EXPECT_EQ(sourceOptionCaption(s, Channel::Trial, 0),
              QStringLiteral("Internet (https://drugi.test/download/Verzija23/Probna)"));
}
