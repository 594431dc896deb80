#pragma once

#include "core/Context.h"
#include "core/TableFile.h"

#include <QString>
#include <cstdint>

namespace tarvino {

/// Caps of the files whose size no manifest gives, far above any real one.
inline constexpr std::int64_t kLargestManifestBytes = kLargestTableFile;
inline constexpr std::int64_t kLargestRemoteSupportBytes = std::int64_t{256} << 20;

/// Fetches `fileName` from the selected update server into `folder` (ending in a
/// separator) with the engine the settings chose. True only when the file was
/// received whole and stored under its name; the caller decides what a failure means.
/// A body of more than `largest` bytes, one whose end cannot be known (no length, no
/// chunks) and one that comes slower than a minimum rate over a whole stall span fail.
bool DownFile(Context& ctx, const QString& fileName, const QString& folder, std::int64_t largest);

/// The component engine: https, percentage in status panel 2. Its own transfer
/// failures are journalled without a message box; an HTTP error status, a stalled
/// transfer and a rejected certificate take the shared path with a box.
bool DownChilkat(Context& ctx, const QString& fileName, const QString& folder, std::int64_t largest);

/// The transfer-control engine: http, transfer state in status panel 2. Every
/// failure takes the shared path with a box, except an empty reply, which is
/// journalled only and stores nothing.
bool DownInet(Context& ctx, const QString& fileName, const QString& folder, std::int64_t largest);

/// Status text of a transfer-control state 0 to 12; any other state keeps `previous`.
QString inetStateText(int state, const QString& previous);

} // namespace tarvino
