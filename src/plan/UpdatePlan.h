#pragma once

#include "core/Context.h"
#include "plan/ManifestRow.h"

namespace tarvino {

/// The tool's own row: never planned, whatever its versions.
inline const QString kToolFileName = QStringLiteral("TarvinoLiveUpdate23.exe");
/// The database-change component; script rows after it are installed again with it.
inline const QString kDatabaseChangeComponent = QStringLiteral("TarvinoIzmjBaza23.dll");

/// Plan-grid stages.
enum PlanStage : int {
    StageFetching = 1,
    StageFetched = 2,
    StageInstalled = 3,
    StageCopying = 4,
    StageInstalling = 5,
};

/// Compares the manifest in the Update folder with the installed one, writes the
/// install mark of every named row of the plan matrix, sums the packed
/// sizes of the planned rows and fills the plan grid. True when at least one row is
/// planned; false on a failure (with its message) or when nothing is new.
bool NapraviRsŠtoTrebaAžurirati(Context& ctx);

/// Shows a row's stage in the plan grid (the first row named `name`; none, no change).
void OznačiStavkuPlana(Context& ctx, const QString& name, int stage);

} // namespace tarvino
