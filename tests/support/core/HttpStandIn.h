#pragma once

// A small HTTP/1.1 server inside the test process, on a free 127.0.0.1 port, for driving HTTP
// clients through answers a real server gives rarely: error statuses, empty or non-UTF-8 bodies,
// garbage, silence, a slow trickle. It records every request it receives.
//
// It lives on the thread that creates it, so the client under test must process events on that
// thread while it waits (a local QEventLoop does) or run on another thread.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <memory>

class QSslConfiguration;
class QTcpSocket;

namespace quorlane::test {

struct TRecordedRequest {
    QByteArray Method;
    QByteArray Target; // path and query as sent
    QByteArray Version;
    QList<QPair<QByteArray, QByteArray>> Headers; // in order, names as sent
    QByteArray Body;

    // The value of the first header of that name (case-insensitive); Found tells whether there was one.
    [[nodiscard]] QByteArray Header(const QByteArray& Name, bool* Found = nullptr) const;
    [[nodiscard]] int HeaderCount(const QByteArray& Name) const;
};

// What the stand-in does with one request.
struct TStandInAnswer {
    enum class TKind { Respond, Raw, Silent, CloseWithoutAnswer, Stream, Reset };
    TKind Kind = TKind::Respond;
    int Status = 200;
    QByteArray Reason = "OK";
    QByteArray Body;
    QList<QPair<QByteArray, QByteArray>> Headers{{"Content-Type", "text/plain; charset=UTF-8"}};
    QByteArray RawBytes;  // Raw: sent as they are, then the connection is closed
    int Pieces = 1;       // Respond: the body goes out in this many pieces...
    int PieceGapMs = 0;   // ...with this pause before each piece
    // Stream: a 200 answer made on the fly from Pattern repeated, never held whole, written as
    // fast as the client takes it; StreamBytes < 0 never ends. AnnounceLength sends
    // Content-Length, else the end of the answer is the end of the connection.
    QByteArray StreamPattern;
    qint64 StreamBytes = 0;
    bool AnnounceLength = false;
    bool StreamInHead = false;   // Stream: the pattern goes out as header lines that never end

    [[nodiscard]] static TStandInAnswer Respond(int Status, const QByteArray& Reason, const QByteArray& Body);
    [[nodiscard]] static TStandInAnswer Raw(const QByteArray& Bytes);
    [[nodiscard]] static TStandInAnswer Silent();
    [[nodiscard]] static TStandInAnswer CloseWithoutAnswer();
    // The request is read, then the connection is reset (TCP RST), as a crashing server does.
    [[nodiscard]] static TStandInAnswer Reset();
    [[nodiscard]] static TStandInAnswer Trickle(const QByteArray& Body, int Pieces, int PieceGapMs);
    [[nodiscard]] static TStandInAnswer Stream(const QByteArray& Pattern, qint64 Bytes, bool AnnounceLength);
    // A status line, then HeaderLine over and over, never the blank line that ends a head.
    [[nodiscard]] static TStandInAnswer HeaderFlood(const QByteArray& HeaderLine);
};

class HttpStandIn : public QObject {
    Q_OBJECT
public:
    using THandler = std::function<TStandInAnswer(const TRecordedRequest&)>;

    explicit HttpStandIn(QObject* Parent = nullptr);
    // The same over TLS (https), with the server's certificate and key in Tls.
    explicit HttpStandIn(const QSslConfiguration& Tls, QObject* Parent = nullptr);
    ~HttpStandIn() override;

    [[nodiscard]] bool IsListening() const { return FServer->isListening(); }
    [[nodiscard]] quint16 Port() const { return FServer->serverPort(); }
    [[nodiscard]] QUrl Url(const QString& Path = QStringLiteral("/tika")) const;

    // Every request gets this answer.
    void SetAnswer(const TStandInAnswer& Answer);
    // The n-th request gets the n-th answer; the last one serves all requests after it.
    void SetAnswers(const QList<TStandInAnswer>& Answers);
    void SetHandler(THandler Handler);
    // Every connection is reset (TCP RST) as soon as its first bytes arrive, while the client may
    // still be sending its request.
    void ResetOnFirstBytes() { FResetOnFirstBytes = true; }

    [[nodiscard]] const QList<TRecordedRequest>& Requests() const { return FRequests; }
    [[nodiscard]] int ConnectionCount() const { return FConnections; }

    // A 127.0.0.1 port on which nothing listens (it was free a moment ago).
    [[nodiscard]] static quint16 UnusedPort();

signals:
    void requestReceived();

private:
    void OnNewConnection();
    void OnReadyRead(QTcpSocket* Socket);
    void Answer(QTcpSocket* Socket, const TStandInAnswer& Answer);
    void StartStream(QTcpSocket* Socket, const TStandInAnswer& Answer);

    void Listen();

    std::unique_ptr<QTcpServer> FServer;
    bool FTls = false;
    QHash<QTcpSocket*, QByteArray> FPending; // bytes of requests not yet complete
    THandler FHandler;
    QList<TRecordedRequest> FRequests;
    int FConnections = 0;
    bool FResetOnFirstBytes = false;
};

} // namespace quorlane::test
