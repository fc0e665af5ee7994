// What remembering the loaded file costs: the hash taken while loading, the look at the disk
// before a save (stat only, and a full re-read when the stamp moved), and SaveSide against the
// bare write, on a file of about 100 MB.
//
//   bench_text_save [lines]      (default 2000000; about 50 bytes a line)

#include "text/LoadedFile.h"
#include "text/SideSave.h"
#include "text/SideState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

double MedianMs(int Runs, const std::function<void()>& Work)
{
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        Work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 2000000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.txt"));
    QByteArray bytes;
    for (int i = 0; i < lines; ++i)
        bytes += "line " + QByteArray::number(i) + " caf\xC3\xA9 with some words to compare\r\n";
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
    }
    std::printf("file: %d lines, %lld bytes\n", lines, (long long)bytes.size());
    constexpr int Runs = 5;

    QByteArray copy(bytes.size(), Qt::Uninitialized);
    const double memcpyMs = MedianMs(Runs, [&] { std::memcpy(copy.data(), bytes.constData(), size_t(bytes.size())); });
    volatile quint64 sink = 0;
    const double hashMs = MedianMs(Runs, [&] { sink = sink + HashOfBytes(bytes); });
    TSideState side;
    const double loadMs = MedianMs(Runs, [&] {
        TSideState loaded;
        LoadTextFile(path, loaded);
        side = std::move(loaded);
    });
    std::printf("hash of the bytes read:  %8.1f ms (%.2f GB/s; memcpy %.1f ms)\n", hashMs,
                bytes.size() / hashMs / 1e6, memcpyMs);
    std::printf("whole load (with hash):  %8.1f ms; the hash is %.1f%% of it\n", loadMs, 100.0 * hashMs / loadMs);

    const double statLookMs = MedianMs(Runs, [&] { sink = sink + ChangedOnDisk(side.Loaded); });
    std::printf("look before saving, file as loaded:      %8.3f ms\n", statLookMs);
    const double touchedLookMs = MedianMs(Runs, [&] {
        const timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
        sink = sink + ChangedOnDisk(side.Loaded);
    });
    std::printf("look before saving, file touched (read): %8.1f ms\n", touchedLookMs);

    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const TTextWriteEncoding encoding = WriteEncodingFor(side);
    const double bareMs = MedianMs(Runs, [&] { SaveTextFile(out, side.Lines, encoding); });
    const double sideMs = MedianMs(Runs, [&] {
        side.Unsaved = true;
        if (!SaveSide(side, out, [](const QString&, const QString&) { return false; }))
            qFatal("the save asked a question");
    });
    std::printf("bare write:              %8.1f ms\n", bareMs);
    std::printf("SaveSide (checks, hash): %8.1f ms; ratio %.2f\n", sideMs, sideMs / bareMs);
    return sink == 42 ? 1 : 0;
}
