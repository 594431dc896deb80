#include "TestCertificates.h"

#include <QFile>
#include <QProcess>

namespace tarvino::test {

const TestCertificates& TestCertificates::instance()
{
    static const TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates()
{
    authorityPath = m_dir.filePath(QStringLiteral("ca.pem"));
    serverCertificatePath = m_dir.filePath(QStringLiteral("server.pem"));
    serverKeyPath = m_dir.filePath(QStringLiteral("server.key"));
    const QString ec = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ");
    const QString commands[] = {
        QStringLiteral("req -x509 ") + ec +
            QStringLiteral("-keyout ca.key -out ca.pem -days 2 -subj /CN=Tarvino-Test-CA -addext "
                           "basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign"),
        QStringLiteral("req -x509 -CA ca.pem -CAkey ca.key ") + ec +
            QStringLiteral(
                "-keyout server.key -out server.pem -days 2 -subj /CN=127.0.0.1 -addext "
                "subjectAltName=IP:127.0.0.1,DNS:localhost -addext basicConstraints=CA:FALSE -addext "
                "keyUsage=critical,digitalSignature -addext extendedKeyUsage=serverAuth"),
    };
    for (const QString& command : commands) {
        QProcess openssl;
        openssl.setWorkingDirectory(m_dir.path());
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        // No argument holds a blank.
        openssl.start(QStringLiteral("openssl"), command.split(QLatin1Char(' ')));
        if (m_error.isEmpty() && (!openssl.waitForFinished(60000) ||
                                  openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0))
            m_error = QStringLiteral("openssl ") + command + QStringLiteral(": ") +
                      QString::fromLocal8Bit(openssl.readAll());
    }
    QFile key(serverKeyPath);
    if (m_error.isEmpty() && key.open(QIODevice::ReadOnly)) {
        serverCertificate = QSslCertificate::fromPath(serverCertificatePath).value(0);
        serverKey = QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem);
    }
    if (m_error.isEmpty() && !ok())
        m_error = QStringLiteral("certificate or key not made");
}

} // namespace tarvino::test
