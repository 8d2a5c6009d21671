#!/usr/bin/env bash
# --parallel=N collects up to N controllers at the same time and still writes
# the serial report: five controllers of different releases, licences,
# virtual controllers and interfaces give, with time stamps and the
# controllers' clocks taken out, the same report, the same error log (as a
# set of lines), the same commands per controller in the same order and the
# same progress lines (whole, as a set). A controller whose command hangs
# holds neither the others' collection nor the report's order; one that
# cannot be reached ends the run as it does in serial. Bad values of the
# option are refused. The runs go side by side, each with a temp root and
# a simulator state of its own.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/parallel_lib.sh"
unset CTLSIM_LATENCY
export CTLSIM_HANG_LIMIT=600

# The first controller is the slowest (a latency), so the ones after it
# finish first and must wait for it in the report. Two controllers write to
# standard error, which goes to the error log.
model r73 "release = Corvex Release 7.3: Mon Jan 1 2011" "latency = 20ms" \
  "licenses = nfs, cifs, iscsi, zonepack, replisync" "fault:df = stderr r73 says: df is slow" \
  "vzones = vx1:/vol/vx1root, vx2:/vol/vx2root" \
  "vifs = ifa, ifb, ifc" "processors = 8" "options_vols = vol1:on, vol2:off"
model old72 "release = Corvex Release 7.2: Mon Jan 7 2008" "help_style = none" \
  "licenses = nfs, fcp, zonepack" "vzones = vzq:/vol/vzqroot" "vifs = e0a" "processors = 1"
model r702 "release = Corvex Release 7.0.2: Mon Jan 1 2007" "help_style = priv" \
  "licenses = nfs, cifs" "vzones =" "vifs =" "volumes = vol0" \
  "fault:df = stderr r702 says: df is slow"
names=(r73 sim1 old72 sim2 r702)
# shellcheck disable=SC2054 # -f takes a comma list too
filers=(-f r73 -f sim1 -f old72,sim2 -f r702)

# The hung-command run: one controller with virtual controllers hangs on one
# of its last prestats commands; the others have none and fewer commands.
model stall "vzones = vz1:/vol/vz1root, vz2:/vol/vz2root" "fault:vzone run vz2 qtree status = hang"
model peer1 "vzones ="
model peer2 "release = Corvex Release 8.0.1: Tue Mar 5 2013" "help_style = priv" "vzones =" \
  "licenses = nfs, fcp, iscsi"
model peer3 "release = Corvex Release 7.2: Mon Jan 7 2008" "help_style = none" "vzones =" \
  "licenses = nfs, fcp"
model peer4 "release = Corvex Release 7.0.2: Mon Jan 1 2007" "vzones =" "licenses = nfs"
hung_names=(peer1 stall peer2 peer3 peer4)

# A controller that cannot be reached ends the run; the one before it is
# still in its set-up (a slow reply) when that happens.
model slowq "vzones =" "fault:version = delay 30"

start c_s -c -d -F "${filers[@]}"
start c_p -c -d -F --parallel=4 "${filers[@]}"
start t0_s -t 0 -p -L -F "${filers[@]}"
start t0_p -t 0 -p -L --parallel=4 -F "${filers[@]}"
start t1_s -t 1 -p -V -k -F "${filers[@]}"
start t1_p -t 1 -p -V -k -F "${filers[@]}" --parallel=4
start x_s -x -t 0 -F "${filers[@]}"
start x_p -x -t 0 -F --parallel=4 "${filers[@]}"
start x_1 -x -t 0 -F --parallel=1 "${filers[@]}"
CTLSIM_LATENCY=100ms start hung --parallel=5 -p -t 0 -F -C 5 \
  -f peer1 -f stall -f peer2 -f peer3 -f peer4
start u_s -c -F -f slowq -f nosuch -f sim2
start u_p -c -F --parallel=3 -f slowq -f nosuch -f sim2

# ---------------------------------------------- unreachable controller
# The parallel run is checked as soon as it ends: a client it left behind
# would still be in its delay.
finished u_p
check "unreachable: status 1" [ "$(status u_p)" = 1 ]
check "unreachable: the message" grep -qx 'RSH to filer nosuch fails! Quitting.' "$WORK/u_p/err"
check "unreachable: no client left running" clients_ended u_p slowq nosuch sim2
check "unreachable: scratch folder removed" scratch_removed u_p
finished u_s
check "unreachable: serial status 1" [ "$(status u_s)" = 1 ]
check "unreachable: the serial report" same "unreachable: report" "$(normalised u_s)" "$(normalised u_p)"
check "unreachable: the serial progress lines" same "unreachable: stderr" "$(progress u_s)" "$(progress u_p)"

# -------------------------------------------------------- refused values
# untouched: the last run wrote no report and asked no controller.
untouched() { [ ! -s "$WORK/out" ] && [ -z "$(sim_log sim1)" ]; }
for value in --parallel=0 --parallel=65 --parallel=abc --parallel --parallel=4x --parallel=-1; do
  kestrel -c -F "$value" -f sim1
  check "$value: status 1" [ "$rc" -eq 1 ]
  check "$value: an ERROR line" grep -q '^ERROR: .*--parallel' "$WORK/err"
  check "$value: no report, no controller asked" untouched
done
for value in 1 64; do
  kestrel -x -t 0 -F "--parallel=$value" -f sim1
  check "--parallel=$value: accepted" [ "$rc" -eq 0 ]
done

# ------------------------------------------------------ serial vs parallel
# openings_expected [novz]: the controllers and virtual controllers in
# command-line order.
openings_expected() {
  if [ "${1:-}" = novz ]; then
    printf '%s\n' "${names[@]}"
  else
    printf '%s\n' r73 'r73:[VZ]:vx1' 'r73:[VZ]:vx2' sim1 'sim1:[VZ]:vz1' \
      'sim1:[VZ]:vz2' old72 'old72:[VZ]:vzq' sim2 'sim2:[VZ]:vza' 'sim2:[VZ]:vzb' r702
  fi
}

# compare WHAT SERIAL OTHER WIDTH [novz]: the two runs wrote the same report,
# error log and progress lines, and each controller heard the same commands.
compare() {
  local what=$1 s=$2 p=$3 width=$4 order name phase announced
  order=$(openings_expected "${5:-}")
  check "$what: serial status 0" [ "$(status "$s")" = 0 ]
  check "$what: status 0" [ "$(status "$p")" = 0 ]
  for phase in PRESTATS POSTSTATS; do
    check "$what: serial $phase sections in command-line order" \
      same "$what: serial $phase order" "$order" "$(openings "$s" "$phase")"
    check "$what: $phase sections in command-line order" \
      same "$what: $phase order" "$order" "$(openings "$p" "$phase")"
  done
  check "$what: same report" same "$what: report" "$(body "$s")" "$(body "$p")"
  check "$what: same error log lines" same "$what: error log" "$(error_log "$s")" "$(error_log "$p")"
  for name in "${names[@]}"; do
    check "$what: $name heard the same commands in the same order" \
      same "$what: $name's commands" "$(received "$s" "$name")" "$(received "$p" "$name")"
  done
  check "$what: the same whole progress lines" same "$what: stderr" "$(progress "$s")" "$(progress "$p")"
  announced=$(grep -c "^Collecting up to $width controllers at a time\.\.\.\$" "$WORK/$p/err")
  if [ "$width" -gt 1 ]; then
    check "$what: parallel collection announced once" [ "$announced" = 1 ]
  else
    check "$what: nothing announced" [ "$announced" = 0 ]
  fi
  check "$what: no client left running" clients_ended "$s" "${names[@]}"
  check "$what: no client left running (parallel)" clients_ended "$p" "${names[@]}"
  check "$what: scratch folders removed" scratch_removed "$s"
  check "$what: scratch folder removed (parallel)" scratch_removed "$p"
}

# ------------------------------------------------------------ hung command
finished hung
check "hung: status 0" [ "$(status hung)" = 0 ]
order=$(printf '%s\n' peer1 stall 'stall:[VZ]:vz1' 'stall:[VZ]:vz2' peer2 peer3 peer4)
for phase in PRESTATS POSTSTATS; do
  check "hung: $phase sections in command-line order" \
    same "hung: $phase order" "$order" "$(openings hung "$phase")"
done
hung_marker='=-=-=-=-=-= PERF stall:[VZ]:vz2 PRESTATS =-=-=-=-=-= vzone run vz2 qtree status'
section=$(awk -v m="$hung_marker" 'on && /^EXE-TIME of: / { print; exit } on { print } $0 == m { on = 1 }' \
  "$WORK/hung/out")
killed=$(sed -nE 's/^Killing process tree at PID: ([0-9]+)\.\.\.$/\1/p' <<<"$section")
check "hung: the kill is reported in the hung command's section" [ -n "$killed" ]
check "hung: one kill in the whole report" \
  [ "$(grep -c '^Killing process tree at PID' "$WORK/hung/out")" = 1 ]
check "hung: the hung client was killed" \
  grep -q " : Successfully killed process tree at root PID: $killed\$" "$WORK/hung/out"
check "hung: the section lasted at least the time-out" \
  [ "$(sed -nE 's/^EXE-TIME of: .* : ([0-9]+) seconds$/\1/p' <<<"$section")" -ge 4 ]

# From the simulator's clock: the hung command is logged when it starts; the
# stalled controller's next command is logged after the kill.
hung_line=$(invocations hung stall | awk -F'\t' '$5 ~ /vzone run vz2 qtree status/ { print NR; exit }')
hung_entry=$(invocations hung stall | sed -n "${hung_line:-0}p")
check "hung: the hung command reached the controller" [ -n "$hung_entry" ]
check "hung: the hung client was ended" [ -z "$(live_clients hung stall | grep -xF -- "$hung_entry")" ]
after_kill=$(invocations hung stall | sed -n "$((${hung_line:-0} + 1))p" | cut -f1)
check "hung: the stalled controller went on after the kill" [ -n "$after_kill" ]
# A peer's last "stats start" is its last prestats command.
for name in peer1 peer2 peer3 peer4; do
  check "hung: $name's prestats were not held by the hung command" \
    earlier "$(logged_last hung "$name" 'stats start -I ')" "$after_kill"
done
check "hung: no client left running" clients_ended hung "${hung_names[@]}"
check "hung: scratch folder removed" scratch_removed hung

for name in c_s c_p x_s x_p x_1 t0_s t0_p t1_s t1_p; do finished "$name"; done
compare "-c" c_s c_p 4
compare "-x" x_s x_p 4
compare "--parallel=1" x_s x_1 1
compare "-t 0 -p -L" t0_s t0_p 4
# Side by side sim1's prestats (its licence query first) begin long before
# r73's own end (its statistics start); one after the other they come after.
check "-t 0 -p -L: the prestats ran side by side" \
  earlier "$(logged_first t0_p sim1 '(^| )license ')" "$(logged_first t0_p r73 'stats start -I ')"
compare "-t 1 -p -V -k" t1_s t1_p 4 novz

# The comparisons above looked at real content: logs, samplers, lists.
check "-L: the controllers' logs are in the report" \
  grep -q '^=-=-=-=-=-= PERF old72 POSTSTATS =-=-=-=-=-= rdfile /etc/log/messages$' "$WORK/t0_p/out"
check "-x: commands listed" grep -q '^Filer: exportfs$' "$WORK/x_p/out"
check "-t 1: the samplers' files" \
  grep -q '^=-=-=-=-=-= PERF r702 POSTSTATS =-=-=-=-=-= sysstat.out$' "$WORK/t1_p/out"
check "the controllers' standard error reached the error log" \
  [ "$(grep -cx 'r702 says: df is slow' "$WORK/c_p/out")" -gt 0 ]
check "-p: no configuration sections" none '^=-=-=-=-=-= CONFIG [^ ]+ PRESTATS' <"$WORK/t0_p/out"
wait
finish
