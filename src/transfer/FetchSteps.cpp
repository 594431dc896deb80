#include "transfer/FetchSteps.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "core/WindowServices.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"
#include "transfer/Unpacking.h"

#include <optional>

namespace tarvino::fetch {
namespace {

constexpr int kWaitSeconds = 5;
// Late files of one run share this many waits, however many files are late.
constexpr int kWaitBudget = 4;

QString sizeMessage(const QString& name, std::uint64_t size, const QString& expected)
{
    return QStringLiteral("Veličina presnimljene datoteke ") + name + QStringLiteral(" je ") +
           QString::number(size) + QStringLiteral(", a veličina originalne datoteke je ") + expected;
}

const QString kSizeDiffers = QStringLiteral(
    " i one nisu iste. Moguća greška u prijenosu datoteke. Ponovite postupak. Prekida se ažuriranje!");

} // namespace

void Run::journal(const QString& text) const
{
    LogirajGrešku(ctx, prefix + text);
}

bool Run::fail(const QString& message, bool box) const
{
    ctx.state.currentMessage = message;
    journal(message);
    appendLine(ctx.state.errorMessages, message);
    if (box)
        ctx.window.message(message, Icon::Exclamation);
    return false;
}

bool begin(const Run& run)
{
    Context& ctx = run.ctx;
    AppState& s = ctx.state;
    s.actionMessages.clear();
    s.errorMessages.clear();
    if (!hasPlannedRow(s.plan)) {
        ctx.window.message(QStringLiteral("Nema novih verzija progama!"), Icon::Exclamation);
        return false;
    }
    PostaviProgBar(ctx, 0, static_cast<double>(s.totalPackedSize));
    run.journal(QStringLiteral("Početak"));
    return true;
}

bool verifyAndUnpack(const Run& run, const ManifestRow& row, const QString& packed)
{
    Context& ctx = run.ctx;
    AppState& s = ctx.state;
    const QString& name = row.name;
    const QString& packedColumn = row.packedSize;

    const std::optional<std::uint64_t> size = ctx.files().fileSize(native(s.updateFolder + packed));
    if (!size) {
        return run.fail(QStringLiteral("Greška u provjeri veličine datoteke-dohvatu datoteke ") + packed +
                            QStringLiteral(". Prekida se ažuriranje!"),
                        true);
    }
    if (!hasStatedSize(*size, packedColumn))
        return run.fail(sizeMessage(packed, *size, packedColumn) + kSizeDiffers, true);
    s.currentMessage = sizeMessage(packed, *size, packedColumn) + QStringLiteral(". OK.");
    run.journal(s.currentMessage);

    s.progressValue += static_cast<double>(row.packedBytes());
    ctx.window.setProgress(s.progressValue);
    OznačiStavkuPlana(ctx, name, StageFetched);

    if (!Unzipaj(ctx, name)) {
        ctx.window.message(QStringLiteral("Desila se greška: ") + s.currentMessage +
                               QStringLiteral(" Prekida se ažuriranje!"),
                           Icon::Exclamation);
        return false;
    }
    return true;
}

bool checkUnpackedFiles(const Run& run, bool rereadEmpty)
{
    Context& ctx = run.ctx;
    AppState& s = ctx.state;
    platform::FileSystem& files = ctx.files();
    int waits = 0;

    run.journal(QStringLiteral("Početak provjere veličine datoteka"));
    for (const ManifestRow& row : plannedRows(s.plan)) {
        const QString& name = row.name;
        const QString& realColumn = row.unpackedSize;
        const std::string path = native(s.updateFolder + name);

        StatusAkcija(ctx, QStringLiteral("Provjera veličine datoteka ..."));
        for (const QString& line : {QStringLiteral("Nema fajla, moram čekati 5 s "),
                                    QStringLiteral("Nema fajla, moram čekati još 5 s ")}) {
            if (files.fileExists(path))
                break;
            run.journal(line + name);
            StatusAkcija(ctx, QStringLiteral("Čekanje na raspakiravanje ..."));
            if (waits < kWaitBudget)
                Čekaj(ctx, kWaitSeconds);
            ++waits;
        }
        if (!files.fileExists(path)) {
            return run.fail(QStringLiteral("Nije nađena datoteka: ") + s.updateFolder + name +
                                QStringLiteral(", a trebala bi postojati. Prekida se ažuriranje!"),
                            false);
        }

        std::optional<std::uint64_t> size = files.fileSize(path);
        for (int extra = 0; rereadEmpty && size && *size == 0 && extra < 2; ++extra) {
            Čekaj(ctx, kWaitSeconds);
            size = files.fileSize(path);
        }
        if (!size) {
            return run.fail(QStringLiteral("Greška u provjeri veličine datoteke ") + name +
                                QStringLiteral(". Prekida se ažuriranje!"),
                            true);
        }
        if (!hasStatedSize(*size, realColumn))
            return run.fail(sizeMessage(name, *size, realColumn) + kSizeDiffers, true);
        s.currentMessage = sizeMessage(name, *size, realColumn) + QStringLiteral(". OK.");
        run.journal(s.currentMessage);
    }
    return true;
}

} // namespace tarvino::fetch
