#include "app/StartUp.h"

#include "core/Text.h"
#include "install/Rollback.h"
#include "plan/ExclusiveRun.h"

namespace tarvino {

bool ProvjeraPrava(Context& ctx)
{
    ctx.state.installFolder = withSeparator(ctx.state.programFolder);
    const std::string probe = native(ctx.state.installFolder + QStringLiteral("UpdateADM"));
    platform::FileSystem& files = ctx.files();
    // A folder that cannot be written is found later by the operations that write there.
    if (files.folderExists(probe))
        files.removeFolder(probe);
    files.createFolder(probe);
    files.removeFolder(probe);
    return true;
}

void recoverAtStartUp(Context& ctx)
{
    // Held by another run, the record is that run's own, not an interrupted one's.
    const ExclusiveRun running(ctx, /*quiet=*/true);
    if (running)
        recoverInterruptedInstallation(ctx);
}

} // namespace tarvino
