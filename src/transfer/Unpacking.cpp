#include "transfer/Unpacking.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "core/WindowServices.h"
#include "plan/FolderLayout.h"
#include "platform/TextRules.h"

#include <optional>

namespace tarvino {
namespace {


// Where an archive is unpacked before its one planned file is taken out of it.
const QString kUnpackFolder = QStringLiteral("Raspakiranje");

// 7-Zip's own codes: 0 done, 1 only warnings; from 2 on the data did not come out whole.
constexpr int kFirstFatalExitCode = 2;

bool isCopyOnly(const QString& extension)
{
    return extension == QLatin1String("chm") || extension == QLatin1String("enc") ||
           extension == QLatin1String("ocx");
}

// Runs the command without a window until it ends; the window keeps its events meanwhile.
platform::Started runAndWait(Context& ctx, const QString& commandLine)
{
    using namespace std::chrono_literals;
    platform::Processes& processes = ctx.platform.processes();
    platform::Started started = processes.startHidden(native(commandLine));
    if (!started.outcome)
        return started;
    while (!processes.waitFor(started.processId, 50ms))
        ctx.window.processEvents();
    return started;
}

// The "UNZIP: " failure: current message, collected errors, journal; false.
bool failed(Context& ctx, const QString& detail)
{
    ctx.state.currentMessage = QStringLiteral("UNZIP: ") + detail;
    appendLine(ctx.state.errorMessages, ctx.state.currentMessage);
    LogirajGrešku(ctx, QStringLiteral("Unzipaj- Greška ") + ctx.state.currentMessage);
    return false;
}

} // namespace

int unpackPauseSeconds(std::uint64_t bytes)
{
    const std::uint64_t whole = bytes / 1000000;
    const std::uint64_t rest = bytes % 1000000;
    std::uint64_t seconds = whole;
    if (rest > 500000 || (rest == 500000 && whole % 2 == 1))
        ++seconds;
    return static_cast<int>(seconds);
}

QString unpackCommandLine(Context& ctx, const QString& packed, const QString& into)
{
    const QString sevenZip = QString::fromLatin1(platform::sevenZipProgram());
    const QString beside = withSeparator(ctx.state.programFolder) + sevenZip;
    // Shipped beside the tool on Windows; elsewhere the system's 7-Zip will do.
    const QString program = ctx.files().fileExists(native(beside)) ? beside : sevenZip;
    // Names as separate arguments behind "--", matched as they stand (-spd): none can be a switch.
    return fromNative(
        platform::commandLineOf({native(program), "e", "-aoa", "-spd", native(QStringLiteral("-o") + into),
                                 "--", native(ctx.state.updateFolder + packed)}));
}

bool Unzipaj(Context& ctx, const QString& fileName)
{
    AppState& s = ctx.state;
    platform::FileSystem& files = ctx.files();

    s.currentMessage = QStringLiteral("Unzip ") + fileName;
    LogirajGrešku(ctx, QStringLiteral("Unzipaj- Početak ") + fileName);
    const QString packed = packedName(fileName);
    StatusAkcija(ctx, QStringLiteral("UnZipanje datoteke: ") + packed);

    const QString packedPath = s.updateFolder + packed;
    const QString targetPath = s.updateFolder + fileName;
    const std::optional<std::uint64_t> packedSize = files.fileSize(native(packedPath));
    const QString extension = extensionOf(fileName);

    // The fetched manifest and the journal lie in the same folder; no row may replace them.
    for (const QString& own : {kManifestFile, kJournalFile, kUnpackFolder}) {
        if (platform::equalsIgnoringCase(native(fileName), native(own)))
            return failed(ctx, packedPath + QStringLiteral(" - ime ") + fileName +
                                   QStringLiteral(" pripada programu za ažuriranje"));
    }

    if (isCopyOnly(extension)) {
        if (files.fileExists(native(targetPath)) && !files.deleteFile(native(targetPath), true))
            LogirajGrešku(ctx, QStringLiteral("Unzip - brisanje datoteke: ") + s.updateFolder + fileName);
        if (!files.copyFile(native(packedPath), native(targetPath)))
            LogirajGrešku(ctx, QStringLiteral("Unzip - samo kopiranje datoteke: ") + packedPath);
    } else {
        // A file left by an earlier run must not pass the size check in place of this one,
        // and a link planted there must not be written through.
        const platform::Outcome removed = files.deleteFile(native(targetPath), true);
        if (!removed && !removed.notFound())
            LogirajGrešku(ctx, QStringLiteral("Unzip - brisanje datoteke: ") + s.updateFolder + fileName);

        // Everything comes out into a folder of its own; only the planned file leaves it.
        const QString into = s.updateFolder + kUnpackFolder;
        files.removeFolder(native(into));
        const platform::Outcome created = files.createFolder(native(into));
        if (!created)
            return failed(ctx, packedPath + fromNative(created.description));

        const QString commandLine = unpackCommandLine(ctx, packed, into);
        LogirajGrešku(ctx, QStringLiteral("Unzipaj- ") + commandLine);
        const platform::Started run = runAndWait(ctx, commandLine);
        if (!run.outcome) {
            files.removeFolder(native(into));
            return failed(ctx, packedPath + fromNative(run.outcome.description));
        }
        appendLine(s.actionMessages, QStringLiteral("UNZIP: ") + packedPath);

        // A damaged archive still leaves a file of full length behind: it stays out, so
        // that the check of the unpacked files stops the update instead of installing it.
        const std::optional<int> exitCode = ctx.platform.processes().exitCode(run.processId);
        const bool whole = !exitCode || *exitCode < kFirstFatalExitCode;
        if (!whole) {
            const QString failure = QStringLiteral("UNZIP: ") + packedPath +
                                    QStringLiteral(" - 7-Zip je završio s greškom ") +
                                    QString::number(*exitCode);
            appendLine(s.errorMessages, failure);
            LogirajGrešku(ctx, QStringLiteral("Unzipaj- Greška ") + failure);
        }
        const QString inFolder = into + separator();
        for (const std::string& member : files.listFiles(native(inFolder))) {
            if (fromNative(member) != fileName)
                LogirajGrešku(ctx, QStringLiteral("Unzipaj- Zanemarena datoteka iz arhive ") + packed +
                                       QStringLiteral(": ") + fromNative(member));
        }
        // A link in the archive is not the file: fileExists takes plain files only.
        if (whole && files.fileExists(native(inFolder + fileName))) {
            const platform::Outcome moved = files.moveFile(native(inFolder + fileName), native(targetPath));
            if (!moved)
                LogirajGrešku(ctx, QStringLiteral("Unzipaj- Greška ") + targetPath + QLatin1Char(' ') +
                                       fromNative(moved.description));
        }
        files.removeFolder(native(into));
    }

    if (extension == QLatin1String("ocx") || !isCopyOnly(extension)) {
        const int seconds = packedSize ? unpackPauseSeconds(*packedSize) : 0;
        if (seconds > 0)
            Čekaj(ctx, seconds);
    }

    StatusAkcija(ctx, QString());
    LogirajGrešku(ctx, QStringLiteral("Unzipaj- Kraj ") + fileName);
    return true;
}

} // namespace tarvino
