#include "install/Registration.h"

#include "core/Journal.h"
#include "core/Text.h"

namespace tarvino {
namespace {

bool runTool(Context& ctx, const QString& folder, const QString& fileName, const QString& switches)
{
    // The quotes keep a path with blanks one argument of the tool.
    const QString commandLine = QStringLiteral("RegSvr32.exe \"") + folder + fileName + QLatin1Char('"') + switches;
    LogirajGrešku(ctx, commandLine);

    platform::Processes& processes = ctx.platform.processes();
    const platform::Started started = processes.startHidden(native(commandLine));
    if (!started.outcome || started.processId < 1) {
        LogirajGrešku(ctx, commandLine + QStringLiteral(" Neuspješno"));
        return false;
    }
    LogirajGrešku(ctx, commandLine + QStringLiteral(" Uspješno"));

    // The limit is measured on the platform's clock; the window keeps handling its
    // events meanwhile. A tool that outlives the limit is left to itself.
    using namespace std::chrono_literals;
    platform::Clock& clock = ctx.clock();
    const auto end = clock.monotonic() + kRegistrationWait;
    while (!processes.waitFor(started.processId, 20ms)) {
        ctx.window.processEvents();
        if (clock.monotonic() >= end)
            break;
    }
    return true;
}

} // namespace

bool Registriraj(Context& ctx, const QString& folder, const QString& fileName)
{
    return runTool(ctx, folder, fileName, QStringLiteral(" /s"));
}

bool Deregistriraj(Context& ctx, const QString& folder, const QString& fileName)
{
    return runTool(ctx, folder, fileName, QStringLiteral(" /u /s"));
}

} // namespace tarvino
