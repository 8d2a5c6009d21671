#!/usr/bin/env bash
# -E skips every foreground command that holds one of the patterns.
source "$(dirname "$0")/lib.sh"

kestrel -c -E arp,uname
check "status 0" [ "$rc" -eq 0 ]
check "excluded line in place of output" grep -q '^Excluded: arp -a 2>>".*error.log"$' "$WORK/out"
check "second pattern too" grep -q '^Excluded: uname -a 2>>' "$WORK/out"
check "section still closes" grep -q '^EXE-TIME of: arp -a : 0 seconds$' "$WORK/out"
check "log records the exclusion" grep -q ' : Command excluded: arp -a 2>>' "$WORK/out"
check "other commands run" grep -q '^EXE-TIME of: netstat -rn' "$WORK/out"
check "EXCLUDE set in header" grep -q '^EXCLUDE,             set,        "TRUE"$' "$WORK/out"
finish
