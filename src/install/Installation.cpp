#include "install/Installation.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "core/WindowServices.h"
#include "install/ProgramGuard.h"
#include "install/Registration.h"
#include "install/Rollback.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"

#include <algorithm>

namespace tarvino {
namespace {

const QString kPrefix = QStringLiteral("UpdatePrograma - ");
const QString kShortPrefix = QStringLiteral("UpdatePrograma- ");
const QString kErrorIs = QStringLiteral("Poruka o grešci je: ");
const QString kGiveUp = QStringLiteral(
    "Program ne može razriješiti problem te će pokušati vratiti staru verziju programa. Ukoliko ne uspije "
    "najvjerojatnije ćete morati reinstalirati program!");
const QString kNoBuildComputer = QStringLiteral("TROVA-DVD");
// Room beyond the new files: the manifests and what the file system needs for itself.
constexpr std::uint64_t kFreeSpaceMargin = 4 << 20;

QString described(const platform::Outcome& outcome)
{
    return fromNative(outcome.description);
}

// A step: the current message, status panel 1 and the journal.
void announce(Context& ctx, const QString& text, bool status = true, bool journal = true)
{
    ctx.state.currentMessage = text;
    if (status)
        StatusAkcija(ctx, text);
    if (journal)
        LogirajGrešku(ctx, kPrefix + text);
}

QString inUseDetail(const QString& head, const QString& name, const platform::Outcome& outcome)
{
    return head + name + QStringLiteral("Najvjerojatnije se koristi. ") + CRLF + kErrorIs +
           described(outcome);
}

/// A file in use: the operator may close the program and try once more.
bool askRetry(Context& ctx, const QString& head, const QString& name, const platform::Outcome& outcome)
{
    const QString detail = inUseDetail(head, name, outcome);
    ctx.state.currentMessage = detail;
    LogirajGrešku(ctx, kPrefix + detail);
    return ctx.window.question(
               detail + CRLF +
               QStringLiteral(
                   "Preporuka je da se prestane koristiti navedeni program i da se pokuša još jednom. "
                   "Jeste li izašli iz programa i želite li nastaviti sa instalacijom (Da - Yes) ili "
                   "želite prekinuti sa instalacijom (Ne - No)?")) == Answer::Yes;
}

/// The retried move failed too: the installation gives up.
void retryFailed(Context& ctx, const QString& head, const QString& name, const platform::Outcome& outcome)
{
    const QString detail = inUseDetail(head, name, outcome);
    ctx.state.currentMessage = detail;
    LogirajGrešku(ctx, kPrefix + detail);
    ctx.window.message(detail + CRLF + kGiveUp, Icon::Critical);
}

/// A move or a copy failed: the installation gives up.
void stepFailed(Context& ctx, const QString& head, const QString& name, const platform::Outcome& outcome)
{
    const QString detail = head + name + CRLF + kErrorIs + described(outcome);
    ctx.state.currentMessage = detail;
    LogirajGrešku(ctx, kPrefix + detail);
    ctx.window.message(detail + CRLF + kGiveUp, Icon::Critical);
}

/// The registration tool could not be started; it journalled that itself.
void registrationFailed(Context& ctx, const QString& head, const QString& name)
{
    ctx.window.message(head + name + CRLF + ctx.state.currentMessage + CRLF + kGiveUp, Icon::Critical);
}

struct BackupTexts {
    QString announce;
    QString retryAnnounce; // empty: no retry question, a failure gives up at once
    QString head;
    QString retryHead;
};

enum class Backup { Failed, Done, NewItem };

std::string recordPath(const AppState& s)
{
    return native(s.installFolder + kInstallationRecord);
}

/// Notes in the record that the item's home file is in the backup folder, or that
/// there was none: after a kill, the next start knows what to put back.
platform::Outcome note(Context& ctx, const QString& name)
{
    return ctx.files().appendToFile(recordPath(ctx.state), native(name + QLatin1Char('\n')));
}

Backup noted(Context& ctx, const QString& name, Backup backup, const QString& head)
{
    const platform::Outcome written = note(ctx, name);
    if (written)
        return backup;
    stepFailed(ctx, head, name, written);
    return Backup::Failed;
}

/// Moves the installed file into the backup folder. An absent file is a new item.
Backup backUp(Context& ctx, const QString& home, const QString& name, const BackupTexts& texts)
{
    platform::FileSystem& files = ctx.files();
    const std::string from = native(home + name);
    const std::string to = native(ctx.state.backupFolder + name);

    announce(ctx, texts.announce + name);
    const platform::Outcome moved = files.moveFile(from, to);
    if (moved)
        return noted(ctx, name, Backup::Done, texts.head);
    if (moved.notFound())
        return noted(ctx, name, Backup::NewItem, texts.head);
    if (texts.retryAnnounce.isEmpty()) {
        stepFailed(ctx, texts.head, name, moved);
        return Backup::Failed;
    }
    if (!askRetry(ctx, texts.head, name, moved))
        return Backup::Failed;
    announce(ctx, texts.retryAnnounce + name);
    const platform::Outcome again = files.moveFile(from, to);
    if (again)
        return noted(ctx, name, Backup::Done, texts.retryHead);
    retryFailed(ctx, texts.retryHead, name, again);
    return Backup::Failed;
}

bool copyNew(Context& ctx, const QString& home, const QString& name, Backup backup, const QString& step,
             const QString& head)
{
    announce(ctx, step + name);
    const std::string target = native(home + name);
    const platform::Outcome copied = ctx.files().copyFile(native(ctx.state.updateFolder + name), target);
    if (copied)
        return true;
    stepFailed(ctx, head, name, copied);
    // The rollback overwrites a half-written copy with the old file; a new item has
    // none, so what the failed copy left is removed here.
    if (backup == Backup::NewItem)
        ctx.files().deleteFile(target, true);
    return false;
}

bool installProgram(Context& ctx, const QString& name)
{
    const QString& home = ctx.state.installFolder;
    const Backup backup =
        backUp(ctx, home, name,
               {QStringLiteral("Backup programa: "), QStringLiteral("Ponovni backup programa: "),
                QStringLiteral("Nastala je greška u premještanju programa: "),
                QStringLiteral("Nastala je greška u ponovnom premještanju programa: ")});
    return backup != Backup::Failed &&
           copyNew(ctx, home, name, backup, QStringLiteral("Kopiranje novog programa: "),
                   QStringLiteral("Nastala je greška u kopiranju novog programa: "));
}

bool installComponent(Context& ctx, const QString& name)
{
    const QString& home = ctx.state.installFolder;
    announce(ctx, QStringLiteral("Deregistracija komponente: ") + name, false, true);
    // Killed before the component reaches the backup folder, it would stay at home unregistered.
    if (const platform::Outcome written = note(ctx, kUnregisteredMark + name); !written) {
        stepFailed(ctx, QStringLiteral("Desila se greška u deregistraciji komponente: "), name, written);
        return false;
    }
    if (!Deregistriraj(ctx, home, name)) {
        registrationFailed(ctx, QStringLiteral("Desila se greška u deregistraciji komponente: "), name);
        return false;
    }
    const Backup backup =
        backUp(ctx, home, name,
               {QStringLiteral("Backup komponente: "), QStringLiteral("Ponovni backup komponente: "),
                QStringLiteral("Nastala je greška u premještanju komponente: "),
                QStringLiteral("Nastala je greška u ponovnom premještanju komponente: ")});
    if (backup == Backup::Failed) {
        // The old component is still in place but no longer registered, and the
        // rollback only knows what reached the backup folder.
        if (ctx.files().fileExists(native(home + name)))
            Registriraj(ctx, home, name);
        return false;
    }
    if (!copyNew(ctx, home, name, backup, QStringLiteral("Kopiranje nove komponente: "),
                 QStringLiteral("Nastala je greška u kopiranju nove komponente: ")))
        return false;
    announce(ctx, QStringLiteral("Registracija nove komponente: ") + name, true, false);
    if (!Registriraj(ctx, home, name)) {
        registrationFailed(ctx, QStringLiteral("Desila se greška u registraciji nove komponente: "), name);
        return false;
    }
    return true;
}

bool installFile(Context& ctx, const QString& home, const QString& name)
{
    const Backup backup = backUp(ctx, home, name,
                                 {QStringLiteral("Backup datoteke: "), QString(),
                                  QStringLiteral("Nastala je greška u premještanju datoteke: "), QString()});
    return backup != Backup::Failed &&
           copyNew(ctx, home, name, backup, QStringLiteral("Kopiranje nove datoteke: "),
                   QStringLiteral("Nastala je greška u kopiranju nove datoteke: "));
}

/// Asks until no suite program is open. False when the operator gives up.
bool guardRunningPrograms(Context& ctx)
{
    for (;;) {
        const QString open = PokrenutiProgrami(ctx.platform.windows());
        if (open.isEmpty())
            return true;
        const Answer answer = ctx.window.question(
            QStringLiteral("Postoje pokrenuti programi:") + CRLF + open + CRLF +
            QStringLiteral(
                "Da bi nastavili sa daljom instalacijom moraju se zatvoriti svi otvoreni programi!") +
            CRLF +
            QStringLiteral("Za nastavak rada (i ponovnu provjeru) pritisnite Da (Yes), za prekid instalacije "
                           "pritisnuti Ne (No) ?"));
        LogirajGrešku(ctx, kShortPrefix + QStringLiteral("Postoje startovani programi ") + open);
        if (answer == Answer::Yes)
            continue;
        const Answer quit = ctx.window.question(
            QStringLiteral("Ukoliko prekinete sa ažuriranjem novih verzija, izgubiće se svi novi učitani "
                           "programi, pa će se to morati ponoviti.") +
            CRLF + QStringLiteral("Želite li zaista prekinuti sa ažuriranjem programa sa novim verzijama?"));
        if (quit == Answer::Yes) {
            LogirajGrešku(ctx, kShortPrefix + QStringLiteral("Korisnik odustaje"));
            return false;
        }
    }
}

QString withoutSeparator(const QString& folder)
{
    return folder.endsWith(separator()) ? folder.chopped(1) : folder;
}

/// Empties the backup folder, or creates it; ends the program when it cannot be made.
/// False when old files stay in it: the rollback would copy them over the installation.
bool prepareBackupFolder(Context& ctx)
{
    platform::FileSystem& files = ctx.files();
    const QString& backup = ctx.state.backupFolder;
    if (files.folderExists(native(backup))) {
        const platform::Outcome emptied = files.deleteMatching(native(backup), "*.*");
        if (files.listFiles(native(backup)).empty())
            return true;
        ctx.state.currentMessage = QStringLiteral("Nije moguće isprazniti UpdateBackup direktoriju: ") +
                                   backup +
                                   QStringLiteral(" Ažuriranje se prekida, ništa nije promijenjeno.") + CRLF +
                                   QStringLiteral("Greška: ") + described(emptied);
        LogirajGrešku(ctx, kShortPrefix + ctx.state.currentMessage);
        ctx.window.message(ctx.state.currentMessage, Icon::Exclamation);
        return false;
    }
    const platform::Outcome created = files.createFolder(native(withoutSeparator(backup)));
    if (created)
        return true;
    ctx.state.currentMessage =
        QStringLiteral("Nastala je greška u kreiranju UpdateBackup direktorije! Program za ažuriranje novih "
                       "verzija mora prestati sa radom. Vjerojatno nemate administratorska prava!") +
        CRLF + QStringLiteral("Greška: ") + described(created);
    LogirajGrešku(ctx, kShortPrefix + ctx.state.currentMessage);
    ctx.window.message(ctx.state.currentMessage, Icon::Exclamation);
    ctx.platform.system().endProgram(0);
    return false;
}

bool installItem(Context& ctx, const QString& name)
{
    const QString kind = extensionOf(name);
    if (kind == QLatin1String("exe"))
        return installProgram(ctx, name);
    if (kind == QLatin1String("dll") || kind == QLatin1String("ocx"))
        return installComponent(ctx, name);
    if (kind == QLatin1String("enc"))
        return installFile(ctx, ctx.state.scriptsFolder, name);
    if (kind == QLatin1String("chm"))
        return installFile(ctx, ctx.state.helpFolder, name);
    LogirajGrešku(ctx, kPrefix + QStringLiteral("nepoznata ekstenzija: ") + kind);
    return true;
}

/// The installation is over, whatever follows: nothing is to be put back at the next start.
platform::Outcome endRecord(Context& ctx)
{
    return ctx.files().deleteFile(recordPath(ctx.state), true);
}

/// The new manifest takes the installed one's place in one step, so that it never
/// stands half-written or ahead of the installed files.
bool promoteManifest(Context& ctx)
{
    platform::FileSystem& files = ctx.files();
    const AppState& s = ctx.state;
    const std::string installed = native(s.installFolder + kManifestFile);

    LogirajGrešku(ctx, kPrefix + QStringLiteral("Backup Verzije.txt"));
    const platform::Outcome saved = files.copyFile(installed, native(s.backupFolder + kManifestFile));
    if (!saved)
        LogirajGrešku(ctx, kPrefix + QStringLiteral("Greška u premještanju u backup ") + kManifestFile +
                               QLatin1Char(' ') + described(saved));

    LogirajGrešku(ctx, kPrefix + QStringLiteral("Kopiranje Verzije.txt"));
    // Ended before the manifest moves: a kill in between leaves the new files under
    // the old manifest, which plans them again, never the new manifest over old files.
    platform::Outcome promoted = endRecord(ctx);
    if (promoted)
        promoted = files.copyInOneStep(native(s.updateFolder + kManifestFile), installed);
    if (promoted)
        return true;
    LogirajGrešku(ctx, kPrefix + QStringLiteral("Greška u kopiranju ") + kManifestFile + QLatin1Char(' ') +
                           described(promoted));
    ctx.state.currentMessage =
        QStringLiteral("Novi programi su kopirani, ali Verzije.txt nije zamijenjena novom, pa ažuriranje nije "
                       "završeno. Sljedeća provjera ponudit će iste programe ponovno.") +
        CRLF + QStringLiteral("Greška: ") + described(promoted);
    ctx.window.message(ctx.state.currentMessage, Icon::Critical);
    return false;
}

/// What the planned rows unpack to, and a little more, must fit on the installation's volume.
bool enoughFreeSpace(Context& ctx)
{
    const AppState& s = ctx.state;
    std::uint64_t needed = 0;
    for (const ManifestRow& row : plannedRows(s.plan))
        needed += static_cast<std::uint64_t>(std::max<std::int64_t>(0, row.unpackedBytes()));
    needed += needed / 10 + kFreeSpaceMargin;
    const std::optional<std::uint64_t> free = ctx.files().freeSpace(native(s.installFolder));
    if (!free || *free >= needed)
        return true;
    ctx.state.currentMessage =
        QStringLiteral("Na disku instalacije nema dovoljno slobodnog prostora za nove programe: potrebno je ") +
        QString::number(needed) + QStringLiteral(" bajtova, a slobodno je ") + QString::number(*free) +
        QStringLiteral(" bajtova. Oslobodite prostor i pokušajte ponovno; ništa nije promijenjeno.");
    LogirajGrešku(ctx, kPrefix + ctx.state.currentMessage);
    ctx.window.message(ctx.state.currentMessage, Icon::Exclamation);
    return false;
}

void cleanUpdateFolder(Context& ctx)
{
    static const char* const patterns[] = {"*.7z", "*.exe", "*.enc", "*.chm", "*.dll", "*.ocx"};
    for (const char* p : patterns) {
        const QString pattern = QString::fromLatin1(p);
        if (pattern != QLatin1String("*.ocx"))
            LogirajGrešku(ctx, kPrefix + QStringLiteral("Brisanje fajlova ") + pattern);
        const platform::Outcome deleted = ctx.files().deleteMatching(native(ctx.state.updateFolder), p);
        if (!deleted)
            LogirajGrešku(ctx, kPrefix + QStringLiteral("Greška u brisanju fajlova ") + pattern +
                                   QStringLiteral(" - ") + described(deleted));
    }
}

void removeBackupFolder(Context& ctx)
{
    const QString& backup = ctx.state.backupFolder;
    LogirajGrešku(ctx, kPrefix + QStringLiteral("Brisanje direktorije ") + backup);
    const platform::Outcome removed = ctx.files().removeFolder(native(withoutSeparator(backup)));
    if (!removed)
        LogirajGrešku(ctx, kPrefix + QStringLiteral("Greška u brisanju direktorije - ") + backup +
                               described(removed));
}

} // namespace

bool UpdatePrograma(Context& ctx, const InstallationHooks& hooks)
{
    AppState& s = ctx.state;
    LogirajGrešku(ctx, kShortPrefix + QStringLiteral("početak"));
    if (const QString linked = linkedFolderMessage(ctx, {s.updateFolder, s.backupFolder, s.scriptsFolder});
        !linked.isEmpty()) {
        s.currentMessage = linked;
        LogirajGrešku(ctx, kShortPrefix + linked);
        ctx.window.message(linked, Icon::Exclamation);
        return false;
    }

    if (!guardRunningPrograms(ctx))
        return false;
    // The backup folder may hold the only copy of what an interrupted installation replaced.
    if (!recoverInterruptedInstallation(ctx) || !enoughFreeSpace(ctx))
        return false;
    if (!prepareBackupFolder(ctx))
        return false;

    if (ImeRačunala(ctx) == kNoBuildComputer) {
        ctx.window.message(QStringLiteral("Ime računala je TROVA-DVD te nije moguće nastaviti sa radom!"),
                           Icon::Exclamation);
        return false;
    }

    LogirajGrešku(ctx, kPrefix + QStringLiteral("Početak"));
    StatusAkcija(ctx, QStringLiteral("Početak ..."));
    if (const platform::Outcome begun = ctx.files().appendToFile(recordPath(s), {}); !begun) {
        s.currentMessage = QStringLiteral("Nije moguće zapisati da je instalacija u toku: ") +
                           fromNative(recordPath(s)) + CRLF + QStringLiteral("Greška: ") + described(begun) +
                           CRLF + QStringLiteral("Ažuriranje se prekida, ništa nije promijenjeno.");
        LogirajGrešku(ctx, kPrefix + s.currentMessage);
        ctx.window.message(s.currentMessage, Icon::Exclamation);
        return false;
    }

    for (const ManifestRow& row : plannedRows(s.plan)) {
        const QString& name = row.name;
        ctx.window.processEvents();
        OznačiStavkuPlana(ctx, name, StageInstalling);
        if (!installItem(ctx, name)) {
            // Earlier rows come back from the backup folder; later ones were never touched.
            // What did not come back is put back at the next start.
            if (PokušajVratitiSveNaPočetak(ctx))
                endRecord(ctx);
            return false;
        }
        OznačiStavkuPlana(ctx, name, StageInstalled);
    }

    if (!promoteManifest(ctx))
        return false;
    StatusAkcija(ctx, QString());
    // From here on the installation has succeeded, whatever the cleaning reports.

    cleanUpdateFolder(ctx);
    removeBackupFolder(ctx);

    LogirajGrešku(ctx, kPrefix + QStringLiteral("Kraj"));
    if (hooks.pripremiVerzijaTXT)
        hooks.pripremiVerzijaTXT(ctx);
    return true;
}

} // namespace tarvino
