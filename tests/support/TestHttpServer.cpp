#include "TestHttpServer.h"

#include <QSslSocket>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace tarvino::test {

void TestHttpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    socket->setSocketDescriptor(descriptor);
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    auto request = std::make_shared<QByteArray>();
    connect(socket, &QSslSocket::readyRead, this, [this, socket, request] {
        const bool complete = request->contains("\r\n\r\n");
        *request += socket->readAll();
        if (complete || !request->contains("\r\n\r\n"))
            return;
        requests << QUrl::fromPercentEncoding(request->left(request->indexOf("\r\n")).split(' ').value(1));
        const Answer answer = answers.value(requests.last(), {.status = 404, .body = "Not Found\n"});
        if (answer.stall && answer.sendOnly < 0)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) +
                          (answer.status == 200 ? " OK\r\n" : " Error\r\n");
        if (!answer.withoutLength)
            head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
        socket->write(head + "Connection: close\r\n\r\n");
        // The rest goes a piece at a time, each once the previous one has left.
        auto* pacer = new QTimer(socket);
        QByteArray rest = answer.body.left(answer.sendOnly < 0 ? answer.body.size() : answer.sendOnly);
        connect(pacer, &QTimer::timeout, socket, [this, socket, pacer, rest, stall = answer.stall]() mutable {
            if (socket->bytesToWrite() > 0)
                return;
            if (rest.isEmpty()) {
                pacer->stop();
                if (!stall)
                    socket->disconnectFromHost();
                return;
            }
            socket->write(rest.left(chunkSize));
            rest.remove(0, chunkSize);
        });
        pacer->start(chunkPause);
    });
    if (!certificate.isNull()) {
        socket->setLocalCertificate(certificate);
        socket->setPrivateKey(key);
        socket->startServerEncryption();
    }
}

} // namespace tarvino::test
