#pragma once

#include "core/AppState.h"

#include <QString>

namespace tarvino {

/// Deployment defaults; the settings keys PrimarniServer23 and SekundarniServer23 override them.
inline const QString kDefaultPrimaryServer = QStringLiteral("azuriranje.tarvino.ba");
inline const QString kDefaultSecondaryServer = QStringLiteral("azuriranje2.tarvino.ba");

/// The two transfer engines: the component engine fetches over https, the
/// transfer-control engine over http.
enum class Engine { Component, TransferControl };

enum class Channel { Regular, Trial };

/// Base address of a server for an engine and a channel, ending in "/".
QString baseAddress(const QString& host, Engine engine, Channel channel);

/// The base address a fetch uses now: the trial channel and `optLokacijaProbna` when
/// the trial-run flag is set, else the regular channel and `optLokacija`; option 2
/// is the primary server, every other option the secondary one.
QString chosenBaseAddress(const AppState& state, Engine engine);

/// Caption of a source option (index 0 to 2) of the regular or the trial group.
QString sourceOptionCaption(const SourceSettings& sources, Channel channel, int index);

} // namespace tarvino
