#!/usr/bin/env bash
# Builds the demo database file from demo.sql: build-demo.sh OUTPUT.sqlite
set -euo pipefail
out=${1:?usage: build-demo.sh OUTPUT.sqlite}
src="$(cd "$(dirname "$0")" && pwd)/demo.sql"
tmp="$out.tmp.$$"
rm -f "$tmp"
sqlite3 "$tmp" < "$src" >/dev/null
mv -f "$tmp" "$out"
