#!/usr/bin/env bash
# Names read from a controller's replies reach command lines and file paths:
# every listing the run reads gets a planted hostile name, and none of them
# may run anything on the host or leave the scratch folder.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

long_name=$(printf 'v%.0s' $(seq 1 2000))
model evil 'release = Corvex Release 7.1.1: Mon Jan 1 2007' \
  'licenses = nfs, cifs, zonepack, replisync' \
  "vzones = vz1:/vol/vz1root, vz\$(touch\${IFS}PWNED_VZ):/vol/r2, vz3:/vol/\$(touch\${IFS}PWNED_ROOT), $long_name:/vol/r4" \
  'vifs = vif0, v";touch${IFS}PWNED_VIF;", ../../esc' \
  'volumes = vol0, vol1' \
  'options_vols = vol0:off, v`touch${IFS}PWNED_VOL`:off'
logs="$WORK/home/models/evil/files/etc/log"
mkdir -p "$logs"
for name in messages 'x";touch${IFS}PWNED_LOG;"' '$(touch${IFS}PWNED_LOG2)' "a'b" '..' 'c&d|e'; do
  [ "$name" = ".." ] || echo "log $name" >"$logs/$name"
done

kestrel -f evil -t 0 -L -F
check "run ends normally" [ "$rc" -eq 0 ]
check "nothing planted ran" [ -z "$(find "$WORK" -name 'PWNED*' -print -quit)" ]
check "plain log copied" grep -q 'rdfile /etc/log/messages$' "$WORK/out"
check "hostile log name left out" grep -q 'log file "x\";touch\${IFS}PWNED_LOG;\"" holds characters' "$WORK/err"
check "hostile vzone left out" grep -q 'virtual controller "vz\$(touch\${IFS}PWNED_VZ)"' "$WORK/err"
check "hostile root path left out" grep -q 'root path "/vol/\$(touch' "$WORK/err"
check "overlong vzone left out once" [ "$(grep -c 'virtual controller names longer than 1023' "$WORK/err")" -eq 1 ]
check "hostile vif left out" grep -q 'virtual interface "v\";touch' "$WORK/err"
check "vif path escape left out" grep -q 'virtual interface "../../esc"' "$WORK/err"
check "hostile volume left out" grep -q 'volume "v`touch' "$WORK/err"
check "plain vzone kept" grep -q 'vz1' "$WORK/out"
no_pwned_remote() { ! remotes evil | grep -q PWNED; }
check "no hostile text in any command the controller received" no_pwned_remote
check "scratch folder removed" temp_root_is_empty
finish
