#!/usr/bin/env bash
# ctlsim end to end: the round trip a controller takes before it answers, from
# the model's latency key or CTLSIM_LATENCY. Only lower bounds are checked
# (a sleep guarantees them); how quick an answer without latency is, is
# printed, never asserted.
set -u

source "$(dirname "$0")/ctlsim_lib.sh"
ctlsim_setup
version="Corvex Release 7.3.5: Fri Nov 2 2012"
at_least() { [ "$elapsed_ms" -ge "$1" ] && echo yes || echo "no ($elapsed_ms ms)"; }

# ---------------------------------------------------------------- the variable
run rsh sim1 -n version
check "no latency: answers" "$version" "$out"
echo "info: rsh sim1 -n version without latency: $elapsed_ms ms"

run env CTLSIM_LATENCY=300ms rsh sim1 -n version
check "CTLSIM_LATENCY=300ms: answers" "$version" "$out"
check "CTLSIM_LATENCY=300ms: status" "0" "$rc"
check "CTLSIM_LATENCY=300ms: takes at least 0.3 s" "yes" "$(at_least 300)"
check "CTLSIM_LATENCY=300ms: logged as usual" "ok" "$(log_field sim1 4)"
echo "info: rsh sim1 -n version with CTLSIM_LATENCY=300ms: $elapsed_ms ms"

run env CTLSIM_LATENCY=0.3s rsh.exe sim2 -l root -n " version ; hostname "
check "seconds: every command of the invocation answers" "Corvex Release 8.0.1: Tue Mar 5 2013
sim2" "$out"
check "seconds: 0.3s is 300 ms" "yes" "$(at_least 300)"

run env CTLSIM_LATENCY=300-400 rsh sim1 -n version
check "range: answers" "$version" "$out"
check "range: at least its lower end" "yes" "$(at_least 300)"

run env CTLSIM_LATENCY=300ms CTLSIM_TIME_SCALE=0 rsh sim1 -n version
check "not shortened by the time scale" "yes" "$(at_least 300)"

run env CTLSIM_LATENCY= rsh sim1 -n version
check "empty variable: as if unset" "0 $version" "$rc $out"

run env CTLSIM_LATENCY=300ms "$CTLSIM_BIN" serve sim1 -c " version "
check "serve: answers" "$version" "$out"
check "serve: the same latency" "yes" "$(at_least 300)"

# ---------------------------------------------------------------- bad values
for value in soon 300-100 -5ms 200us; do
  run env CTLSIM_LATENCY="$value" rsh sim1 -n version
  check "bad CTLSIM_LATENCY $value: status" "1" "$rc"
  check "bad CTLSIM_LATENCY $value: no answer" "" "$out"
  check "bad CTLSIM_LATENCY $value: message" "ctlsim: bad CTLSIM_LATENCY: $value" "$errs"
done
check "bad CTLSIM_LATENCY: logged" "badenv" "$(log_field sim1 4)"
run env CTLSIM_LATENCY=soon ssh.exe -o BatchMode=yes -l root sim1 version
check "bad CTLSIM_LATENCY over ssh: its failure status" "255" "$rc"
run env CTLSIM_LATENCY=soon "$CTLSIM_BIN" serve sim1 -c version
check "bad CTLSIM_LATENCY in serve: status" "1" "$rc"
check "bad CTLSIM_LATENCY in serve: message" "ctlsim: bad CTLSIM_LATENCY: soon" "$errs"
run env CTLSIM_LATENCY=soon "$CTLSIM_BIN" log sim1
check "bad CTLSIM_LATENCY: admin commands still work" "0" "$rc"

# ---------------------------------------------------------------- the model key
model slow "latency = 300ms"
run rsh slow -n version
check "model latency: answers" "$version" "$out"
check "model latency: takes at least 0.3 s" "yes" "$(at_least 300)"

model quick "licenses = nfs"
run env CTLSIM_LATENCY=0.3s rsh quick -n version
check "the variable reaches a model without the key" "yes" "$(at_least 300)"

model fast "latency = 1ms"
run env CTLSIM_LATENCY=300ms rsh fast -n version
check "the variable overrides the model's latency" "yes" "$(at_least 300)"

# A day's latency: the invocation is logged, then waits without answering
# until it is killed.
model day "latency = 86400s"
rsh day -n version >"$work/day.out" 2>&1 &
day_pid=$!
for _ in $(seq 600); do
  [ -s "$work/state/day/invocations.log" ] && break
  sleep 0.1
done
check "long latency: logged before the wait" "ok" "$(log_field day 4)"
check "long latency: still waiting" "yes" "$(kill -0 "$day_pid" 2>/dev/null && echo yes || echo no)"
check "long latency: nothing answered yet" "" "$(cat "$work/day.out")"
kill "$day_pid"
wait "$day_pid"
check "long latency: killed while waiting" "143" "$?"

for value in -5ms 300ms-100ms fast 86401s; do
  model badlatency "latency = $value"
  run rsh badlatency -n version
  check "model latency $value: broken model" "1" "$rc"
  check_has "model latency $value: says which line and value" "model.conf: line 1: latency \"$value\"" "$errs"
done
check "bad model latency: logged" "badmodel" "$(log_field badlatency 4)"

model zero "latency = 0"
run rsh zero -n version
check "model latency 0: answers" "0 $version" "$rc $out"

ctlsim_finish
