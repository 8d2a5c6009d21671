#!/usr/bin/env bash
# kestrel.exe under Wine: a controller command that hangs is killed with its
# tree after -C (Wine's taskkill cannot walk trees; the job object does), and
# the run goes on with the next command.
source "$(dirname "$0")/lib.sh"
wine_setup

sim_exe=${CTLSIM_WIN_BIN:-$(dirname "$KESTREL_EXE")/ctlsim.exe}
[ -f "$sim_exe" ] || { echo "SKIP: no ctlsim.exe" >&2; exit 77; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine "$sim_exe" install "$(winpath "$WORK/bin")" >/dev/null 2>&1
mkdir -p "$WORK/home/models/hungwine"
echo "fault:sysconfig -av = hang" >"$WORK/home/models/hungwine/model.conf"
export WINEPATH="$(winpath "$WORK/bin")" CTLSIM_STATE="$(winpath "$WORK/state")" \
  CTLSIM_HOME="$(winpath "$WORK/home")" CTLSIM_HANG_LIMIT=300
unset CTLSIM_TIME_SCALE

# Live (not zombie) clients of this test's controller.
live_clients() { ps -eo stat=,args= | awk '$1 !~ /^Z/ && /hungwin[e] -l root/' | grep -c .; }

wine_kestrel -c -F -C 4 -f hungwine
check "status 0" [ "$rc" -eq 0 ]
check "kill reported after the hung command" \
  bash -c "grep -A1 -xF '=-=-=-=-=-= CONFIG hungwine PRESTATS =-=-=-=-=-= sysconfig -av' '$WORK/out' | grep -qE '^Killing process tree at PID: [0-9]+\.\.\.$'"
check "kill recorded in the log" grep -qE ' : Successfully killed process tree at root PID: [0-9]+$' "$WORK/out"
seconds=$(sed -n 's/^EXE-TIME of: sysconfig -av : \([0-9]*\) seconds$/\1/p' "$WORK/out")
check "bounded by -C" [ -n "$seconds" ] && [ "$seconds" -lt 15 ]
check "next command ran" grep -qxF '=-=-=-=-=-= CONFIG hungwine PRESTATS =-=-=-=-=-= dns info' "$WORK/out"
check "hung client gone" [ "$(live_clients)" -eq 0 ]
finish
