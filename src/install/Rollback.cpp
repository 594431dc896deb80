#include "install/Rollback.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "install/Registration.h"
#include "plan/FolderLayout.h"

#include <QStringList>

namespace tarvino {
namespace {

const QString kPrefix = QStringLiteral("PokušajVratitiSveNaPočetak - ");
const QString kReinstall1 =
    QStringLiteral("Program ne može razriješiti problem pa ćete morati reinstalirati program!");
const QString kReinstall2 =
    QStringLiteral("Program ne može razriješiti problem te ćete morati reinstalirati program!");
const QString kOldVersion = QStringLiteral(
    "Program ne može razriješiti problem te će pokušati vratiti staru verziju programa. Ukoliko ne uspije "
    "najvjerojatnije ćete morati reinstalirati program!");
const QString kRegistrationFailed = QStringLiteral("Desila se greška u deregistraciji komponente: ");

void announce(Context& ctx, const QString& text)
{
    ctx.state.currentMessage = text;
    StatusAkcija(ctx, text);
    LogirajGrešku(ctx, kPrefix + text);
}

bool copyBack(Context& ctx, const QString& name, const QString& homeFolder, const QString& head,
              const QString& notice)
{
    const platform::Outcome copied =
        ctx.files().copyFile(native(ctx.state.backupFolder + name), native(homeFolder + name));
    if (copied)
        return true;
    const QString detail = head + name + CRLF + QStringLiteral("Poruka o grešci je: ") + fromNative(copied.description);
    ctx.state.currentMessage = detail;
    LogirajGrešku(ctx, kPrefix + detail);
    ctx.window.message(detail + CRLF + notice, Icon::Critical);
    return false;
}

void registrationFailed(Context& ctx, const QString& name)
{
    ctx.window.message(kRegistrationFailed + name + CRLF + ctx.state.currentMessage + CRLF + kOldVersion,
                       Icon::Critical);
}

QString homeFolderOf(const AppState& s, const QString& name)
{
    const QString kind = extensionOf(name);
    if (kind == QLatin1String("exe") || kind == QLatin1String("txt") || kind == QLatin1String("dll") ||
        kind == QLatin1String("ocx"))
        return s.installFolder;
    if (kind == QLatin1String("enc"))
        return s.scriptsFolder;
    if (kind == QLatin1String("chm"))
        return s.helpFolder;
    return {};
}

/// Copies the named files of the backup folder home; true when every one came back.
bool restore(Context& ctx, const std::vector<std::string>& files)
{
    AppState& s = ctx.state;
    bool restored = true;
    LogirajGrešku(ctx, kPrefix + QStringLiteral("početak. U direktoriji Backup fajlova:") +
                           QString::number(files.size()));

    for (const std::string& entry : files) {
        const QString name = fromNative(entry);
        const QString kind = extensionOf(name);
        if (kind == QLatin1String("exe") || kind == QLatin1String("txt")) {
            announce(ctx, QStringLiteral("Kopiranje nazad programa: ") + name);
            restored &= copyBack(ctx, name, s.installFolder,
                                 QStringLiteral("Nastala je greška u kopiranju nazad programa: "), kReinstall1);
        } else if (kind == QLatin1String("dll") || kind == QLatin1String("ocx")) {
            // A component that cannot be unregistered is still put back and registered.
            s.currentMessage = QStringLiteral("Deregistracija komponente: ") + name;
            if (!Deregistriraj(ctx, s.installFolder, name))
                registrationFailed(ctx, name);
            announce(ctx, QStringLiteral("Kopiranje nazad komponente: ") + name);
            restored &= copyBack(ctx, name, s.installFolder,
                                 QStringLiteral("Nastala je greška u kopiranju nazad komponente: "), kReinstall1);
            s.currentMessage = QStringLiteral("Registracija stare komponente: ") + name;
            StatusAkcija(ctx, s.currentMessage);
            if (!Registriraj(ctx, s.installFolder, name))
                registrationFailed(ctx, name);
        } else if (kind == QLatin1String("enc") || kind == QLatin1String("chm")) {
            announce(ctx, QStringLiteral("Kopiranje nazad datoteke: ") + name);
            restored &= copyBack(ctx, name, homeFolderOf(s, name),
                                 QStringLiteral("Nastala je greška u kopiranju nazad datoteke: "), kReinstall2);
        } else {
            LogirajGrešku(ctx, kPrefix + QStringLiteral("nepoznata ekstenzija: ") + kind);
        }
    }

    LogirajGrešku(ctx, kPrefix + QStringLiteral("Kraj"));
    return restored;
}

QStringList recordedNames(Context& ctx, const std::string& record)
{
    std::string text;
    ctx.files().readFile(record, text);
    return fromNative(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

bool PokušajVratitiSveNaPočetak(Context& ctx)
{
    return restore(ctx, ctx.files().listFiles(native(ctx.state.backupFolder)));
}

bool recoverInterruptedInstallation(Context& ctx)
{
    IzvediDirektorije(ctx);
    AppState& s = ctx.state;
    platform::FileSystem& files = ctx.files();
    const std::string record = native(s.installFolder + kInstallationRecord);
    if (!files.fileExists(record))
        return true;

    LogirajGrešku(ctx, QStringLiteral("UpdatePrograma - Pronađena je prekinuta instalacija, stari programi se "
                                      "vraćaju iz ") + s.backupFolder);
    const QStringList recorded = recordedNames(ctx, record);
    // A file that was still on its way into the backup folder (a copy between
    // volumes) is only half there, and its home file is whole: that one stays.
    std::vector<std::string> moved;
    for (const std::string& entry : files.listFiles(native(s.backupFolder))) {
        const QString name = fromNative(entry);
        if (recorded.contains(name) || !files.fileExists(native(homeFolderOf(s, name) + name)))
            moved.push_back(entry);
    }
    bool restored = restore(ctx, moved);
    // A new item had no old file: what its copy left, whole or half, goes.
    for (const QString& name : recorded) {
        const std::string home = native(homeFolderOf(s, name) + name);
        if (files.fileExists(native(s.backupFolder + name)) || !files.fileExists(home))
            continue;
        const platform::Outcome deleted = files.deleteFile(home, true);
        if (!deleted) {
            restored = false;
            LogirajGrešku(ctx, QStringLiteral("UpdatePrograma - Greška u brisanju ") + name + QLatin1Char(' ') +
                                   fromNative(deleted.description));
        }
    }
    // A component killed on its way into the backup folder is still at home, unregistered.
    for (const QString& line : recorded) {
        const QString name = line.mid(1);
        if (line.startsWith(kUnregisteredMark) && !files.fileExists(native(s.backupFolder + name)) &&
            files.fileExists(native(s.installFolder + name)) && !Registriraj(ctx, s.installFolder, name))
            restored = false;
    }
    // Kept while anything failed: the backup folder must not be emptied before it is all home.
    if (restored)
        restored = static_cast<bool>(files.deleteFile(record, true));

    s.currentMessage =
        restored ? QStringLiteral("Prethodna instalacija novih verzija je prekinuta prije kraja. Stare verzije "
                                  "programa vraćene su iz direktorije UpdateBackup.")
                 : QStringLiteral("Prethodna instalacija novih verzija je prekinuta prije kraja, a stare verzije "
                                  "programa nisu sve vraćene iz direktorije UpdateBackup. Ažuriranje nije moguće "
                                  "dok se ne vrate. Kontaktirajte Tarvino!");
    LogirajGrešku(ctx, QStringLiteral("UpdatePrograma - ") + s.currentMessage);
    ctx.window.message(s.currentMessage, restored ? Icon::Exclamation : Icon::Critical);
    return restored;
}

} // namespace tarvino
