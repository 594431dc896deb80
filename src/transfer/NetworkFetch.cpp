#include "transfer/NetworkFetch.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "core/WindowServices.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"
#include "transfer/FetchSteps.h"

namespace tarvino {
namespace {

} // namespace

bool SnimitiSaMrežneLokacije(Context& ctx)
{
    AppState& s = ctx.state;
    platform::FileSystem& files = ctx.files();
    const fetch::Run run{ctx, QStringLiteral("SnimitiSaMrežneLokacije - ")};

    const QString source = s.sources.folders[s.trialRun ? TrialFolderBox : RegularFolderBox];
    // An empty box would make every name relative to wherever the program was started.
    const auto inSource = [&](const QString& name) {
        return source.isEmpty() ? std::string() : native(source + name);
    };

    if (!fetch::begin(run))
        return false;

    for (const ManifestRow& row : plannedRows(s.plan)) {
        const QString& name = row.name;
        const QString packed = packedName(name);

        OznačiStavkuPlana(ctx, name, StageCopying);
        if (source.isEmpty() || !files.fileExists(inSource(packed))) {
            return run.fail(QStringLiteral("Nije nađena 7z datoteka: ") + source + packed +
                                QStringLiteral(" pa je nije moguće instalirati. Prekida se ažuriranje!"),
                            false);
        }
        run.journal(QStringLiteral("Početak kopiranja ") + packed);
        StatusAkcija(ctx, QStringLiteral("Kopiranje datoteke: ") + packed);
        if (!files.copyFile(inSource(packed), native(s.updateFolder + packed)))
            return run.fail(QStringLiteral("Greška u kopiranju ") + packed +
                                QStringLiteral(". Prekida se ažuriranje!"),
                            true);
        appendLine(s.actionMessages, QStringLiteral("Kopirano ") + packed);
        if (!fetch::verifyAndUnpack(run, row, packed))
            return false;
    }

    StatusAkcija(ctx, QStringLiteral("Čekanje da se sve raspakira ..."));
    ctx.window.hideProgress();
    if (!fetch::checkUnpackedFiles(run, true))
        return false;

    if (source.isEmpty() || !files.copyFile(inSource(kManifestFile), native(s.updateFolder + kManifestFile)))
        return run.fail(QStringLiteral("Greška u kopiranju ") + kManifestFile +
                            QStringLiteral(". Prekida se ažuriranje!"),
                        true);
    appendLine(s.actionMessages, QStringLiteral("Kopirano ") + kManifestFile);
    Čekaj(ctx, 5);

    showCollectedMessages(ctx);
    StatusAkcija(ctx, QString());
    return true;
}

} // namespace tarvino
