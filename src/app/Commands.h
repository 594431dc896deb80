#pragma once

#include "core/Context.h"

namespace tarvino {

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
