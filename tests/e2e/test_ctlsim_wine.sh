#!/usr/bin/env bash
# ctlsim.exe under Wine: the Windows build installs copies under the client
# names, answers, keeps state and logs like the native one. Skipped when
# there is no Windows build (CTLSIM_WIN_BIN, or build-win/ctlsim.exe in the
# source tree) or no wine.
set -u

win_bin=${CTLSIM_WIN_BIN:-${KESTREL_SOURCE:-.}/build-win/ctlsim.exe}
if [ ! -f "$win_bin" ] || ! command -v wine >/dev/null 2>&1; then
  echo "no Windows build of ctlsim or no wine: skipped"
  echo "0 passed, 0 failed, 1 skipped"
  exit 0
fi
win_bin=$(cd "$(dirname "$win_bin")" && pwd)/$(basename "$win_bin")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
export CTLSIM_STATE=$(winpath "$work/state") CTLSIM_HOME=$(winpath "$work/home")
unset CTLSIM_TIME_SCALE CTLSIM_HANG_LIMIT

passed=0
failed=0
check() {  # name expected actual
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL: %s\n  expected: [%s]\n  actual:   [%s]\n' "$1" "$2" "$3"
  fi
}
check_has() {  # name needle text
  case "$3" in
    *"$2"*) passed=$((passed + 1)) ;;
    *) failed=$((failed + 1)); printf 'FAIL: %s\n  [%s] not in:\n%s\n' "$1" "$2" "$3" ;;
  esac
}
# Output with the Windows line ends taken off.
run() {
  "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(tr -d '\r' <"$work/out")
  errs=$(tr -d '\r' <"$work/err")
}
last_log() { tail -n 1 "$work/state/$1/invocations.log"; }

run wine "$win_bin" install "$(winpath "$work/bin")"
check "install: status" "0" "$rc"
check "install: copies under the client names" "plink.exe rsh.exe ssh.exe" \
  "$(find "$work/bin" -type f -printf '%f\n' | sort | tr '\n' ' ' | sed 's/ $//')"

run wine "$work/bin/rsh.exe" sim1 -l root -n " version "
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
run wine "$work/bin/rsh.exe" nosuch -l root -n " version "
check "unknown controller: status" "1" "$rc"
check "unknown controller: no reply" "" "$out"

run wine "$work/bin/rsh.exe" sim1 -l root -n " ls /etc/log "
check "ls on standard error" "" "$out"
check_has "ls entries" "messages" "$errs"
run wine "$work/bin/rsh.exe" sim1 -l root -n " stats start -I kestrel_vol volume"
run wine "$work/bin/rsh.exe" sim1 -l root -n " stats stop -I kestrel_vol"
check "stats stop after start" "StatisticsID: kestrel_vol" "$(printf '%s\n' "$out" | head -n 1)"
run wine "$work/bin/rsh.exe" sim1 -l root -n " prof reset ; prof on  "
run wine "$work/bin/rsh.exe" sim1 -l root -n " prof off ; prof dump  "
run wine "$work/bin/rsh.exe" sim1 -l root -n " ls / "
check_has "prof dump leaves a gmon file" "gmon.1.flat" "$errs"
run wine "$work/bin/rsh.exe" sim1 -l root -n " sysstat -c 2 1"
check "sysstat rows" "3" "$(printf '%s\n' "$out" | wc -l | tr -d ' ')"
check "log: one line per invocation" "10" "$(wc -l <"$work/state/sim1/invocations.log" | tr -d ' ')"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
