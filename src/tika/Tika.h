#pragma once

// Text extraction through the Apache Tika server on the local machine: one blocking HTTP PUT
// per document, and the texts the window shows when an extraction fails.

#include <QString>
#include <QUrl>

#include <memory>

class QFile;

namespace quorlane {

// Where the Tika server listens unless told otherwise.
inline constexpr int TikaDefaultPort = 9998;
inline constexpr char TikaDefaultPath[] = "/tika";
// Longest silence from the server (no byte sent or received) before the request fails.
inline constexpr int TikaReadTimeoutMs = 30000;

// "http://localhost:9998/tika".
[[nodiscard]] QUrl DefaultTikaEndpoint();

// Opens FileName read-only; others may keep reading and writing it meanwhile.
// Returns nullptr and sets ErrorText ("<error type>: <message>") when it cannot be opened.
[[nodiscard]] std::unique_ptr<QFile> OpenFileForReading(const QString& FileName, QString& ErrorText);

// Sends the file's bytes unchanged to the Tika server (PUT, Content-Type
// "application/octet-stream", Accept "text/plain; charset=utf-8") and decodes the answer as
// strict UTF-8. Blocks the calling thread in a local event loop that skips user input.
//
// Returns true when the server answered 2xx with valid, non-empty UTF-8 text; then Text holds it
// and ErrorText is empty. On failure Text is empty and ErrorText is one of
//   the open error of OpenFileForReading,
//   "HTTP error (<status>): <reason phrase>",
//   "Error: <message>" (refused, unreachable, timed out, garbage, not UTF-8),
//   "" (the server found no text in the document).
// Call it on a thread with a Qt event dispatcher (the UI thread or a QThread); everything it
// creates is released before it returns, on every path.
// ReadTimeoutMs 0 waits without limit.
[[nodiscard]] bool ExtractTextWithTika(const QString& FileName, QString& Text, QString& ErrorText,
                                       const QUrl& Endpoint = DefaultTikaEndpoint(),
                                       int ReadTimeoutMs = TikaReadTimeoutMs);

// "Comparison failed.\r\nLeft: <error or OK>\r\nRight: <error or OK>" — the status line text and
// the body of the warning after a failed document comparison.
[[nodiscard]] QString ComposeTikaFailureText(bool LeftOk, const QString& LeftError,
                                             bool RightOk, const QString& RightError);

// The warning box text: the failure text, a blank line and the hint to reinstall AppTitle.
[[nodiscard]] QString TikaFailureWarningText(const QString& FailureText,
                                             const QString& AppTitle = QStringLiteral("Quorlane"));

} // namespace quorlane
