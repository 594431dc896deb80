#include "install/Rollback.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "install/Registration.h"
#include "plan/FolderLayout.h"

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

void copyBack(Context& ctx, const QString& name, const QString& homeFolder, const QString& head,
              const QString& notice)
{
    const platform::Outcome copied =
        ctx.files().copyFile(native(ctx.state.backupFolder + name), native(homeFolder + name));
    if (copied)
        return;
    const QString detail = head + name + CRLF + QStringLiteral("Poruka o grešci je: ") + fromNative(copied.description);
    ctx.state.currentMessage = detail;
    LogirajGrešku(ctx, kPrefix + detail);
    ctx.window.message(detail + CRLF + notice, Icon::Critical);
}

void registrationFailed(Context& ctx, const QString& name)
{
    ctx.window.message(kRegistrationFailed + name + CRLF + ctx.state.currentMessage + CRLF + kOldVersion,
                       Icon::Critical);
}

} // namespace

void PokušajVratitiSveNaPočetak(Context& ctx)
{
    AppState& s = ctx.state;
    const std::vector<std::string> files = ctx.files().listFiles(native(s.backupFolder));
    LogirajGrešku(ctx, kPrefix + QStringLiteral("početak. U direktoriji Backup fajlova:") +
                           QString::number(files.size()));

    for (const std::string& entry : files) {
        const QString name = fromNative(entry);
        const QString kind = extensionOf(name);
        if (kind == QLatin1String("exe") || kind == QLatin1String("txt")) {
            announce(ctx, QStringLiteral("Kopiranje nazad programa: ") + name);
            copyBack(ctx, name, s.installFolder, QStringLiteral("Nastala je greška u kopiranju nazad programa: "),
                     kReinstall1);
        } else if (kind == QLatin1String("dll") || kind == QLatin1String("ocx")) {
            // A component that cannot be unregistered is still put back and registered.
            s.currentMessage = QStringLiteral("Deregistracija komponente: ") + name;
            if (!Deregistriraj(ctx, s.installFolder, name))
                registrationFailed(ctx, name);
            announce(ctx, QStringLiteral("Kopiranje nazad komponente: ") + name);
            copyBack(ctx, name, s.installFolder, QStringLiteral("Nastala je greška u kopiranju nazad komponente: "),
                     kReinstall1);
            s.currentMessage = QStringLiteral("Registracija stare komponente: ") + name;
            StatusAkcija(ctx, s.currentMessage);
            if (!Registriraj(ctx, s.installFolder, name))
                registrationFailed(ctx, name);
        } else if (kind == QLatin1String("enc") || kind == QLatin1String("chm")) {
            announce(ctx, QStringLiteral("Kopiranje nazad datoteke: ") + name);
            copyBack(ctx, name, kind == QLatin1String("enc") ? s.scriptsFolder : s.helpFolder,
                     QStringLiteral("Nastala je greška u kopiranju nazad datoteke: "), kReinstall2);
        } else {
            LogirajGrešku(ctx, kPrefix + QStringLiteral("nepoznata ekstenzija: ") + kind);
        }
    }

    LogirajGrešku(ctx, kPrefix + QStringLiteral("Kraj"));
}

} // namespace tarvino
