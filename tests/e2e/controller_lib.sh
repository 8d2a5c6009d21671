# Helpers of the controller set-up scripts: kestrel runs against ctlsim,
# installed under the client names in a folder first on PATH. Source after
# lib.sh.

[ -x "${CTLSIM_BIN:-}" ] || { echo "SKIP: no ctlsim at ${CTLSIM_BIN:-}" >&2; exit 77; }
"$CTLSIM_BIN" install "$WORK/bin" >/dev/null || { echo "ctlsim install failed" >&2; exit 1; }
export PATH="$WORK/bin:$PATH" CTLSIM_HOME="$WORK/home" CTLSIM_STATE="$WORK/state"
export CTLSIM_HANG_LIMIT=60
unset CTLSIM_TIME_SCALE

# model NAME LINE...: a simulated controller with the given model.conf lines.
model() {
  local name=$1
  shift
  mkdir -p "$WORK/home/models/$name"
  printf '%s\n' "$@" >"$WORK/home/models/$name/model.conf"
}

# sim_log NAME: the invocations of NAME, one per line: CLIENT, STATUS, the
# remote command, then every argument, tab-separated.
sim_log() { cut -f3- "$WORK/state/$1/invocations.log" 2>/dev/null; }

# remotes NAME: the remote commands NAME received, in order.
remotes() { cut -f5 "$WORK/state/$1/invocations.log" 2>/dev/null; }

# forget: clears every simulated controller's state and log.
forget() { "$CTLSIM_BIN" reset --all >/dev/null; }

# has_line FILE TEXT: FILE holds TEXT as a whole line.
has_line() { grep -qxF -- "$2" "$1"; }

# lacks TEXT...: standard input holds none of the texts.
lacks() {
  local text input
  input=$(cat)
  for text in "$@"; do
    case "$input" in *"$text"*) return 1 ;; esac
  done
  return 0
}

# setup_remotes NAME: the remote commands of NAME's set-up, that is those
# before the first phase asks for its licences or stops its statistics.
setup_remotes() { remotes "$1" | sed -E '/(^| )(license|stats stop -I) /,$d'; }

# phase_remotes NAME: the remote commands of NAME with statistics instance
# names made stable.
phase_remotes() { remotes "$1" | sed -E 's/kestrel_stats_[0-9]+/kestrel_stats_N/'; }

# --------------------------------------------------------- collection phases
source "$(dirname "${BASH_SOURCE[0]}")/skeleton_lib.sh"

# block PHASE TITLE: the report lines between "BEGIN PHASE" and "END PHASE"
# of TITLE (a controller, a controller:[VZ]:vzone or the host).
block() {
  awk -v b="=-=-=-=-=-= BEGIN $1 =-=-=-=-=-= $2" -v e="=-=-=-=-=-= END $1 =-=-=-=-=-= $2" \
    'on && $0 == e { exit } on { print } $0 == b { on = 1 }' "$WORK/out"
}

# cmd_marker TITLE COMMAND: the marker line that opens COMMAND's section.
cmd_marker() { printf '=-=-=-=-=-= %s =-=-=-=-=-= %s' "$1" "$2"; }

# in_block PHASE TITLE LINE: LINE is a whole line of that block.
in_block() { block "$1" "$2" | grep -qxF -- "$3"; }

# next_line LINE: the report line right after the first LINE.
next_line() { awk -v l="$1" 'found { print; exit } $0 == l { found = 1 }' "$WORK/out"; }

# follows LINE NEXT: the report line right after the first LINE is NEXT.
follows() { [ "$(next_line "$1")" = "$2" ]; }

# ascending N...: the numbers are given and strictly increasing.
ascending() {
  local prev=0 n
  for n in "$@"; do
    [ -n "$n" ] && [ "$n" -gt "$prev" ] || return 1
    prev=$n
  done
}

# remote_index NAME COMMAND: the 1-based position of the first time NAME
# received exactly COMMAND (blanks as sent), or nothing.
remote_index() { remotes "$1" | grep -nxF -- "$2" | head -1 | cut -d: -f1; }

# ended PID...: none of these processes still runs (a zombie has ended).
ended() {
  local pid state
  for pid in "$@"; do
    state=$(ps -o stat= -p "$pid" 2>/dev/null)
    case "$state" in "" | Z*) ;; *) return 1 ;; esac
  done
  return 0
}

# none PATTERN: no line of standard input matches the extended PATTERN.
none() { ! grep -qE -- "$1"; }
