#pragma once

#include "core/Context.h"

#include <functional>

namespace tarvino {

/// What the installation calls in other parts of the window.
struct InstallationHooks {
    /// Prepares the manifest and the plan afresh against what is now installed
    /// (the check command's `PripremiVerzijaTXT`); its result is not looked at.
    std::function<bool(Context&)> pripremiVerzijaTXT;
};

/// Installs every planned row of the plan matrix from the Update folder: asks until
/// no suite program is open, empties (or creates) the backup folder, and for each
/// item moves the installed file into the backup folder and copies the new one into
/// its home folder, unregistering and registering components. The first failure
/// that cannot be overcome is shown, everything in the backup folder is copied back
/// and the result is false; the installed manifest is then untouched. On success the
/// new `Verzije.txt` becomes the installed one, the Update folder is cleaned, the
/// backup folder removed and the check run once more.
///
/// A backup folder that cannot be created ends the whole program.
bool UpdatePrograma(Context& ctx, const InstallationHooks& hooks = {});

} // namespace tarvino
