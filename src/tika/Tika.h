#pragma once

// Text extraction through the Apache Tika server on the local machine: one HTTP PUT per
// document whose answer is decoded into lines as it arrives, and the texts the window shows
// when an extraction fails.

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QFile;

namespace quorlane {

// Where the Tika server listens unless told otherwise.
inline constexpr int TikaDefaultPort = 9998;
inline constexpr char TikaDefaultPath[] = "/tika";
// Longest silence from the server (no byte sent or received) before the request fails.
inline constexpr int TikaReadTimeoutMs = 30000;
// Longest one request may take as a whole, so a server that trickles cannot hold the window.
inline constexpr int TikaDeadlineMs = 120000;
// Largest answer taken: the text of real documents is far smaller, and held as UTF-16 lines
// it costs about twice this.
inline constexpr qint64 TikaAnswerLimitBytes = qint64(256) << 20;
// Most lines taken: each line costs a string of its own, so an answer of line breaks alone
// would cost many times its size.
inline constexpr qsizetype TikaLineLimit = qsizetype(8) << 20;

// "http://localhost:9998/tika".
[[nodiscard]] QUrl DefaultTikaEndpoint();

// Ends a wait early: the request under way fails with "Cancelled." and later ones are not sent.
class TTikaCancel : public QObject
{
    Q_OBJECT
public:
    void Cancel();
    void Reset() { FCancelled = false; }
    [[nodiscard]] bool IsCancelled() const { return FCancelled; }

signals:
    void Cancelled();

private:
    bool FCancelled = false;
};

// The reason of an extraction that the user cancelled.
[[nodiscard]] QString TikaCancelledText();

// Decodes the server's answer piece by piece: strict UTF-8 (no overlong forms, no encoded
// surrogates, nothing above U+10FFFF; a leading byte-order mark is dropped) straight into lines
// split at CR LF, LF or a lone CR, with no empty line for a final break. No copy of the whole
// answer is ever made. Refuses more than LimitBytes or LineLimit lines, and turns running out
// of memory into a failure instead of an exception.
class TTikaAnswerDecoder
{
public:
    explicit TTikaAnswerDecoder(qint64 LimitBytes = TikaAnswerLimitBytes, qsizetype LineLimit = TikaLineLimit);
    ~TTikaAnswerDecoder();
    TTikaAnswerDecoder(const TTikaAnswerDecoder&) = delete;
    TTikaAnswerDecoder& operator=(const TTikaAnswerDecoder&) = delete;

    // False once the answer has failed; Error() says why. Later calls do nothing.
    bool Feed(const char* Bytes, qsizetype Count);
    // The end of the answer: a sequence cut off at the end fails.
    bool Finish();

    [[nodiscard]] bool Failed() const { return !FError.isEmpty(); }
    [[nodiscard]] const QString& Error() const { return FError; }
    [[nodiscard]] bool OutOfMemory() const { return FOutOfMemory; }
    [[nodiscard]] qint64 BytesReceived() const { return FReceived; }
    // True once any character (beyond a byte-order mark) has arrived.
    [[nodiscard]] bool HasText() const { return FHasText; }
    [[nodiscard]] QStringList TakeLines();
    // Drops everything decoded so far, giving its memory back.
    void Discard();

    // "The Tika server's answer is larger than 256 MiB, ..."
    [[nodiscard]] static QString TooLargeText(qint64 LimitBytes);

private:
    struct TState;
    std::unique_ptr<TState> F;
    QString FError;
    qint64 FLimit;
    qsizetype FLineLimit;
    qint64 FReceived = 0;
    bool FHasText = false;
    bool FOutOfMemory = false;
};

// Opens FileName read-only; others may keep reading and writing it meanwhile. Only a regular
// file is opened: a device, a named pipe or a socket could be read forever (or block the open).
// Returns nullptr and sets ErrorText ("<error type>: <message>") when it cannot be opened.
[[nodiscard]] std::unique_ptr<QFile> OpenFileForReading(const QString& FileName, QString& ErrorText);

// How one extraction is made.
struct TTikaRequest
{
    QUrl Endpoint = DefaultTikaEndpoint();
    int ReadTimeoutMs = TikaReadTimeoutMs;   // 0: no limit
    int DeadlineMs = TikaDeadlineMs;         // 0: no limit
    qint64 AnswerLimitBytes = TikaAnswerLimitBytes;
    qsizetype LineLimit = TikaLineLimit;
    // How the wait processes events. By default user input stays queued; a caller that filters
    // input itself lets it through so that Esc and the close button reach it.
    QEventLoop::ProcessEventsFlags WaitFlags = QEventLoop::ExcludeUserInputEvents;
    const TTikaCancel* Cancel = nullptr;
};

struct TTikaExtraction
{
    bool Ok = false;
    QStringList Lines;   // on success
    QString Error;       // on failure
    bool Unreadable = false;   // the server answered, but could not read the document
};

// Sends the file's bytes unchanged to the Tika server (PUT, Content-Type
// "application/octet-stream", Accept "text/plain; charset=utf-8") and decodes the answer as it
// arrives. Blocks the calling thread in a local event loop.
//
// Succeeds when the server answered 2xx with valid, non-empty UTF-8 text. Otherwise Error is
// one of
//   the open error of OpenFileForReading,
//   "HTTP error (<status>): <reason phrase>",
//   "Error: <message>" (refused, unreachable, timed out, too long, too large, garbage, not UTF-8,
//                       out of memory),
//   "Apache Tika could not read <file name> (it may be damaged or encrypted)." (a 422 answer,
//                       or no text; Unreadable is set),
//   "Cancelled.".
// Call it on a thread with a Qt event dispatcher (the UI thread or a QThread); everything it
// creates is released before it returns, on every path, and a failed answer's memory goes back.
[[nodiscard]] TTikaExtraction ExtractTextWithTika(const QString& FileName, const TTikaRequest& Request = {});

// "Comparison failed.\r\nLeft: <error or OK>\r\nRight: <error or OK>" — the status line text and
// the body of the warning after a failed document comparison.
[[nodiscard]] QString ComposeTikaFailureText(bool LeftOk, const QString& LeftError,
                                             bool RightOk, const QString& RightError);

} // namespace quorlane
