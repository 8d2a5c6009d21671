#!/usr/bin/env bash
# Ctrl+C (SIGINT to kestrel alone) while --parallel=3 collects several
# controllers at once ends the run as it does one controller at a time: no
# command after the interrupted ones, their clients killed, the sections that
# appear in command-line order and none twice, poststats never twice, the
# error-log section last, the scratch folder removed, status 130. During the
# sampling wait the handler's poststats runs side by side and gives the
# serial report. The scenarios run at the same time.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/parallel_lib.sh"
export CTLSIM_HANG_LIMIT=600
unset CTLSIM_LATENCY

# Three controllers at a time, each held in a slow command when the signal
# comes (a client killed too late would still be in its delay); the fourth
# waits for a free worker.
for i in 1 2 3 4; do
  model "pre$i" "vzones =" "fault:netstat -x = delay 30"
  model "post$i" "vzones =" "fault:raid_config -r = delay 30"
  model "wait$i" "vzones ="
done
model wait2 "vzones =" "release = Corvex Release 8.0.1: Tue Mar 5 2013" "help_style = priv"
model wait3 "release = Corvex Release 7.2: Mon Jan 7 2008" "help_style = none" \
  "licenses = nfs, fcp, zonepack" "vzones = vzq:/vol/vzqroot"
# Four controllers side by side, each killed while its client is in the
# middle of a line.
for i in 1 2 3 4; do model "half$i" "vzones =" "fault:netstat -x = half_line"; done
pre=(pre1 pre2 pre3 pre4)
post=(post1 post2 post3 post4)
waits=(wait1 wait2 wait3 wait4)

CTLSIM_LATENCY=100ms start prestats --parallel=3 -t 0 -p -V -F -f pre1,pre2 -f pre3 -f pre4
CTLSIM_LATENCY=100ms start poststats --parallel=3 -t 0 -p -V -F -f post1,post2 -f post3 -f post4
start wait -t 0 -p -F --parallel=3 -f wait1 -f wait2 -f wait3 -f wait4
start halves --parallel=4 -t 0 -p -F -f half1,half2,half3,half4
start wait_s -t 0 -p -F -f wait1 -f wait2 -f wait3 -f wait4

# in_flight NAME COMMAND CONTROLLER...: waits until each controller has
# received COMMAND, then sends SIGINT and notes the time in NAME/signalled.
in_flight() {
  local run=$1 command=$2 name
  shift 2
  for name in "$@"; do
    await "$run" "state/$name/invocations.log" $'\t *'"$command"$' *\t' 120 || return 1
  done
  sleep 0.5
  date +%s.%N >"$WORK/$run/signalled"
  interrupt "$run"
}
(in_flight prestats 'netstat -x' pre1 pre2 pre3) &
(in_flight poststats 'raid_config -r' post1 post2 post3) &
(in_flight halves 'netstat -x' half1 half2 half3 half4) &
# -t 0 makes the sampling wait a plain ten-second sleep.
(await wait err '^Sleep for ' 120 && sleep 3 && interrupt wait) &
(await wait_s err '^Sleep for ' 120 && sleep 3 && interrupt wait_s) &

# messages NAME: what the run said on standard error besides its progress.
messages() {
  grep -vE '^(Collecting up to|Kestrel v|Checking filer|Prestats on|Sleep for|Poststats on)' "$WORK/$1/err"
}
interrupted='Caught signal; quitting...
Killing background processes...
Appending error log...
Done!'

# common NAME TARGET...: what every interrupted run shows; the targets are
# the controllers and their virtual controllers in command-line order.
common() {
  local run=$1
  shift
  check "$run: status 130" [ "$(status "$run")" = 130 ]
  check "$run: the report ends with the error-log section" ends_with_error_log "$run"
  check "$run: the signal is in the error log" \
    grep -aq ' : Kestrel caught signal; quitting\.\.\.$' "$WORK/$run/out"
  check "$run: one error-log section" \
    [ "$(grep -c ' POSTSTATS =-=-=-=-=-= ERROR LOG$' "$WORK/$run/out")" = 1 ]
  check "$run: no execution statistics" none 'Kestrel Execution Statistics' <"$WORK/$run/out"
  check "$run: prestats blocks in command-line order, none twice" blocks_in_order "$run" PRESTATS "$@"
  check "$run: poststats blocks in command-line order, none twice" blocks_in_order "$run" POSTSTATS "$@"
  check "$run: no client left running" clients_ended "$run" "$@"
  check "$run: scratch folder removed" scratch_removed "$run"
}

# ------------------------------------------------------- during prestats
finished prestats 200
common prestats "${pre[@]}"
check "prestats: the messages of an interrupt" \
  same "prestats: messages" "$interrupted" "$(messages prestats)"
check "prestats: the first controller's section is there" \
  grep -qx '=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= pre1' "$WORK/prestats/out"
check "prestats: no controller's prestats ended" none '^=-=-=-=-=-= END PRESTATS' <"$WORK/prestats/out"
check "prestats: the waiting controller never began" none '^=-=-=-=-=-= .*pre4' <"$WORK/prestats/out"
check "prestats: no poststats" none 'POSTSTATS =-=-=-=-=-= pre' <"$WORK/prestats/out"
for name in pre1 pre2 pre3; do
  if grep -qx "=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= $name" "$WORK/prestats/out"; then
    check "prestats: $name's section ends with the interrupted command" \
      [ "$(last_section prestats PRESTATS "$name")" = "netstat -x" ]
  fi
done
for name in "${pre[@]}"; do
  check "prestats: $name heard nothing after the signal" \
    [ "$(logged_after prestats "$name" "$(cat "$WORK/prestats/signalled")")" = 0 ]
done
check "prestats: pre4 was never asked for its prestats" \
  none '(^| )license ' <<<"$(invocations prestats pre4 | cut -f5)"

# ------------------------------------------------------ during poststats
finished poststats 300
common poststats "${post[@]}"
check "poststats: the messages of an interrupt" \
  same "poststats: messages" "$interrupted" "$(messages poststats)"
check "poststats: every prestats complete, in order" \
  same "poststats: prestats" "$(printf '%s\n' "${post[@]}")" \
  "$(sed -nE 's/^=-=-=-=-=-= END PRESTATS =-=-=-=-=-= //p' "$WORK/poststats/out")"
check "poststats: the first controller's poststats is there" \
  grep -qx '=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= post1' "$WORK/poststats/out"
check "poststats: no controller's poststats ended" none '^=-=-=-=-=-= END POSTSTATS' <"$WORK/poststats/out"
check "poststats: the waiting controller's poststats never began" \
  none 'POSTSTATS =-=-=-=-=-= post4' <"$WORK/poststats/out"
for name in post1 post2 post3; do
  if grep -qx "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= $name" "$WORK/poststats/out"; then
    check "poststats: $name's section ends with the interrupted command" \
      [ "$(last_section poststats POSTSTATS "$name")" = "raid_config -r" ]
  fi
done
for name in "${post[@]}"; do
  check "poststats: $name heard nothing after the signal" \
    [ "$(logged_after poststats "$name" "$(cat "$WORK/poststats/signalled")")" = 0 ]
  check "poststats: $name's statistics stopped at most once" \
    [ "$(invocations poststats "$name" | cut -f5 | grep -c 'stats stop -I kestrel_stats_')" -le 1 ]
done

# ------------------------------------------- during the sampling finished halves
check "halves: status 130" [ "$(status halves)" = 130 ]
check "halves: each cut line ended before what follows" \
  [ "$(grep -ac '^half a line, cut$' "$WORK/halves/out")" = 4 ]
check "halves: every marker starts a line" \
  [ "$(grep -ac '=-=-=-=-=-= ' "$WORK/halves/out")" = "$(grep -ac '^=-=-=-=-=-= ' "$WORK/halves/out")" ]
report_tool="$(dirname "$KESTREL_BIN")/kestrel-report"
"$report_tool" index "$WORK/halves/out" >"$WORK/halves/index" 2>"$WORK/halves/index.err"
# Status 1 says the run was cut short; the reader must find nothing else wrong.
check "halves: the reader reads the report whole" [ $? -eq 1 ] &&
  [ "$(cat "$WORK/halves/index.err")" = "kestrel-report: $WORK/halves/out: the run was interrupted: the error log follows at line $(grep -an ' ERROR LOG$' "$WORK/halves/out" | cut -d: -f1) without the execution statistics" ]
for name in half1 half2 half3 half4; do
  check "halves: the reader finds $name's interrupted command" \
    grep -q "$name.*netstat -x" "$WORK/halves/index"
done
wait
finished wait 200
finished wait_s 200
targets=(wait1 wait2 wait3 'wait3:[VZ]:vzq' wait4)
order=$(printf '%s\n' "${targets[@]}")
common wait "${targets[@]}"
common wait_s "${targets[@]}"
check "wait: every poststats, once, in order" same "wait: poststats" "$order" "$(openings wait POSTSTATS)"
closed() { sed -nE 's/^=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= //p' "$WORK/$1/out"; }
check "wait: every poststats complete" same "wait: complete poststats" "$order" "$(closed wait)"
check "wait: the handler's poststats announced" \
  grep -qx 'Woke between prestats and poststats- attempting poststats' "$WORK/wait/err"
# One after the other, wait2's poststats would begin after wait1's last command.
check "wait: the handler's poststats ran side by side" \
  earlier "$(logged_first wait wait2 'stats stop -I ')" "$(invocations wait wait1 | tail -1 | cut -f1)"
check "wait: the serial run's poststats complete too" \
  same "wait_s: complete poststats" "$order" "$(closed wait_s)"
check "wait: the serial report" same "wait: report" "$(body wait_s)" "$(body wait)"
check "wait: the serial error log lines" same "wait: error log" "$(error_log wait_s)" "$(error_log wait)"
check "wait: the serial progress lines" same "wait: stderr" "$(progress wait_s)" "$(progress wait)"
for name in "${waits[@]}"; do
  check "wait: $name heard what it hears in serial" \
    same "wait: $name's commands" "$(received wait_s "$name")" "$(received wait "$name")"
  stops=$(invocations wait_s "$name" | cut -f5 | grep -c 'stats stop -I ')
  check "wait: $name's statistics stopped" [ "$stops" -gt 0 ]
  check "wait: $name's statistics stopped as often as in serial" \
    [ "$(invocations wait "$name" | cut -f5 | grep -c 'stats stop -I ')" = "$stops" ]
done
wait
finish
