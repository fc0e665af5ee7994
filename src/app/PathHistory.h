#pragma once

#include <QString>
#include <QStringList>

// The path boxes' drop-down lists: newest first, matched without regard to letter case.
inline constexpr qsizetype MaxHistoryEntries = 50;

// A path as the compare commands use it: blanks and control characters (codes 0-32) removed
// from both ends, nothing else.
[[nodiscard]] QString TrimPath(const QString& Path);

// Forced commands: an entry that equals Path (ignoring case) keeps its place and its spelling;
// otherwise Path goes on top. The list is cut to MaxHistoryEntries.
void ApplyKeepingRule(QStringList& History, const QString& Path);

// Automatic command: an entry that equals Path (ignoring case) is removed and Path goes on top.
void ApplyMovingRule(QStringList& History, const QString& Path);

// Several windows, one file: the entries of Other that History lacks (ignoring case) go after
// History's own, in Other's order, up to MaxHistoryEntries.
void MergeHistory(QStringList& History, const QStringList& Other);
