#include "transfer/FileFetcher.h"

#include "core/Journal.h"
#include "core/Text.h"
#include "core/UpdateSources.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace tarvino {
namespace {

// What the reply may hold in memory before it waits for us to write it out; the
// file streams through this, however large it is. Smaller buffers stall the
// network thread while the window's thread writes.
constexpr qint64 kReadBufferSize = 8 << 20;
// Pieces go from the reply to the file through one buffer, allocated once, and only
// once this much has come: a write per network packet would cost more than the packet.
constexpr qint64 kChunkSize = 1 << 20;

const QString kRaisedHead = QStringLiteral("DownInet: Greška u downloadu datoteke: ");

// Below this many bytes a second over a whole stall span, a transfer counts as stalled.
constexpr qint64 kSlowestBytesPerSecond = 1024;

enum InetState {
    Connecting = 3,
    Connected = 4,
    RequestSent = 6,
    ReceivingResponse = 7,
    ResponseReceived = 8,
    Error = 11,
    ResponseCompleted = 12,
};

enum class Outcome {
    Stored,
    Empty,
    // The transfer itself failed: unreachable server, cut connection, local file.
    TransferFailed,
    // An HTTP error status, a stalled transfer or a rejected certificate.
    Raised,
};

struct FetchResult {
    Outcome outcome = Outcome::Stored;
    QString description;
};

struct FetchHooks {
    std::function<void(qint64 received, qint64 total)> progress;
    std::function<void(int state)> state;
    // A component download of an empty body stores an empty file; the transfer
    // control has nothing to write.
    bool storeEmpty = false;
};

void useSystemProxy()
{
    static const bool done = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    (void)done;
}

// Setting the list by hand turns off the lazy loading of the system's authorities,
// so the extra ones go on top of the full system list. Reading that list takes
// longer than fetching a small file: it is read once per file of extra authorities.
QSslConfiguration sslConfiguration(const QString& extraAuthorities)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (extraAuthorities.isEmpty())
        return config;
    static QString loadedFrom;
    static QDateTime loadedVersion;
    static QList<QSslCertificate> authorities;
    const QDateTime version = QFileInfo(extraAuthorities).lastModified();
    if (extraAuthorities != loadedFrom || version != loadedVersion) {
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(extraAuthorities, QSsl::Pem);
        authorities = extra.isEmpty() ? extra : QSslConfiguration::systemCaCertificates() + extra;
        loadedFrom = extraAuthorities;
        loadedVersion = version;
    }
    if (!authorities.isEmpty())
        config.setCaCertificates(authorities);
    return config;
}

// The name goes into the path as it stands: QUrl encodes blanks, letters such as
// č and even "#" or "%" for the wire instead of reading them as URL syntax.
QUrl fileUrl(const QString& base, const QString& fileName)
{
    QUrl url(base);
    url.setPath(url.path() + fileName, QUrl::DecodedMode);
    return url;
}

std::optional<int> httpStatus(const QNetworkReply& reply)
{
    const QVariant code = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!code.isValid())
        return std::nullopt;
    return code.toInt();
}

QString httpStatusText(const QNetworkReply& reply)
{
    const QString reason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
    QString text = QStringLiteral("HTTP ") + QString::number(httpStatus(reply).value_or(0));
    if (!reason.isEmpty())
        text += QLatin1Char(' ') + reason;
    return text;
}

QString spanText(std::chrono::milliseconds span)
{
    const qint64 ms = span.count();
    return ms % 1000 == 0 ? QString::number(ms / 1000) + QStringLiteral(" s")
                          : QString::number(ms) + QStringLiteral(" ms");
}

// Unbuffered, every failed write is the save file's own error and stops its commit;
// a buffered one failing at the close would be renamed into place all the same.
bool openUnbuffered(QSaveFile& file)
{
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

// What is wrong with the file on the disk under its name, if it is not what arrived.
std::optional<QString> notAsReceived(Context& ctx, const QString& localPath, qint64 received)
{
    platform::FileSystem& files = ctx.files();
    const std::string path = native(localPath);
    if (const platform::Outcome flushed = files.flushFile(path); !flushed)
        return fromNative(flushed.description);
    platform::Outcome why;
    const std::optional<std::uint64_t> size = files.fileSize(path, &why);
    if (!size)
        return fromNative(why.description);
    if (*size != static_cast<std::uint64_t>(received))
        return QStringLiteral("Zapisano je ") + QString::number(*size) + QStringLiteral(" od ") +
               QString::number(received) + QStringLiteral(" primljenih bajtova");
    return std::nullopt;
}

QString stallText(std::chrono::milliseconds timeout)
{
    return QStringLiteral("Isteklo vrijeme čekanja na odgovor servera (") + spanText(timeout) +
           QLatin1Char(')');
}

QString tooLargeText(qint64 largest)
{
    return QStringLiteral("Server šalje više od očekivanih ") + QString::number(largest) +
           QStringLiteral(" bajtova; prijenos je prekinut");
}

// A reply that ends without a length or chunks could have been cut anywhere: the end
// of the connection looks the same as the end of the file.
bool endIsKnown(const QNetworkReply& reply)
{
    return reply.header(QNetworkRequest::ContentLengthHeader).isValid() ||
           reply.rawHeader("Transfer-Encoding").toLower().contains("chunked") ||
           reply.attribute(QNetworkRequest::Http2WasUsedAttribute).toBool();
}

// Runs one GET and streams its body, of at most `largest` bytes, into `localPath`. The
// file appears under its name only when the whole body has arrived; until then a
// previous file stays as it was.
FetchResult fetch(Context& ctx, const QUrl& url, const QString& localPath, qint64 largest,
                  const FetchHooks& hooks)
{
    useSystemProxy();
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    // The stored file is the body as the server has it; asking for no content
    // coding also makes Content-Length count exactly the bytes we store.
    request.setRawHeader("Accept-Encoding", "identity");
    if (url.scheme() == QLatin1String("https"))
        request.setSslConfiguration(sslConfiguration(ctx.state.sources.extraAuthorities));

    QSaveFile file(localPath);
    QByteArray chunk(kChunkSize, Qt::Uninitialized);
    qint64 written = 0;
    std::optional<FetchResult> failure;
    QString sslText;
    int lastState = -1;

    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    reply->setReadBufferSize(kReadBufferSize);

    auto state = [&](int s) {
        if (hooks.state && s != lastState) {
            lastState = s;
            hooks.state(s);
        }
    };
    auto fail = [&](Outcome outcome, const QString& description) {
        if (!failure)
            failure = FetchResult {outcome, description};
        reply->abort();
    };
    auto bodyWanted = [&] {
        const std::optional<int> code = httpStatus(*reply);
        return !failure && (!code || (*code >= 200 && *code < 300));
    };
    // The file is written as itself: a link planted under its name goes first.
    auto open = [&] {
        if (ctx.files().isLink(native(localPath)))
            ctx.files().deleteFile(native(localPath), true);
        return openUnbuffered(file);
    };
    auto drain = [&] {
        if (reply->bytesAvailable() <= 0)
            return;
        if (!bodyWanted()) {
            reply->skip(reply->bytesAvailable());
            return;
        }
        if (!file.isOpen() && !open()) {
            fail(Outcome::TransferFailed, file.errorString());
            return;
        }
        while (reply->bytesAvailable() > 0) {
            const qint64 n = reply->read(chunk.data(), chunk.size());
            if (n <= 0)
                return;
            if (written + n > largest) {
                fail(Outcome::TransferFailed, tooLargeText(largest));
                return;
            }
            if (file.write(chunk.constData(), n) != n) {
                fail(Outcome::TransferFailed, file.errorString());
                return;
            }
            written += n;
        }
    };

    // Progress only stamps the time; the timer, when it fires, waits out the rest
    // of the span since the last stamp. Re-arming it for every piece of the body
    // would cost more than the piece.
    const std::chrono::milliseconds stallTimeout = ctx.state.fetchStallTimeout;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    QTimer stall;
    stall.setSingleShot(true);
    auto alive = [&] { sinceProgress.restart(); };
    // A trickle keeps the stall timer quiet; over each span in which anything came, so
    // much must come (a span of silence is the stall timer's).
    qint64 received = 0;
    qint64 receivedBefore = 0;
    QTimer slow;
    const qint64 leastPerSpan = kSlowestBytesPerSecond * stallTimeout.count() / 1000;

    QEventLoop loop;
    QNetworkReply* r = reply.get();
    QObject::connect(&stall, &QTimer::timeout, &loop, [&] {
        const std::chrono::milliseconds quiet {sinceProgress.elapsed()};
        if (quiet < stallTimeout)
            stall.start(stallTimeout - quiet);
        else
            fail(Outcome::Raised, stallText(stallTimeout));
    });
    QObject::connect(&slow, &QTimer::timeout, &loop, [&] {
        if (received > receivedBefore && received - receivedBefore < leastPerSpan)
            fail(Outcome::Raised, QStringLiteral("Prijenos je prespor: manje od ") +
                                      QString::number(kSlowestBytesPerSecond) +
                                      QStringLiteral(" bajtova u sekundi kroz ") + spanText(stallTimeout));
        receivedBefore = received;
    });
    QObject::connect(r, &QNetworkReply::socketStartedConnecting, &loop, [&] {
        alive();
        state(Connecting);
    });
    QObject::connect(r, &QNetworkReply::encrypted, &loop, alive);
    QObject::connect(r, &QNetworkReply::requestSent, &loop, [&] {
        alive();
        state(Connected);
        state(RequestSent);
    });
    QObject::connect(r, &QNetworkReply::metaDataChanged, &loop, [&] {
        alive();
        // A redirect is followed and its status is not the final one.
        if (const std::optional<int> code = httpStatus(*reply); code && *code >= 400) {
            fail(Outcome::Raised, httpStatusText(*reply));
            return;
        }
        if (const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            bodyWanted() && length.isValid() && length.toLongLong() > largest) {
            fail(Outcome::TransferFailed, tooLargeText(largest));
            return;
        }
        state(ReceivingResponse);
    });
    QObject::connect(r, &QNetworkReply::readyRead, &loop, [&] {
        alive();
        state(ResponseReceived);
        if (bodyWanted() && written + reply->bytesAvailable() > largest) {
            fail(Outcome::TransferFailed, tooLargeText(largest));
            return;
        }
        // What is left when the reply ends is drained after the loop.
        if (reply->bytesAvailable() >= kChunkSize)
            drain();
    });
    QObject::connect(r, &QNetworkReply::downloadProgress, &loop, [&](qint64 bytes, qint64 total) {
        alive();
        received = bytes;
        if (hooks.progress)
            hooks.progress(bytes, total);
    });
    QObject::connect(r, &QNetworkReply::sslErrors, &loop, [&](const QList<QSslError>& errors) {
        QStringList texts;
        for (const QSslError& e : errors)
            texts << e.errorString();
        sslText = texts.join(QStringLiteral("; "));
    });
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    stall.start(stallTimeout);
    slow.start(stallTimeout);
    if (!reply->isFinished())
        loop.exec();
    stall.stop();
    slow.stop();

    if (!failure) {
        const std::optional<int> code = httpStatus(*reply);
        if (!sslText.isEmpty() && reply->error() != QNetworkReply::NoError) {
            failure = FetchResult {Outcome::Raised, sslText};
        } else if (code && (*code < 200 || *code >= 300)) {
            failure = FetchResult {Outcome::Raised, httpStatusText(*reply)};
        } else if (reply->error() != QNetworkReply::NoError) {
            failure = FetchResult {Outcome::TransferFailed, reply->errorString()};
        } else {
            drain();
        }
    }
    if (!failure) {
        // A body cut short is not a file.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() != written) {
            failure = FetchResult {Outcome::TransferFailed,
                                   QStringLiteral("Veza je prekinuta: primljeno ") + QString::number(written) +
                                       QStringLiteral(" od ") + QString::number(length.toLongLong()) +
                                       QStringLiteral(" bajtova")};
        } else if (!endIsKnown(*reply)) {
            failure = FetchResult{Outcome::TransferFailed,
                                  QStringLiteral("Server nije poslao dužinu odgovora pa se ne zna je li "
                                                 "primljen cijeli (primljeno ") +
                                      QString::number(written) + QStringLiteral(" bajtova)")};
        }
    }
    if (failure) {
        state(Error);
        if (file.isOpen())
            file.cancelWriting();
        return *failure;
    }
    if (!file.isOpen()) {
        if (!hooks.storeEmpty)
            return {Outcome::Empty, {}};
        if (!open())
            return {Outcome::TransferFailed, file.errorString()};
    }
    if (!file.commit())
        return {Outcome::TransferFailed, file.errorString()};
    if (const std::optional<QString> wrong = notAsReceived(ctx, localPath, written)) {
        ctx.files().deleteFile(native(localPath), true);
        return {Outcome::TransferFailed, *wrong};
    }
    state(ResponseCompleted);
    return {Outcome::Stored, {}};
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
    FetchHooks hooks;
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

    const FetchResult result = fetch(ctx, url, folder + fileName, largest, hooks);
    switch (result.outcome) {
    case Outcome::Stored:
    case Outcome::Empty:
        return stored(ctx, fileName);
    case Outcome::TransferFailed:
        ctx.state.currentMessage = result.description;
        LogirajGrešku(ctx, QStringLiteral("Greška: Download: ") + fileName + QLatin1Char(' ') + result.description);
        clearStatus(ctx);
        return false;
    case Outcome::Raised:
        break;
    }
    return raisedError(ctx, fileName, result.description);
}

bool DownInet(Context& ctx, const QString& fileName, const QString& folder, std::int64_t largest)
{
    const QUrl url = begin(ctx, Engine::TransferControl, fileName);

    FetchHooks hooks;
    hooks.state = [&](int state) { StatusStanje(ctx, inetStateText(state, ctx.window.status(Panel::State))); };

    const FetchResult result = fetch(ctx, url, folder + fileName, largest, hooks);
    switch (result.outcome) {
    case Outcome::Stored:
        return stored(ctx, fileName);
    case Outcome::Empty:
        LogirajGrešku(ctx, QStringLiteral("Ništa nije primljeno (dužina 0). Download: ") + fileName);
        clearStatus(ctx);
        return false;
    case Outcome::TransferFailed:
    case Outcome::Raised:
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
