#pragma once

#include "core/Context.h"

namespace tarvino {

/// Copies every file of the backup folder back to its home folder (programs and
/// text files and components to the installation folder, scripts to the scripts
/// folder, help files to the help folder), unregistering the component in place
/// before an old one is put back and registering the old one afterwards. Works
/// from the backup folder alone and never moves or deletes: a failure of one file
/// is journalled and shown, and the others are still restored.
void PokušajVratitiSveNaPočetak(Context& ctx);

} // namespace tarvino
