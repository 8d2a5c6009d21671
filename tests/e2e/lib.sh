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
  [ -z "$(ls -A "$tmp/kestrel" 2>/dev/null)" ]
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
