#!/usr/bin/env bash
# kestrel.exe under Wine: version, usage, an option error, a pretend run and a
# config-only capture of the host.
source "$(dirname "$0")/lib.sh"
wine_setup

wine_kestrel -v
check "version: status 0" [ "$rc" -eq 0 ]
check "version line" [ "$(cat "$WORK/err")" = "Kestrel v7.38 (10-2012)" ]

wine_kestrel help
check "usage: status 0" [ "$rc" -eq 0 ]
check "usage: first line" [ "$(head -1 "$WORK/out")" = "Kestrel: Version 7.38 10-2012" ]
check "usage: plink note" grep -q '^    plink and puttygen are available for free download at$' "$WORK/out"
check "usage: line count" [ "$(wc -l <"$WORK/out")" -eq 108 ]

wine_kestrel -t5
check "option error: status 1" [ "$rc" -eq 1 ]
check "option error: message" grep -q '^ERROR: Invalid command line syntax for option: -t5$' "$WORK/err"

wine_kestrel -x -t 1
check "pretend: status 0" [ "$rc" -eq 0 ]
check "pretend: host command echoed" grep -q '^Host: ipconfig /all *$' "$WORK/out"
check "pretend: wait echoed" grep -q '^Sleep: 1 *$' "$WORK/out"

wine_kestrel -c
host=$(sed -n 's/^SOURCE_HOST_NAME,    //p' "$WORK/out")
check "config only: status 0" [ "$rc" -eq 0 ]
check "config only: Windows host" grep -q '^SOURCE_HOST_OS,      Windows_NT$' "$WORK/out"
expected=$(cat <<MARKERS
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= $host
=-=-=-=-=-= CONFIG $host PRESTATS =-=-=-=-=-= ipconfig /all
=-=-=-=-=-= CONFIG $host PRESTATS =-=-=-=-=-= arp -a
=-=-=-=-=-= CONFIG $host PRESTATS =-=-=-=-=-= netstat -rn
=-=-=-=-=-= CONFIG $host PRESTATS =-=-=-=-=-= driverquery
=-=-=-=-=-= CONFIG $host PRESTATS =-=-=-=-=-= ver
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= $host
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= $host
=-=-=-=-=-= CONFIG $host POSTSTATS =-=-=-=-=-= TCP_Params.reg
=-=-=-=-=-= CONFIG $host POSTSTATS =-=-=-=-=-= msinfo_1.out
=-=-=-=-=-= CONFIG $host POSTSTATS =-=-=-=-=-= msinfo_2.out
=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= $host
=-=-=-=-=-= CONFIG $host POSTSTATS =-=-=-=-=-= ERROR LOG
MARKERS
)
check "config only: marker sequence" [ "$(markers)" = "$expected" ]
[ "$(markers)" = "$expected" ] || diff <(echo "$expected") <(markers) >&2
log=$(sed -n '/ERROR LOG$/,$p' "$WORK/out" | tail -n +2)
check "config only: TCP parameters exported" \
  grep -qF 'TCP_Params.reg" "HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters""' "$WORK/out"
check "config only: log holds the cmd lines" grep -q ' : cmd /C "ipconfig /all 2>>".*\\error.log""$' <<<"$log"
check "config only: log ends with the dump" grep -q ' : cmd /C "type ".*\\error.log""$' <<<"$(tail -1 <<<"$log")"
# The dump of the error log names this run's folder, which must be gone.
run_folder=$(tail -1 <<<"$log" | sed -E 's/.*type "(.*)\\error\.log""$/\1/')
run_folder_unix=$(winepath -u "$run_folder" 2>/dev/null)
check "config only: run folder known" [ -n "$run_folder_unix" ]
check "config only: run folder removed" [ ! -e "$run_folder_unix" ]
finish
