# Shared helpers of the end-to-end scripts. Each script sources this file,
# calls its checks, and ends with `finish`.
set -u

KESTREL_BIN=${KESTREL_BIN:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/kestrel}
CTLSIM_BIN=${CTLSIM_BIN:-$(dirname "$KESTREL_BIN")/ctlsim}

passed=0
failed=0

# A private working folder with its own temp root, removed at exit.
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-e2e.XXXXXX")
export tmp="$WORK/tmp"
export computername="e2ehost"
mkdir -p "$tmp"
trap 'rm -rf "$WORK"' EXIT

ok() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*" >&2
}

# check DESCRIPTION COMMAND...: passes when COMMAND succeeds.
check() {
  local what=$1
  shift
  if "$@"; then ok; else fail "$what"; fi
}

# kestrel ARGS...: runs kestrel in $WORK, report in $WORK/out, diagnostics in
# $WORK/err, exit status in $rc.
kestrel() {
  (cd "$WORK" && "$KESTREL_BIN" "$@" >"$WORK/out" 2>"$WORK/err")
  rc=$?
}

# The marker lines of the report, with time stamps taken off.
markers() {
  grep -a -E '^=-=-=-=-=-= ' "$WORK/out" |
    sed -E 's/ [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} GMT [0-9]{4}$/ <time>/'
}

# No run folder may be left in the temp root.
temp_root_is_empty() {
  [ -z "$(ls -A "$tmp"/kestrel* 2>/dev/null)" ]
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# ---------------------------------------------------------------- Windows build
# Scripts that test kestrel.exe under Wine call wine_setup first; without the
# Windows build or Wine they are skipped (status 77).
wine_setup() {
  KESTREL_EXE=${KESTREL_EXE:-${KESTREL_SOURCE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}/build-win/kestrel.exe}
  if [ ! -f "$KESTREL_EXE" ] || ! command -v wine >/dev/null; then
    echo "SKIP: no Windows build or no Wine" >&2
    exit 77
  fi
  source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env"
}

# wine_kestrel ARGS...: like kestrel, for kestrel.exe; line ends made Unix.
wine_kestrel() {
  (cd "$WORK" && wine "$KESTREL_EXE" "$@" >"$WORK/out.crlf" 2>"$WORK/err.crlf")
  rc=$?
  tr -d '\r' <"$WORK/out.crlf" >"$WORK/out"
  tr -d '\r' <"$WORK/err.crlf" >"$WORK/err"
}
