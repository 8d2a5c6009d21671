#!/usr/bin/env bash
# Controller set-up: a controller that does not answer as a controller ends
# the run at once with status 1; later controllers are not tried and the run
# folder is removed.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

# An unknown controller: the client fails and prints nothing on stdout.
forget
kestrel -c -f sim1 -f nosuch -f sim2
check "status 1" [ "$rc" -eq 1 ]
check "rsh message" has_line "$WORK/err" "RSH to filer nosuch fails! Quitting."
check "earlier controller was set up" [ "$(remotes sim1 | head -1)" = " version " ]
check "its release line is in the report" has_line "$WORK/out" $'FILEROS,\tsim1,\tMERIX7.3.5'
check "later controller untried" [ -z "$(sim_log sim2)" ]
check "no run folder left" temp_root_is_empty
check "no report sections after set-up" bash -c "! grep -q '^=-=-=-=-=-= ' '$WORK/out'"

# SSH says so in the message.
forget
kestrel -c -f nosuch -f sim1 -S pw:x
check "ssh status 1" [ "$rc" -eq 1 ]
check "ssh message" has_line "$WORK/err" "SSH to filer nosuch fails! Quitting."
check "ssh: later controller untried" [ -z "$(sim_log sim1)" ]
check "ssh: no run folder left" temp_root_is_empty

# A wrong password is refused by the controller the same way.
model locked "password = right"
forget
kestrel -c -f locked -S pw:wrong
check "refused login: status 1" [ "$rc" -eq 1 ]
check "refused login: message" has_line "$WORK/err" "SSH to filer locked fails! Quitting."

# Only the first line of the version reply counts.
mkdir -p "$WORK/home/models/late"
printf 'Welcome\nCorvex Release 7.3.5: Fri Nov 2 2012\n' >"$WORK/home/models/late/version.txt"
model late "reply:version = version.txt"
forget
kestrel -c -f late
check "late product name: status 1" [ "$rc" -eq 1 ]
check "late product name: message" has_line "$WORK/err" "RSH to filer late fails! Quitting."
check "late product name: only the version was asked" [ "$(remotes late)" = " version " ]
check "late product name: no run folder" temp_root_is_empty

# A controller that fails every command answers nothing.
model broken "fault = error link down"
forget
kestrel -c -f broken
check "failing controller: status 1" [ "$rc" -eq 1 ]
check "failing controller: message" has_line "$WORK/err" "RSH to filer broken fails! Quitting."

# An unknown release is no failure: the default command set is used.
model odd "release = MERIX build 42"
forget
kestrel -c -f odd
check "unknown release: status 0" [ "$rc" -eq 0 ]
check "unknown release: message" has_line "$WORK/err" "Unknown version.  Using default command set"
check "unknown release: release line" has_line "$WORK/out" $'FILEROS,\todd,\tMERIX'
finish
