#!/usr/bin/env bash
# Text from a controller reaches the report bounded and screened: replies
# shaped like marker lines cannot pass for the report's structure, floods
# are cut at their caps with a note while the run goes on, a report that
# cannot be written to its last byte ends the run with status 1, and a
# controller that stops answering during the wait cannot hold Ctrl+C up.
# The cases run side by side, each in a folder of its own.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/interrupt_lib.sh"

marker_lines() { grep -a -E '^=-=-=' "$WORK/$1/out"; }

# --------------------------------------------------------- forged markers
model forge 'vzones =' 'vifs = e0a' 'reply:df = forged.txt' \
  'fault:df -i = error =-=-=-=-=-= CONFIG forge POSTSTATS =-=-=-=-=-= ERROR LOG'
cat >"$WORK/home/models/forge/files.txt" <<'FORGED'
Filesystem kbytes used avail capacity Mounted on
=-=-=-=-=-= CONFIG fake PRESTATS =-=-=-=-=-= sysconfig -a
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= forge
\=-=-=-=-=-= looks escaped already
=-=-= Kestrel Execution Statistics -=-=-=-=
  Total Running Time: 1 seconds
FORGED
mv "$WORK/home/models/forge/files.txt" "$WORK/home/models/forge/forged.txt"
launch forge -f forge -t 0 -F

# ------------------------------------------------------------------ floods
# One interface whose "vif stat" floods its sampler file, a "stats stop"
# reply of 300,000 objects, and a foreground command printing more than a
# section may hold.
# Every command also writes terminal escapes on its standard error, and the
# run takes profiles and a trace: none of them may reach kestrel's own.
model flood 'vzones =' 'vifs = e0a' 'fault:vif stat = long_line 70000000' \
  'fault:stats stop = long_output 300000' 'fault:sysconfig -r = long_line 140000000' \
  "$(printf 'fault = stderr \033[31mred\033]0;title\007')"
launch flood -f flood -t 1 -F -P flat -T default

# --------------------------------------------------- dead controller at ^C
model dead 'vzones =' 'vifs = e0a'
launch dead -f dead -t 1 -C 3 -F

# ------------------------------------------------- report cut by its reader
# A reader that takes the first N bytes and goes away, through a pipe of
# one page: everything kestrel writes after that fails.
cut_run() {  # NAME BYTES
  mkdir -p "$WORK/$1/tmp"
  (cd "$WORK/$1" && tmp="$WORK/$1/tmp" CTLSIM_STATE="$WORK/$1/state" python3 - "$KESTREL_BIN" "$2" <<'PY'
import fcntl, os, subprocess, sys
read_end, write_end = os.pipe()
fcntl.fcntl(write_end, 1031, 4096)  # F_SETPIPE_SZ
child = subprocess.Popen([sys.argv[1], "-f", "sim1", "-t", "0", "-F", "-p"], stdout=write_end,
                         stderr=open("err", "wb"))
os.close(write_end)
want = int(sys.argv[2])
got = 0
while got < want:
    chunk = os.read(read_end, min(65536, want - got))
    if not chunk:
        break
    got += len(chunk)
os.close(read_end)
open("rc", "w").write(str(child.wait()))
PY
  )
}
mkdir -p "$WORK/whole/tmp"
# Each run with a simulator state of its own, so the reports are alike.
(cd "$WORK/whole" && tmp="$WORK/whole/tmp" CTLSIM_STATE="$WORK/whole/state" "$KESTREL_BIN" -f sim1 -t 0 -F -p >out 2>err)
size=$(stat -c %s "$WORK/whole/out")
log_at=$(grep -a -b -m1 ' ERROR LOG$' "$WORK/whole/out" | cut -d: -f1)
# The last cut falls well inside the error log but leaves more than the pipe
# holds, whatever the simulator's state adds or takes from the reply lengths.
cuts=(2000 $((size / 2)) $((log_at + 100)) $((size - 12000)))
for n in "${cuts[@]}"; do cut_run "cut$n" "$n" & done
wait_cuts() { wait; }

# The dead controller: stops answering once the wait has begun.
await dead err 'Sleep for'
printf '%s\n' 'fault = hang' >>"$WORK/home/models/dead/model.conf"
before=$(remotes dead | wc -l)
signal dead INT

await_end forge
await_end flood
await_end dead
wait_cuts

# ------------------------------------------------------------------ checks
check "forge: run ends normally" [ "$(status forge)" = 0 ]
check "forge: no reply line passes for a marker" bash -c "! grep -aqE '^=-=-=-=-=-= CONFIG fake' '$WORK/forge/out'"
check "forge: one END PRESTATS, the run's own" [ "$(grep -acxF '=-=-=-=-=-= END PRESTATS =-=-=-=-=-= forge' "$WORK/forge/out")" = 1 ]
check "forge: the forged marker stays, escaped" grep -aqxF '\=-=-=-=-=-= CONFIG fake PRESTATS =-=-=-=-=-= sysconfig -a' "$WORK/forge/out"
check "forge: an escaped-looking line gets one more backslash" grep -aqxF '\\=-=-=-=-=-= looks escaped already' "$WORK/forge/out"
check "forge: one statistics footer, the report's own" [ "$(grep -ac '^=-=-= Kestrel Execution Statistics' "$WORK/forge/out")" = 1 ]
check "forge: the error log section is the last section" last_marker_is_error_log forge
check "forge: one ERROR LOG marker" [ "$(grep -acE '^=-=-=-=-=-= .* ERROR LOG$' "$WORK/forge/out")" = 1 ]
report_tool="$(dirname "$KESTREL_BIN")/kestrel-report"
"$report_tool" index "$WORK/forge/out" >"$WORK/forge/index" 2>&1
check "forge: the reader calls the report complete" [ $? = 0 ]
check "forge: ... and says so" grep -q '^Report: complete' "$WORK/forge/index"
"$report_tool" json "$WORK/forge/out" >"$WORK/forge/json" 2>&1
check "forge: the reader shows the reply as the controller wrote it" grep -qF '\n=-=-=-=-=-= CONFIG fake PRESTATS =-=-=-=-=-= sysconfig -a' "$WORK/forge/json"
check "forge: a forged line on standard error is escaped in the error log" grep -aq '^\\=-=-=-=-=-= CONFIG forge POSTSTATS' "$WORK/forge/out"

flood_out="$WORK/flood/out"
check "flood: run ends normally" [ "$(status flood)" = 0 ]
check "flood: report stays bounded" [ "$(stat -c %s "$flood_out")" -lt $((230 * 1048576)) ]
check "flood: sampler file cut with a note" grep -aq '^WARNING: The sampler vif stat e0a.* sent more than 67108864 bytes; the rest was dropped here$' "$flood_out"
check "flood: foreground output cut with a note" grep -aq '^WARNING: The command .*sysconfig -r.* sent more than 134217728 bytes; the rest was dropped here$' "$flood_out"
stats_sections=$(grep -ac '^=-=-=-=-=-= PERF flood POSTSTATS =-=-=-=-=-= stats stop -I ' "$flood_out")
check "flood: stats stop sections bounded ($stats_sections)" [ "$stats_sections" -le 256 ]
check "flood: stats stop overflow told" grep -aq 'held more than 256 objects; the rest was not printed' "$flood_out"
check "flood: error log section intact and last" last_marker_is_error_log flood
check "flood: footer after the error log" bash -c "tail -c 300 '$flood_out' | grep -aq '^=-=-= Kestrel Execution Statistics'"
check "flood: scratch folder removed" scratch_removed flood
check "flood: no terminal escape on standard error" bash -c "! grep -q \$'\\033' '$WORK/flood/err'"
check "flood: the controller's errors kept in the report's error log" grep -aq '\[31mred' "$flood_out"

check "dead: Ctrl+C ends with 130" [ "$(status dead)" = 130 ]
check "dead: given up once in the report" [ "$(grep -ac 'dead did not answer within the command time-out' "$WORK/dead/out")" -ge 1 ]
check "dead: given up said on standard error" grep -aq 'dead did not answer within the command time-out' "$WORK/dead/err"
after=$(remotes dead | wc -l)
check "dead: at most two commands tried after the controller died ($((after - before)))" [ $((after - before)) -le 2 ]
check "dead: error log section written" last_marker_is_error_log dead

check "whole: uncut run ends with 0" grep -q '^Done$' "$WORK/whole/err"
check "the last cut falls inside the error log" [ $((size - 12000)) -gt "$log_at" ]
for n in "${cuts[@]}"; do
  check "cut at $n of $size bytes: status 1" [ "$(cat "$WORK/cut$n/rc")" = 1 ]
  [ "$(cat "$WORK/cut$n/rc")" = 1 ] || tail -3 "$WORK/cut$n/err" >&2
  check "cut at $n: no Done" bash -c "! grep -q '^Done' '$WORK/cut$n/err'"
  check "cut at $n: scratch folder removed" scratch_removed "cut$n"
done
finish
