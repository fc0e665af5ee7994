#include "support/core/BenchFolderTrees.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace quorlane::test {
namespace {

// Plain POSIX writes: QFile would make creating 200,000 files take several times longer.
void WriteSmallFile(const QByteArray& Path, int Size, char Last = 'x')
{
    const int Fd = ::open(Path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (Fd < 0) {
        std::perror(Path.constData());
        std::exit(1);
    }
    QByteArray Bytes(Size, 'x');
    if (Size > 0)
        Bytes[Size - 1] = Last;
    if (::write(Fd, Bytes.constData(), size_t(Size)) != Size)
        std::exit(1);
    ::close(Fd);
}

}   // namespace

void MakeBenchFolderTrees(const QString& Base)
{
    const QString Marker = Base + QStringLiteral("/complete-1-1");
    if (QFile::exists(Marker))
        return;
    std::printf("creating two trees of %d files in %s ...\n", BenchTreeFileCount, qPrintable(Base));
    int N = 0;
    for (int T = 0; T < 100; ++T)
        for (int S = 0; S < 10; ++S) {
            const QString Rel = QStringLiteral("/project%1/module_%2").arg(T, 3, 10, QLatin1Char('0')).arg(S);
            QDir().mkpath(Base + QStringLiteral("/left") + Rel);
            QDir().mkpath(Base + QStringLiteral("/right") + Rel);
            for (int F = 0; F < 100; ++F, ++N) {
                const QString Name = Rel + QStringLiteral("/Source_File_%1.cpp").arg(F);
                const int Size = 10 + N % 200;
                WriteSmallFile(QFile::encodeName(Base + QStringLiteral("/left") + Name), Size);
                WriteSmallFile(QFile::encodeName(Base + QStringLiteral("/right") + Name),
                               N % 100 == 0 ? Size + 1 : Size, N % 100 == 50 ? 'y' : 'x');
            }
        }
    WriteSmallFile(QFile::encodeName(Marker), 0);
}

}   // namespace quorlane::test
