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
