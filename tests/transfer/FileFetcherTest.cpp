#include "transfer/FileFetcher.h"

#include "FullDisk.h"
#include "ServedInstallation.h"
#include "TestCertificates.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

bool fetch(ServedInstallation& site, const QString& name)
{
    return DownFile(site.inst.ctx, name, site.update({}), kLargestRemoteSupportBytes);
}

} // namespace

// Every row fetches an odd name over a longer old file, and an empty body. The other channel
// names the other server; a network folder is reached through the secondary server.
TEST(FileFetcher, AddressFollowsEngineChannelAndOptionAndTheBodyArrivesByteForByte)
{
    struct Case {
        bool tls, trial;
        int option;
    };
    const Case cases[] = {{false, false, PrimaryServer},  {true, false, SecondaryServer},
                          {false, false, NetworkFolder},  {true, true, PrimaryServer},
                          {false, true, SecondaryServer}, {true, true, NetworkFolder}};
    const QString odd = QStringLiteral("Obračun plaća ž #2%20.7z");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tls << c.trial << c.option);
        ServedInstallation site(c.tls);
        const int other = c.option == PrimaryServer ? SecondaryServer : PrimaryServer;
        site.inst.state.trialRun = c.trial;
        site.inst.state.sources.regularOption = c.trial ? other : c.option;
        site.inst.state.sources.trialOption = c.trial ? c.option : other;
        TestHttpServer& answering = c.option == PrimaryServer ? site.server : site.secondary;
        const QString folder = site.url(QLatin1String(c.trial ? "Probna/" : ""));
        answering.serve(folder + odd, "x");
        answering.serve(folder + QStringLiteral("prazan.txt"), {});
        site.inst.write(QStringLiteral("Update/") + odd, QByteArray(1000, 'o'));

        EXPECT_TRUE(fetch(site, odd));
        EXPECT_EQ(site.updated(odd), QByteArray("x"));
        // Sent encoded: '#' would end the path and "%20" would arrive as a blank.
        EXPECT_EQ(site.server.requests + site.secondary.requests, QStringList{folder + odd});
        // An empty body: the component stores an empty file, the transfer control has nothing to store.
        EXPECT_EQ(fetch(site, QStringLiteral("prazan.txt")), c.tls);
        EXPECT_EQ(QDir(site.update({}), {}, QDir::NoSort, QDir::Files).count(), c.tls ? 3 : 2);
    }
}

// Each row on both engines: the fetch fails, keeps the old file and stores nothing else.
TEST(FileFetcher, FailedTransferStoresNothingAndKeepsTheOldFile)
{
    const QByteArray big(100 * 1024, 'b'), longer(2000, 'x');
    enum Trouble { None, Unreachable, NoTarget, DiskFull };
    struct Case {
        TestHttpServer::Answer answer;
        qint64 largest = kLargestRemoteSupportBytes;
        bool trickle = false;
        Trouble trouble = None;
    };
    // clang-format off
    const Case cases[] = {
        {.answer = {.status = 404}},
        // Silent from the start, silent after a few bytes, cut off.
        {.answer = {.stall = true}},
        {.answer = {.body = big, .sendOnly = 10, .stall = true}},
        {.answer = {.body = big, .sendOnly = 40 * 1024}},
        // More than the manifest says, with and without a length; no length to know the end by; a trickle.
        {.answer = {.body = longer}, .largest = 1000},
        {.answer = {.body = longer, .withoutLength = true}, .largest = 1000},
        {.answer = {.body = longer, .withoutLength = true}},
        {.answer = {.body = longer}, .trickle = true},
        {.answer = {.body = "x"}, .trouble = Unreachable},
        {.answer = {.body = "x"}, .trouble = NoTarget},
        // Small enough to be written at the close, where a buffered write's failure went unseen.
        {.answer = {.body = QByteArray(8000, 'd')}, .trouble = DiskFull},
    };
    // clang-format on
    for (bool chilkat : {true, false}) {
        for (size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(testing::Message() << (chilkat ? "component, row " : "transfer control, row ") << i);
            ServedInstallation site(chilkat);
            site.inst.write(QStringLiteral("Update/Racuni.7z"), "old");
            site.server.answers[site.url(QStringLiteral("Racuni.7z"))] = c.answer;
            // Only the stalls get a short time-out: a busy machine must not turn the others into one.
            site.inst.state.fetchStallTimeout = c.answer.stall || c.trickle ? 300ms : 20s;
            site.server.chunkSize = c.trickle ? 1 : 8 * 1024;
            site.server.chunkPause = c.trickle ? 30ms : 0ms;
            if (c.trouble == Unreachable)
                site.server.close();
            const QString target =
                c.trouble == NoTarget ? site.inst.path(QStringLiteral("Nema/")) : site.update({});
            std::optional<FullDisk> fullDisk;
            if (c.trouble == DiskFull)
                fullDisk.emplace(4096);

            EXPECT_FALSE(DownFile(site.inst.ctx, QStringLiteral("Racuni.7z"), target, c.largest));
            EXPECT_EQ(site.updated(QStringLiteral("Racuni.7z")), QByteArray("old"));
            EXPECT_EQ(QDir(site.update({}), {}, QDir::NoSort, QDir::Files).count(), 2);
            EXPECT_FALSE(site.inst.exists(QStringLiteral("Nema")));
        }
    }
}

TEST(FileFetcher, CertificateMustComeFromATrustedAuthority)
{
    ServedInstallation site(/*tls=*/true);
    site.inst.state.sources.extraAuthorities.clear();
    site.put(QStringLiteral("Verzije.txt"), "manifest");

    EXPECT_FALSE(fetch(site, QStringLiteral("Verzije.txt")));
    EXPECT_TRUE(site.server.requests.isEmpty() && !site.inst.exists(QStringLiteral("Update/Verzije.txt")));
    // The authority named by the setting is trusted on top of the system's own.
    site.inst.state.sources.extraAuthorities = TestCertificates::instance().authorityPath;
    EXPECT_TRUE(fetch(site, QStringLiteral("Verzije.txt")));
}
