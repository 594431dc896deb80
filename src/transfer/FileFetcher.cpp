#include "transfer/FileFetcher.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "core/UpdateSources.h"
#include "transfer/Download.h"

#include <QUrl>

#include <array>

namespace tarvino {
namespace {

const QString kRaisedHead = QStringLiteral("DownInet: Greška u downloadu datoteke: ");

// The name goes into the path as it stands: QUrl encodes blanks, letters such as
// č and even "#" or "%" for the wire instead of reading them as URL syntax.
QUrl fileUrl(const QString& base, const QString& fileName)
{
    QUrl url(base);
    url.setPath(url.path() + fileName, QUrl::DecodedMode);
    return url;
}

void clearStatus(Context& ctx)
{
    StatusAkcija(ctx, QString());
    StatusStanje(ctx, QString());
}

bool raisedError(Context& ctx, const QString& fileName, const QString& description)
{
    ctx.state.currentMessage = kRaisedHead + fileName + QLatin1Char(' ') + description;
    LogirajGrešku(ctx, ctx.state.currentMessage);
    ctx.window.message(ctx.state.currentMessage, Icon::Exclamation);
    return false;
}

// The start every engine shares: panel 1, the address, its journal line.
QUrl begin(Context& ctx, Engine engine, const QString& fileName)
{
    StatusAkcija(ctx, QStringLiteral("Download: ") + fileName);
    const QString base = chosenBaseAddress(ctx.state, engine);
    LogirajGrešku(ctx, QStringLiteral("Početak Download: ") + base + fileName);
    return fileUrl(base, fileName);
}

bool stored(Context& ctx, const QString& fileName)
{
    LogirajGrešku(ctx, QStringLiteral("Uspješan download: ") + fileName);
    clearStatus(ctx);
    return true;
}

} // namespace

QString inetStateText(int state, const QString& previous)
{
    static const std::array<QString, 13> texts = {
        QStringLiteral("Nema tekućeg stanja"),
        QStringLiteral("Udaljena adresa je u toku provjere"),
        QStringLiteral("Dana udaljena adresa je prihvaćena"),
        QStringLiteral("Spajanje..."),
        QStringLiteral("Spojeno"),
        QStringLiteral("Podaci su u toku zahtjeva"),
        QStringLiteral("Zahtjev za podacima je poslan"),
        QStringLiteral("Odgovor je u toku prihvaćanja"),
        QStringLiteral("Odgovor primljen/Prijenos u toku"),
        QStringLiteral("Odspajanje..."),
        QStringLiteral("Odspojeno"),
        QStringLiteral("Nastala greška"),
        QStringLiteral("Odgovor je uspješno prihvaćen"),
    };
    if (state < 0 || state >= static_cast<int>(texts.size()))
        return previous;
    return texts[static_cast<std::size_t>(state)];
}

bool DownChilkat(Context& ctx, const QString& fileName, const QString& folder, std::int64_t largest)
{
    const QUrl url = begin(ctx, Engine::Component, fileName);

    int shownPercent = -1;
    DownloadHooks hooks;
    hooks.storeEmpty = true;
    hooks.progress = [&](qint64 received, qint64 total) {
        if (total <= 0)
            return;
        const int percent = static_cast<int>(received * 100 / total);
        if (percent == shownPercent)
            return;
        shownPercent = percent;
        StatusStanje(ctx, QString::number(percent) + QLatin1Char('%'));
    };

    const DownloadResult result = Download(ctx, url, folder + fileName, largest, hooks).run();
    switch (result.outcome) {
    case DownloadOutcome::Stored:
    case DownloadOutcome::Empty:
        return stored(ctx, fileName);
    case DownloadOutcome::TransferFailed:
        ctx.state.currentMessage = result.description;
        LogirajGrešku(ctx, QStringLiteral("Greška: Download: ") + fileName + QLatin1Char(' ') + result.description);
        clearStatus(ctx);
        return false;
    case DownloadOutcome::Raised:
        break;
    }
    return raisedError(ctx, fileName, result.description);
}

bool DownInet(Context& ctx, const QString& fileName, const QString& folder, std::int64_t largest)
{
    const QUrl url = begin(ctx, Engine::TransferControl, fileName);

    DownloadHooks hooks;
    hooks.state = [&](int state) { StatusStanje(ctx, inetStateText(state, ctx.window.status(Panel::State))); };

    const DownloadResult result = Download(ctx, url, folder + fileName, largest, hooks).run();
    switch (result.outcome) {
    case DownloadOutcome::Stored:
        return stored(ctx, fileName);
    case DownloadOutcome::Empty:
        LogirajGrešku(ctx, QStringLiteral("Ništa nije primljeno (dužina 0). Download: ") + fileName);
        clearStatus(ctx);
        return false;
    case DownloadOutcome::TransferFailed:
    case DownloadOutcome::Raised:
        break;
    }
    return raisedError(ctx, fileName, result.description);
}

bool DownFile(Context& ctx, const QString& fileName, const QString& folder, std::int64_t largest)
{
    return ctx.state.sources.useChilkat ? DownChilkat(ctx, fileName, folder, largest)
                                        : DownInet(ctx, fileName, folder, largest);
}

} // namespace tarvino
