#!/usr/bin/env bash
# Controller set-up: the privilege words chosen from the "help" reply
# surround every later command of the controller.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

model plain "help_style = statit"
model diag "help_style = priv"
model basic "help_style = none"

# Pretend mode runs no host command but does start the memory statistics,
# and stops the all-objects statistics instance.
forget
kestrel -x -d -f plain -f diag -f basic
check "status 0" [ "$rc" -eq 0 ]

expected_plain=$(printf '%s\n' " version " " help " " mem_stats -b " " version " \
  " vzone status " " vzone status -r " " vif status " " stats stop -I kestrel_stats_N ")
check "statit: no privilege words" [ "$(phase_remotes plain)" = "$expected_plain" ]

expected_diag=$(printf '%s\n' " version " " help " "priv set -q diag ; mem_stats -b " \
  "priv set -q diag ; version " "priv set -q diag ; vzone status " \
  "priv set -q diag ; vzone status -r " "priv set -q diag ; vif status " \
  "priv set -q diag ; stats stop -I kestrel_stats_N ")
check "priv: diag prefix on every later command" [ "$(phase_remotes diag)" = "$expected_diag" ]

expected_basic=$(printf '%s\n' " version " " help " "rc_toggle_basic ; mem_stats -b ; rc_toggle_basic" \
  "rc_toggle_basic ; version ; rc_toggle_basic" \
  "rc_toggle_basic ; vzone status ; rc_toggle_basic" \
  "rc_toggle_basic ; vzone status -r ; rc_toggle_basic" \
  "rc_toggle_basic ; vif status ; rc_toggle_basic" \
  "rc_toggle_basic ; stats stop -I kestrel_stats_N ; rc_toggle_basic")
check "neither: basic toggle around every later command" [ "$(phase_remotes basic)" = "$expected_basic" ]

check "debug names each choice" bash -c "grep '^DEBUG: Priv command: ' '$WORK/err' | diff - <(printf '%s\n' 'DEBUG: Priv command: ' 'DEBUG: Priv command: priv set -q diag ;' 'DEBUG: Priv command: rc_toggle_basic ;') >/dev/null"

# With the words the controller accepts the privileged command: its reply
# reaches the report, no "not found".
check "mem_stats answered three times" [ "$(grep -c '^mem_stats: baseline recorded$' "$WORK/out")" -eq 3 ]
check "no command refused" bash -c "! grep -q 'not found.  Type' '$WORK/out'"
finish
