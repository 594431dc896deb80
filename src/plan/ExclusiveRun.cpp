#include "plan/ExclusiveRun.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

namespace tarvino {

ExclusiveRun::ExclusiveRun(Context& ctx, bool quiet) : m_state(ctx.state)
{
    if (m_state.operationRunning)
        return;
    const QString path = installationFolder(ctx) + kLockFile;
    platform::LockAttempt attempt = ctx.files().lockFile(native(path));
    if (attempt.lock) {
        m_lock = std::move(attempt.lock);
        m_state.operationRunning = true;
        m_state.heldElsewhere = false;
        return;
    }
    m_state.heldElsewhere = attempt.busy;
    if (quiet)
        return;
    m_state.currentMessage =
        attempt.busy ? QStringLiteral("Na ovoj instalaciji već radi druga provjera, ažuriranje ili distribucija (u "
                                      "drugom prozoru ili automatski). Pokušajte ponovno kada ona završi.")
                     : QStringLiteral("Nije moguće zaključati instalaciju za ažuriranje: ") + path + CRLF +
                           QStringLiteral("Greška: ") + fromNative(attempt.outcome.description);
    LogirajGrešku(ctx, m_state.currentMessage);
    ctx.window.message(m_state.currentMessage, Icon::Exclamation);
}

ExclusiveRun::~ExclusiveRun()
{
    if (m_lock)
        m_state.operationRunning = false;
}

} // namespace tarvino
