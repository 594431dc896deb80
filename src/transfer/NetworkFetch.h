#pragma once

#include "core/Context.h"

namespace tarvino {

/// Brings every planned file from the network folder of the channel in use
/// (`txtLokacija` 2 for a trial run, else 0) into the Update folder: copied,
/// checked against its packed size and unpacked, then every unpacked file checked against
/// its unpacked size; at the end the folder's `Verzije.txt` is copied over the Update
/// folder's, so the installation takes over the manifest that lies beside the
/// packed files. False at the first failure, reported as `SnimitiSaInterneta` does.
bool SnimitiSaMrežneLokacije(Context& ctx);

} // namespace tarvino
