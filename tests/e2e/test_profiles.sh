#!/usr/bin/env bash
# Profile capture (-P) with -t 1 against simulated controllers, the runs at
# the same time: the complete profile on a single-processor controller with
# old gmon files, two domains, hostile names in the listings (profile and
# trace files), a profiler and a trace facility that never answer, and the
# modes that take no profiles (-x, -c, -t 0).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
export CTLSIM_HANG_LIMIT=600

# live_clients NAMES: remote-shell clients of these controllers (an extended
# alternation) that still run; by command line, since process ids are reused.
live_clients() {
  ps -eo stat=,args= | awk -v re="(rsh|plink|ssh)\\.exe ($1) " '$1 !~ /^Z/ && $0 ~ re' | grep -c .
}

# files NAME PATH...: NAME's file tree holds these files (content: "old PATH").
files() {
  local name=$1 path
  shift
  for path in "$@"; do
    mkdir -p "$(dirname "$WORK/home/models/$name/files/$path")"
    echo "old $path" >"$WORK/home/models/$name/files/$path"
  done
}

one_cpu=("processors = 1" "vzones =" "vifs =")
model p1 "${one_cpu[@]}"
files p1 gmon.old.1 gmon.old.2 etc/log/messages
model p2 "${one_cpu[@]}"
model h1 "vzones =" "vifs =" "fault:ls / = stderr ../gmon.escape" \
  "fault:ls /etc/log = stderr ../../sktrace.escape"
files h1 'gmon";touch${IFS}PWNED_G;"' 'gmon$(touch${IFS}PWNED_G2)' 'gmon%COMSPEC%' gmon.plain \
  'etc/log/sktrace`touch${IFS}PWNED_T`' etc/log/sktrace_plain
model hung1 "vzones =" "vifs =" "fault:prof = hang" "fault:trace = hang"
for name in x1 c1 z1; do
  model "$name" "vzones =" "vifs ="
  files "$name" gmon.old
done
forget

start_run flat -t 1 -F -V -P flat -f p1
start_run two -t 1 -F -V -P net,raid -f p2
start_run hostile -t 1 -F -V -P flat -T default -f h1
start_run hung -t 1 -F -V -P flat -T default -f hung1
start_run pretend -t 1 -F -V -x -P flat -T default -f x1
start_run config -c -F -V -P flat -T default -f c1
start_run nosampling -t 0 -F -V -P flat -T default -f z1
# Ctrl+C a few seconds into the wait, while the profiler is on and the trace
# runs: both are told to stop before the run ends. A background job starts
# with SIGINT ignored; env gives kestrel the default back, as a terminal does.
model i1 "vzones =" "vifs ="
mkdir -p "$WORK/interrupted"
(cd "$WORK/interrupted" || exit
  env --default-signal=INT "$KESTREL_BIN" -t 1 -F -V -P flat -T default -f i1 >out 2>err &
  echo $! >pid
  wait $!
  echo $? >rc) &
(for _ in $(seq 1 1200); do
  grep -q 'Sleep for' "$WORK/interrupted/err" 2>/dev/null && break
  sleep 0.1
done
sleep 3
until [ -s "$WORK/interrupted/pid" ]; do sleep 0.1; done
kill -INT "$(cat "$WORK/interrupted/pid")") &
wait

stamp_line='Begin: [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} GMT [0-9]{4} ?'
# The copy-name stamp of today: years since 1900, month from 0, day.
today="$(($(date +%Y) - 1900))$(($(date +%-m) - 1))$(date +%-d)"
gmon_of() { (cd "$WORK/$1/gmon" 2>/dev/null && ls); }
left_on() { (cd "$WORK/state/$1/files" && ls -A | grep gmon); }

# ---------------------------------------------------------------- flat
check "flat: status 0" [ "$(run_status flat)" = 0 ]
check "flat: no single-processor warning" none 'Warning: Collecting' <"$WORK/flat/err"
check "flat: old files removed last to first, before the profile" ascending \
  "$(remote_index p1 " rm /gmon.old.2 ")" "$(remote_index p1 " rm /gmon.old.1 ")" \
  "$(remote_index p1 " prof reset ; prof on  ")" "$(remote_index p1 " prof off ; prof dump  ")" \
  "$(remote_index p1 " rdfile /gmon.1.flat ")" "$(remote_index p1 " rm /gmon.1.flat ")"
check "flat: old files removed in their own report sections" \
  grep -qE '^=-=-=-=-=-= [A-Z]+ p1 PRESTATS =-=-=-=-=-= rm /gmon\.old\.2$' "$WORK/flat/out"
check "flat: copy removed from the controller in its own section" \
  grep -qE '^=-=-=-=-=-= [A-Z]+ p1 POSTSTATS =-=-=-=-=-= rm /gmon\.1\.flat$' "$WORK/flat/out"
check "flat: old files never copied" none 'rdfile /gmon.old' <<<"$(remotes p1)"
copies=$(gmon_of flat)
check "flat: the info file and one copy in gmon/" [ "$(wc -l <<<"$copies")" -eq 2 ]
copy=$(grep -E "^p1_${today}[0-9]+_1_gmon\.1\.flat$" <<<"$copies")
check "flat: copy named controller_stamp_iteration_file" [ -n "$copy" ]
check "flat: copy holds the controller's file" \
  grep -qx 'gmon profile of p1, domain flat, dumped at [0-9]*' "$WORK/flat/gmon/$copy"
check "flat: nothing left on the controller" [ -z "$(left_on p1)" ]
info=$(sed -E "s/^$stamp_line\$/Begin: <time>/" "$WORK/flat/gmon/p1_1_profile_info.txt")
expected='Capturing profiles: flat on p1
Existing profile data files:
Begin profile  on p1
Begin: <time>
Profiling data reset.
Profiling enabled (domain: all).
Profiling disabled.
Profile data written to /gmon.1.flat
End profile  on p1
Begin: <time>
-Finished capturing profiles profiles on p1
gmon.1.flat'
check "flat: information file" [ "$info" = "$expected" ]
check "flat: progress lines" bash -c "grep -qx 'Capturing profiles: p1:flat' '$WORK/flat/err' &&
  grep -A1 -x 'Deleting existing profile file: gmon.old.2' '$WORK/flat/err' | grep -qx 'Deleting existing profile file: gmon.old.1' &&
  grep -qx 'Reading profile data file: gmon.1.flat...Done!' '$WORK/flat/err'"
check "flat: no report text from the profiler" none 'Profiling|Profile data' <"$WORK/flat/out"

# ---------------------------------------------------------------- two domains
check "two: status 0" [ "$(run_status two)" = 0 ]
for domain in net raid; do
  check "two: one warning for $domain" [ "$(grep -cxF "Warning: Collecting \"$domain\" profile on single processor filer." "$WORK/two/err")" -eq 1 ]
done
check "two: domains in order, each switched off and dumped" ascending \
  "$(remote_index p2 " prof reset ; prof on net ")" "$(remote_index p2 " prof off ; prof dump  ")" \
  "$(remote_index p2 " prof reset ; prof on raid ")"
check "two: the file listed last copied first" ascending \
  "$(remote_index p2 " rdfile /gmon.2.raid ")" "$(remote_index p2 " rdfile /gmon.1.net ")"
copies=$(gmon_of two)
check "two: both profiles copied" bash -c "grep -qE '^p2_[0-9]+_1_gmon\.1\.net$' <<<'$copies' &&
  grep -qE '^p2_[0-9]+_1_gmon\.2\.raid$' <<<'$copies'"
info="$WORK/two/gmon/p2_1_profile_info.txt"
began=$(stamp_seconds "$(grep -A1 -x 'Begin profile net on p2' "$info" | tail -1)")
ended_at=$(stamp_seconds "$(grep -A1 -x 'End profile net on p2' "$info" | tail -1)")
check "two: each profile runs (50 / 2) - 5 seconds" within $((ended_at - began)) 20 24
check "two: nothing left on the controller" [ -z "$(left_on p2)" ]

# ---------------------------------------------------------------- hostile names
check "hostile: status 0" [ "$(run_status hostile)" = 0 ]
check "hostile: nothing planted ran" [ -z "$(find "$WORK" -name 'PWNED*' -print -quit)" ]
check "hostile: nothing written outside the run's folders" \
  [ -z "$(find "$WORK" -maxdepth 2 -name '*escape*' -print -quit)" ]
check "hostile: path names left out with a warning" bash -c \
  "grep -q 'WARNING: h1: profile file \"../gmon.escape\" holds characters' '$WORK/hostile/err' &&
   grep -q 'WARNING: h1: trace file \"../../sktrace.escape\" holds characters' '$WORK/hostile/err'"
check "hostile: the warnings in the error log too" grep -q 'WARNING: h1: profile file "../gmon.escape"' "$WORK/hostile/out"
check "hostile: no planted name reached the controller" none 'PWNED|escape|COMSPEC|\.\./' <<<"$(remotes h1)"
check "hostile: plain names still copied" bash -c "ls '$WORK/hostile/gmon' | grep -qE '^h1_[0-9]+_1_gmon\.1\.flat$' &&
  ls '$WORK'/hostile/h1_ITR_1_*_sktrace/h1_1_sktrace_plain >/dev/null"
check "hostile: old plain file removed, hostile ones left alone" [ "$(left_on h1 | wc -l)" -eq 3 ]

# ---------------------------------------------------------------- hung profiler
check "hung: status 0" [ "$(run_status hung)" = 0 ]
check "hung: the workers ended within the wait" none 'All background threads' <"$WORK/hung/err"
check "hung: profile cut short, in the error log" \
  grep -q 'WARNING: Profile capture on hung1 was cut short' "$WORK/hung/out"
check "hung: trace cut short, in the error log" \
  grep -q 'WARNING: Trace capture on hung1 was cut short' "$WORK/hung/out"
check "hung: nothing but the clean-up after the hung command" none 'prof dump|trace enable' <<<"$(remotes hung1)"
check "hung: the profiler and the trace told to stop" bash -c \
  "grep -qx ' prof off ' <<<'$(remotes hung1)' && grep -qx ' trace stop ' <<<'$(remotes hung1)'"
check "hung: no hung client survives" [ "$(live_clients hung1)" -eq 0 ]

# ---------------------------------------------------------------- Ctrl+C
check "interrupted: status 130" [ "$(run_status interrupted)" = 130 ]
[ "$(run_status interrupted)" = 130 ] || tail -5 "$WORK/interrupted/err" >&2
check "interrupted: the profiler told to stop" grep -qx ' prof off ' <<<"$(remotes i1)"
check "interrupted: the trace's points disabled and the trace stopped" bash -c \
  "grep -qx ' trace disable SK ' <<<'$(remotes i1)' && grep -qx ' trace disable FSYS ' <<<'$(remotes i1)' &&
   grep -qx ' trace stop ' <<<'$(remotes i1)'"
check "interrupted: no client left running" [ "$(live_clients i1)" -eq 0 ]

# ---------------------------------------------------------------- no profiles
for run in pretend config nosampling; do
  check "$run: status 0" [ "$(run_status $run)" = 0 ]
  check "$run: no information file, no copy" [ -z "$(gmon_of $run)" ]
  check "$run: no trace folder" [ -z "$(ls -d "$WORK/$run"/*_sktrace 2>/dev/null)" ]
done
for name in x1 c1 z1; do
  check "$name: no gmon file touched, no profiler or trace command" \
    none 'gmon|prof |trace ' <<<"$(remotes $name)"
done
check "no client left running" [ "$(live_clients 'p1|p2|h1')" -eq 0 ]
finish
