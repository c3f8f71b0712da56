#!/usr/bin/env bash
# A scan saved and resumed: a large disk is scanned, its state saved from the progress panel,
# the program closed and started again, the saved scan chosen from the saved-scan list and
# resumed, and the new scan starts from the saved state.
# Usage: saved_scan.sh KESTREL FIXTURE_DIR OUT_DIR
SCENARIO=saved_scan
KESTREL=$1
FIXTURES=$2
OUT=$3
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin

step "describe the machine"
ntfs=$FIXTURES/ntfs_small.img
[[ -f $ntfs ]] || fail "no fixture image $ntfs"
truncate -s 64G "$WORK/big.img"
machine '{"disks":[{"image":"'$ntfs'","model":"Fixture NTFS","bus":"sata"},
                   {"image":"'$WORK/big.img'","model":"Large disk","bus":"sata"}],
          "drives":[{"letter":"E","image":"'$ntfs'"}]}'

step "start the program"
e2e_start_program

step "scan the large disk"
click window --top Kestrel --cls Button --id 1127
double_click element --tag 4 --text PhysicalDrive1
where message --text "Scan Large disk" >/dev/null || fail "no question before the scan"
click window --top Message --id 1
wait_log "Oper: [0-9]+ +Large disk" 20 || fail "the scan did not start"
where window --id 1106 >/dev/null || fail "no progress panel"
sleep 2

step "save the scan"
click window --top Kestrel --id 1106
where message --text "The scan was saved" >/dev/null || fail "the scan was not saved"
click window --top Message --id 2
wait_gone Message 10 || fail "the message stayed"
[[ -f $WORK/prog/ScanSave/ScanSave.idx ]] || fail "no saved-scan index"
saved=$(ls "$WORK"/prog/ScanSave/Save_*.dat 2>/dev/null | head -1)
[[ -n $saved ]] || fail "no data file of the saved scan"

step "close the program"
click window --top Kestrel --depth 1 --id 10024
where message --text "quit" >/dev/null || fail "no exit question"
click window --top Message --id 1
for _ in $(seq 150); do alive || break; sleep 0.1; done
alive && fail "the program did not end"
KPID=""

step "start again"
e2e_start_program
click window --top Kestrel --cls Button --id 1127
where element --tag 6 >/dev/null || fail "no saved-scan button in the device panel"

step "choose the saved scan"
click element --tag 6
wait_top "Saved scan" 10 || fail "the saved-scan list did not open"
shot "saved_scan_list"
[[ $($UI "$WORK/ui.txt" count row --top "Saved scan") == 1 ]] || fail "the list does not show the one saved scan"
$UI "$WORK/ui.txt" row --top "Saved scan" --text "20" >/dev/null || fail "the row shows no saving time"
click row --top "Saved scan" --index 0
click window --top "Saved scan" --id 1
where message --text "Resume the scan saved at" >/dev/null || fail "no question before resuming"
click window --top Message --id 1
wait_gone "Saved scan" 10 || fail "the saved-scan list stayed open"

step "resume the scan"
# The choice starts the scan, after the question when the edition asks it.
for _ in $(seq 50); do
  if $UI "$WORK/ui.txt" message --text "Scan Large disk" >/dev/null; then
    click window --top Message --id 1
    break
  fi
  grep -q "Scan state loaded" "$WORK/prog/Kestrel.log" && break
  sleep 0.1
done
wait_log "Scan state loaded: .*$(basename "$saved")" 30 || fail "the scan did not start from the saved state"
where window --id 1106 >/dev/null || fail "no progress panel"
step "done"
exit 0
