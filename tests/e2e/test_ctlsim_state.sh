#!/usr/bin/env bash
# ctlsim end to end: what a controller keeps between invocations (stats
# instances, statit, mem_stats, profiles, traces, files) and how it stays
# consistent when many invocations run at once.
set -u

source "$(dirname "$0")/ctlsim_lib.sh"
ctlsim_setup

# ---------------------------------------------------------------- stats instances
sim sim1 " stats start -I kestrel_stats_100 "
check "stats start: silent" "" "$out$errs"
sim sim1 " stats start -I kestrel_vol volume"
sim sim1 " stats start -I kestrel_pri priorityqueue prisched"
sim sim1 " stats stop -I kestrel_stats_100 "
check "stats stop: StatisticsID first" "StatisticsID: kestrel_stats_100" "$(head -n 1 "$work/out")"
check "stats stop: every line is an id, a counter, an array header or an element" "0" \
  "$(grep -Evc '^(StatisticsID: .*|[a-z_0-9]+:[^:]+:[a-z_0-9]+:[^:]+|[a-z_0-9]+:[^:]+:[a-z_0-9]+:|	[a-z_0-9]+:[0-9]+)$' "$work/out")"
for object in system processor volume nfsv3 cifs disk ifnet; do
  check "stats stop, all objects: $object present" "yes" \
    "$(grep -q "^$object:" "$work/out" && echo yes || echo no)"
done
check "stats stop: one processor instance per processor" "processor0 processor1" \
  "$(grep '^processor:.*:processor_busy:' "$work/out" | cut -d: -f2 | tr '\n' ' ' | sed 's/ $//')"
header_line=$(grep -n '^processor:processor0:domain_busy:$' "$work/out" | cut -d: -f1)
check "stats stop: array header ends in a colon" "yes" "$([ -n "$header_line" ] && echo yes || echo no)"
check "stats stop: TAB-indented elements follow the header" "	idle:" \
  "$(sed -n "$((header_line + 1))p" "$work/out" | cut -d: -f1):"
check "stats stop: vifs are ifnet instances" "yes" \
  "$(grep -q '^ifnet:vif1:recv_packets:' "$work/out" && echo yes || echo no)"

sim sim1 " stats stop -I kestrel_stats_100 "
check "stats stop twice: instance gone" "Instance kestrel_stats_100 not found" "$out"

sim sim1 " stats stop -I kestrel_vol volume"
check "legacy stop: only the started object" "volume" "$(cut -d: -f1 "$work/out" | sed 1d | sort -u)"
check "legacy stop: one block per volume" "vol0 vol1 vol2" \
  "$(sed 1d "$work/out" | cut -d: -f2 | sort -u | tr '\n' ' ' | sed 's/ $//')"
sim sim1 " stats stop -I kestrel_pri"
check "two-object instance: both objects" "priorityqueue prisched" \
  "$(sed 1d "$work/out" | cut -d: -f1 | sort -u | tr '\n' ' ' | sed 's/ $//')"

# Counters grow with the time the instance ran.
sim sim2 " stats start -I short system"
sim sim2 " stats start -I long system"
sim sim2 " stats stop -I short"
short_ops=$(grep '^system:system:nfs_ops:' "$work/out" | cut -d: -f4)
sleep 3
sim sim2 " stats stop -I long"
long_ops=$(grep '^system:system:nfs_ops:' "$work/out" | cut -d: -f4)
check "counters grow with the instance's run time" "yes" \
  "$([ "$long_ops" -gt "$short_ops" ] && echo yes || echo no)"

sim sim1 " stats start -I mine volume"
sim sim2 " stats stop -I mine"
check "instances belong to their controller" "Instance mine not found" "$out"

# ---------------------------------------------------------------- statit, mem_stats
sim sim1 " statit -e "
check "statit -e without -b: no report" "" "$out"
check_has "statit -e without -b: message" "statit -b" "$errs"
sim sim1 " statit -b "
check "statit -b: silent" "" "$out$errs"
sim sim1 " statit -e "
check_has "statit -e: report" "CPU Statistics" "$out"
check_has "statit -e: names the controller" "Hostname: sim1" "$out"
sim sim1 " statit -e "
check "statit -e ends the measurement" "" "$out"

sim sim1 " mem_stats -e "
check_has "mem_stats -e without -b: message" "mem_stats -b" "$errs"
sim sim1 " mem_stats -b "
sim sim1 " mem_stats -e "
check_has "mem_stats -e after -b" "changes over" "$out"

# ---------------------------------------------------------------- profiles
sim sim1 " prof reset ; prof on  "
check_has "prof on" "Profiling enabled" "$out"
sim sim1 " prof off ; prof dump  "
check_has "prof dump names its file" "/gmon.1.flat" "$out"
sim sim1 " prof reset ; prof on network "
sim sim1 " prof off ; prof dump  "
sim sim1 " ls / "
check "prof dump leaves gmon files in /" "gmon.1.flat gmon.2.network" \
  "$(grep gmon "$work/err" | tr '\n' ' ' | sed 's/ $//')"
sim sim1 " rdfile /gmon.2.network "
check_has "gmon file readable" "domain network" "$out"
sim sim1 " rm /gmon.1.flat
 "
sim sim1 " rm /gmon.2.network
 "
sim sim1 " ls / "
check_lacks "rm removes gmon files" "gmon" "$errs"
sim sim1 " prof reset "
sim sim1 " prof dump "
check "prof dump without data: nothing written" "" "$out"
check_has "prof dump without data: message" "no profile data" "$errs"

# ---------------------------------------------------------------- traces
sim sim1 " trace enable SK 7 "
check_has "trace enable before start: refused" "no trace started" "$errs"
sim sim1 " trace start -b 40m "
check_has "trace start" "buffer 40m" "$out"
sim sim1 " trace enable SK 7 FSYS 4 "
sim sim1 " trace enable SK 7 FSYS "
check_has "trace enable with an odd list: refused" "usage" "$errs"
sim sim1 " trace disable SK "
sim sim1 " trace disable FSYS "
sim sim1 " trace disable DISK "
check_has "trace disable of a module never enabled" "not enabled" "$errs"
sim sim1 " trace dump /etc/log/sktrace_kestrel "
sim sim1 " trace stop "
sim sim1 " ls /etc/log "
check_has "trace dump leaves its file" "sktrace_kestrel" "$errs"
sim sim1 " rdfile /etc/log/sktrace_kestrel "
check "trace dump holds the enabled modules" "FSYS SK" \
  "$(awk '/ level /{print $1}' "$work/out" | sort -u | tr '\n' ' ' | sed 's/ $//')"
sim sim1 " trace dump "
check_has "trace dump after stop: refused" "no trace started" "$errs"

# ---------------------------------------------------------------- concurrency
for i in $(seq 1 30); do
  rsh.exe sim1 -l root -n " stats start -I parallel_$i volume" >/dev/null 2>&1 &
done
wait
check "parallel starts: every instance kept" "30" "$(grep -c '^stats\.parallel_' "$CTLSIM_STATE/sim1/state.conf")"
for i in $(seq 1 30); do
  rsh.exe sim1 -l root -n " stats stop -I parallel_$i" >"$work/stop_$i" 2>&1 &
done
wait
missing=0
for i in $(seq 1 30); do
  head -n 1 "$work/stop_$i" | grep -qx "StatisticsID: parallel_$i" || missing=$((missing + 1))
done
check "parallel stops: every instance reported once" "0" "$missing"
check "parallel stops: state emptied" "0" "$(grep -c '^stats\.parallel_' "$CTLSIM_STATE/sim1/state.conf")"
check "parallel invocations: every one logged" "60" \
  "$(grep -c 'parallel_' "$CTLSIM_STATE/sim1/invocations.log")"
check "parallel invocations: log lines intact" "0" \
  "$(awk -F'\t' '$4 != "ok" || NF != 10' "$CTLSIM_STATE/sim1/invocations.log" | wc -l | tr -d ' ')"

mkdir "$CTLSIM_STATE/sim2.lock"
touch -d '1 minute ago' "$CTLSIM_STATE/sim2.lock"
run timeout 30 rsh.exe sim2 -l root -n " stats start -I after_stale volume"
check "a stale lock is broken" "0" "$rc"
check "the instance was kept" "1" "$(grep -c '^stats\.after_stale=' "$CTLSIM_STATE/sim2/state.conf")"
check "no lock left behind" "no" "$([ -e "$CTLSIM_STATE/sim2.lock" ] && echo yes || echo no)"

ctlsim_finish
