#!/usr/bin/env bash
# The page of a capture that went wrong: against a simulated controller one
# command fails (error text on standard error) and one hangs until the
# command time-out kills it. In headless Chromium both are listed at the top
# of the page with their messages, the controller's text shown and never run;
# the empty commands are not among them; a configuration-only report draws
# no chart.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

source "$(dirname "$0")/page_lib.sh"

model faulty 'fault:uptime = error <img src=x onerror="document.title=1">uptime: clock gone' \
  'fault:vol status = hang'
forget
(cd "$WORK" && timeout 90 "$KESTREL_BIN" -c -C 2 -t 0 -f faulty >"$WORK/out" 2>"$WORK/err")
check "capture: status 0" [ $? -eq 0 ]
check "capture: a command killed" grep -q '^Killing process tree at PID: ' "$WORK/out"

"$REPORT_BIN" html "$WORK/out" -o "$WORK/page.html" 2>"$WORK/page.err"
check "page written" [ $? -eq 0 ]
browser --enable-logging=stderr --v=0 --dump-dom "file://$WORK/page.html" \
  >"$WORK/page.dom" 2>"$WORK/page.console"
check "script ran without errors" grep -q '<body data-errors="0"[^>]* data-ready="1"' "$WORK/page.dom"
check "no network" bash -c "! grep -qE 'net::ERR|http://|https://' '$WORK/page.console'"
python3 - "$WORK/page.dom" >"$WORK/page.check" <<'PY'
import sys
from html.parser import HTMLParser
problems = []
class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.order, self.items, self.item, self.charts, self.images, self.title = [], [], None, 0, 0, ''
        self.in_title = False
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if a.get('id'): self.order.append(a['id'])
        if tag == 'li' and 'data-status' in a:
            self.item = [a['data-status'], '']
            self.items.append(self.item)
        if tag == 'div' and a.get('class') == 'chart': self.charts += 1
        if tag == 'img': self.images += 1
        if tag == 'title': self.in_title = True
    def handle_endtag(self, tag):
        if tag == 'li': self.item = None
        if tag == 'title': self.in_title = False
    def handle_data(self, text):
        if self.item is not None: self.item[1] += text
        if self.in_title: self.title += text
page = Page()
page.feed(open(sys.argv[1], encoding='utf-8').read())
failed = [text for status, text in page.items if status == 'failed']
killed = [text for status, text in page.items if status == 'killed']
if not any('uptime on faulty' in t and '<img src=x onerror="document.title=1">uptime: clock gone' in t for t in failed):
    problems.append('failed uptime with its message not listed: %r' % failed)
if not any('vol status -v on faulty' in t and 'Killing process tree at PID:' in t for t in killed):
    problems.append('killed vol status not listed: %r' % killed)
if len(failed) != 1 or len(killed) != 1:
    problems.append('failed %d, killed %d, expected one each: %r' % (len(failed), len(killed), page.items))
if 'failures' not in page.order or page.order.index('failures') > page.order.index('run-header'):
    problems.append('the failures are not at the top: %r' % page.order[:8])
if page.images: problems.append('controller text became %d element(s)' % page.images)
if page.title.strip() == '1': problems.append('controller text ran as script')
if page.charts: problems.append('%d chart(s) in a configuration-only report' % page.charts)
print('failed %d, killed %d, charts %d' % (len(failed), len(killed), page.charts))
print('\n'.join(problems))
sys.exit(1 if problems else 0)
PY
check "failed and killed at the top, no chart ($(head -1 "$WORK/page.check"))" \
  [ "${PIPESTATUS[0]}" = 0 ]
tail -n +2 "$WORK/page.check" >&2
check "charts say the report is configuration-only" \
  grep -q 'A configuration-only report: nothing was sampled over time.' "$WORK/page.dom"
check "index marks the failed command" grep -qE '<tr [^>]*data-status="failed"' "$WORK/page.dom"
browser --hide-scrollbars --window-size=1400,1600 --screenshot="$ARTIFACTS/report-page-problems.png" \
  "file://$WORK/page.html" >/dev/null 2>&1
check "screenshot kept" [ -s "$ARTIFACTS/report-page-problems.png" ]

# A sampler table whose column names are long or hold markup: the charts stay
# inside the window, each title cut on the page and whole in its tooltip, the
# markup shown as text.
long_name=$(printf 'very_long_column_name_%.0s' $(seq 1 20))
hostile='<img/src=x/onerror=document.title=1>'
{
  echo '=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= wide.out'
  echo "   CPU   $long_name   $hostile"
  echo '    11      1176      5'
  echo '    28      4387      6'
  echo
  echo 'EXE-TIME of: type wide.out : 0 seconds'
  echo 'KESTREL_EPOCH: 1796660601'
} >"$WORK/wide.out"
"$REPORT_BIN" html "$WORK/wide.out" -o "$WORK/wide.html" 2>/dev/null
# The test's own probe, added to a copy: the page's width once it is drawn.
sed 's|</body></html>|<script>addEventListener("load", () => { document.body.dataset.width = document.documentElement.scrollWidth + "/" + innerWidth; });</script></body></html>|' \
  "$WORK/wide.html" >"$WORK/wide-probe.html"
browser --window-size=1400,900 --dump-dom "file://$WORK/wide-probe.html" >"$WORK/wide.dom" 2>/dev/null
python3 - "$WORK/wide.dom" "$long_name" "$hostile" >"$WORK/wide.check" <<'PY'
import re, sys
from html.parser import HTMLParser
dom, long_name, hostile = open(sys.argv[1], encoding='utf-8').read(), sys.argv[2], sys.argv[3]
problems = []
class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.charts, self.tooltips, self.images, self.width = [], [], 0, ''
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'div' and a.get('class') == 'chart': self.charts.append(a)
        if tag == 'div' and a.get('class') == 'u-title': self.tooltips.append(a.get('title'))
        if tag == 'img': self.images += 1
        if tag == 'body': self.width = a.get('data-width', '')
page = Page()
page.feed(dom)
m = re.match(r'(\d+)/(\d+)$', page.width)
if not m or int(m.group(1)) > int(m.group(2)):
    problems.append('page width %r, wider than the window' % page.width)
if [c.get('title') for c in page.charts] != ['CPU', long_name, hostile]:
    problems.append('chart tooltips %r' % [c.get('title') for c in page.charts])
if long_name not in page.tooltips or hostile not in page.tooltips:
    problems.append('chart title tooltips %r' % page.tooltips)
if page.images or '<title>1</title>' in dom: problems.append('a column name ran as markup')
print('width ' + page.width)
print('\n'.join(problems))
sys.exit(1 if problems else 0)
PY
check "long titles cut and kept whole in the tooltip ($(head -1 "$WORK/wide.check"))" \
  [ "${PIPESTATUS[0]}" = 0 ]
tail -n +2 "$WORK/wide.check" >&2
finish
