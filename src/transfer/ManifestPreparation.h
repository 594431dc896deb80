#pragma once

#include "core/Context.h"

#include <QString>

namespace tarvino {

/// Brings the selected source's "Verzije.txt" into the Update folder and builds the
/// plan from it. On the way it derives the working folders, creates the Update folder
/// and keeps a copy of the remote-support program in the installation folder.
/// True when the plan has at least one row. Once the plan has been built the update
/// button follows the result; a failure before that leaves the button and the grid
/// as they were. Every failure is journalled and shown as the operator must know it.
bool PripremiVerzijaTXT(Context& ctx);

/// Whether the current channel takes its manifest from the network folder (option 1
/// of `optLokacijaProbna` on the trial channel, of `optLokacija` otherwise).
bool usesNetworkSource(const AppState& state);

/// The folder box of the current channel, as typed.
QString networkSourceFolder(const AppState& state);

} // namespace tarvino
