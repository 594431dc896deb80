#include "Nginx.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace tarvino {
namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

Nginx::Nginx(const QString& www, const NginxTls& tls, const QString& extra)
{
    const QString dir = m_dir.path() + QLatin1Char('/');
    QString conf =
        QStringLiteral("daemon off; worker_processes 1; pid %1nginx.pid; error_log %1error.log;\n"
                       "events { worker_connections 64; }\nhttp {\n"
                       "  access_log off; sendfile on; default_type application/octet-stream;\n"
                       "  client_body_temp_path %1body; proxy_temp_path %1proxy; fastcgi_temp_path %1fcgi;\n"
                       "  uwsgi_temp_path %1uwsgi; scgi_temp_path %1scgi;\n")
            .arg(dir);
    const QString server = QStringLiteral("  server { listen 127.0.0.1:%1 %2; root %3; %4 %5 }\n");
    const QString certificate =
        QStringLiteral("ssl_certificate %1; ssl_certificate_key %2;").arg(tls.certificate, tls.key);
    // Workers of a server started by root would run as an account that cannot read the served folder.
    if (::geteuid() == 0)
        conf.prepend(QStringLiteral("user %1 %2;\n")
                         .arg(QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name),
                              QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name)));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // A port found free can be taken before nginx binds it: try again with others.
    for (int attempt = 0; attempt < 5 && !running; ++attempt) {
        httpPort = freePort();
        httpsPort = tls.certificate.isEmpty() ? 0 : freePort();
        http2Port = tls.http2 ? freePort() : 0;
        QString servers = server.arg(QString::number(httpPort), QString(), www, QString(), extra);
        if (httpsPort)
            servers += server.arg(QString::number(httpsPort), QStringLiteral("ssl"), www, certificate, extra);
        if (http2Port)
            servers +=
                server.arg(QString::number(http2Port), QStringLiteral("ssl http2"), www, certificate, extra);
        QFile file(dir + QStringLiteral("nginx.conf"));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write((conf + servers + QStringLiteral("}\n")).toUtf8()) < 0) {
            error = file.errorString();
            return;
        }
        file.close();
        m_process.start(QStringLiteral("nginx"),
                        {QStringLiteral("-p"), dir, QStringLiteral("-c"), file.fileName(),
                         QStringLiteral("-e"), dir + QStringLiteral("error.log")});
        running = m_process.waitForStarted(10000) && listening({httpPort, httpsPort, http2Port});
        if (!running) {
            QFile log(dir + QStringLiteral("error.log"));
            log.open(QIODevice::ReadOnly);
            error = m_process.errorString() + QLatin1Char(' ') +
                    QString::fromLocal8Bit(m_process.readAll() + log.readAll());
            stop();
        }
    }
}

void Nginx::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    running = false;
}

// Every port accepts, or nginx has ended (a port was taken); bounded by the waits.
bool Nginx::listening(const QList<quint16>& ports)
{
    for (int i = 0; i < 100; ++i) {
        bool all = true;
        for (const quint16 port : ports) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            all = all && (port == 0 || socket.waitForConnected(100));
        }
        if (all)
            return true;
        if (m_process.waitForFinished(50))
            return false;
    }
    return false;
}

} // namespace tarvino
