#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "update/CheckFetch.h"

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace quorlane {

// A download that receives nothing for this long has stalled; the user then fetches it by hand.
inline constexpr int DownloadReadTimeoutMs = 30000;
inline constexpr int CheckMaxRedirects = 10;

// Where the website's requests go and what they trust. The program uses DefaultUpdateSource();
// tests point it at a server of their own.
struct TUpdateSource
{
    QUrl Base;                               // https root of the website
    QList<QSslCertificate> CaCertificates;   // trusted roots; empty means the system's
    int CheckDeadlineMs = quorlane::CheckDeadlineMs;   // the whole start-up check
    THostResolver Resolve;                             // empty: the system's resolver
    int DownloadTimeoutMs = DownloadReadTimeoutMs;
};

[[nodiscard]] TUpdateSource DefaultUpdateSource();

// One GET of a website resource: https with certificate checks, the website's User-Agent,
// redirects followed up to MaxRedirects (0: none) but never from https to http, and a read
// time-out that ends the request when nothing arrives for TimeoutMs. A status outside 2xx fails.
class TWebsiteGet : public QObject
{
    Q_OBJECT
public:
    TWebsiteGet(QNetworkAccessManager& Net, const TUpdateSource& Source, const char* Path, int TimeoutMs,
                int MaxRedirects, QObject* Parent = nullptr);
    ~TWebsiteGet() override;

    [[nodiscard]] QNetworkReply* Reply() const { return FReply; }
    // Processes events until the request has ended (user input too, so a Cancel can come in).
    void Wait();
    // Ends the request at once; it fails with Why.
    void Cancel(const QString& Why);

    [[nodiscard]] bool Finished() const { return FFinished; }
    [[nodiscard]] bool Succeeded() const { return FFinished && FFailure.isEmpty(); }
    [[nodiscard]] QString FailureText() const { return FFailure; }

signals:
    void ended();

private:
    void OnFinished();

    QNetworkReply* FReply = nullptr;
    QTimer FSilence;
    QString FFailure;
    QString FCancelReason;
    bool FFinished = false;
    int FTimeoutMs = 0;
};

}   // namespace quorlane
