#!/usr/bin/env bash
# Stops the cluster that scripts/pg-start.sh started and removes its temporary folder.
# Takes the same environment file; does nothing when the file is missing.
set -uo pipefail

ENV_FILE=${1:-${KUBRIX_PG_ENV:-$PWD/pg-env.sh}}
[ -f "$ENV_FILE" ] || exit 0
# shellcheck disable=SC1090
. "$ENV_FILE"
RUN=()
if [ "$(id -u)" -eq 0 ]; then RUN=(runuser -u postgres --); fi
if [ -n "${KUBRIX_PG_DIR:-}" ] && [ -d "$KUBRIX_PG_DIR" ]; then
  "${RUN[@]}" "${KUBRIX_PG_BIN:-/usr/lib/postgresql/15/bin}/pg_ctl" -D "$KUBRIX_PG_DIR/data" -m fast -w stop >/dev/null 2>&1 ||
    "${RUN[@]}" "${KUBRIX_PG_BIN:-/usr/lib/postgresql/15/bin}/pg_ctl" -D "$KUBRIX_PG_DIR/data" -m immediate stop >/dev/null 2>&1 || true
  case "$KUBRIX_PG_DIR" in
    */kubrix-pg.*) rm -rf "$KUBRIX_PG_DIR" ;;
  esac
fi
rm -f "$ENV_FILE"
