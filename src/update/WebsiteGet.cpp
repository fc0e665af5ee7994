#include "update/WebsiteGet.h"

#include "update/Website.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

namespace quorlane {

TUpdateSource DefaultUpdateSource()
{
    TUpdateSource Source;
    Source.Base = WebsiteHomeUrl();
    return Source;
}

TWebsiteGet::TWebsiteGet(QNetworkAccessManager& Net, const TUpdateSource& Source, const char* Path, int TimeoutMs,
                         int MaxRedirects, QObject* Parent)
    : QObject(Parent)
    , FTimeoutMs(TimeoutMs)
{
    QNetworkRequest Request(WebsiteResource(Source.Base, Path));
    Request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(WebsiteUserAgent));
    if (MaxRedirects > 0) {
        // Never from https down to plain http: what arrives over it could be anybody's.
        Request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        Request.setMaximumRedirectsAllowed(MaxRedirects);
    } else {
        Request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    }
    QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
    if (!Source.CaCertificates.isEmpty())
        Tls.setCaCertificates(Source.CaCertificates);
    Tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    Request.setSslConfiguration(Tls);

    // The read time-out: restarted by every sign of life, it ends a request that has gone silent.
    FSilence.setSingleShot(true);
    FSilence.setInterval(TimeoutMs);
    connect(&FSilence, &QTimer::timeout, this, [this] {
        Cancel(QStringLiteral("The website sent nothing for %1 seconds.").arg(FTimeoutMs / 1000.0));
    });

    FReply = Net.get(Request);
    const auto Alive = [this] {
        if (!FFinished)
            FSilence.start();
    };
    connect(FReply, &QNetworkReply::metaDataChanged, this, Alive);
    connect(FReply, &QNetworkReply::readyRead, this, Alive);
    connect(FReply, &QNetworkReply::downloadProgress, this, Alive);
    connect(FReply, &QNetworkReply::redirected, this, Alive);
    connect(FReply, &QNetworkReply::encrypted, this, Alive);
    connect(FReply, &QNetworkReply::finished, this, &TWebsiteGet::OnFinished);
    FSilence.start();
}

TWebsiteGet::~TWebsiteGet()
{
    if (FReply) {
        FReply->disconnect(this);
        if (!FFinished)
            FReply->abort();
        delete FReply;
    }
}

void TWebsiteGet::Wait()
{
    if (FFinished)
        return;
    QEventLoop Loop;
    connect(this, &TWebsiteGet::ended, &Loop, &QEventLoop::quit);
    Loop.exec();
}

void TWebsiteGet::Cancel(const QString& Why)
{
    if (FFinished || !FCancelReason.isEmpty())
        return;
    FCancelReason = Why;
    FReply->abort();   // finishes the reply at once, through OnFinished
}

void TWebsiteGet::OnFinished()
{
    if (FFinished)
        return;
    FFinished = true;
    FSilence.stop();
    const QVariant Status = FReply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!FCancelReason.isEmpty()) {
        FFailure = FCancelReason;
    } else if (FReply->error() != QNetworkReply::NoError) {
        FFailure = FReply->errorString();
    } else if (const int Code = Status.toInt(); Code < 200 || Code > 299) {
        // A redirect that is not followed ends here too.
        const QString Reason = FReply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        const QUrl Target = FReply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        FFailure = Target.isEmpty()
            ? QStringLiteral("The website answered %1 %2.").arg(QString::number(Code), Reason)
            : QStringLiteral("The website answered %1 %2 and sent the request to %3; the download does not follow "
                             "redirects.")
                  .arg(QString::number(Code), Reason, FReply->url().resolved(Target).toString());
    }
    emit ended();
}

}   // namespace quorlane
