#pragma once

#include "core/Context.h"

#include <memory>

namespace tarvino {

/// Beside the installed programs; held by the run that works on the installation.
inline const QString kLockFile = QStringLiteral("LiveUpdate.lock");

/// Keeps every other check, update and distribution of the installation out, in
/// this process and in every other (a second window, a scheduled run), for as long
/// as it lives. Two of them would clean, replace and roll back each other's files.
class ExclusiveRun {
public:
    /// Held off quietly while another operation of this window runs. Refused while
    /// another run holds the installation: the operator is told, unless `quiet`,
    /// and `AppState::heldElsewhere` is set.
    explicit ExclusiveRun(Context& ctx, bool quiet = false);
    ~ExclusiveRun();
    ExclusiveRun(const ExclusiveRun&) = delete;
    ExclusiveRun& operator=(const ExclusiveRun&) = delete;

    explicit operator bool() const { return m_lock != nullptr; }

private:
    AppState& m_state;
    std::unique_ptr<platform::FileLock> m_lock;
};

} // namespace tarvino
