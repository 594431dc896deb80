#pragma once

#include "core/Context.h"

namespace tarvino {

/// Returns after `seconds` while the window keeps handling its events. It sleeps a
/// little between rounds, and measures on the monotonic clock, so it neither burns
/// a core nor misjudges a wait across midnight.
void Čekaj(Context& ctx, int seconds);

/// The workstation's computer name; empty text when the system cannot tell it.
QString ImeRačunala(Context& ctx);

/// Shows the progress bar over the check button with the given range and value 0.
void PostaviProgBar(Context& ctx, double minimum, double maximum);

} // namespace tarvino
