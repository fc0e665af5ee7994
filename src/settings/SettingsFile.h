#pragma once

#include <QByteArray>
#include <QString>

// The settings file: "settings.dt" in a folder named after the application title, under the
// user's application-data folder. That is APPDATA when it is set and not empty; where it is not
// (a normal Linux desktop) the XDG configuration folder; the executable's folder only when
// neither can be used. Creates the folder when it is missing.
[[nodiscard]] QString GetSettingsFileName();

// What reading the settings file found. A file that exists but cannot be opened or read is told
// apart from no file at all: the window is then not placed as if there were none.
enum class TSettingsFileState { Missing, Unreadable, Read };

struct TSettingsFileContent
{
    TSettingsFileState State = TSettingsFileState::Missing;
    QByteArray Bytes;
};

// The largest settings file read; beyond it only the start is read. A record that is written is
// far smaller: two histories of at most 100 entries of 4,096 characters come to 1.7 MB.
inline constexpr qint64 MaxSettingsFileBytes = 8 * 1024 * 1024;

[[nodiscard]] TSettingsFileContent ReadSettingsFile(const QString& FileName);

// Replaces the file's content with Bytes through a temporary file that is renamed over it, so a
// crash, a full disk or a killed process leaves the earlier file whole, and two programs saving at
// once leave one of the two records, never a mix. False on any failure; nothing is shown.
bool WriteSettingsFile(const QString& FileName, const QByteArray& Bytes);
