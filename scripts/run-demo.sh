#!/usr/bin/env bash
# The main job: builds the program and its demo database, then shows the demo pivot: in a
# window when there is a display, else printed to the terminal by the headless export.
# Extra arguments go to kubrix (e.g. `scripts/run-demo.sh export --sql "..." --format html`).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target kubrix
kubrix=build/apps/kubrix/kubrix
if [ "$#" -gt 0 ]; then
  exec "$kubrix" "$@"
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$kubrix"
fi
echo "No display: the demo pivot (sales by region and manager, years across) as text."
echo "To open the window: run this script in a desktop session, or"
echo "  xvfb-run -a $kubrix --screenshot /tmp/kubrix.png </dev/null   (saves a picture of it)"
echo
exec "$kubrix" export --sql "SELECT region, manager, product, year, month, qty, amount FROM sales" \
  --rows "region;manager;" --cols "year;" --data "amount;" --format text
