#include "update/CheckFetch.h"

#include "update/Website.h"
#include "update/WebsiteGet.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <condition_variable>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include <netdb.h>
#include <sys/socket.h>

namespace quorlane {

namespace {

// Chunk framing may add this much to a body on the wire before the answer counts as too long.
constexpr qsizetype FramingAllowance = 8;
constexpr qsizetype MaxChunkLine = 1024;
constexpr qint64 ReadPiece = 16 * 1024;

QList<QHostAddress> SystemResolve(const QString& Host)
{
    QList<QHostAddress> Addresses;
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* Found = nullptr;
    if (::getaddrinfo(QUrl::toAce(Host).constData(), nullptr, &Hints, &Found) != 0)
        return Addresses;
    for (const addrinfo* Entry = Found; Entry; Entry = Entry->ai_next) {
        const QHostAddress Address(Entry->ai_addr);
        if (!Address.isNull() && !Addresses.contains(Address))
            Addresses.append(Address);
    }
    ::freeaddrinfo(Found);
    return Addresses;
}

[[nodiscard]] bool IsRedirect(int Status)
{
    return Status == 301 || Status == 302 || Status == 303 || Status == 307 || Status == 308;
}

[[nodiscard]] QByteArray RequestFor(const QUrl& Url)
{
    QByteArray Target = Url.path(QUrl::FullyEncoded).toLatin1();
    if (Target.isEmpty())
        Target = "/";
    if (Url.hasQuery())
        Target += '?' + Url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray Host = QUrl::toAce(Url.host());
    if (Url.port() > 0 && Url.port() != 443)
        Host += ':' + QByteArray::number(Url.port());
    return "GET " + Target + " HTTP/1.1\r\nHost: " + Host + "\r\nUser-Agent: " + QByteArray(WebsiteUserAgent)
        + "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
}

struct TExchange
{
    QString Failure;         // empty: the reader holds a whole answer
    bool Connected = false;  // a connection was made, so another address would not help
};

// One request on one connection to Address, read through Reader until the answer is whole, the
// connection fails or the deadline passes.
TExchange ExchangeWith(const TUpdateSource& Source, const QUrl& Url, const QHostAddress& Address,
                       const QDeadlineTimer& Deadline, THttpAnswerReader& Reader, qint64& BytesReceived)
{
    TExchange Result;
    QSslSocket Socket;
    Socket.setProxy(QNetworkProxy::NoProxy);
    Socket.setReadBufferSize(ReadPiece);
    QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
    if (!Source.CaCertificates.isEmpty())
        Tls.setCaCertificates(Source.CaCertificates);
    Tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    Socket.setSslConfiguration(Tls);

    QEventLoop Loop;
    bool Ended = false;
    const auto End = [&](const QString& Why) {
        if (Ended)
            return;
        Ended = true;
        Result.Failure = Why;
        Loop.quit();
    };
    const auto Take = [&] {
        while (!Ended && Socket.bytesAvailable() > 0) {
            const QByteArray Piece = Socket.read(ReadPiece);
            BytesReceived += Piece.size();
            const THttpAnswerReader::TState State = Reader.Feed(Piece);
            if (State == THttpAnswerReader::TState::Done)
                End({});
            else if (State == THttpAnswerReader::TState::Failed)
                End(Reader.Failure());
        }
    };
    const auto Closed = [&] {
        Take();
        if (Ended)
            return;
        End(Reader.Closed() == THttpAnswerReader::TState::Done ? QString() : Reader.Failure());
    };
    QObject::connect(&Socket, &QSslSocket::encrypted, &Loop, [&] {
        Result.Connected = true;
        Socket.write(RequestFor(Url));
    });
    QObject::connect(&Socket, &QIODevice::readyRead, &Loop, Take);
    QObject::connect(&Socket, &QAbstractSocket::disconnected, &Loop, Closed);
    QObject::connect(&Socket, &QAbstractSocket::errorOccurred, &Loop, [&](QAbstractSocket::SocketError Error) {
        if (Error == QAbstractSocket::RemoteHostClosedError && Result.Connected)
            Closed();
        else
            End(Socket.errorString());
    });
    QTimer Timer;
    Timer.setSingleShot(true);
    QObject::connect(&Timer, &QTimer::timeout, &Loop,
                     [&] { End(QStringLiteral("The website did not answer within %1 ms.").arg(Source.CheckDeadlineMs)); });

    const qint64 Left = Deadline.remainingTime();
    if (Left <= 0)
        return {QStringLiteral("The website did not answer in time."), false};
    Timer.start(std::chrono::milliseconds(Left));
    const quint16 Port = quint16(Url.port(443));
    // The address is given, so the socket looks nothing up; the name still decides the
    // certificate check and the server name the handshake announces.
    Socket.connectToHostEncrypted(Address.toString(), Port, Url.host());
    if (!Ended)
        Loop.exec(QEventLoop::ExcludeUserInputEvents);
    Socket.disconnect(&Loop);
    Socket.abort();
    return Result;
}

}   // namespace

std::optional<QList<QHostAddress>> ResolveWithin(const QString& Host, const QDeadlineTimer& Deadline,
                                                 const THostResolver& Resolver)
{
    if (QHostAddress Literal; Literal.setAddress(Host))
        return QList<QHostAddress>{Literal};

    struct TLookup
    {
        std::mutex Lock;
        std::condition_variable Changed;
        bool Finished = false;
        QList<QHostAddress> Addresses;
    };
    auto Lookup = std::make_shared<TLookup>();
    const THostResolver Resolve = Resolver ? Resolver : THostResolver(SystemResolve);
    try {
        // Detached: the process never waits for it, neither here after the deadline nor at exit.
        std::thread([Lookup, Resolve, Host] {
            QList<QHostAddress> Addresses = Resolve(Host);
            const std::lock_guard<std::mutex> Guard(Lookup->Lock);
            Lookup->Addresses = std::move(Addresses);
            Lookup->Finished = true;
            Lookup->Changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    std::unique_lock<std::mutex> Guard(Lookup->Lock);
    const auto Left = std::chrono::milliseconds(std::max<qint64>(0, Deadline.remainingTime()));
    if (!Lookup->Changed.wait_for(Guard, Left, [&] { return Lookup->Finished; }) || Lookup->Addresses.isEmpty())
        return std::nullopt;
    return Lookup->Addresses;
}

// ---------------------------------------------------------------------------------------------

THttpAnswerReader::THttpAnswerReader(qsizetype BodyCap, qsizetype HeadCap)
    : FBodyCap(BodyCap)
    , FHeadCap(HeadCap)
{
}

THttpAnswerReader::TState THttpAnswerReader::Fail(const QString& Why)
{
    FState = TState::Failed;
    FFailure = Why;
    FPending.clear();
    FBody.clear();   // a refused answer has no body, however much of it had come
    return FState;
}

bool THttpAnswerReader::AppendBody(QByteArrayView Piece)
{
    if (FBody.size() + Piece.size() > FBodyCap) {
        Fail(QStringLiteral("The answer is larger than %1 bytes.").arg(FBodyCap));
        return false;
    }
    FBody.append(Piece);
    return true;
}

THttpAnswerReader::TState THttpAnswerReader::Feed(QByteArrayView Bytes)
{
    qsizetype Pos = 0;
    while (FState == TState::Reading && Pos < Bytes.size()) {
        if (FPart == TPart::Body || FPart == TPart::ChunkData) {
            const qsizetype Count = FLeft < 0 ? Bytes.size() - Pos : qsizetype(std::min<qint64>(FLeft, Bytes.size() - Pos));
            if (!AppendBody(Bytes.sliced(Pos, Count)))
                break;
            Pos += Count;
            if (FLeft < 0)
                continue;
            FLeft -= Count;
            if (FLeft == 0) {
                if (FPart == TPart::Body)
                    FState = TState::Done;
                else
                    FPart = TPart::ChunkEnd;
            }
            continue;
        }
        // Line by line: the head, chunk sizes and trailers. A line may arrive in many pieces,
        // but never grows past what its part allows.
        const qsizetype Newline = Bytes.indexOf('\n', Pos);
        const qsizetype End = Newline < 0 ? Bytes.size() : Newline + 1;
        FPending.append(Bytes.sliced(Pos, End - Pos));
        Pos = End;
        const bool InHead = FPart == TPart::StatusLine || FPart == TPart::Headers || FPart == TPart::Trailers;
        if (InHead && FHeadBytes + FPending.size() > FHeadCap)
            return Fail(QStringLiteral("The answer's headers are longer than %1 bytes.").arg(FHeadCap));
        if (!InHead && FPending.size() > MaxChunkLine)
            return Fail(QStringLiteral("The answer's chunk framing is broken."));
        if (Newline < 0)
            break;
        QByteArray Line;
        if (!TakeLine(Line))
            break;
    }
    return FState;
}

bool THttpAnswerReader::TakeLine(QByteArray& Line)
{
    if (FPart == TPart::StatusLine || FPart == TPart::Headers || FPart == TPart::Trailers)
        FHeadBytes += FPending.size();
    Line = std::move(FPending);
    FPending.clear();
    while (Line.endsWith('\n') || Line.endsWith('\r'))
        Line.chop(1);
    return ReadLine(Line);
}

bool THttpAnswerReader::ReadLine(const QByteArray& Line)
{
    switch (FPart) {
    case TPart::StatusLine: {
        // "HTTP/1.1 200 OK"
        bool Ok = false;
        const int Code = Line.mid(9, 3).toInt(&Ok);
        if (!Line.startsWith("HTTP/1.") || Line.size() < 12 || !Ok || Code < 100 || Code > 999)
            return Fail(QStringLiteral("The answer is not HTTP.")), false;
        FStatus = Code;
        FPart = TPart::Headers;
        return true;
    }
    case TPart::Headers: {
        if (Line.isEmpty())
            return EndOfHead();
        const qsizetype Colon = Line.indexOf(':');
        if (Colon <= 0)
            return Fail(QStringLiteral("The answer has a broken header line.")), false;
        const QByteArray Name = Line.left(Colon).trimmed().toLower();
        const QByteArray Value = Line.mid(Colon + 1).trimmed();
        if (Name == "content-length") {
            bool Ok = false;
            const qint64 Length = Value.toLongLong(&Ok);
            if (!Ok || Length < 0 || (FLength >= 0 && Length != FLength))
                return Fail(QStringLiteral("The answer has a broken length.")), false;
            FLength = Length;
        } else if (Name == "transfer-encoding") {
            FChunked = Value.toLower().contains("chunked");
        } else if (Name == "location") {
            FLocation = Value;
        }
        return true;
    }
    case TPart::ChunkSize: {
        bool Ok = false;
        const QByteArray Digits = Line.left(Line.indexOf(';') < 0 ? Line.size() : Line.indexOf(';')).trimmed();
        const qint64 Size = Digits.size() <= 15 ? Digits.toLongLong(&Ok, 16) : -1;
        if (!Ok || Size < 0)
            return Fail(QStringLiteral("The answer's chunk framing is broken.")), false;
        if (Size == 0) {
            FPart = TPart::Trailers;
            return true;
        }
        if (FBody.size() + Size > FBodyCap)
            return Fail(QStringLiteral("The answer is larger than %1 bytes.").arg(FBodyCap)), false;
        FLeft = Size;
        FPart = TPart::ChunkData;
        return true;
    }
    case TPart::ChunkEnd:
        if (!Line.isEmpty())
            return Fail(QStringLiteral("The answer's chunk framing is broken.")), false;
        FPart = TPart::ChunkSize;
        return true;
    case TPart::Trailers:
        if (Line.isEmpty())
            FState = TState::Done;
        return true;
    case TPart::Body:
    case TPart::ChunkData:
        break;
    }
    return true;
}

bool THttpAnswerReader::EndOfHead()
{
    if (FStatus < 200) {
        // An interim answer (100 Continue): the real one follows.
        FPart = TPart::StatusLine;
        FLength = -1;
        FChunked = false;
        FLocation.clear();
        return true;
    }
    // Only a successful answer's body is used.
    if (FStatus > 299 || FStatus == 204) {
        FState = TState::Done;
        return true;
    }
    if (FChunked) {
        FFraming = TFraming::Chunked;
        FPart = TPart::ChunkSize;
    } else if (FLength >= 0) {
        if (FLength > FBodyCap)
            return Fail(QStringLiteral("The answer is larger than %1 bytes.").arg(FBodyCap)), false;
        FFraming = TFraming::Length;
        FPart = TPart::Body;
        FLeft = FLength;
        if (FLength == 0)
            FState = TState::Done;
    } else {
        FFraming = TFraming::UntilClose;
        FPart = TPart::Body;
        FLeft = -1;
    }
    return true;
}

THttpAnswerReader::TState THttpAnswerReader::Closed()
{
    if (FState != TState::Reading)
        return FState;
    if (FPart == TPart::Body && FFraming == TFraming::UntilClose) {
        FState = TState::Done;
        return FState;
    }
    return Fail(QStringLiteral("The connection ended before the answer was complete."));
}

// ---------------------------------------------------------------------------------------------

TCheckAnswer FetchForCheck(const TUpdateSource& Source, const char* Path, const QDeadlineTimer& Deadline)
{
    TCheckAnswer Answer;
    QUrl Url = WebsiteResource(Source.Base, Path);
    for (int Hop = 0;; ++Hop) {
        if (Url.scheme() != QLatin1String("https") || Url.host().isEmpty()) {
            // Never down to plain http: what arrives over it could be anybody's.
            Answer.Failure = QStringLiteral("The website sent the request to %1, which is not https.").arg(Url.toString());
            return Answer;
        }
        const std::optional<QList<QHostAddress>> Addresses = ResolveWithin(Url.host(), Deadline, Source.Resolve);
        if (!Addresses) {
            Answer.Failure = QStringLiteral("The name %1 was not found in time.").arg(Url.host());
            return Answer;
        }
        THttpAnswerReader Reader;
        TExchange Exchange;
        for (const QHostAddress& Address : *Addresses) {
            Reader = THttpAnswerReader();
            Exchange = ExchangeWith(Source, Url, Address, Deadline, Reader, Answer.BytesReceived);
            if (Exchange.Failure.isEmpty() || Exchange.Connected || Deadline.hasExpired())
                break;
        }
        if (!Exchange.Failure.isEmpty()) {
            Answer.Failure = Exchange.Failure;
            return Answer;
        }
        const int Status = Reader.Status();
        if (Status >= 200 && Status <= 299) {
            Answer.Body = Reader.Body();
            return Answer;
        }
        if (!IsRedirect(Status) || Reader.Location().isEmpty()) {
            Answer.Failure = QStringLiteral("The website answered %1.").arg(Status);
            return Answer;
        }
        if (Hop >= CheckMaxRedirects) {
            Answer.Failure = QStringLiteral("The website sent the request on more than %1 times.").arg(CheckMaxRedirects);
            return Answer;
        }
        Url = Url.resolved(QUrl::fromEncoded(Reader.Location()));
    }
}

}   // namespace quorlane
