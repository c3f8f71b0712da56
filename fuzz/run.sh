#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan+UBSan, as the sanitizer build) into
# build-fuzz/ and runs each for SECONDS. Fails when any target finds a crash, a sanitizer
# report, a leak or an input slower than the time-out.
#   fuzz/run.sh SECONDS [TARGET...]     e.g. fuzz/run.sh 5, or fuzz/run.sh 3600 ntfs_volume_fuzz
# KESTREL_JOBS caps the parallel build jobs and the targets run at once. The working corpus of
# each target stays in build-fuzz/corpus/NAME and grows from run to run; seeds made from real
# volumes go to build-fuzz/seeds/NAME (fuzz/makeseeds.py); failing inputs are kept as
# build-fuzz/artifacts/NAME-crash-* (replay: build-fuzz/fuzz/NAME FILE).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
dir="$top/build-fuzz"
jobs=${KESTREL_JOBS:-$(nproc 2>/dev/null || echo 2)}

"$top/scripts/setup.sh"
CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -DKESTREL_FUZZ=ON -DBUILD_TESTING=OFF \
  -DKESTREL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$jobs" --target fuzz_targets

# Seeds are made once per build folder, and again when the seed maker changes.
if [[ ! -f $dir/seeds/.done || $top/fuzz/makeseeds.py -nt $dir/seeds/.done ]]; then
  rm -rf "$dir/seeds"
  python3 "$top/fuzz/makeseeds.py" "$dir/seeds" "$dir/tests/tools"
  touch "$dir/seeds/.done"
fi

targets=("$@")
if ((${#targets[@]} == 0)); then
  for bin in "$dir"/fuzz/*_fuzz; do targets+=("$(basename "$bin")"); done
fi
mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_one() { # name
  local name=$1 corpus=$dir/corpus/$1 dirs=()
  mkdir -p "$corpus"
  [[ -d $dir/seeds/$name ]] && dirs+=("$dir/seeds/$name")
  [[ -d $top/fuzz/seeds/$name ]] && dirs+=("$top/fuzz/seeds/$name")
  # An input slower than 30 s is a hang to the user as well: it fails like a crash.
  if "$dir/fuzz/$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -print_final_stats=1 \
       -artifact_prefix="$dir/artifacts/$name-" "$corpus" "${dirs[@]}" >"$dir/logs/$name.log" 2>&1; then
    echo "fuzz: $name ok ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/logs/$name.log" | grep -o '[0-9]*$') runs)"
  else
    echo "fuzz: $name FAILED; log $dir/logs/$name.log"
    grep -E 'ERROR|SUMMARY|Test unit written|runtime error' "$dir/logs/$name.log" | head -8 | sed 's/^/  /'
    return 1
  fi
}
export -f run_one
export dir top seconds
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'
