#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/*_fuzz.cpp) with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for KUBRIX_FUZZ_SECONDS (default 60), seeded from
# fuzz/corpus/<target>/. Exits non-zero when a target crashes, hangs, leaks or runs out of
# memory (or makes one allocation over KUBRIX_FUZZ_MALLOC_MB, default 256); the failing
# input is kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${KUBRIX_FUZZ_BUILD:-$ROOT/build-fuzz}
SECONDS_EACH=${KUBRIX_FUZZ_SECONDS:-60}
JOBS=${KUBRIX_FUZZ_JOBS:-$(nproc)}
# No single allocation of a target may be this large: inputs are at most 4 KiB, so a bigger
# block can only be sized by untrusted bytes.
MALLOC_MB=${KUBRIX_FUZZ_MALLOC_MB:-256}

targets=()
for src in fuzz/*_fuzz.cpp; do
  [ -e "$src" ] || continue
  targets+=("$(basename "$src" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets"
  exit 0
fi

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DKUBRIX_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$BUILD/artifacts"
status=0
for t in "${targets[@]}"; do
  # New inputs go to a working corpus in the build folder; the committed seeds stay as they are.
  work="$BUILD/corpus/$t"
  mkdir -p "$work"
  seeds=()
  if [ -d "fuzz/corpus/$t" ]; then seeds+=("fuzz/corpus/$t"); fi
  echo "fuzz: $t for ${SECONDS_EACH}s"
  if ! "$BUILD/fuzz/$t" "$work" "${seeds[@]}" \
      -max_total_time="$SECONDS_EACH" -max_len=4096 -rss_limit_mb=2048 -malloc_limit_mb="$MALLOC_MB" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t-" 2>"$BUILD/$t.log"; then
    echo "fuzz: $t FAILED; last lines of $BUILD/$t.log:"
    tail -n 40 "$BUILD/$t.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$BUILD/$t.log" | sed "s/^/fuzz: $t /" || true
  fi
done
exit $status
