#include "transfer/InternetFetch.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "core/WindowServices.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"
#include "transfer/FetchSteps.h"
#include "transfer/FileFetcher.h"

namespace tarvino {

bool SnimitiSaInterneta(Context& ctx)
{
    AppState& s = ctx.state;
    platform::FileSystem& files = ctx.files();
    const fetch::Run run{ctx, QStringLiteral("SnimitiSaInterneta - ")};

    if (!fetch::begin(run))
        return false;

    for (const ManifestRow& row : plannedRows(s.plan)) {
        const QString& name = row.name;
        const QString packed = packedName(name);
        const std::string packedPath = native(s.updateFolder + packed);

        run.journal(QStringLiteral("Provjera postojanja fajla ") + packed);
        if (files.fileExists(packedPath)) {
            s.currentMessage = QStringLiteral("Nađena 7z datoteka: ") + s.updateFolder + packed +
                               QStringLiteral(" pa je treba obrisati!");
            run.journal(s.currentMessage);
            const platform::Outcome deleted = files.deleteFile(packedPath, true);
            if (!deleted) {
                // The fetch replaces the file anyway; only journalled.
                s.currentMessage = QStringLiteral("Nije uspješno izbrisana 7z datoteka: ") + s.updateFolder +
                                   packed + QStringLiteral(" pa je to problem: ") +
                                   fromNative(deleted.description);
                run.journal(s.currentMessage);
            }
        }

        run.journal(QStringLiteral("Početak skidanja ") + packed);
        OznačiStavkuPlana(ctx, name, StageFetching);
        if (!DownFile(ctx, packed, s.updateFolder, row.packedBytes()))
            return false;
        if (!files.fileExists(packedPath)) {
            return run.fail(QStringLiteral("Nije nađena 7z datoteka: ") + s.updateFolder + packed +
                                QStringLiteral(" pa je nije moguće instalirati. Prekida se ažuriranje!"),
                            false);
        }
        if (!fetch::verifyAndUnpack(run, row, packed))
            return false;
    }

    StatusAkcija(ctx, QStringLiteral("Čekanje da se sve raspakira ..."));
    Čekaj(ctx, 5);
    s.transferStart = static_cast<float>(ctx.clock().now().secondsSinceMidnight());
    ctx.window.hideProgress();
    if (!fetch::checkUnpackedFiles(run, false))
        return false;

    showCollectedMessages(ctx);
    StatusAkcija(ctx, QString());
    return true;
}

} // namespace tarvino
