# Helpers of the scripts that open kestrel-report's page in a browser: the
# tool, Chromium and python3 or the script is skipped; screenshots go to
# test-artifacts/ beside the binaries. Source after lib.sh.

REPORT_BIN=${KESTREL_REPORT_BIN:-$(dirname "$KESTREL_BIN")/kestrel-report}
[ -x "$REPORT_BIN" ] || { echo "SKIP: no kestrel-report at $REPORT_BIN" >&2; exit 77; }
command -v chromium >/dev/null || { echo "SKIP: no chromium" >&2; exit 77; }
command -v python3 >/dev/null || { echo "SKIP: no python3" >&2; exit 77; }
ARTIFACTS=${KESTREL_ARTIFACTS:-$(dirname "$KESTREL_BIN")/test-artifacts}
mkdir -p "$ARTIFACTS"

# browser ARGS...: headless Chromium with a fresh profile, nothing fetched.
browser() {
  local profile
  profile=$(mktemp -d "$WORK/profile.XXXXXX")
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --virtual-time-budget=10000 "$@"
}
