// Runs of the Windows program, as scripts/build-windows deploys it, under Wine with a Croatian locale
// (ANSI code page 1250, set by CTest) and a display of the test's own, against nginx on 127.0.0.1.
// Settings are placed in the registry beforehand, as a workstation has them.
#include "Nginx.h"
#include "TestCertificates.h"
#include "XvfbDesktop.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

/// Failure messages show texts as they are.
std::ostream& operator<<(std::ostream& out, const QString& text)
{
    return out << text.toStdString();
}

namespace tarvino::test {
namespace {

using Files = QMap<QString, QByteArray>;
using Settings = QList<std::pair<QString, QString>>;

const QString kBuild = QStringLiteral(TARVINO_WINDOWS_BUILD "/");
const QString kDeploy = kBuild + QStringLiteral("deploy/TarvinoLiveUpdate23/");
const QString kProbe = kBuild + QStringLiteral("tests/e2e/windows/WineProbe.exe");
const QString kComponent = QStringLiteral("TarvinoIzmjBaza23.dll");

/// How the workstation's 8-bit texts (journal, manifests, output) read.
QString fromCp1250(const QByteArray& bytes)
{
    return QStringDecoder("windows-1250").decode(bytes);
}

/// How Wine names a path of this machine.
QString windowsPath(const QString& path)
{
    return QStringLiteral("Z:") + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// Every file below `folder` by its relative path, the tool's own work folder and lock file left out.
Files snapshot(const QString& folder)
{
    Files files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString relative = QDir(folder).relativeFilePath(it.next());
        if (!relative.startsWith(QStringLiteral("Update/")) && relative != QStringLiteral("LiveUpdate.lock"))
            files.insert(relative, readAll(it.filePath()));
    }
    return files;
}

/// Runs a program to its end (bounded); its exit status (-1: crashed) and its two outputs merged.
std::pair<int, QString> runToEnd(const QString& program, const QStringList& arguments,
                                 const QProcessEnvironment& env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    // Beyond the tool's own 60 s limit for a transfer that receives nothing.
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program << " did not end within two minutes";
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            fromCp1250(process.readAll())};
}

/// The sample suite with manifests in code page 1250 and a database-change component that registers itself.
QString sample()
{
    static QTemporaryDir dir;
    static const QString root = [] {
        const QString root = dir.filePath(QStringLiteral("sample"));
        const auto [status, output] = runToEnd(
            QStringLiteral(TARVINO_SAMPLE_RELEASE),
            {QStringLiteral("--code-page"), QStringLiteral("windows-1250"), QStringLiteral("--component"),
             kBuild + QStringLiteral("tests/e2e/windows/TestComponent.dll"), root},
            QProcessEnvironment::systemEnvironment());
        EXPECT_EQ(status, 0) << "sample release: " << output;
        return status == 0 ? root : QString();
    }();
    return root;
}

/// Both update servers at one address, with the engine given.
Settings servers(quint16 port, bool chilkat)
{
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    return {{QStringLiteral("PrimarniServer23"), address},
            {QStringLiteral("SekundarniServer23"), address},
            {QStringLiteral("KoristiChilkatZaDownload"),
             chilkat ? QStringLiteral("true") : QStringLiteral("false")}};
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
    ~WineSession() { runToEnd(QStringLiteral("wineserver"), {QStringLiteral("-k")}, env); }

    std::pair<int, QString> run(const QStringList& arguments)
    {
        return runToEnd(QStringLiteral("wine"), arguments, env);
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

struct ToolRun {
    const char* name;
    Settings settings;
    QStringList arguments = {QStringLiteral("--azuriranje"), QStringLiteral("--da")};
    int status = 0;
    /// A sample's after/ folder of the release installed; empty: the installation stays as it was.
    QString installs;
    /// Lines that lie within the journal's lines, in this order.
    QStringList journal;
    QString output;
};

/// The deployed Windows program in a copy of the sample installation.
struct Workstation {
    Workstation()
    {
        for (const QString& from : {sample() + QStringLiteral("/install/"), kDeploy}) {
            const Files files = snapshot(from);
            for (auto it = files.begin(); it != files.end(); ++it)
                EXPECT_TRUE(writeAll(folder + it.key(), it.value())) << it.key();
        }
        before = snapshot(folder);
    }

    /// The registry's settings: these values under Settings, the automatic download off.
    void settings(const Settings& values)
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

    QString program() const { return folder + QStringLiteral("TarvinoLiveUpdate23.exe"); }
    QStringList journal() const
    {
        return fromCp1250(readAll(folder + QStringLiteral("Update/Update.log")))
            .split(QStringLiteral("\r\n"));
    }

    /// Runs `row` and checks its outcome.
    void expect(const ToolRun& row)
    {
        SCOPED_TRACE(row.name);
        settings(row.settings);
        const auto [status, output] = session().run(QStringList{program()} + row.arguments);
        EXPECT_EQ(status, row.status) << output;
        EXPECT_TRUE(output.contains(row.output)) << output;
        Files want = before;
        want.insert(row.installs.isEmpty() ? Files() : snapshot(row.installs));
        const Files now = snapshot(folder);
        EXPECT_EQ(now.keys(), want.keys());
        for (auto it = want.begin(); it != want.end(); ++it)
            EXPECT_TRUE(now.value(it.key()) == it.value()) << it.key() << " is not as expected";
        const QStringList lines = journal();
        qsizetype at = 0;
        for (const QString& line : row.journal) {
            while (at < lines.size() && !lines.at(at).contains(line))
                ++at;
            ASSERT_LT(at++, lines.size()) << "not in the journal (in this order): " << line << "\n"
                                          << lines.join(QLatin1Char('\n'));
        }
    }

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/install/");
    /// What the installation held before the program ran.
    Files before;
};

class Wine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(kDeploy + QStringLiteral("TarvinoLiveUpdate23.exe")))
            << "run scripts/build-windows";
        ASSERT_TRUE(session().error.isEmpty()) << session().error;
        ASSERT_FALSE(sample().isEmpty());
        // Wine cannot import a bundle of authorities without a key as Windows does, so the server sends
        // the extra authority after its own certificate; Schannel then trusts it as the one named.
        ASSERT_TRUE(
            writeAll(m_chain.filePath(QStringLiteral("chain.pem")),
                     readAll(certificates.serverCertificatePath) + readAll(certificates.authorityPath)));
        server = std::make_unique<Nginx>(
            sample() + QStringLiteral("/www"),
            NginxTls{m_chain.filePath(QStringLiteral("chain.pem")), certificates.serverKeyPath});
        ASSERT_TRUE(server->running) << server->error;
    }

    const TestCertificates& certificates = TestCertificates::instance();
    QTemporaryDir m_chain;
    std::unique_ptr<Nginx> server;
};

TEST_F(Wine, ChecksAndUpdatesOverHttpAndHttpsWithTheComponentRegistered)
{
    const QString registered = QStringLiteral(R"(HKCU\Software\TarvinoTest)");
    session().run({QStringLiteral("reg"), QStringLiteral("delete"), registered, QStringLiteral("/f")});
    const QString success = QStringLiteral("cmdDownloadAndUpdate_Click Uspješno instalirani novi programi!");
    const QString download =
        QStringLiteral("Početak Download: %1://127.0.0.1:%2/download/Verzija23/Racuni.7z");
    const QString after = sample() + QStringLiteral("/after/regular");
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
        Workstation ws;
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
    Workstation().expect({.name = "held off",
                          .settings = servers(server->httpPort, false),
                          .status = 1,
                          .output = QStringLiteral("Postoje pokrenuti programi: Knjigovodstvo 23")});
    session().run({kProbe, QStringLiteral("close"), QStringLiteral("Knjigovodstvo 23")});
    EXPECT_TRUE(suiteProgram.waitForFinished(30000));
}

TEST_F(Wine, TheWindowOpensInItsDesignColourAndClosesWithTheClosingLine)
{
    Workstation ws;
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

} // namespace
} // namespace tarvino::test
