#!/usr/bin/env bash
# Throughput of the disk-image writer ("kscan image") against "dd bs=8M" of the same source in
# the same run, on a file of random data (1 GiB by default). The aim is at least 0.9 of dd's
# rate. Both read with a warm page cache and write into the same folder; each runs --runs times
# and the best time counts. Never part of ctest.
#
#   bench/diskimage_bench.sh [--kscan PATH] [--size-mib N] [--work DIR] [--runs N]
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
kscan="$here/build/tests/tools/kscan"
size=1024
work=/tmp/kestrel-image-bench
runs=3
while [ $# -gt 0 ]; do
  case "$1" in
    --kscan) kscan="$2"; shift 2 ;;
    --size-mib) size="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$work"
src="$work/source.img"
if [ ! -f "$src" ] || [ "$(stat -c %s "$src")" -ne $((size << 20)) ]; then
  head -c $((size << 20)) /dev/urandom > "$src"
fi
cat "$src" > /dev/null

best() { # command...
  local best_ns=0
  for _ in $(seq "$runs"); do
    rm -f "$work/out.img"
    local t0 t1
    t0=$(date +%s%N)
    "$@" > /dev/null 2>&1
    sync "$work/out.img" 2>/dev/null || true
    t1=$(date +%s%N)
    local ns=$((t1 - t0))
    if [ "$best_ns" -eq 0 ] || [ "$ns" -lt "$best_ns" ]; then best_ns=$ns; fi
  done
  echo "$best_ns"
}

dd_ns=$(best dd if="$src" of="$work/out.img" bs=8M)
kscan_ns=$(best "$kscan" image "$src" "$work/out.img")
cmp -s "$src" "$work/out.img" || { echo "the image differs from its source" >&2; exit 1; }
rm -f "$work/out.img"
awk -v mib="$size" -v d="$dd_ns" -v k="$kscan_ns" 'BEGIN {
  printf "dd bs=8M:    %8.1f MB/s\n", mib * 1.048576 / (d / 1e9);
  printf "kscan image: %8.1f MB/s\n", mib * 1.048576 / (k / 1e9);
  printf "ratio:       %8.2f (aim >= 0.9)\n", d / k;
}'
