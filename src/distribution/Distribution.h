#pragma once

#include "core/Context.h"

namespace tarvino {

/// Copies the current release from the update server into the distribution folder
/// (`txtLokacija` 1): both manifests into its "Update" folder first, then every
/// packed file the folder does not already hold in the same version and size, each
/// checked by size, and only at the end the manifests over the folder's own. True
/// when every row was processed and the new `Verzije.txt` is in place; false when
/// the run stopped early, which leaves the folder's old manifests where they were.
/// Without `interactive` its own message boxes stay hidden, except the question of
/// whether to copy everything into a folder that holds no manifest.
/// Ends the program when the "Update" folder cannot be created.
bool DownloadNaLokaciju(Context& ctx, bool interactive);

/// Runs `DownloadNaLokaciju`, stops `tmrPrijenos`, hides the progress bar and, when
/// interactive, tells the operator how it ended, with the time and the total fetched.
/// Returns what `DownloadNaLokaciju` returned.
bool PrenesiNaLokaciju(Context& ctx, bool interactive);

} // namespace tarvino
