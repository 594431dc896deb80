#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QTemporaryDir>

namespace tarvino::test {

/// A test authority and a server certificate it signed for 127.0.0.1 and localhost,
/// made with the openssl command into a temporary folder once per test program.
class TestCertificates {
public:
    static const TestCertificates& instance();

    bool ok() const { return m_error.isEmpty() && !serverCertificate.isNull() && !serverKey.isNull(); }
    QString error() const { return m_error; }

    QString authorityPath;         // PEM of the authority
    QString serverCertificatePath; // PEM of the server certificate
    QString serverKeyPath;         // PEM of its private key
    QSslCertificate serverCertificate;
    QSslKey serverKey;

private:
    TestCertificates();

    QTemporaryDir m_dir;
    QString m_error;
};

} // namespace tarvino::test
