#pragma once
// The headless diff's line model: it compares what it prints. Lines are split at LF, as GNU diff
// splits them, and two lines are equal when their bytes are, line break included, unless an
// ignore option says otherwise. The alignment is the engine's, on keys made from the bytes.

#include "engine/DiffEngine.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// One side as printed. Line I is Bytes[Starts[I], Starts[I + 1]), its LF included; only the
// last line may lack one.
struct TByteLines {
    QByteArray Bytes;
    std::vector<qsizetype> Starts;   // one per line, then Bytes.size()

    [[nodiscard]] qsizetype Count() const { return qsizetype(Starts.size()) - 1; }
    [[nodiscard]] QByteArrayView Line(qsizetype I) const
    {
        return QByteArrayView(Bytes.constData() + Starts[size_t(I)], Starts[size_t(I) + 1] - Starts[size_t(I)]);
    }
};

[[nodiscard]] TByteLines SplitByteLines(QByteArray Bytes);

// The bytes with every CR that stands before an LF removed, as GNU diff's --strip-trailing-cr
// reads its input: the lines compare and print without it.
[[nodiscard]] QByteArray StripTrailingCrs(QByteArray Bytes);

// What a text file is printed as: its own bytes; UTF-16 (with its mark) as UTF-8 without the
// mark, an odd last byte kept as it is so it still tells two files apart.
[[nodiscard]] QByteArray PrintableTextBytes(QByteArray Raw);

// Lines that differ between two matched lines: Deleted left lines from L0, Inserted right lines
// from R0. Ignorable: -B is on and every one of them is blank.
struct TByteChange {
    qsizetype L0 = 0, R0 = 0, Deleted = 0, Inserted = 0;
    bool Ignorable = false;
};

[[nodiscard]] std::vector<TByteChange> ByteDiffChanges(const TByteLines& Left, const TByteLines& Right,
                                                       const TDiffOptions& Options);

// True when a change is not ignorable: the files differ.
[[nodiscard]] bool HasShownChange(const std::vector<TByteChange>& Changes);

// The unified diff, hunks formed as GNU diff forms them: changes closer than 2 * Context + 1
// lines share a hunk, an ignorable change joins one only within Context lines, and a hunk of
// nothing but ignorable changes is not printed. Empty when nothing is printed.
[[nodiscard]] QByteArray UnifiedByteDiff(const TByteLines& Left, const TByteLines& Right,
                                         const std::vector<TByteChange>& Changes,
                                         const QByteArray& LeftLabel, const QByteArray& RightLabel,
                                         int Context);
