#!/usr/bin/env bash
# Samplers that hang, or answer and then hang, are killed with their client
# at the job's time-out (66 seconds with -t 1); their files keep what was
# written; statit stops its series; the wait ends on time and no client is
# left running.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
# Hung simulators end only when they are killed.
export CTLSIM_HANG_LIMIT=600

model h1 "vzones =" "vifs =" "fault:sysstat -s = hang" "fault:lun stats -c = output_then_hang" \
  "fault:statit -b = hang"
forget
(cd "$WORK" && timeout 300 "$KESTREL_BIN" -t 1 -F -f h1 >out 2>err)
rc=$?
check "status 0" [ "$rc" -eq 0 ]
check "the wait did not run out" none WARNING <"$WORK/err"

sysstat=$(sampler_file . h1 sysstat.out)
check "hung sysstat: its stamps and the kill line between them" \
  [ "$(sed -n 2p <<<"$sysstat" | sed -E 's/[0-9]+/N/')|$(wc -l <<<"$sysstat")" = \
    "Killing process tree at PID: N...|3" ]
check "hung sysstat: stamped" stamped "$sysstat"
killed_pid=$(sed -nE '2s/^Killing process tree at PID: ([0-9]+)\.\.\.$/\1/p' <<<"$sysstat")
check "hung sysstat: the kill is in the error log" \
  grep -qE " : Successfully killed process tree at root PID: ${killed_pid:-none}\$" "$WORK/out"
took=$(($(stamp_seconds "$(tail -1 <<<"$sysstat")") - $(stamp_seconds "$(head -1 <<<"$sysstat")")))
check "hung sysstat: killed at the job's time-out" within "$took" 64 75

lun=$(sampler_file . h1 lun_stats.out)
check "answer then hang: every sample kept" [ "$(grep -c ' /vol/vol1/lun1$' <<<"$lun")" -eq 58 ]
check "answer then hang: closed by a stamp" stamped "$lun"

statit=$(sampler_file . h1 statit.out)
check "hung statit: heading, opening stamp and the kill, then nothing" \
  [ "$(head -1 <<<"$statit")|$(sed -n 3p <<<"$statit" | sed -E 's/[0-9]+/N/')|$(wc -l <<<"$statit")" = \
    "---- statit first 1/2 --- 0 seconds ----|Killing process tree at PID: N...|3" ]
check "hung statit: no second statit command" [ "$(remotes h1 | grep -c 'statit -')" -eq 1 ]

log=$(sed -n '/ERROR LOG$/,$p' "$WORK/out")
waiting=$(sed -nE "s/^($stamp_re) : Itr: 1 Waiting on the completion of [0-9]+ threads\.\.\.$/\1/p" <<<"$log")
woke=$(sed -nE "s/^($stamp_re) : Itr: 1 Main thread woke!$/\1/p" <<<"$log")
waited=$(($(stamp_seconds "x: $woke") - $(stamp_seconds "x: $waiting")))
check "the wait ended at the job's time-out, within 1.5 x the sampling time" within "$waited" 64 90
check "no client left running" all_ended h1
check "run folder removed" temp_root_is_empty
finish
