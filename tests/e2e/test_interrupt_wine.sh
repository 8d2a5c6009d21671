#!/usr/bin/env bash
# kestrel.exe under Wine: SIGINT sent to the Wine process reaches it as
# CTRL_C_EVENT. One interrupt during the sampling wait against ctlsim.exe:
# the owed poststats with the samplers' files, the error-log section last, the
# scratch folder removed and no client left running.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
wine_setup

sim_exe=${CTLSIM_WIN_BIN:-$(dirname "$KESTREL_EXE")/ctlsim.exe}
[ -f "$sim_exe" ] || { echo "SKIP: no ctlsim.exe" >&2; exit 77; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine "$sim_exe" install "$(winpath "$WORK/bin")" >/dev/null 2>&1
mkdir -p "$WORK/home/models/i1"
echo "vzones =" >"$WORK/home/models/i1/model.conf"
export WINEPATH="$(winpath "$WORK/bin")" CTLSIM_STATE="$(winpath "$WORK/state")" \
  CTLSIM_HOME="$(winpath "$WORK/home")" CTLSIM_HANG_LIMIT=600
unset CTLSIM_TIME_SCALE

live_clients() { ps -eo stat=,args= | awk '$1 !~ /^Z/ && / i1 -l roo[t]/' | grep -c .; }

# A background job of a script starts with SIGINT ignored; env gives it back.
(cd "$WORK" && exec env --default-signal=INT wine "$KESTREL_EXE" -t 1 -V -f i1 \
  >"$WORK/out.crlf" 2>"$WORK/err.crlf") &
pid=$!
for ((i = 0; i < 1200; i++)); do
  grep -aq 'Sleep for 1 minute' "$WORK/err.crlf" 2>/dev/null && break
  sleep 0.1
done
sleep 5
kill -INT "$pid"
wait "$pid"
tr -d '\r' <"$WORK/out.crlf" >"$WORK/out"
tr -d '\r' <"$WORK/err.crlf" >"$WORK/err"

check "the handler ran" grep -qx 'Woke between prestats and poststats- attempting poststats' "$WORK/err"
check "ended with Done!" [ "$(tail -1 "$WORK/err")" = "Done!" ]
check "poststats of the controller" \
  [ "$(markers | grep -c '^=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= i1$')" = 1 ]
check "the samplers' files" \
  [ "$(dumped_files . i1 | grep -vx stats.out | tr '\n' ' ')" = "sysstat.out sysstatM.out protocol_stats.out domain_stats.out lun_stats.out vifstat_vif0.out vifstat_vif1.out statit.out " ]
check "the error-log section last" grep -q ' ERROR LOG$' <<<"$(markers | tail -1)"
check "caught in the error log" grep -aq ' : Kestrel caught signal; quitting\.\.\.$' "$WORK/out"
check "no execution statistics" bash -c "! grep -aq 'Total Running Time' '$WORK/out'"
# The run's scratch folder, C:\users\...\Temp\kestrel\<pid>, as the report names it.
folder=$(grep -aoE '\\Temp\\kestrel\\[0-9]+\\' "$WORK/out" | head -1 | tr '\\' '/')
check "the report names the scratch folder" [ -n "$folder" ]
check "scratch folder removed" bash -c "! ls -d \"$WINEPREFIX\"/drive_c/users/*$folder 2>/dev/null | grep -q ."
sleep 1
check "no client left running" [ "$(live_clients)" -eq 0 ]
finish
