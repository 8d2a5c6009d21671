#!/usr/bin/env bash
# One full iteration against two controllers of different releases, licences
# and virtual controllers: the report's skeleton (controllers before the host
# in prestats, the host first in poststats, each controller's virtual
# controller sections right after its own END line) and the sections that
# hold the catalogue commands and the expanded templates.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

# sim1: 7.3.5, all-objects stats, nfs/cifs/iscsi/zonepack, vz1 and vz2.
# old72: 7.2, legacy stats, nfs/fcp/zonepack, one virtual controller.
model old72 "release = Corvex Release 7.2: Mon Jan 7 2008" \
  "licenses = nfs, fcp, zonepack" "vzones = vza:/vol/vzaroot"
forget
kestrel -t 0 -f sim1 -f old72
check "status 0" [ "$rc" -eq 0 ]
check "run folder removed" temp_root_is_empty

check_structure "marker skeleton" "$(two_controller_skeleton e2ehost)"
check "nothing before the prestats date header" \
  [ "$(markers | head -1)" = "=-=-=-=-=-= PERF e2ehost PRESTATS =-=-=-=-=-= date" ]
check "error log is the last section" \
  [ "$(markers | tail -1)" = "=-=-=-=-=-= CONFIG e2ehost POSTSTATS =-=-=-=-=-= ERROR LOG" ]
timestamp='^[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} GMT [0-9]{4}$'
for phase in PRESTATS POSTSTATS; do
  check "$phase date header carries the time" \
    grep -qE "$timestamp" <<<"$(next_line "=-=-=-=-=-= PERF e2ehost $phase =-=-=-=-=-= date")"
done

# Virtual controller sections come straight after their controller's END.
check "vz1 right after sim1's prestats" \
  follows "=-=-=-=-=-= END PRESTATS =-=-=-=-=-= sim1" "=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= sim1:[VZ]:vz1"
check "vza right after old72's poststats" \
  follows "=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= old72" "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= old72:[VZ]:vza"

# The controllers' own sections.
check "sim1: CONFIG command" in_block PRESTATS sim1 "$(cmd_marker 'CONFIG sim1 PRESTATS' exportfs)"
check "sim1: PERF command" in_block PRESTATS sim1 "$(cmd_marker 'PERF sim1 PRESTATS' 'netstat -x')"
check "sim1: cifs licensed" in_block PRESTATS sim1 "$(cmd_marker 'CONFIG sim1 PRESTATS' 'cifs shares')"
check "sim1: stats instance started last, under PERF" \
  grep -qxE '=-=-=-=-=-= PERF sim1 PRESTATS =-=-=-=-=-= stats start -I kestrel_stats_[0-9]+' \
  <<<"$(block PRESTATS sim1 | grep '^=-=-=-=-=-= ' | tail -1)"
check "old72: CONFIG command" in_block PRESTATS old72 "$(cmd_marker 'CONFIG old72 PRESTATS' exportfs)"
check "old72: release 7.2 row" in_block PRESTATS old72 "$(cmd_marker 'PERF old72 PRESTATS' 'netstat -na')"
check "old72: fcp licensed" in_block PRESTATS old72 "$(cmd_marker 'CONFIG old72 PRESTATS' 'fcp status')"
check "old72: legacy stats start" in_block PRESTATS old72 "$(cmd_marker 'PERF old72 PRESTATS' 'stats start -I kestrel_vol volume')"
check "old72: no all-objects instance" none kestrel_stats_ <<<"$(block PRESTATS old72)"
check "old72: no cifs" none '^=-=-=-=-=-= .* cifs' <<<"$(block PRESTATS old72)"
check "sim1 poststats: CONFIG command" in_block POSTSTATS sim1 "$(cmd_marker 'CONFIG sim1 POSTSTATS' 'storage show disk -a')"
check "old72 poststats: PERF command" in_block POSTSTATS old72 "$(cmd_marker 'PERF old72 POSTSTATS' 'raid_config -r')"
check "host prestats: its commands" in_block PRESTATS e2ehost "$(cmd_marker 'CONFIG e2ehost PRESTATS' 'uname -a')"

# Templates expanded per virtual controller, placeholders filled in.
for vz in vz1 vz2; do
  check "$vz: path template" in_block PRESTATS "sim1:[VZ]:$vz" \
    "$(cmd_marker "CONFIG sim1:[VZ]:$vz PRESTATS" "rdfile /vol/${vz}root/etc/exports")"
  check "$vz: name template" in_block PRESTATS "sim1:[VZ]:$vz" \
    "$(cmd_marker "PERF sim1:[VZ]:$vz PRESTATS" "vzone run $vz cifs stat")"
  check "$vz: poststats template" in_block POSTSTATS "sim1:[VZ]:$vz" \
    "$(cmd_marker "PERF sim1:[VZ]:$vz POSTSTATS" "vzone run $vz qtree stats ")"
  check "$vz: no configuration templates in poststats" \
    none '^=-=-=-=-=-= CONFIG' <<<"$(block POSTSTATS "sim1:[VZ]:$vz")"
  check "$vz: the controller ran it" [ "$(remotes sim1 | grep -cxF " rdfile /vol/${vz}root/etc/exports ")" -eq 1 ]
done
exports=$(rsh.exe sim1 -l root -n " rdfile /vol/vz1root/etc/exports " | head -1)
check "vz1: the file's content follows its marker" \
  follows "$(cmd_marker 'CONFIG sim1:[VZ]:vz1 PRESTATS' 'rdfile /vol/vz1root/etc/exports')" "$exports"
check "vza: path template" in_block PRESTATS "old72:[VZ]:vza" \
  "$(cmd_marker 'CONFIG old72:[VZ]:vza PRESTATS' 'rdfile /vol/vzaroot/etc/exports')"
check "vza: lun templates of its own licences" in_block PRESTATS "old72:[VZ]:vza" \
  "$(cmd_marker 'CONFIG old72:[VZ]:vza PRESTATS' 'vzone run vza lun show -v all')"
# old72's expansion runs only its own catalogue's templates, not sim1's.
vza=$(block PRESTATS "old72:[VZ]:vza"; block POSTSTATS "old72:[VZ]:vza")
check "vza: no cifs templates" none '^=-=-=-=-=-= .* cifs' <<<"$vza"
check "vza: no placeholder left" none 'VZNAME|VZPATH|vz1|vz2' <<<"$vza"
check "vza: the controller ran it" [ -n "$(remote_index old72 " vzone run vza lun show -v all ")" ]
check "vzones named on stderr in both phases" [ "$(grep -c '^VZone: vz1$' "$WORK/err")" -eq 2 ]

# sim1 heard its vzone commands after its stats start and before the stop.
start=$(remotes sim1 | grep -n '^ stats start -I kestrel_stats_' | cut -d: -f1)
stop=$(remotes sim1 | grep -n '^ stats stop -I kestrel_stats_' | cut -d: -f1)
vz1=$(remote_index sim1 " rdfile /vol/vz1root/etc/exports ")
vz2=$(remote_index sim1 " rdfile /vol/vz2root/etc/exports ")
check "controller order: start, vz1, vz2, stop" ascending "$start" "$vz1" "$vz2" "$stop"
finish
