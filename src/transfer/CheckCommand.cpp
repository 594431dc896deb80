#include "transfer/CheckCommand.h"

#include "core/Settings.h"
#include "transfer/ManifestPreparation.h"

namespace tarvino {

void cmdVerzija_Click(Context& ctx)
{
    if (ctx.state.operationRunning)
        return;
    const OperationScope running(ctx.state);
    PripremiVerzijaTXT(ctx);
}

bool optLokacija_Click(Context& ctx, int index)
{
    AppState& s = ctx.state;
    if (s.operationRunning)
        return false;
    const OperationScope running(s);
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
