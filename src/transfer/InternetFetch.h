#pragma once

#include "core/Context.h"

namespace tarvino {

/// Brings every planned file from the selected update server into the Update
/// folder: per planned row, in plan order, the packed file is fetched (an old one
/// deleted first), checked against its packed size and unpacked; then every unpacked file
/// is checked against its unpacked size, waiting a bounded time for late ones. False at the
/// first failure, with its message journalled, collected and, where the operator
/// must know, shown; the panes are filled only on success.
bool SnimitiSaInterneta(Context& ctx);

} // namespace tarvino
