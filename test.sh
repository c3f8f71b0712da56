#!/usr/bin/env bash
# Sets up, builds and runs every test. "./test.sh --sanitize" does the same with ASan and UBSan
# in a separate build folder.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dir="$top/build"
opts=(-DBUILD_TESTING=ON)
if [[ ${1:-} == --sanitize ]]; then
  dir="$top/build-sanitize"
  opts+=(-DKESTREL_SANITIZE=ON -DKESTREL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$dir" "${opts[@]}"
cd "$dir"
ctest --output-on-failure -j "${KESTREL_JOBS:-$(nproc 2>/dev/null || echo 2)}" --timeout 600
