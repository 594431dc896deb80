// Runs of the Windows program, as scripts/build-windows deploys it, under Wine with a
// Croatian locale (ANSI code page 1250) and a display of the test's own, against nginx
// on 127.0.0.1. Settings are placed in the registry beforehand, as a workstation has them.
#include "Harness.h"
#include "TestCertificates.h"
#include "XvfbDesktop.h"
#include "plan/FolderLayout.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QStringDecoder>
#include <QStringEncoder>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kBuild = QStringLiteral(TARVINO_WINDOWS_BUILD "/");
const QString kDeploy = kBuild + QStringLiteral("deploy/TarvinoLiveUpdate23/");
const QString kProbe = kBuild + QStringLiteral("tests/e2e/windows/WineProbe.exe");
const QString kComponent = kBuild + QStringLiteral("tests/e2e/windows/TestComponent.dll");
const QString kProgram = QStringLiteral("TarvinoLiveUpdate23.exe");
const QString kCaption = QStringLiteral("Tarvino Live Update - Automatsko ažuriranje Tarvino programa V23.0.1");
const QString kRegular = QStringLiteral("/www/download/Verzija23/");
const QString kRegisteredComponent = QStringLiteral("TarvinoIzmjBaza23.dll");

using Settings = QList<std::pair<QString, QString>>;

QString fromCp1250(const QByteArray& bytes)
{
    return QStringDecoder("windows-1250").decode(bytes);
}

QByteArray toCp1250(const QString& text)
{
    return QStringEncoder("windows-1250").encode(text);
}

/// How Wine names a path of this machine.
QString windowsPath(const QString& path)
{
    return QStringLiteral("Z:") + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

/// One Wine prefix, one wineserver and one display for the whole program.
class WineSession {
public:
    static WineSession& instance()
    {
        static WineSession session;
        return session;
    }

    QString error;

    /// Runs a Windows program to its end (bounded); `meanwhile` acts while it runs.
    RunResult run(const QStringList& arguments, const std::function<void()>& meanwhile = {})
    {
        return runToEnd(QStringLiteral("wine"), arguments, m_env, fromCp1250, meanwhile, 120000);
    }

    void start(QProcess& process, const QStringList& arguments)
    {
        process.setProcessEnvironment(m_env);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral("wine"), arguments);
    }

    /// The settings store as an existing workstation has it: these values in the registry.
    void placeSettings(const Settings& values, const QString& file)
    {
        const QString key = QStringLiteral(R"(HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Tarvino)");
        QString reg = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[-") + key + QStringLiteral("]\r\n\r\n[") +
                      key + QStringLiteral("\\Settings]\r\n");
        for (const auto& [name, value] : values) {
            QString escaped = value;
            escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
            reg += QLatin1Char('"') + name + QStringLiteral("\"=\"") + escaped + QStringLiteral("\"\r\n");
        }
        reg += QStringLiteral("\r\n[") + key + QStringLiteral("\\Setting]\r\n\"VrijemeAutoDownloadaNovihVerz\"=\"0\"\r\n");
        QByteArray bytes("\xFF\xFE");
        bytes.append(reinterpret_cast<const char*>(reg.utf16()), reg.size() * 2);
        ASSERT_TRUE(writeAll(file, bytes));
        const RunResult imported = run({QStringLiteral("regedit"), QStringLiteral("/S"), windowsPath(file)});
        ASSERT_EQ(imported.status, 0) << imported.err.toStdString();
    }

    /// A value of the registry as `reg query` prints it, or empty text.
    QString registryValue(const QString& key, const QString& name)
    {
        const RunResult query =
            run({QStringLiteral("reg"), QStringLiteral("query"), key, QStringLiteral("/v"), name});
        return query.status == 0 ? query.out : QString();
    }

private:
    WineSession()
    {
        if (!m_display.open(m_why)) {
            error = QString::fromStdString(m_why);
            return;
        }
        m_env = QProcessEnvironment::systemEnvironment();
        // The tests' own offscreen platform is no plugin of the Windows program.
        m_env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_env.insert(QStringLiteral("WINEPREFIX"), QStringLiteral(TARVINO_WINE_PREFIX));
        m_env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        m_env.insert(QStringLiteral("WINEARCH"), QStringLiteral("win64"));
        // No Mono or Gecko installer on the first start.
        m_env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        // Code page 1250, as in our offices: names with č and ž reach the disk intact.
        m_env.insert(QStringLiteral("LC_ALL"), QStringLiteral("hr_HR.UTF-8"));
        m_env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
        QProcess boot;
        boot.setProcessEnvironment(m_env);
        boot.start(QStringLiteral("wineboot"), {QStringLiteral("--init")});
        if (!boot.waitForFinished(300000) || boot.exitCode() != 0)
            error = QStringLiteral("wineboot --init failed: ") + QString::fromLocal8Bit(boot.readAll());
        // One server for every run: a new one per program would cost seconds each.
        m_server.setProcessEnvironment(m_env);
        m_server.start(QStringLiteral("wineserver"), {QStringLiteral("-f"), QStringLiteral("-p")});
    }

    ~WineSession()
    {
        QProcess kill;
        kill.setProcessEnvironment(m_env);
        kill.start(QStringLiteral("wineserver"), {QStringLiteral("-k")});
        kill.waitForFinished(30000);
        m_server.waitForFinished(30000);
    }

    XvfbDesktop m_display;
    std::string m_why;
    QProcessEnvironment m_env;
    QProcess m_server;
};

/// A row of a manifest in code page 1250 gets new sizes.
void resize(const QString& manifest, const QString& name, qint64 packed, qint64 unpacked)
{
    QStringList lines = fromCp1250(readAll(manifest)).split(QStringLiteral("\r\n"));
    for (QString& line : lines) {
        QStringList fields = line.split(QLatin1Char(';'));
        if (fields.size() == 7 && fields[0] == name) {
            fields[4] = QString::number(packed);
            fields[5] = QString::number(unpacked);
            line = fields.join(QLatin1Char(';'));
        }
    }
    ASSERT_TRUE(writeAll(manifest, toCp1250(lines.join(QStringLiteral("\r\n")))));
}

/// The sample suite with manifests in code page 1250 and a real component that
/// registers itself in place of the database-change component, installed and published.
const QString& wineSample()
{
    static const QString root = [] {
        const QString sample = sampleRoot(QStringLiteral("windows-1250"));
        const QByteArray component = readAll(kComponent);
        EXPECT_FALSE(component.isEmpty()) << "no " << kComponent.toStdString();
        QTemporaryDir stage;
        writeAll(stage.path() + QLatin1Char('/') + kRegisteredComponent, component);
        for (const QString& release : {kRegular, kRegular + QStringLiteral("Probna/")}) {
            const QString archive = sample + release + packedName(kRegisteredComponent);
            QFile::remove(archive);
            bool ok = false;
            const QString output = runOutput(QStringLiteral("7za"),
                                             {QStringLiteral("a"), archive, stage.path() + QLatin1Char('/') +
                                                                                kRegisteredComponent},
                                             &ok);
            EXPECT_TRUE(ok) << output.toStdString();
            resize(sample + release + kManifestFile, kRegisteredComponent, QFileInfo(archive).size(),
                   component.size());
        }
        writeAll(sample + QStringLiteral("/install/") + kRegisteredComponent, component);
        resize(sample + QStringLiteral("/install/") + kManifestFile, kRegisteredComponent, 0, component.size());
        return sample;
    }();
    return root;
}

/// A copy of the sample installation with the deployed Windows program in it.
class WineWorkstation : public Workstation {
public:
    WineWorkstation() : Workstation(wineSample() + QStringLiteral("/install/"), fromCp1250)
    {
        for (QDirIterator it(kDeploy, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString relative = QDir(kDeploy).relativeFilePath(it.next());
            QDir().mkpath(QFileInfo(folder + relative).absolutePath());
            QFile::remove(folder + relative); // the sample's stand-in for the program
            EXPECT_TRUE(QFile::copy(it.filePath(), folder + relative)) << relative.toStdString();
            before.insert(relative, readAll(it.filePath()));
        }
    }

    RunResult run(const QStringList& arguments)
    {
        return WineSession::instance().run(QStringList {folder + kProgram} + arguments);
    }
};

class Wine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(kDeploy + kProgram)) << "run scripts/build-windows first";
        ASSERT_TRUE(session().error.isEmpty()) << session().error.toStdString();
        ASSERT_FALSE(wineSample().isEmpty());
        // Wine cannot import a bundle of authorities without a key as Windows does, so the
        // server sends the extra authority itself; Schannel then trusts it as the one named.
        m_nginx = std::make_unique<Nginx>(wineSample() + QStringLiteral("/www"), QString(), true);
        ASSERT_TRUE(m_nginx->running) << m_nginx->error.toStdString();
    }

    static WineSession& session() { return WineSession::instance(); }

    Settings servers(quint16 port, bool chilkat) const
    {
        const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
        return {{QStringLiteral("PrimarniServer23"), address},
                {QStringLiteral("SekundarniServer23"), address},
                {QStringLiteral("KoristiChilkatZaDownload"), chilkat ? QStringLiteral("True") : QStringLiteral("False")}};
    }

    std::unique_ptr<Nginx> m_nginx;
    const QString m_regular = wineSample() + kRegular;
};

const QStringList kUpdate = {QStringLiteral("--azuriranje"), QStringLiteral("--da")};

} // namespace

TEST_F(Wine, CheckThenUpdateOverHttpWithTheComponentRegisteredByRegsvr32)
{
    WineWorkstation ws;
    session().placeSettings(servers(m_nginx->httpPort, false), ws.path(QStringLiteral("settings.reg")));

    const RunResult check = ws.run({QStringLiteral("--provjera")});
    EXPECT_EQ(check.status, 0) << check.err.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("Računi.exe"))) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains(kRegisteredComponent)) << check.out.toStdString();
    ws.expectFiles(ws.before);

    const RunResult update = ws.run(kUpdate);
    EXPECT_EQ(update.status, 0) << update.err.toStdString();
    EXPECT_TRUE(update.err.contains(QStringLiteral("Uspješno instalirani novi programi!"))) << update.err.toStdString();
    ws.expectInstalled(m_regular);
    const QString component = windowsPath(ws.folder) + kRegisteredComponent;
    ws.expectJournal(
                  {QStringLiteral("NapraviRsŠtoTrebaAžurirati - Treba instalirati: Računi.exe"),
                   QStringLiteral("Početak Download: http://127.0.0.1:%1/download/Verzija23/Racuni.7z")
                       .arg(m_nginx->httpPort),
                   QStringLiteral("RegSvr32.exe \"") + component + QStringLiteral("\" /u /s Uspješno"),
                   QStringLiteral("RegSvr32.exe \"") + component + QStringLiteral("\" /s Uspješno"),
                   QStringLiteral("cmdDownloadAndUpdate_Click Uspješno instalirani novi programi!")});
    // The tool waits a while for the registration tool; a slow one may still be at work.
    QString registered;
    for (QDeadlineTimer deadline(60000); !deadline.hasExpired() && !registered.contains(component, Qt::CaseInsensitive);)
        registered = session().registryValue(QStringLiteral(R"(HKEY_CURRENT_USER\Software\TarvinoTest)"),
                                             QStringLiteral("Registered"));
    EXPECT_TRUE(registered.contains(component, Qt::CaseInsensitive)) << registered.toStdString();
}

TEST_F(Wine, UpdateOverHttpsThroughSchannelWithTheExtraAuthority)
{
    WineWorkstation ws;
    session().placeSettings(servers(m_nginx->httpsPort, true) +
                                Settings {{QStringLiteral("DodatniCA23"),
                                           windowsPath(TestCertificates::instance().authorityPath)},
                                          {QStringLiteral("UpdateLok23N"), QStringLiteral("0")}},
                            ws.path(QStringLiteral("settings.reg")));
    const RunResult update = ws.run(kUpdate);
    EXPECT_EQ(update.status, 0) << update.err.toStdString();
    ws.expectInstalled(m_regular);
    ws.expectJournal( {QStringLiteral("Početak Download: https://127.0.0.1:%1/download/Verzija23/Racuni.7z")
                                     .arg(m_nginx->httpsPort),
                                 QStringLiteral("UpdatePrograma - Kraj")});
}

TEST_F(Wine, AnOpenSuiteProgramHoldsTheInstallationOff)
{
    WineWorkstation ws;
    session().placeSettings(servers(m_nginx->httpPort, false), ws.path(QStringLiteral("settings.reg")));
    QProcess suiteProgram;
    session().start(suiteProgram, {kProbe, QStringLiteral("window"), QStringLiteral("Knjigovodstvo 23")});
    ASSERT_TRUE(suiteProgram.waitForReadyRead(60000)) << "the suite program's window did not open";

    const RunResult update = ws.run(kUpdate);
    EXPECT_EQ(update.status, 1);
    EXPECT_TRUE(update.err.contains(QStringLiteral("Postoje pokrenuti programi: Knjigovodstvo 23")))
        << update.err.toStdString();
    ws.expectFiles(ws.before);

    session().run({kProbe, QStringLiteral("close"), QStringLiteral("Knjigovodstvo 23")});
    suiteProgram.waitForFinished(30000);
}

TEST_F(Wine, TheWindowOpensWithItsCaptionAndColourAndClosesWithTheClosingLine)
{
    WineWorkstation ws;
    session().placeSettings(servers(m_nginx->httpPort, false), ws.path(QStringLiteral("settings.reg")));
    // The journal's folder, made by the first check; without it closing would ask to be told.
    ASSERT_TRUE(QDir().mkpath(ws.folder + QStringLiteral("Update")));
    QProcess window;
    session().start(window, {ws.folder + kProgram});

    // The design colour, red 203, green 218, blue 217, over much of the window once it is painted.
    const QString bitmap = QStringLiteral(TARVINO_WINE_PREFIX "/../wine-window.bmp");
    const auto designColoured = [&] {
        const RunResult painted = session().run(
            {kProbe, QStringLiteral("paint"), kCaption, QStringLiteral("CBDAD9"), windowsPath(bitmap)});
        const QStringList numbers = painted.out.split(QLatin1Char(' '));
        return painted.status == 0 && numbers.size() == 3 &&
               numbers[0].toLongLong() * 4 > numbers[1].toLongLong() * numbers[2].toLongLong();
    };
    bool coloured = false;
    for (QDeadlineTimer deadline(90000); !deadline.hasExpired() && !coloured;)
        coloured = designColoured();
    EXPECT_TRUE(coloured) << "no window captioned " << kCaption.toStdString()
                          << " with a quarter of it in the design colour, see " << bitmap.toStdString();
    QImage(bitmap).save(QString(bitmap).replace(QStringLiteral(".bmp"), QStringLiteral(".png")));

    session().run({kProbe, QStringLiteral("close"), kCaption});
    ASSERT_TRUE(window.waitForFinished(60000));
    EXPECT_EQ(ws.journal().filter(QStringLiteral("KRAJ PROGRAMA")).size(), 1);
}
