#!/usr/bin/env bash
# The page of kestrel-report in a real browser: headless Chromium opens it
# from disk with the network off; the script runs without errors, the index
# lists every section, every timeline and chart is drawn, and each chart has
# the number of points that the JSON output gives for it. On one clock:
# hovering a controller chart moves the cursor of a host chart to the same
# instant, a drag on one chart zooms the others, a double-click resets them,
# #zoom=FROM-TO zooms every chart of the iteration, and the iteration
# overlay draws one column of both iterations. Screenshots are kept in
# test-artifacts/ beside the binaries.
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
        classes = a.get('class', '').split()
        if tag == 'div' and 'chart' in classes and 'overlay-chart' not in classes: self.charts.append(a)
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

# text_checks NAME: the viewer of the page of $WORK/NAME shows the text of
# every 40th section of the index and of its last, as the JSON has it: from
# the page's JSON, or unpacked from its packed block for a large report.
text_checks() {
  local name=$1
  cat >"$WORK/texts.js" <<'JS'
setTimeout(() => {
  const out = { texts: {}, errors: [] };
  const open = (row) => {
    row.click();
    out.texts[row.dataset.index] = document.getElementById("viewer-text").textContent;
  };
  try {
    const rows = [...document.querySelectorAll("#index-table tbody tr")];
    for (let k = 0; k < rows.length; k += Math.max(1, Math.floor(rows.length / 40))) open(rows[k]);
    open(rows[rows.length - 1]);
  } catch (e) {
    out.errors.push(String((e && e.stack) || e));
  }
  document.body.dataset.probe = JSON.stringify(out);
}, 200);
JS
  sed 's#</body>#<script src="texts.js"></script></body>#' "$WORK/$name.html" >"$WORK/$name.texts.html"
  browser --dump-dom "file://$WORK/$name.texts.html" >"$WORK/$name.texts.dom" 2>/dev/null
  check "$name: the viewer shows each section's text as the report has it" python3 - \
    "$WORK/$name.json" "$WORK/$name.texts.dom" <<'PY'
import html, json, re, sys
sections = json.load(open(sys.argv[1], encoding='utf-8'))['sections']
found = re.search(r'data-probe="([^"]*)"', open(sys.argv[2], encoding='utf-8').read())
probe = json.loads(html.unescape(found.group(1))) if found else {'errors': ['no probe'], 'texts': {}}
wrong = [i for i, text in probe['texts'].items() if text != sections[int(i)]['text']]
print(len(probe['texts']), 'texts opened, wrong:', wrong[:5], probe['errors'])
sys.exit(0 if len(probe['texts']) >= 10 and not wrong and not probe['errors'] else 1)
PY
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
text_checks run.out
# The page of a report this large holds its data and texts packed: smaller
# than the report itself.
check "run.out: the page is packed, smaller than the report" \
  [ "$(wc -c <"$WORK/run.out.html")" -lt "$(wc -c <"$WORK/run.out")" ]

# clock_checks NAME: the page of $WORK/NAME driven with mouse events by a
# probe script added to a copy of it.
clock_checks() {
  local name=$1
  "$REPORT_BIN" html "$WORK/$name" -o "$WORK/$name.html" 2>/dev/null
  cat >"$WORK/probe.js" <<'JS'
// Hover a controller chart, read a host chart of the same iteration; drag
// on the controller chart, read the host chart's scale; double-click; open
// the overlay of the controller chart's column.
setTimeout(async () => {
  const out = { errors: [] };
  const settle = () => new Promise((done) => setTimeout(done, 50));
  try {
    // The first of each in the page: both of iteration 1.
    const drawn = (file) => [...document.querySelectorAll(
      '.chart-grid[data-file="' + file + '"] .chart[data-rendered="1"]')];
    const ctl = drawn("sysstat.out").find((h) => h.dataset.title === "CPU");
    const host = drawn("system_perfmon.out").find((h) => h.querySelector(".u-legend"));
    const legend = (h) => [...h.querySelectorAll(".u-legend .u-value")].map((n) => n.textContent);
    const scale = (h) => [Number(h.dataset.xMin), Number(h.dataset.xMax)];
    const over = ctl.querySelector(".u-over");
    const r = over.getBoundingClientRect();
    const at = (f) => ({ clientX: r.left + r.width * f, clientY: r.top + r.height / 2,
      bubbles: true, cancelable: true, view: window, button: 0, buttons: 1, movementX: 4 });
    out.charts = [ctl.dataset.title, host.dataset.title];
    out.full = { ctl: scale(ctl), host: scale(host) };
    over.dispatchEvent(new MouseEvent("mouseenter", at(0.5)));
    over.dispatchEvent(new MouseEvent("mousemove", at(0.5)));
    await settle();
    out.hover = { ctl: legend(ctl), host: legend(host) };
    over.dispatchEvent(new MouseEvent("mousedown", at(0.3)));
    over.dispatchEvent(new MouseEvent("mousemove", at(0.6)));
    document.dispatchEvent(new MouseEvent("mouseup", at(0.6)));
    await settle();
    out.zoom = { ctl: scale(ctl), host: scale(host) };
    over.dispatchEvent(new MouseEvent("dblclick", at(0.5)));
    await settle();
    out.reset = { ctl: scale(ctl), host: scale(host) };
    // A chart of many series (one per processor): its legend is shown, a
    // click on a name hides that series.
    const many = document.querySelector('.chart[data-title="processor:domain_busy"]');
    many.scrollIntoView();
    for (let i = 0; i < 100 && many.dataset.rendered !== "1"; i++) await settle();
    const rows = [...many.querySelectorAll(".u-legend .u-series")];
    const named = rows[1];
    named.querySelector("th").dispatchEvent(new MouseEvent("click", { bubbles: true, view: window }));
    await settle();
    out.many = { marked: many.classList.contains("many-series"), series: rows.length - 1,
      shown: rows.length > 0 && getComputedStyle(many.querySelector(".u-legend")).display !== "none",
      toggled: named.classList.contains("u-off") };
    out.overlay = window.kestrelOverlay("sim1", "sysstat.out", "CPU") &&
      Number(document.querySelector("#overlay .overlay-chart").dataset.iterations);
  } catch (e) {
    out.errors.push(String((e && e.stack) || e));
  }
  document.body.dataset.probe = JSON.stringify(out);
}, 200);
JS
  sed 's#</body>#<script src="probe.js"></script></body>#' "$WORK/$name.html" >"$WORK/$name.probe.html"
  browser --enable-logging=stderr --v=0 --window-size=1400,3000 --dump-dom \
    "file://$WORK/$name.probe.html" >"$WORK/$name.probe.dom" 2>"$WORK/$name.probe.console"
  python3 - "$WORK/$name.probe.dom" >"$WORK/$name.probe" <<'PY'
import html, json, re, sys
found = re.search(r'data-probe="([^"]*)"', open(sys.argv[1], encoding='utf-8').read())
print(json.dumps(json.loads(html.unescape(found.group(1))) if found else {'errors': ['no probe']}))
PY
  local probe
  probe=$(cat "$WORK/$name.probe")
  # probe_true EXPRESSION: a Python expression over the probe's result `p`.
  probe_true() { python3 -c "import json,sys; p=json.loads(sys.argv[1]); sys.exit(0 if ($1) else 1)" "$probe"; }
  probe_clean() { probe_true 'not p["errors"]' && none 'CONSOLE.*(Uncaught|Error)' <"$WORK/$name.probe.console"; }
  check "$name: probe ran, no console errors ($probe)" probe_clean
  # Hovering the controller chart puts the host chart's cursor at the same
  # instant (its nearest sample, a sample interval at most away) with its
  # value; the values keep their unit.
  check "$name: hover on a controller chart shows that instant on a host chart" probe_true '
    (lambda s: s(p["hover"]["ctl"][0]) is not None and s(p["hover"]["host"][0]) is not None
      and abs(s(p["hover"]["ctl"][0]) - s(p["hover"]["host"][0])) <= 30)(
      lambda t: (lambda m: int(m[1]) * 3600 + int(m[2]) * 60 + int(m[3]) if m else None)(
        __import__("re").fullmatch(r"(\d\d):(\d\d):(\d\d)", t)))
    and p["hover"]["host"][1] != "--"'
  check "$name: hover values keep their unit" probe_true 'p["hover"]["ctl"][1].endswith("%")'
  # One axis: both charts start on the iteration's window; a drag on one
  # narrows the other to the same window; a double-click restores it.
  check "$name: charts of an iteration share one axis" probe_true '
    None not in p["full"]["ctl"] and p["full"]["ctl"] == p["full"]["host"]'
  check "$name: a drag on one chart zooms the other" probe_true '
    p["zoom"]["host"] == p["zoom"]["ctl"] and p["full"]["host"][0] < p["zoom"]["host"][0]
    < p["zoom"]["host"][1] < p["full"]["host"][1]'
  check "$name: a double-click shows the whole iteration again" probe_true '
    None not in p["full"]["host"] and p["zoom"]["host"] != p["reset"]["host"] == p["full"]["host"]'
  check "$name: the overlay draws the column of both iterations" probe_true 'p["overlay"] == 2'
  check "$name: a chart of 16 processors keeps a compact legend" probe_true '
    p["many"]["marked"] and p["many"]["shown"] and p["many"]["series"] == 16'
  check "$name: a click on a name in that legend hides its series" probe_true 'p["many"]["toggled"]'
  # The address zooms too: #zoom=FROM-TO, the middle of the first chart's window.
  local from to
  read -r from to < <(python3 -c "import json,sys; p=json.loads(sys.argv[1]); a,b=p['full']['ctl']; w=(b-a)/4; print(int(a+w), int(b-w))" "$probe")
  browser --window-size=1400,3000 --dump-dom "file://$WORK/$name.html#zoom=$from-$to" \
    >"$WORK/$name.zoom.dom" 2>/dev/null
  # The screenshot shows the top of the page: the charts are moved there.
  sed 's#</body>#<script>document.querySelector("main").prepend(document.getElementById("charts")); scrollTo(0, 0)</script></body>#' \
    "$WORK/$name.html" >"$WORK/$name.shot.html"
  browser --hide-scrollbars --window-size=1400,2000 \
    --screenshot="$ARTIFACTS/report-page-$name-zoomed.png" "file://$WORK/$name.shot.html#zoom=$from-$to" >/dev/null 2>&1
  # The zoomed window is kept as a screenshot too.
  check "$name: #zoom=$from-$to zooms every chart of the iteration" python3 - "$WORK/$name.zoom.dom" "$from" "$to" \
    "$ARTIFACTS/report-page-$name-zoomed.png" <<'PY'
import os, re, sys
page = open(sys.argv[1], encoding='utf-8').read()
want = (float(sys.argv[2]), float(sys.argv[3]))
scales = [(float(a), float(b)) for a, b in re.findall(r'data-x-min="([^"]*)" data-x-max="([^"]*)"', page)]
print(len(scales), 'scales', scales[:3])
sys.exit(0 if len([s for s in scales if s == want]) >= 2 and os.path.getsize(sys.argv[4]) > 0 else 1)
PY
}
cp "$SOURCE/src/report/testdata/samplers.out" "$WORK/samplers.out"
page_checks samplers.out
text_checks samplers.out

# The same samplers in two iterations (the run above samples nothing with
# -t 0): host and controller charts on one clock, and an overlay.
awk '/^=-=-=-=-=-= CONFIG .* POSTSTATS =-=-=-=-=-= ERROR LOG$/ { tail = 1 }
  NR < 38 || tail { if (tail) rest = rest $0 "\n"; else print; next }
  { body = body $0 "\n" }
  END {
    for (i = 1; i <= 2; i++) {
      printf "=-=-=-=-=-= BEGIN Iteration %d =-=-=-=-=-= Wed Dec 09 02:45:55 GMT 2026\nKESTREL_EPOCH: 1796784355\n%s", i, body
      printf "=-=-=-=-=-= END Iteration %d =-=-=-=-=-= Wed Dec 09 02:47:03 GMT 2026\nKESTREL_EPOCH: 1796784423\n", i
    }
    printf "%s", rest
  }' "$WORK/samplers.out" >"$WORK/samplers2.out"
clock_checks samplers2.out
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
