#!/usr/bin/env bash
# Exit statuses and messages of the command line; nothing is created before
# the command line is accepted.
source "$(dirname "$0")/lib.sh"

kestrel
check "no options: status 1" [ "$rc" -eq 1 ]
check "no options: usage on stdout" grep -q '^Usage: (basic options list)$' "$WORK/out"

kestrel -f helpdesk1
check "help anywhere: status 0" [ "$rc" -eq 0 ]
check "help anywhere: usage" grep -q '^Kestrel: Version 7.38 10-2012$' "$WORK/out"

kestrel -v
check "-v: status 0" [ "$rc" -eq 0 ]
check "-v: version line" [ "$(cat "$WORK/err")" = "Kestrel v7.38 (10-2012)" ]

kestrel -q -v
check "-q -v: silent" [ "$rc" -eq 0 -a ! -s "$WORK/err" ]

kestrel -t5
check "-t5: status 1" [ "$rc" -eq 1 ]
check "-t5: syntax message" grep -q "^ERROR: Invalid command line syntax for option: -t5$" "$WORK/err"

kestrel -f -t
check "-f -t: status 1" [ "$rc" -eq 1 ]
check "-f -t: missing value" grep -q "^ERROR: Command line option '-f' requires an additional argument.$" "$WORK/err"

kestrel -Z
check "-Z: status 1" [ "$rc" -eq 1 ]
check "-Z: illegal option" grep -q "^kestrel.exe: illegal option -- Z$" "$WORK/err"

kestrel -k -K
check "-k -K: conflict" grep -q "^ERROR: The -k and -K options are mutually exclusive.$" "$WORK/err"
check "-k -K: status 1" [ "$rc" -eq 1 ]

kestrel -p -c
check "-p -c: conflict" grep -q "^ERROR: The -c and -p options are mutually exclusive.$" "$WORK/err"

kestrel -f 'c1;reboot' -c
check "bad controller name: status 1" [ "$rc" -eq 1 ]
check "bad controller name: message" grep -q '^ERROR: Invalid controller name "c1;reboot"' "$WORK/err"

kestrel -N "Corvex Release 7.2.4P1: Tue"
check "-N: status 0" [ "$rc" -eq 0 ]
check "-N: mapping" grep -q "^Kestrel: MERIX version string Corvex Release 7.2.4P1: Tue mapped to version number 724$" "$WORK/err"

# Refused up front, one after the other or side by side.
for mode in "" --parallel=2; do
  kestrel -t 0 $mode -f a,b -f A
  check "controller twice $mode: status 1" [ "$rc" -eq 1 ]
  check "controller twice $mode: message" grep -q '^ERROR: Controller "a" is named twice with -f (also as "A")' "$WORK/err"
done
kestrel -t 0 -F -f E2EHOST
check "controller named like the host: status 1" [ "$rc" -eq 1 ]
check "controller named like the host: message" grep -q '^ERROR: Controller "E2EHOST" has the name of this host ("e2ehost")' "$WORK/err"

for args in "-C 0" "-t 1x" "-t 0x10" "-i 0" "-i 4,x"; do
  kestrel -f c1 $args
  check "$args: status 1" [ "$rc" -eq 1 ]
  check "$args: refused" grep -q "^ERROR: The ${args%% *} value must be a number" "$WORK/err"
done

check "no run folder was made" temp_root_is_empty

# A relative temp root that reads as an option: the run's folder is still
# removed when the run fails.
mkdir -p -- "$WORK/-rf"
(cd "$WORK" && tmp=-rf "$KESTREL_BIN" -t 0 -F -f nosuch.invalid >"$WORK/out" 2>"$WORK/err")
rc=$?
check "tmp=-rf: the failed run ends with status 1" [ "$rc" -eq 1 ]
check "tmp=-rf: nothing is left behind" [ -z "$(find "$WORK/-rf" -mindepth 2)" ]
finish
