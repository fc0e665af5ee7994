#pragma once

// Certificates for HTTPS servers inside the test process, made once per process with the
// openssl command: the client trusts one by naming it as its CA certificate, never by turning
// verification off.

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>

namespace quorlane::test {

struct TTestTls {
    QSslCertificate Certificate; // self-signed, for 127.0.0.1
    QSslKey Key;
    QString Error;               // why they could not be made; empty when they are there

    [[nodiscard]] bool IsValid() const { return Error.isEmpty() && !Certificate.isNull() && !Key.isNull(); }
    // What a server presents.
    [[nodiscard]] QSslConfiguration ServerConfiguration() const;
};

// The certificate a test's client trusts.
[[nodiscard]] const TTestTls& TrustedTls();
// Another self-signed certificate for 127.0.0.1 that nobody trusts.
[[nodiscard]] const TTestTls& StrangerTls();

} // namespace quorlane::test
