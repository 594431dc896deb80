#pragma once

#include "core/Context.h"

#include <functional>

namespace tarvino {

namespace key {
inline const QString Settings = QStringLiteral("Settings");
inline const QString Setting = QStringLiteral("Setting");

inline const QString RegularOption = QStringLiteral("UpdateLok23N");
inline const QString RegularFolder = QStringLiteral("UpdateLokDir23");
inline const QString DistributionFolder = QStringLiteral("UpdateLokDirMr23");
inline const QString DistributionFolderOther = QStringLiteral("UpdateLokDirMr.tarvino.Ba.23");
inline const QString TrialOption = QStringLiteral("UpdateLok23NProbna");
inline const QString TrialFolder = QStringLiteral("UpdateLokDir23Probna");
inline const QString HourStep = QStringLiteral("VrijemeAutoDownloadaNovihVerz");
inline const QString UseChilkat = QStringLiteral("KoristiChilkatZaDownload");
inline const QString Colour = QStringLiteral("BojaVelmora23");
inline const QString PrimaryServer = QStringLiteral("PrimarniServer23");
inline const QString SecondaryServer = QStringLiteral("SekundarniServer23");
inline const QString ExtraAuthorities = QStringLiteral("DodatniCA23");
} // namespace key

/// Default window colour: red 203, green 218, blue 217, blue in the high byte.
inline constexpr std::uint32_t kDefaultColour = 14277323;

/// Loads every setting into the state, in the order the window's controls take
/// them. `onRegularOptionSelected` runs when the remembered regular source differs
/// from the design selection, as the operator's click on it would.
void UčitajPostavke(Context& ctx, const std::function<void()>& onRegularOptionSelected = {});

/// Saves the selected options and the three folder texts; silent during start-up.
void SnimiPostavke(Context& ctx);

/// Writes the hour step of the automatic copy (section "Setting"), on every change.
void SnimiSateAutomatskogPreuzimanja(Context& ctx, int hourStep);

/// The colour setting, its default when the stored text is not a colour.
std::uint32_t UčitajBoju(const SettingsStore& settings);

int IndeksLokacije(const AppState& state);
int IndeksLokacijeProbna(const AppState& state);

} // namespace tarvino
