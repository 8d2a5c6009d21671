#!/usr/bin/env bash
# Controller set-up under the run modes: what is asked of the controller with
# -c, -y, -M, --skip_vifs and -O, and the report's release line.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

discovery=$(printf '%s\n' " vzone status " " vzone status -r " " vif status ")

# -c composes the memory statistics command but does not run it; discovery runs.
forget
kestrel -c -f sim1
check "-c: status 0" [ "$rc" -eq 0 ]
check "-c: set-up queries" [ "$(setup_remotes sim1)" = "$(printf '%s\n' " version " " help " " version ")
$discovery" ]
check "-c: release line" has_line "$WORK/out" $'FILEROS,\tsim1,\tMERIX7.3.5'

# Without -c it runs, between the privilege probe and the release query.
forget
kestrel -x -f sim1
check "-x: mem_stats run" [ "$(remotes sim1 | sed -n 3p)" = " mem_stats -b " ]
check "-x: its output is in the report" has_line "$WORK/out" "mem_stats: baseline recorded"

# -y: neither memory statistics nor discovery.
forget
kestrel -x -y -f sim1
check "-y: status 0" [ "$rc" -eq 0 ]
check "-y: only reachability, privilege and release" \
  [ "$(setup_remotes sim1)" = "$(printf '%s\n' " version " " help " " version ")" ]

# -M: memory statistics but no discovery.
forget
kestrel -x -M NFS -f sim1
check "-M: no discovery" \
  [ "$(setup_remotes sim1)" = "$(printf '%s\n' " version " " help " " mem_stats -b " " version ")" ]

# --skip_vifs: virtual controllers still found, interfaces not.
forget
kestrel -c -d --skip_vifs -f sim1
check "--skip_vifs: no vif status" [ "$(setup_remotes sim1 | tail -2)" = "$(printf '%s\n' ' vzone status ' ' vzone status -r ')" ]
check "--skip_vifs: vzones found" grep -qx 'DEBUG: VZONE PATH: /vol/vz2root' "$WORK/err"
check "--skip_vifs: no vif lookup" bash -c "! grep -q 'Locating vifs' '$WORK/err'"

# -O: the forced release; the version is asked once (reachability) and no
# release line is printed.
forget
kestrel -c -O MERIX7.3 -f sim1
check "-O: status 0" [ "$rc" -eq 0 ]
check "-O: no release line" bash -c "! grep -q '^FILEROS' '$WORK/out'"
check "-O: one version query" [ "$(remotes sim1 | grep -c '^ version $')" -eq 1 ]

# No zonepack licence: the short status says so and the long one is not asked.
model lonely "licenses = nfs, cifs" "vifs ="
forget
kestrel -c -d -f lonely
check "no licence: discovery stops early" \
  [ "$(setup_remotes lonely | tail -2)" = "$(printf '%s\n' " vzone status " " vif status ")" ]
check "no licence: debug says so" grep -qx 'DEBUG: No vzone detected on lonely' "$WORK/err"

# Release mapping of a few models, in command-line order.
model old "release = Corvex Release 7.0.8: Tue Jan 1 2008"
model future "release = Corvex Release 9.2: Tue Jan 1 2030"
model ancient "release = Corvex Release 6.4: Tue Jan 1 2004"
forget
kestrel -c -f old -f future -f ancient -f sim2
check "release lines" [ "$(grep '^FILEROS' "$WORK/out")" = "$(printf 'FILEROS,\t%s,\t%s\n' old MERIX7.0.7 future MERIX8.1.1 ancient MERIX sim2 MERIX8.0.1)" ]
check "release lines follow the header" [ "$(grep -n '^FILEROS' "$WORK/out" | head -1 | cut -d: -f1)" -gt "$(grep -n '^SAMPLE_INTERVAL' "$WORK/out" | cut -d: -f1)" ]

# A long run on a release with a short statit: told once per such controller.
forget
kestrel -c -i 10,90 -t 11 -f ancient -f sim1
check "long run: message for the old release only" \
  [ "$(grep 'Long kestrel requested' "$WORK/err")" = "Long kestrel requested; disabling statit on ancient" ]
finish
