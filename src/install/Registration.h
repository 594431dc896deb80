#pragma once

#include "core/Context.h"

#include <QString>

#include <chrono>

namespace tarvino {

/// How long a registration tool is waited for: the installation moves a component
/// away right after unregistering it, and a tool still holding the file would make
/// that move fail as if the component were in use.
inline constexpr std::chrono::milliseconds kRegistrationWait {30000};

/// Registers `folder` + `fileName` with RegSvr32.exe (found on PATH), silently and
/// without a window. Journals the command line, then the command line with
/// " Uspješno" or " Neuspješno". True when the tool was started; what the tool
/// itself made of the component is not known here.
bool Registriraj(Context& ctx, const QString& folder, const QString& fileName);

/// The same with the unregister switch.
bool Deregistriraj(Context& ctx, const QString& folder, const QString& fileName);

} // namespace tarvino
