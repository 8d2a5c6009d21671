#!/usr/bin/env bash
# kestrel.exe under Wine, one iteration of -t 1 with the complete profile and
# the default trace points against a ctlsim.exe controller: the profile copy
# in gmon\ and the trace folder hold the controller's files, the capture log
# is printed in poststats, and no client is left running.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
wine_setup

sim_exe=${CTLSIM_WIN_BIN:-$(dirname "$KESTREL_EXE")/ctlsim.exe}
[ -f "$sim_exe" ] || { echo "SKIP: no ctlsim.exe" >&2; exit 77; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine "$sim_exe" install "$(winpath "$WORK/bin")" >/dev/null 2>&1
mkdir -p "$WORK/home/models/wp1"
printf '%s\n' "vzones =" "vifs =" >"$WORK/home/models/wp1/model.conf"
export WINEPATH="$(winpath "$WORK/bin")" CTLSIM_STATE="$(winpath "$WORK/state")" \
  CTLSIM_HOME="$(winpath "$WORK/home")" CTLSIM_HANG_LIMIT=600
unset CTLSIM_TIME_SCALE
# A profile file of an earlier run: /gmon.1.old.
wine rsh.exe wp1 -l root -n " prof reset ; prof on old ; prof off ; prof dump " >/dev/null 2>&1

live_clients() { ps -eo stat=,args= | awk '$1 !~ /^Z/ && / wp1 -l roo[t]/' | grep -c .; }
remotes() { cut -f5 "$WORK/state/wp1/invocations.log" 2>/dev/null | tr -d '\r'; }

wine_kestrel -t 1 -F -V -P flat -T default -f wp1
check "status 0" [ "$rc" -eq 0 ]
check "old profile file removed" grep -qx ' rm /gmon.1.old ' <<<"$(remotes)"
check "old profile file never copied" bash -c "! grep -q 'rdfile /gmon.1.old' '$WORK/state/wp1/invocations.log'"
check "profiler switched on with the empty domain" grep -qx ' prof reset ; prof on  ' <<<"$(remotes)"
copy=$(cd "$WORK/gmon" 2>/dev/null && ls | grep -E '^wp1_[0-9]+_1_gmon\.2\.flat$')
check "profile copied into gmon\\" [ -n "$copy" ]
check "profile copy holds the controller's file" \
  grep -q '^gmon profile of wp1, domain flat' "$WORK/gmon/${copy:-none}"
info=$(tr -d '\r' <"$WORK/gmon/wp1_1_profile_info.txt" 2>/dev/null)
check "information file: heading" grep -q '^Capturing profiles: flat on wp1' <<<"$info"
check "information file: the profiler's replies" grep -q '^Profile data written to /gmon.2.flat' <<<"$info"
check "profile removed from the controller after the copy" grep -qx ' rm /gmon.2.flat ' <<<"$(remotes)"

folder=$(cd "$WORK" && ls -d wp1_ITR_1_*_sktrace 2>/dev/null)
check "trace folder made" [ -n "$folder" ]
check "trace dump copied" grep -q '^sktrace of wp1 since' "$WORK/${folder:-none}/wp1_1_sktrace_kestrel"
check "capture log copied" grep -q 'End sktrace on wp1' "$WORK/${folder:-none}/sktrace_info.txt"
check "capture log printed in poststats" grep -q 'Trace dumped to /etc/log/sktrace_kestrel' <<<"$(sampler_file . wp1 sktrace_info.txt)"
check "the wait did not run out" bash -c "! grep -q WARNING '$WORK/err'"
check "no client left running" [ "$(live_clients)" -eq 0 ]
finish
