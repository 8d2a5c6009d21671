#!/usr/bin/env bash
# Complete runs with the sampling wait: one iteration, and two iterations with
# their markers and the pause between them.
source "$(dirname "$0")/lib.sh"

kestrel -t 0 -q
check "one iteration: status 0" [ "$rc" -eq 0 ]
check "quiet: nothing on stderr" [ ! -s "$WORK/err" ]
check "no iteration markers" bash -c "! grep -q '^=-=-=-=-=-= [A-Z]* Iteration' '$WORK/out'"
first=$(markers | head -1)
check "prestats date header first" [ "$first" = "=-=-=-=-=-= PERF e2ehost PRESTATS =-=-=-=-=-= date" ]
check "poststats date header" grep -q '^=-=-=-=-=-= PERF e2ehost POSTSTATS =-=-=-=-=-= date$' "$WORK/out"
check "error log is the last section" [ "$(markers | tail -1)" = "=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= ERROR LOG" ]
check "slow-command report in the log" grep -q ' : === End Command Report ===$' "$WORK/out"
check "report ends with the statistics" [ "$(tail -2 "$WORK/out" | head -1)" = "=-=-= Kestrel Execution Statistics -=-=-=-=" ]
check "run folder removed" temp_root_is_empty

kestrel -t 0 -i 2
check "two iterations: status 0" [ "$rc" -eq 0 ]
expected=$(cat <<'MARKERS'
=-=-=-=-=-= BEGIN Iteration 1 =-=-=-=-=-= <time>
=-=-=-=-=-= END Iteration 1 =-=-=-=-=-= <time>
=-=-=-=-=-= BEGIN Iteration 2 =-=-=-=-=-= <time>
=-=-=-=-=-= END Iteration 2 =-=-=-=-=-= <time>
MARKERS
)
check "iteration markers" [ "$(markers | grep Iteration)" = "$expected" ]
check "pause announced" grep -q '^Sleeping 10 seconds$' "$WORK/err"
check "iteration progress" [ "$(grep -c '^Begin Iteration [12]$' "$WORK/err")" -eq 2 ]
# Five iterations or fewer collect configuration data every time.
check "config data in both" [ "$(grep -c '^=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= uname -a$' "$WORK/out")" -eq 2 ]
check "log brackets both iterations" [ "$(grep -c ' : === END POSTSTATS FOR ITERATION [12] AT ' "$WORK/out")" -eq 2 ]
check "run folder removed" temp_root_is_empty
finish
