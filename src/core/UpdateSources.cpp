#include "core/UpdateSources.h"

namespace tarvino {

QString baseAddress(const QString& host, Engine engine, Channel channel)
{
    const QString scheme = engine == Engine::Component ? QStringLiteral("https://") : QStringLiteral("http://");
    const QString path =
        channel == Channel::Trial ? QStringLiteral("/download/Verzija23/Probna/") : QStringLiteral("/download/Verzija23/");
    return scheme + host + path;
}

QString chosenBaseAddress(const AppState& state, Engine engine)
{
    const Channel channel = state.trialRun ? Channel::Trial : Channel::Regular;
    const int option = state.trialRun ? state.sources.trialOption : state.sources.regularOption;
    const QString& host = option == PrimaryServer ? state.sources.primaryServer : state.sources.secondaryServer;
    return baseAddress(host, engine, channel);
}

QString sourceOptionCaption(const SourceSettings& sources, Channel channel, int index)
{
    if (index == NetworkFolder)
        return QStringLiteral("Sa mrežne lokacije");
    const QString& host = index == PrimaryServer ? sources.primaryServer : sources.secondaryServer;
    QString address = baseAddress(host, Engine::Component, channel);
    address.chop(1);
    QString caption = QStringLiteral("Internet (") + address + QStringLiteral(")");
    if (index == PrimaryServer)
        caption += QStringLiteral(" - preferirani (najbrži) način sa interneta");
    return caption;
}

} // namespace tarvino
