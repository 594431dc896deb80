#pragma once

#include <QHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QStringList>
#include <QTcpServer>
#include <chrono>

namespace tarvino::test {

/// An HTTP/1.1 server on 127.0.0.1 that misbehaves as nginx will not, served by whoever waits in an
/// event loop on the test's thread (the fetch itself). Every answer closes its connection.
class TestHttpServer final : public QTcpServer {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
        /// Body bytes sent before the server cuts the connection, or falls silent with `stall`
        /// (with -1 and `stall` it sends nothing at all).
        qint64 sendOnly = -1;
        bool stall = false;
        /// No Content-Length: the end of the connection is the end of the body.
        bool withoutLength = false;
    };

    TestHttpServer() { listen(QHostAddress::LocalHost, 0); }
    /// "127.0.0.1:port", the form the update-server settings take.
    QString hostAndPort() const { return QStringLiteral("127.0.0.1:") + QString::number(serverPort()); }
    void serve(const QString& path, const QByteArray& body) { answers[path] = {.body = body}; }

    /// With a certificate, connections from then on are served over TLS with it and its key.
    QSslCertificate certificate;
    QSslKey key;
    /// By decoded path (beginning with "/"); any other path gets 404.
    QHash<QString, Answer> answers;
    /// The body goes in pieces of this size, each after the previous one left and this pause.
    qint64 chunkSize = 64 * 1024;
    std::chrono::milliseconds chunkPause{0};
    /// Decoded paths of the requests received, in order.
    QStringList requests;

protected:
    void incomingConnection(qintptr descriptor) override;
};

} // namespace tarvino::test
