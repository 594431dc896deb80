#include "TestCertificates.h"
#include "TestHttpServer.h"
#include "ForwardingWindow.h"
#include "TestInstallation.h"
#include "transfer/FileFetcher.h"

#include <QDir>
#include <QRegularExpression>

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
    QStringList updateFiles() const
    {
        return QDir(inst.path(QStringLiteral("Update"))).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    TestInstallation inst;
    TestHttpServer primary;
    TestHttpServer secondary;
};

// Passes everything to the recording window and keeps every text of panel 2.
class PanelTwoLog final : public ForwardingWindow {
public:
    explicit PanelTwoLog(RecordingWindow& w) : ForwardingWindow(w) {}
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
        bool chilkat;
        bool trial;
        int regularOption;
        int trialOption;
        bool primary;
        QString path;
    };
    const Case cases[] = {
        {false, false, PrimaryServer, SecondaryServer, true, kRegular},
        {true, false, SecondaryServer, PrimaryServer, false, kRegular},
        {false, false, NetworkFolder, PrimaryServer, false, kRegular},
        {true, false, NetworkFolder, PrimaryServer, false, kRegular},
        {true, true, SecondaryServer, PrimaryServer, true, kTrial},
        {false, true, PrimaryServer, SecondaryServer, false, kTrial},
        {true, true, PrimaryServer, NetworkFolder, false, kTrial},
        {false, true, PrimaryServer, NetworkFolder, false, kTrial},
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
        chosen.serve(c.path + QStringLiteral("Verzije.txt"), "Racuni.exe;23;1;4;100;200;\r\n");

        EXPECT_TRUE(site.fetch(QStringLiteral("Verzije.txt")));

        EXPECT_EQ(chosen.requests, QStringList {c.path + QStringLiteral("Verzije.txt")});
        EXPECT_TRUE(other.requests.isEmpty());
        EXPECT_EQ(chosen.tlsConnections, c.chilkat ? 1 : 0);
        const QString address = (c.chilkat ? QStringLiteral("https://") : QStringLiteral("http://")) +
                                chosen.hostAndPort() + c.path + QStringLiteral("Verzije.txt");
        EXPECT_EQ(site.inst.journal(), (QStringList {QStringLiteral("Početak Download: ") + address,
                                                     QStringLiteral("Uspješan download: Verzije.txt")}));
        EXPECT_EQ(site.inst.read(QStringLiteral("Update/Verzije.txt")), QByteArray("Racuni.exe;23;1;4;100;200;\r\n"));
    }
}

TEST(FileFetcher, NameWithBlanksAndLettersReachesTheServerAsThatName)
{
    const QString name = QStringLiteral("Obračun plaća ž #2%20.7z");
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(engineName(chilkat));
        Site site(chilkat);
        site.primary.serve(kRegular + name, "7z-bytes");

        EXPECT_TRUE(site.fetch(name));

        EXPECT_EQ(site.primary.requests, QStringList {kRegular + name});
        ASSERT_EQ(site.primary.rawTargets.size(), 1);
        const QByteArray raw = site.primary.rawTargets[0];
        EXPECT_TRUE(raw.contains("Obra%C4%8Dun%20") && raw.contains("%23") && raw.contains("%2520")) << raw.data();
        EXPECT_EQ(site.inst.read(QStringLiteral("Update/") + name), QByteArray("7z-bytes"));
        EXPECT_TRUE(site.inst.journal().value(0).endsWith(kRegular + name));
    }
}

TEST(FileFetcher, BodiesAreStoredByteForByte)
{
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(engineName(chilkat));
        Site site(chilkat);
        site.primary.serve(kRegular + QStringLiteral("jedan.7z"), "x");
        site.primary.serve(kRegular + QStringLiteral("kraci.7z"), "abc");
        site.primary.serve(kRegular + QStringLiteral("prazan.txt"), QByteArray());
        site.inst.write(QStringLiteral("Update/kraci.7z"), QByteArray(1000, 'o'));

        EXPECT_TRUE(site.fetch(QStringLiteral("jedan.7z")));
        EXPECT_EQ(site.inst.read(QStringLiteral("Update/jedan.7z")), QByteArray("x"));
        EXPECT_TRUE(site.fetch(QStringLiteral("kraci.7z")));
        EXPECT_EQ(site.inst.read(QStringLiteral("Update/kraci.7z")), QByteArray("abc"));
        EXPECT_EQ(site.inst.window.status(Panel::Action), QString());
        EXPECT_EQ(site.inst.window.status(Panel::State), QString());

        // An empty body: the component stores an empty file, the transfer control has nothing to store.
        const bool stored = site.fetch(QStringLiteral("prazan.txt"));
        EXPECT_EQ(stored, chilkat);
        EXPECT_EQ(site.inst.exists(QStringLiteral("Update/prazan.txt")), chilkat);
        EXPECT_EQ(site.inst.journal().last(), chilkat ? QStringLiteral("Uspješan download: prazan.txt")
                                                       : QStringLiteral("Ništa nije primljeno (dužina 0). Download: prazan.txt"));
        EXPECT_EQ(site.inst.window.status(Panel::Action), QString());
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
            EXPECT_EQ(site.inst.state.currentMessage, expected);
            EXPECT_EQ(site.inst.journal().last(), expected);
            ASSERT_EQ(site.inst.window.messages.size(), 1u);
            EXPECT_EQ(site.inst.window.messages[0].text, expected);
            EXPECT_EQ(site.inst.window.messages[0].icon, Icon::Exclamation);
            EXPECT_TRUE(site.inst.window.messages[0].title.isEmpty());
            EXPECT_EQ(site.inst.read(QStringLiteral("Update/Racuni.7z")), QByteArray("old"));
            EXPECT_EQ(site.updateFiles(), (QStringList {QStringLiteral("Racuni.7z"), QStringLiteral("Update.log")}));
            // On this path the panels keep showing what was being fetched.
            EXPECT_EQ(site.inst.window.status(Panel::Action), QStringLiteral("Download: Racuni.7z"));
            if (!chilkat) {
                EXPECT_EQ(site.inst.window.status(Panel::State), QStringLiteral("Nastala greška"));
            }
        }
    }
}

TEST(FileFetcher, BrokenTransfersStoreNothing)
{
    const QByteArray body(100 * 1024, 'b');
    for (bool chilkat : {true, false}) {
        SCOPED_TRACE(engineName(chilkat));
        Site site(chilkat);
        site.primary.setChunkSize(8 * 1024);
        site.primary.cutAfter(kRegular + QStringLiteral("Racuni.7z"), body, 40 * 1024);
        site.inst.write(QStringLiteral("Update/Racuni.7z"), "old");
        site.secondary.close();

        const QStringList attempts = {QStringLiteral("Racuni.7z"), QStringLiteral("Nedostupan.7z"),
                                      QStringLiteral("Bez mape.7z")};
        for (const QString& name : attempts) {
            SCOPED_TRACE(name.toStdString());
            site.inst.window.messages.clear();
            site.inst.state.sources.regularOption = name == QStringLiteral("Nedostupan.7z") ? SecondaryServer : PrimaryServer;
            const QString folder = name == QStringLiteral("Bez mape.7z") ? site.inst.path(QStringLiteral("Nema/"))
                                                                        : site.inst.path(QStringLiteral("Update/"));
            site.primary.serve(kRegular + QStringLiteral("Bez mape.7z"), "data");

            EXPECT_FALSE(DownFile(site.inst.ctx, name, folder));

            const QString reason = site.inst.state.currentMessage;
            if (chilkat) {
                // The component reports its own failures in the journal only.
                EXPECT_FALSE(reason.isEmpty());
                EXPECT_EQ(site.inst.journal().last(), QStringLiteral("Greška: Download: ") + name + QLatin1Char(' ') + reason);
                EXPECT_TRUE(site.inst.window.messages.empty());
                EXPECT_EQ(site.inst.window.status(Panel::Action), QString());
            } else {
                EXPECT_TRUE(reason.startsWith(kRaisedHead + name + QLatin1Char(' '))) << reason.toStdString();
                EXPECT_GT(reason.size(), kRaisedHead.size() + name.size() + 1);
                EXPECT_EQ(site.inst.journal().last(), reason);
                EXPECT_EQ(site.inst.window.messageTexts(), QStringList {reason});
                EXPECT_EQ(site.inst.window.status(Panel::Action), QStringLiteral("Download: ") + name);
            }
        }
        EXPECT_EQ(site.inst.read(QStringLiteral("Update/Racuni.7z")), QByteArray("old"));
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
            EXPECT_EQ(site.inst.state.currentMessage,
                      kRaisedHead + name + QStringLiteral(" Isteklo vrijeme čekanja na odgovor servera (300 ms)"));
            EXPECT_EQ(site.inst.window.messageTexts().last(), site.inst.state.currentMessage);
        }
        EXPECT_EQ(site.inst.read(QStringLiteral("Update/Zapelo.7z")), QByteArray("old"));
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
    EXPECT_GT(refused.size(), kRaisedHead.size() + 12);
    EXPECT_EQ(site.inst.window.messageTexts(), QStringList {refused});
    EXPECT_TRUE(site.primary.requests.isEmpty());
    EXPECT_FALSE(site.inst.exists(QStringLiteral("Update/Verzije.txt")));

    // The authority named by the setting is trusted on top of the system's own.
    site.inst.state.sources.extraAuthorities = TestCertificates::instance().authorityPath;
    EXPECT_TRUE(site.fetch(QStringLiteral("Verzije.txt")));
    EXPECT_EQ(site.inst.read(QStringLiteral("Update/Verzije.txt")), QByteArray("manifest"));
}

TEST(FileFetcher, StatusPanelTwoFollowsTheTransfer)
{
    QByteArray big(4 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);

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
        EXPECT_EQ(site.inst.read(QStringLiteral("Update/Veliki.7z")), big);

        ASSERT_FALSE(window.states.isEmpty());
        EXPECT_EQ(window.states.last(), QString());
        EXPECT_EQ(site.inst.window.actionHistory, (QStringList {QStringLiteral("Download: Veliki.7z"), QString()}));
        QStringList shown = window.states;
        shown.removeLast();
        if (chilkat) {
            static const QRegularExpression percent(QStringLiteral("^(\\d+)%$"));
            int previous = -1;
            for (const QString& text : shown) {
                const QRegularExpressionMatch m = percent.match(text);
                ASSERT_TRUE(m.hasMatch()) << text.toStdString();
                EXPECT_GT(m.captured(1).toInt(), previous);
                previous = m.captured(1).toInt();
            }
            EXPECT_GE(shown.size(), 3);
            EXPECT_EQ(shown.last(), QStringLiteral("100%"));
        } else {
            shown.removeDuplicates();
            EXPECT_EQ(shown, (QStringList {QStringLiteral("Spajanje..."), QStringLiteral("Spojeno"),
                                           QStringLiteral("Zahtjev za podacima je poslan"),
                                           QStringLiteral("Odgovor je u toku prihvaćanja"),
                                           QStringLiteral("Odgovor primljen/Prijenos u toku"),
                                           QStringLiteral("Odgovor je uspješno prihvaćen")}));
        }
    }
}

TEST(FileFetcher, InetStateTexts)
{
    const QString before = QStringLiteral("Spojeno");
    EXPECT_EQ(inetStateText(0, before), QStringLiteral("Nema tekućeg stanja"));
    EXPECT_EQ(inetStateText(3, before), QStringLiteral("Spajanje..."));
    EXPECT_EQ(inetStateText(9, before), QStringLiteral("Odspajanje..."));
    EXPECT_EQ(inetStateText(12, before), QStringLiteral("Odgovor je uspješno prihvaćen"));
    EXPECT_EQ(inetStateText(13, before), before);
    EXPECT_EQ(inetStateText(-1, before), before);
}
