#pragma once

// The start-up check's own small HTTPS client. It exists because the check must be bounded in
// every way before any window appears: one deadline for everything (name resolution included),
// a cap on each answer's headers and body, and a name lookup that can be abandoned. Qt's
// QNetworkAccessManager offers none of the caps, and its lookups (QHostInfo) are waited for when
// the application object goes, so a stuck resolver would hold the process after its window closed.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace quorlane {

struct TUpdateSource;

// The whole check, from its start: lookups, connections, redirects and both answers.
inline constexpr int CheckDeadlineMs = 3000;
// The version line and the change list are a few hundred bytes; anything larger is not them.
inline constexpr qsizetype CheckBodyCap = 64 * 1024;
// Status line, headers and chunk trailers of one answer together.
inline constexpr qsizetype CheckHeadCap = 16 * 1024;

// Host name to addresses. The default asks the system (getaddrinfo) on a thread of its own that
// is never waited for: when the deadline passes first, the lookup is left to finish alone.
using THostResolver = std::function<QList<QHostAddress>(const QString& Host)>;
[[nodiscard]] std::optional<QList<QHostAddress>> ResolveWithin(const QString& Host, const QDeadlineTimer& Deadline,
                                                               const THostResolver& Resolver = {});

// Reads one HTTP/1.x answer as its bytes arrive, holding no more than the caps allow. Plain
// data in, plain data out: no sockets.
class THttpAnswerReader
{
public:
    enum class TState { Reading, Done, Failed };

    explicit THttpAnswerReader(qsizetype BodyCap = CheckBodyCap, qsizetype HeadCap = CheckHeadCap);

    // Takes the next bytes; returns the state after them. Bytes after the answer are ignored.
    TState Feed(QByteArrayView Bytes);
    // The connection ended: an answer that runs to the end of the connection is complete.
    TState Closed();

    [[nodiscard]] TState State() const { return FState; }
    [[nodiscard]] int Status() const { return FStatus; }
    [[nodiscard]] const QByteArray& Location() const { return FLocation; }
    [[nodiscard]] const QByteArray& Body() const { return FBody; }
    [[nodiscard]] const QString& Failure() const { return FFailure; }

private:
    enum class TPart { StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers };
    enum class TFraming { None, Length, Chunked, UntilClose };

    TState Fail(const QString& Why);
    bool TakeLine(QByteArray& Line);
    bool ReadLine(const QByteArray& Line);
    bool EndOfHead();
    bool AppendBody(QByteArrayView Piece);

    qsizetype FBodyCap;
    qsizetype FHeadCap;
    qsizetype FHeadBytes = 0;
    TState FState = TState::Reading;
    TPart FPart = TPart::StatusLine;
    TFraming FFraming = TFraming::None;
    QByteArray FPending;   // bytes of a line not yet complete (at most a cap's worth)
    qint64 FLeft = 0;      // body or chunk bytes still to come
    int FStatus = 0;
    bool FChunked = false;
    qint64 FLength = -1;
    QByteArray FLocation;
    QByteArray FBody;
    QString FFailure;
};

// What one GET of the check gave.
struct TCheckAnswer
{
    std::optional<QByteArray> Body;   // a 2xx answer's body, after redirects; nullopt on failure
    QString Failure;
    qint64 BytesReceived = 0;         // off the wire, over all hops: what the caps bound
};

// GET Path from the source's https site, following up to CheckMaxRedirects redirects (https
// only), all before Deadline.
[[nodiscard]] TCheckAnswer FetchForCheck(const TUpdateSource& Source, const char* Path, const QDeadlineTimer& Deadline);

}   // namespace quorlane
