#!/usr/bin/env bash
# Ctrl+C (SIGINT, sent to kestrel alone) ends the run in order: the owed
# poststats when it came during the sampling wait, the error-log section, the
# scratch folder removed, no client left, and the process ends as interrupted
# (status 130). SIGTERM runs none of these steps. Another run with its own
# controllers goes on untouched. The scenarios run at the same time.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
source "$(dirname "$0")/interrupt_lib.sh"
export CTLSIM_HANG_LIMIT=600

for name in w1 o1 q1 t1; do model "$name" "vzones ="; done
# The main thread must not go on with prestats: a later command is slow too.
model p1 "vzones =" "fault:timezone = delay 60" "fault:snap status = delay 20"
model d1 "vzones =" "fault:fsysaffinity_stats = delay 6"
for offset in 1 2 3; do model "e$offset" "vzones ="; done
forget

# With -t 0 the sampling wait is a plain 10-second sleep; the controller's END
# PRESTATS marker comes half a second before it (-F: no host section).
launch wait2 -t 1 -i 3,0 -V -f w1
launch other -t 1 -F -V -f o1
launch prestats -t 0 -F -V -f p1
launch quiet -q -t 0 -F -V -f q1
launch twice -t 0 -F -V -f d1
launch term -t 0 -F -V -f t1
for offset in 1 2 3; do launch "end$offset" -t 0 -F -V -f "e$offset"; done

# Each scenario's signals are sent from a job of its own, while all run.
(await prestats ../state/p1/invocations.log $'\t *timezone *\t' 60 && sleep 1 &&
  signal prestats INT) &
(await quiet out '^=-=-=-=-=-= END PRESTATS =-=-=-=-=-= q1$' 60 && sleep 3 && signal quiet INT) &
# A second Ctrl+C while the handler's poststats waits for a slow command.
(await twice out '^=-=-=-=-=-= END PRESTATS =-=-=-=-=-= d1$' 60 && sleep 3 && signal twice INT &&
  await twice ../state/d1/invocations.log $'\t *fsysaffinity_stats *\t' 60 && sleep 1 &&
  signal twice INT) &
(await term out '^=-=-=-=-=-= END PRESTATS =-=-=-=-=-= t1$' 60 && sleep 3 && signal term TERM) &
# Around the end of the wait, 10.5 seconds after the marker.
for offset in 1 2 3; do
  (await "end$offset" out "^=-=-=-=-=-= END PRESTATS =-=-=-=-=-= e$offset\$" 60 &&
    sleep "$(awk -v o="$offset" 'BEGIN { print 9.8 + o * 0.3 }')" && signal "end$offset" INT) &
done

for name in prestats quiet twice term end1 end2 end3; do await_end "$name"; done

check "prestats: status 130" [ "$(status prestats)" = 130 ]
check "prestats: no poststats section" none 'POSTSTATS =-=-=-=-=-= p1$|BEGIN POSTSTATS' \
  <<<"$(report_markers prestats)"
check "prestats: the report ends with the error-log section" last_marker_is_error_log prestats
check "prestats: no section after the interrupted command" \
  grep -qE ' PRESTATS =-=-=-=-=-= timezone$' <<<"$(report_markers prestats | tail -2 | head -1)"
check "prestats: no controller command after the interrupted one" \
  grep -qxE ' *timezone *' <<<"$(remotes p1 | tail -1)"
check "prestats: caught in the error log" grep -aq ' : Kestrel caught signal; quitting\.\.\.$' \
  "$WORK/prestats/out"
check "prestats: messages" [ "$(grep -vE '^(Kestrel v|Checking|Prestats on)' "$WORK/prestats/err")" = \
  "$(printf '%s\n' 'Caught signal; quitting...' 'Killing background processes...' \
    'Appending error log...' 'Done!')" ]
check "prestats: the delayed client was killed" clients_ended p1
check "prestats: scratch folder removed" scratch_removed prestats

check "-q: status 130" [ "$(status quiet)" = 130 ]
check "-q: nothing on standard error" [ ! -s "$WORK/quiet/err" ]
check "-q: poststats" [ "$(count quiet '=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= q1')" = 1 ]
check "-q: the error-log section" last_marker_is_error_log quiet
check "-q: scratch folder removed" scratch_removed quiet

check "twice: status 130" [ "$(status twice)" = 130 ]
check "twice: one poststats" [ "$(count twice '=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= d1')" = 1 ]
check "twice: the poststats was not cut short" \
  [ "$(count twice '=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= d1')" = 1 ]
check "twice: one error-log section" [ "$(report_markers twice | grep -c ' ERROR LOG$')" = 1 ]
check "twice: the steps ran once" [ "$(grep -c '^Caught signal; quitting...$' "$WORK/twice/err")" = 1 ]
check "twice: ended with Done!" [ "$(tail -1 "$WORK/twice/err")" = "Done!" ]

check "SIGTERM: ended by the signal" [ "$(status term)" = 143 ]
check "SIGTERM: no steps" none 'ERROR LOG|POSTSTATS' <<<"$(report_markers term)"
check "SIGTERM: no message" none 'Caught signal|Done' <"$WORK/term/err"
check "SIGTERM: no client left" clients_ended t1

for offset in 1 2 3; do
  name=end$offset
  check "$name: one poststats" [ "$(count "$name" "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= e$offset")" = 1 ]
  check "$name: one error-log section" [ "$(report_markers "$name" | grep -c ' ERROR LOG$')" = 1 ]
  check "$name: scratch folder removed" scratch_removed "$name"
done

# ------------------------------------- during the wait of iteration 2 of 3
await wait2 err '^Sleep for 1 minute' 200
await wait2 out '^=-=-=-=-=-= BEGIN Iteration 2 ' 200
await wait2 "tmp/kestrel-$(id -u)/$(kestrel_pid wait2)/error.log" 'Itr: 2 Waiting on the completion' 200 &&
  sleep 3
signal wait2 INT
await_end wait2
check "wait: status 130" [ "$(status wait2)" = 130 ]
check "wait: poststats of iteration 2" \
  [ "$(count wait2 '=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= w1')" = 2 ]
check "wait: the samplers' files of iteration 2" \
  [ "$(report_markers wait2 | grep -c '^=-=-=-=-=-= PERF w1 POSTSTATS =-=-=-=-=-= sysstat.out$')" = 2 ]
check "wait: END Iteration 2 and its epoch line" \
  grep -aA1 -E '^=-=-=-=-=-= END Iteration 2 =-=-=-=-=-= ' "$WORK/wait2/out" |
  grep -aqE '^KESTREL_EPOCH: [0-9]+$'
check "wait: no iteration 3" none 'Iteration 3' <<<"$(report_markers wait2)"
check "wait: the error-log section last" last_marker_is_error_log wait2
check "wait: no execution statistics" none 'Kestrel Execution Statistics' <"$WORK/wait2/out"
check "wait: messages" grep -qx 'Woke between prestats and poststats- attempting poststats' \
  "$WORK/wait2/err"
check "wait: no client left" clients_ended w1
check "wait: scratch folder removed" scratch_removed wait2

await_end other
check "other run: status 0" [ "$(status other)" = 0 ]
check "other run: its samplers ran to the end" \
  [ "$(sysstat_rows "$(sampler_file other o1 sysstat.out)")" -eq 58 ]
check "other run: its report closed normally" grep -aq 'Total Running Time' "$WORK/other/out"
wait
finish
