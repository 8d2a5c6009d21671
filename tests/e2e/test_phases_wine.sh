#!/usr/bin/env bash
# kestrel.exe under Wine, one full iteration against two ctlsim.exe
# controllers (7.3.5 in all-objects stats mode, 7.2 in legacy mode, each with
# virtual controllers): the report's skeleton and the sections that show the
# catalogues, the template expansion and both stats modes at work.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/skeleton_lib.sh"
wine_setup

sim_exe=${CTLSIM_WIN_BIN:-$(dirname "$KESTREL_EXE")/ctlsim.exe}
[ -f "$sim_exe" ] || { echo "SKIP: no ctlsim.exe" >&2; exit 77; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine "$sim_exe" install "$(winpath "$WORK/bin")" >/dev/null 2>&1
mkdir -p "$WORK/home/models/old72"
printf '%s\n' "release = Corvex Release 7.2: Mon Jan 7 2008" "licenses = nfs, fcp, zonepack" \
  "vzones = vza:/vol/vzaroot" >"$WORK/home/models/old72/model.conf"
export WINEPATH="$(winpath "$WORK/bin")" CTLSIM_STATE="$(winpath "$WORK/state")" \
  CTLSIM_HOME="$(winpath "$WORK/home")"
unset CTLSIM_TIME_SCALE CTLSIM_HANG_LIMIT
remotes() { cut -f5 "$WORK/state/$1/invocations.log" 2>/dev/null | tr -d '\r'; }

# has MARKER: the report holds that marker line.
has() { grep -qxF -- "$1" "$WORK/out"; }

wine_kestrel -t 0 -f sim1 -f old72
host=$(sed -n 's/^SOURCE_HOST_NAME,    //p' "$WORK/out")
check "status 0" [ "$rc" -eq 0 ]
check "host name known" [ -n "$host" ]
check_structure "marker skeleton" "$(two_controller_skeleton "$host")"
check "error log is the last section" [ "$(markers | tail -1)" = "=-=-=-=-=-= CONFIG $host POSTSTATS =-=-=-=-=-= ERROR LOG" ]

# Sections of both catalogues, the host and the templates.
check "sim1 CONFIG command" has "=-=-=-=-=-= CONFIG sim1 PRESTATS =-=-=-=-=-= exportfs"
check "old72 release row" has "=-=-=-=-=-= PERF old72 PRESTATS =-=-=-=-=-= netstat -na"
check "host command" has "=-=-=-=-=-= CONFIG $host PRESTATS =-=-=-=-=-= ipconfig /all"
check "path template" has "=-=-=-=-=-= CONFIG sim1:[VZ]:vz1 PRESTATS =-=-=-=-=-= rdfile /vol/vz1root/etc/exports"
check "name template" has "=-=-=-=-=-= PERF old72:[VZ]:vza POSTSTATS =-=-=-=-=-= vzone run vza nfsstat -l"
check "controller got the expansion" grep -qxF ' rdfile /vol/vzaroot/etc/exports ' <<<"$(remotes old72)"

# All-objects mode: one instance, its per-object sections, the raw file.
check "instance started" grep -qxE '=-=-=-=-=-= PERF sim1 PRESTATS =-=-=-=-=-= stats start -I kestrel_stats_[0-9]+' "$WORK/out"
check "per-object section" has "=-=-=-=-=-= PERF sim1 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_vol"
check "zero-padded delta" grep -qxE 'TIME_DELTA: [0-9]{2}:[0-9]{2} \([0-9]+s\)' \
  <<<"$(grep -xF -A2 '=-=-=-=-=-= PERF sim1 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_vol' "$WORK/out" | tail -1)"
check "raw file dumped" has "=-=-=-=-=-= PERF sim1 POSTSTATS =-=-=-=-=-= stats.out"
check "instance stopped on the controller" [ "$(remotes sim1 | grep -c '^ stats stop -I kestrel_stats_[0-9]* $')" -eq 1 ]

# Legacy mode: TIME on the start, TIME and an unpadded delta on the stop.
check "legacy start timed" grep -qE '^TIME: ' \
  <<<"$(grep -xF -A1 '=-=-=-=-=-= PERF old72 PRESTATS =-=-=-=-=-= stats start -I kestrel_vol volume' "$WORK/out" | tail -1)"
check "legacy stop delta" grep -qxE 'TIME_DELTA: [1-9]?[0-9]:[1-5]?[0-9] \([0-9]+s\)' \
  <<<"$(grep -xF -A2 '=-=-=-=-=-= PERF old72 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_vol volume' "$WORK/out" | tail -1)"
check "no command killed" bash -c "! grep -q '^Killing process tree' '$WORK/out'"
finish
