#pragma once

#include "support/core/HttpStandIn.h"
#include "support/core/TestTls.h"
#include "update/WebsiteGet.h"

#include <QByteArrayList>
#include <QUrl>

// The product website for update tests: an HTTPS server on 127.0.0.1 whose certificate the
// update source trusts through its CA list, never by turning verification off.
class TTestWebsite
{
public:
    TTestWebsite();

    quorlane::test::HttpStandIn Server{quorlane::test::TrustedTls().ServerConfiguration()};
    quorlane::TUpdateSource Source;

    // The version file, the change list and the installer by path; any other path is 404.
    void Serve(const quorlane::test::TStandInAnswer& Version, const quorlane::test::TStandInAnswer& Changes,
               const quorlane::test::TStandInAnswer& Installer = NotFound());

    [[nodiscard]] QByteArrayList Targets() const;   // the paths asked for, in order, repeats once
    [[nodiscard]] QUrl Url(const QString& Path) const { return Server.Url(Path); }

    [[nodiscard]] static quorlane::test::TStandInAnswer Ok(const QByteArray& Body);
    [[nodiscard]] static quorlane::test::TStandInAnswer NotFound();
    [[nodiscard]] static quorlane::test::TStandInAnswer Redirect(const QUrl& To);
};
