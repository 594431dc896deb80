#pragma once

#include "core/Context.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QSaveFile>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkReply;

namespace tarvino {

/// How a download ended, as the engines tell their failures apart.
enum class DownloadOutcome {
    Stored,
    Empty,
    // The transfer itself failed: unreachable server, cut connection, local file.
    TransferFailed,
    // An HTTP error status, a stalled transfer or a rejected certificate.
    Raised,
};

struct DownloadResult {
    DownloadOutcome outcome = DownloadOutcome::Stored;
    QString description;
};

/// What an engine sees of a download while it runs.
struct DownloadHooks {
    std::function<void(qint64 received, qint64 total)> progress;
    /// Transfer-control state numbers as the transfer reaches them.
    std::function<void(int state)> state;
    // A component download of an empty body stores an empty file; the transfer
    // control has nothing to write.
    bool storeEmpty = false;
};

/// One GET whose body, of at most `largest` bytes, streams into `localPath`. The file
/// appears under its name only when the whole body has arrived and lies on the disk as
/// it came; until then a previous file stays as it was. A transfer fails when nothing
/// comes for the stall time-out, when less than a minimum rate comes over such a span,
/// and when its end cannot be known (no length, no chunks).
class Download {
public:
    Download(Context& ctx, const QUrl& url, const QString& localPath, qint64 largest, DownloadHooks hooks);
    ~Download();
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    /// Runs the transfer to its end; the window's events go on meanwhile.
    DownloadResult run();

    /// Transfer-control state numbers the download reports.
    enum State {
        Connecting = 3,
        Connected = 4,
        RequestSent = 6,
        ReceivingResponse = 7,
        ResponseReceived = 8,
        Error = 11,
        ResponseCompleted = 12,
    };

private:
    void start();
    void drain();
    /// Why the reply, now ended, is no file; nothing when its body is whole.
    std::optional<DownloadResult> classify();
    DownloadResult finish();

    void watchTheReply();
    void onMetaData();
    void onReadyRead();
    void onStallTimer();
    void onRateTimer();

    bool open();
    void fail(DownloadOutcome outcome, const QString& description);
    bool bodyWanted() const;
    void reach(int state);

    Context& m_ctx;
    const QUrl m_url;
    const QString m_localPath;
    const qint64 m_largest;
    const DownloadHooks m_hooks;
    const std::chrono::milliseconds m_stallTimeout;

    QNetworkAccessManager m_manager;
    std::unique_ptr<QNetworkReply> m_reply;
    QSaveFile m_file;
    QByteArray m_chunk;
    qint64 m_written = 0;
    std::optional<DownloadResult> m_failure;
    QString m_sslText;
    int m_lastState = -1;

    QEventLoop m_loop;
    // Progress only stamps the time; the stall timer, when it fires, waits out the rest
    // of the span since the last stamp. Re-arming it for every piece of the body would
    // cost more than the piece.
    QElapsedTimer m_sinceProgress;
    QTimer m_stall;
    // A trickle keeps the stall timer quiet; over each span in which anything came, so
    // much must come (a span of silence is the stall timer's).
    QTimer m_rate;
    qint64 m_received = 0;
    qint64 m_receivedBefore = 0;
};

} // namespace tarvino
