#!/usr/bin/env bash
# A host command that outlives -C is killed together with its grandchildren,
# and the run goes on with the next command.
source "$(dirname "$0")/lib.sh"

# A stand-in for "arp" that starts two grandchildren and then hangs.
mkdir -p "$WORK/bin"
cat >"$WORK/bin/arp" <<SCRIPT
#!/bin/sh
echo "arp output before the hang"
sleep 300 & echo \$! >> "$WORK/pids"
(sleep 300 & echo \$! >> "$WORK/pids"; wait) &
printf 'half a line'
sleep 300
SCRIPT
chmod +x "$WORK/bin/arp"

PATH="$WORK/bin:$PATH" kestrel -c -C 2
check "status 0" [ "$rc" -eq 0 ]
check "partial output kept" grep -q '^arp output before the hang$' "$WORK/out"
check "kill reported in the report" grep -q '^Killing process tree at PID: [0-9]*\.\.\.$' "$WORK/out"
check "a partial last line is ended before the kill line" \
  bash -c "grep -A1 '^half a line$' '$WORK/out' | tail -1 | grep -q '^Killing process tree at PID: '"
report_tool="$(dirname "$KESTREL_BIN")/kestrel-report"
check "the reader sees the command as killed" \
  bash -c "'$report_tool' index '$WORK/out' | grep -E 'arp -a' | grep -qi 'killed'"
check "kill recorded in the log" grep -q ' : Successfully killed process tree at root PID: [0-9]*$' "$WORK/out"
check "section still closes" grep -q '^EXE-TIME of: arp -a : [0-9] seconds$' "$WORK/out"
check "next command ran" grep -q '^=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= netstat -rn$' "$WORK/out"

survivors=0
for pid in $(cat "$WORK/pids"); do
  state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)
  if [ -n "$state" ] && [ "$state" != Z ]; then survivors=$((survivors + 1)); kill -9 "$pid"; fi
done
check "two grandchildren were started" [ "$(wc -l <"$WORK/pids")" -eq 2 ]
check "no grandchild survives" [ "$survivors" -eq 0 ]
check "run folder removed" temp_root_is_empty
finish
