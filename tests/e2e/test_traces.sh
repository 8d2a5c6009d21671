#!/usr/bin/env bash
# Kernel trace capture (-T) with -t 1 against simulated controllers, the
# runs at the same time: trace points with disk mapping; two iterations with
# profiles and traces on a controller beside one whose release takes no
# traces.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
export CTLSIM_HANG_LIMIT=600

# live_clients NAMES: remote-shell clients of these controllers (an extended
# alternation) that still run; by command line, since process ids are reused.
live_clients() {
  ps -eo stat=,args= | awk -v re="(rsh|plink|ssh)\\.exe ($1) " '$1 !~ /^Z/ && $0 ~ re' | grep -c .
}

model t1 "vzones =" "vifs ="
mkdir -p "$WORK/home/models/t1/files/etc/log"
echo "messages" >"$WORK/home/models/t1/files/etc/log/messages"
echo "trace of an earlier run" >"$WORK/home/models/t1/files/etc/log/sktrace_old"
model t2 "vzones =" "vifs ="
model o1 "release = Corvex Release 7.3: Mon Jan 1 2011" "vzones =" "vifs ="
forget

start_run disk -t 1 -F -V -T SK,7,DISK,4 -f t1
start_run twice -i 2,0 -t 1 -F -V -P flat -T default -f t2 -f o1
wait

# The folder-name stamp of today: years since 1900, then month from 0 and day
# in two digits each.
today="$(($(date +%Y) - 1900))$(printf %02d $(($(date +%-m) - 1)))$(date +%d)"
# invoked_at NAME COMMAND: the seconds at which NAME first received COMMAND.
invoked_at() { awk -F'\t' -v c="$2" '$5 == c { print int($1); exit }' "$WORK/state/$1/invocations.log"; }
# printed_files NAME TARGET: the trace files printed in TARGET's poststats.
printed_files() {
  poststats_block "$1" "$2" | sed -nE 's/^=-=-=-=-=-= [A-Z]+ [^ ]+ POSTSTATS =-=-=-=-=-= (sktrace_[a-z_]+\.txt)$/\1/p'
}

# ---------------------------------------------------------------- disk mapping
check "disk: status 0" [ "$(run_status disk)" = 0 ]
sequence=$(remotes t1 | sed -n '/^ trace start/,/^ disk_list /p' | grep -E '^ (trace |sysconfig -r |disk_list )')
expected=' trace start -b 40m 
 trace enable  SK 7 DISK 4 
 trace disable SK 
 trace disable DISK 
 trace dump /etc/log/sktrace_kestrel 
 trace stop 
 sysconfig -r 
 disk_list '
check "disk: trace commands in order, the levels never disabled" [ "$sequence" = "$expected" ]
traced=$(($(invoked_at t1 " trace disable SK ") - $(invoked_at t1 " trace enable  SK 7 DISK 4 ")))
check "disk: the trace runs 45 seconds with -t 1" within "$traced" 45 48
stopped=$(($(invoked_at t1 " trace stop ") - $(invoked_at t1 " trace dump /etc/log/sktrace_kestrel ")))
check "disk: stopped 5 seconds after the dump" within "$stopped" 5 7
check "disk: trace files copied, the one listed last first" ascending \
  "$(remote_index t1 " rdfile /etc/log/sktrace_old ")" "$(remote_index t1 " rdfile /etc/log/sktrace_kestrel ")"
folders=$(cd "$WORK/disk" && ls -d t1_ITR_*_sktrace)
check "disk: one destination folder named controller_ITR_iteration_stamp" \
  grep -qxE "t1_ITR_1_${today}[0-9]{6}_sktrace" <<<"$folders"
dest="$WORK/disk/$folders"
check "disk: destination folder contents" [ "$(cd "$dest" && ls | tr '\n' ' ')" = \
  "sktrace_disk_list.txt sktrace_info.txt sktrace_sysconfig.txt t1_1_sktrace_kestrel t1_1_sktrace_old " ]
check "disk: trace dump copied" grep -q '^sktrace of t1 since [0-9]*, buffer 40m$' "$dest/t1_1_sktrace_kestrel"
check "disk: earlier trace copied again" grep -qx 'trace of an earlier run' "$dest/t1_1_sktrace_old"
check "disk: disk list copied" grep -q '^DEVICE ' "$dest/sktrace_disk_list.txt"
check "disk: disk files and capture log printed in poststats" \
  [ "$(printed_files disk t1 | tr '\n' ' ')" = "sktrace_sysconfig.txt sktrace_disk_list.txt sktrace_info.txt " ]
log=$(sampler_file disk t1 sktrace_info.txt)
check "disk: capture log holds the trace replies" bash -c "grep -qx 'Trace started, buffer 40m.' <<<'$log' &&
  grep -qx 'Trace dumped to /etc/log/sktrace_kestrel' <<<'$log' && grep -qE ': End sktrace on t1 ?$' <<<'$log'"
check "disk: capture log names the copies" \
  grep -qxE "Saving sktrace data files as \./t1_ITR_1_[0-9]+_sktrace/t1_1_trace_filename ?" <<<"$log"
check "disk: trace replies only inside the capture log's section" \
  [ "$(grep -c 'Trace started' "$WORK/disk/out")" -eq 1 ]
check "disk: sysconfig -r in the report" grep -q 'RAID' <<<"$(sampler_file disk t1 sktrace_sysconfig.txt)"
check "disk: closing message" grep -qxE "skrace data for iteration 1 successfully saved in '\./t1_ITR_1_[0-9]+_sktrace/'!" "$WORK/disk/err"
check "disk: trace files stay on the controller" [ -f "$WORK/state/t1/files/etc/log/sktrace_kestrel" ]
check "disk: no profile commands without -P" none '^ (prof|ls /) ' <<<"$(remotes t1)"

# ---------------------------------------------------------------- two iterations
check "twice: status 0" [ "$(run_status twice)" = 0 ]
folders=$(cd "$WORK/twice" && ls -d *_sktrace | tr '\n' ' ')
check "twice: one folder per iteration, none for the 7.3 controller" \
  grep -qxE "t2_ITR_1_[0-9]+_sktrace t2_ITR_2_[0-9]+_sktrace " <<<"$folders"
check "twice: the second iteration copies the dump again" \
  bash -c "ls '$WORK'/twice/t2_ITR_2_*_sktrace/t2_2_sktrace_kestrel && ls '$WORK'/twice/t2_ITR_1_*_sktrace/t2_1_sktrace_kestrel" >/dev/null
check "twice: two traces taken" [ "$(remotes t2 | grep -c '^ trace start -b 40m $')" -eq 2 ]
check "twice: default points, SK disabled" [ "$(remotes t2 | grep -c '^ trace disable SK $')" -eq 2 ]
check "twice: default points, FSYS disabled" [ "$(remotes t2 | grep -c '^ trace disable FSYS $')" -eq 2 ]
check "twice: levels never disabled" none '^ trace disable [0-9]' <<<"$(remotes t2)"
check "twice: no disk mapping without DISK" none '^ disk_list ' <<<"$(remotes t2)"
check "twice: the 7.3 controller gets no trace command" none 'trace ' <<<"$(remotes o1)"
check "twice: the 7.3 controller still profiled" [ -f "$WORK/twice/gmon/o1_2_profile_info.txt" ]
check "twice: profiles set up before the trace starts" ascending \
  "$(remote_index t2 " ls / ")" "$(remote_index t2 " trace start -b 40m ")"
check "twice: profiles collected before traces" ascending \
  "$(remote_index t2 " rdfile /gmon.1.flat ")" "$(remote_index t2 " rdfile /etc/log/sktrace_kestrel ")"
check "twice: a profile copy per iteration" [ "$(cd "$WORK/twice/gmon" && ls | grep -cE '^t2_[0-9]+_[12]_gmon\.[12]\.flat$')" -eq 2 ]
check "twice: a capture log per iteration in the report" [ "$(grep -c ': Begin sktrace on t2' "$WORK/twice/out")" -eq 2 ]
check "no client left running" [ "$(live_clients 't1|t2|o1')" -eq 0 ]
finish
