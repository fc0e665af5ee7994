#include "support/core/BenchTextPair.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

#include <utility>

namespace quorlane::test {

void WriteBenchTextPair(const QString& LeftPath, const QString& RightPath, int Lines, int ChangedPerThousand)
{
    QRandomGenerator Random(20261210);
    QByteArray Left, Right;
    Left.reserve(qsizetype(Lines) * 40);
    Right.reserve(qsizetype(Lines) * 40);
    for (int I = 0; I < Lines; ++I) {
        const QByteArray Line = (I % 17 == 0) ? QByteArray("}")
                              : (I % 11 == 0) ? QByteArray()
                              : QByteArray("    value_") + QByteArray::number(I % 5000) + " = compute(" +
                                    QByteArray::number(Random.bounded(100000)) + ", \"item " + QByteArray::number(I) + "\");";
        Left += Line + "\r\n";
        if (int(Random.bounded(1000)) < ChangedPerThousand) {
            switch (Random.bounded(3)) {
            case 0: Right += Line + " // edited\r\n"; break;
            case 1: Right += Line + "\r\n" + "    inserted();\r\n"; break;
            default: break;   // dropped
            }
        } else {
            Right += Line + "\r\n";
        }
    }
    for (const auto& [Path, Bytes] : {std::pair{LeftPath, Left}, std::pair{RightPath, Right}}) {
        QFile File(Path);
        if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(Path));
        File.write(Bytes);
    }
}

}   // namespace quorlane::test
