#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What the website's version file and change list say, as plain functions of their bytes.
namespace quorlane {

// The running version 1.0, as the version file counts: the version times ten.
inline constexpr int RunningVersionNumber = 10;

// A website text resource as lines: UTF-8 (a leading mark skipped, malformed bytes replaced),
// broken at CR LF, CR and LF; a final break adds no empty line, an empty body has no lines.
[[nodiscard]] QStringList ResourceLines(const QByteArray& Body);

// The first line of the version file, "Latest/Required".
struct TVersionLine
{
    int Latest = 0;
    int Required = 0;
    QString Shown;   // Latest as written, with a point before its last digit: "11" -> "1.1"
};

// nullopt when the line has no "/" or either side is not a whole number (decimal digits,
// blanks around them allowed, no sign).
[[nodiscard]] std::optional<TVersionLine> ParseVersionLine(const QString& Line);

// The change list's lines without the empty ones (lines of blanks stay).
[[nodiscard]] QStringList ChangeLines(const QByteArray& Body);

struct TVersionNews
{
    QString Message;          // the update dialog's text, lines ending in CR LF
    bool Mandatory = false;   // the running version may no longer be used
};

// The news for a running version from the two bodies; nullopt when there is none or the
// version file does not read.
[[nodiscard]] std::optional<TVersionNews> ComposeVersionNews(const QByteArray& VersionBody,
                                                             const QByteArray& ChangesBody,
                                                             int RunningVersion = RunningVersionNumber);

}   // namespace quorlane
