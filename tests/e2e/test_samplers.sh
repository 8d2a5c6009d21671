#!/usr/bin/env bash
# One iteration of -t 1 with the background samplers, against controllers of
# different releases, processor counts, licences and interfaces, and in the
# sampler modes (-k, -K with -p, -y; -x and -c). The long runs go on at the
# same time, each against controllers of its own, so that the simulated
# statit measurements of one run do not meet another's.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
# vif stat runs until it is killed: the simulator must not end it first.
export CTLSIM_HANG_LIMIT=600

# a1: sim1's model (7.3.5, 2 processors, iSCSI, vif0 and vif1).
# b1: 7.2 (stats without domain statistics), 1 processor, FCP, trunk0.
for name in a1 k1 kk1 y1 x1 c1; do model "$name" "vzones ="; done
model b1 "release = Corvex Release 7.2: Mon Jan 7 2008" "processors = 1" \
  "licenses = nfs, fcp" "vzones =" "vifs = trunk0"
forget

start_run full -t 1 -f a1 -f b1
start_run stutter_off -t 1 -k -F -f k1
start_run stutter_only -t 1 -K -p -f kk1
start_run critical -t 1 -y -f y1

# The short modes while the long runs sample.
start_run pretend -t 1 -x -f x1
start_run config -c -f c1
wait %5 %6
check "-x: status 0" [ "$(run_status pretend)" = 0 ]
check "-x: the wait is echoed" grep -qx 'Sleep: 1 ' "$WORK/pretend/out"
check "-x: no sampler ran" none 'sysstat|statit -|vif stat |stats show|lun stats' <<<"$(remotes x1)"
check "-x: no sampler file" [ -z "$(dumped_files pretend x1)$(dumped_files pretend e2ehost)" ]
check "-c: status 0" [ "$(run_status config)" = 0 ]
check "-c: no controller sampler" none 'sysstat|statit -|vif stat |stats show|lun stats' <<<"$(remotes c1)"
check "-c: host exports only" [ "$(dumped_files config e2ehost | tr '\n' ' ')" = "TCP_Params.reg msinfo_1.out msinfo_2.out " ]
wait

# ---------------------------------------------------------------- full run
check "full: status 0" [ "$(run_status full)" = 0 ]
check "full: a1 sampler files in table order" \
  [ "$(dumped_files full a1 | grep -vx stats.out | tr '\n' ' ')" = "sysstat.out sysstatM.out protocol_stats.out domain_stats.out lun_stats.out vifstat_vif0.out vifstat_vif1.out statit.out " ]
check "full: b1 sampler files in table order" \
  [ "$(dumped_files full b1 | grep -vE '^stats' | tr '\n' ' ')" = "sysstat.out protocol_stats.out lun_stats.out vifstat_trunk0.out statit.out " ]
check "full: host files" \
  [ "$(dumped_files full e2ehost | tr '\n' ' ')" = "TCP_Params.reg msinfo_1.out msinfo_2.out system_perfmon.out ldisk_perfmon.out " ]
check "full: sim1 files not printed under b1" none 'vif0|sysstatM' <<<"$(dumped_files full b1)"

for file in sysstat.out sysstatM.out protocol_stats.out domain_stats.out lun_stats.out vifstat_vif0.out; do
  check "full: a1 $file between two stamps" stamped "$(sampler_file full a1 "$file")"
done
sysstat=$(sampler_file full a1 sysstat.out)
check "full: sysstat takes 58 one-second samples" [ "$(sysstat_rows "$sysstat")" -eq 58 ]
check "full: sysstat ends with its summary" grep -qx 'Max' <<<"$sysstat"
check "full: sysstat -M has a column per processor" \
  grep -qE '^ +ANY1\+ +AVG +CPU0 +CPU1 +Total_ops$' <<<"$(sampler_file full a1 sysstatM.out)"
check "full: b1's one processor has no sysstat -M" none sysstatM <<<"$(remotes b1)"
check "full: domain statistics on 7.3.5 only" [ -z "$(remotes b1 | grep domain_busy)" ]
check "full: protocol stats samples" \
  [ "$(grep -c '^system:system:nfs_ops:' <<<"$(sampler_file full a1 protocol_stats.out)")" -eq 58 ]
check "full: lun stats samples of the FCP controller" \
  [ "$(grep -c ' /vol/vol1/lun0$' <<<"$(sampler_file full b1 lun_stats.out)")" -eq 58 ]

# vif stat never ends: it is killed at the job's time-out, 66 seconds, and
# its file keeps what it wrote.
vif=$(sampler_file full a1 vifstat_vif0.out)
check "full: vif file names its interface" grep -qx 'Virtual interface (trunk) vif0' <<<"$vif"
opened=$(stamp_seconds "$(head -1 <<<"$vif")")
closed=$(stamp_seconds "$(tail -1 <<<"$vif")")
check "full: vif stat stopped at the job's time-out" within $((closed - opened)) 64 75
check "full: vif stat rows kept" [ "$(grep -cE '^ [0-9]+ ' <<<"$vif")" -ge 50 ]
check "full: b1's interface sampled" grep -qx 'Virtual interface (trunk) trunk0' <<<"$(sampler_file full b1 vifstat_trunk0.out)"

# statit with -t 1: a first half of 0 seconds, then one-second reports until
# 50 seconds have passed.
statit=$(sampler_file full a1 statit.out)
check "full: statit first half" [ "$(head -1 <<<"$statit")" = "---- statit first 1/2 --- 0 seconds ----" ]
check "full: statit separator" grep -qx '\.\.\.' <<<"$statit"
series=$(grep -cE '^---- statit --- [0-9]+ ----$' <<<"$statit")
check "full: stutter reports numbered from 1" \
  [ "$(grep -E '^---- statit --- [0-9]+ ----$' <<<"$statit" | head -1)" = "---- statit --- 1 ----" ]
check "full: between 1 and 27 stutter reports" within "$series" 1 27
check "full: a report per block" [ "$(grep -c '^Hostname: a1 ' <<<"$statit")" -eq $((series + 1)) ]
check "full: every block closed" [ "$(grep -cE "^End: $stamp_re$" <<<"$statit")" -eq $((series + 1)) ]
check "full: statit of b1 too" grep -q '^Hostname: b1 ' <<<"$(sampler_file full b1 statit.out)"

check "full: wait logged with its worker count" \
  grep -q ' : Itr: 1 Waiting on the completion of 15 threads\.\.\.$' "$WORK/full/out"
check "full: the wait did not run out" none WARNING <"$WORK/full/err"
check "full: no client left running" all_ended a1 b1
check "full: run folder removed" temp_root_is_empty

# ---------------------------------------------------------------- modes
check "-k: status 0" [ "$(run_status stutter_off)" = 0 ]
statit=$(sampler_file stutter_off k1 statit.out)
check "-k: one report over the whole time" [ "$(head -1 <<<"$statit")" = "---- statit  --- 58 seconds ----" ]
check "-k: no stutter" none '^(\.\.\.|---- statit --- )' <<<"$statit"
check "-k: exactly one report" [ "$(grep -c '^Hostname: k1 ' <<<"$statit")" -eq 1 ]
check "-k: no host block" [ -z "$(poststats_block stutter_off e2ehost)" ]

check "-K: status 0" [ "$(run_status stutter_only)" = 0 ]
statit=$(sampler_file stutter_only kk1 statit.out)
check "-K: starts with the first stutter report" [ "$(head -1 <<<"$statit")" = "---- statit --- 1 ----" ]
check "-K: no long report, no separator" none '^(\.\.\.|---- statit (first|  ))' <<<"$statit"
series=$(grep -cE '^---- statit --- [0-9]+ ----$' <<<"$statit")
check "-K: series ends at 50 seconds, before its 56 reports" within "$series" 5 55
check "-K -p: host counters without the exports" \
  [ "$(dumped_files stutter_only e2ehost | tr '\n' ' ')" = "system_perfmon.out ldisk_perfmon.out " ]

check "-y: status 0" [ "$(run_status critical)" = 0 ]
check "-y: per-processor sysstat and statit only" \
  [ "$(dumped_files critical y1 | grep -vE '^stats' | tr '\n' ' ')" = "sysstatM.out statit.out " ]
check "-y: statit over the whole time" \
  [ "$(head -1 <<<"$(sampler_file critical y1 statit.out)")" = "---- statit  --- 58 seconds ----" ]
check "-y: no host block" [ -z "$(poststats_block critical e2ehost)" ]
check "modes: no client left running" all_ended k1 kk1 y1
finish
