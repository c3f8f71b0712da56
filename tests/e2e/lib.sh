# The end-to-end scenarios' shared steps: a virtual X server with a window manager, the program
# started in a folder of its own on a described machine, windows waited for by title, controls
# clicked where the program's window dump says they are, a screenshot after every step, and a
# failure that names its step.
#
# A scenario sources this file after setting SCENARIO, KESTREL (the program), FIXTURES (the
# fixture images) and OUT (its screenshot folder), then calls e2e_begin.
set -uo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
UI="python3 $E2E_DIR/ui.py"
STEP="start"
STEP_NO=0
E2E_PIDS=()
KPID=""

e2e_cleanup() {
  e2e_stop_program
  for p in "${E2E_PIDS[@]}"; do kill "$p" 2>/dev/null; done
  [[ -n ${WORK:-} ]] && rm -rf "$WORK"
}

fail() {
  echo "e2e $SCENARIO: step $STEP_NO '$STEP' failed: $*"
  shot "failed" || true
  [[ -s $WORK/kestrel.out ]] && tail -5 "$WORK/kestrel.out"
  if [[ -f $WORK/prog/Kestrel.log ]]; then
    echo "--- last lines of the program's log"
    tail -25 "$WORK/prog/Kestrel.log"
  fi
  [[ -f $WORK/ui.txt ]] && cp "$WORK/ui.txt" "$OUT/last_ui_dump.txt"
  exit 1
}

# A screenshot of the whole screen into the scenario's folder, named by the step.
shot() {
  local name=${1:-$STEP}
  import -window root "$OUT/$(printf %02d "$STEP_NO")_${name// /_}.png" 2>/dev/null
}

# Starts a step: the previous one is pictured as it ended.
step() {
  ((STEP_NO > 0)) && shot
  STEP_NO=$((STEP_NO + 1))
  STEP=$1
  echo "step $STEP_NO: $STEP"
}

e2e_begin() {
  for tool in Xvfb openbox xdotool xwininfo import python3; do
    command -v "$tool" >/dev/null || { echo "e2e $SCENARIO: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
  done
  [[ -x $KESTREL ]] || { echo "e2e $SCENARIO: no program at $KESTREL"; exit 1; }
  KESTREL=$(realpath "$KESTREL")
  FIXTURES=$(realpath "$FIXTURES")
  WORK=$(mktemp -d)
  trap e2e_cleanup EXIT
  rm -rf "$OUT"
  mkdir -p "$OUT" "$WORK/prog"
  # The program's folder: the built program's files, and its own log and saved scans.
  local f
  for f in "$(dirname "$KESTREL")"/*; do
    case $(basename "$f") in *.log | ScanSave) continue ;; esac
    ln -s "$f" "$WORK/prog/$(basename "$f")"
  done
  Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  for _ in $(seq 600); do [[ -s $WORK/display ]] && break; sleep 0.1; done
  [[ -s $WORK/display ]] || fail "the X server did not start"
  export DISPLAY=:$(tr -d '[:space:]' <"$WORK/display")
  for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >"$WORK/openbox.log" 2>&1 &
  E2E_PIDS+=($!)
  sleep 0.5
  export KESTREL_REGISTRY_DIR=$WORK/registry XDG_RUNTIME_DIR=$WORK KESTREL_PROGRAM_DIR=$WORK/prog
  export KESTREL_MACHINE=$WORK/machine.json KESTREL_UI_DUMP=$WORK/ui.txt
}

# Writes the machine description in one step (a reader never sees half of it).
machine() {
  printf '%s\n' "$1" >"$WORK/machine.json.part" && mv "$WORK/machine.json.part" "$WORK/machine.json"
}

e2e_start_program() {
  rm -f "$WORK/ui.txt"
  "$KESTREL" >>"$WORK/kestrel.out" 2>&1 &
  KPID=$!
  wait_top "Kestrel" 30 || fail "the main window did not appear"
  # The splash shows first and then places the main window at its size; input before it
  # settles goes astray.
  where window --top Kestrel --depth 0 --minw 1000 >/dev/null || fail "the main window did not take its size"
  sleep 1
}

e2e_stop_program() {
  [[ -z $KPID ]] && return 0
  if kill -0 "$KPID" 2>/dev/null; then
    kill "$KPID" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$KPID" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$KPID" 2>/dev/null
  fi
  wait "$KPID" 2>/dev/null
  KPID=""
}

alive() { [[ -n $KPID ]] && kill -0 "$KPID" 2>/dev/null; }

# wait_top TITLE [SECONDS]: a top-level window whose text contains TITLE is shown.
wait_top() {
  local n=$(( ${2:-20} * 10 ))
  for _ in $(seq "$n"); do
    $UI "$WORK/ui.txt" top "$1" && return 0
    alive || return 1
    sleep 0.1
  done
  return 1
}

# wait_gone TITLE [SECONDS]
wait_gone() {
  local n=$(( ${2:-20} * 10 ))
  for _ in $(seq "$n"); do
    $UI "$WORK/ui.txt" top "$1" || return 0
    sleep 0.1
  done
  return 1
}

# where KIND OPTIONS...: the centre of the first match, waited for up to 10 s.
where() {
  local at
  for _ in $(seq 100); do
    at=$($UI "$WORK/ui.txt" "$@") && { echo "$at"; return 0; }
    sleep 0.1
  done
  return 1
}

# click KIND OPTIONS...: a left click at the centre of the match.
click() {
  local at
  at=$(where "$@") || fail "nothing to click: $*"
  # shellcheck disable=SC2086
  xdotool mousemove $at sleep 0.15 click 1
  sleep 0.4
}

double_click() {
  local at
  at=$(where "$@") || fail "nothing to double-click: $*"
  # shellcheck disable=SC2086
  xdotool mousemove $at sleep 0.15 click --repeat 2 --delay 80 1
  sleep 0.4
}

# type_into KIND OPTIONS... -- TEXT: clicks the control, selects what it holds, types.
type_into() {
  local args=() text
  while [[ $1 != -- ]]; do args+=("$1"); shift; done
  text=$2
  click "${args[@]}"
  xdotool key ctrl+a
  xdotool type --delay 40 "$text"
  sleep 0.3
}

# wait_log PATTERN [SECONDS]: a line of the program's log matches the extended pattern.
wait_log() {
  local n=$(( ${2:-30} * 10 ))
  for _ in $(seq "$n"); do
    grep -Eq "$1" "$WORK/prog/Kestrel.log" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
