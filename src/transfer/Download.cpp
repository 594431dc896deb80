#include "transfer/Download.h"

#include "core/Text.h"

#include <QDateTime>
#include <QFileInfo>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>

namespace tarvino {
namespace {

// What the reply may hold in memory before it waits for us to write it out; the
// file streams through this, however large it is. Smaller buffers stall the
// network thread while the window's thread writes.
constexpr qint64 kReadBufferSize = 8 << 20;
// Pieces go from the reply to the file through one buffer, allocated once, and only
// once this much has come: a write per network packet would cost more than the packet.
constexpr qint64 kChunkSize = 1 << 20;
// Below this many bytes a second over a whole stall span, a transfer counts as stalled.
constexpr qint64 kSlowestBytesPerSecond = 1024;

void useSystemProxy()
{
    static const bool done = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    (void)done;
}

/// The system's authorities with the extra ones of a file on top. Setting the list by
/// hand turns off the lazy loading of the system's authorities, so the whole system
/// list goes in; reading it takes longer than fetching a small file, so it is read
/// once per file of extra authorities (and again when that file changes).
class AuthorityCache {
public:
    QSslConfiguration configurationFor(const QString& extraAuthorities)
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        if (extraAuthorities.isEmpty())
            return config;
        const QDateTime version = QFileInfo(extraAuthorities).lastModified();
        if (extraAuthorities != m_loadedFrom || version != m_loadedVersion) {
            const QList<QSslCertificate> extra = QSslCertificate::fromPath(extraAuthorities, QSsl::Pem);
            m_authorities = extra.isEmpty() ? extra : QSslConfiguration::systemCaCertificates() + extra;
            m_loadedFrom = extraAuthorities;
            m_loadedVersion = version;
        }
        if (!m_authorities.isEmpty())
            config.setCaCertificates(m_authorities);
        return config;
    }

private:
    QString m_loadedFrom;
    QDateTime m_loadedVersion;
    QList<QSslCertificate> m_authorities;
};

AuthorityCache& authorityCache()
{
    static AuthorityCache cache;
    return cache;
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

} // namespace

Download::Download(Context& ctx, const QUrl& url, const QString& localPath, qint64 largest, DownloadHooks hooks)
    : m_ctx(ctx), m_url(url), m_localPath(localPath), m_largest(largest), m_hooks(std::move(hooks)),
      m_stallTimeout(ctx.state.fetchStallTimeout), m_file(localPath), m_chunk(kChunkSize, Qt::Uninitialized)
{
    m_stall.setSingleShot(true);
}

Download::~Download() = default;

DownloadResult Download::run()
{
    start();
    if (!m_reply->isFinished())
        m_loop.exec();
    m_stall.stop();
    m_rate.stop();
    return finish();
}

void Download::start()
{
    useSystemProxy();
    QNetworkRequest request(m_url);
    // The stored file is the body as the server has it; asking for no content
    // coding also makes Content-Length count exactly the bytes we store.
    request.setRawHeader("Accept-Encoding", "identity");
    if (m_url.scheme() == QLatin1String("https"))
        request.setSslConfiguration(authorityCache().configurationFor(m_ctx.state.sources.extraAuthorities));
    m_reply.reset(m_manager.get(request));
    m_reply->setReadBufferSize(kReadBufferSize);
    watchTheReply();
    m_sinceProgress.start();
    m_stall.start(m_stallTimeout);
    m_rate.start(m_stallTimeout);
}

void Download::watchTheReply()
{
    QNetworkReply* reply = m_reply.get();
    const auto alive = [this] { m_sinceProgress.restart(); };
    QObject::connect(&m_stall, &QTimer::timeout, &m_loop, [this] { onStallTimer(); });
    QObject::connect(&m_rate, &QTimer::timeout, &m_loop, [this] { onRateTimer(); });
    QObject::connect(reply, &QNetworkReply::socketStartedConnecting, &m_loop, [this, alive] {
        alive();
        reach(Connecting);
    });
    QObject::connect(reply, &QNetworkReply::encrypted, &m_loop, alive);
    QObject::connect(reply, &QNetworkReply::requestSent, &m_loop, [this, alive] {
        alive();
        reach(Connected);
        reach(RequestSent);
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &m_loop, [this, alive] {
        alive();
        onMetaData();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &m_loop, [this, alive] {
        alive();
        onReadyRead();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &m_loop, [this, alive](qint64 bytes, qint64 total) {
        alive();
        m_received = bytes;
        if (m_hooks.progress)
            m_hooks.progress(bytes, total);
    });
    QObject::connect(reply, &QNetworkReply::sslErrors, &m_loop, [this](const QList<QSslError>& errors) {
        QStringList texts;
        for (const QSslError& e : errors)
            texts << e.errorString();
        m_sslText = texts.join(QStringLiteral("; "));
    });
    QObject::connect(reply, &QNetworkReply::finished, &m_loop, &QEventLoop::quit);
}

void Download::onMetaData()
{
    // A redirect is followed and its status is not the final one.
    if (const std::optional<int> code = httpStatus(*m_reply); code && *code >= 400) {
        fail(DownloadOutcome::Raised, httpStatusText(*m_reply));
        return;
    }
    if (const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        bodyWanted() && length.isValid() && length.toLongLong() > m_largest) {
        fail(DownloadOutcome::TransferFailed, tooLargeText(m_largest));
        return;
    }
    reach(ReceivingResponse);
}

void Download::onReadyRead()
{
    reach(ResponseReceived);
    if (bodyWanted() && m_written + m_reply->bytesAvailable() > m_largest) {
        fail(DownloadOutcome::TransferFailed, tooLargeText(m_largest));
        return;
    }
    // What is left when the reply ends is drained after the loop.
    if (m_reply->bytesAvailable() >= kChunkSize)
        drain();
}

void Download::onStallTimer()
{
    const std::chrono::milliseconds quiet {m_sinceProgress.elapsed()};
    if (quiet < m_stallTimeout)
        m_stall.start(m_stallTimeout - quiet);
    else
        fail(DownloadOutcome::Raised, QStringLiteral("Isteklo vrijeme čekanja na odgovor servera (") +
                                          spanText(m_stallTimeout) + QLatin1Char(')'));
}

void Download::onRateTimer()
{
    const qint64 leastPerSpan = kSlowestBytesPerSecond * m_stallTimeout.count() / 1000;
    if (m_received > m_receivedBefore && m_received - m_receivedBefore < leastPerSpan)
        fail(DownloadOutcome::Raised, QStringLiteral("Prijenos je prespor: manje od ") +
                                          QString::number(kSlowestBytesPerSecond) +
                                          QStringLiteral(" bajtova u sekundi kroz ") + spanText(m_stallTimeout));
    m_receivedBefore = m_received;
}

void Download::drain()
{
    if (m_reply->bytesAvailable() <= 0)
        return;
    if (!bodyWanted()) {
        m_reply->skip(m_reply->bytesAvailable());
        return;
    }
    if (!m_file.isOpen() && !open()) {
        fail(DownloadOutcome::TransferFailed, m_file.errorString());
        return;
    }
    while (m_reply->bytesAvailable() > 0) {
        const qint64 n = m_reply->read(m_chunk.data(), m_chunk.size());
        if (n <= 0)
            return;
        if (m_written + n > m_largest) {
            fail(DownloadOutcome::TransferFailed, tooLargeText(m_largest));
            return;
        }
        if (m_file.write(m_chunk.constData(), n) != n) {
            fail(DownloadOutcome::TransferFailed, m_file.errorString());
            return;
        }
        m_written += n;
    }
}

std::optional<DownloadResult> Download::classify()
{
    const std::optional<int> code = httpStatus(*m_reply);
    if (!m_sslText.isEmpty() && m_reply->error() != QNetworkReply::NoError)
        return DownloadResult {DownloadOutcome::Raised, m_sslText};
    if (code && (*code < 200 || *code >= 300))
        return DownloadResult {DownloadOutcome::Raised, httpStatusText(*m_reply)};
    if (m_reply->error() != QNetworkReply::NoError)
        return DownloadResult {DownloadOutcome::TransferFailed, m_reply->errorString()};
    drain();
    if (m_failure)
        return m_failure;
    // A body cut short is not a file.
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != m_written)
        return DownloadResult {DownloadOutcome::TransferFailed,
                               QStringLiteral("Veza je prekinuta: primljeno ") + QString::number(m_written) +
                                   QStringLiteral(" od ") + QString::number(length.toLongLong()) +
                                   QStringLiteral(" bajtova")};
    if (!endIsKnown(*m_reply))
        return DownloadResult {DownloadOutcome::TransferFailed,
                               QStringLiteral("Server nije poslao dužinu odgovora pa se ne zna je li "
                                              "primljen cijeli (primljeno ") +
                                   QString::number(m_written) + QStringLiteral(" bajtova)")};
    return std::nullopt;
}

DownloadResult Download::finish()
{
    if (!m_failure)
        m_failure = classify();
    if (m_failure) {
        reach(Error);
        if (m_file.isOpen())
            m_file.cancelWriting();
        return *m_failure;
    }
    if (!m_file.isOpen()) {
        if (!m_hooks.storeEmpty)
            return {DownloadOutcome::Empty, {}};
        if (!open())
            return {DownloadOutcome::TransferFailed, m_file.errorString()};
    }
    if (!m_file.commit())
        return {DownloadOutcome::TransferFailed, m_file.errorString()};
    if (const std::optional<QString> wrong = notAsReceived(m_ctx, m_localPath, m_written)) {
        m_ctx.files().deleteFile(native(m_localPath), true);
        return {DownloadOutcome::TransferFailed, *wrong};
    }
    reach(ResponseCompleted);
    return {DownloadOutcome::Stored, {}};
}

// The file is written as itself: a link planted under its name goes first. Unbuffered,
// every failed write is the save file's own error and stops its commit; a buffered one
// failing at the close would be renamed into place all the same.
bool Download::open()
{
    if (m_ctx.files().isLink(native(m_localPath)))
        m_ctx.files().deleteFile(native(m_localPath), true);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void Download::fail(DownloadOutcome outcome, const QString& description)
{
    if (!m_failure)
        m_failure = DownloadResult {outcome, description};
    m_reply->abort();
}

bool Download::bodyWanted() const
{
    const std::optional<int> code = httpStatus(*m_reply);
    return !m_failure && (!code || (*code >= 200 && *code < 300));
}

void Download::reach(int state)
{
    if (m_hooks.state && state != m_lastState) {
        m_lastState = state;
        m_hooks.state(state);
    }
}

} // namespace tarvino
