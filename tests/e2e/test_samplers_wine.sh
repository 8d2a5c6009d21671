#!/usr/bin/env bash
# kestrel.exe under Wine, one iteration of -t 1 against two ctlsim.exe
# controllers: the controllers' sampler files with their stamps, the host
# counter files (Wine knows only some counters: either a table or the
# sampler's messages), and no client left running afterwards.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
wine_setup

sim_exe=${CTLSIM_WIN_BIN:-$(dirname "$KESTREL_EXE")/ctlsim.exe}
[ -f "$sim_exe" ] || { echo "SKIP: no ctlsim.exe" >&2; exit 77; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine "$sim_exe" install "$(winpath "$WORK/bin")" >/dev/null 2>&1
for name in w1 w2; do mkdir -p "$WORK/home/models/$name"; done
echo "vzones =" >"$WORK/home/models/w1/model.conf"
printf '%s\n' "release = Corvex Release 7.2: Mon Jan 7 2008" "processors = 1" \
  "licenses = nfs, fcp" "vzones =" "vifs = trunk0" >"$WORK/home/models/w2/model.conf"
export WINEPATH="$(winpath "$WORK/bin")" CTLSIM_STATE="$(winpath "$WORK/state")" \
  CTLSIM_HOME="$(winpath "$WORK/home")" CTLSIM_HANG_LIMIT=600
unset CTLSIM_TIME_SCALE

# Live (not zombie) clients of this test's controllers.
live_clients() { ps -eo stat=,args= | awk '$1 !~ /^Z/ && / w[12] -l roo[t]/' | grep -c .; }

wine_kestrel -t 1 -V -f w1 -f w2
host=$(sed -n 's/^SOURCE_HOST_NAME,    //p' "$WORK/out")
check "status 0" [ "$rc" -eq 0 ]
check "w1 sampler files" \
  [ "$(dumped_files . w1 | grep -vx stats.out | tr '\n' ' ')" = "sysstat.out sysstatM.out protocol_stats.out domain_stats.out lun_stats.out vifstat_vif0.out vifstat_vif1.out statit.out " ]
check "w2 sampler files" \
  [ "$(dumped_files . w2 | grep -vE '^stats' | tr '\n' ' ')" = "sysstat.out protocol_stats.out lun_stats.out vifstat_trunk0.out statit.out " ]
sysstat=$(sampler_file . w1 sysstat.out)
check "sysstat between two stamps" stamped "$sysstat"
check "sysstat complete" [ "$(sysstat_rows "$sysstat")" -eq 58 ]
check "statit reports" grep -q '^Hostname: w2 ' <<<"$(sampler_file . w2 statit.out)"
vif=$(sampler_file . w1 vifstat_vif0.out)
took=$(($(stamp_seconds "$(tail -1 <<<"$vif")") - $(stamp_seconds "$(head -1 <<<"$vif")")))
check "vif stat killed at the job's time-out" within "$took" 64 80
check "vif stat: the kill told in its file" \
  grep -qE '^Killing process tree at PID: [0-9]+\.\.\.$' <<<"$vif"
killed_pid=$(sed -nE 's/^Killing process tree at PID: ([0-9]+)\.\.\.$/\1/p' <<<"$vif" | head -1)
check "vif stat: the kill in the error log" \
  grep -qE " : Successfully killed process tree at root PID: ${killed_pid:-none}\$" "$WORK/out"

check "host counter files" [ "$(dumped_files . "$host" | grep perfmon | tr '\n' ' ')" = "system_perfmon.out ldisk_perfmon.out " ]
system=$(sampler_file . "$host" system_perfmon.out)
check "system counters: stamped" stamped "$system"
check "system counters: legend and header, or the sampler's message" \
  bash -c "grep -q '^   %usr '\$'\t''== ' <<<\"\$1\" || grep -q '^Perfmon: ' \"\$2\"" _ "$system" "$WORK/err"
# A counter Wine does not know is told in the sampler's own file.
if grep -q 'PdhAddCounter returns' "$WORK/out"; then
  check "system counters: the failed counters told in their file" \
    grep -q '^"\\.*" is not a valid counter path$' <<<"$system"
fi
check "logical disks: stamped" stamped "$(sampler_file . "$host" ldisk_perfmon.out)"
check "the wait did not run out" bash -c "! grep -q WARNING '$WORK/err'"
# The samplers' kills say nothing in the report but their own lines.
check "no taskkill text in the report" \
  bash -c "! grep -qiE 'taskkill|^SUCCESS: |invalid command line option' '$WORK/out'"
check "no client left running" [ "$(live_clients)" -eq 0 ]
finish
