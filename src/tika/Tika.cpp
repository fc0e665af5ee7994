#include "tika/Tika.h"

#include "text/TextFile.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>

#include <cerrno>
#include <new>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quorlane {

namespace {

QString MiB(qint64 Bytes)
{
    return QString::number(Bytes / (1024 * 1024));
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

// The server answered, but found no text in the document or could not parse it.
QString UnreadableDocumentText(const QString& FileName)
{
    return QStringLiteral("Apache Tika could not read %1 (it may be damaged or encrypted).")
        .arg(QFileInfo(FileName).fileName());
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

QString CapitalisedFirst(QString Message)
{
    if (!Message.isEmpty()) Message[0] = Message[0].toUpper();
    return Message;
}

// A broken connection in words. Qt calls a connection reset while the document is still being
// sent "Unknown error", and one closed before the answer "Connection closed".
QString ConnectionFailureText(QNetworkReply::NetworkError Code, const QString& QtText)
{
    switch (Code) {
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("The Tika server closed the connection before it had answered.");
    case QNetworkReply::UnknownNetworkError:
        return QStringLiteral("The connection to the Tika server broke off (the server reset it) before an answer came.");
    default:
        break;
    }
    const QString Text = QtText.trimmed();
    if (Text.isEmpty() || Text == QLatin1String("Unknown error"))
        return QStringLiteral("The connection to the Tika server failed (network error %1).").arg(int(Code));
    return Text;
}

QString Seconds(int Ms)
{
    return QString::number(Ms / 1000.0, 'g', 3);
}

// Gives the freed pages of a large failed answer back to the system, not only to the heap.
void ReturnFreedMemory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Cancelling

void TTikaCancel::Cancel()
{
    if (FCancelled) return;
    FCancelled = true;
    emit Cancelled();
}

QString TikaCancelledText()
{
    return QStringLiteral("Cancelled.");
}

// ---------------------------------------------------------------------------------------------
// The answer, decoded as it arrives

struct TTikaAnswerDecoder::TState
{
    // Strict UTF-8 check across pieces: the sequence under way.
    int Need = 0;              // continuation bytes still to come
    bool FirstFollow = false;  // the next one is the first continuation (its range is narrower)
    unsigned char Lo = 0x80, Hi = 0xBF, Lead = 0;
    qint64 LeadOffset = 0;

    // The check above lets only valid sequences through; this joins those cut between pieces.
    QStringDecoder Decoder{QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom};
    bool AtStart = true;       // a leading byte-order mark is dropped here

    QStringList Lines;
    QString Partial;           // the line under way when a piece ended inside it
    bool PendingCR = false;    // the last piece ended with CR: an LF next belongs to it

    // Offset of the first byte that breaks strict UTF-8, or -1.
    qint64 Check(const unsigned char* P, qsizetype N, qint64 Base)
    {
        for (qsizetype i = 0; i < N; ++i) {
            const unsigned char b = P[i];
            if (Need > 0) {
                const unsigned char lo = FirstFollow ? Lo : 0x80;
                const unsigned char hi = FirstFollow ? Hi : 0xBF;
                if (b < lo || b > hi) return LeadOffset;
                FirstFollow = false;
                --Need;
                continue;
            }
            if (b < 0x80) continue;
            Lo = 0x80;
            Hi = 0xBF;
            if (b >= 0xC2 && b <= 0xDF) {
                Need = 1;
            } else if (b >= 0xE0 && b <= 0xEF) {
                Need = 2;
                if (b == 0xE0) Lo = 0xA0;      // overlong
                else if (b == 0xED) Hi = 0x9F; // surrogates
            } else if (b >= 0xF0 && b <= 0xF4) {
                Need = 3;
                if (b == 0xF0) Lo = 0x90;      // overlong
                else if (b == 0xF4) Hi = 0x8F; // above U+10FFFF
            } else {
                Lead = b;
                return Base + i;
            }
            FirstFollow = true;
            Lead = b;
            LeadOffset = Base + i;
        }
        return -1;
    }

    void EndLine()
    {
        Lines.append(std::move(Partial));
        Partial = QString();
    }

    // Breaks at CR LF, LF and lone CR, as the text files are split.
    void Append(QStringView Text)
    {
        const char16_t* p = Text.utf16();
        const char16_t* const end = p + Text.size();
        if (PendingCR) {
            PendingCR = false;
            if (p < end && *p == u'\n') ++p;
        }
        const char16_t* start = p;
        for (; p < end; ++p) {
            const char16_t c = *p;
            if (c != u'\n' && c != u'\r') continue;
            if (Partial.isEmpty()) {
                Lines.append(QString(reinterpret_cast<const QChar*>(start), p - start));
            } else {
                Partial.append(reinterpret_cast<const QChar*>(start), p - start);
                Partial.squeeze();
                EndLine();
            }
            if (c == u'\r') {
                if (p + 1 < end) {
                    if (p[1] == u'\n') ++p;
                } else {
                    PendingCR = true;
                }
            }
            start = p + 1;
        }
        if (start < end) Partial.append(reinterpret_cast<const QChar*>(start), end - start);
    }
};

TTikaAnswerDecoder::TTikaAnswerDecoder(qint64 LimitBytes, qsizetype LineLimit)
    : F(std::make_unique<TState>())
    , FLimit(LimitBytes)
    , FLineLimit(LineLimit)
{
}

TTikaAnswerDecoder::~TTikaAnswerDecoder() = default;

QString TTikaAnswerDecoder::TooLargeText(qint64 LimitBytes)
{
    const QString size = LimitBytes % (1024 * 1024) == 0 ? MiB(LimitBytes) + QStringLiteral(" MiB")
                                                         : QString::number(LimitBytes) + QStringLiteral(" bytes");
    return QStringLiteral("The Tika server's answer is larger than %1, more text than a comparison takes.").arg(size);
}

bool TTikaAnswerDecoder::Feed(const char* Bytes, qsizetype Count)
{
    if (Failed()) return false;
    if (Count <= 0) return true;
    try {
        if (FReceived + Count > FLimit) {
            Discard();
            FError = TooLargeText(FLimit);
            return false;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(Bytes);
        const qint64 bad = F->Check(p, Count, FReceived);
        if (bad >= 0) {
            Discard();
            FError = QStringLiteral("The text sent by the Tika server is not valid UTF-8 (byte 0x%1 at offset %2).")
                         .arg(QString::number(F->Lead, 16).toUpper().rightJustified(2, u'0'))
                         .arg(bad);
            return false;
        }
        FReceived += Count;
        QString text = F->Decoder.decode(QByteArrayView(Bytes, Count));
        QStringView view(text);
        if (F->AtStart && !view.isEmpty()) {
            F->AtStart = false;
            if (view.front() == QChar(0xFEFF)) view = view.sliced(1);
        }
        if (!view.isEmpty()) FHasText = true;
        F->Append(view);
        if (F->Lines.size() > FLineLimit) {
            Discard();
            FError = QStringLiteral("The Tika server's answer has more than %1 lines, more text than a comparison takes.")
                         .arg(FLineLimit);
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        const qint64 received = FReceived;
        Discard();
        FOutOfMemory = true;
        FError = QStringLiteral("Not enough memory to hold the text (%1 MiB received).").arg(MiB(received));
        return false;
    }
}

bool TTikaAnswerDecoder::Finish()
{
    if (Failed()) return false;
    if (F->Need > 0) {
        const qint64 offset = F->LeadOffset;
        const unsigned char lead = F->Lead;
        Discard();
        FError = QStringLiteral("The text sent by the Tika server is not valid UTF-8 (byte 0x%1 at offset %2).")
                     .arg(QString::number(lead, 16).toUpper().rightJustified(2, u'0'))
                     .arg(offset);
        return false;
    }
    try {
        if (!F->Partial.isEmpty()) {
            F->Partial.squeeze();
            F->EndLine();
        }
        F->PendingCR = false;
    } catch (const std::bad_alloc&) {
        Discard();
        FOutOfMemory = true;
        FError = QStringLiteral("Not enough memory to hold the text (%1 MiB received).").arg(MiB(FReceived));
        return false;
    }
    return true;
}

QStringList TTikaAnswerDecoder::TakeLines()
{
    return std::exchange(F->Lines, QStringList());
}

void TTikaAnswerDecoder::Discard()
{
    F->Lines = QStringList();
    F->Partial = QString();
}

// ---------------------------------------------------------------------------------------------
// The request

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
    auto file = std::make_unique<QFile>();
    const TOpenResult opened = OpenRegularFile(FileName, *file);
    if (opened.Status == TOpenStatus::Opened)
        return file;
    QString why = opened.Reason;
    if (opened.Status == TOpenStatus::Folder)
        why = qt_error_string(EISDIR);
    else if (opened.Status == TOpenStatus::NotRegular)
        why = QStringLiteral("It is not a regular file (a device, a named pipe or a socket).");
    ErrorText = QStringLiteral("EFOpenError: Cannot open file \"%1\". %2")
                    .arg(QDir::toNativeSeparators(FileName), CapitalisedFirst(why));
    return nullptr;
}

TTikaExtraction ExtractTextWithTika(const QString& FileName, const TTikaRequest& Request)
{
    TTikaExtraction result;
    if (Request.Cancel && Request.Cancel->IsCancelled()) {
        result.Error = TikaCancelledText();
        return result;
    }
    const std::unique_ptr<QFile> file = OpenFileForReading(FileName, result.Error);
    if (!file) return result;

    // Why the wait ended early, if it did.
    enum class TEnd { Reply, Cancelled, Deadline, Refused };
    TEnd end = TEnd::Reply;
    TTikaAnswerDecoder decoder(Request.AnswerLimitBytes, Request.LineLimit);
    QString error;
    {
        // A manager of our own, created and destroyed on this thread, so none outlives it.
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy); // the server is local; never route it elsewhere
        const std::unique_ptr<QNetworkReply> reply(manager.put(MakeTikaRequest(Request.Endpoint, Request.ReadTimeoutMs),
                                                               file.get()));
        // Qt reads no further ahead than this, so the answer never piles up in its buffer.
        reply->setReadBufferSize(qint64(1) << 20);
        QEventLoop loop;
        const auto stop = [&](TEnd Why) {
            if (end != TEnd::Reply) return;
            end = Why;
            reply->abort();
            loop.quit();
        };

        // Only a 2xx answer is text; an error page is read and dropped.
        const auto isSuccess = [&] {
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            return !status.isValid() || (status.toInt() >= 200 && status.toInt() <= 299);
        };
        QByteArray piece(64 * 1024, Qt::Uninitialized);
        const auto drain = [&] {
            while (end == TEnd::Reply && reply->bytesAvailable() > 0) {
                const qint64 n = reply->read(piece.data(), piece.size());
                if (n <= 0) break;
                if (isSuccess() && !decoder.Feed(piece.constData(), n)) stop(TEnd::Refused);
            }
        };
        QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (isSuccess() && length.isValid() && length.toLongLong() > Request.AnswerLimitBytes) {
                error = TTikaAnswerDecoder::TooLargeText(Request.AnswerLimitBytes);
                stop(TEnd::Refused);
            }
        });
        QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, drain);
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer deadline;
        deadline.setSingleShot(true);
        if (Request.DeadlineMs > 0) {
            QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { stop(TEnd::Deadline); });
            deadline.start(Request.DeadlineMs);
        }
        if (Request.Cancel)
            QObject::connect(Request.Cancel, &TTikaCancel::Cancelled, &loop, [&] { stop(TEnd::Cancelled); });

        if (!reply->isFinished()) loop.exec(Request.WaitFlags);
        drain();

        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (end == TEnd::Cancelled) {
            error = TikaCancelledText();
        } else if (end == TEnd::Deadline) {
            error = QStringLiteral("Error: The Tika server took longer than %1 seconds, the most one document may take.")
                        .arg(Seconds(Request.DeadlineMs));
        } else if (end == TEnd::Refused) {
            if (decoder.OutOfMemory())
                error = QStringLiteral("Error: Not enough memory to load the text of %1 (%2 MiB received).")
                            .arg(QFileInfo(FileName).fileName(), MiB(decoder.BytesReceived()));
            else
                error = QStringLiteral("Error: ") + (decoder.Failed() ? decoder.Error() : error);
        } else if (status.isValid() && status.toInt() == 422) {
            error = UnreadableDocumentText(FileName);
            result.Unreadable = true;
        } else if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
            QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
            if (reason.isEmpty()) reason = StandardReasonPhrase(status.toInt());
            error = QStringLiteral("HTTP error (%1): %2").arg(status.toInt()).arg(reason);
        } else if (reply->error() == QNetworkReply::OperationCanceledError) {
            // Nothing else aborts a request: the transfer time-out did.
            error = QStringLiteral("Error: The Tika server did not answer within %1 seconds.")
                        .arg(Seconds(Request.ReadTimeoutMs));
        } else if (reply->error() != QNetworkReply::NoError) {
            error = QStringLiteral("Error: ") + ConnectionFailureText(reply->error(), reply->errorString());
        } else if (!decoder.Finish()) {
            error = decoder.OutOfMemory()
                ? QStringLiteral("Error: Not enough memory to load the text of %1 (%2 MiB received).")
                      .arg(QFileInfo(FileName).fileName(), MiB(decoder.BytesReceived()))
                : QStringLiteral("Error: ") + decoder.Error();
        } else if (!decoder.HasText()) {
            error = UnreadableDocumentText(FileName);
            result.Unreadable = true;
        }
    } // the reply goes before the manager, and both before the file it reads
    file->close();

    if (!error.isEmpty()) {
        const bool large = decoder.BytesReceived() > (qint64(1) << 20);
        decoder.Discard();
        result.Error = error;
        if (large) ReturnFreedMemory();
        return result;
    }
    result.Lines = decoder.TakeLines();
    result.Ok = true;
    return result;
}

QString ComposeTikaFailureText(bool LeftOk, const QString& LeftError, bool RightOk, const QString& RightError)
{
    QString text = QStringLiteral("Comparison failed.\r\n");
    text += LeftOk ? QStringLiteral("Left: OK") : QStringLiteral("Left: ") + LeftError;
    text += QStringLiteral("\r\n");
    text += RightOk ? QStringLiteral("Right: OK") : QStringLiteral("Right: ") + RightError;
    return text;
}

} // namespace quorlane
