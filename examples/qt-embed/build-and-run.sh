#!/usr/bin/env bash
# Installs the project into a prefix inside its build folder, builds the Qt example against
# that prefix alone and runs it.
#   build-and-run.sh BUILD-DIR EXAMPLE-BUILD-DIR EXAMPLE-SOURCE CXX "CXX-FLAGS" ARGS...
set -euo pipefail
build=$1 out=$2 src=$3 cxx=$4 flags=$5
shift 5
prefix=$out/prefix
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$src" -B "$out/build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_PREFIX_PATH="$prefix" "${launcher[@]}" >/dev/null
cmake --build "$out/build"
"$out/build/kubrix_embed" "$@"
