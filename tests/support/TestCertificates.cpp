#include "TestCertificates.h"

#include <QFile>
#include <QProcess>

namespace tarvino::test {

const TestCertificates& TestCertificates::instance()
{
    static const TestCertificates certificates;
    return certificates;
}

bool TestCertificates::run(const QStringList& arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        m_error = QStringLiteral("openssl ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                  QString::fromLocal8Bit(openssl.readAll()) + openssl.errorString();
        return false;
    }
    return true;
}

TestCertificates::TestCertificates()
{
    const QString dir = m_dir.path() + QLatin1Char('/');
    authorityPath = dir + QStringLiteral("ca.pem");
    serverCertificatePath = dir + QStringLiteral("server.pem");
    serverKeyPath = dir + QStringLiteral("server.key");

    QFile extensions(dir + QStringLiteral("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly)) {
        m_error = extensions.errorString();
        return;
    }
    extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                     "basicConstraints=CA:FALSE\n"
                     "keyUsage=critical,digitalSignature\n"
                     "extendedKeyUsage=serverAuth\n");
    extensions.close();

    const QStringList ec = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    const bool made =
        run(QStringList {QStringLiteral("req"), QStringLiteral("-x509")} + ec +
            QStringList {QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                         QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                         QStringLiteral("-subj"), QStringLiteral("/CN=Tarvino Test CA"), QStringLiteral("-addext"),
                         QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                         QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}) &&
        run(QStringList {QStringLiteral("req"), QStringLiteral("-new")} + ec +
            QStringList {QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                         QStringLiteral("server.csr"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")}) &&
        run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
             QStringLiteral("-CA"), QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
             QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), QStringLiteral("server.pem"),
             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), QStringLiteral("server.ext")});
    if (!made)
        return;

    QFile certificate(serverCertificatePath);
    QFile key(serverKeyPath);
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("certificate files not readable");
        return;
    }
    serverCertificate = QSslCertificate(certificate.readAll(), QSsl::Pem);
    serverKey = QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem);
    if (serverCertificate.isNull() || serverKey.isNull())
        m_error = QStringLiteral("certificate or key not understood");
}

} // namespace tarvino::test
