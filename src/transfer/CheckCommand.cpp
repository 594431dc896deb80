#include "transfer/CheckCommand.h"

#include "core/Settings.h"
#include "plan/ExclusiveRun.h"
#include "transfer/ManifestPreparation.h"

namespace tarvino {

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

} // namespace tarvino
