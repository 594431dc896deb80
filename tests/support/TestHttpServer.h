#pragma once

#include <QByteArray>
#include <QHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>

class QSslSocket;
class QTcpServer;

namespace tarvino::test {

/// An HTTP/1.1 server on 127.0.0.1 for the fetcher's tests. It runs on the test's
/// own thread: whoever waits in an event loop (the fetch itself) serves it. Every
/// answer closes its connection.
class TestHttpServer {
public:
    /// How a path is answered.
    struct Answer {
        int status = 200;
        QByteArray body;
        /// Body bytes sent before the server stops: a cut (close) or a stall (silence).
        qint64 sendOnly = -1;
        bool closeAfterSending = true;
        /// Accepts the request and never answers.
        bool silent = false;
        /// No Content-Length: the end of the connection is the end of the body.
        bool withoutLength = false;
    };

    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    /// From now on a connection that opens with a TLS handshake is served over TLS
    /// with this identity; plain connections stay plain, on the same port.
    void enableTls(const QSslCertificate& certificate, const QSslKey& key);

    /// "127.0.0.1:port", the form the update-server settings take.
    QString hostAndPort() const;

    /// Answers `path` (decoded, beginning with "/") with 200 and these bytes.
    void serve(const QString& path, const QByteArray& body) { m_answers[path] = Answer {200, body}; }
    void answerStatus(const QString& path, int status);
    void serveWithoutLength(const QString& path, const QByteArray& body)
    {
        m_answers[path] = Answer{200, body, -1, true, false, true};
    }
    /// Declares the whole body's length, sends `bytes` of it and closes the connection.
    void cutAfter(const QString& path, const QByteArray& body, qint64 bytes)
    {
        m_answers[path] = Answer {200, body, bytes, true};
    }
    /// Sends the head and `bytes` of the body, then keeps the connection open and
    /// silent; with -1 it does not answer at all.
    void stall(const QString& path, qint64 bytes = -1, const QByteArray& body = {})
    {
        m_answers[path] = Answer {200, body, bytes, false, bytes < 0};
    }
    /// Size of the pieces the body is written in, each after the previous one left.
    void setChunkSize(qint64 bytes) { m_chunkSize = bytes; }
    /// A pause after every piece, so that a client's progress has time to show.
    void setChunkPause(std::chrono::milliseconds pause) { m_chunkPause = pause; }
    /// Stops listening: new connections are refused.
    void close();

    /// Decoded paths of the requests received, in order.
    QStringList requests;
    /// Request targets as they came over the wire.
    QList<QByteArray> rawTargets;
    int tlsConnections = 0;

private:
    class Listener;
    struct Connection;

    void accept(qintptr descriptor);
    void startConnection(qintptr descriptor, bool tls);
    void onReadable(Connection& c);
    void feed(Connection& c);
    void drop(QSslSocket* socket);

    std::unique_ptr<Listener> m_listener;
    std::map<QSslSocket*, std::unique_ptr<Connection>> m_connections;
    QHash<QString, Answer> m_answers;
    QSslCertificate m_certificate;
    QSslKey m_key;
    qint64 m_chunkSize = 64 * 1024;
    std::chrono::milliseconds m_chunkPause {0};
};

} // namespace tarvino::test
