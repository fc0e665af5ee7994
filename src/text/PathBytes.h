#pragma once

// File names on Linux are bytes, and not every byte string is UTF-8. Qt decodes names as UTF-8
// and replaces what does not decode, so a name like "bad\xff\xfename.txt" could be neither opened
// nor printed again. These keep every byte: a byte that is not part of valid UTF-8 stands in the
// string as the lone surrogate U+DC80 + (byte - 0x80) (as Python's "surrogateescape" does), which
// no valid name produces, and turns back into that byte.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

[[nodiscard]] QString PathFromBytes(QByteArrayView Bytes);
[[nodiscard]] QByteArray PathBytes(const QString& Path);

// What is at a path, following links.
enum class TPathKind { Missing, File, Folder, Other };
[[nodiscard]] TPathKind PathKindOf(const QString& Path);
