#!/usr/bin/env bash
# Deleted files recovered from the window: the NTFS fixture's drive is scanned for deleted files,
# the drive's deleted files are checked in the folder tree, Recover asks for a folder, and every
# recovered file holds the bytes the fixture's manifest gives for it.
# Usage: recover_deleted.sh KESTREL FIXTURE_DIR OUT_DIR
SCENARIO=recover_deleted
KESTREL=$1
FIXTURES=$2
OUT=$3
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin

step "describe the machine"
[[ -f $FIXTURES/ntfs_small.img && -f $FIXTURES/ntfs_small.manifest ]] || fail "no NTFS fixture in $FIXTURES"
# File systems of 64 MiB and less are not named in the device list: the drive is grown (sparse).
cp --sparse=always "$FIXTURES/ntfs_small.img" "$WORK/ntfs.img"
truncate -s 96M "$WORK/ntfs.img"
machine '{"disks":[{"image":"'$WORK/ntfs.img'","model":"Fixture NTFS","bus":"sata"}],
          "drives":[{"letter":"E","image":"'$WORK/ntfs.img'"}]}'

step "start the program"
e2e_start_program

step "scan the drive for deleted files"
click window --top Kestrel --cls Button --id 1121
click window --top Kestrel --cls Button --id 1127
double_click element --tag 1 --text "E:"
for _ in $(seq 30); do
  $UI "$WORK/ui.txt" message --text "" >/dev/null && { click window --top Message --id 1; break; }
  grep -q "Oper: " "$WORK/prog/Kestrel.log" 2>/dev/null && break
  sleep 0.1
done
wait_log "DiskFileScanHandEnd end" 60 || fail "the scan did not end"
where item --text "Deleted files" >/dev/null || fail "the folder tree shows no deleted files"

step "check the deleted files"
# The tree may still be laid out again just after the scan (roots added, a branch opened): the
# box is clicked where the latest dump shows it, and clicked again only while the summary shows
# that the last click did not take.
want=$(grep '"deleted":true' "$FIXTURES/ntfs_small.manifest" | grep -c '"dir":false')
counted() { $UI "$WORK/ui.txt" text --top Kestrel --id 1050 | grep -q "^$want files"; }
for _ in 1 2 3; do
  sleep 1
  # The check box is the 16-pixel state picture just before the item's 16-pixel icon.
  read -r left top _ bottom < <(awk -F'\t' '$1 == "item" && $8 ~ /Deleted files/ {print $4, $5, $6, $7; exit}' "$WORK/ui.txt")
  [[ -n ${left:-} ]] || fail "no tree item to check"
  xdotool mousemove $((left - 24)) $(((top + bottom) / 2)) sleep 0.15 click 1
  for _ in $(seq 50); do counted && break; sleep 0.1; done
  counted && break
done
counted || fail "the summary does not count $want files: $($UI "$WORK/ui.txt" text --top Kestrel --id 1050)"

step "recover into a folder"
click window --top Kestrel --id 1011
wait_top "Preparing" 10 || fail "no recovery options"
mkdir -p "$WORK/out"
type_into window --top Preparing --id 1028 -- "$WORK/out"
click window --top Preparing --id 1
wait_top "Recovery finished" 60 || fail "the recovery did not finish"

step "compare with the manifest"
python3 - "$FIXTURES/ntfs_small.manifest" "$WORK/out" <<'PY' || fail "recovered files differ from the manifest"
import hashlib, json, os, sys
want = [e for e in map(json.loads, open(sys.argv[1])) if e["deleted"] and not e["dir"]]
got = {}
for root, _, files in os.walk(sys.argv[2]):
    for f in files:
        got.setdefault(f, []).append(os.path.join(root, f))
bad = 0
for e in want:
    # Under the recovery folder each file sits below its volume's folder, at its own path.
    places = [p for p in got.get(os.path.basename(e["path"]), []) if p.endswith(e["path"])]
    ok = any(hashlib.sha256(open(p, "rb").read()).hexdigest() == e["sha256"] for p in places)
    print(("ok   " if ok else "BAD  ") + e["path"])
    bad += not ok
sys.exit(1 if bad else 0)
PY
step "done"
exit 0
