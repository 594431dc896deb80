#include "core/Settings.h"

#include "core/SettingsStore.h"
#include "core/UpdateSources.h"

#include <optional>

namespace tarvino {
namespace {

std::optional<long long> wholeNumber(const QString& text)
{
    bool ok = false;
    const long long value = text.trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

// A stored value that is not valid must never stop start-up: the key's default takes its place.
int readRanged(const SettingsStore& store, const QString& section, const QString& name, int fallback, int low,
               int high)
{
    const auto value = wholeNumber(store.read(section, name, QString::number(fallback)));
    if (!value || *value < low || *value > high)
        return fallback;
    return static_cast<int>(*value);
}

bool readBoolean(const SettingsStore& store, const QString& section, const QString& name, bool fallback)
{
    const QString text = store.read(section, name).trimmed();
    if (text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (ok)
        return number != 0;
    return fallback;
}

QString readHost(const SettingsStore& store, const QString& name, const QString& fallback)
{
    const QString host = store.read(key::Settings, name).trimmed();
    return host.isEmpty() ? fallback : host;
}

} // namespace

int IndeksLokacije(const AppState& state)
{
    if (state.sources.regularOption == SecondaryServer)
        return 0;
    if (state.sources.regularOption == NetworkFolder)
        return 1;
    return 2;
}

int IndeksLokacijeProbna(const AppState& state)
{
    if (state.sources.trialOption == SecondaryServer)
        return 0;
    if (state.sources.trialOption == NetworkFolder)
        return 1;
    return 2;
}

std::uint32_t UčitajBoju(const SettingsStore& settings)
{
    const auto value = wholeNumber(settings.read(key::Settings, key::Colour, QString::number(kDefaultColour)));
    if (!value || *value < 0 || *value > 0xFFFFFF)
        return kDefaultColour;
    return static_cast<std::uint32_t>(*value);
}

void UčitajPostavke(Context& ctx, const std::function<void()>& onRegularOptionSelected)
{
    SettingsStore& store = ctx.settings;
    SourceSettings& s = ctx.state.sources;

    // Read before the first check can run, so that a check started by the
    // remembered source already fetches from the configured servers with the
    // configured engine.
    s.primaryServer = readHost(store, key::PrimaryServer, kDefaultPrimaryServer);
    s.secondaryServer = readHost(store, key::SecondaryServer, kDefaultSecondaryServer);
    s.extraAuthorities = store.read(key::Settings, key::ExtraAuthorities).trimmed();
    s.useChilkat = readBoolean(store, key::Settings, key::UseChilkat, true);

    s.folders[RegularFolderBox] = store.read(key::Settings, key::RegularFolder);
    s.folders[DistributionFolderBox] = store.read(key::Settings, key::DistributionFolder);
    s.folders[TrialFolderBox] = store.read(key::Settings, key::TrialFolder);

    const int regular = readRanged(store, key::Settings, key::RegularOption, PrimaryServer, 0, 2);
    const bool regularChanged = regular != s.regularOption;
    s.regularOption = regular;

    // The distribution folder is saved under the second key while a regular source
    // other than 0 is selected; read it back from there, or the folder chosen with
    // the design selection would be forgotten at the next start.
    if (s.regularOption != SecondaryServer) {
        const QString other = store.read(key::Settings, key::DistributionFolderOther);
        if (!other.isEmpty())
            s.folders[DistributionFolderBox] = other;
    }

    s.trialOption = readRanged(store, key::Settings, key::TrialOption, PrimaryServer, 0, 2);

    s.hourStep = readRanged(store, key::Setting, key::HourStep, 0, 0, 23);
    SnimiSateAutomatskogPreuzimanja(ctx, s.hourStep);

    if (regularChanged && onRegularOptionSelected)
        onRegularOptionSelected();
}

void SnimiPostavke(Context& ctx)
{
    if (ctx.state.startingUp)
        return;
    SettingsStore& store = ctx.settings;
    const SourceSettings& s = ctx.state.sources;
    store.write(key::Settings, key::RegularOption, QString::number(IndeksLokacije(ctx.state)));
    store.write(key::Settings, key::RegularFolder, s.folders[RegularFolderBox]);
    store.write(key::Settings,
                IndeksLokacije(ctx.state) == SecondaryServer ? key::DistributionFolder : key::DistributionFolderOther,
                s.folders[DistributionFolderBox]);
    store.write(key::Settings, key::TrialOption, QString::number(IndeksLokacijeProbna(ctx.state)));
    store.write(key::Settings, key::TrialFolder, s.folders[TrialFolderBox]);
}

void SnimiSateAutomatskogPreuzimanja(Context& ctx, int hourStep)
{
    if (hourStep < 0 || hourStep > 23)
        hourStep = 0;
    ctx.state.sources.hourStep = hourStep;
    ctx.settings.write(key::Setting, key::HourStep, QString::number(hourStep));
}

} // namespace tarvino
