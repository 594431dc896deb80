#include "install/UpdateRun.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "install/Installation.h"
#include "transfer/InternetFetch.h"
#include "transfer/ManifestPreparation.h"
#include "transfer/NetworkFetch.h"

namespace tarvino {
namespace {

const QString kPrefix = QStringLiteral("cmdDownloadAndUpdate_Click ");

// A value that cannot be written only costs the report export its magnification.
void writeSetting(Context& ctx, const QString& path, std::uint32_t value)
{
    const platform::Outcome written = ctx.platform.registry().writeDword(native(path), value);
    if (!written)
        LogirajGrešku(ctx, kPrefix + QStringLiteral("Greška u upisu ") + path + QLatin1Char(' ') +
                               fromNative(written.description));
}

} // namespace

bool DownloadIUpdate(Context& ctx)
{
    AppState& s = ctx.state;
    if (s.manifestFailed)
        return false;

    bool installed = false;
    const bool fetched = usesNetworkSource(s) ? SnimitiSaMrežneLokacije(ctx) : SnimitiSaInterneta(ctx);
    StatusAkcija(ctx, QString());
    ctx.window.hideProgress();

    if (!fetched) {
        LogirajGrešku(ctx, kPrefix + QStringLiteral("Nije uspio snimiti sa interneta/mrežne lokacije"));
    } else {
        const Answer answer = ctx.window.question(
            QStringLiteral("Svi novi programi su spremni za ažuriranje.") + CRLF +
            QStringLiteral("Da bi instalirali nove programe morate zatvoriti sve otvorene Tarvino programe!") + CRLF +
            QStringLiteral("Želite li izvršiti ažuriranje/instaliranje novih programa?"));
        if (answer == Answer::No)
            return false;

        writeSetting(ctx, kMagnificationDenominator, 1);
        writeSetting(ctx, kMagnificationNumerator, 12);

        InstallationHooks hooks;
        hooks.pripremiVerzijaTXT = [](Context& c) { return PripremiVerzijaTXT(c); };
        installed = UpdatePrograma(ctx, hooks);
        const QString outcome = installed
                                    ? QStringLiteral("Uspješno instalirani novi programi!")
                                    : QStringLiteral("Programi nisu uspješno instalirani. Kontaktirajte Tarvino i "
                                                     "prenesite im ove informacije!");
        LogirajGrešku(ctx, kPrefix + outcome);
        ctx.window.message(outcome, Icon::Exclamation);
    }

    LogirajGrešku(ctx, QStringLiteral("********************* KRAJ UPDATE"));
    return installed;
}

} // namespace tarvino
