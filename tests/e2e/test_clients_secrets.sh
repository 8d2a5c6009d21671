#!/usr/bin/env bash
# The secret scanner: kestrel in every mode that handles a password, with
# passwords full of interpreter characters; no report, standard error, error
# log or scratch file may hold the password or a quoted form of it, and
# passwords that cannot be passed safely are refused up front.
root=$(cd "$(dirname "$0")/../.." && pwd)
[ -x "${KESTREL_BIN:-}" ] && [ -x "${CTLSIM_BIN:-}" ] || { echo "SKIP: no build" >&2; exit 77; }
exec "$root/scripts/scan-secrets" "$KESTREL_BIN" "$CTLSIM_BIN"
