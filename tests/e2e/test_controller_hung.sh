#!/usr/bin/env bash
# Controller set-up: a controller that never answers cannot hold the run; its
# queries end at the command time-out (-C) with the client's tree killed.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

# bounded ARGS...: kestrel, stopped by a generous outer limit so that a hang
# fails the test instead of blocking it.
bounded() {
  (cd "$WORK" && timeout 90 "$KESTREL_BIN" "$@" >"$WORK/out" 2>"$WORK/err")
  rc=$?
}

# all_ended NAME: no invocation of NAME still runs (an unreaped zombie has
# ended too).
all_ended() {
  local pid state
  for pid in $(cut -f2 "$WORK/state/$1/invocations.log" 2>/dev/null); do
    state=$(ps -o stat= -p "$pid" 2>/dev/null)
    case "$state" in "" | Z*) ;; *) return 1 ;; esac
  done
  return 0
}

# Hung on everything: the reachability query times out, the run ends.
model stuck "fault = hang"
forget
bounded -c -C 2 -f stuck -f sim1
check "hung: status 1, not the outer limit" [ "$rc" -eq 1 ]
check "hung: message" has_line "$WORK/err" "RSH to filer stuck fails! Quitting."
check "hung: later controller untried" [ -z "$(sim_log sim1)" ]
check "hung: client killed" all_ended stuck
check "hung: no run folder" temp_root_is_empty

# Hung only on some queries: set-up goes on with what it got.
model sluggish "fault:help = hang" "fault:vif status = hang"
forget
bounded -c -d -C 2 -f sluggish
check "partial hang: status 0" [ "$rc" -eq 0 ]
check "partial hang: basic privilege words without a help reply" \
  grep -qx 'DEBUG: Priv command: rc_toggle_basic ;' "$WORK/err"
check "partial hang: release still mapped" has_line "$WORK/out" $'FILEROS,\tsluggish,\tMERIX7.3.5'
check "partial hang: vzones found" grep -qx 'DEBUG: VZONE: vz2' "$WORK/err"
check "partial hang: no vifs" bash -c "! grep -q '^DEBUG: VIF: ' '$WORK/err'"
check "partial hang: clients killed" all_ended sluggish

# Answers, then never ends: the reply that was written still counts.
model chatty "fault:version = output_then_hang"
forget
bounded -c -C 2 -f chatty
check "answer then hang: status 0" [ "$rc" -eq 0 ]
check "answer then hang: release line" has_line "$WORK/out" $'FILEROS,\tchatty,\tMERIX7.3.5'
check "answer then hang: clients killed" all_ended chatty
finish
