#!/usr/bin/env bash
# kestrel.exe under Wine with --parallel: two ctlsim.exe controllers collected
# side by side frame the same sections and commands in the same order as one
# after the other, every command's output in its own controller's place; and a command killed at the time-out is reported inside its
# controller's section. Performance data only, to keep Wine's time in check.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/skeleton_lib.sh"
none() { ! grep -qE -- "$1"; }
wine_setup

sim_exe=${CTLSIM_WIN_BIN:-$(dirname "$KESTREL_EXE")/ctlsim.exe}
[ -f "$sim_exe" ] || { echo "SKIP: no ctlsim.exe" >&2; exit 77; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine "$sim_exe" install "$(winpath "$WORK/bin")" >/dev/null 2>&1
mkdir -p "$WORK/home/models/old72" "$WORK/home/models/slow1"
printf '%s\n' "release = Corvex Release 7.2: Mon Jan 7 2008" "licenses = nfs, fcp, zonepack" \
  "vzones = vza:/vol/vzaroot" >"$WORK/home/models/old72/model.conf"
printf '%s\n' "vzones =" "vifs =" "fault:httpstat = hang" >"$WORK/home/models/slow1/model.conf"
export WINEPATH="$(winpath "$WORK/bin")" CTLSIM_STATE="$(winpath "$WORK/state")" \
  CTLSIM_HOME="$(winpath "$WORK/home")" CTLSIM_HANG_LIMIT=120
unset CTLSIM_TIME_SCALE CTLSIM_LATENCY

# framing FILE: the report's marker and EXE-TIME lines up to the error log,
# time stamps and the stats instance's number taken off (counter values
# differ from run to run).
framing() {
  grep -aE '^=-=-=-=-=-= |^EXE-TIME of: ' "$1" |
    sed -E 's/ [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]{2} [0-9:]{8} GMT [0-9]{4}$//
      s/ : [0-9]+ seconds$//; s/kestrel_stats_[0-9]+/kestrel_stats_N/g
      s/\\kestrel\\[0-9]+\\/\\kestrel\\N\\/g' |
    awk '/ ERROR LOG$/ { exit } { print }'
}

wine_kestrel -F -t 0 -p -f sim1 -f old72
mv "$WORK/out" "$WORK/serial"
check "serial: status 0" [ "$rc" -eq 0 ]
wine_kestrel -F -t 0 -p --parallel=2 -f sim1 -f old72
check "parallel: status 0" [ "$rc" -eq 0 ]
check "parallel: said so" grep -q 'Collecting up to 2 controllers at a time' "$WORK/err"
check "parallel: no interpreter complaint" none 'violation|FATAL' <"$WORK/err"
check "same sections and commands, in the same order" diff <(framing "$WORK/serial") <(framing "$WORK/out")
check "every controller's sections present" [ "$(grep -c '^=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= ' "$WORK/out")" -eq 5 ]
check "scratch folder removed" temp_root_is_empty

# A hung command on one controller: killed at -C, reported in its section.
wine_kestrel -F -t 0 -p -V -C 5 --parallel=2 -f slow1 -f sim1
check "hung: status 0" [ "$rc" -eq 0 ]
killed_in=$(awk '/^=-=-=-=-=-= / { section = $0 } /^Killing process tree at PID/ { print section; exit }' "$WORK/out")
check "hung: the kill is reported in the hung command's section" \
  [ "$killed_in" = "=-=-=-=-=-= PERF slow1 PRESTATS =-=-=-=-=-= httpstat" ]
check "hung: sim1 collected whole after slow1" [ "$(structure | grep -c ' sim1$')" -eq 4 ]
check "hung: controllers in command-line order" \
  [ "$(structure | grep -E 'BEGIN PRESTATS .* (slow1|sim1)$' | awk '{ print $NF }' | tr '\n' ' ')" = "slow1 sim1 " ]
finish
