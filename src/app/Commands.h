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

/// The update button: the normal channel's manifest and plan, then the update run.
/// True when new programs were installed.
bool cmdDownloadAndUpdate_Click(Context& ctx);
/// The trial-update button: the same on the trial channel.
bool cmdProbnaAžuriranja_Click(Context& ctx);
/// The distribution button: the distribution with its summary box. True when it succeeded.
bool cmdDownlNaLokaciju_Click(Context& ctx);

/// Each tick of `tmrUpdate`: on the full hour of every hour that is a multiple of
/// the hour step, the distribution runs without its summary. One that falls due
/// while another operation runs is kept for `runPendingDistribution`.
void tmrUpdate_Timer(Context& ctx);
/// Runs, once, a timed distribution that fell due while another operation ran.
void runPendingDistribution(Context& ctx);
/// Each tick of `tmrPrijenos`: the elapsed time of the running distribution.
void tmrPrijenos_Timer(Context& ctx);

/// Whether a tick at `hour`:`minute` starts the automatic distribution for hour step `n`.
bool isDistributionDue(int n, int hour, int minute);
/// "Vrijeme prijenosa: " with the seconds as "#.00" and " s".
QString transferTimeText(double elapsedSeconds);

} // namespace tarvino
