// A whole update of the sample release from a loopback nginx against a shell
// script doing the same work with curl, 7za and cp.
//
//   bench_update [MiB added to each program and component, default 8] [rounds, default 3]
//
// Builds the sample release with tarvino_sample_release --size-mib, serves it over
// http and, in each round, updates a fresh copy of the installation folder through
// PripremiVerzijaTXT, SnimitiSaInterneta and UpdatePrograma, then another fresh copy
// with the script. The pauses the tool makes are skipped by its clock and reported
// apart. Prints the best round of each, split into transfer, unpacking and
// installation, and fails when the tool takes more than 1.15 times the script.

#include "BenchSupport.h"
#include "Nginx.h"
#include "core/Context.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "install/Installation.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"
#include "platform/Platform.h"
#include "transfer/InternetFetch.h"
#include "transfer/ManifestPreparation.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>

using namespace tarvino;
using namespace std::chrono_literals;

namespace {

constexpr double kAllowedRatio = 1.15;

// Adds up how long 7za runs last, from the start to the moment the wait sees the end.
class TimedProcesses final : public platform::Processes {
public:
    explicit TimedProcesses(platform::Processes& inner) : m_inner(inner) {}
    platform::Started startHidden(const std::string& commandLine) override
    {
        const qint64 begin = m_timer.nsecsElapsed();
        platform::Started started = m_inner.startHidden(commandLine);
        if (started.outcome && commandLine.find("7za") != std::string::npos)
            m_unpacking[started.processId] = begin;
        return started;
    }
    bool waitFor(std::int64_t processId, std::chrono::milliseconds slice) override
    {
        const bool ended = m_inner.waitFor(processId, slice);
        const auto it = m_unpacking.find(processId);
        if (ended && it != m_unpacking.end()) {
            unpackingNs += m_timer.nsecsElapsed() - it->second;
            m_unpacking.erase(it);
        }
        return ended;
    }
    std::optional<int> exitCode(std::int64_t processId) const override { return m_inner.exitCode(processId); }

    qint64 unpackingNs = 0;

private:
    platform::Processes& m_inner;
    std::map<std::int64_t, qint64> m_unpacking;
    QElapsedTimer m_timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

// Adds up the time of file copies: during the fetch they are the unpacking of
// files published unpacked.
class TimedFiles final : public platform::FileSystem {
public:
    explicit TimedFiles(platform::FileSystem& inner) : m_inner(inner) {}
    bool fileExists(const std::string& path) const override { return m_inner.fileExists(path); }
    bool folderExists(const std::string& path) const override { return m_inner.folderExists(path); }
    bool isLink(const std::string& path) const override { return m_inner.isLink(path); }
    platform::Outcome createFolder(const std::string& path) override { return m_inner.createFolder(path); }
    platform::Outcome removeFolder(const std::string& path) override { return m_inner.removeFolder(path); }
    platform::Outcome copyFile(const std::string& from, const std::string& to) override
    {
        QElapsedTimer timer;
        timer.start();
        platform::Outcome outcome = m_inner.copyFile(from, to);
        copyingNs += timer.nsecsElapsed();
        return outcome;
    }
    platform::Outcome replaceFile(const std::string& from, const std::string& to) override
    {
        return m_inner.replaceFile(from, to);
    }
    platform::Outcome flushFile(const std::string& path) override { return m_inner.flushFile(path); }
    std::optional<std::uint64_t> freeSpace(const std::string& folder) const override
    {
        return m_inner.freeSpace(folder);
    }
    platform::LockAttempt lockFile(const std::string& path) override { return m_inner.lockFile(path); }
    platform::Outcome moveFile(const std::string& from, const std::string& to) override
    {
        return m_inner.moveFile(from, to);
    }
    platform::Outcome deleteFile(const std::string& path, bool force) override
    {
        return m_inner.deleteFile(path, force);
    }
    platform::Outcome deleteMatching(const std::string& folder, const std::string& pattern) override
    {
        return m_inner.deleteMatching(folder, pattern);
    }
    std::optional<std::uint64_t> fileSize(const std::string& path, platform::Outcome* why) const override
    {
        return m_inner.fileSize(path, why);
    }
    std::vector<std::string> listFiles(const std::string& folder) const override
    {
        return m_inner.listFiles(folder);
    }
    platform::Outcome readFile(const std::string& path, std::string& bytes) const override
    {
        return m_inner.readFile(path, bytes);
    }
    platform::Outcome appendToFile(const std::string& path, const std::string& bytes, bool* opened) override
    {
        return m_inner.appendToFile(path, bytes, opened);
    }

    qint64 copyingNs = 0;

private:
    platform::FileSystem& m_inner;
};

class BenchPlatform final : public bench::SkippingPlatform {
public:
    BenchPlatform() : timedProcesses(native().processes()), timedFiles(native().files()) {}
    platform::FileSystem& files() override { return timedFiles; }
    platform::Processes& processes() override { return timedProcesses; }

    TimedProcesses timedProcesses;
    TimedFiles timedFiles;
};

bool writeText(const QString& path, const QString& text, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        return false;
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return true;
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A fresh copy of the sample installation for one update.
bool freshInstallation(const QString& sample, const QString& target)
{
    return run(QStringLiteral("rm"), {QStringLiteral("-rf"), target}) &&
           run(QStringLiteral("cp"), {QStringLiteral("-a"), sample, target});
}

// The script: per planned row fetch and unpack, then per row deregister, back up,
// copy and register, then the manifest, the cleaning and the backup folder, as the
// tool does. A plan line is "name;packed name;home folder below the installation
// folder;7z|copy;component|-".
const char* const kScript = R"(#!/bin/bash
set -euo pipefail
base=$1 dir=$2 plan=$3
upd=$dir/Update bak=$dir/UpdateBackup
mkdir -p "$upd"
curl -sf -o "$upd/Verzije.txt" "$base/Verzije.txt"
while IFS=';' read -r name packed sub how component; do
  rm -f "$upd/$packed"
  curl -sf -o "$upd/$packed" "$base/$packed"
  if [[ $how == 7z ]]; then
    rm -f "$upd/$name"
    7za e "$upd/$packed" -aoa -o"$upd" >/dev/null
  else
    cp "$upd/$packed" "$upd/$name"
  fi
done <"$plan"
mkdir -p "$bak"
while IFS=';' read -r name packed sub how component; do
  home=$dir/$sub
  if [[ $component == component ]]; then RegSvr32.exe "$home/$name" /u /s; fi
  if [[ -e $home/$name ]]; then mv "$home/$name" "$bak/$name"; fi
  cp "$upd/$name" "$home/$name"
  if [[ $component == component ]]; then RegSvr32.exe "$home/$name" /s; fi
done <"$plan"
cp "$dir/Verzije.txt" "$bak/Verzije.txt"
cp "$upd/Verzije.txt" "$dir/Verzije.txt"
rm -f "$upd"/*.7z "$upd"/*.exe "$upd"/*.enc "$upd"/*.chm "$upd"/*.dll "$upd"/*.ocx
rm -rf "$bak"
)";

struct ToolRound {
    double prepare = 0; // manifest and plan
    double fetch = 0;   // transfer and unpacking of every planned file
    double install = 0; // installation with the closing check
    double unpacking = 0;
    double pauses = 0;
    double total() const { return prepare + fetch + install; }
    double transfer() const { return prepare + fetch - unpacking; }
};

double seconds(qint64 ns)
{
    return ns / 1e9;
}

// Tool and script must leave the same installation behind (the journal aside).
bool sameInstallation(const QString& a, const QString& b)
{
    return run(QStringLiteral("diff"), {QStringLiteral("-r"), QStringLiteral("-q"), QStringLiteral("-x"),
                                        QStringLiteral("Update"), a, b});
}

} // namespace

int main(int argc, char** argv)
{
    // File names with č and ž: the tool, 7za and the script all read them as UTF-8.
    qputenv("LC_ALL", "C.UTF-8");
    // Help files then go to the installation's own Help folder.
    qunsetenv("WinDir");
    QCoreApplication app(argc, argv);
    bool mibOk = true;
    bool roundsOk = true;
    const int mib = argc > 1 ? QByteArray(argv[1]).toInt(&mibOk) : 8;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt(&roundsOk) : 3;
    if (!mibOk || !roundsOk || mib < 0 || mib > 4096 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_update [MiB added to each program 0..4096] [rounds]\n");
        return 1;
    }

    QTemporaryDir area;
    // BENCH_KEEP=1 leaves the folders, the journal among them, for a look afterwards.
    if (!qEnvironmentVariableIsEmpty("BENCH_KEEP")) {
        area.setAutoRemove(false);
        std::printf("working folder: %s\n", qPrintable(area.path()));
    }
    const QString root = area.path() + QLatin1Char('/');
    const QString sample = root + QStringLiteral("sample/");
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("config")).toLocal8Bit());
    QDir().mkpath(root + QStringLiteral("bin"));
    QDir().mkpath(root + QStringLiteral("config"));

    std::printf("building the sample release, %d MiB added to each program and component ...\n", mib);
    std::fflush(stdout);
    if (!run(QStringLiteral(TARVINO_SAMPLE_RELEASE),
             {QStringLiteral("--size-mib"), QString::number(mib), sample})) {
        std::fprintf(stderr, "the sample release could not be built\n");
        return 1;
    }

    // A registration tool that does nothing, for the tool and the script alike.
    const QString script = root + QStringLiteral("update.sh");
    if (!writeText(root + QStringLiteral("bin/RegSvr32.exe"), QStringLiteral("#!/bin/sh\nexit 0\n"), true) ||
        !writeText(script, QString::fromUtf8(kScript), true)) {
        std::fprintf(stderr, "cannot write the helper scripts\n");
        return 1;
    }
    qputenv("PATH", (root + QStringLiteral("bin:")).toLocal8Bit() + qgetenv("PATH"));

    Nginx nginx(sample + QStringLiteral("www"));
    const quint16 port = nginx.httpPort;
    if (!nginx.running) {
        std::fprintf(stderr, "nginx did not start: %s\n", qPrintable(nginx.error));
        return 1;
    }
    const auto stopServer = [&nginx] { nginx.stop(); };
    const QString baseAddress = QStringLiteral("http://127.0.0.1:%1/download/Verzija23").arg(port);

    BenchPlatform platform;
    auto settings = SettingsStore::openIniFile(root + QStringLiteral("Tarvino.ini"));
    bench::BenchWindow window(Answer::No);

    const QString toolFolder = root + QStringLiteral("tool");
    const QString scriptFolder = root + QStringLiteral("script");
    const QString planFile = root + QStringLiteral("plan.txt");
    ToolRound bestTool;
    double bestToolTotal = std::numeric_limits<double>::infinity();
    double bestScript = std::numeric_limits<double>::infinity();
    QStringList planned;
    bool failed = false;

    const auto runTool = [&]() -> bool {
        if (!freshInstallation(sample + QStringLiteral("install"), toolFolder))
            return false;
        AppState state;
        state.programFolder = toolFolder;
        state.installFolder = withSeparator(toolFolder);
        state.sources.regularOption = PrimaryServer;
        state.sources.primaryServer = QStringLiteral("127.0.0.1:") + QString::number(port);
        state.sources.useChilkat = false; // the engine that speaks plain http
        Context ctx{state, window, platform, *settings};
        InstallationHooks hooks;
        hooks.pripremiVerzijaTXT = [](Context& c) { return PripremiVerzijaTXT(c); };

        ToolRound r;
        const auto skippedBefore = platform.clockSkipping.skipped;
        QElapsedTimer timer;
        timer.start();
        if (!PripremiVerzijaTXT(ctx)) {
            std::fprintf(stderr, "PripremiVerzijaTXT found nothing to update\n");
            return false;
        }
        r.prepare = seconds(timer.nsecsElapsed());

        QStringList rows;
        for (const ManifestRow& row : plannedRows(state.plan)) {
            const QString& name = row.name;
            const QString kind = name.right(3);
            const QString home = kind == QLatin1String("enc")   ? state.scriptsFolder
                                 : kind == QLatin1String("chm") ? state.helpFolder
                                                                : state.installFolder;
            const bool copyOnly =
                kind == QLatin1String("chm") || kind == QLatin1String("enc") || kind == QLatin1String("ocx");
            const bool component = kind == QLatin1String("dll") || kind == QLatin1String("ocx");
            rows << QStringList{name, packedName(name), home.mid(state.installFolder.size()).chopped(1),
                                QLatin1String(copyOnly ? "copy" : "7z"),
                                QLatin1String(component ? "component" : "-")}
                        .join(QLatin1Char(';'));
        }
        planned = rows;

        const qint64 unpackBefore = platform.timedProcesses.unpackingNs;
        const qint64 copyBefore = platform.timedFiles.copyingNs;
        timer.restart();
        if (!SnimitiSaInterneta(ctx)) {
            std::fprintf(stderr, "SnimitiSaInterneta failed: %s\n", qPrintable(state.currentMessage));
            return false;
        }
        r.fetch = seconds(timer.nsecsElapsed());
        r.unpacking = seconds(platform.timedProcesses.unpackingNs - unpackBefore +
                              platform.timedFiles.copyingNs - copyBefore);

        timer.restart();
        if (!UpdatePrograma(ctx, hooks)) {
            std::fprintf(stderr, "UpdatePrograma failed: %s\n", qPrintable(state.currentMessage));
            return false;
        }
        r.install = seconds(timer.nsecsElapsed());
        r.pauses = (platform.clockSkipping.skipped - skippedBefore).count() / 1000.0;

        std::printf(
            "  tool:   %.3f s (transfer %.3f, unpacking %.3f, installation %.3f; pauses %.0f s skipped)\n",
            r.total(), r.transfer(), r.unpacking, r.install, r.pauses);
        if (r.total() < bestToolTotal) {
            bestToolTotal = r.total();
            bestTool = r;
        }
        return true;
    };

    const auto runScript = [&]() -> bool {
        if (planned.isEmpty() || !freshInstallation(sample + QStringLiteral("install"), scriptFolder))
            return false;
        if (!writeText(planFile, planned.join(QLatin1Char('\n')) + QLatin1Char('\n')))
            return false;
        QElapsedTimer timer;
        timer.start();
        if (!run(script, {baseAddress, scriptFolder, planFile})) {
            std::fprintf(stderr, "the script failed\n");
            return false;
        }
        const double s = seconds(timer.nsecsElapsed());
        std::printf("  script: %.3f s\n", s);
        bestScript = std::min(bestScript, s);
        return true;
    };

    // The tool goes first in the first round: the script needs its plan.
    for (int round = 0; round < rounds && !failed; ++round) {
        std::printf("round %d\n", round + 1);
        std::fflush(stdout);
        const bool ok = round % 2 == 0 ? runTool() && runScript() : runScript() && runTool();
        if (!ok) {
            std::fprintf(stderr, "round %d failed\n", round + 1);
            failed = true;
        } else if (!sameInstallation(toolFolder, scriptFolder)) {
            std::fprintf(stderr, "round %d: the tool and the script did not leave the same installation\n",
                         round + 1);
            failed = true;
        }
    }
    stopServer();
    if (failed)
        return 1;

    const double ratio = bestToolTotal / bestScript;
    std::printf("\n%d planned rows, programs and components %d MiB larger, best of %d rounds\n",
                static_cast<int>(planned.size()), mib, rounds);
    std::printf("tool without pauses:  %8.3f s\n", bestTool.total());
    std::printf("  transfer:           %8.3f s (manifest, plan and fetches)\n", bestTool.transfer());
    std::printf("  unpacking:          %8.3f s (7za runs and copies of unpacked rows)\n", bestTool.unpacking);
    std::printf("  installation:       %8.3f s (with the closing check)\n", bestTool.install);
    std::printf("  prescribed pauses:  %8.0f s (skipped, not spent)\n", bestTool.pauses);
    std::printf("script (curl, 7za, cp): %6.3f s\n", bestScript);
    std::printf("ratio: %.3f (limit %.2f)\n", ratio, kAllowedRatio);
    return ratio <= kAllowedRatio ? 0 : 2;
}
