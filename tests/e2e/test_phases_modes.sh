#!/usr/bin/env bash
# The collection phases under run modes: config only (-c), log copies (-L),
# exclusions (-E) and a catalogue command that hangs (-C).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

model old72 "release = Corvex Release 7.2: Mon Jan 7 2008" \
  "licenses = nfs, fcp, zonepack" "vzones = vza:/vol/vzaroot"

# ---------------------------------------------------------------- -c
# Poststats follows prestats at once, the error log ends the report; no PERF
# catalogue section and no log copies, even with -L.
forget
kestrel -c -L -f sim1 -f old72
check "-c: status 0" [ "$rc" -eq 0 ]
check "-c: run folder removed" temp_root_is_empty
check_structure "-c: skeleton without PERF date headers" "$(two_controller_skeleton e2ehost config-only)"
check "-c: error log is the last section" \
  [ "$(markers | tail -1)" = "=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= ERROR LOG" ]
check "-c: no PERF section in prestats" none '^=-=-=-=-=-= PERF [^ ]* PRESTATS' <"$WORK/out"
check "-c: no PERF catalogue command in poststats" \
  [ -z "$(grep -E '^=-=-=-=-=-= PERF [^ ]+ POSTSTATS =-=-=-=-=-= ' "$WORK/out" | grep -v ' stats stop -I kestrel_')" ]
check "-c: no PERF catalogue command sent" \
  [ -z "$( (remotes sim1; remotes old72) | grep -xE ' (raid_config -r|netstat -x|ifstat -a) ')" ]
# The all-objects instance still brackets the phases, under the CONFIG title.
check "-c: sim1's instance started under CONFIG" \
  grep -qxE '=-=-=-=-=-= CONFIG sim1 PRESTATS =-=-=-=-=-= stats start -I kestrel_stats_[0-9]+' "$WORK/out"
check "-c: and stopped" [ "$(phase_remotes sim1 | grep -c '^ stats stop -I kestrel_stats_N $')" -eq 1 ]
check "-c: legacy controller starts no instance" [ -z "$(remotes old72 | grep 'stats st')" ]
check "-c: configuration templates expanded" in_block PRESTATS "old72:[VZ]:vza" \
  "$(cmd_marker 'CONFIG old72:[VZ]:vza PRESTATS' 'rdfile /vol/vzaroot/etc/exports')"
check "-c: no PERF templates" [ -z "$(block PRESTATS 'sim1:[VZ]:vz1' | grep '^=-=-=-=-=-= PERF')" ]
check "-c: no log listing" [ -z "$(remote_index sim1 ' ls /etc/log ')" ]
check "-c: no log copies" [ -z "$(remotes sim1 | grep 'rdfile /etc/log/messages')" ]
check "-c: no sampling wait" none '^Sleep for' <"$WORK/err"

# ---------------------------------------------------------------- -L
# Logs are read in the last iteration only: the listing and the copies come
# after the second iteration's prestats; the file listed last is copied first;
# cm_stats and sktrace files are skipped.
mkdir -p "$WORK/home/models/logger/files/etc/log"
model logger "licenses = nfs" "vzones ="
for f in alpha auditlog cm_stats.1 messages sktrace_kestrel zeta.log; do
  echo "log file $f" >"$WORK/home/models/logger/files/etc/log/$f"
done
forget
kestrel -L -i 2 -t 0 -f logger
check "-L: status 0" [ "$rc" -eq 0 ]
starts=$(remotes logger | grep -n '^ stats start -I kestrel_stats_' | cut -d: -f1 | tr '\n' ' ')
stops=$(remotes logger | grep -n '^ stats stop -I kestrel_stats_' | cut -d: -f1 | tr '\n' ' ')
check "-L: two iterations seen by the controller" [ "$(wc -w <<<"$starts $stops")" -eq 4 ]
read -r start2 _ <<<"${starts#* }"
read -r stop2 _ <<<"${stops#* }"
listing=$(remote_index logger " ls /etc/log ")
check "-L: one listing" [ "$(remotes logger | grep -cxF ' ls /etc/log ')" -eq 1 ]
check "-L: listed in the second iteration's poststats" ascending "$start2" "$stop2" "$listing"
check "-L: copies follow the listing, last listed first" [ "$(remotes logger | sed -n "$((listing + 1)),\$p" | grep '/etc/log/')" = "$(printf ' rdfile /etc/log/%s \n' zeta.log messages auditlog alpha)" ]
check "-L: each file copied once" [ "$(remotes logger | grep -c 'rdfile /etc/log/\(alpha\|auditlog\|messages\|zeta.log\)')" -eq 4 ]
check "-L: cm_stats and sktrace skipped" [ -z "$(remotes logger | grep -E 'cm_stats|sktrace')" ]
# In the report: inside the second poststats section, under the PERF title
# the catalogue left, each with the file's content.
iter2=$(sed -n '/^=-=-=-=-=-= BEGIN Iteration 2 /,$p' "$WORK/out")
post2=$(awk '$0 == "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= logger" { on = 1 } on { print } on && $0 == "=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= logger" { exit }' <<<"$iter2")
check "-L: copies in the second poststats" [ "$(grep -c '^=-=-=-=-=-= PERF logger POSTSTATS =-=-=-=-=-= rdfile /etc/log/\(alpha\|auditlog\|messages\|zeta.log\)$' <<<"$post2")" -eq 4 ]
check "-L: copied nowhere else" [ "$(grep -c '=-=-=-=-=-= rdfile /etc/log/\(alpha\|auditlog\|messages\|zeta.log\)$' "$WORK/out")" -eq 4 ]
check "-L: content is the file's" [ "$(grep -xF -A1 "$(cmd_marker 'PERF logger POSTSTATS' 'rdfile /etc/log/messages')" <<<"$post2" | tail -1)" = "log file messages" ]
check "-L: iteration markers" [ "$(markers | grep -c ' Iteration [12] ')" -eq 4 ]

# More than 100 eligible files: the first 100 listed are copied, the
# hundredth first, and one note says so.
mkdir -p "$WORK/home/models/crowded/files/etc/log"
model crowded "licenses = nfs" "vzones ="
for i in $(seq -w 0 149); do : >"$WORK/home/models/crowded/files/etc/log/log$i"; done
: >"$WORK/home/models/crowded/files/etc/log/cm_stats.1"
forget
kestrel -L -t 0 -F -f crowded
check "-L 150 files: status 0" [ "$rc" -eq 0 ]
copies=$(remotes crowded | sed -n 's|^ rdfile /etc/log/\(log[0-9]*\) $|\1|p')
check "-L 150 files: 100 copies" [ "$(wc -l <<<"$copies")" -eq 100 ]
check "-L 150 files: the first 100 listed, last listed first" [ "$copies" = "$(seq -f 'log%03g' 99 -1 0)" ]
check "-L 150 files: one note" [ "$(grep -cx 'Note: Only first 100 log files read' "$WORK/err")" -eq 1 ]
check "-L 150 files: in the report" \
  [ "$(grep -c '^=-=-=-=-=-= PERF crowded POSTSTATS =-=-=-=-=-= rdfile /etc/log/log[0-9]*$' "$WORK/out")" -eq 100 ]

# ---------------------------------------------------------------- -E
# Excluded commands show their Excluded line and are never sent; the section
# still closes. The all-objects stop bypasses the exclusions.
forget
kestrel -t 0 -E snap,vol -f sim1
check "-E: status 0" [ "$rc" -eq 0 ]
check "-E: controller never got them" [ -z "$(remotes sim1 | grep -E 'snap|vol')" ]
# excluded_line TITLE COMMAND: the line after COMMAND's marker is the
# Excluded line of its client command line.
excluded_line() {
  case "$(next_line "$(cmd_marker "$1" "$2")")" in
    "Excluded: rsh sim1 -l root -n  \" $2 \" 2>>\""*) return 0 ;;
  esac
  return 1
}
check "-E: CONFIG row excluded" excluded_line 'CONFIG sim1 PRESTATS' 'snap sched'
check "-E: PERF row excluded" excluded_line 'PERF sim1 PRESTATS' 'priority show volume -v'
check "-E: template row excluded" excluded_line 'CONFIG sim1:[VZ]:vz1 PRESTATS' 'rdfile /vol/vz1root/etc/exports'
check "-E: poststats row excluded" excluded_line 'CONFIG sim1 POSTSTATS' 'snap list -n -A'
# Every section of a command holding snap or vol shows only the Excluded line
# and its closing lines; every other section does not.
bad=$(awk '
  /^=-=-=-=-=-= .* =-=-=-=-=-= / && !/ stats stop -I kestrel_/ && !/=-=-=-=-=-= (BEGIN|END) / {
    cmd = $0; sub(/^=-=-=-=-=-= .* =-=-=-=-=-= /, "", cmd)
    want = (cmd ~ /snap|vol/); getline nxt
    got = (nxt ~ /^Excluded: /)
    if (want != got) print cmd
  }' "$WORK/out")
check "-E: exactly the matching sections excluded" [ -z "$bad" ]
[ -z "$bad" ] || echo "$bad" >&2
check "-E: a dozen or more exclusions" [ "$(grep -c '^Excluded: ' "$WORK/out")" -ge 12 ]
check "-E: section closes" grep -qx 'EXE-TIME of: snap sched : 0 seconds' "$WORK/out"
check "-E: error log records it" grep -q ' : Command excluded: rsh sim1 -l root -n  " snap list -n " 2>>' "$WORK/out"
check "-E: per-object volume section still there" \
  grep -qx '=-=-=-=-=-= PERF sim1 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_vol' "$WORK/out"

# ---------------------------------------------------------------- hang
# A catalogue command that never ends is killed at the time-out with the
# client; the next command runs and the run ends normally. A stop of the
# all-objects instance that never ends is bounded the same way: its sections
# are missing, the run goes on.
model stuck "fault:sysconfig -av = hang" "fault:stats stop = hang" "vzones ="
forget
(cd "$WORK" && timeout 120 "$KESTREL_BIN" -c -C 3 -f stuck >"$WORK/out" 2>"$WORK/err")
rc=$?
check "hang: status 0" [ "$rc" -eq 0 ]
hung=$(cmd_marker 'CONFIG stuck PRESTATS' 'sysconfig -av')
check "hang: kill reported in its section" grep -qxE 'Killing process tree at PID: [0-9]+\.\.\.' <<<"$(next_line "$hung")"
killed=$(next_line "$hung" | sed -E 's/[^0-9]*([0-9]+).*/\1/')
check "hang: section closes after the time-out" \
  grep -qxE 'EXE-TIME of: sysconfig -av : [34] seconds' <<<"$(grep -A3 -xF "$hung" "$WORK/out")"
check "hang: next command's section follows" \
  [ "$(grep -A10 -xF "$hung" "$WORK/out" | grep '^=-=-=-=-=-= ' | sed -n 2p)" = "$(cmd_marker 'CONFIG stuck PRESTATS' 'dns info')" ]
check "hang: controller got the next command" \
  ascending "$(remote_index stuck ' sysconfig -av ')" "$(remote_index stuck ' dns info ')"
check "hang: error log records the kill" grep -q " : Successfully killed process tree at root PID: $killed\$" "$WORK/out"
check "hang: stop timed out" grep -q ' : WARNING: Timed out on command: rsh stuck -l root -n  " stats stop -I kestrel_stats_[0-9]* " > ' "$WORK/out"
check "hang: no per-object sections" none '^=-=-=-=-=-= PERF stuck POSTSTATS' <"$WORK/out"
check "hang: poststats catalogue ran" in_block POSTSTATS stuck "$(cmd_marker 'CONFIG stuck POSTSTATS' 'df -r')"
mapfile -t clients < <(awk -F'\t' '$5 == " sysconfig -av " || $5 ~ /^ stats stop / { print $2 }' "$WORK/state/stuck/invocations.log")
check "hang: both clients known" [ "${#clients[@]}" -eq 2 ]
check "hang: clients gone" ended "${clients[@]}"
check "hang: run went on to the end" \
  [ "$(markers | tail -1)" = "=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= ERROR LOG" ]
check "hang: run folder removed" temp_root_is_empty
finish
