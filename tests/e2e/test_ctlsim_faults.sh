#!/usr/bin/env bash
# ctlsim end to end: injected faults, and the samplers that pace their rows
# in real time or run until killed.
set -u

source "$(dirname "$0")/ctlsim_lib.sh"
ctlsim_setup
version="Corvex Release 7.3.5: Fri Nov 2 2012"

model faulty \
  "fault:version = delay 2" \
  "fault:uptime = hang" \
  "fault:snap list = output_then_hang" \
  "fault:netstat = garbage" \
  "fault:rdfile /etc/messages = long_output" \
  "fault:ifconfig = long_line" \
  "fault:quota = stderr quota: warning: quotas are off" \
  "fault:aggr status = error aggr: no such aggregate" \
  "fault:vol status = unreachable" \
  "fault:stats stop = delay 1" \
  "fault:stats stop = stderr slow stop"

sim faulty " version "
check "delay: then the answer" "$version" "$out"
check "delay: waits at least its time" "yes" "$([ "$elapsed_ms" -ge 1900 ] && echo yes || echo no)"

run timeout 3 rsh.exe faulty -l root -n " uptime "
check "hang: killed, not ended" "124" "$rc"
check "hang: no answer" "" "$out"
run env CTLSIM_HANG_LIMIT=1 rsh.exe faulty -l root -n " uptime "
check "hang: ends by itself after the hang limit" "1" "$rc"

run timeout 3 rsh.exe faulty -l root -n " snap list -n "
check "output_then_hang: killed" "124" "$rc"
check_has "output_then_hang: the answer came first" "snap list -n (faulty):" "$out"

sim faulty " netstat -x "
check "garbage: instead of the answer" "0" "$(grep -ac 'netstat -x' "$work/out")"
check "garbage: 40 lines" "40" "$(wc -l <"$work/out" | tr -d ' ')"
check "garbage: holds a NUL byte" "yes" \
  "$([ "$(tr -d '\000' <"$work/out" | wc -c)" -lt "$(wc -c <"$work/out")" ] && echo yes || echo no)"
check "garbage: exit status 0" "0" "$rc"

sim faulty " rdfile /etc/messages "
check "long_output: answer first" "Mon Dec  1 10:00:00 GMT [faulty: kern.uptime:info]: 10:00am up 12 days" \
  "$(head -n 1 "$work/out")"
check "long_output: 100000 more lines" "100002" "$(wc -l <"$work/out" | tr -d ' ')"

sim faulty " ifconfig -a "
check "long_line: 10000 characters first" "10000" "$(head -n 1 "$work/out" | tr -d '\n' | wc -c | tr -d ' ')"
check "long_line: then the answer" "ifconfig -a (faulty):" "$(sed -n 2p "$work/out")"

sim faulty " quota status "
check "stderr: text on standard error" "quota: warning: quotas are off" "$errs"
check_has "stderr: answer still given" "quota status (faulty):" "$out"

sim faulty " aggr status -v "
check "error: exit status" "1" "$rc"
check "error: no answer" "" "$out"
check "error: text" "aggr: no such aggregate" "$errs"

sim faulty " version ; aggr status ; hostname "
check "error in a joined command: the others answer" "$version
faulty" "$out"

sim faulty " vol status -v "
check "unreachable command: client failure" "1" "$rc"
check "unreachable command: no answer" "" "$out"
check "unreachable command: logged" "unreachable" \
  "$(tail -n 1 "$CTLSIM_STATE/faulty/invocations.log" | cut -f4)"

sim faulty " stats start -I x volume "
check "faults match whole leading words only" "" "$errs"
sim faulty " stats stop -I x "
check "two faults on one command both apply" "slow stop" "$errs"
check "...and the answer follows" "StatisticsID: x" "$(head -n 1 "$work/out")"
sim faulty " uptimes "
check "a command that only starts with a faulted word is not hit" "0" "$rc"
sim faulty "priv set -q diag ; quota status "
check "faults apply behind the privilege words" "quota: warning: quotas are off" "$errs"

model down "fault = unreachable"
run ssh.exe -o BatchMode=yes -2 -ax -i "$CTLSIM_BIN" -l root down " version "
check "controller-wide unreachable over ssh" "255" "$rc"
model grumpy "fault = stderr grumble" "fault = delay 1"
sim grumpy " version ; hostname "
check "controller-wide fault: once per invocation" "grumble" "$errs"
check "controller-wide fault: all commands answer" "$version
grumpy" "$out"
check "controller-wide delay" "yes" "$([ "$elapsed_ms" -ge 900 ] && echo yes || echo no)"
model badfault "fault:df = explode"
sim badfault " df "
check_has "unknown fault: broken model" "unknown fault \"explode\"" "$errs"

# ---------------------------------------------------------------- paced samplers
sim sim1 " sysstat -s -c 3 -x 1"
check "sysstat -c 3: header and three rows before the summary" "4" \
  "$(sed '/^--$/,$d' "$work/out" | wc -l | tr -d ' ')"
check_has "sysstat -s: summary" "Summary Statistics (     3 samples" "$out"
check "sysstat -x: extended columns" "yes" "$(head -n 1 "$work/out" | grep -q iSCSI && echo yes || echo no)"
check "sysstat: rows paced by the interval" "yes" "$([ "$elapsed_ms" -ge 2900 ] && echo yes || echo no)"
sim sim2 "priv set diag;sysstat -M -s -c 1 1"
check "sysstat -M: a column per processor" "CPU0 CPU1 CPU2 CPU3" \
  "$(head -n 1 "$work/out" | tr -s ' ' '\n' | grep '^CPU' | tr '\n' ' ' | sed 's/ $//')"
sim sim1 " sysstat -c 2 -q 1"
check_has "sysstat with an unknown option" "invalid argument" "$errs"
run env CTLSIM_TIME_SCALE=0 rsh.exe sim1 -l root -n " sysstat -s -c 5 -x 60"
check "time scale 0: rows without waiting" "6" "$(sed '/^--$/,$d' "$work/out" | wc -l | tr -d ' ')"

run timeout 3 rsh.exe sim1 -l root -n " sysstat -x 1"
check "sysstat without -c runs until killed" "124" "$rc"
check "sysstat without -c: rows written while running" "yes" \
  "$([ "$(wc -l <"$work/out")" -ge 2 ] && echo yes || echo no)"

run timeout 3 rsh.exe sim1 -l root -n " vif stat vif0 "
check "vif stat runs until killed" "124" "$rc"
check "vif stat: header names the interface" "Virtual interface (trunk) vif0" "$(head -n 1 "$work/out")"
check "vif stat: rows while running" "yes" "$([ "$(wc -l <"$work/out")" -ge 4 ] && echo yes || echo no)"
run env CTLSIM_HANG_LIMIT=1 rsh.exe sim1 -l root -n " vif stat vif1 "
check "vif stat ends at the hang limit" "0" "$rc"
sim sim1 " vif stat vif9 "
check_has "vif stat of an unknown interface" "vif9 not found" "$errs"

sim sim1 "priv set admin; stats show -r -i 1 -n 2 system nfsv3 cifs fcp iscsi"
check "stats show: -n samples of each counter" "2" "$(grep -c '^system:system:nfs_ops:' "$work/out")"
check "stats show: paced" "yes" "$([ "$elapsed_ms" -ge 1900 ] && echo yes || echo no)"
sim sim1 "priv set diag; stats show -r -i 1 -n 1 system:system:time processor:*:domain_busy processor:*:processor_busy"
check "stats show: patterns select counters" \
  "system:system:time processor:processor0:domain_busy processor:processor1:domain_busy processor:processor0:processor_busy processor:processor1:processor_busy" \
  "$(cut -d: -f1-3 "$work/out" | tr '\n' ' ' | sed 's/ $//')"

sim sim1 " lun stats -c 2 -i 1 -o"
check "lun stats -c 2: a row per LUN and sample" "4" "$(grep -c '/vol/vol1/lun' "$work/out")"

ctlsim_finish
