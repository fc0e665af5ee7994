#!/usr/bin/env bash
# Makes docs/screenshot.png: the real program under Xvfb with the openbox window manager,
# started from the command line on two versions of a small source file, after the comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
PROGRAM="${QUORLANE:-$ROOT/${BUILD_DIR:-build}/quorlane}"
OUT="${1:-$ROOT/docs/screenshot.png}"
[ -x "$PROGRAM" ] || { echo "screenshot.sh: build first ($PROGRAM is missing)" >&2; exit 1; }

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/old" "$WORK/new" "$WORK/home"
cat >"$WORK/old/wordcount.cpp" <<'SRC'
// Counts the words of the files named on the command line.
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char* argv[])
{
    long total = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i]);
        std::string word;
        long count = 0;
        while (in >> word)
            ++count;
        std::cout << count << " " << argv[i] << "\n";
        total += count;
    }
    std::cout << total << " total\n";
    return 0;
}
SRC
cat >"$WORK/new/wordcount.cpp" <<'SRC'
// Counts the words and lines of the files named on the command line.
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char* argv[])
{
    long total = 0;
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i]);
        if (!in) {
            std::cerr << "cannot open " << argv[i] << "\n";
            ++failed;
            continue;
        }
        std::string word;
        long count = 0;
        while (in >> word)
            ++count;
        std::cout << count << "\t" << argv[i] << "\n";
        total += count;
    }
    std::cout << total << "\ttotal\n";
    return failed == 0 ? 0 : 1;
}
SRC

# Inside the X session: a window manager, the program, its summary box answered, the window shot.
cat >"$WORK/session.sh" <<'SESSION'
set -euo pipefail
openbox & WM=$!
for _ in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.1; done
cd "$WORK"
"$PROGRAM" old/wordcount.cpp new/wordcount.cpp & APP=$!
BOX="$(xdotool search --sync --onlyvisible --name '^Information$' | head -n 1)"
xdotool windowactivate --sync "$BOX" key Return
sleep 1
WIN="$(xdotool search --onlyvisible --name '^Quorlane 1\.0$' | head -n 1)"
xdotool windowactivate --sync "$WIN"
xdotool mousemove 2000 2000   # no pointer over the window
sleep 1
import -window "$WIN" "$OUT"
xdotool key --window "$WIN" alt+F4 || true
wait "$APP" || true
kill "$WM" 2>/dev/null || true
SESSION
export WORK PROGRAM OUT
HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" APPDATA="$WORK/home/appdata" QT_QPA_PLATFORM=xcb \
    timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" bash "$WORK/session.sh"
echo "$OUT"
