#pragma once

// A plain, step-by-step three-way merge as git merge-file does it, over the plain diff oracle:
// a list of merge records built from the two change scripts, refined, simplified and written out
// the way git fills its merge buffer, plus the extra rules written out as plainly. Slow on
// purpose and never used by the program; the engine's written result must equal its.

#include "merge3/Merge3.h"

namespace quorlane::test {

struct TOracleMerge {
    QStringList Lines;
    int Conflicts = 0;        // written with markers
    int ResolvedByRule = 0;   // conflicts an extra rule resolved
    bool FinalBreak = true;
};

[[nodiscard]] TOracleMerge OracleMerge3(const QStringList& Base, const QStringList& Local,
                                        const QStringList& Remote, const TMerge3Options& Options,
                                        const TMerge3Markers& Markers, bool BaseFinalBreak = true,
                                        bool LocalFinalBreak = true, bool RemoteFinalBreak = true);

// Options from bits: 0-5 the diff options, 6-8 the three rules (white space, contained inserts,
// adjacent), 9-10 the style (0 merge, 1 diff3, 2 zdiff3).
[[nodiscard]] TMerge3Options Merge3OptionsFromBits(int Bits);
[[nodiscard]] QString DescribeMerge3Options(const TMerge3Options& Options);

} // namespace quorlane::test
