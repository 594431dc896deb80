#include "transfer/ManifestPreparation.h"

#include "core/Journal.h"
#include "core/TableFile.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"
#include "transfer/FileFetcher.h"

#include <QFileInfo>

namespace tarvino {
namespace {

const QString kPrefix = QStringLiteral("PripremiVerzijaTXT- ");
// The network lines carry two blanks behind the dash; journal readers match them so.
const QString kNetworkPrefix = QStringLiteral("PripremiVerzijaTXT-  ");
const QString kRemoteSupportPrefix = QStringLiteral("Download na lokaciju- ");
const QString kStopping = QStringLiteral(" Prekida se ažuriranje!");
const QString kNoNewVersionData = QStringLiteral("Podaci o novim verzijama na postoje na lokaciji: ");

bool exists(Context& ctx, const QString& path)
{
    return ctx.files().fileExists(native(path));
}

// An empty file, as the component stores an empty reply, is no program: fetched or copied again.
bool hasRemoteSupportProgram(Context& ctx)
{
    const std::optional<std::uint64_t> size =
        ctx.files().fileSize(native(ctx.state.installFolder + kRemoteSupportProgram));
    return size && *size > 0;
}

// Only blanks count, as the operators have always typed them; a tab is part of the text.
QString withoutBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

// A failure that stops the preparation: journal, box (with the reason behind it, if any), false.
bool stop(Context& ctx, const QString& journalPrefix, const QString& message, const QString& reason = {})
{
    ctx.state.currentMessage = message;
    LogirajGrešku(ctx, journalPrefix + message);
    ctx.window.message(withReason(message, reason), Icon::Exclamation);
    return false;
}

bool sameFile(const QString& a, const QString& b)
{
    const QString first = QFileInfo(a).canonicalFilePath();
    return !first.isEmpty() && first == QFileInfo(b).canonicalFilePath();
}

bool fetchFromInternet(Context& ctx)
{
    AppState& s = ctx.state;

    if (!hasRemoteSupportProgram(ctx)) {
        // Remote support is a convenience: without it the check goes on.
        if (DownFile(ctx, kRemoteSupportProgram, s.installFolder, kLargestRemoteSupportBytes)) {
            if (!hasRemoteSupportProgram(ctx)) {
                ctx.files().deleteFile(native(s.installFolder + kRemoteSupportProgram), /*force=*/true);
                LogirajGrešku(
                    ctx, kRemoteSupportPrefix +
                             QStringLiteral("Učitao sa interneta TeamViewerQS.exe, ali one ne postoje u ") +
                             s.installFolder);
            }
        } else {
            s.currentMessage =
                QStringLiteral("Nije moguće učitati TeamViewerQS.exe sa interneta! Provjerite vezu sa "
                               "internetom i pokušajte ponovno!");
            LogirajGrešku(ctx, kRemoteSupportPrefix + s.currentMessage);
        }
    }

    // An empty manifest is no release: the component engine stores it, the transfer
    // control refuses it; both end as the same failed fetch.
    bool fetched = DownFile(ctx, kManifestFile, s.updateFolder, kLargestManifestBytes);
    if (fetched && ctx.files().fileSize(native(s.updateFolder + kManifestFile)) == std::uint64_t{0}) {
        LogirajGrešku(ctx, QStringLiteral("Ništa nije primljeno (dužina 0). Download: ") + kManifestFile);
        ctx.files().deleteFile(native(s.updateFolder + kManifestFile), true);
        fetched = false;
    }
    if (!fetched) {
        return stop(ctx, kPrefix,
                    QStringLiteral(
                        "Nije moguće učitati kontrolnu datoteku sa interneta! Provjerite vezu sa internetom "
                        "i pokušajte ponovno!") +
                        kStopping);
    }
    if (!exists(ctx, s.updateFolder + kManifestFile)) {
        LogirajGrešku(ctx, kPrefix + QStringLiteral("Učitao sa interneta Verzije.txt ali one ne postoje u ") +
                               s.updateFolder);
        ctx.window.message(kNoNewVersionData + s.updateFolder, Icon::None);
        return false;
    }
    return true;
}

bool copyFromNetwork(Context& ctx, const QString& folder)
{
    AppState& s = ctx.state;
    platform::FileSystem& files = ctx.files();

    if (withoutBlanks(folder).isEmpty()) {
        ctx.window.message(QStringLiteral("Potrebno je unijeti mrežnu lokaciju odakle se programi ažuriraju"),
                           Icon::Exclamation, QStringLiteral("Unesite mrežnu lokaciju"));
        return false;
    }
    // The folder is used as typed: a missing separator makes the manifest "missing".
    const QString source = folder + kManifestFile;
    if (!exists(ctx, source)) {
        return stop(ctx, kNetworkPrefix,
                    QStringLiteral("Ne postoji kontrolna datoteka na mrežnoj lokaciji: ") + folder +
                        kStopping);
    }

    if (!hasRemoteSupportProgram(ctx) && exists(ctx, folder + kRemoteSupportProgram))
        files.copyFile(native(folder + kRemoteSupportProgram),
                       native(s.installFolder + kRemoteSupportProgram));

    const QString target = s.updateFolder + kManifestFile;
    // A network folder pointed at our own Update folder: deleting the "old copy"
    // would delete the source itself.
    if (sameFile(source, target))
        return true;

    if (!files.deleteFile(native(target), /*force=*/false)) {
        LogirajGrešku(ctx, QStringLiteral("TV-PripremiVerzijaTXT- ") +
                               QStringLiteral("Greška u brisanju datoteke ") + s.updateFolder +
                               kManifestFile);
    }
    if (!files.copyFile(native(source), native(target))) {
        return stop(ctx, kPrefix,
                    QStringLiteral(
                        "Nije moguće učitati kontrolnu datoteku sa mrežne lokacije! Provjerite i pokušajte "
                        "ponovno!") +
                        kStopping);
    }
    if (!exists(ctx, target)) {
        LogirajGrešku(ctx,
                      kNetworkPrefix +
                          QStringLiteral("Kopirao sa mrežne lokacije Verzije.txt, ali ona ne postoji u ") +
                          folder);
        ctx.window.message(kNoNewVersionData + folder, Icon::None);
        return false;
    }
    return true;
}

} // namespace

bool usesNetworkSource(const AppState& state)
{
    const int option = state.trialRun ? state.sources.trialOption : state.sources.regularOption;
    return option == NetworkFolder;
}

QString networkSourceFolder(const AppState& state)
{
    return state.sources.folders[state.trialRun ? TrialFolderBox : RegularFolderBox];
}

bool PripremiVerzijaTXT(Context& ctx)
{
    AppState& s = ctx.state;
    const QString networkFolder = networkSourceFolder(s);

    IzvediDirektorije(ctx);
    if (const QString linked = linkedFolderMessage(ctx, {s.updateFolder}); !linked.isEmpty())
        return stop(ctx, kPrefix, linked);

    if (!ctx.files().folderExists(native(s.updateFolder)) &&
        !ctx.files().createFolder(native(s.updateFolder))) {
        ctx.window.message(
            QStringLiteral("Nastala je greška u kreiranju Update direktorije!") + CRLF +
                QStringLiteral("Program za automatsko ažuriranje novih programa mora prestati sa radom.") +
                CRLF + QStringLiteral("Vjerojatno nemate administratorska prava ili je UAC uključen."),
            Icon::Exclamation);
        return false;
    }

    if (!exists(ctx, s.installFolder + kManifestFile)) {
        return stop(
            ctx, kPrefix,
            QStringLiteral("Ne postoji datoteka ") + s.installFolder +
                QStringLiteral("Verzije.txt Program za automatsko ažuriranje novih programa mora prestati sa "
                               "ažuriranjem. Molimo da o ovoj poruci izvjestite Tarvino tim za podršku."));
    }
    QString reason;
    if (!UčitajUMatricu(ctx, s.installed, s.installFolder + kManifestFile, &reason)) {
        return stop(
            ctx, kPrefix,
            QStringLiteral("PripremiVerzijaTXT - Desila se greška u čitanju zapisa u matricu. Prekida se "
                           "ažuriranje!"),
            reason);
    }

    const bool present = usesNetworkSource(s) ? copyFromNetwork(ctx, networkFolder) : fetchFromInternet(ctx);
    if (!present)
        return false;

    const bool result = NapraviRsŠtoTrebaAžurirati(ctx);
    ctx.window.setUpdateEnabled(result);
    return result;
}

} // namespace tarvino
