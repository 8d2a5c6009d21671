#!/usr/bin/env bash
# kestrel.exe under Wine against ctlsim.exe: the client command line through
# CreateProcess and cmd.exe, its quoting and refusals, and a controller that
# does not answer.
source "$(dirname "$0")/lib.sh"
wine_setup

sim_exe=${CTLSIM_WIN_BIN:-$(dirname "$KESTREL_EXE")/ctlsim.exe}
[ -f "$sim_exe" ] || { echo "SKIP: no ctlsim.exe" >&2; exit 77; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine "$sim_exe" install "$(winpath "$WORK/bin")" >/dev/null 2>&1
export WINEPATH="$(winpath "$WORK/bin")" CTLSIM_STATE="$(winpath "$WORK/state")"
unset CTLSIM_HOME CTLSIM_TIME_SCALE CTLSIM_HANG_LIMIT
sim_log() { cut -f3- "$WORK/state/$1/invocations.log" 2>/dev/null | tr -d '\r'; }
forget() { rm -rf "$WORK/state"; }
T=$'\t'

# The run folder named in the debug output no longer exists.
run_folder_removed() {
  local folder
  folder=$(sed -n 's/^DEBUG: Setting temp dir to: "\(.*\)"$/\1/p' "$WORK/err")
  [ -n "$folder" ] && [ ! -e "$(winpath_u "$folder")" ]
}
winpath_u() { winepath -u "$1" 2>/dev/null; }

forget
wine_kestrel -c -f sim1
check "rsh: status 0" [ "$rc" -eq 0 ]
check "rsh: client arguments" \
  [ "$(sim_log sim1 | head -1)" = "rsh.exe${T}ok${T} version ${T}sim1${T}-l${T}root${T}-n${T} version " ]
check "rsh: release line" grep -qx $'FILEROS,\tsim1,\tMERIX7.3.5' "$WORK/out"

# Blanks and cmd.exe's operators reach the client inside quotes.
pw='p w&x|y<z>^;'
forget
wine_kestrel -x -d -f sim2 -S "pw:$pw" -l "my user"
check "quoted: status 0" [ "$rc" -eq 0 ]
check "quoted: values intact" \
  [ "$(sim_log sim2 | head -1)" = "plink.exe${T}ok${T} version ${T}-ssh${T}-x${T}-a${T}-batch${T}-pw${T}$pw${T}-l${T}my user${T}sim2${T} version " ]
check "quoted: masked prefix" grep -qxF 'DEBUG: Using RSH/SSH command: plink.exe -ssh -x -a -batch -pw "************" -l "my user" sim2 ' "$WORK/err"
check "quoted: privilege words on mem_stats" \
  [ "$(sim_log sim2 | sed -n 3p | cut -f3)" = "priv set -q diag ; mem_stats -b " ]
check "quoted: password not in report" bash -c "! grep -qF -- '$pw' '$WORK/out'"

# A double quote or a percent sign cannot pass cmd.exe intact: refused.
forget
wine_kestrel -c -d -f sim1 -S 'pw:a"b'
check "double quote: status 1" [ "$rc" -eq 1 ]
check "double quote: message" grep -q '^ERROR: Controller sim1: the password given with -S pw: holds a character' "$WORK/err"
check "double quote: nothing contacted" [ -z "$(sim_log sim1)" ]
check "double quote: run folder removed" run_folder_removed
forget
wine_kestrel -c -f sim1 -l '%PATH%'
check "percent sign: status 1" [ "$rc" -eq 1 ]
check "percent sign: message" grep -q '^ERROR: Controller sim1: the login given with -l holds a character' "$WORK/err"

# An unknown controller ends the run; later ones are untried.
forget
wine_kestrel -c -d -f nosuch -f sim1
check "unreachable: status 1" [ "$rc" -eq 1 ]
check "unreachable: message" grep -qx 'RSH to filer nosuch fails! Quitting.' "$WORK/err"
check "unreachable: later controller untried" [ -z "$(sim_log sim1)" ]
check "unreachable: run folder removed" run_folder_removed
finish
