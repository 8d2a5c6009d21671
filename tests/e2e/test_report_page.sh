#!/usr/bin/env bash
# The page of kestrel-report in a real browser: headless Chromium opens it
# from disk with the network off; the script runs without errors, the index
# lists every section, every timeline and chart is drawn, and each chart has
# the number of points that the JSON output gives for it. Screenshots are
# kept in test-artifacts/ beside the binaries.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

source "$(dirname "$0")/page_lib.sh"
SOURCE=${KESTREL_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}

# page_checks NAME: renders $WORK/NAME into a page and checks it in the
# browser against the JSON of the same report.
page_checks() {
  local name=$1
  "$REPORT_BIN" html "$WORK/$name" -o "$WORK/$name.html" 2>"$WORK/$name.html.err"
  check "$name: page written" [ $? -eq 0 ] && [ -s "$WORK/$name.html" ]
  "$REPORT_BIN" json "$WORK/$name" >"$WORK/$name.json" 2>/dev/null
  browser --enable-logging=stderr --v=0 --dump-dom "file://$WORK/$name.html" \
    >"$WORK/$name.dom" 2>"$WORK/$name.console"
  check "$name: page opened" [ -s "$WORK/$name.dom" ]
  check "$name: no script errors" grep -q '<body data-errors="0"[^>]* data-ready="1"' "$WORK/$name.dom"
  check "$name: no console errors" none 'CONSOLE.*(Uncaught|Error)' <"$WORK/$name.console"
  check "$name: no network" none 'net::ERR|http://|https://' <"$WORK/$name.console"
  python3 - "$WORK/$name.json" "$WORK/$name.dom" >"$WORK/$name.dom-check" <<'PY'
import json, re, sys
from html.parser import HTMLParser
data = json.load(open(sys.argv[1], encoding='utf-8'))
problems = []
class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.rows, self.charts, self.lanes, self.table, self.timelines = [], [], [], {}, []
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'table' and a.get('id') == 'index-table': self.table = a
        if tag == 'tr' and 'data-index' in a: self.rows.append(int(a['data-index']))
        if tag == 'div' and a.get('class') == 'chart': self.charts.append(a)
        if tag == 'div' and a.get('class') == 'lane': self.lanes.append(a)
        if tag == 'details' and a.get('class') == 'timeline': self.timelines.append(a)
page = Page()
page.feed(open(sys.argv[2], encoding='utf-8').read())
sections = data['sections']
if page.table.get('data-total') != str(len(sections)):
    problems.append('index total %s, report %d' % (page.table.get('data-total'), len(sections)))
if page.rows != list(range(len(sections))):
    problems.append('index rows %d, sections %d' % (len(page.rows), len(sections)))
expected = [(f['file'], c['title'], len(c['x']) * len(c['series']))
            for f in data['sampler_files'] for c in f['charts']]
drawn = [(c.get('data-title'), int(c.get('data-points', -1)), int(c.get('data-drawn-points', -1)),
          c.get('data-rendered')) for c in page.charts]
if len(drawn) != len(expected):
    problems.append('charts on the page %d, in the JSON %d' % (len(drawn), len(expected)))
for (file, title, points), (shown, declared, plotted, rendered) in zip(expected, drawn):
    if (title, points) != (shown, plotted) or declared != points or rendered != '1':
        problems.append('%s %s: %d points expected, page has %s (%s drawn)' % (file, title, points, declared, plotted))
timed = {}
for s in sections:
    if s['kind'] in ('command', 'file') and s['seconds'] is not None and s['start_epoch'] is not None:
        timed[s['target']] = timed.get(s['target'], 0) + 1
shown = {t['data-target']: int(t['data-commands']) for t in page.timelines}
if shown != timed:
    problems.append('timelines %r, report %r' % (shown, timed))
print('charts %d, points %d, rows %d, lanes %d' % (len(drawn), sum(p for _, _, p in expected), len(page.rows), len(page.lanes)))
print('\n'.join(problems[:10]))
sys.exit(1 if problems else 0)
PY
  check "$name: index, timelines and charts match the report ($(head -1 "$WORK/$name.dom-check"))" \
    [ "${PIPESTATUS[0]}" = 0 ] && ! grep -q . <(tail -n +2 "$WORK/$name.dom-check")
  browser --hide-scrollbars --window-size=1400,5000 --screenshot="$ARTIFACTS/report-page-$name.png" \
    "file://$WORK/$name.html" >/dev/null 2>&1
  check "$name: screenshot kept" [ -s "$ARTIFACTS/report-page-$name.png" ]
}

# none PATTERN: standard input has no line matching PATTERN.
none() { ! grep -qE "$1"; }

# A run of kestrel against two simulated controllers, and a real report of
# the background samplers (sysstat, stats show, lun stats, vif stat, statit,
# host counters) kept in the source tree.
forget
kestrel -t 0 -i 2 -f sim1 -f sim2
cp "$WORK/out" "$WORK/run.out"
page_checks run.out
cp "$SOURCE/src/report/testdata/samplers.out" "$WORK/samplers.out"
page_checks samplers.out
check "samplers: every kind charted" python3 -c "
import json,sys; d=json.load(open('$WORK/samplers.out.json'))
kinds={f['kind'] for f in d['sampler_files'] if f['charts']}
want={'sysstat','sysstat per processor','protocol stats','domain stats','lun stats','vif stat','statit','host system counters','host logical disks'}
sys.exit(0 if want<=kinds else 1)"

# A report cut short still makes a page, with its status shown.
head -c 90000 "$WORK/run.out" >"$WORK/cut.out"
"$REPORT_BIN" html "$WORK/cut.out" -o "$WORK/cut.html" 2>/dev/null
check "cut: partial status, page written" [ $? -eq 1 ] && [ -s "$WORK/cut.html" ]
browser --dump-dom "file://$WORK/cut.html" >"$WORK/cut.dom" 2>/dev/null
check "cut: shown as incomplete" grep -q 'data-complete="false"' "$WORK/cut.dom"
check "cut: script ran" grep -q '<body data-errors="0"[^>]* data-ready="1"' "$WORK/cut.dom"

finish
