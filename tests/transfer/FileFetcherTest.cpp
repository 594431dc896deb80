#include "TestCertificates.h"
#include "TestHttpServer.h"
#include "ForwardingWindow.h"
#include "TestInstallation.h"
#include "transfer/FileFetcher.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kRegular = QStringLiteral("/download/Verzija23/");
const QString kTrial = QStringLiteral("/download/Verzija23/Probna/");
const QString kRaisedHead = QStringLiteral("DownInet: Greška u downloadu datoteke: ");

const char* engineName(bool chilkat)
{
    return chilkat ? "component engine" : "transfer-control engine";
}

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

    bool fetch(const QString& name) { return DownFile(inst.ctx, name, inst.path(QStringLiteral("Update/"))); }
    QByteArray stored(const QString& name) const { return inst.read(QStringLiteral("Update/") + name); }
    QStringList updateFiles() const
    {
        return QDir(inst.path(QStringLiteral("Update"))).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    TestInstallation inst;
    TestHttpServer primary;
    TestHttpServer secondary;
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
        bool chilkat, trial;
        int regularOption, trialOption;
        bool primary;
    };
    const Case cases[] = {
        {false, false, PrimaryServer, SecondaryServer, true},  {true, false, SecondaryServer, PrimaryServer, false},
        {false, false, NetworkFolder, PrimaryServer, false},   {true, false, NetworkFolder, PrimaryServer, false},
        {true, true, SecondaryServer, PrimaryServer, true},    {false, true, PrimaryServer, SecondaryServer, false},
        {true, true, PrimaryServer, NetworkFolder, false},     {false, true, PrimaryServer, NetworkFolder, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << engineName(c.chilkat) << ", trial " << c.trial << ", options "
                                        << c.regularOption << "/" << c.trialOption);
        Site site(c.chilkat);
        site.inst.state.trialRun = c.trial;
        site.inst.state.sources.regularOption = c.regularOption;
        site.inst.state.sources.trialOption = c.trialOption;
        TestHttpServer& chosen = c.primary ? site.primary : site.secondary;
        TestHttpServer& other = c.primary ? site.secondary : site.primary;
        const QString path = (c.trial ? kTrial : kRegular) + QStringLiteral("Verzije.txt");
        chosen.serve(path, "manifest");

        EXPECT_TRUE(site.fetch(QStringLiteral("Verzije.txt")));

        EXPECT_EQ(chosen.requests, QStringList {path});
        EXPECT_TRUE(other.requests.isEmpty());
        EXPECT_EQ(chosen.tlsConnections, c.chilkat ? 1 : 0);
        const QString address =
            (c.chilkat ? QStringLiteral("https://") : QStringLiteral("http://")) + chosen.hostAndPort() + path;
        EXPECT_EQ(site.inst.journal(), (QStringList {QStringLiteral("Početak Download: ") + address,
                                                     QStringLiteral("Uspješan download: Verzije.txt")}));
        EXPECT_EQ(site.stored(QStringLiteral("Verzije.txt")), QByteArray("manifest"));
    }
}

TEST(FileFetcher, BodiesAndNamesArriveByteForByte)
{
    const QString odd = QStringLiteral("Obračun plaća ž #2%20.7z");
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(engineName(chilkat));
        Site site(chilkat);
        site.primary.serve(kRegular + odd, "x");
        site.primary.serve(kRegular + QStringLiteral("kraci.7z"), "abc");
        site.primary.serve(kRegular + QStringLiteral("prazan.txt"), QByteArray());
        site.inst.write(QStringLiteral("Update/kraci.7z"), QByteArray(1000, 'o'));

        EXPECT_TRUE(site.fetch(odd));
        EXPECT_EQ(site.stored(odd), QByteArray("x"));
        const QByteArray raw = site.primary.rawTargets.value(0);
        EXPECT_TRUE(raw.contains("Obra%C4%8Dun%20") && raw.contains("%23") && raw.contains("%2520")) << raw.data();
        EXPECT_TRUE(site.fetch(QStringLiteral("kraci.7z")));
        EXPECT_EQ(site.stored(QStringLiteral("kraci.7z")), QByteArray("abc"));

        // An empty body: the component stores an empty file, the transfer control has nothing to store.
        EXPECT_EQ(site.fetch(QStringLiteral("prazan.txt")), chilkat);
        EXPECT_EQ(site.inst.exists(QStringLiteral("Update/prazan.txt")), chilkat);
        EXPECT_EQ(site.inst.journal().last(), chilkat ? QStringLiteral("Uspješan download: prazan.txt")
                                                       : QStringLiteral("Ništa nije primljeno (dužina 0). Download: prazan.txt"));
        EXPECT_TRUE(site.inst.window.messages.empty());
        EXPECT_EQ(site.updateFiles().size(), chilkat ? 4 : 3); // the journal and the stored files, nothing else
    }
}

TEST(FileFetcher, HttpErrorStatusIsAFailureThatKeepsTheOldFile)
{
    for (bool chilkat : {true, false}) {
        for (int status : {404, 500}) {
            SCOPED_TRACE(testing::Message() << engineName(chilkat) << " " << status);
            Site site(chilkat);
            site.primary.answerStatus(kRegular + QStringLiteral("Racuni.7z"), status);
            site.inst.write(QStringLiteral("Update/Racuni.7z"), "old");

            EXPECT_FALSE(site.fetch(QStringLiteral("Racuni.7z")));

            const QString expected = kRaisedHead + QStringLiteral("Racuni.7z ") +
                                     (status == 404 ? QStringLiteral("HTTP 404 Not Found")
                                                    : QStringLiteral("HTTP 500 Internal Server Error"));
            EXPECT_EQ(site.inst.journal().last(), expected);
            ASSERT_EQ(site.inst.window.messageTexts(), QStringList {expected});
            EXPECT_EQ(site.inst.window.messages[0].icon, Icon::Exclamation);
            EXPECT_EQ(site.stored(QStringLiteral("Racuni.7z")), QByteArray("old"));
            EXPECT_EQ(site.updateFiles(), (QStringList {QStringLiteral("Racuni.7z"), QStringLiteral("Update.log")}));
        }
    }
}

TEST(FileFetcher, CutUnreachableOrFolderlessTransfersStoreNothing)
{
    const QByteArray body(100 * 1024, 'b');
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(engineName(chilkat));
        Site site(chilkat);
        site.primary.setChunkSize(8 * 1024);
        site.primary.cutAfter(kRegular + QStringLiteral("Racuni.7z"), body, 40 * 1024);
        site.primary.serve(kRegular + QStringLiteral("Bez mape.7z"), "data");
        site.inst.write(QStringLiteral("Update/Racuni.7z"), "old");
        site.secondary.close();

        const QStringList names = {QStringLiteral("Racuni.7z"), QStringLiteral("Nedostupan.7z"), QStringLiteral("Bez mape.7z")};
        for (const QString& name : names) {
            SCOPED_TRACE(name.toStdString());
            site.inst.window.messages.clear();
            site.inst.state.sources.regularOption = name.startsWith(QLatin1Char('N')) ? SecondaryServer : PrimaryServer;
            const QString folder = site.inst.path(name.startsWith(QLatin1Char('B')) ? QStringLiteral("Nema/")
                                                                                      : QStringLiteral("Update/"));

            EXPECT_FALSE(DownFile(site.inst.ctx, name, folder));

            const QString reason = site.inst.state.currentMessage;
            if (chilkat) {
                // The component reports its own failures in the journal only.
                EXPECT_EQ(site.inst.journal().last(), QStringLiteral("Greška: Download: ") + name + QLatin1Char(' ') + reason);
                EXPECT_FALSE(reason.isEmpty());
                EXPECT_TRUE(site.inst.window.messages.empty());
            } else {
                EXPECT_TRUE(reason.startsWith(kRaisedHead + name + QLatin1Char(' '))) << reason.toStdString();
                EXPECT_GT(reason.size(), kRaisedHead.size() + name.size() + 1);
                EXPECT_EQ(site.inst.window.messageTexts(), QStringList {reason});
            }
        }
        EXPECT_EQ(site.stored(QStringLiteral("Racuni.7z")), QByteArray("old"));
        EXPECT_EQ(site.updateFiles(), (QStringList {QStringLiteral("Racuni.7z"), QStringLiteral("Update.log")}));
        EXPECT_FALSE(site.inst.exists(QStringLiteral("Nema")));
    }
}

TEST(FileFetcher, StalledServerIsARaisedError)
{
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(engineName(chilkat));
        Site site(chilkat);
        site.inst.state.fetchStallTimeout = 300ms;
        site.primary.stall(kRegular + QStringLiteral("Tiho.7z"));
        site.primary.stall(kRegular + QStringLiteral("Zapelo.7z"), 10, QByteArray(1000, 'z'));
        site.inst.write(QStringLiteral("Update/Zapelo.7z"), "old");

        for (const QString& name : {QStringLiteral("Tiho.7z"), QStringLiteral("Zapelo.7z")}) {
            EXPECT_FALSE(site.fetch(name));
            EXPECT_EQ(site.inst.window.messageTexts().last(),
                      kRaisedHead + name + QStringLiteral(" Isteklo vrijeme čekanja na odgovor servera (300 ms)"));
        }
        EXPECT_EQ(site.stored(QStringLiteral("Zapelo.7z")), QByteArray("old"));
        EXPECT_EQ(site.updateFiles(), (QStringList {QStringLiteral("Update.log"), QStringLiteral("Zapelo.7z")}));
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
    EXPECT_EQ(site.inst.window.messageTexts(), QStringList {refused});
    EXPECT_TRUE(site.primary.requests.isEmpty());
    EXPECT_FALSE(site.inst.exists(QStringLiteral("Update/Verzije.txt")));

    // The authority named by the setting is trusted on top of the system's own.
    site.inst.state.sources.extraAuthorities = TestCertificates::instance().authorityPath;
    EXPECT_TRUE(site.fetch(QStringLiteral("Verzije.txt")));
    EXPECT_EQ(site.stored(QStringLiteral("Verzije.txt")), QByteArray("manifest"));
}

TEST(FileFetcher, StatusPanelTwoFollowsTheTransfer)
{
    const QByteArray big(4 * 1024 * 1024, 'v');
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(engineName(chilkat));
        Site site(chilkat);
        site.primary.serve(kRegular + QStringLiteral("Veliki.7z"), big);
        // The network layer reports progress at most every 100 ms: spread the body over about half a second.
        site.primary.setChunkSize(256 * 1024);
        site.primary.setChunkPause(30ms);
        PanelTwoLog window(site.inst.window);
        Context ctx {site.inst.state, window, site.inst.platform, *site.inst.settings};

        EXPECT_TRUE(DownFile(ctx, QStringLiteral("Veliki.7z"), site.inst.path(QStringLiteral("Update/"))));
        EXPECT_EQ(site.stored(QStringLiteral("Veliki.7z")), big);

        // The panel is cleared at the end; before that the component counts up to 100%.
        ASSERT_GE(window.states.size(), 2);
        EXPECT_EQ(window.states.takeLast(), QString());
        EXPECT_EQ(window.states.last(), chilkat ? QStringLiteral("100%") : QStringLiteral("Odgovor je uspješno prihvaćen"));
        EXPECT_TRUE(chilkat || window.states.contains(QStringLiteral("Odgovor primljen/Prijenos u toku")));
    }
}
