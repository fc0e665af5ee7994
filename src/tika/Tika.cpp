#include "tika/Tika.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

namespace quorlane {

namespace {

// Offset of the first byte that does not start a valid UTF-8 sequence, or -1 when all are valid.
// Strict: no overlong forms, no encoded surrogates, nothing above U+10FFFF.
qsizetype FirstInvalidUtf8Offset(const QByteArray& Bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(Bytes.constData());
    const qsizetype n = Bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int follow = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            follow = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            follow = 2;
            if (b == 0xE0) lo = 0xA0;      // overlong
            else if (b == 0xED) hi = 0x9F; // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            follow = 3;
            if (b == 0xF0) lo = 0x90;      // overlong
            else if (b == 0xF4) hi = 0x8F; // above U+10FFFF
        } else {
            return i;
        }
        if (i + follow >= n) return i; // cut off at the end
        for (int k = 1; k <= follow; ++k) {
            const unsigned char c = p[i + k];
            const unsigned char min = k == 1 ? lo : 0x80;
            const unsigned char max = k == 1 ? hi : 0xBF;
            if (c < min || c > max) return i;
        }
        i += follow + 1;
    }
    return -1;
}

// The Tika server's answer as text; sets Error when it is not strict UTF-8.
QString DecodeStrictUtf8(const QByteArray& Bytes, QString& Error)
{
    const qsizetype bad = FirstInvalidUtf8Offset(Bytes);
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder.decode(Bytes);
    if (bad >= 0 || decoder.hasError()) {
        Error = bad >= 0
            ? QStringLiteral("The text sent by the Tika server is not valid UTF-8 (byte 0x%1 at offset %2).")
                  .arg(QString::number(static_cast<unsigned char>(Bytes.at(bad)), 16).toUpper().rightJustified(2, u'0'))
                  .arg(bad)
            : QStringLiteral("The text sent by the Tika server is not valid UTF-8.");
        return {};
    }
    return text;
}

// Reason phrases for servers that send a status line without one.
QString StandardReasonPhrase(int Status)
{
    switch (Status) {
    case 400: return QStringLiteral("Bad Request");
    case 404: return QStringLiteral("Not Found");
    case 405: return QStringLiteral("Method Not Allowed");
    case 413: return QStringLiteral("Payload Too Large");
    case 415: return QStringLiteral("Unsupported Media Type");
    case 422: return QStringLiteral("Unprocessable Entity");
    case 500: return QStringLiteral("Internal Server Error");
    case 502: return QStringLiteral("Bad Gateway");
    case 503: return QStringLiteral("Service Unavailable");
    case 504: return QStringLiteral("Gateway Timeout");
    default: return {};
    }
}

QNetworkRequest MakeTikaRequest(const QUrl& Endpoint, int ReadTimeoutMs)
{
    QNetworkRequest request(Endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/octet-stream"));
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("text/plain; charset=utf-8"));
    request.setTransferTimeout(ReadTimeoutMs);
    // A redirect would have to send the whole document again; treat it as the error it is here.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    return request;
}

// Blocks until the reply has finished; user input stays queued meanwhile.
void WaitForFinished(QNetworkReply& Reply)
{
    if (Reply.isFinished()) return;
    QEventLoop loop;
    QObject::connect(&Reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// The error text of a finished reply, empty when it succeeded; Text receives the decoded body.
QString EvaluateReply(QNetworkReply& Reply, int ReadTimeoutMs, QString& Text)
{
    const QVariant status = Reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        QString reason = Reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        if (reason.isEmpty()) reason = StandardReasonPhrase(status.toInt());
        return QStringLiteral("HTTP error (%1): %2").arg(status.toInt()).arg(reason);
    }
    if (Reply.error() == QNetworkReply::OperationCanceledError) {
        // Nothing here cancels a request: the transfer time-out did.
        return QStringLiteral("Error: The Tika server did not answer within %1 seconds.")
            .arg(QString::number(ReadTimeoutMs / 1000.0, 'g', 3));
    }
    if (Reply.error() != QNetworkReply::NoError)
        return QStringLiteral("Error: ") + Reply.errorString();
    QString decodeError;
    Text = DecodeStrictUtf8(Reply.readAll(), decodeError);
    if (!decodeError.isEmpty()) return QStringLiteral("Error: ") + decodeError;
    return {};
}

QString CapitalisedFirst(QString Message)
{
    if (!Message.isEmpty()) Message[0] = Message[0].toUpper();
    return Message;
}

} // namespace

QUrl DefaultTikaEndpoint()
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("localhost"));
    url.setPort(TikaDefaultPort);
    url.setPath(QString::fromLatin1(TikaDefaultPath));
    return url;
}

std::unique_ptr<QFile> OpenFileForReading(const QString& FileName, QString& ErrorText)
{
    ErrorText.clear();
    auto file = std::make_unique<QFile>(FileName);
    if (file->open(QIODevice::ReadOnly)) return file;
    ErrorText = QStringLiteral("EFOpenError: Cannot open file \"%1\". %2")
                    .arg(QDir::toNativeSeparators(FileName), CapitalisedFirst(file->errorString()));
    return nullptr;
}

bool ExtractTextWithTika(const QString& FileName, QString& Text, QString& ErrorText,
                         const QUrl& Endpoint, int ReadTimeoutMs)
{
    Text.clear();
    ErrorText.clear();
    const std::unique_ptr<QFile> file = OpenFileForReading(FileName, ErrorText);
    if (!file) return false;

    QString text;
    {
        // A manager of our own, created and destroyed on this thread, so none outlives it.
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy); // the server is local; never route it elsewhere
        const std::unique_ptr<QNetworkReply> reply(manager.put(MakeTikaRequest(Endpoint, ReadTimeoutMs), file.get()));
        WaitForFinished(*reply);
        ErrorText = EvaluateReply(*reply, ReadTimeoutMs, text);
    } // the reply goes before the manager, and both before the file it reads
    file->close();

    if (!ErrorText.isEmpty() || text.isEmpty()) return false;
    Text = text;
    return true;
}

QString ComposeTikaFailureText(bool LeftOk, const QString& LeftError, bool RightOk, const QString& RightError)
{
    QString text = QStringLiteral("Comparison failed.\r\n");
    text += LeftOk ? QStringLiteral("Left: OK") : QStringLiteral("Left: ") + LeftError;
    text += QStringLiteral("\r\n");
    text += RightOk ? QStringLiteral("Right: OK") : QStringLiteral("Right: ") + RightError;
    return text;
}

QString TikaFailureWarningText(const QString& FailureText, const QString& AppTitle)
{
    return FailureText + QStringLiteral("\r\n\r\n")
        + QStringLiteral("Perhaps you opted out of installing TIKA? If so, please reinstall %1 and confirm "
                         "the TIKA installation when prompted.")
              .arg(AppTitle);
}

} // namespace quorlane
