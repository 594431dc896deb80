#include "plan/UpdatePlan.h"

#include "core/Journal.h"
#include "core/TableFile.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

namespace tarvino {
namespace {

const QString kPrefix = QStringLiteral("NapraviRsŠtoTrebaAžurirati - ");

int findRow(const Matrix& matrix, const QString& name)
{
    for (int j = 0; j < Matrix::Rows; ++j) {
        if (matrix.at(j, 0).text() == name)
            return j;
    }
    return -1;
}

double number(const Matrix& m, int row, int column)
{
    return columnValue(m.at(row, column).text());
}

std::int64_t bytes(const Matrix& m, int row, int column)
{
    return columnBytes(m.at(row, column).text());
}

bool newerVersion(const Matrix& plan, int i, const Matrix& installed, int j)
{
    // Each number against its own counterpart: 2.0.0 installed and 1.5.0 new counts as newer.
    for (int c = 1; c <= 3; ++c) {
        if (number(plan, i, c) > number(installed, j, c))
            return true;
    }
    return false;
}

void fillGrid(Context& ctx)
{
    std::vector<PlanGridRow> rows;
    const Matrix& plan = ctx.state.plan;
    for (int i = 0; i < Matrix::Rows; ++i) {
        if (!isPlanned(plan, i))
            continue;
        rows.push_back({plan.at(i, 0).text(), plan.at(i, 1).text(), plan.at(i, 2).text(),
                        plan.at(i, 3).text(), plan.at(i, 4).text(), plan.at(i, 5).text()});
    }
    ctx.window.showPlan(rows);
}

} // namespace

bool isPlanned(const Matrix& plan, int row)
{
    return !plan.at(row, 0).text().isEmpty() && plan.at(row, 6).number() == 1;
}

bool hasPlannedRow(const Matrix& plan)
{
    for (int i = 0; i < Matrix::Rows; ++i) {
        if (isPlanned(plan, i))
            return true;
    }
    return false;
}

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

    for (int i = 0; i < Matrix::Rows; ++i) {
        const QString name = s.plan.at(i, 0).text();
        if (name.isEmpty())
            continue;
        Cell& mark = s.plan.at(i, 6);
        const int j = findRow(s.installed, name);
        if (j < 0) {
            if (name == kToolFileName) {
                mark = Cell(std::int64_t{0});
            } else {
                LogirajGrešku(ctx, kPrefix + QStringLiteral("Nije pronađen zapis o starim verzija za :") +
                                       name + QStringLiteral(" pa se mora kopirati"));
                mark = Cell(std::int64_t{1});
                s.totalPackedSize += bytes(s.plan, i, 4);
            }
            continue;
        }

        const QString kind = extensionOf(name);
        bool newer = newerVersion(s.plan, i, s.installed, j);
        if (!newer && (kind == QStringLiteral("chm") || kind == QStringLiteral("ocx"))) {
            newer = bytes(s.plan, i, 5) > bytes(s.installed, j, 5) ||
                    bytes(s.plan, i, 4) > bytes(s.installed, j, 4);
        }
        if (!newer) {
            if (kind == QStringLiteral("enc") || kind == QStringLiteral("chm")) {
                const QString& folder = kind == QStringLiteral("enc") ? s.scriptsFolder : s.helpFolder;
                if (!files.fileExists(native(folder + name))) {
                    LogirajGrešku(ctx, kPrefix + QStringLiteral("Nije nađena datoteka: ") + folder + name +
                                           QStringLiteral(" pa se mora napraviti"));
                    newer = true;
                } else {
                    newer = bytes(s.plan, i, 5) > bytes(s.installed, j, 5);
                }
            } else if (!files.fileExists(native(s.installFolder + name))) {
                LogirajGrešku(ctx, kPrefix + QStringLiteral("Nije nađena datoteka: ") + name +
                                       QStringLiteral(" pa se mora napraviti"));
                newer = true;
            }
        }

        if (!newer || name == kToolFileName) {
            if (kind == QStringLiteral("enc") && databaseChangePlanned) {
                mark = Cell(std::int64_t{1});
                s.totalPackedSize += bytes(s.plan, i, 4);
            } else {
                mark = Cell(std::int64_t{0});
            }
            continue;
        }
        LogirajGrešku(ctx, kPrefix + QStringLiteral("Treba instalirati: ") + name);
        s.totalPackedSize += bytes(s.plan, i, 4);
        if (name == kDatabaseChangeComponent)
            databaseChangePlanned = true;
        mark = Cell(std::int64_t{1});
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
