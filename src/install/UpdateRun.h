#pragma once

#include "core/Context.h"

namespace tarvino {

/// The report designer's bitmap magnification, written before every installation.
inline const QString kMagnificationDenominator = QStringLiteral(
    "HKCU\\Software\\Seagate Software\\Crystal Reports Designer Component\\Export\\BitMapMagnifDenominator");
inline const QString kMagnificationNumerator = QStringLiteral(
    "HKCU\\Software\\Seagate Software\\Crystal Reports Designer Component\\Export\\BitMapMagnifNumerator");

/// The update run behind both update buttons, after the command has prepared the
/// manifest and the plan: fetches every planned file from the network folder or
/// the update server of the channel in use, asks the operator, writes the report
/// designer's settings, installs and tells the operator how it ended. Does nothing
/// when the manifest preparation of this command failed. True when the new
/// programs were installed.
bool DownloadIUpdate(Context& ctx);

} // namespace tarvino
