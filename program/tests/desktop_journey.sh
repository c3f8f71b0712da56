#!/usr/bin/env bash
# The program on a desktop: a virtual X server with a window manager, the program started, its
# main window found (title and size), a screenshot saved, the help menu opened from its button
# (screenshot) and closed with Esc, the window closed through the window
# manager (or Esc where the window manager does not manage it), the exit question answered with
# Enter, and the program's status checked to be 0.
# Usage: desktop_journey.sh KESTREL SCREENSHOT.png
set -uo pipefail
kestrel=$1
shot=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "journey: $*"
  exit 1
}
for tool in Xvfb openbox xdotool xwininfo wmctrl import; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done

# The server picks a free display number itself and writes it to the descriptor.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
# A loaded machine can take many seconds to bring a server up.
for _ in $(seq 600); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || fail "the X server did not start"
export DISPLAY=:$(tr -d '[:space:]' <"$work/display")
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
xwininfo -root >/dev/null 2>&1 || fail "the X server did not start"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 0.5

export KESTREL_REGISTRY_DIR=$work/registry XDG_RUNTIME_DIR=$work
"$kestrel" >"$work/kestrel.log" 2>&1 &
kpid=$!
pids+=($kpid)

# The main window: 1130 by 820 once the splash has placed it.
win=""
for _ in $(seq 200); do
  win=$(xwininfo -root -tree 2>/dev/null | awk '/ 1130x820\+/ {print $1; exit}')
  [[ -n $win ]] && break
  kill -0 "$kpid" 2>/dev/null || break
  sleep 0.1
done
[[ -n $win ]] || { cat "$work/kestrel.log"; fail "no 1130x820 main window appeared"; }
title=$(xdotool search --name "Kestrel Data Recovery" 2>/dev/null | head -1)
# Let the window settle (mapped, painted, focus given) before input reaches it.
sleep 1.5
import -window root "$shot" || fail "no screenshot"
echo "main window $win${title:+ (title found: $title)}; screenshot $shot"

# The help menu: a click on the menu button at the top right opens a popup menu window of
# the program's below it; Esc closes it again.
visible() { xdotool search --onlyvisible --classname kestrel 2>/dev/null | wc -l; }
before=$(visible)
read -r x y < <(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
xdotool mousemove $((x + 1130 - 135)) $((y + 15)) click 1
opened=""
for _ in $(seq 50); do
  (($(visible) > before)) && { opened=1; break; }
  sleep 0.1
done
[[ -n $opened ]] || fail "the menu button opened no popup menu"
sleep 0.5
import -window root "${shot%.png}_menu.png" || fail "no screenshot of the menu"
echo "help menu shown; screenshot ${shot%.png}_menu.png"
xdotool key Escape
for _ in $(seq 50); do
  (($(visible) <= before)) && { opened=""; break; }
  sleep 0.1
done
[[ -z $opened ]] || fail "Esc did not close the popup menu"

# Closing: the window manager's close when it manages the window, else Esc in the window.
if wmctrl -l 2>/dev/null | grep -q "Kestrel Data Recovery"; then
  wmctrl -c "Kestrel Data Recovery" || fail "wmctrl -c failed"
else
  read -r x y < <(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
  xdotool mousemove $((x + 560)) $((y + 400)) click 1
  sleep 0.3
  xdotool key --window "$win" Escape
fi
sleep 1
kill -0 "$kpid" 2>/dev/null || fail "the program ended without asking"
# The question's first button ("Exit") has the focus.
if wmctrl -l 2>/dev/null | grep -q "Kestrel Data Recovery"; then
  xdotool key Return
else
  box=$(xwininfo -root -tree 2>/dev/null | awk '/ 300x[0-9]+\+/ {print $1; exit}')
  # The box goes on the key press: the release may find no window any more.
  xdotool key --window "${box:-$win}" Return 2>/dev/null
fi
status=""
for _ in $(seq 150); do
  if ! kill -0 "$kpid" 2>/dev/null; then
    wait "$kpid"
    status=$?
    break
  fi
  sleep 0.1
done
[[ -n $status ]] || fail "the program did not end after the exit question"
[[ $status -eq 0 ]] || { cat "$work/kestrel.log"; fail "the program ended with status $status"; }
echo "the program ended with status 0"
