#pragma once
// Folder trees deeper than the system's path limit, made and removed without whole paths.

#include <QByteArray>
#include <QMap>
#include <QString>

namespace quorlane::test {

// A template for QTemporaryDir in memory where the system offers it (/dev/shm): a disk makes
// and removes thousands of nested folders slowly.
[[nodiscard]] QString DeepTreePlace();

// Nests Depth folders named Name below Root, each made relative to the one above, and writes
// Files (name -> bytes) into the deepest. Returns the deepest folder's path relative to Root,
// with a separator at the end; fails the test through qFatal when something cannot be made.
QString MakeNestedFolders(const QString& Root, int Depth, const QByteArray& Name,
                          const QMap<QByteArray, QByteArray>& Files = {});

// Removes Path and everything below it, however deep (QDir::removeRecursively stops at the limit).
void RemoveDeepFolder(const QString& Path);

}   // namespace quorlane::test
