#!/usr/bin/env bash
# Starts kubrix on a virtual display, waits for its window, has it save a screenshot and quit.
# Usage: window_smoke.sh KUBRIX SCREENSHOT.png [MORE KUBRIX OPTIONS, e.g. --drill 2,2]
set -euo pipefail
kubrix=${1:?kubrix program}
shot=${2:?screenshot file}
command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 1; }
command -v xwininfo >/dev/null || { echo "xwininfo is not installed (x11-utils)"; exit 1; }
rm -f "$shot"
# A free display number.
disp=99
while [ -e "/tmp/.X11-unix/X$disp" ] || [ -e "/tmp/.X$disp-lock" ]; do disp=$((disp + 1)); done
Xvfb ":$disp" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=":$disp"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
# The program saves the screenshot once its window is shown and quits when its input ends.
tmp=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$tmp"' EXIT
mkfifo "$tmp/in"
"$kubrix" --screenshot "$shot" "${@:3}" <"$tmp/in" &
app=$!
exec 3>"$tmp/in"
found=no
for _ in $(seq 600); do
  if [ "$found" = no ] && xwininfo -root -tree 2>/dev/null | grep -q '"Kubrix"'; then found=yes; fi
  [ "$found" = yes ] && [ -s "$shot" ] && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
exec 3>&-
rc=0
wait "$app" || rc=$?
[ "$found" = yes ] || { echo "the kubrix window never appeared"; exit 1; }
[ "$rc" -eq 0 ] || { echo "kubrix exited with $rc"; exit 1; }
[ -s "$shot" ] || { echo "no screenshot written"; exit 1; }
echo "window screenshot: $shot"
