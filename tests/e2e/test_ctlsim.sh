#!/usr/bin/env bash
# ctlsim end to end: the client command lines it accepts and refuses, the
# replies kestrel parses, the invocation log and the admin commands.
set -u

source "$(dirname "$0")/ctlsim_lib.sh"
ctlsim_setup
touch "$work/id_key"

# ---------------------------------------------------------------- clients
run rsh.exe sim1 -l root -n " version "
check "rsh: version reply" "Corvex Release 7.3.5: Fri Nov 2 2012" "$out"
check "rsh: exit status" 0 "$rc"
check "rsh: log client" "rsh.exe" "$(log_field sim1 3)"
check "rsh: log status" "ok" "$(log_field sim1 4)"
check "rsh: log remote keeps blanks" " version " "$(log_field sim1 5)"
check "rsh: log args" "sim1|-l|root|-n| version " "$(log_args sim1)"

run plink.exe -ssh -x -a -batch -l admin sim2 " version "
check "plink: version reply" "Corvex Release 8.0.1: Tue Mar 5 2013" "$out"
check "plink: log args" "-ssh|-x|-a|-batch|-l|admin|sim2| version " "$(log_args sim2)"

run plink.exe -ssh -x -a -batch -pw anything -l root sim1 " version "
check "plink -pw: answers when the model has no password" 0 "$rc"
check "plink -pw: log keeps the argument list" "-ssh|-x|-a|-batch|-pw|anything|-l|root|sim1| version " \
  "$(log_args sim1)"

run ssh.exe -o BatchMode=yes -2 -ax -i "$work/id_key" -l  root sim1 " version "
check "ssh: version reply" "Corvex Release 7.3.5: Fri Nov 2 2012" "$out"
check "ssh: log args" "-o|BatchMode=yes|-2|-ax|-i|$work/id_key|-l|root|sim1| version " "$(log_args sim1)"

run plink.exe -ssh -x -a -batch -i "$work/id_key" -l root sim1 " version "
check "plink key file: exit status" 0 "$rc"
check "plink key file: client" "plink.exe" "$(log_field sim1 3)"

run rsh.exe sim1 -l root -n version of the day
check "rsh: words after the host are joined into the command" "version of the day" "$(log_field sim1 5)"

# Refusals, each as its client would: message on stderr, nothing on stdout.
run rsh.exe sim1 -l root -q " version "
check "rsh unknown option: status" 1 "$rc"
check "rsh unknown option: no reply" "" "$out"
check_has "rsh unknown option: message" "unknown option -q" "$errs"
check "rsh unknown option: logged" "badargs" "$(log_field sim1 4)"

run plink.exe -ssh -batch -zz -l root sim1 " version "
check "plink unknown option: status" 1 "$rc"
check_has "plink unknown option: message" 'unknown option "-zz"' "$errs"

run ssh.exe -o BatchMode=yes -2 -ax -Q -l root sim1 " version "
check "ssh unknown option: status" 255 "$rc"
check_has "ssh unknown option: message" "illegal option -- Q" "$errs"

run ssh.exe -o BatchMode=maybe -l root sim1 " version "
check "ssh bad BatchMode: status" 255 "$rc"

run rsh.exe sim1 -l root -n
check "rsh without command: status" 1 "$rc"
check_has "rsh without command: message" "no remote command" "$errs"

run plink.exe -ssh -x -a -batch -l root
check "plink without host: status" 1 "$rc"
check "plink without host: logged as rejected" "badargs" \
  "$(tail -n 1 "$CTLSIM_STATE/_rejected/invocations.log" | cut -f 4)"

run rsh.exe nosuchfiler -l root -n " version "
check "unknown controller: status" 1 "$rc"
check "unknown controller: no reply" "" "$out"
check_has "unknown controller: message" "cannot reach nosuchfiler" "$errs"
check "unknown controller: logged" "unreachable" "$(log_field nosuchfiler 4)"

run ssh.exe -o BatchMode=yes -2 -ax -i "$work/id_key" -l  root nosuchfiler " version "
check "unknown controller over ssh: status" 255 "$rc"

run rsh.exe ../../etc -l root -n " version "
check "path-like controller name: unreachable" 1 "$rc"
check "path-like controller name: nothing written outside" "" "$(ls "$work" | grep -x etc)"

run rsh.exe sim1.lock -l root -n " version "
check "a name that could meet a lock folder: unreachable" 1 "$rc"
check "...and sim1 is still free" 0 "$(rsh.exe sim1 -l root -n " version " >/dev/null 2>&1; echo $?)"

model secure "password = s3cret"
run plink.exe -ssh -x -a -batch -pw s3cret -l root secure " version "
check "right password: answers" "Corvex Release 7.3.5: Fri Nov 2 2012" "$out"
run plink.exe -ssh -x -a -batch -pw wrong -l root secure " version "
check "wrong password: status" 1 "$rc"
check "wrong password: no reply" "" "$out"
check_has "wrong password: message" "password not accepted" "$errs"
check "wrong password: logged" "denied" "$(log_field secure 4)"
run plink.exe -ssh -x -a -batch -l root secure " version "
check "password model without credentials: refused" 1 "$rc"
run plink.exe -ssh -x -a -batch -i "$work/id_key" -l root secure " version "
check "password model with a key file: answers" 0 "$rc"
run rsh.exe secure -l root -n " version "
check "password model over rsh: answers" 0 "$rc"

run plink.exe -ssh -x -a -batch -i "$work/no_such_key" -l root sim1 " version "
check "plink missing key file: status" 1 "$rc"
check_has "plink missing key file: message" "no_such_key" "$errs"
check "plink missing key file: logged" "nokey" "$(log_field sim1 4)"
run ssh.exe -o BatchMode=yes -2 -ax -i "$work/no_such_key" -l  root sim1 " version "
check "ssh missing key file: status" 255 "$rc"
check "ssh missing key file: no reply" "" "$out"

# ---------------------------------------------------------------- discovery replies
model statit_style "help_style = statit"
model priv_style "help_style = priv"
model none_style "help_style = none"
for style in statit priv none; do
  run rsh.exe ${style}_style -l root -n " help "
  has_statit=$(grep -c statit "$work/out")
  has_priv=$(grep -c priv "$work/out")
  case $style in
    statit) check "help statit style" "1 1" "$((has_statit > 0)) $((has_priv > 0))" ;;
    priv) check "help priv style" "0 1" "$((has_statit > 0)) $((has_priv > 0))" ;;
    none) check "help none style" "0 0" "$((has_statit > 0)) $((has_priv > 0))" ;;
  esac
done

run rsh.exe sim2 -l root -n " statit -b "
check_has "priv style: diag command needs privilege" "statit not found" "$out"
run rsh.exe sim2 -l root -n "priv set -q diag ; version "
check "priv words: only the command answers" "Corvex Release 8.0.1: Tue Mar 5 2013" "$out"
check "priv -q: no warning" "" "$errs"
run rsh.exe sim2 -l root -n "priv set diag ; version "
check_has "priv without -q: warning" "Warning" "$errs"
run rsh.exe none_style -l root -n " disk_list "
check_has "none style: diag command refused" "disk_list not found" "$out"
run rsh.exe none_style -l root -n "rc_toggle_basic ; disk_list ; rc_toggle_basic"
check_has "rc_toggle_basic wrapper: diag command runs" "0a.16" "$out"
run rsh.exe sim1 -l root -n " version ; hostname ;; "
check "joined commands answer in order" "Corvex Release 7.3.5: Fri Nov 2 2012
sim1" "$out"

run rsh.exe sim2 -l root -n " license "
check "license: licensed service" "1" "$(grep -c '^ *fcp site [0-9]*$' "$work/out")"
check "license: unlisted service" "1" "$(grep -c '^ *cifs not licensed$' "$work/out")"
check "license: every known service named once" "13" "$(wc -l <"$work/out" | tr -d ' ')"
model extra_licence "licenses = nfs, frobnicate"
run rsh.exe extra_licence -l root -n " license "
check "license: unknown licensed service listed" "1" "$(grep -c '^ *frobnicate site' "$work/out")"

model uni "processors = 1"
run rsh.exe uni -l root -n " sysconfig "
check "sysconfig: single processor line ends in 1" "1" "$(grep -c 'Processors.*1$' "$work/out")"
run rsh.exe sim1 -l root -n " sysconfig "
check "sysconfig: two processors" "0" "$(grep -c 'Processors.*1$' "$work/out")"
check "sysconfig: one Processors line" "1" "$(grep -c Processors "$work/out")"

run rsh.exe sim2 -l root -n "priv set -q diag ; registry walk options.vols "
check "registry walk: replisynced=off volume" "options.vols.vol1.replisynced=off" \
  "$(grep 'replisynced=off' "$work/out")"
check "registry walk: only the prefix" "0" "$(grep -vc '^options\.vols\.' "$work/out")"

run rsh.exe sim1 -l root -n " vzone status "
check "vzone status: first words" "vzone0 vz1 vz2" "$(awk '{print $1}' "$work/out" | tr '\n' ' ' | sed 's/ $//')"
run rsh.exe sim1 -l root -n " vzone status -r "
check "vzone status -r: root paths in order" "/ /vol/vz1root /vol/vz2root" \
  "$(grep 'Path: ' "$work/out" | grep etc | awk '{print $2}' | tr '\n' ' ' | sed 's/ $//')"
model novz "licenses = nfs, cifs"
run rsh.exe novz -l root -n " vzone status "
check_has "vzone without licence" "not licensed" "$out"
run rsh.exe sim1 -l root -n " vzone run vz1 rdfile /vol/vz1root/etc/exports "
check "vzone run: inner command answers" "/vol/vz1 -sec=sys,rw" "$out"
run rsh.exe sim1 -l root -n " vzone run vz9 hostname "
check "vzone run: unknown vzone gives no reply" "" "$out"
check_has "vzone run: unknown vzone message" "vz9" "$errs"

run rsh.exe sim1 -l root -n " vif status "
check "vif status: interface names" "vif0 vif1" \
  "$(grep 'VIF Type' "$work/out" | grep -v 'default:' | cut -d: -f1 | tr '\n' ' ' | sed 's/ $//')"
check "vif status: default line" "1" "$(grep -c '^default:.*VIF Type' "$work/out")"

# ---------------------------------------------------------------- files
run rsh.exe sim1 -l root -n " ls /etc/log "
check "ls: nothing on stdout" "" "$out"
check_has "ls: entries on stderr" "messages" "$errs"
check "ls: dot entries first" ". .." "$(head -n 2 "$work/err" | tr '\n' ' ' | sed 's/ $//')"
run rsh.exe sim1 -l root -n " rdfile /etc/hosts "
check_has "rdfile: content" "192.0.2.10 sim1 sim1-e0a" "$out"
run rsh.exe sim1 -l root -n " rm /etc/log/auditlog
 "
check "rm with a line end inside the quotes: no reply" "" "$out$errs"
check "log escapes the line end" " rm /etc/log/auditlog\\n " "$(log_field sim1 5)"
run rsh.exe sim1 -l root -n " ls /etc/log "
check_lacks "rm: file gone" "auditlog" "$errs"
run rsh.exe sim1 -l root -n " rdfile /etc/log/auditlog "
check "rdfile missing: no reply" "" "$out"
check_has "rdfile missing: message" "/etc/log/auditlog" "$errs"
run rsh.exe sim1 -l root -n " rdfile /../../../../../../etc/passwd "
check "rdfile cannot leave the tree" "" "$out"

mkdir -p "$work/home/models/treed/files/etc/log" "$work/home/models/treed/replies"
model treed "vifs = vif7" "reply:vif status = replies/vif.txt"
echo "model log line" >"$work/home/models/treed/files/etc/log/messages"
printf 'odd0: no type here\n' >"$work/home/models/treed/replies/vif.txt"
run rsh.exe treed -l root -n " rdfile /etc/log/messages "
check "model file tree" "model log line" "$out"
run rsh.exe treed -l root -n " ls / "
check "model file tree replaces the built-in one" ". .. etc" "$(tr '\n' ' ' <"$work/err" | sed 's/ $//')"
run rsh.exe treed -l root -n " vif   status "
check "canned reply matched with blanks normalised" "odd0: no type here" "$out"

model broken "help_style = sometimes"
run rsh.exe broken -l root -n " version "
check "broken model: fails" 1 "$rc"
check "broken model: no reply" "" "$out"
check_has "broken model: says where" "model.conf: line 1" "$errs"
check "broken model: logged" "badmodel" "$(log_field broken 4)"

run rsh.exe sim1 -l root -n " netdiag -v -b "
check_has "generic command: a plausible reply" "netdiag -v -b (sim1):" "$out"
check "generic command: a few lines" "4" "$(wc -l <"$work/out" | tr -d ' ')"

# ---------------------------------------------------------------- workloads
# The clock starts at the first answer and is shared by later client
# processes: a burst from second 2 to 5 shows in the rows of those seconds
# of a sysstat started by another invocation (one-second rows, scaled).
model burst "workload = disk_burst start=2 length=3"
model calm "workload = quiet"
sim burst " version "
CTLSIM_TIME_SCALE=0.1 sim burst " sysstat -s -c 7 -x 10 "
util=$(sed -n '2,8p' "$work/out" | awk '{ sub("%", "", $14); printf "%s ", ($14 + 0 >= 85 ? "high" : $14 + 0 < 60 ? "low" : "mid") }')
check "disk_burst: Disk_util high inside its window only" "low high high" \
  "$(echo $util | cut -d' ' -f1,3,4)"
check "disk_burst: and low again after it" "low low" "$(echo $util | cut -d' ' -f6,7)"
check "disk_burst: the summary's Max shows the burst" "yes" \
  "$(awk '/^Max/ { getline; sub("%", "", $14); print ($14 + 0 >= 85 ? "yes" : "no") }' "$work/out")"
CTLSIM_TIME_SCALE=0 sim calm " sysstat -c 2 -x 1 "
check "quiet: CPU near zero" "yes yes" \
  "$(sed -n '2,3p' "$work/out" | awk '{ sub("%", "", $1); printf "%s ", ($1 + 0 < 5 ? "yes" : "no") }' | sed 's/ $//')"
# The other samplers tell the same story at once.
model saturated "workload = cpu_saturation start=0 length=600"
CTLSIM_TIME_SCALE=0 sim saturated " stats show -i 1 -n 1 system:system:cpu_busy processor:*:processor_busy "
check "cpu_saturation: system and every processor at least 95 %" "yes yes yes" \
  "$(awk -F: '{ sub("%", "", $4); printf "%s ", ($4 + 0 >= 95 ? "yes" : "no") }' "$work/out" | sed 's/ $//')"
model failing "workload = failing_disk start=0 length=600"
sim failing " statit -b ; stats start -I f disk "
sim failing " statit -e ; stats stop -I f ; lun stats -c 1 -i 1 "
check "failing_disk: statit shows 0a.19 busiest, at 100 %" "0a.19 100" \
  "$(grep '^0a\.' "$work/out" | sort -k2,2n | tail -n 1 | awk '{ print $1, $2 }')"
check "failing_disk: only 0a.19 counts errors" "0a.19" \
  "$(grep ':io_errors:' "$work/out" | grep -v ':io_errors:0$' | cut -d: -f2)"
check "failing_disk: lun stats latency high" "yes yes" \
  "$(awk '/\/vol\// { printf "%s ", ($7 >= 40 ? "yes" : "no") }' "$work/out" | sed 's/ $//')"
model unknown_load "workload = busy start=3"
sim unknown_load " version "
check_has "unknown workload: broken model" 'workload "busy start=3": unknown workload' "$errs"

# ---------------------------------------------------------------- admin
run "$CTLSIM_BIN" --help
check "admin --help: status" 0 "$rc"
check_has "admin --help: lists install" "ctlsim install DIR" "$out"
check_has "admin --help: names the state folder" "$CTLSIM_STATE" "$out"
run "$CTLSIM_BIN" frobnicate
check "admin unknown command: status" 2 "$rc"
check "installed client names" "plink plink.exe rsh rsh.exe ssh ssh.exe" \
  "$(ls "$work/bin" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
run "$CTLSIM_BIN" install "$work/copies" --copy
check "install --copy makes files" "0" "$(find "$work/copies" -type l | wc -l | tr -d ' ')"
run "$work/copies/rsh.exe" sim1 -l root -n " hostname "
check "a copy answers like a link" "sim1" "$out"
run "$work/copies/rsh" sim1 -l root -n " hostname "
check "the plain spelling answers too" "sim1" "$out"
run "$CTLSIM_BIN" log sim2
check "log: one line per invocation" "$(wc -l <"$CTLSIM_STATE/sim2/invocations.log")" \
  "$(printf '%s\n' "$out" | wc -l)"
check "log: remote commands in order" " version |priv set -q diag ; version " \
  "$(printf '%s\n' "$out" | cut -f5 | sed -n '1p;3p' | tr '\n' '|' | sed 's/|$//')"
run "$CTLSIM_BIN" log never_called
check "log of a silent controller: empty" "0 " "$rc $out"
run "$CTLSIM_BIN" reset sim1
check "reset: status" 0 "$rc"
check "reset: state gone" "no" "$([ -e "$CTLSIM_STATE/sim1" ] && echo yes || echo no)"
run rsh.exe sim1 -l root -n " rdfile /etc/log/auditlog "
check_has "reset: file tree made anew" "root:IN:version" "$out"
run "$CTLSIM_BIN" reset --all
check "reset --all: every controller gone" "" "$(ls "$CTLSIM_STATE" | grep -v '\.lock$')"

ctlsim_finish
