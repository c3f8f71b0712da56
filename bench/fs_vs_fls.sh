#!/usr/bin/env bash
# Listing and reading many small files: "kscan fs" against The Sleuth Kit (package sleuthkit)
# on NTFS, FAT32 and exFAT volumes of COUNT small files in folders of 1000. Never part of ctest.
#
#   bench/fs_vs_fls.sh [--tools DIR] [--count N] [--work DIR] [--runs N]
#
# Defaults: build/tests/tools (kscan, ntfsfixture and exfatfixture live there), 100000 files,
# /tmp/kestrel-fs-bench, best of 3 runs. Use a Release build for figures that mean something:
# cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON && cmake --build build-rel
# --target kscan ntfsfixture exfatfixture, then --tools build-rel/tests/tools.
# Rows per volume, page cache warm:
#   list  "kscan fs --no-hash" (names, sizes, times; no file data) against "fls -r -p";
#         the aim is a ratio fls/kscan of at least 1.
#   read  "kscan fs" (every file read through the program's item reads and hashed) against
#         "fls -r -p" plus sha256sum of as many bytes as the files hold; the aim is a ratio
#         kscan/(fls + sha256sum) of at most 2.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
tools="$here/build/tests/tools"
count=100000
work=/tmp/kestrel-fs-bench
runs=3
while (($#)); do
  case $1 in
    --tools) tools=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--tools DIR] [--count N] [--work DIR] [--runs N]" >&2; exit 2 ;;
  esac
done
for tool in fls sha256sum mkfs.vfat mcopy; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install sleuthkit dosfstools mtools)" >&2; exit 1; }
done
kscan=$tools/kscan
[[ -x $kscan && -x $tools/ntfsfixture && -x $tools/exfatfixture ]] || { echo "build kscan, ntfsfixture and exfatfixture first" >&2; exit 1; }
mkdir -p "$work"

# Best wall time of $runs runs of a command whose output is thrown away, in seconds.
best() {
  local b="" t0 t1 t
  for ((r = 0; r < runs; ++r)); do
    t0=$(date +%s.%N)
    "$@" >/dev/null
    t1=$(date +%s.%N)
    t=$(echo "$t1 - $t0" | bc -l)
    if [[ -z $b ]] || (($(echo "$t < $b" | bc -l))); then b=$t; fi
  done
  printf '%.3f' "$b"
}

# The images, made once per count.
ntfs=$work/ntfs-$count.img
if [[ ! -f $ntfs ]]; then
  "$tools/ntfsfixture" bulk "$ntfs.tmp" "$ntfs.manifest" "$count" >/dev/null 2>&1 && mv "$ntfs.tmp" "$ntfs" || { echo "ntfsfixture failed" >&2; exit 1; }
fi
exfat=$work/exfat-$count.img
if [[ ! -f $exfat ]]; then
  "$tools/exfatfixture" "$exfat.tmp" "$exfat.manifest" --bulk "$count" && mv "$exfat.tmp" "$exfat" || { echo "exfatfixture failed" >&2; exit 1; }
fi
fat=$work/fat32-$count.img
if [[ ! -f $fat ]]; then
  # The same sizes as the exFAT volume's files, copied in with mtools (no mount needed).
  tree=$work/fat-tree
  rm -rf "$tree"
  mkdir -p "$tree/bulk"
  python3 - "$tree/bulk" "$count" <<'PY'
import os, sys
top, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    d = os.path.join(top, "d%03d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(d, exist_ok=True)
    size = 1 + (i * 7919) % 3000
    with open(os.path.join(d, "f%06d.txt" % i), "wb") as f:
        f.write(bytes((i * 31 + k) & 0xFF for k in range(size)))
PY
  mib=$((count * 4096 * 11 / 10 / 1048576 + 64))
  rm -f "$fat.tmp"
  mkfs.vfat -F 32 -C "$fat.tmp" $((mib * 1024)) >/dev/null
  MTOOLS_SKIP_CHECK=1 mcopy -s -Q -i "$fat.tmp" "$tree/bulk" ::/ && mv "$fat.tmp" "$fat" || { echo "mcopy failed" >&2; exit 1; }
  rm -rf "$tree"
fi

printf '%-7s %-5s %10s %10s %8s  %s\n' volume row kscan_s other_s ratio aim
for img in "$ntfs" "$fat" "$exfat"; do
  name=$(basename "$img" | cut -d- -f1)
  cat "$img" >/dev/null  # warm the page cache
  files=$("$kscan" fs "$img" --no-hash | grep -c '"dir":false' || true)
  bytes=$("$kscan" fs "$img" --no-hash | grep '"dir":false' | sed 's/.*"size":\([0-9]*\).*/\1/' | paste -sd+ | bc)
  head -c "$bytes" /dev/urandom >"$work/bytes.bin"
  list=$(best "$kscan" fs "$img" --no-hash)
  fls=$(best fls -r -p "$img")
  read_k=$(best "$kscan" fs "$img")
  sha=$(best sha256sum "$work/bytes.bin")
  printf '%-7s %-5s %10s %10s %8.2f  fls/kscan >= 1 (%s files)\n' "$name" list "$list" "$fls" \
    "$(echo "$fls / $list" | bc -l)" "$files"
  printf '%-7s %-5s %10s %10.3f %8.2f  kscan/(fls+sha256sum) <= 2 (%s bytes)\n' "$name" read "$read_k" \
    "$(echo "$fls + $sha" | bc -l)" "$(echo "$read_k / ($fls + $sha)" | bc -l)" "$bytes"
done
rm -f "$work/bytes.bin"
