#!/usr/bin/env bash
# Throughput of the MP4/MOV video mode against the normal carving scan, in the same run, on the
# carving image of tests/fixtures/carvefixture.py (2 GiB by default). The video mode tests every
# byte offset of every block, so it is expected to be slower; the ratio is what this reports.
# Never part of ctest.
#
#   bench/videomode_bench.sh [--kscan PATH] [--size-mib N] [--work DIR] [--runs N] [--switches LIST]
#
# Use a Release build of kscan for figures that mean something: cmake -S . -B build-rel
# -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel --target kscan. The image is read once
# first (warm cache); each scan runs --runs times and the best time counts. --switches is the
# video mode's sample switches (all by default; none leaves only the box and photo tests).
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
kscan="$here/build/tests/tools/kscan"
size=2048
work=/tmp/kestrel-video-bench
runs=2
switches=all
while [ $# -gt 0 ]; do
  case "$1" in
    --kscan) kscan="$2"; shift 2 ;;
    --size-mib) size="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --switches) switches="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
[ -x "$kscan" ] || { echo "kscan not found at $kscan (build first)" >&2; exit 2; }
mkdir -p "$work"
img="$work/carve-$size.img"
[ -f "$img" ] || python3 "$here/tests/fixtures/carvefixture.py" "$img" "$work/carve-$size.manifest" \
  --size-mib "$size" --files 300
cat "$img" >/dev/null

python3 - "$kscan" "$img" "$runs" "$switches" <<'EOF'
import json, os, subprocess, sys, time
kscan, img, runs, switches = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
mib = os.path.getsize(img) / (1 << 20)
def best(args):
    t = None
    for _ in range(runs):
        start = time.monotonic()
        out = subprocess.run([kscan, "--answer=no", "carve"] + args + [img], capture_output=True, text=True, check=True)
        took = time.monotonic() - start
        t = took if t is None else min(t, took)
    return t, json.loads(out.stdout.splitlines()[-1])
normal, s1 = best([])
video, s2 = best(["--mode", "video", "--video-switches", switches])
print("%-22s %8.1f s %8.1f MiB/s  files %s" % ("normal carving", normal, mib / normal, s1.get("files")))
print("%-22s %8.1f s %8.1f MiB/s  video hits %s" % ("video mode (%s)" % switches, video, mib / video, s2.get("videohits")))
print("video mode takes %.2f times as long as the normal scan" % (video / normal))
EOF
