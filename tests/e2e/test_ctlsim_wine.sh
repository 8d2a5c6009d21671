#!/usr/bin/env bash
# ctlsim.exe under Wine: the Windows build installs copies under the client
# names, answers, keeps state and logs like the native one. Skipped when
# there is no Windows build (CTLSIM_WIN_BIN, or build-win/ctlsim.exe in the
# source tree) or no wine.
set -u

source "$(dirname "$0")/ctlsim_lib.sh"
ctlsim_wine_setup

run wine "$win_bin" install "$(winpath "$work/bin")"
check "install: status" "0" "$rc"
check "install: copies under both spellings of the client names" \
  "plink plink.exe rsh rsh.exe ssh ssh.exe" \
  "$(find "$work/bin" -type f -printf '%f\n' | sort | tr '\n' ' ' | sed 's/ $//')"

sim sim1 " version "
check "rsh.exe: version" "Corvex Release 7.3.5: Fri Nov 2 2012" "$out"
check "rsh.exe: log args" "sim1|-l|root|-n| version " "$(last_log sim1 | cut -f6- | tr '\t' '|')"
run wine "$work/bin/plink.exe" -ssh -x -a -batch -l root sim2 "priv set -q diag ; registry walk options.vols "
check "plink.exe: privilege words and registry" "options.vols.vol1.replisynced=off" \
  "$(printf '%s\n' "$out" | grep replisynced=off)"
touch "$work/key"
run wine "$work/bin/ssh.exe" -o BatchMode=yes -2 -ax -i "$(winpath "$work/key")" -l  root sim1 " hostname "
check "ssh.exe with a Windows key path" "sim1" "$out"
run wine "$work/bin/ssh.exe" -o BatchMode=yes -2 -ax -i 'C:\no\such\key' -l  root sim1 " hostname "
check "ssh.exe missing key: status" "255" "$rc"
sim nosuch " version "
check "unknown controller: status" "1" "$rc"
check "unknown controller: no reply" "" "$out"

sim sim1 " ls /etc/log "
check "ls on standard error" "" "$out"
check_has "ls entries" "messages" "$errs"
sim sim1 " stats start -I kestrel_vol volume"
sim sim1 " stats stop -I kestrel_vol"
check "stats stop after start" "StatisticsID: kestrel_vol" "$(printf '%s\n' "$out" | head -n 1)"
sim sim1 " prof reset ; prof on  "
sim sim1 " prof off ; prof dump  "
sim sim1 " ls / "
check_has "prof dump leaves a gmon file" "gmon.1.flat" "$errs"
sim sim1 " sysstat -c 2 1"
check "sysstat rows" "3" "$(printf '%s\n' "$out" | wc -l | tr -d ' ')"
check "log: one line per invocation" "10" "$(wc -l <"$work/state/sim1/invocations.log" | tr -d ' ')"

ctlsim_finish
