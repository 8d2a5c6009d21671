#!/usr/bin/env bash
# kestrel-report reads back reports that kestrel wrote against the simulated
# controllers in several modes, and cut, CRLF and damaged copies of them:
# every marker becomes a section, times, flags and texts match the report,
# and bad input gets a clear message and its own exit status.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

REPORT_BIN=${KESTREL_REPORT_BIN:-$(dirname "$KESTREL_BIN")/kestrel-report}
[ -x "$REPORT_BIN" ] || { echo "SKIP: no kestrel-report at $REPORT_BIN" >&2; exit 77; }
command -v python3 >/dev/null || { echo "SKIP: python3 is needed to read the JSON" >&2; exit 77; }

# The exit statuses of kestrel-report.
WHOLE=0 PARTIAL=1 USAGE=2 FILE_ERROR=3 NOT_REPORT=4

# read_back NAME: kestrel-report index and json of $WORK/NAME; statuses in
# $index_rc and $json_rc, outputs in $WORK/NAME.index and $WORK/NAME.json.
read_back() {
  "$REPORT_BIN" index "$WORK/$1" >"$WORK/$1.index" 2>"$WORK/$1.index.err"
  index_rc=$?
  "$REPORT_BIN" json "$WORK/$1" >"$WORK/$1.json" 2>"$WORK/$1.json.err"
  json_rc=$?
}

# agrees NAME: the JSON of NAME agrees with the report's own lines.
agrees() {
  python3 - "$WORK/$1" "$WORK/$1.json" <<'PY'
import json, re, sys
raw = open(sys.argv[1], 'rb').read().decode('utf-8', 'replace')
lines = [l.rstrip('\r') for l in raw.split('\n')]
data = json.load(open(sys.argv[2], encoding='utf-8'))
sections = data['sections']
problems = []
def expect(what, want, got):
    if want != got:
        problems.append('%s: report %r, reader %r' % (what, want, got))
markers = [l for l in lines if re.match(r'=-=-=-=-=-= (CONFIG|PERF) \S.* (PRESTATS|POSTSTATS) =-=-=-=-=-= ', l)]
expect('marked sections', len(markers),
       sum(1 for s in sections if s['kind'] not in ('text', 'pretend')))
exe = [int(m.group(1)) for l in lines for m in [re.match(r'EXE-TIME of: .* : (\d+) seconds$', l)] if m]
timed = [s for s in sections if s['kind'] in ('command', 'file') and s['seconds'] is not None]
expect('EXE-TIME lines', len(exe), len(timed))
expect('seconds in all', sum(exe), sum(s['seconds'] for s in timed))
expect('excluded', sum(l.startswith('Excluded: ') for l in lines),
       sum('excluded' in s['flags'] for s in sections))
expect('killed', sum(l.startswith('Killing process tree at PID: ') for l in lines),
       sum('killed' in s['flags'] for s in sections))
expect('pretend lines', sum(bool(re.match(r'(Host|Filer): ', l)) for l in lines),
       sum(s['kind'] == 'pretend' for s in sections))
expect('iterations', sum(bool(re.match(r'=-=-=-=-=-= BEGIN Iteration ', l)) for l in lines),
       len(data['iterations']))
for s in sections:
    if s['kind'] in ('pretend', 'text'):
        continue
    expect('marker at line %d' % s['line'], True, lines[s['line'] - 1].endswith(' ' + s['command']))
    if s['text']:
        expect('text of %s at line %d' % (s['command'], s['line']), lines[s['line']],
               s['text'].split('\n')[0])
print('\n'.join(problems[:10]))
sys.exit(1 if problems else 0)
PY
}

# whole_checks NAME: a whole report reads back completely and agrees.
whole_checks() {
  read_back "$1"
  check "$1: index status" [ "$index_rc" -eq $WHOLE ]
  check "$1: json status" [ "$json_rc" -eq $WHOLE ]
  check "$1: index says complete" grep -q '^Report: complete' "$WORK/$1.index"
  check "$1: agrees with the report" agrees "$1"
}

# ------------------------------------------------------ reports of kestrel
model old72 "release = Corvex Release 7.2: Mon Jan 7 2008" "licenses = nfs, fcp" "vzones ="
forget
kestrel -t 0 -i 2 -f sim1 -f sim2
check "full run status" [ "$rc" -eq 0 ]
cp "$WORK/out" "$WORK/full.out"
whole_checks full.out
check "full: vzone sections" grep -q $'POSTSTATS sim2:\\[VZ\\]:vza ' "$WORK/full.out.index"
check "full: split stats" python3 -c "
import json,sys; d=json.load(open('$WORK/full.out.json'))
sys.exit(0 if any(s['kind']=='stats' and s['command']=='stats stop -I kestrel_vol' for s in d['sections']) else 1)"
check "full: slow-command report read" python3 -c "
import json,sys; d=json.load(open('$WORK/full.out.json')); sys.exit(0 if d['slow_commands']==[] and d['complete'] else 1)"

kestrel -x -i 2 -t 1 -f sim1 -f sim2
cp "$WORK/out" "$WORK/pretend.out"
whole_checks pretend.out

kestrel -c -E sysconfig,arp -f sim1
cp "$WORK/out" "$WORK/exclude.out"
whole_checks exclude.out
check "exclude: flagged rows" [ "$(grep -c ' excluded ' "$WORK/exclude.out.index")" -ge 3 ]

# A host command that outlives -C 2 is killed.
mkdir -p "$WORK/hang"
printf '#!/bin/sh\necho before the hang\nsleep 300\n' >"$WORK/hang/arp"
chmod +x "$WORK/hang/arp"
PATH="$WORK/hang:$PATH" kestrel -c -C 2
cp "$WORK/out" "$WORK/kill.out"
whole_checks kill.out
check "kill: flagged" grep -qE '^1 +PRESTATS +e2ehost +command +[0-9]+  killed' "$WORK/kill.out.index"

forget
kestrel -t 0 -F -V -f old72 -p
cp "$WORK/out" "$WORK/legacy.out"
whole_checks legacy.out

# ------------------------------------------------------ capture vs capture
# Two captures of one controller, the second with the model's release moved
# on: diff names that release and the one section that shows it, and
# nothing else (clocks, epochs and durations differ anyway).
forget
kestrel -t 0 -f sim1
cp "$WORK/out" "$WORK/diff_a.out"
model sim1 "release = Corvex Release 7.3.2: Fri Nov 2 2012"
forget
kestrel -t 0 -f sim1
cp "$WORK/out" "$WORK/diff_b.out"
rm -rf "$WORK/home/models/sim1"
"$REPORT_BIN" diff "$WORK/diff_a.out" "$WORK/diff_b.out" >"$WORK/diff.txt" 2>"$WORK/diff.err"
check "diff: status 0" [ $? -eq $WHOLE ]
check "diff: one setting" has_line "$WORK/diff.txt" 'Settings that differ: 1'
check "diff: the release" has_line "$WORK/diff.txt" '  version of sim1: "MERIX7.3.5" -> "MERIX7.3.2"'
check "diff: one section" has_line "$WORK/diff.txt" 'Configuration sections that changed: 1'
check "diff: sysconfig" grep -q '^  sim1, iteration 1 PRESTATS: sysconfig -av (lines ' "$WORK/diff.txt"
check "diff: old line" has_line "$WORK/diff.txt" '    -         Corvex Release 7.3.5: Fri Nov 2 2012'
check "diff: new line" has_line "$WORK/diff.txt" '    +         Corvex Release 7.3.2: Fri Nov 2 2012'
check "diff: two changed lines in all" [ "$(grep -cE '^    [-+] ' "$WORK/diff.txt")" -eq 2 ]
"$REPORT_BIN" diff "$WORK/diff_a.out" "$WORK/diff_b.out" --html -o "$WORK/diff.html" 2>"$WORK/diff.err"
check "diff --html: status 0" [ $? -eq $WHOLE ]
check "diff --html: counts" grep -q '<section id="settings" data-count="1">.*<section id="sections" data-count="1">' <(tr -d '\n' <"$WORK/diff.html")
check "diff --html: no script" none '<script' <"$WORK/diff.html"
"$REPORT_BIN" diff "$WORK/diff_a.out" "$WORK/missing.out" >/dev/null 2>"$WORK/diff.err"
check "diff of a missing file: file error" [ $? -eq $FILE_ERROR ]
check "diff of a missing file: says so" grep -q 'cannot read .*missing.out' "$WORK/diff.err"
printf 'just some text\n' >"$WORK/plain.txt"
"$REPORT_BIN" diff "$WORK/plain.txt" "$WORK/diff_b.out" >/dev/null 2>"$WORK/diff.err"
check "diff of no report: not a report" [ $? -eq $NOT_REPORT ]
check "diff of no report: says so" grep -q 'plain.txt is not a kestrel report' "$WORK/diff.err"
"$REPORT_BIN" diff "$WORK/diff_a.out" >/dev/null 2>"$WORK/diff.err"
check "diff of one file: usage" [ $? -eq $USAGE ]
check "diff of one file: says so" grep -q 'diff needs two report files' "$WORK/diff.err"
# Prestats against poststats on the page: the stats stop blocks as rates.
"$REPORT_BIN" html "$WORK/diff_a.out" -o "$WORK/diff_a.html" 2>/dev/null
check "changes block on the page" grep -q '<section id="changes" data-sections="[0-9]*" data-counters="[1-9]' "$WORK/diff_a.html"
check "changes: stats stop rates" grep -q 'stats stop -I kestrel_system</code> .* counter(s), interval [0-9]* s (epochs)' "$WORK/diff_a.html"

# ------------------------------------------------- cut and damaged copies
size=$(wc -c <"$WORK/full.out")
for percent in 3 20 45 70 95; do
  head -c $((size * percent / 100)) "$WORK/full.out" >"$WORK/cut$percent.out"
  read_back "cut$percent.out"
  check "cut $percent%: partial status" [ "$index_rc" -eq $PARTIAL ] && [ "$json_rc" -eq $PARTIAL ]
  lines=$(awk 'END { print NR }' "$WORK/cut$percent.out")
  check "cut $percent%: says where it stopped" \
    grep -q "report ends at line $lines " "$WORK/cut$percent.out.index.err"
  check "cut $percent%: JSON stops at the last line" python3 -c "
import json,sys; d=json.load(open('$WORK/cut$percent.out.json'))
sys.exit(0 if not d['complete'] and d['stop']['line']==$lines else 1)"
done

sed 's/$/\r/' "$WORK/full.out" >"$WORK/crlf.out"
read_back crlf.out
check "crlf: whole" [ "$index_rc" -eq $WHOLE ]
check "crlf: same index" diff <(sed 1d "$WORK/full.out.index") <(sed 1d "$WORK/crlf.out.index")

line=$(grep -n '^=-=-=-=-=-= CONFIG sim1 PRESTATS =-=-=-=-=-= sysconfig -av' "$WORK/full.out" | head -1 | cut -d: -f1)
{ head -n "$line" "$WORK/full.out"; printf 'bad \377\376\000 bytes\n'; tail -n +$((line + 1)) "$WORK/full.out"; } >"$WORK/bytes.out"
read_back bytes.out
check "stray bytes: partial status" [ "$index_rc" -eq $PARTIAL ]
check "stray bytes: reported" grep -q 'not UTF-8' "$WORK/bytes.out.index.err"
# same_sections A B: the two JSON files list the same sections.
same_sections() {
  python3 -c "
import json,sys; a,b=(json.load(open(f)) for f in sys.argv[1:])
sys.exit(0 if [s['command'] for s in a['sections']]==[s['command'] for s in b['sections']] else 1)" "$1" "$2"
}
check "stray bytes: same sections" same_sections "$WORK/full.out.json" "$WORK/bytes.out.json"
check "stray bytes: JSON still valid" python3 -c "import json; json.load(open('$WORK/bytes.out.json'))"

# A marker line cut in the middle.
sed '0,/^=-=-=-=-=-= PERF sim1 PRESTATS =-=-=-=-=-= /s//=-=-=-=-=-= PERF sim1 PRESTATS/' "$WORK/full.out" >"$WORK/marker.out"
read_back marker.out
check "damaged marker: partial status" [ "$index_rc" -eq $PARTIAL ]
check "damaged marker: named" grep -q 'a marker line with missing parts' "$WORK/marker.out.index.err"

# Marker lines in a reply. Written before the escape, they must make the
# report damaged, never "complete" with sections hidden; escaped with one
# backslash, as kestrel writes them now, they are text shown as they came.
line=$(grep -n -m1 '^=-=-=-=-=-= CONFIG sim1 PRESTATS =-=-=-=-=-= ' "$WORK/full.out" | cut -d: -f1)
# with_reply NAME LINES...: full.out with LINES at the top of that section's output.
with_reply() {
  local name=$1
  shift
  { head -n "$line" "$WORK/full.out"; printf '%s\n' "$@"; tail -n +$((line + 1)) "$WORK/full.out"; } >"$WORK/$name"
}
fake_target='=-=-=-=-=-= CONFIG evil PRESTATS =-=-=-=-=-= fake'
fake_log='=-=-=-=-=-= CONFIG sim1 POSTSTATS =-=-=-=-=-= ERROR LOG'
fake_footer='=-=-= Kestrel Execution Statistics -=-=-=-='
fake_total='  Total Running Time: 1 seconds'
with_reply forged.out "$fake_target" "$fake_log" "$fake_footer" "$fake_total"
with_reply hidden.out "$fake_log"
with_reply escaped.out "\\$fake_target" "\\$fake_log" "\\$fake_footer" "$fake_total" "\\\\=-=-= two"
for name in forged.out hidden.out; do
  read_back "$name"
  check "$name: damaged status" [ "$index_rc" -eq $PARTIAL ]
  check "$name: damaged JSON status" [ "$json_rc" -eq $PARTIAL ]
  check "$name: index says damaged" grep -q '^Report: damaged: ' "$WORK/$name.index"
  check "$name: where" grep -q "^line $((line + 1)): " "$WORK/$name.index"
  check "$name: JSON not complete" python3 -c "
import json,sys; d=json.load(open('$WORK/$name.json')); sys.exit(0 if d['damaged'] and not d['complete'] else 1)"
done
check "forged: unknown target named" grep -q "target evil is not among" "$WORK/forged.out.index"
check "forged: markers after the footer" grep -q "after the execution statistics of line $((line + 3))" "$WORK/forged.out.index.err"
check "hidden: markers in the error log" grep -q "a marker line inside the error log of line $((line + 1))" "$WORK/hidden.out.index"
read_back escaped.out
check "escaped: whole" [ "$index_rc" -eq $WHOLE ]
check "escaped: whole JSON" [ "$json_rc" -eq $WHOLE ]
check "escaped: complete" grep -q '^Report: complete' "$WORK/escaped.out.index"
check "escaped: same sections" same_sections "$WORK/full.out.json" "$WORK/escaped.out.json"
check "escaped: text shown as the controller wrote it" python3 -c "
import json,sys; d=json.load(open('$WORK/escaped.out.json'))
t=[s['text'] for s in d['sections'] if s['line']==$line][0].split('\n')
sys.exit(0 if t[:5]==['$fake_target','$fake_log','$fake_footer','$fake_total','\\\\=-=-= two'] else 1)"

# -------------------------------------------------------------- bad input
: >"$WORK/empty.out"
read_back empty.out
check "empty: not a report" [ "$index_rc" -eq $NOT_REPORT ] && [ "$json_rc" -eq $NOT_REPORT ]
check "empty: says so" grep -q 'is empty: not a report' "$WORK/empty.out.index.err"
check "empty: nothing written" [ ! -s "$WORK/empty.out.index" ]
head -c 200000 /dev/urandom >"$WORK/random.bin"
read_back random.bin
check "binary: not a report" [ "$index_rc" -eq $NOT_REPORT ]
check "binary: says so" grep -q 'is not a kestrel report' "$WORK/random.bin.index.err"
printf 'just some text\nwith lines\n' >"$WORK/text.txt"
read_back text.txt
check "text: not a report" [ "$json_rc" -eq $NOT_REPORT ]

"$REPORT_BIN" >/dev/null 2>"$WORK/usage.err"
check "no arguments: usage" [ $? -eq $USAGE ] && grep -q '^usage: kestrel-report index REPORT' "$WORK/usage.err"
"$REPORT_BIN" html "$WORK/full.out" >/dev/null 2>"$WORK/usage.err"
check "html without -o: usage" [ $? -eq $USAGE ] && grep -q 'html needs -o' "$WORK/usage.err"
"$REPORT_BIN" index "$WORK/missing.out" >/dev/null 2>"$WORK/missing.err"
check "missing file: file error" [ $? -eq $FILE_ERROR ] && grep -q 'cannot read' "$WORK/missing.err"
"$REPORT_BIN" index "$WORK" >/dev/null 2>"$WORK/folder.err"
check "folder: file error" [ $? -eq $FILE_ERROR ]
check "folder: says so" grep -q 'is a folder, not a report file' "$WORK/folder.err"
# json and html refuse a report above 1 GiB (a sparse file: nothing is read).
truncate -s 1100M "$WORK/huge.out"
"$REPORT_BIN" json "$WORK/huge.out" >/dev/null 2>"$WORK/huge-json.err"
check "json above 1 GiB: refused" [ $? -eq $FILE_ERROR ]
check "json above 1 GiB: says so" grep -q 'at most 1 GiB' "$WORK/huge-json.err"
"$REPORT_BIN" html "$WORK/huge.out" -o "$WORK/huge.html" 2>"$WORK/huge-html.err"
check "html above 1 GiB: refused" [ $? -eq $FILE_ERROR ]
check "html above 1 GiB: says so" grep -q 'at most 1 GiB' "$WORK/huge-html.err"
rm -f "$WORK/huge.out"
"$REPORT_BIN" html "$WORK/full.out" -o "$WORK/no/such/dir/page.html" 2>"$WORK/write.err"
check "unwritable page: file error" [ $? -eq $FILE_ERROR ] && grep -q 'cannot write' "$WORK/write.err"
"$REPORT_BIN" help >"$WORK/help.out"
check "help: status 0" [ $? -eq 0 ] && grep -q 'exit status' "$WORK/help.out"

# ------------------------------------------------------------ Windows build
REPORT_EXE=${KESTREL_REPORT_EXE:-${KESTREL_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}/build-win/kestrel-report.exe}
if [ -f "$REPORT_EXE" ] && command -v wine >/dev/null; then
  source "$(dirname "$0")/../../scripts/wine-env"
  wine "$REPORT_EXE" index "Z:$(printf '%s' "$WORK/full.out" | tr / '\\')" 2>/dev/null | tr -d '\r' >"$WORK/win.index"
  check "kestrel-report.exe: same index" diff "$WORK/full.out.index" "$WORK/win.index"
  wine "$REPORT_EXE" index "Z:$(printf '%s' "$WORK/cut45.out" | tr / '\\')" >/dev/null 2>&1
  check "kestrel-report.exe: partial status" [ $? -eq $PARTIAL ]
else
  echo "note: no Windows build of kestrel-report or no Wine; its checks skipped" >&2
fi

finish
