# Helpers of the interrupt scripts: kestrel runs in the background, each in a
# folder of its own with its own temp root, that a script interrupts with a
# signal sent to kestrel alone. Source after lib.sh and controller_lib.sh.

# launch NAME ARGS...: kestrel in $WORK/NAME; its pid in $WORK/NAME/pid. A
# background job of a script starts with SIGINT ignored; env gives kestrel
# the default disposition back, as a terminal would.
launch() {
  local name=$1
  shift
  mkdir -p "$WORK/$name/tmp"
  (
    cd "$WORK/$name" || exit 1
    tmp="$WORK/$name/tmp" env --default-signal=INT "$KESTREL_BIN" "$@" >out 2>err &
    echo $! >pid
    wait $!
    echo $? >rc
  ) &
  until [ -s "$WORK/$name/pid" ]; do sleep 0.1; done
}

kestrel_pid() { cat "$WORK/$1/pid"; }

# signal NAME SIG: sends SIG to that run's kestrel process only.
signal() { kill -s "$2" "$(kestrel_pid "$1")"; }

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

# await_end NAME: waits for that run to end; its status is then $(status NAME).
await_end() { until [ -s "$WORK/$1/rc" ]; do sleep 0.2; done; }
status() { cat "$WORK/$1/rc"; }

# report_markers NAME: the marker lines of that run's report.
report_markers() { grep -a -E '^=-=-=-=-=-= ' "$WORK/$1/out"; }

# count NAME LINE: how many report lines are exactly LINE.
count() { grep -acxF -- "$2" "$WORK/$1/out"; }

# last_marker_is_error_log NAME: the report's last marker opens the error log.
last_marker_is_error_log() { report_markers "$1" | tail -1 | grep -q ' ERROR LOG$'; }

# scratch_removed NAME: no run folder is left in that run's temp root.
scratch_removed() { [ -z "$(ls -A "$WORK/$1/tmp"/kestrel* 2>/dev/null)" ]; }

# clients_ended CONTROLLER...: no invocation of these controllers still runs.
clients_ended() {
  local name pid
  for name in "$@"; do
    for pid in $(cut -f2 "$WORK/state/$name/invocations.log" 2>/dev/null); do
      ended "$pid" || return 1
    done
  done
  return 0
}
