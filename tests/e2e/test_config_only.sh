#!/usr/bin/env bash
# A config-only capture of the local host: section order (the host's
# configuration exports are its only poststats content), the error log as
# the last section, status 0 and no run folder left behind.
source "$(dirname "$0")/lib.sh"

kestrel -c
check "status 0" [ "$rc" -eq 0 ]
check "header opens the report" [ "$(head -1 "$WORK/out")" = "*------------- Kestrel v7.38 -------------*" ]
check "CONFIG_ONLY set" grep -q '^CONFIG_ONLY,         set,        "TRUE"$' "$WORK/out"

expected=$(cat <<'MARKERS'
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= e2ehost
=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= ip addr show
=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= arp -a
=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= netstat -rn
=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= ls /sys/module
=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= uname -a
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= e2ehost
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= e2ehost
=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= TCP_Params.reg
=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= msinfo_1.out
=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= msinfo_2.out
=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= e2ehost
=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= ERROR LOG
MARKERS
)
check "marker sequence" [ "$(markers)" = "$expected" ]
[ "$(markers)" = "$expected" ] || diff <(echo "$expected") <(markers) >&2

# Every command (five, then the three dumped files) closes its section with
# an empty line, EXE-TIME and epoch.
check "EXE-TIME per command" [ "$(grep -c '^EXE-TIME of: .* : [0-9]* seconds$' "$WORK/out")" -eq 8 ]
check "epoch per command" [ "$(grep -c '^KESTREL_EPOCH: [0-9]*$' "$WORK/out")" -eq 8 ]
check "exports hold the host's data" grep -q '^net.ipv4.tcp_' "$WORK/out"

# The error log section: every command in run order, then the dump itself.
log=$(sed -n '/ERROR LOG$/,$p' "$WORK/out" | tail -n +2)
check "log starts with the temp root" grep -q "^.* GMT [0-9]* : tmp env var set to \"$tmp\"$" <<<"$log"
check "log records each command" [ "$(grep -c ' 2>>"' <<<"$log")" -eq 8 ]
check "log records each export" [ "$(grep -c ' } > ".*/e2ehost/.*" 2> /dev/null$' <<<"$log")" -eq 3 ]
check "log records the dump last" grep -q 'error.log"$' <<<"$(tail -1 <<<"$log")"
check "no performance sections" bash -c "! grep -q '^=-=-=-=-=-= PERF' '$WORK/out'"
check "progress on stderr" grep -q '^Prestats on e2ehost$' "$WORK/err"
check "run folder removed" temp_root_is_empty
finish
