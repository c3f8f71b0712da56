#!/usr/bin/env bash
# A scan chosen and watched on a desktop: a virtual X server with a window manager, the program
# started on a described machine (the NTFS fixture image and a large empty disk), the start
# button pressed, the device selection pictured, the large disk double-clicked and the question
# answered, the running scan pictured, and the program closed.
# Usage: scan_journey.sh KESTREL NTFS_IMAGE SCREENSHOT_PREFIX
set -uo pipefail
kestrel=$1
ntfs=$2
shot=$3
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "scan journey: $*"
  [[ -f $work/kestrel.log ]] && tail -20 "$work/kestrel.log"
  exit 1
}
for tool in Xvfb openbox xdotool xwininfo import; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
[[ -f $ntfs ]] || { echo "scan journey: no NTFS fixture image, skipped"; exit 0; }

# The machine: the NTFS image as disk 0 (and drive E), a sparse 6 GiB empty disk as disk 1 that
# takes long enough to scan for a picture of the running scan.
truncate -s 6G "$work/big.img"
cat >"$work/machine.json" <<EOF
{"disks":[{"image":"$ntfs","model":"Fixture NTFS","bus":"sata"},
          {"image":"$work/big.img","model":"Large empty disk","bus":"sata"}],
 "drives":[{"letter":"E","image":"$ntfs"}]}
EOF

Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 600); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || fail "the X server did not start"
export DISPLAY=:$(tr -d '[:space:]' <"$work/display")
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
xwininfo -root >/dev/null 2>&1 || fail "the X server did not start"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 0.5

export KESTREL_REGISTRY_DIR=$work/registry XDG_RUNTIME_DIR=$work KESTREL_MACHINE=$work/machine.json
"$kestrel" >"$work/kestrel.log" 2>&1 &
kpid=$!
pids+=($kpid)

win=""
for _ in $(seq 200); do
  win=$(xwininfo -root -tree 2>/dev/null | awk '/ 1130x820\+/ {print $1; exit}')
  [[ -n $win ]] && break
  kill -0 "$kpid" 2>/dev/null || break
  sleep 0.1
done
[[ -n $win ]] || fail "no 1130x820 main window appeared"
sleep 1.5
origin() { xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'; }
read -r x y < <(origin)
# The panels lie at (3, 83) of the window; the start button of the new menu at (370, 440) of it.
xdotool mousemove $((x + 3 + 370 + 80)) $((y + 83 + 440 + 24)) click 1
sleep 2
import -window root "${shot}_devices.png" || fail "no screenshot of the device selection"
echo "device selection shown; screenshot ${shot}_devices.png"

# The disks group follows the partitions group (one row: 30 + 60 pixels); its second item is
# the large disk. Items start 18 pixels in, 30 below their group's top, 253 by 60.
px=$((x + 3 + 5 + 3 + 18 + 253 + 120))
py=$((y + 83 + 5 + 3 + 90 + 30 + 30))
xdotool mousemove $px $py click --repeat 2 --delay 80 1
sleep 1
# The question "Scan ... now?": its first button has the focus.
xdotool key Return
sleep 2.5
kill -0 "$kpid" 2>/dev/null || fail "the program ended during the scan"
import -window root "${shot}_scanning.png" || fail "no screenshot of the scan"
echo "scan running; screenshot ${shot}_scanning.png"
exit 0
