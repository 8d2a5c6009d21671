#!/usr/bin/env bash
# Pretend mode lists the commands instead of running them and does not wait.
source "$(dirname "$0")/lib.sh"

kestrel -x -t 3
check "status 0" [ "$rc" -eq 0 ]
check "modes on stderr" grep -q '^PERF_ONLY: 0  CONF_ONLY: 0$' "$WORK/err"
check "host commands echoed" grep -q '^Host: ip addr show$' "$WORK/out"
check "perf commands echoed twice" [ "$(grep -c '^Host: netstat -s$' "$WORK/out")" -eq 2 ]
check "sampling wait echoed" grep -q '^Sleep: 3 *$' "$WORK/out"
check "no command markers" bash -c "! grep -q '=-=-=-=-=-= CONFIG e2ehost PRESTATS' '$WORK/out'"
check "no EXE-TIME before the log" bash -c "! sed '/ERROR LOG\$/,\$d' '$WORK/out' | grep -q EXE-TIME"
check "PRETEND set in header" grep -q '^PRETEND,             set,        "TRUE"$' "$WORK/out"
check "error log is the last section" grep -q '^=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= ERROR LOG$' "$WORK/out"
check "statistics close the report" grep -q '^  Total Running Time: [0-9]* seconds$' "$WORK/out"
check "run folder removed" temp_root_is_empty
finish
