#!/usr/bin/env bash
# quorlane --diff against GNU diff --minimal (and plain diff for reference), whole process against
# whole process, on two real ~360,000-line files: every header of libstdc++ 11 and of libstdc++ 12,
# concatenated in path order. Prints the wall and CPU times (best of RUNS), the ratios and the
# changed-line counts (GNU time, /usr/bin/time, measures each process).
#
#   bench/bench_cli_diff.sh [RUNS]      (default 3; installs libstdc++-11-dev and -12-dev if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS="${1:-3}"
BUILD_DIR="${BUILD_DIR:-build}"
PROGRAM="$BUILD_DIR/quorlane"
cmake --build "$BUILD_DIR" -j 2 --target quorlane >/dev/null

for v in 11 12; do
    if [ ! -d "/usr/include/c++/$v" ]; then
        SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
        $SUDO apt-get install -y -qq --no-install-recommends "libstdc++-$v-dev" >/dev/null
    fi
done
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
for v in 11 12; do
    (cd "/usr/include/c++/$v" && find . -type f | LC_ALL=C sort | xargs cat) >"$WORK/c++$v.h"
done
L="$WORK/c++11.h"; R="$WORK/c++12.h"

# Best wall time of RUNS runs of a command whose output goes to a file, and the CPU time (user +
# system) of that run, in seconds: "WALL CPU". On a shared machine the CPU time is the steadier one.
best() {
    local out="$1"; shift
    local best="" cpu="" t
    for _ in $(seq 1 "$RUNS"); do
        /usr/bin/time -f "%e %U %S" -o "$WORK/time" "$@" >"$out" || [ $? -eq 1 ]
        t=$(awk 'END { print $1, $2 + $3 }' "$WORK/time")   # after a "Command exited" line
        if [ -z "$best" ] || awk -v t="${t%% *}" -v b="$best" 'BEGIN { exit !(t < b) }'; then
            best=${t%% *}; cpu=${t##* }
        fi
    done
    echo "$best $cpu"
}
count_unified() { grep -v -e '^--- ' -e '^+++ ' "$1" | grep -c '^[-+]' || true; }
count_normal() { grep -c '^[<>]' "$1" || true; }

Q=$(best "$WORK/q.out" "$PROGRAM" --diff "$L" "$R")
M=$(best "$WORK/m.out" diff --minimal "$L" "$R")
P=$(best "$WORK/p.out" diff "$L" "$R")
printf 'files: %s lines vs %s lines (libstdc++ 11 and 12 headers); best of %s runs\n' \
    "$(wc -l <"$L")" "$(wc -l <"$R")" "$RUNS"
printf '%-18s %8s %8s %14s\n' "process" "wall s" "cpu s" "changed lines"
printf '%-18s %8.3f %8.3f %14s\n' "quorlane --diff" ${Q} "$(count_unified "$WORK/q.out")"
printf '%-18s %8.3f %8.3f %14s\n' "diff --minimal" ${M} "$(count_normal "$WORK/m.out")"
printf '%-18s %8.3f %8.3f %14s\n' "diff" ${P} "$(count_normal "$WORK/p.out")"
awk -v q="$Q" -v m="$M" -v p="$P" 'BEGIN {
    split(q, Q, " "); split(m, M, " "); split(p, P, " ")
    printf "quorlane / diff --minimal: wall %.2f, cpu %.2f\n", Q[1] / M[1], Q[2] / M[2]
    printf "quorlane / diff:           wall %.2f, cpu %.2f\n", Q[1] / P[1], Q[2] / P[2] }'
