#pragma once

// What the benchmarks share: a window without an operator, a clock that skips the
// prescribed pauses, and nginx on a free loopback port.

#include "RecordingWindow.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <cstdio>
#include <memory>

namespace tarvino::bench {

/// A benchmark has no operator: boxes and questions go to stderr, every question gets the same answer.
class BenchWindow final : public test::RecordingWindow {
public:
    explicit BenchWindow(Answer answer)
    {
        onMessage = [](const QString& text) { std::fprintf(stderr, "box: %s\n", qPrintable(text)); };
        onQuestion = [answer](const QString& text) {
            std::fprintf(stderr, "question (answered %s): %s\n", answer == Answer::Yes ? "Yes" : "No",
                         qPrintable(text));
            return answer;
        };
    }
};

/// The real clock, except that a sleep only moves it forward: both the time of
/// day and the monotonic clock run ahead by everything slept so far.
class SkippingClock final : public platform::Clock {
public:
    explicit SkippingClock(platform::Clock& real) : m_real(real) {}
    platform::LocalTime now() const override
    {
        const platform::LocalTime t = m_real.now();
        const QDateTime shifted =
            QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second, t.millisecond))
                .addMSecs(skipped.count());
        return {shifted.date().year(),   shifted.date().month(),  shifted.date().day(), shifted.time().hour(),
                shifted.time().minute(), shifted.time().second(), shifted.time().msec()};
    }
    std::chrono::milliseconds monotonic() const override { return m_real.monotonic() + skipped; }
    void sleep(std::chrono::milliseconds duration) override { skipped += duration; }

    std::chrono::milliseconds skipped{0};

private:
    platform::Clock& m_real;
};

/// The native platform with its pauses skipped; a benchmark may put timed file
/// operations or processes in front of the native ones.
class SkippingPlatform : public platform::Platform {
public:
    SkippingPlatform() : m_native(platform::createNativePlatform()), clockSkipping(m_native->clock()) {}
    platform::Clock& clock() override { return clockSkipping; }
    platform::FileSystem& files() override { return m_native->files(); }
    platform::Processes& processes() override { return m_native->processes(); }
    platform::WindowManager& windows() override { return m_native->windows(); }
    platform::Registry& registry() override { return m_native->registry(); }
    platform::SystemInfo& system() override { return m_native->system(); }

protected:
    platform::Platform& native() { return *m_native; }

private:
    std::unique_ptr<platform::Platform> m_native;

public:
    SkippingClock clockSkipping;
};

inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

/// A benchmark may wait in real time: it measures, it does not test.
inline bool waitForPort(quint16 port)
{
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100))
            return true;
        QThread::msleep(50);
    }
    return false;
}

/// nginx serving `www` on 127.0.0.1: http on `httpPort` and, with a certificate,
/// https on `httpsPort` and, given `http2Port`, https with HTTP/2 there. Its configuration, logs and temporary files live in
/// `root` + "nginx/".
class LoopbackNginx {
public:
    ~LoopbackNginx() { stop(); }

    bool start(const QString& root, const QString& www, quint16 httpPort, quint16 httpsPort = 0,
               const QString& certificate = {}, const QString& key = {}, quint16 http2Port = 0)
    {
        const QString folder = root + QStringLiteral("nginx/");
        QDir().mkpath(folder);
        QString servers =
            QStringLiteral("  server { listen 127.0.0.1:%1; root %2; }\n").arg(httpPort).arg(www);
        auto tlsServer = [&](quint16 port, const QString& listenOptions) {
            servers += QStringLiteral("  server { listen 127.0.0.1:%1 %2; root %3;\n"
                                      "           ssl_certificate %4; ssl_certificate_key %5; }\n")
                           .arg(port)
                           .arg(listenOptions, www, certificate, key);
        };
        if (httpsPort != 0)
            tlsServer(httpsPort, QStringLiteral("ssl"));
        if (http2Port != 0)
            tlsServer(http2Port, QStringLiteral("ssl http2"));
        const QString config =
            QStringLiteral(
                "daemon off; master_process off; worker_processes 1;\n"
                "pid %1nginx.pid; error_log %1error.log;\n"
                "events { worker_connections 64; }\n"
                "http {\n"
                "  access_log off; sendfile on; tcp_nopush on; default_type application/octet-stream;\n"
                "  client_body_temp_path %1body; proxy_temp_path %1proxy;\n"
                "  fastcgi_temp_path %1fastcgi; uwsgi_temp_path %1uwsgi; scgi_temp_path %1scgi;\n")
                .arg(folder) +
            servers + QStringLiteral("}\n");
        QFile file(folder + QStringLiteral("nginx.conf"));
        if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
            return false;
        file.close();
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral("nginx"), {QStringLiteral("-p"), folder, QStringLiteral("-e"),
                                                  folder + QStringLiteral("error.log"), QStringLiteral("-c"),
                                                  folder + QStringLiteral("nginx.conf")});
        return m_process.waitForStarted() && waitForPort(httpPort) &&
               (httpsPort == 0 || waitForPort(httpsPort)) && (http2Port == 0 || waitForPort(http2Port));
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
};

} // namespace tarvino::bench
