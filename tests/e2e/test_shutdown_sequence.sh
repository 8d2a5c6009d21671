#!/usr/bin/env bash
# SIGTERM while eight controllers are collected side by side, each thread in
# the middle of a command: every client of the run is gone right after
# kestrel is, as the registry of children closes before the kill and no
# thread can start its next command. Repeated, since the window it closes
# is narrow.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
export CTLSIM_HANG_LIMIT=120 CTLSIM_LATENCY=150ms-300ms

names=()
for i in 1 2 3 4 5 6 7 8; do
  model "term$i" "vzones ="
  names+=("term$i")
done
pattern="(rsh|plink|ssh)(\\.exe)? term[1-8] "
live_clients() { ps -eo stat=,args= | awk -v re="$pattern" '$1 !~ /^Z/ && $0 ~ re' | grep -c .; }

for round in $(seq 1 10); do
  forget
  mkdir -p "$WORK/r$round/tmp"
  (cd "$WORK/r$round" && exec env tmp="$WORK/r$round/tmp" "$KESTREL_BIN" -t 0 -p -V -F \
    --parallel=8 -f "$(IFS=,; echo "${names[*]}")" >out 2>err) &
  pid=$!
  # Every controller busy: each has answered a few commands already.
  for _ in $(seq 1 300); do
    busy=0
    for name in "${names[@]}"; do
      [ "$(remotes "$name" | wc -l)" -ge 4 ] && busy=$((busy + 1))
    done
    [ "$busy" -eq 8 ] && break
    sleep 0.1
  done
  kill -TERM "$pid"
  wait "$pid"
  status=$?
  sleep 0.1
  check "round $round: ended by SIGTERM" [ "$status" -eq 143 ]
  left=$(live_clients)
  check "round $round: no client alive after kestrel ($left)" [ "$left" -eq 0 ]
  # A client left by a failing round must not count in the next: each one
  # this round started, by the pid the simulator logged.
  for name in "${names[@]}"; do
    for client in $(cut -f2 "$WORK/state/$name/invocations.log" 2>/dev/null); do
      [ -n "$client" ] && kill -KILL "$client" 2>/dev/null
    done
  done
done
finish
