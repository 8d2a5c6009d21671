#!/usr/bin/env bash
# ctlsim's serve mode, the simulator behind a real server: the command from
# -c or from SSH_ORIGINAL_COMMAND, answered and logged as the named
# controller; bad calls and unknown controllers fail; the command text is
# only ever answered, never run.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
T=$'\t'

out=$("$CTLSIM_BIN" serve sim1 -c " version ")
check "-c: answered" [ "$out" = "Corvex Release 7.3.5: Fri Nov 2 2012" ]
check "-c: logged as serve" [ "$(sim_log sim1 | tail -1)" = "serve${T}ok${T} version ${T}sim1${T}-c${T} version " ]

out=$(SSH_ORIGINAL_COMMAND="priv set -q diag ; hostname" "$CTLSIM_BIN" serve sim2)
check "SSH_ORIGINAL_COMMAND: answered" [ "$out" = "sim2" ]
check "SSH_ORIGINAL_COMMAND: logged" [ "$(remotes sim2 | tail -1)" = "priv set -q diag ; hostname" ]

env -u SSH_ORIGINAL_COMMAND "$CTLSIM_BIN" serve sim1 >/dev/null 2>"$WORK/err"
check "no command: status 2" [ $? -eq 2 ]
check "no command: usage" grep -q "^usage: ctlsim serve NAME" "$WORK/err"
"$CTLSIM_BIN" serve "../sim1" -c version >/dev/null 2>&1
check "bad name: status 2" [ $? -eq 2 ]
"$CTLSIM_BIN" serve nosuch -c version >/dev/null 2>"$WORK/err"
check "unknown controller: status 1" [ $? -eq 1 ]
check "unknown controller: logged" [ "$(sim_log nosuch | cut -f2)" = "unreachable" ]
model broken_one "release = x" "no_such_key = 1"
"$CTLSIM_BIN" serve broken_one -c version >/dev/null 2>"$WORK/err"
check "broken model: status 1" [ $? -eq 1 ]
model down "fault = unreachable"
"$CTLSIM_BIN" serve down -c version >/dev/null 2>&1
check "unreachable fault: status 1" [ $? -eq 1 ]

(cd "$WORK" && "$CTLSIM_BIN" serve sim1 -c 'version; touch PWNED $(touch PWNED2) `touch PWNED3`' >/dev/null 2>&1)
check "the command text runs nothing" bash -c "! ls '$WORK'/PWNED* >/dev/null 2>&1"
finish
