#!/usr/bin/env bash
# Carving throughput and recovered files, side by side with PhotoRec (package testdisk) and
# with a plain `cat` of the same image, on two images built by tests/fixtures/carvefixture.py:
# random filler (few false signature hits) and real-looking filler (text, compressed data,
# headerless audio frames: dense hits). Never part of ctest.
#
#   bench/carve_vs_photorec.sh [--kscan PATH] [--size-mib N] [--files N] [--work DIR] [--runs N] [--cold]
#
# Defaults: build/tests/tools/kscan, 2048 MiB, 300 files, /tmp/kestrel-carve-bench, 3 runs.
# Use a Release build of kscan for figures that mean something (the default build has no
# optimisation): cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release && cmake --build
# build-rel --target kscan, then --kscan build-rel/tests/tools/kscan.
# Warm: the image is read once first, then each tool runs --runs times and the best time
# counts. --cold drops the page cache before every run (root only; it slows every other
# process on the machine for a while).
# "byte-exact" counts planted files recovered whole: Kestrel's lines with a found end (status
# 5) whose LBA and SHA-256 match the manifest; PhotoRec's output files whose SHA-256 matches a
# planted file.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
kscan="$here/build/tests/tools/kscan"
size=2048
files=300
work=/tmp/kestrel-carve-bench
runs=3
cold=0
while [ $# -gt 0 ]; do
  case "$1" in
    --kscan) kscan="$2"; shift 2 ;;
    --size-mib) size="$2"; shift 2 ;;
    --files) files="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --cold) cold=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
[ -x "$kscan" ] || { echo "kscan not found at $kscan (build first)" >&2; exit 2; }
have_photorec=1
command -v photorec >/dev/null || { echo "photorec not installed (apt-get install testdisk): its column stays empty" >&2; have_photorec=0; }
mkdir -p "$work"
work=$(cd "$work" && pwd)

drop_cache() {
  if [ "$cold" = 1 ]; then
    sync
    echo 3 > /proc/sys/vm/drop_caches
  fi
}

# best wall seconds of "$@" over $runs runs (stdout of the last run to $out)
best_time() {
  local out="$1"; shift
  local best=""
  for _ in $(seq "$runs"); do
    drop_cache
    local t0 t1 d
    t0=$(date +%s.%N)
    "$@" > "$out" 2>/dev/null || true
    t1=$(date +%s.%N)
    d=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$d < $best" | bc -l)" = 1 ]; then best=$d; fi
  done
  echo "$best"
}

run_photorec() {
  local img="$1" dest="$2"
  rm -rf "$dest" && mkdir -p "$dest"
  # PhotoRec writes its log into the current folder: run it inside its own output folder.
  (cd "$dest" && photorec /log /d "$dest/recup" /cmd "$img" fileopt,everything,enable,search > /dev/null 2>&1) || true
}

for filler in random dense; do
  img="$work/carve-$filler-$size.img"
  man="$work/carve-$filler-$size.manifest"
  if [ ! -f "$img" ] || [ ! -f "$man" ]; then
    echo "building $img ..." >&2
    python3 "$here/tests/fixtures/carvefixture.py" "$img" "$man" --size-mib "$size" --files "$files" --filler "$filler" --seed 7
  fi
  bytes=$(stat -c %s "$img")
  [ "$cold" = 1 ] || cat "$img" > /dev/null

  t_cat=$(best_time /dev/null cat "$img")
  t_kes=$(best_time "$work/kscan-$filler.jsonl" "$kscan" --answer=no carve "$img")
  # kscan's own clock: the scan alone, without hashing and printing the files it found.
  t_scan=$(tail -1 "$work/kscan-$filler.jsonl" | python3 -c "import json,sys; print(json.load(sys.stdin)['seconds'])")
  kes_exact=$(python3 - "$man" "$work/kscan-$filler.jsonl" <<'EOF'
import json, sys
planted = {(p["lba"], p["sha256"]) for p in map(json.loads, open(sys.argv[1]))}
n = 0
for line in open(sys.argv[2]):
    c = json.loads(line)
    if c.get("status") == 5 and (c["lba"], c["sha256"]) in planted:
        n += 1
print(n)
EOF
)
  t_pr=""
  pr_exact=""
  if [ "$have_photorec" = 1 ]; then
    # PhotoRec writes what it finds; its time includes those writes (to $work).
    t_pr=$(best_time /dev/null run_photorec "$img" "$work/photorec-$filler")
    pr_exact=$(python3 - "$man" "$work/photorec-$filler" <<'EOF'
import hashlib, json, os, sys
planted = {p["sha256"] for p in map(json.loads, open(sys.argv[1]))}
found = set()
for root, _, names in os.walk(sys.argv[2]):
    for n in names:
        if n.endswith(".xml") or n == "report.xml":
            continue
        h = hashlib.sha256()
        with open(os.path.join(root, n), "rb") as f:
            for chunk in iter(lambda: f.read(1 << 20), b""):
                h.update(chunk)
        if h.hexdigest() in planted:
            found.add(h.hexdigest())
print(len(found))
EOF
)
  fi
  planted=$(wc -l < "$man")
  ended=$(python3 -c "import json,sys; print(sum(1 for l in open(sys.argv[1]) if json.loads(l)['exact']))" "$man")
  python3 - "$filler" "$bytes" "$t_cat" "$t_kes" "${t_pr:-0}" "$kes_exact" "${pr_exact:--}" "$planted" "$ended" "$cold" "$t_scan" <<'EOF'
import sys
filler, size, tcat, tkes, tpr, kx, px, planted, ended, cold, tscan = sys.argv[1:]
size = int(size); tcat, tkes, tpr, tscan = float(tcat), float(tkes), float(tpr), float(tscan)
mbps = lambda t: size / t / 1e6 if t > 0 else 0.0
print("[%s filler, %s cache] %.0f MiB, %s planted (%s with end detection here)" % (
    filler, "cold" if cold == "1" else "warm", size / 2**20, planted, ended))
print("  cat      %7.2f s  %8.1f MB/s" % (tcat, mbps(tcat)))
print("  kestrel  %7.2f s  %8.1f MB/s  byte-exact %s  (whole run, hashing its finds)" % (tkes, mbps(tkes), kx))
print("  kestrel  %7.2f s  %8.1f MB/s  (scan only)" % (tscan, mbps(tscan)))
if tpr > 0:
    print("  photorec %7.2f s  %8.1f MB/s  byte-exact %s" % (tpr, mbps(tpr), px))
    print("  kestrel/photorec throughput ratio: %.2f (whole run), %.2f (scan only)" % (mbps(tkes) / mbps(tpr), mbps(tscan) / mbps(tpr)))
print("  kestrel/cat throughput ratio: %.2f (whole run), %.2f (scan only)" % (mbps(tkes) / mbps(tcat), mbps(tscan) / mbps(tcat)))
EOF
done
