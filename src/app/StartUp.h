#pragma once

#include "core/Context.h"

namespace tarvino {

/// The write probe of start-up: sets the installation folder to the program's own
/// folder, then removes a leftover "UpdateADM" folder, creates it and removes it
/// again. Every failure is ignored; the probe always reports success.
bool ProvjeraPrava(Context& ctx);

/// Before anything else runs: an installation that a killed or crashed run left
/// unfinished is put back as its rollback would have done.
void recoverAtStartUp(Context& ctx);

} // namespace tarvino
