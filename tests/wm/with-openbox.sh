#!/usr/bin/env bash
# Runs a test program on a virtual X display managed by openbox, so window placement meets a real
# window manager: with-openbox.sh PROGRAM [ARGS...]. Says "WINDOW MANAGER NOT AVAILABLE" and exits
# 0 when Xvfb or openbox is missing, which CTest reports as skipped.
set -euo pipefail
for tool in xvfb-run openbox; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "WINDOW MANAGER NOT AVAILABLE: $tool is missing"
    exit 0
  fi
done
export QT_QPA_PLATFORM=xcb
# The inner script starts openbox, waits until it manages the display, runs the program, and
# ends openbox whatever the program's outcome.
exec xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
  set +e
  "$@"
  rc=$?
  kill "$wm" 2>/dev/null
  wait "$wm" 2>/dev/null
  exit $rc
' with-openbox "$@"
