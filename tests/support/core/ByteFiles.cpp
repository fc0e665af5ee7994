#include "support/core/ByteFiles.h"

#include <QFile>
#include <QtGlobal>

namespace quorlane::test {

QByteArray HexBytes(const char* Hex)
{
    QByteArray digits(Hex);
    digits.replace(' ', QByteArray());
    return QByteArray::fromHex(digits);
}

QString WriteBytesFile(const QString& Dir, const QString& Name, const QByteArray& Bytes)
{
    const QString path = Dir + u'/' + Name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(Bytes) != Bytes.size())
        qFatal("cannot write test file %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return path;
}

QByteArray ReadBytesFile(const QString& Path)
{
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString ToHex(const QByteArray& Bytes)
{
    return QString::fromLatin1(Bytes.toHex(' ').toUpper());
}

}  // namespace quorlane::test
