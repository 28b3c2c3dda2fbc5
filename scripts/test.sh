#!/usr/bin/env bash
# Builds and runs every test on a fresh machine: installs the packages, builds, runs the
# suite, then the suite of the build without Qt (everything below the user interface and
# kubrix-export), then (unless KUBRIX_QUICK=1) the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the fuzz targets for a bounded time. The last line
# counts the tests of every run.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

bash scripts/install-deps.sh

# The server tests run against a throwaway PostgreSQL cluster, stopped however the run ends.
export KUBRIX_PG_ENV=$(mktemp "${TMPDIR:-/tmp}/kubrix-pg-env.XXXXXX")
trap 'bash "$ROOT/scripts/pg-stop.sh" "$KUBRIX_PG_ENV"' EXIT
if bash scripts/pg-start.sh "$KUBRIX_PG_ENV" >/dev/null; then
  # shellcheck disable=SC1090
  . "$KUBRIX_PG_ENV"
else
  echo "test.sh: PostgreSQL did not start; the server tests will be skipped" >&2
  # A CI run must exercise the server.
  if [ -n "${CI:-}" ]; then exit 1; fi
fi

JOBS=$(nproc)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

PASSED=0
FAILED=0
run_suite() {  # build dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja -DKUBRIX_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  local rc=0
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 600) | tee "$dir/ctest.log" || rc=$?
  # "N% tests passed, F tests failed out of T"
  local line total failed
  line=$(grep -E 'tests failed out of [0-9]+' "$dir/ctest.log" | tail -n 1 || true)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  failed=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  if [ -n "$line" ]; then
    PASSED=$((PASSED + total - failed))
    FAILED=$((FAILED + failed))
  fi
  return "$rc"
}

run_suite build
# A server without Qt: the layers below the user interface, their tests and kubrix-export.
run_suite build-noqt -DKUBRIX_WITH_QT=OFF
if [ "${KUBRIX_QUICK:-0}" != 1 ]; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0 \
    run_suite build-asan -DKUBRIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  if [ -x scripts/fuzz.sh ]; then
    bash scripts/fuzz.sh
  fi
fi
echo "$PASSED passed, $FAILED failed"
