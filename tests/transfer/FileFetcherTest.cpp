#include "transfer/FileFetcher.h"

#include "ForwardingWindow.h"
#include "FullDisk.h"
#include "TestCertificates.h"
#include "TestHttpServer.h"
#include "TestInstallation.h"

#include <QDir>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kRegular = QStringLiteral("/download/Verzija23/");
const QString kTrial = QStringLiteral("/download/Verzija23/Probna/");
const QString kRaisedHead = QStringLiteral("DownInet: Greška u downloadu datoteke: ");

// An installation whose two update servers are test servers on 127.0.0.1, each
// speaking http and https on one port.
struct Site {
    explicit Site(bool chilkat)
    {
        const TestCertificates& certificates = TestCertificates::instance();
        EXPECT_TRUE(certificates.ok()) << certificates.error().toStdString();
        primary.enableTls(certificates.serverCertificate, certificates.serverKey);
        secondary.enableTls(certificates.serverCertificate, certificates.serverKey);
        inst.state.sources.primaryServer = primary.hostAndPort();
        inst.state.sources.secondaryServer = secondary.hostAndPort();
        inst.state.sources.regularOption = PrimaryServer;
        inst.state.sources.useChilkat = chilkat;
        inst.state.sources.extraAuthorities = certificates.authorityPath;
        // Long enough for a slow machine, short enough that a hang shows quickly.
        inst.state.fetchStallTimeout = 20s;
    }

    bool fetch(const QString& name) { return DownFile(inst.ctx, name, target, kLargestRemoteSupportBytes); }
    QByteArray stored(const QString& name) const { return inst.read(QStringLiteral("Update/") + name); }
    QStringList updateFiles() const
    {
        return QDir(inst.path(QStringLiteral("Update"))).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    TestInstallation inst;
    TestHttpServer primary;
    TestHttpServer secondary;
    QString target = inst.path(QStringLiteral("Update/"));
    std::optional<FullDisk> fullDisk;
};

// Keeps every text of status panel 2.
class PanelTwoLog final : public ForwardingWindow {
public:
    using ForwardingWindow::ForwardingWindow;
    void setStatus(Panel panel, const QString& text) override
    {
        if (panel == Panel::State)
            states << text;
        ForwardingWindow::setStatus(panel, text);
    }
    QStringList states;
};

} // namespace

TEST(FileFetcher, AddressFollowsEngineChannelAndOption)
{
    struct Case {
        bool tls = false, trial = false;
        int regular, trialSrc;
        bool primary = false; // the server that must answer
    };
    const Case cases[] = {
        {.regular = PrimaryServer, .trialSrc = SecondaryServer, .primary = true},
        {.tls = true, .regular = SecondaryServer, .trialSrc = PrimaryServer},
        {.regular = NetworkFolder, .trialSrc = PrimaryServer},
        {.tls = true, .regular = NetworkFolder, .trialSrc = PrimaryServer},
        {.tls = true, .trial = true, .regular = SecondaryServer, .trialSrc = PrimaryServer, .primary = true},
        {.trial = true, .regular = PrimaryServer, .trialSrc = SecondaryServer},
        {.tls = true, .trial = true, .regular = PrimaryServer, .trialSrc = NetworkFolder},
        {.trial = true, .regular = PrimaryServer, .trialSrc = NetworkFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tls << c.trial << c.regular << c.trialSrc);
        Site site(c.tls);
        site.inst.state.trialRun = c.trial;
        site.inst.state.sources.regularOption = c.regular;
        site.inst.state.sources.trialOption = c.trialSrc;
        TestHttpServer& chosen = c.primary ? site.primary : site.secondary;
        const QString path = (c.trial ? kTrial : kRegular) + QStringLiteral("Verzije.txt");
        chosen.serve(path, "manifest");

        EXPECT_TRUE(site.fetch(QStringLiteral("Verzije.txt")));
        EXPECT_EQ(site.primary.requests + site.secondary.requests, QStringList{path});
        EXPECT_EQ(chosen.tlsConnections, c.tls ? 1 : 0);
        EXPECT_EQ(site.stored(QStringLiteral("Verzije.txt")), QByteArray("manifest"));
    }
}

TEST(FileFetcher, BodiesAndNamesArriveByteForByte)
{
    const QString odd = QStringLiteral("Obračun plaća ž #2%20.7z");
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(chilkat ? "component" : "transfer control");
        Site site(chilkat);
        site.primary.serve(kRegular + odd, "x");
        site.primary.serve(kRegular + QStringLiteral("kraci.7z"), "abc");
        site.primary.serve(kRegular + QStringLiteral("prazan.txt"), QByteArray());
        site.inst.write(QStringLiteral("Update/kraci.7z"), QByteArray(1000, 'o'));

        EXPECT_TRUE(site.fetch(odd) && site.fetch(QStringLiteral("kraci.7z")));
        EXPECT_EQ(site.stored(odd) + site.stored(QStringLiteral("kraci.7z")), QByteArray("xabc"));
        const QByteArray raw = site.primary.rawTargets.value(0);
        EXPECT_TRUE(raw.contains("Obra%C4%8Dun%20") && raw.contains("%23") && raw.contains("%2520"))
            << raw.data();

        // An empty body: the component stores an empty file, the transfer control has nothing to store.
        EXPECT_EQ(site.fetch(QStringLiteral("prazan.txt")), chilkat);
        EXPECT_EQ(site.inst.journal().last(),
                  chilkat ? QStringLiteral("Uspješan download: prazan.txt")
                          : QStringLiteral("Ništa nije primljeno (dužina 0). Download: prazan.txt"));
        EXPECT_TRUE(site.inst.window.messages.empty());
        // The journal and the stored files, nothing else.
        EXPECT_EQ(site.updateFiles().join(QLatin1Char(' ')),
                  QStringLiteral("Obračun plaća ž #2%20.7z Update.log kraci.7z") +
                      (chilkat ? QStringLiteral(" prazan.txt") : QString()));
    }
}

TEST(FileFetcher, FailedTransferStoresNothingAndKeepsTheOldFile)
{
    const QString path = kRegular + QStringLiteral("Racuni.7z");
    struct Case {
        const char* what;
        std::function<void(Site&)> arrange;
        // What follows the raised error's head and the name; empty for a failed transfer,
        // which only the transfer control raises.
        QString raised = {};
        // Of a failed transfer, what its reason begins with.
        QString failed = {};
        qint64 largest = kLargestRemoteSupportBytes;
    };
    const QString stalled = QStringLiteral("Isteklo vrijeme čekanja na odgovor servera (300 ms)");
    const QString tooLong = QStringLiteral("Server šalje više od očekivanih 1000 bajtova");
    const auto stall = [](Site& s) { s.inst.state.fetchStallTimeout = 300ms; };
    // clang-format off
    const Case cases[] = {
        {.what = "404", .arrange = [&](Site& s) { s.primary.answerStatus(path, 404); },
         .raised = QStringLiteral("HTTP 404 Not Found")},
        {.what = "500", .arrange = [&](Site& s) { s.primary.answerStatus(path, 500); },
         .raised = QStringLiteral("HTTP 500 Internal Server Error")},
        // Only the stalls get the short time-out: a busy machine must not turn the others into one.
        {.what = "silent server", .arrange = [&](Site& s) { stall(s); s.primary.stall(path); },
         .raised = stalled},
        {.what = "stalled mid-body",
         .arrange = [&](Site& s) { stall(s); s.primary.stall(path, 10, QByteArray(1000, 'z')); },
         .raised = stalled},
        {.what = "cut mid-body", .arrange = [&](Site& s) {
             s.primary.setChunkSize(8 * 1024);
             s.primary.cutAfter(path, QByteArray(100 * 1024, 'b'), 40 * 1024);
         }},
        {.what = "server unreachable", .arrange = [](Site& s) { s.primary.close(); }},
        // Hostile servers: more than the manifest says, no end to know, a trickle.
        {.what = "longer than its size, said in advance",
         .arrange = [&](Site& s) { s.primary.serve(path, QByteArray(2000, 'x')); },
         .failed = tooLong, .largest = 1000},
        {.what = "longer than its size, without a length",
         .arrange = [&](Site& s) { s.primary.serveWithoutLength(path, QByteArray(2000, 'x')); },
         .failed = tooLong, .largest = 1000},
        {.what = "without a length",
         .arrange = [&](Site& s) { s.primary.serveWithoutLength(path, QByteArray(500, 'x')); },
         .failed = QStringLiteral("Server nije poslao dužinu odgovora pa se ne zna je li primljen cijeli")},
        {.what = "a byte at a time", .arrange = [&](Site& s) {
             stall(s);
             s.primary.setChunkSize(1);
             s.primary.setChunkPause(30ms);
             s.primary.serve(path, QByteArray(1000, 'x'));
         },
         .raised = QStringLiteral("Prijenos je prespor: manje od 1024 bajtova u sekundi kroz 300 ms")},
        {.what = "no target folder", .arrange = [&](Site& s) {
             s.primary.serve(path, "data");
             s.target = s.inst.path(QStringLiteral("Nema/"));
         }},
        // Small enough to be written at the close, where a buffered write's failure went unseen.
        {.what = "full disk", .arrange = [&](Site& s) {
             s.primary.serve(path, QByteArray(8000, 'd'));
             s.fullDisk.emplace(4096);
         }},
    };
    // clang-format on
    for (bool chilkat : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << (chilkat ? "component" : "transfer control") << ", " << c.what);
            Site site(chilkat);
            site.inst.write(QStringLiteral("Update/Racuni.7z"), "old");
            c.arrange(site);

            EXPECT_FALSE(DownFile(site.inst.ctx, QStringLiteral("Racuni.7z"), site.target, c.largest));

            // The component reports a failed transfer in the journal only; all else is raised.
            const bool raised = !chilkat || !c.raised.isEmpty();
            const QString reason = site.inst.state.currentMessage;
            const QString head = kRaisedHead + QStringLiteral("Racuni.7z ");
            EXPECT_TRUE(c.raised.isEmpty() || reason == head + c.raised) << reason.toStdString();
            EXPECT_TRUE(reason.contains(c.failed)) << reason.toStdString();
            EXPECT_EQ(reason.startsWith(head), raised) << reason.toStdString();
            EXPECT_GT(reason.size(), raised ? head.size() : 0);
            EXPECT_EQ(site.inst.journal().last(),
                      raised ? reason : QStringLiteral("Greška: Download: Racuni.7z ") + reason);
            EXPECT_EQ(site.inst.window.messageTexts(), raised ? QStringList{reason} : QStringList{});
            EXPECT_EQ(site.stored(QStringLiteral("Racuni.7z")), QByteArray("old"));
            EXPECT_EQ(site.updateFiles(),
                      (QStringList{QStringLiteral("Racuni.7z"), QStringLiteral("Update.log")}));
            EXPECT_FALSE(site.inst.exists(QStringLiteral("Nema")));
        }
    }
}

TEST(FileFetcher, CertificateMustComeFromATrustedAuthority)
{
    Site site(/*chilkat=*/true);
    site.inst.state.sources.extraAuthorities.clear();
    site.primary.serve(kRegular + QStringLiteral("Verzije.txt"), "manifest");

    EXPECT_FALSE(site.fetch(QStringLiteral("Verzije.txt")));
    const QString refused = site.inst.state.currentMessage;
    EXPECT_TRUE(refused.startsWith(kRaisedHead + QStringLiteral("Verzije.txt "))) << refused.toStdString();
    EXPECT_TRUE(site.primary.requests.isEmpty() && !site.inst.exists(QStringLiteral("Update/Verzije.txt")));

    // The authority named by the setting is trusted on top of the system's own.
    site.inst.state.sources.extraAuthorities = TestCertificates::instance().authorityPath;
    EXPECT_TRUE(site.fetch(QStringLiteral("Verzije.txt")));
    EXPECT_EQ(site.stored(QStringLiteral("Verzije.txt")), QByteArray("manifest"));
}

TEST(FileFetcher, StatusPanelTwoFollowsTheTransfer)
{
    const QByteArray big(4 * 1024 * 1024, 'v');
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(chilkat ? "component" : "transfer control");
        Site site(chilkat);
        site.primary.serve(kRegular + QStringLiteral("Veliki.7z"), big);
        // The network layer reports progress at most every 100 ms: the body takes about half a second.
        site.primary.setChunkSize(256 * 1024);
        site.primary.setChunkPause(30ms);
        PanelTwoLog window(site.inst.window);
        Context ctx{site.inst.state, window, site.inst.platform, *site.inst.settings};

        EXPECT_TRUE(DownFile(ctx, QStringLiteral("Veliki.7z"), site.target, kLargestRemoteSupportBytes));
        EXPECT_EQ(site.stored(QStringLiteral("Veliki.7z")), big);

        // Cleared at the end; before that the component counts up to 100% through steps between.
        ASSERT_GE(window.states.size(), 3);
        EXPECT_EQ(window.states.takeLast(), QString());
        const QString last = window.states.takeLast();
        EXPECT_EQ(last, chilkat ? QStringLiteral("100%") : QStringLiteral("Odgovor je uspješno prihvaćen"));
        EXPECT_TRUE(chilkat ? window.states.last().endsWith(QLatin1Char('%'))
                            : window.states.contains(QStringLiteral("Odgovor primljen/Prijenos u toku")))
            << window.states.join(QLatin1Char('|')).toStdString();
    }
}
