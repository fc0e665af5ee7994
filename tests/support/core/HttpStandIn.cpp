#include "support/core/HttpStandIn.h"

#include <QPointer>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <optional>

#include <sys/socket.h>

namespace quorlane::test {

namespace {

// Parses one complete request from the front of Buffer and removes it; nullopt while incomplete.
std::optional<TRecordedRequest> TakeRequest(QByteArray& Buffer)
{
    const qsizetype headEnd = Buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) return std::nullopt;
    const QList<QByteArray> lines = Buffer.left(headEnd).split('\n');
    TRecordedRequest request;
    const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
    request.Method = start.value(0);
    request.Target = start.value(1);
    request.Version = start.value(2);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0) request.Headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }

    qsizetype pos = headEnd + 4;
    if (request.Header("Transfer-Encoding").toLower().contains("chunked")) {
        QByteArray body;
        for (;;) {
            const qsizetype eol = Buffer.indexOf("\r\n", pos);
            if (eol < 0) return std::nullopt;
            bool ok = false;
            const qsizetype size = Buffer.mid(pos, eol - pos).split(';').value(0).trimmed().toLongLong(&ok, 16);
            if (!ok) return std::nullopt;
            pos = eol + 2;
            if (size == 0) {
                const qsizetype trailerEnd = Buffer.indexOf("\r\n", pos);
                if (trailerEnd < 0) return std::nullopt;
                pos = trailerEnd + 2;
                break;
            }
            if (Buffer.size() < pos + size + 2) return std::nullopt;
            body += Buffer.mid(pos, size);
            pos += size + 2;
        }
        request.Body = body;
    } else {
        const qsizetype length = request.Header("Content-Length").toLongLong();
        if (Buffer.size() < pos + length) return std::nullopt;
        request.Body = Buffer.mid(pos, length);
        pos += length;
    }
    Buffer.remove(0, pos);
    return request;
}

// Closing with a zero linger time sends RST instead of FIN.
void ResetConnection(QTcpSocket* Socket)
{
    const linger immediately{1, 0};
    ::setsockopt(int(Socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediately, sizeof immediately);
    Socket->abort();
}

QByteArray ResponseHead(const TStandInAnswer& Answer)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(Answer.Status);
    if (!Answer.Reason.isEmpty()) head += ' ' + Answer.Reason;
    head += "\r\n";
    for (const auto& [name, value] : Answer.Headers) head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(Answer.Body.size()) + "\r\n\r\n";
    return head;
}

} // namespace

QByteArray TRecordedRequest::Header(const QByteArray& Name, bool* Found) const
{
    for (const auto& [name, value] : Headers) {
        if (name.compare(Name, Qt::CaseInsensitive) == 0) {
            if (Found) *Found = true;
            return value;
        }
    }
    if (Found) *Found = false;
    return {};
}

int TRecordedRequest::HeaderCount(const QByteArray& Name) const
{
    int count = 0;
    for (const auto& header : Headers)
        if (header.first.compare(Name, Qt::CaseInsensitive) == 0) ++count;
    return count;
}

TStandInAnswer TStandInAnswer::Respond(int Status, const QByteArray& Reason, const QByteArray& Body)
{
    TStandInAnswer answer;
    answer.Status = Status;
    answer.Reason = Reason;
    answer.Body = Body;
    return answer;
}

TStandInAnswer TStandInAnswer::Raw(const QByteArray& Bytes)
{
    TStandInAnswer answer;
    answer.Kind = TKind::Raw;
    answer.RawBytes = Bytes;
    return answer;
}

TStandInAnswer TStandInAnswer::Silent()
{
    TStandInAnswer answer;
    answer.Kind = TKind::Silent;
    return answer;
}

TStandInAnswer TStandInAnswer::CloseWithoutAnswer()
{
    TStandInAnswer answer;
    answer.Kind = TKind::CloseWithoutAnswer;
    return answer;
}

TStandInAnswer TStandInAnswer::Reset()
{
    TStandInAnswer answer;
    answer.Kind = TKind::Reset;
    return answer;
}

TStandInAnswer TStandInAnswer::Trickle(const QByteArray& Body, int Pieces, int PieceGapMs)
{
    TStandInAnswer answer = Respond(200, "OK", Body);
    answer.Pieces = Pieces;
    answer.PieceGapMs = PieceGapMs;
    return answer;
}

TStandInAnswer TStandInAnswer::Stream(const QByteArray& Pattern, qint64 Bytes, bool AnnounceLength)
{
    TStandInAnswer answer;
    answer.Kind = TKind::Stream;
    answer.StreamPattern = Pattern;
    answer.StreamBytes = Bytes;
    answer.AnnounceLength = AnnounceLength;
    return answer;
}

TStandInAnswer TStandInAnswer::HeaderFlood(const QByteArray& HeaderLine)
{
    TStandInAnswer answer = Stream(HeaderLine, -1, false);
    answer.StreamInHead = true;
    return answer;
}

HttpStandIn::HttpStandIn(QObject* Parent)
    : QObject(Parent)
    , FServer(std::make_unique<QTcpServer>())
{
    Listen();
}

HttpStandIn::HttpStandIn(const QSslConfiguration& Tls, QObject* Parent)
    : QObject(Parent)
{
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(Tls);
    server->setHandshakeTimeout(60000);
    FServer = std::move(server);
    FTls = true;
    Listen();
}

void HttpStandIn::Listen()
{
    SetAnswer(TStandInAnswer::Respond(200, "OK", "stand-in text"));
    // A TLS connection is pending only once its handshake is done.
    connect(FServer.get(), &QTcpServer::pendingConnectionAvailable, this, &HttpStandIn::OnNewConnection);
    FServer->listen(QHostAddress::LocalHost, 0);
}

HttpStandIn::~HttpStandIn()
{
    FServer->close();
    // The sockets are the server's children; drop them while the bookkeeping they notify still exists.
    const QList<QTcpSocket*> sockets = FServer->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        delete socket;
    }
}

QUrl HttpStandIn::Url(const QString& Path) const
{
    QUrl url;
    url.setScheme(FTls ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(Port());
    url.setPath(Path);
    return url;
}

void HttpStandIn::SetAnswer(const TStandInAnswer& Answer)
{
    FHandler = [Answer](const TRecordedRequest&) { return Answer; };
}

void HttpStandIn::SetAnswers(const QList<TStandInAnswer>& Answers)
{
    FHandler = [this, Answers](const TRecordedRequest&) {
        const qsizetype index = std::min<qsizetype>(FRequests.size() - 1, Answers.size() - 1);
        return Answers.value(std::max<qsizetype>(index, 0));
    };
}

void HttpStandIn::SetHandler(THandler Handler)
{
    FHandler = std::move(Handler);
}

quint16 HttpStandIn::UnusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void HttpStandIn::OnNewConnection()
{
    while (QTcpSocket* socket = FServer->nextPendingConnection()) {
        ++FConnections;
        FPending.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            FPending.remove(socket);
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0) OnReadyRead(socket);
    }
}

void HttpStandIn::OnReadyRead(QTcpSocket* Socket)
{
    if (!FPending.contains(Socket)) {
        Socket->readAll(); // a silent connection: swallow whatever comes
        return;
    }
    if (FResetOnFirstBytes) {
        FPending.remove(Socket);
        ResetConnection(Socket);
        return;
    }
    QByteArray& buffer = FPending[Socket];
    buffer += Socket->readAll();
    while (FPending.contains(Socket)) {
        std::optional<TRecordedRequest> request = TakeRequest(FPending[Socket]);
        if (!request) return;
        FRequests.append(*request);
        emit requestReceived();
        Answer(Socket, FHandler(FRequests.constLast()));
    }
}

void HttpStandIn::Answer(QTcpSocket* Socket, const TStandInAnswer& Answer)
{
    using TKind = TStandInAnswer::TKind;
    switch (Answer.Kind) {
    case TKind::Silent:
        FPending.remove(Socket);
        return;
    case TKind::CloseWithoutAnswer:
        FPending.remove(Socket);
        Socket->disconnectFromHost();
        return;
    case TKind::Reset:
        FPending.remove(Socket);
        ResetConnection(Socket);
        return;
    case TKind::Raw:
        FPending.remove(Socket);
        Socket->write(Answer.RawBytes);
        Socket->disconnectFromHost();
        return;
    case TKind::Stream:
        FPending.remove(Socket);
        StartStream(Socket, Answer);
        return;
    case TKind::Respond:
        break;
    }

    Socket->write(ResponseHead(Answer));
    const int pieces = std::max(1, Answer.Pieces);
    if (pieces == 1 && Answer.PieceGapMs == 0) {
        Socket->write(Answer.Body);
        return;
    }
    const qsizetype step = (Answer.Body.size() + pieces - 1) / pieces;
    QPointer<QTcpSocket> guarded(Socket);
    for (int i = 0; i < pieces; ++i) {
        const QByteArray piece = Answer.Body.mid(i * step, step);
        QTimer::singleShot((i + 1) * Answer.PieceGapMs, this, [guarded, piece] {
            if (guarded) guarded->write(piece);
        });
    }
}

void HttpStandIn::StartStream(QTcpSocket* Socket, const TStandInAnswer& Answer)
{
    QByteArray head = "HTTP/1.1 200 OK\r\n";
    if (!Answer.StreamInHead) {
        head += "Content-Type: text/plain; charset=UTF-8\r\n";
        head += Answer.AnnounceLength && Answer.StreamBytes >= 0
            ? "Content-Length: " + QByteArray::number(Answer.StreamBytes) + "\r\n\r\n"
            : QByteArray("Connection: close\r\n\r\n");
    }
    Socket->write(head);

    constexpr qsizetype PieceSize = 64 * 1024;
    QByteArray piece;
    while (piece.size() < PieceSize) piece += Answer.StreamPattern.isEmpty() ? QByteArray("x") : Answer.StreamPattern;
    piece.truncate(PieceSize - PieceSize % std::max<qsizetype>(1, Answer.StreamPattern.size()));
    const qint64 total = Answer.StreamBytes;
    auto sent = std::make_shared<qint64>(0);
    QPointer<QTcpSocket> guarded(Socket);
    // Keeps about a megabyte queued: the answer is made as the client drains it. Over TLS the
    // encrypted bytes wait in a buffer of their own, which counts too.
    const auto queued = [](QTcpSocket* socket) {
        qint64 bytes = socket->bytesToWrite();
        if (const auto* tls = qobject_cast<QSslSocket*>(socket)) bytes += tls->encryptedBytesToWrite();
        return bytes;
    };
    auto pump = [guarded, piece, total, sent, queued] {
        if (!guarded || guarded->state() != QAbstractSocket::ConnectedState) return;
        while (queued(guarded) < (qint64(1) << 20) && (total < 0 || *sent < total)) {
            const qint64 n = total < 0 ? piece.size() : std::min<qint64>(piece.size(), total - *sent);
            guarded->write(piece.constData(), n);
            *sent += n;
        }
        if (total >= 0 && *sent >= total) guarded->disconnectFromHost();
    };
    if (auto* tls = qobject_cast<QSslSocket*>(Socket))
        connect(tls, &QSslSocket::encryptedBytesWritten, this, pump);
    else
        connect(Socket, &QTcpSocket::bytesWritten, this, pump);
    pump();
}

} // namespace quorlane::test
