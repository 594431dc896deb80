#include "TestHttpServer.h"

#include <QSocketNotifier>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarvino::test {

class TestHttpServer::Listener final : public QTcpServer {
public:
    explicit Listener(TestHttpServer& owner) : m_owner(owner) {}

protected:
    void incomingConnection(qintptr descriptor) override { m_owner.accept(descriptor); }

private:
    TestHttpServer& m_owner;
};

struct TestHttpServer::Connection {
    QSslSocket* socket = nullptr;
    QByteArray request;
    bool answered = false;
    QByteArray out;
    qint64 sent = 0;
    qint64 limit = 0;
    qint64 headSize = 0;
    bool closeAtEnd = true;
    bool pausing = false;
};

namespace {

QByteArray reason(int status)
{
    return status == 200 ? "OK" : status == 404 ? "Not Found" : status == 500 ? "Internal Server Error" : "Status";
}

void closeDescriptor(qintptr descriptor)
{
#ifdef _WIN32
    ::closesocket(static_cast<SOCKET>(descriptor));
#else
    ::close(static_cast<int>(descriptor));
#endif
}

} // namespace

TestHttpServer::TestHttpServer() : m_listener(std::make_unique<Listener>(*this))
{
    m_listener->listen(QHostAddress::LocalHost, 0);
}

TestHttpServer::~TestHttpServer()
{
    // The sockets go first and quietly: their last signals must not reach a half-destroyed server.
    for (auto& [socket, connection] : m_connections) {
        socket->disconnect();
        socket->abort();
        delete socket;
    }
    m_connections.clear();
}

void TestHttpServer::enableTls(const QSslCertificate& certificate, const QSslKey& key)
{
    m_certificate = certificate;
    m_key = key;
}

QString TestHttpServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(m_listener->serverPort());
}

void TestHttpServer::answerStatus(const QString& path, int status)
{
    m_answers[path] = Answer {status, reason(status) + "\n"};
}

void TestHttpServer::close()
{
    m_listener->close();
}

void TestHttpServer::accept(qintptr descriptor)
{
    if (m_certificate.isNull()) {
        startConnection(descriptor, false);
        return;
    }
    // Look at the first byte without taking it: a TLS handshake record starts with 0x16.
    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, m_listener.get());
    QObject::connect(notifier, &QSocketNotifier::activated, m_listener.get(), [this, notifier, descriptor] {
        notifier->setEnabled(false);
        notifier->deleteLater();
        char first = 0;
        const auto n = ::recv(descriptor, &first, 1, MSG_PEEK);
        if (n <= 0) {
            closeDescriptor(descriptor);
            return;
        }
        startConnection(descriptor, first == 0x16);
    });
}

void TestHttpServer::startConnection(qintptr descriptor, bool tls)
{
    auto* socket = new QSslSocket(m_listener.get());
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        closeDescriptor(descriptor);
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    Connection& c = *connection;
    m_connections.emplace(socket, std::move(connection));

    QObject::connect(socket, &QSslSocket::readyRead, m_listener.get(), [this, &c] { onReadable(c); });
    QObject::connect(socket, &QSslSocket::bytesWritten, m_listener.get(), [this, &c] { feed(c); });
    QObject::connect(socket, &QSslSocket::disconnected, m_listener.get(), [this, socket] { drop(socket); });
    if (tls) {
        ++tlsConnections;
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        socket->startServerEncryption();
    }
}

void TestHttpServer::onReadable(Connection& c)
{
    c.request += c.socket->readAll();
    if (c.answered || !c.request.contains("\r\n\r\n"))
        return;
    c.answered = true;

    const QByteArray line = c.request.left(c.request.indexOf("\r\n"));
    const QList<QByteArray> parts = line.split(' ');
    const QByteArray target = parts.size() > 1 ? parts[1] : QByteArray();
    const QString path = QUrl::fromPercentEncoding(target);
    rawTargets << target;
    requests << path;

    Answer answer;
    if (auto it = m_answers.constFind(path); it != m_answers.constEnd())
        answer = *it;
    else
        answer = Answer {404, "Not Found\n"};
    if (answer.silent)
        return;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reason(answer.status) + "\r\n";
    head += "Content-Type: application/octet-stream\r\n";
    if (!answer.withoutLength)
        head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    c.out = head + answer.body;
    c.headSize = head.size();
    c.limit = head.size() + (answer.sendOnly < 0 ? answer.body.size() : answer.sendOnly);
    c.closeAtEnd = answer.closeAfterSending;
    feed(c);
}

void TestHttpServer::feed(Connection& c)
{
    if (c.limit == 0 || c.pausing || c.socket->bytesToWrite() > 0)
        return;
    if (c.sent < c.limit) {
        // The head goes whole: only the body is paced.
        const qint64 n = std::max(std::min(m_chunkSize, c.limit - c.sent), c.headSize - c.sent);
        c.socket->write(c.out.constData() + c.sent, n);
        c.sent += n;
        if (m_chunkPause.count() > 0) {
            c.pausing = true;
            QTimer::singleShot(m_chunkPause, c.socket, [this, socket = c.socket] {
                if (auto it = m_connections.find(socket); it != m_connections.end()) {
                    it->second->pausing = false;
                    feed(*it->second);
                }
            });
        }
        return;
    }
    if (c.closeAtEnd) {
        c.limit = 0;
        c.socket->disconnectFromHost();
    }
}

void TestHttpServer::drop(QSslSocket* socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    socket->disconnect();
    socket->deleteLater();
    m_connections.erase(it);
}

} // namespace tarvino::test
