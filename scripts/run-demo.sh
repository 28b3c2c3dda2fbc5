#!/usr/bin/env bash
# Runs the main job on the bundled demo database. Until the program exists this builds the
# project and says what the program will do.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/apps/kubrix/kubrix ]; then
  exec build/apps/kubrix/kubrix "$@"
fi
echo "kubrix: the program is not built yet. It will open a window with a pivot of the demo sales"
echo "database (or, with no display, print the pivot to the terminal)."
