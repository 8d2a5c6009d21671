# Helpers of the ctlsim end-to-end scripts. A script sources this file, calls
# ctlsim_setup (native build) or ctlsim_wine_setup (Windows build under Wine),
# runs its checks and ends with ctlsim_finish.
set -u

passed=0
failed=0

# A private working folder, removed at exit.
ctlsim_work() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  unset CTLSIM_TIME_SCALE CTLSIM_HANG_LIMIT CTLSIM_LATENCY
}

# The native ctlsim installed under the client names, first on PATH.
ctlsim_setup() {
  CTLSIM_BIN=${CTLSIM_BIN:?set CTLSIM_BIN to the built ctlsim}
  ctlsim_work
  "$CTLSIM_BIN" install "$work/bin" || { echo "install failed"; exit 1; }
  export PATH="$work/bin:$PATH" CTLSIM_HOME="$work/home" CTLSIM_STATE="$work/state"
  mkdir -p "$work/home/models"
  rsh_cmd=(rsh.exe)
  drop_chars='\000'
}

# ctlsim.exe under Wine, in $win_bin; the script installs it itself. Skips
# the script when there is no Windows build (CTLSIM_WIN_BIN, or
# build-win/ctlsim.exe in the source tree) or no wine.
ctlsim_wine_setup() {
  win_bin=${CTLSIM_WIN_BIN:-${KESTREL_SOURCE:-.}/build-win/ctlsim.exe}
  if [ ! -f "$win_bin" ] || ! command -v wine >/dev/null 2>&1; then
    echo "no Windows build of ctlsim or no wine: skipped"
    echo "0 passed, 0 failed, 1 skipped"
    exit 0
  fi
  win_bin=$(cd "$(dirname "$win_bin")" && pwd)/$(basename "$win_bin")
  ctlsim_work
  export WINEDEBUG=-all
  export CTLSIM_STATE=$(winpath "$work/state") CTLSIM_HOME=$(winpath "$work/home")
  rsh_cmd=(wine "$work/bin/rsh.exe")
  drop_chars='\r\000'
}
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

check() {  # name expected actual
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL: %s\n  expected: [%s]\n  actual:   [%s]\n' "$1" "$2" "$3"
  fi
}
check_has() {  # name needle text
  case "$3" in
    *"$2"*) passed=$((passed + 1)) ;;
    *) failed=$((failed + 1)); printf 'FAIL: %s\n  [%s] not in:\n%s\n' "$1" "$2" "$3" ;;
  esac
}
check_lacks() {  # name needle text
  case "$3" in
    *"$2"*) failed=$((failed + 1)); printf 'FAIL: %s\n  [%s] found in:\n%s\n' "$1" "$2" "$3" ;;
    *) passed=$((passed + 1)) ;;
  esac
}

# Runs a command; leaves standard output in $out, standard error in $errs,
# the exit status in $rc and the time taken in $elapsed_ms. $out and $errs
# drop NUL bytes and, under Wine, the carriage returns of Windows line ends.
run() {
  local start end
  start=$(date +%s%N)
  "$@" >"$work/out" 2>"$work/err"
  rc=$?
  end=$(date +%s%N)
  elapsed_ms=$(((end - start) / 1000000))
  out=$(tr -d "$drop_chars" <"$work/out")
  errs=$(tr -d "$drop_chars" <"$work/err")
}
# sim NAME COMMAND: COMMAND run on controller NAME over rsh.exe.
sim() { run "${rsh_cmd[@]}" "$1" -l root -n "$2"; }

model() {  # name, then model.conf lines
  local name=$1
  shift
  mkdir -p "$work/home/models/$name"
  printf '%s\n' "$@" >"$work/home/models/$name/model.conf"
}

last_log() { tail -n 1 "$work/state/$1/invocations.log"; }
log_field() { last_log "$1" | cut -f "$2"; }
log_args() { last_log "$1" | cut -f 6- | tr '\t' '|'; }

ctlsim_finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
