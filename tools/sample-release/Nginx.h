#pragma once

// nginx serving one folder on free loopback ports, run in the foreground as a child of its
// owner so that it ends with it: for the end-to-end tests, the benchmarks and the demo.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tarvino {

struct NginxTls {
    QString certificate; // with any authorities the server sends after its own certificate
    QString key;
    bool http2 = false; // a third server: https with HTTP/2
};

class Nginx {
public:
    /// http on `httpPort`; with a certificate, https on `httpsPort` too. `extra`: more directives
    /// for every server.
    explicit Nginx(const QString& www, const NginxTls& tls = {}, const QString& extra = {});
    ~Nginx() { stop(); }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;
    /// Fast shutdown: open connections are closed at once.
    void stop();

    quint16 httpPort = 0;
    quint16 httpsPort = 0;
    quint16 http2Port = 0;
    bool running = false;
    QString error;

private:
    bool listening(const QList<quint16>& ports);

    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace tarvino
