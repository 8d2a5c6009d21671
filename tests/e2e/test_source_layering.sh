#!/usr/bin/env bash
# The subsystems form layers and every include points down (or stays within
# its folder): platform <- core <- exec <- controller <- samplers <- phases <-
# run. The simulator and the report reader stand apart. Tests may include
# whatever they exercise.
set -u
SOURCE=${KESTREL_SOURCE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
SRC=${LAYERING_SRC:-$SOURCE/src}
cd "$SRC" || exit 1

rank() {
  case "$1" in
    platform) echo 0 ;;
    core) echo 1 ;;
    exec) echo 2 ;;
    controller) echo 3 ;;
    samplers) echo 4 ;;
    phases) echo 5 ;;
    run) echo 6 ;;
    *) echo 99 ;;
  esac
}

# The subsystem a path (of a file or of an include) belongs to.
subsystem() {
  case "$1" in
    controller/sim/*) echo controller/sim ;;
    *) echo "${1%%/*}" ;;
  esac
}

allowed() {
  local own=$1 target=$2
  [ "$own" = "$target" ] && return 0
  case "$own" in
    controller/sim) [ "$target" = platform ] ;;
    report) false ;;
    *) [ "$(rank "$target")" -le "$(rank "$own")" ] ;;
  esac
}

failed=0
checked=0
while IFS= read -r file; do
  own=$(subsystem "$file")
  while IFS= read -r included; do
    checked=$((checked + 1))
    target=$(subsystem "$included")
    if ! allowed "$own" "$target"; then
      echo "FAIL: $file ($own) includes $included ($target)" >&2
      failed=$((failed + 1))
    fi
  done < <(sed -nE 's/^#include "([^"]+)".*/\1/p' "$file")
done < <(find . -name '*.cc' -o -name '*.h' | sed 's|^\./||' | grep -vE '_test\.cc$|test_[a-z_]*\.h$|_test_support\.h$|test_streams\.h$' |
  grep -vx 'main\.cc' | sort)

echo "$checked includes checked, $failed not allowed"
[ "$checked" -gt 100 ] && [ "$failed" -eq 0 ]
