#include "support/core/DeepFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtGlobal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlane::test {

QString DeepTreePlace()
{
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm/quorlane-deep-XXXXXX")
                                                               : QDir::tempPath() + QStringLiteral("/quorlane-deep-XXXXXX");
}

QString MakeNestedFolders(const QString& Root, int Depth, const QByteArray& Name,
                          const QMap<QByteArray, QByteArray>& Files)
{
    int Fd = ::open(QFile::encodeName(Root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QString Relative;
    for (int Level = 0; Level < Depth && Fd >= 0; ++Level) {
        if (::mkdirat(Fd, Name.constData(), 0755) != 0 && errno != EEXIST)
            qFatal("cannot make a folder at level %d below %s", Level, qPrintable(Root));
        const int Next = ::openat(Fd, Name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(Fd);
        Fd = Next;
        Relative += QString::fromUtf8(Name) + u'/';
    }
    if (Fd < 0)
        qFatal("cannot open the nested folders below %s", qPrintable(Root));
    for (auto It = Files.begin(); It != Files.end(); ++It) {
        const int File = ::openat(Fd, It.key().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (File < 0 || ::write(File, It.value().constData(), size_t(It.value().size())) != It.value().size())
            qFatal("cannot write %s at the bottom of %s", It.key().constData(), qPrintable(Root));
        ::close(File);
    }
    ::close(Fd);
    return Relative;
}

void RemoveDeepFolder(const QString& Path)
{
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), Path});
}

}   // namespace quorlane::test
