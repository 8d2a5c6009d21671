#!/usr/bin/env bash
# The exports against the real Prometheus: kestrel-report openmetrics of a
# fresh capture against the simulator and of a sampled capture (the reader's
# test report, written by kestrel against ctlsim with -t 1) and a second copy
# of it from another host are backfilled with promtool into one storage
# folder; a private prometheus on loopback serves it, and its HTTP API must
# give back the rows of the reports as the reader reads them (through the CSV
# export, checked against the JSON first). A report with hostile target and
# file names goes through both exports.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

REPORT_BIN=${KESTREL_REPORT_BIN:-$(dirname "$KESTREL_BIN")/kestrel-report}
[ -x "$REPORT_BIN" ] || { echo "SKIP: no kestrel-report at $REPORT_BIN" >&2; exit 77; }
for tool in promtool prometheus python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done
SAMPLED="$(cd "$(dirname "$0")/../.." && pwd)/src/report/testdata/samplers.out"

# A fresh capture, short: no sampling wait, controller data only.
(cd "$WORK" && "$KESTREL_BIN" -t 0 -F -V -p -f sim1 >"$WORK/fresh.out" 2>"$WORK/fresh.err"
 echo $? >"$WORK/fresh.rc") &
capture_pid=$!

# The second sampled capture: the same rows, taken from another host.
sed 's/fhost/ghost/g' "$SAMPLED" >"$WORK/other.out"
cp "$SAMPLED" "$WORK/sampled.out"

# The hostile report: a controller named with a path, quotes, a comma, a
# backslash, a carriage return and non-ASCII letters, and a file of the same.
HOSTILE_TARGET=$'../../x/"ü",\\\r..'
python3 - "$SAMPLED" "$WORK/hostile.out" "$HOSTILE_TARGET" <<'PY'
import sys
text = open(sys.argv[1], 'rb').read()
name = sys.argv[3].encode('utf-8')
text = text.replace(b'sim1', name).replace(b'lun_stats.out', '../lun"é",\x01.out'.replace('/', '_').encode())
open(sys.argv[2], 'wb').write(text)
PY

"$REPORT_BIN" json "$WORK/sampled.out" >"$WORK/sampled.json"
check "json of the sampled capture" [ $? = 0 ]
for name in sampled other; do
  "$REPORT_BIN" csv "$WORK/$name.out" -o "$WORK/$name.csv" 2>"$WORK/$name.csv.err"
  check "csv of $name: status 0" [ $? = 0 ]
  "$REPORT_BIN" openmetrics "$WORK/$name.out" -o "$WORK/$name.om" 2>"$WORK/$name.om.err"
  check "openmetrics of $name: status 0" [ $? = 0 ]
done

# The CSV files read back: header, rows, times, values equal to the reader's JSON.
python3 - "$WORK/sampled.json" "$WORK/sampled.csv" <<'PY' >"$WORK/csv_check" 2>&1
import csv, json, math, os, sys
data = json.load(open(sys.argv[1]))
folder = sys.argv[2]
bad = []
files = {}
for name in os.listdir(folder):
    with open(os.path.join(folder, name), newline='', encoding='utf-8') as f:
        files[name] = list(csv.reader(f))
def table(name):
    rows = files[name]
    return rows[0], rows[1:]
# Every file: a header, times strictly increasing per instance.
for name, rows in files.items():
    if name == 'sections.csv':
        continue
    head, body = rows[0], rows[1:]
    if head[0] != 'time' or not body:
        bad.append('%s: header %r, %d rows' % (name, head[:2], len(body)))
    instance = 1 if len(head) > 1 and head[1] in ('lun', 'disk', 'instance') else None
    last = {}
    for r in body:
        key = r[instance] if instance else ''
        if len(r) != len(head):
            bad.append('%s: a row of %d fields' % (name, len(r)))
        if key in last and r[0] <= last[key]:
            bad.append('%s: time %s after %s' % (name, r[0], last[key]))
        last[key] = r[0]
# Values equal to the reader's charts, in order.
charts = {}
for f in data['sampler_files']:
    for c in f['charts']:
        charts[(f['target'], f['file'], c['title'])] = c
def values(target, file, title, series=0):
    return [v for v in charts[(target, file, title)]['series'][series]['values'] if v is not None]
def column(name, col, instance=None):
    head, body = table(name)
    i = head.index(col)
    return [float(r[i]) for r in body if r[i] != '' and (instance is None or r[1] == instance)]
for name, col, key, series, instance in [
        ('sim1_i1_sysstat.csv', 'cpu_pct', ('sim1', 'sysstat.out', 'CPU'), 0, None),
        ('sim1_i1_sysstat.csv', 'net_in_kbps', ('sim1', 'sysstat.out', 'Net_in'), 0, None),
        ('sim1_i1_lun_stats.csv', 'latency_ms', ('sim1', 'lun_stats.out', 'Average Latency'), 1, '/vol/vol1/lun1'),
        ('fhost_i1_system_perfmon.csv', 'cpu_pct', ('fhost', 'system_perfmon.out', '%cpu'), 0, None),
        ('fhost_i1_ldisk_perfmon.csv', 'read_kbps', ('fhost', 'ldisk_perfmon.out', 'rKB/s'), 0, 'vda')]:
    want = values(*key, series)
    got = column(name, col, instance)
    if want != got or not want:
        bad.append('%s %s: reader %r..., csv %r...' % (name, col, want[:3], got[:3]))
head, body = table('sim1_i1_sysstat.csv')
if len(body) != len(charts[('sim1', 'sysstat.out', 'CPU')]['x']):
    bad.append('sysstat rows: %d' % len(body))
if body[0][0] != '2026-12-09T02:45:57Z' or body[-1][0] != '2026-12-09T02:46:54Z':
    bad.append('sysstat times %s..%s' % (body[0][0], body[-1][0]))
head, body = table('sections.csv')
clocks = {(r[2], r[4]): r[9] for r in body}
if clocks.get(('sim1', 'sysstat.out')) != 'begin+interval' or \
        clocks.get(('sim1', 'domain_stats.out')) != 'stamps' or \
        clocks.get(('fhost', 'system_perfmon.out')) != 'elapsed':
    bad.append('clocks: %r' % {k: v for k, v in clocks.items() if v})
if head != ['iteration', 'phase', 'target', 'kind', 'command', 'start_time', 'seconds', 'status', 'line', 'clock'] \
        or len(body) != len(data['sections']):
    bad.append('sections.csv: %r, %d rows' % (head, len(body)))
print('\n'.join(bad))
sys.exit(1 if bad else 0)
PY
rc=$?
check "csv read back equals the reader: $(head -3 "$WORK/csv_check")" [ "$rc" = 0 ]

# Backfill all captures into one storage folder.
wait "$capture_pid"
check "the fresh capture: status 0" [ "$(cat "$WORK/fresh.rc")" = 0 ]
"$REPORT_BIN" openmetrics "$WORK/fresh.out" -o "$WORK/fresh.om" 2>"$WORK/fresh.om.err"
check "openmetrics of the fresh capture: status 0" [ $? = 0 ]
check "the fresh capture ends with # EOF" [ "$(tail -1 "$WORK/fresh.om")" = "# EOF" ]
for name in sampled other fresh; do
  promtool tsdb create-blocks-from openmetrics "$WORK/$name.om" "$WORK/tsdb" >"$WORK/$name.promtool" 2>&1
  rc=$?
  check "promtool takes $name: $(tail -2 "$WORK/$name.promtool")" [ "$rc" = 0 ]
done

# A private prometheus on a free loopback port, stopped at exit.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'global:\n  scrape_interval: 1h\n' >"$WORK/prometheus.yml"
prometheus --config.file="$WORK/prometheus.yml" --storage.tsdb.path="$WORK/tsdb" \
  --storage.tsdb.retention.time=100y --web.listen-address="127.0.0.1:$port" \
  >"$WORK/prometheus.log" 2>&1 &
prom_pid=$!
trap 'kill "$prom_pid" 2>/dev/null; wait "$prom_pid" 2>/dev/null; rm -rf "$WORK"' EXIT

python3 - "$port" "$WORK/sampled.csv" "$WORK/other.csv" <<'PY' >"$WORK/prom_check" 2>&1
import csv, json, os, sys, time, urllib.parse, urllib.request
port, folders = sys.argv[1], sys.argv[2:]
base = 'http://127.0.0.1:%s' % port
def get(path, **params):
    url = base + path + ('?' + urllib.parse.urlencode(params, doseq=True) if params else '')
    with urllib.request.urlopen(url, timeout=10) as r:
        return json.load(r)
for _ in range(150):
    try:
        with urllib.request.urlopen(base + '/-/ready', timeout=2) as r:
            if r.status == 200:
                break
    except OSError:
        pass
    time.sleep(0.2)
else:
    print('prometheus did not get ready'); sys.exit(1)
bad = []
def iso(seconds):
    return time.strftime('%Y-%m-%dT%H:%M:%SZ', time.gmtime(seconds))
def rows(folder, name):
    with open(os.path.join(folder, name), newline='', encoding='utf-8') as f:
        return list(csv.reader(f))
def series(query):
    data = get('/api/v1/query', query=query + '[10y]', time='2030-01-01T00:00:00Z')
    return data['data']['result']
captures = {'sampled': 'fhost-1796784355', 'other': 'ghost-1796784355'}
# Values and timestamps equal the CSV rows, for several columns and targets.
for folder, capture in zip(folders, captures.values()):
    host = capture.split('-')[0]
    for name, col, metric, extra, instance in [
            ('sim1_i1_sysstat.csv', 'cpu_pct', 'kestrel_controller_cpu_percent', '', None),
            ('sim1_i1_sysstat.csv', 'disk_read_kbps', 'kestrel_controller_disk_read_kbytes_per_second', '', None),
            ('sim1_i1_sysstatM.csv', 'cpu1_pct', 'kestrel_controller_processor_busy_percent', ',processor="1"', None),
            ('sim1_i1_lun_stats.csv', 'read_ops_per_s', 'kestrel_controller_lun_read_ops_per_second', ',lun="/vol/vol1/lun0"', '/vol/vol1/lun0'),
            ('sim1_i1_vifstat_vif1.csv', 'e0d_out_per_s', 'kestrel_controller_vif_out_per_second', ',interface="e0d"', None),
            ('%s_i1_system_perfmon.csv' % host, 'interrupts_per_s', 'kestrel_host_interrupts_per_second', '', None),
            ('%s_i1_ldisk_perfmon.csv' % host, 'write_kbps', 'kestrel_host_disk_write_kbytes_per_second', ',disk="vda"', 'vda')]:
        table = rows(folder, name)
        i = table[0].index(col)
        want = [(r[0], float(r[i])) for r in table[1:] if r[i] != '' and (instance is None or r[1] == instance)]
        target = 'sim1' if name.startswith('sim1') else host
        result = series('%s{capture="%s",target="%s"%s}' % (metric, capture, target, extra))
        if len(result) != 1:
            bad.append('%s %s: %d series' % (capture, metric, len(result)))
            continue
        got = [(iso(t), float(v)) for t, v in result[0]['values']]
        if got != want:
            bad.append('%s %s: csv %r, prometheus %r' % (capture, metric, want[:2], got[:2]))
        labels = result[0]['metric']
        if labels.get('host') != host or labels.get('iteration') != '1':
            bad.append('%s labels %r' % (metric, labels))
# One series per column (and instance) of the tables.
for folder, capture in zip(folders, captures.values()):
    columns = 0
    for name in os.listdir(folder):
        if name == 'sections.csv':
            continue
        table = rows(folder, name)
        head = table[0]
        keyed = head[1] in ('lun', 'disk', 'instance')
        measured = head[2:] if keyed else head[1:]
        for c, col in enumerate(measured):
            at = c + (2 if keyed else 1)
            columns += len({r[1] if keyed else '' for r in table[1:] if r[at] != ''})
    found = get('/api/v1/series', **{'match[]': '{capture="%s"}' % capture,
                                     'start': '2026-01-01T00:00:00Z', 'end': '2030-01-01T00:00:00Z'})
    if len(found['data']) != columns:
        bad.append('%s: %d series, the tables have %d columns' % (capture, len(found['data']), columns))
# The two captures stay apart.
both = series('kestrel_controller_cpu_percent{target="sim1"}')
if sorted(s['metric']['capture'] for s in both) != sorted(captures.values()):
    bad.append('captures of cpu_percent: %r' % [s['metric'] for s in both])
print('\n'.join(bad))
sys.exit(1 if bad else 0)
PY
rc=$?
check "prometheus gives back the reports' rows: $(head -3 "$WORK/prom_check")" [ "$rc" = 0 ]

# Hostile names: promtool takes the metrics, the CSV files stay in their
# folder, and the fields come back whole.
mkdir -p "$WORK/hostile.csv"
touch "$WORK/before"
"$REPORT_BIN" csv "$WORK/hostile.out" -o "$WORK/hostile.csv" 2>"$WORK/hostile.csv.err"
check "csv of the hostile report: status 1 (damaged)" [ $? = 1 ]
"$REPORT_BIN" openmetrics "$WORK/hostile.out" -o "$WORK/hostile.om" 2>"$WORK/hostile.om.err"
check "openmetrics of the hostile report: status 1 (damaged)" [ $? = 1 ]
promtool tsdb create-blocks-from openmetrics "$WORK/hostile.om" "$WORK/tsdb-hostile" \
  >"$WORK/hostile.promtool" 2>&1
rc=$?
check "promtool takes the hostile names: $(tail -2 "$WORK/hostile.promtool")" [ "$rc" = 0 ]
check "hostile: every new file is in the CSV folder" \
  [ -z "$(find "$WORK" -newer "$WORK/before" ! -path "$WORK/hostile.csv/*" ! -path "$WORK/tsdb*" \
    ! -path "$WORK/hostile.*" ! -path "$WORK" ! -path "$WORK/tmp*" -print -quit)" ]
check "hostile: the CSV folder holds only plain names" \
  [ -z "$(find "$WORK/hostile.csv" -mindepth 1 \( -type d -o ! -name '[A-Za-z0-9_]*.csv' \) -print -quit)" ]
python3 - "$WORK/hostile.csv" "$HOSTILE_TARGET" "$WORK/hostile.om" <<'PY' >"$WORK/hostile_check" 2>&1
import csv, os, sys
folder, target, metrics = sys.argv[1], sys.argv[2], sys.argv[3]
bad = []
with open(os.path.join(folder, 'sections.csv'), newline='', encoding='utf-8') as f:
    body = list(csv.reader(f))[1:]
targets = {r[2] for r in body}
# CR inside a field is kept by the quoting; the csv module gives it back.
if target not in targets:
    bad.append('target not read back: %r' % sorted(targets))
files = [n for n in os.listdir(folder) if n != 'sections.csv']
if len([n for n in files if 'sysstat' in n]) < 2 or not any('lun' in n for n in files):
    bad.append('files: %r' % files)
text = open(metrics, encoding='utf-8').read()
if 'target="../../x/\\"ü\\",\\\\\ufffd.."' not in text:
    bad.append('escaped target label missing')
print('\n'.join(bad))
sys.exit(1 if bad else 0)
PY
rc=$?
check "hostile: fields and labels come back whole: $(head -3 "$WORK/hostile_check")" [ "$rc" = 0 ]

finish
