// Loading a 100 MB UTF-8 file of 2 million lines, against iconv converting the same file to
// UTF-16 (whole process), with the peak memory of the load.
//
//   bench_text_load [lines]      (default 2000000; the file is about 50 bytes a line)

#include "text/TextFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

qint64 PeakRssBytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

qint64 CurrentRssBytes()
{
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = status.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4096 : -1;
}

// Writes the file in pieces so the generator adds nothing to the peak; returns the number of
// UTF-16 units of its text.
qint64 WriteSample(const QString& Path, int Lines)
{
    static const char* const words[] = {"alpha", "beta", "gamma", "delta", "caf\xC3\xA9",
                                        "na\xC3\xAFve", "\xE2\x82\xAC" "42", "\xE4\xB8\xAD\xE6\x96\x87",
                                        "x", "return", "{", "}", "\xF0\x9F\x98\x80"};
    QFile file(Path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(Path));
    QByteArray chunk;
    quint32 state = 12345;
    qint64 units = 0;
    for (int i = 0; i < Lines; ++i) {
        QByteArray line = QByteArray::number(i) + ':';
        // About 48 bytes of words and spaces, then CR LF.
        while (line.size() < 40 + int(state % 17)) {
            state = state * 1103515245u + 12345u;
            line += ' ';
            line += words[(state >> 16) % std::size(words)];
        }
        line += "\r\n";
        units += QString::fromUtf8(line).size();
        chunk += line;
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return units;
}

double CpuMs(int Who)
{
    rusage usage{};
    ::getrusage(Who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double RunIconv(const QString& Path)
{
    QProcess iconv;
    iconv.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    iconv.start(QStringLiteral("iconv"), {QStringLiteral("-f"), QStringLiteral("UTF-8"),
                                          QStringLiteral("-t"), QStringLiteral("UTF-16LE"), Path});
    if (!iconv.waitForFinished(-1) || iconv.exitCode() != 0)
        qFatal("iconv failed: %s", qPrintable(iconv.errorString()));
    return timer.nsecsElapsed() / 1e6;
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 2000000;
    if (QStandardPaths::findExecutable(QStringLiteral("iconv")).isEmpty())
        qFatal("iconv is not installed");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.txt"));
    const qint64 units = WriteSample(path, lines);
    const qint64 fileSize = QFile(path).size();
    const qint64 decodedBytes = units * 2;
    std::printf("file: %d lines, %lld bytes; decoded text %lld bytes (UTF-16)\n", lines,
                (long long)fileSize, (long long)decodedBytes);

    const qint64 rssBefore = CurrentRssBytes();
    const qint64 peakBefore = PeakRssBytes();
    constexpr int Runs = 5;
    std::vector<double> ours, theirs, oursCpu, theirsCpu;
    RunIconv(path);  // warm the page cache for both
    for (int run = 0; run < Runs; ++run) {
        const double childCpu = CpuMs(RUSAGE_CHILDREN);
        theirs.push_back(RunIconv(path));
        theirsCpu.push_back(CpuMs(RUSAGE_CHILDREN) - childCpu);
        const double selfCpu = CpuMs(RUSAGE_SELF);
        QStringList loaded;
        TTextEncoding encoding{};
        bool bom = false;
        QString name;
        QElapsedTimer timer;
        timer.start();
        LoadTextFile(path, loaded, encoding, bom, name);
        ours.push_back(timer.nsecsElapsed() / 1e6);
        oursCpu.push_back(CpuMs(RUSAGE_SELF) - selfCpu);
        if (loaded.size() != lines || name != QStringLiteral("UTF-8"))
            qFatal("loaded %lld lines as %s", (long long)loaded.size(), qPrintable(name));
    }
    const qint64 peak = PeakRssBytes();

    // Where the time goes: the read alone, and the check pass DetectFileEncoding makes (the
    // load skips it for well-formed UTF-8).
    QElapsedTimer step;
    step.start();
    const QByteArray bytes = ReadTextFileBytes(path);
    const double readMs = step.nsecsElapsed() / 1e6;
    step.restart();
    const bool valid = IsValidUtf8(bytes.constData(), bytes.size());
    const double checkMs = step.nsecsElapsed() / 1e6;

    const double oursMs = Median(ours), theirsMs = Median(theirs);
    std::printf("LoadTextFile: median %.1f ms (runs:", oursMs);
    for (double v : ours)
        std::printf(" %.1f", v);
    std::printf(")\niconv -f UTF-8 -t UTF-16LE: median %.1f ms (runs:", theirsMs);
    for (double v : theirs)
        std::printf(" %.1f", v);
    std::printf(")\nratio LoadTextFile / iconv: %.2f (target <= 2.00)\n", oursMs / theirsMs);
    std::printf("CPU time (less sensitive to a busy machine): LoadTextFile %.1f ms, iconv %.1f ms, "
                "ratio %.2f\n",
                Median(oursCpu), Median(theirsCpu), Median(oursCpu) / Median(theirsCpu));
    std::printf("steps: read %.1f ms, decode and split %.1f ms; IsValidUtf8 over the file %.1f ms (%s)\n",
                readMs, oursMs - readMs, checkMs, valid ? "true" : "false");
    std::printf("peak RSS %.1f MiB (before loading: RSS %.1f MiB, peak %.1f MiB)\n", peak / 1048576.0,
                rssBefore / 1048576.0, peakBefore / 1048576.0);
    std::printf("peak RSS / decoded size: %.2f (target < 4.00); peak growth while loading / decoded "
                "size: %.2f\n",
                double(peak) / decodedBytes, double(peak - rssBefore) / decodedBytes);
    return 0;
}
