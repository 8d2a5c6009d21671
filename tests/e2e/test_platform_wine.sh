#!/usr/bin/env bash
# kestrel.exe under Wine: a leftover scratch folder of the same process id
# (Wine reuses ids all the time) is emptied before the run uses it, and the
# lines of taskkill reach the report after "Killing process tree at PID".
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

# Wine puts its own temp folder in place of "tmp"; the prefix is shared with
# other runs, so leftovers are planted only under ids not in use now, and
# taken away again without touching a folder another run has taken over.
win_tmp=$(wine cmd /c 'echo %tmp%' 2>/dev/null | tr -d '\r')
scratch="$(winepath -u "$win_tmp" 2>/dev/null | tr -d '\r')"
scratch="${scratch%/}/kestrel"
mkdir -p "$scratch"
marker="stale_e2e_$$.txt"
planted=$(cd "$scratch" && for id in $(seq 4 4 8192); do [ -e "$id" ] || echo "$id"; done)
(cd "$scratch" && xargs mkdir <<<"$planted" && sed "s|\$|/$marker|" <<<"$planted" | xargs touch)
unplant() {
  (cd "$scratch" && sed "s|\$|/$marker|" <<<"$planted" | xargs rm -f &&
    xargs rmdir 2>/dev/null <<<"$planted")
  rm -rf "$WORK"
}
trap unplant EXIT

# wine_kestrel, in the background: the folder is looked at while it runs.
(cd "$WORK" && wine "$KESTREL_EXE" -c -F -d -C 4 -f hungwine >"$WORK/out.crlf" 2>"$WORK/err.crlf") &
run=$!
# The run's id, from its set-up line, then its folder once set-up is done
# (Wine may take a minute to start on a loaded machine).
id=
for _ in $(seq 1800); do
  id=$(tr -d '\r' <"$WORK/err.crlf" 2>/dev/null |
    sed -n 's/^DEBUG: Setting temp dir to: ".*\\kestrel\\\([0-9]*\)\\"$/\1/p')
  [ -n "$id" ] && [ -f "$scratch/$id/error.log" ] && break
  sleep 0.1
done
check "run folder set up" [ -n "$id" ] && [ -f "$scratch/$id/error.log" ]
# Another Wine run may take the same id once this one is done: a file of our
# own tells this run's folder from a later one of the same name.
mark="$scratch/$id/e2e_mark_$$"
touch "$mark"
if grep -qx "$id" <<<"$planted"; then
  check "leftover emptied before use" [ ! -e "$scratch/$id/$marker" ]
else
  echo "note: id $id was in use before the run; leftover check not made" >&2
fi
wait "$run"
rc=$?
tr -d '\r' <"$WORK/out.crlf" >"$WORK/out"

check "status 0" [ "$rc" -eq 0 ]
check "taskkill's lines follow the kill line" \
  bash -c "grep -A1 -E '^Killing process tree at PID: [0-9]+\.\.\.$' '$WORK/out' | tail -1 | grep -qi 'taskkill\|success\|error'"
check "kill recorded in the log" grep -qE ' : Successfully killed process tree at root PID: [0-9]+$' "$WORK/out"
check "run folder removed" [ ! -e "$mark" ]
if [ "$failed" -ne 0 ]; then
  echo "--- status $rc; standard error:" >&2
  tr -d '\r' <"$WORK/err.crlf" | tail -40 >&2
  echo "--- report around the kill:" >&2
  grep -a -B3 -A6 'Killing process tree' "$WORK/out" >&2
fi
finish
