#!/usr/bin/env bash
# Stats instances around the sampling wait, over two iterations. All-objects
# mode (sim1, 7.3.5): one instance per iteration started in prestats and
# stopped in poststats, its output split into one section per object, the raw
# file dumped later. Legacy mode (7.2 and 7.0.2): one instance per object, each
# start and stop row with its TIME line, and each stop of an instance started
# in the same iteration with its TIME_DELTA.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

model old72 "release = Corvex Release 7.2: Mon Jan 7 2008" "licenses = nfs, fcp" "vzones ="
model old702 "release = Corvex Release 7.0.2: Mon Jan 1 2007" "licenses = nfs" "vzones ="
forget
kestrel -i 2 -t 0 -F -V -f sim1 -f old72 -f old702
check "status 0" [ "$rc" -eq 0 ]
mv "$WORK/out" "$WORK/report"

# epoch TEXT: seconds since the epoch of a report time stamp.
epoch() { date -u -d "$1" +%s; }

# delta_ok LINE SECONDS FORMAT: LINE is the TIME_DELTA line of SECONDS or of
# one second less (the two clocks are read a moment apart), at least the
# 10-second wait, written with the printf FORMAT of minutes and seconds.
delta_ok() {
  local d
  for d in "$2" "$(($2 - 1))"; do
    [ "$d" -ge 10 ] || continue
    [ "$1" = "TIME_DELTA: $(printf "$3" $((d / 60)) $((d % 60))) (${d}s)" ] && return 0
  done
  return 1
}

# start_time NAME INSTANCE: the TIME line's seconds of INSTANCE's start row in
# this iteration.
start_time() {
  local marker
  marker=$(grep -E "^=-=-=-=-=-= PERF $1 PRESTATS =-=-=-=-=-= stats start -I $2( |\$)" "$WORK/out" | head -1)
  epoch "$(next_line "$marker" | sed 's/^TIME: //')"
}

# The controller sees one all-objects instance per iteration, each stopped
# before the next starts.
mapfile -t ids < <(remotes sim1 | sed -n 's/^ stats start -I \(kestrel_stats_[0-9]*\) $/\1/p')
check "sim1: an instance per iteration" [ "${#ids[@]}" -eq 2 ]
check "sim1: distinct names" [ "${ids[0]:-}" != "${ids[1]:-}" ]
check "sim1: no per-object instances" \
  [ -z "$(remotes sim1 | grep 'stats st' | grep -vE " -I (${ids[0]:-x}|${ids[1]:-x}) ")" ]
check "sim1: started, stopped, started, stopped" ascending \
  "$(remote_index sim1 " stats start -I ${ids[0]:-x} ")" "$(remote_index sim1 " stats stop -I ${ids[0]:-x} ")" \
  "$(remote_index sim1 " stats start -I ${ids[1]:-x} ")" "$(remote_index sim1 " stats stop -I ${ids[1]:-x} ")"

# iteration_checks N: the checks below on the report of iteration N alone.
iteration_checks() {
  local it=$1 id=${ids[$(($1 - 1))]:-x}
  sed -n "/^=-=-=-=-=-= BEGIN Iteration $it /,/^=-=-=-=-=-= END Iteration $it /p" "$WORK/report" >"$WORK/out"
  check "$it: iteration in the report" [ -s "$WORK/out" ]
  local started=${id#kestrel_stats_} post split presets stop_epoch headers_ok preset marker
  local after time_text delta misplaced raw_marker raw flattened counters c pre starts untimed
  local stops timed instance stop pri vol
  # ------------------------------------------------------------ all objects
  check "$it: sim1: start in prestats" in_block PRESTATS sim1 "$(cmd_marker 'PERF sim1 PRESTATS' "stats start -I $id")"
  check "$it: sim1: no TIME line on the start" \
    none '^TIME' <<<"$(next_line "$(cmd_marker 'PERF sim1 PRESTATS' "stats start -I $id")")"

  post=$(block POSTSTATS sim1)
  # The split comes first in poststats, before the catalogue's first command.
  split=$(awk '/^=-=-=-=-=-= (CONFIG|PERF) sim1 POSTSTATS =-=-=-=-=-= / && !/ stats stop -I kestrel_/ { exit } { print }' <<<"$post")
  presets=$(sed -n 's/^=-=-=-=-=-= PERF sim1 POSTSTATS =-=-=-=-=-= stats stop -I //p' <<<"$split")
  check "$it: split: before the catalogue" [ "$(grep -c '^=-=-=-=-=-= ' <<<"$split")" -eq "$(wc -l <<<"$presets")" ]
  check "$it: split: volume as kestrel_vol" grep -qx kestrel_vol <<<"$presets"
  check "$it: split: nfsv3 as kestrel_nfs" grep -qx kestrel_nfs <<<"$presets"
  check "$it: split: other objects by name" grep -qx kestrel_processor <<<"$presets"
  check "$it: split: no long names for volume and nfsv3" none '^kestrel_(volume|nfsv3)$' <<<"$presets"
  check "$it: split: each object once" [ -z "$(sort <<<"$presets" | uniq -d)" ]
  check "$it: split: no StatisticsID line" none StatisticsID <<<"$split"

  # Every preset header: the stop time as epoch, the TIME line of that second,
  # the zero-padded TIME_DELTA since the start.
  stop_epoch=$(sed -n 's/^KESTREL_EPOCH: //p' <<<"$split" | sort -u)
  check "$it: split: one stop time" [ "$(wc -l <<<"$stop_epoch")" -eq 1 ]
  check "$it: split: an epoch line before each header" \
    [ "$(grep -c '^KESTREL_EPOCH: ' <<<"$split")" -eq "$(wc -l <<<"$presets")" ]
  headers_ok=1
  while IFS= read -r preset; do
    marker=$(cmd_marker 'PERF sim1 POSTSTATS' "stats stop -I $preset")
    mapfile -t after < <(grep -xF -A2 -- "$marker" <<<"$split")
    time_text=${after[1]#TIME: }
    if [ "${after[1]}" = "$time_text" ] || [ "$(epoch "$time_text")" != "$stop_epoch" ] ||
      ! delta_ok "${after[2]}" $((stop_epoch - started)) '%02d:%02d'; then
      headers_ok=0
      echo "bad header of $preset: ${after[*]}" >&2
    fi
    [ "$(grep -xF -B2 -- "$marker" <<<"$split" | head -1)" = "KESTREL_EPOCH: $stop_epoch" ] || headers_ok=0
  done <<<"$presets"
  check "$it: split: every header with TIME and zero-padded TIME_DELTA" [ "$headers_ok" -eq 1 ]
  delta=$(grep -xF -A2 -- "$(cmd_marker 'PERF sim1 POSTSTATS' 'stats stop -I kestrel_vol')" <<<"$split" | tail -1)
  check "$it: split: kestrel_vol's delta reads 00:ss" grep -qxE 'TIME_DELTA: 00:[0-5][0-9] \([1-5][0-9]s\)' <<<"$delta"

  # Each counter line sits under its object's preset.
  misplaced=$(awk -F: '
    /^=-=-=-=-=-= / { preset = $0; sub(/.* stats stop -I /, "", preset); next }
    /^(KESTREL_EPOCH|TIME|TIME_DELTA): / || $0 == "" { next }
    { want = $1 == "volume" ? "kestrel_vol" : $1 == "nfsv3" ? "kestrel_nfs" : "kestrel_" $1
      if (want != preset) print preset ": " $0 }' <<<"$split")
  check "$it: split: counters under their own preset" [ -z "$misplaced" ]

  # The raw capture file follows later, under the title then in force, and the
  # split holds exactly its counters, array elements flattened.
  raw_marker=$(cmd_marker 'PERF sim1 POSTSTATS' 'stats.out')
  check "$it: raw: dumped in sim1's poststats" grep -qxF -- "$raw_marker" <<<"$post"
  check "$it: raw: after the catalogue" \
    [ "$(grep '^=-=-=-=-=-= ' <<<"$post" | tail -1)" = "$raw_marker" ]
  raw=$(awk -v m="$raw_marker" 'on && /^EXE-TIME of: / { exit } on { print } $0 == m { on = 1 }' <<<"$post")
  check "$it: raw: begins with the instance" [ "$(head -1 <<<"$raw")" = "StatisticsID: $id" ]
  check "$it: raw: holds array counters" grep -q $'^\t' <<<"$raw"
  flattened=$(awk '
    /^StatisticsID: / || $0 == "" { next }
    /^\t/ { sub(/^\t+/, ""); print header "." $0; next }
    /:$/ { header = substr($0, 1, length($0) - 1); next }
    { print }' <<<"$raw")
  counters=$(grep -vE '^(=-=-=-=-=-= |KESTREL_EPOCH: |TIME: |TIME_DELTA: |$)' <<<"$split")
  check "$it: split: the raw counters, arrays flattened" [ "$counters" = "$flattened" ]
  check "$it: split: an array element" grep -qE '^processor:processor0:domain_busy\.idle:[0-9]+$' <<<"$counters"

  # ------------------------------------------------------------ legacy mode
  for c in old72 old702; do
    pre=$(block PRESTATS "$c")
    starts=$(grep "^=-=-=-=-=-= PERF $c PRESTATS =-=-=-=-=-= stats start -I " <<<"$pre")
    check "$it: $c: per-object starts" [ "$(wc -l <<<"$starts")" -ge 6 ]
    check "$it: $c: volume instance started" grep -qxF "$(cmd_marker "PERF $c PRESTATS" 'stats start -I kestrel_vol volume')" <<<"$starts"
    check "$it: $c: controller got it" [ -n "$(remote_index "$c" ' stats start -I kestrel_vol volume ')" ]
    check "$it: $c: no all-objects instance" [ -z "$(remotes "$c" | grep kestrel_stats_)" ]
    untimed=0
    while IFS= read -r marker; do
      grep -qxE 'TIME: [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} GMT [0-9]{4}' <<<"$(next_line "$marker")" || untimed=$((untimed + 1))
    done <<<"$starts"
    check "$it: $c: each start followed by its TIME line" [ "$untimed" -eq 0 ]
  done

  # Stop rows: old-form texts; TIME, then TIME_DELTA since that instance's
  # start, minutes and seconds not padded.
  post=$(block POSTSTATS old72)
  stops=$(grep '^=-=-=-=-=-= PERF old72 POSTSTATS =-=-=-=-=-= stats stop -I ' <<<"$post")
  check "$it: old72: volume stop row" grep -qxF "$(cmd_marker 'PERF old72 POSTSTATS' 'stats stop -I kestrel_vol volume')" <<<"$stops"
  check "$it: old72: a dozen stop rows" [ "$(wc -l <<<"$stops")" -ge 12 ]
  timed=1
  while IFS= read -r marker; do
    instance=$(sed -E 's/.* stats stop -I ([^ ]+).*/\1/' <<<"$marker")
    mapfile -t after < <(grep -xF -A3 -- "$marker" <<<"$post")
    stop=$(epoch "${after[1]#TIME: }")
    if [[ ${after[1]} != "TIME: "* ]] || ! delta_ok "${after[2]}" $((stop - $(start_time old72 "$instance"))) '%d:%d' ||
      [ "${after[3]}" != "StatisticsID: $instance" ]; then
      timed=0
      echo "bad stop of $instance: ${after[*]}" >&2
    fi
  done <<<"$stops"
  check "$it: old72: every stop with TIME, unpadded TIME_DELTA and the controller's reply" [ "$timed" -eq 1 ]
  delta=$(grep -xF -A2 -- "$(cmd_marker 'PERF old72 POSTSTATS' 'stats stop -I kestrel_vol volume')" <<<"$post" | tail -1)
  check "$it: old72: kestrel_vol's delta reads 0:ss" grep -qxE 'TIME_DELTA: 0:[1-5][0-9] \([1-5][0-9]s\)' <<<"$delta"
  check "$it: old72: no split sections" none '^=-=-=-=-=-= PERF old72 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_[a-z_]+$' <<<"$stops"

  # 7.0.2 stops a priority instance its prestats never started: TIME only.
  pri=$(cmd_marker 'PERF old702 POSTSTATS' 'stats stop -I kestrel_pri priorityqueue')
  mapfile -t after < <(grep -xF -A2 -- "$pri" "$WORK/out")
  check "$it: old702: unstarted instance stopped" [ "${#after[@]}" -eq 3 ]
  check "$it: old702: its TIME line" grep -qE '^TIME: [A-Z]' <<<"${after[1]:-}"
  check "$it: old702: no TIME_DELTA" none '^TIME_DELTA' <<<"${after[2]:-}"
  vol=$(cmd_marker 'PERF old702 POSTSTATS' 'stats stop -I kestrel_vol volume')
  check "$it: old702: a started one has its delta" \
    grep -qxE 'TIME_DELTA: [0-9]+:[0-9]+ \([0-9]+s\)' <<<"$(grep -xF -A2 -- "$vol" "$WORK/out" | tail -1)"
}

iteration_checks 1
iteration_checks 2
finish
