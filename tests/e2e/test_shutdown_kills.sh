#!/usr/bin/env bash
# --kill_all ends every remote-shell client on the machine at the end of the
# run; --kill_tree ends the run's own process tree.
source "$(dirname "$0")/lib.sh"

mkdir -p "$WORK/bin"
cp "$(command -v sleep)" "$WORK/bin/rsh.exe"
cp "$(command -v sleep)" "$WORK/bin/plink.exe"
"$WORK/bin/rsh.exe" 300 &
rsh_pid=$!
"$WORK/bin/plink.exe" 300 &
plink_pid=$!

kestrel --kill_all -x -t 0 -d
wait "$rsh_pid" 2>/dev/null
rsh_status=$?
check "status 0" [ "$rc" -eq 0 ]
check "announced" grep -q '^Killing all rsh/plink.exe processes before exiting...$' "$WORK/err"
check "rsh.exe client ended" [ "$rsh_status" -ne 0 ]
check "debug line" grep -q '^DEBUG: Killed rsh...$' "$WORK/err"
check "plink.exe left alone without -S" kill -0 "$plink_pid"
kill "$plink_pid" 2>/dev/null

kestrel --kill_tree -x -t 0
check "kill_tree: announced" grep -q '^Killing root process tree before exiting...$' "$WORK/err"
check "kill_tree: message in the report" grep -q '^Killing main process tree at PID: [0-9]*...$' "$WORK/out"
check "kill_tree: status 0" [ "$rc" -eq 0 ]
check "kill_tree: statistics came first" grep -q '^  Total Running Time: ' "$WORK/out"
check "run folder removed" temp_root_is_empty
finish
