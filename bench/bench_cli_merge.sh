#!/usr/bin/env bash
# quorlane --merge -p against git merge-file -p, whole process against whole process, on three
# ~360,000-line files: BASE every header of libstdc++ 11 concatenated in path order, OTHER the
# same of libstdc++ 12, CURRENT a copy of BASE with a few hundred scattered edits (replaced,
# inserted and deleted lines). Prints the best wall time of RUNS, its CPU time, the peak memory
# (maximum resident set) of each, the ratios, and both exit statuses (the conflict counts).
#
#   bench/bench_cli_merge.sh [RUNS]     (default 3; installs libstdc++-11-dev and -12-dev if missing)
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
BASE="$WORK/c++11.h"; OTHER="$WORK/c++12.h"; CURRENT="$WORK/current.h"
# A fixed set of edits, spread over the whole file.
python3 - "$BASE" "$CURRENT" <<'PY'
import random, sys
lines = open(sys.argv[1], 'rb').read().split(b'\n')
rng = random.Random(360)
for k in range(400):
    i = rng.randrange(len(lines) - 1)
    op = k % 3
    if op == 0:
        lines[i] = b'// local edit %d' % k
    elif op == 1:
        lines.insert(i, b'// local insertion %d' % k)
    else:
        del lines[i]
open(sys.argv[2], 'wb').write(b'\n'.join(lines))
PY

# Best wall time of RUNS runs, with that run's CPU time (user + system) and the largest peak
# memory of all runs: "WALL CPU KB EXIT".
best() {
    local best="" cpu="" kb=0 status=0 t
    for _ in $(seq 1 "$RUNS"); do
        status=0
        /usr/bin/time -f "%e %U %S %M" -o "$WORK/time" "$@" >"$WORK/out" || status=$?
        t=$(awk 'END { print $1, $2 + $3, $4 }' "$WORK/time")
        read -r w c m <<<"$t"
        [ "$m" -gt "$kb" ] && kb=$m
        if [ -z "$best" ] || awk -v t="$w" -v b="$best" 'BEGIN { exit !(t < b) }'; then
            best=$w; cpu=$c
        fi
    done
    echo "$best $cpu $kb $status"
}

lines() { wc -l <"$1" | tr -d ' '; }
echo "BASE $(lines "$BASE") lines, CURRENT $(lines "$CURRENT"), OTHER $(lines "$OTHER")"
read -r gw gc gm gs <<<"$(best git merge-file -p "$CURRENT" "$BASE" "$OTHER")"
read -r qw qc qm qs <<<"$(best "$PROGRAM" --merge -p "$CURRENT" "$BASE" "$OTHER")"
read -r nw nc nm ns <<<"$(best "$PROGRAM" --merge -p --rules=none "$CURRENT" "$BASE" "$OTHER")"
printf '%-32s %8s %8s %10s %6s\n' "" "wall s" "cpu s" "peak MiB" "exit"
printf '%-32s %8s %8s %10d %6s\n' "git merge-file -p" "$gw" "$gc" $((gm / 1024)) "$gs"
printf '%-32s %8s %8s %10d %6s\n' "quorlane --merge -p" "$qw" "$qc" $((qm / 1024)) "$qs"
printf '%-32s %8s %8s %10d %6s\n' "quorlane --merge -p --rules=none" "$nw" "$nc" $((nm / 1024)) "$ns"
awk -v gw="$gw" -v qw="$qw" -v gc="$gc" -v qc="$qc" -v gm="$gm" -v qm="$qm" 'BEGIN {
    printf "ratios quorlane/git: wall %.2f, cpu %.2f, peak memory %.2f (targets: <= 1, <= 2)\n",
           qw / gw, qc / (gc > 0 ? gc : 0.01), qm / gm }'
