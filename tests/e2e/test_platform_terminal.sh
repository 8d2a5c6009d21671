#!/usr/bin/env bash
# Run from a terminal while the user types into it: a host command that
# reads its standard input must not stop (a client in a background process
# group that reads the terminal is stopped) and wait for the -C limit; it
# reads the null device and goes on at once.
source "$(dirname "$0")/lib.sh"
command -v python3 >/dev/null || { echo "SKIP: no python3" >&2; exit 77; }

# A stand-in for "arp" that reads its input to the end, then says so.
mkdir -p "$WORK/bin"
cat >"$WORK/bin/arp" <<'SCRIPT'
#!/bin/sh
echo "arp reads its input"
cat >/dev/null
echo "arp read all of its input"
SCRIPT
chmod +x "$WORK/bin/arp"

# kestrel with the terminal as its controlling terminal and standard input,
# in the terminal's foreground group; its report and errors go to files.
# Lines are typed into the terminal while it runs.
cd "$WORK" && PATH="$WORK/bin:$PATH" timeout 120 python3 - "$KESTREL_BIN" "$WORK/out" "$WORK/err" <<'PY'
import os, pty, select, sys, time
kestrel, out, err = sys.argv[1:4]
pid, master = pty.fork()
if pid == 0:
    os.dup2(os.open(out, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), 1)
    os.dup2(os.open(err, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), 2)
    os.execv(kestrel, [kestrel, "-c", "-C", "5"])
ended = None
while ended is None:
    try:
        os.write(master, b"typed by the user\n")
    except OSError:
        pass
    ready, _, _ = select.select([master], [], [], 0.2)
    if ready:
        try:
            os.read(master, 4096)
        except OSError:
            pass
    done, status = os.waitpid(pid, os.WNOHANG)
    if done == pid:
        ended = status
sys.exit(os.waitstatus_to_exitcode(ended))
PY
rc=$?

check "run ended, status 0" [ "$rc" -eq 0 ]
check "the command read all of its input" grep -q '^arp read all of its input$' "$WORK/out"
check "no command was killed at its limit" sh -c "! grep -q '^Killing process tree at PID' '$WORK/out'"
check "next command ran" grep -q '^=-=-=-=-=-= CONFIG e2ehost PRESTATS =-=-=-=-=-= netstat -rn$' "$WORK/out"
check "scratch folder removed" temp_root_is_empty
finish
