#include "core/WindowServices.h"

#include "core/Text.h"

#include <algorithm>

namespace tarvino {

void Čekaj(Context& ctx, int seconds)
{
    using namespace std::chrono_literals;
    platform::Clock& clock = ctx.clock();
    const auto end = clock.monotonic() + std::chrono::milliseconds(seconds * 1000LL);
    while (clock.monotonic() < end) {
        ctx.window.processEvents();
        const auto left = end - clock.monotonic();
        if (left > 0ms)
            clock.sleep(std::min<std::chrono::milliseconds>(left, 20ms));
    }
}

QString ImeRačunala(Context& ctx)
{
    const auto name = ctx.platform.system().computerName();
    if (!name)
        return {};
    return fromNative(name->substr(0, 255));
}

void PostaviProgBar(Context& ctx, double minimum, double maximum)
{
    ctx.state.progressValue = minimum;
    ctx.window.showProgress(minimum, maximum);
}

} // namespace tarvino
