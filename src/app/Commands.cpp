#include "app/Commands.h"

#include "core/Settings.h"
#include "distribution/Distribution.h"
#include "install/UpdateRun.h"
#include "plan/ExclusiveRun.h"
#include "transfer/ManifestPreparation.h"

#include <QLocale>

namespace tarvino {
namespace {

constexpr double kSecondsPerDay = 24 * 60 * 60;

bool updateSequence(Context& ctx, bool trial)
{
    AppState& s = ctx.state;
    const ExclusiveRun running(ctx);
    if (!running)
        return false;
    s.trialRun = trial;
    s.manifestFailed = !PripremiVerzijaTXT(ctx);
    return !s.manifestFailed && DownloadIUpdate(ctx);
}

} // namespace

void cmdVerzija_Click(Context& ctx)
{
    const ExclusiveRun running(ctx);
    if (running)
        PripremiVerzijaTXT(ctx);
}

bool optLokacija_Click(Context& ctx, int index)
{
    AppState& s = ctx.state;
    const ExclusiveRun running(ctx);
    if (!running)
        return false;
    // The plan shows itself on tab 0; the operator stays where he was.
    const int shownTab = ctx.window.currentTab();
    s.sources.regularOption = index;
    s.trialRun = false;
    SnimiPostavke(ctx);
    s.manifestFailed = !PripremiVerzijaTXT(ctx);
    ctx.window.selectTab(shownTab);
    return true;
}

bool cmdDownloadAndUpdate_Click(Context& ctx)
{
    return updateSequence(ctx, /*trial=*/false);
}

bool cmdProbnaAžuriranja_Click(Context& ctx)
{
    return updateSequence(ctx, /*trial=*/true);
}

bool cmdDownlNaLokaciju_Click(Context& ctx)
{
    const ExclusiveRun running(ctx);
    if (!running)
        return false;
    return PrenesiNaLokaciju(ctx, /*interactive=*/true);
}

bool isDistributionDue(int n, int hour, int minute)
{
    return n > 0 && minute == 0 && hour % n == 0;
}

void tmrUpdate_Timer(Context& ctx)
{
    const platform::LocalTime now = ctx.clock().now();
    if (!isDistributionDue(ctx.state.sources.hourStep, now.hour, now.minute))
        return;
    // Two operations on the same folders and matrices would spoil each other's work.
    if (ctx.state.operationRunning) {
        ctx.state.distributionPending = true;
        return;
    }
    const ExclusiveRun running(ctx);
    if (running)
        PrenesiNaLokaciju(ctx, /*interactive=*/false);
}

void runPendingDistribution(Context& ctx)
{
    AppState& s = ctx.state;
    if (!s.distributionPending || s.operationRunning)
        return;
    s.distributionPending = false;
    const ExclusiveRun running(ctx);
    if (running)
        PrenesiNaLokaciju(ctx, /*interactive=*/false);
}

void tmrPrijenos_Timer(Context& ctx)
{
    double elapsed = ctx.clock().now().secondsSinceMidnight() - ctx.state.transferStart;
    // Seconds since midnight start again at 0: a copy running across midnight goes on counting.
    if (elapsed < 0)
        elapsed += kSecondsPerDay;
    ctx.state.transferTimeText = transferTimeText(elapsed);
    ctx.window.setTransferTime(ctx.state.transferTimeText);
}

QString transferTimeText(double elapsedSeconds)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString number = locale.toString(elapsedSeconds, 'f', 2);
    // "#.00" has no digit before the separator below one second: ".50".
    if (number.startsWith(QLatin1Char('0')))
        number.remove(0, 1);
    return QStringLiteral("Vrijeme prijenosa: ") + number + QStringLiteral(" s");
}

} // namespace tarvino
