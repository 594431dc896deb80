// Whole runs of the built program, copied into a sample installation, against nginx on 127.0.0.1
// serving the sample releases over http and https.
#include "Harness.h"
#include "Nginx.h"
#include "TestCertificates.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kSuccess = QStringLiteral("cmdDownloadAndUpdate_Click Uspješno instalirani novi programi!");

/// The program in a copy of the sample installation, with a settings store of its own and a stand-in
/// for the registration tool on PATH.
class NativeWorkstation : public Workstation {
public:
    NativeWorkstation()
        : Workstation(sampleRoot(), [](const QByteArray& text) { return QString::fromUtf8(text); })
    {
        EXPECT_TRUE(
            QFile::copy(QStringLiteral(TARVINO_PROGRAM), folder + QStringLiteral("TarvinoLiveUpdate23")));
        writeAll(path(QStringLiteral("bin/RegSvr32.exe")), "#!/bin/sh\n");
        QFile(path(QStringLiteral("bin/RegSvr32.exe"))).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        before = snapshot(folder);
    }

    void settings(const Settings& values) override
    {
        QByteArray ini = "[Settings]\r\n";
        for (const auto& [name, value] : values)
            ini += (name + QStringLiteral("=\"") + value + QStringLiteral("\"\r\n")).toUtf8();
        EXPECT_TRUE(writeAll(path(QStringLiteral("config/Tarvino/Tarvino.ini")),
                             ini + "\r\n[Setting]\r\nVrijemeAutoDownloadaNovihVerz=0\r\n"));
    }

    std::pair<int, QString> run(const QStringList& arguments) override
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"WinDir", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("PATH"), path(QStringLiteral("bin:")) + env.value(QStringLiteral("PATH")));
        return runToEnd(folder + QStringLiteral("TarvinoLiveUpdate23"), arguments, env, decode);
    }
};

} // namespace

// The same installation updated from each source: the primary server over http, the secondary over https
// trusted through the extra authority, the trial channel, and a network folder where the servers lead
// nowhere.
TEST(EndToEnd, UpdatesFromEachSource)
{
    const QString sample = sampleRoot();
    ASSERT_FALSE(sample.isEmpty());
    const TestCertificates& certificates = TestCertificates::instance();
    const Nginx server(sample + QStringLiteral("/www"),
                       {certificates.serverCertificatePath, certificates.serverKeyPath});
    ASSERT_TRUE(server.running) << server.error;
    const QString fetching = QStringLiteral("Početak Download: %1://127.0.0.1:%2/download/Verzija23/%3");
    const QString http = fetching.arg(QStringLiteral("http")).arg(server.httpPort);
    const Settings overHttp = servers(server.httpPort, false) +
                              Settings{{QStringLiteral("UpdateLok23N"), QStringLiteral("2")},
                                       {QStringLiteral("UpdateLok23NProbna"), QStringLiteral("2")}};
    const QString regular = sample + QStringLiteral("/after/regular");
    const ToolRun rows[] = {
        {.name = "http",
         .settings = overHttp,
         .installs = regular,
         .journal = {http.arg(QStringLiteral("Racuni.7z")), kSuccess}},
        {.name = "https",
         .settings = servers(server.httpsPort, true) +
                     Settings{{QStringLiteral("DodatniCA23"), certificates.authorityPath},
                              {QStringLiteral("UpdateLok23N"), QStringLiteral("0")}},
         .installs = regular,
         .journal =
             {fetching.arg(QStringLiteral("https")).arg(server.httpsPort).arg(QStringLiteral("Racuni.7z")),
              kSuccess}},
        {.name = "trial",
         .settings = overHttp,
         .arguments = {QStringLiteral("--probno-azuriranje"), QStringLiteral("--da")},
         .installs = sample + QStringLiteral("/after/trial"),
         .journal = {http.arg(QStringLiteral("Probna/Knjigovodstvo.7z")), kSuccess}},
        {.name = "network folder",
         .settings = servers(9, false) + Settings{{QStringLiteral("UpdateLok23N"), QStringLiteral("1")},
                                                  {QStringLiteral("UpdateLokDir23"),
                                                   sample + QStringLiteral("/www/download/Verzija23/")}},
         .installs = regular,
         .journal = {QStringLiteral("SnimitiSaMrežneLokacije - Početak kopiranja Racuni.7z"), kSuccess}},
    };
    for (const ToolRun& row : rows)
        NativeWorkstation().expect(row);
}
