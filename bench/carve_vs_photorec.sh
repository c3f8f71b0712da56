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
# counts. --cold drops the image's pages from the page cache before every run (GNU dd with
# iflag=nocache: no root needed, and nothing else on the machine loses its cache), so every
# tool reads the image from the disk.
# Each tool's row gives its wall time, its throughput and the processor time (user + system,
# of every process it ran) per GB of image. "kscan sigs" is the first half of the scan alone
# (reader, ring, signature matcher), "kscan carve" the whole deep scan.
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

# The best run of a command: "WALL CPU" in seconds (CPU: user + system of the command and
# every process it started), stdout of the best run to OUT (/dev/null: thrown away). The
# image's cache is dropped first when cold.
best_time() {
  local out="$1" img="$2"; shift 2
  python3 - "$out" "$img" "$cold" "$runs" "$@" <<'EOF'
import os, resource, subprocess, sys, time
out, img, cold, runs, cmd = sys.argv[1], sys.argv[2], sys.argv[3] == "1", int(sys.argv[4]), sys.argv[5:]
best = None
for _ in range(runs):
    if cold:
        subprocess.run(["dd", "if=" + img, "iflag=nocache", "count=0", "status=none"], check=True)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    keep = out != os.devnull
    with open(out + ".run" if keep else os.devnull, "wb") as f:
        subprocess.run(cmd, stdout=f, stderr=subprocess.DEVNULL)
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if best is None or wall < best[0]:
        best = (wall, cpu)
        if keep:
            os.replace(out + ".run", out)
if os.path.exists(out + ".run"):
    os.remove(out + ".run")
print("%.4f %.4f" % best)
EOF
}

for filler in random dense; do
  img="$work/carve-$filler-$size.img"
  man="$work/carve-$filler-$size.manifest"
  if [ ! -f "$img" ] || [ ! -f "$man" ]; then
    echo "building $img ..." >&2
    python3 "$here/tests/fixtures/carvefixture.py" "$img" "$man" --size-mib "$size" --files "$files" --filler "$filler" --seed 7
    sync "$img"
  fi
  bytes=$(stat -c %s "$img")
  [ "$cold" = 1 ] || cat "$img" > /dev/null

  cat_t=$(best_time /dev/null "$img" cat "$img")
  sigs_t=$(best_time "$work/sigs-$filler.jsonl" "$img" "$kscan" sigs "$img")
  kes_t=$(best_time "$work/kscan-$filler.jsonl" "$img" "$kscan" --answer=no carve "$img")
  # kscan's own clock: the scan alone, without hashing and printing the files it found.
  scan_t=$(tail -1 "$work/kscan-$filler.jsonl" | python3 -c "import json,sys; print(json.load(sys.stdin)['seconds'])")
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
  pr_t="0 0"
  pr_exact="-"
  if [ "$have_photorec" = 1 ]; then
    # PhotoRec writes what it finds (to $work); its time includes those writes. It writes its
    # log into the current folder, so it runs inside its own output folder.
    dest="$work/photorec-$filler"
    pr_t=$(best_time "$work/photorec-$filler.out" "$img" bash -c 'rm -rf "$1" && mkdir -p "$1" && cd "$1" && exec photorec /log /d "$1/recup" /cmd "$2" fileopt,everything,enable,search' _ "$dest" "$img")
    pr_exact=$(python3 - "$man" "$dest" <<'EOF'
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
    rm -f "$work/photorec-$filler.out"
  fi
  planted=$(wc -l < "$man")
  ended=$(python3 -c "import json,sys; print(sum(1 for l in open(sys.argv[1]) if json.loads(l)['exact']))" "$man")
  python3 - "$filler" "$bytes" "$cold" "$planted" "$ended" "$kes_exact" "$pr_exact" "$scan_t" $cat_t $sigs_t $kes_t $pr_t <<'EOF'
import sys
filler, size, cold, planted, ended, kx, px, tscan = sys.argv[1:9]
tcat, ccat, tsigs, csigs, tkes, ckes, tpr, cpr = map(float, sys.argv[9:17])
size, tscan, warm = int(size), float(tscan), cold != "1"
gb = size / 1e9
mbps = lambda t: size / t / 1e6 if t > 0 else 0.0
row = lambda name, t, c, extra="": print("  %-13s %7.2f s  %8.1f MB/s  %6.2f s CPU/GB%s" % (name, t, mbps(t), c / gb, extra))
print("[%s filler, %s cache] %.0f MiB, %s planted (%s with end detection here)" % (
    filler, "warm" if warm else "cold", size / 2**20, planted, ended))
row("cat", tcat, ccat)
row("kscan sigs", tsigs, csigs)
row("kscan carve", tkes, ckes, "  byte-exact %s  (whole run, hashing its finds)" % kx)
print("  %-13s %7.2f s  %8.1f MB/s  (scan only)" % ("kscan carve", tscan, mbps(tscan)))
if tpr > 0:
    row("photorec", tpr, cpr, "  byte-exact %s" % px)
print("  kscan sigs/cat throughput ratio: %.2f (target >= %s)" % (tcat / tsigs, "0.5" if warm else "0.9"))
if filler == "random" and warm:
    print("  kscan carve: %.2f GB/s whole run, %.2f GB/s scan only (target >= 4)" % (gb / tkes, gb / tscan))
if tpr > 0:
    print("  kscan carve/photorec throughput ratio: %.2f (whole run), %.2f (scan only) (target >= 3)" % (tpr / tkes, tpr / tscan))
print("  kscan carve/cat throughput ratio: %.2f (whole run), %.2f (scan only)" % (tcat / tkes, tcat / tscan))
EOF
done
