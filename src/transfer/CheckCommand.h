#pragma once

#include "core/Context.h"

namespace tarvino {

/// The check button: prepares the manifest of the channel used last (the trial
/// channel after a trial update) and builds the plan. The result is not recorded;
/// the preparation reports its own failures. Does nothing while another operation runs.
void cmdVerzija_Click(Context& ctx);

/// A click on regular source option `index` (also raised by start-up for a remembered
/// source other than the design one): selects it, leaves the trial channel, saves the
/// settings, prepares the manifest and keeps its failure for the update run, and shows
/// the tab that was shown before. False when it was held off because another
/// operation runs; the selection is then left as it was.
bool optLokacija_Click(Context& ctx, int index);

} // namespace tarvino
