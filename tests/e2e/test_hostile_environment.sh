#!/usr/bin/env bash
# The host's name and the temp root come from the environment; names that
# would run a command or reach outside the scratch folder are refused before
# anything is made.
source "$(dirname "$0")/lib.sh"

# env_kestrel VAR=VALUE... -- ARGS...: kestrel with a changed environment.
env_kestrel() {
  local assignments=()
  while [ "$1" != "--" ]; do assignments+=("$1"); shift; done
  shift
  (cd "$WORK" && env "${assignments[@]}" "$KESTREL_BIN" "$@" >"$WORK/out" 2>"$WORK/err")
  rc=$?
}

mkdir -p "$WORK/victim" && touch "$WORK/victim/keep"
for name in 'h$(touch${IFS}PWNED)' '../../victim' '..' 'a b' 'h;touch PWNED2' 'error.log'; do
  env_kestrel "computername=$name" -- -c -t 0 -x
  check "host name '$name': status 1" [ "$rc" -eq 1 ]
  check "host name '$name': FATAL" grep -q '^FATAL: Invalid host name ".*" in env var computername' "$WORK/err"
  check "host name '$name': nothing made" [ -z "$(ls -A "$tmp")" ]
done
check "no command ran" [ -z "$(find "$WORK" -name 'PWNED*' -print -quit)" ]
check "folder outside untouched" [ -f "$WORK/victim/keep" ]

# An empty tmp counts as unset: the run goes to TMPDIR, never to /kestrel*.
mkdir -p "$WORK/alt"
env_kestrel "tmp=" "TMPDIR=$WORK/alt" -- -c -t 0 -x -d
check "empty tmp: run ends normally" [ "$rc" -eq 0 ]
check "empty tmp: the scratch folder is under TMPDIR" \
  grep -q "^DEBUG: Setting temp dir to: \"$WORK/alt/kestrel-$(id -u)/" "$WORK/err"

# A controller named like one of the run's own files would share its place.
kestrel -f tmp.out -t 0 -x
check "controller tmp.out: refused" [ "$rc" -eq 1 ]
check "controller tmp.out: message" grep -q '^ERROR: Invalid controller name "tmp.out"' "$WORK/err"
check "scratch folder removed" temp_root_is_empty
finish
