#include "plan/UpdatePlan.h"

#include "core/Journal.h"
#include "core/TableFile.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

namespace tarvino {
namespace {

const QString kPrefix = QStringLiteral("NapraviRsŠtoTrebaAžurirati - ");

void fillGrid(Context& ctx)
{
    std::vector<PlanGridRow> rows;
    for (const ManifestRow& row : plannedRows(ctx.state.plan))
        rows.push_back({row.name, row.major, row.minor, row.revision, row.packedSize, row.unpackedSize});
    ctx.window.showPlan(rows);
}

} // namespace

bool NapraviRsŠtoTrebaAžurirati(Context& ctx)
{
    AppState& s = ctx.state;
    platform::FileSystem& files = ctx.files();

    ctx.window.selectTab(0);
    LogirajGrešku(ctx, kPrefix + QStringLiteral("početak"));

    LogirajGrešku(ctx, kPrefix + QStringLiteral("čitanje rs ") + s.updateFolder + kManifestFile);
    QString reason;
    if (!UčitajUMatricu(ctx, s.plan, s.updateFolder + kManifestFile, &reason)) {
        s.currentMessage =
            kPrefix +
            QStringLiteral("Desila se greška u čitanju zapisa u matricu iz datoteke. Prekida se ažuriranje!");
        LogirajGrešku(ctx, s.currentMessage);
        ctx.window.message(withReason(s.currentMessage, reason), Icon::Exclamation);
        return false;
    }

    LogirajGrešku(ctx, kPrefix + QStringLiteral("čitanje rs ") + s.installFolder + kManifestFile);
    if (!files.fileExists(native(s.installFolder + kManifestFile))) {
        s.currentMessage =
            QStringLiteral("Ne postoji datoteka: ") + s.installFolder +
            QStringLiteral("Verzije.txt te nije moguće nastaviti sa ažuriranjem. Kontaktirajte Tarvino!");
        LogirajGrešku(ctx, QStringLiteral("NapraviRsŠtoTrebaAžurirati ") + s.currentMessage);
        ctx.window.message(s.currentMessage, Icon::Information);
        return false;
    }
    if (!UčitajUMatricu(ctx, s.installed, s.installFolder + kManifestFile, &reason)) {
        s.currentMessage =
            kPrefix +
            QStringLiteral("Desila se greška u čitanju zapisa u matricu-STARI. Prekida se ažuriranje!");
        LogirajGrešku(ctx, s.currentMessage);
        ctx.window.message(withReason(s.currentMessage, reason), Icon::Exclamation);
        return false;
    }

    s.actionMessages.clear();
    s.errorMessages.clear();
    s.totalPackedSize = 0;
    bool databaseChangePlanned = false;
    LogirajGrešku(ctx, kPrefix + QStringLiteral("upoređenje što treba ažurirati "));

    for (const ManifestRow& row : namedRows(s.plan)) {
        const QString& name = row.name;
        const ManifestRow installed = findManifestRow(s.installed, name);
        const auto plan = [&](bool planned) {
            markPlanned(s.plan, row.index, planned);
            if (planned)
                s.totalPackedSize += row.packedBytes();
        };
        if (installed.index < 0) {
            if (name != kToolFileName)
                LogirajGrešku(ctx, kPrefix + QStringLiteral("Nije pronađen zapis o starim verzija za :") + name +
                                       QStringLiteral(" pa se mora kopirati"));
            plan(name != kToolFileName);
            continue;
        }

        const QString kind = row.kind();
        bool newer = row.newerThan(installed);
        if (!newer) {
            if (kind == QStringLiteral("enc") || kind == QStringLiteral("chm")) {
                const QString& folder = kind == QStringLiteral("enc") ? s.scriptsFolder : s.helpFolder;
                if (!files.fileExists(native(folder + name))) {
                    LogirajGrešku(ctx, kPrefix + QStringLiteral("Nije nađena datoteka: ") + folder + name +
                                           QStringLiteral(" pa se mora napraviti"));
                    newer = true;
                } else {
                    newer = row.unpackedBytes() > installed.unpackedBytes();
                }
            } else if (!files.fileExists(native(s.installFolder + name))) {
                LogirajGrešku(ctx, kPrefix + QStringLiteral("Nije nađena datoteka: ") + name +
                                       QStringLiteral(" pa se mora napraviti"));
                newer = true;
            }
        }

        if (!newer || name == kToolFileName) {
            plan(kind == QStringLiteral("enc") && databaseChangePlanned);
            continue;
        }
        LogirajGrešku(ctx, kPrefix + QStringLiteral("Treba instalirati: ") + name);
        if (name == kDatabaseChangeComponent)
            databaseChangePlanned = true;
        plan(true);
    }

    LogirajGrešku(ctx, kPrefix + QStringLiteral("kraj"));
    bool result = true;

    const std::string oldPlanFile = native(s.updateFolder + QStringLiteral("Update.txt"));
    if (files.fileExists(oldPlanFile))
        files.deleteFile(oldPlanFile, /*force=*/true);

    fillGrid(ctx);
    if (!hasPlannedRow(s.plan)) {
        StatusAkcija(ctx, QStringLiteral("Nema novih verzija Tarvino programa!"));
        result = false;
    }
    return result;
}

void OznačiStavkuPlana(Context& ctx, const QString& name, int stage)
{
    ctx.window.markPlanRow(name, stage);
}

} // namespace tarvino
