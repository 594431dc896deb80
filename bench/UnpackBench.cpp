// Unpacking a large archive through Unzipaj against 7za run directly.
//
//   bench_unpack [size in MiB, default 100] [rounds, default 3]
//
// Packs one file of partly compressible bytes with 7za, then unpacks it through
// Unzipaj and with "7za e" in the same run and prints the best round of each and
// their ratio. The pause Unzipaj makes after unpacking is not counted: the clock
// given to it skips its sleeps.

#include "BenchSupport.h"
#include "core/Context.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "platform/Platform.h"
#include "transfer/Unpacking.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>

using namespace tarvino;

namespace {

// Short random words: compresses to roughly a third, so 7-Zip has real work to do.
bool writeContent(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator random(23);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 left = size; left > 0; left -= block.size()) {
        for (char& c : block)
            c = static_cast<char>('a' + random.bounded(16));
        file.write(block.constData(), std::min<qint64>(left, block.size()));
    }
    return true;
}

double bestOf(int rounds, const std::function<void()>& prepare, const std::function<bool()>& run)
{
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < rounds; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        const bool ok = run();
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!ok)
            return -1;
        best = std::min(best, seconds);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    const QString name = QStringLiteral("Knjiženje.exe");
    const QString packed = QStringLiteral("Knjizenje.7z");

    QTemporaryDir area;
    const QString program = area.filePath(QStringLiteral("Tarvino"));
    const QString update = program + QStringLiteral("/Update/");
    const QString work = area.filePath(QStringLiteral("work"));
    QDir().mkpath(update);
    QDir().mkpath(work);
    const qint64 size = mib << 20;
    if (!writeContent(work + QLatin1Char('/') + name, size)) {
        std::fprintf(stderr, "cannot write the content\n");
        return 1;
    }
    QProcess zip;
    zip.setWorkingDirectory(work);
    zip.setStandardOutputFile(QProcess::nullDevice());
    zip.start(QStringLiteral("7za"),
              {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-mx=3"), update + packed, name});
    if (!zip.waitForFinished(-1) || zip.exitCode() != 0) {
        std::fprintf(stderr, "7za could not pack the content\n");
        return 1;
    }
    QFile::remove(work + QLatin1Char('/') + name);
    const qint64 archiveSize = QFileInfo(update + packed).size();

    bench::SkippingPlatform platform;
    bench::BenchWindow window(Answer::No);
    AppState state;
    state.programFolder = QDir::toNativeSeparators(program);
    state.installFolder = withSeparator(state.programFolder);
    state.updateFolder = QDir::toNativeSeparators(update);
    auto settings = SettingsStore::openIniFile(area.filePath(QStringLiteral("Tarvino.ini")));
    Context ctx{state, window, platform, *settings};

    const QString target = update + name;
    const auto prepare = [&] { QFile::remove(target); };
    const auto unpacked = [&] { return QFileInfo(target).size() == size; };

    const double through = bestOf(rounds, prepare, [&] { return Unzipaj(ctx, name) && unpacked(); });
    const double direct = bestOf(rounds, prepare, [&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("7za"), {QStringLiteral("e"), update + packed, QStringLiteral("-aoa"),
                                        QStringLiteral("-o") + update});
        return p.waitForFinished(-1) && p.exitCode() == 0 && unpacked();
    });
    if (through < 0 || direct < 0) {
        std::fprintf(stderr, "an unpacking failed\n");
        return 1;
    }
    std::printf("archive %lld bytes of %lld MiB, best of %d\n", static_cast<long long>(archiveSize),
                static_cast<long long>(mib), rounds);
    std::printf("Unzipaj (pause of %lld s not counted): %.3f s\n",
                static_cast<long long>(platform.clockSkipping.skipped.count() / 1000 / rounds), through);
    std::printf("7za e directly:                       %.3f s\n", direct);
    std::printf("ratio: %.3f\n", through / direct);
    return 0;
}
