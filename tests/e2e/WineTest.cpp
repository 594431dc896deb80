// Runs of the Windows program, as scripts/build-windows deploys it, under Wine with a Croatian locale
// (ANSI code page 1250, set by CTest) and a display of the test's own, against nginx on 127.0.0.1.
// Settings are placed in the registry beforehand, as a workstation has them.
#include "Harness.h"
#include "Nginx.h"
#include "TestCertificates.h"
#include "XvfbDesktop.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kBuild = QStringLiteral(TARVINO_WINDOWS_BUILD "/");
const QString kDeploy = kBuild + QStringLiteral("deploy/TarvinoLiveUpdate23/");
const QString kProbe = kBuild + QStringLiteral("tests/e2e/windows/WineProbe.exe");
const QString kComponent = QStringLiteral("TarvinoIzmjBaza23.dll");

QString fromCp1250(const QByteArray& bytes)
{
    return QStringDecoder("windows-1250").decode(bytes);
}

/// How Wine names a path of this machine.
QString windowsPath(const QString& path)
{
    return QStringLiteral("Z:") + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

/// One display and one wineserver for every run: a new server per program would cost seconds each.
struct WineSession {
    WineSession()
    {
        std::string why;
        error = display.open(why) ? QString() : QString::fromStdString(why);
        // The tests' own offscreen platform is no plugin of the Windows program.
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
        if (run({QStringLiteral("wineboot"), QStringLiteral("--init")}).first != 0)
            error += QStringLiteral("wineboot --init failed");
        server.setProcessEnvironment(env);
        server.start(QStringLiteral("wineserver"), {QStringLiteral("-f"), QStringLiteral("-p")});
    }
    ~WineSession() { runToEnd(QStringLiteral("wineserver"), {QStringLiteral("-k")}, env, fromCp1250); }

    std::pair<int, QString> run(const QStringList& arguments)
    {
        return runToEnd(QStringLiteral("wine"), arguments, env, fromCp1250);
    }
    void start(QProcess& process, const QStringList& arguments)
    {
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("wine"), arguments);
    }

    XvfbDesktop display;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString error;
    QProcess server;
};

WineSession& session()
{
    static WineSession session;
    return session;
}

/// The sample with manifests in code page 1250 and a database-change component that registers itself.
QString wineSample()
{
    return sampleRoot({QStringLiteral("--code-page"), QStringLiteral("windows-1250"),
                       QStringLiteral("--component"),
                       kBuild + QStringLiteral("tests/e2e/windows/TestComponent.dll")});
}

/// The deployed Windows program in a copy of the sample installation.
class WineWorkstation : public Workstation {
public:
    WineWorkstation() : Workstation(wineSample(), fromCp1250)
    {
        for (QDirIterator it(kDeploy, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString relative = QDir(kDeploy).relativeFilePath(it.next());
            QFile::remove(folder + relative); // the sample's stand-in for the program
            EXPECT_TRUE(writeAll(folder + relative, readAll(it.filePath()))) << relative;
        }
        before = snapshot(folder);
    }

    void settings(const Settings& values) override
    {
        const QString key = QStringLiteral(R"(HKCU\Software\VB and VBA Program Settings\Tarvino\)");
        session().run({QStringLiteral("reg"), QStringLiteral("delete"), key + QStringLiteral("Settings"),
                       QStringLiteral("/f")});
        const auto add = [](const QString& section, const QString& name, const QString& value) {
            // No name or value holds a "|".
            const QString command = QStringLiteral("reg|add|%1|/v|%2|/d|%3|/f").arg(section, name, value);
            EXPECT_EQ(session().run(command.split(QLatin1Char('|'))).first, 0) << command;
        };
        for (const auto& [name, value] : values)
            add(key + QStringLiteral("Settings"), name, value);
        add(key + QStringLiteral("Setting"), QStringLiteral("VrijemeAutoDownloadaNovihVerz"),
            QStringLiteral("0"));
    }

    std::pair<int, QString> run(const QStringList& arguments) override
    {
        return session().run(QStringList{program()} + arguments);
    }
    QString program() const { return folder + QStringLiteral("TarvinoLiveUpdate23.exe"); }
};

class Wine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(kDeploy + QStringLiteral("TarvinoLiveUpdate23.exe")))
            << "run scripts/build-windows";
        ASSERT_TRUE(session().error.isEmpty()) << session().error;
        ASSERT_FALSE(wineSample().isEmpty());
        // Wine cannot import a bundle of authorities without a key as Windows does, so the server sends
        // the extra authority after its own certificate; Schannel then trusts it as the one named.
        ASSERT_TRUE(
            writeAll(m_chain.filePath(QStringLiteral("chain.pem")),
                     readAll(certificates.serverCertificatePath) + readAll(certificates.authorityPath)));
        server = std::make_unique<Nginx>(
            wineSample() + QStringLiteral("/www"),
            NginxTls{m_chain.filePath(QStringLiteral("chain.pem")), certificates.serverKeyPath});
        ASSERT_TRUE(server->running) << server->error;
    }

    const TestCertificates& certificates = TestCertificates::instance();
    QTemporaryDir m_chain;
    std::unique_ptr<Nginx> server;
};

} // namespace

TEST_F(Wine, ChecksAndUpdatesOverHttpAndHttpsWithTheComponentRegistered)
{
    const QString registered = QStringLiteral(R"(HKCU\Software\TarvinoTest)");
    session().run({QStringLiteral("reg"), QStringLiteral("delete"), registered, QStringLiteral("/f")});
    const QString success = QStringLiteral("cmdDownloadAndUpdate_Click Uspješno instalirani novi programi!");
    const QString download =
        QStringLiteral("Početak Download: %1://127.0.0.1:%2/download/Verzija23/Racuni.7z");
    const QString after = wineSample() + QStringLiteral("/after/regular");
    const ToolRun rows[] = {
        {.name = "check",
         .settings = servers(server->httpPort, false),
         .arguments = {QStringLiteral("--provjera")},
         .journal = {QStringLiteral("NapraviRsŠtoTrebaAžurirati - Treba instalirati: Računi.exe")},
         .output = kComponent},
        {.name = "http",
         .settings = servers(server->httpPort, false),
         .installs = after,
         .journal = {download.arg(QStringLiteral("http")).arg(server->httpPort),
                     kComponent + QStringLiteral("\" /u /s Uspješno"),
                     kComponent + QStringLiteral("\" /s Uspješno"), success},
         .output = QStringLiteral("Uspješno instalirani novi programi!")},
        {.name = "https through Schannel with the extra authority",
         .settings = servers(server->httpsPort, true) +
                     Settings{{QStringLiteral("DodatniCA23"), windowsPath(certificates.authorityPath)},
                              {QStringLiteral("UpdateLok23N"), QStringLiteral("0")}},
         .installs = after,
         .journal = {download.arg(QStringLiteral("https")).arg(server->httpsPort), success}},
    };
    QString component;
    for (const ToolRun& row : rows) {
        WineWorkstation ws;
        ws.expect(row);
        component = windowsPath(ws.folder) + kComponent;
    }
    // The last update's component registered itself; the tool waits for regsvr32 a while only.
    QString value;
    for (QDeadlineTimer deadline(60000);
         !deadline.hasExpired() && !value.contains(component, Qt::CaseInsensitive);)
        value = session().run({QStringLiteral("reg"), QStringLiteral("query"), registered}).second;
    EXPECT_TRUE(value.contains(component, Qt::CaseInsensitive)) << value;
}

TEST_F(Wine, AnOpenSuiteProgramHoldsTheInstallationOff)
{
    QProcess suiteProgram;
    session().start(suiteProgram, {kProbe, QStringLiteral("window"), QStringLiteral("Knjigovodstvo 23")});
    ASSERT_TRUE(suiteProgram.waitForReadyRead(60000)) << "the suite program's window did not open";
    WineWorkstation().expect({.name = "held off",
                              .settings = servers(server->httpPort, false),
                              .status = 1,
                              .output = QStringLiteral("Postoje pokrenuti programi: Knjigovodstvo 23")});
    session().run({kProbe, QStringLiteral("close"), QStringLiteral("Knjigovodstvo 23")});
    EXPECT_TRUE(suiteProgram.waitForFinished(30000));
}

TEST_F(Wine, TheWindowOpensInItsDesignColourAndClosesWithTheClosingLine)
{
    WineWorkstation ws;
    ws.settings(servers(server->httpPort, false));
    // The journal's folder, made by the first check; without it closing would ask to be told.
    ASSERT_TRUE(QDir().mkpath(ws.folder + QStringLiteral("Update")));
    QProcess window;
    session().start(window, {ws.program()});
    // The design colour, red 203, green 218, blue 217, over much of the screen once the window is painted.
    long coloured = 0;
    for (QDeadlineTimer deadline(90000); !deadline.hasExpired() && coloured < 60000;)
        coloured = session().display.pixels(0xCBDAD9);
    EXPECT_GE(coloured, 60000);
    // Found by its caption and asked to close, as its close box does.
    const QString caption =
        QStringLiteral("Tarvino Live Update - Automatsko ažuriranje Tarvino programa V23.0.1");
    EXPECT_EQ(session().run({kProbe, QStringLiteral("close"), caption}).first, 0);
    ASSERT_TRUE(window.waitForFinished(60000));
    EXPECT_EQ(ws.journal().filter(QStringLiteral("KRAJ PROGRAMA")).size(), 1);
}
