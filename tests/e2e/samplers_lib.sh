# Helpers of the sampler scripts: several kestrel runs at once, each in a
# folder of its own, and readers for the sampler files that poststats copied
# into a report. Source after lib.sh and controller_lib.sh.

# start_run NAME ARGS...: kestrel in $WORK/NAME in the background; its report
# is $WORK/NAME/out, its diagnostics $WORK/NAME/err, its status $WORK/NAME/rc.
start_run() {
  local name=$1
  shift
  mkdir -p "$WORK/$name"
  (cd "$WORK/$name" && "$KESTREL_BIN" "$@" >out 2>err; echo $? >rc) &
}

# run_status NAME: the status of a finished run.
run_status() { cat "$WORK/$1/rc" 2>/dev/null; }

# poststats_block NAME TARGET: the lines of TARGET's poststats block.
poststats_block() {
  awk -v b="=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= $2" -v e="=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= $2" \
    'on && $0 == e { exit } on { print } $0 == b { on = 1 }' "$WORK/$1/out"
}

# dumped_files NAME TARGET: the files printed in TARGET's poststats block, in
# order (the names their markers show).
dumped_files() {
  poststats_block "$1" "$2" | sed -nE 's/^=-=-=-=-=-= [A-Z]+ [^ ]+ POSTSTATS =-=-=-=-=-= ([A-Za-z0-9_.]+\.(out|reg))$/\1/p'
}

# sampler_file NAME TARGET FILE: FILE's content as printed in the report.
sampler_file() {
  poststats_block "$1" "$2" | awk -v f="$3" '
    on && /^EXE-TIME of: / { exit }
    on { if (held) print line; line = $0; held = 1 }
    $0 ~ "^=-=-=-=-=-= [A-Z]+ [^ ]+ POSTSTATS =-=-=-=-=-= " f "$" { on = 1 }'
}

stamp_re='[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} GMT [0-9]{4}'

# stamped TEXT: the first and the last line are "Begin:" stamps (cmd's echo
# keeps the blank before its redirection).
stamped() {
  grep -qxE "Begin: $stamp_re ?" <<<"$(head -1 <<<"$1")" &&
    grep -qxE "Begin: $stamp_re ?" <<<"$(tail -1 <<<"$1")"
}

# stamp_seconds LINE: the seconds since the epoch of a "Begin:" line.
stamp_seconds() { date -u -d "$(sed -E 's/^[A-Za-z]+: [A-Z][a-z]{2} //; s/ GMT / /' <<<"$1")" +%s; }

# sysstat_rows TEXT: the sample rows of a sysstat reply (before its summary).
sysstat_rows() { awk '/^--$/ { exit } /^ +[0-9]+% / { n++ } END { print n + 0 }' <<<"$1"; }

# all_ended NAME...: no invocation of these controllers still runs.
all_ended() {
  local name pid
  for name in "$@"; do
    for pid in $(cut -f2 "$WORK/state/$name/invocations.log" 2>/dev/null); do
      ended "$pid" || return 1
    done
  done
  return 0
}

# within VALUE LOW HIGH: LOW <= VALUE <= HIGH.
within() { [ -n "$1" ] && [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
