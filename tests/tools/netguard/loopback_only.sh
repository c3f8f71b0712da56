#!/usr/bin/env bash
# Runs each given command under the network guard and fails when any of them tried to reach
# an address outside loopback, or when the guard saw no connection at all (then it was not in
# the way and proves nothing). Usage: loopback_only.sh GUARD.so -- CMD [ARGS...] [-- CMD ...]
set -uo pipefail
guard=$1; shift
[[ ${1:-} == -- ]] && shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# A sanitizer runtime insists on being loaded first; the guard only wraps three calls.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
status=0
cmd=()
run() {
  ((${#cmd[@]})) || return 0
  echo "== ${cmd[*]}"
  KESTREL_NETGUARD_LOG=$log LD_PRELOAD=$guard "${cmd[@]}" >/dev/null 2>&1 || { echo "failed: ${cmd[*]}"; status=1; }
  cmd=()
}
for a in "$@"; do
  if [[ $a == -- ]]; then run; else cmd+=("$a"); fi
done
run
allowed=$(grep -c '^allowed' "$log" || true)
refused=$(grep -c '^refused' "$log" || true)
echo "connections to loopback: $allowed, elsewhere: $refused"
if ((refused)); then
  grep '^refused' "$log" | sort | uniq -c
  status=1
fi
if ((allowed == 0)); then
  echo "the guard recorded no connection"
  status=1
fi
exit $status
