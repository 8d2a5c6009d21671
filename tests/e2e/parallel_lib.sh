# Helpers of the parallel-collection scripts: kestrel runs in the background,
# each in a folder of its own with its own temp root and its own simulator
# state (so runs side by side never share a controller's state), and readers
# that make two reports comparable. Source after lib.sh and controller_lib.sh.

# start NAME ARGS...: kestrel in $WORK/NAME: report out, diagnostics err, pid
# in pid, status in rc; temp root $WORK/NAME/tmp, simulator state
# $WORK/NAME/state. SIGINT gets its default disposition back, as a terminal
# would give it.
start() {
  local name=$1
  shift
  mkdir -p "$WORK/$name/tmp" "$WORK/$name/state"
  (
    cd "$WORK/$name" || exit 1
    tmp="$WORK/$name/tmp" CTLSIM_STATE="$WORK/$name/state" \
      env --default-signal=INT "$KESTREL_BIN" "$@" >out 2>err &
    echo $! >pid
    wait $!
    echo $? >rc
  ) &
  until [ -s "$WORK/$name/pid" ]; do sleep 0.1; done
}

run_pid() { cat "$WORK/$1/pid"; }
status() { cat "$WORK/$1/rc" 2>/dev/null; }

# finished NAME [SECONDS]: waits (default 400 s) for that run to end; a run
# still going then is killed (by its own pid) and the wait fails.
finished() {
  local i
  for ((i = 0; i < ${2:-400} * 5; i++)); do
    [ -s "$WORK/$1/rc" ] && return 0
    sleep 0.2
  done
  echo "run $1 did not end; killing it" >&2
  kill -9 "$(run_pid "$1")" 2>/dev/null
  return 1
}

# await NAME FILE PATTERN [SECONDS]: waits (default 200 s) until a line of
# $WORK/NAME/FILE matches the extended PATTERN.
await() {
  local file="$WORK/$1/$2" i
  for ((i = 0; i < ${4:-200} * 10; i++)); do
    grep -aqE -- "$3" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "gave up waiting for /$3/ in $file" >&2
  return 1
}

# interrupt NAME: SIGINT to that run's kestrel alone.
interrupt() { kill -s INT "$(run_pid "$1")"; }

# scratch_removed NAME: no run folder is left in that run's temp root.
scratch_removed() { [ -z "$(ls -A "$WORK/$1/tmp"/kestrel* 2>/dev/null)" ]; }

# invocations NAME CONTROLLER: the invocation log of CONTROLLER in run NAME.
invocations() { cat "$WORK/$1/state/$2/invocations.log" 2>/dev/null; }

# live_clients NAME CONTROLLER...: the clients of that run that still run,
# as their invocation log lines. The scripts start thousands of processes, so
# a pid may have passed to a later process: that one started after the line
# was logged and does not count.
live_clients() {
  local run=$1 name logs=()
  shift
  for name in "$@"; do
    [ -f "$WORK/$run/state/$name/invocations.log" ] && logs+=("$WORK/$run/state/$name/invocations.log")
  done
  [ "${#logs[@]}" -gt 0 ] || return 0
  ps -e -o pid=,stat=,etimes= | awk -v now="$(date +%s)" '
    FNR == NR { if ($2 !~ /^Z/) started[$1] = now - $3; next }
    ($2 in started) && started[$2] <= int($1) + 1 { print }' - "${logs[@]}"
}

# clients_ended NAME CONTROLLER...: no client of that run still runs.
clients_ended() {
  local live
  live=$(live_clients "$@")
  [ -z "$live" ] && return 0
  echo "still running: $live" >&2
  return 1
}

# received NAME CONTROLLER: what CONTROLLER received in run NAME, one
# invocation a line (client, status, remote command, arguments), statistics
# instance names made stable. The samplers of one controller start on worker
# threads at once and statit is begun and ended again and again while they
# run, as often as the time allows: within each run of consecutive sampler
# invocations the lines are sorted and each statit line is kept once;
# everything else keeps its order.
sampler_re='(^|;) *(sysstat -|stats show -r|lun stats -c|vif stat [^ ]+ *($|;)|statit -[be] *($|;))'
received() {
  invocations "$1" "$2" | cut -f3- | sed -E 's/kestrel_stats_[0-9]+/kestrel_stats_N/g' |
    awk -F'\t' -v re="$sampler_re" '
      $3 ~ re {
        if (!in_run) seq++
        in_run = 1
        if ($3 ~ /statit -[be]/ && seen[seq, $0]++) next
        print seq "\t" $0
        next
      }
      { in_run = 0; print ++seq "\t" $0 }' |
    sort -t$'\t' -s -k1,1n -k2 | cut -f2-
}

# Sections whose text follows the controller's clock (counters that grow
# with the seconds since a start, elapsed times): their digits are masked and
# their blanks squeezed (columns are as wide as the numbers). A "vif stat"
# sampler writes a row a second until it is stopped: its rows are left out.
# Sections whose numbers follow the simulated controller's clock (its
# workload), so that two runs never read alike.
timed_sections='^(stats stop |stats show |lun stats |sysstat |mem_stats -e|statit -e|sysstat[A-Za-z_0-9]*\.out$|[a-z_]*stats\.out$|statit\.out$)'

# normalised NAME: the run's report made comparable with another run's: time
# stamps, epochs, EXE-TIME seconds, statistics instance names, the scratch
# folder, the run's folder, the --parallel option of the command line, TIME
# and TIME_DELTA lines, the process ids of kills, the digits of timed
# sections and the rows of "vif stat" replaced or left out. A collection that runs side by side sends its
# commands' standard error to a file of its own that joins the error log
# after each command: the logged command lines name that file.
normalised() {
  sed -E -e "s#$WORK/$1/#<run>/#g" \
    -e 's#<run>/tmp/kestrel-[0-9]+/[0-9]+/#<scratch>/#g' \
    -e 's#2>>"<scratch>/stderr(-[0-9]+)?"#2>>"<scratch>/stderr"#g' \
    -e '/^COMMAND_LINE,/s/ --parallel=[0-9]+//' \
    -e 's/[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} GMT [0-9]{4}/<time>/g' \
    -e 's/^KESTREL_EPOCH: [0-9]+$/KESTREL_EPOCH: <epoch>/' \
    -e 's/^(EXE-TIME of: .*) : [0-9]+ seconds$/\1 : <n> seconds/' \
    -e 's/kestrel_stats_[0-9]+/kestrel_stats_<id>/g' \
    -e 's/^(TIME|TIME_DELTA): .*/\1: <value>/' \
    -e 's/^(  Total Running Time): [0-9]+ seconds$/\1: <n> seconds/' \
    -e 's/^(Killing process tree at PID:) [0-9]+\.\.\.$/\1 <pid>.../' \
    -e 's/(Successfully killed process tree at root PID:) [0-9]+$/\1 <pid>/' \
    "$WORK/$1/out" |
    awk -v timed="$timed_sections" '
      /^=-=-=-=-=-= / { title = $0; sub(/^=-=-=-=-=-= [^=]*=-=-=-=-=-= /, "", title); print; next }
      title ~ /^vifstat_.*\.out$/ && /^[ \t0-9]+$/ { next }
      title ~ timed { gsub(/[0-9]+/, "N"); gsub(/[ \t]+/, " ") }
      { print }'
}

# body NAME: the normalised report up to the error-log section.
body() { normalised "$@" | sed '/^=-=-=-=-=-= CONFIG [^ ]* POSTSTATS =-=-=-=-=-= ERROR LOG$/,$d'; }

# error_log NAME: the normalised error-log section and what follows
# it, without the lines' time stamps, sorted: controllers collected side by
# side append to the log as their commands run.
error_log() {
  normalised "$@" | sed -n '/^=-=-=-=-=-= CONFIG [^ ]* POSTSTATS =-=-=-=-=-= ERROR LOG$/,$p' |
    sed -E 's/^<time> : //' | sort
}

# progress NAME: the run's standard error with the run's folder made stable,
# sorted; without the line that announces parallel collection.
progress() {
  sed -E -e "s#$WORK/$1/#<run>/#g" -e 's#<run>/tmp/kestrel-[0-9]+/[0-9]+/#<scratch>/#g' \
    "$WORK/$1/err" | grep -v '^Collecting up to [0-9]* controllers at a time\.\.\.$' | sort
}

# same WHAT A B: A and B are equal; if not, the first differences go to
# standard error.
same() {
  [ "$2" = "$3" ] && return 0
  echo "--- $1 differs:" >&2
  diff <(echo "$2") <(echo "$3") | head -20 >&2
  return 1
}

# openings NAME PHASE: the targets whose PHASE blocks open, in report
# order (controllers and their virtual controllers).
openings() {
  sed -nE "s/^=-=-=-=-=-= BEGIN $2 =-=-=-=-=-= (.*)$/\1/p" "$WORK/$1/out"
}

# blocks_in_order NAME PHASE TARGET...: the report's PHASE blocks open in the
# order of the TARGETs (any may be missing), none twice; a block closes only
# while it is open; every command section inside a block is its target's.
# Reading stops at the error-log section.
blocks_in_order() {
  local run=$1 phase=$2
  shift 2
  awk -v phase="$phase" -v order="$*" '
    BEGIN {
      n = split(order, t, " ")
      for (i = 1; i <= n; i++) at[t[i]] = i
      begin = "=-=-=-=-=-= BEGIN " phase " =-=-=-=-=-= "
      end = "=-=-=-=-=-= END " phase " =-=-=-=-=-= "
    }
    function bad(why) { print "line " FNR ": " why ": " $0 >"/dev/stderr"; failed = 1 }
    / POSTSTATS =-=-=-=-=-= ERROR LOG$/ { exit }
    index($0, begin) == 1 {
      target = substr($0, length(begin) + 1)
      if (!(target in at)) bad("unknown target")
      else if (at[target] <= last) bad("out of order or twice")
      else last = at[target]
      open = target
      next
    }
    index($0, end) == 1 {
      if (substr($0, length(end) + 1) != open) bad("closes a block that is not open")
      open = ""
      next
    }
    /^=-=-=-=-=-= / && open != "" {
      split($0, w, " ")
      if (w[4] == phase && w[3] != open) bad("another target'"'"'s section inside the block")
    }
    END { exit failed }' "$WORK/$run/out"
}

# last_section NAME PHASE TARGET: the command of the last section in TARGET's
# PHASE block.
last_section() {
  awk -v b="=-=-=-=-=-= BEGIN $2 =-=-=-=-=-= $3" -v e="=-=-=-=-=-= END $2 =-=-=-=-=-= $3" '
    $0 == b { on = 1; next }
    on && ($0 == e || /^=-=-=-=-=-= (BEGIN|END) / || / POSTSTATS =-=-=-=-=-= ERROR LOG$/) { exit }
    on && /^=-=-=-=-=-= / { title = $0; sub(/^=-=-=-=-=-= [^=]*=-=-=-=-=-= /, "", title) }
    END { print title }' "$WORK/$1/out"
}

# ends_with_error_log NAME: the error-log section is the report's last, and
# after its marker come only its time-stamped lines, the last one the
# command that printed the log.
ends_with_error_log() {
  local tail
  tail=$(sed -n '/^=-=-=-=-=-= CONFIG [^ ]* POSTSTATS =-=-=-=-=-= ERROR LOG$/,$p' "$WORK/$1/out")
  [ -n "$tail" ] &&
    ! sed 1d <<<"$tail" | grep -qvE '^[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} GMT [0-9]{4} : ' &&
    grep -qE ' : cat ".*/error\.log"$' <<<"$(tail -1 <<<"$tail")"
}

# logged_first NAME CONTROLLER PATTERN: when CONTROLLER first received a
# remote command matching the extended PATTERN (seconds since the epoch).
logged_first() { invocations "$1" "$2" | awk -F'\t' -v p="$3" '$5 ~ p { print $1; exit }'; }

# logged_last NAME CONTROLLER PATTERN: when it last received one.
logged_last() { invocations "$1" "$2" | awk -F'\t' -v p="$3" '$5 ~ p { t = $1 } END { print t }'; }

# earlier A B: both times are known and A comes before B.
earlier() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && b != "" && a + 0 < b + 0) }'; }

# logged_after NAME CONTROLLER SECONDS: how many invocations CONTROLLER
# logged after SECONDS (since the epoch, with a fraction).
logged_after() { invocations "$1" "$2" | awk -F'\t' -v s="$3" '$1 > s { n++ } END { print n + 0 }'; }
