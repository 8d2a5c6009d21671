#!/usr/bin/env bash
# A host command that daemonises (a grandchild in a session of its own, and
# one double-forked) is killed at -C with all of it: nothing keeps the report
# pipe open, and the run's scratch folder is per user and removed at the end.
source "$(dirname "$0")/lib.sh"

# A copy of sleep under a name of this test's own, so that survivors can be
# told apart from anything else on the machine.
mkdir -p "$WORK/bin"
daemon="$WORK/bin/kestrel_e2e_daemon"
cp "$(command -v sleep)" "$daemon"

# A stand-in for "arp" that leaves two daemons behind, then hangs.
cat >"$WORK/bin/arp" <<SCRIPT
#!/bin/sh
echo "arp output before the hang"
setsid "$daemon" 300 & echo \$! >> "$WORK/pids"
(setsid sh -c '"$daemon" 300 & echo \$! >> "$WORK/pids"' &)
sleep 300
SCRIPT
chmod +x "$WORK/bin/arp"

# Through a pipe: a surviving daemon would hold it open and the reader would
# wait for it until the outer limit.
(cd "$WORK" && PATH="$WORK/bin:$PATH" timeout 120 sh -c \
  '"$0" -c -C 2 2>"$1" | cat >"$2"' "$KESTREL_BIN" "$WORK/err" "$WORK/out")
rc=$?

survivors() { ps -eo pid=,args= | awk -v p="$daemon" '$2 == p { print $1 }'; }
left=$(survivors)
check "run ended on its own, status 0" [ "$rc" -eq 0 ]
check "two daemons were started" [ "$(wc -l <"$WORK/pids" 2>/dev/null)" -eq 2 ]
check "no daemon survives" [ -z "$left" ]
for pid in $left; do kill -9 "$pid"; done
check "kill reported in the report" grep -q '^Killing process tree at PID: [0-9]*\.\.\.$' "$WORK/out"
check "next command ran" grep -q '^=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= netstat -rn$' "$WORK/out"

parent="$tmp/kestrel-$(id -u)"
check "scratch parent is per user" [ -d "$parent" ]
check "no shared scratch parent" [ ! -e "$tmp/kestrel" ]
check "scratch parent is private" [ "$(stat -c %a "$parent")" = 700 ]
check "run folder removed" [ -z "$(ls -A "$parent" 2>/dev/null)" ]
finish
