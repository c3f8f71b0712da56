#!/usr/bin/env bash
# The device pulled during a scan: a large disk is scanned, the machine description then drops
# it, the program asks whether to retry, Cancel leaves the scan waiting, and the user's stop
# ends it cleanly: the program stays up and logs the end of the scan.
# Usage: device_pulled.sh KESTREL FIXTURE_DIR OUT_DIR
SCENARIO=device_pulled
KESTREL=$1
FIXTURES=$2
OUT=$3
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin

step "describe the machine"
ntfs=$FIXTURES/ntfs_small.img
[[ -f $ntfs ]] || fail "no fixture image $ntfs"
# A sparse disk large enough that its scan is still running when it is pulled.
truncate -s 64G "$WORK/big.img"
with='{"disks":[{"image":"'$ntfs'","model":"Fixture NTFS","bus":"sata"},
                {"image":"'$WORK/big.img'","model":"Removable disk","bus":"usb","removable":true}],
       "drives":[{"letter":"E","image":"'$ntfs'"}]}'
without='{"disks":[{"image":"'$ntfs'","model":"Fixture NTFS","bus":"sata"}],
          "drives":[{"letter":"E","image":"'$ntfs'"}]}'
machine "$with"

step "start the program"
e2e_start_program

step "open the device selection"
click window --top Kestrel --cls Button --id 1127
where element --tag 4 --text PhysicalDrive1 >/dev/null || fail "the removable disk is not offered"

step "scan the removable disk"
double_click element --tag 4 --text PhysicalDrive1
where message --text "Scan Removable disk" >/dev/null || fail "no question before the scan"
click window --top Message --id 1
wait_log "Oper: [0-9]+ +Removable disk" 20 || fail "the scan did not start"
where window --id 1105 --text Pause >/dev/null || fail "no running scan"
sleep 1

step "pull the disk"
machine "$without"
where message --text "is no longer available" >/dev/null || fail "the program did not ask for the pulled disk"

step "cancel the retry"
click window --top Message --id 2
wait_gone Message 10 || fail "the question stayed"
alive || fail "the program ended"
grep -q "Scanned:" <($UI "$WORK/ui.txt" text --id 1002) || fail "the progress panel is no longer available"

step "quit while the scan waits"
click window --top Kestrel --depth 1 --id 10024
where message --text "quit" >/dev/null || fail "no exit question"
click window --top Message --id 1
for _ in $(seq 100); do alive || break; sleep 0.1; done
alive && fail "the program did not end"
wait "$KPID"
status=$?
KPID=""
((status == 0)) || fail "the program ended with status $status"
grep -q "workers still run" "$WORK/prog/Kestrel.log" && fail "scan threads were still running at the end"
step "done"
exit 0
