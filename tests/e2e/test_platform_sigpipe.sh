#!/usr/bin/env bash
# A report pipe that closes early (`kestrel ... | head -1`) ends the run in
# order: kestrel is not killed by SIGPIPE, its scratch folder is removed and
# no remote-shell client is left running.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

forget
# Kestrel's own status, not head's; bounded so that a hang fails the test.
(cd "$WORK" && timeout 120 bash -c \
  '"$0" -c -C 10 -f sim1 2>"$1" | head -1 >"$2"; exit "${PIPESTATUS[0]}"' \
  "$KESTREL_BIN" "$WORK/err" "$WORK/out")
rc=$?

# all_ended NAME: no invocation of NAME still runs (a zombie has ended too).
all_ended() {
  local pid state
  for pid in $(cut -f2 "$WORK/state/$1/invocations.log" 2>/dev/null); do
    state=$(ps -o stat= -p "$pid" 2>/dev/null)
    case "$state" in "" | Z*) ;; *) return 1 ;; esac
  done
  return 0
}

check "ended before the outer limit" [ "$rc" -ne 124 ]
check "not killed by SIGPIPE (status $rc)" [ "$rc" -lt 128 ]
check "the first line arrived" [ "$(wc -l <"$WORK/out")" -eq 1 ]
check "the controller was reached" [ -s "$WORK/state/sim1/invocations.log" ]
check "no client left running" all_ended sim1
check "run folder removed" [ -z "$(ls -A "$tmp/kestrel-$(id -u)" 2>/dev/null)" ]
finish
