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

const QString kRaisedHead = QStringLiteral("DownInet: Greška u downloadu datoteke: ");

struct Site : ServedInstallation {
    using ServedInstallation::ServedInstallation;
    bool fetch(const QString& name, qint64 largest = kLargestRemoteSupportBytes)
    {
        return DownFile(inst.ctx, name, target, largest);
    }
    QStringList updateFiles() const { return QDir(update({})).entryList(QDir::Files | QDir::Hidden); }

    QString target = update({});
};

} // namespace

// Every row fetches an odd name over a longer old file, and an empty body.
TEST(FileFetcher, AddressFollowsEngineChannelAndOptionAndTheBodyArrivesByteForByte)
{
    struct Case {
        bool tls = false, trial = false;
        int regular, trialSource;
        bool primary = false; // the server that must answer
    };
    // clang-format off
    const Case cases[] = {
        {.regular = PrimaryServer, .trialSource = SecondaryServer, .primary = true},
        {.tls = true, .regular = SecondaryServer, .trialSource = PrimaryServer},
        {.regular = NetworkFolder, .trialSource = PrimaryServer},
        {.tls = true, .trial = true, .regular = SecondaryServer, .trialSource = PrimaryServer, .primary = true},
        {.trial = true, .regular = PrimaryServer, .trialSource = SecondaryServer},
        {.tls = true, .trial = true, .regular = PrimaryServer, .trialSource = NetworkFolder},
    };
    // clang-format on
    const QString odd = QStringLiteral("Obračun plaća ž #2%20.7z");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tls << c.trial << c.regular << c.trialSource);
        Site site(c.tls);
        site.inst.state.trialRun = c.trial;
        site.inst.state.sources.regularOption = c.regular;
        site.inst.state.sources.trialOption = c.trialSource;
        const QString folder = site.url(QLatin1String(c.trial ? "Probna/" : ""));
        (c.primary ? site.server : site.secondary).serve(folder + odd, "x");
        (c.primary ? site.server : site.secondary).serve(folder + QStringLiteral("prazan.txt"), {});
        site.inst.write(QStringLiteral("Update/") + odd, QByteArray(1000, 'o'));

        EXPECT_TRUE(site.fetch(odd));
        EXPECT_EQ(site.updated(odd), QByteArray("x"));
        // Sent encoded: '#' would end the path and "%20" would arrive as a blank.
        EXPECT_EQ(site.server.requests + site.secondary.requests, QStringList{folder + odd});
        // An empty body: the component stores an empty file, the transfer control has nothing to store.
        EXPECT_EQ(site.fetch(QStringLiteral("prazan.txt")), c.tls);
        EXPECT_TRUE(site.inst.window.messages.empty() && site.updateFiles().size() == (c.tls ? 3 : 2));
    }
}

TEST(FileFetcher, FailedTransferStoresNothingAndKeepsTheOldFile)
{
    const QString stalled = QStringLiteral("Isteklo vrijeme čekanja na odgovor servera (300 ms)");
    const QString tooLong = QStringLiteral("Server šalje više od očekivanih 1000 bajtova");
    const QByteArray big(100 * 1024, 'b'), longer(2000, 'x');
    enum Trouble { None, Unreachable, NoTarget, DiskFull };
    // Of a failed transfer, only the transfer control raises a box; the rest always does. Only the
    // stalls get a short time-out: a busy machine must not turn the others into one.
    struct Case {
        TestHttpServer::Answer answer;
        QString reason = {};
        bool raised = false;
        qint64 largest = kLargestRemoteSupportBytes;
        bool trickle = false;
        Trouble trouble = None;
    };
    const Case cases[] = {
        {.answer = {.status = 404}, .reason = QStringLiteral("HTTP 404 Not Found"), .raised = true},
        {.answer = {.stall = true}, .reason = stalled, .raised = true},
        {.answer = {.body = big, .sendOnly = 10, .stall = true}, .reason = stalled, .raised = true},
        {.answer = {.body = big, .sendOnly = 40 * 1024}},
        // Hostile servers: more than the manifest says, no end to know, a trickle.
        {.answer = {.body = longer}, .reason = tooLong, .largest = 1000},
        {.answer = {.body = longer, .withoutLength = true}, .reason = tooLong, .largest = 1000},
        {.answer = {.body = longer, .withoutLength = true}, .reason = QStringLiteral("nije poslao dužinu")},
        {.answer = {.body = longer},
         .reason = QStringLiteral("Prijenos je prespor"),
         .raised = true,
         .trickle = true},
        {.answer = {.body = "x"}, .trouble = Unreachable},
        {.answer = {.body = "x"}, .trouble = NoTarget},
        // Small enough to be written at the close, where a buffered write's failure went unseen.
        {.answer = {.body = QByteArray(8000, 'd')}, .trouble = DiskFull},
    };
    for (bool chilkat : {true, false}) {
        for (size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(testing::Message() << (chilkat ? "component, row " : "transfer control, row ") << i);
            Site site(chilkat);
            site.inst.write(QStringLiteral("Update/Racuni.7z"), "old");
            site.server.answers[site.url(QStringLiteral("Racuni.7z"))] = c.answer;
            site.inst.state.fetchStallTimeout = c.answer.stall || c.trickle ? 300ms : 20s;
            site.server.chunkSize = c.trickle ? 1 : 8 * 1024;
            site.server.chunkPause = c.trickle ? 30ms : 0ms;
            if (c.trouble == Unreachable)
                site.server.close();
            if (c.trouble == NoTarget)
                site.target = site.inst.path(QStringLiteral("Nema/"));
            std::optional<FullDisk> fullDisk;
            if (c.trouble == DiskFull)
                fullDisk.emplace(4096);

            EXPECT_FALSE(site.fetch(QStringLiteral("Racuni.7z"), c.largest));
            const bool raised = !chilkat || c.raised;
            const QString reason = site.inst.state.currentMessage;
            const QString head = kRaisedHead + QStringLiteral("Racuni.7z ");
            EXPECT_TRUE(reason.contains(c.reason) && reason.size() > (raised ? head.size() : 0))
                << reason.toStdString();
            EXPECT_EQ(reason.startsWith(head), raised) << reason.toStdString();
            EXPECT_EQ(site.inst.window.messageTexts(), raised ? QStringList{reason} : QStringList{});
            EXPECT_TRUE(site.inst.journal().last().endsWith(reason));
            EXPECT_EQ(site.updated(QStringLiteral("Racuni.7z")), QByteArray("old"));
            EXPECT_EQ(site.updateFiles().size(), 2);
            EXPECT_FALSE(site.inst.exists(QStringLiteral("Nema")));
        }
    }
}

TEST(FileFetcher, CertificateMustComeFromATrustedAuthority)
{
    Site site(/*tls=*/true);
    site.inst.state.sources.extraAuthorities.clear();
    site.put(QStringLiteral("Verzije.txt"), "manifest");

    EXPECT_FALSE(site.fetch(QStringLiteral("Verzije.txt")));
    EXPECT_TRUE(site.inst.state.currentMessage.startsWith(kRaisedHead));
    EXPECT_TRUE(site.server.requests.isEmpty() && !site.inst.exists(QStringLiteral("Update/Verzije.txt")));
    // The authority named by the setting is trusted on top of the system's own.
    site.inst.state.sources.extraAuthorities = TestCertificates::instance().authorityPath;
    EXPECT_TRUE(site.fetch(QStringLiteral("Verzije.txt")));
}
