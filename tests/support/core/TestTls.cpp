#include "support/core/TestTls.h"

#include <QFile>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>

namespace quorlane::test {

namespace {

TTestTls MakeTls()
{
    TTestTls tls;
    QTemporaryDir dir;
    const QString keyFile = dir.filePath(QStringLiteral("key.pem"));
    const QString certFile = dir.filePath(QStringLiteral("cert.pem"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile, QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        tls.Error = QStringLiteral("openssl could not make a test certificate: %1 %2")
                        .arg(openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
        return tls;
    }
    QFile key(keyFile);
    QFile cert(certFile);
    if (!key.open(QIODevice::ReadOnly) || !cert.open(QIODevice::ReadOnly)) {
        tls.Error = QStringLiteral("the test certificate files cannot be read");
        return tls;
    }
    tls.Key = QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem);
    tls.Certificate = QSslCertificate(cert.readAll(), QSsl::Pem);
    if (tls.Key.isNull() || tls.Certificate.isNull())
        tls.Error = QStringLiteral("the test certificate does not load (TLS backend: %1)").arg(QSslSocket::activeBackend());
    return tls;
}

} // namespace

QSslConfiguration TTestTls::ServerConfiguration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(Certificate);
    configuration.setPrivateKey(Key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // clients show no certificate
    return configuration;
}

const TTestTls& TrustedTls()
{
    static const TTestTls tls = MakeTls();
    return tls;
}

const TTestTls& StrangerTls()
{
    static const TTestTls tls = MakeTls();
    return tls;
}

} // namespace quorlane::test
