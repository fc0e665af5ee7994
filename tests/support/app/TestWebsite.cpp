#include "support/app/TestWebsite.h"

#include "update/Website.h"

using namespace quorlane;
using namespace quorlane::test;

TTestWebsite::TTestWebsite()
{
    Source.Base = Server.Url(QStringLiteral("/"));
    Source.CaCertificates = {TrustedTls().Certificate};
    Source.CheckDeadlineMs = 3000;
    Source.DownloadTimeoutMs = 60000;
}

void TTestWebsite::Serve(const TStandInAnswer& Version, const TStandInAnswer& Changes, const TStandInAnswer& Installer)
{
    Server.SetHandler([Version, Changes, Installer](const TRecordedRequest& Request) {
        if (Request.Target == VersionFilePath) return Version;
        if (Request.Target == ChangeListPath) return Changes;
        if (Request.Target == InstallerPath) return Installer;
        return NotFound();
    });
}

QByteArrayList TTestWebsite::Targets() const
{
    // The client may send a request again on a fresh connection; a repeat counts once.
    QByteArrayList Paths;
    for (const TRecordedRequest& Request : Server.Requests())
        if (Paths.isEmpty() || Paths.constLast() != Request.Target)
            Paths.append(Request.Target);
    return Paths;
}

TStandInAnswer TTestWebsite::Ok(const QByteArray& Body)
{
    return TStandInAnswer::Respond(200, "OK", Body);
}

TStandInAnswer TTestWebsite::NotFound()
{
    return TStandInAnswer::Respond(404, "Not Found", "");
}

TStandInAnswer TTestWebsite::Redirect(const QUrl& To)
{
    TStandInAnswer Answer = TStandInAnswer::Respond(302, "Found", "");
    Answer.Headers.append({"Location", To.toEncoded()});
    return Answer;
}
