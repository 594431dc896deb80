#include "distribution/Distribution.h"

#include "core/Journal.h"
#include "core/TableFile.h"
#include "core/Text.h"
#include "core/WindowServices.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"
#include "transfer/FileFetcher.h"

#include <optional>

namespace tarvino {
namespace {

// Two prefixes: the manifests use the first, the rows the second.
const QString kHead = QStringLiteral("Download na lokaciju- ");
const QString kRowHead = QStringLiteral("Download na lokaciju - ");
const QString kStop = QStringLiteral(" Prekida se ažuriranje!");

constexpr double kProgressMaximum = 30;
// The bar shows that the copy is alive, not how much is done: it goes round.
constexpr double kProgressLast = 29;

struct Run {
    Context& ctx;
    bool interactive;
    QString folder;
    QString staging;
    bool allCopy = false;
    bool fetchedAny = false;
    bool databaseChangeFetched = false;

    void tell(const QString& text, Icon icon = Icon::Exclamation) const
    {
        if (interactive)
            ctx.window.message(text, icon);
    }
    /// Current message, journal behind `head`, message box: a failure of the manifests.
    bool fail(const QString& head, const QString& message, const QString& reason = {}) const
    {
        ctx.state.currentMessage = message;
        LogirajGrešku(ctx, head + message);
        tell(withReason(message, reason));
        return false;
    }
};

// The folder text, the folder and its "Update" folder.
bool prepareFolders(Run& run)
{
    Context& ctx = run.ctx;
    QString& box = ctx.state.sources.folders[DistributionFolderBox];
    // An empty box would otherwise become the root of the drive.
    if (!box.trimmed().isEmpty() && !box.endsWith(separator())) {
        box += separator();
        ctx.window.showFolderText(DistributionFolderBox, box);
    }
    run.folder = box;
    if (box.trimmed().isEmpty() || !ctx.files().folderExists(native(run.folder))) {
        run.tell(QStringLiteral("Ne postoji unesena lokacija za download programa: ") + run.folder + CRLF +
                 QStringLiteral("Program ne može nastaviti sa presnimavanjem programa na zadanu lokaciju!"));
        return false;
    }

    run.staging = run.folder + QStringLiteral("Update") + separator();
    if (const QString linked = linkedFolderMessage(ctx, {run.folder, run.staging}); !linked.isEmpty())
        return run.fail(QStringLiteral("Download na lokaciju- "), linked);
    if (!ctx.files().folderExists(native(run.staging)) && !ctx.files().createFolder(native(run.staging))) {
        run.tell(QStringLiteral(
            "Nastala je greška u kreiranju Update direktorije! Program za skidanje novih programa "
            "mora prestati sa radom. Vjerojatno nemate administratorska prava."));
        ctx.platform.system().endProgram(0);
    }
    return true;
}

// The two manifests into the "Update" folder, the support program, the plan matrix.
bool fetchManifests(Run& run)
{
    Context& ctx = run.ctx;
    platform::FileSystem& files = ctx.files();

    if (!DownFile(ctx, kManifestFile, run.staging, kLargestManifestBytes)) {
        return run.fail(
            kHead, QStringLiteral("Nije moguće učitati kontrolnu datoteku sa interneta! Provjerite vezu sa "
                                  "internetom i pokušajte ponovno!") +
                       kStop);
    }
    if (!files.fileExists(native(run.staging + kManifestFile))) {
        LogirajGrešku(ctx, kHead + QStringLiteral("Učitao sa interneta Verzije.txt ali one ne postoje u ") +
                               run.staging);
        run.tell(QStringLiteral("Podaci o novim verzijama na postoje na lokaciji: ") + run.staging,
                 Icon::None);
        return false;
    }

    if (!DownFile(ctx, kSecondManifestFile, run.staging, kLargestManifestBytes)) {
        return run.fail(
            kHead, QStringLiteral("Nije moguće učitati kontrolnu datoteku sa interneta VerzijeU! Provjerite "
                                  "vezu sa internetom i pokušajte ponovno!") +
                       kStop);
    }
    if (!files.fileExists(native(run.staging + kSecondManifestFile)))
        LogirajGrešku(ctx, kHead + QStringLiteral("Učitao sa interneta VerzijeU.txt ali one ne postoje u ") +
                               run.staging);

    if (!files.fileExists(native(run.folder + kRemoteSupportProgram))) {
        if (!DownFile(ctx, kRemoteSupportProgram, run.folder, kLargestRemoteSupportBytes)) {
            // Only a convenience for the operator: the release goes on without it.
            run.fail(kHead,
                     QStringLiteral("Nije moguće učitati TeamViewerQS.exe sa interneta! Provjerite vezu sa "
                                    "internetom i pokušajte ponovno!"));
        } else if (!files.fileExists(native(run.folder + kRemoteSupportProgram))) {
            LogirajGrešku(
                ctx, kHead + QStringLiteral("Učitao sa interneta TeamViewerQS.exe, ali one ne postoje u ") +
                         run.folder);
        }
    }

    QString reason;
    if (!UčitajUMatricu(ctx, ctx.state.plan, run.staging + kManifestFile, &reason)) {
        return run.fail(QString(),
                        QStringLiteral("DownloadNaLokaciju - Desila se greška u čitanju zapisa u matricu.") +
                            kStop,
                        reason);
    }

    if (!files.folderExists(native(run.folder))) {
        run.tell(QStringLiteral("Ne postoji direktorija: ") + run.folder +
                     QStringLiteral(" ili niste spojeni!") + CRLF +
                     QStringLiteral("Prekida se sa prebacivanjem!"),
                 Icon::None);
        return false;
    }
    return true;
}

// Compare with the folder's own manifest, or copy everything.
bool chooseMode(Run& run)
{
    Context& ctx = run.ctx;
    AppState& s = ctx.state;
    if (!ctx.files().fileExists(native(run.folder + kManifestFile))) {
        // Asked in an unattended run too: copying a whole release is not done unasked.
        const Answer answer =
            ctx.window.question(QStringLiteral("Ne postoji datoteka: ") + run.folder +
                                QStringLiteral("Verzije.txt. Kopiraju se sve datoteke. Želite li "
                                               "nastaviti sa download-om?"));
        if (answer == Answer::No)
            return false;
        run.allCopy = true;
        OčistiMatricu(s.installed);
        return true;
    }
    if (!UčitajUMatricu(ctx, s.installed, run.folder + kManifestFile)) {
        s.currentMessage =
            QStringLiteral("DownloadNaLokaciju - Desila se greška u čitanju zapisa u matricu. Kopiraju se "
                           "sve datoteke! Želite li nastaviti? ");
        LogirajGrešku(ctx, s.currentMessage);
        run.allCopy = true;
        return true;
    }
    run.allCopy = false;
    return true;
}

// Whether a row the folder's manifest knows must be fetched again.
bool mustFetchAgain(Run& run, const ManifestRow& row, const ManifestRow& installed, const QString& packed)
{
    AppState& s = run.ctx.state;
    const QString kind = row.kind();
    bool must = row.newerThan(installed);
    if (!must) {
        const std::int64_t expected = row.packedBytes();
        const std::optional<std::uint64_t> size = run.ctx.files().fileSize(native(run.folder + packed));
        if (!size) {
            appendLine(s.errorMessages, QStringLiteral("Nije nađena 7z datoteka: ") + packed +
                                            QStringLiteral(" pa se mora napraviti"));
            must = true;
        } else if (!hasStatedSize(*size, row.packedSize)) {
            appendLine(s.errorMessages, QStringLiteral("Nađena 7z datoteka: ") + packed +
                                            QStringLiteral(" ali je veličina različita ") +
                                            QString::number(*size) + QStringLiteral(" Novi: ") +
                                            QString::number(expected) +
                                            QStringLiteral(" pa će se prekopirati"));
            must = true;
        }
    }

    // Scripts and controls go out again with a new database-change component, help
    // files with anything new.
    if ((kind == QStringLiteral("enc") || kind == QStringLiteral("ocx")) && run.databaseChangeFetched)
        must = true;
    if (kind == QStringLiteral("chm") && run.fetchedAny)
        must = true;
    return must;
}

bool fetchPacked(Run& run, const ManifestRow& row, const QString& packed)
{
    AppState& s = run.ctx.state;
    if (!DownFile(run.ctx, packed, run.folder, row.packedBytes()))
        return false;
    // Counted once the file is there: a failed fetch brought nothing.
    s.totalTransferred += row.packedBytes();
    run.fetchedAny = true;
    if (row.name == kDatabaseChangeComponent)
        run.databaseChangeFetched = true;
    return true;
}

// The packed file in the folder against the row's packed size.
bool checkSize(Run& run, const ManifestRow& row, const QString& packed)
{
    Context& ctx = run.ctx;
    AppState& s = ctx.state;
    const std::optional<std::uint64_t> size = ctx.files().fileSize(native(run.folder + packed));
    if (!size) {
        s.currentMessage = QStringLiteral("Greška u provjeri veličine datoteke-dohvatu datoteke ") + packed +
                           QStringLiteral(".") + kStop;
        LogirajGrešku(ctx, kRowHead + s.currentMessage);
        appendLine(s.errorMessages, s.currentMessage);
        run.tell(s.currentMessage);
        return false;
    }
    const std::int64_t expected = row.packedBytes();
    const QString sizes = QStringLiteral("Veličina presnimljene datoteke ") + packed +
                          QStringLiteral(" je ") + QString::number(*size) +
                          QStringLiteral(", a veličina originalne datoteke je ") + QString::number(expected);
    if (hasStatedSize(*size, row.packedSize)) {
        s.currentMessage = sizes + QStringLiteral(". OK.");
        LogirajGrešku(ctx, kRowHead + s.currentMessage);
        return true;
    }
    s.currentMessage =
        sizes + QStringLiteral(" i one nisu iste. Moguća greška u prijenosu datoteke. Ponovite postupak. "
                               "Nastaviće se prijenos za ostale datoteke!");
    LogirajGrešku(ctx, kRowHead + s.currentMessage);
    appendLine(s.errorMessages, s.currentMessage);
    run.tell(s.currentMessage);
    return true;
}

// Every named row of the fetched manifest, in its order.
bool processRows(Run& run)
{
    Context& ctx = run.ctx;
    AppState& s = ctx.state;
    for (const ManifestRow& row : namedRows(s.plan)) {
        const QString& name = row.name;
        const QString packed = packedName(name);

        if (run.allCopy) {
            if (!fetchPacked(run, row, packed))
                return false;
        } else if (const ManifestRow installed = findManifestRow(s.installed, name); installed.index < 0) {
            appendLine(s.errorMessages, QStringLiteral("Nije pronađen zapis o starim verzija za :") + name +
                                            QStringLiteral(" pa se mora kopirati"));
            if (!fetchPacked(run, row, packed))
                return false;
        } else if (mustFetchAgain(run, row, installed, packed)) {
            // A read-only copy would refuse to be replaced.
            ctx.files().deleteFile(native(run.folder + packed), /*force=*/true);
            if (!fetchPacked(run, row, packed))
                return false;
        } else {
            appendLine(s.actionMessages, QStringLiteral("Ista verzija: ") + name);
        }

        if (!checkSize(run, row, packed))
            return false;

        s.progressValue = s.progressValue + 1 > kProgressLast ? 1 : s.progressValue + 1;
        ctx.window.setProgress(s.progressValue);
    }
    return true;
}

// The manifests last. Each copy reports only its own outcome; without the new `Verzije.txt`
// the folder's archives do not match its manifest, so that one decides the result.
bool copyManifests(Run& run)
{
    Context& ctx = run.ctx;
    AppState& s = ctx.state;
    bool manifestInPlace = true;
    for (const QString& name : {kManifestFile, kSecondManifestFile}) {
        // Workstations read the folder at any time: a manifest is the old one or the whole new one.
        const platform::Outcome copied =
            ctx.files().copyInOneStep(native(run.staging + name), native(run.folder + name));
        if (copied) {
            appendLine(s.actionMessages, QStringLiteral("Kopirano ") + name);
        } else {
            appendLine(s.errorMessages, QStringLiteral("Greška u kopiranju ") + name + QStringLiteral(" ") +
                                            fromNative(copied.description));
            if (name == kManifestFile)
                manifestInPlace = false;
        }
    }
    return manifestInPlace;
}

} // namespace

bool DownloadNaLokaciju(Context& ctx, bool interactive)
{
    AppState& s = ctx.state;
    Run run{ctx, interactive, {}, {}};

    // The journal never creates its folder and only the check does; on a workstation
    // that has only ever distributed, every journal line would otherwise be a box.
    if (!ctx.files().folderExists(native(journalFolder(s))))
        ctx.files().createFolder(native(journalFolder(s)));

    if (!prepareFolders(run) || !fetchManifests(run) || !chooseMode(run))
        return false;

    s.transferTimeText.clear();
    ctx.window.setTransferTime(s.transferTimeText);
    s.transferStart = ctx.clock().now().secondsSinceMidnight();
    ctx.window.startTransferTimer();
    PostaviProgBar(ctx, 0, kProgressMaximum);
    s.actionMessages.clear();
    s.errorMessages.clear();
    s.totalTransferred = 0;

    // A failure here leaves the panes and the folder's manifests as they were.
    if (!processRows(run))
        return false;

    const bool result = copyManifests(run);
    ctx.window.stopTransferTimer();
    ctx.window.hideProgress();
    showCollectedMessages(ctx);
    return result;
}

bool PrenesiNaLokaciju(Context& ctx, bool interactive)
{
    const bool ok = DownloadNaLokaciju(ctx, interactive);
    ctx.window.stopTransferTimer();
    ctx.window.hideProgress();
    if (!interactive)
        return ok;

    const AppState& s = ctx.state;
    const QString folder = s.sources.folders[DistributionFolderBox];
    const QString total = QStringLiteral("Ukupno prenesno: ") + QString::number(s.totalTransferred) +
                          QStringLiteral(" bajtova.");
    if (ok) {
        ctx.window.message(QStringLiteral("Uspješno skinuti programi na lokaciju ") + folder +
                               QStringLiteral(" ") + CRLF + ctx.state.transferTimeText + CRLF + total + CRLF +
                               QStringLiteral("Sada je moguće ažuriranje za ostala računala!"),
                           Icon::Exclamation);
    } else {
        ctx.window.message(
            QStringLiteral("Upozorenje. Nisu uspješno skinuti programi na lokaciju ") + folder +
                QStringLiteral(" pa ažuriranje sa te lokacije nije preporučljivo. Otklonite nastalu "
                               "grešku ili kontaktirajte Tarvino.") +
                CRLF +
                QStringLiteral("Tek kada prijenos prođe bez problema moguće je koristiti ovu "
                               "direktoriju za ažuriranje programa!") +
                CRLF + ctx.state.transferTimeText + CRLF + total,
            Icon::Exclamation);
    }
    return ok;
}

} // namespace tarvino
